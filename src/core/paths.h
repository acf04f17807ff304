// Names of files the scene asks for, as the program opens them, and the
// folder they are also looked for in.
#pragma once

#include <string>

namespace kx {

// The last component of a path: "f0001.ppm" for "shots/f0001.ppm".
std::string BaseName(const std::string& path);

// The name under which a file named by the scene is opened. Builds for
// fuzzing (KX_FUZZ_BUILD) keep every such file in the current folder (each
// "/" becomes "_"); other builds use the name as it is.
std::string ConfinedPath(const std::string& path);

// Where a file that the scene names (a texture map) is looked for: under its
// name as given, from the current folder, then, for a relative name that is
// not found so, in the folder of the scene file. The run owns one
// (Process::sceneFolder), sets it when it opens the scene and clears it at
// reset; every engine reaches it through its EngineContext.
struct SceneFolder {
    // "scenes" for "scenes/room.kx", "/" for "/room.kx"; "" for a scene in
    // the current folder or on standard input ("-").
    std::string path;

    // Takes the folder of the scene file's name.
    void setFromScene(const std::string& sceneFile);
    // The second name to try for a file the scene names, or "" when there is
    // none (an absolute name, an empty one, no folder or the current one).
    std::string alternative(const std::string& name) const;
    void reset() { path.clear(); }
};

}  // namespace kx
