#pragma once
// Every single-cycle waveform the oscillators read. A waveform is kept as
// segment tables at several band limits so that an oscillator can pick the
// level whose harmonics stay below the Nyquist frequency at its pitch.
//
// Harmonic wave (basic, user and shape waves): 16 levels of 512 segments,
// one cycle spans x = 0 .. 2^25 (segment = x >> 16), level k keeps
// kHarmonicLimit[k] harmonics. Spectral wave: 64 pitch regions of 256
// segments, one cycle spans x = 0 .. 2^24.
//
// The builders run on the GUI thread, and on the audio thread when a
// controller assignment changes a waveform; their work areas belong to the
// thread that builds, so the two never write each other's samples. The
// shared tables are built once, before any thread renders.
#include <cstdint>

#include "engine/CTLBase.h"

class CTLWaves : public CTLBase {
public:
    static constexpr int kLevels = 16;
    static constexpr int kWaveSegments = 512;
    static constexpr int kRegions = 64;
    static constexpr int kRegionSegments = 256;
    static constexpr int kParts = 16;
    static constexpr int kOscillators = 3;
    static constexpr int kBasicWaves = 5;
    // The waveform list offers saw, parabola, square, triangle, sine; the
    // basic waves are stored as saw, parabola, sine, square, triangle. A
    // waveform value 0..4 reaches its slot through this map, so each entry
    // of the list plays the wave it names.
    static constexpr int BasicSlot(int waveform)
    {
        constexpr int kSlot[kBasicWaves] = {0, 1, 3, 4, 2};
        return kSlot[waveform];
    }
    static constexpr int kWaveSlots = 144;
    // Slots of `waves`: 0-4 the basic waves, 5-63 the basic sine, then the
    // per-part waves of oscillators 1, 2, 3 and spectral waves A and B.
    static constexpr int kSlotOscillator1 = 64;
    static constexpr int kSlotOscillator2 = 80;
    static constexpr int kSlotOscillator3 = 96;
    static constexpr int kSlotSpectrumA = 112;
    static constexpr int kSlotSpectrumB = 128;
    // Bytes of one level of a harmonic wave and of one spectral region: the
    // unit of `bandLevelMap` and `spectrumRegionOffsets`.
    static constexpr uint32_t kLevelBytes = kWaveSegments * sizeof(Segment);
    static constexpr uint32_t kRegionBytes = kRegionSegments * sizeof(Segment);

    static const int kHarmonicLimit[kLevels];

    using HarmonicWave = Segment[kLevels][kWaveSegments];
    using SpectralWave = Segment[kRegions][kRegionSegments];

    // The settings a spectral wave was last built with.
    struct SpectrumSettings {
        int32_t basis = 0;         // 0 sine, 1 Walsh, 2 windowed sine, 3 phase-modulated sine
        int32_t spacing = 0;       // s: every (s + 1)-th harmonic
        int32_t phaseScatter = 0;  // 0 off
    };

    CTLWaves();
    ~CTLWaves() override = default;
    CTLWaves(const CTLWaves&) = delete;
    CTLWaves& operator=(const CTLWaves&) = delete;

    // Builds the shared basis and basic waves (once per process), the wave
    // pointers, the band-level map and the region offsets, and zeroes the
    // spectral waves. The per-part waves stay silent until built.
    void Init();

    // Rebuilds the wave of one oscillator of a part from its 80 partial
    // sliders (0..127). oscParamId 155, 163, 172 names oscillators 1, 2, 3;
    // any other id acts as 155.
    void BuildUserWave(const float* partials, int part, int oscParamId);
    // Rebuilds the oscillator's wave from shape generator waveIndex (5..63);
    // any other index changes nothing.
    void BuildShapeWave(int part, int waveIndex, int oscParamId);
    // Rebuild spectral wave A (B) of a part from the part's program record
    // (2272 values: partial sliders at 1840 (1920), filter curve at 768 (896)).
    void BuildSpectrumWaveA(const float* record, int part, int basis, int spacing,
                            int phaseScatter);
    void BuildSpectrumWaveB(const float* record, int part, int basis, int spacing,
                            int phaseScatter);

    // Readers. Harmonic wave of slot 0..111, band-limited for the
    // oscillator's band index (0..255, higher values wrap as the reader's
    // 8-bit mask does).
    const Segment* WaveForBand(int slot, uint32_t band) const;
    // The table set an oscillator of a part plays for a waveform value:
    // the basic waves for 0..4, the part's own wave buffer otherwise.
    const Segment* OscillatorWave(int part, int osc, int waveform, uint32_t band) const;
    // Region 0..63 of spectral wave A or B of a part (inline: the render
    // looks up four per sub-oscillator of every voice each block).
    const Segment* SpectrumRegion(int part, bool waveB, int region) const
    {
        part = part < 0 ? 0 : (part > kParts - 1 ? kParts - 1 : part);
        region = region < 0 ? 0 : (region > kRegions - 1 ? kRegions - 1 : region);
        return (waveB ? spectrumWavesB : spectrumWavesA)[part][region];
    }

    // Static building blocks, public for the tests.
    // Amplitude of a partial slider (0..127): 1.0 at 127, silent at 2.0
    // and below.
    static float LevelLaw(float slider);
    // Slider (1..79) that controls harmonic h (1..254): one slider per
    // harmonic up to 32, then one per 2, 4 and 8 harmonics.
    static int SliderOfHarmonic(int h);
    static void SumHarmonicsToScratch(int harmonics);
    static float ShapeToScratch(int harmonics, int waveIndex);
    void SpectrumToScratch(float fLo, float fHi) const;
    float FilterCurveAt(float f) const;
    static void NormalizeWaveScratch(int count);
    // Segment table through the scratch samples; the last segment closes
    // back to sample 0 so the table is periodic.
    static void BuildTableFromScratch(Segment* dest, int n, float x0, float dx, bool smooth);
    static void RandomizePhases();
    static int Walsh(int h, float x);
    static void BuildBasisTables();

    // Process-wide tables and work areas.
    static float sineByHarmonic[256][512];
    static float sineBySample[512][256];
    static float basisSine[128][256];
    static float basisWindowedSine[128][256];
    static float basisPhaseModSine[128][256];
    static float basisWalsh[128][256];
    static HarmonicWave basicWaves[kBasicWaves];
    // Work areas, one set per thread (the phases scattered by the last user
    // wave this thread built).
    static thread_local float waveScratch[512];
    static thread_local float harmonicLevel[256];
    static thread_local float randomPhase[256];
    static thread_local int32_t phaseOffset[256];
    static uint32_t bandLevelMap[256];
    static uint32_t spectrumRegionOffsets[64];

    // Members in their fixed order.
    const Segment* waves[kWaveSlots] = {};
    HarmonicWave oscillatorWaves[kOscillators][kParts];
    SpectralWave spectrumWavesA[kParts];
    SpectralWave spectrumWavesB[kParts];
    SpectrumSettings spectrumSettings;
    float filterCurve[128] = {};

private:
    void BuildSpectrumWave(SpectralWave& dest, const float* record, int partialBase,
                           int curveBase, int basis, int spacing, int phaseScatter);
    static int OscillatorOfParam(int oscParamId);
};
