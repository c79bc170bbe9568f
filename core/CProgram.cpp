#include "core/CProgram.h"
#include "core/CProgramStorage.h"
#include "core/CSequencer.h"
#include "core/CSoundBank.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "common/base/Utf8.h"
#include "engine/CFractalSubdivide.h"
#include "engine/SafeMath.h"
#include "gui/CUIMenuResource.h"
#include "os/ORandom.h"
#include "os/OReplaceFile.h"
#include "platform/CGlobalData.h"

namespace {

// Copies at most size-1 bytes, never part of a character, and always
// terminates; the stored fields are fixed-size and may come from files
// without a terminator.
void CopyText(char* dst, size_t size, const char* src) { utf8::CopyCut(dst, size, src); }

// "%03d name" or "NN-n name" (combination banks) of program i, cut to one
// 32-byte field.
void FormatProgramText(char* out, const char* normalFormat, bool combination, int i,
                       const char* name) {
    char text[96];
    if (combination)
        snprintf(text, sizeof(text), "%02d-%1d %.31s", i / 4 + 1, i % 4 + 1, name);
    else
        snprintf(text, sizeof(text), normalFormat, i + 1, name);
    CopyText(out, CProgram::kNameSize, text);
}

void CopySlots(float* dst, const float* src, int first, int last) {
    memcpy(dst + first, src + first, sizeof(float) * static_cast<size_t>(last - first + 1));
}

const char* const kProgramTitles[8] = {"Program 1-16",   "Program 17-32", "Program 33-48",
                                       "Program 49-64",  "Program 65-80", "Program 81-96",
                                       "Program 97-112", "Program 113-128"};
const char* const kCombinationTitles[8] = {
    "Combination 1-4",   "Combination 5-8",   "Combination 9-12",  "Combination 13-16",
    "Combination 17-20", "Combination 21-24", "Combination 25-28", "Combination 29-32"};

const char* const kTemplateFiles[CProgram::kSynthTypes] = {
    "DEFprofiZAVO.fxp", "DEFmicroZAVO.fxp",  "DEFspecZAVO.fxp", "DEFfmZAVO.fxp",
    "DEFformanZAVO.fxp", "DEFwaveZAVO.fxp", "DEFanaZAVO.fxp"};

constexpr uint8_t kBankVersion = 31;

void PutFloat(uint8_t* out, float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof(bits));
    for (int b = 0; b < 4; ++b) out[b] = static_cast<uint8_t>(bits >> (8 * b));
}

// Current stored form of a record: float blocks for slots 0..511,
// 1024..1599 and 2080..2271, byte blocks (each slot rounded to an integer)
// for 512..1023 and 1600..2079. Little-endian.
void EncodeStoredRecord(const float* record, uint8_t* out) {
    auto floats = [&](int first, int last) {
        for (int i = first; i <= last; ++i, out += 4) PutFloat(out, record[i]);
    };
    auto bytes = [&](int first, int last) {
        for (int i = first; i <= last; ++i) {
            // Limited before rounding: lroundf has no defined answer for NaN
            // or values beyond a long.
            *out++ = static_cast<uint8_t>(lroundf(engine::ClampSafe(record[i], 0.0f, 255.0f)));
        }
    };
    floats(0, 511);
    bytes(512, 1023);
    floats(1024, 1599);
    bytes(1600, 2079);
    floats(2080, 2271);
}

// Slot groups that a random program takes from one source program each.
struct SlotRange {
    int first, last;
};
struct RandomGroup {
    SlotRange ranges[12];
    int count;
    int sampleOsc;    // oscillator whose multi-sample name follows, -1 none
    int waveSlot;     // its waveform slot (65 = sample)
};

const RandomGroup kRandomGroups[] = {
    {{{185, 189}, {191, 196}, {198, 203}, {205, 210}, {212, 212}, {346, 354}, {366, 383},
      {1024, 1599}, {2080, 2271}}, 9, -1, 0},
    {{{1, 2}, {148, 149}, {151, 156}, {356, 357}, {1600, 1679}}, 5, 0, 155},
    {{{3, 4}, {159, 164}, {166, 166}, {1680, 1759}}, 4, 1, 163},
    {{{5, 6}, {168, 173}, {175, 175}, {1760, 1839}}, 4, 2, 172},
    {{{7, 11}}, 1, -1, 0},
    {{{60, 60}, {62, 62}, {271, 272}}, 3, -1, 0},
    {{{16, 19}}, 1, -1, 0},
    {{{32, 35}}, 1, -1, 0},
    {{{22, 31}}, 1, -1, 0},
    {{{58, 58}, {61, 61}, {63, 64}, {323, 324}, {328, 330}, {342, 343}, {768, 1023},
      {1840, 1999}}, 8, -1, 0},
    {{{334, 337}}, 1, -1, 0},
    {{{361, 364}}, 1, -1, 0},
    {{{145, 146}, {260, 260}, {267, 269}, {340, 341}, {344, 344}}, 5, -1, 0},
    {{{15, 15}, {2000, 2079}}, 2, -1, 0},
    {{{213, 216}}, 1, -1, 0},
    {{{217, 228}}, 1, -1, 0},
    {{{292, 294}, {315, 315}}, 2, -1, 0},
    {{{278, 284}, {317, 317}}, 2, -1, 0},
    {{{285, 291}, {316, 316}}, 2, -1, 0},
};

}  // namespace

