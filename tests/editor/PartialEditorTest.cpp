#include <cstring>
#include <limits>

#include "editor/PartialBands.h"
#include "gui/GUIResource.h"
#include "tests/editor/EditorFixture.h"

namespace {

using edtest::EditorFixture;

TEST(PartialBands, BandsLabelsAndSpectra)
{
    struct Label {
        int band;
        const char* text;
    };
    for (const Label& l : {Label{1, "001"}, Label{32, "032"}, Label{33, "033-034"}, Label{49, "065-068"},
                           Label{65, "129-136"}, Label{80, "249-256"}}) {
        char text[16];
        partials::BandLabel(l.band, text, sizeof text);
        EXPECT_STREQ(text, l.text);
    }
    EXPECT_EQ(partials::BandOfHarmonic(100), 57);
    EXPECT_EQ(partials::PartialBandFraction(100), 0.25f);
    EXPECT_EQ(partials::BandOfHarmonic(0), 1);  // never the slot before band 1
    EXPECT_EQ(partials::BandOfHarmonic(254), 79);
    const float* saw = partials::BuiltinSpectrum(1);
    EXPECT_FLOAT_EQ(saw[1], 1.0f);
    EXPECT_NEAR(saw[2], 1.0 - std::log(0.5) / std::log(1e-5), 1e-6);
    EXPECT_EQ(partials::BuiltinSpectrum(2)[2], 0.0f);
    EXPECT_EQ(partials::BuiltinSpectrum(0)[40], 0.88f);
    EXPECT_EQ(partials::BuiltinSpectrum(4)[1], 1.0f);
    EXPECT_EQ(partials::BuiltinSpectrum(4)[2], 0.0f);
    for (int k = 0; k < partials::kFilterBins; ++k) EXPECT_EQ(partials::FilterPreset(0)[k], 0.0f);
    EXPECT_EQ(partials::FilterPreset(1)[0], 127.0f);
    EXPECT_EQ(partials::FilterPreset(1)[127], 16.0f);
    char text[64];
    CUIPartialEditor::HeaderText(33, 0.0f, text, sizeof text);
    EXPECT_STREQ(text, "Partial 033-034:  lvl: -100 dB");
    CUIPartialEditor::HeaderText(-1, 0.0f, text, sizeof text);
    EXPECT_STREQ(text, "No Partial selected");
}

class PartialEditor : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        pedt = Place<CUIPartialEditor>(10, 10, 720, 130, 1600);
        wedt = Place<CUIWaveEditor>(10, 280, CUIWaveEditor::kWidth, CUIWaveEditor::kHeight);
        partials::SharedPartialClipboard() = {};
    }
    // Osc 1 on its custom wave with only partial 1 up.
    void OnlyPartialOne()
    {
        Set(155, 64.0f / 128.0f);
        for (int b = 1; b <= 80; ++b) Set(1600 + b, b == 1 ? 127.0f : 0.0f);
        head->SetParameter(9, 142, 1600.0f);
    }
    int XOfHarmonic(int h)
    {
        const GuiRect a = pedt->EditArea();
        return a.left + int(std::lround(double(a.right - a.left) * std::log(double(h)) / std::log(256.0)));
    }
    // Level of 1320 Hz against 440 Hz in rendered note 69, in dB.
    double ThirdHarmonicDb()
    {
        synth->SetSampleRate(44100.0f);
        const std::vector<float> x = RenderNote(12000);
        return 20.0 * std::log10(edtest::Magnitude(x, 2000, 8192, 1320.0, 44100.0) /
                                 edtest::Magnitude(x, 2000, 8192, 440.0, 44100.0));
    }
    CUIPartialEditor* pedt = nullptr;
    CUIWaveEditor* wedt = nullptr;
};

