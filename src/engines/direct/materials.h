// The direct engine's four surface materials (matte, metal, plastic and
// painted plastic) as shader functions, and the lights they read gathered
// for a polygon. Their formulas: shading.h.
#pragma once

#include <vector>

#include "core/math.h"

namespace kx {

struct DirectState;
class Light;
class LightSet;
class MapList;

enum class Material { Matte, Metal, Plastic, PaintedPlastic };

// A surface material: computes the colour of the state's current fragment
// under the lights and texture maps the state is linked to.
using ShaderFunction = void (*)(const DirectState& s, ColorRGB& out);

void ShadeMatte(const DirectState& s, ColorRGB& out);
void ShadeMetal(const DirectState& s, ColorRGB& out);
void ShadePlastic(const DirectState& s, ColorRGB& out);
void ShadePaintedPlastic(const DirectState& s, ColorRGB& out);

// The material of a shader function, when it is one of the four.
inline bool MaterialOf(ShaderFunction f, Material& m) {
    if (f == ShadeMatte) m = Material::Matte;
    else if (f == ShadeMetal) m = Material::Metal;
    else if (f == ShadePlastic) m = Material::Plastic;
    else if (f == ShadePaintedPlastic) m = Material::PaintedPlastic;
    else return false;
    return true;
}

// A light of the light set with its kind found out.
struct ShadingLight {
    enum Kind { Point, Far, Other };
    const Light* light;
    Kind kind;
};

// What the materials read besides the fragment, gathered once per polygon
// so that the pixel loop reaches nothing outside and, for the point and far
// lights, calls nothing virtual.
struct ShadingLights {
    std::vector<ShadingLight> list;  // keeps its capacity from polygon to polygon
    ColorRGB ambient;
    const MapList* maps = nullptr;
    void gather(const LightSet& lights, const MapList& textureMaps);
};

}  // namespace kx
