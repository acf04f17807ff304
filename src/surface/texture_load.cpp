#include "surface/texture_load.h"

#include <cstdio>
#include <new>
#include <vector>

#include "core/limits.h"
#include "core/errors.h"
#include "core/paths.h"
#include "surface/texture_formats.h"
#include "surface/texture_levels.h"

namespace kx {

namespace {

// The file's kind is told by its first bytes, not by its name.
int parseTexture(const uint8_t* data, size_t size, const std::string& label, TextureMap& out) {
    int rc = kErrMapFormat;
    switch (SniffImageFile(data, size)) {
        case ImageFileKind::Pnm:
            out.levels.resize(1);
            rc = DecodePnm(data, size, kMaxMapPixels, out.levels[0]);
            break;
        case ImageFileKind::Png:
            out.levels.resize(1);
            rc = DecodePng(data, size, kMaxDecodedPixels, out.levels[0]);
            break;
        case ImageFileKind::Jpeg:
            out.levels.resize(1);
            rc = DecodeJpeg(data, size, kMaxDecodedPixels, out.levels[0]);
            break;
        case ImageFileKind::Unknown: break;
    }
    if (rc != kOk) return rc;
    BuildTextureLevels(out);
    out.label = label;
    return kOk;
}

// Reads a whole file; -29 when it is larger than any map file may be or
// does not start like one.
int readFile(std::FILE* f, std::vector<uint8_t>& bytes) {
    constexpr size_t kChunk = size_t{1} << 16;
    for (;;) {
        const size_t old = bytes.size();
        if (old > kMaxMapFileBytes) return kErrMapFormat;
        bytes.resize(old + kChunk);
        const size_t n = std::fread(bytes.data() + old, 1, kChunk, f);
        bytes.resize(old + n);
        if (old == 0 && !MayBeImageFile(bytes.data(), n)) return kErrMapFormat;
        if (n < kChunk) return kOk;
    }
}

}  // namespace

int ParseTextureData(const uint8_t* data, size_t size, const std::string& label, TextureMap& out) {
    out = TextureMap{};
    int rc;
    try {
        rc = parseTexture(data, size, label, out);
    } catch (const std::bad_alloc&) {
        rc = kErrDisplayMemory;
    }
    if (rc != kOk) out = TextureMap{};
    return rc;
}

int LoadTextureFile(const std::string& fileName, const std::string& label, TextureMap& out) {
    out = TextureMap{};
    // A NUL inside (a "\0" escape) would cut the name short and load
    // another file.
    if (fileName.find('\0') != std::string::npos) return kErrMapFileNotFound;
    std::FILE* f = std::fopen(ConfinedPath(fileName).c_str(), "rb");
    if (!f) return kErrMapFileNotFound;
    std::vector<uint8_t> bytes;
    int rc;
    try {
        rc = readFile(f, bytes);
    } catch (const std::bad_alloc&) {
        rc = kErrDisplayMemory;
    }
    std::fclose(f);
    if (rc != kOk) return rc;
    return ParseTextureData(bytes.data(), bytes.size(), label, out);
}

}  // namespace kx
