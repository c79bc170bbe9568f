#pragma once
// The lane kernel as it was before the render's cost was made to follow the
// voices: kept unchanged, as the one-voice render is, so the benchmarks can
// time today's render against it in one run. Not used for sound.
//
// Included once by each instruction-set build of it
// (VoiceLanesBeforeSse2.cpp, VoiceLanesBeforeAvx2.cpp); everything here sits
// in an unnamed namespace and calls no inline function of another header.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <emmintrin.h>
#ifdef __AVX2__
#include <immintrin.h>
#endif

#include "engine/VoiceLanes.h"

namespace {

using voice_lanes::Group;
using voice_lanes::kMaxLanes;
using Segment = CTLBase::Segment;

constexpr float kGuardL = 1e-13f;
constexpr uint32_t kMask25 = 0x1FFFFFF;
constexpr float kTwoPowMinus31L = 4.656612873077393e-10f;
constexpr uint32_t kOffRingL = 0x8, kOffPinkL = 0x10, kOffMixer1L = 0x20, kOffMixer2L = 0x40,
                   kOffShaperL = 0x80, kOffWaveguideL = 0x100, kOffSubPulseL = 0x800, kOffFormantL = 0x2000,
                   kOffSpectrumL = 0x4000, kOffTerrainL = 0x8000,
                   kOffFilter1L = 0x200, kOffDriveL = 0x400, kOffFilter2L = 0x1000;
constexpr uint32_t kMask24 = 0xFFFFFF;
constexpr int kRingMask = 2047;
constexpr float kSpectrumFactorL[6] = {1.0f, 0.91f, 0.87f, 1.05f, 0.95f, 0.97f};
constexpr int kFormantStateL[3][4] = {{133, 134, 135, 136}, {137, 138, 139, 140}, {141, 142, 143, 145}};
constexpr float kPinkPoleL[6] = {0.997f, 0.985f, 0.95f, 0.85f, 0.62f, 0.25f};
constexpr float kPinkGainL[6] = {0.029591f, 0.032534f, 0.048056f, 0.090579f, 0.10899f, 0.255784f};

// Vector types of four and eight lanes (the attribute cannot depend on a
// template argument).
typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef uint32_t U4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef int32_t I8 __attribute__((vector_size(32)));
typedef uint32_t U8 __attribute__((vector_size(32)));
template <int N>
struct VectorTypes;
template <>
struct VectorTypes<4> {
    using F = F4;
    using I = I4;
    using U = U4;
};
template <>
struct VectorTypes<8> {
    using F = F8;
    using I = I8;
    using U = U8;
};

template <int N>
struct Lanes {
    using F = typename VectorTypes<N>::F;
    using I = typename VectorTypes<N>::I;
    using U = typename VectorTypes<N>::U;

    uint32_t (*rows)[kMaxLanes];

    F Fv(int c) const { F v; std::memcpy(&v, rows[c], sizeof v); return v; }
    U Uv(int c) const { U v; std::memcpy(&v, rows[c], sizeof v); return v; }
    void SetF(int c, F v) { std::memcpy(rows[c], &v, sizeof v); }
    void SetU(int c, U v) { std::memcpy(rows[c], &v, sizeof v); }
    F Ramp(int c)
    {
        const F v = Fv(c) + Fv(c + 1);
        SetF(c, v);
        return v;
    }

    static F Splat(float x) { return F{} + x; }
    static U SplatU(uint32_t x) { return U{} + x; }
    static F Select(I mask, F a, F b) { return mask ? a : b; }
    static F ToF(U u) { return __builtin_convertvector((I)u, F); }
    static F ToFI(I i) { return __builtin_convertvector(i, F); }

