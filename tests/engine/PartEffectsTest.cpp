#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "engine/CEngine.h"

namespace {

using D = CEngineData;

class PartEffects : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CEngine>();
        engine->Init();
    }
    float* W(int part = 0) { return engine->data.partWork[part]; }
    void SetP(int id, float v, int part = 0) { engine->data.SetPartF(part, id, v); }
    void SetPInt(int id, int32_t v, int part = 0) { engine->data.SetPartI(part, id, v); }

    // Runs one sample pair through an effect and returns the result.
    template <typename Fx>
    std::pair<float, float> Run(Fx fx, float left, float right, int part = 0)
    {
        engine->partSampleLeft = left;
        engine->partSampleRight = right;
        (engine.get()->*fx)(part);
        return {engine->partSampleLeft, engine->partSampleRight};
    }
    // An impulse on the left (and optionally right) input followed by
    // silence, n samples.
    template <typename Fx>
    std::vector<std::pair<float, float>> Impulse(Fx fx, int n, float left, float right = 0.0f)
    {
        std::vector<std::pair<float, float>> out;
        out.reserve(n);
        for (int i = 0; i < n; ++i)
            out.push_back(i == 0 ? Run(fx, left, right) : Run(fx, 0.0f, 0.0f));
        return out;
    }

    void StereoDelay(float lengthL, float lengthR, float fb, float lvl)
    {
        SetPInt(D::kFxDelayOn, 1);
        W()[D::kFxDelayLengthLeft] = lengthL;
        W()[D::kFxDelayLengthRight] = lengthR;
        W()[D::kFxDelayDampB] = 1.0f;  // undamped
        W()[D::kFxDelayDampA] = 0.0f;
        SetP(D::kFxDelayFeedback, fb);
        SetP(D::kFxDelayLevel, lvl);
    }

    std::unique_ptr<CEngine> engine;
};

TEST_F(PartEffects, SwitchedOffEffectsLeaveTheSampleAndTheirStateAlone)
{
    W()[D::kFxDistDrive] = 1.0f;
    W()[D::kFxDistDrive + 1] = 0.5f;
    W()[D::kFxModTime] = 3.0f;
    W()[D::kFxModTime + 1] = 1.0f;
    for (auto fx : {&CEngine::ProcessDistortion, &CEngine::ProcessDelay, &CEngine::ProcessModEffect}) {
        const auto [l, r] = Run(fx, 0.25f, -0.5f);
        EXPECT_EQ(l, 0.25f);
        EXPECT_EQ(r, -0.5f);
    }
    EXPECT_EQ(W()[D::kFxDistDrive], 1.0f);
    EXPECT_EQ(W()[D::kFxModTime], 3.0f);
    EXPECT_EQ(W()[D::kFxDelayPosition], 0.0f);
}

TEST_F(PartEffects, DelayLengthZeroEchoesAfterOneFullRing)
{
    StereoDelay(0.0f, 0.0f, 0.0f, 1.0f);
    const auto out = Impulse(&CEngine::ProcessDelay, 32769, 1.0f, 0.5f);
    EXPECT_EQ(out[0].first, 1.0f);
    for (int i = 1; i < 32768; ++i)
        ASSERT_EQ(out[i].first, 0.0f) << i;
    EXPECT_EQ(out[32768].first, 1.0f);
    EXPECT_EQ(out[32768].second, 0.5f);
}

