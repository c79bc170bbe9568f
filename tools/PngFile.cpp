#include "tools/PngFile.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "gui/CDIBitmap.h"

namespace png {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

int ChannelsOf(int bitCount) { return bitCount == 8 ? 1 : bitCount == 24 ? 3 : 4; }

// The image's rows top-down in PNG channel order.
std::vector<uint8_t> PngRows(const CDIBitmap& image)
{
    const int w = image.Width(), h = image.Height(), channels = ChannelsOf(image.BitCount());
    std::vector<uint8_t> rows(static_cast<size_t>(w) * h * channels);
    uint8_t* o = rows.data();
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = image.PixelAddress(0, y);
        for (int x = 0; x < w; ++x, p += image.BytesPerPixel(), o += channels) {
            if (channels == 1) {
                o[0] = p[0];
                continue;
            }
            o[0] = p[2];
            o[1] = p[1];
            o[2] = p[0];
            if (channels == 4) o[3] = static_cast<uint8_t>(255 - p[3]);
        }
    }
    return rows;
}

bool Encode(FILE* f, int w, int h, int channels, const uint8_t* rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8,
                 channels == 1 ? PNG_COLOR_TYPE_GRAY
                 : channels == 3 ? PNG_COLOR_TYPE_RGB
                                 : PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y)
        png_write_row(png, rows + static_cast<size_t>(y) * w * channels);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Decoded rows, 8 bits per channel; channels 0 when the file is no PNG.
struct Decoded {
    int w = 0, h = 0, channels = 0;
    std::vector<uint8_t> rows;
};

bool Decode(FILE* f, Decoded& out)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_read_update_info(png, info);
    out.w = static_cast<int>(png_get_image_width(png, info));
    out.h = static_cast<int>(png_get_image_height(png, info));
    out.channels = png_get_channels(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (out.w > CDIBitmap::kMaxSide || out.h > CDIBitmap::kMaxSide ||
        rowBytes != static_cast<size_t>(out.w) * out.channels) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    out.rows.resize(rowBytes * out.h);
    for (int y = 0; y < out.h; ++y) png_read_row(png, out.rows.data() + rowBytes * y, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

bool Write(const CDIBitmap& image, const std::string& path)
{
    if (image.IsEmpty()) return false;
    const std::vector<uint8_t> rows = PngRows(image);
    File f(fopen(path.c_str(), "wb"));
    return f && Encode(f.get(), image.Width(), image.Height(), ChannelsOf(image.BitCount()),
                       rows.data());
}

bool Read(const std::string& path, CDIBitmap& image)
{
    image.Destroy();
    File f(fopen(path.c_str(), "rb"));
    Decoded d;
    if (!f || !Decode(f.get(), d)) return false;
    const int depth = d.channels == 1 ? 8 : d.channels == 3 ? 24 : d.channels == 4 ? 32 : 0;
    if (depth == 0 || !image.Create(d.w, d.h, depth)) return false;
    const uint8_t* i = d.rows.data();
    for (int y = 0; y < d.h; ++y) {
        uint8_t* p = image.PixelAddress(0, y);
        for (int x = 0; x < d.w; ++x, p += image.BytesPerPixel(), i += d.channels) {
            if (d.channels == 1) {
                p[0] = i[0];
                continue;
            }
            p[0] = i[2];
            p[1] = i[1];
            p[2] = i[0];
            if (d.channels == 4) p[3] = static_cast<uint8_t>(255 - i[3]);
        }
    }
    return true;
}

}  // namespace png
