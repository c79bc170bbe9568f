#include "gui/CUIMenuResource.h"

#include <algorithm>
#include <cstring>

#include "common/base/Utf8.h"

namespace {

// Links are followed recursively; the table's menus nest three deep. The
// limit only guards against a link written at run time that closes a loop.
constexpr int kMaxLinkDepth = 8;

const MenuEntry kFreeRow{};

// Visits the items of a menu and its submenus depth first in table order,
// from row `start` to the end of the table, until `visit` returns true.
template <class Visit>
bool VisitItems(uint32_t menuId, int start, int depth, Visit&& visit)
{
    if (menuId == 0 || depth > kMaxLinkDepth) return false;
    const MenuEntry* rows = MenuTableRows();
    for (int i = std::max(start, 0); i < kMenuRows; ++i) {
        const MenuEntry& e = rows[i];
        if (e.menuId != menuId) continue;
        if (e.type == kMenuItem) {
            if (visit(e)) return true;
        } else if (e.type == kMenuLink && e.submenu != menuId) {
            if (VisitItems(e.submenu, i, depth + 1, visit)) return true;
        }
    }
    return false;
}

// Copies a caller's text into the row's own storage, cut to fit between two
// characters and always terminated; the text may already live in that storage.
void StoreText(MenuEntry& e, const char* text)
{
    utf8::CopyCut(e.ownText, kMenuTextSize, text ? text : "");
    e.text = e.ownText;
    e.shortText = e.ownText;
}

MenuEntry* FindRow(uint32_t menuId, uint32_t position)
{
    if (menuId == 0) return nullptr;
    MenuEntry* rows = MenuTableRows();
    for (int i = 1; i < kMenuRows; ++i)
        if (rows[i].menuId == menuId && rows[i].position == position) return &rows[i];
    return nullptr;
}

}  // namespace

CUIMenuResource::CUIMenuResource()
{
    // The table numbers every row's result id with its index when it is
    // built, before any view can look at it.
    MenuTableRows();
}

const MenuEntry& CUIMenuResource::Entry(int row)
{
    if (row < 0 || row >= kMenuRows) return kFreeRow;
    return MenuTableRows()[row];
}

int CUIMenuResource::FindFirstRow(uint32_t menuId)
{
    if (menuId == 0) return -1;
    const MenuEntry* rows = MenuTableRows();
    for (int i = 1; i < kMenuRows; ++i)
        if (rows[i].menuId == menuId) return i;
    return -1;
}

// ---------------------------------------------------------------------------
// Lookups over the whole table

const char* CUIMenuResource::TextOfValue(uint32_t menuId, int32_t value)
{
    const char* found = "";
    VisitItems(menuId, 0, 0, [&](const MenuEntry& e) {
        if (e.value != value) return false;
        found = e.shortText ? e.shortText : "";
        return true;
    });
    return found;
}

const char* CUIMenuResource::ShownTextOfValue(uint32_t menuId, int32_t value)
{
    const char* found = "";
    VisitItems(menuId, 0, 0, [&](const MenuEntry& e) {
        if (e.value != value) return false;
        found = e.shortText && *e.shortText ? e.shortText : e.text ? e.text : "";
        return true;
    });
    return found;
}

int32_t CUIMenuResource::MaxValue(uint32_t menuId)
{
    int32_t maximum = 0;
    VisitItems(menuId, 0, 0, [&](const MenuEntry& e) {
        maximum = std::max(maximum, e.value);
        return false;
    });
    return maximum;
}

int32_t CUIMenuResource::StepValue(uint32_t menuId, int32_t value, int key)
{
    bool any = false, found = false, haveBefore = false, haveAfter = false;
    int32_t first = value, last = value, before = value, after = value;
    // `before` follows the last item seen until the value is found, so a
    // value that is no item steps backwards to the menu's last item.
    VisitItems(menuId, 0, 0, [&](const MenuEntry& e) {
        if (!any) first = e.value;
        any = true;
        last = e.value;
        if (!found && e.value == value) {
            found = true;
        } else if (!found) {
            before = e.value;
            haveBefore = true;
        } else if (!haveAfter) {
            after = e.value;
            haveAfter = true;
        }
        return false;
    });
    switch (key) {
    case 33:
    case 38: return haveBefore ? before : value;
    case 34:
    case 40: return haveAfter ? after : value;
    case 36: return first;
    case 35: return last;
    default: return value;
    }
}

int32_t CUIMenuResource::ValueOfEntry(int row)
{
    if (row < 1 || row >= kMenuRows) return -1;
    return MenuTableRows()[row].value;
}

// ---------------------------------------------------------------------------
// Layout of the selected menu

int CUIMenuResource::FontHeight() const { return m_font ? m_font->GetHeight() : 0; }

int CUIMenuResource::BandHeight(const MenuEntry& row) const
{
    return row.type == kMenuSeparator ? m_separatorHeight : FontHeight() + m_itemSpacing;
}

bool CUIMenuResource::Open(uint32_t menuId)
{
    const int first = FindFirstRow(menuId);
    if (first < 0) return false;
    m_menuId = menuId;
    m_firstRow = first;
    m_currentRow = first;
    GetMenuSize(m_width, m_height);
    return true;
}

