// Display texts of part-sound values, the number formatting shared with the
// mixer and global texts, and the model's reactions to a GUI edit.
//
// Every text is printed with the C locale's number format: the program never
// calls setlocale, so snprintf's decimal point is always '.'.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "engine/CTLParameter.h"
#include "engine/SafeMath.h"
#include "gui/CUIMenuResource.h"
#include "params/CPIBase.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kText = 128;

__attribute__((format(printf, 2, 3))) void Put(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(out, kText, format, args);
    va_end(args);
}

// Truncation toward zero that stays defined for any stored float.
using engine::StoredInt;

float ExpFrequency(float x) { return 20.0f * std::exp2(10.0f * x); }
float ExpRatio(float x) { return std::exp2(10.0f * x); }

struct NoteLength {
    const char* text;
    float ticks;
};
// Triplet (t) is two thirds of the straight value, dotted (-) one and a half.
constexpr NoteLength kNoteLengths[] = {
    {"1/32t  ", 8},   {"1/32   ", 12},  {"1/32-  ", 18},  {"1/16t  ", 16},
    {"1/16   ", 24},  {"1/16-  ", 36},  {"1/8t   ", 32},  {"1/8    ", 48},
    {"1/8-   ", 72},  {"1/4t   ", 64},  {"1/4    ", 96},  {"1/4-   ", 144},
    {"1/2t   ", 128}, {"1/2    ", 192}, {"1/2-   ", 288}, {"1/1t   ", 256},
    {"1/1    ", 384}, {"1/1-   ", 576}, {"2/1t   ", 512}, {"2/1    ", 768},
    {"2/1-   ", 1152}, {"4/1t   ", 1024}, {"4/1    ", 1536}, {"4/1-   ", 2304},
};
constexpr int kNoteLengthCount = static_cast<int>(sizeof(kNoteLengths) / sizeof(kNoteLengths[0]));
constexpr int kDefaultNoteLength = 4;  // "1/16   "

bool IsOneOf(int id, std::initializer_list<int> ids) {
    for (int i : ids)
        if (i == id) return true;
    return false;
}

// The seconds of an envelope or glide time, 10^(raw / 25) ms scaled.
bool IsTimeId(int id) {
    return IsOneOf(id, {145, 185, 186, 187, 189, 192, 193, 194, 196, 199, 200, 201, 203, 206, 207,
                        208, 210});
}

}  // namespace

// --- number formatting -----------------------------------------------------------

void FormatNumber(float v, int unit, char* out) {
    if (!out) return;
    const float m = std::fabs(v);
    switch (unit) {
    case kUnitPlain:
    case kUnitPercent: {
        // One precision per magnitude band: >= 10000, 1000, 100, 10, 1, 0.1, below.
        static const char* const kPlain[] = {"%5.0f", "%4.0f", "%5.1f", "%5.2f",
                                             "%5.3f", "%5.3f", "%6.4f"};
        static const char* const kPercent[] = {"%5.0f %%", "%4.0f %%", "%5.1f %%", "%5.2f %%",
                                               "%5.3f %%", "%5.3f %%", "%6.4f %%"};
        static const float kBands[] = {10000.0f, 1000.0f, 100.0f, 10.0f, 1.0f, 0.1f};
        int band = 0;
        while (band < 6 && !(m >= kBands[band])) ++band;
        snprintf(out, kText, unit == kUnitPlain ? kPlain[band] : kPercent[band], v);
        break;
    }
    case kUnitHz:
        if (m >= 20000.0f) Put(out, "%5.2f kHz", 20.0);
        else if (m >= 1000.0f) Put(out, "%5.2f kHz", v / 1000.0f);
        else if (m >= 100.0f) Put(out, "%5.1f Hz", v);
        else if (m >= 10.0f) Put(out, "%5.2f Hz", v);
        else Put(out, "%5.3f Hz", v);
        break;
    case kUnitDb:
        Put(out, "%+5.1f dB", v);
        break;
    case kUnitSeconds:
        if (m >= 100.0f) Put(out, "%3.0f s", v);
        else if (m >= 10.0f) Put(out, "%4.1f s", v);
        else if (m >= 1.0f) Put(out, "%4.2f s", v);
        else if (m >= 0.1f) Put(out, "%4.3f s", v);
        else Put(out, "%4.1f ms", v * 1000.0f);
        break;
    default:
        break;
    }
}

void FormatCents(float x, char* out) {
    if (!out) return;
    const float q = (x - 50.0f) * (x - 50.0f) / 50.0f;
    const float cents = x >= 50.0f ? 2.0f * q : -2.0f * q;
    if (q < 10.0f) Put(out, "%+5.2f ct", cents);
    else Put(out, "%+5.1f ct", cents);
}

