#include "engines/direct/bezier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/errors.h"
#include "engines/direct/primitives.h"
#include "primitive_test_scene.h"
#include "support/run.h"

using namespace kx;
using kxtest::LineRecording;
using kxtest::QuadCount;
using kxtest::Recorded;
using kxtest::Recording;
using kxtest::RecordLine;
using kxtest::RecordVertex;

namespace {

class Bezier : public kxtest::DirectSceneTest {
protected:
    void SetUp() override {
        DirectSceneTest::SetUp();
        Open(120, 90);
    }
    static const VertexLayout& Layout() { return directState().layout; }
    static Vector3 WorldPosition(const Recorded& r) {
        int p = Layout().position;
        return Vector3(r.v[p], r.v[p + 1], r.v[p + 2]);
    }
    static Vector3 Normal(const Recorded& r) {
        int n = Layout().normal;
        return Vector3(r.v[n], r.v[n + 1], r.v[n + 2]);
    }
    static bool AllFinite(const std::vector<Recorded>& rec) {
        for (const Recorded& r : rec)
            for (int i = 0; i < Layout().count; ++i)
                if (!std::isfinite(r.v[i])) return false;
        return true;
    }
    std::vector<uint8_t> Frame() { return {image().pixels.begin(), image().pixels.end()}; }
};

// A tilted flat quadrilateral in front of the camera, u fastest.
const std::vector<float> kQuad = {-1, -1, -3.5f, 1.5f, -1, -2.25f, -1, 1, -3.5f, 1, 1.2f, -2.5f};

// A bicubic dome: 4 x 4 points, u fastest.
std::vector<float> Dome() {
    std::vector<float> p;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            bool inner = (i == 1 || i == 2) && (j == 1 || j == 2);
            p.insert(p.end(), {static_cast<float>(i) - 1.5f, static_cast<float>(j) - 1.5f, inner ? -4.0f : -5.0f});
        }
    return p;
}

}  // namespace

TEST_F(Bezier, DeCasteljauOfWholeRecords) {
    // Two points of two floats: a plain lerp; three points: the quadratic.
    float p[] = {0, 10, 4, 20};
    DeCasteljau(p, 2, 2, 2, 0.25f);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 12.5f);
    float q[] = {0, 2, 4};
    DeCasteljau(q, 3, 1, 1, 0.5f);
    EXPECT_EQ(q[0], 2.0f);
    float c[] = {0, 0, 4, 0};
    DeCasteljau(c, 2, 2, 2, 0.5f);  // step 2, width 1: only the first float of each point
    EXPECT_EQ(c[0], 2.0f);
    // The end parameters give the end points exactly, even where the
    // arithmetic would round them away.
    float e[] = {1e8f, 1};
    DeCasteljau(e, 2, 1, 1, 1);
    EXPECT_EQ(e[0], 1.0f);
    float z[] = {1, std::numeric_limits<float>::infinity()};
    DeCasteljau(z, 2, 1, 1, 0);
    EXPECT_EQ(z[0], 1.0f);
}

TEST_F(Bezier, LinearCurveEndsExactlyAtItsSecondPoint) {
    engine.Translate({0.5f, 0, -3});
    engine.RotateXY(20);
    const float pts[] = {-1, 0.25f, 0.1f, 0.7f, -0.3f, 0.6f};
    ASSERT_EQ(DrawBezierCurve("P", 0, pts + 3, 20, RecordLine), 0);  // the record of the second point
    Recorded second = LineRecording()[0];
    LineRecording().clear();

    ASSERT_EQ(DrawBezierCurve("\"P\"", 1, pts, 20, RecordLine), 0);
    const std::vector<Recorded>& r = LineRecording();
    ASSERT_EQ(r.size(), 21u);
    EXPECT_FALSE(r[0].flag);
    for (size_t i = 1; i < r.size(); ++i) EXPECT_TRUE(r[i].flag);
    for (int f = 0; f < Layout().count; ++f) EXPECT_EQ(r.back().v[f], second.v[f]) << "float " << f;
    // The points between are collinear and evenly spaced.
    Vector3 a = WorldPosition(r[0]), d = WorldPosition(r.back()) - a;
    for (size_t i = 0; i < r.size(); ++i) {
        Vector3 e = WorldPosition(r[i]) - (a + d * (static_cast<float>(i) / 20));
        EXPECT_LT(lengthSquared(e), 1e-10) << i;
    }
    // No divisions: only the start.
    LineRecording().clear();
    DrawBezierCurve("P", 1, pts, 0, RecordLine);
    EXPECT_EQ(LineRecording().size(), 1u);
}

