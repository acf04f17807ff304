#include "display/ppm_device.h"

namespace kx {

bool WritePpm(std::FILE* f, const FrameBuffer& image) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    size_t n = image.pixels.size();
    return n == 0 || std::fwrite(image.pixels.data(), 1, n, f) == n;
}

}  // namespace kx
