// The window device under a virtual X server: the window shows the same
// image as the PPM file of the same scene, a left click prints the pixel,
// and every way out of the window ends the program once, with the scene's
// status.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
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

    // Starts kxrender on a window scene in dir_ and returns its window, moved
    // fully onto the screen.
    std::string startWindow(const std::string& scene, const std::string& title, bool watch = false) {
        WriteFile(dir_, "win.kx", scene);
        kx_ = Spawn(watch ? std::vector<std::string>{KX_BINARY, "--watch", "win.kx"}
                          : std::vector<std::string>{KX_BINARY, "win.kx"},
                    dir_, dir_ + "/win.err", display_);
        if (kx_ <= 0) return "";
        std::string window;
        for (int i = 0; i < 200 && window.empty(); ++i) {
            window = xdo("search --name '^" + title + "$'");
            if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        window = window.substr(0, window.find('\n'));
        // Without a window manager the window sits at (-1, -1), partly off
        // the screen, where a dump would cut it.
        if (!window.empty()) xdo("windowmove " + window + " 20 20");
        return window;
    }

    // Renders fileScene through the file device (display name "ref"), then
    // windowScene in a window of that title, and checks that the window
    // comes to show the same picture. Returns the window ("" on failure)
    // and the picture in *expected.
    std::string windowShowsPicture(const std::string& fileScene, const std::string& windowScene,
                                   const std::string& title, Image* expected) {
        WriteFile(dir_, "ref.kx", fileScene);
        RunResult ref = RunKx({"ref.kx"}, dir_);
        EXPECT_EQ(ref.status, 0) << ref.err;
        *expected = ReadPPM(dir_ + "/ref0000.ppm");
        EXPECT_TRUE(expected->ok);
        std::string window = startWindow(windowScene, title);
        EXPECT_FALSE(window.empty()) << ReadFile(dir_ + "/win.err");
        if (!expected->ok || window.empty()) return "";
        Image shown = waitForPicture(window, *expected);
        EXPECT_TRUE(shown.ok);
        EXPECT_EQ(shown.width, expected->width);
        EXPECT_EQ(shown.height, expected->height);
        EXPECT_TRUE(shown.rgb == expected->rgb);
        return window;
    }

    // Dumps the window until it shows the expected image (or a time-out).
    Image waitForPicture(const std::string& window, const Image& expected) {
        Image shown;
        for (int i = 0; i < 120; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            std::system(("DISPLAY=" + display_ + " xwd -silent -id " + window + " -out " + dir_ + "/win.xwd").c_str());
            shown = ReadXwd(dir_ + "/win.xwd");
            if (shown.ok && shown.rgb == expected.rgb) break;
        }
        return shown;
    }

    // The message a window manager sends when the close button is pressed.
    // A window already gone (a second attempt after the program ended) is
    // no error here.
    void sendDeleteWindow(const std::string& window) {
        Display* d = XOpenDisplay(display_.c_str());
        ASSERT_NE(d, nullptr);
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        XEvent ev;
        std::memset(&ev, 0, sizeof ev);
        ev.xclient.type = ClientMessage;
        ev.xclient.window = std::stoul(window);
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, ev.xclient.window, False, NoEventMask, &ev);
        XSync(d, False);
        XCloseDisplay(d);
        XSetErrorHandler(previous);
    }

    // The exit status of the program, -1 if it is still running after
    // `seconds`; the program is waited for only once.
    int exitStatus(int seconds) {
        int status = WaitFor(kx_, seconds);
        if (status != -1) kx_ = -1;
        return status;
    }

    std::string dir_, display_;
    pid_t xvfb_ = -1, kx_ = -1;
};

}  // namespace

TEST_F(ScreenDevice, WindowShowsThePpmImageAndAnswersTheMouse) {
    Image expected;
    std::string window = windowShowsPicture(SceneFor("ref", "PNM", "rgb"),
                                            SceneFor("kxwindow", "Screen", "rgbdouble"), "kxwindow", &expected);
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(expected.width, 64);
    ASSERT_EQ(expected.height, 48);

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
        status = exitStatus(2);
    }
    EXPECT_EQ(status, 0);
}

// Under --watch the scene edited (replaced by a rename, as editors do) is
// drawn again in the same window, at its new size: the picture of a plain
// run of the new scene.
TEST_F(ScreenDevice, WatchDrawsTheEditedSceneInTheSameWindow) {
    const std::string watching = std::string(KX_BINARY) + ": watching win.kx for changes (Ctrl-C ends)\n";
    Image expected;
    WriteFile(dir_, "ref.kx", SceneFor("ref", "PNM", "rgb"));
    ASSERT_EQ(RunKx({"ref.kx"}, dir_).status, 0);
    expected = ReadPPM(dir_ + "/ref0000.ppm");
    const std::string window = startWindow(SceneFor("kxwindow", "Screen", "rgbdouble"), "kxwindow", true);
    ASSERT_FALSE(window.empty()) << ReadFile(dir_ + "/win.err");
    Image shown = waitForPicture(window, expected);
    EXPECT_TRUE(shown.ok && shown.rgb == expected.rgb);

    auto edited = [](std::string scene) {
        scene.replace(scene.find("Format 64 48"), 12, "Format 80 40");
        scene.replace(scene.find("0.2 0.4 0.6"), 11, "0.7 0.1 0.3");
        return scene;
    };
    WriteFile(dir_, "ref.kx", edited(SceneFor("ref", "PNM", "rgb")));
    ASSERT_EQ(RunKx({"ref.kx"}, dir_).status, 0);
    Image second = ReadPPM(dir_ + "/ref0000.ppm");
    ASSERT_EQ(second.width, 80);
    WriteFile(dir_, "edit.tmp", edited(SceneFor("kxwindow", "Screen", "rgbdouble")));
    ASSERT_EQ(std::rename((dir_ + "/edit.tmp").c_str(), (dir_ + "/win.kx").c_str()), 0);
    shown = waitForPicture(window, second);
    EXPECT_TRUE(shown.ok && shown.width == 80 && shown.height == 40 && shown.rgb == second.rgb);
    EXPECT_EQ(xdo("search --name '^kxwindow$'"), window + "\n");
    for (int i = 0; i < 500 && ReadFile(dir_ + "/win.err") != watching + watching; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadFile(dir_ + "/win.err"), watching + watching);

    // The window's way out ends the watch with the last run's status.
    int status = -1;
    for (int attempt = 0; attempt < 5 && status == -1; ++attempt) {
        xdo("mousemove --window " + window + " 5 5 click 3");
        status = exitStatus(2);
    }
    EXPECT_EQ(status, 0);
}

