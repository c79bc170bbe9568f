#include "editor/CUIMWheel.h"

#include <algorithm>
#include <cmath>

#include "editor/WidgetDraw.h"
#include "gui/GUIHead.h"

void CUIMWheel::Init()
{
    GUIContinous::Init();
    drawnPosition = -1;
}

int CUIMWheel::PositionOf(float value)
{
    if (!(value == value)) return 0;
    return int(std::clamp(double(value), 0.0, 1.0) * kSteps + 0.01);
}

int CUIMWheel::FrameOf(float value) { return std::min(PositionOf(value) / 2, kFrames - 1); }

float CUIMWheel::Value()
{
    float v = 0.0f;
    if (owner) owner->GetFloatValue(&binding, v);
    return v;
}

GuiRect CUIMWheel::Draw()
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    const float value = Value();
    drawnPosition = PositionOf(value);
    const int frame = FrameOf(value);
    // The wheel's ribs roll with the frame; the notch marks the value.
    surface->SetColor(0x202020);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    surface->SetColor(0x5A5A5A);
    surface->FillRect(x + 1, y + 1, x + w - 1, y + h - 1, 1.0f);
    surface->SetColor(0x3A3A3A);
    for (int r = (frame % 4); r < h; r += 4) surface->FillRect(x + 1, y + r, x + w - 1, y + r + 1, 1.0f);
    const int notch = y + h - 3 - frame * (h - 6) / (kFrames - 1);
    surface->SetColor(0xF0F0F0);
    surface->FillRect(x + 1, notch - 1, x + w - 1, notch + 2, 1.0f);
    return Rect();
}

void CUIMWheel::OnMouseUp(uint32_t flags, int px, int py)
{
    GUIContinous::OnMouseUp(flags, px, py);
    if (binding.group == 0 && binding.index == kPitchWheel && owner) owner->SetFloatValue(&binding, 0.5f);
    Update();
}

void CUIMWheel::OnIdle()
{
    if (PositionOf(Value()) != drawnPosition) Update();
}
