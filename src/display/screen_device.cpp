#include "display/screen_device.h"

#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "core/errors.h"
#include "display/display_state.h"
#include "display/frame_buffer.h"
#include "display/window_library.h"

namespace kx {

namespace {

// The one window of the process: opened once, it lives until the process
// ends (the toolkit cannot close it and open another), and later runs of
// --watch show their images in it. The toolkit's callbacks carry no data of
// their own: through it they reach the window hooks, the scene's status and
// the device the window shows.
struct ProcessWindow {
    // The display whose window is open; set before any callback can be called.
    DisplayState* display = nullptr;
    Display* connection = nullptr;
    Window id = 0;
    int width = 0, height = 0;
    // The image of a screen device closed while the window is open, shown
    // until another device shows its own.
    FrameBuffer lastImage;
};
ProcessWindow theWindow;

// The window libraries' functions, for the callbacks.
const WindowLibrary& Library() { return *theWindow.display->windowLibrary; }

// Ends the process. The engines and the process-wide state are left to the
// operating system: their destructors depend on one another, and the
// toolkit's loop never returns to unwind them in order.
[[noreturn]] void EndProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(status & 0xff);
}

// Every way out of an open window ends here: a right click, q or Escape,
// the window closed by the window manager or destroyed by another client,
// the window system gone. The program's way out shuts the run down once and
// ends with the scene's status.
[[noreturn]] void LeaveWindow() {
    if (void (*leave)() = theWindow.display->window.leave) leave();
    EndProcess(theWindow.display->exitStatus);
}

// How often "rgbsingle" brings the window up to date while pixels arrive.
constexpr std::chrono::milliseconds kSingleDrawInterval(16);
// How often the window is checked for having been destroyed under us.
constexpr int kWindowCheckMilliseconds = 200;

// The frame buffer keeps its rows bottom row first, the order glDrawPixels
// expects; pixel (x, y) has y = 0 at the top of the window.
class ScreenDevice final : public DisplayDevice {
public:
    ScreenDevice(DisplayState& display, ScreenMode mode) : display_(display), mode_(mode) {
        buffer_.bottomRowFirst = true;
    }

    int DisplayOpen() override;
    int DisplayClose() override {
        if (windowOpen_ && !buffer_.pixels.empty()) theWindow.lastImage = std::move(buffer_);
        buffer_.release();
        windowOpen_ = false;
        return 0;
    }
    int ImageBegin(int frame) override {
        if (!buffer_.fitTo(display_.width, display_.height)) return kErrDisplayMemory;
        if (int status = display_.beginImage(frame)) return status;
        // A frame left out keeps the last image shown.
        return display_.drawing ? ImageClear() : 0;
    }
    int ImageShow() override {
        if (windowOpen_) {
            drawChanged();
            display_.windowLibrary->glFlush();
        }
        return 0;
    }
    int ImageClear() override {
        buffer_.clear();
        if (immediate_ && buffer_.width > 0 && buffer_.height > 0) {
            changed(0, 0);
            changed(buffer_.width - 1, buffer_.height - 1);
        }
        return 0;
    }
    int SetBackground(const ColorRGB& c) override {
        buffer_.setBackground(c);
        return 0;
    }
    int ReadPixel(int x, int y, ColorRGB& c) override {
        buffer_.read(x, y, c);
        return 0;
    }
    int WritePixel(int x, int y, const ColorRGB& c) override {
        if (!buffer_.write(x, y, c)) return 0;
        if (immediate_ && windowOpen_) {
            // The image builds up pixel by pixel, but the window is brought
            // up to date at most every kSingleDrawInterval: a draw per pixel
            // would cost far more than the image.
            changed(x, y);
            const auto now = std::chrono::steady_clock::now();
            if (now >= nextDraw_) {
                drawChanged();
                display_.windowLibrary->glFlush();
                nextDraw_ = now + kSingleDrawInterval;
            }
        }
        return 0;
    }
    // "rgbsingle" brings the window up to date while pixels arrive: its
    // pixels go through WritePixel.
    FrameBuffer* frame() override { return immediate_ ? nullptr : &buffer_; }

private:
    // Pixel (x, y) changed since the window was last brought up to date.
    void changed(int x, int y) {
        if (!dirty_) {
            dirtyX0_ = dirtyX1_ = x;
            dirtyY0_ = dirtyY1_ = y;
            dirty_ = true;
            return;
        }
        if (x < dirtyX0_) dirtyX0_ = x;
        if (x > dirtyX1_) dirtyX1_ = x;
        if (y < dirtyY0_) dirtyY0_ = y;
        if (y > dirtyY1_) dirtyY1_ = y;
    }
    // Draws the rectangle of the changed pixels.
    void drawChanged() {
        if (!dirty_) return;
        dirty_ = false;
        if (!buffer_.inside(dirtyX0_, dirtyY0_) || !buffer_.inside(dirtyX1_, dirtyY1_)) return;
        // The rectangle's lowest window row is its first row in the buffer.
        const WindowLibrary& w = *display_.windowLibrary;
        w.glPixelStorei(GL_UNPACK_ROW_LENGTH, buffer_.width);
        w.glRasterPos2f(static_cast<float>(dirtyX0_), static_cast<float>(dirtyY1_));
        w.glDrawPixels(dirtyX1_ - dirtyX0_ + 1, dirtyY1_ - dirtyY0_ + 1, GL_RGB, GL_UNSIGNED_BYTE,
                       buffer_.pixel(dirtyX0_, dirtyY1_));
        w.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }

