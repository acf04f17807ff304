#include "core/paths.h"

#include "core/limits.h"

namespace kx {

std::string ConfinedPath(const std::string& path) {
    if (!kFuzzingBuild) return path;
    std::string confined = path;
    for (char& c : confined)
        if (c == '/') c = '_';
    return confined;
}

}  // namespace kx