void CUIMenuResource::GetMenuSize(int32_t& width, int32_t& height)
{
    int widest = 0;
    int h = 6;
    for (const MenuEntry* e = First(); e; e = Next()) {
        h += BandHeight(*e);
        if (e->type != kMenuSeparator && m_font)
            widest = std::max(widest, m_font->GetTextWidth(e->text) / 4);
    }
    width = std::max(20, widest) + 2 * m_sideMargin;
    height = h;
    m_width = width;
    m_height = height;
}

const MenuEntry* CUIMenuResource::HitTest(int x, int y)
{
    int top = 3;
    for (const MenuEntry* e = First(); e; e = Next()) {
        const int band = BandHeight(*e);
        if (e->type != kMenuSeparator && x >= 4 && x < m_width - 4 && y >= top && y < top + band)
            return e;
        top += band;
    }
    return nullptr;
}

MenuRect CUIMenuResource::ItemRect(uint32_t position)
{
    int top = 3;
    for (const MenuEntry* e = First(); e; e = Next()) {
        const int band = BandHeight(*e);
        if (e->position == position) return {2, top, m_width - 2, top + band};
        top += band;
    }
    return {};
}

// ---------------------------------------------------------------------------
// Walking

const MenuEntry* CUIMenuResource::Current() const
{
    if (m_currentRow < 0 || m_currentRow >= kMenuRows) return nullptr;
    const MenuEntry& e = MenuTableRows()[m_currentRow];
    return e.menuId == m_menuId && m_menuId != 0 ? &e : nullptr;
}

const MenuEntry* CUIMenuResource::First()
{
    if (m_firstRow < 0) return nullptr;
    m_currentRow = m_firstRow;
    return Current();
}

const MenuEntry* CUIMenuResource::Next()
{
    if (m_currentRow < 0 || m_menuId == 0) return nullptr;
    const MenuEntry* rows = MenuTableRows();
    // Rows of other menus in between belong to submenus; a free row ends the
    // menu, and so does the end of the table.
    for (int i = m_currentRow + 1; i < kMenuRows; ++i) {
        if (rows[i].menuId == 0) return nullptr;
        if (rows[i].menuId == m_menuId) {
            m_currentRow = i;
            return &rows[i];
        }
    }
    return nullptr;
}

const MenuEntry* CUIMenuResource::Prev()
{
    if (m_currentRow < 0 || m_menuId == 0) return nullptr;
    const MenuEntry* rows = MenuTableRows();
    for (int i = m_currentRow - 1; i >= m_firstRow && i >= 0; --i) {
        if (rows[i].menuId == m_menuId) {
            m_currentRow = i;
            return &rows[i];
        }
    }
    return nullptr;
}

const MenuEntry* CUIMenuResource::NextItem()
{
    const int start = m_currentRow;
    for (const MenuEntry* e = Next(); e; e = Next())
        if (e->type != kMenuSeparator) return e;
    m_currentRow = start;
    return nullptr;
}

const MenuEntry* CUIMenuResource::PrevItem()
{
    const int start = m_currentRow;
    for (const MenuEntry* e = Prev(); e; e = Prev())
        if (e->type != kMenuSeparator) return e;
    m_currentRow = start;
    return nullptr;
}

const MenuEntry* CUIMenuResource::FindPosition(uint32_t position)
{
    for (const MenuEntry* e = First(); e; e = Next())
        if (e->position == position && e->type != kMenuSeparator) return e;
    return nullptr;
}

const MenuEntry* CUIMenuResource::Begin(int& x, int& y)
{
    x = m_sideMargin;
    y = m_itemSpacing;
    return First();
}

const MenuEntry* CUIMenuResource::Advance(int& y)
{
    const MenuEntry* e = Current();
    if (!e) return nullptr;
    y += BandHeight(*e);
    return Next();
}

// ---------------------------------------------------------------------------
// Changes at run time

bool CUIMenuResource::SetItem(uint32_t menuId, uint32_t position, uint32_t type, uint32_t submenu,
                              int32_t value, uint8_t checked, const char* text)
{
    if (menuId == 0 || position < 1 || position > kMenuMaxPosition) return false;
    MenuEntry* rows = MenuTableRows();
    // The block built for the menu, found even when its first row was
    // deleted by an earlier rebuild. The target row must belong to that
    // block, so a longer list can never spill into the next menu.
    int first = -1;
    for (int i = 1; i < kMenuRows && first < 0; ++i)
        if (rows[i].homeMenu == menuId) first = i;
    if (first < 0) return false;
    const int row = first + int(position) - 1;
    if (row >= kMenuRows || rows[row].homeMenu != menuId) return false;

    MenuEntry& e = rows[row];
    if (type == kMenuDelete) {
        e.menuId = 0;
        return true;
    }
    e.menuId = menuId;
    e.position = position;
    e.type = type;
    e.submenu = submenu;
    e.value = value;
    e.checked = checked;
    StoreText(e, text);
    return true;
}

bool CUIMenuResource::SetItemText(uint32_t menuId, uint32_t position, uint8_t checked, const char* text)
{
    MenuEntry* e = FindRow(menuId, position);
    if (!e) return false;
    e->checked = checked;
    StoreText(*e, text);
    return true;
}

bool CUIMenuResource::SetChecked(uint32_t menuId, uint32_t position, uint8_t flag, bool exclusive)
{
    MenuEntry* target = FindRow(menuId, position);
    if (!target) return false;
    if (exclusive) {
        MenuEntry* rows = MenuTableRows();
        for (int i = 1; i < kMenuRows; ++i)
            if (rows[i].menuId == menuId) rows[i].checked = 0;
    }
    target->checked = flag;
    return true;
}
