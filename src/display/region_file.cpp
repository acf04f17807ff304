#include "display/region_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "core/paths.h"
#include "core/printable.h"
#include "display/file_write.h"
#include "display/png_device.h"
#include "display/ppm_device.h"

namespace kx {

namespace {

constexpr char kMagic[] = "KXREGION 1\n";

std::string Bounds(const ImageRegion& r) {
    return std::to_string(r.x0) + " " + std::to_string(r.y0) + " " + std::to_string(r.x1) + " " +
           std::to_string(r.y1);
}

// Reads the header fields of a region file from an open stream.
class HeaderReader {
public:
    explicit HeaderReader(std::FILE* f) : f_(f) {}

    // The exact text.
    bool literal(const char* text) {
        for (const char* p = text; *p; ++p)
            if (std::fgetc(f_) != static_cast<unsigned char>(*p)) return false;
        return true;
    }
    // A decimal number (optionally negative) ended by the character after.
    bool number(long long& value, char after) {
        std::string digits;
        int c = std::fgetc(f_);
        if (c == '-') {
            digits += '-';
            c = std::fgetc(f_);
        }
        while (c >= '0' && c <= '9' && digits.size() < 12) {
            digits += static_cast<char>(c);
            c = std::fgetc(f_);
        }
        if (c != static_cast<unsigned char>(after) || digits.empty() || digits == "-") return false;
        value = std::strtoll(digits.c_str(), nullptr, 10);
        return value >= INT_MIN && value <= INT_MAX;
    }
    bool number(int& value, char after) {
        long long v = 0;
        if (!number(v, after)) return false;
        value = static_cast<int>(v);
        return true;
    }
    // count bytes ended by the character after.
    bool bytes(std::string& out, long long count, char after) {
        if (count < 0 || count > 4096) return false;
        out.resize(static_cast<size_t>(count));
        if (count > 0 && std::fread(out.data(), 1, out.size(), f_) != out.size()) return false;
        return std::fgetc(f_) == static_cast<unsigned char>(after);
    }

private:
    std::FILE* f_;
};

}  // namespace

std::string RegionFileName(const std::string& image, const ImageRegion& r) {
    return image + ".region-" + std::to_string(r.x0) + "-" + std::to_string(r.y0) + "-" + std::to_string(r.x1) +
           "-" + std::to_string(r.y1);
}

int WriteRegionFile(const std::string& image, const char* format, int frame, const FrameBuffer& buffer,
                    const ImageRegion& r) {
    const std::string base = BaseName(image);
    return WriteWholeFile(RegionFileName(image, r), [&](std::FILE* f) {
        if (std::fprintf(f, "%simage %zu ", kMagic, base.size()) < 0) return false;
        if (std::fwrite(base.data(), 1, base.size(), f) != base.size()) return false;
        if (std::fprintf(f, "\nformat %s\nframe %d\nsize %d %d\nregion %s\npixels\n", format, frame, buffer.width,
                         buffer.height, Bounds(r).c_str()) < 0)
            return false;
        const size_t rowBytes = static_cast<size_t>(r.x1 - r.x0) * 3;
        for (int y = r.y0; y < r.y1; ++y) {
            const uint8_t* row = &buffer.pixels[(static_cast<size_t>(y) * buffer.width + r.x0) * 3];
            if (std::fwrite(row, 1, rowBytes, f) != rowBytes) return false;
        }
        return true;
    });
}

bool ReadRegionFile(const std::string& path, RegionFile& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + PrintableName(path) + ": " + std::strerror(errno);
        return false;
    }
    out = RegionFile();
    out.path = path;
    HeaderReader in(f);
    long long nameLength = 0;
    ImageRegion& r = out.region;
    bool ok = in.literal(kMagic) && in.literal("image ") && in.number(nameLength, ' ') &&
              in.bytes(out.image, nameLength, '\n') && in.literal("format p");
    if (ok) {
        std::string rest;
        ok = in.bytes(rest, 2, '\n') && (rest == "pm" || rest == "ng");
        out.format = "p" + rest;
    }
    ok = ok && in.literal("frame ") && in.number(out.frame, '\n') && in.literal("size ") &&
         in.number(out.width, ' ') && in.number(out.height, '\n') && in.literal("region ") && in.number(r.x0, ' ') &&
         in.number(r.y0, ' ') && in.number(r.x1, ' ') && in.number(r.y1, '\n') && in.literal("pixels\n");
    r.given = true;
    ok = ok && out.width > 0 && out.height > 0 &&
         static_cast<long long>(out.width) * out.height <= kMaxImagePixels && r.x0 >= 0 && r.y0 >= 0 &&
         r.x0 < r.x1 && r.y0 < r.y1 && r.x1 <= out.width && r.y1 <= out.height && !out.image.empty() &&
         out.image.find('/') == std::string::npos;
    if (ok) {
        out.pixels.resize(static_cast<size_t>(r.pixels()) * 3);
        ok = std::fread(out.pixels.data(), 1, out.pixels.size(), f) == out.pixels.size() && std::fgetc(f) == EOF;
    }
    std::fclose(f);
    if (!ok) {
        out.pixels.clear();
        error = PrintableName(path) + " is not a complete region file";
    }
    return ok;
}

