#include "support/image_write.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace kxtest {

namespace {

void pngWrite(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}
void pngFlush(png_structp) {}

uint16_t wide(uint8_t v) {
    // v * 257 is exact; an offset of up to 128 still rounds back to v but
    // changes the high byte.
    if (v == 0) return 0;
    return static_cast<uint16_t>(v * 257 + (v < 128 ? -128 : v < 255 ? 128 : -128));
}

}  // namespace

std::string PngBytes(const Image& image, PngKind kind, int depth, bool interlaced) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    int type = 0, channels = 1;
    switch (kind) {
        case PngKind::Grey: type = PNG_COLOR_TYPE_GRAY; break;
        case PngKind::GreyAlpha: type = PNG_COLOR_TYPE_GRAY_ALPHA; channels = 2; break;
        case PngKind::Rgb: type = PNG_COLOR_TYPE_RGB; channels = 3; break;
        case PngKind::Rgba: type = PNG_COLOR_TYPE_RGB_ALPHA; channels = 4; break;
        case PngKind::Palette: type = PNG_COLOR_TYPE_PALETTE; break;
    }
    png_set_IHDR(png, info, image.width, image.height, depth, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::map<uint32_t, int> palette;
    std::vector<png_color> colors;
    if (kind == PngKind::Palette) {
        for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
            uint32_t key = image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2];
            if (palette.emplace(key, static_cast<int>(colors.size())).second)
                colors.push_back({image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]});
        }
        if (colors.size() > 256) throw std::runtime_error("more than 256 colours");
        png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
        // A transparency entry, which must be ignored as alpha is.
        png_byte alpha[1] = {0};
        png_set_tRNS(png, info, alpha, 1, nullptr);
    }
    png_write_info(png, info);
    if (depth == 16) png_set_swap(png);  // rows below are in host order
    const int passes = png_set_interlace_handling(png);
    const size_t bytesPerSample = depth == 16 ? 2 : 1;
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * channels * bytesPerSample);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < image.height; ++y) {
            std::vector<uint16_t> values;
            for (int x = 0; x < image.width; ++x) {
                const uint8_t* p = image.at(x, y);
                uint8_t a = static_cast<uint8_t>(x * 37 + y * 11);
                switch (kind) {
                    case PngKind::Grey: values.push_back(p[0]); break;
                    case PngKind::GreyAlpha: values.insert(values.end(), {p[0], a}); break;
                    case PngKind::Rgb: values.insert(values.end(), {p[0], p[1], p[2]}); break;
                    case PngKind::Rgba: values.insert(values.end(), {p[0], p[1], p[2], a}); break;
                    case PngKind::Palette:
                        values.push_back(static_cast<uint16_t>(palette[p[0] << 16 | p[1] << 8 | p[2]]));
                        break;
                }
            }
            for (size_t i = 0; i < values.size(); ++i) {
                if (depth == 16) {
                    uint16_t v = wide(static_cast<uint8_t>(values[i]));
                    std::memcpy(&row[2 * i], &v, 2);
                } else {
                    row[i] = static_cast<uint8_t>(values[i]);
                }
            }
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

namespace {

// The image as a JPEG file of the kind and quality; scans() sets the scans
// after the other settings.
std::string encodeJpeg(const Image& image, JpegKind kind, int quality,
                       const std::function<void(jpeg_compress_struct&)>& scans) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = kind == JpegKind::Grey ? 1 : 3;
    cinfo.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (kind == JpegKind::Rgb) jpeg_set_colorspace(&cinfo, JCS_RGB);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind != JpegKind::Grey)  // no subsampling of the colour channels
        for (int c = 0; c < 3; ++c) cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    scans(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(image.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            if (kind == JpegKind::Grey) {
                row[static_cast<size_t>(x)] = p[0];
            } else {
                for (int c = 0; c < 3; ++c) row[static_cast<size_t>(x) * 3 + c] = p[c];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

}  // namespace

std::string JpegBytes(const Image& image, JpegKind kind, bool progressive, int quality) {
    return encodeJpeg(image, kind, quality, [&](jpeg_compress_struct& cinfo) {
        if (progressive) jpeg_simple_progression(&cinfo);
    });
}

std::string PngResized(const std::string& png, uint32_t width, uint32_t height) {
    // Signature (8), IHDR length (4), "IHDR" (4), width, height, 5 bytes,
    // then the checksum of "IHDR" and its data.
    std::string out = png;
    for (int i = 0; i < 4; ++i) {
        out[16 + i] = static_cast<char>(width >> (24 - 8 * i));
        out[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + 12), 17);
    for (int i = 0; i < 4; ++i) out[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    return out;
}

std::string JpegResized(const std::string& jpeg, uint16_t width, uint16_t height) {
    // The frame header: FF C0 or C2, length (2), precision (1), height, width.
    std::string out = jpeg;
    for (size_t i = 2; i + 9 < out.size(); ++i) {
        const uint8_t a = static_cast<uint8_t>(out[i]), b = static_cast<uint8_t>(out[i + 1]);
        if (a == 0xFF && (b == 0xC0 || b == 0xC2)) {
            out[i + 5] = static_cast<char>(height >> 8);
            out[i + 6] = static_cast<char>(height);
            out[i + 7] = static_cast<char>(width >> 8);
            out[i + 8] = static_cast<char>(width);
            break;
        }
    }
    return out;
}

std::string PnmBytes(const Image& image, bool grey) {
    std::string out = (grey ? "P5\n" : "P6\n") + std::to_string(image.width) + " " +
                      std::to_string(image.height) + "\n255\n";
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        if (grey) {
            out += static_cast<char>(image.rgb[i]);
        } else {
            out.append(reinterpret_cast<const char*>(&image.rgb[i]), 3);
        }
    }
    return out;
}

namespace {

void put16(std::string& s, unsigned v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8 & 0xFF); }
void put32(std::string& s, uint32_t v) { put16(s, v & 0xFFFF), put16(s, v >> 16); }
void put32be(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}

// The distinct colours of an image, in order of appearance, and each
// pixel's index among them.
std::vector<int> paletteOf(const Image& image, std::vector<uint32_t>& colours) {
    std::map<uint32_t, int> index;
    std::vector<int> indices;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const uint32_t key = image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2];
        auto [it, added] = index.emplace(key, static_cast<int>(colours.size()));
        if (added) colours.push_back(key);
        indices.push_back(it->second);
    }
    if (colours.size() > 256) throw std::runtime_error("more than 256 colours");
    return indices;
}

void pngChunk(std::string& out, const char* type, const std::string& data) {
    put32be(out, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    out += body;
    put32be(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

std::string deflated(const std::string& raw) {
    uLongf n = compressBound(raw.size());
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9);
    out.resize(n);
    return out;
}

std::string pngGrey(uint32_t width, uint32_t height, int depth) {
    std::string ihdr;
    put32be(ihdr, width);
    put32be(ihdr, height);
    ihdr += {static_cast<char>(depth), 0, 0, 0, 0};
    std::string out = "\x89PNG\r\n\x1A\n";
    pngChunk(out, "IHDR", ihdr);
    return out;
}

}  // namespace

std::string TgaBytes(const Image& image, TgaKind kind, bool rle, bool topDown) {
    std::vector<uint32_t> colours;
    const std::vector<int> indices = kind == TgaKind::Palette ? paletteOf(image, colours) : std::vector<int>{};
    const int bytes = kind == TgaKind::Grey || kind == TgaKind::Palette ? 1 : kind == TgaKind::Rgb ? 3 : 4;
    const int type = (kind == TgaKind::Palette ? 1 : kind == TgaKind::Grey ? 3 : 2) + (rle ? 8 : 0);
    std::string out = {4, kind == TgaKind::Palette ? '\1' : '\0', static_cast<char>(type)};
    put16(out, 0);
    put16(out, static_cast<unsigned>(colours.size()));
    out += static_cast<char>(colours.empty() ? 0 : 24);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<unsigned>(image.width));
    put16(out, static_cast<unsigned>(image.height));
    out += static_cast<char>(8 * bytes);
    out += static_cast<char>((topDown ? 0x20 : 0) | (kind == TgaKind::Rgba ? 8 : 0));
    out += "kxID";  // an image identification field, skipped by readers
    for (uint32_t c : colours) out += {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16)};
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::vector<std::string> pixels;
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            switch (kind) {
                case TgaKind::Grey: pixels.push_back(std::string(1, static_cast<char>(p[0]))); break;
                case TgaKind::Palette:
                    pixels.push_back(std::string(1, static_cast<char>(indices[size_t(y) * image.width + x])));
                    break;
                default:
                    pixels.push_back({static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])});
                    if (kind == TgaKind::Rgba) pixels.back() += static_cast<char>(x * 37 + y * 11);
            }
        }
        if (!rle) {
            for (const std::string& px : pixels) out += px;
            continue;
        }
        // Runs of equal pixels as repeat packets, the rest as raw packets,
        // at most 128 pixels each and never across a row.
        for (size_t x = 0; x < pixels.size();) {
            size_t run = 1;
            while (x + run < pixels.size() && run < 128 && pixels[x + run] == pixels[x]) ++run;
            if (run >= 2) {
                out += static_cast<char>(0x80 | (run - 1));
                out += pixels[x];
                x += run;
                continue;
            }
            size_t n = 1;
            while (x + n < pixels.size() && n < 128 && !(x + n + 1 < pixels.size() && pixels[x + n] == pixels[x + n + 1]))
                ++n;
            out += static_cast<char>(n - 1);
            for (size_t i = 0; i < n; ++i) out += pixels[x + i];
            x += n;
        }
    }
    return out;
}

