#include "engines/raytrace/objects.h"

#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

#include "core/errors.h"

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
    hit.textured = false;
    hit.colored = false;
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

// ---- Blending the values of a face's vertices ----

namespace {

inline float Cross2(float ax, float ay, float bx, float by) { return ax * by - ay * bx; }

// Barycentric weights of p in the triangle of vertices i, j, k of the face
// (projected on its axes): 1 when p is inside, 0 outside, -1 (weights not
// written) when the triangle is flat.
int Barycentric(const RTPolyFace& f, const Point3& p, int i, int j, int k, float* w) {
    const float* a = f.vertices[i];
    const float* b = f.vertices[j];
    const float* c = f.vertices[k];
    const int U = f.u, V = f.v;
    float bx = b[U] - a[U], by = b[V] - a[V], cx = c[U] - a[U], cy = c[V] - a[V];
    float px = p[U] - a[U], py = p[V] - a[V];
    float den = Cross2(bx, by, cx, cy);
    if (!(den != 0)) return -1;
    float wb = Cross2(px, py, cx, cy) / den, wc = Cross2(bx, by, px, py) / den;
    w[0] = 1 - wb - wc;
    w[1] = wb;
    w[2] = wc;
    return w[0] >= 0 && wb >= 0 && wc >= 0 ? 1 : 0;
}

// The bilinear parameters (s along edge 0-1, t along edge 0-3) of the point
// p in the quadrilateral of corners A, B, C, D, all in two dimensions.
void InverseBilinear2(const float A[2], const float B[2], const float C[2], const float D[2], const float p[2],
                      float& s, float& t) {
    const float ex = B[0] - A[0], ey = B[1] - A[1];
    const float fx = D[0] - A[0], fy = D[1] - A[1];
    const float gx = A[0] - B[0] + C[0] - D[0], gy = A[1] - B[1] + C[1] - D[1];
    const float hx = p[0] - A[0], hy = p[1] - A[1];
    const double k2 = Cross2(gx, gy, fx, fy);
    const double k1 = static_cast<double>(Cross2(ex, ey, fx, fy)) + Cross2(hx, hy, gx, gy);
    const double k0 = Cross2(hx, hy, ex, ey);
    // t solves k2 t^2 + k1 t + k0 = 0; s follows from t along the larger
    // component of the edge at t.
    double roots[2];
    int nroots = 0;
    if (std::fabs(k2) <= 1e-9 * std::fabs(k1)) {
        if (k1 != 0) roots[nroots++] = -k0 / k1;
    } else {
        double disc = k1 * k1 - 4 * k0 * k2;
        double q = std::sqrt(disc > 0 ? disc : 0);
        roots[nroots++] = (-k1 - q) / (2 * k2);
        roots[nroots++] = (-k1 + q) / (2 * k2);
    }
    double bestS = 0.5, bestT = 0.5, bestMiss = 1e30;
    for (int r = 0; r < nroots; ++r) {
        const double tt = roots[r];
        const double dx = ex + gx * tt, dy = ey + gy * tt;
        double ss;
        if (std::fabs(dx) >= std::fabs(dy)) {
            if (dx == 0) continue;
            ss = (hx - fx * tt) / dx;
        } else {
            ss = (hy - fy * tt) / dy;
        }
        if (!std::isfinite(ss) || !std::isfinite(tt)) continue;
        // How far the pair lies outside the unit square.
        const double miss = std::fmax(std::fmax(-ss, ss - 1), 0.0) + std::fmax(std::fmax(-tt, tt - 1), 0.0);
        if (miss < bestMiss) {
            bestMiss = miss;
            bestS = ss;
            bestT = tt;
        }
    }
    s = static_cast<float>(std::fmin(std::fmax(bestS, 0.0), 1.0));
    t = static_cast<float>(std::fmin(std::fmax(bestT, 0.0), 1.0));
}

// The same for four corners and a point in three dimensions, projected on
// the axes U and V.
void InverseBilinear(const float* const* c, int U, int V, const Point3& p, float& s, float& t) {
    const float A[2] = {c[0][U], c[0][V]}, B[2] = {c[1][U], c[1][V]}, C[2] = {c[2][U], c[2][V]},
                D[2] = {c[3][U], c[3][V]}, P[2] = {p[U], p[V]};
    InverseBilinear2(A, B, C, D, P, s, t);
}

// The same projected along the direction d: the cell as seen along the ray,
// as a scan converter sees it.
void InverseBilinearAlong(const float* const* c, const Vector3& d, const Point3& p, float& s, float& t) {
    const float ax = std::fabs(d.x), ay = std::fabs(d.y), az = std::fabs(d.z);
    Vector3 other = ax <= ay && ax <= az ? Vector3(1, 0, 0) : (ay <= az ? Vector3(0, 1, 0) : Vector3(0, 0, 1));
    const Vector3 e1 = cross(d, other), e2 = cross(d, e1);
    float q[5][2];
    for (int k = 0; k < 4; ++k) {
        const Vector3 x(c[k][0], c[k][1], c[k][2]);
        q[k][0] = static_cast<float>(dot(x, e1));
        q[k][1] = static_cast<float>(dot(x, e2));
    }
    q[4][0] = static_cast<float>(dot(toVector(p), e1));
    q[4][1] = static_cast<float>(dot(toVector(p), e2));
    InverseBilinear2(q[0], q[1], q[2], q[3], q[4], s, t);
}

}  // namespace