// ---------------------------------------------------------------------------

const char* CProgram::TemplateFileName(int t) { return t >= 0 && t < kSynthTypes ? kTemplateFiles[t] : nullptr; }

void CProgram::SetDefaults(float* r) {
    memset(r, 0, sizeof(float) * kRecordSize);
    auto set = [r](int first, int last, float v) {
        for (int i = first; i <= last; ++i) r[i] = v;
    };
    r[1] = r[3] = r[5] = 64;
    r[7] = 127;
    r[12] = 127;
    r[14] = 64;
    r[16] = 127;
    r[20] = r[21] = 64;
    r[32] = 127;
    r[36] = 127;
    set(37, 54, 64);
    r[55] = 127;
    r[57] = 64;
    r[65] = 5;
    r[84] = 6;
    r[85] = 22;
    r[104] = 18;
    r[146] = 2;
    r[148] = 48;
    r[149] = 50;
    r[151] = 127;
    r[153] = 48;
    r[154] = 50;
    r[159] = 127;
    r[161] = 48;
    r[162] = 50;
    r[168] = 127;
    r[170] = 48;
    r[171] = 50;
    r[177] = 127;
    r[180] = 48;
    r[181] = 50;
    r[186] = 20;
    r[188] = 127;
    r[189] = 20;
    r[193] = 20;
    r[195] = 127;
    r[196] = 20;
    r[200] = r[201] = 20;
    r[203] = 20;
    r[209] = 127;
    r[215] = r[219] = r[223] = r[227] = r[230] = 64;
    r[238] = 1;
    r[239] = 2;
    r[240] = 1;
    r[241] = 2;
    r[242] = 1;
    r[243] = 2;
    r[244] = 3;
    r[245] = 6;
    r[246] = 5;
    r[250] = 7;
    r[255] = 9;
    set(299, 306, 64);
    r[323] = 127;
    r[324] = 48;
    r[335] = 1;
    r[336] = 4;
    r[343] = 1;
    r[347] = 5;
    r[349] = 1;
    r[350] = 3;
    r[368] = 5;
    r[370] = 1;
    r[371] = 3;
    r[374] = 5;
    r[376] = 1;
    r[377] = 3;
    r[380] = 5;
    r[382] = 1;
    r[383] = 3;
    r[1025] = 0.1f;
    r[1026] = 0.2f;
    r[1027] = 0.3f;
    r[1028] = 1.0f;
    r[1089] = 1.0f;
    r[1090] = r[1091] = 0.5f;
    r[1601] = 127;
    r[1681] = 127;
    r[1761] = 127;
    r[2000] = r[2001] = 127;
    for (int base : {2081, 2145, 2209}) {
        r[base] = 0.1f;
        r[base + 1] = 0.2f;
        r[base + 2] = 0.3f;
        r[base + 3] = 1.0f;
    }
}

const float* CProgram::DefaultRecord() {
    static const std::vector<float> record = [] {
        std::vector<float> r(kRecordSize);
        SetDefaults(r.data());
        return r;
    }();
    return record.data();
}

int CProgram::TypeOf(const float* record) {
    // Slot 0 comes from files and edits; only 0..6 name a synthesis type,
    // anything else (negative, fractional junk, NaN) is taken as type 0.
    float v = record[0];
    if (!(v >= 0.0f && v <= 6.0f)) return 0;
    return static_cast<int>(v);
}

// The mix the program has always started with: master and part levels
// whose gains multiply to 1, and the reverb return at half. The level texts
// round a position on a slightly flatter curve than the gain played (about
// half a dB below it), so the master sits where its text reads "+0 dB"
// (+0.5 dB played) and the parts where theirs read "-1 dB" (-0.5 dB played).
// Projects saved earlier keep the values they hold.
constexpr float kMasterPosition = 64.0f * 128.0f / 76.0f;
constexpr float kPartPosition = 63.0f * 128.0f / 76.0f;
constexpr float kDefaultMasterLevel = kMasterPosition * kMasterPosition / 128.0f;  // about 90.77
constexpr float kDefaultPartLevel = kPartPosition * kPartPosition / 127.0f;        // about 88.65

void CProgram::SetPartRowDefaults(int part, float* row) {
    for (int f = 0; f < kPartFields; ++f) row[f] = 0.0f;
    row[2] = kDefaultPartLevel;
    row[3] = 64.0f;
    row[4] = static_cast<float>(part);
    if (part == 0) row[10] = 4.0f;
}

void CProgram::SetGlobalDefaults(float* globals) {
    for (int i = 0; i < kGlobalFields; ++i) globals[i] = 0.0f;
    globals[6] = kDefaultMasterLevel;
    globals[7] = 64.0f;
    globals[8] = 64.0f;
}

int CProgram::ClampPart(int part) { return (part >= 0 && part < kParts) ? part : 0; }

