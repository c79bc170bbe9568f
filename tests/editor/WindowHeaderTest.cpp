// The shipped layout driven as a musician drives it: the header's page
// buttons, part buttons, hint line, load meter, logo and bank, preset and
// project menu; the song and preset page; the recorder and properties
// dialogs; the setup page's device fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/CMIDI.h"
#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "editor/CUIPartButton.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIBackground.h"
#include "gui/CUIMenuResource.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIBrowser.h"
#include "gui/GUIHead.h"
#include "os/OFileChooser.h"
#include "os/TestFolders.h"
#include "os/OMessageBox.h"
#include "os/OMidiPorts.h"
#include "platform/CAudioDevices.h"
#include "platform/CDlgFile.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "tests/GlobalGuards.h"

namespace {

class Chooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest& r) override
    {
        startFolder = r.startFolder;
        ++asked;
        return answer;
    }
    std::optional<std::string> answer;
    std::string startFolder;
    int asked = 0;
};

// MIDI ports of the test: the outputs can change while the program runs; an
// open output is listed in `open`.
class Ports : public os::OMidiPorts {
public:
    struct Output : os::OMidiOutput {
        Output(Ports& p, std::string n) : owner(p), name(std::move(n)) { owner.open.push_back(name); }
        ~Output() override { owner.open.erase(std::find(owner.open.begin(), owner.open.end(), name)); }
        bool Send(uint32_t) override { return true; }
        Ports& owner;
        std::string name;
    };
    std::vector<std::string> InputNames() override { return {}; }
    std::vector<std::string> OutputNames() override { return outputs; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string&, int, os::MidiInputCallback, void*,
                                              std::string&) override
    {
        return nullptr;
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string& name, std::string&) override
    {
        return std::make_unique<Output>(*this, name);
    }
    std::vector<std::string> outputs, open;
};

// Texts of the rows of a menu, in order.
std::vector<std::string> RowTexts(uint32_t menu)
{
    std::vector<std::string> texts;
    for (int row = CUIMenuResource::FindFirstRow(menu); row > 0 && CUIMenuResource::Entry(row).menuId == menu; ++row)
        texts.emplace_back(CUIMenuResource::Entry(row).text);
    return texts;
}

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

class WindowHeader : public ::testing::Test {
protected:
    // The synthesizer writes its program lists into the menu table: the
    // table is put back when the suite ends.
    static void SetUpTestSuite()
    {
        s_menus.assign(MenuTableRows(), MenuTableRows() + kMenuRows);
        s_synth = new CSynth();
    }
    static void TearDownTestSuite()
    {
        delete s_synth;
        s_synth = nullptr;
        std::copy(s_menus.begin(), s_menus.end(), MenuTableRows());
    }
    void SetUp() override
    {
        synth = s_synth;
        ASSERT_TRUE(dc.CreateMemory(960, 650, 24));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        // The layout the build wrote, read from the build folder.
        const std::string programFolder = g_GlobalData.programFolder;
        snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s/",
                 std::filesystem::path(ZAVO_LAYOUT_FILE).parent_path().c_str());
        head->LoadLayout();
        snprintf(g_GlobalData.programFolder, sizeof g_GlobalData.programFolder, "%s", programFolder.c_str());
        ASSERT_GT(head->Objects().size(), 100u);
        synth->SelectPart(0, 1);
        head->SetPage(0);
    }
    void TearDown() override
    {
        synth->editor->SetGUI(nullptr);
        head.reset();
        for (int id = 1; id <= CGLBitmapCache::kSlots; ++id) CGLBitmapCache::Free(id);
    }

    // The widget of that tag and binding (on the header or in a dialog).
    GUIObject* Find(const char* tag, uint32_t group, uint32_t index, uint32_t sub = 0)
    {
        for (const auto& w : head->Objects())
            if (Is(*w, tag) && w->binding.group == group && w->binding.index == index && w->binding.sub == sub)
                return w.get();
        ADD_FAILURE() << "no " << tag << " " << group << " " << index << " " << sub;
        return nullptr;
    }
    void Click(int x, int y, uint32_t flags = 0)
    {
        head->OnMouseMove(flags, x, y);
        head->OnMouseDown(1 | flags, x, y);
        head->OnMouseUp(flags, x, y);
    }
    void Click(const GUIObject* w) { Click(w->x + w->w / 2, w->y + w->h / 2); }
    void Type(const std::string& text)
    {
        for (char c : text) head->OnKey(std::toupper(static_cast<unsigned char>(c)), c, 0);
        head->OnKey(13, 13, 0);
    }
    // The row of that value in the open menu (or in its submenu), chosen.
    void Choose(int value, int submenu = 0)
    {
        const int menu = submenu ? submenu : head->GetMenuId();
        for (int row = 1; row < kMenuRows; ++row)
            if (CUIMenuResource::Entry(row).menuId == uint32_t(menu) && head->Menu().GetEntryValue(row) == value) {
                head->OnMenuResult(row);
                head->Menu().Close();
                return;
            }
        ADD_FAILURE() << "no row of value " << value << " in menu " << menu;
    }
    bool Lit(const GUIObject* w)
    {
        bool on = false;
        head->GetBoolValue(&w->binding, on);
        return on;
    }
    std::string Text(const GUIObject* w)
    {
        char text[128];
        head->GetValueText(&w->binding, text, sizeof text);
        return text;
    }

    static inline CSynth* s_synth = nullptr;
    static inline std::vector<MenuEntry> s_menus;
    CSynth* synth = nullptr;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
};

}  // namespace

