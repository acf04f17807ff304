// The faces of a polygon set in the order of their hierarchy, the binned
// surface-area build of the hierarchy, and its queries.
#include "engines/raytrace/face_hierarchy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

#include <emmintrin.h>

#include "engines/raytrace/slab_ray.h"

namespace kx::raytrace {

// ---- The faces ----

void FaceList::assign(const float* positions, size_t stride, const int* indices, int faceCount) {
    clear();
    positions_ = positions;
    stride_ = stride;
    count_ = faceCount > 0 ? static_cast<size_t>(faceCount) : 0;
    size_t entries = 0, k = 0;
    int first = -1;
    bool uniform = true;
    for (size_t f = 0; f < count_; ++f, ++k) {
        const size_t start = k;
        while (indices[k] != -1) ++k;
        const int n = static_cast<int>(k - start);
        if (first < 0) first = n;
        uniform = uniform && n == first;
        entries += static_cast<size_t>(n);
    }
    const bool keepStarts = !uniform || first <= 0;
    indices_.reserve(entries);
    if (keepStarts) starts_.reserve(count_ + 1);
    k = 0;
    for (size_t f = 0; f < count_; ++f, ++k) {
        if (keepStarts) starts_.push_back(static_cast<uint32_t>(indices_.size()));
        for (; indices[k] != -1; ++k) indices_.push_back(indices[k]);
    }
    if (keepStarts) starts_.push_back(static_cast<uint32_t>(indices_.size()));
    uniform_ = keepStarts ? 0 : first;
}

void FaceList::reorder(std::vector<uint32_t>& order, std::vector<int>& perFace) {
    if (!perFace.empty()) {
        std::vector<int> moved(perFace.size());
        for (size_t i = 0; i < order.size(); ++i) moved[i] = perFace[order[i]];
        perFace.swap(moved);
    }
    if (!starts_.empty()) {
        std::vector<int> indices;
        std::vector<uint32_t> starts;
        indices.reserve(indices_.size());
        starts.reserve(starts_.size());
        for (uint32_t f : order) {
            starts.push_back(static_cast<uint32_t>(indices.size()));
            indices.insert(indices.end(), indices_.begin() + starts_[f], indices_.begin() + starts_[f + 1]);
        }
        starts.push_back(static_cast<uint32_t>(indices.size()));
        indices_.swap(indices);
        starts_.swap(starts);
        numbers_.swap(order);
        return;
    }
    // Every face has uniform_ indices: the records move in place, cycle by
    // cycle, a place marked done in order's top bit.
    constexpr uint32_t kDone = 0x80000000u;
    const size_t n = static_cast<size_t>(uniform_);
    std::vector<int> held(n);
    int* data = indices_.data();
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] & kDone) continue;
        std::copy(data + i * n, data + i * n + n, held.begin());
        size_t to = i;
        for (;;) {
            const size_t from = order[to];
            order[to] |= kDone;
            if (from == i) {
                std::copy(held.begin(), held.end(), data + to * n);
                break;
            }
            std::copy(data + from * n, data + from * n + n, data + to * n);
            to = from;
        }
    }
    for (uint32_t& f : order) f &= ~kDone;
    numbers_.swap(order);
}

void FaceList::clear() {
    std::vector<int>().swap(indices_);
    std::vector<uint32_t>().swap(starts_);
    std::vector<uint32_t>().swap(numbers_);
    count_ = 0;
    uniform_ = 0;
}
// ---- The build ----

namespace {

constexpr int kBins = 16;
constexpr uint32_t kLeafAlways = 4;  // faces a node keeps without looking for a split
constexpr uint32_t kMaxLeaf = 8;     // faces a leaf may hold
constexpr int kSahDepth = 64;        // deeper nodes are halved: no walk needs more than kStack
constexpr int kStack = 128;
constexpr double kNodeCost = 1;  // a node's test against a face's
// A node of more faces than kSampleFrom chooses its split from about
// kSample of them, evenly spread over its range; the split itself and the
// children's boxes take every face.
constexpr uint32_t kSampleFrom = 8192;
constexpr uint32_t kSample = 2048;
constexpr uint32_t kNone = UINT32_MAX;

// A box, x, y and z in the first three lanes (the fourth is not used).
struct Box {
    __m128 lo, hi;
    static Box Empty() { return {_mm_set1_ps(HUGE_VALF), _mm_set1_ps(-HUGE_VALF)}; }
    // The box of the point at q (x, y, z; nothing read past z).
    static Box Point(const float* q) {
        const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)));  // unaligned
        const __m128 p = _mm_movelh_ps(xy, _mm_load_ss(q + 2));
        return {p, p};
    }
    // minps and maxps: the coordinates are numbers.
    void grow(__m128 l, __m128 h) {
        lo = _mm_min_ps(l, lo);
        hi = _mm_max_ps(h, hi);
    }
    void grow(const Box& b) { grow(b.lo, b.hi); }
    void store(float lower[3], float upper[3]) const {
        float l[4], h[4];
        _mm_storeu_ps(l, lo);
        _mm_storeu_ps(h, hi);
        for (int k = 0; k < 3; ++k) lower[k] = l[k], upper[k] = h[k];
    }
    double halfArea() const {
        float l[3], h[3];
        store(l, h);
        if (!(l[0] <= h[0])) return 0;
        const double dx = double(h[0]) - l[0], dy = double(h[1]) - l[1], dz = double(h[2]) - l[2];
        return dx * dy + dx * dz + dy * dz;
    }
};

