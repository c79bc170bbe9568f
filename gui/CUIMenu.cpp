#include "gui/CUIMenu.h"

#include <algorithm>

#include "gui/CGLBitmapCache.h"

namespace {

constexpr CUnifiedDC::Colour kBodyColour = 0xFFF2DA;
constexpr CUnifiedDC::Colour kFrameColour = 0x463232;

enum Key { kEnter = 13, kEscape = 27, kLeft = 37, kUp = 38, kRight = 39, kDown = 40 };

// Menus measure and draw in font 0 with the standard spacing; the caller's
// font settings come back afterwards.
class MenuFont {
public:
    explicit MenuFont(CGLFont& font) : m_font(font), m_face(font.SetFont(0)), m_spacing(font.SetSpacing(2)) {}
    ~MenuFont()
    {
        m_font.SetFont(m_face);
        m_font.SetSpacing(m_spacing);
    }

private:
    CGLFont& m_font;
    int m_face, m_spacing;
};

// Layout always measures font 0 at the standard spacing, whatever the
// surface's font is set to between two calls.
const CGLFont& MeasureFont()
{
    static const CGLFont font;
    return font;
}

// Draws with the whole surface open and puts the caller's clip back.
class FullClip {
public:
    explicit FullClip(CUnifiedDC& dc) : m_dc(dc), m_clip(dc.GetClip()) { dc.SetClip(0, 0, 10000, 10000); }
    ~FullClip() { m_dc.SetClip(m_clip.left, m_clip.top, m_clip.right, m_clip.bottom); }

private:
    CUnifiedDC& m_dc;
    GuiRect m_clip;
};

}  // namespace

CUIMenu::CUIMenu(CUIMenuResource* view) : m_view(view) {}

CUIMenu::~CUIMenu()
{
    // Closing here would draw into a surface that may be gone already; the
    // owner closes an open menu while the surface lives.
    m_child.reset();
}

void CUIMenu::Select()
{
    if (m_view->GetMenuId() != m_menuId || m_view->GetWidth() != m_width) m_view->Open(m_menuId);
}

bool CUIMenu::Open(CUnifiedDC* target, int x, int y, uint32_t menuId, int anchorLeft,
                   int anchorTop, int anchorRight, int anchorBottom)
{
    if (m_open) Close();
    if (!target || !m_view) return false;
    m_view->SetFont(&MeasureFont());
    // A menu id without rows would show an empty box of whatever size the
    // view had before.
    if (!m_view->Open(menuId)) return false;
    m_target = target;
    m_menuId = menuId;
    m_width = m_view->GetWidth();
    m_height = m_view->GetHeight();
    const int savedWidth = m_width + kShadow, savedHeight = m_height + kShadow;

    const bool anchored = anchorLeft || anchorTop || anchorRight || anchorBottom;
    if (anchored && anchorRight + kSubmenuGap + savedWidth >= kWindowWidth)
        x = anchorLeft - savedWidth - kSubmenuGap + 4;
    if (x + savedWidth >= kWindowWidth) x = kWindowWidth - savedWidth;
    if (y + savedHeight >= kWindowHeight) y = kWindowHeight - savedHeight;
    // A menu larger than the window starts at its corner rather than
    // outside it.
    m_x = std::max(x, 0);
    m_y = std::max(y, 0);
    m_body = {m_x, m_y, m_x + m_width, m_y + m_height};
    m_saved = {m_x, m_y, m_x + savedWidth, m_y + savedHeight};

    m_background.Create(savedWidth, savedHeight, 24);
    {
        FullClip clip(*target);
        target->Blit(CUnifiedDC::kBlitCopy, 0, 0, savedWidth, savedHeight, target->GetBackSurface(),
                     m_x, m_y, 1.0f, &m_background);
    }
    m_highlight = 1;
    m_open = 1;
    Draw();
    if (const MenuEntry* row = HighlightedRow(); row && row->type == kMenuLink) OpenSubmenu(row);
    return true;
}

GuiRect CUIMenu::ItemRect(uint32_t position)
{
    Select();
    const MenuRect r = m_view->ItemRect(position);
    if (r.IsEmpty()) return {};
    return {m_x + r.left, m_y + r.top, m_x + r.right, m_y + r.bottom};
}

const MenuEntry* CUIMenu::HighlightedRow()
{
    Select();
    return m_view->FindPosition(m_highlight);
}

const MenuEntry* CUIMenu::RowAt(int x, int y)
{
    Select();
    return m_view->HitTest(x - m_x, y - m_y);
}

bool CUIMenu::Contains(int x, int y) const
{
    return x >= m_saved.left && x < m_saved.right && y >= m_saved.top && y < m_saved.bottom;
}

