#pragma once
// Recorder of the synthesizer's output (placeholder: records nothing yet).
#include <cstdint>

class CWaveIO {
public:
    CWaveIO() = default;
    virtual ~CWaveIO() = default;

    // Audio thread: hands over one rendered buffer of interleaved frames.
    void Feed(const float* interleaved, int32_t frames);
};
