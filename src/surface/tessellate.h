// Tessellation of the solid primitives into quadrilaterals, shared by the
// engines that draw them: the direct engine scan-converts the quadrilaterals,
// the ray tracer traces them.
//
// Each tessellator first tells its receiver what its vertices carry
// (begin), then evaluates the surface at the corners of its parameter grid in
// object space and hands every quadrilateral over with the object-space
// normal at its centre (the face normal). A corner's values depend on its
// parameters alone, however many quadrilaterals share it.
#pragma once

#include "core/limits.h"
#include "core/math.h"
#include "core/transform.h"

namespace kx {

// The tessellation resolution actually used: the Divisions option clamped
// to 0 .. kMaxDivisions. Negative values draw nothing; larger values are
// treated as kMaxDivisions so that a hostile option cannot make the grid
// arithmetic overflow or the work grow without limit. The option keeps the
// value it was given.
inline int TessellationDivisions(int divisions) {
    if (divisions < 0) return 0;
    return divisions > kMaxDivisions ? kMaxDivisions : divisions;
}

// Degrees to radians, held in single precision.
inline float Radians(float degrees) { return static_cast<float>(degrees * kPi / 180); }

// One grid corner: object-space position, normal and texture fractions.
struct SurfacePoint {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    float a = 0, b = 0;
};

// How a surface's texture fractions become texture coordinates.
enum class TextureFractions {
    None,     // the surface has no texture coordinates
    Bounded,  // through the MapBound scale and offset
    Plain,    // as they are
};

// Receives the quadrilaterals of one surface.
class SurfaceQuads {
public:
    virtual ~SurfaceQuads() = default;
    // Called once at the start of every surface, before any quadrilateral
    // (also for a surface that turns out to have none). withNormal: the
    // corners carry a normal.
    virtual void begin(bool withNormal, TextureFractions fractions) = 0;
    // Corners in drawing order, and the face normal.
    virtual void quad(const SurfacePoint& c0, const SurfacePoint& c1, const SurfacePoint& c2, const SurfacePoint& c3,
                      const Vector3& face) = 0;
    // The quadrilaterals of one row of a grid, in order: the one of column
    // j has the corners lower[j], lower[j + 1], upper[j + 1], upper[j] and
    // the face normal faces[j]. The next row's lower corners are this one's
    // upper corners. By default each quadrilateral goes to quad.
    virtual void row(const SurfacePoint* lower, const SurfacePoint* upper, int cols, const Vector3* faces);
};

// The primitives; n is the tessellation resolution (see above).
void TessellateCube(SurfaceQuads& out);
void TessellateSphere(float radius, float zmin, float zmax, float thetamax, int n, SurfaceQuads& out);
void TessellateCone(float height, float radius, float thetamax, int n, SurfaceQuads& out);
void TessellateCylinder(float radius, float zmin, float zmax, float thetamax, int n, SurfaceQuads& out);
void TessellateDisk(float height, float radius, float thetamax, int n, SurfaceQuads& out);
void TessellateHyperboloid(const Point3& p1, const Point3& p2, float thetamax, int n, SurfaceQuads& out);
void TessellateParaboloid(float rmax, float zmin, float zmax, float thetamax, int n, SurfaceQuads& out);
void TessellateTorus(float rmajor, float rminor, float phimin, float phimax, float thetamax, int n,
                     SurfaceQuads& out);
// e1 is the exponent along the latitude, e2 along the longitude.
void TessellateSqSphere(float radius, float e1, float e2, float zmin, float zmax, float thetamax, int n,
                        SurfaceQuads& out);
void TessellateSqTorus(float rmajor, float rminor, float e1, float e2, float phimin, float phimax,
                       float thetamax, int n, SurfaceQuads& out);

// A tube from p1 to p2 is the cylinder of radius r from z = 0 to z = length
// drawn under the current transform moved to p1, turned about z by the
// azimuth and then about y by the tilt (both in degrees).
struct TubeAxis {
    float azimuth = 0, tilt = 0, length = 0;
};
TubeAxis TubeAxisOf(const Point3& p1, const Point3& p2);
// Applies the tube's move and turns to the transform; the caller keeps the
// matrices it had and puts them back after drawing the cylinder (nothing is
// pushed, so nothing can fail).
void ApplyTubeFrame(TransformState& xf, const Point3& p1, const TubeAxis& axis);

}  // namespace kx
