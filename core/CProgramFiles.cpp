// The program store's readers: bank files (.qvb), preset bodies (.fxp) and
// project files (.qzp), with the conversions of the older record forms.
//
// Every reader takes the whole file into memory and checks it before the
// store changes: the version must be one that was ever written, the kind 0
// or 1, and the size exactly what that version needs (a bank may end on a
// program boundary: the programs it lacks become "new program"). Once a
// file has passed, decoding cannot fail, so nothing is left half loaded.
//
// Floats that are not finite numbers are never taken from a file: a NaN
// in a level or pan would make the whole output NaN, and the smoothing
// cells would carry it on after the program is gone. Each one reads as the
// value a fresh store has in its place.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/base/Utf8.h"
#include "core/CProgram.h"
#include "core/CProgramStorage.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "os/OReadFile.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kOldRecordBytes = 512;     // versions 0 and 1
constexpr int kV2RecordBytes = 896;      // versions 2..4
constexpr int kV5RecordBytes = 1024;     // version 5, older projects
constexpr int kBlockBytes = CProgram::kLabelBytes + CProgram::kSampleBytes;
constexpr int kPartPairs = 16;
constexpr int kSampleNames = 3;

float LoadFloat(const uint8_t* p) {
    return std::bit_cast<float>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) |
                                (static_cast<uint32_t>(p[3]) << 24));
}

// A float from a file, or the fallback when it is not a finite number;
// `replaced` counts the fallbacks.
float FiniteOr(float v, float fallback, int& replaced) {
    if (std::isfinite(v)) return v;
    ++replaced;
    return fallback;
}

// Little-endian floats: on a little-endian machine a plain copy, which
// matters for a project's 128 records.
void LoadFloats(const uint8_t* in, float* out, int count) {
    if constexpr (std::endian::native == std::endian::little) {
        memcpy(out, in, sizeof(float) * static_cast<size_t>(count));
    } else {
        for (int i = 0; i < count; ++i) out[i] = LoadFloat(in + 4 * i);
    }
}

void ReplaceNonFinite(float* values, const float* defaults, int count, int& replaced) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            values[i] = defaults[i];
            ++replaced;
        }
    }
}

// One line per file in the debug log when values were replaced.
void LogReplaced(const char* what, const char* name, int replaced) {
    if (replaced == 0) return;
    char line[192];
    snprintf(line, sizeof(line), "%s \"%.100s\": %d values that are not finite numbers read as their defaults", what,
             name ? name : "", replaced);
    CDebug::Log(line);
}

// The current record form is five blocks, float and byte by turns.
struct RecordBlock {
    int first, last;
    bool isFloat;
};
constexpr RecordBlock kBlocks[5] = {
    {0, 511, true}, {512, 1023, false}, {1024, 1599, true}, {1600, 2079, false}, {2080, 2271, true}};

void WidenBytes(const uint8_t* in, float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<float>(in[i]);
}

// Decodes the first `blocks` blocks of the current form; answers the byte
// after them.
const uint8_t* DecodeBlocks(const uint8_t* in, float* record, int blocks, int& replaced) {
    for (int b = 0; b < blocks; ++b) {
        const RecordBlock& k = kBlocks[b];
        const int count = k.last - k.first + 1;
        if (k.isFloat) {
            LoadFloats(in, record + k.first, count);
            ReplaceNonFinite(record + k.first, CProgram::DefaultRecord() + k.first, count, replaced);
            in += 4 * count;
        } else {
            WidenBytes(in, record + k.first, count);
            in += count;
        }
    }
    return in;
}

// A fixed-size text field from a file: copied whole, cut at its last byte
// so that it is always terminated.
void CopyField(char* dst, const uint8_t* src, int size) {
    memcpy(dst, src, static_cast<size_t>(size));
    dst[size - 1] = 0;
}

