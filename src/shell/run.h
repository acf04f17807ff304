// Program entry and the run loop.
#pragma once

#include <memory>
#include <string>

#include "shell/process.h"

namespace kx {

// The whole program: returns the exit status (0 or the error code).
int RunProgram(int argc, char** argv);

// The run over a scene input that is already open (p.input): the
// default engine, the parse loop and the shutdown, errors reported under the
// name file. Returns 0 or the error code.
int RunOpenedScene(Process& p, const std::string& file);

}  // namespace kx
