// Polygon sets: the faces of a PolySet command or of a tessellated surface
// in a hierarchy of their own (face_hierarchy.h), hit in the set's
// coordinates, with the vertices' normals, texture coordinates and colours
// blended at the hit.
#include "engines/raytrace/objects.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "interface/vertex_type.h"
#include "surface/opacity.h"

namespace kx::raytrace {

int RTPolySet::build(const std::string& vertexType, int vertexCount, const float* data, int faceCount,
                     const int* indices) {
    const VertexType type = ReadVertexType(vertexType);
    if (!type.valid) return kErrVertexType;
    textureOffset = type.texture.first;
    colorOffset = type.color.first;
    // Where the direct engine reads a repeated O too: at the last.
    opacityOffset = type.opacity.last;
    return buildFaces(type.stride, type.position.first, vertexCount, data, faceCount, indices);
}

int RTPolySet::buildFaces(int vertexStride, int position, int vertexCount, const float* data, int faceCount,
                          const int* indices) {
    stride = vertexStride;
    positionOffset = position;
    hierarchy.clear();
    faces.clear();
    vertexData.clear();
    if (vertexCount <= 0 || faceCount <= 0 || positionOffset < 0 || !data || !indices) return 0;

    // Check the indices first.
    for (size_t k = 0, closed = 0; closed < static_cast<size_t>(faceCount); ++k) {
        int idx = indices[k];
        if (idx == -1)
            ++closed;
        else if (idx < 0 || idx >= vertexCount)
            return kErrVertexIndexRange;
    }
    vertexData.assign(data, data + static_cast<size_t>(vertexCount) * static_cast<size_t>(stride));
    faces.assign(vertexData.data() + positionOffset, static_cast<size_t>(stride), indices, faceCount);
    hierarchy.build(faces, faceCell);
    return 0;
}

bool RTPolySet::mayHit(double tmin, double tmax, const Ray& ray) const {
    double lo[3], hi[3];
    hierarchy.bounds(lo, hi);
    return SlabTest(lo, hi, toObject(ray), tmin, tmax);
}

bool RTPolySet::intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const {
    Ray o = toObject(ray);
    NearestFace local;
    if (!hierarchy.nearest(faces, o, tmin, tmax, local)) return false;
    const double th = local.t;
    t = th;
    const IndexedVertices vertices = faces.vertices(local.face);
    const int n = faces.sizeOf(local.face);
    const FacePlane plane = PlaneOf(vertices, n);
    if (normalOffset < 0 && textureOffset < 0 && colorOffset < 0 && opacityOffset < 0) {
        finishHit(ray, th, plane.N, hit);
        if (dot(o.direction, plane.N) > 0) hit.normal = -hit.normal;
        return true;
    }
    // Values of the vertices blended at the hit point.
    float w[4];
    const float* src[4];
    const float* const* cell = nullptr;
    if (!faceCell.empty()) {
        const int c = faceCell[local.face];
        if (c >= 0) cell = cellCorners.data() + c;
    }
    const int count = Blend(vertices, n, plane, local.point, o.direction, cell, src, w);
    Vector3 normal = plane.N;
    if (normalOffset >= 0) {
        Vector3 n;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + normalOffset;
            n += w[i] * Vector3(q[0], q[1], q[2]);
        }
        if (lengthSquared(n) > 0) normal = n;
    }
    finishHit(ray, th, normal, hit);
    // Every face is seen from the side the ray comes from.
    if (dot(o.direction, normal) > 0) hit.normal = -hit.normal;
    if (textureOffset >= 0) {
        float u = 0, v = 0;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + textureOffset;
            u += w[i] * q[0];
            v += w[i] * q[1];
        }
        hit.u = u;
        hit.v = v;
        hit.textured = true;
    }
    if (colorOffset >= 0) {
        ColorRGB c;
        for (int i = 0; i < count; ++i) {
            const float* q = src[i] - positionOffset + colorOffset;
            c += ColorRGB(q[0], q[1], q[2]) * w[i];
        }
        hit.color = c;
        hit.colored = true;
    }
    if (opacityOffset >= 0) {
        float o = 0;
        for (int i = 0; i < count; ++i) o += w[i] * (src[i] - positionOffset + opacityOffset)[0];
        hit.opacity = UnitOpacity(o);
    }
    return true;
}

