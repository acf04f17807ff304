#include "engines/raytrace/ray_engine.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>

#include "core/errors.h"
#include "core/lights.h"
#include "interface/frame_stats.h"
#include "engines/raytrace/row_pipeline.h"
#include "display/display.h"

namespace kx {

using raytrace::BuiltObject;
using raytrace::GrAttrObject;
using raytrace::GrObject;
using raytrace::HitRecord;
using raytrace::SurfaceAttributes;

namespace {

constexpr double kTraceMin = 1e-7;
constexpr double kTraceMax = 1e30;
constexpr float kSurfaceOffset = 0.001f;

// Rays cast on this thread since they were last added to the frame
// statistics: each tracing thread counts on its own and adds its count once
// per row, instead of every ray contending for the shared counter.
thread_local uint64_t tRaysCast = 0;

inline void CountRayCast(uint64_t n = 1) {
    if (frameStats().enabled) tRaysCast += n;
}

void AddRaysCast() {
    if (tRaysCast == 0) return;
    frameStats().rays.fetch_add(tRaysCast, std::memory_order_relaxed);
    tRaysCast = 0;
}

}  // namespace

void RayState::reset() {
    scene.Clear();
    scene.useBoundingTree = true;
    scene.objectsShared = false;
    attributes = SurfaceAttributes();
    background = ColorRGB();
    maxLevels = 0;
    subsamples = 1;
    threads = 0;
    divisions = 20;
    interpolate = true;
    maps.reset();
    bezier.release();
    rasterToWorld = Matrix4();
    eye = Point3();
    frame = 0;
    initialized = false;
}

RayState& rayState() {
    static RayState state;
    return state;
}

Matrix4 BuildRasterToWorld(const Camera& camera, int width, int height) {
    float halfW = static_cast<float>(width) / 2;
    float halfH = static_cast<float>(height) / 2;
    Matrix4 P;
    P(0, 0) = 1;
    P(0, 3) = -halfW;
    P(1, 1) = -1;
    P(1, 3) = halfH;
    P(2, 2) = halfH / static_cast<float>(std::tan(camera.fov * 3.141592653589793 / 360.0));
    P(3, 3) = 1;

    Vector3 w = camera.at - camera.eye;
    Vector3 right = cross(w, camera.up);
    normalize(right);
    normalize(w);
    Vector3 up = cross(right, w);
    normalize(up);
    Matrix4 C;
    for (int i = 0; i < 3; ++i) {
        C(i, 0) = right[i];
        C(i, 1) = up[i];
        C(i, 2) = w[i];
        C(i, 3) = camera.eye[i];
    }
    C(3, 3) = 1;
    return C * P;
}

int TruncateOption(float value, int high) {
    if (!(value > 0)) return 0;  // NaN, zero and negative values
    if (value >= static_cast<float>(high)) return high;
    return static_cast<int>(value);
}

bool InShadow(const Light& light, const Point3& p) {
    CountRayCast();
    Ray shadow{p, light.directionTo(p)};
    return rayState().scene.AnyHit(kTraceMin, light.positional ? 1.0 : kTraceMax, shadow);
}

namespace {

// The colour at a hit found along ray, with level reflection bounces left.
ColorRGB ShadeHit(const Ray& ray, int level, HitRecord hit, const GrObject* object) {
    normalize(hit.normal);
    hit.point += kSurfaceOffset * hit.normal;
    // The scene holds only objects with attributes.
    const SurfaceAttributes& a = static_cast<const GrAttrObject*>(object)->attributes;
    ColorRGB colour;
    a.shader(ray.direction, a, hit, colour);
    if (level > 0) {
        Ray reflected{hit.point, reflect(ray.direction, hit.normal)};
        ColorRGB r = Trace(reflected, level - 1);
        colour += (a.ks * a.specularColor) * r;
    }
    return colour;
}

}  // namespace

ColorRGB Trace(const Ray& ray, int level) {
    CountRayCast();
    const RayState& st = rayState();
    double t;
    HitRecord hit;
    GrObject* object = nullptr;
    if (!st.scene.NearestHit(kTraceMin, kTraceMax, ray, t, hit, object)) return st.background;
    return ShadeHit(ray, level, hit, object);
}

namespace {

// Trace for N (2 or 4) rays, their nearest hits found in one walk of the tree.
template <int N>
void TraceRays(const Ray ray[N], int level, ColorRGB colour[N]) {
    CountRayCast(N);
    const RayState& st = rayState();
    bool found[N];
    double t[N];
    HitRecord hit[N];
    GrObject* object[N] = {};
    if constexpr (N == 4)
        st.scene.NearestHitQuad(kTraceMin, kTraceMax, ray, found, t, hit, object);
    else
        st.scene.NearestHitPair(kTraceMin, kTraceMax, ray, found, t, hit, object);
    for (int k = 0; k < N; ++k) colour[k] = found[k] ? ShadeHit(ray[k], level, hit[k], object[k]) : st.background;
}

}  // namespace

namespace raytrace {

namespace {

// The surface's colour at a hit: blended from its vertex colours when it has
// them, its own colour otherwise.
inline const ColorRGB& BaseColor(const SurfaceAttributes& attr, const HitRecord& hit) {
    return hit.colored ? hit.color : attr.color;
}

// The contribution of one light to the diffuse and specular sums. R is the
// mirror direction for the specular term (null when it is not wanted);
// metal tests the facing of the light with the unnormalized direction.
inline void AddLight(const Light& light, const HitRecord& hit, const Vector3* R, float exponent, bool metalTest,
                     ColorRGB* diffuse, ColorRGB* highlight) {
    const Vector3& N = hit.normal;
    Vector3 D = light.directionTo(hit.point);
    Vector3 L = normalized(D);
    float nl = static_cast<float>(dot(N, L));
    float facing = metalTest ? static_cast<float>(dot(N, D)) : nl;
    if (!(facing >= 0) || InShadow(light, hit.point)) return;
    float a = light.attenuation(hit.point);
    if (diffuse) *diffuse += light.color * (a * nl);
    if (highlight) {
        float s = static_cast<float>(std::pow(static_cast<double>(clamp(0, static_cast<float>(dot(*R, L)), 1)), static_cast<double>(exponent)));
        *highlight += light.color * (a * s);
    }
}

}  // namespace

void MatteShader(const Vector3&, const SurfaceAttributes& attr, const HitRecord& hit, ColorRGB& out) {
    const LightSet& lights = lightSet();
    ColorRGB diffuse;
    for (const auto& light : lights.lights) AddLight(*light, hit, nullptr, 0, false, &diffuse, nullptr);
    out = BaseColor(attr, hit) * (attr.ka * lights.ambient.color + attr.kd * diffuse);
}

void MetalShader(const Vector3& incoming, const SurfaceAttributes& attr, const HitRecord& hit, ColorRGB& out) {
    const LightSet& lights = lightSet();
    Vector3 R = reflect(incoming, hit.normal);
    ColorRGB highlight;
    for (const auto& light : lights.lights)
        AddLight(*light, hit, &R, attr.specularExponent, true, nullptr, &highlight);
    out = BaseColor(attr, hit) * (attr.ka * lights.ambient.color + attr.ks * highlight);
}

namespace {

// Plastic of the base colour C.
inline void Plastic(const Vector3& incoming, const SurfaceAttributes& attr, const ColorRGB& C, const HitRecord& hit,
                    ColorRGB& out) {
    const LightSet& lights = lightSet();
    Vector3 R = reflect(incoming, hit.normal);
    ColorRGB diffuse, highlight;
    for (const auto& light : lights.lights) AddLight(*light, hit, &R, attr.specularExponent, false, &diffuse, &highlight);
    out = C * (attr.ka * lights.ambient.color + attr.kd * diffuse) + attr.specularColor * (attr.ks * highlight);
}

}  // namespace

void PlasticShader(const Vector3& incoming, const SurfaceAttributes& attr, const HitRecord& hit, ColorRGB& out) {
    Plastic(incoming, attr, BaseColor(attr, hit), hit, out);
}

// The ray tracer has no footprint of a ray on the surface, so the lookup
// uses level 0 of the map (all derivatives zero).
void PaintedPlasticShader(const Vector3& incoming, const SurfaceAttributes& attr, const HitRecord& hit,
                          ColorRGB& out) {
    if (!attr.map) {
        Plastic(incoming, attr, BaseColor(attr, hit), hit, out);
        return;
    }
    // A map without texture coordinates paints the current colour.
    if (!hit.textured) {
        Plastic(incoming, attr, attr.color, hit, out);
        return;
    }
    Plastic(incoming, attr, SampleTexture(*attr.map, attr.sampling, hit.u, hit.v, 0, 0, 0, 0, attr.color), hit, out);
}

}  // namespace raytrace

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
    st.rasterToWorld = BuildRasterToWorld(xf.camera, displayState().width, displayState().height);
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

namespace {

// The colour of pixel (x, y): n x n samples averaged and clamped.
class PixelTracer {
public:
    PixelTracer(const RayState& st, int n) : count_(n < kRayMaxSubsamples ? n : kRayMaxSubsamples) {
        for (int s = 0; s < count_; ++s) offsets_[s] = SubsampleOffset(s, count_);
        weight_ = 1.0f / (static_cast<float>(count_) * static_cast<float>(count_));
        R2W_ = st.rasterToWorld;
        eye_ = st.eye;
        levels_ = st.maxLevels;
    }

