#include "ox_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

TEST(Util, ClampRejectsNonFinite)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ox_clampf(nan, -1.0f, 1.0f, 0.25f), 0.25f);
    EXPECT_EQ(ox_clampf(inf, -1.0f, 1.0f, 0.25f), 0.25f);
    EXPECT_EQ(ox_clampf(-inf, -1.0f, 1.0f, 0.25f), 0.25f);
    EXPECT_EQ(ox_clampf(3.0f, -1.0f, 1.0f, 0.25f), 1.0f);
    EXPECT_EQ(ox_clampf(-3.0f, -1.0f, 1.0f, 0.25f), -1.0f);
    EXPECT_EQ(ox_clampd(std::nan(""), 0.0, 2.0, 1.5), 1.5);
    EXPECT_EQ(ox_clampi(-5, 0, 3), 0);
    EXPECT_EQ(ox_clampi(7, 0, 3), 3);
}
