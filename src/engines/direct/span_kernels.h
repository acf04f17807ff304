// The span filler's pixels several at a time: depth test, perspective
// division and the four materials over the lanes of SSE2 (4 pixels), AVX2
// (8 pixels) or AVX-512 (16 pixels) registers, storing straight into a
// frame buffer row.
//
// Every lane gets the very operations the scalar pixel loop of
// scan_convert.cpp gives its pixel, in the same order and in single
// precision (the dot products of core/math.h round to float before they
// widen; 2 * dot rounds back exactly), so the bytes and depths are the
// same bit for bit:
// - the attributes of successive pixels come from the same chain of
//   additions v += d, computed serially into the lanes;
// - square roots and quotients are the exact ones (no estimates);
// - the specular power is the scalar SpecularPower, called lane by lane;
// - point and far lights are evaluated in the lanes; any other light kind
//   lane by lane through the scalar LightTerm.
// One polygon's span never covers a pixel twice, so the depths of a group
// of pixels may be tested together.
#pragma once

#include <cstdint>

#include "core/math.h"
#include "engines/direct/materials.h"

namespace kx {

struct DirectState;

// How spans are shaded: a pixel at a time, or in the lanes of SSE2, AVX2 or
// AVX-512 registers.
enum class SpanPath { Scalar, Sse2, Avx2, Avx512 };

// The widest path the processor runs (Scalar where neither is built).
SpanPath FastestSpanPath();
// Whether path can run here.
bool SpanPathAvailable(SpanPath path);

// The slots of a queued pixel: its depth and at most 10 attributes, in
// whole registers of 4, 8 or 16.
constexpr int kQueueSlots = 16;
// The most lanes of any path (AVX-512: 16 floats), the width of the lane
// arrays below; a path uses the first of them.
constexpr int kMaxLanes = 16;

struct SpanMaterial;
struct SpanPixels;
struct LaneQueue;
using QueueSpanFunction = void (*)(const SpanMaterial&, const float* from, const float* to, float dx, float offset,
                                   SpanPixels&, LaneQueue&);
using FlushFunction = void (*)(const SpanMaterial&, LaneQueue&);

// What the lanes read besides the span's attributes, set once per polygon.
struct SpanMaterial {
    Material material = Material::Matte;
    SpanPath path = SpanPath::Scalar;
    int position = -1;  // offsets of the attributes read, -1 when not read
    int color = -1;
    int normal = -1;
    bool doubleSided = false;
    int exponent = 0;
    ColorRGB surfaceColor;   // the current colour
    bool paintedBase = false;  // painted plastic without a map: its texture colour is the base colour
    ColorRGB ambient;        // ka times the ambient light
    ColorRGB specularColor;  // ks times the specular colour
    float kd = 0, ks = 0;
    Vector3 faceNormal;
    Point3 eye;
    const ShadingLight* lights = nullptr;
    int lightCount = 0;
    int rows = 0;  // attributes in the lanes: the perspective factor, then those read
    // Where a queued pixel's slots come from in the span's attributes: the
    // depth, then the rows (the rest: the first attribute, never read).
    alignas(64) int32_t slot[kQueueSlots];  // set by prepare

    // For the state's current surface under lights, with material m and the
    // given path; noMap: no texture map is current.
    void prepare(const DirectState& s, const ShadingLights& lights, Material m, bool noMap, SpanPath p);

    // The lanes' functions for material, rows and path (null for Scalar),
    // set by prepare: the depth test and queueing of a span, and the
    // shading of the pixels queued.
    QueueSpanFunction queueSpan = nullptr;
    FlushFunction flush = nullptr;
    void chooseFunctions();

