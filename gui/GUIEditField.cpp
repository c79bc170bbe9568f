#include "gui/GUIEditField.h"

#include <algorithm>
#include <cstring>

#include "common/base/Utf8.h"
#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

namespace {
enum Key { kBack = 8, kEnter = 13, kEscape = 27, kEnd = 35, kHome = 36, kLeft = 37, kRight = 39, kDelete = 46 };
}

void GUIEditField::Init()
{
    GUIObject::Init();
    text[0] = original[0] = 0;
    caret = 0;
    fresh = false;
    caretVisible = true;
    blinkTicks = 0;
}

void GUIEditField::LoadValueText()
{
    char value[256] = "";
    if (owner) owner->GetValueText(&binding, value, sizeof value);
    utf8::CopyCut(text, sizeof text, value);
}

void GUIEditField::Activate()
{
    GUIObject::Activate();
    LoadValueText();
    memcpy(original, text, sizeof original);
    caret = int(strlen(text));
    fresh = true;
    caretVisible = true;
    blinkTicks = 0;
}

void GUIEditField::SendText(bool)
{
    if (owner) owner->SetStringValue(&binding, text);
}

bool GUIEditField::OnKey(int key, int ch, uint32_t)
{
    // A committed field keeps the keyboard but edits nothing until pressed
    // again; its keys go on to the dialog (Enter, Esc close it).
    if (!owner || !active) return false;
    const bool printable = utf8::Printable(char32_t(ch));
    const bool known = printable || key == kBack || key == kEnter || key == kEscape || key == kLeft ||
                       key == kRight || key == kDelete || key == kHome || key == kEnd;
    if (!known) return false;
    int len = int(strlen(text));
    if (fresh && (printable || key == kBack || key == kDelete)) {
        text[0] = 0;
        len = caret = 0;
    }
    fresh = false;
    caret = std::clamp(caret, 0, len);
    bool enter = false;
    if (printable) {
        // The field holds kMaxChars bytes of UTF-8: a character that does
        // not fit whole is not taken.
        caret += utf8::InsertAt(text, kMaxChars, size_t(caret), char32_t(ch));
    } else {
        switch (key) {
        case kBack:
            if (caret > 0) {
                const int start = int(utf8::PreviousStart(text, size_t(caret)));
                memmove(text + start, text + caret, size_t(len - caret + 1));
                caret = start;
            }
            break;
        case kLeft: caret = int(utf8::PreviousStart(text, size_t(caret))); break;
        case kRight: caret = std::min(len, caret + utf8::NextFast(text + caret, text + len).bytes); break;
        // Moving the caret ends the selection of a fresh text, so that what
        // is typed next goes there instead of replacing the whole text.
        case kHome: caret = 0; break;
        case kEnd: caret = len; break;
        case kDelete: text[0] = 0, caret = 0; break;
        case kEnter: enter = true; break;
        case kEscape: memcpy(text, original, sizeof text), caret = int(strlen(text)); break;
        default: break;
        }
    }
    SendText(enter);
    if (key == kEnter || key == kEscape) Deactivate();
    Update();
    return true;
}

void GUIEditField::EndTyping()
{
    if (!owner || !active) return;
    SendText(true);
    Deactivate();
    Update();
}

void GUIEditField::OnIdle()
{
    if (!active) return;
    if (++blinkTicks >= 8) {
        blinkTicks = 0;
        caretVisible = !caretVisible;
        Update();
    }
}

void GUIEditField::OnMouseMove(int, int)
{
    if (surface) surface->SetCursor(5);
}

int GUIEditField::GetParameterMenu(CPIBase*, int, int)
{
    return binding.group == 3 && binding.index >= 143 && binding.index <= 150 ? 4 : 0;
}

GuiRect GUIEditField::DrawEditing()
{
    const int tx = x + 3, ty = widgetdraw::TextTop(*this);
    const int textHeight = surface->Font().GetHeight();
    if (fresh) {
        const int width = (surface->Font().GetTextWidth(text) + 3) / 4;
        surface->SetColor(0x000000);
        surface->FillRect(tx - 1, ty, tx + width + 2, ty + textHeight, 1.0f);
        surface->SetColor(0x00FFFF);
        surface->DrawText(tx, ty, text, CUnifiedDC::kTextTransparent, 2, std::max(w - 4, 1));
    } else {
        surface->SetColor(0x000000);
        surface->DrawText(tx, ty, text, CUnifiedDC::kTextTransparent, 2, std::max(w - 4, 1));
        if (caretVisible) {
            char head[kMaxChars + 1];
            const int c = std::clamp(caret, 0, int(strlen(text)));
            memcpy(head, text, size_t(c));
            head[c] = 0;
            const int cx = tx + (surface->Font().GetTextWidth(head) + 2) / 4;
            if (cx < x + w) {
                surface->SetColor(0x000000);
                surface->FillRect(cx, ty, cx + 1, ty + textHeight, 1.0f);
            }
        }
    }
    return Rect();
}

GuiRect GUIEditField::Draw()
{
    if (!surface || !owner) return {};
    widgetdraw::WhiteBox(*this, widgetdraw::Image(*this, 1));
    GuiRect dirty = Rect();
    const GuiRect caption = widgetdraw::CaptionBelow(*this, CaptionTop(), false);
    UnionRects(dirty, dirty, caption);
    if (active) {
        DrawEditing();
        return dirty;
    }
    char value[128] = "";
    owner->GetValueText(&binding, value, sizeof value);
    surface->SetColor(textRed < 256 ? (textRed | uint32_t(textGreen & 255) << 8 | uint32_t(textBlue & 255) << 16)
                                    : 0x000000);
    surface->DrawText(x + w / 2, widgetdraw::TextTop(*this), value, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 2,
                      std::max(w - 2, 1));
    return dirty;
}
