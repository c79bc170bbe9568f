// The filter presets of the wave editor: 16 rows of 128 bins, 0..127, bins
// evenly spaced in log frequency. Row 0 stays zero (no menu item selects
// it). Each row is generated from a few numbers so the shapes stay easy to
// retune.
#include <algorithm>
#include <cmath>

#include "editor/PartialBands.h"

namespace partials {
namespace {

constexpr int N = kFilterBins;

// A bump of the given height centred on a bin, width in bins.
float Peak(int bin, float centre, float width, float height)
{
    const float d = (float(bin) - centre) / width;
    return height * std::exp(-d * d);
}

// Formant centres (bins) of the five vowels: A, E, I, O, U.
constexpr float kVowel[5][3] = {
    {52.0f, 74.0f, 96.0f}, {42.0f, 86.0f, 100.0f}, {30.0f, 94.0f, 104.0f},
    {44.0f, 62.0f, 94.0f}, {32.0f, 54.0f, 92.0f}};

struct Presets {
    float row[kFilterPresets][N] = {};
    Presets()
    {
        for (int k = 0; k < N; ++k) {
            const float t = float(k) / float(N - 1);
            row[1][k] = 127.0f - 111.0f * t + Peak(k, 30, 6, 10) - Peak(k, 60, 5, 8);     // String body
            row[2][k] = 90.0f - 40.0f * t + Peak(k, 40, 3, 30) + Peak(k, 88, 3, 25);      // Combo
            row[3][k] = 40.0f + Peak(k, 64, 2.5f, 87);                                      // Resonant
            row[4][k] = (k / 16) % 2 ? 110.0f : 30.0f;                                      // Multiband
            row[5][k] = k % 2 ? 0.0f : 100.0f + 27.0f * t;                                  // HighLow
            row[6][k] = 60.0f + 50.0f * float((k * 37) % 11 == 0) + 17.0f * std::sin(float(k) * 0.9f);  // Metallica
            row[7][k] = 127.0f * (1.0f - t) * (1.0f - t);                                   // Dark side
            row[8][k] = 64.0f + 50.0f * std::sin(float(k) * 0.35f) * std::cos(float(k) * 0.07f);     // Unreal
            row[9][k] = 20.0f + 100.0f * t + Peak(k, 20, 4, 40) - Peak(k, 100, 6, 60);      // Fancy
            row[10][k] = 64.0f + 60.0f * std::sin(float(k) * 0.2f);                         // Peak&Valley
            for (int v = 0; v < 5; ++v) {
                float s = 10.0f;
                for (int f = 0; f < 3; ++f) s += Peak(k, kVowel[v][f], 4.0f, 117.0f - 25.0f * float(f));
                row[11 + v][k] = s;
            }
        }
        for (int r = 1; r < kFilterPresets; ++r)
            for (float& v : row[r]) v = std::clamp(std::round(v), 0.0f, 127.0f);
    }
};

}  // namespace

const float* FilterPreset(int r)
{
    static const Presets presets;
    return presets.row[std::clamp(r, 0, kFilterPresets - 1)];
}

}  // namespace partials
