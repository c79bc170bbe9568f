#include "editor/PartialBands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/CTLWaves.h"

namespace partials {

int BandOfHarmonic(int h) { return CTLWaves::SliderOfHarmonic(std::clamp(h, 1, 256)); }

float PartialBandFraction(int h)
{
    h = std::clamp(h, 1, 256);
    if (h <= 32) return 0.0f;
    if (h <= 64) return float((h - 31) % 2) * 0.5f;
    if (h <= 128) return float((h - 63) % 4) * 0.25f;
    return float((h - 127) % 8) * 0.125f;
}

int FirstHarmonic(int band)
{
    band = std::clamp(band, 1, kBands);
    if (band <= 32) return band;
    if (band <= 48) return 2 * band - 33;
    if (band <= 64) return 4 * band - 131;
    return 8 * band - 391;
}

int LastHarmonic(int band)
{
    band = std::clamp(band, 1, kBands);
    if (band <= 32) return band;
    if (band <= 48) return 2 * band - 32;
    if (band <= 64) return 4 * band - 128;
    return 8 * band - 384;
}

void BandLabel(int band, char* out, size_t size)
{
    if (!out || size == 0) return;
    band = std::clamp(band, 1, kBands);
    if (band <= 32)
        std::snprintf(out, size, "%03d", band);
    else
        std::snprintf(out, size, "%03d-%03d", FirstHarmonic(band), LastHarmonic(band));
}

float SafeValue(double v, float lo, float hi)
{
    if (std::isnan(v)) return lo;
    return float(std::clamp(v, double(lo), double(hi)));
}

namespace {

struct Spectra {
    float value[kSpectra][kBands + 1] = {};
    Spectra()
    {
        for (int b = 1; b <= kBands; ++b) value[0][b] = 0.88f;
        // Mean amplitude of each band's harmonics on a 100 dB scale.
        auto fill = [this](int s, bool oddOnly, int power) {
            double sum[kBands + 1] = {};
            int count[kBands + 1] = {};
            for (int h = 1; h <= 256; ++h) {
                if (oddOnly && h % 2 == 0) continue;
                const int b = BandOfHarmonic(h);
                sum[b] += 1.0 / std::pow(double(h), power);
                ++count[b];
            }
            for (int b = 1; b <= kBands; ++b)
                value[s][b] = count[b] ? float(1.0 - std::log(sum[b] / count[b]) / std::log(1e-5)) : 0.0f;
        };
        fill(1, false, 1);
        fill(2, true, 1);
        fill(3, true, 2);
        value[4][1] = 1.0f;
        for (auto& row : value)
            for (float& v : row) v = std::clamp(v, 0.0f, 1.0f);
    }
};

}  // namespace

const float* BuiltinSpectrum(int s)
{
    static const Spectra spectra;
    return spectra.value[std::clamp(s, 0, kSpectra - 1)];
}

PartialClipboard& SharedPartialClipboard()
{
    static PartialClipboard clipboard;
    return clipboard;
}

}  // namespace partials
