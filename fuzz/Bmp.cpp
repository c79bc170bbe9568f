// BMP streams read from memory, back to back as the layout file keeps them.
// Whatever is accepted is written, read back identically and drawn.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "gui/CDIBitmap.h"
#include "gui/CUnifiedDC.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CUnifiedDC* dc = [] {
        auto* d = new CUnifiedDC;
        d->CreateMemory(24, 16, 24);
        return d;
    }();
    std::span<const uint8_t> rest(data, size);
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
    return 0;
}
