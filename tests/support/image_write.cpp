#include "support/image_write.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string JpegBytes(const Image& image, JpegKind kind, bool progressive, int quality) {
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
    if (progressive) jpeg_simple_progression(&cinfo);
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

}  // namespace kxtest
