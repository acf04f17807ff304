// The PNG file device: one 8-bit RGB PNG file per frame. It behaves as the
// PPM file device does (the same buffer, clamped colours, file naming with
// ".png", whole-file writes and error reports) and differs only in the file
// format: an image without pixels (a format of 0 or less), which a PNG
// cannot hold, writes no file and says so on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "display/display.h"
#include "display/display_file.h"

namespace kx {

class PngDevice final : public DisplayDevice {
public:
    int DisplayOpen() override { return image_.DisplayOpen(); }
    int DisplayClose() override { return image_.DisplayClose(); }
    int ImageBegin(int frame) override;
    int ImageShow() override;
    int ImageClear() override { return image_.ImageClear(); }
    int SetBackground(const ColorRGB& c) override { return image_.SetBackground(c); }
    int ReadPixel(int x, int y, ColorRGB& c) override { return image_.ReadPixel(x, y, c); }
    int WritePixel(int x, int y, const ColorRGB& c) override { return image_.WritePixel(x, y, c); }

    const FrameBuffer& buffer() const { return image_.buffer(); }
    const std::string& fileName() const { return fileName_; }

private:
    FileDevice image_;  // the frame buffer and the pixel operations
    std::string fileName_;
};

// Writes the image as an 8-bit RGB PNG, top row first. False when libpng
// fails (the stream's error state tells why) or the image is empty.
bool WritePng(std::FILE* f, const FrameBuffer& image);

}  // namespace kx
