// The span shading of span_kernels.h for a lane type V: V::kLanes pixels,
// one per lane of a register V::Reg of floats, with V's static functions
// set1, load (aligned), loadu, store (aligned), storeu, add, sub, mul, div,
// sqrt, first (lane 0), gather (lane k: base[index[k]]), greater, greaterEqual, equal (all-ones lanes where true, false for
// NaN), select(mask, a, b) (a where mask is set), negate (the sign bit
// flipped), bits (bit k set where lane k of a mask is set) and bytes (each
// lane's ColorByte of frame_buffer.h, as 32-bit integers), power (as
// PowerByLane), and transpose
// (slots [slot, slot + kLanes) of the first kLanes queued pixels into rows
// slot... of lane[]).
//
// Included by span_kernels.cpp (SSE2), span_kernels_avx2.cpp (AVX2) and
// span_kernels_avx512.cpp (AVX-512), the last two after their instruction
// set is chosen, with the headers below included before:
// everything here is a template over V, so each file compiles its own copy,
// and what it calls outside is compiled for the common instruction set.
#pragma once

#include <cstdint>

#include "core/lights.h"
#include "engines/direct/span_kernels.h"

namespace kx::lanes {

// A vector of three components in lanes.
template <class V>
struct Vec {
    typename V::Reg x, y, z;
};

// dot of core/math.h, rounded to float: (ax bx + ay by) + az bz.
template <class V>
inline typename V::Reg Dot(const Vec<V>& a, const Vec<V>& b) {
    return V::add(V::add(V::mul(a.x, b.x), V::mul(a.y, b.y)), V::mul(a.z, b.z));
}

// normalize of core/math.h, given the squared length: unchanged where the
// length is 0.
template <class V>
inline void NormalizeBy(Vec<V>& a, typename V::Reg squared) {
    const typename V::Reg len = V::sqrt(squared);
    const typename V::Reg zero = V::equal(len, V::set1(0.0f));
    a.x = V::select(zero, a.x, V::div(a.x, len));
    a.y = V::select(zero, a.y, V::div(a.y, len));
    a.z = V::select(zero, a.z, V::div(a.z, len));
}

template <class V>
inline Vec<V> Broadcast(float x, float y, float z) {
    return {V::set1(x), V::set1(y), V::set1(z)};
}

// The lanes' quotients of three attributes by the perspective factor.
template <class V>
inline Vec<V> Divided(const float (*lane)[kMaxLanes], typename V::Reg w) {
    return {V::div(V::load(lane[0]), w), V::div(V::load(lane[1]), w), V::div(V::load(lane[2]), w)};
}

template <class V>
inline void Store(const Vec<V>& a, float (*to)[kMaxLanes]) {
    V::store(to[0], a.x);
    V::store(to[1], a.y);
    V::store(to[2], a.z);
}
template <class V>
inline Vec<V> Load(const float (*from)[kMaxLanes]) {
    return {V::load(from[0]), V::load(from[1]), V::load(from[2])};
}

// c += k * t where mask is set: (c + k * t) as ColorRGB += and * give it.
template <class V>
inline void AddWhere(typename V::Reg mask, Vec<V>& c, const ColorRGB& k, typename V::Reg t) {
    c.x = V::select(mask, V::add(c.x, V::mul(V::set1(k.r), t)), c.x);
    c.y = V::select(mask, V::add(c.y, V::mul(V::set1(k.g), t)), c.y);
    c.z = V::select(mask, V::add(c.z, V::mul(V::set1(k.b), t)), c.z);
}

// The lights' sums D and S for the lanes in active (a mask, and its bits),
// at positions P with unit normals N and reflected views R.
template <class V, bool kDiffuse, bool kSpecular>
inline void Lights(const SpanMaterial& m, typename V::Reg active, int activeBits, const Vec<V>& P,
                   const Vec<V>& N, const Vec<V>& R, Vec<V>& D, Vec<V>& S, LaneBlock& block) {
    using Reg = typename V::Reg;
    const Reg zero = V::set1(0.0f), one = V::set1(1.0f);
    bool stored = false;  // P, N and R in block
    for (int i = 0; i < m.lightCount; ++i) {
        const ShadingLight& entry = m.lights[i];
        Vec<V> L;
        Reg a;
        if (entry.kind == ShadingLight::Point) {
            const Point3& q = static_cast<const PointLight*>(entry.light)->position;
            L = {V::sub(V::set1(q.x), P.x), V::sub(V::set1(q.y), P.y), V::sub(V::set1(q.z), P.z)};
            const Reg squared = Dot<V>(L, L);
            a = V::div(one, squared);
            NormalizeBy<V>(L, squared);
        } else if (entry.kind == ShadingLight::Far) {
            Vector3 t = static_cast<const FarLight*>(entry.light)->toLight;
            normalize(t);
            L = Broadcast<V>(t.x, t.y, t.z);
            a = one;
        } else {
            if (!stored) {
                Store<V>(P, block.P);
                Store<V>(N, block.N);
                Store<V>(R, block.R);
                stored = true;
            }
            Store<V>(D, block.D);
            Store<V>(S, block.S);
            LightByLane(entry, m.exponent, kDiffuse, kSpecular, activeBits, block);
            D = Load<V>(block.D);
            S = Load<V>(block.S);
            continue;
        }
        const Reg d = Dot<V>(L, N);
        const Reg lit = V::select(V::greaterEqual(d, zero), active, zero);
        const int litBits = V::bits(lit);
        if (!litBits) continue;
        const Light& light = *entry.light;
        if (kDiffuse) AddWhere<V>(lit, D, light.color, V::mul(a, d));
        if (kSpecular) {
            // clamp(0, t, 1)
            const Reg t = Dot<V>(L, R);
            Reg sp = V::select(V::greater(t, one), one, t);
            sp = V::select(V::greater(zero, t), zero, sp);
            V::store(block.sp, sp);
            // SpecularPower gives +0 for +0 (its sign: bits of sp) with a positive exponent: sp as it is
            const int plusZero = V::bits(V::equal(sp, zero)) & ~V::bits(sp);
            const int powerBits = m.exponent > 0 ? litBits & ~plusZero : litBits;
            if (powerBits) V::power(m.exponent, powerBits, block);
            AddWhere<V>(lit, S, light.color, V::mul(a, V::load(block.sp)));
        }
    }
}

// The colours of the lanes in active under material M, from the lane
// attributes (rows of lane[]: the perspective factor, then the position,
// colour and normal rows that m reads, in that order).
template <class V, Material M>
inline Vec<V> Colors(const SpanMaterial& m, typename V::Reg active, int activeBits, const float (*lane)[kMaxLanes],
                     LaneBlock& block) {
    using Reg = typename V::Reg;
    constexpr bool kDiffuse = M != Material::Metal;
    constexpr bool kSpecular = M != Material::Matte;
    const Reg w = V::load(lane[0]);
    int row = 1;
    Vec<V> P = Broadcast<V>(0, 0, 0), base, N;
    if (m.position >= 0) {
        P = Divided<V>(lane + row, w);
        row += 3;
    }
    if (m.color >= 0) {
        base = Divided<V>(lane + row, w);
        row += 3;
    } else {
        base = Broadcast<V>(m.surfaceColor.r, m.surfaceColor.g, m.surfaceColor.b);
    }
    if (m.normal >= 0)
        N = Divided<V>(lane + row, w);
    else
        N = Broadcast<V>(m.faceNormal.x, m.faceNormal.y, m.faceNormal.z);
    Vec<V> View = {V::sub(P.x, V::set1(m.eye.x)), V::sub(P.y, V::set1(m.eye.y)), V::sub(P.z, V::set1(m.eye.z))};
    if (M != Material::PaintedPlastic && m.doubleSided) {
        const Reg back = V::greater(Dot<V>(View, N), V::set1(0.0f));
        N = {V::select(back, V::negate(N.x), N.x), V::select(back, V::negate(N.y), N.y),
             V::select(back, V::negate(N.z), N.z)};
    }
    NormalizeBy<V>(N, Dot<V>(N, N));
    Vec<V> R = Broadcast<V>(0, 0, 0);
    if (kSpecular) {
        NormalizeBy<V>(View, Dot<V>(View, View));
        // reflect: V - (2 dot(V, N)) N, the doubling exact in float as in double
        const Reg k = V::mul(V::set1(2.0f), Dot<V>(View, N));
        R = {V::sub(View.x, V::mul(k, N.x)), V::sub(View.y, V::mul(k, N.y)), V::sub(View.z, V::mul(k, N.z))};
    }
    Vec<V> D = Broadcast<V>(0, 0, 0), S = D;
    Lights<V, kDiffuse, kSpecular>(m, active, activeBits, P, N, R, D, S, block);
    Vec<V> T = base;
    if (M == Material::PaintedPlastic && !m.paintedBase)
        T = Broadcast<V>(m.surfaceColor.r, m.surfaceColor.g, m.surfaceColor.b);
    // T * (ambient + kd D) [+ (ks specular) S], or T * (ambient + ks S) for metal
    const Reg k = V::set1(kDiffuse ? m.kd : m.ks);
    const Vec<V>& sum = kDiffuse ? D : S;
    Vec<V> out = {V::mul(T.x, V::add(V::set1(m.ambient.r), V::mul(k, sum.x))),
                  V::mul(T.y, V::add(V::set1(m.ambient.g), V::mul(k, sum.y))),
                  V::mul(T.z, V::add(V::set1(m.ambient.b), V::mul(k, sum.z)))};
    if (kDiffuse && kSpecular) {
        out.x = V::add(out.x, V::mul(V::set1(m.specularColor.r), S.x));
        out.y = V::add(out.y, V::mul(V::set1(m.specularColor.g), S.y));
        out.z = V::add(out.z, V::mul(V::set1(m.specularColor.b), S.z));
    }
    return out;
}

// Shades the pixels waiting in q and stores their bytes (and colours).
// Lanes past q.count hold values of earlier pixels, or zeros: they take no
// part.
template <class V, Material M>
[[gnu::noinline]] void Flush(const SpanMaterial& m, LaneQueue& q) {
    using Reg = typename V::Reg;
    if (q.count == 0) return;
    alignas(64) static constexpr float kIndex[kMaxLanes] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const Reg active = V::greater(V::set1(static_cast<float>(q.count)), V::load(kIndex));
    const int activeBits = (1 << q.count) - 1;
    const int n = q.count < V::kLanes ? q.count : V::kLanes;  // q.count, no more than the lanes
    // the slots lane by lane: the depth, then the rows
    alignas(64) float lane[kQueueSlots][kMaxLanes];
    for (int slot = 0; slot <= m.rows; slot += V::kLanes) V::transpose(q.pixel, slot, lane);
    LaneBlock block;
    const Vec<V> c = Colors<V, M>(m, active, activeBits, lane + 1, block);
    alignas(64) int32_t bytes[3][kMaxLanes];
    V::bytes(c.x, bytes[0]);
    V::bytes(c.y, bytes[1]);
    V::bytes(c.z, bytes[2]);
    // each pixel's three bytes side by side
    alignas(64) uint32_t rgb[kMaxLanes];
    for (int k = 0; k < V::kLanes; ++k)
        rgb[k] = static_cast<uint32_t>(bytes[0][k]) | static_cast<uint32_t>(bytes[1][k]) << 8 |
                 static_cast<uint32_t>(bytes[2][k]) << 16;
    for (int k = 0; k < n; ++k) {
        if (uint8_t* p = q.bytes[k]) {
            const uint32_t c = rgb[k];
            p[0] = static_cast<uint8_t>(c);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c >> 16);
        }
    }
    if (q.keepColors) {
        alignas(64) float rgb[3][kMaxLanes];
        Store<V>(c, rgb);
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < 3; ++i) q.colors[k][i] = rgb[i][k];
    }
    q.count = 0;
}

