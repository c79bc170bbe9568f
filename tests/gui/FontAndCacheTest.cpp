// The bitmap font's tables and sheet, and the image cache: slots, files,
// built-in images at their sizes, and their bytes pinned.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "GuiTestSupport.h"
#include "gui/BuiltinImages.h"
#include "gui/CGLBitmapCache.h"
#include "gui/CGLFont.h"
#include "gui/FontMetrics.h"
#include "os/TestFolders.h"

namespace {

// In the program's own folder: test programs run side by side.
std::string TempPath(const char* name)
{
    return testutil::TestFolder() + "/" + name;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

uint64_t Fnv(const uint8_t* p, size_t n)
{
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

}  // namespace

TEST(GLFont, TablesAndSelection)
{
    CGLFont font;
    EXPECT_EQ(font.SetFont(2), 0);
    EXPECT_EQ(font.SetFont(7), 2);
    EXPECT_EQ(font.GetFont(), 0);
    EXPECT_EQ(font.GetCellWidth(), 10);
    EXPECT_EQ(font.GlyphX('A'), 330);
    EXPECT_EQ(font.GlyphX(200), 0);
    EXPECT_EQ(font.GetAdvance(200), font.GetAdvance('E'));  // a code point past ASCII: E with a grave
    EXPECT_EQ(font.GetAdvance('W'), 33);
    EXPECT_EQ(font.GetTextWidth(nullptr), 0);
    // UTF-8: letters past ASCII measure as the ones they are built on, any
    // other character and every bad byte as one mark.
    const CGLFont::Glyph o = font.GlyphOf(0xF6), mark = font.GlyphOf(0x4E00);
    EXPECT_EQ(o.sheet, CGLBitmapCache::GetFontExtraBitmap());
    EXPECT_EQ(std::tuple(o.x, o.advance), std::tuple((0xF6 - 0xA0) * 10, font.GetAdvance('o')));
    EXPECT_EQ(std::tuple(mark.x, mark.advance), std::tuple(fontmetrics::kMarkCell * 10, 22));
    EXPECT_EQ(font.GetTextWidth("Gr\xC3\xB6\xC3\x9F" "e"), font.GetTextWidth("Grobe"));
    // a = 20, mark and b = 22 quarter pixels, plus 2 x count / 4.
    const std::pair<const char*, int> odd[] = {{"a\xFF" "b", 65}, {"a\xC3", 43}, {"a\xC3\xC3" "b", 88}, {"a\xF0\x9F\x8E\xB9", 43},
                                               {"a\xE0\x80\x80", 88} /* overlong */, {"a\xED\xA0\x80", 88}};
    for (const auto& [text, width] : odd) EXPECT_EQ(font.GetTextWidth(text), width) << text;
    EXPECT_EQ(font.SetSpacing(0), 2);
    EXPECT_EQ(font.GetTextWidth("Hi"), 24 + 9);
    font.SetFont(3);
    EXPECT_EQ(font.GetCellWidth(), -1);
    EXPECT_EQ(font.GetHeight(), 11);
    EXPECT_EQ(font.GetAdvance('!'), (14 - 7) * 4 - 12);
    EXPECT_EQ(font.GetAdvance(')'), ((11 + 12) / 4) * 4 - 12);
    EXPECT_EQ(font.MapChar(0x9A), 246);
    EXPECT_EQ(font.GetAdvance(0x9A), font.GetAdvance(246));
    EXPECT_EQ(font.GlyphX('#'), 21);
    font.SetFont(1);
    EXPECT_EQ(font.GetHeight(), 2);
    EXPECT_EQ(font.MapChar(0x9A), 0x9A);
}

// Ink inside the copied columns, quarter-pixel phases, blank space,
// capitals 7 pixels high standing on the baseline under row 7.
TEST(GLFont, SheetProperties)
{
    CGLBitmapCache cache;
    const CDIBitmap& sheet = *CGLBitmapCache::GetFontBitmap(0);
    ASSERT_EQ(sheet.Width(), 950);
    auto ink = [&](int c, int k, int x, int y) {
        return 255 - sheet.PixelAddress((c - 32) * 10 + x, k * 10 + y)[1];
    };
    for (int c = 32; c <= 126; ++c) {
        const int cols = (fontmetrics::Advance(c) + 4) / 4;
        double centre[4] = {};
        for (int k = 0; k < 4; ++k) {
            double sum = 0;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x) {
                    if (x >= cols) {
                        ASSERT_EQ(ink(c, k, x, y), 0) << char(c) << k;
                    }
                    sum += ink(c, k, x, y);
                    centre[k] += x * ink(c, k, x, y);
                }
            if (c == ' ') {
                EXPECT_EQ(sum, 0);
            }
            if (sum > 0) centre[k] /= sum;
        }
        if (!strchr("oHnuxN08", c)) continue;
        for (int k = 1; k < 4; ++k) EXPECT_NEAR(centre[k] - centre[0], k / 4.0, 0.08) << char(c);
    }
    for (int c : {'H', 'E', 'T'})
        for (int y = 0; y < 10; ++y) {
            int row = 0;
            for (int x = 0; x < 10; ++x) row += ink(c, 0, x, y);
            EXPECT_EQ(row > 60, y >= 1 && y <= 7) << char(c) << " row " << y;
        }

    // The second sheet: ink only in the copied columns, on every glyph but
    // the no-break space; a capital's accent squeezed into the box.
    using namespace fontmetrics;
    const CDIBitmap& extra = *CGLBitmapCache::GetFontExtraBitmap();
    ASSERT_EQ(extra.Width(), kExtraCells * 10);
    auto extraInk = [&](int cell, int k, int x, int y) {
        return 255 - extra.PixelAddress(cell * 10 + x, k * 10 + y)[1];
    };
    for (int cell = 0; cell < kExtraCells; ++cell) {
        const int cols = (ExtraAdvance(cell) + 4) / 4;
        int sum = 0;
        for (int k = 0; k < 4; ++k)
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x) {
                    if (x >= cols) {
                        ASSERT_EQ(extraInk(cell, k, x, y), 0) << cell;
                    }
                    sum += extraInk(cell, k, x, y);
                }
        EXPECT_EQ(sum == 0, cell == 0) << cell;
    }
    int plainTop = 0, accentTop = 0;
    for (int x = 0; x < 10; ++x) plainTop += ink('A', 0, x, 0), accentTop += extraInk(0xC4 - kFirstExtra, 0, x, 0);
    EXPECT_EQ(plainTop, 0);
    EXPECT_GT(accentTop, 100);
}

