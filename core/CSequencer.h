#pragma once
// Step sequencer and transport (placeholder: never runs yet).
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

    CSynth* synth;
    CSongList* songList = nullptr;
    // Beats per minute.
    float tempo = 120.0f;
};
