#pragma once
// A performance wheel bound to the modulation wheel (sound parameter 56)
// or the pitch wheel (57); the pitch wheel springs back to the middle when
// released.
#include "editor/WidgetDraw.h"
#include "gui/GUIContinous.h"

class CUIMWheel : public GUIContinous {
public:
    static constexpr int kFrames = 64;
    static constexpr int kSteps = 127;
    static constexpr int kPitchWheel = 57;

    CUIMWheel() : GUIContinous("MWHL") { CUIMWheel::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnIdle() override;

    // The frame a value shows: (int)(v * 127 + 0.01) / 2, kept to the
    // strip (values past 1.0 and NaN included).
    static int FrameOf(float value);

private:
    float Value();
    static int PositionOf(float value);

    Fresh<int, -1> drawnPosition;
};
