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
#include <cstddef>
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
    // The MIDI channel the part listens to, -1 for none.
    int PartChannel(int part) const;

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

    // Reads "QVMIDI.qvm" and the tuning files of the 16 parts from the
    // program folder (the constructor calls it).
    void LoadSettings();

    // MIDI learn. Controller bindings are process-wide: every synthesizer of
    // the process shares them, and they outlive it through "QVMIDI.qvm"
    // (256 bytes of i16 kinds, then 256 bytes of i16 indexes, little-endian).
    // Kind -1 is no binding; only kind 0 (a part-sound parameter) acts.
    static constexpr int kControllers = 128;
    static constexpr size_t kLearnFileSize = 512;
    static constexpr uint32_t kClearOnly = 0xFFFFFFFFu;
    // Whether a controller bound to the target moves it: a part-sound value
    // (after the remap below). The mixer's, the master's and the editor's
    // own values take none.
    static bool Drives(int kind, int index);
    // GUI thread: the next controller that arrives, on any synthesizer of
    // the process, is bound to the target (after the remap below), whose
    // old bindings go. False (nothing armed) for a target no controller can
    // drive.
    static bool LearnNextController(int kind, int index);
    // Audio thread, for every controller message but the reserved ones.
    void ApplyLearnedController(int part, int status, int controller, int value);
    // Kind 3 with index 143..150 names the same values as kind 0 with index
    // 299..306; the other pairs stay as they are.
    static void RemapController(int& kind, int& index);
    // The first controller bound to the target, -1 when none.
    static int FindLearnSlot(int kind, int index);
    static void ClearController(int kind, int index);
    // controller < 128 binds it (after clearing the target's bindings);
    // kClearOnly only clears; anything else, and a target no controller
    // drives, is refused.
    static bool AssignController(int kind, int index, uint32_t controller);
    // Loads a learn-file image; a short image fills what it has, bytes past
    // 512 and an odd last byte are ignored, and entries that name nothing
    // (a negative kind, a kind-0 index past the sound values) become
    // unbound; other kinds stay as the file holds them, though they drive
    // nothing. Answers how many assignments were dropped.
    static int ReadLearnData(const uint8_t* data, size_t size);
    // GUI thread (the editor's tick; at exit with atExit): writes
    // "QVMIDI.qvm" when the bindings changed since the last attempt, or with
    // atExit since the last successful write. The file is replaced whole; a
    // failed write keeps the old one and is logged. False on failure.
    static bool SaveLearnFile(bool atExit = false);

    // MIDI clock follower (audio thread). While MIDI sync is off, clock,
    // start, continue and stop are ignored; the editor switches it.
    void OnClockTick(uint32_t timeStamp);
    void OnStart(uint32_t timeStamp);
    void OnContinue();
    void OnStop();
    // The engine's tempo as samples per tick (96 ticks per quarter note),
    // with the synced-LFO step and the tempo ratio that follow from it.
    void SetTempo(float samplesPerTick);
    // The same for 10 < samplesPerTick < 1000 only.
    void SetTempoClamped(float samplesPerTick);

    // Tuning: "Tuning/<name>" in the program folder, in Scala form (after a
    // "!" line) or as a note list (after a ";" line: "note <key>=<cents>").
    // A file that cannot be used keeps the part's table, is logged and
    // answers false; so does a missing file, silently.
    bool LoadTuningFile(int part, const char* name);
    // The same on the file's bytes; name is for the log.
    bool ReadTuning(int part, const uint8_t* data, size_t size, const char* name);
    // Parses a tuning file over table (128 pitches, changed only on
    // success). On failure reason says which line and why.
    static bool ParseTuning(const uint8_t* data, size_t size, float* table, char* reason,
                            size_t reasonSize);

    // Whether a packed short message is one the dispatcher acts on safely:
    // a status byte, and data bytes below 0x80.
    static bool IsValidMessage(uint32_t message);

    CEngine* engine;
    CKeyboard* keyboard;
    CSynth* synth;
    CMIDIQueue queue;
    // The real-time MIDI thread's own queue (JACK's process callback): it
    // never waits on the flag of the inputs that share the other one.
    CMIDIQueue realTimeQueue;
    CMIDIInputRing guiRing;
    std::atomic<uint8_t> channelActivity[16];
    std::atomic<int32_t> activityHold{0};
    int32_t lastVoice[kParts];
    bool unisonMemory[kParts];
    uint8_t alternating[kParts];
    // Microtuning, filled by the tuning loader: pitches with note 69 at 0,
    // 1/192 per semitone; equal temperament until a file says otherwise.
    uint8_t tuningLoaded[kParts];
    float tuning[kParts][kKeys];
    // Clock follower. The average of 16 clock intervals sets the tempo.
    std::atomic<uint8_t> midiSync{0};
    int32_t clockTicks = 0;
    uint32_t lastClockTime = 0;
    double clockAccumulator = 0.0;
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
    // The key state of a note message's channel follows it.
    void RecordKey(uint32_t message);
    bool IsMono(int part) const;
    int32_t Unison(int part) const;
};
