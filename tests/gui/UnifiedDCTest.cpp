// The drawing context: exact pixel results of fills, blits and colour
// effects, the clip, text measure and layout, presentation to a window.
#include "gui/CUnifiedDC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "GuiTestSupport.h"
#include "common/base/Utf8.h"

namespace {

// (blue, green, red) of one pixel of the back surface.
std::array<int, 3> At(CUnifiedDC& dc, int x, int y)
{
    const uint8_t* p = dc.GetBackSurface()->PixelAddress(x, y);
    return {p[0], p[1], p[2]};
}

void Paint(CDIBitmap& img, int b, int g, int r)
{
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            uint8_t* p = img.PixelAddress(x, y);
            p[0] = uint8_t(b);
            if (img.BytesPerPixel() >= 3) p[1] = uint8_t(g), p[2] = uint8_t(r);
        }
}

std::vector<uint8_t> Pixels(CUnifiedDC& dc)
{
    const CDIBitmap& s = *dc.GetBackSurface();
    return {s.Bits(), s.Bits() + s.ImageSize()};
}

}  // namespace

TEST(UnifiedDC, FillsBlendsAndTheInclusiveClip)
{
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(8, 8));
    // White at 1.0 over black gives 254; alphas beyond 0..1 are limited.
    for (auto [alpha, expect] : {std::pair{1.0f, 254}, {0.5f, 126}, {7.0f, 254}, {-1.0f, 0},
                                 {NAN, 0}}) {
        dc.GetBackSurface()->Clear();
        dc.FillRect(0, 0, 8, 8, alpha);
        EXPECT_EQ(At(dc, 3, 3)[0], expect) << alpha;
    }
    // The clip includes its right and bottom edge; rects exclude theirs.
    dc.GetBackSurface()->Clear();
    dc.SetClip(2, 2, 5, 5);
    dc.FillRect(-100, -100, 1000, 1000, 1.0f);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(At(dc, i, i)[0], (i >= 2 && i <= 5) ? 254 : 0) << i;
    dc.SetClip(0, 0, 10000, 10000);
    dc.GetBackSurface()->Clear();
    dc.FillRect(6, 6, 6, 9, 1.0f);  // empty
    dc.FrameRect(1, 1, 4, 4);
    EXPECT_EQ(At(dc, 3, 1)[0], 255);
    EXPECT_EQ(At(dc, 2, 2)[0], 0);
    EXPECT_EQ(At(dc, 4, 4)[0], 0);
    EXPECT_EQ(At(dc, 6, 6)[0], 0);
    // Erasing copies the background picture; a dialog panel without its
    // picture is a grey veil.
    CDIBitmap picture;
    ASSERT_TRUE(picture.Create(8, 8, 24));
    Paint(picture, 9, 8, 7);
    dc.SetBackground(&picture);
    dc.EraseRect(1, 6, 5, 9);
    EXPECT_EQ(At(dc, 2, 7), (std::array<int, 3>{9, 8, 7}));
    EXPECT_EQ(At(dc, 5, 7)[0], 0);
    dc.SetPanel(&picture, 5, 5);
    dc.DrawDialogPanel(6, 6, 8, 8);
    EXPECT_EQ(At(dc, 7, 7), (std::array<int, 3>{9, 8, 7}));
    dc.SetPanel(nullptr, 0, 0);
    dc.DrawDialogPanel(6, 0, 8, 2);
    EXPECT_EQ(At(dc, 6, 1)[0], (0xB4 * 153) >> 8);
    dc.SetBackground(nullptr);
    // BlendPixel rounds, and only inside.
    dc.SetColor(0x0000FF);
    dc.BlendPixel(0, 0, 0.5f);
    EXPECT_EQ(At(dc, 0, 0), (std::array<int, 3>{0, 0, 128}));
    dc.BlendPixel(8, 0, 1.0f);
    dc.BlendPixel(-1, 0, 1.0f);
}

