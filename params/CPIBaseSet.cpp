// Setting a part-sound value: the raw value goes into the program record, the
// rule of its id turns it into the engine form and writes the engine cells,
// and whatever depends on it (routings, waves, shapes, voice states, the
// module-off mask) is rebuilt. Also the sample-rate change and the voice
// reset of a part.
//
// SetParameter runs on the GUI thread and on the audio thread (learned
// controllers, the assignment refresh, MIDI volume) without a lock: every
// engine cell written here is one 32-bit word, and nothing here allocates.
// The one action that opens a file, a multi-sample switch, is left to the
// GUI thread when the audio thread asks for it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "engine/CTLParameter.h"
#include "engine/SafeMath.h"
#include "engine/CTLShapes.h"
#include "params/CPIBase.h"
#include "platform/CGlobalData.h"

bool& CPIBase::AudioThreadFlag() {
    static thread_local bool onAudioThread = false;
    return onAudioThread;
}

namespace {

constexpr float kTiny = 1e-7f;
constexpr float kSemitone = 0.00520833f;  // one semitone in pitch units (octave / 192)

// Program-record and engine ids used by more than one rule.
constexpr int kModAll = 343;
constexpr int kSpectrum2 = 58;
constexpr int kSpectrum1 = 63;
constexpr int kDelayMidi = 291;
constexpr int kFirstEnvelope = 185;  // EG blocks of 7 cells: delay .. trigger
constexpr int kEnvelopeStride = 7;

// Voice control cells.
constexpr int kEnvelopeLevel = 81;    // 81, 83, 85, 87
constexpr int kEnvelopeStage = 95;    // 95, 99, 103, 107
constexpr int kLfoPhase = 111;        // 111..114
constexpr int kFilter1Request = 126;
constexpr int kFilter2Request = 134;
constexpr int kFormantRequest = 230;
constexpr int kModValues = 193;       // the per-voice modulation values cleared on a reset
constexpr int kModValueCount = 14;
// Voice audio cells of the filter states (inside the 121..143 block).
constexpr int kFilter1States = 121, kFilter1Count = 6;
constexpr int kFilter2States = 127, kFilter2Count = 6;
constexpr int kFormantStates = 133, kFormantCount = 11;
constexpr int kFormantLastState = 145;  // the render keeps one formant state past the block

constexpr int32_t kLfoRestartPhase = 0x1000000;
constexpr int kReleaseStage = 3;
constexpr float kReleaseLevel = 1e-11f;

// Part working cells of the effects.
constexpr int kDelayFilterB = 35, kDelayFilterA = 36;
constexpr int kDistortionFilter = 40;  // 40..43

// Input codes of the input-selector list values 0..21 and 30..47.
constexpr int32_t kInputCodes[48] = {
    0,    612,  616,  620,  628,  624,  632,  636,  648,  660,  672,  704,
    668,  664,  640,  644,  804,  796,  1268, 1272, 1372, 1376, -1,   -1,
    -1,   -1,   -1,   -1,   -1,   -1,   1276, 1280, 1284, 1288, 1292, 1296,
    1300, 1304, 1308, 1312, 1316, 1320, 1404, 1408, 1412, 1416, 1420, 1424};

// Oscillator ids by oscillator 0..2.
struct OscIds {
    int fm, semitone, tune, wave, scratch;
};
constexpr OscIds kOsc[3] = {{152, 153, 154, 155, 261}, {160, 161, 162, 163, 263},
                            {169, 170, 171, 172, 265}};

// A value from a damaged record, or a modulated row without a maximum,
// saturates instead of overflowing the conversion or the rules' offsets.
using engine::StoredInt;

int IntForm(float raw) { return StoredInt(static_cast<double>(raw) + 0.4999); }

float SampleRate() { return static_cast<float>(g_GlobalData.sampleRate > 0 ? g_GlobalData.sampleRate : 44100); }

float Unit(float raw) { return raw / 127.0f + kTiny; }

}  // namespace

// --- curve helpers -------------------------------------------------------------

float TimeToCoefficient(float t) {
    return static_cast<float>(1.0 - std::exp(std::log(0.2) / (t * 1000.0 / g_GlobalData.msPerBlock)));
}

float TimeToCoefficientFixed(float t) {
    return static_cast<float>(1.0 - std::exp(std::log(0.2) / (t * 1000.0 / 50.0)));
}

