#include "core/paths.h"

namespace kx {

std::string ConfinedPath(const std::string& path) {
#ifdef KX_FUZZ_BUILD
    std::string confined = path;
    for (char& c : confined)
        if (c == '/') c = '_';
    return confined;
#else
    return path;
#endif
}

}  // namespace kx
