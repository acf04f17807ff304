#include "display/frame_buffer.h"

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
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = background_[0];
        pixels[i + 1] = background_[1];
        pixels[i + 2] = background_[2];
    }
}

}  // namespace kx
