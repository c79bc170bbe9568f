// The on-screen keyboard, wheels, 8D pad, part buttons, slider and about
// box, driven through the GUI manager; what they play is measured in the
// rendered output.
#include <cmath>

#include "core/CKeyboard.h"
#include "tests/editor/EditorWidgetTest.h"
#include "tools/LayoutFixtures.h"
#include "tools/PngFile.h"

namespace {

using edtest::Fixture;
constexpr int kKeysX = 10, kKeysY = 500;
constexpr uint32_t kNoteOnKey0 = 0x640090u;

class Keyboard : public Fixture {
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        keys = Add<CUIKeyboard>("KEYB", kKeysX, kKeysY, 540, 60);
    }
    bool KeyDown(int key) { return synth->midi->keyboard->IsKeyDown(0, key); }
    CUIKeyboard* keys = nullptr;
};

using Pad = Fixture;
using Drawing = Fixture;

}  // namespace

TEST_F(Keyboard, KeysPlayInTuneAndReleaseOnlyWhatTheyHold)
{
    const struct { int x, y, note; } hits[] = {
        {76, 10, 23}, {12, 36, 14}, {0, 59, 12}, {8, 10, 13}, {4 * 77 + 60, 50, 69}, {538, 59, 95}, {539, 30, -1},
        {-1, 30, -1}, {100, 60, -1},
    };
    for (const auto& h : hits) EXPECT_EQ(keys->NoteAt(kKeysX + h.x, kKeysY + h.y), h.note) << h.x << "," << h.y;

    // A key held on the MIDI input is not released by the first press.
    // The queue places an input's message by the wall clock since the last
    // render call (this synthesizer's last test, on a loaded machine long
    // ago), at most kMaxBlocksAhead blocks on: rendered until it is carried
    // out.
    synth->ProcessMidiMessage(kNoteOnKey0, CMIDIQueue::ClockMs());
    for (int i = 0; i < 4 * CMIDIQueue::kMaxBlocksAhead && !KeyDown(0); ++i) Render(32);
    ASSERT_TRUE(KeyDown(0));
    head->OnMouseDown(1, kKeysX + 4 * 77 + 60, kKeysY + 50);
    std::vector<float> out = Render(8192);
    EXPECT_TRUE(KeyDown(0));
    EXPECT_TRUE(KeyDown(69));
    EXPECT_EQ(synth->midi->keyboard->GetVelocity(0, 69), 80u);
    synth->ProcessMidiMessage(0x80u, CMIDIQueue::ClockMs());
    out = Render(8192);
    EXPECT_NEAR(MeasureFrequency(std::vector<float>(out.begin() + 2048, out.end()), 44100.0), 440.0, 0.5);
    head->OnMouseUp(0, kKeysX + 4 * 77 + 60, kKeysY + 50);
    EXPECT_EQ(keys->HeldNote(), -1);
    out = Render(44100);
    EXPECT_FALSE(KeyDown(69));
    EXPECT_LT(Peak(out, 40000), 1e-3f);

    // Past the last key nothing plays; a glissando holds one key at a time.
    head->OnMouseDown(1, kKeysX + 539, kKeysY + 30);
    EXPECT_EQ(keys->HeldNote(), -1);
    head->OnMouseUp(0, kKeysX + 539, kKeysY + 30);
    EXPECT_LT(Peak(Render(4096)), 1e-3f);
    head->OnMouseDown(1, kKeysX + 2, kKeysY + 50);
    head->OnMouseMove(1, kKeysX + 14, kKeysY + 50);
    head->OnMouseMove(1, kKeysX + 16, kKeysY + 50);
    Render(256);
    EXPECT_FALSE(KeyDown(12));
    EXPECT_TRUE(KeyDown(14));
    head->OnMouseMove(1, kKeysX + 14, kKeysY + 200);  // off the keys
    EXPECT_EQ(keys->HeldNote(), -1);
    head->OnMouseUp(0, kKeysX + 14, kKeysY + 200);
    Render(256);
    EXPECT_FALSE(KeyDown(14));
}

TEST_F(Keyboard, HeldKeysPlayTheArpeggio)
{
    for (int i = 0; i < 4; ++i) {
        const int values[4] = {1, 0, 0, 0};
        synth->SetLearnedParameter(0, 0, CArpeggiator::kSlotMode + i, values[i] / 128.0f);
        synth->engine.data.SetPartI(0, CArpeggiator::kSlotMode + i, values[i]);
    }
    head->OnMouseDown(1, kKeysX + 4 * 77 + 60, kKeysY + 50);
    const std::vector<float> out = Render(44100);
    head->OnMouseUp(0, kKeysX + 4 * 77 + 60, kKeysY + 50);
    synth->engine.data.SetPartI(0, CArpeggiator::kSlotMode, 0);
    EXPECT_GT(Peak(out), 0.01f);
}

