// The ray tracing engine: camera, render loop, shaders with shadows,
// reflection, options and the world lifecycle.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <limits>
#include <memory>
#include <vector>

#include "support/process_state.h"
#include "core/errors.h"
#include "core/lights.h"
#include "core/transform.h"
#include "interface/frame_stats.h"
#include "engines/raytrace/camera.h"
#include "engines/raytrace/image_sampler.h"
#include "engines/raytrace/ray_engine.h"
#include "shell/process.h"
#include "display/display.h"
#include "display/ppm_device.h"

// Counts the allocations of the whole test program, so that a test can
// check that a stretch of code makes none. (The compiler cannot see that
// these operators pair malloc with free throughout.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
size_t g_allocations = 0;
}
void* operator new(size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace kx {
namespace {

using raytrace::BuildRasterToWorld;
using raytrace::RTSimpleSphere;
using raytrace::SubsampleOffset;

class RayEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        rayState().reset();
        lightSet().reset();
        transforms().reset();
        displayState().reset();
        auto dev = std::make_unique<FileDevice>(displayState());
        device = dev.get();
        displayState().device = std::move(dev);
    }
    void TearDown() override {
        rayState().reset();
        lightSet().reset();
        transforms().reset();
        displayState().reset();
    }
    void Open(int w, int h) {
        SetFormat(w, h);
        ASSERT_EQ(device->DisplayOpen(), 0);
    }
    const uint8_t* Pixel(int x, int y) const {
        const FrameBuffer& b = device->buffer();
        return &b.pixels[(static_cast<size_t>(y) * b.width + x) * 3];
    }
    // A world with a sphere of radius 1 at the origin; the tracer's ray comes
    // down the z axis onto its top, at (0, 0, 1) with normal (0, 0, 1).
    void UnitSphereWorld() {
        ASSERT_EQ(engine.WorldBegin(), 0);
        engine.Sphere(1, -1, 1, 360);
    }
    static Ray Down() { return Ray{{0, 0, 5}, {0, 0, -1}}; }

    RERay engine{kx::process().context, kx::process().ray};
    FileDevice* device = nullptr;
};

void ExpectColor(const ColorRGB& c, float r, float g, float b, float tol = 1e-6f) {
    EXPECT_NEAR(c.r, r, tol);
    EXPECT_NEAR(c.g, g, tol);
    EXPECT_NEAR(c.b, b, tol);
}

TEST_F(RayEngineTest, EmptyWorldIsTheClampedBackground) {
    Open(8, 6);
    engine.Background({2, 0.5f, -1});
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Render();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(Pixel(x, y)[0], 255);
            EXPECT_EQ(Pixel(x, y)[1], 127);
            EXPECT_EQ(Pixel(x, y)[2], 0);
        }
}

// Default attributes (ka 1, kd 0, matte) under the white ambient light of a
// new world: a flat white disc of the radius the camera predicts.
TEST_F(RayEngineTest, DefaultSphereIsAFlatWhiteDisc) {
    const int W = 64, H = 48;
    Open(W, H);
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.PointLight({0, 5, 0}, {1, 0, 0}, 3);  // ignored: kd is 0
    engine.Translate({0, 0, -5});
    engine.Sphere(1.5f, -1.5f, 1.5f, 360);
    engine.Render();
    // fov 90: the focal distance is H / 2 pixels.
    const double f = H / 2.0;
    int inside = 0, band = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            double dx = x + 0.5 - W / 2.0, dy = H / 2.0 - (y + 0.5);
            double sinAngle = std::sqrt(dx * dx + dy * dy) / std::sqrt(dx * dx + dy * dy + f * f);
            const uint8_t* p = Pixel(x, y);
            if (std::fabs(sinAngle - 1.5 / 5) < 0.005) {
                ++band;
                continue;
            }
            bool in = sinAngle < 1.5 / 5;
            inside += in;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(p[k], in ? 255 : 0) << x << ", " << y;
        }
    EXPECT_GT(inside, 150);  // a disc of radius 7.5 pixels
    EXPECT_LT(band, 60);
}

