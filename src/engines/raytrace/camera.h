// The ray tracer's pinhole camera: where each pixel of the image lies in the
// world.
#pragma once

#include "core/math.h"
#include "core/transform.h"

namespace kx::raytrace {

// The camera matrix mapping the pixel-plane point (px, py, 1) to world space.
Matrix4 BuildRasterToWorld(const Camera& camera, int width, int height);

}  // namespace kx::raytrace