TEST_F(WindowHeader, PageButtonsLightTheirPageAndTheSongPageStaysPut)
{
    std::vector<GUIObject*> tabs;
    for (const auto& w : head->Objects())
        if (Is(*w, "BTTN") && w->binding.group == 5 && w->binding.index == 140 && w->dialogId == 0)
            tabs.push_back(w.get());
    ASSERT_EQ(tabs.size(), 8u);
    auto lit = [&] {
        std::string s;
        for (GUIObject* t : tabs)
            if (Lit(t)) s += std::to_string(t->binding.sub) + " ";
        return s;
    };
    const int type = synth->program.GetProgramType(0);
    synth->parameters.SetPartSynthesisType(0, 0);
    for (GUIObject* tab : tabs) {
        Click(tab);
        EXPECT_EQ(head->GetPage(), int(tab->binding.sub));
        EXPECT_EQ(lit(), std::to_string(tab->binding.sub) + " ");
    }

    // A part of another synthesis type shows its own page from every sound
    // page button; the button pressed stays lit.
    GUIObject* filter = Find("BTTN", 5, 140, 3);
    synth->parameters.SetPartSynthesisType(0, 6);
    Click(filter);
    EXPECT_EQ(head->GetPage(), 10);
    EXPECT_EQ(lit(), "3 ");

    // Micro's page is profi's Mod/FX page: it lights the button that led
    // there and carries micro's title; for profi it is Mod/FX with its own.
    const GUIObject* background = Find("BKGD", 0, 0);
    const int titled = GUIBackground::VariantSlot(int(background->properties[5]));
    ASSERT_GT(titled, 0) << "page 5 has no second panel";
    auto titleIs = [&](int slot) {
        head->RedrawAll();
        const CDIBitmap* panel = CGLBitmapCache::Get(slot);
        for (int y = 50; y < 72; ++y)
            if (memcmp(dc.GetBackSurface()->PixelAddress(680, y), panel->PixelAddress(680, y), 3 * 270) != 0)
                return false;
        return true;
    };
    synth->parameters.SetPartSynthesisType(0, 1);
    for (int sub : {2, 3, 4, 5}) {
        Click(Find("BTTN", 5, 140, uint32_t(sub)));
        EXPECT_EQ(head->GetPage(), 5);
        EXPECT_EQ(lit(), std::to_string(sub) + " ");
        EXPECT_TRUE(titleIs(titled)) << sub;
    }
    synth->parameters.SetPartSynthesisType(0, 0);
    Click(Find("BTTN", 5, 140, 5));
    EXPECT_EQ(lit(), "5 ");
    EXPECT_TRUE(titleIs(int(background->properties[5])));
    EXPECT_FALSE(titleIs(titled));
    synth->parameters.SetPartSynthesisType(0, type);

    // The song page stays while patterns are chosen (each choice refreshes
    // the window) and while another part is chosen.
    Click(Find("BTTN", 5, 140, 15));
    GUIObject* song = nullptr;
    for (const auto& w : head->Objects())
        if (Is(*w, "SOSQ")) song = w.get();
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(song->IsVisibleNow());
    Click(song->x + 14 + 17 * 2 + 5, song->y + 38);  // pattern bank 3
    EXPECT_EQ(synth->editor->GetValue(23, 0), 2.0);
    GUIObject* part3 = Find("PBTN", 3, 12);
    Click(part3);
    EXPECT_EQ(synth->program.GetCurrentPart(), 2);
    EXPECT_EQ(head->GetPage(), 15);
    // Part 3's button is lit now, part 1's not.
    EXPECT_EQ(static_cast<CUIPartButton*>(part3)->ReadFlags() & 1, 1);
    EXPECT_EQ(static_cast<CUIPartButton*>(Find("PBTN", 3, 10))->ReadFlags() & 1, 0);
    synth->editor->SetValue(23, 0, 0.0f);
}

TEST_F(WindowHeader, MuteAndSoloActOnTheCurrentPartAndLightWhileOn)
{
    synth->SelectPart(4, 1);
    for (const auto& [command, mixer] : {std::pair{174u, 9}, std::pair{175u, 11}}) {
        GUIObject* button = Find("BTTN", 3, command);
        Click(button);
        EXPECT_EQ(synth->GetMixerParameter(4 << 10 | mixer), 1.0f) << command;
        EXPECT_EQ(synth->GetMixerParameter(mixer), 0.0f) << command;  // part 1 untouched
        EXPECT_TRUE(Lit(button)) << command;
        Click(button);
        EXPECT_EQ(synth->GetMixerParameter(4 << 10 | mixer), 0.0f) << command;
        EXPECT_FALSE(Lit(button)) << command;
    }
}

