// The GUI manager driven like a window would drive it, with test widgets on
// a real synthesizer: values out and back, redraws, pages, dialogs, hints,
// menus, widgets deleted while in use, and a random event storm.
#include "gui/GUIHead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

// A knob-like widget: draws its value as a grey level with its caption,
// follows vertical drags, polls its value when idle, takes keys on demand.
struct TestWidget : GUIObject {
    explicit TestWidget(const char* tag) : GUIObject(tag) {}
    GuiRect Draw() override
    {
        ++draws;
        float v = 0.0f;
        owner->GetFloatValue(&binding, v);
        shown = v;
        if (light) return Rect();
        const int level = layer == 0 ? 0x30 : 0x40 + int(std::clamp(v, 0.0f, 1.0f) * 150.0f);
        // The face above, the caption in a strip below it.
        const int face = layer > 0 && h > 28 && *binding.GetLabel() ? h - 14 : h;
        surface->SetColor(uint32_t(level) * 0x010101u);
        surface->FillRect(x, y, x + w, y + face, 1.0f);
        if (layer > 0) {
            surface->SetColor(active ? 0x00C0FF : 0x808080);
            surface->FrameRect(x, y, x + w, y + face);
            if (face < h) DrawText(x, y + face, x + w, y + h, binding.GetLabel(), active != 0);
        }
        return Rect();
    }
    void OnMouseDown(uint32_t, int, int py) override { downY = py, owner->GetFloatValue(&binding, start); }
    void OnMouseDrag(uint32_t, int, int py) override
    {
        owner->SetFloatValue(&binding, std::clamp(start + float(downY - py) / 100.0f, 0.0f, 1.0f));
        Update();
    }
    void OnIdle() override
    {
        float v = (++idles, 0.0f);
        if (owner->GetFloatValue(&binding, v), v != shown) Update();
    }
    bool OnKey(int key, int, uint32_t) override { return takeKeys || key == 0; }
    int GetContextMenu(int, int) override { return contextMenu; }
    int GetLeftClickMenu(int, int) override { return leftClickMenu; }
    GuiPoint GetLeftClickMenuPos() override { return {x, y + h}; }
    bool OnMenu(int, int value) override { return menuValues.push_back(value), true; }

    static inline bool light = false;  // the storm skips the pixels
    int draws = 0, idles = 0, downY = 0, contextMenu = 0, leftClickMenu = 0;
    float shown = -1.0f, start = 0.0f;
    bool takeKeys = false;
    std::vector<int> menuValues;
};

// A dialog controller that records what reaches it; OK closes the dialog
// from inside its own call, as a real one does.
struct TestDialog : UIBaseDialog {
    explicit TestDialog(GUIHead* h, bool needsTarget) : head(h), needs(needsTarget) {}
    bool NeedsTarget() const override { return needs; }
    bool OnValueChanged(const CIParameter& field, const void* bytes, int length, ValueKind kind) override
    {
        lastKind = kind;
        if (kind == ValueKind::kInt && length == 4) memcpy(&lastInt, bytes, 4);
        if (field.index == 0 && field.sub == 1) head->CloseDialog();
        ++calls;  // after the close: still alive
        return true;
    }
    bool GetValue(const CIParameter&, double& out) override { return out = value, true; }
    GUIHead* head;
    bool needs;
    int calls = 0, lastInt = 0;
    ValueKind lastKind = ValueKind::kFloat;
    double value = 0.0;
};

// A window that only counts what it was shown, for the storm.
struct QuietWindow : IDrawWindow {
    int width = 160, height = 120, shows = 0;
    void GetClientSize(int& w, int& h) const override { w = width, h = height; }
    void SetClientSize(int w, int h) override { width = w, height = h; }
    void ShowRect(const uint8_t*, int, int, int, int, int, int, int) override { ++shows; }
    void SetCursorShape(int) override {}
};

