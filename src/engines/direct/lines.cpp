// The direct engine's points, lines, circles and seed fill.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/transform.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/transform_stage.h"
#include "display/display.h"
#include "interface/frame_stats.h"

namespace kx {

namespace {

// The layout of Point, Line and Circle: position only.
void PositionOnlyLayout(DirectState& s) {
    s.layout.reset();
    s.layout.append(VertexAttribute::Position);
    s.layout.finalize();
}

// Shades the fragment fr (a vertex whose attributes are as the shaders
// expect them) with zero texture derivatives.
ColorRGB ShadeVertex(DirectState& s, FrameStats& stats, const AttributeVertex& fr) {
    s.fragment = fr;
    s.dudx = s.dvdx = s.dudy = s.dvdy = 0;
    return s.shade(stats);
}

// Device x, y of a screen position (x, y, z, w) before the division by w.
inline HPoint ToDevice(const DirectState& s, const AttributeVertex& v) {
    return s.screenToDevice * HPoint(v[0], v[1], v[2], v[3]);
}

// One point: transformed, tested against the view volume, rounded to the
// nearest pixel.
void DrawPoint(DirectPipeline& p, AttributeVertex& v) {
    if (!p.display.drawing) return;  // a frame left out by the command line
    DirectState& s = p.state;
    TransformVertex(s, p.transforms, v);
    float x = v[0], y = v[1], z = v[2], w = v[3];
    if (!(w > 0 && x >= 0 && x <= w && y >= 0 && y <= w && z >= 0 && z <= w)) return;
    HPoint d = ToDevice(s, v);
    float X = d.x / w + 0.5f, Y = d.y / w + 0.5f, Z = z / w;
    if (!s.depthTest(X, Y, Z)) return;
    ColorRGB c = ShadeVertex(s, p.stats, v);
    s.plot(p.display.dev(), X, Y, Z, c);
}

// Builds the object-space vertex of a vertex array entry: position in
// floats 0..3, the entry's floats copied behind the fixed part.
void LoadArrayVertex(const DirectState& s, const float* src, AttributeVertex& v) {
    const VertexLayout& in = s.input;
    v[0] = src[in.position];
    v[1] = src[in.position + 1];
    v[2] = src[in.position + 2];
    v[3] = 1;
    for (int i = 0; i < in.count; ++i) v[kFixedFloats + i] = src[i];
}

}  // namespace

// ---------------------------------------------------------------- commands

int REDirect::Point(const Point3& p) {
    state_.flushBins();
    PositionOnlyLayout(state_);
    AttributeVertex v;
    v[0] = p.x, v[1] = p.y, v[2] = p.z, v[3] = 1;
    DrawPoint(pipeline_, v);
    return 0;
}

int REDirect::PointSet(const std::string& vtype, int nvertices, const float* vertices) {
    state_.flushBins();
    DirectState& s = state_;
    int status = BuildLayouts(vtype, s.input, s.layout, true);
    if (status != 0) return status;
    const size_t stride = static_cast<size_t>(s.input.count);
    AttributeVertex v;
    for (int i = 0; i < nvertices; ++i) {
        LoadArrayVertex(s, vertices + static_cast<size_t>(i) * stride, v);
        DrawPoint(pipeline_, v);
    }
    return 0;
}

int REDirect::Line(const Point3& p0, const Point3& p1) {
    state_.flushBins();
    PositionOnlyLayout(state_);
    AttributeVertex v;
    v[0] = p0.x, v[1] = p0.y, v[2] = p0.z, v[3] = 1;
    LineVertex(pipeline_, v, false);
    v[0] = p1.x, v[1] = p1.y, v[2] = p1.z;
    LineVertex(pipeline_, v, true);
    return 0;
}

int REDirect::LineSet(const std::string& vtype, int nvertices, const float* vertices, int nlines,
                      const int* indices) {
    state_.flushBins();
    DirectState& s = state_;
    int status = BuildLayouts(vtype, s.input, s.layout, true);
    if (status != 0) return status;
    const size_t stride = static_cast<size_t>(s.input.count);
    AttributeVertex v;
    int k = 0;
    for (int l = 0; l < nlines; ++l) {
        bool draw = false;
        for (; indices[k] != -1; ++k) {
            int idx = indices[k];
            if (idx < 0 || idx >= nvertices) continue;  // not a vertex of the array
            LoadArrayVertex(s, vertices + static_cast<size_t>(idx) * stride, v);
            LineVertex(pipeline_, v, draw);
            draw = true;
        }
        ++k;
    }
    return 0;
}

// ---------------------------------------------------------------- circle

namespace {

// The largest y >= 0 with y * (y - 1) < k, for k > 0: the row the midpoint
// algorithm reaches at column x when k = r*r - x*x.
int64_t MidpointRow(__int128 k) {
    double approx = (1.0 + std::sqrt(1.0 + 4.0 * static_cast<double>(k))) / 2.0;
    __int128 y = static_cast<__int128>(approx) + 1;
    while (y > 0 && y * (y - 1) >= k) --y;
    while ((y + 1) * y < k) ++y;
    return static_cast<int64_t>(y);
}

}  // namespace

int REDirect::Circle(const Point3& center, float radius) {
    state_.flushBins();
    DirectState& s = state_;
    PositionOnlyLayout(s);
    if (!context_.display.drawing) return 0;  // a frame left out by the command line
    AttributeVertex v;
    v[0] = center.x, v[1] = center.y, v[2] = center.z, v[3] = 1;
    TransformVertex(s, context_.transforms, v);
    float w = v[3];
    if (!(w > 0)) return 0;
    HPoint d = ToDevice(s, v);
    float cx = d.x / w + 0.5f, cy = d.y / w + 0.5f, cz = v[2] / w;
    ColorRGB c = ShadeVertex(s, context_.stats, v);
    DisplayDevice& dev = context_.display.dev();

    // Beyond these sizes no pixel of the circle can be told apart on an
    // image; they also keep the integer arithmetic below exact.
    const float kLimit = 1099511627776.0f;  // 2^40
    if (!(radius > -1.0f && radius < kLimit && std::fabs(cx) < kLimit && std::fabs(cy) < kLimit)) return 0;
    const int64_t r = static_cast<int64_t>(radius);
    const int64_t X0 = static_cast<int64_t>(cx), Y0 = static_cast<int64_t>(cy);
    const int64_t W = s.width, H = s.height;
    auto plot8 = [&](int64_t x, int64_t y) {
        const int64_t px[8] = {X0 + x, X0 + x, X0 - x, X0 - x, X0 + y, X0 + y, X0 - y, X0 - y};
        const int64_t py[8] = {Y0 + y, Y0 - y, Y0 + y, Y0 - y, Y0 + x, Y0 - x, Y0 + x, Y0 - x};
        for (int i = 0; i < 8; ++i)
            if (px[i] >= 0 && px[i] < W && py[i] >= 0 && py[i] < H)
                s.plotBounded(dev, static_cast<float>(px[i]), static_cast<float>(py[i]), cz, c);
    };
    if (r < 0) return 0;
    if (r == 0) {
        plot8(0, 0);
        return 0;
    }
    // The midpoint algorithm (x = 0, y = r, d = 1 - r; step x, and step y
    // down when d >= 0) keeps d = (x+1)^2 + y^2 - y - r^2, so the row at
    // column x is MidpointRow(r^2 - x^2). Only the columns whose points can
    // fall inside the image are visited.
    const __int128 r2 = static_cast<__int128>(r) * r;
    auto rowAt = [&](int64_t x) { return MidpointRow(r2 - static_cast<__int128>(x) * x); };
    // The last column of the octant: the largest x with x <= rowAt(x).
    int64_t lo = 0, hi = r;
    while (lo < hi) {
        int64_t mid = lo + (hi - lo + 1) / 2;
        if (mid <= rowAt(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    const int64_t xEnd = lo;
    std::pair<int64_t, int64_t> ranges[4] = {
        {-X0, W - 1 - X0}, {X0 - W + 1, X0}, {-Y0, H - 1 - Y0}, {Y0 - H + 1, Y0}};
    for (auto& rg : ranges) {
        rg.first = std::max<int64_t>(rg.first, 0);
        rg.second = std::min(rg.second, xEnd);
    }
    std::sort(std::begin(ranges), std::end(ranges));
    int64_t next = 0;  // first column not yet drawn
    for (const auto& rg : ranges) {
        for (int64_t x = std::max(rg.first, next); x <= rg.second; ++x) plot8(x, rowAt(x));
        next = std::max(next, rg.second + 1);
    }
    return 0;
}

// ---------------------------------------------------------------- fill

namespace {

// A span [x1, x2] (columns, inclusive) just painted in row y - dy, whose
// neighbours in row y are still to be looked at.
struct FillSegment {
    int y, x1, x2, dy;
};

}  // namespace

int REDirect::Fill(const Point3& seed) {
    state_.flushBins();
    DirectState& s = state_;
    PositionOnlyLayout(s);
    if (!context_.display.drawing) return 0;  // a frame left out by the command line
    AttributeVertex v;
    v[0] = seed.x, v[1] = seed.y, v[2] = seed.z, v[3] = 1;
    TransformVertex(s, context_.transforms, v);
    float x = v[0], y = v[1], z = v[2], w = v[3];
    if (!(w > 0 && x >= 0 && x <= w && y >= 0 && y <= w && z >= 0 && z <= w)) return 0;
    HPoint d = ToDevice(s, v);
    float fx = d.x / w + 0.5f, fy = d.y / w + 0.5f;
    const int W = s.width, H = s.height;
    if (!(fx >= 0 && fy >= 0 && fx < static_cast<float>(W) && fy < static_cast<float>(H))) return 0;
    const int X = static_cast<int>(fx), Y = static_cast<int>(fy);

    DisplayDevice& dev = context_.display.dev();
    ColorRGB old;
    dev.ReadPixel(X, Y, old);
    const ColorRGB paint = ClampColor(s.color);
    auto same = [](const ColorRGB& a, const ColorRGB& b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
    if (same(old, paint)) return 0;
    // The colour as the image stores it may still read back as the old one
    // (the image keeps fewer digits): then filling would change nothing and
    // would never end. The seed pixel is painted first to find out.
    dev.WritePixel(X, Y, paint);
    ColorRGB stored;
    dev.ReadPixel(X, Y, stored);
    if (same(stored, old)) return 0;

    auto isOld = [&](int px, int py) {
        ColorRGB c;
        dev.ReadPixel(px, py, c);
        return same(c, old);
    };
    // The span of row py around column px: [left, right).
    auto spanAround = [&](int px, int py, int& left, int& right) {
        left = px;
        while (left > 0 && isOld(left - 1, py)) --left;
        right = px + 1;
        while (right < W && isOld(right, py)) ++right;
    };
    auto paintSpan = [&](int x0, int x1, int py) {
        for (int px = x0; px < x1; ++px) dev.WritePixel(px, py, paint);
    };

    // Scanline fill with a stack of painted spans whose neighbour row is
    // still to be scanned. A span is taken off the stack before the row next
    // to it is scanned, and only the parts of a new span that reach past its
    // parent are pushed back toward the parent's row: a column or a filled
    // rectangle keeps two or three entries whatever its height, and no fill
    // holds more entries than three per span it paints.
    std::vector<FillSegment> stack;
    auto push = [&](int y, int x1, int x2, int dy) {
        if (y + dy < 0 || y + dy >= H) return true;
        try {
            stack.push_back({y + dy, x1, x2, dy});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    };
    int left, right;
    spanAround(X, Y, left, right);
    paintSpan(left, X, Y);  // the seed pixel is painted already
    paintSpan(X + 1, right, Y);
    if (!push(Y, left, right - 1, 1) || !push(Y, left, right - 1, -1)) return kErrDisplayMemory;
    while (!stack.empty()) {
        const FillSegment seg = stack.back();
        stack.pop_back();
        const int y = seg.y, x1 = seg.x1, x2 = seg.x2, dy = seg.dy;
        // A span of row y that contains x1 may reach left of it.
        int x = x1;
        while (x >= 0 && isOld(x, y)) {
            dev.WritePixel(x, y, paint);
            --x;
        }
        int l = x + 1;  // left end of the span being painted
        bool inSpan = x < x1;
        if (inSpan) {
            if (l < x1 && !push(y, l, x1 - 1, -dy)) return kErrDisplayMemory;
            x = x1 + 1;
        }
        for (;;) {
            if (inSpan) {
                while (x < W && isOld(x, y)) {
                    dev.WritePixel(x, y, paint);
                    ++x;
                }
                // Now [l, x - 1] is painted: its other neighbour row, and
                // the row it came from where it reaches past x2.
                if (!push(y, l, x - 1, dy)) return kErrDisplayMemory;
                if (x > x2 + 1 && !push(y, x2 + 1, x - 1, -dy)) return kErrDisplayMemory;
            }
            // x is not old: on to the next old pixel over the parent span.
            for (++x; x <= x2 && !isOld(x, y); ++x) {
            }
            if (x > x2) break;
            l = x;
            inSpan = true;
        }
    }
    return 0;
}

}  // namespace kx
