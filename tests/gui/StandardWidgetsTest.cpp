// The standard widgets on a real synthesizer, driven through the GUI
// manager's input calls as the window drives them: a knob's drag reaches
// the engine and the sound, and the edge cases of each widget. The widgets
// are also drawn into widgets.png (in the test's working folder) to be
// looked at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIBackground.h"
#include "gui/GUIButton.h"
#include "gui/GUICatButtons.h"
#include "gui/GUIDialog.h"
#include "gui/GUIEditField.h"
#include "gui/GUIHead.h"
#include "gui/GUIKnob.h"
#include "gui/GUISelection.h"
#include "gui/GUISpinBPM.h"
#include "os/OMessageBox.h"
#include "platform/CGlobalData.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

constexpr int kCutoff = 16;  // filter 1 cutoff

class StandardWidgets : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedMenus.assign(MenuTableRows(), MenuTableRows() + kMenuRows);
        window.width = 960;
        window.height = 650;
        ASSERT_TRUE(dc.CreateForWindow(&window));
        synth = std::make_unique<CSynth>();
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        head->AddObject("BKGD", 0, -1, 0, 0, 0, 0, 0, 960, 650);
        savedBox = os::SetMessageBoxHook([this](const char* text, const char* title) {
            boxes.push_back(std::string(title) + ": " + text);
        });
    }
    void TearDown() override
    {
        g_ControllerNumberMode = 0;
        os::SetMessageBoxHook(savedBox);
        head.reset();
        synth.reset();
        std::copy(savedMenus.begin(), savedMenus.end(), MenuTableRows());
    }
    template <class T = GUIObject>
    T* Add(const char* tag, uint32_t g, int32_t i, uint32_t s, int x, int y, int w, int h)
    {
        return dynamic_cast<T*>(head->AddObject(tag, g, i, s, 2, 0, x, y, w, h));
    }
    void Drag(uint32_t flags, int x, int y0, int y1)
    {
        head->OnMouseDown(flags | 1, x, y0);
        head->OnMouseMove(flags | 1, x, y1);
        head->OnMouseUp(flags, x, y1);
    }
    void Key(int key, int ch = 0) { head->OnKey(key, ch, 0); }
    // Energy of the first difference of a note's second 4096 frames: what
    // a low-pass filter takes away first.
    double HighEnergy()
    {
        synth->Resume();
        synth->ProcessMidiMessage(0x7F3C90, 0);
        std::vector<float> left(8192), right(8192);
        float* outs[2] = {left.data(), right.data()};
        synth->Process(nullptr, outs, 8192);
        synth->ProcessMidiMessage(0x003C80, 0);
        std::vector<float> tail(8192);
        float* rest[2] = {tail.data(), tail.data()};
        for (int i = 0; i < 20; ++i) synth->Process(nullptr, rest, 8192);
        double e = 0.0;
        for (size_t i = 4097; i < left.size(); ++i) e += double(left[i] - left[i - 1]) * (left[i] - left[i - 1]);
        return e;
    }

    guitest::RecordingWindow window;
    CUnifiedDC dc;
    std::unique_ptr<CSynth> synth;
    std::unique_ptr<GUIHead> head;
    std::vector<MenuEntry> savedMenus;
    std::vector<std::string> boxes;
    os::MessageBoxHook savedBox;
};

