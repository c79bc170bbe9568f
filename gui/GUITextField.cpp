#include "gui/GUITextField.h"

#include <algorithm>
#include <cstring>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

GuiRect GUITextField::Draw()
{
    if (!surface || !owner) return {};
    widgetdraw::WhiteBox(*this, widgetdraw::Image(*this, 1));
    GuiRect dirty = Rect();
    const GuiRect caption = widgetdraw::CaptionBelow(*this, CaptionTop(), false);
    UnionRects(dirty, dirty, caption);
    owner->GetValueText(&binding, shown, sizeof shown);
    surface->SetColor(0x000000);
    surface->DrawText(x + 3, widgetdraw::TextTop(*this), shown, CUnifiedDC::kTextTransparent, 2, std::max(w - 4, 1));
    return dirty;
}

// Only the box is drawn again: the running time changes at every tick, and
// a whole redraw of the window for it (what a dialog's update does) would
// take a good share of a core while recording.
void GUITextField::OnIdle()
{
    if (!owner || layer == 0) return;
    char value[sizeof shown] = "";
    owner->GetValueText(&binding, value, sizeof value);
    if (strcmp(value, shown) != 0) owner->RedrawRegion(x, y, x + w, y + h);
}

void GUITextField::OnMouseDown(uint32_t, int, int)
{
    if (owner) owner->SetTextValue(&binding, "trigger");
}
