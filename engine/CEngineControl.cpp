// The block control stage: once per engine block it turns the part records
// and the voices' note data into the values the per-sample render reads.
// Everything here runs per block; values that change within a block reach
// the render as a value and a per-sample step, so the render itself only
// adds. Every curve is a segment-table lookup; powers run only where a
// multi-segment envelope changes segment, for the terrain filter and for the
// multi-sample layer values.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <emmintrin.h>
#include <iterator>
#include <type_traits>
#include <xmmintrin.h>

#include "engine/CEngine.h"
#include "engine/CTLLFOWaves.h"
#include "engine/CTLParameter.h"
#include "engine/ControlStage.h"
#include "engine/EffectMath.h"
#include "engine/EngineCells.h"
#include "engine/SafeMath.h"
#include "platform/CGlobalData.h"

using namespace engine;
using namespace engine::control_stage;

namespace {

// The part record words a part's control values are taken from, in runs
// (361..363 are left out: the part's smoothing moves them every block, and
// they reach the voices directly).
struct KeyRun {
    int from, to;
};
constexpr KeyRun kKeyRuns[] = {{65, 125}, {155, 173}, {185, 234}, {270, 273}, {318, 322}, {347, 361}, {364, 397}};
constexpr int KeyWords()
{
    int n = 0;
    for (const KeyRun& r : kKeyRuns)
        n += r.to - r.from;
    return n;
}
static_assert(KeyWords() == PartControl::kKeyWords);

bool SameKey(const uint32_t* key, const uint32_t* record)
{
    for (const KeyRun& r : kKeyRuns) {
        const size_t n = static_cast<size_t>(r.to - r.from);
        if (std::memcmp(key, record + r.from, n * sizeof(uint32_t)) != 0)
            return false;
        key += n;
    }
    return true;
}

void TakeKey(uint32_t* key, const uint32_t* record)
{
    for (const KeyRun& r : kKeyRuns) {
        const size_t n = static_cast<size_t>(r.to - r.from);
        std::memcpy(key, record + r.from, n * sizeof(uint32_t));
        key += n;
    }
}

// A set of voice control cells.
struct CellSet {
    uint64_t bits[(CEngineData::kVoiceControlCells + 63) / 64] = {};
    void Add(int cell) { bits[cell >> 6] |= uint64_t{1} << (cell & 63); }
    bool Has(int cell) const { return ((bits[cell >> 6] >> (cell & 63)) & 1u) != 0; }
};

// ClampSafe in lanes: x within lo..hi, hi above, lo below, nanValue for NaN.
__m128 ClampSafe4(__m128 x, float lo, float hi, float nanValue)
{
    const __m128 l = _mm_set1_ps(lo), h = _mm_set1_ps(hi);
    const __m128 ge = _mm_cmpge_ps(x, l);
    const __m128 le = _mm_cmple_ps(x, h);
    const __m128 lt = _mm_cmplt_ps(x, l);
    const __m128 inside = _mm_or_ps(_mm_and_ps(le, x), _mm_andnot_ps(le, h));
    const __m128 outside = _mm_or_ps(_mm_and_ps(lt, l), _mm_andnot_ps(lt, _mm_set1_ps(nanValue)));
    return _mm_or_ps(_mm_and_ps(ge, inside), _mm_andnot_ps(ge, outside));
}

// CTLBase::Evaluate in lanes: the segment index of each lane (y rounded and
// limited to 0..n - 1, NaN reading segment 0) ...
struct Index4 {
    alignas(16) int32_t at[4];
    Index4(__m128 y, int n)
    {
        __m128 c = _mm_max_ps(y, _mm_setzero_ps());  // y > 0 ? y : 0
        c = _mm_min_ps(c, _mm_set1_ps(static_cast<float>(n - 1)));
        _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_cvttps_epi32(_mm_add_ps(c, _mm_set1_ps(0.5f))));
    }
};
// ... and the line of each lane's segment at y.
__m128 Evaluate4(const CTLBase::Segment* table, const Index4& i, __m128 y)
{
    const __m128 slope = _mm_setr_ps(table[i.at[0]].slope, table[i.at[1]].slope, table[i.at[2]].slope,
                                     table[i.at[3]].slope);
    const __m128 offset = _mm_setr_ps(table[i.at[0]].offset, table[i.at[1]].offset, table[i.at[2]].offset,
                                      table[i.at[3]].offset);
    return _mm_add_ps(_mm_mul_ps(y, slope), offset);
}

// One cell of up to four records as lanes (the missing lanes repeat the
// first record), and back.
struct Records4 {
    uint32_t* r[4];
    int count;
    __m128 Get(int cell) const
    {
        return _mm_setr_ps(std::bit_cast<float>(r[0][cell]), std::bit_cast<float>(r[1][cell]),
                           std::bit_cast<float>(r[2][cell]), std::bit_cast<float>(r[3][cell]));
    }
    void Set(int cell, __m128 x)
    {
        alignas(16) uint32_t t[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(t), _mm_castps_si128(x));
        for (int j = 0; j < count; ++j)
            r[j][cell] = t[j];
    }
};

// A value where it is finite (below infinity in size; NaN compares
// false), the fallback elsewhere.
__m128 FiniteOr(__m128 value, __m128 fallback)
{
    const __m128 size = _mm_and_ps(value, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    const __m128 finite = _mm_cmplt_ps(size, _mm_castsi128_ps(_mm_set1_epi32(0x7F800000)));
    return _mm_or_ps(_mm_and_ps(finite, value), _mm_andnot_ps(finite, fallback));
}

// Four float ramps at once (RampF on the value cells first, first + 2,
// first + 4 and first + 6, toward the four targets in that order): the
// same operations on each, in lanes.
void RampF4(Cells a, int first, __m128 target, float factor)
{
    const __m128 low = a.F4(first);  // value, step, value, step
    const __m128 high = a.F4(first + 4);
    const __m128 value = FiniteOr(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)), target);
    const __m128 step = _mm_mul_ps(_mm_sub_ps(target, value), _mm_set1_ps(factor));
    a.SetF4(first, _mm_unpacklo_ps(value, step));
    a.SetF4(first + 4, _mm_unpackhi_ps(value, step));
}

// Voice cells that the multiplicative accumulators 208.. turn into gains.
constexpr int kGainTarget[18] = {7, 8, 9, 10, 11, 12, 15, 20, 62, 24, 27, 30, 18, 34, 226, 227, 228, 229};

} // namespace

// ---------------------------------------------------------------------------

void CEngine::ControlTick()
{
    data.blockCounter.fetch_add(1, std::memory_order_relaxed);
    g_Constants.timeScale = 1.0f;
    SmoothPartParameters();
    // The per-voice stages; with no voice to control they do nothing.
    ControlVoices();
    ControlChorusLFO();
    ControlPartEffects();
    data.globalValues[CEngineData::kGlideCell] = 0.05f;
    if (data.blockCounter % 100 == 0) {
        Glide8DValues();
        UpdateMeters();
    }
}

// ---------------------------------------------------------------------------

void CEngine::SmoothPartParameters()
{
    CEngineData& d = data;
    const float c = d.globalValues[CEngineData::kGlideCell];
    for (int cell : kSmoothedGlobalCells)
        d.globalValues[cell] = Glide(d.globalValues[cell], d.globalTargets[cell], c);

    for (int p = 0; p < kParts; ++p) {
        if (d.partActive[p] != p || partSounding[p] == 0)
            continue;
        for (int word : {0, 1, 3})
            d.SetSettingF(p, word, Glide(d.SettingF(p, word), d.partMixerTargets[p][word], c));
        const float level = PartSilenced(d, p) ? 1e-5f : d.partMixerTargets[p][2];
        d.SetSettingF(p, 2, Glide(d.SettingF(p, 2), level, c));

        Cells P{d.partRecord[p]};
        const int div = Divider(P);
        P.SetU(275, 1u << div);
        P.SetU(276, 0xFFFFFFFFu << div);
        P.SetF(147, P.F(148) + P.F(149) + P.F(273));
        P.SetF(150, P.F(153) + P.F(154) + P.F(147));
        P.SetF(158, P.F(161) + P.F(162) + P.F(147));
        P.SetF(167, P.F(170) + P.F(171) + P.F(147));
        P.SetF(176, P.F(180) + P.F(181) + P.F(147));
        P.SetF(322, P.F(324) + P.F(147));
        const float* target = d.partTargets[p];
        for (int id = 1; id <= 64; ++id)
            P.SetF(id, Glide(P.F(id), target[id], c));
        for (int id : kSmoothedPartCells)
            P.SetF(id, Glide(P.F(id), target[id], c));
    }
}

