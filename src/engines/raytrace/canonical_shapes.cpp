// The shapes intersected as one canonical shape in object space (unit
// sphere, cylinder, cone, cube and disk), and their building from the
// primitive commands, the tube's included.
#include "engines/raytrace/objects.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

namespace kx::raytrace {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// The canonical intersections, in object space. Each returns whether the ray
// hits within [tmin, tmax], with t and, when asked for, the canonical normal.
// Comparisons are written so that a NaN anywhere means a miss.

bool SolveSphere(const Ray& r, double tmin, double tmax, double& t, Vector3* normal) {
    const Vector3 o = toVector(r.origin);
    const Vector3& d = r.direction;
    float c = static_cast<float>(dot(o, o));
    bool outside = c > 1;
    float b = static_cast<float>(dot(-o, d));
    if (b < 0 && outside) return false;
    float dd = static_cast<float>(dot(d, d));
    float disc = (1 - c) * dd + b * b;
    if (!(disc >= 0)) return false;
    float root = std::sqrt(disc);
    float th = outside ? (b - root) / dd : (b + root) / dd;
    if (!(th >= tmin && th <= tmax)) return false;
    t = th;
    if (normal) *normal = toVector(r.origin + th * d);
    return true;
}

bool SolveCylinder(const Ray& r, double tmin, double tmax, double& t, Vector3* normal) {
    const Point3& o = r.origin;
    const Vector3& d = r.direction;
    float c = o.x * o.x + o.y * o.y;
    float b = -(o.x * d.x + o.y * d.y);
    if (b < 0 && c > 1) return false;
    float a = d.x * d.x + d.y * d.y;
    // A ray parallel to the axis never meets the wall at a single t.
    if (!(a > 0)) return false;
    float disc = b * b + (1 - c) * a;
    if (!(disc >= 0)) return false;
    float root = std::sqrt(disc);
    float th = 0;
    bool inRange = false;
    if (c > 1) {
        th = (b - root) / a;
        float z = o.z + th * d.z;
        inRange = z >= 0 && z <= 1;
    }
    if (!inRange) {
        th = (b + root) / a;
        float z = o.z + th * d.z;
        if (!(z >= 0 && z <= 1)) return false;
    }
    if (!(th >= tmin && th <= tmax)) return false;
    t = th;
    if (normal) {
        Point3 p = o + th * d;
        *normal = Vector3(p.x, p.y, 0);
    }
    return true;
}

bool SolveCone(const Ray& r, double tmin, double tmax, double& t, Vector3* normal) {
    const Point3& o = r.origin;
    const Vector3& d = r.direction;
    float A = 2 * (d.x * d.x + d.y * d.y - d.z * d.z);
    float B = 2 * (d.x * o.x + d.y * o.y - d.z * o.z);
    float C = o.x * o.x + o.y * o.y - o.z * o.z;
    float disc = B * B - 2 * A * C;
    if (!(disc >= 0)) return false;
    float root = std::sqrt(disc);
    float th = (-B - root) / A;
    float z = o.z + th * d.z;
    if (!(th >= 0 && z >= -1 && z <= 0)) {
        th = (root - B) / A;
        z = o.z + th * d.z;
        if (!(th >= 0 && z >= -1 && z <= 0)) return false;
    }
    if (!(th >= tmin && th <= tmax)) return false;
    t = th;
    if (normal) {
        Point3 p = o + th * d;
        *normal = Vector3(p.x, p.y, -p.z);
    }
    return true;
}

bool SolveDisk(const Ray& r, double thetamax, double tmin, double tmax, double& t, Vector3* normal) {
    const Point3& o = r.origin;
    const Vector3& d = r.direction;
    if (d.z == 0) return false;
    float th = -o.z / d.z;
    if (!(th >= tmin && th <= tmax)) return false;
    float x = o.x + th * d.x;
    float y = o.y + th * d.y;
    if (!(x * x + y * y <= 1)) return false;
    if (thetamax < kTwoPi) {
        double phi = std::atan2(y, x);
        if (phi < 0) phi += kTwoPi;
        if (phi > thetamax) return false;
    }
    t = th;
    if (normal) *normal = Vector3(0, 0, 1);
    return true;
}

// Slab test against [0, 1]^3 that remembers the face the ray enters by. A
// ray that starts inside (no entry face within [tmin, tmax]) hits the face it
// leaves by instead, like a sphere seen from inside.
bool SolveCube(const Ray& r, double tmin, double tmax, double& t, Vector3* normal) {
    double tnear = tmin, tfar = tmax;
    int face = 0, exitFace = 0;
    for (int i = 0; i < 3; ++i) {
        float oi = r.origin[i], di = r.direction[i];
        if (di == 0) {
            if (!(oi >= 0 && oi <= 1)) return false;
            continue;
        }
        float t0 = -oi / di;
        float t1 = (1 - oi) / di;
        // A ray with NaN in it (an object under a transform that is NaN)
        // meets nothing; NaN would pass every comparison below.
        if (std::isnan(t0) || std::isnan(t1)) return false;
        int s = -1;
        if (t1 < t0) {
            std::swap(t0, t1);
            s = 1;
        }
        if (t0 > tnear) {
            tnear = t0;
            face = s * (i + 1);
        }
        if (t1 < tfar) {
            tfar = t1;
            exitFace = -s * (i + 1);
        }
        if (!(tfar >= tnear)) return false;
    }
    if (face == 0) {
        if (exitFace == 0) return false;
        face = exitFace;
        tnear = tfar;
    }
    t = tnear;
    if (normal) {
        *normal = Vector3();
        (*normal)[std::abs(face) - 1] = face > 0 ? 1.0f : -1.0f;
    }
    return true;
}

BuiltObject Finish(std::unique_ptr<GrAttrObject> obj, const Matrix4& M, const Point3& lower, const Point3& upper) {
    BuiltObject b;
    WorldBox(M, lower, upper, b.lower, b.upper);
    b.object = std::move(obj);
    return b;
}

}  // namespace

