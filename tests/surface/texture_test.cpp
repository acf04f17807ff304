#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <new>

#include "support/process_state.h"
#include "core/errors.h"
#include "surface/map_list.h"
#include "surface/texture_load.h"
#include "support/image_write.h"
#include "support/run.h"

using namespace kx;

namespace {

std::string PNM(const std::string& header, const std::vector<uint8_t>& data) {
    return header + std::string(data.begin(), data.end());
}

int Parse(const std::string& bytes, TextureMap& out) {
    return ParseTextureData(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "t", out);
}

TextureMap ParseOk(const std::string& bytes) {
    TextureMap m;
    EXPECT_EQ(Parse(bytes, m), 0) << bytes.substr(0, 40);
    return m;
}

// A raw greymap of w x h from the rows of the image, top row first.
std::string Grey(int w, int h, const std::vector<uint8_t>& topFirst) {
    return PNM("P5 " + std::to_string(w) + " " + std::to_string(h) + " 255\n", topFirst);
}

// Plane bytes of a level, row 0 = bottom row of the image.
std::vector<uint8_t> Red(const TextureMap& m, int level) { return m.levels[level].red; }

std::string TempFile(const std::string& name, const std::string& bytes) {
    static const std::string dir = kxtest::MakeTempDir();
    return kxtest::WriteFile(dir, name, bytes);
}

float Byte(float value) { return value / 255.9999f; }

// A file with its width and height (little-endian, `bytes` bytes each from
// `at`) rewritten.
std::string Resized(std::string file, size_t at, uint32_t width, uint32_t height, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        file[at + i] = static_cast<char>(width >> (8 * i));
        file[at + bytes + i] = static_cast<char>(height >> (8 * i));
    }
    return file;
}

kxtest::Image Tiny() {
    kxtest::Image im;
    im.width = im.height = 8;
    im.rgb.assign(8 * 8 * 3, 77);
    return im;
}

}  // namespace

// ---------------------------------------------------------------------------
// Level chain

TEST(TextureLevels, CountsAndSizes) {
    EXPECT_EQ(ParseOk(Grey(256, 256, std::vector<uint8_t>(256 * 256, 7))).levelCount(), 9);
    EXPECT_EQ(ParseOk(Grey(1, 1, {9})).levelCount(), 1);
    EXPECT_EQ(ParseOk(Grey(3, 2, std::vector<uint8_t>(6))).levelCount(), 2);
    EXPECT_EQ(ParseOk(Grey(100, 7, std::vector<uint8_t>(700))).levelCount(), 3);

    // 640 x 480: 9 levels (480 has 9 binary digits), ending at 2 x 1. The
    // left half is 200, the right half 10, so the last level is (200, 10);
    // level 7 (5 x 3, footprints 128 x 160) has its middle texel straddling
    // the edge: (200 + 10) / 2 = 105 exactly.
    std::vector<uint8_t> img(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) img[y * 640 + x] = x < 320 ? 200 : 10;
    TextureMap m = ParseOk(Grey(640, 480, img));
    ASSERT_EQ(m.levelCount(), 9);
    for (int L = 0; L < 9; ++L) {
        EXPECT_EQ(m.levels[L].width, 640 >> L);
        EXPECT_EQ(m.levels[L].height, 480 >> L);
        EXPECT_EQ(m.levels[L].red.size(), static_cast<size_t>((640 >> L) * (480 >> L)));
    }
    EXPECT_EQ(Red(m, 8), (std::vector<uint8_t>{200, 10}));
    EXPECT_EQ(Red(m, 7), (std::vector<uint8_t>{200, 200, 105, 10, 10, 200, 200, 105, 10, 10, 200, 200, 105, 10, 10}));
}

