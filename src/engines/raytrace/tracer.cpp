#include "engines/raytrace/tracer.h"

#include "core/limits.h"
#include "engines/raytrace/objects.h"
#include "surface/opacity.h"

namespace kx::raytrace {

namespace {

// How far a hit point is moved off its surface, so that the rays leaving it
// do not hit the surface again.
constexpr float kSurfaceOffset = 0.001f;

// The hit as it is shaded: the normal of unit length, the point moved off
// the surface.
void LiftHit(HitRecord& hit) {
    normalize(hit.normal);
    hit.point += kSurfaceOffset * hit.normal;
}

// The point just past the surface at the lifted hit, on the far side from
// where the ray along direction came.
Point3 Beyond(const Point3& lifted, const Vector3& normal, const Vector3& direction) {
    if (dot(direction, normal) > 0) return lifted;
    return lifted + (-2 * kSurfaceOffset) * normal;
}

// The colour at a lifted hit found along ray, with level reflection bounces
// left; shadows: what is known of its shadows, or null.
ColorRGB ShadeLifted(const TraceContext& context, const Ray& ray, int level, const HitRecord& hit,
                     const GrObject* object, const KnownShadows* shadows) {
    // The scene holds only objects with attributes.
    const SurfaceAttributes& a = static_cast<const GrAttrObject*>(object)->attributes;
    ColorRGB colour;
    const TraceContext shading{context.scene, context.lights, context.background, context.raysCast, shadows};
    a.shader(shading, ray.direction, a, hit, colour);
    if (level > 0) {
        Ray reflected{hit.point, reflect(ray.direction, hit.normal)};
        ColorRGB r = Trace(context, reflected, level - 1);
        colour += (a.ks * a.specularColor) * r;
    }
    if (context.scene.seeThrough && level >= 0) {
        const float opacity = a.opacity * hit.opacity;
        if (opacity < 1) {
            const Ray through{Beyond(hit.point, hit.normal, ray.direction), ray.direction};
            colour = OverBehind(colour, opacity, Trace(context, through, level - 1));
        }
    }
    return colour;
}

ColorRGB ShadeHit(const TraceContext& context, const Ray& ray, int level, HitRecord hit, const GrObject* object) {
    LiftHit(hit);
    return ShadeLifted(context, ray, level, hit, object, nullptr);
}

// The shadows of four lifted hits from each light that faces one of them,
// their rays walking the tree together; false when they cannot.
bool FindShadows(const TraceContext& context, const HitRecord hit[4], KnownShadows known[4]) {
    const auto& lights = context.lights.lights;
    // Shadows that may be partial are found one by one (ShadowPassing).
    if (context.scene.seeThrough || lights.size() > static_cast<size_t>(KnownShadows::kMost)) return false;
    for (const auto& light : lights) {
        bool facing = false;
        Ray shadow[4];
        for (int k = 0; k < 4; ++k) {
            shadow[k] = ShadowRay(*light, hit[k].point);
            facing = facing || dot(hit[k].normal, shadow[k].direction) >= 0;
        }
        bool shadowed[4];
        if (!facing || !context.scene.AnyHitQuad(kTraceMin, ShadowEnd(*light), shadow, shadowed)) continue;
        for (int k = 0; k < 4; ++k) {
            known[k].light[known[k].count] = light.get();
            known[k].shadowed[known[k].count++] = shadowed[k];
        }
    }
    return true;
}

}  // namespace

float ShadowPassing(const TraceContext& context, const Light& light, const Point3& p) {
    Ray ray = ShadowRay(light, p);
    double end = ShadowEnd(light);
    float passing = 1;
    for (int crossed = 0; crossed <= kRayMaxCrossings; ++crossed) {
        CountRaysCast(context);
        double t;
        HitRecord hit;
        GrObject* object = nullptr;
        if (!context.scene.NearestHit(kTraceMin, end, ray, t, hit, object)) return passing;
        const SurfaceAttributes& a = static_cast<const GrAttrObject*>(object)->attributes;
        const float opacity = a.opacity * hit.opacity;
        if (!(opacity < 1)) return 0;
        passing *= 1 - opacity;
        // On from just past the surface; a light at a point stays where it
        // was along the ray's direction.
        LiftHit(hit);
        ray.origin = Beyond(hit.point, hit.normal, ray.direction);
        if (light.positional) end -= t;
        if (!(end > kTraceMin)) return passing;
    }
    return 0;
}

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
    if constexpr (N == 4) {
        if (found[0] && found[1] && found[2] && found[3]) {
            for (int k = 0; k < N; ++k) LiftHit(hit[k]);
            KnownShadows known[N];
            const bool walked = FindShadows(context, hit, known);
            for (int k = 0; k < N; ++k)
                colour[k] = ShadeLifted(context, ray[k], level, hit[k], object[k], walked ? &known[k] : nullptr);
            return;
        }
    }
    for (int k = 0; k < N; ++k)
        colour[k] = found[k] ? ShadeHit(context, ray[k], level, hit[k], object[k]) : context.background;
}

template void TraceRays<2>(const TraceContext& context, const Ray ray[2], int level, ColorRGB colour[2]);
template void TraceRays<4>(const TraceContext& context, const Ray ray[4], int level, ColorRGB colour[4]);

}  // namespace kx::raytrace
