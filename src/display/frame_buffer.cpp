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
        pixels.resize(count);  // unset: zeros from the allocator, or set here
        if (!LargePageAllocator<uint8_t>::Zeroed(count)) std::memset(pixels.data(), 0, count);
    } catch (const std::bad_alloc&) {
        pixels.clear();
        return false;
    } catch (const std::length_error&) {
        pixels.clear();
        return false;
    }
    width = w;
    height = h;
    blank_ = true;
    return true;
}

void FrameBuffer::clear() {
    if (pixels.empty()) return;
    const bool black = background_[0] == 0 && background_[1] == 0 && background_[2] == 0;
    if (black && blank_) return;
    blank_ = black;
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
