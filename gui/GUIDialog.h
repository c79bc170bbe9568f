#pragma once
// The frame of a layout dialog: a panel (or one of its images) with a
// shadow, and a close box in its top-right corner.
#include "gui/GUIObject.h"

class GUIDialog : public GUIObject {
public:
    GUIDialog() : GUIObject("DLOG") {}
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    // Which of the 16 images shows; others show the plain panel.
    void SetImageIndex(int n) override { imageIndex = n; }
    // The image id shown (0 for the plain panel).
    int GetImage() override;

    int imageIndex = 0;
};
