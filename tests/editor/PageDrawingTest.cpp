// The shipped pages as the pointer and the keys meet them, headless: a
// widget redrawn on its own (a press, a drag, a value that changed) looks
// exactly as after a full redraw, so no text of before stays beside the new;
// the pointer leaving a widget or the window takes its value text and its
// hint away; text sits in the middle of its field; keys reach a knob only
// while it is hovered or held.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "params/CPIBase.h"
#include "platform/CGlobalData.h"
#include "tests/editor/ProgramContent.h"
#include "tools/PngFile.h"

namespace {

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

using Pixels = std::vector<uint8_t>;

class ShippedPages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The layout, the factory bank and the templates, as the program
        // starts with them: the texts the pages show are the real ones.
        testutil::CopyProgramContent();
        s_synth = new CSynth();
        s_synth->SetProgram(0);
    }
    static void TearDownTestSuite()
    {
        delete s_synth;
        s_synth = nullptr;
        testutil::RemoveProgramContent();
    }
    void SetUp() override
    {
        synth = s_synth;
        ASSERT_TRUE(dc.CreateMemory(960, 650, 24));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        head->LoadLayout();
        ASSERT_GT(head->Objects().size(), 100u) << "the shipped layout did not load";
        for (const auto& w : head->Objects())
            if (Is(*w, "BKGD"))
                for (int p = 0; p < 16; ++p)
                    if (w->properties[p]) pages.push_back(p);
        ASSERT_FALSE(pages.empty());
    }
    void TearDown() override
    {
        synth->editor->SetGUI(nullptr);
        head.reset();
    }

    // The surface, top row first, 3 bytes a pixel.
    Pixels Shot()
    {
        Pixels out;
        ShotInto(out);
        return out;
    }
    // The same into a buffer kept from one picture to the next.
    void ShotInto(Pixels& out)
    {
        const CDIBitmap* s = dc.GetBackSurface();
        out.resize(960 * 650 * 3);
        for (int y = 0; y < 650; ++y) memcpy(&out[size_t(y) * 960 * 3], s->PixelAddress(0, y), 960 * 3);
    }
    // How many pixels differ, and where the first one is.
    static std::string Diff(const Pixels& a, const Pixels& b)
    {
        if (a == b) return "";
        int count = 0, first = -1;
        for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3)
            if (memcmp(&a[i], &b[i], 3) != 0 && count++ == 0) first = int(i / 3);
        return count == 0 ? "" : std::to_string(count) + " pixels, the first at " + std::to_string(first % 960) +
                                     "," + std::to_string(first / 960);
    }

    // A point of the page where only the background lies.
    bool BackgroundPoint(int& px, int& py)
    {
        for (py = 645; py > 80; py -= 7)
            for (px = 955; px > 0; px -= 13) {
                GUIObject* w = head->WidgetAt(px, py);
                if (w && Is(*w, "BKGD")) return true;
            }
        return false;
    }
    // The widgets a pointer can rest on, on the current page.
    std::vector<GUIObject*> Hoverable()
    {
        std::vector<GUIObject*> out;
        for (const auto& w : head->Objects()) {
            if (!w->IsVisibleNow() || w->layer <= 1 || Is(*w, "DLOG")) continue;
            if (head->WidgetAt(w->x + w->w / 2, w->y + w->h / 2) != w.get()) continue;
            out.push_back(w.get());
        }
        return out;
    }
    // Light pixels in a hovered knob's caption strip outside the box of
    // the value it shows there: what is left of a caption.
    int InkBesideTheValue(GUIObject& knob)
    {
        char value[128] = "";
        head->GetValueText(&knob.binding, value, sizeof value);
        if (!value[0]) return 0;  // nothing to show: the caption stays
        const int fw = std::max(knob.w, 32), fh = std::max(knob.h, 32);
        const int cx = knob.x + fw / 2, half = (dc.Font().GetTextWidth(value) + 7) / 8 + 1;
        const int top = knob.y + fh, bottom = top + dc.Font().GetHeight() + 1;
        int ink = 0;
        for (int y = top; y < bottom && y < 650; ++y)
            for (int x = std::max(knob.x - 20, 0); x < std::min(knob.x + fw + 20, 960); ++x) {
                if (x >= cx - half && x <= cx + half) continue;
                const uint8_t* p = dc.GetBackSurface()->PixelAddress(x, y);
                ink += std::min({p[0], p[1], p[2]}) > 0xB0;
            }
        return ink;
    }
    void Idle(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) head->OnIdle();
    }

    static inline CSynth* s_synth = nullptr;
    CSynth* synth = nullptr;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
    std::vector<int> pages;
};

