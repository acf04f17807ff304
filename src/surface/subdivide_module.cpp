// kxrender-subdivide.so: Catmull-Clark refinement of a Subdivision cage
// through OpenSubdiv's Far layer, loaded by kxrender when a scene first asks
// for it (subdivide.cpp). The cage is checked here first, so that the
// library only ever sees a manifold of polygons; its reports are swallowed,
// and nothing it throws leaves kx_subdivide_cage. Only the three functions
// of subdivide_module.h are exported (the module is built with hidden
// visibility).
#include "surface/subdivide_module.h"

#include <opensubdiv/far/error.h>
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>

#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/limits.h"
#include "core/math.h"

namespace kx {

namespace {

namespace Far = OpenSubdiv::Far;
namespace Sdc = OpenSubdiv::Sdc;

// The most vertices of one face, and of faces and edges around one vertex,
// that the library's local indices count.
constexpr int kMaxValence = (1 << 16) - 1;

// The values refined with the positions: position, colour, texture.
struct Primvar {
    float v[8];
    void Clear() {
        for (float& x : v) x = 0;
    }
    void AddWithWeight(const Primvar& src, float weight) {
        for (int i = 0; i < 8; ++i) v[i] += weight * src.v[i];
    }
};

// A limit tangent (the position part of a primvar).
struct Tangent {
    float x, y, z;
    void Clear() { x = y = z = 0; }
    void AddWithWeight(const Primvar& src, float weight) {
        x += weight * src.v[0];
        y += weight * src.v[1];
        z += weight * src.v[2];
    }
};

// Where the limit positions go: nowhere (the refined positions are drawn).
struct Discard {
    struct Value {
        void Clear() {}
        void AddWithWeight(const Primvar&, float) {}
    } value;
    Value& operator[](int) { return value; }
};

// The refined surface as it is made; handed out through its out member.
struct Surface {
    KxSurfaceOut out{};
    std::vector<float> vertices;
    std::vector<int> indices;
    int stride = 6;
    int colorOffset = -1, textureOffset = -1;
    int vertexCount = 0, faceCount = 0;
};

void Quiet(Far::ErrorType, const char*) {}
void QuietWarning(const char*) {}

// The library's reports go nowhere: set once, as the module is loaded, so
// that refinements never write the library's globals.
struct QuietLibrary {
    QuietLibrary() {
        Far::SetErrorCallback(Quiet);
        Far::SetWarningCallback(QuietWarning);
    }
} quietLibrary;

// The checks of the cage's faces: indices in range, at least three
// vertices, none twice. Also counts the face corners and marks the
// vertices in use (used[v] = 1).
int CheckFaces(const int* faces, int nfaces, int nvertices, std::vector<int>& stamp, long long& corners) {
    corners = 0;
    size_t k = 0;
    for (int f = 0; f < nfaces; ++f) {
        int size = 0;
        for (; faces[k] != -1; ++k, ++size) {
            const int v = faces[k];
            if (v < 0 || v >= nvertices) return kErrVertexIndexRange;
            if (stamp[static_cast<size_t>(v)] == f) return kErrSubdivisionCage;
            stamp[static_cast<size_t>(v)] = f;
        }
        ++k;
        if (size < 3 || size > kMaxValence) return kErrSubdivisionCage;
        corners += size;
    }
    return 0;
}

int Refine(const KxCageIn& in, Surface& out) {
    const float* const vertices = in.vertices;
    const int* const faces = in.faces;
    const int* const creases = in.creases;
    const float* const sharpness = in.sharpness;
    const int nvertices = in.nvertices, nfaces = in.nfaces, ncreases = in.ncreases, level = in.level;
    std::vector<int> stamp(static_cast<size_t>(nvertices), -1);
    long long corners = 0;
    if (int s = CheckFaces(faces, nfaces, nvertices, stamp, corners)) return s;
    long long refined = level == 0 ? nfaces : corners;
    for (int l = 1; l < level; ++l) refined *= 4;
    if (refined > kMaxSubdivisionFaces) return kErrSubdivisionSize;

    // The vertices in use, numbered in order; the others are left out.
    std::vector<int>& id = stamp;
    int used = 0;
    for (int& s : id) s = s >= 0 ? used++ : -1;
    std::vector<int> sizes(static_cast<size_t>(nfaces));
    std::vector<int> cage;
    cage.reserve(static_cast<size_t>(corners));
    for (size_t k = 0, f = 0; f < sizes.size(); ++k) {
        if (faces[k] == -1) {
            ++f;
            continue;
        }
        cage.push_back(id[static_cast<size_t>(faces[k])]);
        ++sizes[f];
    }
    // Each crease chain's edges with their sharpness; 10 or more is
    // infinitely sharp.
    std::vector<int> pairs;
    std::vector<float> weights;
    for (size_t k = 0, w = 0, chain = 0; chain < static_cast<size_t>(ncreases); ++k) {
        const int v = creases[k];
        if (v == -1) {
            ++chain;
            continue;
        }
        if (v < 0 || v >= nvertices) return kErrVertexIndexRange;
        if (creases[k + 1] == -1) continue;
        const int next = creases[k + 1];
        if (next < 0 || next >= nvertices) return kErrVertexIndexRange;
        if (id[static_cast<size_t>(v)] < 0 || id[static_cast<size_t>(next)] < 0 || v == next)
            return kErrSubdivisionCage;
        float s = sharpness ? sharpness[w++] : 0;
        s = s > 0 ? (s < Sdc::Crease::SHARPNESS_INFINITE ? s : Sdc::Crease::SHARPNESS_INFINITE) : 0;  // NaN: 0
        pairs.push_back(id[static_cast<size_t>(v)]);
        pairs.push_back(id[static_cast<size_t>(next)]);
        weights.push_back(s);
    }

    Far::TopologyDescriptor desc;
    desc.numVertices = used;
    desc.numFaces = nfaces;
    desc.numVertsPerFace = sizes.data();
    desc.vertIndicesPerFace = cage.data();
    desc.numCreases = static_cast<int>(weights.size());
    desc.creaseVertexIndexPairs = pairs.data();
    desc.creaseWeights = weights.data();
    Sdc::Options options;
    options.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_AND_CORNER);
    std::unique_ptr<Far::TopologyRefiner> refiner(Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Create(
        desc, Far::TopologyRefinerFactory<Far::TopologyDescriptor>::Options(Sdc::SCHEME_CATMARK, options)));
    if (!refiner) return kErrSubdivisionCage;
    {
        const Far::TopologyLevel& base = refiner->GetLevel(0);
        for (int e = 0; e < base.GetNumEdges(); ++e)
            if (base.IsEdgeNonManifold(e)) return kErrSubdivisionCage;
        for (int v = 0; v < base.GetNumVertices(); ++v)
            if (base.IsVertexNonManifold(v) || base.GetVertexEdges(v).size() > kMaxValence) return kErrSubdivisionCage;
        for (size_t p = 0; p < pairs.size(); p += 2)
            if (base.FindEdge(pairs[p], pairs[p + 1]) == OpenSubdiv::Far::INDEX_INVALID) return kErrSubdivisionCage;
    }
    sizes = std::vector<int>();
    cage = std::vector<int>();
    if (level > 0) {
        Far::TopologyRefiner::UniformOptions uniform(level);
        uniform.fullTopologyInLastLevel = true;
        refiner->RefineUniform(uniform);
    }

