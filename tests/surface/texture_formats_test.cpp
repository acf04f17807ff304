// PNG, JPEG, TGA and BMP texture files: the same texture as a PPM or PGM of
// the same 8-bit values, and every broken file refused with the code of a
// bad PNM.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/errors.h"
#include "surface/texture_load.h"
#include "support/image_write.h"

using namespace kx;
using kxtest::Image;
using kxtest::JpegBytes;
using kxtest::JpegKind;
using kxtest::PngBytes;
using kxtest::PngKind;

namespace {

int Parse(const std::string& bytes, TextureMap& out) {
    return ParseTextureData(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "t", out);
}

TextureMap ParseOk(const std::string& bytes) {
    TextureMap m;
    EXPECT_EQ(Parse(bytes, m), kOk);
    return m;
}

// Odd sizes, 99 colours (a palette holds them), every byte value from 0 to
// 255 in some channel.
Image Picture(int w = 13, int h = 11) {
    Image im;
    im.width = w;
    im.height = h;
    im.ok = true;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = (x % 9) + 9 * (y % 11);
            im.rgb.insert(im.rgb.end(), {static_cast<uint8_t>(i * 255 / 98), static_cast<uint8_t>(255 - i * 2),
                                         static_cast<uint8_t>(i * 37 % 256)});
        }
    return im;
}

// A smooth picture, as photographs are, for lossy JPEG.
Image Smooth() {
    Image im;
    im.width = 40;
    im.height = 24;
    im.ok = true;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            im.rgb.insert(im.rgb.end(), {static_cast<uint8_t>(40 + 4 * x), static_cast<uint8_t>(30 + 7 * y),
                                         static_cast<uint8_t>(200 - 2 * x - 3 * y)});
    return im;
}

Image Flat(uint8_t r, uint8_t g, uint8_t b) {
    Image im;
    im.width = 20;
    im.height = 12;
    im.ok = true;
    for (int i = 0; i < im.width * im.height; ++i) im.rgb.insert(im.rgb.end(), {r, g, b});
    return im;
}

void ExpectSameTexture(const TextureMap& a, const TextureMap& b, const std::string& what) {
    ASSERT_EQ(a.levelCount(), b.levelCount()) << what;
    for (int L = 0; L < a.levelCount(); ++L) {
        EXPECT_EQ(a.levels[L].width, b.levels[L].width) << what;
        EXPECT_EQ(a.levels[L].height, b.levels[L].height) << what;
        EXPECT_EQ(a.levels[L].red, b.levels[L].red) << what << " level " << L;
        EXPECT_EQ(a.levels[L].green, b.levels[L].green) << what << " level " << L;
        EXPECT_EQ(a.levels[L].blue, b.levels[L].blue) << what << " level " << L;
    }
}

struct PngCase {
    PngKind kind;
    int depth;
    bool interlaced;
    const char* name;
};
const PngCase kPngCases[] = {
    {PngKind::Grey, 8, false, "grey 8"},         {PngKind::Grey, 16, true, "grey 16 interlaced"},
    {PngKind::GreyAlpha, 8, true, "grey+alpha 8 interlaced"},
    {PngKind::GreyAlpha, 16, false, "grey+alpha 16"}, {PngKind::Rgb, 8, false, "rgb 8"},
    {PngKind::Rgb, 16, false, "rgb 16"},           {PngKind::Rgb, 8, true, "rgb 8 interlaced"},
    {PngKind::Rgba, 8, false, "rgba 8"},           {PngKind::Rgba, 16, true, "rgba 16 interlaced"},
    {PngKind::Palette, 8, false, "palette"},       {PngKind::Palette, 8, true, "palette interlaced"},
};

bool IsGrey(PngKind k) { return k == PngKind::Grey || k == PngKind::GreyAlpha; }

}  // namespace

TEST(TexturePng, EveryColourTypeGivesThePnmTexture) {
    const Image im = Picture();
    const TextureMap ppm = ParseOk(kxtest::PnmBytes(im, false));
    const TextureMap pgm = ParseOk(kxtest::PnmBytes(im, true));
    ASSERT_EQ(ppm.levelCount(), 4);
    for (const PngCase& c : kPngCases) {
        const TextureMap png = ParseOk(PngBytes(im, c.kind, c.depth, c.interlaced));
        ExpectSameTexture(png, IsGrey(c.kind) ? pgm : ppm, c.name);
        EXPECT_EQ(png.label, "t");
    }
}

TEST(TextureJpeg, FlatImagesExactlyAndOthersWithinTwoLevels) {
    for (bool progressive : {false, true}) {
        const std::string how = progressive ? " progressive" : " baseline";
        const Image grey = Flat(93, 93, 93), colour = Flat(200, 71, 12);
        ExpectSameTexture(ParseOk(JpegBytes(grey, JpegKind::Grey, progressive)),
                          ParseOk(kxtest::PnmBytes(grey, true)), "grey" + how);
        ExpectSameTexture(ParseOk(JpegBytes(colour, JpegKind::Rgb, progressive)),
                          ParseOk(kxtest::PnmBytes(colour, false)), "rgb" + how);

        const Image smooth = Smooth();
        for (JpegKind kind : {JpegKind::Grey, JpegKind::YCbCr, JpegKind::Rgb}) {
            const TextureMap ppm = ParseOk(kxtest::PnmBytes(smooth, kind == JpegKind::Grey));
            const TextureMap jpeg = ParseOk(JpegBytes(smooth, kind, progressive));
            ASSERT_EQ(jpeg.levelCount(), ppm.levelCount());
            const TextureLevel &a = jpeg.levels[0], &b = ppm.levels[0];
            ASSERT_EQ(a.width, 40);
            ASSERT_EQ(a.height, 24);
            int worst = 0;
            for (size_t i = 0; i < a.red.size(); ++i)
                worst = std::max({worst, std::abs(a.red[i] - b.red[i]), std::abs(a.green[i] - b.green[i]),
                                  std::abs(a.blue[i] - b.blue[i])});
            // YCbCr files add the colour transform's own rounding (the
            // channels are stored as 8-bit Y, Cb, Cr): one level more.
            EXPECT_LE(worst, kind == JpegKind::YCbCr ? 3 : 2) << how << static_cast<int>(kind);
        }
    }
}

