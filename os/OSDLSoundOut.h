#pragma once
// The sound output on SDL2's audio: entry 0 "Default audio device", then
// SDL's playback devices. The device callback copies from the ring at the
// write cursor and moves it on; the play cursor trails one device buffer.
#include <atomic>
#include <cstdint>

#include "os/OSoundOut.h"

namespace os {

class OSDLSoundOut : public OSoundOut {
public:
    static constexpr const char* kDefaultName = "Default audio device";
    // Frames per device callback.
    static constexpr int32_t kDeviceFrames = 256;

    OSDLSoundOut() = default;
    ~OSDLSoundOut() override;

    std::vector<std::string> ListDevices() override;
    bool Open(const char* name, int32_t rate) override;
    void Close() override;
    bool IsOpen() const override { return m_device != 0; }
    bool GetCurrentPosition(int32_t& play, int32_t& write) override;
    uint8_t* Lock(int32_t offset, int32_t bytes) override;

private:
    static void Callback(void* self, uint8_t* stream, int bytes);

    uint32_t m_device = 0;
    alignas(16) uint8_t m_ring[kRingBytes] = {};
    std::atomic<int32_t> m_play{0};
    std::atomic<int32_t> m_write{0};
};

} // namespace os
