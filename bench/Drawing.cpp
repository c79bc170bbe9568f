// Redrawing the whole 960 x 650 editor surface: the background picture,
// 200 knobs from the film strips and 200 value texts, as a page change does.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "gui/CGLBitmapCache.h"
#include "gui/CUnifiedDC.h"

namespace {

void BM_RedrawPage(benchmark::State& state)
{
    CGLBitmapCache cache;
    CDIBitmap background;
    background.Create(960, 650, 24);
    for (int y = 0; y < 650; ++y)
        for (int x = 0; x < 960; ++x) {
            uint8_t* p = background.PixelAddress(x, y);
            p[0] = uint8_t(40 + y / 16), p[1] = uint8_t(44 + x / 32), p[2] = uint8_t(48);
        }
    CUnifiedDC dc;
    dc.CreateMemory(960, 650, 24);
    dc.SetBackground(&background);
    char texts[200][16];
    for (int i = 0; i < 200; ++i) snprintf(texts[i], sizeof texts[i], "%d.%02d kHz", i % 20, i);
    int frame = 0;
    for (auto _ : state) {
        GuiRect all;
        dc.DrawBackground(&all);
        dc.SetColor(0xE8E0D8);
        for (int i = 0; i < 200; ++i) {
            const int x = 10 + (i % 20) * 47, y = 10 + (i / 20) * 63;
            const int k = (i * 13 + frame) & 127;
            dc.BlitMasked(x, y, x + 32, y + 32, CGLBitmapCache::GetKnobStripA(),
                          CGLBitmapCache::GetKnobStripB(), 32 * k, 0);
        }
        dc.SetColor(0xF0F0F0);
        for (int i = 0; i < 200; ++i) {
            const int x = 26 + (i % 20) * 47, y = 44 + (i / 20) * 63;
            dc.DrawText(x, y, texts[i], CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
        }
        ++frame;
        benchmark::DoNotOptimize(dc.GetBackSurface()->Bits());
    }
}
BENCHMARK(BM_RedrawPage)->Unit(benchmark::kMillisecond);

// Text alone: 200 list rows of program names shortened to a column as the
// preset list draws them; ASCII names (0) or names with letters past ASCII (1).
void BM_DrawListTexts(benchmark::State& state)
{
    CGLBitmapCache cache;
    CUnifiedDC dc;
    dc.CreateMemory(960, 650, 24);
    const char* word = state.range(0) ? "Gr\xC3\xB6\xC3\x9F" "e Fl\xC3\xA4" "che" : "Grosse Flaeche";
    char texts[200][40];
    for (int i = 0; i < 200; ++i) snprintf(texts[i], sizeof texts[i], "%03d %s %d", i, word, i * 7);
    dc.SetColor(0xF0F0F0);
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i)
            dc.DrawText(10 + (i % 4) * 240, 5 + (i / 4) * 12, texts[i], CUnifiedDC::kTextTransparent, 2, 90);
        benchmark::DoNotOptimize(dc.GetBackSurface()->Bits());
    }
}
BENCHMARK(BM_DrawListTexts)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
