// "Where the engines differ" in docs/engines.md: each example scene it names
// is rendered as it stands in examples/ and shows what the page says of it;
// and texture maps named relative to the scene file's folder, or no files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/run.h"

using namespace kxtest;

namespace {

const std::string kExamples = KX_SOURCE_DIR "/examples/";

// Renders an example, with optional lines before it, from a folder that is
// not its own (a copy beside the examples' textures); returns its image.
// The first `from` in the scene may be replaced by `to`.
Image RenderExample(const std::string& name, const std::string& before = "", const std::string& from = "",
                    const std::string& to = "") {
    const std::string root = MakeTempDir();
    const std::string folder = root + "/examples", run = root + "/run";
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(mkdir(run.c_str(), 0755), 0);
    EXPECT_EQ(symlink((kExamples + "textures").c_str(), (folder + "/textures").c_str()), 0);
    std::string text = before + ReadFile(kExamples + name + ".kx");
    if (!from.empty() && text.find(from) != std::string::npos) text.replace(text.find(from), from.size(), to);
    WriteFile(folder, name + ".kx", text);
    RunResult r = RunKx({"../examples/" + name + ".kx"}, run);
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err, "") << name;
    return ReadPPM(run + "/" + name + "0000.ppm");
}

std::string Pixel(const Image& img, int x, int y) {
    if (!img.ok) return "no image";
    const uint8_t* p = img.at(x, y);
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

}  // namespace

TEST(Manual, TheExamplesAreInTheEnginesPage) {
    const std::string page = ReadFile(KX_SOURCE_DIR "/docs/engines.md");
    const size_t section = page.find("\n## Where the engines differ\n");
    ASSERT_NE(section, std::string::npos);
    for (const char* name : {"manual_kd", "manual_front", "manual_texture", "manual_ambient"})
        EXPECT_NE(page.find(std::string("`examples/") + name + ".kx`", section), std::string::npos) << name;
}

TEST(Manual, KdStartsAtOneInTheDirectEngineAndAtZeroInTheRayTracer) {
    Image direct = RenderExample("manual_kd");
    Image ray = RenderExample("manual_kd", "Engine \"raytrace\"\n");
    EXPECT_EQ(Pixel(direct, 32, 24), "255 140 0");
    EXPECT_EQ(Pixel(ray, 32, 24), "25 12 0");
}

TEST(Manual, TheDirectEngineLightsTheFrontSideOnly) {
    Image img = RenderExample("manual_front");
    EXPECT_EQ(Pixel(img, 22, 16), "255 255 255");
    EXPECT_EQ(Pixel(img, 41, 16), "51 51 51");
    Image both = RenderExample("manual_front", "OptionBool \"DoubleSide\" on\n");
    EXPECT_EQ(Pixel(both, 41, 16), "255 255 255");
}

TEST(Manual, TextureMapsColourOnlyPaintedPlastic) {
    Image img = RenderExample("manual_texture");
    // Left: "plastic", the colour; right: the four quadrants of the map.
    EXPECT_EQ(Pixel(img, 18, 12), "255 255 255");
    EXPECT_EQ(Pixel(img, 26, 20), "255 255 255");
    EXPECT_EQ(Pixel(img, 37, 12), "254 0 0");
    EXPECT_EQ(Pixel(img, 46, 12), "0 254 0");
    EXPECT_EQ(Pixel(img, 37, 20), "0 0 254");
    EXPECT_EQ(Pixel(img, 46, 20), "254 254 254");
    // The other surfaces keep their colour too.
    for (const char* surface : {"\"matte\"", "\"metal\""}) {
        Image other = RenderExample("manual_texture", "", "\"plastic\"\n", std::string(surface) + "\n");
        EXPECT_EQ(Pixel(other, 18, 12), "255 255 255") << surface;
        EXPECT_EQ(Pixel(other, 37, 12), "254 0 0") << surface;
    }
}

TEST(Manual, AWorldWithoutAmbientLightHasAFullWhiteOne) {
    for (const char* engine : {"direct", "raytrace"}) {
        Image img = RenderExample("manual_ambient", std::string("Engine \"") + engine + "\"\n");
        EXPECT_EQ(Pixel(img, 16, 16), "127 127 127") << engine;
    }
}

