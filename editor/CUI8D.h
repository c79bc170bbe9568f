#pragma once
// One quadrant of the 8D pad. Four of these share one square; the pad's two
// axes run diagonally, and each quadrant shows and drags its own point,
// whose distances from the centre along the axes are the point's X and Y
// sound parameters. Shift drags all four points together; Control puts all
// of them back to the middle.
#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUI8D : public GUIObject {
public:
    static constexpr int kFirstParameter = 299;  // X of point 1; Y follows; 8 in all
    static constexpr double kInner = 0.12, kRange = 0.88, kTravel = 0.9;

    CUI8D() : GUIObject("UI8D") { CUI8D::Init(); }

    void Init() override;
    GuiRect Draw() override;
    bool HitTest(int x, int y) override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnIdle() override;
    int GetParameterMenu(CPIBase* model, int x, int y) override;
    uint32_t GetGroup() const override { return 0; }
    uint32_t GetIndex() const override { return uint32_t(menuParameter); }

    int Quadrant() const;
    // The quadrant (1..4) of a window point.
    int QuadrantAt(int x, int y) const;
    // Where the point of quadrant q with values (px, py) is drawn, in
    // quarter pixels.
    void CursorOf(int q, double px, double py, int& cx4, int& cy4) const;
    bool IsDragging() const { return dragging; }

    static int pressedQuadrant;  // shared by the four quadrants
    static int draggedQuadrant;  // the point being dragged, drawn lit; 0 for none

private:
    void DragTo(int x, int y);

    Fresh<int> cursorX4, cursorY4;  // drawn position, quarter pixels
    Fresh<int> previousX4, previousY4;
    Fresh<bool> drawn;
    Fresh<bool> dragging;
    Fresh<bool> linked;
    Fresh<bool> reset;
    Fresh<int> menuParameter;
};
