#include "support/png_read.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace kxtest {

namespace {

// Decodes into img; libpng long-jumps back here on a broken file, so the
// function owns nothing with a destructor.
bool Decode(std::FILE* f, Image& img) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB ||
        png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    img.width = static_cast<int>(png_get_image_width(png, info));
    img.height = static_cast<int>(png_get_image_height(png, info));
    img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
    for (int y = 0; y < img.height; ++y) png_read_row(png, img.rgb.data() + static_cast<size_t>(y) * img.width * 3, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

Image ReadPNG(const std::string& path) {
    Image img;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return img;
    img.ok = Decode(f, img);
    std::fclose(f);
    if (!img.ok) img = Image();
    return img;
}

}  // namespace kxtest
