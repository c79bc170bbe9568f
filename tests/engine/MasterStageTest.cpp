#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/CEngine.h"
#include "platform/CGlobalData.h"
#include "tests/engine/RenderFixture.h"

namespace {

using D = CEngineData;

// Output soft clip below its knee (|c| < 0.5): slope 2 a (1 - k) with
// a = 1 / (1 - k^2), k = 0.5, that is 4/3.
float ClipLinear(float c) { return c * 4.0f / 3.0f; }

class MasterStage : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine = std::make_unique<CEngine>();
        engine->Init();
        // The smoothed values as the first control tick after a reset
        // leaves them: part level 1.0, pan 0.5, no sends; master level 1.0,
        // balance 0.5; reverb and chorus off.
        for (int p = 0; p < CEngine::kParts; ++p)
            SetPart(p, 1.0f, 0.5f, 0.0f, 0.0f);
        G()[D::kGlobMasterLevel] = 1.0f;
        G()[D::kGlobBalance] = 0.5f;
    }
    float* G() { return engine->data.globalValues; }
    float* Gw() { return engine->data.globalWork; }
    void SetPart(int part, float level, float pan, float reverb, float chorus)
    {
        CEngineData& d = engine->data;
        d.SetSettingF(part, D::kSetLevel, level);
        d.SetSettingF(part, D::kSetPan, pan);
        d.SetSettingF(part, D::kSetReverbSend, reverb);
        d.SetSettingF(part, D::kSetChorusSend, chorus);
    }
    void Feed(int part, float left, float right)
    {
        engine->partSampleLeft = left;
        engine->partSampleRight = right;
        engine->ProcessPartOutput(part);
    }

    std::unique_ptr<CEngine> engine;
};

TEST_F(MasterStage, DryPathScalesByLevelPanMasterAndBalanceThenClips)
{
    float frame[2];
    engine->ClearMasterBuses();
    Feed(0, 0.3f, -0.2f);
    engine->ProcessMasterOutput(frame);
    EXPECT_NEAR(frame[0], ClipLinear(0.3f * 0.5f * 0.5f), 1e-6);
    EXPECT_NEAR(frame[1], ClipLinear(-0.2f * 0.5f * 0.5f), 1e-6);

    // Two parts with their own level and pan, master level 0.9, balance 0.7.
    SetPart(0, 0.8f, 0.25f, 0.0f, 0.0f);
    SetPart(5, 0.5f, 0.6f, 0.0f, 0.0f);
    G()[D::kGlobMasterLevel] = 0.9f;
    G()[D::kGlobBalance] = 0.7f;
    engine->ClearMasterBuses();
    Feed(0, 0.4f, 0.4f);
    Feed(5, -0.2f, 0.6f);
    engine->ProcessMasterOutput(frame);
    const float left = (0.4f * 0.8f * 0.25f + -0.2f * 0.5f * 0.6f) * 0.9f * 0.7f;
    const float right = (0.4f * 0.8f * 0.75f + 0.6f * 0.5f * 0.4f) * 0.9f * 0.3f;
    EXPECT_NEAR(frame[0], ClipLinear(left), 1e-6);
    EXPECT_NEAR(frame[1], ClipLinear(right), 1e-6);
    // The meters keep the squared peaks of the scaled pair.
    EXPECT_NEAR(G()[D::kGlobMeterLeft], 0.075f * 0.075f, 1e-9);
    EXPECT_NEAR(G()[D::kGlobMeterRight], right * right, 1e-9);

    // Above the knee: 1 - (1 - u)^2 a at u = 0.75; full scale and beyond: 1.
    SetPart(0, 1.0f, 0.5f, 0.0f, 0.0f);
    G()[D::kGlobMasterLevel] = 1.0f;
    G()[D::kGlobBalance] = 0.5f;
    engine->ClearMasterBuses();
    Feed(0, 3.0f, -7.0f);
    engine->ProcessMasterOutput(frame);
    EXPECT_NEAR(frame[0], 1.0f - 0.0625f * 4.0f / 3.0f, 1e-5);
    EXPECT_EQ(frame[1], -1.0f);
}

