#include <gtest/gtest.h>

#include <bit>
#include <memory>

#include "engine/CEngine.h"

namespace {

std::unique_ptr<CEngine> MakeEngine() {
    auto engine = std::make_unique<CEngine>();
    engine->Init();
    return engine;
}

} // namespace

TEST(CEngineData, ConstructionLeavesEveryVoiceIdle) {
    auto data = std::make_unique<CEngineData>();
    for (int v = 0; v < CEngineData::kVoices; ++v)
        EXPECT_EQ(data->voiceState[v], CEngineData::kVoiceIdle) << v;
    EXPECT_EQ(data->voicesInUse, 0);
    EXPECT_EQ(data->blockCounter, 0u);
    EXPECT_EQ(data->partRecord[15][2271], 0u);
}

TEST(CEngine, InitStateHasOnlyPartZeroActiveWithFourVoices) {
    auto engine = MakeEngine();
    CEngineData& d = engine->data;
    EXPECT_EQ(d.voicesInUse, 4);
    EXPECT_EQ(d.partActive[0], 0);
    for (int p = 1; p < 16; ++p)
        EXPECT_EQ(d.partActive[p], -1) << p;
    EXPECT_EQ(d.GetPartSetting(0, CEngineData::kSetVoiceCount), 4);
    for (int p = 0; p < 16; ++p) {
        // Each part listens on its own channel.
        EXPECT_EQ(d.GetPartSetting(p, CEngineData::kSetMidiChannel), p);
        EXPECT_FLOAT_EQ(d.partMixerTargets[p][2], 1.0f);
        EXPECT_FLOAT_EQ(d.partMixerTargets[p][3], 0.5f);
        EXPECT_FLOAT_EQ(d.PartF(p, 708), 1.0f);
        EXPECT_FLOAT_EQ(d.PartF(p, 190), 0.222353f);
        EXPECT_FLOAT_EQ(d.PartF(p, 211), 0.222353f);
    }
    EXPECT_FLOAT_EQ(d.globalTargets[6], 1.0f);
    EXPECT_FLOAT_EQ(d.globalTargets[7], 0.5f);
    EXPECT_FLOAT_EQ(d.globalTargets[8], 0.5f);
    EXPECT_FLOAT_EQ(d.globalValues[CEngineData::kGlideCell], 1.0f);
    // Out-of-range reads answer 0 instead of reading past the tables.
    EXPECT_EQ(d.GetPartValueInt(16, 0), 0);
    EXPECT_EQ(d.GetPartValueInt(0, 2272), 0);
    EXPECT_EQ(d.GetPartSetting(-1, 4), 0);
    EXPECT_EQ(d.GetPartSetting(0, 32), 0);
}

TEST(CEngine, ResetKeepsPartCellsFrom512AndClearsTheRest) {
    auto engine = MakeEngine();
    CEngineData& d = engine->data;
    d.SetPartF(3, 511, 7.0f);
    d.SetPartF(3, 512, 9.0f);
    d.SetPartF(3, 1600, 11.0f);
    d.partTargets[3][10] = 2.0f;
    d.Reset();
    EXPECT_EQ(d.partRecord[3][511], 0u);
    EXPECT_FLOAT_EQ(d.PartF(3, 512), 9.0f);
    EXPECT_FLOAT_EQ(d.PartF(3, 1600), 11.0f);
    EXPECT_FLOAT_EQ(d.partTargets[3][10], 0.0f);
}

TEST(CEngine, NoiseSeedsWrapAt32Bits) {
    auto engine = MakeEngine();
    EXPECT_EQ(engine->noiseSeed[0], 486723u);
    EXPECT_EQ(engine->noiseSeed[1], 1793840940u);
    EXPECT_EQ(engine->noiseSeed[3], 1085582078u);
    EXPECT_EQ(engine->noiseSeed[127], 123205594u);
    engine->pinkState[2][5] = 0.7f;
    engine->ResetVoiceNoise(5);
    EXPECT_EQ(engine->noiseSeed[5], 486723u);
    EXPECT_FLOAT_EQ(engine->pinkState[2][5], 0.0f);
}

