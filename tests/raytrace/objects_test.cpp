// Canonical intersections of the ray-traced objects, their matrices and
// world boxes, and the polygon faces.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/transform.h"
#include "engines/raytrace/objects.h"
#include "interface/vertex_type.h"

namespace kx::raytrace {
namespace {

constexpr double kFar = 1e30;

Ray MakeRay(Point3 o, Vector3 d) { return Ray{o, d}; }

// The current transform after a few modelling commands, starting from the
// identity.
struct Xform {
    TransformState s;
    Xform() { s.setIdentity(); }
};

struct Hit {
    bool hit = false;
    double t = 0;
    HitRecord rec;
};

Hit Shoot(const GrObject& obj, const Ray& r, double tmin = 1e-7, double tmax = kFar) {
    Hit h;
    h.hit = obj.intersect(tmin, tmax, h.t, r, h.rec);
    // The occlusion test always agrees with the intersection.
    EXPECT_EQ(h.hit, obj.occludes(tmin, tmax, r));
    return h;
}

void ExpectUnitNormal(const Hit& h, float x, float y, float z) {
    Vector3 n = normalized(h.rec.normal);
    EXPECT_NEAR(n.x, x, 1e-6);
    EXPECT_NEAR(n.y, y, 1e-6);
    EXPECT_NEAR(n.z, z, 1e-6);
}

TEST(Sphere, HitFromOutsideAndFromTheCentre) {
    Xform x;
    BuiltObject b = BuildSphere(2, -2, 2, 360, x.s.M, x.s.Minv);
    ASSERT_NE(dynamic_cast<RTSimpleSphere*>(b.object.get()), nullptr);
    Hit h = Shoot(*b.object, MakeRay({0, 0, 5}, {0, 0, -1}));
    ASSERT_TRUE(h.hit);
    EXPECT_DOUBLE_EQ(h.t, 3);
    EXPECT_DOUBLE_EQ(h.rec.t, 3);
    EXPECT_FLOAT_EQ(h.rec.point.z, 2);
    ExpectUnitNormal(h, 0, 0, 1);

    h = Shoot(*b.object, MakeRay({0, 0, 0}, {0, 0, -1}));
    ASSERT_TRUE(h.hit);
    EXPECT_DOUBLE_EQ(h.t, 2);  // the far root: the origin is inside
    ExpectUnitNormal(h, 0, 0, -1);

    // Behind the ray, beyond tmax, or beside the sphere: no hit.
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0, 0, 5}, {0, 0, 1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0, 0, 5}, {0, 0, -1}), 1e-7, 2.5).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({2.5f, 0, 5}, {0, 0, -1})).hit);
}