CProgram::CProgram() : m_store(std::make_unique<Storage>()) {
    Storage& s = *m_store;
    float defaults[kRecordSize];
    SetDefaults(defaults);

    for (int slot = 0; slot < kSlots; ++slot) {
        m_slotUsed[slot] = 0;
        m_partBankSlot[slot] = 0;
        m_partProgram[slot] = -1;
        memcpy(s.scratchRecord[slot], defaults, sizeof(defaults));
        memset(s.scratchLabels[slot], 0, kLabelBytes);
        memset(s.scratchSampleNames[slot], 0, kSampleBytes);
        SetPartRowDefaults(slot, s.partTable[slot]);
        memset(s.headers[slot], 0, kHeaderBytes);
        s.bankKind[slot] = 0;
        for (int p = 0; p < kPrograms; ++p) {
            snprintf(s.names[slot][p], kNameSize, "Preset %0d", p + 1);
            memcpy(s.records[slot][p], defaults, sizeof(defaults));
            memset(s.labels[slot][p], 0, kLabelBytes);
            memset(s.sampleNames[slot][p], 0, kSampleBytes);
        }
    }
    SetGlobalDefaults(s.globals);

    for (int p = 0; p < kPrograms; ++p) {
        snprintf(s.stagingNames[p], kNameSize, "Preset %0d", p + 1);
        memcpy(s.stagingRecords[p], defaults, sizeof(defaults));
        memset(s.stagingLabels[p], 0, kLabelBytes);
        memset(s.stagingSampleNames[p], 0, kSampleBytes);
    }
    s.stagingKind = 0;

    for (int i = 0; i < kPrograms; ++i) {
        snprintf(s.bankNames[i], kNameSize, "%03d %s", i + 1, "empty bank");
        s.numberedBanks[i][0] = 0;
        s.programMenuTexts[i][0] = 0;
    }
    memset(s.bankMenuTexts, 0, sizeof(s.bankMenuTexts));

    memset(s.templateName, 0, kNameSize);
    memset(s.templateLabels, 0, kLabelBytes);
    memset(s.templateSampleNames, 0, kSampleBytes);
    // A template without a file of its own is the default record of its
    // synthesis type, so every type can be initialized before any file is
    // read (template 7 is never used and stays type 0).
    for (int t = 0; t < kTemplates; ++t) {
        memcpy(s.templates[t], defaults, sizeof(defaults));
        if (t < kSynthTypes) s.templates[t][0] = static_cast<float>(t);
    }

    memset(s.clipRecord, 0, sizeof(s.clipRecord));
    memset(s.clipLabels, 0, kLabelBytes);
    memset(s.clipSampleNames, 0, kSampleBytes);
    memset(s.clipName, 0, kNameSize);
    s.clipValid = 0;

    // Every part plays slot 0 from the start, so slot 0 is in use even
    // before (or without) a factory bank: the next bank opened must not
    // land in the slot all parts are playing.
    m_slotUsed[0] = 1;
}

CProgram::~CProgram() = default;

// --- accessors --------------------------------------------------------------

float* CProgram::GetProgramRecord(int slot, int program) {
    if (slot < 0 || slot >= kSlots) slot = 0;
    if (program < 0 || program >= kPrograms) program = 0;
    return m_store->records[slot][program];
}

char* CProgram::GetProgramNameField(int slot, int program) {
    if (slot < 0 || slot >= kSlots) slot = 0;
    if (program < 0 || program >= kPrograms) program = 0;
    return m_store->names[slot][program];
}

uint8_t* CProgram::LabelsOf(int slot, int program) {
    return m_store->labels[slot & (kSlots - 1)][program & (kPrograms - 1)];
}

uint8_t* CProgram::SampleNamesOf(int slot, int program) {
    return m_store->sampleNames[slot & (kSlots - 1)][program & (kPrograms - 1)];
}

float* CProgram::GetProgramData(int part) {
    part = ClampPart(part);
    // A part without a program (-1 at construction) reads program 0.
    return GetProgramRecord(static_cast<int>(m_partBankSlot[part]), m_partProgram[part]);
}

float* CProgram::GetCurrentProgramData() { return GetProgramData(m_currentPart); }

int CProgram::GetProgramType(int part) const {
    return TypeOf(const_cast<CProgram*>(this)->GetProgramData(part));
}

float* CProgram::GetPartRow(int part) { return m_store->partTable[ClampPart(part)]; }

float* CProgram::GetGlobals() { return m_store->globals; }

int CProgram::GetPartSetting7(int part) const {
    return engine::StoredInt(m_store->partTable[ClampPart(part)][7]);
}

void CProgram::SetCurrentPart(int part) {
    if (part < 0 || part >= kParts) return;
    m_currentPart = part;
    // A part that plays nothing yet reads program 0, as GetProgramData does.
    m_currentProgram = m_partProgram[part] >= 0 ? m_partProgram[part] : 0;
}

int CProgram::GetCurrentBankSlot() const { return static_cast<int>(m_partBankSlot[m_currentPart]); }

int CProgram::GetPartBankSlot(int part) const {
    return static_cast<int>(m_partBankSlot[ClampPart(part)]);
}

int CProgram::GetPartProgramNumber(int part) const { return m_partProgram[ClampPart(part)]; }

bool CProgram::IsSlotUsed(int slot) const {
    return slot >= 0 && slot < kSlots && m_slotUsed[slot] != 0;
}

