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

#include "core/target_isa.h"

KX_TARGET_BEGIN("avx2")

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
    static void power(int exponent, int active, LaneBlock& b) { PowerLanesAvx2(exponent, active, b); }
    static Reg gather(const float* base, const int32_t* index) {
        return _mm256_i32gather_ps(base, _mm256_load_si256(reinterpret_cast<const __m256i*>(index)), 4);
    }
    static void transpose(const float (*pixel)[kQueueSlots], int slot, float (*lane)[kMaxLanes]) {
        Reg r[8];
        for (int k = 0; k < 8; ++k) r[k] = load(pixel[k] + slot);
        Reg t[8], s[8];
        for (int k = 0; k < 8; k += 2) {
            t[k] = _mm256_unpacklo_ps(r[k], r[k + 1]);
            t[k + 1] = _mm256_unpackhi_ps(r[k], r[k + 1]);
        }
        for (int h = 0; h < 8; h += 4) {
            s[h] = _mm256_shuffle_ps(t[h], t[h + 2], _MM_SHUFFLE(1, 0, 1, 0));
            s[h + 1] = _mm256_shuffle_ps(t[h], t[h + 2], _MM_SHUFFLE(3, 2, 3, 2));
            s[h + 2] = _mm256_shuffle_ps(t[h + 1], t[h + 3], _MM_SHUFFLE(1, 0, 1, 0));
            s[h + 3] = _mm256_shuffle_ps(t[h + 1], t[h + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        for (int i = 0; i < 4; ++i) {
            store(lane[slot + i], _mm256_permute2f128_ps(s[i], s[i + 4], 0x20));
            store(lane[slot + i + 4], _mm256_permute2f128_ps(s[i], s[i + 4], 0x31));
        }
    }
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

// SpecularPower(x, n) for 0 < x, 0 < n < 2^20, four lanes of doubles at a
// time. x^n as r by repeated squaring: each product's rounding enters x^n
// as often as the product is a factor of it, n - 1 times in all, so r lies
// within (n - 1) 2^-53 (1 + 2^-30) of x^n relative to it. The library's
// pow is within one unit in the last place of a double, 2^-52 relative, of
// x^n: r (1 - e) and r (1 + e), e = (n + 4) 2^-52, bracket it even after
// their own rounding. Where they round to the same float, every value
// between them rounds to it, the float of the library's pow among them.
// Elsewhere (a float's rounding boundary near x^n, x^n tiny, x not above
// 0) the lane is left to SpecularPower.
struct PowerLanes {
    using D = __m256d;
    // The floats of four lanes x, and the lanes (bits) where they hold.
    static __m128 Power(__m128 x, unsigned n, int& good) {
        const D xd = _mm256_cvtps_pd(x);
        const double e = static_cast<double>(n + 4) * 0x1p-52;  // exact, as are 1 - e and 1 + e
        D base = xd, r = _mm256_set1_pd(1.0);
        for (unsigned k = n;;) {
            if (k & 1) r = _mm256_mul_pd(r, base);
            k >>= 1;
            if (!k) break;
            base = _mm256_mul_pd(base, base);
        }
        const __m128 below = _mm256_cvtpd_ps(_mm256_mul_pd(r, _mm256_set1_pd(1.0 - e)));
        const __m128 above = _mm256_cvtpd_ps(_mm256_mul_pd(r, _mm256_set1_pd(1.0 + e)));
        good = _mm_movemask_ps(_mm_cmpeq_ps(below, above)) &
               _mm256_movemask_pd(_mm256_cmp_pd(xd, _mm256_setzero_pd(), _CMP_GT_OQ)) &
               _mm256_movemask_pd(_mm256_cmp_pd(r, _mm256_set1_pd(0x1p-600), _CMP_GE_OQ));
        return below;
    }
};

}  // namespace

void PowerLanesAvx2(int exponent, int active, float* sp) {
    if (exponent <= 0 || exponent >= (1 << 20)) {
        PowerByLane(exponent, active, sp);
        return;
    }
    const __m256 x = _mm256_load_ps(sp);
    int goodLow, goodHigh;
    const __m128 low = PowerLanes::Power(_mm256_castps256_ps128(x), static_cast<unsigned>(exponent), goodLow);
    const __m128 high = PowerLanes::Power(_mm256_extractf128_ps(x, 1), static_cast<unsigned>(exponent), goodHigh);
    alignas(32) float power[8];
    _mm256_store_ps(power, _mm256_set_m128(high, low));
    const int good = active & (goodLow | goodHigh << 4);
    for (unsigned bits = static_cast<unsigned>(good); bits; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        sp[k] = power[k];
    }
    if (active & ~good) PowerByLane(exponent, active & ~good, sp);
}

void SpanFunctionsAvx2(SpanMaterial& m) { lanes::SpanFunctionsOf<Avx2Lanes>(m); }

}  // namespace kx

KX_TARGET_END()

#endif