#define KX_CANONICAL_OBJECT(Class, ...)                                                                        \
    bool Class::intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const {         \
        Vector3 n;                                                                                             \
        double th;                                                                                             \
        if (!__VA_ARGS__(toObject(ray), tmin, tmax, th, &n)) return false;                                    \
        t = th;                                                                                                \
        finishHit(ray, th, n, hit);                                                                            \
        return true;                                                                                           \
    }                                                                                                          \
    bool Class::occludes(double tmin, double tmax, const Ray& ray) const {                                     \
        double th;                                                                                             \
        return __VA_ARGS__(toObject(ray), tmin, tmax, th, nullptr);                                            \
    }

KX_CANONICAL_OBJECT(RTSimpleSphere, SolveSphere)
KX_CANONICAL_OBJECT(RTSphere, SolveSphere)
KX_CANONICAL_OBJECT(RTCylinder, SolveCylinder)
KX_CANONICAL_OBJECT(RTCone, SolveCone)
KX_CANONICAL_OBJECT(RTCube, SolveCube)
KX_CANONICAL_OBJECT(RTDisk, [this](const Ray& r, double a, double b, double& t, Vector3* n) {
    return SolveDisk(r, thetamax, a, b, t, n);
})

#undef KX_CANONICAL_OBJECT

namespace {
const double kCylinderLower[3] = {-1, -1, 0}, kCylinderUpper[3] = {1, 1, 1};
const double kConeLower[3] = {-1, -1, -1}, kConeUpper[3] = {1, 1, 0};
}  // namespace

bool RTCylinder::mayHit(double tmin, double tmax, const Ray& ray) const {
    return SlabTest(kCylinderLower, kCylinderUpper, toObject(ray), tmin, tmax);
}

bool RTCone::mayHit(double tmin, double tmax, const Ray& ray) const {
    return SlabTest(kConeLower, kConeUpper, toObject(ray), tmin, tmax);
}

// ---- Building the shapes from commands ----

namespace {

void ScaleRow(Matrix4& m, int row, float s) {
    for (int j = 0; j < 4; ++j) m(row, j) = m(row, j) / s;
}

}  // namespace

BuiltObject BuildSphere(float r, float zmin, float zmax, float thetamax, const Matrix4& M, const Matrix4& Minv) {
    std::unique_ptr<GrAttrObject> obj;
    if (zmin <= -r && zmax >= r && thetamax >= 360)
        obj = std::make_unique<RTSimpleSphere>();
    else
        obj = std::make_unique<RTSphere>(zmin / r, zmax / r, thetamax);
    obj->worldToObject = Minv;
    for (int i = 0; i < 3; ++i) ScaleRow(obj->worldToObject, i, r);
    return Finish(std::move(obj), M, Point3(-r, -r, zmin), Point3(r, r, zmax));
}

