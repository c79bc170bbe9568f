#include "gui/GUIBrowser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "os/TestFolders.h"
#include "tests/GlobalGuards.h"
#include "tests/gui/GuiTestSupport.h"
#include "tools/FileFixtures.h"

namespace {

// A tree source that does what the test script says: nodes with a level,
// an icon and children; children follow their parent while it is open.
struct ScriptedSource : CBrowser {
    struct Node {
        std::string name;
        int level = 0, icon = 0, children = 0;  // children: the nodes right after it, one level down
        bool open = true;
    };
    std::vector<Node> nodes;
    std::vector<int> shown;  // node index per visible row
    size_t cursor = 0;
    int selection = 0;
    int applied = 0, attached = 0;
    bool editable = false;
    std::vector<std::string> texts;

    void Flatten()
    {
        shown.clear();
        int hideBelow = -1;
        for (int i = 0; i < int(nodes.size()); ++i) {
            if (hideBelow >= 0 && nodes[i].level > hideBelow) continue;
            hideBelow = -1;
            shown.push_back(i);
            if (!nodes[i].open) hideBelow = nodes[i].level;
        }
    }
    Node& Selected() { return nodes[shown[selection]]; }
    void OnAttach() override { ++attached; }
    void First() override { cursor = 0; }
    void Next() override { ++cursor; }
    bool AtEnd() override { return cursor >= shown.size(); }
    bool ApplySelection() override
    {
        ++applied;
        return selection >= 0 && selection < int(shown.size());
    }
    void SetSelection(int row) override { selection = row; }
    int GetSelection() override { return selection; }
    int GetCount() override { return int(shown.size()); }
    int GetLevel() override { return nodes[shown[cursor]].level; }
    int GetIcon() override { return nodes[shown[cursor]].icon; }
    int GetChildCount() override
    {
        const Node& n = nodes[shown[cursor]];
        return n.open ? n.children : 0;
    }
    int Expand() override
    {
        const int before = GetCount();
        Selected().open = true;
        Flatten();
        return GetCount() - before;
    }
    void Collapse() override
    {
        Selected().open = false;
        Flatten();
    }
    const char* GetText(int column) override
    {
        return column == 0 && cursor < shown.size() ? nodes[shown[cursor]].name.c_str() : "";
    }
    bool CanEditText() override { return editable; }
    void SetText(int, const char* text) override { texts.push_back(text); }
};

// A list of `rows` top-level rows, the n-th with `children` closed children.
ScriptedSource Flat(int rows, int withChildren = -1, int children = 0)
{
    ScriptedSource s;
    for (int i = 0; i < rows; ++i) {
        s.nodes.push_back({"Row " + std::to_string(i), 0, i % 3, i == withChildren ? children : 0, false});
        if (i == withChildren)
            for (int c = 0; c < children; ++c) s.nodes.push_back({"Child " + std::to_string(c), 1, 0, 0, true});
    }
    s.Flatten();
    return s;
}

void MakeImage(int slot, int w, int h, uint8_t fill)
{
    CDIBitmap* image = CGLBitmapCache::Set(slot, ("browser" + std::to_string(slot)).c_str());
    ASSERT_TRUE(image && image->Create(w, h, 24));
    for (int y = 0; y < h; ++y) memset(image->PixelAddress(0, y), fill, size_t(w) * 3);
}

// The colour FillRect leaves at alpha 1 over anything: B * 255 >> 8 per channel.
uint32_t Filled(uint32_t colour)
{
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) out |= (((colour >> (8 * c) & 255) * 255) >> 8) << (8 * c);
    return out;
}

struct BrowserFixture : ::testing::Test {
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
    GUIBrowser* browser = nullptr;
    ScriptedSource source;

