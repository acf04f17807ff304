// The direct engine's solid primitives: the shared tessellations
// (surface/tessellate.h) turned into pipeline vertices.
//
// Each tessellator builds the pipeline layout (directState().layout: normal
// when the surface has one, texture coordinates when a map is current, then
// position), evaluates the surface at the corners of its parameter grid in
// object space and hands every quadrilateral to a vertex sink, four
// vertices per quadrilateral, the fourth with last = true. Before the fourth
// vertex it sets directState().face to the object-space normal at the centre
// of the quadrilateral. The engine's sink is PolygonVertex; tests record.
#pragma once

#include "engines/direct/vertex_layout.h"
#include "surface/tessellate.h"

namespace kx {

// Receives one object-space vertex of the polygon being built.
using VertexSink = int (*)(const AttributeVertex& v, bool last);

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