class GuiManager : public ::testing::Test {
protected:
    // The synthesizer writes its program names into the process-wide menu
    // table; the table goes back as it was for the tests that follow.
    void SetUp() override
    {
        savedMenus.assign(MenuTableRows(), MenuTableRows() + kMenuRows);
        Build(window);
    }
    void Build(IDrawWindow& win)
    {
        window.width = 960;
        window.height = 650;
        ASSERT_TRUE(dc.CreateForWindow(&win));
        synth = std::make_unique<CSynth>();
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        head->SetWidgetFactory([](const char* tag) { return std::make_unique<TestWidget>(tag); });
        head->SetDialogFactory([this](int id) -> std::unique_ptr<UIBaseDialog> {
            if (id != 7) return nullptr;
            auto d = std::make_unique<TestDialog>(head.get(), needsTarget);
            dialog = d.get();
            return d;
        });
        background = Add("BKGD", 0, -1, 0, 0, 0, 0, 0, dc.GetWidth(), dc.GetHeight());
    }
    void TearDown() override
    {
        dc.SetColorEffect(0);
        head.reset();
        synth.reset();
        std::copy(savedMenus.begin(), savedMenus.end(), MenuTableRows());
    }
    TestWidget* Add(const char* tag, uint32_t g, int32_t i, uint32_t s, int layer, int dialogId, int x, int y, int w, int h)
    {
        return static_cast<TestWidget*>(head->AddObject(tag, g, i, s, layer, dialogId, x, y, w, h));
    }
    void Drag(int x, int y0, int y1)
    {
        head->OnMouseDown(1, x, y0);
        head->OnMouseMove(1, x, y1);
        head->OnMouseUp(0, x, y1);
    }
    void Ticks(int n)
    {
        for (int i = 0; i < n; ++i) head->OnIdle();
    }

    guitest::RecordingWindow window;
    CUnifiedDC dc;
    std::unique_ptr<CSynth> synth;
    std::unique_ptr<GUIHead> head;
    TestWidget* background = nullptr;
    TestDialog* dialog = nullptr;
    bool needsTarget = false;
    std::vector<MenuEntry> savedMenus;
    QuietWindow quiet;  // outlives the manager, which may still show a closing menu
};

TEST_F(GuiManager, ADragReachesTheSynthesizerAndEveryWidgetOfThatValue)
{
    TestWidget* a = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
    TestWidget* b = Add("KNOB", 0, 16, 0, 2, 0, 200, 100, 40, 40);
    synth->SetParameter(16, 0.25f);
    head->RedrawAll();
    EXPECT_FLOAT_EQ(b->shown, 0.25f);
    Drag(120, 130, 80);  // half a knob's range up
    EXPECT_NEAR(synth->GetParameter(16), 0.75f, 1.0f / 128);
    EXPECT_NEAR(a->shown, 0.75f, 1.0f / 128);
    EXPECT_NEAR(b->shown, 0.75f, 1.0f / 128);

    // Set on the synthesizer with the change notice: both show it after the
    // next tick.
    synth->SetParameter(16, 0.125f);
    head->NotifyParameterChanged();
    head->OnIdle();
    EXPECT_FLOAT_EQ(a->shown, 0.125f);
    EXPECT_FLOAT_EQ(b->shown, 0.125f);

    // A redraw asked for from another thread goes through the editor's flag.
    const int before = a->draws;
    synth->editor->RequestRedraw();
    head->OnIdle();
    EXPECT_GT(a->draws, before);
}

