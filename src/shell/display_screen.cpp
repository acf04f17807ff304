#include "shell/display_screen.h"

#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <iostream>

#include "core/errors.h"

namespace kx {

namespace {

// Ends the process from inside the toolkit's event loop. The engines and the
// process-wide state are left to the operating system: their destructors
// depend on one another, and the loop never returns to unwind them in order.
[[noreturn]] void EndProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status & 0xff);
}

// Rows are stored bottom row first, the order glDrawPixels expects, so that
// pixel (x, y) with y = 0 at the top of the window is at row height-1-y.
class ScreenDevice final : public DisplayDevice {
public:
    explicit ScreenDevice(ScreenMode mode) : mode_(mode) {}
    ~ScreenDevice() override { active_ = active_ == this ? nullptr : active_; }

    int DisplayOpen() override;
    int DisplayClose() override {
        buffer_.release();
        return 0;
    }
    int ImageBegin(int) override {
        const DisplayState& d = displayState();
        if (!buffer_.fitTo(d.width, d.height)) return kErrDisplayMemory;
        return ImageClear();
    }
    int ImageShow() override {
        if (windowOpen_) glFlush();
        return 0;
    }
    int ImageClear() override {
        for (size_t i = 0; i < buffer_.pixels.size(); i += 3) {
            buffer_.pixels[i] = background_[0];
            buffer_.pixels[i + 1] = background_[1];
            buffer_.pixels[i + 2] = background_[2];
        }
        return 0;
    }
    int SetBackground(const ColorRGB& c) override {
        background_[0] = ColorByte(c.r);
        background_[1] = ColorByte(c.g);
        background_[2] = ColorByte(c.b);
        return 0;
    }
    int ReadPixel(int x, int y, ColorRGB& c) override {
        const uint8_t* p = pixel(x, y);
        if (!p) {
            c = ColorRGB();
            return 0;
        }
        c = ColorRGB(static_cast<float>(p[0] / 255.999), static_cast<float>(p[1] / 255.999),
                     static_cast<float>(p[2] / 255.999));
        return 0;
    }
    int WritePixel(int x, int y, const ColorRGB& c) override {
        uint8_t* p = pixel(x, y);
        if (!p) return 0;
        p[0] = ColorByte(c.r);
        p[1] = ColorByte(c.g);
        p[2] = ColorByte(c.b);
        if (immediate_ && windowOpen_) {
            glRasterPos2f(static_cast<float>(x), static_cast<float>(y));
            glDrawPixels(1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
            glFlush();
            glutPostRedisplay();
        }
        return 0;
    }

private:
    uint8_t* pixel(int x, int y) {
        if (!buffer_.inside(x, y)) return nullptr;
        return &buffer_.pixels[(static_cast<size_t>(buffer_.height - 1 - y) * buffer_.width + x) * 3];
    }

    static void display();
    static void mouse(int button, int state, int x, int y);
    static void idle() {
        if (displayState().idle) displayState().idle();
    }
    static void toolkitError(const char* format, va_list args) {
        std::fputs("kxrender: window system: ", stderr);
        std::vfprintf(stderr, format, args);
        std::fputc('\n', stderr);
        EndProcess(kErrNoWindowSystem);
    }
    static void toolkitWarning(const char*, va_list) {}

    ScreenMode mode_;
    FrameBuffer buffer_;
    uint8_t background_[3] = {0, 0, 0};
    bool immediate_ = false;
    bool windowOpen_ = false;
    static ScreenDevice* active_;
};

ScreenDevice* ScreenDevice::active_ = nullptr;

int ScreenDevice::DisplayOpen() {
    DisplayState& d = displayState();
    immediate_ = (mode_ == ScreenMode::Single);
    // The toolkit ends the process when it finds no window system; ask first.
    // The probe stays connected until the toolkit has its own connection: a
    // server that resets when its last client leaves would refuse it.
    Display* probe = XOpenDisplay(nullptr);
    if (!probe) return kErrNoWindowSystem;

    if (!buffer_.allocate(d.width, d.height)) {
        XCloseDisplay(probe);
        return kErrDisplayMemory;
    }
    static int fallbackArgc = 1;
    static char fallbackName[] = "kxrender";
    static char* fallbackArgv[] = {fallbackName, nullptr};
    glutInitErrorFunc(toolkitError);
    glutInitWarningFunc(toolkitWarning);
    glutInit(d.argc ? d.argc : &fallbackArgc, d.argv ? d.argv : fallbackArgv);
    glutInitDisplayMode(GLUT_RGB | GLUT_SINGLE);
    glutInitWindowSize(d.width > 0 ? d.width : 1, d.height > 0 ? d.height : 1);
    glutCreateWindow(d.name.c_str());
    XCloseDisplay(probe);
    active_ = this;
    windowOpen_ = true;
    glutDisplayFunc(display);
    glutMouseFunc(mouse);
    glutIdleFunc(idle);
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, d.width, d.height - 0.999, -1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glutMainLoop();
    return 0;  // not reached
}

void ScreenDevice::display() {
    ScreenDevice* s = active_;
    if (!s || s->buffer_.pixels.empty()) return;
    glRasterPos2f(0, static_cast<float>(s->buffer_.height - 1));
    glDrawPixels(s->buffer_.width, s->buffer_.height, GL_RGB, GL_UNSIGNED_BYTE, s->buffer_.pixels.data());
    glFlush();
}

void ScreenDevice::mouse(int button, int state, int x, int y) {
    ScreenDevice* s = active_;
    if (!s || state != GLUT_UP) return;
    if (button == GLUT_LEFT_BUTTON) {
        const uint8_t* p = s->pixel(x, y);
        if (!p) return;  // outside the image (the window may have been resized)
        std::cerr << "(" << x << ", " << y << "): " << p[0] / 255.999 << " " << p[1] / 255.999 << " "
                  << p[2] / 255.999 << std::endl;
    } else if (button == GLUT_RIGHT_BUTTON) {
        s->DisplayClose();
        EndProcess(displayState().exitStatus);
    }
}

}  // namespace

std::unique_ptr<DisplayDevice> MakeScreenDevice(ScreenMode mode) { return std::make_unique<ScreenDevice>(mode); }

}  // namespace kx
