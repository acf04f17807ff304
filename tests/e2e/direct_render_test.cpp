// The direct engine through the binary: coverage, colours and lighting
// values worked out by hand, lines, circles, fill, frames and errors.
//
// With Format 64 64 and the default camera (eye at the origin looking down
// -z, field of view 90), a world point (x, y, z) lands at device
// x = 31.5 + 32 x / -z, y = 31.5 - 32 y / -z; pixel (X, Y) has its centre
// at device (X, Y).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "direct/midpoint_circle.h"
#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

const char* kHead = "Display \"img\" \"PNM\" \"rgb\"\nFormat 64 64\n";
const char* kSquare = "PolySet \"P\" 4 1  -1 -1 -2  1 -1 -2  1 1 -2  -1 1 -2  0 1 2 3 -1\n";

Image Render(const std::string& body, RunResult* result = nullptr) {
    std::string dir;
    RunResult r = RunScene(std::string(kHead) + body, &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    if (result) *result = r;
    return ReadPPM(dir + "/img0000.ppm");
}

int Byte(double c) { return static_cast<int>(255.999 * c); }

bool Is(const Image& img, int x, int y, int r, int g, int b) {
    const uint8_t* p = img.at(x, y);
    return p[0] == r && p[1] == g && p[2] == b;
}

}  // namespace

TEST(DirectRender, SquareCoversExactlyItsPixelsInItsColour) {
    // Corners at device 15.5 and 47.5: columns and rows 16 to 47.
    Image img = Render(std::string("Background 0.5 0 0\nWorldBegin\nColor 0.3 0.6 0.9\n") + kSquare + "WorldEnd\n");
    ASSERT_TRUE(img.ok);
    ASSERT_EQ(img.width, 64);
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool in = x >= 16 && x <= 47 && y >= 16 && y <= 47;
            if (in ? !Is(img, x, y, Byte(0.3f), Byte(0.6f), Byte(0.9f)) : !Is(img, x, y, 127, 0, 0)) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(DirectRender, NearerSurfaceHidesFartherOneInEitherOrder) {
    const std::string small = "PolySet \"P\" 4 1  -0.5 -0.5 -1.5  0.5 -0.5 -1.5  0.5 0.5 -1.5  -0.5 0.5 -1.5  0 1 2 3 -1\n";
    Image a = Render("WorldBegin\nColor 1 0 0\n" + small + "Color 0 0 1\n" + kSquare + "WorldEnd\n");
    Image b = Render(std::string("WorldBegin\nColor 0 0 1\n") + kSquare + "Color 1 0 0\n" + small + "WorldEnd\n");
    EXPECT_TRUE(Is(a, 32, 32, 255, 0, 0));
    EXPECT_TRUE(Is(b, 32, 32, 255, 0, 0));
    EXPECT_TRUE(Is(a, 18, 18, 0, 0, 255));
    EXPECT_TRUE(Is(b, 18, 18, 0, 0, 255));
}

TEST(DirectRender, MatteUnderAFarLight) {
    // D = 0.5 * (L . N) = 0.5: colour = C * (0.2 * 1 + 0.8 * 0.5).
    Image img = Render(std::string("WorldBegin\nKa 0.2\nKd 0.8\nFarLight 0 0 -1  1 1 1  0.5\nColor 1 0.5 0.25\n") +
                       kSquare + "WorldEnd\n");
    for (int y = 16; y < 48; y += 5)
        for (int x = 16; x < 48; x += 5) ASSERT_TRUE(Is(img, x, y, Byte(0.6), Byte(0.3), Byte(0.15))) << x << "," << y;
}

TEST(DirectRender, PointLightFallsOffWithDistance) {
    // A plane at z = -2 lit from the eye: at P, L . N = 2 / |P| and the
    // attenuation is 1 / |P|^2, so matte gives 2 * 2 / |P|^3 with Ka 0.
    Image img = Render(
        "WorldBegin\nKa 0\nPointLight 0 0 0  1 1 1  2\n"
        "PolySet \"P\" 4 1  -3 -3 -2  3 -3 -2  3 3 -2  -3 3 -2  0 1 2 3 -1\nWorldEnd\n");
    for (auto [X, Y] : {std::pair{32, 32}, {10, 50}, {60, 3}, {45, 20}}) {
        double x = (X - 31.5) / 16, y = (31.5 - Y) / 16;
        double len = std::sqrt(x * x + y * y + 4);
        int expected = Byte(4 / (len * len * len));
        EXPECT_NEAR(img.at(X, Y)[0], expected, 1) << X << "," << Y;
        EXPECT_EQ(img.at(X, Y)[0], img.at(X, Y)[2]);
    }
}

TEST(DirectRender, PlasticAndMetalHighlights) {
    // Eye and point light at the origin, plane z = -2: V = P / |P|,
    // R = (x, y, 2) / |P|, L = (-x, -y, 2) / |P|, so L . R = (4 - x^2 - y^2) / |P|^2.
    const std::string scene =
        "WorldBegin\nKa 0\nKd 0.5\nKs 0.5\nSpecular 1 1 1 5\nPointLight 0 0 0  1 1 1  2\nColor 1 0 0\n";
    const std::string plane = "PolySet \"P\" 4 1  -3 -3 -2  3 -3 -2  3 3 -2  -3 3 -2  0 1 2 3 -1\nWorldEnd\n";
    Image plastic = Render(scene + "Surface \"plastic\"\n" + plane);
    Image metal = Render(scene + "Surface \"metal\"\n" + plane);
    for (auto [X, Y] : {std::pair{32, 32}, {10, 50}, {60, 3}, {40, 24}}) {
        double x = (X - 31.5) / 16, y = (31.5 - Y) / 16;
        double len2 = x * x + y * y + 4, len = std::sqrt(len2);
        double D = 2 / len2 * (2 / len);
        double S = 2 / len2 * std::pow((4 - x * x - y * y) / len2, 5);
        EXPECT_NEAR(plastic.at(X, Y)[0], Byte(std::min(1.0, 0.5 * D + 0.5 * S)), 1) << X << "," << Y;
        EXPECT_NEAR(plastic.at(X, Y)[1], Byte(0.5 * S), 1) << X << "," << Y;
        EXPECT_NEAR(metal.at(X, Y)[0], Byte(0.5 * S), 1) << X << "," << Y;
        EXPECT_EQ(metal.at(X, Y)[1], 0);
    }
}

TEST(DirectRender, WireframeTriangleHasNoInterior) {
    Image img = Render(
        "WorldBegin\nOptionBool \"Wireframe\" on\nPolySet \"P\" 3 1  -1 -1 -2  1 -1 -2  0 1 -2  0 1 2 -1\nWorldEnd\n");
    // Bottom edge along device row 47 (47.5 truncated), apex at (31.5, 15.5).
    EXPECT_TRUE(Is(img, 20, 47, 255, 255, 255));
    EXPECT_TRUE(Is(img, 31, 15, 255, 255, 255));
    EXPECT_TRUE(Is(img, 31, 36, 0, 0, 0));
    int lit = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) lit += img.at(x, y)[0] != 0;
    EXPECT_GT(lit, 32 + 2 * 30);
    EXPECT_LT(lit, 32 + 2 * 36);
}

