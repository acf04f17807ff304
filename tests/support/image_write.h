// Image files written for tests with the reference libraries: PNG of every
// colour type through libpng, JPEG through libjpeg, and PNM by hand.
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

}  // namespace kxtest
