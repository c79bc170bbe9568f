// The lane kernel with eight lanes, built for AVX2 (this file alone is
// compiled with -mavx2; it runs only where the processor reports AVX2).
#include <immintrin.h>

#include "engine/VoiceLanesKernel.h"

namespace voice_lanes {

void RenderAvx2(Group& g) { RenderLanes<8>(g); }

namespace {

// Rows r[0..7] (frames) of eight lanes become columns (lanes) of eight frames.
void Transpose(__m256 r[8])
{
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
    r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
    r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
    r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
    r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
    r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
    r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
    r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

} // namespace

int AddToMixAvx2(const Group& g, int first, int last, float* mix)
{
    const int whole = g.groups & ~7;
    for (int n = 0; n < whole; n += 8) {
        __m256 left[8], right[8];
        for (int k = 0; k < 8; ++k) {
            left[k] = _mm256_loadu_ps(g.left[n + k]);
            right[k] = _mm256_loadu_ps(g.right[n + k]);
        }
        Transpose(left);
        Transpose(right);
        float* m = mix + 2 * n;
        __m256 lo = _mm256_loadu_ps(m), hi = _mm256_loadu_ps(m + 8);
        for (int l = first; l < last; ++l) {
            // Frames n..n+7 of lane l, interleaved left, right.
            const __m256 a = _mm256_unpacklo_ps(left[l], right[l]), b = _mm256_unpackhi_ps(left[l], right[l]);
            lo = _mm256_add_ps(lo, _mm256_permute2f128_ps(a, b, 0x20));
            hi = _mm256_add_ps(hi, _mm256_permute2f128_ps(a, b, 0x31));
        }
        _mm256_storeu_ps(m, lo);
        _mm256_storeu_ps(m + 8, hi);
    }
    return whole;
}

} // namespace voice_lanes
