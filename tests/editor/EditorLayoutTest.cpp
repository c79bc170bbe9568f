// The layout file through the editor's window: read at open, written at
// close only while layout editing is allowed, and never over a file that
// was refused at open.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "os/TestFolders.h"
#include "platform/CGlobalData.h"
#include "tools/FileFixtures.h"
#include "tools/LayoutFixtures.h"

namespace {

namespace lf = fixtures::layout;

void WriteAll(const std::string& path, const lf::Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class EditorLayout : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }
    // Opens a window on a fresh synthesizer; its manager.
    GUIHead* Open()
    {
        synth = std::make_unique<CSynth>();
        CEditor::AllowWindow(true);
        const bool opened = synth->editor->Open();
        CEditor::AllowWindow(false);
        return opened ? synth->editor->GetGUI() : nullptr;
    }
    void Close()
    {
        synth->editor->OnDestroy();
        synth.reset();
    }

    const std::string path = GUIResource::LayoutPath();
    std::unique_ptr<CSynth> synth;
};

TEST_F(EditorLayout, OpenReadsTheFileAndCloseSavesItOnlyWhenAllowed)
{
    lf::Bytes file;
    lf::End(file);
    lf::Record(file, {.tag = "BKGD", .w = 960, .h = 650, .layer = 0});
    lf::Record(file, {.tag = "KNOB", .group = 0, .index = 16, .x = 200, .y = 120, .w = 32, .h = 32});
    WriteAll(path, file);

    GUIHead* gui = Open();
    ASSERT_NE(gui, nullptr);
    ASSERT_EQ(gui->Objects().size(), 2u);
    EXPECT_EQ(gui->Objects()[1]->x, 200);
    gui->Objects()[1]->x = 300;
    Close();
    EXPECT_EQ(testutil::ReadBytes(path), file);  // editing not allowed: kept

    gui = Open();
    ASSERT_NE(gui, nullptr);
    gui->SetEditingAllowed(true);
    gui->Objects()[1]->x = 300;
    Close();
    file[4 + 56 + 10] = 300 & 255;
    file[4 + 56 + 11] = 300 >> 8;
    EXPECT_EQ(testutil::ReadBytes(path), file);

    // A file refused at open is shown as the default layout and survives
    // the close, even with editing allowed.
    lf::Bytes bad = {'I', 'B', 'M', 'P', 0, 0};
    WriteAll(path, bad);
    gui = Open();
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->IsLayoutRefused());
    EXPECT_GT(gui->Objects().size(), 2u);
    gui->SetEditingAllowed(true);
    Close();
    EXPECT_EQ(testutil::ReadBytes(path), bad);
}

}  // namespace

