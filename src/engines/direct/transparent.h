// The direct engine's transparent surfaces: those whose opacity (Opacity)
// is below 1, or with a vertex whose O value is. Their polygons are clipped,
// projected and scan-converted as they come, like any polygon, but each
// pixel they cover, once shaded, is kept here as a fragment (its depth, its
// colour and its opacity) instead of being stored. DrawTransparent, at the
// end of the world, lays the fragments of each pixel over what the image
// holds there, far to near (of equal depths, in the order they came), each
// of opacity a as a times its colour plus 1 - a times what lies behind it,
// leaving out those behind the depth the pixel ends with; the depth buffer
// stays as the opaque surfaces left it. The picture is thus the same
// whatever the order of the surfaces in the scene, as the ray tracer's.
//
// The fragments kept are bounded (kDirectTransparentFragments): a list
// full, or refused memory, is laid over the image there and starts again,
// so that the order holds within each part only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/math.h"
#include "engines/direct/vertex_layout.h"

namespace kx {

struct DirectPipeline;
struct DirectState;

// Whether the polygon of the n vertices v[0..n) (projected) lets what lies
// behind it show: the state's opacity is below 1, or an O value is.
bool SeenThrough(const DirectState& s, const AttributeVertex* const* v, int n);
// Scan-converts the polygon of the n vertices v[0..n) (projected), shaded
// with the state's attributes, into fragments kept for DrawTransparent.
void FillTransparent(DirectPipeline& p, const AttributeVertex* const* v, int n);
// Lays the fragments kept over the image, after the opaque polygons
// waiting for the threads, and forgets them.
void DrawTransparent(DirectPipeline& p);

class TransparentFragments {
public:
    struct Fragment {
        uint32_t pixel;  // y * width + x of the engine's image
        float depth;
        uint32_t order;  // the order it came in
        float a;         // opacity, 0..1
        ColorRGB color;
    };
    bool empty() const { return fragments_.empty(); }
    void clear();
    // Keeps a fragment; false, and nothing kept, when the list is full or
    // its memory is refused.
    bool add(uint32_t pixel, float depth, float a, const ColorRGB& color) {
        if (fragments_.size() == fragments_.capacity() && !grow()) return false;
        fragments_.push_back({pixel, depth, order_++, a, color});
        return true;
    }
    std::vector<Fragment>& fragments() { return fragments_; }
    // Room for a fragment a pixel of an image of `pixels` pixels, asked
    // for once: a layer over the image is kept without a copy (the pages
    // are had only as they are written).
    void expect(size_t pixels);

private:
    bool grow();

    std::vector<Fragment> fragments_;
    uint32_t order_ = 0;
};

}  // namespace kx