float DbCurve(float low, float high, float raw) {
    return static_cast<float>(std::pow(10.0, (low + (high - low) / 127.0 * raw) * 0.05));
}

float SquareLawAround50(float x) {
    const float d = x - 50.0f;
    const float q = static_cast<float>(d * d / 50.0f * 0.0001041666);
    return x >= 50.0f ? kTiny + q : kTiny - q;
}

// --- small writers ---------------------------------------------------------------

int32_t CPIBase::InputCode(int listValue) {
    if (listValue < 0 || listValue > kInputSelectorMax) return -1;
    return kInputCodes[listValue];
}

void CPIBase::SetTarget(int part, int id, float v, bool setAtOnce) {
    CEngineData& d = m_engine->data;
    StoreShared(d.partTargets[part][id], v);
    if (setAtOnce) d.SetPartF(part, id, v);
}

void CPIBase::SetRecordF(int part, int id, float v) { m_engine->data.SetPartF(part, id, v); }

void CPIBase::SetRecordI(int part, int id, int32_t v) { m_engine->data.SetPartI(part, id, v); }

void CPIBase::Notify() {
    if (!m_gui) return;
    // The GUI is only ever called from its own thread.
    if (OnAudioThread())
        m_pendingNotice.store(1, std::memory_order_release);
    else
        m_gui->NotifyParameterChanged();
}

// Sets an id again from what the program record holds, for rules whose
// engine value depends on another id's setting.
void CPIBase::Reapply(float* record, int part, int id, bool setAtOnce, bool fromUpdate) {
    SetParameter(record, record[id] / m_partSound[id].scale, part, id, setAtOnce, fromUpdate);
}

// --- SetParameter ------------------------------------------------------------------

void CPIBase::SetParameter(float* record, float normalized, int part, int id, bool setAtOnce,
                           bool fromUpdate) {
    if (!record || id < 0 || id >= kPartSoundRows) return;
    const ParameterInfo& row = m_partSound[id];
    const bool engineOk = m_engine && ValidPart(part);

    // NaN would pass every range check below ("raw > maximum" is false for
    // it) and glide in the smoothed cells for good; it and the infinities
    // are taken as 0.
    if (id >= 416) {
        const float raw = engine::FiniteOrZero(normalized * row.scale);
        StoreShared(record[id], raw);
        if (!engineOk) return;
        SetRecordF(part, id, raw);
        CEngineData& d = m_engine->data;
        switch (id) {
        case 1919:
            d.waves.BuildSpectrumWaveA(record, part, d.PartI(part, 330), d.PartI(part, 329),
                                       d.PartI(part, 332));
            break;
        case 1999:
            d.waves.BuildSpectrumWaveB(record, part, d.PartI(part, 342), d.PartI(part, 329),
                                       d.PartI(part, 332));
            break;
        case 512:
            RebuildAssignedFlags(part);
            UpdateAssignedSlice(part);
            g_TLShapes.BuildUserShape(record + 2000, part, StoredInt(record[355]));
            break;
        case 1679:
        case 1759:
        case 1839: {
            const int osc = (id - 1679) / 80;
            if (record[kOsc[osc].wave] == 64.0f)
                d.waves.BuildUserWave(record + 1600 + 80 * osc, part, kOsc[osc].wave);
            break;
        }
        default: break;
        }
        return;
    }

    float raw = engine::FiniteOrZero(normalized * row.scale);
    if (row.maximum > 0.0f && raw > row.maximum) raw = row.maximum;
    const int storedN = IntForm(raw);
    StoreShared(record[id], raw);
    if (!engineOk) return;

    // The pad's deviation reaches the engine only; integer copies that rules
    // write back into the program record use the unmodulated storedN, so a
    // program never drifts with the pad.
    int n = storedN;
    if (IsAssigned(part, id)) {
        raw = engine::FiniteOrZero(GetModulatedValue(part, id, normalized) * row.scale);
        n = IntForm(raw);
    }
    SetSoundRule(record, part, id, raw, n, storedN, setAtOnce, fromUpdate);
}

float CPIBase::GetParameter(const float* record, int part, int id) const {
    (void)part;
    if (!record || id < 0 || id >= kPartSoundRows) return 0.0f;
    return LoadShared(record[id]) / m_partSound[id].scale;
}

