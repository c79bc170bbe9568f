#pragma once
// A data source for the list browser widget. The widget knows nothing of
// what the rows are: it walks the source with a cursor (First, Next, AtEnd)
// and reads the cursor row, and it tells the source which row was selected,
// opened, closed, edited or dragged. Rows are addressed by their index in
// the flattened list (children follow their parent while it is open). The
// defaults describe an empty list that takes no action.
#include <cstdint>

class CBrowser {
public:
    CBrowser() = default;
    virtual ~CBrowser() = default;

    // Called once when a browser widget first obtains the source.
    virtual void OnAttach() {}
    virtual void First() {}
    virtual void Next() {}
    // Acts on the selected row; true when it did.
    virtual bool ApplySelection() { return false; }
    // The cursor is past the last row.
    virtual bool AtEnd() { return true; }
    virtual void SetSelection(int /*row*/) {}
    // Closes the selected row's children.
    virtual void Collapse() {}
    // Opens the selected row; answers the rows added.
    virtual int Expand() { return 0; }
    virtual int GetSelection() { return 0; }
    // Depth and icon number of the cursor row.
    virtual int GetLevel() { return 0; }
    virtual int GetIcon() { return 0; }
    virtual int GetCount() { return 0; }
    // Children shown under the cursor row.
    virtual int GetChildCount() { return 0; }
    virtual bool Slot14() { return false; }
    virtual int Slot15() { return 1; }
    virtual int Slot16(uint32_t /*word*/) { return 0; }
    // Text of the cursor row in a column; never null.
    virtual const char* GetText(int /*column*/) { return ""; }
    // Stores a text edited in place into the selected row.
    virtual void SetText(int /*column*/, const char* /*text*/) {}
    virtual bool CanEditText() { return false; }
    // Non-zero starts a drag and drop of that item.
    virtual int GetDragItem() { return 0; }
    // Answers the changed flag and clears it.
    virtual bool TakeChangedFlag()
    {
        const bool was = changed != 0;
        changed = 0;
        return was;
    }
    // The page to show after a change; 0 just redraws.
    virtual int GetPageToShow() { return 0; }
    virtual bool OnMenu(int /*menuId*/, int /*item*/) { return false; }
    // The context menu of a row.
    virtual int Slot24(int /*row*/) { return 0; }

    // Set whenever the content or the selection changed in a way the
    // window must follow.
    uint8_t changed = 0;
};
