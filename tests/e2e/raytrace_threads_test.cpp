// The ray tracer's thread count through the binary: the image is the same,
// byte for byte, whatever OptionReal "Threads" says, and odd values are safe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run.h"

using kxtest::ReadFile;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

// Spheres in a grid over a mirror floor, with shadows, reflections and
// subsamples: every pixel takes a different amount of work.
std::string Scene(const std::string& threads) {
    std::string s = "Engine \"raytrace\"\n";
    if (!threads.empty()) s += "OptionReal \"Threads\" " + threads + "\n";
    s += "Display \"img\" \"PNM\" \"rgb\"\nFormat 121 67\nOptionReal \"Levels\" 2\nOptionReal \"Linear Subsamples\" 2\n"
         "CameraEye 7 -9 6\nCameraAt 0 0 0\nCameraUp 0 0 1\nWorldBegin\nPointLight 5 -4 9 1 1 1 150\n"
         "Surface \"plastic\"\nKa 0.2\nKd 0.7\nKs 0.4\nColor 0.8 0.4 0.3\n";
    for (int i = -2; i <= 2; ++i)
        for (int j = -2; j <= 2; ++j)
            s += "XformPush\nTranslate " + std::to_string(i * 1.3) + " " + std::to_string(j * 1.3) +
                 " 0.6\nSphere 0.5 -0.5 0.5 360\nXformPop\n";
    s += "Surface \"metal\"\nKs 0.8\nPolySet \"P\" 4 1 -6 -6 0 6 -6 0 6 6 0 -6 6 0 0 1 2 3 -1\nWorldEnd\n";
    return s;
}

std::string Render(const std::string& threads) {
    std::string dir;
    RunResult r = RunScene(Scene(threads), &dir);
    EXPECT_EQ(r.status, 0) << threads << ": " << r.err;
    return ReadFile(dir + "/img0000.ppm");
}

TEST(RaytraceThreads, EveryThreadCountGivesTheSameBytes) {
    const std::string one = Render("1");
    ASSERT_GT(one.size(), 121u * 67 * 3);
    for (const char* threads : {"", "0", "2", "3", "16"}) EXPECT_TRUE(Render(threads) == one) << "Threads " << threads;
}

TEST(RaytraceThreads, OddCountsAreSafe) {
    const std::string one = Render("1");
    // (NaN and infinity cannot be written in scene text: the number reader
    // refuses them; the engine's own test covers them.)
    for (const char* threads : {"-1", "-1e30", "1e30", "3.4e38", "2.9", "100000"})
        EXPECT_TRUE(Render(threads) == one) << "Threads " << threads;
}

}  // namespace
