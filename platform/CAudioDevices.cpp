#include "platform/CAudioDevices.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "os/InitOrder.h"
#include "os/OJackClient.h"
#include "os/OJackDriver.h"
#include "os/OSDLSoundOut.h"
#include "platform/CASIODriverList.h"
#include "platform/CASIOManager.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"

CAudioDevices g_AudioDevices ZAVO_INIT(ZAVO_PRIO_DEVICES);

namespace {

void CopyName(char* out, const char* name) {
    std::snprintf(out, CAudioDevices::kNameSize, "%s", name ? name : "");
}

} // namespace

bool CAudioDevices::EnumerateDirectSound(void* context) { return CDirectSoundOut::Enumerate(context); }

bool CAudioDevices::Open(void* window, const char* deviceName, CSynth* synth, int32_t sampleRate,
                         int32_t refillPeriod) {
    // The name may be the setting itself: copy it before anything is written.
    char name[kNameSize];
    CopyName(name, deviceName);
    deviceName = name;
    // One output at a time: two would render the synthesizer on two threads.
    Close();
    m_mode = kModeASIO;
    CopyName(g_GlobalData.SoundDeviceOut, deviceName);
    g_ASIOManager.SetDriverName(deviceName);
    const int32_t engineRate = g_GlobalData.sampleRate;
    m_waitsForJack = false;
    m_jackWaits = 0;
    if (g_ASIOManager.Open(window, synth, sampleRate)) return true;
    m_waitsForJack = std::strcmp(deviceName, os::OJackDriver::kName) == 0 && os::OJackClient::ServerStopped();
    m_mode = kModeDirectSound;
    SetDeviceName(deviceName);
    // When the engine took the driver's rate before the driver failed, the
    // ring plays at the engine's new rate.
    if (g_GlobalData.sampleRate != engineRate) {
        sampleRate = g_GlobalData.sampleRate;
        refillPeriod = g_GlobalData.refillPeriod;
    }
    return g_DirectSoundOut.Open(window, synth, sampleRate, refillPeriod);
}

void CAudioDevices::Select(int32_t index, void* window, CSynth* synth, int32_t sampleRate,
                           int32_t refillPeriod) {
    if (index < 0 || index >= kNames) return;
    Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char name[kNameSize];
    CopyName(name, m_names[index]);
    Open(window, name, synth, sampleRate, refillPeriod);
}

void CAudioDevices::Close() {
    if (m_mode == kModeASIO)
        g_ASIOManager.Close();
    else
        g_DirectSoundOut.Close();
}

void CAudioDevices::CloseFor(const CSynth* synth) {
    g_ASIOManager.CloseFor(synth);
    g_DirectSoundOut.CloseFor(synth);
}

const char* CAudioDevices::FirstStartName() {
    char name[kNameSize];
    for (int32_t i = 0; GetASIODriverName(i, name); ++i)
        if (std::strcmp(name, os::OJackDriver::kName) == 0) return os::OJackDriver::kName;
    if (CDirectSoundOut::GetDeviceCount() == 0) EnumerateDirectSound();
    const char* first = CDirectSoundOut::GetListedName(0);
    return first ? first : os::OSDLSoundOut::kDefaultName;
}

bool CAudioDevices::IsLost() const { return m_mode == kModeASIO && g_ASIOManager.IsLost(); }

bool CAudioDevices::ReopenAfterLoss(void* window, CSynth* synth, int32_t sampleRate, int32_t refillPeriod) {
    g_ASIOManager.Close();
    CASIODriverList::Rescan();
    EnumerateDirectSound();
    char name[kNameSize];
    CopyName(name, g_GlobalData.SoundDeviceOut);
    return Open(window, name, synth, sampleRate, refillPeriod);
}

bool CAudioDevices::OpenJackWhenItAnswers(void* window, CSynth* synth, int32_t sampleRate, int32_t refillPeriod) {
    if (!m_waitsForJack || os::OJackClient::ServerStopped()) return false;
    // A server that just went on shows its cycles again after a moment;
    // one that does not within a few seconds is let be.
    bool running = false;
    os::OJackClient::AskServer([&](jack_client_t* client) { running = os::OJackClient::Answers(client); });
    if (!running) {
        m_waitsForJack = ++m_jackWaits < kJackWaits;
        return false;
    }
    Close();
    CASIODriverList::Rescan();
    return Open(window, os::OJackDriver::kName, synth, sampleRate, refillPeriod);
}

void CAudioDevices::FindDrivers() {
    if (!CASIODriverList::Loaded()) CASIODriverList::Rescan();
}

