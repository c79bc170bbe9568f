#include "gui/CGLFont.h"

#include <algorithm>
#include <cstdint>

#include "common/base/Utf8.h"
#include "gui/CDIBitmap.h"
#include "gui/CGLBitmapCache.h"
#include "gui/FontMetrics.h"

namespace {

using namespace fontmetrics;

struct Tables {
    int cellWidth[4];
    int glyphHeight[4];
    int advance[4][257];
    int extraAdvance[kExtraCells];
};

// Filled from the font images on first use, shared by every font.
const Tables& T()
{
    static const Tables tables = [] {
        CGLBitmapCache cache;
        Tables t{};
        const int cells[4] = {kCellWidth, kCellWidth, kCellWidth, -1};
        for (int f = 0; f < 4; ++f) {
            t.cellWidth[f] = cells[f];
            int w = 0, h = 0;
            CGLBitmapCache::GetFontBitmap(f)->GetSize(w, h);
            t.glyphHeight[f] = f < 2 ? h / 4 : f == 2 ? w / 4 : h;
        }
        for (int f = 0; f < 3; ++f)
            for (int c = kFirstChar; c <= kLastChar; ++c) t.advance[f][c] = Advance(c);
        for (int c = kFirstChar; c < 256; ++c) t.advance[3][c] = (Font3X(c + 1) - Font3X(c)) * 4 - 12;
        for (int cell = 0; cell < kExtraCells; ++cell) t.extraAdvance[cell] = ExtraAdvance(cell);
        return t;
    }();
    return tables;
}

}  // namespace

CGLFont::CGLFont() { T(); }

int CGLFont::SetFont(int font)
{
    const int previous = m_font;
    m_font = (font < 0 || font > 3) ? 0 : font;
    return previous;
}

int CGLFont::SetSpacing(int quarterPixels)
{
    const int previous = m_spacing;
    m_spacing = quarterPixels;
    return previous;
}

int CGLFont::GetHeight() const { return T().glyphHeight[m_font]; }
int CGLFont::GetCellWidth() const { return T().cellWidth[m_font]; }

int CGLFont::GlyphX(int c) const
{
    if (m_font == 3) return (c >= kFirstChar && c < 256) ? Font3X(MapChar(c)) : 0;
    return (c >= kFirstChar && c <= kLastChar) ? (c - kFirstChar) * GetCellWidth() : 0;
}

int CGLFont::MapChar(int c) const
{
    if (m_font != 3) return c;
    switch (c) {
    case 0x80: return 196;
    case 0x85: return 214;
    case 0x86: return 220;
    case 0x8A: return 228;
    case 0x9A: return 246;
    case 0x9F: return 252;
    case 0xA7: return 223;
    default: return c;
    }
}

int CGLFont::GetAdvance(int c) const
{
    int advance;
    if (m_font == 3)
        advance = (c < kFirstChar || c > 255) ? T().advance[3][kFirstChar] : T().advance[3][MapChar(c)];
    else if (c >= 0x80)
        advance = T().extraAdvance[ExtraCell(static_cast<char32_t>(c))];
    else
        advance = c < kFirstChar || c > kLastChar ? T().advance[m_font][kFirstChar] : T().advance[m_font][c];
    return static_cast<int>(std::clamp<int64_t>(int64_t{advance} + m_spacing, INT32_MIN, INT32_MAX));
}

CGLFont::Glyph CGLFont::GlyphOf(char32_t c) const
{
    // A bad byte's code and any other past the int range measure as the mark.
    const int code = c > char32_t{INT32_MAX} ? INT32_MAX : static_cast<int>(c);
    if (c < 0x80) return {GetBitmap(), GlyphX(code), GetAdvance(code)};
    return {CGLBitmapCache::GetFontExtraBitmap(), ExtraCell(c) * kCellWidth, GetAdvance(code)};
}

int CGLFont::GetTextWidth(const char* text) const
{
    if (!text || !*text) return 0;
    // Summed in 64 bits: no text length overflows the measure.
    int64_t width = 0, count = 0;
    if (m_font == 3) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, ++count)
            width += GetAdvance(*p);
    } else {
        // GetAdvance spelt out: the list texts are measured again for each
        // character they are shortened by, and a call per character shows.
        const Tables& t = T();
        auto plus = [&](int advance) {
            return std::clamp<int64_t>(int64_t{advance} + m_spacing, INT32_MIN, INT32_MAX);
        };
        for (const char* p = text; *p; ++count) {
            const auto b = static_cast<unsigned char>(*p);
            if (b < 0x80) {
                width += plus(b < kFirstChar || b > kLastChar ? t.advance[m_font][kFirstChar] : t.advance[m_font][b]);
                ++p;
            } else {
                // A bad byte is a character of its own, measured as the mark.
                const utf8::Decoded d = utf8::Next(p, p + 4);
                width += plus(t.extraAdvance[ExtraCell(d.code)]);
                p += d.bytes;
            }
        }
    }
    width += m_spacing * count / 4;
    return static_cast<int>(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX));
}

const CDIBitmap* CGLFont::GetBitmap() const { return CGLBitmapCache::GetFontBitmap(m_font); }
