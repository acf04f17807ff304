// What every engine shares with the rest of the run: the display, the
// modelling transform and camera, the lights, the frame statistics and the
// folder where the files the scene names are also looked for. The
// run owns these once (shell/process.h) and hands them to every engine it
// makes; an engine keeps its own state beside them.
#pragma once

#include "core/lights.h"
#include "core/paths.h"
#include "core/transform.h"
#include "display/display.h"
#include "interface/frame_stats.h"

namespace kx {

struct EngineContext {
    DisplayState& display;
    TransformState& transforms;
    LightSet& lights;
    FrameStats& stats;
    const SceneFolder& sceneFolder;
};

}  // namespace kx
