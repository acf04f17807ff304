// The direct engine's solid primitives: the shared tessellations
// (surface/tessellate.h) turned into pipeline vertices.
//
// Each tessellator builds the pipeline layout (p.state.layout: normal when
// the surface has one, texture coordinates when a map is current, then
// position), evaluates the surface at the corners of its parameter grid in
// object space and hands every quadrilateral to a vertex sink, four
// vertices per quadrilateral, the fourth with last = true, each with the
// quadrilateral's face normal: the object-space normal at its centre. The
// engine's sink is PolygonVertex; tests record.
#pragma once

#include "engines/direct/pipeline.h"
#include "engines/direct/vertex_layout.h"
#include "surface/tessellate.h"

namespace kx {

// Receives one object-space vertex of the polygon being built, with the
// polygon's face normal.
using VertexSink = int (*)(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face);

// The primitives drawn through p; n is the tessellation resolution (see
// above).
void TessellateCube(DirectPipeline& p, VertexSink sink);
void TessellateSphere(DirectPipeline& p, float radius, float zmin, float zmax, float thetamax, int n,
                      VertexSink sink);
void TessellateCone(DirectPipeline& p, float height, float radius, float thetamax, int n, VertexSink sink);
void TessellateCylinder(DirectPipeline& p, float radius, float zmin, float zmax, float thetamax, int n,
                        VertexSink sink);
void TessellateDisk(DirectPipeline& p, float height, float radius, float thetamax, int n, VertexSink sink);
// The cylinder of the given radius from p1 to p2: drawn under the modelling
// transform moved to p1 and turned so that z runs along p2 - p1; the
// transform is restored before returning.
void TessellateTube(DirectPipeline& p, const Point3& p1, const Point3& p2, float radius, int n, VertexSink sink);
void TessellateHyperboloid(DirectPipeline& p, const Point3& p1, const Point3& p2, float thetamax, int n,
                           VertexSink sink);
void TessellateParaboloid(DirectPipeline& p, float rmax, float zmin, float zmax, float thetamax, int n,
                          VertexSink sink);
void TessellateTorus(DirectPipeline& p, float rmajor, float rminor, float phimin, float phimax, float thetamax,
                     int n, VertexSink sink);
// e1 is the exponent along the latitude, e2 along the longitude.
void TessellateSqSphere(DirectPipeline& p, float radius, float e1, float e2, float zmin, float zmax,
                        float thetamax, int n, VertexSink sink);
void TessellateSqTorus(DirectPipeline& p, float rmajor, float rminor, float e1, float e2, float phimin,
                       float phimax, float thetamax, int n, VertexSink sink);

}  // namespace kx
