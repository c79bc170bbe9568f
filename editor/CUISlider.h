#pragma once
// A vertical slider of 129 positions (0..128) for the bound value, with its
// label and value text. The thumb is dragged one position per pixel; a
// press beside it pages toward the pointer. With Control held a drag leaves
// the value alone, and once Control is let go the drag goes on from the
// value the press found.
#include "editor/WidgetDraw.h"
#include "gui/GUIContinous.h"

class CUISlider : public GUIContinous {
public:
    static constexpr int kPositions = 128;
    static constexpr int kThumbHeight = 22;
    static constexpr int kGrabDistance = 8;

    CUISlider() : GUIContinous("SLDR") { CUISlider::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;

    int ReadN();
    // Where the thumb's centre lies for position n.
    int ThumbY(int n) const;

    float scale = 1.0f;

private:
    void Send(int n);
    void Page(int py);

    Fresh<int> startN;
    Fresh<bool> paging;
};
