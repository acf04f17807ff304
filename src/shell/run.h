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
// Its start: the default engine made and begun. 0, or the error code after
// its report (the engine then destroyed).
int BeginOpenedScene(Process& p, const std::string& file);
// Its end: the input closed, the engine ended and destroyed, the display
// closed.
void Shutdown(Process& p);

}  // namespace kx