int Blend(const RTPolyFace& f, const Point3& p, const Vector3& d, const float* const* cell, const float** src,
          float* w) {
    if (f.n == 4 || cell) {
        const float* const* corners = cell ? cell : f.vertices;
        float s, t;
        if (cell)
            InverseBilinearAlong(cell, d, p, s, t);
        else
            InverseBilinear(corners, f.u, f.v, p, s, t);
        for (int k = 0; k < 4; ++k) src[k] = corners[k];
        w[0] = (1 - s) * (1 - t);
        w[1] = s * (1 - t);
        w[2] = s * t;
        w[3] = (1 - s) * t;
        return 4;
    }
    // The fan triangle (0, i, i + 1) holding p; the first one that is not
    // flat when p lies in none (it is on an edge, within rounding).
    int fallback = -1;
    float fw[3] = {1, 0, 0};
    for (int i = 1; i + 1 < f.n; ++i) {
        float tw[3];
        const int inside = Barycentric(f, p, 0, i, i + 1, tw);
        if (inside > 0) {
            src[0] = f.vertices[0], src[1] = f.vertices[i], src[2] = f.vertices[i + 1];
            w[0] = tw[0], w[1] = tw[1], w[2] = tw[2];
            return 3;
        }
        if (fallback < 0 && inside == 0) {
            fallback = i;
            fw[0] = tw[0], fw[1] = tw[1], fw[2] = tw[2];
        }
    }
    if (fallback < 0 || f.n < 3) {
        src[0] = f.vertices[0];
        w[0] = 1;
        return 1;
    }
    src[0] = f.vertices[0], src[1] = f.vertices[fallback], src[2] = f.vertices[fallback + 1];
    for (int k = 0; k < 3; ++k) w[k] = std::fmin(std::fmax(fw[k], 0.0f), 1.0f);
    return 3;
}

// ---- Polygon sets ----

