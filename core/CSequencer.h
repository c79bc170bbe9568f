#pragma once
// Step sequencer and transport: 512 patterns of up to 64 steps, one playing
// per part with a function of its own (plain pattern, arpeggio over held
// keys, pattern selection by key, muting, recording), tempo and swing on a
// clock of 96 ticks per quarter note, and the song that names each part's
// pattern bar by bar.
//
// Process and the transport and song operations run on the audio thread:
// they start and release voices and queue MIDI out. The GUI thread asks for
// them through CSynth::Post. The editor reads and writes pattern fields on
// the GUI thread while a pattern plays; every such field is a relaxed word.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/Relaxed.h"

class CArpeggiator;
class CSongList;
class CSynth;

class CSequencer {
public:
    static constexpr int kParts = 16;
    static constexpr int kPatterns = 512;
    static constexpr int kSteps = 64;
    static constexpr int kTicksPerBeat = 96;
    static constexpr int kTicksPerBar = 384;
    static constexpr int kFunctions = 7;
    static constexpr int kMaxChordNotes = 16;

    // Editor fields of GetStepValue and SetStepValue.
    enum Field {
        kFieldNote = 10, kFieldVelocity = 11, kFieldLaneB = 12, kFieldTransport = 13,
        kFieldHeldKey = 14, kFieldFunction = 15, kFieldLength = 16, kFieldChord = 17,
        kFieldGate = 18, kFieldRest = 19, kFieldSkip = 20, kFieldPartOn = 27, kFieldEditorSetting = 28
    };

    explicit CSequencer(CSynth* synth);
    virtual ~CSequencer();
    CSequencer(const CSequencer&) = delete;
    CSequencer& operator=(const CSequencer&) = delete;

    void SetSongList(CSongList* songList);

    // Audio thread: once per engine block.
    void Process(CArpeggiator* arpeggiator);
    // Audio thread: once per render call, before its blocks.
    void UpdateMidiOutClock();
    // After the tempo or the sample rate changed (either thread).
    void UpdateTempo();

    // Transport and song navigation: audio thread (the GUI posts them).
    void Play();
    void OnHostStart();
    void Stop();
    void Reset();
    void AllNotesOff();
    // A MIDI start: the next Play begins at the song start.
    void ClearPaused() { paused = 0; }
    void SongRewind();
    void SongToEnd();
    void SongNext();
    void SongPrevious();
    // Both copies of the part's on flag; a part playing to MIDI out sends
    // its note-offs there when switched.
    void SetPartOn(int part, bool on);

    // Pieces of Process, public for the clock tests.
    bool TickDue();
    void GetStepTimes(int part, int64_t& nextStepTick, int64_t& noteOffTick) const;
    void AdvanceStep(int part);
    void OnBarStart(int part);
    void PlayStep(int part);
    void ReleasePartNotes(int part);
    bool IsPartMono(int part) const;

    bool IsRunning() const { return running != 0; }
    bool IsPaused() const { return paused != 0; }
    int64_t GetTick() const { return tickCounter; }
    uint64_t GetSampleCounter() const { return sampleCounter; }
    // Audio thread or a test: moves the clock to a sample count as if it had
    // run there (the last tick falls on it).
    void SetSampleCounter(uint64_t samples);
    int GetCurrentStep(int part) const;
    int GetCurrentPattern(int part) const;

    // The part's function; 0 ("none") for a bad part.
    int GetPartFunction(int part) const;
    // "undef" for a function outside the table, "" for a bad part.
    static const char* GetPartFunctionText(int part, int function);
    const char* GetPartFunctionText(int part) const { return GetPartFunctionText(part, GetPartFunction(part)); }

    // Editor fields of step s of the selected pattern (part p for the part
    // fields). A bad part, step or field does nothing and reads 0. Values
    // are clamped to what the field holds.
    int32_t GetStepValue(int part, int field, int step) const;
    void SetStepValue(int part, int field, int step, int32_t value);

