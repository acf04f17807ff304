// What every engine shares with the rest of the run: the display, the
// modelling transform and camera, the lights and the frame statistics. The
// run owns these once (shell/process.h) and hands them to every engine it
// makes; an engine keeps its own state beside them.
#pragma once

#include "core/lights.h"
#include "core/transform.h"
#include "display/display.h"
#include "interface/frame_stats.h"

namespace kx {

struct EngineContext {
    DisplayState& display;
    TransformState& transforms;
    LightSet& lights;
    FrameStats& stats;
};

}  // namespace kx