// The depth test of the span's pixels, a pixel at a time with the
// attributes set up and advancing as in the pixel loop, the depth and the
// rows side by side in R registers; the pixels that pass take the next lane
// of q, shaded whenever every lane is taken.
template <class V, Material M, int R>
void QueueSpan(const SpanMaterial& m, const float* from, const float* to, float dx, float offset, SpanPixels& px,
               LaneQueue& q) {
    constexpr int kN = V::kLanes;
    static_assert(R * kN <= kQueueSlots);
    using Reg = typename V::Reg;
    Reg value[R], by[R];
    for (int r = 0; r < R; ++r) {
        const Reg a = V::gather(from, m.slot + r * kN);
        by[r] = V::div(V::sub(V::gather(to, m.slot + r * kN), a), V::set1(dx));
        value[r] = V::add(a, V::mul(by[r], V::set1(offset)));
    }
    // q and px in locals while the pixels go by
    const bool keepColors = q.keepColors;
    int count = q.count;
    uint64_t shaded = 0;
    int writtenFirst = px.writtenFirst, writtenLast = px.writtenLast;
    float* const depthRow = px.depthRow;
    uint8_t* const row = px.row;
    const int rowEnd = px.rowEnd;
    for (int x = px.xs; x < px.xe; ++x) {
        const float z = V::first(value[0]);
        if (depthRow[x] > z) {
            depthRow[x] = z;
            ++shaded;
            for (int r = 0; r < R; ++r) V::store(q.pixel[count] + r * kN, value[r]);
            uint8_t* bytes = nullptr;
            if (x < rowEnd) {
                bytes = row + static_cast<size_t>(x) * 3;
                if (writtenLast < 0) writtenFirst = x;
                writtenLast = x;
            }
            q.bytes[count] = bytes;
            if (keepColors) q.colors[count] = px.colors + 3 * (x - px.xs);
            if (++count == kN) {
                q.count = count;
                Flush<V, M>(m, q);
                count = 0;
            }
        }
        for (int r = 0; r < R; ++r) value[r] = V::add(value[r], by[r]);
    }
    q.count = count;
    px.shaded += shaded;
    px.writtenFirst = writtenFirst;
    px.writtenLast = writtenLast;
}

