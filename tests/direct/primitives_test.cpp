#include "engines/direct/primitives.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "primitive_test_scene.h"
#include "support/run.h"

using namespace kx;
using kxtest::QuadCount;
using kxtest::Recorded;
using kxtest::Recording;
using kxtest::RecordVertex;
using kxtest::TestPipeline;

namespace {

class Primitives : public kxtest::DirectSceneTest {
protected:
    // A 4 x 2 map made current.
    void UseMap() {
        std::string dir = kxtest::MakeTempDir();
        std::string bytes = "P6 4 2 255\n" + std::string(4 * 2 * 3, '\x80');
        std::string path = kxtest::WriteFile(dir, "m.ppm", bytes);
        ASSERT_EQ(mapList().MapLoad(path, "m"), 0);
        ASSERT_EQ(mapList().Map("texture", "m"), 0);
    }
    static Point3 Position(const Recorded& r) { return Point3(r.v[0], r.v[1], r.v[2]); }
    static Vector3 Normal(const Recorded& r) {
        int n = directState().layout.normal;
        return Vector3(r.v[n], r.v[n + 1], r.v[n + 2]);
    }
    static Point3 World(const Recorded& r) { return r.M * Position(r); }
};

// Quadrilateral counts of every primitive at the given divisions.
struct CountCase {
    const char* name;
    std::function<void(int n)> draw;
    int expected20;  // at the default 20 divisions
    int expected7;   // at 7 divisions
};

const CountCase kCounts[] = {
    {"sphere", [](int n) { TessellateSphere(TestPipeline(), 1, -1, 1, 360, n, RecordVertex); }, 10 * 20, 3 * 7},
    {"sqsphere", [](int n) { TessellateSqSphere(TestPipeline(), 1, 0.5f, 2, -1, 1, 360, n, RecordVertex); }, 200, 21},
    {"paraboloid", [](int n) { TessellateParaboloid(TestPipeline(), 1, 0, 2, 360, n, RecordVertex); }, 200, 21},
    {"torus", [](int n) { TessellateTorus(TestPipeline(), 2, 0.5f, 0, 360, 360, n, RecordVertex); }, 20 * 20, 49},
    {"sqtorus", [](int n) { TessellateSqTorus(TestPipeline(), 2, 0.5f, 1, 1, 0, 360, 360, n, RecordVertex); }, 400, 49},
    {"cone", [](int n) { TessellateCone(TestPipeline(), 2, 1, 360, n, RecordVertex); }, 20, 7},
    {"cylinder", [](int n) { TessellateCylinder(TestPipeline(), 1, -1, 1, 360, n, RecordVertex); }, 20, 7},
    {"disk", [](int n) { TessellateDisk(TestPipeline(), 0, 1, 360, n, RecordVertex); }, 20, 7},
    {"hyperboloid",
     [](int n) { TessellateHyperboloid(TestPipeline(), {1, 0, 0}, {0, 1, 1}, 360, n, RecordVertex); }, 20, 7},
    {"tube", [](int n) { TessellateTube(TestPipeline(), {0, 0, 0}, {1, 2, 3}, 0.5f, n, RecordVertex); }, 20, 7},
};

}  // namespace

TEST_F(Primitives, QuadrilateralCountsFollowTheDivisions) {
    transforms().setIdentity();
    for (const CountCase& c : kCounts) {
        for (auto [n, expected] : {std::pair{20, c.expected20}, std::pair{7, c.expected7}, std::pair{0, 0}}) {
            Recording().clear();
            c.draw(n);
            EXPECT_EQ(QuadCount(), expected) << c.name << " at " << n;
        }
        // Divisions 1: no rows for the sphere-like grids, one quadrilateral
        // (one by one) for the others.
        Recording().clear();
        c.draw(1);
        int one = QuadCount();
        EXPECT_TRUE(one == 0 || one == 1) << c.name;
    }
    Recording().clear();
    TessellateCube(pipeline, RecordVertex);
    EXPECT_EQ(QuadCount(), 6);
}

