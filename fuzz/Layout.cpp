// Layout files read from memory. Inputs whose first byte is even are the
// file itself; odd ones patch a well-formed layout with images and widget
// records made by the fixture writer. A refused file leaves nothing; an
// accepted one holds only images of ids 1..511, widgets inside the window,
// and records that read back as written.
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "gui/GUIResource.h"
#include "tools/LayoutFixtures.h"

namespace {

namespace lf = fixtures::layout;

void Check(std::span<const uint8_t> bytes)
{
    GUIResource::Layout layout;
    std::string error;
    if (!GUIResource::ReadLayout(bytes, layout, error)) {
        if (!layout.images.empty() || !layout.widgets.empty() || error.empty()) __builtin_trap();
        return;
    }
    for (const auto& image : layout.images)
        if (image.id < 1 || image.id > 511 || image.bitmap.IsEmpty() || image.name[63] != 0) __builtin_trap();
    lf::Bytes again;
    lf::End(again);
    for (const auto& w : layout.widgets) {
        if (w->x < 0 || w->x > 960 || w->w < 0 || w->w > 960 || w->y < 0 || w->y > 650 || w->h < 0 || w->h > 650)
            __builtin_trap();
        const auto record = GUIResource::WriteWidget(*w);
        again.insert(again.end(), record.begin(), record.end());
    }
    GUIResource::Layout back;
    if (!GUIResource::ReadLayout(again, back, error) || back.widgets.size() != layout.widgets.size()) __builtin_trap();
    for (size_t i = 0; i < back.widgets.size(); ++i)
        if (GUIResource::WriteWidget(*back.widgets[i]) != GUIResource::WriteWidget(*layout.widgets[i])) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || (data[0] & 1) == 0) {
        Check({data, size});
        return 0;
    }
    fuzz::Input in{data + 1, size - 1};
    const int images = in.Byte() % 3;
    const auto lengthChange = static_cast<int8_t>(in.Byte());
    lf::Bytes file;
    for (int i = 0; i < images; ++i) lf::Image(file, 1 + in.Byte() * 2u, "img", lf::Bmp(1 + i, 2, i == 1 ? 8 : 24, i));
    lf::End(file);
    const char* tags[] = {"BKGD", "KNOB", "BRWS", "CATB", "EDTS", "DLOG"};
    for (const char* tag : tags) lf::Record(file, {.tag = tag, .group = 0, .index = 16});
    fuzz::ApplyPatches(file, in, lengthChange);
    Check(file);
    return 0;
}