TEST_F(MasterStage, PanOneLeavesTheRightChannelSilent)
{
    SetPart(2, 1.0f, 1.0f, 0.5f, 0.5f);
    float frame[2];
    engine->ClearMasterBuses();
    Feed(2, 0.2f, 0.9f);
    EXPECT_EQ(engine->masterRight, 0.0f);
    EXPECT_EQ(engine->reverbSendRight, 0.0f);
    EXPECT_EQ(engine->chorusSendRight, 0.0f);
    engine->ProcessMasterOutput(frame);
    EXPECT_EQ(frame[1], 0.0f);
    EXPECT_NEAR(frame[0], ClipLinear(0.2f * 0.5f), 1e-6);
}

TEST_F(MasterStage, SendsPeaksAndOutputPair)
{
    CEngineData& d = engine->data;
    SetPart(1, 0.5f, 0.25f, 0.3f, 0.7f);
    // Only the master pair exists; a part set to another pair still sounds.
    d.SetSettingI(1, D::kSetOutputPair, 3);
    d.SetPartF(1, D::kFxPartPeak, 0.001f);
    engine->ClearMasterBuses();
    EXPECT_EQ(engine->outputUsed, 0);
    Feed(1, 0.8f, -0.4f);
    const float left = 0.8f * 0.5f * 0.25f;
    const float right = -0.4f * 0.5f * 0.75f;
    EXPECT_EQ(engine->outputUsed, 1);
    EXPECT_FLOAT_EQ(engine->masterLeft, left);
    EXPECT_FLOAT_EQ(engine->masterRight, right);
    EXPECT_FLOAT_EQ(engine->reverbSendLeft, left * 0.3f);
    EXPECT_FLOAT_EQ(engine->reverbSendRight, right * 0.3f);
    EXPECT_FLOAT_EQ(engine->chorusSendLeft, left * 0.7f);
    EXPECT_FLOAT_EQ(engine->chorusSendRight, right * 0.7f);
    EXPECT_FLOAT_EQ(d.PartF(1, D::kFxPartPeak), right * right);
    // The peak only rises.
    Feed(1, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(d.PartF(1, D::kFxPartPeak), right * right);
    // The buses start from zero every sample.
    engine->ClearMasterBuses();
    EXPECT_EQ(engine->masterLeft, 0.0f);
    EXPECT_EQ(engine->reverbSendRight, 0.0f);
    EXPECT_EQ(engine->chorusSendLeft, 0.0f);
}

class MasterReverb : public MasterStage {
protected:
    void SetUp() override
    {
        MasterStage::SetUp();
        // Working cells as the parameter model derives them: predelay 100,
        // prime line lengths, line gains of alternating sign, all-pass
        // coefficients 0.7 falling by 0.96, damping 0.5.
        const float lengths[18] = {1021, 907, 811, 727, 641, 569, 113, 89, 71, 53, 43, 31,
                                   107, 83, 67, 53, 41, 29};
        Gw()[D::kGwPredelay] = 100.0f;
        for (int k = 0; k < 18; ++k)
            Gw()[D::kGwLineLength + k] = lengths[k];
        for (int k = 0; k < 6; ++k)
            Gw()[D::kGwLineGain + k] = k % 2 == 0 ? -0.9f : 0.9f;
        float c = 0.7f;
        for (int k = 0; k < 6; ++k) {
            Gw()[D::kGwAllpassCoef + k] = c;
            Gw()[D::kGwAllpassCoef + 6 + k] = c;
            c *= 0.96f;
        }
        Gw()[D::kGwDampCurrent] = 0.75f;
        Gw()[D::kGwDampPrevious] = 0.25f;
        Gw()[D::kGwReverbInput] = 1.0f;
        G()[D::kGlobReverbReturn] = 0.5f;
        // The switch as the integer the global setter writes.
        G()[D::kGlobReverbOn] = std::bit_cast<float>(int32_t{1});
    }
    float ProductOfCoefficients() const
    {
        double p = 1.0;
        double c = 0.7;
        for (int k = 0; k < 6; ++k, c *= 0.96)
            p *= c;
        return static_cast<float>(p);
    }
};

TEST_F(MasterReverb, ImpulseReachesTheOutputsAfterThePredelay)
{
    float frame[2];
    float first[2] = {};
    for (int j = 0; j <= 100; ++j) {
        engine->ClearMasterBuses();
        if (j == 0)
            engine->reverbSendLeft = 1.0f;
        engine->ProcessMasterOutput(frame);
        if (j < 100) {
            ASSERT_EQ(frame[0], 0.0f) << j;
            ASSERT_EQ(frame[1], 0.0f) << j;
        } else {
            first[0] = frame[0];
            first[1] = frame[1];
        }
    }
    // At once through both all-pass chains: scaled by the six coefficients,
    // the return level, master level and balance.
    const float expected = ClipLinear(ProductOfCoefficients() * 0.5f * 0.5f);
    EXPECT_NEAR(first[0], expected, 1e-6);
    EXPECT_NEAR(first[1], expected, 1e-6);

    // The shortest line (569 samples, line 6, gain +0.9) answers 569 samples
    // later: its value 0.9 through four damping sections of 0.75 on the new
    // sample, times the line gain again.
    for (int j = 101; j < 100 + 569; ++j) {
        engine->ClearMasterBuses();
        engine->ProcessMasterReverb();
        ASSERT_NEAR(Gw()[D::kGwLineOut + 5], 0.0f, 1e-9) << j;
    }
    engine->ClearMasterBuses();
    engine->ProcessMasterReverb();
    EXPECT_NEAR(Gw()[D::kGwLineOut + 5], 0.9f * std::pow(0.75f, 4.0f) * 0.9f, 1e-6);
    EXPECT_NEAR(Gw()[D::kGwLineOut + 4], 0.0f, 1e-9);
    EXPECT_EQ(Gw()[D::kGwReverbPosition], 670.0f);
    EXPECT_EQ(Gw()[D::kGwAllpassPosition], 670.0f);
}

// With the chorus off and the reverb on, a sine part's chorus send is heard
// nowhere: neither through the chorus nor through the reverb.
TEST_F(MasterReverb, AChorusSendIsNotHeardWithTheChorusOff)
{
    using namespace render_fixture;
    std::vector<float> heard[2];
    for (int run = 0; run < 2; ++run) {
        SetUp();
        CEngineData& d = engine->data;
        d.voicesInUse = 1;
        SetUpPart(*engine, 0, Only(kOsc1) | kDrive, kOsc1Out);
        StartVoice(*engine, 0, 0, 0.0f);
        d.globalTargets[D::kGlobReverbReturn] = 0.5f;
        G()[D::kGlobChorusReturn] = d.globalTargets[D::kGlobChorusReturn] = 0.5f;
        for (int k = 0; k < 4; ++k) Gw()[D::kGwChorusTime + 2 * k] = 10.0f;
        const float sends[2] = {0.5f, run == 0 ? 0.0f : 0.8f};
        for (int k = 0; k < 2; ++k) d.partMixerTargets[0][k] = sends[k];
        SetPart(0, 1.0f, 0.5f, sends[0], sends[1]);
        heard[run] = Render(*engine, 4096);
    }
    EXPECT_GT(*std::max_element(heard[0].begin(), heard[0].end()), 0.1f);
    EXPECT_EQ(heard[0], heard[1]);
}

TEST_F(MasterReverb, OffLeavesEverythingAloneAndNaNDoesNotStay)
{
    G()[D::kGlobReverbOn] = 0.0f;
    engine->reverbSendLeft = 1.0f;
    engine->ProcessMasterReverb();
    EXPECT_EQ(engine->masterLeft, 0.0f);
    EXPECT_EQ(Gw()[D::kGwReverbPosition], 0.0f);
    EXPECT_EQ(engine->reverbLines[0][100], 0.0f);

    // A NaN or an infinity on the send leaves no NaN in any ring.
    G()[D::kGlobReverbOn] = 1.0f;
    for (int j = 0; j < 5000; ++j) {
        engine->ClearMasterBuses();
        if (j == 0)
            engine->reverbSendLeft = std::numeric_limits<float>::quiet_NaN();
        if (j == 1)
            engine->reverbSendRight = std::numeric_limits<float>::infinity();
        engine->ProcessMasterReverb();
        if (j > 0) {
            ASSERT_TRUE(std::isfinite(engine->masterLeft)) << j;
            ASSERT_TRUE(std::isfinite(engine->masterRight)) << j;
        }
    }
    for (const auto& line : engine->reverbLines)
        for (float v : line)
            ASSERT_TRUE(std::isfinite(v));
    for (const auto& ring : engine->allpassLines)
        for (float v : ring)
            ASSERT_TRUE(std::isfinite(v));
}

TEST_F(MasterStage, ChorusReadsItsRingsAtTheRampedTimes)
{
    G()[D::kGlobChorusOn] = 1.0f;
    G()[D::kGlobChorusReturn] = 0.5f;
    G()[D::kGlobChorusFeedback] = 0.5f;
    // Times x.5 round to the even neighbour and read exactly that far back:
    // 4.5 -> 4, 6.5 -> 6, 8.5 -> 8, 10.5 -> 10.
    const float times[4] = {4.5f, 6.5f, 8.5f, 10.5f};
    for (int k = 0; k < 4; ++k)
        Gw()[D::kGwChorusTime + 2 * k] = times[k];
    float left[13], right[13];
    for (int j = 0; j < 13; ++j) {
        engine->ClearMasterBuses();
        if (j == 0) {
            engine->chorusSendLeft = 1.0f;
            engine->chorusSendRight = -1.0f;
        }
        engine->ProcessMasterChorus();
        left[j] = engine->masterLeft;
        right[j] = engine->masterRight;
    }
    EXPECT_FLOAT_EQ(left[4], 0.5f);
    EXPECT_FLOAT_EQ(left[6], 0.5f);
    EXPECT_FLOAT_EQ(left[8], 0.25f);   // ring 1 again, through the feedback
    EXPECT_FLOAT_EQ(left[12], 0.125f + 0.25f);
    EXPECT_EQ(left[5], 0.0f);
    EXPECT_FLOAT_EQ(right[8], -0.5f);
    EXPECT_FLOAT_EQ(right[10], -0.5f);
    EXPECT_EQ(right[4], 0.0f);
    EXPECT_EQ(Gw()[D::kGwChorusPosition], 13.0f);

    // Each time advances by its step before it is read.
    Gw()[D::kGwChorusTime + 1] = 0.25f;
    engine->ProcessMasterChorus();
    EXPECT_FLOAT_EQ(Gw()[D::kGwChorusTime], 4.75f);

    // Off: no ring is read or written.
    G()[D::kGlobChorusOn] = 0.0f;
    engine->ClearMasterBuses();
    engine->chorusSendLeft = 1.0f;
    engine->ProcessMasterChorus();
    EXPECT_EQ(Gw()[D::kGwChorusPosition], 14.0f);
    EXPECT_EQ(engine->masterLeft, 0.0f);
}

} // namespace