// "scenes/room.kx" naming "brick.ppm" finds "scenes/brick.ppm" when there is
// no "brick.ppm" where the program runs, with either drawing engine (the
// same picture); one found as given is used as given; one found nowhere is
// named, with the folders tried, before the report.
TEST(Manual, TextureNamesAreAlsoLookedUpBesideTheScene) {
    std::string pictures[2];
    for (int e = 0; e < 2; ++e) {
        const std::string engine = e == 0 ? "direct" : "raytrace";
        const std::string dir = MakeTempDir();
        ASSERT_EQ(mkdir((dir + "/scenes").c_str(), 0755), 0);
        WriteFile(dir + "/scenes", "room.kx",
                  "Engine \"" + engine + "\"\nDisplay \"room\" \"PNM\" \"rgb\"\nFormat 4 4\n"
                  "MapLoad \"brick.ppm\" \"brick\"\nWorldBegin\nMap \"texture\" \"brick\"\n"
                  "Surface \"painted plastic\"\n"
                  "PolySet \"PT\" 4 1 -9 -9 -2 0 0 9 -9 -2 1 0 9 9 -2 1 1 -9 9 -2 0 1 0 1 2 3 -1\nWorldEnd\n");
        RunResult r = RunKx({"scenes/room.kx"}, dir);
        EXPECT_EQ(r.status, StatusOf(-28));
        EXPECT_EQ(r.err,
                  "cannot open map file \"brick.ppm\": looked in . and scenes: No such file or directory\n"
                  "Error in scenes/room.kx on line 4: Map file not found\n");
        r = RunKx({"room.kx"}, dir + "/scenes");
        EXPECT_EQ(r.err,
                  "cannot open map file \"brick.ppm\": looked in .: No such file or directory\n"
                  "Error in room.kx on line 4: Map file not found\n");

        WriteFile(dir + "/scenes", "brick.ppm", std::string("P6\n1 1\n255\n\xc0\x20\x10", 14));
        r = RunKx({"scenes/room.kx"}, dir);
        ASSERT_EQ(r.status, 0) << engine << ": " << r.err;
        pictures[e] = ReadFile(dir + "/room0000.ppm");
        EXPECT_EQ(Pixel(ReadPPM(dir + "/room0000.ppm"), 2, 2), "191 31 15") << engine;
        // From inside the folder, and by a full path.
        r = RunKx({"room.kx"}, dir + "/scenes");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Pixel(ReadPPM(dir + "/scenes/room0000.ppm"), 2, 2), "191 31 15") << engine;

        WriteFile(dir, "brick.ppm", std::string("P6\n1 1\n255\n\x10\x20\xc0", 14));
        r = RunKx({dir + "/scenes/room.kx"}, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Pixel(ReadPPM(dir + "/room0000.ppm"), 2, 2), "15 31 191") << engine;
    }
    EXPECT_EQ(pictures[0], pictures[1]);
}

// A map "file" that is a FIFO or a folder is refused at once, by the name it
// was found under, rather than waited on (the run is timed out in a child).
TEST(Manual, MapFilesThatAreNoRegularFilesAreRefusedAtOnce) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/scenes").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir + "/scenes/pipe.ppm").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir + "/folder.ppm").c_str(), 0755), 0);
    WriteFile(dir + "/scenes", "room.kx", "Format 4 4\nMapLoad \"pipe.ppm\" \"p\"\n");
    WriteFile(dir + "/scenes", "hall.kx", "MapLoad \"folder.ppm\" \"f\"\n");
    RunResult r = RunBinary("/usr/bin/timeout", {"20", KX_BINARY, "scenes/room.kx"}, dir);
    EXPECT_EQ(r.err,
              "cannot read map file \"scenes/pipe.ppm\"\n"
              "Error in scenes/room.kx on line 2: Map file in unrecognized format\n");
    EXPECT_EQ(r.status, StatusOf(-29));
    r = RunKx({"scenes/hall.kx"}, dir);
    EXPECT_EQ(r.err,
              "cannot read map file \"folder.ppm\": Is a directory\n"
              "Error in scenes/hall.kx on line 1: Map file in unrecognized format\n");
    EXPECT_EQ(r.status, StatusOf(-29));
}

// A map file that cannot be opened is named with the folders tried and the
// system's reason, given for each folder when they differ; the report stays
// as it is.
TEST(Manual, MapFilesThatCannotBeOpenedSayWhy) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/scenes").c_str(), 0755), 0);
    WriteFile(dir, "wall", "a file where a folder should be");
    WriteFile(dir + "/scenes", "room.kx", "MapLoad \"wall/brick.ppm\" \"b\"\n");
    RunResult r = RunKx({"scenes/room.kx"}, dir);
    EXPECT_EQ(r.err,
              "cannot open map file \"wall/brick.ppm\": looked in . (Not a directory) and scenes (No such file or "
              "directory)\nError in scenes/room.kx on line 1: Map file not found\n");
    EXPECT_EQ(r.status, StatusOf(-28));

    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    WriteFile(dir + "/scenes", "brick.ppm", std::string("P6\n1 1\n255\n\x10\x20\xc0", 14));
    ASSERT_EQ(chmod((dir + "/scenes/brick.ppm").c_str(), 0), 0);
    WriteFile(dir + "/scenes", "hall.kx", "MapLoad \"brick.ppm\" \"b\"\n");
    r = RunKx({"scenes/hall.kx"}, dir);
    EXPECT_EQ(r.err,
              "cannot open map file \"brick.ppm\": looked in . (No such file or directory) and scenes (Permission "
              "denied)\nError in scenes/hall.kx on line 1: Map file not found\n");
    EXPECT_EQ(r.status, StatusOf(-28));
    r = RunKx({"hall.kx"}, dir + "/scenes");
    EXPECT_EQ(r.err,
              "cannot open map file \"brick.ppm\": looked in .: Permission denied\n"
              "Error in hall.kx on line 1: Map file not found\n");
}
