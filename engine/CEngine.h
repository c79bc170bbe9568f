#pragma once
// The whole sound engine as one object of fixed size. Every buffer the
// render needs exists from construction on, so nothing is allocated while
// sound is rendered. The object is several tens of megabytes: it is always
// allocated on the heap (inside the heap-allocated CSynth, or on its own in
// tests).
#include <atomic>
#include <cstdint>

#include "core/CMultiSample.h"
#include "engine/CConstants.h"
#include "engine/CEngineData.h"
#include "engine/CFastResample.h"
#include "engine/CResample.h"
#include "engine/CTerrainFilter.h"
#include "engine/PartControl.h"
#include "engine/VoiceLanes.h"

class CEngine {
public:
    static constexpr int kParts = CEngineData::kParts;
    static constexpr int kVoices = CEngineData::kVoices;
    static constexpr int kOscillators = CEngineData::kOscillators;
    static constexpr int kMultiSamples = kParts * kOscillators;   // part * 3 + oscillator
    static constexpr int kResamplers = kVoices * kOscillators;    // voice * 3 + oscillator
    static constexpr int kWaveRing = 2048;
    static constexpr int kMasterLongLine = 16384;
    static constexpr int kShortLine = 4096;
    static constexpr int kPartDelayLine = 32768;
    static constexpr int kBlockFrames = 32;
    static constexpr uint32_t kNoiseSeed = 486723u;
    static constexpr uint32_t kNoiseSeedStep = 1793354217u;

    CEngine();
    virtual ~CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    void Init();

    // The per-block stages. The control stage advances the block counter and
    // lets the part values glide; the render writes one block of interleaved
    // stereo frames.
    void ControlTick();
    void RenderBlock(float* out);
    // Per-sample output stage, run by the render once per output sample:
    // ClearMasterBuses, then for every sounding part its sample pair
    // (partSampleLeft/Right) through ProcessPartOutput, then
    // ProcessMasterOutput, which writes one interleaved frame.
    void ClearMasterBuses();
    // Distortion, delay and modulation effect, then pan and sends.
    void ProcessPartOutput(int part);
    void ProcessDistortion(int part);
    void ProcessDelay(int part);
    void ProcessModEffect(int part);
    void AddPartToMaster(int part);
    // Reverb, chorus and the master stage; frame gets left, then right.
    void ProcessMasterOutput(float* frame);
    void ProcessMasterReverb();
    void ProcessMasterChorus();
    void ProcessMasterStage(float* frame);

    // Clears a part's effect lines and voices; a part outside 0..15 resets
    // every part. The master reverb and chorus lines are kept either way.
    void ResetPart(int part);
    void ClearAllEffectLines();
    // Smoothed cells (part values, mixer words and, for a part outside
    // 0..15, the gliding globals) that are not finite jump to their targets.
    void RepairSmoothedCells(int part);
    // Called by the master stage when a frame comes out non-finite: clears
    // every effect line (once per run of such frames) and repairs the
    // smoothed cells.
    void RecoverOutput();
    void ClearVoiceBuffers(int voice);
    void InitVoiceBuffers();
    void InitVoiceNoise();
    void ResetVoiceNoise(int voice);
    void ClearVoiceState(int voice);
    void RestartSyncedLFOs(int part);
    void ResetVoiceModValues(int voice);
    int32_t TogglePartMute(int part);
    // True when every multi-sample of the part is saved (or had nothing to
    // save); failures is as for os::ReplaceFileOrSay.
    bool SavePartMultiSamples(int part, std::string* failures = nullptr);
    void DumpVoice() const;

    static float LevelToMeter(float level);
    // Every level meter at rest, as after silence. Only while no block
    // renders: a device that stopped leaves them where its last block did.
    void ResetMeters();
    float GetFilter1InputMeter(int part) const;
    float GetFilter2InputMeter(int part) const;
    float GetPartOutputMeter(int part) const;