std::string BmpBytes(const Image& image, int bits, bool topDown) {
    std::vector<uint32_t> colours;
    const std::vector<int> indices = bits == 8 ? paletteOf(image, colours) : std::vector<int>{};
    const size_t rowBytes = static_cast<size_t>(image.width) * (bits / 8), stride = (rowBytes + 3) / 4 * 4;
    const uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(colours.size());
    std::string out = "BM";
    put32(out, offset + static_cast<uint32_t>(stride * image.height));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(image.width));
    put32(out, static_cast<uint32_t>(topDown ? -image.height : image.height));
    put16(out, 1);
    put16(out, static_cast<unsigned>(bits));
    put32(out, 0);  // BI_RGB
    put32(out, static_cast<uint32_t>(stride * image.height));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, static_cast<uint32_t>(colours.size()));
    put32(out, 0);
    for (uint32_t c : colours) put32(out, c);
    for (int row = 0; row < image.height; ++row) {
        const int y = topDown ? row : image.height - 1 - row;
        std::string line;
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            if (bits == 8) {
                line += static_cast<char>(indices[size_t(y) * image.width + x]);
            } else {
                line += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
                if (bits == 32) line += static_cast<char>(x * 37 + y * 11);
            }
        }
        line.resize(stride, '\0');
        out += line;
    }
    return out;
}

