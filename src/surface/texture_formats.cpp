#include "surface/texture_formats.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "surface/texture_rows.h"

namespace kx {

namespace {
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const uint8_t kJpegSignature[3] = {0xFF, 0xD8, 0xFF};
const uint8_t kBmpSignature[2] = {'B', 'M'};

// Whether the TGA header fields among the first `size` bytes are all ones
// the decoder reads: a colour map (type 1) exactly when the image type is
// colour-mapped (1 or 9), starting at entry 0 and of 8, 15, 16, 24 or
// 32-bit entries, and none otherwise; indices of 8 or 16 bits, true colour
// of 15, 16, 24 or 32, grey of 8 or 16 (with alpha); a width and height;
// no interleaving. Every other signature has a byte 1 above 1, so that no
// file of another kind passes.
bool tgaFieldsRead(const uint8_t* d, size_t size) {
    auto has = [&](size_t at) { return at < size; };
    auto u16 = [&](size_t at) { return d[at] | d[at + 1] << 8; };
    if (has(1) && d[1] > 1) return false;
    if (!has(2)) return true;
    const bool mapped = d[1] == 1;
    const int type = d[2] & ~8;
    if (d[2] & 0xF0 || (mapped ? type != 1 : type != 2 && type != 3)) return false;
    if (has(4) && u16(3) != 0) return false;
    if (has(6) && (mapped ? u16(5) == 0 : u16(5) != 0)) return false;
    if (has(7) && mapped && d[7] != 8 && d[7] != 15 && d[7] != 16 && d[7] != 24 && d[7] != 32) return false;
    if (has(13) && u16(12) == 0) return false;
    if (has(15) && u16(14) == 0) return false;
    if (has(16)) {
        const int bits = d[16];
        const bool ok = mapped      ? bits == 8 || bits == 16
                        : type == 3 ? bits == 8 || bits == 16
                                    : bits == 15 || bits == 16 || bits == 24 || bits == 32;
        if (!ok) return false;
    }
    return !has(17) || (d[17] & 0xC0) == 0;
}
constexpr size_t kTgaHeaderBytes = 18;

}  // namespace

ImageFileKind SniffImageFile(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6') return ImageFileKind::Pnm;
    if (size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0)
        return ImageFileKind::Png;
    if (size >= sizeof kJpegSignature && std::memcmp(data, kJpegSignature, sizeof kJpegSignature) == 0)
        return ImageFileKind::Jpeg;
    if (size >= sizeof kBmpSignature && std::memcmp(data, kBmpSignature, sizeof kBmpSignature) == 0)
        return ImageFileKind::Bmp;
    if (size >= kTgaHeaderBytes && tgaFieldsRead(data, size)) return ImageFileKind::Tga;
    return ImageFileKind::Unknown;
}

bool MayBeImageFile(const uint8_t* data, size_t size) {
    if (SniffImageFile(data, size) != ImageFileKind::Unknown) return true;
    auto prefixOf = [&](const uint8_t* sig, size_t n) { return size < n && std::memcmp(data, sig, size) == 0; };
    const uint8_t pnm[1] = {'P'};
    return prefixOf(pnm, 1) || prefixOf(kPngSignature, sizeof kPngSignature) ||
           prefixOf(kJpegSignature, sizeof kJpegSignature) || prefixOf(kBmpSignature, sizeof kBmpSignature) ||
           (size < kTgaHeaderBytes && tgaFieldsRead(data, size));
}

void AllocateLevel(TextureLevel& lv, uint32_t width, uint32_t height) {
    lv.width = static_cast<int>(width);
    lv.height = static_cast<int>(height);
    const size_t pixels = static_cast<size_t>(width) * height;
    lv.red.assign(pixels, 0);
    lv.green.assign(pixels, 0);
    lv.blue.assign(pixels, 0);
}

void StoreRgbRow(TextureLevel& lv, uint32_t fileRow, const uint8_t* rgb) {
    const size_t w = static_cast<size_t>(lv.width);
    const size_t base = (static_cast<size_t>(lv.height) - 1 - fileRow) * w;
    uint8_t* red = lv.red.data() + base;
    uint8_t* green = lv.green.data() + base;
    uint8_t* blue = lv.blue.data() + base;
    for (size_t x = 0; x < w; ++x) {
        red[x] = rgb[3 * x];
        green[x] = rgb[3 * x + 1];
        blue[x] = rgb[3 * x + 2];
    }
}

void LoadRgbRow(const TextureLevel& lv, uint32_t fileRow, uint8_t* rgb) {
    const size_t w = static_cast<size_t>(lv.width);
    const size_t base = (static_cast<size_t>(lv.height) - 1 - fileRow) * w;
    for (size_t x = 0; x < w; ++x) {
        rgb[3 * x] = lv.red[base + x];
        rgb[3 * x + 1] = lv.green[base + x];
        rgb[3 * x + 2] = lv.blue[base + x];
    }
}

void AppendRgbRow(TextureLevel& lv, const uint8_t* rgb) {
    const size_t w = static_cast<size_t>(lv.width);
    const size_t total = w * static_cast<size_t>(lv.height);
    if (lv.red.size() + w > lv.red.capacity()) {
        // Doubling, but never past the whole picture.
        const size_t want = std::min(total, std::max(2 * lv.red.capacity(), lv.red.size() + 16 * w));
        lv.red.reserve(want);
        lv.green.reserve(want);
        lv.blue.reserve(want);
    }
    for (size_t x = 0; x < w; ++x) {
        lv.red.push_back(rgb[3 * x]);
        lv.green.push_back(rgb[3 * x + 1]);
        lv.blue.push_back(rgb[3 * x + 2]);
    }
}

void FlipRows(TextureLevel& lv) {
    const size_t w = static_cast<size_t>(lv.width);
    for (std::vector<uint8_t>* plane : {&lv.red, &lv.green, &lv.blue}) {
        uint8_t* p = plane->data();
        for (size_t top = 0, bottom = static_cast<size_t>(lv.height) - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(p + top * w, p + top * w + w, p + bottom * w);
    }
}

}  // namespace kx
