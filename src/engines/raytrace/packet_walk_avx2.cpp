// The walk of four rays at once in the four lanes of an AVX register,
// compiled for AVX2 alone; the tree's queries call it only where the
// processor has AVX2.
//
// What the walk uses is included first and compiled as everywhere else; the
// instruction set changes only for the lanes and for the walk of
// packet_walk.h, taken in after the change.
#include <cstddef>
#include <cstdint>

#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/objects.h"

#if defined(__x86_64__) && defined(__GNUC__)  // as KX_AVX2_WALK in packet_walk.h
#include <immintrin.h>

#include "core/target_isa.h"

KX_TARGET_BEGIN("avx2")

#include "engines/raytrace/packet_walk.h"

namespace kx::raytrace {

namespace {

// Four rays in the four lanes of an AVX register.
struct Avx2Lanes {
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

}  // namespace

void PacketWalkAvx2(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                    bool* found, double* t, HitRecord* hit, GrObject** object) {
    PacketWalk<Avx2Lanes>(flat, count, tmin, tmax, ray, estimate, found, t, hit, object);
}

void PacketAnyHitAvx2(const FlatNode* flat, size_t count, double tmin, double tmax, const Ray* ray, bool estimate,
                      bool* occluded) {
    PacketAnyHit<Avx2Lanes>(flat, count, tmin, tmax, ray, estimate, occluded);
}

}  // namespace kx::raytrace

KX_TARGET_END()
#endif
