#include "engines/raytrace/bounding_tree.h"

#include <iostream>
#include <new>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "engines/raytrace/objects.h"

namespace kx::raytrace {

namespace {

void SetBox(TreeNode& n, const double lower[3], const double upper[3]) {
    for (int i = 0; i < 3; ++i) {
        n.lower[i] = lower[i];
        n.upper[i] = upper[i];
    }
    n.area = HalfArea(n.lower, n.upper);
}

// Half area of the union of a node's box with another box.
double UnionHalfArea(const TreeNode& n, const double lower[3], const double upper[3]) {
    double lo[3], hi[3];
    for (int i = 0; i < 3; ++i) {
        lo[i] = lower[i] < n.lower[i] ? lower[i] : n.lower[i];
        hi[i] = upper[i] > n.upper[i] ? upper[i] : n.upper[i];
    }
    return HalfArea(lo, hi);
}

double MergeCost(const TreeNode& n, const double lower[3], const double upper[3]) {
    return UnionHalfArea(n, lower, upper) - n.area;
}

double InsertionCost(const TreeNode& n, const double lower[3], const double upper[3]) {
    double u = UnionHalfArea(n, lower, upper);
    if (n.firstChild) return (u - n.area) * n.childCount + u;
    return 2 * u;
}

// A ray in double precision, ready for the slab tests of one query.
//
// The test must decide exactly as SlabTest does, quotient for quotient, or
// a ray could meet a different set of objects. With every direction
// component non-zero (and tmin, tmax numbers) the three axes are tested
// together on the same quotients. Only the order of the comparisons
// changes, which cannot change the outcome: the interval only narrows, and
// a NaN quotient narrows it in neither form (minpd and maxpd return their
// second operand then, as the scalar "if" keeps its old value).
struct SlabRay {
    double origin[3];
    double direction[3];
    bool packed = false;  // the axes are tested together
#ifdef __SSE2__
    __m128d oxy, dxy, oz, dz;
#endif
    SlabRay(const Ray& r, double tmin, double tmax) {
        for (int i = 0; i < 3; ++i) {
            origin[i] = r.origin[i];
            direction[i] = r.direction[i];
        }
#ifdef __SSE2__
        packed = direction[0] != 0 && direction[1] != 0 && direction[2] != 0 && tmin == tmin && tmax == tmax;
        oxy = _mm_loadu_pd(origin);
        dxy = _mm_loadu_pd(direction);
        oz = _mm_set1_pd(origin[2]);
        dz = _mm_set1_pd(direction[2]);
#else
        (void)tmin;
        (void)tmax;
#endif
    }

#ifdef __SSE2__
    // The interval ends from the quotients t0 = (lower - o)/d
    // and t1 = (upper - o)/d of x, y (two lanes) and z (lanes: t0, t1).
    static void Ends(__m128d t0, __m128d t1, __m128d tz, double tmin, double tmax, __m128d& tn, __m128d& tf) {
        __m128d tz1 = _mm_unpackhi_pd(tz, tz);
        // near = t0 > t1 ? t1 : t0, far = t0 > t1 ? t0 : t1
        __m128d nearXY = _mm_min_pd(t1, t0), farXY = _mm_max_pd(t0, t1);
        __m128d nearZ = _mm_min_sd(tz1, tz), farZ = _mm_max_sd(tz, tz1);
        // tnear = near > tnear ? near : tnear, tfar = far < tfar ? far : tfar
        tn = _mm_max_sd(nearXY, _mm_set_sd(tmin));
        tf = _mm_min_sd(farXY, _mm_set_sd(tmax));
        tn = _mm_max_sd(_mm_unpackhi_pd(nearXY, nearXY), tn);
        tf = _mm_min_sd(_mm_unpackhi_pd(farXY, farXY), tf);
        tn = _mm_max_sd(nearZ, tn);
        tf = _mm_min_sd(farZ, tf);
    }
#endif

