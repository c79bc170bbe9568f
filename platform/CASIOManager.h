#pragma once
// The low-latency driver host: opens a listed driver for stereo output at
// the engine's rate and, on each buffer switch of the driver's thread,
// renders through CSynth::Process and converts to the driver's sample type.
#include <atomic>
#include <cstdint>

class CSynth;

class CASIOManager {
public:
    // Frames of one render; a longer buffer switch is rendered in pieces.
    static constexpr int32_t kMaxFrames = 32768;

    CASIOManager();
    virtual ~CASIOManager();

    bool Open(void* window, CSynth* synth, int32_t rate);
    void Close();
    // Closes the driver when it renders into synth and forgets synth: no
    // buffer switch reaches it afterwards.
    void CloseFor(const CSynth* synth);
    bool IsOpen() const { return m_open; }
    // The open driver's device went away (its server stopped).
    bool IsLost() const;
    void SetDriverName(const char* name);
    const char* GetDriverName() const { return m_driverName; }
    // False when the driver cannot run at that rate.
    bool SetSampleRate(int32_t rate);
    int32_t GetSampleRate() const { return m_sampleRate; }
    // The rate the loaded driver runs at, 0 when none is loaded.
    static int32_t GetDriverRate();
    void OpenControlPanel();
    // Driver thread: renders `frames` and writes both channels in the type.
    // Types not listed leave the buffers untouched.
    void RenderAndConvert(void* outLeft, void* outRight, int32_t frames, int32_t sampleType);

    CSynth* GetSynth() const { return m_synth; }

private:
    CSynth* m_synth = nullptr;
    float m_left[kMaxFrames];
    float m_right[kMaxFrames];
    char m_driverName[64] = {};
    int32_t m_sampleRate = 0;
    bool m_open = false;
};

// The listed name of driver `index`, cut to 63 bytes; false past the list.
bool GetASIODriverName(int32_t index, char* out);
// True for the six rates the engine runs at.
bool IsSupportedSampleRate(int32_t rate);

extern CASIOManager g_ASIOManager;