TEST_F(GuiManager, MixerGlobalAndSwitchRowsAndWhatEachKindOfValueSends)
{
    TestWidget* pan = Add("KNOB", 1, 3, 0, 2, 0, 10, 10, 20, 20);
    TestWidget* global = Add("KNOB", 2, 23, 0, 2, 0, 40, 10, 20, 20);
    TestWidget* onOff = Add("BTTN", 0, 315, 0, 2, 0, 70, 10, 20, 20);
    TestWidget* cutoff = Add("KNOB", 0, 16, 0, 2, 0, 100, 10, 20, 20);
    ASSERT_EQ(onOff->binding.displayType, 1u);
    EXPECT_TRUE(head->SetFloatValue(&pan->binding, 0.75f));
    EXPECT_NEAR(synth->GetMixerParameter(3), 0.75f, 1.0f / 128);
    EXPECT_TRUE(head->SetFloatValue(&global->binding, 1.0f));
    EXPECT_GT(synth->GetGlobalParameter(23), 0.0f);

    struct Case { TestWidget* widget; ValueKind kind; float f; uint8_t byte; const char* text; float expected; };
    const Case cases[] = {
        {onOff, ValueKind::kFloat, 0.3f, 0, nullptr, 1.0f},
        {onOff, ValueKind::kFloat, -0.5f, 0, nullptr, 0.0f},
        {onOff, ValueKind::kByte, 0, 7, nullptr, 1.0f},
        {onOff, ValueKind::kByte, 0, 0, nullptr, 0.0f},
        {onOff, ValueKind::kFloat, 1.0f, 0, nullptr, 1.0f},
        {onOff, ValueKind::kText, 0, 0, "1.5", 0.0f},
        // A button's byte on a row that is no switch is 1.0, not four bytes.
        {cutoff, ValueKind::kByte, 0, 1, nullptr, 1.0f},
        {cutoff, ValueKind::kFloat, 0.5f, 0, nullptr, 0.5f},
        {cutoff, ValueKind::kText, 0, 0, "0.75", 0.0f},
    };
    for (const Case& c : cases) {
        bool sent = false;
        if (c.kind == ValueKind::kFloat) sent = head->SetFloatValue(&c.widget->binding, c.f);
        if (c.kind == ValueKind::kByte) sent = head->SetIntValue(&c.widget->binding, c.byte);
        if (c.kind == ValueKind::kText) sent = head->SetTextValue(&c.widget->binding, c.text);
        EXPECT_TRUE(sent);
        EXPECT_NEAR(synth->GetParameter(int32_t(c.widget->binding.index)), c.expected, 1.0f / 128)
            << int(c.kind) << " " << c.f << " " << int(c.byte);
        bool on = false;
        EXPECT_TRUE(head->GetBoolValue(&c.widget->binding, on));
        EXPECT_EQ(on, c.expected > 0.0f);
    }

    // A triple without a descriptor keeps the reset binding: nothing is
    // written, in particular not sound value 0.
    TestWidget* stray = Add("KNOB", 0, 9999, 0, 2, 0, 130, 10, 20, 20);
    const float type = synth->GetParameter(0);
    EXPECT_FALSE(head->SetFloatValue(&stray->binding, 0.9f));
    EXPECT_FLOAT_EQ(synth->GetParameter(0), type);
    float v = 1.0f;
    EXPECT_FALSE(head->GetFloatValue(&stray->binding, v));
    EXPECT_EQ(v, 0.0f);
}

TEST_F(GuiManager, TextsAreCutToTheirBuffersAndNumbersSaturate)
{
    TestWidget* cutoff = Add("KNOB", 0, 16, 0, 2, 0, 10, 10, 20, 20);
    char full[128], small[6];
    EXPECT_GT(head->GetValueText(&cutoff->binding, full, sizeof full), 0);
    const int n = head->GetValueText(&cutoff->binding, small, sizeof small);
    EXPECT_EQ(n, std::min<int>(5, int(strlen(full))));
    EXPECT_EQ(std::string(small), std::string(full).substr(0, size_t(n)));

    // Program labels are texts of the system group, kept with the program.
    const CIParameter* label = CIParameter::Find(3, 144, 0);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(head->SetStringValue(label, "Warm pad"));
    EXPECT_EQ(head->GetValueText(label, full, sizeof full), 8);
    EXPECT_STREQ(full, "Warm pad");

    // Formatting by display type, through an open dialog's field.
    Add("DLOG", 0, -1, 0, 3, 7, 100, 100, 200, 100);
    head->OpenDialog(0, 0, 7, 0);
    ASSERT_NE(dialog, nullptr);
    CIParameter field(1, 4, 1, 1);
    struct Case { uint32_t type; float max; uint32_t list; double value; const char* text; };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {12, 3, 100, 0.999, "Square"},  // truncated, not rounded
        {12, 3, 100, nan, "Sawtooth"},
        {12, 3, 100, 1e30, ""},
        {12, 3, 0, 0.999, "     2"},
        {14, 0, 0, 1e12, "2147483647"},
        {2, 1, 0, 0.5, "  50 %"},
        {7, 1, 0, 0.75, "0.50"},
        {1, 1, 0, 0.0, "false"},
        {16, 1, 0, 0.5, ""},
    };
    for (const Case& c : cases) {
        field.displayType = c.type;
        field.max = c.max;
        field.listId = c.list;
        dialog->value = c.value;
        EXPECT_STREQ((head->GetValueText(&field, full, sizeof full), full), c.text) << c.type;
    }
    // A typed number of any length reaches the dialog saturated, as an int.
    field.displayType = 14;
    EXPECT_TRUE(head->SetStringValue(&field, "  123456789012345678901"));
    EXPECT_EQ(dialog->lastKind, ValueKind::kInt);
    EXPECT_EQ(dialog->lastInt, INT32_MAX);
    EXPECT_TRUE(head->SetStringValue(&field, "x"));
    EXPECT_EQ(dialog->lastInt, 0);
}