TEST_F(StandardWidgets, AKnobDragReachesTheEngineAndTheSound)
{
    GUIKnob* knob = Add<GUIKnob>("KNOB", 0, kCutoff, 0, 100, 100, 32, 32);
    ASSERT_NE(knob, nullptr);
    synth->SetParameter(kCutoff, 64.0f / 128.0f);
    const float target64 = synth->engine.data.partTargets[0][kCutoff];
    const double dull = HighEnergy();

    Drag(0, 116, 116, 84);  // 32 pixels up
    EXPECT_EQ(synth->program.GetProgramData(0)[kCutoff], 96.0f);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 0.75f);
    // The cutoff's curve runs straight from 0 to 127.
    EXPECT_NEAR(synth->engine.data.partTargets[0][kCutoff], 96.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(target64, 64.0f / 127.0f, 1e-6f);
    const double bright = HighEnergy();
    EXPECT_GT(bright, 1.5 * dull) << dull;
    EXPECT_GT(dull, 0.0);

    // Shift needs eight times the drag; the range ends at its limits.
    synth->SetParameter(kCutoff, 0.5f);
    Drag(4, 116, 116, 116 - 256);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 0.75f);
    Drag(0, 116, 116, -100);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 1.0f);
    head->OnMouseDown(1, 116, 116);
    for (int y = 100; y < 700; y += 50) head->OnMouseMove(1, 116, y);
    head->OnMouseUp(0, 116, 650);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 0.0f);

    // Keys step by one step of the range; End jumps to its top.
    head->OnMouseMove(0, 116, 116);  // hovered: keys reach it
    Key(38);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 1.0f / float(knob->StepCount()));
    Key(40), Key(40);
    EXPECT_NEAR(synth->GetParameter(kCutoff), 0.0f, 1e-6f);
    Key(35);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 1.0f);

    // A descriptor whose range is below one step still has one (no
    // division by zero on its way to the engine).
    knob->binding.max = 0.5f;
    EXPECT_EQ(knob->StepCount(), 1);
    Drag(0, 116, 116, 100);
    EXPECT_TRUE(std::isfinite(synth->GetParameter(kCutoff)));

    // Controller numbers: 127 is no controller; 12 is.
    g_ControllerNumberMode = 1;
    knob->binding.max = 127.0f;
    knob->Deactivate();
    head->OnMouseMove(0, 116, 116);
    ASSERT_TRUE(knob->IsActive());
    for (char c : std::string("127")) Key(c, c);
    knob->Deactivate();
    EXPECT_EQ(head->GetController(&knob->binding), -1);
    head->OnMouseMove(0, 116, 116);
    for (char c : std::string("12")) Key(c, c);
    knob->Deactivate();
    EXPECT_EQ(head->GetController(&knob->binding), 12);
    // Typed, the disc shows the number; one that is none is said and not assigned; Delete: none.
    const uint8_t* row = dc.GetBackSurface()->PixelAddress(knob->x + 7, knob->y + 17);  // through the digits
    auto disc = [&] { return head->RedrawAll(), std::string(reinterpret_cast<const char*>(row), 3 * 19); };
    head->OnMouseMove(0, 116, 116);
    const std::string twelve = disc();
    for (char c : std::string("1234")) Key(c, c);
    EXPECT_TRUE(disc() != twelve && strstr(head->GetHoverHint(), "0 to 126")) << head->GetHoverHint();
    knob->Deactivate(), head->OnMouseMove(0, 116, 116), Key(46);
    EXPECT_EQ(head->GetController(&knob->binding), 12);
    knob->Deactivate();
    EXPECT_EQ(head->GetController(&knob->binding), -1);
    // A fourth digit shows as typed; Backspace leaves 123, which is assigned.
    head->OnMouseMove(0, 116, 116);
    for (char c : std::string("1234")) Key(c, c);
    EXPECT_STREQ(knob->controller.Typed(*knob), "1234");
    Key(8), knob->Deactivate();
    EXPECT_EQ(head->GetController(&knob->binding), 123);
}

