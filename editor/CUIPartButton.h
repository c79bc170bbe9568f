#pragma once
// A part's button on the mixer page: shows the two flags a part command
// carries (bit 0 the part's own state, bit 1 shown beside it) and toggles
// bit 0 on a click.
#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUIPartButton : public GUIObject {
public:
    CUIPartButton() : GUIObject("PBTN") { CUIPartButton::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnIdle() override;

    int ReadFlags();

private:
    Fresh<int, -1> drawnFlags;
};
