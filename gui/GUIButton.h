#pragma once
// A switch with two images. The binding's flags choose its kind: momentary
// (1 while held, 0 on release), one-shot (1 on every press, nothing on
// release; lit while held or while the model says what it opened is open)
// or a toggle that shows the model's state. A button bound to no
// value whose last property names a dialog of the layout opens that dialog
// and closes it again, lit while it is open (the editors a page has no room
// for).
#include "gui/GUIObject.h"

class GUIButton : public GUIObject {
public:
    GUIButton() : GUIObject("BTTN") {}
    void Init() override;
    GuiRect Draw() override;
    void OnIdle() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    int GetLeftClickMenu(int x, int y) override;
    // A switch's word with its state ("combination preset: off"): the word
    // alone, still there after the click that switched it off, reads as
    // if it were on. Other buttons' words stand alone ("main menu").
    const char* GetHintId(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return {x, y + h}; }

    // The property that names the dialog an opener opens.
    static constexpr int kOpensDialog = kProperties - 1;
    // The dialog this button opens, 0 for a button of a value.
    int OpensDialog() const;

    uint8_t pressed = 0;
    uint8_t shown = 0;

private:
    char hintText[96] = "";
    bool Lit();
    bool Flagged() const { return (binding.flags & (CIParameter::kFlagMomentary | CIParameter::kFlagOneShot)) != 0; }
};
