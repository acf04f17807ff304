// kxrender-subdivide.so, the module that refines subdivision cages, is
// loaded only when a scene asks for a subdivision surface, from the
// program's folder or from ../<libdir>/kxrender beside it: kxrender copied
// alone into a folder renders every other scene as before, reports a
// Subdivision command with the folders it looked in, and finds the module
// where it is installed.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "support/run.h"

using kxtest::MakeTempDir;
using kxtest::ReadFile;
using kxtest::RunBinary;
using kxtest::RunResult;
using kxtest::StatusOf;
using kxtest::WriteFile;

namespace {

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? buf : path;
}

// Copies the file at from to to, keeping it executable.
void Copy(const std::string& from, const std::string& to) {
    WriteFile(to.substr(0, to.rfind('/')), to.substr(to.rfind('/') + 1), ReadFile(from));
    ASSERT_EQ(chmod(to.c_str(), 0755), 0) << to;
}

// Renders scene.kx with the given program in a new folder: its result and
// the image's bytes.
RunResult Render(const std::string& program, const std::string& scene, std::string* image) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx", scene);
    RunResult r = RunBinary(program, {"scene.kx"}, dir);
    *image = ReadFile(dir + "/img0000.ppm");
    return r;
}

}  // namespace

TEST(SubdivisionModule, LoadedFromBesideTheProgramOnlyWhenAsked) {
    const std::string build = std::string(KX_BINARY).substr(0, std::string(KX_BINARY).rfind('/'));
    const std::string root = RealPath(MakeTempDir());
    ASSERT_EQ(mkdir((root + "/bin").c_str(), 0755), 0);
    const std::string alone = root + "/bin/kxrender";
    Copy(KX_BINARY, alone);
    for (const char* engine : {"direct", "raytrace"}) {
        const std::string head = std::string("Engine \"") + engine +
                                 "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat 60 40\nCameraEye 3 -4 2.5\n"
                                 "CameraAt 0 0 0\nCameraUp 0 0 1\nWorldBegin\nColor 1 1 0\n";
        const std::string plain = head + "Sphere 1 -1 1 360\nWorldEnd\n";
        const std::string smooth = head +
                                   "Subdivision \"Catmull-Clark\" \"P\" 4 1 0\n"
                                   "-1 -1 0  1 -1 0  1 1 0  -1 1 0\n0 1 2 3 -1\nWorldEnd\n";
        std::string expected, image;
        ASSERT_EQ(Render(KX_BINARY, plain, &expected).status, 0) << engine;
        RunResult r = Render(alone, plain, &image);
        EXPECT_EQ(r.status, 0) << engine;
        EXPECT_EQ(r.err, "") << engine;
        EXPECT_TRUE(image == expected) << engine << ": a scene without Subdivision renders differently alone";

        r = Render(alone, smooth, &image);
        EXPECT_EQ(r.err, "cannot load kxrender-subdivide.so: looked in " + root + "/bin and " + root + "/" +
                             KX_INSTALL_LIBDIR +
                             "/kxrender: cannot open shared object file: No such file or directory\n"
                             "Error in scene.kx on line 11: Subdivision surfaces need kxrender-subdivide.so\n")
            << engine;
        EXPECT_EQ(r.status, StatusOf(-49)) << engine;

        // Installed beside it, as the package and make install lay it out.
        ASSERT_EQ(Render(KX_BINARY, smooth, &expected).status, 0) << engine;
        const std::string libdir = root + "/" + KX_INSTALL_LIBDIR + "/kxrender";
        ASSERT_EQ(system(("mkdir -p '" + libdir + "'").c_str()), 0);
        Copy(build + "/kxrender-subdivide.so", libdir + "/kxrender-subdivide.so");
        r = Render(alone, smooth, &image);
        EXPECT_EQ(r.status, 0) << engine << ": " << r.err;
        EXPECT_TRUE(image == expected) << engine << ": the installed module refines differently";
        ASSERT_EQ(system(("rm -r '" + libdir + "'").c_str()), 0);
    }
}
