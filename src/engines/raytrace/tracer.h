// The recursion of the ray tracer: the colour seen along a ray is the local
// colour of the nearest hit, lit by the lights that no object shadows, plus
// what its mirror reflection sees, bounce after bounce.
//
// A surface of opacity a below 1 (Opacity times its vertices' O values)
// shows a times that colour plus (1 - a) times what the ray sees continued
// through it, unbent. The continued ray counts against the levels as a
// reflected one does, except that it is traced at level 0 too: at level -1
// it sees the next surface as opaque. A ray thus sees through "Levels" + 1
// surfaces. Its shadow rays cross such surfaces, (1 - a) of the light
// passing each one.
#pragma once

#include <cstdint>

#include "core/lights.h"
#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"

namespace kx::raytrace {

// Whether the lights light[0 .. count - 1] are shadowed from one hit point,
// found beforehand for the shading of that hit (the rays of neighbouring
// hits walked the tree together).
struct KnownShadows {
    static constexpr int kMost = 8;
    int count = 0;
    const Light* light[kMost];
    bool shadowed[kMost];
};

// What tracing a ray reads: the scene's objects, its lights and background,
// none of which changes while an image is traced, and where the rays cast
// are counted. Each thread tracing an image has a context of its own.
struct TraceContext {
    const BoundingTree& scene;
    const LightSet& lights;
    const ColorRGB& background;
    // The count of rays cast with this context; null when rays are not
    // counted (option "Statistics" off).
    uint64_t* raysCast = nullptr;
    // While a shader runs: what is known of the shadows at its hit point.
    const KnownShadows* shadows = nullptr;
};

// The interval along a ray where hits count: from just past its origin.
constexpr double kTraceMin = 1e-7;
constexpr double kTraceMax = 1e30;

// Counts n rays cast with the context.
inline void CountRaysCast(const TraceContext& context, uint64_t n = 1) {
    if (context.raysCast) *context.raysCast += n;
}

// The colour seen along a ray, with level reflection bounces left.
ColorRGB Trace(const TraceContext& context, const Ray& ray, int level);
// Trace for N (2 or 4) rays, their nearest hits found in one walk of the tree.
template <int N>
void TraceRays(const TraceContext& context, const Ray ray[N], int level, ColorRGB colour[N]);

// The ray from p towards the light, and the end of its interval.
inline Ray ShadowRay(const Light& light, const Point3& p) { return {p, light.directionTo(p)}; }
inline double ShadowEnd(const Light& light) { return light.positional ? 1.0 : kTraceMax; }

// The share of the light that reaches p across the see-through surfaces
// between them: the product of (1 - a) over the surfaces crossed, 0 as
// soon as one is opaque (or beyond kRayMaxCrossings).
float ShadowPassing(const TraceContext& context, const Light& light, const Point3& p);

// Whether the point p (the hit point being shaded) is shadowed from the light.
inline bool InShadow(const TraceContext& context, const Light& light, const Point3& p) {
    CountRaysCast(context);
    if (const KnownShadows* known = context.shadows)
        for (int i = 0; i < known->count; ++i)
            if (known->light[i] == &light) return known->shadowed[i];
    return context.scene.AnyHit(kTraceMin, ShadowEnd(light), ShadowRay(light, p));
}

// The share of the light that reaches p: all or nothing (InShadow) unless
// the scene has see-through surfaces.
inline float LightPassing(const TraceContext& context, const Light& light, const Point3& p) {
    if (!context.scene.seeThrough) return InShadow(context, light, p) ? 0.0f : 1.0f;
    return ShadowPassing(context, light, p);
}

}  // namespace kx::raytrace
