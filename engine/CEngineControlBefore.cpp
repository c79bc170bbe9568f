// The per-voice control stages as they were when voices of several parts
// began to share lanes, kept unchanged beside the faster ones in
// engine/CEngineControl.cpp: partLanesRender runs these, so that the
// benchmarks time both in one run and the tests hold the two to the same
// results, bit for bit.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

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

void CEngine::ControlPitchBefore()
{
    const float timeScale = g_Constants.timeScale;
    // The modulation matrix's cell numbers are part values: decoded once per
    // part here instead of once per voice.
    struct Route {
        int32_t source, add, mul;
    };
    // Only parts with a voice to control: with nothing sounding this stage
    // does no work.
    bool used[kParts] = {};
    ForEachVoice(data, [&](int, int part, Cells, Cells, Cells) { used[part] = true; });
    Route routes[kParts][20];
    for (int p = 0; p < kParts; ++p) {
        if (!used[p] && !partLanesRender)
            continue;
        const Cells P{data.partRecord[p]};
        for (int i = 0; i < 20; ++i)
            routes[p][i] = {P.List(65 + i), P.List(105 + i), P.List(85 + i)};
    }
    // Most accumulators stay at 1 (no route multiplies them): their gain is
    // the same table value for every voice.
    const float unitGain = Lookup(g_TLParameter.decade, 1.0f, 512.0f);
    ForEachVoice(data, [&](int, int part, Cells V, Cells, Cells P) {

        for (int i = 1; i <= 64; ++i)
            V.SetU(i, P.U(i));
        V.SetU(65, P.U(150));
        V.SetU(66, P.U(158));
        V.SetU(67, P.U(167));
        V.SetU(68, P.U(176));
        for (int n = 0; n < 4; ++n)
            V.SetU(69 + n, P.U(215 + 4 * n));
        V.SetU(186, P.U(322));
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
        const float target = V.F(57) * P.F(146) + V.F(74);
        if ((P.U(267) & ~V.U(80)) != 0)
            V.SetF(75, target);
        V.SetF(75, Glide(V.F(75), target, P.F(145)));
        float pitch = V.F(75);
        if (P.U(268) != 0)
            pitch = static_cast<float>(RoundClamp(pitch * 192.0f, -16777216, 16777216)) / 192.0f;

        V.SetF(65, V.F(65) + P.F(151) * pitch);
        V.SetF(66, V.F(66) + P.F(159) * pitch);
        V.SetF(67, V.F(67) + P.F(168) * pitch);
        V.SetF(186, V.F(186) + P.F(323) * pitch);
        V.SetF(145, P.F(177) * V.F(74) + V.F(68));
        V.SetF(68, V.F(68) + P.F(177) * pitch);

        V.SetF(79, pitch);
        V.SetF(16, V.F(16) + P.F(230) * V.F(79) * 1.6f);
        V.SetF(32, V.F(32) + P.F(234) * V.F(79) * 1.6f);

        for (int i = 0; i < 3; ++i)
            V.SetU(173 + i, V.U(74 + i));
        V.SetF(180, Glide(V.F(180), V.F(93), timeScale));
        V.SetF(181, Glide(V.F(181), V.F(94), timeScale));

        // Modulation matrix. Cell indices come from the part record; one out
        // of the record is a routing that was never resolved, and is skipped.
        for (int i = 0; i < 20; ++i) {
            const int32_t source = routes[part][i].source;
            if (source <= 0 || source >= CEngineData::kVoiceControlCells)
                continue;
            const int32_t add = routes[part][i].add;
            const int32_t mul = routes[part][i].mul;
            const float m = V.F(source) * V.F(36 + i) + P.F(125 + i);
            if (add >= 0 && add < CEngineData::kVoiceControlCells)
                V.SetF(add, V.F(add) + m);
            if (mul >= 0 && mul < CEngineData::kVoiceControlCells)
                V.SetF(mul, V.F(mul) * m);
        }

        // Multiplicative accumulators become gains 10^(3m - 3).
        static constexpr int kGainTarget[18] = {7, 8, 9, 10, 11, 12, 15, 20, 62,
                                                24, 27, 30, 18, 34, 226, 227, 228, 229};
        for (int k = 0; k < 18; ++k) {
            const int cell = kGainTarget[k];
            const float m = V.F(208 + k);
            V.SetF(cell, V.F(cell) * (m == 1.0f ? unitGain : Lookup(g_TLParameter.decade, m, 512.0f)));
        }

        // The smoothed cutoffs start at the cutoff of a note's first block.
        if (V.I(CEngineData::kVcCutoffRequest1) == 2) {
            V.SetI(CEngineData::kVcCutoffRequest1, 1);
            V.SetU(241, V.U(16));
        }
        if (V.I(CEngineData::kVcCutoffRequest2) == 2) {
            V.SetI(CEngineData::kVcCutoffRequest2, 1);
            V.SetU(242, V.U(32));
        }
    });
}

