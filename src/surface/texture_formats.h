// Image files as texture maps: PNM read by hand, PNG through libpng, JPEG
// through libjpeg, TGA and BMP through stb_image, recognised by their first
// bytes. Each decoder fills level 0 of a map with the same 8-bit red, green
// and blue planes a PPM of the same values gives (row 0 the bottom row of
// the image).
#pragma once

#include <cstddef>
#include <cstdint>

#include "surface/texture_map.h"

namespace kx {

enum class ImageFileKind { Unknown, Pnm, Png, Jpeg, Tga, Bmp };

// What the first bytes of a file say it is. Needs at most 18 bytes (a TGA,
// which has no signature, is told by every field of its 18-byte header
// being one that is read); fewer give Unknown unless they are already
// decisive.
ImageFileKind SniffImageFile(const uint8_t* data, size_t size);

// True when these first bytes (any number, even 0 or 1) can still begin a
// file of a kind that is read.
bool MayBeImageFile(const uint8_t* data, size_t size);

// Decode a whole PNM file into level 0 of `out` (planes allocated here). 0,
// or -29 for a file that is truncated, malformed, or whose header claims
// more than maxPixels pixels (refused before any allocation). The maxval is
// read but not used: raw samples are single bytes, plain ones keep their low
// 8 bits; a bitmap's 1 is black and its 0 white.
int DecodePnm(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out);

// Decode a whole PNG or JPEG file into level 0 of `out` (planes allocated
// here). 0, or -29 for a file that is corrupt, truncated, of a kind not read
// (CMYK JPEG), or whose header claims more than maxPixels pixels (refused
// before any allocation). 16-bit samples are rounded to 8 bits; palette
// images are expanded; alpha and transparency are ignored; no gamma or
// colour-profile correction is applied.
int DecodePng(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out);
int DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out);

// The same for TGA (grey, true colour and colour-mapped, run-length coded or
// not, either row order) and BMP (BI_RGB and BI_BITFIELDS, 1 to 32 bits,
// either row order). A file whose data stops before the picture's end, or
// whose header says what the decoder would read wrongly (a colour map that
// does not start at entry 0, a pixel indexing past the colour map), is -29.
int DecodeTga(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out);
int DecodeBmp(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out);

}  // namespace kx
