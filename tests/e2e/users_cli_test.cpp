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
