// The layout editor's part of the GUI manager: selecting, moving and
// banding widgets in edit mode, the layout menu's commands, insert, delete
// and paste, and the rebinding the modulation dialog uses.
#include <algorithm>
#include <cstring>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"

namespace {

bool Tagged(const GUIObject* w, const char* tag) { return strncmp(w->GetTag(), tag, GUIObject::kTagSize) == 0; }

constexpr uint32_t kSelectedFrame = 0x00FF00;

}  // namespace

void GUIHead::EditMouseDown(uint32_t flags, int x, int y, GUIObject* w)
{
    const bool shift = (flags & 4) != 0;
    if (!shift)
        for (const auto& other : m_widgets)
            if (other->active) {
                other->active = 0;
                other->Update();
            }
    if (Tagged(w, "BKGD")) {
        if (!shift) {
            m_bandActive = 1;
            m_bandStartX = m_bandEndX = x;
            m_bandStartY = m_bandEndY = y;
        }
        return;
    }
    w->active = 1;
    if (m_surface) {
        w->Draw();
        m_surface->SetColor(kSelectedFrame);
        m_surface->FrameRect(w->x - 1, w->y - 1, w->x + w->w + 1, w->y + w->h + 1);
        m_surface->Present(m_surface->GetWindow(), w->x - 1, w->y - 1, w->x + w->w + 2, w->y + w->h + 2);
    }
    for (const auto& other : m_widgets)
        if (other->active) other->BeginMove(x, y);
}

void GUIHead::EditMouseMove(int x, int y)
{
    if (m_bandActive) {
        m_bandEndX = x;
        m_bandEndY = y;
        return;
    }
    bool moved = false;
    for (const auto& w : m_widgets)
        if (w->active && !Tagged(w.get(), "BKGD")) {
            w->MoveWithPointer(x, y, ClientWidth(), ClientHeight());
            moved = true;
        }
    if (moved) RedrawAll();
}

void GUIHead::EditMouseUp(int x, int y)
{
    m_bandActive = 0;
    const GuiRect band{std::min(m_bandStartX, x), std::min(m_bandStartY, y), std::max(m_bandStartX, x),
                       std::max(m_bandStartY, y)};
    for (const auto& w : m_widgets) w->active = 0;
    for (const auto& w : m_widgets) {
        if (!w->IsVisibleNow() || w->layer <= 0 || IsDialog(w.get())) continue;
        if (m_openDialog > 0 && w->dialogId != m_openDialog) continue;
        GuiRect meet;
        if (IntersectRects(meet, band, w->Rect())) w->active = 1;
    }
    RedrawAll();
}

// Edit mode ends whole, by its own menu item as with the layout saved: no
// widget stays selected (framed, moved by the next drag, or shown as
// hovered), no band stays open, and a press is a press again.
void GUIHead::LeaveEditMode()
{
    m_editMode = 0;
    m_bandActive = 0;
    for (const auto& w : m_widgets) w->active = 0;
}

void GUIHead::OnLayoutCommand(int value)
{
    m_clickX &= ~1;
    m_clickY &= ~1;
    switch (value) {
    case 49:
        if (m_editMode)
            LeaveEditMode();
        else
            m_editMode = 1;
        break;
    case 50: OpenDialog(m_clickX, m_clickY, 1, 0); break;
    case 51: DeleteMenuTarget(); break;
    case 56: Paste(); break;
    case 60:
        // A failed save keeps the permission, so the layout can still be
        // saved (the writer has said why it failed). A good one ends the
        // editing whole: without the permission no menu could leave edit
        // mode, and its frames and selection would stay on every page.
        if (SaveLayout()) {
            m_editingAllowed = 0;
            LeaveEditMode();
        }
        break;
    default: InsertByType(value); break;
    }
    RedrawAll();
}

GUIObject* GUIHead::InsertByType(int typeNumber)
{
    if (strcmp(GUIResource::TagOfType(typeNumber), "----") == 0) return nullptr;
    std::unique_ptr<GUIObject> w = GUIResource::CreateByType(typeNumber);
    if (!w) return nullptr;
    w->surface = m_surface;
    w->owner = this;
    w->x = m_clickX;
    w->y = m_clickY;
    w->AfterLoad();
    if (m_openDialog > 0) {
        w->dialogId = m_openDialog;
        w->layer = 11;
    }
    GUIObject* added = Adopt(std::move(w));
    SortByLayer();
    return added;
}

void GUIHead::DeleteMenuTarget()
{
    GUIObject* target = m_menuTarget;
    if (!target) return;
    uint32_t images[GUIObject::kProperties];
    std::copy(std::begin(target->properties), std::end(target->properties), images);
    // A background widget erases from an image of its own while the page
    // has no picture; the surface must not keep erasing from it.
    if (m_surface && Tagged(target, "BKGD")) m_surface->SetBackground(nullptr);
    DeleteObject(target);
    m_menuTarget = nullptr;
    CGLBitmapCache cache;
    for (uint32_t id : images) {
        if (id == 0 || id > uint32_t(CGLBitmapCache::kSlots)) continue;
        bool used = false;
        for (const auto& w : m_widgets)
            used = used || std::find(std::begin(w->properties), std::end(w->properties), id) != std::end(w->properties);
        const CDIBitmap* image = CGLBitmapCache::Get(int(id));
        if (used || !image) continue;
        // The surface must not go on erasing from or framing dialogs with
        // an image that is about to be emptied: the plain fill takes over.
        if (m_surface && m_surface->GetBackground() == image) m_surface->SetBackground(nullptr);
        if (m_surface && m_surface->GetPanel() == image) m_surface->SetPanel(nullptr, 0, 0);
        CGLBitmapCache::Free(int(id));
    }
}

GUIObject* GUIHead::Paste()
{
    const GUIObject* source = GetClipboard();
    if (!source) return nullptr;
    std::unique_ptr<GUIObject> w = GUIResource::CreateByTag(source->GetTag());
    if (!w) return nullptr;
    GUIResource::CopyWidget(*w, *source);
    // The copy takes the settings; what the widget builds from them (its
    // own drawing buffers) it builds anew in AfterLoad.
    w->surface = m_surface;
    w->owner = this;
    w->x = m_clickX;
    w->y = m_clickY;
    w->dialogId = 0;
    w->pageMask = m_page >= 0 && m_page < 32 ? 1u << m_page : 0u;
    w->active = 0;
    w->AfterLoad();
    GUIObject* added = Adopt(std::move(w));
    SortByLayer();
    return added;
}

bool GUIHead::RebindBySub(uint32_t sub, uint32_t index)
{
    const CIParameter* row = CIParameter::Find(0, index, sub);
    if (!row) return false;
    for (const auto& w : m_widgets)
        if (w->binding.group == 0 && w->binding.sub == sub) w->binding = *row;
    return true;
}
