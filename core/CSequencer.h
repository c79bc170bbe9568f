#pragma once
// Step sequencer and transport (placeholder: never runs yet).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

class CArpeggiator;
class CSongList;
class CSynth;

class CSequencer {
public:
    explicit CSequencer(CSynth* synth);
    virtual ~CSequencer();

    void SetSongList(CSongList* songList);
    // Audio thread: once per engine block, and once per render call before
    // the blocks.
    void Process(CArpeggiator* arpeggiator);
    void UpdateMidiOutClock();
    void UpdateTempo();
    void Play();
    void OnHostStart();
    void Stop();
    // The part's step-sequencer function; 0 is "none".
    int GetPartFunction(int part) const;

    // The sequencer section of a project file: a 2048-byte head (sample
    // rate, tempo and swing texts, loop, editor setting), 16 part records of
    // 16 bytes and 512 pattern records of 772 bytes. The song-list section
    // follows it.
    static constexpr size_t kProjectHeadSize = 2048;
    static constexpr size_t kProjectSectionSize = kProjectHeadSize + 16 * 16 + 512 * 772;
    // Reads the sequencer section and then, through the song list, the
    // song-list section. A stored sample rate, tempo or swing the program
    // cannot use keeps the current value. True when both sections were
    // there in full.
    bool ReadProject(const uint8_t* data, size_t size);
    bool ReadProject(std::FILE* file);

    // The editor keeps the tempo between 40 and 300 bpm plus a fraction of
    // at most 0.996.
    static constexpr float kMinTempo = 40.0f;
    static constexpr float kMaxTempo = 300.996f;

    CSynth* synth;
    CSongList* songList = nullptr;
    // Beats per minute. The MIDI clock sets the tempo on the audio thread
    // while the GUI thread edits it: the tempo and what follows from it are
    // atomic.
    std::atomic<float> tempo{120.0f};
    // Percent.
    float swing = 0.0f;
    std::atomic<float> samplesPerTick{0.0f};
    std::atomic<float> ticksPerBlock{0.0f};
    uint8_t songLoop = 1;
    int32_t editorSetting = -1;
};