TEST_F(PartEffects, DelayLengthsStayInsideTheRing)
{
    // A long synced time asks for more than the ring holds: it is limited to
    // the longest delay, not wrapped to a short one (40000 & 0x7FFF = 7232).
    // NaN reads as 0 (one full ring); a negative length as 0.
    StereoDelay(40000.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f, 1.0f);
    auto out = Impulse(&CEngine::ProcessDelay, 32769, 1.0f, 1.0f);
    EXPECT_EQ(out[7232].first, 0.0f);
    EXPECT_EQ(out[32767].first, 1.0f);
    EXPECT_EQ(out[32767].second, 0.0f);
    EXPECT_EQ(out[32768].second, 1.0f);
    EXPECT_EQ(W()[D::kFxDelayPosition], 1.0f);  // wrapped: 32769 mod 32768

    engine->ResetPart(0);
    StereoDelay(-5.0f, 1e30f, 0.0f, 1.0f);
    W()[D::kFxDelayPosition] = 0.0f;
    out = Impulse(&CEngine::ProcessDelay, 32769, 1.0f, 1.0f);
    EXPECT_EQ(out[32768].first, 1.0f);
    EXPECT_EQ(out[32767].second, 1.0f);
}

TEST_F(PartEffects, DelayFeedbackDampingAndTypes)
{
    // Stereo with feedback 0.5 and a damping filter y = 0.5 x + 0.5 y'.
    StereoDelay(100.0f, 50.0f, 0.5f, 0.8f);
    W()[D::kFxDelayDampB] = 0.5f;
    W()[D::kFxDelayDampA] = -0.5f;
    auto out = Impulse(&CEngine::ProcessDelay, 103, 1.0f);
    EXPECT_FLOAT_EQ(out[100].first, 0.5f * 0.8f);
    EXPECT_FLOAT_EQ(out[101].first, 0.25f * 0.8f);
    EXPECT_FLOAT_EQ(out[102].first, 0.125f * 0.8f);
    EXPECT_EQ(out[50].second, 0.0f);

    // Mono sum: both lines take left + right, both outputs get both echoes.
    engine->ResetPart(0);
    StereoDelay(10.0f, 15.0f, 0.0f, 1.0f);
    W()[D::kFxDelayPosition] = 0.0f;
    SetPInt(D::kFxDelayType, 1);
    out = Impulse(&CEngine::ProcessDelay, 16, 0.25f, 0.5f);
    EXPECT_EQ(out[10], std::make_pair(0.75f, 0.75f));
    EXPECT_EQ(out[15], std::make_pair(0.75f, 0.75f));

    // Ping-pong (type as a whole float): the left echo crosses to the right
    // line, the right echo comes back with the feedback.
    engine->ResetPart(0);
    StereoDelay(10.0f, 20.0f, 0.5f, 1.0f);
    W()[D::kFxDelayPosition] = 0.0f;
    SetP(D::kFxDelayType, 2.0f);
    out = Impulse(&CEngine::ProcessDelay, 61, 1.0f);
    std::vector<std::pair<int, float>> left, right;
    for (int i = 1; i < 61; ++i) {
        if (out[i].first != 0.0f)
            left.emplace_back(i, out[i].first);
        if (out[i].second != 0.0f)
            right.emplace_back(i, out[i].second);
    }
    EXPECT_EQ(left, (std::vector<std::pair<int, float>>{{10, 1.0f}, {40, 0.5f}}));
    EXPECT_EQ(right, (std::vector<std::pair<int, float>>{{30, 1.0f}, {60, 0.5f}}));
}

TEST_F(PartEffects, NanAndOverflowDoNotStayInTheDelay)
{
    StereoDelay(10.0f, 10.0f, 0.9f, 1.0f);
    W()[D::kFxDelayStateLeft] = std::numeric_limits<float>::quiet_NaN();
    Run(&CEngine::ProcessDelay, std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity());
    EXPECT_EQ(W()[D::kFxDelayStateLeft], 0.0f);
    EXPECT_EQ(engine->partDelayLeft[0][10], 0.0f);
    EXPECT_EQ(engine->partDelayRight[0][10], 40.0f);
    for (int i = 1; i < 200; ++i) {
        const auto [l, r] = Run(&CEngine::ProcessDelay, 0.0f, 0.0f);
        ASSERT_EQ(l, 0.0f) << i;
        ASSERT_TRUE(std::isfinite(r)) << i;
        ASSERT_LE(std::fabs(r), 40.0f) << i;
    }
}

