// --help and --version; every other argument is still a scene file.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/run.h"

using namespace kxtest;

TEST(CommandLine, HelpShowsUsageAndSummary) {
    RunResult r = RunKx({"--help"}, MakeTempDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(std::string("Usage: ") + KX_BINARY + "  kx_file\n\n", 0), 0u) << r.out;
    for (const char* word : {"\"direct\"", "\"raytrace\"", "\"data convert\"", "\"scan convert\"", "\"PNG\"",
                             "\"Statistics\"", "--version"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(CommandLine, VersionIsTheProjectVersion) {
    std::string cmake = ReadFile(KX_SOURCE_DIR "/CMakeLists.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cmake, m, std::regex("project\\(kxrender VERSION ([0-9.]+)")));
    RunResult r = RunKx({"--version"}, MakeTempDir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "kxrender " + m[1].str() + "\n");
    EXPECT_EQ(r.err, "");
}

TEST(CommandLine, OtherArgumentsAreSceneFiles) {
    std::string dir = MakeTempDir();
    RunResult r = RunKx({"--helpme"}, dir);
    EXPECT_EQ(r.err, "Error in --helpme on line 0: File not found.\n");
    EXPECT_EQ(r.status, StatusOf(-2));
    WriteFile(dir, "-version", "bogus\n");
    r = RunKx({"-version"}, dir);
    EXPECT_EQ(r.err, "Error in -version on line 1: Unrecognized symbol\n");
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
    r = RunKx({"--help", "a.kx"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": one scene file only, not also \"a.kx\"\n" + usage);
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
