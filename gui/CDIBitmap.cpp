#include "gui/CDIBitmap.h"

#include <algorithm>
#include <cstring>

#include "gui/IDrawWindow.h"

namespace {

// Little-endian fields read byte by byte: the info header starts at offset
// 14 of a stream, where a struct would lie misaligned.
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool DepthSupported(int bitCount) { return bitCount == 8 || bitCount == 24 || bitCount == 32; }

bool SidesSupported(int64_t width, int64_t height)
{
    return width >= 1 && width <= CDIBitmap::kMaxSide && height >= 1 &&
           height <= CDIBitmap::kMaxSide;
}

}  // namespace

uint32_t CDIBitmap::ColourCountOf(const BitmapInfoHeader& header)
{
    if (header.clrUsed != 0) return header.clrUsed;
    if (header.bitCount == 1) return 2;
    if (header.bitCount == 4) return 16;
    if (header.bitCount == 8) return 256;
    return 0;
}

uint64_t CDIBitmap::StrideOf(int64_t width, int bitCount)
{
    return 4 * ((static_cast<uint64_t>(width) * static_cast<uint64_t>(bitCount) + 31) / 32);
}

void CDIBitmap::Swap(CDIBitmap& other) noexcept
{
    std::swap(m_header, other.m_header);
    std::swap(m_hasHeader, other.m_hasHeader);
    std::swap(m_section, other.m_section);
    m_colours.swap(other.m_colours);
    m_bits.swap(other.m_bits);
    std::swap(m_imageSize, other.m_imageSize);
    std::swap(m_stride, other.m_stride);
    std::swap(m_bytesPerPixel, other.m_bytesPerPixel);
}

void CDIBitmap::Destroy()
{
    m_header = BitmapInfoHeader{};
    m_hasHeader = false;
    m_section = false;
    m_colours.clear();
    m_colours.shrink_to_fit();
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_imageSize = m_stride = m_bytesPerPixel = 0;
}

bool CDIBitmap::SetGeometry(const BitmapInfoHeader& header)
{
    if (!SidesSupported(header.width, header.height) || !DepthSupported(header.bitCount))
        return false;
    const uint64_t stride = StrideOf(header.width, header.bitCount);
    const uint64_t size = stride * static_cast<uint64_t>(header.height);
    if (size > kMaxPixelBytes) return false;
    m_header = header;
    m_hasHeader = true;
    m_stride = static_cast<uint32_t>(stride);
    m_imageSize = static_cast<uint32_t>(size);
    m_bytesPerPixel = header.bitCount / 8u;
    return true;
}

bool CDIBitmap::CreateHeader(int width, int height, int bitCount)
{
    Destroy();
    BitmapInfoHeader h;
    h.width = width;
    h.height = height;
    h.bitCount = static_cast<uint16_t>(bitCount);
    if (!SetGeometry(h)) return false;
    m_header.clrUsed = m_header.clrImportant = ColourCountOf(m_header);
    m_colours.assign(m_header.clrUsed, RGBQuad{});
    return true;
}

bool CDIBitmap::Create(int width, int height, int bitCount)
{
    if (!CreateHeader(width, height, bitCount)) return false;
    m_bits.assign(m_imageSize, 0);
    return true;
}

bool CDIBitmap::CreateSection()
{
    if (!m_hasHeader || !m_bits.empty()) return false;
    m_bits.assign(m_imageSize, 0);
    m_section = true;
    return true;
}