void CPIBase::SetSoundRule(float* record, int part, int id, float raw, int n, int storedN,
                           bool setAtOnce, bool fromUpdate) {
    CEngineData& d = m_engine->data;
    const float sr = SampleRate();
    auto storeN = [&] { record[id] = static_cast<float>(storedN); };

    switch (id) {
    case 1: case 3:
        SetTarget(part, id, (raw - 64.0f) * 1.98f / 127.0f + kTiny, setAtOnce);
        return;
    case 4: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 15: case 16: case 17:
    case 19: case 22: case 25: case 28: case 31: case 32: case 33: case 35: case 56: case 60:
    case 61: case 284: case 289:
        SetTarget(part, id, Unit(raw), setAtOnce);
        return;
    case 13: {
        const float v = Unit(raw) - static_cast<float>(std::log(sr / 44100.0) * 0.0625);
        SetTarget(part, id, std::max(0.0f, v), setAtOnce);
        return;
    }
    case 14:
        SetTarget(part, id, (raw - 64.0f) * 0.015625f + kTiny, setAtOnce);
        return;
    case 18: case 34:
        SetTarget(part, id, DbCurve(-10.0f, 30.0f, raw) + kTiny, setAtOnce);
        return;
    case 20:
        SetTarget(part, id,
                  n == 0 ? kTiny : DbCurve(-40.0f, 40.0f, raw) * m_volumeFactor[part] + kTiny,
                  setAtOnce);
        return;
    case 21:
        SetTarget(part, id, 1.0f - raw / 127.0f + kTiny, setAtOnce);
        return;
    case 23: case 26: case 29:
        SetTarget(part, id, ((raw * raw / 127.0f) - 12.7f) / 127.0f + kTiny, setAtOnce);
        return;
    case 24: case 27: case 30:
        SetTarget(part, id, DbCurve(-50.0f, 20.0f, raw) + kTiny, setAtOnce);
        return;
    case 57:
        SetTarget(part, id, 2.0f * std::clamp((raw - 64.0f) / 126.0f + kTiny, -0.5f, 0.5f),
                  setAtOnce);
        return;
    case kSpectrum2: case kSpectrum1: {
        // With "ModAll" the two spectrum values move together.
        const float v = Unit(raw);
        SetTarget(part, id, v, setAtOnce);
        if (record[kModAll] != 0.0f) {
            const int other = id == kSpectrum2 ? kSpectrum1 : kSpectrum2;
            if (!fromUpdate) record[other] = static_cast<float>(storedN);
            SetTarget(part, other, v, setAtOnce);
            Notify();
        }
        return;
    }
    case 59: {
        const float u = Unit(raw);
        SetTarget(part, id, 0.0625f * u * u, setAtOnce);
        return;
    }
    case 62:
        SetTarget(part, id, n == 0 ? 0.7f : DbCurve(0.0f, 64.0f, raw) * 0.7f + kTiny, setAtOnce);
        UpdateModuleMask(part);
        return;
    case 64: {
        const float u = Unit(raw);
        SetTarget(part, id, u * u, setAtOnce);
        return;
    }
    case 145:
        // A glide time of 0 means no glide: the coefficient 1 jumps at once.
        SetRecordF(part, id,
                   n == 0 ? 1.0f
                          : TimeToCoefficient(static_cast<float>(std::pow(10.0, raw / 25.0) / 1000.0)));
        return;
    case 146:
        SetRecordF(part, id, static_cast<float>(n) * kSemitone);
        return;
    case 148:
        if (!fromUpdate) storeN();
        SetRecordF(part, id, static_cast<float>(n - 48) * kSemitone + 0.6470571f + kTiny);
        return;
    case 149: case 181:
        SetRecordF(part, id, SquareLawAround50(raw));
        return;
    case 151: case 159: case 168: case 177: case 323: case 260:
        SetRecordF(part, id, n != 0 ? 1.0f : 0.0f);
        storeN();
        return;
    case 152: case 160: case 169: {
        const int osc = id == 152 ? 0 : (id == 160 ? 1 : 2);
        if (id != 152) SetRecordI(part, id, n != 0 ? 1 : 0);
        Reapply(record, part, kOsc[osc].semitone, setAtOnce, fromUpdate);
        Reapply(record, part, kOsc[osc].tune, setAtOnce, fromUpdate);
        Notify();
        return;
    }
    case 153: case 161: case 170:
        SetOscSemitone(record, part, id == 153 ? 0 : (id == 161 ? 1 : 2), n, storedN, fromUpdate);
        return;
    case 154: case 162: case 171:
        SetOscTune(record, part, id == 154 ? 0 : (id == 162 ? 1 : 2), raw, n, storedN);
        return;
    case 155: case 163: case 172:
        SetOscWaveform(record, part, id == 155 ? 0 : (id == 163 ? 1 : 2), id, n, storedN);
        return;
    case 156: case 164:
        SetRecordI(part, id, n != 0 ? (id == 156 ? 612 : 616) : kOscInputOff);
        storeN();
        return;
    case 166: case 175:
        SetRecordI(part, id, n != 0 ? (id == 166 ? 476 : 480) : kOscInputOff);
        storeN();
        return;
    case 179:
        SetRecordF(part, id, raw * raw * raw * 4.76837158e-7f);
        return;
    case 180: case 324:
        if (!fromUpdate) storeN();
        SetRecordF(part, id, static_cast<float>(n - 48) * kSemitone + kTiny);
        return;
    case 182:
        if (n > 0 && n < CTLShapes::kSelectable && g_TLShapes.shapes[n])
            SetRecordI(part, id, n);
        else if (n == 0 && g_TLShapes.userShapes[part])
            SetRecordI(part, id, kUserShapeTable);
        return;
    case 185: case 192: case 199: case 206:
        // Whole blocks; a delay of 0 is the integer 0.
        SetRecordI(part, id,
                   n == 0 ? 0 : StoredInt(std::pow(10.0, raw / 25.0) / g_GlobalData.msPerBlock));
        return;
    case 186: case 193: case 200: case 207:
        SetRecordF(part, id, raw / 127.0f);
        Notify();
        return;
    case 187: case 194: case 201: case 208: {
        const float v = raw / 127.0f;
        SetRecordF(part, id, v);
        if (record[id + 2] == 0.0f) SetRecordF(part, id + 2, v);
        Notify();
        return;
    }
    case 188: case 195: case 202: case 209:
        SetRecordF(part, id, Unit(raw));
        Notify();
        return;
    case 189: case 196: case 203: case 210:
        SetRecordF(part, id, n != 0 ? raw / 127.0f : d.PartF(part, id - 2));
        Notify();
        return;
    case 191: case 198: case 205: case 212:
        if (d.PartI(part, id) != n) {
            SetRecordI(part, id, n);
            ReleaseEnvelope(part, (id - kFirstEnvelope) / kEnvelopeStride);
        }
        return;
    case 213: case 217: case 221: case 225:
        if (n >= 0 && n < 7) {
            SetRecordI(part, id, n);
            UpdateModuleMask(part);
        }
        storeN();
        return;
    case 214: case 218: case 230: case 234:
        SetRecordF(part, id, Unit(raw));
        return;
    case 215: case 219: case 223: case 227: {
        const float sync = record[id + 1];
        if (sync == 1.0f || sync == 4.0f)
            SetRecordF(part, id, 1.0f / GetNoteLength(raw / 127.0f * 23.0f, nullptr));
        else
            SetRecordF(part, id, Unit(raw));
        return;
    }
    case 216: case 220: case 224: case 228: {
        if (d.PartI(part, id) != n) {
            SetRecordI(part, id, n);
            if (n == 0) {
                const int lfo = (id - 216) / 4;
                for (int v = 0; v < CEngineData::kVoices; ++v)
                    if (d.voicePart[v] == part) d.SetControlI(v, kLfoPhase + lfo, kLfoRestartPhase);
            }
        }
        storeN();
        // The rate cell means ticks or a plain rate depending on the sync:
        // read it again in the new mode.
        Reapply(record, part, id - 1, setAtOnce, fromUpdate);
        return;
    }
    case 229: case 233:
        if (d.PartI(part, id) != n) {
            SetRecordI(part, id, n);
            if (id == 229)
                ClearVoiceStates(part, kFilter1States, kFilter1Count, kFilter1Request, 2);
            else
                ClearVoiceStates(part, kFilter2States, kFilter2Count, kFilter2Request, 2);
        }
        storeN();
        return;
    case 237: case 238: case 239: case 240: case 241: case 242: case 243: case 244: case 245:
    case 246: case 247: case 248: case 249: case 250: case 253: case 254: case 255: case 256:
    case 257: case 339: case 384: case 385: {
        const int32_t code = InputCode(std::clamp(n, 0, kInputSelectorMax));
        if (code >= 0) SetRecordI(part, id, code);
        UpdateModuleMask(part);
        return;
    }
    case 267: case 268: case 269: case 278: case 285: case 292: case 328: case 329: case 330:
    case 331: case 334: case 335: case 336: case 337: case 342: case 387: case 388: case 389:
    case 393:
        SetRecordI(part, id, n);
        storeN();
        return;
    case 271:
        // A bit-reduction mask; the shift stays inside the word.
        SetRecordI(part, id, n < 1 ? 0 : static_cast<int32_t>(~0u << std::min(n, 31)));
        storeN();
        return;
    case 272:
        SetRecordI(part, id, std::clamp(n, 0, 2));
        SetDividerCells(part);
        return;
    case 279:
        SetRecordF(part, id, Unit(raw) * 0.8f);
        return;
    case 280:
        SetRecordF(part, id, Unit(raw) * 0.1f);
        return;
    case 281: {
        const float u = Unit(raw);
        SetTarget(part, id, u * u + 2e-5f, setAtOnce);
        return;
    }
    case 282: {
        const float u = Unit(raw);
        SetTarget(part, id, std::min(u * u * u, 0.97f), setAtOnce);
        return;
    }
    case 283:
        SetTarget(part, id, (raw - 64.0f) * 0.99f * 0.015625f + kTiny, setAtOnce);
        return;
    case 286: case 287:
        if (record[kDelayMidi] == 0.0f) {
            const float u = 0.99f * raw / 127.0f + kTiny;
            SetRecordF(part, id, std::min(0.99f, u * u * sr / 44100.0f));
        } else {
            SetRecordF(part, id, GetNoteLength(10.0f * Unit(raw), nullptr));
        }
        return;
    case 288:
        SetTarget(part, id, 0.99f * raw / 127.0f + kTiny, setAtOnce);
        return;
    case 290:
        SetRecordF(part, id, static_cast<float>(345.0 * std::pow(2.0, 6.0 * raw / 128.0)));
        SetDelayFilter(part);
        return;
    case kDelayMidi:
        SetRecordI(part, id, n);
        storeN();
        Reapply(record, part, 286, setAtOnce, fromUpdate);
        Reapply(record, part, 287, setAtOnce, fromUpdate);
        Notify();
        return;
    case 293:
        SetRecordF(part, id, static_cast<float>(40.0 * std::pow(2.0, 8.0 * raw / 127.0)));
        SetDistortionFilters(part);
        return;
    case 294:
        SetTarget(part, id, Unit(raw), setAtOnce);
        return;
    case 295:
        SetTarget(part, id, DbCurve(-20.0f, 0.0f, raw) + kTiny, setAtOnce);
        return;
    case 296:
        SetTarget(part, id, DbCurve(-12.0f, 60.0f, raw) * 0.03125f + kTiny, setAtOnce);
        return;
    case 298:
        SetRecordF(part, id,
                   TimeToCoefficientFixed(static_cast<float>(std::pow(10.0, (raw - 64.0f) * 0.03125))));
        return;
    case 299: case 300: case 301: case 302: case 303: case 304: case 305: case 306:
        SetRecordF(part, id, raw / 127.0f);
        if (setAtOnce) SetRecordF(part, id + 8, raw / 127.0f);
        return;
    case 315: case 316: case 317:
        SetRecordI(part, id, n);
        storeN();
        UpdateModuleMask(part);
        return;
    case 318: case 319: case 320: case 321:
        SetRecordI(part, id, n == 0 ? 1 : 5);
        storeN();
        return;
    case 325: case 333:
        SetRecordI(part, id, 0);
        return;
    case 326: case 332: case 356: case 358:
        SetRecordI(part, id, n != 0 ? 1 : 0);
        storeN();
        return;
    case 327:
        if (d.PartI(part, id) != n) {
            SetRecordI(part, id, n);
            ClearVoiceStates(part, kFormantStates, kFormantCount, kFormantRequest, 1);
        }
        return;
    case 338:
        SetRecordF(part, id, (raw - 64.0f) * 0.015625f * 0.25f + kTiny);
        return;
    case 340:
        SetRecordI(part, id, n);
        return;
    case 341: {
        const float u = Unit(raw);
        SetRecordF(part, id, 0.0625f * u * u);
        return;
    }
    case kModAll:
        SetRecordF(part, id, n != 0 ? 1.0f : 0.0f);
        storeN();
        if (n != 0) {
            record[kSpectrum2] = record[kSpectrum1];
            Reapply(record, part, kSpectrum2, setAtOnce, fromUpdate);
            Notify();
        }
        return;
    case 344: {
        const int voices = (n < 1 || n > 32) ? 8 : n;
        if (voices != d.SettingI(part, CEngineData::kSetVoiceCount)) {
            if (m_program) m_program->GetPartRow(part)[CEngineData::kSetVoiceCount] = static_cast<float>(voices);
            d.SetSettingI(part, CEngineData::kSetVoiceCount, voices);
            AllocateVoices();
        }
        record[id] = static_cast<float>((storedN < 1 || storedN > 32) ? 8 : storedN);
        return;
    }
    case 346: case 347: case 348: case 349: case 350: case 351: case 352: case 353: case 354:
    case 366: case 367: case 368: case 369: case 370: case 371: case 372: case 373: case 374:
    case 375: case 376: case 377: case 378: case 379: case 380: case 381: case 382: case 383:
    case 396:
        SetRecordF(part, id, raw);
        return;
    case 357:
        SetRecordF(part, id, Unit(raw));
        return;
    case 361: case 362: case 363:
        SetTarget(part, id, std::min(raw * 0.0078125f + kTiny, 1.0f), setAtOnce);
        return;
    case 364: case 365:
        if (n >= 0 && n <= 15) {
            SetRecordI(part, id, n);
            storeN();
        }
        return;
    case 390: case 391: case 392:
        SetRecordF(part, id, static_cast<float>(std::pow(2.0, (raw * 0.0078125 - 0.5) * 8.0)));
        return;
    case 394: {
        // The reverb level of a program drives the part's reverb send. The
        // part table keeps mixer units (the send curve runs from -40 dB), so
        // the level is stored as the mixer value of the same gain; below
        // the mixer's range it is the mixer's "off".
        const float v = DbCurve(-60.0f, 0.0f, raw) + kTiny;
        d.partMixerTargets[part][CEngineData::kSetReverbSend] = v;
        if (m_program) {
            const double db = -60.0 + 60.0 / 127.0 * raw;
            const double mixer = std::clamp((db + 40.0) * 127.0 / 40.0, 0.0, 127.0);
            m_program->GetPartRow(part)[CEngineData::kSetReverbSend] = static_cast<float>(mixer);
        }
        return;
    }
    case 395:
        if (m_program) m_program->GetPartRow(part)[CEngineData::kSetMute] = static_cast<float>(n);
        d.SetSettingI(part, CEngineData::kSetMute, n);
        return;
    case 36: case 37: case 38: case 39: case 40: case 41: case 42: case 43: case 44: case 45:
    case 46: case 47: case 48: case 49: case 50: case 51: case 52: case 53: case 54: case 55:
        UpdateRoutingDepth(part, id, raw);
        return;
    default:
        break;
    }
    if (id >= 65 && id <= 84)
        OnRoutingSourceChanged(part, id, n);
    else if (id >= 85 && id <= 104)
        OnRoutingDestinationChanged(part, id, n);
    // The routing's other fields read differently now (the amount's unit,
    // the destination shown only with a source): its row is drawn anew.
    if (id >= 65 && id <= 104 && !fromUpdate) Notify();
    // Everything else is stored only.
}