TEST_F(Keyboard, ThePitchWheelBendsAndSpringsBack)
{
    auto* bend = Add<CUIMWheel>("MWHL", 700, 500, 12, 50, 0, 57);
    auto* mod = Add<CUIMWheel>("MWHL", 720, 500, 12, 50, 0, 56);
    ASSERT_EQ(bend->binding.index, 57u);
    synth->ProcessMidiMessage(0x644590u, CMIDIQueue::ClockMs());
    Render(4096);
    head->OnMouseDown(1, 706, 520);
    head->OnMouseMove(1, 706, 480);
    std::vector<float> out = Render(8192);
    EXPECT_GT(MeasureFrequency(out, 44100.0), 460.0);
    head->OnMouseUp(0, 706, 480);
    EXPECT_FLOAT_EQ(float(head->GetParameter(0, 57)), 0.5f);
    out = Render(8192);
    EXPECT_NEAR(MeasureFrequency(std::vector<float>(out.begin() + 2048, out.end()), 44100.0), 440.0, 0.5);
    // The modulation wheel keeps its value on release.
    DragPath({{726, 540}, {726, 520}});
    EXPECT_NEAR(head->GetParameter(0, 56), 20.0 / 128.0, 0.01);
    head->SetParameter(0, 56, 0.0f);
    (void)mod;
    synth->ProcessMidiMessage(0x4580u, CMIDIQueue::ClockMs());
}

TEST_F(Pad, DraggingAPointModulatesItsAssignmentAndControlResets)
{
    CUI8D* quadrant[5] = {};
    for (int q = 1; q <= 4; ++q) {
        quadrant[q] = Add<CUI8D>("UI8D", 600, 300, 160, 160);
        quadrant[q]->binding.index = uint32_t(q);
    }
    // "8D 1-X" onto the oscillator 1 input mix (engine value raw / 127).
    float* record = synth->program.GetProgramData(0);
    const float savedMix = record[7];
    record[7] = 0.0f;
    synth->parameters.ArmAssignSource(0, true);
    synth->parameters.SetAssignment(0, 7, 64);
    synth->parameters.ArmAssignSource(0, false);
    synth->ProcessMidiMessage(0x644590u, CMIDIQueue::ClockMs());
    Render(4096);

    // The top quadrant's point, pulled out to the far end of its X axis.
    const int cx = 680, cy = 380;
    EXPECT_EQ(head->WidgetAt(cx, cy - 40), quadrant[1]);
    EXPECT_EQ(head->WidgetAt(cx + 40, cy), quadrant[2]);
    DragPath({{cx, cy - 40}, {cx - 20, cy - 40}, {cx - 34, cy - 42}});
    EXPECT_NEAR(head->GetParameter(0, 299), 1.0, 0.02);
    EXPECT_NEAR(head->GetParameter(0, 300), 0.0, 0.02);
    Render(8192);
    const float modulated = synth->parameters.GetModulatedValue(0, 7, 0.0f);
    EXPECT_GT(modulated, 0.3f);
    EXPECT_NEAR(synth->engine.data.partTargets[0][7], modulated, 0.02f);

    // Control on any quadrant: every point back to the middle.
    Click(cx, cy + 40, 1 | 8);
    for (int id = 299; id <= 306; ++id) EXPECT_FLOAT_EQ(float(head->GetParameter(0, id)), 0.5f) << id;
    Render(8192);
    EXPECT_NEAR(synth->engine.data.partTargets[0][7], 0.0f, 0.02f);

    // Shift links the points: every X follows.
    DragPath({{cx + 40, cy}, {cx + 60, cy - 10}}, 1 | 4);
    for (int q = 2; q <= 4; ++q)
        EXPECT_FLOAT_EQ(float(head->GetParameter(0, 297 + 2 * q)), float(head->GetParameter(0, 299)));
    // The learn menu near an outer edge only.
    EXPECT_EQ(quadrant[1]->GetParameterMenu(nullptr, cx + 5, 303), GUIHead::kLearnMenu);
    EXPECT_EQ(quadrant[1]->GetIndex(), 299u);
    EXPECT_EQ(quadrant[1]->GetParameterMenu(nullptr, cx, cy - 30), 0);

    synth->parameters.ArmAssignSource(0, true);
    synth->parameters.SetAssignment(0, 7, 0);
    synth->parameters.ArmAssignSource(0, false);
    for (int id = 299; id <= 306; ++id) head->SetParameter(0, id, 0.5f);
    record[7] = savedMix;
    synth->ProcessMidiMessage(0x4580u, CMIDIQueue::ClockMs());
}