TEST(CEngine, ResetPartOfOnePartTouchesOnlyItsVoicesAndLines) {
    auto engine = MakeEngine();
    CEngineData& d = engine->data;
    d.voicesInUse = 8;
    for (int v = 0; v < 8; ++v) {
        d.voicePart[v] = v < 4 ? 1 : 2;
        d.voiceState[v] = 3;
        d.SetControlF(v, 81, 0.5f);
        engine->voiceRing[0][v][100] = 1.0f;
    }
    engine->partDelayLeft[1][5] = 1.0f;
    engine->partDelayLeft[2][5] = 1.0f;
    engine->partModDelay[3][1][7] = 1.0f;
    engine->partMix[1][3] = 1.0f;
    engine->reverbLines[0][9] = 1.0f;
    d.partTargets[1][20] = 0.25f;
    d.globalValues[CEngineData::kGlideCell] = 0.05f;

    engine->ResetPart(1);
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(d.voiceState[v], CEngineData::kVoiceIdle);
        EXPECT_EQ(d.voiceControl[v][81], 0u);
        EXPECT_FLOAT_EQ(engine->voiceRing[0][v][100], 0.0f);
        EXPECT_EQ(d.AudioI(v, 118), 0x147980);
        EXPECT_EQ(d.AudioI(v, 119), 0x341200);
        EXPECT_EQ(d.AudioI(v, 120), 0x0A7080);
    }
    for (int v = 4; v < 8; ++v) {
        EXPECT_EQ(d.voiceState[v], 3);
        EXPECT_FLOAT_EQ(d.ControlF(v, 81), 0.5f);
        EXPECT_FLOAT_EQ(engine->voiceRing[0][v][100], 1.0f);
    }
    EXPECT_FLOAT_EQ(engine->partDelayLeft[1][5], 0.0f);
    EXPECT_FLOAT_EQ(engine->partModDelay[3][1][7], 0.0f);
    EXPECT_FLOAT_EQ(engine->partMix[1][3], 0.0f);
    EXPECT_FLOAT_EQ(engine->partDelayLeft[2][5], 1.0f);
    EXPECT_FLOAT_EQ(engine->reverbLines[0][9], 1.0f);
    // Smoothed cells jump to their targets; the next tick glides from there.
    EXPECT_FLOAT_EQ(d.PartF(1, 20), 0.25f);
    EXPECT_FLOAT_EQ(d.globalValues[CEngineData::kGlideCell], 1.0f);
}

TEST(CEngine, ResetPartOutsideRangeResetsEveryPartAndEveryVoiceInUse) {
    for (int part : {-1, 16, 1000}) {
        auto engine = MakeEngine();
        CEngineData& d = engine->data;
        d.voicesInUse = 6;
        for (int v = 0; v < 8; ++v) {
            d.voicePart[v] = v % 3;
            d.voiceState[v] = 2;
        }
        for (int p = 0; p < 16; ++p) {
            engine->partDelayRight[p][100] = 1.0f;
            d.partTargets[p][63] = static_cast<float>(p);
        }
        engine->reverbLines[6][1] = 1.0f;
        engine->chorusLines[3][2] = 1.0f;
        engine->ResetPart(part);
        for (int v = 0; v < 6; ++v)
            EXPECT_EQ(d.voiceState[v], CEngineData::kVoiceIdle) << part << " " << v;
        // Voices beyond the voices in use are left alone.
        EXPECT_EQ(d.voiceState[6], 2);
        EXPECT_EQ(d.voiceState[7], 2);
        for (int p = 0; p < 16; ++p) {
            EXPECT_FLOAT_EQ(engine->partDelayRight[p][100], 0.0f);
            EXPECT_FLOAT_EQ(d.PartF(p, 63), static_cast<float>(p));
        }
        // The master effects keep their tails.
        EXPECT_FLOAT_EQ(engine->reverbLines[6][1], 1.0f);
        EXPECT_FLOAT_EQ(engine->chorusLines[3][2], 1.0f);
    }
}

TEST(CEngine, RestartSyncedLFOsNeedsTheIntegerOne) {
    auto engine = MakeEngine();
    CEngineData& d = engine->data;
    d.voicePart[10] = 2;   // beyond the voices in use: still looked at
    d.voicePart[11] = 3;
    for (int v : {10, 11})
        for (int n = 0; n < 4; ++n)
            d.SetControlI(v, 111 + n, 0x1234);
    d.SetPartI(2, 216, 1);        // LFO1 synced
    d.SetPartF(2, 220, 1.0f);     // a float 1.0 is not the integer 1
    d.SetPartI(2, 224, 2);
    d.SetPartI(2, 228, 1);        // LFO4 synced
    d.SetPartI(3, 216, 1);
    engine->RestartSyncedLFOs(2);
    const int32_t phases[4] = {0x1000000, 0x1234, 0x1234, 0x1000000};
    for (int n = 0; n < 4; ++n) EXPECT_EQ(d.ControlI(10, 111 + n), phases[n]) << n;
    // Another part's voice keeps its phase.
    EXPECT_EQ(d.ControlI(11, 111), 0x1234);
    engine->RestartSyncedLFOs(-1);
    engine->RestartSyncedLFOs(16);
}

