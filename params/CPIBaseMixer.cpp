// Part-mixer and global values: stored raw in the program store's part table
// and global block, applied to the engine's part settings, mixer targets and
// global cells, and printed. Also the reverb and chorus presets, the master
// reverb's derived line lengths and gains, the static voice budget and the
// MIDI volume factor.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "engine/CTLParameter.h"
#include "engine/SafeMath.h"
#include "params/CPIBase.h"
#include "platform/CGlobalData.h"

namespace {

constexpr float kTiny = 1e-7f;
constexpr int kRecordVoices = 344;
constexpr int kRecordKeyLow = 359;
constexpr int kRecordKeyHigh = 360;

// The primes from 2 to 16381 (the longest reverb line that fits its
// 16384-sample ring), then the end marker 0.
constexpr std::array<int32_t, CPIBase::kPrimeCount + 1> BuildPrimes() {
    std::array<int32_t, CPIBase::kPrimeCount + 1> out{};
    int count = 0;
    for (int32_t c = 2; c <= CPIBase::kLongestLine && count < CPIBase::kPrimeCount; ++c) {
        bool prime = true;
        for (int32_t q = 2; q * q <= c; ++q)
            if (c % q == 0) {
                prime = false;
                break;
            }
        if (prime) out[count++] = c;
    }
    out[CPIBase::kPrimeCount] = 0;
    return out;
}

constexpr std::array<int32_t, CPIBase::kPrimeCount + 1> kPrimes = BuildPrimes();
static_assert(kPrimes[CPIBase::kPrimeCount - 1] == CPIBase::kLongestLine);

// A value from a damaged record, or a modulated row without a maximum,
// saturates instead of overflowing the conversion or the rules' offsets.
using engine::StoredInt;

// The item text of n in the row's list, or the plain integer.
void ListOrNumber(char* out, size_t size, const ParameterInfo& row, int n) {
    if (row.list > 0)
        snprintf(out, size, "%s", CUIMenuResource::TextOfValue(static_cast<uint32_t>(row.list), n));
    else
        snprintf(out, size, "%d", n);
}

double SampleRate() { return g_GlobalData.sampleRate > 0 ? g_GlobalData.sampleRate : 44100; }

}  // namespace

const CPIBase::Preset CPIBase::kReverbPresets[kPresets] = {
    {"Mid-size", {57, 36, 104, 43, 91}},    {"Dark", {69, 64, 86, 28, 127}},
    {"Large", {66, 43, 67, 39, 95}},        {"Taj Mahal 1", {81, 70, 106, 88, 57}},
    {"Taj Mahal 2", {92, 70, 84, 30, 103}}, {"Concert", {65, 51, 97, 44, 57}},
    {"Small", {55, 35, 79, 39, 46}},        {"Bathroom", {39, 2, 86, 25, 126}},
    {"ShoeBox", {17, 0, 99, 6, 101}},       {"Forever", {86, 101, 91, 84, 35}},
    {"Room 1", {33, 10, 91, 25, 53}},       {"Room 2", {39, 27, 89, 9, 127}},
    {"Phased", {71, 54, 127, 63, 101}},     {"Hall 1", {65, 57, 84, 83, 73}},
    {"Hall 2", {52, 42, 84, 73, 127}},      {"Lex 1", {68, 47, 86, 33, 64}},
    {"Lex 2", {68, 56, 84, 76, 127}},       {"Bright", {64, 52, 83, 68, 0}},
    {"Small room", {23, 27, 89, 9, 127}},   {"Warehouse", {47, 27, 89, 13, 40}},
    {"QRS", {65, 57, 84, 83, 127}},         {"Empty", {55, 43, 55, 22, 25}},
    {"Great gate", {68, 43, 86, 52, 77}},   {"Shakey", {58, 12, 127, 39, 13}}};

