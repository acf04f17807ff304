#include "engines/direct/direct_engine.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/errors.h"
#include "core/limits.h"
#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/transparent.h"
#include "surface/opacity.h"
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

REDirect::REDirect(EngineContext& context, DirectState& state, MapList& maps)
    : LitEngineBase(context), state_(state), maps_(maps), pipeline_(context, state, maps) {
    state_.link(context.lights, maps);
}

// The engine's buffers go with it; the attributes stay, being the run's.
REDirect::~REDirect() {
    state_.releaseBuffers();
    state_.started = false;
}

int REDirect::Display(const std::string&, const std::string&, const std::string&) {
    state_.flushBins();
    return 0;
}

int REDirect::Format(int, int) {
    state_.flushBins();
    if (!state_.allocateBuffers(context_.display.width, context_.display.height)) return kErrDepthMemory;
    return 0;
}

int REDirect::Begin() {
    DirectState& s = state_;
    s.flushBins();
    if (s.started) return 0;
    if (!s.allocateBuffers(context_.display.width, context_.display.height)) return kErrDepthMemory;
    context_.display.perObjectRefresh = true;
    s.started = true;
    return 0;
}

int REDirect::End() {
    state_.releaseBuffers();
    maps_.releaseAll();
    return 0;
}

int REDirect::WorldBegin() {
    DirectState& s = state_;
    DisplayState& d = context_.display;
    s.flushBins();
    int status = d.dev().ImageBegin(s.frame);
    if (status != 0) return status;
    context_.stats.beginFrame(s.frame);
    status = Begin();
    if (status != 0) return status;
    // A Format after Begin, or a buffer lost with an earlier engine.
    int w = std::max(d.width, 0), h = std::max(d.height, 0);
    if (w == 0 || h == 0) w = h = 0;
    if (s.width != w || s.height != h || s.spanTable.size() != static_cast<size_t>(h)) {
        if (!s.allocateBuffers(d.width, d.height)) return kErrDepthMemory;
    }
    s.prepareBins();
    s.clearDepth();  // by the threads, when there are any

    TransformState& xf = context_.transforms;
    xf.setIdentity();
    s.worldToScreen = WorldToScreenMatrix(xf.camera, d.width, d.height, s.hither, s.yon);
    s.screenToDevice = ScreenToDeviceMatrix(d.width, d.height);
    s.eye = xf.camera.eye;
    s.polygonCount = 0;

    context_.lights.resetLighting();
    return 0;
}

// An image that cannot be shown (a file that cannot be written) ends the run.
// A clear of the depths left to the threads waits for whatever draws next.
int REDirect::WorldEnd() {
    DrawTransparent(pipeline_);  // laid over the opaque surfaces, far to near
    state_.flushPolygons();
    const int status = context_.display.dev().ImageShow();
    FrameStats& stats = context_.stats;
    if (context_.display.drawing) stats.reportFrame({{"polygons", stats.polygons}, {"pixels shaded", stats.pixels}});
    return status;
}

int REDirect::FrameBegin(int frame) {
    state_.frame = frame;
    return 0;
}

// An image drawn after the frame belongs to no frame: it is frame 0, and
// never overwrites the frame's file.
int REDirect::FrameEnd() {
    state_.frame = 0;
    DrawTransparent(pipeline_);
    state_.flushPolygons();
    return context_.display.dev().ImageShow();
}

int REDirect::Clipping(float hither, float yon) {
    state_.hither = hither;
    state_.yon = yon;
    return 0;
}

int REDirect::Opacity(float opacity) {
    state_.opacity = UnitOpacity(opacity);
    return 0;
}

int REDirect::Color(const ColorRGB& c) {
    state_.color = c;
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
    state_.shader = f;
    return 0;
}


int REDirect::Specular(const ColorRGB& c, int exponent) {
    state_.specularColor = c;
    state_.specularExponent = exponent;
    return 0;
}
int REDirect::Ka(float ka) {
    state_.ka = ka;
    return 0;
}
int REDirect::Kd(float kd) {
    state_.kd = kd;
    return 0;
}
int REDirect::Ks(float ks) {
    state_.ks = ks;
    return 0;
}
// Like the coefficients, taken by the polygons binned from here on.
int REDirect::Emit(const ColorRGB& c, float intensity) {
    state_.emission.color = c;
    state_.emission.intensity = intensity;
    return 0;
}
int REDirect::Ke(float ke) {
    state_.emission.ke = ke;
    return 0;
}

// The threads read the texture maps while they fill: a change waits for them.
int REDirect::MapBorder(const std::string& maptype, const std::string& ubound, const std::string& vbound) {
    state_.flushPolygons();
    return maps_.MapBorder(maptype, ubound, vbound);
}
int REDirect::MapBound(const std::string& maptype, float umin, float vmin, float umax, float vmax) {
    state_.flushPolygons();
    return maps_.MapBound(maptype, umin, vmin, umax, vmax);
}
int REDirect::MapLoad(const std::string& filename, const std::string& label) {
    state_.flushPolygons();
    return maps_.MapLoad(filename, label, context_.sceneFolder);
}
int REDirect::MapLoadReplayed(const std::string& filename, const std::string& label) {
    // A map an earlier instance loaded is taken as it is: nothing the
    // threads read changes, and they go on filling.
    return maps_.holds(filename, label) ? kOk : MapLoad(filename, label);
}
int REDirect::MapSample(const std::string& maptype, const std::string& magnify, const std::string& minify) {
    state_.flushPolygons();
    return maps_.MapSample(maptype, magnify, minify);
}
int REDirect::Map(const std::string& maptype, const std::string& label) {
    state_.flushPolygons();
    return maps_.Map(maptype, label);
}

int REDirect::OptionBool(const std::string& name, bool value) {
    DirectState& s = state_;
    s.flushPolygons();
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
        context_.stats.enabled = value;
    }
    return 0;
}

int REDirect::OptionReal(const std::string& name, float value) {
    state_.flushPolygons();
    int n = TruncateToInt(value);
    if (name == "Divisions")
        state_.divisions = n;
    else if (name == "SubdivisionLevel")
        state_.subdivisionLevel = n;
    else if (name == "MaxTextureLevel")
        maps_.maxLevel = n;
    else if (name == "Threads")
        state_.threads = std::clamp(n, 0, kDirectMaxThreads);  // taken up by the next WorldBegin
    return 0;
}

int REDirect::Custom(const std::string&) { return 0; }

int REDirect::Background(const ColorRGB& c) {
    state_.flushPolygons();
    return LitEngineBase::Background(c);
}
int REDirect::ConeLight(const Point3& at, const Point3& to, float coneangle, float conedelta, const ColorRGB& c,
                        float intensity) {
    state_.flushPolygons();
    return LitEngineBase::ConeLight(at, to, coneangle, conedelta, c, intensity);
}
int REDirect::PointLight(const Point3& at, const ColorRGB& c, float intensity) {
    state_.flushPolygons();
    return LitEngineBase::PointLight(at, c, intensity);
}
int REDirect::FarLight(const Vector3& dir, const ColorRGB& c, float intensity) {
    state_.flushPolygons();
    return LitEngineBase::FarLight(dir, c, intensity);
}
int REDirect::AmbientLight(const ColorRGB& c, float intensity) {
    state_.flushPolygons();
    return LitEngineBase::AmbientLight(c, intensity);
}
void REDirect::finishDrawing() { state_.flushBins(); }

}  // namespace kx