TEST(TextureCompressed, CorruptAndTruncatedFilesAreRefusedAsABadPnm) {
    const Image im = Picture(24, 20);
    std::vector<std::pair<std::string, std::string>> files;
    for (const PngCase& c : kPngCases) files.emplace_back(c.name, PngBytes(im, c.kind, c.depth, c.interlaced));
    files.emplace_back("jpeg", JpegBytes(im, JpegKind::YCbCr, false, 90));
    files.emplace_back("jpeg progressive", JpegBytes(im, JpegKind::YCbCr, true, 90));
    files.emplace_back("jpeg grey", JpegBytes(im, JpegKind::Grey, false, 90));
    for (const auto& [name, bytes] : files) {
        ParseOk(bytes);
        // Every cut, wherever it falls.
        for (size_t n = 0; n < bytes.size(); ++n) {
            TextureMap m;
            m.label = "stale";
            ASSERT_EQ(Parse(bytes.substr(0, n), m), kErrMapFormat) << name << " cut at " << n;
            EXPECT_EQ(m.levelCount(), 0);
            EXPECT_EQ(m.label, "");
        }
        // One byte changed in the second half: the image data.
        for (size_t at = bytes.size() / 2; at + 16 < bytes.size(); at += 7) {
            std::string bad = bytes;
            bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            TextureMap m;
            const int rc = Parse(bad, m);
            // A JPEG's entropy-coded data may still decode (to other pixels):
            // what matters is that a refusal is -29.
            if (name.rfind("jpeg", 0) == 0 && rc == kOk) continue;
            EXPECT_EQ(rc, kErrMapFormat) << name << " changed at " << at;
        }
    }

    // A JPEG whose scan data stops early at an end marker.
    const std::string jpeg = JpegBytes(im, JpegKind::YCbCr, false, 90);
    std::string early = jpeg;
    early.replace(early.size() - 40, 2, "\xFF\xD9");
    TextureMap m;
    EXPECT_EQ(Parse(early, m), kErrMapFormat);
    // A PNG signature on JPEG data, and the other way round.
    EXPECT_EQ(Parse("\x89PNG\r\n\x1A\n" + jpeg.substr(8), m), kErrMapFormat);
    EXPECT_EQ(Parse("\xFF\xD8\xFF" + PngBytes(im, PngKind::Rgb).substr(3), m), kErrMapFormat);
}

// TGA and BMP (each layout is also rendered end to end): a file cut
// anywhere, a colour map that does not start at entry 0, a BMP pixel
// indexing past its colour map, and headers no decoder reads are refused
// as a bad PNM, not decoded into zeros or whatever memory held.
TEST(TextureTgaBmp, CutOrInconsistentFilesAreRefusedAsABadPnm) {
    using kxtest::BmpBytes;
    using kxtest::TgaBytes;
    using kxtest::TgaKind;
    const Image im = Picture(24, 20);
    const TextureMap ppm = ParseOk(kxtest::PnmBytes(im, false));
    const std::pair<std::string, std::string> files[] = {
        {"tga rgb", TgaBytes(im, TgaKind::Rgb, false, false)},
        {"tga rgba rle", TgaBytes(im, TgaKind::Rgba, true, true)},
        {"tga map rle", TgaBytes(im, TgaKind::Palette, true, false)},
        {"tga map", TgaBytes(im, TgaKind::Palette, false, true)},
        {"bmp 8", BmpBytes(im, 8, false)},
        {"bmp 24", BmpBytes(im, 24, true)},
        {"bmp 32", BmpBytes(im, 32, false)},
    };
    for (const auto& [name, bytes] : files) {
        ExpectSameTexture(ParseOk(bytes), ppm, name);
        for (size_t n = 0; n < bytes.size(); ++n) {
            TextureMap m;
            ASSERT_EQ(Parse(bytes.substr(0, n), m), kErrMapFormat) << name << " cut at " << n;
            EXPECT_EQ(m.levelCount(), 0);
        }
    }
    TextureMap m;
    std::string tga = TgaBytes(im, TgaKind::Palette, false, false);
    tga[3] = 1;  // the first colour-map entry
    EXPECT_EQ(Parse(tga, m), kErrMapFormat);
    std::string bmp = BmpBytes(im, 8, true);
    bmp[bmp.size() - 1] = static_cast<char>(0xF0);  // 99 entries
    EXPECT_EQ(Parse(bmp, m), kErrMapFormat);
    // Headers of no kind read: a TGA of width or height 0, with interleaved
    // rows, of 8-bit true colour; a BMP of two planes, run-length coded.
    for (auto [at, value] : {std::pair{12, 0}, {14, 0}, {17, 0x40}, {16, 8}}) {
        std::string bad = TgaBytes(im, TgaKind::Rgb, false, false);
        bad[at] = static_cast<char>(value);
        EXPECT_EQ(Parse(bad, m), kErrMapFormat) << at;
    }
    for (auto [at, value] : {std::pair{26, 2}, {30, 1}}) {
        std::string bad = BmpBytes(im, 24, false);
        bad[at] = static_cast<char>(value);
        EXPECT_EQ(Parse(bad, m), kErrMapFormat) << at;
    }
}
