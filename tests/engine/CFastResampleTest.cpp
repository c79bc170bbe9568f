#include "engine/CFastResample.h"
#include "SampleSourceMock.h"
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {
std::vector<float> Render(CFastResample& r, int frames, float phaseInc, float delta = 0.0f)
{
    std::vector<float> out(2 * frames, 0.0f);
    float mix = 0.0f;
    r.Render(out.data(), frames, mix, 0.0f, phaseInc, delta);
    return out;
}
} // namespace

TEST(CFastResample, CubicBSplineReproducesALinearRamp)
{
    GuardedLayer layer(100, 2);
    for (int n = 0; n < 100; ++n) {
        layer.data()[2 * n] = 0.01f * n;
        layer.data()[2 * n + 1] = 1.0f - 0.01f * n;
    }
    SampleSourceMock src(layer.View(0, 100, 5));
    src.pitchScale = 0.125f;
    CFastResample r;
    ASSERT_TRUE(r.Setup(&src, 2, 0.0f));
    const auto out = Render(r, 300, 2.0f); // 0.25 frames per output frame
    for (int j = 0; j < 300; ++j) {
        const double pos = 5 + 0.25 * j;
        ASSERT_NEAR(out[2 * j], 0.01 * pos, 1e-5) << j;
        ASSERT_NEAR(out[2 * j + 1], 1.0 - 0.01 * pos, 1e-5) << j;
    }
    ASSERT_EQ(src.written[0].size(), 1u);
    EXPECT_EQ(src.written[0][0], 80); // 5 + 300 * 0.25, truncated
}

TEST(CFastResample, MonoGoesToBothSidesAndOddChannelCountsAreSilent)
{
    GuardedLayer mono(10, 1), odd(10, 3);
    for (float& v : mono.storage)
        v = 0.5f;
    for (float& v : odd.storage)
        v = 0.5f;
    for (GuardedLayer* l : {&mono, &odd}) {
        SampleSourceMock src(l->View(0, 10, 2));
        CFastResample r;
        r.Setup(&src, 0, 0.0f);
        const auto out = Render(r, 4, 1.0f);
        const float expect = l == &mono ? 0.5f : 0.0f;
        for (float v : out)
            EXPECT_NEAR(v, expect, 1e-6);
    }
}

TEST(CFastResample, ShortLoopAtHighRatioStaysInsideItsSample)
{
    GuardedLayer layer(8, 1);
    for (int n = 0; n < 8; ++n)
        layer.data()[n] = std::sin(n * 0.785f);
    struct Case { int loopStart, loopEnd; float crossfade, offset, step; };
    // Ratio 40 over an 8-frame loop, with and without a crossfade; a loop end
    // before its start; a start offset far past the end; a huge step.
    for (Case c : {Case{0, 8, 0.0f, 0.0f, 40.0f}, Case{0, 8, 1.0f, 0.0f, 40.0f},
                   Case{5, 3, 0.0f, 0.0f, 40.0f}, Case{4, 4, 1.0f, 0.0f, 7.0f},
                   Case{2, 7, 0.5f, 1.0f, 1.0f}, Case{0, 8, 0.0f, 0.0f, 3e9f},
                   Case{-5, 20, 1.0f, 0.0f, 40.0f}}) {
        SampleSourceMock src(layer.View(c.loopStart, c.loopEnd));
        src.loopEnable = 1;
        src.crossfade = c.crossfade;
        CFastResample r;
        r.Setup(&src, 0, c.offset);
        for (int block = 0; block < 8; ++block) {
            const auto out = Render(r, 32, c.step);
            for (float v : out)
                ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 2.0f);
            ASSERT_GE(r.positions[0], 0.0f);
            ASSERT_LT(r.positions[0], 8.0f);
        }
        for (int32_t p : src.written[0])
            EXPECT_TRUE(p >= 0 && p < 8) << p;
    }
}

TEST(CFastResample, UnloopedLayerFallsSilentAfterItsLastFrame)
{
    GuardedLayer layer(8, 1);
    for (int n = 0; n < 8; ++n)
        layer.data()[n] = 1.0f;
    SampleSourceMock src(layer.View(0, 8));
    CFastResample r;
    r.Setup(&src, 0, 0.0f);
    const auto out = Render(r, 32, 40.0f);
    EXPECT_NE(out[0], 0.0f);
    for (int j = 1; j < 32; ++j)
        EXPECT_EQ(out[2 * j], 0.0f) << j;

    // A start offset beyond the end plays nothing at all.
    CFastResample late;
    late.Setup(&src, 0, 10.0f);
    for (float v : Render(late, 32, 1.0f))
        EXPECT_EQ(v, 0.0f);
}

