#include "gui/GUIDialog.h"

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

void GUIDialog::Init()
{
    GUIObject::Init();
    layer = 3;
    imageIndex = 0;
}

int GUIDialog::GetImage()
{
    if (imageIndex < 0 || imageIndex >= kProperties) return 0;
    return widgetdraw::Image(*this, imageIndex + 1) ? int(properties[imageIndex]) : 0;
}

GuiRect GUIDialog::Draw()
{
    if (!surface) return {};
    // The shadow shows to the right and below only.
    surface->SetColor(0x000000);
    surface->FillRect(x + w, y + 4, x + w + 4, y + h + 4, 0.4f);
    surface->FillRect(x + 4, y + h, x + w, y + h + 4, 0.4f);
    const int id = GetImage();
    if (const CDIBitmap* image = id ? widgetdraw::Image(*this, imageIndex + 1) : nullptr) {
        surface->Blit(CUnifiedDC::kBlitCopy, x, y, x + w, y + h, image, 0, 0);
    } else {
        surface->DrawDialogPanel(x, y, x + w, y + h);
        // The close box, drawn when no image brings one.
        const int r = x + w;
        surface->SetColor(0x3C3C3C);
        surface->FrameRect(r - 18, y + 2, r - 2, y + 18);
        surface->MoveTo(float(r - 14), float(y + 6));
        surface->LineToAA(float(r - 6), float(y + 14));
        surface->MoveTo(float(r - 6), float(y + 6));
        surface->LineToAA(float(r - 14), float(y + 14));
    }
    return {x, y, x + w + 4, y + h + 4};
}

void GUIDialog::OnMouseDown(uint32_t, int px, int py)
{
    const int r = x + w;
    if (owner && px >= r - 18 && px < r - 2 && py >= y + 2 && py < y + 18) owner->CloseDialog();
}