TEST(Sphere, TransformedSphereAndItsBox) {
    Xform x;
    x.s.translate({1, 2, 3});
    x.s.scale({2, 2, 2});
    BuiltObject b = BuildSphere(1.5f, -1.5f, 1.5f, 360, x.s.M, x.s.Minv);
    // Radius 3 centred at (1, 2, 3).
    EXPECT_FLOAT_EQ(b.lower.x, -2);
    EXPECT_FLOAT_EQ(b.upper.x, 4);
    EXPECT_FLOAT_EQ(b.lower.z, 0);
    EXPECT_FLOAT_EQ(b.upper.z, 6);
    Hit h = Shoot(*b.object, MakeRay({1, 2, 10}, {0, 0, -2}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 2, 1e-6);  // t is in units of the unnormalized direction
    EXPECT_NEAR(h.rec.point.z, 6, 1e-5);
    ExpectUnitNormal(h, 0, 0, 1);
}

TEST(Sphere, PartialSphereIsTheFullSphereInAnOwnBox) {
    Xform x;
    BuiltObject b = BuildSphere(1, 0, 1, 360, x.s.M, x.s.Minv);
    auto* s = dynamic_cast<RTSphere*>(b.object.get());
    ASSERT_NE(s, nullptr);
    EXPECT_FLOAT_EQ(s->zmin, 0);
    EXPECT_FLOAT_EQ(b.lower.z, 0);
    EXPECT_FLOAT_EQ(b.upper.z, 1);
    // The lower half is still hit by the object itself.
    EXPECT_TRUE(Shoot(*b.object, MakeRay({0, 0, -5}, {0, 0, 1})).hit);
    EXPECT_NE(dynamic_cast<RTSphere*>(BuildSphere(1, -1, 1, 180, x.s.M, x.s.Minv).object.get()), nullptr);
}

TEST(Cylinder, WallHitsAndOpenEnds) {
    Xform x;
    BuiltObject b = BuildCylinder(2, -1, 3, 360, x.s.M, x.s.Minv);
    EXPECT_FLOAT_EQ(b.lower.x, -2);
    EXPECT_FLOAT_EQ(b.lower.z, -1);
    EXPECT_FLOAT_EQ(b.upper.z, 3);
    Hit h = Shoot(*b.object, MakeRay({5, 0, 1}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 3, 1e-6);
    ExpectUnitNormal(h, 1, 0, 0);

    // Along the wall's direction but outside the z range.
    EXPECT_FALSE(Shoot(*b.object, MakeRay({5, 0, 4}, {-1, 0, 0})).hit);
    // Parallel to the axis: never a hit, whether inside or outside.
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0, 0, 10}, {0, 0, -1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({1.99f, 0, 10}, {0, 0, -1})).hit);
    // Through the open top end onto the inside of the wall.
    h = Shoot(*b.object, MakeRay({0, 0, 10}, {1, 0, -4}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.rec.point.x, 2, 1e-5);
    EXPECT_NEAR(h.rec.point.z, 2, 1e-5);
    ExpectUnitNormal(h, 1, 0, 0);  // the canonical normal points outward

    EXPECT_TRUE(b.object->mayHit(0, kFar, MakeRay({5, 0, 1}, {-1, 0, 0})));
    EXPECT_FALSE(b.object->mayHit(0, kFar, MakeRay({5, 0, 10}, {-1, 0, 0})));
}

TEST(Cone, WallHitAndOpenBase) {
    Xform x;
    BuiltObject b = BuildCone(2, 1, 360, x.s.M, x.s.Minv);
    EXPECT_FLOAT_EQ(b.lower.z, 0);
    EXPECT_FLOAT_EQ(b.upper.z, 2);
    // Base radius 1 at z = 0, apex at z = 2: at z = 1 the radius is 0.5.
    Hit h = Shoot(*b.object, MakeRay({5, 0, 1}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 4.5, 1e-5);
    Vector3 n = normalized(h.rec.normal);
    // Outward normal of a cone with slope 2: (2, 0, 1) / sqrt 5.
    EXPECT_NEAR(n.x, 2 / std::sqrt(5.0), 1e-5);
    EXPECT_NEAR(n.z, 1 / std::sqrt(5.0), 1e-5);
    // From below through the open base onto the inside of the wall.
    h = Shoot(*b.object, MakeRay({0, 0, -5}, {0.1f, 0, 1}));
    ASSERT_TRUE(h.hit);
    EXPECT_GT(h.rec.point.z, 0);
    EXPECT_LT(h.rec.point.z, 2);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({5, 0, 2.5f}, {-1, 0, 0})).hit);
    EXPECT_FALSE(b.object->mayHit(0, kFar, MakeRay({5, 0, 2.5f}, {-1, 0, 0})));
}

