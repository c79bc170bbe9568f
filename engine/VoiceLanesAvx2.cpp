// The lane kernel with eight lanes, built for AVX2 (this file alone is
// compiled with -mavx2; it runs only where the processor reports AVX2).
#include <immintrin.h>

#include "engine/VoiceLanesKernel.h"

namespace voice_lanes {

void RenderAvx2(Group& g) { RenderLanes<8>(g); }
void RenderAvx2Pair(Group& a, Group& b) { RenderLanesPair<8>(a, b); }

int AddToMixAvx2(const Group& g, int lanes, float* const* mix)
{
    const int whole = g.groups & ~7;
    for (int n = 0; n < whole; n += 8) {
        __m256 left[8], right[8];
        for (int k = 0; k < 8; ++k) {
            left[k] = _mm256_loadu_ps(g.left[n + k]);
            right[k] = _mm256_loadu_ps(g.right[n + k]);
        }
        Transpose8(left);
        Transpose8(right);
        for (int l = 0; l < lanes;) {
            // The lanes of one mix (one part) add up in registers.
            float* m = mix[l] + 2 * n;
            __m256 lo = _mm256_loadu_ps(m), hi = _mm256_loadu_ps(m + 8);
            const float* const same = mix[l];
            for (; l < lanes && mix[l] == same; ++l) {
                // Frames n..n+7 of lane l, interleaved left, right.
                const __m256 a = _mm256_unpacklo_ps(left[l], right[l]), b = _mm256_unpackhi_ps(left[l], right[l]);
                lo = _mm256_add_ps(lo, _mm256_permute2f128_ps(a, b, 0x20));
                hi = _mm256_add_ps(hi, _mm256_permute2f128_ps(a, b, 0x31));
            }
            _mm256_storeu_ps(m, lo);
            _mm256_storeu_ps(m + 8, hi);
        }
    }
    return whole;
}

} // namespace voice_lanes
