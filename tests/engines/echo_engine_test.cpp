// The echo engine's text, called operation by operation.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>

#include "support/process_state.h"
#include "engines/echo/echo_engine.h"

namespace kx {
namespace {

class EchoTest : public ::testing::Test {
protected:
    void SetUp() override {
        echoState().reset();
        echoState().out = &sink;
    }
    void TearDown() override { echoState().reset(); }
    // What was written since the last call.
    std::string Take() {
        std::string s = out;
        out.clear();
        return s;
    }
    std::string out;
    TextSink sink{&out};
    REEcho echo{kx::process().echo};
};

TEST(EchoText, NumbersAreWrittenAsTheStreamWritesThem) {
    std::vector<float> values = {0.0f, -0.0f, 0.5f, 1.0f, -2.25f, 1e6f, 1e-5f, 123456.0f, 1234567.0f, 0.1f,
                                 1.0f / 3, 3.4028235e38f, 1e-45f, 1.17549435e-38f, INFINITY, -INFINITY, NAN, -NAN};
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) values.push_back(std::bit_cast<float>(static_cast<uint32_t>(rng())));
    for (float f : values) {
        std::ostringstream ref;
        if (std::isinf(f))
            ref << (f > 0 ? "1e+39" : "-1e+39");  // "inf" would not read back
        else
            ref << f;
        TextLine l;
        l.num(f);
        std::string got;
        TextSink sink(&got);
        l.drainTo(sink);
        ASSERT_EQ(got, ref.str()) << std::bit_cast<uint32_t>(f);
    }
    for (int i : {0, -1, 7, 2147483647, -2147483647 - 1}) {
        TextLine l;
        l.num(i);
        std::string got;
        TextSink sink(&got);
        l.drainTo(sink);
        EXPECT_EQ(got, std::to_string(i));
    }
}

TEST_F(EchoTest, EchoedCommandsHaveTheirExactSpacing) {
    const Point3 p(1, -2.25f, 0.5f), q(1e6f, 0, -0.0f);
    const ColorRGB c(0.25f, 0.5f, 1);
    struct Case {
        int result;
        const char* text;
    } cases[] = {
        {echo.Display("out", "PNM", "rgb"), "Display \"out\" \"PNM\" \"rgb\"\n"},
        {echo.Format(320, 200), "Format 320 200\n"},
        {echo.FrameBegin(7), "FrameBegin 7\n"},
        {echo.FrameEnd(), "FrameEnd\n"},
        {echo.CameraEye(p), "CameraEye 1 -2.25 0.5\n"},
        {echo.CameraAt(q), "CameraAt 1e+06 0 -0\n"},
        {echo.CameraUp(Vector3(0, 1, 0)), "CameraUp 0 1 0\n"},
        {echo.CameraFOV(45.5f), "CameraFOV 45.5\n"},
        {echo.Clipping(0.1f, 1e9f), "Clipping 0.1 1e+09\n"},
        {echo.Translate(Vector3(1, 2, 3)), "Translate 1 2 3\n"},
        {echo.Scale(Vector3(2, 2, 2)), "Scale 2 2 2\n"},
        {echo.RotateXY(90), "Rotate \"Z\" 90\n"},
        {echo.RotateYZ(-30), "Rotate \"X\" -30\n"},
        {echo.RotateZX(1.0f / 3), "Rotate \"Y\" 0.333333\n"},
        {echo.XformPush(), "XformPush\n"},
        {echo.XformPop(), "XformPop\n"},
        {echo.Point(p), "Point 1 -2.25 0.5\n"},
        {echo.Line(p, q), "Line 1 -2.25 0.5  1e+06 0 -0\n"},
        {echo.Circle(p, 3), "Circle  1 -2.25 0.5  3\n"},
        {echo.Cube(), "Cube\n"},
        {echo.Cone(1, 2, 360), "Cone  1 2 360\n"},
        {echo.Disk(0, 1.5f, 180), "Disk  0 1.5 180\n"},
        {echo.Sphere(1, -1, 1, 360), "Sphere  1 -1 1 360\n"},
        {echo.Cylinder(1, 0, 2, 90), "Cylinder  1 0 2 90\n"},
        {echo.Paraboloid(1, 0, 2, 270), "Paraboloid  1 0 2 270\n"},
        {echo.Torus(2, 0.5f, 0, 360, 360), "Torus  2 0.5 0 360 360\n"},
        {echo.Hyperboloid(p, q, 360), "Hyperboloid  1 -2.25 0.5  1e+06 0 -0  360\n"},
        {echo.Tube(p, q, 0.25f), "Tube  1 -2.25 0.5  1e+06 0 -0  0.25\n"},
        {echo.Background(c), "Background  0.25 0.5 1\n"},
        {echo.Color(c), "Color  0.25 0.5 1\n"},
        {echo.Fill(p), "Fill  1 -2.25 0.5\n"},
        {echo.Surface("plastic"), "Surface  plastic\n"},
        // Names that would not read back bare are quoted, with the quotes
        // and backslashes inside escaped.
        {echo.Surface("painted plastic"), "Surface  \"painted plastic\"\n"},
        {echo.Surface("#x"), "Surface  \"#x\"\n"},
        {echo.Surface(""), "Surface  \"\"\n"},
        {echo.Surface("a\"b\\c"), "Surface  a\"b\\\\c\n"},
        {echo.Surface("\"a b"), "Surface  \"\\\"a b\"\n"},
        {echo.Display("say \"hi\"", "PNM", "rgb"), "Display \"say \\\"hi\\\"\" \"PNM\" \"rgb\"\n"},
        {echo.PointLight(p, c, 2), "PointLight  1 -2.25 0.5  0.25 0.5 1  2\n"},
        {echo.FarLight(Vector3(0, 0, -1), c, 0.5f), "FarLight  0 0 -1  0.25 0.5 1  0.5\n"},
        {echo.AmbientLight(c, 0.2f), "AmbientLight  0.25 0.5 1  0.2\n"},
        {echo.Specular(c, 20), "Specular  0.25 0.5 1  20\n"},
        {echo.Ka(0.1f), "Ka  0.1\n"},
        {echo.Kd(0.9f), "Kd  0.9\n"},
        {echo.Ks(0.5f), "Ks  0.5\n"},
    };
    std::string expected;
    for (const Case& k : cases) {
        EXPECT_EQ(k.result, 0) << k.text;
        expected += k.text;
    }
    EXPECT_EQ(Take(), expected);
}

TEST_F(EchoTest, SilentOperationsWriteNothing) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(echo.Begin(), 0);
    EXPECT_EQ(echo.End(), 0);
    EXPECT_EQ(echo.Custom("anything"), 0);
    EXPECT_EQ(echo.OptionReal("Divisions", 5), 0);
    EXPECT_EQ(echo.OptionReal("Other", 5), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(Take(), "");
}

TEST_F(EchoTest, OtherOperationsGiveTheNoticeOnly) {
    const float f[6] = {0, 0, 0, 1, 1, 1};
    const int idx[3] = {0, 1, -1};
    const std::string items[1] = {"a"};
    testing::internal::CaptureStderr();
    int sum = echo.Ke(1) + echo.Opacity(0.5f) + echo.Emit(ColorRGB(1, 1, 1), 1) +
              echo.Subdivision("P", f, 2, idx, 1, idx, 0, f) + echo.LineSet("P", 2, f, 1, idx) +
              echo.SqSphere(1, 1, 1, -1, 1, 360) + echo.SqTorus(2, 1, 1, 1, 0, 360, 360) +
              echo.ConeLight(Point3(), Point3(0, 0, -1), 30, 5, ColorRGB(1, 1, 1), 1) +
              echo.MapBorder("color", "clamp", "clamp") + echo.MapBound("color", 0, 0, 1, 1) +
              echo.MapLoad("f.ppm", "m") + echo.MapSample("color", "point", "point") + echo.Map("color", "m") +
              echo.OptionArray("a", 1, f) + echo.OptionBool("b", true) + echo.OptionList("l", 1, items) +
              echo.OptionString("s", "v");
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Ke command not implemented. Ignoring.\n"
              "Opacity command not implemented. Ignoring.\n"
              "Emit command not implemented. Ignoring.\n"
              "Option \"Catmull-Clark\" not implemented for Subdivision command. Ignoring.\n"
              "LineSet command not implemented. Ignoring.\n"
              "SqSphere command not implemented. Ignoring.\n"
              "SqTorus command not implemented. Ignoring.\n"
              "ConeLight command not implemented. Ignoring.\n"
              "MapBorder command not implemented. Ignoring.\n"
              "MapBound command not implemented. Ignoring.\n"
              "MapLoad command not implemented. Ignoring.\n"
              "MapSample command not implemented. Ignoring.\n"
              "Map command not implemented. Ignoring.\n"
              "OptionArray command not implemented. Ignoring.\n"
              "OptionBool command not implemented. Ignoring.\n"
              "OptionList command not implemented. Ignoring.\n"
              "OptionString command not implemented. Ignoring.\n");
    EXPECT_EQ(Take(), "");
}

