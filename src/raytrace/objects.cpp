#include "raytrace/objects.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "core/errors.h"

namespace kx::render_raytrace {

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

// Grows the box lo-hi to hold the point p.
void MinMax(const float* p, Point3& lo, Point3& hi) {
    for (int k = 0; k < 3; ++k) {
        if (p[k] < lo[k]) lo[k] = p[k];
        if (p[k] > hi[k]) hi[k] = p[k];
    }
}

BuiltObject Finish(std::unique_ptr<GrAttrObject> obj, const Matrix4& M, const Point3& lower, const Point3& upper) {
    BuiltObject b;
    WorldBox(M, lower, upper, b.lower, b.upper);
    b.object = std::move(obj);
    return b;
}

}  // namespace

void GrAttrObject::finishHit(const Ray& world, double t, const Vector3& canonicalNormal, HitRecord& hit) const {
    float tf = static_cast<float>(t);
    hit.t = t;
    hit.point = world.origin + tf * world.direction;
    HPoint n = HPoint(canonicalNormal.x, canonicalNormal.y, canonicalNormal.z, 1) * worldToObject;
    hit.normal = Vector3(n.x, n.y, n.z);
}

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

// ---- Polygon faces ----

void RTPolyFace::setup(const float* const* vertices_, int n_) {
    vertices = vertices_;
    n = n_;
    Point3 c;
    for (int i = 0; i < n; ++i) c += Vector3(vertices[i][0], vertices[i][1], vertices[i][2]);
    if (n > 0) c = c * (1.0f / static_cast<float>(n));
    N = Vector3();
    for (int i = 0; i < n; ++i) {
        const float* a = vertices[i == 0 ? n - 1 : i - 1];
        const float* b = vertices[i];
        N += cross(Point3(a) - c, Point3(b) - c);
    }
    d = -static_cast<float>(dot(N, toVector(c)));
    float ax = std::fabs(N.x), ay = std::fabs(N.y), az = std::fabs(N.z);
    int k = 0;
    if (ay > ax) k = 1;
    if (az > (k == 0 ? ax : ay)) k = 2;
    u = k == 0 ? 1 : 0;
    v = k == 2 ? 1 : 2;
}

bool RTPolyFace::contains(const Point3& p) const {
    bool inside = false;
    for (int i = 0; i < n; ++i) {
        const float* a = vertices[i];
        const float* b = vertices[i + 1 < n ? i + 1 : 0];
        float ua = a[u] - p[u], va = a[v] - p[v];
        float ub = b[u] - p[u], vb = b[v] - p[v];
        if ((va < 0) == (vb < 0)) continue;
        if (ua > 0 && ub > 0) {
            inside = !inside;
        } else if (ua > 0 || ub > 0) {
            if (ua - (ub - ua) * va / (vb - va) > 0) inside = !inside;
        }
    }
    return inside;
}

bool RTPolyFace::hitPlane(double tmax, const Ray& ray, double& t, Point3& p) const {
    float den = static_cast<float>(dot(ray.direction, N));
    if (den == 0) return false;
    float th = -(static_cast<float>(dot(N, toVector(ray.origin))) + d) / den;
    if (!(th >= 0 && th <= tmax)) return false;
    p = ray.origin + th * ray.direction;
    if (!contains(p)) return false;
    t = th;
    return true;
}

bool RTPolyFace::intersect(double, double tmax, double& t, const Ray& ray, HitRecord& hit) const {
    Point3 p;
    double th;
    if (!hitPlane(tmax, ray, th, p)) return false;
    t = th;
    hit.t = th;
    hit.point = p;
    hit.normal = N;
    return true;
}

bool RTPolyFace::occludes(double, double tmax, const Ray& ray) const {
    Point3 p;
    double th;
    return hitPlane(tmax, ray, th, p);
}

// ---- Polygon sets ----

bool ParseVertexType(const std::string& vertexType, int& stride, int& positionOffset) {
    stride = 0;
    positionOffset = -1;
    for (char ch : vertexType) {
        switch (ch) {
            case 'P':
                if (positionOffset < 0) positionOffset = stride;
                stride += 3;
                break;
            case 'C':
            case 'N':
            case 'D':
                stride += 3;
                break;
            case 'T':
                stride += 2;
                break;
            case 'w':
            case 'O':
                stride += 1;
                break;
            case '"':
                break;
            default:
                return false;
        }
    }
    return true;
}