uint32_t CProgram::GetBankKind(int slot) const {
    return (slot >= 0 && slot < kSlots) ? m_store->bankKind[slot] : 0;
}

void CProgram::SetBankKind(int slot, uint32_t kind) {
    if (slot >= 0 && slot < kSlots) m_store->bankKind[slot] = kind;
}

bool CProgram::IsCombinationBank(int part) const {
    return GetBankKind(GetPartBankSlot(part)) == 1;
}

float* CProgram::GetTemplate(int t) {
    if (t < 0 || t >= kTemplates) t = 0;
    return m_store->templates[t];
}

void CProgram::SetProgram(int n) {
    if (n < 0 || n >= kPrograms) return;
    m_currentProgram = n;
    m_partProgram[m_currentPart] = n;
}

void CProgram::SetPartProgram(int part, int /*bankSlot*/, int n) {
    // The part keeps its bank slot; only the program changes.
    if (part < 0 || part >= kParts || n < 0 || n >= kPrograms) return;
    m_partProgram[part] = n;
    if (part == m_currentPart) m_currentProgram = n;
}

int CProgram::TrySetPartProgram(int part, int n) {
    if (n < 0 || n >= kPrograms || part < 0 || part >= kParts) return 0;
    SetPartProgram(part, 0, n);
    return 1;
}

// --- labels, multi-sample names, names --------------------------------------

void CProgram::GetLabel(int i, char* out) const {
    out[0] = 0;
    if (i < 0 || i >= kLabelCount) return;
    const uint8_t* labels =
        const_cast<CProgram*>(this)->LabelsOf(GetCurrentBankSlot(), m_currentProgram);
    CopyText(out, kLabelSize, reinterpret_cast<const char*>(labels + i * kLabelSize));
}

void CProgram::SetLabel(int i, const char* text) {
    if (i < 0 || i >= kLabelCount) return;
    uint8_t* labels = LabelsOf(GetCurrentBankSlot(), m_currentProgram);
    char* field = reinterpret_cast<char*>(labels + i * kLabelSize);
    memset(field, 0, kLabelSize);
    CopyText(field, kLabelSize, text);
}

void CProgram::GetSampleName(int i, char* out) const {
    out[0] = 0;
    if (i < 0 || i >= 3) return;
    const uint8_t* names =
        const_cast<CProgram*>(this)->SampleNamesOf(GetCurrentBankSlot(), m_currentProgram);
    CopyText(out, kSampleNameSize, reinterpret_cast<const char*>(names + i * kSampleNameSize));
}

void CProgram::GetPartSampleName(int part, int i, char* out) const {
    out[0] = 0;
    if (i < 0 || i >= 3) return;
    part = ClampPart(part);
    int slot = static_cast<int>(m_partBankSlot[part]);
    int program = m_partProgram[part];
    if (slot < 0 || slot >= kSlots) slot = 0;
    if (program < 0 || program >= kPrograms) program = 0;
    const uint8_t* names = const_cast<CProgram*>(this)->SampleNamesOf(slot, program);
    CopyText(out, kSampleNameSize, reinterpret_cast<const char*>(names + i * kSampleNameSize));
}

void CProgram::SetSampleName(int i, const char* text) {
    if (i < 0 || i >= 3) return;
    uint8_t* names = SampleNamesOf(GetCurrentBankSlot(), m_currentProgram);
    char* field = reinterpret_cast<char*>(names + i * kSampleNameSize);
    memset(field, 0, kSampleNameSize);
    CopyText(field, kSampleNameSize, text);
}

const char* CProgram::GetCurrentProgramName() const {
    return const_cast<CProgram*>(this)->GetProgramNameField(GetCurrentBankSlot(), m_currentProgram);
}

void CProgram::CopyProgramName(int n, char* out) const {
    CopyText(out, kNameSize,
             const_cast<CProgram*>(this)->GetProgramNameField(GetCurrentBankSlot(), n));
}

void CProgram::SetProgramName(int n, const char* text) {
    if (n < 0 || n >= kPrograms) return;
    char* field = GetProgramNameField(GetCurrentBankSlot(), n);
    memset(field, 0, kNameSize);
    CopyText(field, kNameSize, text);
}

const char* CProgram::GetBankName(int part) const {
    return m_store->bankNames[GetPartBankSlot(part)];
}

const char* CProgram::GetCurrentBankName() const { return m_currentBankName; }

void CProgram::GetSlotName(int n, char* out) const {
    if (n < 0 || n >= kPrograms) {
        CopyText(out, kNameSize, "error");
        return;
    }
    CopyText(out, kNameSize, m_store->bankNames[n]);
}

void CProgram::SetSlotName(int slot, const char* name) {
    if (slot < 0 || slot >= kSlots) return;
    memset(m_store->bankNames[slot], 0, kNameSize);
    CopyText(m_store->bankNames[slot], kNameSize, name);
}

int CProgram::NameCommon(int part, char* out) const {
    if (part < 0 || part >= kParts) {
        // Beyond the parts: the entry chosen in the numbered bank list.
        int e = m_selectedListEntry;
        CopyText(out, kNameSize, (e >= 0 && e < kPrograms) ? m_store->numberedBanks[e] : "");
        return -1;
    }
    int program = m_partProgram[part];
    if (program < 0 || program >= kPrograms) {
        CopyText(out, kNameSize, "none");
        return -1;
    }
    CopyText(out, kNameSize, m_store->names[GetPartBankSlot(part)][program]);
    return program;
}