    // x limited to lo..hi, NaN gives 0 (as ClampSafe).
    // Whether every lane of a comparison holds.
    static bool All(I mask)
    {
        if constexpr (N == 4) {
            __m128 m;
            std::memcpy(&m, &mask, sizeof m);
            return _mm_movemask_ps(m) == 0xF;
        } else {
#ifdef __AVX2__
            __m256 m;
            std::memcpy(&m, &mask, sizeof m);
            return _mm256_movemask_ps(m) == 0xFF;
#else
            return false;
#endif
        }
    }
    // Rounded by the conversion instruction (the current rounding mode, ties
    // to even), as the one-voice render's conversions.
    static I RoundToInt(F x)
    {
        I r;
        if constexpr (N == 4) {
            __m128 v;
            std::memcpy(&v, &x, sizeof v);
            const __m128i c = _mm_cvtps_epi32(v);
            std::memcpy(&r, &c, sizeof r);
        } else {
#ifdef __AVX2__
            __m256 v;
            std::memcpy(&v, &x, sizeof v);
            const __m256i c = _mm256_cvtps_epi32(v);
            std::memcpy(&r, &c, sizeof r);
#endif
        }
        return r;
    }
    static F ClampSafeV(F x, float lo, float hi)
    {
        const F l = Splat(lo), h = Splat(hi);
        return Select(x >= l, Select(x <= h, x, h), Select(x < l, l, Splat(0.0f)));
    }
    // Rounded to the nearest integer, ties to even: adding 1.5 * 2^23 leaves
    // the integer in the low mantissa bits. Exact for |c| <= 2^22.
    static I RoundSmall(F c)
    {
        const F m = c + Splat(12582912.0f);
        I bits;
        std::memcpy(&bits, &m, sizeof bits);
        return bits - 0x4B400000;
    }
    // Segment lookups: each lane's (slope, offset) pair is one 64-bit load;
    // the pairs are then sorted into slopes and offsets. (Gather
    // instructions are slower than this on processors that carry the
    // gather-sampling fix.)
    static __m128 Pair(const Segment* a, const Segment* b)
    {
        const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
        const __m128i y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
        return _mm_castsi128_ps(_mm_unpacklo_epi64(x, y));
    }
    static void Split(const __m128* pairs, F& slope, F& offset)
    {
        if constexpr (N == 4) {
            const __m128 s = _mm_shuffle_ps(pairs[0], pairs[1], 0x88), o = _mm_shuffle_ps(pairs[0], pairs[1], 0xDD);
            std::memcpy(&slope, &s, sizeof slope);
            std::memcpy(&offset, &o, sizeof offset);
        } else {
#ifdef __AVX2__
            const __m256 lo = _mm256_set_m128(pairs[2], pairs[0]), hi = _mm256_set_m128(pairs[3], pairs[1]);
            const __m256 s = _mm256_shuffle_ps(lo, hi, 0x88), o = _mm256_shuffle_ps(lo, hi, 0xDD);
            std::memcpy(&slope, &s, sizeof slope);
            std::memcpy(&offset, &o, sizeof offset);
#endif
        }
    }
    static void Lookup(const Segment* const* tables, I index, F& slope, F& offset)
    {
        __m128 pairs[N / 2];
        for (int l = 0; l < N; l += 2)
            pairs[l / 2] = Pair(tables[l] + index[l], tables[l + 1] + index[l + 1]);
        Split(pairs, slope, offset);
    }
    static void Lookup(const Segment* table, I index, F& slope, F& offset)
    {
        __m128 pairs[N / 2];
        for (int l = 0; l < N; l += 2)
            pairs[l / 2] = Pair(table + index[l], table + index[l + 1]);
        Split(pairs, slope, offset);
    }
    static F ReadWave(const Segment* const* tables, U x)
    {
        F slope, offset;
        Lookup(tables, (I)x >> 16, slope, offset);
        return ToF(x) * slope + offset;
    }
    static F Shape(const Segment* table, F x)
    {
        F c = Select(x > Splat(-2048.0f), x, Splat(-2048.0f));
        c = Select(c < Splat(2047.0f), c, Splat(2047.0f));
        F slope, offset;
        Lookup(table, RoundSmall(c) + 2048, slope, offset);
        return x * slope + offset;
    }
    static F OutputClip(const Segment* table, F x)
    {
        F c = Select(x > Splat(-2048.0f), x, Splat(-2048.0f));
        c = Select(c < Splat(2047.0f), c, Splat(2047.0f));
        F slope, offset;
        Lookup(table, RoundSmall(c) + 2048, slope, offset);
        F y = x * slope + offset;
        y = Select(x < Splat(-2048.5f), Splat(-1.0f), y);
        y = Select(x >= Splat(2047.5f), Splat(1.0f), y);
        return Select(x == x, y, Splat(0.0f));
    }
    static U FmOffset(F source, F depth)
    {
        const F prod = source * depth;
        // Products within +-2^30 (all but a runaway feedback) round by the
        // vector conversion, which gives the same integer as the 64-bit one.
        const F limit = Splat(1073741824.0f);
        if (All((prod < limit) & (prod > -limit)))
            return (U)RoundToInt(prod) & kMask25;
        U m;
        for (int l = 0; l < N; ++l) {
            const float p = prod[l];
            if (!(p == p)) {
                m[l] = 0u;
                continue;
            }
            const float c = p < -1.0e15f ? -1.0e15f : (p > 1.0e15f ? 1.0e15f : p);
            const long long r = _mm_cvtss_si64(_mm_set_ss(c));
            m[l] = static_cast<uint32_t>(static_cast<unsigned long long>(r) & kMask25);
        }
        return m;
    }
    F Gather(const Group& g, int cell) const
    {
        F v;
        for (int l = 0; l < N; ++l) {
            float f;
            std::memcpy(&f, g.record[l] + cell, sizeof f);
            v[l] = f;
        }
        return v;
    }
    static void Scatter(Group& g, int cell, F v)
    {
        for (int l = 0; l < g.lanes; ++l) {
            const float f = v[l];
            std::memcpy(g.record[l] + cell, &f, sizeof f);
        }
    }
};

// One voice filter over a block, per lane (as FilterRun).
template <int N>
struct FilterLanes {
    using L = Lanes<N>;
    using F = typename L::F;
    enum Source { kFromCell, kFromInput, kFromSection1 };
    static constexpr int kDrive[2] = {43, 65}, kFeedback[2] = {41, 63}, kCoef[2] = {47, 69},
                         kState[2] = {121, 127}, kOutput[2] = {165, 166};
    static constexpr int kInputCell = 164;

