#include "engine/CTLParameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "platform/CGlobalData.h"

namespace {

using Segment = CTLBase::Segment;

const int kRates[] = {22050, 32000, 44100, 48000, 88200, 96000};

// Rebuilds the global tables for a rate and puts 44100 back afterwards.
class CTLParameterTest : public ::testing::Test {
protected:
    void SetRate(int rate)
    {
        g_GlobalData.SetSampleRate(rate);
        g_TLParameter.Build();
    }
    void TearDown() override { SetRate(44100); }
};

template <std::size_t N>
double At(const Segment (&t)[N], double y)
{
    return CTLBase::Evaluate(t, static_cast<float>(y));
}

// Pitch of note 69 at the coarse tuning's centre: the stored offset that
// the part pitch carries (1/16 per octave, 1/192 per semitone).
constexpr double kNote69Pitch = 0.6470571 + 1e-7;

TEST_F(CTLParameterTest, PitchIncrementsPlayConcertA)
{
    const CTLParameter& t = g_TLParameter;
    for (int rate : {44100, 48000, 96000}) {
        SetRate(rate);
        EXPECT_EQ(t.pitchIncrement[0].slope, 0.0f);
        EXPECT_EQ(t.pitchIncrement[0].offset, 0.0f);
        EXPECT_EQ(t.pitchIncrementHalf[0].slope, 0.0f);
        EXPECT_EQ(t.pitchIncrementHalf[0].offset, 0.0f);
        EXPECT_EQ(At(t.pitchIncrement, 0.49), 0.0);
        EXPECT_EQ(At(t.pitchIncrementHalf, -3.0), 0.0);

        double top = 65536.0 * 44100.0 / rate;
        EXPECT_NEAR(At(t.pitchIncrement, 4096), top * 256, top * 256 * 1e-6);
        EXPECT_NEAR(At(t.pitchIncrementHalf, 4096), top * 128, top * 128 * 1e-6);

        // A 25-bit oscillator phase advanced by the increment every sample.
        double inc = std::trunc(At(t.pitchIncrement, kNote69Pitch * 4096));
        EXPECT_NEAR(inc * rate / 33554432.0, 440.0, 0.05) << rate;
        // The LFO half table on a 24-bit phase gives the same frequency.
        double half = At(t.pitchIncrementHalf, kNote69Pitch * 4096);
        EXPECT_NEAR(half * rate / 16777216.0, 440.0, 0.05) << rate;
        EXPECT_NEAR(CTLParameter::RateCurve(static_cast<float>(kNote69Pitch)), 440.0, 0.05);
    }
}

TEST_F(CTLParameterTest, DelayLengthIsLimited)
{
    SetRate(44100);
    const CTLParameter& t = g_TLParameter;
    // 131072 / 2^(x/256) - 0.5 exceeds 2047 up to x = 1536.09.
    for (int x = 0; x <= 1536; x += 64)
        EXPECT_EQ(At(t.delayLength, x), 2047.0) << x;
    EXPECT_NEAR(At(t.delayLength, 2048), 131072.0 / 256 - 0.5, 1e-2);
    EXPECT_NEAR(At(t.delayLength, 4096), 1.5, 1e-4);
    EXPECT_NEAR(CTLParameter::PitchToDelayLength(3000.0f), 131072.0 / std::pow(2.0, 3000.0 / 256) - 0.5,
                1e-3);
    // Far above the table the delay stays one sample long.
    EXPECT_EQ(CTLParameter::PitchToDelayLength(6000.0f), 1.0f);
    SetRate(96000);
    EXPECT_NEAR(CTLParameter::PitchToDelayLength(4096.0f), 96000.0 / 44100 * 2 - 0.5, 1e-4);
}

TEST_F(CTLParameterTest, DecadeEnvelopeAndDampRates)
{
    SetRate(44100);
    const CTLParameter& t = g_TLParameter;
    // Read at input x 512: 10^(3m - 3).
    EXPECT_NEAR(At(t.decade, 1.0 * 512), 1.0, 1e-6);
    EXPECT_NEAR(At(t.decade, 0.0 * 512), 0.001, 1e-9);
    EXPECT_NEAR(At(t.decade, 2.0 * 512), 1000.0, 1e-3);
    EXPECT_NEAR(At(t.decade, 0.5 * 512), std::pow(10.0, -1.5), 1e-6);

    // x = 0 is 10 microseconds: the level jumps in one block.
    EXPECT_FLOAT_EQ(static_cast<float>(At(t.envelopeRate, 0)), 1.0f);
    // x = 64: 2^8.5 ms, 1 - exp(ln 0.2 / blocks) with blocks = T / 0.7256236 ms.
    EXPECT_NEAR(At(t.envelopeRate, 64), 0.0032205525, 1e-8);
    double dampSeconds = std::pow(2.0, 64 / 10.666666666666666) * 0.005;
    EXPECT_NEAR(At(t.dampRate, 64), std::exp(std::log(0.2) / (dampSeconds * 441.0)), 1e-6);

    EXPECT_NEAR(At(t.atanSquare, 4096), std::pow(std::atan(M_PI / 2), 2), 1e-6);
    EXPECT_NEAR(At(t.period660, 4096), 660.0 / 20480.0, 1e-7);
    EXPECT_NEAR(At(t.period660, 0), 33.0, 1e-5);
}

TEST(CTLParameterBreakpoints, Interpolation)
{
    const double xs[] = {0.0, 0.5, 1.0, 2.0};
    const double ys[] = {4.0, 2.0, 2.0, 6.0};
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(0.5, xs, ys, 4), 2.0f);
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(0.25, xs, ys, 4), 3.0f);
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(1.5, xs, ys, 4), 4.0f);
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(-0.5, xs, ys, 4), 6.0f);  // first piece extended
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(9.0, xs, ys, 4), 6.0f);
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(0.3, xs, ys, 1), 4.0f);
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(0.3, xs, ys, 0), 0.0f);
    // A piece of zero width does not divide by zero.
    const double same[] = {1.0, 1.0, 2.0};
    EXPECT_EQ(CTLParameter::InterpolateBreakpoints(1.0, same, ys, 3), 2.0f);

    const CTLParameter& t = g_TLParameter;
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsA, 0.0f), 51.0, 1e-5);
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsA, 512.0f), 16.0, 1e-4);
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsA, 0.355f * 1024), 41.5, 1e-3);
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsB, 1024.0f), 1.36, 1e-6);
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsC, 0.79f * 1024), 19.2, 1e-3);
    EXPECT_NEAR(CTLBase::Evaluate(t.breakpointsD, 0.8f * 1024), 9.0, 0.03);
}