void CopyLabelBlock(uint8_t* dst, const uint8_t* src) {
    memcpy(dst, src, CProgram::kLabelBytes);
    for (int i = 0; i < CProgram::kLabelCount; ++i) dst[i * CProgram::kLabelSize + CProgram::kLabelSize - 1] = 0;
}

void CopySampleBlock(uint8_t* dst, const uint8_t* src) {
    memcpy(dst, src, CProgram::kSampleBytes);
    for (int i = 0; i < kSampleNames; ++i) dst[i * CProgram::kSampleNameSize + CProgram::kSampleNameSize - 1] = 0;
    // The four bytes after the third name are not used.
    memset(dst + kSampleNames * CProgram::kSampleNameSize, 0,
           CProgram::kSampleBytes - kSampleNames * CProgram::kSampleNameSize);
}

void SetName(char* field, const char* text) {
    memset(field, 0, CProgram::kNameSize);
    utf8::CopyCut(field, CProgram::kNameSize, text);
}

// A slot value as an integer for the list lookups; values no list holds
// (huge, NaN) read as -1.
int SlotInt(float v) { return (v >= -1.0e6f && v <= 1.0e6f) ? static_cast<int>(v) : -1; }

// Slot 0 picks the synthesis type and with it a template; only 0..6 do.
void SanitizeType(float* record) {
    if (!(record[0] >= 0.0f && record[0] <= 6.0f)) record[0] = 0.0f;
}

// Programs from older files may have the arpeggiator half set up, and a
// unison value beyond the list.
void FixArpeggiatorAndUnison(float* record) {
    if (record[335] == 0.0f) {
        record[334] = 0.0f;
        record[335] = 1.0f;
        record[336] = 4.0f;
        record[337] = 0.0f;
    }
    if (record[340] > 100.0f) record[340] = 1.0f;
}

// The fourth value of each of the 64 controller assignments is at most 63.
void LimitAssignments(float* record) {
    for (int a = 0; a < 64; ++a) {
        float& v = record[416 + a * 4 + 3];
        if (v > 63.0f) v = 63.0f;
    }
}

int ProjectRecordBytes(int version) {
    if (version < 20) return kV5RecordBytes;
    if (version < 30) return CProgram::kStoredRecordV20Bytes;
    return CProgram::kStoredRecordBytes;
}

// One line on stderr and in the debug log for a file that was not taken: what it is,
// where, why, and what happened instead.
void LogRefused(const char* what, const char* path, const std::string& why, const char* instead) {
    char line[1400];
    snprintf(line, sizeof(line), "%s %.1000s: %s; %s", what, path ? path : "", why.c_str(), instead);
    CDebug::Say(line);
}

// Reads the whole file when it is not longer than maxBytes; a refusal is
// logged with its reason.
bool ReadWholeFile(const char* path, long maxBytes, std::vector<uint8_t>& out, const char* what,
                   const char* instead) {
    std::string why;
    if (os::ReadWholeFile(path, static_cast<size_t>(maxBytes), out, why) == os::ReadStatus::kRead) return true;
    LogRefused(what, path, why, instead);
    return false;
}

// A reason for a byte reader's caller, when it asked for one.
bool Refuse(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

}  // namespace

// --- layouts ------------------------------------------------------------------

bool CProgram::IsKnownVersion(int version) {
    return (version >= 0 && version <= 5) || version == 20 || version == 30 || version == 31;
}

long CProgram::BankProgramBytes(int version) {
    if (version < 2) return kOldRecordBytes;
    if (version < 4) return kV2RecordBytes;
    if (version == 4) return kV2RecordBytes + kBlockBytes;
    if (version < 20) return kV5RecordBytes + kBlockBytes;
    if (version < 30) return kStoredRecordV20Bytes + kBlockBytes;
    return kStoredRecordBytes + kBlockBytes;
}

int CProgram::FxpBodySize(int version) {
    if (version == 1) return kPresetBodyV1;
    if (version == 30 || version == 31) return kPresetBodyV30;
    return 0;
}

