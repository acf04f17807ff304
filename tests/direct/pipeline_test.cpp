// The polygon pipeline: layouts, coverage rules, clipping, depth test,
// perspective-correct interpolation and the bounds on hostile input.
#include <cmath>
#include <cstring>
#include <limits>

#include "core/errors.h"
#include "direct_fixture.h"
#include "engines/direct/raster.h"
#include "interface/vertex_type.h"

using namespace kx;
using kxtest::DirectTest;

TEST(VertexLayoutTest, InputAndPipelineLayouts) {
    VertexLayout in, pipe;
    ASSERT_EQ(BuildLayouts("\"PNCT\"", in, pipe), 0);
    EXPECT_EQ(in.count, 11);
    EXPECT_EQ(in.position, 0);
    EXPECT_EQ(in.normal, 3);
    EXPECT_EQ(in.color, 6);
    EXPECT_EQ(in.texture, 9);
    EXPECT_EQ(pipe.count, 5 + 13);
    EXPECT_EQ(pipe.position, 5);
    EXPECT_EQ(pipe.normal, 8);
    EXPECT_EQ(pipe.color, 11);
    EXPECT_EQ(pipe.texture, 14);
    EXPECT_EQ(pipe.weight, -1);
    // Points and lines keep two texture floats.
    ASSERT_EQ(BuildLayouts("PT", in, pipe, true), 0);
    EXPECT_EQ(pipe.count, 10);
    EXPECT_EQ(pipe.texture, 8);
}

TEST(VertexLayoutTest, RejectsInvalidStrings) {
    VertexLayout in, pipe;
    EXPECT_EQ(BuildLayouts("PX", in, pipe), kErrVertexType);
    EXPECT_EQ(BuildLayouts("Pp", in, pipe), kErrVertexType);
    // More attributes than a pipeline vertex holds.
    EXPECT_EQ(BuildLayouts("PNCPNCPNC", in, pipe), kErrVertexType);
    EXPECT_EQ(BuildLayouts("PNCPNCPNC", in, pipe, true), kErrVertexType);
    // Without a position there is nothing to place.
    EXPECT_EQ(BuildLayouts("NC", in, pipe), kErrVertexType);
    EXPECT_EQ(BuildLayouts("", in, pipe), kErrVertexType);
    // Every attribute once: 5 + 3 + 3 + 3 + 4 + 1 + 1 floats.
    EXPECT_EQ(BuildLayouts("PCNTwO", in, pipe), 0);
    EXPECT_EQ(pipe.count, 20);
}

// The one vertex type reader gives the parser's stride (VertexStride), the
// direct engine's layouts (a repeated letter lies where it comes last) and
// the first offsets a reader of first letters takes.
TEST(VertexLayoutTest, OneReaderForEveryVertexType) {
    struct Case {
        const char* type;
        int stride;  // VertexStride: -1 for O and unknown characters
        int status;  // BuildLayouts; the rest only when 0
        int inCount = 0, inPosition = 0, pipeCount = 0, pipePosition = 0, pipeTexture = 0;
        int firstPosition = 0;  // ReadVertexType
    };
    const Case cases[] = {
        {"", 0, kErrVertexType},
        {"\"\"", 0, kErrVertexType},
        {"P", 3, 0, 3, 0, 8, 5, -1, 0},
        {"\"PT\"", 5, 0, 5, 0, 12, 5, 8, 0},
        {"PO", -1, 0, 4, 0, 9, 5, -1, 0},
        {"OP", -1, 0, 4, 1, 9, 6, -1, 1},
        {"PP", 6, 0, 6, 3, 11, 8, -1, 0},
        {"TPT", 7, 0, 7, 2, 16, 9, 12, 2},
        {"PDw", 7, 0, 7, 0, 12, 5, -1, 0},
        {"PCNTwO", -1, 0, 13, 0, 20, 5, 14, 0},
        {"PTTTT", 11, 0, 11, 0, 24, 5, 20, 0},
        {"PTTTTw", 12, kErrVertexType},
        {"PNCPNCPNC", 27, kErrVertexType},
        {"NC", 6, kErrVertexType},
        {"Pp", -1, kErrVertexType},
        {"P\"x", -1, kErrVertexType},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VertexStride(c.type), c.stride) << c.type;
        VertexLayout in, pipe;
        ASSERT_EQ(BuildLayouts(c.type, in, pipe), c.status) << c.type;
        if (c.status != 0) continue;
        EXPECT_EQ(in.count, c.inCount) << c.type;
        EXPECT_EQ(in.position, c.inPosition) << c.type;
        EXPECT_EQ(pipe.count, c.pipeCount) << c.type;
        EXPECT_EQ(pipe.position, c.pipePosition) << c.type;
        EXPECT_EQ(pipe.texture, c.pipeTexture) << c.type;
        EXPECT_EQ(ReadVertexType(c.type).position.first, c.firstPosition) << c.type;
    }
}

