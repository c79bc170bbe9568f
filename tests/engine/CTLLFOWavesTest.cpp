#include "engine/CTLLFOWaves.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

enum { kSine, kTriangle, kSquare, kSawUp, kSawDown };

TEST(CTLLFOWaves, ValuesAtKeyPhases)
{
    const CTLLFOWaves& w = g_TLLFOWaves;
    const std::pair<uint32_t, float> triangle[] = {{0, 0.0f}, {0x200000, 0.5f}, {0x400000, 1.0f},
                                                   {0x800000, 0.0f}, {0xC00000, -1.0f}};
    for (auto [phase, want] : triangle) EXPECT_FLOAT_EQ(w.At(kTriangle, phase), want) << phase;

    // The square is -1 for the first half, ramps across segment 127 and
    // holds 1 until it falls back across the last segment.
    EXPECT_FLOAT_EQ(w.At(kSquare, 0), -1.0f);
    EXPECT_FLOAT_EQ(w.At(kSquare, 126 * 65536 + 65535), -1.0f);
    EXPECT_NEAR(w.At(kSquare, 127 * 65536 + 32768), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(w.At(kSquare, 128 * 65536), 1.0f);
    EXPECT_FLOAT_EQ(w.At(kSquare, 254 * 65536), 1.0f);

    EXPECT_NEAR(w.At(kSine, 0x400000), 1.0f, 1e-6f);
    EXPECT_NEAR(w.At(kSine, 0xC00000), -1.0f, 1e-6f);
    EXPECT_NEAR(w.At(kSine, 0x555555), std::sin(2 * M_PI / 3), 1e-4);

    EXPECT_FLOAT_EQ(w.At(kSawUp, 0), -1.0f);
    EXPECT_FLOAT_EQ(w.At(kSawUp, 0x800000), 0.0f);
    EXPECT_NEAR(w.At(kSawUp, 0xFFFFFF), 1.0f, 1e-6f);  // end value reached at the wrap
    EXPECT_FLOAT_EQ(w.At(kSawDown, 0), 1.0f);
    EXPECT_NEAR(w.At(kSawDown, 0xFFFFFF), -1.0f, 1e-6f);
}

TEST(CTLLFOWaves, EveryWaveIsContinuousAndBounded)
{
    const CTLLFOWaves& w = g_TLLFOWaves;
    const CTLBase::Segment* order[] = {w.sine, w.triangle, w.square, w.sawUp, w.sawDown};
    for (int wave = 0; wave < CTLLFOWaves::kWaves; ++wave) {
        EXPECT_EQ(w.tables[wave], order[wave]);
        for (uint32_t k = 1; k < 256; ++k) {
            uint32_t edge = k << 16;
            float before = w.At(wave, edge - 1), after = w.At(wave, edge);
            EXPECT_NEAR(before, after, 1e-4f) << wave << " " << k;
            EXPECT_LE(std::fabs(after), 1.0f + 1e-6f);
        }
    }
}

} // namespace