    // The per-voice render and control stage, one voice after another, kept
    // beside the faster paths as their reference: the benchmarks and the
    // equivalence tests compare the two in one run.
    bool scalarRender = false;
    // Blocks in a row in which no part sounded and the output stayed below
    // kMasterQuietLevel (about -180 dB); past kMasterRestBlocks (twice the
    // reverb's longest line) the master effects rest.
    static constexpr float kMasterQuietLevel = 1e-9f;
    static constexpr uint32_t kMasterRestBlocks = 2 * kMasterLongLine / kBlockFrames;
    uint32_t masterQuietBlocks = 0;

    CMultiSample& MultiSample(int part, int osc) { return multiSamples[part * kOscillators + osc]; }

    // Tempo as samples per tick (96 ticks per quarter note), the synced-LFO
    // phase step per block and 120 / beats per minute. Tempo edits on the GUI
    // thread and the MIDI clock on the audio thread set them while the
    // control stage reads them: relaxed atomic words, through these two.
    float tempoValue = 0.0f;
    float tempoIncrement = 0.0f;
    float tempoFactor = 0.0f;
    static float LoadTempo(const float& cell) {
        return std::atomic_ref<float>(const_cast<float&>(cell)).load(std::memory_order_relaxed);
    }
    static void StoreTempo(float& cell, float value) {
        std::atomic_ref<float>(cell).store(value, std::memory_order_relaxed);
    }
    // Smoothing pairs: pole and complement.
    float smoothPole = 0.995f;
    float smoothGain = 0.005f;
    float fastPole = 0.95f;
    float fastGain = 0.05f;
    // Written by the GUI thread during a program load, read by the render.
    std::atomic<int32_t> partLoading[kParts];
    uint32_t partSounding[kParts] = {};
    float partMix[kParts][128];
    // Per voice three 2048-float rings (the first is the waveguide line),
    // rows of three process-wide arrays.
    float* voiceRing[3][kVoices];
    uint32_t noiseSeed[kVoices];
    float pinkState[6][kVoices];
    // Per-sample master buses and the part sample pair.
    int32_t outputUsed = 0;
    float masterLeft = 0.0f, masterRight = 0.0f;
    float reverbSendLeft = 0.0f, reverbSendRight = 0.0f;
    float chorusSendLeft = 0.0f, chorusSendRight = 0.0f;
    float partSampleLeft = 0.0f, partSampleRight = 0.0f;
    // Set while the master stage puts out 0 for non-finite frames; the
    // block in which it last repaired the smoothed cells.
    bool outputBroken = false;
    uint32_t repairedBlock = 0;
    // Field 0 filter-1 input, 1 filter-2 input, 2 further level, 3 part output.
    // The audio thread writes the meters and the GUI reads them as they
    // come: each access is one relaxed atomic load or store (ReadMeter,
    // WriteMeter).
    float partMeters[kParts][4];
    float masterMeterLeft = 0.0f, masterMeterRight = 0.0f;
    static float ReadMeter(const float& meter) {
        return std::atomic_ref<float>(const_cast<float&>(meter)).load(std::memory_order_relaxed);
    }
    static void WriteMeter(float& meter, float value) {
        std::atomic_ref<float>(meter).store(value, std::memory_order_relaxed);
    }
    float reverbMatrix[6][6];
    float reverbDamping[24];
    CEngineData data;
    // Master effects: pre-delay and six reverb lines; twelve all-pass rings;
    // four chorus rings.
    float reverbLines[7][kMasterLongLine];
    float allpassLines[12][kShortLine];
    float chorusLines[4][kShortLine];
    // Part effects.
    float partModDelay[4][kParts][kShortLine];
    float partDelayLeft[kParts][kPartDelayLine];
    float partDelayRight[kParts][kPartDelayLine];
    CTerrainFilter* terrainFilters[kVoices] = {};
    CMultiSample multiSamples[kMultiSamples];
    CResample resamplers[kResamplers];
    CFastResample fastResamplers[kResamplers];
    CConstants constants;

private:
    void ResetVoice(int voice);