TEST_F(Primitives, DivisionsOptionIsTruncatedAndBounded) {
    Open(8, 8);
    engine.OptionReal("Divisions", 7.9f);
    EXPECT_EQ(directState().divisions, 7);
    EXPECT_EQ(TessellationDivisions(directState().divisions) / 2, 3);  // the sphere's rows

    engine.OptionReal("Divisions", -5);
    EXPECT_EQ(directState().divisions, -5);
    EXPECT_EQ(TessellationDivisions(-5), 0);
    engine.OptionReal("Divisions", std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(directState().divisions, 0);
    engine.OptionReal("Divisions", 1e30f);
    EXPECT_EQ(directState().divisions, std::numeric_limits<int>::max());  // stored as given (saturated)
    EXPECT_EQ(TessellationDivisions(directState().divisions), kMaxDivisions);
    Recording().clear();
    TessellateCone(pipeline, 1, 1, 360, TessellationDivisions(directState().divisions), RecordVertex);
    EXPECT_EQ(QuadCount(), kMaxDivisions);
}

TEST_F(Primitives, NegativeDivisionsDrawNothingAndHugeOnesDoNotExplode) {
    Open(64, 48);
    engine.Translate({0, 0, -4});
    engine.OptionReal("Divisions", -5);
    EXPECT_EQ(engine.Sphere(1, -1, 1, 360), 0);
    EXPECT_EQ(engine.Torus(1, 0.3f, 0, 360, 360), 0);
    EXPECT_EQ(engine.Cone(1, 1, 360), 0);
    EXPECT_EQ(engine.Cylinder(1, -1, 1, 360), 0);
    EXPECT_EQ(engine.Disk(0, 1, 360), 0);
    EXPECT_EQ(engine.Hyperboloid({1, 0, 0}, {1, 0, 1}, 360), 0);
    EXPECT_EQ(engine.Paraboloid(1, 0, 1, 360), 0);
    EXPECT_EQ(engine.SqSphere(1, 1, 1, -1, 1, 360), 0);
    EXPECT_EQ(engine.SqTorus(1, 0.3f, 1, 1, 0, 360, 360), 0);
    EXPECT_EQ(engine.Tube({0, 0, 0}, {0, 1, 0}, 0.5f), 0);
    EXPECT_EQ(litCount(), 0);

    // Huge divisions: the one-band primitives draw at the maximum
    // resolution, as a full disc.
    engine.OptionReal("Divisions", 3e9f);
    EXPECT_EQ(engine.Disk(0, 1, 360), 0);
    EXPECT_EQ(engine.Cylinder(1, -1, 1, 360), 0);
    EXPECT_GT(litCount(), 100);
}

TEST_F(Primitives, FlatAmbientSphereIsADiscOfTheProjectedRadius) {
    const int W = 200, H = 200;
    Open(W, H);
    engine.Color({1, 0.5f, 0.25f});
    engine.OptionReal("Divisions", 64);
    engine.Translate({0, 0, -3});
    ASSERT_EQ(engine.Sphere(1, -1, 1, 360), 0);

    // Seen from distance d a sphere of radius r subtends asin(r/d); with a
    // 90 degree field of view the image half-height is tan 45 = 1.
    const double R = 0.5 * H * 1 / std::sqrt(3.0 * 3.0 - 1.0);
    const double cx = W / 2.0 - 0.5, cy = H / 2.0 - 0.5;
    for (int y = 0; y < H; ++y) {
        double dy = y - cy;
        int expected = 0;
        if (std::fabs(dy) < R) {
            double half = std::sqrt(R * R - dy * dy);
            for (int x = 0; x < W; ++x) expected += std::fabs(x - cx) < half;
        }
        int count = 0, first = -1, last = -1;
        for (int x = 0; x < W; ++x) {
            if (!lit(x, y)) continue;
            const uint8_t* p = pixel(x, y);
            EXPECT_EQ(p[0], 255);
            EXPECT_EQ(p[1], 127);
            EXPECT_EQ(p[2], 63);
            if (first < 0) first = x;
            last = x;
            ++count;
        }
        EXPECT_NEAR(count, expected, 2) << "row " << y;
        if (count > 0) {
            EXPECT_EQ(last - first + 1, count) << "row " << y << " has a gap";
            EXPECT_NEAR((first + last) / 2.0, cx, 1.0) << "row " << y;
        }
    }
}

TEST_F(Primitives, SphereCornersNormalsAndFaceNormals) {
    transforms().setIdentity();
    TessellateSphere(pipeline, 2, -5, 5, 360, 4, RecordVertex);  // 2 rows, 4 columns
    const std::vector<Recorded>& r = Recording();
    ASSERT_EQ(QuadCount(), 8);
    // Limits beyond the radius start exactly at the south pole and end at
    // the north pole.
    EXPECT_EQ(r[0].v[2], -2.0f);
    EXPECT_EQ(r.back().v[2], 2.0f);
    for (const Recorded& v : r) {
        Vector3 n = Normal(v);  // the position itself, of length r
        EXPECT_EQ(n.x, v.v[0]);
        EXPECT_EQ(n.y, v.v[1]);
        EXPECT_EQ(n.z, v.v[2]);
        EXPECT_NEAR(std::sqrt(lengthSquared(n)), 2.0, 1e-5);
    }
    // Quadrilateral (0, 1): corners (i, j), (i, j+1), (i+1, j+1), (i+1, j)
    // at phi = -90 and 0 degrees, theta = 90 and 180 degrees; its face
    // normal is the unit normal at phi = -45, theta = 135 degrees.
    const Recorded* q = &r[4];
    EXPECT_NEAR(q[0].v[1], 0, 1e-6);
    EXPECT_NEAR(q[1].v[1], 0, 1e-6);
    EXPECT_NEAR(q[2].v[0], -2, 1e-6);
    EXPECT_NEAR(q[3].v[1], 2, 1e-6);
    Vector3 f = q[3].face.normal;
    EXPECT_TRUE(q[3].face.objectSpace);
    EXPECT_NEAR(f.x, -0.5, 1e-6);
    EXPECT_NEAR(f.y, 0.5, 1e-6);
    EXPECT_NEAR(f.z, -std::sqrt(0.5), 1e-6);

    // A zero radius makes no NaN.
    Recording().clear();
    TessellateSphere(pipeline, 0, 0.5f, 1, 360, 8, RecordVertex);
    for (const Recorded& v : Recording())
        for (int i = 0; i < directState().layout.count; ++i) EXPECT_TRUE(std::isfinite(v.v[i]));
}

TEST_F(Primitives, CubeHasSixOutwardFaces) {
    UseMap();
    transforms().setIdentity();
    TessellateCube(pipeline, RecordVertex);
    const VertexLayout& L = directState().layout;
    EXPECT_FALSE(L.hasNormal);
    EXPECT_FALSE(L.hasTexture);  // even with a map current
    ASSERT_EQ(QuadCount(), 6);
    const std::vector<Recorded>& r = Recording();
    Vector3 sum;
    for (int f = 0; f < 6; ++f) {
        Vector3 n = r[4 * f + 3].face.normal;
        EXPECT_EQ(lengthSquared(n), 1.0);
        sum += n;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(dot(toVector(Position(r[4 * f + k])), n), 1.0) << "face " << f;
        // The listed corners turn counter-clockwise seen from outside:
        // (c1 - c0) x (c3 - c0) points outward.
        Vector3 e1 = Position(r[4 * f + 1]) - Position(r[4 * f]);
        Vector3 e3 = Position(r[4 * f + 3]) - Position(r[4 * f]);
        EXPECT_GT(dot(cross(e1, e3), n), 0) << "face " << f;
    }
    EXPECT_EQ(lengthSquared(sum), 0.0);
    EXPECT_EQ(r[3].face.normal.z, -1.0f);
    EXPECT_EQ(r[23].face.normal.z, 1.0f);
}

TEST_F(Primitives, DiskFacesTheSignOfItsAngle) {
    TessellateDisk(pipeline, 0.5f, 2, -270, 6, RecordVertex);
    ASSERT_EQ(QuadCount(), 6);
    EXPECT_FALSE(directState().layout.hasNormal);
    for (const Recorded& v : Recording()) {
        EXPECT_EQ(v.v[2], 0.5f);
        if (v.flag) {
            EXPECT_EQ(v.face.normal.z, -1.0f);
        }
    }
    // The first wedge: centre, rim at 0, rim at -45 degrees, centre.
    const std::vector<Recorded>& r = Recording();
    EXPECT_EQ(r[0].v[0], 0.0f);
    EXPECT_EQ(r[1].v[0], 2.0f);
    EXPECT_NEAR(r[2].v[1], -std::sqrt(2.0), 1e-6);
    EXPECT_EQ(r[3].v[0], 0.0f);

    Recording().clear();
    TessellateDisk(pipeline, 0, 1, 90, 3, RecordVertex);
    EXPECT_EQ(Recording()[3].face.normal.z, 1.0f);
}

TEST_F(Primitives, TextureFractionsWithAndWithoutTheBound) {
    UseMap();
    mapList().MapBound("texture", 0.5f, 0.25f, 2.5f, 1.25f);  // scale (2, 1), offset (0.5, 0.25)
    TessellateSphere(pipeline, 1, -1, 1, 360, 4, RecordVertex);
    const VertexLayout& L = directState().layout;
    ASSERT_TRUE(L.hasTexture);
    // Layout: normal, texture, position.
    EXPECT_LT(L.normal, L.texture);
    const std::vector<Recorded>& r = Recording();
    // Quadrilateral (1, 3): corner (2, 4) is its third: a = 1, b = 1.
    const Recorded& c = r[4 * (1 * 4 + 3) + 2];
    EXPECT_EQ(c.v[L.texture], 1 * 2 + 0.5f);
    EXPECT_EQ(c.v[L.texture + 1], 1 * 1 + 0.25f);
    EXPECT_EQ(r[0].v[L.texture], 0.5f);

    // The superquadrics and the paraboloid hand over the fractions as they are.
    Recording().clear();
    TessellateSqTorus(pipeline, 2, 1, 1, 1, 0, 360, 360, 4, RecordVertex);
    const Recorded& t = Recording()[4 * (1 * 4 + 3) + 2];
    EXPECT_EQ(t.v[L.texture], 1.0f);
    EXPECT_EQ(t.v[L.texture + 1], 0.5f);
    Recording().clear();
    TessellateParaboloid(pipeline, 1, 0, 4, 360, 4, RecordVertex);
    for (const Recorded& v : Recording()) {
        EXPECT_FLOAT_EQ(v.v[L.texture + 1], v.v[2] / 4);  // b = (z - zmin) / (zmax - zmin)
        EXPECT_GE(v.v[L.texture], 0.0f);
        EXPECT_LE(v.v[L.texture], 1.0f);
    }

    // Without a map there are no texture coordinates.
    mapList().Map("texture", "none");
    TessellateCone(pipeline, 1, 1, 360, 4, RecordVertex);
    EXPECT_FALSE(directState().layout.hasTexture);
}

TEST_F(Primitives, TubeRunsBetweenItsPointsAndRestoresTheTransform) {
    transforms().setIdentity();
    transforms().translate({3, 0, 0});
    transforms().rotateYZ(30);
    const Matrix4 M = transforms().M, Minv = transforms().Minv;
    const size_t depth = transforms().stackDepth();

    const Point3 p1(1, -2, 0.5f), p2(2, 1, 3);
    TessellateTube(pipeline, p1, p2, 0.25f, 12, RecordVertex);
    EXPECT_EQ(std::memcmp(transforms().M.m, M.m, sizeof M.m), 0);
    EXPECT_EQ(std::memcmp(transforms().Minv.m, Minv.m, sizeof Minv.m), 0);
    EXPECT_EQ(transforms().stackDepth(), depth);

    // Every vertex, placed by the transform in force when it was handed
    // over, lies at the radius from the axis p1-p2 and at one of its ends.
    ASSERT_EQ(QuadCount(), 12);
    Vector3 axis = p2 - p1;
    double len = std::sqrt(lengthSquared(axis));
    for (const Recorded& r : Recording()) {
        // Undo the outer transform: compare in the tube's own world.
        Point3 w = World(r);
        HPoint local = transforms().Minv * HPoint(w.x, w.y, w.z, 1);
        Vector3 d(local.x - p1.x, local.y - p1.y, local.z - p1.z);
        double along = dot(d, axis) / len;
        EXPECT_TRUE(std::fabs(along) < 1e-4 || std::fabs(along - len) < 1e-4) << along;
        double off = std::sqrt(lengthSquared(d) - along * along);
        EXPECT_NEAR(off, 0.25, 1e-4);
    }

    // A tube along z is the cylinder of its length.
    transforms().setIdentity();
    Recording().clear();
    TessellateTube(pipeline, {0, 0, 0}, {0, 0, 2}, 1, 8, RecordVertex);
    for (const Recorded& r : Recording()) {
        Point3 w = World(r);
        EXPECT_TRUE(std::fabs(w.z) < 1e-6 || std::fabs(w.z - 2) < 1e-6);
        EXPECT_NEAR(w.x * w.x + w.y * w.y, 1, 1e-5);
    }

    // A zero-length tube is a degenerate ring without NaNs.
    Recording().clear();
    TessellateTube(pipeline, {1, 1, 1}, {1, 1, 1}, 1, 8, RecordVertex);
    EXPECT_EQ(QuadCount(), 8);
    for (const Recorded& r : Recording()) {
        Point3 w = World(r);
        EXPECT_TRUE(std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z));
        EXPECT_FLOAT_EQ(w.z, 1);
    }
    EXPECT_EQ(transforms().stackDepth(), depth);
}