TEST_F(StandardWidgets, ModulationAmountAndSpinField)
{
    // With an assignment source armed a drag sets only the amount, within
    // -63..63; Control at the press clears it.
    Add<GUIKnob>("KNOB", 0, kCutoff, 0, 100, 100, 32, 32);
    synth->SetParameter(kCutoff, 0.5f);
    synth->parameters.ArmAssignSource(0, true);
    int amount = 0;
    Drag(0, 116, 116, 16);
    EXPECT_TRUE(head->GetAssignAmount(&head->Objects().back()->binding, amount));
    EXPECT_EQ(amount, 63);
    Drag(0, 116, 116, 400);
    head->GetAssignAmount(&head->Objects().back()->binding, amount);
    EXPECT_EQ(amount, -63);
    head->OnMouseDown(9, 116, 116);
    head->OnMouseUp(8, 116, 116);
    head->GetAssignAmount(&head->Objects().back()->binding, amount);
    EXPECT_EQ(amount, 0);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 0.5f);
    head->RedrawAll();
    synth->parameters.ArmAssignSource(0, false);

    // A spin field moves one step a pixel (Shift: a sixteenth), from where
    // the press found it; Control sends the default.
    GUIObject* spin = Add("SPIN", 0, kCutoff, 0, 300, 100, 60, 16);
    const float steps = spin->binding.max;
    synth->SetParameter(kCutoff, 10.0f / steps);
    Drag(0, 310, 105, 95);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 20.0f / steps);
    Drag(4, 310, 105, 105 - 64);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 24.0f / steps);
    Drag(0, 310, 105, -1000);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), 1.0f);
    Drag(8, 310, 105, 0);
    EXPECT_FLOAT_EQ(synth->GetParameter(kCutoff), spin->binding.defaultValue);
}

