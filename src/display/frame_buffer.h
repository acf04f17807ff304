// The image a device draws into: 8-bit red, green and blue in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/large_pages.h"
#include "core/limits.h"
#include "core/math.h"

namespace kx {

// Conversion of a colour component to a byte, clamped to 0..255; NaN gives 0.
inline uint8_t ColorByte(float c) {
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return static_cast<uint8_t>(static_cast<int>(255.999 * c));
}

// The three bytes of colour c at p, each component clamped (ColorByte).
inline void StoreColor(uint8_t* p, const ColorRGB& c) {
    p[0] = ColorByte(c.r);
    p[1] = ColorByte(c.g);
    p[2] = ColorByte(c.b);
}


// An RGB image in memory, rows packed, with the pixel operations every
// device that keeps its image in memory does alike. Pixel (x, y) has y = 0
// at the top of the image; the rows are stored from the top down, or from
// the bottom up for a window that wants them so.
struct FrameBuffer {
    int width = 0;
    int height = 0;
    // width * height * 3; written through pixel, row and write only, which
    // tell clear that the image may no longer be blank (or, after
    // markWritten, through rowBytes).
    std::vector<uint8_t, LargePageAllocator<uint8_t>> pixels;
    bool bottomRowFirst = false;  // the order of the rows in pixels

    // Returns false when the memory cannot be had.
    bool allocate(int w, int h);
    // Follows a format changed since the buffer was allocated.
    bool fitTo(int w, int h) { return (w == width && h == height) || allocate(w, h); }
    void release() {
        pixels.clear();
        pixels.shrink_to_fit();
        width = height = 0;
        blank_ = false;
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

    // The red, green and blue bytes of pixel (x, y); null outside the image.
    uint8_t* pixel(int x, int y) {
        blank_ = false;
        return inside(x, y) ? &pixels[offset(x, y)] : nullptr;
    }
    const uint8_t* pixel(int x, int y) const { return inside(x, y) ? &pixels[offset(x, y)] : nullptr; }

    // The bytes of row y, pixel x at 3 * x; null outside the image.
    uint8_t* row(int y) {
        blank_ = false;
        return rowBytes(y);
    }
    // For threads writing rows at once: markWritten, on one thread before
    // they start, then rowBytes on any of them (which, unlike row, writes
    // nothing of the buffer's own).
    void markWritten() { blank_ = false; }
    uint8_t* rowBytes(int y) { return y >= 0 && y < height && width > 0 ? &pixels[offset(0, y)] : nullptr; }

    // The colour of pixel (x, y); black outside the image.
    void read(int x, int y, ColorRGB& c) const {
        if (!inside(x, y)) {
            c = ColorRGB();
            return;
        }
        const uint8_t* p = &pixels[offset(x, y)];
        c = ColorRGB(static_cast<float>(p[0] / 255.999), static_cast<float>(p[1] / 255.999),
                     static_cast<float>(p[2] / 255.999));
    }
    // Stores pixel (x, y) with its components clamped to bytes; false, and
    // nothing stored, outside the image.
    bool write(int x, int y, const ColorRGB& c) {
        if (!inside(x, y)) return false;
        blank_ = false;
        StoreColor(&pixels[offset(x, y)], c);
        return true;
    }

    // The colour clear() fills the image with; it stays when the buffer is
    // allocated again or released.
    void setBackground(const ColorRGB& c) {
        StoreColor(background_, c);
    }
    // Every pixel the background colour.
    void clear();

private:
    size_t offset(int x, int y) const {
        const int row = bottomRowFirst ? height - 1 - y : y;
        return (static_cast<size_t>(row) * width + x) * 3;
    }

    uint8_t background_[3] = {0, 0, 0};
    // Every byte 0 (as allocated, or cleared to black) and nothing written
    // since: clearing to black again has nothing to do, and the pages of a
    // fresh buffer stay unmapped until the image is drawn into them.
    bool blank_ = false;
};

}  // namespace kx
