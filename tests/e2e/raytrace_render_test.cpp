// The "raytrace" engine through the binary: silhouettes, shadows, meshes,
// options and errors, and agreement with the direct engine on coverage.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

std::string Header(const std::string& engine, int w, int h) {
    return "Engine \"" + engine + "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat " + std::to_string(w) + " " +
           std::to_string(h) + "\n";
}

Image Render(const std::string& scene, RunResult* result = nullptr) {
    std::string dir;
    RunResult r = RunScene(scene, &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    if (result) *result = r;
    return ReadPPM(dir + "/img0000.ppm");
}

// Direction of the centre of pixel (x, y) for a camera at the origin looking
// down -z with a vertical field of view of fov degrees.
void PixelDirection(int x, int y, int w, int h, double fov, double d[3]) {
    double f = (h / 2.0) / std::tan(fov * 3.141592653589793 / 360);
    d[0] = x + 0.5 - w / 2.0;
    d[1] = h / 2.0 - (y + 0.5);
    d[2] = -f;
    double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; ++k) d[k] /= len;
}

TEST(RaytraceRender, FlatSphereIsADiscOfTheComputedRadius) {
    const int W = 96, H = 72;
    RunResult r;
    Image img = Render(Header("raytrace", W, H) +
                           "CameraFOV 60\nWorldBegin\nColor 1 0.5 0.25\nTranslate 0.5 -0.25 -6\n"
                           "Sphere 2 -2 2 360\nWorldEnd\n",
                       &r);
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(img.ok);
    ASSERT_EQ(img.width, W);
    ASSERT_EQ(img.height, H);
    // A pixel is inside when its centre ray passes the centre closer than
    // the radius.
    const double c[3] = {0.5, -0.25, -6};
    const double cl = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    int inside = 0, band = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double d[3];
            PixelDirection(x, y, W, H, 60, d);
            double along = (d[0] * c[0] + d[1] * c[1] + d[2] * c[2]);
            double miss = std::sqrt(std::max(0.0, cl * cl - along * along));
            if (std::fabs(miss - 2) < 0.01) {
                ++band;
                continue;
            }
            const uint8_t* p = img.at(x, y);
            if (miss < 2) {
                ++inside;
                EXPECT_TRUE(p[0] == 255 && p[1] == 127 && p[2] == 63) << x << ", " << y;
            } else {
                EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << x << ", " << y;
            }
        }
    EXPECT_GT(inside, 1000);
    EXPECT_LT(band, 40);
}

// Two triangles sharing a diagonal cover a square: every pixel whose centre
// lies in the square is exactly one triangle's colour, nothing leaks out.
TEST(RaytraceRender, TwoTrianglesCoverTheSquareExactlyOnce) {
    const int W = 64, H = 48;
    // The square is shifted by 0.01 (0.12 pixels) so that no pixel centre
    // lies on its diagonal.
    Image img = Render(Header("raytrace", W, H) +
                       "WorldBegin\nTranslate 0.01 0 -2\nColor 1 0 0\n"
                       "PolySet \"P\" 3 1  -1 -1 0  1 -1 0  1 1 0  0 1 2 -1\n"
                       "Color 0 1 0\n"
                       "PolySet \"P\" 3 1  -1 -1 0  1 1 0  -1 1 0  0 1 2 -1\nWorldEnd\n");
    ASSERT_TRUE(img.ok);
    int red = 0, green = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // Pixel-plane position of the centre relative to the square's
            // centre, in pixels (focal distance 24, distance 2: 12 pixels a unit).
            double u = x + 0.5 - 32 - 0.12, v = 24 - (y + 0.5);
            const uint8_t* p = img.at(x, y);
            bool in = std::fabs(u) < 12 && std::fabs(v) < 12;
            int expect[3] = {0, 0, 0};
            if (in) expect[v < u ? 0 : 1] = 255;
            ASSERT_EQ(p[0], expect[0]) << x << ", " << y;
            ASSERT_EQ(p[1], expect[1]) << x << ", " << y;
            ASSERT_EQ(p[2], 0) << x << ", " << y;
            red += p[0] == 255;
            green += p[1] == 255;
        }
    EXPECT_EQ(red + green, 24 * 24);
}

