// The geometry of one planar polygon of a polygon set, for any way its
// vertex positions are reached: its plane, the even-odd inside test, the
// hit of a ray, and the weights that blend its vertices' values at a point
// (poly_faces.cpp). A vertex access V gives the position of vertex i as
// V[i], a pointer to x, y, z.
#pragma once

#include <cmath>
#include <cstddef>

#include "core/math.h"

namespace kx::raytrace {

// Positions reached through an array of pointers.
struct PointerVertices {
    const float* const* p;
    const float* operator[](int i) const { return p[i]; }
};

// Positions reached through indices into an array of vertices of stride
// floats; base points at the position of vertex 0.
struct IndexedVertices {
    const float* base;
    const int* index;
    size_t stride;
    const float* operator[](int i) const { return base + static_cast<size_t>(index[i]) * stride; }
};

// The plane of a face: N.p + d = 0 (N not normalized), and the axes u, v
// the face is projected on for the inside test.
struct FacePlane {
    Vector3 N;
    float d = 0;
    int u = 0, v = 1;
};

// The plane through the centroid with the summed cross products of the
// edges seen from it as normal; the projection drops N's largest axis.
template <class V>
FacePlane PlaneOf(const V& vertices, int n) {
    FacePlane f;
    Point3 c;
    for (int i = 0; i < n; ++i) c += Vector3(vertices[i][0], vertices[i][1], vertices[i][2]);
    if (n > 0) c = c * (1.0f / static_cast<float>(n));
    for (int i = 0; i < n; ++i) {
        const float* a = vertices[i == 0 ? n - 1 : i - 1];
        const float* b = vertices[i];
        f.N += cross(Point3(a) - c, Point3(b) - c);
    }
    f.d = -static_cast<float>(dot(f.N, toVector(c)));
    float ax = std::fabs(f.N.x), ay = std::fabs(f.N.y), az = std::fabs(f.N.z);
    int k = 0;
    if (ay > ax) k = 1;
    if (az > (k == 0 ? ax : ay)) k = 2;
    f.u = k == 0 ? 1 : 0;
    f.v = k == 2 ? 1 : 2;
    return f;
}

// Even-odd test of a point of the plane against the projected polygon.
template <class V>
bool FaceContains(const V& vertices, int n, int u, int v, const Point3& p) {
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

// The hit of the ray with the face for t in [0, tmax]: t and the point.
template <class V>
bool FaceHit(const V& vertices, int n, const FacePlane& f, double tmax, const Ray& ray, double& t, Point3& p) {
    float den = static_cast<float>(dot(ray.direction, f.N));
    if (den == 0) return false;
    float th = -(static_cast<float>(dot(f.N, toVector(ray.origin))) + f.d) / den;
    if (!(th >= 0 && th <= tmax)) return false;
    p = ray.origin + th * ray.direction;
    if (!FaceContains(vertices, n, f.u, f.v, p)) return false;
    t = th;
    return true;
}

// The box of the face's vertices (n >= 1), in double precision.
template <class V>
void FaceBox(const V& vertices, int n, double lower[3], double upper[3]) {
    const float* q = vertices[0];
    float lo[3] = {q[0], q[1], q[2]}, hi[3] = {q[0], q[1], q[2]};
    for (int i = 1; i < n; ++i) {
        q = vertices[i];
        for (int k = 0; k < 3; ++k) {
            if (q[k] < lo[k]) lo[k] = q[k];
            if (q[k] > hi[k]) hi[k] = q[k];
        }
    }
    for (int k = 0; k < 3; ++k) {
        lower[k] = lo[k];
        upper[k] = hi[k];
    }
}

// The vertices of a face and their weights that interpolate its values at
// the point p of its plane: barycentric on a triangle, bilinear on a
// quadrilateral (so that a grid cell of a tessellated surface blends its
// four corners as a scan converter blends them row by row), barycentric on
// the fan triangle holding p otherwise. A face that halves a cell of a
// tessellated surface that is not flat blends the cell's four corners
// (cell, or null) bilinearly instead, with the cell seen along the ray
// direction d, as a scan converter sees it. Returns the number of vertices
// blended (1 to 4); their positions go to src, their weights to w.
// Instantiated for IndexedVertices.
template <class V>
int Blend(const V& vertices, int n, const FacePlane& plane, const Point3& p, const Vector3& d,
          const float* const* cell, const float** src, float* w);

}  // namespace kx::raytrace