TEST_F(EchoTest, EmptyWorldStillWritesTheMeshBlock) {
    echo.WorldBegin();
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n0  0\n\n\nWorldEnd\n");
}

TEST_F(EchoTest, PolySetsShareCornersAcrossSetsAndSignedZeros) {
    echo.WorldBegin();
    const float a[] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    const int ia[] = {0, 1, 2, -1};
    // Normals and colours are dropped; -0 is the corner 0 of the first set.
    const float b[] = {1, 0, 0, 9, 9, 9, -0.0f, -0.0f, 0, 8, 8, 8, 0, 1, -0.0f, 7, 7, 7};
    const int ib[] = {0, 1, 2, -1};
    EXPECT_EQ(echo.PolySet("P", 3, a, 1, ia), 0);
    EXPECT_EQ(echo.PolySet("\"PN\"", 3, b, 1, ib), 0);
    echo.WorldEnd();
    EXPECT_EQ(Take(),
              "WorldBegin\nPolySet  \"P\"\n4  2\n"
              "0 0 0\n1 0 0\n1 1 0\n0 1 -0\n\n"
              "0 1 2 -1\n1 0 3 -1\n\n"
              "WorldEnd\n");
}

TEST_F(EchoTest, FirstOccurrenceKeepsItsSignedZero) {
    echo.WorldBegin();
    const float v[] = {-0.0f, 0, 0, 0, 0, 0, 1, 0, 0};
    const int idx[] = {0, 2, 1, -1};
    echo.PolySet("P", 3, v, 1, idx);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n2  1\n-0 0 0\n1 0 0\n\n0 1 0 -1\n\nWorldEnd\n");
}