namespace {

TEST_F(MasterReverb, RestsOnlyLongAfterItsTailDiedAwayAndWakesWithTheNextPart)
{
    // A sound left in one line; no part sounds.
    engine->reverbLines[3][0] = 1.0f;
    float out[2 * CEngine::kBlockFrames];
    const int frames = g_GlobalData.blockSize;
    int lastAudible = -1, rested = -1;
    for (int b = 0; b < 40000 && rested < 0; ++b) {
        const float before = Gw()[D::kGwReverbPosition];
        engine->RenderBlock(out);
        if (Gw()[D::kGwReverbPosition] == before) {
            rested = b;
            for (int i = 0; i < 2 * frames; ++i)
                ASSERT_EQ(out[i], 0.0f) << i;
            break;
        }
        for (int i = 0; i < 2 * frames; ++i)
            if (std::fabs(out[i]) > CEngine::kMasterQuietLevel)
                lastAudible = b;
    }
    ASSERT_GT(lastAudible, 100);  // the tail was heard for a while
    ASSERT_GE(rested, 0);
    EXPECT_EQ(rested, lastAudible + 1 + static_cast<int>(CEngine::kMasterRestBlocks));

    // A part that sounds again (its meter is up) wakes the master effects.
    engine->partMeters[0][3] = 1.0f;
    const float before = Gw()[D::kGwReverbPosition];
    engine->RenderBlock(out);
    EXPECT_EQ(Gw()[D::kGwReverbPosition], std::fmod(before + static_cast<float>(frames), 16384.0f));
}

} // namespace
