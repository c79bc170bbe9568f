#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "gui/CUIMenuResource.h"
#include "platform/CGlobalData.h"
#include "tests/params/ModelFixture.h"

namespace {

class MixerGlobalTest : public ModelFixture {
protected:
    bool Mixer(int part, int id, float raw) {
        return model->SetMixerParameter(id, part, raw / model->MixerRow(id).scale);
    }
    void Global(int id, float raw) { model->SetGlobalParameter(id, raw / 128.0f); }
    int32_t Setting(int part, int word) const { return engine->data.SettingI(part, word); }
    const float* T(int part) const { return engine->data.partMixerTargets[part]; }
    const float* G() const { return engine->data.globalWork; }
};

TEST(PrimeTable, PrimesUpToTheLongestLine) {
    const int32_t* p = CPIBase::PrimeTable();
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(p[1], 3);
    EXPECT_EQ(p[1899], 16381);
    EXPECT_EQ(p[1900], 0);
    for (int i = 1; i < 1900; ++i) ASSERT_LT(p[i - 1], p[i]);
    EXPECT_EQ(CPIBase::PrimeAtLeast(0.0), 2);
    EXPECT_EQ(CPIBase::PrimeAtLeast(14.9), 17);  // truncated first
    EXPECT_EQ(CPIBase::PrimeAtLeast(17.0), 17);
    EXPECT_EQ(CPIBase::PrimeAtLeast(16380.0), 16381);
    // Longer than the ring: the longest line, never 0.
    EXPECT_EQ(CPIBase::PrimeAtLeast(16382.0), 16381);
    EXPECT_EQ(CPIBase::PrimeAtLeast(1e12), 16381);
}

TEST(PresetTables, NamesMatchTheirMenus) {
    EXPECT_STREQ(CPIBase::kReverbPresets[1].name, "Dark");
    EXPECT_EQ(CPIBase::kReverbPresets[23].value[4], 13);
    EXPECT_STREQ(CPIBase::kChorusPresets[8].name, "Fast&Light");
    EXPECT_EQ(CPIBase::kChorusPresets[19].value[0], 45);
}

TEST_F(MixerGlobalTest, MixerTargetsAndDisplays) {
    EXPECT_FALSE(Mixer(1, 2, 0.0f));
    EXPECT_FLOAT_EQ(T(1)[2], 1e-7f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(2, 1), " off");
    Mixer(1, 2, 127.0f);
    EXPECT_NEAR(T(1)[2], 3.9810717f, 1e-5f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(2, 1), " +11 dB");
    Mixer(1, 2, 64.0f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(2, 1), " -10 dB");

    Mixer(1, 0, 0.0f);
    EXPECT_FLOAT_EQ(T(1)[0], 1e-7f);
    Mixer(1, 0, 127.0f);
    EXPECT_NEAR(T(1)[0], 1.0f, 1e-6f);
    Mixer(1, 0, 64.0f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(0, 1), "   64.000");
    Mixer(1, 1, 64.0f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(1, 1), "   0.504");

    const struct {
        float raw;
        const char* text;
    } pans[] = {{0.0f, "-64"}, {64.0f, "+0"}, {127.0f, "+63"}};
    for (const auto& p : pans) {
        Mixer(1, 3, p.raw);
        EXPECT_STREQ(model->GetMixerParameterDisplay(3, 1), p.text) << p.raw;
    }
    EXPECT_FLOAT_EQ(T(1)[3], 1e-7f);

    // The part bits of a mixer code are not part of the id.
    EXPECT_FLOAT_EQ(model->GetMixerParameter((1 << 10) | 3, 1), 127.0f / 128.0f);
    // List rows print their item; others the integer.
    Mixer(1, 4, 3.0f);
    EXPECT_EQ(Setting(1, 4), 3);
    EXPECT_STREQ(model->GetMixerParameterDisplay(4, 1), CUIMenuResource::TextOfValue(271, 3));
    Mixer(1, 12, 5.0f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(12, 1), "5");
    EXPECT_FALSE(Mixer(1, 20, 9.0f));  // stored only
    EXPECT_EQ(store->GetPartRow(1)[20], 9.0f);
}

TEST_F(MixerGlobalTest, KeyRangeClearsBothEnds) {
    EXPECT_TRUE(Mixer(2, 5, 40.0f));
    EXPECT_TRUE(Mixer(2, 6, 30.0f));
    EXPECT_STREQ(model->GetMixerParameterDisplay(5, 2), "-");
    EXPECT_STREQ(model->GetMixerParameterDisplay(6, 2), "-");
    Mixer(2, 6, 80.0f);
    EXPECT_EQ(Setting(2, 5), 40);
    EXPECT_EQ(Setting(2, 6), 80);
    EXPECT_EQ(Record(2)[359], 40.0f);
    EXPECT_EQ(Record(2)[360], 80.0f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(6, 2), CUIMenuResource::TextOfValue(273, 80));
    // A 0 at either end clears both ends everywhere, so applying the whole
    // table again does not bring the old range back.
    for (int end : {5, 6}) {
        SCOPED_TRACE(end);
        Mixer(2, 5, 40.0f);
        Mixer(2, 6, 80.0f);
        Mixer(2, end, 0.0f);
        model->ApplyAllMixer();
        for (int word : {5, 6}) {
            EXPECT_EQ(Setting(2, word), 0);
            EXPECT_EQ(model->GetMixerParameter(word, 2), 0.0f);
            EXPECT_STREQ(model->GetMixerParameterDisplay(word, 2), "-");
        }
        EXPECT_EQ(Record(2)[359], 0.0f);
        EXPECT_EQ(Record(2)[360], 0.0f);
    }
}

TEST_F(MixerGlobalTest, SoloIsExclusiveAndSurvivesReapplying) {
    Mixer(5, 11, 1.0f);
    Mixer(3, 11, 1.0f);
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(Setting(p, 11), p == 3 ? 1 : 0) << p;
        EXPECT_EQ(Setting(p, 12), 1) << p;
        EXPECT_EQ(store->GetPartRow(p)[11], p == 3 ? 1.0f : 0.0f) << p;
    }
    model->ApplyAllMixer();
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(Setting(p, 11), p == 3 ? 1 : 0) << p;
        EXPECT_EQ(Setting(p, 12), 1) << p;
    }
    Mixer(3, 11, 0.0f);
    for (int p = 0; p < 16; ++p) EXPECT_EQ(Setting(p, 12), 0) << p;
}

