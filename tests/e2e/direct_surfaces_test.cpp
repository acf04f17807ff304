// The direct engine's surfaces through the binary: silhouettes against the
// analytic shapes, the tube against its cylinder, Bezier patches and curves,
// degenerate input, and the surface examples.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

std::string Header(int w, int h) {
    return "Display \"img\" \"PNM\" \"rgb\"\nFormat " + std::to_string(w) + " " + std::to_string(h) + "\n";
}

Image Render(const std::string& scene) {
    std::string dir;
    RunResult r = RunScene(scene, &dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return ReadPPM(dir + "/img0000.ppm");
}

bool Lit(const Image& img, int x, int y) {
    const uint8_t* p = img.at(x, y);
    return p[0] || p[1] || p[2];
}

// The camera-space direction through the centre of pixel (x, y) for the
// default camera (at the origin, looking down -z) with a vertical field of
// view of fov degrees; device pixel centres are at integer coordinates.
void PixelRay(int x, int y, int w, int h, double fov, double d[3]) {
    double t = std::tan(fov * 3.141592653589793 / 360);
    d[0] = ((x + 0.5) / w * 2 - 1) * t * w / h;
    d[1] = (1 - (y + 0.5) / h * 2) * t;
    d[2] = -1;
}

}  // namespace

TEST(DirectSurfaces, SphereIsTheDiscOfItsSilhouette) {
    const int W = 160, H = 120;
    Image img = Render(Header(W, H) +
                       "OptionReal \"Divisions\" 48\nWorldBegin\nColor 0.2 0.8 0.4\n"
                       "Translate 1 -0.5 -7\nSphere 1.5 -1.5 1.5 360\nWorldEnd\n");
    ASSERT_TRUE(img.ok);
    const double c[3] = {1, -0.5, -7}, r = 1.5;
    int inside = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            // Distance of the sphere's centre from the pixel's ray.
            double d[3];
            PixelRay(x, y, W, H, 90, d);
            double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
            double cd = c[0] * d[0] + c[1] * d[1] + c[2] * d[2];
            double cc = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
            double dist = std::sqrt(cc - cd * cd / dd);
            if (dist < r * 0.98) {
                ASSERT_TRUE(Lit(img, x, y)) << x << " " << y;
                const uint8_t* p = img.at(x, y);
                EXPECT_EQ(p[0], 51);
                EXPECT_EQ(p[1], 204);
                EXPECT_EQ(p[2], 102);
                ++inside;
            } else if (dist > r * 1.02) {
                ASSERT_FALSE(Lit(img, x, y)) << x << " " << y;
            }
        }
    EXPECT_GT(inside, 400);
}

TEST(DirectSurfaces, CylinderSideOnIsARectangle) {
    // Axis along x from -2 to 2 at distance 8: the silhouette runs between
    // the tangent lines y = +-tan(asin(1/8)) z, and ends between x = 2/9 z
    // (far rim) and x = 2/7 z (near rim).
    const int W = 200, H = 150;
    Image img = Render(Header(W, H) +
                       "OptionReal \"Divisions\" 64\nWorldBegin\n"
                       "Translate -2 0 -8\nRotate \"Y\" 90\nCylinder 1 0 4 360\nWorldEnd\n");
    ASSERT_TRUE(img.ok);
    const double half = 1 / std::sqrt(63.0);
    int lit = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double d[3];
            PixelRay(x, y, W, H, 90, d);
            double ax = std::fabs(d[0]), ay = std::fabs(d[1]);
            if (ay < half * 0.97 && ax < 2.0 / 9 * 0.97) {
                ASSERT_TRUE(Lit(img, x, y)) << x << " " << y;
                ++lit;
            }
            if (ay > half * 1.03 || ax > 2.0 / 7 * 1.03) {
                ASSERT_FALSE(Lit(img, x, y)) << x << " " << y;
            }
        }
    EXPECT_GT(lit, 500);
    // The middle row is one unbroken run.
    int first = -1, last = -1, count = 0;
    for (int x = 0; x < W; ++x)
        if (Lit(img, x, H / 2)) {
            if (first < 0) first = x;
            last = x;
            ++count;
        }
    EXPECT_EQ(last - first + 1, count);
}

