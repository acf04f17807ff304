// The span shading of span_kernels.h: the per-polygon constants, the calls
// made lane by lane, the choice of path and the SSE2 lanes (the AVX2 and
// AVX-512 lanes: span_kernels_avx2.cpp, span_kernels_avx512.cpp).
#include "engines/direct/span_kernels.h"

#include <algorithm>

#include "core/same_bits.h"
#include "engines/direct/direct_state.h"
#include "engines/direct/shading.h"
#include "engines/direct/span_lanes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KX_SPAN_LANES 1
#endif

namespace kx {

#ifdef KX_SPAN_LANES
// The functions of the AVX2 and AVX-512 lanes (span_kernels_avx2.cpp,
// span_kernels_avx512.cpp): only where the processor has them.
void SpanFunctionsAvx2(SpanMaterial& m);
void SpanFunctionsAvx512(SpanMaterial& m);
#endif

SpanPath FastestSpanPath() {
#ifdef KX_SPAN_LANES
    // The AVX-512 lanes use its foundation and its doubleword, byte and
    // vector-length extensions.
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx512 ? SpanPath::Avx512 : avx2 ? SpanPath::Avx2 : SpanPath::Sse2;
#else
    return SpanPath::Scalar;
#endif
}

bool SpanPathAvailable(SpanPath path) {
    const SpanPath fastest = FastestSpanPath();
    switch (path) {
        case SpanPath::Scalar: return true;
        case SpanPath::Sse2: return fastest != SpanPath::Scalar;
        case SpanPath::Avx2: return fastest == SpanPath::Avx2 || fastest == SpanPath::Avx512;
        case SpanPath::Avx512: return fastest == SpanPath::Avx512;
    }
    return false;
}

void SpanMaterial::prepare(const DirectState& s, const ShadingLights& l, Material m, bool noMap, SpanPath p) {
    const VertexLayout& L = s.layout;
    material = m;
    path = p;
    position = L.position;
    color = s.interpolate && L.hasColor ? L.color : -1;
    normal = s.interpolate && L.hasNormal ? L.normal : -1;
    doubleSided = s.doubleSided;
    exponent = s.specularExponent;
    surfaceColor = s.color;
    paintedBase = noMap;
    ambient = s.ka * l.ambient;
    specularColor = s.ks * s.specularColor;
    kd = s.kd;
    ks = s.ks;
    faceNormal = s.shadingNormal;
    eye = s.eye;
    lights = l.list.data();
    lightCount = static_cast<int>(l.list.size());
    for (int32_t& i : slot) i = 0;
    slot[0] = 2;
    slot[1] = 4;
    rows = 1;
    for (int first : {position, color, normal})
        if (first >= 0)
            for (int c = 0; c < 3; ++c) slot[1 + rows++] = first + c;
    chooseFunctions();
}

bool SpanMaterial::shadesAs(const SpanMaterial& o) const {
    return material == o.material && path == o.path && position == o.position && color == o.color &&
           normal == o.normal && doubleSided == o.doubleSided && exponent == o.exponent &&
           SameBits(surfaceColor, o.surfaceColor) && paintedBase == o.paintedBase && SameBits(ambient, o.ambient) &&
           SameBits(specularColor, o.specularColor) && SameBits(kd, o.kd) && SameBits(ks, o.ks) &&
           facing(o.faceNormal) && SameBits(eye, o.eye) && lights == o.lights &&
           lightCount == o.lightCount && rows == o.rows && queueSpan == o.queueSpan && flush == o.flush &&
           std::equal(slot, slot + kQueueSlots, o.slot);
}

bool SpanMaterial::facing(const Vector3& n) const { return normal >= 0 || SameBits(faceNormal, n); }

void LightByLane(const ShadingLight& l, int exponent, bool diffuse, bool specular, int active, LaneBlock& b) {
    for (int k = 0; k < kMaxLanes; ++k) {
        if (!(active & (1 << k))) continue;
        const Point3 P(b.P[0][k], b.P[1][k], b.P[2][k]);
        const Vector3 N(b.N[0][k], b.N[1][k], b.N[2][k]), R(b.R[0][k], b.R[1][k], b.R[2][k]);
        ColorRGB D(b.D[0][k], b.D[1][k], b.D[2][k]), S(b.S[0][k], b.S[1][k], b.S[2][k]);
        if (diffuse && specular)
            shading::LightTerm<true, true>(l, P, N, R, exponent, D, S);
        else if (diffuse)
            shading::LightTerm<true, false>(l, P, N, R, exponent, D, S);
        else
            shading::LightTerm<false, true>(l, P, N, R, exponent, D, S);
        for (int c = 0; c < 3; ++c) {
            b.D[c][k] = D[c];
            b.S[c][k] = S[c];
        }
    }
}

void PowerByLane(int exponent, int active, float* sp) {
    for (unsigned bits = static_cast<unsigned>(active); bits; bits &= bits - 1) {
        const int k = __builtin_ctz(bits);
        sp[k] = shading::SpecularPower(sp[k], exponent);
    }
}

#ifdef KX_SPAN_LANES
namespace {

// Four pixels in the four lanes of an SSE register.
struct Sse2Lanes {
    static constexpr int kLanes = 4;
    using Reg = __m128;
    static Reg set1(float v) { return _mm_set1_ps(v); }
    static Reg load(const float* p) { return _mm_load_ps(p); }
    static Reg loadu(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Reg a) { _mm_store_ps(p, a); }
    static void storeu(float* p, Reg a) { _mm_storeu_ps(p, a); }
    static float first(Reg a) { return _mm_cvtss_f32(a); }
    static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
    static Reg div(Reg a, Reg b) { return _mm_div_ps(a, b); }
    static Reg sqrt(Reg a) { return _mm_sqrt_ps(a); }
    static Reg greater(Reg a, Reg b) { return _mm_cmpgt_ps(a, b); }
    static Reg greaterEqual(Reg a, Reg b) { return _mm_cmpge_ps(a, b); }
    static Reg equal(Reg a, Reg b) { return _mm_cmpeq_ps(a, b); }
    static Reg select(Reg mask, Reg a, Reg b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    static Reg negate(Reg a) { return _mm_xor_ps(a, _mm_set1_ps(-0.0f)); }
    static int bits(Reg mask) { return _mm_movemask_ps(mask); }
    static void power(int exponent, int active, LaneBlock& b) { PowerByLane(exponent, active, b); }
    static Reg gather(const float* base, const int32_t* index) {
        return _mm_set_ps(base[index[3]], base[index[2]], base[index[1]], base[index[0]]);
    }
    static void transpose(const float (*pixel)[kQueueSlots], int slot, float (*lane)[kMaxLanes]) {
        __m128 r0 = load(pixel[0] + slot), r1 = load(pixel[1] + slot), r2 = load(pixel[2] + slot),
               r3 = load(pixel[3] + slot);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        store(lane[slot], r0);
        store(lane[slot + 1], r1);
        store(lane[slot + 2], r2);
        store(lane[slot + 3], r3);
    }
    // !(c > 0): 0; c >= 1: 255; else int(255.999 * double(c)).
    static void bytes(Reg c, int32_t* out) {
        const __m128d scale = _mm_set1_pd(255.999);
        const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtps_pd(c), scale));
        const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(c, c)), scale));
        const __m128 t = _mm_castsi128_ps(_mm_unpacklo_epi64(lo, hi));
        const __m128 full = _mm_cmpge_ps(c, _mm_set1_ps(1.0f));
        const __m128 some = select(full, _mm_castsi128_ps(_mm_set1_epi32(255)), t);
        _mm_store_si128(reinterpret_cast<__m128i*>(out),
                        _mm_castps_si128(_mm_and_ps(_mm_cmpgt_ps(c, _mm_setzero_ps()), some)));
    }
};

}  // namespace
#endif

void SpanMaterial::chooseFunctions() {
    queueSpan = nullptr;
    flush = nullptr;
#ifdef KX_SPAN_LANES
    if (path == SpanPath::Avx512)
        SpanFunctionsAvx512(*this);
    else if (path == SpanPath::Avx2)
        SpanFunctionsAvx2(*this);
    else if (path == SpanPath::Sse2)
        lanes::SpanFunctionsOf<Sse2Lanes>(*this);
#endif
}

}  // namespace kx