TEST_F(Pad, PartButtonsSliderAndCopiesThatStartIdle)
{
    // Part button of part 3: a click selects the part, shown as flag 1.
    auto* button = Add<CUIPartButton>("PBTN", 100, 100, 40, 16, 3, 13);
    button->binding.group = 3;
    button->binding.index = 13;
    Click(110, 105);
    EXPECT_EQ(synth->program.GetCurrentPart(), 3);
    EXPECT_EQ(button->ReadFlags() & 1, 1);
    synth->ExecuteCommand(10, 1.0f / 128.0f);

    // The slider's value stays within 0..128 whichever way it is pushed.
    auto* slider = Add<CUISlider>("SLDR", 300, 100, 30, 160, 0, 56);
    head->SetParameter(0, 56, 0.5f);
    const int thumb = slider->ThumbY(64);
    DragPath({{315, thumb}, {315, thumb - 500}});
    EXPECT_EQ(slider->ReadN(), 128);
    DragPath({{315, slider->ThumbY(128)}, {315, thumb + 900}});
    EXPECT_EQ(slider->ReadN(), 0);
    // Control holds the value; let go, the drag goes on from the press.
    head->OnMouseDown(1 | 8, 315, slider->ThumbY(0));
    head->OnMouseMove(1 | 8, 315, slider->ThumbY(0) - 30);
    EXPECT_EQ(slider->ReadN(), 0);
    head->OnMouseMove(1, 315, slider->ThumbY(0) - 40);
    head->OnMouseUp(0, 315, slider->ThumbY(0) - 40);
    EXPECT_EQ(slider->ReadN(), 40);
    // Paging moves toward the pointer by the value's step.
    head->OnMouseDown(1, 315, slider->ThumbY(0) - 120);
    head->OnMouseUp(0, 315, slider->ThumbY(0) - 120);
    EXPECT_GT(slider->ReadN(), 40);
    head->SetParameter(0, 56, 0.0f);

}

TEST_F(Drawing, ExtremeValuesStayInsideEachWidget)
{
    auto* editor = Add<CUIStepSequencer>("STSQ", 10, 5, 930, 290);
    auto* lane = Add<CUISequCtrl>("SCTR", 87, 300, 836, 66);
    auto* song = Add<CUISongSequencer>("SOSQ", 10, 370, 920, 240);
    auto* keys = Add<CUIKeyboard>("KEYB", 10, 615, 540, 30);
    auto* wheel = Add<CUIMWheel>("MWHL", 600, 615, 12, 30, 0, 57);
    auto* button = Add<CUIPartButton>("PBTN", 640, 620, 60, 16, 3, 10);
    button->binding.group = 3;
    button->binding.index = 10;
    // Notes at both ends with four-note inversions, gates and levels past
    // their range as a damaged project could hold them.
    CSequencer::Pattern& p = seq->patterns[0];
    for (int s = 0; s < 64; ++s) {
        p.steps[s].note = s % 2 ? 127 : 0;
        p.steps[s].chord = 33 + s % 30;
        p.steps[s].gate = 255;
        p.steps[s].velocity = 255;
        p.steps[s].length = 255;
        p.steps[s].heldKey = 255;
    }
    p.lastStep = 63;
    editor->baseNote = 72;
    for (int t = 0; t < 16; ++t) {
        synth->songList->SetCell(t, t, t * 37 % 512, t % 3 ? 0 : 12);
        synth->songList->SetCell(t, t + 1, t * 37 % 512, t % 2 ? 5 : 0);
    }
    EXPECT_EQ(CUIMWheel::FrameOf(1.5f), 63);
    EXPECT_EQ(CUIMWheel::FrameOf(std::nanf("")), 0);
    EXPECT_EQ(CUIMWheel::FrameOf(0.5f), 31);

    CDIBitmap& back = *dc.GetBackSurface();
    GUIObject* widgets[] = {editor, lane, song, keys, wheel, button};
    for (GUIObject* w : widgets) {
        const GuiRect r = w->Rect();
        for (int y = 0; y < back.Height(); ++y) memset(back.PixelAddress(0, y), 0x5A, size_t(back.Width()) * 3);
        w->Draw();
        if (w == editor) editor->DrawPlayCursor(63);
        size_t changed = 0;
        for (int y = 0; y < back.Height(); ++y)
            for (int x = 0; x < back.Width(); ++x) {
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) continue;
                const uint8_t* px = back.PixelAddress(x, y);
                changed += px[0] != 0x5A || px[1] != 0x5A || px[2] != 0x5A;
            }
        EXPECT_EQ(changed, 0u) << w->GetTag();
    }

    // The whole set, written out to be looked at.
    head->SetParameter(0, 57, 0.8f);
    head->RedrawAll();
    editor->DrawPlayCursor(60);
    auto* about = Add<CUIAboutBox>("ABOX", 330, 150, 300, 280);
    about->dialogId = GUIHead::kAboutDialog;
    about->layer = 9;
    about->Draw();  // never opened: nothing to put back, nothing drawn
    png::Write(back, "editor-widgets.png");
    head->ToggleAboutBox();
    EXPECT_TRUE(about->IsOpen());
    png::Write(back, "editor-about.png");
    Click(400, 200);
    EXPECT_FALSE(about->IsOpen());
    EXPECT_EQ(head->GetOpenDialog(), -1);
    head->SetParameter(0, 57, 0.5f);
    synth->songList->Clear();
    seq->EditPattern(3);
}

