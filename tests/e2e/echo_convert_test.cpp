// Scene files converted by the "data convert" engine, through the binary.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/run.h"

using kxtest::RunResult;
using kxtest::RunScene;

namespace {

RunResult Convert(const std::string& scene) { return RunScene("Engine \"data convert\"\n" + scene); }

const char* kEmptyBlock = "PolySet  \"P\"\n0  0\n\n\n";

// The lines of a text.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// The second line of the last world-mesh block: vertex and polygon counts.
std::string MeshCounts(const std::string& out) {
    std::vector<std::string> lines = Lines(out);
    std::string counts;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == "PolySet  \"P\"") counts = lines[i + 1];
    return counts;
}

// A bicubic sheet over [x0, x0 + 3] x [0, 3] with a raised middle.
std::string BicubicPatch(int x0 = 0) {
    std::ostringstream s;
    s << "Patch \"Bezier\" \"P\" 3 3";
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) s << "  " << x0 + i << ' ' << j << ' ' << ((i % 3) && (j % 3) ? 1 : 0);
    s << "\n";
    return s.str();
}

TEST(EchoConvert, EmptyWorldWritesAnEmptyMesh) {
    RunResult r = Convert("WorldBegin\nWorldEnd\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("WorldBegin\n") + kEmptyBlock + "WorldEnd\n");
    EXPECT_EQ(r.err, "");
}

TEST(EchoConvert, CommandsAreWrittenBackAsSceneText) {
    RunResult r = Convert(
        "Display \"pic\" \"PNM\" \"rgb\"\nFormat 64 48\nFrameBegin 3\n"
        "CameraEye 0 -0 5\nCameraAt 0 0 0\nCameraUp 0 1 0\nCameraFOV 45.5\nClipping 0.1 1000000\n"
        "Background 0.1 0.2 0.3\nTorus 2 0.5 0 360 360\n"
        "WorldBegin\n"
        "Color 1 0.5 0.25\nSurface \"plastic\"\nKa 0.2\nKd 0.8\nKs 0.5\nSpecular 1 1 1 20\n"
        "AmbientLight 1 1 1 0.3\nFarLight 0 0 -1  1 1 1  0.7\nPointLight 1 2 3  1 0.9 0.8  2\n"
        "XformPush\nTranslate 1 2 3\nScale 2 2 2\nRotate \"z\" 90\nRotate \"X\" -45\nRotate \"y\" 1e-7\n"
        "Sphere 1 -1 1 360\nCylinder 1 0 2 360\nCone 2 1 360\nDisk 0 1 360\nParaboloid 1 0 2 360\n"
        "Hyperboloid 1 0 0  0 1 2  360\nTube 0 0 0  0 0 1  0.25\nCube\n"
        "Point 1 2 3\nLine 0 0 0 1 1 1\nCircle 5 5 0 3.5\nFill 4 4 0\n"
        "XformPop\nCustom \"anything\"\nOptionReal \"Divisions\" 8\n"
        "WorldEnd\nFrameEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Display \"pic\" \"PNM\" \"rgb\"\nFormat 64 48\nFrameBegin 3\n"
              "CameraEye 0 -0 5\nCameraAt 0 0 0\nCameraUp 0 1 0\nCameraFOV 45.5\nClipping 0.1 1e+06\n"
              "Background  0.1 0.2 0.3\nTorus  2 0.5 0 360 360\n"
              "WorldBegin\n"
              "Color  1 0.5 0.25\nSurface  plastic\nKa  0.2\nKd  0.8\nKs  0.5\nSpecular  1 1 1  20\n"
              "AmbientLight  1 1 1  0.3\nFarLight  0 0 -1  1 1 1  0.7\nPointLight  1 2 3  1 0.9 0.8  2\n"
              "XformPush\nTranslate 1 2 3\nScale 2 2 2\nRotate \"Z\" 90\nRotate \"X\" -45\nRotate \"Y\" 1e-07\n"
              "Sphere  1 -1 1 360\nCylinder  1 0 2 360\nCone  2 1 360\nDisk  0 1 360\nParaboloid  1 0 2 360\n"
              "Hyperboloid  1 0 0  0 1 2  360\nTube  0 0 0  0 0 1  0.25\nCube\n"
              "Point 1 2 3\nLine 0 0 0  1 1 1\nCircle  5 5 0  3.5\nFill  4 4 0\n"
              "XformPop\n" +
                  std::string(kEmptyBlock) + "WorldEnd\nFrameEnd\n");
}

TEST(EchoConvert, UnsupportedCommandsGiveNoticesOnly) {
    RunResult r = Convert(
        "WorldBegin\nKe 1\nOpacity 0.5\nEmit 1 1 1 1\nColor 1 1 1\nSqSphere 1 1 1 -1 1 360\n"
        "LineSet P 2 1 0 0 0 1 1 1 0 1 -1\nSubdivision \"Catmull-Clark\" P 3 1 0 0 0 0 1 0 1 0 0 0 1 2 -1\n"
        "ConeLight 0 0 0 0 0 -1 30 5 1 1 1 1\nOptionBool \"Control\" on\nWorldEnd\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("WorldBegin\nColor  1 1 1\n") + kEmptyBlock + "WorldEnd\n");
    EXPECT_EQ(r.err,
              "Ke command not implemented. Ignoring.\n"
              "Opacity command not implemented. Ignoring.\n"
              "Emit command not implemented. Ignoring.\n"
              "SqSphere command not implemented. Ignoring.\n"
              "LineSet command not implemented. Ignoring.\n"
              "Option \"Catmull-Clark\" not implemented for Subdivision command. Ignoring.\n"
              "ConeLight command not implemented. Ignoring.\n"
              "OptionBool command not implemented. Ignoring.\n");
}

TEST(EchoConvert, PolySetsMergeIntoOneMesh) {
    // The two squares share an edge; one writes its zero as -0. Normals are
    // dropped, and the hexadecimal index is the vertex 2.
    RunResult r = Convert(
        "WorldBegin\n"
        "PolySet \"PN\" 4 1\n0 0 0 0 0 1  1 0 0 0 0 1  1 1 0 0 0 1  0 1 0 0 0 1\n0 1 2 3 -1\n"
        "Translate 5 0 0\n"
        "PolySet P 4 1\n1 -0 0  2 0 0  2 1 0  1 1 0\n0 1 0x2 3 -1\n"
        "WorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "WorldBegin\nTranslate 5 0 0\nPolySet  \"P\"\n6  2\n"
              "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 0 0\n2 1 0\n\n"
              "0 1 2 3 -1\n1 4 5 2 -1\n\nWorldEnd\n");
}

TEST(EchoConvert, RepeatsCollapseEmptyFacesAndNaNStayInBounds) {
    RunResult r = Convert(
        "WorldBegin\n"
        "PolySet P 4 4\nnan 0 0  nan 0 0  1 1 1  1 1 1\n0 1 2 3 -1 -1 2 0 0 2 -1 3 2 1 -1\n"
        "WorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "WorldBegin\nPolySet  \"P\"\n2  4\nnan 0 0\n1 1 1\n\n"
              "0 1 -1\n-1\n1 0 1 -1\n1 0 -1\n\nWorldEnd\n");
}

TEST(EchoConvert, BicubicPatchAtDefaultDivisions) {
    RunResult r = Convert("WorldBegin\n" + BicubicPatch() + "WorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 1 + 2 + 441 + 1 + 400 + 1 + 1u);
    EXPECT_EQ(lines[2], "441  400");
    EXPECT_EQ(lines[3], "0 0 0");                // S(0, 0)
    EXPECT_EQ(lines[4], "0.15 0 0");             // S(1/20, 0): 3u along the edge
    EXPECT_EQ(lines[3 + 440], "3 3 0");          // S(1, 1) comes last
    EXPECT_EQ(lines[3 + 441 + 1], "0 1 2 3 -1");  // A, A', B', B
    EXPECT_EQ(lines[3 + 441 + 2], "1 4 5 2 -1");
    EXPECT_EQ(lines[3 + 441 + 1 + 20], "3 2 42 43 -1");  // the second row starts from B
    EXPECT_EQ(lines.back(), "WorldEnd");
}

TEST(EchoConvert, PatchDirectionsOfLowDegreeAreNotSubdivided) {
    RunResult r = Convert(
        "OptionReal \"Divisions\" 50\nWorldBegin\nPatch \"Bezier\" P 1 1  0 0 0  1 0 0  0 1 0  1 1 1\nWorldEnd\n");
    EXPECT_EQ(r.out, "WorldBegin\nPolySet  \"P\"\n4  1\n0 0 0\n1 0 0\n1 1 1\n0 1 0\n\n0 1 2 3 -1\n\nWorldEnd\n");

    r = Convert("WorldBegin\nPatch \"Bezier\" P 3 1  0 0 0  1 1 0  2 1 0  3 0 0  0 0 1  1 1 1  2 1 1  3 0 1\nWorldEnd\n");
    EXPECT_EQ(MeshCounts(r.out), "42  20");

    r = Convert("OptionReal \"Divisions\" 4.9\nWorldBegin\n" + BicubicPatch() + "WorldEnd\n");
    EXPECT_EQ(MeshCounts(r.out), "25  16");
    // The value is kept for later worlds and frames.
    r = Convert("OptionReal \"Divisions\" 4.9\nFrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\nFrameBegin 2\n"
                "WorldBegin\n" +
                BicubicPatch() + "WorldEnd\nFrameEnd\n");
    EXPECT_EQ(MeshCounts(r.out), "25  16");
}

TEST(EchoConvert, CollapsedPatchEdges) {
    // A cone-like patch whose v = 1 edge is one point: each quadrilateral of
    // the last row loses a corner; a patch whose u = 0 edge is one point
    // keeps both ends of its polygons.
    RunResult r = Convert(
        "WorldBegin\n"
        "Patch \"Bezier\" P 1 1  0 0 0  1 0 0  5 5 5  5 5 5\n"
        "Patch \"Bezier\" P 1 1  7 7 7  8 0 0  7 7 7  8 1 0\n"
        "WorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "WorldBegin\nPolySet  \"P\"\n6  2\n0 0 0\n1 0 0\n5 5 5\n7 7 7\n8 0 0\n8 1 0\n\n"
              "0 1 2 -1\n3 4 5 3 -1\n\nWorldEnd\n");
}

TEST(EchoConvert, HugeOrNegativeDivisionsStayBounded) {
    // Negative divisions give no segments; a huge value is bounded and the
    // bilinear patch still yields its one quadrilateral.
    RunResult r = Convert("OptionReal \"Divisions\" -5\nWorldBegin\n" + BicubicPatch() +
                          "Patch \"Bezier\" P 1 1  0 0 0  1 0 0  0 1 0  1 1 1\n"
                          "OptionReal \"Divisions\" 1e30\n"
                          "Patch \"Bezier\" P 1 1  0 0 0  1 0 0  0 1 0  1 1 1\nWorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(MeshCounts(r.out), "4  2");
}

TEST(EchoConvert, CurveAndPointSetBlocks) {
    RunResult r = Convert(
        "WorldBegin\nCurve \"Bezier\" \"P\" 3  0 0 0  1 2 0  2 2 0  3 0 0\n"
        "PointSet PC 5  0 0 0 1 0 0  1 0 0 1 0 0  1 1 0 1 0 0  0 1 0 1 0 0  0.5 0.5 0.5 1 1 1\nWorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "WorldBegin\nCurve \"Bezier\" \"P\"\n3\n0 0 0\n1 2 0\n2 2 0\n3 0 0\n"
              "PointSet PC\n5\n0 0 0 1 0 0\n1 0 0 1 0 0\n1 1 0 1 0 0\n0 1 0 1 0 0\n0.5 0.5 0.5 1 1 1\n" +
                  std::string(kEmptyBlock) + "WorldEnd\n");
}

TEST(EchoConvert, InstancedPatchesJoinTheWorldMesh) {
    // The mesh takes positions as given: a recorded patch instanced twice
    // shares all its vertices, while the Translate between is echoed.
    RunResult r = Convert("ObjectBegin sheet\n" + BicubicPatch() + "ObjectEnd\nObjectBegin empty\nObjectEnd\n" +
                          "ObjectBegin two\nObjectInstance sheet\nObjectInstance empty\nTranslate 3 0 0\n"
                          "ObjectInstance sheet\nObjectEnd\n"
                          "WorldBegin\nObjectInstance two\n" +
                          BicubicPatch(3) + "WorldEnd\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Translate 3 0 0");
    // Two sheets side by side share their common edge of 21 vertices.
    EXPECT_EQ(lines[3], "861  1200");
}

// The output of a conversion, converted again, is the same text.
TEST(EchoConvert, RoundTrip) {
    std::string scene =
        "Display \"rt\" \"PNM\" \"rgb\"\nFormat 32 24\nFrameBegin 1\nCameraEye 0 0 5\nCameraFOV 30\n"
        "WorldBegin\nColor 0.2 0.4 0.6\nSurface metal\nTranslate 0.1 -0 1e-3\nRotate \"Y\" 33.3333\n" +
        BicubicPatch() + "Sphere 1 -1 1 360\n" +
        "PolySet P 4 3\n0 0 0  1 0 0  1 1 0  0 1 0\n0 1 2 3 -1 -1 3 3 2 -1\n"
        "OptionReal \"Divisions\" 3\nPatch \"Bezier\" P 2 2  0 0 0  1 0 1  2 0 0  0 1 1  1 1 2  2 1 1  0 2 0  1 2 1  2 2 0\n"
        "PointSet P 2  0.333333 0 0  1e-20 1e+20 -1\n"
        "Curve \"Bezier\" \"P\" 2  0 0 0  1 1 0  2 0 0\n"
        "WorldEnd\nFrameEnd\nFrameBegin 2\nWorldBegin\nCube\nWorldEnd\nFrameEnd\n";
    RunResult first = Convert(scene);
    ASSERT_EQ(first.status, 0) << first.err;
    RunResult second = Convert(first.out);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.err, "");
    EXPECT_EQ(second.out, first.out);
    EXPECT_GT(first.out.size(), 10000u);
}

TEST(EchoConvert, BadVertexTypeStopsTheRun) {
    RunResult r = Convert("WorldBegin\nPatch \"Bezier\" PO 1 1 0 0 0 1 0 0 0 1 0 1 1 1\nWorldEnd\n");
    EXPECT_EQ(r.status, kxtest::StatusOf(-10));
    EXPECT_EQ(r.out, "WorldBegin\n");
    EXPECT_EQ(r.err, "Error in scene.kx on line 3: Unknown vertex type combination\n");
}

}  // namespace