TEST_F(RayEngineTest, SubsampleCentresAndTheCentreRay) {
    EXPECT_FLOAT_EQ(SubsampleOffset(0, 1), 0.5f);
    EXPECT_FLOAT_EQ(SubsampleOffset(0, 2), 0.25f);
    EXPECT_FLOAT_EQ(SubsampleOffset(1, 2), 0.75f);
    EXPECT_FLOAT_EQ(SubsampleOffset(2, 3), 5.0f / 6);

    Camera cam;  // eye (0, 0, 0), at (0, 0, -1), up (0, 1, 0), fov 90
    Matrix4 m = BuildRasterToWorld(cam, 640, 480);
    Vector3 d = normalized(m * Point3(320, 240, 1) - cam.eye);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.z, -1);
    // The centre sample of pixel (320, 240) is half a pixel off the axis.
    d = normalized(m * Point3(320.5f, 240.5f, 1) - cam.eye);
    EXPECT_NEAR(d.x, 0.5 / 240, 1e-6);
    EXPECT_NEAR(d.y, -0.5 / 240, 1e-6);
    // The top-left corner of the image, 45 degrees up.
    Point3 corner = m * Point3(0, 0, 1);
    EXPECT_FLOAT_EQ(corner.x, -320);
    EXPECT_FLOAT_EQ(corner.y, 240);
    EXPECT_FLOAT_EQ(corner.z, -240);

    // A camera elsewhere looking along +x.
    cam.eye = {1, 2, 3};
    cam.at = {11, 2, 3};
    m = BuildRasterToWorld(cam, 640, 480);
    d = normalized(m * Point3(320, 240, 1) - cam.eye);
    ExpectColor({d.x, d.y, d.z}, 1, 0, 0);
    d = normalized(m * Point3(640, 240, 1) - cam.eye);  // the right edge leans toward +z
    EXPECT_GT(d.z, 0.5f);
}

TEST_F(RayEngineTest, AmbientOnlyGivesTheExactColour) {
    UnitSphereWorld();
    rayState().scene.Clear();
    engine.AmbientLight({1, 0.5f, 1}, 0.5f);
    engine.Color({1, 1, 0.5f});
    engine.Ka(0.5f);
    engine.Sphere(1, -1, 1, 360);
    ColorRGB c = Trace(Down(), 0);
    EXPECT_EQ(c.r, 0.25f);
    EXPECT_EQ(c.g, 0.125f);
    EXPECT_EQ(c.b, 0.125f);
}

TEST_F(RayEngineTest, MatteDiffuseShadowsAndPositionalLightRange) {
    UnitSphereWorld();
    rayState().scene.Clear();
    engine.Ka(0);
    engine.Kd(1);
    engine.Sphere(1, -1, 1, 360);
    engine.PointLight({0, 0, 3}, {1, 1, 1}, 1);
    // Hit (0, 0, 1) moved to (0, 0, 1.001): N.L = 1, attenuation 1 / 1.999^2.
    float expected = 1.0f / (1.999f * 1.999f);
    ExpectColor(Trace(Down(), 0), expected, expected, expected, 1e-5f);

    // An occluder beyond the light does not shadow.
    engine.XformPush();
    engine.Translate({0, 0, 6});
    engine.Sphere(0.5f, -0.5f, 0.5f, 360);
    engine.XformPop();
    ExpectColor(Trace(Down(), 0), expected, expected, expected, 1e-5f);
    // One between the point and the light does (the camera ray passes by it).
    engine.Translate({0, 0, 2});
    engine.Sphere(0.2f, -0.2f, 0.2f, 360);
    ExpectColor(Trace(Ray{{0, 0, 1.5f}, {0, 0, -1}}, 0), 0, 0, 0);
}

TEST_F(RayEngineTest, FarLightShadowsFromAnyDistance) {
    UnitSphereWorld();
    rayState().scene.Clear();
    engine.Ka(0.25f);
    engine.Kd(0.5f);
    engine.Sphere(1, -1, 1, 360);
    engine.FarLight({0, 0, -1}, {1, 1, 1}, 2);
    ExpectColor(Trace(Down(), 0), 1.25f, 1.25f, 1.25f);
    engine.Translate({0, 0, 1000});
    engine.Sphere(1, -1, 1, 360);
    // Only the ambient part is left.
    ExpectColor(Trace(Ray{{0, 0, 5}, {0, 0, -1}}, 0), 0.25f, 0.25f, 0.25f);
}

