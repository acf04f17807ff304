// Program entry and the run loop.
#pragma once

#include <memory>
#include <string>

#include "interface/render_engine.h"

namespace kx {

// Creates the engine of a name ("direct", "raytrace", "data convert",
// "scan convert"); any other name gives the direct engine and status -35.
std::unique_ptr<RenderEngine> MakeEngine(const std::string& name, int& status);

// The whole program: returns the exit status (0 or the error code).
int RunProgram(int argc, char** argv);

// The run over a scene input that is already open (sceneInput()): the
// default engine, the parse loop and the shutdown, errors reported under the
// name file. Returns 0 or the error code.
int RunOpenedScene(const std::string& file);

// Puts every process-wide module back into its program-start state.
void ResetProcessState();

}  // namespace kx