void CUIMenu::Draw()
{
    if (!m_open) return;
    CUnifiedDC& dc = *m_target;
    FullClip clip(dc);
    MenuFont font(dc.Font());
    CGLBitmapCache images;
    const CUnifiedDC::Colour savedColour = dc.GetColor();

    dc.Blit(CUnifiedDC::kBlitCopy, m_saved.left, m_saved.top, m_saved.right, m_saved.bottom,
            &m_background, 0, 0);
    const GuiRect bar = ItemRect(m_highlight);
    dc.SetColor(0x000000);
    dc.FillRect(m_body.left + kShadow, m_body.top + kShadow, m_body.right + kShadow,
                m_body.bottom + kShadow, 0.3f);
    if (bar.right > bar.left)
        dc.FillRect(bar.left + kShadow, bar.top + kShadow, bar.right + kShadow,
                    bar.bottom + kShadow, 0.4f);
    dc.SetColor(kBodyColour);
    dc.FillRect(m_body.left, m_body.top, m_body.right, m_body.bottom, 0.8f);
    dc.SetColor(kFrameColour);
    dc.FrameRect(m_body.left, m_body.top, m_body.right, m_body.bottom);
    if (bar.right > bar.left) dc.FillRect(bar.left, bar.top, bar.right, bar.bottom, 1.0f);

    Select();
    int top = 3;
    for (const MenuEntry* e = m_view->First(); e; e = m_view->Next()) {
        const int band = e->type == kMenuSeparator ? 6 : MeasureFont().GetHeight() + 6;
        const int left = m_x + 2, right = m_x + m_width - 2, y = m_y + top;
        if (e->type == kMenuSeparator) {
            dc.SetColor(0x000000);
            dc.FillRect(left, y + 2, right, y + 5, 0.2f);
        } else {
            const CUnifiedDC::Colour ink = e->position == m_highlight ? 0xFFFFFF : 0x000000;
            dc.SetColor(ink);
            dc.DrawText(m_x + 16, y + 3, e->text, CUnifiedDC::kTextTransparent, 2);
            if (e->type == kMenuLink)
                dc.Blit(CUnifiedDC::kBlitInk, right - 10, y + 2, right, y + 12,
                        CGLBitmapCache::GetSubmenuArrow(), 0, 0);
            if (e->checked)
                dc.Blit(CUnifiedDC::kBlitInk, left + 2, y + 2, left + 12, y + 12,
                        CGLBitmapCache::GetCheckMark(), 0, 0);
        }
        top += band;
    }
    dc.SetColor(savedColour);
    Present();
}

void CUIMenu::Present()
{
    if (m_target)
        m_target->Present(m_target->GetWindow(), m_saved.left, m_saved.top, m_saved.right,
                          m_saved.bottom);
}

void CUIMenu::CloseChild()
{
    if (m_child) m_child->Close();
}

void CUIMenu::OpenSubmenu(const MenuEntry* row)
{
    CloseChild();
    m_child.reset();
    if (!row || row->type != kMenuLink) return;
    const uint32_t submenu = row->submenu;
    const GuiRect r = ItemRect(row->position);
    m_child = std::make_unique<CUIMenu>(m_view);
    if (!m_child->Open(m_target, r.right + kSubmenuGap, r.top, submenu, r.left, r.top, r.right,
                       r.bottom))
        m_child.reset();
}

bool CUIMenu::MouseMove(uint32_t flags, int x, int y)
{
    if (!m_open) return false;
    if (GetChild() && m_child->MouseMove(flags, x, y)) return true;
    const MenuEntry* row = RowAt(x, y);
    if (!row) return false;
    if (row->position == m_highlight) return true;
    // The old submenu goes before the redraw, so that its saved picture
    // (which holds this menu) is put back first.
    CloseChild();
    m_highlight = row->position;
    const MenuEntry copy = *row;
    Draw();
    if (copy.type == kMenuLink) OpenSubmenu(&copy);
    return true;
}

int CUIMenu::ItemAt(int x, int y)
{
    for (CUIMenu* m = this; m && m->m_open; m = m->GetChild())
        if (const MenuEntry* row = m->RowAt(x, y); row && row->type == kMenuItem) return int(row->resultId);
    return -1;
}

int CUIMenu::Click(uint32_t, int x, int y)
{
    const int result = ItemAt(x, y);
    if (result >= 0) Close();
    return result;
}

int CUIMenu::Key(int key)
{
    if (!m_open || key < kEnter || key > kDown) return -1;
    CUIMenu* parent = nullptr;
    CUIMenu* deepest = this;
    while (deepest->GetChild()) {
        parent = deepest;
        deepest = deepest->GetChild();
    }
    const MenuEntry* row = deepest->HighlightedRow();
    if (!row) return -1;
    switch (key) {
    case kEnter:
        // Enter on a link opens it, as Right does: its value is no choice.
        if (row->type == kMenuLink) {
            const MenuEntry copy = *row;
            deepest->OpenSubmenu(&copy);
            return -1;
        } else {
            const int result = int(row->resultId);
            Close();
            return result;
        }
    case kEscape:
        Close();
        return -1;
    case kLeft:
        if (parent) parent->CloseChild();
        return -1;
    case kRight:
        if (row->type == kMenuLink) {
            const MenuEntry copy = *row;
            deepest->OpenSubmenu(&copy);
        }
        return -1;
    case kUp:
    case kDown: {
        const MenuEntry* next = key == kUp ? m_view->PrevItem() : m_view->NextItem();
        if (next) {
            deepest->CloseChild();
            deepest->m_highlight = next->position;
            deepest->Draw();
        }
        return -1;
    }
    default:
        return -1;
    }
}

void CUIMenu::CloseIfOutside(uint32_t, int x, int y)
{
    for (CUIMenu* m = this; m && m->m_open; m = m->GetChild())
        if (m->Contains(x, y)) return;
    Close();
}

void CUIMenu::Close()
{
    CloseChild();
    m_child.reset();
    if (!m_open) return;
    m_open = 0;
    if (m_target) {
        FullClip clip(*m_target);
        m_target->Blit(CUnifiedDC::kBlitCopy, m_saved.left, m_saved.top, m_saved.right,
                       m_saved.bottom, &m_background, 0, 0);
    }
    Present();
    m_background.Destroy();
}
