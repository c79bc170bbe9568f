#pragma once
// A value text in a box with its caption; a click sends "trigger" (the
// properties dialog opens a file chooser for an image this way).
#include <algorithm>

#include "gui/GUIObject.h"

class GUITextField : public GUIObject {
public:
    GUITextField() : GUIObject("TEXT") {}
    GuiRect Draw() override;
    // The caption hangs 10 px below the field's top, and below a field
    // taller than that (it would be drawn across the field otherwise).
    int CaptionTop() const { return y + std::max(10, h + 1); }
    void OnMouseDown(uint32_t flags, int x, int y) override;
    // A value that changes by itself (the recorder's running time) is
    // drawn again when its text moves on.
    void OnIdle() override;

private:
    char shown[128] = "";
};
