#include "os/OClock.h"

#include <atomic>
#include <ctime>

namespace os {

int64_t ClockCounter()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t ClockFrequency()
{
    return 1000000000LL;
}

uint32_t ClockMicros()
{
    return static_cast<uint32_t>(static_cast<uint64_t>(ClockCounter() / 1000));
}

namespace {
std::atomic<int32_t> s_stampOffset{0};
}

uint32_t StampMicros()
{
    return ClockMicros() + static_cast<uint32_t>(StampOffset());
}

int32_t StampOffset()
{
    return s_stampOffset.load(std::memory_order_relaxed);
}

void SetStampOffset(int32_t us)
{
    s_stampOffset.store(us, std::memory_order_relaxed);
}

} // namespace os
