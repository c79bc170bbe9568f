#pragma once
// A numeric field edited by dragging: one pixel per step (Shift: sixteen),
// the value text in the field, the modulation amount as a bar across it.
#include "gui/GUIContinous.h"

class GUISpinField : public GUIContinous {
public:
    GUISpinField() : GUIContinous("SPIN") {}
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;

private:
    int Steps() const;  // trunc(max), at least 1
    bool resetDrag = false;
};
