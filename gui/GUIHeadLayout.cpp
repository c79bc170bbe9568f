// The GUI manager's side of the layout file: reading it at open, the
// default layout, writing it back, and the about overlay.
#include <cstring>
#include <string>
#include <vector>

#include "editor/CUIAboutBox.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "os/OMessageBox.h"
#include "os/OReadFile.h"
#include "os/OReplaceFile.h"
#include "platform/CDebug.h"

namespace {

// A layout with its images stays far below this; a larger file is no
// layout of ours and is not read into memory.
constexpr size_t kMaxLayoutBytes = 256u << 20;

// In the debug log and on stderr as well: a box may go unseen (no desktop
// session, a program started by a service) or be taken down by a stop.
void Report(const std::string& text)
{
    CDebug::Say(text.c_str());
    os::ShowMessageBox(text.c_str(), "Error");
}

}  // namespace

void GUIHead::LoadLayout()
{
    m_layoutRefused = false;
    const std::string path = GUIResource::LayoutPath();
    std::vector<uint8_t> bytes;
    std::string error;
    const os::ReadStatus read = os::ReadWholeFile(path.c_str(), kMaxLayoutBytes, bytes, error);
    if (read == os::ReadStatus::kMissing) {
        // Nothing to keep at exit, but the user sees one knob and must
        // learn why.
        Report("The layout " + path + " was not found; the default layout is shown.");
        AddDefaultLayout();
        return;
    }
    GUIResource::Layout layout;
    if (read == os::ReadStatus::kRefused || !GUIResource::ReadLayout(bytes, layout, error)) {
        // Saving at exit must not replace the user's file with the default.
        m_layoutRefused = true;
        Report("The layout " + path + " was not loaded (" + error + "); the default layout is shown.");
        AddDefaultLayout();
        return;
    }
    CGLBitmapCache images;
    for (GUIResource::Image& image : layout.images)
        if (CDIBitmap* slot = CGLBitmapCache::Set(image.id, image.name)) slot->Swap(image.bitmap);
    // The reader ran each widget's AfterLoad before its images were in the
    // cache; again now, so that a widget that measures its strips (the list's
    // header, scroll bar and footer) finds them.
    for (auto& widget : layout.widgets) {
        widget->AfterLoad();
        Adopt(std::move(widget));
    }
    SortByLayer();
}

void GUIHead::AddDefaultLayout()
{
    AddObject("BKGD", 0, -1, 0, 0, 0, 0, 0, 20, 20);
    AddObject("KNOB", 0, 1, 0, 2, 0, 100, 100, 20, 20);
    AddDefaultPropertiesDialog();
}

void GUIHead::AddDefaultPropertiesDialog()
{
    constexpr uint32_t kDialogGroup = 4;
    constexpr int kDialog = 1;
    // Captions hang below their fields (an edit field's 12 px down, one text
    // line high): rows 24 px apart keep each caption clear of the next field.
    constexpr int kTop = 10, kPitch = 24;
    AddObject("DLOG", kDialogGroup, -1, 0, 10, kDialog, 0, 0, 400, kTop + 8 * kPitch + 30);
    const uint32_t left[] = {1, 2, 3, 4, 7, 8, 9, 10};
    for (int i = 0; i < 8; ++i)
        AddObject("EDIT", kDialogGroup, 1, left[i], 11, kDialog, 10, kTop + kPitch * i, 40, 10);
    AddObject("EDIT", kDialogGroup, 1, 11, 11, kDialog, 70, kTop + kPitch * 4, 40, 10);
    AddObject("EDIT", kDialogGroup, 1, 12, 11, kDialog, 70, kTop + kPitch * 5, 40, 10);
    for (int i = 0; i < 8; ++i)
        AddObject("TEXT", kDialogGroup, 1, 100 + i, 11, kDialog, 130, kTop + kPitch * i, 120, 10);
    for (int i = 0; i < 8; ++i)
        AddObject("TEXT", kDialogGroup, 1, 108 + i, 11, kDialog, 260, kTop + kPitch * i, 120, 10);
    AddObject("BTTN", kDialogGroup, 0, 1, 11, kDialog, 10, kTop + 8 * kPitch + 5, 40, 15);
    AddObject("BTTN", kDialogGroup, 0, 2, 11, kDialog, 60, kTop + 8 * kPitch + 5, 40, 15);
}

bool GUIHead::SaveLayout(bool overwriteRefused)
{
    if (!m_editingAllowed) return false;
    const std::string path = GUIResource::LayoutPath();
    if (m_layoutRefused && !overwriteRefused) {
        CDebug::Say(("The layout " + path + " was refused at start; it is left as it is.").c_str());
        return false;
    }
    const std::vector<uint8_t> bytes = GUIResource::WriteLayout(m_widgets);
    std::string why;
    if (!os::ReplaceFile(path.c_str(), bytes.data(), bytes.size(), &why)) {
        Report("The layout could not be saved to " + path + " (" + why + "); the old file is kept.");
        return false;
    }
    m_layoutRefused = false;
    return true;
}

void GUIHead::ToggleAboutBox()
{
    GUIObject* box = nullptr;
    for (const auto& w : m_widgets)
        if (strncmp(w->GetTag(), "ABOX", GUIObject::kTagSize) == 0) box = w.get();
    if (!box) return;
    auto* overlay = dynamic_cast<CUIAboutBox*>(box);
    ForgetHover();
    if (m_openDialog == kAboutDialog) {
        DropController();
        m_openDialog = 0;
        RedrawAll();
        if (overlay) overlay->Close();
        return;
    }
    if (m_openDialog > 0) {
        DropController();
        ReleaseDialogWidgets(m_openDialog);
    }
    // The overlay keeps the window under it (and its shadow) to draw over.
    GuiRect r = box->Rect();
    if (overlay) r = overlay->Open();
    m_openDialog = kAboutDialog;
    RedrawRegion(r.left, r.top, r.right, r.bottom);
}

void GUIHead::CloseAboutBox()
{
    if (m_openDialog == kAboutDialog) m_openDialog = -1;
    for (const auto& w : m_widgets)
        if (auto* overlay = dynamic_cast<CUIAboutBox*>(w.get())) overlay->Close();
    RedrawAll();
}
