#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/CTLWaves.h"
#include "platform/CGlobalData.h"

namespace {

using Segment = CTLBase::Segment;
constexpr double kTwoPi = 6.283185307179586;

// Reads a wave the way an oscillator does: segment = x >> 16.
float ReadAt(const Segment* table, uint32_t x)
{
    const Segment& s = table[x >> 16];
    return float(x) * s.slope + s.offset;
}

std::vector<double> Samples(const Segment* table, int n)
{
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i)
        out[i] = ReadAt(table, uint32_t(i) << 16);
    return out;
}

// Magnitude of every harmonic 0..n/2 of one cycle.
std::vector<double> Spectrum(const std::vector<double>& s)
{
    const int n = int(s.size());
    std::vector<double> mag(n / 2 + 1);
    for (int h = 0; h <= n / 2; ++h) {
        std::complex<double> sum;
        for (int i = 0; i < n; ++i)
            sum += s[i] * std::polar(1.0, -kTwoPi * h * i / n);
        mag[h] = std::abs(sum) * 2.0 / n;
    }
    return mag;
}

double HighestAbove(const std::vector<double>& mag, int limit)
{
    double top = 0.0;
    for (size_t h = limit + 1; h < mag.size(); ++h)
        top = std::max(top, mag[h]);
    return top;
}

class TLWavesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_GlobalData.sampleRate = 44100;
        waves = std::make_unique<CTLWaves>();
        waves->Init();
    }
    // A program record with every spectral slider and filter point at v.
    std::vector<float> Record(float slider, float curve)
    {
        std::vector<float> r(2272, 0.0f);
        for (int i = 0; i < 80; ++i)
            r[1840 + i] = r[1920 + i] = slider;
        for (int i = 0; i < 256; ++i)
            r[768 + i] = curve;
        return r;
    }
    std::unique_ptr<CTLWaves> waves;
};

TEST(TLWavesTables, SineAndBasisTables)
{
    auto w = std::make_unique<CTLWaves>();
    w->Init();
    double worst = 0.0;
    for (int h = 1; h <= 256; ++h)
        for (int n = 0; n < 512; ++n) {
            const double e = std::sin(h * kTwoPi * n / 512.0);
            worst = std::max(worst, std::fabs(CTLWaves::sineByHarmonic[h - 1][n] - e));
            ASSERT_EQ(CTLWaves::sineBySample[n][h - 1], CTLWaves::sineByHarmonic[h - 1][n]);
        }
    EXPECT_LT(worst, 1e-6);

    for (int h : {1, 5, 128})
        for (int n : {0, 17, 100, 255}) {
            const double s = std::sin(h * kTwoPi * n / 256.0);
            const double w2 = std::pow(std::sin(kTwoPi * n / 512.0), 2);
            EXPECT_NEAR(CTLWaves::basisSine[h - 1][n], s, 1e-6);
            EXPECT_NEAR(CTLWaves::basisWindowedSine[h - 1][n], s * w2, 1e-6);
            EXPECT_NEAR(CTLWaves::basisPhaseModSine[h - 1][n],
                        std::sin(h * kTwoPi * n / 256.0 + kTwoPi * std::sin(kTwoPi * n / 256.0)),
                        1e-5);
        }

    // Walsh functions: +-1, sequency h (h sign changes per cycle) and
    // mutually orthogonal over the 256 samples.
    for (int h = 1; h <= 128; ++h) {
        int changes = 0;
        for (int n = 0; n < 256; ++n) {
            const float v = CTLWaves::basisWalsh[h - 1][n];
            ASSERT_TRUE(v == 1.0f || v == -1.0f);
            if (n > 0 && v != CTLWaves::basisWalsh[h - 1][n - 1])
                ++changes;
        }
        EXPECT_EQ(changes, h) << "sequency " << h;
        for (int g = 1; g < h; g += 7) {
            double dot = 0.0;
            for (int n = 0; n < 256; ++n)
                dot += CTLWaves::basisWalsh[h - 1][n] * CTLWaves::basisWalsh[g - 1][n];
            EXPECT_EQ(dot, 0.0) << h << " " << g;
        }
    }
    for (auto [x, sign] : {std::pair{0.0f, 1}, {0.3f, -1}, {0.5f, 1}, {0.8f, -1}})
        EXPECT_EQ(CTLWaves::Walsh(3, x), sign) << x;
}

