#pragma once
// A rotary knob: a 128-frame film strip turned by dragging, a dotted scale,
// the modulation amount as a coloured sector, and its caption underneath
// (the value text while the pointer is over it).
#include "gui/GUIContinous.h"

class GUIKnob : public GUIContinous {
public:
    GUIKnob() : GUIContinous("KNOB") {}
    void Init() override;
    GuiRect Draw() override;
    // The frame shown for a value: trunc(v x 128), 0 outside 0..128, at
    // most 127.
    static int FrameOf(float v);
};
