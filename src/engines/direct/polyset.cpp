// The direct engine's polygon sets: every face of a vertex array handed to
// the polygon stage with the flat normal of its last three usable vertices.
// A subdivision surface is drawn as the polygon set of its refined faces.
#include <cstdlib>
#include <memory>
#include <new>

#include "core/math.h"
#include "engines/direct/direct_engine.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/polygon_stage.h"
#include "surface/subdivide.h"

namespace kx {

namespace {

// The most transformed vertices kept at once (96 bytes each).
constexpr int kSharedSlots = 4096;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

int REDirect::PolySet(const std::string& vtype, int nvertices, const float* vertices, int nfaces,
                      const int* indices) {
    DirectState& s = state_;
    // A face with fewer than three usable vertices keeps the normal of the
    // polygon drawn before it.
    FaceNormal face{s.lastFace.normal, true};
    int status = BuildLayouts(vtype, s.input, s.layout);
    if (status != 0) return status;
    const VertexLayout& in = s.input;
    const VertexLayout& L = s.layout;
    const size_t stride = static_cast<size_t>(in.count);
    s.polygonCount = 0;
    // The pipeline vertex of vertex idx: the same floats whichever vertex
    // was loaded before.
    auto load = [&](int idx, AttributeVertex& v) {
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
        if (in.hasOpacity) v[L.opacity] = src[in.opacity];
    };
    // A transformed vertex is kept for the faces that share it, in a slot
    // of its own while no later vertex takes that slot: the faces of a mesh
    // use the vertices of a few rows at a time.
    int slots = 1;
    while (slots < nvertices && slots < kSharedSlots) slots *= 2;
    std::unique_ptr<AttributeVertex[], FreeDeleter> shared(
        static_cast<AttributeVertex*>(std::malloc(sizeof(AttributeVertex) * static_cast<size_t>(slots))));
    std::unique_ptr<int[], FreeDeleter> held(static_cast<int*>(std::malloc(sizeof(int) * static_cast<size_t>(slots))));
    if (!held) shared.reset();  // then every use is transformed
    if (shared)
        for (int i = 0; i < slots; ++i) held[i] = -1;
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
            face.normal = cross(cb, ab);
        }
        int handed = 0;
        for (int i = start; i < end; ++i) {
            int idx = indices[i];
            if (idx < 0 || idx >= nvertices) continue;
            const bool last = ++handed == nvalid;
            if (!shared) {
                load(idx, v);
                PolygonVertex(pipeline_, v, last, face);
                continue;
            }
            const int slot = idx & (slots - 1);
            if (held[slot] != idx) {
                AttributeVertex* t = new (&shared[slot]) AttributeVertex();
                load(idx, *t);
                TransformObjectVertex(pipeline_, *t);
                held[slot] = idx;
            }
            TransformedVertex(pipeline_, shared[slot], last, face);
        }
    }
    return 0;
}

int REDirect::Subdivision(const std::string& vtype, const float* vertices, int nvertices, const int* faces,
                          int nfaces, const int* creases, int ncreases, const float* sharpness) {
    SubdividedSurface surface;
    int status = SubdivideCage(vtype, vertices, nvertices, faces, nfaces, creases, ncreases, sharpness,
                               state_.subdivisionLevel, surface);
    if (status != 0 || surface.faceCount == 0) return status;
    return PolySet(surface.vertexType, surface.vertexCount, surface.vertices.data(), surface.faceCount,
                   surface.indices.data());
}

}  // namespace kx
