#pragma once
// A switch with two images. The binding's flags choose its kind: momentary
// (1 while held, 0 on release), one-shot (1 on every press, nothing on
// release) or a toggle that shows the model's state. A button whose last
// style word names a dialog of the layout opens and closes that dialog
// instead (lit while it is open) and sends no value.
#include "gui/GUIObject.h"

class GUIButton : public GUIObject {
public:
    GUIButton() : GUIObject("BTTN") {}
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnDoubleClick(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    int GetLeftClickMenu(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return {x, y + h}; }

    // The style word that names the dialog a button opens (0: none).
    static constexpr int kOpensProperty = kProperties - 1;
    int OpensDialog() const { return int(properties[kOpensProperty]); }

    uint8_t pressed = 0;
    uint8_t shown = 0;

private:
    bool Flagged() const { return (binding.flags & (CIParameter::kFlagMomentary | CIParameter::kFlagOneShot)) != 0; }
};