TEST(WidgetFactory, MakesLoadsAndCopiesTheSynthWidgets)
{
    const struct { const char* tag; int type; } rows[] = {
        {"SLDR", 3}, {"MWHL", 14}, {"PBTN", 21}, {"SCTR", 30}, {"STSQ", 31},
        {"SOSQ", 32}, {"KEYB", 33}, {"UI8D", 53}, {"ABOX", 57},
    };
    for (const auto& r : rows) {
        const std::unique_ptr<GUIObject> w = GUIResource::CreateByType(r.type);
        ASSERT_TRUE(w) << r.tag;
        EXPECT_STREQ(w->GetTag(), r.tag);
    }
    EXPECT_TRUE(dynamic_cast<CUIMWheel*>(GUIResource::CreateByTag("MWHL").get()));
    EXPECT_TRUE(dynamic_cast<GUIContinous*>(GUIResource::CreateByTag("SLDR").get()));

    // A layout of our own: the widgets come back as their classes, bound.
    namespace lf = fixtures::layout;
    lf::Bytes bytes;
    lf::End(bytes);
    lf::Record(bytes, {.tag = "STSQ", .x = 10, .y = 10, .w = 930, .h = 290});
    lf::Record(bytes, {.tag = "MWHL", .group = 0, .index = 57, .x = 600, .y = 500, .w = 12, .h = 50});
    lf::Record(bytes, {.tag = "KEYB", .x = 10, .y = 500, .w = 540, .h = 60});
    GUIResource::Layout layout;
    std::string error;
    ASSERT_TRUE(GUIResource::ReadLayout(bytes, layout, error)) << error;
    ASSERT_EQ(layout.widgets.size(), 3u);
    EXPECT_TRUE(dynamic_cast<CUIStepSequencer*>(layout.widgets[0].get()));
    EXPECT_EQ(static_cast<CUIStepSequencer*>(layout.widgets[0].get())->baseNote, 36);
    ASSERT_TRUE(dynamic_cast<CUIMWheel*>(layout.widgets[1].get()));
    EXPECT_EQ(layout.widgets[1]->binding.index, 57u);
    EXPECT_TRUE(dynamic_cast<CUIKeyboard*>(layout.widgets[2].get()));

    // A pasted copy takes the settings, never a held key or the saved
    // pixels under a cursor.
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(960, 650));
    GUIHead head(&dc, nullptr);
    auto* keys = static_cast<CUIKeyboard*>(head.Adopt(std::move(layout.widgets[2])));
    head.OnMouseDown(1, 20, 550);
    EXPECT_EQ(keys->HeldNote(), 12);
    auto pasted = GUIResource::CreateByTag("KEYB");
    GUIResource::CopyWidget(*pasted, *keys);
    EXPECT_EQ(pasted->x, 10);
    EXPECT_EQ(pasted->w, 540);
    EXPECT_EQ(static_cast<CUIKeyboard*>(pasted.get())->HeldNote(), -1);
    head.OnMouseUp(0, 20, 550);
    auto* pad = static_cast<CUI8D*>(head.AddObject("UI8D", 0, -1, 0, 3, 0, 600, 300, 160, 160));
    pad->binding.index = 1;
    head.OnMouseDown(1, 680, 340);
    auto padCopy = GUIResource::CreateByTag("UI8D");
    GUIResource::CopyWidget(*padCopy, *pad);
    EXPECT_FALSE(static_cast<CUI8D*>(padCopy.get())->IsDragging());
    EXPECT_EQ(padCopy->binding.index, 1u);
    head.OnMouseUp(0, 680, 340);
}