TEST_F(ShippedPages, AWidgetRedrawnAloneLooksAsInAFullRedrawWhenHoveredAndLeft)
{
    for (int page : pages) {
        head->SetPage(page);
        int bx = 0, by = 0;
        ASSERT_TRUE(BackgroundPoint(bx, by)) << "page " << page;
        head->OnMouseMove(0, bx, by);
        Idle(64);  // what moves by itself (the 8D pad's points) comes to rest
        head->RedrawAll();
        const Pixels before = Shot();
        Pixels alone, full;
        for (GUIObject* w : Hoverable()) {
            const std::string what = std::string(w->GetTag()) + " " + std::to_string(w->binding.group) + "/" +
                                     std::to_string(w->binding.index) + " on page " + std::to_string(page);
            // The pointer comes; the widget redraws itself at once, as a
            // press or a polled value does before the next full redraw.
            head->OnMouseMove(0, w->x + w->w / 2, w->y + w->h / 2);
            w->Update();
            Idle();  // the hint line follows the pointer on the next tick
            ShotInto(alone);
            std::string hovered;
            if (alone != before) {  // else the hover shows nothing to compare
                head->RedrawAll();
                ShotInto(full);
                hovered = Diff(alone, full);
            }
            EXPECT_EQ(hovered, "") << what << " while hovered";
            if (Is(*w, "KNOB")) {
                EXPECT_EQ(InkBesideTheValue(*w), 0) << what << ": its caption shows beside its value";
            }
            // The pointer goes and the widget redraws itself once more: the
            // page is as before the pointer came.
            head->OnMouseMove(0, bx, by);
            EXPECT_FALSE(w->IsActive()) << what;
            w->Update();
            Idle();
            ShotInto(full);
            const std::string after = Diff(before, full);
            EXPECT_EQ(after, "") << what << " after the pointer left";
            if (!hovered.empty() || !after.empty()) {
                png::Write(*dc.GetBackSurface(), "partial-redraw.png");
                return;
            }
        }
    }
    // So in a dialog whose panel prints a caption ("Coarse" of the tuning one).
    head->OpenDialog(0, 0, 21, 0);
    GUIObject* tuningKnob = nullptr;
    for (const auto& w : head->Objects())
        if (Is(*w, "KNOB") && w->dialogId == 21 && w->IsVisibleNow()) {
            tuningKnob = w.get();
            head->OnMouseMove(0, w->x + 16, w->y + 16);
            Idle();
            EXPECT_EQ(InkBesideTheValue(*w), 0) << "knob " << w->binding.index << " of the tuning dialog";
        }
    ASSERT_NE(tuningKnob, nullptr) << "the tuning dialog shows no knob";
    // With an 8D axis armed the hovered knob shows the axis and its depth instead.
    const Pixels plain = Shot();
    synth->parameters.ArmAssignSource(0, true);
    tuningKnob->Update();
    Idle();
    const Pixels armed = Shot();
    synth->parameters.ArmAssignSource(-1, false);
    EXPECT_NE(Diff(plain, armed), "");
}

TEST_F(ShippedPages, LeavingTheWindowTakesAwayTheValueTextAndTheHint)
{
    // A knob with a hint, on the first page that has one.
    GUIObject* knob = nullptr;
    for (size_t i = 0; i < pages.size() && !knob; ++i) {
        head->SetPage(pages[i]);
        for (GUIObject* w : Hoverable())
            if (Is(*w, "KNOB") && w->GetHintId(0, 0) && strlen(w->GetHintId(0, 0)) > 1) knob = w;
    }
    ASSERT_NE(knob, nullptr);
    int bx = 0, by = 0;
    ASSERT_TRUE(BackgroundPoint(bx, by));
    head->OnMouseMove(0, bx, by);
    Idle(2);
    const Pixels before = Shot();
    head->OnMouseMove(0, knob->x + 10, knob->y + 10);
    Idle(3);
    ASSERT_TRUE(head->IsHintShown());
    ASSERT_TRUE(knob->IsActive());
    EXPECT_NE(Diff(before, Shot()), "");
    head->OnMouseLeave();
    Idle();
    EXPECT_FALSE(head->IsHintShown());
    EXPECT_FALSE(knob->IsActive());
    EXPECT_EQ(Diff(before, Shot()), "");
    // Resting outside shows no hint again.
    Idle(4);
    EXPECT_FALSE(head->IsHintShown());

    // A knob in the window's bottom right corner: its whole hint is seen.
    GUIObject* low = head->AddObject("KNOB", 0, 16, 0, 2, 0, 926, 618, 32, 32);
    ASSERT_NE(low, nullptr);
    head->OnMouseMove(0, 955, 647);
    Idle(3);
    ASSERT_TRUE(head->IsHintShown());
    const GuiRect box = head->GetHintBox();
    EXPECT_TRUE(box.left >= 0 && box.top >= 0 && box.right <= 960 && box.bottom <= 650)
        << box.left << "," << box.top << " - " << box.right << "," << box.bottom;
    head->DeleteObject(low);
}

