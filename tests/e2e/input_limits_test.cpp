// Scene input an attacker would try: endless tokens and digit runs, and
// inputs that cannot be read. Each ends the run at once with a report and
// a non-zero status; the endless inputs are infinite streams, so a reader
// without a bound on its tokens would never end here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/run.h"

using kxtest::MakeTempDir;
using kxtest::RunBinary;
using kxtest::RunResult;
using kxtest::StatusOf;

namespace {

std::string Report(const std::string& file, int line, const std::string& message) {
    return "Error in " + file + " on line " + std::to_string(line) + ": " + message + "\n";
}

// Runs a shell command line in a fresh folder ("kx" stands for the binary).
RunResult Shell(const std::string& line, std::string* dirOut = nullptr) {
    std::string dir = MakeTempDir();
    if (dirOut) *dirOut = dir;
    return RunBinary("/bin/sh", {"-c", "kx=" + std::string(KX_BINARY) + "; " + line}, dir);
}

}  // namespace

TEST(InputLimits, AnEndlessWordEndsTheRunAtOnce) {
    RunResult r = Shell("exec $kx /dev/zero");
    EXPECT_EQ(r.err, Report("/dev/zero", 1, "Unrecognized symbol"));
    EXPECT_EQ(r.status, StatusOf(-3));
    // Vertex data is read word by word.
    r = Shell("{ printf 'WorldBegin\\nPolySet \"P\" 3 1 1 1 '; yes 7 | tr -d '\\n'; } 2>/dev/null | exec $kx -");
    EXPECT_EQ(r.err, Report("-", 2, "Vertex coordinate expected"));
    EXPECT_EQ(r.status, StatusOf(-38));
}

// A number with an endless digit run: the command gets what a malformed
// number gives, and the next word read fails.
TEST(InputLimits, AnEndlessDigitRunEndsTheRunAtOnce) {
    struct Case {
        const char* start;
        int line;
    } cases[] = {{"WorldBegin\\nColor 0.", 2}, {"WorldBegin\\nColor 1 1 -", 2}, {"Format 1", 1},
                 {"WorldBegin\\nKa 0.5e1", 2}};
    for (const Case& c : cases) {
        RunResult r = Shell(std::string("{ printf '") + c.start + "'; yes 0 | tr -d '\\n'; } 2>/dev/null | exec $kx -");
        EXPECT_EQ(r.err, Report("-", c.line, "Unrecognized symbol")) << c.start;
        EXPECT_EQ(r.status, StatusOf(-3)) << c.start;
    }
}

TEST(InputLimits, ReadErrorsAreNoEndOfFile) {
    std::string dir;
    RunResult r = Shell("mkdir scenes && exec $kx scenes", &dir);
    EXPECT_EQ(r.err, "cannot read scenes: Is a directory\n" + Report("scenes", 1, "Unexepected end of file"));
    EXPECT_EQ(r.status, StatusOf(-1));

    r = Shell("exec $kx /proc/self/mem");
    EXPECT_EQ(r.err,
              "cannot read /proc/self/mem: Input/output error\n" + Report("/proc/self/mem", 1, "Unexepected end of file"));
    EXPECT_EQ(r.status, StatusOf(-1));

    r = Shell("exec $kx - <&-");
    EXPECT_EQ(r.err, "cannot read standard input: Bad file descriptor\n" + Report("-", 1, "Unexepected end of file"));
    EXPECT_EQ(r.status, StatusOf(-1));

    // Names reach the terminal escaped.
    r = Shell("mkdir \"$(printf 'a\\033[2Jb')\" && exec $kx a*b");
    EXPECT_EQ(r.err, "cannot read a\\033[2Jb: Is a directory\n" + Report("a\\033[2Jb", 1, "Unexepected end of file"));
}
