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

} // namespace engine
