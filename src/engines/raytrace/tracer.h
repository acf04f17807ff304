// The recursion of the ray tracer: the colour seen along a ray is the local
// colour of the nearest hit, lit by the lights that no object shadows, plus
// what its mirror reflection sees, bounce after bounce.
#pragma once

#include <cstdint>

#include "core/lights.h"
#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"

namespace kx::raytrace {

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

// Whether the point p is shadowed from the light.
inline bool InShadow(const TraceContext& context, const Light& light, const Point3& p) {
    CountRaysCast(context);
    Ray shadow{p, light.directionTo(p)};
    return context.scene.AnyHit(kTraceMin, light.positional ? 1.0 : kTraceMax, shadow);
}

}  // namespace kx::raytrace