TEST(DirectSurfaces, TubeIsItsCylinderMovedAndTurned) {
    const std::string lights = "FarLight 0 -1 -1  1 1 1  0.8\nSurface \"plastic\"\nKs 0.5\n";
    Image tube = Render(Header(120, 90) + "WorldBegin\n" + lights + "Tube -2 0.5 -8  2 0.5 -8  0.8\nWorldEnd\n");
    Image cyl = Render(Header(120, 90) + "WorldBegin\n" + lights +
                       "XformPush\nTranslate -2 0.5 -8\nRotate \"Z\" 0\nRotate \"Y\" 90\n"
                       "Cylinder 0.8 0 4 360\nXformPop\nWorldEnd\n");
    ASSERT_TRUE(tube.ok && cyl.ok);
    EXPECT_EQ(tube.rgb, cyl.rgb);
    int lit = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) lit += Lit(tube, x, y);
    EXPECT_GT(lit, 150);

    // The transform after the tube is the one before it: a sphere drawn
    // after a tube (on the left) lands where it lands without one.
    const std::string sphere = "Sphere 0.5 -0.5 0.5 360\nWorldEnd\n";
    Image after = Render(Header(60, 45) + "WorldBegin\nTranslate 0.5 0 -5\nTube -3 1 0  -2.5 1.5 0.5  0.3\n" + sphere);
    Image alone = Render(Header(60, 45) + "WorldBegin\nTranslate 0.5 0 -5\n" + sphere);
    ASSERT_TRUE(after.ok && alone.ok);
    int left = 0, right = 0;
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 60; ++x) {
            if (x < 24) {
                left += Lit(after, x, y) && !Lit(alone, x, y);
                continue;
            }
            for (int k = 0; k < 3; ++k) ASSERT_EQ(after.at(x, y)[k], alone.at(x, y)[k]) << x << " " << y;
            right += Lit(alone, x, y);
        }
    EXPECT_GT(left, 5);    // the tube
    EXPECT_GT(right, 10);  // the sphere, in the same place
}

TEST(DirectSurfaces, BilinearPatchMatchesItsPolySet) {
    const std::string quad = "-1 -1 -4  1.5 -1 -3  -1 1 -4.5  1 1.2 -3.5";
    Image patch = Render(Header(100, 75) + "OptionReal \"Divisions\" 1\nWorldBegin\nColor 1 0.5 0\n"
                                           "Patch \"Bezier\" \"P\" 1 1 " + quad + "\nWorldEnd\n");
    Image poly = Render(Header(100, 75) + "WorldBegin\nColor 1 0.5 0\nPolySet \"P\" 4 1 " + quad +
                        " 0 1 3 2 -1\nWorldEnd\n");
    ASSERT_TRUE(patch.ok && poly.ok);
    EXPECT_EQ(patch.rgb, poly.rgb);
}

TEST(DirectSurfaces, CurveAndItsControlPolygon) {
    // Control captures grey; the cubic is drawn in white.
    Image img = Render(Header(120, 90) + "WorldBegin\nColor 0.5 0.5 0.5\nOptionBool \"Control\" on\nColor 1 1 1\n"
                                         "Curve \"Bezier\" \"P\" 3  -2 -1.5 -5  -2 1.5 -5  2 1.5 -5  2 -1.5 -5\n"
                                         "WorldEnd\n");
    ASSERT_TRUE(img.ok);
    int white = 0, grey = 0, other = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint8_t* p = img.at(x, y);
            if (!Lit(img, x, y)) continue;
            if (p[0] == 255 && p[1] == 255 && p[2] == 255)
                ++white;
            else if (p[0] == 127 && p[1] == 127 && p[2] == 127)
                ++grey;
            else
                ++other;
        }
    EXPECT_GT(white, 40);
    EXPECT_GT(grey, 80);  // three sides of the polygon
    EXPECT_EQ(other, 0);
}

TEST(DirectSurfaces, DegenerateInputDrawsNothingAndSucceeds) {
    Image img = Render(Header(64, 48) +
                       "WorldBegin\nTranslate 0 0 -5\n"
                       "OptionReal \"Divisions\" -5\nSphere 1 -1 1 360\nTorus 1 0.3 0 360 360\n"
                       "Patch \"Bezier\" \"P\" 1 1  -1 -1 0  1 -1 0  -1 1 0  1 1 0\n"
                       "OptionReal \"Divisions\" 20\nSphere 0 -1 1 360\nCone 0 0 360\nCylinder 1 0 0 360\n"
                       "Tube 1 1 1  1 1 1  0.5\nParaboloid 0 0 0 360\nDisk 0 0 360\nHyperboloid 0 0 0  0 0 0  360\n"
                       "Patch \"Bezier\" \"P\" 0 3  0 0 0  1 0 0  1 1 0  0 1 0\n"
                       "WorldEnd\n");
    ASSERT_TRUE(img.ok);
    int lit = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) lit += Lit(img, x, y);
    EXPECT_EQ(lit, 0);
}

TEST(DirectSurfaces, SurfaceExamplesRender) {
    // The examples are rendered from out/ next to examples/, as make demo does.
    std::string dir = kxtest::MakeTempDir();
    ASSERT_EQ(symlink(KX_SOURCE_DIR "/examples", (dir + "/examples").c_str()), 0);
    std::string out = dir + "/out";
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    for (const char* name : {"surfaces_primitives", "surfaces_teapot", "surfaces_curve"}) {
        RunResult r = kxtest::RunKx({std::string("../examples/") + name + ".kx"}, out);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.err, "") << name;
        Image img = ReadPPM(out + "/" + name + "0000.ppm");
        ASSERT_TRUE(img.ok) << name;
        // Something besides the background is drawn in the middle third.
        const uint8_t* bg = img.at(0, 0);
        int drawn = 0;
        for (int y = img.height / 3; y < 2 * img.height / 3; ++y)
            for (int x = img.width / 3; x < 2 * img.width / 3; ++x) {
                const uint8_t* p = img.at(x, y);
                drawn += p[0] != bg[0] || p[1] != bg[1] || p[2] != bg[2];
            }
        EXPECT_GT(drawn, 100) << name;
    }
}