size_t CDIBitmap::LoadBMP(std::span<const uint8_t> data)
{
    Destroy();
    if (data.size() < kFileHeaderSize || U16(data.data()) != 0x4D42) return 0;
    const uint32_t offBits = U32(data.data() + 10);
    if (offBits < kFileHeaderSize + kInfoHeaderSize || offBits > data.size()) return 0;
    const uint32_t blockSize = offBits - static_cast<uint32_t>(kFileHeaderSize);
    if (blockSize > kMaxHeaderBlock) return 0;
    const uint8_t* block = data.data() + kFileHeaderSize;

    // Longer headers (the later versions) begin with the same 40 bytes; the
    // colour table follows the whole header.
    const uint32_t headerSize = U32(block);
    if (headerSize < kInfoHeaderSize || headerSize > blockSize) return 0;
    BitmapInfoHeader h;
    h.size = static_cast<uint32_t>(kInfoHeaderSize);
    h.width = I32(block + 4);
    h.height = I32(block + 8);
    h.planes = U16(block + 12);
    h.bitCount = U16(block + 14);
    h.compression = U32(block + 16);
    h.sizeImage = U32(block + 20);
    h.xPelsPerMeter = I32(block + 24);
    h.yPelsPerMeter = I32(block + 28);
    h.clrUsed = U32(block + 32);
    h.clrImportant = U32(block + 36);
    // Top-down rows (negative height) and compressed pixels are refused.
    if (h.compression != 0 || h.clrUsed > 256) return 0;
    const uint32_t colours = ColourCountOf(h);
    if (colours > 256 || headerSize + 4ull * colours > blockSize) return 0;
    if (!SetGeometry(h)) {
        Destroy();
        return 0;
    }
    if (static_cast<uint64_t>(offBits) + m_imageSize > data.size()) {
        Destroy();
        return 0;
    }
    m_colours.resize(colours);
    for (uint32_t i = 0; i < colours; ++i) {
        const uint8_t* q = block + headerSize + 4 * i;
        m_colours[i] = RGBQuad{q[0], q[1], q[2], q[3]};
    }
    m_bits.assign(data.data() + offBits, data.data() + offBits + m_imageSize);
    return static_cast<size_t>(offBits) + m_imageSize;
}

bool CDIBitmap::SaveBMP(std::vector<uint8_t>& out) const
{
    if (IsEmpty()) return false;
    const uint32_t colours = ColourCount();
    out.reserve(out.size() + 54 + 4 * colours + m_imageSize);
    Put16(out, 0x4D42);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 54 + 4 * colours);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(m_header.width));
    Put32(out, static_cast<uint32_t>(m_header.height));
    Put16(out, m_header.planes);
    Put16(out, m_header.bitCount);
    Put32(out, m_header.compression);
    Put32(out, m_header.sizeImage);
    Put32(out, static_cast<uint32_t>(m_header.xPelsPerMeter));
    Put32(out, static_cast<uint32_t>(m_header.yPelsPerMeter));
    Put32(out, m_header.clrUsed);
    Put32(out, m_header.clrImportant);
    for (const RGBQuad& q : m_colours) {
        out.push_back(q.blue);
        out.push_back(q.green);
        out.push_back(q.red);
        out.push_back(q.reserved);
    }
    out.insert(out.end(), m_bits.begin(), m_bits.end());
    return true;
}

void CDIBitmap::GetSize(int& width, int& height) const
{
    width = m_hasHeader ? m_header.width : 0;
    height = m_hasHeader ? m_header.height : 0;
}

const uint8_t* CDIBitmap::PixelAddress(int x, int y) const
{
    if (m_bits.empty() || x < 0 || y < 0 || x >= m_header.width || y >= m_header.height)
        return nullptr;
    return m_bits.data() + static_cast<size_t>(m_header.height - 1 - y) * m_stride +
           static_cast<size_t>(x) * m_bytesPerPixel;
}

uint8_t* CDIBitmap::PixelAddress(int x, int y)
{
    return const_cast<uint8_t*>(static_cast<const CDIBitmap*>(this)->PixelAddress(x, y));
}

void CDIBitmap::Clear()
{
    std::fill(m_bits.begin(), m_bits.end(), 0);
}

bool CDIBitmap::BlitToWindow(IDrawWindow* window, int x, int y, int w, int h) const
{
    if (!window || !m_section || m_bits.empty() || m_header.bitCount != 24) return false;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + w, m_header.width);
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + h, m_header.height);
    if (right <= left || bottom <= top) return false;
    window->ShowRect(m_bits.data(), m_header.width, m_header.height, static_cast<int>(m_stride),
                     static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                     static_cast<int>(bottom - top));
    return true;
}
