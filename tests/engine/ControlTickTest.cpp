#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/CEngine.h"

// White-box access to the private stages of the control tick.
struct CEngineControlAccess {
    static void SelectSpectrumRegion(CEngine& e, int voice, int group, int32_t q)
    {
        e.SelectSpectrumRegion(voice, group, q);
    }
};

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One sounding voice (voice 0) of part 0, ramps over a 32-sample block.
std::unique_ptr<CEngine> MakeVoiceEngine()
{
    auto e = std::make_unique<CEngine>();
    e->Init();
    CEngineData& d = e->data;
    d.voicesInUse = 1;
    d.voicePart[0] = 0;
    d.voiceState[0] = 0;
    e->partSounding[0] = 1;
    d.SetPartF(0, 277, 1.0f / 32.0f);
    d.SetPartF(0, 145, 1.0f);  // glide completes in one block
    return e;
}

// Sets a smoothed part value (cells 1..64 follow their targets).
void SetSmoothed(CEngineData& d, int id, float v)
{
    d.partTargets[0][id] = v;
    d.SetPartF(0, id, v);
}

// Gate open and MEG1 with two points, 0 at time 0 and 1 after `seconds`,
// no loop.
void TwoPointMeg(CEngineData& d, float seconds)
{
    d.SetControlI(0, CEngineData::kVcGate, 1);
    d.SetPartF(0, 347, 2.0f);
    d.SetPartF(0, 350, 1.0f);
    d.SetPartF(0, 1024, 0.0f);
    d.SetPartF(0, 1025, seconds);
    d.SetPartF(0, 1088, 0.0f);
    d.SetPartF(0, 1089, 1.0f);
}

} // namespace

TEST(ControlTick, GlideCoefficientOneReachesEveryTargetThenGlidesFivePercent)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    for (int id = 1; id <= 64; ++id)
        d.partTargets[0][id] = 0.01f * static_cast<float>(id);
    for (int id : {281, 282, 283, 284, 288, 289, 294, 295, 296, 361, 362, 363})
        d.partTargets[0][id] = 0.5f + 0.001f * static_cast<float>(id);
    for (int cell : {6, 7, 8, 9, 20, 21})
        d.globalTargets[cell] = 0.25f + 0.01f * static_cast<float>(cell);
    d.partMixerTargets[0][0] = 0.3f;
    d.partMixerTargets[0][1] = 0.4f;
    d.partMixerTargets[0][2] = 0.7f;
    d.partMixerTargets[0][3] = 0.2f;
    ASSERT_FLOAT_EQ(d.globalValues[CEngineData::kGlideCell], 1.0f);

    e->ControlTick();
    for (int id = 1; id <= 64; ++id)
        EXPECT_EQ(d.PartF(0, id), d.partTargets[0][id]) << id;
    for (int id : {281, 282, 283, 284, 288, 289, 294, 295, 296, 361, 362, 363})
        EXPECT_EQ(d.PartF(0, id), d.partTargets[0][id]) << id;
    for (int cell : {6, 7, 8, 9, 20, 21})
        EXPECT_EQ(d.globalValues[cell], d.globalTargets[cell]) << cell;
    for (int word = 0; word < 4; ++word)
        EXPECT_EQ(d.SettingF(0, word), d.partMixerTargets[0][word]) << word;
    // The voice copies the smoothed values.
    EXPECT_EQ(d.ControlF(0, 2), d.partTargets[0][2]);
    EXPECT_EQ(d.blockCounter, 1u);
    EXPECT_FLOAT_EQ(d.globalValues[CEngineData::kGlideCell], 0.05f);

    // From now on 5 % of the distance per block; a muted part's level goes
    // toward 1e-5 instead of its target.
    d.partTargets[0][10] = 1.1f;
    d.SetSettingI(0, CEngineData::kSetMute, 1);
    e->ControlTick();
    EXPECT_FLOAT_EQ(d.PartF(0, 10), 0.1f + (1.1f - 0.1f) * 0.05f);
    EXPECT_FLOAT_EQ(d.SettingF(0, 2), 0.7f + (1e-5f - 0.7f) * 0.05f);
    // A solo elsewhere silences an unmuted part too; its own solo does not.
    d.SetSettingI(0, CEngineData::kSetMute, 0);
    d.SetSettingI(0, CEngineData::kSetAnySolo, 1);
    const float before = d.SettingF(0, 2);
    e->ControlTick();
    EXPECT_FLOAT_EQ(d.SettingF(0, 2), before + (1e-5f - before) * 0.05f);
}

