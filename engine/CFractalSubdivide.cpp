#include "engine/CFractalSubdivide.h"
#include "os/ORandom.h"
#include <algorithm>

namespace {
// A random value in -1 .. 1.
float RandomUnit()
{
    return static_cast<float>(2.0 * (os::Rand() - 16383.5) / 32767.0);
}
} // namespace

void CFractalSubdivide::Generate(float* dest, float min, float max, int count)
{
    if (!dest || count < 1 || count > kMaxCount)
        return;
    Generate(dest, min, max, count, dest[count]);
}

void CFractalSubdivide::Generate(float* dest, float min, float max, int count, float endValue)
{
    if (!dest || count < 1 || count > kMaxCount)
        return;
    m_dest = dest;
    m_min = min;
    m_max = max;
    m_end = endValue;
    m_count = count;
    // One roughness factor for the whole curve: how much of the displacement
    // survives from one level to the next.
    const float f = RandomUnit();
    m_amp[0] = (max - min) * 0.5f;
    for (int k = 1; k < kLevels; ++k)
        m_amp[k] = m_amp[k - 1] * f;
    Subdivide(0, 0, count);
    ShiftToMax(count);
}

void CFractalSubdivide::Subdivide(int level, int lo, int hi)
{
    // The right half of every range is refined in this loop, the left half
    // by recursion, so the depth stays at log2(count).
    while (lo + 1 < hi) {
        const int mid = (lo + hi) / 2;
        const float d = RandomUnit();
        const float end = hi == m_count ? m_end : m_dest[hi];
        const float v = (m_dest[lo] + end) * 0.5f + d * m_amp[std::min(level, kLevels - 1)];
        // Not std::clamp: a caller's min above max must not be undefined.
        m_dest[mid] = std::max(m_min, std::min(v, m_max));
        Subdivide(level + 1, lo, mid);
        lo = mid;
        ++level;
    }
}

void CFractalSubdivide::ShiftToMax(int count)
{
    float m = 0.0f;
    for (int i = 0; i < count; ++i)
        m = std::max(m, m_dest[i]);
    // Written as max - (m - x) so that the peak lands exactly on max.
    for (int i = 0; i < count; ++i)
        m_dest[i] = m_max - (m - m_dest[i]);
}
