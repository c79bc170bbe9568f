#pragma once
// A value text, redrawn on every idle tick (load, song position, status).
#include "gui/GUIObject.h"

class GUIInfo : public GUIObject {
public:
    GUIInfo() : GUIObject("INFO") {}
    GuiRect Draw() override;
    void OnIdle() override { Update(); }
    // Bound to the system text that has no source of its own (176), the
    // field is the hint line: it shows the hint of the widget under the
    // pointer.
    bool IsHintLine() const { return binding.group == 3 && binding.index == 176; }
};
