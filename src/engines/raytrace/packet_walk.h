// The walk of several rays at once over a tree's depth-first layout, for a
// lane type V: V::kLanes rays, one per lane of a register V::Reg of doubles,
// with V's static functions lanes (one value per ray), set1, load, add, sub,
// mul, div, min, max (as minpd and maxpd: the second operand when either is
// NaN), abs and greater (bit k set where lane k of a > b, false for NaN).
// bounding_tree_walk.cpp walks two rays in SSE2 registers; x86-64 builds
// also walk four in AVX registers (packet_walk_avx2.cpp), where this walk is
// compiled for AVX2 alone.
//
// Each ray gets exactly the tests, in the same order, and the result that
// NearestHit (or AnyHit) gives it alone:
// - a node's box is tested for every ray still taking part; a ray that
//   misses it sits out the node's subtree (it takes part again from the
//   node's skip on), the walk goes on while any ray takes part;
// - each quotient (b - o) / d is first estimated as (b - o) * (1 / d). With
//   |d| within [2^-500, 2^500] the estimate and the correctly rounded
//   quotient both lie within 3.01 * 2^-53 * |q| + 2^-1073 of the real
//   quotient, so each end of a ray's interval is known to within
//   2^-51 * M + 2^-1000, M the ray's largest estimate. Only when the
//   estimated ends lie closer together than 2^-49 * M + 2^-999 for some ray
//   are the true quotients computed (an infinite or NaN estimate makes M
//   infinite or NaN, which also sends the test there). The ends combine the
//   quotients as SlabRay does, so the decisions are SlabTest's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/objects.h"

