// The "scan convert" engine through the binary: frames holding only their
// background colour.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

// Every pixel of the image has the colour r, g, b.
void ExpectFlat(const Image& img, int w, int h, int r, int g, int b) {
    ASSERT_TRUE(img.ok);
    ASSERT_EQ(img.width, w);
    ASSERT_EQ(img.height, h);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = img.at(x, y);
            if (p[0] != r || p[1] != g || p[2] != b) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(ScanFrames, EachFrameShowsItsBackground) {
    std::string dir;
    RunResult r = RunScene(
        "Engine \"scan convert\"\nDisplay \"frame\" \"PNM\" \"rgb\"\nFormat 8 6\n"
        "FrameBegin 1\nBackground 0.5 0.25 1\nCameraEye 0 0 5\nWorldBegin\n"
        "Color 1 0 0\nSphere 1 -1 1 360\nTranslate 1 0 0\nSphere 1 -1 1 360\nWorldEnd\nFrameEnd\n"
        "FrameBegin 2\nBackground 0 1 0\nWorldBegin\nCube\nXformPush\nXformPop\nWorldEnd\nFrameEnd\n",
        &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Sphere command not implemented. Ignoring.\n"
              "Sphere command not implemented. Ignoring.\n"
              "Cube command not implemented. Ignoring.\n");
    ExpectFlat(ReadPPM(dir + "/frame0001.ppm"), 8, 6, 127, 63, 255);
    ExpectFlat(ReadPPM(dir + "/frame0002.ppm"), 8, 6, 0, 255, 0);
}

TEST(ScanFrames, TransformUnderflowStopsTheRun) {
    RunResult r = RunScene(
        "Engine \"scan convert\"\nDisplay \"f\" \"PNM\" \"rgb\"\nFormat 2 2\nWorldBegin\nXformPop\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-26));
    EXPECT_EQ(r.err, "Error in scene.kx on line 5: Transform stack underflow\n");
}

}  // namespace