TEST_F(MixerGlobalTest, VoiceBudget) {
    for (int p = 0; p < 16; ++p) store->GetPartRow(p)[10] = 0.0f;
    EXPECT_TRUE(Mixer(0, 10, 4.0f));
    EXPECT_EQ(Record(0)[344], 4.0f);
    Mixer(2, 10, 127.0f);
    Mixer(5, 10, 8.0f);
    const CEngineData& d = engine->data;
    EXPECT_EQ(d.voicesInUse, 128);
    EXPECT_EQ(d.partActive[0], 0);
    EXPECT_EQ(d.partActive[1], -1);
    EXPECT_EQ(d.partActive[2], 2);
    EXPECT_EQ(d.partActive[5], 5);  // active, but beyond the budget
    for (int v = 0; v < 4; ++v) EXPECT_EQ(d.voicePart[v], 0);
    for (int v = 4; v < 128; ++v) EXPECT_EQ(d.voicePart[v], 2);
    for (int v = 0; v < 128; ++v) EXPECT_EQ(d.voiceState[v], CEngineData::kVoiceIdle);
}

TEST_F(MixerGlobalTest, MidiVolumeLeavesTheStoredVolume) {
    float* r = Record(4);
    model->SetParameter(r, 127.0f / 128.0f, 4, 20, false, false);
    model->SetPartVolumeFactor(4, 0.5f);
    EXPECT_EQ(r[20], 127.0f);
    EXPECT_NEAR(Target(4, 20), 50.0f, 1e-3f);
    EXPECT_FLOAT_EQ(model->GetVolumeFactor(4), 0.5f);
}

TEST_F(MixerGlobalTest, GlobalValuesAndDisplays) {
    const CEngineData& d = engine->data;
    Global(6, 0.0f);
    EXPECT_FLOAT_EQ(d.globalTargets[6], 1e-7f);
    Global(6, 128.0f);
    EXPECT_NEAR(d.globalTargets[6], 4.2650218f, 1e-5f);  // -64 + 76 * 128 / 127 dB
    Global(8, 64.0f);
    EXPECT_FLOAT_EQ(d.globalTargets[8], 0.5f + 1e-7f);
    Global(11, 64.0f);
    EXPECT_EQ(d.globalValues[11], 2206.0f);
    EXPECT_EQ(G()[0], 2206.0f);
    Global(12, 127.0f);
    EXPECT_EQ(d.globalValues[12], 999999.0f);
    Global(23, 1.0f);
    EXPECT_EQ(d.globalValues[23], 1.0f);

    const struct { int id; float raw; const char* text; } shown[] = {
        {6, 0, " off"},       {6, 128, " +12 dB"},  {7, 64, " +0"},        {7, 0, "-64"},
        {8, 64, "   0.500"},  {11, 64, " 0.050 s"}, {12, 64, " 4.22 s"},   {12, 100, " 51.20 s"},
        {12, 120, " 204.8 s"}, {12, 127, "endless"}, {13, 64, " 50.5 m"},  {14, 64, " 0.50"},
        {18, 64, " 0.888"},   {19, 64, " 0.05"},    {20, 64, "  23 ms"},   {20, 16, " 1.5 ms"},
        {22, 100, " 0.77"},   {40, 5, "5"}};
    for (const auto& c : shown) {
        Global(c.id, c.raw);
        EXPECT_STREQ(model->GetGlobalParameterDisplay(c.id), c.text) << c.id << " " << c.raw;
    }
    EXPECT_FLOAT_EQ(model->GetGlobalParameter(40), 5.0f / 128.0f);
}

