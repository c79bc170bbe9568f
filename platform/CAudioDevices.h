#pragma once
// Audio output selection (placeholder: no device is opened yet).
#include <cstdint>

class CSynth;
class CUIMenuResource;

class CAudioDevices {
public:
    CAudioDevices() = default;
    virtual ~CAudioDevices() = default;

    void EnumerateDirectSound();
    bool Open(void* window, const char* deviceName, CSynth* synth, int32_t sampleRate,
              int32_t refillPeriod);
    void Close();
    void SetSampleRate(int32_t sampleRate, int32_t refillPeriod);
    void BuildMenu(CUIMenuResource& menu);
};

extern CAudioDevices g_AudioDevices;
