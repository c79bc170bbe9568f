#pragma once
// A value text, redrawn on every idle tick (load, song position, status).
#include "gui/GUIObject.h"

class GUIInfo : public GUIObject {
public:
    GUIInfo() : GUIObject("INFO") {}
    GuiRect Draw() override;
    void OnIdle() override { Update(); }
};
