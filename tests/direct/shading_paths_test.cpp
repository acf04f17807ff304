// The span filler inlines the four materials and looks the lights up once
// per polygon; any other shader function is called per pixel. Both paths
// must give every pixel the same colour, to the last bit, and write the
// same pixels.
#include <cstring>

#include "direct_fixture.h"

using namespace kx;
using kxtest::CountingDevice;
using kxtest::DirectTest;

namespace {

ShaderFunction g_wrapped = nullptr;
// Not one of the four: the pipeline calls it through the pointer.
void Wrapper(const DirectState& s, ColorRGB& out) { g_wrapped(s, out); }

void InstallStripe() {
    TextureMap m;
    m.label = "stripe";
    TextureLevel level;
    level.width = 4;
    level.height = 2;
    for (int i = 0; i < 8; ++i) {
        level.red.push_back(static_cast<uint8_t>(40 * i));
        level.green.push_back(static_cast<uint8_t>(255 - 30 * i));
        level.blue.push_back(static_cast<uint8_t>(i % 2 ? 200 : 10));
    }
    m.levels.push_back(level);
    mapList().maps.push_back(m);
    mapList().currentIndex = 0;
}

class ShadingPaths : public DirectTest {
protected:
    // A scene under every light kind: a sphere, a torus, a polygon mesh with
    // vertex colours and one with texture coordinates, seen from both sides.
    // With wrapped, the material is called through Wrapper.
    void draw(const char* surface, bool doubleSided, bool textured, bool wrapped) {
        ASSERT_EQ(engine.WorldBegin(), 0);
        engine.AmbientLight({0.2f, 0.3f, 0.4f}, 0.5f);
        engine.PointLight({2, 3, 1}, {1, 0.9f, 0.8f}, 6);
        engine.FarLight({-1, -0.5f, -1}, {0.3f, 0.3f, 0.6f}, 1);
        engine.ConeLight({0, 0, 2}, {0, 0, -3}, 25, 40, {0.9f, 0.2f, 0.2f}, 4);
        ASSERT_EQ(engine.Surface(surface), 0);
        if (wrapped) {
            g_wrapped = directState().shader;
            directState().shader = Wrapper;
        }
        engine.OptionBool("DoubleSide", doubleSided);
        engine.Color({0.8f, 0.5f, 0.3f});
        engine.Ka(0.7f);
        engine.Kd(0.6f);
        engine.Ks(0.5f);
        engine.Specular({1, 1, 0.5f}, 7);
        engine.OptionReal("Divisions", 16);
        if (textured) InstallStripe();
        engine.Translate({0, 0, -2.6f});
        engine.Scale({1.4f, 1.4f, 1.4f});
        engine.Sphere(1, -1, 1, 300);  // open: its inside shows
        engine.Translate({1.6f, 0.6f, 0});
        engine.Torus(0.6f, 0.25f, 0, 360, 360);
        const float pnc[] = {-3, -2, -1, 0, 0, 1, 1, 0, 0,  -1, -2, -1, 0.3f, 0, 1, 0, 1, 0,
                             -1, 0, -1.5f, 0, 0.3f, 1, 0, 0, 1, -3, 0, -1, -0.3f, 0, 1, 1, 1, 1};
        const int quad[] = {0, 1, 2, 3, -1};
        engine.PolySet("PNC", 4, pnc, 1, quad);
        const float pt[] = {-2, -1, 0.5f, 0, 0, 0, -1, 0.3f, 1, 0, 0, 1, 0.6f, 1, 1, -2, 1, 0.2f, 0, 1};
        engine.PolySet("PT", 4, pt, 1, quad);
        const float p[] = {1, -2, -0.5f, 2, -2, -1, 2, -1, -1.2f};
        const int tri[] = {2, 1, 0, -1};  // its back faces the camera
        engine.PolySet("P", 3, p, 1, tri);
    }
    std::vector<ColorRGB> pixels() const { return counter->pixels; }
    std::vector<int> writes() const { return counter->writes; }
};

TEST_F(ShadingPaths, InlinedMaterialsEqualTheShaderFunctions) {
    open(96, 72, true);
    for (const char* surface : {"matte", "metal", "plastic", "painted plastic"}) {
        for (bool doubleSided : {false, true}) {
            for (bool textured : {false, true}) {
                mapList().reset();
                draw(surface, doubleSided, textured, false);
                std::vector<ColorRGB> fast = pixels();
                std::vector<int> fastWrites = writes();
                mapList().reset();
                draw(surface, doubleSided, textured, true);
                std::vector<ColorRGB> slow = pixels();
                ASSERT_EQ(writes(), fastWrites) << surface;
                int lit = 0;
                for (size_t i = 0; i < fast.size(); ++i) {
                    ASSERT_EQ(std::memcmp(&fast[i], &slow[i], sizeof(ColorRGB)), 0)
                        << surface << (doubleSided ? " double-sided" : "") << (textured ? " textured" : "")
                        << " pixel " << i;
                    lit += fastWrites[i] > 0;
                }
                EXPECT_GT(lit, 1500) << surface;
            }
        }
    }
}

}  // namespace
