// The pop-up menu on a memory surface: highlight and keys, clicks that give
// a row and restore the picture, submenus by hover and keys, placement at
// the window's edges.
#include "gui/CUIMenu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/GUIObject.h"
#include "tests/gui/GuiTestSupport.h"

namespace {

class PopupMenu : public ::testing::Test {
protected:
    void TearDown() override { std::copy(savedMenus.begin(), savedMenus.end(), MenuTableRows()); }
    void SetUp() override
    {
        savedMenus.assign(MenuTableRows(), MenuTableRows() + kMenuRows);
        ASSERT_TRUE(dc.CreateMemory(960, 650));
        // A picture to restore: every pixel different from its neighbours.
        CDIBitmap* s = dc.GetBackSurface();
        for (int y = 0; y < s->Height(); ++y)
            for (int x = 0; x < s->Width(); ++x) {
                uint8_t* p = s->PixelAddress(x, y);
                p[0] = uint8_t(x * 7 + y);
                p[1] = uint8_t(y * 3);
                p[2] = uint8_t(x ^ y);
            }
        before = Pixels();
    }
    std::vector<uint8_t> Pixels()
    {
        const CDIBitmap* s = dc.GetBackSurface();
        return std::vector<uint8_t>(s->Bits(), s->Bits() + s->ImageSize());
    }
    const MenuEntry& Highlighted(const CUIMenu& m)
    {
        view.Open(m.GetMenuId());
        return *view.FindPosition(m.GetHighlight());
    }
    // Centre of the item at `position` in window pixels.
    GuiPoint Centre(const CUIMenu& m, uint32_t position)
    {
        view.Open(m.GetMenuId());
        const MenuRect r = view.ItemRect(position);
        return {m.GetBody().left + (r.left + r.right) / 2, m.GetBody().top + (r.top + r.bottom) / 2};
    }