TEST(ControlTick, AttackEndsAtOneAndNeverExceedsIt)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    d.SetPartF(0, 188, 0.5f);  // EG1 sustain
    d.SetPartI(0, 318, 1);     // decay right after the attack
    d.SetPartF(0, 186, 0.5f);  // attack cell
    d.SetControlI(0, 95, -1);  // EG1 in its delay
    d.SetControlF(0, 96, 1.2f);
    d.SetControlI(0, 97, 2);   // two blocks of delay

    // The delay holds the voice sounding and computes the rates when it ends:
    // x = 0.5 * 128 = 64 gives T = 2^(64 / 7.5294) ms and the per-block rate
    // 1 - exp(ln 0.2 / (T / ms per block)) = 0.0032205525 at 44100 Hz.
    for (int i = 0; i < 2; ++i) {
        d.voiceState[0] = 5;
        e->ControlTick();
        EXPECT_EQ(d.voiceState[0], 0);
        EXPECT_EQ(d.ControlI(0, 95), -1);
    }
    e->ControlTick();
    EXPECT_EQ(d.ControlI(0, 95), 0);
    EXPECT_NEAR(d.ControlF(0, 149), 0.0032205525f, 2e-8f);

    // A fast attack overshoots toward 1.2 and is cut at exactly 1.0.
    d.SetControlF(0, 149, 0.9f);
    bool reached = false;
    for (int i = 0; i < 60; ++i) {
        e->ControlTick();
        const float level = d.ControlF(0, 81);
        EXPECT_LE(level, 1.0f) << i;
        if (!reached && level == 1.0f) {
            reached = true;
            EXPECT_EQ(d.ControlI(0, 95), 1);
            EXPECT_FLOAT_EQ(d.ControlF(0, 96), 0.5f);
        }
    }
    EXPECT_TRUE(reached);
    // Output = level - sustain.
    EXPECT_FLOAT_EQ(d.ControlF(0, 82), d.ControlF(0, 81) - 0.5f);

    // Hold first (cell 318 = 5): 30 blocks of hold, then decay.
    d.SetPartI(0, 318, 5);
    d.SetControlI(0, 95, 0);
    d.SetControlF(0, 96, 1.2f);
    d.SetControlF(0, 81, 0.99f);
    d.SetControlI(0, 182, 30);
    d.SetControlF(0, 150, 0.5f);
    e->ControlTick();
    EXPECT_EQ(d.ControlI(0, 95), 5);
    for (int i = 0; i < 30; ++i)
        e->ControlTick();
    EXPECT_EQ(d.ControlF(0, 81), 1.0f);
    e->ControlTick();
    EXPECT_EQ(d.ControlI(0, 95), 1);
}

TEST(ControlTick, LfoTriggeredEnvelopeAlternatesOnWrapsAndSampleAndHoldTakesTheLfoBefore)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    // LFO 1 synced to the tempo: half a cycle per block, a wrap every
    // second block.
    e->tempoIncrement = 8388608.0f;
    d.SetPartI(0, 216, 1);
    d.SetPartF(0, 215, 1.0f);
    d.SetPartI(0, 191, 3);  // EG1 follows LFO 1
    d.SetControlI(0, 95, 3);
    std::vector<int> stages;
    for (int i = 0; i < 4; ++i) {
        e->ControlTick();
        stages.push_back(d.ControlI(0, 95));
    }
    // Wraps on blocks 2 and 4: release → start (delay, target 1.6) → release.
    EXPECT_EQ(stages[0], 3);
    EXPECT_NE(stages[1], 3);
    EXPECT_EQ(stages[3], 3);
    EXPECT_FLOAT_EQ(d.ControlF(0, 96), 1e-13f);

    // LFO 1 as sample and hold takes LFO 4's output of the previous block.
    d.SetPartI(0, 213, 5);
    d.SetControlF(0, 172, 0.375f);  // LFO 4 output before this block
    d.SetPartI(0, 225, 0);          // LFO 4 sine
    d.SetPartF(0, 227, 0.9f);       // LFO 4 runs
    d.SetControlI(0, 111, 0xC00000);  // LFO 1 wraps this block
    e->ControlTick();
    EXPECT_EQ(d.ControlF(0, 169), 0.375f);
    EXPECT_NE(d.ControlF(0, 172), 0.375f);
}

