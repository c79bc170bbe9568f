// The numbered commands of the synthesizer: their edge cases, their texts,
// and every id with awkward values through all three operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "os/OFileChooser.h"
#include "params/CPIBase.h"
#include "platform/CDlgFile.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "tests/core/MidiFixture.h"

namespace {

class CancelChooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest&) override { return std::nullopt; }
};

class CommandTest : public SynthFixture {
protected:
    void SetUp() override {
        SynthFixture::SetUp();
        synth->program.GetFileDialog().SetChooser(&cancel);
        g_DlgFile.SetChooser(&cancel);
    }
    void TearDown() override {
        synth->program.GetFileDialog().SetChooser(nullptr);
        g_DlgFile.SetChooser(nullptr);
        if (g_GlobalData.sampleRate != 44100)
            synth->SetSampleRate(44100.0f);
        g_GlobalData.MIDIOutOffset = 800;
    }
    std::string Text(int id, size_t size = 64) {
        char out[64] = "untouched";
        synth->GetCommandText(id, out, size);
        return out;
    }
    int Channel(int part) { return static_cast<int>(synth->GetMixerParameter(part << 10 | 4) * 128.0f + 0.1f); }
    CancelChooser cancel;
};

} // namespace

TEST_F(CommandTest, SampleRateAndMidiOutOffset) {
    synth->ExecuteCommand(99, 2.0f / 128.0f);
    EXPECT_EQ(g_GlobalData.sampleRate, 48000);
    synth->ExecuteCommand(99, 3.0f / 128.0f);
    EXPECT_EQ(g_GlobalData.sampleRate, 44100);
    EXPECT_EQ(Text(99), "44100 Hz");
    synth->ExecuteCommand(99, 6.0f / 128.0f);
    EXPECT_EQ(g_GlobalData.sampleRate, 44100);

    synth->ExecuteCommand(160, 0.5f);
    EXPECT_EQ(g_GlobalData.MIDIOutOffset, 2205);
    EXPECT_FLOAT_EQ(synth->GetCommandValue(160), 0.5f);
    EXPECT_EQ(Text(160), "50.000 ms");
    // The offset stays within 0..100 ms whatever the value.
    const struct {
        float value;
        int32_t offset;
    } cases[] = {{1e30f, 4410}, {2.0f, 4410}, {-1.0f, 0}, {std::nanf(""), 0}, {1.0f, 4410}};
    for (const auto& c : cases) {
        synth->ExecuteCommand(160, c.value);
        EXPECT_EQ(g_GlobalData.MIDIOutOffset, c.offset) << c.value;
    }
}

TEST_F(CommandTest, TheRateMenuMarksTheRateInUseAndTheDeviceFieldsReadAsWords) {
    auto marked = [] {
        std::string rows;
        for (int row = CUIMenuResource::FindFirstRow(275); row > 0 && CUIMenuResource::Entry(row).menuId == 275; ++row)
            rows += CUIMenuResource::Entry(row).checked ? '1' : '0';
        return rows;
    };
    synth->ExecuteCommand(99, 2.0f / 128.0f);
    EXPECT_EQ(marked(), "001000");
    synth->ExecuteCommand(99, 3.0f / 128.0f);
    EXPECT_EQ(Text(99), "44100 Hz");
    EXPECT_EQ(marked(), "000100");
    for (uint32_t position = 1; position <= 6; ++position)
        CUIMenuResource::SetChecked(275, position, 0, false);

    // No output chosen yet, no audio input at all: words, not a row of
    // zeros or "command unknown".
    const std::string output = g_MIDIDevices.GetOutputName(), setting = g_GlobalData.MIDIDeviceOut;
    g_MIDIDevices.SetOutputName(std::string(32, '0').c_str());
    EXPECT_EQ(Text(2), "none");
    g_MIDIDevices.SetOutputName(output.c_str());
    snprintf(g_GlobalData.MIDIDeviceOut, sizeof g_GlobalData.MIDIDeviceOut, "%s", setting.c_str());
    EXPECT_EQ(Text(3), "none");
    // The bank field names the bank the current part plays from.
    char name[CProgram::kNameSize];
    synth->program.GetSlotName(synth->program.GetPartBankSlot(0), name);
    synth->SelectPart(0, 1);
    EXPECT_EQ(Text(6), name);
}