TEST_F(GuiManager, DialogsOpenInsideShowTheirWidgetsAndCloseAsTheyShould)
{
    TestWidget* mainKnob = Add("KNOB", 0, 16, 0, 2, 0, 700, 500, 40, 40);
    Add("KNOB", 1, 3, 0, 2, 0, 40, 60, 60, 40);
    Add("BTTN", 0, 315, 0, 2, 0, 120, 60, 60, 40);
    TestWidget* dlog = Add("DLOG", 0, -1, 0, 3, 7, 100, 100, 300, 200);
    TestWidget* ok = Add("BTTN", 4, 0, 1, 4, 7, 120, 260, 80, 34);
    TestWidget* cancel = Add("BTTN", 4, 0, 2, 4, 7, 300, 260, 80, 34);
    TestWidget* other = Add("BTTN", 4, 0, 2, 4, 8, 120, 260, 40, 20);
    head->OpenDialog(900, 600, 7, 0);
    ASSERT_EQ(head->GetOpenDialog(), 7);
    EXPECT_EQ(dlog->x, 960 - 300);
    EXPECT_EQ(dlog->y, 650 - 200);
    EXPECT_EQ(ok->x, dlog->x + 20);
    EXPECT_EQ(ok->y, dlog->y + 160);
    EXPECT_TRUE(ok->IsVisibleNow());
    EXPECT_FALSE(other->IsVisibleNow());
    EXPECT_EQ(head->WidgetAt(ok->x + 1, ok->y + 1), ok);
    EXPECT_EQ(head->WidgetAt(mainKnob->x + 1, mainKnob->y + 1), dlog);  // covered
    head->OnMouseMove(0, 140, 70);
    Ticks(3);
    EXPECT_TRUE(head->IsHintShown());
    png::Write(*dc.GetBackSurface(), "gui_scene.png");  // to look at

    // OK: the controller closes the dialog from inside its own call and is
    // deleted only afterwards.
    EXPECT_TRUE(head->SetIntValue(&ok->binding, 1));
    EXPECT_EQ(head->GetOpenDialog(), 0);
    EXPECT_EQ(head->GetDialogController(), nullptr);
    head->OpenDialog(0, 0, 7, 0);
    EXPECT_TRUE(head->SetIntValue(&cancel->binding, 1));  // Cancel: closed after the call
    EXPECT_EQ(head->GetOpenDialog(), 0);

    // Keys: taken by the focused widget, or closing the dialog.
    for (int key : {27, 116, 13}) {
        head->OpenDialog(0, 0, 7, 0);
        head->OnMouseMove(0, ok->x + 2, ok->y + 2);  // hover
        ok->takeKeys = true;
        EXPECT_TRUE(head->OnKey(key, 0, 0));
        EXPECT_EQ(head->GetOpenDialog(), 7);
        ok->takeKeys = false;
        EXPECT_TRUE(head->OnKey(key, 0, 0));
        EXPECT_EQ(head->GetOpenDialog(), 0);
        EXPECT_EQ(head->GetHover(), nullptr);
        EXPECT_FALSE(ok->IsActive());
    }
    EXPECT_FALSE(head->OnKey(27, 0, 0));

    // A page switch closes it too (index 140 only), and the part's synthesis
    // type picks the page.
    TestWidget* onPage6 = Add("KNOB", 0, 16, 0, 2, 0, 10, 10, 20, 20);
    onPage6->pageMask = 1u << 6;
    synth->parameters.SetPartSynthesisType(0, 2);
    head->SetPage(2);
    head->OpenDialog(0, 0, 7, 0);
    CIParameter notAPage(1, 5, 141, 3);
    EXPECT_FALSE(head->SetIntValue(&notAPage, 1));
    EXPECT_EQ(head->GetOpenDialog(), 7);
    EXPECT_EQ(head->GetPage(), 2);
    EXPECT_FALSE(onPage6->IsVisibleNow());
    EXPECT_FALSE(head->SetIntValue(CIParameter::Find(5, 140, 3), 1));
    EXPECT_EQ(head->GetOpenDialog(), 0);
    EXPECT_EQ(head->GetPage(), 6);
    EXPECT_TRUE(onPage6->IsVisibleNow());

    // A controller that edits a widget needs one: none after a command.
    needsTarget = true;
    head->OpenDialog(0, 0, 7, 0);
    EXPECT_EQ(head->GetOpenDialog(), 0);
}

