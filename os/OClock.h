#pragma once
// Monotonic high-resolution counter. The counter is in nanoseconds of
// CLOCK_MONOTONIC, so it never jumps when the wall clock is set.
#include <cstdint>

namespace os {

// Current count of the monotonic clock.
int64_t ClockCounter();
// Counts per second of ClockCounter (1e9).
int64_t ClockFrequency();

} // namespace os
