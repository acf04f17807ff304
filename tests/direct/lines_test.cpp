// Points, lines, circles and the seed fill.
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "core/errors.h"
#include "direct/midpoint_circle.h"
#include "direct_fixture.h"

using namespace kx;
using kxtest::DirectTest;
using kxtest::ReferenceCircle;

namespace {

// On a 256 x 256 image with the default camera, the world point
// (x, y, -1) lies on the near plane and rounds to pixel
// (128 + 128 x, 128 - 128 y).
Point3 NearPixel(float X, float Y) { return Point3((X - 128 + 0.25f) / 128, (128 - Y - 0.25f) / 128, -1); }

AttributeVertex DeviceVertex(float x, float y, float z) {
    AttributeVertex v;
    v[0] = x, v[1] = y, v[2] = z, v[3] = 1, v[4] = 1;
    return v;
}

void PositionLayout() {
    DirectState& s = directState();
    s.layout.reset();
    s.layout.append(VertexAttribute::Position);
    s.layout.finalize();
}

}  // namespace

TEST_F(DirectTest, PointsRoundToTheNearestPixelInsideTheVolume) {
    open(256, 256, true);
    engine.Point(Point3(0, 0, -1));  // on the near plane: depth 0
    EXPECT_EQ(counter->count(128, 128), 1);
    EXPECT_EQ(directState().depth[128 * 256 + 128], 0.0f);
    engine.Point(Point3(0.5f, 0, -1e9f));  // at the far distance: depth 1 fails
    engine.Point(Point3(2, 0, -2));        // on the right side of the volume: column 256
    engine.Point(Point3(0, 0, 1));         // behind the eye
    int total = 0;
    for (int c : counter->writes) total += c;
    EXPECT_EQ(total, 1);
    EXPECT_EQ(counter->outside, 0);
}

TEST_F(DirectTest, PointSetCarriesVertexColours) {
    open(256, 256);
    const float v[] = {0, 0, -1, 1, 0, 0, 0.5f, 0, -1, 0, 1, 0};
    ASSERT_EQ(engine.PointSet("PC", 2, v), 0);
    EXPECT_EQ(pixel(128, 128)[0], 255);
    EXPECT_EQ(pixel(192, 128)[1], 255);
    EXPECT_EQ(pixel(192, 128)[0], 0);
    EXPECT_EQ(engine.PointSet("PZ", 2, v), kErrVertexType);
}

TEST_F(DirectTest, HorizontalDeviceLineSetsBothEnds) {
    open(32, 32, true);
    PositionLayout();
    DeviceLine(pipeline, DeviceVertex(2, 5, 0.5f), DeviceVertex(12, 5, 0.5f));
    for (int x = 0; x < 32; ++x) EXPECT_EQ(counter->count(x, 5), (x >= 2 && x <= 12) ? 1 : 0) << x;
    // Coincident ends: the end point only.
    counter->clearCounts();
    DeviceLine(pipeline, DeviceVertex(20, 20, 0.25f), DeviceVertex(20, 20, 0.25f));
    EXPECT_EQ(counter->count(20, 20), 1);
}

TEST_F(DirectTest, SteepDeviceLineStepsOverRows) {
    open(32, 32, true);
    PositionLayout();
    DeviceLine(pipeline, DeviceVertex(10.5f, 25, 0.5f), DeviceVertex(4.5f, 1, 0.5f));
    for (int y = 1; y <= 25; ++y) {
        int hits = 0;
        for (int x = 0; x < 32; ++x) hits += counter->count(x, y);
        EXPECT_EQ(hits, 1) << "row " << y;
    }
    EXPECT_EQ(counter->count(4, 1), 1);
    EXPECT_EQ(counter->count(10, 25), 1);
}

TEST_F(DirectTest, LinesAreClippedToTheViewVolume) {
    open(256, 256, true);
    engine.Line(Point3(0, 0, 1), Point3(0.5f, 0, 2));  // both behind the eye
    int total = 0;
    for (int c : counter->writes) total += c;
    EXPECT_EQ(total, 0);
    // Crossing the near plane at (0, 0, -1): cut at depth 0 there.
    engine.Line(Point3(-1, 0, -3), Point3(1, 0, 1));
    // Device row 127.5, from column 84.8 to the cut at column 127.5.
    EXPECT_GT(counter->count(84, 127), 0);
    EXPECT_GT(counter->count(100, 127), 0);
    EXPECT_GT(counter->count(127, 127), 0);
    EXPECT_EQ(counter->count(83, 127), 0);
    EXPECT_EQ(counter->count(128, 127), 0);
    // Absurd end points still end quickly inside the image.
    engine.Line(Point3(-1e30f, 0.1f, -2), Point3(1e30f, 0.1f, -2));
    engine.Line(Point3(0, 0, -2), Point3(std::numeric_limits<float>::quiet_NaN(), 0, -2));
    EXPECT_EQ(counter->outside, 0);
}

TEST_F(DirectTest, LineSetDrawsEachPolyline) {
    open(256, 256, true);
    // A square outline and a lone point-polyline; index 9 does not exist.
    const float v[] = {-0.5f, -0.5f, -1, 0.5f, -0.5f, -1, 0.5f, 0.5f, -1, -0.5f, 0.5f, -1};
    const int idx[] = {0, 1, 9, 2, 3, 0, -1, 2, -1};
    ASSERT_EQ(engine.LineSet("P", 4, v, 2, idx), 0);
    // Corners at device 63.5 and 191.5.
    for (int t = 70; t < 190; t += 20) {
        EXPECT_GT(counter->count(t, 191), 0) << t;
        EXPECT_GT(counter->count(t, 63), 0) << t;
        EXPECT_GT(counter->count(63, t), 0) << t;
        EXPECT_GT(counter->count(191, t), 0) << t;
    }
    EXPECT_EQ(counter->count(128, 128), 0);
    EXPECT_EQ(engine.LineSet("Pq", 4, v, 2, idx), kErrVertexType);
}

