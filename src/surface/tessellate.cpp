// Quadric, superquadric and other parametric surfaces cut into
// quadrilaterals.
#include "surface/tessellate.h"

#include <cmath>
#include <vector>

namespace kx {

namespace {

constexpr float kHalfPi = 1.5707964f;          // pi/2 in single precision
constexpr double kTwoPi = 6.283185307179586;
constexpr double kTorusRadians = 0.017453292519943295;

// The trigonometric functions of the C runtime, rounded to single precision.
inline float Cos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float Sin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float Fraction(int i, int n) { return static_cast<float>(i) / static_cast<float>(n); }

// asin for a latitude: arguments beyond [-1, 1] (a limit outside the
// surface, or 0/0 for a zero radius) give the pole instead of NaN.
inline float Latitude(float s) {
    if (s >= 1) return kHalfPi;
    if (s > -1) return static_cast<float>(std::asin(static_cast<double>(s)));
    return -kHalfPi;
}

// sign(c) * |c|^e, the signed power of a cosine or sine value.
inline float SignedPow(float c, float e) {
    if (c == 0) return 0;
    float p = static_cast<float>(std::pow(std::fabs(static_cast<double>(c)), static_cast<double>(e)));
    return c < 0 ? -p : p;
}

using Corner = SurfacePoint;
using Fractions = TextureFractions;

// Announces a surface to its receiver and hands its quadrilaterals over.
class SurfaceWriter {
public:
    SurfaceWriter(bool withNormal, Fractions fractions, SurfaceQuads& out) : out_(out) {
        out_.begin(withNormal, fractions);
    }
    void quad(const Corner& c0, const Corner& c1, const Corner& c2, const Corner& c3, const Vector3& face) {
        out_.quad(c0, c1, c2, c3, face);
    }
    void row(const Corner* lower, const Corner* upper, int cols, const Vector3* faces) {
        out_.row(lower, upper, cols, faces);
    }

private:
    SurfaceQuads& out_;
};

// A surface over a rows x columns grid whose corners and face normals come
// from the functor f: f.corner(f.latitude(i), f.longitude(j), i, j, c) for
// corner (i, j), and f.faces(i, columns, normals) for the quadrilaterals of
// row i, the one of column j having its first corner at (i, j). A corner is
// shared by up to four quadrilaterals: the corners of the two rows at hand
// are worked out once, and the functions of each row's and each column's
// angle once.
template <class Surface>
void DrawGrid(SurfaceWriter& w, int rows, int cols, const Surface& f) {
    if (rows <= 0 || cols <= 0) return;
    const size_t n = static_cast<size_t>(cols);
    std::vector<Corner> lower(n + 1), upper(n + 1);
    std::vector<Vector3> faces(n);
    const typename Surface::Columns columns(f);
    std::vector<typename Surface::Trig> longitudes(n + 1);
    for (int j = 0; j <= cols; ++j) longitudes[j] = f.longitude(j);
    auto cornerRow = [&](int i, Corner* out) {
        const typename Surface::Trig latitude = f.latitude(i);
        for (int j = 0; j <= cols; ++j) f.corner(latitude, longitudes[j], out[j]);
        for (int j = 0; j <= cols; ++j) f.fractions(i, j, out[j]);
    };
    cornerRow(0, lower.data());
    for (int i = 0; i < rows; ++i) {
        cornerRow(i + 1, upper.data());
        f.faces(i, columns, faces.data());
        w.row(lower.data(), upper.data(), cols, faces.data());
        lower.swap(upper);
    }
}

// A surface over latitude phi (rows, from phimin over dphi) and longitude
// theta (columns, from 0 over theta). The superquadrics replace cosine and
// sine by signed powers: e1, e2 for positions, ne1, ne2 for normals.
struct LatitudeGrid {
    float phimin = 0, dphi = 0, theta = 0;
    int rows = 0, cols = 0;
    bool super = false;
    float e1 = 1, e2 = 1, ne1 = 1, ne2 = 1;

    float C(float x, float e) const { return super ? SignedPow(Cos(x), e) : Cos(x); }
    float S(float x, float e) const { return super ? SignedPow(Sin(x), e) : Sin(x); }

