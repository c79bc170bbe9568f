#pragma once
// Metrics of the bitmap fonts, shared by the font rasteriser that draws the
// glyph sheets at build time and by CGLFont that measures and places text.
#include <cstdint>

namespace fontmetrics {

constexpr int kFirstChar = 32;
constexpr int kLastChar = 126;
constexpr int kCellWidth = 10;      // pixels between glyph cells of the sheets
constexpr int kGlyphHeight = 10;    // rows of one phase of font 0
constexpr int kPhases = 4;          // quarter-pixel copies of every glyph

// Advance of characters 32..126 in quarter pixels, without spacing.
constexpr uint8_t kAdvance[kLastChar - kFirstChar + 1] = {
    9,  11, 16, 18, 18, 29, 23, 8,  11, 11, 13, 19, 9,  11, 9,  9,   // space ! " # $ % & ' ( ) * + , - . /
    18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 11, 11, 14, 14, 14, 20,  // 0-9 : ; < = > ?
    32, 24, 24, 24, 24, 22, 20, 26, 24, 9,  18, 24, 19, 27, 24, 26,  // @ A-O
    21, 26, 24, 22, 20, 24, 22, 31, 22, 22, 20, 11, 9,  11, 19, 18,  // P-Z [ \ ] ^ _
    11, 18, 20, 18, 20, 18, 11, 20, 20, 9,  9,  18, 9,  29, 20, 20,  // ` a-o
    20, 20, 13, 18, 11, 20, 18, 26, 18, 18, 16, 13, 9,  13, 19,      // p-z { | } ~
};

// Advance of any byte in fonts 0..2: characters outside 32..126 are spaces.
constexpr int Advance(int c)
{
    return (c < kFirstChar || c > kLastChar) ? kAdvance[0] : kAdvance[c - kFirstChar];
}

// Font 0 also draws the letters of Latin-1 and Latin Extended-A (U+00A0 to
// U+017F) and the euro sign, from a second sheet laid out as the first; any
// other character draws as a box, the mark. Each takes the advance of the
// ASCII character it is built on (an A with dots that of A), so that a name with
// accents lines up as one without.
constexpr char32_t kFirstExtra = 0xA0;
constexpr char32_t kLastExtra = 0x17F;
constexpr char32_t kEuro = 0x20AC;
constexpr int kEuroCell = kLastExtra - kFirstExtra + 1;
constexpr int kMarkCell = kEuroCell + 1;
constexpr int kExtraCells = kMarkCell + 1;
constexpr int kMarkAdvance = 20;
constexpr char kExtraBase[] =
    " !c$$$|$`@r<+-@`*+rr`u$.`rr>%%%?"    // U+00A0..U+00BF
    "AAAAAAWCEEEEIIIIDNOOOOO+OUUUUYPb"    // U+00C0..U+00DF
    "aaaaaamceeeeiiiionooooo+ouuuuypy"    // U+00E0..U+00FF
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiUuJjKkk"  // U+0100..U+0138
    "LlLlLlLlLlNnNnNnnNnOoOoOoWmRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzf";  // ..U+017F
static_assert(sizeof kExtraBase - 1 == kEuroCell);

// The cell of character c in the second sheet (the mark's for any without).
constexpr int ExtraCell(char32_t c)
{
    if (c >= kFirstExtra && c <= kLastExtra) return static_cast<int>(c - kFirstExtra);
    return c == kEuro ? kEuroCell : kMarkCell;
}
constexpr int ExtraAdvance(int cell)
{
    if (cell == kMarkCell) return kMarkAdvance;
    return Advance(cell == kEuroCell ? '$' : kExtraBase[cell]);
}

// Font 3 is proportional: glyph x positions of characters 32..255 in its
// sheet. The first ten are fixed; the rest continue with the advance of
// font 0 plus the 12 quarter pixels the proportional advance takes off.
constexpr int kFont3Known[] = {0, 7, 14, 21, 36, 46, 63, 76, 82, 89};
constexpr int Font3X(int c)
{
    if (c < kFirstChar) return 0;
    if (c <= 41) return kFont3Known[c - kFirstChar];
    int x = kFont3Known[9];
    for (int i = 41; i < c; ++i) x += (Advance(i) + 12) / 4;
    return x;
}

}  // namespace fontmetrics
