// The surface shaders of the ray tracer (declared in surface.h): matte,
// metal, plastic and painted plastic, each summing the lights that reach the
// hit unshadowed.
#include <cmath>

#include "core/lights.h"
#include "engines/raytrace/surface.h"
#include "engines/raytrace/tracer.h"

namespace kx::raytrace {

namespace {

// The surface's colour at a hit: blended from its vertex colours when it has
// them, its own colour otherwise.
inline const ColorRGB& BaseColor(const SurfaceAttributes& attr, const HitRecord& hit) {
    return hit.colored ? hit.color : attr.color;
}

// The contribution of one light to the diffuse and specular sums. R is the
// mirror direction for the specular term (null when it is not wanted);
// metal tests the facing of the light with the unnormalized direction.
inline void AddLight(const TraceContext& context, const Light& light, const HitRecord& hit, const Vector3* R,
                     float exponent, bool metalTest, ColorRGB* diffuse, ColorRGB* highlight) {
    const Vector3& N = hit.normal;
    Vector3 D = light.directionTo(hit.point);
    Vector3 L = normalized(D);
    float nl = static_cast<float>(dot(N, L));
    float facing = metalTest ? static_cast<float>(dot(N, D)) : nl;
    if (!(facing >= 0)) return;
    const float passing = LightPassing(context, light, hit.point);
    if (passing == 0) return;
    float a = light.attenuation(hit.point);
    if (passing != 1) a *= passing;
    if (diffuse) *diffuse += light.color * (a * nl);
    if (highlight) {
        float s = static_cast<float>(
            std::pow(static_cast<double>(clamp(0, static_cast<float>(dot(*R, L)), 1)), static_cast<double>(exponent)));
        *highlight += light.color * (a * s);
    }
}

}  // namespace

void MatteShader(const TraceContext& context, const Vector3&, const SurfaceAttributes& attr, const HitRecord& hit,
                 ColorRGB& out) {
    const LightSet& lights = context.lights;
    ColorRGB diffuse;
    for (const auto& light : lights.lights) AddLight(context, *light, hit, nullptr, 0, false, &diffuse, nullptr);
    out = BaseColor(attr, hit) * (attr.ka * lights.ambient.color + attr.kd * diffuse);
}

void MetalShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attr,
                 const HitRecord& hit, ColorRGB& out) {
    const LightSet& lights = context.lights;
    Vector3 R = reflect(incoming, hit.normal);
    ColorRGB highlight;
    for (const auto& light : lights.lights)
        AddLight(context, *light, hit, &R, attr.specularExponent, true, nullptr, &highlight);
    out = BaseColor(attr, hit) * (attr.ka * lights.ambient.color + attr.ks * highlight);
}

namespace {

// Plastic of the base colour C.
inline void Plastic(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attr,
                    const ColorRGB& C, const HitRecord& hit, ColorRGB& out) {
    const LightSet& lights = context.lights;
    Vector3 R = reflect(incoming, hit.normal);
    ColorRGB diffuse, highlight;
    for (const auto& light : lights.lights)
        AddLight(context, *light, hit, &R, attr.specularExponent, false, &diffuse, &highlight);
    out = C * (attr.ka * lights.ambient.color + attr.kd * diffuse) + attr.specularColor * (attr.ks * highlight);
}

}  // namespace

void PlasticShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attr,
                   const HitRecord& hit, ColorRGB& out) {
    Plastic(context, incoming, attr, BaseColor(attr, hit), hit, out);
}

// The ray tracer has no footprint of a ray on the surface, so the lookup
// uses level 0 of the map (all derivatives zero).
void PaintedPlasticShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attr,
                          const HitRecord& hit, ColorRGB& out) {
    if (!attr.map) {
        Plastic(context, incoming, attr, BaseColor(attr, hit), hit, out);
        return;
    }
    // A map without texture coordinates paints the current colour.
    if (!hit.textured) {
        Plastic(context, incoming, attr, attr.color, hit, out);
        return;
    }
    Plastic(context, incoming, attr, SampleTexture(*attr.map, attr.sampling, hit.u, hit.v, 0, 0, 0, 0, attr.color), hit,
            out);
}

// Lit by nothing: what the lights and shadows give the material, and the
// light the surface gives off on top. It lights no other surface.
void EmittingShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attr,
                    const HitRecord& hit, ColorRGB& out) {
    attr.lit(context, incoming, attr, hit, out);
    out += attr.emission;
}

}  // namespace kx::raytrace
