// Image files written for tests with the reference libraries: PNG of every
// colour type through libpng, JPEG through libjpeg, and PNM, TGA and BMP by
// hand; and files made to cost far more to decode than their picture.
#pragma once

#include <cstdint>
#include <string>

#include "support/run.h"

namespace kxtest {

enum class PngKind { Grey, GreyAlpha, Rgb, Rgba, Palette };

// The bytes of a PNG of `image` (rows top first). Grey kinds take the red
// channel; alpha channels get a pattern of their own (it must be ignored);
// palette images need at most 256 colours. With depth 16 each value v is
// written as a 16-bit sample that rounds back to v (and that a reader
// dropping the low byte gets wrong for most v).
std::string PngBytes(const Image& image, PngKind kind, int depth = 8, bool interlaced = false);

// The bytes of a JPEG of `image`. Grey files take the red channel; "rgb"
// stores the channels as they are (no YCbCr), so a flat image survives
// exactly; progressive files are written in several scans.
enum class JpegKind { Grey, YCbCr, Rgb };
std::string JpegBytes(const Image& image, JpegKind kind, bool progressive, int quality = 100);

// The same file claiming another width and height (its header rewritten,
// checksum included); the pixel data stays as it is.
std::string PngResized(const std::string& png, uint32_t width, uint32_t height);
std::string JpegResized(const std::string& jpeg, uint16_t width, uint16_t height);

// Binary PPM (P6) or PGM (P5, the red channel) bytes.
std::string PnmBytes(const Image& image, bool grey);

// A TGA of `image`: 8-bit grey (the red channel), 24-bit, 32-bit (alpha a
// pattern of its own) or 8-bit indices into a 24-bit colour map (at most
// 256 colours); run-length coded or not; rows top first (descriptor bit 5)
// or bottom first.
enum class TgaKind { Grey, Rgb, Rgba, Palette };
std::string TgaBytes(const Image& image, TgaKind kind, bool rle, bool topDown);
// A BMP of `image` (BI_RGB): 8 bits (indices into a colour map of the
// colours used), 24 or 32 bits (the fourth byte a pattern); rows bottom
// first (positive height) or top first.
std::string BmpBytes(const Image& image, int bits, bool topDown);

// A progressive JPEG (grey, the red channel) in `scans` scans: the DC, then
// one AC coefficient at a time, each refined bit by bit.
std::string JpegManyScans(const Image& image, int scans);
// A 1 x 1 grey PNG followed by `chunks` zTXt chunks, each inflating to
// `inflated` zero bytes.
std::string PngWithTextBomb(int chunks, size_t inflated);
// A 1-bit grey PNG of width x 1 black pixels.
std::string PngOneRow(uint32_t width);

}  // namespace kxtest
