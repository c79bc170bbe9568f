#pragma once
// Monotonic high-resolution counter. The counter is in nanoseconds of
// CLOCK_MONOTONIC, so it never jumps when the wall clock is set.
#include <cstdint>

namespace os {

// Current count of the monotonic clock.
int64_t ClockCounter();
// Counts per second of ClockCounter (1e9).
int64_t ClockFrequency();
// The same clock in microseconds, wrapping every 71.6 minutes.
uint32_t ClockMicros();
// Microseconds of the clock MIDI events and render calls are stamped on:
// ClockMicros moved by the offset an audio server's frame clock keeps (0
// without one), so that events timed by the system's clock and by a JACK
// server's frames compare. Wraps as ClockMicros; every use takes signed
// differences. Any thread.
uint32_t StampMicros();
int32_t StampOffset();
void SetStampOffset(int32_t us);

} // namespace os
