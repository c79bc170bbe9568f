#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/CIIR2Order.h"
#include "engine/SafeMath.h"

TEST(FilterStateLimits, NaNStateRestartsFromZeroAndRunawayStaysBounded)
{
    CIIR2Order section;
    section.SetCoefficientsA(1.0f, 1.0f, 0.9f);
    for (int i = 0; i < 32; ++i)
        section.Process(0.5f);
    section.Process(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(section.s1, 0.0f);
    EXPECT_EQ(section.s2, 0.0f);
    EXPECT_TRUE(std::isfinite(section.Process(0.25f)));
    section.Process(1e30f);
    EXPECT_EQ(std::fabs(section.s1), 40.0f);
    EXPECT_LE(std::fabs(section.s2), 40.0f);
}

TEST(FilterStateLimits, SafeConversionsLimitBeforeConverting)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(engine::ClampSafe(nan, -40.0f, 40.0f), 0.0f);
    EXPECT_EQ(engine::ClampSafe(nan, 1e-13f, 1.0f, 1e-13f), 1e-13f);
    EXPECT_EQ(engine::ClampSafe(-1e9f, -40.0f, 40.0f), -40.0f);
    EXPECT_EQ(engine::RoundClamp(nan, -5, 5), 0);
    EXPECT_EQ(engine::RoundClamp(nan, 3, 9), 3);
    EXPECT_EQ(engine::RoundClamp(1e30f, 0, 2047), 2047);
    EXPECT_EQ(engine::RoundClamp(2.5f, 0, 10), 2);  // to nearest even, as lrint
    EXPECT_EQ(engine::RoundClamp(3e9f, -2147483520, 2147483520), 2147483520);
    EXPECT_EQ(engine::TruncClamp(-2.7f, -10, 10), -2);
    EXPECT_EQ(engine::TruncClamp(-std::numeric_limits<float>::infinity(), -10, 10), -10);
}