    // The device the open window shows: the display's device while that is
    // the screen device that opened the window; null once it is replaced.
    static ScreenDevice* shown() {
        if (!theWindow.display) return nullptr;
        auto* s = dynamic_cast<ScreenDevice*>(&theWindow.display->dev());
        return s && s->windowOpen_ ? s : nullptr;
    }
    // The image the window shows: the shown device's, or the last one's.
    static const FrameBuffer* shownImage() {
        if (const ScreenDevice* s = shown()) return &s->buffer_;
        return theWindow.lastImage.pixels.empty() ? nullptr : &theWindow.lastImage;
    }
    // The window already open shows this device's images (a later run of --watch).
    int showInWindow();

    static void display();
    static void mouse(int button, int state, int x, int y);
    static void keyboard(unsigned char key, int x, int y);
    static void closed() { LeaveWindow(); }
    static void checkWindow(int);
    // A step of the parse, then the window brought up to date; once the
    // scene is parsed the steps stop.
    static void idle() {
        bool (*step)() = theWindow.display->window.idle;
        if (!step) return;
        const WindowLibrary& w = Library();
        if (!step()) w.glutIdleFunc(nullptr);
        w.glFlush();
        w.glutPostRedisplay();
    }
    static void toolkitError(const char* format, va_list args) {
        std::fputs("kxrender: window system: ", stderr);
        std::vfprintf(stderr, format, args);
        std::fputc('\n', stderr);
        if (theWindow.display) LeaveWindow();
        EndProcess(kErrNoWindowSystem);
    }
    static void toolkitWarning(const char*, va_list) {}
    // The connection to the window system is lost (the server ended, or
    // the client was killed with xkill).
    static int connectionLost(Display*) { LeaveWindow(); }
    // A request on the window after another client destroyed it means the
    // window is closed; other protocol errors change nothing here.
    static int protocolError(Display*, XErrorEvent* e) {
        if (theWindow.display && e->resourceid == theWindow.id) LeaveWindow();
        return 0;
    }

