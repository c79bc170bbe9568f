#pragma once
// One entry of a value list, chosen from a pop-up under the field or
// stepped with the keys.
#include "gui/GUIContinous.h"

class GUISelection : public GUIObject {
public:
    GUISelection() : GUIObject("SLCT") {}
    void Init() override;
    GuiRect Draw() override;
    void Activate() override;
    void Deactivate() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    bool OnKey(int key, int ch, uint32_t keyData) override;
    bool OnMenu(int menuId, int value) override;
    int GetLeftClickMenu(int, int) override;
    GuiPoint GetLeftClickMenuPos() override { return {x, y + h}; }
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return clickPoint; }
    const char* GetHintId(int x, int y) override;

    // n = trunc(max x v), the list entry shown.
    int Entry() const;

    char text[128] = {};
    GuiPoint clickPoint;
    GUIContinous::ControllerEntry controller;

private:
    int Max() const;
    void Send(int n);
};
