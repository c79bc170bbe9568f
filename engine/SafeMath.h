#pragma once
// Small conversions that the engine uses wherever a float of unknown range
// meets an integer or a limit. Values reach the engine from knobs, MIDI,
// controller assignments and its own feedback paths; a NaN or a huge value
// must neither stick in a state nor turn into undefined behaviour when it is
// converted to an index.
#include <cmath>
#include <cstdint>
#include <emmintrin.h>

namespace engine {

// x limited to lo..hi; NaN gives nanValue (a state that went NaN would stay
// NaN forever, so it restarts from a harmless value instead).
inline float ClampSafe(float x, float lo, float hi, float nanValue = 0.0f)
{
    if (x >= lo) {
        if (x <= hi)
            return x;
        return hi;
    }
    return x < lo ? lo : nanValue;
}

// Rounded to the nearest integer after limiting in floating point, so that
// NaN (→ 0) and values beyond lo..hi never reach the conversion.
inline int32_t RoundClamp(float x, int32_t lo, int32_t hi)
{
    const float c = ClampSafe(x, static_cast<float>(lo), static_cast<float>(hi),
                              lo > 0 ? static_cast<float>(lo) : (hi < 0 ? static_cast<float>(hi) : 0.0f));
    // The 64-bit conversion rounds as lrint does (current mode, ties to
    // even), inline instead of a library call.
    const long long r = _mm_cvtss_si64(_mm_set_ss(c));
    return r < lo ? lo : (r > hi ? hi : static_cast<int32_t>(r));
}

// Truncated toward zero, with the same limiting.
inline int32_t TruncClamp(float x, int32_t lo, int32_t hi)
{
    const float c = ClampSafe(x, static_cast<float>(lo), static_cast<float>(hi),
                              lo > 0 ? static_cast<float>(lo) : (hi < 0 ? static_cast<float>(hi) : 0.0f));
    const long long t = static_cast<long long>(c);
    return t < lo ? lo : (t > hi ? hi : static_cast<int32_t>(t));
}

// A stored float (a program slot, a part-table or global value) as an
// integer, truncated toward zero. Sound values are small numbers; a damaged
// file or an edit can hold anything, so NaN gives 0 and the result stays
// within ±2^30, which leaves the rules room for their offsets (n - 48,
// n - 64, n + 1) without overflowing.
inline int32_t StoredInt(double x)
{
    constexpr double kLimit = 1073741824.0;
    if (!(x == x))
        return 0;
    if (x >= kLimit)
        return static_cast<int32_t>(kLimit);
    if (x <= -kLimit)
        return -static_cast<int32_t>(kLimit);
    return static_cast<int32_t>(x);
}

// A value handed to a setter, with NaN and the infinities taken as 0 before
// any curve sees them: a non-finite target would otherwise reach a smoothed
// cell and stay there.
inline float FiniteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

} // namespace engine