TEST_F(PartEffects, DistortionShapersRampsAndTypeFiveActsAsThree)
{
    // Low pass only (gain ramping 0 -> 0.5 on the first sample), tone 0, so
    // the result is the shaped sample x 0.5 minus the first DC estimate.
    auto setUp = [&](int part, int32_t type) {
        SetPInt(D::kFxDistOn, 1, part);
        SetPInt(D::kFxDistType, type, part);
        SetP(D::kFxDistTone, 0.0f, part);
        W(part)[D::kFxDistDrive] = 1.0f;
        W(part)[D::kFxDistOutGain] = 2.0f;
        W(part)[D::kFxDistFilterGain + 4] = 0.5f;  // step of the low-pass gain
    };
    // First sample of a part: shaped value y gives out = y / 2, minus DC.
    auto expected = [](float y) { return y * 0.5f - 0.0005f * (y * 0.5f); };

    // Type 3: second harmonic table at x * 2048, times the output gain.
    // T_n(0.5) sums to 0.89, T_n(-0.5) to -0.11.
    setUp(0, 3);
    auto [l3, r3] = Run(&CEngine::ProcessDistortion, 0.5f, -0.5f, 0);
    EXPECT_NEAR(l3, expected(0.89f * 2.0f), 1e-5);
    EXPECT_NEAR(r3, expected(-0.11f * 2.0f), 1e-5);
    EXPECT_FLOAT_EQ(W(0)[D::kFxDistFilterGain], 0.5f);

    // Type 5 behaves as type 3, sample for sample.
    setUp(1, 5);
    auto [l5, r5] = Run(&CEngine::ProcessDistortion, 0.5f, -0.5f, 1);
    EXPECT_EQ(l5, l3);
    EXPECT_EQ(r5, r3);
    for (int i = 0; i < 64; ++i) {
        const float x = std::sin(0.3f * static_cast<float>(i));
        const auto a = Run(&CEngine::ProcessDistortion, x, -x, 0);
        const auto b = Run(&CEngine::ProcessDistortion, x, -x, 1);
        ASSERT_EQ(a, b) << i;
    }

    // Type 2: first harmonic table, sums to 0.825 at 0.5.
    setUp(2, 2);
    EXPECT_NEAR(Run(&CEngine::ProcessDistortion, 0.5f, 0.0f, 2).first, expected(0.825f * 2.0f), 1e-5);
    // Type 0: soft clip with knees 0.99 at x * 16384, linear below the knee
    // with slope 2 a (1 - k), a = 1 / (1 - k^2); no output gain.
    setUp(3, 0);
    const float b99 = 2.0f / (1.0f - 0.99f * 0.99f) * 0.01f;
    EXPECT_NEAR(Run(&CEngine::ProcessDistortion, 0.01f, 0.0f, 3).first, expected(0.08f * b99), 1e-5);
    // Type 1: sin(x pi / 4096) (0.9 - 0.1 u) at x * 16384 = 1024.
    setUp(4, 1);
    const float sine = static_cast<float>(std::sin(std::numbers::pi / 4.0) * 0.85);
    EXPECT_NEAR(Run(&CEngine::ProcessDistortion, 0.0625f, 0.0f, 4).first, expected(sine), 1e-5);
}

