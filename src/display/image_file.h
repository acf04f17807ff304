// The devices that write each image as a file of its own, named after the
// display and the frame: the frame buffer they draw into, and the choice of
// what the command line selects of an image (the whole image in the
// device's format, a region file, or a line of the image list). The PPM and
// PNG devices differ only in the file format.
#pragma once

#include <cstdio>
#include <string>

#include "display/device.h"
#include "display/display_state.h"
#include "display/frame_buffer.h"

namespace kx {

class ImageFileDevice : public DisplayDevice {
public:
    // Writes the whole image in the device's format; false on a write error.
    using ImageWriter = bool (*)(std::FILE* f, const FrameBuffer& image);
    // The size of the file the writer gives, where that is known before.
    using ImageFileSize = size_t (*)(const FrameBuffer& image);

    // Draws the images of the display (its format, name and selection) and
    // writes them in a format, whose name ("ppm" or "png") is also the
    // files' extension.
    ImageFileDevice(DisplayState& display, const char* format, ImageWriter write, ImageFileSize size = nullptr)
        : display_(display), format_(format), extension_(std::string(".") + format), write_(write), size_(size) {}

    int DisplayOpen() override;
    int DisplayClose() override;
    int ImageBegin(int frame) override;
    int ImageShow() override;
    int ImageClear() override;
    int SetBackground(const ColorRGB& c) override;
    int ReadPixel(int x, int y, ColorRGB& c) override;
    int WritePixel(int x, int y, const ColorRGB& c) override;
    FrameBuffer* frame() override { return &buffer_; }
    void spanWritten(int, int, int) override { shown_ = false; }

    const FrameBuffer& buffer() const { return buffer_; }
    // The file of the image begun last (under the command line's output
    // folder when its name is relative); empty before one is begun.
    const std::string& fileName() const { return fileName_; }

protected:
    // True when the image is already in its file: shown, and not changed
    // since (a frame's WorldEnd and FrameEnd then write its file once).
    bool shown() const { return shown_; }
    void markShown() { shown_ = true; }

private:
    // The image begun last as the command line selects it: written whole
    // in the device's format, as a region file, or named in the image list;
    // nothing for a frame left out. 0, or the status of the write.
    int writeSelected() const;

    DisplayState& display_;
    const char* format_;
    std::string extension_;
    ImageWriter write_;
    ImageFileSize size_;
    FrameBuffer buffer_;
    std::string fileName_;
    bool shown_ = false;
    int frame_ = 0;
    bool selected_ = false;        // the frame of the image begun last is selected
    bool inOutputFolder_ = false;  // its file goes under the command line's output folder
};

// "<name><frame, at least four digits><extension>"; a negative frame gets a
// "-" before its zero-padded digits.
std::string FrameFileName(const std::string& name, int frame, const char* extension);

// The line --list-images prints on standard output for an image file the
// run writes: "image <frame> <width> <height> <file name>", the name
// escaped as ListedName says.
void ListImage(int frame, int width, int height, const std::string& name);

}  // namespace kx