TEST(DirectRender, LineAndCircle) {
    Image img = Render("WorldBegin\nLine -0.5 0.25 -1  0.5 0.25 -1\nColor 0 1 0\nCircle 0 -0.5 -1 10\nWorldEnd\n");
    // The line: device row 23.5, columns 15.5 to 47.5 -> row 23, columns 15 to 47.
    for (int x = 0; x < 64; ++x) EXPECT_EQ(img.at(x, 23)[0], (x >= 15 && x <= 47) ? 255 : 0) << x;
    // The circle: centre pixel (32, 48), radius 10, by the midpoint rule.
    std::set<std::pair<int, int>> expected = kxtest::ReferenceCircle(32, 48, 10, 64, 64);
    std::set<std::pair<int, int>> green;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (img.at(x, y)[1] == 255 && img.at(x, y)[0] == 0) green.insert({x, y});
    EXPECT_EQ(green, expected);
}

TEST(DirectRender, FillInsideACircle) {
    Image img = Render("WorldBegin\nCircle 0 0 -1 12\nColor 0 0 1\nFill 0 0 -1\nWorldEnd\n");
    EXPECT_TRUE(Is(img, 32, 32, 0, 0, 255));
    EXPECT_TRUE(Is(img, 42, 32, 0, 0, 255));
    EXPECT_TRUE(Is(img, 44, 32, 255, 255, 255));  // the ring
    EXPECT_TRUE(Is(img, 46, 32, 0, 0, 0));
    EXPECT_TRUE(Is(img, 2, 2, 0, 0, 0));
}

TEST(DirectRender, FramesAreWrittenUnderTheirNumbers) {
    std::string dir;
    RunResult r = RunScene(std::string(kHead) +
                               "FrameBegin 7\nWorldBegin\nColor 1 0 0\n" + kSquare +
                               "WorldEnd\nFrameEnd\nFrameBegin 8\nWorldBegin\nWorldEnd\nFrameEnd\n",
                           &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    Image a = ReadPPM(dir + "/img0007.ppm"), b = ReadPPM(dir + "/img0008.ppm");
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_TRUE(Is(a, 32, 32, 255, 0, 0));
    EXPECT_TRUE(Is(b, 32, 32, 0, 0, 0));
}

TEST(DirectRender, ErrorsStopTheRun) {
    RunResult r = RunScene(std::string(kHead) + "WorldBegin\nSurface \"shiny\"\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-21));
    EXPECT_EQ(r.err, "Error in scene.kx on line 4: Unknown surface material type\n");
    r = RunScene(std::string(kHead) + "WorldBegin\nXformPop\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-26));
    EXPECT_EQ(r.err, "Error in scene.kx on line 4: Transform stack underflow\n");
}

TEST(DirectRender, HostileSizesFinish) {
    RunResult r;
    Image img = Render(
        "WorldBegin\nCircle 0 0 -1 1e9\nCircle 0 0 -1 1e30\nLine -1e30 0 -2  1e30 0 -2\n"
        "OptionReal \"Divisions\" 1e30\nPolySet \"P\" 3 1  -1e30 -1e30 -2  1e30 -1e30 -2  0 1e30 -2  0 1 2 -1\n"
        "WorldEnd\n",
        &r);
    EXPECT_TRUE(img.ok);
    EXPECT_EQ(r.err, "");
}
