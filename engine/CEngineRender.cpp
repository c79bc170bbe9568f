// The per-sample voice render and the per-sample part and master output.
//
// Every voice runs through its part's routed chain of modules once per
// rendered sample. A module reads its input from the audio-record cell that
// the part's routing names (a byte position inside the record), so module
// outputs live in the record itself. Everything that changes within a block
// arrives from the control stage as a value and a per-sample step; the loop
// here only adds steps, looks up tables and multiplies. Nothing here calls a
// transcendental function or allocates. State that no routing code can name
// (ramps, phases, filter and terrain states) is held in locals over a block
// and written back after it; the cells a routing can name, the module
// outputs, are written every sample.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <xmmintrin.h>

#include "engine/CEngine.h"
#include "engine/CTLShapes.h"
#include "engine/EffectMath.h"
#include "engine/EngineCells.h"
#include "engine/SafeMath.h"
#include "platform/CGlobalData.h"

using effect_math::CellAsInt;
using effect_math::CellIsSet;

using namespace engine;

namespace {

using Segment = CTLBase::Segment;

constexpr uint32_t kPhaseMask25 = 0x1FFFFFF;
constexpr float kTwoPowMinus31 = 4.656612873077393e-10f;
// Power of the voice's output below which a block counts as quiet (1e-5
// squared).
constexpr float kQuietPower = 1e-10f;


constexpr int32_t kMultiSampleWave = 65;
constexpr int32_t kUserShapeRef = 16;  // part cell 182: the part's own user shape
constexpr int32_t kPulseCode1 = 612, kPulseCode2 = 616;

// Silent stand-ins for a table that is not there (a wave slot never built),
// so the sample loop needs no test.
const Segment kSilentTable[CTLShapes::kSegments] = {};


// The audio cell a routing code names: codes are byte positions of cells of
// the record. A code outside the record reads the dither cell 0.
int CellOfCode(uint32_t code)
{
    const uint32_t cell = code >> 2;
    return cell < static_cast<uint32_t>(CEngineData::kVoiceAudioCells) ? static_cast<int>(cell) : 0;
}

// Harmonic wave at a 25-bit phase: segment x >> 16 of 512, its line at x.
float ReadWave(const Segment* table, uint32_t x)
{
    const Segment& s = table[x >> 16];
    return static_cast<float>(x) * s.slope + s.offset;
}

// Spectral region at a 24-bit phase: segment p >> 16 of 256.
float ReadRegion(const Segment* table, uint32_t p, float pf)
{
    const Segment& s = table[p >> 16];
    return pf * s.slope + s.offset;
}

// Rounded to the nearest integer (ties to even, the default rounding mode)
// by the conversion instruction itself: the library's lrint is a call. The
// callers limit x first, so it is always in range.
inline int32_t RoundToInt(float x) { return _mm_cvtss_si32(_mm_set_ss(x)); }

// The 4096-segment shape tables, x in -2048 .. 2048: segment rint(x) + 2048
// limited to the table (NaN reads segment 0), its line at x.
inline float Shape(const Segment* table, float x)
{
    float c = x > -2048.0f ? x : -2048.0f;
    c = c < 2047.0f ? c : 2047.0f;
    const Segment& s = table[RoundToInt(c) + 2048];
    return x * s.slope + s.offset;
}

// The output drive's clip: beyond the table it is flat at -1 and +1; a NaN
// becomes silence instead of a stuck full-scale value.
inline float OutputClip(const Segment* table, float x)
{
    if (!(x == x))
        return 0.0f;
    if (x < -2048.5f)
        return -1.0f;
    if (x >= 2047.5f)
        return 1.0f;
    const int32_t i = std::clamp(RoundToInt(x) + 2048, 0, 4095);
    const Segment& s = table[i];
    return x * s.slope + s.offset;
}

// Frequency-modulation phase offset: rint(source × depth) modulo 2^25. The
// product is unbounded (feedback, a high depth), so it is limited while a
// float and reduced in 64 bits; a NaN gives no offset.
inline uint32_t FmOffset(float source, float depth)
{
    const float prod = source * depth;
    if (!(prod == prod))
        return 0u;
    const float c = prod < -1.0e15f ? -1.0e15f : (prod > 1.0e15f ? 1.0e15f : prod);
    const long long m = _mm_cvtss_si64(_mm_set_ss(c));
    return static_cast<uint32_t>(static_cast<unsigned long long>(m) & kPhaseMask25);
}

// The cells of one of the two voice filters.
struct FilterCells {
    int feedbackGain;  // resonance feedback gain, step next
    int drive;         // input drive, step next
    int coef;          // c1..c6 at coef, coef + 2, ..., output weight at coef + 12
    int state;         // four section states, section-1 output, fed-back output
    int output;
    int type, g1, g2, input, r1, r2, peak;
    uint32_t offBit;
};
constexpr FilterCells kFilter[2] = {
    {41, 43, 47, 121, 165, 229, 231, 232, 250, 251, 252, 412, kOffFilter1},
    {63, 65, 69, 127, 166, 233, 235, 236, 257, 258, 259, 413, kOffFilter2},
};
// Both filters keep their current input here; a type-3 routing reads it.
constexpr int kFilterInputCell = CEngineData::kAcFilterInput;

// Formant sections: y1, y2, u1, u2 of each. The last cell of section 3 sits
// at 145 so that a voice restart, which clears 121..143 and 145, clears all.
constexpr int kFormantState[3][4] = {{133, 134, 135, 136}, {137, 138, 139, 140}, {141, 142, 143, 145}};

// Other state cells of the render.
constexpr int kWaveguideY = CEngineData::kAcWaveguideY, kWaveguideA = CEngineData::kAcWaveguideA,
              kWaveguidePosition = CEngineData::kAcWaveguidePosition;
constexpr int kOutputLow = CEngineData::kAcOutputLow, kShaperLow = CEngineData::kAcShaperLow;

// Pink noise: six one-pole filters of the white noise.
constexpr float kPinkPole[6] = {0.997f, 0.985f, 0.95f, 0.85f, 0.62f, 0.25f};
constexpr float kPinkGain[6] = {0.029591f, 0.032534f, 0.048056f, 0.090579f, 0.10899f, 0.255784f};

constexpr float kSpectrumFactor[6] = {1.0f, 0.91f, 0.87f, 1.05f, 0.95f, 0.97f};

// One voice filter over a block. Coefficients, ramps and states are held in
// locals for the sample loop and written back after it; only the cells that
// a routing can name (the filter input, the section-1 output and the filter
// output) are written every sample.
class FilterRun {
public:
    FilterRun(Cells P, Cells A, int filter) : m_cells(kFilter[filter])
    {
        const FilterCells& c = m_cells;
        const int type = CellAsInt(P.U(c.type));
        m_onePole = type == 6 || type == 7;
        m_g1 = P.F(c.g1);
        m_g2 = P.F(c.g2);
        input = CellOfCode(P.U(c.input));
        m_r1 = CellOfCode(P.U(c.r1));
        m_r2 = CellOfCode(P.U(c.r2));
        m_r1Source = SourceOf(m_r1);
        m_r2Source = SourceOf(m_r2);
        m_drive = A.F(c.drive);
        m_driveStep = A.F(c.drive + 1);
        m_feedback = A.F(c.feedbackGain);
        m_feedbackStep = A.F(c.feedbackGain + 1);
        for (int k = 0; k < 7; ++k) {
            m_coef[k] = A.F(c.coef + 2 * k);
            m_step[k] = A.F(c.coef + 2 * k + 1);
        }
        for (int k = 0; k < 6; ++k)
            m_state[k] = A.F(c.state + k);
    }

