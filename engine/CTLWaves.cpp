#include "engine/CTLWaves.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <mutex>

#include "os/ORandom.h"
#include "platform/CGlobalData.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Amplitudes of the hand-made spectra (index = harmonic - 1).
constexpr float kS19[47] = {0.5f,   0.3f,   0.25f,  0.25f,  0.3f,   0.4f,   0.7f,   1.0f,
                            0.25f,  0.2f,   0.5f,   0.15f,  0.08f,  0.03f,  0.02f,  0.015f,
                            0.008f, 0.006f, 0.005f, 0.004f, 0.004f, 0.005f, 0.005f, 0.006f,
                            0.008f, 0.01f,  0.02f,  0.01f,  0.007f, 0.005f, 0.006f, 0.007f,
                            0.008f, 0.01f,  0.015f, 0.03f,  0.06f,  0.03f,  0.015f, 0.01f,
                            0.007f, 0.005f, 0.004f, 0.003f, 0.002f, 0.001f, 0.001f};
// Harmonics past the listed values are silent.
constexpr float kS20[41] = {60, 60, 99, 75, 10, 8, 2, 2, 0, 1, 2, 10, 9, 70,
                            80, 20, 15, 40, 41, 40, 20, 40, 35, 20, 10, 3};
constexpr float kS21[41] = {90, 99, 99, 50, 3, 3, 3, 2, 0, 5, 4, 5, 15, 20, 40,
                            8, 5, 8, 10, 80, 99, 70, 85, 80, 60, 20, 5, 2, 1};
constexpr float kS22[41] = {80, 90, 99, 90, 30, 25, 20, 10, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 4, 15, 80, 50, 15, 10};
constexpr float kS23[41] = {80, 90, 99, 30, 20, 15, 0, 0, 0, 0, 0, 6, 8, 0,
                            0, 0, 0, 0, 8, 10, 11, 10, 4};
// dB levels of harmonics 1..60 of generator 18; the rest fall by 0.5 dB.
constexpr float kD18[60] = {4,     -3,  -6,    -12, -10,   0,     -2,    -8,  -13,   -15,
                            -17,   -19, -21,   -23, -24,   -23,   -18,   -19, -28,   -34.5f,
                            -36,   -36.5f, -37, -37, -35,  -32,   -28,   -32, -35,   -38,
                            -42,   -45, -47,   -48.5f, -49, -49.5f, -50, -49.5f, -48, -47.5f,
                            -46,   -44, -40,   -34, -42,   -48,   -49,   -49.5f, -50, -50.5f,
                            -51,   -52, -52,   -51, -49,   -40.5f, -40,  -50.5f, -55, -60.5f};

double D17(int h)
{
    if (h == 1)
        return 12.0;
    if (h == 2)
        return 0.0;
    if (h <= 12)
        return -1.0 - 2.0 * (h - 3);
    if (h <= 15)
        return -20.0 - (h - 13);
    return -22.5 - 0.5 * (h - 16);
}

double D18(int h)
{
    return h <= 60 ? kD18[h - 1] : -65.0 - 0.5 * (h - 61);
}

bool IsPrime(int h)
{
    if (h < 2)
        return false;
    for (int d = 2; d * d <= h; ++d)
        if (h % d == 0)
            return false;
    return true;
}

// Amplitude of harmonic h in the sparse generators (24-30), 0 where the
// generator leaves the harmonic out.
double SparseAmplitude(int waveIndex, int h)
{
    switch (waveIndex) {
    case 24:
        return (h - 1) % 3 == 0 ? 1.0 / std::sqrt(double(h)) : 0.0;
    case 25:
        return (h - 1) % 4 == 0 ? 1.0 / std::sqrt(double(h)) : 0.0;
    case 26:
        return (h & (h - 1)) == 0 ? 1.0 / std::sqrt(double(h)) : 0.0;
    case 27:
        if (h == 1)
            return 0.5;
        return (h % 3 == 0 && ((h / 3) & (h / 3 - 1)) == 0) ? 1.0 / std::sqrt(double(h - 2)) : 0.0;
    case 28:
        for (int k : {3, 7, 9, 11, 13, 17, 19, 23, 29})
            if (h == k)
                return 1.0;
        return 0.0;
    case 29:
        return (h == 9 || (h >= 3 && h <= 251 && (h & 1) && IsPrime(h))) ? 1.0 : 0.0;
    case 30: {
        bool on = h == 1 || h == 233 || (!IsPrime(h) && h != 9 && h != 128);
        return on ? 1.0 / h : 0.0;
    }
    default:
        return 0.0;
    }
}