const CPIBase::Preset CPIBase::kChorusPresets[kPresets] = {
    {"Light", {58, 44, 71, 55, 27}},        {"Detuned", {52, 102, 43, 89, 0}},
    {"Deep 1", {40, 13, 71, 127, 81}},      {"Deep 2", {31, 21, 48, 97, 99}},
    {"Box 1", {33, 28, 31, 20, 93}},        {"Box 2", {43, 127, 13, 6, 86}},
    {"Leslie", {70, 108, 29, 45, 103}},     {"Slow", {19, 106, 72, 71, 58}},
    {"Fast&Light", {83, 19, 60, 40, 0}},    {"Feedback 1", {83, 0, 25, 45, 124}},
    {"Feedback 2", {55, 0, 52, 60, 120}},   {"Dry 1", {49, 19, 112, 68, 0}},
    {"Dry 2", {54, 0, 55, 103, 0}},         {"Dry&Deep", {37, 104, 12, 110, 80}},
    {"Warm", {37, 0, 89, 110, 33}},         {"Strange 1", {102, 90, 13, 81, 102}},
    {"Strange 2", {102, 30, 11, 97, 0}},    {"Destruct 1", {127, 94, 46, 97, 51}},
    {"Destruct 2", {127, 42, 127, 30, 115}}, {"Echo 1", {45, 72, 127, 30, 115}},
    {"Echo 2", {72, 106, 127, 31, 117}},    {"Room 1", {81, 106, 91, 18, 117}},
    {"Room 2", {81, 106, 66, 40, 117}},     {"Cute", {76, 24, 7, 127, 111}}};

const int32_t* CPIBase::PrimeTable() { return kPrimes.data(); }

int32_t CPIBase::PrimeAtLeast(double x) {
    const int32_t want = StoredInt(x);
    // A line longer than the ring holds is cut to the longest that fits; the
    // end marker 0 would make a line of no length.
    if (want > kLongestLine) return kLongestLine;
    const int32_t* p = std::lower_bound(kPrimes.data(), kPrimes.data() + kPrimeCount, want);
    return *p;
}

// --- part mixer ---------------------------------------------------------------------

bool CPIBase::SetMixerParameter(int id, int part, float normalized) {
    id &= 0x3FF;
    if (!m_program || !ValidPart(part) || id >= kMixerRows) return false;
    // Non-finite values are taken as 0, as in every setter.
    const float raw = engine::FiniteOrZero(normalized * m_mixer[id].scale);
    const int n = StoredInt(static_cast<double>(raw) + 0.1);
    float* row = m_program->GetPartRow(part);
    row[id] = raw;
    if (id > 14 || !m_engine) return false;

    CEngineData& d = m_engine->data;
    float* t = d.partMixerTargets[part];
    float* record = m_program->GetProgramData(part);
    switch (id) {
    case 0:
        t[0] = n == 0 ? kTiny : DbCurve(-40.0f, 0.0f, raw) + kTiny;
        return false;
    case 1:
        t[1] = raw / 127.0f + kTiny;
        return false;
    case 2:
        t[2] = n == 0 ? kTiny
                      : DbCurve(-64.0f, 12.0f, static_cast<float>(std::sqrt(raw / 127.0f) * 127.0f)) + kTiny;
        return false;
    case 3:
        t[3] = 1.0f - raw / 127.0f + kTiny;
        return false;
    case 4:
        d.SetSettingI(part, CEngineData::kSetMidiChannel, n);
        if (m_program->IsCombinationBank(part)) {
            // The four parts of a combination group listen on one channel.
            for (int k = 0; k < 4; ++k) {
                const int q = 4 * (part / 4) + k;
                d.SetSettingI(q, CEngineData::kSetMidiChannel, n);
                m_program->GetPartRow(q)[4] = static_cast<float>(n);
            }
            Notify();
        }
        return true;
    case 5:
    case 6: {
        const int word = id;
        const int slot = id == 5 ? kRecordKeyLow : kRecordKeyHigh;
        if (n != 0) {
            d.SetSettingI(part, word, n);
            if (record) record[slot] = static_cast<float>(n);
        } else {
            // A 0 at either end clears the split: both ends, in the engine,
            // the program and the part table (else the next full apply of
            // the table would bring the old range back).
            d.SetSettingI(part, CEngineData::kSetKeyLow, 0);
            d.SetSettingI(part, CEngineData::kSetKeyHigh, 0);
            if (record) record[kRecordKeyLow] = record[kRecordKeyHigh] = 0.0f;
            row[5] = row[6] = 0.0f;
        }
        Notify();
        return true;
    }
    case 7:
        d.SetSettingI(part, 7, n);
        return true;
    case 9:
        d.SetSettingI(part, CEngineData::kSetMute, n);
        return false;
    case 10:
        m_engine->ResetPart(-1);
        d.SetSettingI(part, CEngineData::kSetVoiceCount, n);
        AllocateVoices();
        if (record) record[kRecordVoices] = static_cast<float>(n);
        return true;
    case 11: {
        // Solo is exclusive: setting it takes it from every other part.
        // Clearing it only clears this part, so re-applying the whole mixer
        // (which visits every part, most of them without solo) keeps the
        // solo that was set.
        if (n != 0) {
            for (int q = 0; q < kParts; ++q) {
                d.SetSettingI(q, CEngineData::kSetSolo, 0);
                m_program->GetPartRow(q)[11] = 0.0f;
            }
        }
        d.SetSettingI(part, CEngineData::kSetSolo, n);
        row[11] = static_cast<float>(n);
        bool any = false;
        for (int q = 0; q < kParts; ++q) any = any || d.SettingI(q, CEngineData::kSetSolo) != 0;
        for (int q = 0; q < kParts; ++q) d.SetSettingI(q, CEngineData::kSetAnySolo, any ? 1 : 0);
        Notify();
        return false;
    }
    case 14:
        d.SetSettingI(part, CEngineData::kSetOutputPair, n);
        return true;
    default:
        return false;
    }
}