TEST(TextureLevels, PowerOfTwoAverages) {
    // 4 x 4, bottom row first in the planes. Level 1 averages 2 x 2 blocks,
    // level 2 all sixteen.
    //   top    0  40  80 120
    //          0  40  80 120
    //          1   2 255 255
    //   bottom 2   2 255 254
    TextureMap m = ParseOk(Grey(4, 4, {0, 40, 80, 120, 0, 40, 80, 120, 1, 2, 255, 255, 2, 2, 255, 254}));
    ASSERT_EQ(m.levelCount(), 3);
    // (1+2+2+2)/4 = 1.75 -> 2; (255+255+255+254)/4 = 254.75 -> 255;
    // (0+40+0+40)/4 = 20; (80+120+80+120)/4 = 100.
    EXPECT_EQ(Red(m, 1), (std::vector<uint8_t>{2, 255, 20, 100}));
    // (513 + 513 + 240 + 240) / 16 = 94.125 -> 94
    EXPECT_EQ(Red(m, 2), (std::vector<uint8_t>{94}));
}

TEST(TextureLevels, FractionalFootprintsAndHalfRoundingDown) {
    // 5 x 2 -> 2 x 1. Texel 0 covers columns [0, 2.5): weights 1, 1, 1/2;
    // texel 1 covers [2.5, 5): 1/2, 1, 1. Both rows weigh 1; the area is 5.
    //   top     0  1  4  9 10
    //   bottom  0  0  1  0  0
    // texel 0: (0 + 1 + (4 + 1) / 2) / 5 = 3.5 / 5 = 0.7 -> 1
    // texel 1: ((4 + 1) / 2 + 9 + 10) / 5 = 21.5 / 5 = 4.3 -> 4
    TextureMap a = ParseOk(Grey(5, 2, {0, 1, 4, 9, 10, 0, 0, 1, 0, 0}));
    EXPECT_EQ(Red(a, 1), (std::vector<uint8_t>{1, 4}));

    // Exact halves round down: texel 0 = (2 + 2 + 3.5) / 5 = 1.5 -> 1;
    // texel 1 = (3.5 + 4 + 5) / 5 = 2.5 -> 2. Just above a half rounds up:
    // with the 7 raised to 8, texel 0 = 8 / 5 = 1.6 -> 2 and texel 1 =
    // (4 + 4 + 5) / 5 = 2.6 -> 3.
    TextureMap b = ParseOk(Grey(5, 2, {1, 1, 7, 2, 3, 1, 1, 0, 2, 2}));
    EXPECT_EQ(Red(b, 1), (std::vector<uint8_t>{1, 2}));
    TextureMap c = ParseOk(Grey(5, 2, {1, 1, 8, 2, 3, 1, 1, 0, 2, 2}));
    EXPECT_EQ(Red(c, 1), (std::vector<uint8_t>{2, 3}));

    // 3 x 3 -> 1 x 1: nine values; 9k + 4 rounds down, 9k + 5 up.
    EXPECT_EQ(Red(ParseOk(Grey(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 5})), 1), (std::vector<uint8_t>{1}));
    EXPECT_EQ(Red(ParseOk(Grey(3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 6})), 1), (std::vector<uint8_t>{2}));
    // All 255 stays 255 (no overflow, no rounding drift) at every level.
    TextureMap w = ParseOk(Grey(37, 23, std::vector<uint8_t>(37 * 23, 255)));
    for (int L = 0; L < w.levelCount(); ++L)
        for (uint8_t v : w.levels[L].red) ASSERT_EQ(v, 255) << L;
}

// ---------------------------------------------------------------------------
// File formats