// A sphere that counts the shadow rays it is asked about.
class CountingSphere : public RTSimpleSphere {
public:
    bool occludes(double tmin, double tmax, const Ray& ray) const override {
        ++calls;
        return RTSimpleSphere::occludes(tmin, tmax, ray);
    }
    mutable int calls = 0;
};

TEST_F(RayEngineTest, LightsBehindTheSurfaceCastNoShadowRays) {
    ASSERT_EQ(engine.WorldBegin(), 0);
    auto* s = new CountingSphere;
    s->worldToObject = Matrix4::identity();
    s->attributes.ka = 0;
    s->attributes.kd = 1;
    // A loose box, so that shadow rays leaving the sphere still reach it.
    rayState().scene.Insert(s, Point3(-2, -2, -2), Point3(2, 2, 2));
    lightSet().append(std::make_unique<kx::PointLight>(Point3(0, 0, -3), ColorRGB(1, 1, 1)));
    ExpectColor(Trace(Down(), 0), 0, 0, 0);
    EXPECT_EQ(s->calls, 0);
    lightSet().append(std::make_unique<kx::FarLight>(Vector3(0, 0, -1), ColorRGB(1, 1, 1)));
    ExpectColor(Trace(Down(), 0), 1, 1, 1);
    EXPECT_EQ(s->calls, 1);
}

TEST_F(RayEngineTest, MetalAndPlasticHighlights) {
    UnitSphereWorld();
    rayState().scene.Clear();
    ASSERT_EQ(engine.Surface("metal"), 0);
    engine.Ka(0);
    engine.Ks(0.5f);
    engine.Color({1, 0.5f, 0.25f});
    engine.Sphere(1, -1, 1, 360);
    engine.FarLight({0, 0, -1}, {1, 1, 1}, 1);
    // The light lies in the mirror direction: the highlight is the full light.
    ExpectColor(Trace(Down(), 0), 0.5f, 0.25f, 0.125f);

    rayState().scene.Clear();
    ASSERT_EQ(engine.Surface("plastic"), 0);
    engine.Kd(0.5f);
    engine.Ks(0.25f);
    engine.Color({1, 0, 0});
    engine.Specular({0, 1, 0}, 20);
    EXPECT_EQ(rayState().attributes.specularExponent, 20.0f);
    engine.Sphere(1, -1, 1, 360);
    ExpectColor(Trace(Down(), 0), 0.5f, 0.25f, 0);

    // A light behind the surface adds nothing to either shader.
    lightSet().deleteAll();
    engine.FarLight({0, 0, 1}, {1, 1, 1}, 1);
    ExpectColor(Trace(Down(), 0), 0, 0, 0);
    rayState().scene.Clear();
    engine.Surface("metal");
    engine.Sphere(1, -1, 1, 360);
    ExpectColor(Trace(Down(), 0), 0, 0, 0);
}

TEST_F(RayEngineTest, UnknownSurfaceKeepsTheShader) {
    ASSERT_EQ(engine.Surface("metal"), 0);
    EXPECT_EQ(engine.Surface("chrome"), kErrSurfaceType);
    EXPECT_EQ(rayState().attributes.shader, &raytrace::MetalShader);
    ASSERT_EQ(engine.Surface("painted plastic"), 0);
    EXPECT_EQ(rayState().attributes.shader, &raytrace::PaintedPlasticShader);
    EXPECT_EQ(engine.XformPop(), kErrTransformUnderflow);
}