TEST_F(PartEffects, DistortionHighPassAndDcRemoval)
{
    // Type 0 below its knee: y = 0.08 b for the input 0.01.
    const float y = 0.08f * (2.0f / (1.0f - 0.99f * 0.99f) * 0.01f);
    for (int part : {0, 1}) {
        SetPInt(D::kFxDistOn, 1, part);
        W(part)[D::kFxDistDrive] = 1.0f;
    }
    // Part 0, tone 1: only the high-pass section, band = y - y' + 0.9 band',
    // doubled; the DC estimate follows with 0.0005.
    SetP(D::kFxDistTone, 1.0f, 0);
    W(0)[D::kFxDistFilterGain + 2] = 1.0f;
    W(0)[D::kFxDistFilterGain + 3] = 0.9f;
    EXPECT_NEAR(Run(&CEngine::ProcessDistortion, 0.01f, 0.01f, 0).first, 1.999f * y, 1e-6);
    EXPECT_NEAR(Run(&CEngine::ProcessDistortion, 0.01f, 0.01f, 0).first, 1.8f * y - 0.0018995f * y, 1e-6);

    // Part 1, tone 0, plain low-pass gain 1: a steady input leaves as
    // y * 0.9995^n once the DC estimate has followed it for n samples.
    SetP(D::kFxDistTone, 0.0f, 1);
    W(1)[D::kFxDistFilterGain] = 1.0f;
    float last = 0.0f;
    for (int i = 0; i < 400; ++i)
        last = Run(&CEngine::ProcessDistortion, 0.01f, 0.01f, 1).first;
    EXPECT_NEAR(last, y * std::pow(0.9995, 400), 1e-6);

    // NaN in the states is dropped.
    W(1)[D::kFxDistFilterState] = std::numeric_limits<float>::quiet_NaN();
    W(1)[D::kFxDistDcLeft] = std::numeric_limits<float>::quiet_NaN();
    Run(&CEngine::ProcessDistortion, 0.0f, 0.0f, 1);
    EXPECT_TRUE(std::isfinite(Run(&CEngine::ProcessDistortion, 0.0f, 0.0f, 1).first));
}

TEST_F(PartEffects, PhaserWithZeroCoefficientDelaysItsInputIntoTheFeedback)
{
    // g = 0 makes each all-pass stage a one-sample delay: the input comes
    // out of the eight stages unchanged, eight samples later, and becomes the
    // feedback state.
    SetPInt(D::kFxModOn, 1);
    SetPInt(D::kFxModType, 0);
    SetP(D::kFxModMix, 1.0f);
    W()[D::kFxModFeedback] = 0.5f;
    const auto out = Impulse(&CEngine::ProcessModEffect, 27, 1.0f);
    for (int i = 1; i < 27; ++i) {
        const float want = i == 8 ? 1.0f : i == 17 ? 0.5f : i == 26 ? 0.25f : 0.0f;
        ASSERT_EQ(out[i].first, want) << i;
        ASSERT_EQ(out[i].second, want) << i;  // not dual: both channels
    }
    EXPECT_EQ(W()[D::kFxPhaserFeedbackLeft], 0.25f);
}

TEST_F(PartEffects, PhaserIsAllPassAndDualRunsTwoChains)
{
    SetPInt(D::kFxModOn, 1);
    SetPInt(D::kFxModDual, 1);
    SetP(D::kFxModMix, 1.0f);
    W()[D::kFxModTime] = 2048.0f;      // g = 0.5 on the left
    W()[D::kFxModTime + 2] = 1024.0f;  // g = 0.25 on the right
    double energyL = 0.0, energyR = 0.0;
    const auto out = Impulse(&CEngine::ProcessModEffect, 2000, 1.0f, 1.0f);
    for (int i = 0; i < 2000; ++i) {
        // Remove the dry path of sample 0.
        const double l = out[i].first - (i == 0 ? 1.0 : 0.0);
        const double r = out[i].second - (i == 0 ? 1.0 : 0.0);
        energyL += l * l;
        energyR += r * r;
    }
    EXPECT_NEAR(energyL, 1.0, 1e-4);
    EXPECT_NEAR(energyR, 1.0, 1e-4);
    // First output of a chain of eight stages is g^8.
    EXPECT_NEAR(out[0].first - 1.0f, std::pow(0.5, 8), 1e-7);
    EXPECT_NEAR(out[0].second - 1.0f, std::pow(0.25, 8), 1e-9);
}

