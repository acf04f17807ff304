// What the direct engine's pipeline works on: the engine's own state and
// the parts of the run's shared state it reads and changes. The engine keeps
// one over its context; the pipeline's entries (polygon_stage.h,
// line_stage.h), the primitives and the Bezier surfaces take it, and so do
// the vertex sinks they hand their vertices to.
#pragma once

#include "interface/engine_context.h"

namespace kx {

struct DirectState;
class MapList;

struct DirectPipeline {
    DirectPipeline(EngineContext& context, DirectState& engineState, const MapList& textureMaps)
        : state(engineState),
          transforms(context.transforms),
          maps(textureMaps),
          display(context.display),
          stats(context.stats),
          lights(context.lights) {}

    DirectState& state;
    TransformState& transforms;  // the modelling transform
    const MapList& maps;         // the current texture map and the MapBound settings
    DisplayState& display;       // the device, and whether the frame is drawn
    FrameStats& stats;
    const LightSet& lights;
};

}  // namespace kx
