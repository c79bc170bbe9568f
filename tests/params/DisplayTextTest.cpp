#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ModelFixture.h"
#include "platform/CGlobalData.h"

namespace {

std::string Number(float v, int unit) {
    char out[128] = "untouched";
    FormatNumber(v, unit, out);
    return out;
}

std::string Cents(float raw) {
    char out[128];
    FormatCents(raw, out);
    return out;
}

std::string Note(float x, float* ticks = nullptr) {
    char out[128];
    const float t = GetNoteLength(x, out);
    if (ticks) *ticks = t;
    return out;
}

}  // namespace

TEST(NumberFormats, PrecisionFollowsMagnitude) {
    const struct { float value; int unit; const char* text; } numbers[] = {
        {12345.0f, kUnitPlain, "12345"}, {123.25f, kUnitPlain, "123.2"}, {0.25f, kUnitPlain, "0.250"},
        {-0.05f, kUnitPlain, "-0.0500"},  // thresholds test the magnitude
        {0.5f, kUnitPercent, "0.500 %"}, {96000.0f, kUnitHz, "20.00 kHz"}, {1500.0f, kUnitHz, " 1.50 kHz"},
        {55.0f, kUnitHz, "55.00 Hz"}, {-6.0f, kUnitDb, " -6.0 dB"}, {3.25f, kUnitDb, " +3.2 dB"},
        {150.0f, kUnitSeconds, "150 s"}, {1.5f, kUnitSeconds, "1.50 s"}, {0.05f, kUnitSeconds, "50.0 ms"},
        {1e-7f, kUnitSeconds, " 0.0 ms"}, {1.0f, 5, "untouched"}, {1.0f, -1, "untouched"},
    };
    for (const auto& c : numbers)
        EXPECT_EQ(Number(c.value, c.unit), c.text) << c.value << " " << c.unit;
}

TEST(NumberFormats, CentsAndNoteLengths) {
    const struct { float raw; const char* text; } cents[] = {
        {50.0f, "+0.00 ct"}, {60.0f, "+4.00 ct"}, {40.0f, "-4.00 ct"}, {75.0f, "+25.0 ct"},
        {0.0f, "-100.0 ct"}, {100.0f, "+100.0 ct"},
    };
    for (const auto& c : cents)
        EXPECT_EQ(Cents(c.raw), c.text) << c.raw;

    float ticks = 0;
    EXPECT_EQ(Note(0.0f, &ticks), "1/32t  ");
    EXPECT_EQ(ticks, 8.0f);
    EXPECT_EQ(Note(13.6f, &ticks), "1/2-   ");  // 13.6 + 0.4 truncates to 14
    EXPECT_EQ(ticks, 288.0f);
    EXPECT_EQ(Note(23.0f, &ticks), "4/1-   ");
    EXPECT_EQ(ticks, 2304.0f);
    EXPECT_EQ(Note(23.6f, &ticks), "1/16   ");  // index 24 falls back
    EXPECT_EQ(ticks, 24.0f);
    EXPECT_EQ(Note(-3.0f, &ticks), "1/16   ");
    EXPECT_EQ(Note(1e30f, &ticks), "1/16   ");
    EXPECT_EQ(GetNoteLength(16.0f, nullptr), 384.0f);
    // Every text is seven characters.
    for (int i = 0; i < 24; ++i) EXPECT_EQ(Note(static_cast<float>(i)).size(), 7u) << i;
}

class DisplayTextTest : public ModelFixture {
protected:
    static constexpr int kPart = 3;
    void SetUp() override {
        ModelFixture::SetUp();
        record = Record(kPart);
    }
    std::string Show(int id, float raw) {
        record[id] = raw;
        return model->GetParameterDisplay(record, kPart, id);
    }
    void SetTarget(int id, float v) { engine->data.partTargets[kPart][id] = v; }
    void SetEngineValue(int id, float v) { engine->data.SetPartF(kPart, id, v); }
    float* record = nullptr;
};

