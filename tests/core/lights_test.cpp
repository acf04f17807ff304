#include "support/process_state.h"
#include "core/lights.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kx;

TEST(Lights, PointLightFallsOffWithTheSquare) {
    PointLight l(Point3(0, 0, 0), ColorRGB(1, 1, 1));
    Vector3 d = l.directionTo(Point3(0, 0, 2));
    EXPECT_EQ(d.z, -2);
    EXPECT_EQ(l.attenuation(Point3(0, 0, 2)), 0.25f);
    EXPECT_TRUE(l.positional);
}

TEST(Lights, FarLightPointsBackAlongItsDirection) {
    FarLight l(Vector3(0, 0, -5), ColorRGB(1, 1, 1));
    Vector3 d = l.directionTo(Point3(7, 8, 9));
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.z, 1);
    EXPECT_EQ(l.attenuation(Point3()), 1);
    EXPECT_FALSE(l.positional);
}

TEST(Lights, ConeLightBands) {
    ConeLight l(Point3(0, 0, 0), Point3(0, 0, -1), 30, 60, ColorRGB(1, 1, 1));
    EXPECT_FLOAT_EQ(l.attenuation(Point3(0, 0, -2)), 0.25f);
    const double deg = 3.141592653589793 / 180;
    Point3 p(static_cast<float>(std::sin(20 * deg)), 0, static_cast<float>(-std::cos(20 * deg)));
    double expected = (std::cos(20 * deg) - std::cos(30 * deg)) / (std::cos(15 * deg) - std::cos(30 * deg));
    EXPECT_NEAR(l.attenuation(p), expected, 1e-5);
    Point3 out(static_cast<float>(std::sin(45 * deg)), 0, static_cast<float>(-std::cos(45 * deg)));
    EXPECT_EQ(l.attenuation(out), 0);
    EXPECT_EQ(l.attenuation(Point3(0, 0, 1)), 0);  // behind the light
}

TEST(Lights, ResetGivesWhiteAmbientAndNoLights) {
    LightSet& s = lightSet();
    s.reset();
    EXPECT_EQ(s.ambient.color.r, 0);
    s.append(std::make_unique<PointLight>(Point3(), ColorRGB(1, 1, 1)));
    s.resetLighting();
    EXPECT_EQ(s.ambient.color.r, 1);
    EXPECT_EQ(s.ambient.color.b, 1);
    EXPECT_TRUE(s.lights.empty());
    s.reset();
}
