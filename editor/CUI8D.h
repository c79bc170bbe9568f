#pragma once
// One quadrant of the 8D pad. Four of these share one square; the pad's two
// axes run diagonally, and each quadrant shows and drags its own point,
// whose distances from the centre along the axes are the point's X and Y
// sound parameters. Shift drags all four points together; Control puts all
// of them back to the middle.
#include "editor/CSavedArea.h"
#include "gui/GUIObject.h"

class CUI8D : public GUIObject {
public:
    static constexpr int kFirstParameter = 299;  // X of point 1; Y follows; 8 in all
    static constexpr double kInner = 0.12, kRange = 0.88, kTravel = 0.9;

    CUI8D() : GUIObject("UI8D") { CUI8D::Init(); }
    // A copy shares the settings only: its own cursor surface and no drag.
    CUI8D(const CUI8D& other);
    CUI8D& operator=(const CUI8D&) = default;

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

private:
    void DragTo(int x, int y);

    int cursorX4 = 0, cursorY4 = 0;      // drawn position, quarter pixels
    int previousX4 = 0, previousY4 = 0;
    bool drawn = false;
    bool dragging = false;
    bool linked = false;
    bool reset = false;
    int menuParameter = 0;
    CSavedArea under;  // the surface under the cursor image
};