long CProgram::ProjectFileBytes(int version) {
    if (!IsKnownVersion(version)) return 0;
    const bool wide = version >= 20;
    return kHeaderBytes + static_cast<long>(kPrograms) * (kNameSize + ProjectRecordBytes(version) + kBlockBytes) +
           kPartPairs * 2 + (wide ? 4 : 1) * (kParts * kPartFields + kGlobalFields) +
           static_cast<long>(CSequencer::kProjectSectionSize + CSongList::kProjectSectionSize);
}

void CProgram::ProgramPath(char* out, size_t size, const char* relative) {
    const char* folder = g_GlobalData.programFolder;
    size_t len = strnlen(folder, sizeof(g_GlobalData.programFolder));
    if (len == 0)
        snprintf(out, size, "%s", relative);
    else if (folder[len - 1] == '/')
        snprintf(out, size, "%.*s%s", static_cast<int>(len), folder, relative);
    else
        snprintf(out, size, "%.*s/%s", static_cast<int>(len), folder, relative);
}

// --- conversions ----------------------------------------------------------------

void CProgram::ConvertOldRecord(float* record, const float* old) {
    // (first current id, first old id, count)
    static constexpr int kMoves[][3] = {
        {1, 1, 14},     {60, 15, 1},    {16, 16, 6},    {36, 22, 16},  {56, 38, 3},
        {62, 44, 1},    {65, 53, 16},   {85, 69, 16},   {105, 85, 16}, {125, 101, 16},
        {145, 117, 88}, {237, 205, 19}, {260, 224, 11}, {272, 236, 6}};
    for (const auto& m : kMoves)
        for (int i = 0; i < m[2]; ++i) record[m[0] + i] = old[m[1] + i];
}

void CProgram::RescaleV2Amounts(float* record) {
    for (int k = 0; k < 20; ++k) {
        switch (SlotInt(record[85 + k])) {
        case 13: case 15: case 31: case 32: case 33: case 41: case 43: break;
        default: continue;
        }
        const double a = SlotInt(record[36 + k]);
        const double scaled = a <= 64.0 ? 64.0 - 64.0 * std::sqrt((64.0 - a) / 64.0)
                                        : 64.0 + 64.0 * std::sqrt((a - 64.0) / 64.0);
        record[36 + k] = static_cast<float>(std::trunc(scaled));
    }
}

void CProgram::ConvertV4Record(float* r) {
    const float* t0 = m_store->templates[0];
    auto mirror = [r](int first, int last) {
        for (int i = first; i <= last; ++i) {
            float v = 128.0f - r[i];
            r[i] = v == 128.0f ? 127.0f : v;
        }
    };
    mirror(1, 55);
    mirror(145, 145);
    for (int first : {185, 192, 199, 206}) mirror(first, first + 4);
    for (int i : {215, 219, 223, 227}) mirror(i, i);
    mirror(279, 284);
    mirror(286, 290);
    mirror(293, 296);

    for (int i : {148, 153, 161, 170, 180, 261, 263, 265}) r[i] = 96.0f - r[i];
    for (int i : {149, 154, 162, 171, 181, 262, 264, 266}) r[i] = 100.0f - r[i];
    r[62] = 64.0f - r[62];

    memcpy(r + 416, t0 + 416, sizeof(float) * (kRecordSize - 416));

    r[57] = 64;
    r[58] = 127;
    r[60] = 0;
    r[61] = 0;
    r[63] = 127;
    r[64] = 5;
    r[146] = 7;
    r[298] = 0;
    for (int i = 299; i <= 306; ++i) r[i] = 64;
    r[323] = 1;
    r[324] = 48;
    for (int i = 328; i <= 332; ++i) r[i] = 0;
    r[338] = 64;
    r[342] = 0;

    if (r[317] == 0.0f)
        for (int i : {278, 279, 281, 282, 283, 284}) r[i] = t0[i];
    if (r[316] == 0.0f)
        for (int i = 285; i <= 291; ++i) r[i] = t0[i];
    if (r[315] == 0.0f)
        for (int i = 292; i <= 296; ++i) r[i] = t0[i];

    ClearUnusedFeatures(r);
}

