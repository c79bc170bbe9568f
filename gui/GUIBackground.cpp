#include "gui/GUIBackground.h"

#include <cstdio>
#include <cstring>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "gui/WidgetDrawing.h"
#include "os/OMessageBox.h"
#include "platform/CGlobalData.h"
#include "platform/COSystem.h"

void GUIBackground::Init()
{
    GUIObject::Init();
    layer = 0;
    clickPoint = {};
}

// A page panel "page<n>" may have a second panel "page<n>.1": the same page
// titled for a part of another type than profi that shows it as its own
// (micro's sound page is profi's Mod/FX page).
int GUIBackground::VariantSlot(int pageImage)
{
    char base[64], wanted[72], name[72];
    if (!CGLBitmapCache::GetName(pageImage, base, sizeof base)) return 0;
    snprintf(wanted, sizeof wanted, "%s.1", base);
    for (int slot = 1; slot <= GUIResource::kMaxImageId; ++slot)
        if (slot != pageImage && CGLBitmapCache::GetName(slot, name, sizeof name) && strcmp(name, wanted) == 0)
            return slot;
    return 0;
}

const CDIBitmap* GUIBackground::VariantPanel(int page) const
{
    if (page < 2 || page > 5) return nullptr;
    const CPIBase* model = owner->GetModel();
    if (!model || model->GetPartSynthesisType(owner->GetCurrentPart()) == 0) return nullptr;
    const int slot = VariantSlot(int(properties[page]));
    const CDIBitmap* image = slot > 0 ? CGLBitmapCache::Get(slot) : nullptr;
    return image && !image->IsEmpty() ? image : nullptr;
}

GuiRect GUIBackground::Draw()
{
    if (!surface || !owner) return {};
    const int page = owner->GetPage();
    const CDIBitmap* image = page >= 0 && page < kProperties ? widgetdraw::Image(*this, page + 1) : nullptr;
    if (const CDIBitmap* variant = VariantPanel(page)) image = variant;
    if (!image) {
        // Erasing copies from the background, so the plain colour is an
        // image too: captions erase to it rather than to black.
        const int sw = surface->GetWidth(), sh = surface->GetHeight();
        if (m_plain.Width() != sw || m_plain.Height() != sh) {
            m_plain.Destroy();
            if (m_plain.Create(sw, sh, 24))
                for (int row = 0; row < sh; ++row) {
                    uint8_t* p = m_plain.PixelAddress(0, row);
                    for (int col = 0; col < sw; ++col, p += 3) {
                        p[0] = uint8_t(kPlainColour >> 16);
                        p[1] = uint8_t(kPlainColour >> 8);
                        p[2] = uint8_t(kPlainColour);
                    }
                }
        }
        image = m_plain.IsEmpty() ? nullptr : &m_plain;
    }
    surface->SetBackground(image);
    GuiRect all;
    surface->DrawBackground(&all);
    return all;
}

void GUIBackground::OnMouseDown(uint32_t flags, int px, int py)
{
    if (owner && (flags & 1) && px < 80 && py < 40) owner->ToggleAboutBox();
}

int GUIBackground::GetContextMenu(int px, int py)
{
    clickPoint = {px, py};
    return kHelpMenu;
}

namespace {

void OpenAddress(const char* address)
{
    if (address && *address) {
        OpenWebPage(address);
        return;
    }
    char text[160];
    snprintf(text, sizeof text, "Web page >%s< not found", address ? address : "");
    os::ShowMessageBox(text, "Error");
}

}  // namespace

bool GUIBackground::OnMenu(int menuId, int value)
{
    if (menuId != kHelpMenu || !owner) return false;
    switch (value) {
    case 0: {
        char path[sizeof g_GlobalData.programFolder + 16];
        const char* folder = g_GlobalData.programFolder;
        const size_t n = strlen(folder);
        const bool separated = n > 0 && folder[n - 1] == '/';
        snprintf(path, sizeof path, "%s%s%s", folder, separated ? "" : "/", "Manual.pdf");
        OpenDocument(path);
        return true;
    }
    case 1: OpenAddress(kWebAddress1); return true;
    case 2: OpenAddress(kWebAddress2); return true;
    case 3: owner->ToggleAboutBox(); return true;
    case 4: owner->SetEditingAllowed(true); return true;
    default: return false;
    }
}