// Maps an oscillator's band index to the level whose harmonics all stay
// below Nyquist; levels 1 and 3 are kept for the tables but never chosen.
struct BandRange {
    int lastBand;
    int level;
};
constexpr BandRange kBandLevels[] = {{0, 0},    {1, 2},    {3, 4},    {4, 5},   {7, 6},
                                     {9, 7},    {15, 8},   {20, 9},   {31, 10}, {41, 11},
                                     {63, 12},  {84, 13},  {127, 14}, {255, 15}};

std::once_flag sharedTablesBuilt;

} // namespace

const int CTLWaves::kHarmonicLimit[kLevels] = {255, 192, 128, 96, 64, 48, 32, 24,
                                               16,  12,  8,   6,  4,  3,  2,  1};

float CTLWaves::sineByHarmonic[256][512];
float CTLWaves::sineBySample[512][256];
float CTLWaves::basisSine[128][256];
float CTLWaves::basisWindowedSine[128][256];
float CTLWaves::basisPhaseModSine[128][256];
float CTLWaves::basisWalsh[128][256];
CTLWaves::HarmonicWave CTLWaves::basicWaves[kBasicWaves];
thread_local float CTLWaves::waveScratch[512];
thread_local float CTLWaves::harmonicLevel[256];
thread_local float CTLWaves::randomPhase[256];
thread_local int32_t CTLWaves::phaseOffset[256];
uint32_t CTLWaves::bandLevelMap[256];
uint32_t CTLWaves::spectrumRegionOffsets[64];

CTLWaves::CTLWaves() = default;

float CTLWaves::LevelLaw(float slider)
{
    return slider > 2.0f ? float(std::exp(slider / 18.385133067) / 1000.0) : 0.0f;
}

int CTLWaves::SliderOfHarmonic(int h)
{
    if (h <= 32)
        return h;
    if (h <= 64)
        return 32 + ((h - 31) >> 1);
    if (h <= 128)
        return 48 + ((h - 63) >> 2);
    return 64 + ((h - 127) >> 3);
}

int CTLWaves::OscillatorOfParam(int oscParamId)
{
    return oscParamId == 163 ? 1 : oscParamId == 172 ? 2 : 0;
}

int CTLWaves::Walsh(int h, float x)
{
    int doublings = 0;
    for (int p = 1; p < h; p <<= 1)
        ++doublings;
    int steps = doublings + 1;
    int sign = 1;
    int previous = h & 1;
    for (int j = 1; j <= steps; ++j) {
        int bit = (h >> j) & 1;
        if (bit != previous && std::fmod(std::ldexp(x, j), 2.0f) >= 1.0f)
            sign = -sign;
        previous = bit;
    }
    return sign;
}

void CTLWaves::BuildTableFromScratch(Segment* dest, int n, float x0, float dx, bool smooth)
{
    if (n < 1)
        return;
    const long double inverse = 1.0L / dx;
    float x = x0;
    for (int i = 0; i < n; ++i, x += dx) {
        long double y0 = waveScratch[i];
        long double y1 = waveScratch[(i + 1) % n];
        if (!smooth && y1 - y0 >= 0.1L) {
            dest[i] = {0.0f, static_cast<float>(y0)};
        } else {
            float slope = static_cast<float>((y1 - y0) * inverse);
            dest[i] = {slope, static_cast<float>(y0 - static_cast<long double>(slope) * x)};
        }
    }
}

void CTLWaves::NormalizeWaveScratch(int count)
{
    double peak = 0.0;
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        peak = std::max(peak, std::fabs(double(waveScratch[i])));
        sum += waveScratch[i];
    }
    const double mean = sum / count;
    const double scale = peak > 0.0 ? 1.0 / peak : 1.0;
    for (int i = 0; i < count; ++i)
        waveScratch[i] = float((waveScratch[i] - mean) * scale);
}

void CTLWaves::SumHarmonicsToScratch(int harmonics)
{
    harmonics = std::clamp(harmonics, 0, 255);
    for (int n = 0; n < 512; ++n) {
        const float* row = sineBySample[n];
        double sum = 0.0;
        for (int h = 1; h <= harmonics; ++h)
            sum += double(harmonicLevel[h]) * row[h - 1];
        waveScratch[n] = float(sum);
    }
}

void CTLWaves::RandomizePhases()
{
    for (int i = 0; i < 256; ++i) {
        randomPhase[i] = float(os::Rand() * 6.28 / 32767.0);
        phaseOffset[i] = int32_t(std::trunc(randomPhase[i])) * 255;
    }
}