TEST_F(GuiManager, EffectEditorCommandsToggleTheirDialogs)
{
    struct Case { int command, dialogId; };
    for (const Case c : {Case{111, 6}, Case{112, 7}, Case{113, 8}, Case{171, 11}}) {
        Add("DLOG", 0, -1, 0, 3, c.dialogId, 50, 50, 200, 100);
        TestWidget* button = Add("BTTN", 3, c.command, 0, 2, 0, 10, 10, 20, 20);
        ASSERT_EQ(button->binding.index, uint32_t(c.command));
        needsTarget = false;
        EXPECT_TRUE(head->SetFloatValue(&button->binding, 1.0f));
        EXPECT_EQ(head->GetOpenDialog(), c.dialogId) << c.command;
        if (c.command == 171)
            EXPECT_GT(synth->GetGlobalParameter(23), 0.0f);
        else
            EXPECT_EQ(synth->GetParameter(315 + c.command - 111), 1.0f);
        EXPECT_TRUE(head->SetFloatValue(&button->binding, 1.0f));
        EXPECT_EQ(head->GetOpenDialog(), 0);
        head->DeleteObject(button);
    }
}

TEST_F(GuiManager, HintsRedrawsAndPolling)
{
    TestWidget* a = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
    TestWidget* b = Add("KNOB", 1, 3, 0, 2, 0, 300, 100, 40, 40);
    Ticks(2);
    window.shown.clear();
    // Nothing changed: nothing drawn, nothing shown.
    const int drawsA = a->draws, drawsB = b->draws;
    head->OnIdle();
    EXPECT_TRUE(window.shown.empty());
    EXPECT_EQ(a->draws, drawsA);
    EXPECT_EQ(b->draws, drawsB);
    EXPECT_GT(a->idles, 0);
    // A value polled by one widget redraws its rectangle only.
    synth->SetMixerParameter(3, 0.9f);
    head->OnIdle();
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].x, b->x);
    EXPECT_EQ(window.shown[0].w, b->w);
    EXPECT_EQ(a->draws, drawsA);

    // A hint after one resting tick over the widget, once.
    head->OnMouseMove(0, 110, 110);
    EXPECT_TRUE(a->IsActive());
    head->OnIdle();  // the hover highlight's redraw
    head->OnIdle();  // the pointer moved since the last look
    EXPECT_FALSE(head->IsHintShown());
    head->OnIdle();
    EXPECT_TRUE(head->IsHintShown());
    const GuiRect box = head->GetHintBox();
    EXPECT_EQ(box.left, 122);
    // Under the line below the knob, where its value shows, not over it.
    EXPECT_EQ(box.top, 140 + dc.Font().GetHeight() + 4);
    const uint8_t* p = dc.GetBackSurface()->PixelAddress(box.left + 2, box.bottom - 2);
    EXPECT_NEAR(p[0], 0xC8, 1);  // pale yellow: blue, green, red
    EXPECT_NEAR(p[1], 0xFF, 1);
    EXPECT_NEAR(p[2], 0xFF, 1);
    head->OnMouseMove(0, 5, 5);
    head->OnIdle();
    EXPECT_FALSE(head->IsHintShown());
    head->OnMouseMove(0, 111, 111);
    Ticks(4);
    EXPECT_FALSE(head->IsHintShown());  // not again for the same widget
    // Near the right edge the box moves left to stay inside.
    TestWidget* edge = Add("KNOB", 0, 16, 0, 2, 0, 930, 300, 30, 30);
    head->OnMouseMove(0, 950, 310);
    Ticks(4);
    ASSERT_TRUE(head->IsHintShown());
    EXPECT_EQ(head->GetHintBox().right, 960);
    EXPECT_EQ(head->GetHover(), edge);
}

