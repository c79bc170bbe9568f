#pragma once
// The engine's shared state: voice tables, part settings, the per-part
// parameter arrays, the voice records and the oscillator wave tables.
//
// Cells that the parameter model, the MIDI side and the engine stages read
// either as an integer or as a float are single 32-bit words. They are kept
// as uint32_t and converted with std::bit_cast through the accessors below,
// so that a write from the GUI thread is always one whole word.
#include <atomic>
#include <bit>
#include <cstdint>

#include "engine/CTLWaves.h"

class CEngineData {
public:
    static constexpr int kParts = 16;
    static constexpr int kVoices = 128;
    static constexpr int kOscillators = 3;
    static constexpr int kPartCells = 2272;
    static constexpr int kPartTargets = 512;
    static constexpr int kSettingsWords = 32;
    static constexpr int kVoiceControlCells = 282;
    static constexpr int kVoiceAudioCells = 358;
    static constexpr int kGlobalCells = 128;
    static constexpr int kGlobalWorkCells = 71;
    static constexpr int kPartWorkCells = 128;

    // Voice states: 0..9 sounding (quiet blocks counted after release).
    static constexpr int32_t kVoiceFree = 10;
    static constexpr int32_t kVoiceIdle = 1000000;

    // Table references live in 32-bit cells; the build is 64-bit, so a cell
    // holds the index of a table instead of its address. Index 0 is the
    // default table (the first basic wave of CTLWaves, or selectable shape 0
    // of CTLShapes for part cell 182).
    static constexpr int32_t kDefaultTable = 0;

    // Table references written by the control stage. An oscillator table
    // (audio cells 115..117) is slot × 16 + band level of CTLWaves::waves; a
    // spectral region table (the Y1, X1, Y2, X2 cells of a sub-oscillator
    // group) is (part × 2 + wave B) × 64 + region. Reference 0 is the
    // default table of each kind. The readers limit a stray reference.
    static constexpr int32_t OscTableRef(int slot, int level) { return slot * CTLWaves::kLevels + level; }
    static constexpr int32_t SpectrumTableRef(int part, bool waveB, int region)
    {
        return (part * 2 + (waveB ? 1 : 0)) * CTLWaves::kRegions + region;
    }
    const CTLBase::Segment* OscTable(int32_t ref) const
    {
        if (ref < 0 || ref >= CTLWaves::kSlotSpectrumA * CTLWaves::kLevels)
            ref = kDefaultTable;
        const CTLBase::Segment* base = waves.waves[ref / CTLWaves::kLevels];
        return base ? base + (ref % CTLWaves::kLevels) * CTLWaves::kWaveSegments : nullptr;
    }
    const CTLBase::Segment* SpectrumTable(int32_t ref) const
    {
        if (ref < 0 || ref >= kParts * 2 * CTLWaves::kRegions)
            ref = kDefaultTable;
        const int region = ref % CTLWaves::kRegions;
        const int wave = ref / CTLWaves::kRegions;
        return waves.SpectrumRegion(wave / 2, (wave & 1) != 0, region);
    }