TEST(TextureFormats, EveryFormatDecodesTheSameImage) {
    // 3 x 2, top row red green blue, bottom row white black grey(128).
    const std::vector<uint8_t> pix = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 128, 128, 128};
    TextureMap raw = ParseOk(PNM("P6\n# made by hand\n3 2\n255\n", pix));
    TextureMap plain = ParseOk("P3 # comment right after the magic\n3 #w\n2 #h\n#\n255\n"
                               "255 0 0  0 255 0  0 0 255\n255 255 255 0 0 0 128 128 128\n");
    for (const TextureMap* m : {&raw, &plain}) {
        const TextureLevel& l = m->levels[0];
        ASSERT_EQ(l.width, 3);
        ASSERT_EQ(l.height, 2);
        EXPECT_EQ(l.red, (std::vector<uint8_t>{255, 0, 128, 255, 0, 0}));
        EXPECT_EQ(l.green, (std::vector<uint8_t>{255, 0, 128, 0, 255, 0}));
        EXPECT_EQ(l.blue, (std::vector<uint8_t>{255, 0, 128, 0, 0, 255}));
    }

    // Greymaps fill all three planes; plain samples keep their low 8 bits.
    TextureMap g5 = ParseOk(Grey(2, 2, {1, 2, 3, 44}));
    TextureMap g2 = ParseOk("P2\r\n2 2\t65535 1 2\n# mid-data comment\n3 300");
    for (const TextureMap* m : {&g5, &g2}) {
        EXPECT_EQ(m->levels[0].red, (std::vector<uint8_t>{3, 44, 1, 2}));
        EXPECT_EQ(m->levels[0].green, m->levels[0].red);
        EXPECT_EQ(m->levels[0].blue, m->levels[0].red);
    }

    // Bitmaps: 1 is black, 0 white. 10 x 2: raw rows start on a new byte.
    //   top    1 0 1 1 0 0 0 0 1 1
    //   bottom 0 0 0 0 0 0 0 1 0 1
    TextureMap b4 = ParseOk(PNM("P4 #\n10 2\n", {0xB0, 0xC0, 0x01, 0x40}));
    TextureMap b1 = ParseOk("P1\n# bits\n10 2\n1011000011\n0 0 0 0 0 0 0 1 0 1\n");
    const uint8_t K = 0, W = 255;
    for (const TextureMap* m : {&b4, &b1}) {
        EXPECT_EQ(m->levels[0].red, (std::vector<uint8_t>{W, W, W, W, W, W, W, K, W, K,  //
                                                           K, W, K, K, W, W, W, W, K, K}));
        EXPECT_EQ(m->levels[0].blue, m->levels[0].red);
        EXPECT_EQ(m->label, "t");
    }
}

TEST(TextureFormats, MalformedTruncatedAndAbsurdFilesAreUnrecognized) {
    const char* bad[] = {
        "", "P", "P0 1 1 255\n\x01", "P7 1 1 255\n\x01", "Q5 1 1 255\n\x01", "p5 1 1 255\n\x01",
        "P5", "P5 2", "P5 2 2", "P5 2 2 255",                 // header cut short
        "P5 2 2 255\n\x01\x02\x03",                           // one byte short
        "P6 1 1 255\n\x01\x02",                               // one sample short
        "P4 9 1\n\x01",                                       // 9 pixels need two bytes
        "P5 0 1 255\n\x01", "P5 1 0 255\n\x01",               // empty image
        "P5 -1 1 255\n\x01", "P5 1 x 255\n\x01", "P5 1 1 -5\n\x01", "P5 1 1\n",
        "P5 99999999999999999999999 1 255\n\x01",             // does not fit
        "P5 2147483648 1 255\n\x01",                          // above any int
        "P5 65536 65536 255\n\x01",                           // product 2^32
        "P6 2147483647 2147483647 255\n\x01",                 // product near 2^62
        "P2 2 2 255\n1 2 3", "P2 2 2 255\n1 2 3 x", "P2 2 2 255\n1 2 3 -4", "P3 1 1 255\n1 2",
        "P1 2 2\n0 1 2 0", "P1 2 2\n011",
        "P5 2 # a comment never ended",
    };
    for (const char* text : bad) {
        TextureMap m;
        m.label = "stale";
        EXPECT_EQ(Parse(text, m), kErrMapFormat) << text;
        EXPECT_EQ(m.levelCount(), 0) << text;
        EXPECT_EQ(m.label, "") << text;
    }

    // Every cut of valid raw files fails; plain files fail when cut before
    // their last sample begins.
    const std::string raw[] = {Grey(3, 2, {1, 2, 3, 4, 5, 6}), PNM("P6 2 1 255\n", {1, 2, 3, 4, 5, 6}),
                               PNM("P4 3 2\n", {0x80, 0x20})};
    for (const std::string& f : raw) {
        ParseOk(f);
        for (size_t n = 0; n < f.size(); ++n) {
            TextureMap m;
            EXPECT_EQ(Parse(f.substr(0, n), m), kErrMapFormat) << f.substr(0, n);
        }
    }
    const std::string plain[] = {"P2 2 2 255\n10 20 30 40", "P3 1 2 255\n1 2 3 4 5 6", "P1 3 1\n1 0 1"};
    for (const std::string& f : plain) {
        ParseOk(f);
        for (size_t n = 0; n + 1 < f.size(); ++n) {
            TextureMap m;
            EXPECT_EQ(Parse(f.substr(0, n), m), kErrMapFormat) << f.substr(0, n);
        }
    }
}

