// The command line: --help and --version, the options and their values, and
// what it refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "support/run.h"

using namespace kxtest;

TEST(CommandLine, HelpShowsUsageAndSummary) {
    RunResult r = RunKx({"--help"}, MakeTempDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(std::string("Usage: ") + KX_BINARY + "  kx_file\n\n", 0), 0u) << r.out;
    for (const char* word :
         {"\"direct\"", "\"raytrace\"", "\"data convert\"", "\"scan convert\"", "\"PNG\"", "\"Statistics\"",
          "--version", "--engine NAME", "--output DIR", "--watch", "--region=X0,Y0,X1,Y1"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

// One version for every program of the project: the build's, the project()'s
// VERSION alone or, from a git checkout, with the commit after it (a Debian
// version: the package's).
TEST(CommandLine, EveryProgramHasTheProjectVersion) {
    std::string cmake = ReadFile(KX_SOURCE_DIR "/CMakeLists.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex("project\\(kxrender VERSION ([0-9.]+)")));
    const std::string dir = MakeTempDir();
    RunResult r = RunKx({"--version"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::smatch v;
    ASSERT_TRUE(std::regex_match(r.out, v, std::regex("kxrender (([0-9.]+?)([~+]git[0-9]+\\.g[0-9a-f]+)?(\\.dirty)?)\n")))
        << r.out;
    EXPECT_EQ(v[2].str(), m[1].str());
    const std::string build = std::string(KX_BINARY).substr(0, std::string(KX_BINARY).rfind('/') + 1);
    for (std::string program : {"kxrender-import", "kxrender-obj2kx", "kxrender-assemble", "kxrender-farm"}) {
        RunResult p = RunBinary(build + program, {"--version"}, dir);
        EXPECT_EQ(p.status, 0) << program;
        EXPECT_EQ(p.out, program + " " + v[1].str() + "\n");
        EXPECT_EQ(p.err, "") << program;
    }
}

// Every argument that begins with "-" (but "-" itself) is an option; "--"
// ends the options, for a scene file named like one.
TEST(CommandLine, UnknownOptionsAreRefusedAndDashDashEndsTheOptions) {
    std::string dir = MakeTempDir();
    const std::string scene = "Display \"img\" \"PNM\" \"rgb\"\nFormat 2 2\nWorldBegin\nWorldEnd\n";
    WriteFile(dir, "--x.kx", scene);
    WriteFile(dir, "-version", scene);
    const std::string usage = std::string("Usage: ") + KX_BINARY + "  kx_file\n";
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{"--bogus", "--x.kx"},
                                                                               {"--x.kx"},
                                                                               {"-version"},
                                                                               {"--", "--x.kx", "--bogus"},
                                                                               {"--bogus=3", "--", "--x.kx"}}) {
        RunResult r = RunKx(args, dir);
        const std::string& bad = args[0] == "--" ? args[2] : args[0];
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.out, "");
        if (args[0] == "--")
            EXPECT_EQ(r.err, std::string(KX_BINARY) + ": one scene file only, not also \"--bogus\"\n" + usage);
        else
            EXPECT_EQ(r.err, std::string(KX_BINARY) + ": unknown option " + bad + "\n" + usage);
    }
    EXPECT_FALSE(FileExists(dir + "/img0000.ppm"));
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{"--", "--x.kx"}, {"--", "-version"}}) {
        RunResult r = RunKx(args, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(FileExists(dir + "/img0000.ppm"));
        ASSERT_EQ(unlink((dir + "/img0000.ppm").c_str()), 0);
    }
}

TEST(CommandLine, ShortHelpIsHelp) {
    RunResult longForm = RunKx({"--help"}, MakeTempDir());
    RunResult shortForm = RunKx({"-h"}, MakeTempDir());
    EXPECT_EQ(shortForm.status, 0);
    EXPECT_EQ(shortForm.err, "");
    EXPECT_EQ(shortForm.out, longForm.out);
}

// One scene per run: a second name is refused before anything is read or
// written, never dropped in silence.
TEST(CommandLine, ASecondSceneIsRefused) {
    std::string dir = MakeTempDir();
    const std::string scene = "Display \"img\" \"PNM\" \"rgb\"\nFormat 2 2\nWorldBegin\nWorldEnd\n";
    WriteFile(dir, "a.kx", scene);
    WriteFile(dir, "b.kx", scene);
    const std::string usage = std::string("Usage: ") + KX_BINARY + "  kx_file\n";
    RunResult r = RunKx({"a.kx", "b.kx"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": one scene file only, not also \"b.kx\"\n" + usage);
    EXPECT_FALSE(FileExists(dir + "/img0000.ppm"));
    // --help and --version anywhere on the line print their text alone.
    r = RunKx({"a.kx", "--help"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, RunKx({"--help"}, dir).out);
    EXPECT_FALSE(FileExists(dir + "/img0000.ppm"));
    r = RunKx({"a.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(FileExists(dir + "/img0000.ppm"));
}

// On a terminal the report is followed by the scene line and a caret under
// the word where reading stopped; through a pipe the report comes alone.
TEST(ErrorReport, TheLineAndACaretOnATerminalOnly) {
    if (!TerminalAvailable()) GTEST_SKIP() << "no pseudo-terminal can be opened here (is /dev/pts mounted?)";
    struct Case {
        std::string scene, report, context;
    };
    const std::string head = "Display \"img\" \"PNM\" \"rgb\"\nFormat 4 4\nWorldBegin\n";
    const Case cases[] = {
        {head + "Sphere 1 -1 1 360 Cubee\nWorldEnd\n", "Error in scene.kx on line 4: Unrecognized symbol\n",
         "Sphere 1 -1 1 360 Cubee\n                  ^\n"},
        // The end of the file: after the last word.
        {head + "\tSphere 1 -1 1 360\n\n", "Error in scene.kx on line 6: Unexepected end of file\n",
         "\tSphere 1 -1 1 360\n\t                 ^\n"},
        // A string argument, with a character that would steer the terminal.
        {head + "Color 1 0 0  Surface \"shiny\x1b[2J\" # comment\nWorldEnd\n",
         "Error in scene.kx on line 4: Unknown surface material type\n",
         "Color 1 0 0  Surface \"shiny?[2J\" # comment\n                     ^\n"},
    };
    for (const Case& c : cases) {
        std::string dir;
        RunResult piped = RunScene(c.scene, &dir);
        EXPECT_EQ(piped.err, c.report);
        int status = -1;
        EXPECT_EQ(RunOnTerminal(dir, &status), c.report + c.context);
        EXPECT_EQ(status, piped.status);
    }
}

namespace {

// An orange square under a light from the camera: bright in the direct
// engine, which starts with Kd 1, nearly black in the ray tracer (Kd 0).
const char kEngineScene[] =
    "Display \"img\" \"PNM\" \"rgb\"\nFormat 16 12\nWorldBegin\nAmbientLight 1 1 1 0.1\n"
    "FarLight 0 0 -1 1 1 1 1\nColor 1 0.5 0\n"
    "PolySet \"P\" 4 1  -1 -1 -2  1 -1 -2  1 1 -2  -1 1 -2  0 1 2 3 -1\nWorldEnd\n";

// Runs kxrender in dir and returns the image it wrote as dir/img0000.ppm
// (which it then removes); "" when there is none.
std::string RenderedImage(const std::vector<std::string>& args, const std::string& dir) {
    RunResult r = RunKx(args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string path = dir + "/img0000.ppm";
    if (!FileExists(path)) return "";
    std::string image = ReadFile(path);
    unlink(path.c_str());
    return image;
}

}  // namespace

// One scene renders in any engine: the run starts in the engine named on the
// command line and takes every Engine command as naming it.
TEST(CommandLine, EngineOptionRendersTheSceneInTheNamedEngine) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "direct.kx", kEngineScene);
    WriteFile(dir, "raytrace.kx", std::string("Engine \"raytrace\"\n") + kEngineScene);
    const std::string direct = RenderedImage({"direct.kx"}, dir);
    const std::string traced = RenderedImage({"raytrace.kx"}, dir);
    ASSERT_NE(direct, "");
    ASSERT_NE(traced, "");
    ASSERT_NE(direct, traced);
    EXPECT_EQ(RenderedImage({"--engine", "direct", "raytrace.kx"}, dir), direct);
    EXPECT_EQ(RenderedImage({"raytrace.kx", "-E", "direct"}, dir), direct);
    EXPECT_EQ(RenderedImage({"--engine", "raytrace", "direct.kx"}, dir), traced);
    EXPECT_EQ(RenderedImage({"--engine=raytrace", "direct.kx"}, dir), traced);
    EXPECT_EQ(RenderedImage({"-E", "raytrace", "raytrace.kx"}, dir), traced);
    // The converter writes the scene back, as it does when the scene names it.
    WriteFile(dir, "convert.kx", std::string("Engine \"data convert\"\n") + kEngineScene);
    RunResult echo = RunKx({"-E", "data convert", "raytrace.kx"}, dir);
    EXPECT_EQ(echo.status, 0) << echo.err;
    EXPECT_NE(echo.out.find("PolySet"), std::string::npos) << echo.out;
    EXPECT_EQ(echo.out, RunKx({"convert.kx"}, dir).out);
    EXPECT_FALSE(FileExists(dir + "/img0000.ppm"));
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--engine", "Direct", "direct.kx"}, {"direct.kx", "-E"}, {"--engine=", "direct.kx"}}) {
        RunResult r = RunKx(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string(KX_BINARY) + ": " + (args[1] == "-E" ? "-E" : "--engine") +
                             " needs the name of an engine: direct, raytrace, \"data convert\" or \"scan convert\"\n");
    }
}

// Relative image names go under the --output folder, made with its parents
// when the first file goes there; absolute names stay where they are.
TEST(CommandLine, OutputFolderTakesTheRelativeImageNames) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx", kEngineScene);
    const std::string image = RenderedImage({"scene.kx"}, dir);
    ASSERT_NE(image, "");
    RunResult r = RunKx({"--list-images", "-o", "new/nested", "scene.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "image 0 16 12 new/nested/img0000.ppm\n");
    EXPECT_FALSE(FileExists(dir + "/new"));
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{{"-o", "new/nested", "scene.kx"},
                                                                               {"scene.kx", "--output=new/nested/"},
                                                                               {"--output", dir + "/new/nested"}}) {
        if (args[0] == "--output") args.push_back("scene.kx");
        r = RunKx(args, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(ReadFile(dir + "/new/nested/img0000.ppm") == image) << args[1];
        EXPECT_FALSE(FileExists(dir + "/img0000.ppm"));
        ASSERT_EQ(unlink((dir + "/new/nested/img0000.ppm").c_str()), 0);
    }
    // A region file goes there too; an absolute name stays.
    r = RunKx({"-o", "regions", "--region=0,0,8,6", "scene.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(FileExists(dir + "/regions/img0000.ppm.region-0-0-8-6"));
    const std::string absolute = std::string(kEngineScene).replace(9, 3, dir + "/abs");
    WriteFile(dir, "absolute.kx", absolute);
    r = RunKx({"-o", "unused", "absolute.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ReadFile(dir + "/abs0000.ppm") == image);
    EXPECT_FALSE(FileExists(dir + "/unused"));
    // A folder that cannot be made: its name and the system's reason, then
    // the report of the image that could not be written.
    WriteFile(dir, "file", "");
    r = RunKx({"-o", "file/below", "scene.kx"}, dir);
    EXPECT_EQ(r.status, StatusOf(-1));
    EXPECT_EQ(r.err,
              "cannot create folder file/below: Not a directory\n"
              "Error in scene.kx on line 8: Unexepected end of file\n");
    r = RunKx({"scene.kx", "--output"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": --output needs the name of a folder\n");
}

// --frames that selects none of the frames of the scene's images says so.
TEST(CommandLine, FramesThatSelectNoFrameOfTheScene) {
    const std::string dir = MakeTempDir();
    WriteFile(dir, "frames.kx",
              "Engine \"scan convert\"\nDisplay \"f\" \"PNM\" \"rgb\"\nFormat 2 2\n"
              "FrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\nFrameBegin 3\nWorldBegin\nWorldEnd\nFrameEnd\n");
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--frames", "2", "frames.kx"}, {"--list-images", "--frames=0,2,4-9", "frames.kx"}}) {
        RunResult r = RunKx(args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string(KX_BINARY) + ": --frames " + (args[0] == "--frames" ? "2" : "0,2,4-9") +
                             " selects no frame of frames.kx\n");
    }
    EXPECT_FALSE(FileExists(dir + "/f0001.ppm"));
    RunResult r = RunKx({"--list-images", "--frames=2-3", "frames.kx"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "image 3 2 2 f0003.ppm\n");
    // A flag takes no value.
    r = RunKx({"--list-images=yes", "frames.kx"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": --list-images takes no value\n");
}
