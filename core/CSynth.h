#pragma once
// The synthesizer object. It owns the engine, the parameter model, the
// program store and the performance objects, builds them in a fixed order
// and drives them: the audio device layer calls the render operations on the
// audio thread, the MIDI input calls ProcessMidiMessage, and the editor and
// the command set call everything else on the GUI thread.
//
// Audio-thread state is written on the audio thread, or by the GUI thread
// while it holds the engine: every GUI-thread edit waits out the render call
// in flight and keeps the next ones silent until it is done (a program load
// takes about 2 ms, a value a fraction of a microsecond). What the GUI thread
// asks of the voices themselves goes through the request ring.
//
// The object is large (the engine is held by value): always allocate it on
// the heap.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/CPerfMeter.h"
#include "core/CPresetBrowser.h"
#include "core/CProgram.h"
#include "core/SpscRing.h"
#include "engine/CEngine.h"
#include "params/CPIBase.h"

class CArpeggiator;
class CEditor;
class CMIDI;
class CSequencer;
class CSongList;

class CSynth {
public:
    static constexpr int kParts = 16;
    static constexpr int kNotes = 128;
    static constexpr int32_t kMaxRenderFrames = 32768;
    static constexpr int32_t kMaxHeldFrames = 32;
    static constexpr int kPrograms = 128;

    CSynth();
    CSynth(const CSynth&) = delete;
    CSynth& operator=(const CSynth&) = delete;

    // The 24 virtual operations, in slot order.
    virtual ~CSynth();                                                       // 0
    virtual void Process(float** inputs, float** outputs, int32_t frames);   // 1
    virtual void ProcessInt16(int16_t* interleaved, int32_t frames);         // 2
    virtual void ProcessAlias(float** inputs, float** outputs, int32_t frames); // 3
    virtual int32_t ProcessMidiMessage(uint32_t message, uint32_t timeMs);   // 4
    virtual void SetProgram(int32_t program);                                // 5
    virtual void SetProgramName(const char* name);                           // 6
    virtual void GetProgramName(char* out);                                  // 7
    virtual void SetParameter(int32_t id, float normalized);                 // 8
    virtual float GetParameter(int32_t id);                                  // 9
    virtual void Slot10(int32_t, int32_t);                                   // 10
    virtual void GetParameterDisplay(int32_t id, char* out);                 // 11
    virtual void GetParameterName(int32_t id, char* out);                    // 12
    virtual void SetSampleRate(float rate);                                  // 13
    virtual void Slot14(int32_t);                                            // 14
    virtual void Resume();                                                   // 15
    virtual void Suspend();                                                  // 16
    virtual bool GetProgramNameIndexed(int32_t category, int32_t index, char* out); // 17
    virtual bool Slot18(int32_t);                                            // 18
    virtual bool GetEffectName(char* out);                                   // 19
    virtual bool GetVendorString(char* out);                                 // 20
    virtual bool GetProductString(char* out);                                // 21
    virtual int32_t Slot22();                                                // 22
    virtual int32_t CanDo(const char* text);                                 // 23