namespace kx::raytrace {

// Visits leaf n in a nearest-hit query of ray over [tmin, tmax]. Its hit
// takes the place of the one found so far (if found, of rank best) when it
// is nearer, or as near and met later in the insertion tree's depth-first
// order; only then are tmax, best, hit and object written.
inline void NearestLeaf(const FlatNode& n, double tmin, double& tmax, const Ray& ray, bool& found, uint32_t& best,
                        HitRecord& hit, GrObject*& object) {
    GrObject* o = const_cast<GrObject*>(n.object);
    double th;
    HitRecord h = hit;
    if (!o->intersect(tmin, tmax, th, ray, h)) return;
    if (found && !(th < tmax) && n.rank < best) return;
    if (th < tmax) tmax = th;
    found = true;
    best = n.rank;
    hit = h;
    object = o;
}

// Visits the leaves of the count nodes of the layout flat that each of the
// rays ray[0 .. V::kLanes - 1] meets over [tmin, tm[k]] (tm[k] as it is at
// each node), every direction component of every ray non-zero; estimate:
// the quotients may be estimated (every |d| within [2^-500, 2^500]).
// leaf(node, k) visits the leaf node for ray k, and may lower tm[k]; when
// it returns true ray k takes part no more.
template <class V, class Leaf>
void PacketVisit(const FlatNode* flat, size_t count, double tmin, const double* tm, const Ray* ray, bool estimate,
                 Leaf leaf) {
    constexpr int N = V::kLanes;
    using R = typename V::Reg;
    const R ox = V::lanes(ray, [](const Ray& r) { return double(r.origin.x); });
    const R oy = V::lanes(ray, [](const Ray& r) { return double(r.origin.y); });
    const R oz = V::lanes(ray, [](const Ray& r) { return double(r.origin.z); });
    const R dx = V::lanes(ray, [](const Ray& r) { return double(r.direction.x); });
    const R dy = V::lanes(ray, [](const Ray& r) { return double(r.direction.y); });
    const R dz = V::lanes(ray, [](const Ray& r) { return double(r.direction.z); });
    const R one = V::set1(1.0);
    const R rx = V::div(one, dx), ry = V::div(one, dy), rz = V::div(one, dz);
    const R tn0 = V::set1(tmin);
    // Ray k takes part from node resume[k] on; active has bit k set while
    // it does, and wake is the first node where a ray sitting out takes
    // part again (a ray that is done sits out to the end).
    size_t resume[N];
    for (int k = 0; k < N; ++k) resume[k] = 0;
    constexpr int kAll = (1 << N) - 1;
    int active = kAll;
    size_t wake = SIZE_MAX;
    // tnear = near > tnear ? near : tnear, tfar = far < tfar ? far : tfar,
    // with near = t0 > t1 ? t1 : t0 and far = t0 > t1 ? t0 : t1 per axis.
    auto ends = [&](R t0x, R t1x, R t0y, R t1y, R t0z, R t1z, R& tn, R& tf) {
        tn = V::max(V::min(t1x, t0x), tn0);
        tf = V::min(V::max(t0x, t1x), V::load(tm));
        tn = V::max(V::min(t1y, t0y), tn);
        tf = V::min(V::max(t0y, t1y), tf);
        tn = V::max(V::min(t1z, t0z), tn);
        tf = V::min(V::max(t0z, t1z), tf);
    };
    for (size_t i = 0; i < count;) {
        if (i >= wake) {
            active = 0;
            wake = SIZE_MAX;
            for (int k = 0; k < N; ++k) {
                if (i >= resume[k])
                    active |= 1 << k;
                else if (resume[k] < wake)
                    wake = resume[k];
            }
        }
        const FlatNode& n = flat[i];
        const R a0x = V::sub(V::set1(n.lower[0]), ox), a1x = V::sub(V::set1(n.upper[0]), ox);
        const R a0y = V::sub(V::set1(n.lower[1]), oy), a1y = V::sub(V::set1(n.upper[1]), oy);
        const R a0z = V::sub(V::set1(n.lower[2]), oz), a1z = V::sub(V::set1(n.upper[2]), oz);
        R tn, tf;
        int missed = -1;
        if (estimate) {
            const R e0x = V::mul(a0x, rx), e1x = V::mul(a1x, rx);
            const R e0y = V::mul(a0y, ry), e1y = V::mul(a1y, ry);
            const R e0z = V::mul(a0z, rz), e1z = V::mul(a1z, rz);
            ends(e0x, e1x, e0y, e1y, e0z, e1z, tn, tf);
            R m = V::max(V::abs(e0x), V::abs(e1x));
            m = V::max(m, V::max(V::abs(e0y), V::abs(e1y)));
            m = V::max(m, V::max(V::abs(e0z), V::abs(e1z)));
            const R margin = V::add(V::mul(m, V::set1(0x1p-49)), V::set1(0x1p-999));
            const int sureHit = V::greater(V::sub(tf, tn), margin);
            const int sureMiss = V::greater(V::sub(tn, tf), margin);
            // Rays sitting out need no decision.
            if (((sureHit | sureMiss) & active) == active) missed = sureMiss;
        }
        if (missed < 0) {
            ends(V::div(a0x, dx), V::div(a1x, dx), V::div(a0y, dy), V::div(a1y, dy), V::div(a0z, dz),
                 V::div(a1z, dz), tn, tf);
            missed = V::greater(tn, tf);
        }
        const int hits = active & ~missed;
        if (const int out = active & missed) {
            // The rays that miss the box sit out its subtree.
            for (int k = 0; k < N; ++k)
                if (out & (1 << k)) resume[k] = n.skip;
            active = hits;
            if (n.skip < wake) wake = n.skip;
        }
        if (!hits) {
            i = wake;  // every ray sits out this node's subtree
            continue;
        }
        if (n.object) {
            for (int k = 0; k < N; ++k)
                if ((hits & (1 << k)) && leaf(n, k)) {
                    resume[k] = SIZE_MAX;
                    active &= ~(1 << k);
                }
            if (!active) {
                i = wake;
                continue;
            }
        }
        ++i;
    }
}

// The nearest hits of the rays over [tmin, tmax], as PacketVisit walks.
template <class V>
void PacketWalk(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                bool* found, double* t, HitRecord* hit, GrObject** object) {
    constexpr int N = V::kLanes;
    alignas(32) double tm[N];  // each ray's tmax, shrinking with its hits
    for (int k = 0; k < N; ++k) {
        tm[k] = tmax;
        found[k] = false;
    }
    uint32_t rank[N] = {};  // of each ray's hit found
    PacketVisit<V>(flat, count, tmin, tm, ray, estimate, [&](const FlatNode& n, int k) {
        NearestLeaf(n, tmin, tm[k], ray[k], found[k], rank[k], hit[k], object[k]);
        return false;
    });
    for (int k = 0; k < N; ++k) t[k] = tm[k];
}

// Whether an object occludes each ray over [tmin, tmax], as PacketVisit
// walks: the objects a ray meets are those AnyHit meets, a ray leaving the
// walk at its first occluder.
template <class V>
void PacketAnyHit(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                  bool* occluded) {
    constexpr int N = V::kLanes;
    alignas(32) double tm[N];
    for (int k = 0; k < N; ++k) {
        tm[k] = tmax;
        occluded[k] = false;
    }
    PacketVisit<V>(flat, count, tmin, tm, ray, estimate,
                   [&](const FlatNode& n, int k) { return occluded[k] = n.object->occludes(tmin, tmax, ray[k]); });
}

#if defined(__x86_64__) && defined(__GNUC__)
#define KX_AVX2_WALK 1
// PacketWalk of four rays in the lanes of AVX registers, compiled for AVX2
// (packet_walk_avx2.cpp): only for a processor that has it.
void PacketWalkAvx2(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                    bool* found, double* t, HitRecord* hit, GrObject** object);
void PacketAnyHitAvx2(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                      bool* occluded);
#endif

}  // namespace kx::raytrace
