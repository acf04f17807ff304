// The file device: one binary PPM file per frame.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "display/display.h"

namespace kx {

class FileDevice final : public DisplayDevice {
public:
    int DisplayOpen() override;
    int DisplayClose() override;
    int ImageBegin(int frame) override;
    int ImageShow() override;
    int ImageClear() override;
    int SetBackground(const ColorRGB& c) override;
    int ReadPixel(int x, int y, ColorRGB& c) override;
    int WritePixel(int x, int y, const ColorRGB& c) override;

    const FrameBuffer& buffer() const { return buffer_; }
    const std::string& fileName() const { return fileName_; }

    // True when the image is already in its file: shown, and not changed
    // since (a frame's WorldEnd and FrameEnd then write its file once).
    bool shown() const { return shown_; }
    void markShown() { shown_ = true; }

    // Writes the image begun last under its name as a format ("ppm" or
    // "png") through writeWhole, or what the command line selects of it
    // instead: a region file, a line of the image list, or nothing.
    int ShowSelected(const std::string& name, const char* format,
                     const std::function<int(const std::string&)>& writeWhole);

private:
    FrameBuffer buffer_;
    std::string fileName_;
    bool shown_ = false;
    int frame_ = 0;
    bool selected_ = false;  // the frame of the image begun last is selected
};

// "<name><frame, at least four digits>.ppm"; a negative frame gets a "-"
// before its zero-padded digits.
std::string FrameFileName(const std::string& name, int frame, const char* extension);

// Writes a binary PPM ("P6", maxval 255) of the image; false on a write error.
bool WritePpm(std::FILE* f, const FrameBuffer& image);

// The line --list-images prints on standard output for an image file the
// run writes: "image <frame> <width> <height> <file name>".
void ListImage(int frame, int width, int height, const std::string& name);

// Writes a whole file so that it appears under its name only when complete:
// write() fills a temporary file in the same folder (returning false when it
// fails), which is then renamed to path. A file replaced this way keeps its
// permission bits. Any failure (the file cannot be created, a short write, a
// full disk, the rename) removes the temporary file, prints "cannot write
// <path>: <the system's reason>" on standard error (the path written with
// PrintableName) and returns kErrEndOfFile; success returns 0.
int WriteWholeFile(const std::string& path, const std::function<bool(std::FILE*)>& write);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of a write in
// progress before they end the process as they otherwise would (the shell
// then reports the status 130, 143 or 129). Signals that are ignored when
// this is called stay ignored.
void RemoveTemporaryOnInterrupt();

}  // namespace kx
