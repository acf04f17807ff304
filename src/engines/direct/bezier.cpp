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
// records (pipeline, made the state's current layout). 0 or -10.
int ControlLayouts(DirectState& s, const std::string& vertexType, bool withNormal, VertexLayout& input,
                   int& stride) {
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
    s.layout = pipeline;
    return 0;
}

// Turns count control points into records of the current pipeline layout.
void BuildRecords(const DirectPipeline& pipe, const float* points, size_t count, int stride,
                  const VertexLayout& input, float* records) {
    const VertexLayout& out = pipe.state.layout;
    const int width = out.count;
    for (size_t i = 0; i < count; ++i) {
        const float* p = points + i * stride;
        AttributeVertex v;
        v[0] = p[input.position];
        v[1] = p[input.position + 1];
        v[2] = p[input.position + 2];
        v[3] = 1;
        TransformVertex(pipe.state, pipe.transforms, v);
        if (input.hasColor && out.hasColor) std::memcpy(&v[out.color], p + input.color, 3 * sizeof(float));
        if (input.hasNormal && out.hasNormal) {
            std::memcpy(&v[out.normal], p + input.normal, 3 * sizeof(float));
            TransformNormal(pipe.transforms, &v[out.normal]);
        }
        if (input.hasTexture && out.hasTexture) {
            v[out.texture] = p[input.texture];
            v[out.texture + 1] = p[input.texture + 1];
            ScaleTextureToTexels(pipe.maps, &v[out.texture]);
        }
        std::memcpy(records + i * width, v.v, width * sizeof(float));
    }
}

inline void ToVertex(const float* record, int width, AttributeVertex& v) {
    std::memcpy(v.v, record, width * sizeof(float));
}

// The polyline through count records spaced step records apart, in the
// control colour.
void ControlPolyline(DirectPipeline& p, const float* records, int count, size_t step, int width, LineSink line) {
    AttributeVertex v;
    for (int i = 0; i < count; ++i) {
        ToVertex(records + i * step * width, width, v);
        line(p, v, i > 0);
    }
}

// Runs f with the control colour current.
template <class F>
void WithControlColor(DirectState& s, F f) {
    ColorRGB saved = s.color;
    s.color = s.controlColor;
    f();
    s.color = saved;
}

}  // namespace

int DrawBezierCurve(DirectPipeline& p, const std::string& vertexType, int degree, const float* points, int n,
                    LineSink line) {
    DirectState& state = p.state;
    VertexLayout input;
    int stride = 0;
    if (int r = ControlLayouts(state, vertexType, false, input, stride)) return r;
    if (degree < 0 || !points || !PlausibleBezierNet(degree + 1.0, stride)) return 0;
    const int width = state.layout.count;
    const int count = degree + 1;
    BezierNetStorage& st = state.bezier.surface;
    try {
        st.points.resize(static_cast<size_t>(count) * width);
        st.copy.resize(static_cast<size_t>(count) * width);
    } catch (const std::bad_alloc&) {
        state.bezier.release();
        return kErrDisplayMemory;
    }
    const float* rec = st.points.data();
    BuildRecords(p, points, count, stride, input, st.points.data());
    n = LimitBezierSegments(n, 0.5 * degree * (degree + 1.0), false);

    AttributeVertex v;
    ToVertex(rec, width, v);
    line(p, v, false);
    for (int s = 1; s <= n; ++s) {
        std::memcpy(st.copy.data(), rec, static_cast<size_t>(count) * width * sizeof(float));
        DeCasteljau(st.copy.data(), count, width, width, Parameter(s, n));
        ToVertex(st.copy.data(), width, v);
        line(p, v, true);
    }
    if (state.control) WithControlColor(state, [&] { ControlPolyline(p, rec, count, 1, width, line); });
    state.bezier.trim();
    return 0;
}

namespace {

// Hands the quadrilaterals of a patch to a vertex sink, with their face
// normals in world space.
class PatchWriter final : public PatchQuads {
public:
    PatchWriter(DirectPipeline& p, QuadSink sink, int width) : p_(p), sink_(sink), width_(width) {}
    void quad(const float* a, const float* a2, const float* b2, const float* b, const Vector3& face) override {
        const FaceNormal worldFace{face, false};
        emit(a, false, worldFace);
        emit(a2, false, worldFace);
        emit(b2, false, worldFace);
        emit(b, true, worldFace);
    }

private:
    void emit(const float* record, bool last, const FaceNormal& face) {
        ToVertex(record, width_, v_);
        sink_(p_, v_, last, face);
    }
    DirectPipeline& p_;
    QuadSink sink_;
    int width_;
    AttributeVertex v_;
};

}  // namespace

int DrawBezierPatch(DirectPipeline& p, const std::string& vertexType, int m, int k, const float* points, int n,
                    QuadSink quad, LineSink line) {
    DirectState& s = p.state;
    VertexLayout input;
    int stride = 0;
    if (int r = ControlLayouts(s, vertexType, true, input, stride)) return r;
    if (m < 0 || k < 0 || !points || !PlausibleBezierNet((m + 1.0) * (k + 1.0), stride)) return 0;
    const VertexLayout& layout = s.layout;
    const int width = layout.count;
    const int cols = m + 1, rows = k + 1;
    const size_t count = static_cast<size_t>(cols) * rows;
    BezierWork& w = s.bezier;
    try {
        w.surface.points.resize(count * width);
    } catch (const std::bad_alloc&) {
        w.release();
        return kErrDisplayMemory;
    }
    float* rec = w.surface.points.data();
    BuildRecords(p, points, count, stride, input, rec);

    if (s.control) {
        WithControlColor(s, [&] {
            for (int j = 0; j < rows; ++j)
                ControlPolyline(p, rec + static_cast<size_t>(j) * cols * width, cols, 1, width, line);
            for (int i = 0; i < cols; ++i)
                ControlPolyline(p, rec + static_cast<size_t>(i) * width, rows, cols, width, line);
        });
    }
    if (n <= 0) {
        w.trim();
        return 0;
    }
    // Normals from the derivatives of the positions when the points bring
    // none.
    const int normal = !input.hasNormal && layout.hasNormal ? layout.normal : -1;
    PatchWriter writer(p, quad, width);
    return TessellateBezierPatch(w, m, k, width, layout.position, normal, n, writer);
}

int REDirect::Curve(const std::string& vtype, int degree, const float* vertices) {
    state_.flushBins();
    return DrawBezierCurve(pipeline_, vtype, degree, vertices, TessellationDivisions(state_.divisions),
                           TransformedLineVertex);
}

int REDirect::Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) {
    return DrawBezierPatch(pipeline_, vtype, udegree, vdegree, vertices, TessellationDivisions(state_.divisions),
                           TransformedVertex, TransformedLineVertex);
}

}  // namespace kx