void CAudioDevices::SetSampleRate(int32_t sampleRate, int32_t refillPeriod) {
    if (m_mode == kModeDirectSound) {
        g_DirectSoundOut.Reconfigure(sampleRate, refillPeriod);
        return;
    }
    if (g_ASIOManager.SetSampleRate(sampleRate) || !g_ASIOManager.IsOpen()) return;
    // The driver keeps its own rate. Where the engine can run at it, the
    // engine follows (pitch stays right); else the ring output takes over.
    const int32_t driverRate = CASIOManager::GetDriverRate();
    CSynth* synth = g_ASIOManager.GetSynth();
    if (synth && IsSupportedSampleRate(driverRate)) {
        synth->SetSampleRate(static_cast<float>(driverRate));
        return;
    }
    g_ASIOManager.Close();
    m_mode = kModeDirectSound;
    SetDeviceName(g_GlobalData.SoundDeviceOut);
    g_DirectSoundOut.Open(nullptr, synth, sampleRate, refillPeriod);
}

const char* CAudioDevices::GetDeviceName() const {
    switch (m_mode) {
    case kModeASIO: return g_ASIOManager.GetDriverName();
    case kModeDirectSound: return CDirectSoundOut::GetDeviceName();
    }
    return "undef";
}

void CAudioDevices::SetDeviceName(const char* name) {
    if (name != g_GlobalData.SoundDeviceOut) CopyName(g_GlobalData.SoundDeviceOut, name);
    if (m_mode == kModeASIO)
        g_ASIOManager.SetDriverName(name);
    else
        CDirectSoundOut::SetDeviceName(name);
}

bool CAudioDevices::IsOpen() const {
    return m_mode == kModeASIO ? g_ASIOManager.IsOpen() : g_DirectSoundOut.IsOpen();
}

int32_t CAudioDevices::GetDeviceIndex() const {
    if (!IsOpen()) return kNames;
    const char* current = GetDeviceName();
    for (int32_t i = 0; i < kNames; ++i)
        if (std::strcmp(m_names[i], current) == 0) return i + 1;
    return kNames;
}

const char* CAudioDevices::GetName(int32_t index) const {
    return index >= 0 && index < kNames ? m_names[index] : nullptr;
}

void CAudioDevices::BuildMenu(CUIMenuResource&) {
    std::memset(m_names, 0, sizeof m_names);
    // Only an output that plays is checked.
    const char* current = IsOpen() ? GetDeviceName() : "";
    int32_t k = 0;
    char name[kNameSize];
    for (int32_t i = 0; k < kNames && GetASIODriverName(i, name); ++i, ++k) {
        CopyName(m_names[k], name);
        CUIMenuResource::SetItem(kMenuId, k + 1, kMenuItem, 0, k, std::strcmp(name, current) == 0, name);
    }
    if (k == 0) {
        CUIMenuResource::SetItem(kMenuId, k + 1, kMenuItem, 0, k, 0, "<<< no JACK server found >>>");
        ++k;
    }
    if (k < kNames) {
        CUIMenuResource::SetItem(kMenuId, k + 1, kMenuSeparator, 0, 0, 0, "");
        ++k;
    }
    for (int32_t i = 0; k < kNames; ++i, ++k) {
        const char* listed = CDirectSoundOut::GetListedName(i);
        if (!listed) break;
        CopyName(m_names[k], listed);
        CUIMenuResource::SetItem(kMenuId, k + 1, kMenuItem, 0, k, std::strcmp(listed, current) == 0, listed);
    }
    for (int32_t position = k + 1; position <= kNames; ++position)
        CUIMenuResource::SetItem(kMenuId, position, kMenuDelete, 0, 0, 0, nullptr);
    // No audio input is taken: its menu holds that one choice.
    CUIMenuResource::SetItem(kInputMenuId, 1, kMenuItem, 0, 0, 1, "none");
    for (uint32_t position = 2; position <= kNames + 1; ++position)
        CUIMenuResource::SetItem(kInputMenuId, position, kMenuDelete, 0, 0, 0, nullptr);
}

const char* CAudioDevices::GetDriverText() {
    switch (m_mode) {
    case kModeASIO: return "JACK";
    case kModeDirectSound:
        std::snprintf(m_text, sizeof m_text, "%4.1f ms", g_DirectSoundOut.GetMeasuredLatencyMs());
        return m_text;
    }
    return "error";
}

int32_t CAudioDevices::GetLatencySetting() const {
    return m_mode == kModeDirectSound ? g_DirectSoundOut.GetLatency() / 16 : 0;
}

void CAudioDevices::SetLatencySetting(int32_t value) {
    if (m_mode == kModeDirectSound && value >= 1 && value <= 127) g_DirectSoundOut.SetLatency(value * 16);
}

void CAudioDevices::OpenControlPanel() {
    if (m_mode == kModeASIO) g_ASIOManager.OpenControlPanel();
}
