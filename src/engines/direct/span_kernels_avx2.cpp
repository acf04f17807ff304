// The span shading of span_lanes.h in the eight lanes of AVX registers,
// compiled for AVX2 alone; ShadeSpanLanes calls it only where the processor
// has AVX2.
//
// What the lanes use is included first and compiled as everywhere else; the
// instruction set changes only for the lanes and the shading of
// span_lanes.h, taken in after the change.
#include <cstdint>

#include "core/lights.h"
#include "core/math.h"
#include "engines/direct/span_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)  // as KX_SPAN_LANES in span_kernels.cpp
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "engines/direct/span_lanes.h"

namespace kx {

namespace {

// Eight pixels in the eight lanes of an AVX register.
struct Avx2Lanes {
    static constexpr int kLanes = 8;
    using Reg = __m256;
    static Reg set1(float v) { return _mm256_set1_ps(v); }
    static Reg load(const float* p) { return _mm256_load_ps(p); }
    static Reg loadu(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, Reg a) { _mm256_store_ps(p, a); }
    static void storeu(float* p, Reg a) { _mm256_storeu_ps(p, a); }
    static float first(Reg a) { return _mm256_cvtss_f32(a); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
    static Reg div(Reg a, Reg b) { return _mm256_div_ps(a, b); }
    static Reg sqrt(Reg a) { return _mm256_sqrt_ps(a); }
    static Reg greater(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static Reg greaterEqual(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static Reg equal(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static Reg select(Reg mask, Reg a, Reg b) { return _mm256_blendv_ps(b, a, mask); }
    static Reg negate(Reg a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
    static int bits(Reg mask) { return _mm256_movemask_ps(mask); }
    // !(c > 0): 0; c >= 1: 255; else int(255.999 * double(c)).
    static void bytes(Reg c, int32_t* out) {
        const __m256d scale = _mm256_set1_pd(255.999);
        const __m128i lo = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(c)), scale));
        const __m128i hi = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(c, 1)), scale));
        const Reg t = _mm256_castsi256_ps(_mm256_set_m128i(hi, lo));
        const Reg full = _mm256_cmp_ps(c, _mm256_set1_ps(1.0f), _CMP_GE_OQ);
        const Reg some = select(full, _mm256_castsi256_ps(_mm256_set1_epi32(255)), t);
        _mm256_store_si256(reinterpret_cast<__m256i*>(out),
                           _mm256_castps_si256(_mm256_and_ps(_mm256_cmp_ps(c, _mm256_setzero_ps(), _CMP_GT_OQ), some)));
    }
};

}  // namespace

void ShadeSpanAvx2(const SpanMaterial& m, const float* v, const float* d, SpanPixels* px, LaneQueue& q) {
    lanes::QueueSpanOf<Avx2Lanes>(m, v, d, px, q);
}

}  // namespace kx

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
