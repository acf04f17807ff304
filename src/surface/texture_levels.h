// The reduced levels of a texture map, each texel the area average of the
// level-0 texels under it.
#pragma once

#include "surface/texture_map.h"

namespace kx {

// Builds levels 1 .. count-1 of a map whose level 0 is filled in; the count
// is the number of binary digits of min(width, height) of level 0.
void BuildTextureLevels(TextureMap& map);

}  // namespace kx