float CTLWaves::ShapeToScratch(int harmonics, int waveIndex)
{
    if (waveIndex < 5 || waveIndex > 63)
        return 0.0f;
    double sum[512] = {};
    auto add = [&sum](int h, double a, bool scatter) {
        if (a == 0.0)
            return;
        const float* row = sineByHarmonic[h - 1];
        const int o = scatter ? phaseOffset[h & 255] : 0;
        for (int n = 0; n < 512; ++n)
            sum[n] += a * row[(n + o) & 511];
    };
    const int limit = std::clamp(harmonics, 0, 256);
    if (waveIndex <= 16) {
        const int v = waveIndex - 5;
        for (int h = 1; h <= limit; ++h)
            add(h, 1.0 / (h - v - 0.5), false);
    } else if (waveIndex <= 18) {
        for (int h = 1; h <= std::min(limit, 128); ++h)
            add(h, std::pow(10.0, (waveIndex == 17 ? D17(h) : D18(h)) / 20.0), true);
    } else if (waveIndex <= 23) {
        const float* table = waveIndex == 19   ? kS19
                             : waveIndex == 20 ? kS20
                             : waveIndex == 21 ? kS21
                             : waveIndex == 22 ? kS22
                                               : kS23;
        const int count = waveIndex == 19 ? 47 : 41;
        for (int h = 1; h <= std::min(limit, count); ++h)
            add(h, table[h - 1], true);
    } else if (waveIndex <= 30) {
        const int top = waveIndex == 28 ? std::min(limit, 128) : limit;
        for (int h = 1; h <= top; ++h)
            add(h, SparseAmplitude(waveIndex, h), true);
    } else if (waveIndex <= 42) {
        const int v = waveIndex - 31;
        for (int h = 1; h <= limit; ++h)
            add(h, 1.0 / (h - v - 0.5) + 0.5, true);
    } else if (waveIndex <= 54) {
        const double r = 1.0 - (waveIndex - 43) / 11.0;
        double a = 1.0;
        for (int h = 1; h <= limit; ++h, a *= r)
            add(h, a, true);
    } else {
        const int v = waveIndex - 54;
        double a = 1.0;
        for (int h = 1; h <= limit; ++h) {
            add(h, a, true);
            a *= h <= 2 * v ? 1.4 : 0.95;
        }
    }
    float peak = 0.0f;
    for (int n = 0; n < 512; ++n) {
        waveScratch[n] = float(sum[n]);
        peak = std::max(peak, std::fabs(waveScratch[n]));
    }
    return peak;
}

float CTLWaves::FilterCurveAt(float f) const
{
    double v = f > 0.0f ? (std::log(double(f)) - 4.605170186) / 0.039453821 : 0.0;
    // Below the first point and past the last the curve holds its end
    // value; interpolating with a weight outside 0..1 would make up levels
    // the curve never had.
    v = std::clamp(v, 0.0, 127.0);
    const int i = std::min(int(v), 126);
    const double t = v - i;
    return float(filterCurve[i] * (1.0 - t) + filterCurve[i + 1] * t);
}

void CTLWaves::SpectrumToScratch(float fLo, float fHi) const
{
    const double sr = g_GlobalData.sampleRate;
    const double q = sr / (2.0 * fHi);
    const int n = int(std::min(q, 127.0));
    std::memset(waveScratch, 0, sizeof(float) * 256);

    const float (*basis)[256] = spectrumSettings.basis == 1   ? basisWalsh
                                : spectrumSettings.basis == 2 ? basisWindowedSine
                                : spectrumSettings.basis == 3 ? basisPhaseModSine
                                                              : basisSine;
    const int step = std::max(spectrumSettings.spacing, 0) + 1;
    bool added = false;
    for (int h = 1; h <= n; h += step) {
        double a = double(FilterCurveAt(float(h * double(fLo)))) * harmonicLevel[h];
        if (h == n)
            a *= q - std::trunc(q);
        if (!(h * double(fHi) < 19000.0 && a > 0.001))
            continue;
        const int p = spectrumSettings.phaseScatter != 0 ? phaseOffset[h] / 2 : 0;
        const float* row = basis[h - 1];
        for (int j = 0; j < 256; ++j)
            waveScratch[j] = float(waveScratch[j] + a * row[(p + j) & 255]);
        added = true;
    }
    if (!added)
        std::memcpy(waveScratch, basisSine[0], sizeof(float) * 256);
}

