#pragma once
// A vertical level bar: the lit image from the level up, the empty one
// above it.
#include "gui/GUIObject.h"

class GUILMeter : public GUIObject {
public:
    GUILMeter() : GUIObject("LMTR") {}
    void Init() override;
    GuiRect Draw() override;
    void OnIdle() override;
    // y + clamp(trunc((1 - L) x h + 0.5), 0, h) for the current level L.
    int BarTop();

    int shownTop = -1;
};