// --- oscillators -------------------------------------------------------------------

// In FM mode the semitone value picks an integer frequency ratio m (1 per six
// semitone steps); the ratio and the stored tune are kept in the scratch
// slots r, r + 1 of the record for the tune rule.
void CPIBase::SetOscSemitone(float* record, int part, int osc, int n, int storedN,
                             bool fromUpdate) {
    const OscIds& o = kOsc[osc];
    if (!fromUpdate) record[o.semitone] = static_cast<float>(storedN);
    if (record[o.fm] == 0.0f) {
        SetRecordF(part, o.semitone, static_cast<float>(n - 48) * kSemitone + kTiny);
        return;
    }
    const int m = std::max(1, n / 6 + 1);
    SetRecordI(part, o.scratch, m);
    record[o.scratch] = static_cast<float>(m);
    SetRecordF(part, o.semitone, static_cast<float>(std::log(static_cast<double>(m)) / 11.090355 + kTiny));
    const double tune = record[o.scratch + 1];
    SetRecordF(part, o.tune,
               static_cast<float>(std::log((m + 1.0) / m) * tune / 1109.0355 + kTiny));
}

void CPIBase::SetOscTune(float* record, int part, int osc, float raw, int n, int storedN) {
    const OscIds& o = kOsc[osc];
    if (record[o.fm] == 0.0f) {
        SetRecordF(part, o.tune, SquareLawAround50(raw));
        return;
    }
    // A ratio below 1 (never written by the semitone rule; a damaged record)
    // would reach the logarithm with a zero or negative argument.
    if (!(record[o.scratch] >= 1.0f)) record[o.scratch] = 1.0f;
    const double m = record[o.scratch];
    SetRecordI(part, o.scratch + 1, n);
    SetRecordF(part, o.tune, static_cast<float>(std::log((m + 1.0) / m) * raw / 1109.0355 + kTiny));
    record[o.scratch + 1] = static_cast<float>(storedN);
}