TEST_F(CommandTest, ReverbAndChorusPresetsApplyTheirValuesAndNameThemselves) {
    struct Case {
        int id, preset, global;  // the command, the preset, one value it sets
        const CPIBase::Preset* table;
        int valueIndex;
    } cases[] = {{100, 3, 13, CPIBase::kReverbPresets, 1}, {101, 5, 18, CPIBase::kChorusPresets, 0}};
    for (const Case& c : cases) {
        synth->ExecuteCommand(c.id, c.preset / 128.0f);
        EXPECT_EQ(Text(c.id), c.table[c.preset].name) << c.id;
        EXPECT_FLOAT_EQ(synth->GetCommandValue(c.id), c.preset / 128.0f) << c.id;
        EXPECT_NEAR(synth->parameters.GetGlobalParameter(c.global) * 127.0f, c.table[c.preset].value[c.valueIndex],
                    0.01f)
            << c.id;
        // A number beyond the list changes nothing.
        synth->ExecuteCommand(c.id, 24 / 128.0f);
        EXPECT_EQ(Text(c.id), c.table[c.preset].name) << c.id;
        synth->ExecuteCommand(c.id, 0.0f);
        EXPECT_EQ(Text(c.id), c.table[0].name) << c.id;
    }
}

TEST_F(CommandTest, ProgramStepsStopAtTheEndsOfTheBank) {
    synth->SelectPart(0, 1);
    synth->SetProgram(127);
    synth->ExecuteCommand(121, 0.0f);
    EXPECT_EQ(synth->program.GetCurrentProgramNumber(), 127);
    synth->ExecuteCommand(122, 0.0f);
    EXPECT_EQ(synth->program.GetCurrentProgramNumber(), 126);
    synth->SetProgram(0);
    synth->ExecuteCommand(122, 0.0f);
    EXPECT_EQ(synth->program.GetCurrentProgramNumber(), 0);

    // A combination bank steps by four and stops before 128.
    synth->ExecuteCommand(134, 0.0f);
    ASSERT_EQ(synth->GetCommandValue(134), 1.0f);
    synth->SetProgram(124);
    synth->ExecuteCommand(121, 0.0f);
    EXPECT_EQ(synth->program.GetCurrentProgramNumber(), 124);
    synth->ExecuteCommand(122, 0.0f);
    EXPECT_EQ(synth->program.GetCurrentProgramNumber(), 120);
    synth->ExecuteCommand(134, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(134), 0.0f);
}

// "Paste Modmatrix" (163) takes only the modulation rows of the copied
// program, "Paste 8D setting" (165) only the section.
TEST_F(CommandTest, PastesTakeWhatTheirNamesSay) {
    float* r = synth->program.GetCurrentProgramData();  // rows 36, 70: an amount, a source; 500: the section
    auto set = [&](float v) { r = synth->program.GetCurrentProgramData(), r[36] = r[70] = r[500] = v; };
    set(10.0f), synth->ExecuteCommand(125, 0.0f), synth->SetProgram(1), set(20.0f);
    synth->ExecuteCommand(163, 0.0f);
    EXPECT_EQ(std::vector<float>({r[36], r[70], r[500]}), std::vector<float>({10.0f, 10.0f, 20.0f}));
    set(20.0f), synth->ExecuteCommand(165, 0.0f);
    EXPECT_EQ(std::vector<float>({r[36], r[70], r[500]}), std::vector<float>({20.0f, 20.0f, 10.0f}));
}

// Back from a combination bank on part 9, parts 8..11 take consecutive
// channels from part 8's and the whole keyboard (both key limits cleared).
TEST_F(CommandTest, CombinationOffGivesTheGroupConsecutiveChannels) {
    synth->SelectPart(9, 1);
    synth->ExecuteCommand(134, 0.0f);
    ASSERT_EQ(synth->GetCommandValue(134), 1.0f);
    synth->SetMixerParameter(8 << 10 | 4, 5.0f / 128.0f);
    for (int q = 8; q < 12; ++q) {
        synth->SetMixerParameter(q << 10 | 5, 36.0f / 128.0f);
        synth->SetMixerParameter(q << 10 | 6, 96.0f / 128.0f);
    }
    synth->ExecuteCommand(134, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(134), 0.0f);
    for (int q = 8; q < 12; ++q) {
        EXPECT_EQ(Channel(q), 5 + q - 8) << q;
        EXPECT_EQ(synth->GetMixerParameter(q << 10 | 5), 0.0f);
        EXPECT_EQ(synth->GetMixerParameter(q << 10 | 6), 0.0f);
        EXPECT_EQ(synth->engine.data.SettingI(q, CEngineData::kSetKeyLow), 0) << q;
        EXPECT_EQ(synth->engine.data.SettingI(q, CEngineData::kSetKeyHigh), 0) << q;
    }
    synth->SelectPart(0, 1);
}