TEST(UnifiedDC, BlitModes)
{
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(4, 4));
    CDIBitmap src, src8, src32;
    ASSERT_TRUE(src.Create(4, 4, 24) && src8.Create(4, 4, 8) && src32.Create(4, 4, 32));
    Paint(src, 200, 0, 255);
    Paint(src8, 128, 0, 0);
    dc.SetColor(0x4080C0);      // B: red 0xC0, green 0x80, blue 0x40
    dc.SetBackColor(0x102030);  // A
    struct Case {
        int mode;
        float alpha;
        const CDIBitmap* source;
        std::array<int, 3> expect;  // target starts at (100, 100, 100)
    };
    const Case cases[] = {
        {0, 1, &src, {200, 0, 255}},
        {1, 1, &src, {100 & 200, 0, 100}},
        {2, 1, &src, {100 | 200, 100, 255}},
        {3, 1, &src, {100 ^ 200, 100, 155}},
        {10, 1, &src, {(55 * 0x40 + 100 * 200) >> 8, (255 * 0x80) >> 8, (100 * 255) >> 8}},
        {11, 1, &src, {(55 * 0x40 + 0x10 * 200) >> 8, (255 * 0x80) >> 8, (0x30 * 255) >> 8}},
        {20, 0, &src, {100, 100, 100}},
        {20, 1, &src, {200, 0, 255}},
        {20, 2, &src, {200, 0, 255}},
        {21, 0, &src, {100, 100, 100}},
        {21, 1, &src, {((56 * 100) + 0x40 * 200) >> 8, 100, (1 * 100 + 0xC0 * 255) >> 8}},
        {0, 1, &src8, {128 * 0x40 >> 8, 128 * 0x80 >> 8, 128 * 0xC0 >> 8}},
        {10, 1, &src8, {100, 100, 100}},   // 8 bits only copy
        {0, 1, &src32, {100, 100, 100}},   // neither 24 nor 8 bits
        {7, 1, &src, {100, 100, 100}},     // no such mode
    };
    for (const Case& c : cases) {
        Paint(*dc.GetBackSurface(), 100, 100, 100);
        dc.Blit(c.mode, 0, 0, 4, 4, c.source, 0, 0, c.alpha);
        EXPECT_EQ(At(dc, 1, 1), c.expect) << "mode " << c.mode << " alpha " << c.alpha;
    }
    // Blits read only inside the source and write only inside the target.
    Paint(*dc.GetBackSurface(), 100, 100, 100);
    dc.Blit(0, -2, -2, 9, 9, &src, -1, 0);  // source from (1, 2): 3 x 2 pixels
    EXPECT_EQ(At(dc, 2, 1)[0], 200);
    EXPECT_EQ(At(dc, 1, 2)[0], 100);
    EXPECT_EQ(At(dc, 3, 0)[0], 100);
    Paint(*dc.GetBackSurface(), 100, 100, 100);
    dc.Blit(0, 0, 0, 4, 4, &src, INT32_MIN, INT32_MAX);
    EXPECT_EQ(At(dc, 0, 0)[0], 100);

    // RGBA: the fourth byte is transparency, alpha raises it; 32 bits only.
    Paint(src32, 200, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src32.PixelAddress(x, y)[3] = 0;
    for (auto [alpha, expect] : {std::pair{0.0f, (200 * 255 + 100) >> 8}, {1.0f, 100}, {9.0f, 100}}) {
        Paint(*dc.GetBackSurface(), 100, 100, 100);
        dc.BlitRGBA(0, 0, 4, 4, &src32, 0, 0, alpha);
        EXPECT_EQ(At(dc, 2, 2)[0], expect) << alpha;
    }
    Paint(*dc.GetBackSurface(), 100, 100, 100);
    dc.BlitRGBA(0, 0, 4, 4, &src, 0, 0, 0.0f);
    EXPECT_EQ(At(dc, 2, 2)[0], 100);

    // Masked: two 8-bit images, bounded by the smaller.
    CDIBitmap cover, small;
    ASSERT_TRUE(cover.Create(4, 4, 8) && small.Create(2, 2, 8));
    Paint(cover, 255, 0, 0);
    Paint(*dc.GetBackSurface(), 100, 100, 100);
    dc.BlitMasked(0, 0, 4, 4, &cover, &small, 0, 0);
    EXPECT_EQ(At(dc, 1, 1)[2], ((0xC1 * 255 >> 8) * 255 + 100) >> 8);
    EXPECT_EQ(At(dc, 2, 2)[2], 100);
    dc.BlitMasked(0, 0, 4, 4, &cover, &src, 0, 0);
    EXPECT_EQ(At(dc, 3, 3)[2], 100);
}