TEST_F(Bezier, CurveRecordsCarryTheirAttributes) {
    // Colour and normal follow the position; the normal goes through the
    // normal transform (a rotation here).
    engine.RotateXY(90);
    const float pts[] = {0, 0, -2, 1, 0, 0, 0, 0, 1,  //
                         2, 0, -2, 0, 1, 0, 0, 0, 1};
    ASSERT_EQ(DrawBezierCurve("PCN", 1, pts, 2, RecordLine), 0);
    const VertexLayout& L = Layout();
    ASSERT_TRUE(L.hasColor && L.hasNormal);
    const Recorded& mid = LineRecording()[1];
    EXPECT_EQ(mid.v[L.color], 0.5f);
    EXPECT_EQ(mid.v[L.color + 1], 0.5f);
    EXPECT_NEAR(WorldPosition(mid).y, 1, 1e-6);  // (1, 0) turned by 90 degrees
    EXPECT_NEAR(Normal(mid).z, 1, 1e-6);
    // Curves without N carry no normal.
    DrawBezierCurve("P", 1, pts, 2, RecordLine);
    EXPECT_FALSE(Layout().hasNormal);
}

TEST_F(Bezier, ControlPolygonInTheControlColour) {
    engine.Color({1, 0, 0});
    engine.OptionBool("Control", true);
    engine.Color({0, 1, 0});
    const float pts[] = {-1, -1, -3, -1, 1, -3, 1, 1, -3, 1, -1, -3};
    ASSERT_EQ(DrawBezierCurve("P", 3, pts, 10, RecordLine), 0);
    const std::vector<Recorded>& r = LineRecording();
    ASSERT_EQ(r.size(), 11u + 4u);
    for (size_t i = 0; i < 11; ++i) EXPECT_EQ(r[i].color.g, 1.0f) << i;
    for (size_t i = 11; i < 15; ++i) {
        EXPECT_EQ(r[i].color.r, 1.0f);
        EXPECT_EQ(r[i].color.g, 0.0f);
        EXPECT_EQ(r[i].flag, i > 11);  // one polyline of 3 segments
        EXPECT_FLOAT_EQ(WorldPosition(r[i]).x, pts[3 * (i - 11)]);
    }
    EXPECT_EQ(directState().color.g, 1.0f);  // restored

    // Drawn: the curve green inside, the control polygon red on its sides.
    ASSERT_EQ(engine.Curve("P", 3, pts), 0);
    int red = 0, green = 0, other = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint8_t* p = pixel(x, y);
            if (!lit(x, y)) continue;
            if (p[0] == 255 && p[1] == 0 && p[2] == 0)
                ++red;
            else if (p[0] == 0 && p[1] == 255 && p[2] == 0)
                ++green;
            else
                ++other;
        }
    EXPECT_GT(red, 60);
    EXPECT_GT(green, 20);
    EXPECT_EQ(other, 0);
    // The left side of the control polygon, x = -1 at distance 3, crosses
    // the middle row at device x = 120 (0.5 - 0.5 * 0.75 / 3) - 0.5 = 44.5.
    EXPECT_EQ(pixel(44, 45)[0], 255);
    EXPECT_EQ(pixel(44, 45)[1], 0);
}

TEST_F(Bezier, OneDivisionIsTheQuadrilateralOfTheCorners) {
    std::vector<float> dome = Dome();
    ASSERT_EQ(DrawBezierPatch("P", 3, 3, dome.data(), 1, RecordVertex, RecordLine), 0);
    ASSERT_EQ(QuadCount(), 1);
    const int corner[4] = {0, 3, 15, 12};  // (0,0), (m,0), (m,k), (0,k)
    for (int c = 0; c < 4; ++c) {
        Vector3 w = WorldPosition(Recording()[c]);
        EXPECT_EQ(w.x, dome[3 * corner[c]]);
        EXPECT_EQ(w.y, dome[3 * corner[c] + 1]);
        EXPECT_EQ(w.z, dome[3 * corner[c] + 2]);
    }
    EXPECT_FALSE(Recording()[3].face.objectSpace);
    EXPECT_TRUE(LineRecording().empty());  // Control is off

    Recording().clear();
    ASSERT_EQ(DrawBezierPatch("P", 2, 1, dome.data(), 5, RecordVertex, RecordLine), 0);
    EXPECT_EQ(QuadCount(), 25);
    Recording().clear();
    ASSERT_EQ(DrawBezierPatch("P", 3, 3, dome.data(), -3, RecordVertex, RecordLine), 0);
    EXPECT_EQ(Recording().size(), 0u);
}

