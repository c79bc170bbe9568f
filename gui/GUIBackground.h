#pragma once
// The page's background picture (image page + 1), which every erase copies
// from; a page without one is filled in the window's dark colour. Its
// top-left corner toggles the about overlay, its context menu is the help
// menu.
#include "gui/CDIBitmap.h"
#include "gui/GUIObject.h"

class GUIBackground : public GUIObject {
public:
    static constexpr uint32_t kPlainColour = 0x2B2925;  // 0x00BBGGRR
    static constexpr int kHelpMenu = 399;
    // Where help items 1 and 2 lead; no web pages are published yet, and
    // the help menu offers an item only while its address is set.
    static constexpr const char* kWebAddress1 = "";
    static constexpr const char* kWebAddress2 = "";

    GUIBackground() : GUIObject("BKGD") {}
    GUIBackground(const GUIBackground& other) : GUIObject(other) {}
    GUIBackground& operator=(const GUIBackground& other)
    {
        GUIObject::operator=(other);
        return *this;
    }
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return clickPoint; }
    bool OnMenu(int menuId, int value) override;

    GuiPoint clickPoint;

    // The slot of the second panel of the page panel in slot pageImage
    // (named as it with ".1" added), 0 when it has none.
    static int VariantSlot(int pageImage);

private:
    const CDIBitmap* VariantPanel(int page) const;
    CDIBitmap m_plain;  // the plain fill, the surface's size
};