// Two mirrors facing each other, each with its own ambient glow of 0.1:
// every bounce adds one more glow.
TEST_F(RayEngineTest, ReflectionBouncesAreBoundedByLevels) {
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Ka(1);
    engine.Ks(1);
    engine.Color({0.1f, 0.1f, 0.1f});
    const float v[] = {-10, -10, 0, 10, -10, 0, 10, 10, 0, -10, 10, 0};
    const int idx[] = {0, 1, 2, 3, -1};
    engine.PolySet("P", 4, v, 1, idx);
    engine.Translate({0, 0, 10});
    engine.PolySet("P", 4, v, 1, idx);
    Ray r{{0, 0, 5}, {0, 0, -1}};
    ExpectColor(Trace(r, 0), 0.1f, 0.1f, 0.1f);
    ExpectColor(Trace(r, 1), 0.2f, 0.2f, 0.2f);
    ExpectColor(Trace(r, 2), 0.3f, 0.3f, 0.3f, 1e-6f);

    engine.OptionReal("Levels", 2.9f);
    EXPECT_EQ(rayState().maxLevels, 2);
    engine.OptionReal("Levels", 1e30f);
    EXPECT_EQ(rayState().maxLevels, kRayMaxLevels);
    ExpectColor(Trace(r, rayState().maxLevels), 10.1f, 10.1f, 10.1f, 1e-3f);
    engine.OptionReal("Levels", std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(rayState().maxLevels, 0);
    engine.OptionReal("Levels", -4);
    EXPECT_EQ(rayState().maxLevels, 0);
}

TEST_F(RayEngineTest, MirrorShowsWhatIsBehindTheCamera) {
    Open(4, 4);
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Ka(0);
    engine.Ks(1);
    const float v[] = {-10, -10, -2, 10, -10, -2, 10, 10, -2, -10, 10, -2};
    const int idx[] = {0, 1, 2, 3, -1};
    engine.PolySet("P", 4, v, 1, idx);
    engine.Ka(1);
    engine.Ks(0);
    engine.Color({1, 0, 0});
    engine.Translate({0, 0, 5});
    engine.Sphere(100, -100, 100, 360);  // all around the camera's back
    engine.Render();
    EXPECT_EQ(Pixel(1, 1)[0], 0);  // no bounce: the black mirror
    engine.OptionReal("Levels", 1);
    engine.Render();
    EXPECT_EQ(Pixel(1, 1)[0], 255);
    EXPECT_EQ(Pixel(1, 1)[1], 0);
}

TEST_F(RayEngineTest, SubsampleOptionGuards) {
    Open(3, 2);
    engine.Background({0.5f, 0.25f, 1});
    ASSERT_EQ(engine.WorldBegin(), 0);
    for (float n : {0.0f, -3.0f, std::numeric_limits<float>::quiet_NaN(), 3.7f, 1e10f}) {
        engine.OptionReal("Linear Subsamples", n);
        int expected = n >= 1e10f ? kRayMaxSubsamples : (n > 0 ? 3 : 0);
        EXPECT_EQ(rayState().subsamples, expected);
        engine.Render();
        // With or without samples an empty world shows the background.
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                EXPECT_EQ(Pixel(x, y)[0], 127) << n;
                EXPECT_EQ(Pixel(x, y)[1], 63) << n;
                EXPECT_EQ(Pixel(x, y)[2], 255) << n;
            }
    }
    // Unknown options are ignored.
    EXPECT_EQ(engine.OptionReal("Divisions", 7), 0);
    EXPECT_EQ(engine.OptionBool("Wireframe", true), 0);
    EXPECT_EQ(rayState().subsamples, kRayMaxSubsamples);
}

// A lit scene with every shader and a reflection.
void LitScene(RERay& e, const char* surface) {
    e.WorldBegin();
    e.PointLight({2, 3, 2}, {1, 1, 1}, 10);
    e.FarLight({-1, -1, -1}, {0.3f, 0.3f, 0.5f}, 1);
    e.Surface(surface);
    e.Ka(0.1f);
    e.Kd(0.6f);
    e.Ks(0.4f);
    e.Color({0.8f, 0.3f, 0.2f});
    e.Translate({0, 0, -4});
    e.Sphere(1, -1, 1, 360);
    e.Translate({1.5f, 0, 0});
    e.Cube();
    e.Translate({-3, -1, 0});
    e.Cylinder(0.5f, 0, 2, 360);
}

