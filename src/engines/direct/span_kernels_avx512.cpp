// The span shading of span_lanes.h in the sixteen lanes of AVX-512
// registers, compiled for AVX-512 alone; ShadeSpanLanes calls it only where
// the processor has AVX-512 (its foundation and its doubleword, byte and
// vector-length extensions).
//
// What the lanes use is included first and compiled as everywhere else; the
// instruction set changes only for the lanes and the shading of
// span_lanes.h, taken in after the change.
#include <cstdint>

#include "core/lights.h"
#include "core/math.h"
#include "engines/direct/span_kernels.h"
#include "engines/direct/vertex_layout.h"

#if defined(__x86_64__) && defined(__GNUC__)  // as KX_SPAN_LANES in span_kernels.cpp
// GCC 12 warns of the undefined source operand inside its own AVX-512
// shuffle and unpack intrinsics (fixed in GCC 13): not this file's values.
#if !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "core/target_isa.h"

KX_TARGET_BEGIN("avx512f,avx512dq,avx512bw,avx512vl")

#include "engines/direct/span_lanes.h"

namespace kx {

namespace {

// Sixteen pixels in the sixteen lanes of an AVX-512 register. A mask is a
// register too, all ones in the lanes where it is set, as the other paths
// have it.
struct Avx512Lanes {
    static constexpr int kLanes = 16;
    using Reg = __m512;
    static Reg set1(float v) { return _mm512_set1_ps(v); }
    static Reg load(const float* p) { return _mm512_load_ps(p); }
    static Reg loadu(const float* p) { return _mm512_loadu_ps(p); }
    static void store(float* p, Reg a) { _mm512_store_ps(p, a); }
    static void storeu(float* p, Reg a) { _mm512_storeu_ps(p, a); }
    static float first(Reg a) { return _mm512_cvtss_f32(a); }
    static Reg add(Reg a, Reg b) { return _mm512_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm512_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm512_mul_ps(a, b); }
    static Reg div(Reg a, Reg b) { return _mm512_div_ps(a, b); }
    static Reg sqrt(Reg a) { return _mm512_sqrt_ps(a); }
    static Reg lanes(__mmask16 k) { return _mm512_castsi512_ps(_mm512_maskz_set1_epi32(k, -1)); }
    static __mmask16 mask(Reg m) { return _mm512_movepi32_mask(_mm512_castps_si512(m)); }
    static Reg greater(Reg a, Reg b) { return lanes(_mm512_cmp_ps_mask(a, b, _CMP_GT_OQ)); }
    static Reg greaterEqual(Reg a, Reg b) { return lanes(_mm512_cmp_ps_mask(a, b, _CMP_GE_OQ)); }
    static Reg equal(Reg a, Reg b) { return lanes(_mm512_cmp_ps_mask(a, b, _CMP_EQ_OQ)); }
    static Reg select(Reg m, Reg a, Reg b) { return _mm512_mask_blend_ps(mask(m), b, a); }
    static Reg negate(Reg a) { return _mm512_xor_ps(a, _mm512_set1_ps(-0.0f)); }
    static int bits(Reg m) { return static_cast<int>(mask(m)); }
    static void power(int exponent, int active, LaneBlock& b) { PowerLanesAvx512(exponent, active, b); }
    // base holds a pipeline vertex's kVertexFloats (24) floats: its floats
    // 0..15 and 8..23 side by side as a table of 32, index i below 16 the
    // first's, from 16 on the second's (at i + 8), without a gather.
    static Reg gather(const float* base, const int32_t* index) {
        static_assert(kVertexFloats == 24);
        const __m512i i = _mm512_load_si512(index);
        const __m512i at = _mm512_mask_add_epi32(i, _mm512_cmpge_epi32_mask(i, _mm512_set1_epi32(16)), i,
                                                 _mm512_set1_epi32(8));
        return _mm512_permutex2var_ps(_mm512_loadu_ps(base), at, _mm512_loadu_ps(base + 8));
    }
    // Rows a..p of sixteen floats into their sixteen columns: pairs
    // interleaved, then quadruples, within each 128-bit part; then the parts
    // gathered across registers twice.
    static void transpose(const float (*pixel)[kQueueSlots], int slot, float (*lane)[kMaxLanes]) {
        Reg r[16], t[16], u[16], v[16];
        for (int k = 0; k < 16; ++k) r[k] = load(pixel[k] + slot);
        for (int k = 0; k < 16; k += 2) {
            t[k] = _mm512_unpacklo_ps(r[k], r[k + 1]);
            t[k + 1] = _mm512_unpackhi_ps(r[k], r[k + 1]);
        }
        // u[4g + c] holds columns c, c + 4, c + 8, c + 12 of rows 4g..4g+3
        for (int g = 0; g < 16; g += 4) {
            u[g] = _mm512_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(1, 0, 1, 0));
            u[g + 1] = _mm512_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(3, 2, 3, 2));
            u[g + 2] = _mm512_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(1, 0, 1, 0));
            u[g + 3] = _mm512_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(3, 2, 3, 2));
        }
        // v[h + c] (c < 8) holds columns c and c + 8 of rows h..h+7
        for (int h = 0; h < 16; h += 8)
            for (int c = 0; c < 4; ++c) {
                v[h + c] = _mm512_shuffle_f32x4(u[h + c], u[h + 4 + c], 0x88);
                v[h + 4 + c] = _mm512_shuffle_f32x4(u[h + c], u[h + 4 + c], 0xdd);
            }
        for (int c = 0; c < 8; ++c) {
            store(lane[slot + c], _mm512_shuffle_f32x4(v[c], v[8 + c], 0x88));
            store(lane[slot + c + 8], _mm512_shuffle_f32x4(v[c], v[8 + c], 0xdd));
        }
    }
    // !(c > 0): 0; c >= 1: 255; else int(255.999 * double(c)).
    static void bytes(Reg c, int32_t* out) {
        const __m512d scale = _mm512_set1_pd(255.999);
        const __m256i lo = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtps_pd(_mm512_castps512_ps256(c)), scale));
        const __m256i hi = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtps_pd(_mm512_extractf32x8_ps(c, 1)), scale));
        __m512i t = _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
        t = _mm512_mask_set1_epi32(t, _mm512_cmp_ps_mask(c, _mm512_set1_ps(1.0f), _CMP_GE_OQ), 255);
        t = _mm512_maskz_mov_epi32(_mm512_cmp_ps_mask(c, _mm512_setzero_ps(), _CMP_GT_OQ), t);
        _mm512_store_si512(out, t);
    }
};

}  // namespace

void SpanFunctionsAvx512(SpanMaterial& m) { lanes::SpanFunctionsOf<Avx512Lanes>(m); }

}  // namespace kx

KX_TARGET_END()

#endif
