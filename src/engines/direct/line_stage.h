// The line entries of the direct engine's pipeline: polylines a vertex at a
// time, clipped against the view volume, projected and drawn with the
// depth test, every pixel shaded.
//
// Polylines: LineVertex(v, draw) with object-space positions, or
// TransformedLineVertex(v, draw) for pre-transformed ones; draw = false
// starts a new path.
#pragma once

#include "engines/direct/vertex_layout.h"

namespace kx {

// Object-space vertex; draw = false moves to it, true draws a segment from
// the previous vertex.
void LineVertex(const AttributeVertex& v, bool draw);
// The same for a vertex whose screen position and world attributes are set.
void TransformedLineVertex(const AttributeVertex& v, bool draw);
// A line between two projected vertices (device x, y, depth, perspective
// factor and attributes divided by w).
void DeviceLine(const AttributeVertex& a, const AttributeVertex& b);

}  // namespace kx