void CTLWaves::BuildBasisTables()
{
    for (int h = 1; h <= 256; ++h) {
        for (int n = 0; n < 512; ++n) {
            // Reducing h * n modulo the period first keeps the argument small
            // and the high harmonics exact.
            float s = float(std::sin(kTwoPi * ((h * n) & 511) / 512.0));
            sineByHarmonic[h - 1][n] = s;
            sineBySample[n][h - 1] = s;
        }
    }
    for (int h = 1; h <= 128; ++h) {
        for (int n = 0; n < 256; ++n) {
            const double s = std::sin(kTwoPi * ((h * n) & 255) / 256.0);
            const double w = std::sin(kTwoPi * 0.5 * n / 256.0);
            basisSine[h - 1][n] = float(s);
            basisWindowedSine[h - 1][n] = float(s * w * w);
            basisPhaseModSine[h - 1][n] =
                float(std::sin(kTwoPi * h * n / 256.0 + kTwoPi * std::sin(kTwoPi * n / 256.0)));
            basisWalsh[h - 1][n] = float(Walsh(h, n / 256.0f));
        }
    }

    // The five basic waves, summed in double precision from one exact cycle
    // (every harmonic's phase is a multiple of 2 pi / 512). Level 0 of the
    // saw and the square is the plain stepped wave; its jumps stay steps
    // instead of one-sample ramps.
    double cycle[512];
    for (int n = 0; n < 512; ++n)
        cycle[n] = std::sin(kTwoPi * n / 512.0);
    for (int wave = 0; wave < kBasicWaves; ++wave) {
        for (int k = 0; k < kLevels; ++k) {
            const int limit = kHarmonicLimit[k];
            bool smooth = true;
            for (int n = 0; n < 512; ++n) {
                double s = 0.0;
                for (int h = 1; h <= limit; ++h) {
                    const double sine = cycle[(h * n) & 511];
                    switch (wave) {
                    case 0: s += sine / h; break;
                    case 1: s -= cycle[(h * n + 128) & 511] / (double(h) * h); break;
                    case 3: s += (h & 1) ? sine / h : 0.0; break;
                    case 4:
                        s += (h & 1) ? ((h >> 1) & 1 ? -1.0 : 1.0) * sine / (double(h) * h) : 0.0;
                        break;
                    default: break;
                    }
                }
                if (wave == 2)
                    s = cycle[n];
                waveScratch[n] = float(s);
            }
            if (k == 0 && wave == 0) {
                for (int n = 0; n < 512; ++n)
                    waveScratch[n] = float(1.0 - (2.0 * n + 1.0) / 512.0);
                smooth = false;
            } else if (k == 0 && wave == 3) {
                for (int n = 0; n < 512; ++n)
                    waveScratch[n] = n <= 256 ? 0.75f : -0.75f;
                smooth = false;
            } else if (wave == 1) {
                // The parabola keeps its shape (no DC to remove) and is
                // scaled to a peak-to-peak of 1.
                float lo = waveScratch[0], hi = waveScratch[0];
                for (int n = 1; n < 512; ++n) {
                    lo = std::min(lo, waveScratch[n]);
                    hi = std::max(hi, waveScratch[n]);
                }
                for (int n = 0; n < 512; ++n)
                    waveScratch[n] = waveScratch[n] / (hi - lo);
            } else if (wave != 2) {
                NormalizeWaveScratch(512);
            }
            BuildTableFromScratch(basicWaves[wave][k], 512, 0.0f, 65536.0f, smooth);
        }
    }

    int level = 0;
    for (const BandRange& r : kBandLevels)
        for (; level <= r.lastBand; ++level)
            bandLevelMap[level] = uint32_t(r.level) * kLevelBytes;
    for (int k = 0; k < 64; ++k)
        spectrumRegionOffsets[k] = uint32_t(k) * kRegionBytes;
}

void CTLWaves::Init()
{
    // The shared tables are the same for every engine; building them once
    // keeps a second engine from rewriting tables a running one reads.
    std::call_once(sharedTablesBuilt, BuildBasisTables);

    for (int slot = 0; slot < 64; ++slot)
        waves[slot] = basicWaves[slot < kBasicWaves ? slot : 2][0];
    for (int osc = 0; osc < kOscillators; ++osc)
        for (int part = 0; part < kParts; ++part)
            waves[kSlotOscillator1 + 16 * osc + part] = oscillatorWaves[osc][part][0];
    for (int part = 0; part < kParts; ++part) {
        waves[kSlotSpectrumA + part] = spectrumWavesA[part][0];
        waves[kSlotSpectrumB + part] = spectrumWavesB[part][0];
    }
    std::memset(oscillatorWaves, 0, sizeof(oscillatorWaves));
    std::memset(spectrumWavesA, 0, sizeof(spectrumWavesA));
    std::memset(spectrumWavesB, 0, sizeof(spectrumWavesB));
    spectrumSettings = {};
    std::fill(std::begin(filterCurve), std::end(filterCurve), 0.0f);
}