    // The selected pattern: group 0..3, bank 0..7, number 0..15 (each
    // clamped).
    void SetSelection(int group, int bank, int number);
    int GetSelectedGroup() const { return selGroup; }
    int GetSelectedBank() const { return selBank; }
    int GetSelectedNumber() const { return selNumber; }
    int SelectedPattern() const { return (selGroup * 8 + selBank) * 16 + selNumber; }

    int GetPatternLastStep(int part) const;
    void SetPatternLastStep(int part, int step);
    int GetPatternStartStep(int pattern) const;
    void SetPatternStartStep(int pattern, int step);
    int GetPatternLoopStep(int part) const;
    void SetPatternLoopStep(int part, int step);
    // 1 copy, 2 paste, 3 clear, 4/5 rotate left/right, 6..12 vary.
    void EditPattern(int command);
    void VaryPattern(uint32_t mask);
    // The step the first part playing the selected pattern is at; -1 when
    // none plays it, 0 while stopped.
    int GetPlayingStep() const;

    // Song cells, cell code = track * 256 + position.
    void SetSongCell(int cell);
    void PickSongCell(int cell);
    int32_t GetSongCellPattern(int cell) const;
    void SetSongCursor(int cell);
    void SetCursorTranspose(int transpose);
    int GetCursorTranspose() const { return currentTranspose; }
    // A newly selected pattern is placed untransposed.
    void ClearCurrentTranspose() { currentTranspose = 0; }
    void SetSongStart(int n);
    void SetSongEnd(int n);
    int GetSongStart() const;
    int GetSongEnd() const;
    int GetSongPosition() const;
    // Song position in ticks (384 per bar).
    int64_t GetSongTicks() const;

    // Texts, cut to size (size includes the terminator).
    void GetPositionText(char* out, size_t size) const;
    void GetSwingText(char* out, size_t size) const;
    void FormatStepNote(int part, int step, char* out, size_t size) const;

    // The sequencer section of a project file: a 2048-byte head (sample
    // rate, tempo and swing texts, loop, editor setting), 16 part records of
    // 16 bytes and 512 pattern records of 772 bytes. The song-list section
    // follows it.
    static constexpr size_t kProjectHeadSize = 2048;
    static constexpr size_t kPartRecordSize = 16;
    static constexpr size_t kPatternRecordSize = 772;
    static constexpr size_t kPartRecordsAt = kProjectHeadSize;
    static constexpr size_t kPatternRecordsAt = kPartRecordsAt + kParts * kPartRecordSize;
    static constexpr size_t kProjectSectionSize = kPatternRecordsAt + kPatterns * kPatternRecordSize;
    // Reads the sequencer section and then, through the song list, the
    // song-list section. A stored sample rate the program cannot use is
    // ignored; tempo and swing out of range keep the current values. A short
    // head keeps the head fields; the records are read as far as they are
    // there, every field clamped. Loop steps start at 0. True when both
    // sections were there in full. The sample rate read goes to
    // storedSampleRate (0 when none); the caller applies it.
    bool ReadProject(const uint8_t* data, size_t size);
    bool ReadProject(std::FILE* file);
    // Writes both sections (kProjectSectionSize + the song list's) in the
    // form ReadProject takes.
    void WriteProject(uint8_t* out) const;
    uint32_t storedSampleRate = 0;

    // Fills all 512 patterns from the built-in tables.
    void BuildFactoryPatterns();

    // The editor keeps the tempo between 40 and 300 bpm plus a fraction of
    // at most 0.996.
    static constexpr float kMinTempo = 40.0f;
    static constexpr float kMaxTempo = 300.996f;

    struct Step {
        Relaxed<int32_t> note{48};
        Relaxed<int32_t> chord{0};
        Relaxed<int32_t> velocity{100};
        Relaxed<int32_t> laneB{0};
        Relaxed<int32_t> length{4};
        Relaxed<int32_t> gate{50};
        Relaxed<int32_t> heldKey{0};
        Relaxed<uint8_t> skip{0};
        Relaxed<uint8_t> rest{0};
    };
    struct Pattern {
        Relaxed<int32_t> lastStep{15};
        Relaxed<int32_t> startStep{0};
        Relaxed<int32_t> loopStep{0};
        Step steps[kSteps];
    };
    Pattern patterns[kPatterns];