TEST_F(EchoTest, ConsecutiveRepeatsCollapseButAClosingRepeatStays) {
    echo.WorldBegin();
    const float v[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0};
    // Faces: repeated indices; two indices of one position; first = last.
    const int idx[] = {0, 0, 1, 2, 2, -1, 1, 2, 3, 0, -1, 0, 1, 2, 0, -1};
    echo.PolySet("P", 4, v, 3, idx);
    echo.WorldEnd();
    EXPECT_EQ(Take(),
              "WorldBegin\nPolySet  \"P\"\n3  3\n0 0 0\n1 0 0\n1 1 0\n\n"
              "0 1 2 -1\n1 2 0 -1\n0 1 2 0 -1\n\nWorldEnd\n");
}

TEST_F(EchoTest, EmptyFacesAreWrittenAsAMinusOneLine) {
    echo.WorldBegin();
    const float v[] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    const int idx[] = {-1, 0, 1, 2, -1, -1};
    echo.PolySet("P", 3, v, 3, idx);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n3  3\n0 0 0\n1 0 0\n1 1 0\n\n-1\n0 1 2 -1\n-1\n\nWorldEnd\n");
}

TEST_F(EchoTest, PolySetWithoutPositionsOrWithBadTypeAddsNothing) {
    echo.WorldBegin();
    const float v[] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
    const int idx[] = {0, 1, 2, -1};
    EXPECT_EQ(echo.PolySet("N", 3, v, 1, idx), 0);
    EXPECT_EQ(echo.PolySet("PO", 1, v, 1, idx), kErrVertexType);
    EXPECT_EQ(echo.Patch("Pp", 1, 1, v), kErrVertexType);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n0  0\n\n\nWorldEnd\n");
}

TEST_F(EchoTest, MeshIsEmptiedAtWorldBeginOnly) {
    const float v[] = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    const int idx[] = {0, 1, 2, -1};
    const std::string block = "PolySet  \"P\"\n3  1\n0 0 0\n1 0 0\n1 1 0\n\n0 1 2 -1\n\nWorldEnd\n";
    echo.WorldBegin();
    echo.PolySet("P", 3, v, 1, idx);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\n" + block);
    echo.WorldEnd();
    EXPECT_EQ(Take(), block);
    echo.WorldBegin();
    EXPECT_EQ(echoState().mesh.coords().capacity(), 0u);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n0  0\n\n\nWorldEnd\n");
}