// A menu chosen by a click elsewhere in the window: the widget that opened
// it shows no hint at the place the pointer left when the menu opened. A
// left-click menu's opener lets go with the menu: what the pointer meets
// next lights up and shows its hint.
TEST_F(GuiManager, NoHintForTheOpenerAfterAMenuClosesByAClick)
{
    for (const bool byLeftClick : {false, true})
    for (const bool onARow : {true, false}) {
        SCOPED_TRACE(byLeftClick ? "left-click menu" : "context menu");
        TestWidget* opener = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
        (byLeftClick ? opener->leftClickMenu : opener->contextMenu) = 100;
        head->OnMouseMove(0, 110, 110);
        if (byLeftClick) {
            head->OnMouseDown(1, 110, 110);
            head->OnMouseUp(0, 110, 110);
        } else {
            head->OnContextMenu(110, 110);  // before the hint's resting tick
        }
        ASSERT_TRUE(head->Menu().IsOpen());
        ASSERT_FALSE(head->IsHintShown());
        const GuiRect body = head->Menu().GetBody();
        int closedAt = 500;
        if (onARow) {
            for (int y = body.top + 1; y < body.bottom && head->Menu().IsOpen(); closedAt = y, y += 4) {
                head->OnMouseMove(0, body.left + 10, y);
                head->OnMouseDown(1, body.left + 10, y);
                head->OnMouseUp(0, body.left + 10, y);
            }
            EXPECT_EQ(opener->menuValues.size(), 1u);
        } else {
            head->OnMouseDown(1, 600, 500);  // outside: closes it
            head->OnMouseUp(0, 600, 500);
        }
        ASSERT_FALSE(head->Menu().IsOpen());
        Ticks(4);
        EXPECT_FALSE(head->IsHintShown()) << "row " << onARow;
        EXPECT_FALSE(opener->IsActive()) << "row " << onARow;
        // Back over it, the hint comes as usual.
        head->OnMouseMove(0, 112, 112);
        Ticks(4);
        EXPECT_TRUE(head->IsHintShown()) << "row " << onARow;
        EXPECT_TRUE(opener->IsActive()) << "row " << onARow;
        head->OnDoubleClick(1, onARow ? body.left + 10 : 600, closedAt);  // its first click closed the menu
        EXPECT_EQ(background->downY + opener->downY, 0) << "row " << onARow;
        head->OnDoubleClick(1, 110, 110);  // a press like any other
        EXPECT_EQ(head->Menu().IsOpen(), byLeftClick) << "row " << onARow;
        head->OnMouseMove(0, 600, 500);
        head->OnIdle();
        head->DeleteObject(opener);
    }
    // A single press after a menu closed by a click beside it is a press of its own.
    TestWidget* knob = Add("KNOB", 0, 16, 0, 2, 0, 300, 300, 40, 40);
    knob->contextMenu = 100;
    head->OnContextMenu(310, 310);
    head->OnMouseDown(1, 310, 310), head->OnMouseUp(0, 310, 310);
    EXPECT_EQ(head->GetHover(), knob);
    head->OnMouseDown(1, 310, 320);
    EXPECT_EQ(knob->downY, 320);
    // A long list that a press opened lies under the pointer: the release and a double click's
    // second click choose nothing; a later click, or a release after a drag onto another row, does.
    TestWidget* field = Add("SLCT", 0, 16, 0, 2, 0, 100, 600, 60, 16);
    field->leftClickMenu = 272;  // 33 voice counts: moved up to fit the window
    head->OnMouseDown(1, 120, 606);
    const int under = head->Menu().ItemAt(120, 606), above = head->Menu().ItemAt(120, 580);
    ASSERT_TRUE(under >= 0 && above >= 0 && under != above);
    head->OnMouseUp(0, 120, 606);
    head->OnDoubleClick(1, 120, 606), head->OnMouseUp(0, 120, 606);
    EXPECT_TRUE(head->Menu().IsOpen() && field->menuValues.empty());
    head->OnMouseDown(1, 120, 606), head->OnMouseUp(0, 120, 606);  // a later click
    EXPECT_EQ(head->GetHover(), field);  // under the pointer where the list closed
    head->OnMouseDown(1, 120, 606), head->OnMouseMove(1, 120, 580), head->OnMouseUp(0, 120, 580);
    EXPECT_EQ(field->menuValues, (std::vector<int>{head->Menu().GetEntryValue(under), head->Menu().GetEntryValue(above)}));
}

