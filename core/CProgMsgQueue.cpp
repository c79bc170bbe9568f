#include "core/CProgMsgQueue.h"

bool CProgMsgQueue::Push(uint32_t msg, uint32_t val) {
    const int32_t h = head.load(std::memory_order_relaxed);
    const int32_t next = (h + 1) % kSize;
    if (next == tail.load(std::memory_order_acquire))
        return false;
    message[h] = msg;
    value[h] = val;
    head.store(next, std::memory_order_release);
    return true;
}

bool CProgMsgQueue::Pop(uint32_t* msg, uint32_t* val) {
    const int32_t t = tail.load(std::memory_order_relaxed);
    if (t == head.load(std::memory_order_acquire))
        return false;
    if (msg)
        *msg = message[t];
    if (val)
        *val = value[t];
    tail.store((t + 1) % kSize, std::memory_order_release);
    return true;
}
