// The display state of a run: the image format, the display name, the
// current device and what the command line selects; and the Display and
// Format commands that change it.
#pragma once

#include <memory>
#include <string>

#include "display/device.h"
#include "display/image_selection.h"
#include "display/screen_device.h"

namespace kx {

struct WindowLibrary;

struct DisplayState {
    // No device but one that draws nothing, at the format in force before
    // any Format command.
    DisplayState();
    ~DisplayState();
    // The devices keep a reference to their state.
    DisplayState(const DisplayState&) = delete;
    DisplayState& operator=(const DisplayState&) = delete;

    int width = 640;
    int height = 480;
    std::string name;
    bool perObjectRefresh = false;
    std::unique_ptr<DisplayDevice> device;  // never null

    // Set by the program entry for the screen device's window, and the
    // scene's status so far, with which the window's way out ends the process.
    WindowHooks window;
    int exitStatus = 0;
    // The window libraries' functions, from the first window opened on.
    std::unique_ptr<WindowLibrary> windowLibrary;

    // What the command line selects, and whether the image begun last is
    // one of the selected ones. Engines skip their drawing and tracing while
    // it is not; the devices then write nothing.
    ImageSelection selection;
    bool drawing = true;
    // Whether the run has begun an image, and one of a selected frame.
    bool imageBegun = false;
    bool selectedImageBegun = false;
    // The folder relative image file names go under (--output); empty: the
    // current one.
    std::string outputFolder;

    DisplayDevice& dev() { return *device; }
    void reset();
    // A device begins an image of a frame with the image size in force:
    // decides whether it is drawn. 0, or -46 when the selected region does
    // not lie inside the image.
    int beginImage(int frame);
};

// The Display command: installs a device. 0, -19 or -20.
int SelectDisplay(DisplayState& display, const std::string& name, const std::string& type, const std::string& mode);
// The Format command.
int SetFormat(DisplayState& display, int width, int height);

}  // namespace kx
