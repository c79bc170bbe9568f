#pragma once
// Engine-wide globals and the user's settings. The one instance is built
// before main runs (it reads the settings file) and writes the settings back
// when the process ends.
#include <cstdint>

class CGlobalData {
public:
    CGlobalData();
    virtual ~CGlobalData();

    // Reads every stored setting into the fields (the constructor calls it).
    void ReadSettings();
    // Writes every stored setting back (the destructor calls it).
    void WriteSettings() const;
    // Sets the sample rate and what follows from it: ms per block and,
    // for the six supported rates, the refill period.
    void SetSampleRate(int rate);

    int32_t sampleRate = 44100;
    int32_t blockSize = 32;
    float msPerBlock = 0.7256236f;
    float inverseBlock = 0.03125f;
    int32_t refillPeriod = 11;
    int32_t MIDIOutOffset = 800;
    char programFolder[512] = {};
    char ProjectPath[512] = {};
    char WavefilePath[512] = {};
    char SamplePath[512] = {};
    char PresetPath[512] = {};
    char MIDIDeviceIn[64] = {};
    char MIDIDeviceOut[64] = {};
    char SoundDeviceOut[64] = {};
    int32_t DirectXDelay = 0;
    int32_t UIColorEffect = 0;
    int32_t UIBackground = 0;
    uint8_t KnobAnimation = 1;
    uint8_t ParameterLabel = 0;

private:
    // The settings file was there but could not be read by ReadSettings,
    // or (kept) not read whole: it is not written back.
    bool m_settingsUnreadable = false;
    bool m_settingsKept = false;
    char m_settingsWhy[128] = {};
};

extern CGlobalData g_GlobalData;
// Not stored: while on, widgets show and edit MIDI controller numbers.
extern uint8_t g_ControllerNumberMode;
