#pragma once
// The sound output on SDL2's audio: entry 0 "Default audio device", then
// SDL's playback devices. The device callback copies from the ring at the
// write cursor and moves it on; the play cursor trails one device buffer.
//
// The ring belongs to the device thread alone. What the program writes
// between Lock and Unlock goes into a slot of its own and is handed over
// through a single-producer ring of slots that the device thread applies
// before it reads: a block written where the device is reading right then
// (the first refill, a re-sync, a short latency) arrives whole at the next
// callback instead of torn, and no lock is taken on either side.
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

    // SDL's ALSA driver leaves libasound to print its complaints on stderr
    // (eight lines where there is no card), though a failed open is said
    // to the musician already. Each such line goes to `log` instead, whole
    // and without its newline; it may come on SDL's threads too.
    static void SetLibraryLog(void (*log)(const char* line));

    std::vector<std::string> ListDevices() override;
    bool Open(const char* name, int32_t rate) override;
    void Close() override;
    bool IsOpen() const override { return m_device != 0; }
    bool GetCurrentPosition(int32_t& play, int32_t& write) override;
    // At most kSlotBytes at once. With every slot waiting for the device
    // (it stalled), the bytes written are dropped.
    uint8_t* Lock(int32_t offset, int32_t bytes) override;
    void Unlock() override;

    static constexpr int32_t kSlotBytes = 4096;
    static constexpr uint32_t kSlots = 32;

private:
    struct Slot {
        int32_t offset = 0;
        int32_t bytes = 0;
        alignas(16) uint8_t data[kSlotBytes] = {};
    };
    static void Callback(void* self, uint8_t* stream, int bytes);

    uint32_t m_device = 0;
    alignas(16) uint8_t m_ring[kRingBytes] = {};
    std::atomic<int32_t> m_play{0};
    std::atomic<int32_t> m_write{0};
    Slot m_slots[kSlots];
    alignas(16) uint8_t m_dropped[kSlotBytes] = {};
    // Slots handed over (writer) and applied (device thread), counted.
    std::atomic<uint32_t> m_handed{0};
    std::atomic<uint32_t> m_applied{0};
    // The writer's open Lock: its slot, or null for a dropped write.
    Slot* m_locked = nullptr;
};

} // namespace os
