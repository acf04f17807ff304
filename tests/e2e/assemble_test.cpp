// Region files through the binaries: what --frames, --region and
// --list-images refuse, and what kxrender-assemble refuses to join.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run.h"

using namespace kxtest;

namespace {

// Two frames of 6 x 4 pixels, each its own colour; one of 5 x 4.
const char kScene[] =
    "Engine \"scan convert\"\nDisplay \"f\" \"PNM\" \"rgb\"\nFormat 6 4\n"
    "FrameBegin 1\nBackground 1 0 0\nWorldBegin\nWorldEnd\nFrameEnd\n"
    "FrameBegin 2\nBackground 0 1 0\nWorldBegin\nWorldEnd\nFrameEnd\n";

RunResult Assemble(const std::vector<std::string>& args, const std::string& dir) {
    return RunBinary(KX_ASSEMBLE, args, dir);
}

TEST(Regions, AssemblerRefusesRegionsThatDoNotTileOneImage) {
    std::string dir;
    RunResult full = RunScene(kScene, &dir);
    ASSERT_EQ(full.status, 0) << full.err;
    for (const char* r : {"0 0 6 1", "0 1 4 4", "4 1 6 4", "0 0 6 2"}) {
        std::vector<std::string> args = {"--region"};
        std::string s = r;
        for (size_t p = 0; p != std::string::npos;) {
            size_t q = s.find(' ', p);
            args.push_back(s.substr(p, q == std::string::npos ? q : q - p));
            p = q == std::string::npos ? q : q + 1;
        }
        args.push_back("scene.kx");
        RunResult part = RunKx(args, dir);
        ASSERT_EQ(part.status, 0) << part.err;
    }
    WriteFile(dir, "small.kx", "Engine \"scan convert\"\nDisplay \"f\" \"PNM\" \"rgb\"\nFormat 5 4\n"
                               "FrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n");
    ASSERT_EQ(RunKx({"--region", "4", "1", "5", "4", "small.kx"}, dir).status, 0);

    // A missing region.
    RunResult r = Assemble({"f0001.ppm.region-0-0-6-1", "f0001.ppm.region-0-1-4-4"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kxrender-assemble: no region holds pixel (4, 1) of f0001.ppm (frame 1, 6 x 4)\n");
    // An overlapping one.
    r = Assemble({"f0001.ppm.region-0-1-4-4", "f0001.ppm.region-4-1-6-4", "f0001.ppm.region-0-0-6-2",
                  "f0001.ppm.region-0-0-6-1"},
                 dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kxrender-assemble: regions 0 1 4 4 (f0001.ppm.region-0-1-4-4) and 0 0 6 2 "
              "(f0001.ppm.region-0-0-6-2) overlap\n");
    // A region of another frame.
    r = Assemble({"f0001.ppm.region-0-0-6-1", "f0002.ppm.region-0-1-4-4", "f0001.ppm.region-4-1-6-4"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kxrender-assemble: f0002.ppm.region-0-1-4-4 is a region of f0002.ppm (frame 2, 6 x 4), "
              "f0001.ppm.region-0-0-6-1 of f0001.ppm (frame 1, 6 x 4)\n");
    // A region of an image of another size (the same file name).
    r = Assemble({"-o", "g.ppm", "f0001.ppm.region-0-0-6-1", "f0001.ppm.region-0-1-4-4", "f0001.ppm.region-4-1-5-4"},
                 dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "kxrender-assemble: f0001.ppm.region-4-1-5-4 is a region of f0001.ppm (frame 1, 5 x 4), "
              "f0001.ppm.region-0-0-6-1 of f0001.ppm (frame 1, 6 x 4)\n");
    // Something else.
    r = Assemble({"f0002.ppm", "f0001.ppm.region-0-0-6-1"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kxrender-assemble: f0002.ppm is not a complete region file\n");
    EXPECT_FALSE(FileExists(dir + "/g.ppm"));

    // The whole frame 2 from its three regions.
    const std::string frame2 = ReadFile(dir + "/f0002.ppm");
    ASSERT_EQ(unlink((dir + "/f0002.ppm").c_str()), 0);
    r = Assemble({"f0002.ppm.region-4-1-6-4", "f0002.ppm.region-0-1-4-4", "f0002.ppm.region-0-0-6-1"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir + "/f0002.ppm") == frame2);
    // A region file is no image to a reader of PPM files.
    EXPECT_FALSE(ReadPPM(dir + "/f0002.ppm.region-0-0-6-1").ok);
    EXPECT_EQ(ReadFile(dir + "/f0002.ppm.region-0-0-6-1").substr(0, 79),
              "KXREGION 1\nimage 9 f0002.ppm\nformat ppm\nframe 2\nsize 6 4\nregion 0 0 6 1\npixels\n");
}

// Each region file must be named after what its header says, and -o must
// end in the file name of the image the regions are of, or in that name with
// the other format's ending: a file renamed, or regions joined under another
// image's name (x.png, F0001.PPM from the regions of f0001.ppm), are refused
// with nothing written. f0001.png from the regions of f0001.ppm gives the
// very bytes the renderer writes for the PNG image. Without -o the image goes
// beside the first file. A name of neither format is refused before any
// region file is read.
TEST(Regions, AssemblerChecksTheNamesOfTheRegionsAndTheImage) {
    const std::string body = "Format 6 4\nFrameBegin 1\nWorldBegin\nColor 1 0.5 0.25\n"
                             "PolySet \"P\" 3 1 -1 -1 -2 1 -1 -2 0 1 -2 0 1 2 -1\nWorldEnd\nFrameEnd\n";
    std::string dir;
    ASSERT_EQ(RunScene("Display \"f\" \"PNM\" \"rgb\"\n" + body, &dir).status, 0);
    WriteFile(dir, "png.kx", "Display \"f\" \"PNG\" \"rgb\"\n" + body);
    for (const char* scene : {"scene.kx", "png.kx"})
        for (const char* half : {"0", "2"}) {
            const std::string end = half[0] == '0' ? "2" : "4";
            RunResult part = RunKx({"--region", "0", half, "6", end, scene}, dir);
            ASSERT_EQ(part.status, 0) << part.err;
        }
    ASSERT_EQ(RunKx({"png.kx"}, dir).status, 0);
    const std::string ppm = ReadFile(dir + "/f0001.ppm"), png = ReadFile(dir + "/f0001.png");
    ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    ASSERT_NE(ppm.find("\xff\x7f\x3f"), std::string::npos);  // the triangle is in the picture
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);

    RunResult r = Assemble({"-o", "sub/f0001.ppm", "f0001.ppm.region-0-2-6-4", "f0001.ppm.region-0-0-6-2"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir + "/sub/f0001.ppm") == ppm);
    r = Assemble({"-o", "sub/f0001.png", "f0001.ppm.region-0-2-6-4", "f0001.ppm.region-0-0-6-2"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir + "/sub/f0001.png") == png);
    ASSERT_EQ(unlink((dir + "/sub/f0001.png").c_str()), 0);
    for (const char* name : {"x.png", "g0001.png", "sub/F0001.PPM"}) {
        r = Assemble({"-o", name, "f0001.ppm.region-0-0-6-2", "f0001.ppm.region-0-2-6-4"}, dir);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, std::string("kxrender-assemble: cannot write ") + name + ": the regions are of f0001.ppm\n");
    }
    EXPECT_FALSE(FileExists(dir + "/x.png"));
    EXPECT_FALSE(FileExists(dir + "/sub/F0001.PPM"));
    EXPECT_TRUE(ReadFile(dir + "/f0001.png") == png);
    r = Assemble({"-o", "nowhere/f0001.png", "f0001.png.region-0-0-6-2", "f0001.png.region-0-2-6-4"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cannot write nowhere/f0001.png: folder nowhere: No such file or directory\n");

    // The regions of the PNG image renamed as those of the PPM image, one
    // band renamed as another, and a name with a line feed in it.
    WriteFile(dir, "sub/f0001.ppm.region-0-0-6-2", ReadFile(dir + "/f0001.png.region-0-0-6-2"));
    WriteFile(dir, "sub/f0001.ppm.region-0-2-6-4", ReadFile(dir + "/f0001.png.region-0-2-6-4"));
    WriteFile(dir, "sub/f0001.png.region-0-0-6-4", ReadFile(dir + "/f0001.png.region-0-2-6-4"));
    WriteFile(dir, "sub/f\n.region-0-0-6-2", ReadFile(dir + "/f0001.png.region-0-0-6-2"));
    ASSERT_EQ(unlink((dir + "/sub/f0001.ppm").c_str()), 0);
    r = Assemble({"sub/f0001.ppm.region-0-0-6-2", "sub/f0001.ppm.region-0-2-6-4"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kxrender-assemble: sub/f0001.ppm.region-0-0-6-2 holds region 0 0 6 2 of f0001.png: its "
                     "name should be f0001.png.region-0-0-6-2\n");
    r = Assemble({"-o", "f0001.png", "f0001.png.region-0-0-6-2", "sub/f0001.png.region-0-0-6-4"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kxrender-assemble: sub/f0001.png.region-0-0-6-4 holds region 0 2 6 4 of f0001.png: its "
                     "name should be f0001.png.region-0-2-6-4\n");
    r = Assemble({"sub/f\n.region-0-0-6-2"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kxrender-assemble: sub/f\\n.region-0-0-6-2 holds region 0 0 6 2 of f0001.png: its "
                     "name should be f0001.png.region-0-0-6-2\n");
    EXPECT_FALSE(FileExists(dir + "/sub/f0001.ppm"));
    EXPECT_FALSE(FileExists(dir + "/sub/f0001.png"));

    // Without -o, beside the first region file.
    WriteFile(dir, "sub/f0001.png.region-0-0-6-2", ReadFile(dir + "/f0001.png.region-0-0-6-2"));
    r = Assemble({"sub/f0001.png.region-0-0-6-2", "f0001.png.region-0-2-6-4"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir + "/sub/f0001.png") == png);

    for (const char* name : {"x.tga", "x.png.bak", "png", ".png"}) {
        r = Assemble({"-o", name, "f0001.ppm.region-0-0-6-2", "no-such-region"}, dir);
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, std::string("kxrender-assemble: cannot write ") + name +
                             ": only .ppm and .png images are written\n");
        EXPECT_FALSE(FileExists(dir + "/" + name)) << name;
    }
}

// --list-images writes one line per image whatever its name holds: a
// backslash as "\\", control characters, DEL, bytes that are no UTF-8 and
// the UTF-8 C1 controls as "\xHH"; other UTF-8 as it is. A 0 x 0 PPM image
// is listed (and written) like any other.
TEST(Frames, ListedNamesAreEscapedOnOneLine) {
    std::string dir;
    const std::string scene =
        "Engine \"scan convert\"\nDisplay \"a\\nb\x1b[31mc\\\\d\xe9" "e\xc3\xa9" "f\xc2\x85g\x7f\" "
        "\"PNM\" \"rgb\"\nFormat 0 0\nFrameBegin 7\nWorldBegin\nWorldEnd\nFrameEnd\n";
    ASSERT_EQ(RunScene(scene, &dir).status, 0);
    const std::string name = "a\nb\x1b[31mc\\d\xe9" "e\xc3\xa9" "f\xc2\x85g\x7f" "0007.ppm";
    EXPECT_EQ(ReadFile(dir + "/" + name), "P6\n0 0\n255\n");
    RunResult r = RunKx({"--list-images", "scene.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "image 7 0 0 a\\x0ab\\x1b[31mc\\\\d\\xe9" "e\xc3\xa9" "f\\xc2\\x85g\\x7f0007.ppm\n");
    EXPECT_EQ(r.err, "");
}

TEST(Regions, RegionOutsideTheImageStopsTheRun) {
    std::string dir;
    ASSERT_EQ(RunScene(kScene, &dir).status, 0);
    RunResult r = RunKx({"--region", "0", "0", "7", "4", "scene.kx"}, dir);
    EXPECT_EQ(r.status, StatusOf(-46));
    EXPECT_EQ(r.err, "Error in scene.kx on line 7: The region lies outside the image\n");
    // Frames left out are not checked.
    r = RunKx({"--frames", "3", "--region", "0", "0", "7", "4", "scene.kx"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": --frames 3 selects no frame of scene.kx\n");
}

TEST(Frames, ListsAndRegionsOnTheCommandLine) {
    std::string dir;
    ASSERT_EQ(RunScene(kScene, &dir).status, 0);
    RunResult r = RunKx({"--list-images", "--frames", "2-9:3", "scene.kx"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "image 2 6 4 f0002.ppm\n");
    for (const char* list : {"", "1-", "3-1", "1-5:0", "1,,2", "x", "1-5:2:3", "99999999999"}) {
        r = RunKx({"--frames", list, "scene.kx"}, dir);
        EXPECT_EQ(r.status, 2) << list;
        EXPECT_EQ(r.err, std::string(KX_BINARY) +
                             ": --frames needs a list of frames such as 3, 1-100, 1-100:5 or 1,4,9-12\n")
            << list;
    }
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--region", "0", "0", "1"}, {"--region", "1", "0", "1", "1", "scene.kx"},
             {"--region", "-1", "0", "1", "1", "scene.kx"}, {"--region", "0", "0", "1", "1x", "scene.kx"}}) {
        r = RunKx(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string(KX_BINARY) +
                             ": --region needs the pixel bounds X0 Y0 X1 Y1, whole numbers with X0 < X1 and "
                             "Y0 < Y1\n");
    }
}

}  // namespace
