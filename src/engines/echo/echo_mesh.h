// The world mesh of the echo engine: all polygon sets and tessellated
// patches of one world merged into one indexed polygon mesh with positions
// only. Vertices are shared by exact position; indices run from 0 in order of
// first appearance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/math.h"

namespace kx {

// How the echo engine reads a vertex type string: floats per vertex and
// where the position lies in a vertex (-1 when the type has no P).
struct EchoLayout {
    int stride = 0;
    int position = -1;
};

// The stride of the vertex type (interface/vertex_type.h) and the offset of its
// position. Returns 0, or -10 for a character outside the vertex letters.
int ParseEchoLayout(const std::string& vtype, EchoLayout& layout);

class WorldMesh {
public:
    // Empties the mesh and gives its memory back.
    void clear();

    // Looks a position up, inserting it when it is new. Positions compare
    // exactly, except that -0 equals 0 and every NaN equals every NaN.
    // Returns the vertex index, or -1 when the mesh is full (int range).
    // May throw std::bad_alloc; the engine turns that into an error code.
    int findOrInsert(float x, float y, float z);

    // Appends a vertex index to the current polygon unless it repeats the
    // last one (consecutive repeats collapse). Returns 0.
    int appendIndex(int index) {
        if (!indices_.empty() && indices_.back() == index) return 0;
        indices_.push_back(index);
        return 0;
    }
    int addVertex(float x, float y, float z) {
        int index = findOrInsert(x, y, z);
        if (index < 0) return -1;
        return appendIndex(index);
    }
    // Ends the current polygon. Returns 0, or -1 when the polygon count is
    // at its limit.
    int endPolygon();

    int vertexCount() const { return static_cast<int>(coords_.size() / 3); }
    int polygonCount() const { return polygons_; }
    const std::vector<float>& coords() const { return coords_; }
    // Each polygon's indices followed by -1.
    const std::vector<int>& indices() const { return indices_; }

private:
    void grow();
    size_t slotOf(uint32_t kx, uint32_t ky, uint32_t kz) const;

    std::vector<float> coords_;  // x, y, z per vertex, in index order
    std::vector<int> indices_;
    int polygons_ = 0;
    // Open-addressing hash table of vertex indices (-1 = empty slot); its
    // size is a power of two and at most half of it is in use.
    std::vector<int32_t> slots_;
};

// Tessellates a Bezier patch into the mesh. Control point (i, j) starts at
// data[(j * (udegree + 1) + i) * layout.stride]; only its position is used.
// A direction of degree 2 or more is cut into `divisions` segments, one of
// lower degree into a single segment. Returns 0 or -1 when the mesh is full.
int TessellatePatch(WorldMesh& mesh, const float* data, const EchoLayout& layout, int udegree, int vdegree,
                    int divisions);

}  // namespace kx