TEST_F(DisplayTextTest, LevelsPanAndPlainNumbers) {
    const struct { int id; float raw; const char* text; } shown[] = {
        {20, 0, "-100 dB"}, {20, 127, "+40 dB"}, {20, 64, " +0 dB"},
        {20, 64.9f, " +0 dB"},  // truncated, not rounded
        {21, 64, "+0"}, {21, 0, "-64"}, {21, 127, "+63"}, {1, 63, "  0.00"}, {3, 127, " 50.39"},
        {4, 10, " 1.25"}, {18, 127, "+30 dB"},
        {34, 64, "+10 dB"},  // 40 * 64 / 127 is 20 in integers
        {18, 0, "-10 dB"}, {19, 0, "0.000"}, {35, 127, "1.000"}, {24, 127, "+20 dB"},
        {27, 0, "-50 dB"},
        {30, 64, "-15 dB"},  // real division: -14.72
        {58, 127, "100.00"}, {62, 0, "Off"}, {62, 127, "+64 dB"}, {62, 10, " +5 dB"}, {148, 48, " +0"},
        {180, 60, "+12"}, {148, 0, "-48"}, {149, 50, "+0.00 ct"}, {181, 0, "-100.0 ct"},
        {214, 127, "1.000"}, {280, 127, " 0.10"}, {282, 0, "0.000"}, {295, 127, " +0 dB"},
        {295, 0, "-20 dB"}, {296, 127, "+48 dB"}, {298, 64, "1.00"}, {298, 96, "10.00"},
        {390, 64, " 0.00"}, {391, 0, "-1.00"}, {392, 128, " 1.00"}, {394, 127, "1.00"},
        {16, 127, "20.00 kHz"}, {22, 0, "20.00 Hz"}, {32, 63.5f, "640.0 Hz"},
    };
    for (const auto& c : shown)
        EXPECT_EQ(Show(c.id, c.raw), c.text) << c.id << " " << c.raw;
}

TEST_F(DisplayTextTest, TimesAndTempoSync) {
    const struct { int id; float raw; const char* text; } shown[] = {
        {186, 0, " 0.0 ms"}, {145, 25, " 7.6 ms"}, {210, 50, "75.8 ms"}, {187, 100, "7.58 s"},
        {199, 125, "75.8 s"}, {206, 127, "91.1 s"},
    };
    for (const auto& c : shown)
        EXPECT_EQ(Show(c.id, c.raw), c.text) << c.id << " " << c.raw;

    record[216] = 1.0f;  // LFO 1 synced to MIDI
    EXPECT_EQ(Show(215, 127), "4/1-   ");
    EXPECT_EQ(Show(215, 0), "1/32t  ");
    record[228] = 4.0f;
    EXPECT_EQ(Show(227, 127), "4/1-   ");

    record[291] = 0.0f;  // delay in milliseconds
    EXPECT_EQ(Show(286, 127), " 728 ms");
    EXPECT_EQ(Show(287, 0), "   0 ms");
    record[291] = 1.0f;  // delay synced
    EXPECT_EQ(Show(286, 127), "1/4    ");
}

TEST_F(DisplayTextTest, EngineValues) {
    // A smoothed target (true) or the engine's own cell (false), then its text.
    const struct { bool target; int id; float value; const char* text; } values[] = {
        {true, 7, 0.5f, "0.50"}, {true, 13, 0.25f, "+0.250"}, {true, 14, -0.5f, "-3.200"},
        {true, 14, 0.0f, "+0.050"}, {true, 23, 0.5f, "   32"}, {true, 31, 0.5f, "0.50"},
        {true, 59, 0.125f, "0.12500"}, {true, 60, 0.75f, "+0.50"}, {true, 294, 0.5f, "0.500"},
        {false, 188, 0.5f, "0.500"}, {false, 230, 0.25f, "0.50"}, {false, 290, 500.0f, "500 Hz"},
        {false, 293, 2500.0f, " 2.5 k"}, {false, 338, 0.25f, "+0.50"}, {false, 341, 0.01f, "1.920"}};
    for (const auto& v : values) {
        if (v.target) SetTarget(v.id, v.value);
        else SetEngineValue(v.id, v.value);
        EXPECT_EQ(Show(v.id, 0), v.text) << v.id << " " << v.value;
    }

    const int rate = g_GlobalData.sampleRate;
    g_GlobalData.sampleRate = 44100;
    SetTarget(281, 0.001f);
    EXPECT_EQ(Show(281, 0), "0.1 ms");
    SetTarget(281, 0.2f);
    EXPECT_EQ(Show(281, 0), " 19 ms");
    g_GlobalData.sampleRate = rate;

    // Oscillator semitone and tune follow the FM and track switches.
    record[152] = 1.0f;
    EXPECT_EQ(Show(153, 12), "1:3");
    SetEngineValue(154, 1.0f / 16.0f);
    EXPECT_EQ(Show(154, 0), "2.0000");
    record[160] = 0.0f;
    record[159] = 1.0f;
    EXPECT_EQ(Show(161, 50), " +2");
    EXPECT_EQ(Show(162, 50), "+0.00 ct");
    record[323] = 1.0f;
    EXPECT_EQ(Show(324, 36), "-12");
}