#ifndef __SANITIZE_ADDRESS__
// A header claiming far more pixels than the file holds is refused before
// any plane is allocated (a JPEG's planes grow with the rows its data
// holds): in a child whose address space leaves no room for the claimed
// planes, an attempted allocation ends the child.
TEST(TextureFormats, ClaimedSizeIsCheckedBeforeAllocating) {
    const std::string files[] = {
        PNM("P6 16000 16000 255\n", std::vector<uint8_t>(100, 7)),
        "P2 16000 16000 255\n" + std::string(1000, '1'),
        "P3 9000 9000 255\n1 2 3 4 5 6 7 8 9",
        PNM("P4 16000 16000\n", std::vector<uint8_t>(100, 0xFF)),
        "P1 16000 16000\n" + std::string(5000, '0'),
        // Compressed files: more than 2^28 pixels, and fewer but far more
        // than the data could hold.
        kxtest::PngResized(kxtest::PngBytes(Tiny(), kxtest::PngKind::Rgb), 16385, 16384),
        kxtest::PngResized(kxtest::PngBytes(Tiny(), kxtest::PngKind::Rgb), 16000, 16000),
        kxtest::PngResized(kxtest::PngBytes(Tiny(), kxtest::PngKind::Grey, 8, true), 16000, 16000),
        kxtest::JpegResized(kxtest::JpegBytes(Tiny(), kxtest::JpegKind::YCbCr, false), 65000, 65000),
        kxtest::JpegResized(kxtest::JpegBytes(Tiny(), kxtest::JpegKind::YCbCr, false), 16000, 16000),
        kxtest::JpegResized(kxtest::JpegBytes(Tiny(), kxtest::JpegKind::YCbCr, true), 16000, 16000),
        // TGA (its sides at bytes 12 to 15) and BMP (at 18 to 25) alike.
        Resized(kxtest::TgaBytes(Tiny(), kxtest::TgaKind::Rgb, false, false), 12, 65535, 65535, 2),
        Resized(kxtest::TgaBytes(Tiny(), kxtest::TgaKind::Rgb, false, true), 12, 16000, 16000, 2),
        Resized(kxtest::TgaBytes(Tiny(), kxtest::TgaKind::Palette, true, false), 12, 16000, 16000, 2),
        Resized(kxtest::BmpBytes(Tiny(), 24, false), 18, 16000, 16000, 4),
        Resized(kxtest::BmpBytes(Tiny(), 8, true), 18, 16000, uint32_t(-16000), 4),
        Resized(kxtest::BmpBytes(Tiny(), 32, false), 18, 1u << 20, 1u << 20, 4),
    };
    for (size_t n = 0; n < std::size(files); ++n) {
        const std::string& f = files[n];
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            rlimit lim;
            lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{64} << 20);
            setrlimit(RLIMIT_AS, &lim);
            std::set_new_handler([] { _exit(99); });
            TextureMap m;
            _exit(Parse(f, m) == kErrMapFormat ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "file " << n << (WEXITSTATUS(status) == 99 ? " allocated" : "");
    }
}
#endif

