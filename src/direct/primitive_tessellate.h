// Tessellation of the direct engine's solid primitives into quadrilaterals.
//
// Each tessellator builds the pipeline layout (directState().layout: normal
// when the surface has one, texture coordinates when a map is current, then
// position), evaluates the surface at the corners of its parameter grid in
// object space and hands every quadrilateral to a vertex sink, four
// vertices per quadrilateral, the fourth with last = true. Before the fourth
// vertex it sets directState().face to the object-space normal at the centre
// of the quadrilateral. The engine's sink is PolygonVertex; tests record.
#pragma once

#include "direct/pipeline.h"

namespace kx {

// Receives one object-space vertex of the polygon being built.
using VertexSink = int (*)(const AttributeVertex& v, bool last);

// The tessellation resolution actually used: the Divisions option clamped
// to 0 .. kMaxDivisions. Negative values draw nothing; larger values are
// treated as kMaxDivisions so that a hostile option cannot make the grid
// arithmetic overflow or the work grow without limit. The option keeps the
// value it was given.
#ifdef KX_FUZZ_BUILD
constexpr int kMaxDivisions = 16;  // fuzzing builds: every run stays short
#else
constexpr int kMaxDivisions = 1024;
#endif
inline int TessellationDivisions(int divisions) {
    if (divisions < 0) return 0;
    return divisions > kMaxDivisions ? kMaxDivisions : divisions;
}

// Degrees to radians, held in single precision.
inline float Radians(float degrees) { return static_cast<float>(degrees * 3.141592653589793 / 180); }

// The primitives; n is the tessellation resolution (see above).
void TessellateCube(VertexSink sink);
void TessellateSphere(float radius, float zmin, float zmax, float thetamax, int n, VertexSink sink);
void TessellateCone(float height, float radius, float thetamax, int n, VertexSink sink);
void TessellateCylinder(float radius, float zmin, float zmax, float thetamax, int n, VertexSink sink);
void TessellateDisk(float height, float radius, float thetamax, int n, VertexSink sink);
// The cylinder of the given radius from p1 to p2: drawn under the current
// transform moved to p1 and turned so that z runs along p2 - p1; the
// transform is restored before returning.
void TessellateTube(const Point3& p1, const Point3& p2, float radius, int n, VertexSink sink);
void TessellateHyperboloid(const Point3& p1, const Point3& p2, float thetamax, int n, VertexSink sink);
void TessellateParaboloid(float rmax, float zmin, float zmax, float thetamax, int n, VertexSink sink);
void TessellateTorus(float rmajor, float rminor, float phimin, float phimax, float thetamax, int n,
                     VertexSink sink);
// e1 is the exponent along the latitude, e2 along the longitude.
void TessellateSqSphere(float radius, float e1, float e2, float zmin, float zmax, float thetamax, int n,
                        VertexSink sink);
void TessellateSqTorus(float rmajor, float rminor, float e1, float e2, float phimin, float phimax,
                       float thetamax, int n, VertexSink sink);

}  // namespace kx