TEST_F(PartialEditor, PaintingBandThreeIsHeardAndPaintingItBackRemovesIt)
{
    OnlyPartialOne();
    EXPECT_LT(ThirdHarmonicDb(), -40.0);
    const GuiRect a = pedt->EditArea();
    const int x3 = XOfHarmonic(3);
    head->OnMouseDown(1, x3, a.top);
    head->OnMouseUp(0, x3, a.top);
    EXPECT_EQ(Get(1603), 127.0f);
    EXPECT_GT(ThirdHarmonicDb(), -20.0);

    head->OnMouseDown(1, x3, a.bottom - 1);
    head->OnMouseMove(1, x3, a.bottom + 20);
    head->OnMouseUp(0, x3, a.bottom + 20);
    EXPECT_EQ(Get(1603), 0.0f);
    EXPECT_LT(ThirdHarmonicDb(), -40.0);
}

TEST_F(PartialEditor, PaintingAndMenusNeverWriteOutsideBandsOneTo79)
{
    const float before0 = Get(1600), before80 = Get(1680);
    const GuiRect a = pedt->EditArea();
    // A stroke across the whole axis and beyond it at full level.
    head->OnMouseDown(1, a.left, a.top + 1);
    head->OnMouseMove(1, a.right + 50, a.top - 30);
    head->OnMouseMove(1, a.left - 50, a.top - 30);
    head->OnMouseUp(0, a.left - 50, a.top - 30);
    for (int b = 1; b <= 79; ++b) EXPECT_EQ(Get(1600 + b), 127.0f) << b;

    struct Step {
        int value;
        int band;
        float want;  // < 0: the clipboard's band -want
    };
    // Paste before any copy: nothing. Sine, copy, then Sawtooth, then paste
    // mirrored: copied band k lands in band 80 - k.
    Menu(100, 100, 102);
    EXPECT_EQ(Get(1600 + 40), 127.0f);
    Menu(100, 100, 5);
    EXPECT_EQ(Get(1601), 127.0f);
    EXPECT_EQ(Get(1602), 0.0f);
    Menu(100, 100, 101);
    Menu(100, 100, 2);
    EXPECT_EQ(Get(1601), 127.0f);
    EXPECT_NEAR(Get(1602), 127.0 * (1.0 - std::log(0.5) / std::log(1e-5)), 1e-3);
    Menu(100, 100, 103);
    EXPECT_EQ(Get(1600 + 79), 127.0f);
    for (int b = 1; b < 79; ++b) EXPECT_EQ(Get(1600 + b), 0.0f) << b;
    Menu(100, 100, 104);
    for (int b = 1; b <= 79; ++b) EXPECT_TRUE(Get(1600 + b) >= 0.0f && Get(1600 + b) <= 127.0f) << b;
    EXPECT_EQ(Get(1600), before0);
    EXPECT_EQ(Get(1680), before80);
}

TEST_F(PartialEditor, WaveEditorPaintsRebuildTheSpectralWave)
{
    const int part = head->GetCurrentPart();
    auto wave = [&] {
        const auto& w = synth->engine.data.waves.spectrumWavesA[part];
        std::vector<uint8_t> bytes(sizeof w);
        std::memcpy(bytes.data(), &w, sizeof w);
        return bytes;
    };
    head->OnMouseDown(1, wedt->x + 170 + 44 * 2 + 5, wedt->y + 8);  // "Osc A"
    head->OnMouseUp(0, wedt->x + 170 + 44 * 2 + 5, wedt->y + 8);
    ASSERT_EQ(wedt->Tab(), 2);
    for (int k = 0; k < 128; ++k) Set(768 + k, 1.0f);  // the filter curve lets every partial through
    for (int b = 1; b <= 80; ++b) Set(1840 + b, b == 1 ? 127.0f : 0.0f);
    Set(1919, 0.0f);
    const std::vector<uint8_t> before = wave();
    const GuiRect a = wedt->EditArea();
    head->OnMouseDown(1, a.left + 100, a.top + 5);
    head->OnMouseMove(1, a.left + 300, a.top + 40);
    head->OnMouseUp(0, a.left + 300, a.top + 40);
    EXPECT_GT(Get(1841 + 4), 0.0f);
    EXPECT_NE(wave(), before);

    // Filter A: Shift paints the even bins full, Ctrl empties them; a paste
    // before any copy changes nothing.
    head->OnMouseDown(1, wedt->x + 175, wedt->y + 8);
    head->OnMouseUp(0, wedt->x + 175, wedt->y + 8);
    for (int k = 0; k < 128; ++k) Set(768 + k, 0.5f);
    head->OnMouseDown(1 | 4, a.left, a.bottom - 10);
    head->OnMouseMove(1 | 4, a.left + 40, a.bottom - 10);
    head->OnMouseUp(4, a.left + 40, a.bottom - 10);
    for (int k = 0; k <= 10; ++k) EXPECT_NEAR(Get(768 + k), k % 2 ? 10.0f / 111.0f : 1.0f, 1e-4) << k;
    Menu(a.left + 100, a.top + 10, 52);
    EXPECT_EQ(Get(768 + 1), Get(768 + 3));
    EXPECT_EQ(Get(768 + 20), 0.5f);
    Menu(a.left + 100, a.top + 10, 1);  // "String body"
    wedt->Draw();
    WritePng("wave-filter");
    Menu(a.left + 100, a.top + 10, 5);  // "HighLow"
    EXPECT_EQ(Get(768 + 1), 0.0f);
    EXPECT_GT(Get(768 + 2), 0.7f);
    Menu(a.left + 100, a.top + 10, 51);
    Menu(a.left + 100, a.top + 10, 54);
    EXPECT_EQ(Get(768 + 2), 0.0f);
    Menu(a.left + 100, a.top + 10, 52);
    EXPECT_GT(Get(768 + 2), 0.7f);
}

