// The recursion of the ray tracer: the colour seen along a ray is the local
// colour of the nearest hit, lit by the lights that no object shadows, plus
// what its mirror reflection sees, bounce after bounce.
#pragma once

#include "core/lights.h"
#include "core/math.h"

namespace kx::raytrace {

// The colour seen along a ray, with level reflection bounces left.
ColorRGB Trace(const Ray& ray, int level);
// Trace for N (2 or 4) rays, their nearest hits found in one walk of the tree.
template <int N>
void TraceRays(const Ray ray[N], int level, ColorRGB colour[N]);
// Whether the point p is shadowed from the light.
bool InShadow(const Light& light, const Point3& p);

// Adds the rays this thread has cast to the frame statistics.
void AddRaysCast();

}  // namespace kx::raytrace
