#pragma once
// A one-line text entry of up to 27 bytes of UTF-8. A press starts editing with
// the whole text selected; every key sends the text; Enter commits, Esc
// restores the text the editing started with.
#include <algorithm>

#include "gui/GUIObject.h"

class GUIEditField : public GUIObject {
public:
    static constexpr int kMaxChars = 27;

    GUIEditField() : GUIObject("EDIT") {}
    void Init() override;
    void Activate() override;
    GuiRect Draw() override;
    // The caption hangs 12 px below the field's top, and below a field
    // taller than that (it would be drawn across the field otherwise).
    int CaptionTop() const { return y + std::max(12, h + 1); }
    bool OnKey(int key, int ch, uint32_t keyData) override;
    // Ends the typing as Enter does (a press elsewhere); nothing when the
    // field is not being typed in.
    void EndTyping();
    void OnIdle() override;
    void OnMouseMove(int x, int y) override;
    int GetParameterMenu(CPIBase* model, int x, int y) override;

    char text[kMaxChars + 1] = {};
    // The text when the editing started: every key sends the text, so the
    // model's text is what was typed by the time Esc comes.
    char original[kMaxChars + 1] = {};
    int caret = 0;
    bool fresh = false;
    bool caretVisible = true;
    int blinkTicks = 0;

protected:
    explicit GUIEditField(const char* tag) : GUIObject(tag) {}
    // The model's text, cut to the field.
    void LoadValueText();
    // What the field sends; the edit selection sends only on Enter.
    virtual void SendText(bool enter);
    GuiRect DrawEditing();
};
