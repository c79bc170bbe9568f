#pragma once
// One multi-segment envelope as the clipboard, the built-in shapes and the
// envelope preset file (.fep) hold it, and the .fep reader and writer,
// which work on bytes so that no window or file is needed to drive them.
//
// A .fep file is little-endian: a 128-byte header (ours names the program;
// other writers' headers are read and not checked), then a 796-byte record:
// u32 kind (low byte 1), 64 f32 times, 64 f32 levels, 64 f32 slopes, i32
// mode, count, sync, loop start, loop end, f32 loop slope.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct EnvelopeRecord {
    static constexpr int kPoints = 64;
    static constexpr size_t kHeaderSize = 128;
    static constexpr size_t kRecordSize = 796;
    static constexpr size_t kFileSize = kHeaderSize + kRecordSize;

    int32_t mode = 0, count = 1, sync = 0, loopStart = 0, loopEnd = 0;
    float loopSlope = 0.0f;
    float times[kPoints] = {};
    float levels[kPoints] = {};
    float slopes[kPoints] = {};

    // Reads a whole .fep file. A record of another kind, one cut short, a
    // count outside 1..64, loop points outside 0..count-1, a value that is
    // not finite, times within the count that are negative or decrease,
    // levels outside 0..1 or slopes outside -1..1 refuse the file: false,
    // out untouched, the reason in `reason`.
    static bool ReadPreset(std::span<const uint8_t> bytes, EnvelopeRecord& out, char* reason,
                           size_t reasonSize);
    // The file ReadPreset takes back bit for bit.
    std::vector<uint8_t> WritePreset() const;
};

// Built-in shape n of menu 310 (0..5, 51..60); null for any other number.
const EnvelopeRecord* BuiltinEnvelopeShape(int n);
