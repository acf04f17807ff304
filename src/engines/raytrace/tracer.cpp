#include "engines/raytrace/tracer.h"

#include "engines/raytrace/objects.h"

namespace kx::raytrace {

namespace {

// How far a hit point is moved off its surface, so that the rays leaving it
// do not hit the surface again.
constexpr float kSurfaceOffset = 0.001f;

// The colour at a hit found along ray, with level reflection bounces left.
ColorRGB ShadeHit(const TraceContext& context, const Ray& ray, int level, HitRecord hit, const GrObject* object) {
    normalize(hit.normal);
    hit.point += kSurfaceOffset * hit.normal;
    // The scene holds only objects with attributes.
    const SurfaceAttributes& a = static_cast<const GrAttrObject*>(object)->attributes;
    ColorRGB colour;
    a.shader(context, ray.direction, a, hit, colour);
    if (level > 0) {
        Ray reflected{hit.point, reflect(ray.direction, hit.normal)};
        ColorRGB r = Trace(context, reflected, level - 1);
        colour += (a.ks * a.specularColor) * r;
    }
    return colour;
}

}  // namespace

ColorRGB Trace(const TraceContext& context, const Ray& ray, int level) {
    CountRaysCast(context);
    double t;
    HitRecord hit;
    GrObject* object = nullptr;
    if (!context.scene.NearestHit(kTraceMin, kTraceMax, ray, t, hit, object)) return context.background;
    return ShadeHit(context, ray, level, hit, object);
}

template <int N>
void TraceRays(const TraceContext& context, const Ray ray[N], int level, ColorRGB colour[N]) {
    CountRaysCast(context, N);
    bool found[N];
    double t[N];
    HitRecord hit[N];
    GrObject* object[N] = {};
    if constexpr (N == 4)
        context.scene.NearestHitQuad(kTraceMin, kTraceMax, ray, found, t, hit, object);
    else
        context.scene.NearestHitPair(kTraceMin, kTraceMax, ray, found, t, hit, object);
    for (int k = 0; k < N; ++k)
        colour[k] = found[k] ? ShadeHit(context, ray[k], level, hit[k], object[k]) : context.background;
}

template void TraceRays<2>(const TraceContext& context, const Ray ray[2], int level, ColorRGB colour[2]);
template void TraceRays<4>(const TraceContext& context, const Ray ray[4], int level, ColorRGB colour[4]);

}  // namespace kx::raytrace