// In the controller-number mode a number typed on a knob is assigned where
// a controller moves the value, a sound value; on the mixer's and the
// master's knobs it is refused as a number out of range is.
TEST_F(WindowHeader, ATypedControllerNumberIsTakenOnlyWhereAControllerActs)
{
    testutil::ScopedValue mode(g_ControllerNumberMode);
    g_ControllerNumberMode = 1;
    for (auto [page, group, index] : {std::tuple{0, 1u, 2u}, {0, 1u, 3u}, {0, 2u, 6u}, {3, 0u, 16u}}) {
        head->SetPage(page);
        const auto knob = std::ranges::find_if(head->Objects(), [&](const auto& w) {
            return Is(*w, "KNOB") && w->binding.group == group && w->binding.index == index && w->IsVisibleNow();
        });
        ASSERT_NE(knob, head->Objects().end());
        head->OnMouseMove(0, (*knob)->x + 8, (*knob)->y + 8);
        head->OnKey('2', '2', 0), head->OnKey('1', '1', 0);
        EXPECT_EQ(std::string(head->GetHoverHint()).starts_with("Not assigned"), group > 0) << head->GetHoverHint();
        head->OnMouseMove(0, 400, 640);  // leaving the knob assigns what it took
        EXPECT_EQ(head->GetController(&(*knob)->binding), group > 0 ? -1 : 21) << index;
    }
    CMIDI::AssignController(0, 16, CMIDI::kClearOnly);
}

TEST_F(WindowHeader, TheHintLineFollowsThePointerAndTheLoadMeterShowsVoicesAndLoad)
{
    const GUIObject* random = Find("BTTN", 3, 128);
    head->OnMouseMove(0, random->x + 4, random->y + 4);
    EXPECT_STREQ(head->GetHoverHint(), "randomize preset");
    head->OnMouseMove(0, 400, 640);  // the background
    EXPECT_STREQ(head->GetHoverHint(), "");
    const GUIObject* combi = Find("BTTN", 3, 134);  // a switch says how it stands
    Click(combi);
    EXPECT_STREQ(head->GetHoverHint(), "combination preset: on");
    Click(combi);
    EXPECT_STREQ(head->GetHoverHint(), "combination preset: off");
    head->OnMouseMove(0, Find("BTTN", 3, 102)->x + 4, Find("BTTN", 3, 102)->y + 4);
    EXPECT_STREQ(head->GetHoverHint(), "main menu");  // no switch
    // Nor is a button that acts once at each press, in the dialogs too.
    for (auto [dialog, group, item, word] : {std::tuple{9, 8u, 1u, "Open multi sample"}, {9, 8u, 2u, "New multi sample"},
                                             {100, 9u, 2u, "Stop recording"}}) {
        head->OpenDialog(0, 0, dialog, 0);
        const GUIObject* button = Find("BTTN", group, item);
        head->OnMouseMove(0, button->x + 4, button->y + 4);
        EXPECT_STREQ(head->GetHoverHint(), word);
        head->CloseDialog();
    }
    // The line itself draws what it shows: a hint changes its pixels.
    const GUIObject* line = Find("INFO", 3, 176);
    auto pixels = [&] {
        head->RedrawAll();
        std::string s;
        for (int y = line->y; y < line->y + line->h; ++y)
            s.append(reinterpret_cast<const char*>(dc.GetBackSurface()->PixelAddress(line->x, y)), 3 * size_t(line->w));
        return s;
    };
    const std::string empty = pixels();
    head->OnMouseMove(0, random->x + 4, random->y + 4);
    EXPECT_NE(pixels(), empty);

    // A header button's hint box falls on the line: resting there, the box
    // stays whole, the line drawn again over it at no tick.
    const GUIObject* previous = Find("BTTN", 3, 122);
    head->OnMouseMove(0, previous->x + 4, previous->y + 4);
    for (int i = 0; i < 4 && !head->IsHintShown(); ++i) head->OnIdle();
    ASSERT_TRUE(head->IsHintShown());
    const GuiRect box = head->GetHintBox();
    ASSERT_TRUE(box.top < line->y + line->h && box.right > line->x) << "the box misses the line";
    auto boxPixels = [&] {
        std::string s;
        for (int y = box.top; y < box.bottom; ++y)
            s.append(reinterpret_cast<const char*>(dc.GetBackSurface()->PixelAddress(box.left, y)),
                     3 * size_t(box.right - box.left));
        return s;
    };
    const std::string whole = boxPixels();
    for (int i = 0; i < 3; ++i) head->OnIdle();
    EXPECT_TRUE(head->IsHintShown());
    EXPECT_EQ(boxPixels(), whole) << "the hint box was drawn over";
    head->OnMouseMove(0, 400, 640);
    head->OnIdle();

    const std::string load = Text(Find("INFO", 3, 36));
    EXPECT_NE(load.find('/'), std::string::npos) << load;
    EXPECT_NE(load.find('%'), std::string::npos) << load;
}