// The box and centroid of face f (which has vertices).
inline void FaceBounds(const FaceList& faces, uint32_t f, Box& b, __m128& c) {
    const IndexedVertices v = faces.vertices(f);
    const int n = faces.sizeOf(f);
    b = Box::Point(v[0]);
    for (int i = 1; i < n; ++i) b.grow(Box::Point(v[i]));
    const __m128 half = _mm_set1_ps(0.5f);
    c = _mm_add_ps(_mm_mul_ps(half, b.lo), _mm_mul_ps(half, b.hi));
}

// Whether face f has vertices, every coordinate finite.
bool Usable(const FaceList& faces, uint32_t f) {
    const IndexedVertices v = faces.vertices(f);
    const int n = faces.sizeOf(f);
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i][0]) || !std::isfinite(v[i][1]) || !std::isfinite(v[i][2])) return false;
    return n > 0;
}

// The bins of a centroid c on the three axes: (c - lo) * scale, truncated
// and held to 0 .. kBins - 1 (0 for a NaN).
inline void BinsOf(__m128 c, __m128 lo, __m128 scale, int bin[4]) {
    const __m128 b = _mm_mul_ps(_mm_sub_ps(c, lo), scale);
    const __m128 held = _mm_min_ps(_mm_max_ps(b, _mm_setzero_ps()), _mm_set1_ps(kBins - 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bin), _mm_cvttps_epi32(held));
}

struct Task {
    uint32_t begin, end;
    uint32_t parent;  // the node whose second child this is, or kNone
    int depth;
    Box box, centroids;
};

struct Bin {
    Box box;
    uint32_t count;
};

// The boxes of the faces order[begin .. end - 1] and of their centroids.
void RangeBounds(const FaceList& faces, const uint32_t* order, uint32_t begin, uint32_t end, Box& box,
                 Box& centroids) {
    box = centroids = Box::Empty();
    for (uint32_t i = begin; i < end; ++i) {
        Box b;
        __m128 c;
        FaceBounds(faces, order[i], b, c);
        box.grow(b);
        centroids.grow(c, c);
    }
}

}  // namespace