TEST_F(Bezier, FlatBilinearPatchHasAConstantNormal) {
    const float flat[] = {-1, -1, -3, 2, -1, -3, -1, 1, -3, 0.5f, 1.5f, -3};
    ASSERT_EQ(DrawBezierPatch("P", 1, 1, flat, 6, RecordVertex, RecordLine), 0);
    ASSERT_EQ(QuadCount(), 36);
    ASSERT_TRUE(Layout().hasNormal);  // derived, as the points bring none
    for (const Recorded& r : Recording()) {
        Vector3 n = Normal(r);
        EXPECT_EQ(n.x, 0.0f);
        EXPECT_EQ(n.y, 0.0f);
        EXPECT_GT(n.z, 0.0f);
        if (r.flag) {
            EXPECT_NEAR(r.face.normal.x, 0, 1e-6);
            EXPECT_GT(r.face.normal.z, 0.0f);
        }
    }
}

TEST_F(Bezier, GivenNormalsAreInterpolated) {
    engine.RotateXY(90);
    std::vector<float> pn;
    for (int i = 0; i < 4; ++i) {
        pn.insert(pn.end(), {kQuad[3 * i], kQuad[3 * i + 1], kQuad[3 * i + 2]});
        pn.insert(pn.end(), {0, 1, 0});
    }
    ASSERT_EQ(DrawBezierPatch("PN", 1, 1, pn.data(), 3, RecordVertex, RecordLine), 0);
    ASSERT_EQ(QuadCount(), 9);
    for (const Recorded& r : Recording()) {
        Vector3 n = Normal(r);  // (0, 1, 0) turned by 90 degrees about z
        EXPECT_NEAR(n.x, -1, 1e-6);
        EXPECT_NEAR(n.y, 0, 1e-6);
    }
}

TEST_F(Bezier, DegreeZeroPatchesGetFiniteNormals) {
    std::vector<float> dome = Dome();
    for (auto [m, k] : {std::pair{0, 3}, std::pair{3, 0}, std::pair{0, 0}}) {
        Recording().clear();
        ASSERT_EQ(DrawBezierPatch("P", m, k, dome.data(), 4, RecordVertex, RecordLine), 0);
        EXPECT_EQ(QuadCount(), 16);
        EXPECT_TRUE(AllFinite(Recording())) << m << " " << k;
        for (const Recorded& r : Recording()) EXPECT_EQ(lengthSquared(Normal(r)), 0.0);
    }
    // And through the pipeline, with the control mesh.
    engine.OptionBool("Control", true);
    EXPECT_EQ(engine.Patch("P", 0, 3, dome.data()), 0);
    EXPECT_EQ(engine.Patch("P", 0, 0, dome.data()), 0);
}

TEST_F(Bezier, ControlMeshComesBeforeTheSurface) {
    engine.Color({0.2f, 0.4f, 0.6f});
    engine.OptionBool("Control", true);
    engine.Color({1, 1, 1});
    std::vector<float> dome = Dome();
    ASSERT_EQ(DrawBezierPatch("P", 3, 2, dome.data(), 2, RecordVertex, RecordLine), 0);
    const std::vector<Recorded>& lines = LineRecording();
    ASSERT_EQ(lines.size(), 3u * 4 + 4u * 3);  // 3 rows of 4 points, 4 columns of 3
    int moves = 0;
    for (const Recorded& l : lines) {
        EXPECT_EQ(l.verticesBefore, 0u);
        EXPECT_EQ(l.color.b, 0.6f);
        moves += !l.flag;
    }
    EXPECT_EQ(moves, 7);
    // The second polyline runs along the second row (v index 1).
    EXPECT_EQ(WorldPosition(lines[4]).y, dome[3 * 4 + 1]);
    // The first column polyline steps along v.
    EXPECT_EQ(WorldPosition(lines[13]).y, dome[3 * 4 + 1]);
    EXPECT_EQ(WorldPosition(lines[13]).x, dome[0]);
    EXPECT_EQ(QuadCount(), 4);
    EXPECT_EQ(directState().color.b, 1.0f);
}

TEST_F(Bezier, BilinearPatchCoversThePixelsOfItsPolySet) {
    const int quad[] = {0, 1, 3, 2, -1};
    engine.Color({0.9f, 0.6f, 0.3f});
    ASSERT_EQ(engine.PolySet("P", 4, kQuad.data(), 1, quad), 0);
    std::vector<uint8_t> polyset = Frame();
    int area = litCount();
    ASSERT_GT(area, 500);

    engine.WorldBegin();
    engine.OptionReal("Divisions", 1);
    ASSERT_EQ(engine.Patch("P", 1, 1, kQuad.data()), 0);
    EXPECT_EQ(Frame(), polyset);

    // Cut into 8 x 8 the patch covers the same pixels, within the rounding
    // of the subdivided border.
    engine.WorldBegin();
    engine.OptionReal("Divisions", 8);
    ASSERT_EQ(engine.Patch("P", 1, 1, kQuad.data()), 0);
    std::vector<uint8_t> cut = Frame();
    int differ = 0;
    for (size_t i = 0; i < cut.size(); i += 3) differ += (cut[i] != 0) != (polyset[i] != 0);
    EXPECT_LE(differ, 8);
}