float GetNoteLength(float x, char* out) {
    int index = StoredInt(x + 0.4f);
    if (index < 0 || index >= kNoteLengthCount) index = kDefaultNoteLength;
    if (out) std::strcpy(out, kNoteLengths[index].text);
    return kNoteLengths[index].ticks;
}

// --- display texts ---------------------------------------------------------------

const char* CPIBase::GetParameterDisplay(const float* record, int part, int id) {
    char* out = m_display;
    std::strcpy(out, "no value");
    if (!record || id < 0 || id >= kPartSoundRows) return out;

    const float raw = LoadShared(record[id]);
    const int n = StoredInt(raw);
    // Engine values of a part that does not exist, or before the engine is
    // linked, read as 0.
    const bool engine = m_engine && ValidPart(part);
    auto target = [&](int i) { return engine && i < 512 ? LoadShared(m_engine->data.partTargets[part][i]) : 0.0f; };
    auto eng = [&](int i) { return engine ? m_engine->data.PartF(part, i) : 0.0f; };
    const float t = target(id);

    switch (id) {
    case 1: case 3:
        Put(out, "%6.2f", (raw - 63.0f) / 1.27f);
        break;
    case 4: case 6:
        Put(out, "%5.2f", raw * 0.125f);
        break;
    case 7: case 8: case 9: case 10: case 11: case 12: case 15:
        Put(out, "%03.2f", t);
        break;
    case 13: case 17: case 33:
        Put(out, "%+5.3f", t);
        break;
    case 14: {
        const float f = 0.05f * std::exp2(12.0f * std::fabs(t));
        Put(out, "%+5.3f", t < 0.0f ? -f : f);
        break;
    }
    case 16: case 22: case 25: case 28: case 32:
        FormatNumber(ExpFrequency(raw / 127.0f), kUnitHz, out);
        break;
    // The dB steps are integer divisions, done in 64 bits so that a damaged
    // stored value cannot overflow.
    case 18: case 34:
        Put(out, "%+3.0f dB", static_cast<float>(40LL * n / 127 - 10));
        break;
    case 19: case 35:
        Put(out, "%5.3f", raw / 127.0f + 1e-7f);
        break;
    case 20:
        if (n == 0) Put(out, "-100 dB");
        else Put(out, "%+3d dB", static_cast<int>(80LL * n / 127 - 40));
        break;
    case 21:
        Put(out, "%+2.0f", std::floor(127.0f * (raw / 127.0f + 1e-7f - 0.5f)));
        break;
    case 23: case 26: case 29:
        Put(out, "%5.0f", ExpRatio(t));
        break;
    case 24: case 27: case 30:
        Put(out, "%+3.0f dB", static_cast<float>(n) * 70.0f / 127.0f - 50.0f);
        break;
    case 31: case 283: case 284: case 288: case 289:
        Put(out, "%3.2f", t);
        break;
    case 58: case 61: case 63:
        Put(out, "%6.2f", raw / 1.27f);
        break;
    case 59: case 64:
        Put(out, "%6.5f", t);
        break;
    case 60:
        Put(out, "%+5.2f", t * 2.0f - 1.0f);
        break;
    case 62:
        if (n == 0) Put(out, "Off");
        else Put(out, "%+3d dB", StoredInt(raw * 64.0f / 127.0f));
        break;
    case 148: case 180:
        Put(out, "%+3d", n - 48);
        break;
    case 149: case 181:
        FormatCents(raw, out);
        break;
    case 153: case 161: case 170: {
        const int fm = id == 153 ? 152 : id == 161 ? 160 : 169;
        if (record[fm] != 0.0f) Put(out, "1:%d", n / 6 + 1);
        else if (record[fm - 1] > 0.0f) Put(out, "%+3d", n - 48);
        else FormatNumber(CTLParameter::RateCurve(eng(id) + eng(148)), kUnitHz, out);
        break;
    }
    case 154: case 162: case 171: {
        const int fm = id == 154 ? 152 : id == 162 ? 160 : 169;
        if (record[fm] == 0.0f) FormatCents(raw, out);
        else Put(out, "%5.4f", std::exp2(16.0f * eng(id)));
        break;
    }
    case 188: case 195: case 202: case 209:
        Put(out, "%5.3f", eng(id));
        break;
    case 214: case 218:
        Put(out, "%4.3f", raw / 127.0f + 1e-7f);
        break;
    case 215: case 219: case 223: case 227: {
        const float sync = record[id + 1];
        if (sync == 1.0f || sync == 4.0f) GetNoteLength(raw / 127.0f * 23.0f, out);
        else Put(out, "%5.2f", CTLParameter::RateCurve(raw / 127.0f + 1e-7f) * 0.03125f);
        break;
    }
    case 230: case 234:
        Put(out, "%4.2f", eng(id) * 2.0f);
        break;
    case 279:
        Put(out, "%5.3f", CTLParameter::RateCurve(eng(279)) * 0.03125f);
        break;
    case 280:
        Put(out, " %3.2f", (raw / 127.0f + 1e-7f) * 0.1f);
        break;
    case 281: {
        const float rate = g_GlobalData.sampleRate > 0 ? static_cast<float>(g_GlobalData.sampleRate)
                                                       : 44100.0f;
        const float v = t * 4095000.0f / rate;
        if (v <= 9.9f) Put(out, "%3.1f ms", v);
        else Put(out, "%3.0f ms", v);
        break;
    }
    case 282:
        Put(out, "%5.3f", raw / 127.0f + 1e-7f);
        break;
    case 286: case 287:
        if (record[291] == 0.0f) {
            const float x = 0.99f * raw / 127.0f;
            Put(out, "%4.0f ms", x * x * 32767000.0f / 44100.0f);
        } else {
            GetNoteLength(raw / 127.0f * 10.0f, out);
        }
        break;
    case 290: case 293: {
        const float f = eng(id);
        if (f < 1000.0f) Put(out, "%3.0f Hz", f);
        else Put(out, "%4.1f k", f / 1000.0f);
        break;
    }
    case 294:
        Put(out, "%5.3f", t);
        break;
    case 295:
        Put(out, "%+3.0f dB", static_cast<float>(20LL * n / 127 - 20));
        break;
    case 296:
        Put(out, "%+3.0f dB", static_cast<float>(60LL * n / 127 - 12));
        break;
    case 298:
        Put(out, "%4.2f", std::pow(10.0f, (raw - 64.0f) * 0.03125f));
        break;
    case 324:
        if (record[323] > 0.0f) Put(out, "%+3d", n - 48);
        else FormatNumber(CTLParameter::RateCurve(eng(324) + eng(148)), kUnitHz, out);
        break;
    case 338:
        Put(out, "%+5.2f", eng(338) * 2.0f);
        break;
    case 341:
        Put(out, "%5.3f", eng(341) * 12.0f * 16.0f);
        break;
    case 390: case 391: case 392:
        Put(out, "%5.2f", raw * 0.015625f - 1.0f);
        break;
    case 394:
        Put(out, "%0.2f", raw / 127.0f);
        break;
    default:
        if (id >= 36 && id <= 55) {
            GetRoutingDepthText(part, id, raw, out);
        } else if (id >= 85 && id <= 104) {
            // A destination means nothing while its routing has no source.
            if (StoredInt(record[id - 20]) == 0) out[0] = '\0';
            else if (const char* item = CUIMenuResource::TextOfValue(120, n)) Put(out, "%s", item);
            else out[0] = '\0';
        } else if (IsTimeId(id)) {
            FormatNumber(n == 0 ? 1e-7f : std::pow(10.0f, raw / 25.0f) / 1320.0f, kUnitSeconds, out);
        } else if (m_partSound[id].list > 0) {
            const char* item =
                CUIMenuResource::ShownTextOfValue(static_cast<uint32_t>(m_partSound[id].list), n);
            Put(out, "%s", item ? item : "");
        } else {
            Put(out, "%d", n);
        }
        break;
    }
    return out;
}