TEST_F(EchoTest, CurveAndPointSetBlocks) {
    const float cv[] = {0, 0, 0, 1, 2, 0, 2, 2, 0, 3, 0, 0.5f};
    EXPECT_EQ(echo.Curve("\"P\"", 3, cv), 0);
    EXPECT_EQ(Take(), "Curve \"Bezier\" \"P\"\n3\n0 0 0\n1 2 0\n2 2 0\n3 0 0.5\n");
    const float pv[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5f, 0.5f, 0.5f};
    EXPECT_EQ(echo.PointSet("P", 5, pv), 0);
    EXPECT_EQ(Take(), "PointSet P\n5\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n0.5 0.5 0.5\n");
    // Every float of a vertex is written, whatever its letter.
    const float tv[] = {1, 2, 3, 0.25f, 0.75f, 9, 8, 7, 0, 1};
    EXPECT_EQ(echo.PointSet("PT", 2, tv), 0);
    EXPECT_EQ(Take(), "PointSet PT\n2\n1 2 3 0.25 0.75\n9 8 7 0 1\n");
    EXPECT_EQ(echo.Curve("Pw", 1, cv), 0);
    EXPECT_EQ(Take(), "Curve \"Bezier\" Pw\n1\n0 0 0 1\n2 0 2 2\n");
    // A vertex type with an unknown letter writes nothing.
    EXPECT_EQ(echo.Curve("PO", 1, cv), kErrVertexType);
    EXPECT_EQ(echo.PointSet("X", 1, cv), kErrVertexType);
    EXPECT_EQ(Take(), "");
}

TEST_F(EchoTest, DivisionsOptionIsTruncatedAndBounded) {
    EXPECT_EQ(echoState().divisions, 20);
    echo.OptionReal("Divisions", 4.9f);
    EXPECT_EQ(echoState().divisions, 4);
    echo.OptionReal("divisions", 9);
    EXPECT_EQ(echoState().divisions, 4);
    echo.OptionReal("Divisions", NAN);
    EXPECT_EQ(echoState().divisions, 4);
    echo.OptionReal("Divisions", -7.9f);
    EXPECT_EQ(echoState().divisions, 0);
    echo.OptionReal("Divisions", 1e30f);
    EXPECT_EQ(echoState().divisions, kMaxEchoDivisions);
    echo.OptionReal("Divisions", INFINITY);
    EXPECT_EQ(echoState().divisions, kMaxEchoDivisions);
    echo.OptionReal("Divisions", -INFINITY);
    EXPECT_EQ(echoState().divisions, 0);
    echo.OptionReal("Divisions", 0.99f);
    EXPECT_EQ(echoState().divisions, 0);
    // The value persists across worlds.
    echo.OptionReal("Divisions", 3);
    echo.WorldBegin();
    echo.WorldEnd();
    EXPECT_EQ(echoState().divisions, 3);
}

// Bicubic control points of a gently curved sheet over the unit square.
std::vector<float> BicubicSheet() {
    std::vector<float> v;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            v.push_back(i / 3.0f);
            v.push_back(j / 3.0f);
            v.push_back((i == 1 || i == 2) && (j == 1 || j == 2) ? 1.0f : 0.0f);
        }
    return v;
}

TEST_F(EchoTest, PatchCountsFollowDegreesAndDivisions) {
    std::vector<float> sheet = BicubicSheet();
    const WorldMesh& mesh = echoState().mesh;
    echo.WorldBegin();
    EXPECT_EQ(echo.Patch("P", 3, 3, sheet.data()), 0);
    EXPECT_EQ(mesh.vertexCount(), 441);
    EXPECT_EQ(mesh.polygonCount(), 400);
    EXPECT_EQ(mesh.indices().size(), 400u * 5);

    // The same patch again shares every vertex.
    EXPECT_EQ(echo.Patch("P", 3, 3, sheet.data()), 0);
    EXPECT_EQ(mesh.vertexCount(), 441);
    EXPECT_EQ(mesh.polygonCount(), 800);

    // Degrees 3 and 1: twenty quadrilaterals in one row.
    echo.WorldBegin();
    EXPECT_EQ(echo.Patch("P", 3, 1, sheet.data()), 0);
    EXPECT_EQ(mesh.polygonCount(), 20);
    EXPECT_EQ(mesh.vertexCount(), 42);

    // Degrees 1 and 1: one quadrilateral whatever the divisions.
    for (float d : {20.0f, 1.0f, 0.0f, 500.0f}) {
        echo.OptionReal("Divisions", d);
        echo.WorldBegin();
        EXPECT_EQ(echo.Patch("P", 1, 1, sheet.data()), 0);
        EXPECT_EQ(mesh.polygonCount(), 1) << d;
        EXPECT_EQ(mesh.vertexCount(), 4) << d;
    }

    // Divisions 4.9 cut curved directions into 4 segments.
    echo.OptionReal("Divisions", 4.9f);
    echo.WorldBegin();
    echo.Patch("P", 3, 3, sheet.data());
    EXPECT_EQ(mesh.polygonCount(), 16);
    EXPECT_EQ(mesh.vertexCount(), 25);
    echo.WorldBegin();
    echo.Patch("P", 2, 1, sheet.data());
    EXPECT_EQ(mesh.polygonCount(), 4);

    // No segments: a curved direction yields nothing.
    echo.OptionReal("Divisions", 0);
    echo.WorldBegin();
    echo.Patch("P", 3, 3, sheet.data());
    echo.Patch("P", 3, 1, sheet.data());
    EXPECT_EQ(mesh.polygonCount(), 0);
    EXPECT_EQ(mesh.vertexCount(), 0);
}