TEST_F(DisplayTextTest, ListsRoutingsAndBadInput) {
    // Routing 1: destination text only with a source.
    record[65] = 0.0f;
    EXPECT_EQ(Show(85, 8), "");
    EXPECT_EQ(Show(36, 128), "");
    record[65] = 3.0f;
    EXPECT_EQ(Show(85, 8), "Mix 1");
    EXPECT_EQ(Show(85, 0), "Pitch");
    EXPECT_EQ(Show(36, 128), "+10:00:00");
    EXPECT_EQ(Show(36, 64), "+0:00:00");
    record[65] = 1.0f;
    EXPECT_EQ(Show(36, 65), "+00:00:005/Oct");
    record[85] = 2.0f;  // "WM 1", linear
    record[65] = 3.0f;
    const struct { int id; float raw; const char* text; } shown[] = {
        {36, 64, "+0.00"}, {155, 0, "Sawtooth"}, {213, 5, "S&H"}, {213, 5.9f, "S&H"},
        {213, 100, ""},  // no item has that value
        {57, 42.7f, "42"},  // no list: the integer
        {2000, 3.9f, "3"}, {2271, -2.5f, "-2"},
    };
    for (const auto& c : shown)
        EXPECT_EQ(Show(c.id, c.raw), c.text) << c.id << " " << c.raw;

    EXPECT_STREQ(model->GetParameterDisplay(record, kPart, 2272), "no value");
    EXPECT_STREQ(model->GetParameterDisplay(record, kPart, -1), "no value");
    EXPECT_STREQ(model->GetParameterDisplay(nullptr, kPart, 20), "no value");
    // A part outside 0..15 reads its engine values as 0 instead of past the arrays.
    record[7] = 0.0f;
    EXPECT_STREQ(model->GetParameterDisplay(record, 16, 7), "0.00");
    EXPECT_STREQ(model->GetParameterDisplay(record, -1, 188), "0.000");
    // Every text fits the buffer and is terminated.
    for (int id = 0; id < 2272; ++id) {
        record[id] = 1e30f;
        EXPECT_LT(std::strlen(model->GetParameterDisplay(record, kPart, id)), 128u) << id;
    }
}

TEST_F(DisplayTextTest, EditorReactions) {
    struct Dialogs : CPIBaseListener {
        int GetCurrentPart() const override { return 0; }
        int GetPage() const override { return 0; }
        void SetPage(int) override {}
        void NotifyParameterChanged() override {}
        void OpenDialog(int x, int y, int dialog, int arg) override {
            opened.push_back({x, y, dialog, arg});
        }
        std::vector<std::array<int, 4>> opened;
    } gui;
    model->SetGUI(&gui);
    store->SetCurrentPart(2);

    model->OnEditorValueChanged(0, 163, 65.0f / 128.0f);  // a multi-sample on oscillator 2
    EXPECT_EQ(model->GetSampleEditOscillator(), 1);
    model->OnEditorValueChanged(0, 172, 64.0f / 128.0f);  // the custom wave of oscillator 3
    model->OnEditorValueChanged(0, 155, 63.0f / 128.0f);  // a computed wave: nothing
    model->OnEditorValueChanged(0, 182, 0.0f);            // custom shape
    model->OnEditorValueChanged(0, 182, 1.0f / 128.0f);   // a fixed shape: nothing
    model->OnEditorValueChanged(1, 182, 0.0f);            // other groups: nothing
    const std::vector<std::array<int, 4>> expected = {
        {100, 200, 9, 1}, {100, 280, 4, 0}, {300, 200, 5, 0}};
    EXPECT_EQ(gui.opened, expected);
    model->SetGUI(nullptr);
}

TEST_F(DisplayTextTest, SpectralEditsRebuildTheEditedPartOnly) {
    auto energy = [&](int part) {
        double sum = 0;
        for (int region = 0; region < 64; region += 9) {
            const CTLBase::Segment* s = engine->data.waves.SpectrumRegion(part, false, region);
            for (int i = 0; s && i < 256; ++i) sum += std::fabs(s[i].offset) + std::fabs(s[i].slope);
        }
        return sum;
    };
    ASSERT_EQ(energy(5), 0.0);
    ASSERT_EQ(energy(0), 0.0);
    store->SetCurrentPart(5);
    float* r = Record(5);
    for (int i = 0; i < 128; ++i) r[768 + i] = 127.0f;
    r[1840] = 127.0f;
    model->OnEditorValueChanged(0, 330, 1.0f / 128.0f);
    EXPECT_GT(energy(5), 0.0);
    EXPECT_EQ(energy(0), 0.0);
}

TEST(Labels, ARowDefinedWithoutALabelShowsNothing) {
    CPIBase model;
    model.DefineParameter(400, nullptr, nullptr, 128.0f, 0, 0);
    model.DefineMixerParameter(20, nullptr, 128.0f, 0);
    model.DefineSetupParameter(120, nullptr, 128.0f, 0);
    model.DefineGlobalParameter(100, nullptr);
    EXPECT_STREQ(model.GetParameterLabel(0, 400), "");
    EXPECT_STREQ(model.PartSoundRow(400).name, "");
    EXPECT_STREQ(model.GetParameterLabel(1, 20), "");
    EXPECT_STREQ(model.GetParameterLabel(9, 120), "");
    EXPECT_STREQ(model.GetParameterLabel(2, 100), "");
}
