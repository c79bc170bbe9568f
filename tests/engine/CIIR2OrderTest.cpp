#include "engine/CIIR2Order.h"
#include "engine/FastCos.h"
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace {
constexpr double kPi = std::numbers::pi;

// Steady-state peak of the section's answer to a sine of w radians/sample.
// Like the engine, the caller sets the section once per 32-sample block: the
// glide keeps adding its deltas until the next Set.
double SineGain(CIIR2Order& f, double w, const std::function<void(CIIR2Order&)>& set = {},
                int settle = 20000, int measure = 4000)
{
    double peak = 0.0;
    for (int n = 0; n < settle + measure; ++n) {
        if (set && n % 32 == 0)
            set(f);
        const float y = f.Process(static_cast<float>(std::sin(w * n)));
        if (n >= settle)
            peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    return peak;
}
} // namespace

TEST(FastCos, MatchesCosineOverItsDomain)
{
    for (int i = 0; i < 20000; ++i) {
        const float x = static_cast<float>(-kPi / 2 + 3 * kPi * i / 20000.0);
        EXPECT_NEAR(FastCos(x), std::cos(static_cast<double>(x)), 2e-6) << x;
    }
    EXPECT_NEAR(FastCos(0.0f), 1.0f, 1e-7);
    EXPECT_NEAR(FastCos(static_cast<float>(kPi)), -1.0f, 1e-6);
}

TEST(CIIR2Order, ConstructedAsPassThrough)
{
    CIIR2Order f;
    for (float x : {0.5f, -0.25f, 1.0f, 0.0f})
        EXPECT_NEAR(f.Process(x), x, 1e-6);
}

TEST(CIIR2Order, BiquadLowpassHasUnitDcGainAndStopsHighFrequencies)
{
    // A textbook lowpass at 1 kHz (44.1 kHz, Q = 0.707) loaded directly.
    const double w0 = 2 * kPi * 1000 / 44100, alpha = std::sin(w0) / (2 * 0.707);
    const double a0 = 1 + alpha, cw = std::cos(w0);
    auto make = [&] {
        CIIR2Order f;
        f.c[0] = static_cast<float>(-2 * cw / a0);
        f.c[1] = static_cast<float>((1 - alpha) / a0);
        f.c[2] = static_cast<float>((1 - cw) / 2 / a0);
        f.c[3] = static_cast<float>((1 - cw) / a0);
        f.c[4] = f.c[2];
        return f;
    };
    CIIR2Order dc = make();
    float y = 0.0f;
    for (int n = 0; n < 20000; ++n)
        y = dc.Process(1.0f);
    EXPECT_NEAR(y, 1.0f, 1e-3);

    CIIR2Order hi = make();
    EXPECT_LT(SineGain(hi, 2 * kPi * 15000 / 44100), 0.01);
    CIIR2Order pass = make();
    EXPECT_NEAR(SineGain(pass, 2 * kPi * 100 / 44100), 1.0, 0.01);
}

TEST(CIIR2Order, CoefficientsGlideToTargetsOverOneBlock)
{
    CIIR2Order f;
    const float q = 0.9f, theta = 2.0f;
    f.SetCoefficientsA(0.5f, theta, q);
    const double a1 = 2 * q * std::cos(theta), a2 = q * q, g = (1 - 0.98 * q * q) * 0.5;
    for (int n = 0; n < 16; ++n)
        f.Process(0.0f);
    EXPECT_NEAR(f.c[0], a1 / 2, 1e-5); // half way after half a block
    for (int n = 0; n < 16; ++n)
        f.Process(0.0f);
    EXPECT_NEAR(f.c[0], a1, 1e-5);
    EXPECT_NEAR(f.c[1], a2, 1e-5);
    EXPECT_NEAR(f.c[2], 1.0, 1e-5);
    EXPECT_NEAR(f.c[3], 0.0, 1e-6);
    EXPECT_NEAR(f.c[4], -q, 1e-5);
    EXPECT_NEAR(f.c[5], g, 1e-5);
}

TEST(CIIR2Order, ResonatorPeaksAtItsPoleAngle)
{
    // Pole angle phi = pi - theta; the gain there is g / (1 - q).
    const float q = 0.9f;
    const double phi = 0.3;
    auto set = [&](CIIR2Order& s) { s.SetCoefficientsA(1.0f, static_cast<float>(kPi - phi), q); };
    CIIR2Order f;
    EXPECT_NEAR(SineGain(f, phi, set), (1 - 0.98 * 0.81) / 0.1, 0.02);
    CIIR2Order off;
    EXPECT_LT(SineGain(off, 2.5, set), 0.2);
}

TEST(CIIR2Order, NotchKeepsDcRemovesItsFrequencyAndOpensAtHighQ)
{
    const float theta = 1.0f;
    auto set = [&](CIIR2Order& s) { s.SetCoefficientsB(1.0f, theta, 0.9f); };
    CIIR2Order f;
    float y = 0.0f;
    for (int n = 0; n < 20000; ++n) {
        if (n % 32 == 0)
            set(f);
        y = f.Process(1.0f);
    }
    EXPECT_NEAR(y, 1.0f, 1e-3);
    CIIR2Order g;
    EXPECT_LT(SineGain(g, theta, set), 0.01);

    CIIR2Order open;
    open.SetCoefficientsA(1.0f, 1.0f, 0.5f); // move away from pass-through first
    for (int n = 0; n < 32; ++n)
        open.Process(0.0f);
    open.SetCoefficientsA(1.0f, 1.0f, 0.5f); // settled: no glide left
    open.SetCoefficientsB(7.0f, theta, 0.999f);
    for (int n = 0; n < 32; ++n)
        open.Process(0.0f);
    EXPECT_NEAR(open.c[0], 0.0f, 1e-6);
    EXPECT_NEAR(open.c[1], 0.0f, 1e-6);
    EXPECT_NEAR(open.c[2], 1.0f, 1e-6);
    // The notch design leaves the input gain where the resonator put it.
    EXPECT_NEAR(open.c[5], 1 - 0.98 * 0.25, 1e-6);
}
