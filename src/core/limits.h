// The bounds the program puts on what one command, option or file may ask
// for, in one place. Each keeps a hostile scene from making the work or the
// memory grow without limit; what lies beyond a bound is either capped or
// refused, as each comment says.
//
// Builds for fuzzing (KX_FUZZ_BUILD) use smaller values, so that every run
// stays short; this file is the only place that tells the two builds apart.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kx {

#ifdef KX_FUZZ_BUILD
inline constexpr bool kFuzzingBuild = true;
#else
inline constexpr bool kFuzzingBuild = false;
#endif

// ---- images ----
// The largest image the devices allocate (pixels); larger formats fail with
// "Insufficient memory for display buffer".
constexpr long long kMaxImagePixels = 1LL << 27;
// Fuzzing builds draw at most this many pixels a side.
constexpr int kFuzzImageSide = 64;

// ---- tessellation ----
// Divisions of a tessellated surface or curve above this are taken as this
// (the option keeps the value it was given): the grid arithmetic cannot
// overflow and the work stays bounded.
constexpr int kMaxDivisions = kFuzzingBuild ? 16 : 1024;
// The converter's patch divisions: a patch of d x d segments brings d * d
// quadrilaterals into the merged mesh.
constexpr int kMaxEchoDivisions = kFuzzingBuild ? 16 : 1000;
// Interpolation steps one Bezier curve or patch may spend; past it fewer
// points are evaluated.
constexpr double kInterpolationBudget = kFuzzingBuild ? double(1 << 20) : double(1 << 30);

// Uniform refinement levels of a subdivision surface (OptionReal
// "SubdivisionLevel"): values beyond the range are taken as its ends (the
// option keeps the value it was given). A cage whose refined surface would
// have more faces than kMaxSubdivisionFaces (the cage's face corners times
// 4 ^ (level - 1)) is refused with "Subdivision surface too large": the
// refinement keeps every level, and the ray tracer every face, in memory.
constexpr int kMaxSubdivisionLevel = kFuzzingBuild ? 3 : 10;
constexpr long long kMaxSubdivisionFaces = kFuzzingBuild ? 1 << 12 : 1 << 23;

// ---- the ray tracer ----
// Reflection bounces, subsamples per axis (n cost n * n rays per pixel) and
// threads tracing one image.
constexpr int kRayMaxLevels = kFuzzingBuild ? 4 : 100;
constexpr int kRayMaxSubsamples = kFuzzingBuild ? 2 : 64;
constexpr int kRayMaxThreads = kFuzzingBuild ? 2 : 256;
// See-through surfaces one shadow ray crosses; a light behind more of them
// is taken as shadowed.
constexpr int kRayMaxCrossings = kFuzzingBuild ? 8 : 64;

// ---- the direct engine's threads ----
// Threads drawing one image, and the polygons, vertex floats and surface
// snapshots one batch of binned polygons holds (a few batches are in
// flight at once; when all are, the binning waits for the oldest), and the
// bands of rows an image is shared out in.
constexpr int kDirectMaxThreads = kFuzzingBuild ? 2 : 256;
constexpr int kDirectBinPolygons = kFuzzingBuild ? 64 : 4096;
constexpr int kDirectBinFloats = kFuzzingBuild ? 4096 : 1 << 18;
constexpr int kDirectBinSnapshots = kFuzzingBuild ? 8 : 1024;
constexpr int kDirectMaxBands = 32;
// The entries of a batch's band lists, over all its bands.
constexpr int kDirectBinBandEntries = kFuzzingBuild ? 256 : 1 << 16;
// The pixels of transparent surfaces kept until the end of the world (28
// bytes each), to be laid over the image far to near; a full list is laid
// over it there and starts again (the order then holds within each part).
constexpr size_t kDirectTransparentFragments = kFuzzingBuild ? 1 << 12 : 1 << 23;

// ---- texture maps ----
// Larger map files or images are treated as unrecognized rather than read.
constexpr size_t kMaxMapFileBytes = size_t{1} << 30;
constexpr uint64_t kMaxMapPixels = uint64_t{1} << 28;
// Pixels decoded from one file: fuzzing builds keep a small compressed file
// from spending seconds on a legitimately large picture.
constexpr uint64_t kMaxDecodedPixels = kFuzzingBuild ? uint64_t{1} << 20 : kMaxMapPixels;
// PNG pictures wider than this are refused. libpng keeps two rows of the
// widest form a pixel takes on its way to 8-bit RGB (up to 8 bytes) and the
// decoder one row more: bounded in width, they take under 2 MB whatever the
// picture, instead of up to four times the map for a picture of one row.
// JPEG and TGA sides end at 65535 by their headers.
constexpr uint32_t kMaxPngWidth = uint32_t{1} << 16;
// The work the scans of one JPEG may ask for, in passes over all its
// blocks: a scan costs the blocks of the components it covers, and a
// progressive file has one scan per band of coefficients and bit of
// precision. The usual scripts take 5 to 6 passes; a file that asks for
// more than this is refused when its scans reach it, its cost bounded by a
// few times a plain decode of the same size.
constexpr int kMaxJpegScanPasses = 12;

}  // namespace kx