TEST(TextureFormats, FilesAndExamples) {
    TextureMap m;
    EXPECT_EQ(LoadTextureFile("/nonexistent/dir/x.ppm", "a", m), kErrMapFileNotFound);
    EXPECT_EQ(LoadTextureFile(TempFile("junk.ppm", "hello"), "a", m), kErrMapFormat);
    EXPECT_EQ(LoadTextureFile(TempFile("ok.pgm", Grey(2, 1, {5, 6})), "a", m), 0);
    EXPECT_EQ(m.label, "a");
    EXPECT_EQ(m.levels[0].red, (std::vector<uint8_t>{5, 6}));

    const std::string dir = std::string(KX_SOURCE_DIR) + "/examples/textures/";
    ASSERT_EQ(LoadTextureFile(dir + "checker.ppm", "c", m), 0);
    EXPECT_EQ(m.levels[0].width, 64);
    EXPECT_EQ(m.levelCount(), 7);
    ASSERT_EQ(LoadTextureFile(dir + "checker.pbm", "c", m), 0);
    EXPECT_EQ(m.levels[0].width, 8);
    EXPECT_EQ(m.levels[0].red[0], 0);  // bottom-left square is black
    EXPECT_EQ(m.levels[0].red[1], 255);
    ASSERT_EQ(LoadTextureFile(dir + "ramp.pgm", "r", m), 0);
    EXPECT_EQ(m.levels[0].width, 16);
    ASSERT_EQ(LoadTextureFile(dir + "rgb.ppm", "r", m), 0);
    EXPECT_EQ(m.levels[0].width, 4);
}

// ---------------------------------------------------------------------------
// The map list and its commands

class MapListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.reset();
        one = TempFile("one.pgm", Grey(1, 1, {11}));
        two = TempFile("two.pgm", Grey(1, 1, {22}));
    }
    MapList list;
    std::string one, two;
};

TEST_F(MapListTest, LoadLabelsAndOverflow) {
    EXPECT_EQ(list.MapLoad(one, "none"), kErrMapLabel);
    EXPECT_EQ(list.MapLoad(one, "wood"), 0);
    EXPECT_EQ(list.MapLoad(two, "wood"), kErrMapLabel);
    ASSERT_EQ(list.maps.size(), 1u);
    EXPECT_EQ(list.maps[0].levels[0].red[0], 11);  // the first map stays

    EXPECT_EQ(list.MapLoad("/nonexistent.pgm", "x"), kErrMapFileNotFound);
    EXPECT_EQ(list.MapLoad(TempFile("bad.pgm", "P5 9 9 255\n"), "x"), kErrMapFormat);
    EXPECT_EQ(list.maps.size(), 1u);
    for (int i = 1; i < MapList::kMaxMaps; ++i) {
        std::string label = "m";
        label += std::to_string(i);
        ASSERT_EQ(list.MapLoad(two, label), 0);
    }
    EXPECT_EQ(list.MapLoad(two, "one more"), kErrMapListOverflow);
    EXPECT_EQ(list.MapLoad(two, "wood"), kErrMapListOverflow);  // the count is checked first
    EXPECT_EQ(list.maps.size(), 20u);

    list.currentIndex = 3;
    list.releaseAll();
    EXPECT_TRUE(list.maps.empty());
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_EQ(list.MapLoad(one, "wood"), 0);  // labels are free again
}

