// The polygon entries of the direct engine's pipeline: every primitive that
// draws a surface hands its polygons over here, a vertex at a time; the
// last vertex sends the polygon through clipping, projection and scan
// conversion (or the outline, in wireframe).
//
// How a primitive draws a polygon:
//   1. p.state.layout.reset(); append the attributes it supplies
//      (VertexAttribute::Position first or in any order); finalize().
//   2. For each vertex: fill floats 0..3 with the object-space position
//      (x, y, z, 1) and the attribute slots at the layout's offsets (normal
//      in object space, texture coordinates in 0..1 units), then call
//      PolygonVertex(p, v, last, face) with the polygon's flat normal in
//      object space ({normal, true}); it is read with the last vertex.
// Pre-transformed vertices (screen position in 0..3, world-space attributes)
// go to TransformedVertex instead, with a world-space face normal
// (objectSpace = false).
#pragma once

#include "engines/direct/pipeline.h"
#include "engines/direct/vertex_layout.h"

namespace kx {

// Object-space vertex (see above). Returns 0, or 1 when the polygon buffer
// is full and the vertex was dropped. The last vertex submits the polygon.
int PolygonVertex(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face);
// What PolygonVertex does to an object-space vertex before it takes it, in
// place: a vertex used by several polygons can be transformed once and
// handed to TransformedVertex for each.
void TransformObjectVertex(DirectPipeline& p, AttributeVertex& v);
// Vertex whose screen position and world-space attributes are already set.
int TransformedVertex(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face);

// A vertex shared by several polygons of one surface (the layout, the
// transforms and the view the same for all of them), with what their
// clipping and projection need of it worked out once.
struct SharedVertex {
    AttributeVertex vertex;     // as TransformObjectVertex leaves it
    AttributeVertex projected;  // in device coordinates, when inside
    bool inside = false;        // finite, inside the view volume, and finite on the screen
};
// Works out projected and inside for v.vertex.
void ShareVertex(DirectPipeline& p, SharedVertex& v);
// The polygon of the n vertices, as TransformedVertex for each (the last
// submitting it) would draw it; a polygon whose vertices are all inside is
// drawn from their projections without clipping or projecting it again.
void SharedPolygon(DirectPipeline& p, const SharedVertex* const* v, int n, const FaceNormal& face);

}  // namespace kx
