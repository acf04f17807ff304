// Equality bit for bit of floats and of the float triples of core/math.h: a
// changed sign of zero or a NaN is a change. For telling whether a value
// computed from them could come out different.
#pragma once

#include <bit>
#include <cstdint>

#include "core/math.h"

namespace kx {

inline bool SameBits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }
inline bool SameBits(const ColorRGB& a, const ColorRGB& b) {
    return SameBits(a.r, b.r) && SameBits(a.g, b.g) && SameBits(a.b, b.b);
}
inline bool SameBits(const Point3& a, const Point3& b) {
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}
inline bool SameBits(const Vector3& a, const Vector3& b) {
    return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

}  // namespace kx