    int which;
    bool onePole;
    F g1{}, g2{}, drive{}, driveStep{}, feedback{}, feedbackStep{};
    F coef[7], step[7], s[6];
    int r1, r2;
    Source r1Source, r2Source;

    FilterLanes(const L& lanes, const Group& g, int filter) : which(filter)
    {
        const voice_lanes::FilterSetup& f = g.filter[filter];
        onePole = f.onePole;
        g1 = L::Splat(f.g1);
        g2 = L::Splat(f.g2);
        r1 = f.r1;
        r2 = f.r2;
        r1Source = SourceOf(r1);
        r2Source = SourceOf(r2);
        // A filter that is off is neither run nor stored: its state stays
        // in the records.
        if (!f.on)
            return;
        drive = lanes.Gather(g, kDrive[which]);
        driveStep = lanes.Gather(g, kDrive[which] + 1);
        feedback = lanes.Gather(g, kFeedback[which]);
        feedbackStep = lanes.Gather(g, kFeedback[which] + 1);
        for (int k = 0; k < 7; ++k) {
            coef[k] = lanes.Gather(g, kCoef[which] + 2 * k);
            step[k] = lanes.Gather(g, kCoef[which] + 2 * k + 1);
        }
        for (int k = 0; k < 6; ++k)
            s[k] = lanes.Gather(g, kState[which] + k);
    }
    Source SourceOf(int cell) const
    {
        return cell == kInputCell ? kFromInput : (cell == kState[which] + 4 ? kFromSection1 : kFromCell);
    }
    static F Routed(const L& A, int cell, Source source, F input, F section1)
    {
        if (source == kFromSection1)
            return section1;
        if (source == kFromInput)
            return input;
        return A.Fv(cell);
    }

    void Store(Group& g) const
    {
        L::Scatter(g, kDrive[which], drive);
        L::Scatter(g, kFeedback[which], feedback);
        for (int k = 0; k < 7; ++k)
            L::Scatter(g, kCoef[which] + 2 * k, coef[k]);
        for (int k = 0; k < 6; ++k) {
            F v = s[k];
            for (int l = 0; l < N; ++l)
                v[l] = __builtin_isfinite(v[l]) ? v[l] : 0.0f;
            L::Scatter(g, kState[which] + k, v);
        }
    }

