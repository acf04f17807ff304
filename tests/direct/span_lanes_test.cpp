// The span filler shades the four materials a pixel at a time, in the four
// lanes of SSE2 registers or in the eight of AVX2 registers. Every path
// must store the same bytes and depths, to the last bit, and count the same
// pixels: for random polygons with random attributes over random depths,
// and for one-row spans of every length at every start within a group of
// lanes.
#include <cstring>
#include <limits>
#include <random>

#include "direct_fixture.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/shading.h"
#include "engines/direct/span_kernels.h"

using namespace kx;
using kxtest::DirectTest;
using kxtest::Drawn;

namespace {

class SpanLanes : public DirectTest {
protected:
    static constexpr int kWidth = 61, kHeight = 37;

    void SetUp() override {
        DirectTest::SetUp();
        open(kWidth, kHeight);
        engine.AmbientLight({0.2f, 0.3f, 0.4f}, 0.5f);
        engine.PointLight({2, 3, 1}, {1, 0.9f, 0.8f}, 6);
        engine.PointLight({-1.5f, 0.25f, 0.5f}, {0.2f, 0.9f, 0.4f}, 2);
        engine.FarLight({-1, -0.5f, -1}, {0.3f, 0.3f, 0.6f}, 1);
        engine.FarLight({0.5f, 0.1f, 1}, {0.7f, 0.1f, 0.2f}, 0.8f);
        engine.ConeLight({0, 0, 2}, {0, 0, -3}, 25, 40, {0.9f, 0.2f, 0.2f}, 4);
        engine.ConeLight({1, -1, 1}, {0, 0, 0}, 60, 30, {0.1f, 0.5f, 0.9f}, 3);
        pipeline.stats.enabled = true;
    }

    static float uniform(std::mt19937& rng, float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    }

    // A layout of position and, as asked, colour and normal.
    void setLayout(bool color, bool normal) {
        VertexLayout& L = directState().layout;
        L.reset();
        L.append(VertexAttribute::Position);
        if (color) L.append(VertexAttribute::Color);
        if (normal) L.append(VertexAttribute::Normal);
        L.finalize();
    }

    // Random attributes for a vertex at screen (x, y): depth, perspective
    // factor, and the layout's attributes times the factor. Some normals are
    // zero, some colours out of 0..1.
    void randomVertex(std::mt19937& rng, AttributeVertex& v, float x, float y) {
        const VertexLayout& L = directState().layout;
        v = AttributeVertex();
        v[0] = x;
        v[1] = y;
        v[2] = uniform(rng, 0, 1);
        v[3] = 1;
        v[4] = uniform(rng, 0.25f, 2);
        for (int i = kFixedFloats; i < L.count; ++i) v[i] = uniform(rng, -2, 2) * v[4];
        if (L.hasColor)
            for (int c = 0; c < 3; ++c) v[L.color + c] = uniform(rng, -0.1f, 1.3f) * v[4];
        if (L.hasNormal && rng() % 5 == 0)
            for (int c = 0; c < 3; ++c) v[L.normal + c] = 0;
    }

