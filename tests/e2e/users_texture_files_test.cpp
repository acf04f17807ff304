// Texture files as users have them: the same textured scene renders the
// same picture from a PPM, PGM, PNG of every colour type, TGA and BMP of
// every layout and a JPEG of a flat image; a broken file of each kind ends
// the run with the report of a bad PNM.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/image_write.h"
#include "support/run.h"

using namespace kxtest;

namespace {

// 24 x 20 texels: 96 colours in blocks, each channel its own ramp.
Image Texture(bool flat) {
    Image im;
    im.width = 24;
    im.height = 20;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) {
            const int block = (x / 3) + 8 * (y / 2);
            im.rgb.insert(im.rgb.end(), {uint8_t(flat ? 180 : 255 - 2 * block), uint8_t(flat ? 90 : block * 2),
                                         uint8_t(flat ? 30 : (block * 53) % 256)});
        }
    return im;
}

// A quadrilateral filling most of the picture, the texture on it with
// bilinear filtering, so that every texel counts.
std::string Scene(const std::string& file) {
    return "Display \"img\" \"PNM\" \"rgb\"\nFormat 120 100\nCameraEye 0 0 4\nCameraAt 0 0 0\nCameraFOV 40\n"
           "MapLoad \"" + file + "\" \"t\"\nWorldBegin\nAmbientLight 1 1 1 1\nSurface \"painted plastic\"\n"
           "Map \"texture\" \"t\"\nMapSample \"texture\" \"linear\" \"linear\"\nKa 1\nKd 0\nKs 0\n"
           "PolySet \"PT\" 4 1\n-1.2 -1 0 0 0  1.2 -1 0 1 0  1.2 1 0 1 1  -1.2 1 0 0 1\n0 1 2 3 -1\nWorldEnd\n";
}

std::string Render(const std::string& dir, const std::string& file, const std::string& bytes) {
    WriteFile(dir, file, bytes);
    WriteFile(dir, "scene.kx", Scene(file));
    RunResult r = RunKx({"scene.kx"}, dir);
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    EXPECT_EQ(r.err, "") << file;
    return ReadFile(dir + "/img0000.ppm");
}

}  // namespace

TEST(UsersTextureFiles, EveryFileKindRendersThePnmPicture) {
    const std::string dir = MakeTempDir();
    const Image colour = Texture(false), flat = Texture(true);
    const std::string ppm = Render(dir, "t.ppm", PnmBytes(colour, false));
    const std::string pgm = Render(dir, "t.pgm", PnmBytes(colour, true));
    ASSERT_GT(ppm.size(), 120u * 100 * 3);
    ASSERT_NE(ppm, pgm);
    struct Case {
        const char* file;
        std::string bytes;
        const std::string* expected;
    } cases[] = {
        {"grey.png", PngBytes(colour, PngKind::Grey), &pgm},
        {"grey16.png", PngBytes(colour, PngKind::Grey, 16), &pgm},
        {"grey-alpha.png", PngBytes(colour, PngKind::GreyAlpha), &pgm},
        {"grey-alpha16.png", PngBytes(colour, PngKind::GreyAlpha, 16, true), &pgm},
        {"rgb.png", PngBytes(colour, PngKind::Rgb), &ppm},
        {"rgb16.png", PngBytes(colour, PngKind::Rgb, 16), &ppm},
        {"rgba.png", PngBytes(colour, PngKind::Rgba), &ppm},
        {"rgba16.png", PngBytes(colour, PngKind::Rgba, 16, true), &ppm},
        {"palette.png", PngBytes(colour, PngKind::Palette), &ppm},
        {"interlaced.png", PngBytes(colour, PngKind::Rgb, 8, true), &ppm},
        // Told by the content, not the name.
        {"png-named.ppm", PngBytes(colour, PngKind::Rgb), &ppm},
    };
    for (const Case& c : cases) EXPECT_EQ(Render(dir, c.file, c.bytes), *c.expected) << c.file;

    const std::string flatPpm = Render(dir, "flat.ppm", PnmBytes(flat, false));
    const std::string flatPgm = Render(dir, "flat.pgm", PnmBytes(flat, true));
    for (bool progressive : {false, true}) {
        EXPECT_EQ(Render(dir, "flat.jpg", JpegBytes(flat, JpegKind::YCbCr, progressive)), flatPpm) << progressive;
        EXPECT_EQ(Render(dir, "flat-rgb.jpg", JpegBytes(flat, JpegKind::Rgb, progressive)), flatPpm);
        EXPECT_EQ(Render(dir, "flat-grey.jpg", JpegBytes(flat, JpegKind::Grey, progressive)), flatPgm);
    }
}

