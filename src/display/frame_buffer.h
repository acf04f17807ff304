// The image a device draws into: 8-bit red, green and blue in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "core/math.h"

namespace kx {

// Conversion of a colour component to a byte, clamped to 0..255; NaN gives 0.
inline uint8_t ColorByte(float c) {
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return static_cast<uint8_t>(static_cast<int>(255.999 * c));
}

// The largest image the devices allocate (pixels); larger formats fail with
// "Insufficient memory for display buffer".
constexpr long long kMaxImagePixels = 1LL << 27;

// An RGB image in memory, rows packed.
struct FrameBuffer {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3
    // Returns false when the memory cannot be had.
    bool allocate(int w, int h);
    // Follows a format changed since the buffer was allocated.
    bool fitTo(int w, int h) { return (w == width && h == height) || allocate(w, h); }
    void release() {
        pixels.clear();
        pixels.shrink_to_fit();
        width = height = 0;
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

}  // namespace kx