    // Voice control cells that the note start, the control stage and the
    // render share (the full map is in the record description).
    enum : int {
        kVcKey = 73, kVcNotePitch = 74, kVcNoteGain = 76, kVcGate = 78, kVcRetrigger = 80,
        kVcEgLevel = 81,     // EG n level at 81 + 2 (n - 1), its output one cell later
        kVcEgStage = 95,     // EG n stage, target, delay counter at 95 + 4 (n - 1) ...
        kVcLfoPhase = 111,   // LFO n phase at 111 + n - 1 (24-bit)
        kVcCutoffRequest1 = 126, kVcCutoffRequest2 = 134,
        kVcEgHold = 182,     // EG n hold counter at 182 + n - 1
        kVcFormantJump = 230,
        kVcMeg1Index = 243, kVcMegClock = 244, kVcMeg1End = 245,
        kVcMegOutput = 246,  // MEG m output, offset, value, factor at 246 + 4 (m - 1)
        kVcMeg2Index = 272,  // MEG2..4 index and end in pairs from 272
        // Per-block increment of MEG m while it runs a straight segment, at
        // 98 + 4 (m - 1) (the free cell after each EG's stage triple).
        kVcMegStraightStep = 98,
    };
    // Stopped multi-segment envelope: its end cell holds this.
    static constexpr int32_t kMegStopped = 2000000000;
    // Voice audio cells shared by the note start and the control stage.
    enum : int { kAcRestartCount = 196, kAcSpectrumGroup = 202, kAcSpectrumGroupCells = 13 };
    // State cells of the per-sample render. A voice restart clears 121..143,
    // 145, 150, 151, 165, 166, 197 and 198, which covers every filter,
    // formant, DC-blocker and waveguide state listed here. Both voice filters
    // keep their current input in kAcFilterInput (a type-3 routing reads it).
    enum : int {
        kAcFilterInput = 164, kAcWaveguidePosition = 149, kAcOutputLow = 150, kAcShaperLow = 151,
        kAcWaveguideY = 197, kAcWaveguideA = 198, kAcSpectrumOut = 201, kAcOutputPower = 302,
    };

    // Part settings words.
    enum : int {
        kSetReverbSend = 0, kSetChorusSend = 1, kSetLevel = 2, kSetPan = 3,
        kSetMidiChannel = 4, kSetKeyLow = 5, kSetKeyHigh = 6, kSetMute = 9,
        kSetVoiceCount = 10, kSetSolo = 11, kSetAnySolo = 12, kSetOutputPair = 14
    };
    // Global smoothed cell holding the glide coefficient of part values.
    static constexpr int kGlideCell = 5;

    // Cells of the part effects and the master stage. Positions and delay
    // lengths are whole numbers held as float values in their float cells.
    enum : int {
        // Part record: effect parameters, switches and the output peak.
        kFxModType = 278, kFxModMix = 284, kFxDelayType = 285,
        kFxDelayFeedback = 288, kFxDelayLevel = 289, kFxDistType = 292,
        kFxDistTone = 294, kFxDistOn = 315, kFxDelayOn = 316, kFxModOn = 317,
        kFxModDual = 393, kFxPartPeak = 415,
        // Part working cells W.
        kFxModTime = 13,              // 13, 15, 17, 19; each step follows
        kFxModFeedback = 21,          // its step in 22
        kFxModPosition = 23,
        kFxPhaserFeedbackLeft = 24,   // stage states 25..32
        kFxPhaserFeedbackRight = 65,  // stage states 66..73
        kFxDelayLengthLeft = 33, kFxDelayLengthRight = 34,
        kFxDelayDampB = 35, kFxDelayDampA = 36, kFxDelayPosition = 37,
        kFxDelayStateLeft = 38, kFxDelayStateRight = 39,
        kFxDistFilterGain = 44,       // 44..47, steps 48..51
        kFxDistFilterState = 52,      // 52..54 left, 55..57 right
        kFxDistDrive = 58,            // step 59
        kFxDistDcLeft = 60, kFxDistDcRight = 61,
        kFxDistOutGain = 63,          // step 64
        // Global smoothed values.
        kGlobMasterLevel = 6, kGlobBalance = 7, kGlobReverbReturn = 8,
        kGlobChorusReturn = 9, kGlobChorusFeedback = 22, kGlobReverbOn = 23,
        kGlobChorusOn = 24, kGlobMeterLeft = 126, kGlobMeterRight = 127,
        // Global working cells G.
        kGwPredelay = 0, kGwLineLength = 1,   // 1..6
        kGwAllpassLength = 7,                 // 7..12 left, 13..18 right
        kGwLineGain = 19,                     // 19..24
        kGwAllpassCoef = 26,                  // 26..31 left, 32..37 right
        kGwDampCurrent = 38, kGwDampPrevious = 39,
        kGwLineOut = 40,                      // 40..45
        kGwReverbPosition = 46, kGwAllpassPosition = 47, kGwReverbInput = 49,
        kGwChorusTime = 62,                   // 62, 64, 66, 68; steps follow
        kGwChorusPosition = 70
    };