    CUnifiedDC dc;
    CUIMenuResource view;
    CUIMenu menu{&view};
    std::vector<uint8_t> before;
    std::vector<MenuEntry> savedMenus;
};

TEST_F(PopupMenu, KeysWalkTheParameterMenuAndEnterGivesTheRow)
{
    ASSERT_TRUE(menu.Open(&dc, 100, 100, 2));
    EXPECT_STREQ(Highlighted(menu).text, "Modulation");
    EXPECT_EQ(menu.Key(40), -1);  // Down over the separator
    EXPECT_STREQ(Highlighted(menu).text, "MIDI learn");
    EXPECT_EQ(menu.Key(40), -1);
    EXPECT_EQ(menu.Key(40), -1);  // no wrap-around at the end
    EXPECT_STREQ(Highlighted(menu).text, "MIDI forget");
    EXPECT_EQ(menu.Key(38), -1);
    const int row = menu.Key(13);
    EXPECT_EQ(menu.GetEntryValue(row), 53);
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(Pixels(), before);
}

TEST_F(PopupMenu, AClickOnARowGivesItsResultAndRestoresThePicture)
{
    const int values[] = {0, 1, 2, 3, 4, 64, 65};
    for (int value : values) {
        ASSERT_TRUE(menu.Open(&dc, 200, 150, 100));
        view.Open(100);
        uint32_t position = 0;
        int expected = -1;
        for (const MenuEntry* e = view.First(); e; e = view.Next())
            if (e->type == kMenuItem && e->value == value) {
                position = e->position;
                expected = int(e->resultId);
            }
        ASSERT_NE(position, 0u) << value;
        const GuiPoint p = Centre(menu, position);
        menu.MouseMove(0, p.x, p.y);
        EXPECT_NE(Pixels(), before);
        const int row = menu.Click(1, p.x, p.y);
        EXPECT_EQ(row, expected);
        EXPECT_EQ(menu.GetEntryValue(row), value);
        EXPECT_FALSE(menu.IsOpen());
        EXPECT_EQ(Pixels(), before) << "value " << value;
    }
}

TEST_F(PopupMenu, SubmenusFollowTheHoverAndTheArrowKeys)
{
    dc.SetColor(0x505050);  // a mid-grey window, for the picture
    dc.FillRect(0, 0, 960, 650, 1.0f);
    before = Pixels();
    CUIMenuResource::SetChecked(100, 1, 1, false);
    ASSERT_TRUE(menu.Open(&dc, 100, 100, 100));
    view.Open(100);
    uint32_t formant = 0;
    for (const MenuEntry* e = view.First(); e; e = view.Next())
        if (strcmp(e->text, "Formant") == 0) formant = e->position;
    ASSERT_NE(formant, 0u);
    GuiPoint p = Centre(menu, formant);
    EXPECT_TRUE(menu.MouseMove(0, p.x, p.y));
    ASSERT_NE(menu.GetChild(), nullptr);
    EXPECT_EQ(menu.GetChild()->GetMenuId(), 1000u);
    EXPECT_EQ(menu.GetChild()->GetBody().left, menu.GetBody().right - 2 + CUIMenu::kSubmenuGap);
    // Into the submenu and a click there: the chain closes and the picture
    // comes back whole.
    const GuiPoint q = Centre(*menu.GetChild(), 3);
    EXPECT_TRUE(menu.MouseMove(0, q.x, q.y));
    EXPECT_EQ(menu.GetChild()->GetHighlight(), 3u);
    // Another row of the parent closes the submenu.
    p = Centre(menu, 1);
    EXPECT_TRUE(menu.MouseMove(0, p.x, p.y));
    EXPECT_EQ(menu.GetChild(), nullptr);
    EXPECT_FALSE(menu.MouseMove(0, 5, 5));

    // Keys: Right opens the highlighted link, Left closes it, Enter on a
    // link opens it too and chooses nothing, Escape closes everything.
    for (uint32_t i = 1; i < formant; ++i) menu.Key(40);
    EXPECT_EQ(menu.Key(39), -1);
    ASSERT_NE(menu.GetChild(), nullptr);
    EXPECT_EQ(menu.Key(37), -1);
    EXPECT_EQ(menu.GetChild(), nullptr);
    EXPECT_EQ(menu.Key(13), -1);
    ASSERT_NE(menu.GetChild(), nullptr);
    EXPECT_TRUE(menu.IsOpen());
    menu.Key(40);
    png::Write(*dc.GetBackSurface(), "popup_menu.png");  // to look at
    const int row = menu.Key(13);
    EXPECT_EQ(menu.GetEntryValue(row), 6);  // "Formant 2"
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(Pixels(), before);

    ASSERT_TRUE(menu.Open(&dc, 100, 100, 100));
    EXPECT_EQ(menu.Key(27), -1);
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(Pixels(), before);
}

TEST_F(PopupMenu, SeparatorsFrameAndOutsideChooseNothing)
{
    ASSERT_TRUE(menu.Open(&dc, 300, 200, 2));
    const GuiRect body = menu.GetBody();
    view.Open(2);
    const MenuRect sep = view.ItemRect(2);  // the separator
    const int inside[][2] = {{body.left + 20, body.top + (sep.top + sep.bottom) / 2},
                             {body.left, body.top + 10},
                             {body.left + 10, body.top + 1},
                             {body.right - 1, body.top + 10}};
    for (const auto& p : inside) {
        EXPECT_EQ(menu.Click(1, p[0], p[1]), -1) << p[0] << "," << p[1];
        EXPECT_TRUE(menu.IsOpen());
        menu.CloseIfOutside(1, p[0], p[1]);
        EXPECT_TRUE(menu.IsOpen());
    }
    menu.CloseIfOutside(1, body.right + 10, body.top);
    EXPECT_FALSE(menu.IsOpen());
    EXPECT_EQ(Pixels(), before);
    // Font 0 whatever the surface's font was left at.
    CUIMenuResource reference;
    CGLFont font0;
    reference.SetFont(&font0);
    ASSERT_TRUE(reference.Open(2));
    dc.Font().SetFont(3);
    ASSERT_TRUE(menu.Open(&dc, 300, 200, 2));
    EXPECT_EQ(menu.GetBody().right - menu.GetBody().left, reference.GetWidth());
    EXPECT_EQ(menu.GetBody().bottom - menu.GetBody().top, reference.GetHeight());
    EXPECT_EQ(dc.Font().GetFont(), 3);
    menu.Close();
    dc.Font().SetFont(0);
    // A menu id without rows does not open.
    EXPECT_FALSE(menu.Open(&dc, 10, 10, 9999));
    EXPECT_FALSE(menu.IsOpen());
}

TEST_F(PopupMenu, MenusStayInsideTheWindow)
{
    ASSERT_TRUE(menu.Open(&dc, 900, 600, 2));
    const GuiRect saved = menu.GetSavedRect();
    const int sw = saved.right - saved.left, sh = saved.bottom - saved.top;
    EXPECT_EQ(saved.left, 960 - sw);
    EXPECT_EQ(saved.top, 650 - sh);
    menu.Close();
    // A submenu that would pass the right edge opens left of its row.
    view.Open(100);
    const int width = view.GetWidth();
    ASSERT_TRUE(menu.Open(&dc, 960 - width - 20, 100, 100));
    for (int i = 0; i < 5; ++i) menu.Key(40);
    menu.Key(39);
    ASSERT_NE(menu.GetChild(), nullptr);
    const GuiRect row = {menu.GetBody().left + 2, 0, menu.GetBody().right - 2, 0};
    const GuiRect child = menu.GetChild()->GetSavedRect();
    EXPECT_EQ(child.left, row.left - (child.right - child.left) - CUIMenu::kSubmenuGap + 4);
    EXPECT_EQ(Pixels().size(), before.size());
    menu.Close();
    EXPECT_EQ(Pixels(), before);
}

}  // namespace