void CPIBase::SetOscWaveform(float* record, int part, int osc, int id, int n, int storedN) {
    CEngineData& d = m_engine->data;
    if (n < 65) {
        const int wave = std::max(0, n);
        SetRecordI(part, id, d.waves.waves[wave] ? wave : 0);
        record[id] = static_cast<float>(storedN);
        d.waves.BuildShapeWave(part, wave, id);
        return;
    }
    SetRecordI(part, id, 65);
    if (OnAudioThread())
        m_pendingSample[part][osc].store(1, std::memory_order_release);
    else
        SwitchMultiSample(part, osc);
}

void CPIBase::SwitchMultiSample(int part, int osc) {
    if (!m_program || !m_engine) return;
    char path[CProgram::kSampleNameSize + 1] = {};
    // The part's own program: parts are loaded without becoming current.
    m_program->GetPartSampleName(part, osc, path);
    m_engine->MultiSample(part, osc).OpenIfChanged(path);
}

void CPIBase::ServicePendingRequests() {
    if (OnAudioThread()) return;
    if (m_pendingNotice.exchange(0, std::memory_order_acq_rel) && m_gui) m_gui->NotifyParameterChanged();
    for (int p = 0; p < kParts; ++p)
        for (int k = 0; k < 3; ++k)
            if (m_pendingSample[p][k].exchange(0, std::memory_order_acq_rel)) SwitchMultiSample(p, k);
}

