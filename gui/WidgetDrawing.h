#pragma once
// Small drawing steps the standard widgets share.
#include <algorithm>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIObject.h"

namespace widgetdraw {

// Image n (1..16) of a widget, from the bitmap cache; null when the
// property names no image in use.
inline const CDIBitmap* Image(const GUIObject& w, int n)
{
    if (n < 1 || n > GUIObject::kProperties) return nullptr;
    CGLBitmapCache images;
    return CGLBitmapCache::Get(int(w.properties[n - 1]));
}

// Image 2 while active (falling back to image 1), else image 1.
inline const CDIBitmap* StateImage(const GUIObject& w)
{
    const CDIBitmap* on = w.active ? Image(w, 2) : nullptr;
    return on ? on : Image(w, 1);
}

// A face for dark text when the layout gives no image: light enough to
// read it on.
constexpr uint32_t kLightFace = 0xDCDCDC;

// The widget's face: its image over the rect, else a light box (`light`,
// for widgets that write dark text), the dialog's panel or the background.
inline void Face(GUIObject& w, const CDIBitmap* image, bool light = false)
{
    CUnifiedDC* dc = w.surface;
    if (image) {
        dc->Blit(CUnifiedDC::kBlitCopy, w.x, w.y, w.x + w.w, w.y + w.h, image, 0, 0);
    } else if (light) {
        dc->SetColor(kLightFace);
        dc->FillRect(w.x, w.y, w.x + w.w, w.y + w.h, 1.0f);
    } else if (w.dialogId != 0)
        dc->DrawDialogPanel(w.x, w.y, w.x + w.w, w.y + w.h);
    else
        dc->ClearRect(w.x, w.y, w.x + w.w, w.y + w.h);
}

// The face of a text box: its image, else a white box.
inline void WhiteBox(GUIObject& w, const CDIBitmap* image)
{
    CUnifiedDC* dc = w.surface;
    if (image) {
        dc->Blit(CUnifiedDC::kBlitCopy, w.x, w.y, w.x + w.w, w.y + w.h, image, 0, 0);
    } else {
        dc->SetColor(0xFFFFFF);
        dc->FillRect(w.x, w.y, w.x + w.w, w.y + w.h, 1.0f);
    }
}

// The top of one line of text centred in the widget's height: the line's
// ink (without the descender row) sits in the middle of the box. A field of
// 16 pixels puts it 2 below its top edge.
inline int TextTop(const GUIObject& w)
{
    const int textHeight = w.surface->Font().GetHeight();
    return w.y + std::max(0, (w.h - textHeight - 1) / 2);
}

// The caption centred under the widget, `gap` pixels below its top edge
// plus its height.
inline GuiRect CaptionBelow(GUIObject& w, int top, bool highlight)
{
    const int textHeight = w.surface->Font().GetHeight();
    return w.DrawText(w.x - 20, top, w.x + w.w + 20, top + textHeight + 1, w.binding.GetLabel(), highlight);
}

}  // namespace widgetdraw
