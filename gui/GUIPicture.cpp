#include "gui/GUIPicture.h"

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

GuiRect GUIPicture::Draw()
{
    if (!surface) return {};
    const CDIBitmap* image = widgetdraw::Image(*this, 1);
    if (!image) return {};
    surface->Blit(CUnifiedDC::kBlitCopy, x, y, x + w, y + h, image, 0, 0);
    return Rect();
}

bool GUIPicture::HitTest(int x, int y)
{
    return owner && owner->IsEditMode() && GUIObject::HitTest(x, y);
}
