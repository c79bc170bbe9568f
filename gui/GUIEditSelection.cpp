#include "gui/GUIEditSelection.h"

#include <cstring>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

void GUIEditSelection::Activate()
{
    GUIEditField::Activate();
    // The program name's text starts with its number ("12: "); only the
    // name is edited. A shorter text has no number to drop.
    if (binding.group == 3 && binding.index == 5) {
        const size_t n = strlen(text);
        const size_t drop = n >= 4 ? 4 : n;
        memmove(text, text + drop, n - drop + 1);
        memcpy(original, text, sizeof original);
        caret = int(strlen(text));
    }
}

void GUIEditSelection::SendText(bool enter)
{
    if (enter) GUIEditField::SendText(true);
}

int GUIEditSelection::GetLeftClickMenu(int px, int)
{
    return px >= x + w - 10 ? int(binding.listId) : 0;
}

bool GUIEditSelection::OnMenu(int, int value)
{
    if (!owner) return false;
    owner->SetFloatValue(&binding, float(value) * (1.0f / 128.0f));
    // Being typed in, the field goes on with what was chosen: the text typed
    // before stood for the value the list replaced, and an Enter would give
    // it to the chosen one (a program loaded from the list took the name of
    // the program before it).
    if (active) Activate();
    Update();
    return true;
}

GuiRect GUIEditSelection::Draw()
{
    if (!surface || !owner) return {};
    if (active) {
        widgetdraw::WhiteBox(*this, widgetdraw::Image(*this, 1));
        return DrawEditing();
    }
    widgetdraw::Face(*this, widgetdraw::Image(*this, 1), true);
    char value[128] = "";
    owner->GetValueText(&binding, value, sizeof value);
    surface->SetColor(0x141414);
    surface->DrawText(x + 2, widgetdraw::TextTop(*this), value, CUnifiedDC::kTextTransparent, 2, std::max(w - 14, 1));
    return Rect();
}