    // The cage's values, then every level's from the one before.
    const bool hasColor = in.colorAt >= 0, hasTexture = in.textureAt >= 0;
    const size_t stride = static_cast<size_t>(in.stride);
    std::vector<Primvar> coarse(static_cast<size_t>(used)), fine;
    for (int v = 0; v < nvertices; ++v) {
        if (id[static_cast<size_t>(v)] < 0) continue;
        const float* src = vertices + static_cast<size_t>(v) * stride;
        Primvar& p = coarse[static_cast<size_t>(id[static_cast<size_t>(v)])];
        p.Clear();
        for (int j = 0; j < 3; ++j) p.v[j] = src[in.positionAt + j];
        if (hasColor)
            for (int j = 0; j < 3; ++j) p.v[3 + j] = src[in.colorAt + j];
        if (hasTexture)
            for (int j = 0; j < 2; ++j) p.v[6 + j] = src[in.textureAt + j];
    }
    id = std::vector<int>();
    // The last level's faces and tangents, and its vertices on an
    // infinitely sharp crease; then the refiner goes.
    int count = 0;
    std::vector<Tangent> tan1, tan2;
    std::vector<char> fold;
    std::vector<int>& indices = out.indices;
    {
        Far::PrimvarRefiner primvars(*refiner);
        for (int l = 1; l <= level; ++l) {
            fine.resize(static_cast<size_t>(refiner->GetLevel(l).GetNumVertices()));
            const Primvar* parent = coarse.data();
            Primvar* child = fine.data();
            primvars.Interpolate(l, parent, child);
            coarse.swap(fine);
        }
        fine = std::vector<Primvar>();
        const Far::TopologyLevel& last = refiner->GetLevel(level);
        count = last.GetNumVertices();
        tan1.resize(static_cast<size_t>(count));
        tan2.resize(static_cast<size_t>(count));
        const Primvar* src = coarse.data();
        Tangent* t1 = tan1.data();
        Tangent* t2 = tan2.data();
        Discard positions;
        primvars.Limit(src, positions, t1, t2);
        indices.reserve(static_cast<size_t>(last.GetNumFaceVertices() + last.GetNumFaces()));
        for (int f = 0; f < last.GetNumFaces(); ++f) {
            for (const int v : last.GetFaceVertices(f)) indices.push_back(v);
            indices.push_back(-1);
        }
        fold.assign(static_cast<size_t>(count), 0);
        for (int e = 0; e < last.GetNumEdges(); ++e) {
            if (!last.IsEdgeInfSharp(e) || last.IsEdgeBoundary(e)) continue;
            const auto ev = last.GetEdgeVertices(e);
            fold[static_cast<size_t>(ev[0])] = fold[static_cast<size_t>(ev[1])] = 1;
        }
    }
    refiner.reset();

