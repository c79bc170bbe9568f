#pragma once
// Writes bank, preset and project files byte by byte from their layouts, for
// every version (also the old ones the program never writes), so the
// readers can be tested and fuzzed. Used by the tests and the fuzz targets.
//
// By default every slot holds a value that reveals its program and its
// position (PatternValue), so that a reader that takes a block from the
// wrong offset fails. Callers can put in values of their own.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<uint8_t>;

constexpr int kRecordSlots = 2272;
constexpr int kPrograms = 128;

// Which slots a version stores as bytes (the older forms store every slot
// they hold as a byte).
inline bool StoredAsByte(int version, int slot) {
    if (version <= 5) return true;
    return (slot >= 512 && slot < 1024) || (slot >= 1600 && slot < 2080);
}

// Slot s of program p: a byte that moves with both for byte slots, else
// s + 0.25 + p / 256 (exact in a float). Slot 0 is a synthesis type.
inline float PatternValue(int version, int program, int slot) {
    if (slot == 0) return static_cast<float>(program % 7);
    if (StoredAsByte(version, slot)) return static_cast<float>((slot * 7 + program * 11 + 3) & 255);
    return static_cast<float>(slot) + 0.25f + static_cast<float>(program) / 256.0f;
}

// Program p's 8 labels ("L<p>.<k>" padded) and 3 multi-sample names.
inline std::string LabelText(int program, int k) { return "L" + std::to_string(program) + "." + std::to_string(k); }
inline std::string SampleText(int program, int k) { return "S" + std::to_string(program) + "/" + std::to_string(k); }
inline std::string ProgramName(int program) { return "Prog " + std::to_string(program); }

using SlotFn = std::function<float(int program, int slot)>;

inline void PutU8(Bytes& out, int v) { out.push_back(static_cast<uint8_t>(v)); }
inline void PutF32(Bytes& out, float v) {
    uint32_t b = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(b >> (8 * i)));
}
inline void PutBE32(Bytes& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutBE16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
// A text in a field of `size` bytes, NUL-padded; a text of `size` bytes or
// more fills the field without a terminator.
inline void PutText(Bytes& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}
inline void PutZeros(Bytes& out, size_t n) { out.insert(out.end(), n, 0); }
inline void PutSlotByte(Bytes& out, float v) {
    long r = std::lround(v);
    out.push_back(static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r)));
}

// Slots first..last in byte or float form.
inline void PutSlots(Bytes& out, const SlotFn& value, int program, int first, int last, bool asFloat) {
    for (int s = first; s <= last; ++s) {
        if (asFloat)
            PutF32(out, value(program, s));
        else
            PutSlotByte(out, value(program, s));
    }
}

// The current form's blocks, the first `blocks` of them.
inline void PutCurrentForm(Bytes& out, const SlotFn& value, int program, int blocks) {
    static const int kBlocks[5][3] = {{0, 511, 1}, {512, 1023, 0}, {1024, 1599, 1}, {1600, 2079, 0}, {2080, 2271, 1}};
    for (int b = 0; b < blocks; ++b) PutSlots(out, value, program, kBlocks[b][0], kBlocks[b][1], kBlocks[b][2] != 0);
}

inline void PutLabelAndSampleBlocks(Bytes& out, int program) {
    for (int k = 0; k < 8; ++k) PutText(out, LabelText(program, k), 16);
    for (int k = 0; k < 3; ++k) PutText(out, SampleText(program, k), 84);
    PutZeros(out, 4);
}

inline SlotFn DefaultValues(int version) {
    return [version](int p, int s) { return PatternValue(version, p, s); };
}

// The 1024-byte header of banks and projects.
inline void PutHeader(Bytes& out, const std::string& name, int version, int kind) {
    PutText(out, name, 32);
    PutU8(out, version);
    PutU8(out, kind);
    PutZeros(out, 990);
}

// One bank program: name, the record of the version, and (version >= 4)
// the label and multi-sample name blocks.
inline void PutBankProgram(Bytes& out, int version, int program, const SlotFn& value) {
    PutText(out, ProgramName(program), 32);
    if (version <= 1)
        PutSlots(out, value, program, 0, 511, false);
    else if (version <= 4)
        PutSlots(out, value, program, 0, 895, false);
    else if (version == 5)
        PutSlots(out, value, program, 0, 1023, false);
    else
        PutCurrentForm(out, value, program, version < 30 ? 4 : 5);
    if (version >= 4) PutLabelAndSampleBlocks(out, program);
}

inline Bytes Bank(int version, int kind = 0, int programs = kPrograms, SlotFn value = {}) {
    if (!value) value = DefaultValues(version);
    Bytes out;
    PutHeader(out, "Fixture bank", version, kind);
    for (int p = 0; p < programs; ++p) PutBankProgram(out, version, p, value);
    return out;
}

