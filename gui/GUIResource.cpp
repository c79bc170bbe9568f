#include "gui/GUIResource.h"

#include "gui/GUIBackground.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gui/CGLBitmapCache.h"
#include "gui/UIPropertiesDialog.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kWindowWidth = 960;
constexpr int kWindowHeight = 650;
constexpr size_t kImageHeader = 4 + 2 + GUIResource::kImageNameSize;

bool SameTag(const char* a, const char* b) { return strncmp(a, b, GUIObject::kTagSize) == 0; }

const GUIResource::WidgetType* FindTag(const char* tag)
{
    for (const auto& row : GUIResource::Types())
        if (SameTag(row.tag, tag)) return &row;
    return nullptr;
}

uint32_t Word(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

void PutWord(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

}  // namespace

std::unique_ptr<GUIObject> GUIResource::CreateByTag(const char* tag)
{
    char four[GUIObject::kTagSize + 1] = {};
    for (size_t i = 0; tag && i < GUIObject::kTagSize && tag[i]; ++i) four[i] = tag[i];
    const WidgetType* row = FindTag(four);
    if (!row) row = FindTag("PICT");
    std::unique_ptr<GUIObject> widget = row->make(four);
    if (widget) widget->Init();
    return widget;
}

const char* GUIResource::TagOfType(int typeNumber)
{
    if (typeNumber > 0)
        for (const auto& row : Types())
            if (row.typeNumber == typeNumber) return row.tag;
    return "----";
}

std::unique_ptr<GUIObject> GUIResource::CreateByType(int typeNumber) { return CreateByTag(TagOfType(typeNumber)); }

std::unique_ptr<UIBaseDialog> GUIResource::CreateDialog(int dialogId)
{
    if (dialogId == 1) return std::make_unique<UIPropertiesDialog>();
    if (dialogId == 10) return std::make_unique<UIModulationDialog>();
    return nullptr;
}

void GUIResource::CopyWidget(GUIObject& target, const GUIObject& source)
{
    const char* tag = target.GetTag();
    if (SameTag(tag, "BKGD") || SameTag(tag, "DLOG") || SameTag(tag, "ABOX")) return;
    if (const WidgetType* row = FindTag(tag)) row->copy(target, source);
}

std::string GUIResource::LayoutPath()
{
    std::string path = g_GlobalData.programFolder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + kFileName;
}

bool GUIResource::ReadLayout(std::span<const uint8_t> bytes, Layout& out, std::string& error)
{
    out = Layout{};
    Layout layout;
    size_t pos = 0;
    char text[160];
    // The image section: whole records up to "IEND"; anything else refuses
    // the file, since what follows could no longer be told apart.
    for (;;) {
        if (bytes.size() - pos < 4) {
            error = "the image section has no end mark";
            return false;
        }
        const uint8_t* tag = bytes.data() + pos;
        if (memcmp(tag, "IEND", 4) == 0) {
            pos += 4;
            break;
        }
        if (memcmp(tag, "IBMP", 4) != 0) {
            snprintf(text, sizeof text, "unknown image record at byte %zu", pos);
            error = text;
            return false;
        }
        if (bytes.size() - pos < kImageHeader) {
            snprintf(text, sizeof text, "the image record at byte %zu is cut short", pos);
            error = text;
            return false;
        }
        const int id = int(Word(tag + 4));
        if (id < 1 || id > kMaxImageId) {
            snprintf(text, sizeof text, "image id %d at byte %zu is outside 1..%d", id, pos, kMaxImageId);
            error = text;
            return false;
        }
        Image image;
        image.id = id;
        memcpy(image.name, tag + 6, kImageNameSize);
        image.name[kImageNameSize - 1] = 0;
        pos += kImageHeader;
        // The bitmap reader sizes nothing beyond the bytes it is given.
        const size_t used = image.bitmap.LoadBMP(bytes.subspan(pos));
        if (used == 0 || used > bytes.size() - pos) {
            snprintf(text, sizeof text, "image %d (\"%s\") is no readable bitmap", id, image.name);
            error = text;
            return false;
        }
        pos += used;
        layout.images.push_back(std::move(image));
    }
    // The widget records, to the end; a short last record reads its missing
    // words as 0, a tag cut short ends the section.
    while (bytes.size() - pos >= GUIObject::kTagSize) {
        char tag[GUIObject::kTagSize + 1] = {};
        memcpy(tag, bytes.data() + pos, GUIObject::kTagSize);
        pos += GUIObject::kTagSize;
        const std::span<const uint8_t> body =
            bytes.subspan(pos, std::min(GUIObject::kBodySize, bytes.size() - pos));
        pos += body.size();
        std::unique_ptr<GUIObject> widget = CreateByTag(tag);
        if (!widget) continue;
        widget->Read(body);
        widget->AfterLoad();
        const bool background = SameTag(widget->GetTag(), "BKGD");
        if (background) widget->layer = 0;
        if (!widget->binding.available) continue;
        if (background) {
            widget->w = kWindowWidth;
            widget->h = kWindowHeight;
        }
        // Nothing may lie beyond the window.
        widget->x = std::clamp(widget->x, 0, kWindowWidth);
        widget->w = std::clamp(widget->w, 0, kWindowWidth);
        widget->y = std::clamp(widget->y, 0, kWindowHeight);
        widget->h = std::clamp(widget->h, 0, kWindowHeight);
        layout.widgets.push_back(std::move(widget));
    }
    out = std::move(layout);
    return true;
}

std::array<uint8_t, GUIObject::kRecordSize> GUIResource::WriteWidget(const GUIObject& widget)
{
    return widget.Write();
}

std::vector<uint8_t> GUIResource::WriteLayout(const std::vector<std::unique_ptr<GUIObject>>& widgets)
{
    CGLBitmapCache images;
    // Only the images some widget still names: the marks of an earlier save
    // go first, or a dropped image would stay in the file for ever.
    for (int id = 1; id <= kMaxImageId; ++id) CGLBitmapCache::SetUsed(id, false);
    for (const auto& w : widgets)
        for (uint32_t p : w->properties)
            if (p >= 1 && p <= uint32_t(kMaxImageId)) {
                CGLBitmapCache::SetUsed(int(p), true);
                // A page panel's second panel goes with it.
                if (strncmp(w->GetTag(), "BKGD", GUIObject::kTagSize) == 0)
                    if (const int variant = GUIBackground::VariantSlot(int(p)); variant > 0)
                        CGLBitmapCache::SetUsed(variant, true);
            }

    std::vector<uint8_t> out;
    for (int id = 1; id <= kMaxImageId; ++id) {
        const CDIBitmap* image = CGLBitmapCache::Get(id);
        char name[kImageNameSize] = {};
        if (!image || image->IsEmpty() || !CGLBitmapCache::IsUsed(id) ||
            !CGLBitmapCache::GetName(id, name, sizeof name))
            continue;
        out.insert(out.end(), {'I', 'B', 'M', 'P'});
        PutWord(out, uint32_t(id));
        name[kImageNameSize - 1] = 0;
        const size_t n = strnlen(name, kImageNameSize);
        out.insert(out.end(), name, name + n);
        out.insert(out.end(), kImageNameSize - n, 0);
        image->SaveBMP(out);
    }
    out.insert(out.end(), {'I', 'E', 'N', 'D'});
    for (const auto& w : widgets) {
        const auto record = WriteWidget(*w);
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}
