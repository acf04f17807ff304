// kxrender --watch: a scene or texture edited while watched, replaced by a
// rename as editors do, renders again to the bytes a new run of it gives;
// an edit with an error gets its one report and the watch goes on; a scene
// removed and written again is picked up; SIGINT ends the watch as it ends
// any run.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "support/run.h"

extern char** environ;

using namespace kxtest;

namespace {

const std::string kWatching = std::string(KX_BINARY) + ": watching scene.kx for changes (Ctrl-C ends)\n";

// A textured square on a background, written as out0000.ppm.
std::string Scene(const char* background, const char* extra = "") {
    return std::string("Display \"out\" \"PNM\" \"rgb\"\nFormat 32 16\nBackground ") + background +
           "\nMapLoad \"tex/t.ppm\" \"t\"\nWorldBegin\nMap \"texture\" \"t\"\nSurface \"painted plastic\"\n"
           "PolySet \"PT\" 4 1  0.2 -1 -2 0 0  2.2 -1 -2 1 0  2.2 1 -2 1 1  0.2 1 -2 0 1  0 1 2 3 -1\n"
           "WorldEnd\n" +
           extra;
}

const char* kTexture = "P3\n2 2\n255\n255 0 0  0 255 0\n0 0 255  255 255 255\n";
const char* kOtherTexture = "P3\n2 2\n255\n0 0 0  90 90 90\n200 0 200  255 255 0\n";

// Replaces dir/name as editors do: a new file renamed over the old one.
void Replace(const std::string& dir, const std::string& name, const std::string& text) {
    WriteFile(dir, ".edit.tmp", text);
    std::filesystem::rename(dir + "/.edit.tmp", dir + "/" + name);
}

// What a plain run of the scene and texture gives: its image bytes and its
// standard error.
struct Plain {
    std::string image, err;
};
Plain PlainRun(const std::string& scene, const char* texture) {
    const std::string dir = MakeTempDir();
    std::filesystem::create_directory(dir + "/tex");
    WriteFile(dir + "/tex", "t.ppm", texture);
    WriteFile(dir, "scene.kx", scene);
    RunResult r = RunKx({"scene.kx"}, dir);
    return {ReadFile(dir + "/out0000.ppm"), r.err};
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class Watch : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        std::filesystem::create_directory(dir_ + "/tex");
        WriteFile(dir_ + "/tex", "t.ppm", kTexture);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Starts kxrender --watch scene.kx in dir_, standard error to a file,
    // SIGINT and SIGTERM at their defaults whatever this process has.
    void start() {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, (dir_ + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&fa, dir_.c_str());
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        std::string a0 = KX_BINARY, a1 = "--watch", a2 = "scene.kx";
        char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
        ASSERT_EQ(posix_spawn(&pid_, KX_BINARY, &fa, &attr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
    }

    // Standard error once it holds n watching lines (a generous bound, for
    // a busy machine; the program told it is watching before each wait).
    std::string errAfter(size_t n) {
        std::string err;
        for (int i = 0; i < 3000; ++i) {
            err = ReadFile(dir_ + "/err.txt");
            if (Count(err, kWatching) >= n) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(Count(err, kWatching), n) << err;
        return err;
    }

    std::string image() const { return ReadFile(dir_ + "/out0000.ppm"); }

    std::string dir_;
    pid_t pid_ = -1;
};

}  // namespace

TEST_F(Watch, EditsRenderAgainErrorsAreReportedAndSigintEnds) {
    const std::string first = Scene("0.2 0.4 0.6");
    WriteFile(dir_, "scene.kx", first);
    start();
    std::string expectedErr = kWatching;
    EXPECT_EQ(errAfter(1), expectedErr);
    Plain plain = PlainRun(first, kTexture);
    ASSERT_FALSE(plain.image.empty());
    EXPECT_EQ(image(), plain.image);

    // The scene replaced with another background.
    const std::string second = Scene("0.9 0.1 0.1");
    Replace(dir_, "scene.kx", second);
    expectedErr += kWatching;
    EXPECT_EQ(errAfter(2), expectedErr);
    plain = PlainRun(second, kTexture);
    EXPECT_NE(plain.image, PlainRun(first, kTexture).image);
    EXPECT_EQ(image(), plain.image);

    // The texture the scene read, replaced.
    Replace(dir_ + "/tex", "t.ppm", kOtherTexture);
    expectedErr += kWatching;
    EXPECT_EQ(errAfter(3), expectedErr);
    plain = PlainRun(second, kOtherTexture);
    EXPECT_NE(plain.image, PlainRun(second, kTexture).image);
    EXPECT_EQ(image(), plain.image);

    // An error: the report a plain run gives, once, and the watch goes on.
    const std::string broken = Scene("0.1 0.8 0.1", "Bogus\n");
    Replace(dir_, "scene.kx", broken);
    plain = PlainRun(broken, kOtherTexture);
    EXPECT_EQ(plain.err, "Error in scene.kx on line 10: Unrecognized symbol\n");
    expectedErr += plain.err + kWatching;
    EXPECT_EQ(errAfter(4), expectedErr);
    EXPECT_EQ(image(), plain.image);

    // The scene removed, then written again in place, fixed.
    std::filesystem::remove(dir_ + "/scene.kx");
    const std::string fixed = Scene("0.1 0.8 0.1");
    WriteFile(dir_, "scene.kx", fixed);
    expectedErr += kWatching;
    EXPECT_EQ(errAfter(5), expectedErr);
    plain = PlainRun(fixed, kOtherTexture);
    EXPECT_EQ(image(), plain.image);

    // SIGINT ends the watch as it ends a plain run: by the signal, nothing
    // more said, nothing left behind.
    ASSERT_EQ(kill(pid_, SIGINT), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
    pid_ = -1;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(ReadFile(dir_ + "/err.txt"), expectedErr);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        const std::string name = entry.path().filename();
        EXPECT_TRUE(name == "scene.kx" || name == "tex" || name == "err.txt" || name == "out0000.ppm") << name;
        ++files;
    }
    EXPECT_EQ(files, 4u);
}

TEST(WatchRefused, StandardInput) {
    const std::string dir = MakeTempDir();
    const std::string scene = "WorldBegin\nWorldEnd\n";
    RunResult r = RunKx({"--watch", "-"}, dir, &scene);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string(KX_BINARY) + ": --watch needs a scene file, not standard input\nUsage: " +
                         KX_BINARY + "  kx_file\n");
    EXPECT_EQ(r.out, "");
}
