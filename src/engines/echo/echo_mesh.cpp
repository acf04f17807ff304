#include "engines/echo/echo_mesh.h"

#include <bit>
#include <climits>

#include "core/errors.h"
#include "interface/vertex_type.h"

namespace kx {

int ParseEchoLayout(const std::string& vtype, EchoLayout& layout) {
    // The types the parser reads (no O); a layout keeps the offset of the
    // last P it reads.
    const VertexType type = ReadVertexType(vtype);
    if (!type.valid || type.opacity.present()) return kErrVertexType;
    layout.stride = type.stride;
    layout.position = type.position.last;
    return 0;
}

namespace {

// The key of one coordinate: its bit pattern, with both zeros folded into +0
// and every NaN into one NaN, so that equal keys mean equal positions.
inline uint32_t KeyBits(float f) {
    if (f == 0) return 0;
    if (f != f) return 0x7fc00000u;
    return std::bit_cast<uint32_t>(f);
}

inline uint64_t Mix(uint64_t h) {
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    h ^= h >> 31;
    return h;
}

constexpr size_t kFirstTableSize = 64;

}  // namespace

void WorldMesh::clear() {
    std::vector<float>().swap(coords_);
    std::vector<int>().swap(indices_);
    std::vector<int32_t>().swap(slots_);
    polygons_ = 0;
}

size_t WorldMesh::slotOf(uint32_t kx, uint32_t ky, uint32_t kz) const {
    uint64_t h = Mix((static_cast<uint64_t>(kx) << 32 | ky) ^ Mix(kz + 0x9e3779b97f4a7c15ull));
    return static_cast<size_t>(h) & (slots_.size() - 1);
}

void WorldMesh::grow() {
    size_t size = slots_.empty() ? kFirstTableSize : slots_.size() * 2;
    std::vector<int32_t> fresh(size, -1);
    slots_.swap(fresh);
    const size_t mask = slots_.size() - 1;
    const int count = vertexCount();
    for (int v = 0; v < count; ++v) {
        const float* c = &coords_[3 * static_cast<size_t>(v)];
        size_t s = slotOf(KeyBits(c[0]), KeyBits(c[1]), KeyBits(c[2]));
        while (slots_[s] >= 0) s = (s + 1) & mask;
        slots_[s] = v;
    }
}

int WorldMesh::findOrInsert(float x, float y, float z) {
    const uint32_t kx = KeyBits(x), ky = KeyBits(y), kz = KeyBits(z);
    if (slots_.empty()) grow();
    const size_t mask = slots_.size() - 1;
    size_t s = slotOf(kx, ky, kz);
    for (;;) {
        int32_t v = slots_[s];
        if (v < 0) break;
        const float* c = &coords_[3 * static_cast<size_t>(v)];
        if (KeyBits(c[0]) == kx && KeyBits(c[1]) == ky && KeyBits(c[2]) == kz) return v;
        s = (s + 1) & mask;
    }
    const int index = vertexCount();
    if (index == INT_MAX) return -1;
    coords_.push_back(x);
    coords_.push_back(y);
    coords_.push_back(z);
    slots_[s] = index;
    if (static_cast<size_t>(index + 1) * 2 > slots_.size()) grow();
    return index;
}

int WorldMesh::endPolygon() {
    if (polygons_ == INT_MAX) return -1;
    indices_.push_back(-1);
    ++polygons_;
    return 0;
}

namespace {

// One de Casteljau reduction of n + 1 points at parameter t, in place; the
// result is left in p[0]. Every step is rounded to single precision.
void Reduce(Point3* p, int n, float t) {
    for (int remaining = n; remaining > 0; --remaining) {
        for (int k = 0; k < remaining; ++k) {
            p[k].x = p[k].x + (p[k + 1].x - p[k].x) * t;
            p[k].y = p[k].y + (p[k + 1].y - p[k].y) * t;
            p[k].z = p[k].z + (p[k + 1].z - p[k].z) * t;
        }
    }
}

}  // namespace

int TessellatePatch(WorldMesh& mesh, const float* data, const EchoLayout& layout, int udegree, int vdegree,
                    int divisions) {
    if (layout.position < 0 || udegree < 0 || vdegree < 0 || !data) return 0;
    const int nu = udegree >= 2 ? divisions : 1;
    const int nv = vdegree >= 2 ? divisions : 1;
    if (nu <= 0 || nv <= 0) return 0;

    const size_t rowLength = static_cast<size_t>(udegree) + 1;
    const size_t rows = static_cast<size_t>(vdegree) + 1;
    const size_t stride = static_cast<size_t>(layout.stride);
    const size_t columns = static_cast<size_t>(nu) + 1;
    const size_t gridRows = static_cast<size_t>(nv) + 1;

    // The surface at every grid parameter (c / nu, r / nv). The reduction of
    // the rows along u depends on u alone, so it is done once per column;
    // the values are those of evaluating every point from the control
    // points afresh.
    std::vector<Point3> grid(columns * gridRows);
    std::vector<Point3> work(rowLength > rows ? rowLength : rows);
    std::vector<Point3> rowPoints(rows);
    std::vector<float> vs(gridRows);
    for (size_t r = 0; r < gridRows; ++r) vs[r] = static_cast<float>(r) / static_cast<float>(nv);
    for (size_t c = 0; c < columns; ++c) {
        const float u = static_cast<float>(c) / static_cast<float>(nu);
        for (size_t j = 0; j < rows; ++j) {
            for (size_t i = 0; i < rowLength; ++i)
                work[i] = Point3(data + (j * rowLength + i) * stride + static_cast<size_t>(layout.position));
            Reduce(work.data(), udegree, u);
            rowPoints[j] = work[0];
        }
        for (size_t r = 0; r < gridRows; ++r) {
            for (size_t j = 0; j < rows; ++j) work[j] = rowPoints[j];
            Reduce(work.data(), vdegree, vs[r]);
            grid[r * columns + c] = work[0];
        }
    }

    // Quadrilaterals row by row, corners in the order A, A', B', B. Each
    // grid point is looked up at its first use; later uses get the same
    // index the table would give.
    std::vector<int> gridIndex(grid.size(), -1);
    auto add = [&](size_t g) {
        if (gridIndex[g] < 0) {
            gridIndex[g] = mesh.findOrInsert(grid[g].x, grid[g].y, grid[g].z);
            if (gridIndex[g] < 0) return -1;
        }
        return mesh.appendIndex(gridIndex[g]);
    };
    for (size_t r = 0; r < static_cast<size_t>(nv); ++r) {
        for (size_t c = 1; c < columns; ++c) {
            const size_t a = r * columns + c - 1, b = (r + 1) * columns + c - 1;
            if (add(a) || add(a + 1) || add(b + 1) || add(b) || mesh.endPolygon()) return -1;
        }
    }
    return 0;
}

}  // namespace kx
