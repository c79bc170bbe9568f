// Small scenes drawn with every kind of operation, compared pixel for pixel
// with the PNGs in tests/gui/golden. A mismatch writes the actual picture
// to golden-actual/ in the build folder, to look at.
#include <gtest/gtest.h>

#include <cmath>

#include "GuiTestSupport.h"
#include "gui/CGLBitmapCache.h"
#include "gui/CUnifiedDC.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr CUnifiedDC::Colour kPanel = 0x3A342E;  // 0xBBGGRR

void Panel(CUnifiedDC& dc, int w, int h)
{
    ASSERT_TRUE(dc.CreateMemory(w, h, 24));
    dc.SetColor(kPanel);
    dc.FillRect(0, 0, w, h, 1.0f);
}

}  // namespace

TEST(GoldenImage, LinesAndArcs)
{
    CUnifiedDC dc;
    Panel(dc, 64, 48);
    dc.SetColor(0xF0F0F0);
    // A fan of lines from one point, every octant.
    for (int k = 0; k < 16; ++k) {
        const float a = k * kPi / 8;
        dc.MoveTo(20.3f, 20.6f);
        dc.LineToAA(20.3f + 17 * std::cos(a), 20.6f + 17 * std::sin(a));
    }
    dc.SetColor(0x40C0FF);
    dc.Arc(kPi / 4, 7 * kPi / 4, 0.08f, 48, 16, 11);
    dc.SetColor(0x60E060);
    dc.Arc(0, 2 * kPi, kPi / 16, 48, 38, 6);
    dc.SetColor(0xFFFFFF);
    for (int i = 0; i < 6; ++i) dc.DotAA(4 + i * 1.3f, 44 + i * 0.25f);
    EXPECT_EQ(guitest::CompareGolden(*dc.GetBackSurface(), "lines_arcs"), "");
}

TEST(GoldenImage, FillsAndBlits)
{
    CUnifiedDC dc;
    Panel(dc, 96, 48);
    dc.SetColor(0x3070F0);
    dc.FillRect(2, 2, 30, 14, 1.0f);
    dc.SetColor(0xFFFFFF);
    dc.FillRect(16, 8, 40, 20, 0.5f);
    dc.SetColor(0x80FFFF);
    dc.FrameRect(44, 2, 60, 18);
    for (int i = 0; i < 8; ++i) {
        dc.SetColor(0x60D0A0);
        dc.VLine(64 + 3 * i, 20, 2 + 2 * i, true, 8);
        dc.VLine(65 + 3 * i, 4, -(2 + 2 * i), true, 8);
    }
    // One ramp picture through every blit mode, side by side.
    CDIBitmap ramp;
    ASSERT_TRUE(ramp.Create(10, 10, 24));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            uint8_t* p = ramp.PixelAddress(x, y);
            p[0] = uint8_t(x * 28), p[1] = uint8_t(y * 28), p[2] = uint8_t(255 - x * 14 - y * 10);
        }
    dc.SetColor(0x20A0FF);
    dc.SetBackColor(0x402010);
    const int modes[] = {0, 1, 2, 3, 10, 11, 20, 21};
    for (int i = 0; i < 8; ++i)
        dc.Blit(modes[i], 2 + 11 * i, 24, 12 + 11 * i, 34, &ramp, 0, 0, 0.6f);
    CGLBitmapCache cache;
    dc.BlitRGBA(2, 36, 18, 48, CGLBitmapCache::GetGridIcon(1, 2), 0, 2, 0.0f);
    dc.BlitRGBA(20, 36, 36, 48, CGLBitmapCache::GetGridIcon(2, 0), 0, 2, 0.5f);
    dc.SetColor(0xFFE0A0);
    dc.BlitMasked(40, 38, 48, 46, CGLBitmapCache::GetPointCoverage(true),
                  CGLBitmapCache::GetPointAlpha(true), 0, 0);
    dc.Blit(10, 52, 37, 62, 47, CGLBitmapCache::GetCheckMark(), 0, 0);
    dc.Blit(10, 64, 37, 74, 47, CGLBitmapCache::GetSubmenuArrow(), 0, 0);
    EXPECT_EQ(guitest::CompareGolden(*dc.GetBackSurface(), "fills_blits"), "");
}

TEST(GoldenImage, Text)
{
    CUnifiedDC dc;
    Panel(dc, 160, 72);
    dc.SetColor(0xF0F0F0);
    dc.SetBackColor(kPanel);
    // Each line starts a quarter pixel further right: all four phases.
    for (int k = 0; k < 4; ++k) {
        dc.DrawText(2, 2 + 11 * k, "Cutoff 1.25 kHz", 0, 2 + k);
        dc.DrawText(80, 2 + 11 * k, "Reso Env", 0, 2);
    }
    dc.SetShadowColor(0x000000);
    dc.SetColor(0x40D0FF);
    dc.DrawText(40, 46, "Centre", CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent |
                                      CUnifiedDC::kTextShadowDown);
    dc.SetColor(0xFFFFFF);
    dc.DrawText(158, 46, "Right", CUnifiedDC::kTextRight | CUnifiedDC::kTextTransparent);
    dc.SetColor(0x202020);
    dc.SetBackColor(0xB4FFFF);
    dc.DrawText(2, 58, "Opaque box", CUnifiedDC::kTextOpaqueBox);
    dc.SetColor(0xF0F0F0);
    dc.SetBackColor(kPanel);
    dc.DrawText(70, 58, "Shortened from the end", 0, 2, 50);
    EXPECT_EQ(guitest::CompareGolden(*dc.GetBackSurface(), "text"), "");
}

TEST(GoldenImage, VectorKnobAndKnobFrames)
{
    CUnifiedDC dc;
    Panel(dc, 96, 32);
    dc.SetColor(0x30A0F0);
    dc.DrawVectorKnob(kPi / 4, kPi / 4 + 0.3f * 1.5f * kPi, 0.05f, 15.5f, 16, 12, 0.9f);
    dc.SetColor(0x60E060);
    dc.DrawVectorKnob(kPi / 4, kPi / 4 + 1.5f * kPi * 0.8f, 0.05f, 48, 16.3f, 12, 0.9f);
    dc.SetColor(0xE0E0E0);
    dc.DrawVectorKnob(0, 2 * kPi, kPi / 16, 80, 16, 8, 0.9f);
    EXPECT_EQ(guitest::CompareGolden(*dc.GetBackSurface(), "vector_knob"), "");

    // Knob frames 0, 64 and 127 from the film strips, as a knob draws them.
    CGLBitmapCache cache;
    Panel(dc, 96, 32);
    dc.SetColor(0xE8E0D8);
    const int frames[] = {0, 64, 127};
    for (int i = 0; i < 3; ++i)
        dc.BlitMasked(32 * i, 0, 32 * i + 32, 32, CGLBitmapCache::GetKnobStripA(),
                      CGLBitmapCache::GetKnobStripB(), 32 * frames[i], 0);
    EXPECT_EQ(guitest::CompareGolden(*dc.GetBackSurface(), "knob_frames"), "");
}