void CProgram::GetProgramDisplayName(int part, char* out) const {
    char name[kNameSize];
    int program = NameCommon(part, name);
    if (program < 0) {
        CopyText(out, kNameSize, name);
        return;
    }
    FormatProgramText(out, "%03d %.31s", IsCombinationBank(part), program, name);
}

void CProgram::GetProgramNameOfPart(int part, char* out) const { NameCommon(part, out); }

void CProgram::SelectBankSlot(int n) {
    if (n < 0 || n >= kPrograms) return;
    m_selectedBankNumber = n;
    // The list entries read "%03d name"; the name starts at the fifth
    // character. A shorter entry gives an empty name.
    const char* entry = m_store->bankNames[n];
    CopyText(m_currentBankName, sizeof(m_currentBankName),
             strnlen(entry, kNameSize) > 4 ? entry + 4 : "");
}

void CProgram::SetCurrentNameText(const char* text) {
    CopyText(m_currentNameText, sizeof(m_currentNameText), text);
}

// --- bank slots ---------------------------------------------------------------

bool CProgram::SlotPlayedByOther(int part, int slot) const {
    for (int q = 0; q < kParts; ++q)
        if (q != part && static_cast<int>(m_partBankSlot[q]) == slot) return true;
    return false;
}

int CProgram::FirstUnusedSlot() const {
    for (int s = 0; s < kSlots; ++s)
        if (!m_slotUsed[s]) return s;
    return -1;
}

void CProgram::AssignBankSlot(int part, const char* bankName) {
    if (part < 0 || part >= kParts) return;
    char name[kNameSize];
    CopyText(name, kNameSize, bankName);
    int own = static_cast<int>(m_partBankSlot[part]);

    for (int s = 0; s < kSlots; ++s) {
        if (!m_slotUsed[s] || strncmp(m_store->bankNames[s], name, kNameSize) != 0) continue;
        if (s == own) return;
        if (!SlotPlayedByOther(part, own)) m_slotUsed[own] = 0;
        m_partBankSlot[part] = static_cast<uint32_t>(s);
        return;
    }

    if (SlotPlayedByOther(part, own)) {
        int free = FirstUnusedSlot();
        if (free < 0) return;  // no room: the part keeps its slot
        m_slotUsed[free] = 1;
        m_partBankSlot[part] = static_cast<uint32_t>(free);
        return;
    }
    m_slotUsed[own] = 0;
    int free = FirstUnusedSlot();  // at least the slot just released
    m_slotUsed[free] = 1;
    m_partBankSlot[part] = static_cast<uint32_t>(free);
}

void CProgram::ToggleCombinationBank(int part, int /*on*/) {
    part = ClampPart(part);
    int slot = GetPartBankSlot(part);
    if (m_store->bankKind[slot] == 1) {
        m_store->bankKind[slot] = 0;
        return;
    }
    char name[kNameSize];
    CopyText(name, kNameSize, m_store->bankNames[slot]);
    int g = (part / 4) * 4;
    for (int q = g; q < g + 4; ++q) AssignBankSlot(q, name);
    m_store->bankKind[GetPartBankSlot(part)] = 1;
}

// --- menus --------------------------------------------------------------------

void CProgram::FillProgramMenuTexts(CUIMenuResource& menu, int base, int slot,
                                    const char* normalFormat, char (*texts)[kNameSize]) {
    bool combination = m_store->bankKind[slot] == 1;
    for (int i = 0; i < kPrograms; ++i) {
        char name[kNameSize];
        CopyText(name, kNameSize, m_store->names[slot][i]);
        FormatProgramText(texts[i], normalFormat, combination, i, name);
        menu.SetItemText(base + 1 + i / 16, i % 16 + 1, 0, texts[i]);
    }
    const char* const* titles = combination ? kCombinationTitles : kProgramTitles;
    for (int k = 0; k < 8; ++k) menu.SetItemText(base, k + 1, 0, titles[k]);
}

void CProgram::BuildProgramMenu(CUIMenuResource& menu) {
    FillProgramMenuTexts(menu, 10040, GetCurrentBankSlot(), "%03d %.31s",
                         m_store->programMenuTexts);
}

void CProgram::BuildBankMenu(int part, CUIMenuResource& menu) {
    if (part >= 0) {
        if (part >= kParts) return;
        FillProgramMenuTexts(menu, 10060, GetPartBankSlot(part), ".%03d %.31s",
                             m_store->bankMenuTexts[part]);
        return;
    }
    int n = m_selectedBankNumber;
    if (n < 1) return;
    ReadNumberedBankNames(n);
    for (int i = 0; i < kPrograms; ++i)
        menu.SetItemText(10061 + i / 16, i % 16 + 1, 0, m_store->numberedBanks[i]);
}

