// The window device under a virtual X server: the window shows the same
// image as the PPM file of the same scene, a left click prints the pixel, a
// right click ends the program.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "support/run.h"

// Last: its macros would clash with the test framework's names.
#include <X11/Xlib.h>

extern char** environ;

using namespace kxtest;

namespace {

bool OnPath(const std::string& program) {
    std::string cmd = "command -v " + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string Capture(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& dir, const std::string& errFile,
            const std::string& displayVar) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.push_back(*e);
    env.push_back("DISPLAY=" + displayVar);
    std::vector<char*> envp, argv;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> a = args;
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits for a child; -1 on time-out.
int WaitFor(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

uint32_t Big32(const std::string& d, size_t at) {
    return (uint32_t(uint8_t(d[at])) << 24) | (uint32_t(uint8_t(d[at + 1])) << 16) |
           (uint32_t(uint8_t(d[at + 2])) << 8) | uint32_t(uint8_t(d[at + 3]));
}

// Reads a TrueColor window dump into RGB rows.
Image ReadXwd(const std::string& path) {
    Image img;
    std::string d = ReadFile(path);
    if (d.size() < 100) return img;
    uint32_t headerSize = Big32(d, 0), width = Big32(d, 16), height = Big32(d, 20);
    uint32_t byteOrder = Big32(d, 28), bitsPerPixel = Big32(d, 44), bytesPerLine = Big32(d, 48);
    uint32_t masks[3] = {Big32(d, 56), Big32(d, 60), Big32(d, 64)};
    uint32_t ncolors = Big32(d, 76);
    size_t data = headerSize + ncolors * 12;
    if (bitsPerPixel != 32 || d.size() < data + size_t(bytesPerLine) * height) return img;
    img.width = width;
    img.height = height;
    img.rgb.resize(size_t(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(d.data() + data + y * bytesPerLine + x * 4);
            uint32_t v = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24)
                                        : (uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
            for (int c = 0; c < 3; ++c) {
                uint32_t m = masks[c];
                int shift = 0;
                while (m && !(m & 1)) {
                    m >>= 1;
                    ++shift;
                }
                img.rgb[(size_t(y) * width + x) * 3 + c] = uint8_t((v >> shift) & m);
            }
        }
    img.ok = true;
    return img;
}

const char* kScene =
    "Format 64 48\n"
    "Display \"%s\" \"%s\" \"%s\"\n"
    "Background 0.2 0.4 0.6\n"
    "WorldBegin\n"
    "Color 1 0.5 0\n"
    "Translate 0 0 -2\n"
    "PolySet \"P\" 4 1 -1 -0.5 0 1 -0.5 0 1 0.7 0 -1 0.7 0 0 1 2 3 -1\n"
    "WorldEnd\n";

std::string SceneFor(const char* name, const char* type, const char* mode) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, kScene, name, type, mode);
    return buf;
}

class ScreenDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("xwd")) GTEST_SKIP() << "Xvfb, xdotool or xwd missing";
        dir_ = MakeTempDir();
        // A display number nobody holds, then wait until the server answers.
        int n = 70 + getpid() % 200;
        char name[32];
        auto lockFile = [&name](int k) {
            snprintf(name, sizeof name, "/tmp/.X%d-lock", k);
            return std::string(name);
        };
        while (FileExists(lockFile(n))) n = 70 + (n - 69) % 200;
        snprintf(name, sizeof name, ":%d", n);
        display_ = name;
        xvfb_ = Spawn({"Xvfb", display_, "-screen", "0", "320x240x24", "-nolisten", "tcp", "-noreset"}, "", dir_ + "/xvfb.log",
                      display_);
        bool up = false;
        for (int i = 0; i < 200 && !up; ++i) {
            if (Display* d = XOpenDisplay(display_.c_str())) {
                XCloseDisplay(d);
                up = true;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        ASSERT_TRUE(up) << "Xvfb did not start: " << ReadFile(dir_ + "/xvfb.log");
    }
    void TearDown() override {
        if (kx_ > 0) {
            kill(kx_, SIGKILL);
            waitpid(kx_, nullptr, 0);
        }
        if (xvfb_ > 0) {
            kill(xvfb_, SIGTERM);
            waitpid(xvfb_, nullptr, 0);
        }
    }
    std::string xdo(const std::string& args) { return Capture("DISPLAY=" + display_ + " xdotool " + args + " 2>/dev/null"); }

    std::string dir_, display_;
    pid_t xvfb_ = -1, kx_ = -1;
};

}  // namespace

TEST_F(ScreenDevice, WindowShowsThePpmImageAndAnswersTheMouse) {
    // The reference image through the file device.
    WriteFile(dir_, "ref.kx", SceneFor("ref", "PNM", "rgb"));
    RunResult ref = RunKx({"ref.kx"}, dir_);
    ASSERT_EQ(ref.status, 0) << ref.err;
    Image expected = ReadPPM(dir_ + "/ref0000.ppm");
    ASSERT_TRUE(expected.ok);

    WriteFile(dir_, "win.kx", SceneFor("kxwindow", "Screen", "rgbdouble"));
    kx_ = Spawn({KX_BINARY, "win.kx"}, dir_, dir_ + "/win.err", display_);
    ASSERT_GT(kx_, 0);
    std::string window;
    for (int i = 0; i < 200 && window.empty(); ++i) {
        window = xdo("search --name '^kxwindow$'");
        if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(window.empty()) << ReadFile(dir_ + "/win.err");
    window = window.substr(0, window.find('\n'));
    // Without a window manager the window sits at (-1, -1), partly off the
    // screen, where a dump would cut it.
    xdo("windowmove " + window + " 20 20");

    // The scene is short: give the idle loop time to finish and redraw.
    Image shown;
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        std::system(("DISPLAY=" + display_ + " xwd -silent -id " + window + " -out " + dir_ + "/win.xwd").c_str());
        shown = ReadXwd(dir_ + "/win.xwd");
        if (shown.ok && shown.rgb == expected.rgb) break;
    }
    ASSERT_TRUE(shown.ok);
    ASSERT_EQ(shown.width, 64);
    ASSERT_EQ(shown.height, 48);
    EXPECT_TRUE(shown.rgb == expected.rgb);

    // A left click prints the pixel under the pointer. A busy machine may
    // lose an event sent before the window is mapped: click again then.
    std::string printed;
    for (int attempt = 0; attempt < 5 && printed.empty(); ++attempt) {
        xdo("mousemove --window " + window + " 30 20 click 1");
        for (int i = 0; i < 40 && printed.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            printed = ReadFile(dir_ + "/win.err");
        }
    }
    const uint8_t* p = expected.at(30, 20);
    std::ostringstream want;
    want << "(30, 20): " << p[0] / 255.999 << " " << p[1] / 255.999 << " " << p[2] / 255.999 << "\n";
    EXPECT_EQ(printed, want.str());

    // A right click ends the program with status 0.
    int status = -1;
    for (int attempt = 0; attempt < 5 && status == -1; ++attempt) {
        xdo("mousemove --window " + window + " 5 5 click 3");
        status = WaitFor(kx_, 2);
    }
    EXPECT_EQ(status, 0);
    kx_ = -1;
}