TEST_F(WindowHeader, APresetSavedFromTheHeaderIsListedAndLoadsAgain)
{
    testutil::TempFolder presets;
    const std::string oldPresetPath = g_GlobalData.PresetPath;
    snprintf(g_GlobalData.PresetPath, sizeof g_GlobalData.PresetPath, "%s", presets.Path().c_str());
    g_PresetPool.Scan(presets.Path());
    synth->presetBrowser.SetFilterMode(1);
    ASSERT_EQ(synth->presetBrowser.GetCount(), 0);
    Chooser chooser;
    chooser.answer = presets / "My Pad.fxp";
    g_DlgFile.SetChooser(&chooser);

    // Renamed in the program field, a cutoff of its own, saved through the
    // header's menu.
    constexpr int kCutoff = 16;
    const GUIObject* name = Find("EDTS", 3, 5);
    Click(name->x + 20, name->y + 8);
    Type("My Pad");
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "My Pad");
    head->SetParameter(0, kCutoff, 0.25f);
    Click(Find("BTTN", 3, 102));
    ASSERT_EQ(head->GetMenuId(), 280);
    Choose(4);  // "Save preset..."
    EXPECT_EQ(chooser.startFolder, presets.Path());
    EXPECT_TRUE(std::filesystem::exists(presets / "My Pad.fxp"));
    ASSERT_EQ(synth->presetBrowser.GetCount(), 1);
    EXPECT_EQ(synth->presetBrowser.GetRow(0)->name, "My Pad");

    // Changed again, then the preset is picked from the list.
    head->SetParameter(0, kCutoff, 0.75f);
    synth->program.SetProgramName(synth->program.GetCurrentProgramNumber(), "Other");
    Click(Find("BTTN", 5, 140, 15));
    auto* list = static_cast<GUIBrowser*>(Find("BRWS", 10, 1));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->hasBar);  // its strip was in the cache when it measured itself
    head->RedrawAll();
    Click(list->listArea.left + 10, list->listArea.top + GUIBrowser::kRowHeight / 2);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 0.25f);
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "My Pad");

    // The program field's list names the program as "Load preset..." left it.
    synth->program.SetProgramName(synth->program.GetCurrentProgramNumber(), "Other");
    Click(Find("BTTN", 3, 102));
    Choose(3);
    Click(name->x + name->w - 4, name->y + 8);
    EXPECT_STREQ(CUIMenuResource::TextOfValue(10040, synth->program.GetCurrentProgramNumber()) + 4, "My Pad");
    head->Menu().Close();
    // So does the part's program field on the Mixer page, whose rows load.
    const int part = synth->program.GetCurrentPart(), number = synth->program.GetCurrentProgramNumber();
    const int next = (number + 1) % 128;
    head->SetPage(0);
    Click(Find("SLCT", 3, uint32_t(40 + part)));
    ASSERT_EQ(head->GetMenuId(), 10060);
    EXPECT_THAT(CUIMenuResource::TextOfValue(10060, number), ::testing::EndsWith(" My Pad"));
    Choose(next, 10061 + next / 16);
    EXPECT_EQ(synth->program.GetPartProgramNumber(part), next);
    Click(Find("SLCT", 3, uint32_t(40 + part)));
    Choose(number, 10061 + number / 16);

    // A preset saved outside the preset folder is written but not listed.
    testutil::TempFolder elsewhere;
    chooser.answer = elsewhere / "Away.fxp";
    Click(Find("BTTN", 3, 102));
    Choose(4);
    EXPECT_TRUE(std::filesystem::exists(elsewhere / "Away.fxp"));
    EXPECT_EQ(synth->presetBrowser.GetCount(), 1);

    // Saved over with a category lit, it is listed under it, not under its old line's.
    const uint32_t earlier[5] = {1u << 2};
    ASSERT_TRUE(g_PresetPool.StoreMasks(0, earlier));
    chooser.answer = presets / "My Pad.fxp";
    synth->presetBrowser.SetCategoryMask(0, 1u << 5);
    Click(Find("BTTN", 3, 102)), Choose(4);
    g_PresetPool.Scan(presets.Path()), synth->presetBrowser.Rebuild();  // as the next start reads it
    EXPECT_EQ(synth->presetBrowser.GetCount(), 1);
    g_DlgFile.SetChooser(nullptr);
    snprintf(g_GlobalData.PresetPath, sizeof g_GlobalData.PresetPath, "%s", oldPresetPath.c_str());
    g_PresetPool.Clear();
    synth->presetBrowser.Rebuild();
}

