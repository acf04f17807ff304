// A polygon that the depth buffer's tile bounds show to be hidden is passed
// over without being scanned. Passing it over must change nothing: scenes
// full of hidden polygons give the same bytes, depths and pixel counts with
// the bounds as without them, on one thread and on two; so does a circle,
// which stores its depth without the depth test and may push a tile's
// depth back. On two threads the pixels of successive polygons also wait
// for their lanes together, a pixel sometimes twice over.
#include "direct_fixture.h"

using namespace kx;
using kxtest::DirectTest;
using kxtest::Drawn;

namespace {

class DepthBoundsTest : public DirectTest {
protected:
    Drawn draw(int threads, bool bounds) {
        engine.End();
        kxtest::ResetProcessState();
        engine.OptionReal("Threads", static_cast<float>(threads));
        open(173, 131);
        DirectState& s = directState();
        if (!bounds) s.depthBounds.release();
        pipeline.stats.enabled = true;
        pipeline.stats.pixels = 0;
        engine.AmbientLight({1, 1, 1}, 0.2f);
        engine.PointLight({3, 4, 2}, {1, 1, 1}, 30);
        EXPECT_EQ(engine.Surface("plastic"), 0);
        engine.Ks(0.6f);
        engine.Specular({1, 1, 1}, 12);
        engine.OptionReal("Divisions", 40);
        // Spheres near to far and far to near, overlapping: most polygons
        // of the later ones are hidden, many only just; those of one are in
        // front only just.
        const float spheres[][4] = {{0, 0, -4, 1},          {0.3f, 0.2f, -5, 1.2f}, {-0.5f, 0, -6, 1.5f},
                                    {0.2f, -0.3f, -8, 2},    {0, 0, -4.001f, 1},     {0, 0, -3.9995f, 1},
                                    {-1, 0.5f, -3, 0.5f}};
        for (const float* b : spheres) {
            engine.XformPush();
            engine.Translate({b[0], b[1], b[2]});
            engine.Color({0.2f + 0.1f * b[3], 0.5f, 0.7f});
            engine.Sphere(b[3], -b[3], b[3], 360);
            engine.XformPop();
        }
        // A circle far behind everything stores its depth over the near
        // spheres' pixels; a sphere between the two must show through there.
        engine.Circle(Point3(0, 0, -20), 4);
        engine.Circle(Point3(0, 0, -20), 5);
        engine.XformPush();
        engine.Translate({0, 0, -12});
        engine.Color({0.9f, 0.9f, 0.1f});
        engine.Sphere(4.5f, -4.5f, 4.5f, 360);
        engine.XformPop();
        // A wall across the whole image and beyond it, behind all of them,
        // and one in front of it by a hair.
        polygon({-40, -40, -30, 40, -40, -30, 40, 40, -30, -40, 40, -30});
        engine.Color({0.9f, 0.2f, 0.2f});
        polygon({-40, -40, -29.997f, 40, -40, -29.997f, 40, 40, -29.997f, -40, 40, -29.997f});
        return drawn(image());
    }
};

TEST_F(DepthBoundsTest, HiddenPolygonsPassedOverChangeNothing) {
    const Drawn reference = draw(1, false);
    ASSERT_GT(reference.pixels, 0u);
    for (int threads : {1, 2}) EXPECT_TRUE(draw(threads, true) == reference) << threads << " threads";
}

}  // namespace
