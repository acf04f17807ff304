// Names of files the scene asks for, as the program opens them.
#pragma once

#include <string>

namespace kx {

// The name under which a file named by the scene is opened. Builds for
// fuzzing (KX_FUZZ_BUILD) keep every such file in the current folder (each
// "/" becomes "_"); other builds use the name as it is.
std::string ConfinedPath(const std::string& path);

}  // namespace kx