TEST_F(Primitives, ConeCylinderTorusAndHyperboloidGeometry) {
    // Cone: apex, base at theta i, base at theta i+1, apex; normals with the
    // slope radius / height.
    TessellateCone(pipeline, 2, 1, 360, 4, RecordVertex);
    const std::vector<Recorded>& r = Recording();
    EXPECT_EQ(r[0].v[2], 2.0f);
    EXPECT_EQ(r[1].v[0], 1.0f);
    EXPECT_NEAR(r[2].v[1], 1.0f, 1e-6);
    EXPECT_EQ(r[3].v[2], 2.0f);
    EXPECT_EQ(Normal(r[0]).z, 0.5f);
    EXPECT_NEAR(r[3].face.normal.x, std::sqrt(0.5), 1e-6);
    EXPECT_EQ(r[3].face.normal.z, 0.5f);

    // A flat cone gets the normal of its plane, not an infinite slope.
    Recording().clear();
    TessellateCone(pipeline, 0, 1, 360, 4, RecordVertex);
    for (const Recorded& v : Recording()) {
        Vector3 n = Normal(v);
        EXPECT_EQ(n.x, 0.0f);
        EXPECT_EQ(n.z, 1.0f);
        if (v.flag) {
            EXPECT_EQ(v.face.normal.z, 1.0f);
        }
    }

    // Cylinder: zmax, zmin at theta i, zmin, zmax at theta i+1.
    Recording().clear();
    TessellateCylinder(pipeline, 2, -1, 3, 180, 2, RecordVertex);
    EXPECT_EQ(r[0].v[2], 3.0f);
    EXPECT_EQ(r[1].v[2], -1.0f);
    EXPECT_EQ(r[2].v[2], -1.0f);
    EXPECT_EQ(r[3].v[2], 3.0f);
    EXPECT_EQ(Normal(r[0]).x, 2.0f);
    EXPECT_EQ(Normal(r[0]).z, 0.0f);
    EXPECT_NEAR(r[3].face.normal.x, std::sqrt(0.5), 1e-6);

    // Torus: every vertex at the minor radius from the core circle, the
    // normal pointing away from it.
    Recording().clear();
    TessellateTorus(pipeline, 3, 1, -90, 270, 360, 6, RecordVertex);
    for (const Recorded& v : Recording()) {
        double ring = std::sqrt(v.v[0] * v.v[0] + v.v[1] * v.v[1]);
        EXPECT_NEAR((ring - 3) * (ring - 3) + v.v[2] * v.v[2], 1, 1e-5);
        Vector3 n = Normal(v);
        EXPECT_NEAR(lengthSquared(n), 1, 1e-5);
        EXPECT_NEAR(v.v[2], n.z, 1e-6);
    }
    // phi starts at phimin: the first vertex is at the bottom of the tube.
    EXPECT_NEAR(r[0].v[2], -1, 1e-6);

    // Hyperboloid: p1, p2 at the previous angle, p2, p1 at the next; the
    // face normal is the average of the vertex normals.
    Recording().clear();
    TessellateHyperboloid(pipeline, {1, 0, 0}, {1, 0, 2}, 360, 4, RecordVertex);
    ASSERT_EQ(QuadCount(), 4);
    EXPECT_EQ(r[0].v[0], 1.0f);
    EXPECT_EQ(r[0].v[2], 0.0f);
    EXPECT_EQ(r[1].v[2], 2.0f);
    EXPECT_NEAR(r[2].v[1], 1, 1e-6);
    EXPECT_EQ(r[3].v[2], 0.0f);
    Vector3 n = Normal(r[0]);  // a cylinder of radius 1: (-x dz, -y dz, 0)
    EXPECT_EQ(n.x, -2.0f);
    EXPECT_EQ(n.z, 0.0f);
    Vector3 avg = (Normal(r[0]) + Normal(r[1]) + Normal(r[2]) + Normal(r[3])) * 0.25f;
    EXPECT_FLOAT_EQ(r[3].face.normal.x, avg.x);
    EXPECT_FLOAT_EQ(r[3].face.normal.y, avg.y);
}