// A press on a selection whose hint shows opens its list at once: the hint
// goes before the list opens, none of it stays beside the list.
TEST_F(ShippedPages, AHintGoesWhenAPressOpensAList)
{
    // LFO 1's wave: a plain list, no submenu that could open over the hint.
    GUIObject* field = nullptr;
    head->SetPage(4);
    for (GUIObject* w : Hoverable())
        if (Is(*w, "SLCT") && w->binding.group == 0 && w->binding.index == 213) field = w;
    ASSERT_NE(field, nullptr);
    const int px = field->x + 10, py = field->y + 8;
    head->OnMouseMove(0, px, py);
    Idle();
    ASSERT_FALSE(head->IsHintShown());
    head->RedrawAll();
    const Pixels before = Shot();
    Idle(2);
    ASSERT_TRUE(head->IsHintShown());
    const GuiRect hint = head->GetHintBox();
    head->OnMouseDown(1, px, py);
    ASSERT_GT(head->GetMenuId(), 0);
    const GuiRect menu = head->Menu().GetSavedRect();
    const Pixels open = Shot();
    int left = 0;
    for (int y = std::max(hint.top, 0); y < std::min(hint.bottom, 650); ++y)
        for (int x = std::max(hint.left, 0); x < std::min(hint.right, 960); ++x) {
            if (x >= menu.left && x < menu.right && y >= menu.top && y < menu.bottom) continue;
            const size_t i = (size_t(y) * 960 + size_t(x)) * 3;
            left += memcmp(&open[i], &before[i], 3) != 0;
        }
    EXPECT_EQ(left, 0) << "pixels of the hint beside the list";
    head->Menu().Close();
    head->OnMouseUp(0, px, py);
}

TEST_F(ShippedPages, TextSitsInTheMiddleOfItsField)
{
    const CDIBitmap* s = dc.GetBackSurface();
    int checked = 0;
    for (int page : pages) {
        head->SetPage(page);
        head->RedrawAll();
        for (const auto& w : head->Objects()) {
            if (!w->IsVisibleNow() || w->h < 14) continue;
            if (!Is(*w, "SLCT") && !Is(*w, "TEXT") && !Is(*w, "SPIN") && !Is(*w, "INFO") && !Is(*w, "EDIT") &&
                !Is(*w, "EDTS") && !Is(*w, "BTTN"))
                continue;
            // The rows holding the text's ink: pixels far from the field's
            // face colour (taken at its left edge, inside the frame).
            const uint8_t* face = s->PixelAddress(w->x + 1, w->y + w->h / 2);
            int top = -1, bottom = -1;
            for (int y = w->y + 1; y < w->y + w->h - 1; ++y)
                for (int x = w->x + 2; x < w->x + w->w - 2; ++x) {
                    const uint8_t* p = s->PixelAddress(x, y);
                    if (std::abs(p[0] - face[0]) + std::abs(p[1] - face[1]) + std::abs(p[2] - face[2]) > 240) {
                        if (top < 0) top = y;
                        bottom = y;
                        break;
                    }
                }
            if (top < 0) continue;  // an empty field
            ++checked;
            const int above = top - w->y, below = w->y + w->h - 1 - bottom;
            EXPECT_LE(std::abs(above - below), 3)
                << w->GetTag() << " " << w->binding.group << "/" << w->binding.index << " on page " << page
                << ": " << above << " pixels above its text, " << below << " below";
        }
    }
    EXPECT_GT(checked, 20);
}