    void Store(Cells A) const
    {
        const FilterCells& c = m_cells;
        A.SetF(c.drive, m_drive);
        A.SetF(c.feedbackGain, m_feedback);
        for (int k = 0; k < 7; ++k)
            A.SetF(c.coef + 2 * k, m_coef[k]);
        // A NaN or an infinity in a section would stay there until the voice
        // restarts; once a block it is dropped and the section starts again
        // from rest.
        for (int k = 0; k < 6; ++k)
            A.SetF(c.state + k, std::isfinite(m_state[k]) ? m_state[k] : 0.0f);
    }

    float Run(Cells A, float in, float& peak)
    {
        const FilterCells& c = m_cells;
        float* s = m_state;  // s1, s2 (section 1), s3, s4 (section 2), section-1 output, fed-back output
        float x = in * m_drive + s[5];
        peak = std::max(peak, x * x);
        m_drive += m_driveStep;
        m_feedback += m_feedbackStep;
        // c1, c2, c4, c5 and the output weight always move; c3 and c6 only
        // where the two sections use them.
        for (int k : {0, 1, 3, 4, 6})
            m_coef[k] += m_step[k];
        const float c1 = m_coef[0], c2 = m_coef[1], c4 = m_coef[3], c5 = m_coef[4];
        x = Shape(g_TLShapes.Fixed(1), x);
        float y;
        if (m_onePole) {
            // Four one-pole stages after the gain.
            x *= c1;
            x += s[0] * c2;
            s[0] = x;
            x += s[1] * c2;
            s[1] = x;
            x += s[2] * c5;
            s[2] = x;
            x += s[3] * c4;
            s[3] = x;
            y = x;
        } else {
            m_coef[2] += m_step[2];
            m_coef[5] += m_step[5];
            const float c3 = m_coef[2], c6 = m_coef[5];
            A.SetF(kFilterInputCell, x);
            const float w1 = x * c1 + s[1] * c3 + s[0] * c2;
            s[4] = w1 + m_g1 * s[0] + s[1] + kGuard;
            s[1] = s[0];
            s[0] = w1;
            A.SetF(c.state + 4, s[4]);
            const float w2 = Routed(A, m_r1, m_r1Source, x, s[4]) * c4 + s[3] * c6 + s[2] * c5;
            y = w2 + m_g2 * s[2] + s[3] + kGuard + Routed(A, m_r2, m_r2Source, x, s[4]);
            s[3] = s[2];
            s[2] = w2;
        }
        // The fed-back output re-enters the next input; a runaway resonance is
        // held to the saturation's range instead of growing into infinity.
        s[5] = ClampSafe(y * m_feedback, -65536.0f, 65536.0f);
        const float out = y * m_coef[6];
        A.SetF(c.output, out);
        return out;
    }

    int input = 0;

private:
    // The second section's routed inputs are usually the filter's own input
    // or section-1 output, both written to their cells just before they are
    // read: those are taken from registers, which keeps the store and reload
    // out of the resonance feedback loop.
    enum Source { kFromCell, kFromInput, kFromSection1 };
    Source SourceOf(int cell) const
    {
        return cell == kFilterInputCell ? kFromInput : (cell == m_cells.state + 4 ? kFromSection1 : kFromCell);
    }
    static float Routed(Cells A, int cell, Source source, float input, float section1)
    {
        if (source == kFromSection1)
            return section1;
        if (source == kFromInput)
            return input;
        return A.F(cell);
    }

    const FilterCells& m_cells;
    bool m_onePole = false;
    float m_g1 = 0.0f, m_g2 = 0.0f;
    int m_r1 = 0, m_r2 = 0;
    Source m_r1Source = kFromCell, m_r2Source = kFromCell;
    float m_drive = 0.0f, m_driveStep = 0.0f, m_feedback = 0.0f, m_feedbackStep = 0.0f;
    float m_coef[7] = {}, m_step[7] = {};  // c1..c6, output weight
    float m_state[6] = {};
};

// The spectral oscillator over a block: six sub-oscillators, each blending
// four region tables (Y1, X1, Y2, X2) by the two morph values. Phases,
// increments and morph values with their steps are held in locals and
// written back after the block; the outputs, which a routing can name, are
// written every sample.
class SpectrumRun {
public:
    SpectrumRun(Cells A, const Segment* const* tables)
    {
        if (tables == nullptr)
            return;
        m_u = A.F(280);
        m_uStep = A.F(281);
        for (int k = 0; k < 6; ++k) {
            const Segment* const* t = tables + 4 * k;
            if (t[1] == nullptr)
                continue;
            Osc& o = m_osc[m_count++];
            o.y1 = t[0];
            o.x1 = t[1];
            o.y2 = t[2];
            o.x2 = t[3];
            o.factor = kSpectrumFactor[k];
            o.first = k == 0;
            o.cell = CEngineData::kAcSpectrumGroup + CEngineData::kAcSpectrumGroupCells * k;
            o.inc = A.U(o.cell);
            o.incStep = A.U(o.cell + 1);
            o.v = A.F(o.cell + 2);
            o.vStep = A.F(o.cell + 3);
            o.vStepStep = A.F(o.cell + 4);
            o.phase = A.U(o.cell + 5);
        }
    }

    void Store(Cells A) const
    {
        if (m_count == 0)
            return;
        A.SetF(280, m_u);
        for (int i = 0; i < m_count; ++i) {
            const Osc& o = m_osc[i];
            A.SetU(o.cell, o.inc);
            A.SetF(o.cell + 2, o.v);
            A.SetF(o.cell + 3, o.vStep);
            A.SetU(o.cell + 5, o.phase);
        }
    }