TEST(RaytraceRender, PointLightCastsAShadowOnTheFloor) {
    const int W = 64, H = 48;
    Image img = Render(Header("raytrace", W, H) +
                       "WorldBegin\nPointLight 0 5 -5  1 1 1  36\n"
                       "Ka 0.2\nKd 0.8\n"
                       "PolySet \"P\" 4 1  -20 -1 -20  20 -1 -20  20 -1 20  -20 -1 20  0 1 2 3 -1\n"
                       "Translate 0 1 -5\nSphere 1 -1 1 360\nWorldEnd\n");
    ASSERT_TRUE(img.ok);
    // Below the sphere, the floor gets the ambient part only: 0.2.
    const uint8_t* shadow = img.at(32, 29);
    EXPECT_EQ(shadow[0], 51);
    EXPECT_EQ(shadow[1], 51);
    // Away from it the floor is lit: at (20, 40) the floor point is about
    // (-1.1, -1, -1.3) and its light at distance 7.3 adds 0.8 * 36 / 53 * 0.82.
    const uint8_t* lit = img.at(20, 40);
    EXPECT_GT(lit[0], 150);
    // The top of the sphere faces the light.
    EXPECT_GT(img.at(32, 15)[0], 120);
}

TEST(RaytraceRender, OptionsParseAndLeaveFlatImagesAlone) {
    RunResult r;
    Image img = Render(Header("raytrace", 8, 6) +
                           "OptionReal \"Levels\" 2.9\nOptionReal \"Linear Subsamples\" 3\n"
                           "OptionBool \"Jitter\" on\nOptionBool \"Bounding Tree\" off\n"
                           "OptionReal \"Unknown\" 1\nBackground 0.5 0.25 1\nWorldBegin\nWorldEnd\n",
                       &r);
    EXPECT_EQ(r.err, "");
    ASSERT_TRUE(img.ok);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(img.at(x, y)[0], 127);
            EXPECT_EQ(img.at(x, y)[1], 63);
            EXPECT_EQ(img.at(x, y)[2], 255);
        }
}

TEST(RaytraceRender, NonPositiveSubsamplesShowTheBackground) {
    Image img = Render(Header("raytrace", 4, 4) +
                       "OptionReal \"Linear Subsamples\" 0\nBackground 0 1 0\nWorldBegin\n"
                       "Translate 0 0 -3\nSphere 1 -1 1 360\nWorldEnd\n");
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.at(2, 2)[0], 0);
    EXPECT_EQ(img.at(2, 2)[1], 255);
}