BuiltObject BuildCube(const Matrix4& M, const Matrix4& Minv) {
    auto obj = std::make_unique<RTCube>();
    obj->worldToObject = Minv;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) obj->worldToObject(i, j) = (Minv(i, j) + Minv(3, j)) * 0.5f;
    return Finish(std::move(obj), M, Point3(-1, -1, -1), Point3(1, 1, 1));
}

BuiltObject BuildCylinder(float r, float zmin, float zmax, float thetamax, const Matrix4& M, const Matrix4& Minv) {
    auto obj = std::make_unique<RTCylinder>(thetamax);
    Matrix4& w = obj->worldToObject;
    w = Minv;
    ScaleRow(w, 0, r);
    ScaleRow(w, 1, r);
    for (int j = 0; j < 4; ++j) w(2, j) = (Minv(2, j) - zmin * Minv(3, j)) / (zmax - zmin);
    return Finish(std::move(obj), M, Point3(-r, -r, zmin), Point3(r, r, zmax));
}

BuiltObject BuildCone(float h, float r, float thetamax, const Matrix4& M, const Matrix4& Minv) {
    auto obj = std::make_unique<RTCone>(thetamax);
    Matrix4& w = obj->worldToObject;
    w = Minv;
    ScaleRow(w, 0, r);
    ScaleRow(w, 1, r);
    for (int j = 0; j < 4; ++j) w(2, j) = Minv(2, j) / h - Minv(3, j);
    return Finish(std::move(obj), M, Point3(-r, -r, 0), Point3(r, r, h));
}

BuiltObject BuildDisk(float h, float r, float thetamax, const Matrix4& M, const Matrix4& Minv) {
    auto obj = std::make_unique<RTDisk>(thetamax);
    Matrix4& w = obj->worldToObject;
    w = Minv;
    ScaleRow(w, 0, r);
    ScaleRow(w, 1, r);
    for (int j = 0; j < 4; ++j) w(2, j) = Minv(2, j) - h * Minv(3, j);
    return Finish(std::move(obj), M, Point3(-r, -r, h - 0.0001f), Point3(r, r, h + 0.0001f));
}

BuiltObject BuildTube(const Point3& from, const Point3& to, float r, const Matrix4& M, const Matrix4& Minv) {
    Vector3 delta = to - from;
    float L = static_cast<float>(std::sqrt(lengthSquared(delta)));
    float cosTheta = delta.z / L;
    // Rounding can put |cos| a hair above 1.
    float sin2 = 1 - cosTheta * cosTheta;
    float sinTheta = sin2 > 0 ? std::sqrt(sin2) : 0.0f;
    float cosPhi = 1, sinPhi = 0;
    if (sinTheta != 0) {
        cosPhi = delta.x / (L * sinTheta);
        sinPhi = delta.y / (L * sinTheta);
    }
    // A turns delta onto +z: a rotation about z by -phi, then about y by
    // -theta.
    Matrix4 A = Matrix4::identity();
    A(0, 0) = cosTheta * cosPhi;
    A(0, 1) = cosTheta * sinPhi;
    A(0, 2) = -sinTheta;
    A(1, 0) = -sinPhi;
    A(1, 1) = cosPhi;
    A(2, 0) = sinTheta * cosPhi;
    A(2, 1) = sinTheta * sinPhi;
    A(2, 2) = cosTheta;
    Matrix4 S = Matrix4::identity();
    S(0, 0) = 1 / r;
    S(1, 1) = 1 / r;
    S(2, 2) = 1 / L;
    Matrix4 T = Matrix4::identity();
    T(0, 3) = -from.x;
    T(1, 3) = -from.y;
    T(2, 3) = -from.z;

    auto obj = std::make_unique<RTCylinder>(360.0f);
    obj->worldToObject = S * A * T * Minv;
    Point3 lo(std::fmin(from.x, to.x) - r, std::fmin(from.y, to.y) - r, std::fmin(from.z, to.z) - r);
    Point3 hi(std::fmax(from.x, to.x) + r, std::fmax(from.y, to.y) + r, std::fmax(from.z, to.z) + r);
    return Finish(std::move(obj), M, lo, hi);
}

}  // namespace kx::raytrace