TEST_F(StandardWidgets, ButtonsSelectionsFieldsAndCategories)
{
    // A one-shot button sends 1 on every press and never 0.
    GUIObject* button = Add("BTTN", 0, 166, 0, 10, 10, 40, 15);
    button->binding.flags |= CIParameter::kFlagOneShot;
    for (int i = 0; i < 4; ++i) {
        synth->SetParameter(166, 0.0f);
        head->OnMouseDown(1, 20, 15);
        EXPECT_EQ(synth->GetParameter(166), 1.0f);
        head->OnMouseUp(0, 20, 15);
        EXPECT_EQ(synth->GetParameter(166), 1.0f);
    }
    // A plain switch shows the value, not the press: switched off, it is dark while still held.
    button->binding.flags &= ~CIParameter::kFlagOneShot;
    head->OnMouseDown(1, 20, 15);
    head->RedrawAll();
    EXPECT_EQ(static_cast<GUIButton*>(button)->shown, 0);
    head->OnMouseUp(0, 20, 15);

    // Play and Stop show the song as the audio thread started it, after the press drew them.
    auto* stop = Add<GUIButton>("BTTN", 7, 32, 0, 10, 30, 40, 15);
    auto* play = Add<GUIButton>("BTTN", 7, 33, 0, 60, 30, 40, 15);
    synth->Resume();
    float block[256], *outs[2] = {block, block};
    head->RedrawAll(), head->OnMouseDown(1, 65, 35), head->OnMouseUp(0, 65, 35), head->OnIdle();
    synth->Process(nullptr, outs, 256), head->OnIdle();
    EXPECT_TRUE(play->shown && !stop->shown);

    // A selection of maximum 3 at 0.999 shows entry 2.
    GUISelection* selection = Add<GUISelection>("SLCT", 0, kCutoff, 0, 100, 10, 60, 14);
    selection->binding.max = 3.0f;
    synth->SetParameter(kCutoff, 0.999f);
    EXPECT_EQ(selection->Entry(), 2);

    // An edit field keeps 27 characters whatever is typed, and every text
    // it shows or takes is cut to its buffer.
    GUIEditField* edit = Add<GUIEditField>("EDIT", 3, 5, 0, 200, 10, 120, 14);
    const std::string longName(127, 'n');
    synth->program.SetProgramName(synth->program.GetCurrentProgramNumber(), longName.c_str());
    head->OnMouseDown(1, 210, 15);
    ASSERT_TRUE(edit->IsActive());
    EXPECT_EQ(strlen(edit->text), size_t(GUIEditField::kMaxChars));
    const std::string atStart = edit->text;
    for (int i = 0; i < 40; ++i) Key('A' + i % 26, 'A' + i % 26);
    EXPECT_EQ(std::string(edit->text), "ABCDEFGHIJKLMNOPQRSTUVWXYZA");
    Key(27);  // Esc: the model's text
    EXPECT_EQ(edit->text, atStart);
    EXPECT_FALSE(edit->IsActive());
    EXPECT_FALSE(head->OnKey('q', 'q', 0));  // committed: edits nothing more
    head->RedrawAll();
    // The program name's field drops the number in front of the name.
    synth->program.SetProgramName(synth->program.GetCurrentProgramNumber(), longName.c_str());
    GUIEditField* named = Add<GUIEditField>("EDTS", 3, 5, 0, 200, 40, 120, 14);
    head->OnMouseDown(1, 210, 45);
    ASSERT_TRUE(named->IsActive());
    EXPECT_EQ(std::string(named->text), std::string(GUIEditField::kMaxChars - 4, 'n'));
    Key('x', 'x');
    head->OnMouseDown(1, 210, 15);  // another field: the first one's typing ends as at Enter
    char shown[256] = "";
    synth->editor->GetText(9, 5, shown, sizeof shown);
    EXPECT_NE(std::string(shown).find('x'), std::string::npos) << shown;

    // Letters past ASCII are typed, erased and cut whole, in the field and
    // in the name's 31 bytes (a two-byte letter at bytes 30 and 31 is left out).
    const int current = synth->program.GetCurrentProgramNumber();
    synth->program.SetProgramName(current, (std::string(30, 'n') + "\xC3\xB6").c_str());
    char stored[CProgram::kNameSize];
    synth->program.CopyProgramName(current, stored);
    EXPECT_EQ(std::string(stored), std::string(30, 'n'));
    head->OnMouseDown(1, 210, 15);
    for (int ch : {int('G'), int('r'), 0xF6, 0xDF, int('e'), 0x4E00, 0x85}) Key(0, ch);  // 0x85: a control, not taken
    EXPECT_EQ(std::string(edit->text), "Gr\xC3\xB6\xC3\x9F" "e\xE4\xB8\x80");
    Key(8), Key(37), Key(8), Key(39), Key(8);
    EXPECT_EQ(std::string(edit->text), "Gr\xC3\xB6");
    Key(37), Key(39), Key(0, 'a');  // Right steps over the whole letter
    EXPECT_EQ(std::string(edit->text), "Gr\xC3\xB6" "a");
    Key(8);
    for (int i = 0; i < 30; ++i) Key(0, 0xE4);  // eleven fit whole, in 26 of the 27 bytes
    EXPECT_EQ(strlen(edit->text), 26u);
    EXPECT_EQ(std::string(edit->text).substr(22), "\xC3\xA4\xC3\xA4");

    // Category rows toggle their bits; below the 18th row and for bindings
    // that name no word list nothing happens.
    GUICatButtons* cats = Add<GUICatButtons>("CATB", 3, 166, 0, 600, 10, 120, 300);
    head->OnMouseDown(1, 610, 10 + 15 + 13 * 1 + 3);
    head->OnMouseUp(0, 610, 30);
    head->OnMouseDown(1, 610, 10 + 15 + 13 * 17 + 3);
    head->OnMouseUp(0, 610, 30);
    EXPECT_EQ(cats->Mask(), (1u << 1) | (1u << 17));
    head->OnMouseDown(1, 610, 10 + 15 + 13 * 18 + 3);
    EXPECT_EQ(cats->Mask(), (1u << 1) | (1u << 17));
    cats->binding.index = 171;
    EXPECT_EQ(cats->WordGroup(), -1);
    EXPECT_EQ(cats->Draw(), GuiRect{});

    // The tempo field stays within 40..300 and its fraction below 0.996.
    GUISpinBPM* bpm = Add<GUISpinBPM>("SBPM", 7, 13, 0, 400, 400, 80, 16);
    head->OnMouseDown(1, 410, 405);
    head->OnMouseMove(1, 410, -2000);
    EXPECT_EQ(bpm->Shown(), 300.0);
    head->OnMouseMove(1, 410, 3000);
    EXPECT_EQ(bpm->Shown(), 40.0);
    head->OnMouseUp(0, 410, 3000);
    head->OnMouseDown(1, 470, 405);
    head->OnMouseMove(1, 470, -2000);
    EXPECT_NEAR(bpm->Shown(), 40.996, 1e-9);
    head->OnMouseUp(0, 470, -2000);
}

