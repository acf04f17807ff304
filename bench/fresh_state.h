// Process state for a benchmark: every engine's state back to program
// start and a PPM device open at the given size.
#pragma once

#include <memory>

#include "core/lights.h"
#include "core/transform.h"
#include "engines/direct/direct_state.h"
#include "surface/texture.h"
#include "engines/raytrace/ray_engine.h"
#include "display/display.h"
#include "display/display_file.h"

namespace kx::bench {

inline void FreshState(int width, int height) {
    directState().reset();
    rayState().reset();
    lightSet().reset();
    transforms().reset();
    mapList().reset();
    displayState().reset();
    displayState().device = std::make_unique<FileDevice>();
    SetFormat(width, height);
    displayState().dev().DisplayOpen();
}

}  // namespace kx::bench
