// The view over the menu table: value texts, maxima, keyboard steps, the
// layout of one menu and the changes made at run time.
#include "gui/CUIMenuResource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The table is process-wide; every test that writes to it puts it back.
class UIMenuResource : public ::testing::Test {
protected:
    void SetUp() override { m_saved.assign(MenuTableRows(), MenuTableRows() + kMenuRows); }
    void TearDown() override { std::copy(m_saved.begin(), m_saved.end(), MenuTableRows()); }

    static bool SameAsSaved(const std::vector<MenuEntry>& saved)
    {
        for (int i = 0; i < kMenuRows; ++i) {
            const MenuEntry& a = saved[i];
            const MenuEntry& b = CUIMenuResource::Entry(i);
            if (a.menuId != b.menuId || a.position != b.position || a.type != b.type ||
                a.submenu != b.submenu || a.value != b.value || a.checked != b.checked ||
                strcmp(a.text, b.text) != 0 || strcmp(a.shortText, b.shortText) != 0)
                return false;
        }
        return true;
    }
    // Rows seen by walking a menu forward, as a pop-up menu shows them.
    static std::vector<std::string> Shown(uint32_t menuId)
    {
        CUIMenuResource view;
        std::vector<std::string> texts;
        if (!view.Open(menuId)) return texts;
        for (const MenuEntry* e = view.First(); e; e = view.Next()) texts.push_back(e->text);
        return texts;
    }

    std::vector<MenuEntry> m_saved;
    CUIMenuResource m_view;
};

// 10 pixels high, every character 6 pixels wide.
class FixedFont : public IMenuFont {
public:
    int GetHeight() const override { return 10; }
    int GetTextWidth(const char* text) const override { return text ? int(strlen(text)) * 24 : 0; }
};

}  // namespace

TEST_F(UIMenuResource, TextOfValueSearchesSubmenusDepthFirst)
{
    // 110/5: submenu 1200; 110/0: "OFF" has no short text; 120/7: short text
    // of 1212; 120/26: two levels down; 276: presets show no text; 307/0:
    // value 0 stands in 1082 ("+0") before the plain item "0" of the menu;
    // the last four: no such item, no such menu, and free rows are no menu.
    const struct { uint32_t menu; int32_t value; const char* text; } cases[] = {
        {110, 5, "EG 1"}, {110, 0, ""}, {110, 18, "lfo3*AT"}, {120, 7, "FM 3"}, {120, 89, "TMorph"},
        {120, 26, "EG1 S"}, {140, 6, "24dB LP II"}, {3, 5, "BRG"}, {3, 16, "invers Black&White"},
        {276, 3, ""}, {307, 0, "+0"}, {307, -17, "-5"}, {3, 17, ""}, {272, 13, ""}, {4242, 0, ""},
        {0, 0, ""}};
    for (const auto& c : cases)
        EXPECT_STREQ(CUIMenuResource::TextOfValue(c.menu, c.value), c.text) << c.menu << " " << c.value;
}

TEST_F(UIMenuResource, MaxValueIsTheLargestItemOfTheTree)
{
    // Menu 3 has links only at the top; 1085 only negative items (at least 0).
    const std::pair<uint32_t, int32_t> cases[] = {{120, 89}, {110, 36}, {272, 32}, {279, 7}, {316, 1},
                                                  {270, 47}, {100, 65}, {307, 36}, {317, 127}, {3, 16},
                                                  {1085, 0}, {4242, 0}, {0, 0}};
    for (auto [menu, max] : cases) EXPECT_EQ(CUIMenuResource::MaxValue(menu), max) << menu;
}

