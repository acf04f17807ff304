// The four surface materials of the direct engine, evaluated per pixel at
// the fragment's world position.
#include <cmath>

#include "core/lights.h"
#include "direct/direct_state.h"
#include "direct/texture.h"

namespace kx {

namespace {

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

// The diffuse sum D(N) and, when wanted, the specular sum S(N, V).
template <bool kDiffuse, bool kSpecular>
inline void LightSums(const DirectState& s, const Geometry& g, ColorRGB& D, ColorRGB& S) {
    Vector3 R;
    if (kSpecular) R = reflect(g.V, g.N);
    for (const auto& light : lightSet().lights) {
        Vector3 L = light->vectorTo(g.P);
        normalize(L);
        float d = static_cast<float>(dot(L, g.N));
        if (!(d >= 0)) continue;
        float a = light->attenuation(g.P);
        if (kDiffuse) D += light->color * (a * d);
        if (kSpecular) {
            float sp = clamp(0, static_cast<float>(dot(L, R)), 1);
            S += light->color * (a * static_cast<float>(std::pow(static_cast<double>(sp), s.specularExponent)));
        }
    }
}

inline ColorRGB Ambient(const DirectState& s) { return s.ka * lightSet().ambient.color; }

}  // namespace

void ShadeMatte(const DirectState& s, ColorRGB& out) {
    Geometry g = SurfaceGeometry(s, true, false);
    ColorRGB D, S;
    LightSums<true, false>(s, g, D, S);
    out = BaseColor(s) * (Ambient(s) + s.kd * D);
}

void ShadeMetal(const DirectState& s, ColorRGB& out) {
    Geometry g = SurfaceGeometry(s, true, true);
    ColorRGB D, S;
    LightSums<false, true>(s, g, D, S);
    out = BaseColor(s) * (Ambient(s) + s.ks * S);
}

void ShadePlastic(const DirectState& s, ColorRGB& out) {
    Geometry g = SurfaceGeometry(s, true, true);
    ColorRGB D, S;
    LightSums<true, true>(s, g, D, S);
    out = BaseColor(s) * (Ambient(s) + s.kd * D) + (s.ks * s.specularColor) * S;
}

void ShadePaintedPlastic(const DirectState& s, ColorRGB& out) {
    Geometry g = SurfaceGeometry(s, false, true);
    ColorRGB D, S;
    LightSums<true, true>(s, g, D, S);
    ColorRGB T;
    const MapList& maps = mapList();
    if (!maps.current()) {
        T = BaseColor(s);
    } else if (!s.layout.hasTexture) {
        T = s.color;
    } else {
        const float* uv = &s.fragment.v[s.layout.texture];
        T = maps.lookup(uv[0], uv[1], s.dudx, s.dudy, s.dvdx, s.dvdy, s.color);
    }
    out = T * (Ambient(s) + s.kd * D) + (s.ks * s.specularColor) * S;
}

}  // namespace kx
