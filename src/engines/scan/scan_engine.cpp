#include "engines/scan/scan_engine.h"

#include "core/transform.h"
#include "display/display.h"

namespace kx {

REScan::REScan(EngineContext& context, ScanState& state) : EngineBase(context), state_(state) {}
REScan::~REScan() = default;

int REScan::Begin() {
    ScanState& s = state_;
    if (s.started) return 0;
    context_.display.perObjectRefresh = true;
    s.started = true;
    return 0;
}

int REScan::WorldBegin() {
    ScanState& s = state_;
    DisplayState& d = context_.display;
    if (int r = d.dev().ImageBegin(s.frame)) return r;
    if (int r = Begin()) return r;
    TransformState& ts = context_.transforms;
    ts.setIdentity();
    s.worldToScreen = WorldToScreenMatrix(ts.camera, d.width, d.height, s.hither, s.yon);
    s.viewport = ScreenToDeviceMatrix(d.width, d.height);
    return 0;
}

// A frame that cannot be shown (a file that cannot be written) ends the run,
// as with the other engines.
int REScan::WorldEnd() { return context_.display.dev().ImageShow(); }

// As in the other engines, an image after the frame is frame 0.
int REScan::FrameEnd() {
    state_.frame = 0;
    return context_.display.dev().ImageShow();
}

int REScan::FrameBegin(int frame) {
    state_.frame = frame;
    return 0;
}

int REScan::Clipping(float hither, float yon) {
    ScanState& s = state_;
    s.hither = hither;
    s.yon = yon;
    return 0;
}

}  // namespace kx