TEST_F(WindowHeader, TheRecorderAndPropertiesDialogsOpenByTheirPathsWithTheirWidgets)
{
    auto shown = [&](int dialog) {
        int widgets = 0, visible = 0;
        for (const auto& w : head->Objects())
            if (w->dialogId == dialog && !Is(*w, "DLOG")) ++widgets, visible += w->IsVisibleNow();
        EXPECT_EQ(visible, widgets) << dialog;
        return widgets;
    };
    // The recorder: the menu's "Wave recorder"; its file and status fields
    // read their texts; the close box closes it.
    Click(Find("BTTN", 3, 102));
    Choose(11);
    ASSERT_EQ(head->GetOpenDialog(), 100);
    EXPECT_EQ(shown(100), 5);
    EXPECT_FALSE(Text(Find("TEXT", 9, 0)).empty());
    const GUIObject* status = Find("TEXT", 9, 4);
    EXPECT_FALSE(Text(status).empty());
    // While it records, the running time moves on in the window with no
    // event at all: the field is drawn again at the next tick.
    {
        auto pixels = [&] {
            std::string box;
            for (int y = status->y; y < status->y + status->h; ++y)
                box.append(reinterpret_cast<const char*>(dc.GetBackSurface()->PixelAddress(status->x, y)),
                           size_t(status->w) * 3);
            return box;
        };
        testutil::TempFolder folder;
        CWaveIO& recorder = synth->editor->GetRecorder();
        const std::string path = recorder.defaultPath, name = recorder.fileName;
        ASSERT_TRUE(recorder.Open((folder / "take.wav").c_str(), 44100));
        recorder.Start();
        head->OnIdle();
        const std::string started = pixels();
        const std::string before = Text(status);
        std::vector<float> second(2 * 11025, 0.25f);
        for (int i = 0; i < 4; ++i) recorder.Feed(second.data(), 11025);
        head->OnIdle();
        EXPECT_NE(Text(status), before);
        EXPECT_NE(pixels(), started) << "the time shown stood still";
        EXPECT_TRUE(recorder.Stop());
        head->OnIdle();
        EXPECT_EQ(Text(status), "not recording");
        snprintf(recorder.defaultPath, sizeof recorder.defaultPath, "%s", path.c_str());
        snprintf(recorder.fileName, sizeof recorder.fileName, "%s", name.c_str());
    }
    GUIObject* frame = nullptr;
    for (const auto& w : head->Objects())
        if (Is(*w, "DLOG") && w->dialogId == 100) frame = w.get();
    ASSERT_NE(frame, nullptr);
    Click(frame->x + frame->w - 10, frame->y + 10);
    EXPECT_EQ(head->GetOpenDialog(), 0);

    // The properties of the master knob through the parameter menu, once
    // layout editing is allowed; a new x applied with the first button.
    GUIObject* master = Find("KNOB", 2, 6);
    const int oldX = master->x;
    head->SetEditingAllowed(true);
    head->OnContextMenu(master->x + 16, master->y + 16);
    ASSERT_EQ(head->GetMenuId(), GUIHead::kWidgetEditMenu);
    Choose(50);
    ASSERT_EQ(head->GetOpenDialog(), 1);
    EXPECT_GE(shown(1), 30);
    const GUIObject* ok = Find("BTTN", 4, 0, 1);
    head->OnMouseMove(0, ok->x + 4, ok->y + 4);
    EXPECT_STREQ(head->GetHoverHint(), "Save changes");  // a one-shot, no switch
    GUIObject* xField = Find("EDIT", 4, 1, 1);
    EXPECT_EQ(std::stoi(Text(xField)), oldX);
    Click(xField);
    Type("800");
    Click(Find("BTTN", 4, 0, 1));
    EXPECT_EQ(head->GetOpenDialog(), 0);
    EXPECT_EQ(master->x, 800);
    master->x = oldX;
    head->SetEditingAllowed(false);
}

TEST_F(WindowHeader, TheLogoOpensTheAboutBoxAndTheBackgroundTheHelpMenu)
{
    // The logo lies on the background's corner: a click there toggles the
    // about box, a right click gives the colour schemes, a right click
    // elsewhere on the background the help menu.
    const GUIObject* logo = Find("PICT", 0, 0);
    Click(logo);
    ASSERT_EQ(head->GetOpenDialog(), GUIHead::kAboutDialog);
    Click(480, 300);  // anywhere on the box
    EXPECT_NE(head->GetOpenDialog(), GUIHead::kAboutDialog);
    // Esc, Enter and F5 close it as well, picture and all, wherever the
    // pointer rests.
    head->RedrawAll();
    const std::vector<uint8_t> closed(dc.GetBackSurface()->PixelAddress(0, 300),
                                      dc.GetBackSurface()->PixelAddress(0, 300) + 3 * 960);
    for (int key : {27, 13, 116}) {
        Click(logo);
        ASSERT_EQ(head->GetOpenDialog(), GUIHead::kAboutDialog) << key;
        head->OnMouseMove(0, 480, 300);
        EXPECT_TRUE(head->OnKey(key, key == 13 ? 13 : 0, 0)) << key;
        EXPECT_NE(head->GetOpenDialog(), GUIHead::kAboutDialog) << key;
        head->OnIdle();
        EXPECT_EQ(memcmp(dc.GetBackSurface()->PixelAddress(0, 300), closed.data(), closed.size()), 0)
            << "the box stays drawn after key " << key;
    }
    head->OnContextMenu(logo->x + 10, logo->y + 10);
    EXPECT_EQ(head->GetMenuId(), GUIHead::kColourMenu);
    head->Menu().Close();
    head->OnContextMenu(400, 645);
    EXPECT_EQ(head->GetMenuId(), 399);
    head->Menu().Close();
}

