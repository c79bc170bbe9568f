#pragma once
// The base of the knob-type widgets: a vertical drag moves the value (128
// pixels cover the whole range, 1024 with Shift), the keys step it, and
// with the modulation assignment armed the drag sets the modulation amount
// instead. In controller-number mode the widget edits the number of the
// MIDI controller assigned to its value.
#include "gui/GUIObject.h"

class GUIContinous : public GUIObject {
public:
    explicit GUIContinous(const char* tag) : GUIObject(tag) {}

    void Init() override;
    bool SetupModulationDialog() override;
    void Activate() override;
    void Deactivate() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    bool OnKey(int key, int ch, uint32_t keyData) override;
    const char* GetHintId(int x, int y) override;

    // trunc(max - min), at least 1: a range below one step still has one.
    int StepCount() const;

    // The controller-number text shared with the selection widget.
    struct ControllerEntry {
        // Up to four digits: a fourth shows what was typed, which names no
        // controller, and Backspace takes it back.
        char text[5] = {};
        int caret = 0;
        bool fresh = false;
        void Begin(int controller);
        bool Key(int key, int ch);
        // The widget's activation and deactivation in controller-number
        // mode: show the assigned number, then assign what was typed
        // (empty: none; -1..126, else nothing).
        void Start(GUIObject& widget);
        void Commit(GUIObject& widget);
        // A key while the widget is active; redraws it when taken.
        bool TakeKey(GUIObject& widget, int key, int ch);
        // -1 for an empty text; the number typed otherwise.
        int Value() const;
        // What was typed is not assigned: past 126 it names no controller,
        // and on a value no controller moves (the mixer's, the master's) a
        // number would only sit in the learn file.
        bool Refused(const GUIObject& widget) const;
        // While typed in: what the widget's disc shows, and the hint line's
        // word on a number that is not assigned; null otherwise.
        const char* Typed(const GUIObject& widget) const;
        const char* RefusedHint(const GUIObject& widget) const;
        static constexpr int kLastController = 126;
    };

    int stepIndex = 0;
    int assignShown = 0;
    int steps = 1;
    float pixelsPerStep = 128.0f;
    int pressY = 0;
    int amountAtPress = 0;
    float dragPosition = 0.0f;
    ControllerEntry controller;

protected:
    bool assignDrag = false;
};

// The controller-number mode's disc: a pale filled circle of radius 8 at
// (cx, cy) holding the number of the MIDI controller assigned to the
// widget's value (empty when none), or while one is typed the number typed
// (red when it is refused). Answers the rectangle drawn.
GuiRect DrawControllerDisc(GUIObject& widget, int cx, int cy,
                           const GUIContinous::ControllerEntry* entry = nullptr);
