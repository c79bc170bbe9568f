#pragma once
// Sets up parts and voices of a real engine by writing part records and
// voice cells the way the parameter model and the note start leave them,
// then renders through ControlTick and RenderBlock. Shared by the render
// tests and the render benchmark.
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/CEngine.h"
#include "engine/CTLParameter.h"
#include "platform/CGlobalData.h"

namespace render_fixture {

// Module-off bits (part record cell 270).
enum : uint32_t {
    kOsc1 = 0x1, kOsc2 = 0x2, kOsc3 = 0x4, kRing = 0x8, kPink = 0x10, kMixer1 = 0x20, kMixer2 = 0x40,
    kShaper = 0x80, kWaveguide = 0x100, kFilter1 = 0x200, kDrive = 0x400, kSubPulse = 0x800,
    kFilter2 = 0x1000, kFormant = 0x2000, kSpectrum = 0x4000, kTerrain = 0x8000,
};
// Mask with only the given modules on.
constexpr uint32_t Only(uint32_t modules) { return ~modules; }

// Routing codes: byte positions of audio cells.
constexpr int32_t Code(int cell) { return 4 * cell; }
constexpr int32_t kOsc1Out = Code(153), kOsc2Out = Code(154), kOsc3Out = Code(155), kFilter1Out = Code(165),
                  kFilter2Out = Code(166), kMixerOut = Code(159), kFormantOut = Code(167), kShaperOut = Code(162),
                  kWaveguideOut = Code(168), kRingOut = Code(158), kTerrainOut = Code(317), kSpectrumOut = Code(201),
                  kPinkOut = Code(156), kSubOut = Code(176);

// Pitch of a frequency in the engine's unit (1/192 per semitone, 0 at 440 Hz).
inline float NotePitch(double hz) { return static_cast<float>(std::log2(hz / 440.0) / 16.0); }

// The sample rate with its derived block values and the tables for it.
inline void UseSampleRate(int rate)
{
    g_GlobalData.SetSampleRate(rate);
    g_TLParameter.Build();
}

inline std::unique_ptr<CEngine> MakeEngine(int voices)
{
    auto e = std::make_unique<CEngine>();
    e->Init();
    CEngineData& d = e->data;
    d.voicesInUse = voices;
    for (int v = 0; v < CEngineData::kVoices; ++v) {
        d.voicePart[v] = -1;
        d.voiceState[v] = CEngineData::kVoiceIdle;
    }
    return e;
}

// A smoothed part value (cells 1..64 follow their targets).
inline void SetSmoothed(CEngineData& d, int part, int id, float v)
{
    d.partTargets[part][id] = v;
    d.SetPartF(part, id, v);
}

// An active part at full level with only the given modules on, its output
// taken from outCode, and the sample-rate divider cells as the parameter
// model writes them.
inline void SetUpPart(CEngine& e, int part, uint32_t mask, int32_t outCode, int divider = 0)
{
    CEngineData& d = e.data;
    d.partActive[part] = part;
    static constexpr float kDividerPitch[3] = {0.0f, 0.0625f, 0.125f};
    static constexpr float kDividerCutoff[3] = {0.0f, 0.1f, 0.2f};
    const int div = divider < 0 ? 0 : (divider > 2 ? 2 : divider);
    d.SetPartI(part, 272, divider);
    d.SetPartF(part, 273, kDividerPitch[div]);
    d.SetPartF(part, 274, kDividerCutoff[div]);
    d.SetPartF(part, 277, static_cast<float>(1 << div) / static_cast<float>(g_GlobalData.blockSize));
    d.SetPartF(part, 148, 0.6470571f);  // common pitch: 440 Hz at note pitch 0
    for (int id : {151, 159, 168})      // key tracking of the three oscillators
        d.SetPartF(part, id, 1.0f);
    d.SetPartF(part, 145, 1.0f);        // pitch glide completes at once
    d.SetPartI(part, 270, static_cast<int32_t>(mask));
    d.SetPartI(part, 255, outCode);
    d.SetPartI(part, 155, 4);           // sine
    SetSmoothed(d, part, 20, 1.0f);     // voice level
    SetSmoothed(d, part, 21, 0.5f);     // voice pan
    SetSmoothed(d, part, 18, 1.0f);     // filter drive
    SetSmoothed(d, part, 34, 1.0f);
    d.SetSettingF(part, CEngineData::kSetLevel, 1.0f);
    d.SetSettingF(part, CEngineData::kSetPan, 0.5f);
    d.partMixerTargets[part][2] = 1.0f;
    d.partMixerTargets[part][3] = 0.5f;
    d.globalTargets[6] = 1.0f;
    d.globalTargets[7] = 0.5f;
}

// Every module of the voice chain on, in series:
inline void SetUpFullChain(CEngineData& d, int part)
{
    // oscillators 2 and 3 frequency-modulated by oscillator 1, a unison
    // oscillator 1, ring modulation, a mixer of every source, shaper,
    // waveguide, both filters, formant and terrain filter in series.
    d.SetPartI(part, 163, 0);
    d.SetPartI(part, 172, 4);
    d.SetPartI(part, 356, 1);
    d.SetPartI(part, 238, kOsc1Out);
    d.SetPartI(part, 239, kOsc2Out);
    d.SetPartI(part, 240, kOsc1Out);
    d.SetPartI(part, 241, kOsc3Out);
    d.SetPartI(part, 242, kOsc1Out);
    d.SetPartI(part, 243, kOsc2Out);
    d.SetPartI(part, 244, kRingOut);
    d.SetPartI(part, 245, kSpectrumOut);
    d.SetPartI(part, 246, kPinkOut);
    d.SetPartI(part, 247, kSubOut);
    d.SetPartI(part, 249, kOsc3Out);
    d.SetPartI(part, 248, kMixerOut);
    d.SetPartI(part, 253, kShaperOut);
    d.SetPartI(part, 254, kWaveguideOut);
    d.SetPartI(part, 250, kWaveguideOut);
    d.SetPartI(part, 229, 0);
    d.SetPartI(part, 257, kFilter1Out);
    d.SetPartI(part, 233, 3);
    d.SetPartI(part, 256, kFilter2Out);
    d.SetPartI(part, 237, kFormantOut);
    d.SetPartI(part, 339, kSpectrumOut);
    d.SetPartI(part, 331, 1);  // all six spectral sub-oscillators
    for (int id : {7, 8, 9, 10, 11, 12, 15})
        SetSmoothed(d, part, id, 0.3f);
    SetSmoothed(d, part, 16, 0.7f);
    SetSmoothed(d, part, 32, 0.6f);
    SetSmoothed(d, part, 62, 0.8f);
    for (int id : {22, 25, 28})
        SetSmoothed(d, part, id, 0.4f);
}

inline void StartVoice(CEngine& e, int v, int part, float notePitch)
{
    CEngineData& d = e.data;
    d.voicePart[v] = part;
    d.voiceState[v] = 0;
    d.SetControlI(v, CEngineData::kVcGate, 1);
    d.SetControlF(v, CEngineData::kVcNotePitch, notePitch);
    d.SetControlF(v, CEngineData::kVcNoteGain, 1.0f);
    e.partSounding[part] = 1;
}

// Renders whole blocks (ControlTick + RenderBlock) and returns the left
// channel of the output.
inline std::vector<float> Render(CEngine& e, int frames)
{
    const int block = g_GlobalData.blockSize;
    std::vector<float> out(2 * static_cast<size_t>(block));
    std::vector<float> left;
    left.reserve(static_cast<size_t>(frames) + block);
    while (static_cast<int>(left.size()) < frames) {
        e.ControlTick();
        e.RenderBlock(out.data());
        for (int j = 0; j < block; ++j)
            left.push_back(out[2 * j]);
    }
    left.resize(static_cast<size_t>(frames));
    return left;
}

// FNV-1a over the bits of what a render leaves (output, records), for the
// end-to-end tests that hold today's render to the hashes stored with them.
struct BitHash {
    uint64_t value = 14695981039346656037u;
    void Add(const void* data, size_t bytes)
    {
        const auto* b = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < bytes; ++i)
            value = (value ^ b[i]) * 1099511628211u;
    }
};
// A hash as the tables store it, for the failure messages.
inline std::string HashText(uint64_t h)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, h);
    return text;
}

// Frequency from the upward zero crossings from sample `from` on, each placed
// by linear interpolation between the two samples around it.
inline double ZeroCrossingFrequency(const std::vector<float>& x, size_t from, double rate)
{
    double first = -1.0, last = -1.0;
    long cycles = -1;
    for (size_t n = from + 1; n < x.size(); ++n) {
        if (x[n - 1] < 0.0f && x[n] >= 0.0f) {
            const double t = static_cast<double>(n - 1) + x[n - 1] / (x[n - 1] - static_cast<double>(x[n]));
            if (first < 0.0)
                first = t;
            last = t;
            ++cycles;
        }
    }
    return cycles > 0 ? static_cast<double>(cycles) * rate / (last - first) : 0.0;
}

} // namespace render_fixture