TEST_F(StandardWidgets, BackgroundDialogAndHelpMenu)
{
    GUIBackground* bkgd = dynamic_cast<GUIBackground*>(head->Objects()[0].get());
    ASSERT_NE(bkgd, nullptr);
    GUIKnob* knob = Add<GUIKnob>("KNOB", 0, kCutoff, 0, 300, 300, 32, 32);
    // Without an image, and on pages above 15, the plain dark fill; the
    // knob's frames lie side by side in the strip, so the last one shows.
    synth->SetParameter(kCutoff, 1.0f);
    head->SetPage(20);
    const uint8_t* corner = dc.GetBackSurface()->PixelAddress(900, 600);
    EXPECT_EQ(corner[0], 0x2B);  // blue, green, red
    EXPECT_EQ(corner[1], 0x29);
    EXPECT_EQ(corner[2], 0x25);
    EXPECT_EQ(CGLBitmapCache::GetKnobStripA()->Width(), 128 * 32);
    int lit = 0;
    for (int y = knob->y; y < knob->y + 32; ++y)
        for (int x = knob->x; x < knob->x + 32; ++x) lit += dc.GetBackSurface()->PixelAddress(x, y)[0] > 0x60;
    EXPECT_GT(lit, 100);

    // A dialog's image index outside the 16 images shows the panel.
    GUIDialog* dlog = Add<GUIDialog>("DLOG", 4, -1, 0, 10, 10, 100, 60);
    dlog->properties[0] = 511;
    dlog->SetImageIndex(16);
    EXPECT_EQ(dlog->GetImage(), 0);
    dlog->SetImageIndex(-1);
    EXPECT_EQ(dlog->GetImage(), 0);

    // Help items 1 and 2 lead to no page yet: said so.
    EXPECT_TRUE(bkgd->OnMenu(GUIBackground::kHelpMenu, 1));
    EXPECT_TRUE(bkgd->OnMenu(GUIBackground::kHelpMenu, 2));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "Error: Web page >< not found");
    EXPECT_FALSE(head->IsEditingAllowed());
    EXPECT_TRUE(bkgd->OnMenu(GUIBackground::kHelpMenu, 4));
    EXPECT_TRUE(head->IsEditingAllowed());
}

