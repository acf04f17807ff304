// Catmull-Clark subdivision surfaces in the direct engine and the ray
// tracer, through the binary, under the ambient light alone (each surface
// shows its flat colour): the pixels a refined cube cage covers against
// those of the cube and of spheres, its creases, and the reports of cages
// that cannot be refined.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;
using kxtest::StatusOf;

namespace {

const char* const kEngines[] = {"direct", "raytrace"};

// The cage of the cube with corners at -1 and 1, faces turned outwards.
const char* const kCube = R"(-1 -1 -1  1 -1 -1  1 1 -1  -1 1 -1
-1 -1 1  1 -1 1  1 1 1  -1 1 1
0 3 2 1 -1  4 5 6 7 -1  0 1 5 4 -1  1 2 6 5 -1  2 3 7 6 -1  3 0 4 7 -1
)";

// The cube cage with every edge creased at sharpness s, in six chains (two
// closed loops and the four upright edges); no chains for an empty s.
std::string CubeCage(const std::string& s) {
    if (s.empty()) return std::string("Subdivision \"Catmull-Clark\" \"P\" 8 6 0\n") + kCube;
    const std::string four = s + " " + s + " " + s + " " + s + "\n";
    return std::string("Subdivision \"Catmull-Clark\" \"P\" 8 6 6\n") + kCube + "0 1 2 3 0 -1 " + four +
           "4 5 6 7 4 -1 " + four + "0 4 -1 " + s + "\n1 5 -1 " + s + "\n2 6 -1 " + s + "\n3 7 -1 " + s + "\n";
}

// Which pixels a surface covers: those not of the background, row by row.
std::vector<bool> Covered(const std::string& engine, const std::string& surface) {
    const std::string scene = "Engine \"" + engine +
                              "\"\nDisplay \"img\" \"PNM\" \"rgb\"\n"
                              "Format 120 100\nCameraEye 3 -4 2.5\nCameraAt 0 0 0\nCameraUp 0 0 1\nCameraFOV 45\n"
                              "OptionReal \"Divisions\" 96\nWorldBegin\nColor 1 1 0\n" +
                              surface + "\nWorldEnd\n";
    std::string dir;
    RunResult r = RunScene(scene, &dir);
    EXPECT_EQ(r.status, 0) << engine << ": " << r.err;
    EXPECT_EQ(r.err, "") << engine;
    const Image img = ReadPPM(dir + "/img0000.ppm");
    std::vector<bool> mask;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) mask.push_back(img.at(x, y)[2] == 0 && img.at(x, y)[0] > 0);
    EXPECT_EQ(mask.size(), 12000u) << engine;
    return mask;
}

long Count(const std::vector<bool>& m) {
    long n = 0;
    for (bool b : m) n += b;
    return n;
}

// Pixels of inner not covered by outer.
long Outside(const std::vector<bool>& inner, const std::vector<bool>& outer) {
    long n = 0;
    for (size_t i = 0; i < inner.size() && i < outer.size(); ++i) n += inner[i] && !outer[i];
    return n;
}

// The vertices of a grid of 4 x 4 points in the plane z = 0.
std::string Grid() {
    std::string s;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) s += std::to_string(x) + " " + std::to_string(y) + " 0\n";
    return s;
}

std::string Report(int line, const std::string& message) {
    return "Error in scene.kx on line " + std::to_string(line) + ": " + message + "\n";
}

}  // namespace