void CProgram::ClearUnusedFeatures(float* r) {
    static constexpr int kSelections[19] = {237, 239, 240, 241, 250, 255, 248, 249, 253, 254,
                                            242, 243, 244, 245, 246, 247, 257, 256, 339};
    struct Module {
        int code;
        int slots[11];
        int count;
    };
    static constexpr Module kModules[6] = {
        {2, {3, 4, 161, 162, 164, 166}, 6},
        {3, {5, 6, 170, 171, 173, 175}, 6},
        {8, {15, 182}, 2},
        {12, {22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 327}, 11},
        {9, {16, 17, 18, 19, 229}, 5},
        {13, {32, 33, 34, 35, 233}, 5}};
    const float* t0 = m_store->templates[0];
    for (const Module& m : kModules) {
        bool used = false;
        for (int s : kSelections) used = used || SlotInt(r[s]) == m.code;
        if (used) continue;
        for (int i = 0; i < m.count; ++i) r[m.slots[i]] = t0[m.slots[i]];
    }
}

void CProgram::FillDefaultsV5(float* r) {
    r[58] = r[63];
    r[343] = 1;
    r[347] = 5;
    r[349] = 1;
    r[350] = 3;
    r[1024] = 0;
    r[1025] = 0.1f;
    r[1026] = 0.2f;
    r[1027] = 0.3f;
    r[1028] = 1;
    r[1088] = 0;
    r[1089] = 1;
    r[1090] = r[1091] = 0.5f;
    r[1092] = r[1220] = r[1348] = 0;
    for (int i = 1216; i <= 1219; ++i) r[i] = 0;
    for (int i = 1344; i <= 1347; ++i) r[i] = 0;
    for (int i = 1472; i <= 1476; ++i) r[i] = 0;
    for (int i = 1841; i <= 1919; ++i) r[i] = 127;
    for (int i = 1921; i <= 1999; ++i) r[i] = 127;
    r[1601] = r[1681] = r[1761] = r[2001] = 127;
    r[280] = 12;
}

void CProgram::FillDefaultsV20(float* r) {
    for (int i = 2080; i < kRecordSize; ++i) r[i] = 0;
    for (int base : {2081, 2145, 2209}) {
        r[base] = 0.1f;
        r[base + 1] = 0.2f;
        r[base + 2] = 0.3f;
        r[base + 3] = 1.0f;
    }
    for (int base : {366, 372, 378}) {
        r[base] = r[base + 1] = 0;
        r[base + 2] = 5;
        r[base + 4] = 1;
        r[base + 5] = 3;
    }
    r[369] = 0;
    if (r[340] > 100.0f) r[340] = 1;
    r[280] = 12;
}

// --- banks ----------------------------------------------------------------------

int CProgram::DecodeBankProgram(const uint8_t* in, int version, float* record, uint8_t* labels,
                                uint8_t* sampleNames) {
    int replaced = 0;
    Storage& s = *m_store;
    if (version <= 4) {
        // Older records hold only some slots; the rest come from template 0,
        // so a file converts the same whatever the slot held before.
        memcpy(record, s.templates[0], sizeof(float) * kRecordSize);
        float old[kV2RecordBytes];
        if (version == 0) {
            for (int i = 0; i < 128; ++i) record[i] = 0.0f;
            WidenBytes(in, old, kOldRecordBytes);
            ConvertOldRecord(record, old);
        } else {
            WidenBytes(in, record, version == 1 ? kOldRecordBytes : kV2RecordBytes);
        }
        if (version <= 2) RescaleV2Amounts(record);
        if (version == 4) ConvertV4Record(record);
    } else {
        memset(record, 0, sizeof(float) * kRecordSize);
        if (version == 5) {
            WidenBytes(in, record, kV5RecordBytes);
            FillDefaultsV5(record);
        } else if (version == 20) {
            DecodeBlocks(in, record, 4, replaced);
            FillDefaultsV20(record);
        } else {
            DecodeBlocks(in, record, 5, replaced);
        }
    }
    if (version >= 4) {
        const uint8_t* blocks = in + BankProgramBytes(version) - kBlockBytes;
        CopyLabelBlock(labels, blocks);
        CopySampleBlock(sampleNames, blocks + kLabelBytes);
    } else {
        memcpy(labels, s.templateLabels, kLabelBytes);
        memset(sampleNames, 0, kSampleBytes);
    }
    SanitizeType(record);
    FixArpeggiatorAndUnison(record);
    return replaced;
}