TEST_F(MapListTest, MapChoosesByLabel) {
    ASSERT_EQ(list.MapLoad(one, "a"), 0);
    ASSERT_EQ(list.MapLoad(two, "b"), 0);
    EXPECT_EQ(list.Map("texture", "b"), 0);
    EXPECT_EQ(list.currentIndex, 1);
    EXPECT_EQ(list.current()->levels[0].red[0], 22);
    EXPECT_EQ(list.Map("bump", "a"), kErrMapType);
    EXPECT_EQ(list.currentIndex, 1);
    EXPECT_EQ(list.Map("texture", "none"), 0);
    EXPECT_EQ(list.current(), nullptr);
    EXPECT_EQ(list.Map("texture", "a"), 0);
    EXPECT_EQ(list.Map("texture", "c"), kErrMapNotFound);
    EXPECT_EQ(list.currentIndex, -1);
}

TEST_F(MapListTest, SampleBorderAndBoundSettings) {
    EXPECT_EQ(list.MapSample("bump", "linear", "linear"), kErrMapType);
    EXPECT_EQ(list.filter, MapFilter::Nearest);
    EXPECT_EQ(list.MapSample("texture", "linear", "cubic"), kErrMapInterpolation);
    EXPECT_EQ(list.filter, MapFilter::Linear);  // the valid one is stored
    EXPECT_EQ(list.MapSample("texture", "bilinear", "linear"), kErrMapInterpolation);
    EXPECT_EQ(list.secondFilter, MapFilter::Linear);
    EXPECT_EQ(list.MapSample("texture", "nearest", "nearest"), 0);
    EXPECT_EQ(list.filter, MapFilter::Nearest);

    EXPECT_EQ(list.MapBorder("bump", "repeat", "repeat"), kErrMapType);
    EXPECT_EQ(list.uBorder, MapBorderMode::Clamp);
    EXPECT_EQ(list.MapBorder("texture", "repeat", "mirror"), kErrMapBorder);
    EXPECT_EQ(list.uBorder, MapBorderMode::Repeat);
    EXPECT_EQ(list.vBorder, MapBorderMode::Clamp);
    EXPECT_EQ(list.MapBorder("texture", "none", "repeat"), 0);
    EXPECT_EQ(list.uBorder, MapBorderMode::None);
    EXPECT_EQ(list.vBorder, MapBorderMode::Repeat);

    EXPECT_EQ(list.MapBound("bump", 5, 5, 6, 6), 0);
    EXPECT_EQ(list.du, 1.0f);
    EXPECT_EQ(list.MapBound("texture", 0.5f, -1, 2, 3), 0);
    EXPECT_EQ(list.umin, 0.5f);
    EXPECT_EQ(list.vmin, -1.0f);
    EXPECT_EQ(list.du, 1.5f);
    EXPECT_EQ(list.dv, 4.0f);

    list.reset();
    EXPECT_EQ(list.uBorder, MapBorderMode::Clamp);
    EXPECT_EQ(list.du, 1.0f);
    EXPECT_EQ(&mapList(), &mapList());
}

// ---------------------------------------------------------------------------
// Lookup

class LookupTest : public MapListTest {
protected:
    void SetUp() override {
        MapListTest::SetUp();
        // 4 x 2: bottom row 10 20 30 40, top row 50 60 70 80.
        ASSERT_EQ(list.MapLoad(TempFile("4x2.pgm", Grey(4, 2, {50, 60, 70, 80, 10, 20, 30, 40})), "g"), 0);
        ASSERT_EQ(list.Map("texture", "g"), 0);
    }
    float at(float u, float v) { return list.lookup(u, v, 0, 0, 0, 0, colour).r; }
    ColorRGB colour{0.25f, 0.5f, 0.75f};
};