    void Process(Cells A)
    {
        m_u += m_uStep;
        const float u = m_u;
        A.SetF(344, kGuard);
        float output = 0.0f;
        for (int i = 0; i < m_count; ++i) {
            Osc& o = m_osc[i];
            o.vStep += o.vStepStep;
            o.v += o.vStep;
            const float v = o.v;
            o.inc += o.incStep;
            o.phase += o.inc;
            const uint32_t p = o.phase & kPhaseMask24;
            const float pf = static_cast<float>(p);
            const float s = (ReadRegion(o.x1, p, pf) * (1.0f - u) + ReadRegion(o.x2, p, pf) * u) * (1.0f - v) +
                            (ReadRegion(o.y1, p, pf) * (1.0f - u) + ReadRegion(o.y2, p, pf) * u) * v;
            output = o.first ? s : (output + s) * o.factor;
        }
        A.SetF(343, output);
        // The routing names the spectral output by this cell as well.
        A.SetF(CEngineData::kAcSpectrumOut, output);
    }

private:
    struct Osc {
        const Segment *y1, *x1, *y2, *x2;
        float factor;
        bool first;
        int cell;
        uint32_t inc, incStep, phase;
        float v, vStep, vStepStep;
    };
    Osc m_osc[6];
    int m_count = 0;
    float m_u = 0.0f, m_uStep = 0.0f;
};

// The cells the lane chain writes every sample (module outputs, phases,
// ramps and the states a routing can name) and the steps it only reads:
// for the chain without the heavier modules, and for the whole chain.
struct LaneCells {
    int written[128];
    int countWritten = 0;
    int steps[96];
    int countSteps = 0;
    bool touched[CEngineData::kVoiceAudioCells] = {};
    void Write(int cell)
    {
        written[countWritten++] = cell;
        touched[cell] = true;
    }
    void Read(int cell)
    {
        steps[countSteps++] = cell;
        touched[cell] = true;
    }
};
LaneCells MakeLaneCells(bool heavy)
{
    LaneCells c;
    for (int cell : {0, 1, 3, 7, 9, 11, 13, 17, 19, 21, 23, 25, 27, 109, 111, 113, 118, 119, 120, 125, 131, 150,
                     153, 154, 155, 156, 157, 158, 159, 160, 161, 164, 165, 166, 199, 283, 316})
        c.Write(cell);
    for (int cell = 318; cell <= 330; ++cell)
        c.Write(cell);
    for (int cell : {2, 4, 8, 10, 12, 14, 18, 20, 22, 24, 26, 28, 110, 112, 114, 284, 315})
        c.Read(cell);
    for (int cell = 331; cell <= 342; ++cell)
        c.Read(cell);
    if (!heavy)
        return c;
    // Terrain, unison, sub-pulses, spectral, waveguide, shaper and formant.
    for (int cell : {29, 33, 35, 37, 149, 151, 162, 167, 168, 176, 197, 198, 201, 317, 343, 344})
        c.Write(cell);
    for (int cell = 89; cell <= 107; cell += 2)
        c.Write(cell);
    for (int cell : {133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 145})
        c.Write(cell);
    for (int cell = 177; cell <= 182; ++cell)
        c.Write(cell);
    for (int cell = 303; cell <= 308; ++cell)
        c.Write(cell);
    for (int cell : {30, 32, 34, 36, 38, 195})
        c.Read(cell);
    for (int cell = 90; cell <= 108; cell += 2)
        c.Read(cell);
    for (int cell = 183; cell <= 194; ++cell)
        c.Read(cell);
    for (int cell = 309; cell <= 314; ++cell)
        c.Read(cell);
    return c;
}
const LaneCells kLaneCells[2] = {MakeLaneCells(false), MakeLaneCells(true)};
// The modules of the heavier chain (their off bits).
constexpr uint32_t kHeavyModules = kOffTerrain | kOffSpectrum | kOffFormant | kOffSubPulse | kOffShaper | kOffWaveguide;

// std::max(peak, x * x) over the frames of both sides, four frames at a
// time: maxps(x, peak) is `x > peak ? x : peak`, the same value with NaN
// and zeros, and a maximum is the same whatever order it takes its values
// in.
float PeakOfSquares(float peak, const float* left, const float* right, int frames)
{
    __m128 p = _mm_set1_ps(peak);
    int j = 0;
    for (; j + 4 <= frames; j += 4) {
        const __m128 l = _mm_load_ps(left + j), r = _mm_load_ps(right + j);
        p = _mm_max_ps(_mm_mul_ps(l, l), p);
        p = _mm_max_ps(_mm_mul_ps(r, r), p);
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, p);
    for (float v : lanes)
        peak = std::max(peak, v);
    for (; j < frames; ++j) {
        peak = std::max(peak, left[j] * left[j]);
        peak = std::max(peak, right[j] * right[j]);
    }
    return peak;
}

void RaisePeak(uint32_t* record, int cell, float peak)
{
    if (peak > std::bit_cast<float>(record[cell]))
        record[cell] = std::bit_cast<uint32_t>(peak);
}

} // namespace

// ---------------------------------------------------------------------------

int CEngine::RenderDivider(int part) const
{
    // Assigned controllers can write the subdivision without the parameter
    // model's limits; the render only knows 1, 1/2 and 1/4.
    return std::clamp(CellAsInt(data.partRecord[part][272]), 0, 2);
}

void CEngine::RenderBlock(float* out)
{
    const int frames = std::clamp(g_GlobalData.blockSize, 1, kBlockFrames);

    for (int p = 0; p < kParts; ++p) {
        if (data.partActive[p] == p)
            partSounding[p] = partMeters[p][3] > 1e-6f ? 1u : 0u;
        // Frames 0..B-1 of every part; frame B keeps the last frame of the
        // previous block for the sub-sample fill. Inactive parts are cleared
        // too, so voices of a part that is switched off never pile up.
        std::fill(partMix[p], partMix[p] + 2 * frames, 0.0f);
    }

    RenderVoices(frames);

    bool run[kParts];
    for (int p = 0; p < kParts; ++p) {
        run[p] = data.partActive[p] == p && partSounding[p] != 0 &&
                 partLoading[p].load(std::memory_order_relaxed) == 0;
        if (data.partActive[p] == p && partSounding[p] != 0)
            FillSubSamples(p, frames, RenderDivider(p));
    }

    MixPartsIntoBuses(run, frames);
    if (!busesUsed && masterQuietBlocks >= kMasterRestBlocks) {
        // Nothing sounds and the master effects' tails died away long
        // ago: they rest (their lines hold nothing audible) until a part
        // sounds again, and the master stage puts out silence.
        for (int j = 0; j < frames; ++j) {
            ClearMasterBuses();
            ProcessMasterStage(out + 2 * j);
        }
        return;
    }
    for (int j = 0; j < frames; ++j) {
        ClearMasterBuses();
        outputUsed = busesUsed ? 1 : 0;
        masterLeft = buses[0][j];
        masterRight = buses[1][j];
        reverbSendLeft = buses[2][j];
        reverbSendRight = buses[3][j];
        chorusSendLeft = buses[4][j];
        chorusSendRight = buses[5][j];
        ProcessMasterOutput(out + 2 * j);
    }
    bool quiet = !busesUsed;
    for (int i = 0; i < 2 * frames && quiet; ++i)
        quiet = std::fabs(out[i]) <= kMasterQuietLevel;
    masterQuietBlocks = quiet ? masterQuietBlocks + 1 : 0;
    for (int p = 0; p < kParts; ++p) {
        if (!run[p])
            continue;
        partMix[p][2 * frames] = partMix[p][2 * frames - 2];
        partMix[p][2 * frames + 1] = partMix[p][2 * frames - 1];
    }
}

void CEngine::MixPartsIntoBuses(const bool* run, int frames)
{
    // Part after part over the whole block: every frame's buses still add
    // the parts in part order, the same sums as part after part per frame.
    for (float* bus : buses)
        std::fill(bus, bus + frames, 0.0f);
    busesUsed = false;
    const Segment* partClip = g_TLShapes.Fixed(1);
    for (int p = 0; p < kParts; ++p) {
        if (!run[p])
            continue;
        busesUsed = true;
        const float* mix = partMix[p];
        const uint32_t* record = data.partRecord[p];
        if (CellIsSet(record[CEngineData::kFxDistOn]) || CellIsSet(record[CEngineData::kFxDelayOn]) ||
            CellIsSet(record[CEngineData::kFxModOn])) {
            for (int j = 0; j < frames; ++j) {
                partSampleLeft = Shape(partClip, (mix[2 * j] + kGuard) * 1024.0f);
                partSampleRight = Shape(partClip, (mix[2 * j + 1] + kGuard) * 1024.0f);
                ClearMasterBuses();
                ProcessPartOutput(p);
                buses[0][j] += masterLeft;
                buses[1][j] += masterRight;
                buses[2][j] += reverbSendLeft;
                buses[3][j] += reverbSendRight;
                buses[4][j] += chorusSendLeft;
                buses[5][j] += chorusSendRight;
            }
            continue;
        }
        // No part effect: the pan and sends of AddPartToMaster, with the
        // part's values read once for the block.
        const float level = data.SettingF(p, CEngineData::kSetLevel);
        const float pan = ClampSafe(data.SettingF(p, CEngineData::kSetPan), 0.0f, 1.0f, 0.5f);
        const float reverbSend = data.SettingF(p, CEngineData::kSetReverbSend);
        const float chorusSend = data.SettingF(p, CEngineData::kSetChorusSend);
        alignas(16) float left[kBlockFrames], right[kBlockFrames];
        for (int j = 0; j < frames; ++j) {
            left[j] = Shape(partClip, (mix[2 * j] + kGuard) * 1024.0f) * level * pan;
            right[j] = Shape(partClip, (mix[2 * j + 1] + kGuard) * 1024.0f) * level * (1.0f - pan);
        }
        for (int j = 0; j < frames; ++j) {
            buses[0][j] += left[j];
            buses[1][j] += right[j];
            buses[2][j] += left[j] * reverbSend;
            buses[3][j] += right[j] * reverbSend;
            buses[4][j] += left[j] * chorusSend;
            buses[5][j] += right[j] * chorusSend;
        }
        data.SetPartF(p, CEngineData::kFxPartPeak, PeakOfSquares(data.PartF(p, CEngineData::kFxPartPeak), left, right, frames));
    }
}