void CProgram::FillNewPrograms(int slot, int first, int t) {
    Storage& s = *m_store;
    for (int i = first; i < kPrograms; ++i) {
        SetName(s.names[slot][i], "new program");
        memcpy(s.records[slot][i], s.templates[t], sizeof(float) * kRecordSize);
        s.records[slot][i][0] = static_cast<float>(t);
        memcpy(s.labels[slot][i], s.templateLabels, kLabelBytes);
        memset(s.sampleNames[slot][i], 0, kSampleBytes);
    }
}

bool CProgram::ReadBank(const char* path, const char* bankName) {
    constexpr const char* kInstead = "the bank was not loaded";
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, kBankFileBytes, file, "bank", kInstead)) return false;
    std::string why;
    if (ReadBankBytes(file, bankName, &why)) return true;
    LogRefused("bank", path, why, kInstead);
    return false;
}

bool CProgram::ReadBankBytes(std::span<const uint8_t> file, const char* bankName, std::string* why) {
    if (file.size() < static_cast<size_t>(kHeaderBytes))
        return Refuse(why, "shorter than a bank header (" + std::to_string(file.size()) + " bytes)");
    if (file.size() > static_cast<size_t>(kBankFileBytes))
        return Refuse(why, "larger than a bank");
    const int version = file[32];
    const int kind = file[33];
    if (!IsKnownVersion(version)) return Refuse(why, "unknown version " + std::to_string(version));
    if (kind > 1) return Refuse(why, "unknown kind " + std::to_string(kind));
    // A bank may stop after any whole program (the rest become new
    // programs), but not inside one, and not before its first.
    const size_t programBytes = kNameSize + static_cast<size_t>(BankProgramBytes(version));
    const size_t body = file.size() - kHeaderBytes;
    if (body == 0) return Refuse(why, "no program after the header");
    if (body % programBytes != 0 || body / programBytes > static_cast<size_t>(kPrograms))
        return Refuse(why, "cut inside a program (" + std::to_string(file.size()) + " bytes for version " +
                               std::to_string(version) + ")");
    const int count = static_cast<int>(body / programBytes);

    // New programs follow the synthesis type the current part plays now.
    const int t = GetProgramType(m_currentPart);
    char name[kNameSize];
    utf8::CopyCut(name, sizeof(name), bankName ? bankName : "");

    AssignBankSlot(m_currentPart, name);
    const int slot = GetCurrentBankSlot();
    SetSlotName(slot, name);
    Storage& s = *m_store;
    memcpy(s.headers[slot], file.data(), kHeaderBytes);
    // Version 5 knew no combination banks: the parts are still bound, but
    // the slot plays as a normal bank.
    s.bankKind[slot] = version == 5 ? 0 : static_cast<uint32_t>(kind);
    if (kind == 1) {
        const int g = (m_currentPart / 4) * 4;
        for (int q = g; q < g + 4; ++q) AssignBankSlot(q, name);
    }

    const uint8_t* in = file.data() + kHeaderBytes;
    int replaced = 0;
    for (int i = 0; i < count; ++i, in += programBytes) {
        memset(s.names[slot][i], 0, kNameSize);
        CopyField(s.names[slot][i], in, kNameSize);
        replaced += DecodeBankProgram(in + kNameSize, version, s.records[slot][i], s.labels[slot][i],
                                      s.sampleNames[slot][i]);
    }
    FillNewPrograms(slot, count, t);
    for (int i = 0; i < kPrograms; ++i) LimitAssignments(s.records[slot][i]);
    LogReplaced("bank", name, replaced);
    return true;
}

