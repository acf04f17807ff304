#include "shell/display.h"

#include <cstdio>
#include <new>

#include "core/errors.h"
#include "shell/display_file.h"
#include "shell/display_png.h"
#include "shell/display_screen.h"

namespace kx {

namespace {

// The table in force before any Display command.
class NoDevice final : public DisplayDevice {
public:
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int) override { return 0; }
    int ImageShow() override { return kErrDisplayType; }
    int ImageClear() override { return 0; }
    int SetBackground(const ColorRGB&) override { return 0; }
    int ReadPixel(int, int, ColorRGB& c) override {
        c = ColorRGB();
        return 0;
    }
    int WritePixel(int, int, const ColorRGB&) override { return 0; }
};

// Builds for fuzzing (KX_FUZZ_BUILD) draw at most kFuzzImageSide pixels a
// side so that every run stays fast; a format the devices refuse is kept and
// fails as it would.
void CapForFuzzing(DisplayState& d) {
#ifdef KX_FUZZ_BUILD
    constexpr int kFuzzImageSide = 64;
    if (static_cast<long long>(d.width) * d.height > kMaxImagePixels) return;
    if (d.width > kFuzzImageSide) d.width = kFuzzImageSide;
    if (d.height > kFuzzImageSide) d.height = kFuzzImageSide;
#else
    (void)d;
#endif
}

}  // namespace

bool FrameBuffer::allocate(int w, int h) {
    release();
    if (w <= 0 || h <= 0) return true;  // an empty image: nothing to store
    if (static_cast<long long>(w) * h > kMaxImagePixels) return false;
    size_t count = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    try {
        pixels.assign(count, 0);
    } catch (const std::bad_alloc&) {
        pixels.clear();
        return false;
    } catch (const std::length_error&) {
        pixels.clear();
        return false;
    }
    width = w;
    height = h;
    return true;
}

void DisplayState::reset() {
    if (device) device->DisplayClose();
    width = 640;
    height = 480;
    name.clear();
    perObjectRefresh = false;
    device = std::make_unique<NoDevice>();
    CapForFuzzing(*this);
}

DisplayState& displayState() {
    static DisplayState state = [] {
        DisplayState s;
        s.device = std::make_unique<NoDevice>();
        CapForFuzzing(s);
        return s;
    }();
    return state;
}

int SelectDisplay(const std::string& name, const std::string& type, const std::string& mode) {
    DisplayState& d = displayState();
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
        d.device = MakeScreenDevice(m);
        return 0;
    }
    if (type == "PNM") {
        if (mode != "rgb") return kErrDisplayMode;
        if (d.device) d.device->DisplayClose();
        d.device = std::make_unique<FileDevice>();
        return 0;
    }
    if (type == "PNG") {
        if (mode != "rgb") return kErrDisplayMode;
        if (d.device) d.device->DisplayClose();
        d.device = std::make_unique<PngDevice>();
        return 0;
    }
    return kErrDisplayType;
}

int SetFormat(int width, int height) {
    DisplayState& d = displayState();
    d.width = width;
    d.height = height;
    CapForFuzzing(d);
    return 0;
}

}  // namespace kx