TEST(RaytraceRender, UnknownSurfaceAndTransformUnderflowStopTheRun) {
    RunResult r = RunScene(Header("raytrace", 4, 4) + "WorldBegin\nSurface \"chrome\"\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-21));
    EXPECT_EQ(r.err, "Error in scene.kx on line 5: Unknown surface material type\n");
    r = RunScene(Header("raytrace", 4, 4) + "WorldBegin\nXformPush\nXformPop\nXformPop\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-26));
    EXPECT_EQ(r.err, "Error in scene.kx on line 7: Transform stack underflow\n");
}

TEST(RaytraceRender, UnsupportedCommandsGiveTheirNotices) {
    RunResult r;
    Render(Header("raytrace", 4, 4) +
               "FrameBegin 3\nWorldBegin\nPoint 0 0 0\nCircle 0 0 0 1\nWorldEnd\nFrameEnd\n",
           &r);
    EXPECT_EQ(r.err,
              "Point command not implemented. Ignoring.\n"
              "Circle command not implemented. Ignoring.\n");
}

// Every image is named after its frame: an animation keeps all its frames,
// and an image outside any frame is frame 0.
TEST(RaytraceRender, AnAnimationWritesOneFilePerFrame) {
    std::string scene = Header("raytrace", 8, 6);
    for (int frame = 1; frame <= 3; ++frame)
        scene += "FrameBegin " + std::to_string(frame) + "\nWorldBegin\nTranslate " + std::to_string(frame - 2) +
                 " 0 -4\nSphere 1 -1 1 360\nWorldEnd\nFrameEnd\n";
    scene += "WorldBegin\nWorldEnd\n";
    std::string dir;
    RunResult r = RunScene(scene, &dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string frames[3];
    for (int frame = 1; frame <= 3; ++frame) {
        frames[frame - 1] = kxtest::ReadFile(dir + "/img000" + std::to_string(frame) + ".ppm");
        EXPECT_EQ(frames[frame - 1].size(), std::string("P6\n8 6\n255\n").size() + 8 * 6 * 3) << frame;
    }
    EXPECT_NE(frames[0], frames[1]);
    EXPECT_NE(frames[1], frames[2]);
    EXPECT_NE(frames[0], frames[2]);
    // The world after the frames: the background alone, as frame 0.
    Image last = ReadPPM(dir + "/img0000.ppm");
    ASSERT_TRUE(last.ok);
    EXPECT_EQ(last.rgb, std::vector<uint8_t>(8 * 6 * 3, 0));
}

// Under every engine that draws, a world after a frame is frame 0 and leaves
// the frame's file as the frame drew it.
TEST(RaytraceRender, AWorldAfterAFrameIsFrameZeroInEveryEngine) {
    for (const char* engine : {"direct", "raytrace", "scan convert"}) {
        std::string dir;
        RunResult r = RunScene(Header(engine, 4, 4) +
                                   "FrameBegin 4\nBackground 1 0 0\nWorldBegin\nWorldEnd\nFrameEnd\n"
                                   "Background 0 0 1\nWorldBegin\nWorldEnd\n",
                               &dir);
        ASSERT_EQ(r.status, 0) << engine << r.err;
        Image frame = ReadPPM(dir + "/img0004.ppm"), after = ReadPPM(dir + "/img0000.ppm");
        ASSERT_TRUE(frame.ok && after.ok) << engine;
        EXPECT_EQ(frame.at(1, 1)[0], 255) << engine;
        EXPECT_EQ(after.at(1, 1)[2], 255) << engine;
    }
}

// Coverage (non-background pixels) of the same scene under both engines.
// They differ at most in a thin band along the silhouette: every pixel on
// which they disagree touches a pixel of the other kind in the ray image.
void ExpectSameSilhouette(const std::string& objects) {
    const int W = 80, H = 60;
    Image ray = Render(Header("raytrace", W, H) + "WorldBegin\n" + objects + "WorldEnd\n");
    Image direct = Render(Header("direct", W, H) + "WorldBegin\n" + objects + "WorldEnd\n");
    ASSERT_TRUE(ray.ok);
    ASSERT_TRUE(direct.ok);
    auto covered = [](const Image& img, int x, int y) {
        const uint8_t* p = img.at(x, y);
        return p[0] != 0 || p[1] != 0 || p[2] != 0;
    };
    int both = 0, differ = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool r = covered(ray, x, y), d = covered(direct, x, y);
            both += r && d;
            if (r == d) continue;
            ++differ;
            bool edge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < W && ny < H && covered(ray, nx, ny) != r) edge = true;
                }
            EXPECT_TRUE(edge) << "pixel " << x << ", " << y << " away from the silhouette";
        }
    EXPECT_GT(both, 200);
    EXPECT_LT(differ, both / 10);
}

TEST(RaytraceRender, DirectEngineAgreesOnASphere) {
    ExpectSameSilhouette("Translate -0.3 0.2 -4\nSphere 1.2 -1.2 1.2 360\n");
}

TEST(RaytraceRender, DirectEngineAgreesOnATurnedCube) {
    ExpectSameSilhouette("Translate 0.2 -0.1 -5\nRotate \"Y\" 30\nRotate \"X\" 20\nScale 1.1 1.1 1.1\nCube\n");
}

TEST(RaytraceRender, DirectEngineAgreesOnAPolygonMesh) {
    // A pyramid of four triangles over a square, turned to show three faces.
    ExpectSameSilhouette(
        "Translate 0 -0.7 -3.5\nRotate \"Y\" 30\nRotate \"X\" 20\n"
        "PolySet \"P\" 5 5  -1 0 -1  1 0 -1  1 0 1  -1 0 1  0 1.8 0\n"
        "  0 1 4 -1  1 2 4 -1  2 3 4 -1  3 0 4 -1  3 2 1 0 -1\n");
}

}  // namespace
