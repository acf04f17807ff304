#include "engines/direct/polygon_stage.h"

#include <cmath>

#include "core/transform.h"
#include "engines/direct/clip.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/scan_convert.h"
#include "engines/direct/transform_stage.h"
#include "display/display.h"
#include "interface/frame_stats.h"

namespace kx {

namespace {

inline bool Finite4(const AttributeVertex& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && std::isfinite(v[3]);
}

// What every polygon submitted does first: counted, its face normal
// recorded and taken to world space. False when the frame is not drawn.
bool BeginPolygon(DirectPipeline& p, const FaceNormal& face) {
    DirectState& s = p.state;
    p.stats.countPolygon();
    s.polygonCount = 0;
    s.lastFace = face;
    if (!p.display.drawing) return false;  // a frame left out by the command line
    if (face.objectSpace) {
        HPoint r = HPoint(face.normal.x, face.normal.y, face.normal.z, 0) * p.transforms.Minv;
        s.shadingNormal = Vector3(r.x, r.y, r.z);
    } else {
        s.shadingNormal = face.normal;
    }
    return true;
}

// Draws clipped[0..clippedCount), in device coordinates.
void DrawClipped(DirectPipeline& p) {
    DirectState& s = p.state;
    const int m = s.clippedCount;
    if (s.wireframe) {
        for (int i = 1; i < m; ++i) DeviceLine(p, s.clipped[i - 1], s.clipped[i]);
        DeviceLine(p, s.clipped[m - 1], s.clipped[0]);
    } else {
        FillPolygon(p);
    }
}

inline bool FiniteOnScreen(const AttributeVertex& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void SubmitPolygon(DirectPipeline& p, const FaceNormal& face) {
    DirectState& s = p.state;
    int n = s.polygonCount;
    if (!BeginPolygon(p, face)) return;
    // A vertex at infinity or NaN has no place on the screen: the polygon
    // is dropped rather than let such values reach the scan converter.
    for (int i = 0; i < n; ++i)
        if (!Finite4(s.polygon[i])) return;
    ClipPolygon(s, n);
    int m = s.clippedCount;
    if (m == 0) return;
    for (int i = 0; i < m; ++i) {
        ProjectVertex(s, s.clipped[i]);
        if (!FiniteOnScreen(s.clipped[i])) return;
    }
    DrawClipped(p);
}

// Takes the vertex just written at polygon[polygonCount].
int AcceptVertex(DirectPipeline& p, bool last, const FaceNormal& face) {
    ++p.state.polygonCount;
    if (last) SubmitPolygon(p, face);
    return 0;
}

// A full buffer drops the vertex; the last vertex still ends the polygon.
int DropVertex(DirectPipeline& p, bool last, const FaceNormal& face) {
    if (last) SubmitPolygon(p, face);
    return 1;
}

}  // namespace

void TransformObjectVertex(DirectPipeline& p, AttributeVertex& v) {
    const VertexLayout& L = p.state.layout;
    if (L.hasNormal) TransformNormal(p.transforms, &v[L.normal]);
    if (L.hasTexture) ScaleTextureToTexels(p.maps, &v[L.texture]);
    TransformVertex(p.state, p.transforms, v);
}

int PolygonVertex(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face) {
    DirectState& s = p.state;
    if (s.polygonCount >= kMaxPolygonVertices) return DropVertex(p, last, face);
    AttributeVertex& t = s.polygon[s.polygonCount];
    t = v;
    TransformObjectVertex(p, t);
    return AcceptVertex(p, last, face);
}

int TransformedVertex(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face) {
    DirectState& s = p.state;
    if (s.polygonCount >= kMaxPolygonVertices) return DropVertex(p, last, face);
    s.polygon[s.polygonCount] = v;
    return AcceptVertex(p, last, face);
}

void ShareVertex(DirectPipeline& p, SharedVertex& v) {
    v.inside = Finite4(v.vertex) && InsideViewVolume(v.vertex);
    if (!v.inside) return;
    v.projected = v.vertex;
    ProjectVertex(p.state, v.projected);
    v.inside = FiniteOnScreen(v.projected);
}

void SharedPolygon(DirectPipeline& p, const SharedVertex* const* v, int n, const FaceNormal& face) {
    DirectState& s = p.state;
    bool inside = s.polygonCount == 0 && n >= 1 && n <= kMaxPolygonVertices;
    for (int i = 0; i < n && inside; ++i) inside = v[i]->inside;
    if (!inside) {
        for (int i = 0; i < n; ++i) TransformedVertex(p, v[i]->vertex, i == n - 1, face);
        return;
    }
    // SubmitPolygon's way for vertices that are all inside: the clipper
    // passes them unchanged, and each projects as it did alone.
    if (!BeginPolygon(p, face)) return;
    if (!s.wireframe) {
        const AttributeVertex* projected[kMaxPolygonVertices];
        for (int i = 0; i < n; ++i) projected[i] = &v[i]->projected;
        FillSurfacePolygon(p, projected, n);
        return;
    }
    for (int i = 0; i < n; ++i) s.clipped[i] = v[i]->projected;
    s.clippedCount = n;
    DrawClipped(p);
}

}  // namespace kx
