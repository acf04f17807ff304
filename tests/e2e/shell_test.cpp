// The program as a user runs it: command line, error reports, exit statuses
// and the PPM files it writes.
#include <gtest/gtest.h>

#include "support/run.h"

using namespace kxtest;

namespace {

std::string Report(const std::string& file, int line, const std::string& message) {
    return "Error in " + file + " on line " + std::to_string(line) + ": " + message + "\n";
}

}  // namespace

TEST(Program, UsageWithoutArgument) {
    RunResult r = RunKx({}, MakeTempDir());
    EXPECT_EQ(r.err, std::string("Usage: ") + KX_BINARY + "  kx_file\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Program, MissingSceneFile) {
    RunResult r = RunKx({"missing.kx"}, MakeTempDir());
    EXPECT_EQ(r.err, Report("missing.kx", 0, "File not found."));
    EXPECT_EQ(r.status, StatusOf(-2));
}

TEST(Program, SceneFromStandardInput) {
    std::string scene = "Color 1 1 1\nbogus\n";
    RunResult r = RunKx({"-"}, MakeTempDir(), &scene);
    EXPECT_EQ(r.err, Report("-", 2, "Unrecognized symbol"));
    EXPECT_EQ(r.status, StatusOf(-3));
    scene = "# nothing but a comment\n";
    r = RunKx({"-"}, MakeTempDir(), &scene);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Program, ErrorReportsNameTheLine) {
    struct Case {
        const char* scene;
        int line;
        const char* message;
        int code;
    } cases[] = {
        {"\n\n\n\n\n\nfoo\n", 7, "Unrecognized symbol", -3},
        {"Ka 1\n", 1, "Known symbol in illegal context", -4},
        {"Display \"x\" \"Window\" \"rgb\"\n", 1, "Unknown display type", -19},
        {"Display \"x\" \"PNM\" \"rgba\"\n", 1, "Unknown display mode", -20},
        {"Display \"x\" \"Screen\" \"rgbtriple\"\n", 1, "Unknown display mode", -20},
        {"Engine \"fast\"\n", 1, "Unknown rendering engine", -35},
        {"OptionBool \"Wireframe\" maybe\n", 1, "Unknown error code: -14", -14},
        {"ObjectBegin 2b box\n", 1, "Illegal number of parameters in object block", -42},
        {"ObjectBegin a\nObjectEnd\nObjectBegin a\n", 3, "Duplicate object label", -13},
        {"FrameBegin 1\nRotate Q 5\n", 2, "Unrecognized rotation axis", -6},
        {"FrameBegin 1\nSurface \"unterminated\n", 2, "Unexepected end of file", -1},
        {"Custom \"" "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789\" more\n",
         1, "Known symbol in illegal context", -4},
        {"ObjectBegin o\nCustom \"" "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789012345678901234567890123456789"
         "0123456789012345678901234567890123456789\" more\n",
         2, "Runaway string", -5},
        {"XformPush\n", 1, "Known symbol in illegal context", -4},
        {"FrameBegin 1\nObjectEnd\n", 2, "Known symbol in illegal context", -4},
        {"ObjectBegin a\nObjectInstance a\nObjectEnd\nWorldBegin\nObjectInstance a\nWorldEnd\n", 5,
         "Recursive object definition not allowed", -8},
        {"WorldBegin\nObjectInstance b\nWorldEnd\n", 2, "Unknown object label on ObjectInstance", -12},
        {"WorldBegin\nPolySet \"PQ\" 0 0\n", 2, "Unknown vertex type combination", -10},
        {"WorldBegin\nPolySet \"P\" 3 1 0 0 0 1 0 0 0 1 0 0 1 3 -1\n", 2, "Vertex index out of range", -11},
        {"WorldBegin\nPolySet \"P\" 3 1 0 0 0 1 0 0 0 1 0 0 1 2.0 -1\n", 2, "Integer expected", -36},
        {"WorldBegin\nPolySet \"P\" 3 1 0 0 0 1 0 0 0 1 0 0 1 two -1\n", 2, "Vertex index expected", -37},
        {"WorldBegin\nPolySet \"P\" 3 1 0 0 zero\n", 2, "Vertex coordinate expected", -38},
        {"WorldBegin\nSubdivision \"Catmull-Clark\" \"P\" 2 0 1 0 0 0 1 1 1 0 1 -1 soft\n", 2,
         "Floating point value expected", -39},
        {"WorldBegin\nCurve \"Spline\" \"P\" 1 0 0 0 1 1 1\n", 2, "Unknown curve type", -23},
        {"WorldBegin\nPatch \"Spline\" \"P\" 0 0 0 0 0\n", 2, "Unknown patch type", -24},
        {"WorldBegin\nXformPop\n", 2, "Transform stack underflow", -26},
        {"WorldBegin\nSurface \"velvet\"\n", 2, "Unknown surface material type", -21},
        {"Display \"d\" \"PNM\" \"rgb\"\nFormat 2 2\nFrameBegin 1\nWorldBegin\nWorldEnd\n", 6,
         "Unexepected end of file", -1},
        // An image drawn before any Display has nowhere to go.
        {"FrameBegin 1\nWorldBegin\nWorldEnd\n", 3, "Unknown display type", -19},
        {"WorldBegin\nPolySet \"P\" 2000000000 1\n0 0 0\n", 4, "Unexepected end of file", -1},
    };
    for (const Case& c : cases) {
        RunResult r = RunScene(c.scene);
        EXPECT_EQ(r.err, Report("scene.kx", c.line, c.message)) << c.scene;
        EXPECT_EQ(r.status, StatusOf(c.code)) << c.scene;
    }
}

TEST(Program, LineCountingFollowsTheReaders) {
    // Numbers read across lines leave the counter behind until the next
    // SkipBlank sees a line feed.
    RunResult r = RunScene("Color 1\n0\n0\nbogus\n");
    EXPECT_EQ(r.err, Report("scene.kx", 2, "Unrecognized symbol"));
    // A comment after the last argument is skipped and its line counted.
    r = RunScene("Color 1 0 0 # red\n\nbogus\n");
    EXPECT_EQ(r.err, Report("scene.kx", 3, "Unrecognized symbol"));
    // Quadrics skip blanks before their numbers, counting lines.
    r = RunScene("WorldBegin\nSphere\n\n1 -1 1 360\nXformPop\n");
    EXPECT_EQ(r.err, Report("scene.kx", 5, "Transform stack underflow"));
    // A backslash-newline inside a string counts a line; a quoted newline does not.
    r = RunScene("OptionString \"a\\\nb\" \"c\nd\"\nbogus\n");
    EXPECT_EQ(r.err, "OptionString command not implemented. Ignoring.\n" + Report("scene.kx", 3, "Unrecognized symbol"));
}

TEST(Program, FramesAreWrittenAsPpmFiles) {
    std::string dir;
    RunResult r = RunScene(
        "Display \"frame\" \"PNM\" \"rgb\"\nBackground 1 0.5 0\nFrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n"
        "FrameBegin -3\nWorldBegin\nWorldEnd\nFrameEnd\nFrameBegin 12345\nWorldBegin\nWorldEnd\nFrameEnd\n",
        &dir);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    std::string bytes = ReadFile(dir + "/frame0001.ppm");
    ASSERT_EQ(bytes.size(), std::string("P6\n640 480\n255\n").size() + 640 * 480 * 3);
    EXPECT_EQ(bytes.substr(0, 15), "P6\n640 480\n255\n");
    Image img = ReadPPM(dir + "/frame0001.ppm");
    ASSERT_TRUE(img.ok);
    for (int y = 0; y < img.height; y += 37)
        for (int x = 0; x < img.width; x += 41) {
            EXPECT_EQ(img.at(x, y)[0], 255);
            EXPECT_EQ(img.at(x, y)[1], 127);
            EXPECT_EQ(img.at(x, y)[2], 0);
        }
    EXPECT_TRUE(FileExists(dir + "/frame-0003.ppm"));
    EXPECT_TRUE(FileExists(dir + "/frame12345.ppm"));
}

TEST(Program, FormatSetsTheImageSize) {
    std::string dir;
    RunResult r = RunScene("Format 7 5\nDisplay \"f\" \"PNM\" \"rgb\"\nWorldBegin\nWorldEnd\n", &dir);
    EXPECT_EQ(r.status, 0);
    Image img = ReadPPM(dir + "/f0000.ppm");
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.width, 7);
    EXPECT_EQ(img.height, 5);
}

