#pragma once
// Harmonics 1..256 grouped into the 80 bands of a partial set, the five
// built-in spectra, the filter presets and the partial clipboard that the
// partial and wave editors share. Band b of a set bound at index i is the
// sound parameter i + b; only bands 1..79 reach a wave builder (harmonics up
// to 254), so band 80 is shown but never written: i + 80 is the next set's
// slot.
#include <cstddef>

namespace partials {

constexpr int kBands = 80;
constexpr int kLastWritten = 79;
constexpr int kSpectra = 5;
constexpr int kFilterPresets = 16;
constexpr int kFilterBins = 128;

// The band of harmonic h (clamped to 1..256), as the wave builders map it.
int BandOfHarmonic(int h);
// Where harmonic h lies inside its band, 0 <= fraction < 1.
float PartialBandFraction(int h);
// First and last harmonic of band b (1..80).
int FirstHarmonic(int band);
int LastHarmonic(int band);
// "%03d" or "%03d-%03d"; writes at most size - 1 characters.
void BandLabel(int band, char* out, size_t size);

// Spectrum s (0 "Impulse" .. 4 "Sine"), indexed by band 1..80, values 0..1.
const float* BuiltinSpectrum(int s);
// Row 0..15 of the filter presets: 128 values 0..127; row 0 is all zero.
const float* FilterPreset(int row);

// The clipboard of band levels (index = band, 1..80) shared by the editors.
struct PartialClipboard {
    float level[kBands + 1] = {};
    bool valid = false;
};
PartialClipboard& SharedPartialClipboard();

// A value read from the program made safe to draw and index with: NaN
// becomes lo, everything else is clamped to lo..hi.
float SafeValue(double v, float lo, float hi);

}  // namespace partials
