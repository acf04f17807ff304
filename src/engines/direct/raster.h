// A helper shared by the direct engine's rasterisers (spans and lines).
#pragma once

#include <cmath>

namespace kx {

// ceil(v) as a row or column index limited to 0..limit; NaN gives 0.
inline int CeilIndex(float v, int limit) {
    float c = std::ceil(v);
    if (!(c > 0)) return 0;
    if (c >= static_cast<float>(limit)) return limit;
    return static_cast<int>(c);
}

}  // namespace kx
