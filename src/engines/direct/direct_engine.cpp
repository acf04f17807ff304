#include "engines/direct/direct_engine.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/errors.h"
#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_state.h"
#include "surface/texture.h"
#include "interface/frame_stats.h"
#include "display/display.h"

namespace kx {

int TruncateToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(value);
}

REDirect::REDirect(EngineContext& context) : LitEngineBase(context) {}

// The engine's buffers go with it; the attributes stay, being process-wide.
REDirect::~REDirect() {
    DirectState& s = directState();
    s.releaseBuffers();
    s.started = false;
}

int REDirect::Display(const std::string&, const std::string&, const std::string&) { return 0; }

int REDirect::Format(int, int) {
    if (!directState().allocateBuffers()) return kErrDepthMemory;
    return 0;
}

int REDirect::Begin() {
    DirectState& s = directState();
    if (s.started) return 0;
    if (!s.allocateBuffers()) return kErrDepthMemory;
    displayState().perObjectRefresh = true;
    s.started = true;
    return 0;
}

int REDirect::End() {
    directState().releaseBuffers();
    mapList().releaseAll();
    return 0;
}

int REDirect::WorldBegin() {
    DirectState& s = directState();
    DisplayState& d = displayState();
    int status = d.dev().ImageBegin(s.frame);
    if (status != 0) return status;
    frameStats().beginFrame(s.frame);
    status = Begin();
    if (status != 0) return status;
    // A Format after Begin, or a buffer lost with an earlier engine.
    int w = std::max(d.width, 0), h = std::max(d.height, 0);
    if (w == 0 || h == 0) w = h = 0;
    if (s.width != w || s.height != h || s.spanTable.size() != static_cast<size_t>(h)) {
        if (!s.allocateBuffers()) return kErrDepthMemory;
    }
    std::fill(s.depth.begin(), s.depth.end(), 1.0f);

    TransformState& xf = transforms();
    xf.setIdentity();
    s.worldToScreen = WorldToScreenMatrix(xf.camera, d.width, d.height, s.hither, s.yon);
    s.screenToDevice = ScreenToDeviceMatrix(d.width, d.height);
    s.eye = xf.camera.eye;
    s.polygonCount = 0;

    lightSet().resetLighting();
    return 0;
}

// An image that cannot be shown (a file that cannot be written) ends the run.
int REDirect::WorldEnd() {
    const int status = displayState().dev().ImageShow();
    if (displayState().drawing)
        frameStats().reportFrame({{"polygons", frameStats().polygons}, {"pixels shaded", frameStats().pixels}});
    return status;
}

int REDirect::FrameBegin(int frame) {
    directState().frame = frame;
    return 0;
}

// An image drawn after the frame belongs to no frame: it is frame 0, and
// never overwrites the frame's file.
int REDirect::FrameEnd() {
    directState().frame = 0;
    return displayState().dev().ImageShow();
}

int REDirect::Clipping(float hither, float yon) {
    DirectState& s = directState();
    s.hither = hither;
    s.yon = yon;
    return 0;
}


int REDirect::Background(const ColorRGB& c) {
    displayState().dev().SetBackground(c);
    return 0;
}
int REDirect::Color(const ColorRGB& c) {
    directState().color = c;
    return 0;
}

int REDirect::Surface(const std::string& name) {
    ShaderFunction f;
    if (name == "matte")
        f = ShadeMatte;
    else if (name == "metal")
        f = ShadeMetal;
    else if (name == "plastic")
        f = ShadePlastic;
    else if (name == "painted plastic")
        f = ShadePaintedPlastic;
    else
        return kErrSurfaceType;
    directState().shader = f;
    return 0;
}


int REDirect::Specular(const ColorRGB& c, int exponent) {
    DirectState& s = directState();
    s.specularColor = c;
    s.specularExponent = exponent;
    return 0;
}
int REDirect::Ka(float ka) {
    directState().ka = ka;
    return 0;
}
int REDirect::Kd(float kd) {
    directState().kd = kd;
    return 0;
}
int REDirect::Ks(float ks) {
    directState().ks = ks;
    return 0;
}

int REDirect::MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) {
    return mapList().MapBorder(maptype, ubound, vbound);
}
int REDirect::MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) {
    return mapList().MapBound(maptype, umin, vmin, umax, vmax);
}
int REDirect::MapLoad(const std::string& filename, const std::string& label) {
    return mapList().MapLoad(filename, label);
}
int REDirect::MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) {
    return mapList().MapSample(maptype, magnify, minify);
}
int REDirect::Map(const std::string& maptype, const std::string& label) { return mapList().Map(maptype, label); }

int REDirect::OptionBool(const std::string& name, bool value) {
    DirectState& s = directState();
    if (name == "Interpolate") {
        s.interpolate = value;
    } else if (name == "Wireframe") {
        s.wireframe = value;
    } else if (name == "Control") {
        s.controlColor = s.color;
        s.control = value;
    } else if (name == "DoubleSide") {
        s.doubleSided = value;
    } else if (name == "Statistics") {
        frameStats().enabled = value;
    }
    return 0;
}

int REDirect::OptionReal(const std::string& name, float value) {
    int n = TruncateToInt(value);
    if (name == "Divisions")
        directState().divisions = n;
    else if (name == "MaxTextureLevel")
        mapList().maxLevel = n;
    return 0;
}

int REDirect::Custom(const std::string&) { return 0; }

}  // namespace kx
