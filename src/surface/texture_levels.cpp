#include "surface/texture_levels.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

namespace kx {

namespace {

// The footprint of one reduced texel along one axis, in units of 1/n of a
// level-0 texel (n = texels of the reduced level along the axis, N = of
// level 0): texel i covers [i N, (i + 1) N), level-0 texel k covers
// [k n, (k + 1) n). Interior level-0 texels weigh n.
struct Footprint {
    int first = 0, last = 0;
    uint64_t firstWeight = 0, lastWeight = 0;
    uint64_t weight(int k, uint64_t n) const {
        return k == first ? firstWeight : k == last ? lastWeight : n;
    }
};

std::vector<Footprint> footprints(int N, int n) {
    std::vector<Footprint> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int64_t lo = static_cast<int64_t>(i) * N, hi = lo + N;
        Footprint& f = out[static_cast<size_t>(i)];
        f.first = static_cast<int>(lo / n);
        f.last = static_cast<int>((hi - 1) / n);
        if (f.first == f.last) {
            f.firstWeight = f.lastWeight = static_cast<uint64_t>(N);
        } else {
            f.firstWeight = static_cast<uint64_t>((f.first + 1) * static_cast<int64_t>(n) - lo);
            f.lastWeight = static_cast<uint64_t>(hi - f.last * static_cast<int64_t>(n));
        }
    }
    return out;
}

// Weighted sum of one row of level 0 over a horizontal footprint.
uint64_t rowSum(const uint8_t* row, const Footprint& f, uint64_t n) {
    if (f.first == f.last) return row[f.first] * f.firstWeight;
    uint64_t interior = 0;
    for (int k = f.first + 1; k < f.last; ++k) interior += row[k];
    return row[f.first] * f.firstWeight + interior * n + row[f.last] * f.lastWeight;
}

// One plane of a reduced level from the same plane of level 0: horizontal
// sums weighted vertically, divided by W0 * H0 with rounding to nearest and
// an exact half rounding down.
void reducePlane(const std::vector<uint8_t>& src, int W0, int H0, const std::vector<Footprint>& fx,
                 const std::vector<Footprint>& fy, std::vector<uint8_t>& dst, std::vector<uint64_t>& acc) {
    const uint64_t w = fx.size(), h = fy.size();
    const uint64_t area = static_cast<uint64_t>(W0) * static_cast<uint64_t>(H0);
    dst.assign(static_cast<size_t>(w * h), 0);
    for (size_t j = 0; j < h; ++j) {
        std::fill(acc.begin(), acc.end(), 0);
        const Footprint& fj = fy[j];
        for (int r = fj.first; r <= fj.last; ++r) {
            const uint64_t wy = fj.weight(r, h);
            const uint8_t* row = src.data() + static_cast<size_t>(r) * static_cast<size_t>(W0);
            for (size_t i = 0; i < w; ++i) acc[i] += wy * rowSum(row, fx[i], w);
        }
        uint8_t* out = dst.data() + j * w;
        for (size_t i = 0; i < w; ++i) out[i] = static_cast<uint8_t>((2 * acc[i] + area - 1) / (2 * area));
    }
}

}  // namespace

void BuildTextureLevels(TextureMap& map) {
    if (map.levels.empty()) return;
    const int W0 = map.levels[0].width, H0 = map.levels[0].height;
    if (W0 <= 0 || H0 <= 0) return;
    const int count = std::bit_width(static_cast<unsigned>(std::min(W0, H0)));
    map.levels.resize(static_cast<size_t>(count));
    const TextureLevel& base = map.levels[0];
    std::vector<uint64_t> acc;
    for (int L = 1; L < count; ++L) {
        TextureLevel& lv = map.levels[static_cast<size_t>(L)];
        lv.width = W0 >> L;
        lv.height = H0 >> L;
        const std::vector<Footprint> fx = footprints(W0, lv.width), fy = footprints(H0, lv.height);
        acc.assign(static_cast<size_t>(lv.width), 0);
        reducePlane(base.red, W0, H0, fx, fy, lv.red, acc);
        reducePlane(base.green, W0, H0, fx, fy, lv.green, acc);
        reducePlane(base.blue, W0, H0, fx, fy, lv.blue, acc);
    }
}

}  // namespace kx
