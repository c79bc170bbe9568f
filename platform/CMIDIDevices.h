#pragma once
// MIDI input and output devices (placeholder: no device is opened yet).
#include <cstdint>

class CSynth;
class CUIMenuResource;

class CMIDIDevices {
public:
    CMIDIDevices() = default;
    virtual ~CMIDIDevices() = default;

    void SetInputMask(const char* mask);
    void SetOutputName(const char* name);
    void Start(CSynth* synth);
    void CloseAll();
    void BuildMenus(CUIMenuResource& menu);
    // Audio thread: queues a short message for the MIDI-out clock time.
    void QueueOut(uint32_t sampleTime, int32_t status, int32_t data1, int32_t data2);
};

extern CMIDIDevices g_MIDIDevices;