TEST_F(Primitives, ParaboloidRingsAndLimits) {
    TessellateParaboloid(pipeline, 2, 1, 4, 360, 4, RecordVertex);  // rows 2
    ASSERT_EQ(QuadCount(), 8);
    for (const Recorded& v : Recording()) {
        double r2 = v.v[0] * v.v[0] + v.v[1] * v.v[1];
        EXPECT_NEAR(v.v[2], 4 * r2 / 4, 1e-5);  // z = zmax (r / rmax)^2
        EXPECT_GE(v.v[2], 1 - 1e-5);
        EXPECT_EQ(Normal(v).z, -0.25f);  // -rmax / (2 zmax)
    }
    // zmin above zmax, zmax below 0, and degenerate sizes draw nothing.
    for (auto f : {+[] { TessellateParaboloid(TestPipeline(), 1, 3, 2, 360, 8, RecordVertex); },
                   +[] { TessellateParaboloid(TestPipeline(), 1, -3, -2, 360, 8, RecordVertex); },
                   +[] { TessellateParaboloid(TestPipeline(), 0, 0, 2, 360, 8, RecordVertex); },
                   +[] { TessellateParaboloid(TestPipeline(), 1, 0, 0, 360, 8, RecordVertex); }}) {
        Recording().clear();
        f();
        EXPECT_EQ(Recording().size(), 0u);
    }
    // zmin below 0 counts as 0: the first ring is the apex.
    Recording().clear();
    TessellateParaboloid(pipeline, 1, -1, 1, 360, 4, RecordVertex);
    EXPECT_EQ(Recording()[0].v[0], 0.0f);
    EXPECT_EQ(Recording()[0].v[2], 0.0f);
}