float CPIBase::GetMixerParameter(int id, int part) const {
    id &= 0x3FF;
    if (!m_program || !ValidPart(part) || id >= kMixerRows) return 0.0f;
    return m_program->GetPartRow(part)[id] / m_mixer[id].scale;
}

const char* CPIBase::GetMixerParameterDisplay(int id, int part) {
    id &= 0x3FF;
    if (!m_program || !ValidPart(part) || id >= kMixerRows) {
        snprintf(m_display, sizeof(m_display), "n/a");
        return m_display;
    }
    const float* row = m_program->GetPartRow(part);
    const float raw = row[id];
    const int n = StoredInt(raw);
    switch (id) {
    case 0:
        snprintf(m_display, sizeof(m_display), "   %5.3f", raw);
        break;
    case 1:
        snprintf(m_display, sizeof(m_display), "   %5.3f", raw / 127.0f + kTiny);
        break;
    case 2:
        if (n == 0)
            snprintf(m_display, sizeof(m_display), " off");
        else
            snprintf(m_display, sizeof(m_display), " %+3.0f dB",
                     std::sqrt(raw / 127.0) * 127.0 * 76.0 * 0.0078125 - 64.0);
        break;
    case 3:
        snprintf(m_display, sizeof(m_display), "%+2.0f",
                 std::floor(127.0 * (raw / 127.0f + kTiny - 0.5f)));
        break;
    case 5:
    case 6:
        if (StoredInt(row[6]) <= StoredInt(row[5]))
            snprintf(m_display, sizeof(m_display), "-");
        else
            snprintf(m_display, sizeof(m_display), "%s", CUIMenuResource::TextOfValue(273, n));
        break;
    default:
        ListOrNumber(m_display, sizeof(m_display), m_mixer[id], n);
        break;
    }
    return m_display;
}

bool CPIBase::ApplyAllMixer() {
    bool result = false;
    if (!m_program) return result;
    for (int p = 0; p < kParts; ++p) {
        const float* row = m_program->GetPartRow(p);
        for (int id = 0; id < kMixerRows; ++id)
            result = SetMixerParameter(id, p, row[id] / m_mixer[id].scale);
    }
    return result;
}

void CPIBase::AllocateVoices() {
    if (!m_engine) return;
    CEngineData& d = m_engine->data;
    int next = 0;
    for (int p = 0; p < kParts; ++p) {
        const int count = d.SettingI(p, CEngineData::kSetVoiceCount);
        d.partActive[p] = count > 0 ? p : -1;
        for (int k = 0; k < count && next < CEngineData::kVoices; ++k) {
            d.voicePart[next] = p;
            d.voiceState[next] = CEngineData::kVoiceIdle;
            ++next;
        }
    }
    d.voicesInUse = next;
}

void CPIBase::SetPartVolumeFactor(int part, float factor) {
    if (!ValidPart(part)) return;
    m_volumeFactor[part] = factor;
    float* record = m_program ? m_program->GetProgramData(part) : nullptr;
    if (record) SetParameter(record, record[20] / m_partSound[20].scale, part, 20, false, false);
}

// --- global values ------------------------------------------------------------------