// Roots of z^2 - a1 z - a2 (the section feeds back a1 y[n-1] + a2 y[n-2]).
bool Stable(double a1, double a2)
{
    std::complex<double> d = std::sqrt(std::complex<double>(a1 * a1 + 4 * a2, 0));
    return std::abs((a1 + d) / 2.0) < 1.0 && std::abs((a1 - d) / 2.0) < 1.0;
}

// DC gain of a section g (x + 2x1 + x2) + a1 y1 + a2 y2, with the error
// that float coefficients near a1 = 2, a2 = -1 cannot avoid: the poles'
// distance from 1 is resolved to a few float steps only.
struct Dc {
    double gain;
    double resolution;
};
Dc LowpassDc(double g, double a1, double a2)
{
    double margin = 1.0 - a1 - a2;
    return {4.0 * g / margin, 4.0 * 2.4e-7 / margin};
}

TEST_F(CTLParameterTest, LowpassRowsHaveUnityDcGainAtEveryRate)
{
    const CTLParameter& t = g_TLParameter;
    for (int rate : kRates) {
        SetRate(rate);
        double worst = 0.0;
        for (double y = 0.0; y <= 4096.0; y += 0.75) {
            Dc lp2 = LowpassDc(At(t.lp2Gain, y), At(t.lp2A1, y), At(t.lp2A2, y));
            Dc s1 = LowpassDc(At(t.lp4Gain1, y), At(t.lp4A1Sec1, y), At(t.lp4A2Sec1, y));
            Dc s2 = LowpassDc(At(t.lp4Gain2, y), At(t.lp4A1Sec2, y), At(t.lp4A2Sec2, y));
            double g = At(t.onePoleGain, y), p = At(t.onePolePole, y);
            ASSERT_NEAR(lp2.gain, 1.0, 1e-4 + lp2.resolution) << rate << " " << y;
            ASSERT_NEAR(s1.gain * s2.gain, 1.0, 1e-4 + s1.resolution + s2.resolution)
                << rate << " " << y;
            ASSERT_NEAR(g / (1.0 - p), 1.0, 1e-4 + 1.2e-7 / (1.0 - p)) << rate << " " << y;
            if (lp2.resolution < 1e-5)
                worst = std::max(worst, std::fabs(lp2.gain - 1.0));
        }
        EXPECT_LT(worst, 1e-4) << rate;
    }
}