int RTPolySet::build(const std::string& vertexType, int vertexCount, const float* data, int faceCount,
                     const int* indices) {
    if (!ParseVertexType(vertexType, stride, positionOffset)) return kErrVertexType;
    faceTree.Clear();
    faces.clear();
    vertexPointers.clear();
    vertexData.clear();
    if (vertexCount <= 0 || faceCount <= 0 || positionOffset < 0 || !data || !indices) return 0;

    // First pass: check the indices and count the entries.
    size_t entries = 0;
    for (int closed = 0; closed < faceCount; ++entries) {
        int idx = indices[entries];
        if (idx == -1)
            ++closed;
        else if (idx < 0 || idx >= vertexCount)
            return kErrVertexIndexRange;
    }

    vertexData.assign(data, data + static_cast<size_t>(vertexCount) * static_cast<size_t>(stride));
    vertexPointers.resize(entries);
    faces.resize(static_cast<size_t>(faceCount));
    size_t start = 0;
    for (int f = 0; f < faceCount; ++f) {
        size_t k = start;
        for (; indices[k] != -1; ++k)
            vertexPointers[k] =
                vertexData.data() + static_cast<size_t>(indices[k]) * static_cast<size_t>(stride) + positionOffset;
        vertexPointers[k] = nullptr;
        faces[static_cast<size_t>(f)].setup(vertexPointers.data() + start, static_cast<int>(k - start));
        start = k + 1;
    }

    // The faces go into the tree in a fixed shuffled order. Insertion by
    // least added area builds a chain hundreds of levels deep when the faces
    // arrive strip by strip, as meshes usually do; a shuffled order keeps
    // the tree a few dozen levels deep, with queries tens of times faster.
    std::vector<int> order(faces.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    uint64_t state = 0x9e3779b97f4a7c15ull;
    for (size_t i = order.size(); i > 1; --i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::swap(order[i - 1], order[state % i]);
    }
    for (int f : order) {
        RTPolyFace& face = faces[static_cast<size_t>(f)];
        if (face.n <= 0) continue;
        Point3 lo(face.vertices[0]), hi(face.vertices[0]);
        for (int i = 1; i < face.n; ++i) MinMax(face.vertices[i], lo, hi);
        faceTree.Insert(&face, lo, hi);
    }
    // The faces are final: lay the tree out for the queries.
    faceTree.Prepare();
    return 0;
}

bool RTPolySet::mayHit(double tmin, double tmax, const Ray& ray) const {
    double lo[3], hi[3];
    faceTree.Bounds(lo, hi);
    return SlabTest(lo, hi, toObject(ray), tmin, tmax);
}

bool RTPolySet::intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const {
    Ray o = toObject(ray);
    HitRecord local;
    GrObject* face = nullptr;
    double th;
    if (!faceTree.NearestHit(tmin, tmax, o, th, local, face)) return false;
    t = th;
    finishHit(ray, th, local.normal, hit);
    if (dot(o.direction, local.normal) > 0) hit.normal = -hit.normal;
    return true;
}

bool RTPolySet::occludes(double tmin, double tmax, const Ray& ray) const {
    return faceTree.AnyHit(tmin, tmax, toObject(ray));
}

// ---- Building objects from commands ----

void WorldBox(const Matrix4& M, const Point3& lower, const Point3& upper, Point3& worldLower, Point3& worldUpper) {
    for (int corner = 0; corner < 8; ++corner) {
        HPoint p((corner & 1) ? upper.x : lower.x, (corner & 2) ? upper.y : lower.y, (corner & 4) ? upper.z : lower.z,
                 1);
        HPoint w = M * p;
        for (int k = 0; k < 3; ++k) {
            if (corner == 0 || w[k] < worldLower[k]) worldLower[k] = w[k];
            if (corner == 0 || w[k] > worldUpper[k]) worldUpper[k] = w[k];
        }
    }
}

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

int BuildPolySet(const std::string& vertexType, int vertexCount, const float* vertexData, int faceCount,
                 const int* indices, const Matrix4& M, const Matrix4& Minv, BuiltObject& out) {
    out = BuiltObject();
    auto set = std::make_unique<RTPolySet>();
    int status = set->build(vertexType, vertexCount, vertexData, faceCount, indices);
    if (status != 0 || !set->faceTree.root()) return status;
    set->worldToObject = Minv;
    for (int i = 0; i < vertexCount; ++i) {
        const float* p = set->vertexData.data() + static_cast<size_t>(i) * set->stride + set->positionOffset;
        HPoint w = M * HPoint(p[0], p[1], p[2], 1);
        for (int k = 0; k < 3; ++k) {
            if (i == 0 || w[k] < out.lower[k]) out.lower[k] = w[k];
            if (i == 0 || w[k] > out.upper[k]) out.upper[k] = w[k];
        }
    }
    out.object = std::move(set);
    return 0;
}

}  // namespace kx::render_raytrace