    // Normals: the limit surface's, turned to the side the faces' own
    // normals (as a PolySet takes them) show; where the tangents give none,
    // the faces' sum. Vertices on an infinitely sharp crease take each
    // face's own normal, in a copy for each face.
    auto faceNormal = [&](size_t k) {  // the face starting at indices[k]
        Vector3 n;
        const float* o = coarse[static_cast<size_t>(indices[k])].v;
        for (size_t i = k + 2; indices[i] != -1; ++i) {
            const float* a = coarse[static_cast<size_t>(indices[i - 1])].v;
            const float* b = coarse[static_cast<size_t>(indices[i])].v;
            n += cross(Vector3(a[0] - o[0], a[1] - o[1], a[2] - o[2]), Vector3(b[0] - o[0], b[1] - o[1], b[2] - o[2]));
        }
        return n;
    };
    std::vector<Vector3> around(static_cast<size_t>(count));
    int nfine = 0;
    size_t folded = 0;
    for (size_t k = 0; k < indices.size(); ++k, ++nfine) {
        const Vector3 n = faceNormal(k);
        for (; indices[k] != -1; ++k) {
            around[static_cast<size_t>(indices[k])] += n;
            folded += fold[static_cast<size_t>(indices[k])];
        }
    }
    auto unit = [](Vector3 n) {
        const double len = std::sqrt(lengthSquared(n));
        return len > 0 && std::isfinite(len) ? n * static_cast<float>(1 / len) : Vector3(0, 0, 1);
    };
    const int colorAt = 6, textureAt = hasColor ? 9 : 6;
    out.stride = 6 + (hasColor ? 3 : 0) + (hasTexture ? 2 : 0);
    out.colorOffset = hasColor ? colorAt : -1;
    out.textureOffset = hasTexture ? textureAt : -1;
    std::vector<float>& data = out.vertices;
    auto put = [&](int v, const Vector3& n) {
        const float* p = coarse[static_cast<size_t>(v)].v;
        data.insert(data.end(), {p[0], p[1], p[2], n.x, n.y, n.z});
        if (hasColor) data.insert(data.end(), {p[3], p[4], p[5]});
        if (hasTexture) data.insert(data.end(), {p[6], p[7]});
    };
    data.reserve((static_cast<size_t>(count) + folded) * static_cast<size_t>(out.stride));
    for (int v = 0; v < count; ++v) {
        const Tangent& a = tan1[static_cast<size_t>(v)];
        const Tangent& b = tan2[static_cast<size_t>(v)];
        Vector3 n = cross(Vector3(a.x, a.y, a.z), Vector3(b.x, b.y, b.z));
        const Vector3& sum = around[static_cast<size_t>(v)];
        const double len = lengthSquared(n);
        if (!(len > 0) || !std::isfinite(len)) n = sum;
        if (dot(n, sum) < 0) n = -n;
        put(v, unit(n));
    }
    tan1 = std::vector<Tangent>();
    tan2 = std::vector<Tangent>();
    around = std::vector<Vector3>();
    int next = count;
    if (folded > 0) {
        for (size_t k = 0; k < indices.size(); ++k) {
            const Vector3 n = unit(faceNormal(k));
            for (; indices[k] != -1; ++k) {
                if (!fold[static_cast<size_t>(indices[k])]) continue;
                put(indices[k], n);
                indices[k] = next++;
            }
        }
    }
    out.vertexCount = next;
    out.faceCount = nfine;
    return 0;
}

}  // namespace

}  // namespace kx

extern "C" {

__attribute__((visibility("default"))) int kx_subdivide_abi(void) { return KX_SUBDIVIDE_ABI; }

__attribute__((visibility("default"))) int kx_subdivide_cage(const KxCageIn* cage, KxSurfaceOut** result) {
    using kx::Surface;
    *result = nullptr;
    Surface* surface = nullptr;
    int status;
    try {
        surface = new Surface();
        status = cage->nvertices <= 0 || cage->nfaces <= 0 || !cage->vertices || !cage->faces
                     ? 0
                     : kx::Refine(*cage, *surface);
    } catch (const std::bad_alloc&) {
        status = kx::kErrDisplayMemory;
    } catch (...) {
        status = kx::kErrSubdivisionCage;
    }
    if (status != 0) {
        delete surface;
        return status;
    }
    KxSurfaceOut& out = surface->out;
    out.vertices = surface->vertices.data();
    out.indices = surface->indices.data();
    out.indexCount = surface->indices.size();
    out.stride = surface->stride;
    out.colorOffset = surface->colorOffset;
    out.textureOffset = surface->textureOffset;
    out.vertexCount = surface->vertexCount;
    out.faceCount = surface->faceCount;
    out.owner = surface;
    *result = &out;
    return 0;
}

__attribute__((visibility("default"))) void kx_subdivide_free(KxSurfaceOut* surface) {
    if (surface) delete static_cast<kx::Surface*>(surface->owner);
}

}  // extern "C"
