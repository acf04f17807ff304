// Surfaces that give off light (Emit, Ke) in the direct engine and the ray
// tracer, through the binary: the colour added, exactly; Ke 0 changing no
// byte; the light neither shadowed nor lighting anything.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/run.h"

using kxtest::Image;
using kxtest::ReadPPM;
using kxtest::RunResult;
using kxtest::RunScene;

namespace {

using Rgb = std::tuple<int, int, int>;

// The scene rendered by engine (with OptionReal "Threads" threads when
// above 0) into one image, img0000.ppm.
Image Render(const std::string& engine, const std::string& scene, int threads = 0) {
    std::string text = "Engine \"" + engine + "\"\n";
    if (threads > 0) text += "OptionReal \"Threads\" " + std::to_string(threads) + "\n";
    text += "Display \"img\" \"PNM\" \"rgb\"\n" + scene;
    std::string dir;
    RunResult r = RunScene(text, &dir);
    EXPECT_EQ(r.status, 0) << engine << ": " << r.err;
    EXPECT_EQ(r.err, "") << engine;
    return ReadPPM(dir + "/img0000.ppm");
}

std::map<Rgb, int> Colours(const Image& img) {
    std::map<Rgb, int> n;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = img.at(x, y);
            ++n[{p[0], p[1], p[2]}];
        }
    return n;
}

const char* const kView = "Format 80 40\nCameraEye 0 0 6\nCameraAt 0 0 0\nCameraUp 0 1 0\nCameraFOV 40\n"
                          "Background 0 0 0.2\n";

// A world begins lit by a white ambient light: "without lights" is that
// light turned off. What the lamps give off is all there is to see, added
// to nothing and clamped: the lamp (a definition) (0.8, 0.4, 1.6), the
// plastic square (0.1, 0.3, 0.2); the sphere between them, which gives off
// nothing, stays black.
TEST(Emission, UnderNoLightASurfaceShowsExactlyWhatItGivesOffClamped) {
    const std::string scene = std::string(kView) + R"(ObjectBegin "lamp"
Emit 0.5 0.25 1 0.8
Ke 2
Sphere 0.9 -0.9 0.9 360
ObjectEnd
WorldBegin
AmbientLight 0 0 0 0
Color 0.3 0.9 0.1
XformPush
Translate -1.6 0 0
ObjectInstance "lamp"
XformPop
Ke 0
Sphere 0.5 -0.5 0.5 360
Surface "plastic"
Ks 1
Emit 0.2 0.6 0.4 1
Ke 0.5
PolySet "P" 4 1  1.0 -0.7 0  2.4 -0.7 0  2.4 0.7 0  1.0 0.7 0  0 1 2 3 -1
WorldEnd
)";
    const Rgb background{0, 0, 51}, lamp{204, 102, 255}, square{25, 76, 51}, dark{0, 0, 0};
    for (const std::string engine : {"direct", "raytrace"})
        for (int threads : {0, 1}) {
            const Image img = Render(engine, scene, threads);
            ASSERT_TRUE(img.ok) << engine;
            std::map<Rgb, int> n = Colours(img);
            EXPECT_GT(n[lamp], 150) << engine << ", threads " << threads;
            EXPECT_GT(n[square], 120) << engine;
            EXPECT_GT(n[dark], 40) << engine;
            EXPECT_EQ(n[background] + n[lamp] + n[square] + n[dark], img.width * img.height)
                << engine << ": other colours";
        }
    // The direct engine's lines are shaded as its surfaces are.
    const Image line = Render("direct", std::string(kView) +
                                            "WorldBegin\nAmbientLight 0 0 0 0\nEmit 0.5 0.25 1 0.8\nKe 2\n"
                                            "Line -2 0 0  2 0 0\nWorldEnd\n");
    std::map<Rgb, int> n = Colours(line);
    EXPECT_GT(n[lamp], 30);
    EXPECT_EQ(n[background] + n[lamp], line.width * line.height);
}

// Ke 0 (the default) gives nothing off, whatever Emit says, nor does a
// black Emit: every byte stays, lights, maps and reflections included.
TEST(Emission, NothingGivenOffChangesNoByte) {
    const std::string body = R"(PointLight 2 3 5  1 0.9 0.8  30
FarLight -1 -1 -1  0.3 0.4 0.8  0.6
Color 0.9 0.5 0.2
Kd 0.7
Ks 0.6
Surface "plastic"
Sphere 1 -1 1 360
Surface "painted plastic"
Map "texture" "checker"
PolySet "PT" 4 1  1 -1 -1 0 0  3 -1 -1 1 0  3 1 -1 1 1  1 1 -1 0 1  0 1 2 3 -1
Surface "metal"
Translate -2 0 0
Torus 0.7 0.3 0 360 360
WorldEnd
)";
    const std::string head = std::string(kView) + "OptionReal \"Levels\" 2\n"
                             "MapLoad \"" KX_SOURCE_DIR "/examples/textures/checker.ppm\" \"checker\"\nWorldBegin\n";
    for (const std::string engine : {"direct", "raytrace"}) {
        const Image plain = Render(engine, head + body);
        ASSERT_TRUE(plain.ok) << engine;
        for (const std::string settings :
             {"Emit 1 0.5 0.2 3\n", "Emit 1 0.5 0.2 3\nKe 0\n", "Ke 0.7\nKe 0\n", "Ke 2\nEmit 0 0 0 1\n",
              "Ke 2\nEmit 1 1 1 0\n"}) {
            const Image img = Render(engine, head + settings + body);
            EXPECT_EQ(img.rgb, plain.rgb) << engine << " with " << settings;
        }
    }
}

// A grey square lit from the side, partly in the shadow of a red sphere:
// what it gives off shows unchanged in the shadow, and in the light on top
// of the light.
TEST(Emission, TheLightGivenOffIsNotShadowed) {
    const std::string scene = std::string(kView) + R"(WorldBegin
AmbientLight 0 0 0 0
PointLight -4 0 4  1 1 1  15
Kd 1
Color 1 0 0
XformPush
Translate 0.3 0 1
Sphere 0.6 -0.6 0.6 360
XformPop
Color 0.5 0.5 0.5
Emit 0.2 0.1 0.3 1
Ke 1
PolySet "P" 4 1  -2.5 -1.5 0  2.5 -1.5 0  2.5 1.5 0  -2.5 1.5 0  0 1 2 3 -1
WorldEnd
)";
    const Image lamp = Render("raytrace", scene);
    std::string dark = scene;
    dark.replace(dark.find("Ke 1"), 4, "Ke 0");
    const Image plain = Render("raytrace", dark);
    ASSERT_TRUE(lamp.ok && plain.ok);
    const Rgb given{51, 25, 76};
    int shadowed = 0, lit = 0;
    for (int y = 0; y < lamp.height; ++y)
        for (int x = 0; x < lamp.width; ++x) {
            const uint8_t* a = lamp.at(x, y);
            const uint8_t* b = plain.at(x, y);
            if (Rgb{a[0], a[1], a[2]} == given) {
                ++shadowed;
                EXPECT_TRUE(b[0] == 0 && b[1] == 0 && b[2] == 0) << x << ", " << y;
            } else if (b[0] > 0 && b[0] == b[1] && b[1] == b[2] && b[2] < 255) {
                // Lit grey in the plain image: the light given off on top.
                ++lit;
                EXPECT_TRUE(a[0] > b[0] && a[1] > b[1] && a[2] > b[2]) << x << ", " << y;
            }
        }
    EXPECT_GT(shadowed, 50);
    EXPECT_GT(lit, 500);
}

}  // namespace