TEST(VertexLayoutTest, AppendRefusesWhatDoesNotFit) {
    VertexLayout l;
    for (int i = 0; i < 10; ++i) l.append(VertexAttribute::Color);
    l.finalize();
    EXPECT_LE(l.count, kVertexFloats);
}

// A fan of triangles covers every pixel of its polygon exactly once, and the
// same pixels as the polygon drawn whole.
// The rasterisers' row and column index is ceil clamped to 0..limit, for
// every float near the whole numbers, at the image sizes' edges and beyond
// the floats' whole-number threshold.
TEST(RasterTest, CeilIndexIsTheClampedCeiling) {
    auto expected = [](float v, int limit) {
        const float c = std::ceil(v);
        if (!(c > 0)) return 0;
        return c >= static_cast<float>(limit) ? limit : static_cast<int>(c);
    };
    std::vector<float> values = {0.0f, -0.0f, -0.5f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::denorm_min(), 3e9f, -3e9f};
    for (float whole : {1.0f, 2.0f, 959.0f, 960.0f, 961.0f, 1279.0f, 1280.0f, 8388607.0f, 8388608.0f, 16777216.0f,
                        33554431.0f, 134217728.0f}) {
        float below = whole, above = whole;
        for (int k = 0; k < 4; ++k) {
            below = std::nextafter(below, 0.0f);
            above = std::nextafter(above, 1e30f);
            values.insert(values.end(), {below, above, whole - 0.5f, whole + 0.5f});
        }
        values.push_back(whole);
    }
    for (int limit : {1, 960, 1280, 8388608, 33554431, 134217727})
        for (float v : values) EXPECT_EQ(kx::CeilIndex(v, limit), expected(v, limit)) << v << " limit " << limit;
}

TEST_F(DirectTest, FanCoversPolygonExactlyOnce) {
    open(200, 160, true);
    const int n = 9;
    std::vector<float> ring;
    for (int i = 0; i < n; ++i) {
        double a = 0.37 + 2 * 3.141592653589793 * i / n;
        ring.insert(ring.end(), {static_cast<float>(1.7 * std::cos(a) + 0.13), static_cast<float>(1.3 * std::sin(a) - 0.07),
                                 static_cast<float>(-3.1 - 0.2 * std::cos(a))});
    }
    polygon(ring);
    std::vector<int> whole = counter->writes;
    int covered = 0;
    for (int c : whole) {
        EXPECT_LE(c, 1);
        covered += c;
    }
    EXPECT_GT(covered, 3000);

    counter->clearCounts();
    for (int i = 0; i < n; ++i) {
        clearDepth();  // so that a pixel drawn twice would be written twice
        int j = (i + 1) % n;
        polygon({0.13f, -0.07f, -3.1f, ring[3 * i], ring[3 * i + 1], ring[3 * i + 2], ring[3 * j], ring[3 * j + 1],
                 ring[3 * j + 2]});
    }
    for (size_t k = 0; k < whole.size(); ++k) ASSERT_EQ(counter->writes[k], whole[k]) << "pixel " << k;
    EXPECT_EQ(counter->outside, 0);
}

