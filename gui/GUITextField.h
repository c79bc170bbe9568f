#pragma once
// A value text in a box with its caption; a click sends "trigger" (the
// properties dialog opens a file chooser for an image this way).
#include "gui/GUIObject.h"

class GUITextField : public GUIObject {
public:
    GUITextField() : GUIObject("TEXT") {}
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
};