    F Run(L& A, const Segment* saturation, F in, F& peak)
    {
        F x = in * drive + s[5];
        const F xx = x * x;
        peak = L::Select(peak < xx, xx, peak);
        drive += driveStep;
        feedback += feedbackStep;
        coef[0] += step[0];
        coef[1] += step[1];
        coef[3] += step[3];
        coef[4] += step[4];
        coef[6] += step[6];
        const F c1 = coef[0], c2 = coef[1], c4 = coef[3], c5 = coef[4];
        x = L::Shape(saturation, x);
        F y;
        if (onePole) {
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
            coef[2] += step[2];
            coef[5] += step[5];
            const F c3 = coef[2], c6 = coef[5];
            A.SetF(kInputCell, x);
            const F w1 = x * c1 + s[1] * c3 + s[0] * c2;
            s[4] = w1 + g1 * s[0] + s[1] + kGuardL;
            s[1] = s[0];
            s[0] = w1;
            A.SetF(kState[which] + 4, s[4]);
            const F w2 = Routed(A, r1, r1Source, x, s[4]) * c4 + s[3] * c6 + s[2] * c5;
            y = w2 + g2 * s[2] + s[3] + kGuardL + Routed(A, r2, r2Source, x, s[4]);
            s[3] = s[2];
            s[2] = w2;
        }
        s[5] = L::ClampSafeV(y * feedback, -65536.0f, 65536.0f);
        const F out = y * coef[6];
        A.SetF(kOutput[which], out);
        return out;
    }
};

// The terrain filter per lane (as CTerrainFilter::Runner): four resonators
// in parallel, four notches in series, a DC follower.
template <int N>
struct TerrainLanes {
    using L = Lanes<N>;
    using F = typename L::F;
    // Filled only where the filter runs: a part without it does not pay
    // for clearing some hundred vectors every block.
    F c[8][6], d[8][6], s1[8], s2[8], dc;

    TerrainLanes(const Group& g, bool on)
    {
        for (int l = 0; l < N && on; ++l) {
            const CTerrainFilter& f = *g.terrain[l];
            for (int i = 0; i < 8; ++i) {
                for (int k = 0; k < 6; ++k) {
                    c[i][k][l] = f.sections[i].c[k];
                    d[i][k][l] = f.sections[i].d[k];
                }
                s1[i][l] = f.sections[i].s1;
                s2[i][l] = f.sections[i].s2;
            }
            dc[l] = f.dc;
        }
    }
    void Store(const Group& g) const
    {
        for (int l = 0; l < g.lanes; ++l) {
            CTerrainFilter& f = *g.terrain[l];
            for (int i = 0; i < 8; ++i) {
                for (int k = 0; k < 6; ++k)
                    f.sections[i].c[k] = c[i][k][l];
                f.sections[i].s1 = s1[i][l];
                f.sections[i].s2 = s2[i][l];
            }
            f.dc = dc[l];
        }
    }
    // Limited to the state range, NaN to 0 (as the runner's vector limit and
    // the sections' ClampSafe, which agree).
    static F Limit(F s)
    {
        const F lo = L::Splat(-CIIR2Order::kStateLimit), hi = L::Splat(CIIR2Order::kStateLimit);
        F m = L::Select(s > lo, s, lo);
        m = L::Select(m < hi, m, hi);
        return L::Select(s == s, m, L::Splat(0.0f));
    }
    F Section(int i, F x)
    {
        for (int k = 0; k < 6; ++k)
            c[i][k] += d[i][k];
        const F xg = c[i][5] * x;
        const F y = c[i][2] * xg + s1[i];
        s1[i] = Limit(c[i][3] * xg - c[i][0] * y + s2[i] + CIIR2Order::kStateOffset);
        s2[i] = Limit(c[i][4] * xg - c[i][1] * y + CIIR2Order::kStateOffset);
        return y;
    }
    F Process(F x)
    {
        F sum = Section(0, x);
        sum = sum + Section(1, x);
        sum = sum + Section(2, x);
        sum = sum + Section(3, x);
        for (int i = 4; i < 8; ++i)
            sum = Section(i, sum);
        sum += 1e-7f;
        dc = 0.9995f * dc + 0.0005f * sum;
        return (dc - sum) * 0.25f;
    }
};

// The spectral oscillator per lane (as SpectrumRun): sub-oscillators a lane
// does not run are computed on silent tables and left out of its sum and
// its stored state.
template <int N>
struct SpectrumLanes {
    using L = Lanes<N>;
    using F = typename L::F;
    using U = typename L::U;
    using I = typename L::I;
    static constexpr int kGroup = 202, kGroupCells = 13;
    // Filled only where the oscillator runs (as the terrain filter's).
    F u, uStep, v[6], vStep[6], vStepStep[6];
    U inc[6], incStep[6], phase[6];
    I on[6];

