// The image of the ray tracer: n x n primary rays through each pixel of the
// region the command line selects, averaged, traced on several threads and
// written to the display in row order.
#pragma once

#include "display/display.h"
#include "engines/raytrace/ray_state.h"

namespace kx::raytrace {

// Offset within a pixel of the centre of subsample s of n along one axis.
inline float SubsampleOffset(int s, int n) { return static_cast<float>(2 * s + 1) / static_cast<float>(2 * n); }

// Traces the state's scene, its tree laid out for the queries, into the
// display's device (already cleared).
void TraceImage(const RayState& state, DisplayState& display);

}  // namespace kx::raytrace
