// Surface description shared by the ray-traced objects and the ray tracer:
// the attributes every object copies at creation, the record of one hit and
// the local shading functions.
#pragma once

#include "core/math.h"
#include "surface/texture.h"

namespace kx::raytrace {

// One ray-surface intersection, in world space.
struct HitRecord {
    double t = 0;
    Point3 point;
    Vector3 normal;  // not necessarily unit length until the tracer normalizes it
    // Texture coordinates in level-0 texel units of the object's map, when
    // the surface has them (textured).
    float u = 0, v = 0;
    bool textured = false;
    // The colour blended from the surface's vertex colours, when it has
    // them (colored).
    ColorRGB color;
    bool colored = false;
    // The opacity blended from the surface's vertex O values, in 0..1 (1
    // for a surface without them).
    float opacity = 1;
};

struct SurfaceAttributes;
struct TraceContext;

// Writes the local colour of a hit seen along the incoming direction, lit by
// the lights of the scene the context traces.
using SurfaceShader = void (*)(const TraceContext& context, const Vector3& incoming,
                               const SurfaceAttributes& attributes, const HitRecord& hit, ColorRGB& out);

void MatteShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attributes,
                 const HitRecord& hit, ColorRGB& out);
void MetalShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attributes,
                 const HitRecord& hit, ColorRGB& out);
void PlasticShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attributes,
                   const HitRecord& hit, ColorRGB& out);
// Plastic whose colour comes from the texture map at the hit's texture
// coordinates; without a map or coordinates, plain plastic.
void PaintedPlasticShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attributes,
                          const HitRecord& hit, ColorRGB& out);
// The material of a surface that gives off light (attributes.lit), and
// that light (attributes.emission) added: it stands in for the material of
// such surfaces only, so that the others are shaded without a look at it.
void EmittingShader(const TraceContext& context, const Vector3& incoming, const SurfaceAttributes& attributes,
                    const HitRecord& hit, ColorRGB& out);

struct SurfaceAttributes {
    float ka = 1.0f;
    float kd = 0.0f;
    float ks = 0.0f;
    ColorRGB color{1, 1, 1};
    ColorRGB specularColor{1, 1, 1};
    float specularExponent = 10.0f;
    SurfaceShader shader = MatteShader;
    float opacity = 1.0f;  // Opacity, in 0..1: below 1 the surface lets light through
    // For a surface that gives off light (Emit, Ke), set when the object is
    // made: its material, while shader is EmittingShader, and the light.
    SurfaceShader lit = nullptr;
    ColorRGB emission;
    // The texture map current when the object was made (owned by the
    // engine's map list), and how it is looked up.
    const TextureMap* map = nullptr;
    TextureSampling sampling;
};

}  // namespace kx::raytrace
