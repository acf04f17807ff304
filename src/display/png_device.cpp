#include "display/png_device.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <string>

#include "core/errors.h"
#include "core/printable.h"

namespace kx {

namespace {

// libpng reports through these; the caller prints one message of its own.
[[noreturn]] void PngError(png_structp png, png_const_charp) {
    if (errno == 0) errno = EIO;  // keep the system's reason when there is one
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePng(std::FILE* f, const FrameBuffer& image) {
    if (image.width <= 0 || image.height <= 0) {
        errno = EINVAL;  // a PNG has at least one pixel
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // Nothing below owns resources besides png and info, so a long jump out
    // of libpng leaves nothing behind.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    // The images the devices allocate may be wider or taller than libpng's
    // default limit of a million.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(image.width) * 3;
    for (int y = 0; y < image.height; ++y) png_write_row(png, image.pixels.data() + stride * static_cast<size_t>(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

int PngDevice::ImageShow() {
    if (fileName().empty() || shown()) return 0;  // no image begun, or already written
    if (buffer().width <= 0 || buffer().height <= 0) {
        // A PNG has at least one pixel: an empty format writes no file, as a
        // scene without any image would not.
        std::string text = PrintableName(fileName()) + " not written: an image without pixels has no PNG form\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
        markShown();
        return 0;
    }
    return ImageFileDevice::ImageShow();
}

}  // namespace kx