// --- reactions to GUI edits --------------------------------------------------------

void CPIBase::RebuildSpectrumWaves(int part, const float* record) {
    if (!m_engine || !record || !ValidPart(part)) return;
    CEngineData& e = m_engine->data;
    // Method, raster and phase scatter as the engine holds them (integers).
    e.waves.BuildSpectrumWaveA(record, part, e.PartI(part, 330), e.PartI(part, 329),
                               e.PartI(part, 332));
    e.waves.BuildSpectrumWaveB(record, part, e.PartI(part, 342), e.PartI(part, 329),
                               e.PartI(part, 332));
}

void CPIBase::OnEditorValueChanged(int group, int id, float normalized) {
    if (group != 0 || !m_program) return;
    const int part = m_program->GetCurrentPart();
    float* record = PartRecord(part);
    if (!record) return;
    const float v = normalized * 128.0f;

    switch (id) {
    case 326: case 328: case 329: case 330: case 331: case 332: case 342:
        RebuildSpectrumWaves(part, record);
        break;
    case 155: case 163: case 172: {
        const int k = id == 155 ? 0 : id == 163 ? 1 : 2;
        if (v > 64.0f) {
            m_sampleEditOsc = k;
            if (m_gui) m_gui->OpenDialog(100, 200, 9, k);
        } else if (v > 63.0f) {
            if (m_gui) m_gui->OpenDialog(100, 120 + 80 * k, 2 + k, 0);
            if (m_engine) m_engine->data.waves.BuildUserWave(record + 1600 + 80 * k, part, id);
        }
        break;
    }
    case 182:
        if (v < 0.5f && m_gui) m_gui->OpenDialog(300, 200, 5, 0);
        break;
    default:
        break;
    }
}
