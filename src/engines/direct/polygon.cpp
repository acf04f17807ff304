// The polygon pipeline: vertex layouts, vertex transforms, homogeneous
// clipping, projection and scan conversion with the depth test.
#include <cmath>
#include <cstdint>

#include "core/errors.h"
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/raster.h"
#include "engines/direct/shading.h"
#include "surface/texture.h"
#include "display/display.h"

namespace kx {

// ---------------------------------------------------------------- layouts

void VertexLayout::append(VertexAttribute a, bool pipeline) {
    int n = 0;
    bool* flag = nullptr;
    int* offset = nullptr;
    switch (a) {
        case VertexAttribute::Position: n = 3, flag = &hasPosition, offset = &position; break;
        case VertexAttribute::Color: n = 3, flag = &hasColor, offset = &color; break;
        case VertexAttribute::Normal: n = 3, flag = &hasNormal, offset = &normal; break;
        case VertexAttribute::Texture: n = pipeline ? 4 : 2, flag = &hasTexture, offset = &texture; break;
        case VertexAttribute::Weight: n = 1, flag = &hasWeight, offset = &weight; break;
        case VertexAttribute::Opacity: n = 1, flag = &hasOpacity, offset = &opacity; break;
    }
    if (pipeline && count + n > kVertexFloats - kFixedFloats) return;
    *flag = true;
    *offset = count;
    count += n;
}

void VertexLayout::finalize() {
    for (int* o : {&position, &color, &normal, &texture, &weight, &opacity})
        if (*o >= 0) *o += kFixedFloats;
    count += kFixedFloats;
}

int VertexLayout::parse(const std::string& vertexType, bool pipeline) {
    reset();
    for (char ch : vertexType) {
        VertexAttribute a;
        switch (ch) {
            case 'P': a = VertexAttribute::Position; break;
            case 'C': a = VertexAttribute::Color; break;
            case 'N':
            case 'D': a = VertexAttribute::Normal; break;
            case 'T': a = VertexAttribute::Texture; break;
            case 'w': a = VertexAttribute::Weight; break;
            case 'O': a = VertexAttribute::Opacity; break;
            case '"': continue;
            default: return kErrVertexType;
        }
        int before = count;
        append(a, pipeline);
        if (count == before) return kErrVertexType;  // does not fit in a pipeline vertex
    }
    return 0;
}

int BuildLayouts(const std::string& vertexType, VertexLayout& input, VertexLayout& pipeline, bool plainCopy) {
    int status = input.parse(vertexType, false);
    if (status != 0) return status;
    if (!input.hasPosition) return kErrVertexType;
    if (plainCopy) {
        if (input.count > kVertexFloats - kFixedFloats) return kErrVertexType;
        pipeline = input;
    } else {
        status = pipeline.parse(vertexType, true);
        if (status != 0) return status;
    }
    pipeline.finalize();
    return 0;
}

// ---------------------------------------------------------------- transforms

void TransformVertex(AttributeVertex& v) {
    const DirectState& s = directState();
    HPoint world = transforms().M * HPoint(v[0], v[1], v[2], v[3]);
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

void TransformNormal(float* n) {
    HPoint r = HPoint(n[0], n[1], n[2], 0) * transforms().Minv;
    n[0] = r.x;
    n[1] = r.y;
    n[2] = r.z;
}

void ScaleTextureToTexels(float* uv) {
    const TextureMap* map = mapList().current();
    if (!map || map->levels.empty()) return;
    uv[0] *= static_cast<float>(map->levels[0].width);
    uv[1] *= static_cast<float>(map->levels[0].height);
}

void BoundTextureCoords(float a, float b, float* uv) {
    const MapList& maps = mapList();
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

// ---------------------------------------------------------------- clipping

namespace {

// Inside value of plane k (inside when >= 0).
inline float PlaneValue(int k, const AttributeVertex& v) {
    switch (k) {
        case 0: return v[0];
        case 1: return v[3] - v[0];
        case 2: return v[1];
        case 3: return v[3] - v[1];
        case 4: return v[2];
        default: return v[3] - v[2];
    }
}

// Bit k set when the vertex is outside plane k.
inline int Outcode(const AttributeVertex& v) {
    int code = 0;
    for (int k = 0; k < 6; ++k)
        if (!(PlaneValue(k, v) >= 0)) code |= 1 << k;
    return code;
}

class Clipper {
public:
    explicit Clipper(DirectState& s) : s_(s), count_(s.layout.count) {
        for (ClipPlane& p : s_.planes) p.seen = false;
        s_.clippedCount = 0;
    }

    void vertex(int k, const AttributeVertex& v) {
        if (k == 6) {
            if (s_.clippedCount < kMaxPolygonVertices) copy(s_.clipped[s_.clippedCount++], v);
            return;
        }
        ClipPlane& p = s_.planes[k];
        float dv = PlaneValue(k, v);
        if (!p.seen) {
            copy(p.first, v);
            p.seen = true;
        } else {
            crossing(k, p.last, v);
        }
        copy(p.last, v);
        if (dv >= 0) vertex(k + 1, v);
    }

    void close() {
        for (int k = 0; k < 6; ++k) {
            ClipPlane& p = s_.planes[k];
            if (p.seen) crossing(k, p.last, p.first);
        }
    }

private:
    // Passes on the intersection when the edge a-b crosses plane k. The
    // intersection is always computed from the inside end, so a shared edge
    // gives the same point from either polygon.
    void crossing(int k, const AttributeVertex& a, const AttributeVertex& b) {
        float da = PlaneValue(k, a), db = PlaneValue(k, b);
        bool ina = da >= 0, inb = db >= 0;
        if (ina == inb) return;
        const AttributeVertex& in = ina ? a : b;
        const AttributeVertex& out = ina ? b : a;
        float din = ina ? da : db, dout = ina ? db : da;
        float t = din / (din - dout);
        AttributeVertex x;
        for (int i = 0; i < count_; ++i) x[i] = in[i] + (out[i] - in[i]) * t;
        vertex(k + 1, x);
    }
    void copy(AttributeVertex& to, const AttributeVertex& from) const {
        for (int i = 0; i < count_; ++i) to[i] = from[i];
    }

    DirectState& s_;
    int count_;
};

// Clips polygon[0..n) into clipped[].
void ClipPolygon(DirectState& s, int n) {
    int all = 0, common = 0x3f;
    for (int i = 0; i < n; ++i) {
        int code = Outcode(s.polygon[i]);
        all |= code;
        common &= code;
    }
    if (common != 0) {  // every vertex outside one plane
        s.clippedCount = 0;
        return;
    }
    if (all == 0) {  // every vertex inside: the clipper would pass them unchanged
        for (int i = 0; i < n; ++i) s.clipped[i] = s.polygon[i];
        s.clippedCount = n;
        return;
    }
    Clipper c(s);
    for (int i = 0; i < n; ++i) c.vertex(0, s.polygon[i]);
    c.close();
}

// ---------------------------------------------------------------- scan conversion

// ceil(v) as a row or column index limited to 0..limit; NaN gives 0.
inline int CeilIndex(float v, int limit) {
    float c = std::ceil(v);
    if (!(c > 0)) return 0;
    if (c >= static_cast<float>(limit)) return limit;
    return static_cast<int>(c);
}

// Inserts edge e into a list kept sorted by x: before the first record whose
// x is greater than or equal to its own.
inline void InsertEdge(EdgeRecord* edges, int& head, int e) {
    int* link = &head;
    float x = edges[e].cur[0];
    while (*link != -1 && edges[*link].cur[0] < x) link = &edges[*link].next;
    edges[e].next = *link;
    *link = e;
}

// How the span filler shades a pixel: a known material inlined, with the
// lights looked up for the polygon, or the current shader function.
template <Material M>
struct MaterialShader {
    const ShadingLights& lights;
    void operator()(const DirectState& s, ColorRGB& out) const {
        shading::Shade<M>(s, lights.list, lights.ambient, *lights.maps, out);
    }
};
struct FunctionShader {
    ShaderFunction f;
    void operator()(const DirectState& s, ColorRGB& out) const { f(s, out); }
};

// The pixels of row y between two active edges. kCount is the layout's
// float count when known at compile time, else 0.
template <int kCount, class Shader>
void FillSpan(DirectState& s, DisplayDevice& dev, const Shader& shade, EdgeRecord& e1, EdgeRecord& e2, int y,
              uint64_t& shaded) {
    int xs = CeilIndex(e1.cur[0], s.width), xe = CeilIndex(e2.cur[0], s.width);
    if (xs >= xe || y < 0 || y >= s.height) return;
    const VertexLayout& L = s.layout;
    const int count = kCount > 0 ? kCount : L.count;
    float dx = e2.cur[0] - e1.cur[0];
    float d[kVertexFloats];
    for (int i = 0; i < count; ++i) d[i] = (e2.cur[i] - e1.cur[i]) / dx;
    const int t = L.texture;
    if (L.hasTexture) {
        for (EdgeRecord* e : {&e1, &e2}) {
            e->cur[t + 2] = e->inc[t] - e->inc[0] * d[t];
            e->cur[t + 3] = e->inc[t + 1] - e->inc[0] * d[t + 1];
        }
        d[t + 2] = (e2.cur[t + 2] - e1.cur[t + 2]) / dx;
        d[t + 3] = (e2.cur[t + 3] - e1.cur[t + 3]) / dx;
    }
    float v[kVertexFloats];
    float offset = static_cast<float>(xs) - e1.cur[0];
    for (int i = 0; i < count; ++i) v[i] = e1.cur[i] + d[i] * offset;
    AttributeVertex& frag = s.fragment;
    // 0 <= xs < xe <= width and 0 <= y < height: no pixel test needed.
    float* depthRow = s.depth.data() + static_cast<size_t>(y) * static_cast<size_t>(s.width);
    for (int x = xs; x < xe; ++x) {
        if (depthRow[x] > v[2]) {
            for (int i = kFixedFloats; i < count; ++i) frag[i] = v[i] / v[4];
            if (L.hasTexture) {
                s.dudx = d[t] / v[4];
                s.dvdx = d[t + 1] / v[4];
                s.dudy = frag[t + 2];
                s.dvdy = frag[t + 3];
            }
            ColorRGB c;
            shade(s, c);
            ++shaded;
            depthRow[x] = v[2];
            dev.WritePixel(x, y, ClampColor(c));
        }
        for (int i = 0; i < count; ++i) v[i] += d[i];
    }
}

template <int kCount, class Shader>
void ScanPolygon(DirectState& s, const Shader& shade) {
    const int n = s.clippedCount;
    const int count = kCount > 0 ? kCount : s.layout.count;
    EdgeRecord* edges = s.edges;
    int ymin = s.height, ymax = 0, made = 0;
    for (int i = 0; i < n; ++i) {
        const AttributeVertex& prev = s.clipped[i == 0 ? n - 1 : i - 1];
        const AttributeVertex& cur = s.clipped[i];
        int rowPrev = CeilIndex(prev[1], s.height), rowCur = CeilIndex(cur[1], s.height);
        if (rowPrev == rowCur) continue;
        bool curLower = cur[1] <= prev[1];
        const AttributeVertex& lo = curLower ? cur : prev;
        const AttributeVertex& up = curLower ? prev : cur;
        int row = curLower ? rowCur : rowPrev;
        EdgeRecord& e = edges[made];
        float dy = up[1] - lo[1];
        float offset = static_cast<float>(row) - lo[1];
        for (int k = 0; k < count; ++k) {
            e.inc[k] = (up[k] - lo[k]) / dy;
            e.cur[k] = lo[k] + e.inc[k] * offset;
        }
        e.last = (curLower ? rowPrev : rowCur) - 1;
        InsertEdge(edges, s.spanTable[row], made);
        if (row < ymin) ymin = row;
        if (e.last > ymax) ymax = e.last;
        ++made;
    }
    if (made == 0) return;
    DisplayDevice& dev = displayState().dev();
    uint64_t shaded = 0;
    ymax += 1;
    int active = -1;
    for (int y = ymin; y < ymax; ++y) {
        for (int e = s.spanTable[y]; e != -1;) {
            int next = edges[e].next;
            InsertEdge(edges, active, e);
            e = next;
        }
        s.spanTable[y] = -1;
        if (active == -1) continue;
        for (int e = active; e != -1 && edges[e].next != -1; e = edges[edges[e].next].next)
            FillSpan<kCount>(s, dev, shade, edges[e], edges[edges[e].next], y, shaded);
        for (int* link = &active; *link != -1;) {
            EdgeRecord& e = edges[*link];
            if (e.last <= y) {
                *link = e.next;
            } else {
                for (int k = 0; k < count; ++k) e.cur[k] += e.inc[k];
                link = &e.next;
            }
        }
        int list = active;
        active = -1;
        while (list != -1) {
            int next = edges[list].next;
            InsertEdge(edges, active, list);
            list = next;
        }
    }
    if (frameStats().enabled) frameStats().pixels += shaded;
}

// The float counts of the common layouts: position only (8), position and
// normal (11), with texture coordinates (15).
template <class Shader>
void ScanPolygonOfLayout(DirectState& s, const Shader& shade) {
    switch (s.layout.count) {
        case 8: ScanPolygon<8>(s, shade); break;
        case 11: ScanPolygon<11>(s, shade); break;
        case 15: ScanPolygon<15>(s, shade); break;
        default: ScanPolygon<0>(s, shade); break;
    }
}

void FillPolygon(DirectState& s) {
    Material m;
    if (!MaterialOf(s.shader, m)) {
        ScanPolygonOfLayout(s, FunctionShader{s.shader});
        return;
    }
    s.shadingLights.gather();
    switch (m) {
        case Material::Matte: ScanPolygonOfLayout(s, MaterialShader<Material::Matte>{s.shadingLights}); break;
        case Material::Metal: ScanPolygonOfLayout(s, MaterialShader<Material::Metal>{s.shadingLights}); break;
        case Material::Plastic: ScanPolygonOfLayout(s, MaterialShader<Material::Plastic>{s.shadingLights}); break;
        case Material::PaintedPlastic:
            ScanPolygonOfLayout(s, MaterialShader<Material::PaintedPlastic>{s.shadingLights});
            break;
    }
}

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

// ---------------------------------------------------------------- PolySet

int REDirect::PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                      const int* indices) {
    DirectState& s = directState();
    s.face.objectSpace = true;
    int status = BuildLayouts(vtype, s.input, s.layout);
    if (status != 0) return status;
    const VertexLayout& in = s.input;
    const VertexLayout& L = s.layout;
    const size_t stride = static_cast<size_t>(in.count);
    s.polygonCount = 0;
    AttributeVertex v;
    int k = 0;
    for (int f = 0; f < nfaces; ++f) {
        // The face runs from k to its -1. Indices outside the vertex array
        // are skipped.
        int start = k;
        while (indices[k] != -1) ++k;
        int end = k++;
        int valid[3] = {-1, -1, -1};  // the last three vertices of the face
        int nvalid = 0;
        for (int i = start; i < end; ++i) {
            int idx = indices[i];
            if (idx < 0 || idx >= nvertices) continue;
            valid[0] = valid[1];
            valid[1] = valid[2];
            valid[2] = idx;
            ++nvalid;
        }
        if (nvalid == 0) continue;
        if (nvalid >= 3) {
            const float* a = vertices + static_cast<size_t>(valid[0]) * stride + in.position;
            const float* b = vertices + static_cast<size_t>(valid[1]) * stride + in.position;
            const float* c = vertices + static_cast<size_t>(valid[2]) * stride + in.position;
            Vector3 cb(c[0] - b[0], c[1] - b[1], c[2] - b[2]);
            Vector3 ab(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
            s.face.normal = cross(cb, ab);
        }
        int handed = 0;
        for (int i = start; i < end; ++i) {
            int idx = indices[i];
            if (idx < 0 || idx >= nvertices) continue;
            const float* src = vertices + static_cast<size_t>(idx) * stride;
            v[0] = src[in.position];
            v[1] = src[in.position + 1];
            v[2] = src[in.position + 2];
            v[3] = 1;
            if (in.hasNormal)
                for (int j = 0; j < 3; ++j) v[L.normal + j] = src[in.normal + j];
            if (in.hasColor)
                for (int j = 0; j < 3; ++j) v[L.color + j] = src[in.color + j];
            if (in.hasTexture) {
                v[L.texture] = src[in.texture];
                v[L.texture + 1] = src[in.texture + 1];
            }
            PolygonVertex(v, ++handed == nvalid);
        }
    }
    return 0;
}

}  // namespace kx