TEST(TLWavesTables, LevelLaw)
{
    EXPECT_NEAR(CTLWaves::LevelLaw(127.0f), 1.0, 1e-6);
    EXPECT_NEAR(CTLWaves::LevelLaw(64.0f), 0.032494587, 1e-8);
    EXPECT_NEAR(CTLWaves::LevelLaw(3.0f), 0.0011772431, 1e-9);
    for (float off : {2.0f, 0.0f}) EXPECT_EQ(CTLWaves::LevelLaw(off), 0.0f);
    EXPECT_GT(CTLWaves::LevelLaw(2.01f), 0.001f);
}

TEST_F(TLWavesTest, BandLevelMapAndOffsets)
{
    const int expected[][2] = {{0, 0},   {1, 2},   {3, 4},   {7, 6},   {8, 7},    {20, 9},
                               {21, 10}, {63, 12}, {64, 13}, {85, 14}, {128, 15}, {255, 15}};
    for (auto& e : expected)
        EXPECT_EQ(CTLWaves::bandLevelMap[e[0]], uint32_t(e[1]) * 4096u) << "band " << e[0];
    for (int b = 1; b < 256; ++b) {
        const int level = int(CTLWaves::bandLevelMap[b] / 4096);
        EXPECT_LT(CTLWaves::kHarmonicLimit[level] * b, 256) << "band " << b;
    }
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(CTLWaves::spectrumRegionOffsets[k], uint32_t(k) * 2048u);

    // Slots 5..63 play the basic sine; the readers pick the level by band.
    EXPECT_EQ(waves->waves[40], waves->waves[2]);
    EXPECT_EQ(waves->WaveForBand(0, 130), waves->waves[0] + 15 * 512);
    EXPECT_EQ(waves->OscillatorWave(3, 1, 9, 1), waves->oscillatorWaves[1][3][2]);
    EXPECT_EQ(waves->waves[CTLWaves::kSlotSpectrumB + 4], waves->spectrumWavesB[4][0]);
}

TEST_F(TLWavesTest, BasicWaves)
{
    // Every level of the sine is sin x, also between the samples.
    for (int k = 0; k < 16; ++k)
        for (uint32_t x = 0; x < (1u << 25); x += 40503)
            ASSERT_NEAR(ReadAt(waves->waves[2] + 512 * k, x), std::sin(kTwoPi * x / 33554432.0),
                        2e-5);

    const Segment* saw = waves->waves[0];
    const Segment* square = waves->waves[3];
    for (int n = 0; n < 512; ++n) {
        EXPECT_NEAR(ReadAt(saw, n << 16), 1.0 - (2.0 * n + 1.0) / 512.0, 1e-5);
        EXPECT_NEAR(ReadAt(square, n << 16), n <= 256 ? 0.75 : -0.75, 1e-6);
    }
    // The naive waves jump back up as a step, not as a one-sample ramp.
    EXPECT_EQ(saw[511].slope, 0.0f);
    EXPECT_EQ(square[511].slope, 0.0f);

    const Segment* parabola = waves->waves[1];
    EXPECT_NEAR(ReadAt(parabola, 0), -2.0 / 3.0, 0.01);
    EXPECT_NEAR(ReadAt(parabola, 256 << 16), 1.0 / 3.0, 0.01);
    for (int n = 0; n < 512; n += 31)
        EXPECT_NEAR(ReadAt(parabola + 15 * 512, n << 16), -0.5 * std::cos(kTwoPi * n / 512), 1e-5);
    // Level 15 of the others is the plain sine.
    for (int wave : {0, 3, 4})
        for (int n = 0; n < 512; n += 31)
            EXPECT_NEAR(ReadAt(waves->waves[wave] + 15 * 512, n << 16),
                        std::sin(kTwoPi * n / 512), 1e-5);

    // Band-limited levels hold no harmonic above their limit; the odd waves
    // hold no even harmonic; normalized waves peak at 1.
    for (int wave = 0; wave < 5; ++wave)
        for (int k = 0; k < 16; ++k) {
            if (k == 0 && (wave == 0 || wave == 3))
                continue;
            const auto s = Samples(waves->waves[wave] + 512 * k, 512);
            const auto mag = Spectrum(s);
            EXPECT_LT(HighestAbove(mag, CTLWaves::kHarmonicLimit[k]), 1e-5)
                << "wave " << wave << " level " << k;
            EXPECT_GT(mag[1], 0.1);
            if (wave >= 3) {
                for (int h = 2; h <= 256; h += 2)
                    ASSERT_LT(mag[h], 1e-5) << "wave " << wave << " level " << k << " h " << h;
            }
            double peak = 0.0;
            for (double v : s)
                peak = std::max(peak, std::fabs(v));
            if (wave != 1) {
                EXPECT_NEAR(peak, 1.0, 1e-5) << "wave " << wave << " level " << k;
            }
        }
    // Saw harmonics fall as 1/h.
    const auto mag = Spectrum(Samples(saw + 512 * 4, 512));
    EXPECT_NEAR(mag[3] / mag[1], 1.0 / 3.0, 1e-4);
}

