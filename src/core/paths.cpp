#include "core/paths.h"

#include "core/limits.h"

namespace kx {

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ConfinedPath(const std::string& path) {
    if (!kFuzzingBuild) return path;
    std::string confined = path;
    for (char& c : confined)
        if (c == '/') c = '_';
    return confined;
}

void SceneFolder::setFromScene(const std::string& sceneFile) {
    path.clear();
    if (sceneFile == "-") return;
    const size_t slash = sceneFile.rfind('/');
    if (slash != std::string::npos) path = slash == 0 ? "/" : sceneFile.substr(0, slash);
}

std::string SceneFolder::alternative(const std::string& name) const {
    if (path.empty() || path == "." || name.empty() || name[0] == '/') return std::string();
    return path == "/" ? path + name : path + "/" + name;
}

}  // namespace kx
