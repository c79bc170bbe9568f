#pragma once
// Arpeggiator of the parts (placeholder: plays nothing yet).
class CSynth;

class CArpeggiator {
public:
    explicit CArpeggiator(CSynth* synth);
    virtual ~CArpeggiator();

    void SetTempo(float bpm);
    // Audio thread, once per engine block.
    void Process();
    bool IsPartActive(int part) const;

    CSynth* synth;
};
