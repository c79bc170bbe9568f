#pragma once
// Writes layout files byte by byte from their layout: image records (any
// tag, id and name, with a BMP stream made here or given), the "IEND" mark
// and 56-byte widget records. Used by the tests and the fuzz target.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fixtures::layout {

using Bytes = std::vector<uint8_t>;

inline void Word(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Dword(Bytes& out, uint32_t v)
{
    Word(out, v & 0xFFFF);
    Word(out, v >> 16);
}

// A BMP stream in the form the program writes: no file size, a 40-byte
// header, the colour table (greys) for 8 bits, rows padded to 4 bytes and
// filled with a pattern that moves with `seed`.
inline Bytes Bmp(int width, int height, int bitCount, int seed)
{
    const uint32_t colours = bitCount == 8 ? 256 : 0;
    const uint32_t stride = ((static_cast<uint32_t>(width) * bitCount + 31) / 32) * 4;
    Bytes b;
    Word(b, 0x4D42);
    Dword(b, 0);
    Dword(b, 0);
    Dword(b, 54 + 4 * colours);
    Dword(b, 40);
    Dword(b, static_cast<uint32_t>(width));
    Dword(b, static_cast<uint32_t>(height));
    Word(b, 1);
    Word(b, static_cast<uint32_t>(bitCount));
    for (int i = 0; i < 6; ++i) Dword(b, 0);  // compression .. important colours
    for (uint32_t i = 0; i < colours; ++i) Dword(b, i * 0x010101u);
    for (int y = 0; y < height; ++y)
        for (uint32_t x = 0; x < stride; ++x)
            b.push_back(x < static_cast<uint32_t>(width) * bitCount / 8
                            ? static_cast<uint8_t>(x * 7 + static_cast<uint32_t>(y) * 13 + static_cast<uint32_t>(seed) * 29)
                            : 0);
    return b;
}

// One image record: tag (normally "IBMP"), id, the name in 64 zero-padded
// bytes, the stream.
inline void Image(Bytes& out, uint32_t id, const std::string& name, const Bytes& bmp, const char* tag = "IBMP")
{
    out.insert(out.end(), tag, tag + 4);
    Word(out, id);
    for (size_t i = 0; i < 64; ++i) out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
    out.insert(out.end(), bmp.begin(), bmp.end());
}

inline void End(Bytes& out) { out.insert(out.end(), {'I', 'E', 'N', 'D'}); }

struct Widget {
    const char* tag = "PICT";
    uint16_t group = 0, index = 0, sub = 0;
    uint16_t x = 0, y = 0, w = 20, h = 20;
    uint16_t pageMask = 0xFFFF, dialog = 0, layer = 2;
    uint16_t properties[16] = {};
};

inline void Record(Bytes& out, const Widget& w)
{
    out.insert(out.end(), w.tag, w.tag + 4);
    for (uint32_t v : {w.group, w.index, w.sub, w.x, w.y, w.w, w.h, w.pageMask, w.dialog, w.layer}) Word(out, v);
    for (uint16_t p : w.properties) Word(out, p);
}

}  // namespace fixtures::layout