TEST_F(CommandTest, AssignmentSourcesArmAndDisarm) {
    synth->ExecuteCommand(141, 0.0f);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(synth->GetCommandValue(151 + k), 0.0f);
    synth->ExecuteCommand(151, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(151), 1.0f);
    synth->ExecuteCommand(151, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(151), 0.0f);
    EXPECT_EQ(Text(141), "none");
    synth->ExecuteCommand(141, 1.0f);
    EXPECT_EQ(synth->GetCommandValue(151), 1.0f);
    // The source menu's field names the armed source.
    EXPECT_EQ(Text(141), "8D 1-X");
    synth->ExecuteCommand(141, 8.0f);
    EXPECT_EQ(synth->GetCommandValue(158), 1.0f);
    EXPECT_EQ(Text(141), "8D 4-Y");
    synth->ExecuteCommand(141, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(158), 0.0f);
    EXPECT_EQ(Text(141), "none");
}

TEST_F(CommandTest, TextsAndFilterMasks) {
    EXPECT_EQ(Text(1), "MIDI input device(s)");
    EXPECT_EQ(Text(108), "UI Design");
    for (int id : {-1, 0, 97, 135, 176 + 1, 200, 1 << 30})
        EXPECT_EQ(Text(id), "command unknown") << id;
    // No audio input is taken, and the field says so.
    EXPECT_EQ(Text(3), "none");
    EXPECT_EQ(Text(176), "untouched");
    EXPECT_EQ(Text(1, 5), "MIDI");
    EXPECT_EQ(Text(160, 1), "");

    // With the browser filtering, 166..170 read back the filter's own
    // masks (another test of the suite may have left it showing a preset's).
    synth->ExecuteCommand(172, 0.0f);
    synth->ExecuteCommand(168, 4294967295.0f);
    EXPECT_EQ(synth->GetCommandValue(168), 4294967295.0f);
    synth->ExecuteCommand(168, 5.0f);
    EXPECT_EQ(synth->GetCommandValue(168), 5.0f);
    synth->ExecuteCommand(173, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(172), 0.0f);
    EXPECT_EQ(synth->GetCommandValue(173), 1.0f);
    synth->ExecuteCommand(172, 0.0f);
    EXPECT_EQ(synth->GetCommandValue(172), 1.0f);
    synth->ExecuteCommand(119, 1.0f);
    EXPECT_EQ(synth->GetCommandValue(119), 1.0f);
    synth->ExecuteCommand(119, 0.0f);
    EXPECT_EQ(g_ControllerNumberMode, 0);
}

// Every id with awkward values through the three operations, the file
// choosers answering "cancelled": nothing crashes, nothing reads past an
// array. The device commands have tests of their own against headless
// servers.
TEST_F(CommandTest, EveryIdTakesAnyValue) {
    const float values[] = {-1e30f, -1.0f, 0.0f, 0.5f, 1.0f, 130.0f, 1e30f, std::numeric_limits<float>::quiet_NaN()};
    for (int id = 0; id <= 200; ++id) {
        if (id == 1 || id == 2 || id == 4 || id == 96 || id == 97)
            continue;
        for (float v : values) {
            SCOPED_TRACE(testing::Message() << "id " << id << " value " << v);
            synth->ExecuteCommand(id, v);
            const float read = synth->GetCommandValue(id);
            EXPECT_FALSE(std::isnan(read));
            char text[64];
            std::memset(text, 'x', sizeof(text));
            synth->GetCommandText(id, text, sizeof(text));
            if (id != 176) {
                EXPECT_NE(std::memchr(text, 0, sizeof(text)), nullptr);
            }
        }
    }
    Render(512);
}
