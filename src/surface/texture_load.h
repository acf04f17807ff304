// Texture maps read from PNM, PNG, JPEG, TGA and BMP files, told apart by
// their first bytes, with their reduced levels built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "surface/texture_map.h"

namespace kx {

// Loads one PNM, PNG, JPEG, TGA or BMP file into a map (levels and label). 0, -28 (cannot
// be opened) or -29 (no regular file, or not read as a map). With -28, and
// with -29 for a folder or a failed read, *why (when given) is the system's
// error number of that failure (EISDIR for a folder); otherwise 0.
int LoadTextureFile(const std::string& fileName, const std::string& label, TextureMap& out, int* why = nullptr);

// The same from the bytes of a file already read. 0 or -29; out is left
// empty on failure.
int ParseTextureData(const uint8_t* data, size_t size, const std::string& label, TextureMap& out);

}  // namespace kx
