#include "gui/GUISpinField.h"

#include <algorithm>
#include <cmath>

#include "gui/WidgetDrawing.h"
#include "gui/GUIHead.h"
#include "platform/CGlobalData.h"

int GUISpinField::Steps() const
{
    return std::max(1, int(std::clamp(binding.max, 1.0f, 1e9f)));
}

GuiRect GUISpinField::Draw()
{
    if (!surface || !owner) return {};
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    const int s = Steps();
    const double scaled = double(s) * v;
    if (!(scaled >= 0.0 && scaled <= s)) return {};
    const int index = int(scaled);

    GuiRect dirty = Rect();
    widgetdraw::Face(*this, widgetdraw::StateImage(*this), !(binding.group == 7 && binding.index == 37));

    // Hovered while an 8D axis is armed: the axis and its depth, which a
    // drag changes then, in place of the value.
    char text[128] = "";
    if (!active || !owner->GetAssignText(&binding, text, sizeof text))
        owner->GetValueText(&binding, text, sizeof text);
    const bool transport = binding.group == 7 && binding.index == 37;
    surface->SetColor(transport ? 0xFFFFFF : 0x141414);
    surface->DrawText(x + 2, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextTransparent, 2, std::max(w - 4, 1));

    int amount = 0;
    if (binding.group == 0 && owner->GetAssignAmount(&binding, amount) && amount != 0) {
        const int a = std::abs(amount);
        const float lo = std::clamp(float(index - a) / float(s), 0.0f, 1.0f);
        const float hi = std::clamp(float(index + a) / float(s), 0.0f, 1.0f);
        const int left = x + int(lo * float(w)), right = x + int(hi * float(w));
        surface->SetColor(amount > 0 ? 0x50FF50 : 0x0064FF);
        surface->FillRect(left, y, right, y + h, 0.4f);
        surface->FrameRect(left, y, right, y + h);
    }
    if (*binding.GetLabel()) {
        // Shown while hovered; an empty caption takes the last one away.
        const int textHeight = surface->Font().GetHeight();
        const GuiRect caption =
            DrawText(x - 20, y + h, x + w + 20, y + h + textHeight + 1, active ? binding.GetLabel() : "", true);
        UnionRects(dirty, dirty, caption);
    }
    if (g_ControllerNumberMode) {
        GuiRect disc = DrawControllerDisc(*this, x + w - 9, y + h / 2, &controller);
        UnionRects(dirty, dirty, disc);
    }
    return dirty;
}

void GUISpinField::OnMouseDown(uint32_t flags, int px, int py)
{
    if (!owner) return;
    if (owner->IsAssignArmed(&binding)) {
        GUIContinous::OnMouseDown(flags, px, py);
        return;
    }
    assignDrag = false;
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    dragPosition = std::isfinite(v) ? std::clamp(binding.max * v, 0.0f, float(Steps())) : 0.0f;
    pressY = py;
    resetDrag = (flags & 8) != 0;
    if (resetDrag) {
        owner->SetFloatValue(&binding, binding.defaultValue);
        Update();
    }
}

void GUISpinField::OnMouseDrag(uint32_t flags, int px, int py)
{
    if (!owner) return;
    if (assignDrag) {
        GUIContinous::OnMouseDrag(flags, px, py);
        return;
    }
    if (resetDrag || (flags & 8)) {
        owner->SetFloatValue(&binding, binding.defaultValue);
        Update();
        return;
    }
    const int s = Steps();
    float d = float(pressY - py);
    if (flags & 4) d *= 0.0625f;
    const float p = std::clamp(dragPosition + d, 0.0f, float(s));
    owner->SetFloatValue(&binding, p / float(s));
    Update();
}