void CEngine::FillSubSamples(int part, int frames, int divider)
{
    if (divider <= 0)
        return;
    float* mix = partMix[part];
    const int step = 1 << divider;
    const int groups = frames >> divider;
    // Frames a voice writes: step - 1, 2 step - 1, ...; the ones before each
    // lie on the straight line from the previous written frame.
    for (int g = 0; g < groups; ++g) {
        const int last = g * step + step - 1;
        const int prev = g == 0 ? frames : last - step;
        for (int ch = 0; ch < 2; ++ch) {
            const float a = mix[2 * prev + ch];
            const float b = mix[2 * last + ch];
            for (int k = 1; k < step; ++k)
                mix[2 * (last - step + k) + ch] = a + (b - a) * (static_cast<float>(k) / static_cast<float>(step));
        }
    }
    // A block that is not a whole number of steps holds its last value.
    const int filled = groups * step;
    for (int f = filled; f < frames; ++f) {
        const int src = filled > 0 ? filled - 1 : frames;
        mix[2 * f] = mix[2 * src];
        mix[2 * f + 1] = mix[2 * src + 1];
    }
}

void CEngine::RenderVoice(int v, int part, int frames, int divider)
{
    Cells A{data.voiceAudio[v]};
    const Cells P{data.partRecord[part]};
    const uint32_t off = P.U(270);
    const int step = 1 << divider;
    const int groups = frames >> divider;
    float* mix = partMix[part];

    // Oscillators: wave tables, multi-samples.
    const Segment* wave[3];
    bool sampled[3], sinc[3], running[3];
    float scratch[3][2 * kBlockFrames];
    static constexpr int kWaveCell[3] = {155, 163, 172};
    for (int j = 0; j < 3; ++j) {
        running[j] = (off & kOffOsc[j]) == 0;
        sampled[j] = running[j] && CellAsInt(P.U(kWaveCell[j])) == kMultiSampleWave;
        sinc[j] = sampled[j] && MultiSample(part, j).UsesSincResampler();
        const Segment* t = data.OscTable(A.I(115 + j));
        wave[j] = t ? t : kSilentTable;
        if (sampled[j] && !sinc[j]) {
            // The increment is already compensated for the sub-sampling, so
            // the block renderer produces only the frames the voice reads.
            std::fill(scratch[j], scratch[j] + 2 * groups, 0.0f);
            const int incCell = 1 + 6 * j;
            const int layerCell = 345 + 2 * j;
            float layer = A.F(layerCell);
            float inc = static_cast<float>(A.I(incCell));
            fastResamplers[v * kOscillators + j].Render(scratch[j], groups, layer, A.F(layerCell + 1), inc,
                                                        static_cast<float>(A.I(incCell + 1)));
            A.SetF(layerCell, layer);
            A.SetU(incCell, A.U(incCell) + A.U(incCell + 1) * static_cast<uint32_t>(groups));
        }
    }

    // Routing and switches of the part, fixed for the block.
    const int inTerrain = CellOfCode(P.U(237));
    const int inFm[3] = {0, CellOfCode(P.U(238)), CellOfCode(P.U(239))};
    const bool fm[3] = {false, P.U(238) != 0, P.U(239) != 0};
    const int inRing1 = CellOfCode(P.U(240)), inRing2 = CellOfCode(P.U(241));
    const int inMix[5] = {CellOfCode(P.U(242)), CellOfCode(P.U(243)), CellOfCode(P.U(244)),
                          CellOfCode(P.U(245)), CellOfCode(P.U(246))};
    const int inAmp = CellOfCode(P.U(247)), inAmpMod = CellOfCode(P.U(249));
    const int inShaper = CellOfCode(P.U(248));
    const int inGuide1 = CellOfCode(P.U(253)), inGuide2 = CellOfCode(P.U(254));
    const int outCell = CellOfCode(P.U(255));
    const int inFormant = CellOfCode(P.U(256));
    const int inFade = CellOfCode(P.U(339));
    const int inDirectL = CellOfCode(P.U(384)), inDirectR = CellOfCode(P.U(385));
    const bool pulse1 = P.I(156) == kPulseCode1, pulse2 = P.I(164) == kPulseCode2;
    const bool unison = P.U(356) != 0;
    // Hard sync of oscillator 1 writes the phases named by these cells; only
    // the phase cells of oscillators 2 and 3 are meaningful targets.
    const int sync1 = CellOfCode(P.U(166)), sync2 = CellOfCode(P.U(175));
    auto isPhase = [](int cell) { return cell == 119 || cell == 120; };
    const bool syncA = isPhase(sync1), syncB = isPhase(sync2);
    FilterRun filter1(P, A, 0), filter2(P, A, 1);
    const bool formantSeries = CellAsInt(P.U(327)) == 1;
    const uint32_t quantMask = P.U(271);
    const int32_t shapeRef = CellAsInt(P.U(182));
    const Segment* shaper = shapeRef == kUserShapeRef  ? g_TLShapes.userShapes[part]
                            : (shapeRef >= 0 && shapeRef < CTLShapes::kSelectable) ? g_TLShapes.shapes[shapeRef]
                                                                                   : g_TLShapes.shapes[0];
    if (shaper == nullptr)
        shaper = kSilentTable;
    const Segment* outputClip = g_TLShapes.Fixed(2);
    float* ring = voiceRing[0][v];

    const Segment* spectrum[24];
    const bool spectrumOn = (off & kOffSpectrum) == 0;
    if (spectrumOn) {
        const uint32_t enable = A.U(282);
        for (int k = 0; k < 6; ++k) {
            const bool on = k == 0 || (enable & (1u << k)) != 0;
            for (int t = 0; t < 4; ++t) {
                const Segment* s = on ? data.SpectrumTable(A.I(CEngineData::kAcSpectrumGroup + 13 * k + 6 + t))
                                      : nullptr;
                spectrum[4 * k + t] = on && s == nullptr ? kSilentTable : s;
            }
        }
    }

    uint32_t seed = noiseSeed[v];
    float peak1 = std::bit_cast<float>(P.U(412)), peak2 = std::bit_cast<float>(P.U(413));
    float peakOut = std::bit_cast<float>(P.U(414));
    float power = A.F(CEngineData::kAcOutputPower);
    CTerrainFilter* terrain = (off & kOffTerrain) == 0 ? terrainFilters[v] : nullptr;
    std::optional<CTerrainFilter::Runner> terrainRun;
    if (terrain != nullptr)
        terrainRun.emplace(*terrain);
    SpectrumRun spectrumRun(A, spectrumOn ? spectrum : nullptr);
    __m128 modValue[3], modStep[3];
    for (int k = 0; k < 3; ++k) {
        modValue[k] = A.F4(319 + 4 * k);
        modStep[k] = A.F4(331 + 4 * k);
    }
    // Pink noise filters 0..3 and 4, 5 (the last two lanes unused).
    const __m128 pinkPole[2] = {_mm_loadu_ps(kPinkPole), _mm_setr_ps(kPinkPole[4], kPinkPole[5], 0.0f, 0.0f)};
    const __m128 pinkGain[2] = {_mm_loadu_ps(kPinkGain), _mm_setr_ps(kPinkGain[4], kPinkGain[5], 0.0f, 0.0f)};
    __m128 pinkLanes[2] = {_mm_setr_ps(pinkState[0][v], pinkState[1][v], pinkState[2][v], pinkState[3][v]),
                           _mm_setr_ps(pinkState[4][v], pinkState[5][v], 0.0f, 0.0f)};

    // Voices without the heavier modules run a copy of the sample loop with
    // those compiled out: the smaller loop keeps more of its state in
    // registers, which shortens the filter's feedback path.
    const bool lean = (off & kHeavyModules) == kHeavyModules && !unison && !sampled[0] && !sampled[1] && !sampled[2];
    // The usual series routing waveguide -> filter 1 -> filter 2 -> formant
    // reads each output right after the module before wrote it: those values
    // are passed on in registers, which keeps the store and reload off the
    // sample's path. Nothing writes the cell in between.
    const bool guideOn = (off & kOffWaveguide) == 0, filter1On = (off & kOffFilter1) == 0,
               filter2On = (off & kOffFilter2) == 0;
    const bool filter1FromGuide = guideOn && filter1.input == 168;
    const bool filter2FromFilter1 = filter1On && filter2.input == kFilter[0].output;
    const bool formantFromFilter2 = filter2On && inFormant == kFilter[1].output;
    auto sampleLoop = [&](auto leanTag) __attribute__((always_inline)) {
        constexpr bool kLean = decltype(leanTag)::value;
        for (int n = 0; n < groups; ++n) {
            const int i = n << divider;
            float guideOut = 0.0f;

            // 1. Terrain filter.
            if (!kLean && terrainRun)
                A.SetF(317, terrainRun->Process(A.F(inTerrain)));

            // 2. Multi-sample oscillators.
            for (int j = 0; j < 3; ++j) {
                if (kLean || !sampled[j])
                    continue;
                float left, right;
                if (sinc[j]) {
                    const int incCell = 1 + 6 * j;
                    const uint32_t inc = A.U(incCell) + A.U(incCell + 1);
                    A.SetU(incCell, inc);
                    CMultiSample& ms = MultiSample(part, j);
                    ms.SetVoiceLayerMix(v, A.Ramp(345 + 2 * j));
                    const float ratio = static_cast<float>(std::bit_cast<int32_t>(inc)) * ms.GetVoicePitchScale(v);
                    left = right = resamplers[v * kOscillators + j].Process(ratio);
                } else {
                    left = scratch[j][2 * n];
                    right = scratch[j][2 * n + 1];
                }
                A.SetF(351 + 2 * j, left);
                A.SetF(352 + 2 * j, right);
                A.SetF(153 + j, (left + right) * 0.5f);
            }

            // 3. Modulation ramps (MEG outputs, EG levels, LFO outputs).
            for (int k = 0; k < 3; ++k) {
                modValue[k] = _mm_add_ps(modValue[k], modStep[k]);
                A.SetF4(319 + 4 * k, modValue[k]);
            }

            // 4. Oscillator 1.
            if (running[0] && (kLean || !sampled[0])) {
                const uint32_t inc = A.U(1) + A.U(2);
                A.SetU(1, inc);
                const Segment* t = wave[0];
                float o;
                if (kLean || !unison) {
                    const uint32_t old = A.U(118);
                    const uint32_t ph = (old + inc) & kPhaseMask25;
                    A.SetU(118, ph);
                    if (ph < old) {
                        if (syncA)
                            A.SetU(sync1, ph);
                        if (syncB)
                            A.SetU(sync2, ph);
                    }
                    o = ReadWave(t, ph);
                    if (pulse1) {
                        o = ReadWave(t, (ph + A.U(3)) & kPhaseMask25) - o;
                        A.SetU(3, A.U(3) + A.U(4));
                    }
                } else {
                    o = 0.0f;
                    for (int k = 0; k < 6; ++k) {
                        const uint32_t old = A.U(303 + k);
                        const uint32_t ph = (old + inc + A.U(309 + k)) & kPhaseMask25;
                        A.SetU(303 + k, ph);
                        if (k == 0 && ph < old) {
                            if (syncA)
                                A.SetU(sync1, ph);
                            if (syncB)
                                A.SetU(sync2, ph);
                        }
                        o += ReadWave(t, ph);
                    }
                    if (pulse1) {
                        const uint32_t po = A.U(3);
                        for (int k = 0; k < 6; ++k)
                            o -= ReadWave(t, (A.U(303 + k) + po) & kPhaseMask25);
                        A.SetU(3, po + A.U(4));
                    }
                    o *= 0.5f;
                }
                A.SetF(153, o);
            }

            // 5. Oscillators 2 and 3 (the stored phase never holds the FM offset);
            // oscillator j's increment at 1 + 6j, depth at 11 + 6j.
            for (int j = 1; j <= 2; ++j) {
                if (!running[j] || (!kLean && sampled[j]))
                    continue;
                const int incCell = 1 + 6 * j;
                const uint32_t inc = A.U(incCell) + A.U(incCell + 1);
                A.SetU(incCell, inc);
                const uint32_t ph = (A.U(118 + j) + inc) & kPhaseMask25;
                A.SetU(118 + j, ph);
                uint32_t m = 0;
                if (fm[j]) {
                    m = FmOffset(A.F(inFm[j]), A.F(5 + 6 * j));
                    A.Ramp(5 + 6 * j);
                }
                const Segment* t = wave[j];
                float o = ReadWave(t, (ph + m) & kPhaseMask25);
                if (j == 1 && pulse2) {
                    const uint32_t po = A.U(9) + A.U(10);
                    A.SetU(9, po);
                    o = ReadWave(t, (ph + po) & kPhaseMask25) - o;
                }
                A.SetF(153 + j, o);
            }

            // 6. Sub-harmonic pulses of oscillator 1: counter k pulses at 1/k of
            // its frequency.
            if (!kLean && (off & kOffSubPulse) == 0) {
                float sum = kGuard;
                for (int k = 0; k < 6; ++k) {
                    uint32_t c = A.U(177 + k) + 1u;
                    if (c > A.U(189 + k))
                        sum += 0.333f;
                    if (c > A.U(183 + k))
                        c = 0;
                    A.SetU(177 + k, c);
                }
                A.SetF(176, sum + A.F(195) - 1.0f);
            }

            // 7. Spectral oscillator.
            if (!kLean && spectrumOn)
                spectrumRun.Process(A);

            // 8. Ring and amplitude modulators.
            if ((off & kOffRing) == 0)
                A.SetF(158, A.F(inRing1) * A.F(inRing2));
            A.SetF(318, (A.F(inAmpMod) + 1.0f) * A.F(inAmp));

            // 9. Noise: 32-bit congruential white noise, a tiny dither from it,
            // and pink noise from six one-pole filters.
            seed *= 69069u;
            const float white = static_cast<float>(static_cast<int32_t>(seed)) * kTwoPowMinus31;
            A.SetF(157, white);
            A.SetF(0, white * kTwoPowMinus31);
            if ((off & kOffPink) == 0) {
                const __m128 w = _mm_set1_ps(white);
                alignas(16) float pink[8];
                for (int h = 0; h < 2; ++h) {
                    pinkLanes[h] = _mm_add_ps(_mm_mul_ps(pinkLanes[h], pinkPole[h]), _mm_mul_ps(w, pinkGain[h]));
                    _mm_store_ps(pink + 4 * h, pinkLanes[h]);
                }
                float sum = 0.0f;
                for (int k = 0; k < 6; ++k)
                    sum += pink[k];
                A.SetF(156, sum);
            }

            // 10. Mixer.
            if ((off & kOffMixer1) == 0) {
                float sum = A.F(inMix[0]) * A.Ramp(19) + A.F(inMix[1]) * A.Ramp(21) + A.F(inMix[2]) * A.Ramp(23);
                A.SetF(160, sum);
                if ((off & kOffMixer2) == 0) {
                    const float second = A.F(inMix[3]) * A.Ramp(25) + A.F(inMix[4]) * A.Ramp(27);
                    A.SetF(161, second);
                    sum += second;
                }
                A.SetF(159, sum);
                const float weight = A.F(315);
                const float s = sum * (1.0f - weight) + A.F(316) * weight;
                A.SetF(316, s);
                A.SetF(199, s);
                if (s * s >= 1024.0f)
                    A.SetF(159, 0.0f);
            }

            // 11. Waveguide: a delay line with a fractional all-pass and damping.
            if (!kLean && (off & kOffWaveguide) == 0) {
                const float gainIn = A.Ramp(29);
                const float damp = A.Ramp(33);
                const float gainFb = A.Ramp(35);
                const uint32_t pos = A.U(kWaveguidePosition) & (kWaveRing - 1);
                const uint32_t delay = static_cast<uint32_t>(CellAsInt(A.U(31)));
                const float y = ring[(pos - delay) & (kWaveRing - 1)];
                const float aPrev = A.F(kWaveguideA);
                const float a = A.F(kWaveguideY) + (y - aPrev) * A.F(32);
                guideOut = aPrev * damp + a * (1.0f - damp);
                A.SetF(168, guideOut);
                A.SetF(kWaveguideY, y);
                A.SetF(kWaveguideA, ClampSafe(a, -65536.0f, 65536.0f));
                ring[pos] = ClampSafe(A.F(inGuide1) * gainIn + A.F(inGuide2) * gainFb, -65536.0f, 65536.0f);
                A.SetU(kWaveguidePosition, (pos + 1) & (kWaveRing - 1));
            }

            // 12. Shaper with its DC blocker.
            if (!kLean && (off & kOffShaper) == 0) {
                const float u = A.F(inShaper) * A.Ramp(37) * 2048.0f;
                const float y = Shape(shaper, u);
                const float low = ClampSafe(0.995f * A.F(kShaperLow) + 0.005f * y, -65536.0f, 65536.0f);
                A.SetF(kShaperLow, low);
                A.SetF(162, y - low);
            }

            // 13., 14. Filters.
            float filter1Out = 0.0f, filter2Out = 0.0f;
            if (filter1On)
                filter1Out = filter1.Run(A, !kLean && filter1FromGuide ? guideOut : A.F(filter1.input), peak1);
            if (filter2On)
                filter2Out = filter2.Run(A, filter2FromFilter1 ? filter1Out : A.F(filter2.input), peak2);

            // 15. Formant filter: three two-pole sections in series or parallel.
            if (!kLean && (off & kOffFormant) == 0) {
                const float x = formantFromFilter2 ? filter2Out : A.F(inFormant);
                float r = 0.0f;
                float in = x;
                float weight = 0.0f;
                for (int k = 0; k < 3; ++k) {
                    const int c = 89 + 6 * k;
                    const float a = A.Ramp(c), b = A.Ramp(c + 2), cc = A.Ramp(c + 4);
                    if (k == 2)
                        weight = A.Ramp(107);
                    const int* s = kFormantState[k];
                    const float y1 = A.F(s[0]), y2 = A.F(s[1]), u1 = A.F(s[2]), u2 = A.F(s[3]);
                    const float u = a * (formantSeries ? in : x);
                    const float y = formantSeries ? u - cc * u1 + u2 + a * cc * y1 - b * y2
                                                  : u - u2 + b * y1 - cc * y2;
                    A.SetF(s[1], y1);
                    A.SetF(s[0], ClampSafe(y, -65536.0f, 65536.0f));
                    A.SetF(s[3], u1);
                    A.SetF(s[2], u);
                    if (formantSeries)
                        in = y;
                    else
                        r += y;
                }
                if (formantSeries)
                    r = in;
                A.SetF(167, r * weight + x * (1.0f - weight));
            }

            // 16. Output stage: DC blocker, crossfade, drive, bit reduction.
            const float x = A.F(outCell) + A.F(0);
            const float low = ClampSafe(0.995f * A.F(kOutputLow) + 0.005f * x, -65536.0f, 65536.0f);
            A.SetF(kOutputLow, low);
            const float dcFree = x - low;
            A.SetF(outCell, dcFree);
            const float fade = A.Ramp(283);
            float value = fade * A.F(inFade) + (1.0f - fade) * dcFree;
            if ((off & kOffDrive) == 0)
                value = OutputClip(outputClip, value * A.Ramp(109));
            if (quantMask != 0) {
                const float q = ClampSafe(value * 65536.0f + 1.0f, -2147483520.0f, 2147483520.0f);
                const int32_t masked = RoundToInt(q) & std::bit_cast<int32_t>(quantMask);
                value = (static_cast<float>(masked) + kGuard) / 65536.0f;
            }

            // 17. Level and pan into the part mix, at the last frame of the step.
            const float level = A.Ramp(111);
            const float pan = A.Ramp(113);
            const float left = value * level * pan + A.F(inDirectL) * level;
            const float right = value * level * (1.0f - pan) + A.F(inDirectR) * level;
            const int f = i + step - 1;
            mix[2 * f] += left;
            mix[2 * f + 1] += right;
            // The voice's own output decides when it is quiet; the part mix also
            // holds every other voice of the part.
            const float own = left + right + A.F(0);
            power = own * own;
            peakOut = std::max(peakOut, power);
        }
    };
    if (lean)
        sampleLoop(std::true_type{});
    else
        sampleLoop(std::false_type{});

    A.SetF(CEngineData::kAcOutputPower, power);
    if (terrainRun)
        terrainRun->Store(*terrain);
    spectrumRun.Store(A);
    if ((off & kOffFilter1) == 0)
        filter1.Store(A);
    if ((off & kOffFilter2) == 0)
        filter2.Store(A);
    noiseSeed[v] = seed;
    alignas(16) float pink[8];
    _mm_store_ps(pink, pinkLanes[0]);
    _mm_store_ps(pink + 4, pinkLanes[1]);
    for (int k = 0; k < 6; ++k)
        pinkState[k][v] = pink[k];

    uint32_t* record = data.partRecord[part];
    RaisePeak(record, 412, peak1);
    RaisePeak(record, 413, peak2);
    RaisePeak(record, 414, peakOut);

    if (power >= kQuietPower)
        data.voiceState[v] = 0;
    else if (data.ControlI(v, CEngineData::kVcGate) == 0)
        data.voiceState[v] = std::min(data.voiceState[v] + 1, CEngineData::kVoiceFree);
}

