// A texture map: 8-bit red, green and blue planes in a chain of levels, each
// half the size of the one before, under the label MapLoad gave it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/limits.h"

namespace kx {


struct TextureLevel {
    std::vector<uint8_t> red, green, blue;  // width * height each, row 0 = bottom row of the image
    int width = 0;
    int height = 0;
};

struct TextureMap {
    std::vector<TextureLevel> levels;
    std::string label;
    std::string file;  // the file name MapLoad was given, as written
    int levelCount() const { return static_cast<int>(levels.size()); }
};

}  // namespace kx
