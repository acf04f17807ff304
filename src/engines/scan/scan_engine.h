// The scan-convert engine ("scan convert"): a frame-and-camera skeleton. It
// keeps the frame number, the camera, the clipping distances and the
// transform stack, builds its viewing matrices at every WorldBegin and shows
// each frame with its background colour; it draws no geometry.
#pragma once

#include "core/math.h"
#include "interface/render_engine.h"

namespace kx {

// The scan-convert engine's process-wide state.
struct ScanState {
    int frame = 0;
    bool started = false;
    float hither = 1.0f;  // near clipping distance
    float yon = 1.0e9f;   // far clipping distance
    Matrix4 worldToScreen;
    Matrix4 viewport;

    void reset() { *this = ScanState(); }
};

ScanState& scanState();

class REScan : public RenderEngine {
public:
    REScan();
    ~REScan() override;

    int Display(const std::string&, const std::string&, const std::string&) override { return 0; }
    int Format(int, int) override { return 0; }
    int WorldBegin() override;
    int WorldEnd() override;
    int FrameBegin(int frame) override;
    int FrameEnd() override;
    int Begin() override;
    int End() override { return 0; }
    int CameraEye(const Point3& eye) override;
    int CameraAt(const Point3& at) override;
    int CameraUp(const Vector3& up) override;
    int CameraFOV(float fov) override;
    int Clipping(float hither, float yon) override;
    int Translate(const Vector3& t) override;
    int Scale(const Vector3& s) override;
    int RotateXY(float angle) override;
    int RotateYZ(float angle) override;
    int RotateZX(float angle) override;
    int XformPush() override;
    int XformPop() override;
    int Background(const ColorRGB& c) override;
    int Color(const ColorRGB&) override { return 0; }
    int OptionBool(const std::string&, bool) override { return 0; }
    int OptionReal(const std::string&, float) override { return 0; }
    int Custom(const std::string&) override { return 0; }
};

}  // namespace kx
