// The direct engine's thread count through the binary: whatever OptionReal
// "Threads" says, every image, the statistics and the exit status are the
// same to the byte, with polygons of many materials, colours and texture
// settings overlapping (coplanar ones too, where the order of the depth
// tests decides) among lines, points, circles, seed fills and background
// changes that read or write the image between them, and worlds with no
// polygon; and with more polygons and attribute changes than one batch of
// the bins holds.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "core/limits.h"
#include "support/run.h"

using kxtest::ReadFile;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

std::string Num(double v) { return std::to_string(v); }

// A square in the plane z (polygon "PC": a colour per corner, or "PT": texture coordinates).
std::string Square(double x, double y, double size, double z, bool textured) {
    std::string s = textured ? "PolySet \"PT\" 4 1\n" : "PolySet \"PC\" 4 1\n";
    const double xs[4] = {x, x + size, x + size, x}, ys[4] = {y, y, y + size, y + size};
    for (int i = 0; i < 4; ++i) {
        s += Num(xs[i]) + " " + Num(ys[i]) + " " + Num(z) + " ";
        s += textured ? Num(i == 1 || i == 2 ? 1.0 : 0.0) + " " + Num(i >= 2 ? 1.0 : 0.0) + "\n"
                      : Num(0.2 * i) + " " + Num(1 - 0.2 * i) + " 0.5\n";
    }
    return s + "0 1 2 3 -1\n";
}

std::string Mixed(const std::string& threads) {
    const std::string maps = std::string(KX_SOURCE_DIR) + "/examples/textures/";
    std::string s = "OptionBool \"Statistics\" on\n";
    if (!threads.empty()) s += "OptionReal \"Threads\" " + threads + "\n";
    s += "Display \"mixed\" \"PNM\" \"rgb\"\nFormat 97 71\nMapLoad \"" + maps + "checker.ppm\" \"checker\"\n"
         "MapLoad \"" + maps + "rgb.ppm\" \"rgb\"\nCameraEye 0 -9 5\nCameraAt 0 0 0\nCameraUp 0 0 1\n";
    for (int frame = 1; frame <= 2; ++frame) {
        s += "FrameBegin " + std::to_string(frame) + "\nBackground 0.1 0.2 0.3\nWorldBegin\n"
             "AmbientLight 1 1 1 0.3\nPointLight 4 -5 6 1 0.9 0.8 60\nFarLight 1 1 -1 0.5 0.5 1 0.7\n";
        for (int i = 0; i < 6; ++i) {
            const char* surfaces[] = {"matte", "plastic", "metal", "painted plastic"};
            s += std::string("Surface \"") + surfaces[(i + frame) % 4] + "\"\nColor " + Num(0.3 + 0.1 * i) +
                 " 0.6 " + Num(0.9 - 0.1 * i) + "\nKa 0.3\nKd 0.8\nKs 0.5\nSpecular 1 1 1 " +
                 std::to_string(5 + 7 * i) + "\n";
            s += "XformPush\nTranslate " + Num(-2.5 + i) + " " + Num(0.4 * i) + " 0\n";
            if (i % 2 == 0) s += "Sphere 1.1 -1.1 1.1 360\n";
            else s += "Torus 0.9 0.35 0 360 360\n";
            s += "XformPop\n";
            if (i == 2) s += "Line -3 0 0 3 0 1\nPoint 0 0 0.5\nCircle 0 0 0 2\n";
            if (i == 3) s += "Fill 0 -2 -3\n";
        }
        // Coplanar squares: the first drawn keeps each pixel they share.
        s += "Surface \"matte\"\nOptionBool \"Interpolate\" on\n" + Square(-3, -1, 3, -1.5, false) +
             Square(-2, -0.5, 3, -1.5, false) + "OptionBool \"Interpolate\" off\n" +
             Square(-1, 0, 3, -1.5, false);
        s += "Surface \"painted plastic\"\nMap \"texture\" \"checker\"\nMapSample \"texture\" \"linear\" \"linear\"\n" +
             Square(0, -2, 2.5, 0.2, true) + "Map \"texture\" \"rgb\"\nMapBorder \"texture\" \"repeat\" \"repeat\"\n"
             "MapBound \"texture\" -1 -1 2 2\nTranslate 0 0 0.3\nCylinder 0.8 -1 1 300\n" +
             Square(1, -1, 2.5, 0.25, true);
        s += "OptionBool \"Wireframe\" on\nCone 1.5 1 360\nOptionBool \"Wireframe\" off\n"
             "OptionBool \"DoubleSide\" on\nDisk 0.5 1.4 270\nWorldEnd\nFrameEnd\n";
    }
    // A world without polygons, then one whose line is drawn before any:
    // the depths left to the threads to set are set all the same.
    s += "FrameBegin 3\nWorldBegin\nAmbientLight 1 1 1 0.3\nWorldEnd\nFrameEnd\n"
         "FrameBegin 4\nWorldBegin\nAmbientLight 1 1 1 0.3\nLine -3 0 -1 3 0 1\nSphere 1 -1 1 360\nWorldEnd\nFrameEnd\n";
    return s;
}

