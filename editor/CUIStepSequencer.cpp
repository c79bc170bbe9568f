#include "editor/CUIStepSequencer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/CKeyboard.h"
#include "editor/WidgetDraw.h"
#include "gui/GUIHead.h"

namespace {

// Editor groups of the selected pattern.
constexpr int kNote = 10, kKeyIndex = 14, kLength = 16, kChord = 17, kGate = 18, kFlagA = 19,
              kFlagB = 20, kLoop = 21, kLast = 22, kSelection = 23, kLane = 29, kPlaying = 36,
              kCommand = 41;
constexpr int kMaxGate = 100;
constexpr int kMaxChordNotes = 16;
constexpr int kCursorSteps = 7;

struct Box {
    int left, top, right, bottom;  // inclusive, relative to the widget
    bool Has(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};
constexpr Box kNameBox{31, 2, 61, 13};
constexpr Box kRuler{79, 16, 911, 26};
constexpr Box kOctaveUp{32, 26, 44, 37};
constexpr Box kOctaveDown{32, 223, 44, 234};
constexpr Box kLaneA{62, 27, 71, 36};
constexpr Box kLaneB{62, 60, 71, 69};
constexpr Box kCursorRow{79, 29, 911, 40};
constexpr Box kGrid{79, 41, 911, 220};
constexpr Box kKeyRow{79, 221, 911, 233};
constexpr Box kFlagRowA{79, 236, 911, 246};
constexpr Box kFlagRowB{79, 248, 911, 258};
constexpr Box kLengthRow{79, 260, 911, 283};

void LengthText(int code, char* out, size_t size)
{
    static constexpr int kValues[6] = {32, 16, 8, 4, 2, 1};
    static constexpr const char* kKinds[3] = {"t", "", "d"};
    if (code < 0 || code > 17) {
        snprintf(out, size, "x");
        return;
    }
    snprintf(out, size, "%d%s", kValues[code / 3], kKinds[code % 3]);
}

}  // namespace

void CUIStepSequencer::Init()
{
    GUIObject::Init();
    baseNote = 36;
    lastStep = -1;
    drag = kNone;
    menuX = menuY = menuId = 0;
    drawnPlayStep = -2;
}

int CUIStepSequencer::StepAt(int localX) const
{
    return std::clamp(FloorDiv(localX - kGridLeft, kStepWidth), 0, kSteps - 1);
}

int CUIStepSequencer::RowAt(int localY) const
{
    return std::clamp(kRows - 1 - FloorDiv(localY - kGridTop, kRowHeight), 0, kRows - 1);
}

// ---- Drawing -------------------------------------------------------------------

GuiRect CUIStepSequencer::Draw()
{
    if (!surface) return {};
    CUnifiedDC& dc = *surface;
    const ClipScope clip(surface, x, y, x + w, y + h);
    char text[16];

    // Panel, grid background with a line every beat and a band on each C.
    dc.SetColor(0x1E1E1E);
    dc.FillRect(x, y, x + w, y + h, 1.0f);
    dc.SetColor(0x2C2C2C);
    dc.FillRect(x + kGrid.left, y + kGrid.top, x + kGridRight + 1, y + kGridBottom, 1.0f);
    dc.SetColor(0x383838);
    for (int r = 0; r < kRows; ++r)
        if ((baseNote + r) % 12 == 0)
            dc.FillRect(x + kGridLeft, y + kGridTop + (kRows - 1 - r) * kRowHeight, x + kGridRight + 1,
                        y + kGridTop + (kRows - r) * kRowHeight, 1.0f);
    dc.SetColor(0x484848);
    for (int s = 0; s <= kSteps; s += 4)
        dc.FillRect(x + kGridLeft + s * kStepWidth, y + kGridTop, x + kGridLeft + s * kStepWidth + 1,
                    y + kGridBottom, 1.0f);

    // Notes and chords. Only rows 0..35 exist: notes under the base and
    // inversions reaching below the root stay off the step rows.
    for (int s = 0; s < kSteps; ++s) {
        const int note = ValueToN(GetValue(kNote, s));
        const int chord = ValueToN(GetValue(kChord, s));
        const int gate = std::clamp(ValueToN(GetValue(kGate, s)), 0, kMaxGate);
        const int width = std::max(gate * 12 / kMaxGate, 1);
        const int left = x + kGridLeft + s * kStepWidth;
        for (int i = 0; i < kMaxChordNotes; ++i) {
            int32_t interval = 0;
            if (!CKeyboard::GetChordInterval(chord, i, interval)) break;
            const int row = note - baseNote + interval;
            if (row < 0 || row >= kRows) continue;
            const int top = y + kGridTop + (kRows - 1 - row) * kRowHeight;
            if (i == 0) {
                dc.SetColor(0x00FFFF);
                dc.FillRect(left + 1, top, left + 1 + width, top + kRowHeight, 1.0f);
            } else {
                dc.SetColor(0x009B9B);
                dc.FrameRect(left + 1, top, left + width, top + kRowHeight - 1);
            }
        }
    }

    // Key index, flag and length rows.
    for (int s = 0; s < kSteps; ++s) {
        const int left = x + kGridLeft + s * kStepWidth;
        const int index = ValueToN(GetValue(kKeyIndex, s));
        if (index == 0) snprintf(text, sizeof text, "n");
        else if (index > 0 && index <= 8) snprintf(text, sizeof text, "%d", index);
        else snprintf(text, sizeof text, "x");
        dc.SetColor(0xC8C8C8);
        dc.DrawText(left + 6, y + kKeyRow.top + 2, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 1,
                    4 * kStepWidth);
        for (int f = 0; f < 2; ++f) {
            const Box& row = f == 0 ? kFlagRowA : kFlagRowB;
            const bool on = ValueToN(GetValue(f == 0 ? kFlagA : kFlagB, s)) > 0;
            dc.SetColor(on ? (f == 0 ? 0x3C78FF : 0xFFB43C) : 0x505050);
            if (on) dc.FillRect(left + 2, y + row.top + 1, left + 11, y + row.bottom, 1.0f);
            else dc.FrameRect(left + 2, y + row.top + 1, left + 10, y + row.bottom - 1);
        }
        LengthText(ValueToN(GetValue(kLength, s)), text, sizeof text);
        const bool suffix = text[0] && (text[strlen(text) - 1] == 't' || text[strlen(text) - 1] == 'd');
        char kind[2] = {suffix ? text[strlen(text) - 1] : '\0', '\0'};
        if (suffix) text[strlen(text) - 1] = '\0';
        dc.SetColor(0xC8C8C8);
        dc.DrawText(left + 6, y + kLengthRow.top + 1, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 1,
                    4 * kStepWidth);
        dc.SetColor(0x8CB4B4);
        dc.DrawText(left + 6, y + kLengthRow.top + 12, kind, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 1,
                    4 * kStepWidth);
    }

    // Loop ruler: the loop step and last step marked, the steps after the
    // last dimmed.
    const int loop = std::clamp(ValueToN(GetValue(kLoop, 0)), 0, kSteps - 1);
    const int last = std::clamp(ValueToN(GetValue(kLast, 0)), 0, kSteps - 1);
    dc.SetColor(0x3C3C3C);
    dc.FillRect(x + kRuler.left, y + kRuler.top, x + kRuler.right + 1, y + kRuler.bottom + 1, 1.0f);
    dc.SetColor(0x64A0A0);
    dc.FillRect(x + kGridLeft + loop * kStepWidth, y + kRuler.top + 2, x + kGridLeft + (last + 1) * kStepWidth,
                y + kRuler.bottom - 1, 1.0f);
    dc.SetColor(0x00FF00);
    dc.FillRect(x + kGridLeft + loop * kStepWidth, y + kRuler.top, x + kGridLeft + loop * kStepWidth + 3,
                y + kRuler.bottom + 1, 1.0f);
    dc.SetColor(0x0000FF);
    dc.FillRect(x + kGridLeft + (last + 1) * kStepWidth - 3, y + kRuler.top,
                x + kGridLeft + (last + 1) * kStepWidth, y + kRuler.bottom + 1, 1.0f);
    if (last < kSteps - 1) {
        dc.SetColor(0x000000);
        dc.FillRect(x + kGridLeft + (last + 1) * kStepWidth, y + kGrid.top, x + kGridRight + 1,
                    y + kLengthRow.bottom + 1, 0.5f);
    }

    // Octave buttons, pitch label, lane switch.
    dc.SetColor(0x707070);
    dc.FrameRect(x + kOctaveUp.left, y + kOctaveUp.top, x + kOctaveUp.right, y + kOctaveUp.bottom);
    dc.FrameRect(x + kOctaveDown.left, y + kOctaveDown.top, x + kOctaveDown.right, y + kOctaveDown.bottom);
    dc.SetColor(0xE6E6E6);
    dc.DrawText(x + 38, y + kOctaveUp.top + 1, "+", CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    dc.DrawText(x + 38, y + kOctaveDown.top + 1, "-", CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    snprintf(text, sizeof text, "C%d", baseNote / 12 - 1);
    dc.DrawText(x + 12, y + 154, text, CUnifiedDC::kTextTransparent);
    const bool laneB = GetValue(kLane, 0) > 0.0;
    for (int b = 0; b < 2; ++b) {
        const Box& box = b == 0 ? kLaneA : kLaneB;
        dc.SetColor(laneB == (b == 1) ? 0x3CC8FF : 0x505050);
        dc.FillRect(x + box.left, y + box.top, x + box.right + 1, y + box.bottom + 1, 1.0f);
        dc.SetColor(0x000000);
        dc.DrawText(x + box.left + 5, y + box.top, b == 0 ? "A" : "B",
                    CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    }

    // The rows under the grid are named in the free column at their left.
    static constexpr struct {
        const Box& row;
        const char* name;
    } kRowNames[] = {{kKeyRow, "Key"}, {kFlagRowA, "Rest"}, {kFlagRowB, "Skip"}, {kLengthRow, "Length"}};
    dc.SetColor(0xB4B4B4);
    for (const auto& r : kRowNames)
        dc.DrawText(x + kGridLeft - 4, y + (r.row.top + r.row.bottom + 1 - dc.Font().GetHeight()) / 2, r.name,
                    CUnifiedDC::kTextRight | CUnifiedDC::kTextTransparent);

    // Pattern name on its box.
    const int letter = std::clamp(ValueToInt(GetValue(kSelection, 1)), 0, 7);
    const int number = std::clamp(ValueToInt(GetValue(kSelection, 2)), 0, 15);
    snprintf(text, sizeof text, "%c-%d", 'A' + letter, number + 1);
    dc.SetColor(0xFFFFFF);
    dc.FillRect(x + kNameBox.left, y + kNameBox.top, x + kNameBox.right + 1, y + kNameBox.bottom + 1, 0.3f);
    dc.DrawText(x + 46, y + kNameBox.top, text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);

    drawnPlayStep = ValueToInt(GetValue(kPlaying, 0));
    DrawPlayCursor(drawnPlayStep);
    return Rect();
}

GuiRect CUIStepSequencer::DrawPlayCursor(int step)
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    const GuiRect row{x + kCursorRow.left, y + kCursorRow.top, x + kCursorRow.right + 1, y + kCursorRow.bottom + 1};
    surface->SetColor(0x282828);
    surface->FillRect(row.left, row.top, row.right, row.bottom, 1.0f);
    if (step >= 0 && step < kSteps) {
        // Seven steps from the played one, cut at the end of the row.
        const int left = row.left + step * kStepWidth;
        const int right = std::min(left + kCursorSteps * kStepWidth, row.right);
        surface->SetColor(0x3C8CFF);
        surface->FillRect(left, row.top + 2, right, row.bottom - 2, 0.35f);
        surface->SetColor(0x50B4FF);
        surface->FillRect(left, row.top + 2, left + kStepWidth, row.bottom - 2, 1.0f);
    }
    return row;
}

void CUIStepSequencer::OnIdle()
{
    const int step = ValueToInt(GetValue(kPlaying, 0));
    if (step == drawnPlayStep || !owner || !surface) return;
    drawnPlayStep = step;
    const GuiRect r = DrawPlayCursor(step);
    surface->Present(surface->GetWindow(), r.left, r.top, r.right, r.bottom);
}

// ---- Mouse ------------------------------------------------------------------------

void CUIStepSequencer::OnMouseDown(uint32_t flags, int px, int py) { HandleMouse(0, flags, px, py); }
void CUIStepSequencer::OnMouseUp(uint32_t flags, int px, int py) { HandleMouse(1, flags, px, py); }
void CUIStepSequencer::OnMouseDrag(uint32_t flags, int px, int py) { HandleMouse(2, flags, px, py); }

void CUIStepSequencer::HandleMouse(int mode, uint32_t flags, int px, int py)
{
    const int lx = px - x, ly = py - y;
    if (mode == 1) {
        drag = kNone;
        lastStep = -1;
        Update();
        return;
    }
    const int step = StepAt(lx);
    if (mode == 0) {
        drag = kNone;
        lastStep = -1;
        if (kGrid.Has(lx, ly)) {
            if (flags & 8) {
                const int gate = ValueToN(GetValue(kGate, step));
                SetValue(kGate, step, float(((gate % 100 + 100) % 100 + 25) / 128.0));
                Update();
                return;
            }
            drag = kDragGrid;
        } else if (kFlagRowA.Has(lx, ly)) {
            drag = kFlag19;
        } else if (kFlagRowB.Has(lx, ly)) {
            drag = kFlag20;
        } else if (kRuler.Has(lx, ly)) {
            const int loop = ValueToN(GetValue(kLoop, 0));
            const int last = ValueToN(GetValue(kLast, 0));
            drag = step > loop || step == last ? kLastStep : kLoopStep;
        } else if (kOctaveDown.Has(lx, ly)) {
            drag = kDragOctaveDown;
            baseNote = std::max(baseNote - 12, 0);
        } else if (kOctaveUp.Has(lx, ly)) {
            drag = kDragOctaveUp;
            baseNote = std::min(baseNote + 12, kMaxBase);
        } else if (kLaneA.Has(lx, ly) || kLaneB.Has(lx, ly)) {
            drag = kLaneSwitch;
            SetValue(kLane, 0, kLaneB.Has(lx, ly) ? 1.0f : 0.0f);
        }
    }
    switch (drag) {
    case kDragGrid: SetValue(kNote, step, float((baseNote + RowAt(ly)) / 128.0)); break;
    case kFlag19:
    case kFlag20:
        // Each step once per entry: moving inside a step toggles nothing.
        if (step != lastStep) {
            const int group = drag == kFlag19 ? kFlagA : kFlagB;
            SetValue(group, step, ValueToN(GetValue(group, step)) > 0 ? 0.0f : 128.0f);
            lastStep = step;
        }
        break;
    case kLoopStep: SetValue(kLoop, 0, float(step / 128.0)); break;
    case kLastStep: SetValue(kLast, 0, float(step / 128.0)); break;
    default: break;
    }
    Update();
}

// ---- Menus ----------------------------------------------------------------------

int CUIStepSequencer::MenuAt(int lx, int ly, bool context) const
{
    if (kNameBox.Has(lx, ly)) return 308;
    if (context) return kGrid.Has(lx, ly) ? 300 : 0;
    if (kLengthRow.Has(lx, ly)) return 301;
    if (kKeyRow.Has(lx, ly)) return 302;
    return 0;
}

int CUIStepSequencer::GetLeftClickMenu(int px, int py)
{
    menuX = px;
    menuY = py;
    menuId = MenuAt(px - x, py - y, false);
    return menuId;
}

int CUIStepSequencer::GetContextMenu(int px, int py)
{
    menuX = px;
    menuY = py;
    menuId = MenuAt(px - x, py - y, true);
    return menuId;
}

bool CUIStepSequencer::OnMenu(int id, int value)
{
    if (id != 300 && id != 301 && id != 302 && id != 308) return false;
    const int step = FloorDiv(menuX - x - kGridLeft, kStepWidth);
    const int row = kRows - 1 - FloorDiv(menuY - y - kGridTop, kRowHeight);
    const bool stepOk = step >= 0 && step < kSteps;
    switch (id) {
    case 300:
        if (!stepOk || row < 0 || row >= kRows) break;
        if (value >= 1000 && value <= 1003)
            SetValue(kGate, step, float((100 - 25 * (value - 1000)) / 128.0));
        else
            SetValue(kChord, step, float(value / 128.0));
        break;
    case 301:
        if (stepOk) SetValue(kLength, step, float(value / 128.0));
        break;
    case 302:
        if (stepOk) SetValue(kKeyIndex, step, float(value / 128.0));
        break;
    case 308: SetValue(kCommand, 0, float(value)); break;
    default: break;
    }
    Update();
    return true;
}
