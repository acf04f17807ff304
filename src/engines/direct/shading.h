// The four surface materials, written once for two callers: the shader
// functions of materials.h, which walk the light set through its virtual
// calls, and the span filler, which looks the lights up once per polygon
// (ShadingLights) and inlines the material into its pixel loop. Both give
// the same colour bit for bit: the known light kinds are evaluated by the
// very same member functions, only called without the virtual dispatch.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "core/lights.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/materials.h"
#include "surface/texture.h"

namespace kx {

namespace shading {

// ---- the two ways to a light's vector and attenuation ----

inline const Light& LightOf(const std::unique_ptr<Light>& l) { return *l; }
inline Vector3 VectorTo(const std::unique_ptr<Light>& l, const Point3& p) { return l->vectorTo(p); }
inline float Attenuation(const std::unique_ptr<Light>& l, const Point3& p) { return l->attenuation(p); }

inline const Light& LightOf(const ShadingLight& l) { return *l.light; }
inline Vector3 VectorTo(const ShadingLight& l, const Point3& p) {
    switch (l.kind) {
        case ShadingLight::Point: return static_cast<const kx::PointLight*>(l.light)->kx::PointLight::vectorTo(p);
        case ShadingLight::Far: return static_cast<const kx::FarLight*>(l.light)->kx::FarLight::vectorTo(p);
        default: return l.light->vectorTo(p);
    }
}
inline float Attenuation(const ShadingLight& l, const Point3& p) {
    switch (l.kind) {
        case ShadingLight::Point: return static_cast<const kx::PointLight*>(l.light)->kx::PointLight::attenuation(p);
        case ShadingLight::Far: return static_cast<const kx::FarLight*>(l.light)->kx::FarLight::attenuation(p);
        default: return l.light->attenuation(p);
    }
}

// Base colour: the interpolated vertex colour, or the current colour.
inline ColorRGB BaseColor(const DirectState& s) {
    if (s.interpolate && s.layout.hasColor) {
        const float* c = &s.fragment.v[s.layout.color];
        return {c[0], c[1], c[2]};
    }
    return s.color;
}

struct Geometry {
    Point3 P;   // world position
    Vector3 N;  // unit normal
    Vector3 V;  // from the eye to P; unit length when asked for
};

inline Geometry SurfaceGeometry(const DirectState& s, bool flipBackFaces, bool unitView) {
    Geometry g;
    const VertexLayout& L = s.layout;
    if (s.interpolate && L.hasNormal) {
        const float* n = &s.fragment.v[L.normal];
        g.N = Vector3(n[0], n[1], n[2]);
    } else {
        g.N = s.shadingNormal;
    }
    if (L.position >= 0) {
        const float* p = &s.fragment.v[L.position];
        g.P = Point3(p[0], p[1], p[2]);
    }
    g.V = g.P - s.eye;
    if (flipBackFaces && s.doubleSided && dot(g.V, g.N) > 0) g.N = -g.N;
    normalize(g.N);
    if (unitView) normalize(g.V);
    return g;
}

// sp^n as a power in double precision. pow(+0, n) is +0 for every n > 0,
// which spares the call on the unlit half of a highlight.
inline float SpecularPower(float sp, int n) {
    if (sp == 0 && !std::signbit(sp) && n > 0) return 0.0f;
    return static_cast<float>(std::pow(static_cast<double>(sp), n));
}

// One light's share of the diffuse sum D and the specular sum S at P, for
// the unit normal N and the reflected view R: nothing when the light falls
// behind N.
template <bool kDiffuse, bool kSpecular, class Entry>
inline void LightTerm(const Entry& entry, const Point3& P, const Vector3& N, const Vector3& R, int exponent,
                      ColorRGB& D, ColorRGB& S) {
    Vector3 L = VectorTo(entry, P);
    normalize(L);
    float d = static_cast<float>(dot(L, N));
    if (!(d >= 0)) return;
    const Light& light = LightOf(entry);
    float a = Attenuation(entry, P);
    if (kDiffuse) D += light.color * (a * d);
    if (kSpecular) {
        float sp = clamp(0, static_cast<float>(dot(L, R)), 1);
        S += light.color * (a * SpecularPower(sp, exponent));
    }
}

// The diffuse sum D(N) and, when wanted, the specular sum S(N, V).
template <bool kDiffuse, bool kSpecular, class Lights>
inline void LightSums(const DirectState& s, const Geometry& g, const Lights& lights, ColorRGB& D, ColorRGB& S) {
    Vector3 R;
    if (kSpecular) R = reflect(g.V, g.N);
    for (const auto& entry : lights) LightTerm<kDiffuse, kSpecular>(entry, g.P, g.N, R, s.specularExponent, D, S);
}

// The colour of the current fragment under material M; lights is a list of
// the light set's entries or of ShadingLight records.
template <Material M, class Lights>
inline void Shade(const DirectState& s, const Lights& lights, const ColorRGB& ambientLight, const MapList& maps,
                  ColorRGB& out) {
    const ColorRGB ambient = s.ka * ambientLight;
    ColorRGB D, S;
    if constexpr (M == Material::Matte) {
        Geometry g = SurfaceGeometry(s, true, false);
        LightSums<true, false>(s, g, lights, D, S);
        out = BaseColor(s) * (ambient + s.kd * D);
    } else if constexpr (M == Material::Metal) {
        Geometry g = SurfaceGeometry(s, true, true);
        LightSums<false, true>(s, g, lights, D, S);
        out = BaseColor(s) * (ambient + s.ks * S);
    } else if constexpr (M == Material::Plastic) {
        Geometry g = SurfaceGeometry(s, true, true);
        LightSums<true, true>(s, g, lights, D, S);
        out = BaseColor(s) * (ambient + s.kd * D) + (s.ks * s.specularColor) * S;
    } else {
        Geometry g = SurfaceGeometry(s, false, true);
        LightSums<true, true>(s, g, lights, D, S);
        ColorRGB T;
        if (!maps.current()) {
            T = BaseColor(s);
        } else if (!s.layout.hasTexture) {
            T = s.color;
        } else {
            const float* uv = &s.fragment.v[s.layout.texture];
            T = maps.lookup(uv[0], uv[1], s.dudx, s.dudy, s.dvdx, s.dvdy, s.color);
        }
        out = T * (ambient + s.kd * D) + (s.ks * s.specularColor) * S;
    }
}

}  // namespace shading

}  // namespace kx
