#pragma once
// The one menu table of the program and the view over it.
//
// Every menu of the program and every value name of a list parameter stands
// in one table of 2048 rows. A list parameter names its values with the short
// texts of one menu, takes its range from the largest item value and steps
// through the items with the keyboard; the pop-up menu lays out and draws one
// menu and its submenus. Program names and device lists are written into the
// table at run time and stay until the process ends.
//
// Layout rules the walks rely on:
//  1. a menu's rows stand in position order;
//  2. the rows of a submenu follow the row that links to it directly;
//  3. walking a menu forward stops at the first free row (menu id 0), so
//     deleting a row ends the menu there;
//  4. a menu id belongs to one block of rows.
#include <cstddef>
#include <cstdint>

enum : uint32_t {
    kMenuLink = 0,       // opens the menu named by `submenu`
    kMenuItem = 1,       // stands for `value`
    kMenuSeparator = 2,
    kMenuDelete = 100,   // SetItem type: free the row
};

constexpr int kMenuRows = 2048;
constexpr uint32_t kMenuMaxPosition = 32;
// Room for a text written at run time (a device or program name).
constexpr size_t kMenuTextSize = 80;

struct MenuEntry {
    uint32_t menuId = 0;      // 0 = free row
    uint32_t position = 0;    // 1..32, items, separators and links alike
    uint32_t type = kMenuItem;
    uint32_t submenu = 0;     // for a link: the menu it opens
    int32_t value = 0;        // for an item: the value it stands for
    uint32_t resultId = 0;    // the row's own index in the table
    uint8_t checked = 0;      // draw a check mark before the item
    const char* text = "";        // long text, shown in pop-up menus
    const char* shortText = "";   // text of a list parameter's value; may be ""
    // Texts written at run time or generated at start-up live here, so a
    // caller's buffer may go away after the call. Always terminated. A row
    // that points here is only meaningful in its own place in the table.
    char ownText[kMenuTextSize] = {};
    // The menu the row was built for. A deleted row keeps it, so the
    // device menus can be rebuilt after all their rows were deleted, and
    // SetItem never writes into a neighbouring menu's rows.
    uint32_t homeMenu = 0;
};

// Measures long texts for the layout. The pop-up menu hands in the window's
// font; the parameter model needs no font (value texts and maxima do not
// depend on it), and without one every text measures 0 wide and 0 high.
class IMenuFont {
public:
    virtual ~IMenuFont() = default;
    virtual int GetHeight() const = 0;                     // pixels
    virtual int GetTextWidth(const char* text) const = 0;  // quarter pixels
};

struct MenuRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool IsEmpty() const { return right <= left || bottom <= top; }
};

class CUIMenuResource {
public:
    CUIMenuResource();
    ~CUIMenuResource() = default;

    // ---- Lookups over the whole table (no Open needed) ----
    // Short text of the first item with that value in the menu or, depth
    // first in table order, its submenus; "" when there is none.
    static const char* TextOfValue(uint32_t menuId, int32_t value);
    // The text a value field shows: the short text or, where that is empty
    // ("(open)", "OFF", the reverb presets), the long text of the same item,
    // so that a set value never looks like an empty field.
    static const char* ShownTextOfValue(uint32_t menuId, int32_t value);
    // Largest item value of the menu and its submenus, at least 0.
    static int32_t MaxValue(uint32_t menuId);
    // The value after a key press: 33/38 previous item, 34/40 next item,
    // 36 first, 35 last; every other key leaves the value. No wrap-around.
    static int32_t StepValue(uint32_t menuId, int32_t value, int key);
    // The value of row 1..2047, -1 for any other index.
    static int32_t ValueOfEntry(int row);

    // ---- Layout of one menu (for the pop-up menu) ----
    void SetFont(const IMenuFont* font) { m_font = font; }
    // Selects the menu and computes its size; false (and nothing changed)
    // when no row has that id.
    bool Open(uint32_t menuId);
    // width = max(20, widest long text) + 2 x 16;
    // height = 6 + (font height + 6) per item or link + 6 per separator.
    void GetMenuSize(int32_t& width, int32_t& height);
    // The row under a point in menu coordinates, or nullptr.
    const MenuEntry* HitTest(int x, int y);
    // (2, top, width - 2, top + band) of the row at that position; empty
    // when the position does not exist.
    MenuRect ItemRect(uint32_t position);

    // ---- Walking the selected menu (nullptr at the end) ----
    const MenuEntry* First();
    const MenuEntry* Next();
    const MenuEntry* Prev();       // not below the first row
    const MenuEntry* NextItem();   // Next, skipping separators
    const MenuEntry* PrevItem();   // Prev, skipping separators
    const MenuEntry* FindPosition(uint32_t position);  // first non-separator row there
    // First row, with the drawing start offsets (16, 6).
    const MenuEntry* Begin(int& x, int& y);
    // Adds the current row's band height to y and moves to the next row.
    const MenuEntry* Advance(int& y);
    const MenuEntry* Current() const;

    // ---- Changes at run time (each returns whether it found its row) ----
    // Writes the row at `position` of the menu completely, with `text` as
    // long and short text; type kMenuDelete frees the row instead. Refused
    // for positions outside 1..32 and outside the rows built for the menu.
    static bool SetItem(uint32_t menuId, uint32_t position, uint32_t type, uint32_t submenu,
                        int32_t value, uint8_t checked, const char* text);
    // The row with that menu id and position gets the flag and the text as
    // long and short text.
    static bool SetItemText(uint32_t menuId, uint32_t position, uint8_t checked, const char* text);
    // The row at that position gets the flag; exclusive unchecks every other
    // row of the menu.
    static bool SetChecked(uint32_t menuId, uint32_t position, uint8_t flag, bool exclusive);

    // ---- The table itself ----
    static const MenuEntry& Entry(int row);   // row outside the table: a free row
    static int FindFirstRow(uint32_t menuId); // -1 when no row has that id

    uint32_t GetMenuId() const { return m_menuId; }
    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    int32_t GetFirstRow() const { return m_firstRow; }

private:
    int FontHeight() const;
    int BandHeight(const MenuEntry& row) const;

    uint32_t m_menuId = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_firstRow = -1;
    int32_t m_itemSpacing = 6;
    int32_t m_sideMargin = 16;
    int32_t m_separatorHeight = 6;
    const IMenuFont* m_font = nullptr;
    int32_t m_currentRow = -1;
};

// The process-wide table, built on first use (row 0 and every row after the
// last menu are free). Written only from the GUI thread.
MenuEntry* MenuTableRows();
