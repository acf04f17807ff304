#include "engines/scan/scan_engine.h"

#include "core/transform.h"
#include "display/display.h"

namespace kx {

ScanState& scanState() {
    static ScanState state;
    return state;
}

REScan::REScan() = default;
REScan::~REScan() = default;

int REScan::Begin() {
    ScanState& s = scanState();
    if (s.started) return 0;
    displayState().perObjectRefresh = true;
    s.started = true;
    return 0;
}

int REScan::WorldBegin() {
    ScanState& s = scanState();
    DisplayState& d = displayState();
    if (int r = d.dev().ImageBegin(s.frame)) return r;
    if (int r = Begin()) return r;
    TransformState& ts = transforms();
    ts.setIdentity();
    s.worldToScreen = WorldToScreenMatrix(ts.camera, d.width, d.height, s.hither, s.yon);
    s.viewport = ScreenToDeviceMatrix(d.width, d.height);
    return 0;
}

// A frame that cannot be shown (a file that cannot be written) ends the run,
// as with the other engines.
int REScan::WorldEnd() { return displayState().dev().ImageShow(); }

// As in the other engines, an image after the frame is frame 0.
int REScan::FrameEnd() {
    scanState().frame = 0;
    return displayState().dev().ImageShow();
}

int REScan::FrameBegin(int frame) {
    scanState().frame = frame;
    return 0;
}

int REScan::CameraEye(const Point3& eye) {
    transforms().camera.eye = eye;
    return 0;
}

int REScan::CameraAt(const Point3& at) {
    transforms().camera.at = at;
    return 0;
}

int REScan::CameraUp(const Vector3& up) {
    transforms().camera.up = up;
    return 0;
}

int REScan::CameraFOV(float fov) {
    transforms().camera.fov = fov;
    return 0;
}

int REScan::Clipping(float hither, float yon) {
    ScanState& s = scanState();
    s.hither = hither;
    s.yon = yon;
    return 0;
}

int REScan::Translate(const Vector3& t) {
    transforms().translate(t);
    return 0;
}

int REScan::Scale(const Vector3& s) {
    transforms().scale(s);
    return 0;
}

int REScan::RotateXY(float angle) {
    transforms().rotateXY(angle);
    return 0;
}

int REScan::RotateYZ(float angle) {
    transforms().rotateYZ(angle);
    return 0;
}

int REScan::RotateZX(float angle) {
    transforms().rotateZX(angle);
    return 0;
}

int REScan::XformPush() { return transforms().push(); }

int REScan::XformPop() { return transforms().pop(); }

int REScan::Background(const ColorRGB& c) {
    displayState().dev().SetBackground(c);
    return 0;
}

}  // namespace kx