    // Exactly SlabTest(lower, upper, origin, direction, tmin, tmax).
    bool hits(const double lower[3], const double upper[3], double tmin, double tmax) const {
#ifdef __SSE2__
        if (packed) {
            __m128d a0 = _mm_sub_pd(_mm_loadu_pd(lower), oxy);
            __m128d a1 = _mm_sub_pd(_mm_loadu_pd(upper), oxy);
            __m128d az = _mm_sub_pd(_mm_set_pd(upper[2], lower[2]), oz);
            __m128d tn, tf;
            Ends(_mm_div_pd(a0, dxy), _mm_div_pd(a1, dxy), _mm_div_pd(az, dz), tmin, tmax, tn, tf);
            return !(_mm_cvtsd_f64(tn) > _mm_cvtsd_f64(tf));
        }
#endif
        return SlabTest(lower, upper, origin, direction, tmin, tmax);
    }
};

// Visits, depth first in child-list order, the leaves whose boxes and
// whose ancestors' boxes the ray meets over [tmin, tmax] (tmax as it is at
// each visit). Stops when leaf() returns true and then returns true.
template <class LeafVisit>
bool Walk(const TreeNode* root, const SlabRay& r, double tmin, const double& tmax, LeafVisit leaf) {
    const TreeNode* n = root;
    for (;;) {
        if (r.hits(n->lower, n->upper, tmin, tmax)) {
            if (n->firstChild) {
                n = n->firstChild;
                continue;
            }
            if (n->object && leaf(n->object)) return true;
        }
        // On to the next node after n's subtree.
        while (n != root && !n->nextSibling) n = n->parent;
        if (n == root) return false;
        n = n->nextSibling;
    }
}

// The same over the depth-first layout.
template <class LeafVisit>
bool WalkFlat(const std::vector<FlatNode>& nodes, const SlabRay& r, double tmin, const double& tmax,
              LeafVisit leaf) {
    const FlatNode* flat = nodes.data();
    const size_t count = nodes.size();
    for (size_t i = 0; i < count;) {
        const FlatNode& n = flat[i];
        if (!r.hits(n.lower, n.upper, tmin, tmax)) {
            i = n.skip;
            continue;
        }
        if (n.object && leaf(const_cast<GrObject*>(n.object))) return true;
        ++i;
    }
    return false;
}

}  // namespace

double HalfArea(const double lower[3], const double upper[3]) {
    double dx = upper[0] - lower[0];
    double dy = upper[1] - lower[1];
    double dz = upper[2] - lower[2];
    return (dy + dz) * dx + dy * dz;
}

bool SlabTest(const double lower[3], const double upper[3], const double origin[3], const double direction[3],
              double tmin, double tmax) {
    double tnear = tmin, tfar = tmax;
    for (int i = 0; i < 3; ++i) {
        if (direction[i] == 0) {
            if (origin[i] < lower[i] || origin[i] > upper[i]) return false;
            continue;
        }
        double t0 = (lower[i] - origin[i]) / direction[i];
        double t1 = (upper[i] - origin[i]) / direction[i];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > tnear) tnear = t0;
        if (t1 < tfar) tfar = t1;
        if (tnear > tfar) return false;
    }
    return true;
}

bool SlabTest(const double lower[3], const double upper[3], const Ray& ray, double tmin, double tmax) {
    return SlabRay(ray, tmin, tmax).hits(lower, upper, tmin, tmax);
}

bool BoundingTree::Insert(GrObject* object, const Point3& lower, const Point3& upper) {
    double lo[3] = {lower.x, lower.y, lower.z};
    double hi[3] = {upper.x, upper.y, upper.z};
    return Insert(object, lo, hi);
}

namespace {

// Two leaves with the same box.
bool SameLeafBox(const TreeNode& a, const TreeNode& b) {
    if (a.firstChild || b.firstChild) return false;
    for (int i = 0; i < 3; ++i)
        if (!(a.lower[i] == b.lower[i] && a.upper[i] == b.upper[i])) return false;
    return true;
}

// The sibling after n, or after the run of equal leaves that n starts.
TreeNode* NextRun(const TreeNode* n) { return n->firstChild ? n->nextSibling : n->runLast->nextSibling; }

// Whether a box has finite corners in order on every axis. The search of
// Insert may stop early only while every box of the tree is such a box:
// then every area and cost is a finite number, never negative.
bool OrderedFinite(const double lower[3], const double upper[3]) {
    for (int i = 0; i < 3; ++i)
        if (!(std::isfinite(lower[i]) && std::isfinite(upper[i]) && lower[i] <= upper[i])) return false;
    return true;
}

}  // namespace

