#include "engine/CFractalSubdivide.h"
#include "os/ORandom.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {
float Unit(int r) { return static_cast<float>(2.0 * (r - 16383.5) / 32767.0); }
float Clamp(float v, float lo, float hi) { return std::max(lo, std::min(v, hi)); }
} // namespace

TEST(CFractalSubdivide, SameCurveOnEveryRun)
{
    std::vector<float> a(81, 0.0f), b(81, 0.0f);
    os::SRand(1234);
    CFractalSubdivide().Generate(a.data(), 0.0f, 127.0f, 80);
    os::SRand(1234);
    CFractalSubdivide().Generate(b.data(), 0.0f, 127.0f, 80);
    EXPECT_EQ(a, b);
    EXPECT_FALSE(std::all_of(a.begin(), a.end() - 1, [&](float v) { return v == a[0]; }));
}

TEST(CFractalSubdivide, FourValuesFollowTheMidpointRecursion)
{
    // Draw order: roughness f, then dest[2] (level 0), dest[1] and dest[3]
    // (level 1). The end point 10 stands behind the array.
    const float lo = -50.0f, hi = 50.0f;
    os::SRand(99);
    const int r0 = os::Rand(), r1 = os::Rand(), r2 = os::Rand(), r3 = os::Rand();
    const float f = Unit(r0), amp0 = (hi - lo) * 0.5f, amp1 = amp0 * f;
    float d[5] = {-20.0f, 0, 0, 0, 10.0f};
    d[2] = Clamp((d[0] + d[4]) * 0.5f + Unit(r1) * amp0, lo, hi);
    d[1] = Clamp((d[0] + d[2]) * 0.5f + Unit(r2) * amp1, lo, hi);
    d[3] = Clamp((d[2] + d[4]) * 0.5f + Unit(r3) * amp1, lo, hi);
    const float m = std::max({0.0f, d[0], d[1], d[2], d[3]});

    float viaBuffer[5] = {-20.0f, 7, 7, 7, 10.0f};
    os::SRand(99);
    CFractalSubdivide().Generate(viaBuffer, lo, hi, 4);
    float explicitEnd[4] = {-20.0f, 7, 7, 7};
    os::SRand(99);
    CFractalSubdivide().Generate(explicitEnd, lo, hi, 4, 10.0f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(viaBuffer[i], d[i] - (m - hi), 1e-4) << i;
        EXPECT_EQ(explicitEnd[i], viaBuffer[i]) << i;
    }
    EXPECT_EQ(viaBuffer[4], 10.0f); // read, never written
}

TEST(CFractalSubdivide, SingleValueIsOnlyShifted)
{
    float a[2] = {5.0f, 99.0f};
    CFractalSubdivide().Generate(a, 0.0f, 127.0f, 1);
    EXPECT_EQ(a[0], 127.0f);
    EXPECT_EQ(a[1], 99.0f);
    float b = -3.0f;
    CFractalSubdivide().Generate(&b, 0.0f, 127.0f, 1, 0.0f);
    EXPECT_EQ(b, 124.0f); // the peak counts as 0 when everything is below it
}

TEST(CFractalSubdivide, EditorCurvePeaksExactlyAtTheTop)
{
    for (uint32_t seed : {1u, 2u, 3u, 77u, 4096u}) {
        os::SRand(seed);
        std::vector<float> v(80, 0.0f);
        CFractalSubdivide().Generate(v.data(), 0.0f, 127.0f, 80, 0.0f);
        EXPECT_EQ(*std::max_element(v.begin(), v.end()), 127.0f) << seed;
        for (float x : v)
            EXPECT_TRUE(x >= 0.0f && x <= 127.0f) << seed << " " << x;
    }
}

TEST(CFractalSubdivide, OutOfRangeCountsLeaveTheArrayAlone)
{
    std::vector<float> v(65538, 3.0f);
    CFractalSubdivide().Generate(v.data(), 0.0f, 127.0f, 65537);
    CFractalSubdivide().Generate(v.data(), 0.0f, 127.0f, 0);
    CFractalSubdivide().Generate(v.data(), 0.0f, 127.0f, -4, 1.0f);
    EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](float x) { return x == 3.0f; }));
    // The largest count works and stays in range.
    std::vector<float> big(65536, 0.0f);
    CFractalSubdivide().Generate(big.data(), -1.0f, 1.0f, 65536, 0.0f);
    EXPECT_EQ(*std::max_element(big.begin(), big.end()), 1.0f);
}
