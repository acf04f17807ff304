// Lost output is a failure: an image that cannot be written, or converter
// text that standard output does not take, ends the run with a message
// naming the file (and the folder, when the file cannot be made in it) and
// the system's reason, the report for -1 and a non-zero status, and never
// leaves a partial file under the final name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/run.h"

using kxtest::MakeTempDir;
using kxtest::RunBinary;
using kxtest::RunResult;
using kxtest::RunScene;
using kxtest::StatusOf;
using kxtest::WriteFile;

namespace {

const char kFrame[] = "Format 64 64\nWorldBegin\nPolySet \"P\" 3 1  -1 -1 -2  1 -1 -2  0 1 -2  0 1 2 -1\nWorldEnd\n";

std::string Scene(const std::string& engine, const std::string& displayName) {
    return "Engine \"" + engine + "\"\nDisplay \"" + displayName + "\" \"PNM\" \"rgb\"\n" + kFrame;
}

// What the run writes on standard error after the engines' notices.
std::string Failure(const std::string& file, const std::string& reason) {
    return "cannot write " + file + ": " + reason + "\nError in scene.kx on line 6: Unexepected end of file\n";
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs a shell command line in dir ("kx" stands for the binary).
RunResult Shell(const std::string& dir, const std::string& line) {
    return RunBinary("/bin/sh", {"-c", "kx=" + std::string(KX_BINARY) + "; " + line}, dir);
}

}  // namespace

TEST(LostOutput, AnImageThatCannotBeWrittenEndsTheRunForEveryEngine) {
    for (const char* engine : {"direct", "raytrace", "scan convert"}) {
        RunResult r = RunScene(Scene(engine, "missing/img"));
        EXPECT_TRUE(EndsWith(r.err, Failure("missing/img0000.ppm", "folder missing: No such file or directory")))
            << engine << r.err;
        EXPECT_EQ(r.status, StatusOf(-1)) << engine;

        // A file where a folder should be.
        r = RunScene(Scene(engine, "scene.kx/img"));
        EXPECT_TRUE(EndsWith(r.err, Failure("scene.kx/img0000.ppm", "folder scene.kx: Not a directory")))
            << engine << r.err;
        EXPECT_EQ(r.status, StatusOf(-1)) << engine;
    }
}

TEST(LostOutput, AFolderWithoutWritePermission) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/locked").c_str(), 0555), 0);
    WriteFile(dir, "scene.kx", Scene("direct", "locked/img"));
    RunResult r = kxtest::RunKx({"scene.kx"}, dir);
    EXPECT_EQ(r.err, Failure("locked/img0000.ppm", "folder locked: Permission denied"));
    EXPECT_EQ(r.status, StatusOf(-1));
}

// The file size limit refuses the bytes past it as a full disk would.
TEST(LostOutput, AFullDiskLeavesNoPartialImage) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx", Scene("direct", "img"));
    RunResult r = Shell(dir, "trap '' XFSZ; ulimit -f 4; exec $kx scene.kx");
    EXPECT_EQ(r.err, Failure("img0000.ppm", "File too large"));
    EXPECT_EQ(r.status, StatusOf(-1));
    RunResult listing = Shell(dir, "ls -A");
    EXPECT_EQ(listing.out, "scene.kx\n");  // neither the image nor a temporary file

    // Without the limit the same scene writes the whole image.
    r = Shell(dir, "exec $kx scene.kx");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(kxtest::ReadPPM(dir + "/img0000.ppm").width, 64);
}

TEST(LostOutput, ConverterOutputToAFullDevice) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx", "Engine \"data convert\"\nWorldBegin\nSphere 1 -1 1 360\nWorldEnd\n");
    RunResult r = Shell(dir, "exec $kx scene.kx > /dev/full");
    EXPECT_EQ(r.err,
              "cannot write standard output: No space left on device\n"
              "Error in scene.kx on line 3: Unexepected end of file\n");
    EXPECT_EQ(r.status, StatusOf(-1));
}