TEST(ControlTick, MultiSegmentEnvelopeEndsExactlyAtItsLevelForAnySlope)
{
    for (float slope : {0.0f, -0.1f, 0.7f, -1.0f}) {
        auto e = MakeVoiceEngine();
        CEngineData& d = e->data;
        TwoPointMeg(d, 0.01f);
        d.SetPartF(0, 1153, slope);
        d.SetPartF(0, 1217, 0.25f);  // MEG2 follows MEG1 (time source 0)
        // 10 ms is 13 blocks of 0.7256 ms; the segment is set up on the first
        // tick and the output moves on the following ones.
        for (int i = 0; i < 20; ++i) {
            e->ControlTick();
            const float out = d.ControlF(0, 246);
            ASSERT_TRUE(std::isfinite(out)) << slope << " " << i;
            ASSERT_TRUE(out >= 0.0f && out <= 1.0f) << slope << " " << i;
            if (slope == -0.1f && i == 6) {  // a straight line: 6 of 13 steps
                EXPECT_NEAR(out, 6.0f / 13.0f, 1e-5f);
            }
        }
        EXPECT_EQ(d.ControlF(0, 246), 1.0f) << slope;
        EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1End), CEngineData::kMegStopped) << slope;
        EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 2) << slope;
        // A follower stops with MEG1, at its own last level.
        EXPECT_EQ(d.ControlI(0, 272), 2);
        EXPECT_FLOAT_EQ(d.ControlF(0, 250), 0.25f);
    }
}

TEST(ControlTick, MultiSegmentEnvelopeStopsSafelyAndItsClockNeverOverflows)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    TwoPointMeg(d, 100.0f);
    // A long segment running when the clock nears its limit: the clock and
    // the end move back together, the remaining time is kept.
    d.SetControlI(0, CEngineData::kVcMeg1Index, 1);
    d.SetControlI(0, CEngineData::kVcMegClock, (1 << 30) - 256);
    d.SetControlI(0, CEngineData::kVcMeg1End, (1 << 30) + 10000);
    e->ControlTick();
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMegClock), 256);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1End), 10000);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 1);
    for (int i = 0; i < 20; ++i)
        e->ControlTick();
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 2);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1End), CEngineData::kMegStopped);
    // A stopped envelope stays stopped however long the note is held.
    d.SetControlI(0, CEngineData::kVcMegClock, (1 << 30) - 100);
    for (int i = 0; i < 3; ++i)
        e->ControlTick();
    EXPECT_GE(d.ControlI(0, CEngineData::kVcMegClock), 0);
    EXPECT_LT(d.ControlI(0, CEngineData::kVcMegClock), 1 << 30);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1End), CEngineData::kMegStopped);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 2);

    // Release with a loop end beyond the envelope: the index stays inside
    // and the envelope stops at its last level.
    d.SetPartF(0, 347, 3.0f);
    d.SetPartF(0, 350, 50.0f);
    d.SetPartF(0, 349, 60.0f);
    d.SetPartF(0, 1090, 0.75f);
    d.SetControlI(0, CEngineData::kVcMeg1Index, 1);
    d.SetControlI(0, CEngineData::kVcGate, 0);
    e->ControlTick();
    e->ControlTick();
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 3);
    EXPECT_EQ(d.ControlF(0, 246), 0.75f);
}

