#include "support/process_state.h"
#include "core/transform.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/errors.h"

using namespace kx;

namespace {

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override {
        transforms().reset();
        transforms().setIdentity();
    }
    TransformState& t = transforms();
};

bool SameBits(const Matrix4& a, const Matrix4& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

}  // namespace

TEST_F(TransformTest, ProgramStartIsZeroMatrices) {
    t.reset();
    for (float e : t.M.m) EXPECT_EQ(e, 0);
    EXPECT_EQ(t.camera.at.z, -1);
    EXPECT_EQ(t.camera.up.y, 1);
    EXPECT_EQ(t.camera.fov, 90);
}

TEST_F(TransformTest, TranslateKeepsTheInverse) {
    t.translate(Vector3(1, 2, 3));
    EXPECT_EQ(t.M(0, 3), 1);
    EXPECT_EQ(t.M(1, 3), 2);
    EXPECT_EQ(t.M(2, 3), 3);
    EXPECT_EQ(t.M(3, 3), 1);
    EXPECT_EQ(t.Minv(0, 3), -1);
    EXPECT_EQ(t.Minv(1, 3), -2);
    EXPECT_EQ(t.Minv(2, 3), -3);
}

TEST_F(TransformTest, LastCommandAppliesFirst) {
    t.scale(Vector3(2, 4, 8));
    t.translate(Vector3(1, 1, 1));
    Point3 p = t.M * Point3(0, 0, 0);
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 4);
    EXPECT_EQ(p.z, 8);
    Matrix4 product = t.M * t.Minv;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(product(i, j), i == j ? 1 : 0, 1e-6);
}

TEST_F(TransformTest, RotationsTurnTheRightWay) {
    t.rotateXY(90);
    Point3 p = t.M * Point3(1, 0, 0);
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, 1, 1e-6);
    t.setIdentity();
    t.rotateYZ(90);
    p = t.M * Point3(0, 1, 0);
    EXPECT_NEAR(p.z, 1, 1e-6);
    t.setIdentity();
    t.rotateZX(90);
    p = t.M * Point3(0, 0, 1);
    EXPECT_NEAR(p.x, 1, 1e-6);
    Point3 back = t.Minv * p;
    EXPECT_NEAR(back.z, 1, 1e-6);
}

TEST_F(TransformTest, PushPopRestoresBitForBit) {
    t.rotateXY(33);
    Matrix4 m = t.M, inv = t.Minv;
    t.push();
    t.translate(Vector3(5, 0, 0));
    EXPECT_EQ(t.pop(), 0);
    EXPECT_TRUE(SameBits(t.M, m));
    EXPECT_TRUE(SameBits(t.Minv, inv));
    EXPECT_EQ(t.pop(), kErrTransformUnderflow);
    EXPECT_TRUE(SameBits(t.M, m));
}

TEST_F(TransformTest, ViewingMatricesForTheDefaultCamera) {
    Matrix4 ws = WorldToScreenMatrix(t.camera, 640, 480, 1, 1e9f);
    // A point straight ahead projects to the image centre.
    HPoint s = ws * HPoint(0, 0, -2, 1);
    EXPECT_NEAR(s.x / s.w, 0.5, 1e-6);
    EXPECT_NEAR(s.y / s.w, 0.5, 1e-6);
    Matrix4 d = ScreenToDeviceMatrix(640, 480);
    EXPECT_EQ(d(0, 0), 640);
    EXPECT_EQ(d(1, 1), -480);
    EXPECT_EQ(d(1, 3), 479.5f);
}
