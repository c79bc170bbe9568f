#include "engine/CResample.h"
#include "SampleSourceMock.h"
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(CResample, HalfWidthFollowsRatioAndIsCapped)
{
    struct Case { float ratio; int w; int expected; };
    for (Case c : {Case{3.0f, 10, 10}, Case{8.0f, 10, 16}, Case{5.5f, 10, 12}, Case{-8.0f, 10, 16},
                   Case{1.0f, 0, 10}, Case{0.25f, 4, 4}, Case{40.0f, 10, 64},
                   Case{0.5f, 1000, 64}, Case{1.0f, 65536, 64}}) {
        CResample r;
        ASSERT_TRUE(r.Start(nullptr, c.ratio, c.w, 0)) << c.ratio << " " << c.w;
        EXPECT_EQ(r.HalfWidth(), c.expected) << c.ratio << " " << c.w;
        EXPECT_EQ(r.ringLength, 2 * c.expected);
        EXPECT_EQ(r.startOffset, 1.0f - c.expected);
        EXPECT_TRUE(r.IsRunning());
    }
}

TEST(CResample, RefusesOutOfRangeStarts)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case { float ratio; int w; };
    for (Case c : {Case{65536.0f, 10}, Case{-70000.0f, 10}, Case{nan, 10}, Case{1.0f, -1},
                   Case{1.0f, 65537}}) {
        CResample r;
        SampleSourceMock src;
        EXPECT_FALSE(r.Start(&src, c.ratio, c.w, 0));
        EXPECT_FALSE(r.IsRunning());
        EXPECT_EQ(r.Process(1.0f), 0.0f);
        EXPECT_EQ(src.consumed, 0);
    }
}

TEST(CResample, KernelIsAWindowedSinc)
{
    const float* k = CResample::GetKernel(10);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k, CResample::GetKernel(10)); // shared
    EXPECT_EQ(k[0], 1.0f);
    // Worked out from sin(x)/x * (0.5 + 0.5 cos(i pi / 10000)) with x summed
    // in float steps of 0.0031415927.
    EXPECT_NEAR(k[500], 0.6326982, 1e-6);
    EXPECT_NEAR(k[2500], 0.1086804, 1e-6);
    EXPECT_NEAR(k[1000], 0.0, 2e-5);
    EXPECT_NEAR(k[10000], 0.0, 1e-7); // the window closes at w crossings
    const float* k64 = CResample::GetKernel(64);
    ASSERT_NE(k64, nullptr);
    EXPECT_EQ(k64[0], 1.0f);
    EXPECT_NEAR(k64[500], 0.6366 * (0.5 + 0.5 * std::cos(500 * M_PI / 64000)), 1e-4);
    EXPECT_EQ(CResample::GetKernel(0), nullptr);
    EXPECT_EQ(CResample::GetKernel(65), nullptr);
}

TEST(CResample, RatioOneReproducesTheSource)
{
    SampleSourceMock src;
    src.stream = [](long n) { return static_cast<float>(std::sin(0.1 * n) + 0.3 * std::cos(0.37 * n)); };
    CResample r;
    ASSERT_TRUE(r.Start(&src, 1.0f, 10, 3));
    EXPECT_EQ(src.consumed, 11); // the centre tap and w values ahead of it
    EXPECT_EQ(src.lastDirection, 1);
    for (long n = 0; n < 200; ++n)
        ASSERT_NEAR(r.Process(1.0f), src.stream(n), 1e-3) << n;
}

TEST(CResample, TransposingUpBandLimits)
{
    // Source-rate Nyquist content vanishes at ratio 2; DC passes (the short
    // window keeps it within a few percent).
    SampleSourceMock alt;
    alt.stream = [](long n) { return n % 2 ? -1.0f : 1.0f; };
    CResample r;
    ASSERT_TRUE(r.Start(&alt, 2.0f, 10, 0));
    for (int n = 0; n < 100; ++n) {
        const float y = r.Process(2.0f);
        if (n > 10) {
            EXPECT_LT(std::fabs(y), 0.03f) << n;
        }
    }
    SampleSourceMock dc;
    dc.stream = [](long) { return 1.0f; };
    ASSERT_TRUE(r.Start(&dc, 2.5f, 10, 0));
    for (int n = 0; n < 100; ++n) {
        const float y = r.Process(2.5f);
        if (n > 10) {
            EXPECT_NEAR(y, 1.0f, 0.05f) << n;
        }
    }
}

TEST(CResample, LargeRatiosSkipTheSourceAndBackwardReadsBackward)
{
    SampleSourceMock src;
    CResample r;
    ASSERT_TRUE(r.Start(&src, 300.0f, 10, 0));
    ASSERT_EQ(r.HalfWidth(), 64);
    const int calls = 50;
    for (int n = 0; n < calls; ++n)
        r.Process(300.0f);
    // Each call after the first moves the source on by exactly 300 values.
    EXPECT_EQ(src.consumed, 64 + 1 + 300L * (calls - 1));

    SampleSourceMock back;
    ASSERT_TRUE(r.Start(&back, -1.0f, 10, 0));
    EXPECT_LT(back.lastDirection, 1);
    r.Process(-1.0f);
    r.Process(-1.0f);
    EXPECT_LT(back.lastDirection, 1);
}

TEST(CResample, FreeSilencesAndANullSourceIsQuiet)
{
    SampleSourceMock src;
    src.stream = [](long) { return 0.5f; };
    CResample r;
    EXPECT_EQ(r.Process(1.0f), 0.0f); // never started
    ASSERT_TRUE(r.Start(&src, 1.0f, 10, 0));
    r.Free();
    const long before = src.consumed;
    EXPECT_EQ(r.Process(1.0f), 0.0f);
    EXPECT_EQ(src.consumed, before);

    ASSERT_TRUE(r.Start(nullptr, 1.5f, 10, 0));
    for (int n = 0; n < 50; ++n)
        EXPECT_EQ(r.Process(1.5f), 0.0f);
}