// Every TGA and BMP layout gives the map of the PPM (or PGM) of the same
// pixels: rows stored either way up, run-length coded or not, colour-mapped,
// with alpha (ignored), and a TGA whose rows run right to left.
TEST(UsersTextureFiles, TgaAndBmpRenderThePnmPicture) {
    const std::string dir = MakeTempDir();
    const Image colour = Texture(false);
    const std::string ppm = Render(dir, "t.ppm", PnmBytes(colour, false));
    const std::string pgm = Render(dir, "t.pgm", PnmBytes(colour, true));
    for (bool topDown : {false, true}) {
        for (bool rle : {false, true}) {
            const std::string how = std::string(topDown ? " top first" : " bottom first") + (rle ? " rle" : "");
            EXPECT_EQ(Render(dir, "t.tga", TgaBytes(colour, TgaKind::Rgb, rle, topDown)), ppm) << "rgb" << how;
            EXPECT_EQ(Render(dir, "t.tga", TgaBytes(colour, TgaKind::Rgba, rle, topDown)), ppm) << "rgba" << how;
            EXPECT_EQ(Render(dir, "t.tga", TgaBytes(colour, TgaKind::Palette, rle, topDown)), ppm) << "map" << how;
            EXPECT_EQ(Render(dir, "t.tga", TgaBytes(colour, TgaKind::Grey, rle, topDown)), pgm) << "grey" << how;
        }
        for (int bits : {8, 24, 32})
            EXPECT_EQ(Render(dir, "t.bmp", BmpBytes(colour, bits, topDown)), ppm) << bits << " bits " << topDown;
    }
    Image mirrored = colour;
    for (int y = 0; y < mirrored.height; ++y)
        for (int x = 0; x < mirrored.width; ++x)
            std::copy_n(colour.at(mirrored.width - 1 - x, y), 3, &mirrored.rgb[(size_t(y) * mirrored.width + x) * 3]);
    std::string rightToLeft = TgaBytes(mirrored, TgaKind::Rgb, true, false);
    rightToLeft[17] = static_cast<char>(rightToLeft[17] | 0x10);
    EXPECT_EQ(Render(dir, "t.tga", rightToLeft), ppm);
}

TEST(UsersTextureFiles, BrokenFilesEndWithTheReportOfABadPnm) {
    const std::string dir = MakeTempDir();
    const Image colour = Texture(false);
    const std::string png = PngBytes(colour, PngKind::Rgb), jpeg = JpegBytes(colour, JpegKind::YCbCr, true, 90);
    std::string corruptPng = png, corruptJpeg = jpeg;
    corruptPng[png.size() / 2] ^= 0x40;
    corruptJpeg.replace(jpeg.size() / 2, 2, "\xFF\xD9");
    const std::string files[] = {"P6 24 20 255\n" + std::string(100, 'x'), png.substr(0, png.size() - 13),
                                 corruptPng, jpeg.substr(0, jpeg.size() / 2), corruptJpeg};
    for (const std::string& bytes : files) {
        WriteFile(dir, "bad.img", bytes);
        WriteFile(dir, "scene.kx", Scene("bad.img"));
        RunResult r = RunKx({"scene.kx"}, dir);
        EXPECT_EQ(r.status, StatusOf(-29));
        EXPECT_EQ(r.err,
                  "cannot read map file \"bad.img\"\nError in scene.kx on line 6: Map file in unrecognized format\n");
        EXPECT_EQ(r.out, "");
    }
}