namespace {

// A window scene that ends cleanly, or with an error after its image.
std::string WindowScene(const char* engine, const char* mode, bool fails) {
    return std::string("Engine \"") + engine + "\"\n" + SceneFor("kxwindow", "Screen", mode) +
           (fails ? "Bogus\n" : "");
}

const char* kFailureReport = "Error in input file on line 10: Unrecognized symbol\n";

}  // namespace

// Every way out of the window ends the program through the same path: the
// scene's status (0, or the error code after a failed scene), nothing
// reported twice, no crash on the way out.
TEST_F(ScreenDevice, EveryWayOutEndsWithTheScenesStatus) {
    struct Way {
        const char* name;
        std::function<void(const std::string&)> act;
    };
    const std::vector<Way> ways = {
        {"right click", [&](const std::string& w) { xdo("mousemove --window " + w + " 5 5 click 3"); }},
        {"close message", [&](const std::string& w) { sendDeleteWindow(w); }},
        {"q", [&](const std::string& w) { xdo("key --window " + w + " q"); }},
        {"Escape", [&](const std::string& w) { xdo("key --window " + w + " Escape"); }},
        {"window destroyed", [&](const std::string& w) { xdo("windowclose " + w); }},
        {"client killed", [&](const std::string& w) { xdo("windowkill " + w); }},
    };
    for (const Way& way : ways) {
        for (bool fails : {false, true}) {
            for (const char* engine : {"direct", "raytrace"}) {
                SCOPED_TRACE(std::string(way.name) + (fails ? ", failed scene, " : ", clean scene, ") + engine);
                std::string window = startWindow(WindowScene(engine, "rgbdouble", fails), "kxwindow");
                ASSERT_FALSE(window.empty()) << ReadFile(dir_ + "/win.err");
                // The scene is parsed to its end before the window is closed.
                const std::string report = fails ? kFailureReport : "";
                for (int i = 0; i < 100 && ReadFile(dir_ + "/win.err") != report; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                int status = -1;
                for (int attempt = 0; attempt < 5 && status == -1; ++attempt) {
                    way.act(window);
                    status = exitStatus(4);
                }
                EXPECT_EQ(status, fails ? StatusOf(-3) : 0);
                EXPECT_EQ(ReadFile(dir_ + "/win.err"), report);
                if (status == -1) {
                    kill(kx_, SIGKILL);
                    waitpid(kx_, nullptr, 0);
                    kx_ = -1;
                }
            }
        }
    }
}

// The X server going away ends the program like the other ways out.
TEST_F(ScreenDevice, LosingTheServerEndsWithTheScenesStatus) {
    std::string window = startWindow(WindowScene("raytrace", "rgbdouble", true), "kxwindow");
    ASSERT_FALSE(window.empty());
    // Generous waits: a loaded machine may take seconds to trace and to notice.
    for (int i = 0; i < 600 && ReadFile(dir_ + "/win.err") != kFailureReport; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(xvfb_, SIGTERM);
    waitpid(xvfb_, nullptr, 0);
    xvfb_ = -1;
    EXPECT_EQ(exitStatus(60), StatusOf(-3));
    EXPECT_EQ(ReadFile(dir_ + "/win.err"), kFailureReport);
}

// "rgbsingle" builds the image up as it is traced and ends with the same
// picture as the file device.
TEST_F(ScreenDevice, SinglePixelModeEndsWithThePpmPicture) {
    const std::string scene =
        "Engine \"raytrace\"\nFormat 160 120\nDisplay \"%s\" \"%s\" \"%s\"\nBackground 0.1 0.2 0.3\n"
        "WorldBegin\nFarLight 0 0 -1 1 1 1 1\nKd 0.7\nColor 1 0.5 0.2\nTranslate 0 0 -4\nSphere 1.5 -1.5 1.5 360\n"
        "WorldEnd\n";
    char file[1024], single[1024];
    std::snprintf(file, sizeof file, scene.c_str(), "ref", "PNM", "rgb");
    std::snprintf(single, sizeof single, scene.c_str(), "kxsingle", "Screen", "rgbsingle");
    Image expected;
    std::string window = windowShowsPicture(file, single, "kxsingle", &expected);
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(expected.width, 160);
    xdo("key --window " + window + " q");
    EXPECT_EQ(exitStatus(5), 0);
}
