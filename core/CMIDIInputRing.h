#pragma once
// Notes that the GUI thread plays (the editor's on-screen keyboard). The GUI
// thread must not pick voices or start resamplers while the audio thread does
// the same, so its messages wait here until the audio thread takes them at
// the start of its next block. Single producer (GUI thread), single consumer
// (audio thread), no lock.
#include <atomic>
#include <cstdint>

class CMIDIInputRing {
public:
    static constexpr int32_t kSize = 256;

    struct Event {
        uint32_t message = 0;
        int32_t noteValueB = 0;
        uint32_t timeStamp = 0;
        uint8_t flagA = 0;
        uint8_t flagB = 0;
    };

    CMIDIInputRing() = default;
    virtual ~CMIDIInputRing() = default;
    CMIDIInputRing(const CMIDIInputRing&) = delete;
    CMIDIInputRing& operator=(const CMIDIInputRing&) = delete;

    // False (the event dropped and counted) when 255 events are unread.
    bool Push(const Event& event);
    bool Pop(Event& event);
    uint32_t DroppedCount() const { return dropped.load(std::memory_order_relaxed); }

private:
    Event events[kSize];
    std::atomic<int32_t> head{0};
    std::atomic<int32_t> tail{0};
    std::atomic<uint32_t> dropped{0};
};