TEST_F(TLWavesTest, EachWaveformOfTheListPlaysTheWaveItNames)
{
    // The list reads saw, parabola, square, triangle, sine. Level 1 keeps
    // enough harmonics to tell them apart: the square holds its level between
    // the edges, the triangle passes half its peak at an eighth of a cycle,
    // the sine sin(pi/4) there; neither the sine nor the triangle has a
    // third harmonic of the square's 1/3.
    auto at = [&](int waveform, int n) { return ReadAt(waves->OscillatorWave(0, 0, waveform, 0), n << 16); };
    EXPECT_GT(at(0, 10), 0.8);                       // falling saw starts high
    EXPECT_NEAR(at(1, 0), -2.0 / 3.0, 0.02);         // parabola
    EXPECT_NEAR(at(2, 64), at(2, 192), 0.05);        // square: flat top
    EXPECT_NEAR(at(3, 64), 0.5, 0.02);               // triangle
    EXPECT_NEAR(at(4, 64), std::sqrt(0.5), 1e-4);    // sine
    const auto third = [&](int waveform) {
        const auto mag = Spectrum(Samples(waves->OscillatorWave(0, 0, waveform, 0), 512));
        return mag[3] / mag[1];
    };
    EXPECT_NEAR(third(2), 1.0 / 3.0, 0.01);
    EXPECT_NEAR(third(3), 1.0 / 9.0, 0.01);
    EXPECT_LT(third(4), 1e-4);
}

TEST_F(TLWavesTest, UserWave)
{
    std::vector<float> sliders(80, 0.0f);
    // All sliders at 2.0 or below: silence.
    for (float& v : sliders)
        v = 2.0f;
    waves->BuildUserWave(sliders.data(), 2, 155);
    for (int k = 0; k < 16; ++k)
        for (int i = 0; i < 512; ++i)
            ASSERT_TRUE(waves->oscillatorWaves[0][2][k][i].slope == 0.0f &&
                        waves->oscillatorWaves[0][2][k][i].offset == 0.0f);

    // Slider 33 drives harmonics 33 and 34; slider 79 harmonics 247..254.
    std::fill(sliders.begin(), sliders.end(), 0.0f);
    sliders[33] = 127.0f;
    sliders[79] = 127.0f;
    sliders[0] = 127.0f;  // slider 0 does not sound
    waves->BuildUserWave(sliders.data(), 2, 163);
    auto mag = Spectrum(Samples(waves->oscillatorWaves[1][2][0], 512));
    EXPECT_GT(mag[33], 0.05);
    EXPECT_NEAR(mag[34], mag[33], 1e-4);
    for (int h = 247; h <= 254; ++h)
        EXPECT_NEAR(mag[h], mag[33], 1e-4) << h;
    for (int h : {1, 32, 35, 246, 255})
        EXPECT_LT(mag[h], 1e-5) << h;
    // Level 1 (192 harmonics) loses the top group.
    mag = Spectrum(Samples(waves->oscillatorWaves[1][2][1], 512));
    EXPECT_LT(HighestAbove(mag, 34), 1e-5);

    // Full sliders: every level band-limited and normalized.
    std::fill(sliders.begin(), sliders.end(), 127.0f);
    waves->BuildUserWave(sliders.data(), 15, 999);  // unknown id plays as oscillator 1
    for (int k = 0; k < 16; ++k) {
        mag = Spectrum(Samples(waves->oscillatorWaves[0][15][k], 512));
        EXPECT_LT(HighestAbove(mag, CTLWaves::kHarmonicLimit[k]), 1e-5) << k;
        // Harmonic 255 has no slider.
        EXPECT_GT(mag[std::min(CTLWaves::kHarmonicLimit[k], 254)], 0.001) << k;
    }
    // A part out of range builds nothing and touches nothing.
    waves->BuildUserWave(sliders.data(), 16, 155);
    waves->BuildUserWave(sliders.data(), -1, 155);
    EXPECT_EQ(waves->oscillatorWaves[0][0][0][0].offset, 0.0f);
}

