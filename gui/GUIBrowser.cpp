#include "gui/GUIBrowser.h"

#include <algorithm>
#include <cstring>

#include "common/base/Utf8.h"
#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

namespace {

enum Key {
    kBack = 8, kEnter = 13, kShift = 16, kEscape = 27, kPgUp = 33, kPgDn = 34,
    kLeft = 37, kUp = 38, kRight = 39, kDown = 40, kDelete = 46
};

bool Inside(const GuiRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

}  // namespace

void GUIBrowser::Init()
{
    GUIObject::Init();
    listArea = headerArea = footerArea = barArea = {};
    hasBar = hasFooter = hasIcons = 0;
    visibleRows = firstRow = 0;
    pressedRow = -1;
    menuPoint = {};
    thumbDrag = 0;
    pressY = firstAtPress = 0;
    source = nullptr;
    editing = editFresh = caretVisible = 0;
    caret = blink = 0;
    editText[0] = 0;
}

void GUIBrowser::AfterLoad()
{
    listArea = Rect();
    headerArea = footerArea = barArea = {};
    if (const CDIBitmap* header = widgetdraw::Image(*this, 2)) {
        listArea.top += header->Height();
        headerArea = {x, y, x + header->Width(), y + header->Height()};
    }
    hasBar = 0;
    if (const CDIBitmap* bar = widgetdraw::Image(*this, 3)) {
        listArea.right -= bar->Width();
        barArea = {listArea.right, listArea.top, listArea.right + bar->Width(), listArea.top + bar->Height()};
        hasBar = 1;
    }
    hasFooter = 0;
    if (const CDIBitmap* footer = widgetdraw::Image(*this, 4)) {
        listArea.bottom -= footer->Height();
        footerArea = {x, listArea.bottom, x + footer->Width(), listArea.bottom + footer->Height()};
        hasFooter = 1;
    }
    hasIcons = widgetdraw::Image(*this, 5) ? 1 : 0;
    // Strips taller than the widget leave no room for rows, not a negative count.
    visibleRows = std::max(0, (listArea.bottom - listArea.top) / kRowHeight);
    firstRow = 0;
    source = nullptr;
    editing = 0;
}

CBrowser* GUIBrowser::Source()
{
    if (!source && owner) {
        source = owner->GetBrowser(&binding);
        if (source) source->OnAttach();
    }
    return source;
}

void GUIBrowser::LimitFirst(int count)
{
    firstRow = std::max(0, std::min(firstRow, count - visibleRows));
}

void GUIBrowser::Thumb(int count, int& t, int& k) const
{
    const int64_t span = barArea.bottom - barArea.top - 4;
    t = count > 0 ? int(span * firstRow / count) : 0;
    k = count > 0 ? int(span * visibleRows / count) : 0;
}

bool GUIBrowser::CursorTo(int n)
{
    source->First();
    for (int i = 0; i < n && !source->AtEnd(); ++i) source->Next();
    return n >= 0 && !source->AtEnd();
}

GuiRect GUIBrowser::Draw()
{
    if (!surface || !Source()) return {};
    CUnifiedDC& dc = *surface;
    widgetdraw::Face(*this, widgetdraw::Image(*this, 1));
    const int count = source->GetCount();
    LimitFirst(count);
    const int selection = source->GetSelection();
    const CDIBitmap* icons = hasIcons ? widgetdraw::Image(*this, 5) : nullptr;
    CursorTo(firstRow);
    for (int n = 0; n < visibleRows && !source->AtEnd(); ++n, source->Next()) {
        const int row = firstRow + n;
        const int ty = listArea.top + 5 + kRowHeight * n;
        int indent = source->GetLevel() * 16;
        if (icons) {
            const int icon = source->GetIcon();
            dc.Blit(CUnifiedDC::kBlitCopy, listArea.left + indent, ty - 3, listArea.left + indent + 16, ty + 13,
                    icons, icon * 16, 0);
            indent += 20;
        }
        const int maxWidth = std::max(1, listArea.right - listArea.left - indent - 2);
        const int tx = listArea.left + indent;
        if (row != selection) {
            dc.SetColor(0xFFFFFF);
            dc.DrawText(tx, ty, source->GetText(0), CUnifiedDC::kTextTransparent, 2, maxWidth);
            continue;
        }
        dc.SetColor(editing ? 0x282828 : 0xC8FAFA);
        dc.FillRect(tx - 2, ty - 2, listArea.right - 4, ty + 10, 1.0f);
        if (editing) {
            dc.SetColor(0x00FFFF);
            dc.DrawTextCaret(tx, ty, editText, editFresh || !caretVisible ? -1 : caret,
                             CUnifiedDC::kTextTransparent, 2);
        } else {
            dc.SetColor(0x000000);
            dc.DrawText(tx, ty, source->GetText(0), CUnifiedDC::kTextTransparent, 2, maxWidth);
        }
    }
    if (hasBar && count > visibleRows) {
        int t = 0, k = 0;
        Thumb(count, t, k);
        dc.SetColor(0xC8C8C8);
        dc.FillRect(barArea.left + 3, barArea.top + 2 + t, barArea.right - 2, barArea.top + 3 + t + k, 1.0f);
    }
    return Rect();
}

void GUIBrowser::AfterChange()
{
    if (source->TakeChangedFlag()) {
        const int page = source->GetPageToShow();
        if (!owner) return;
        if (page == 0)
            owner->NotifyParameterChanged();
        else
            owner->SetPage(page);
    } else {
        Update();
    }
}

void GUIBrowser::StartEdit()
{
    const char* text = source->GetText(0);
    // The edit box holds 63 bytes; a longer row text is cut between two
    // characters.
    utf8::CopyCut(editText, sizeof editText, text ? text : "");
    caret = int(strlen(editText));
    editing = 1;
    editFresh = 1;
    blink = 0;
    caretVisible = 1;
}

void GUIBrowser::OnMouseDown(uint32_t, int px, int py)
{
    if (!Source()) return;
    if (Inside(listArea, px, py)) {
        editing = 0;
        const int r = (py - listArea.top) / kRowHeight;
        pressedRow = r;
        source->SetSelection(firstRow + r);
        if (source->ApplySelection()) {
            CursorTo(firstRow + r);
            if (source->CanEditText() && px > listArea.left + source->GetLevel() * 16 + 24) {
                StartEdit();
            } else if (const int item = source->GetDragItem(); item != 0 && owner) {
                owner->SetPendingDrop(item);
            }
        }
    } else if (hasBar && Inside(barArea, px, py)) {
        const int count = source->GetCount();
        if (count <= visibleRows) return;
        int t = 0, k = 0;
        Thumb(count, t, k);
        if (py < barArea.top + 2 + t) {
            firstRow -= visibleRows;
        } else if (py > barArea.top + 3 + t + k) {
            firstRow += visibleRows;
        } else {
            thumbDrag = 1;
            pressY = py;
            firstAtPress = firstRow;
        }
        LimitFirst(count);
    } else if (hasFooter && Inside(footerArea, px, py)) {
        editing = 0;
        pressedRow = -1;
    } else {
        return;
    }
    AfterChange();
}

void GUIBrowser::OnDoubleClick(uint32_t, int px, int py)
{
    if (!Source() || !Inside(listArea, px, py)) return;
    const int r = (py - listArea.top) / kRowHeight;
    if (r != pressedRow) return;
    source->SetSelection(firstRow + r);
    if (!source->ApplySelection()) return;
    CursorTo(firstRow + r);
    if (source->GetChildCount() == 0) {
        const int n = source->Expand();
        if (r + n >= visibleRows) firstRow += std::min(r, r + n - visibleRows + 1);
    } else {
        source->Collapse();
    }
    LimitFirst(source->GetCount());
    AfterChange();
}

void GUIBrowser::ThumbFollow(int py)
{
    const int count = source->GetCount();
    const int64_t height = barArea.bottom - barArea.top;
    if (height <= 0) return;
    firstRow = firstAtPress + int(int64_t(py - pressY) * count / height);
    LimitFirst(count);
    Update();
}

void GUIBrowser::OnMouseUp(uint32_t, int, int py)
{
    if (thumbDrag && Source()) ThumbFollow(py);
    thumbDrag = 0;
}

void GUIBrowser::OnMouseMove(int px, int py)
{
    if (thumbDrag && Source()) ThumbFollow(py);
    GUIObject::OnMouseMove(px, py);
}

void GUIBrowser::OnMouseDrag(uint32_t, int, int py)
{
    if (thumbDrag && Source()) ThumbFollow(py);
}

bool GUIBrowser::EditKey(int key, int ch)
{
    const bool printable = utf8::Printable(char32_t(ch));
    const bool known = printable || key == kBack || key == kDelete || key == kLeft || key == kRight ||
                       key == kEnter || key == kEscape;
    if (!known) return key == kShift;
    int len = int(strlen(editText));
    if (editFresh && (printable || key == kBack || key == kDelete)) {
        editText[0] = 0;
        len = caret = 0;
    }
    editFresh = 0;
    caret = std::clamp(caret, 0, len);
    if (key == kEnter) {
        source->ApplySelection();
        source->SetText(0, editText);
        editing = 0;
    } else if (key == kEscape) {
        editing = 0;
    } else if (key == kBack) {
        if (caret > 0) {
            const int start = int(utf8::PreviousStart(editText, size_t(caret)));
            memmove(editText + start, editText + caret, size_t(len - caret + 1));
            caret = start;
        }
    } else if (key == kDelete) {
        const int n = utf8::NextFast(editText + caret, editText + len).bytes;
        if (caret < len) memmove(editText + caret, editText + caret + n, size_t(len - caret - n + 1));
    } else if (key == kLeft) {
        caret = int(utf8::PreviousStart(editText, size_t(caret)));
    } else if (key == kRight) {
        caret = std::min(len, caret + utf8::NextFast(editText + caret, editText + len).bytes);
        // It stops before the last of the 63 bytes' characters.
        if (caret > kEditChars - 1) caret = int(utf8::PreviousStart(editText, size_t(kEditChars)));
    } else {
        // A character that does not fit whole in the 63 bytes is not taken.
        caret += utf8::InsertAt(editText, kEditChars, size_t(caret), char32_t(ch));
    }
    Update();
    return true;
}

bool GUIBrowser::OnKey(int key, int ch, uint32_t)
{
    if (!Source()) return false;
    if (editing) return EditKey(key, ch);
    const int count = source->GetCount();
    switch (key) {
    case kEnter:
    case kLeft:
    case kRight:
        return true;
    case kPgUp:
    case kPgDn:
        firstRow += key == kPgUp ? -1 : 1;
        LimitFirst(count);
        Update();
        return true;
    case kUp:
    case kDown: {
        const int old = source->GetSelection();
        const int sel = std::clamp(old + (key == kUp ? -1 : 1), 0, std::max(0, count - 1));
        if (sel == old || count == 0) return true;
        if (key == kUp && sel < firstRow) firstRow = sel;
        if (key == kDown && sel >= firstRow + visibleRows) firstRow = sel - visibleRows + 1;
        source->SetSelection(sel);
        source->ApplySelection();
        if (owner) owner->NotifyParameterChanged();
        return true;
    }
    default:
        return false;
    }
}

void GUIBrowser::OnIdle()
{
    if (!active || !editing) return;
    if (++blink >= 8) {
        blink = 0;
        caretVisible = !caretVisible;
        Update();
    }
}

int GUIBrowser::GetContextMenu(int px, int py)
{
    menuPoint = {px, py};
    if (!Source()) return 0;
    return source->Slot24(firstRow + (py - listArea.top) / kRowHeight);
}

bool GUIBrowser::OnMenu(int menuId, int value)
{
    if (!Source() || !source->OnMenu(menuId, value)) return false;
    if (owner) owner->NotifyParameterChanged();
    return true;
}
