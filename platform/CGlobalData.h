#pragma once
// Engine-wide globals and the user's settings. The one instance is built
// before main runs (it reads the settings file) and writes the settings back
// when the process ends.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
    // For a program that runs this code without being the synthesizer (a
    // build tool, a benchmark, a fuzz target): the user's settings file is
    // neither read nor written; every setting has its default. It must be
    // called before the instance is built, by a static object built first.
    static void UseNoSettingsFile(bool none) { s_noSettingsFile = none; }
    // For a start that ends before the program runs (no window could be
    // made): nothing was chosen, so the exit leaves the settings file as it
    // is, a missing one missing.
    void LeaveSettingsFile() { m_leaveSettingsFile = true; }
    // The start put a value of its own into the field of a setting whose
    // stored value it could not take (the first audio output in place of
    // a name): the stored line stands while the field holds that value.
    void StartFilledIn(const char* key, const char* value);

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
    // The ports the '1's of MIDIDeviceIn stand for, by name (written and
    // read by the MIDI devices): a row of the list is another port once a
    // port is made or goes ahead of it.
    std::string MIDIDeviceInNames;
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
    bool m_leaveSettingsFile = false;
    char m_settingsWhy[128] = {};
    // A stored value the program could not take (longer than its field, a
    // zero byte in it, no number): its field got what the start gave
    // instead, and its line is written back as it stands unless the
    // session set the field anew.
    struct KeptValue {
        const char* key;
        std::string given;
        std::string why;
    };
    std::vector<KeptValue> m_keptValues;
    // What the last WriteSettings wrote, or tried to.
    mutable std::vector<std::pair<const char*, std::string>> m_written;
    static inline bool s_noSettingsFile = false;
};

extern CGlobalData g_GlobalData;
// Not stored: while on, widgets show and edit MIDI controller numbers.
extern uint8_t g_ControllerNumberMode;
