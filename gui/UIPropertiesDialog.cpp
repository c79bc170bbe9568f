#include "gui/UIPropertiesDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gui/CGLBitmapCache.h"
#include "gui/CUIMenu.h"
#include "os/OMessageBox.h"
#include "platform/CDlgFile.h"

namespace {

// The layout file keeps every field as a 16-bit word; the dialog keeps to
// what the file can hold, and the rectangle inside the window, as the
// layout reader does.
int32_t Word(int32_t v) { return std::clamp(v, 0, 0xFFFF); }

}  // namespace

void UIPropertiesDialog::LoadFrom(GUIObject* widget)
{
    target = widget;
    if (!widget) return;
    x = widget->x, y = widget->y, w = widget->w, h = widget->h;
    group = int32_t(widget->binding.group), index = int32_t(widget->binding.index), sub = int32_t(widget->binding.sub);
    pageMask = int32_t(widget->pageMask), layer = widget->layer, dialogId = widget->dialogId;
    font = widget->font, red = widget->textRed, green = widget->textGreen, blue = widget->textBlue;
    for (int i = 0; i < GUIObject::kProperties; ++i) images[i] = int32_t(widget->properties[i]);
}

int32_t* UIPropertiesDialog::FieldOf(uint32_t s)
{
    switch (s) {
    case kX: return &x;
    case kY: return &y;
    case kW: return &w;
    case kH: return &h;
    case kGroup: return &group;
    case kIndex: return &index;
    case kSub: return &sub;
    case kPages: return &pageMask;
    case kLayer: return &layer;
    case kDialog: return &dialogId;
    case kFont: return &font;
    case kRed: return &red;
    case kGreen: return &green;
    case kBlue: return &blue;
    default: return s >= kFirstImage && s < kFirstImage + GUIObject::kProperties ? &images[s - kFirstImage] : nullptr;
    }
}

bool UIPropertiesDialog::GetValue(const CIParameter& field, double& out)
{
    out = 0.0;
    if (field.index != 1) return false;
    const int32_t* v = FieldOf(field.sub);
    if (!v) return false;
    out = *v;
    return true;
}

bool UIPropertiesDialog::GetText(const CIParameter& field, char* out, size_t size)
{
    if (field.index != 1 || field.sub < kFirstImage || field.sub >= kFirstImage + GUIObject::kProperties) return false;
    if (!CGLBitmapCache::GetName(images[field.sub - kFirstImage], out, size)) snprintf(out, size, "<empty>");
    return true;
}

bool UIPropertiesDialog::OnValueChanged(const CIParameter& field, const void* bytes, int length, ValueKind kind)
{
    if (field.index == 0) {
        if (field.sub == 1) Apply();
        return field.sub == 1 || field.sub == 2;
    }
    int32_t* v = field.index == 1 ? FieldOf(field.sub) : nullptr;
    if (!v) return false;
    if (field.sub >= kFirstImage) {
        // A click on an image's name picks a new image.
        if (kind != ValueKind::kText) return false;
        const char* title = nullptr;
        const char* path = nullptr;
        if (g_DlgFile.ChooseBitmapFile(&title, &path) && title && path)
            TakeImage(int(field.sub - kFirstImage), title, path);
        return true;
    }
    if (!bytes) return false;
    if (kind == ValueKind::kInt && length >= 4) {
        memcpy(v, bytes, 4);
    } else if (kind == ValueKind::kFloat && length >= 4) {
        float f = 0.0f;
        memcpy(&f, bytes, 4);
        *v = f > -1e9f && f < 1e9f ? int32_t(f) : 0;
    } else if (kind == ValueKind::kByte && length >= 1) {
        *v = *static_cast<const uint8_t*>(bytes);
    } else {
        return false;
    }
    return true;
}

bool UIPropertiesDialog::TakeImage(int n, const char* name, const char* path)
{
    if (n < 0 || n >= GUIObject::kProperties) return false;
    const int slot = CGLBitmapCache::LoadFile(name, path);
    const CDIBitmap* image = slot > 0 ? CGLBitmapCache::Get(slot) : nullptr;
    if (!image) {
        char text[600];
        snprintf(text, sizeof text, "Bitmap >%s< not loaded", path);
        os::ShowMessageBox(text, "Error");
        return false;
    }
    images[n] = slot;
    w = image->Width();
    h = image->Height();
    return true;
}

void UIPropertiesDialog::Apply()
{
    if (!target) return;
    target->x = std::clamp(x, 0, CUIMenu::kWindowWidth), target->w = std::clamp(w, 0, CUIMenu::kWindowWidth);
    target->y = std::clamp(y, 0, CUIMenu::kWindowHeight), target->h = std::clamp(h, 0, CUIMenu::kWindowHeight);
    const CIParameter* row = CIParameter::Find(uint32_t(Word(group)), uint32_t(Word(index)), uint32_t(Word(sub)));
    target->binding = row ? *row : CIParameter();
    // The file keeps the low 16 bits of the mask: "every page" stays every page.
    target->pageMask = uint32_t(pageMask) & 0xFFFF;
    target->layer = Word(layer);
    target->dialogId = Word(dialogId);
    target->font = uint16_t(Word(font)), target->textRed = uint16_t(Word(red));
    target->textGreen = uint16_t(Word(green)), target->textBlue = uint16_t(Word(blue));
    for (int i = 0; i < GUIObject::kProperties; ++i) target->properties[i] = uint32_t(Word(images[i]));
    target->AfterLoad();
}