bool RTPolySet::occludes(double tmin, double tmax, const Ray& ray) const {
    return hierarchy.any(faces, toObject(ray), tmin, tmax);
}

// ---- Building polygon sets from commands ----

namespace {

// Whether four corners lie in one plane, to within rounding.
bool Flat(const float* const c[4]) {
    Vector3 e1 = Point3(c[2]) - Point3(c[0]), e2 = Point3(c[3]) - Point3(c[1]);
    Vector3 n = cross(e1, e2);
    const double len = std::sqrt(lengthSquared(n));
    double size = 0;
    for (int k = 0; k < 4; ++k) size = std::fmax(size, lengthSquared(Point3(c[k]) - Point3(c[0])));
    size = std::sqrt(size);
    if (!(len > 0) || !(size > 0)) return true;  // a degenerate cell is flat
    double off = 0;
    for (int k = 1; k < 4; ++k) off = std::fmax(off, std::fabs(dot(n, Point3(c[k]) - Point3(c[0]))) / len);
    return off <= 1e-4 * size;
}

// The world box of the set's vertex positions carried by M.
void VertexBox(const RTPolySet& set, const Matrix4& M, Point3& lower, Point3& upper) {
    const size_t count = set.stride > 0 ? set.vertexData.size() / static_cast<size_t>(set.stride) : 0;
    for (size_t i = 0; i < count; ++i) {
        const float* p = set.vertexData.data() + i * set.stride + set.positionOffset;
        HPoint w = M * HPoint(p[0], p[1], p[2], 1);
        for (int k = 0; k < 3; ++k) {
            if (i == 0 || w[k] < lower[k]) lower[k] = w[k];
            if (i == 0 || w[k] > upper[k]) upper[k] = w[k];
        }
    }
}

}  // namespace

int BuildPolySet(const std::string& vertexType, int vertexCount, const float* vertexData, int faceCount,
                 const int* indices, const Matrix4& M, const Matrix4& Minv, BuiltObject& out,
                 const float* texelScale, bool colors) {
    out = BuiltObject();
    auto set = std::make_unique<RTPolySet>();
    int status;
    try {
        status = set->build(vertexType, vertexCount, vertexData, faceCount, indices);
    } catch (const std::bad_alloc&) {
        return kErrDisplayMemory;
    }
    if (status != 0 || set->hierarchy.empty()) return status;
    if (!colors) set->colorOffset = -1;
    if (!texelScale) {
        set->textureOffset = -1;
    } else if (set->textureOffset >= 0) {
        for (size_t i = static_cast<size_t>(set->textureOffset); i + 1 < set->vertexData.size(); i += set->stride) {
            set->vertexData[i] *= texelScale[0];
            set->vertexData[i + 1] *= texelScale[1];
        }
    }
    set->worldToObject = Minv;
    VertexBox(*set, M, out.lower, out.upper);
    out.object = std::move(set);
    return 0;
}

BuiltObject BuildSurfaceMesh(std::vector<float> vertices, int stride, int normalOffset, int textureOffset,
                             int colorOffset, const Matrix4& M, const Matrix4& Minv) {
    BuiltObject out;
    if (stride <= 0) return out;
    const size_t quads = vertices.size() / (4 * static_cast<size_t>(stride));
    if (quads == 0 || quads * 4 > static_cast<size_t>(INT32_MAX / 2)) return out;
    // A flat quadrilateral is one face; one that is not flat (a cell of a
    // hyperboloid or of a patch) is two triangles, whose union is what the
    // scan converter fills between its four projected corners.
    std::vector<int> indices;
    indices.reserve(quads * 8);
    int faces = 0;
    for (size_t q = 0; q < quads; ++q) {
        const int first = static_cast<int>(q * 4);
        const float* c[4];
        for (int k = 0; k < 4; ++k) c[k] = vertices.data() + static_cast<size_t>(first + k) * stride;
        if (Flat(c)) {
            indices.insert(indices.end(), {first, first + 1, first + 2, first + 3, -1});
            faces += 1;
        } else {
            indices.insert(indices.end(), {first, first + 1, first + 2, -1, first, first + 2, first + 3, -1});
            faces += 2;
        }
    }
    auto set = std::make_unique<RTPolySet>();
    set->normalOffset = normalOffset;
    set->textureOffset = textureOffset;
    set->colorOffset = colorOffset;
    // Both halves of a cell that is not flat blend the cell's four corners.
    if (faces > static_cast<int>(quads)) {
        set->faceCell.assign(static_cast<size_t>(faces), -1);
        size_t face = 0, pos = 0;
        for (size_t q = 0; q < quads && face < set->faceCell.size(); ++q) {
            // Flat cells are one face of four indices, split ones two of three.
            if (indices[pos + 3] != -1) {
                pos += 5;
                face += 1;
            } else {
                set->faceCell[face] = set->faceCell[face + 1] = static_cast<int>(q * 4);
                pos += 8;
                face += 2;
            }
        }
    }
    // The indices are made here and are right; only memory can fail, and
    // it fails as every allocation above does.
    if (set->buildFaces(stride, 0, static_cast<int>(quads * 4), vertices.data(), faces, indices.data()) != 0)
        throw std::bad_alloc();
    if (!set->faceCell.empty()) {
        set->cellCorners.resize(quads * 4);
        for (size_t k = 0; k < quads * 4; ++k) set->cellCorners[k] = set->vertexData.data() + k * stride;
    }
    if (set->hierarchy.empty()) return out;
    set->worldToObject = Minv;
    VertexBox(*set, M, out.lower, out.upper);
    out.object = std::move(set);
    return out;
}