    // C and S of a corner's angle for positions (exponent e) and normals
    // (exponent ne); of row i's latitude, and of column j's longitude.
    struct Trig {
        float c = 0, s = 0, nc = 0, ns = 0;
    };
    Trig trig(float x, float e, float ne) const {
        Trig t{C(x, e), S(x, e), 0, 0};
        t.nc = super ? C(x, ne) : t.c;
        t.ns = super ? S(x, ne) : t.s;
        return t;
    }
    Trig latitude(int i) const { return trig(phimin + dphi * Fraction(i, rows), e1, ne1); }
    Trig longitude(int j) const { return trig(theta * Fraction(j, cols), e2, ne2); }
    // The normal direction at a corner, of unit length for the quadrics:
    // (C(phi) C(theta), C(phi) S(theta), S(phi)) with the normals' exponents.
    static Vector3 normal(const Trig& latitude, const Trig& longitude) {
        return {latitude.nc * longitude.nc, latitude.nc * longitude.ns, latitude.ns};
    }
    // The angles of the centre of the quadrilateral that starts at (i, j).
    void centre(int i, int j, float& phi, float& th) const {
        phi = phimin + dphi * ((static_cast<float>(i) + 0.5f) / static_cast<float>(rows));
        th = theta * ((static_cast<float>(j) + 0.5f) / static_cast<float>(cols));
    }
    // The longitude factors of the face normals, C and S of each column's
    // centre angle, the same in every row.
    struct Columns {
        std::vector<float> c, s;
        explicit Columns(const LatitudeGrid& g) : c(static_cast<size_t>(g.cols)), s(static_cast<size_t>(g.cols)) {
            for (int j = 0; j < g.cols; ++j) {
                float phi, th;
                g.centre(0, j, phi, th);
                c[j] = g.C(th, g.ne2);
                s[j] = g.S(th, g.ne2);
            }
        }
    };
    // The normals of the faces of row i at their centres, in the same way
    // as normal() at a corner.
    void faces(int i, const Columns& columns, Vector3* out) const {
        float phi, th;
        centre(i, 0, phi, th);
        const float cp = C(phi, ne1), sp = S(phi, ne1);
        for (int j = 0; j < cols; ++j) out[j] = {cp * columns.c[j], cp * columns.s[j], sp};
    }
    // Signed powers with the exponents e1 (latitude) and e2 (longitude);
    // the normals use 2 - e1 and 2 - e2.
    void superquadric(float le1, float le2) {
        super = true;
        e1 = le1;
        e2 = le2;
        ne1 = 2 - le1;
        ne2 = 2 - le2;
    }
    void fractions(int i, int j, Corner& c) const {
        c.a = Fraction(j, cols);
        c.b = Fraction(i, rows);
    }
};

// Sphere and superquadric sphere of radius r.
struct Ellipsoid : LatitudeGrid {
    float r = 0;

    void corner(const Trig& latitude, const Trig& longitude, Corner& c) const {
        float cp = latitude.c;
        c.x = r * cp * longitude.c;
        c.y = r * cp * longitude.s;
        c.z = r * latitude.s;
        if (super) {
            Vector3 n = normal(latitude, longitude);
            c.nx = r * n.x;
            c.ny = r * n.y;
            c.nz = r * n.z;
        } else {
            c.nx = c.x;
            c.ny = c.y;
            c.nz = c.z;
        }
    }
};

// Torus and superquadric torus.
struct Ring : LatitudeGrid {
    float rmajor = 0, rminor = 0;