    // Plain operations.
    // Opens the audio output and the MIDI devices the settings name, builds
    // their menus and starts playing; construction does it once the window
    // is open.
    // With no stored output a first start picks one (JACK when a server
    // answers, else the sound device's default) and keeps it in the settings.
    void OpenDevices();
    void CloseDevices();
    // GUI thread, on the editor's tick: when the JACK server of the output
    // went away, closes that output, sets the level meters at rest, plays
    // through the sound device as a start without a server does, rebuilds
    // the device menus and tells the user once. True when it acted.
    bool CheckAudioOutput();
    // The MIDI menus as the ports are now; asked for when one opens.
    void BuildMidiMenus();
    // The audio output menu as it opens: a JACK server that started (again)
    // is its first row.
    void BuildAudioMenu();
    // A keyboard plugged out lets go of its keys, one plugged in (again)
    // plays, without a look at the menu.
    void FollowMidiPorts();
    // After an output was asked for: when none plays, sets the level meters
    // at rest and says so in a box. True when an output plays.
    bool ReportAudioOutput();
    void InitPart(int32_t part);
    // Every part's program applied again (a project read, a new rate); each
    // part keeps its mixer mute, which the program's "Mute layer" slot
    // would otherwise set back to what the program was stored with.
    void InitAllPartsKeepingMutes();
    void InitPartGroup(int32_t part, int32_t program);
    void SetPartProgram(int32_t part, int32_t program);
    void PushParameters();
    void SetLearnedParameter(int32_t part, int32_t kind, int32_t id, float normalized);
    // A knob dragged while an 8D axis is chosen: the part's assignment to
    // that axis, under the engine hold.
    void SetAssignment(int32_t part, int32_t id, int32_t amount);
    // ProcessMidiMessageAt for the one real-time MIDI thread (JACK's
    // process callback), into a queue of its own.
    // Both answer the block the message is due in.
    int32_t ProcessRealTimeMidiMessage(uint32_t message, uint32_t timeUs);
    // The same, just before the render call that plays it, on its thread:
    // the message sounds from the first block that starts at or after
    // `frame` of that call, never before it.
    int32_t ProcessMidiMessageInCycle(uint32_t message, int32_t frame, uint32_t timeUs);
    // ProcessMidiMessageAt, due no sooner than block notBefore: what must
    // follow an event still waiting in the real-time queue.
    void ProcessMidiMessageAfter(uint32_t message, uint32_t timeUs, int32_t notBefore);
    bool SetMixerParameter(int32_t code, float normalized);
    float GetMixerParameter(int32_t code);
    void GetMixerParameterDisplay(int32_t code, char* out);
    void SetGlobalParameter(int32_t id, float normalized);
    float GetGlobalParameter(int32_t id);
    void GetGlobalParameterDisplay(int32_t id, char* out);
    CPresetBrowser* GetPresetBrowser(int32_t kind, int32_t second);
    bool IsPartPatternDriven(int32_t part);
    void SendMidiOutNote(uint32_t sampleTime, int32_t status, int32_t part, int32_t note,
                         int32_t velocity);
    void SendMidiOutAllNotesOff(uint32_t sampleTime, int32_t part);
    void StartSequencer();
    void ContinueSequencer();
    void StopSequencer();
    bool OpenBank();
    bool NewBank(int32_t templateIndex);
    // Saves the multi-samples of every part, or of one; the engine is held
    // meanwhile when holdEngine is set. What could not be written is said
    // in one "Error" box once the hold is over: a box waits for a click, and
    // the sound would stop for as long.
    void SaveAllMultiSamples(bool holdEngine = false);
    void SavePartMultiSamples(int32_t part);
    float GetPartActivity(int32_t part);
    void SelectPart(int32_t part, int32_t value);
    int32_t LoadPresetBody(const uint8_t* body, int32_t size, bool apply);
    bool LoadFxpPreset();

    // Numbered commands (GUI thread). Ids without a command do nothing,
    // read 0 and, as texts, "command unknown"; id 176 leaves out as it is.
    // Integers carried by values are converted with saturation (NaN is 0)
    // and checked before use. Texts are cut to size bytes.
    // The global values that keep the reverb and chorus preset chosen last
    // (commands 100 and 101 apply one and store its number there).
    static constexpr int32_t kGlobalReverbPreset = 10;
    static constexpr int32_t kGlobalChorusPreset = 17;
    void ExecuteCommand(int32_t id, float value);
    float GetCommandValue(int32_t id);
    void GetCommandText(int32_t id, char* out, size_t size);
    // The save steps behind the commands: each asks the chooser of its
    // kind, writes a temporary file beside the chosen one and renames it
    // into place, so a failed write keeps the old file; a failure shows an
    // "Error" message box. False when cancelled or failed.
    bool SaveProjectFile();
    bool SaveBankFile();
    bool SavePresetFile();
    // Checks the current sample rate in the rate menu.
    void MarkSampleRate();
    // Reads a project chosen by the user into every part; a project made at
    // another sample rate switches to it.
    bool OpenProjectFile();

    // GUI thread: sets the suspended flag and waits, at most timeoutMs, until
    // no render call is in flight, so that voices and parts can be rebuilt
    // without the audio thread reading them half-way. Once no call is in
    // flight it carries out the requests still in the ring, so that they
    // come before the rebuild, and, when the engine was not held, handles
    // the MIDI that is due, as a block would. Answers the flag as it was before (to be
    // handed back to RestoreSuspended), in every case.
    uint8_t SuspendAndWait(int timeoutMs = kSuspendWaitMs);
    void RestoreSuspended(uint8_t previous);
    bool IsSuspended() const { return suspended.load(std::memory_order_relaxed) != 0; }
    bool IsRenderInFlight() const { return renderInFlight.load() != 0; }

    // Work the GUI thread asks of the audio thread: a kind and a few
    // arguments, carried out at the start of the next engine block.
    struct Request {
        enum class Kind : uint8_t {
            kAllNotesOff, kKillVoices,
            // Transport and song navigation of the sequencer.
            kPlay, kStop, kHostStart, kSequencerAllNotesOff,
            kSongRewind, kSongToEnd, kSongNext, kSongPrevious,
            kPartOn
        };
        Kind kind = Kind::kAllNotesOff;
        int32_t a = 0; // kKillVoices: the part, or CMIDI::kAllParts; kPartOn: the part
        int32_t b = 0; // kPartOn: 1 on, 0 off
        float x = 0.0f;
    };
    static constexpr int32_t kRequestRingSize = 64;
    // GUI thread. While no render call can run (the synthesizer suspended
    // and no call in flight: no device, or the GUI thread is rebuilding) the
    // request is carried out at once, after any still waiting; otherwise
    // the ring takes it. With the ring full the GUI thread waits the render
    // call out and carries out everything itself, so nothing is lost. With
    // a device that never calls, requests wait in the ring until it fills.
    void Post(const Request& request);

