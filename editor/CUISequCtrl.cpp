#include "editor/CUISequCtrl.h"

#include <algorithm>

#include "editor/WidgetDraw.h"

namespace {
constexpr int kInset = 2;
constexpr int kLaneA = 11, kLaneB = 12;
}  // namespace

GuiRect CUISequCtrl::Draw()
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    const bool laneB = LaneB();
    surface->SetColor(0x1E1E1E);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    const int bottom = y + h - kInset;
    surface->SetColor(laneB ? 0xDCFFFF : 0xFFDCDC);
    for (int s = 0; s < kSteps; ++s) {
        // Stored levels past 127 (from a project) stay inside the lane.
        const int n = std::clamp(ValueToN(GetValue(laneB ? kLaneB : kLaneA, s)), 0, 127);
        const int height = n * kLevels / 127;
        const int left = x + kInset + s * kStepWidth;
        if (height > 0) surface->FillRect(left + 1, bottom - height, left + kStepWidth - 1, bottom, 0.9f);
    }
    return Rect();
}

void CUISequCtrl::SetLevel(int px, int py)
{
    const int step = std::clamp(FloorDiv(px - (x + kInset), kStepWidth), 0, kSteps - 1);
    const int level = std::clamp(y + h - kInset - py - 1, 0, kLevels);
    // The top level is the largest MIDI data byte, 127, not 128.
    const float value = std::min(float(level) / float(kLevels), 127.0f / 128.0f);
    SetValue(LaneB() ? kLaneB : kLaneA, step, value);
    Update();
}

void CUISequCtrl::OnMouseDown(uint32_t, int px, int py) { SetLevel(px, py); }
void CUISequCtrl::OnMouseDrag(uint32_t, int px, int py) { SetLevel(px, py); }
void CUISequCtrl::OnMouseUp(uint32_t, int px, int py) { SetLevel(px, py); }