void CPIBase::SetGlobalParameter(int id, float normalized) {
    if (id < 0 || id >= kGlobalRows) return;
    SetGlobalRaw(id, normalized * m_global[id].scale);
    // Choosing a reverb or chorus preset loads its values; the choice itself
    // only names what was loaded last (the values may be edited afterwards).
    if (id == 10 || id == 17) {
        const int n = StoredInt(static_cast<double>(m_program ? m_program->GetGlobals()[id] : 0.0f) + 0.1);
        if (id == 10)
            ApplyReverbPreset(n);
        else
            ApplyChorusPreset(n);
    }
}

void CPIBase::SetGlobalRaw(int id, float raw) {
    if (!m_program) return;
    raw = engine::FiniteOrZero(raw);
    const int n = StoredInt(static_cast<double>(raw) + 0.1);
    m_program->GetGlobals()[id] = raw;
    if (id < 6 || id > 24 || !m_engine) return;

    CEngineData& d = m_engine->data;
    const float x = raw * 0.0078125f;
    const float x1 = x + kTiny;
    float* target = d.globalTargets;
    float* value = d.globalValues;
    switch (id) {
    case 6:
        target[6] = n == 0 ? kTiny : DbCurve(-64.0f, 12.0f, std::sqrt(x) * 128.0f) + kTiny;
        break;
    case 7:
        target[7] = 1.0f - x + kTiny;
        break;
    case 8:
    case 9:
        target[id] = x1;
        break;
    case 10:
    case 17:
    case 23:
    case 24:
        value[id] = static_cast<float>(n);
        break;
    case 11:
        value[11] = static_cast<float>(StoredInt(4410.0 * x + 1.0));
        snprintf(m_display, sizeof(m_display), " %4.3f s", x / 10.0);
        RecomputeAll();
        break;
    case 12:
        value[12] = n < 127 ? static_cast<float>(std::pow(2.0, raw / 10.0) * 0.05) : 999999.0f;
        RecomputeAll();
        break;
    case 13:
        value[13] = x1 * 99.0f + 1.0f;
        RecomputeAll();
        break;
    case 14:
    case 15:
    case 16:
        value[id] = x1;
        RecomputeAll();
        break;
    case 18:
        value[18] = x1 * 0.8f;
        break;
    case 19:
        value[19] = x1 * 0.1f;
        break;
    case 20:
        target[20] = x1 * x1;
        break;
    case 21:
        target[21] = x1 * x1 * x1;
        break;
    case 22:
        value[22] = raw * 0.99f * 0.0078125f + kTiny;
        break;
    default:
        break;
    }
}

float CPIBase::GetGlobalParameter(int id) const {
    if (!m_program || id < 0 || id >= kGlobalRows) return 0.0f;
    return m_program->GetGlobals()[id] / m_global[id].scale;
}

const char* CPIBase::GetGlobalParameterDisplay(int id) {
    snprintf(m_display, sizeof(m_display), "no value");
    if (!m_program || id < 0 || id >= kGlobalRows) return m_display;
    const float raw = m_program->GetGlobals()[id];
    const int n = StoredInt(raw);
    const float x = raw * 0.0078125f;
    const double sr = SampleRate();
    switch (id) {
    case 6:
        if (n == 0)
            snprintf(m_display, sizeof(m_display), " off");
        else
            snprintf(m_display, sizeof(m_display), " %+3.0f dB",
                     std::sqrt(x) * 128.0 * 76.0 * 0.0078125 - 64.0);
        break;
    case 7:
        snprintf(m_display, sizeof(m_display), "%+3d", n - 64);
        break;
    case 8:
    case 9:
        snprintf(m_display, sizeof(m_display), "   %5.3f", x + kTiny);
        break;
    case 11:
        snprintf(m_display, sizeof(m_display), " %4.3f s", (4410.0 * x + 1.0) / sr);
        break;
    case 12:
        if (n >= 127) {
            snprintf(m_display, sizeof(m_display), "endless");
        } else {
            const double t = std::pow(2.0, raw / 10.0) * 0.05;
            snprintf(m_display, sizeof(m_display), t < 100.0 ? " %4.2f s" : " %5.1f s", t);
        }
        break;
    case 13:
        snprintf(m_display, sizeof(m_display), " %4.1f m", (x + kTiny) * 99.0f + 1.0f);
        break;
    case 14:
    case 15:
    case 16:
    case 21:
        snprintf(m_display, sizeof(m_display), " %3.2f", x + kTiny);
        break;
    case 18:
        snprintf(m_display, sizeof(m_display), " %5.3f",
                 CTLParameter::RateCurve((x + kTiny) * 0.8f) * 0.03125);
        break;
    case 19:
        snprintf(m_display, sizeof(m_display), " %3.2f", (x + kTiny) * 0.1f);
        break;
    case 20: {
        const float u = x + kTiny;
        const double v = static_cast<double>(u * u) * 4095000.0 / sr;
        snprintf(m_display, sizeof(m_display), v <= 9.9 ? " %3.1f ms" : " %3.0f ms", v);
        break;
    }
    case 22:
        snprintf(m_display, sizeof(m_display), " %3.2f", raw * 0.99f * 0.0078125f + kTiny);
        break;
    case 10:
    case 17:
        if (n >= 0 && n < kPresets)
            snprintf(m_display, sizeof(m_display), "%s", (id == 10 ? kReverbPresets : kChorusPresets)[n].name);
        else
            snprintf(m_display, sizeof(m_display), "%d", n);
        break;
    default:
        ListOrNumber(m_display, sizeof(m_display), m_global[id], n);
        break;
    }
    return m_display;
}

