// Process state for a benchmark: every engine's state back to program
// start and a PPM device open at the given size.
#pragma once

#include <memory>

#include "display/ppm_device.h"
#include "shell/process.h"

namespace kx::bench {

inline void FreshState(int width, int height) {
    Process& p = process();
    p.reset();
    p.display.device = std::make_unique<FileDevice>(p.display);
    SetFormat(p.display, width, height);
    p.display.dev().DisplayOpen();
}

}  // namespace kx::bench