// ---------------------------------------------------------------------------
// Voices of a part in vector lanes

void CEngine::RenderVoices(int frames)
{
    // The voices of each part in voice order: a part's mix adds its voices
    // in that order, whichever way they are rendered.
    int members[kParts][kVoices];
    int count[kParts] = {};
    const int inUse = std::clamp(data.voicesInUse, 0, kVoices);
    for (int v = 0; v < inUse; ++v) {
        const int part = data.voicePart[v];
        if (part < 0 || part >= kParts || data.voiceState[v] >= CEngineData::kVoiceFree)
            continue;
        if (partLoading[part].load(std::memory_order_relaxed) != 0)
            continue;
        partSounding[part] = 1;
        if (scalarRender)
            RenderVoice(v, part, frames, RenderDivider(part));
        else
            members[part][count[part]++] = v;
    }
    const int lanes = voice_lanes::LaneCount();
    // Voices of parts whose chains are set up alike share lanes, so a voice
    // costs the same whichever part it sounds on. A part's voices all go
    // into one run of groups, in voice order.
    bool pending[kParts];
    for (int p = 0; p < kParts; ++p) {
        pending[p] = count[p] > 0;
        if (!pending[p])
            continue;
        const int divider = RenderDivider(p);
        if (!PartRendersInLanes(p, members[p], count[p])) {
            for (int i = 0; i < count[p]; ++i)
                RenderVoice(members[p][i], p, frames, divider);
            pending[p] = false;
            continue;
        }
        SetUpLanePart(p, frames, divider, laneSetups[p]);
    }
    for (int p = 0; p < kParts; ++p) {
        if (!pending[p])
            continue;
        LaneVoice run[kVoices];
        int n = 0;
        for (int q = p; q < kParts; ++q) {
            if (!pending[q] || !(q == p || laneSetups[q] == laneSetups[p]))
                continue;
            pending[q] = false;
            for (int i = 0; i < count[q]; ++i)
                run[n++] = {members[q][i], q};
        }
        // The moves follow from the set-up alone: worked out again only
        // when it changed.
        if (!(laneMovesFor[p] == laneSetups[p])) {
            SetUpLaneMoves(laneSetups[p], laneMoves[p]);
            laneMovesFor[p] = laneSetups[p];
        }
        // Full groups of the widest lanes; what is left over takes the
        // narrowest kernel that holds it, and a voice alone renders on its
        // own, which costs less than a group of mostly spare lanes.
        for (int i = 0; i < n;) {
            const int left = n - i;
            if (left == 1) {
                RenderVoice(run[i].voice, run[i].part, frames, laneSetups[p].divider);
                break;
            }
            if (left >= 2 * lanes && lanes == 8 && LightChain(laneSetups[p])) {
                // Two whole groups step side by side: a light chain leaves
                // room beside its filter recursions for the other's work (a
                // heavy one has work enough of its own).
                RenderLanePair(laneSetups[p], laneMoves[p], run + i, lanes);
                i += 2 * lanes;
                continue;
            }
            const int width = left > 4 ? lanes : 4;
            const int take = std::min(width, left);
            RenderLanes(laneSetups[p], laneMoves[p], run + i, take, width);
            i += take;
        }
    }
}

