// The direct engine's state commands, options, frames and world set-up.
#include <climits>
#include <cmath>
#include <limits>

#include "core/errors.h"
#include "direct_fixture.h"

using namespace kx;
using kxtest::DirectTest;

TEST(TruncateToIntTest, TruncatesAndSaturates) {
    EXPECT_EQ(TruncateToInt(7.9), 7);
    EXPECT_EQ(TruncateToInt(-7.9), -7);
    EXPECT_EQ(TruncateToInt(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(TruncateToInt(1e20), INT_MAX);
    EXPECT_EQ(TruncateToInt(-1e20), INT_MIN);
    EXPECT_EQ(TruncateToInt(std::numeric_limits<double>::infinity()), INT_MAX);
}

TEST_F(DirectTest, Defaults) {
    DirectState& s = directState();
    EXPECT_EQ(s.frame, 0);
    EXPECT_EQ(s.hither, 1.0f);
    EXPECT_EQ(s.yon, 1.0e9f);
    EXPECT_EQ(s.color.r, 1);
    EXPECT_EQ(s.ka, 1);
    EXPECT_EQ(s.kd, 1);
    EXPECT_EQ(s.ks, 0);
    EXPECT_EQ(s.specularExponent, 10);
    EXPECT_TRUE(s.interpolate);
    EXPECT_FALSE(s.wireframe);
    EXPECT_FALSE(s.doubleSided);
    EXPECT_FALSE(s.control);
    EXPECT_EQ(s.divisions, 20);
    EXPECT_EQ(mapList().maxLevel, -1);
    EXPECT_FALSE(s.started);
}

TEST_F(DirectTest, Options) {
    DirectState& s = directState();
    engine.OptionReal("Divisions", 7.9f);
    EXPECT_EQ(s.divisions, 7);
    engine.OptionReal("Divisions", -7.9f);
    EXPECT_EQ(s.divisions, -7);
    engine.OptionReal("Divisions", std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(s.divisions, 0);
    engine.OptionReal("Divisions", 1e30f);
    EXPECT_EQ(s.divisions, INT_MAX);
    engine.OptionReal("MaxTextureLevel", 3.5f);
    EXPECT_EQ(mapList().maxLevel, 3);
    EXPECT_EQ(engine.OptionReal("Segments", 4), 0);
    EXPECT_EQ(s.divisions, INT_MAX);

    engine.Color(ColorRGB(0.1f, 0.2f, 0.3f));
    engine.OptionBool("Control", true);
    EXPECT_TRUE(s.control);
    EXPECT_EQ(s.controlColor.g, 0.2f);
    engine.Color(ColorRGB(1, 1, 1));
    EXPECT_EQ(s.controlColor.g, 0.2f);
    engine.OptionBool("Interpolate", false);
    engine.OptionBool("Wireframe", true);
    engine.OptionBool("DoubleSide", true);
    EXPECT_FALSE(s.interpolate);
    EXPECT_TRUE(s.wireframe);
    EXPECT_TRUE(s.doubleSided);
    EXPECT_EQ(engine.OptionBool("Shadows", false), 0);
    EXPECT_TRUE(s.wireframe);
}

TEST_F(DirectTest, AttributesAndLights) {
    DirectState& s = directState();
    engine.Ka(0.25f);
    engine.Kd(0.5f);
    engine.Ks(0.75f);
    engine.Specular(ColorRGB(0.5f, 0.25f, 1), 33);
    EXPECT_EQ(s.ka, 0.25f);
    EXPECT_EQ(s.kd, 0.5f);
    EXPECT_EQ(s.ks, 0.75f);
    EXPECT_EQ(s.specularColor.g, 0.25f);
    EXPECT_EQ(s.specularExponent, 33);
    open(16, 16);
    engine.AmbientLight(ColorRGB(1, 0.5f, 0), 0.5f);
    EXPECT_EQ(lightSet().ambient.color.r, 0.5f);
    EXPECT_EQ(lightSet().ambient.color.g, 0.25f);
    engine.PointLight(Point3(0, 0, 0), ColorRGB(1, 0.5f, 0.25f), 4);
    ASSERT_EQ(lightSet().lights.size(), 1u);
    EXPECT_EQ(lightSet().lights[0]->color.g, 2.0f);
    engine.WorldBegin();
    EXPECT_TRUE(lightSet().lights.empty());
    EXPECT_EQ(lightSet().ambient.color.b, 1.0f);
}

TEST_F(DirectTest, ViewingMatrices) {
    open(640, 480);
    DirectState& s = directState();
    // P[0][0] = 0.75 and P[1][1] = 1, halved by the screen mapping; the
    // default camera looks down -z.
    EXPECT_EQ(s.worldToScreen(0, 0), 0.375f);
    EXPECT_EQ(s.worldToScreen(1, 1), 0.5f);
    EXPECT_EQ(s.worldToScreen(3, 2), -1.0f);
    EXPECT_EQ(s.screenToDevice(0, 0), 640.0f);
    EXPECT_EQ(s.screenToDevice(0, 3), -0.5f);
    EXPECT_EQ(s.screenToDevice(1, 1), -480.0f);
    EXPECT_EQ(s.screenToDevice(1, 3), 479.5f);
    // Depth 0 on the near plane.
    HPoint near = s.worldToScreen * HPoint(0.3f, -0.2f, -1);
    EXPECT_EQ(near.z, 0.0f);
    // Camera commands wait for the next world.
    engine.CameraEye(Point3(0, 0, 5));
    engine.CameraFOV(45);
    engine.Clipping(0.5f, 100);
    EXPECT_EQ(s.worldToScreen(0, 0), 0.375f);
    ASSERT_EQ(engine.WorldBegin(), 0);
    EXPECT_NE(s.worldToScreen(0, 0), 0.375f);
    EXPECT_EQ(s.eye.z, 5);
    HPoint p = s.worldToScreen * HPoint(0, 0, 4.5f);  // on the new near plane
    EXPECT_NEAR(p.z / p.w, 0, 1e-6);
}

TEST_F(DirectTest, WorldBeginClearsDepthAndTransform) {
    open(32, 32);
    DirectState& s = directState();
    polygon({-1, -1, -2, 1, -1, -2, 0, 1, -2});
    EXPECT_LT(s.depth[16 * 32 + 16], 1.0f);
    engine.Translate(Vector3(1, 2, 3));
    ASSERT_EQ(engine.WorldBegin(), 0);
    s.flushBins();  // as every reader of the depths does: the threads may set them later
    for (float d : s.depth) ASSERT_EQ(d, 1.0f);
    EXPECT_EQ(transforms().M(0, 3), 0.0f);
    EXPECT_EQ(engine.XformPop(), kErrTransformUnderflow);
    EXPECT_EQ(engine.XformPush(), 0);
    EXPECT_EQ(engine.XformPop(), 0);
}

TEST_F(DirectTest, BeginOnceAndFormat) {
    SetFormat(40, 30);
    EXPECT_EQ(engine.Begin(), 0);
    DirectState& s = directState();
    EXPECT_TRUE(s.started);
    EXPECT_TRUE(displayState().perObjectRefresh);
    EXPECT_EQ(s.depth.size(), 1200u);
    EXPECT_EQ(s.spanTable.size(), 30u);
    SetFormat(20, 10);
    EXPECT_EQ(engine.Begin(), 0);  // later calls do nothing
    EXPECT_EQ(s.depth.size(), 1200u);
    EXPECT_EQ(engine.Format(20, 10), 0);
    EXPECT_EQ(s.depth.size(), 200u);
    EXPECT_EQ(s.spanTable.size(), 10u);
    SetFormat(-5, 10);
    EXPECT_EQ(engine.Format(-5, 10), 0);
    EXPECT_TRUE(s.depth.empty());
    engine.End();
    EXPECT_TRUE(s.depth.empty());
}

TEST_F(DirectTest, FormatNoMemoryCanHold) {
    SetFormat(1 << 30, 1 << 30);
    EXPECT_EQ(engine.Format(1 << 30, 1 << 30), kErrDepthMemory);
    EXPECT_TRUE(directState().depth.empty());
    EXPECT_EQ(engine.Begin(), kErrDepthMemory);
    EXPECT_FALSE(directState().started);
}

// A format given after Begin, or a negative one: drawing stays inside.
TEST_F(DirectTest, WorldBeginFollowsTheDisplaySize) {
    open(32, 32, true);
    SetFormat(48, 40);
    ASSERT_EQ(engine.WorldBegin(), 0);
    EXPECT_EQ(directState().depth.size(), 48u * 40u);
    SetFormat(0, 0);
    ASSERT_EQ(engine.WorldBegin(), 0);
    polygon({-1, -1, -2, 1, -1, -2, 0, 1, -2});
    engine.Circle(Point3(0, 0, -2), 5);
    engine.Line(Point3(-1, 0, -2), Point3(1, 0, -2));
    engine.Fill(Point3(0, 0, -2));
    EXPECT_EQ(counter->outside, 0);
}

namespace {
class FailingDevice final : public DisplayDevice {
public:
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int frame) override {
        lastFrame = frame;
        return -7;
    }
    int ImageShow() override {
        ++shows;
        return -1;
    }
    int ImageClear() override { return 0; }
    int SetBackground(const ColorRGB&) override { return 0; }
    int ReadPixel(int, int, ColorRGB&) override { return 0; }
    int WritePixel(int, int, const ColorRGB&) override { return 0; }
    int lastFrame = 0, shows = 0;
};
}  // namespace

TEST_F(DirectTest, FramesAndDisplayStatus) {
    auto dev = std::make_unique<FailingDevice>();
    FailingDevice* d = dev.get();
    displayState().device = std::move(dev);
    EXPECT_EQ(engine.FrameBegin(12), 0);
    EXPECT_EQ(engine.WorldBegin(), -7);
    EXPECT_EQ(d->lastFrame, 12);
    // A failed show ends the run.
    EXPECT_EQ(engine.WorldEnd(), -1);
    EXPECT_EQ(engine.FrameEnd(), -1);
    EXPECT_EQ(d->shows, 2);
    EXPECT_EQ(engine.Display("a", "b", "c"), 0);
    EXPECT_EQ(engine.Custom("anything"), 0);
}

TEST_F(DirectTest, AReplacedEngineLeavesNoBuffersBehind) {
    {
        REDirect first{kx::process().context, kx::process().direct, kx::process().maps};
        SetFormat(16, 16);
        ASSERT_EQ(first.Begin(), 0);
        EXPECT_EQ(directState().depth.size(), 256u);
    }
    EXPECT_TRUE(directState().depth.empty());
    EXPECT_FALSE(directState().started);
    open(16, 16, true);
    polygon({-1, -1, -2, 1, -1, -2, 0, 1, -2});
    EXPECT_GT(counter->count(8, 8), 0);
}