TEST(Program, PpmScenesNeedNoWindowSystem) {
    std::string dir;
    RunResult r = RunScene("Format 4 4\nDisplay \"f\" \"PNM\" \"rgb\"\nWorldBegin\nWorldEnd\n", &dir, {"DISPLAY"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(FileExists(dir + "/f0000.ppm"));
}

TEST(Program, ScreenWithoutWindowSystemFailsCleanly) {
    RunResult r = RunScene("Format 4 4\nDisplay \"w\" \"Screen\" \"rgbdouble\"\nWorldBegin\nWorldEnd\n", nullptr,
                           {"DISPLAY"});
    EXPECT_EQ(r.err, Report("scene.kx", 3, "Cannot open a window: no window system available"));
    EXPECT_NE(r.status, 0);
    r = RunScene("Display \"w\" \"Screen\" \"rgbdouble\"\nWorldBegin\nWorldEnd\n", nullptr,
                 {"DISPLAY=:987"});
    EXPECT_EQ(r.err, Report("scene.kx", 2, "Cannot open a window: no window system available"));
    EXPECT_NE(r.status, 0);
}

TEST(Program, DisplayThatCannotAllocateEndsTheRun) {
    RunResult r = RunScene("Format 100000 100000\nDisplay \"f\" \"PNM\" \"rgb\"\nWorldBegin\nWorldEnd\n");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Insufficient memory for"), std::string::npos) << r.err;
}
