#pragma once
// Fixed-size ring between exactly one producer thread and one consumer
// thread, without a lock and without allocation: the producer publishes a
// slot with a release store of the head, the consumer takes it after an
// acquire load. One slot stays empty so that a full ring never reads as
// empty; a push into a full ring is refused and counted.
#include <atomic>
#include <cstdint>

template <typename T, int32_t N>
class SpscRing {
    static_assert(N >= 2, "a ring needs room for one item and the gap");

public:
    static constexpr int32_t kSize = N;

    SpscRing() = default;
    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    // Producer. False (the item dropped and counted) when N - 1 items are
    // unread.
    bool Push(const T& item) {
        const int32_t h = head.load(std::memory_order_relaxed);
        const int32_t next = (h + 1) % N;
        if (next == tail.load(std::memory_order_acquire)) {
            dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        items[h] = item;
        head.store(next, std::memory_order_release);
        return true;
    }

    // Consumer.
    bool Pop(T& item) {
        const int32_t t = tail.load(std::memory_order_relaxed);
        if (t == head.load(std::memory_order_acquire))
            return false;
        item = items[t];
        tail.store((t + 1) % N, std::memory_order_release);
        return true;
    }

    uint32_t DroppedCount() const { return dropped.load(std::memory_order_relaxed); }

private:
    T items[N] = {};
    std::atomic<int32_t> head{0};
    std::atomic<int32_t> tail{0};
    std::atomic<uint32_t> dropped{0};
};