bool ParseVertexType(const std::string& vertexType, int& stride, int& positionOffset, int* textureOffset,
                     int* colorOffset, int* normalOffset) {
    stride = 0;
    positionOffset = -1;
    if (textureOffset) *textureOffset = -1;
    if (colorOffset) *colorOffset = -1;
    if (normalOffset) *normalOffset = -1;
    for (char ch : vertexType) {
        switch (ch) {
            case 'P':
                if (positionOffset < 0) positionOffset = stride;
                stride += 3;
                break;
            case 'C':
                if (colorOffset && *colorOffset < 0) *colorOffset = stride;
                stride += 3;
                break;
            case 'N':
            case 'D':
                if (normalOffset && *normalOffset < 0) *normalOffset = stride;
                stride += 3;
                break;
            case 'T':
                if (textureOffset && *textureOffset < 0) *textureOffset = stride;
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
    int vertexStride = 0, position = -1;
    if (!ParseVertexType(vertexType, vertexStride, position, &textureOffset, &colorOffset)) return kErrVertexType;
    return buildFaces(vertexStride, position, vertexCount, data, faceCount, indices);
}

int RTPolySet::buildFaces(int vertexStride, int position, int vertexCount, const float* data, int faceCount,
                          const int* indices) {
    stride = vertexStride;
    positionOffset = position;
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
        if (!faceTree.Insert(&face, lo, hi)) return kErrDisplayMemory;
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
    if (normalOffset < 0 && textureOffset < 0 && colorOffset < 0) {
        finishHit(ray, th, local.normal, hit);
        if (dot(o.direction, local.normal) > 0) hit.normal = -hit.normal;
        return true;
    }
    // Values of the vertices blended at the hit point. The set's faces
    // are its only objects.
    const RTPolyFace& f = *static_cast<const RTPolyFace*>(face);
    float w[4];
    const float* src[4];
    const float* const* cell = nullptr;
    if (!faceCell.empty()) {
        const int c = faceCell[static_cast<size_t>(&f - faces.data())];
        if (c >= 0) cell = cellCorners.data() + c;
    }
    const int count = Blend(f, local.point, o.direction, cell, src, w);
    Vector3 normal = local.normal;
    if (normalOffset >= 0) {
        Vector3 n;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + normalOffset;
            n += w[i] * Vector3(q[0], q[1], q[2]);
        }
        if (lengthSquared(n) > 0) normal = n;
    }
    finishHit(ray, th, normal, hit);
    // Every face is seen from the side the ray comes from.
    if (dot(o.direction, normal) > 0) hit.normal = -hit.normal;
    if (textureOffset >= 0) {
        float u = 0, v = 0;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + textureOffset;
            u += w[i] * q[0];
            v += w[i] * q[1];
        }
        hit.u = u;
        hit.v = v;
        hit.textured = true;
    }
    if (colorOffset >= 0) {
        ColorRGB c;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + colorOffset;
            c += ColorRGB(q[0], q[1], q[2]) * w[i];
        }
        hit.color = c;
        hit.colored = true;
    }
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

namespace {

// Whether four corners lie in one plane, to within rounding.
bool Flat(const float* const c[4]) {
    Vector3 e1 = Point3(c[2]) - Point3(c[0]), e2 = Point3(c[3]) - Point3(c[1]);
    Vector3 n = cross(e1, e2);
    const double len = std::sqrt(lengthSquared(n));
    double size = 0;
    for (int k = 0; k < 4; ++k) size = std::fmax(size, lengthSquared(Point3(c[k]) - Point3(c[0])));
    size = std::sqrt(size);
    if (!(len > 0) || !(size > 0)) return true;  // a degenerate cell is flat
    double off = 0;
    for (int k = 1; k < 4; ++k) off = std::fmax(off, std::fabs(dot(n, Point3(c[k]) - Point3(c[0]))) / len);
    return off <= 1e-4 * size;
}

// The world box of the set's vertex positions carried by M.
void VertexBox(const RTPolySet& set, const Matrix4& M, Point3& lower, Point3& upper) {
    const size_t count = set.stride > 0 ? set.vertexData.size() / static_cast<size_t>(set.stride) : 0;
    for (size_t i = 0; i < count; ++i) {
        const float* p = set.vertexData.data() + i * set.stride + set.positionOffset;
        HPoint w = M * HPoint(p[0], p[1], p[2], 1);
        for (int k = 0; k < 3; ++k) {
            if (i == 0 || w[k] < lower[k]) lower[k] = w[k];
            if (i == 0 || w[k] > upper[k]) upper[k] = w[k];
        }
    }
}

}  // namespace

