#include "engines/raytrace/ray_engine.h"

#include <utility>

#include "core/errors.h"
#include "core/lights.h"
#include "core/transform.h"
#include "display/display.h"
#include "engines/raytrace/camera.h"
#include "engines/raytrace/image_sampler.h"
#include "interface/frame_stats.h"
#include "surface/opacity.h"
#include "surface/tessellate.h"

namespace kx::raytrace {

namespace {

// An option value truncated toward zero into [0, high]; NaN gives 0.
int TruncateOption(float value, int high) {
    if (!(value > 0)) return 0;  // NaN, zero and negative values
    if (value >= static_cast<float>(high)) return high;
    return static_cast<int>(value);
}

}  // namespace

}  // namespace kx::raytrace

namespace kx {

using raytrace::BuiltObject;
using raytrace::SurfaceAttributes;
using raytrace::TruncateOption;

RERay::RERay(EngineContext& context, RayState& state) : LitEngineBase(context), state_(state) {}
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
    if (state_.initialized) return 0;
    state_.initialized = true;
    state_.scene.Clear();
    context_.lights.resetLighting();
    context_.display.perObjectRefresh = false;
    return 0;
}

int RERay::End() {
    state_.scene.Clear();
    context_.lights.deleteAll();
    state_.maps.releaseAll();
    state_.bezier.release();
    return 0;
}

// Images are named after the frame they belong to.
int RERay::FrameBegin(int frame) {
    state_.frame = frame;
    return 0;
}

int RERay::FrameEnd() {
    state_.frame = 0;
    return 0;
}

int RERay::WorldBegin() {
    const int frame = state_.frame;
    int status = context_.display.dev().ImageBegin(frame);
    if (status != 0) return status;
    context_.stats.beginFrame(frame);
    status = Begin();
    if (status != 0) return status;
    state_.scene.Clear();
    TransformState& xf = context_.transforms;
    xf.setIdentity();
    xf.clearStack();
    state_.rasterToWorld = raytrace::BuildRasterToWorld(xf.camera, context_.display.width, context_.display.height);
    state_.eye = xf.camera.eye;
    context_.lights.resetLighting();
    return 0;
}

int RERay::WorldEnd() {
    // A frame the command line leaves out is not traced.
    const bool drawing = context_.display.drawing;
    if (drawing) Render();
    // As with the other engines, an image that cannot be shown (a file that
    // cannot be written) ends the run.
    const int status = context_.display.dev().ImageShow();
    if (drawing && context_.stats.enabled)
        context_.stats.reportFrame({{"rays cast", context_.stats.rays.load()},
                                    {"objects", context_.stats.objects},
                                    {"tree height", static_cast<unsigned long long>(state_.scene.Height())}});
    return status;
}

void RERay::Render() {
    context_.display.dev().ImageClear();
    // The queries of all threads walk the tree's prepared layout, laid out
    // once per scene; nothing changes the scene while the image is traced.
    if (!state_.scene.prepared()) state_.scene.Prepare(&state_.eye);
    raytrace::TraceImage(state_, context_.lights, context_.display, context_.stats);
}

int RERay::add(BuiltObject built) {
    if (!built.object) return 0;
    built.object->attributes = state_.attributes;
    built.object->attributes.map = state_.maps.current();
    built.object->attributes.sampling = state_.maps.sampling();
    if (state_.emission.emits()) {
        SurfaceAttributes& a = built.object->attributes;
        a.lit = a.shader;
        a.shader = raytrace::EmittingShader;
        a.emission = state_.emission.light();
    }
    // The tree owns the object once it holds it.
    if (!state_.scene.Insert(built.object.get(), built.lower, built.upper)) return kErrDisplayMemory;
    if (built.object->attributes.opacity < 1) state_.scene.seeThrough = true;
    (void)built.object.release();
    context_.stats.countObject();
    return 0;
}

int RERay::PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces, const int* indices) {
    const TransformState& xf = context_.transforms;
    BuiltObject built;
    // Texture coordinates are kept for a painted surface with a map, in
    // texel units of the map.
    float texels[2];
    const float* texelScale = nullptr;
    if (textured()) {
        texels[0] = static_cast<float>(state_.maps.current()->levels[0].width);
        texels[1] = static_cast<float>(state_.maps.current()->levels[0].height);
        texelScale = texels;
    }
    int status = raytrace::BuildPolySet(vtype, nvertices, vertices, nfaces, indices, xf.M, xf.Minv, built, texelScale,
                                        state_.interpolate);
    if (status != 0) return status;
    // Vertices with O values may let light through.
    const bool withOpacity = built.object && static_cast<raytrace::RTPolySet&>(*built.object).opacityOffset >= 0;
    status = add(std::move(built));
    if (status == 0 && withOpacity) state_.scene.seeThrough = true;
    return status;
}

int RERay::Background(const ColorRGB& c) {
    state_.background = c;
    return 0;
}
int RERay::Opacity(float opacity) {
    state_.attributes.opacity = UnitOpacity(opacity);
    return 0;
}
int RERay::Color(const ColorRGB& c) {
    state_.attributes.color = c;
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
    state_.attributes.shader = shader;
    return 0;
}


int RERay::Specular(const ColorRGB& c, int exponent) {
    SurfaceAttributes& a = state_.attributes;
    a.specularColor = c;
    a.specularExponent = static_cast<float>(exponent);
    return 0;
}
int RERay::Ka(float ka) {
    state_.attributes.ka = ka;
    return 0;
}
int RERay::Kd(float kd) {
    state_.attributes.kd = kd;
    return 0;
}
int RERay::Ks(float ks) {
    state_.attributes.ks = ks;
    return 0;
}
int RERay::Emit(const ColorRGB& c, float intensity) {
    state_.emission.color = c;
    state_.emission.intensity = intensity;
    return 0;
}
int RERay::Ke(float ke) {
    state_.emission.ke = ke;
    return 0;
}

int RERay::OptionBool(const std::string& name, bool value) {
    if (name == "Bounding Tree") state_.scene.useBoundingTree = value;
    if (name == "Statistics") context_.stats.enabled = value;
    if (name == "Interpolate") state_.interpolate = value;
    return 0;  // "Jitter" and every other name: no effect
}

int RERay::OptionReal(const std::string& name, float value) {
    if (name == "Levels")
        state_.maxLevels = TruncateOption(value, kRayMaxLevels);
    else if (name == "Linear Subsamples")
        state_.subsamples = TruncateOption(value, kRayMaxSubsamples);
    else if (name == "Threads")
        state_.threads = TruncateOption(value, kRayMaxThreads);
    else if (name == "Divisions")
        state_.divisions = TruncateOption(value, kMaxDivisions);
    else if (name == "SubdivisionLevel")
        state_.subdivisionLevel = TruncateOption(value, kMaxSubdivisionLevel);
    return 0;
}

}  // namespace kx