    // Widget (10, 20) 150 x 100: a header 10 high, a bar 12 wide and 80 high,
    // a footer 10 high; the list is (10, 30) - (148, 110), five rows.
    void Build(bool icons = false)
    {
        ASSERT_TRUE(dc.CreateMemory(200, 200));
        head = std::make_unique<GUIHead>(&dc, nullptr);
        MakeImage(401, 150, 100, 0x10);
        MakeImage(402, 150, 10, 0x20);
        MakeImage(403, 12, 80, 0x30);
        MakeImage(404, 150, 10, 0x40);
        MakeImage(405, 64, 16, 0x80);
        browser = static_cast<GUIBrowser*>(head->Adopt(std::make_unique<GUIBrowser>()));
        browser->Init();
        browser->x = 10, browser->y = 20, browser->w = 150, browser->h = 100;
        for (int i = 0; i < 5; ++i) browser->properties[i] = uint32_t(401 + i);
        if (!icons) browser->properties[4] = 0;
        browser->AfterLoad();
        browser->AttachSource(&source);
    }
    uint32_t Pixel(int x, int y)
    {
        const uint8_t* p = dc.GetBackSurface()->PixelAddress(x, y);
        return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
    }
    // Rows shown, as their names.
    std::vector<std::string> Shown()
    {
        std::vector<std::string> out;
        for (int n = 0; n < browser->visibleRows && browser->firstRow + n < source.GetCount(); ++n)
            out.push_back(source.nodes[source.shown[browser->firstRow + n]].name);
        return out;
    }
    void Press(int row, int x = 100)
    {
        const int y = 30 + 16 * row + 8;
        head->OnMouseMove(0, x, y);
        head->OnMouseDown(1, x, y);
        head->OnMouseUp(0, x, y);
    }
};

}  // namespace

TEST_F(BrowserFixture, LayoutRowsSelectionBarAndThumbAtTheirPixels)
{
    source = Flat(8);
    source.nodes[1].level = 2;
    for (auto& n : source.nodes) n.open = true;
    source.Flatten();
    source.selection = 1;
    Build();
    EXPECT_EQ(browser->listArea, (GuiRect{10, 30, 148, 110}));
    EXPECT_EQ(browser->barArea, (GuiRect{148, 30, 160, 110}));
    EXPECT_EQ(browser->footerArea, (GuiRect{10, 110, 160, 120}));
    EXPECT_EQ(browser->visibleRows, 5);
    EXPECT_EQ(source.attached, 1);

    browser->firstRow = 2;
    browser->Draw();
    // Row 1 is not shown from first row 2: no bar anywhere.
    EXPECT_EQ(Pixel(140, 38), 0x101010u);
    browser->firstRow = 1;
    browser->Draw();
    // Selected row 1, level 2: bar from (10 + 32 - 2, 35 - 2) up to (144, 45).
    const uint32_t bar = Filled(0xC8FAFA);
    EXPECT_EQ(Pixel(40, 33), bar);
    EXPECT_EQ(Pixel(39, 33), 0x101010u);
    EXPECT_EQ(Pixel(143, 44), bar);
    EXPECT_EQ(Pixel(144, 44), 0x101010u);
    EXPECT_EQ(Pixel(143, 45), 0x101010u);
    // Thumb: t = 76 * 1 / 8 = 9, k = 76 * 5 / 8 = 47: from (151, 41) up to (158, 89).
    const uint32_t thumb = Filled(0xC8C8C8);
    EXPECT_EQ(Pixel(151, 41), thumb);
    EXPECT_EQ(Pixel(151, 40), 0x101010u);
    EXPECT_EQ(Pixel(157, 88), thumb);
    EXPECT_EQ(Pixel(157, 89), 0x101010u);
    EXPECT_EQ(Pixel(158, 60), 0x101010u);
    // A row's white text starts at its indent.
    bool ink = false;
    for (int y = 51; y < 61; ++y)
        for (int x = 10; x < 30; ++x) ink |= Pixel(x, y) != 0x101010u;
    EXPECT_TRUE(ink);

    // The first row never leaves 0..count - visible.
    browser->firstRow = 7;
    browser->Draw();
    EXPECT_EQ(browser->firstRow, 3);

    // Fewer rows than visible: no thumb, first row 0.
    source = Flat(3);
    browser->firstRow = 2;
    browser->Draw();
    EXPECT_EQ(browser->firstRow, 0);
    for (int y = 31; y < 110; ++y) ASSERT_EQ(Pixel(152, y), 0x101010u) << y;
}

TEST_F(BrowserFixture, IconsAndStripsTallerThanTheWidget)
{
    source = Flat(4);
    Build(true);
    browser->Draw();
    // Row 1's icon (cell 1) 16 x 16 at (10, 51 - 3); the text moves 20 right.
    EXPECT_EQ(Pixel(10, 48), 0x808080u);
    EXPECT_EQ(Pixel(25, 63), 0x808080u);
    EXPECT_EQ(Pixel(26, 63), 0x101010u);

    // A header taller than the widget leaves no rows instead of a negative count.
    MakeImage(402, 150, 300, 0x20);
    browser->AfterLoad();
    EXPECT_EQ(browser->visibleRows, 0);
    browser->AttachSource(&source);
    browser->Draw();
    EXPECT_TRUE(browser->OnKey(40, 0, 0));
}

