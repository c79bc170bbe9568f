#pragma once
// The controller lane under the pattern editor: one bar per step showing
// lane A (velocity) or lane B (controller) of the selected pattern, set by
// clicking or dragging.
#include "gui/GUIObject.h"

class CUISequCtrl : public GUIObject {
public:
    static constexpr int kSteps = 64;
    static constexpr int kStepWidth = 13;
    static constexpr int kLevels = 61;

    CUISequCtrl() : GUIObject("SCTR") {}

    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;

private:
    void SetLevel(int x, int y);
    bool LaneB() { return GetValue(29, 0) > 0.0; }
};
