#include "editor/CUISlider.h"

#include <algorithm>
#include <cmath>

#include "editor/WidgetDraw.h"
#include "gui/GUIHead.h"

void CUISlider::Init()
{
    GUIContinous::Init();
    scale = 1.0f;
    startN = 0;
    paging = false;
}

int CUISlider::ReadN()
{
    float v = 0.0f;
    if (owner) owner->GetFloatValue(&binding, v);
    if (!(v == v)) return 0;
    return std::clamp(int(std::clamp(double(v), -1.0, 2.0) * kPositions + 0.01), 0, kPositions);
}

int CUISlider::ThumbY(int n) const
{
    return y + (h - kPositions) / 2 + kPositions - int(float(n) * scale);
}

void CUISlider::Send(int n)
{
    n = std::clamp(n, 0, kPositions);
    if (owner) owner->SetFloatValue(&binding, float(n) / kPositions);
    Update();
}

GuiRect CUISlider::Draw()
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    const int n = ReadN();
    const int cx = x + w / 2;
    surface->SetColor(0x1E1E1E);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    surface->SetColor(0x000000);
    surface->FillRect(cx - 2, ThumbY(kPositions), cx + 2, ThumbY(0) + 1, 1.0f);
    const int top = ThumbY(n) - kThumbHeight / 2;
    surface->SetColor(0xA0A0A0);
    surface->FillRect(x + 2, top, x + w - 2, top + kThumbHeight, 1.0f);
    surface->SetColor(0xF0F0F0);
    surface->FillRect(x + 2, top + kThumbHeight / 2 - 1, x + w - 2, top + kThumbHeight / 2 + 1, 1.0f);
    char text[64] = "";
    if (owner) owner->GetValueText(&binding, text, sizeof text);
    surface->SetColor(0xC8C8C8);
    const int flags = CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent;
    surface->DrawText(cx, y + 1, binding.GetLabel(), flags, 1, 4 * w);
    surface->DrawText(cx, y + h - surface->Font().GetHeight() - 1, text, flags, 1, 4 * w);
    return Rect();
}

void CUISlider::Page(int py)
{
    // Toward the pointer by the value's own step, at least one position.
    const int n = ReadN();
    const int step = std::max(1, int(std::lround(std::clamp(double(binding.step), 0.0, 1.0) * kPositions)));
    const int centre = ThumbY(n);
    if (py < centre - kGrabDistance) Send(n + step);
    else if (py > centre + kGrabDistance) Send(n - step);
}

void CUISlider::OnMouseDown(uint32_t flags, int, int py)
{
    pressY = py;
    startN = ReadN();
    paging = std::abs(py - ThumbY(startN)) > kGrabDistance;
    if (paging && !(flags & 8)) Page(py);
}

void CUISlider::OnMouseDrag(uint32_t flags, int, int py)
{
    if (flags & 8) return;
    if (paging) Page(py);
    else Send(startN + (pressY - py));
}

void CUISlider::OnMouseUp(uint32_t, int, int) { paging = false; }