TEST_F(BrowserFixture, OpeningTheLastVisibleRowScrollsItsChildrenIntoView)
{
    struct Case {
        int rows, parent, children, firstBefore, firstAfter;
    } cases[] = {
        {8, 4, 3, 0, 3},   // r 4, n 3: scroll min(4, 3) = 3
        {8, 4, 9, 0, 4},   // many children: the clicked row stays on top
        {8, 1, 2, 0, 0},   // room enough: no scroll
        {8, 0, 12, 0, 0},  // first shown row: never scrolled away
    };
    for (const Case& c : cases) {
        source = Flat(c.rows, c.parent, c.children);
        Build();
        browser->firstRow = c.firstBefore;
        const int r = c.parent - c.firstBefore;
        Press(r);
        head->OnDoubleClick(1, 100, 30 + 16 * r + 8);
        EXPECT_EQ(browser->firstRow, c.firstAfter) << c.parent << " " << c.children;
        EXPECT_EQ(source.GetCount(), c.rows + c.children);
        const auto shown = Shown();
        EXPECT_NE(std::find(shown.begin(), shown.end(), "Row " + std::to_string(c.parent)), shown.end());
        // Double click again closes it.
        const int at = c.parent - browser->firstRow;
        Press(at);
        head->OnDoubleClick(1, 100, 30 + 16 * at + 8);
        EXPECT_EQ(source.GetCount(), c.rows);
    }
    // A double click on another row than the press does nothing.
    source = Flat(8, 2, 3);
    Build();
    Press(2);
    head->OnDoubleClick(1, 100, 30 + 16 * 3 + 8);
    EXPECT_EQ(source.GetCount(), 8);
}

TEST_F(BrowserFixture, KeysMoveTheSelectionAndScroll)
{
    source = Flat(8);
    Build();
    head->OnMouseMove(0, 100, 40);  // the keys go to the widget under the pointer
    struct Step {
        int key, selection, first;
    } steps[] = {
        {38, 0, 0},  // Up at row 0 changes nothing
        {40, 1, 0}, {40, 2, 0}, {40, 3, 0}, {40, 4, 0},
        {40, 5, 1},  // below the last visible row: it becomes the last one
        {40, 6, 2}, {40, 7, 3},
        {40, 7, 3},  // Down at the last row changes nothing
        {33, 7, 2},  // PgUp scrolls by one
        {34, 7, 3}, {34, 7, 3},
        {38, 6, 3}, {38, 5, 3}, {38, 4, 3}, {38, 3, 3},
        {38, 2, 2},  // above the first row: it becomes the first
    };
    int previous = 0;
    for (const Step& s : steps) {
        const int applied = source.applied;
        EXPECT_TRUE(head->OnKey(s.key, 0, 0));
        EXPECT_EQ(source.selection, s.selection) << s.key;
        EXPECT_EQ(browser->firstRow, s.first) << s.key;
        // Only a move of the selection acts on it.
        EXPECT_EQ(source.applied - applied, (s.key == 38 || s.key == 40) && s.selection != previous ? 1 : 0);
        previous = s.selection;
    }
    EXPECT_TRUE(head->OnKey(13, 0, 0));
    EXPECT_FALSE(head->OnKey(65, 'a', 0));
}

TEST_F(BrowserFixture, InPlaceEditingKeepsAtMost63Characters)
{
    source = Flat(3);
    source.editable = true;
    source.nodes[1].name = std::string(80, 'x');
    Build();
    Press(1, 20);  // left of level * 16 + 24: no editing
    EXPECT_FALSE(browser->IsEditing());
    Press(1);
    ASSERT_TRUE(browser->IsEditing());
    EXPECT_EQ(std::string(browser->EditText()), std::string(63, 'x'));
    head->OnKey(16, 0, 0);  // Shift keeps the fresh text
    EXPECT_EQ(strlen(browser->EditText()), 63u);
    for (int i = 0; i < 70; ++i) head->OnKey('A', 'a' + i % 26, 0);
    EXPECT_EQ(strlen(browser->EditText()), 63u);
    EXPECT_EQ(browser->EditText()[0], 'a');
    for (int i = 0; i < 100; ++i) head->OnKey(39, 0, 0);  // Right stops below 63
    head->OnKey(8, 0, 0);
    EXPECT_EQ(strlen(browser->EditText()), 62u);
    EXPECT_EQ(browser->EditText()[61], 'k');  // the 62nd character was removed
    head->OnKey(37, 0, 0), head->OnKey(46, 0, 0);  // Delete at the caret
    EXPECT_EQ(strlen(browser->EditText()), 61u);
    head->OnKey(13, 0, 0);
    EXPECT_FALSE(browser->IsEditing());
    ASSERT_EQ(source.texts.size(), 1u);
    EXPECT_EQ(source.texts[0].size(), 61u);

    // Esc ends without storing; a fresh text is replaced by typing.
    Press(0);
    head->OnKey('Q', 'q', 0);
    EXPECT_STREQ(browser->EditText(), "q");
    head->OnKey(27, 0, 0);
    EXPECT_FALSE(browser->IsEditing());
    EXPECT_EQ(source.texts.size(), 1u);
}

