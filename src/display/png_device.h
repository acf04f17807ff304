// The PNG file device: one 8-bit RGB PNG file per frame. It behaves as the
// PPM file device does (the same buffer, clamped colours, file naming with
// ".png", whole-file writes and error reports) and differs only in the file
// format: an image without pixels (a format of 0 or less), which a PNG
// cannot hold, writes no file and says so on standard error.
#pragma once

#include <cstdio>

#include "display/frame_buffer.h"
#include "display/image_file.h"

namespace kx {

// Writes the image as an 8-bit RGB PNG, top row first. False when libpng
// fails (the stream's error state tells why) or the image is empty.
bool WritePng(std::FILE* f, const FrameBuffer& image);

class PngDevice final : public ImageFileDevice {
public:
    explicit PngDevice(DisplayState& display) : ImageFileDevice(display, "png", WritePng) {}
    int ImageShow() override;
};

}  // namespace kx
