// Transparent surfaces (Opacity, the O values of a PolySet) through the
// binary: colours laid over what lies behind them to the byte in both
// drawing engines, the direct engine's picture whatever the order of the
// commands, and the ray tracer's shadows through them.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

using namespace kxtest;

namespace {

const char* const kEngines[] = {"direct", "raytrace"};

// A 40 x 30 image of the plane z = 0 seen from z = 5.
const std::string kFacing = "Format 40 30\nCameraEye 0 0 5\nCameraAt 0 0 0\nCameraUp 0 1 0\nCameraFOV 40\n";

Image Render(const std::string& engine, const std::string& world, const std::string& setup = kFacing) {
    std::string dir;
    RunResult r = RunScene("Engine \"" + engine + "\"\nDisplay \"img\" \"PNM\" \"rgb\"\n" + setup + "WorldBegin\n" +
                               world + "WorldEnd\n",
                           &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return ReadPPM(dir + "/img0000.ppm");
}

std::string Pixel(const Image& img, int x, int y) {
    if (!img.ok || x >= img.width || y >= img.height) return "no image";
    const uint8_t* p = img.at(x, y);
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

// Squares facing the camera: red at z = 1 over the middle of the image
// (pixel 20 15), green at z = 2 over the same, blue at z = 0 over all but
// the image's border (pixel 20 2 sees it alone, 2 2 nothing).
std::string Square(const char* color, const char* vertexType, float z, float half, const std::string& opacity = "") {
    std::string h = std::to_string(half), zs = std::to_string(z);
    auto corner = [&](const char* x, const char* y, int k) {
        return std::string(x) + h + " " + y + h + " " + zs + " " + (opacity.empty() ? "" : opacity.substr(k * 4, 4)) + " ";
    };
    return std::string("Color ") + color + "\nPolySet \"" + vertexType + "\" 4 1 " + corner("-", "-", 0) +
           corner("", "-", 1) + corner("", "", 2) + corner("-", "", 3) + " 0 1 2 3 -1\n";
}
const std::string kRed = Square("1 0 0", "P", 1, 1), kGreen = Square("0 1 0", "P", 2, 1);
const std::string kBlue = Square("0 0 1", "P", 0, 2);

TEST(Transparency, HalfOpaqueRedOverBlueInBothEngines) {
    for (const char* engine : kEngines) {
        const Image over = Render(engine, "Opacity 0.5\n" + kRed + "Opacity 1\n" + kBlue);
        EXPECT_EQ(Pixel(over, 20, 15), "127 0 127") << engine;
        EXPECT_EQ(Pixel(over, 20, 2), "0 0 255") << engine;
        EXPECT_EQ(Pixel(over, 2, 2), "0 0 0") << engine;
        // The opaque square drawn first or last: the same picture.
        EXPECT_EQ(Render(engine, kBlue + "Opacity 0.5\n" + kRed).rgb, over.rgb) << engine;
        // Opacity 0 lets everything through; 1 is every byte as without it.
        EXPECT_EQ(Pixel(Render(engine, "Opacity 0\n" + kRed + "Opacity 1\n" + kBlue), 20, 15), "0 0 255") << engine;
        EXPECT_EQ(Render(engine, "Opacity 1\n" + kRed + kBlue).rgb, Render(engine, kRed + kBlue).rgb) << engine;
        // Green half over red half over blue: 0.5 green + 0.25 red + 0.25
        // blue, in any order of the commands (the ray tracer sees through
        // two surfaces at Levels 1).
        const std::string levels = kFacing + "OptionReal \"Levels\" 1\n";
        const Image three = Render(engine, "Opacity 0.5\n" + kGreen + kRed + "Opacity 1\n" + kBlue, levels);
        EXPECT_EQ(Pixel(three, 20, 15), "63 127 63") << engine;
        EXPECT_EQ(Render(engine, "Opacity 0.5\n" + kRed + "Opacity 1\n" + kBlue + "Opacity 0.5\n" + kGreen, levels).rgb,
                  three.rgb)
            << engine;
    }
}

TEST(Transparency, VertexOpacityOfAPolySet) {
    for (const char* engine : kEngines) {
        // O 0.5 at every vertex is Opacity 0.5; O 1 changes no byte; O
        // multiplies Opacity.
        EXPECT_EQ(Pixel(Render(engine, Square("1 0 0", "PO", 1, 1, "0.5 0.5 0.5 0.5 ") + kBlue), 20, 15), "127 0 127")
            << engine;
        EXPECT_EQ(Render(engine, Square("1 0 0", "PO", 1, 1, "1.0 1.0 1.0 1.0 ") + kBlue).rgb,
                  Render(engine, kRed + kBlue).rgb)
            << engine;
        EXPECT_EQ(Pixel(Render(engine, "Opacity 0.5\n" + Square("1 0 0", "PO", 1, 1, "1.0 1.0 1.0 1.0 ") + "Opacity 1\n" +
                                            kBlue),
                        20, 15),
                  "127 0 127")
            << engine;
        // From 0 on the left to 1 on the right: blue, then more and more red.
        const Image ramp = Render(engine, Square("1 0 0", "PO", 1, 1, "0.0 1.0 1.0 0.0 ") + kBlue);
        const uint8_t *left = ramp.at(15, 15), *middle = ramp.at(20, 15), *right = ramp.at(25, 15);
        EXPECT_TRUE(left[0] < middle[0] && middle[0] < right[0] && left[2] > middle[2] && middle[2] > right[2])
            << engine << ": " << Pixel(ramp, 15, 15) << ", " << Pixel(ramp, 20, 15) << ", " << Pixel(ramp, 25, 15);
        EXPECT_EQ(int(left[0]) + left[2], 255) << engine;
    }
}

// A white floor lit straight from above (Ka 0, Kd 1), and panes over it
// that the camera does not look through where it sees their shadows
// (pixel 20 14; pixel 20 30 is lit floor).
TEST(Transparency, ShadowsThroughPanesInTheRayTracer) {
    const std::string setup = "Format 40 40\nCameraEye 0 -6 6\nCameraAt 0 0 0\nCameraUp 0 0 1\nCameraFOV 50\n";
    const std::string floor = "FarLight 0 0 -1  1 1 1 1\nKa 0\nKd 1\nColor 1 1 1\n"
                              "PolySet \"P\" 4 1  -4 -4 0  4 -4 0  4 4 0  -4 4 0  0 1 2 3 -1\nColor 1 0 0\n";
    const std::string pane = "PolySet \"P\" 4 1  -1 1 2  1 1 2  1 3 2  -1 3 2  0 1 2 3 -1\n";
    const std::string higher = "PolySet \"P\" 4 1  -1 1 3  1 1 3  1 3 3  -1 3 3  0 1 2 3 -1\n";
    const Image half = Render("raytrace", floor + "Opacity 0.5\n" + pane, setup);
    EXPECT_EQ(Pixel(half, 20, 14), "127 127 127");
    EXPECT_EQ(Pixel(half, 20, 30), "255 255 255");
    EXPECT_EQ(Pixel(Render("raytrace", floor + pane, setup), 20, 14), "0 0 0");
    // Two panes of 0.5: a quarter of the light, in either order.
    const Image two = Render("raytrace", floor + "Opacity 0.5\n" + pane + higher, setup);
    EXPECT_EQ(Pixel(two, 20, 14), "63 63 63");
    EXPECT_EQ(Render("raytrace", floor + "Opacity 0.5\n" + higher + pane, setup).rgb, two.rgb);
}

}  // namespace