    DisplayState& display_;
    ScreenMode mode_;
    FrameBuffer buffer_;  // rows bottom row first, as glDrawPixels takes them
    bool immediate_ = false;
    bool windowOpen_ = false;
    bool dirty_ = false;
    int dirtyX0_ = 0, dirtyY0_ = 0, dirtyX1_ = 0, dirtyY1_ = 0;
    std::chrono::steady_clock::time_point nextDraw_;
};

int ScreenDevice::DisplayOpen() {
    const DisplayState& d = display_;
    immediate_ = (mode_ == ScreenMode::Single);
    if (theWindow.display) return showInWindow();
    // The window libraries are loaded with the first window; without them
    // there is no window system to open one on.
    if (!display_.windowLibrary) display_.windowLibrary = std::make_unique<WindowLibrary>();
    WindowLibrary& w = *display_.windowLibrary;
    if (!w.load()) return kErrNoWindowSystem;
    // The toolkit ends the process when it finds no window system; ask first.
    // The probe stays connected until the toolkit has its own connection: a
    // server that resets when its last client leaves would refuse it.
    Display* probe = w.XOpenDisplay(nullptr);
    if (!probe) return kErrNoWindowSystem;

    if (!buffer_.allocate(d.width, d.height)) {
        w.XCloseDisplay(probe);
        return kErrDisplayMemory;
    }
    static int fallbackArgc = 1;
    static char fallbackName[] = "kxrender";
    static char* fallbackArgv[] = {fallbackName, nullptr};
    w.glutInitErrorFunc(toolkitError);
    w.glutInitWarningFunc(toolkitWarning);
    w.glutInit(d.window.argc ? d.window.argc : &fallbackArgc, d.window.argv ? d.window.argv : fallbackArgv);
    w.glutInitDisplayMode(GLUT_RGB | GLUT_SINGLE);
    w.glutInitWindowSize(d.width > 0 ? d.width : 1, d.height > 0 ? d.height : 1);
    // Closing the window must not end the process from inside the toolkit.
    w.glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    w.glutCreateWindow(d.name.c_str());
    w.XCloseDisplay(probe);
    theWindow.display = &display_;
    windowOpen_ = true;
    theWindow.connection = w.glXGetCurrentDisplay();
    theWindow.id = w.glXGetCurrentDrawable();
    theWindow.width = d.width;
    theWindow.height = d.height;
    // A request written after the server went away must come back as an
    // error, for the connection-lost handler to end the run with the scene's
    // status, not as a SIGPIPE that kills the process.
    std::signal(SIGPIPE, SIG_IGN);
    w.XSetIOErrorHandler(connectionLost);
    w.XSetErrorHandler(protocolError);
    w.glutDisplayFunc(display);
    w.glutMouseFunc(mouse);
    w.glutKeyboardFunc(keyboard);
    w.glutCloseFunc(closed);
    w.glutIdleFunc(idle);
    w.glutTimerFunc(kWindowCheckMilliseconds, checkWindow, 0);
    w.glMatrixMode(GL_PROJECTION);
    w.glOrtho(0, d.width, d.height - 0.999, -1, -1, 1);
    w.glMatrixMode(GL_MODELVIEW);
    w.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    w.glutMainLoop();
    // The loop returns only when the window was closed.
    LeaveWindow();
}

// Called inside the toolkit's loop, from an idle step: the window keeps its
// place, and takes the new image size.
int ScreenDevice::showInWindow() {
    const DisplayState& d = display_;
    if (!buffer_.allocate(d.width, d.height)) return kErrDisplayMemory;
    theWindow.lastImage.release();
    const WindowLibrary& w = *d.windowLibrary;
    if (d.width != theWindow.width || d.height != theWindow.height) {
        theWindow.width = d.width;
        theWindow.height = d.height;
        w.glutReshapeWindow(d.width > 0 ? d.width : 1, d.height > 0 ? d.height : 1);
        w.glMatrixMode(GL_PROJECTION);
        w.glLoadIdentity();
        w.glOrtho(0, d.width, d.height - 0.999, -1, -1, 1);
        w.glMatrixMode(GL_MODELVIEW);
    }
    w.glutSetWindowTitle(d.name.c_str());
    windowOpen_ = true;
    return 0;
}

void ScreenDevice::display() {
    const FrameBuffer* image = shownImage();
    if (!image || image->pixels.empty()) return;
    const WindowLibrary& w = Library();
    w.glRasterPos2f(0, static_cast<float>(image->height - 1));
    w.glDrawPixels(image->width, image->height, GL_RGB, GL_UNSIGNED_BYTE, image->pixels.data());
    w.glFlush();
}

void ScreenDevice::mouse(int button, int state, int x, int y) {
    if (!theWindow.display || state != GLUT_UP) return;
    if (button == GLUT_LEFT_BUTTON) {
        const FrameBuffer* image = shownImage();
        const uint8_t* p = image ? image->pixel(x, y) : nullptr;
        if (!p) return;  // outside the image (the window may have been resized)
        std::fprintf(stderr, "(%d, %d): %g %g %g\n", x, y, p[0] / 255.999, p[1] / 255.999, p[2] / 255.999);
        std::fflush(stderr);
    } else if (button == GLUT_RIGHT_BUTTON) {
        LeaveWindow();
    }
}

void ScreenDevice::keyboard(unsigned char key, int, int) {
    if (key == 'q' || key == 'Q' || key == 27) LeaveWindow();
}

// The toolkit does not notice a window destroyed by another client (xdotool
// windowclose): ask the server now and then whether it is still there.
void ScreenDevice::checkWindow(int) {
    if (!theWindow.display || !theWindow.connection) return;
    XWindowAttributes attributes;
    const WindowLibrary& w = Library();
    if (!w.XGetWindowAttributes(theWindow.connection, theWindow.id, &attributes)) LeaveWindow();
    w.glutTimerFunc(kWindowCheckMilliseconds, checkWindow, 0);
}

}  // namespace

std::unique_ptr<DisplayDevice> MakeScreenDevice(DisplayState& display, ScreenMode mode) {
    return std::make_unique<ScreenDevice>(display, mode);
}

}  // namespace kx
