#pragma once
// Cell roles and small helpers of the block control stage
// (engine/CEngineControl.cpp). Internal to it.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/CEngineData.h"
#include "engine/CTLBase.h"
#include "engine/EngineCells.h"
#include "engine/SafeMath.h"

namespace engine::control_stage {

using Segment = CTLBase::Segment;

inline constexpr float kPhase24 = 16777216.0f;
inline constexpr int32_t kPulseMin = 335544;    // 0.02 of a 24-bit phase
inline constexpr int32_t kPulseMax = 33218886;  // 1.98 of a 24-bit phase

// Runs fn for every voice that the stages process: voices in use that
// belong to a part and are not free.
template <typename Fn>
inline void ForEachVoice(CEngineData& d, Fn&& fn)
{
    const int inUse = std::clamp(d.voicesInUse, 0, CEngineData::kVoices);
    for (int v = 0; v < inUse; ++v) {
        const int part = d.voicePart[v];
        if (part < 0 || part >= CEngineData::kParts || d.voiceState[v] >= CEngineData::kVoiceFree)
            continue;
        fn(v, part, Cells{d.voiceControl[v]}, Cells{d.voiceAudio[v]}, Cells{d.partRecord[part]});
    }
}

// Float cells kept in float arrays that also hold integer phases.
inline int32_t WordI(const float& cell) { return std::bit_cast<int32_t>(cell); }
inline void SetWordI(float& cell, int32_t v) { cell = std::bit_cast<float>(v); }

template <std::size_t N>
inline float Lookup(const Segment (&table)[N], float x, float scale)
{
    return CTLBase::Evaluate(table, x * scale);
}

inline float Glide(float x, float target, float c) { return x + (target - x) * c; }

// The part cells that glide toward their targets besides 1..64, and the
// gliding global cells.
inline constexpr int kSmoothedPartCells[] = {284, 281, 282, 283, 289, 296, 288, 295, 294, 361, 362, 363};
inline constexpr int kSmoothedGlobalCells[] = {6, 8, 9, 7, 20, 21};
inline constexpr int kSmoothedMixerWords = 4;

// A cell that went non-finite jumps to its target (0 if that is not finite
// either): gliding from NaN would stay NaN for good.
inline void RepairCell(float& cell, float target)
{
    if (!std::isfinite(cell))
        cell = std::isfinite(target) ? target : 0.0f;
}

// The sample-rate divider d of a part (0..2). Assigned controllers write the
// cell without the parameter model's limits, so it is limited wherever read.
inline int Divider(const Cells& p) { return std::clamp(p.List(272), 0, 2); }

// Float ramp: the render adds the step to the value once per sample.
inline void RampF(Cells a, int cell, float target, float factor)
{
    // A ramp that went non-finite restarts at its target: stepping from NaN
    // would keep it NaN for the rest of the note.
    if (!std::isfinite(a.F(cell)))
        a.SetF(cell, target);
    a.SetF(cell + 1, (target - a.F(cell)) * factor);
}

// Integer ramp for phases' increments and offsets: a signed step over the
// block; a step of zero takes the target at once.
inline void RampI(Cells a, int cell, int32_t target, int shift)
{
    const int32_t diff = std::bit_cast<int32_t>(static_cast<uint32_t>(target) - a.U(cell));
    const int32_t step = diff >> shift;
    if (step == 0)
        a.SetI(cell, target);
    a.SetI(cell + 1, step);
}

// A table result stored into an integer cell.
inline int32_t ToCell(float x) { return RoundClamp(x, -2147483520, 2147483520); }

inline bool PartSilenced(const CEngineData& d, int part)
{
    const bool anySolo = d.SettingI(part, CEngineData::kSetAnySolo) != 0;
    const bool muted = d.SettingI(part, CEngineData::kSetMute) != 0;
    const bool solo = d.SettingI(part, CEngineData::kSetSolo) != 0;
    return anySolo ? !solo : muted;
}

// Voice control cells of EG n (0-based) and its part record block.
struct EgCells {
    int level, output, stage, target, delay, timeMod, rates, hold, modBase, part;
};
inline constexpr EgCells kEg[4] = {
    {81, 82, 95, 96, 97, 147, 149, 182, 193, 185},
    {83, 84, 99, 100, 101, 148, 154, 183, 196, 192},
    {85, 86, 103, 104, 105, 199, 159, 184, 200, 199},
    {87, 88, 107, 108, 109, 203, 164, 185, 204, 206},
};

// Filter roles of the two filter set-ups.
struct FilterCells {
    int cutoff, resonance, offset, smoothed, type, coef, weight, g1, g2, r1, r2, sectionOut, drive;
    uint32_t offBit;
};
inline constexpr FilterCells kFilter[2] = {
    {16, 17, 19, 241, 229, 119, 125, 231, 232, 251, 252, 125, 41, kOffFilter1},
    {32, 33, 35, 242, 233, 127, 133, 235, 236, 258, 259, 131, 63, kOffFilter2},
};

// Multi-segment envelope cells: part record and voice control record.
struct MegCells {
    int times, levels, slopes, count, mode, loopStart, loopEnd, loopSlope, source;
    int index, end, output, step;
};
inline constexpr MegCells kMeg[4] = {
    {1024, 1088, 1152, 347, 348, 349, 350, 351, -1, 243, 245, 246, 98},
    {2080, 1216, 1280, 368, 369, 370, 371, 352, 366, 272, 273, 250, 102},
    {2144, 1344, 1408, 374, 375, 376, 377, 353, 372, 274, 275, 254, 106},
    {2208, 1472, 1536, 380, 381, 382, 383, 354, 378, 276, 277, 258, 110},
};
inline constexpr int kMegPoints = 64;
// The shared clock counts sixteenths of a sample. It is moved back by this
// much (with every running end) before it could overflow; a stopped end
// stays far beyond anything the clock can reach.
inline constexpr int32_t kMegClockRebase = 1 << 30;
inline constexpr int32_t kMegMaxSegment = 1 << 29;

// Spectral configurations: enable mask and pitch offsets of the six
// sub-oscillators.
struct SpectrumConfig {
    uint32_t mask;
    float offset[6];
};
inline constexpr SpectrumConfig kSpectrumConfig[11] = {
    {0x3F, {0, 0, 0, 0, 0, 0}},
    {0x3F, {0, -0.0625f, 0, -0.0625f, 0, -0.0625f}},
    {0x3F, {0, -0.0625f, -0.125f, 0, -0.0625f, -0.125f}},
    {0x3F, {0, -0.0625f, -0.125f, -0.099060155f, -0.25f, -0.1451205f}},
    {0x0F, {0, -0.0625f, 0, -0.0625f, 0, 0}},
    {0x07, {0, 0, 0, 0, 0, 0}},
    {0x03, {0, 0, 0, 0, 0, 0}},
    {0x03, {0, -0.0625f, 0, 0, 0, 0}},
    {0x01, {0, 0, 0, 0, 0, 0}},
    {0x3F, {0, 0.02083332f, 0.036458313f, 0, 0.02083332f, 0.036458313f}},
    {0x3F, {0, 0.015624991f, 0.036458313f, 0, 0.015624991f, 0.036458313f}},
};
inline constexpr float kSpectrumDetune[6] = {0.51f, -0.51f, 0.0f, -1.01f, 0.71f, 0.3f};

} // namespace engine::control_stage