TEST_F(EchoTest, QuadraticPatchValuesAndOrder) {
    // u degree 2 (a parabola in x, y), v degree 1 (straight along z).
    const float v[] = {0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 1, 1, 2, 1, 2, 0, 1};
    echo.OptionReal("Divisions", 2);
    echo.WorldBegin();
    EXPECT_EQ(echo.Patch("P", 2, 1, v), 0);
    echo.WorldEnd();
    EXPECT_EQ(Take(),
              "WorldBegin\nPolySet  \"P\"\n6  2\n"
              "0 0 0\n1 1 0\n1 1 1\n0 0 1\n2 0 0\n2 0 1\n\n"
              "0 1 2 3 -1\n1 4 5 2 -1\n\nWorldEnd\n");
}

TEST_F(EchoTest, PatchPointsAreSinglePrecisionDeCasteljau) {
    // x runs along the control values 0, 0, 1: S(u) = u * u, computed as
    // two rounded interpolation steps; y along v is 0, 1, 1: 2v - v * v.
    std::vector<float> v;
    const float xs[3] = {0, 0, 1}, ys[3] = {0, 1, 1};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) v.insert(v.end(), {xs[i], ys[j], 0.0f});
    echo.OptionReal("Divisions", 3);
    echo.WorldBegin();
    echo.Patch("P", 2, 2, v.data());
    const WorldMesh& mesh = echoState().mesh;
    ASSERT_EQ(mesh.vertexCount(), 16);
    std::vector<float> ref;
    for (int c = 0; c <= 3; ++c) {
        float u = static_cast<float>(c) / 3.0f;
        float x = (0.0f + (u - 0.0f) * u);
        for (int r = 0; r <= 3; ++r) {
            float t = static_cast<float>(r) / 3.0f;
            float a = 0.0f + (1.0f - 0.0f) * t, b = 1.0f + (1.0f - 1.0f) * t;
            float y = a + (b - a) * t;
            ref.push_back(x);
            ref.push_back(y);
        }
    }
    // Every vertex the mesh holds is one of the grid points, bit for bit.
    for (int k = 0; k < mesh.vertexCount(); ++k) {
        float x = mesh.coords()[3 * k], y = mesh.coords()[3 * k + 1];
        bool found = false;
        for (size_t g = 0; g < ref.size(); g += 2)
            if (std::bit_cast<uint32_t>(ref[g]) == std::bit_cast<uint32_t>(x) &&
                std::bit_cast<uint32_t>(ref[g + 1]) == std::bit_cast<uint32_t>(y))
                found = true;
        EXPECT_TRUE(found) << k;
    }
}

TEST_F(EchoTest, CollapsedPatchEdges) {
    // A' and B' coincide: three indices.
    const float fan[] = {0, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0};
    // A and B coincide: the polygon starts and ends with the same index.
    const float loop[] = {0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0};
    echo.WorldBegin();
    echo.Patch("P", 1, 1, fan);
    echo.Patch("P", 1, 1, loop);
    echo.WorldEnd();
    EXPECT_EQ(Take(),
              "WorldBegin\nPolySet  \"P\"\n4  2\n0 0 0\n1 1 0\n0 1 0\n1 0 0\n\n"
              "0 1 2 -1\n0 3 1 0 -1\n\nWorldEnd\n");
}

TEST_F(EchoTest, PatchUsesThePositionOfEachControlPoint) {
    // Colour first, then the position: the layout's offset is honoured.
    const float v[] = {9, 9, 9, 0, 0, 0, 9, 9, 9, 1, 0, 0, 9, 9, 9, 0, 1, 0, 9, 9, 9, 1, 1, 0};
    echo.WorldBegin();
    echo.Patch("CP", 1, 1, v);
    echo.WorldEnd();
    EXPECT_EQ(Take(), "WorldBegin\nPolySet  \"P\"\n4  1\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n\n0 1 2 3 -1\n\nWorldEnd\n");
}

}  // namespace
}  // namespace kx
