#include "surface/texture_load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    int (*decode)(const uint8_t*, size_t, uint64_t, TextureLevel&) = nullptr;
    uint64_t maxPixels = kMaxDecodedPixels;
    switch (SniffImageFile(data, size)) {
        case ImageFileKind::Pnm:
            decode = DecodePnm;
            maxPixels = kMaxMapPixels;
            break;
        case ImageFileKind::Png: decode = DecodePng; break;
        case ImageFileKind::Jpeg: decode = DecodeJpeg; break;
        case ImageFileKind::Tga: decode = DecodeTga; break;
        case ImageFileKind::Bmp: decode = DecodeBmp; break;
        case ImageFileKind::Unknown: return kErrMapFormat;
    }
    out.levels.resize(1);
    const int rc = decode(data, size, maxPixels, out.levels[0]);
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
        if (n < kChunk && std::ferror(f)) return kErrMapFormat;  // errno tells why
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

int LoadTextureFile(const std::string& fileName, const std::string& label, TextureMap& out, int* why) {
    out = TextureMap{};
    int unused = 0;
    int& error = why ? *why : unused;
    error = 0;
    // A NUL inside (a "\0" escape) would cut the name short and load
    // another file.
    if (fileName.find('\0') != std::string::npos) {
        error = EINVAL;
        return kErrMapFileNotFound;
    }
    // Without waiting for a writer: a FIFO or a terminal is no map file and
    // must not hold the run up (a folder is none either).
    const int fd = open(ConfinedPath(fileName).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return kErrMapFileNotFound;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : 0;
        close(fd);
        return kErrMapFormat;
    }
    std::FILE* f = fdopen(fd, "rb");
    if (!f) {
        error = errno;
        close(fd);
        return kErrMapFileNotFound;
    }
    std::vector<uint8_t> bytes;
    int rc;
    errno = 0;
    try {
        rc = readFile(f, bytes);
    } catch (const std::bad_alloc&) {
        rc = kErrDisplayMemory;
    }
    if (rc == kErrMapFormat && std::ferror(f)) error = errno != 0 ? errno : EIO;
    std::fclose(f);
    if (rc != kOk) return rc;
    return ParseTextureData(bytes.data(), bytes.size(), label, out);
}

}  // namespace kx
