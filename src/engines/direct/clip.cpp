#include "engines/direct/clip.h"

#include "engines/direct/direct_state.h"

namespace kx {

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

}  // namespace

bool InsideViewVolume(const AttributeVertex& v) { return Outcode(v) == 0; }

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

}  // namespace kx
