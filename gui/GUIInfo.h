#pragma once
// A value text that follows its source (load, song position, status, hints).
#include <cstddef>

#include "gui/GUIObject.h"

class GUIInfo : public GUIObject {
public:
    GUIInfo() : GUIObject("INFO") {}
    GuiRect Draw() override;
    // Drawn again when its text changes, not at every tick: a hint box
    // over the line (the header buttons' hints fall on it) stays whole.
    void OnIdle() override;
    // Bound to the system text that has no source of its own (176), the
    // field is the hint line: it shows the hint of the widget under the
    // pointer.
    bool IsHintLine() const { return binding.group == 3 && binding.index == 176; }

private:
    void ReadText(char* text, size_t size);
    char shown[128] = "";
};
