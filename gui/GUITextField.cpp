#include "gui/GUITextField.h"

#include <algorithm>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

GuiRect GUITextField::Draw()
{
    if (!surface || !owner) return {};
    widgetdraw::WhiteBox(*this, widgetdraw::Image(*this, 1));
    GuiRect dirty = Rect();
    const GuiRect caption = widgetdraw::CaptionBelow(*this, CaptionTop(), false);
    UnionRects(dirty, dirty, caption);
    char value[128] = "";
    owner->GetValueText(&binding, value, sizeof value);
    surface->SetColor(0x000000);
    surface->DrawText(x + 3, widgetdraw::TextTop(*this), value, CUnifiedDC::kTextTransparent, 2, std::max(w - 4, 1));
    return dirty;
}

void GUITextField::OnMouseDown(uint32_t, int, int)
{
    if (owner) owner->SetTextValue(&binding, "trigger");
}