    ColorRGB pixel(int x, int y) const {
        ColorRGB sum;
        for (int sy = 0; sy < count_; ++sy) {
            for (int sx = 0; sx < count_; ++sx) sum += Trace(primary(x, y, sx, sy), levels_);
        }
        return finish(sum);
    }

    // Pixels x .. x + N - 1 of row y (N = 2 or 4), sample by sample as
    // pixel() takes them, the N primary rays of a sample traced together.
    template <int N>
    void pixels(int x, int y, ColorRGB out[N]) const {
        ColorRGB sum[N];
        for (int sy = 0; sy < count_; ++sy) {
            for (int sx = 0; sx < count_; ++sx) {
                Ray rays[N];
                for (int k = 0; k < N; ++k) rays[k] = primary(x + k, y, sx, sy);
                ColorRGB c[N];
                TraceRays<N>(rays, levels_, c);
                for (int k = 0; k < N; ++k) sum[k] += c[k];
            }
        }
        for (int k = 0; k < N; ++k) out[k] = finish(sum[k]);
    }

    // Pixels x0 .. x1 - 1 of row y of an image width pixels wide, handed
    // to put(x, colour) in order. They are traced in the groups a whole row
    // is traced in, so that part of a row comes out as it does in the whole.
    template <class Put>
    void row(int y, int x0, int x1, int width, Put put) const {
        ColorRGB c[4];
        auto take = [&](int x, int n) {
            for (int k = 0; k < n; ++k)
                if (x + k >= x0 && x + k < x1) put(x + k, c[k]);
        };
        int x = 0;
        for (; x + 3 < width; x += 4) {
            if (x + 4 <= x0) continue;
            if (x >= x1) return;
            pixels<4>(x, y, c);
            take(x, 4);
        }
        for (; x + 1 < width; x += 2) {
            if (x + 2 <= x0) continue;
            if (x >= x1) return;
            pixels<2>(x, y, c);
            take(x, 2);
        }
        if (x < width && x >= x0 && x < x1) {
            c[0] = pixel(x, y);
            take(x, 1);
        }
    }

private:
    Ray primary(int x, int y, int sx, int sy) const {
        Point3 q = R2W_ * Point3(static_cast<float>(x) + offsets_[sx], static_cast<float>(y) + offsets_[sy], 1);
        return Ray{eye_, normalized(q - eye_)};
    }
    ColorRGB finish(ColorRGB sum) const {
        sum = sum * weight_;
        return ColorRGB(clamp(0, sum.r, 1), clamp(0, sum.g, 1), clamp(0, sum.b, 1));
    }