bool BoundingTree::Insert(GrObject* object, const double lower[3], const double upper[3]) {
    flat_.clear();
    // Everything that can fail is asked for before the tree changes. A leaf
    // may be split below, so room on Clear's stack for two more nodes.
    TreeNode* node;
    try {
        if (stack_.size() < nodeCount_ + 3) stack_.resize(2 * (nodeCount_ + 3));
        node = new TreeNode;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    node->object = object;
    SetBox(*node, lower, upper);
    node->runLast = node;
    const bool ordered = orderedBoxes_ && OrderedFinite(node->lower, node->upper);
    if (!root_) {
        root_ = node;
        ++nodeCount_;
        orderedBoxes_ = ordered;
        return true;
    }

    TreeNode* best = root_;
    if (useBoundingTree) {
        // Breadth first from the root, into the children whose box grows
        // least (all of them on a tie); the first node of least insertion
        // cost takes the new one.
        //
        // With ordered finite boxes no node costs less than the new box's
        // own half area h (a node's box grown by the new box covers the new
        // box), and no leaf less than 2h. A node that cannot cost less than
        // the best so far cannot be chosen (only a strictly lower cost is),
        // so the search stops once the best costs h, and does not look into
        // children that are all leaves once the best costs 2h or less. Equal
        // boxes, boxes without area and objects on top of each other would
        // otherwise make every insertion walk all of their tied siblings.
        const bool bound = ordered;
        const double least = node->area;
        const double leastLeaf = 2 * node->area;
        double bestCost = InsertionCost(*root_, node->lower, node->upper);
        ++insertVisits_;
        queue_.clear();
        try {
            queue_.push_back(root_);
            for (size_t head = 0; head < queue_.size(); ++head) {
                if (bound && bestCost <= least) break;
                if (std::isnan(bestCost)) break;  // no cost is less than NaN
                TreeNode* n = queue_[head];
                double c = InsertionCost(*n, node->lower, node->upper);
                if (c < bestCost) {
                    best = n;
                    bestCost = c;
                }
                if (!n->firstChild) continue;
                if (bound && n->interiorChildren == 0 && bestCost <= leastLeaf) continue;
                // Of a run of leaves with equal boxes only the first can be
                // chosen: the others cost the same and come after it.
                double m = std::numeric_limits<double>::infinity();
                for (TreeNode* ch = n->firstChild; ch; ch = NextRun(ch)) {
                    ++insertVisits_;
                    double mc = MergeCost(*ch, node->lower, node->upper);
                    if (mc < m) m = mc;
                }
                for (TreeNode* ch = n->firstChild; ch; ch = NextRun(ch))
                    if (MergeCost(*ch, node->lower, node->upper) == m) queue_.push_back(ch);
            }
        } catch (const std::bad_alloc&) {
            delete node;
            return false;
        }
    }

    if (!best->firstChild) {
        // A leaf becomes interior: its object moves into a new only child.
        TreeNode* moved;
        try {
            moved = new TreeNode;
        } catch (const std::bad_alloc&) {
            delete node;
            return false;
        }
        ++nodeCount_;
        moved->object = best->object;
        SetBox(*moved, best->lower, best->upper);
        moved->parent = best;
        best->object = nullptr;
        best->firstChild = moved;
        best->childCount = 1;
        if (best->parent) best->parent->interiorChildren += 1;
        // best started its run of equal leaves: the rest run on without it.
        if (best->runLast != best && best->nextSibling) best->nextSibling->runLast = best->runLast;
        best->runLast = nullptr;
        moved->runLast = moved;
    }
    ++nodeCount_;
    node->parent = best;
    node->nextSibling = best->firstChild;
    node->runLast = SameLeafBox(*node, *best->firstChild) ? best->firstChild->runLast : node;
    best->firstChild = node;
    best->childCount += 1;

    for (TreeNode* n = best; n; n = n->parent) {
        for (int i = 0; i < 3; ++i) {
            if (node->lower[i] < n->lower[i]) n->lower[i] = node->lower[i];
            if (node->upper[i] > n->upper[i]) n->upper[i] = node->upper[i];
        }
        n->area = HalfArea(n->lower, n->upper);
    }
    orderedBoxes_ = ordered;
    return true;
}

bool BoundingTree::NearestHit(double tmin, double tmax, const Ray& ray, double& t, HitRecord& hit,
                              GrObject*& object) const {
    bool found = false;
    if (root_) {
        // tmax shrinks with every hit, so the record last written is the
        // nearest one.
        auto leaf = [&](GrObject* o) {
            double th;
            if (o->intersect(tmin, tmax, th, ray, hit)) {
                if (th < tmax) tmax = th;
                found = true;
                object = o;
            }
            return false;
        };
        SlabRay r(ray, tmin, tmax);
        if (prepared())
            WalkFlat(flat_, r, tmin, tmax, leaf);
        else
            Walk(root_, r, tmin, tmax, leaf);
    }
    t = tmax;
    return found;
}

bool BoundingTree::AnyHit(double tmin, double tmax, const Ray& ray) const {
    if (!root_) return false;
    auto leaf = [&](GrObject* o) { return o->occludes(tmin, tmax, ray); };
    SlabRay r(ray, tmin, tmax);
    return prepared() ? WalkFlat(flat_, r, tmin, tmax, leaf) : Walk(root_, r, tmin, tmax, leaf);
}

// ---- Walks of several rays at once (packet_walk.h) ----

#ifdef __SSE2__
namespace sse2 {

// Two rays in the two lanes of an SSE2 register.
struct Lanes {
    static constexpr int kLanes = 2;
    using Reg = __m128d;
    template <class Get>
    static Reg lanes(const Ray* r, Get get) { return _mm_set_pd(get(r[1]), get(r[0])); }
    static Reg set1(double v) { return _mm_set1_pd(v); }
    static Reg load(const double* p) { return _mm_load_pd(p); }
    static Reg add(Reg a, Reg b) { return _mm_add_pd(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_pd(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_pd(a, b); }
    static Reg div(Reg a, Reg b) { return _mm_div_pd(a, b); }
    // a < b ? a : b and a > b ? a : b: the second operand when either is NaN.
    static Reg min(Reg a, Reg b) { return _mm_min_pd(a, b); }
    static Reg max(Reg a, Reg b) { return _mm_max_pd(a, b); }
    static Reg abs(Reg a) { return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL))); }
    // Bit k set where a > b (false for NaN).
    static int greater(Reg a, Reg b) { return _mm_movemask_pd(_mm_cmpgt_pd(a, b)); }
};

#include "engines/raytrace/packet_walk.h"

}  // namespace sse2
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define KX_AVX2_WALK 1
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {

// Four rays in the four lanes of an AVX register (compiled for AVX2 only
// here; used only when the processor has it).
struct Lanes {
    static constexpr int kLanes = 4;
    using Reg = __m256d;
    template <class Get>
    static Reg lanes(const Ray* r, Get get) { return _mm256_set_pd(get(r[3]), get(r[2]), get(r[1]), get(r[0])); }
    static Reg set1(double v) { return _mm256_set1_pd(v); }
    static Reg load(const double* p) { return _mm256_load_pd(p); }
    static Reg add(Reg a, Reg b) { return _mm256_add_pd(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_pd(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_pd(a, b); }
    static Reg div(Reg a, Reg b) { return _mm256_div_pd(a, b); }
    static Reg min(Reg a, Reg b) { return _mm256_min_pd(a, b); }
    static Reg max(Reg a, Reg b) { return _mm256_max_pd(a, b); }
    static Reg abs(Reg a) { return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL))); }
    static int greater(Reg a, Reg b) { return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_GT_OQ)); }
};