TEST(ControlTick, ModulationMatrixAddsDepthTimesSourceIntoItsDestination)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    d.SetPartF(0, 179, 0.5f);  // copied to V[240] every block
    SetSmoothed(d, 36, 0.8f);  // amount of routing 0
    SetSmoothed(d, 37, -0.2f); // amount of routing 1
    SetSmoothed(d, 7, 0.6f);
    // Routing 0: V[240] → additive V[193], multiplicative V[208] (→ V[7]).
    d.SetPartI(0, 65, 240);
    d.SetPartF(0, 125, 0.1f);
    d.SetPartI(0, 105, 193);
    d.SetPartI(0, 85, 208);
    // Routing 1 adds into the same cell; its multiplicative target is the
    // unused cell 0.
    d.SetPartI(0, 66, 240);
    d.SetPartF(0, 126, 0.05f);
    d.SetPartI(0, 106, 193);
    d.SetPartI(0, 86, 0);
    // Routing 2 names cells beyond the record and is ignored.
    d.SetPartI(0, 67, 240);
    d.SetPartI(0, 107, 5000);
    d.SetPartI(0, 87, -7);
    e->ControlTick();
    const float m0 = 0.5f * 0.8f + 0.1f;
    const float m1 = 0.5f * -0.2f + 0.05f;
    EXPECT_FLOAT_EQ(d.ControlF(0, 193), m0 + m1);
    EXPECT_FLOAT_EQ(d.ControlF(0, 208), m0);
    // The multiplicative sum 0.5 is the gain 10^(3 * 0.5 - 3).
    EXPECT_NEAR(d.ControlF(0, 7), 0.6f * std::pow(10.0f, -1.5f), 2e-6f);
    // Untouched accumulators are gain 1.
    EXPECT_FLOAT_EQ(d.ControlF(0, 209), 1.0f);
}

TEST(ControlTick, OscillatorRampsLimitsAndBandIndex)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    // Pulse width beyond 1.98 of a phase is limited to 33218886; the step is
    // the signed difference shifted by 5 for divider 0.
    SetSmoothed(d, 1, 0.99f);
    e->ControlTick();
    EXPECT_EQ(d.AudioI(0, 4), 33218886 >> 5);
    // A falling offset ramps down: (1677722 - 33218886) >> 5, rounded toward
    // minus infinity by the arithmetic shift.
    SetSmoothed(d, 1, -0.9f);
    d.SetAudioI(0, 3, 33218886);
    e->ControlTick();
    EXPECT_EQ(d.AudioI(0, 4), -985662);

    // An increment at or above half the sample rate keeps the highest band
    // level instead of wrapping to the lowest.
    d.SetPartF(0, 148, 1.0f);
    e->ControlTick();
    EXPECT_GE(static_cast<uint32_t>(d.ControlI(0, 65)) >> 16, 256u);
    const int top = static_cast<int>(CTLWaves::bandLevelMap[255] / CTLWaves::kLevelBytes);
    EXPECT_EQ(d.AudioI(0, 115), CEngineData::OscTableRef(0, top));
    EXPECT_EQ(d.OscTable(d.AudioI(0, 115)), d.waves.WaveForBand(0, 255));

    // The divider is limited to 0..2 wherever it is read: 7 acts as 2.
    d.SetPartI(0, 272, 7);
    d.SetPartF(0, 148, 0.5f);
    d.SetAudioI(0, 1, 0);
    e->ControlTick();
    EXPECT_EQ(d.partRecord[0][275], 4u);
    EXPECT_EQ(d.partRecord[0][276], 0xFFFFFFFCu);
    EXPECT_EQ(d.AudioI(0, 2), d.ControlI(0, 65) >> 3);
    d.SetPartI(0, 272, -3);
    e->ControlTick();
    EXPECT_EQ(d.partRecord[0][275], 1u);
}

TEST(ControlTick, FilterType4LeavesTheSecondSectionEmpty)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    d.SetPartI(0, 229, 4);
    SetSmoothed(d, 16, 0.5f);
    SetSmoothed(d, 17, 0.5f);
    e->ControlTick();
    for (int cell = 122; cell <= 124; ++cell)
        EXPECT_EQ(d.ControlF(0, cell), 1e-13f) << cell;
    EXPECT_EQ(d.PartF(0, 232), 1e-13f);
    EXPECT_EQ(d.PartF(0, 231), 2.0f);
    EXPECT_EQ(d.PartI(0, 251), 0);
    EXPECT_EQ(d.PartI(0, 252), 4 * 125);
    // Resonance is negated; the drive curve A is 16 at cutoff 0.5, so
    // q = 16 * -0.5, the weight 1 - q and the drive target q * 1024.
    EXPECT_FLOAT_EQ(d.ControlF(0, 17), -0.5f);
    EXPECT_NEAR(d.ControlF(0, 125), 9.0f, 1e-3f);
    EXPECT_NEAR(d.AudioF(0, 42), -8192.0f / 32.0f, 0.05f);
    // The cutoff becomes atan(pi / 4)^2.
    EXPECT_NEAR(d.ControlF(0, 16), 0.44325469f, 1e-5f);
    // The first block's coefficients ramp toward the new values.
    EXPECT_FLOAT_EQ(d.AudioF(0, 48), d.ControlF(0, 119) / 32.0f);
}

