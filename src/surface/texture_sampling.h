// The filtered lookup in a texture map used by the "painted plastic"
// material.
#pragma once

#include "core/math.h"
#include "surface/texture_map.h"

namespace kx {

enum class MapBorderMode { None = 0, Clamp = 1, Repeat = 2 };
enum class MapFilter { Nearest = 0, Linear = 1 };

// How a map is looked up: the filter, the border of each axis and the
// level limit (option "MaxTextureLevel", -1 for none).
struct TextureSampling {
    MapBorderMode uBorder = MapBorderMode::Clamp, vBorder = MapBorderMode::Clamp;
    MapFilter filter = MapFilter::Nearest;
    int maxLevel = -1;
};

// Lookup in a map: u, v in level-0 texel units, derivatives in texels per
// pixel (the level is chosen from the largest). Components 0..1; texels
// outside a "none" border, and every lookup in a map without levels, show
// currentColor. Any float is accepted (NaN and infinities included).
ColorRGB SampleTexture(const TextureMap& map, const TextureSampling& sampling, float u, float v, float dudx,
                       float dudy, float dvdx, float dvdy, const ColorRGB& currentColor);

}  // namespace kx
