#include "shell/display_file.h"

#include <cstdio>

#include "core/errors.h"

namespace kx {

std::string FrameFileName(const std::string& name, int frame, const char* extension) {
    char digits[32];
    long long f = frame;
    if (f < 0)
        std::snprintf(digits, sizeof digits, "-%04lld", -f);
    else
        std::snprintf(digits, sizeof digits, "%04lld", f);
    return name + digits + extension;
}

int FileDevice::DisplayOpen() {
    const DisplayState& d = displayState();
    if (!buffer_.allocate(d.width, d.height)) return kErrDisplayMemory;
    return 0;
}

int FileDevice::DisplayClose() {
    buffer_.release();
    return 0;
}

int FileDevice::ImageClear() {
    for (size_t i = 0; i < buffer_.pixels.size(); i += 3) {
        buffer_.pixels[i] = background_[0];
        buffer_.pixels[i + 1] = background_[1];
        buffer_.pixels[i + 2] = background_[2];
    }
    return 0;
}

int FileDevice::ImageBegin(int frame) {
    // A Format given after the device opened takes effect with the next frame.
    const DisplayState& d = displayState();
    if (!buffer_.fitTo(d.width, d.height)) return kErrDisplayMemory;
    ImageClear();
    fileName_ = FrameFileName(displayState().name, frame, ".ppm");
    return 0;
}

int FileDevice::ImageShow() {
    std::FILE* f = std::fopen(fileName_.c_str(), "wb");
    if (!f) return kErrEndOfFile;
    std::fprintf(f, "P6\n%d %d\n255\n", buffer_.width, buffer_.height);
    size_t n = buffer_.pixels.size();
    bool ok = n == 0 || std::fwrite(buffer_.pixels.data(), 1, n, f) == n;
    ok = (std::fclose(f) == 0) && ok;
    return ok ? 0 : kErrEndOfFile;
}

int FileDevice::SetBackground(const ColorRGB& c) {
    background_[0] = ColorByte(c.r);
    background_[1] = ColorByte(c.g);
    background_[2] = ColorByte(c.b);
    return 0;
}

int FileDevice::ReadPixel(int x, int y, ColorRGB& c) {
    if (!buffer_.inside(x, y)) {
        c = ColorRGB();
        return 0;
    }
    const uint8_t* p = &buffer_.pixels[(static_cast<size_t>(y) * buffer_.width + x) * 3];
    c = ColorRGB(static_cast<float>(p[0] / 255.999), static_cast<float>(p[1] / 255.999),
                 static_cast<float>(p[2] / 255.999));
    return 0;
}

int FileDevice::WritePixel(int x, int y, const ColorRGB& c) {
    if (!buffer_.inside(x, y)) return 0;
    uint8_t* p = &buffer_.pixels[(static_cast<size_t>(y) * buffer_.width + x) * 3];
    p[0] = ColorByte(c.r);
    p[1] = ColorByte(c.g);
    p[2] = ColorByte(c.b);
    return 0;
}

}  // namespace kx
