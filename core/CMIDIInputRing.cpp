#include "core/CMIDIInputRing.h"

bool CMIDIInputRing::Push(const Event& event) {
    const int32_t h = head.load(std::memory_order_relaxed);
    const int32_t next = (h + 1) % kSize;
    if (next == tail.load(std::memory_order_acquire)) {
        dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    events[h] = event;
    head.store(next, std::memory_order_release);
    return true;
}

bool CMIDIInputRing::Pop(Event& event) {
    const int32_t t = tail.load(std::memory_order_relaxed);
    if (t == head.load(std::memory_order_acquire))
        return false;
    event = events[t];
    tail.store((t + 1) % kSize, std::memory_order_release);
    return true;
}