bool CEngine::PartRendersInLanes(int part, const int* voices, int count) const
{
    const Cells P{const_cast<uint32_t*>(data.partRecord[part])};
    const uint32_t off = P.U(270);
    static constexpr int kWaveCell[3] = {155, 163, 172};
    for (int j = 0; j < 3; ++j)
        if ((off & kOffOsc[j]) == 0 && CellAsInt(P.U(kWaveCell[j])) == kMultiSampleWave)
            return false;
    if ((off & kOffTerrain) == 0)
        for (int i = 0; i < count; ++i)
            if (terrainFilters[voices[i]] == nullptr)
                return false;
    // The output stage writes its cell back; the lanes take the usual module
    // outputs there, whose cells no block-constant read depends on.
    const int out = CellOfCode(P.U(255));
    return (out >= 153 && out <= 168) || out == 176 || out == 199 || out == 201 || out == 317 || out == 318;
}

void CEngine::SetUpLanePart(int part, int frames, int divider, voice_lanes::PartSetup& s) const
{
    const Cells P{const_cast<uint32_t*>(data.partRecord[part])};
    const uint32_t off = P.U(270);
    s.saturation = g_TLShapes.Fixed(1);
    s.outputClip = g_TLShapes.Fixed(2);
    s.off = off;
    s.divider = divider;
    s.groups = frames >> divider;
    for (int j = 0; j < 3; ++j)
        s.running[j] = (off & kOffOsc[j]) == 0;
    s.fm[0] = false;
    s.fm[1] = P.U(238) != 0;
    s.fm[2] = P.U(239) != 0;
    s.inFm[1] = CellOfCode(P.U(238));
    s.inFm[2] = CellOfCode(P.U(239));
    s.unison = P.U(356) != 0;
    s.formantSeries = CellAsInt(P.U(327)) == 1;
    s.inTerrain = CellOfCode(P.U(237));
    s.inShaper = CellOfCode(P.U(248));
    s.inGuide1 = CellOfCode(P.U(253));
    s.inGuide2 = CellOfCode(P.U(254));
    s.inFormant = CellOfCode(P.U(256));
    const int32_t shapeRef = CellAsInt(P.U(182));
    s.shaper = shapeRef == kUserShapeRef                                ? g_TLShapes.userShapes[part]
               : (shapeRef >= 0 && shapeRef < CTLShapes::kSelectable) ? g_TLShapes.shapes[shapeRef]
                                                                       : g_TLShapes.shapes[0];
    // A shaper that is off names no table, so parts that differ only in
    // their own (unused) user shape still share lanes.
    if (s.shaper == nullptr || (off & kOffShaper) != 0)
        s.shaper = kSilentTable;
    s.pulse1 = P.I(156) == kPulseCode1;
    s.pulse2 = P.I(164) == kPulseCode2;
    s.sync1 = CellOfCode(P.U(166));
    s.sync2 = CellOfCode(P.U(175));
    s.syncA = s.sync1 == 119 || s.sync1 == 120;
    s.syncB = s.sync2 == 119 || s.sync2 == 120;
    s.inRing1 = CellOfCode(P.U(240));
    s.inRing2 = CellOfCode(P.U(241));
    s.inAmp = CellOfCode(P.U(247));
    s.inAmpMod = CellOfCode(P.U(249));
    for (int k = 0; k < 5; ++k)
        s.inMix[k] = CellOfCode(P.U(242 + k));
    for (int f = 0; f < 2; ++f) {
        const FilterCells& c = kFilter[f];
        const int type = CellAsInt(P.U(c.type));
        s.filter[f] = {(off & c.offBit) == 0, type == 6 || type == 7, P.F(c.g1), P.F(c.g2),
                       CellOfCode(P.U(c.input)), CellOfCode(P.U(c.r1)), CellOfCode(P.U(c.r2))};
    }
    s.outCell = CellOfCode(P.U(255));
    s.inFade = CellOfCode(P.U(339));
    s.inDirectL = CellOfCode(P.U(384));
    s.inDirectR = CellOfCode(P.U(385));
    s.quantMask = P.U(271);

}

