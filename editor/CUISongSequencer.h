#pragma once
// The song page: 16 tracks (one per part) by 256 song positions, 16 shown
// at a time, each cell naming a pattern; per track the function, program
// and channel columns and two mixer toggles; the song ruler; the pattern
// selector whose number buttons drag the selected pattern into a cell;
// cells dragged to move them; transport, tempo, swing and loop.
#include "editor/CSavedArea.h"
#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUISongSequencer : public GUIObject {
public:
    static constexpr int kTracks = 16;
    static constexpr int kColumns = 16;
    static constexpr int kPositions = 256;
    static constexpr int kMaxScroll = 240;
    static constexpr int kCellWidth = 31;
    static constexpr int kRowHeight = 13;
    static constexpr int kFloatWidth = 33, kFloatHeight = 14;

    CUISongSequencer() : GUIObject("SOSQ") { CUISongSequencer::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    bool OnMenu(int menuId, int value) override;
    void OnIdle() override;
    int GetLeftClickMenu(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return {menuX, menuY}; }
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return {menuX, menuY}; }

    void HandleMouse(int mode, uint32_t flags, int x, int y);

    int scroll = 0;
    int lastPlayPosition = -1;
    int lastRunning = -1;  // the transport as last drawn: 1 playing, 0 stopped

private:
    enum Drag { kNone, kDragSelector, kDragCell, kDragTempoWhole, kDragTempoFraction, kDragSwing };
    // The song cell (track * 256 + position) under a window point; -1 off
    // the grid.
    int CellAt(int px, int py) const;
    int TrackAt(int py) const;
    void DrawCell(int left, int top, int pattern, bool same, bool transposed);
    void MoveFloatingCell(int px, int py);
    void DropFloatingCell();
    void SetTempo(int whole, int fraction);

    Fresh<int, kNone> drag;
    Fresh<int, -1> dragCell;     // the cell being moved
    Fresh<int, -1> dragPattern;  // what the floating cell shows
    Fresh<int> pressY;
    Fresh<int, 120> startWhole;
    Fresh<int> startFraction, startSwing;
    Fresh<int> menuX, menuY;
    Fresh<int, -1> menuTrack;
    Fresh<int, -1> menuCell;     // the cell menu 307 was opened on
    CSavedArea floating;    // the surface under the floating cell
};
