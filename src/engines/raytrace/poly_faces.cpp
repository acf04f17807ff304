// The faces of a polygon set: the plane and inside test of one polygon, and
// the weights that blend its vertices' values at a point of it.
#include "engines/raytrace/objects.h"

#include "engines/raytrace/face_geometry.h"

#include <cmath>

namespace kx::raytrace {

void RTPolyFace::setup(const float* const* vertices_, int n_) {
    vertices = vertices_;
    n = n_;
    const FacePlane f = PlaneOf(PointerVertices{vertices}, n);
    N = f.N;
    d = f.d;
    u = f.u;
    v = f.v;
}

bool RTPolyFace::contains(const Point3& p) const { return FaceContains(PointerVertices{vertices}, n, u, v, p); }

bool RTPolyFace::hitPlane(double tmax, const Ray& ray, double& t, Point3& p) const {
    FacePlane f;
    f.N = N;
    f.d = d;
    f.u = u;
    f.v = v;
    return FaceHit(PointerVertices{vertices}, n, f, tmax, ray, t, p);
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
template <class Vertices>
int Barycentric(const Vertices& vertices, const FacePlane& f, const Point3& p, int i, int j, int k, float* w) {
    const float* a = vertices[i];
    const float* b = vertices[j];
    const float* c = vertices[k];
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
void InverseBilinear(const float* const c[4], int U, int V, const Point3& p, float& s, float& t) {
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

template <class Vertices>
int Blend(const Vertices& vertices, int n, const FacePlane& f, const Point3& p, const Vector3& d,
          const float* const* cell, const float** src, float* w) {
    if (n == 4 || cell) {
        const float* corners[4];
        for (int k = 0; k < 4; ++k) corners[k] = cell ? cell[k] : vertices[k];
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
    for (int i = 1; i + 1 < n; ++i) {
        float tw[3];
        const int inside = Barycentric(vertices, f, p, 0, i, i + 1, tw);
        if (inside > 0) {
            src[0] = vertices[0], src[1] = vertices[i], src[2] = vertices[i + 1];
            w[0] = tw[0], w[1] = tw[1], w[2] = tw[2];
            return 3;
        }
        if (fallback < 0 && inside == 0) {
            fallback = i;
            fw[0] = tw[0], fw[1] = tw[1], fw[2] = tw[2];
        }
    }
    if (fallback < 0 || n < 3) {
        src[0] = vertices[0];
        w[0] = 1;
        return 1;
    }
    src[0] = vertices[0], src[1] = vertices[fallback], src[2] = vertices[fallback + 1];
    for (int k = 0; k < 3; ++k) w[k] = std::fmin(std::fmax(fw[k], 0.0f), 1.0f);
    return 3;
}

template int Blend<IndexedVertices>(const IndexedVertices& vertices, int n, const FacePlane& f, const Point3& p,
                                    const Vector3& d, const float* const* cell, const float** src, float* w);

}  // namespace kx::raytrace