    void corner(const Trig& latitude, const Trig& longitude, Corner& c) const {
        float ring = rmajor + rminor * latitude.c;
        c.x = ring * longitude.c;
        c.y = ring * longitude.s;
        c.z = rminor * latitude.s;
        Vector3 n = normal(latitude, longitude);
        c.nx = n.x;
        c.ny = n.y;
        c.nz = n.z;
    }
};

// The centre angle of band i of n.
inline float CentreAngle(float theta, int i, int n) {
    return theta * ((static_cast<float>(i) + 0.5f) / static_cast<float>(n));
}

void DrawCylinder(float radius, float zmin, float zmax, float theta, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Bounded, sink);
    Corner c0, c1, c2, c3;
    auto at = [&](int i, float z, float b, Corner& c) {
        float t = theta * Fraction(i, n);
        float ct = Cos(t), st = Sin(t);
        c.x = radius * ct;
        c.y = radius * st;
        c.z = z;
        c.nx = radius * ct;
        c.ny = radius * st;
        c.nz = 0;
        c.a = Fraction(i, n);
        c.b = b;
    };
    for (int i = 0; i < n; ++i) {
        at(i, zmax, 1, c0);
        at(i, zmin, 0, c1);
        at(i + 1, zmin, 0, c2);
        at(i + 1, zmax, 1, c3);
        float tc = CentreAngle(theta, i, n);
        w.quad(c0, c1, c2, c3, Vector3(Cos(tc), Sin(tc), 0));
    }
}

}  // namespace

void SurfaceQuads::row(const SurfacePoint* lower, const SurfacePoint* upper, int cols, const Vector3* faces) {
    for (int j = 0; j < cols; ++j) quad(lower[j], lower[j + 1], upper[j + 1], upper[j], faces[j]);
}

void TessellateCube(SurfaceQuads& sink) {
    static const float corners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                        {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    static const int faces[6][4] = {{0, 3, 2, 1}, {0, 1, 5, 4}, {1, 2, 6, 5},
                                    {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}};
    static const Vector3 normals[6] = {{0, 0, -1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    SurfaceWriter w(false, Fractions::None, sink);
    Corner c[4];
    for (int f = 0; f < 6; ++f) {
        for (int k = 0; k < 4; ++k) {
            const float* p = corners[faces[f][k]];
            c[k].x = p[0];
            c[k].y = p[1];
            c[k].z = p[2];
        }
        w.quad(c[0], c[1], c[2], c[3], normals[f]);
    }
}

void TessellateSphere(float radius, float zmin, float zmax, float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Bounded, sink);
    Ellipsoid e;
    e.r = radius;
    e.phimin = zmin > -radius ? Latitude(zmin / radius) : -kHalfPi;
    float phimax = zmax < radius ? Latitude(zmax / radius) : kHalfPi;
    e.dphi = phimax - e.phimin;
    e.theta = Radians(thetamax);
    e.rows = n / 2;
    e.cols = n;
    DrawGrid(w, e.rows, e.cols, e);
}

void TessellateSqSphere(float radius, float e1, float e2, float zmin, float zmax, float thetamax, int n,
                        SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Plain, sink);
    // The latitude whose superquadric height is z.
    auto limit = [&](float z) {
        float s = static_cast<float>(std::pow(std::fabs(static_cast<double>(z)) / radius, 1.0 / e1));
        float phi = Latitude(s);
        return z < 0 ? -phi : (z > 0 ? phi : 0.0f);
    };
    Ellipsoid e;
    e.superquadric(e1, e2);
    e.r = radius;
    e.phimin = zmin > -radius ? limit(zmin) : -kHalfPi;
    float phimax = zmax < radius ? limit(zmax) : kHalfPi;
    e.dphi = phimax - e.phimin;
    float theta = Radians(thetamax);
    if (static_cast<double>(theta) < kTwoPi) {
        float ie2 = static_cast<float>(1.0 / e2);
        theta = static_cast<float>(std::atan2(static_cast<double>(SignedPow(Sin(theta), ie2)),
                                              static_cast<double>(SignedPow(Cos(theta), ie2))));
    }
    e.theta = theta;
    e.rows = n / 2;
    e.cols = n;
    DrawGrid(w, e.rows, e.cols, e);
}

namespace {

// The torus grid: phi in degrees converted with the torus factor.
void DrawRing(Ring& t, float rmajor, float rminor, float phimin, float phimax, float thetamax, int n,
              SurfaceWriter& w) {
    t.rmajor = rmajor;
    t.rminor = rminor;
    t.phimin = static_cast<float>(phimin * kTorusRadians);
    t.dphi = static_cast<float>(phimax * kTorusRadians) - t.phimin;
    t.theta = Radians(thetamax);
    t.rows = t.cols = n;
    DrawGrid(w, n, n, t);
}

}  // namespace

void TessellateTorus(float rmajor, float rminor, float phimin, float phimax, float thetamax, int n,
                     SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Bounded, sink);
    Ring t;
    DrawRing(t, rmajor, rminor, phimin, phimax, thetamax, n, w);
}