void CEngine::RepairSmoothedCells(int part)
{
    CEngineData& d = data;
    const bool all = part < 0 || part >= kParts;
    for (int p = 0; p < kParts; ++p) {
        if (!all && p != part)
            continue;
        for (int word = 0; word < kSmoothedMixerWords; ++word) {
            float v = d.SettingF(p, word);
            RepairCell(v, d.partMixerTargets[p][word]);
            d.SetSettingF(p, word, v);
        }
        auto repair = [&](int id) {
            float v = d.PartF(p, id);
            RepairCell(v, d.partTargets[p][id]);
            d.SetPartF(p, id, v);
        };
        for (int id = 1; id <= 64; ++id)
            repair(id);
        for (int id : kSmoothedPartCells)
            repair(id);
    }
    if (all)
        for (int cell : kSmoothedGlobalCells)
            RepairCell(d.globalValues[cell], d.globalTargets[cell]);
}

// ---------------------------------------------------------------------------

// The per-voice stages run part by part: what every voice of a part reads
// from the part record (decoded list values, routes, table lookups of part
// values) is taken once per part, then each voice goes through all stages
// while its records are in the cache. Voices touch only their own records
// (and the filters' routing cells of the part record, the same for each
// voice), so the order changes no result: every voice gets the arithmetic
// of the stages one voice at a time, operation for operation.

void CEngine::ControlVoices()
{
    uint8_t voices[kParts][kVoices];
    int counts[kParts] = {};
    ForEachVoice(data, [&](int v, int part, Cells, Cells, Cells) {
        voices[part][counts[part]++] = static_cast<uint8_t>(v);
    });
    // Most accumulators stay at 1 (no route multiplies them): their gain is
    // the same table value for every voice.
    const float unitGain = Lookup(g_TLParameter.decade, 1.0f, 512.0f);
    const float tempo = LoadTempo(tempoIncrement);
    for (int p = 0; p < kParts; ++p) {
        if (counts[p] == 0)
            continue;
        PartControl& pc = partControls[p];
        SetUpPartControl(p, tempo, unitGain, pc);
        // Up to four voices at a time: the filter set-ups run in lanes.
        for (int i = 0; i < counts[p]; i += 4) {
            const uint8_t* group = voices[p] + i;
            const int n = std::min(4, counts[p] - i);
            for (int j = 0; j < n; ++j) {
                ControlVoicePitch(pc, group[j], unitGain);
                ControlVoiceEnvelopesLFOs(pc, group[j], tempo);
                ControlVoiceIncrements(pc, group[j]);
            }
            for (int filter = 0; filter < 2; ++filter) {
                if ((pc.off & kFilter[filter].offBit) != 0)
                    continue;
                if (pc.filterPlan[filter].lanes)
                    SetUpFilterLanes(pc, group, n, filter);
                else
                    for (int j = 0; j < n; ++j)
                        SetUpFilter(pc, group[j], filter);
            }
            for (int j = 0; j < n; ++j) {
                if ((pc.off & kOffFormant) == 0)
                    SetUpFormant(group[j]);
                ControlVoiceOscillators(pc, group[j]);
                ControlVoiceMultiEnvelopes(pc, group[j]);
            }
        }
    }
}

void CEngine::SetUpPartControl(int part, float tempo, float unitGain, PartControl& pc)
{
    const CTLParameter& T = g_TLParameter;
    const Cells P{data.partRecord[part]};
    // What moves from block to block: the head cells, the LFO increments
    // (tempo), the part's hold and the ramp factor.
    if (!pc.valid || pc.part != part || !SameKey(pc.key, P.w)) {
        // The words are taken before the values: a word that the editor
        // changes in between differs from the key at the next block, which
        // then takes the values again.
        TakeKey(pc.key, P.w);
        pc.part = part;
        SetUpPartStructure(pc);
        pc.valid = true;
    }
    pc.P = P;
    pc.factor = P.F(277);
    std::memcpy(pc.head + 1, P.w + 1, 64 * sizeof(uint32_t));
    for (int k = 0; k < pc.headGainCount; ++k) {
        const int cell = pc.headGain[k];
        pc.head[cell] = std::bit_cast<uint32_t>(P.F(cell) * unitGain);
    }
    for (int n = 0; n < 4; ++n) {
        const float rate = P.F(215 + 4 * n);
        pc.lfoIncrement[n] = pc.lfoTempo[n] ? ToCell(rate * tempo)
                                            : ToCell(Lookup(T.pitchIncrementHalf, rate, 4096.0f));
    }
    pc.megHeldByPart = std::bit_cast<int32_t>(data.partWork[part][75]) == 1;
    // The routing of the filters' sections, the same for every voice.
    for (int filter = 0; filter < 2; ++filter) {
        const FilterCells& f = kFilter[filter];
        if ((pc.off & f.offBit) != 0)
            continue;
        Cells W{data.partRecord[part]};
        auto setRouting = [&](float g1, float g2, int32_t r1, int32_t r2) {
            W.SetF(f.g1, g1);
            W.SetF(f.g2, g2);
            W.SetI(f.r1, r1);
            W.SetI(f.r2, r2);
        };
        const int32_t sectionOut = 4 * f.sectionOut;
        switch (pc.filterType[filter]) {
        case 0: setRouting(2.0f, 2.0f, sectionOut, 0); break;
        case 1: setRouting(-2.0f, -2.0f, sectionOut, 0); break;
        case 2: setRouting(2.0f, -2.0f, sectionOut, 0); break;
        case 3: setRouting(2.0f, -2.0f, 4 * 164, sectionOut); break;
        case 4: setRouting(2.0f, kGuard, 0, sectionOut); break;
        case 5: setRouting(-2.0f, kGuard, 0, sectionOut); break;
        default: break;
        }
    }
}

