#pragma once
// The fallback audio output: a looping ring of 64 blocks of 1024 bytes (256
// 16-bit stereo frames each) kept filled from a periodic timer. Each tick
// looks where the device is taking bytes and renders whole blocks ahead of
// it through CSynth::ProcessInt16.
#include <atomic>
#include <cstdint>

#include "os/OTimer.h"

class CSynth;
namespace os { class OSoundOut; }

class CDirectSoundOut {
public:
    static constexpr int32_t kMaxDevices = 100;
    static constexpr int32_t kNameSize = 64;
    static constexpr int32_t kBlockBytes = 1024;
    static constexpr int32_t kBlockFrames = 256;
    static constexpr int32_t kBlocks = 64;
    static constexpr int32_t kDefaultLatency = 512;  // bytes

    CDirectSoundOut();
    ~CDirectSoundOut();

    // The device the ring plays through; tests hand in a fake. Only while closed.
    static void SetSoundOut(os::OSoundOut* out);

    static bool Enumerate(void* context);
    static void SetDeviceName(const char* name);
    static const char* GetDeviceName();
    static const char* GetListedName(int32_t index);
    static int32_t GetDeviceCount();

    bool Open(void* window, CSynth* synth, int32_t rate, int32_t periodMs);
    void Reconfigure(int32_t rate, int32_t periodMs);
    void Close();
    // Closes the output when it renders into synth and forgets synth: no
    // refill reaches it afterwards.
    void CloseFor(const CSynth* synth);
    bool IsOpen() const { return m_open; }

    void SetLatency(int32_t frames);
    int32_t GetLatency() const { return m_latency.load(std::memory_order_relaxed) / 4; }
    float GetMeasuredLatencyMs() const;
    int32_t GetResyncCount() const { return m_resyncs; }

    // One timer tick: a refill unless one is already running.
    void Tick();

private:
    void Refill();
    static void DSEnumCallback(const char* description, void* context);
    static void TimerProc(void* self);
    bool OpenDevice(void* window);
    bool CreateBuffer(int32_t rate);
    bool StartTimer(int32_t periodMs);

    CSynth* m_synth = nullptr;
    bool m_open = false;
    int32_t m_rate = 0;
    int32_t m_writeOffset = 0;
    int32_t m_lastBlock = -1;
    int32_t m_targetBlock = -1;
    // Set by the latency command while the refill reads it.
    std::atomic<int32_t> m_latency{kDefaultLatency};
    // Written by the refill, shown by the GUI thread.
    std::atomic<int32_t> m_measuredLatency{0};
    int32_t m_resyncs = 0;
    os::OTimer m_timer;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_refillBusy{false};
};

extern CDirectSoundOut g_DirectSoundOut;