TEST_F(WindowHeader, TheSetupPageSaysThereIsNoAudioInputInOneMenuRow)
{
    head->SetPage(14);
    const GUIObject* input = Find("SLCT", 3, 3);
    EXPECT_EQ(Text(input), "none");
    g_AudioDevices.BuildMenu(synth->parameters.GetMenuView());
    Click(input);
    ASSERT_EQ(head->GetMenuId(), 10000);
    int rows = 0;
    for (int row = CUIMenuResource::FindFirstRow(10000); row > 0 && CUIMenuResource::Entry(row).menuId == 10000; ++row)
        ++rows;
    EXPECT_EQ(rows, 1);
    head->Menu().Close();
    // The device menus as the table has them.
    for (uint32_t menu : {10000u, 10010u})
        for (uint32_t position = 1; position <= 32; ++position)
            CUIMenuResource::SetItem(menu, position, kMenuItem, 0, 0, 0, "<empty>");
}

TEST_F(WindowHeader, EveryKnobStepsAwayFromItsEndsByOneKey)
{
    // Down after End and Up after Home move every knob, also one whose value
    // is kept more coarsely than the knob steps (the spectral raster).
    int knobs = 0;
    for (const auto& [type, page] : {std::pair{0, 2}, std::pair{0, 3}, std::pair{0, 4}, std::pair{0, 5},
                                     std::pair{2, 6}, std::pair{6, 10}}) {
        synth->parameters.SetPartSynthesisType(0, type);
        head->SetPage(page);
        for (const auto& w : head->Objects()) {
            if (!Is(*w, "KNOB") || !w->IsVisibleNow() || w->dialogId) continue;
            ++knobs;
            head->OnMouseMove(0, w->x + 16, w->y + 16);
            float before = 0, end = 0, home = 0, v = 0;
            head->GetFloatValue(&w->binding, before);
            for (const auto& [toEnd, step] : {std::pair{35, 40}, std::pair{36, 38}}) {
                head->OnKey(toEnd, 0, 0);
                head->GetFloatValue(&w->binding, toEnd == 35 ? end : home);
                head->OnKey(step, 0, 0);
                head->GetFloatValue(&w->binding, v);
                EXPECT_NE(v, toEnd == 35 ? end : home)
                    << "page " << page << ", knob " << w->binding.group << "/" << w->binding.index << ", key " << step;
            }
            EXPECT_GT(end, home) << w->binding.index;
            head->SetFloatValue(&w->binding, before);
        }
    }
    EXPECT_GT(knobs, 60);
    synth->parameters.SetPartSynthesisType(0, synth->program.GetProgramType(0));
}

TEST_F(WindowHeader, HomeAndEndInTheProgramNameMoveTheCaretInsteadOfReplacingTheName)
{
    GUIObject* name = Find("EDTS", 3, 5);
    const std::string old = Text(name);
    const int number = synth->program.GetCurrentProgramNumber(), next = (number + 1) % 128;
    auto rename = [&](int key, const std::string& typed) {
        synth->editor->SetText(9, 5, "Saw Lead");
        Click(name);
        if (key <= -2) {  // typed in, then the next program chosen from its list, or a page button pressed
            for (char c : std::string("Tr1")) head->OnKey(std::toupper(static_cast<unsigned char>(c)), c, 0);
            if (key == -2) Click(name->x + name->w - 4, name->y + 8), Choose(next, 10041 + next / 16);
            else Click(Find("BTTN", 5, 140, 0));
        }
        if (key == -1) Click(name->x + name->w - 4, name->y + 8), key = 27;  // its list, closed
        head->OnKey(key, 0, 0);
        Type(typed);
        return Text(name).substr(4);  // after the number
    };
    EXPECT_EQ(rename(35, " X"), "Saw Lead X");
    EXPECT_EQ(rename(36, "X "), "X Saw Lead");
    // Without them the whole name is replaced, as before.
    EXPECT_EQ(rename(0, "Pad"), "Pad");
    EXPECT_EQ(rename(-1, "Kept"), "Kept");  // typed in, the field keeps the keys after its list
    for (const GUIObject* master = Find("KNOB", 2, 6); int list : {0, 1}) {  // left, the field lets go
        if (list) Click(name->x + name->w - 4, name->y + 8), head->OnKey(27, 0, 0);
        head->OnMouseMove(0, master->x + 16, master->y + 16);
        EXPECT_TRUE(head->OnKey(33, 0, 0) && head->OnKey(34, 0, 0)) << list;
    }
    EXPECT_EQ(rename(-3, ""), "Tr1");  // kept as at Enter
    EXPECT_EQ(head->GetHover(), Find("BTTN", 5, 140, 0));  // which the field no longer holds
    EXPECT_EQ(rename(-2, ""), CUIMenuResource::TextOfValue(10040, next) + 4);  // its own name at Enter
    synth->SetProgram(number);
    synth->editor->SetText(9, 5, old.substr(4).c_str());
}

