// Whole-file writes: a file appears under its name only when it is
// complete, and every failure is named with the system's reason.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "display/file_write.h"
#include "support/run.h"

using kx::WriteWholeFile;
using kxtest::FileExists;
using kxtest::MakeTempDir;
using kxtest::ReadFile;

namespace {

// The names in a folder, sorted, "." and ".." left out.
std::string Listing(const std::string& dir) {
    std::string names;
    FILE* p = popen(("ls -A " + dir).c_str(), "r");
    char buf[256];
    while (p && fgets(buf, sizeof buf, p)) names += buf;
    if (p) pclose(p);
    return names;
}

bool Write(const std::string& path, const std::string& text, std::string* err = nullptr) {
    testing::internal::CaptureStderr();
    int status = WriteWholeFile(
        path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); });
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return status == 0;
}

}  // namespace

TEST(WholeFile, WrittenUnderItsNameWithNothingLeftBeside) {
    std::string dir = MakeTempDir();
    std::string err;
    ASSERT_TRUE(Write(dir + "/a.ppm", "first", &err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadFile(dir + "/a.ppm"), "first");
    ASSERT_TRUE(Write(dir + "/a.ppm", "second"));  // replaces the earlier file
    EXPECT_EQ(ReadFile(dir + "/a.ppm"), "second");
    EXPECT_EQ(Listing(dir), "a.ppm\n");
}

TEST(WholeFile, FailuresNameTheFileAndTheReason) {
    std::string dir = MakeTempDir();
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteWholeFile(dir + "/missing/a.ppm", [](std::FILE*) { return true; }), kx::kErrEndOfFile);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "cannot write " + dir + "/missing/a.ppm: folder " + dir + "/missing: No such file or directory\n");

    // A folder in the way of the final name: the rename fails.
    ASSERT_EQ(mkdir((dir + "/b.ppm").c_str(), 0755), 0);
    EXPECT_FALSE(Write(dir + "/b.ppm", "data", &err));
    EXPECT_EQ(err, "cannot write " + dir + "/b.ppm: Is a directory\n");
    EXPECT_EQ(Listing(dir), "b.ppm\n");  // no temporary file left

    // A name with a NUL inside is refused rather than cut short.
    EXPECT_FALSE(Write(dir + "/c" + std::string(1, '\0') + "d.ppm", "data", &err));
    EXPECT_EQ(err, "cannot write " + dir + "/c\\000d.ppm: Invalid argument\n");
    EXPECT_EQ(Listing(dir), "b.ppm\n");

    // Nothing in the name reaches the terminal as a control character.
    EXPECT_FALSE(Write(dir + "/missing/\033]0;title\a\x9b" "2J\\ \n\t\xc3\xa9.ppm", "data", &err));
    EXPECT_EQ(err, "cannot write " + dir + "/missing/\\033]0;title\\007\\2332J\\\\ \\n\\t\xc3\xa9.ppm: folder " + dir +
                       "/missing: No such file or directory\n");
}

// An interrupt in the middle of a write removes the temporary file, then
// ends the process as the signal does by default; an interrupt the process
// was started ignoring stays ignored.
TEST(WholeFile, AnInterruptDuringTheWriteLeavesNothingBehind) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        for (bool ignored : {false, true}) {
            std::string dir = MakeTempDir();
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                std::signal(sig, ignored ? SIG_IGN : SIG_DFL);
                kx::RemoveTemporaryOnInterrupt();
                int status = WriteWholeFile(dir + "/a.ppm", [sig](std::FILE* f) {
                    std::fputs("half", f);
                    std::fflush(f);
                    raise(sig);
                    return std::fputs(" and the rest", f) >= 0;
                });
                _exit(status == 0 ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            if (ignored) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sig;
                EXPECT_EQ(ReadFile(dir + "/a.ppm"), "half and the rest");
                EXPECT_EQ(Listing(dir), "a.ppm\n");
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig << " " << status;
                EXPECT_EQ(Listing(dir), "");
            }
        }
    }
}

TEST(WholeFile, AFailedWriteKeepsTheEarlierFile) {
    std::string dir = MakeTempDir();
    ASSERT_TRUE(Write(dir + "/a.ppm", "old"));
    testing::internal::CaptureStderr();
    int status = WriteWholeFile(dir + "/a.ppm", [](std::FILE* f) {
        std::fputs("half", f);
        errno = ENOSPC;
        return false;  // as a short write on a full disk
    });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, kx::kErrEndOfFile);
    EXPECT_EQ(err, "cannot write " + dir + "/a.ppm: No space left on device\n");
    EXPECT_EQ(ReadFile(dir + "/a.ppm"), "old");
    EXPECT_EQ(Listing(dir), "a.ppm\n");
}

// The file size limit makes the system refuse the bytes past it, as a full
// disk would, and the buffered stream sees it only when it flushes.
TEST(WholeFile, BytesTheSystemRefusesAreAFailure) {
    std::string dir = MakeTempDir();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string err;
    bool ok = Write(dir + "/a.ppm", std::string(5000, 'x'), &err);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, "cannot write " + dir + "/a.ppm: File too large\n");
    EXPECT_EQ(Listing(dir), "");
}