TEST_F(Primitives, SuperquadricsReduceToTheirQuadrics) {
    // With exponents 1 the superquadric sphere is the sphere, vertex for
    // vertex (its face normals are unit vectors as the sphere's).
    TessellateSphere(pipeline, 1.5f, -1, 1, 360, 8, RecordVertex);
    std::vector<Recorded> sphere = Recording();
    Recording().clear();
    TessellateSqSphere(pipeline, 1.5f, 1, 1, -1, 1, 360, 8, RecordVertex);
    ASSERT_EQ(Recording().size(), sphere.size());
    for (size_t i = 0; i < sphere.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(Recording()[i].v[k], sphere[i].v[k]);
            if (sphere[i].flag) {
                EXPECT_NEAR(Recording()[i].face.normal[k], sphere[i].face.normal[k], 1e-6);
            }
        }
    // Exponent 0 along both: a box-like shape whose points lie on the cube.
    Recording().clear();
    TessellateSqSphere(pipeline, 1, 0.1f, 0.1f, -1, 1, 360, 16, RecordVertex);
    for (const Recorded& v : Recording()) {
        float m = std::max(std::fabs(v.v[0]), std::max(std::fabs(v.v[1]), std::fabs(v.v[2])));
        EXPECT_GT(m, 0.75f);
        EXPECT_LE(m, 1.0f + 1e-6f);
    }
}