// A mesh of jittered triangles over a rectangle: no pixel twice, no hole.
TEST_F(DirectTest, TriangleMeshHasNoGapsOrOverlaps) {
    open(160, 120, true);
    const int g = 6;
    auto vertex = [&](int i, int j) {
        float x = -1.5f + 3.0f * i / g, y = -1.1f + 2.2f * j / g;
        if (i > 0 && i < g && j > 0 && j < g) {
            x += 0.11f * std::sin(7.0f * i + 3.0f * j);
            y += 0.09f * std::cos(5.0f * i - 2.0f * j);
        }
        return std::vector<float>{x, y, -2.5f};
    };
    for (int i = 0; i < g; ++i) {
        for (int j = 0; j < g; ++j) {
            auto a = vertex(i, j), b = vertex(i + 1, j), c = vertex(i + 1, j + 1), d = vertex(i, j + 1);
            for (auto tri : {std::vector<std::vector<float>>{a, b, c}, std::vector<std::vector<float>>{a, c, d}}) {
                clearDepth();
                std::vector<float> xyz;
                for (auto& p : tri) xyz.insert(xyz.end(), p.begin(), p.end());
                polygon(xyz);
            }
        }
    }
    // The rectangle's device corners, from the engine's own matrices.
    const Matrix4& W = directState().worldToScreen;
    const Matrix4& D = directState().screenToDevice;
    auto device = [&](float x, float y) {
        HPoint p = D * (W * HPoint(x, y, -2.5f));
        return std::pair<float, float>(p.x / p.w, p.y / p.w);
    };
    auto [x0, y1] = device(-1.5f, -1.1f);
    auto [x1, y0] = device(1.5f, 1.1f);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            int c = counter->count(x, y);
            ASSERT_LE(c, 1) << x << "," << y;
            bool inside = x > x0 + 0.01f && x < x1 - 0.01f && y > y0 + 0.01f && y < y1 - 0.01f;
            bool outside = x < x0 - 0.01f || x > x1 + 0.01f || y < y0 - 0.01f || y > y1 + 0.01f;
            if (inside) {
                ASSERT_EQ(c, 1) << x << "," << y;
            }
            if (outside) {
                ASSERT_EQ(c, 0) << x << "," << y;
            }
        }
    }
}

// Edges through pixel centres: left and top inclusive, right and bottom
// exclusive. Screen coordinates chosen so that device coordinates are exact.
TEST_F(DirectTest, SquareCoversExactlyThePixelCentresInside) {
    open(256, 256, true);
    auto sx = [](float dx) { return (dx + 0.5f) / 256; };
    auto sy = [](float dy) { return (255.5f - dy) / 256; };
    screenPolygon({sx(20), sy(20), 0.5f, 1, sx(30), sy(20), 0.5f, 1, sx(30), sy(30), 0.5f, 1, sx(20), sy(30), 0.5f, 1});
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(counter->count(x, y), (x >= 20 && x < 30 && y >= 20 && y < 30) ? 1 : 0) << x << "," << y;

    counter->clearCounts();
    screenPolygon({sx(40.25f), sy(50.75f), 0.5f, 1, sx(60.75f), sy(50.75f), 0.5f, 1, sx(60.75f), sy(70.25f), 0.5f, 1,
                   sx(40.25f), sy(70.25f), 0.5f, 1});
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(counter->count(x, y), (x >= 41 && x <= 60 && y >= 51 && y <= 70) ? 1 : 0) << x << "," << y;
}

TEST_F(DirectTest, FlatTriangleDrawsNothing) {
    open(64, 64, true);
    screenPolygon({0.1f, 0.5f, 0.5f, 1, 0.9f, 0.5f, 0.5f, 1, 0.4f, 0.5f, 0.5f, 1});
    for (int c : counter->writes) ASSERT_EQ(c, 0);
}

TEST_F(DirectTest, EqualDepthKeepsTheFirstFragment) {
    open(64, 64);
    std::vector<float> tri = {-1, -1, -2, 1, -1, -2, 0, 1, -2};
    engine.Color(ColorRGB(1, 0, 0));
    polygon(tri);
    engine.Color(ColorRGB(0, 1, 0));
    polygon(tri);
    EXPECT_EQ(pixel(32, 32)[0], 255);
    EXPECT_EQ(pixel(32, 32)[1], 0);
    // A nearer copy wins.
    engine.Color(ColorRGB(0, 0, 1));
    polygon({-0.9f, -0.9f, -1.9f, 0.9f, -0.9f, -1.9f, 0, 0.9f, -1.9f});
    EXPECT_EQ(pixel(32, 32)[0], 0);
    EXPECT_EQ(pixel(32, 32)[2], 255);
}

TEST_F(DirectTest, PolygonCrossingTheNearPlaneIsCutThere) {
    open(256, 256);
    // The third corner lies behind the eye; the near plane is z = -1.
    polygon({-1, -1, -3, 1, -1, -3, 0, 0.5f, 1});
    DirectState& s = directState();
    ASSERT_EQ(s.clippedCount, 4);
    int onNear = 0;
    for (int i = 0; i < s.clippedCount; ++i) {
        EXPECT_GE(s.clipped[i][2], -1e-6f);
        if (std::fabs(s.clipped[i][2]) < 1e-6f) ++onNear;
    }
    EXPECT_EQ(onNear, 2);
    // The edge from (-1, -1, -3) to (0, 0.5, 1) meets z = -1 at (-0.5, -0.25, -1):
    // device (127.5 - 64, 127.5 + 32).
    bool found = false;
    for (int i = 0; i < s.clippedCount; ++i)
        if (std::fabs(s.clipped[i][0] - 63.5f) < 1e-3f && std::fabs(s.clipped[i][1] - 159.5f) < 1e-3f) found = true;
    EXPECT_TRUE(found);
    EXPECT_GT(redPixels(), 1000);
}

