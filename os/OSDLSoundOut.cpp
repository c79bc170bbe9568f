#include "os/OSDLSoundOut.h"

#include <SDL2/SDL.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace os {

namespace {

std::atomic<void (*)(const char*)> g_libraryLog{nullptr};
const char* (*g_alsaErrorText)(int) = nullptr;

// The line libasound's own handler would print, handed to the log.
void AlsaLine(const char* file, int line, const char* function, int err, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void AlsaLine(const char* file, int line, const char* function, int err, const char* format, ...) {
    char text[512];
    const int head = std::snprintf(text, sizeof text, "ALSA lib %s:%d:(%s) ", file ? file : "", line,
                                   function ? function : "");
    size_t at = std::min<size_t>(head > 0 ? static_cast<size_t>(head) : 0, sizeof text - 1);
    va_list args;
    va_start(args, format);
    if (format) std::vsnprintf(text + at, sizeof text - at, format, args);
    va_end(args);
    at = std::strlen(text);
    if (err != 0 && g_alsaErrorText) std::snprintf(text + at, sizeof text - at, ": %s", g_alsaErrorText(err));
    if (void (*log)(const char*) = g_libraryLog.load(std::memory_order_acquire))
        log(text);
    else
        std::fprintf(stderr, "%s\n", text);
}

} // namespace

void OSDLSoundOut::SetLibraryLog(void (*log)(const char*)) {
    g_libraryLog.store(log, std::memory_order_release);
    // The library SDL uses, by the name SDL opens it under; the handle is
    // kept, so the handler stays with the library for the process's life.
    // Without libasound there is nothing to route.
    [[maybe_unused]] static const bool routed = [] {
        void* alsa = dlopen("libasound.so.2", RTLD_LAZY);
        if (!alsa) return false;
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
        g_alsaErrorText = reinterpret_cast<const char* (*)(int)>(dlsym(alsa, "snd_strerror"));
        return setHandler && setHandler(&AlsaLine) == 0;
    }();
}

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