    // Whether the lanes shade a pixel under o exactly as under this, to the
    // bit: every value they read the same (the face normal only when it is
    // read).
    bool shadesAs(const SpanMaterial& o) const;
    // Whether the lanes read the face normal n as faceNormal (or none).
    bool facing(const Vector3& n) const;
};

// The pixels [xs, xe) of one row: their depths, and the frame buffer row
// that receives the bytes of those below rowEnd (row null: none). What the
// depth test gives back: the pixels shaded, and the first and last pixel
// stored in the row (writtenLast < 0: none). colors, when set, receives the
// colour of each pixel shaded, before its conversion to bytes (three floats
// at 3 * (x - xs)).
struct SpanPixels {
    int xs = 0, xe = 0;
    float* depthRow = nullptr;
    uint8_t* row = nullptr;
    int rowEnd = 0;
    float* colors = nullptr;
    uint64_t shaded = 0;
    int writtenFirst = 0, writtenLast = -1;
};

// The pixels of a polygon that passed the depth test, waiting to be shaded
// together: their attributes pixel by pixel (the depth, then the rows of
// SpanMaterial, in whole registers), where their bytes go (null: nowhere)
// and, when kept, their colours.
// Only the first count entries are ever read: the rest is left as it is.
struct LaneQueue {
    alignas(64) float pixel[kMaxLanes][kQueueSlots];
    uint8_t* bytes[kMaxLanes];
    float* colors[kMaxLanes];
    bool keepColors = false;
    int count = 0;
};

// The depth test of the span between the attributes from[] and to[] (the
// kVertexFloats floats of a pipeline vertex each), dx columns apart, whose
// pixel xs lies offset columns past from: the span filler's attributes at
// xs are v = from + d * offset, advancing by d = (to - from) / dx per
// pixel, each worked out here for the slots the lanes read. Each pixel that
// passes has its depth stored and is queued in q, shaded and stored with
// the path m.path (Sse2, Avx2 or Avx512, which must be available) when q is
// full. Its bytes are stored by then, or by FlushSpanLanes.
inline void ShadeSpanLanes(const SpanMaterial& m, const float* from, const float* to, float dx, float offset,
                           SpanPixels& px, LaneQueue& q) {
    q.keepColors = px.colors != nullptr;
    m.queueSpan(m, from, to, dx, offset, px, q);
}
// Shades and stores the pixels left in q.
inline void FlushSpanLanes(const SpanMaterial& m, LaneQueue& q) { m.flush(m, q); }

// The pixels of polygons filled one after another under the same material,
// waiting together for their lanes: a polygon of a few pixels then leaves
// the lanes full for the next rather than shaded nearly empty. A pixel's
// depth is stored when it is queued and its bytes when it is shaded, later
// pixels after earlier ones: the bytes are those of filling the polygons
// one at a time. For polygons under the same lights (those of one batch of
// the bins); flushed before a polygon under another material, and before
// anything reads the image.
struct PendingLanes {
    SpanMaterial material;
    LaneQueue queue;
    bool open = false;  // material set, pixels perhaps queued
    int attributes = -1;  // the number of the surface attributes it was set from (SpanTarget)
    void flush() {
        if (!open) return;
        FlushSpanLanes(material, queue);
        open = false;
    }
    // Whether a polygon under the surface attributes numbered attributes
    // (-1: none) with the face normal n shades as the pixels waiting: the
    // same attributes, and the same normal where it is read.
    bool holds(int numbered, const Vector3& n) const {
        return open && numbered >= 0 && attributes == numbered && material.facing(n);
    }
    // Pixels under m, of the attributes numbered so: those waiting go first
    // unless m shades as their material.
    void take(const SpanMaterial& m, int numbered) {
        if (!open || !material.shadesAs(m)) {
            flush();
            material = m;
            open = true;
        }
        attributes = numbered;
    }
};

// Lane memory of a group of pixels for the calls made lane by lane.
struct LaneBlock {
    alignas(64) float P[3][kMaxLanes];
    alignas(64) float N[3][kMaxLanes];
    alignas(64) float R[3][kMaxLanes];
    alignas(64) float D[3][kMaxLanes];
    alignas(64) float S[3][kMaxLanes];
    alignas(64) float sp[kMaxLanes];  // specular base in, specular power out
};

// LightTerm of light l for the lanes set in active.
void LightByLane(const ShadingLight& l, int exponent, bool diffuse, bool specular, int active, LaneBlock& b);
// SpecularPower for the lanes set in active of sp (the specular bases in,
// their powers out).
void PowerByLane(int exponent, int active, float* sp);
inline void PowerByLane(int exponent, int active, LaneBlock& b) { PowerByLane(exponent, active, b.sp); }
// PowerByLane in AVX2 registers for the eight lanes sp[0..8) (32-byte
// aligned): only where the processor has AVX2.
void PowerLanesAvx2(int exponent, int active, float* sp);
inline void PowerLanesAvx2(int exponent, int active, LaneBlock& b) { PowerLanesAvx2(exponent, active, b.sp); }
// The same for all sixteen lanes, eight at a time: where the processor has
// AVX-512, and so AVX2.
inline void PowerLanesAvx512(int exponent, int active, LaneBlock& b) {
    if (active & 0xff) PowerLanesAvx2(exponent, active & 0xff, b.sp);
    if (active >> 8) PowerLanesAvx2(exponent, active >> 8, b.sp + 8);
}

}  // namespace kx
