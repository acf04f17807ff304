// The image files of a run as the file system sees them: how often each is
// written, the permission bits of a file that is replaced, empty images,
// and what an interrupt leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include "support/run.h"

using kxtest::FileExists;
using kxtest::MakeTempDir;
using kxtest::ReadFile;
using kxtest::RunBinary;
using kxtest::RunResult;
using kxtest::RunScene;
using kxtest::WriteFile;

namespace {

// Watches a folder for files that appear under their final names.
class Arrivals {
public:
    // A waiting watch blocks in counts() until a name arrives.
    explicit Arrivals(const std::string& dir, bool wait = false)
        : fd_(inotify_init1(IN_CLOEXEC | (wait ? 0 : IN_NONBLOCK))), wait_(wait) {
        // Moves from the temporary names as well: the system merges equal
        // events that follow each other.
        inotify_add_watch(fd_, dir.c_str(), IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~Arrivals() { close(fd_); }
    Arrivals(const Arrivals&) = delete;
    Arrivals& operator=(const Arrivals&) = delete;

    // How often each name arrived among the events queued so far.
    std::map<std::string, int> counts() {
        std::map<std::string, int> n;
        alignas(inotify_event) char buffer[65536];
        ssize_t got;
        while ((got = read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + got;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                if (e->len > 0 && (e->mask & IN_MOVED_TO)) ++n[e->name];
                p += sizeof(inotify_event) + e->len;
            }
            if (wait_ && !n.empty()) break;
        }
        return n;
    }

private:
    int fd_;
    bool wait_;
};

RunResult Shell(const std::string& dir, const std::string& line) {
    return RunBinary("/bin/sh", {"-c", "kx=" + std::string(KX_BINARY) + "; " + line}, dir);
}

int Mode(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

}  // namespace

// WorldEnd and FrameEnd both show the image; a frame's file is written once
// unless the frame drew something after it was written.
TEST(OutputFiles, EachImageIsWrittenOnce) {
    for (const char* engine : {"direct", "scan convert"}) {
        for (const char* type : {"PNM", "PNG"}) {
            std::string dir = MakeTempDir();
            Arrivals arrivals(dir);
            std::string scene = std::string("Engine \"") + engine + "\"\nDisplay \"img\" \"" + type +
                                "\" \"rgb\"\nFormat 4 2\n"
                                "FrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n"
                                "FrameBegin 2\nWorldBegin\nWorldEnd\nBackground 1 0 0\nWorldBegin\nWorldEnd\nFrameEnd\n"
                                "FrameBegin 3\nFrameEnd\n";
            WriteFile(dir, "scene.kx", scene);
            RunResult r = kxtest::RunKx({"scene.kx"}, dir);
            EXPECT_EQ(r.status, 0) << r.err;
            const std::string ext = std::string(type) == "PNM" ? ".ppm" : ".png";
            std::map<std::string, int> expected{{"img0001" + ext, 1}, {"img0002" + ext, 2}};
            EXPECT_EQ(arrivals.counts(), expected) << engine << " " << type;
            if (ext == ".ppm") {
                std::string red;
                for (int k = 0; k < 8; ++k) red += std::string("\xff\0\0", 3);
                EXPECT_EQ(ReadFile(dir + "/img0002.ppm"), "P6\n4 2\n255\n" + red) << engine;
            }
        }
    }
}

// A file that is replaced keeps its permission bits; a new one gets those
// the creation mask leaves.
TEST(OutputFiles, AReplacedFileKeepsItsPermissions) {
    std::string dir = MakeTempDir();
    WriteFile(dir, "scene.kx",
              "Display \"img\" \"PNM\" \"rgb\"\nFormat 2 2\nFrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n"
              "FrameBegin 2\nWorldBegin\nWorldEnd\nFrameEnd\nFrameBegin 3\nWorldBegin\nWorldEnd\nFrameEnd\n");
    WriteFile(dir, "img0001.ppm", "old");
    WriteFile(dir, "img0002.ppm", "old");
    ASSERT_EQ(chmod((dir + "/img0001.ppm").c_str(), 0600), 0);
    ASSERT_EQ(chmod((dir + "/img0002.ppm").c_str(), 0666), 0);
    RunResult r = Shell(dir, "umask 027; exec $kx scene.kx");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Mode(dir + "/img0001.ppm"), 0600);
    EXPECT_EQ(Mode(dir + "/img0002.ppm"), 0666);
    EXPECT_EQ(Mode(dir + "/img0003.ppm"), 0640);
    EXPECT_EQ(ReadFile(dir + "/img0001.ppm").substr(0, 11), "P6\n2 2\n255\n");
}

// A format of no pixels is an empty image for every engine; a PNG, which
// has at least one pixel, is not written.
TEST(OutputFiles, EmptyFormats) {
    for (const char* engine : {"direct", "raytrace", "scan convert"}) {
        for (const char* format : {"0 0", "-20000 -20000", "5 0", "-3 7"}) {
            std::string dir;
            RunResult r = RunScene(std::string("Engine \"") + engine + "\"\nDisplay \"img\" \"PNM\" \"rgb\"\nFormat " +
                                       format + "\nWorldBegin\nSphere 1 -1 1 360\nWorldEnd\n",
                                   &dir);
            EXPECT_EQ(r.status, 0) << engine << " " << format << r.err;
            EXPECT_EQ(ReadFile(dir + "/img0000.ppm"), "P6\n0 0\n255\n") << engine << " " << format;

            r = RunScene(std::string("Engine \"") + engine + "\"\nDisplay \"img\" \"PNG\" \"rgb\"\nFormat " + format +
                             "\nWorldBegin\nWorldEnd\n",
                         &dir);
            EXPECT_EQ(r.err, "img0000.png not written: an image without pixels has no PNG form\n")
                << engine << " " << format;
            EXPECT_EQ(r.status, 0) << engine << " " << format;
            EXPECT_FALSE(FileExists(dir + "/img0000.png"));
        }
    }
}

// SIGINT, SIGTERM and SIGHUP end the program as they do by default (the
// shell sees 130, 143 and 129), with no temporary file left behind.
TEST(OutputFiles, InterruptsEndTheProgramWithTheirStatus) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        std::string dir = MakeTempDir();
        Arrivals arrivals(dir, true);
        int in[2];
        ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
            dup2(in[0], 0);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 2);
            if (chdir(dir.c_str()) != 0) _exit(99);
            execl(KX_BINARY, KX_BINARY, "-", static_cast<char*>(nullptr));
            _exit(98);
        }
        close(in[0]);
        const std::string scene = "Display \"img\" \"PNM\" \"rgb\"\nFormat 300 200\nWorldBegin\nWorldEnd\n";
        ASSERT_EQ(write(in[1], scene.data(), scene.size()), static_cast<ssize_t>(scene.size()));
        // The image is written; the program waits for more of the scene.
        EXPECT_EQ(arrivals.counts(), (std::map<std::string, int>{{"img0000.ppm", 1}}));
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(in[1]);
        ASSERT_TRUE(WIFSIGNALED(status)) << sig;
        EXPECT_EQ(128 + WTERMSIG(status), 128 + sig);
        EXPECT_EQ(Shell(dir, "ls -A").out, "img0000.ppm\n");
    }
}
