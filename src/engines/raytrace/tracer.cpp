#include "engines/raytrace/tracer.h"

#include <atomic>
#include <cstdint>

#include "engines/raytrace/objects.h"
#include "engines/raytrace/ray_state.h"
#include "interface/frame_stats.h"

namespace kx::raytrace {

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

}  // namespace

void AddRaysCast() {
    if (tRaysCast == 0) return;
    frameStats().rays.fetch_add(tRaysCast, std::memory_order_relaxed);
    tRaysCast = 0;
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

template void TraceRays<2>(const Ray ray[2], int level, ColorRGB colour[2]);
template void TraceRays<4>(const Ray ray[4], int level, ColorRGB colour[4]);

}  // namespace kx::raytrace
