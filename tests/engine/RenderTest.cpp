#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include "RenderFixture.h"

using namespace render_fixture;

namespace {

double Rms(const std::vector<float>& x, size_t from)
{
    double sum = 0.0;
    for (size_t n = from; n < x.size(); ++n)
        sum += static_cast<double>(x[n]) * x[n];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

// Magnitude spectrum of x[from .. from + n) under a 4-term Blackman-Harris
// window (side lobes below -92 dB), n a power of two.
std::vector<double> Spectrum(const std::vector<float>& x, size_t from, size_t n)
{
    std::vector<std::complex<double>> a(n);
    for (size_t k = 0; k < n; ++k) {
        const double p = 2.0 * M_PI * static_cast<double>(k) / static_cast<double>(n);
        const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        a[k] = x[from + k] * w;
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2.0 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
    std::vector<double> mag(n / 2);
    for (size_t k = 0; k < n / 2; ++k)
        mag[k] = std::abs(a[k]);
    return mag;
}

struct RateGuard {
    ~RateGuard()
    {
        g_GlobalData.blockSize = 32;
        UseSampleRate(44100);
    }
};

} // namespace

TEST(Render, SineAtNote69Plays440HzAtEveryRateAndDivider)
{
    RateGuard guard;
    for (int rate : {44100, 48000, 96000}) {
        UseSampleRate(rate);
        for (int divider = 0; divider <= 2; ++divider) {
            auto e = MakeEngine(1);
            SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out, divider);
            StartVoice(*e, 0, 0, 0.0f);
            const auto out = Render(*e, rate * 3 / 2);
            const double f = ZeroCrossingFrequency(out, static_cast<size_t>(rate / 10), rate);
            EXPECT_NEAR(f, 440.0, 0.05) << "rate " << rate << " divider " << divider;
            EXPECT_GT(Rms(out, static_cast<size_t>(rate / 10)), 0.05);
            if (divider == 1) {
                // Every second frame is the mean of its neighbours.
                for (size_t n = 20000; n < 20064; n += 2)
                    ASSERT_NEAR(out[n], 0.5f * (out[n - 1] + out[n + 1]), 1e-6f) << n;
            }
        }
    }
}

TEST(Render, DividerBeyondTwoActsAsAQuarter)
{
    // Cell 272 written by an assigned controller can hold anything; the
    // render reads 0..2 and stays inside the block.
    for (int cell : {9, 31, -3}) {
        auto e = MakeEngine(1);
        SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out, cell);
        StartVoice(*e, 0, 0, 0.0f);
        const auto out = Render(*e, 44100);
        EXPECT_NEAR(ZeroCrossingFrequency(out, 4410, 44100.0), 440.0, 0.05) << cell;
        if (cell > 0) {
            // At a quarter rate three of every four frames are interpolated:
            // the second difference vanishes inside each group.
            const float a = out[20001] - out[20000], b = out[20002] - out[20001];
            EXPECT_NEAR(a, b, 1e-6f) << cell;
        }
    }
}

TEST(Render, BandLimitedSawHasItsAliasesFarBelowTheFundamental)
{
    auto e = MakeEngine(1);
    SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out);
    e->data.SetPartI(0, 155, 0);  // sawtooth
    StartVoice(*e, 0, 0, NotePitch(1000.0));
    const size_t n = 65536, from = 4410;
    const auto out = Render(*e, static_cast<int>(from + n));
    const double f0 = ZeroCrossingFrequency(out, from, 44100.0);
    ASSERT_NEAR(f0, 1000.0, 0.05);

    const auto mag = Spectrum(out, from, n);
    const double binHz = 44100.0 / static_cast<double>(n);
    const size_t fundamental = static_cast<size_t>(std::lround(f0 / binHz));
    double peak = 0.0;
    for (size_t k = fundamental - 3; k <= fundamental + 3; ++k)
        peak = std::max(peak, mag[k]);
    // Everything that is not a harmonic (nor the window's main lobe around
    // one, nor DC) is alias or noise.
    double worst = 0.0;
    for (size_t k = 16; k < mag.size(); ++k) {
        const double h = static_cast<double>(k) * binHz / f0;
        if (std::fabs(h - std::round(h)) * f0 / binHz <= 6.0)
            continue;
        worst = std::max(worst, mag[k]);
    }
    EXPECT_LT(20.0 * std::log10(worst / peak), -60.0);
    // The band-limited table keeps its upper harmonics: the 10th is there.
    const size_t tenth = static_cast<size_t>(std::lround(10.0 * f0 / binHz));
    EXPECT_GT(20.0 * std::log10(mag[tenth] / peak), -30.0);
}

