// The interface every display device offers. Engines draw only through the
// current device of their display state.
#pragma once

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

}  // namespace kx
