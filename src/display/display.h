// Display devices: the frame buffer, the window and the PPM files. Engines
// draw only through the current device of displayState().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/math.h"

namespace kx {

class DisplayDevice {
public:
    virtual ~DisplayDevice() = default;
    virtual int DisplayOpen() = 0;
    virtual int DisplayClose() = 0;
    virtual int ImageBegin(int frame) = 0;
    virtual int ImageShow() = 0;
    virtual int ImageClear() = 0;
    virtual int SetBackground(const ColorRGB& c) = 0;
    // Defined only for 0 <= x < width, 0 <= y < height of the open buffer;
    // outside it (or without a buffer) the colour is black.
    virtual int ReadPixel(int x, int y, ColorRGB& c) = 0;
    virtual int WritePixel(int x, int y, const ColorRGB& c) = 0;
};

// The frames of a run the command line asks for (--frames): a list of
// numbers and ranges such as "3", "1-100", "1-100:5" or "1,4,9-12".
class FrameList {
public:
    // Reads a list; false (and the list unchanged) for text that is none.
    bool parse(const std::string& text);
    // With no list given every frame is wanted.
    bool contains(int frame) const;
    bool empty() const { return ranges_.empty(); }

private:
    struct Range {
        long long first, last, step;
    };
    std::vector<Range> ranges_;
};

// Pixel bounds of part of an image (--region): columns x0 .. x1 - 1, rows
// y0 .. y1 - 1.
struct ImageRegion {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool given = false;
    long long pixels() const { return static_cast<long long>(x1 - x0) * (y1 - y0); }
};

// Which images of a run are drawn and written, set from the command line.
struct ImageSelection {
    FrameList frames;          // empty: every frame
    ImageRegion region;        // not given: whole images
    bool listOnly = false;     // --list-images: nothing drawn, the images named
};

struct DisplayState {
    int width = 640;
    int height = 480;
    std::string name;
    bool perObjectRefresh = false;
    std::unique_ptr<DisplayDevice> device;  // never null

    // Set by the program entry: the command line for the window toolkit, the
    // step the window's idle callback runs while the scene is parsed, the one
    // way out of an open window (it ends the process with exitStatus and does
    // not return), and the scene's status so far.
    int* argc = nullptr;
    char** argv = nullptr;
    void (*idle)() = nullptr;
    void (*leave)() = nullptr;
    int exitStatus = 0;

    // What the command line selects, and whether the image begun last is
    // one of the selected ones. Engines skip their drawing and tracing while
    // it is not; the devices then write nothing.
    ImageSelection selection;
    bool drawing = true;

    DisplayDevice& dev() { return *device; }
    void reset();
    // A device begins an image of a frame with the image size in force:
    // decides whether it is drawn. 0, or -46 when the selected region does
    // not lie inside the image.
    int beginImage(int frame);
};

// The process-wide display state.
DisplayState& displayState();

// The Display command: installs a device. 0, -19 or -20.
int SelectDisplay(DisplayState& display, const std::string& name, const std::string& type, const std::string& mode);
// The Format command.
int SetFormat(DisplayState& display, int width, int height);

// Conversion of a colour component to a byte, clamped to 0..255; NaN gives 0.
inline uint8_t ColorByte(float c) {
    if (!(c > 0)) return 0;
    if (c >= 1) return 255;
    return static_cast<uint8_t>(static_cast<int>(255.999 * c));
}

// The largest image the devices allocate (pixels); larger formats fail with
// "Insufficient memory for display buffer".
constexpr long long kMaxImagePixels = 1LL << 27;

// An RGB image in memory, rows packed.
struct FrameBuffer {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3
    // Returns false when the memory cannot be had.
    bool allocate(int w, int h);
    // Follows a format changed since the buffer was allocated.
    bool fitTo(int w, int h) { return (w == width && h == height) || allocate(w, h); }
    void release() {
        pixels.clear();
        pixels.shrink_to_fit();
        width = height = 0;
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

}  // namespace kx
