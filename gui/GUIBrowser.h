#pragma once
// A scrolling, indented list of rows belonging to a data source (CBrowser).
// The widget walks the source with its cursor and draws what it reports; it
// tells the source which row was selected, opened, closed, edited or
// dragged. Rows are 16 pixels high; images: 1 the list background, 2 a
// header strip, 3 the scroll bar strip, 4 a footer strip, 5 the icon sheet
// (16 x 16 cells side by side).
#include "gui/CBrowser.h"
#include "gui/GUIObject.h"

class GUIBrowser : public GUIObject {
public:
    static constexpr int kRowHeight = 16;
    static constexpr int kEditChars = 63;

    GUIBrowser() : GUIObject("BRWS") {}
    void Init() override;
    void AfterLoad() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnDoubleClick(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseMove(int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    bool OnKey(int key, int ch, uint32_t keyData) override;
    bool OnMenu(int menuId, int value) override;
    void OnIdle() override;
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return menuPoint; }

    // The source, asked of the manager the first time it is needed.
    CBrowser* Source();
    // Takes a source other than the manager's (a list of something else).
    void AttachSource(CBrowser* s)
    {
        source = s;
        if (s) s->OnAttach();
    }
    bool IsEditing() const { return editing != 0; }
    const char* EditText() const { return editText; }

    GuiRect listArea, headerArea, footerArea, barArea;
    uint8_t hasBar = 0, hasFooter = 0, hasIcons = 0;
    int32_t visibleRows = 0;
    int32_t firstRow = 0;
    int32_t pressedRow = -1;
    GuiPoint menuPoint;
    uint8_t thumbDrag = 0;
    int32_t pressY = 0, firstAtPress = 0;

private:
    void LimitFirst(int count);
    // The thumb's offset and length in the bar.
    void Thumb(int count, int& t, int& k) const;
    // Cursor to row n (stops at the end); false when there is no such row.
    bool CursorTo(int n);
    void StartEdit();
    bool EditKey(int key, int ch);
    void AfterChange();
    void ThumbFollow(int y);

    CBrowser* source = nullptr;  // not owned
    uint8_t editing = 0;
    int32_t caret = 0;
    int32_t blink = 0;
    uint8_t editFresh = 0, caretVisible = 0;
    char editText[kEditChars + 1] = {};
};
