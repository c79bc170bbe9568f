#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "RenderFixture.h"
#include "SampleSourceMock.h"

using namespace render_fixture;

TEST(RenderSample, BlockRenderedSampleKeepsItsPitchWhenSubSampled)
{
    // A looped sine of 100 frames per cycle, played at one source frame per
    // output frame at note 69: 441 Hz. Sub-sampled voices get a doubled or
    // quadrupled increment and render a half or a quarter of the frames, so
    // the pitch must not move.
    constexpr int kPeriod = 100, kCycles = 50;
    GuardedLayer layer(kPeriod * kCycles, 1);
    for (int n = 0; n < kPeriod * kCycles; ++n)
        layer.data()[n] = static_cast<float>(std::sin(2.0 * M_PI * n / kPeriod));
    for (int divider = 0; divider <= 2; ++divider) {
        SampleSourceMock source;
        source.present[0] = true;
        source.layers[0] = layer.View(0, kPeriod * kCycles);
        source.loopEnable = 1;
        // Source frames per unit of the 25-bit increment at 440 Hz.
        source.pitchScale = static_cast<float>(44100.0 / (440.0 * 33554432.0));

        auto e = MakeEngine(1);
        SetUpPart(*e, 0, Only(kOsc1) | kDrive, kOsc1Out, divider);
        e->data.SetPartI(0, 155, 65);  // multi-sample
        ASSERT_FALSE(e->MultiSample(0, 0).UsesSincResampler());
        ASSERT_TRUE(e->fastResamplers[0].Setup(&source, 0, 0.0f));
        StartVoice(*e, 0, 0, 0.0f);
        const auto out = Render(*e, 44100);
        EXPECT_NEAR(ZeroCrossingFrequency(out, 4410, 44100.0), 441.0, 0.05) << "divider " << divider;
    }
}