TEST_F(PartialEditor, AnEmptySpectrumShowsItsScaleAndHowToFillIt)
{
    const GuiRect a = wedt->EditArea();
    // Pixels in the band between the 3/4 and 1/2 lines that are neither the
    // area's ground nor the scale, right of the first bins.
    auto marks = [&] {
        wedt->Draw();
        const CDIBitmap& s = *dc.GetBackSurface();
        const uint8_t* ground = s.PixelAddress(a.left + 1, a.top + 1);
        const uint8_t* scale = s.PixelAddress(a.left + 4 * 16 - 1, a.top + 1);
        int n = 0;
        for (int y = a.top + (a.bottom - a.top) / 4 + 2; y < a.bottom - (a.bottom - a.top) / 2 - 1; ++y)
            for (int x = a.left + 40; x < a.right; ++x) {
                const uint8_t* p = s.PixelAddress(x, y);
                n += memcmp(p, ground, 3) != 0 && memcmp(p, scale, 3) != 0;
            }
        return n;
    };
    for (int tab : {0, 2}) {
        head->OnMouseDown(1, wedt->x + 175 + 44 * tab, wedt->y + 8);
        head->OnMouseUp(0, wedt->x + 175 + 44 * tab, wedt->y + 8);
        const int base = tab == 0 ? 768 : 1840, count = tab == 0 ? 128 : 80;
        std::vector<float> saved;
        for (int k = 0; k < count; ++k) saved.push_back(Get(base + k));
        for (int k = 0; k < count; ++k) Set(base + k, 0.0f);
        wedt->Draw();
        // The scale is there to paint on: the ground differs from its lines.
        const CDIBitmap& s = *dc.GetBackSurface();
        EXPECT_NE(memcmp(s.PixelAddress(a.left + 1, a.top + 1),
                         s.PixelAddress(a.left + 1, a.bottom - (a.bottom - a.top) / 2), 3), 0) << tab;
        EXPECT_GT(marks(), 100) << "tab " << tab << ": nothing says what the empty box is for";
        // One low bar or partial at the left end: the hint gives way.
        const int px = tab == 0 ? a.left + 2 : a.left + 1;
        head->OnMouseDown(1, px, a.bottom - 3);
        head->OnMouseUp(0, px, a.bottom - 3);
        EXPECT_EQ(marks(), 0) << tab;
        for (int k = 0; k < count; ++k) Set(base + k, saved[size_t(k)]);
    }
}

