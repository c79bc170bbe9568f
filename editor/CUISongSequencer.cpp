#include "editor/CUISongSequencer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/WidgetDraw.h"
#include "gui/GUIHead.h"

namespace {

constexpr int kMixer = 1, kTempo = 13, kFunction = 15, kSelection = 23, kCellPattern = 25,
              kProgram = 26, kStart = 30, kEnd = 31, kStop = 32, kPlay = 33, kLoop = 35, kSwing = 37,
              kCursor = 38, kTranspose = 39, kPosition = 40, kChannel = 45, kKeys = 50;
constexpr int kMinTempo = 40, kMaxTempo = 300, kFractions = 250;

struct Box {
    int left, top, right, bottom;  // inclusive, relative to the widget
    bool Has(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};
constexpr Box kScrollLeft{385, 3, 400, 13};
constexpr Box kScrollRight{898, 3, 913, 13};
constexpr Box kRuler{399, 17, 895, 27};
// Transport, loop, swing and tempo share the strip above the track columns,
// left of the position numbers: the grid keeps all of its 16 columns.
constexpr Box kStopButton{107, 3, 128, 24};
constexpr Box kPlayButton{134, 3, 155, 24};
constexpr Box kLoopToggle{166, 10, 174, 18};
constexpr Box kSwingField{236, 9, 280, 21};
constexpr Box kTempoField{322, 9, 380, 21};
constexpr int kCellsLeft = 399, kCellsTop = 29, kRowsTop = 28;
constexpr int kTempoSplit = 350;  // whole beats left of it, thousandths right
constexpr Box kFunctionColumn{107, 28, 175, 28 + 16 * 13};
constexpr Box kProgramColumn{176, 28, 303, 28 + 16 * 13};
constexpr int kChannelLeft = 307, kChannelRight = 373;

void PatternName(int pattern, char* out, size_t size)
{
    snprintf(out, size, "%c-%d", 'A' + (pattern % 128) / 16, pattern % 16 + 1);
}

}  // namespace

void CUISongSequencer::Init()
{
    GUIObject::Init();
    scroll = 0;
    lastPlayPosition = lastRunning = -1;
    drag = kNone;
    dragCell = dragPattern = -1;
    menuTrack = menuCell = -1;
    floating.Forget();
}

int CUISongSequencer::TrackAt(int py) const
{
    const int t = FloorDiv(py - y - kRowsTop, kRowHeight);
    return t >= 0 && t < kTracks ? t : -1;
}

int CUISongSequencer::CellAt(int px, int py) const
{
    const int lx = px - x, ly = py - y;
    if (lx < kCellsLeft + 1 || ly < kCellsTop + 1) return -1;
    const int column = (lx - kCellsLeft) / kCellWidth;
    const int track = (ly - kCellsTop) / kRowHeight;
    // A tall widget has rows past the 16 tracks: no part lives there.
    if (column >= kColumns || track >= kTracks) return -1;
    return track * kPositions + scroll + column;
}

// ---- Drawing -------------------------------------------------------------------

void CUISongSequencer::DrawCell(int left, int top, int pattern, bool same, bool transposed)
{
    char text[16];
    if (same) snprintf(text, sizeof text, "...");
    else PatternName(pattern, text, sizeof text);
    if (transposed) strncat(text, "*", sizeof text - strlen(text) - 1);
    surface->SetColor(same ? 0x46505A : 0x5A7896);
    surface->FillRect(left + 1, top + 1, left + kCellWidth, top + kRowHeight, 1.0f);
    surface->SetColor(0xFFFFFF);
    surface->DrawText(left + kCellWidth / 2 + 1, top + 1, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent,
                      1, 4 * (kCellWidth - 2));
}

GuiRect CUISongSequencer::Draw()
{
    if (!surface) return {};
    CUnifiedDC& dc = *surface;
    const ClipScope clip(surface, x, y, x + w, y + h);
    char text[64];
    const int flags = CUnifiedDC::kTextTransparent;
    dc.SetColor(0x1E1E1E);
    dc.FillRect(x, y, x + w, y + h, 1.0f);

    // Pattern selector.
    const int bank = ValueToInt(GetValue(kSelection, 0));
    const int letter = ValueToInt(GetValue(kSelection, 1));
    const int number = ValueToInt(GetValue(kSelection, 2));
    for (int c = 0; c < 4; ++c) {
        dc.SetColor(c == bank ? 0x3CC8FF : 0x505050);
        dc.FillRect(x + 14 + 17 * c, y + 31, x + 30 + 17 * c, y + 47, 1.0f);
        dc.SetColor(0x000000);
        snprintf(text, sizeof text, "%d", c + 1);
        dc.DrawText(x + 22 + 17 * c, y + 33, text, flags | CUnifiedDC::kTextCentre);
        for (int r = 0; r < 2; ++r) {
            const int l = c + 4 * r;
            dc.SetColor(l == letter ? 0x3CC8FF : 0x505050);
            dc.FillRect(x + 14 + 17 * c, y + 67 + 13 * r, x + 30 + 17 * c, y + 79 + 13 * r, 1.0f);
            dc.SetColor(0x000000);
            snprintf(text, sizeof text, "%c", 'A' + l);
            dc.DrawText(x + 22 + 17 * c, y + 67 + 13 * r, text, flags | CUnifiedDC::kTextCentre);
        }
    }
    for (int c = 0; c < 2; ++c)
        for (int r = 0; r < 8; ++r) {
            const int n = c + 2 * r;
            const int left = x + 15 + 33 * c, top = y + 118 + 13 * r;
            dc.SetColor(n == number ? 0x3CC8FF : 0x5A7896);
            dc.FillRect(left, top, left + 31, top + 12, 1.0f);
            dc.SetColor(n == number ? 0x000000 : 0xFFFFFF);
            PatternName(bank * 128 + std::clamp(letter, 0, 7) * 16 + n, text, sizeof text);
            dc.DrawText(left + 16, top, text, flags | CUnifiedDC::kTextCentre);
        }

    // Track columns and mixer toggles.
    for (int t = 0; t < kTracks; ++t) {
        const int top = y + kRowsTop + kRowHeight * t;
        dc.SetColor(t % 2 ? 0x262626 : 0x2E2E2E);
        dc.FillRect(x + 107, top, x + 397, top + kRowHeight, 1.0f);
        dc.SetColor(0xFFFFFF);
        DrawLabel(x + 109, top, x + 175, top + kRowHeight, 0, 1, GetValueText(kFunction, t), 0xFFFFFF);
        DrawLabel(x + 178, top, x + 303, top + kRowHeight, 0, 1, GetValueText(kProgram, t), 0xFFFFFF);
        DrawLabel(x + 309, top, x + 372, top + kRowHeight, 0, 1, GetValueText(kChannel, t), 0xFFFFFF);
        for (int m = 0; m < 2; ++m) {
            const bool on = GetValue(kMixer, (t << 10) | (m == 0 ? 9 : 11)) >= 1.0;
            const int left = x + (m == 0 ? 374 : 387);
            dc.SetColor(on ? (m == 0 ? 0x3C3CFF : 0x3CFFFF) : 0x505050);
            dc.FillRect(left + 1, top + 2, left + 10, top + 11, 1.0f);
        }
    }

    // Position numbers, scroll buttons, ruler.
    for (int c = 0; c < kColumns; ++c) {
        snprintf(text, sizeof text, "%d", scroll + c + 1);
        dc.SetColor(0xC8C8C8);
        dc.DrawText(x + 413 + kCellWidth * c, y + 4, text, flags | CUnifiedDC::kTextCentre);
    }
    dc.SetColor(0x707070);
    dc.FillRect(x + kScrollLeft.left, y + kScrollLeft.top, x + kScrollLeft.right, y + kScrollLeft.bottom + 1, 1.0f);
    dc.FillRect(x + kScrollRight.left, y + kScrollRight.top, x + kScrollRight.right, y + kScrollRight.bottom + 1, 1.0f);
    dc.SetColor(0x000000);
    dc.DrawText(x + 392, y + 2, "<", flags | CUnifiedDC::kTextCentre);
    dc.DrawText(x + 906, y + 2, ">", flags | CUnifiedDC::kTextCentre);
    const int start = ValueToInt(GetValue(kStart, 0));
    const int end = ValueToInt(GetValue(kEnd, 0));
    const int play = ValueToInt(GetValue(kPosition, 0));
    for (int c = 0; c < kColumns; ++c) {
        const int p = scroll + c;
        const int left = x + kCellsLeft + kCellWidth * c;
        dc.SetColor(p == play ? 0x32FFFF : (p < start || p > end) ? 0x3232FF : 0x3C3C3C);
        dc.FillRect(left, y + kRuler.top, left + kCellWidth, y + kRuler.bottom + 1, 1.0f);
        dc.SetColor(0xFFFFFF);
        if (p == start) dc.FillRect(left, y + kRuler.top, left + 3, y + kRuler.bottom + 1, 1.0f);
        if (p == end) dc.FillRect(left + kCellWidth - 3, y + kRuler.top, left + kCellWidth, y + kRuler.bottom + 1, 1.0f);
    }

    // Cells. Reading a transpose moves the song cursor; it goes back to the
    // cell a menu may still write to once the cells are drawn.
    for (int t = 0; t < kTracks; ++t)
        for (int c = 0; c < kColumns; ++c) {
            const int cell = t * kPositions + scroll + c;
            const int left = x + kCellsLeft + kCellWidth * c, top = y + kCellsTop + kRowHeight * t;
            dc.SetColor(0x303030);
            dc.FrameRect(left, top, left + kCellWidth, top + kRowHeight);
            const int pattern = ValueToInt(GetValue(kCellPattern, cell));
            if (pattern < 0) continue;
            const int before = scroll + c > 0 ? ValueToInt(GetValue(kCellPattern, cell - 1)) : -1;
            SetValue(kCursor, cell, 0.0f);
            const bool transposed = ValueToInt(GetValue(kTranspose, 0)) != 0;
            DrawCell(left, top, pattern, pattern == before, transposed);
        }
    if (menuCell >= 0) SetValue(kCursor, menuCell, 0.0f);

    // Loop, swing, tempo, transport.
    dc.SetColor(GetValue(kLoop, 0) >= 1.0 ? 0x3CC8FF : 0x505050);
    dc.FillRect(x + kLoopToggle.left, y + kLoopToggle.top, x + kLoopToggle.right + 1, y + kLoopToggle.bottom + 1, 1.0f);
    dc.SetColor(0xC8C8C8);
    dc.DrawText(x + kLoopToggle.right + 4, y + kSwingField.top, "loop", flags);
    dc.DrawText(x + kSwingField.left - 30, y + kSwingField.top, "swing", flags);
    dc.DrawText(x + kTempoField.left - 32, y + kTempoField.top, "tempo", flags);
    dc.SetColor(0x000000);
    dc.FillRect(x + kSwingField.left, y + kSwingField.top, x + kSwingField.right + 1, y + kSwingField.bottom + 1, 1.0f);
    dc.FillRect(x + kTempoField.left, y + kTempoField.top, x + kTempoField.right + 1, y + kTempoField.bottom + 1, 1.0f);
    const double swing = GetValue(kSwing, 0);
    snprintf(text, sizeof text, "%d%%", std::isfinite(swing) ? int(std::lround(std::clamp(swing, 0.0, 1.0) * 100)) : 0);
    dc.SetColor(0x3CC8FF);
    dc.DrawText(x + (kSwingField.left + kSwingField.right) / 2, y + kSwingField.top, text, flags | CUnifiedDC::kTextCentre);
    const double tempo = GetValue(kTempo, 0);
    snprintf(text, sizeof text, "%.3f", std::isfinite(tempo) ? std::clamp(tempo, 0.0, 999.0) : 0.0);
    dc.DrawText(x + (kTempoField.left + kTempoField.right) / 2, y + kTempoField.top, text, flags | CUnifiedDC::kTextCentre);
    const bool running = GetValue(kPlay, 0) >= 1.0;
    dc.SetColor(running ? 0x505050 : 0x3C3CC8);
    dc.FillRect(x + kStopButton.left, y + kStopButton.top, x + kStopButton.right + 1, y + kStopButton.bottom + 1, 1.0f);
    dc.SetColor(running ? 0x3CC83C : 0x505050);
    dc.FillRect(x + kPlayButton.left, y + kPlayButton.top, x + kPlayButton.right + 1, y + kPlayButton.bottom + 1, 1.0f);
    dc.SetColor(0xFFFFFF);
    // A square on stop, a triangle on play, each 10 pixels, centred.
    const int stopX = x + (kStopButton.left + kStopButton.right) / 2 - 5;
    const int iconTop = y + (kStopButton.top + kStopButton.bottom) / 2 - 5;
    dc.FillRect(stopX, iconTop, stopX + 10, iconTop + 10, 1.0f);
    const int playX = x + (kPlayButton.left + kPlayButton.right) / 2 - 4;
    for (int i = 0; i < 10; ++i) dc.FillRect(playX + i, iconTop + i / 2, playX + i + 1, iconTop + 10 - i / 2, 1.0f);
    return Rect();
}

// The play position and the transport follow the song. Play and Stop reach
// the song through the audio thread, after the press drew the buttons: the
// song may start or stop with its position unchanged, and the buttons are
// drawn again when it does.
void CUISongSequencer::OnIdle()
{
    const int position = ValueToInt(GetValue(kPosition, 0));
    const int running = GetValue(kPlay, 0) >= 1.0 ? 1 : 0;
    if (position == lastPlayPosition && running == lastRunning) return;
    lastPlayPosition = position;
    lastRunning = running;
    if (owner) owner->NotifyParameterChanged();
}

// ---- Mouse ------------------------------------------------------------------------

void CUISongSequencer::OnMouseDown(uint32_t flags, int px, int py) { HandleMouse(0, flags, px, py); }
void CUISongSequencer::OnMouseUp(uint32_t flags, int px, int py) { HandleMouse(1, flags, px, py); }
void CUISongSequencer::OnMouseDrag(uint32_t flags, int px, int py) { HandleMouse(2, flags, px, py); }

void CUISongSequencer::SetTempo(int whole, int fraction)
{
    SetValue(kTempo, 0, float(double(whole) + double(fraction) * 0.004));
}

void CUISongSequencer::MoveFloatingCell(int px, int py)
{
    if (!surface) return;
    GuiRect old = floating.Restore(surface);
    const int left = px - kFloatWidth / 2, top = py - kFloatHeight / 2;
    floating.Save(surface, left, top, left + kFloatWidth, top + kFloatHeight);
    char text[16];
    PatternName(std::max(int(dragPattern), 0), text, sizeof text);
    surface->SetColor(0x3CC8FF);
    surface->FillRect(left, top, left + kFloatWidth, top + kFloatHeight, 0.9f);
    surface->SetColor(0x000000);
    surface->FrameRect(left, top, left + kFloatWidth - 1, top + kFloatHeight - 1);
    surface->DrawText(left + kFloatWidth / 2, top + 1, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    GuiRect both{left, top, left + kFloatWidth, top + kFloatHeight};
    if (old.right > old.left) UnionRects(both, both, old);
    surface->Present(surface->GetWindow(), both.left, both.top, both.right, both.bottom);
}

void CUISongSequencer::HandleMouse(int mode, uint32_t flags, int px, int py)
{
    const int lx = px - x, ly = py - y;
    if (mode == 2) {
        switch (drag) {
        case kDragSelector:
        case kDragCell: MoveFloatingCell(px, py); return;
        case kDragTempoWhole: SetTempo(std::clamp(startWhole + pressY - py, kMinTempo, kMaxTempo), startFraction); break;
        case kDragTempoFraction: SetTempo(startWhole, std::clamp(startFraction + pressY - py, 0, kFractions - 1)); break;
        case kDragSwing: SetValue(kSwing, 0, float(std::clamp(startSwing + pressY - py, 0, 100) / 100.0)); break;
        default: return;
        }
        Update();
        return;
    }
    if (mode == 1) {
        const int was = drag;
        drag = kNone;
        if (was == kDragSelector || was == kDragCell) {
            if (surface) {
                const GuiRect r = floating.Restore(surface);
                surface->Present(surface->GetWindow(), r.left, r.top, r.right, r.bottom);
            }
            // Only a release over a cell changes the song: anywhere else the
            // moved pattern stays where it was.
            const int target = CellAt(px, py);
            if (target >= 0) {
                if (was == kDragCell) SetValue(kSelection, 3, float(dragCell));
                SetValue(kSelection, 4, float(target));
            }
            dragCell = -1;
        }
        Update();
        return;
    }

    // Button down.
    drag = kNone;
    pressY = py;
    const int bankColumn = FloorDiv(lx - 14, 17);
    const int numberColumn = FloorDiv(lx - 15, 33), numberRow = FloorDiv(ly - 118, 13);
    const int letterRow = FloorDiv(ly - 67, 13);
    if (bankColumn >= 0 && bankColumn < 4 && ly >= 31 && ly <= 46) {
        SetValue(kSelection, 0, float(bankColumn));
    } else if (bankColumn >= 0 && bankColumn < 4 && letterRow >= 0 && letterRow < 2) {
        SetValue(kSelection, 1, float(bankColumn + 4 * letterRow));
    } else if (numberColumn >= 0 && numberColumn < 2 && numberRow >= 0 && numberRow < 8 &&
               lx - 15 - 33 * numberColumn < 31 && ly - 118 - 13 * numberRow < 12) {
        SetValue(kSelection, 2, float(numberColumn + 2 * numberRow));
        dragPattern = ValueToInt(GetValue(kSelection, 0)) * 128 + ValueToInt(GetValue(kSelection, 1)) * 16 +
                      ValueToInt(GetValue(kSelection, 2));
        drag = kDragSelector;
        return;  // the page redrew with the new selection; the drag follows
    } else if (kLoopToggle.Has(lx, ly)) {
        SetValue(kLoop, 0, GetValue(kLoop, 0) < 1.0 ? 1.0f : 0.0f);
    } else if (kTempoField.Has(lx, ly)) {
        const double tempo = std::clamp(GetValue(kTempo, 0), double(kMinTempo), kMaxTempo + 0.996);
        startWhole = int(tempo);
        startFraction = std::clamp(int(std::lround((tempo - startWhole) * kFractions)), 0, kFractions - 1);
        drag = lx < kTempoSplit ? kDragTempoWhole : kDragTempoFraction;
    } else if (kSwingField.Has(lx, ly)) {
        const double swing = GetValue(kSwing, 0);
        startSwing = std::isfinite(swing) ? std::clamp(int(std::lround(swing * 100)), 0, 100) : 0;
        drag = kDragSwing;
    } else if (kStopButton.Has(lx, ly)) {
        SetValue(kStop, 0, 1.0f);
    } else if (kPlayButton.Has(lx, ly)) {
        SetValue(kPlay, 0, 1.0f);
    } else if (kScrollLeft.Has(lx, ly)) {
        scroll = std::max(scroll - 8, 0);
    } else if (kScrollRight.Has(lx, ly)) {
        scroll = std::min(scroll + 8, kMaxScroll);
    } else if (kRuler.Has(lx, ly)) {
        const int position = scroll + std::clamp((lx - kCellsLeft) / kCellWidth, 0, kColumns - 1);
        const int start = ValueToInt(GetValue(kStart, 0));
        const int end = ValueToInt(GetValue(kEnd, 0));
        if (position > start || position == end) SetValue(kEnd, 0, float(position));
        else SetValue(kStart, 0, float(position));
    } else if (const int track = TrackAt(py); track >= 0 && ((lx >= 374 && lx <= 383) || (lx >= 387 && lx <= 396))) {
        const int code = (track << 10) | (lx <= 383 ? 9 : 11);
        SetValue(kMixer, code, GetValue(kMixer, code) < 1.0 ? 1.0f : 0.0f);
    } else if (const int cell = CellAt(px, py); cell >= 0) {
        if ((flags & 4) && (flags & 8)) {
            SetValue(kSelection, 3, float(cell));
        } else if (flags & 4) {
            SetValue(kSelection, 4, float(cell));
        } else if (const int pattern = ValueToInt(GetValue(kCellPattern, cell)); pattern >= 0) {
            dragCell = cell;
            dragPattern = pattern;
            drag = kDragCell;
            return;
        }
    }
    Update();
}

// ---- Menus ----------------------------------------------------------------------

int CUISongSequencer::GetLeftClickMenu(int px, int py)
{
    const int lx = px - x;
    const int track = TrackAt(py);
    menuX = px;
    menuY = py;
    if (track < 0) return 0;
    menuTrack = track;
    if (lx >= kFunctionColumn.left && lx <= kFunctionColumn.right) return 303;
    if (lx >= kProgramColumn.left && lx <= kProgramColumn.right) {
        SetValue(kKeys, 2, float(track));
        return 10060;
    }
    if (lx >= kChannelLeft && lx <= kChannelRight) return 315;
    return 0;
}

int CUISongSequencer::GetContextMenu(int px, int py)
{
    menuX = px;
    menuY = py;
    const int cell = CellAt(px, py);
    if (cell < 0) return 0;
    const int pattern = ValueToInt(GetValue(kCellPattern, cell));
    if (pattern < 0) return 0;
    SetValue(kSelection, 0, float(pattern / 128));
    SetValue(kSelection, 1, float((pattern % 128) / 16));
    SetValue(kSelection, 2, float(pattern % 16));
    menuCell = cell;
    SetValue(kCursor, cell, 0.0f);
    return 307;
}

bool CUISongSequencer::OnMenu(int id, int value)
{
    switch (id) {
    case 303:
        if (menuTrack >= 0) SetValue(kFunction, menuTrack, float(value / 128.0));
        break;
    case 10060:
    case 10070:
        if (menuTrack >= 0) SetValue(kProgram, menuTrack, float(value / 128.0));
        break;
    case 315:
        if (menuTrack >= 0) SetValue(kChannel, menuTrack, float(value));
        break;
    case 307:
        // The window may have redrawn since the menu opened and moved the
        // cursor: the clicked cell takes the transpose.
        if (menuCell < 0) break;
        SetValue(kCursor, menuCell, 0.0f);
        SetValue(kTranspose, 0, float(value));
        break;
    default: return false;
    }
    Update();
    return true;
}
