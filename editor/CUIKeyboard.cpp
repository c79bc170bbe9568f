#include "editor/CUIKeyboard.h"

#include "editor/WidgetDraw.h"

namespace {
constexpr int kKeyGroup = 50, kKeyState = 24;
constexpr int kWhiteOffsets[7] = {0, 11, 22, 33, 44, 55, 66};
constexpr int kWhiteKeys[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int kBlackOffsets[5] = {7, 20, 40, 52, 65};
constexpr int kBlackKeys[5] = {1, 3, 6, 8, 10};
// Right edges of the keys in an octave's upper part, C to A#; the rest is B.
constexpr int kUpperEdges[11] = {7, 13, 20, 27, 33, 40, 46, 52, 58, 64, 71};
constexpr int kLowerEdges[6] = {11, 22, 33, 44, 55, 66};
}  // namespace

void CUIKeyboard::Init()
{
    GUIObject::Init();
    held = -1;
    drawnLit.fill(0);
}

int CUIKeyboard::NoteAt(int px, int py) const
{
    const int lx = px - x, ly = py - y;
    if (lx < 0 || ly < 0 || lx >= w || ly >= h) return -1;
    const int octave = lx / kOctaveWidth, within = lx % kOctaveWidth;
    int key = 0;
    if (ly < kBlackHeight) {
        while (key < 11 && within >= kUpperEdges[key]) ++key;
    } else {
        int white = 0;
        while (white < 6 && within >= kLowerEdges[white]) ++white;
        key = kWhiteKeys[white];
    }
    const int note = kFirstNote + 12 * octave + key;
    return note < kFirstNote + kKeys ? note : -1;
}

void CUIKeyboard::Play(int note)
{
    if (note == held) return;
    // Only a key this widget holds is released, and only keys that exist
    // are played.
    if (held >= 0) SetValue(kKeyGroup, 0, float(held / 128.0));
    held = note;
    if (held >= 0) SetValue(kKeyGroup, 1, float(held / 128.0));
    Update();
}

void CUIKeyboard::OnMouseDown(uint32_t, int px, int py) { Play(NoteAt(px, py)); }
void CUIKeyboard::OnMouseDrag(uint32_t, int px, int py) { Play(NoteAt(px, py)); }
void CUIKeyboard::OnMouseUp(uint32_t, int, int) { Play(-1); }

bool CUIKeyboard::IsLit(int note)
{
    return note == held || GetValue(kKeyState, note) > 0.0;
}

GuiRect CUIKeyboard::Draw()
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    surface->SetColor(0x101010);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    for (int octave = 0; octave * kOctaveWidth < w && octave < kKeys / 12; ++octave) {
        const int left = x + octave * kOctaveWidth;
        for (int k = 0; k < 7; ++k) {
            const int note = kFirstNote + 12 * octave + kWhiteKeys[k];
            const bool lit = IsLit(note);
            drawnLit[size_t(note - kFirstNote)] = lit;
            surface->SetColor(lit ? 0x3CC8FF : 0xEBEBEB);
            surface->FillRect(left + kWhiteOffsets[k], y, left + kWhiteOffsets[k] + 10, y + 59, 1.0f);
            surface->SetColor(0x000000);
            surface->FillRect(left + kWhiteOffsets[k], y + 56, left + kWhiteOffsets[k] + 10, y + 59, 0.2f);
        }
        for (int k = 0; k < 5; ++k) {
            const int note = kFirstNote + 12 * octave + kBlackKeys[k];
            const bool lit = IsLit(note);
            drawnLit[size_t(note - kFirstNote)] = lit;
            surface->SetColor(lit ? 0x1E8CC8 : 0x1E1E1E);
            surface->FillRect(left + kBlackOffsets[k], y, left + kBlackOffsets[k] + 6, y + kBlackHeight, 1.0f);
        }
    }
    return Rect();
}

void CUIKeyboard::OnIdle()
{
    for (int i = 0; i < kKeys; ++i)
        if (bool(drawnLit[size_t(i)]) != IsLit(kFirstNote + i)) {
            Update();
            return;
        }
}
