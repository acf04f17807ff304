#include "engines/raytrace/ray_engine.h"

#include <utility>

#include "core/errors.h"
#include "core/lights.h"
#include "core/transform.h"
#include "display/display.h"
#include "engines/raytrace/camera.h"
#include "engines/raytrace/image_sampler.h"
#include "interface/frame_stats.h"
#include "surface/tessellate.h"

namespace kx {

using raytrace::BuiltObject;
using raytrace::SurfaceAttributes;

namespace {

// An option value truncated toward zero into [0, high]; NaN gives 0.
int TruncateOption(float value, int high) {
    if (!(value > 0)) return 0;  // NaN, zero and negative values
    if (value >= static_cast<float>(high)) return high;
    return static_cast<int>(value);
}

}  // namespace

// ---- The engine ----

RERay::RERay(EngineContext& context) : LitEngineBase(context) {}
RERay::~RERay() = default;

// The display itself is installed by the command before the engine sees it.
int RERay::Display(const std::string&, const std::string&, const std::string&) { return 0; }

int RERay::Format(int xres, int yres) {
    // Every pixel of the format is traced: refuse what no frame buffer holds.
    // A width or height of 0 or less is an empty image, as for the devices.
    if (xres > 0 && yres > 0 && static_cast<long long>(xres) * yres > kMaxImagePixels) return kErrDisplayMemory;
    return SetFormat(context_.display, xres, yres);
}

int RERay::Begin() {
    RayState& st = rayState();
    if (st.initialized) return 0;
    st.initialized = true;
    st.scene.Clear();
    lightSet().resetLighting();
    displayState().perObjectRefresh = false;
    return 0;
}

int RERay::End() {
    rayState().scene.Clear();
    lightSet().deleteAll();
    rayState().maps.releaseAll();
    rayState().bezier.release();
    return 0;
}

// Images are named after the frame they belong to.
int RERay::FrameBegin(int frame) {
    rayState().frame = frame;
    return 0;
}

int RERay::FrameEnd() {
    rayState().frame = 0;
    return 0;
}

int RERay::WorldBegin() {
    const int frame = rayState().frame;
    int status = displayState().dev().ImageBegin(frame);
    if (status != 0) return status;
    frameStats().beginFrame(frame);
    status = Begin();
    if (status != 0) return status;
    RayState& st = rayState();
    st.scene.Clear();
    TransformState& xf = transforms();
    xf.setIdentity();
    xf.clearStack();
    st.rasterToWorld = raytrace::BuildRasterToWorld(xf.camera, displayState().width, displayState().height);
    st.eye = xf.camera.eye;
    lightSet().resetLighting();
    return 0;
}

int RERay::WorldEnd() {
    // A frame the command line leaves out is not traced.
    const bool drawing = displayState().drawing;
    if (drawing) Render();
    // As with the other engines, an image that cannot be shown (a file that
    // cannot be written) ends the run.
    const int status = displayState().dev().ImageShow();
    if (drawing && frameStats().enabled)
        frameStats().reportFrame({{"rays cast", frameStats().rays.load()},
                     {"objects", frameStats().objects},
                     {"tree height", static_cast<unsigned long long>(rayState().scene.Height())}});
    return status;
}

void RERay::Render() {
    DisplayState& ds = displayState();
    ds.dev().ImageClear();
    RayState& st = rayState();
    // The queries of all threads walk the tree's prepared layout, laid out
    // once per scene; nothing changes the scene while the image is traced.
    if (!st.scene.prepared()) st.scene.Prepare();
    raytrace::TraceImage(st, ds);
}

int RERay::add(BuiltObject built) {
    if (!built.object) return 0;
    RayState& st = rayState();
    built.object->attributes = st.attributes;
    built.object->attributes.map = st.maps.current();
    built.object->attributes.sampling = st.maps.sampling();
    // The tree owns the object once it holds it.
    if (!st.scene.Insert(built.object.get(), built.lower, built.upper)) return kErrDisplayMemory;
    (void)built.object.release();
    frameStats().countObject();
    return 0;
}

int RERay::PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces, const int* indices) {
    const TransformState& xf = transforms();
    BuiltObject built;
    // Texture coordinates are kept for a painted surface with a map, in
    // texel units of the map.
    float texels[2];
    const float* texelScale = nullptr;
    if (textured()) {
        texels[0] = static_cast<float>(rayState().maps.current()->levels[0].width);
        texels[1] = static_cast<float>(rayState().maps.current()->levels[0].height);
        texelScale = texels;
    }
    int status = raytrace::BuildPolySet(vtype, nvertices, vertices, nfaces, indices, xf.M, xf.Minv, built,
                                               texelScale, rayState().interpolate);
    if (status != 0) return status;
    return add(std::move(built));
}

int RERay::Background(const ColorRGB& c) {
    rayState().background = c;
    return 0;
}
int RERay::Color(const ColorRGB& c) {
    rayState().attributes.color = c;
    return 0;
}

int RERay::Surface(const std::string& name) {
    raytrace::SurfaceShader shader;
    if (name == "matte")
        shader = raytrace::MatteShader;
    else if (name == "metal")
        shader = raytrace::MetalShader;
    else if (name == "plastic")
        shader = raytrace::PlasticShader;
    else if (name == "painted plastic")
        shader = raytrace::PaintedPlasticShader;
    else
        return kErrSurfaceType;
    rayState().attributes.shader = shader;
    return 0;
}


int RERay::Specular(const ColorRGB& c, int exponent) {
    SurfaceAttributes& a = rayState().attributes;
    a.specularColor = c;
    a.specularExponent = static_cast<float>(exponent);
    return 0;
}
int RERay::Ka(float ka) {
    rayState().attributes.ka = ka;
    return 0;
}
int RERay::Kd(float kd) {
    rayState().attributes.kd = kd;
    return 0;
}
int RERay::Ks(float ks) {
    rayState().attributes.ks = ks;
    return 0;
}

int RERay::OptionBool(const std::string& name, bool value) {
    if (name == "Bounding Tree") rayState().scene.useBoundingTree = value;
    if (name == "Statistics") frameStats().enabled = value;
    if (name == "Interpolate") rayState().interpolate = value;
    return 0;  // "Jitter" and every other name: no effect
}

int RERay::OptionReal(const std::string& name, float value) {
    if (name == "Levels")
        rayState().maxLevels = TruncateOption(value, kRayMaxLevels);
    else if (name == "Linear Subsamples")
        rayState().subsamples = TruncateOption(value, kRayMaxSubsamples);
    else if (name == "Threads")
        rayState().threads = TruncateOption(value, kRayMaxThreads);
    else if (name == "Divisions")
        rayState().divisions = TruncateOption(value, kMaxDivisions);
    return 0;
}

}  // namespace kx