void FaceHierarchy::build(FaceList& faces, std::vector<int>& perFace) {
    clear();
    const size_t total = faces.size();
    std::vector<uint32_t> order;
    order.reserve(total);
    for (uint32_t f = 0; f < total; ++f)
        if (Usable(faces, f)) order.push_back(f);
    const uint32_t m = static_cast<uint32_t>(order.size());
    if (m == 0) return;
    for (uint32_t f = 0; f < total; ++f)
        if (!Usable(faces, f)) order.push_back(f);
    nodes_ = static_cast<FaceNode*>(std::malloc(sizeof(FaceNode) * (2 * static_cast<size_t>(m) - 1)));
    if (!nodes_) throw std::bad_alloc();

    std::vector<Task> tasks;
    tasks.reserve(2 * kStack);
    Task root{0, m, kNone, 0, {}, {}};
    RangeBounds(faces, order.data(), 0, m, root.box, root.centroids);
    tasks.push_back(root);
    Bin bins[3][kBins];
    std::vector<uint32_t> later;  // the faces of the second side of a partition
    while (!tasks.empty()) {
        const Task t = tasks.back();
        tasks.pop_back();
        const uint32_t self = static_cast<uint32_t>(count_++);
        if (t.parent != kNone) nodes_[t.parent].index = self;
        FaceNode& node = nodes_[self];
        t.box.store(node.lower, node.upper);
        const uint32_t n = t.end - t.begin;
        int axis = -1, split = -1;  // bins 0 .. split of axis go to the first child
        if (n > kLeafAlways && t.depth < kSahDepth) {
            float scale[4] = {0, 0, 0, 0}, clo[3], chi[3];
            t.centroids.store(clo, chi);
            for (int a = 0; a < 3; ++a) {
                const float extent = chi[a] - clo[a];
                scale[a] = extent > 0 ? kBins / extent : 0;
                if (!(scale[a] > 0 && std::isfinite(scale[a]))) scale[a] = 0;
                for (Bin& b : bins[a]) b = {Box::Empty(), 0};
            }
            const uint32_t step = n > kSampleFrom ? n / kSample : 1;
            const __m128 scales = _mm_loadu_ps(scale);
            for (uint32_t i = t.begin; i < t.end; i += step) {
                Box b;
                __m128 c;
                int bin4[4];
                FaceBounds(faces, order[i], b, c);
                BinsOf(c, t.centroids.lo, scales, bin4);
                for (int a = 0; a < 3; ++a) {
                    if (scale[a] == 0) continue;
                    Bin& bin = bins[a][bin4[a]];
                    bin.box.grow(b);
                    bin.count += 1;
                }
            }
            double best = HUGE_VAL;
            for (int a = 0; a < 3; ++a) {
                if (scale[a] == 0) continue;
                double rightArea[kBins];
                uint32_t rightCount[kBins];
                Box acc = Box::Empty();
                uint32_t count = 0;
                for (int k = kBins - 1; k > 0; --k) {
                    acc.grow(bins[a][k].box);
                    count += bins[a][k].count;
                    rightArea[k] = acc.halfArea();
                    rightCount[k] = count;
                }
                acc = Box::Empty();
                count = 0;
                for (int k = 0; k + 1 < kBins; ++k) {
                    acc.grow(bins[a][k].box);
                    count += bins[a][k].count;
                    if (count == 0 || rightCount[k + 1] == 0) continue;
                    const double cost = acc.halfArea() * count + rightArea[k + 1] * rightCount[k + 1];
                    if (cost < best) {
                        best = cost;
                        axis = a;
                        split = k;
                    }
                }
            }
            const double area = t.box.halfArea();
            if (axis >= 0 && n <= kMaxLeaf && area > 0 && !(kNodeCost + best / area < n)) axis = -1;
        }
        uint32_t mid = t.begin;
        Task first{t.begin, 0, kNone, t.depth + 1, Box::Empty(), Box::Empty()};
        Task second{0, t.end, self, t.depth + 1, Box::Empty(), Box::Empty()};
        if (axis >= 0) {
            // A stable partition: each side keeps its faces in the order of
            // their numbers, so that the passes over a node read the faces'
            // vertices in the order they are stored.
            float scale[4] = {0, 0, 0, 0}, clo[3], chi[3];
            t.centroids.store(clo, chi);
            scale[axis] = kBins / (chi[axis] - clo[axis]);
            const __m128 scales = _mm_loadu_ps(scale);
            later.clear();
            for (uint32_t i = t.begin; i < t.end; ++i) {
                Box b;
                __m128 c;
                int bin4[4];
                FaceBounds(faces, order[i], b, c);
                BinsOf(c, t.centroids.lo, scales, bin4);
                Task& side = bin4[axis] <= split ? first : second;
                side.box.grow(b);
                side.centroids.grow(c, c);
                if (&side == &first)
                    order[mid++] = order[i];
                else
                    later.push_back(order[i]);
            }
            std::copy(later.begin(), later.end(), order.begin() + mid);
            // A split chosen from a sample may leave a side empty.
            if (mid == t.begin || mid == t.end) axis = -1;
        }
        if (axis < 0 && n > kMaxLeaf) {
            // No split of the centroids (or too deep for one): halves.
            mid = t.begin + n / 2;
            axis = 0;
            float lo[3], hi[3];
            t.box.store(lo, hi);
            for (int a = 1; a < 3; ++a)
                if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
            RangeBounds(faces, order.data(), t.begin, mid, first.box, first.centroids);
            RangeBounds(faces, order.data(), mid, t.end, second.box, second.centroids);
        } else if (axis < 0) {
            node.index = t.begin;
            node.info = (n << 2) | 3;
            continue;
        }
        node.info = static_cast<uint32_t>(axis);
        first.end = second.begin = mid;
        tasks.push_back(second);
        tasks.push_back(first);
    }
    if (void* fitted = std::realloc(nodes_, sizeof(FaceNode) * count_)) nodes_ = static_cast<FaceNode*>(fitted);
    faces.reorder(order, perFace);
}

