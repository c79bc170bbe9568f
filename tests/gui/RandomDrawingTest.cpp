// A million drawing calls with random arguments (huge, negative and
// non-finite numbers, any text byte) on small surfaces: under the
// sanitizers nothing may be read or written outside an image, and no call
// may hang. Capped by time as well, for slow machines.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

#include "gui/CGLBitmapCache.h"
#include "gui/CUnifiedDC.h"

TEST(RandomDrawing, MillionCallsStayInsideAndEnd)
{
    CGLBitmapCache cache;
    std::mt19937 rng(1234);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const float floats[] = {0.0f, 1.0f, -1.0f, 0.5f, 3.3f, 7.9f, 15.2f, -6.5f, 1e9f, -1e9f, 3e38f,
                            NAN, INFINITY, -INFINITY, 1e-30f, 2.0f, 6.28f, 0.01f};
    const int ints[] = {0, 1, -1, 2, 5, 9, 16, 17, -7, 100, 10000, INT32_MAX, INT32_MIN, 1 << 20};
    auto f = [&] { return pick(3) ? pick(4000) / 100.0f - 10.0f : floats[pick(std::size(floats))]; };
    auto i = [&] { return pick(3) ? pick(40) - 10 : ints[pick(std::size(ints))]; };

    CDIBitmap img24, img8, img32, big8;
    ASSERT_TRUE(img24.Create(7, 5, 24) && img8.Create(9, 3, 8) && img32.Create(4, 6, 32) &&
                big8.Create(13, 11, 8));
    const CDIBitmap* sources[] = {&img24, &img8, &img32, &big8, nullptr,
                                  CGLBitmapCache::GetFontBitmap(0), CGLBitmapCache::GetKnobStripA()};
    auto src = [&] { return sources[pick(std::size(sources))]; };

    CUnifiedDC dc, other;
    ASSERT_TRUE(other.CreateMemory(5, 4, 24));
    char text[80];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int calls = 0;
    for (; calls < 1000000; ++calls) {
        if ((calls & 1023) == 0) {
            if (std::chrono::steady_clock::now() > until) break;
            dc.CreateMemory(1 + pick(20), 1 + pick(20), pick(4) ? 24 : 32);
            if (pick(8) == 0) dc.FreeSurfaces();
            dc.SetClip(i(), i(), i(), i());
            dc.SetBackground(pick(2) ? &img24 : nullptr);
            dc.SetPanel(pick(2) ? &img24 : nullptr, i(), i());
        }
        dc.SetColor(rng());
        switch (pick(16)) {
        case 0: dc.BlendPixel(i(), i(), f()); break;
        case 1: dc.DotAA(f(), f()); break;
        case 2: dc.Arc(f(), f(), pick(2) ? f() : 0.3f, f(), f(), f()); break;
        case 3: dc.MoveTo(f(), f()); dc.LineToAA(f(), f()); break;
        case 4: dc.FrameRect(i(), i(), i(), i()); break;
        case 5: dc.VLine(i(), i(), i(), pick(2), i()); break;
        case 6: dc.FillRect(i(), i(), i(), i(), f()); break;
        case 7: dc.ClearRect(i(), i(), i(), i(), 0, pick(2) ? other.GetBackSurface() : nullptr); break;
        case 8: dc.DrawPanel(i(), i(), i(), i(), 0, pick(2) ? other.GetBackSurface() : nullptr, pick(2)); break;
        case 9: dc.DrawVectorKnob(f(), f(), pick(2) ? f() : 0.2f, f(), f(), f(), f()); break;
        case 10:
            dc.Blit(pick(2) ? pick(25) : 0, i(), i(), i(), i(), src(), i(), i(), f(),
                    pick(3) ? nullptr : other.GetBackSurface());
            break;
        case 11: dc.BlitRGBA(i(), i(), i(), i(), src(), i(), i(), f()); break;
        case 12: dc.BlitMasked(i(), i(), i(), i(), src(), src(), i(), i()); break;
        case 13: {
            const int n = pick(80);
            for (int k = 0; k < n; ++k) text[k] = static_cast<char>(1 + pick(255));
            text[n] = 0;
            if (pick(2)) dc.DrawText(i(), i(), text, pick(64), i(), i());
            else dc.DrawTextCaret(i(), i(), text, i(), pick(64), i());
            break;
        }
        case 14:
            dc.SetColorEffect(pick(2) ? pick(12) : i());
            dc.ApplyColorEffect(i(), i(), i(), i());
            break;
        default: {
            GuiRect r;
            dc.DrawBackground(&r);
            break;
        }
        }
    }
    dc.SetColorEffect(0);
    EXPECT_GT(calls, 10000);
}