// ---------------------------------------------------------------------------

void CEngine::ControlEnvelopesLFOsBefore()
{
    const CTLParameter& T = g_TLParameter;
    const float timeScale = g_Constants.timeScale;
    ForEachVoice(data, [&](int v, int, Cells V, Cells A, Cells P) {

        bool wrapped[4] = {};
        for (int n = 0; n < 4; ++n) {
            const int32_t sync = P.List(216 + 4 * n);
            const float rate = V.F(69 + n);
            const int32_t inc = (sync == 1 || sync == 4)
                                    ? ToCell(rate * LoadTempo(tempoIncrement))
                                    : ToCell(Lookup(T.pitchIncrementHalf, rate, 4096.0f));
            V.SetI(69 + n, inc);
            const uint32_t old = V.U(111 + n);
            const uint32_t phase = (old + static_cast<uint32_t>(inc)) & kPhaseMask24;
            V.SetU(111 + n, phase);
            wrapped[n] = phase < old;

            const int32_t wave = P.List(213 + 4 * n);
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
            V.SetF(89 + n, Glide(V.F(89 + n), V.F(out) * V.F(226 + n), timeScale));
        }

        for (int n = 0; n < 4; ++n) {
            const EgCells& e = kEg[n];
            // Envelopes triggered by an LFO restart or release on its wraps.
            const int32_t trigger = P.List(e.part + 6);
            if (trigger >= 3 && trigger <= 6 && wrapped[trigger - 3]) {
                if (V.I(e.stage) == 3) {
                    V.SetI(e.stage, -1);
                    V.SetF(e.target, 1.6f);
                    V.SetI(e.delay, std::max(P.List(e.part), 0));
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
                    V.SetI(e.stage, P.List(318 + n) == 5 ? 5 : 1);
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
            V.SetF(e.level, level);
            V.SetF(e.output, level - sustain);
        }

        // Multi-segment envelope outputs; their segments are set up later in
        // the tick (ControlMultiEnvelopes).
        for (const MegCells& m : kMeg) {
            const float value = V.F(m.output + 2) * V.F(m.output + 3) + V.F(m.step) + kGuard;
            V.SetF(m.output + 2, value);
            V.SetF(m.output, ClampSafe(value + V.F(m.output + 1), 0.0f, 1.0f));
        }

        const float gain = V.F(76);
        V.SetF(231, V.F(81) * gain);
        V.SetF(235, V.F(83) * gain);
        V.SetF(236, V.F(85) * gain);
        V.SetF(237, V.F(87) * gain);
        V.SetF(238, V.F(89) * gain);
        V.SetF(239, V.F(90) * gain);
        V.SetF(232, V.F(83) * V.F(89));
        V.SetF(233, V.F(90) * V.F(56));
        V.SetF(234, V.F(91) * V.F(77));
        for (int m = 0; m < 4; ++m)
            V.SetF(262 + m, V.F(kMeg[m].output) * gain);
    });
}

// ---------------------------------------------------------------------------

void CEngine::ControlFilter1Before()
{
    const CTLParameter& T = g_TLParameter;
    ForEachVoice(data, [&](int v, int, Cells V, Cells A, Cells P) {
        const uint32_t off = P.U(270);

        const int32_t inc1 = ToCell(Lookup(T.pitchIncrement, V.F(65) + V.F(144), 4096.0f));
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
            V.SetI(66, ToCell(Lookup(T.pitchIncrement, V.F(66) + V.F(144), 4096.0f)));
            V.SetF(3, V.F(3) * kPhase24 + kPhase24);
            V.SetF(4, V.F(4) * kPhase24);
        }
        if ((off & kOffOsc3) == 0) {
            V.SetI(67, ToCell(Lookup(T.pitchIncrement, V.F(67) + V.F(144), 4096.0f)));
            V.SetF(6, V.F(6) * kPhase24);
        }
        if ((off & kOffFilter1) == 0)
            SetUpFilterBefore(v, 0);
    });
}

void CEngine::SetUpFilterBefore(int voice, int filter)
{
    const CTLParameter& T = g_TLParameter;
    const FilterCells& f = kFilter[filter];
    Cells V{data.voiceControl[voice]};
    Cells A{data.voiceAudio[voice]};
    Cells P{data.partRecord[data.voicePart[voice]]};

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
    auto set3 = [&](int first, const Segment* t1, const Segment* t2, const Segment* t3, float y) {
        V.SetF(first, at(t1, y));
        V.SetF(first + 1, at(t2, y));
        V.SetF(first + 2, at(t3, y));
    };
    auto setRouting = [&](float g1, float g2, int32_t r1, int32_t r2) {
        P.SetF(f.g1, g1);
        P.SetF(f.g2, g2);
        P.SetI(f.r1, r1);
        P.SetI(f.r2, r2);
    };
    auto setNone = [&]() {
        V.SetF(f.coef + 3, kGuard);
        V.SetF(f.coef + 4, kGuard);
        V.SetF(f.coef + 5, kGuard);
    };
    const int32_t sectionOut = 4 * f.sectionOut;
    const Segment* curve = nullptr;
    const int type = P.List(f.type);
    switch (type) {
    case 0:
        set3(f.coef, T.lp4Gain1, T.lp4A1Sec1, T.lp4A2Sec1, y1);
        set3(f.coef + 3, T.lp4Gain2, T.lp4A1Sec2, T.lp4A2Sec2, y2);
        setRouting(2.0f, 2.0f, sectionOut, 0);
        curve = T.breakpointsB;
        break;
    case 1:
        set3(f.coef, T.hp4Gain1, T.hp4A1Sec1, T.hp4A2Sec1, y1);
        set3(f.coef + 3, T.hp4Gain2, T.hp4A1Sec2, T.hp4A2Sec2, y2);
        setRouting(-2.0f, -2.0f, sectionOut, 0);
        break;
    case 2:
        set3(f.coef, T.lp2Gain, T.lp2A1, T.lp2A2, y2);
        set3(f.coef + 3, T.hp2Gain, T.hp2A1, T.hp2A2, y1);
        setRouting(2.0f, -2.0f, sectionOut, 0);
        break;
    case 3:
        set3(f.coef, T.lp2Gain, T.lp2A1, T.lp2A2, y1);
        set3(f.coef + 3, T.hp2Gain, T.hp2A1, T.hp2A2, y2);
        setRouting(2.0f, -2.0f, 4 * 164, sectionOut);
        break;
    case 4:
        set3(f.coef, T.lp2Gain, T.lp2A1, T.lp2A2, y1);
        setNone();
        setRouting(2.0f, kGuard, 0, sectionOut);
        curve = T.breakpointsA;
        break;
    case 5:
        set3(f.coef, T.hp2Gain, T.hp2A1, T.hp2A2, y1);
        setNone();
        setRouting(-2.0f, kGuard, 0, sectionOut);
        break;
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
        if (type == 4)
            V.SetF(f.weight, 1.0f - q);
        else if (type == 7)
            V.SetF(f.weight, (1.0f - q) * 0.5f);
    }
    RampF(A, f.drive, driveTarget, P.F(277));
    V.SetF(f.cutoff, Lookup(T.atanSquare, c, 4096.0f));
}

// ---------------------------------------------------------------------------

void CEngine::ControlFilter2Before()
{
    ForEachVoice(data, [&](int v, int, Cells, Cells, Cells P) {
        const uint32_t off = P.U(270);
        if ((off & kOffFilter2) == 0)
            SetUpFilterBefore(v, 1);
        if ((off & kOffFormant) == 0)
            SetUpFormantBefore(v);
    });
}

void CEngine::SetUpFormantBefore(int voice)
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

void CEngine::ControlOscillatorsBefore()
{
    ForEachVoice(data, [&](int v, int part, Cells V, Cells A, Cells P) {
        const uint32_t off = P.U(270);
        const float factor = P.F(277);
        const int shift = 5 - Divider(P);

        // Wave table of an oscillator: the band level whose harmonics stay
        // below Nyquist at this increment. At and above half the sample rate
        // the band index stays at the highest level instead of wrapping.
        auto table = [&](int osc, int32_t inc, int waveCell) {
            const uint32_t band = std::min(static_cast<uint32_t>(inc) >> 16, 255u);
            const int level = static_cast<int>(CTLWaves::bandLevelMap[band] / CTLWaves::kLevelBytes);
            const int waveform = P.List(waveCell);
            const int slot = (waveform >= 0 && waveform < CTLWaves::kBasicWaves)
                                 ? CTLWaves::BasicSlot(waveform)
                                 : CTLWaves::kSlotOscillator1 + 16 * osc + part;
            A.SetI(115 + osc, CEngineData::OscTableRef(slot, std::clamp(level, 0, CTLWaves::kLevels - 1)));
        };
        auto pulse = [](float x) { return RoundClamp(x, kPulseMin, kPulseMax); };

        RampI(A, 1, V.I(65), shift);
        table(0, V.I(65), 155);
        RampI(A, 3, pulse(V.F(1)), shift);

        if ((off & kOffOsc2) == 0) {
            RampI(A, 7, V.I(66), shift);
            table(1, V.I(66), 163);
            RampI(A, 9, pulse(V.F(3)), shift);
            RampF(A, 11, std::max(V.F(4), kGuard) * 5.093066f, factor);
        }
        if ((off & kOffOsc3) == 0) {
            RampI(A, 13, V.I(67), shift);
            table(2, V.I(67), 172);
            RampF(A, 17, std::max(V.F(6), kGuard) * 5.093066f, factor);
        }
        if ((off & kOffSpectrum) == 0)
            SetUpSpectrumBefore(v, shift);

        RampF(A, 19, V.F(7), factor);
        RampF(A, 21, V.F(8), factor);
        RampF(A, 23, V.F(9), factor);
        RampF(A, 25, V.F(10), factor);
        RampF(A, 27, V.F(11), factor);
        A.SetF(315, 0.5f);
        RampF(A, 37, V.F(15), factor);

        if ((off & kOffWaveguide) == 0)
            SetUpWaveguideBefore(v);

        auto filterRamps = [&](int first, int drive, int shiftCell, int coef, int request) {
            RampF(A, drive, V.F(shiftCell - 1) * 1024.0f, factor);
            RampF(A, drive + 2, V.F(shiftCell), factor);
            const bool jump = V.I(request) == 1;
            if (jump)
                V.SetI(request, 0);
            for (int i = 0; i < 7; ++i) {
                const int cell = first + 2 * i;
                if (jump) {
                    A.SetU(cell, V.U(coef + i));
                    A.SetF(cell + 1, kGuard);
                } else {
                    RampF(A, cell, V.F(coef + i), factor);
                }
            }
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
        static constexpr int kModSource[12] = {246, 250, 254, 258, 81, 83, 85, 87, 89, 90, 91, 92};
        for (int j = 0; j < 12; ++j)
            A.SetF(331 + j, (V.F(kModSource[j]) - A.F(319 + j)) * factor);
    });
}

void CEngine::SetUpSpectrumBefore(int voice, int shift)
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
            SelectSpectrumRegionBefore(voice, k, q);
        }
    }
}