    CSynth* synth;
    CSongList* songList = nullptr;
    // Beats per minute.
    Relaxed<float> tempo{120.0f};
    // Percent.
    Relaxed<float> swing{0.0f};
    Relaxed<float> samplesPerTick{0.0f};
    Relaxed<float> ticksPerBlock{0.0f};
    Relaxed<uint8_t> songLoop{1};
    Relaxed<int32_t> editorSetting{-1};
    Relaxed<int32_t> partFunction[kParts];
    Relaxed<uint8_t> partOn[kParts];
    Relaxed<uint8_t> partOnShown[kParts];
    // Per part, written on the audio thread (the editor's displays read
    // them): the pattern playing (-1 none) and its step.
    Relaxed<int32_t> currentPattern[kParts];
    Relaxed<int32_t> currentStep[kParts];

private:
    static bool ValidPart(int part) { return part >= 0 && part < kParts; }
    static bool ValidStep(int step) { return step >= 0 && step < kSteps; }
    static int32_t StepTicks(const Step& step);
    // The pattern a part plays now, or null.
    const Pattern* PlayingPattern(int part) const;
    // The part's MIDI-out channel 0..15, or -1 when it plays the engine.
    int MidiOutChannel(int part) const;
    uint32_t MidiOutTime() const { return static_cast<uint32_t>(outCounter); }
    void NoteOn(int part, int note, int velocity, int laneB, int channel);
    void NoteOff(int part, int note);
    // Function 3: false while the part is to be skipped.
    bool UpdatePatternSelectPart(int part);
    // Functions 3..5: a newly pressed key.
    void HandleSelectKeys(int part, int function);
    // Once per bar, before the parts: the song moves on. False when the
    // song ended and the transport stopped.
    bool AdvanceSong();
    // Every part at the start step of the pattern its track names now.
    void RestartParts(int64_t tick, bool sound);
    void StartPart(int part, int pattern, int64_t tick);
    // Song navigation: the tick follows the song position.
    void JumpToSongPosition();
    int FirstVoiceGatedKey(int part) const;

    Relaxed<uint8_t> running{0};
    Relaxed<uint8_t> paused{0};
    Relaxed<uint8_t> barPending{0};
    // Frames since Play and the time of the last tick: 64 bits, so ticks
    // stay exact for days and never wrap.
    Relaxed<uint64_t> sampleCounter{0};
    double lastTickTime = 0.0;
    Relaxed<int64_t> tickCounter{0};
    Relaxed<int64_t> startTickOffset{0};
    // Frames since construction: the MIDI-out timeline never goes back, so
    // note-offs queued at Stop and notes after a new Play leave in order.
    uint64_t outCounter = 0;

    Relaxed<int32_t> selGroup{0};
    Relaxed<int32_t> selBank{0};
    Relaxed<int32_t> selNumber{0};
    Relaxed<int32_t> currentTranspose{0};

    struct StepCopy {
        int32_t note, chord, velocity, laneB, length, gate, heldKey;
        uint8_t skip, rest;
    };
    StepCopy clipboard[kSteps] = {};
    int32_t clipboardStart = 0;
    int32_t clipboardLast = 15;
    bool clipboardFull = false;

    int32_t nextPattern[kParts] = {};
    // Where the current pass of the pattern began: the start step on the
    // first pass, the loop step after that. Kept per part so that playing
    // never rewrites the stored start step.
    int32_t passStart[kParts] = {};
    int64_t patternStartTick[kParts] = {};
    uint8_t selectGate[kParts] = {};
    uint8_t muteRequest[kParts] = {};
    int32_t sounding[kParts][kMaxChordNotes] = {};
    int32_t soundingCount[kParts] = {};
};
