#include "display/display.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "core/errors.h"
#include "display/display_file.h"
#include "display/display_png.h"
#include "display/display_screen.h"

namespace kx {

namespace {

// The table in force before any Display command.
class NoDevice final : public DisplayDevice {
public:
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int frame) override { return displayState().beginImage(frame); }
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

namespace {

// A whole int at text[i] (optionally signed); i moves past it.
bool ReadFrameNumber(const std::string& text, size_t& i, long long& value) {
    const char* start = text.c_str() + i;
    size_t digits = (*start == '-' || *start == '+') ? 1 : 0;
    if (start[digits] < '0' || start[digits] > '9') return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(start, &end, 10);
    if (errno != 0 || v < INT_MIN || v > INT_MAX) return false;
    value = v;
    i += static_cast<size_t>(end - start);
    return true;
}

}  // namespace

bool FrameList::parse(const std::string& text) {
    std::vector<Range> ranges;
    size_t i = 0;
    for (;;) {
        Range r{0, 0, 1};
        if (!ReadFrameNumber(text, i, r.first)) return false;
        r.last = r.first;
        if (i < text.size() && text[i] == '-') {
            ++i;
            if (!ReadFrameNumber(text, i, r.last) || r.last < r.first) return false;
            if (i < text.size() && text[i] == ':') {
                ++i;
                if (!ReadFrameNumber(text, i, r.step) || r.step < 1) return false;
            }
        }
        ranges.push_back(r);
        if (i == text.size()) break;
        if (text[i] != ',') return false;
        ++i;
    }
    ranges_ = std::move(ranges);
    return true;
}

bool FrameList::contains(int frame) const {
    if (ranges_.empty()) return true;
    for (const Range& r : ranges_)
        if (frame >= r.first && frame <= r.last && (frame - r.first) % r.step == 0) return true;
    return false;
}

int DisplayState::beginImage(int frame) {
    drawing = selection.frames.contains(frame) && !selection.listOnly;
    const ImageRegion& r = selection.region;
    if (drawing && r.given && (r.x1 > width || r.y1 > height)) {
        drawing = false;
        return kErrRegionOutside;
    }
    return 0;
}

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
    selection = ImageSelection();
    drawing = true;
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

int SetFormat(DisplayState& d, int width, int height) {
    d.width = width;
    d.height = height;
    CapForFuzzing(d);
    return 0;
}

}  // namespace kx
