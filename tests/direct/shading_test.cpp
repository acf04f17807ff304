// The four materials: their formulas at chosen fragments, and what reaches
// the image through the pipeline.
#include <cmath>

#include "core/errors.h"
#include "direct_fixture.h"

using namespace kx;
using kxtest::DirectTest;

namespace {

class ShadingTest : public DirectTest {
protected:
    // A fragment at world position p with the interpolated normal n.
    void fragment(Point3 p, Vector3 n) {
        DirectState& s = directState();
        s.layout.reset();
        s.layout.append(VertexAttribute::Position);
        s.layout.append(VertexAttribute::Normal);
        s.layout.finalize();
        s.fragment[s.layout.position] = p.x, s.fragment[s.layout.position + 1] = p.y,
                                  s.fragment[s.layout.position + 2] = p.z;
        s.fragment[s.layout.normal] = n.x, s.fragment[s.layout.normal + 1] = n.y,
                                s.fragment[s.layout.normal + 2] = n.z;
    }
    static ColorRGB run(ShaderFunction f) {
        ColorRGB c;
        f(directState(), c);
        return c;
    }
    static void expectColor(const ColorRGB& c, double r, double g, double b) {
        EXPECT_NEAR(c.r, r, 1e-5);
        EXPECT_NEAR(c.g, g, 1e-5);
        EXPECT_NEAR(c.b, b, 1e-5);
    }
    void SetUp() override {
        DirectTest::SetUp();
        lightSet().resetLighting();
    }
};

}  // namespace

TEST_F(DirectTest, AmbientLitPolygonShowsItsColourExactly) {
    open(64, 64);
    engine.Color(ColorRGB(0.3f, 0.6f, 0.9f));
    for (const char* m : {"matte", "metal", "plastic", "painted plastic"}) {
        ASSERT_EQ(engine.Surface(m), 0);
        ASSERT_EQ(engine.WorldBegin(), 0);
        polygon({-1, -1, -2, 1, -1, -2, 0, 1, -2});
        const uint8_t* p = pixel(32, 32);
        EXPECT_EQ(p[0], static_cast<int>(255.999 * 0.3f)) << m;
        EXPECT_EQ(p[1], static_cast<int>(255.999 * 0.6f)) << m;
        EXPECT_EQ(p[2], static_cast<int>(255.999 * 0.9f)) << m;
    }
}

TEST_F(ShadingTest, MattePointLight) {
    DirectState& s = directState();
    s.color = ColorRGB(1, 0.5f, 0.25f);
    s.ka = 0.2f;
    s.kd = 0.8f;
    s.ks = 7;  // matte has no highlight
    engine.PointLight(Point3(0, 0, 0), ColorRGB(1, 1, 1), 2);
    fragment(Point3(0, 0, -2), Vector3(0, 0, 3));
    // L = (0, 0, 1), d = 1, a = 1/4: D = 2 * 0.25.
    double k = 0.2 + 0.8 * 0.5;
    expectColor(run(ShadeMatte), k, 0.5 * k, 0.25 * k);
}

TEST_F(ShadingTest, PlasticHighlightFollowsTheFormula) {
    DirectState& s = directState();
    s.color = ColorRGB(0.2f, 0.4f, 0.6f);
    s.ka = 0.1f;
    s.kd = 0.7f;
    s.ks = 0.5f;
    s.specularColor = ColorRGB(1, 0.8f, 0.6f);
    s.specularExponent = 10;
    engine.PointLight(Point3(1, 0, 0), ColorRGB(1, 1, 1), 1);
    fragment(Point3(0, 0, -2), Vector3(0, 0, 1));
    // V = (0, 0, -1), R = (0, 0, 1); L = (1, 0, 2) / sqrt 5.
    double a = 1.0 / 5, ln = 2 / std::sqrt(5.0);
    double D = a * ln, S = a * std::pow(ln, 10);
    double k = 0.1 + 0.7 * D;
    expectColor(run(ShadePlastic), 0.2 * k + 0.5 * S, 0.4 * k + 0.4 * S, 0.6 * k + 0.3 * S);
    // Metal: no diffuse term, no specular colour.
    double m = 0.1 + 0.5 * S;
    expectColor(run(ShadeMetal), 0.2 * m, 0.4 * m, 0.6 * m);
    s.kd = 9;
    s.specularColor = ColorRGB(0, 0, 0);
    expectColor(run(ShadeMetal), 0.2 * m, 0.4 * m, 0.6 * m);
}

TEST_F(ShadingTest, LightInTheTangentPlane) {
    DirectState& s = directState();
    s.eye = Point3(-1, 0, 1);
    s.ka = 0;
    s.ks = 1;
    s.specularExponent = 1;
    engine.FarLight(Vector3(-1, 0, 0), ColorRGB(1, 1, 1), 1);  // toward the light: +x
    fragment(Point3(0, 0, 0), Vector3(0, 0, 1));
    // L.N = 0: no diffuse light, but the highlight counts (L.R = 1/sqrt 2).
    expectColor(run(ShadeMatte), 0, 0, 0);
    double h = 1 / std::sqrt(2.0);
    expectColor(run(ShadeMetal), h, h, h);
    // A light below the surface adds nothing at all.
    lightSet().resetLighting();
    engine.FarLight(Vector3(0, 0, 1), ColorRGB(1, 1, 1), 1);
    expectColor(run(ShadeMetal), 0, 0, 0);
}