// --- presets --------------------------------------------------------------------

std::string CProgram::PresetBodyProblem(const uint8_t* body, size_t size) {
    if (!body || size == 0) return "no body after the 60-byte preset header";
    const int need = FxpBodySize(body[0]);
    if (need == 0) return "unknown preset version " + std::to_string(body[0]);
    return "a preset body of " + std::to_string(size) + " bytes, version " + std::to_string(body[0]) + " has " +
           std::to_string(need);
}

bool CProgram::ParseFxpBody(const uint8_t* body, int size, char* name, float* record,
                            uint8_t* labels, uint8_t* sampleNames) {
    if (!body || size < 1) return false;
    const int version = body[0];
    const int need = FxpBodySize(version);
    if (need == 0 || size < need) return false;

    float decoded[kRecordSize];
    int replaced = 0;
    const uint8_t* blocks = DecodeBlocks(body + 36, decoded, version == 1 ? 4 : 5, replaced);
    if (version == 1) {
        FillDefaultsV20(decoded);
    } else {
        decoded[1024] = 0.0f;
        FixArpeggiatorAndUnison(decoded);
    }
    SanitizeType(decoded);
    char bodyName[kNameSize];
    CopyField(bodyName, body + 4, kNameSize);
    if (name) memcpy(name, bodyName, kNameSize);
    memcpy(record, decoded, sizeof(decoded));
    CopyLabelBlock(labels, blocks);
    CopySampleBlock(sampleNames, blocks + kLabelBytes);
    LogReplaced("preset", bodyName, replaced);
    return true;
}

bool CProgram::LoadFxpBodyToCurrent(const uint8_t* body, int size) {
    char name[kNameSize];
    Storage& s = *m_store;
    int slot = GetCurrentBankSlot();
    int program = m_currentProgram;
    if (!ParseFxpBody(body, size, name, s.records[slot][program], s.labels[slot][program],
                      s.sampleNames[slot][program]))
        return false;
    SetName(s.names[slot][program], name);
    return true;
}

// --- projects -------------------------------------------------------------------

bool CProgram::ReadProject(const char* path) {
    constexpr const char* kInstead = "the project was not loaded";
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, ProjectFileBytes(31), file, "project", kInstead)) return false;
    std::string why;
    if (ReadProjectBytes(file, path, &why)) return true;
    LogRefused("project", path, why, kInstead);
    return false;
}