TEST_F(DirectTest, VertexOnAPlaneStaysInThePolygon) {
    open(64, 64);
    screenPolygon({0, 0.5f, 0.5f, 1, 0.5f, 0.2f, 0.5f, 1, 0.5f, 0.8f, 0.5f, 1});
    DirectState& s = directState();
    ASSERT_EQ(s.clippedCount, 3);
    EXPECT_EQ(s.clipped[0][0], -0.5f);
    EXPECT_EQ(s.clipped[0][1], 31.5f);
}

// Colour interpolated across a floor receding from z = -2 to z = -10 must
// follow the world position, not the screen position.
TEST_F(DirectTest, InterpolationIsPerspectiveCorrect) {
    open(256, 256);
    const float v[] = {-4, -1, -2, 0, 0, 0, 4, -1, -2, 0, 0, 0, 4, -1, -10, 1, 0, 0, -4, -1, -10, 1, 0, 0};
    const int idx[] = {0, 1, 2, 3, -1};
    ASSERT_EQ(engine.PolySet("PC", 4, v, 1, idx), 0);
    int checked = 0;
    for (int y = 0; y < 256; ++y) {
        double ndc = 2 * ((255.5 - y) / 256) - 1;  // screen y in -1..1; the floor is at y/(-z) = ndc
        double z = 1 / ndc;
        if (!(z < -2.05 && z > -9.95)) continue;
        double r = (-2 - z) / 8;
        int expected = static_cast<int>(255.999 * r);
        EXPECT_NEAR(pixel(128, y)[0], expected, 1) << "row " << y;
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

namespace {
float gDerivatives[4];
void RecordDerivatives(const DirectState& s, ColorRGB& out) {
    gDerivatives[0] = s.dudx;
    gDerivatives[1] = s.dudy;
    gDerivatives[2] = s.dvdx;
    gDerivatives[3] = s.dvdy;
    out = ColorRGB(1, 1, 1);
}
}  // namespace

TEST_F(DirectTest, SpanFillerSuppliesTextureDerivatives) {
    ASSERT_EQ(engine.OptionReal("Threads", 1), 0);  // the shader records into one place
    open(256, 256);
    directState().shader = RecordDerivatives;
    // 2 x 2 units at z = -2: 128 pixels each way; u runs right, v up.
    const float v[] = {-1, -1, -2, 0, 0, 1, -1, -2, 1, 0, 1, 1, -2, 1, 1, -1, 1, -2, 0, 1};
    const int idx[] = {0, 1, 2, 3, -1};
    ASSERT_EQ(engine.PolySet("PT", 4, v, 1, idx), 0);
    EXPECT_NEAR(gDerivatives[0], 1.0f / 128, 1e-6f);
    EXPECT_NEAR(gDerivatives[1], 0, 1e-6f);
    EXPECT_NEAR(gDerivatives[2], 0, 1e-6f);
    EXPECT_NEAR(gDerivatives[3], -1.0f / 128, 1e-6f);
}

TEST_F(DirectTest, WireframeDrawsOnlyTheOutline) {
    open(128, 128, true);
    engine.OptionBool("Wireframe", true);
    polygon({-1, -1, -2, 1, -1, -2, 0, 1, -2});
    // Corners at device (31.5, 95.5), (95.5, 95.5), (63.5, 31.5): the
    // centroid stays empty, the bottom edge's row is drawn.
    EXPECT_EQ(counter->count(63, 74), 0);
    int bottom = 0;
    for (int x = 0; x < 128; ++x) bottom += counter->count(x, 95) > 0;
    EXPECT_GE(bottom, 60);
    int total = 0;
    for (int c : counter->writes) total += c > 0;
    EXPECT_LT(total, 64 * 4);
}

TEST_F(DirectTest, OverfullPolygonIsDroppedAndTheBufferEmptied) {
    open(64, 64);
    DirectState& s = directState();
    s.layout.reset();
    s.layout.append(VertexAttribute::Position);
    s.layout.finalize();
    for (int i = 0; i < 60; ++i) {
        AttributeVertex v;
        double a = 2 * 3.141592653589793 * i / 60;
        v[0] = static_cast<float>(std::cos(a));
        v[1] = static_cast<float>(std::sin(a));
        v[2] = -2;
        v[3] = 1;
        EXPECT_EQ(PolygonVertex(v, i == 59), i < 50 ? 0 : 1) << i;
    }
    EXPECT_EQ(s.polygonCount, 0);
    EXPECT_GT(redPixels(), 100);
    // The next polygon starts afresh.
    std::vector<float> tri = {-1, -1, -1.5f, 1, -1, -1.5f, 0, 1, -1.5f};
    engine.Color(ColorRGB(0, 1, 0));
    polygon(tri);
    EXPECT_EQ(pixel(32, 40)[1], 255);
}

TEST_F(DirectTest, NonFiniteOrHugeCoordinatesAreSafe) {
    open(64, 64, true);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    polygon({-1, -1, -2, 1, -1, -2, nan, 1, -2});
    polygon({-1, -1, -2, inf, -1, -2, 0, 1, -2});
    for (int c : counter->writes) ASSERT_EQ(c, 0);
    // Far outside the view volume: clipped to the image.
    polygon({-1e30f, -1e30f, -2, 1e30f, -1e30f, -2, 0, 1e30f, -2});
    EXPECT_EQ(counter->outside, 0);
    for (int c : counter->writes) ASSERT_LE(c, 1);
}

// The faces of a mesh that share their vertices draw exactly what the same
// faces draw with a copy of every vertex of their own, in any order of the
// faces and across more vertices than are kept transformed at once.
TEST_F(DirectTest, SharedPolySetVerticesDrawAsCopiesOfThem) {
    open(160, 120, true);
    const int n = 90;  // (n + 1)^2 vertices of a wavy sheet
    std::vector<float> grid;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = -1.5f + 3.0f * i / n, y = -1.2f + 2.4f * j / n;
            const float z = -1.8f + 0.2f * std::sin(5 * x) * std::cos(4 * y);
            grid.insert(grid.end(), {x, y, z, std::sin(x), std::cos(y), 1, 0.5f + 0.5f * std::sin(7 * x), 0.3f,
                                     0.5f + 0.5f * std::cos(9 * y)});
        }
    std::vector<int> shared, own;
    std::vector<float> copies;
    for (int f = 0; f < n * n; ++f) {
        const int g = (f * 4099) % (n * n);  // faces far apart one after another
        const int i = g % n, j = g / n;
        for (int c : {j * (n + 1) + i, j * (n + 1) + i + 1, (j + 1) * (n + 1) + i + 1, (j + 1) * (n + 1) + i}) {
            shared.push_back(c);
            own.push_back(static_cast<int>(copies.size() / 9));
            copies.insert(copies.end(), grid.begin() + 9 * c, grid.begin() + 9 * c + 9);
        }
        shared.push_back(-1);
        own.push_back(-1);
    }
    ASSERT_EQ(engine.PolySet("PNC", (n + 1) * (n + 1), grid.data(), n * n, shared.data()), 0);
    const std::vector<kx::ColorRGB> fromShared = counter->pixels;
    const std::vector<int> writes = counter->writes;
    counter->ImageBegin(0);
    clearDepth();
    ASSERT_EQ(engine.PolySet("PNC", static_cast<int>(copies.size() / 9), copies.data(), n * n, own.data()), 0);
    int drawn = 0;
    for (size_t p = 0; p < writes.size(); ++p) {
        ASSERT_EQ(counter->writes[p], writes[p]) << p;
        ASSERT_EQ(std::memcmp(&counter->pixels[p], &fromShared[p], sizeof(kx::ColorRGB)), 0) << p;
        drawn += writes[p] > 0;
    }
    EXPECT_GT(drawn, 5000);
}

TEST_F(DirectTest, PolySetSkipsShortFacesAndBadIndices) {
    open(64, 64);
    const float v[] = {-1, -1, -2, 1, -1, -2, 0, 1, -2};
    const int idx[] = {0, -1, 0, 1, -1, 0, 7, 1, -5, 2, -1};
    EXPECT_EQ(engine.PolySet("P", 3, v, 3, idx), 0);
    EXPECT_GT(redPixels(), 500);
    EXPECT_EQ(engine.PolySet("PQ", 3, v, 1, idx), kErrVertexType);
}