void FaceHierarchy::clear() {
    std::free(nodes_);
    nodes_ = nullptr;
    count_ = 0;
}

int FaceHierarchy::height() const {
    if (count_ == 0) return 0;
    std::vector<std::pair<uint32_t, int>> pending{{0, 1}};
    int height = 0;
    while (!pending.empty()) {
        auto [i, level] = pending.back();
        pending.pop_back();
        if (level > height) height = level;
        if ((nodes_[i].info & 3) != 3) {
            pending.emplace_back(i + 1, level + 1);
            pending.emplace_back(nodes_[i].index, level + 1);
        }
    }
    return height;
}

void FaceHierarchy::bounds(double lower[3], double upper[3]) const {
    for (int k = 0; k < 3; ++k) {
        lower[k] = count_ ? nodes_[0].lower[k] : 0;
        upper[k] = count_ ? nodes_[0].upper[k] : 0;
    }
}

// ---- The queries ----

namespace {

// Visits the faces whose node boxes the ray meets over [tmin, tmax] (tmax
// as it is at each visit) and whose own box it meets over [tmin, tmax0],
// the children of a node in the order of the ray's direction along their
// axis. Stops when face() returns true, and then returns true.
//
// A face's own box is tested over the whole interval, so that faces in one
// leaf (coincident faces among them: the build never parts faces with the
// same centroid while a leaf can hold them) are tested whatever hits were
// found before them; a face's hit may lie a rounding before its box.
template <class FaceVisit>
bool Walk(const FaceNode* nodes, const FaceList& faces, const Ray& ray, const SlabRay& r, double tmin,
          double tmax0, const double& tmax, FaceVisit face) {
    const bool backwards[3] = {ray.direction.x < 0, ray.direction.y < 0, ray.direction.z < 0};
    uint32_t stack[kStack];
    int sp = 0;
    uint32_t i = 0;
    for (;;) {
        const FaceNode& n = nodes[i];
        const double lower[3] = {n.lower[0], n.lower[1], n.lower[2]};
        const double upper[3] = {n.upper[0], n.upper[1], n.upper[2]};
        if (r.hits(lower, upper, tmin, tmax)) {
            if ((n.info & 3) != 3) {
                const bool back = backwards[n.info];
                stack[sp++] = back ? i + 1 : n.index;
                i = back ? n.index : i + 1;
                continue;
            }
            const uint32_t end = n.index + (n.info >> 2);
            for (uint32_t f = n.index; f < end; ++f) {
                const IndexedVertices v = faces.vertices(f);
                const int count = faces.sizeOf(f);
                // FaceBox in SSE lanes (the coordinates are numbers).
                Box b = Box::Point(v[0]);
                for (int k = 1; k < count; ++k) b.grow(Box::Point(v[k]));
                double lo[4], hi[4];
                _mm_storeu_pd(lo, _mm_cvtps_pd(b.lo));
                _mm_storeu_pd(lo + 2, _mm_cvtps_pd(_mm_movehl_ps(b.lo, b.lo)));
                _mm_storeu_pd(hi, _mm_cvtps_pd(b.hi));
                _mm_storeu_pd(hi + 2, _mm_cvtps_pd(_mm_movehl_ps(b.hi, b.hi)));
                if (r.hits(lo, hi, tmin, tmax0) && face(f, v, count)) return true;
            }
        }
        if (sp == 0) return false;
        i = stack[--sp];
    }
}

}  // namespace

bool FaceHierarchy::nearest(const FaceList& faces, const Ray& ray, double tmin, double tmax, NearestFace& hit) const {
    if (count_ == 0) return false;
    bool found = false;
    const SlabRay r(ray, tmin, tmax);
    Walk(nodes_, faces, ray, r, tmin, tmax, tmax, [&](uint32_t f, const IndexedVertices& v, int count) {
        double th;
        Point3 p;
        if (FaceHit(v, count, PlaneOf(v, count), tmax, ray, th, p) &&
            (th < tmax || !found || faces.number(f) > faces.number(hit.face))) {
            tmax = th;
            hit = {th, p, f};
            found = true;
        }
        return false;
    });
    return found;
}

bool FaceHierarchy::any(const FaceList& faces, const Ray& ray, double tmin, double tmax) const {
    if (count_ == 0) return false;
    const SlabRay r(ray, tmin, tmax);
    return Walk(nodes_, faces, ray, r, tmin, tmax, tmax, [&](uint32_t, const IndexedVertices& v, int count) {
        double th;
        Point3 p;
        return FaceHit(v, count, PlaneOf(v, count), tmax, ray, th, p);
    });
}

}  // namespace kx::raytrace