TEST_F(TLWavesTest, ShapeWaveOutsideGeneratorsChangesNothing)
{
    std::vector<float> sliders(80, 127.0f);
    waves->BuildUserWave(sliders.data(), 4, 172);
    std::vector<Segment> before(&waves->oscillatorWaves[2][4][0][0],
                                &waves->oscillatorWaves[2][4][0][0] + 16 * 512);
    for (int index : {-3, 0, 4, 64, 65, 200})
        waves->BuildShapeWave(4, index, 172);
    EXPECT_EQ(std::memcmp(before.data(), waves->oscillatorWaves[2][4], sizeof(Segment) * 16 * 512),
              0);
    EXPECT_EQ(CTLWaves::ShapeToScratch(255, 64), 0.0f);
}

TEST_F(TLWavesTest, ShapeWaveSpectra)
{
    const auto& osc = waves->oscillatorWaves[0][7];
    auto magOf = [&](int index, int level) {
        waves->BuildShapeWave(7, index, 155);
        return Spectrum(Samples(osc[level], 512));
    };
    // Every generator stays inside each level's band and is normalized.
    for (int index = 5; index <= 63; ++index) {
        waves->BuildShapeWave(7, index, 155);
        for (int k : {0, 3, 9, 14}) {
            const auto mag = Spectrum(Samples(osc[k], 512));
            EXPECT_LT(HighestAbove(mag, CTLWaves::kHarmonicLimit[k]), 1e-4)
                << "index " << index << " level " << k;
            EXPECT_LT(mag[0], 1e-5) << "index " << index << " level " << k;  // no DC
        }
    }

    auto mag = magOf(5, 3);  // 1 / (h - 0.5)
    EXPECT_NEAR(mag[1] / mag[2], 3.0, 1e-3);
    EXPECT_NEAR(mag[1] / mag[10], 19.0, 1e-2);
    mag = magOf(8, 3);  // v = 3: 1 / (h - 3.5)
    EXPECT_NEAR(mag[4] / mag[1], 5.0, 1e-3);

    mag = magOf(17, 2);  // dB levels: 12, 0, -1, -3, ..., -22.5 at 16
    EXPECT_NEAR(mag[2] / mag[1], std::pow(10.0, -12.0 / 20), 1e-4);
    EXPECT_NEAR(mag[4] / mag[1], std::pow(10.0, -15.0 / 20), 1e-4);
    EXPECT_NEAR(mag[16] / mag[1], std::pow(10.0, -34.5 / 20), 1e-4);

    mag = magOf(20, 0);  // table S20: harmonic 9 silent, 3 the loudest
    EXPECT_LT(mag[9], 1e-5);
    EXPECT_NEAR(mag[14] / mag[3], 70.0 / 99.0, 1e-4);
    EXPECT_LT(HighestAbove(mag, 26), 1e-5);

    mag = magOf(28, 0);
    for (int h = 1; h <= 40; ++h) {
        const bool on = h == 3 || h == 7 || h == 9 || h == 11 || h == 13 || h == 17 || h == 19 ||
                        h == 23 || h == 29;
        EXPECT_EQ(mag[h] > 1e-3, on) << h;
    }

    mag = magOf(29, 0);
    for (int h : {3, 5, 9, 97, 251})
        EXPECT_NEAR(mag[h], mag[3], 1e-4) << h;
    for (int h : {1, 2, 15, 25, 99, 253})
        EXPECT_LT(mag[h], 1e-5) << h;

    mag = magOf(30, 0);  // composites (not 9, 128), 1 and 233, at 1/h
    EXPECT_NEAR(mag[4] / mag[1], 0.25, 1e-4);
    EXPECT_NEAR(mag[233] / mag[1], 1.0 / 233, 1e-4);
    for (int h : {2, 3, 9, 128, 251})
        EXPECT_LT(mag[h], 1e-5) << h;

    mag = magOf(26, 0);  // octaves at 1 / sqrt(h)
    EXPECT_NEAR(mag[64] / mag[1], 0.125, 1e-4);
    EXPECT_LT(mag[3], 1e-5);
    mag = magOf(27, 0);  // 1 at 0.5, then 3, 6, 12, ... at 1 / sqrt(h - 2)
    EXPECT_NEAR(mag[3] / mag[1], 2.0, 1e-4);
    EXPECT_NEAR(mag[6] / mag[1], 1.0, 1e-4);
    EXPECT_LT(mag[4], 1e-5);

    mag = magOf(45, 0);  // r = 1 - 2/11
    EXPECT_NEAR(mag[3] / mag[2], 9.0 / 11.0, 1e-4);
    mag = magOf(55, 0);  // v = 1: x1.4 up to harmonic 3, then x0.95
    EXPECT_NEAR(mag[2] / mag[1], 1.4, 1e-4);
    EXPECT_NEAR(mag[3] / mag[1], 1.96, 1e-4);
    EXPECT_NEAR(mag[5] / mag[3], 0.95 * 0.95, 1e-4);
}