TEST(GLBitmapCache, SlotsAndFiles)
{
    CGLBitmapCache cache;
    char name[32];
    EXPECT_EQ(CGLBitmapCache::Get(0), nullptr);
    EXPECT_EQ(CGLBitmapCache::Get(512), nullptr);
    EXPECT_EQ(CGLBitmapCache::Set(512, "x"), nullptr);
    ASSERT_TRUE(CGLBitmapCache::Set(5, "a rather long name")->Create(2, 2, 24));
    EXPECT_TRUE(CGLBitmapCache::GetName(5, name, 7));
    EXPECT_STREQ(name, "a rath");
    CGLBitmapCache::Free(5);
    EXPECT_EQ(CGLBitmapCache::Get(5), nullptr);
    EXPECT_FALSE(CGLBitmapCache::GetName(5, name, sizeof name));
    EXPECT_STREQ(name, "<empty>");

    // Slots 1..6 in use, 7 carries the name: a reload goes to 7 although
    // 3 is free.
    for (int s = 1; s <= 7; ++s) CGLBitmapCache::Set(s, s == 7 ? "knob.bmp" : "other")->Create(1, 1, 8);
    CGLBitmapCache::Free(3);
    CGLBitmapCache::Free(7);
    guitest::BmpFields f;
    f.width = 3;
    const std::string good = TempPath("zavo-cache-good.bmp"), bad = TempPath("zavo-cache-bad.bmp");
    ASSERT_TRUE(WriteBytes(good, guitest::BmpStream(f)));
    std::vector<uint8_t> broken = guitest::BmpStream(f);
    broken.resize(40);
    ASSERT_TRUE(WriteBytes(bad, broken));
    EXPECT_EQ(CGLBitmapCache::LoadFile("knob.bmp", good.c_str()), 7);
    EXPECT_EQ(CGLBitmapCache::Get(7)->Width(), 3);
    EXPECT_EQ(CGLBitmapCache::LoadFile("new.bmp", good.c_str()), 3);
    // A bad or missing file changes no slot, not even the one of its name.
    EXPECT_EQ(CGLBitmapCache::LoadFile("knob.bmp", bad.c_str()), 0);
    EXPECT_EQ(CGLBitmapCache::LoadFile("knob.bmp", "/nonexistent/x.bmp"), 0);
    ASSERT_NE(CGLBitmapCache::Get(7), nullptr);
    EXPECT_EQ(CGLBitmapCache::Get(7)->Width(), 3);
    std::remove(good.c_str());
    std::remove(bad.c_str());
    for (int s = 1; s <= 7; ++s) CGLBitmapCache::Free(s);

    CDIBitmap dest, a, b;
    ASSERT_TRUE(a.Create(2, 2, 24) && b.Create(2, 3, 24));
    EXPECT_FALSE(CGLBitmapCache::MakeAlpha(dest, a, b));
    EXPECT_TRUE(dest.IsEmpty());
}