TEST(CFastResample, LoopCrossfadeGeometry)
{
    GuardedLayer layer(300, 1);
    SampleSourceMock src(layer.View(100, 200));
    src.loopEnable = 1;
    src.crossfade = 0.5f;
    CFastResample r;
    r.Setup(&src, 0, 0.0f);
    // length 0.5 * 100 * 0.5 = 25
    EXPECT_EQ(r.layers[0].crossfadeStart, 175);
    EXPECT_FLOAT_EQ(r.layers[0].crossfadeRecip, 0.04f);
    EXPECT_EQ(r.layers[0].jump, 75);

    // Under 8 frames the crossfade would be shorter than 4: a plain jump.
    src.crossfade = 1.0f;
    src.layers[0] = layer.View(10, 17);
    r.Setup(&src, 0, 0.0f);
    EXPECT_EQ(r.layers[0].crossfadeStart, 17);
    EXPECT_EQ(r.layers[0].crossfadeRecip, 0.0f);
    EXPECT_EQ(r.layers[0].jump, 7);
}

TEST(CFastResample, CrossfadeHidesTheLoopSeam)
{
    // A ramp jumps by 75 at the wrap; the crossfade turns that into a glide.
    GuardedLayer layer(300, 1);
    for (int n = 0; n < 300; ++n)
        layer.data()[n] = static_cast<float>(n);
    SampleSourceMock src(layer.View(100, 200, 150));
    src.loopEnable = 1;
    src.crossfade = 0.5f;
    CFastResample r;
    r.Setup(&src, 0, 0.0f);
    const auto out = Render(r, 100, 1.0f);
    for (int j = 1; j < 100; ++j)
        EXPECT_LT(std::fabs(out[2 * j] - out[2 * j - 2]), 5.0f) << j;
    // Half way through the fade the taps are an even blend of k and k - 75.
    EXPECT_NEAR(out[2 * (187 - 150)], 0.52 * 187 + 0.48 * 112, 1e-3);
}

TEST(CFastResample, LayersMixAndIncrementsGlide)
{
    GuardedLayer soft(64, 1), loud(64, 1);
    for (int n = 0; n < 64; ++n) {
        soft.data()[n] = 1.0f;
        loud.data()[n] = 3.0f;
    }
    SampleSourceMock src;
    src.present[0] = src.present[1] = true;
    src.layers[0] = soft.View(0, 64, 4);
    src.layers[1] = loud.View(0, 64, 4);
    src.pitchScale = 0.5f;
    CFastResample r;
    r.Setup(&src, 0, 0.0f);
    std::vector<float> out(2 * 16, 0.25f); // Render adds to what is there
    float mix = 0.25f, inc = 1.0f;
    r.Render(out.data(), 16, mix, 0.01f, inc, 0.125f);
    for (int j = 0; j < 16; ++j) {
        const float m = 0.25f + 0.01f * j;
        EXPECT_NEAR(out[2 * j], 0.25f + (1 - m) * 1.0f + m * 3.0f, 1e-5) << j;
        EXPECT_NEAR(out[2 * j + 1], out[2 * j], 1e-6);
    }
    EXPECT_NEAR(mix, 0.25f + 0.16f, 1e-5);
    EXPECT_NEAR(inc, 1.0f + 2.0f, 1e-6);
    // Positions moved by 0.5 * (1 + 1.125 + ... + 2.875) = 0.5 * 31 frames.
    EXPECT_NEAR(r.positions[0], 4 + 15.5f, 1e-4);
    EXPECT_NEAR(r.positions[1], 4 + 15.5f, 1e-4);
    EXPECT_EQ(src.written[1].back(), 19);

    // A reset renderer is silent: it keeps no layer of the note before.
    r.Reset();
    EXPECT_EQ(r.positions[0], 0.0f);
    EXPECT_EQ(r.positions[1], 0.0f);
    std::fill(out.begin(), out.end(), 0.0f);
    r.Render(out.data(), 16, mix, 0.0f, inc, 0.0f);
    for (float x : out)
        EXPECT_EQ(x, 0.0f);
}

TEST(CFastResample, StartOffsetCountsAt44100AndMissingDataAddsNothing)
{
    GuardedLayer layer(1000, 1);
    SampleSourceMock src(layer.View(0, 1000, 10));
    CFastResample r;
    r.Setup(&src, 0, 0.001f);
    EXPECT_EQ(r.positions[0], 10.0f + 44.0f);

    SampleSourceMock empty;
    CFastResample none;
    none.Setup(&empty, 0, 0.0f);
    std::vector<float> out(8, 0.0f);
    float mix = 0.0f, inc = 1.0f;
    none.Render(out.data(), 4, mix, 0.0f, inc, 0.0f);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
    CFastResample fresh; // never set up
    fresh.Render(out.data(), 4, mix, 0.0f, inc, 0.0f);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
}
