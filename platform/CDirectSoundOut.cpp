#include "platform/CDirectSoundOut.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "os/InitOrder.h"
#include "os/OSDLSoundOut.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"

namespace {

os::OSDLSoundOut g_sdlOut ZAVO_INIT(ZAVO_PRIO_OS_DEVICES);
os::OSoundOut* g_out = &g_sdlOut;

int32_t g_deviceCount = 0;
int32_t g_selected = 0;
char g_deviceNames[CDirectSoundOut::kMaxDevices][CDirectSoundOut::kNameSize] = {};
char g_currentName[CDirectSoundOut::kNameSize] = {};

void CopyName(char (&out)[CDirectSoundOut::kNameSize], const char* name) {
    std::snprintf(out, sizeof out, "%s", name ? name : "");
}

} // namespace

CDirectSoundOut g_DirectSoundOut ZAVO_INIT(ZAVO_PRIO_DEVICES);

CDirectSoundOut::CDirectSoundOut() {
    // The sound library's lines at a failed open are for the diagnostic
    // log: the musician is told in a box.
    os::OSDLSoundOut::SetLibraryLog(&CDebug::Log);
    g_deviceCount = 0;
    g_selected = 0;
    g_currentName[0] = '\0';
}

// Nothing is left playing into a synthesizer that is gone.
CDirectSoundOut::~CDirectSoundOut() { Close(); }

void CDirectSoundOut::SetSoundOut(os::OSoundOut* out) { g_out = out ? out : &g_sdlOut; }

bool CDirectSoundOut::Enumerate(void* context) {
    g_deviceCount = 0;
    for (const std::string& name : g_out->ListDevices()) DSEnumCallback(name.c_str(), context);
    return g_deviceCount > 0;
}

void CDirectSoundOut::DSEnumCallback(const char* description, void*) {
    if (g_deviceCount >= kMaxDevices) return;
    CopyName(g_deviceNames[g_deviceCount], description);
    if (std::strcmp(g_deviceNames[g_deviceCount], g_currentName) == 0) g_selected = g_deviceCount;
    ++g_deviceCount;
}

void CDirectSoundOut::SetDeviceName(const char* name) { CopyName(g_currentName, name); }
const char* CDirectSoundOut::GetDeviceName() { return g_currentName; }
int32_t CDirectSoundOut::GetDeviceCount() { return g_deviceCount; }

const char* CDirectSoundOut::GetListedName(int32_t index) {
    if (index < 0 || index >= g_deviceCount) return nullptr;
    return g_deviceNames[index];
}

bool CDirectSoundOut::Open(void* window, CSynth* synth, int32_t rate, int32_t periodMs) {
    Close();
    // Every output starts from the default latency.
    m_latency.store(kDefaultLatency, std::memory_order_relaxed);
    if (!OpenDevice(window)) return false;
    m_synth = synth;
    // A ring without a device or a timer plays nothing: that is a failed open.
    if (!CreateBuffer(rate) || !StartTimer(periodMs)) {
        Close();
        return false;
    }
    m_open = true;
    m_running.store(true);
    return true;
}

bool CDirectSoundOut::OpenDevice(void* window) {
    g_selected = 0;
    if (!Enumerate(window)) return false;
    CopyName(g_currentName, g_deviceNames[g_selected]);
    return true;
}

bool CDirectSoundOut::CreateBuffer(int32_t rate) {
    g_out->Close();
    // Entry 0 is the default device, which the output opens without a name.
    if (!g_out->Open(g_selected == 0 ? nullptr : g_deviceNames[g_selected], rate)) return false;
    m_rate = rate;
    m_writeOffset = 0;
    m_lastBlock = -1;
    m_targetBlock = -1;
    return true;
}

bool CDirectSoundOut::StartTimer(int32_t periodMs) {
    return m_timer.Start(periodMs, &CDirectSoundOut::TimerProc, this);
}

void CDirectSoundOut::TimerProc(void* self) { static_cast<CDirectSoundOut*>(self)->Tick(); }

void CDirectSoundOut::Tick() {
    if (m_refillBusy.exchange(true)) return;
    if (m_running.load()) Refill();
    m_refillBusy.store(false);
}

void CDirectSoundOut::Reconfigure(int32_t rate, int32_t periodMs) {
    if (!m_open) return;
    // The timer's stop waits for a refill in progress before the ring goes.
    m_timer.Stop();
    if (!CreateBuffer(rate) || !StartTimer(periodMs)) Close();
}

void CDirectSoundOut::Close() {
    m_running.store(false);
    if (m_open) g_GlobalData.DirectXDelay = m_latency.load(std::memory_order_relaxed);
    m_timer.Stop();
    g_out->Close();
    m_open = false;
}

void CDirectSoundOut::CloseFor(const CSynth* synth) {
    if (!synth || m_synth != synth) return;
    Close();
    m_synth = nullptr;
}

void CDirectSoundOut::SetLatency(int32_t frames) {
    m_latency.store(frames * 4, std::memory_order_relaxed);
    g_GlobalData.DirectXDelay = frames * 4;
}

float CDirectSoundOut::GetMeasuredLatencyMs() const {
    if (m_rate <= 0) return 0.0f;
    return static_cast<float>(m_measuredLatency.load(std::memory_order_relaxed)) * 1000.0f /
           static_cast<float>(m_rate * 4);
}

void CDirectSoundOut::Refill() {
    int32_t play = 0, write = 0;
    if (!g_out->GetCurrentPosition(play, write)) return;
    const int32_t target = (m_latency.load(std::memory_order_relaxed) + write) >> 10;
    if (m_targetBlock == -1) m_lastBlock = target - 1;
    m_targetBlock = target;
    int32_t d = target - m_lastBlock;
    bool resynced = false;
    if (d > 1) {
        if (d < 32) {
            // The refill fell behind: start again just before the target.
            ++m_resyncs;
            m_lastBlock = target - 1;
            d = -1;
            resynced = true;
        } else {
            d -= 64;  // the target wrapped past the end of the ring
        }
    }
    if (d < -2 && !resynced) return;
    for (int32_t i = 0; i < d + 3; ++i) {
        m_lastBlock = (m_lastBlock + 1) % kBlocks;
        m_writeOffset = m_lastBlock * kBlockBytes;
        uint8_t* block = g_out->Lock(m_writeOffset, kBlockBytes);
        if (!block) continue;
        if (i == 0)
            m_measuredLatency.store(m_writeOffset - play + (play >= m_writeOffset ? 65536 : 0),
                                    std::memory_order_relaxed);
        if (m_synth) m_synth->ProcessInt16(reinterpret_cast<int16_t*>(block), kBlockFrames);
        g_out->Unlock();
    }
}
