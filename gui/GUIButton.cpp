#include "gui/GUIButton.h"

#include <cstdio>

#include "gui/GUIContinous.h"
#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"
#include "platform/CGlobalData.h"

void GUIButton::Init()
{
    GUIObject::Init();
    pressed = shown = 0;
}

int GUIButton::GetLeftClickMenu(int, int) { return OpensDialog() ? 0 : int(binding.listId); }

const char* GUIButton::GetHintId(int px, int py)
{
    const char* word = GUIObject::GetHintId(px, py);
    // A button that opens a menu or a dialog, or acts on each press, is no switch.
    if (!owner || !word || !*word || Flagged() || OpensDialog() || binding.listId > 0) return word;
    bool on = false;
    owner->GetBoolValue(&binding, on);
    snprintf(hintText, sizeof hintText, "%s: %s", word, on ? "on" : "off");
    return hintText;
}

int GUIButton::OpensDialog() const
{
    const bool unbound = binding.group == 0 && binding.index == 0 && binding.sub == 0;
    return unbound && properties[kOpensDialog] <= 0xFFFF ? int(properties[kOpensDialog]) : 0;
}

bool GUIButton::Lit()
{
    if (OpensDialog()) return owner->GetOpenDialog() == OpensDialog();
    bool on = false;
    owner->GetBoolValue(&binding, on);
    // A flagged button is lit while held, and while what a press opened
    // stays open (an effect's editor); a command that only counts presses
    // reads 0.
    return (Flagged() && pressed) || on;
}

GuiRect GUIButton::Draw()
{
    if (!surface || !owner) return {};
    shown = Lit();
    if (dialogId != 0)
        surface->DrawDialogPanel(x, y, x + w, y + h);
    else
        surface->ClearRect(x, y, x + w, y + h);
    if (const CDIBitmap* image = widgetdraw::Image(*this, shown ? 2 : 1)) {
        surface->Blit(CUnifiedDC::kBlitCopy, x, y, x + w, y + h, image, 0, 0);
    } else {
        // Without images: a light key, pale yellow while on.
        surface->SetColor(shown ? 0xB4FFFF : widgetdraw::kLightFace);
        surface->FillRect(x, y, x + w, y + h, 1.0f);
        surface->SetColor(0x606060);
        surface->FrameRect(x, y, x + w, y + h);
    }
    surface->SetColor(0x000000);
    surface->DrawText(x + w / 2, widgetdraw::TextTop(*this), binding.GetLabel(), CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent,
                      2, std::max(w, 1));
    GuiRect dirty = Rect();
    if (g_ControllerNumberMode) {
        const GuiRect disc = DrawControllerDisc(*this, x + w - 9, y + h / 2 - 1);
        UnionRects(dirty, dirty, disc);
    }
    return dirty;
}

// What a button shows may change after the press that drew it, or with no
// press at all: Play and Stop reach the song through the audio thread, the
// song stops at its end or by a MIDI Stop, and a press on one draws only
// that one. Drawn again when the model moves, the buttons follow it also
// while the pointer rests on them and nothing else is drawn.
void GUIButton::OnIdle()
{
    if (owner && surface && Lit() != bool(shown)) Update();
}

void GUIButton::OnMouseDown(uint32_t, int, int)
{
    if (!owner) return;
    pressed = 1;
    if (const int dialog = OpensDialog()) {
        // The dialog lies where the layout put it.
        if (owner->GetOpenDialog() == dialog)
            owner->CloseDialog();
        else
            owner->OpenDialog(0, 0, dialog, 0);
        return;
    }
    if (Flagged()) {
        // A one-shot press always sends 1, whether or not the release was
        // drawn (a hidden button is not).
        shown = 1;
        owner->SetIntValue(&binding, 1);
    } else {
        bool on = false;
        owner->GetBoolValue(&binding, on);
        shown = !on;
        owner->SetIntValue(&binding, shown);
    }
    Update();
}

void GUIButton::OnMouseUp(uint32_t, int, int)
{
    if (!owner) return;
    const bool wasPressed = pressed != 0;
    pressed = 0;
    if (OpensDialog()) return;
    if ((binding.flags & CIParameter::kFlagMomentary) && wasPressed) owner->SetIntValue(&binding, 0);
    Update();
}