// ---------------------------------------------------------------- circles

namespace {

std::set<std::pair<int, int>> Written(const kxtest::CountingDevice& c) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (c.count(x, y) > 0) out.insert({x, y});
    return out;
}

}  // namespace

TEST_F(DirectTest, CircleOfRadiusZeroPlotsTheCentreEightTimes) {
    open(256, 256, true);
    engine.Circle(NearPixel(40, 50), 0);
    EXPECT_EQ(counter->count(40, 50), 8);
    counter->clearCounts();
    engine.Circle(NearPixel(40, 50), 0.9f);
    EXPECT_EQ(counter->count(40, 50), 8);
    EXPECT_EQ(Written(*counter).size(), 1u);
}

TEST_F(DirectTest, CircleMatchesTheMidpointAlgorithm) {
    open(256, 256, true);
    for (int r : {1, 2, 3, 7, 40, 99, 300}) {
        counter->clearCounts();
        engine.Circle(NearPixel(30, 200), static_cast<float>(r) + 0.5f);
        EXPECT_EQ(Written(*counter), ReferenceCircle(30, 200, r, 256, 256)) << "radius " << r;
        EXPECT_EQ(counter->outside, 0);
    }
}

TEST_F(DirectTest, HugeCircleDrawsOnlyWhatCrossesTheImage) {
    open(256, 256, true);
    // Centre 2^29 pixels left of column 128, radius 2^29: the visible part
    // is column 128 from top to bottom.
    engine.Circle(Point3(-4194304.0f, 0, -1), 536870912.0f);
    std::set<std::pair<int, int>> expected;
    for (int y = 0; y < 256; ++y) expected.insert({128, y});
    EXPECT_EQ(Written(*counter), expected);
    // Nothing for radii that cannot be drawn.
    counter->clearCounts();
    engine.Circle(Point3(0, 0, -1), std::numeric_limits<float>::quiet_NaN());
    engine.Circle(Point3(0, 0, -1), -5);
    engine.Circle(Point3(0, 0, -1), 1e30f);
    engine.Circle(Point3(0, 0, 1), 10);  // behind the eye
    EXPECT_TRUE(Written(*counter).empty());
}

// ---------------------------------------------------------------- fill

TEST_F(DirectTest, FillPaintsTheRegionInsideAnOutline) {
    open(256, 256);
    engine.Color(ColorRGB(1, 0, 0));
    const float v[] = {-0.5f, -0.5f, -1, 0.5f, -0.5f, -1, 0.5f, 0.5f, -1, -0.5f, 0.5f, -1};
    const int idx[] = {0, 1, 2, 3, 0, -1};
    ASSERT_EQ(engine.LineSet("P", 4, v, 1, idx), 0);
    engine.Color(ColorRGB(0, 1, 0));
    ASSERT_EQ(engine.Fill(NearPixel(128, 128)), 0);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const uint8_t* p = pixel(x, y);
            bool in = x > 63 && x < 191 && y > 63 && y < 191;
            bool on = (x >= 63 && x <= 191 && (y == 63 || y == 191)) || (y >= 63 && y <= 191 && (x == 63 || x == 191));
            if (on) {
                ASSERT_EQ(p[0], 255) << x << "," << y;
            } else {
                ASSERT_EQ(p[1], in ? 255 : 0) << x << "," << y;
            }
        }
    }
}

// A serpentine corridor one pixel wide: tens of thousands of spans in one
// chain, filled without exhausting anything.
TEST_F(DirectTest, FillFollowsALongCorridor) {
    open(256, 256);
    DisplayDevice& dev = displayState().dev();
    for (int x = 1; x < 256; x += 2)
        for (int y = 0; y < 255; ++y) dev.WritePixel(x, (x / 2) % 2 == 0 ? y : y + 1, ColorRGB(1, 0, 0));
    engine.Color(ColorRGB(0, 0, 1));
    ASSERT_EQ(engine.Fill(NearPixel(0, 0)), 0);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            if (pixel(x, y)[0] == 0) {
                ASSERT_EQ(pixel(x, y)[2], 255) << x << "," << y;
            }
    EXPECT_EQ(pixel(254, 255)[2], 255);
}

TEST_F(DirectTest, FillThatWouldChangeNothingEnds) {
    open(64, 64);
    // The image stores 0.5 as 127, which reads back as 127/255.999: the
    // current colour 0.5 is not the old colour, yet painting it leaves the
    // image as it was.
    engine.Background(ColorRGB(0.5f, 0.5f, 0.5f));
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Color(ColorRGB(0.5f, 0.5f, 0.5f));
    ASSERT_EQ(engine.Fill(Point3(0, 0, -2)), 0);
    EXPECT_EQ(pixel(10, 10)[0], 127);
}

TEST_F(DirectTest, FillDoesNothingOnItsOwnColourOrOutsideTheVolume) {
    open(64, 64, true);
    engine.Background(ColorRGB(1, 1, 1));
    ASSERT_EQ(engine.WorldBegin(), 0);
    engine.Fill(Point3(0, 0, -2));  // the current colour is white too
    engine.Color(ColorRGB(1, 0, 0));
    engine.Fill(Point3(0, 0, 2));  // behind the eye
    for (int c : counter->writes) ASSERT_EQ(c, 0);
    engine.Fill(Point3(0, 0, -2));
    for (int c : counter->writes) ASSERT_EQ(c, 1);
}
