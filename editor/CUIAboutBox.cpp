#include "editor/CUIAboutBox.h"

#include <cstdio>

#include "editor/WidgetDraw.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"

namespace {
constexpr int kVersionLine = 250;
}  // namespace

void CUIAboutBox::Init()
{
    GUIObject::Init();
    open = false;
    under.Forget();
}

GuiRect CUIAboutBox::Open()
{
    open = true;
    under.Save(surface, x, y, x + w + kShadow, y + h + kShadow);
    return {x, y, x + w + kShadow, y + h + kShadow};
}

void CUIAboutBox::Close()
{
    open = false;
    under.Forget();
}

GuiRect CUIAboutBox::Draw()
{
    if (!surface || !open) return {};
    // The screen as it was, so that the shadow never darkens twice.
    if (under.IsSaved()) {
        under.Restore(surface);
        under.Save(surface, x, y, x + w + kShadow, y + h + kShadow);
    }
    surface->SetColor(0x000000);
    surface->FillRect(x + kShadow, y + kShadow, x + w + kShadow, y + h + kShadow, 0.3f);
    CGLBitmapCache images;
    const CDIBitmap* box = CGLBitmapCache::Get(int(properties[0]));
    if (box && !box->IsEmpty() && box->BitCount() == 24) {
        surface->Blit(CUnifiedDC::kBlitAlpha, x, y, x + w, y + h, box, 0, 0, 0.9f);
    } else {
        surface->SetColor(0x3C2D23);
        surface->FillRect(x, y, x + w, y + h, 0.9f);
        surface->SetColor(0xF0F0F0);
        surface->DrawText(x + w / 2, y + h / 3, "ZAVO", CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    }
    char line[64];
    snprintf(line, sizeof line, "%s Build  %s", kVersionText, __DATE__);
    surface->SetColor(0xC8C8C8);
    surface->DrawText(x + w / 2, y + kVersionLine, line, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
    return {x, y, x + w + kShadow, y + h + kShadow};
}

void CUIAboutBox::OnMouseDown(uint32_t, int, int)
{
    if (owner) owner->CloseAboutBox();
}
