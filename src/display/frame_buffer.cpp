#include "display/frame_buffer.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace kx {

bool FrameBuffer::allocate(int w, int h) {
    release();
    if (w <= 0 || h <= 0) return true;  // an empty image: nothing to store
    if (static_cast<long long>(w) * h > kMaxImagePixels) return false;
    size_t count = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    try {
        pixels.assign(count, 0);
    } catch (const std::bad_alloc&) {
        pixels.clear();
        return false;
    } catch (const std::length_error&) {
        pixels.clear();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void FrameBuffer::clear() {
    if (pixels.empty()) return;
    // The first row pixel by pixel, the others copied from it.
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    uint8_t* first = pixels.data();
    for (size_t i = 0; i < rowBytes; i += 3) {
        first[i] = background_[0];
        first[i + 1] = background_[1];
        first[i + 2] = background_[2];
    }
    for (size_t at = rowBytes; at < pixels.size(); at += rowBytes) std::memcpy(first + at, first, rowBytes);
}

}  // namespace kx
