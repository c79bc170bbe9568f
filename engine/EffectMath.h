#pragma once
// Small per-sample helpers shared by the part effects and the master stage.
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/SafeMath.h"

namespace effect_math {

// Bound of every recursive effect state and every value written into an
// effect line. Signals are full scale 1.0, so a healthy state never gets
// near it; a runaway or a NaN would otherwise stay in a ring until the next
// reset.
constexpr float kStateLimit = 40.0f;

// Limits a state to +-kStateLimit; a NaN becomes 0.
inline float LimitState(float x) { return engine::ClampSafe(x, -kStateLimit, kStateLimit); }

// A whole number held in a float cell (a position or a length) as an index
// 0..max, limited while still a float (NaN gives 0).
inline int ToIndex(float x, int max) { return engine::TruncClamp(x, 0, max); }

// Reads a 4096-sample ring written at pos, d samples back, with the
// two-tap interpolation of the modulated delays: i = rint(d), weights
// d + 0.5 - i and i + 0.5 - d on the samples i and i - 1 back.
inline float ReadShortRing(const float* ring, int pos, float d)
{
    d = engine::ClampSafe(d, 0.0f, 4095.0f);
    // Adding and taking away 2^23 rounds a float in 0..2^23 to the nearest
    // integer, ties to even, exactly as rint does, without a library call.
    const float fi = (d + 8388608.0f) - 8388608.0f;
    const int j = (pos - static_cast<int>(fi)) & 4095;
    return (d + 0.5f - fi) * ring[j] + (fi + 0.5f - d) * ring[(j + 1) & 4095];
}

// Advances a modulated delay time (time[0]) by its per-sample step
// (time[1]) and keeps it inside the 4096-sample ring; a NaN time restarts
// at 0 instead of staying in the ramp for good.
inline float AdvanceTime(float* time)
{
    time[0] = engine::ClampSafe(time[0] + time[1], 0.0f, 4095.0f);
    return time[0];
}

// Type and switch cells arrive either as small integers or as whole floats,
// depending on the setter; both forms read the same. A word whose float
// exponent is all zeros or all ones is a small (or negative) integer.
inline int32_t CellAsInt(uint32_t w)
{
    const uint32_t e = (w >> 23) & 0xFFu;
    if (e == 0u || e == 0xFFu)
        return std::bit_cast<int32_t>(w);
    // fmax then fmin (NaN gives -1e6), written out so that the render's
    // per-sample reads compile to compares instead of library calls.
    const float f = std::bit_cast<float>(w);
    const float low = f > -1.0e6f ? f : -1.0e6f;
    return static_cast<int32_t>(low < 1.0e6f ? low : 1.0e6f);
}

// A switch is on when its word is neither +0 nor -0 (integer 0 or 0.0f).
inline bool CellIsSet(uint32_t w) { return (w & 0x7FFFFFFFu) != 0u; }
inline bool CellIsSet(float f) { return CellIsSet(std::bit_cast<uint32_t>(f)); }

} // namespace effect_math