TEST_F(LookupTest, BordersAndNearest) {
    EXPECT_EQ(at(1.5f, 0.5f), Byte(20));
    EXPECT_EQ(at(3.99f, 1.99f), Byte(80));
    EXPECT_EQ(at(-0.5f, 0.5f), Byte(10));  // truncation toward zero

    ASSERT_EQ(list.MapBorder("texture", "repeat", "repeat"), 0);
    EXPECT_EQ(at(-1.5f, 0.5f), Byte(40));  // x = -1 -> w - 1
    EXPECT_EQ(at(4.5f, 0.5f), Byte(10));   // x = w -> 0
    EXPECT_EQ(at(-6.5f, 0.5f), Byte(30));  // -6 -> 2
    EXPECT_EQ(at(0.5f, 2.5f), Byte(10));   // y = h -> 0
    EXPECT_EQ(at(0.5f, -1.5f), Byte(50));  // y = -1 -> h - 1

    ASSERT_EQ(list.MapBorder("texture", "clamp", "clamp"), 0);
    EXPECT_EQ(at(-1.5f, 0.5f), Byte(10));
    EXPECT_EQ(at(9.5f, 7.5f), Byte(80));

    ASSERT_EQ(list.MapBorder("texture", "none", "clamp"), 0);
    ColorRGB c = list.lookup(4.5f, 0.5f, 0, 0, 0, 0, colour);
    EXPECT_FLOAT_EQ(c.r, 0.25f);
    EXPECT_FLOAT_EQ(c.g, 0.5f);
    EXPECT_FLOAT_EQ(c.b, 0.75f);
    EXPECT_EQ(at(0.5f, 9.5f), Byte(50));  // v still clamps
    ASSERT_EQ(list.MapBorder("texture", "clamp", "none"), 0);
    EXPECT_FLOAT_EQ(at(0.5f, -1.5f), 0.25f);

    // Components of a colour texel.
    ASSERT_EQ(list.MapLoad(TempFile("rgb1.ppm", PNM("P6 1 1 255\n", {255, 128, 0})), "rgb"), 0);
    ASSERT_EQ(list.Map("texture", "rgb"), 0);
    c = list.lookup(0.5f, 0.5f, 0, 0, 0, 0, colour);
    EXPECT_EQ(c.r, Byte(255));
    EXPECT_EQ(c.g, Byte(128));
    EXPECT_EQ(c.b, 0.0f);
}

TEST_F(LookupTest, LinearFilter) {
    ASSERT_EQ(list.MapSample("texture", "linear", "nearest"), 0);
    // fx = 1.5, fy = 0.5: A = (20 + 30) / 2, B = (70 + 60) / 2, result 45.
    EXPECT_FLOAT_EQ(at(1.5f, 0.5f), Byte(45));
    // fx = 0.25, fy = 0: 10 * 0.75 + 20 * 0.25 = 12.5.
    EXPECT_FLOAT_EQ(at(0.25f, 0), Byte(12.5f));
    EXPECT_FLOAT_EQ(at(2, 1), Byte(70));  // on a texel exactly
    // Right edge, fx = 3.5, fy = 0.5: the neighbour at x = 4 follows the border.
    EXPECT_FLOAT_EQ(at(3.5f, 0.5f), Byte(60));  // clamp: (40 + 80) / 2
    ASSERT_EQ(list.MapBorder("texture", "repeat", "clamp"), 0);
    EXPECT_FLOAT_EQ(at(3.5f, 0.5f), Byte(45));  // (40 + 10 + 80 + 50) / 4
    ASSERT_EQ(list.MapBorder("texture", "none", "clamp"), 0);
    // (40 + 80) / 4 + current red (0.25 * 255.9999) / 2
    EXPECT_NEAR(at(3.5f, 0.5f), Byte(30) + 0.125f, 1e-6);
}