TEST(Disk, WedgeOfNinetyDegrees) {
    Xform x;
    BuiltObject b = BuildDisk(1, 2, 90, x.s.M, x.s.Minv);
    EXPECT_FLOAT_EQ(b.lower.z, 1 - 0.0001f);
    EXPECT_FLOAT_EQ(b.upper.z, 1 + 0.0001f);
    Hit h = Shoot(*b.object, MakeRay({1, 1, 5}, {0, 0, -1}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 4, 1e-6);
    ExpectUnitNormal(h, 0, 0, 1);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({-1, 1, 5}, {0, 0, -1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({1, -1, 5}, {0, 0, -1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({1.5f, 1.5f, 5}, {0, 0, -1})).hit);  // outside the radius
    EXPECT_FALSE(Shoot(*b.object, MakeRay({1, 1, 5}, {1, 0, 0})).hit);         // parallel to the plane
    // The full disk is hit in every quadrant.
    BuiltObject full = BuildDisk(1, 2, 360, x.s.M, x.s.Minv);
    EXPECT_TRUE(Shoot(*full.object, MakeRay({-1, -1, 5}, {0, 0, -1})).hit);
}

TEST(Cube, EntryFaceNormalsAndRaysFromInside) {
    Xform x;
    BuiltObject b = BuildCube(x.s.M, x.s.Minv);
    EXPECT_FLOAT_EQ(b.lower.x, -1);
    EXPECT_FLOAT_EQ(b.upper.y, 1);
    Hit h = Shoot(*b.object, MakeRay({-5, 0.2f, 0.3f}, {1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 4, 1e-6);
    // The canonical normal is (-1, 0, 0); the unit cube's matrix halves it.
    EXPECT_FLOAT_EQ(h.rec.normal.x, -0.5f);
    EXPECT_FLOAT_EQ(h.rec.normal.y, 0);
    EXPECT_FLOAT_EQ(h.rec.normal.z, 0);
    h = Shoot(*b.object, MakeRay({0, 0, 7}, {0, 0, -1}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 6, 1e-6);
    ExpectUnitNormal(h, 0, 0, 1);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({-5, 1.5f, 0}, {1, 0, 0})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({-5, 0, 0}, {-1, 0, 0})).hit);

    // From inside: a finite t at the face the ray leaves by.
    h = Shoot(*b.object, MakeRay({0, 0, 0}, {0, 1, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 1, 1e-6);
    ExpectUnitNormal(h, 0, 1, 0);
    h = Shoot(*b.object, MakeRay({0.5f, 0, 0}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 1.5, 1e-6);
    ExpectUnitNormal(h, -1, 0, 0);
    // From inside with the exit beyond tmax: no hit.
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0, 0, 0}, {0, 1, 0}), 1e-7, 0.5).hit);
}

TEST(Cube, RotatedCubeBoxIsTheBoxOfItsCorners) {
    Xform x;
    x.s.rotateXY(45);
    BuiltObject b = BuildCube(x.s.M, x.s.Minv);
    EXPECT_NEAR(b.upper.x, std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(b.lower.y, -std::sqrt(2.0), 1e-6);
    EXPECT_FLOAT_EQ(b.upper.z, 1);
    Hit h = Shoot(*b.object, MakeRay({5, 0, 0}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.rec.point.x, std::sqrt(2.0), 1e-5);  // the edge of the turned cube
}

TEST(Tube, MapsTheSegmentOntoTheAxis) {
    Xform x;
    // Along +x from (0, 0, 0) to (4, 0, 0), radius 0.5.
    BuiltObject b = BuildTube({0, 0, 0}, {4, 0, 0}, 0.5f, x.s.M, x.s.Minv);
    EXPECT_FLOAT_EQ(b.lower.x, -0.5f);
    EXPECT_FLOAT_EQ(b.upper.x, 4.5f);
    Hit h = Shoot(*b.object, MakeRay({1, 0, 5}, {0, 0, -1}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 4.5, 1e-5);
    ExpectUnitNormal(h, 0, 0, 1);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({-1, 0, 5}, {0, 0, -1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({5, 0, 5}, {0, 0, -1})).hit);

    // A diagonal tube and one along -z (sin theta = 0).
    b = BuildTube({1, 1, 1}, {3, 3, 3}, 0.25f, x.s.M, x.s.Minv);
    h = Shoot(*b.object, MakeRay({2, 2, 2}, {1, -1, 0}));  // from the axis outward
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t * std::sqrt(2.0), 0.25, 1e-5);
    b = BuildTube({0, 0, 2}, {0, 0, -2}, 1, x.s.M, x.s.Minv);
    h = Shoot(*b.object, MakeRay({5, 0, 1}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 4, 1e-5);
}

TEST(Objects, DegenerateParametersNeverHit) {
    Xform x;
    Ray r = MakeRay({0.2f, 0.1f, 5}, {0, 0, -1});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    BuiltObject objs[] = {BuildSphere(0, -1, 1, 360, x.s.M, x.s.Minv), BuildCylinder(1, 2, 2, 360, x.s.M, x.s.Minv),
                          BuildCone(0, 1, 360, x.s.M, x.s.Minv),        BuildDisk(0, 0, 360, x.s.M, x.s.Minv),
                          BuildTube({1, 1, 1}, {1, 1, 1}, 1, x.s.M, x.s.Minv), BuildSphere(nan, nan, nan, nan, x.s.M, x.s.Minv)};
    for (const BuiltObject& b : objs) {
        ASSERT_TRUE(b.object);
        Hit h = Shoot(*b.object, r);
        if (h.hit) {
            EXPECT_TRUE(std::isfinite(h.t));
        }
    }
}

// ---- Polygon faces and sets ----

BuiltObject Square(const Xform& x) {
    static const float v[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    static const int idx[] = {0, 1, 2, 3, -1};
    BuiltObject b;
    EXPECT_EQ(BuildPolySet("P", 4, v, 1, idx, x.s.M, x.s.Minv, b), 0);
    return b;
}

TEST(PolySet, SquareSeenFromBothSidesFacesTheViewer) {
    Xform x;
    BuiltObject b = Square(x);
    ASSERT_TRUE(b.object);
    EXPECT_FLOAT_EQ(b.lower.x, -1);
    EXPECT_FLOAT_EQ(b.upper.y, 1);
    Hit front = Shoot(*b.object, MakeRay({0.5f, 0.5f, 3}, {0, 0, -1}));
    ASSERT_TRUE(front.hit);
    EXPECT_NEAR(front.t, 3, 1e-6);
    ExpectUnitNormal(front, 0, 0, 1);
    Hit back = Shoot(*b.object, MakeRay({0.5f, 0.5f, -3}, {0, 0, 1}));
    ASSERT_TRUE(back.hit);
    ExpectUnitNormal(back, 0, 0, -1);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({1.5f, 0.5f, 3}, {0, 0, -1})).hit);
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0.5f, 0.5f, 3}, {1, 0, 0})).hit);  // in the plane's direction
    EXPECT_FALSE(Shoot(*b.object, MakeRay({0.5f, 0.5f, 3}, {0, 0, 1})).hit);  // pointing away
}

TEST(PolySet, TransformedMeshBoxAndNormal) {
    Xform x;
    x.s.translate({0, 0, -4});
    x.s.rotateZX(90);  // +z turns toward +x: the square now faces +x
    BuiltObject b = Square(x);
    EXPECT_NEAR(b.lower.x, 0, 1e-6);
    EXPECT_NEAR(b.upper.x, 0, 1e-6);
    EXPECT_NEAR(b.lower.z, -5, 1e-6);
    EXPECT_NEAR(b.upper.z, -3, 1e-6);
    Hit h = Shoot(*b.object, MakeRay({3, 0.5f, -4}, {-1, 0, 0}));
    ASSERT_TRUE(h.hit);
    EXPECT_NEAR(h.t, 3, 1e-5);
    ExpectUnitNormal(h, 1, 0, 0);
}

TEST(PolyFace, CentroidNormalAndDominantAxis) {
    const float q[4][3] = {{0, 0, 2}, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}};
    const float* pts[4] = {q[0], q[1], q[2], q[3]};
    RTPolyFace f;
    f.setup(pts, 4);
    // Counter-clockwise seen from +z: N along +z, twice the area.
    EXPECT_FLOAT_EQ(f.N.x, 0);
    EXPECT_FLOAT_EQ(f.N.y, 0);
    EXPECT_FLOAT_EQ(f.N.z, 8);
    EXPECT_FLOAT_EQ(f.d, -16);
    EXPECT_EQ(f.u, 0);
    EXPECT_EQ(f.v, 1);

    // A face in the plane x = y has |Nx| = |Ny|: the tie goes to x.
    const float r[3][3] = {{0, 0, 0}, {1, 1, 0}, {0, 0, 1}};
    const float* rp[3] = {r[0], r[1], r[2]};
    f.setup(rp, 3);
    EXPECT_FLOAT_EQ(std::fabs(f.N.x), std::fabs(f.N.y));
    EXPECT_EQ(f.u, 1);
    EXPECT_EQ(f.v, 2);
}