bool CPIBase::HasPendingRequest(int part, int osc) const {
    if (!ValidPart(part) || osc < 0 || osc > 2) return false;
    return m_pendingSample[part][osc].load(std::memory_order_acquire) != 0;
}

// --- derived cells -----------------------------------------------------------------

void CPIBase::SetDividerCells(int part) {
    CEngineData& d = m_engine->data;
    const int div = std::clamp(d.PartI(part, 272), 0, 2);
    const float bs = static_cast<float>(g_GlobalData.blockSize > 0 ? g_GlobalData.blockSize : 32);
    static constexpr float kA[3] = {0.0f, 0.0625f, 0.125f};
    static constexpr float kB[3] = {0.0f, 0.1f, 0.2f};
    d.SetPartF(part, 273, kA[div]);
    d.SetPartF(part, 274, kB[div]);
    d.SetPartF(part, 277, static_cast<float>(1 << div) / bs);
}

namespace {

// One-pole low pass a and its gain b = 1 + a for cutoff f.
float OnePolePole(double f, double sr) {
    const double c = std::cos(2.0 * std::numbers::pi * f / sr);
    const double k = 2.0 - c;
    return static_cast<float>(std::sqrt(k * k - 1.0) - k);
}

}  // namespace

void CPIBase::SetDelayFilter(int part) {
    CEngineData& d = m_engine->data;
    const double f = d.PartF(part, 290);
    const double sr = SampleRate();
    float a = 0.0f;
    float b = 1.0f;
    // At or above half the rate the design folds the cutoff back down: the
    // filter is left open instead.
    if (!(f > 22000.0 || f >= 0.5 * sr)) {
        a = OnePolePole(f, sr);
        b = 1.0f + a;
    }
    d.partWork[part][kDelayFilterB] = b;
    d.partWork[part][kDelayFilterA] = a;
}

