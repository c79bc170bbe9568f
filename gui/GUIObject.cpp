#include "gui/GUIObject.h"

#include <algorithm>
#include <cstring>

namespace {

// Little-endian 16-bit words, the only number format of the layout file.
class WordReader {
public:
    explicit WordReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    uint32_t Next()
    {
        uint32_t v = Byte(m_pos) | Byte(m_pos + 1) << 8;
        m_pos += 2;
        return v;
    }

private:
    uint32_t Byte(size_t i) const { return i < m_bytes.size() ? m_bytes[i] : 0; }
    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
};

void PutWord(uint8_t*& out, uint32_t v)
{
    *out++ = uint8_t(v);
    *out++ = uint8_t(v >> 8);
}

}  // namespace

GUIObject::GUIObject(const char* tag_)
{
    for (size_t i = 0; tag_ && i < kTagSize && tag_[i]; ++i) tag[i] = tag_[i];
}

void GUIObject::Init()
{
    binding.Reset();
    layer = 2;
    pageMask = 0xFFFFFFFF;
    dialogId = 0;
    std::fill(std::begin(properties), std::end(properties), 0u);
    x = y = 0;
    w = h = 20;
    font = textRed = textGreen = textBlue = 0xFFFF;
    active = 0;
    grabX = grabY = 0;
}

void GUIObject::Read(std::span<const uint8_t> body)
{
    WordReader in(body.first(std::min(body.size(), kBodySize)));
    const uint32_t group = in.Next();
    const uint32_t index = in.Next();
    const uint32_t sub = in.Next();
    Init();
    x = int32_t(in.Next());
    y = int32_t(in.Next());
    w = int32_t(in.Next());
    h = int32_t(in.Next());
    pageMask = in.Next();
    dialogId = int32_t(in.Next());
    layer = int32_t(in.Next());
    for (uint32_t& p : properties) p = in.Next();
    if (const CIParameter* row = CIParameter::Find(group, index, sub)) binding = *row;
}

std::array<uint8_t, GUIObject::kRecordSize> GUIObject::Write() const
{
    std::array<uint8_t, kRecordSize> record{};
    memcpy(record.data(), tag, kTagSize);
    uint8_t* out = record.data() + kTagSize;
    for (uint32_t v : {binding.group, binding.index, binding.sub, uint32_t(x), uint32_t(y), uint32_t(w),
                       uint32_t(h), pageMask, uint32_t(dialogId), uint32_t(layer)})
        PutWord(out, v);
    for (uint32_t p : properties) PutWord(out, p);
    return record;
}
