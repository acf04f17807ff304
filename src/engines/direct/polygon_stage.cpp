#include "engines/direct/polygon_stage.h"

#include <cmath>

#include "core/transform.h"
#include "engines/direct/clip.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/scan_convert.h"
#include "engines/direct/transform_stage.h"
#include "display/display.h"

namespace kx {

namespace {

inline bool Finite4(const AttributeVertex& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && std::isfinite(v[3]);
}

void SubmitPolygon(DirectState& s) {
    frameStats().countPolygon();
    int n = s.polygonCount;
    s.polygonCount = 0;
    if (!displayState().drawing) return;  // a frame left out by the command line
    if (s.face.objectSpace) {
        HPoint r = HPoint(s.face.normal.x, s.face.normal.y, s.face.normal.z, 0) * transforms().Minv;
        s.shadingNormal = Vector3(r.x, r.y, r.z);
    } else {
        s.shadingNormal = s.face.normal;
    }
    // A vertex at infinity or NaN has no place on the screen: the polygon
    // is dropped rather than let such values reach the scan converter.
    for (int i = 0; i < n; ++i)
        if (!Finite4(s.polygon[i])) return;
    ClipPolygon(s, n);
    int m = s.clippedCount;
    if (m == 0) return;
    for (int i = 0; i < m; ++i) {
        ProjectVertex(s, s.clipped[i]);
        const AttributeVertex& v = s.clipped[i];
        if (!(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]))) return;
    }
    if (s.wireframe) {
        for (int i = 1; i < m; ++i) DeviceLine(s.clipped[i - 1], s.clipped[i]);
        DeviceLine(s.clipped[m - 1], s.clipped[0]);
    } else {
        FillPolygon(s);
    }
}

// Takes the vertex just written at polygon[polygonCount].
int AcceptVertex(DirectState& s, bool last) {
    ++s.polygonCount;
    if (last) SubmitPolygon(s);
    return 0;
}

// A full buffer drops the vertex; the last vertex still ends the polygon.
int DropVertex(DirectState& s, bool last) {
    if (last) SubmitPolygon(s);
    return 1;
}

}  // namespace

int PolygonVertex(const AttributeVertex& v, bool last) {
    DirectState& s = directState();
    if (s.polygonCount >= kMaxPolygonVertices) return DropVertex(s, last);
    AttributeVertex& t = s.polygon[s.polygonCount];
    t = v;
    const VertexLayout& L = s.layout;
    if (L.hasNormal) TransformNormal(&t[L.normal]);
    if (L.hasTexture) ScaleTextureToTexels(&t[L.texture]);
    TransformVertex(t);
    return AcceptVertex(s, last);
}

int TransformedVertex(const AttributeVertex& v, bool last) {
    DirectState& s = directState();
    if (s.polygonCount >= kMaxPolygonVertices) return DropVertex(s, last);
    s.polygon[s.polygonCount] = v;
    return AcceptVertex(s, last);
}

}  // namespace kx