// The preset browser from start to sound: presets in the preset folder, a
// layout with the list and the category buttons, clicks pushed as SDL events.
TEST_F(EditorLayout, CategoryClickListsPresetsAndARowClickLoadsOneThatPlays)
{
    testutil::TempFolder presets;
    std::vector<float> record;
    {
        auto donor = std::make_unique<CSynth>();  // its factory program sounds: the presets' record
        const float* data = donor->program.GetProgramData(0);
        record.assign(data, data + CProgram::kRecordSize);
    }
    auto write = [&](const std::string& name, int program, float volume) {
        fixtures::Bytes body = fixtures::FxpBody(30, program, [&](int, int slot) {
            return slot == 20 ? volume : record[size_t(slot)];
        });
        std::fill(body.end() - 4 - 3 * 84, body.end() - 4, 0);  // no multi-samples to look for
        const fixtures::Bytes file = fixtures::FxpFile(body);
        WriteAll(presets / name, lf::Bytes(file.begin(), file.end()));
    };
    write("Bass Quiet.fxp", 1, 0.0f);
    write("Keys A.fxp", 2, record[20]);
    write("Keys B.fxp", 3, record[20]);
    std::ofstream(presets / "Categories.txt") << "Bass Quiet.fxp\t2\t0\t0\t0\t0\nKeys A.fxp\t20\t0\t0\t0\t0\n"
                                                 "Keys B.fxp\t20\t0\t0\t0\t0\n";
    lf::Bytes file;
    lf::End(file);
    lf::Record(file, {.tag = "BKGD", .w = 960, .h = 650, .layer = 0});
    lf::Record(file, {.tag = "BRWS", .group = 10, .index = 1, .x = 10, .y = 10, .w = 150, .h = 200});
    lf::Record(file, {.tag = "CATB", .group = 3, .index = 166, .x = 200, .y = 110, .w = 120, .h = 249});
    WriteAll(path, file);
    const std::string oldPresetPath = g_GlobalData.PresetPath;
    snprintf(g_GlobalData.PresetPath, sizeof g_GlobalData.PresetPath, "%s", presets.Path().c_str());
    GUIHead* gui = Open();
    snprintf(g_GlobalData.PresetPath, sizeof g_GlobalData.PresetPath, "%s", oldPresetPath.c_str());
    ASSERT_NE(gui, nullptr);
    synth->Resume();
    EXPECT_EQ(synth->presetBrowser.GetCount(), 3);

    auto click = [&](int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x, e.motion.y = y;
        SDL_PushEvent(&e);
        for (uint32_t type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
            e = {};
            e.type = type;
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = x, e.button.y = y, e.button.clicks = 1;
            SDL_PushEvent(&e);
        }
        ASSERT_TRUE(synth->editor->window.Window().Pump(0));
    };
    auto category = [&](int word) { click(210, 110 + 15 + word * 13 + 2); };
    auto peak = [&] {
        std::vector<float> left(1024), right(1024);
        float* outs[2] = {left.data(), right.data()};
        float most = 0;
        synth->ProcessMidiMessage(0x90u | 69u << 8 | 100u << 16, 0);
        for (int i = 0; i < 8; ++i) {
            synth->Process(nullptr, outs, 1024);
            for (size_t k = 0; k < 1024; ++k) most = std::max({most, std::abs(left[k]), std::abs(right[k])});
        }
        synth->ProcessMidiMessage(0x80u | 69u << 8, 0);
        for (int i = 0; i < 40; ++i) synth->Process(nullptr, outs, 1024);  // let it fade
        return most;
    };

    category(5);  // "Keys"
    ASSERT_EQ(synth->presetBrowser.GetCount(), 2);
    EXPECT_EQ(synth->presetBrowser.GetRow(0)->name, "Keys A");
    EXPECT_EQ(synth->presetBrowser.GetRow(1)->name, "Keys B");
    click(40, 10 + 16 + 8);
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "Prog 3");
    EXPECT_GT(peak(), 0.01f);

    category(5);  // off again
    category(1);  // "Bass"
    ASSERT_EQ(synth->presetBrowser.GetCount(), 1);
    click(40, 10 + 8);
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "Prog 1");
    EXPECT_LT(peak(), 1e-6f);  // below -120 dB: what is left is the last note's tail
    Close();
    g_PresetPool.Clear();
}

// A cutoff knob's modulation dialog: the placeholder source and amount
// widgets follow the first two routings aimed at the cutoff, or free ones.
TEST(ModulationDialog, PlaceholdersFollowTheRoutingsOfTheKnobsParameter)
{
    constexpr int kAmount = 36, kSource = 65, kDestination = 85, kCutoff = 16, kCutoffDestination = 13;
    auto synth = std::make_unique<CSynth>();
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(300, 200));
    GUIHead head(&dc, synth->editor);
    GUIObject* knob = head.AddObject("KNOB", 0, kCutoff, 0, 2, 0, 10, 10, 32, 32);
    GUIObject* places[4] = {head.AddObject("SLCT", 0, kSource, 1000, 11, 10, 0, 50, 40, 16),
                            head.AddObject("KNOB", 0, kAmount, 1010, 11, 10, 50, 50, 32, 32),
                            head.AddObject("SLCT", 0, kSource, 1001, 11, 10, 0, 90, 40, 16),
                            head.AddObject("KNOB", 0, kAmount, 1011, 11, 10, 50, 90, 32, 32)};
    struct Case {
        std::vector<int> routings;  // aimed at the cutoff
        int first, second;          // the routings the placeholders show
    } cases[] = {{{}, 0, 1}, {{4}, 4, 5}, {{3, 7}, 3, 7}};
    for (const Case& c : cases) {
        float* record = synth->program.GetProgramData(synth->program.GetCurrentPart());
        for (int r = 0; r < 20; ++r) record[kSource + r] = record[kDestination + r] = 0;
        for (int r : c.routings) record[kSource + r] = 1, record[kDestination + r] = kCutoffDestination;
        ASSERT_TRUE(knob->SetupModulationDialog());
        const uint32_t want[4] = {uint32_t(kSource + c.first), uint32_t(kAmount + c.first),
                                  uint32_t(kSource + c.second), uint32_t(kAmount + c.second)};
        for (int k = 0; k < 4; ++k) EXPECT_EQ(places[k]->binding.index, want[k]) << c.first << " " << k;
        EXPECT_EQ(places[0]->binding.sub, 1000u);
    }
    // A parameter no routing can aim at opens no dialog.
    EXPECT_FALSE(head.AddObject("KNOB", 0, kAmount, 0, 2, 0, 100, 10, 32, 32)->SetupModulationDialog());
}
