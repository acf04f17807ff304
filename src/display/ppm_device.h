// The file device of the display type "PNM": one binary PPM file per frame.
#pragma once

#include <cstdio>

#include "display/frame_buffer.h"
#include "display/image_file.h"

namespace kx {

// Writes a binary PPM ("P6", maxval 255) of the image; false on a write error.
bool WritePpm(std::FILE* f, const FrameBuffer& image);
// The size in bytes of the file WritePpm writes.
size_t PpmFileSize(const FrameBuffer& image);

class FileDevice final : public ImageFileDevice {
public:
    explicit FileDevice(DisplayState& display) : ImageFileDevice(display, "ppm", WritePpm, PpmFileSize) {}
};

}  // namespace kx