TEST(UnifiedDC, ColourEffectsAndPresenting)
{
    guitest::RecordingWindow window;
    window.width = 6;
    window.height = 4;
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateForWindow(&window));
    const int b = 10, g = 20, r = 30, m = 30;
    const struct { int mode; std::array<int, 3> out; } cases[] = {
        {0, {b, g, r}}, {1, {b, r, g}}, {2, {g, b, r}}, {3, {g, r, b}}, {4, {r, g, b}},
        {5, {r, b, g}}, {6, {m, m, m}}, {7, {m, m, r}}, {8, {m, g, m}}, {9, {b, m, m}},
        {100, {255 - b, 255 - g, 255 - r}}, {101, {255 - b, 255 - r, 255 - g}},
        {102, {255 - g, 255 - b, 255 - r}}, {103, {255 - g, 255 - r, 255 - b}},
        {104, {255 - r, 255 - g, 255 - b}}, {105, {255 - r, 255 - b, 255 - g}},
        {106, {255 - m, 255 - m, 255 - m}},
    };
    for (const auto& c : cases) {
        Paint(*dc.GetBackSurface(), b, g, r);
        dc.GetFrontSurface()->Clear();
        dc.SetColorEffect(c.mode);
        window.shown.clear();
        dc.Present(&window, 1, 1, 3, 99);  // kept inside the surface
        ASSERT_EQ(window.shown.size(), 1u);
        const auto& s = window.shown[0];
        EXPECT_EQ(std::tie(s.x, s.y, s.w, s.h), std::make_tuple(1, 1, 2, 3));
        EXPECT_EQ((std::array<int, 3>{s.pixels[0], s.pixels[1], s.pixels[2]}), c.out) << c.mode;
        // Only the presented rectangle of the front surface was rebuilt.
        EXPECT_EQ(dc.GetFrontSurface()->PixelAddress(0, 0)[0], 0);
    }
    // A mode outside the table writes nothing and presents the picture as is.
    dc.SetColorEffect(42);
    window.shown.clear();
    dc.PresentAll(&window);
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].w * window.shown[0].h, 24);
    EXPECT_EQ(window.shown[0].pixels[0], b);
    // New contexts take the last scheme; a memory context has no front.
    CUnifiedDC later;
    EXPECT_EQ(later.GetColorEffect(), 42);
    later.SetColorEffect(0);
    ASSERT_TRUE(later.CreateMemory(2, 2));
    later.ApplyColorEffect(0, 0, 2, 2);
    // The cursor goes to the window only when it changes.
    dc.SetCursor(1);
    dc.SetCursor(5);
    dc.SetCursor(5);
    EXPECT_EQ(window.cursors, std::vector<int>{5});
    // The window takes the background picture's size.
    CDIBitmap picture;
    ASSERT_TRUE(picture.Create(9, 7, 24));
    dc.SetBackground(&picture);
    EXPECT_EQ(std::tie(window.width, window.height), std::make_tuple(9, 7));
}

TEST(UnifiedDC, BadNumbersDrawNothingAndEnd)
{
    CUnifiedDC none;  // no surface at all
    none.FillRect(0, 0, 5, 5, 1);
    none.DrawText(0, 0, "x", 0);
    none.DrawVectorKnob(0, 3, 0.1f, 2, 2, 2, 1);
    none.LineToAA(3, 3);

    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(16, 16));
    const std::vector<uint8_t> blank = Pixels(dc);
    dc.Arc(0, 6, 0, 8, 8, 4);
    dc.Arc(0, 6, -1, 8, 8, 4);
    dc.Arc(0, 1e9f, 1e-6f, 8, 8, 4);
    dc.Arc(0, 6, 0.1f, NAN, 8, 4);
    dc.DrawVectorKnob(0, 6, 0, 8, 8, 4, 1);
    dc.DrawVectorKnob(0, 6, 0.1f, 8, 8, 1e9f, 1);
    dc.DrawVectorKnob(0, 6, 0.1f, 8, 8, 0.5f, 1);
    dc.DrawVectorKnob(2, 1, 0.1f, 8, 8, 4, 1);
    dc.MoveTo(INFINITY, 0);
    dc.LineToAA(8, 8);
    dc.DotAA(1e30f, 3);
    EXPECT_EQ(Pixels(dc), blank);
    // A line from far away is stepped only over the surface.
    dc.MoveTo(-9e5f, 8.2f);
    dc.LineToAA(9e5f, 8.2f);
    EXPECT_GT(At(dc, 15, 8)[0], 150);
    dc.VLine(3, INT32_MAX, INT32_MIN, true, 0);
    dc.VLine(4, 10, 6, true, 1);  // factors above 1 are limited
    EXPECT_EQ(At(dc, 4, 4)[0], 255);
}

