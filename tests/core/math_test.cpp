#include "core/math.h"

#include <gtest/gtest.h>

using namespace kx;

TEST(Math, NormalizeZeroStaysZero) {
    Vector3 v;
    normalize(v);
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.z, 0);
}