// A preset body: version, 3 unused bytes, name, record (version 1 without
// its last float block), labels, multi-sample names.
inline Bytes FxpBody(int version, int program = 5, SlotFn value = {}) {
    if (!value) value = DefaultValues(30);
    Bytes out;
    PutU8(out, version);
    PutZeros(out, 3);
    PutText(out, ProgramName(program), 32);
    PutCurrentForm(out, value, program, version >= 30 ? 5 : 4);
    PutLabelAndSampleBlocks(out, program);
    return out;
}

// A preset file: 60 header bytes of anything, then the body.
inline Bytes FxpFile(const Bytes& body) {
    Bytes out(60, 0xAB);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

struct ProjectOptions {
    int kind = 0;
    SlotFn value;                                          // program slots
    std::function<float(int part, int field)> partField;   // part table
    std::function<float(int index)> global;                // global block
    uint32_t sampleRate = 44100;
    std::string tempo = "128.5";
    std::string swing = "25";
    int songLoop = 1;
    int editorSetting = 3;
    int songStart = 2;
    int songEnd = 9;
    // When set, byte i of the part and pattern records (counted from the
    // first part record) instead of the plain layout below.
    std::function<uint8_t(size_t i)> sequencerRecordByte;
};

// Part field f of row p: p * 32 + f, below 128 for the byte form. Field 15
// names program 127 - p.
inline float DefaultPartField(int part, int field) {
    if (field == 15) return static_cast<float>(127 - part);
    return static_cast<float>((part * 32 + field) % 128);
}

inline Bytes Project(int version, ProjectOptions o = {}) {
    if (!o.value) o.value = DefaultValues(version < 20 ? 5 : 30);
    if (!o.partField) o.partField = DefaultPartField;
    if (!o.global) o.global = [](int i) { return static_cast<float>(127 - i); };
    const bool wide = version >= 20;
    Bytes out;
    PutHeader(out, "Fixture project", version, o.kind);
    for (int p = 0; p < kPrograms; ++p) {
        PutText(out, ProgramName(p), 32);
        if (version < 20)
            PutSlots(out, o.value, p, 0, 1023, false);
        else
            PutCurrentForm(out, o.value, p, version < 30 ? 4 : 5);
        PutLabelAndSampleBlocks(out, p);
    }
    for (int i = 0; i < 32; ++i) PutU8(out, 0x55);
    for (int p = 0; p < 16; ++p)
        for (int f = 0; f < 32; ++f) {
            if (wide)
                PutF32(out, o.partField(p, f));
            else
                PutSlotByte(out, o.partField(p, f));
        }
    for (int i = 0; i < 128; ++i) {
        if (wide)
            PutF32(out, o.global(i));
        else
            PutSlotByte(out, o.global(i));
    }
    // Sequencer section: head, part records, pattern records.
    PutBE32(out, o.sampleRate);
    PutText(out, o.tempo, 8);
    PutText(out, o.swing, 8);
    PutU8(out, o.songLoop);
    PutU8(out, o.editorSetting);
    PutZeros(out, 1002 + 64 + 64 + 4 * 224);
    if (o.sequencerRecordByte) {
        for (size_t i = 0; i < 16 * 16 + 512 * 772; ++i) PutU8(out, o.sequencerRecordByte(i));
    }
    for (int p = 0; p < 16 && !o.sequencerRecordByte; ++p) {
        PutU8(out, 1);
        PutU8(out, 1);
        PutU8(out, p % 7);
        PutZeros(out, 13);
    }
    for (int pat = 0; pat < 512 && !o.sequencerRecordByte; ++pat) {
        PutU8(out, 15);
        PutU8(out, 0);
        PutZeros(out, 2);
        for (int s = 0; s < 64; ++s) {
            const int step[9] = {48 + s % 12, 0, 100, 0, 4, 50, 0, 0, s % 3};
            for (int v : step) PutU8(out, v);
            PutZeros(out, 3);
        }
    }
    // Song-list section: start, end, 16 tracks of 256 cells.
    PutBE16(out, static_cast<uint32_t>(o.songStart));
    PutBE16(out, static_cast<uint32_t>(o.songEnd));
    for (int t = 0; t < 16; ++t)
        for (int n = 0; n < 256; ++n) {
            PutBE16(out, static_cast<uint32_t>((t * 256 + n) % 600));
            PutU8(out, static_cast<uint8_t>(static_cast<int8_t>(n % 25 - 12)));
            PutU8(out, n & 1);
        }
    return out;
}

inline bool WriteFile(const std::string& path, const Bytes& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace fixtures