void CPIBase::SetDistortionFilters(int part) {
    CEngineData& d = m_engine->data;
    const double f = d.PartF(part, 293);
    const double sr = SampleRate();
    const float a = OnePolePole(f, sr);
    const float g = static_cast<float>(1.0 - f / (sr * 0.5));
    float* w = d.partWork[part] + kDistortionFilter;
    w[0] = a + 1.0f;
    w[1] = a;
    w[2] = 2.0f - g;
    w[3] = g;
}

void CPIBase::UpdateModuleMask(int part) {
    if (!m_engine || !ValidPart(part)) return;
    CEngineData& d = m_engine->data;
    static constexpr int kInputs[] = {237, 238, 239, 240, 241, 250, 255, 248, 249, 253, 254,
                                      242, 243, 244, 245, 246, 247, 257, 256, 339, 384, 385};
    const bool secondGroup = d.partRecord[part][245] != 0 || d.partRecord[part][246] != 0;
    uint32_t mask = 0xFFFFFFFFu;
    for (int id : kInputs) {
        uint32_t used = 0;
        switch (d.PartI(part, id)) {
        case 612: case 1404: case 1408: used = 0x1; break;
        case 616: case 1412: case 1416: used = 0x2; break;
        case 620: case 1420: case 1424: used = 0x4; break;
        case 624: case 628: used = 0x10; break;
        case 632: used = 0x8; break;
        case 636: case 796: used = secondGroup ? 0x60 : 0x20; break;
        case 640: used = 0x20; break;
        case 644: used = 0x60; break;
        case 648: used = 0x80; break;
        case 660: used = 0x200; break;
        case 664: used = 0x1000; break;
        case 668: used = 0x2000; break;
        case 672: case 676: used = 0x100; break;
        case 704: used = 0x800; break;
        case 804: case 1372: case 1376: used = 0x4000; break;
        case 1268: used = 0x8000; break;
        default: break;
        }
        mask &= ~used;
    }
    for (int id : {213, 217, 221, 225})
        if (d.PartI(part, id) == 6) mask &= ~0x10u;
    if (d.partTargets[part][62] > 0.7f) mask &= ~0x400u;
    if (d.PartI(part, 315) != 0) mask &= ~0x10000000u;
    if (d.PartI(part, 317) != 0) mask &= ~0x40000000u;
    if (d.PartI(part, 316) != 0) mask &= ~0x20000000u;
    d.partRecord[part][270] = mask;
}

