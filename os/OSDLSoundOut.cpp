#include "os/OSDLSoundOut.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace os {

OSDLSoundOut::~OSDLSoundOut() { Close(); }

std::vector<std::string> OSDLSoundOut::ListDevices() {
    std::vector<std::string> names{kDefaultName};
    // The subsystem is held only while needed, so a test's choice of SDL
    // driver (by environment) takes effect at the next open.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i)
        if (const char* name = SDL_GetAudioDeviceName(i, 0)) names.emplace_back(name);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return names;
}

bool OSDLSoundOut::Open(const char* name, int32_t rate) {
    Close();
    if (rate <= 0 || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    std::memset(m_ring, 0, sizeof m_ring);
    m_play.store(0);
    m_write.store(0);
    m_handed.store(0);
    m_applied.store(0);
    m_locked = nullptr;
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = &OSDLSoundOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (m_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void OSDLSoundOut::Close() {
    if (m_device == 0) return;
    // Waits for a callback in progress.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool OSDLSoundOut::GetCurrentPosition(int32_t& play, int32_t& write) {
    if (m_device == 0) return false;
    write = m_write.load(std::memory_order_acquire);
    play = m_play.load(std::memory_order_acquire);
    return true;
}

uint8_t* OSDLSoundOut::Lock(int32_t offset, int32_t bytes) {
    if (m_device == 0 || offset < 0 || bytes < 0 || bytes > kSlotBytes || offset > kRingBytes - bytes)
        return nullptr;
    const uint32_t handed = m_handed.load(std::memory_order_relaxed);
    if (handed - m_applied.load(std::memory_order_acquire) >= kSlots) {
        m_locked = nullptr;
        return m_dropped;
    }
    m_locked = &m_slots[handed % kSlots];
    m_locked->offset = offset;
    m_locked->bytes = bytes;
    return m_locked->data;
}

void OSDLSoundOut::Unlock() {
    if (!m_locked) return;
    m_locked = nullptr;
    m_handed.fetch_add(1, std::memory_order_release);
}

void OSDLSoundOut::Callback(void* user, uint8_t* stream, int bytes) {
    auto* self = static_cast<OSDLSoundOut*>(user);
    const uint32_t handed = self->m_handed.load(std::memory_order_acquire);
    uint32_t applied = self->m_applied.load(std::memory_order_relaxed);
    for (; applied != handed; ++applied) {
        const Slot& slot = self->m_slots[applied % kSlots];
        std::memcpy(self->m_ring + slot.offset, slot.data, static_cast<size_t>(slot.bytes));
    }
    self->m_applied.store(applied, std::memory_order_release);
    const int32_t start = self->m_write.load(std::memory_order_relaxed);
    int32_t at = start;
    int done = 0;
    while (done < bytes) {
        const int n = std::min(bytes - done, kRingBytes - at);
        std::memcpy(stream + done, self->m_ring + at, static_cast<size_t>(n));
        done += n;
        at = (at + n) % kRingBytes;
    }
    self->m_play.store(start, std::memory_order_release);
    self->m_write.store(at, std::memory_order_release);
}

} // namespace os
