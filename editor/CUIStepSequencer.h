#pragma once
// The pattern editor of the step sequencer: a note grid of 64 steps by 36
// rows, the step rows (key index, length, two flags), the loop ruler, the
// octave and lane switches, the pattern name box and the play cursor. It
// edits the selected pattern through the editor's pattern groups only.
#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUIStepSequencer : public GUIObject {
public:
    static constexpr int kSteps = 64;
    static constexpr int kRows = 36;
    static constexpr int kStepWidth = 13;
    static constexpr int kGridLeft = 79;
    static constexpr int kGridRight = 911;
    static constexpr int kGridTop = 41;
    static constexpr int kGridBottom = 221;
    static constexpr int kRowHeight = 5;
    static constexpr int kMaxBase = 72;

    CUIStepSequencer() : GUIObject("STSQ") { CUIStepSequencer::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    bool OnMenu(int menuId, int value) override;
    void OnIdle() override;
    int GetLeftClickMenu(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return {menuX, menuY}; }
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return {menuX, menuY}; }

    // Mode 0 down, 1 up, 2 drag; window coordinates.
    void HandleMouse(int mode, uint32_t flags, int x, int y);

    // Draws the play cursor row for a step (none for a step outside 0..63)
    // and answers the row.
    GuiRect DrawPlayCursor(int step);

    int baseNote = 36;

private:
    enum Drag { kNone, kDragGrid, kFlag19, kFlag20, kLoopStep, kLastStep, kDragOctaveDown, kDragOctaveUp, kLaneSwitch };
    int StepAt(int localX) const;
    int RowAt(int localY) const;
    // Which menu a click at the local point opens (0 none), left or right.
    int MenuAt(int localX, int localY, bool context) const;

    Fresh<int, -1> lastStep;
    Fresh<int, kNone> drag;
    Fresh<int> menuX, menuY;
    Fresh<int> menuId;
    Fresh<int, -2> drawnPlayStep;
};