#include "engines/raytrace/packet_walk.h"

}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

namespace {

// Whether n rays can walk together over [tmin, tmax]: every direction
// component non-zero (the packed slab test), and whether the quotients may
// be estimated (|d| within [2^-500, 2^500]).
bool Walkable(const Ray* ray, int n, double tmin, double tmax, bool& estimate) {
    estimate = true;
    for (int k = 0; k < n; ++k) {
        const SlabRay r(ray[k], tmin, tmax);
        if (!r.packed) return false;
        for (double d : r.direction) {
            double m = std::fabs(d);
            if (!(m >= 0x1p-500 && m <= 0x1p500)) estimate = false;
        }
    }
    return true;
}

}  // namespace

void BoundingTree::NearestHitPair(double tmin, double tmax, const Ray ray[2], bool found[2], double t[2],
                                  HitRecord hit[2], GrObject* object[2]) const {
#ifdef __SSE2__
    bool estimate;
    if (prepared() && Walkable(ray, 2, tmin, tmax, estimate)) {
        sse2::PacketWalk<sse2::Lanes>(flat_.data(), flat_.size(), tmin, tmax, ray, estimate, found, t, hit, object);
        return;
    }
#endif
    for (int k = 0; k < 2; ++k) found[k] = NearestHit(tmin, tmax, ray[k], t[k], hit[k], object[k]);
}