TEST(GLBitmapCache, BuiltinImages)
{
    CGLBitmapCache cache;
    const CDIBitmap* before = CGLBitmapCache::GetKnobStripA();
    CGLBitmapCache again;  // loads nothing anew
    EXPECT_EQ(CGLBitmapCache::GetKnobStripA(), before);

    // Every id at its size and depth.
    struct Size { int w, h, bits; std::vector<int> ids; };
    std::vector<int> keys, buttons, icons, iconSources;
    for (int id = 1077; id <= 1099; ++id) if (id < 1098) keys.push_back(id);
    for (int id = 1908; id <= 1944; ++id) if ((id > 1920 && id != 1929) || id == 1908) buttons.push_back(id);
    for (int id = 1874; id <= 1905; ++id) iconSources.push_back(id);
    const Size sizes[] = {
        {4096, 32, 8, {1871, 1872}}, {950, 40, 24, {672}}, {590, 11, 24, {669}},
        {40, 950, 24, {1842}}, {2260, 40, 24, {673}}, {10, 59, 24, keys}, {6, 38, 24, {1098, 1099}},
        {6, 6, 8, {1868, 1869}}, {8, 8, 8, {1867, 1870}},
        {10, 10, 24, {1906, 1907, 1948, 1949, 1950}}, {12, 11, 24, {1951, 1952, 1953}},
        {14, 11, 24, buttons}, {30, 11, 24, {1909, 1910, 1912, 1913, 1915, 1916, 1918, 1919}},
        {37, 20, 24, {1911, 1914, 1917, 1920}}, {13, 13, 24, {1947, 1955, 1956, 1957}},
        {12, 12, 24, {1107, 1108}}, {16, 16, 24, iconSources}};
    size_t count = 0;
    for (const Size& s : sizes)
        for (int id : s.ids) {
            CDIBitmap img;
            ASSERT_TRUE(img.LoadResource(id)) << id;
            EXPECT_EQ(std::tuple(img.Width(), img.Height(), img.BitCount()),
                      std::tuple(s.w, s.h, s.bits)) << id;
            ++count;
        }
    EXPECT_EQ(count, BuiltinImages().size());
    CDIBitmap none;
    EXPECT_FALSE(none.LoadResource(1873));

    // Getters reduce every index.
    auto same = [](const CDIBitmap* img, int id) {
        CDIBitmap ref;
        return ref.LoadResource(id) && img->ImageSize() == ref.ImageSize() &&
               memcmp(img->Bits(), ref.Bits(), ref.ImageSize()) == 0;
    };
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyBitmap(61, 0), 1099));
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyBitmap(-11, 2), 1098));
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyBitmap(69, 2), 1091));
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyBitmap(71, 9), 1082));
    EXPECT_TRUE(same(CGLBitmapCache::GetFontBitmap(9), 669));
    EXPECT_NE(CGLBitmapCache::GetFontBitmap(1), CGLBitmapCache::GetFontBitmap(3));
    EXPECT_TRUE(same(CGLBitmapCache::GetFontBitmap(-4), 672));
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyedButton(-1, 1), 1909 + 10));
    EXPECT_TRUE(same(CGLBitmapCache::GetKeyedButton(INT32_MAX, INT32_MAX), 1909 + 4));
    EXPECT_TRUE(same(CGLBitmapCache::GetToggleImage(1, 1), 1947));
    EXPECT_TRUE(same(CGLBitmapCache::GetToggleImage(-1, 0), 1957));
    EXPECT_TRUE(same(CGLBitmapCache::GetSmallToggleImage(0, 1), 1107));
    EXPECT_TRUE(same(CGLBitmapCache::GetLetterButtonSelected(15), 1908));
    EXPECT_TRUE(same(CGLBitmapCache::GetBankButton(-1), 1927));
    EXPECT_TRUE(same(CGLBitmapCache::GetPointAlpha(true), 1867));
    const CDIBitmap* icon = CGLBitmapCache::GetGridIcon(5, 6);
    CDIBitmap colour, alpha;
    ASSERT_TRUE(colour.LoadResource(1884) && alpha.LoadResource(1900));
    ASSERT_EQ(icon->BitCount(), 32);
    EXPECT_EQ(icon->PixelAddress(0, 0)[1], colour.PixelAddress(0, 0)[1]);
    EXPECT_EQ(icon->PixelAddress(8, 8)[3], alpha.PixelAddress(8, 8)[0]);
}

// The bytes of every built-in image, pinned; the fonts' for Debian 12's
// FreeType and DejaVu fonts. A deliberate change of a picture updates the
// table (the failure prints the new hash).
TEST(GLBitmapCache, BuiltinBytesArePinnedAndRepeatable)
{
    const std::map<int, uint64_t> pinned = {
#include "golden/BuiltinHashes.inc"
    };
    for (const BuiltinImage& b : BuiltinImages()) {
        const auto it = pinned.find(b.id);
        const uint64_t h = Fnv(b.data, b.size);
        EXPECT_TRUE(it != pinned.end() && it->second == h)
            << "{" << b.id << ", 0x" << std::hex << h << "ull},";
    }
    EXPECT_EQ(pinned.size(), BuiltinImages().size());

    // The generator gives the same bytes twice.
    const std::string a = TempPath("zavo-images-a.cpp"), b = TempPath("zavo-images-b.cpp");
    for (const std::string& out : {a, b})
        ASSERT_EQ(std::system((std::string(ZAVO_IMAGE_TOOL) + " " + out + " " + ZAVO_FONT_FILE).c_str()), 0);
    const std::string ta = testutil::ReadFile(a), tb = testutil::ReadFile(b);
    EXPECT_GT(ta.size(), 100000u);
    EXPECT_TRUE(ta == tb);
    std::remove(a.c_str());
    std::remove(b.c_str());
}
