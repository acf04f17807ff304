// The interface every display device offers. Engines draw only through the
// current device of their display state.
#pragma once

#include "core/math.h"

namespace kx {

struct FrameBuffer;

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

    // The frame buffer the device draws into when WritePixel of a pixel
    // inside it does nothing more than store its bytes (FrameBuffer::write)
    // and what spanWritten records; null when it does more, or when the
    // device has no buffer. An engine may then store a row's pixels itself
    // and report them once with spanWritten.
    virtual FrameBuffer* frame() { return nullptr; }
    // Pixels of row y between x0 and x1 (inclusive) were stored straight
    // into frame(), x0 and x1 among them.
    virtual void spanWritten(int /*x0*/, int /*x1*/, int /*y*/) {}
};

}  // namespace kx
