#include "display/ppm_device.h"

namespace kx {

size_t PpmFileSize(const FrameBuffer& image) {
    const int header = std::snprintf(nullptr, 0, "P6\n%d %d\n255\n", image.width, image.height);
    return static_cast<size_t>(header) + image.pixels.size();
}

bool WritePpm(std::FILE* f, const FrameBuffer& image) {
    if (std::fprintf(f, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    size_t n = image.pixels.size();
    return n == 0 || std::fwrite(image.pixels.data(), 1, n, f) == n;
}

}  // namespace kx