// Every edge creased at 10 (infinitely sharp) keeps the cube: the same
// pixels as the cube drawn as a PolySet. Without creases the surface lies
// between the spheres of radius 0.80 and 0.95 (its limit between 0.840 and
// 0.866); creased at 1.5 it lies between the smooth and the sharp one,
// and so at every level (0 is the cage itself).
TEST(Subdivision, CreasesMoveTheSurfaceFromTheSphereToTheCube) {
    for (const char* engine : kEngines) {
        const std::vector<bool> cube = Covered(engine, std::string("PolySet \"P\" 8 6\n") + kCube);
        const std::vector<bool> sharp = Covered(engine, CubeCage("10"));
        const std::vector<bool> half = Covered(engine, CubeCage("1.5"));
        const std::vector<bool> smooth = Covered(engine, CubeCage(""));
        const std::vector<bool> inner = Covered(engine, "Sphere 0.8 -0.8 0.8 360");
        const std::vector<bool> outer = Covered(engine, "Sphere 0.95 -0.95 0.95 360");
        EXPECT_GT(Count(cube), 2000) << engine;
        EXPECT_TRUE(sharp == cube) << engine << ": " << Outside(sharp, cube) << " pixels outside the cube, "
                                   << Outside(cube, sharp) << " inside it not covered";
        EXPECT_EQ(Outside(inner, smooth), 0) << engine;
        EXPECT_EQ(Outside(smooth, outer), 0) << engine;
        EXPECT_GT(Count(smooth), Count(inner) + 100) << engine;
        EXPECT_LT(Count(smooth), Count(outer) - 100) << engine;
        EXPECT_EQ(Outside(smooth, half), 0) << engine;
        EXPECT_EQ(Outside(half, sharp), 0) << engine;
        EXPECT_GT(Count(half), Count(smooth) + 100) << engine;
        EXPECT_LT(Count(half), Count(sharp) - 100) << engine;
        // Level 0 draws the cage; levels beyond the bound are the bound's.
        EXPECT_TRUE(Covered(engine, "OptionReal \"SubdivisionLevel\" 0\n" + CubeCage("")) == cube) << engine;
        EXPECT_TRUE(Covered(engine, "OptionReal \"SubdivisionLevel\" -4\n" + CubeCage("")) == cube) << engine;
    }
}

// Cages that cannot be refined end the run with their report, whichever
// drawing engine; so does a refinement beyond the bound on faces, before
// any of it is made.
TEST(Subdivision, UnusableCagesAndTooMuchWorkAreReported) {
    const std::string cage =
        "Unusable subdivision cage: a degenerate face, a non-manifold edge or vertex, or a "
        "crease along no edge";
    struct Case {
        const char* what;
        std::string command;
        std::string message;
        int code;
    } cases[] = {
        {"three faces on one edge",
         "Subdivision \"Catmull-Clark\" \"P\" 5 3 0\n0 0 0 1 0 0 0 1 0 0 -1 0 0 0 1\n"
         "0 1 2 -1 1 0 3 -1 0 1 4 -1\n",
         cage, -47},
        {"a face turned the other way",
         "Subdivision \"Catmull-Clark\" \"P\" 8 6 0\n-1 -1 -1  1 -1 -1  1 1 -1  "
         "-1 1 -1\n-1 -1 1  1 -1 1  1 1 1  -1 1 1\n"
         "0 1 2 3 -1  4 5 6 7 -1  0 1 5 4 -1  1 2 6 5 -1  2 3 7 6 -1  3 0 4 7 -1\n",
         cage, -47},
        {"two faces touching at a corner",
         "Subdivision \"Catmull-Clark\" \"P\" 5 2 0\n0 0 0 1 0 0 0 1 0 -1 0 0 "
         "0 -1 0\n0 1 2 -1 0 3 4 -1\n",
         cage, -47},
        {"a face of two vertices", "Subdivision \"Catmull-Clark\" \"P\" 3 1 0\n0 0 0 1 0 0 0 1 0\n0 1 -1\n", cage, -47},
        {"a vertex twice in a face", "Subdivision \"Catmull-Clark\" \"P\" 3 1 0\n0 0 0 1 0 0 0 1 0\n0 1 2 1 -1\n", cage,
         -47},
        {"a crease along no edge",
         "Subdivision \"Catmull-Clark\" \"P\" 4 1 1\n0 0 0 1 0 0 1 1 0 0 1 0\n"
         "0 1 2 3 -1\n0 2 -1 10\n",
         cage, -47},
        // A grid of 3 x 3 quadrilaterals: 36 corners x 4^9, over 2^23.
        {"level 10",
         "OptionReal \"SubdivisionLevel\" 10\nSubdivision \"Catmull-Clark\" \"P\" 16 9 0\n" + Grid() +
             "0 1 5 4 -1 1 2 6 5 -1 2 3 7 6 -1 4 5 9 8 -1 5 6 10 9 -1 6 7 11 10 -1\n"
             "8 9 13 12 -1 9 10 14 13 -1 10 11 15 14 -1\n",
         "Subdivision surface too large: lower the SubdivisionLevel option", -48},
    };
    for (const char* engine : kEngines) {
        for (const Case& c : cases) {
            const std::string scene =
                std::string("Engine \"") + engine + "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nWorldBegin\n" + c.command;
            // The report names the command's last line.
            const int line = static_cast<int>(std::count(scene.begin(), scene.end(), '\n'));
            RunResult r = RunScene(scene);
            EXPECT_EQ(r.err, Report(line, c.message)) << engine << ", " << c.what;
            EXPECT_EQ(r.status, StatusOf(c.code)) << engine << ", " << c.what;
        }
    }
}
