#pragma once
// The about overlay: the box picture with a shadow over whatever the window
// shows, and the version line. The GUI manager opens and closes it; any
// click on it closes it.
#include "editor/CSavedArea.h"
#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUIAboutBox : public GUIObject {
public:
    static constexpr int kShadow = 4;
    static constexpr const char* kVersionText = "V 1.0.0";

    CUIAboutBox() : GUIObject("ABOX") { CUIAboutBox::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    // Closed, it takes no clicks from the widgets under it.
    bool HitTest(int, int) override { return open; }

    // Saves the window under the box and its shadow; answers that area.
    GuiRect Open();
    void Close();
    bool IsOpen() const { return open; }

private:
    Fresh<bool> open;
    CSavedArea under;
};