bool CEngine::LightChain(const voice_lanes::PartSetup& s)
{
    return (s.off & kHeavyModules) == kHeavyModules && !s.unison;
}

void CEngine::SetUpLaneMoves(const voice_lanes::PartSetup& s, voice_lanes::CellMoves& m)
{
    // Rows: the cells the chain writes per sample (in and out again), the
    // steps it reads, and the cells the routing reads.
    const LaneCells& cells = kLaneCells[LightChain(s) ? 0 : 1];
    std::copy(cells.written, cells.written + cells.countWritten, m.out);
    m.countOut = cells.countWritten;
    std::copy(cells.written, cells.written + cells.countWritten, m.in);
    std::copy(cells.steps, cells.steps + cells.countSteps, m.in + cells.countWritten);
    m.countIn = cells.countWritten + cells.countSteps;
    const int fixedIn = m.countIn;
    auto addIn = [&](int cell) {
        if (cells.touched[cell] || std::find(m.in + fixedIn, m.in + m.countIn, cell) != m.in + m.countIn)
            return false;
        m.in[m.countIn++] = cell;
        return true;
    };
    if (addIn(s.outCell))
        m.out[m.countOut++] = s.outCell;
    for (int cell : {s.inFm[1], s.inFm[2], s.sync1, s.sync2, s.inRing1, s.inRing2, s.inAmp, s.inAmpMod, s.inMix[0],
                     s.inMix[1], s.inMix[2], s.inMix[3], s.inMix[4], s.filter[0].input, s.filter[0].r1,
                     s.filter[0].r2, s.filter[1].input, s.filter[1].r1, s.filter[1].r2, s.inFade, s.inDirectL,
                     s.inDirectR, s.inTerrain, s.inShaper, s.inGuide1, s.inGuide2, s.inFormant})
        addIn(cell);

    // Whole blocks of eight for the eight-lane kernel. Every cell that goes
    // out also comes in, so each outgoing block came in whole.
    using voice_lanes::kBlockCells;
    m.blocksIn = m.blocksOut = 0;
    m.countTailIn = m.countTailOut = 0;
    for (int i = 0; i < m.countIn; ++i) {
        if (m.in[i] < kBlockCells)
            m.blocksIn |= uint64_t{1} << (m.in[i] >> 3);
        else
            m.tailIn[m.countTailIn++] = m.in[i];
    }
    for (int i = 0; i < m.countOut; ++i) {
        if (m.out[i] < kBlockCells)
            m.blocksOut |= uint64_t{1} << (m.out[i] >> 3);
        else
            m.tailOut[m.countTailOut++] = m.out[i];
    }
}