TEST_F(PartEffects, FlangerAndChorusReadTheirLinesAtTheRampedTimes)
{
    SetPInt(D::kFxModOn, 1);
    SetPInt(D::kFxModType, 1);
    SetP(D::kFxModMix, 1.0f);
    // Time 10.25: i = 10, weight 0.75 on ten samples back, 0.25 on nine.
    W()[D::kFxModTime] = 10.25f;
    auto out = Impulse(&CEngine::ProcessModEffect, 12, 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(out[9].first, 0.25f);
    EXPECT_FLOAT_EQ(out[10].first, 0.75f);
    // Not dual: the right line is read at the left time too.
    EXPECT_FLOAT_EQ(out[9].second, 0.125f);
    EXPECT_FLOAT_EQ(out[10].second, 0.375f);

    // Feedback ramps toward its target; time 10.5 rounds to 10 (ties to
    // even) and reads exactly ten samples back.
    engine->ResetPart(0);
    std::fill(W(), W() + D::kPartWorkCells, 0.0f);
    W()[D::kFxModTime] = 10.5f;
    W()[D::kFxModFeedback] = 0.4f;
    W()[D::kFxModFeedback + 1] = 0.1f / 21.0f;
    out = Impulse(&CEngine::ProcessModEffect, 21, 1.0f);
    EXPECT_FLOAT_EQ(out[10].first, 1.0f);
    // Written at sample 10 with the feedback after eleven steps.
    EXPECT_NEAR(out[20].first, 0.4f + 11.0f * 0.1f / 21.0f, 1e-6);

    // Chorus: two taps per channel, each time advanced by its step first.
    engine->ResetPart(0);
    std::fill(W(), W() + D::kPartWorkCells, 0.0f);
    SetPInt(D::kFxModType, 2);
    const float times[4] = {4.0f, 6.5f, 8.5f, 10.5f};
    for (int k = 0; k < 4; ++k)
        W()[D::kFxModTime + 2 * k] = times[k];
    W()[D::kFxModTime + 1] = 0.5f / 16.0f;  // 4.0 + n / 32: reaches 4.5 after 16 samples
    out = Impulse(&CEngine::ProcessModEffect, 12, 1.0f, 1.0f);
    EXPECT_NEAR(W()[D::kFxModTime], 4.0f + 12.0f * 0.5f / 16.0f, 1e-6);
    EXPECT_FLOAT_EQ(out[6].first, 1.0f);
    EXPECT_FLOAT_EQ(out[8].second, 1.0f);
    EXPECT_FLOAT_EQ(out[10].second, 1.0f);
    EXPECT_GT(out[4].first, 0.0f);  // the moving first tap
    EXPECT_EQ(out[7].first, 0.0f);
    EXPECT_EQ(out[7].second, 0.0f);
    EXPECT_EQ(W()[D::kFxModPosition], 12.0f);
}

TEST_F(PartEffects, ModulationLinesDropNaNAndWrapTheirPosition)
{
    SetPInt(D::kFxModOn, 1);
    SetPInt(D::kFxModType, 2);
    SetP(D::kFxModMix, 1.0f);
    W()[D::kFxModPosition] = 4095.0f;
    W()[D::kFxModTime] = std::numeric_limits<float>::quiet_NaN();  // reads as 0
    Run(&CEngine::ProcessModEffect, std::numeric_limits<float>::quiet_NaN(), 0.0f);
    EXPECT_EQ(W()[D::kFxModPosition], 0.0f);
    EXPECT_EQ(W()[D::kFxModTime], 0.0f);  // the time restarts too
    EXPECT_EQ(engine->partModDelay[0][0][4095], 0.0f);
    for (int i = 0; i < 4200; ++i)
        ASSERT_TRUE(std::isfinite(Run(&CEngine::ProcessModEffect, 0.0f, 0.0f).first)) << i;
}

} // namespace