TEST_F(ShippedPages, NoTextLeavesItsField)
{
    // Each widget drawn alone on the page's picture: what it changes lies
    // in its rectangle or in the caption strip centred under it (a knob
    // also erases a margin round its face). A text running out of its field
    // sideways, or a caption wider than its strip, changes pixels outside.
    const int textHeight = dc.Font().GetHeight();
    const CDIBitmap* s = dc.GetBackSurface();
    int checked = 0;
    for (int page : pages) {
        head->SetPage(page);
        head->RedrawAll();
        for (const auto& w : head->Objects()) {
            if (!w->IsVisibleNow() || w->layer <= 1 || Is(*w, "DLOG")) continue;
            const bool knob = Is(*w, "KNOB");
            const int fw = knob ? std::max(w->w, 32) : w->w, fh = knob ? std::max(w->h, 32) : w->h;
            const GuiRect face = knob ? GuiRect{w->x - 4, w->y - 4, w->x + fw + 4, w->y + fh + 2} : w->Rect();
            const GuiRect strip{w->x - 20, w->y + std::min(fh, 10), w->x + fw + 20, w->y + fh + textHeight + 3};
            const GuiRect around{std::max(w->x - 40, 0), std::max(w->y - 12, 0), std::min(w->x + fw + 40, 960),
                                 std::min(w->y + fh + textHeight + 12, 650)};
            if (around.right <= around.left || around.bottom <= around.top) continue;
            dc.ClearRect(around.left, around.top, around.right, around.bottom);
            std::vector<uint8_t> picture;
            for (int y = around.top; y < around.bottom; ++y)
                picture.insert(picture.end(), s->PixelAddress(around.left, y),
                               s->PixelAddress(around.left, y) + (around.right - around.left) * 3);
            w->Draw();
            int outside = 0, fx = 0, fy = 0;
            auto inside = [](const GuiRect& r, int x, int y) {
                return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            };
            for (int y = around.top; y < around.bottom; ++y)
                for (int x = around.left; x < around.right; ++x) {
                    const size_t at = (size_t(y - around.top) * size_t(around.right - around.left) +
                                       size_t(x - around.left)) * 3;
                    if (memcmp(s->PixelAddress(x, y), &picture[at], 3) == 0) continue;
                    if (inside(face, x, y) || inside(strip, x, y)) continue;
                    if (outside++ == 0) fx = x, fy = y;
                }
            ++checked;
            EXPECT_EQ(outside, 0) << w->GetTag() << " " << w->binding.group << "/" << w->binding.index << "/"
                                  << w->binding.sub << " on page " << page << " draws outside its field, first at "
                                  << fx << "," << fy;
        }
        head->RedrawAll();
    }
    EXPECT_GT(checked, 100);
}

// The master volume knob of the header.
GUIObject* MasterKnob(GUIHead& head)
{
    for (const auto& w : head.Objects())
        if (Is(*w, "KNOB") && w->binding.group == 2 && w->binding.index == 6 && w->IsVisibleNow()) return w.get();
    return nullptr;
}

TEST_F(ShippedPages, KeysReachAKnobOnlyWhileItIsHoveredOrHeld)
{
    enum { kEnd = 35, kHome = 36 };
    head->SetPage(pages.front());
    GUIObject* master = MasterKnob(*head);
    ASSERT_NE(master, nullptr);
    int bx = 0, by = 0;
    ASSERT_TRUE(BackgroundPoint(bx, by));
    float start = 0.0f;
    ASSERT_TRUE(head->GetFloatValue(&master->binding, start));
    auto value = [&] {
        float v = -1.0f;
        head->GetFloatValue(&master->binding, v);
        return v;
    };
    const int cx = master->x + 16, cy = master->y + 16;

    // Hovered, the knob takes End and Home.
    head->OnMouseMove(0, cx, cy);
    EXPECT_TRUE(head->OnKey(kEnd, 0, 0));
    EXPECT_FLOAT_EQ(value(), 1.0f);
    EXPECT_TRUE(head->OnKey(kHome, 0, 0));
    EXPECT_FLOAT_EQ(value(), 0.0f);

    struct Case {
        const char* what;
        bool releaseSeen;  // the release reached the window
    };
    for (const Case& c : {Case{"released outside the window", true}, Case{"release never seen", false}}) {
        head->SetFloatValue(&master->binding, 0.25f);
        head->OnMouseMove(0, cx, cy);
        head->OnMouseDown(1, cx, cy);
        head->OnMouseMove(1, cx, cy - 10);
        head->OnMouseMove(1, cx + 300, -40);  // out past the window's top edge
        const float dragged = value();
        EXPECT_GT(dragged, 0.25f) << c.what;
        if (c.releaseSeen) head->OnMouseUp(0, cx + 300, -40);
        head->OnMouseLeave();
        // The pointer comes back over the background without the button.
        if (!c.releaseSeen) head->OnMouseMove(0, bx, by);
        EXPECT_FALSE(head->OnKey(kEnd, 0, 0)) << c.what;
        EXPECT_FLOAT_EQ(value(), dragged) << c.what;
    }
    head->SetFloatValue(&master->binding, start);
}

}  // namespace