    int count_;
    float offsets_[kRayMaxSubsamples];
    float weight_;
    Matrix4 R2W_;
    Point3 eye_;
    int levels_;
};

}  // namespace

void RERay::Render() {
    DisplayState& ds = displayState();
    DisplayDevice& dev = ds.dev();
    dev.ImageClear();
    RayState& st = rayState();
    // The queries of all threads walk the tree's prepared layout, laid out
    // once per scene; nothing changes the scene while the image is traced.
    if (!st.scene.prepared()) st.scene.Prepare();
    const int W = ds.width, H = ds.height;
    if (W <= 0 || H <= 0) return;  // an empty image
    const int n = st.subsamples;
    if (n <= 0) {
        // No samples: every pixel shows the background.
        ColorRGB bg(clamp(0, st.background.r, 1), clamp(0, st.background.g, 1), clamp(0, st.background.b, 1));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) dev.WritePixel(x, y, bg);
        return;
    }
    // Only the region the command line selects is traced.
    const ImageRegion& region = ds.selection.region;
    const int x0 = region.given ? region.x0 : 0, x1 = region.given ? region.x1 : W;
    const int y0 = region.given ? region.y0 : 0, y1 = region.given ? region.y1 : H;
    const int rows = y1 - y0, columns = x1 - x0;
    const PixelTracer tracer(st, n);
    const int threads = raytrace::ResolveThreadCount(st.threads, rows);
    if (threads > 1) {
        // Rows traced on every thread, handed to the display here, in order.
        bool ran = raytrace::RunRows(
            columns, rows, threads,
            [&tracer, W, x0, x1, y0](int y, ColorRGB* row) {
                tracer.row(y0 + y, x0, x1, W, [row, x0](int x, const ColorRGB& c) { row[x - x0] = c; });
                AddRaysCast();
            },
            [&dev, columns, rows, x0, y0](int y, const ColorRGB* row) {
                for (int x = 0; x < columns; ++x) dev.WritePixel(x0 + x, y0 + y, row[x]);
                frameStats().reportRowsDone(y + 1, rows);
            });
        if (ran) return;
    }
    for (int y = y0; y < y1; ++y) {
        tracer.row(y, x0, x1, W, [&dev, y](int x, const ColorRGB& c) { dev.WritePixel(x, y, c); });
        AddRaysCast();
        frameStats().reportRowsDone(y - y0 + 1, rows);
    }
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
