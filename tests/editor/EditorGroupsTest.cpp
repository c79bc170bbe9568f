// The editor's groups and items against a real synthesizer without a
// window: what each stores, reads back and shows, and that indexes from a
// binding outside their range touch nothing.
#include "editor/CEditor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "os/OMessageBox.h"

namespace {

class EditorGroups : public ::testing::Test {
protected:
    void SetUp() override
    {
        synth = std::make_unique<CSynth>();
        editor = synth->editor;
        ASSERT_NE(editor, nullptr);
        synth->Resume();  // renders as a device would; requests wait for a block
    }
    std::string Text(uint32_t group, int32_t index, size_t size = 256)
    {
        std::string buffer(size + 8, '#');
        editor->GetText(group, index, buffer.data(), size);
        EXPECT_EQ(buffer.substr(size), std::string(8, '#')) << "wrote past the buffer";
        return buffer.substr(0, std::strlen(buffer.c_str()));
    }
    void RenderBlocks(int blocks)
    {
        float left[64 * 8], right[64 * 8];
        float* out[2] = {left, right};
        synth->Process(nullptr, out, 32 * blocks);
    }
    std::unique_ptr<CSynth> synth;
    CEditor* editor = nullptr;
};

TEST_F(EditorGroups, SequencerFieldsStoreTheScaledValueAndReadItBack)
{
    CSequencer& seq = *synth->sequencer;
    // Group 10 is a step's note: 0.5 stores 64 and reads 0.5.
    editor->SetValue(10, 5, 0.5f);
    EXPECT_EQ(seq.GetStepValue(0, 10, 5), 64);
    EXPECT_DOUBLE_EQ(editor->GetValue(10, 5), 0.5);
    // Steps, parts and keys outside their ranges do nothing and read 0.
    const int32_t before = seq.GetStepValue(0, 10, 63);
    for (uint32_t bad : {64u, 1000u, 0xFFFFFFFFu}) {
        editor->SetValue(10, bad, 0.25f);
        EXPECT_EQ(editor->GetValue(10, bad), 0.0);
        editor->SetValue(15, bad - 48, 0.1f);  // 16 and up are no part
        EXPECT_EQ(editor->GetValue(27, bad - 48), 0.0);
        EXPECT_EQ(Text(26, int32_t(bad - 48)), "");
        EXPECT_EQ(editor->GetValue(24, bad + 64), 0.0);
    }
    EXPECT_EQ(seq.GetStepValue(0, 10, 63), before);
    EXPECT_EQ(Text(26, -1), "");

    // Swing in percent; tempo within 40..300.996, NaN refused.
    editor->SetValue(37, 0, 0.25f);
    EXPECT_FLOAT_EQ(seq.swing, 25.0f);
    EXPECT_DOUBLE_EQ(editor->GetValue(37, 0), 0.25);
    char swing[64];
    seq.GetSwingText(swing, sizeof swing);
    EXPECT_EQ(Text(37, 0), swing);
    const std::pair<float, float> tempos[] = {{133.5f, 133.5f}, {10.0f, 40.0f}, {1e9f, 300.996f},
                                              {std::nanf(""), 300.996f}};
    for (auto [set, expect] : tempos) {
        editor->SetValue(13, 0, set);
        EXPECT_FLOAT_EQ(float(editor->GetValue(13, 0)), expect) << set;
    }
    // The song cursor takes the index as its cell: 300 is track 1, bar 44.
    editor->SetValue(38, 300, 123.0f);
    editor->SetValue(23, 4, 300.0f);
    EXPECT_EQ(seq.GetSongCellPattern(300), seq.SelectedPattern());
    // Unlisted groups do nothing, read 0 and leave the text alone.
    for (uint32_t group : {3u, 47u, 60u, 1000u}) {
        editor->SetValue(group, 0, 1.0f);
        EXPECT_EQ(editor->GetValue(group, 0), 0.0);
        char text[8] = "keep";
        editor->GetText(group, 0, text, sizeof text);
        EXPECT_STREQ(text, "keep");
    }
    // Texts honour the size the caller gives.
    EXPECT_EQ(Text(26, 0, 5).size(), 4u);
    EXPECT_EQ(Text(34, 0, 1), "");
}

TEST_F(EditorGroups, PatternSelectorPicksACellAndSilencesItsTrack)
{
    CSequencer& seq = *synth->sequencer;
    editor->SetValue(23, 0, 1.0f);
    editor->SetValue(23, 1, 2.0f);
    editor->SetValue(23, 2, 3.0f);
    EXPECT_EQ(editor->GetValue(23, 0), 1.0);
    EXPECT_EQ(editor->GetValue(23, 1), 2.0);
    EXPECT_EQ(editor->GetValue(23, 2), 3.0);
    const int cell = 2 * 256 + 5;
    editor->SetValue(23, 4, float(cell));
    EXPECT_EQ(editor->GetValue(25, cell), seq.SelectedPattern());
    // A note of part 2 sounds; picking the cell clears it and silences the
    // part's voices.
    synth->midi->RouteMessage(synth->midi->MakeNoteOn(2, 60, 100), -1, 0, 0, 0);
    RenderBlocks(1);
    auto voicesOf = [&](int part) {
        int n = 0;
        const CEngineData& d = synth->engine.data;
        for (int v = 0; v < CEngineData::kVoices; ++v)
            n += d.voicePart[v] == part && d.voiceState[v] < CEngineData::kVoiceFree;  // sounding
        return n;
    };
    ASSERT_GT(voicesOf(2), 0);
    editor->SetValue(23, 3, float(cell));
    RenderBlocks(1);
    EXPECT_EQ(voicesOf(2), 0);
    EXPECT_EQ(editor->GetValue(25, cell), -1.0);
}

TEST_F(EditorGroups, ScreenKeysAreRecordedWhenTheAudioThreadTakesThem)
{
    const int part = synth->program.GetCurrentPart();
    editor->SetValue(50, 1, 60.0f / 128.0f);
    // Not yet: the note waits in the ring for the next block.
    EXPECT_EQ(editor->GetValue(24, 60), 0.0);
    RenderBlocks(1);
    EXPECT_EQ(editor->GetValue(24, 60), 128.0);
    editor->SetValue(50, 0, 60.0f / 128.0f);
    RenderBlocks(1);
    EXPECT_EQ(editor->GetValue(24, 60), 0.0);
    // Keys outside 0..127 play nothing.
    editor->SetValue(50, 1, 200.0f / 128.0f);
    editor->SetValue(50, 1, -1.0f);
    RenderBlocks(1);
    for (int key = 0; key < 128; ++key) EXPECT_EQ(editor->GetValue(24, uint32_t(key)), 0.0) << key;
    (void)part;
}

TEST_F(EditorGroups, SampleItemsFollowTheEditedOscillator)
{
    for (int osc = 0; osc < 3; ++osc) {
        const int switches[3] = {155, 163, 172};
        synth->parameters.OnEditorValueChanged(0, switches[osc], 0.6f);
        editor->SetSampleValue(24, 0, 0.75f);
        editor->SetSampleValue(25, 0, 0.25f);
        EXPECT_FLOAT_EQ(synth->GetParameter(387 + osc), float(editor->GetSampleValue(24, 0)));
        EXPECT_FLOAT_EQ(synth->GetParameter(390 + osc), float(editor->GetSampleValue(25, 0)));
        char name[32];
        editor->GetSampleText(23, 0, name, sizeof name);
        EXPECT_EQ(std::string(name), "OSC " + std::to_string(osc + 1) + " Sample");
    }
    // Nothing loaded: zone items read 0 and show nothing; bad items too.
    for (int item : {-1, 0, 4, 9, 13, 20, 27, 1000}) {
        char text[16] = "keep";
        editor->GetSampleText(item, 3, text, sizeof text);
        EXPECT_STREQ(text, "") << item;
        EXPECT_EQ(editor->GetSampleValue(item, 99), 0.0);
    }
    // A zone's sample clicked with no multi-sample to take it says why.
    std::vector<std::string> told;
    const os::MessageBoxHook previous = os::SetMessageBoxHook([&](const char* text, const char*) { told.emplace_back(text); });
    editor->SetSampleValue(5, 3, 0.0f);           // open
    editor->SetSampleValue(6, 3, 1.0f / 128.0f);  // remove
    os::SetMessageBoxHook(previous);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("no multi-sample"), std::string::npos) << told[0];
}

TEST_F(EditorGroups, MenuCommands)
{
    EXPECT_FALSE(editor->OnMenuCommand(281, 1));
    EXPECT_TRUE(editor->OnMenuCommand(280, 7));
    EXPECT_TRUE(editor->OnMenuCommand(280, 16));
    // "New preset..." of the fourth type: the current part plays that type.
    EXPECT_TRUE(editor->OnMenuCommand(280, 43));
    EXPECT_EQ(synth->program.GetProgramType(synth->program.GetCurrentPart()), 3);
}

} // namespace
