// PNG texture files through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/errors.h"
#include "core/limits.h"
#include "surface/texture_formats.h"
#include "surface/texture_rows.h"

namespace kx {

namespace {

struct PngSource {
    const uint8_t* p;
    size_t left;
};

[[noreturn]] void pngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngIgnore(png_structp, png_const_charp) {}

void pngRead(png_structp png, png_bytep out, size_t n) {
    PngSource* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->left) png_error(png, "truncated");
    std::memcpy(out, src->p, n);
    src->p += n;
    src->left -= n;
}

// Deflate packs at most 1032 bytes into one: image data larger than this
// many times the file cannot be in it, and the file is refused unread.
constexpr uint64_t kMaxInflateRatio = 1032;

// Chunks that play no part in the pixels: they are skipped unread (their
// checksums still checked), so that no text or profile is decompressed.
const png_byte kSkippedChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
                                  "sCAL\0sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";
constexpr int kSkippedChunkCount = sizeof kSkippedChunks / 5;

// libpng's allocations, noting one that memory refused: libpng then stops
// with an error like any other, which is no fault of the file.
png_voidp pngAllocate(png_structp png, png_alloc_size_t n) {
    png_voidp p = std::malloc(n);
    if (!p) *static_cast<volatile bool*>(png_get_mem_ptr(png)) = true;
    return p;
}
void pngRelease(png_structp, png_voidp p) { std::free(p); }

// Owns libpng's structures for the decoder, also when libpng jumps out.
struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    volatile bool memoryRefused = false;
    ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Every chunk (length, type, data, checksum) lies within the file and the
// last is IEND. libpng allocates a chunk's claimed length before reading it;
// walked first, no claim can exceed what the file holds.
bool chunksFit(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (size - at >= 12) {
        const uint32_t length = uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 |
                                uint32_t{data[at + 2]} << 8 | data[at + 3];
        if (length > size - at - 12) return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        at += 12 + size_t{length};
    }
    return false;
}

}  // namespace

int DecodePng(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out) {
    if (SniffImageFile(data, size) != ImageFileKind::Png || !chunksFit(data, size)) return kErrMapFormat;
    // Everything that owns memory is made before the jump target, so a jump
    // out of libpng leaves nothing behind.
    PngReader r;
    std::vector<uint8_t> row;
    PngSource src{data, size};
    r.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngIgnore,
                                     const_cast<bool*>(&r.memoryRefused),
                                     pngAllocate, pngRelease);
    if (!r.png) throw std::bad_alloc();
    r.info = png_create_info_struct(r.png);
    if (!r.info) throw std::bad_alloc();
    if (setjmp(png_jmpbuf(r.png))) return r.memoryRefused ? kErrDisplayMemory : kErrMapFormat;

    png_set_read_fn(r.png, &src, pngRead);
    // The size is checked below against our own limit, not libpng's.
    png_set_user_limits(r.png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_malloc_max(r.png, 8u << 20);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
    if (kFuzzingBuild) {
        // Mutated files rarely keep their checksums: fuzzing looks past them.
        png_set_crc_action(r.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
        png_set_option(r.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    } else {
        // A damaged chunk makes the file corrupt, even one that adds nothing
        // to the pixels.
        png_set_crc_action(r.png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
    }
    png_read_info(r.png, r.info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    const uint64_t pixels = uint64_t{width} * height;
    if (width == 0 || height == 0 || width > kMaxPngWidth || pixels > maxPixels) return kErrMapFormat;
    const uint64_t rawBytes = (uint64_t{width} * png_get_channels(r.png, r.info) * depth + 7) / 8 * height;
    if (rawBytes > kMaxInflateRatio * size) return kErrMapFormat;

    // Always 8-bit red, green, blue.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (depth == 16) png_set_scale_16(r.png);  // rounds to the nearest 8-bit value
    // Expanding a palette turns its transparency entries into alpha.
    if ((colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(r.png, r.info, PNG_INFO_tRNS))
        png_set_strip_alpha(r.png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(r.png);
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != size_t{width} * 3) return kErrMapFormat;

    AllocateLevel(out, width, height);  // may throw bad_alloc; r cleans up
    row.resize(size_t{width} * 3);
    // Interlaced images come in passes, each adding to the rows so far.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            if (pass > 0) LoadRgbRow(out, y, row.data());
            png_read_row(r.png, row.data(), nullptr);
            StoreRgbRow(out, y, row.data());
        }
    }
    png_read_end(r.png, nullptr);  // the file must be whole
    return kOk;
}

}  // namespace kx