    // Draws polygons of random corners and then one-row spans of lengths 1
    // to 19 starting at every column modulo 8, over the given depths, with
    // path; frame: the device's image, smaller than the engine's image when
    // narrow.
    Drawn draw(SpanPath path, unsigned seed, const std::vector<float>& depth, bool narrow) {
        DirectState& s = directState();
        FrameBuffer& frame = *displayState().dev().frame();
        frame.allocate(narrow ? kWidth - 5 : kWidth, narrow ? kHeight - 4 : kHeight);
        frame.clear();
        s.flushBins();  // as whatever writes the depth buffer does
        s.depth.assign(depth.begin(), depth.end());
        s.depthBounds.clear(std::numeric_limits<float>::infinity());  // depths of any size
        s.spanPath = path;
        pipeline.stats.pixels = 0;
        std::mt19937 rng(seed);
        for (int polygon = 0; polygon < 30; ++polygon) {
            s.clippedCount = 3 + static_cast<int>(rng() % 3);
            const float cx = uniform(rng, 0, kWidth), cy = uniform(rng, 0, kHeight);
            for (int i = 0; i < s.clippedCount; ++i) {
                // convex: corners in order around the centre
                const float angle = 6.2831853f * (static_cast<float>(i) + uniform(rng, 0, 0.8f)) /
                                    static_cast<float>(s.clippedCount);
                const float r = uniform(rng, 3, 30);
                randomVertex(rng, s.clipped[i], cx + r * std::cos(angle), cy + r * std::sin(angle));
            }
            s.shadingNormal = Vector3(uniform(rng, -1, 1), uniform(rng, -1, 1), uniform(rng, -1, 1));
            FillPolygon(pipeline);
        }
        for (int length = 1; length < 20; ++length) {
            for (int start = 0; start < 8; ++start) {
                const float x0 = static_cast<float>(start + 2 * length) - 0.5f, x1 = x0 + static_cast<float>(length);
                const float y = static_cast<float>((length * 8 + start) % kHeight);
                s.clippedCount = 4;
                randomVertex(rng, s.clipped[0], x0, y - 0.5f);
                randomVertex(rng, s.clipped[1], x1, y - 0.5f);
                randomVertex(rng, s.clipped[2], x1, y + 0.5f);
                randomVertex(rng, s.clipped[3], x0, y + 0.5f);
                FillPolygon(pipeline);
            }
        }
        return drawn(frame);
    }
};

// The vector paths this processor runs, and their names.
std::vector<SpanPath> VectorPaths() {
    std::vector<SpanPath> paths;
    for (SpanPath p : {SpanPath::Sse2, SpanPath::Avx2, SpanPath::Avx512})
        if (SpanPathAvailable(p)) paths.push_back(p);
    return paths;
}
const char* PathName(SpanPath p) { return p == SpanPath::Avx512 ? "AVX-512" : p == SpanPath::Avx2 ? "AVX2" : "SSE2"; }

TEST_F(SpanLanes, EveryPathStoresTheSameBytesDepthsAndCounts) {
    const ShaderFunction materials[] = {ShadeMatte, ShadeMetal, ShadePlastic, ShadePaintedPlastic};
    const int exponents[] = {7, 1, 0, 40, -2};
    const std::vector<SpanPath> paths = VectorPaths();
    if (paths.empty()) GTEST_SKIP() << "no vector lanes on this processor";
    DirectState& s = directState();
    unsigned seed = 1;
    uint64_t total = 0;
    for (int m = 0; m < 4; ++m) {
        for (int layout = 0; layout < 4; ++layout) {
            for (int options = 0; options < 4; ++options, ++seed) {
                setLayout(layout & 1, layout & 2);
                s.shader = materials[m];
                s.interpolate = options & 1;
                s.doubleSided = options & 2;
                s.color = ColorRGB(0.8f, 0.5f, 0.3f);
                s.ka = 0.7f;
                s.kd = 0.6f;
                s.ks = 0.5f;
                s.specularColor = ColorRGB(1, 1, 0.5f);
                s.specularExponent = exponents[seed % 5];
                s.eye = Point3(0.25f, -0.5f, 3);
                std::mt19937 rng(seed * 7919u);
                std::vector<float> depth(static_cast<size_t>(kWidth) * kHeight);
                for (float& z : depth) z = rng() % 4 == 0 ? 1.0f : uniform(rng, 0, 1.2f);
                const bool narrow = seed % 3 == 0;
                const Drawn scalar = draw(SpanPath::Scalar, seed, depth, narrow);
                ASSERT_GT(scalar.pixels, 2000u);
                total += scalar.pixels;
                for (SpanPath path : paths) {
                    const Drawn lanes = draw(path, seed, depth, narrow);
                    const char* name = PathName(path);
                    ASSERT_EQ(lanes.pixels, scalar.pixels) << name << " material " << m << " seed " << seed;
                    ASSERT_EQ(lanes.bytes, scalar.bytes) << name << " material " << m << " seed " << seed;
                    ASSERT_EQ(std::memcmp(lanes.depth.data(), scalar.depth.data(), depth.size() * sizeof(float)), 0)
                        << name << " material " << m << " seed " << seed;
                }
            }
        }
    }
    EXPECT_GT(total, 200000u);
}

// Each lane's colour before its conversion to bytes, against the pixel loop
// of the scan converter written out: attributes advancing by v += d, the
// fragment divided back by the perspective factor, the shader function
// called (the inlined materials equal it: shading_paths_test.cpp).
TEST_F(SpanLanes, EveryLaneColourEqualsThePixelLoopsToTheBit) {
    const ShaderFunction materials[] = {ShadeMatte, ShadeMetal, ShadePlastic, ShadePaintedPlastic};
    const std::vector<SpanPath> paths = VectorPaths();
    if (paths.empty()) GTEST_SKIP() << "no vector lanes on this processor";
    DirectState& s = directState();
    std::mt19937 rng(77);
    uint64_t compared = 0;
    for (int m = 0; m < 4; ++m) {
        for (int layout = 0; layout < 4; ++layout) {
            for (int options = 0; options < 4; ++options) {
                setLayout(layout & 1, layout & 2);
                s.shader = materials[m];
                s.interpolate = options & 1;
                s.doubleSided = options & 2;
                s.color = ColorRGB(uniform(rng, 0, 1), uniform(rng, 0, 1), uniform(rng, 0, 1));
                s.ka = uniform(rng, 0, 1);
                s.kd = uniform(rng, 0, 1);
                s.ks = uniform(rng, 0, 1);
                s.specularColor = ColorRGB(uniform(rng, 0, 1), uniform(rng, 0, 1), uniform(rng, 0, 1));
                s.specularExponent = static_cast<int>(rng() % 60) - 3;
                s.eye = Point3(uniform(rng, -1, 1), uniform(rng, -1, 1), uniform(rng, 1, 4));
                s.shadingNormal = Vector3(uniform(rng, -1, 1), uniform(rng, -1, 1), uniform(rng, -1, 1));
                s.shadingLights.gather(pipeline.lights, pipeline.maps);
                Material material;
                ASSERT_TRUE(MaterialOf(s.shader, material));
                const int count = s.layout.count;
                for (int span = 0; span < 3 * 19; ++span) {
                    const int length = 1 + span % 19;
                    // the span filler's set-up: the first pixel offset past the left edge
                    float v[kVertexFloats] = {}, d[kVertexFloats] = {};
                    AttributeVertex a, b;
                    randomVertex(rng, a, 0, 0);
                    randomVertex(rng, b, 0, 0);
                    const float dx = static_cast<float>(length) + uniform(rng, 0, 1);
                    const float offset = uniform(rng, 0, 1);
                    for (int i = 0; i < count; ++i) {
                        d[i] = (b[i] - a[i]) / dx;
                        v[i] = a[i] + d[i] * offset;
                    }
                    std::vector<float> depth(40);
                    for (float& z : depth) z = rng() % 3 == 0 ? 1.0f : uniform(rng, 0, 1.2f);
                    const int xs = static_cast<int>(rng() % 9), xe = xs + length;
                    // the pixel loop
                    std::vector<float> wantDepth = depth, wantColors(3 * length, -7.0f);
                    uint64_t wantShaded = 0;
                    float u[kVertexFloats];
                    std::memcpy(u, v, sizeof u);
                    for (int x = xs; x < xe; ++x) {
                        if (wantDepth[x] > u[2]) {
                            for (int i = kFixedFloats; i < count; ++i) s.fragment[i] = u[i] / u[4];
                            ColorRGB c;
                            s.shader(s, c);
                            ++wantShaded;
                            wantDepth[x] = u[2];
                            std::memcpy(&wantColors[3 * (x - xs)], &c, sizeof c);
                        }
                        for (int i = 0; i < count; ++i) u[i] += d[i];
                    }
                    for (SpanPath path : paths) {
                        SpanMaterial k;
                        k.prepare(s, s.shadingLights, material, true, path);
                        std::vector<float> gotDepth = depth, gotColors(3 * length, -7.0f);
                        std::vector<uint8_t> row(3 * 40, 0);
                        SpanPixels px;
                        px.xs = xs;
                        px.xe = xe;
                        px.depthRow = gotDepth.data();
                        px.row = row.data();
                        px.rowEnd = xe;
                        px.colors = gotColors.data();
                        LaneQueue queue;
                        ShadeSpanLanes(k, a.v, b.v, dx, offset, px, queue);
                        FlushSpanLanes(k, queue);
                        const char* name = PathName(path);
                        ASSERT_EQ(px.shaded, wantShaded) << name;
                        ASSERT_EQ(std::memcmp(gotDepth.data(), wantDepth.data(), 40 * sizeof(float)), 0) << name;
                        ASSERT_EQ(std::memcmp(gotColors.data(), wantColors.data(), gotColors.size() * sizeof(float)),
                                  0)
                            << name << " material " << m << " layout " << layout << " options " << options
                            << " length " << length;
                        for (int x = xs; x < xe; ++x) {
                            if (wantColors[3 * (x - xs)] == -7.0f && gotColors[3 * (x - xs)] == -7.0f) continue;
                            for (int c = 0; c < 3; ++c)
                                ASSERT_EQ(row[3 * x + c], ColorByte(wantColors[3 * (x - xs) + c])) << name;
                        }
                    }
                    compared += wantShaded;
                }
            }
        }
    }
    EXPECT_GT(compared, 10000u);
}

// The specular power in AVX2 and AVX-512 lanes is the float of the
// library's pow to the bit, for bases over every binade of (0, 1], their
// neighbours of 0 and 1, signed zeros and NaN, and exponents small, large
// and not positive.
TEST(SpanLanesPower, EveryLaneEqualsSpecularPowerToTheBit) {
    struct Lanes {
        SpanPath path;
        void (*power)(int, int, LaneBlock&);
        int width;
    };
    std::vector<Lanes> paths;
    if (SpanPathAvailable(SpanPath::Avx2)) paths.push_back({SpanPath::Avx2, PowerLanesAvx2, 8});
    if (SpanPathAvailable(SpanPath::Avx512)) paths.push_back({SpanPath::Avx512, PowerLanesAvx512, 16});
    if (paths.empty()) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(11);
    std::vector<float> bases = {1.0f,
                                std::nextafter(1.0f, 0.0f),
                                0.5f,
                                std::numeric_limits<float>::min(),
                                std::numeric_limits<float>::denorm_min(),
                                0.0f,
                                -0.0f,
                                std::numeric_limits<float>::quiet_NaN(),
                                0.999f,
                                0.7071068f};
    const uint32_t one = 0x3f800000u;
    while (bases.size() < 160000) {
        uint32_t bits = static_cast<uint32_t>(rng()) % one + 1;  // (0, 1)
        if (bases.size() % 2) bits = one - static_cast<uint32_t>(rng() % (1u << 24));  // just below 1
        float x;
        std::memcpy(&x, &bits, sizeof x);
        bases.push_back(x);
    }
    for (const Lanes& lanes : paths) {
        const size_t width = static_cast<size_t>(lanes.width);
        size_t compared = 0;
        for (int n : {1, 2, 3, 5, 7, 10, 13, 40, 100, 1000, 65535, 0, -2}) {
            for (size_t i = 0; i + width <= bases.size(); i += width) {
                LaneBlock b;
                for (size_t k = 0; k < width; ++k) b.sp[k] = bases[i + k];
                const int active = static_cast<int>(((1u << width) - 1) & ~(i / width % 7 == 3 ? 0x2424u : 0u));
                lanes.power(n, active, b);
                for (size_t k = 0; k < width; ++k) {
                    const float x = bases[i + k];
                    const float want = active & (1 << k) ? shading::SpecularPower(x, n) : x;
                    ASSERT_EQ(std::memcmp(&b.sp[k], &want, sizeof want), 0)
                        << PathName(lanes.path) << " x " << x << " n " << n;
                    ++compared;
                }
            }
        }
        EXPECT_GT(compared, 2000000u);
    }
}

}  // namespace