    CEngineData();
    virtual ~CEngineData();
    CEngineData(const CEngineData&) = delete;
    CEngineData& operator=(const CEngineData&) = delete;

    void Reset();
    void InitVoice(int voice);
    // Negative part: every part.
    void ClearPartVoices(int part);
    int32_t GetPartValueInt(int part, int id) const;
    int32_t GetPartSetting(int part, int word) const;

    // Word access. Arguments are trusted (engine-internal indices).
    static float AsFloat(uint32_t w) { return std::bit_cast<float>(w); }
    static int32_t AsInt(uint32_t w) { return std::bit_cast<int32_t>(w); }
    static uint32_t FromFloat(float f) { return std::bit_cast<uint32_t>(f); }
    static uint32_t FromInt(int32_t i) { return std::bit_cast<uint32_t>(i); }

    float PartF(int part, int id) const { return AsFloat(partRecord[part][id]); }
    int32_t PartI(int part, int id) const { return AsInt(partRecord[part][id]); }
    void SetPartF(int part, int id, float v) { partRecord[part][id] = FromFloat(v); }
    void SetPartI(int part, int id, int32_t v) { partRecord[part][id] = FromInt(v); }
    // A part cell the audio thread writes while the GUI thread reads it to
    // draw it (the 8D pad's gliding points): one relaxed atomic word each way.
    float SharedPartF(int part, int id) const {
        return AsFloat(std::atomic_ref<uint32_t>(const_cast<uint32_t&>(partRecord[part][id])).load(std::memory_order_relaxed));
    }
    void SetSharedPartF(int part, int id, float v) {
        std::atomic_ref<uint32_t>(partRecord[part][id]).store(FromFloat(v), std::memory_order_relaxed);
    }

    float SettingF(int part, int word) const { return AsFloat(partSettings[part][word]); }
    int32_t SettingI(int part, int word) const { return AsInt(partSettings[part][word]); }
    void SetSettingF(int part, int word, float v) { partSettings[part][word] = FromFloat(v); }
    void SetSettingI(int part, int word, int32_t v) { partSettings[part][word] = FromInt(v); }

    float ControlF(int voice, int cell) const { return AsFloat(voiceControl[voice][cell]); }
    int32_t ControlI(int voice, int cell) const { return AsInt(voiceControl[voice][cell]); }
    void SetControlF(int voice, int cell, float v) { voiceControl[voice][cell] = FromFloat(v); }
    void SetControlI(int voice, int cell, int32_t v) { voiceControl[voice][cell] = FromInt(v); }

    float AudioF(int voice, int cell) const { return AsFloat(voiceAudio[voice][cell]); }
    int32_t AudioI(int voice, int cell) const { return AsInt(voiceAudio[voice][cell]); }
    void SetAudioF(int voice, int cell, float v) { voiceAudio[voice][cell] = FromFloat(v); }
    void SetAudioI(int voice, int cell, int32_t v) { voiceAudio[voice][cell] = FromInt(v); }

    int32_t voicesInUse = 0;
    // Rendered blocks. The MIDI input threads read it to time their events.
    std::atomic<uint32_t> blockCounter{0};
    int32_t voicePart[kVoices];
    int32_t voiceState[kVoices];
    int32_t partActive[kParts];
    float globalTargets[kGlobalCells];
    float globalValues[kGlobalCells];
    float globalWork[kGlobalWorkCells];
    // {reverb send, chorus send, level, pan}
    float partMixerTargets[kParts][4];
    uint32_t partSettings[kParts][kSettingsWords];
    float partTargets[kParts][kPartTargets];
    uint32_t partRecord[kParts][kPartCells];
    float partWork[kParts][kPartWorkCells];
    uint32_t voiceControl[kVoices][kVoiceControlCells];
    uint32_t voiceAudio[kVoices][kVoiceAudioCells];
    CTLWaves waves;

private:
    void ClearVoiceRecords(int voice);
};
