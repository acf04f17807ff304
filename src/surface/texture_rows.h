// Helpers of the image decoders: level 0 filled one file row at a time.
#pragma once

#include <cstdint>

#include "surface/texture_map.h"

namespace kx {

// Sets the size and allocates three zeroed planes.
void AllocateLevel(TextureLevel& lv, uint32_t width, uint32_t height);
// Row `fileRow` of the file (0 = top) as packed red, green, blue bytes, into
// or out of the planes (whose row 0 is the bottom of the image).
void StoreRgbRow(TextureLevel& lv, uint32_t fileRow, const uint8_t* rgb);
void LoadRgbRow(const TextureLevel& lv, uint32_t fileRow, uint8_t* rgb);

// The same for planes filled as they come: rows appended top row first to
// planes that grow with them (lv.width and lv.height set, planes empty at
// the start), then turned upside down when all are there.
void AppendRgbRow(TextureLevel& lv, const uint8_t* rgb);
void FlipRows(TextureLevel& lv);

}  // namespace kx
