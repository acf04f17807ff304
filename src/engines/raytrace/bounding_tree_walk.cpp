// The queries of the bounding tree: the slab test, the nearest-hit and
// any-hit walks of one ray, and the walks of two and four rays at once
// (packet_walk.h).
#include "engines/raytrace/bounding_tree.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engines/raytrace/objects.h"
#include "engines/raytrace/packet_walk.h"
#include "engines/raytrace/slab_ray.h"

namespace kx::raytrace {

namespace {

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

// The same over the prepared layout; leaf() is given the leaf's node.
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
        if (n.object && leaf(n)) return true;
        ++i;
    }
    return false;
}

}  // namespace

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

bool BoundingTree::NearestHit(double tmin, double tmax, const Ray& ray, double& t, HitRecord& hit,
                              GrObject*& object) const {
    bool found = false;
    if (root_) {
        SlabRay r(ray, tmin, tmax);
        if (prepared()) {
            uint32_t rank = 0;  // of the hit found
            WalkFlat(flat_, r, tmin, tmax, [&](const FlatNode& n) {
                NearestLeaf(n, tmin, tmax, ray, found, rank, hit, object);
                return false;
            });
        } else {
            // tmax shrinks with every hit, so the record last written is the
            // nearest one.
            Walk(root_, r, tmin, tmax, [&](GrObject* o) {
                double th;
                if (o->intersect(tmin, tmax, th, ray, hit)) {
                    if (th < tmax) tmax = th;
                    found = true;
                    object = o;
                }
                return false;
            });
        }
    }
    t = tmax;
    return found;
}

bool BoundingTree::AnyHit(double tmin, double tmax, const Ray& ray) const {
    if (!root_) return false;
    SlabRay r(ray, tmin, tmax);
    if (prepared())
        return WalkFlat(flat_, r, tmin, tmax, [&](const FlatNode& n) { return n.object->occludes(tmin, tmax, ray); });
    return Walk(root_, r, tmin, tmax, [&](GrObject* o) { return o->occludes(tmin, tmax, ray); });
}

// ---- Walks of several rays at once (packet_walk.h) ----

namespace {

#ifdef __SSE2__
// Two rays in the two lanes of an SSE2 register.
struct Sse2Lanes {
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
#endif

// Whether n rays can walk together over [tmin, tmax]: every direction
// component non-zero (the packed slab test), and whether the quotients may
// be estimated (|d| within [2^-500, 2^500]).
bool Walkable(const Ray* ray, int n, double tmin, double tmax, bool& estimate) {
    estimate = true;
    if (!(tmin == tmin && tmax == tmax)) return false;  // as SlabRay's packed
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < 3; ++i) {
            const double m = std::fabs(static_cast<double>(ray[k].direction[i]));
            if (m == 0) return false;
            if (!(m >= 0x1p-500 && m <= 0x1p500)) estimate = false;
        }
    return true;
}

}  // namespace

void BoundingTree::NearestHitPair(double tmin, double tmax, const Ray ray[2], bool found[2], double t[2],
                                  HitRecord hit[2], GrObject* object[2]) const {
#ifdef __SSE2__
    bool estimate;
    if (prepared() && Walkable(ray, 2, tmin, tmax, estimate)) {
        PacketWalk<Sse2Lanes>(flat_.data(), flat_.size(), tmin, tmax, ray, estimate, found, t, hit, object);
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
        PacketWalkAvx2(flat_.data(), flat_.size(), tmin, tmax, ray, estimate, found, t, hit, object);
        return;
    }
#endif
    NearestHitPair(tmin, tmax, ray, found, t, hit, object);
    NearestHitPair(tmin, tmax, ray + 2, found + 2, t + 2, hit + 2, object + 2);
}

bool BoundingTree::AnyHitQuad(double tmin, double tmax, const Ray ray[4], bool occluded[4]) const {
#ifdef KX_AVX2_WALK
    static const bool avx2 = __builtin_cpu_supports("avx2");
    bool estimate;
    if (avx2 && prepared() && Walkable(ray, 4, tmin, tmax, estimate)) {
        PacketAnyHitAvx2(flat_.data(), flat_.size(), tmin, tmax, ray, estimate, occluded);
        return true;
    }
#else
    (void)tmin, (void)tmax, (void)ray, (void)occluded;
#endif
    return false;
}

}  // namespace kx::raytrace