void CProgram::ReadNumberedBankNames(int n) {
    // Only the names are shown, but the file is small enough to be read
    // whole (at most one bank's worth); what lies beyond is never shown.
    std::vector<uint8_t> file(static_cast<size_t>(kBankFileBytes));
    CSoundBank bank;
    int got = bank.Open(n, "rb") ? bank.ReadAvailable(file.data(), kBankFileBytes) : 0;
    bank.Close();
    PreviewBankNames(std::span<const uint8_t>(file.data(), static_cast<size_t>(got)), m_store->numberedBanks);
}

void CProgram::PreviewBankNames(std::span<const uint8_t> file, char (*entries)[kNameSize]) {
    // A bank without its whole header shows every program empty; after
    // that, each program is shown while its name is there, and the next
    // one only when the record of this one is there in full.
    bool readable = file.size() >= static_cast<size_t>(kHeaderBytes);
    const size_t skip = readable ? static_cast<size_t>(BankProgramBytes(file[32])) : 0;
    size_t at = kHeaderBytes;
    for (int i = 0; i < kPrograms; ++i) {
        if (readable && file.size() - at >= static_cast<size_t>(kNameSize)) {
            char name[kNameSize + 1] = {};
            memcpy(name, file.data() + at, kNameSize);
            FormatProgramText(entries[i], "%03d %.31s", false, i, name);
            at += kNameSize;
            readable = file.size() - at >= skip;
            at += readable ? skip : 0;
        } else {
            readable = false;
            FormatProgramText(entries[i], "%03d %.31s", false, i, "(empty)");
        }
    }
}

// --- edit operations ------------------------------------------------------------

void CProgram::InitProgram(int t) {
    // Template numbers arrive raw from commands; only 0..6 are types.
    if (t < 0 || t >= kSynthTypes) t = 0;
    int slot = GetCurrentBankSlot();
    int program = m_currentProgram;
    Storage& s = *m_store;
    snprintf(s.names[slot][program], kNameSize, "Preset %0d", program + 1);
    memcpy(s.records[slot][program], s.templates[t], sizeof(float) * kRecordSize);
    memset(s.labels[slot][program], 0, kLabelBytes);
    memset(s.sampleNames[slot][program], 0, kSampleBytes);
    s.records[slot][program][0] = static_cast<float>(t);
}

void CProgram::CopyProgram() {
    Storage& s = *m_store;
    int slot = GetCurrentBankSlot();
    int program = m_currentProgram;
    memcpy(s.clipRecord, s.records[slot][program], sizeof(s.clipRecord));
    memcpy(s.clipLabels, s.labels[slot][program], kLabelBytes);
    memcpy(s.clipSampleNames, s.sampleNames[slot][program], kSampleBytes);
    CopyText(s.clipName, kNameSize, s.names[slot][program]);
    s.clipValid = 1;
}

void CProgram::PasteProgram() {
    Storage& s = *m_store;
    if (!s.clipValid) return;
    int slot = GetCurrentBankSlot();
    int program = m_currentProgram;
    float* record = s.records[slot][program];
    int t = TypeOf(record);
    memcpy(record, s.clipRecord, sizeof(s.clipRecord));
    if (t == 0) record[0] = 0.0f;
    memcpy(s.labels[slot][program], s.clipLabels, kLabelBytes);
    memcpy(s.sampleNames[slot][program], s.clipSampleNames, kSampleBytes);
    memset(s.names[slot][program], 0, kNameSize);
    CopyText(s.names[slot][program], kNameSize, s.clipName);
}

void CProgram::InitKeepingClipboard() {
    CopyProgram();
    InitProgram(0);
    PasteProgram();
}

void CProgram::PasteSection() {
    Storage& s = *m_store;
    if (!s.clipValid) return;
    int slot = GetCurrentBankSlot();
    CopySlots(s.records[slot][m_currentProgram], s.clipRecord, 416, 767);
    memcpy(s.labels[slot][m_currentProgram], s.clipLabels, kLabelBytes);
}

void CProgram::PasteModulation() {
    Storage& s = *m_store;
    if (!s.clipValid) return;
    float* record = GetCurrentProgramData();
    if (TypeOf(s.clipRecord) != TypeOf(record)) return;
    CopySlots(record, s.clipRecord, 36, 55);
    CopySlots(record, s.clipRecord, 65, 144);
}

int CProgram::FindNewProgram() const {
    int slot = GetCurrentBankSlot();
    for (int i = 0; i < kPrograms; ++i)
        if (strncmp(m_store->names[slot][i], "new program", 11) == 0) return i;
    return kPrograms;
}

void CProgram::RandomProgram() {
    int n = FindNewProgram();
    if (n < 2) return;
    Storage& s = *m_store;
    int slot = GetCurrentBankSlot();
    int current = m_currentProgram;
    float* record = s.records[slot][current];
    for (const RandomGroup& g : kRandomGroups) {
        int source = os::Rand() % n;
        if (source == current) source = (source + 1) % n;
        const float* from = s.records[slot][source];
        for (int r = 0; r < g.count; ++r) CopySlots(record, from, g.ranges[r].first, g.ranges[r].last);
        if (g.sampleOsc >= 0 && from[g.waveSlot] == 65.0f)
            memcpy(s.sampleNames[slot][current] + g.sampleOsc * kSampleNameSize,
                   s.sampleNames[slot][source] + g.sampleOsc * kSampleNameSize, kSampleNameSize);
    }
    record[63] = static_cast<float>(os::Rand() % 128);
    record[58] = static_cast<float>(os::Rand() % 128);
    // Each curve's end point is the first value of whatever follows it in
    // the record (never written).
    CFractalSubdivide().Generate(record + 768, 0.0f, 127.0f, 128);
    CFractalSubdivide().Generate(record + 896, 0.0f, 127.0f, 128);
    CFractalSubdivide().Generate(record + 1840, 0.0f, 127.0f, 80);
    CFractalSubdivide().Generate(record + 1920, 0.0f, 127.0f, 80);
}