TEST_F(CTLParameterTest, RowsStayStableBelowNyquist)
{
    const CTLParameter& t = g_TLParameter;
    for (int rate : kRates) {
        SetRate(rate);
        for (double y = 0.0; y <= 4096.0; y += 0.5) {
            ASSERT_TRUE(Stable(At(t.lp2A1, y), At(t.lp2A2, y))) << rate << " " << y;
            ASSERT_TRUE(Stable(At(t.hp2A1, y), At(t.hp2A2, y))) << rate << " " << y;
            ASSERT_TRUE(Stable(At(t.lp4A1Sec1, y), At(t.lp4A2Sec1, y))) << rate << " " << y;
            ASSERT_TRUE(Stable(At(t.lp4A1Sec2, y), At(t.lp4A2Sec2, y))) << rate << " " << y;
            ASSERT_TRUE(Stable(At(t.hp4A1Sec1, y), At(t.hp4A2Sec1, y))) << rate << " " << y;
            ASSERT_TRUE(Stable(At(t.hp4A1Sec2, y), At(t.hp4A2Sec2, y))) << rate << " " << y;
            ASSERT_LT(std::fabs(At(t.onePolePole, y)), 1.0);
            ASSERT_LT(std::fabs(At(t.allpass, y)), 1.0);
            ASSERT_TRUE(std::isfinite(At(t.onePoleTan, y)));
        }
        // Every designed frequency stops at 0.45 of the rate: where the rows
        // would reach beyond it, their top is flat at that frequency.
        double w = M_PI * std::min(20480.0, 0.45 * rate) / rate;
        double tn = std::tan(w);
        EXPECT_NEAR(At(t.lp2Gain, 4096), tn * tn / (1 + 2 * 0.707106781 * tn + tn * tn), 1e-5)
            << rate;
        EXPECT_NEAR(At(t.cosine, 4096), std::cos(2 * w), 1e-5) << rate;
        EXPECT_NEAR(At(t.twoCosine, 4096), 2 * std::cos(2 * w), 1e-5) << rate;
        EXPECT_NEAR(At(t.decay, 4096), std::exp(-w), 1e-6) << rate;
    }
}

TEST_F(CTLParameterTest, HighpassRowsBlockDcAndPassNyquist)
{
    SetRate(48000);
    const CTLParameter& t = g_TLParameter;
    for (double y = 0.0; y <= 4096.0; y += 64.0) {
        // z = -1: gain x (1 - (-2) + 1) / (1 + a1 - a2) for x - 2x1 + x2.
        double g = At(t.hp2Gain, y), a1 = At(t.hp2A1, y), a2 = At(t.hp2A2, y);
        EXPECT_NEAR(4.0 * g / (1.0 + a1 - a2), 1.0, 1e-4) << y;
        double g1 = At(t.hp4Gain1, y), g2 = At(t.hp4Gain2, y);
        double n1 = 1.0 + At(t.hp4A1Sec1, y) - At(t.hp4A2Sec1, y);
        double n2 = 1.0 + At(t.hp4A1Sec2, y) - At(t.hp4A2Sec2, y);
        EXPECT_NEAR(16.0 * g1 * g2 / (n1 * n2), 1.0, 1e-4) << y;
    }
}

} // namespace
