// Scan conversion of the direct engine's clipped, projected polygons: an
// edge list per row, spans filled left to right with the depth test,
// attributes interpolated in perspective, and every covered pixel shaded by
// the current material (inlined for the four known ones).
#pragma once

#include "engines/direct/vertex_layout.h"

namespace kx {

struct DirectPipeline;

// One polygon edge in the scan converter.
struct EdgeRecord {
    int last = 0;   // last scanline the edge covers
    int next = -1;  // next record in its list, -1 at the end
    float cur[kVertexFloats] = {};
    float inc[kVertexFloats] = {};
};

// Fills the state's clipped[0..clippedCount) (device coordinates) into the
// display's image, shaded by the current material.
void FillPolygon(DirectPipeline& p);

}  // namespace kx
