// The scan-convert engine ("scan convert"): a frame-and-camera skeleton. It
// keeps the frame number, the camera, the clipping distances and the
// transform stack, builds its viewing matrices at every WorldBegin and shows
// each frame with its background colour; it draws no geometry.
#pragma once

#include "core/math.h"
#include "interface/engine_base.h"

namespace kx {

// The scan-convert engine's own state, kept across engine changes.
struct ScanState {
    int frame = 0;
    bool started = false;
    float hither = 1.0f;  // near clipping distance
    float yon = 1.0e9f;   // far clipping distance
    Matrix4 worldToScreen;
    Matrix4 viewport;

    void reset() { *this = ScanState(); }
};

class REScan : public EngineBase {
public:
    REScan(EngineContext& context, ScanState& state);
    ~REScan() override;

    int Display(const std::string&, const std::string&, const std::string&) override { return 0; }
    int Format(int, int) override { return 0; }
    int WorldBegin() override;
    int WorldEnd() override;
    int FrameBegin(int frame) override;
    int FrameEnd() override;
    int Begin() override;
    int End() override { return 0; }
    int Clipping(float hither, float yon) override;
    int Color(const ColorRGB&) override { return 0; }
    int OptionBool(const std::string&, bool) override { return 0; }
    int OptionReal(const std::string&, float) override { return 0; }
    int Custom(const std::string&) override { return 0; }

private:
    ScanState& state_;
};

}  // namespace kx
