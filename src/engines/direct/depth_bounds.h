// Upper bounds of the direct engine's depth buffer over tiles of 8 x 8
// pixels. A polygon whose vertices all lie farther than the bound of every
// tile it may store into cannot pass a single depth test there: it is not
// scanned at all, and the image is the same to the byte.
//
// A bound may lie above its tile's greatest depth, never below it. The fill
// only lowers depths: after it stores into a tile the tile's bound is stale,
// and is lowered to the tile's greatest depth when a polygon is next tested
// against it. A store without the depth test (DirectState::plotPixel) raises
// the bound. A pixel holding NaN is left out: no depth test can pass there.
#pragma once

#include <cstdint>
#include <vector>

#include "engines/direct/vertex_layout.h"

namespace kx {

// The tiles a polygon's spans may store into (inclusive ranges), and a
// depth below every depth its pixels can be given, rounding included.
struct PolygonReach {
    int tileX0 = 0, tileX1 = -1, tileY0 = 0, tileY1 = -1;
    float nearest = 0;
    bool empty() const { return tileX0 > tileX1 || tileY0 > tileY1; }
};

class DepthBounds {
public:
    static constexpr int kTileShift = 3;
    static constexpr int kTile = 1 << kTileShift;

    // For an image of width x height, every bound z; throws std::bad_alloc
    // as the depth buffer's own allocation does.
    void allocate(int width, int height, float z);
    void release();
    void clear(float z);
    bool ready() const { return !bounds_.empty(); }

    // A store of z at pixel (x, y) that may raise its depth.
    void raise(int x, int y, float z) {
        if (bounds_.empty()) return;
        float& b = bounds_[static_cast<size_t>(y >> kTileShift) * static_cast<size_t>(columns_) +
                           static_cast<size_t>(x >> kTileShift)];
        if (z > b) b = z;
    }

    // The reach of the polygon v[0..n) (device coordinates) inside rows
    // rowFirst..rowEnd-1, which begin and end on tile rows or the image's
    // last row.
    PolygonReach reach(const AttributeVertex* v, int n, int rowFirst, int rowEnd) const;
    // True when no pixel the reach covers can pass the depth test; the
    // bounds of stale tiles it looks at are lowered to their greatest depths
    // in depth (width * height, row-major) first.
    bool hides(const float* depth, const PolygonReach& r);
    // The fill stored depths into the reach: its tiles' bounds are stale.
    void stored(const PolygonReach& r);

private:
    std::vector<float> bounds_;    // columns_ * rows_, row-major
    std::vector<uint8_t> stale_;   // per tile: stored into since its bound was found
    int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
};

}  // namespace kx
