// The four surface materials of the direct engine, evaluated per pixel at
// the fragment's world position (the formulas: shading.h).
#include "engines/direct/materials.h"

#include <typeinfo>

#include "engines/direct/shading.h"

namespace kx {

void ShadingLights::gather(const LightSet& lights, const MapList& textureMaps) {
    list.clear();
    for (const auto& l : lights.lights) {
        const Light* p = l.get();
        // Both kinds are final: their type names them exactly, for less
        // than a cast's walk of the hierarchy (this runs for each polygon).
        const std::type_info& type = typeid(*p);
        ShadingLight::Kind kind = ShadingLight::Other;
        if (type == typeid(PointLight))
            kind = ShadingLight::Point;
        else if (type == typeid(FarLight))
            kind = ShadingLight::Far;
        list.push_back({p, kind});
    }
    ambient = lights.ambient.color;
    maps = &textureMaps;
}

namespace {

// The lights and maps the state is linked to (DirectState::link).
template <Material M>
void ShadeFromLightSet(const DirectState& s, ColorRGB& out) {
    const LightSet& lights = *s.lights;
    shading::Shade<M>(s, lights.lights, lights.ambient.color, *s.maps, out);
}

}  // namespace

void ShadeMatte(const DirectState& s, ColorRGB& out) { ShadeFromLightSet<Material::Matte>(s, out); }
void ShadeMetal(const DirectState& s, ColorRGB& out) { ShadeFromLightSet<Material::Metal>(s, out); }
void ShadePlastic(const DirectState& s, ColorRGB& out) { ShadeFromLightSet<Material::Plastic>(s, out); }
void ShadePaintedPlastic(const DirectState& s, ColorRGB& out) {
    ShadeFromLightSet<Material::PaintedPlastic>(s, out);
}

}  // namespace kx
