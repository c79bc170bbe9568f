// BMP streams read from memory, back to back as the layout file keeps them.
// Inputs whose first byte is even are the streams themselves; odd ones
// patch two well-formed streams of a size and depth the next bytes choose.
// Whatever is accepted is written, read back identically and drawn.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "gui/CDIBitmap.h"
#include "gui/CUnifiedDC.h"

namespace {

void Feed(std::span<const uint8_t> rest)
{
    static CUnifiedDC* dc = [] {
        auto* d = new CUnifiedDC;
        d->CreateMemory(24, 16, 24);
        return d;
    }();
    for (int images = 0; images < 4 && !rest.empty(); ++images) {
        CDIBitmap img;
        const size_t used = img.LoadBMP(rest);
        if (used == 0) break;
        if (used > rest.size() || img.IsEmpty()) __builtin_trap();
        std::vector<uint8_t> out;
        img.SaveBMP(out);
        CDIBitmap back;
        if (back.LoadBMP(out) != out.size() || back.ImageSize() != img.ImageSize() ||
            memcmp(back.Bits(), img.Bits(), img.ImageSize()) != 0)
            __builtin_trap();
        dc->Blit(CUnifiedDC::kBlitCopy, -3, -2, 30, 20, &img, 1, 1);
        dc->BlitRGBA(0, 0, 24, 16, &img, 0, 0, 0.5f);
        dc->BlitMasked(0, 0, 24, 16, &img, &back, 2, 0);
        rest = rest.subspan(used);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || (data[0] & 1) == 0) {
        Feed({data, size});
        return 0;
    }
    fuzz::Input in{data + 1, size - 1};
    static const int kDepths[3] = {8, 24, 32};
    const int depth = kDepths[in.Byte() % 3];
    const int width = 1 + in.Byte() % 9, height = 1 + in.Byte() % 7;
    const auto lengthChange = static_cast<int8_t>(in.Byte());
    CDIBitmap img;
    if (!img.Create(width, height, depth)) return 0;
    fixtures::Bytes file;
    img.SaveBMP(file);
    img.SaveBMP(file);
    fuzz::ApplyPatches(file, in, lengthChange);
    Feed(file);
    return 0;
}
