#include "gui/GUIInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

GuiRect GUIInfo::Draw()
{
    if (!surface || !owner) return {};
    const bool light = !(binding.group == 3 && binding.index == 36) && !(binding.group == 7 && binding.index == 34);
    widgetdraw::Face(*this, widgetdraw::Image(*this, 1), light);
    ReadText(shown, sizeof shown);
    const char* text = shown;
    const int width = std::max(w - 4, 1);
    if (binding.group == 3 && binding.index == 36) {
        surface->SetColor(0xFFFFFF);
        surface->DrawText(x + w - 2, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextRight | CUnifiedDC::kTextTransparent, 2, width);
    } else {
        surface->SetColor(binding.group == 7 && binding.index == 34 ? 0xFFFFFF : 0x141414);
        surface->DrawText(x + 2, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextTransparent, 2, width);
    }
    return Rect();
}

void GUIInfo::ReadText(char* text, size_t size)
{
    text[0] = '\0';
    if (IsHintLine())
        snprintf(text, size, "%s", owner->GetHoverHint());
    else
        owner->GetValueText(&binding, text, size);
}

void GUIInfo::OnIdle()
{
    if (!owner) return;
    char text[sizeof shown];
    ReadText(text, sizeof text);
    if (strcmp(text, shown) != 0) Update();
}