TEST_F(Bezier, TextureCoordinatesBecomeTexels) {
    std::string dir = kxtest::MakeTempDir();
    std::string path = kxtest::WriteFile(dir, "m.ppm", "P6 4 2 255\n" + std::string(24, '\x40'));
    ASSERT_EQ(mapList().MapLoad(path, "m"), 0);
    ASSERT_EQ(mapList().Map("texture", "m"), 0);
    const float pt[] = {-1, -1, -3, 0, 0, 1, -1, -3, 1, 0, -1, 1, -3, 0, 1, 1, 1, -3, 1, 1};
    ASSERT_EQ(DrawBezierPatch("PT", 1, 1, pt, 2, RecordVertex, RecordLine), 0);
    const int t = Layout().texture;
    ASSERT_GE(t, 0);
    // The centre of the patch is vertex 2 of the first quadrilateral.
    const Recorded& centre = Recording()[2];
    EXPECT_EQ(centre.v[t], 2.0f);  // u 0.5 of a 4 texel wide map
    EXPECT_EQ(centre.v[t + 1], 1.0f);
}

TEST_F(Bezier, VertexTypeErrors) {
    const float pts[32] = {};
    EXPECT_EQ(DrawBezierCurve("PX", 1, pts, 4, RecordLine), kErrVertexType);
    EXPECT_EQ(DrawBezierCurve("PO", 1, pts, 4, RecordLine), kErrVertexType);
    EXPECT_EQ(DrawBezierPatch("N", 1, 1, pts, 4, RecordVertex, RecordLine), kErrVertexType);
    EXPECT_EQ(engine.Patch("Pq", 1, 1, pts), kErrVertexType);
    EXPECT_EQ(engine.Curve("", 1, pts), kErrVertexType);
    EXPECT_TRUE(Recording().empty());
    EXPECT_TRUE(LineRecording().empty());
    // Negative degrees draw nothing.
    EXPECT_EQ(DrawBezierPatch("P", -1, 2, pts, 4, RecordVertex, RecordLine), 0);
    EXPECT_EQ(DrawBezierCurve("P", -1, pts, 4, RecordLine), 0);
    EXPECT_TRUE(Recording().empty());
    EXPECT_TRUE(LineRecording().empty());
}

TEST_F(Bezier, HostileValuesDoNotBreakTheEngine) {
    std::vector<float> dome = Dome();
    dome[7] = std::numeric_limits<float>::quiet_NaN();
    dome[20] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(engine.Patch("P", 3, 3, dome.data()), 0);
    EXPECT_EQ(engine.Curve("P", 3, dome.data()), 0);
    engine.OptionReal("Divisions", 1e12f);
    const float line[] = {-1, 0, -3, 1, 0, -3};
    EXPECT_EQ(engine.Curve("P", 1, line), 0);
    EXPECT_GT(litCount(), 0);
}

TEST_F(Bezier, HighDegreesAreEvaluatedAtFewerPoints) {
    // De Casteljau's work grows with the square of the degree per point: a
    // degree of 50000 would cost more than the budget for a single interior
    // point, so the curve is its chord from the first to the last point.
    const int degree = 50000;
    std::vector<float> pts;
    for (int i = 0; i <= degree; ++i) pts.insert(pts.end(), {static_cast<float>(i) / degree - 0.5f, 0, -3});
    ASSERT_EQ(DrawBezierCurve("P", degree, pts.data(), kMaxDivisions, RecordLine), 0);
    const std::vector<Recorded>& r = LineRecording();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(WorldPosition(r.back()).x, 0.5f);
    // Modest degrees keep every segment.
    LineRecording().clear();
    ASSERT_EQ(DrawBezierCurve("P", 30, pts.data(), kMaxDivisions, RecordLine), 0);
    EXPECT_EQ(LineRecording().size(), kMaxDivisions + 1u);

    // A patch of u degree 200 (and v degree 0): about 20000 steps a point.
    ASSERT_EQ(DrawBezierPatch("P", 200, 0, pts.data(), kMaxDivisions, RecordVertex, RecordLine), 0);
    int quads = QuadCount();
    EXPECT_GT(quads, 100 * 100);
    EXPECT_LT(quads, 300 * 300);
}