void BoundingTree::NearestHitQuad(double tmin, double tmax, const Ray ray[4], bool found[4], double t[4],
                                  HitRecord hit[4], GrObject* object[4]) const {
#ifdef KX_AVX2_WALK
    static const bool avx2 = __builtin_cpu_supports("avx2");
    bool estimate;
    if (avx2 && prepared() && Walkable(ray, 4, tmin, tmax, estimate)) {
        avx2::PacketWalk<avx2::Lanes>(flat_.data(), flat_.size(), tmin, tmax, ray, estimate, found, t, hit, object);
        return;
    }
#endif
    NearestHitPair(tmin, tmax, ray, found, t, hit, object);
    NearestHitPair(tmin, tmax, ray + 2, found + 2, t + 2, hit + 2, object + 2);
}

bool BoundingTree::Prepare() {
    flat_.clear();
    if (!root_) return true;
    try {
        flat_.reserve(nodeCount_);
        // Preorder with an explicit stack; a node's entry is closed (its
        // skip set) when everything pushed above it has been laid out.
        struct Entry {
            const TreeNode* node;
            size_t index;  // its place in flat_ once laid out, else SIZE_MAX
        };
        std::vector<Entry> pending;
        pending.reserve(nodeCount_ + 1);
        pending.push_back({root_, SIZE_MAX});
        while (!pending.empty()) {
            Entry e = pending.back();
            pending.pop_back();
            if (e.index != SIZE_MAX) {
                flat_[e.index].skip = flat_.size();
                continue;
            }
            const TreeNode* n = e.node;
            FlatNode f;
            for (int i = 0; i < 3; ++i) {
                f.lower[i] = n->lower[i];
                f.upper[i] = n->upper[i];
            }
            f.object = n->firstChild ? nullptr : n->object;
            f.skip = 0;
            pending.push_back({n, flat_.size()});
            flat_.push_back(f);
            // The children, so that they pop in list order.
            size_t top = pending.size();
            for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) pending.push_back({c, SIZE_MAX});
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(top), pending.end());
        }
    } catch (const std::bad_alloc&) {
        flat_.clear();
        flat_.shrink_to_fit();
        return false;
    }
    return true;
}

void BoundingTree::Bounds(double lower[3], double upper[3]) const {
    for (int i = 0; i < 3; ++i) {
        lower[i] = root_ ? root_->lower[i] : 0;
        upper[i] = root_ ? root_->upper[i] : 0;
    }
}

void BoundingTree::Clear() {
    flat_.clear();
    flat_.shrink_to_fit();
    if (root_) {
        // Every node is pushed exactly once, so the stack never holds more
        // than nodeCount_ entries.
        const TreeNode** stack = stack_.data();
        size_t sp = 0;
        stack[sp++] = root_;
        while (sp > 0) {
            TreeNode* n = const_cast<TreeNode*>(stack[--sp]);
            if (n->firstChild) stack[sp++] = n->firstChild;
            if (n->nextSibling) stack[sp++] = n->nextSibling;
            if (!objectsShared) delete n->object;
            delete n;
        }
    }
    root_ = nullptr;
    nodeCount_ = 0;
    orderedBoxes_ = true;
}

int BoundingTree::Height() const {
    int height = 0;
    std::vector<std::pair<const TreeNode*, int>> pending;
    if (root_) pending.emplace_back(root_, 1);
    while (!pending.empty()) {
        auto [n, level] = pending.back();
        pending.pop_back();
        if (level > height) height = level;
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) pending.emplace_back(c, level + 1);
    }
    return height;
}

void BoundingTree::Print() const { Print(std::cerr); }

void BoundingTree::Print(std::ostream& os) const {
    std::vector<std::pair<const TreeNode*, int>> pending;
    if (root_) pending.emplace_back(root_, 0);
    std::vector<const TreeNode*> children;
    while (!pending.empty()) {
        auto [n, depth] = pending.back();
        pending.pop_back();
        auto indent = [&os, d = depth] {
            for (int i = 0; i < d; ++i) os << "   ";
        };
        indent();
        os << "lower:  (" << n->lower[0] << ", " << n->lower[1] << ", " << n->lower[2] << ")\n";
        indent();
        os << "higher: (" << n->upper[0] << ", " << n->upper[1] << ", " << n->upper[2] << ")\n";
        indent();
        os << "surface: " << n->area << "    n_child: " << n->childCount << "\n\n";
        children.clear();
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) children.push_back(c);
        for (size_t i = children.size(); i > 0; --i) pending.emplace_back(children[i - 1], depth + 1);
    }
    os.flush();
}

}  // namespace kx::raytrace
