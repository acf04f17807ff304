// Homogeneous clipping of the direct engine's polygons against the six
// planes of the view volume (0 <= x, y, z <= w), one plane after the other
// with every vertex passed on as it comes (no intermediate polygons).
#pragma once

#include "engines/direct/vertex_layout.h"

namespace kx {

struct DirectState;

// The state of one clipping plane while a polygon passes through.
struct ClipPlane {
    AttributeVertex first, last;
    bool seen = false;
};

// Clips polygon[0..n) into clipped[] (clippedCount; 0 when nothing is left).
void ClipPolygon(DirectState& s, int n);
// Whether v is inside every plane: a polygon of such vertices passes the
// clipper unchanged.
bool InsideViewVolume(const AttributeVertex& v);

}  // namespace kx