TEST_F(GuiManager, ColourMenuParameterMenuAndRedrawsWhileTheMenuIsOpen)
{
    head->OnContextMenu(10, 10);  // the background's corner
    ASSERT_TRUE(head->Menu().IsOpen());
    EXPECT_EQ(head->GetMenuId(), GUIHead::kColourMenu);
    ASSERT_NE(head->Menu().GetChild(), nullptr);  // its first row opens "Colors (normal)"
    // Redraws while it is open only mark a full redraw.
    const int draws = background->draws;
    head->RedrawAll();
    EXPECT_EQ(background->draws, draws);
    EXPECT_TRUE(head->IsRedrawAllPending());
    head->OnKey(40, 0, 0);
    head->OnKey(13, 0, 0);  // "RBG", value 1
    EXPECT_FALSE(head->Menu().IsOpen());
    EXPECT_EQ(dc.GetColorEffect(), 2);

    // The parameter menu of a sound value: "MIDI learn" reaches the target's
    // own handler only when nobody else takes it; copy fills the clipboard.
    TestWidget* knob = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
    head->SetEditingAllowed(true);
    head->OnContextMenu(110, 110);
    ASSERT_TRUE(head->Menu().IsOpen());
    EXPECT_EQ(head->GetMenuId(), GUIHead::kWidgetEditMenu);
    EXPECT_EQ(head->GetMenuTarget(), knob);
    head->Menu().Close();
    // A controller bound to the value, then "MIDI forget".
    EXPECT_TRUE(head->SetController(&knob->binding, 20));
    head->OnParameterMenu(54);
    EXPECT_EQ(head->GetController(&knob->binding), -1);
    head->OnParameterMenu(55);
    EXPECT_EQ(head->GetClipboard(), knob);
    head->OnParameterMenu(51);  // delete
    EXPECT_EQ(head->GetClipboard(), nullptr);
    EXPECT_EQ(head->GetMenuTarget(), nullptr);
    EXPECT_EQ(head->Objects().size(), 1u);

    // A widget's own menu: the result goes to the widget.
    head->SetEditingAllowed(false);
    TestWidget* own = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
    own->contextMenu = 100;
    head->OnContextMenu(110, 110);
    ASSERT_TRUE(head->Menu().IsOpen());
    head->OnKey(40, 0, 0);
    head->OnKey(13, 0, 0);
    EXPECT_EQ(own->menuValues, std::vector<int>{1});
    EXPECT_EQ(head->GetMenuTarget(), nullptr);
    // A right click on empty space (no background here) opens the layout
    // menu with no target; the properties dialog then has none to edit.
    head->DeleteObject(background);
    head->OnContextMenu(600, 600);
    EXPECT_EQ(head->GetMenuId(), GUIHead::kLayoutMenu);
    EXPECT_EQ(head->GetMenuTarget(), nullptr);
}