TEST_F(MixerGlobalTest, ReverbPresetsAndWorkingCells) {
    model->ApplyReverbPreset(0);
    for (auto [k, len] : {std::pair{1, 3769.0f}, {6, 2267.0f}, {7, 701.0f}, {13, 647.0f}, {18, 223.0f}})
        EXPECT_EQ(G()[k], len) << k;
    EXPECT_NEAR(G()[19], -0.80237645f, 1e-5f);
    EXPECT_NEAR(G()[20], 0.80237645f, 1e-5f);
    EXPECT_NEAR(G()[38], 0.6417322f, 1e-6f);
    EXPECT_NEAR(G()[39], 1.0f - 0.6417322f, 1e-6f);
    EXPECT_EQ(G()[49], 1.0f);
    EXPECT_FLOAT_EQ(G()[26], 0.7f);
    EXPECT_FLOAT_EQ(G()[37], 0.5707608f);

    // "Dark": predelay and time from the same value 69.
    model->ApplyReverbPreset(1);
    const float raw = 128.0f * 69.0f / 127.0f;
    EXPECT_FLOAT_EQ(store->GetGlobals()[11], raw);
    EXPECT_FLOAT_EQ(store->GetGlobals()[12], raw);
    EXPECT_EQ(engine->data.globalValues[11], 2396.0f);
    EXPECT_NEAR(engine->data.globalValues[12], 6.2005763f, 1e-5f);
    EXPECT_EQ(G()[1], 6607.0f);
    EXPECT_EQ(G()[18], 149.0f);

    // Out of range presets change nothing.
    model->ApplyReverbPreset(24);
    model->ApplyChorusPreset(-1);
    EXPECT_FLOAT_EQ(store->GetGlobals()[11], raw);

    model->ApplyChorusPreset(2);
    EXPECT_FLOAT_EQ(store->GetGlobals()[21], 128.0f);
    EXPECT_NEAR(engine->data.globalTargets[21], 1.0f, 1e-5f);
}

TEST_F(MixerGlobalTest, LargeReverbAtHighRatesKeepsItsLines) {
    model->SetSampleRate(96000);
    Global(12, 80.0f);
    Global(13, 127.0f);  // 99.2 m: 28017 and 25047 samples asked for
    EXPECT_EQ(G()[1], 16381.0f);
    EXPECT_EQ(G()[2], 16381.0f);
    EXPECT_GT(std::fabs(G()[19]), 0.0f);
    EXPECT_LT(std::fabs(G()[19]), 1.0f);
    model->SetSampleRate(44100);
}

TEST_F(MixerGlobalTest, ApplyAllRestoresTheEngine) {
    Global(8, 100.0f);
    Mixer(6, 2, 90.0f);
    engine->data.globalTargets[8] = 0.0f;
    engine->data.partMixerTargets[6][2] = 0.0f;
    model->ApplyAllGlobal();
    model->ApplyAllMixer();
    EXPECT_FLOAT_EQ(engine->data.globalTargets[8], 100.0f / 128.0f + 1e-7f);
    EXPECT_GT(engine->data.partMixerTargets[6][2], 0.1f);
}

TEST_F(MixerGlobalTest, EveryIdAndValueIsSafe) {
    const float values[] = {0.0f, 1.0f / 7.0f, 0.5f, 1.0f, 0.0371f, 0.777f};
    for (float v : values) {
        for (int part = 0; part < 16; ++part)
            for (int id = 0; id < 32; ++id) {
                model->SetMixerParameter(id, part, v);
                const char* text = model->GetMixerParameterDisplay(id, part);
                ASSERT_LT(std::strlen(text), 128u);
            }
        for (int id = 0; id < 128; ++id) {
            model->SetGlobalParameter(id, v);
            ASSERT_LT(std::strlen(model->GetGlobalParameterDisplay(id)), 128u);
        }
        EXPECT_LE(engine->data.voicesInUse, 128);
        for (int k = 1; k <= 18; ++k) {
            EXPECT_GE(G()[k], 2.0f) << k;
            EXPECT_LE(G()[k], 16381.0f) << k;
        }
    }
    // Ids outside the tables are refused.
    model->SetMixerParameter(40, 0, 0.5f);
    model->SetMixerParameter(3, 16, 0.5f);
    model->SetMixerParameter(3, -1, 0.5f);
    model->SetGlobalParameter(128, 0.5f);
    model->SetGlobalParameter(-1, 0.5f);
    EXPECT_STREQ(model->GetMixerParameterDisplay(2, 16), "n/a");
    EXPECT_STREQ(model->GetGlobalParameterDisplay(200), "no value");
}

}  // namespace
