// The version of the project's programs, the same for every one of them:
// from git where the build's source is a git checkout (0.1.0~git42.g1a2b3c4),
// else the project's version (0.1.0). The build writes its definition
// (cmake/write-version.cmake); the kx_version library holds it.
#pragma once

namespace kx {

const char* Version();

}  // namespace kx
