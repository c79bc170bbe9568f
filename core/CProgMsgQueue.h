#pragma once
// Carries MIDI program changes from the audio thread, where the MIDI
// dispatcher meets them, to the GUI thread, which loads the program: a load
// rewrites a whole part and must not run on the audio thread.
// Single producer, single consumer, no lock.
#include <atomic>
#include <cstdint>

class CProgMsgQueue {
public:
    static constexpr int32_t kSize = 256;

    CProgMsgQueue() = default;
    virtual ~CProgMsgQueue() = default;

    // Producer. A full queue (255 unread pairs) drops the new pair and
    // answers false; overwriting would make the ring look empty.
    bool Push(uint32_t message, uint32_t value);
    // Consumer. False when empty.
    bool Pop(uint32_t* message, uint32_t* value);

    uint32_t message[kSize] = {};
    uint32_t value[kSize] = {};
    std::atomic<int32_t> head{0};
    std::atomic<int32_t> tail{0};
};