    // Stages of ControlTick, in their order (engine/CEngineControl.cpp).
    void SmoothPartParameters();
    // The per-voice stages, part by part: the part's values once, then
    // pitch and modulation, envelopes and LFOs, oscillator increments,
    // filters (four voices at once), oscillators and multi-segment
    // envelopes of each of its voices.
    void ControlVoices();
    using PartControl = engine::PartControl;
    void SetUpPartControl(int part, float tempo, float unitGain, PartControl& pc);
    void SetUpPartStructure(PartControl& pc);
    // Each part's control values, kept from block to block.
    PartControl partControls[kParts];
    void ControlVoicePitch(const PartControl& pc, int voice, float unitGain);
    void ControlVoiceEnvelopesLFOs(const PartControl& pc, int voice, float tempo);
    void ControlVoiceIncrements(const PartControl& pc, int voice);
    void ControlVoiceOscillators(const PartControl& pc, int voice);
    void ControlVoiceMultiEnvelopes(const PartControl& pc, int voice);
    void ControlChorusLFO();
    void ControlPartEffects();
    void Glide8DValues();
    void UpdateMeters();
    // Helpers of the stages.
    void SetUpFilter(const PartControl& pc, int voice, int filter);
    void SetUpFilterLanes(const PartControl& pc, const uint8_t* voices, int count, int filter);
    void SetUpFormant(int voice);
    void SetUpSpectrum(int voice, int shift);
    void SetUpWaveguide(int voice);
    void SelectSpectrumRegion(int voice, int group, int32_t q);
    void StepMultiEnvelopes(const PartControl& pc, int voice);
    friend struct CEngineControlAccess;  // white-box access for the tests
    // Helpers of the part effects (engine/CEngineEffects.cpp).
    void ProcessPhaser(int part, bool dual, float mix);
    // Helpers of the render (engine/CEngineRender.cpp).
    int RenderDivider(int part) const;
    void RenderVoice(int voice, int part, int frames, int divider);
    // Every sounding voice into its part's mix: the voices of a part side by
    // side in vector lanes where its chain allows, else one by one.
    void RenderVoices(int frames);
    bool PartRendersInLanes(int part, const int* voices, int count) const;
    void SetUpLanePart(int part, int frames, int divider, voice_lanes::PartSetup& setup) const;
    struct LaneVoice {
        int voice, part;
    };
    // `count` voices (of parts set up alike, each part's voices together)
    // through the kernel of `width` lanes.
    void RenderLanes(const voice_lanes::PartSetup& setup, const voice_lanes::CellMoves& moves,
                     const LaneVoice* voices, int count, int width);
    // The cells the groups of a set-up move between records and rows.
    static void SetUpLaneMoves(const voice_lanes::PartSetup& setup, voice_lanes::CellMoves& moves);
    // Whether a set-up's chain leaves out every heavier module (terrain,
    // spectral, formant, sub-pulses, shaper, waveguide, unison).
    static bool LightChain(const voice_lanes::PartSetup& setup);
    // 2 * `width` voices as two whole groups side by side.
    void RenderLanePair(const voice_lanes::PartSetup& setup, const voice_lanes::CellMoves& moves,
                        const LaneVoice* voices, int width);
    void FillGroup(voice_lanes::Group& g, const voice_lanes::PartSetup& setup, const voice_lanes::CellMoves& moves,
                   const LaneVoice* voices, int count, int width);
    // A rendered group's lanes into their parts' mixes and voice states.
    void MixGroup(const voice_lanes::Group& g, const LaneVoice* voices, int count);
    voice_lanes::PartSetup laneSetups[kParts];
    voice_lanes::CellMoves laneMoves[kParts];
    voice_lanes::PartSetup laneMovesFor[kParts];  // the set-up each part's moves were made for
    voice_lanes::Group laneGroup[2];
    uint32_t laneSpare[CEngineData::kVoiceAudioCells] = {};
    float laneSpareRing[kWaveRing] = {};
    void FillSubSamples(int part, int frames, int divider);
    // The sounding parts' output stage over the block into the master buses
    // of each frame (master, reverb send, chorus send; left, right).
    void MixPartsIntoBuses(const bool* run, int frames);
    float buses[6][kBlockFrames] = {};
    bool busesUsed = false;
};