TEST_F(LookupTest, LevelChoice) {
    // 4 x 4 with columns 0 40 80 120: level 0 texel (0, 0) is 0, level 1
    // is 20, level 2 is 60.
    std::vector<uint8_t> img;
    for (int i = 0; i < 16; ++i) img.push_back(static_cast<uint8_t>(40 * (i % 4)));
    ASSERT_EQ(list.MapLoad(TempFile("4x4.pgm", Grey(4, 4, img)), "mip"), 0);
    ASSERT_EQ(list.Map("texture", "mip"), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    auto level = [&](float dudx, float dudy, float dvdx, float dvdy) {
        float r = list.lookup(0.5f, 0.5f, dudx, dudy, dvdx, dvdy, colour).r;
        return r == Byte(0) ? 0 : r == Byte(20) ? 1 : r == Byte(60) ? 2 : -1;
    };
    EXPECT_EQ(level(0, 0, 0, 0), 0);
    EXPECT_EQ(level(1, 0, 0, 0), 0);
    EXPECT_EQ(level(0, 1.99f, 0, 0), 0);
    EXPECT_EQ(level(0, 0, 2, 0), 1);
    EXPECT_EQ(level(0, 0, 0, -3.9f), 1);
    EXPECT_EQ(level(0.5f, -4, 1, 1), 2);
    EXPECT_EQ(level(1e6f, 0, 0, 0), 2);  // at most count - 1
    EXPECT_EQ(level(inf, 0, 0, 0), 2);
    EXPECT_EQ(level(nan, nan, nan, nan), 0);
    EXPECT_EQ(level(nan, 4, 0, 0), 2);

    list.maxLevel = 2;  // levels 0 and 1 only
    EXPECT_EQ(level(4, 0, 0, 0), 1);
    EXPECT_EQ(level(2, 0, 0, 0), 1);
    list.maxLevel = 1;
    EXPECT_EQ(level(4, 0, 0, 0), 0);
    list.maxLevel = 0;  // no limit
    EXPECT_EQ(level(4, 0, 0, 0), 2);

    // A 1 x 1 map uses its only level whatever the derivatives.
    ASSERT_EQ(list.Map("texture", "m0"), kErrMapNotFound);
    ASSERT_EQ(list.MapLoad(one, "single"), 0);
    ASSERT_EQ(list.Map("texture", "single"), 0);
    EXPECT_EQ(list.lookup(0.5f, 0.5f, 1000, 1000, 1000, 1000, colour).r, Byte(11));
}

TEST_F(LookupTest, HostileCoordinatesStayInside) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float coords[] = {nan, inf, -inf, 1e30f, -1e30f, 3e9f, -3e9f, 2147483648.0f, -2147483904.0f, 0.5f};
    const char* borders[] = {"none", "clamp", "repeat"};
    const char* filters[] = {"nearest", "linear"};
    for (const char* f : filters) {
        ASSERT_EQ(list.MapSample("texture", f, f), 0);
        for (const char* bu : borders) {
            for (const char* bv : borders) {
                ASSERT_EQ(list.MapBorder("texture", bu, bv), 0);
                for (float u : coords) {
                    for (float v : coords) {
                        ColorRGB c = list.lookup(u, v, 0, 0, 0, 0, colour);
                        for (int k = 0; k < 3; ++k) {
                            ASSERT_TRUE(c[k] >= 0 && c[k] <= 1) << f << " " << bu << " " << bv << " " << u << " " << v;
                        }
                    }
                }
            }
        }
    }
    // Repeat of a huge coordinate picks a texel of the image.
    ASSERT_EQ(list.MapSample("texture", "nearest", "nearest"), 0);
    ASSERT_EQ(list.MapBorder("texture", "repeat", "repeat"), 0);
    const float r = at(-1e30f, 0.5f);
    EXPECT_TRUE(r == Byte(10) || r == Byte(20) || r == Byte(30) || r == Byte(40)) << r;
    // No current map: the current colour.
    list.Map("texture", "none");
    EXPECT_EQ(list.lookup(1, 1, 0, 0, 0, 0, colour).g, 0.5f);
}