int BuildPolySet(const std::string& vertexType, int vertexCount, const float* vertexData, int faceCount,
                 const int* indices, const Matrix4& M, const Matrix4& Minv, BuiltObject& out,
                 const float* texelScale, bool colors) {
    out = BuiltObject();
    auto set = std::make_unique<RTPolySet>();
    int status;
    try {
        status = set->build(vertexType, vertexCount, vertexData, faceCount, indices);
    } catch (const std::bad_alloc&) {
        return kErrDisplayMemory;
    }
    if (status != 0 || !set->faceTree.root()) return status;
    if (!colors) set->colorOffset = -1;
    if (!texelScale) {
        set->textureOffset = -1;
    } else if (set->textureOffset >= 0) {
        for (size_t i = static_cast<size_t>(set->textureOffset); i + 1 < set->vertexData.size(); i += set->stride) {
            set->vertexData[i] *= texelScale[0];
            set->vertexData[i + 1] *= texelScale[1];
        }
    }
    set->worldToObject = Minv;
    VertexBox(*set, M, out.lower, out.upper);
    out.object = std::move(set);
    return 0;
}

BuiltObject BuildSurfaceMesh(std::vector<float> vertices, int stride, int normalOffset, int textureOffset,
                             int colorOffset, const Matrix4& M, const Matrix4& Minv) {
    BuiltObject out;
    if (stride <= 0) return out;
    const size_t quads = vertices.size() / (4 * static_cast<size_t>(stride));
    if (quads == 0 || quads * 4 > static_cast<size_t>(INT32_MAX / 2)) return out;
    // A flat quadrilateral is one face; one that is not flat (a cell of a
    // hyperboloid or of a patch) is two triangles, whose union is what the
    // scan converter fills between its four projected corners.
    std::vector<int> indices;
    indices.reserve(quads * 8);
    int faces = 0;
    for (size_t q = 0; q < quads; ++q) {
        const int first = static_cast<int>(q * 4);
        const float* c[4];
        for (int k = 0; k < 4; ++k) c[k] = vertices.data() + static_cast<size_t>(first + k) * stride;
        if (Flat(c)) {
            indices.insert(indices.end(), {first, first + 1, first + 2, first + 3, -1});
            faces += 1;
        } else {
            indices.insert(indices.end(), {first, first + 1, first + 2, -1, first, first + 2, first + 3, -1});
            faces += 2;
        }
    }
    auto set = std::make_unique<RTPolySet>();
    set->normalOffset = normalOffset;
    set->textureOffset = textureOffset;
    set->colorOffset = colorOffset;
    // The indices are made here and are right; only memory can fail, and
    // it fails as every allocation above does.
    if (set->buildFaces(stride, 0, static_cast<int>(quads * 4), vertices.data(), faces, indices.data()) != 0)
        throw std::bad_alloc();
    // Both halves of a cell that is not flat blend the cell's four corners.
    if (faces > static_cast<int>(quads)) {
        set->cellCorners.resize(quads * 4);
        for (size_t k = 0; k < quads * 4; ++k) set->cellCorners[k] = set->vertexData.data() + k * stride;
        set->faceCell.assign(static_cast<size_t>(faces), -1);
        size_t face = 0, pos = 0;
        for (size_t q = 0; q < quads && face < set->faceCell.size(); ++q) {
            // Flat cells are one face of four indices, split ones two of three.
            if (indices[pos + 3] != -1) {
                pos += 5;
                face += 1;
            } else {
                set->faceCell[face] = set->faceCell[face + 1] = static_cast<int>(q * 4);
                pos += 8;
                face += 2;
            }
        }
    }
    if (!set->faceTree.root()) return out;
    set->worldToObject = Minv;
    VertexBox(*set, M, out.lower, out.upper);
    out.object = std::move(set);
    return out;
}

}  // namespace kx::raytrace
