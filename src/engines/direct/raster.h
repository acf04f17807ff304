// A helper shared by the direct engine's rasterisers (spans and lines).
#pragma once

namespace kx {

// ceil(v) as a row or column index limited to 0..limit; NaN gives 0.
// Without a rounding instruction in the base instruction set, ceil goes
// through the truncated value; from 2^23 on every float is a whole number.
inline int CeilIndex(float v, int limit) {
    if (!(v > 0)) return 0;
    if (v < 8388608.0f) {
        const int t = static_cast<int>(v);
        const int c = t + (static_cast<float>(t) < v ? 1 : 0);
        return c < limit ? c : limit;
    }
    return v >= static_cast<float>(limit) ? limit : static_cast<int>(v);
}

}  // namespace kx