TEST_F(UIMenuResource, StepValueWalksItemsWithoutWrapping)
{
    // Keys 40/38 step down/up a row, 35/36 jump to the last/first item, 33/34
    // page. In 272: 8 -> 9 over a separator, the last and first stay, 13 is no
    // item (backwards to the last item, forwards to itself). 110 and 140 step
    // into and out of submenus in table order; 4242 has no items.
    const struct { uint32_t menu; int32_t value; int key; int32_t next; } cases[] = {
        {272, 8, 40, 9},   {272, 32, 40, 32}, {272, 0, 38, 0},   {272, 0, 35, 32},
        {272, 20, 36, 0},  {272, 16, 33, 12}, {272, 12, 34, 16}, {272, 13, 38, 32},
        {272, 13, 40, 13}, {110, 36, 40, 5},  {110, 5, 38, 36},  {110, 0, 35, 34},
        {140, 6, 40, 7},   {4242, 3, 40, 3},  {4242, 3, 36, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(CUIMenuResource::StepValue(c.menu, c.value, c.key), c.next) << c.menu << " " << c.value << " " << c.key;
    for (int key : {37, 39, 13, 0, 41})  // keys that do not step
        EXPECT_EQ(CUIMenuResource::StepValue(272, 8, key), 8) << key;
}

TEST_F(UIMenuResource, ValueOfEntryOnlyForRowsOfTheTable)
{
    ASSERT_TRUE(m_view.Open(100));
    const MenuEntry* sample = m_view.FindPosition(14);
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(CUIMenuResource::ValueOfEntry(int(sample->resultId)), 65);
    EXPECT_EQ(CUIMenuResource::ValueOfEntry(0), -1);
    EXPECT_EQ(CUIMenuResource::ValueOfEntry(-1), -1);
    EXPECT_EQ(CUIMenuResource::ValueOfEntry(kMenuRows), -1);
    EXPECT_EQ(CUIMenuResource::ValueOfEntry(kMenuRows - 1), 0);  // a free row
    EXPECT_EQ(CUIMenuResource::Entry(kMenuRows).menuId, 0u);
}

TEST_F(UIMenuResource, LayoutOfOneMenu)
{
    FixedFont font;
    m_view.SetFont(&font);
    // "Modulation", separator, "MIDI learn", "MIDI forget" (66 pixels wide).
    ASSERT_TRUE(m_view.Open(2));
    EXPECT_EQ(m_view.GetWidth(), 66 + 32);
    EXPECT_EQ(m_view.GetHeight(), 6 + 3 * 16 + 6);
    // Item values hit at (x, y); -1: nothing (y 19 is the separator).
    const struct { int x, y, value; } hits[] = {{10, 3, 52},  {10, 18, 52}, {10, 19, -1}, {10, 25, 53}, {10, 41, 54},
                                                {10, 57, -1}, {3, 10, -1},  {93, 10, 52}, {94, 10, -1}};
    for (const auto& h : hits) {
        const MenuEntry* e = m_view.HitTest(h.x, h.y);
        EXPECT_EQ(e ? e->value : -1, h.value) << h.x << " " << h.y;
    }
    const MenuRect sep = m_view.ItemRect(2);
    EXPECT_EQ(sep.left, 2);
    EXPECT_EQ(sep.top, 19);
    EXPECT_EQ(sep.right, 96);
    EXPECT_EQ(sep.bottom, 25);
    EXPECT_EQ(m_view.ItemRect(4).top, 41);
    EXPECT_TRUE(m_view.ItemRect(5).IsEmpty());
    // Narrow texts still make a 20-pixel body.
    ASSERT_TRUE(m_view.Open(407));
    EXPECT_EQ(m_view.GetWidth(), 66 + 32);  // "Level meter"
    ASSERT_TRUE(m_view.Open(160));
    EXPECT_EQ(m_view.GetWidth(), 30 + 32);  // "1 / 1" is 30
    ASSERT_TRUE(m_view.Open(309));
    EXPECT_EQ(m_view.GetWidth(), 20 + 32);
    // An unknown menu changes nothing; without a font texts measure nothing.
    EXPECT_FALSE(m_view.Open(4242));
    EXPECT_EQ(m_view.GetMenuId(), 309u);
    CUIMenuResource bare;
    ASSERT_TRUE(bare.Open(2));
    EXPECT_EQ(bare.GetWidth(), 52);
    EXPECT_EQ(bare.GetHeight(), 6 + 3 * 6 + 6);
}

TEST_F(UIMenuResource, WalksStayInTheirMenu)
{
    ASSERT_TRUE(m_view.Open(1));
    const int first = m_view.GetFirstRow();
    int count = 0;
    const MenuEntry* last = nullptr;
    for (const MenuEntry* e = m_view.First(); e; e = m_view.Next()) {
        EXPECT_EQ(e->menuId, 1u);
        EXPECT_EQ(e->position, uint32_t(++count));
        last = e;
    }
    EXPECT_EQ(count, 20);  // the submenus' rows in between are skipped
    EXPECT_STREQ(last->text, "Design mode");
    EXPECT_EQ(m_view.Current(), last);
    EXPECT_EQ(m_view.PrevItem()->value, 0);  // link "Display objects"
    EXPECT_EQ(m_view.Current()->submenu, 407u);
    m_view.First();
    EXPECT_EQ(m_view.Prev(), nullptr);  // not below the first row
    EXPECT_EQ(m_view.Current()->resultId, uint32_t(first));
    m_view.Next();
    EXPECT_STREQ(m_view.NextItem()->text, "Paste");  // over the separator
    EXPECT_STREQ(m_view.PrevItem()->text, "Delete");
    EXPECT_EQ(m_view.FindPosition(3), nullptr);  // a separator
    EXPECT_STREQ(m_view.FindPosition(10)->text, "Value controllers");
    EXPECT_EQ(m_view.FindPosition(21), nullptr);

    FixedFont font;
    m_view.SetFont(&font);
    ASSERT_TRUE(m_view.Open(2));
    int x = 0, y = 0;
    EXPECT_STREQ(m_view.Begin(x, y)->text, "Modulation");
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 6);
    EXPECT_EQ(m_view.Advance(y)->type, kMenuSeparator);
    EXPECT_EQ(y, 22);
    EXPECT_STREQ(m_view.Advance(y)->text, "MIDI learn");
    EXPECT_EQ(y, 28);
    m_view.Advance(y);
    EXPECT_EQ(m_view.Advance(y), nullptr);
}

TEST_F(UIMenuResource, SetItemWritesDeletesAndRefuses)
{
    // Device names are copied: the caller's buffer may change afterwards.
    char name[32] = "USB MIDI In";
    ASSERT_TRUE(CUIMenuResource::SetItem(10020, 1, kMenuItem, 0, 0, 1, name));
    strcpy(name, "changed");
    ASSERT_TRUE(CUIMenuResource::SetItem(10020, 2, kMenuItem, 0, 1, 0, "Virtual Port"));
    ASSERT_TRUE(CUIMenuResource::SetItem(10020, 3, kMenuDelete, 0, 0, 0, nullptr));
    EXPECT_EQ(Shown(10020), (std::vector<std::string>{"USB MIDI In", "Virtual Port"}));
    EXPECT_STREQ(CUIMenuResource::TextOfValue(10020, 1), "Virtual Port");
    EXPECT_EQ(CUIMenuResource::Entry(CUIMenuResource::FindFirstRow(10020)).checked, 1);
    EXPECT_EQ(CUIMenuResource::MaxValue(10020), 31);  // later rows are still in the table

    // A list with no device deletes every row; the next build finds the menu
    // again and writes it from the start.
    for (uint32_t p = 1; p <= 32; ++p) ASSERT_TRUE(CUIMenuResource::SetItem(10020, p, kMenuDelete, 0, 0, 0, ""));
    EXPECT_TRUE(Shown(10020).empty());
    ASSERT_TRUE(CUIMenuResource::SetItem(10020, 1, kMenuItem, 0, 0, 0, "Back again"));
    EXPECT_EQ(Shown(10020), std::vector<std::string>{"Back again"});

    // Long names are cut and terminated.
    const std::string longName(200, 'x');
    ASSERT_TRUE(CUIMenuResource::SetItem(10030, 1, kMenuItem, 0, 0, 0, longName.c_str()));
    EXPECT_EQ(std::string(Shown(10030).front()), std::string(kMenuTextSize - 1, 'x'));

    // Refused, each without changing a row.
    const std::vector<MenuEntry> before(MenuTableRows(), MenuTableRows() + kMenuRows);
    EXPECT_FALSE(CUIMenuResource::SetItem(10020, 33, kMenuItem, 0, 0, 0, "too far"));
    EXPECT_FALSE(CUIMenuResource::SetItem(10010, 33, kMenuDelete, 0, 0, 0, ""));
    EXPECT_FALSE(CUIMenuResource::SetItem(10020, 0, kMenuItem, 0, 0, 0, "zero"));
    EXPECT_FALSE(CUIMenuResource::SetItem(4242, 1, kMenuItem, 0, 0, 0, "no menu"));
    EXPECT_FALSE(CUIMenuResource::SetItem(0, 1, kMenuItem, 0, 0, 0, "free rows"));
    // Position 2 of the program menu would be the first row of its submenu.
    EXPECT_FALSE(CUIMenuResource::SetItem(10040, 2, kMenuLink, 10042, 0, 0, "Program 17-32"));
    // Menu 407 has one row; the next row belongs to another menu.
    EXPECT_FALSE(CUIMenuResource::SetItem(407, 2, kMenuItem, 0, 0, 0, "spill"));
    EXPECT_TRUE(SameAsSaved(before));
}

TEST_F(UIMenuResource, SetItemTextAndSetChecked)
{
    // Program names and combination titles, as the program store writes them.
    ASSERT_TRUE(CUIMenuResource::SetItemText(10040, 2, 0, "Combination 5-8"));
    ASSERT_TRUE(CUIMenuResource::SetItemText(10041 + 20 / 16, 20 % 16 + 1, 0, "021 Warm Pad"));
    EXPECT_STREQ(CUIMenuResource::TextOfValue(10040, 20), "021 Warm Pad");
    EXPECT_EQ(Shown(10040)[1], "Combination 5-8");
    ASSERT_TRUE(m_view.Open(10040));
    EXPECT_EQ(m_view.FindPosition(2)->type, kMenuLink);
    // A row's own text given back to it survives.
    const int row = CUIMenuResource::FindFirstRow(10042) + 4;
    ASSERT_TRUE(CUIMenuResource::SetItemText(10042, 5, 1, CUIMenuResource::Entry(row).text));
    EXPECT_STREQ(CUIMenuResource::Entry(row).text, "021 Warm Pad");
    EXPECT_EQ(CUIMenuResource::Entry(row).checked, 1);
    EXPECT_FALSE(CUIMenuResource::SetItemText(10040, 9, 0, "none"));
    EXPECT_FALSE(CUIMenuResource::SetItemText(0, 1, 0, "free"));

    // The assignment source: one mark at a time.
    auto marks = [] {
        std::string s;
        CUIMenuResource view;
        view.Open(312);
        for (const MenuEntry* e = view.First(); e; e = view.Next()) s += e->checked ? '1' : '0';
        return s;
    };
    EXPECT_EQ(marks(), "1000000000");
    ASSERT_TRUE(CUIMenuResource::SetChecked(312, 3, 1, true));  // "8D 1-X"
    EXPECT_EQ(marks(), "0010000000");
    ASSERT_TRUE(CUIMenuResource::SetChecked(312, 10, 1, false));
    EXPECT_EQ(marks(), "0010000001");
    EXPECT_FALSE(CUIMenuResource::SetChecked(312, 11, 1, true));  // changes nothing
    EXPECT_EQ(marks(), "0010000001");
    ASSERT_TRUE(CUIMenuResource::SetChecked(312, 1, 1, true));
    EXPECT_EQ(marks(), "1000000000");
}

TEST_F(UIMenuResource, LinksWrittenIntoALoopDoNotHangLookups)
{
    ASSERT_TRUE(CUIMenuResource::SetItem(10020, 1, kMenuLink, 10030, 0, 0, "to outputs"));
    ASSERT_TRUE(CUIMenuResource::SetItem(10030, 1, kMenuLink, 10020, 0, 0, "to inputs"));
    ASSERT_TRUE(CUIMenuResource::SetItem(10000, 1, kMenuLink, 10000, 0, 0, "to itself"));
    EXPECT_STREQ(CUIMenuResource::TextOfValue(10020, 99), "");
    EXPECT_EQ(CUIMenuResource::MaxValue(10020), 31);
    EXPECT_EQ(CUIMenuResource::StepValue(10000, 0, 35), 0);
}