void CTLWaves::BuildUserWave(const float* partials, int part, int oscParamId)
{
    if (part < 0 || part >= kParts)
        return;
    for (int h = 1; h <= 254; ++h)
        harmonicLevel[h] = LevelLaw(partials[SliderOfHarmonic(h)]);
    RandomizePhases();
    HarmonicWave& wave = oscillatorWaves[OscillatorOfParam(oscParamId)][part];
    for (int k = 0; k < kLevels; ++k) {
        SumHarmonicsToScratch(kHarmonicLimit[k]);
        NormalizeWaveScratch(512);
        BuildTableFromScratch(wave[k], 512, 0.0f, 65536.0f, true);
    }
}

void CTLWaves::BuildShapeWave(int part, int waveIndex, int oscParamId)
{
    // Indexes 0..4 are the basic waves and 64 is the user wave: building
    // from a scratch no generator filled would overwrite the part's wave.
    if (part < 0 || part >= kParts || waveIndex < 5 || waveIndex > 63)
        return;
    HarmonicWave& wave = oscillatorWaves[OscillatorOfParam(oscParamId)][part];
    for (int k = 0; k < kLevels; ++k) {
        ShapeToScratch(kHarmonicLimit[k], waveIndex);
        NormalizeWaveScratch(512);
        const bool smooth = !(k == 0 && waveIndex <= 16);
        BuildTableFromScratch(wave[k], 512, 0.0f, 65536.0f, smooth);
    }
}

void CTLWaves::BuildSpectrumWaveA(const float* record, int part, int basis, int spacing,
                                  int phaseScatter)
{
    if (part >= 0 && part < kParts)
        BuildSpectrumWave(spectrumWavesA[part], record, 1840, 768, basis, spacing, phaseScatter);
}

void CTLWaves::BuildSpectrumWaveB(const float* record, int part, int basis, int spacing,
                                  int phaseScatter)
{
    if (part >= 0 && part < kParts)
        BuildSpectrumWave(spectrumWavesB[part], record, 1920, 896, basis, spacing, phaseScatter);
}

void CTLWaves::BuildSpectrumWave(SpectralWave& dest, const float* record, int partialBase,
                                 int curveBase, int basis, int spacing, int phaseScatter)
{
    spectrumSettings = {basis, spacing, phaseScatter};
    for (int h = 1; h <= 126; ++h)
        harmonicLevel[h] = LevelLaw(record[partialBase + SliderOfHarmonic(h)]);
    // Harmonic 127 can be reached at the lowest regions but has no slider;
    // without this it would sound at whatever level the last user wave left.
    harmonicLevel[127] = 0.0f;
    for (int i = 0; i < 128; ++i)
        filterCurve[i] = LevelLaw(record[curveBase + i]);

    const double sr = g_GlobalData.sampleRate;
    for (int k = 0; k < kRegions; ++k) {
        const double fLo = std::exp2(k / 8.0 + 7.0) * sr / 131072.0;
        const double fHi = std::exp2((k + 1) / 8.0 + 7.0) * sr / 131072.0;
        SpectrumToScratch(float(fLo), float(fHi));
        NormalizeWaveScratch(256);
        BuildTableFromScratch(dest[k], 256, 0.0f, 65536.0f, true);
    }
}

const CTLBase::Segment* CTLWaves::WaveForBand(int slot, uint32_t band) const
{
    if (slot < 0 || slot >= kSlotSpectrumA)
        slot = 2;
    if (waves[slot] == nullptr)
        return nullptr;
    return waves[slot] + bandLevelMap[band & 255] / sizeof(Segment);
}

const CTLBase::Segment* CTLWaves::OscillatorWave(int part, int osc, int waveform,
                                                 uint32_t band) const
{
    if (waveform >= 0 && waveform < kBasicWaves)
        return WaveForBand(BasicSlot(waveform), band);
    part = std::clamp(part, 0, kParts - 1);
    osc = std::clamp(osc, 0, kOscillators - 1);
    return WaveForBand(kSlotOscillator1 + 16 * osc + part, band);
}

