#include "gui/GUISelection.h"

#include <algorithm>
#include <cmath>

#include "gui/CUIMenuResource.h"
#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"
#include "platform/CGlobalData.h"

void GUISelection::Init()
{
    GUIObject::Init();
    text[0] = 0;
    clickPoint = {};
    controller = {};
}

int GUISelection::Max() const { return std::max(1, int(std::clamp(binding.max, 1.0f, 1e9f))); }

int GUISelection::Entry() const
{
    float v = 0.0f;
    if (owner) owner->GetFloatValue(&binding, v);
    const double n = double(binding.max) * v;
    return n == n ? int(std::clamp(n, -1e9, 1e9)) : 0;
}

void GUISelection::Send(int n)
{
    owner->SetFloatValue(&binding, float(n) / float(Max()));
    Update();
}

GuiRect GUISelection::Draw()
{
    if (!surface || !owner) return {};
    widgetdraw::Face(*this, widgetdraw::StateImage(*this), true);
    GuiRect dirty = Rect();
    if (g_ControllerNumberMode) {
        const GuiRect disc = DrawControllerDisc(*this, x + w - 9, y + h / 2, &controller);
        UnionRects(dirty, dirty, disc);
    }
    // Fetched at every drawing, not only when the entry changed: a text can
    // depend on another value (a routing's destination reads empty while
    // its source is off), and a program change can leave the entry as it was.
    owner->GetValueText(&binding, text, sizeof text);
    surface->SetColor(0x141414);
    surface->DrawText(x + 2, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextTransparent, 2, std::max(w - 6, 1));
    return dirty;
}

void GUISelection::Activate()
{
    GUIObject::Activate();
    controller.Start(*this);
}

void GUISelection::Deactivate()
{
    controller.Commit(*this);
    GUIObject::Deactivate();
}

void GUISelection::OnMouseDown(uint32_t, int, int)
{
    if (!owner || binding.listId > 0) return;
    float v = 0.0f;
    owner->GetFloatValue(&binding, v);
    const double n = double(v) * Max();
    Send(n == n ? int(std::clamp(n, 0.0, double(Max()))) : 0);
}

bool GUISelection::OnKey(int key, int ch, uint32_t)
{
    if (!owner) return false;
    if (g_ControllerNumberMode) return controller.TakeKey(*this, key, ch);
    switch (key) {
    case 33: case 34: case 35: case 36: case 38: case 40: break;
    default: return false;
    }
    const int n = CUIMenuResource::StepValue(binding.listId, Entry(), key);
    Send(std::clamp(n, 0, Max()));
    return true;
}

const char* GUISelection::GetHintId(int px, int py)
{
    const char* refused = controller.RefusedHint(*this);
    return refused ? refused : GUIObject::GetHintId(px, py);
}

bool GUISelection::OnMenu(int, int value)
{
    if (!owner) return false;
    Send(value);
    return true;
}

int GUISelection::GetLeftClickMenu(int, int)
{
    // The list is read as the value is, as the keys read it before they
    // step: a list written for the field's own row when its value is read
    // (the programs of the part's bank, shared by the sixteen fields of the
    // Mixer page) then names what this field chooses from.
    if (binding.listId > 0) Entry();
    return int(binding.listId);
}

int GUISelection::GetContextMenu(int px, int py)
{
    clickPoint = {px, py};
    return int(binding.contextMenuId);
}