TEST_F(TLWavesTest, RandomPhases)
{
    CTLWaves::RandomizePhases();
    bool varied = false;
    for (int i = 0; i < 256; ++i) {
        EXPECT_GE(CTLWaves::randomPhase[i], 0.0f);
        EXPECT_LE(CTLWaves::randomPhase[i], 6.28f);
        EXPECT_EQ(CTLWaves::phaseOffset[i] % 255, 0);
        EXPECT_EQ(CTLWaves::phaseOffset[i], int(CTLWaves::randomPhase[i]) * 255);
        varied |= CTLWaves::phaseOffset[i] != CTLWaves::phaseOffset[0];
    }
    EXPECT_TRUE(varied);
}

TEST_F(TLWavesTest, FilterCurve)
{
    for (int i = 0; i < 128; ++i)
        waves->filterCurve[i] = float(i);
    EXPECT_NEAR(waves->FilterCurveAt(100.0f), 0.0, 1e-3);
    EXPECT_NEAR(waves->FilterCurveAt(float(100.0 * std::exp(0.039453821 * 10.5))), 10.5, 1e-3);
    EXPECT_NEAR(waves->FilterCurveAt(float(100.0 * std::exp(0.039453821 * 126.25))), 126.25, 1e-3);
    // Outside the curve's span its end points hold.
    for (float hz : {43.0f, 0.0f, -5.0f}) EXPECT_EQ(waves->FilterCurveAt(hz), 0.0f) << hz;
    EXPECT_EQ(waves->FilterCurveAt(18000.0f), 127.0f);
}

