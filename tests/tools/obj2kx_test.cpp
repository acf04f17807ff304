// kxrender-obj2kx: the PolySet it writes for OBJ files written here, rendered
// next to the same mesh written by hand, and its errors.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/model_write.h"
#include "support/run.h"

using namespace kxtest;

namespace {

RunResult Convert(const std::string& dir, const std::string& file) { return RunBinary(KX_OBJ2KX, {file}, dir); }

// A unit cube around the origin: 8 positions, 4 texture coordinates, 6 face
// normals; faces written with absolute and with negative (relative) indices,
// in two groups.
const char* kCubeObj =
    "# a cube\n"
    "o cube\n"
    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\n"
    "v -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
    "g sides\n"
    "f 5/1/2 6/2/2 7/3/2 8/4/2\n"
    "f 2/1/6 3/2/6 7/3/6 6/4/6\n"
    "f 4/1/4 8/2/4 7/3/4 3/4/4\n"
    "g others\n"
    "f -8/-4/-6 -5/-3/-6 -6/-2/-6 -7/-1/-6\n"
    "f 1/1/3 2/2/3 6/3/3 5/4/3\n"
    "f 1/1/5 5/2/5 8/3/5 4/4/5\n";

// The same cube by hand: four vertices per face (position, normal, texture
// coordinates), in the faces' order.
const char* kCubeByHand =
    "PolySet \"PNT\" 24 6\n"
    "-1 -1 1  0 0 1  0 0   1 -1 1  0 0 1  1 0   1 1 1  0 0 1  1 1   -1 1 1  0 0 1  0 1\n"
    "1 -1 -1  1 0 0  0 0   1 1 -1  1 0 0  1 0   1 1 1  1 0 0  1 1   1 -1 1  1 0 0  0 1\n"
    "-1 1 -1  0 1 0  0 0   -1 1 1  0 1 0  1 0   1 1 1  0 1 0  1 1   1 1 -1  0 1 0  0 1\n"
    "-1 -1 -1  0 0 -1  0 0   -1 1 -1  0 0 -1  1 0   1 1 -1  0 0 -1  1 1   1 -1 -1  0 0 -1  0 1\n"
    "-1 -1 -1  0 -1 0  0 0   1 -1 -1  0 -1 0  1 0   1 -1 1  0 -1 0  1 1   -1 -1 1  0 -1 0  0 1\n"
    "-1 -1 -1  -1 0 0  0 0   -1 -1 1  -1 0 0  1 0   -1 1 1  -1 0 0  1 1   -1 1 -1  -1 0 0  0 1\n"
    "0 1 2 3 -1  4 5 6 7 -1  8 9 10 11 -1  12 13 14 15 -1  16 17 18 19 -1  20 21 22 23 -1\n";

}  // namespace

TEST(Obj2kx, WritesOnePolySetWithSharedCorners) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "quad.obj",
              "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.25\nvt 0 0\nvt 1 1\nvn 0 0 1\n"
              "f 1/1/1 2/1/1 3/2/1\nf 1/1/1 3/2/1 4/2/1\n");
    RunResult r = Convert(dir, "quad.obj");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "# quad.obj: 4 vertices, 2 faces\n"
              "PolySet \"PNT\" 4 2\n"
              "  0 0 0 0 0 1 0 0\n"
              "  1 0 0 0 0 1 0 0\n"
              "  1 1 0 0 0 1 1 1\n"
              "  0 1 0.25 0 0 1 1 1\n"
              "  0 1 2 -1\n"
              "  0 2 3 -1\n");

    // Positions only; a corner used with two normals becomes two vertices;
    // standard input as "-".
    std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvn 1 0 0\nf 1//1 2//1 3//1\nf 1//2 3//2 2//2\n";
    r = RunBinary(KX_OBJ2KX, {"-"}, dir, &obj);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
              "# -: 6 vertices, 2 faces\nPolySet \"PN\" 6 2\n");
}

