#pragma once
// Arpeggiator of the 16 parts: plays the keys held on a part one after the
// other, on a clock of 96 ticks per quarter note that runs from
// construction on. Four slots of a part's program shape it: 334 mode (bit 0
// on, bit 1 keeps released keys), 335 octaves, 336 rhythm, 337 direction.
// While a part's arpeggio is on, the MIDI dispatch leaves its notes to it.
//
// Audio thread, except SetTempo (also the GUI thread).
#include <atomic>
#include <cstdint>

class CSynth;

class CArpeggiator {
public:
    static constexpr int kParts = 16;
    static constexpr int kMaxOctaves = 8;
    // Program slots, as the engine's part record holds them.
    static constexpr int kSlotMode = 334;
    static constexpr int kSlotOctaves = 335;
    static constexpr int kSlotRhythm = 336;
    static constexpr int kSlotDirection = 337;
    enum Direction { kUp = 0, kDown = 1, kAlternate = 2, kRandom = 3 };

    explicit CArpeggiator(CSynth* synth);
    virtual ~CArpeggiator();
    CArpeggiator(const CArpeggiator&) = delete;
    CArpeggiator& operator=(const CArpeggiator&) = delete;

    // Ignored unless bpm is a positive number.
    void SetTempo(float bpm);
    // Once per engine block, after the MIDI dispatch.
    void Process();
    // Whether the part's arpeggio is switched on, so that the dispatch
    // leaves its notes alone.
    bool IsPartActive(int part) const;
    // The mode slot of the part (0 off); the sequencer plays only parts
    // whose mode is 0.
    int GetMode(int part) const;
    // Step length in ticks of rhythm r (0..17 note lengths, 18..25 patterns
    // that advance the part's pattern step, anything else a 16th).
    int32_t StepTicks(int rhythm, int part);

    CSynth* synth;
    uint8_t active[kParts] = {};
    uint8_t holdMode[kParts] = {};
    int32_t tickCopy = 0;
    // 64 bits: at 44100 Hz a 32-bit count wraps after 27 hours, falls below
    // the next tick time and stops the clock for good.
    uint64_t sampleCounter = 0;
    double nextTickTime = 0.0;
    uint64_t tick = 0;
    std::atomic<double> samplesPerTick{0.0};
    int32_t currentNote[kParts] = {};
    int32_t currentVelocity[kParts] = {};
    int32_t noteIndex[kParts] = {};
    int32_t patternStep[kParts] = {};
    int32_t octave[kParts] = {};
    int64_t nextStepTick[kParts] = {};
    int64_t noteOffTick[kParts] = {};
    int32_t previousKeyCount[kParts] = {};
    uint8_t noteSounding[kParts] = {};
    uint8_t directionUp[kParts] = {};

private:
    // Counts one tick when the block reaches it; true for a tick block.
    bool AdvanceClock();
    bool IsActive(int part);
    int32_t Slot(int part, int slot) const;
    int Octaves(int part) const;
    bool GetNthKey(int part, int n, int32_t& key, uint32_t& velocity);
    int CountKeys(int part);
    void NextNote(int part);
    void SendNoteOn(int part);
    void SendNoteOff(int part);
};
