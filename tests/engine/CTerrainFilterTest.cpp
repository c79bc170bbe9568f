#include "engine/CTerrainFilter.h"
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numbers>

namespace {
constexpr double kPi = std::numbers::pi;
constexpr float kU = 1.0f / 44100.0f;

void RunBlock(CTerrainFilter& f)
{
    for (int n = 0; n < 32; ++n)
        f.Process(0.0f);
}
} // namespace

TEST(CTerrainFilter, ShapeTableSpotChecks)
{
    const auto& t = CTerrainFilter::s_Shapes;
    EXPECT_EQ(t[0][0].frequency, 550.0f);
    EXPECT_EQ(t[1][3].frequency, 3380.0f);
    EXPECT_EQ(t[5][7].frequency, 4200.0f);
    EXPECT_EQ(t[5][7].resonance, 0.95f);
    EXPECT_FALSE(t[5][0].enabled);
    EXPECT_TRUE(t[7][3].enabled); // silent but enabled
    EXPECT_EQ(t[7][3].gain, 0.0f);
    EXPECT_EQ(t[7][3].frequency, 2000.0f);
    EXPECT_EQ(t[6][0].resonance, 0.999f);
    EXPECT_FALSE(t[6][1].enabled);
    for (int s = 12; s <= 14; ++s)
        EXPECT_EQ(std::memcmp(t[s], t[11], sizeof t[11]), 0) << s;
    int on = 0;
    for (int s = 0; s < 16; ++s)
        for (int i = 0; i < 8; ++i)
            on += t[s][i].enabled ? 1 : 0;
    EXPECT_EQ(on, 5 * 4 + 4 + 1 + 8 + 4 + 4 + 4 + 4 * 3);
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(t[15][i].enabled);
}

TEST(CTerrainFilter, EmptyShapeInvertsTheInputAndRemovesDc)
{
    for (int shape : {15, -1, 99}) {
        CTerrainFilter f;
        float worst = 0.0f;
        for (int n = 0; n < 40000; ++n) {
            if (n % 32 == 0)
                f.Set(kU, shape, shape, 1.0f, 1.0f, 0.0f);
            const float x = static_cast<float>(0.5 * std::sin(2 * kPi * 440 * n / 44100));
            const float y = f.Process(x + 0.3f); // offset is removed by the tracker
            if (n > 30000)
                worst = std::max(worst, std::fabs(y + x));
        }
        EXPECT_LT(worst, 5e-3f) << shape;
    }
}

TEST(CTerrainFilter, MorphHalfWayBetweenVowelsZeroAndOne)
{
    CTerrainFilter f;
    f.Set(kU, 0, 1, 1.0f, 1.0f, 0.5f);
    EXPECT_EQ(f.shapeA, 0);
    EXPECT_EQ(f.shapeB, 1);
    RunBlock(f);
    // Section 0: (550 + 400) / 2 = 475 Hz, resonance 0.9999 at both ends.
    const double w = 475.0 * 2 / 44100, q = 0.9999;
    EXPECT_NEAR(f.sections[0].c[0], 2 * q * std::cos(kPi - kPi * w), 2e-5);
    EXPECT_NEAR(f.sections[0].c[1], q * q, 2e-5);
    EXPECT_NEAR(f.sections[0].c[4], -q, 2e-5);
    EXPECT_NEAR(f.sections[0].c[5], 1 - 0.98 * q * q, 2e-5);
    // Serial sections are off in both shapes: pass-through.
    EXPECT_NEAR(f.sections[5].c[0], 0.0f, 1e-6);
    EXPECT_NEAR(f.sections[5].c[2], 1.0f, 1e-6);
}

TEST(CTerrainFilter, ResonanceAmountAndOneSidedMorph)
{
    // Shape 6 has only section 0 (1000 Hz, 0.999); toward shape 15 the
    // resonance falls along m^3 to 0 while the gain rises toward 1.
    CTerrainFilter f;
    const float m = 0.5f, R = 0.9f;
    f.Set(kU, 6, 15, 1.0f, R, m);
    RunBlock(f);
    const double r = 0.999 * (1 - 0.125), q = R * R * r;
    const double w = 1000.0 * 2 / 44100;
    EXPECT_NEAR(f.sections[0].c[0], 2 * q * std::cos(kPi - kPi * w), 2e-5);
    EXPECT_NEAR(f.sections[0].c[1], q * q, 2e-5);
    EXPECT_NEAR(f.sections[0].c[5], 1 - 0.98 * q * q, 2e-5); // gain 1*(1-m) + m = 1

    // Serial notch of shape 9 at 1000 Hz, 0.95 within [0.8, 0.99] after R^2.
    CTerrainFilter g;
    g.Set(kU, 15, 9, 1.0f, 0.5f, 1.0f);
    RunBlock(g);
    const double qn = 0.8; // 0.25 * 0.95 limited to 0.8
    const double th = kPi * w, t = std::tan((1 - qn) * th * kPi / 2), k = 1 / (1 + t);
    EXPECT_NEAR(g.sections[4].c[2], k, 2e-5);
    EXPECT_NEAR(g.sections[4].c[3], -2 * std::cos(th) * k, 2e-5);
    EXPECT_NEAR(g.sections[4].c[1], (1 - t) * k, 2e-5);
}

TEST(CTerrainFilter, FrequencyAboveNyquistIsPinnedThere)
{
    CTerrainFilter f;
    f.Set(kU, 0, 9, 100.0f, 1.0f, 0.0f);
    RunBlock(f);
    // Resonator: pole angle pi -> theta 0 -> a1 = 2q.
    EXPECT_NEAR(f.sections[0].c[0], 2 * 0.9999, 2e-5);
    // Shape 9's notch (resonance 0.95, inside [0.8, 0.99]) at angle pi: cos = -1.
    CTerrainFilter g;
    g.Set(kU, 9, 9, 100.0f, 1.0f, 0.0f);
    RunBlock(g);
    const double q = 0.95, t = std::tan((1 - q) * kPi * kPi / 2), k = 1 / (1 + t);
    EXPECT_NEAR(g.sections[4].c[3], 2 * k, 2e-5);
    EXPECT_NEAR(g.sections[4].c[0], 2 * k, 2e-5);
    EXPECT_NEAR(g.sections[4].c[1], (1 - t) * k, 2e-5);
}

TEST(CTerrainFilter, MorphOutsideRangeActsAsNearestBound)
{
    for (auto [out, bound] : {std::pair{-3.0f, 0.0f}, std::pair{7.0f, 1.0f}}) {
        CTerrainFilter a, b;
        a.Set(kU, 7, 3, 1.3f, 0.95f, out);
        b.Set(kU, 7, 3, 1.3f, 0.95f, bound);
        for (int i = 0; i < 8; ++i)
            for (int c = 0; c < 6; ++c)
                EXPECT_EQ(a.sections[i].d[c], b.sections[i].d[c]) << i << " " << c;
    }
}