    SpectrumLanes(const L& A, const Group& g, bool run)
    {
        if (!run)
            return;
        u = A.Gather(g, 280);
        uStep = A.Gather(g, 281);
        for (int k = 0; k < 6; ++k) {
            const int cell = kGroup + kGroupCells * k;
            inc[k] = (U)A.Gather(g, cell);
            incStep[k] = (U)A.Gather(g, cell + 1);
            v[k] = A.Gather(g, cell + 2);
            vStep[k] = A.Gather(g, cell + 3);
            vStepStep[k] = A.Gather(g, cell + 4);
            phase[k] = (U)A.Gather(g, cell + 5);
            for (int l = 0; l < N; ++l)
                on[k][l] = g.spectrumOn[k][l] ? -1 : 0;
        }
    }
    void Store(Group& g) const
    {
        L::Scatter(g, 280, u);
        for (int k = 0; k < 6; ++k) {
            const int cell = kGroup + kGroupCells * k;
            for (int l = 0; l < g.lanes; ++l) {
                if (!g.spectrumOn[k][l])
                    continue;
                uint32_t* r = g.record[l];
                r[cell] = inc[k][l];
                // Lanes copied out first: clang takes no address of a vector element.
                const float vl = v[k][l], vStepl = vStep[k][l];
                std::memcpy(r + cell + 2, &vl, 4);
                std::memcpy(r + cell + 3, &vStepl, 4);
                r[cell + 5] = phase[k][l];
            }
        }
    }
    static F Region(const Segment* const* tables, U p, F pf)
    {
        F slope, offset;
        L::Lookup(tables, (I)(p >> 16), slope, offset);
        return pf * slope + offset;
    }
    void Process(L& A, const Group& g)
    {
        u += uStep;
        A.SetF(344, L::Splat(kGuardL));
        F output = L::Splat(0.0f);
        for (int k = 0; k < 6; ++k) {
            vStep[k] += vStepStep[k];
            v[k] += vStep[k];
            inc[k] += incStep[k];
            phase[k] += inc[k];
            const U p = phase[k] & kMask24;
            const F pf = L::ToF(p);
            const Segment* const* t[4] = {g.spectrum[k][0], g.spectrum[k][1], g.spectrum[k][2], g.spectrum[k][3]};
            const F s = (Region(t[1], p, pf) * (1.0f - u) + Region(t[3], p, pf) * u) * (1.0f - v[k]) +
                        (Region(t[0], p, pf) * (1.0f - u) + Region(t[2], p, pf) * u) * v[k];
            const F next = k == 0 ? s : (output + s) * kSpectrumFactorL[k];
            output = L::Select(on[k], next, output);
        }
        A.SetF(343, output);
        A.SetF(201, output);
    }
};

template <int N>
inline __attribute__((always_inline)) void RenderLanes(Group& g)
{
    using L = Lanes<N>;
    using F = typename L::F;
    using U = typename L::U;
    using I = typename L::I;
    L A{g.cells};

    // Cells in as rows of lanes; spare lanes read lane 0's record.
    for (int i = 0; i < g.moves->countIn; ++i) {
        const int c = g.moves->in[i];
        for (int l = 0; l < N; ++l)
            g.cells[c][l] = g.record[l][c];
    }

    const uint32_t off = g.off;
    FilterLanes<N> filter1(A, g, 0), filter2(A, g, 1);
    const bool filter1On = g.filter[0].on, filter2On = g.filter[1].on;
    const bool terrainOn = (off & kOffTerrainL) == 0, spectrumOn = (off & kOffSpectrumL) == 0;
    TerrainLanes<N> terrain(g, terrainOn);
    SpectrumLanes<N> spectrum(A, g, spectrumOn);
    F modValue[12], modStep[12];
    bool modRampsRouted = false;
    for (int cell : {g.inTerrain, g.inFm[1], g.inFm[2], g.inRing1, g.inRing2, g.inAmp, g.inAmpMod, g.inMix[0],
                     g.inMix[1], g.inMix[2], g.inMix[3], g.inMix[4], g.filter[0].input, g.filter[0].r1,
                     g.filter[0].r2, g.filter[1].input, g.filter[1].r1, g.filter[1].r2, g.outCell, g.inFade,
                     g.inDirectL, g.inDirectR, g.inShaper, g.inGuide1, g.inGuide2, g.inFormant})
        modRampsRouted = modRampsRouted || (cell >= 319 && cell <= 330);
    for (int k = 0; k < 12; ++k) {
        modValue[k] = A.Fv(319 + k);
        modStep[k] = A.Fv(331 + k);
    }
    U seed;
    F pink[6];
    F peak1, peak2, peakOut, power;
    for (int l = 0; l < N; ++l) {
        seed[l] = g.seed[l];
        for (int k = 0; k < 6; ++k)
            pink[k][l] = g.pink[k][l];
        peak1[l] = g.peak1[l];
        peak2[l] = g.peak2[l];
        peakOut[l] = g.peakOut[l];
        power[l] = g.power[l];
    }

    // Sources: everything up to the mixer, one sample.
    auto sources = [&](int n) __attribute__((always_inline)) {
        (void)n;
        // 1. Terrain filter.
        if (terrainOn)
            A.SetF(317, terrain.Process(A.Fv(g.inTerrain)));

        // 3. Modulation ramps. Their cells are written per sample only
        // where the routing reads them; otherwise once after the block.
        for (int k = 0; k < 12; ++k) {
            modValue[k] = modValue[k] + modStep[k];
            if (modRampsRouted)
                A.SetF(319 + k, modValue[k]);
        }

        // 4. Oscillator 1.
        if (g.running[0]) {
            const U inc = A.Uv(1) + A.Uv(2);
            A.SetU(1, inc);
            F o;
            if (!g.unison) {
                const U old = A.Uv(118);
                const U ph = (old + inc) & kMask25;
                A.SetU(118, ph);
                const auto wrapped = ph < old;
                if (g.syncA)
                    A.SetU(g.sync1, wrapped ? ph : A.Uv(g.sync1));
                if (g.syncB)
                    A.SetU(g.sync2, wrapped ? ph : A.Uv(g.sync2));
                o = L::ReadWave(g.wave[0], ph);
                if (g.pulse1) {
                    o = L::ReadWave(g.wave[0], (ph + A.Uv(3)) & kMask25) - o;
                    A.SetU(3, A.Uv(3) + A.Uv(4));
                }
            } else {
                o = L::Splat(0.0f);
                for (int k = 0; k < 6; ++k) {
                    const U old = A.Uv(303 + k);
                    const U ph = (old + inc + A.Uv(309 + k)) & kMask25;
                    A.SetU(303 + k, ph);
                    if (k == 0) {
                        const auto wrapped = ph < old;
                        if (g.syncA)
                            A.SetU(g.sync1, wrapped ? ph : A.Uv(g.sync1));
                        if (g.syncB)
                            A.SetU(g.sync2, wrapped ? ph : A.Uv(g.sync2));
                    }
                    o += L::ReadWave(g.wave[0], ph);
                }
                if (g.pulse1) {
                    const U po = A.Uv(3);
                    for (int k = 0; k < 6; ++k)
                        o -= L::ReadWave(g.wave[0], (A.Uv(303 + k) + po) & kMask25);
                    A.SetU(3, po + A.Uv(4));
                }
                o *= 0.5f;
            }
            A.SetF(153, o);
        }

        // 5. Oscillators 2 and 3.
        for (int j = 1; j <= 2; ++j) {
            if (!g.running[j])
                continue;
            const int incCell = 1 + 6 * j;
            const U inc = A.Uv(incCell) + A.Uv(incCell + 1);
            A.SetU(incCell, inc);
            const U ph = (A.Uv(118 + j) + inc) & kMask25;
            A.SetU(118 + j, ph);
            U m = L::SplatU(0u);
            if (g.fm[j]) {
                m = L::FmOffset(A.Fv(g.inFm[j]), A.Fv(5 + 6 * j));
                A.Ramp(5 + 6 * j);
            }
            F o = L::ReadWave(g.wave[j], (ph + m) & kMask25);
            if (j == 1 && g.pulse2) {
                const U po = A.Uv(9) + A.Uv(10);
                A.SetU(9, po);
                o = L::ReadWave(g.wave[j], (ph + po) & kMask25) - o;
            }
            A.SetF(153 + j, o);
        }

        // 6. Sub-harmonic pulses of oscillator 1.
        if ((off & kOffSubPulseL) == 0) {
            F sum = L::Splat(kGuardL);
            for (int k = 0; k < 6; ++k) {
                U c = A.Uv(177 + k) + 1u;
                sum = L::Select(c > A.Uv(189 + k), sum + 0.333f, sum);
                c = (c > A.Uv(183 + k)) ? L::SplatU(0u) : c;
                A.SetU(177 + k, c);
            }
            A.SetF(176, sum + A.Fv(195) - 1.0f);
        }

        // 7. Spectral oscillator.
        if (spectrumOn)
            spectrum.Process(A, g);

        // 8. Ring and amplitude modulators.
        if ((off & kOffRingL) == 0)
            A.SetF(158, A.Fv(g.inRing1) * A.Fv(g.inRing2));
        A.SetF(318, (A.Fv(g.inAmpMod) + 1.0f) * A.Fv(g.inAmp));

        // 9. Noise.
        seed *= 69069u;
        const F white = L::ToF(seed) * kTwoPowMinus31L;
        A.SetF(157, white);
        A.SetF(0, white * kTwoPowMinus31L);
        if ((off & kOffPinkL) == 0) {
            F sum = L::Splat(0.0f);
            for (int k = 0; k < 6; ++k) {
                pink[k] = pink[k] * kPinkPoleL[k] + white * kPinkGainL[k];
                sum += pink[k];
            }
            A.SetF(156, sum);
        }

        // 10. Mixer.
        if ((off & kOffMixer1L) == 0) {
            F sum = A.Fv(g.inMix[0]) * A.Ramp(19);
            sum = sum + A.Fv(g.inMix[1]) * A.Ramp(21);
            sum = sum + A.Fv(g.inMix[2]) * A.Ramp(23);
            A.SetF(160, sum);
            if ((off & kOffMixer2L) == 0) {
                F second = A.Fv(g.inMix[3]) * A.Ramp(25);
                second = second + A.Fv(g.inMix[4]) * A.Ramp(27);
                A.SetF(161, second);
                sum += second;
            }
            const F weight = A.Fv(315);
            const F s = sum * (1.0f - weight) + A.Fv(316) * weight;
            A.SetF(316, s);
            A.SetF(199, s);
            A.SetF(159, L::Select(s * s >= 1024.0f, L::Splat(0.0f), sum));
        }
    };

    // Filters and output, one sample.
    auto filtersAndOutput = [&](int n) __attribute__((always_inline)) {
        // 11. Waveguide: a delay line with a fractional all-pass and damping.
        if ((off & kOffWaveguideL) == 0) {
            const F gainIn = A.Ramp(29);
            const F damp = A.Ramp(33);
            const F gainFb = A.Ramp(35);
            const U pos = A.Uv(149) & kRingMask;
            F y;
            for (int l = 0; l < N; ++l)
                y[l] = g.ring[l][(pos[l] - g.guideDelay[l]) & kRingMask];
            const F aPrev = A.Fv(198);
            const F a = A.Fv(197) + (y - aPrev) * A.Fv(32);
            A.SetF(168, aPrev * damp + a * (1.0f - damp));
            A.SetF(197, y);
            A.SetF(198, L::ClampSafeV(a, -65536.0f, 65536.0f));
            const F in = L::ClampSafeV(A.Fv(g.inGuide1) * gainIn + A.Fv(g.inGuide2) * gainFb, -65536.0f, 65536.0f);
            for (int l = 0; l < N; ++l)
                g.ring[l][pos[l]] = in[l];
            A.SetU(149, (pos + 1u) & kRingMask);
        }

        // 12. Shaper with its DC blocker.
        if ((off & kOffShaperL) == 0) {
            const F u = A.Fv(g.inShaper) * A.Ramp(37) * 2048.0f;
            const F y = L::Shape(g.shaper, u);
            const F low = L::ClampSafeV(0.995f * A.Fv(151) + 0.005f * y, -65536.0f, 65536.0f);
            A.SetF(151, low);
            A.SetF(162, y - low);
        }

        // 13., 14. Filters.
        if (filter1On)
            filter1.Run(A, g.saturation, A.Fv(g.filter[0].input), peak1);
        if (filter2On)
            filter2.Run(A, g.saturation, A.Fv(g.filter[1].input), peak2);

        // 15. Formant filter: three two-pole sections in series or parallel.
        if ((off & kOffFormantL) == 0) {
            const F x = A.Fv(g.inFormant);
            F r = L::Splat(0.0f);
            F in = x;
            F weight = L::Splat(0.0f);
            for (int k = 0; k < 3; ++k) {
                const int c = 89 + 6 * k;
                const F a = A.Ramp(c), b = A.Ramp(c + 2), cc = A.Ramp(c + 4);
                if (k == 2)
                    weight = A.Ramp(107);
                const int* st = kFormantStateL[k];
                const F y1 = A.Fv(st[0]), y2 = A.Fv(st[1]), u1 = A.Fv(st[2]), u2 = A.Fv(st[3]);
                const F u = a * (g.formantSeries ? in : x);
                const F y = g.formantSeries ? u - cc * u1 + u2 + a * cc * y1 - b * y2 : u - u2 + b * y1 - cc * y2;
                A.SetF(st[1], y1);
                A.SetF(st[0], L::ClampSafeV(y, -65536.0f, 65536.0f));
                A.SetF(st[3], u1);
                A.SetF(st[2], u);
                if (g.formantSeries)
                    in = y;
                else
                    r += y;
            }
            if (g.formantSeries)
                r = in;
            A.SetF(167, r * weight + x * (1.0f - weight));
        }

        // 16. Output stage.
        const F x = A.Fv(g.outCell) + A.Fv(0);
        const F low = L::ClampSafeV(0.995f * A.Fv(150) + 0.005f * x, -65536.0f, 65536.0f);
        A.SetF(150, low);
        const F dcFree = x - low;
        A.SetF(g.outCell, dcFree);
        const F fade = A.Ramp(283);
        F value = fade * A.Fv(g.inFade) + (1.0f - fade) * dcFree;
        if ((off & kOffDriveL) == 0)
            value = L::OutputClip(g.outputClip, value * A.Ramp(109));
        if (g.quantMask != 0) {
            const F q = L::ClampSafeV(value * 65536.0f + 1.0f, -2147483520.0f, 2147483520.0f);
            const I masked = L::RoundToInt(q) & static_cast<int32_t>(g.quantMask);
            value = (L::ToFI(masked) + kGuardL) / 65536.0f;
        }

        // 17. Level and pan.
        const F level = A.Ramp(111);
        const F pan = A.Ramp(113);
        const F left = value * level * pan + A.Fv(g.inDirectL) * level;
        const F right = value * level * (1.0f - pan) + A.Fv(g.inDirectR) * level;
        std::memcpy(g.left[n], &left, sizeof left);
        std::memcpy(g.right[n], &right, sizeof right);
        const F own = left + right + A.Fv(0);
        power = own * own;
        peakOut = L::Select(peakOut < power, power, peakOut);
    };

    if (g.split) {
        // The sources of every sample first, then the filters and output of
        // every sample: the sources of one sample do not wait for the filter
        // recursion of the one before. The cells the second half reads from
        // the first are kept per sample.
        for (int n = 0; n < g.groups; ++n) {
            sources(n);
            for (int k = 0; k < g.countCarried; ++k)
                std::memcpy(g.carried[k][n], g.cells[g.cellsCarried[k]], sizeof(F));
        }
        for (int n = 0; n < g.groups; ++n) {
            for (int k = 0; k < g.countCarried; ++k)
                std::memcpy(g.cells[g.cellsCarried[k]], g.carried[k][n], sizeof(F));
            filtersAndOutput(n);
        }
    } else {
        for (int n = 0; n < g.groups; ++n) {
            sources(n);
            filtersAndOutput(n);
        }
    }

    // Cells out, then the states kept in registers over the block.
    if (!modRampsRouted)
        for (int k = 0; k < 12; ++k)
            A.SetF(319 + k, modValue[k]);
    for (int i = 0; i < g.moves->countOut; ++i) {
        const int c = g.moves->out[i];
        for (int l = 0; l < g.lanes; ++l)
            g.record[l][c] = g.cells[c][l];
    }
    if ((off & kOffFilter1L) == 0)
        filter1.Store(g);
    if ((off & kOffFilter2L) == 0)
        filter2.Store(g);
    if (terrainOn)
        terrain.Store(g);
    if (spectrumOn)
        spectrum.Store(g);
    for (int l = 0; l < N; ++l) {
        g.seed[l] = seed[l];
        for (int k = 0; k < 6; ++k)
            g.pink[k][l] = pink[k][l];
        g.peak1[l] = peak1[l];
        g.peak2[l] = peak2[l];
        g.peakOut[l] = peakOut[l];
        g.power[l] = power[l];
    }
}

} // namespace