TEST(Render, LowpassType4AttenuatesAnOctaveAboveCutoffByTwelveDecibels)
{
    // Cutoff value c gives 20 × 2^(10c) Hz: 1 kHz. The two-pole Butterworth
    // (bilinear, pre-warped) gives 1 / sqrt(1 + (tan(π f/sr) / tan(π fc/sr))^4)
    // at 2 kHz: -12.39 dB, and the output DC blocker takes 0.10 dB off the
    // 250 Hz reference, so the ratio is -12.29 dB.
    auto level = [](double hz) {
        auto e = MakeEngine(1);
        SetUpPart(*e, 0, Only(kOsc1 | kFilter1) | kDrive, kFilter1Out);
        e->data.SetPartI(0, 229, 4);
        e->data.SetPartI(0, 250, kOsc1Out);
        SetSmoothed(e->data, 0, 16, static_cast<float>(std::log2(50.0) / 10.0));
        StartVoice(*e, 0, 0, NotePitch(hz));
        return Rms(Render(*e, 44100), 4410);
    };
    const double pass = level(250.0), stop = level(2000.0);
    EXPECT_GT(pass, 0.05);
    EXPECT_NEAR(20.0 * std::log10(stop / pass), -12.29, 0.3);
}

TEST(Render, ANaNInAVoiceFilterIsGoneAfterOneBlock)
{
    auto e = MakeEngine(1);
    SetUpPart(*e, 0, Only(kOsc1 | kFilter1) | kDrive, kFilter1Out);
    e->data.SetPartI(0, 229, 4);
    e->data.SetPartI(0, 250, kOsc1Out);
    SetSmoothed(e->data, 0, 16, 0.5f);
    StartVoice(*e, 0, 0, 0.0f);
    Render(*e, 32 * 4);
    for (int k = 0; k < 6; ++k)
        e->data.SetAudioF(0, 121 + k, std::numeric_limits<float>::quiet_NaN());
    Render(*e, 32);
    const std::vector<float> after = Render(*e, 32 * 8);
    for (float x : after)
        ASSERT_TRUE(std::isfinite(x));
    EXPECT_GT(Rms(after, 0), 0.01);
}

TEST(Render, QuietReleasedVoiceIsFreedAfterTenBlocksWhileAnotherSounds)
{
    auto e = MakeEngine(2);
    SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out);
    StartVoice(*e, 0, 0, -10.0f);  // far below the pitch range: no increment, silent
    StartVoice(*e, 1, 0, 0.0f);    // 440 Hz, loud
    CEngineData& d = e->data;
    Render(*e, 32 * 20);
    // A quiet voice with its gate open is never freed.
    EXPECT_EQ(d.voiceState[0], 0);
    EXPECT_EQ(d.voiceState[1], 0);

    d.SetControlI(0, CEngineData::kVcGate, 0);
    d.SetControlI(1, CEngineData::kVcGate, 0);
    for (int block = 1; block <= 10; ++block) {
        Render(*e, 32);
        EXPECT_EQ(d.voiceState[0], block);
        // The released voice that still sounds keeps counting from zero.
        EXPECT_EQ(d.voiceState[1], 0);
    }
    EXPECT_EQ(d.voiceState[0], CEngineData::kVoiceFree);
    Render(*e, 32 * 3);
    EXPECT_EQ(d.voiceState[0], CEngineData::kVoiceFree);
}

