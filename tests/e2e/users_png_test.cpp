// PNG output through the program: the same scene written as PNG and as PPM
// gives the same pixels, under both drawing engines and for every frame.
#include <gtest/gtest.h>

#include <string>

#include "support/png_read.h"
#include "support/run.h"

using namespace kxtest;

namespace {

// A scene body with materials, lights and a texture map; `display` goes in
// front of it.
std::string DirectScene(const std::string& display) {
    return display +
           "Format 96 64\nCameraEye 0 0 6\nCameraAt 0 0 0\nCameraFOV 30\nBackground 0.2 0.1 0.3\n"
           "MapLoad \"" KX_SOURCE_DIR "/examples/textures/checker.ppm\" \"checker\"\n"
           "FrameBegin 2\nWorldBegin\nAmbientLight 1 1 1 0.2\nFarLight 1 -1 -1 1 1 1 1\n"
           "Kd 0.8\nKs 0.6\nSpecular 1 1 1 20\nColor 0.9 0.4 0.2\n"
           "XformPush\nTranslate -1 0 0\nSurface \"plastic\"\nSphere 0.9 -0.9 0.9 360\nXformPop\n"
           "XformPush\nTranslate 1 0 0\nRotate \"X\" -60\nSurface \"painted plastic\"\nMap \"texture\" \"checker\"\n"
           "Sphere 0.9 -0.9 0.9 360\nXformPop\nWorldEnd\nFrameEnd\n"
           "FrameBegin 3\nWorldBegin\nColor 2 -1 0.5\nPolySet \"P\" 3 1  -1 -1 0  1 -1 0  0 1 0  0 1 2 -1\n"
           "WorldEnd\nFrameEnd\n";
}

std::string RayScene(const std::string& display) {
    return "Engine \"raytrace\"\n" + display +
           "Format 80 60\nCameraEye 0 1 6\nCameraAt 0 0 0\nCameraFOV 35\nOptionReal \"Levels\" 1\n"
           "WorldBegin\nAmbientLight 1 1 1 0.2\nPointLight 2 4 3 1 1 1 20\n"
           "Surface \"plastic\"\nColor 0.3 0.6 0.9\nKs 0.5\nSphere 1 -1 1 360\n"
           "Surface \"matte\"\nColor 0.8 0.8 0.8\n"
           "PolySet \"P\" 4 1  -4 -1 -4  4 -1 -4  4 -1 4  -4 -1 4  0 1 2 3 -1\nWorldEnd\n";
}

void ExpectSamePixels(const std::string& ppmScene, const std::string& pngScene,
                      const std::vector<std::string>& frames) {
    std::string ppmDir, pngDir;
    RunResult a = RunScene(ppmScene, &ppmDir);
    RunResult b = RunScene(pngScene, &pngDir);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(a.err, b.err);
    for (const std::string& frame : frames) {
        Image ppm = ReadPPM(ppmDir + "/img" + frame + ".ppm");
        Image png = ReadPNG(pngDir + "/img" + frame + ".png");
        ASSERT_TRUE(ppm.ok) << frame;
        ASSERT_TRUE(png.ok) << frame;
        EXPECT_EQ(png.width, ppm.width);
        EXPECT_EQ(png.height, ppm.height);
        EXPECT_EQ(png.rgb, ppm.rgb) << frame;
        EXPECT_FALSE(FileExists(pngDir + "/img" + frame + ".ppm"));
    }
}

const char* kPnm = "Display \"img\" \"PNM\" \"rgb\"\n";
const char* kPng = "Display \"img\" \"PNG\" \"rgb\"\n";

}  // namespace

TEST(PngOutput, DirectEngineFramesDecodeToThePpmPixels) {
    ExpectSamePixels(DirectScene(kPnm), DirectScene(kPng), {"0002", "0003"});
}

TEST(PngOutput, RayTracerImageDecodesToThePpmPixels) {
    ExpectSamePixels(RayScene(kPnm), RayScene(kPng), {"0000"});
}

TEST(PngOutput, ModesAndWriteFailures) {
    RunResult r = RunScene("Display \"img\" \"PNG\" \"rgba\"\n");
    EXPECT_EQ(r.err, "Error in scene.kx on line 1: Unknown display mode\n");
    EXPECT_EQ(r.status, StatusOf(-20));

    // As with PPM files, a frame that cannot be written is reported with the
    // system's reason and ends the run.
    for (const char* engine : {"direct", "raytrace"}) {
        r = RunScene(std::string("Engine \"") + engine +
                     "\"\nDisplay \"missing/img\" \"PNG\" \"rgb\"\nFormat 4 4\nWorldBegin\nWorldEnd\n");
        EXPECT_NE(r.err.find("cannot write missing/img0000.png: folder missing: No such file or directory\n"
                             "Error in scene.kx on line 5: Unexepected end of file\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.status, StatusOf(-1));
    }
}