void TessellateSqTorus(float rmajor, float rminor, float e1, float e2, float phimin, float phimax,
                       float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Plain, sink);
    Ring t;
    t.superquadric(e1, e2);
    DrawRing(t, rmajor, rminor, phimin, phimax, thetamax, n, w);
}

void TessellateCone(float height, float radius, float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Bounded, sink);
    float theta = Radians(thetamax);
    // The slope of the normal. A flat cone (height 0) has the normal of its
    // plane instead of an infinite or undefined slope.
    float nz = 0, nscale = 1;
    if (height != 0) {
        nz = radius / height;
    } else {
        nscale = 0;
        nz = std::signbit(height) != std::signbit(radius) ? -1.0f : 1.0f;
    }
    Corner c0, c1, c2, c3;
    auto at = [&](int i, bool apex, Corner& c) {
        float t = theta * Fraction(i, n);
        float ct = Cos(t), st = Sin(t);
        if (apex) {
            c.x = c.y = 0;
            c.z = height;
        } else {
            c.x = radius * ct;
            c.y = radius * st;
            c.z = 0;
        }
        c.nx = nscale * ct;
        c.ny = nscale * st;
        c.nz = nz;
        c.a = Fraction(i, n);
        c.b = apex ? 1.0f : 0.0f;
    };
    for (int i = 0; i < n; ++i) {
        at(i, true, c0);
        at(i, false, c1);
        at(i + 1, false, c2);
        at(i + 1, true, c3);
        float tc = CentreAngle(theta, i, n);
        w.quad(c0, c1, c2, c3, Vector3(nscale * Cos(tc), nscale * Sin(tc), nz));
    }
}

void TessellateCylinder(float radius, float zmin, float zmax, float thetamax, int n, SurfaceQuads& sink) {
    DrawCylinder(radius, zmin, zmax, Radians(thetamax), n, sink);
}

void TessellateDisk(float height, float radius, float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(false, Fractions::Bounded, sink);
    float theta = Radians(thetamax);
    Vector3 face(0, 0, thetamax > 0 ? 1.0f : -1.0f);
    // Texture fraction b: 1 at the centre, 0 on the rim.
    Corner c0, c1, c2, c3;
    for (int i = 0; i < n; ++i) {
        float t0 = theta * Fraction(i, n), t1 = theta * Fraction(i + 1, n);
        c0 = Corner{};
        c0.z = height;
        c0.a = Fraction(i, n);
        c0.b = 1;
        c1 = Corner{};
        c1.x = radius * Cos(t0);
        c1.y = radius * Sin(t0);
        c1.z = height;
        c1.a = Fraction(i, n);
        c2 = Corner{};
        c2.x = radius * Cos(t1);
        c2.y = radius * Sin(t1);
        c2.z = height;
        c2.a = Fraction(i + 1, n);
        c3 = c0;
        c3.a = Fraction(i + 1, n);
        w.quad(c0, c1, c2, c3, face);
    }
}

TubeAxis TubeAxisOf(const Point3& p1, const Point3& p2) {
    Vector3 d = p2 - p1;
    float len = static_cast<float>(std::sqrt(static_cast<double>(d.x * d.x + d.y * d.y + d.z * d.z)));
    // Direction cosine of the axis; a zero-length (or non-finite) tube keeps
    // the z axis instead of turning by acos(NaN).
    float cz = d.z / len;
    if (!(cz >= -1)) cz = cz < -1 ? -1.0f : 1.0f;
    if (cz > 1) cz = 1;
    TubeAxis axis;
    axis.azimuth = static_cast<float>(std::atan2(static_cast<double>(d.y), static_cast<double>(d.x)) * 180 /
                                      kPi);
    axis.tilt = static_cast<float>(std::acos(static_cast<double>(cz)) * 180 / kPi);
    axis.length = len;
    return axis;
}

