#include "engines/direct/depth_bounds.h"

#include <cmath>
#include <cstddef>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kx {

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// The greatest depth of the pixels [x0, x1) x [y0, y1) that are not NaN.
float GreatestDepth(const float* depth, int width, int x0, int x1, int y0, int y1) {
    const float* row = depth + static_cast<size_t>(y0) * static_cast<size_t>(width);
#if defined(__SSE2__)
    if (x1 - x0 == DepthBounds::kTile) {
        // max(d, m) is m where d is NaN
        __m128 m0 = _mm_set1_ps(-kInfinity), m1 = m0;
        for (int y = y0; y < y1; ++y, row += width) {
            m0 = _mm_max_ps(_mm_loadu_ps(row + x0), m0);
            m1 = _mm_max_ps(_mm_loadu_ps(row + x0 + 4), m1);
        }
        __m128 m = _mm_max_ps(m0, m1);
        m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
        m = _mm_max_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(m);
    }
#endif
    float greatest = -kInfinity;
    for (int y = y0; y < y1; ++y, row += width)
        for (int x = x0; x < x1; ++x)
            if (row[x] > greatest) greatest = row[x];
    return greatest;
}

}  // namespace

void DepthBounds::allocate(int width, int height, float z) {
    const int columns = (width + kTile - 1) >> kTileShift, rows = (height + kTile - 1) >> kTileShift;
    bounds_.assign(static_cast<size_t>(columns) * static_cast<size_t>(rows), z);
    stale_.assign(bounds_.size(), 0);
    width_ = width;
    height_ = height;
    columns_ = columns;
    rows_ = rows;
}

void DepthBounds::release() {
    bounds_.clear();
    bounds_.shrink_to_fit();
    stale_.clear();
    stale_.shrink_to_fit();
    width_ = height_ = columns_ = rows_ = 0;
}

void DepthBounds::clear(float z) {
    bounds_.assign(bounds_.size(), z);
    stale_.assign(stale_.size(), 0);
}

PolygonReach DepthBounds::reach(const AttributeVertex* v, int n, int rowFirst, int rowEnd) const {
    PolygonReach r;
    if (n <= 0 || rowFirst >= rowEnd || bounds_.empty()) return r;
    // The least and greatest x, y and z, and whether any is NaN.
    bool unordered = false;
#if defined(__SSE2__)
    __m128 least = _mm_loadu_ps(v[0].v), greatest = least, nan = _mm_cmpunord_ps(least, least);
    for (int i = 1; i < n; ++i) {
        const __m128 p = _mm_loadu_ps(v[i].v);
        least = _mm_min_ps(p, least);
        greatest = _mm_max_ps(p, greatest);
        nan = _mm_or_ps(nan, _mm_cmpunord_ps(p, p));
    }
    unordered = (_mm_movemask_ps(nan) & 7) != 0;
    alignas(16) float low[4], high[4];
    _mm_store_ps(low, least);
    _mm_store_ps(high, greatest);
    const float minX = low[0], minY = low[1], minZ = low[2], maxX = high[0], maxY = high[1], maxZ = high[2];
#else
    float minX = v[0][0], maxX = minX, minY = v[0][1], maxY = minY, minZ = v[0][2], maxZ = minZ;
    for (int i = 0; i < n; ++i) {
        const float x = v[i][0], y = v[i][1], z = v[i][2];
        unordered = unordered || x != x || y != y || z != z;
        minX = x < minX ? x : minX;
        maxX = x > maxX ? x : maxX;
        minY = y < minY ? y : minY;
        maxY = y > maxY ? y : maxY;
        minZ = z < minZ ? z : minZ;
        maxZ = z > maxZ ? z : maxZ;
    }
#endif
    // Coordinates far beyond the image, or NaN: every tile of the rows, and
    // no depth to go by.
    constexpr float kLimit = 1 << 24;
    if (unordered ||
        !(minX > -kLimit && maxX < kLimit && minY > -kLimit && maxY < kLimit && minZ > -kLimit && maxZ < kLimit)) {
        r.tileX0 = 0;
        r.tileX1 = columns_ - 1;
        r.tileY0 = rowFirst >> kTileShift;
        r.tileY1 = (rowEnd - 1) >> kTileShift;
        r.nearest = -kInfinity;
        return r;
    }
    // The rows the scan converter fills lie between the vertices' (from
    // ceil(min y) up to ceil(max y), that one left out).
    int y0 = static_cast<int>(minY), y1 = static_cast<int>(maxY);
    y0 = y0 > rowFirst ? y0 : rowFirst;
    y1 = y1 < rowEnd - 1 ? y1 : rowEnd - 1;
    if (y0 > y1) return r;
    // An edge's x and a pixel's depth are reached from the vertices by
    // stepping along the edge a row at a time, then along the span a column
    // at a time: fewer steps than the polygon has rows and columns, each
    // rounded by at most half a unit in the last place of a value no greater
    // than 3 |x| or 3 |z|. The margins are several times that, and a column
    // more for the columns.
    const float rows = maxY - minY + 64;
    const float steps = rows + (maxX - minX);
    const float spanX = -minX > maxX ? -minX : maxX;
    const float spanZ = -minZ > maxZ ? -minZ : maxZ;
    const float columnMargin = 2 + spanX * rows * 0x1p-20f;
    int x0 = static_cast<int>(minX - columnMargin), x1 = static_cast<int>(maxX + columnMargin);
    x0 = x0 > 0 ? x0 : 0;
    x1 = x1 < width_ - 1 ? x1 : width_ - 1;
    if (x0 > x1) return r;
    r.tileX0 = x0 >> kTileShift;
    r.tileX1 = x1 >> kTileShift;
    r.tileY0 = y0 >> kTileShift;
    r.tileY1 = y1 >> kTileShift;
    r.nearest = minZ - spanZ * steps * 0x1p-20f;
    return r;
}

bool DepthBounds::hides(const float* depth, const PolygonReach& r) {
    for (int ty = r.tileY0; ty <= r.tileY1; ++ty) {
        const size_t first = static_cast<size_t>(ty) * static_cast<size_t>(columns_);
        for (int tx = r.tileX0; tx <= r.tileX1; ++tx) {
            float& bound = bounds_[first + static_cast<size_t>(tx)];
            if (bound <= r.nearest) continue;
            uint8_t& stale = stale_[first + static_cast<size_t>(tx)];
            if (!stale) return false;
            const int x0 = tx << kTileShift, x1 = x0 + kTile < width_ ? x0 + kTile : width_;
            const int y0 = ty << kTileShift, y1 = y0 + kTile < height_ ? y0 + kTile : height_;
            bound = GreatestDepth(depth, width_, x0, x1, y0, y1);
            stale = 0;
            if (!(bound <= r.nearest)) return false;
        }
    }
    return true;
}

void DepthBounds::stored(const PolygonReach& r) {
    for (int ty = r.tileY0; ty <= r.tileY1; ++ty) {
        uint8_t* row = stale_.data() + static_cast<size_t>(ty) * static_cast<size_t>(columns_);
        for (int tx = r.tileX0; tx <= r.tileX1; ++tx) row[tx] = 1;
    }
}

}  // namespace kx
