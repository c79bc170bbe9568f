#pragma once
// Image 1 over the widget's rectangle; nothing without one. Also what a
// tag the factory does not know becomes.
#include "gui/GUIObject.h"

class GUIPicture : public GUIObject {
public:
    GUIPicture() : GUIObject("PICT") {}
    GuiRect Draw() override;
    // A picture takes no input: a click on it lands on what lies under it
    // (the logo on the background's about corner and help menu), except
    // while the layout is edited, where it is selected like any widget.
    bool HitTest(int x, int y) override;
};
