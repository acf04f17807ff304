// Memory the system refuses: every store that the input can make large ends
// the run with the report of -15 (or -16 for the direct engine's per-pixel
// buffers), never with an abort or a report that names another cause. Each
// case runs the real program in a child whose address space is limited with
// `ulimit -v`.
#include <gtest/gtest.h>

#include <string>

#include "support/image_write.h"
#include "support/run.h"

using kxtest::MakeTempDir;
using kxtest::RunBinary;
using kxtest::RunResult;
using kxtest::StatusOf;
using kxtest::WriteFile;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// The address sanitizer maps terabytes of shadow memory, which no address
// space limit leaves room for.
#define SKIP_UNDER_ADDRESS_SANITIZER()                                                                      \
    if (kAddressSanitizer)                                                                                  \
    GTEST_SKIP() << "the address sanitizer reserves more address space than a limit leaves; the same cases " \
                    "run in the plain build"

const std::string kNoMemory = "Insufficient memory for display buffer";

// Runs the shell command line in dir with the address space limited to
// megabytes ("$kx" stands for the program).
RunResult Limited(const std::string& dir, int megabytes, const std::string& line) {
    return RunBinary("/bin/sh",
                     {"-c", "ulimit -v " + std::to_string(megabytes * 1024) + "; kx=" + KX_BINARY + "; " + line},
                     dir);
}

// Object definitions that multiply one command 10^levels times; the last
// one is named "o<levels - 1>".
std::string Multiplied(const std::string& command, int levels) {
    std::string text = "ObjectBegin \"o0\"\n";
    for (int i = 0; i < 10; ++i) text += command + "\n";
    text += "ObjectEnd\n";
    for (int k = 1; k < levels; ++k) {
        text += "ObjectBegin \"o" + std::to_string(k) + "\"\n";
        for (int i = 0; i < 10; ++i) text += "ObjectInstance \"o" + std::to_string(k - 1) + "\"\n";
        text += "ObjectEnd\n";
    }
    return text;  // 12 lines a level
}

// An image of 8000 x 8000 pixels: the direct engine's depth buffer is
// refused at Format, the other engines' frame buffer when the display opens.
TEST(MemoryLimits, ImageBuffers) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    std::string dir = MakeTempDir();
    const std::string display = "Display \"big\" \"PNM\" \"rgb\"\n";
    const std::string image = "Format 8000 8000\nWorldBegin\nWorldEnd\n";
    WriteFile(dir, "scene.kx", display + image);
    RunResult r = Limited(dir, 64, "exec $kx scene.kx");
    EXPECT_EQ(r.err, "Error in scene.kx on line 2: Insufficient memory for depth buffer\n");
    EXPECT_EQ(r.status, StatusOf(-16));
    for (const char* engine : {"raytrace", "scan convert"}) {
        WriteFile(dir, "scene.kx", display + "Engine \"" + engine + "\"\n" + image);
        r = Limited(dir, 64, "exec $kx scene.kx");
        EXPECT_EQ(r.err, "Error in scene.kx on line 4: " + kNoMemory + "\n") << engine;
        EXPECT_EQ(r.status, StatusOf(-15)) << engine;
    }
}

// A million spheres on top of each other: the ray tracer's objects and its
// tree outgrow 32 MB.
TEST(MemoryLimits, RayTracerObjects) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx",
              "Display \"img\" \"PNM\" \"rgb\"\nEngine \"raytrace\"\nFormat 8 8\n" +
                  Multiplied("Sphere 1 -1 1 360", 6) + "WorldBegin\nObjectInstance \"o5\"\nWorldEnd\n");
    RunResult r = Limited(dir, 32, "exec $kx scene.kx");
    EXPECT_EQ(r.err, "Error in scene.kx on line 77: " + kNoMemory + "\n");
    EXPECT_EQ(r.status, StatusOf(-15));
}

// A million nested XformPush: 128 MB of saved matrices.
TEST(MemoryLimits, TransformStack) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    std::string dir = MakeTempDir();
    for (const char* engine : {"direct", "raytrace", "scan convert"}) {
        WriteFile(dir, "scene.kx",
                  std::string("Engine \"") + engine + "\"\nFormat 8 8\n" + Multiplied("XformPush", 6) +
                      "WorldBegin\nObjectInstance \"o5\"\nWorldEnd\n");
        RunResult r = Limited(dir, 32, "exec $kx scene.kx");
        EXPECT_EQ(r.err, "Error in scene.kx on line 76: " + kNoMemory + "\n") << engine;
        EXPECT_EQ(r.status, StatusOf(-15)) << engine;
    }
}

// One face of 16 million corners, on one line: the index buffer cannot grow
// to 64 MB. It used to say "Vertex index out of range".
TEST(MemoryLimits, IndexList) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    std::string dir = MakeTempDir();
    RunResult r = Limited(dir, 48,
                          "{ printf 'WorldBegin\\nPolySet \"P\" 1 1 0 0 0 '; yes 0 | head -n 16000000 | tr '\\n' ' ';"
                          " printf -- '-1\\nWorldEnd\\n'; } | exec $kx -");
    EXPECT_EQ(r.err, "Error in - on line 2: " + kNoMemory + "\n");
    EXPECT_EQ(r.status, StatusOf(-15));
}

