// Loading a built-in image lives apart from the rest of the image type, so
// that the image generator can use the image type before the built-in
// images exist.
#include <algorithm>

#include "gui/BuiltinImages.h"
#include "gui/CDIBitmap.h"

std::span<const uint8_t> BuiltinImageStream(int id)
{
    const std::span<const BuiltinImage> all = BuiltinImages();
    const auto it = std::lower_bound(all.begin(), all.end(), id,
                                     [](const BuiltinImage& b, int v) { return b.id < v; });
    if (it == all.end() || it->id != id) return {};
    return {it->data, it->size};
}

bool CDIBitmap::LoadResource(int id)
{
    const std::span<const uint8_t> stream = BuiltinImageStream(id);
    if (stream.empty()) {
        Destroy();
        return false;
    }
    return LoadBMP(stream) != 0;
}
