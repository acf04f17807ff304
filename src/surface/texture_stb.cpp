// TGA and BMP texture files through stb_image (Debian's libstb-dev), built
// here with those two loaders alone. Before stb_image sees a file, its
// header is read here and the file walked far enough to know that every
// byte the loader will read is in it: stb_image reads past the end as zeros
// and does not check every index against its colour map, so a truncated or
// inconsistent file would otherwise come out as a picture. Its allocations
// go through a budget of the picture's own size and come zeroed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/errors.h"
#include "surface/texture_formats.h"
#include "surface/texture_rows.h"

namespace kx {
namespace {

// What stb_image may still allocate during one decode; set while it runs.
struct StbBudget {
    size_t left = 0;
    bool memoryRefused = false;  // the system, not the budget, said no
};
thread_local StbBudget* tBudget = nullptr;

// Each block carries its size in front, kept to 16 bytes for alignment.
constexpr size_t kBlockHeader = 16;

void* stbAllocate(size_t n) {
    StbBudget* budget = tBudget;
    if (!budget || n > budget->left) return nullptr;
    void* block = std::calloc(1, n + kBlockHeader);
    if (!block) {
        budget->memoryRefused = true;
        return nullptr;
    }
    budget->left -= n;
    std::memcpy(block, &n, sizeof n);
    return static_cast<char*>(block) + kBlockHeader;
}

size_t stbBlockSize(void* p) {
    size_t n;
    std::memcpy(&n, static_cast<char*>(p) - kBlockHeader, sizeof n);
    return n;
}

void stbRelease(void* p) {
    if (!p) return;
    if (tBudget) tBudget->left += stbBlockSize(p);
    std::free(static_cast<char*>(p) - kBlockHeader);
}

[[maybe_unused]] void* stbResize(void* p, size_t n) {
    if (!p) return stbAllocate(n);
    void* fresh = stbAllocate(n);
    if (!fresh) return nullptr;  // p stays as it was, as realloc leaves it
    const size_t old = stbBlockSize(p);
    std::memcpy(fresh, p, old < n ? old : n);
    stbRelease(p);
    return fresh;
}

}  // namespace
}  // namespace kx

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
// TGA sides are 16-bit; no BMP side beyond this is read.
#define STBI_MAX_DIMENSIONS (1 << 24)
#define STBI_MALLOC(n) kx::stbAllocate(n)
#define STBI_REALLOC(p, n) kx::stbResize(p, n)
#define STBI_FREE(p) kx::stbRelease(p)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace kx {
namespace {

constexpr size_t kTgaHeaderBytes = 18;

unsigned u16le(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t u32le(const uint8_t* p) { return u16le(p) | uint32_t{u16le(p + 2)} << 16; }

struct StbPicture {
    void operator()(stbi_uc* p) const { stbRelease(p); }
};

// Decodes a file already checked into level 0. `channels` is what stb_image
// decodes into before it converts to RGB (its allocations are budgeted for
// both); `mirrored` turns rows whose pixels run right to left around.
int decodeChecked(const uint8_t* data, size_t size, uint32_t width, uint32_t height, int channels, bool mirrored,
                  TextureLevel& out) {
    const size_t pixels = size_t{width} * height;
    StbBudget budget;
    budget.left = pixels * static_cast<size_t>(channels + 3) + (size_t{1} << 20);
    tBudget = &budget;
    int w = 0, h = 0, n = 0;
    std::unique_ptr<stbi_uc, StbPicture> rgb(stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &n, 3));
    tBudget = nullptr;
    if (!rgb) return budget.memoryRefused ? kErrDisplayMemory : kErrMapFormat;
    if (static_cast<uint32_t>(w) != width || static_cast<uint32_t>(h) != height) return kErrMapFormat;
    AllocateLevel(out, width, height);  // may throw bad_alloc; rgb is released
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = rgb.get() + size_t{y} * width * 3;
        if (mirrored)
            for (size_t a = 0, b = width - 1; a < b; ++a, --b)
                for (int c = 0; c < 3; ++c) std::swap(row[3 * a + c], row[3 * b + c]);
        StoreRgbRow(out, y, row);  // stb_image gives the top row first
    }
    return kOk;
}

// Bytes of one colour-map entry or true-colour pixel of this many bits.
size_t tgaEntryBytes(int bits) { return bits == 15 || bits == 16 ? 2 : static_cast<size_t>(bits) / 8; }

}  // namespace

