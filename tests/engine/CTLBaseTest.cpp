#include "engine/CTLBase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Segment = CTLBase::Segment;

// y = 3x + 1 sampled at x0 = 2, dx = 0.5.
float Line(float x, int) { return 3.0f * x + 1.0f; }
float Index(float, int i) { return static_cast<float>(i); }
// Rises by 0.5 at point 2, falls by 1.0 at point 4.
float Steps(float, int i) { return i < 2 ? 0.0f : (i < 4 ? 0.5f : -0.5f); }

TEST(CTLBase, BuildTableHasFlatEndsAndExactInterior)
{
    Segment t[6];
    CTLBase::BuildTable(Line, t, 6, 2.0f, 0.5f);
    EXPECT_EQ(t[0].slope, 0.0f);
    EXPECT_EQ(t[0].offset, 7.0f);         // y at x0
    EXPECT_EQ(t[5].slope, 0.0f);
    EXPECT_EQ(t[5].offset, 3.0f * 5.0f + 1.0f);  // y at x0 + 6 dx = 5
    for (int k = 1; k < 5; ++k) {
        EXPECT_FLOAT_EQ(t[k].slope, 3.0f) << k;
        EXPECT_FLOAT_EQ(t[k].offset, 1.0f) << k;
    }

    // The index reaches the curve as 0 for x0 and k for x0 + k dx.
    Segment u[4];
    CTLBase::BuildTable(Index, u, 4, 0.0f, 1.0f);
    EXPECT_EQ(u[0].offset, 0.0f);
    EXPECT_FLOAT_EQ(u[2].slope, 1.0f);
    EXPECT_FLOAT_EQ(u[2].offset, 0.0f);
    EXPECT_EQ(u[3].offset, 4.0f);
}

TEST(CTLBase, BuildTableWithOneOrNoSegments)
{
    Segment t[2] = {{9.0f, 9.0f}, {9.0f, 9.0f}};
    CTLBase::BuildTable(Line, t, 1, 2.0f, 0.5f);
    EXPECT_EQ(t[0].slope, 0.0f);
    EXPECT_EQ(t[0].offset, 7.0f);
    EXPECT_EQ(t[1].slope, 9.0f);  // nothing past the table
    CTLBase::BuildTable(Line, t + 1, 0, 2.0f, 0.5f);
    CTLBase::BuildTable(Line, t + 1, -3, 2.0f, 0.5f);
    EXPECT_EQ(t[1].offset, 9.0f);
}

TEST(CTLBase, BuildTableLimitedFlattensOnlyRises)
{
    Segment smooth[5], limited[5];
    CTLBase::BuildTableLimited(Steps, smooth, 5, 0.0f, 1.0f, true);
    CTLBase::BuildTableLimited(Steps, limited, 5, 0.0f, 1.0f, false);
    // Segment 1 rises from 0 to 0.5: ramped when smooth, a step at its end otherwise.
    EXPECT_FLOAT_EQ(1.5f * smooth[1].slope + smooth[1].offset, 0.25f);
    EXPECT_EQ(limited[1].slope, 0.0f);
    EXPECT_EQ(limited[1].offset, 0.0f);
    // Segment 3 falls by 1.0: never limited.
    EXPECT_FLOAT_EQ(limited[3].slope, -1.0f);
    EXPECT_FLOAT_EQ(3.5f * limited[3].slope + limited[3].offset, 0.0f);
    // No flat ends: the last segment still ramps to the point after it.
    float y = 5.0f;
    EXPECT_FLOAT_EQ(y * smooth[4].slope + smooth[4].offset, -0.5f);
    EXPECT_FLOAT_EQ(0.0f * smooth[0].slope + smooth[0].offset, 0.0f);
}

TEST(CTLBase, EvaluateRoundsToNearestAndClamps)
{
    // Segment k = {k, 100 k} so the chosen segment shows in the result.
    Segment t[4];
    for (int k = 0; k < 4; ++k)
        t[k] = {static_cast<float>(k), 100.0f * k};
    EXPECT_EQ(CTLBase::Evaluate(t, 1.4f), 1.4f * 1.0f + 100.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 1.6f), 1.6f * 2.0f + 200.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 0.49f), 0.0f);
    // Halves go up: segment i serves [i - 0.5, i + 0.5).
    EXPECT_EQ(CTLBase::Evaluate(t, 0.5f), 0.5f * 1.0f + 100.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 2.5f), 2.5f * 3.0f + 300.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 2.4999998f), 2.4999998f * 2.0f + 200.0f);
    // Outside the table the edge segment's line is evaluated at y itself.
    EXPECT_EQ(CTLBase::Evaluate(t, -7.0f), 0.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 10.0f), 10.0f * 3.0f + 300.0f);
    EXPECT_EQ(CTLBase::Evaluate(t, 1e30f), 1e30f * 3.0f + 300.0f);
    // Non-finite input stays inside the table.
    EXPECT_TRUE(std::isnan(CTLBase::Evaluate(t, std::numeric_limits<float>::quiet_NaN())));
    EXPECT_TRUE(std::isinf(CTLBase::Evaluate(t, std::numeric_limits<float>::infinity())));
}

} // namespace
