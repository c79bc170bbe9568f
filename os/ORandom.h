#pragma once
// The one random generator of the program. It stands in for the C library's
// rand(): 15-bit results (0..32767) from a fixed seed, so that random waves,
// programs and curves come out the same on every machine and in every test.
#include <cstdint>

namespace os {

constexpr int kRandMax = 32767;

// Next value in 0..kRandMax.
int Rand();
// Restarts the sequence (the program starts as if seeded with 1).
void SRand(uint32_t seed);

} // namespace os
