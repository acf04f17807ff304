#include "engines/direct/transform_stage.h"

#include "core/transform.h"
#include "engines/direct/direct_state.h"
#include "surface/texture.h"

namespace kx {

void TransformVertex(const DirectState& s, const TransformState& xf, AttributeVertex& v) {
    HPoint world = xf.M * HPoint(v[0], v[1], v[2], v[3]);
    if (s.layout.position >= 0) {
        v[s.layout.position] = world.x;
        v[s.layout.position + 1] = world.y;
        v[s.layout.position + 2] = world.z;
    }
    HPoint screen = s.worldToScreen * world;
    v[0] = screen.x;
    v[1] = screen.y;
    v[2] = screen.z;
    v[3] = screen.w;
    v[4] = 1;
}

void TransformNormal(const TransformState& xf, float* n) {
    HPoint r = HPoint(n[0], n[1], n[2], 0) * xf.Minv;
    n[0] = r.x;
    n[1] = r.y;
    n[2] = r.z;
}

void ScaleTextureToTexels(const MapList& maps, float* uv) {
    const TextureMap* map = maps.current();
    if (!map || map->levels.empty()) return;
    uv[0] *= static_cast<float>(map->levels[0].width);
    uv[1] *= static_cast<float>(map->levels[0].height);
}

void BoundTextureCoords(const MapList& maps, float a, float b, float* uv) {
    uv[0] = a * maps.du + maps.umin;
    uv[1] = b * maps.dv + maps.vmin;
}

void ProjectVertex(const DirectState& s, AttributeVertex& v) {
    float w = v[3];
    HPoint d = s.screenToDevice * HPoint(v[0], v[1], v[2], w);
    v[0] = d.x / w;
    v[1] = d.y / w;
    v[2] = v[2] / w;
    for (int i = 4; i < s.layout.count; ++i) v[i] = v[i] / w;
}

}  // namespace kx
