// The image type: geometry, BMP streams written and read back, and every
// malformed stream refused.
#include "gui/CDIBitmap.h"

#include <gtest/gtest.h>

#include "GuiTestSupport.h"

using guitest::BmpFields;
using guitest::BmpStream;

TEST(DIBitmap, RoundTripsEveryDepthAndWidth)
{
    for (int bits : {8, 24, 32})
        for (int width = 1; width <= 5; ++width) {
            SCOPED_TRACE(testing::Message() << bits << " bits, width " << width);
            CDIBitmap img;
            ASSERT_TRUE(img.Create(width, 3, bits));
            EXPECT_EQ(img.Stride(), (width * bits / 8 + 3) / 4 * 4);
            EXPECT_EQ(img.ImageSize(), img.Stride() * 3);
            for (uint32_t i = 0; i < img.ImageSize(); ++i) EXPECT_EQ(img.Bits()[i], 0);
            for (uint32_t i = 0; i < img.ImageSize(); ++i) img.Bits()[i] = uint8_t(i * 7 + 1);
            std::vector<uint8_t> stream;
            ASSERT_TRUE(img.SaveBMP(stream));
            const uint32_t off = bits == 8 ? 1078 : 54;
            EXPECT_EQ(stream[10] | stream[11] << 8, off);
            ASSERT_EQ(stream.size(), off + img.ImageSize());

            CDIBitmap back;
            EXPECT_EQ(back.LoadBMP(stream), stream.size());
            EXPECT_EQ(back.Width(), width);
            EXPECT_EQ(back.Height(), 3);
            EXPECT_EQ(back.BitCount(), bits);
            EXPECT_EQ(back.ColourCount(), bits == 8 ? 256u : 0u);
            ASSERT_EQ(back.ImageSize(), img.ImageSize());
            EXPECT_EQ(0, memcmp(back.Bits(), img.Bits(), img.ImageSize()));
        }
}

TEST(DIBitmap, ReadsLongHeadersAndStreamsBackToBack)
{
    // A 124-byte header: its first 40 bytes are the fields, the colours
    // follow the whole header; the size field of the image is 0.
    BmpFields f;
    f.headerSize = 124;
    f.bitCount = 8;
    f.width = 3;
    f.clrUsed = 2;
    f.colours = 2;
    std::vector<uint8_t> two = BmpStream(f);
    const size_t first = two.size();
    BmpFields g;
    g.width = 5;
    g.fill = 0x11;
    const std::vector<uint8_t> second = BmpStream(g);
    two.insert(two.end(), second.begin(), second.end());

    CDIBitmap a, b;
    ASSERT_EQ(a.LoadBMP(two), first);
    EXPECT_EQ(a.ColourCount(), 2u);
    EXPECT_EQ(a.Colours()[1].blue, 3);
    EXPECT_EQ(a.Colours()[1].red, 1);
    EXPECT_EQ(*a.PixelAddress(2, 1), 0x5A);
    ASSERT_EQ(b.LoadBMP(std::span(two).subspan(first)), second.size());
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(*b.PixelAddress(4, 0), 0x11);
    // What is written back is a plain 40-byte header.
    std::vector<uint8_t> out;
    a.SaveBMP(out);
    EXPECT_EQ(out[14], 40);
    EXPECT_EQ(out[10] | out[11] << 8, 54 + 8);
}