TEST(CEngine, LevelToMeter) {
    EXPECT_NEAR(CEngine::LevelToMeter(0.001f), 0.00390625f, 1e-6f);
    EXPECT_NEAR(CEngine::LevelToMeter(0.1f), 0.47265625f, 1e-6f);
    const std::pair<float, float> levels[] = {{1.0f, 1.0f}, {0.0009f, 0.0f}, {2.0f, 1.0f}, {0.0f, 0.0f},
                                              {-1.0f, 0.0f}, {std::bit_cast<float>(0x7FC00000u), 0.0f}};
    for (auto [level, meter] : levels) EXPECT_FLOAT_EQ(CEngine::LevelToMeter(level), meter) << level;

    auto engine = MakeEngine();
    engine->partMeters[4][0] = 1.0f;
    engine->partMeters[4][1] = 0.1f;
    engine->partMeters[4][3] = 0.0005f;
    EXPECT_FLOAT_EQ(engine->GetFilter1InputMeter(4), 1.0f);
    EXPECT_NEAR(engine->GetFilter2InputMeter(4), 0.47265625f, 1e-6f);
    EXPECT_FLOAT_EQ(engine->GetPartOutputMeter(4), 0.0f);
    EXPECT_FLOAT_EQ(engine->GetPartOutputMeter(16), 0.0f);
}

TEST(CEngine, SmallOperations) {
    auto engine = MakeEngine();
    CEngineData& d = engine->data;
    EXPECT_EQ(engine->TogglePartMute(5), 1);
    EXPECT_EQ(d.GetPartSetting(5, CEngineData::kSetMute), 1);
    EXPECT_EQ(engine->TogglePartMute(5), 0);
    EXPECT_EQ(d.GetPartSetting(5, CEngineData::kSetMute), 0);

    engine->ResetVoiceModValues(9);
    EXPECT_FLOAT_EQ(d.ControlF(9, 93), 1e-8f);
    EXPECT_FLOAT_EQ(d.ControlF(9, 94), 1e-8f);

    d.SetControlF(9, 16, 0.3f);
    d.SetControlF(9, 32, 0.6f);
    d.SetAudioI(9, 118, 77);
    engine->smoothPole = 0.5f;
    engine->ClearVoiceState(9);
    EXPECT_FLOAT_EQ(d.ControlF(9, 241), 0.3f);
    EXPECT_FLOAT_EQ(d.ControlF(9, 242), 0.6f);
    EXPECT_EQ(d.AudioI(9, 118), 0);
    EXPECT_FLOAT_EQ(engine->smoothPole, 0.995f);
    EXPECT_FLOAT_EQ(engine->smoothGain, 0.005f);

    // Nothing loaded and nothing changed: saving succeeds; a dirty but
    // unloaded multi-sample cannot be saved.
    EXPECT_TRUE(engine->SavePartMultiSamples(0));
    engine->MultiSample(0, 2).dirty = 1;
    EXPECT_FALSE(engine->SavePartMultiSamples(0));
    EXPECT_FALSE(engine->SavePartMultiSamples(16));
    engine->MultiSample(0, 2).dirty = 0;
    engine->MultiSample(0, 0).dirty = 1;
    EXPECT_FALSE(engine->SavePartMultiSamples(0)) << "oscillator 1";

    d.partTargets[6][3] = 1.0f;
    d.voicePart[20] = 6;
    d.SetControlF(20, 81, 1.0f);
    d.ClearPartVoices(6);
    EXPECT_FLOAT_EQ(d.partTargets[6][3], 0.0f);
    EXPECT_EQ(d.voiceControl[20][81], 0u);
}

TEST(CEngine, ControlTickCountsBlocksAndRenderBlockWritesABlock) {
    auto engine = MakeEngine();
    engine->ControlTick();
    EXPECT_EQ(engine->data.blockCounter, 1u);
    float block[2 * CEngine::kBlockFrames + 1];
    std::fill(block, block + 2 * CEngine::kBlockFrames + 1, 5.0f);
    engine->RenderBlock(block);
    EXPECT_FLOAT_EQ(block[0], 0.0f);
    EXPECT_FLOAT_EQ(block[2 * CEngine::kBlockFrames - 1], 0.0f);
    EXPECT_FLOAT_EQ(block[2 * CEngine::kBlockFrames], 5.0f);
}