TEST_F(BrowserFixture, ScrollBarPressesAndThumbDrag)
{
    source = Flat(40);
    Build();
    // t = 0, k = 76 * 5 / 40 = 9: the thumb covers y 32..41.
    head->OnMouseDown(1, 152, 100);
    head->OnMouseUp(0, 152, 100);
    EXPECT_EQ(browser->firstRow, 5);
    head->OnMouseDown(1, 152, 31);
    head->OnMouseUp(0, 152, 31);
    EXPECT_EQ(browser->firstRow, 0);
    head->OnMouseDown(1, 152, 35);
    head->OnMouseMove(1, 152, 55);  // 20 * 40 / 80 = 10 rows
    EXPECT_EQ(browser->firstRow, 10);
    head->OnMouseMove(1, 152, 500);
    EXPECT_EQ(browser->firstRow, 35);
    head->OnMouseUp(0, 152, 35);
    EXPECT_EQ(browser->firstRow, 0);
    head->OnMouseMove(1, 152, 90);
    EXPECT_EQ(browser->firstRow, 0);  // the drag ended
}

TEST(Browser, WithoutASourceDrawsNothingAndIgnoresInput)
{
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(100, 100));
    GUIHead head(&dc, nullptr);
    auto* b = static_cast<GUIBrowser*>(head.Adopt(std::make_unique<GUIBrowser>()));
    b->Init();
    b->w = b->h = 80;
    b->AfterLoad();
    EXPECT_EQ(b->Draw(), GuiRect{});
    head.OnMouseDown(1, 10, 10);
    head.OnDoubleClick(1, 10, 10);
    EXPECT_FALSE(head.OnKey(40, 0, 0));
    EXPECT_EQ(b->GetContextMenu(10, 10), 0);
    EXPECT_FALSE(b->OnMenu(1, 1));
}

TEST(Browser, CategoryButtonsFilterThePresetListAndAClickLoadsThePreset)
{
    testutil::TempFolder dir;
    auto write = [&](const std::string& name, int program) {
        const fixtures::Bytes bytes = fixtures::FxpFile(fixtures::FxpBody(30, program));
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    write("Bass 1.fxp", 1);
    write("Keys A.fxp", 2);
    write("Keys B.fxp", 3);
    std::ofstream(dir / "Categories.txt") << "Bass 1.fxp\t2\t0\t0\t0\t0\nKeys A.fxp\t20\t0\t0\t0\t0\n"
                                              "Keys B.fxp\t20\t0\t0\t0\t0\n";
    // The synthesizer writes its program names into the menu table.
    testutil::ScopedMenuTable menus;
    auto synth = std::make_unique<CSynth>();
    g_PresetPool.Scan(dir.Path());
    synth->presetBrowser.Rebuild();

    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(400, 400));
    GUIHead head(&dc, synth->editor);
    auto* list = static_cast<GUIBrowser*>(head.AddObject("BRWS", 10, 1, 0, 2, 0, 10, 10, 150, 200));
    list->AfterLoad();
    head.AddObject("CATB", 3, 166, 0, 2, 0, 200, 110, 120, 249);
    head.RedrawAll();
    ASSERT_EQ(list->Source(), &synth->presetBrowser);
    EXPECT_EQ(synth->presetBrowser.GetCount(), 3);

    // The row "Keys" (word 5) of the category buttons.
    head.OnMouseDown(1, 210, 110 + 15 + 5 * 13 + 2);
    head.OnMouseUp(0, 210, 110 + 15 + 5 * 13 + 2);
    ASSERT_EQ(synth->presetBrowser.GetCount(), 2);
    EXPECT_STREQ(synth->presetBrowser.GetRow(1)->name.c_str(), "Keys B");

    // A click on the second row loads it into the current part.
    head.OnMouseDown(1, 40, 10 + 16 + 8);
    head.OnMouseUp(0, 40, 10 + 16 + 8);
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "Prog 3");
    g_PresetPool.Clear();
}