TEST_F(WindowHeader, AHintNeverShowsOverADialogThatOpenedAboveItsWidget)
{
    head->SetPage(2);
    const GUIObject* panel = nullptr;
    for (const auto& w : head->Objects())
        if (Is(*w, "DLOG") && w->dialogId == 6) panel = w.get();
    ASSERT_NE(panel, nullptr);
    // A control with a hint that the distortion dialog covers when it opens
    // where it stands.
    const GUIObject* knob = nullptr;
    for (const auto& w : head->Objects()) {
        const int cx = w->x + w->w / 2, cy = w->y + w->h / 2;
        if (Is(*w, "KNOB") && w->IsVisibleNow() && w->dialogId == 0 && cx > panel->x + 8 &&
            cx < panel->x + panel->w - 8 && cy > panel->y + 24 && cy < panel->y + panel->h - 4)
            knob = w.get();
    }
    ASSERT_NE(knob, nullptr);
    const int px = knob->x + knob->w / 2, py = knob->y + knob->h / 2;
    for (bool hintFirst : {true, false}) {
        head->OnMouseMove(0, 10, 640);
        head->OnIdle();
        head->OnMouseMove(0, px, py);
        if (hintFirst) {
            for (int i = 0; i < 4 && !head->IsHintShown(); ++i) head->OnIdle();
            ASSERT_TRUE(head->IsHintShown());
        }
        head->OpenDialog(panel->x - 4, panel->y - 4, 6, 0);
        ASSERT_EQ(head->GetOpenDialog(), 6);
        EXPECT_FALSE(head->IsHintShown()) << hintFirst;
        for (int i = 0; i < 4; ++i) head->OnIdle();
        EXPECT_FALSE(head->IsHintShown()) << hintFirst;
        head->CloseDialog();
    }
}

TEST_F(WindowHeader, APartButtonLightsWhileItsPartPlays)
{
    // Part 2 on MIDI channel 2, three notes held there.
    const float channel = synth->GetMixerParameter(1 << 10 | 4);
    synth->SetMixerParameter(1 << 10 | 4, 1.0f / 16.0f);
    const int ch = synth->midi->PartChannel(1);
    ASSERT_GE(ch, 0);
    auto* button = static_cast<CUIPartButton*>(Find("PBTN", 3, 11));
    std::vector<float> l(512), r(512);
    float* outs[2] = {l.data(), r.data()};
    synth->Resume();
    for (uint32_t key : {60u, 64u, 67u}) synth->ProcessMidiMessage((0x64u << 16) | (key << 8) | 0x90u | uint32_t(ch), 0);
    synth->Process(nullptr, outs, 512);
    head->RedrawAll();
    const uint8_t* face = dc.GetBackSurface()->PixelAddress(button->x + 3, button->y + 2);
    const std::vector<uint8_t> lit(face, face + 3);
    // Lit for as long as the notes are held, however many ticks pass.
    for (int tick = 0; tick < 40; ++tick) {
        head->OnIdle();
        ASSERT_EQ(button->ReadFlags() & 2, 2) << "tick " << tick;
    }
    for (uint32_t key : {60u, 64u, 67u}) synth->ProcessMidiMessage((key << 8) | 0x80u | uint32_t(ch), 0);
    synth->Process(nullptr, outs, 512);
    for (int tick = 0; tick < 40; ++tick) head->OnIdle();
    EXPECT_EQ(button->ReadFlags() & 2, 0);
    head->RedrawAll();
    const uint8_t* dark = dc.GetBackSurface()->PixelAddress(button->x + 3, button->y + 2);
    // The lit face is told from the grey one at a glance: far apart in green.
    EXPECT_GT(int(lit[1]) - int(dark[1]), 60);
    synth->SetMixerParameter(1 << 10 | 4, channel);
}

TEST_F(WindowHeader, APressThatOpensAChooserLeavesNoButtonHeld)
{
    // The sample dialog's "New" asks for the file on the press; the chooser
    // is cancelled by a click outside the window, so no release reaches it.
    Chooser chooser;  // cancels
    g_DlgFile.SetChooser(&chooser);
    head->SetPage(2);
    head->OpenDialog(0, 0, 9, 0);
    ASSERT_EQ(head->GetOpenDialog(), 9);
    GUIObject* fresh = Find("BTTN", 8, 2);
    head->OnMouseMove(0, fresh->x + 5, fresh->y + 5);
    head->OnMouseDown(1, fresh->x + 5, fresh->y + 5);
    EXPECT_EQ(chooser.asked, 1);
    EXPECT_EQ(head->GetCaptured(), nullptr);
    // The pointer comes back in one jump and clicks a page button: the page
    // changes, the chooser stays shut.
    GUIObject* mixer = Find("BTTN", 5, 140, 0);
    head->OnMouseDown(1, mixer->x + 5, mixer->y + 5);
    head->OnMouseUp(0, mixer->x + 5, mixer->y + 5);
    EXPECT_EQ(head->GetPage(), 0);
    EXPECT_EQ(chooser.asked, 1);
    // Moves with the button up reach nothing pressed either.
    head->OnMouseMove(0, fresh->x + 5, fresh->y + 5);
    head->OnMouseMove(1, fresh->x + 9, fresh->y + 5);
    EXPECT_EQ(chooser.asked, 1);
    g_DlgFile.SetChooser(nullptr);
}