TEST(DIBitmap, RefusesMalformedStreams)
{
    struct Case {
        const char* what;
        void (*change)(BmpFields&);
    };
    const Case cases[] = {
        {"wrong type", [](BmpFields& f) { f.magic = 0x4D43; }},
        {"header under 40", [](BmpFields& f) { f.headerSize = 39; }},
        {"header past the block", [](BmpFields& f) { f.offBits = 14 + 40, f.headerSize = 56; }},
        {"bits before the header ends", [](BmpFields& f) { f.offBits = 30; }},
        {"block over 64 KiB", [](BmpFields& f) { f.headerSize = 65536 + 40; }},
        {"width 0", [](BmpFields& f) { f.width = 0; }},
        {"width 16385", [](BmpFields& f) { f.width = 16385; }},
        {"height 0", [](BmpFields& f) { f.height = 0; }},
        {"top-down rows", [](BmpFields& f) { f.height = -2; }},
        {"height 16385", [](BmpFields& f) { f.height = 16385; }},
        {"1 bit", [](BmpFields& f) { f.bitCount = 1, f.colours = 2; }},
        {"16 bits", [](BmpFields& f) { f.bitCount = 16; }},
        {"compressed", [](BmpFields& f) { f.compression = 1; }},
        {"257 colours", [](BmpFields& f) { f.clrUsed = 257, f.colours = 257; }},
        {"colours past the block", [](BmpFields& f) { f.bitCount = 8, f.colours = 255; }},
        {"pixels over 64 MiB", [](BmpFields& f) { f.width = f.height = 16384, f.pixelBytes = 0; }},
        {"pixels missing", [](BmpFields& f) { f.pixelBytes = 15; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmpFields f;
        c.change(f);
        CDIBitmap img;
        ASSERT_TRUE(img.Create(4, 4, 24));
        EXPECT_EQ(img.LoadBMP(BmpStream(f)), 0u);
        EXPECT_TRUE(img.IsEmpty());
        EXPECT_FALSE(img.HasHeader());
        int w = -1, h = -1;
        img.GetSize(w, h);
        EXPECT_EQ(w + h, 0);
    }
    // A good stream cut anywhere is refused.
    BmpFields f;
    f.bitCount = 8;
    f.width = 3;
    f.clrUsed = f.colours = 2;
    const std::vector<uint8_t> whole = BmpStream(f);
    CDIBitmap img;
    for (size_t n = 0; n < whole.size(); ++n)
        ASSERT_EQ(img.LoadBMP(std::span(whole).first(n)), 0u) << n;
    EXPECT_EQ(img.LoadBMP(whole), whole.size());
}

TEST(DIBitmap, CreateAndGeometry)
{
    CDIBitmap img;
    for (auto [w, h, bits] : {std::tuple{0, 1, 24}, {1, 0, 24}, {16385, 1, 8}, {4, 4, 16},
                              {4, 4, 1}, {16384, 16384, 32}}) {
        EXPECT_FALSE(img.Create(w, h, bits)) << w << " " << h << " " << bits;
        EXPECT_TRUE(img.IsEmpty());
    }
    ASSERT_TRUE(img.Create(3, 4, 24));
    EXPECT_EQ(img.Stride(), 12u);
    EXPECT_EQ(img.PixelAddress(0, 0), img.Bits() + 3 * 12);
    EXPECT_EQ(img.PixelAddress(0, 3), img.Bits());
    EXPECT_EQ(img.PixelAddress(2, 3), img.Bits() + 6);
    for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 4}, {3, 3}})
        EXPECT_EQ(img.PixelAddress(x, y), nullptr) << x << "," << y;

    // Only a header without pixels takes a section; only a section is shown.
    guitest::RecordingWindow window;
    EXPECT_FALSE(img.CreateSection());
    EXPECT_FALSE(img.BlitToWindow(&window, 0, 0, 3, 4));
    CDIBitmap empty;
    EXPECT_FALSE(empty.CreateSection());
    ASSERT_TRUE(img.CreateHeader(3, 4, 24));
    ASSERT_TRUE(img.CreateSection());
    *img.PixelAddress(2, 1) = 77;
    EXPECT_TRUE(img.BlitToWindow(&window, 1, 1, 10, 10));  // cut to the image
    EXPECT_FALSE(img.BlitToWindow(&window, 3, 0, 2, 2));
    ASSERT_EQ(window.shown.size(), 1u);
    const auto& s = window.shown[0];
    EXPECT_EQ(std::tie(s.x, s.y, s.w, s.h), std::make_tuple(1, 1, 2, 3));
    EXPECT_EQ(s.pixels[3], 77);
}