void CEngine::SetUpPartStructure(PartControl& pc)
{
    const CTLParameter& T = g_TLParameter;
    const int part = pc.part;
    const Cells P{data.partRecord[part]};
    pc.off = P.U(270);
    pc.shift = 5 - Divider(P);

    CellSet written, read;
    pc.routeCount = 0;
    for (int i = 0; i < 20; ++i) {
        const int32_t source = P.List(65 + i);
        if (source <= 0 || source >= CEngineData::kVoiceControlCells)
            continue;
        int32_t add = P.List(105 + i);
        int32_t mul = P.List(85 + i);
        if (add < 0 || add >= CEngineData::kVoiceControlCells)
            add = -1;
        else
            written.Add(add);
        if (mul < 0 || mul >= CEngineData::kVoiceControlCells)
            mul = -1;
        else
            written.Add(mul);
        read.Add(source);
        pc.routes[pc.routeCount++] = {source, add, mul, i};
    }
    pc.gainCount = 0;
    pc.headGainCount = 0;
    pc.unitTail = true;
    for (int k = 14; k < 18; ++k)
        pc.unitTail = pc.unitTail && !written.Has(208 + k);
    for (int k = 0; k < 18; ++k) {
        const int cell = kGainTarget[k];
        const bool routed = written.Has(208 + k);
        if (k >= 14 && pc.unitTail)
            continue;
        if (cell <= 64 && !routed && !written.Has(cell) && !read.Has(cell))
            pc.headGain[pc.headGainCount++] = cell;
        else
            pc.gains[pc.gainCount++] = {cell, k, routed};
    }

    for (int n = 0; n < 4; ++n) {
        const int32_t sync = P.List(216 + 4 * n);
        pc.lfoTempo[n] = sync == 1 || sync == 4;
        // The rate cell holds the part's value unless a route moves it.
        pc.lfoShared[n] = !written.Has(69 + n);
        pc.lfoWave[n] = P.List(213 + 4 * n);
        pc.egTrigger[n] = P.List(kEg[n].part + 6);
        pc.egDelay[n] = std::max(P.List(kEg[n].part), 0);
        pc.egAfterAttack[n] = P.List(318 + n) == 5 ? 5 : 1;
    }

    for (int filter = 0; filter < 2; ++filter) {
        const FilterCells& f = kFilter[filter];
        pc.filterType[filter] = P.List(f.type);
        PartControl::FilterPlan& plan = pc.filterPlan[filter];
        plan = {};
        auto tables = [](const Segment* (&to)[3], const Segment* a, const Segment* b, const Segment* c) {
            to[0] = a;
            to[1] = b;
            to[2] = c;
        };
        plan.lanes = true;
        switch (pc.filterType[filter]) {
        case 0:
            tables(plan.first, T.lp4Gain1, T.lp4A1Sec1, T.lp4A2Sec1);
            tables(plan.second, T.lp4Gain2, T.lp4A1Sec2, T.lp4A2Sec2);
            plan.curve = T.breakpointsB;
            break;
        case 1:
            tables(plan.first, T.hp4Gain1, T.hp4A1Sec1, T.hp4A2Sec1);
            tables(plan.second, T.hp4Gain2, T.hp4A1Sec2, T.hp4A2Sec2);
            break;
        case 2:
            tables(plan.first, T.lp2Gain, T.lp2A1, T.lp2A2);
            tables(plan.second, T.hp2Gain, T.hp2A1, T.hp2A2);
            plan.firstAtY2 = true;
            break;
        case 3:
            tables(plan.first, T.lp2Gain, T.lp2A1, T.lp2A2);
            tables(plan.second, T.hp2Gain, T.hp2A1, T.hp2A2);
            break;
        case 4:
            tables(plan.first, T.lp2Gain, T.lp2A1, T.lp2A2);
            plan.curve = T.breakpointsA;
            plan.weightFromCurve = true;
            break;
        case 5:
            tables(plan.first, T.hp2Gain, T.hp2A1, T.hp2A2);
            break;
        default:
            plan.lanes = false;
            break;
        }
    }

    static constexpr int kWaveform[3] = {155, 163, 172};
    for (int osc = 0; osc < 3; ++osc) {
        const int waveform = P.List(kWaveform[osc]);
        pc.waveSlot[osc] = (waveform >= 0 && waveform < CTLWaves::kBasicWaves)
                               ? CTLWaves::BasicSlot(waveform)
                               : CTLWaves::kSlotOscillator1 + 16 * osc + part;
        pc.powerLayer[osc] = (pc.off & kOffOsc[osc]) == 0 && waveform == 65;
        pc.powerSource[osc] = P.List(387 + osc);
    }

    for (int k = 0; k < 4; ++k) {
        const MegCells& m = kMeg[k];
        const int n = TruncClamp(P.F(m.count), 0, kMegPoints);
        pc.megCount[k] = n;
        pc.megLoopEnd[k] = std::clamp(TruncClamp(P.F(m.loopEnd), 0, kMegPoints), 0, std::max(n - 1, 0));
        pc.megLoopStart[k] = std::clamp(TruncClamp(P.F(m.loopStart), 0, kMegPoints), 0, pc.megLoopEnd[k]);
        pc.megOwn[k] = k == 0 || P.F(m.source) >= 1.0f;
        pc.megTempo[k] = P.U(m.mode) != 0;
    }
    pc.megFreeRunning = P.U(396) != 0;
    pc.terrain = (pc.off & kOffTerrain) == 0;
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void CEngine::ControlVoicePitch(const PartControl& pc, int voice, float unitGain)
{
    const float timeScale = g_Constants.timeScale;
    Cells V{data.voiceControl[voice]};
    const Cells P = pc.P;

    // Cells 65..68 and 186 take the part's values too, and are set below
    // from them.
    std::memcpy(V.w + 1, pc.head + 1, 64 * sizeof(uint32_t));
    for (int n = 0; n < 4; ++n)
        V.SetU(69 + n, P.U(215 + 4 * n));
    V.SetU(146, P.U(338));
    V.SetU(240, P.U(179));
    for (int n = 0; n < 4; ++n) {
        V.SetU(kEg[n].rates + 2, P.U(kEg[n].part + 3));  // sustain level
        V.SetU(kEg[n].rates + 4, P.U(kEg[n].part + 5));  // fast-release rate
    }
    for (int i = 0; i < 3; ++i)
        V.SetU(269 + i, P.U(361 + i));

    // Modulation accumulators.
    for (int cell : {144, 147, 148})
        V.SetF(cell, 0.0f);
    for (int cell = 193; cell <= 207; ++cell)
        V.SetF(cell, 0.0f);
    for (int cell = 208; cell <= 229; ++cell)
        V.SetF(cell, 1.0f);

    V.SetF(77, Glide(V.F(77), V.F(266), 0.1f));
    V.SetF(178, Glide(V.F(178), V.F(267), 0.1f));
    V.SetF(179, Glide(V.F(179), V.F(268), 0.1f));

    // Pitch bend and glide; a retrigger that the part's legato bits do
    // not cover jumps to the new note.
    const float notePitch = V.F(74);
    const float target = P.F(57) * P.F(146) + notePitch;
    float pitch = (P.U(267) & ~V.U(80)) != 0 ? target : V.F(75);
    pitch = Glide(pitch, target, P.F(145));
    V.SetF(75, pitch);
    if (P.U(268) != 0)
        pitch = static_cast<float>(RoundClamp(pitch * 192.0f, -16777216, 16777216)) / 192.0f;

    V.SetF(65, P.F(150) + P.F(151) * pitch);
    V.SetF(66, P.F(158) + P.F(159) * pitch);
    V.SetF(67, P.F(167) + P.F(168) * pitch);
    V.SetF(186, P.F(322) + P.F(323) * pitch);
    V.SetF(145, P.F(177) * notePitch + P.F(176));
    V.SetF(68, P.F(176) + P.F(177) * pitch);

    V.SetF(79, pitch);
    V.SetF(16, P.F(16) + P.F(230) * pitch * 1.6f);
    V.SetF(32, P.F(32) + P.F(234) * pitch * 1.6f);

    for (int i = 0; i < 3; ++i)
        V.SetU(173 + i, V.U(74 + i));
    V.SetF(180, Glide(V.F(180), V.F(93), timeScale));
    V.SetF(181, Glide(V.F(181), V.F(94), timeScale));

    // Modulation matrix. Cell indices come from the part record; one out
    // of the record is a routing that was never resolved, and is skipped.
    for (int r = 0; r < pc.routeCount; ++r) {
        const PartControl::Route& route = pc.routes[r];
        const float m = V.F(route.source) * V.F(36 + route.index) + P.F(125 + route.index);
        if (route.add >= 0)
            V.SetF(route.add, V.F(route.add) + m);
        if (route.mul >= 0)
            V.SetF(route.mul, V.F(route.mul) * m);
    }

    // Multiplicative accumulators become gains 10^(3m - 3) (those of the
    // part's head cells that no route touches are applied already).
    for (int k = 0; k < pc.gainCount; ++k) {
        const PartControl::Gain& g = pc.gains[k];
        float gain = unitGain;
        if (g.routed) {
            const float m = V.F(208 + g.index);
            gain = m == 1.0f ? unitGain : Lookup(g_TLParameter.decade, m, 512.0f);
        }
        V.SetF(g.cell, V.F(g.cell) * gain);
    }
    if (pc.unitTail)
        V.SetF4(226, _mm_mul_ps(V.F4(226), _mm_set1_ps(unitGain)));

    // The smoothed cutoffs start at the cutoff of a note's first block.
    if (V.I(CEngineData::kVcCutoffRequest1) == 2) {
        V.SetI(CEngineData::kVcCutoffRequest1, 1);
        V.SetU(241, V.U(16));
    }
    if (V.I(CEngineData::kVcCutoffRequest2) == 2) {
        V.SetI(CEngineData::kVcCutoffRequest2, 1);
        V.SetU(242, V.U(32));
    }
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void CEngine::ControlVoiceEnvelopesLFOs(const PartControl& pc, int v, float tempo)
{
    const CTLParameter& T = g_TLParameter;
    const float timeScale = g_Constants.timeScale;
    Cells V{data.voiceControl[v]};
    const Cells A{data.voiceAudio[v]};
    const Cells P = pc.P;

    // Values written here and read again below are kept at hand: every
    // store into the record could otherwise be a store into any cell.
    bool wrapped[4] = {};
    float glided[4];
#pragma GCC unroll 4
    for (int n = 0; n < 4; ++n) {
        int32_t inc = pc.lfoIncrement[n];
        if (!pc.lfoShared[n]) {
            const float rate = V.F(69 + n);
            inc = pc.lfoTempo[n] ? ToCell(rate * tempo) : ToCell(Lookup(T.pitchIncrementHalf, rate, 4096.0f));
        }
        V.SetI(69 + n, inc);
        const uint32_t old = V.U(111 + n);
        const uint32_t phase = (old + static_cast<uint32_t>(inc)) & kPhaseMask24;
        V.SetU(111 + n, phase);
        wrapped[n] = phase < old;

        const int32_t wave = pc.lfoWave[n];
        const int out = 169 + n;
        if (wave >= 0 && wave < CTLLFOWaves::kWaves) {
            V.SetF(out, g_TLLFOWaves.At(wave, phase));
        } else if (wave == 5) {
            // Sample and hold of the LFO before it; LFO 1 takes LFO 4's
            // output of the previous block.
            if (wrapped[n])
                V.SetU(out, V.U(169 + (n + 3) % 4));
        } else if (wave == 6) {
            if (wrapped[n])
                V.SetF(115 + n, (A.F(156) - V.F(out)) * static_cast<float>(inc) * 5.9604645e-8f);
            V.SetF(out, V.F(out) + V.F(115 + n));
        }
        glided[n] = Glide(V.F(89 + n), V.F(out) * V.F(226 + n), timeScale);
        V.SetF(89 + n, glided[n]);
    }

    float levels[4];
#pragma GCC unroll 4
    for (int n = 0; n < 4; ++n) {
        const EgCells& e = kEg[n];
        // Envelopes triggered by an LFO restart or release on its wraps.
        const int32_t trigger = pc.egTrigger[n];
        if (trigger >= 3 && trigger <= 6 && wrapped[trigger - 3]) {
            if (V.I(e.stage) == 3) {
                V.SetI(e.stage, -1);
                V.SetF(e.target, 1.6f);
                V.SetI(e.delay, pc.egDelay[n]);
            } else {
                V.SetI(e.stage, 3);
                V.SetF(e.target, 1e-13f);
            }
        }

        float level = V.F(e.level);
        const float sustain = V.F(e.rates + 2);
        switch (V.I(e.stage)) {
        case -1: {
            data.voiceState[v] = 0;
            const int32_t counter = V.I(e.delay) - 1;
            V.SetI(e.delay, counter);
            if (counter < 0) {
                const float s = V.F(146) + V.F(e.timeMod);
                V.SetF(e.timeMod, s);
                const float dd = n < 2 ? s : V.F(146);
                V.SetF(e.rates + 0, Lookup(T.envelopeRate, s + V.F(e.modBase) + P.F(e.part + 1), 128.0f));
                V.SetF(e.rates + 1, Lookup(T.envelopeRate, dd + V.F(e.modBase + 1) + P.F(e.part + 2), 128.0f));
                V.SetF(e.rates + 3, Lookup(T.envelopeRate, dd + V.F(e.modBase + 2) + P.F(e.part + 4), 128.0f));
                V.SetI(e.stage, 0);
            }
            break;
        }
        case 0:
            level += (V.F(e.target) - level) * V.F(e.rates + 0);
            if (level >= 1.0f) {
                level = 1.0f;
                // 5 holds first; the parameter model writes 1 or 5, and
                // anything else decays at once rather than re-attacking.
                V.SetI(e.stage, pc.egAfterAttack[n]);
                V.SetF(e.target, sustain);
            }
            break;
        case 1:
            V.SetF(e.target, sustain);
            level += (sustain - level) * V.F(e.rates + 1);
            break;
        case 3:
            level += (V.F(e.target) - level) * V.F(e.rates + 3);
            break;
        case 4:
            level += (V.F(e.target) - level) * V.F(e.rates + 4);
            break;
        case 5: {
            const int32_t hold = V.I(e.hold) - 1;
            V.SetI(e.hold, hold);
            if (hold < 0)
                V.SetI(e.stage, 1);
            break;
        }
        default:
            break;
        }
        levels[n] = level;
        V.SetF(e.level, level);
        V.SetF(e.output, level - sustain);
    }

    // Multi-segment envelope outputs; their segments are set up later in
    // the tick (ControlVoiceMultiEnvelopes).
    // (The products are written one by one: put together in a vector they
    // would be read back from the stack before the stores had landed.)
    // The four envelopes' cells (output, offset, value, factor) lie in rows
    // of four from 246: turned into columns, the four advance in lanes.
    const float gain = V.F(76);
    {
        static_assert(kMeg[1].output == kMeg[0].output + 4 && kMeg[3].output == kMeg[0].output + 12);
        const int first = kMeg[0].output;
        __m128 output = V.F4(first), offset = V.F4(first + 4), value = V.F4(first + 8), factor = V.F4(first + 12);
        _MM_TRANSPOSE4_PS(output, offset, value, factor);
        const __m128 step = _mm_setr_ps(V.F(kMeg[0].step), V.F(kMeg[1].step), V.F(kMeg[2].step), V.F(kMeg[3].step));
        value = _mm_add_ps(_mm_add_ps(_mm_mul_ps(value, factor), step), _mm_set1_ps(kGuard));
        // ClampSafe(x, 0, 1): x when 0 <= x <= 1 (-0 stays), 1 above, +0
        // below and for NaN.
        const __m128 x = _mm_add_ps(value, offset);
        output = _mm_and_ps(_mm_cmpge_ps(x, _mm_setzero_ps()), _mm_min_ps(x, _mm_set1_ps(1.0f)));
        V.SetF4(262, _mm_mul_ps(output, _mm_set1_ps(gain)));
        _MM_TRANSPOSE4_PS(output, offset, value, factor);
        V.SetF4(first, output);
        V.SetF4(first + 4, offset);
        V.SetF4(first + 8, value);
        V.SetF4(first + 12, factor);
    }

    const float velocity56 = V.F(56);
    const float glide77 = V.F(77);
    V.SetF(231, levels[0] * gain);
    V.SetF(235, levels[1] * gain);
    V.SetF(236, levels[2] * gain);
    V.SetF(237, levels[3] * gain);
    V.SetF(238, glided[0] * gain);
    V.SetF(239, glided[1] * gain);
    V.SetF(232, levels[1] * glided[0]);
    V.SetF(233, glided[1] * velocity56);
    V.SetF(234, glided[2] * glide77);
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void CEngine::ControlVoiceIncrements(const PartControl& pc, int v)
{
    const CTLParameter& T = g_TLParameter;
    Cells V{data.voiceControl[v]};
    Cells A{data.voiceAudio[v]};
    const uint32_t off = pc.off;

    // The three oscillators' increments: one table read in lanes (the
    // fourth lane is left unused), each lane as Lookup and ToCell do it
    // (limited in floating point, NaN giving 0, then rounded).
    static_assert(std::extent_v<decltype(CTLParameter::pitchIncrement)> == CTLParameter::kLarge);
    alignas(16) int32_t inc[4];
    {
        const __m128 y = _mm_mul_ps(_mm_add_ps(V.F4(65), _mm_set1_ps(V.F(144))), _mm_set1_ps(4096.0f));
        const __m128 x = Evaluate4(T.pitchIncrement, Index4(y, CTLParameter::kLarge), y);
        _mm_store_si128(reinterpret_cast<__m128i*>(inc),
                        _mm_cvtps_epi32(ClampSafe4(x, -2147483520.0f, 2147483520.0f, 0.0f)));
    }
    const int32_t inc1 = inc[0];
    V.SetI(65, inc1);

    if ((off & kOffSubPulse) == 0 && inc1 > 0) {
        // Periods and pulse points of the six sub-harmonic pulses.
        const uint32_t q = 0x1000000u / static_cast<uint32_t>(inc1);
        for (int k = 1; k <= 6; ++k)
            A.SetU(182 + k, q * static_cast<uint32_t>(k));
        A.SetF(195, V.F(1));
        const uint32_t width = static_cast<uint32_t>(RoundClamp((V.F(1) + 1.0f) * 256.0f, 0, 65536));
        const uint32_t point = (q * width) >> 9;
        for (int k = 1; k <= 6; ++k)
            A.SetU(188 + k, point * static_cast<uint32_t>(k));
    }

    V.SetF(1, V.F(1) * kPhase24 + kPhase24);
    if ((off & kOffOsc2) == 0) {
        V.SetI(66, inc[1]);
        V.SetF(3, V.F(3) * kPhase24 + kPhase24);
        V.SetF(4, V.F(4) * kPhase24);
    }
    if ((off & kOffOsc3) == 0) {
        V.SetI(67, inc[2]);
        V.SetF(6, V.F(6) * kPhase24);
    }
}


// The filter set-up of up to four voices of a part at once, for the filter
// types whose set-up is the same sequence of table reads for every voice
// (0..5; SetUpFilter does the others): every lane does the one-voice
// operations on its voice.
void CEngine::SetUpFilterLanes(const PartControl& pc, const uint8_t* voices, int count, int filter)
{
    const CTLParameter& T = g_TLParameter;
    const FilterCells& f = kFilter[filter];
    const PartControl::FilterPlan& plan = pc.filterPlan[filter];
    Records4 V{{}, count}, A{{}, count};
    for (int j = 0; j < 4; ++j) {
        const int v = voices[j < count ? j : 0];
        V.r[j] = data.voiceControl[v];
        A.r[j] = data.voiceAudio[v];
    }

    const __m128 cutoff = V.Get(f.cutoff);
    __m128 smoothed = V.Get(f.smoothed);
    // Rising cutoffs follow at once, falling ones glide.
    const __m128 rise = _mm_sub_ps(cutoff, smoothed);
    const __m128 rising = _mm_cmpge_ps(rise, _mm_set1_ps(kGuard));
    const __m128 follow = _mm_or_ps(_mm_and_ps(rising, _mm_set1_ps(1.0f)), _mm_andnot_ps(rising, _mm_set1_ps(0.2f)));
    smoothed = ClampSafe4(_mm_add_ps(smoothed, _mm_mul_ps(rise, follow)), -4.0f, 4.0f, 0.0f);
    V.Set(f.smoothed, smoothed);
    const __m128 resonance = ClampSafe4(V.Get(f.resonance), kGuard, 1.0f, kGuard);
    const __m128 negRes = _mm_xor_ps(resonance, _mm_set1_ps(-0.0f));
    V.Set(f.resonance, negRes);

    // std::min(x, 1): 1 only when 1 < x (NaN stays).
    const __m128 c = _mm_min_ps(_mm_set1_ps(1.0f), _mm_add_ps(smoothed, _mm_set1_ps(pc.P.F(274))));
    const __m128 c2 = ClampSafe4(_mm_add_ps(c, V.Get(f.offset)), -4.0f, 0.99f, 0.0f);
    const __m128 y1 = _mm_mul_ps(c, _mm_set1_ps(4096.0f));
    const __m128 y2 = _mm_mul_ps(c2, _mm_set1_ps(4096.0f));
    const Index4 i1(y1, CTLParameter::kLarge), i2(y2, CTLParameter::kLarge);
    const __m128 yFirst = plan.firstAtY2 ? y2 : y1;
    const Index4& iFirst = plan.firstAtY2 ? i2 : i1;
    const __m128 ySecond = plan.firstAtY2 ? y1 : y2;
    const Index4& iSecond = plan.firstAtY2 ? i1 : i2;
    for (int k = 0; k < 3; ++k)
        V.Set(f.coef + k, Evaluate4(plan.first[k], iFirst, yFirst));
    for (int k = 0; k < 3; ++k)
        V.Set(f.coef + 3 + k, plan.second[k] != nullptr ? Evaluate4(plan.second[k], iSecond, ySecond)
                                                        : _mm_set1_ps(kGuard));

    // Resonance feedback; the cell already holds the negated resonance.
    __m128 driveTarget = _mm_mul_ps(negRes, _mm_set1_ps(1024.0f));
    __m128 weight = _mm_set1_ps(1.0f);
    if (plan.curve != nullptr) {
        const __m128 y = _mm_mul_ps(c, _mm_set1_ps(1024.0f));
        const __m128 q = _mm_mul_ps(Evaluate4(plan.curve, Index4(y, CTLParameter::kMedium), y), negRes);
        driveTarget = _mm_mul_ps(q, _mm_set1_ps(1024.0f));
        if (plan.weightFromCurve)
            weight = _mm_sub_ps(_mm_set1_ps(1.0f), q);
    }
    V.Set(f.weight, weight);
    // RampF in lanes.
    const __m128 value = FiniteOr(A.Get(f.drive), driveTarget);
    A.Set(f.drive, value);
    A.Set(f.drive + 1, _mm_mul_ps(_mm_sub_ps(driveTarget, value), _mm_set1_ps(pc.factor)));
    V.Set(f.cutoff, Evaluate4(T.atanSquare, i1, y1));
}

void CEngine::SetUpFilter(const PartControl& pc, int voice, int filter)
{
    const CTLParameter& T = g_TLParameter;
    const FilterCells& f = kFilter[filter];
    Cells V{data.voiceControl[voice]};
    Cells A{data.voiceAudio[voice]};
    const Cells P = pc.P;

    V.SetF(f.weight, 1.0f);
    const float cutoff = V.F(f.cutoff);
    float smoothed = V.F(f.smoothed);
    // Rising cutoffs follow at once, falling ones glide.
    smoothed += (cutoff - smoothed) * (cutoff - smoothed >= kGuard ? 1.0f : 0.2f);
    smoothed = ClampSafe(smoothed, -4.0f, 4.0f);
    V.SetF(f.smoothed, smoothed);
    const float resonance = ClampSafe(V.F(f.resonance), kGuard, 1.0f, kGuard);
    const float negRes = -resonance;
    V.SetF(f.resonance, negRes);

    const float c = std::min(smoothed + P.F(274), 1.0f);
    const float c2 = ClampSafe(c + V.F(f.offset), -4.0f, 0.99f);
    const float y1 = c * 4096.0f;
    const float y2 = c2 * 4096.0f;
    auto at = [](const Segment* table, float y) { return CTLBase::Evaluate(table, CTLParameter::kLarge, y); };
    // Types 0..5 are set up in lanes (SetUpFilterLanes); the cells that a
    // type leaves alone keep their values.
    const Segment* curve = nullptr;
    const int type = pc.filterType[filter];
    switch (type) {
    case 6: {
        const float g = at(T.onePoleGain, y1);
        V.SetF(f.coef, g * g * g * g);
        V.SetF(f.coef + 1, at(T.onePolePole, y1));
        V.SetF(f.coef + 3, at(T.onePolePole, y1));
        V.SetF(f.coef + 4, at(T.onePolePole, y1));
        curve = T.breakpointsD;
        break;
    }
    case 7: {
        const float g = at(T.onePoleGain, y1);
        V.SetF(f.coef, g * g * at(T.onePoleGain, y2));
        V.SetF(f.coef + 1, at(T.onePolePole, y1));
        V.SetF(f.coef + 3, kGuard);
        V.SetF(f.coef + 4, at(T.onePolePole, y2));
        curve = T.breakpointsC;
        break;
    }
    default:
        break;
    }

    // Resonance feedback; the cell already holds the negated resonance.
    float driveTarget = negRes * 1024.0f;
    if (curve != nullptr) {
        const float q = CTLBase::Evaluate(curve, CTLParameter::kMedium, c * 1024.0f) * negRes;
        driveTarget = q * 1024.0f;
        if (type == 7)
            V.SetF(f.weight, (1.0f - q) * 0.5f);
    }
    RampF(A, f.drive, driveTarget, pc.factor);
    V.SetF(f.cutoff, Lookup(T.atanSquare, c, 4096.0f));
}


void CEngine::SetUpFormant(int voice)
{
    const CTLParameter& T = g_TLParameter;
    Cells V{data.voiceControl[voice]};
    Cells A{data.voiceAudio[voice]};
    Cells P{data.partRecord[data.voicePart[voice]]};
    const bool series = P.List(327) == 1;
    for (int k = 0; k < 3; ++k) {
        const float freq = V.F(22 + 3 * k);
        const float width = V.F(23 + 3 * k);
        const float gain = V.F(24 + 3 * k);
        float a, b, c;
        if (series) {
            c = Lookup(T.twoCosine, freq, 4096.0f);
            a = Lookup(T.onePoleTan, freq - width, 4096.0f);
            b = Lookup(T.allpass, freq - width, 4096.0f);
        } else {
            const float co = Lookup(T.cosine, freq, 4096.0f);
            const float r = Lookup(T.decay, freq - width, 4096.0f);
            const float pe = Lookup(T.period660, freq, 4096.0f);
            b = 2.0f * co * r;
            c = r * r;
            a = (1.0f - b + c) * gain * pe;
        }
        V.SetF(135 + 3 * k, a);
        V.SetF(136 + 3 * k, b);
        V.SetF(137 + 3 * k, c);
    }
    const bool jump = V.I(CEngineData::kVcFormantJump) != 0;
    if (jump)
        V.SetI(CEngineData::kVcFormantJump, 0);
    const float factor = P.F(277);
    for (int i = 0; i < 9; ++i) {
        const int cell = 89 + 2 * i;
        if (jump) {
            A.SetU(cell, V.U(135 + i));
            A.SetF(cell + 1, kGuard);
        } else {
            RampF(A, cell, V.F(135 + i), factor);
        }
    }
    RampF(A, 107, V.F(31), factor);
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void CEngine::ControlVoiceOscillators(const PartControl& pc, int v)
{
    Cells V{data.voiceControl[v]};
    Cells A{data.voiceAudio[v]};
    const uint32_t off = pc.off;
    const float factor = pc.factor;
    const int shift = pc.shift;

    // Wave table of an oscillator: the band level whose harmonics stay
    // below Nyquist at this increment. At and above half the sample rate
    // the band index stays at the highest level instead of wrapping.
    auto table = [&](int osc, int32_t inc) {
        const uint32_t band = std::min(static_cast<uint32_t>(inc) >> 16, 255u);
        const int level = static_cast<int>(CTLWaves::bandLevelMap[band] / CTLWaves::kLevelBytes);
        A.SetI(115 + osc, CEngineData::OscTableRef(pc.waveSlot[osc], std::clamp(level, 0, CTLWaves::kLevels - 1)));
    };
    auto pulse = [](float x) { return RoundClamp(x, kPulseMin, kPulseMax); };

    RampI(A, 1, V.I(65), shift);
    table(0, V.I(65));
    RampI(A, 3, pulse(V.F(1)), shift);

    if ((off & kOffOsc2) == 0) {
        RampI(A, 7, V.I(66), shift);
        table(1, V.I(66));
        RampI(A, 9, pulse(V.F(3)), shift);
        RampF(A, 11, std::max(V.F(4), kGuard) * 5.093066f, factor);
    }
    if ((off & kOffOsc3) == 0) {
        RampI(A, 13, V.I(67), shift);
        table(2, V.I(67));
        RampF(A, 17, std::max(V.F(6), kGuard) * 5.093066f, factor);
    }
    if ((off & kOffSpectrum) == 0)
        SetUpSpectrum(v, shift);

    RampF4(A, 19, V.F4(7), factor);
    RampF(A, 27, V.F(11), factor);
    A.SetF(315, 0.5f);
    RampF(A, 37, V.F(15), factor);

    if ((off & kOffWaveguide) == 0)
        SetUpWaveguide(v);

    // The drive's two ramps and the seven coefficient ramps lie side by
    // side (first = drive + 4).
    auto filterRamps = [&](int first, int drive, int shiftCell, int coef, int request) {
        const bool jump = V.I(request) == 1;
        if (jump) {
            RampF(A, drive, V.F(shiftCell - 1) * 1024.0f, factor);
            RampF(A, drive + 2, V.F(shiftCell), factor);
            V.SetI(request, 0);
            for (int i = 0; i < 7; ++i) {
                const int cell = first + 2 * i;
                A.SetU(cell, V.U(coef + i));
                A.SetF(cell + 1, kGuard);
            }
            return;
        }
        const __m128 driveTargets = _mm_setr_ps(V.F(shiftCell - 1) * 1024.0f, V.F(shiftCell), V.F(coef), V.F(coef + 1));
        RampF4(A, drive, driveTargets, factor);
        RampF4(A, first + 4, V.F4(coef + 2), factor);
        RampF(A, first + 12, V.F(coef + 6), factor);
    };
    if ((off & kOffFilter1) == 0)
        filterRamps(47, 43, 19, 119, CEngineData::kVcCutoffRequest1);
    if ((off & kOffFilter2) == 0)
        filterRamps(69, 65, 35, 127, CEngineData::kVcCutoffRequest2);

    RampF(A, 283, V.F(60), factor);
    RampF(A, 109, V.F(62) * 2048.0f, factor);

    // Restart count of a stolen voice: silence it, then clear its states.
    const int32_t restart = A.I(CEngineData::kAcRestartCount);
    if (restart == 1) {
        V.SetF(20, 1e-5f);
    } else if (restart >= 2) {
        for (int cell = 121; cell <= 143; ++cell)
            A.SetU(cell, 0);
        for (int cell : {145, 150, 151, 165, 166, 197, 198})
            A.SetU(cell, 0);
        const int32_t next = restart - 1;
        A.SetI(CEngineData::kAcRestartCount, next == 1 ? 0 : next);
        V.SetF(20, 1e-5f);
    }

    RampF(A, 111, V.F(20), factor);
    RampF(A, 113, V.F(21), factor);
    A.SetF(0, 0.0f);

    // Modulation ramps: values at 319..330, their steps at 331..342.
    // Sources: the four MEG outputs, the four EG levels, the four LFO values.
    const __m128 f4 = _mm_set1_ps(factor);
    const __m128 megs = _mm_setr_ps(V.F(246), V.F(250), V.F(254), V.F(258));
    const __m128 egs = _mm_setr_ps(V.F(81), V.F(83), V.F(85), V.F(87));
    A.SetF4(331, _mm_mul_ps(_mm_sub_ps(megs, A.F4(319)), f4));
    A.SetF4(335, _mm_mul_ps(_mm_sub_ps(egs, A.F4(323)), f4));
    A.SetF4(339, _mm_mul_ps(_mm_sub_ps(V.F4(89), A.F4(327)), f4));
}


void CEngine::SetUpSpectrum(int voice, int shift)
{
    const CTLParameter& T = g_TLParameter;
    Cells V{data.voiceControl[voice]};
    Cells A{data.voiceAudio[voice]};
    Cells P{data.partRecord[data.voicePart[voice]]};

    RampF(A, 280, V.F(61), P.F(277));
    V.SetF(63, ClampSafe(V.F(63), kGuard, 1.0f, kGuard));
    V.SetF(58, ClampSafe(V.F(58), kGuard, 1.0f, kGuard));
    if (P.U(343) != 0)
        V.SetU(58, V.U(63));
    V.SetF(186, V.F(186) + V.F(144));

    const int32_t config = P.List(331);
    const SpectrumConfig& cfg = kSpectrumConfig[(config >= 1 && config <= 10) ? config : 0];
    A.SetU(282, cfg.mask);

    const float base = V.F(186);
    const float spread = V.F(64) * 0.0625f;
    for (int k = 0; k < 6; ++k) {
        const float pos = spread * kSpectrumDetune[k] + cfg.offset[k] + base;
        const int32_t inc = ToCell(Lookup(T.pitchIncrementHalf, pos, 4096.0f));
        V.SetI(187 + k, inc);
        const int group = CEngineData::kAcSpectrumGroup + CEngineData::kAcSpectrumGroupCells * k;
        RampI(A, group, inc, shift);
        if ((cfg.mask & (1u << k)) != 0) {
            const float w = (k % 2 == 0) ? V.F(63) : V.F(58);
            const int32_t q = RoundClamp(((pos - 1.0f) * w + 1.0f - 0.4375f) * kPhase24, 0, 0x7FE000);
            SelectSpectrumRegion(voice, k, q);
        }
    }
}

void CEngine::SelectSpectrumRegion(int voice, int group, int32_t q)
{
    Cells A{data.voiceAudio[voice] + CEngineData::kAcSpectrumGroup + CEngineData::kAcSpectrumGroupCells * group};
    const Cells P{data.partRecord[data.voicePart[voice]]};
    enum { kV = 2, kVStep = 3, kChange = 4, kY1 = 6, kX1 = 7, kY2 = 8, kX2 = 9, kB = 10, kA = 11, kDir = 12 };

    const int32_t r = (q >> 17) & 63;
    const float f = static_cast<float>((q >> 5) & 0xFFF) / 4096.0f;
    int32_t a = A.I(kA);
    int32_t b = A.I(kB);
    if (a == 0 && b == 0) {
        a = r;
        b = r + 1;
    }
    A.SetF(kChange, kGuard - A.F(kChange));

    if (data.blockCounter % 2 == 0) {
        const int32_t dirCell = A.I(kDir);
        const int dir = dirCell > 0 ? 1 : (dirCell < 0 ? -1 : 0);
        float aim = kGuard;
        int newDir = 0;
        auto setV = [&](float v) { A.SetF(kV, v == 0.0f ? kGuard : v); };
        if (r > a) {
            aim = 1.0f;
            newDir = 1;
            if (dir == -1) {
                b = r;
                setV(0.0f);
            } else if (dir == 1) {
                if (r > b) {
                    a = b;
                    b = r;
                } else {
                    a = b;
                    b = b + 1;
                    aim = f;
                    newDir = 0;
                }
                setV(0.0f);
            }
        } else if (r == a) {
            if (b == r + 1) {
                aim = f;
                newDir = 0;
            } else {
                newDir = -1;
                if (dir == 1) {
                    a = r + 2;
                    setV(1.0f);
                } else if (dir == -1) {
                    b = r + 2;
                    setV(0.0f);
                }
            }
        } else {
            newDir = -1;
            if (dir == 1) {
                a = r + 1;
                setV(1.0f);
            } else if (dir == -1) {
                if (r + 1 < a) {
                    b = a;
                    a = r + 1;
                    setV(1.0f);
                } else {
                    a = r;
                    b = r + 1;
                    setV(1.0f);
                    aim = f;
                    newDir = 0;
                }
            }
        }
        if (aim == 0.0f)
            aim = kGuard;
        A.SetI(kDir, newDir);
        const float h = P.F(277) * 0.5f;
        const float step = (aim - A.F(kV)) * h;
        A.SetF(kChange, step * h * 4.0f);
        A.SetF(kVStep, kGuard);
    }

    a = std::clamp(a, 0, CTLWaves::kRegions - 1);
    b = std::clamp(b, 0, CTLWaves::kRegions - 1);
    A.SetI(kA, a);
    A.SetI(kB, b);
    const int part = data.voicePart[voice];
    A.SetI(kX1, CEngineData::SpectrumTableRef(part, false, a));
    A.SetI(kX2, CEngineData::SpectrumTableRef(part, true, a));
    A.SetI(kY1, CEngineData::SpectrumTableRef(part, false, b));
    A.SetI(kY2, CEngineData::SpectrumTableRef(part, true, b));
}

void CEngine::SetUpWaveguide(int voice)
{
    const CTLParameter& T = g_TLParameter;
    Cells V{data.voiceControl[voice]};
    Cells A{data.voiceAudio[voice]};
    Cells P{data.partRecord[data.voicePart[voice]]};
    const float factor = P.F(277);

    RampF(A, 29, V.F(12), factor);
    const int div = Divider(P);
    const float e = kGuard + 0.041666668f * static_cast<float>(div);
    const float damping = 1.0f - Lookup(T.dampRate, V.F(13) + e, 128.0f);
    V.SetF(13, damping);
    RampF(A, 33, damping, factor);

    const float length = Lookup(T.delayLength, V.F(68), 4096.0f) - damping;
    const float whole = static_cast<float>(RoundClamp(length, -4096, 4096));
    const float frac = length + 0.5f - whole;
    A.SetF(32, (1.0f - frac) / (1.0f + frac));
    A.SetI(31, RoundClamp(Lookup(T.delayLength, V.F(68) + V.F(144), 4096.0f) - damping, 0, kWaveRing - 1));

    const float fb = V.F(14);
    const float feedback = fb >= kGuard ? Lookup(T.dampRate, fb + e, 128.0f)
                                        : -Lookup(T.dampRate, e - fb, 128.0f);
    V.SetF(14, ClampSafe(feedback, -1.0f, 1.0f));
    RampF(A, 35, V.F(14), factor);
}

// ---------------------------------------------------------------------------

[[gnu::always_inline]] inline void CEngine::ControlVoiceMultiEnvelopes(const PartControl& pc, int v)
{
    const float sampleRate = static_cast<float>(g_GlobalData.sampleRate);
    Cells V{data.voiceControl[v]};
    Cells A{data.voiceAudio[v]};
    const Cells P = pc.P;

    StepMultiEnvelopes(pc, v);

    if (pc.terrain && terrainFilters[v] != nullptr) {
        // The cutoff moves the shapes' frequencies by up to four octaves
        // either way (0.5 leaves them where the shape puts them).
        const float cutoff = ClampSafe(V.F(269), 0.0f, 1.0f, 0.5f);
        const float scale = std::exp2((cutoff - 0.5f) * 8.0f);
        terrainFilters[v]->Set(1.0f / sampleRate, P.List(364), P.List(365), scale,
                               ClampSafe(V.F(270), 0.0f, 1.0f), ClampSafe(V.F(271), 0.0f, 1.0f));
    }

    for (int j = 0; j < 3; ++j) {
        if (!pc.powerLayer[j])
            continue;
        float source = 0.0f;
        switch (pc.powerSource[j]) {
        case 0: source = V.F(76); break;
        case 1: source = V.F(266); break;
        case 2: source = P.F(56); break;
        default: break;
        }
        // A negative base would give NaN for a fractional exponent.
        const float x = std::pow(ClampSafe(source, 0.0f, 1e6f), P.F(390 + j));
        RampF(A, 345 + 2 * j, ClampSafe(x, 0.0f, 1e6f), pc.factor);
    }

    for (int n = 0; n < 4; ++n) {
        if (pc.lfoWave[n] != 6)
            continue;
        const float out = V.F(169 + n);
        const float slope = V.F(115 + n);
        if ((out > 1.0f && slope > 0.0f) || (out < -1.0f && slope < 0.0f))
            V.SetF(115 + n, -slope);
    }
}

void CEngine::StepMultiEnvelopes(const PartControl& pc, int voice)
{
    Cells V{data.voiceControl[voice]};
    const Cells P = pc.P;
    const bool freeRunning = pc.megFreeRunning;
    const bool held = V.I(CEngineData::kVcGate) != 0 || pc.megHeldByPart || freeRunning;

    if (freeRunning) {
        bool restart = false;
        for (int k = 0; k < 4; ++k)
            restart = restart || V.I(kMeg[k].index) >= pc.megCount[k];
        if (restart) {
            for (const MegCells& m : kMeg) {
                V.SetI(m.index, 0);
                V.SetI(m.end, 0);
            }
            V.SetI(CEngineData::kVcMegClock, 0);
        }
    }

    int32_t clock = V.I(CEngineData::kVcMegClock) + 16 * g_GlobalData.blockSize;
    if (clock >= kMegClockRebase) {
        clock -= kMegClockRebase;
        for (const MegCells& m : kMeg)
            if (V.I(m.end) != CEngineData::kMegStopped)
                V.SetI(m.end, V.I(m.end) - kMegClockRebase);
    }
    V.SetI(CEngineData::kVcMegClock, clock);

    struct Change {
        enum Kind { kNone, kSegment, kStop } kind = kNone;
        int index = 0;
        int blocks = 1;
        bool loop = false;
    };

    auto level = [&](const MegCells& m, int i) { return P.F(m.levels + std::clamp(i, 0, kMegPoints - 1)); };
    auto stop = [&](const MegCells& m, int n) {
        V.SetI(m.end, CEngineData::kMegStopped);
        V.SetF(m.output + 1, level(m, n - 1));
        V.SetF(m.output + 2, 0.0f);
        V.SetF(m.output + 3, 0.0f);
        V.SetF(m.step, 0.0f);
    };
    // Value, offset and factor of a segment from the MEG's output to level i
    // over n blocks, bent by curvature k.
    auto shape = [&](const MegCells& m, int i, int n, bool loop) {
        const float c = ClampSafe(loop ? P.F(m.loopSlope) : P.F(m.slopes + i), -1.0f, 1.0f);
        const float k = std::pow(20.0f, 10.0f * c * c * c + 0.01f);
        const float s = V.F(m.output);
        const float target = level(m, i);
        if (std::fabs(k - 1.0f) < 1e-6f) {
            // No curvature: a straight line, one step per block.
            V.SetF(m.output + 1, s);
            V.SetF(m.output + 2, 0.0f);
            V.SetF(m.output + 3, 1.0f);
            V.SetF(m.step, (target - s) / static_cast<float>(n));
        } else {
            const float value = (target - s) / (k - 1.0f);
            V.SetF(m.output + 1, s - value);
            V.SetF(m.output + 2, value);
            V.SetF(m.output + 3, std::pow(k, 1.0f / static_cast<float>(n)));
            V.SetF(m.step, 0.0f);
        }
    };
    // Duration and timing of segment i of envelope m; moves its end.
    auto setUp = [&](int k, int i, bool loop) {
        const MegCells& m = kMeg[k];
        float d = P.F(m.times + i) - P.F(m.times + i - 1);
        if (pc.megTempo[k])
            d *= LoadTempo(tempoFactor);
        const int n = TruncClamp(d * 1000.0f / g_GlobalData.msPerBlock, 1, 1 << 24);
        if (n >= 2) {
            const int32_t length = TruncClamp(d * 16.0f * static_cast<float>(g_GlobalData.sampleRate),
                                              0, kMegMaxSegment);
            V.SetI(m.end, V.I(m.end) + length);
        }
        shape(m, i, n, loop);
        return n;
    };
    // Advances one envelope by its own cells; reports what changed.
    auto advance = [&](int k) {
        const MegCells& m = kMeg[k];
        Change ch;
        const int n = pc.megCount[k];
        const int loopEnd = pc.megLoopEnd[k];
        const int loopStart = pc.megLoopStart[k];
        int index = std::max(V.I(m.index), 0);
        if (index >= n)
            return ch;  // stopped
        if (!held && index <= loopEnd) {
            index = loopEnd + 1;
            V.SetI(m.end, clock);
        } else if (clock < V.I(m.end)) {
            return ch;
        } else if (held && index == loopEnd && loopEnd != 1) {
            index = loopStart + 1;
            ch.loop = true;
        } else {
            ++index;
        }
        V.SetI(m.index, index);
        ch.index = index;
        if (index >= n) {
            ch.kind = Change::kStop;
            stop(m, n);
        } else {
            ch.kind = Change::kSegment;
            ch.blocks = setUp(k, index, ch.loop);
        }
        return ch;
    };

    const MegCells& m1 = kMeg[0];
    const Change first = advance(0);
    const int count1 = pc.megCount[0];
    for (int k = 1; k < 4; ++k) {
        const MegCells& m = kMeg[k];
        if (pc.megOwn[k]) {
            advance(k);
            continue;
        }
        // Following MEG1: same segment changes and timing, own levels and
        // curvature.
        if (first.kind == Change::kNone)
            continue;
        V.SetI(m.index, first.index);
        V.SetI(m.end, V.I(m1.end));
        if (first.kind == Change::kStop)
            stop(m, count1);
        else
            shape(m, first.index, first.blocks, first.loop);
    }
}


// ---------------------------------------------------------------------------

void CEngine::ControlChorusLFO()
{
    CEngineData& d = data;
    if (d.globalValues[CEngineData::kGlobChorusOn] == 0.0f)
        return;
    const float* G = d.globalValues;
    float* work = d.globalWork;
    // Working cells 50..53 increments, 54..57 phases (24-bit integers in
    // float cells), 58..61 the sines; the delay times and their steps are
    // what the master chorus reads.
    constexpr int kIncrement = 50, kPhase = 54, kSine = 58;
    float* time = work + CEngineData::kGwChorusTime;  // time n at 2n, its step at 2n + 1
    const float rates[4] = {G[18], G[18] + G[19], G[18] - G[19], G[18] + 2.0f * G[19]};
    const float inverseBlock = g_GlobalData.inverseBlock;
    for (int k = 0; k < 4; ++k) {
        const int32_t inc = ToCell(Lookup(g_TLParameter.pitchIncrementHalf, rates[k], 4096.0f));
        SetWordI(work[kIncrement + k], inc);
        const uint32_t phase =
            (static_cast<uint32_t>(WordI(work[kPhase + k])) + static_cast<uint32_t>(inc)) & kPhaseMask24;
        SetWordI(work[kPhase + k], static_cast<int32_t>(phase));
        const float sine = g_TLLFOWaves.At(0, phase);
        work[kSine + k] = sine;
        const float target = (sine * G[20] * G[21] + G[20]) * 2047.0f;
        time[2 * k + 1] = (target - time[2 * k]) * inverseBlock;
    }
}

void CEngine::ControlPartEffects()
{
    CEngineData& d = data;
    const float inverseBlock = g_GlobalData.inverseBlock;
    for (int p = 0; p < kParts; ++p) {
        if (d.partActive[p] != p || partSounding[p] == 0)
            continue;
        const Cells P{d.partRecord[p]};
        float* W = d.partWork[p];

        if (P.U(CEngineData::kFxModOn) != 0) {
            // W[1..4] increments and W[5..8] phases of the four modulation
            // LFOs (integers in float cells), W[9..12] their sines.
            constexpr int kIncrement = 1, kPhase = 5, kSine = 9;
            float* time = W + CEngineData::kFxModTime;  // time n at 2n, its step at 2n + 1
            const float rate = P.F(279);
            const float spread = P.F(280);
            const float rates[4] = {rate, rate + spread, rate - spread, rate + 2.0f * spread};
            const bool synced = P.U(297) != 0;
            for (int k = 0; k < 4; ++k) {
                const int32_t inc = synced ? ToCell(rate * LoadTempo(tempoIncrement))
                                           : ToCell(Lookup(g_TLParameter.pitchIncrementHalf, rates[k], 4096.0f));
                SetWordI(W[kIncrement + k], inc);
                const uint32_t phase =
                    (static_cast<uint32_t>(WordI(W[kPhase + k])) + static_cast<uint32_t>(inc)) & kPhaseMask24;
                SetWordI(W[kPhase + k], static_cast<int32_t>(phase));
                W[kSine + k] = g_TLLFOWaves.At(0, phase);
                const float target = (W[kSine + k] * P.F(281) * P.F(282) + P.F(281)) * 2047.0f;
                time[2 * k + 1] = (target - time[2 * k]) * inverseBlock;
            }
            W[CEngineData::kFxModFeedback + 1] = (P.F(283) - W[CEngineData::kFxModFeedback]) * inverseBlock;
        }

        if (P.U(CEngineData::kFxDelayOn) != 0) {
            // Lengths index a 32768-sample ring; a full-scale time would wrap
            // to a one-sample echo, so it stops at the ring's last sample.
            auto length = [&](int cell) {
                if (P.U(291) != 0)
                    return static_cast<float>(RoundClamp(P.F(cell) * LoadTempo(tempoValue), 0, kPartDelayLine - 1));
                return static_cast<float>(RoundClamp(P.F(cell) * 32768.0f + 1.0f, 0, kPartDelayLine - 1));
            };
            W[CEngineData::kFxDelayLengthLeft] = length(286);
            W[CEngineData::kFxDelayLengthRight] = length(287);
        }

        if (P.U(CEngineData::kFxDistOn) != 0) {
            // Filter gain targets come from the tone filter cells 40..43.
            const float level = P.F(295);
            const float targets[4] = {W[40] * level, W[41], W[42] * level, W[43]};
            float* gain = W + CEngineData::kFxDistFilterGain;  // gains, then their four steps
            for (int k = 0; k < 4; ++k)
                gain[4 + k] = (targets[k] - gain[k]) * inverseBlock;
            const float drive = P.F(296);
            W[CEngineData::kFxDistDrive + 1] = (drive - W[CEngineData::kFxDistDrive]) * inverseBlock;
            const float out = drive >= 1.0f ? 1.0f : 1.0f / (drive + 0.01f);
            W[CEngineData::kFxDistOutGain + 1] = (out - W[CEngineData::kFxDistOutGain]) * inverseBlock;
        }
    }
}

// ---------------------------------------------------------------------------

void CEngine::Glide8DValues()
{
    for (int p = 0; p < kParts; ++p) {
        if (data.partActive[p] != p)
            continue;
        Cells P{data.partRecord[p]};
        const float c = P.F(298);
        // The pad's drawing reads the gliding points as they go.
        for (int k = 0; k < 8; ++k)
            data.SetSharedPartF(p, 307 + k, Glide(P.F(307 + k), P.F(299 + k), c));
    }
}

void CEngine::UpdateMeters()
{
    CEngineData& d = data;
    for (int p = 0; p < kParts; ++p) {
        if (d.partActive[p] != p || partSounding[p] == 0)
            continue;
        Cells P{d.partRecord[p]};
        for (int k = 0; k < 4; ++k) {
            const float peak = std::sqrt(ClampSafe(P.F(412 + k), 0.0f, 1e30f));
            const float floor = k < 2 ? peak / 4096.0f : peak;
            WriteMeter(partMeters[p][k], std::max(partMeters[p][k] * 0.2f, floor));
            P.SetF(412 + k, 0.0f);
        }
    }
    float& peakLeft = d.globalValues[CEngineData::kGlobMeterLeft];
    float& peakRight = d.globalValues[CEngineData::kGlobMeterRight];
    WriteMeter(masterMeterLeft,
               std::max(masterMeterLeft * 0.2f, 2.0f * std::sqrt(ClampSafe(peakLeft, 0.0f, 1e30f))));
    WriteMeter(masterMeterRight,
               std::max(masterMeterRight * 0.2f, 2.0f * std::sqrt(ClampSafe(peakRight, 0.0f, 1e30f))));
    peakLeft = 0.0f;
    peakRight = 0.0f;
}
