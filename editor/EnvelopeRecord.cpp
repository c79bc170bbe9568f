#include "editor/EnvelopeRecord.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr char kHeaderText[] = "ZAVO envelope preset\n";

uint32_t U32(std::span<const uint8_t> b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

float F32(std::span<const uint8_t> b, size_t at)
{
    const uint32_t u = U32(b, at);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutF(std::vector<uint8_t>& out, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    Put32(out, u);
}

bool Refuse(char* reason, size_t size, const char* text, int index = -1)
{
    if (reason && size) {
        if (index >= 0)
            std::snprintf(reason, size, "%s (point %d)", text, index);
        else
            std::snprintf(reason, size, "%s", text);
    }
    return false;
}

}  // namespace

bool EnvelopeRecord::ReadPreset(std::span<const uint8_t> bytes, EnvelopeRecord& out, char* reason,
                                size_t reasonSize)
{
    if (bytes.size() < kFileSize) return Refuse(reason, reasonSize, "file too short");
    size_t at = kHeaderSize;
    if ((U32(bytes, at) & 0xFF) != 1) return Refuse(reason, reasonSize, "not an envelope record");
    at += 4;
    EnvelopeRecord r;
    for (float& t : r.times) t = F32(bytes, at), at += 4;
    for (float& l : r.levels) l = F32(bytes, at), at += 4;
    for (float& s : r.slopes) s = F32(bytes, at), at += 4;
    int32_t* ints[5] = {&r.mode, &r.count, &r.sync, &r.loopStart, &r.loopEnd};
    for (int32_t* v : ints) *v = int32_t(U32(bytes, at)), at += 4;
    r.loopSlope = F32(bytes, at);

    if (r.count < 1 || r.count > kPoints) return Refuse(reason, reasonSize, "point count outside 1..64");
    if (r.loopStart < 0 || r.loopStart >= r.count || r.loopEnd < 0 || r.loopEnd >= r.count)
        return Refuse(reason, reasonSize, "loop point outside the envelope");
    if (!std::isfinite(r.loopSlope) || r.loopSlope < -1.0f || r.loopSlope > 1.0f)
        return Refuse(reason, reasonSize, "loop slope outside -1..1");
    for (int i = 0; i < kPoints; ++i) {
        if (!std::isfinite(r.times[i]) || !std::isfinite(r.levels[i]) || !std::isfinite(r.slopes[i]))
            return Refuse(reason, reasonSize, "value not finite", i);
        if (i >= r.count) continue;
        if (r.times[i] < 0.0f || (i > 0 && r.times[i] < r.times[i - 1]))
            return Refuse(reason, reasonSize, "time negative or decreasing", i);
        if (r.levels[i] < 0.0f || r.levels[i] > 1.0f) return Refuse(reason, reasonSize, "level outside 0..1", i);
        if (r.slopes[i] < -1.0f || r.slopes[i] > 1.0f) return Refuse(reason, reasonSize, "slope outside -1..1", i);
    }
    out = r;
    return true;
}

std::vector<uint8_t> EnvelopeRecord::WritePreset() const
{
    std::vector<uint8_t> out(kHeaderSize, 0);
    std::memcpy(out.data(), kHeaderText, sizeof kHeaderText - 1);
    Put32(out, 1);
    for (float t : times) PutF(out, t);
    for (float l : levels) PutF(out, l);
    for (float s : slopes) PutF(out, s);
    for (int32_t v : {mode, count, sync, loopStart, loopEnd}) Put32(out, uint32_t(v));
    PutF(out, loopSlope);
    return out;
}