TEST(ControlTick, SpectralCrossfadeSettlesOnTheFractionAndClimbsOneRegionAtATime)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    const int g = CEngineData::kAcSpectrumGroup;  // group 0
    auto render = [&]() {  // what the render does with v over one block
        for (int i = 0; i < 32; ++i) {
            d.SetAudioF(0, g + 3, d.AudioF(0, g + 3) + d.AudioF(0, g + 4));
            d.SetAudioF(0, g + 2, d.AudioF(0, g + 2) + d.AudioF(0, g + 3));
        }
    };
    d.SetAudioI(0, g + 11, 5);
    d.SetAudioI(0, g + 10, 6);
    d.SetAudioF(0, g + 2, 0.2f);
    const int32_t q = (5 << 17) | (0x800 << 5);  // region 5, fraction 0.5
    d.blockCounter = 2;
    CEngineControlAccess::SelectSpectrumRegion(*e, 0, 0, q);
    render();
    d.blockCounter = 3;
    CEngineControlAccess::SelectSpectrumRegion(*e, 0, 0, q);
    render();
    EXPECT_NEAR(d.AudioF(0, g + 2), 0.5f, 1e-5f);
    EXPECT_EQ(d.AudioI(0, g + 12), 0);

    // Jumping up to region 10: first a crossfade toward b, then the pair
    // moves on to (6, 10).
    const int32_t q10 = 10 << 17;
    d.blockCounter = 4;
    CEngineControlAccess::SelectSpectrumRegion(*e, 0, 0, q10);
    EXPECT_EQ(d.AudioI(0, g + 11), 5);
    EXPECT_EQ(d.AudioI(0, g + 10), 6);
    EXPECT_EQ(d.AudioI(0, g + 12), 1);
    d.blockCounter = 6;
    CEngineControlAccess::SelectSpectrumRegion(*e, 0, 0, q10);
    EXPECT_EQ(d.AudioI(0, g + 11), 6);
    EXPECT_EQ(d.AudioI(0, g + 10), 10);
    EXPECT_EQ(d.AudioF(0, g + 2), 1e-13f);
    // Tables: X = region a, Y = region b, of waves A and B.
    EXPECT_EQ(d.SpectrumTable(d.AudioI(0, g + 7)), d.waves.SpectrumRegion(0, false, 6));
    EXPECT_EQ(d.SpectrumTable(d.AudioI(0, g + 8)), d.waves.SpectrumRegion(0, true, 10));
}

TEST(ControlTick, NonFiniteValuesStayContained)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    for (int id = 1; id <= 64; ++id)
        SetSmoothed(d, id, kNaN);
    for (int id : {148, 215, 338, 1153, 390, 286})
        d.SetPartF(0, id, kNaN);
    d.SetPartF(0, 347, 2.0f);
    d.SetPartF(0, 1025, 1e30f);
    d.SetPartI(0, 155, 65);
    d.SetPartI(0, 316, 1);
    d.SetControlI(0, CEngineData::kVcGate, 1);
    for (int i = 0; i < 3; ++i)
        e->ControlTick();
    // Integer cells were converted from limited floats (UBSan checks the
    // conversions); the table references and the delay stay in range.
    EXPECT_GE(d.AudioI(0, 31), 0);
    EXPECT_LT(d.AudioI(0, 31), CEngine::kWaveRing);
    EXPECT_NE(d.OscTable(d.AudioI(0, 115)), nullptr);
    EXPECT_TRUE(std::isfinite(d.ControlF(0, 241)));
    EXPECT_GE(d.partWork[0][33], 0.0f);
}