// --- voices ------------------------------------------------------------------------

void CPIBase::ClearVoiceStates(int part, int first, int count, int flagCell, int32_t flag) {
    CEngineData& d = m_engine->data;
    for (int v = 0; v < CEngineData::kVoices; ++v) {
        if (d.voicePart[v] != part) continue;
        for (int c = first; c < first + count; ++c) d.SetAudioF(v, c, kTiny);
        if (first == kFormantStates) d.SetAudioF(v, kFormantLastState, kTiny);
        d.SetControlI(v, flagCell, flag);
    }
}

void CPIBase::ReleaseEnvelope(int part, int envelope) {
    CEngineData& d = m_engine->data;
    for (int v = 0; v < CEngineData::kVoices; ++v) {
        if (d.voicePart[v] != part) continue;
        d.SetControlI(v, kEnvelopeStage + 4 * envelope, kReleaseStage);
        d.SetControlF(v, kEnvelopeLevel + 2 * envelope, kReleaseLevel);
    }
}

void CPIBase::ResetPartVoices(int part) {
    if (!m_engine || !ValidPart(part)) return;
    CEngineData& d = m_engine->data;
    ClearVoiceStates(part, kFilter1States, kFilter1Count, kFilter1Request, 2);
    ClearVoiceStates(part, kFilter2States, kFilter2Count, kFilter2Request, 2);
    ClearVoiceStates(part, kFormantStates, kFormantCount, kFormantRequest, 1);
    for (int e = 0; e < 4; ++e) ReleaseEnvelope(part, e);
    for (int v = 0; v < CEngineData::kVoices; ++v) {
        if (d.voicePart[v] != part) continue;
        for (int c = kModValues; c < kModValues + kModValueCount; ++c) d.SetControlF(v, c, kTiny);
    }
}

// --- sample rate -------------------------------------------------------------------

void CPIBase::SetSampleRate(int rate) {
    if (rate <= 0) return;
    g_GlobalData.SetSampleRate(rate);
    if (g_GlobalData.blockSize > 0) g_GlobalData.inverseBlock = 1.0f / static_cast<float>(g_GlobalData.blockSize);
    g_TLParameter.Build();
    if (m_engine)
        for (int p = 0; p < kParts; ++p) SetDividerCells(p);
    RecomputeAll();
}
