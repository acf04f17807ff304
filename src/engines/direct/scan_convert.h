// Scan conversion of the direct engine's clipped, projected polygons: an
// edge list per row, spans filled left to right with the depth test,
// attributes interpolated in perspective, and every covered pixel shaded by
// the current material (inlined for the four known ones).
#pragma once

#include <cstdint>

#include "engines/direct/vertex_layout.h"

namespace kx {

class DepthBounds;
struct PendingLanes;
struct DirectPipeline;
struct DirectState;
struct FrameBuffer;
struct ShadingLights;
class TransparentFragments;
class DisplayDevice;

// One polygon edge in the scan converter.
struct EdgeRecord {
    int last = 0;   // last scanline the edge covers
    int next = -1;  // next record in its list, -1 at the end
    float cur[kVertexFloats] = {};
    float inc[kVertexFloats] = {};
};

// Where the spans of a polygon go: the image (depth buffer, device and its
// frame buffer) and the rows of it to fill, and the state the filling works
// with: its attributes are those shaded with, its fragment, texture
// derivatives, edge records and span table are the filler's own.
struct SpanTarget {
    DirectState& s;
    float* depth;  // s.width * s.height
    DisplayDevice& dev;
    FrameBuffer* frame;  // dev.frame(), marked written (FrameBuffer::markWritten)
    int rowFirst = 0, rowEnd = 0;
    // Per row, the first and last columns stored into the frame buffer, for
    // the device to be told later (DisplayDevice::spanWritten); null: it is
    // told of each span at once.
    int* writtenFirst = nullptr;
    int* writtenLast = nullptr;
    // The bounds of the depth buffer's tiles, kept as the polygons are
    // filled; a polygon they hide is passed over. Null: none kept.
    DepthBounds* bounds = nullptr;
    // Where the pixels of the four materials wait for their lanes across
    // polygons; null: each polygon's are shaded when it is filled.
    PendingLanes* pending = nullptr;
    // The number of the state's surface attributes, the same for the same
    // attributes while pending is used (a snapshot of the bins); -1: none.
    int attributes = -1;

    void spanWritten(int x0, int x1, int y);
};

// Fills the state's clipped[0..clippedCount) (device coordinates) into the
// display's image, shaded by the current material: at once on one thread,
// or binned for the engine's threads (DirectState::bins).
void FillPolygon(DirectPipeline& p);
// The same for the polygon of the n vertices v[0..n) (device coordinates,
// n at most kMaxPolygonVertices) of the state's surface (DirectState::surface).
void FillSurfacePolygon(DirectPipeline& p, const AttributeVertex* const* v, int n);

// Fills t.s.clipped[0..t.s.clippedCount) into rows rowFirst..rowEnd-1 of
// the target as FillPolygon would on one thread, shaded by t.s's material
// with the lights gathered; returns the pixels shaded.
uint64_t FillPolygonRows(SpanTarget& t, const ShadingLights& lights);
// Scan-converts the state's clipped[0..clippedCount) a pixel at a time,
// shaded by its shader function, into fragments kept (transparent.h);
// returns the pixels shaded.
uint64_t KeepPolygonFragments(DirectPipeline& p, TransparentFragments& kept);

}  // namespace kx