void CEngine::SelectSpectrumRegionBefore(int voice, int group, int32_t q)
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

void CEngine::SetUpWaveguideBefore(int voice)
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

void CEngine::ControlMultiEnvelopesBefore()
{
    const float sampleRate = static_cast<float>(g_GlobalData.sampleRate);
    ForEachVoice(data, [&](int v, int, Cells V, Cells A, Cells P) {
        const uint32_t off = P.U(270);

        StepMultiEnvelopesBefore(v);

        if ((off & kOffTerrain) == 0 && terrainFilters[v] != nullptr) {
            // The cutoff moves the shapes' frequencies by up to four octaves
            // either way (0.5 leaves them where the shape puts them).
            const float cutoff = ClampSafe(V.F(269), 0.0f, 1.0f, 0.5f);
            const float scale = std::exp2((cutoff - 0.5f) * 8.0f);
            terrainFilters[v]->Set(1.0f / sampleRate, P.List(364), P.List(365), scale,
                                   ClampSafe(V.F(270), 0.0f, 1.0f), ClampSafe(V.F(271), 0.0f, 1.0f));
        }

        static constexpr int kWaveform[3] = {155, 163, 172};
        static constexpr uint32_t kOscBit[3] = {kOffOsc1, kOffOsc2, kOffOsc3};
        for (int j = 0; j < 3; ++j) {
            if ((off & kOscBit[j]) != 0 || P.List(kWaveform[j]) != 65)
                continue;
            float source = 0.0f;
            switch (P.List(387 + j)) {
            case 0: source = V.F(76); break;
            case 1: source = V.F(266); break;
            case 2: source = P.F(56); break;
            default: break;
            }
            // A negative base would give NaN for a fractional exponent.
            const float x = std::pow(ClampSafe(source, 0.0f, 1e6f), P.F(390 + j));
            RampF(A, 345 + 2 * j, ClampSafe(x, 0.0f, 1e6f), P.F(277));
        }

        for (int n = 0; n < 4; ++n) {
            if (P.List(213 + 4 * n) != 6)
                continue;
            const float out = V.F(169 + n);
            const float slope = V.F(115 + n);
            if ((out > 1.0f && slope > 0.0f) || (out < -1.0f && slope < 0.0f))
                V.SetF(115 + n, -slope);
        }
    });
}

