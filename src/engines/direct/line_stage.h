// The line entries of the direct engine's pipeline: polylines a vertex at a
// time, clipped against the view volume, projected and drawn with the
// depth test, every pixel shaded.
//
// Polylines: LineVertex(p, v, draw) with object-space positions, or
// TransformedLineVertex(p, v, draw) for pre-transformed ones; draw = false
// starts a new path. The layout is the state's current one.
#pragma once

#include "engines/direct/pipeline.h"
#include "engines/direct/vertex_layout.h"

namespace kx {

// Object-space vertex; draw = false moves to it, true draws a segment from
// the previous vertex.
void LineVertex(DirectPipeline& p, const AttributeVertex& v, bool draw);
// The same for a vertex whose screen position and world attributes are set.
void TransformedLineVertex(DirectPipeline& p, const AttributeVertex& v, bool draw);
// A line between two projected vertices (device x, y, depth, perspective
// factor and attributes divided by w).
void DeviceLine(DirectPipeline& p, const AttributeVertex& a, const AttributeVertex& b);

}  // namespace kx