    // MIDI input thread: a message played at timeUs, microseconds of
    // os::StampMicros (ProcessMidiMessage takes milliseconds of
    // CMIDIQueue::ClockMs).
    void ProcessMidiMessageAt(uint32_t message, uint32_t timeUs);
    // Audio thread, before a render call: the time its first frame is due
    // (microseconds of os::StampMicros), as the device tells it. A call
    // without one takes the time it starts.
    void SetRenderStartTime(uint32_t timeUs) {
        renderStartTime = timeUs;
        hasRenderStartTime = true;
    }

    int32_t GetHeldOverCount() const { return heldOver; }
    int32_t GetNextHeldOverCount() const { return nextHeldOver; }
    uint8_t GetMidiOutNoteFlag(int part, int note) const;

    // 16-bit form of a float sample: truncated toward zero, saturated to
    // +-32767, NaN gives 0.
    static int16_t ToInt16(float sample);

    static constexpr int kSuspendWaitMs = 250;

    CEngine engine;
    CPIBase parameters;
    CProgram program;
    CEditor* editor = nullptr;
    CMIDI* midi = nullptr;
    CSequencer* sequencer = nullptr;
    CSongList* songList = nullptr;
    CArpeggiator* arpeggiator = nullptr;
    int32_t currentProgram = 0;
    std::atomic<uint8_t> suspended{1};
    float renderBuffer[2 * kMaxRenderFrames];
    int32_t heldOver = 0;
    int32_t nextHeldOver = 0;
    uint32_t renderStartTime = 0;
    bool hasRenderStartTime = false;
    float heldBuffer[2 * kMaxHeldFrames];
    CPerfMeter perfMeter;
    CPresetBrowser presetBrowser{this};
    uint8_t midiOutNotes[kParts][kNotes];

private:
    template <typename Sink>
    void Render(int32_t frames, Sink&& sink);
    void RenderBlocks(int32_t frames, bool silent);
    // GUI thread: keeps render calls out for its lifetime (nested holds are
    // free) and, when the outermost ends, releases every voice if the voice
    // layout changed meanwhile, by whatever path: voices moved to another
    // part must not stay gated on keys of the part that had them.
    class EngineHold;
    friend class EngineHold;
    // The level meters at rest, for when nothing renders any more.
    void RestMeters();
    struct VoiceCounts {
        int32_t n[kParts];
        bool operator==(const VoiceCounts&) const = default;
    };
    VoiceCounts CurrentVoiceCounts() const;
    // Whoever holds the engine: the reset and the all-notes-off that a
    // change of the voice layout needs.
    void ReleaseIfLayoutChanged(const VoiceCounts& before);
    void CarryOut(const Request& request);
    void Refresh();
    // Program change of the current part, then a refresh.
    void ReloadCurrentProgram();
    void RandomizeCurrentPart();
    void ToggleCombination();
    void CarryOutRequests();
    SpscRing<Request, kRequestRingSize> requests;
    int holdDepth = 0;
    // Loads part's program record into the engine; changeProgram also makes
    // the program store switch to program first (slot 5).
    void LoadPart(int32_t part, bool changeProgram, int32_t programNumber);
    void CheckVoiceCount(int32_t part, int32_t groupSize);
    void ApplyRecord(int32_t part, bool throughSlot8);
    int32_t CurrentPart() const;
    // Multi-sample guard: stops the part's voices and keeps render calls out
    // while a multi-sample swaps or frees its zones.
    static void MultiSampleGuard(void* context, const CMultiSample* which, bool begin);
    uint8_t guardSuspended = 0;

    // Counts render calls between their start and end.
    std::atomic<int32_t> renderInFlight{0};
};

class CSynth::EngineHold {
public:
    explicit EngineHold(CSynth& synth) : m_synth(synth) {
        if (m_synth.holdDepth++ != 0)
            return;
        m_previous = m_synth.SuspendAndWait();
        m_before = m_synth.CurrentVoiceCounts();
    }
    ~EngineHold() {
        if (--m_synth.holdDepth != 0)
            return;
        m_synth.ReleaseIfLayoutChanged(m_before);
        m_synth.RestoreSuspended(m_previous);
    }
    EngineHold(const EngineHold&) = delete;
    EngineHold& operator=(const EngineHold&) = delete;

private:
    CSynth& m_synth;
    uint8_t m_previous = 0;
    VoiceCounts m_before{};
};
