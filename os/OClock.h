#pragma once
// Monotonic high-resolution counter. The counter is in nanoseconds of
// CLOCK_MONOTONIC, so it never jumps when the wall clock is set.
#include <cstdint>

namespace os {

// Current count of the monotonic clock.
int64_t ClockCounter();
// Counts per second of ClockCounter (1e9).
int64_t ClockFrequency();
// The same clock in microseconds, wrapping every 71.6 minutes: the time of
// MIDI events and of render calls. Every use takes signed differences.
uint32_t ClockMicros();

} // namespace os
