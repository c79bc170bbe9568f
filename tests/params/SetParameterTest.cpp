#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/CTLShapes.h"
#include "platform/CGlobalData.h"
#include "tests/params/ModelFixture.h"

namespace {

class CountingGUI : public CPIBaseListener {
public:
    int GetCurrentPart() const override { return 0; }
    int GetPage() const override { return 2; }
    void SetPage(int) override {}
    void NotifyParameterChanged() override { ++notices; }
    int notices = 0;
};

class SetParameterTest : public ModelFixture {
protected:
    // Sets id on part from its raw value (raw / scale as normalized).
    void SetRaw(int part, int id, float raw, bool atOnce = false) {
        model->SetParameter(Record(part), raw / model->PartSoundRow(id).scale, part, id, atOnce,
                            false);
    }
    int32_t CellI(int part, int id) const { return engine->data.PartI(part, id); }
    // Assignment entry 0 of a part: pad source 0 onto id with amount.
    void Assign(int part, int id, int amount) {
        float* r = Record(part);
        r[416] = 0.0f;
        r[417] = static_cast<float>(id >> 8);
        r[418] = static_cast<float>(id & 255);
        r[419] = static_cast<float>(amount);
        model->RebuildAssignedFlags(part);
    }
    void SetPad(int part, float x) { engine->data.SetPartF(part, 307, x); }
};

TEST(CurveHelpers, ExactPoints) {
    EXPECT_NEAR(DbCurve(-40.0f, 40.0f, 127.0f), 100.0f, 1e-4f);
    EXPECT_NEAR(DbCurve(-40.0f, 40.0f, 63.5f), 1.0f, 1e-6f);
    EXPECT_NEAR(DbCurve(-60.0f, 0.0f, 0.0f), 0.001f, 1e-9f);
    EXPECT_NEAR(SquareLawAround50(100.0f), 1e-7f + 1.0f / 192.0f, 1e-8f);
    EXPECT_LT(SquareLawAround50(40.0f), SquareLawAround50(45.0f));
    // Both reach 20 % of the distance after the given time: 1 - 0.2.
    EXPECT_NEAR(TimeToCoefficientFixed(0.05f), 0.8f, 1e-6f);
    EXPECT_NEAR(TimeToCoefficient(g_GlobalData.msPerBlock / 1000.0f), 0.8f, 1e-6f);
}

TEST(InputCodes, TableAndGaps) {
    const std::pair<int, int> codes[] = {{0, 0},       {1, 612},    {4, 628},   {5, 624},
                                         {12, 668},    {18, 1268},  {21, 1376}, {30, 1276},
                                         {41, 1320},   {47, 1424},  {48, -1},   {-1, -1}};
    for (auto [v, code] : codes) EXPECT_EQ(CPIBase::InputCode(v), code) << v;
    for (int v = 22; v <= 29; ++v) EXPECT_EQ(CPIBase::InputCode(v), -1) << v;
}

TEST_F(SetParameterTest, RawValueIsClampedAndStored) {
    // Waveform: the maximum is 65 (multi-sample), not the scale.
    model->SetParameter(Record(1), 1.0f, 1, 155, false, false);
    EXPECT_EQ(Record(1)[155], 65.0f);
    EXPECT_EQ(CellI(1, 155), 65);
    EXPECT_FLOAT_EQ(model->GetParameter(Record(1), 1, 155), 65.0f / 128.0f);
    // A shape-generator wave is stored as its integer and read by the engine.
    SetRaw(1, 155, 20.0f);
    EXPECT_EQ(CellI(1, 155), 20);
    // Ids without a rule are stored only.
    SetRaw(1, 2, 77.0f);
    EXPECT_EQ(Record(1)[2], 77.0f);
    EXPECT_EQ(Target(1, 2), 0.0f);
    EXPECT_EQ(Cell(1, 2), 0u);
}

TEST_F(SetParameterTest, TargetsAndTheSetAtOnceCopy) {
    SetRaw(2, 16, 127.0f);
    EXPECT_FLOAT_EQ(Target(2, 16), 1.0f + 1e-7f);
    EXPECT_EQ(Cell(2, 16), 0u);  // not copied without set-at-once
    SetRaw(2, 16, 63.5f, true);
    EXPECT_FLOAT_EQ(CellF(2, 16), 0.5f + 1e-7f);

    // Pitch bend: raw 0 and 127 give the clamped ends.
    SetRaw(2, 57, 0.0f);
    EXPECT_FLOAT_EQ(Target(2, 57), -1.0f);
    SetRaw(2, 57, 127.0f);
    EXPECT_FLOAT_EQ(Target(2, 57), 1.0f);
    SetRaw(2, 57, 64.0f);
    EXPECT_NEAR(Target(2, 57), 2e-7f, 1e-9f);

    // Volume: 0 is silent, 127 is +40 dB, times the MIDI volume factor.
    SetRaw(2, 20, 0.0f);
    EXPECT_FLOAT_EQ(Target(2, 20), 1e-7f);
    SetRaw(2, 20, 127.0f);
    EXPECT_NEAR(Target(2, 20), 100.0f, 1e-3f);
    SetRaw(2, 21, 0.0f);
    EXPECT_FLOAT_EQ(Target(2, 21), 1.0f + 1e-7f);

    // Overdrive off is 0.7 exactly; above it the module mask keeps overdrive.
    SetRaw(2, 62, 0.0f);
    EXPECT_FLOAT_EQ(Target(2, 62), 0.7f);
    EXPECT_NE(Cell(2, 270) & 0x400u, 0u);
    SetRaw(2, 62, 10.0f);
    EXPECT_EQ(Cell(2, 270) & 0x400u, 0u);
}

TEST_F(SetParameterTest, TuneSemitoneAndFMRatio) {
    // Tune with FM off: the square law around 50.
    SetRaw(0, 154, 50.0f);
    EXPECT_FLOAT_EQ(CellF(0, 154), 1e-7f);
    SetRaw(0, 154, 0.0f);
    EXPECT_NEAR(CellF(0, 154), 1e-7f - 1.0f / 192.0f, 1e-8f);
    SetRaw(0, 153, 60.0f);
    EXPECT_NEAR(CellF(0, 153), 12.0f / 192.0f, 1e-6f);
    EXPECT_EQ(Record(0)[153], 60.0f);

    // FM on: semitone 12 selects ratio 12 / 6 + 1 = 3; tune 50 detunes
    // toward ratio 4 by ln(4/3) * 50 / 1109.0355.
    SetRaw(0, 154, 50.0f);
    model->SetParameter(Record(0), 1.0f, 0, 152, false, false);
    SetRaw(0, 153, 12.0f);
    EXPECT_EQ(CellI(0, 261), 3);
    EXPECT_EQ(Record(0)[261], 3.0f);
    EXPECT_NEAR(CellF(0, 153), std::log(3.0) / 11.090355, 1e-6);
    EXPECT_NEAR(CellF(0, 154), std::log(4.0 / 3.0) * 50.0 / 1109.0355, 1e-6);
    EXPECT_EQ(CellI(0, 262), 50);

    // A damaged ratio slot never reaches the logarithm below 1.
    Record(0)[261] = -3.0f;
    SetRaw(0, 154, 80.0f);
    EXPECT_EQ(Record(0)[261], 1.0f);
    EXPECT_NEAR(CellF(0, 154), std::log(2.0) * 80.0 / 1109.0355, 1e-6);
    EXPECT_TRUE(std::isfinite(CellF(0, 154)));

    // Back to FM off: both are set again in the plain mode.
    model->SetParameter(Record(0), 0.0f, 0, 152, false, false);
    EXPECT_NEAR(CellF(0, 153), -36.0f / 192.0f, 1e-6f);
}

TEST_F(SetParameterTest, SwitchesWriteIntegersAndTheirInputCodes) {
    const struct {
        int id;
        float raw;
        uint32_t cell;
    } ints[] = {{156, 1, 612}, {156, 0, 1428}, {175, 1, 480},  {318, 0, 1},
                {318, 1, 5},   {271, 0, 0},    {271, 4, 0xFFFFFFF0u}};
    for (const auto& c : ints) {
        SetRaw(3, c.id, c.raw);
        EXPECT_EQ(Cell(3, c.id), c.cell) << c.id << " " << c.raw;
    }
    SetRaw(3, 151, 1.0f);
    EXPECT_EQ(CellF(3, 151), 1.0f);
    SetRaw(3, 272, 2.0f);
    EXPECT_EQ(CellF(3, 273), 0.125f);
    EXPECT_FLOAT_EQ(CellF(3, 274), 0.2f);
    EXPECT_FLOAT_EQ(CellF(3, 277), 4.0f / 32.0f);
    // Terrain shapes beyond 15 leave the cell alone.
    SetRaw(3, 364, 7.0f);
    EXPECT_EQ(CellI(3, 364), 7);
    // Input selectors: codes, gaps and the module mask.
    SetRaw(3, 237, 9.0f);
    EXPECT_EQ(CellI(3, 237), 660);
    SetRaw(3, 237, 25.0f);
    EXPECT_EQ(CellI(3, 237), 660);  // no item: unchanged
    EXPECT_EQ(Cell(3, 270) & 0x200u, 0u);
    SetRaw(3, 237, 0.0f);
    EXPECT_NE(Cell(3, 270) & 0x200u, 0u);
}

TEST_F(SetParameterTest, ModuleMask) {
    EXPECT_EQ(Cell(4, 270), 0u);
    model->UpdateModuleMask(4);
    EXPECT_EQ(Cell(4, 270), 0xFFFFFFFFu);
    SetRaw(4, 240, 7.0f);   // mixer, first group only
    EXPECT_EQ(Cell(4, 270), ~0x20u);
    SetRaw(4, 245, 2.0f);   // a second-group input: mixer 4-5 too, and oscillator 2
    EXPECT_EQ(Cell(4, 270), ~(0x60u | 0x2u));
    SetRaw(4, 213, 6.0f);   // random LFO needs the noise
    EXPECT_EQ(Cell(4, 270) & 0x10u, 0u);
    SetRaw(4, 315, 1.0f);
    SetRaw(4, 316, 1.0f);
    SetRaw(4, 317, 1.0f);
    EXPECT_EQ(Cell(4, 270) & 0x70000000u, 0u);
    SetRaw(4, 316, 0.0f);
    EXPECT_EQ(Cell(4, 270) & 0x70000000u, 0x20000000u);
}

TEST_F(SetParameterTest, EnvelopesGlideAndLFOs) {
    // Delay: whole blocks, and 0 is the integer 0 (not a float bit pattern).
    SetRaw(5, 185, 25.0f);
    EXPECT_EQ(CellI(5, 185), static_cast<int>(10.0 / g_GlobalData.msPerBlock));
    SetRaw(5, 185, 0.0f);
    EXPECT_EQ(Cell(5, 185), 0u);

    // Release 0 follows the decay.
    Record(5)[189] = 0.0f;
    SetRaw(5, 187, 63.5f);
    EXPECT_FLOAT_EQ(CellF(5, 189), 0.5f);
    SetRaw(5, 189, 0.0f);
    EXPECT_FLOAT_EQ(CellF(5, 189), 0.5f);
    SetRaw(5, 189, 127.0f);
    EXPECT_FLOAT_EQ(CellF(5, 189), 1.0f);

    // Glide 0 jumps at once; a time glides.
    SetRaw(5, 145, 0.0f);
    EXPECT_EQ(CellF(5, 145), 1.0f);
    SetRaw(5, 145, 50.0f);
    EXPECT_NEAR(CellF(5, 145), 0.0116105f, 1e-6f);

    // Envelope trigger: a change sends the part's voices' envelope to release.
    engine->data.voicePart[7] = 5;
    engine->data.SetControlI(7, 99, 1);
    SetRaw(5, 198, 2.0f);
    EXPECT_EQ(engine->data.ControlI(7, 99), 3);
    EXPECT_FLOAT_EQ(engine->data.ControlF(7, 83), 1e-11f);

    // LFO rate follows its sync; changing the sync reads the rate again.
    SetRaw(5, 216, 0.0f);
    SetRaw(5, 215, 0.0f);
    EXPECT_FLOAT_EQ(CellF(5, 215), 1e-7f);
    SetRaw(5, 216, 1.0f);   // MIDI
    EXPECT_FLOAT_EQ(CellF(5, 215), 1.0f / 8.0f);  // shortest note, 8 ticks
    EXPECT_EQ(Record(5)[216], 1.0f);
    SetRaw(5, 216, 0.0f);
    EXPECT_FLOAT_EQ(CellF(5, 215), 1e-7f);
    EXPECT_EQ(engine->data.ControlI(7, 111), 0x1000000);  // restarted
}

TEST_F(SetParameterTest, EffectsAndSampleRateDependentValues) {
    // Delay filter at 44100 Hz, 13.1 kHz.
    SetRaw(6, 290, 112.0f);
    EXPECT_NEAR(engine->data.partWork[6][36], -0.229291f, 1e-5f);
    EXPECT_NEAR(engine->data.partWork[6][35], 0.770709f, 1e-5f);
    // Distortion tone at 654 Hz.
    SetRaw(6, 293, 64.0f);
    EXPECT_NEAR(engine->data.partWork[6][40], 0.0889247f, 1e-5f);
    EXPECT_NEAR(engine->data.partWork[6][41], -0.911075f, 1e-5f);
    EXPECT_NEAR(engine->data.partWork[6][42], 1.029666f, 1e-5f);
    EXPECT_NEAR(engine->data.partWork[6][43], 0.970334f, 1e-5f);

    // Delay times: free or in ticks.
    Record(6)[291] = 0.0f;
    SetRaw(6, 286, 127.0f);
    EXPECT_NEAR(CellF(6, 286), 0.99f * 0.99f, 1e-5f);
    SetRaw(6, 291, 1.0f);
    EXPECT_FLOAT_EQ(CellF(6, 286), 96.0f);  // note index 10: a quarter
    SetRaw(6, 291, 0.0f);
    EXPECT_NEAR(CellF(6, 286), 0.99f * 0.99f, 1e-5f);

    // At 22050 Hz the same cutoff is above half the rate: no filtering.
    model->SetSampleRate(22050);
    SetRaw(6, 290, 112.0f);
    EXPECT_EQ(engine->data.partWork[6][36], 0.0f);
    EXPECT_EQ(engine->data.partWork[6][35], 1.0f);

    // Id 13 at 96000 Hz is lowered and never negative.
    model->SetSampleRate(96000);
    EXPECT_EQ(g_GlobalData.refillPeriod, 5);
    EXPECT_FLOAT_EQ(g_GlobalData.msPerBlock, static_cast<float>(32000.0 / 96000.0));
    SetRaw(6, 13, 64.0f);
    EXPECT_NEAR(Target(6, 13), 0.4553191f, 1e-6f);
    SetRaw(6, 13, 0.0f);
    EXPECT_EQ(Target(6, 13), 0.0f);
    model->SetSampleRate(44100);
    EXPECT_EQ(g_GlobalData.refillPeriod, 11);
}

TEST_F(SetParameterTest, ModAllVoicesAndReverbLevel) {
    CountingGUI gui;
    model->SetGUI(&gui);
    SetRaw(7, 58, 10.0f);
    SetRaw(7, 343, 1.0f);
    EXPECT_EQ(Record(7)[58], Record(7)[63]);
    const int before = gui.notices;
    SetRaw(7, 63, 100.0f);
    EXPECT_EQ(Record(7)[58], 100.0f);
    EXPECT_FLOAT_EQ(Target(7, 58), Target(7, 63));
    EXPECT_GT(gui.notices, before);
    SetRaw(7, 343, 0.0f);
    SetRaw(7, 63, 20.0f);
    EXPECT_EQ(Record(7)[58], 100.0f);
    model->SetGUI(nullptr);

    // Voices: 0 becomes 8, and the part gets its voices.
    SetRaw(7, 344, 0.0f);
    EXPECT_EQ(Record(7)[344], 8.0f);
    EXPECT_EQ(engine->data.SettingI(7, 10), 8);
    EXPECT_EQ(store->GetPartRow(7)[10], 8.0f);
    EXPECT_EQ(engine->data.partActive[7], 7);

    // Reverb level: the send gets the level's gain, and the part table keeps
    // mixer units, so re-applying the mixer keeps about the same send.
    SetRaw(7, 394, 63.5f);
    const float send = engine->data.partMixerTargets[7][0];
    EXPECT_NEAR(send, 0.0316228f, 1e-6f);
    EXPECT_NEAR(store->GetPartRow(7)[0], 31.75f, 1e-4f);
    model->ApplyAllMixer();
    EXPECT_NEAR(engine->data.partMixerTargets[7][0], send, 1e-6f);
    SetRaw(7, 394, 127.0f);
    model->ApplyAllMixer();
    EXPECT_NEAR(engine->data.partMixerTargets[7][0], 1.0f, 1e-5f);

    SetRaw(7, 395, 1.0f);
    EXPECT_EQ(engine->data.SettingI(7, 9), 1);
    EXPECT_EQ(store->GetPartRow(7)[9], 1.0f);
}

TEST_F(SetParameterTest, EnvelopeSegmentRowsReachTheEngineAsTheyAre) {
    for (int id : {346, 353, 354, 366, 372, 378, 383, 396}) {
        model->SetParameter(Record(8), 0.25f, 8, id, false, false);
        EXPECT_EQ(CellF(8, id), 0.25f) << id;
        EXPECT_EQ(model->GetParameter(Record(8), 8, id), 0.25f) << id;
    }
}

TEST_F(SetParameterTest, PadModulationNeverDriftsTheProgram) {
    // Pad point 1 X at 1.0 with amount 64 adds 0.5 to the normalized value.
    engine->partSounding[9] = 1;
    SetPad(9, 1.0f);
    Assign(9, 335, 64);
    SetRaw(9, 335, 3.0f);
    EXPECT_EQ(CellI(9, 335), 8);      // modulated, up to the end of the list
    EXPECT_EQ(Record(9)[335], 3.0f);  // the program keeps its own value
    for (int block = 0; block < 128; ++block) model->UpdateAssignedSlice(9 + 16 * block);
    EXPECT_EQ(Record(9)[335], 3.0f);
    SetPad(9, 0.5f);
    for (int block = 0; block < 128; ++block) model->UpdateAssignedSlice(9 + 16 * block);
    EXPECT_EQ(CellI(9, 335), 3);

    // Shifts and list indexes derived from modulated values stay in range.
    SetPad(9, 1.0f);
    Assign(9, 271, 127);
    SetRaw(9, 271, 15.0f);
    EXPECT_EQ(static_cast<uint32_t>(CellI(9, 271)), 0xFFFF8000u);
    Assign(9, 237, 127);
    SetRaw(9, 237, 40.0f);
    EXPECT_EQ(CellI(9, 237), 1424);
    EXPECT_EQ(Record(9)[237], 40.0f);
    Assign(9, 148, 64);
    SetRaw(9, 148, 48.0f);
    EXPECT_EQ(Record(9)[148], 48.0f);
}

TEST_F(SetParameterTest, PartialsRebuildOnlyTheCustomWave) {
    auto snapshot = [&] {
        const auto& w = engine->data.waves.oscillatorWaves[0][10];
        return std::vector<char>(reinterpret_cast<const char*>(&w),
                                 reinterpret_cast<const char*>(&w) + sizeof(w));
    };
    float* r = Record(10);
    for (int k = 0; k < 80; ++k) r[1600 + k] = 0.0f;
    for (float wave : {63.0f, 65.0f}) {
        r[155] = wave;
        const auto before = snapshot();
        model->SetParameter(r, 127.0f, 10, 1679, false, false);
        EXPECT_EQ(snapshot(), before) << wave;
    }
    r[155] = 64.0f;
    r[1600] = 127.0f;
    model->SetParameter(r, 0.0f, 10, 1679, false, false);
    const auto first = snapshot();
    model->SetParameter(r, 127.0f, 10, 1679, false, false);
    EXPECT_EQ(r[1679], 127.0f);
    EXPECT_EQ(CellF(10, 1679), 127.0f);
    EXPECT_NE(snapshot(), first);  // the 80th partial is in the new wave
}

TEST_F(SetParameterTest, ShapeAndUserShape) {
    SetRaw(11, 182, 5.0f);
    EXPECT_EQ(CellI(11, 182), 5);
    SetRaw(11, 182, 0.0f);
    EXPECT_EQ(CellI(11, 182), CPIBase::kUserShapeTable);
}

TEST_F(SetParameterTest, AudioThreadLeavesMultiSampleSwitchesToTheGUI) {
    {
        CPIBase::AudioThreadScope audio;
        model->SetParameter(Record(0), 1.0f, 0, 163, false, false);
        EXPECT_TRUE(model->HasPendingRequest(0, 1));
        model->ServicePendingRequests();  // not on the audio thread
        EXPECT_TRUE(model->HasPendingRequest(0, 1));
    }
    EXPECT_EQ(CellI(0, 163), 65);
    model->ServicePendingRequests();
    EXPECT_FALSE(model->HasPendingRequest(0, 1));
    // On the GUI thread the switch happens at once.
    model->SetParameter(Record(0), 1.0f, 0, 172, false, false);
    EXPECT_FALSE(model->HasPendingRequest(0, 2));

    // A change notice raised on the audio thread reaches the GUI on its tick.
    CountingGUI gui;
    model->SetGUI(&gui);
    {
        CPIBase::AudioThreadScope audio;
        SetRaw(7, 343, 1.0f);
        SetRaw(7, 63, 100.0f);
    }
    EXPECT_EQ(gui.notices, 0);
    model->ServicePendingRequests();
    EXPECT_EQ(gui.notices, 1);
    model->ServicePendingRequests();
    EXPECT_EQ(gui.notices, 1);
    model->SetGUI(nullptr);
}

TEST_F(SetParameterTest, ResetPartVoices) {
    engine->data.voicePart[3] = 12;
    engine->data.voicePart[4] = 13;
    engine->data.SetAudioF(3, 121, 0.7f);
    engine->data.SetAudioF(4, 121, 0.7f);
    model->ResetPartVoices(12);
    EXPECT_FLOAT_EQ(engine->data.AudioF(3, 121), 1e-7f);
    EXPECT_FLOAT_EQ(engine->data.AudioF(4, 121), 0.7f);
    EXPECT_EQ(engine->data.ControlI(3, 126), 2);
    EXPECT_EQ(engine->data.ControlI(3, 134), 2);
    EXPECT_EQ(engine->data.ControlI(3, 230), 1);
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(engine->data.ControlI(3, 95 + 4 * e), 3);
        EXPECT_FLOAT_EQ(engine->data.ControlF(3, 81 + 2 * e), 1e-11f);
    }
}

// Every part-sound id on every part with values across 0..1: nothing may
// crash, write outside the records or touch another part's engine record.
TEST_F(SetParameterTest, EveryIdOnEveryPartStaysInsideItsPart) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f);
    std::vector<float> values = {0.0f, 1.0f / 7.0f, 0.5f, 1.0f};
    for (int k = 0; k < 3; ++k) values.push_back(dist(rng));
    std::vector<uint32_t> saved(CEngineData::kPartCells);
    for (int part = 0; part < 16; ++part) {
        const int other = (part + 1) % 16;
        std::memcpy(saved.data(), engine->data.partRecord[other], saved.size() * sizeof(uint32_t));
        for (float v : values)
            for (int id = 0; id < CPIBase::kPartSoundRows; ++id)
                model->SetParameter(Record(part), v, part, id, (id & 1) != 0, false);
        EXPECT_EQ(std::memcmp(saved.data(), engine->data.partRecord[other],
                              saved.size() * sizeof(uint32_t)),
                  0)
            << part;
        EXPECT_LE(engine->data.voicesInUse, 128);
    }
}

}  // namespace