TEST_F(TLWavesTest, SpectrumWaves)
{
    // A user wave leaves harmonic 127 loud; a silent spectral wave must not
    // pick it up: every region with no partial is a plain sine.
    std::vector<float> sliders(80, 127.0f);
    waves->BuildUserWave(sliders.data(), 0, 155);
    auto record = Record(0.0f, 127.0f);
    waves->BuildSpectrumWaveA(record.data(), 3, 0, 0, 0);
    for (int k = 0; k < 64; ++k)
        for (int j = 0; j < 256; j += 5)
            ASSERT_NEAR(ReadAt(waves->spectrumWavesA[3][k], j << 16), std::sin(kTwoPi * j / 256),
                        1e-5)
                << "region " << k;

    // Loud partials: region k holds no harmonic above sr / (2 fHi), none at
    // or above 19 kHz, and region 0 reaches harmonic 126.
    record = Record(127.0f, 127.0f);
    waves->BuildSpectrumWaveB(record.data(), 3, 0, 0, 0);
    const double sr = 44100.0;
    for (int k = 0; k < 64; k += 3) {
        const double fHi = std::exp2((k + 1) / 8.0 + 7.0) * sr / 131072.0;
        int top = int(std::min(sr / (2 * fHi), 127.0));
        while (top > 0 && top * fHi >= 19000.0)
            --top;
        const auto mag = Spectrum(Samples(waves->spectrumWavesB[3][k], 256));
        EXPECT_LT(HighestAbove(mag, top), 1e-5) << "region " << k;
        EXPECT_GT(mag[1], 1e-3) << "region " << k;
    }
    auto mag = Spectrum(Samples(waves->spectrumWavesB[3][0], 256));
    EXPECT_GT(mag[126], 1e-3);
    EXPECT_LT(mag[127], 1e-5);
    // The top region keeps only the fundamental (harmonic 2 fades in at 0).
    mag = Spectrum(Samples(waves->spectrumWavesB[3][63], 256));
    EXPECT_LT(HighestAbove(mag, 1), 1e-5);

    // Spacing s plays harmonics 1, s + 2, 2s + 3, ...
    waves->BuildSpectrumWaveA(record.data(), 3, 0, 2, 0);
    mag = Spectrum(Samples(waves->spectrumWavesA[3][8], 256));
    for (int h = 1; h <= 40; ++h)
        EXPECT_EQ(mag[h] > 1e-4, (h - 1) % 3 == 0) << h;
    EXPECT_EQ(waves->spectrumSettings.spacing, 2);

    // A negative spacing plays every harmonic instead of looping forever;
    // an unknown basis plays sines.
    waves->BuildSpectrumWaveA(record.data(), 3, 9, -4, 0);
    mag = Spectrum(Samples(waves->spectrumWavesA[3][8], 256));
    EXPECT_GT(mag[2], 1e-3);
    EXPECT_GT(mag[3], 1e-3);

    // Walsh basis with only the first partial: a square wave of +-1.
    record = Record(0.0f, 127.0f);
    record[1841] = 127.0f;
    waves->BuildSpectrumWaveA(record.data(), 5, 1, 0, 0);
    for (int j = 0; j < 256; ++j)
        ASSERT_NEAR(ReadAt(waves->spectrumWavesA[5][20], j << 16), j < 128 ? 1.0 : -1.0, 1e-5);
    EXPECT_EQ(waves->spectrumSettings.basis, 1);
    // Scattered phases rotate each partial by half its phase offset.
    CTLWaves::phaseOffset[1] = 255;
    waves->BuildSpectrumWaveA(record.data(), 5, 1, 0, 1);
    for (int j = 0; j < 256; ++j)
        ASSERT_NEAR(ReadAt(waves->spectrumWavesA[5][20], j << 16),
                    ((j + 127) & 255) < 128 ? 1.0 : -1.0, 1e-5);
    EXPECT_EQ(waves->spectrumSettings.phaseScatter, 1);

    // The filter curve shapes the partials: a curve that is silent above
    // its first points removes the upper harmonics.
    record = Record(127.0f, 0.0f);
    for (int i = 0; i < 20; ++i)
        record[768 + i] = 127.0f;
    waves->BuildSpectrumWaveA(record.data(), 5, 0, 0, 0);
    mag = Spectrum(Samples(waves->spectrumWavesA[5][8], 256));
    // Region 8: fLo = 2^8 * 44100 / 131072 = 86.1 Hz; the curve is silent
    // from point 20 (100 Hz * e^(20 * 0.03945) = 220 Hz) on.
    EXPECT_GT(mag[1], 0.1);
    EXPECT_LT(HighestAbove(mag, 2), 1e-5);
}

} // namespace