TEST(PolyFace, EvenOddRuleOnConcaveAndSelfCrossingPolygons) {
    // A "C" shape open to +x: the notch is outside.
    const float c[8][3] = {{0, 0, 0}, {3, 0, 0}, {3, 1, 0}, {1, 1, 0}, {1, 2, 0}, {3, 2, 0}, {3, 3, 0}, {0, 3, 0}};
    const float* cp[8];
    for (int i = 0; i < 8; ++i) cp[i] = c[i];
    RTPolyFace f;
    f.setup(cp, 8);
    EXPECT_TRUE(f.contains({0.5f, 1.5f, 0}));
    EXPECT_TRUE(f.contains({2.5f, 0.5f, 0}));
    EXPECT_TRUE(f.contains({2.5f, 2.5f, 0}));
    EXPECT_FALSE(f.contains({2, 1.5f, 0}));  // in the notch
    EXPECT_FALSE(f.contains({4, 0.5f, 0}));
    EXPECT_FALSE(f.contains({-1, 1.5f, 0}));

    // A pentagram: its centre is covered twice, so it is outside.
    const float pi = 3.14159265f;
    float star[5][3];
    const float* sp[5];
    for (int i = 0; i < 5; ++i) {
        float a = pi / 2 + i * 4 * pi / 5;
        star[i][0] = std::cos(a);
        star[i][1] = std::sin(a);
        star[i][2] = 0;
        sp[i] = star[i];
    }
    f.setup(sp, 5);
    EXPECT_FALSE(f.contains({0, 0, 0}));
    EXPECT_TRUE(f.contains({0, 0.8f, 0}));  // in the top point
    EXPECT_FALSE(f.contains({0, 1.2f, 0}));

    // The face test itself: through the notch of the C a ray misses.
    HitRecord rec;
    double t;
    f.setup(cp, 8);
    EXPECT_FALSE(f.intersect(0, kFar, t, MakeRay({2, 1.5f, 1}, {0, 0, -1}), rec));
    ASSERT_TRUE(f.intersect(0, kFar, t, MakeRay({0.5f, 1.5f, 1}, {0, 0, -1}), rec));
    EXPECT_DOUBLE_EQ(t, 1);
    // Faces ignore tmin but not tmax.
    EXPECT_TRUE(f.intersect(5, kFar, t, MakeRay({0.5f, 1.5f, 1}, {0, 0, -1}), rec));
    EXPECT_FALSE(f.intersect(0, 0.5, t, MakeRay({0.5f, 1.5f, 1}, {0, 0, -1}), rec));
}