void CEngine::StepMultiEnvelopesBefore(int voice)
{
    Cells V{data.voiceControl[voice]};
    const Cells P{data.partRecord[data.voicePart[voice]]};
    const bool heldByPart = std::bit_cast<int32_t>(data.partWork[data.voicePart[voice]][75]) == 1;
    const bool freeRunning = P.U(396) != 0;
    const bool held = V.I(CEngineData::kVcGate) != 0 || heldByPart || freeRunning;

    auto count = [&](const MegCells& m) { return TruncClamp(P.F(m.count), 0, kMegPoints); };
    if (freeRunning) {
        bool restart = false;
        for (const MegCells& m : kMeg)
            restart = restart || V.I(m.index) >= count(m);
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
    auto setUp = [&](const MegCells& m, int i, bool loop) {
        float d = P.F(m.times + i) - P.F(m.times + i - 1);
        if (P.U(m.mode) != 0)
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
    auto advance = [&](const MegCells& m) {
        Change ch;
        const int n = count(m);
        const int loopEnd = std::clamp(TruncClamp(P.F(m.loopEnd), 0, kMegPoints), 0, std::max(n - 1, 0));
        const int loopStart = std::clamp(TruncClamp(P.F(m.loopStart), 0, kMegPoints), 0, loopEnd);
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
            ch.blocks = setUp(m, index, ch.loop);
        }
        return ch;
    };

    const MegCells& m1 = kMeg[0];
    const Change first = advance(m1);
    const int count1 = count(m1);
    for (int k = 1; k < 4; ++k) {
        const MegCells& m = kMeg[k];
        if (P.F(m.source) >= 1.0f) {
            advance(m);
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