TEST(Render, HardSyncRestartsOscillatorsTwoAndThreeWithTheWrappedPhase)
{
    for (bool unison : {false, true}) {
        auto e = MakeEngine(1);
        CEngineData& d = e->data;
        SetUpPart(*e, 0, Only(kOsc1 | kOsc2 | kOsc3) | kDrive, kOsc1Out);
        d.SetPartI(0, 166, Code(119));
        d.SetPartI(0, 175, Code(120));
        d.SetPartI(0, 356, unison ? 1 : 0);
        StartVoice(*e, 0, 0, 0.0f);
        constexpr uint32_t kCycle = 1u << 25;
        const uint32_t inc1 = 1000000, inc2 = 333333, inc3 = 77777;
        // Oscillator 1 wraps on its fifth step (sample 4), landing on 100.
        const int phase1 = unison ? 303 : 118;
        d.SetAudioI(0, 1, static_cast<int32_t>(inc1));
        d.SetAudioI(0, 7, static_cast<int32_t>(inc2));
        d.SetAudioI(0, 13, static_cast<int32_t>(inc3));
        d.SetAudioI(0, phase1, static_cast<int32_t>(kCycle - 5 * inc1 + 100));
        d.SetAudioI(0, 119, 12345);
        d.SetAudioI(0, 120, 54321);
        std::vector<float> out(64);
        e->RenderBlock(out.data());
        EXPECT_EQ(d.AudioI(0, phase1), static_cast<int32_t>(100 + 27 * inc1));
        // Set to 100 at sample 4, then 28 steps of their own (samples 4..31).
        EXPECT_EQ(d.AudioI(0, 119), static_cast<int32_t>(100 + 28 * inc2)) << unison;
        EXPECT_EQ(d.AudioI(0, 120), static_cast<int32_t>(100 + 28 * inc3)) << unison;
    }
}

TEST(Render, NoiseFollowsItsSeedsAndPinkFilters)
{
    RateGuard guard;
    g_GlobalData.blockSize = 1;  // one sample per block
    auto e = MakeEngine(2);
    CEngineData& d = e->data;
    SetUpPart(*e, 0, Only(kPink) | kDrive, kOsc1Out);  // the output stage rewrites its cell
    StartVoice(*e, 0, 0, 0.0f);
    StartVoice(*e, 1, 0, 0.0f);
    // Start-up seeds (486723 + v × 1793354217 mod 2^32, checked with the
    // engine's construction) advance by × 69069.
    float frame[2];
    e->RenderBlock(frame);
    // seed × 69069: 3552699815 (as signed -742267481) and 1878297148.
    EXPECT_EQ(e->noiseSeed[0], 3552699815u);
    EXPECT_EQ(e->noiseSeed[1], 1878297148u);
    const double white0 = -742267481.0 / 2147483648.0, white1 = 1878297148.0 / 2147483648.0;
    EXPECT_NEAR(d.AudioF(0, 157), white0, 1e-7);
    EXPECT_NEAR(d.AudioF(1, 157), white1, 1e-7);
    EXPECT_NEAR(d.AudioF(0, 0), white0 / 2147483648.0, 1e-16);
    // The six one-pole filters start at zero: their sum is white × Σ gains.
    EXPECT_NEAR(d.AudioF(0, 156), white0 * 0.565534, 1e-6);
    EXPECT_NEAR(d.AudioF(1, 156), white1 * 0.565534, 1e-6);

    e->ResetVoiceNoise(1);
    e->RenderBlock(frame);
    EXPECT_EQ(e->noiseSeed[1], 3552699815u);
    EXPECT_NEAR(d.AudioF(1, 156), white0 * 0.565534, 1e-6);
}

TEST(Render, FmOffsetOfAnUnboundedSourceStaysDefined)
{
    for (float source : {1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity()}) {
        auto e = MakeEngine(1);
        CEngineData& d = e->data;
        SetUpPart(*e, 0, Only(kOsc2 | kOsc3) | kDrive, kOsc2Out);
        d.SetPartI(0, 238, Code(357));  // a cell nothing else writes
        d.SetPartI(0, 239, Code(357));
        StartVoice(*e, 0, 0, 0.0f);
        d.SetAudioF(0, 357, source);
        d.SetAudioI(0, 7, 300000);
        d.SetAudioI(0, 13, 300000);
        d.SetAudioF(0, 11, 5e9f);
        d.SetAudioF(0, 17, 5e9f);
        std::vector<float> out(64);
        e->RenderBlock(out.data());
        EXPECT_TRUE(std::isfinite(d.AudioF(0, 154))) << source;
        EXPECT_TRUE(std::isfinite(d.AudioF(0, 155))) << source;
        for (float s : out)
            EXPECT_TRUE(std::isfinite(s));
    }
}

