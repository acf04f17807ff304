#include "engines/direct/scan_convert.h"

#include <cstdint>
#include <type_traits>

#include "engines/direct/bins.h"
#include "engines/direct/depth_bounds.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/raster.h"
#include "engines/direct/shading.h"
#include "engines/direct/span_kernels.h"
#include "engines/direct/transparent.h"
#include "display/display.h"
#include "interface/frame_stats.h"
#include "surface/opacity.h"

namespace kx {

namespace {

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
    static constexpr bool kLanes = false;
    const ShadingLights& lights;
    void operator()(const DirectState& s, ColorRGB& out) const {
        shading::Shade<M>(s, lights.list, lights.ambient, *lights.maps, out);
    }
};
struct FunctionShader {
    static constexpr bool kLanes = false;
    ShaderFunction f;
    void operator()(const DirectState& s, ColorRGB& out) const { f(s, out); }
};
// The shader function, and the light the surface gives off added to each
// pixel (Emit, Ke): polygons that emit, few in a scene, are shaded a pixel
// at a time, so that the lanes and every polygon that does not emit are
// shaded as they would be without it.
struct EmittingShader {
    static constexpr bool kLanes = false;
    ShaderFunction f;
    ColorRGB light;
    void operator()(const DirectState& s, ColorRGB& out) const {
        f(s, out);
        out += light;
    }
};
// A transparent polygon's shader: each pixel shaded is kept as a fragment
// (transparent.h) rather than stored. The depth test is left to the end of
// the world while the engine's threads may be writing the depths.
template <class Shader>
struct KeepShader {
    static constexpr bool kLanes = false;
    static constexpr bool kKeep = true;
    Shader shader;
    DirectPipeline& p;
    TransparentFragments& kept;
    bool testDepth;
    void operator()(const DirectState& s, ColorRGB& out) const { shader(s, out); }
    void keep(const DirectState& s, int x, int y, float depth, const ColorRGB& c) const {
        float a = s.opacity;
        if (s.layout.hasOpacity) a *= UnitOpacity(s.fragment[s.layout.opacity]);
        const uint32_t pixel = static_cast<uint32_t>(y) * static_cast<uint32_t>(s.width) + static_cast<uint32_t>(x);
        if (kept.add(pixel, depth, a, c)) return;
        // Full: what is kept is laid over the image, and the list starts
        // again (without memory for any fragment, the pixel is left out).
        DrawTransparent(p);
        kept.add(pixel, depth, a, c);
    }
};
template <class Shader>
constexpr bool kKeep = requires { Shader::kKeep; };
// Whether the shader's pixels are taken without the depth test.
template <class Shader>
inline bool SkipsDepthTest(const Shader& shade) {
    if constexpr (kKeep<Shader>) return !shade.testDepth;
    return false;
}
// A known material shaded in the lanes of vector registers (span_kernels.h)
// where the pixels go straight into a frame buffer, else as MaterialShader.
template <Material M>
struct LaneShader {
    static constexpr bool kLanes = true;
    MaterialShader<M> scalar;
    const SpanMaterial& material;
    LaneQueue& queue;  // the polygon's pixels waiting for their lanes
    void operator()(const DirectState& s, ColorRGB& out) const { scalar(s, out); }
};

// The pixels of row y between two active edges. kCount is the layout's
// float count when known at compile time, else 0. With the device's frame
// buffer (DisplayDevice::frame) the pixels are stored straight into its row,
// as WritePixel would store them, and the device told once of the span
// written; without it each goes through WritePixel. Flattened so that the
// shader stays inlined in the pixel loop.
template <int kCount, class Shader>
[[gnu::flatten]] void FillSpan(SpanTarget& target, const Shader& shade, EdgeRecord& e1, EdgeRecord& e2, int y,
                               uint64_t& shaded) {
    DirectState& s = target.s;
    DisplayDevice& dev = target.dev;
    FrameBuffer* frame = target.frame;
    int xs = CeilIndex(e1.cur[0], s.width), xe = CeilIndex(e2.cur[0], s.width);
    if (xs >= xe || y < 0 || y >= s.height) return;
    const VertexLayout& L = s.layout;
    const int count = kCount > 0 ? kCount : L.count;
    float dx = e2.cur[0] - e1.cur[0];
    float offset = static_cast<float>(xs) - e1.cur[0];
    // 0 <= xs < xe <= width and 0 <= y < height: no pixel test needed.
    float* depthRow = target.depth + static_cast<size_t>(y) * static_cast<size_t>(s.width);
    // The frame buffer's row, and the end of the span inside it: the buffer
    // may be smaller than the engine's image.
    uint8_t* row = frame ? frame->rowBytes(y) : nullptr;
    const int rowEnd = row ? (xe < frame->width ? xe : frame->width) : 0;
    if constexpr (Shader::kLanes) {
        // The lanes work out the attributes they read themselves, and read
        // no texture coordinates.
        if (frame) {
            SpanPixels px;
            px.xs = xs;
            px.xe = xe;
            px.depthRow = depthRow;
            px.row = row;
            px.rowEnd = rowEnd;
            ShadeSpanLanes(shade.material, e1.cur, e2.cur, dx, offset, px, shade.queue);
            shaded += px.shaded;
            if (px.writtenLast >= 0) target.spanWritten(px.writtenFirst, px.writtenLast, y);
            return;
        }
    }
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
    for (int i = 0; i < count; ++i) v[i] = e1.cur[i] + d[i] * offset;
    AttributeVertex& frag = s.fragment;
    int writtenFirst = xe, writtenLast = -1;
    for (int x = xs; x < xe; ++x) {
        if (SkipsDepthTest(shade) || depthRow[x] > v[2]) {
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
            if constexpr (kKeep<Shader>) {
                shade.keep(s, x, y, v[2], c);
                for (int i = 0; i < count; ++i) v[i] += d[i];
                continue;
            }
            depthRow[x] = v[2];
            if (!frame) {
                dev.WritePixel(x, y, ClampColor(c));
            } else if (x < rowEnd) {
                // ColorByte clamps as ClampColor would: the same bytes.
                StoreColor(row + static_cast<size_t>(x) * 3, c);
                if (writtenLast < 0) writtenFirst = x;
                writtenLast = x;
            }
        }
        for (int i = 0; i < count; ++i) v[i] += d[i];
    }
    if (writtenLast >= 0) target.spanWritten(writtenFirst, writtenLast, y);
}

// Scan-converts clipped[0..clippedCount) into rows rowFirst..rowEnd-1 of
// the target; returns the pixels shaded. The rows above the first are
// stepped through all the same, so that every edge reaches the first row
// with the very values it has when the whole polygon is filled.
template <int kCount, class Shader>
uint64_t ScanPolygon(SpanTarget& target, const Shader& shade) {
    DirectState& s = target.s;
    const int n = s.clippedCount;
    const int count = kCount > 0 ? kCount : s.layout.count;
    EdgeRecord* edges = s.edges;
    int rows[kMaxPolygonVertices];
    for (int i = 0; i < n; ++i) rows[i] = CeilIndex(s.clipped[i][1], s.height);
    int ymin = s.height, ymax = 0, made = 0;
    for (int i = 0; i < n; ++i) {
        const int before = i == 0 ? n - 1 : i - 1;
        const AttributeVertex& prev = s.clipped[before];
        const AttributeVertex& cur = s.clipped[i];
        const int rowPrev = rows[before], rowCur = rows[i];
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
    if (made == 0) return 0;
    uint64_t shaded = 0;
    ymax += 1;
    const int rowEnd = ymax < target.rowEnd ? ymax : target.rowEnd;
    int active = -1;
    for (int y = ymin; y < rowEnd; ++y) {
        for (int e = s.spanTable[y]; e != -1;) {
            int next = edges[e].next;
            InsertEdge(edges, active, e);
            e = next;
        }
        s.spanTable[y] = -1;
        if (active == -1) continue;
        if (y >= target.rowFirst)
            for (int e = active; e != -1 && edges[e].next != -1; e = edges[edges[e].next].next)
                FillSpan<kCount>(target, shade, edges[e], edges[edges[e].next], y, shaded);
        for (int* link = &active; *link != -1;) {
            EdgeRecord& e = edges[*link];
            if (e.last <= y) {
                *link = e.next;
            } else {
                for (int k = 0; k < count; ++k) e.cur[k] += e.inc[k];
                link = &e.next;
            }
        }
        // Sorted again by x, each record inserted in turn. Two records (the
        // common case) change places unless the first lies left of the
        // second, as inserting them would have them.
        if (active != -1 && edges[active].next != -1 && edges[edges[active].next].next == -1) {
            const int a = active, b = edges[a].next;
            if (!(edges[a].cur[0] < edges[b].cur[0])) {
                active = b;
                edges[b].next = a;
                edges[a].next = -1;
            }
            continue;
        }
        int list = active;
        active = -1;
        while (list != -1) {
            int next = edges[list].next;
            InsertEdge(edges, active, list);
            list = next;
        }
    }
    // Edges below the rows filled never started.
    for (int y = rowEnd; y < ymax; ++y) s.spanTable[y] = -1;
    return shaded;
}

// The float counts of the common layouts: position only (8), position and
// normal (11), with texture coordinates (15).
template <class Shader>
uint64_t ScanPolygonOfLayout(SpanTarget& target, const Shader& shade) {
    switch (target.s.layout.count) {
        case 8: return ScanPolygon<8>(target, shade);
        case 11: return ScanPolygon<11>(target, shade);
        case 15: return ScanPolygon<15>(target, shade);
        default: return ScanPolygon<0>(target, shade);
    }
}

// The polygon scanned and shaded by its material.
uint64_t ScanShaded(SpanTarget& t, const ShadingLights& lights) {
    const DirectState& s = t.s;
    PendingLanes* pending = t.pending;
    Material m;
    if (s.emission.emits()) {
        if (pending) pending->flush();
        return ScanPolygonOfLayout(t, EmittingShader{s.shader, s.emission.light()});
    }
    if (!MaterialOf(s.shader, m)) {
        if (pending) pending->flush();
        return ScanPolygonOfLayout(t, FunctionShader{s.shader});
    }
    // Painted plastic with a map and texture coordinates looks the map up
    // per pixel: that one stays a pixel at a time.
    const bool noMap = !lights.maps->current();
    const bool lanes = s.spanPath != SpanPath::Scalar && (m != Material::PaintedPlastic || noMap || !s.layout.hasTexture);
    SpanMaterial material;
    LaneQueue queue;
    const bool wait = pending && lanes;
    if (wait) {
        if (!pending->holds(t.attributes, s.shadingNormal)) {
            material.prepare(s, lights, m, noMap, s.spanPath);
            pending->take(material, t.attributes);
        }
    } else {
        if (pending) pending->flush();
        if (lanes) material.prepare(s, lights, m, noMap, s.spanPath);
    }
    const SpanMaterial& shading = wait ? pending->material : material;
    LaneQueue& waiting = wait ? pending->queue : queue;
    const auto scanAs = [&](auto known) -> uint64_t {
        constexpr Material M = decltype(known)::value;
        if (!lanes) return ScanPolygonOfLayout(t, MaterialShader<M>{lights});
        const uint64_t shaded = ScanPolygonOfLayout(t, LaneShader<M>{{lights}, shading, waiting});
        if (!wait) FlushSpanLanes(shading, waiting);
        return shaded;
    };
    switch (m) {
        case Material::Matte: return scanAs(std::integral_constant<Material, Material::Matte>{});
        case Material::Metal: return scanAs(std::integral_constant<Material, Material::Metal>{});
        case Material::Plastic: return scanAs(std::integral_constant<Material, Material::Plastic>{});
        case Material::PaintedPlastic: return scanAs(std::integral_constant<Material, Material::PaintedPlastic>{});
    }
    return 0;
}

}  // namespace

uint64_t FillPolygonRows(SpanTarget& t, const ShadingLights& lights) {
    if (!t.bounds) return ScanShaded(t, lights);
    const PolygonReach reach = t.bounds->reach(t.s.clipped, t.s.clippedCount, t.rowFirst, t.rowEnd);
    // No row to fill, or behind what the image holds at every pixel it
    // could touch: no depth test would pass.
    if (reach.empty() || t.bounds->hides(t.depth, reach)) return 0;
    const uint64_t shaded = ScanShaded(t, lights);
    if (shaded) t.bounds->stored(reach);
    return shaded;
}

uint64_t KeepPolygonFragments(DirectPipeline& p, TransparentFragments& kept) {
    DirectState& s = p.state;
    DisplayDevice& dev = p.display.dev();
    SpanTarget t{s, s.depth.data(), dev, nullptr, 0, s.height};
    const bool test = !s.bins;
    if (s.emission.emits())
        return ScanPolygon<0>(t, KeepShader<EmittingShader>{{s.shader, s.emission.light()}, p, kept, test});
    return ScanPolygon<0>(t, KeepShader<FunctionShader>{{s.shader}, p, kept, test});
}

void SpanTarget::spanWritten(int x0, int x1, int y) {
    if (!writtenFirst) {
        dev.spanWritten(x0, x1, y);
        return;
    }
    if (x0 < writtenFirst[y]) writtenFirst[y] = x0;
    if (x1 > writtenLast[y]) writtenLast[y] = x1;
}

namespace {

// Fills clipped[0..clippedCount) at once, on this thread.
void FillNow(DirectPipeline& p) {
    DirectState& s = p.state;
    DisplayDevice& dev = p.display.dev();
    if (s.bins) s.bins->flush();
    SpanTarget target{s, s.depth.data(), dev, dev.frame(), 0, s.height};
    if (target.frame) target.frame->markWritten();
    if (s.depthBounds.ready()) target.bounds = &s.depthBounds;
    Material m;
    if (MaterialOf(s.shader, m)) s.shadingLights.gather(p.lights, p.maps);
    const uint64_t shaded = FillPolygonRows(target, s.shadingLights);
    if (p.stats.enabled) p.stats.pixels += shaded;
}

}  // namespace

void FillPolygon(DirectPipeline& p) {
    DirectState& s = p.state;
    const bool mayBeSeenThrough = s.opacity < 1 || s.layout.hasOpacity;
    if (s.bins || mayBeSeenThrough) {
        const AttributeVertex* v[kMaxPolygonVertices];
        for (int i = 0; i < s.clippedCount; ++i) v[i] = &s.clipped[i];
        if (mayBeSeenThrough && SeenThrough(s, v, s.clippedCount)) return FillTransparent(p, v, s.clippedCount);
        if (s.bins && s.bins->add(p, v, s.clippedCount, 0)) return;
    }
    FillNow(p);
}

void FillSurfacePolygon(DirectPipeline& p, const AttributeVertex* const* v, int n) {
    DirectState& s = p.state;
    if ((s.opacity < 1 || s.layout.hasOpacity) && SeenThrough(s, v, n)) return FillTransparent(p, v, n);
    if (s.bins && s.bins->add(p, v, n, s.surface)) return;
    for (int i = 0; i < n; ++i) s.clipped[i] = *v[i];
    s.clippedCount = n;
    FillNow(p);
}

}  // namespace kx