BuiltObject BuildSharedMesh(std::vector<float> vertices, int stride, const std::vector<int>& indices, int faceCount,
                            int normalOffset, int textureOffset, int colorOffset, const Matrix4& M,
                            const Matrix4& Minv) {
    BuiltObject out;
    if (stride <= 0 || faceCount <= 0 || indices.size() > static_cast<size_t>(INT32_MAX / 2)) return out;
    const float* base = vertices.data();
    // The faces as hit: each quadrilateral that is not flat as two
    // triangles that blend its four corners. split has one value a face
    // made: where its cell's corners start in indices, -1 for a face of
    // its own.
    std::vector<int> faces, split;
    faces.reserve(indices.size() + indices.size() / 2);
    int count = 0;
    bool anySplit = false;
    for (size_t k = 0; k < indices.size();) {
        size_t end = k;
        while (indices[end] != -1) ++end;
        const float* c[4];
        if (end - k == 4)
            for (int j = 0; j < 4; ++j) c[j] = base + static_cast<size_t>(indices[k + j]) * stride;
        if (end - k == 4 && !Flat(c)) {
            const int* q = indices.data() + k;
            faces.insert(faces.end(), {q[0], q[1], q[2], -1, q[0], q[2], q[3], -1});
            split.push_back(static_cast<int>(k));
            split.push_back(static_cast<int>(k));
            count += 2;
            anySplit = true;
        } else {
            faces.insert(faces.end(), indices.begin() + static_cast<std::ptrdiff_t>(k),
                         indices.begin() + static_cast<std::ptrdiff_t>(end) + 1);
            split.push_back(-1);
            count += 1;
        }
        k = end + 1;
    }
    auto set = std::make_unique<RTPolySet>();
    set->normalOffset = normalOffset;
    set->textureOffset = textureOffset;
    set->colorOffset = colorOffset;
    set->stride = stride;
    set->positionOffset = 0;
    set->vertexData = std::move(vertices);
    base = set->vertexData.data();
    if (anySplit) {
        // Each split cell's corners, once, and each face's first corner.
        set->faceCell.assign(split.size(), -1);
        for (size_t f = 0; f < split.size(); ++f) {
            if (split[f] < 0) continue;
            if (f > 0 && split[f - 1] == split[f]) {
                set->faceCell[f] = set->faceCell[f - 1];
                continue;
            }
            set->faceCell[f] = static_cast<int>(set->cellCorners.size());
            for (int j = 0; j < 4; ++j)
                set->cellCorners.push_back(base + static_cast<size_t>(indices[static_cast<size_t>(split[f]) + j]) *
                                                      static_cast<size_t>(stride));
        }
    }
    split = std::vector<int>();
    set->faces.assign(base, static_cast<size_t>(stride), faces.data(), count);
    set->hierarchy.build(set->faces, set->faceCell);
    if (set->hierarchy.empty()) return out;
    set->worldToObject = Minv;
    VertexBox(*set, M, out.lower, out.upper);
    out.object = std::move(set);
    return out;
}

}  // namespace kx::raytrace
