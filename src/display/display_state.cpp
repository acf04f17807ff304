#include "display/display_state.h"

#include "core/limits.h"
#include "core/errors.h"
#include "display/frame_buffer.h"
#include "display/png_device.h"
#include "display/ppm_device.h"
#include "display/screen_device.h"
#include "display/window_library.h"

namespace kx {

namespace {

// The table in force before any Display command.
class NoDevice final : public DisplayDevice {
public:
    explicit NoDevice(DisplayState& display) : display_(display) {}
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int frame) override { return display_.beginImage(frame); }
    int ImageShow() override { return kErrDisplayType; }
    int ImageClear() override { return 0; }
    int SetBackground(const ColorRGB&) override { return 0; }
    int ReadPixel(int, int, ColorRGB& c) override {
        c = ColorRGB();
        return 0;
    }
    int WritePixel(int, int, const ColorRGB&) override { return 0; }

private:
    DisplayState& display_;
};

// Builds for fuzzing draw at most kFuzzImageSide pixels a side so that
// every run stays fast; a format the devices refuse is kept and fails as it
// would.
void CapForFuzzing(DisplayState& d) {
    if (!kFuzzingBuild) return;
    if (static_cast<long long>(d.width) * d.height > kMaxImagePixels) return;
    if (d.width > kFuzzImageSide) d.width = kFuzzImageSide;
    if (d.height > kFuzzImageSide) d.height = kFuzzImageSide;
}

}  // namespace

DisplayState::DisplayState() : device(std::make_unique<NoDevice>(*this)) { CapForFuzzing(*this); }

DisplayState::~DisplayState() = default;

int DisplayState::beginImage(int frame) {
    imageBegun = true;
    if (selection.frames.contains(frame)) selectedImageBegun = true;
    drawing = selection.frames.contains(frame) && !selection.listOnly;
    const ImageRegion& r = selection.region;
    if (drawing && r.given && (r.x1 > width || r.y1 > height)) {
        drawing = false;
        return kErrRegionOutside;
    }
    return 0;
}

void DisplayState::reset() {
    if (device) device->DisplayClose();
    width = 640;
    height = 480;
    name.clear();
    perObjectRefresh = false;
    selection = ImageSelection();
    drawing = true;
    imageBegun = selectedImageBegun = false;
    outputFolder.clear();
    device = std::make_unique<NoDevice>(*this);
    CapForFuzzing(*this);
}

int SelectDisplay(DisplayState& d, const std::string& name, const std::string& type, const std::string& mode) {
    d.name = name;
    d.perObjectRefresh = false;
    if (type == "Screen") {
        ScreenMode m;
        if (mode == "rgbsingle")
            m = ScreenMode::Single;
        else if (mode == "rgbobject")
            m = ScreenMode::Object;
        else if (mode == "rgbdouble")
            m = ScreenMode::Double;
        else
            return kErrDisplayMode;
        d.perObjectRefresh = (m != ScreenMode::Double);
        if (d.device) d.device->DisplayClose();
        d.device = MakeScreenDevice(d, m);
        return 0;
    }
    if (type == "PNM") {
        if (mode != "rgb") return kErrDisplayMode;
        if (d.device) d.device->DisplayClose();
        d.device = std::make_unique<FileDevice>(d);
        return 0;
    }
    if (type == "PNG") {
        if (mode != "rgb") return kErrDisplayMode;
        if (d.device) d.device->DisplayClose();
        d.device = std::make_unique<PngDevice>(d);
        return 0;
    }
    return kErrDisplayType;
}

int SetFormat(DisplayState& d, int width, int height) {
    d.width = width;
    d.height = height;
    CapForFuzzing(d);
    return 0;
}

}  // namespace kx