int DecodeTga(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out) {
    // The sniffing has checked every header field (see tgaFieldsRead).
    if (SniffImageFile(data, size) != ImageFileKind::Tga || size > INT32_MAX) return kErrMapFormat;
    const bool mapped = data[1] == 1, runLength = data[2] & 8, grey = (data[2] & 7) == 3;
    const size_t mapLength = u16le(data + 5);
    const int mapBits = data[7], bits = data[16];
    const uint32_t width = u16le(data + 12), height = u16le(data + 14);
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels > maxPixels) return kErrMapFormat;
    // Channels as stored (grey 16 is grey and alpha; 15 and 16-bit colour
    // is expanded to three), and the bytes of one pixel or index.
    const int channels = mapped ? (mapBits == 8 ? 1 : mapBits == 32 ? 4 : 3)
                         : grey ? bits / 8
                                : (bits == 32 ? 4 : 3);
    const size_t pixelBytes = mapped ? static_cast<size_t>(bits) / 8 : tgaEntryBytes(bits);
    size_t at = kTgaHeaderBytes + data[0] + (mapped ? mapLength * tgaEntryBytes(mapBits) : 0);
    if (at > size) return kErrMapFormat;
    if (!runLength) {
        if ((size - at) / pixelBytes < pixels) return kErrMapFormat;
    } else {
        // Packets: a count byte, then one pixel repeated or that many
        // pixels. Each takes at least two bytes, so the walk is short.
        for (uint64_t done = 0; done < pixels;) {
            if (at >= size) return kErrMapFormat;
            const uint8_t packet = data[at++];
            const size_t count = (packet & 127) + 1u;
            const size_t bytes = (packet & 128 ? 1 : count) * pixelBytes;
            if (bytes > size - at) return kErrMapFormat;
            at += bytes;
            done += count;
        }
    }
    return decodeChecked(data, size, width, height, channels, data[17] & 0x10, out);
}

int DecodeBmp(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out) {
    if (SniffImageFile(data, size) != ImageFileKind::Bmp || size < 18 || size > INT32_MAX) return kErrMapFormat;
    const uint32_t offset = u32le(data + 10), headerBytes = u32le(data + 14);
    if (headerBytes != 12 && headerBytes != 40 && headerBytes != 56 && headerBytes != 108 && headerBytes != 124)
        return kErrMapFormat;
    if (size < 14 + headerBytes) return kErrMapFormat;
    int64_t width, height;
    unsigned planes, bits;
    uint32_t compression = 0;
    if (headerBytes == 12) {
        // OS/2 1.x: unsigned sides, rows always bottom first; true colour
        // only (the loader misplaces their colour maps).
        width = u16le(data + 18);
        height = u16le(data + 20);
        planes = u16le(data + 22);
        bits = u16le(data + 24);
        if (bits != 24) return kErrMapFormat;
    } else {
        width = static_cast<int32_t>(u32le(data + 18));
        height = static_cast<int32_t>(u32le(data + 22));
        planes = u16le(data + 26);
        bits = u16le(data + 28);
        compression = u32le(data + 30);
    }
    if (height < 0) height = -height;  // rows top first
    if (planes != 1 || width <= 0 || height == 0 || uint64_t(width) * uint64_t(height) > maxPixels)
        return kErrMapFormat;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return kErrMapFormat;
    // BI_RGB, or BI_BITFIELDS (masks) for 16 and 32 bits; no run lengths.
    if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) return kErrMapFormat;
    const bool masksAfter = compression == 3 && (headerBytes == 40 || headerBytes == 56);
    const size_t headerEnd = 14 + size_t{headerBytes} + (masksAfter ? 12 : 0);
    if (offset < headerEnd || offset > size) return kErrMapFormat;
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    const size_t rowBytes = bits < 8 ? (w * bits + 7) / 8 : w * (bits / 8);
    const size_t stride = bits == 32 ? rowBytes : (rowBytes + 3) / 4 * 4;
    if (size - offset < rowBytes || (size - offset - rowBytes) / stride < h - 1) return kErrMapFormat;
    if (bits <= 8) {
        // Every index must name an entry of the colour map, which fills
        // the bytes between the header and the pixels.
        const size_t entries = (offset - 14 - headerBytes) / 4;
        if (entries == 0 || entries > 256) return kErrMapFormat;
        if (entries < (size_t{1} << bits)) {
            for (size_t y = 0; y < h; ++y) {
                const uint8_t* row = data + offset + y * stride;
                for (size_t x = 0; x < w; ++x) {
                    const unsigned index = bits == 8   ? row[x]
                                           : bits == 4 ? row[x / 2] >> (x % 2 ? 0 : 4) & 15
                                                       : row[x / 8] >> (7 - x % 8) & 1;
                    if (index >= entries) return kErrMapFormat;
                }
            }
        }
    }
    return decodeChecked(data, size, static_cast<uint32_t>(w), static_cast<uint32_t>(h), 3, false, out);
}

}  // namespace kx