bool CProgram::ReadProjectBytes(std::span<const uint8_t> file, const char* source, std::string* why) {
    if (file.size() < static_cast<size_t>(kHeaderBytes))
        return Refuse(why, "shorter than a project header (" + std::to_string(file.size()) + " bytes)");
    const int version = file[32];
    const int kind = file[33];
    if (!IsKnownVersion(version)) return Refuse(why, "unknown version " + std::to_string(version));
    if (kind > 1) return Refuse(why, "unknown kind " + std::to_string(kind));
    if (file.size() != static_cast<size_t>(ProjectFileBytes(version)))
        return Refuse(why, std::to_string(file.size()) + " bytes, a project of version " + std::to_string(version) +
                               " has " + std::to_string(ProjectFileBytes(version)));

    Storage& s = *m_store;
    for (int sl = 0; sl < kSlots; ++sl)
        for (int i = 0; i < kPrograms; ++i) memset(s.names[sl][i], 0, kNameSize);

    const uint8_t* in = file.data() + kHeaderBytes;
    const int recordBytes = ProjectRecordBytes(version);
    int replaced = 0;
    for (int i = 0; i < kPrograms; ++i) {
        memset(s.stagingNames[i], 0, kNameSize);
        CopyField(s.stagingNames[i], in, kNameSize);
        in += kNameSize;
        float* record = s.stagingRecords[i];
        memset(record, 0, sizeof(float) * kRecordSize);
        if (version < 20) {
            WidenBytes(in, record, kV5RecordBytes);
            FillDefaultsV5(record);
        } else if (version < 30) {
            DecodeBlocks(in, record, 4, replaced);
            FillDefaultsV20(record);
        } else {
            DecodeBlocks(in, record, 5, replaced);
            if (record[340] > 100.0f) record[340] = 1.0f;
        }
        SanitizeType(record);
        in += recordBytes;
        CopyLabelBlock(s.stagingLabels[i], in);
        CopySampleBlock(s.stagingSampleNames[i], in + kLabelBytes);
        in += kBlockBytes;
    }
    s.stagingKind = static_cast<uint32_t>(kind);
    NameSongBank();

    in += kPartPairs * 2;
    if (version < 31)
        for (int p = 0; p < kParts; ++p) SetPartProgram(p, 0, p);

    const bool wide = version >= 20;
    auto field = [&in, wide](int index) {
        return wide ? LoadFloat(in + index * 4) : static_cast<float>(in[index]);
    };
    for (int p = 0; p < kParts; ++p) {
        float* row = s.partTable[p];
        for (int f = 0; f < kPartFields; ++f) row[f] = field(p * kPartFields + f);
        row[14] = 0.0f;
        if (version > 30) {
            // Only a real program number is taken; anything else leaves the
            // part on program p, as older projects do.
            const float n = row[15];
            SetPartProgram(p, 0, (n >= 0.0f && n < 128.0f) ? static_cast<int>(n) : p);
        }
        float defaults[kPartFields];
        SetPartRowDefaults(p, defaults);
        for (int f = 0; f < kPartFields; ++f) row[f] = FiniteOr(row[f], defaults[f], replaced);
    }
    in += (wide ? 4 : 1) * kParts * kPartFields;
    float defaults[kGlobalFields];
    SetGlobalDefaults(defaults);
    for (int g = 0; g < kGlobalFields; ++g) s.globals[g] = FiniteOr(field(g), defaults[g], replaced);
    in += (wide ? 4 : 1) * kGlobalFields;

    if (m_sequencer)
        m_sequencer->ReadProject(in, static_cast<size_t>(file.data() + file.size() - in));
    LogReplaced("project", source, replaced);
    return true;
}

// --- templates ------------------------------------------------------------------

bool CProgram::ReadTemplate(int t, const char* fileName) {
    if (t < 0 || t >= kSynthTypes || !fileName) return false;
    char path[1024];
    ProgramPath(path, sizeof(path), fileName);
    constexpr const char* kInstead = "the built-in template stays";
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, kPresetHeaderBytes + kPresetBodyV30, file, "template", kInstead)) return false;
    std::string why;
    if (ReadTemplateBytes(t, file, &why)) return true;
    LogRefused("template", path, why, kInstead);
    return false;
}

bool CProgram::ReadTemplateBytes(int t, std::span<const uint8_t> file, std::string* why) {
    if (t < 0 || t >= kSynthTypes) return Refuse(why, "no such synthesis type");
    if (file.size() <= static_cast<size_t>(kPresetHeaderBytes))
        return Refuse(why, "shorter than a preset header (" + std::to_string(file.size()) + " bytes)");
    const std::span<const uint8_t> body = file.subspan(kPresetHeaderBytes);
    if (body.size() != static_cast<size_t>(FxpBodySize(body[0])))
        return Refuse(why, PresetBodyProblem(body.data(), body.size()));
    Storage& s = *m_store;
    if (!ParseFxpBody(body.data(), static_cast<int>(body.size()), s.templateName, s.templates[t], s.templateLabels,
                      s.templateSampleNames))
        return Refuse(why, PresetBodyProblem(body.data(), body.size()));
    s.templates[t][0] = static_cast<float>(t);
    return true;
}