TEST(Obj2kx, ConvertedCubeRendersAsTheCubeWrittenByHand) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "cube.obj", kCubeObj);
    RunResult converted = Convert(dir, "cube.obj");
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_EQ(converted.err, "");
    EXPECT_NE(converted.out.find("PolySet \"PNT\" 24 6\n"), std::string::npos) << converted.out;

    std::string convertedDir, handDir;
    RunResult a = RunScene(TexturedMeshScene(converted.out), &convertedDir);
    RunResult b = RunScene(TexturedMeshScene(kCubeByHand), &handDir);
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    Image fromObj = ReadPPM(convertedDir + "/img0000.ppm");
    Image byHand = ReadPPM(handDir + "/img0000.ppm");
    ASSERT_TRUE(fromObj.ok);
    ASSERT_TRUE(byHand.ok);
    EXPECT_EQ(fromObj.rgb, byHand.rgb);
    // Not an empty picture: the cube covers a good part of the image.
    int covered = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) covered += fromObj.at(x, y)[0] || fromObj.at(x, y)[1] || fromObj.at(x, y)[2];
    EXPECT_GT(covered, 96 * 96 / 8);
}

TEST(Obj2kx, LongFacesAreSplitIntoTriangles) {
    std::string obj, face = "f";
    for (int i = 0; i < 60; ++i) {
        obj += "v " + std::to_string(i % 7) + " " + std::to_string(i / 7) + " 0\n";
        face += " " + std::to_string(i + 1);
    }
    std::string dir = MakeTempDir();
    WriteFile(dir, "long.obj", obj + face + "\nf 1 2 3\n");
    RunResult r = Convert(dir, "long.obj");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "long.obj: warning: 1 faces of more than 50 vertices split into triangles\n");
    EXPECT_NE(r.out.find("PolySet \"P\" 60 59\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n  0 58 59 -1\n  0 1 2 -1\n"), std::string::npos);

    // Past 255 vertices too; the face after the long one is still the
    // triangle 1 2 3.
    obj.clear();
    face = "f";
    for (int i = 0; i < 300; ++i) {
        double a = 6.283185307179586 * i / 300;
        obj += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
        face += " " + std::to_string(i + 1);
    }
    WriteFile(dir, "huge.obj", obj + face + "\nf 1 2 3\n");
    r = Convert(dir, "huge.obj");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "huge.obj: warning: 1 faces of more than 50 vertices split into triangles\n");
    EXPECT_NE(r.out.find("PolySet \"P\" 300 299\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 11), "  0 1 2 -1\n");
}

TEST(Obj2kx, BadFilesAreReportedWithAFailingStatus) {
    std::string dir = MakeTempDir();
    struct Case {
        const char* name;
        const char* text;  // null: no such file
        const char* error;
    } cases[] = {
        {"missing.obj", nullptr, "missing.obj: No such file or directory\n"},
        {"range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\n",
         "range.obj: face 2: vertex index out of range (the file has 3 vertices)\n"},
        {"relative.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -1 -2 -4\n",
         "relative.obj: face 1: vertex index out of range (the file has 3 vertices)\n"},
        {"normal.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//2\n",
         "normal.obj: face 1: normal index out of range (the file has 1)\n"},
        {"texture.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/1 2/1 3/1\n",
         "texture.obj: face 1: texture coordinate index out of range (the file has 0)\n"},
        {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2 0\n",
         "zero.obj: line 5: bad face (indices are numbers counted from 1, or negative from the end)\n"},
        {"empty.obj", "# nothing here\n", "empty.obj: no vertices\n"},
        {"faceless.obj", "v 0 0 0\nv 1 0 0\n", "faceless.obj: no faces\n"},
    };
    for (const Case& c : cases) {
        if (c.text) WriteFile(dir, c.name, c.text);
        RunResult r = Convert(dir, c.name);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.err, c.error);
        EXPECT_EQ(r.out, "") << c.name;
    }
    RunResult r = RunBinary(KX_OBJ2KX, {}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind(std::string("Usage: ") + KX_OBJ2KX + "  model.obj\n", 0), 0u) << r.err;
}