// Many polygons, their colour changing all the time: batches fill up by
// polygons and by attribute changes.
std::string Crowded(const std::string& threads) {
    std::string s = "OptionBool \"Statistics\" on\n";
    if (!threads.empty()) s += "OptionReal \"Threads\" " + threads + "\n";
    s += "Display \"crowded\" \"PNM\" \"rgb\"\nFormat 120 90\nCameraEye 0 -10 6\nCameraAt 0 0 0\nCameraUp 0 0 1\n"
         "WorldBegin\nAmbientLight 1 1 1 0.2\nPointLight 3 -4 8 1 1 1 80\nSurface \"plastic\"\nKs 0.6\n"
         "OptionReal \"Divisions\" 240\nSphere 2 -2 2 360\nOptionReal \"Divisions\" 8\n";
    const int squares = kx::kDirectBinSnapshots + 300;
    for (int i = 0; i < squares; ++i) {
        const double t = static_cast<double>(i) / squares;
        s += "Color " + Num(t) + " " + Num(1 - t) + " 0.5\nPolySet \"P\" 3 1 " + Num(-3 + 6 * t) + " -2 " +
             Num(-1 + 2 * t) + " " + Num(-2 + 6 * t) + " -1 1 " + Num(-3 + 5 * t) + " 0 0\n0 1 2 -1\n";
    }
    return s + "Torus 2 0.5 0 360 360\nWorldEnd\n";
}

struct Output {
    RunResult run;
    std::vector<std::string> images;
};

Output Render(const std::string& scene, const std::vector<std::string>& files) {
    Output o;
    std::string dir;
    o.run = RunScene(scene, &dir);
    for (const std::string& f : files) o.images.push_back(ReadFile(dir + "/" + f));
    return o;
}

// The statistics without the seconds each frame took.
std::string Counts(const std::string& err) { return std::regex_replace(err, std::regex("[0-9.]+ s,"), "s,"); }

void ExpectSame(const Output& a, const Output& b, const std::string& what) {
    EXPECT_EQ(a.run.status, b.run.status) << what;
    EXPECT_EQ(a.run.out, b.run.out) << what;
    EXPECT_EQ(Counts(a.run.err), Counts(b.run.err)) << what;
    ASSERT_EQ(a.images.size(), b.images.size());
    for (size_t i = 0; i < a.images.size(); ++i) EXPECT_TRUE(a.images[i] == b.images[i]) << what << " image " << i;
}

TEST(DirectThreads, EveryThreadCountDrawsTheSameImagesAndStatistics) {
    const std::vector<std::string> files = {"mixed0001.ppm", "mixed0002.ppm", "mixed0003.ppm", "mixed0004.ppm"};
    const Output one = Render(Mixed("1"), files);
    ASSERT_EQ(one.run.status, 0) << one.run.err;
    ASSERT_NE(one.run.err.find("pixels shaded"), std::string::npos) << one.run.err;
    for (const std::string& image : one.images) ASSERT_GT(image.size(), 97u * 71 * 3);
    EXPECT_FALSE(one.images[0] == one.images[1]);
    for (const char* threads : {"", "0", "2", "3", "7"}) ExpectSame(Render(Mixed(threads), files), one, threads);
}

TEST(DirectThreads, FullBinsAreDrawnInOrder) {
    const std::vector<std::string> files = {"crowded0000.ppm"};
    const Output one = Render(Crowded("1"), files);
    ASSERT_EQ(one.run.status, 0) << one.run.err;
    // More polygons than one batch holds (the sphere alone is 240 x 240).
    const size_t at = one.run.err.find("polygons");
    ASSERT_NE(at, std::string::npos) << one.run.err;
    EXPECT_GT(std::stoll(one.run.err.substr(one.run.err.find_first_of("0123456789", at))),
              static_cast<long long>(kx::kDirectBinPolygons));
    for (const char* threads : {"0", "2", "3"}) ExpectSame(Render(Crowded(threads), files), one, threads);
}

}  // namespace
