// The screen device: a GLUT window showing the frame buffer. The window
// libraries are loaded when the first window opens (window_library.h).
#pragma once

#include <memory>

#include "display/device.h"

namespace kx {

struct DisplayState;

enum class ScreenMode { Single, Object, Double };

// What the program hands the window toolkit, once, through the display
// state: its command line, the step the window's idle callback runs while
// the scene is parsed (false once there is nothing left to parse: the
// steps stop), and the one way out of an open window (it ends the process
// with the display's exitStatus and does not return). Without them the
// toolkit gets the command line "kxrender", and the way out ends the
// process itself.
struct WindowHooks {
    int* argc = nullptr;
    char** argv = nullptr;
    bool (*idle)() = nullptr;
    void (*leave)() = nullptr;
};

// A screen device drawing the images of the display (its format and name,
// its window hooks and the scene's status).
std::unique_ptr<DisplayDevice> MakeScreenDevice(DisplayState& display, ScreenMode mode);

}  // namespace kx
