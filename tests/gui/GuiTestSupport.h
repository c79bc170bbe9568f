#pragma once
// Shared by the GUI tests: a window that records what it was asked to do,
// BMP streams written field by field, and golden-image comparison.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/CDIBitmap.h"
#include "gui/IDrawWindow.h"
#include "tools/PngFile.h"

namespace guitest {

struct RecordingWindow : IDrawWindow {
    struct Shown {
        int x, y, w, h;
        std::vector<uint8_t> pixels;  // the rectangle's rows top-down, 3 bytes a pixel
    };
    int width = 64, height = 48;
    std::vector<Shown> shown;
    std::vector<int> cursors;
    void GetClientSize(int& w, int& h) const override
    {
        w = width;
        h = height;
    }
    void SetClientSize(int w, int h) override
    {
        width = w;
        height = h;
    }
    void ShowRect(const uint8_t* bits, int, int surfaceHeight, int stride, int x, int y, int w,
                  int h) override
    {
        Shown s{x, y, w, h, {}};
        for (int row = y; row < y + h; ++row) {
            const uint8_t* p = bits + static_cast<size_t>(surfaceHeight - 1 - row) * stride + 3 * x;
            s.pixels.insert(s.pixels.end(), p, p + 3 * w);
        }
        shown.push_back(std::move(s));
    }
    void SetCursorShape(int shape) override { cursors.push_back(shape); }
};

// The fields of a BMP stream, written byte by byte so that tests can put
// any value anywhere.
struct BmpFields {
    uint16_t magic = 0x4D42;
    uint32_t offBits = 0;  // 0: right after header and colours
    uint32_t headerSize = 40;
    int32_t width = 2, height = 2;
    uint16_t planes = 1, bitCount = 24;
    uint32_t compression = 0, sizeImage = 0, clrUsed = 0;
    uint32_t colours = 0;  // entries actually written
    uint32_t pixelBytes = UINT32_MAX;  // UINT32_MAX: as many as the image needs
    uint8_t fill = 0x5A;
};

inline void Put(std::vector<uint8_t>& b, uint64_t v, int n)
{
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline std::vector<uint8_t> BmpStream(const BmpFields& f)
{
    std::vector<uint8_t> b;
    const uint32_t off = f.offBits ? f.offBits : 14 + f.headerSize + 4 * f.colours;
    Put(b, f.magic, 2);
    Put(b, 0, 4);
    Put(b, 0, 4);
    Put(b, off, 4);
    Put(b, f.headerSize, 4);
    Put(b, static_cast<uint32_t>(f.width), 4);
    Put(b, static_cast<uint32_t>(f.height), 4);
    Put(b, f.planes, 2);
    Put(b, f.bitCount, 2);
    Put(b, f.compression, 4);
    Put(b, f.sizeImage, 4);
    Put(b, 0, 8);
    Put(b, f.clrUsed, 4);
    Put(b, 0, 4);
    b.resize(14 + f.headerSize, 0xEE);  // the rest of a longer header
    for (uint32_t i = 0; i < f.colours; ++i) Put(b, 0x00010203u * (i & 63), 4);
    b.resize(off, 0);
    const uint64_t need =
        f.pixelBytes != UINT32_MAX
            ? f.pixelBytes
            : CDIBitmap::StrideOf(f.width < 0 ? 0 : f.width, f.bitCount) *
                  static_cast<uint64_t>(f.height < 0 ? -int64_t(f.height) : f.height);
    b.resize(b.size() + need, f.fill);
    return b;
}

// Compares an image with tests/gui/golden/<name>.png. On a mismatch (or
// when the golden file is missing) the actual image is written to
// golden-actual/<name>.png in the working folder; with ZAVO_UPDATE_GOLDEN
// set it replaces the golden file instead.
inline std::string CompareGolden(const CDIBitmap& actual, const std::string& name)
{
    const std::string golden = std::string(ZAVO_SOURCE_DIR) + "/tests/gui/golden/" + name + ".png";
    if (getenv("ZAVO_UPDATE_GOLDEN")) {
        png::Write(actual, golden);
        return "";
    }
    CDIBitmap expected;
    const bool have = png::Read(golden, expected);
    bool same = have && expected.Width() == actual.Width() &&
                expected.Height() == actual.Height() && expected.BitCount() == actual.BitCount();
    for (int y = 0; same && y < actual.Height(); ++y)
        same = memcmp(expected.PixelAddress(0, y), actual.PixelAddress(0, y),
                      static_cast<size_t>(actual.Width()) * actual.BytesPerPixel()) == 0;
    if (same) return "";
    std::filesystem::create_directories("golden-actual");
    const std::string out = "golden-actual/" + name + ".png";
    png::Write(actual, out);
    return (have ? "differs from " : "missing: ") + golden + "; actual image in " +
           std::filesystem::absolute(out).string();
}

}  // namespace guitest
