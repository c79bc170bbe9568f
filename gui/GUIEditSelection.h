#pragma once
// A text entry with a value list at its right edge: typed text is sent on
// Enter, a list choice n as n / 128.
#include "gui/GUIEditField.h"

class GUIEditSelection : public GUIEditField {
public:
    GUIEditSelection() : GUIEditField("EDTS") {}
    void Activate() override;
    GuiRect Draw() override;
    bool OnMenu(int menuId, int value) override;
    int GetLeftClickMenu(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return {x, y + h}; }

protected:
    void SendText(bool enter) override;
};