TEST_F(RayEngineTest, PaintedPlasticRendersLikePlasticAndJitterChangesNothing) {
    Open(32, 24);
    engine.OptionReal("Levels", 2);
    engine.OptionReal("Linear Subsamples", 2);
    LitScene(engine, "plastic");
    engine.Render();
    const auto plastic = device->buffer().pixels;
    LitScene(engine, "painted plastic");
    engine.Render();
    EXPECT_EQ(device->buffer().pixels, plastic);
    engine.OptionBool("Jitter", true);
    LitScene(engine, "plastic");
    engine.Render();
    EXPECT_EQ(device->buffer().pixels, plastic);
    // And the scene is not empty.
    int lit = 0;
    for (uint8_t b : plastic) lit += b != 0;
    EXPECT_GT(lit, 100);
}

TEST_F(RayEngineTest, RenderingAllocatesNothing) {
    Open(32, 24);
    // One thread traces in place; more share a ring of rows set up per image.
    engine.OptionReal("Threads", 1);
    engine.OptionReal("Levels", 3);
    engine.OptionReal("Linear Subsamples", 2);
    LitScene(engine, "plastic");
    const float v[] = {-10, -10, -6, 10, -10, -6, 10, 10, -6, -10, 10, -6};
    const int idx[] = {0, 1, 2, 3, -1};
    engine.PolySet("P", 4, v, 1, idx);
    engine.ConeLight({0, 5, 0}, {0, 0, -4}, 30, 60, {1, 1, 1}, 5);
    size_t before = g_allocations;
    EXPECT_GT(before, 0u);  // the counter sees the scene being built
    // The first image lays the scene tree out for the queries; after that
    // tracing allocates nothing.
    engine.Render();
    EXPECT_LE(g_allocations, before + 4);
    before = g_allocations;
    engine.Render();
    EXPECT_EQ(g_allocations, before);
}

// Reflections, subsamples, a mesh and every light kind: the image is the
// same byte for byte whatever the number of threads tracing it.
TEST_F(RayEngineTest, ThreadsGiveTheSameImage) {
    Open(47, 31);
    engine.OptionReal("Levels", 2);
    engine.OptionReal("Linear Subsamples", 2);
    auto render = [&](float threads) {
        engine.OptionReal("Threads", threads);
        LitScene(engine, "plastic");
        const float v[] = {-10, -10, -6, 10, -10, -6, 10, 10, -6, -10, 10, -6};
        const int idx[] = {0, 1, 2, 3, -1};
        engine.Surface("metal");
        engine.PolySet("P", 4, v, 1, idx);
        engine.ConeLight({0, 5, 0}, {0, 0, -4}, 30, 60, {1, 1, 1}, 5);
        engine.Render();
        return device->buffer().pixels;
    };
    // The rays counted on each thread add up to the same total.
    frameStats().enabled = true;
    frameStats().rays = 0;
    const auto one = render(1);
    const uint64_t rays = frameStats().rays.load();
    EXPECT_GT(rays, 47u * 31 * 4);
    frameStats().rays = 0;
    EXPECT_EQ(render(3), one);
    EXPECT_EQ(frameStats().rays.load(), rays);
    frameStats().enabled = false;
    EXPECT_EQ(rayState().threads, 3);
    size_t lit = 0;
    for (uint8_t b : one) lit += b != 0;
    EXPECT_GT(lit, 1000u);
    for (float threads : {2.0f, 3.0f, 0.0f, 7.9f, 31.0f, 200.0f})
        EXPECT_EQ(render(threads), one) << threads << " threads";
    EXPECT_EQ(rayState().threads, 200);
}