TEST_F(PartialEditor, ExtremeProgramValuesDrawInsideTheWidgets)
{
    CUIPartialEditor* shaper = Place<CUIPartialEditor>(10, 145, 720, 130, 2000);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {-3.0f, 1e9f, nan}) {
        for (int b = 0; b <= 80; ++b)
            for (int base : {1600, 2000, 1840, 1920}) Poke(base + b, v);
        for (int k = 0; k < 256; ++k) Poke(768 + k, v);
        for (float mode : {0.0f, 2.0f, v}) {
            Poke(355, mode);
            EXPECT_TRUE(edtest::DrawsOnlyInside(dc, *pedt));
            EXPECT_TRUE(edtest::DrawsOnlyInside(dc, *shaper));
        }
        for (int tab = 0; tab < 4; ++tab) {
            head->OnMouseDown(1, wedt->x + 175 + 44 * tab, wedt->y + 8);
            head->OnMouseUp(0, wedt->x + 175 + 44 * tab, wedt->y + 8);
            EXPECT_TRUE(edtest::DrawsOnlyInside(dc, *wedt)) << tab;
        }
    }
    // A picture of each, for the eye.
    dc.SetColor(0);
    dc.FillRect(0, 0, kWidth, kHeight, 1.0f);
    for (int b = 1; b <= 80; ++b) Set(1600 + b, partials::BuiltinSpectrum(1)[b] * 127.0f);
    for (int b = 1; b <= 80; ++b) Set(2000 + b, 127.0f * (0.5f + 0.5f * std::sin(float(b) * 0.15f)));
    for (int b = 1; b <= 80; ++b) Set(1920 + b, partials::BuiltinSpectrum(2)[b] * 127.0f);
    Poke(355, 2.0f);
    head->OnMouseMove(0, pedt->x + 300, pedt->y + 60);
    pedt->Draw();
    shaper->Draw();
    wedt->Draw();
    WritePng("partial-editors");
}

}  // namespace

namespace {

// The layout file makes the three editors by tag, the insert menu by type
// number, and a copy takes the settings of the widget copied.
TEST_F(PartialEditor, FactoryMakesAndCopiesTheEditors)
{
    EXPECT_NE(dynamic_cast<CUIMEnvelope*>(GUIResource::CreateByType(16).get()), nullptr);
    EXPECT_NE(dynamic_cast<CUIWaveEditor*>(GUIResource::CreateByType(17).get()), nullptr);
    EXPECT_NE(dynamic_cast<CUIPartialEditor*>(GUIResource::CreateByType(48).get()), nullptr);

    // A fixture layout: no images, then one record of each tag.
    std::vector<uint8_t> file = {'I', 'E', 'N', 'D'};
    struct Rec {
        const char* tag;
        int index, x, y, w, h;
    };
    for (const Rec& r : {Rec{"MENV", 1024, 10, 10, 722, 119}, Rec{"PEDT", 1680, 10, 140, 600, 120},
                         Rec{"WEDT", 768, 10, 270, 520, 136}}) {
        file.insert(file.end(), r.tag, r.tag + 4);
        for (int word : {0, r.index, 0, r.x, r.y, r.w, r.h, -1, 0, 2}) {
            file.push_back(uint8_t(word));
            file.push_back(uint8_t(word >> 8));
        }
        file.resize(file.size() + 32, 0);
    }
    GUIResource::Layout layout;
    std::string error;
    ASSERT_TRUE(GUIResource::ReadLayout(file, layout, error)) << error;
    ASSERT_EQ(layout.widgets.size(), 3u);
    EXPECT_NE(dynamic_cast<CUIMEnvelope*>(layout.widgets[0].get()), nullptr);
    auto* partial = dynamic_cast<CUIPartialEditor*>(layout.widgets[1].get());
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->GetIndex(), 1680u);
    EXPECT_EQ(partial->w, 600);

    head->OnMouseDown(1, wedt->x + 175 + 44 * 3, wedt->y + 8);
    head->OnMouseUp(0, wedt->x + 175 + 44 * 3, wedt->y + 8);
    auto* copy = dynamic_cast<CUIWaveEditor*>(layout.widgets[2].get());
    ASSERT_NE(copy, nullptr);
    GUIResource::CopyWidget(*copy, *wedt);
    EXPECT_EQ(copy->Tab(), 3);
    GUIResource::CopyWidget(*partial, *pedt);
    EXPECT_EQ(partial->GetIndex(), 1600u);
}

}  // namespace
