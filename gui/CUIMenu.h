#pragma once
// The pop-up menu: one menu of the menu table drawn into the window's
// off-screen surface over a saved copy of what lay there, with a drop shadow
// and a chain of submenus opened beside their rows. It never blocks: the GUI
// manager feeds it moves, clicks and keys while it is open and takes the row
// it reports.
#include <cstdint>
#include <memory>

#include "gui/CDIBitmap.h"
#include "gui/CUIMenuResource.h"
#include "gui/CUnifiedDC.h"

class CUIMenu {
public:
    // Every menu is kept inside a window of this size.
    static constexpr int kWindowWidth = 960;
    static constexpr int kWindowHeight = 650;
    static constexpr int kShadow = 4;
    static constexpr int kSubmenuGap = 5;

    // The menu lays out through `view`, which a submenu shares with its
    // parent.
    explicit CUIMenu(CUIMenuResource* view);
    virtual ~CUIMenu();
    CUIMenu(const CUIMenu&) = delete;
    CUIMenu& operator=(const CUIMenu&) = delete;

    // Shows the menu with its first row highlighted (and that row's submenu
    // open when it is a link), closing it first when it is open. The anchor
    // is the parent row's rectangle for a submenu, all zero otherwise.
    // False, with nothing shown, when the menu has no rows.
    bool Open(CUnifiedDC* target, int x, int y, uint32_t menuId, int anchorLeft = 0,
              int anchorTop = 0, int anchorRight = 0, int anchorBottom = 0);
    uint8_t IsOpen() const { return m_open; }
    // Lays out through another table view from the next Open on; the menu
    // is closed first.
    void SetView(CUIMenuResource* view)
    {
        Close();
        m_view = view;
    }
    // Whether the point is over a row of the chain; moves the highlight.
    bool MouseMove(uint32_t flags, int x, int y);
    // The row index of a clicked item (closing the chain), or -1.
    int Click(uint32_t flags, int x, int y);
    // The row index of the item under the point, in the chain, or -1; what
    // a click there would choose, with nothing closed.
    int ItemAt(int x, int y);
    // Enter, Escape and the arrow keys on the deepest open menu: a chosen
    // row index (closing the chain), or -1.
    int Key(int virtualKey);
    void CloseIfOutside(uint32_t flags, int x, int y);
    // Closes the submenus, puts the saved picture back and shows it.
    void Close();
    int GetEntryValue(int row) const { return CUIMenuResource::ValueOfEntry(row); }

    uint32_t GetMenuId() const { return m_menuId; }
    GuiRect GetBody() const { return m_body; }
    GuiRect GetSavedRect() const { return m_saved; }
    uint32_t GetHighlight() const { return m_highlight; }
    // The open submenu, or null.
    CUIMenu* GetChild() const { return m_child && m_child->m_open ? m_child.get() : nullptr; }

private:
    void Select();  // the view to this menu
    void Draw();
    void Present();
    void CloseChild();
    void OpenSubmenu(const MenuEntry* row);
    // The highlighted row, or null.
    const MenuEntry* HighlightedRow();
    GuiRect ItemRect(uint32_t position);
    // The item row under a window point, or null.
    const MenuEntry* RowAt(int x, int y);
    bool Contains(int x, int y) const;

    CUIMenuResource* m_view;
    uint8_t m_open = 0;
    uint32_t m_menuId = 0;
    std::unique_ptr<CUIMenu> m_child;
    int m_x = 0, m_y = 0;
    GuiRect m_body;
    uint32_t m_highlight = 1;
    CUnifiedDC* m_target = nullptr;
    GuiRect m_saved;
    int m_width = 0, m_height = 0;
    CDIBitmap m_background;
};
