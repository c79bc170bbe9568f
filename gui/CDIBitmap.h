#pragma once
// The image type of the user interface: drawing surfaces, the built-in
// images and the images a layout carries. Pixels are rows bottom-up with a
// stride rounded up to 4 bytes; 8 bits (masks), 24 bits (blue, green, red)
// and 32 bits (blue, green, red, transparency) per pixel.
//
// Streams are read from memory: the layout file keeps images back to back,
// so the reader answers how many bytes one image took.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class IDrawWindow;

struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};

struct RGBQuad {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

class CDIBitmap {
public:
    // Limits on what is read or made: larger images are no image of ours.
    static constexpr int kMaxSide = 16384;
    static constexpr uint32_t kMaxHeaderBlock = 64 * 1024;
    static constexpr uint64_t kMaxPixelBytes = 64ull * 1024 * 1024;
    static constexpr size_t kFileHeaderSize = 14;
    static constexpr size_t kInfoHeaderSize = 40;

    CDIBitmap() = default;
    ~CDIBitmap() { Destroy(); }
    CDIBitmap(const CDIBitmap&) = delete;
    CDIBitmap& operator=(const CDIBitmap&) = delete;
    CDIBitmap(CDIBitmap&& other) noexcept { Swap(other); }
    CDIBitmap& operator=(CDIBitmap&& other) noexcept
    {
        Swap(other);
        other.Destroy();
        return *this;
    }
    void Swap(CDIBitmap& other) noexcept;

    // Back to empty.
    void Destroy();
    // A new image with cleared pixels and a zeroed colour table; false (and
    // empty) for sides outside 1..16384, depths other than 8, 24, 32 or too
    // many pixel bytes.
    bool Create(int width, int height, int bitCount);
    // Header and colour table as Create makes them, without pixels.
    bool CreateHeader(int width, int height, int bitCount);
    // Gives a header without pixels its (cleared) pixel buffer and marks the
    // image as one a window may be shown from. Refused without a header or
    // when the image has pixels already.
    bool CreateSection();
    // One of the images built into the program; false (and empty) when
    // there is none with that id.
    bool LoadResource(int id);
    // Reads one BMP stream from the front of `data`; answers the bytes it
    // took, 0 when the stream was refused (the image is then empty).
    size_t LoadBMP(std::span<const uint8_t> data);
    // Appends the image as a BMP stream; false for an empty image.
    bool SaveBMP(std::vector<uint8_t>& out) const;

    bool IsEmpty() const { return m_bits.empty(); }
    int Width() const { return m_header.width; }
    int Height() const { return m_header.height; }
    int BitCount() const { return m_header.bitCount; }
    bool HasHeader() const { return m_hasHeader; }
    bool HasSection() const { return m_section; }
    const BitmapInfoHeader& Header() const { return m_header; }
    const RGBQuad* Colours() const { return m_colours.data(); }
    uint32_t ColourCount() const { return static_cast<uint32_t>(m_colours.size()); }
    uint32_t Stride() const { return m_stride; }
    uint32_t BytesPerPixel() const { return m_bytesPerPixel; }
    uint32_t ImageSize() const { return m_imageSize; }
    uint8_t* Bits() { return m_bits.empty() ? nullptr : m_bits.data(); }
    const uint8_t* Bits() const { return m_bits.empty() ? nullptr : m_bits.data(); }

    // (width, height); (0, 0) without a header.
    void GetSize(int& width, int& height) const;
    // The first byte of pixel (x, y), y counted from the top; null outside
    // the picture or without pixels.
    uint8_t* PixelAddress(int x, int y);
    const uint8_t* PixelAddress(int x, int y) const;
    // Every pixel byte to 0.
    void Clear();
    // Shows the rectangle (x, y, w, h) of a 24-bit image made by
    // CreateSection at the same place in the window, cut to the image;
    // false when nothing was shown.
    bool BlitToWindow(IDrawWindow* window, int x, int y, int w, int h) const;

    // Colours the table holds for a header: the used-colours count, or the
    // full table of a depth of 8 bits and less.
    static uint32_t ColourCountOf(const BitmapInfoHeader& header);
    // Bytes of one row: width x depth rounded up to 4 bytes.
    static uint64_t StrideOf(int64_t width, int bitCount);

private:
    bool SetGeometry(const BitmapInfoHeader& header);

    BitmapInfoHeader m_header;
    bool m_hasHeader = false;
    bool m_section = false;
    std::vector<RGBQuad> m_colours;
    std::vector<uint8_t> m_bits;
    uint32_t m_imageSize = 0;
    uint32_t m_stride = 0;
    uint32_t m_bytesPerPixel = 0;
};
