#include "gui/GUILMeter.h"

#include <algorithm>
#include <cmath>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

void GUILMeter::Init()
{
    GUIObject::Init();
    shownTop = -1;
}

int GUILMeter::BarTop()
{
    const double level = owner ? owner->GetParameter(9, int(binding.index)) : 0.0;
    const double offset = (1.0 - level) * h + 0.5;
    return y + (std::isfinite(offset) ? int(std::clamp(offset, 0.0, double(std::max(h, 0)))) : h);
}

GuiRect GUILMeter::Draw()
{
    if (!surface || !owner) return {};
    const int top = BarTop();
    shownTop = top;
    const CDIBitmap* empty = widgetdraw::Image(*this, 1);
    const CDIBitmap* lit = widgetdraw::Image(*this, 2);
    if (empty) {
        surface->Blit(CUnifiedDC::kBlitCopy, x, y, x + w, y + h, empty, 0, 0);
    } else {
        surface->SetColor(0x141414);
        surface->FillRect(x, y, x + w, y + h, 1.0f);
    }
    if (lit) {
        surface->Blit(CUnifiedDC::kBlitCopy, x, top, x + w, y + h, lit, 0, top - y);
    } else {
        surface->SetColor(0x50FF50);
        surface->FillRect(x + 1, top, x + w - 1, y + h, 1.0f);
    }
    return Rect();
}

void GUILMeter::OnIdle()
{
    if (BarTop() != shownTop) Update();
}