std::string JpegManyScans(const Image& image, int scans) {
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0}, 0, 0, 0, 0});
    for (int k = 1; k <= 63 && static_cast<int>(script.size()) < scans; ++k) {
        // First the coefficient's high bits, then one bit a scan.
        script.push_back({1, {0}, k, k, 0, 7});
        for (int al = 7; al > 0 && static_cast<int>(script.size()) < scans; --al)
            script.push_back({1, {0}, k, k, al, al - 1});
    }
    // libjpeg's default quality.
    return encodeJpeg(image, JpegKind::Grey, 75, [&](jpeg_compress_struct& cinfo) {
        cinfo.scan_info = script.data();
        cinfo.num_scans = static_cast<int>(script.size());
    });
}

std::string PngWithTextBomb(int chunks, size_t inflated) {
    std::string out = pngGrey(1, 1, 8);
    const std::string text = std::string("Comment") + '\0' + '\0' + deflated(std::string(inflated, '\0'));
    for (int i = 0; i < chunks; ++i) pngChunk(out, "zTXt", text);
    pngChunk(out, "IDAT", deflated(std::string(2, '\0')));
    pngChunk(out, "IEND", "");
    return out;
}

std::string PngOneRow(uint32_t width) {
    std::string out = pngGrey(width, 1, 1);
    pngChunk(out, "IDAT", deflated(std::string(1 + (size_t{width} + 7) / 8, '\0')));
    pngChunk(out, "IEND", "");
    return out;
}

}  // namespace kxtest