void ApplyTubeFrame(TransformState& xf, const Point3& p1, const TubeAxis& axis) {
    xf.translate(Vector3(p1.x, p1.y, p1.z));
    xf.rotateXY(axis.azimuth);
    xf.rotateZX(axis.tilt);
}

void TessellateHyperboloid(const Point3& p1, const Point3& p2, float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Bounded, sink);
    float theta = Radians(thetamax);
    // p1 and p2 turned about z by the angle t, with their normals.
    struct Turned {
        Corner q1, q2;
    };
    auto turn = [&](int i, Turned& out) {
        float t = theta * Fraction(i, n);
        float ct = Cos(t), st = Sin(t);
        auto rot = [&](const Point3& p, Corner& q) {
            q.x = p.x * ct - p.y * st;
            q.y = p.x * st + p.y * ct;
            q.z = p.z;
        };
        rot(p1, out.q1);
        rot(p2, out.q2);
        float dx = out.q2.x - out.q1.x, dy = out.q2.y - out.q1.y, dz = out.q2.z - out.q1.z;
        for (Corner* q : {&out.q1, &out.q2}) {
            q->nx = -q->x * dz;
            q->ny = -q->y * dz;
            q->nz = q->x * dx + q->y * dy;
            q->a = Fraction(i, n);
        }
        out.q1.b = 0;
        out.q2.b = 1;
    };
    Turned prev, cur;
    turn(0, prev);
    for (int i = 1; i <= n; ++i) {
        turn(i, cur);
        Vector3 face((prev.q1.nx + prev.q2.nx + cur.q2.nx + cur.q1.nx) / 4.0f,
                     (prev.q1.ny + prev.q2.ny + cur.q2.ny + cur.q1.ny) / 4.0f,
                     (prev.q1.nz + prev.q2.nz + cur.q2.nz + cur.q1.nz) / 4.0f);
        w.quad(prev.q1, prev.q2, cur.q2, cur.q1, face);
        prev = cur;
    }
}

void TessellateParaboloid(float rmax, float zmin, float zmax, float thetamax, int n, SurfaceQuads& sink) {
    SurfaceWriter w(true, Fractions::Plain, sink);
    if (!(zmin <= zmax) || !(zmax >= 0)) return;
    // A paraboloid of no radius or no height has no area (and its formulas
    // would divide by zero).
    if (rmax == 0 || zmax == 0) return;
    if (zmin < 0) zmin = 0;
    int rows = n / 2, cols = n;
    float theta = Radians(thetamax);
    float r0 = rmax * static_cast<float>(std::sqrt(static_cast<double>(zmin / zmax)));
    float nz = -rmax / (2 * zmax);
    float zspan = zmax - zmin;
    auto ring = [&](int i, float& r, float& z) {
        r = static_cast<float>(i) * (rmax - r0) / static_cast<float>(rows) + r0;
        float q = r / rmax;
        z = zmax * (q * q);
    };
    auto at = [&](float r, float z, int j, Corner& c) {
        float t = theta * Fraction(j, cols);
        c.x = r * Cos(t);
        c.y = r * Sin(t);
        c.z = z;
        c.nx = c.x;
        c.ny = c.y;
        c.nz = nz;
        c.a = Fraction(j, cols);
        c.b = zspan > 0 ? (z - zmin) / zspan : 0.0f;
    };
    Corner c0, c1, c2, c3;
    for (int i = 1; i <= rows; ++i) {
        float ra, za, rb, zb;
        ring(i - 1, ra, za);
        ring(i, rb, zb);
        float s = rmax * static_cast<float>(std::sqrt(static_cast<double>((za + zb) / (2 * zmax))));
        for (int j = 1; j <= cols; ++j) {
            at(ra, za, j - 1, c0);
            at(ra, za, j, c1);
            at(rb, zb, j, c2);
            at(rb, zb, j - 1, c3);
            float tc = CentreAngle(theta, j - 1, cols);
            w.quad(c0, c1, c2, c3, Vector3(s * Cos(tc), s * Sin(tc), nz));
        }
    }
}

}  // namespace kx