bool AssembleRegions(const std::vector<RegionFile>& regions, FrameBuffer& image, std::string& error) {
    if (regions.empty()) {
        error = "no region files";
        return false;
    }
    const RegionFile& first = regions.front();
    auto describe = [](const RegionFile& r) {
        return PrintableName(r.image) + " (frame " + std::to_string(r.frame) + ", " + std::to_string(r.width) +
               " x " + std::to_string(r.height) + ")";
    };
    long long covered = 0;
    for (size_t i = 0; i < regions.size(); ++i) {
        const RegionFile& r = regions[i];
        if (r.image != first.image || r.format != first.format || r.frame != first.frame || r.width != first.width ||
            r.height != first.height) {
            error = PrintableName(r.path) + " is a region of " + describe(r) + ", " + PrintableName(first.path) +
                    " of " + describe(first);
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            const ImageRegion& a = regions[j].region;
            const ImageRegion& b = r.region;
            if (a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1) {
                error = "regions " + Bounds(a) + " (" + PrintableName(regions[j].path) + ") and " + Bounds(b) + " (" +
                        PrintableName(r.path) + ") overlap";
                return false;
            }
        }
        covered += r.region.pixels();
    }
    if (covered != static_cast<long long>(first.width) * first.height) {
        // Without overlaps, a pixel is missing: find the first one.
        for (int y = 0; y < first.height; ++y) {
            std::vector<std::pair<int, int>> spans;
            for (const RegionFile& r : regions)
                if (r.region.y0 <= y && y < r.region.y1) spans.emplace_back(r.region.x0, r.region.x1);
            std::sort(spans.begin(), spans.end());
            int x = 0;
            for (const auto& s : spans) {
                if (s.first > x) break;
                x = std::max(x, s.second);
            }
            if (x < first.width) {
                error = "no region holds pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") of " +
                        describe(first);
                return false;
            }
        }
    }
    if (!image.allocate(first.width, first.height)) {
        error = "not enough memory for " + describe(first);
        return false;
    }
    for (const RegionFile& r : regions) {
        const size_t rowBytes = static_cast<size_t>(r.region.x1 - r.region.x0) * 3;
        for (int y = r.region.y0; y < r.region.y1; ++y)
            std::memcpy(image.row(y) + static_cast<size_t>(r.region.x0) * 3,
                        &r.pixels[static_cast<size_t>(y - r.region.y0) * rowBytes], rowBytes);
    }
    return true;
}

int WriteAssembledImage(const std::string& path, const std::string& format, const FrameBuffer& image) {
    if (format == "png") return WriteWholeFile(path, [&](std::FILE* f) { return WritePng(f, image); });
    return WriteWholeFile(path, [&](std::FILE* f) { return WritePpm(f, image); }, PpmFileSize(image));
}

}  // namespace kx