// A bitmap of 8192 x 8192 texels is a file of 8 MB, but its planes take
// 192 MB. It used to say "Map file in unrecognized format".
TEST(MemoryLimits, TextureMap) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    std::string dir = MakeTempDir();
    WriteFile(dir, "big.pbm", "P4\n8192 8192\n" + std::string(size_t{1024} * 8192, 'U'));
    WriteFile(dir, "scene.kx", "WorldBegin\nMapLoad \"big.pbm\" \"big\"\nWorldEnd\n");
    RunResult r = Limited(dir, 64, "exec $kx scene.kx");
    EXPECT_EQ(r.err, "Error in scene.kx on line 2: " + kNoMemory + "\n");
    EXPECT_EQ(r.status, StatusOf(-15));
}

// A progressive JPEG keeps every coefficient of the picture while it is
// decoded: 48 MB for 4096 x 4096 pixels, in a file of a few kilobytes.
TEST(MemoryLimits, ProgressiveJpegMap) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    kxtest::Image flat;
    flat.width = flat.height = 4096;
    flat.rgb.assign(size_t{4096} * 4096 * 3, 200);
    std::string dir = MakeTempDir();
    WriteFile(dir, "big.jpg", kxtest::JpegBytes(flat, kxtest::JpegKind::YCbCr, true, 90));
    WriteFile(dir, "scene.kx", "WorldBegin\nMapLoad \"big.jpg\" \"big\"\nWorldEnd\n");
    RunResult r = Limited(dir, 48, "exec $kx scene.kx");
    EXPECT_EQ(r.err, "Error in scene.kx on line 2: " + kNoMemory + "\n");
    EXPECT_EQ(r.status, StatusOf(-15));
}

// Texture files whose decoding cost nothing like their picture: a 1 x 1 PNG
// carrying 500 zTXt chunks of 8 MB of text each (half a minute when the
// text was decompressed; now skipped unread), a PNG of 2^28 x 1 pixels in
// 32 KB (2.4 GB; now wider than any PNG read, refused before libpng sizes
// its rows) beside one of the widest read, and a JPEG of 500 scans (each a
// pass over every block; refused once they pass a few times a plain
// decode) beside the usual progressive one.
TEST(MemoryLimits, TextureFilesCostWhatTheirPictureCosts) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    kxtest::Image flat;
    flat.width = flat.height = 512;
    flat.rgb.assign(size_t{512} * 512 * 3, 200);
    const struct {
        const char* file;
        std::string bytes;
        int status;
    } cases[] = {
        {"text.png", kxtest::PngWithTextBomb(500, size_t{8} << 20), 0},
        {"row.png", kxtest::PngOneRow(uint32_t{1} << 28), StatusOf(-29)},
        {"widest.png", kxtest::PngOneRow(uint32_t{1} << 16), 0},
        {"scans.jpg", kxtest::JpegManyScans(flat, 500), StatusOf(-29)},
        {"progressive.jpg", kxtest::JpegBytes(flat, kxtest::JpegKind::Grey, true), 0},
    };
    std::string dir = MakeTempDir();
    const std::string refused = "Error in scene.kx on line 4: Map file in unrecognized format\n";
    for (const auto& c : cases) {
        WriteFile(dir, c.file, c.bytes);
        WriteFile(dir, "scene.kx", std::string("Display \"img\" \"PNM\" \"rgb\"\nFormat 8 8\nWorldBegin\nMapLoad \"") +
                                       c.file + "\" \"t\"\nWorldEnd\n");
        RunResult r = Limited(dir, 64, "exec timeout 10 $kx scene.kx");
        EXPECT_EQ(r.status, c.status) << c.file << ": " << r.err;
        // The report is the last line (a note naming the file may come
        // before it).
        const std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        EXPECT_EQ(c.status == 0 ? r.err : last, c.status == 0 ? "" : refused) << c.file << ": " << r.err;
    }
}

// The fill keeps a few spans, not one per row: an image one pixel wide and
// 4 million rows tall is filled from its middle within 100 MB, of which the
// image itself (frame, depth buffer and span table) takes 46 MB.
TEST(MemoryLimits, FillOfATallImage) {
    SKIP_UNDER_ADDRESS_SANITIZER();
    const int rows = 1 << 22;
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx",
              "Display \"tall\" \"PNM\" \"rgb\"\nFormat 1 " + std::to_string(rows) +
                  "\nWorldBegin\nColor 1 0 0\nFill 0 0 -5\nWorldEnd\n");
    RunResult r = Limited(dir, 100, "exec $kx scene.kx");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    kxtest::Image image = kxtest::ReadPPM(dir + "/tall0000.ppm");
    ASSERT_TRUE(image.ok);
    ASSERT_EQ(image.height, rows);
    int red = 0;
    for (int y = 0; y < rows; ++y) red += image.at(0, y)[0] == 255 && image.at(0, y)[1] == 0;
    EXPECT_EQ(red, rows);
}

}  // namespace