TEST(PolySet, VertexLayoutsAndBadInput) {
    Xform x;
    // Colour before position: the position is found at its offset.
    const float v[] = {9, 9, 9, -1, -1, 0, 9, 9, 9, 1, -1, 0, 9, 9, 9, 0, 1, 0};
    const int idx[] = {0, 1, 2, -1};
    BuiltObject b;
    ASSERT_EQ(BuildPolySet("\"CP\"", 3, v, 1, idx, x.s.M, x.s.Minv, b), 0);
    ASSERT_TRUE(b.object);
    EXPECT_FLOAT_EQ(b.lower.x, -1);
    EXPECT_FLOAT_EQ(b.upper.z, 0);
    EXPECT_TRUE(Shoot(*b.object, MakeRay({0, 0, 1}, {0, 0, -1})).hit);

    EXPECT_EQ(BuildPolySet("Px", 3, v, 1, idx, x.s.M, x.s.Minv, b), kErrVertexType);
    EXPECT_FALSE(b.object);
    const int bad[] = {0, 1, 3, -1};
    EXPECT_EQ(BuildPolySet("CP", 3, v, 1, bad, x.s.M, x.s.Minv, b), kErrVertexIndexRange);
    // Nothing to hit: no object, no error.
    EXPECT_EQ(BuildPolySet("C", 3, v, 1, idx, x.s.M, x.s.Minv, b), 0);
    EXPECT_FALSE(b.object);
    EXPECT_EQ(BuildPolySet("CP", 3, v, 0, idx, x.s.M, x.s.Minv, b), 0);
    EXPECT_FALSE(b.object);
    // Empty and two-vertex faces are kept out of the way.
    const int odd[] = {-1, 0, 1, -1, 0, 1, 2, -1};
    ASSERT_EQ(BuildPolySet("CP", 3, v, 3, odd, x.s.M, x.s.Minv, b), 0);
    ASSERT_TRUE(b.object);
    EXPECT_TRUE(Shoot(*b.object, MakeRay({0, 0, 1}, {0, 0, -1})).hit);
    EXPECT_EQ(static_cast<RTPolySet*>(b.object.get())->faces.size(), 3u);
}

// The ray tracer reads vertex types through the one reader: the stride and
// where the position starts.
bool ParseVertexType(const std::string& type, int& stride, int& position) {
    const VertexType t = ReadVertexType(type);
    stride = t.stride;
    position = t.position.first;
    return t.valid;
}

TEST(ParseVertexType, StridesAndPositionOffsets) {
    int stride, pos;
    ASSERT_TRUE(ParseVertexType("PNC", stride, pos));
    EXPECT_EQ(stride, 9);
    EXPECT_EQ(pos, 0);
    ASSERT_TRUE(ParseVertexType("TwOP", stride, pos));
    EXPECT_EQ(stride, 7);
    EXPECT_EQ(pos, 4);
    ASSERT_TRUE(ParseVertexType("", stride, pos));
    EXPECT_EQ(stride, 0);
    EXPECT_EQ(pos, -1);
    EXPECT_FALSE(ParseVertexType("Pp", stride, pos));
}

}  // namespace
}  // namespace kx::raytrace
