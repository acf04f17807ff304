// Region files: the part of an image that a run with --region writes, and
// the joining of such parts into the whole image.
//
// A region file is named after the image it belongs to, followed by
// ".region-X0-Y0-X1-Y1" (frame0007.ppm.region-0-120-640-240), so that no
// program takes it for an image by its name, and begins with a header that
// no image format shares:
//
//   KXREGION 1
//   image <length of the name> <file name of the whole image, no folder>
//   format ppm|png
//   frame <frame number>
//   size <image width> <image height>
//   region <x0> <y0> <x1> <y1>
//   pixels
//
// each line ended by "\n", then the region's pixels as bytes red, green,
// blue, rows top first, (x1 - x0) * 3 bytes a row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/frame_buffer.h"
#include "display/image_selection.h"

namespace kx {

// "<image>.region-X0-Y0-X1-Y1".
std::string RegionFileName(const std::string& image, const ImageRegion& region);

// Writes the region of the image as a region file named after the image
// (which has the given format, "ppm" or "png"); 0, or the status of
// WriteWholeFile.
int WriteRegionFile(const std::string& image, const char* format, int frame, const FrameBuffer& buffer,
                    const ImageRegion& region);

struct RegionFile {
    std::string path;    // where it was read from
    std::string image;   // the whole image's file name, without folder
    std::string format;  // "ppm" or "png"
    int frame = 0;
    int width = 0, height = 0;
    ImageRegion region;
    std::vector<uint8_t> pixels;  // region rows, top first
};

// Reads a region file. False with a message (no program name, no line end)
// in error when the file cannot be read or is no complete region file.
bool ReadRegionFile(const std::string& path, RegionFile& out, std::string& error);

// Joins regions of one image into it: they must all be regions of the same
// image (name, format, frame and size) and tile it exactly, with no pixel
// left out and none in two regions. False with a message in error otherwise.
bool AssembleRegions(const std::vector<RegionFile>& regions, FrameBuffer& image, std::string& error);

// Writes an assembled image in its format under path; 0, or the status of
// WriteWholeFile.
int WriteAssembledImage(const std::string& path, const std::string& format, const FrameBuffer& image);

}  // namespace kx