bool CProgram::NewBank(int t) {
    if (t < 0 || t >= kSynthTypes) t = 0;
    const char* path = nullptr;
    if (!m_dlgFile.ChooseBankFile(&path, true)) return false;
    char title[kNameSize];
    m_dlgFile.GetBankTitle(title);
    // The file is written before the store changes, so a bank that cannot
    // be saved leaves every part as it was.
    if (!WriteNewBankFile(path, title, t)) return false;

    AssignBankSlot(m_currentPart, "");
    int slot = GetCurrentBankSlot();
    SetSlotName(slot, title);
    Storage& s = *m_store;
    memset(s.headers[slot], 0, kHeaderBytes);
    CopyText(reinterpret_cast<char*>(s.headers[slot]), kNameSize, title);
    s.headers[slot][32] = kBankVersion;
    s.bankKind[slot] = 0;
    FillNewPrograms(slot, 0, t);
    m_partProgram[m_currentPart] = 0;
    m_currentProgram = 0;
    return true;
}

bool CProgram::WriteNewBankFile(const char* path, const char* bankName, int t) {
    Storage& s = *m_store;
    // Every program is the same: "new program", template t, template labels.
    constexpr size_t kProgramBytes = kNameSize + kStoredRecordBytes + kLabelBytes + kSampleBytes;
    std::vector<uint8_t> image(kHeaderBytes + kPrograms * kProgramBytes, 0);
    CopyText(reinterpret_cast<char*>(image.data()), kNameSize, bankName);
    image[32] = kBankVersion;
    image[33] = 0;
    uint8_t* program = image.data() + kHeaderBytes;
    CopyText(reinterpret_cast<char*>(program), kNameSize, "new program");
    float record[kRecordSize];
    memcpy(record, s.templates[t], sizeof(record));
    record[0] = static_cast<float>(t);
    EncodeStoredRecord(record, program + kNameSize);
    memcpy(program + kNameSize + kStoredRecordBytes, s.templateLabels, kLabelBytes);
    for (int i = 1; i < kPrograms; ++i) memcpy(program + i * kProgramBytes, program, kProgramBytes);
    return os::ReplaceFileOrSay(path, image.data(), image.size());
}

// --- writers ----------------------------------------------------------------------

namespace {

// One program as banks and projects store it: name, record, labels and
// multi-sample names.
constexpr size_t kStoredProgramBytes =
    CProgram::kNameSize + CProgram::kStoredRecordBytes + CProgram::kLabelBytes + CProgram::kSampleBytes;

uint8_t* PutProgram(uint8_t* out, const char* name, const float* record, const uint8_t* labels,
                    const uint8_t* sampleNames) {
    CopyText(reinterpret_cast<char*>(out), CProgram::kNameSize, name);
    out += CProgram::kNameSize;
    EncodeStoredRecord(record, out);
    out += CProgram::kStoredRecordBytes;
    memcpy(out, labels, CProgram::kLabelBytes);
    out += CProgram::kLabelBytes;
    memcpy(out, sampleNames, CProgram::kSampleBytes);
    return out + CProgram::kSampleBytes;
}

}  // namespace

void CProgram::BuildBankImage(std::vector<uint8_t>& out) {
    Storage& s = *m_store;
    const int slot = GetCurrentBankSlot();
    out.assign(kHeaderBytes + kPrograms * kStoredProgramBytes, 0);
    memcpy(out.data(), s.headers[slot], kHeaderBytes);
    out[32] = kBankVersion;
    out[33] = static_cast<uint8_t>(s.bankKind[slot] != 0 ? 1 : 0);
    uint8_t* at = out.data() + kHeaderBytes;
    for (int i = 0; i < kPrograms; ++i)
        at = PutProgram(at, s.names[slot][i], s.records[slot][i], LabelsOf(slot, i), SampleNamesOf(slot, i));
}

void CProgram::BuildPresetImage(std::vector<uint8_t>& out) {
    const int slot = GetCurrentBankSlot();
    const int program = m_currentProgram;
    Storage& s = *m_store;
    out.assign(kPresetHeaderBytes + kPresetBodyV30, 0);
    uint8_t* body = out.data() + kPresetHeaderBytes;
    body[0] = kBankVersion;
    PutProgram(body + 4, s.names[slot][program], s.records[slot][program], LabelsOf(slot, program),
               SampleNamesOf(slot, program));
}

