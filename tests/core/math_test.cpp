#include "core/math.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace kx;

TEST(Math, NormalizeZeroStaysZeroAndUnitLengths) {
    Vector3 v;
    normalize(v);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);
    Vector3 w(3, 0, 4);
    normalize(w);
    EXPECT_FLOAT_EQ(w.x, 0.6f);
    EXPECT_EQ(w.y, 0);
    EXPECT_FLOAT_EQ(w.z, 0.8f);
}

TEST(Math, CrossReflectNegateClamp) {
    Vector3 c = cross(Vector3(1, 0, 0), Vector3(0, 1, 0));
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
    EXPECT_EQ(c.z, 1);
    Vector3 r = reflect(Vector3(1, -1, 0), Vector3(0, 1, 0));
    EXPECT_EQ(r.x, 1);
    EXPECT_EQ(r.y, 1);
    EXPECT_EQ(r.z, 0);
    Vector3 n = -Vector3(0, 1, -2);
    EXPECT_TRUE(std::signbit(n.x));
    EXPECT_EQ(n.z, 2);
    EXPECT_EQ(clamp(0, 1.5f, 1), 1);
    EXPECT_EQ(clamp(0, -0.2f, 1), 0);
    EXPECT_FLOAT_EQ(clamp(0, 0.3f, 1), 0.3f);
}

TEST(Math, DefaultsAndMatrixProducts) {
    HPoint h;
    EXPECT_EQ(h.w, 1);
    Matrix4 zero;
    for (float e : zero.m) EXPECT_EQ(e, 0);
    Matrix4 id = Matrix4::identity();
    HPoint p(1.5f, -2, 3, 0.5f);
    HPoint q = id * p;
    EXPECT_EQ(q.x, 1.5f);
    EXPECT_EQ(q.w, 0.5f);
    Matrix4 t = Matrix4::identity();
    t(0, 3) = 4;
    t(1, 3) = 5;
    t(2, 3) = 6;
    Point3 moved = t * Point3(0, 0, 0);
    EXPECT_EQ(moved.x, 4);
    EXPECT_EQ(moved.y, 5);
    EXPECT_EQ(moved.z, 6);
    Vector3 same = t * Vector3(1, 2, 3);
    EXPECT_EQ(same.x, 1);
    EXPECT_EQ(same.z, 3);
    // Row vector times matrix is the transpose's product.
    HPoint row = HPoint(1, 0, 0, 0) * t;
    EXPECT_EQ(row.w, 4);
    Matrix4 tt = t * t;
    EXPECT_EQ(tt(0, 3), 8);
}

TEST(Math, PrintedForms) {
    std::ostringstream os;
    os << HPoint(1, 2, 3, 1) << "|" << Point3(0.5f, 0, -1);
    EXPECT_EQ(os.str(), "1  2  3  1|0.5  0  -1  ");
}
