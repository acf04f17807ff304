// The image of the ray tracer: n x n primary rays through each pixel of the
// region the command line selects, averaged, traced on several threads and
// written to the display in row order.
#pragma once

#include "core/lights.h"
#include "display/display.h"
#include "engines/raytrace/ray_state.h"
#include "interface/frame_stats.h"

namespace kx::raytrace {

// Offset within a pixel of the centre of subsample s of n along one axis.
inline float SubsampleOffset(int s, int n) { return static_cast<float>(2 * s + 1) / static_cast<float>(2 * n); }

// Traces the state's scene, its tree laid out for the queries, under the
// lights into the display's device (already cleared), counting the rays
// cast and reporting the rows done in the statistics.
void TraceImage(const RayState& state, const LightSet& lights, DisplayState& display, FrameStats& stats);

}  // namespace kx::raytrace
