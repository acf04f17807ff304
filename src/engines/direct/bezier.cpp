// Bezier curves and patches of the direct engine.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/errors.h"
#include "engines/direct/bezier.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/line_stage.h"
#include "engines/direct/polygon_stage.h"
#include "engines/direct/primitives.h"
#include "engines/direct/transform_stage.h"
#include "interface/vertex_type.h"

namespace kx {

namespace {

inline float Parameter(int i, int n) { return static_cast<float>(i) / static_cast<float>(n); }

// The layouts of a control point array: the caller's points (input) and the
// records (pipeline, made current). 0 or -10.
int ControlLayouts(const std::string& vertexType, bool withNormal, VertexLayout& input, int& stride) {
    stride = VertexStride(vertexType);  // the points' stride as the parser read them
    VertexLayout pipeline;
    if (stride < 0 || BuildLayouts(vertexType, input, pipeline) != 0) return kErrVertexType;
    if (input.count != stride || !input.hasPosition) return kErrVertexType;
    if (withNormal && !pipeline.hasNormal) {
        pipeline.reset();
        pipeline.parse(vertexType, true);
        pipeline.append(VertexAttribute::Normal);  // left out when it does not fit
        pipeline.finalize();
    }
    directState().layout = pipeline;
    return 0;
}

// Turns count control points into records of the current pipeline layout.
void BuildRecords(const float* points, size_t count, int stride, const VertexLayout& input, float* records) {
    const VertexLayout& out = directState().layout;
    const int width = out.count;
    for (size_t i = 0; i < count; ++i) {
        const float* p = points + i * stride;
        AttributeVertex v;
        v[0] = p[input.position];
        v[1] = p[input.position + 1];
        v[2] = p[input.position + 2];
        v[3] = 1;
        TransformVertex(v);
        if (input.hasColor && out.hasColor) std::memcpy(&v[out.color], p + input.color, 3 * sizeof(float));
        if (input.hasNormal && out.hasNormal) {
            std::memcpy(&v[out.normal], p + input.normal, 3 * sizeof(float));
            TransformNormal(&v[out.normal]);
        }
        if (input.hasTexture && out.hasTexture) {
            v[out.texture] = p[input.texture];
            v[out.texture + 1] = p[input.texture + 1];
            ScaleTextureToTexels(&v[out.texture]);
        }
        std::memcpy(records + i * width, v.v, width * sizeof(float));
    }
}

inline void ToVertex(const float* record, int width, AttributeVertex& v) {
    std::memcpy(v.v, record, width * sizeof(float));
}

// The polyline through count records spaced step records apart, in the
// control colour.
void ControlPolyline(const float* records, int count, size_t step, int width, LineSink line) {
    AttributeVertex v;
    for (int i = 0; i < count; ++i) {
        ToVertex(records + i * step * width, width, v);
        line(v, i > 0);
    }
}

// Runs f with the control colour current.
template <class F>
void WithControlColor(F f) {
    DirectState& s = directState();
    ColorRGB saved = s.color;
    s.color = s.controlColor;
    f();
    s.color = saved;
}

}  // namespace

BezierWork& bezierWork() {
    static BezierWork work;
    return work;
}

int DrawBezierCurve(const std::string& vertexType, int degree, const float* points, int n, LineSink line) {
    VertexLayout input;
    int stride = 0;
    if (int r = ControlLayouts(vertexType, false, input, stride)) return r;
    if (degree < 0 || !points || !PlausibleBezierNet(degree + 1.0, stride)) return 0;
    const int width = directState().layout.count;
    const int count = degree + 1;
    BezierNetStorage& st = bezierWork().surface;
    try {
        st.points.resize(static_cast<size_t>(count) * width);
        st.copy.resize(static_cast<size_t>(count) * width);
    } catch (const std::bad_alloc&) {
        bezierWork().release();
        return kErrDisplayMemory;
    }
    const float* rec = st.points.data();
    BuildRecords(points, count, stride, input, st.points.data());
    n = LimitBezierSegments(n, 0.5 * degree * (degree + 1.0), false);

    AttributeVertex v;
    ToVertex(rec, width, v);
    line(v, false);
    for (int s = 1; s <= n; ++s) {
        std::memcpy(st.copy.data(), rec, static_cast<size_t>(count) * width * sizeof(float));
        DeCasteljau(st.copy.data(), count, width, width, Parameter(s, n));
        ToVertex(st.copy.data(), width, v);
        line(v, true);
    }
    if (directState().control) WithControlColor([&] { ControlPolyline(rec, count, 1, width, line); });
    bezierWork().trim();
    return 0;
}

namespace {

// Hands the quadrilaterals of a patch to a vertex sink, with their face
// normals in world space.
class PatchWriter final : public PatchQuads {
public:
    PatchWriter(QuadSink sink, int width) : sink_(sink), width_(width) {}
    void quad(const float* a, const float* a2, const float* b2, const float* b, const Vector3& face) override {
        directState().face = FaceNormal{face, false};
        emit(a, false);
        emit(a2, false);
        emit(b2, false);
        emit(b, true);
    }

private:
    void emit(const float* record, bool last) {
        ToVertex(record, width_, v_);
        sink_(v_, last);
    }
    QuadSink sink_;
    int width_;
    AttributeVertex v_;
};

}  // namespace

int DrawBezierPatch(const std::string& vertexType, int m, int k, const float* points, int n, QuadSink quad,
                    LineSink line) {
    VertexLayout input;
    int stride = 0;
    if (int r = ControlLayouts(vertexType, true, input, stride)) return r;
    if (m < 0 || k < 0 || !points || !PlausibleBezierNet((m + 1.0) * (k + 1.0), stride)) return 0;
    DirectState& s = directState();
    const VertexLayout& layout = s.layout;
    const int width = layout.count;
    const int cols = m + 1, rows = k + 1;
    const size_t count = static_cast<size_t>(cols) * rows;
    BezierWork& w = bezierWork();
    try {
        w.surface.points.resize(count * width);
    } catch (const std::bad_alloc&) {
        w.release();
        return kErrDisplayMemory;
    }
    float* rec = w.surface.points.data();
    BuildRecords(points, count, stride, input, rec);

    if (s.control) {
        WithControlColor([&] {
            for (int j = 0; j < rows; ++j) ControlPolyline(rec + static_cast<size_t>(j) * cols * width, cols, 1, width, line);
            for (int i = 0; i < cols; ++i) ControlPolyline(rec + static_cast<size_t>(i) * width, rows, cols, width, line);
        });
    }
    if (n <= 0) {
        w.trim();
        return 0;
    }
    // Normals from the derivatives of the positions when the points bring
    // none.
    const int normal = !input.hasNormal && layout.hasNormal ? layout.normal : -1;
    PatchWriter writer(quad, width);
    return TessellateBezierPatch(w, m, k, width, layout.position, normal, n, writer);
}

int REDirect::Curve(const std::string& vtype, int degree, const float* vertices) {
    return DrawBezierCurve(vtype, degree, vertices, TessellationDivisions(directState().divisions),
                           TransformedLineVertex);
}

int REDirect::Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) {
    return DrawBezierPatch(vtype, udegree, vdegree, vertices, TessellationDivisions(directState().divisions),
                           TransformedVertex, TransformedLineVertex);
}

}  // namespace kx
