// The PNG device against the PPM device: the same names, pixels and errors,
// and files that decode to exactly the frame buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/process_state.h"
#include "core/errors.h"
#include "display/display_state.h"
#include "display/png_device.h"
#include "display/ppm_device.h"
#include "shell/run.h"
#include "support/png_read.h"
#include "support/run.h"

using namespace kx;

namespace {

class PngDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { kx::process().reset(); }
    void TearDown() override { kx::process().reset(); }
};

// Draws the same things on any device: out-of-range and NaN components,
// pixels outside the image, a gradient over the rest.
void Draw(DisplayDevice& d) {
    d.SetBackground(ColorRGB(-0.5f, 0.5f, 2.0f));
    ASSERT_EQ(d.DisplayOpen(), 0);
    ASSERT_EQ(d.ImageBegin(7), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            if ((x + y) % 3) d.WritePixel(x, y, ColorRGB(x / 6.0f, y / 4.0f, 0.999f));
    d.WritePixel(0, 0, ColorRGB(nan, 1.0f, 1.5f));
    d.WritePixel(6, 4, ColorRGB(-1.0f, 0.5f, 1e30f));
    d.WritePixel(-1, 2, ColorRGB(1, 1, 1));
    d.WritePixel(7, 0, ColorRGB(1, 1, 1));
    d.WritePixel(3, 5, ColorRGB(1, 1, 1));
}

}  // namespace

TEST_F(PngDeviceTest, DisplayTypeAndModes) {
    EXPECT_EQ(SelectDisplay("out", "PNG", "rgb"), 0);
    EXPECT_NE(dynamic_cast<PngDevice*>(&displayState().dev()), nullptr);
    EXPECT_FALSE(displayState().perObjectRefresh);
    EXPECT_EQ(SelectDisplay("out", "PNG", "rgba"), kErrDisplayMode);
    EXPECT_EQ(SelectDisplay("out", "PNG", "rgbdouble"), kErrDisplayMode);
    EXPECT_EQ(SelectDisplay("out", "png", "rgb"), kErrDisplayType);
    EXPECT_EQ(SelectDisplay("out", "PNM", "rgb"), 0);
    EXPECT_NE(dynamic_cast<FileDevice*>(&displayState().dev()), nullptr);
}

TEST_F(PngDeviceTest, FilesAreNamedAsPpmFilesAre) {
    displayState().name = "out";
    PngDevice png{displayState()};
    FileDevice ppm{displayState()};
    ASSERT_EQ(png.DisplayOpen(), 0);
    ASSERT_EQ(ppm.DisplayOpen(), 0);
    for (int frame : {0, 7, 12345, -3}) {
        png.ImageBegin(frame);
        ppm.ImageBegin(frame);
        std::string expected = ppm.fileName();
        expected.replace(expected.size() - 4, 4, ".png");
        EXPECT_EQ(png.fileName(), expected);
    }
    EXPECT_EQ(png.fileName(), "out-0003.png");
}

TEST_F(PngDeviceTest, PixelsAndFileMatchThePpmDevice) {
    std::string dir = kxtest::MakeTempDir();
    displayState().name = dir + "/img";
    SetFormat(7, 5);
    PngDevice png{displayState()};
    FileDevice ppm{displayState()};
    Draw(png);
    Draw(ppm);
    ASSERT_EQ(png.buffer().pixels, ppm.buffer().pixels);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            ColorRGB a, b;
            png.ReadPixel(x, y, a);
            ppm.ReadPixel(x, y, b);
            EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << x << "," << y;
        }
    ASSERT_EQ(png.ImageShow(), 0);
    ASSERT_EQ(ppm.ImageShow(), 0);
    kxtest::Image decoded = kxtest::ReadPNG(dir + "/img0007.png");
    kxtest::Image reference = kxtest::ReadPPM(dir + "/img0007.ppm");
    ASSERT_TRUE(decoded.ok);
    ASSERT_TRUE(reference.ok);
    EXPECT_EQ(decoded.width, 7);
    EXPECT_EQ(decoded.height, 5);
    EXPECT_EQ(decoded.rgb, reference.rgb);
    EXPECT_EQ(decoded.rgb, std::vector<uint8_t>(png.buffer().pixels.begin(), png.buffer().pixels.end()));
    // Clamped conversion: NaN 0, 1.5 gives 255, -1 gives 0, the background's 2.0 gives 255.
    const uint8_t* p = decoded.at(0, 0);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 255);
    EXPECT_EQ(p[2], 255);
    p = decoded.at(0, 3);  // (0 + 3) % 3 == 0: background
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 127);
    EXPECT_EQ(p[2], 255);

    // The same frame again overwrites the file, and leaves nothing else.
    png.ImageBegin(7);
    png.WritePixel(1, 1, ColorRGB(1, 0, 0));
    ASSERT_EQ(png.ImageShow(), 0);
    decoded = kxtest::ReadPNG(dir + "/img0007.png");
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.at(1, 1)[0], 255);
    EXPECT_EQ(decoded.at(2, 1)[1], 127);
}

TEST_F(PngDeviceTest, FailuresAreReportedAsForPpm) {
    std::string dir = kxtest::MakeTempDir();
    SetFormat(4, 4);
    PngDevice png{displayState()};
    ASSERT_EQ(png.DisplayOpen(), 0);
    EXPECT_EQ(png.ImageShow(), 0);  // nothing begun, nothing written

    displayState().name = dir + "/missing/img";
    png.ImageBegin(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(png.ImageShow(), kErrEndOfFile);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "cannot write " + dir + "/missing/img0001.png: folder " + dir + "/missing: No such file or directory\n");

    // A PNG has at least one pixel: an empty format writes no file, and
    // says so, where the PPM device writes an empty image.
    SetFormat(0, 3);
    displayState().name = dir + "/empty";
    ASSERT_EQ(png.ImageBegin(2), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(png.ImageShow(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              dir + "/empty0002.png not written: an image without pixels has no PNG form\n");
    EXPECT_FALSE(kxtest::FileExists(dir + "/empty0002.png"));
}
