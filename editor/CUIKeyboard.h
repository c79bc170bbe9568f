#pragma once
// The on-screen keyboard: seven octaves from MIDI note 12 (84 keys) played
// with the mouse, a glissando while dragging; keys held anywhere (MIDI
// input or the mouse) light up.
#include <array>

#include "editor/WidgetDraw.h"
#include "gui/GUIObject.h"

class CUIKeyboard : public GUIObject {
public:
    static constexpr int kFirstNote = 12;
    static constexpr int kKeys = 84;
    static constexpr int kOctaveWidth = 77;
    static constexpr int kBlackHeight = 36;

    CUIKeyboard() : GUIObject("KEYB") { CUIKeyboard::Init(); }

    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnIdle() override;

    // The note under a window point, -1 where no key counts.
    int NoteAt(int x, int y) const;
    int HeldNote() const { return held; }

private:
    void Play(int note);
    bool IsLit(int note);

    Fresh<int, -1> held;
    std::array<uint8_t, kKeys> drawnLit{};
};