TEST(UnifiedDC, TextLayout)
{
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateMemory(120, 20));
    CGLFont& font = dc.Font();
    EXPECT_EQ(font.GetTextWidth("Hi"), 38);
    const int h = font.GetHeight();
    EXPECT_EQ(h, 10);
    const int w = font.GetTextWidth("Hello");
    EXPECT_EQ(dc.DrawText(40, 3, "Hello", 0), (GuiRect{40, 3, 40 + (w + 2) / 4 + 1, 4 + h}));
    EXPECT_EQ(dc.DrawText(40, 3, "Hello", CUnifiedDC::kTextCentre).left, 40 - w / 8);
    EXPECT_EQ(dc.DrawText(40, 3, "Hello", CUnifiedDC::kTextRight).left, 40 - w / 4);
    EXPECT_EQ(dc.DrawText(40, 3, "", 0), GuiRect{});
    EXPECT_EQ(dc.DrawText(40, 3, nullptr, 0), GuiRect{});

    // Shortened from the end: the same pixels as the prefix that fits.
    auto drawn = [&](const char* text, int maxWidth, int caret = -1) {
        dc.GetBackSurface()->Clear();
        if (caret == -2) {
            dc.DrawText(2, 2, text, 0, 2, maxWidth);
        } else {
            dc.DrawTextCaret(2, 2, text, caret, 0, 2);
        }
        return Pixels(dc);
    };
    std::string fit = "Filter envelope";
    while (font.GetTextWidth(fit.c_str()) > 4 * 30) fit.pop_back();
    EXPECT_EQ(fit, "Filter ");
    EXPECT_EQ(drawn("Filter envelope", 30, -2), drawn(fit.c_str(), 0, -2));
    // At most 63 bytes, never part of a character; UTF-8 letters have their
    // glyphs, a bad byte draws the mark as a character without a glyph does.
    const std::string longText(100, 'x');
    EXPECT_EQ(dc.DrawText(0, 0, longText.c_str(), 0), dc.DrawText(0, 0, longText.substr(0, 63).c_str(), 0));
    EXPECT_EQ(dc.DrawText(0, 0, (longText.substr(0, 62) + "\xC3\xB6").c_str(), 0),
              dc.DrawText(0, 0, longText.substr(0, 62).c_str(), 0));
    EXPECT_EQ(utf8::CutLength("ab\xC3", 10), 3u);  // damaged before the terminator: kept, one mark
    EXPECT_EQ(utf8::CutLength("ab\xC3\xB6", 3), 2u);
    // Shortened to a width inside a letter, the letter goes whole: no mark
    // of a lone first byte, though one would fit where the wide "\xC3\x96" was.
    const int markFits = (font.GetTextWidth("Filter \xC3\x96\xC3") + 3) / 4;
    ASSERT_LT(markFits * 4, font.GetTextWidth("Filter \xC3\x96\xC3\x96"));
    EXPECT_EQ(drawn("Filter \xC3\x96\xC3\x96", markFits, -2), drawn("Filter \xC3\x96", 0, -2));
    EXPECT_EQ(drawn("a\xC8z", 0, -2), drawn("a\xE4\xB8\x80z", 0, -2));
    EXPECT_NE(drawn("a\xC8z", 0, -2), drawn("a z", 0, -2));
    EXPECT_NE(drawn("\xC3\xB6", 0, -2), drawn("o", 0, -2));
    // A caret past the end draws none; at the end it stands after the text.
    EXPECT_EQ(drawn("abc", 0, 4), drawn("abc", 0, -2));
    EXPECT_NE(drawn("abc", 0, 3), drawn("abc", 0, -2));
    // After a two-byte letter it stands where it stands after the letter it is built on.
    auto caretAt = [&](const char* text, int caret) {
        std::vector<uint8_t> with = drawn(text, 0, caret), without = drawn(text, 0, -2);
        for (size_t i = 0; i < with.size(); ++i) with[i] = with[i] != without[i];
        return with;
    };
    EXPECT_EQ(caretAt("\xC3\xB6" "b", 2), caretAt("ob", 1));
}
