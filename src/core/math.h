// Value types for points, vectors, colours, rays and 4x4 matrices.
// Everything is single precision; results are rounded to float at every
// store (the build disables fused multiply-add contraction).
#pragma once

#include <cmath>
#include <ostream>

namespace kx {

inline constexpr double kPi = 3.141592653589793;

struct Vector3 {
    float x = 0, y = 0, z = 0;
    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    const float* data() const { return &x; }
    float* data() { return &x; }
};

struct Point3 {
    float x = 0, y = 0, z = 0;
    constexpr Point3() = default;
    constexpr Point3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    explicit Point3(const float* p) : x(p[0]), y(p[1]), z(p[2]) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
    const float* data() const { return &x; }
    float* data() { return &x; }
};

struct ColorRGB {
    float r = 0, g = 0, b = 0;
    constexpr ColorRGB() = default;
    constexpr ColorRGB(float r_, float g_, float b_) : r(r_), g(g_), b(b_) {}
    float& operator[](int i) { return (&r)[i]; }
    float operator[](int i) const { return (&r)[i]; }
    const float* data() const { return &r; }
    float* data() { return &r; }
};

struct HPoint {
    float x = 0, y = 0, z = 0, w = 1;
    constexpr HPoint() = default;
    constexpr HPoint(float x_, float y_, float z_) : x(x_), y(y_), z(z_), w(1) {}
    constexpr HPoint(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    explicit HPoint(const double* d)
        : x(static_cast<float>(d[0])), y(static_cast<float>(d[1])), z(static_cast<float>(d[2])), w(1) {}
    explicit constexpr HPoint(const Point3& p) : x(p.x), y(p.y), z(p.z), w(1) {}
    explicit constexpr HPoint(const Vector3& v) : x(v.x), y(v.y), z(v.z), w(1) {}
    float& operator[](int i) { return (&x)[i]; }
    float operator[](int i) const { return (&x)[i]; }
};

struct Matrix4 {
    float m[16] = {};  // row-major: element (r, c) at 4r + c
    float& operator()(int r, int c) { return m[4 * r + c]; }
    float operator()(int r, int c) const { return m[4 * r + c]; }
    static Matrix4 zero() { return Matrix4{}; }
    static Matrix4 identity() {
        Matrix4 i;
        i.m[0] = i.m[5] = i.m[10] = i.m[15] = 1;
        return i;
    }
};

struct Ray {
    Point3 origin;
    Vector3 direction;
};

// ---- Vector3 ----
inline double dot(const Vector3& a, const Vector3& b) {
    return static_cast<double>(a.x * b.x + a.y * b.y + a.z * b.z);
}
inline double lengthSquared(const Vector3& v) { return dot(v, v); }
inline void normalize(Vector3& v) {
    float len = static_cast<float>(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
    if (len == 0) return;
    v.x /= len;
    v.y /= len;
    v.z /= len;
}
inline Vector3 normalized(Vector3 v) {
    normalize(v);
    return v;
}
inline Vector3 cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - b.y * a.z, -a.x * b.z + b.x * a.z, a.x * b.y - b.x * a.y};
}
inline Vector3 operator-(const Vector3& v) { return {-v.x, -v.y, -v.z}; }
inline Vector3 operator*(const Vector3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }
inline Vector3 operator*(float s, const Vector3& v) { return {s * v.x, s * v.y, s * v.z}; }
inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3& operator+=(Vector3& a, const Vector3& b) {
    a.x += b.x;
    a.y += b.y;
    a.z += b.z;
    return a;
}
inline Vector3 reflect(const Vector3& v, const Vector3& n) {
    float k = static_cast<float>(2 * dot(v, n));
    return v - k * n;
}

// ---- Point3 ----
inline Vector3 operator-(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3 operator+(const Point3& p, const Vector3& v) { return {p.x + v.x, p.y + v.y, p.z + v.z}; }
inline Point3 operator*(const Point3& p, float s) { return {p.x * s, p.y * s, p.z * s}; }
inline Point3 operator*(float s, const Point3& p) { return {s * p.x, s * p.y, s * p.z}; }
inline Point3& operator+=(Point3& p, const Vector3& v) {
    p.x += v.x;
    p.y += v.y;
    p.z += v.z;
    return p;
}
inline Vector3 toVector(const Point3& p) { return {p.x, p.y, p.z}; }
inline Point3 toPoint(const Vector3& v) { return {v.x, v.y, v.z}; }

// ---- HPoint ----
inline HPoint operator+(const HPoint& a, const HPoint& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
inline HPoint operator-(const HPoint& a, const HPoint& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
inline HPoint operator*(const HPoint& a, float s) { return {a.x * s, a.y * s, a.z * s, a.w * s}; }
inline HPoint operator*(float s, const HPoint& a) { return {s * a.x, s * a.y, s * a.z, s * a.w}; }

// ---- ColorRGB ----
inline ColorRGB operator+(const ColorRGB& a, const ColorRGB& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline ColorRGB& operator+=(ColorRGB& a, const ColorRGB& b) {
    a.r += b.r;
    a.g += b.g;
    a.b += b.b;
    return a;
}
inline ColorRGB operator*(const ColorRGB& c, float s) { return {c.r * s, c.g * s, c.b * s}; }
inline ColorRGB operator*(float s, const ColorRGB& c) { return {s * c.r, s * c.g, s * c.b}; }
inline ColorRGB operator*(const ColorRGB& a, const ColorRGB& b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
inline ColorRGB& operator*=(ColorRGB& a, const ColorRGB& b) {
    a.r *= b.r;
    a.g *= b.g;
    a.b *= b.b;
    return a;
}
inline ColorRGB& operator*=(ColorRGB& c, float s) {
    c.r *= s;
    c.g *= s;
    c.b *= s;
    return c;
}

// Clamped to 0 .. 1; NaN gives 0 (clamp below keeps a NaN).
inline float Clamp01(float c) { return c > 0 ? (c < 1 ? c : 1.0f) : 0.0f; }
inline ColorRGB ClampColor(const ColorRGB& c) { return {Clamp01(c.r), Clamp01(c.g), Clamp01(c.b)}; }

// clamp(low, value, high): note the argument order.
inline float clamp(float low, float value, float high) {
    if (low > value) return low;
    if (value > high) return high;
    return value;
}

// ---- Matrix4 ----
inline Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
    Matrix4 c;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            c(i, j) = a(i, 0) * b(0, j) + a(i, 1) * b(1, j) + a(i, 2) * b(2, j) + a(i, 3) * b(3, j);
    return c;
}
inline HPoint operator*(const Matrix4& m, const HPoint& p) {
    HPoint r;
    for (int i = 0; i < 4; ++i) r[i] = m(i, 0) * p.x + m(i, 1) * p.y + m(i, 2) * p.z + m(i, 3) * p.w;
    return r;
}
// Row vector times matrix: M^T p. Maps normals by the inverse transform.
inline HPoint operator*(const HPoint& p, const Matrix4& m) {
    HPoint r;
    for (int j = 0; j < 4; ++j) r[j] = p.x * m(0, j) + p.y * m(1, j) + p.z * m(2, j) + p.w * m(3, j);
    return r;
}
inline Point3 operator*(const Matrix4& m, const Point3& p) {
    return {m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2) * p.z + m(0, 3),
            m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2) * p.z + m(1, 3),
            m(2, 0) * p.x + m(2, 1) * p.y + m(2, 2) * p.z + m(2, 3)};
}
inline Vector3 operator*(const Matrix4& m, const Vector3& v) {
    return {m(0, 0) * v.x + m(0, 1) * v.y + m(0, 2) * v.z,
            m(1, 0) * v.x + m(1, 1) * v.y + m(1, 2) * v.z,
            m(2, 0) * v.x + m(2, 1) * v.y + m(2, 2) * v.z};
}
inline Point3 operator*(const Point3& p, const Matrix4& m) {
    return {p.x * m(0, 0) + p.y * m(1, 0) + p.z * m(2, 0) + m(3, 0),
            p.x * m(0, 1) + p.y * m(1, 1) + p.z * m(2, 1) + m(3, 1),
            p.x * m(0, 2) + p.y * m(1, 2) + p.z * m(2, 2) + m(3, 2)};
}
inline Ray transform(const Matrix4& m, const Ray& r) { return {m * r.origin, m * r.direction}; }

inline std::ostream& operator<<(std::ostream& os, const HPoint& p) {
    return os << p.x << "  " << p.y << "  " << p.z << "  " << p.w;
}
inline std::ostream& operator<<(std::ostream& os, const Point3& p) {
    return os << p.x << "  " << p.y << "  " << p.z << "  ";
}

}  // namespace kx