TEST(Render, ModuleOffMaskSkipsEachModuleAndLoadingPartsAreNotRendered)
{
    // Output cells of the modules, each with its mask bit.
    struct Module {
        uint32_t bit;
        int cell;
    };
    const Module modules[] = {{kOsc1, 153}, {kOsc2, 154}, {kOsc3, 155}, {kRing, 158}, {kPink, 156},
                              {kMixer1, 159}, {kShaper, 162}, {kWaveguide, 168}, {kFilter1, 165},
                              {kSubPulse, 176}, {kFilter2, 166}, {kFormant, 167}, {kSpectrum, 201},
                              {kTerrain, 317}};
    constexpr float kSentinel = 0.123f;
    for (bool allOff : {true, false}) {
        auto e = MakeEngine(1);
        CEngineData& d = e->data;
        SetUpPart(*e, 0, allOff ? ~0u : 0u, Code(357));
        StartVoice(*e, 0, 0, 0.0f);
        for (const Module& m : modules) {
            d.SetAudioF(0, m.cell, kSentinel);
            // Every module reads oscillator 1, which runs at 440 Hz.
            for (int id : {237, 240, 241, 242, 243, 244, 245, 246, 248, 250, 253, 256, 257})
                d.SetPartI(0, id, kOsc1Out);
        }
        d.SetAudioI(0, 1, 334772);
        d.SetAudioF(0, 19, 0.5f);
        d.SetAudioF(0, 37, 0.5f);
        d.SetAudioF(0, 43, 1024.0f);
        d.SetAudioF(0, 65, 1024.0f);
        d.SetAudioF(0, 47, 0.5f);
        d.SetAudioF(0, 69, 0.5f);
        d.SetAudioF(0, 59, 1.0f);
        d.SetAudioF(0, 81, 1.0f);
        d.SetAudioF(0, 29, 0.5f);
        std::vector<float> out(64);
        e->RenderBlock(out.data());
        e->RenderBlock(out.data());
        for (const Module& m : modules) {
            if (allOff)
                EXPECT_EQ(d.AudioF(0, m.cell), kSentinel) << m.cell;
            else
                EXPECT_NE(d.AudioF(0, m.cell), kSentinel) << m.cell;
        }
    }

    auto e = MakeEngine(1);
    CEngineData& d = e->data;
    SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out);
    StartVoice(*e, 0, 0, 0.0f);
    Render(*e, 32 * 4);
    d.SetControlI(0, CEngineData::kVcGate, 0);
    e->partLoading[0].store(1);
    const int32_t phase = d.AudioI(0, 118);
    const auto silent = Render(*e, 32 * 12);
    EXPECT_EQ(d.AudioI(0, 118), phase);
    EXPECT_EQ(d.voiceState[0], 0);  // not counted while the part loads
    for (float s : silent)
        EXPECT_EQ(s, 0.0f);
}

TEST(Render, FrequencyModulationOffsetsTheReadingButNotTheStoredPhase)
{
    auto e = MakeEngine(1);
    CEngineData& d = e->data;
    SetUpPart(*e, 0, Only(kOsc1 | kOsc2) | kDrive, Code(356));  // the output stage rewrites its cell
    d.SetPartI(0, 156, 612);        // oscillator 1 in pulse form
    d.SetPartI(0, 238, Code(357));  // oscillator 2 modulated by a constant 1.0
    StartVoice(*e, 0, 0, 0.0f);
    d.SetAudioF(0, 357, 1.0f);
    d.SetAudioI(0, 1, 100000);
    d.SetAudioI(0, 3, 1 << 24);     // pulse offset: half a cycle
    d.SetAudioI(0, 7, 200000);
    d.SetAudioF(0, 11, 8388608.0f); // a quarter cycle
    d.SetAudioF(0, 12, 1.0f);       // the depth moves after each use
    d.SetAudioI(0, 115, CEngineData::OscTableRef(2, 0));  // the sine
    d.SetAudioI(0, 116, CEngineData::OscTableRef(2, 0));
    std::vector<float> out(64);
    e->RenderBlock(out.data());
    constexpr double kCycle = 33554432.0;
    const double ph1 = d.AudioI(0, 118), ph2 = d.AudioI(0, 119);
    EXPECT_EQ(d.AudioI(0, 119), 32 * 200000);
    EXPECT_FLOAT_EQ(d.AudioF(0, 11), 8388608.0f + 32.0f);
    // Last use of the depth was 8388608 + 31.
    EXPECT_NEAR(d.AudioF(0, 154), std::sin(2.0 * M_PI * (ph2 + 8388608.0 + 31.0) / kCycle), 2e-4);
    // Pulse: the reading half a cycle on minus the reading at the phase.
    EXPECT_NEAR(d.AudioF(0, 153), -2.0 * std::sin(2.0 * M_PI * ph1 / kCycle), 4e-4);
}