bool CProgram::BuildProjectImage(std::vector<uint8_t>& out, int* homelessPart) {
    Storage& s = *m_store;
    out.assign(static_cast<size_t>(ProjectFileBytes(kBankVersion)), 0);
    const int slot = GetPartBankSlot(0);
    memcpy(out.data(), s.headers[slot], kHeaderBytes);
    out[32] = kBankVersion;
    out[33] = static_cast<uint8_t>(s.bankKind[slot] != 0 ? 1 : 0);
    uint8_t* programs = out.data() + kHeaderBytes;
    for (int i = 0; i < kPrograms; ++i)
        PutProgram(programs + i * kStoredProgramBytes, s.names[slot][i], s.records[slot][i], LabelsOf(slot, i),
                   SampleNamesOf(slot, i));

    // A project holds one bank, part 0's. A place of it is taken when a part
    // of that bank plays it, or when it holds a program of its own (anything
    // but an untouched "new program"); a part of another bank goes to its
    // own program number when that place is free or already holds the same
    // program, else to the first free place. Nothing the bank or a part
    // holds is dropped: when no place is left the save is refused.
    bool taken[kPrograms] = {};
    for (int i = 0; i < kPrograms; ++i) taken[i] = strncmp(s.names[slot][i], "new program", kNameSize) != 0;
    for (int p = 0; p < kParts; ++p) {
        const int n = GetPartProgramNumber(p);
        if (GetPartBankSlot(p) == slot && n >= 0 && n < kPrograms) taken[n] = true;
    }
    int place[kParts];
    uint8_t program[kStoredProgramBytes];
    for (int p = 0; p < kParts; ++p) {
        const int own = GetPartBankSlot(p);
        const int n = GetPartProgramNumber(p);
        place[p] = n;
        if (own == slot || n < 0 || n >= kPrograms) continue;
        PutProgram(program, s.names[own][n], s.records[own][n], LabelsOf(own, n), SampleNamesOf(own, n));
        auto holds = [&](int i) { return memcmp(programs + i * kStoredProgramBytes, program, sizeof(program)) == 0; };
        int to = -1;
        if (holds(n)) {
            to = n;
        } else if (!taken[n]) {
            to = n;
        } else {
            for (int i = 0; i < kPrograms && to < 0; ++i)
                if (holds(i)) to = i;
            for (int i = 0; i < kPrograms && to < 0; ++i)
                if (!taken[i]) to = i;
        }
        if (to < 0) {
            if (homelessPart) *homelessPart = p;
            return false;
        }
        if (!holds(to)) memcpy(programs + to * kStoredProgramBytes, program, sizeof(program));
        taken[to] = true;
        place[p] = to;
    }
    uint8_t* at = programs + kPrograms * kStoredProgramBytes + kParts * 2;
    for (int p = 0; p < kParts; ++p)
        for (int f = 0; f < kPartFields; ++f, at += 4) {
            float v = s.partTable[p][f];
            if (f == 14) v = 0.0f;
            if (f == 15) v = static_cast<float>(place[p]);
            PutFloat(at, v);
        }
    for (int g = 0; g < kGlobalFields; ++g, at += 4) PutFloat(at, s.globals[g]);
    if (m_sequencer) m_sequencer->WriteProject(at);
    return true;
}

// --- files ----------------------------------------------------------------------

bool CProgram::LoadFactory() {
    char path[1024];
    ProgramPath(path, sizeof(path), "Bank/ZavoFactory.qvb");
    // Slot 0 is marked used from construction on; the factory bank belongs
    // in it, so it is free for the read (and taken again when that fails).
    m_slotUsed[0] = 0;
    bool ok = ReadBank(path, "ZavoFactory");
    m_slotUsed[0] = 1;
    if (ok) {
        for (int p = 0; p < kParts; ++p) m_partBankSlot[p] = 0;
        for (int sl = 0; sl < kSlots; ++sl) m_slotUsed[sl] = 0;
        m_slotUsed[0] = 1;
    }
    for (int t = 0; t < kSynthTypes; ++t) ReadTemplate(t, kTemplateFiles[t]);
    return ok;
}

bool CProgram::OpenBank() {
    if (m_dialogBusy) return false;
    m_dialogBusy = 1;
    bool ok = false;
    const char* path = nullptr;
    if (m_dlgFile.ChooseBankFile(&path, false)) {
        char title[kNameSize];
        m_dlgFile.GetBankTitle(title);
        ok = ReadBank(path, title);
    }
    m_dialogBusy = 0;
    return ok;
}

bool CProgram::OpenProject() {
    const char* path = nullptr;
    if (!m_dlgFile.ChooseProjectFile(&path, false)) return false;
    return ReadProject(path);
}

void CProgram::NameSongBank() {
    Storage& s = *m_store;
    for (int p = 0; p < kPrograms; ++p) {
        memset(s.names[0][p], 0, kNameSize);
        CopyText(s.names[0][p], kNameSize, s.stagingNames[p]);
        memcpy(s.records[0][p], s.stagingRecords[p], sizeof(float) * kRecordSize);
        memcpy(s.labels[0][p], s.stagingLabels[p], kLabelBytes);
        memcpy(s.sampleNames[0][p], s.stagingSampleNames[p], kSampleBytes);
    }
    SetSlotName(0, "Song Bank");
    for (int p = 0; p < kParts; ++p) m_partBankSlot[p] = 0;
    for (int sl = 0; sl < kSlots; ++sl) {
        m_slotUsed[sl] = sl == 0;
        s.bankKind[sl] = s.stagingKind;
    }
}
