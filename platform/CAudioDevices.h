#pragma once
// The audio output of the program: one at a time, the low-latency driver
// ("JACK") when it opens, else the ring output on the desktop's sound device.
// Keeps the names of the output menu, opens and switches outputs by name and
// forwards rate and latency changes.
#include <cstdint>

class CSynth;
class CUIMenuResource;

class CAudioDevices {
public:
    enum Mode : int32_t { kModeASIO = 0, kModeDirectSound = 1 };
    static constexpr int32_t kNames = 32;
    static constexpr int32_t kNameSize = 64;
    static constexpr uint32_t kMenuId = 10010;
    static constexpr uint32_t kInputMenuId = 10000;

    CAudioDevices() = default;
    // The outputs close themselves at exit.
    virtual ~CAudioDevices() = default;

    static bool EnumerateDirectSound(void* context = nullptr);
    bool Open(void* window, const char* deviceName, CSynth* synth, int32_t sampleRate,
              int32_t refillPeriod);
    void Select(int32_t index, void* window, CSynth* synth, int32_t sampleRate, int32_t refillPeriod);
    void Close();
    // Closes whichever output renders into synth (also one left open
    // beside the current mode's) and forgets synth.
    void CloseFor(const CSynth* synth);
    // The output of a start with no stored choice: "JACK" when a server
    // answers, else the sound device's default.
    static const char* FirstStartName();
    // GUI thread: whether the low-latency output lost its device (the
    // server stopped). Only a flag is read.
    bool IsLost() const;
    // GUI thread, once IsLost: closes that output, lists the drivers anew
    // (the lost one is gone from the menu) and opens the stored output
    // again, which ends on the sound device as a start without a server
    // does. True when an output plays again.
    bool ReopenAfterLoss(void* window, CSynth* synth, int32_t sampleRate, int32_t refillPeriod);
    // JACK was asked for while its server was stopped (SIGSTOP): the sound
    // device plays meanwhile, and JACK once the server goes on.
    bool WaitsForJack() const { return m_waitsForJack; }
    // GUI thread, now and then: once the server JACK waited for goes on,
    // the output is JACK again. Whether it changed.
    bool OpenJackWhenItAnswers(void* window, CSynth* synth, int32_t sampleRate, int32_t refillPeriod);
    // As the output menu opens: the drivers are listed anew, so that a JACK
    // server started (again) since is offered. A loaded driver is kept (it
    // plays, and its server is listed).
    static void FindDrivers();
    void SetSampleRate(int32_t sampleRate, int32_t refillPeriod);
    // Whether an output plays (the last open or switch may have failed).
    bool IsOpen() const;
    const char* GetDeviceName() const;
    void SetDeviceName(const char* name);
    // The menu row (1-based) of the output that plays; 32 when none does.
    int32_t GetDeviceIndex() const;
    void BuildMenu(CUIMenuResource& menu);
    const char* GetDriverText();
    int32_t GetLatencySetting() const;
    void SetLatencySetting(int32_t value);
    void OpenControlPanel();

    Mode GetMode() const { return m_mode; }
    // Name of menu value `index`, nullptr outside the list.
    const char* GetName(int32_t index) const;

private:
    char m_names[kNames][kNameSize] = {};
    Mode m_mode = kModeASIO;
    char m_text[32] = {};
    bool m_waitsForJack = false;
    // Looks at a server that went on and does not run yet, and how many
    // (about five seconds of the window's ticks).
    static constexpr int kJackWaits = 150;
    int m_jackWaits = 0;
};

extern CAudioDevices g_AudioDevices;
