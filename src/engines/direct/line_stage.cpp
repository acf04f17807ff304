#include "engines/direct/line_stage.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engines/direct/direct_state.h"
#include "engines/direct/raster.h"
#include "engines/direct/transform_stage.h"
#include "display/display.h"
#include "interface/frame_stats.h"

namespace kx {

namespace {

// A projected vertex: depth test, fragment (attributes divided back by the
// perspective factor), shade and plot.
void PlotProjected(DirectState& s, DisplayDevice& dev, FrameStats& stats, const AttributeVertex& v, float x,
                   float y) {
    if (!s.depthTest(x, y, v[2])) return;
    AttributeVertex& frag = s.fragment;
    for (int i = kFixedFloats; i < s.layout.count; ++i) frag[i] = v[i] / v[4];
    s.dudx = s.dvdx = s.dudy = s.dvdy = 0;
    s.plot(dev, x, y, v[2], s.shade(stats));
}

}  // namespace

void DeviceLine(DirectPipeline& p, const AttributeVertex& A, const AttributeVertex& B) {
    if (!p.display.drawing) return;  // a frame left out by the command line
    DirectState& s = p.state;
    s.flushBins();  // the polygons before it come first
    DisplayDevice& dev = p.display.dev();
    FrameStats& stats = p.stats;
    const int count = s.layout.count;
    float dx = std::fabs(A[0] - B[0]), dy = std::fabs(A[1] - B[1]);
    const bool yMajor = dx < dy;
    const int major = yMajor ? 1 : 0;
    const AttributeVertex* a = &A;
    const AttributeVertex* b = &B;
    if ((*a)[major] > (*b)[major]) std::swap(a, b);
    PlotProjected(s, dev, stats, *a, (*a)[0], (*a)[1]);
    PlotProjected(s, dev, stats, *b, (*b)[0], (*b)[1]);
    float n = yMajor ? dy : dx;
    if (!(n > 0)) return;  // coincident ends: only the end points
    float d[kVertexFloats], v[kVertexFloats];
    for (int i = 0; i < count; ++i) d[i] = ((*b)[i] - (*a)[i]) / n;
    const int limit = yMajor ? s.height : s.width;
    int first = CeilIndex((*a)[major], limit), end = CeilIndex((*b)[major], limit);
    float offset = static_cast<float>(first) - (*a)[major];
    for (int i = 0; i < count; ++i) v[i] = (*a)[i] + d[i] * offset;
    AttributeVertex& frag = s.fragment;
    for (int m = first; m < end; ++m) {
        float x = yMajor ? v[0] : static_cast<float>(m);
        float y = yMajor ? static_cast<float>(m) : v[1];
        if (s.depthTest(x, y, v[2])) {
            for (int i = kFixedFloats; i < count; ++i) frag[i] = v[i] / v[4];
            s.dudx = s.dvdx = s.dudy = s.dvdy = 0;
            s.plot(dev, x, y, v[2], s.shade(stats));
        }
        for (int i = 0; i < count; ++i) v[i] += d[i];
    }
}

// ---------------------------------------------------------------- line entries

void TransformedLineVertex(DirectPipeline& p, const AttributeVertex& cur, bool draw) {
    DirectState& s = p.state;
    const int count = s.layout.count;
    float w = cur[3];
    float b[6] = {cur[0], w - cur[0], cur[1], w - cur[1], cur[2], w - cur[2]};
    int code = 0;
    for (int k = 0; k < 6; ++k)
        if (b[k] < 0) code |= 1 << k;
    // A position at infinity or NaN takes part in no segment.
    const int kInvalid = 1 << 6;
    if (!(std::isfinite(cur[0]) && std::isfinite(cur[1]) && std::isfinite(cur[2]) && std::isfinite(w)))
        code |= kInvalid;
    const int prevCode = s.lineOutcode;
    if (draw && (prevCode & code) == 0 && ((prevCode | code) & kInvalid) == 0) {
        const AttributeVertex& prev = s.linePrevious;
        AttributeVertex start = prev, end = cur;
        bool visible = true;
        if ((prevCode | code) != 0) {
            float t0 = 0, t1 = 1;
            for (int k = 0; k < 6 && visible; ++k) {
                if (((prevCode | code) & (1 << k)) == 0) continue;
                float t = s.lineBounds[k] / (s.lineBounds[k] - b[k]);
                if (prevCode & (1 << k))
                    t0 = std::max(t0, t);
                else
                    t1 = std::min(t1, t);
                if (t1 < t0) visible = false;
            }
            if (visible) {
                if (code != 0)
                    for (int i = 0; i < count; ++i) end[i] = prev[i] + (cur[i] - prev[i]) * t1;
                if (prevCode != 0)
                    for (int i = 0; i < count; ++i) start[i] = prev[i] + (cur[i] - prev[i]) * t0;
            }
        }
        if (visible) {
            ProjectVertex(s, start);
            ProjectVertex(s, end);
            DeviceLine(p, start, end);
        }
    }
    s.linePrevious = cur;
    for (int k = 0; k < 6; ++k) s.lineBounds[k] = b[k];
    s.lineOutcode = code;
}

void LineVertex(DirectPipeline& p, const AttributeVertex& v, bool draw) {
    AttributeVertex t = v;
    TransformVertex(p.state, p.transforms, t);
    TransformedLineVertex(p, t, draw);
}

}  // namespace kx

