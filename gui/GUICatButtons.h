#pragma once
// The words of one category group as 18 rows under a heading; a click
// toggles the row's bit of the group's mask.
#include "gui/GUIObject.h"

class GUICatButtons : public GUIObject {
public:
    static constexpr int kRows = 18;
    static constexpr int kRowHeight = 13;
    static constexpr int kFirstRow = 15;  // below the heading
    static constexpr uint32_t kFirstBinding = 166;  // the five groups' masks, 166..170

    GUICatButtons() : GUIObject("CATB") {}
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;

    // The word group of the binding, -1 for a binding that names none.
    int WordGroup() const;
    uint32_t Mask();
};