TEST_F(ShadingTest, ConeLightBand) {
    DirectState& s = directState();
    s.ka = 0;
    engine.ConeLight(Point3(0, 0, 0), Point3(0, 0, -1), 30, 60, ColorRGB(1, 1, 1), 4);
    fragment(Point3(0, 0, -2), Vector3(0, 0, 1));
    expectColor(run(ShadeMatte), 1, 1, 1);  // 4 * 0.25
    fragment(Point3(0, 2, -2), Vector3(0, 0, 1));  // 45 degrees off the axis
    expectColor(run(ShadeMatte), 0, 0, 0);
}

// Seen from the eye, a polygon whose normal points away gets no light from
// the eye's side, unless it is double-sided.
TEST_F(DirectTest, BackFacesAreLitOnlyWhenDoubleSided) {
    open(64, 64);
    std::vector<float> away = {-1, -1, -2, 0, 1, -2, 1, -1, -2};  // normal (0, 0, -4)
    auto draw = [&]() {
        engine.WorldBegin();
        engine.Ka(0);
        engine.FarLight(Vector3(0, 0, -1), ColorRGB(1, 1, 1), 1);
        polygon(away);
        return pixel(32, 40)[0];
    };
    EXPECT_EQ(draw(), 0);
    engine.OptionBool("DoubleSide", true);
    EXPECT_EQ(draw(), 255);
    // Painted plastic does not turn the normal around.
    engine.Surface("painted plastic");
    EXPECT_EQ(draw(), 0);
}

TEST_F(DirectTest, SurfaceNames) {
    DirectState& s = directState();
    EXPECT_EQ(s.shader, ShadeMatte);
    EXPECT_EQ(engine.Surface("plastic"), 0);
    EXPECT_EQ(s.shader, ShadePlastic);
    EXPECT_EQ(engine.Surface("Plastic"), kErrSurfaceType);
    EXPECT_EQ(engine.Surface("painted"), kErrSurfaceType);
    EXPECT_EQ(s.shader, ShadePlastic);
    EXPECT_EQ(engine.Surface("metal"), 0);
    EXPECT_EQ(s.shader, ShadeMetal);
    EXPECT_EQ(engine.Surface("painted plastic"), 0);
    EXPECT_EQ(s.shader, ShadePaintedPlastic);
}

namespace {

// A map of w x 1 texels.
void InstallMap(std::vector<ColorRGB> texels) {
    TextureMap m;
    m.label = "strip";
    TextureLevel level;
    level.width = static_cast<int>(texels.size());
    level.height = 1;
    for (const ColorRGB& c : texels) {
        level.red.push_back(static_cast<uint8_t>(c.r * 255));
        level.green.push_back(static_cast<uint8_t>(c.g * 255));
        level.blue.push_back(static_cast<uint8_t>(c.b * 255));
    }
    m.levels.push_back(level);
    mapList().maps.push_back(m);
    mapList().currentIndex = 0;
}

}  // namespace

TEST_F(DirectTest, PaintedPlasticTakesTheTextureColour) {
    open(128, 128);
    engine.Surface("painted plastic");
    engine.Color(ColorRGB(0, 1, 0));
    // A quad with texture coordinates 0..1 across, under a two-texel map:
    // red on the left half, blue on the right.
    InstallMap({ColorRGB(1, 0, 0), ColorRGB(0, 0, 1)});
    const float v[] = {-1, -1, -2, 0, 0, 1, -1, -2, 1, 0, 1, 1, -2, 1, 1, -1, 1, -2, 0, 1};
    const int idx[] = {0, 1, 2, 3, -1};
    ASSERT_EQ(engine.PolySet("PT", 4, v, 1, idx), 0);
    // A texel of 255 gives 255 / 255.9999, stored as 254.
    EXPECT_EQ(pixel(40, 64)[0], 254);
    EXPECT_EQ(pixel(40, 64)[2], 0);
    EXPECT_EQ(pixel(88, 64)[0], 0);
    EXPECT_EQ(pixel(88, 64)[2], 254);
    // Without texture coordinates the current colour shows.
    ASSERT_EQ(engine.WorldBegin(), 0);
    polygon({-1, -1, -2, 1, -1, -2, 1, 1, -2, -1, 1, -2});
    EXPECT_EQ(pixel(40, 64)[1], 255);
    EXPECT_EQ(pixel(40, 64)[0], 0);
    // Without a map, the vertex colours as for plastic.
    mapList().currentIndex = -1;
    ASSERT_EQ(engine.WorldBegin(), 0);
    const float c[] = {-1, -1, -2, 0, 0, 1, 1, -1, -2, 0, 0, 1, 0, 1, -2, 0, 0, 1};
    const int tri[] = {0, 1, 2, -1};
    ASSERT_EQ(engine.PolySet("PC", 3, c, 1, tri), 0);
    EXPECT_EQ(pixel(64, 64)[2], 255);
    EXPECT_EQ(pixel(64, 64)[1], 0);
}