TEST(ControlTick, PartEffectsAndMetersEveryHundredBlocks)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    // A full-scale delay time stays inside the 32768-sample ring.
    d.SetPartI(0, 316, 1);
    d.SetPartF(0, 286, 1.0f);
    d.SetPartF(0, 287, 0.5f);
    d.SetPartF(0, 415, 0.25f);
    d.SetPartF(0, 412, 0.25f);
    d.globalValues[126] = 0.04f;
    for (int i = 0; i < 99; ++i)
        e->ControlTick();
    EXPECT_EQ(d.partWork[0][33], 32767.0f);
    EXPECT_EQ(d.partWork[0][34], 16385.0f);
    EXPECT_EQ(e->partMeters[0][3], 0.0f);
    e->ControlTick();
    EXPECT_FLOAT_EQ(e->partMeters[0][3], 0.5f);
    EXPECT_FLOAT_EQ(e->partMeters[0][0], 0.5f / 4096.0f);
    EXPECT_FLOAT_EQ(e->masterMeterLeft, 0.4f);
    EXPECT_EQ(d.PartF(0, 415), 0.0f);
    EXPECT_EQ(d.globalValues[126], 0.0f);
    // Without a new peak the meter decays by 0.2 per update.
    for (int i = 0; i < 100; ++i)
        e->ControlTick();
    EXPECT_FLOAT_EQ(e->partMeters[0][3], 0.1f);
}

TEST(ControlTick, MegWithItsOwnTimesLoopsOnItsOwnLoopPoints)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    d.SetControlI(0, CEngineData::kVcGate, 1);
    // MEG1 has no points (stopped from the start); MEG2 runs on its own
    // times: 0 → 1 → 0.5 in 2 ms steps, looping between points 0 and 2.
    d.SetPartF(0, 366, 1.0f);
    d.SetPartF(0, 368, 3.0f);
    d.SetPartF(0, 370, 0.0f);
    d.SetPartF(0, 371, 2.0f);
    for (int i = 0; i < 3; ++i) {
        d.SetPartF(0, 2080 + i, 0.002f * static_cast<float>(i));
        d.SetPartF(0, 1216 + i, i == 1 ? 1.0f : (i == 2 ? 0.5f : 0.0f));
    }
    int loops = 0;
    int last = 0;
    for (int i = 0; i < 40; ++i) {
        e->ControlTick();
        const int index = d.ControlI(0, 272);
        EXPECT_GE(index, 1);
        EXPECT_LE(index, 2);
        if (last == 2 && index == 1)
            ++loops;
        last = index;
        EXPECT_TRUE(std::isfinite(d.ControlF(0, 250)));
    }
    EXPECT_GE(loops, 3);
    EXPECT_EQ(d.ControlI(0, CEngineData::kVcMeg1Index), 0);
}

TEST(ControlTick, ChorusLfoSetsDelayTimeSteps)
{
    auto e = MakeVoiceEngine();
    CEngineData& d = e->data;
    d.globalValues[24] = 1.0f;
    d.globalValues[18] = 0.5f;
    d.globalValues[19] = 0.0f;
    d.globalTargets[20] = 0.5f;
    d.globalTargets[21] = 0.4f;
    e->ControlTick();
    // Rate 0.5 is table point 2048: 2^8 * 128 phase steps per block at 44100 Hz.
    EXPECT_EQ(std::bit_cast<int32_t>(d.globalWork[50]), 32768);
    EXPECT_EQ(std::bit_cast<int32_t>(d.globalWork[54]), 32768);
    const float sine = static_cast<float>(std::sin(2.0 * M_PI * 32768.0 / 16777216.0));
    EXPECT_NEAR(d.globalWork[58], sine, 1e-5f);
    const float target = (sine * 0.5f * 0.4f + 0.5f) * 2047.0f;
    EXPECT_NEAR(d.globalWork[63], target / 32.0f, 1e-3f);
    // Off: nothing moves.
    d.globalValues[24] = 0.0f;
    e->ControlTick();
    EXPECT_EQ(std::bit_cast<int32_t>(d.globalWork[54]), 32768);
}