TEST_F(RayEngineTest, ThreadsOptionGuards) {
    Open(5, 4);
    engine.Background({0.5f, 0.25f, 1});
    ASSERT_EQ(engine.WorldBegin(), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // NaN, zero and negative counts mean one thread per core; huge counts
    // are capped (and never exceed the rows of the image).
    for (float n : {nan, -3.0f, -inf, 0.0f, 2.5f, 1e10f, inf}) {
        engine.OptionReal("Threads", n);
        int expected = n >= 1e10f ? kRayMaxThreads : (n > 0 ? 2 : 0);
        EXPECT_EQ(rayState().threads, expected) << n;
        engine.Render();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(Pixel(x, y)[1], 63) << n;
    }
    rayState().reset();
    EXPECT_EQ(rayState().threads, 0);
}

TEST_F(RayEngineTest, BoundingTreeOptionGivesTheSameImage) {
    Open(32, 24);
    LitScene(engine, "plastic");
    engine.Render();
    const auto withTree = device->buffer().pixels;
    EXPECT_GT(rayState().scene.Height(), 1);
    engine.OptionBool("Bounding Tree", false);
    LitScene(engine, "plastic");
    EXPECT_EQ(rayState().scene.Height(), 2);
    EXPECT_EQ(rayState().scene.root()->childCount, 3);
    engine.Render();
    EXPECT_EQ(device->buffer().pixels, withTree);
}

TEST_F(RayEngineTest, WorldBeginResetsTheWorldButKeepsAttributes) {
    ASSERT_EQ(engine.WorldBegin(), 0);
    EXPECT_EQ(transforms().M(0, 0), 1);
    engine.Sphere(1, -1, 1, 360);
    engine.PointLight({0, 0, 0}, {1, 1, 1}, 1);
    engine.AmbientLight({0.2f, 0.2f, 0.2f}, 1);
    engine.Color({0, 1, 0});
    engine.XformPush();
    engine.Translate({1, 2, 3});
    ASSERT_EQ(engine.WorldBegin(), 0);
    EXPECT_EQ(rayState().scene.root(), nullptr);
    EXPECT_TRUE(lightSet().lights.empty());
    EXPECT_EQ(lightSet().ambient.color.r, 1);
    EXPECT_EQ(transforms().M(0, 3), 0);
    EXPECT_EQ(transforms().stackDepth(), 0u);
    EXPECT_EQ(rayState().attributes.color.g, 1);
    EXPECT_EQ(rayState().attributes.color.r, 0);

    // Attributes are copied when an object is made.
    engine.Sphere(1, -1, 1, 360);
    engine.Color({0, 0, 1});
    ExpectColor(Trace(Down(), 0), 0, 1, 0);

    engine.End();
    EXPECT_EQ(rayState().scene.root(), nullptr);
    EXPECT_EQ(lightSet().ambient.color.r, 1);
}

TEST_F(RayEngineTest, BeginRunsOnce) {
    displayState().perObjectRefresh = true;
    engine.Begin();
    EXPECT_FALSE(displayState().perObjectRefresh);
    EXPECT_EQ(lightSet().ambient.color.r, 1);
    displayState().perObjectRefresh = true;
    engine.Begin();
    EXPECT_TRUE(displayState().perObjectRefresh);
}

class FailingDevice final : public DisplayDevice {
public:
    int DisplayOpen() override { return 0; }
    int DisplayClose() override { return 0; }
    int ImageBegin(int) override { return -7; }
    int ImageShow() override { return 0; }
    int ImageClear() override { return 0; }
    int SetBackground(const ColorRGB&) override { return 0; }
    int ReadPixel(int, int, ColorRGB& c) override {
        c = ColorRGB();
        return 0;
    }
    int WritePixel(int, int, const ColorRGB&) override { return 0; }
};

TEST_F(RayEngineTest, ImageBeginFailureStopsWorldBegin) {
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Sphere(1, -1, 1, 360);
    displayState().device = std::make_unique<FailingDevice>();
    EXPECT_EQ(engine.WorldBegin(), -7);
    EXPECT_NE(rayState().scene.root(), nullptr);  // nothing else was done
}

TEST_F(RayEngineTest, WorldEndWritesTheFrame) {
    std::string dir = ::testing::TempDir();
    displayState().name = dir + "/rayframe";
    Open(2, 2);
    engine.Background({1, 1, 1});
    ASSERT_EQ(engine.WorldBegin(), 0);
    ASSERT_EQ(engine.WorldEnd(), 0);
    FILE* f = std::fopen((dir + "/rayframe0000.ppm").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char head[16] = {};
    size_t n = std::fread(head, 1, 11, f);
    std::fclose(f);
    EXPECT_EQ(std::string(head, n), "P6\n2 2\n255\n");
}

}  // namespace
}  // namespace kx