// The span functions of m with material M: QueueSpan with as many
// registers as the depth and the rows take, and Flush.
template <class V, Material M>
void SpanFunctionsAs(SpanMaterial& m) {
    constexpr int kN = V::kLanes;
    constexpr int kMost = kQueueSlots / kN < 3 ? kQueueSlots / kN : 3;  // the registers the slots allow
    const int r = (m.rows + kN) / kN;  // at most kMost: the depth and the rows fit the slots
    if constexpr (kMost == 1) {
        m.queueSpan = &QueueSpan<V, M, 1>;
    } else {
        m.queueSpan = r == 1 ? &QueueSpan<V, M, 1> : r == 2 ? &QueueSpan<V, M, 2> : &QueueSpan<V, M, kMost>;
    }
    m.flush = &Flush<V, M>;
}

// SpanFunctionsAs for the material m names.
template <class V>
void SpanFunctionsOf(SpanMaterial& m) {
    switch (m.material) {
        case Material::Matte: SpanFunctionsAs<V, Material::Matte>(m); break;
        case Material::Metal: SpanFunctionsAs<V, Material::Metal>(m); break;
        case Material::Plastic: SpanFunctionsAs<V, Material::Plastic>(m); break;
        case Material::PaintedPlastic: SpanFunctionsAs<V, Material::PaintedPlastic>(m); break;
    }
}

}  // namespace kx::lanes