void CEngine::RenderLanes(const voice_lanes::PartSetup& setup, const voice_lanes::CellMoves& moves,
                          const LaneVoice* voices, int count, int width)
{
    voice_lanes::Group& g = laneGroup[0];
    FillGroup(g, setup, moves, voices, count, width);
    voice_lanes::Render(g, width);
    MixGroup(g, voices, count);
}

void CEngine::RenderLanePair(const voice_lanes::PartSetup& setup, const voice_lanes::CellMoves& moves,
                             const LaneVoice* voices, int width)
{
    FillGroup(laneGroup[0], setup, moves, voices, width, width);
    FillGroup(laneGroup[1], setup, moves, voices + width, width, width);
    voice_lanes::RenderPair(laneGroup[0], laneGroup[1], width);
    MixGroup(laneGroup[0], voices, width);
    MixGroup(laneGroup[1], voices + width, width);
}

void CEngine::FillGroup(voice_lanes::Group& g, const voice_lanes::PartSetup& setup,
                        const voice_lanes::CellMoves& moves, const LaneVoice* voices, int count, int width)
{
    static_cast<voice_lanes::PartSetup&>(g) = setup;
    const uint32_t off = setup.off;
    if (count < width)
        std::copy(data.voiceAudio[voices[0].voice], data.voiceAudio[voices[0].voice] + CEngineData::kVoiceAudioCells,
                  laneSpare);
    g.lanes = count;
    for (int l = 0; l < width; ++l) {
        const int v = voices[l < count ? l : 0].voice;
        const Cells P{data.partRecord[voices[l < count ? l : 0].part]};
        g.record[l] = l < count ? data.voiceAudio[v] : laneSpare;
        for (int j = 0; j < 3; ++j) {
            const Segment* t = data.OscTable(std::bit_cast<int32_t>(g.record[l][115 + j]));
            g.wave[j][l] = t ? t : kSilentTable;
        }
        g.terrain[l] = terrainFilters[v];
        g.ring[l] = l < count ? voiceRing[0][v] : laneSpareRing;
        g.guideDelay[l] = static_cast<uint32_t>(CellAsInt(g.record[l][31]));
        const uint32_t enable = g.record[l][282];
        for (int k = 0; k < 6 && (off & kOffSpectrum) == 0; ++k) {
            const bool on = k == 0 || (enable & (1u << k)) != 0;
            g.spectrumOn[k][l] = on;
            for (int t = 0; t < 4; ++t) {
                const Segment* table =
                    on ? data.SpectrumTable(std::bit_cast<int32_t>(g.record[l][CEngineData::kAcSpectrumGroup + 13 * k + 6 + t]))
                       : nullptr;
                g.spectrum[k][t][l] = table ? table : kSilentTable;
            }
        }
        g.seed[l] = noiseSeed[v];
        for (int k = 0; k < 6; ++k)
            g.pink[k][l] = pinkState[k][v];
        g.peak1[l] = std::bit_cast<float>(P.U(412));
        g.peak2[l] = std::bit_cast<float>(P.U(413));
        g.peakOut[l] = std::bit_cast<float>(P.U(414));
        g.power[l] = std::bit_cast<float>(g.record[l][CEngineData::kAcOutputPower]);
    }
    g.moves = &moves;
}

void CEngine::MixGroup(const voice_lanes::Group& g, const LaneVoice* voices, int count)
{
    // Each frame of a part's mix adds its voices in voice order.
    const int step = 1 << g.divider;
    float* mixOf[voice_lanes::kMaxLanes] = {};
    for (int l = 0; l < count; ++l)
        mixOf[l] = partMix[voices[l].part];
    const int done = g.divider == 0 ? voice_lanes::AddToMix(g, count, mixOf) : 0;
    for (int first = 0; first < count;) {
        const int part = voices[first].part;
        int last = first + 1;
        while (last < count && voices[last].part == part)
            ++last;
        float* mix = partMix[part];
        uint32_t* record = data.partRecord[part];
        for (int l = first; l < last; ++l) {
            const int v = voices[l].voice;
            for (int n = done; n < g.groups; ++n) {
                const int f = (n << g.divider) + step - 1;
                mix[2 * f] += g.left[n][l];
                mix[2 * f + 1] += g.right[n][l];
            }
            data.SetAudioF(v, CEngineData::kAcOutputPower, g.power[l]);
            noiseSeed[v] = g.seed[l];
            for (int k = 0; k < 6; ++k)
                pinkState[k][v] = g.pink[k][l];
            RaisePeak(record, 412, g.peak1[l]);
            RaisePeak(record, 413, g.peak2[l]);
            RaisePeak(record, 414, g.peakOut[l]);
            if (g.power[l] >= kQuietPower)
                data.voiceState[v] = 0;
            else if (data.ControlI(v, CEngineData::kVcGate) == 0)
                data.voiceState[v] = std::min(data.voiceState[v] + 1, CEngineData::kVoiceFree);
        }
        first = last;
    }
}
