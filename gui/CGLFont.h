#pragma once
// Measures text in the bitmap fonts and says where each glyph lies in the
// font image. Positions are quarter pixels: the image holds every glyph at
// four sub-pixel phases, so text advances by fractions of a pixel without
// resampling. All text is drawn in font 0; fonts 1..3 exist for measuring.
// Texts are UTF-8 in fonts 0..2 (font 0 draws the letters FontMetrics.h
// names, a mark for any other character or bad byte) and bytes in font 3.
#include "gui/CUIMenuResource.h"

class CDIBitmap;

class CGLFont : public IMenuFont {
public:
    CGLFont();

    int SetFont(int font);  // -> previous; outside 0..3 selects 0
    int SetSpacing(int quarterPixels);  // -> previous
    int GetFont() const { return m_font; }
    int GetSpacing() const { return m_spacing; }

    int GetHeight() const override;
    int GetCellWidth() const;
    // Where character c's glyph starts in the font image: its cell, or its
    // x position in the proportional font; 0 (the space) for characters
    // without a glyph there.
    int GlyphX(int c) const;
    // Where font 0 draws code point c from: the sheet, the glyph's x and
    // its advance plus spacing (what GetAdvance gives).
    struct Glyph {
        const CDIBitmap* sheet;
        int x;
        int advance;
    };
    Glyph GlyphOf(char32_t c) const;
    // Font 3 takes the German letters of the old Mac Roman codes as their
    // Latin-1 codes.
    int MapChar(int c) const;
    // Advance plus spacing, quarter pixels; c a code point in fonts 0..2
    // (controls count as spaces), a byte in font 3.
    int GetAdvance(int c) const;
    // Sum of the advances plus trunc(spacing x count / 4) over the
    // characters; 0 for null or "".
    int GetTextWidth(const char* text) const override;
    const CDIBitmap* GetBitmap() const;

private:
    int m_font = 0;
    int m_spacing = 2;
};
