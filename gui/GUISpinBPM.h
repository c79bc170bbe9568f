#pragma once
// The tempo field: "%7.3f" beats per minute. Dragging in its left half sets
// the whole beats (40..300), in its right half the thousandths in steps of
// 0.004; the release applies the tempo.
#include "gui/GUIObject.h"

class GUISpinBPM : public GUIObject {
public:
    GUISpinBPM() : GUIObject("SBPM") {}
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnIdle() override;

    // The tempo the field shows: the one being dragged, else the model's.
    double Shown();

    bool editing = false;
    bool fractionHalf = false;
    int pressY = 0;
    int startInteger = 120;
    int startFraction = 0;  // thousandths / 4, 0..249
    double editTempo = 120.0;
    double lastShown = -1.0;
};
