#pragma once
// Image 1 over the widget's rectangle; nothing without one. Also what a
// tag the factory does not know becomes.
#include "gui/GUIObject.h"

class GUIPicture : public GUIObject {
public:
    GUIPicture() : GUIObject("PICT") {}
    GuiRect Draw() override;
};