void CPIBase::ApplyAllGlobal() {
    if (!m_program) return;
    const float* globals = m_program->GetGlobals();
    // The stored values as they stand: the preset choices must not load their
    // presets over the reverb and chorus values that were saved with them.
    for (int id = 0; id < kGlobalRows; ++id) SetGlobalRaw(id, globals[id]);
}

// --- presets ------------------------------------------------------------------------

void CPIBase::ApplyPreset(const Preset& preset, const int* ids, const int* values, int count) {
    // Each value goes in exactly as the global setter applies a raw value,
    // so the reverb ids recompute the working cells one by one.
    for (int k = 0; k < count; ++k) {
        const int id = ids[k];
        SetGlobalRaw(id, m_global[id].scale * static_cast<float>(preset.value[values[k]]) / 127.0f);
    }
    Notify();
}

void CPIBase::ApplyReverbPreset(int n) {
    if (n < 0 || n >= kPresets) return;
    // Predelay and time both follow the first value.
    static constexpr int kIds[6] = {11, 12, 13, 14, 15, 16};
    static constexpr int kValues[6] = {0, 0, 1, 2, 3, 4};
    ApplyPreset(kReverbPresets[n], kIds, kValues, 6);
}

void CPIBase::ApplyChorusPreset(int n) {
    if (n < 0 || n >= kPresets) return;
    static constexpr int kIds[5] = {18, 19, 20, 21, 22};
    static constexpr int kValues[5] = {0, 1, 2, 3, 4};
    ApplyPreset(kChorusPresets[n], kIds, kValues, 5);
}

// --- master reverb ------------------------------------------------------------------

void CPIBase::RecomputeAll() {
    if (!m_engine) return;
    CEngineData& d = m_engine->data;
    const float* value = d.globalValues;
    float* g = d.globalWork;
    const double sr = SampleRate();
    const double time = value[12];
    const double size = value[13];
    const double structure = value[14];
    const double fusion = value[15];
    const double damping = value[16];
    auto prime = [](double x) { return static_cast<float>(PrimeAtLeast(x)); };

    g[0] = value[11];
    g[1] = prime(size * sr / 340.0);
    g[2] = prime(size * sr / 340.0 * 0.894);
    for (int k = 3; k <= 6; ++k) g[k] = prime(g[k - 2] * structure);
    g[7] = prime(fusion * 2048.0);
    for (int k = 8; k <= 12; ++k) g[k] = prime(g[k - 1] * 0.79);
    g[13] = prime(fusion * 1911.0);
    for (int k = 14; k <= 18; ++k) g[k] = prime(g[k - 1] * 0.8);
    if (time > 0.0) {
        const float gain = static_cast<float>(std::pow(0.001, g[1] / (time * sr)));
        for (int k = 0; k < 6; ++k) g[19 + k] = (k % 2 == 0) ? -gain : gain;
    }
    g[49] = 1.0f;
    static constexpr float kAllpass[6] = {0.7f, 0.672f, 0.64511997f, 0.61931515f, 0.5945425f, 0.5707608f};
    for (int k = 0; k < 6; ++k) g[26 + k] = g[32 + k] = kAllpass[k];
    g[38] = static_cast<float>(1.0 - damping * 0.5);
    g[39] = 1.0f - g[38];
}