// The header's combination switch beside the bank: the current part's bank
// becomes a bank of combinations that the part's group of four plays, and a
// second press makes it a plain bank again, the four parts on consecutive
// channels over the whole keyboard.
TEST_F(WindowHeader, TheCombinationSwitchMakesAndUndoesACombinationBank)
{
    synth->SelectPart(5, 1);  // part 6, of the group of parts 5..8
    GUIObject* combi = Find("BTTN", 3, 134);
    ASSERT_NE(combi, nullptr);
    ASSERT_FALSE(synth->program.IsCombinationBank(5));
    EXPECT_FALSE(Lit(combi));
    synth->SetMixerParameter(6 << 10 | 5, 40.0f / 128.0f);  // a split the undo takes back

    Click(combi);
    EXPECT_TRUE(synth->program.IsCombinationBank(5));
    EXPECT_TRUE(Lit(combi));
    for (int q = 4; q < 8; ++q) EXPECT_EQ(synth->program.GetPartBankSlot(q), synth->program.GetPartBankSlot(5)) << q;
    // The program field counts combinations and their parts.
    const std::string name = Text(Find("EDTS", 3, 5));
    ASSERT_GE(name.size(), 5u);
    EXPECT_EQ(name[2], '-') << name;

    Click(combi);
    EXPECT_FALSE(synth->program.IsCombinationBank(5));
    EXPECT_FALSE(Lit(combi));
    const int channel = int(synth->GetMixerParameter(4 << 10 | 4) * 128.0f + 0.1f);
    for (int q = 4; q < 8; ++q) {
        EXPECT_EQ(int(synth->GetMixerParameter(q << 10 | 4) * 128.0f + 0.1f), channel + q - 4) << q;
        EXPECT_EQ(synth->GetMixerParameter(q << 10 | 5), 0.0f) << q;
        EXPECT_EQ(synth->GetMixerParameter(q << 10 | 6), 0.0f) << q;
    }
    synth->SelectPart(0, 1);
}

TEST_F(WindowHeader, TheMidiOutFieldListsThePortsAsItOpensAndNoneLetsGo)
{
    testutil::ScopedSettings settings;
    testutil::ScopedMenuTable table;
    Ports ports;
    ports.outputs = {"synth:in"};
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(&ports);
    g_MIDIDevices.SetOutputName("");
    ASSERT_TRUE(g_MIDIDevices.OpenOutput());
    EXPECT_TRUE(ports.open.empty()) << "nothing stored: nothing connected";
    head->SetPage(14);
    const GUIObject* field = Find("SLCT", 3, 2);
    EXPECT_EQ(Text(field), "none");

    // A port made after the start is in the menu when it opens.
    ports.outputs.push_back("late:in");
    Click(field);
    ASSERT_EQ(head->GetMenuId(), int(CMIDIDevices::kOutputMenu));
    EXPECT_EQ(RowTexts(CMIDIDevices::kOutputMenu), (std::vector<std::string>{"none", "synth:in", "late:in"}));
    Choose(2);
    EXPECT_EQ(ports.open, std::vector<std::string>{"late:in"});
    EXPECT_EQ(Text(field), "late:in");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "late:in");

    // "none" disconnects, and is what the setting keeps.
    ports.outputs = {"late:in"};
    Click(field);
    EXPECT_EQ(RowTexts(CMIDIDevices::kOutputMenu), (std::vector<std::string>{"none", "late:in"}));
    Choose(0);
    EXPECT_TRUE(ports.open.empty());
    EXPECT_EQ(Text(field), "none");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "none");
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(nullptr);
}

TEST_F(WindowHeader, TheSetupPageHasNoButtonWithoutAnAction)
{
    // Command 98 does nothing: no button offers it.
    for (const auto& w : head->Objects())
        EXPECT_FALSE(w->binding.group == 3 && w->binding.index == 98) << w->GetTag();
}

TEST_F(WindowHeader, TheHelpMenuOffersNoWebPageAndSaysWhenNothingOpensTheManual)
{
    head->OnContextMenu(400, 645);
    ASSERT_EQ(head->GetMenuId(), 399);
    EXPECT_EQ(RowTexts(399), (std::vector<std::string>{"Help...", "", "About ZAVO...", "", "Edit layout"}));
    head->Menu().Close();

    std::vector<std::string> boxes;
    const os::MessageBoxHook previous =
        os::SetMessageBoxHook([&](const char* text, const char* title) { boxes.push_back(std::string(title) + "|" + text); });
    testutil::TempFolder bin;
    testutil::WriteFile(bin / "xdg-open", "#!/bin/sh\nexit 3\n");  // as when it finds no viewer
    chmod((bin / "xdg-open").c_str(), 0755);
    testutil::ScopedEnv path("PATH", bin.Path());
    const std::string manual = std::string(g_GlobalData.programFolder) + "Manual.pdf";
    const bool hadManual = std::filesystem::exists(manual);
    if (!hadManual) testutil::WriteFile(manual, "%PDF-1.4\n");
    auto help = [&] {
        head->OnContextMenu(400, 645);
        Choose(0);
    };
    help();
    EXPECT_TRUE(boxes.empty()) << "said once xdg-open gave up, not before";
    for (int i = 0; i < 500 && boxes.empty(); ++i) {
        synth->editor->OnTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error|No program is installed that opens >" + manual + "<.");
    // A manual that is not there is said at once.
    if (!hadManual) {
        std::filesystem::remove(manual);
        help();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1], "Error|Document >" + manual + "< not found");
    }
    os::SetMessageBoxHook(previous);
}
