// The terrain filter's block runner must give, to the bit, what eight
// separate CIIR2Order sections give one sample at a time: the render relies
// on it for every voice.
#include "engine/CTerrainFilter.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

namespace {

// The filter written out section by section, as the sections compute alone.
float Reference(CTerrainFilter& f, float x)
{
    CIIR2Order* s = f.sections;
    float y = s[0].Process(x) + s[1].Process(x) + s[2].Process(x) + s[3].Process(x);
    y = s[7].Process(s[6].Process(s[5].Process(s[4].Process(y))));
    y += 1e-7f;
    f.dc = 0.9995f * f.dc + 0.0005f * y;
    return (f.dc - y) * 0.25f;
}

void ExpectSameBits(const CTerrainFilter& a, const CTerrainFilter& b, int n)
{
    for (int i = 0; i < CTerrainFilter::kSections; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(a.sections[i].s1), std::bit_cast<uint32_t>(b.sections[i].s1)) << n << " " << i;
        EXPECT_EQ(std::bit_cast<uint32_t>(a.sections[i].s2), std::bit_cast<uint32_t>(b.sections[i].s2)) << n << " " << i;
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(std::bit_cast<uint32_t>(a.sections[i].c[c]), std::bit_cast<uint32_t>(b.sections[i].c[c]))
                << n << " " << i << " " << c;
    }
    EXPECT_EQ(std::bit_cast<uint32_t>(a.dc), std::bit_cast<uint32_t>(b.dc)) << n;
}

} // namespace

TEST(TerrainRunner, MatchesTheSectionsBitForBitAcrossBlocksAndBadInput)
{
    constexpr float kU = 1.0f / 44100.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    CTerrainFilter run, ref;
    uint32_t seed = 12345u;
    for (int block = 0; block < 48; ++block) {
        // Shapes morph and resonances change every block, so the glides move.
        const int a = block % 17, b = (block * 5 + 3) % 18;
        const float m = static_cast<float>(block % 7) / 6.0f, R = 0.6f + 0.4f * static_cast<float>(block % 3) / 2.0f;
        run.Set(kU, a, b, 0.5f + 0.1f * static_cast<float>(block % 9), R, m);
        ref.Set(kU, a, b, 0.5f + 0.1f * static_cast<float>(block % 9), R, m);
        CTerrainFilter::Runner r(run);
        for (int n = 0; n < 32; ++n) {
            seed = seed * 69069u + 1u;
            float x = static_cast<float>(static_cast<int32_t>(seed)) * 4.656613e-10f;
            if (block == 20)
                x *= 1e6f;  // drives the sections into their limits
            if (block == 46 && n == 5)
                x = nan;  // a NaN state restarts from 0 in every lane
            const float got = r.Process(x);
            const float want = Reference(ref, x);
            EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(want)) << block << " " << n;
        }
        r.Store(run);
        ExpectSameBits(run, ref, block);
    }
    // The per-sample call goes through the same runner.
    const float want = Reference(ref, 0.25f);
    EXPECT_EQ(std::bit_cast<uint32_t>(run.Process(0.25f)), std::bit_cast<uint32_t>(want));
}
