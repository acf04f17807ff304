// The "Statistics" option and the ray tracer's progress line through the
// program: exact counts for small scenes worked out by hand, nothing changed
// when the option is off, and progress only on a terminal.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/run.h"

using namespace kxtest;

namespace {

const char* kSeconds = "[0-9]+\\.[0-9]{3} s";

// Format 64 64, default camera: a square of side 2 at depth d covers
// pixels 31.5 +- 32/d, rounded up at both ends.
const char* kDirect =
    "Display \"img\" \"PNM\" \"rgb\"\nFormat 64 64\n"
    "FrameBegin 3\nWorldBegin\n"
    "PolySet \"P\" 4 1  -1 -1 -2  1 -1 -2  1 1 -2  -1 1 -2  0 1 2 3 -1\n"        // 32 x 32 pixels
    "PolySet \"P\" 4 1  -1 -1 -3  1 -1 -3  1 1 -3  -1 1 -3  0 1 2 3 -1\n"        // hidden behind it
    "PolySet \"P\" 4 1  -1 -1 -1.5  1 -1 -1.5  1 1 -1.5  -1 1 -1.5  0 1 2 3 -1\n"  // 42 x 42 in front
    "PolySet \"P\" 4 1  -1 -1 2  1 -1 2  1 1 2  -1 1 2  0 1 2 3 -1\n"            // behind the eye
    "WorldEnd\nFrameEnd\n"
    "FrameBegin 4\nWorldBegin\nWorldEnd\nFrameEnd\n";

// Format 8 8: a plane filling the view under a far light from the camera
// (one primary and one shadow ray per pixel; with one reflection level a
// reflected ray that escapes), and a sphere behind the camera.
std::string RayScene(int levels, int subsamples) {
    return "Engine \"raytrace\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat 8 8\n"
           "OptionReal \"Levels\" " + std::to_string(levels) + "\nOptionReal \"Linear Subsamples\" " +
           std::to_string(subsamples) + "\nWorldBegin\nFarLight 0 0 -1 1 1 1 1\n"
           "PolySet \"P\" 4 1  -3 -3 -2  3 -3 -2  3 3 -2  -3 3 -2  0 1 2 3 -1\n"
           "XformPush\nTranslate 0 0 5\nSphere 1 -1 1 360\nXformPop\nWorldEnd\n";
}

}  // namespace

TEST(Statistics, DirectEngineCountsPolygonsAndShadedPixels) {
    RunResult r = RunScene(std::string("OptionBool \"Statistics\" on\n") + kDirect);
    ASSERT_EQ(r.status, 0);
    std::string expected = std::string("Statistics: frame 3, ") + kSeconds +
                           ", polygons 4, pixels shaded 2788\n"
                           "Statistics: frame 4, " + kSeconds + ", polygons 0, pixels shaded 0\n";
    EXPECT_TRUE(std::regex_match(r.err, std::regex(expected))) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Statistics, RayTracerCountsRaysObjectsAndTreeHeight) {
    struct Case {
        int levels, subsamples;
        const char* rays;
    } cases[] = {
        {0, 1, "128"},   // 64 primary + 64 shadow
        {1, 1, "192"},   // + 64 reflected rays that hit nothing
        {0, 2, "512"},   // 4 primary and 4 shadow rays per pixel
    };
    for (const Case& c : cases) {
        RunResult r = RunScene("OptionBool \"Statistics\" on\n" + RayScene(c.levels, c.subsamples));
        ASSERT_EQ(r.status, 0);
        std::string expected = std::string("Statistics: frame 0, ") + kSeconds + ", rays cast " +
                               c.rays + ", objects 2, tree height 2\n";
        EXPECT_TRUE(std::regex_match(r.err, std::regex(expected))) << r.err;
    }
}

TEST(Statistics, OffChangesNothing) {
    for (const std::string& scene : {std::string(kDirect), RayScene(1, 1)}) {
        std::string plainDir, offDir, onDir;
        RunResult plain = RunScene(scene, &plainDir);
        RunResult off = RunScene("OptionBool \"Statistics\" off\n" + scene, &offDir);
        RunResult onOff = RunScene("OptionBool \"Statistics\" on\nOptionBool \"Statistics\" no\n" + scene);
        RunResult on = RunScene("OptionBool \"Statistics\" on\n" + scene, &onDir);
        EXPECT_EQ(off.err, plain.err);
        EXPECT_EQ(onOff.err, plain.err);
        EXPECT_EQ(plain.err.find("Statistics"), std::string::npos);
        EXPECT_NE(on.err.find("Statistics"), std::string::npos);
        // The option adds its line and changes no image.
        const char* frame = scene == kDirect ? "/img0003.ppm" : "/img0000.ppm";
        EXPECT_EQ(ReadFile(onDir + frame), ReadFile(plainDir + frame));
        EXPECT_EQ(ReadFile(offDir + frame), ReadFile(plainDir + frame));
    }
}

TEST(Statistics, EnginesThatDrawNothingPrintNothing) {
    // The converter and the scan-convert engine do not take the option.
    for (const char* engine : {"data convert", "scan convert"}) {
        RunResult r = RunScene(std::string("Engine \"") + engine +
                               "\"\nOptionBool \"Statistics\" on\nDisplay \"img\" \"PNM\" \"rgb\"\n"
                               "WorldBegin\nSphere 1 -1 1 360\nWorldEnd\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.find("Statistics:"), std::string::npos) << r.err;
    }
}

TEST(Progress, ShownOnATerminalOnlyAndClearedWhenTheImageIsDone) {
    if (!TerminalAvailable()) GTEST_SKIP() << "no pseudo-terminal can be opened here (is /dev/pts mounted?)";
    std::string dir;
    RunResult piped = RunScene(RayScene(0, 1), &dir);
    EXPECT_EQ(piped.err, "");
    int status = -1;
    std::string seen = RunOnTerminal(dir, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(seen,
              "\rTracing:  12%\rTracing:  25%\rTracing:  37%\rTracing:  50%\rTracing:  62%"
              "\rTracing:  75%\rTracing:  87%\r             \r");

    // The statistics line comes after the cleared progress line.
    WriteFile(dir, "scene.kx", "OptionBool \"Statistics\" on\n" + RayScene(0, 1));
    seen = RunOnTerminal(dir, &status);
    EXPECT_TRUE(std::regex_match(seen, std::regex(std::string("(\rTracing: +[0-9]+%)+\r {13}\rStatistics: frame 0, ") +
                                                  kSeconds + ", rays cast 128, objects 2, tree height 2\n")))
        << seen;

    // The direct engine shows no progress.
    WriteFile(dir, "scene.kx", kDirect);
    EXPECT_EQ(RunOnTerminal(dir, &status), "");
}
