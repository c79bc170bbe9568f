#include "common/base/Utf8.h"

#include <cstring>

namespace utf8 {

Decoded Next(const char* p, const char* end)
{
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const unsigned char b = s[0];
    if (b < 0x80) return {b, 1, false};
    int n = 0;
    char32_t c = 0, least = 0;
    if (b >= 0xC2 && b <= 0xDF) n = 2, c = b & 0x1F, least = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, c = b & 0x0F, least = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, c = b & 0x07, least = 0x10000;
    else return {kBad, 1, false};
    for (int i = 1; i < n; ++i) {
        // Each byte is looked at only once the one before it was a lead or
        // a continuation, so a 0 byte or the end stops the walk.
        if (p + i >= end) return {kBad, 1, true};
        if ((s[i] & 0xC0) != 0x80) return {kBad, 1, false};
        c = c << 6 | (s[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {kBad, 1, false};
    return {c, n, false};
}

size_t CutLength(const char* text, size_t maxBytes)
{
    if (!text) return 0;
    const size_t n = strnlen(text, maxBytes);
    size_t i = 0;
    while (i < n) {
        const Decoded d = NextFast(text + i, text + n);
        // A start cut off by the terminator was damaged already and stays;
        // one cut off by the limit would be split.
        if (d.cutShort && n == maxBytes) break;
        i += static_cast<size_t>(d.bytes);
    }
    return i;
}

void CopyCut(char* out, size_t size, const char* text)
{
    if (!out || size == 0) return;
    const size_t n = CutLength(text, size - 1);
    if (n) memmove(out, text, n);
    out[n] = '\0';
}

int Encode(char32_t c, char* out)
{
    auto* o = reinterpret_cast<unsigned char*>(out);
    if (c < 0x80) return o[0] = static_cast<unsigned char>(c), 1;
    if (c < 0x800) {
        o[0] = static_cast<unsigned char>(0xC0 | c >> 6);
        o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    if (c < 0x10000) {
        o[0] = static_cast<unsigned char>(0xE0 | c >> 12);
        o[1] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    o[0] = static_cast<unsigned char>(0xF0 | c >> 18);
    o[1] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
    o[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

size_t PreviousStart(const char* text, size_t pos)
{
    // Walked from the start: the only way to tell a character's last byte
    // from a stray continuation byte.
    size_t i = 0, last = 0;
    while (i < pos && text[i]) {
        last = i;
        i += static_cast<size_t>(Next(text + i, text + pos).bytes);
    }
    return last;
}

int InsertAt(char* text, size_t maxBytes, size_t at, char32_t c)
{
    char bytes[4];
    const int n = Encode(c, bytes);
    const size_t len = strlen(text);
    if (n == 0 || at > len || len + static_cast<size_t>(n) > maxBytes) return 0;
    memmove(text + at + n, text + at, len - at + 1);
    memcpy(text + at, bytes, static_cast<size_t>(n));
    return n;
}

}  // namespace utf8
