// PNM texture files (P1 to P6, plain and raw) read by hand.
#include <climits>
#include <cstring>

#include "core/errors.h"
#include "surface/texture_formats.h"
#include "surface/texture_rows.h"

namespace kx {

namespace {

bool isBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// A read position in the bytes of a map file. Every read checks the end.
class Cursor {
public:
    Cursor(const uint8_t* p, size_t n) : p_(p), end_(p + n) {}

    size_t remaining() const { return static_cast<size_t>(end_ - p_); }
    const uint8_t* here() const { return p_; }
    void advance(size_t n) { p_ += n; }

    // White space and comments ('#' to the end of the line).
    void skipBlanks() {
        while (p_ < end_) {
            if (isBlank(*p_)) {
                ++p_;
            } else if (*p_ == '#') {
                while (p_ < end_ && *p_ != '\n' && *p_ != '\r') ++p_;
            } else {
                break;
            }
        }
    }

    // A decimal header number no larger than limit.
    bool number(uint64_t limit, uint64_t& out) {
        skipBlanks();
        if (p_ == end_ || !isDigit(*p_)) return false;
        uint64_t v = 0;
        while (p_ < end_ && isDigit(*p_)) {
            v = v * 10 + (*p_++ - '0');
            if (v > limit) return false;
        }
        out = v;
        return true;
    }

    // A plain sample: a decimal number of which the low 8 bits are kept.
    bool sample(uint8_t& out) {
        skipBlanks();
        if (p_ == end_ || !isDigit(*p_)) return false;
        unsigned v = 0;
        while (p_ < end_ && isDigit(*p_)) v = (v * 10 + (*p_++ - '0')) & 0xFFu;
        out = static_cast<uint8_t>(v);
        return true;
    }

    // A plain bitmap pixel: '0' or '1', separators optional.
    bool bit(bool& out) {
        skipBlanks();
        if (p_ == end_ || (*p_ != '0' && *p_ != '1')) return false;
        out = *p_++ == '1';
        return true;
    }

    bool skipOne() {
        if (p_ == end_) return false;
        ++p_;
        return true;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// Bitmap pixels: 1 is black, 0 is white.
uint8_t bitValue(bool set) { return set ? 0 : 255; }

// Fewest bytes of pixel data a file of this type and size can have: raw
// data has its exact size; a plain sample takes at least one character and
// is separated from the next one (bitmap pixels need no separator).
uint64_t minimumDataBytes(int type, uint64_t w, uint64_t h) {
    const uint64_t pixels = w * h;
    switch (type) {
        case 1: return pixels;
        case 2: return 2 * pixels - 1;
        case 3: return 6 * pixels - 1;
        case 4: return (w + 7) / 8 * h;
        case 5: return pixels;
        default: return 3 * pixels;
    }
}

// Decodes the pixel data into level 0 (whose planes are allocated). The
// file's rows run from the top of the image down, the planes' from the
// bottom up.
bool decodePixels(int type, Cursor& in, TextureLevel& lv) {
    const size_t w = static_cast<size_t>(lv.width);
    const int h = lv.height;
    for (int r = 0; r < h; ++r) {
        const size_t base = static_cast<size_t>(h - 1 - r) * w;
        uint8_t* red = lv.red.data() + base;
        uint8_t* green = lv.green.data() + base;
        uint8_t* blue = lv.blue.data() + base;
        switch (type) {
            case 1:
                for (size_t x = 0; x < w; ++x) {
                    bool set;
                    if (!in.bit(set)) return false;
                    red[x] = bitValue(set);
                }
                break;
            case 2:
                for (size_t x = 0; x < w; ++x)
                    if (!in.sample(red[x])) return false;
                break;
            case 3:
                for (size_t x = 0; x < w; ++x)
                    if (!in.sample(red[x]) || !in.sample(green[x]) || !in.sample(blue[x])) return false;
                break;
            case 4: {
                const size_t rowBytes = (w + 7) / 8;
                if (in.remaining() < rowBytes) return false;
                const uint8_t* p = in.here();
                for (size_t x = 0; x < w; ++x) red[x] = bitValue((p[x >> 3] >> (7 - (x & 7))) & 1);
                in.advance(rowBytes);
                break;
            }
            case 5:
                if (in.remaining() < w) return false;
                std::memcpy(red, in.here(), w);
                in.advance(w);
                break;
            default: {
                if (in.remaining() / 3 < w) return false;
                const uint8_t* p = in.here();
                for (size_t x = 0; x < w; ++x) {
                    red[x] = p[3 * x];
                    green[x] = p[3 * x + 1];
                    blue[x] = p[3 * x + 2];
                }
                in.advance(3 * w);
                break;
            }
        }
        if (type != 3 && type != 6) {  // one sample per pixel: grey
            std::memcpy(green, red, w);
            std::memcpy(blue, red, w);
        }
    }
    return true;
}

}  // namespace

int DecodePnm(const uint8_t* data, size_t size, uint64_t maxPixels, TextureLevel& out) {
    if (SniffImageFile(data, size) != ImageFileKind::Pnm) return kErrMapFormat;
    const int type = data[1] - '0';
    Cursor in(data + 2, size - 2);

    uint64_t w = 0, h = 0, maxValue = 0;
    if (!in.number(INT_MAX, w) || !in.number(INT_MAX, h)) return kErrMapFormat;
    if (type != 1 && type != 4 && !in.number(INT_MAX, maxValue)) return kErrMapFormat;  // not used
    if (!in.skipOne()) return kErrMapFormat;
    if (w == 0 || h == 0 || w * h > maxPixels) return kErrMapFormat;
    if (minimumDataBytes(type, w, h) > in.remaining()) return kErrMapFormat;

    AllocateLevel(out, static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    if (!decodePixels(type, in, out)) return kErrMapFormat;
    return kOk;
}

}  // namespace kx