TEST_F(StandardWidgets, PictureOfEveryStandardWidget)
{
    head->AddObject("KNOB", 0, kCutoff, 0, 2, 0, 40, 40, 32, 32);
    GUIObject* hovered = head->AddObject("KNOB", 0, 17, 0, 2, 0, 110, 40, 32, 32);
    head->AddObject("BTTN", 0, 166, 0, 2, 0, 180, 40, 60, 18);
    head->AddObject("SLCT", 0, 172, 0, 2, 0, 260, 40, 110, 16);
    head->AddObject("SPIN", 0, 171, 0, 2, 0, 390, 40, 60, 16);
    head->AddObject("EDIT", 3, 5, 0, 2, 0, 470, 40, 150, 14);
    head->AddObject("EDTS", 3, 5, 0, 2, 0, 640, 40, 150, 14);
    head->AddObject("TEXT", 3, 5, 0, 2, 0, 470, 90, 150, 12);
    head->AddObject("INFO", 3, 36, 0, 2, 0, 640, 90, 150, 14);
    head->AddObject("SBPM", 7, 13, 0, 2, 0, 40, 120, 80, 16);
    head->AddObject("LMTR", 3, 0, 0, 2, 0, 140, 110, 8, 60);
    head->AddObject("CATB", 3, 166, 0, 2, 0, 200, 110, 120, 249);
    head->AddObject("CATB", 3, 170, 0, 2, 0, 330, 110, 120, 249);
    synth->SetParameter(kCutoff, 0.6f);
    synth->ExecuteCommand(166, 0.0f + 2 + 8 + 4096);
    head->OnMouseMove(0, 120, 50);
    EXPECT_TRUE(hovered->IsActive());
    head->RedrawAll();
    ASSERT_TRUE(png::Write(*dc.GetBackSurface(), "widgets.png"));

    // The default properties dialog over them.
    head->AddDefaultPropertiesDialog();
    head->SetMenuTarget(hovered, 0, 0);  // the dialog shows a widget's properties
    head->OpenDialog(0, 0, 1, 0);
    ASSERT_EQ(head->GetOpenDialog(), 1);
    ASSERT_TRUE(png::Write(*dc.GetBackSurface(), "properties-dialog.png"));

    // Random input over all of them, in controller-number mode too: nothing
    // may crash, overrun or leave a value outside its range.
    std::mt19937 rng(7);
    head->CloseDialog();
    for (int i = 0; i < 3000; ++i) {
        const int x = int(rng() % 980) - 10, y = int(rng() % 670) - 10;
        const uint32_t flags = rng() & 13;
        switch (rng() % 9) {
        case 0: head->OnMouseDown(flags | 1, x, y); break;
        case 1: head->OnMouseUp(flags & ~1u, x, y); break;
        case 2: case 3: head->OnMouseMove(flags, x, y); break;
        case 4: head->OnKey(int(rng() % 128), int(rng() % 130), 0); break;
        case 5: head->OnDoubleClick(flags | 1, x, y); break;
        case 6: head->OnIdle(); break;
        case 7: g_ControllerNumberMode = uint8_t(rng() & 1); break;
        default: head->OnWheel(33 + int(rng() & 1), 0, 0, x, y); break;
        }
        if (head->Menu().IsOpen()) head->OnKey(27, 0, 0);
    }
    const float v = synth->GetParameter(kCutoff);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f);
}

}  // namespace

// A caption hangs under its field: a field taller than the caption's usual
// offset keeps its box whole, the caption starting below it.
TEST_F(StandardWidgets, CaptionsOfTallFieldsHangBelowTheirBox)
{
    struct Case {
        const char* tag;
        int h;
    };
    for (const Case& c : {Case{"TEXT", 10}, Case{"TEXT", 16}, Case{"EDIT", 10}, Case{"EDIT", 16}}) {
        SCOPED_TRACE(std::string(c.tag) + " " + std::to_string(c.h));
        GUIObject* field = Add(c.tag, 3, 5, 0, 300, 300, 120, c.h);
        ASSERT_NE(field, nullptr);
        auto shot = [&] {
            head->RedrawAll();
            std::vector<uint8_t> pixels;
            for (int y = field->y; y < field->y + 40; ++y)
                for (int x = field->x - 20; x < field->x + field->w + 20; ++x) {
                    const uint8_t* p = dc.GetBackSurface()->PixelAddress(x, y);
                    pixels.insert(pixels.end(), p, p + 3);
                }
            return pixels;
        };
        field->binding.label = "";
        const std::vector<uint8_t> bare = shot();
        field->binding.label = "Caption";
        const std::vector<uint8_t> captioned = shot();
        // The first row the caption changes lies below the box (and the
        // offset a short field has always had).
        const size_t row = size_t(field->w + 40) * 3;
        size_t first = bare.size();
        for (size_t i = 0; i < bare.size(); ++i)
            if (bare[i] != captioned[i]) {
                first = i;
                break;
            }
        ASSERT_LT(first, bare.size()) << "no caption drawn";
        const int firstRow = int(first / row);
        EXPECT_GE(firstRow, std::max(c.tag[0] == 'E' ? 12 : 10, c.h + 1) - 1);
        EXPECT_GE(firstRow, c.h);
        head->DeleteObject(field);
    }
}
