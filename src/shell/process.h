// Everything one run of the program keeps, owned here once: the scene input
// and parser, the object definitions, the current engine, the display, the
// shared transform, lights, texture maps, statistics and the scene file's
// folder, and each engine's own state. The run builds it and passes
// references to whatever uses it; tests, benchmarks and fuzzing reach it the
// same way and put it back to program start with reset().
#pragma once

#include <memory>
#include <string>

#include "core/lights.h"
#include "core/transform.h"
#include "display/display.h"
#include "engines/direct/direct_state.h"
#include "engines/echo/echo_engine.h"
#include "engines/raytrace/ray_engine.h"
#include "engines/scan/scan_engine.h"
#include "interface/current_engine.h"
#include "interface/engine_context.h"
#include "interface/frame_stats.h"
#include "scene/input.h"
#include "scene/objects.h"
#include "scene/parser.h"
#include "surface/texture.h"

namespace kx {

class Process {
public:
    Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Back to program start: no engine, input closed, every state as new.
    void reset();
    // The engine of a name ("direct", "raytrace", "data convert", "scan
    // convert") over this process's state; any other name gives the direct
    // engine and status -35.
    std::unique_ptr<RenderEngine> makeEngine(const std::string& name, int& status);

    // ---- shared by every engine ----
    DisplayState display;
    TransformState transforms;
    LightSet lights;
    FrameStats stats;
    MapList maps;
    SceneFolder sceneFolder;  // where map files are also looked for, by every engine
    EngineContext context{display, transforms, lights, stats, sceneFolder};

    // ---- each engine's own ----
    DirectState direct;
    RayState ray;
    EchoState echo;
    ScanState scan;

    // ---- the scene ----
    SceneInput input;
    ObjectTable objects;
    CurrentEngine engine;
    SceneParser parser{input, objects, engine, display};
};

// The one Process of the program.
Process& process();

}  // namespace kx
