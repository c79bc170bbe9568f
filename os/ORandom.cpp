#include "os/ORandom.h"

#include <atomic>

namespace os {

namespace {
// Linear congruential generator with the classic 15-bit output. The state is
// atomic only so that two threads calling it never tear a word; the
// sequence is meant for the GUI thread.
std::atomic<uint32_t> g_state{1};
} // namespace

int Rand()
{
    uint32_t s = g_state.load(std::memory_order_relaxed);
    s = s * 214013u + 2531011u;
    g_state.store(s, std::memory_order_relaxed);
    return static_cast<int>((s >> 16) & 0x7FFFu);
}

void SRand(uint32_t seed)
{
    g_state.store(seed, std::memory_order_relaxed);
}

} // namespace os
