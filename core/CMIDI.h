#pragma once
// MIDI dispatch of the 16 parts: takes the events that fall due in the
// current engine block out of the queue, records their keys, routes each
// message to the parts listening on its channel, and turns notes into voices
// (allocation, stealing, mono priority, unison, sustain, note start).
//
// Everything that touches voices runs on the audio thread. The editor's
// on-screen keyboard plays through RouteMessage on the GUI thread; those
// messages wait in a ring of their own until the next block picks them up.
#include <atomic>
#include <cstdint>

#include "core/CMIDIInputRing.h"
#include "core/CMIDIQueue.h"

class CEngine;
class CKeyboard;
class CSynth;

class CMIDI {
public:
    static constexpr int kParts = 16;
    static constexpr int kVoices = 128;
    static constexpr int kKeys = 128;
    // Polls of the activity light that a note keeps it lit for.
    static constexpr int kActivityHold = 30;
    // Every voice of every part, for KillVoices.
    static constexpr int kAllParts = -1;

    CMIDI(CEngine* engine, CSynth* synth);
    virtual ~CMIDI();
    CMIDI(const CMIDI&) = delete;
    CMIDI& operator=(const CMIDI&) = delete;

    // Audio thread, first step of every engine block.
    void ProcessBlock();
    void PreScanMessage(uint32_t message);
    // GUI thread (editor keyboard): the message is handed to the audio
    // thread, which routes it at the start of its next block. False when the
    // ring is full and the message was dropped.
    bool RouteMessage(uint32_t message, int32_t noteValueB, uint32_t timeStamp, uint8_t flagA,
                      uint8_t flagB);
    // Audio thread: one message for one part (also the arpeggiator's and
    // the sequencer's entry). Malformed messages are dropped.
    void HandlePartMessage(int part, int status, int data1, int data2, uint32_t timeStamp,
                           int32_t noteValueB, uint8_t flagA, uint8_t flagB);
    // GUI thread: polled activity light of a part.
    uint8_t PartActivity(int part);
    // Short messages for the part's MIDI channel; 0 (dropped everywhere)
    // for a part that listens to no channel or a key outside 0..127.
    uint32_t MakeNoteOn(int part, int key, int velocity) const;
    uint32_t MakeNoteOff(int part, int key, int velocity) const;

    // Voice allocation and note start.
    void HandleNote(int part, int status, int key, int velocity);
    void StartVoice(int voice, int key, int velocity, bool continued, int32_t noteValueB,
                    uint8_t generator, uint8_t retrigger);
    bool FindPriorityKey(int part, int& key, int& velocity);
    void ReleaseVoice(int voice);
    void ReleaseUngatedVoices(int part);
    // Negative part: every voice.
    void KillVoices(int part);
    void AllNotesOff();
    static float VelocityCurveA(int v);
    static float VelocityCurveB(int v);

    // MIDI learn, clock sync and tuning files come later; until then these
    // are no-ops.
    void LoadSettings();
    void ApplyLearnedController(int part, int status, int controller, int value);
    void OnClockTick(uint32_t timeStamp);
    void OnStart(uint32_t timeStamp);
    void OnContinue();
    void OnStop();

    // Whether a packed short message is one the dispatcher acts on safely:
    // a status byte, and data bytes below 0x80.
    static bool IsValidMessage(uint32_t message);

    CEngine* engine;
    CKeyboard* keyboard;
    CSynth* synth;
    CMIDIQueue queue;
    CMIDIInputRing guiRing;
    std::atomic<uint8_t> channelActivity[16];
    std::atomic<int32_t> activityHold{0};
    int32_t lastVoice[kParts];
    bool unisonMemory[kParts];
    uint8_t alternating[kParts];
    // Microtuning, filled by the tuning loader.
    uint8_t tuningLoaded[kParts];
    float tuning[kParts][kKeys];
    // Per-part controller state.
    float modWheel[kParts];
    float pitchBend[kParts];
    uint8_t sustain[kParts];

private:
    void Dispatch(uint32_t message, int32_t noteValueB, uint32_t timeStamp, uint8_t flagA,
                  uint8_t flagB);
    // Whether a note message for this part reaches it at all.
    bool PartTakesNote(int part, int key);
    void NoteOn(int part, int key, int velocity, int32_t noteValueB, uint8_t flagB);
    void NoteOff(int part, int key, uint8_t flagB);
    void ControlChange(int part, int status, int controller, int value);
    void ReleaseEnvelopes(int voice, int part);
    // Parts of the note start: the sampled oscillators and their resamplers;
    // the LFO phases, multi-envelopes and envelopes.
    void StartMultiSamples(int voice, int part, float pitch, int velocity, float startOffset);
    void StartModulators(int voice, int part, bool continued, uint8_t generator, uint8_t retrigger);
    int VoicesInUse() const;
    int PartChannel(int part) const;
    bool IsMono(int part) const;
    int32_t Unison(int part) const;
};
