// The faces of one polygon set and the hierarchy of boxes over them that
// its rays walk.
//
// The faces are stored as indices into the set's vertex positions, in the
// order of the hierarchy's leaves. The hierarchy is built top down with the
// surface-area heuristic over 16 bins of the faces' centroids, on every
// axis (a node of many faces bins an even sample of them), partitioning
// one array of face numbers in place; a face's box and
// centroid are read from its vertices when needed, so that the build keeps
// nothing per face but that array. Nodes are 32 bytes: a box in single
// precision (the corners are vertex coordinates, so exact) and the place of
// the second child or of the leaf's faces, laid out depth first. Each face
// keeps its number in the index list it came from.
//
// A query tests each node's box exactly as SlabTest does over [tmin, t],
// t the nearest hit found so far, and each face of a leaf it reaches
// against the face's own box over the query's whole interval, then against
// the face itself; it visits the children in the order the ray's direction
// gives along the axis they were split on. The nearest hit is the one of
// least t; of hits at the same t the face last in the index list wins, as
// a later face found at the same t took the place of an earlier one,
// whatever the shape of the hierarchy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/math.h"
#include "engines/raytrace/face_geometry.h"

namespace kx::raytrace {

struct FaceNode {
    float lower[3];
    float upper[3];
    // A leaf: its first face; an interior node: its second child (the first
    // follows the node).
    uint32_t index;
    // A leaf: (count << 2) | 3, count >= 1; an interior node: the axis its
    // children were split on (0, 1, 2).
    uint32_t info;
};
static_assert(sizeof(FaceNode) == 32, "a node is 32 bytes");

// The faces of a polygon set: their vertex indices, in the hierarchy's order.
class FaceList {
public:
    // The count of faces, those without vertices (or with a vertex
    // coordinate that is not finite, which no ray hits) included.
    size_t size() const { return count_; }
    int sizeOf(uint32_t f) const {
        return starts_.empty() ? uniform_ : static_cast<int>(starts_[f + 1] - starts_[f]);
    }
    // The place of stored face f in the index list it came from.
    uint32_t number(uint32_t f) const { return numbers_.empty() ? f : numbers_[f]; }
    IndexedVertices vertices(uint32_t f) const {
        const size_t first = starts_.empty() ? static_cast<size_t>(f) * static_cast<size_t>(uniform_) : starts_[f];
        return {positions_, indices_.data() + first, stride_};
    }

    // Takes the faces of an index list (each face's indices closed by -1,
    // every index checked) over vertices of stride floats whose positions
    // start at positions. Throws std::bad_alloc.
    void assign(const float* positions, size_t stride, const int* indices, int faceCount);
    // Puts face order[i] at place i, i = 0 .. size() - 1, and makes perFace
    // (one value a face, or empty) follow. order becomes the faces' numbers.
    void reorder(std::vector<uint32_t>& order, std::vector<int>& perFace);
    void clear();

private:
    const float* positions_ = nullptr;
    size_t stride_ = 0;
    size_t count_ = 0;
    int uniform_ = 0;               // the vertices of every face, when starts_ is empty
    std::vector<int> indices_;      // without the closing -1
    std::vector<uint32_t> starts_;  // each face's first index and the end, unless uniform
    std::vector<uint32_t> numbers_;  // see number(); empty before a reorder
};

// Where a ray meets the nearest face.
struct NearestFace {
    double t;
    Point3 point;
    uint32_t face;
};

class FaceHierarchy {
public:
    FaceHierarchy() = default;
    FaceHierarchy(const FaceHierarchy&) = delete;
    FaceHierarchy& operator=(const FaceHierarchy&) = delete;
    ~FaceHierarchy() { clear(); }

    // Builds the hierarchy over the faces and stores them in its order
    // (perFace follows). Faces without vertices or with a coordinate that
    // is not finite are left out. Throws std::bad_alloc.
    void build(FaceList& faces, std::vector<int>& perFace);
    void clear();
    bool empty() const { return count_ == 0; }
    size_t nodeCount() const { return count_; }
    int height() const;
    // The box of the faces in the hierarchy (all zeros when empty).
    void bounds(double lower[3], double upper[3]) const;

    // The nearest hit over (tmin, tmax] (faces ignore tmin: [0, tmax]).
    bool nearest(const FaceList& faces, const Ray& ray, double tmin, double tmax, NearestFace& hit) const;
    // Whether a face occludes the ray over [0, tmax].
    bool any(const FaceList& faces, const Ray& ray, double tmin, double tmax) const;

private:
    // Allocated for the most nodes a build can make, and given back down to
    // those made: the pages never written are never used.
    FaceNode* nodes_ = nullptr;
    size_t count_ = 0;
};

}  // namespace kx::raytrace