TEST_F(GuiManager, DeletingAWidgetInUseLeavesNothingPointingAtIt)
{
    Add("DLOG", 0, -1, 0, 3, 7, 400, 300, 200, 100);
    TestWidget* k = Add("KNOB", 0, 16, 0, 2, 0, 100, 100, 40, 40);
    head->OnMouseMove(0, 110, 110);
    Ticks(3);
    ASSERT_EQ(head->GetHinted(), k);
    head->OnContextMenu(110, 110);
    head->Menu().Close();
    ASSERT_EQ(head->GetMenuTarget(), k);
    head->OnParameterMenu(55);
    head->OpenDialog(0, 0, 7, 0);  // the dialog edits the menu target
    ASSERT_EQ(head->GetDialogController()->target, k);
    head->OnMouseDown(1, 110, 110);
    ASSERT_EQ(head->GetCaptured(), k);
    head->DeleteObject(k);
    EXPECT_EQ(head->GetCaptured(), nullptr);
    EXPECT_EQ(head->GetHover(), nullptr);
    EXPECT_EQ(head->GetHinted(), nullptr);
    EXPECT_EQ(head->GetMenuTarget(), nullptr);
    EXPECT_EQ(head->GetClipboard(), nullptr);
    EXPECT_EQ(head->GetOpenDialog(), 0);
    // The synthesizer going first takes its editor and menu table view along.
    head->OnContextMenu(5, 5);
    synth.reset();
    EXPECT_FALSE(head->Menu().IsOpen());
    head->OnContextMenu(5, 5);
    EXPECT_FALSE(head->SetFloatValue(CIParameter::Find(0, 16, 0), 0.5f));
}

TEST_F(GuiManager, RandomEventsLeaveNoDanglingState)
{
    head.reset();
    synth.reset();
    dc.FreeSurfaces();
    Build(quiet);
    TestWidget::light = true;
    std::mt19937 rng(1234);
    auto pick = [&](int n) { return int(rng() % uint32_t(n)); };
    const char* tags[] = {"KNOB", "BTTN", "EDIT", "DLOG", "EDTS"};
    struct Binding { uint32_t group; int32_t index; uint32_t sub; };
    const Binding bindings[] = {{0, 16, 0}, {1, 3, 0}, {2, 23, 0}, {3, 111, 0}, {5, 140, 2},
                                {4, 0, 1},  {4, 0, 2}, {0, 315, 0}, {0, 9999, 0}, {0, -1, 0}};
    const int keys[] = {13, 27, 37, 38, 39, 40, 116, 65, 0};
    const auto start = std::chrono::steady_clock::now();
    int events = 0;
    for (; events < 100000; ++events) {
        if ((events & 255) == 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(4)) break;
        const int x = pick(180) - 10, y = pick(140) - 10;
        switch (pick(16)) {
        case 0: case 1: case 2: head->OnMouseMove(uint32_t(pick(2)), x, y); break;
        case 3: head->OnMouseDown(1, x, y); break;
        case 4: head->OnMouseUp(0, x, y); break;
        case 5: head->OnDoubleClick(1, x, y); break;
        case 6: head->OnKey(keys[pick(9)], 0, 0); break;
        case 7: head->OnWheel(pick(2) ? 38 : 40, 0, 0, x, y); break;
        case 8: head->OnContextMenu(x, y); break;
        case 9: case 10: head->OnIdle(); break;
        case 11: head->OpenDialog(x, y, pick(9), 0); break;
        case 12: head->OnMenuResult(pick(kMenuRows + 2) - 1); break;
        case 13: {
            if (head->Objects().size() > 40) break;
            const Binding& b = bindings[pick(10)];
            TestWidget* w = Add(tags[pick(5)], b.group, b.index, b.sub, pick(4), pick(3) ? 0 : 7,
                                pick(150), pick(110), 5 + pick(40), 5 + pick(40));
            w->takeKeys = pick(2), w->contextMenu = pick(3) ? 0 : 100;
            break;
        }
        case 14:
            if (head->Objects().size() > 1) {
                // Prefer what is in use right now.
                GUIObject* inUse[] = {head->GetCaptured(), head->GetHover(), head->GetMenuTarget(),
                                      head->GetClipboard(), head->Objects()[size_t(pick(int(head->Objects().size())))].get()};
                if (GUIObject* w = inUse[pick(5)]) head->DeleteObject(w);
            }
            break;
        default:
            head->OnParameterMenu(50 + pick(6));
            head->SetEditMode(pick(8) == 0);
            break;
        }
        // Whatever the manager still points at is in its list.
        for (GUIObject* p : {head->GetCaptured(), head->GetHover(), head->GetMenuTarget(), head->GetClipboard()})
            ASSERT_TRUE(!p || std::any_of(head->Objects().begin(), head->Objects().end(),
                                          [&](const auto& o) { return o.get() == p; })) << "event " << events;
    }
    TestWidget::light = false;
    EXPECT_GT(events, 1000);
    EXPECT_GT(quiet.shows, 0);
}

}  // namespace
