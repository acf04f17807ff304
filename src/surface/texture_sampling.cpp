#include "surface/texture_sampling.h"

#include <cmath>
#include <cstddef>

namespace kx {

namespace {

// Texel coordinates beyond this are as far outside as it matters; keeping
// them within it makes every conversion to int well defined.
constexpr float kCoordLimit = 1073741824.0f;  // 2^30

inline float guardCoord(float f) {
    if (f >= -kCoordLimit && f <= kCoordLimit) return f;
    return f > 0 ? kCoordLimit : -kCoordLimit;  // NaN goes below
}

inline int floorToInt(float f) {  // |f| <= 2^30
    int i = static_cast<int>(f);
    return f < static_cast<float>(i) ? i - 1 : i;
}

// Brings a texel coordinate into 0..n-1 under a border mode; false when the
// texel is outside ("none").
inline bool resolveAxis(int& x, int n, MapBorderMode mode) {
    if (x >= 0 && x < n) return true;
    switch (mode) {
        case MapBorderMode::None: return false;
        case MapBorderMode::Clamp: x = x < 0 ? 0 : n - 1; return true;
        case MapBorderMode::Repeat:
            x %= n;
            if (x < 0) x += n;
            return true;
    }
    return false;
}

struct Fetcher {
    const TextureLevel& lv;
    MapBorderMode uBorder, vBorder;
    ColorRGB outside;  // the current colour in 0..255.9999

    ColorRGB operator()(int x, int y) const {
        if (!resolveAxis(x, lv.width, uBorder) || !resolveAxis(y, lv.height, vBorder)) return outside;
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(lv.width) + static_cast<size_t>(x);
        return {static_cast<float>(lv.red[i]), static_cast<float>(lv.green[i]), static_cast<float>(lv.blue[i])};
    }
};

inline ColorRGB mix(const ColorRGB& a, float wa, const ColorRGB& b, float wb) {
    return {a.r * wa + b.r * wb, a.g * wa + b.g * wb, a.b * wa + b.b * wb};
}

constexpr float kTexelScale = 255.9999f;

}  // namespace

ColorRGB SampleTexture(const TextureMap& map, const TextureSampling& sampling, float u, float v, float dudx,
                       float dudy, float dvdx, float dvdy, const ColorRGB& currentColor) {
    const int count = map.levelCount();
    if (count == 0) return currentColor;
    const int maxLevel = sampling.maxLevel;

    // Level from the largest derivative; NaN derivatives are ignored.
    float m = 0;
    if (std::fabs(dudx) > m) m = std::fabs(dudx);
    if (std::fabs(dudy) > m) m = std::fabs(dudy);
    if (std::fabs(dvdx) > m) m = std::fabs(dvdx);
    if (std::fabs(dvdy) > m) m = std::fabs(dvdy);
    int L = 0;
    if (count > 1 && m > 1.0f) {  // otherwise the level is 0 anyway
        float level = std::log(m) / 0.6931472f;
        if (level > static_cast<float>(count - 1)) level = static_cast<float>(count - 1);
        if (maxLevel > 0 && level > static_cast<float>(maxLevel - 1)) level = static_cast<float>(maxLevel - 1);
        L = static_cast<int>(level);
    }

    const TextureLevel& base = map.levels[0];
    const TextureLevel& lv = map.levels[static_cast<size_t>(L)];
    const float uu = u / static_cast<float>(base.width);
    const float vv = v / static_cast<float>(base.height);
    const float fx = guardCoord(static_cast<float>(lv.width) * uu);
    const float fy = guardCoord(static_cast<float>(lv.height) * vv);
    const Fetcher t{lv, sampling.uBorder, sampling.vBorder,
                    {currentColor.r * kTexelScale, currentColor.g * kTexelScale, currentColor.b * kTexelScale}};

    ColorRGB c;
    if (sampling.filter == MapFilter::Nearest) {
        c = t(static_cast<int>(fx), static_cast<int>(fy));
    } else {
        const int x0 = floorToInt(fx), y0 = floorToInt(fy);
        const float ax = fx - static_cast<float>(x0), ay = fy - static_cast<float>(y0);
        const ColorRGB a = mix(t(x0, y0), 1 - ax, t(x0 + 1, y0), ax);
        const ColorRGB b = mix(t(x0 + 1, y0 + 1), ax, t(x0, y0 + 1), 1 - ax);
        c = mix(a, 1 - ay, b, ay);
    }
    return {c.r / kTexelScale, c.g / kTexelScale, c.b / kTexelScale};
}

}  // namespace kx
