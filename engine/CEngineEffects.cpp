// The three insert effects of a part: distortion, delay and modulation
// effect. Each works in place on the engine's current part sample pair, once
// per sample, with the per-block values of the control stage arriving as
// per-sample ramps in the part's working cells.
#include "engine/CEngine.h"
#include "engine/CTLShapes.h"
#include "engine/EffectMath.h"

using namespace effect_math;

namespace {

constexpr int kDelayMask = CEngine::kPartDelayLine - 1;
constexpr int kShortMask = CEngine::kShortLine - 1;
constexpr float kGuard = 1e-13f;
constexpr float kInv4096 = 1.0f / 4096.0f;

// Eight first-order all-pass stages with the common coefficient g; states
// holds the eight stage states.
float PhaserChain(float* states, float g, float v)
{
    for (int k = 0; k < 8; ++k) {
        const float s = states[k] * g + v;
        v = states[k] - g * s;
        states[k] = LimitState(s);
    }
    return v;
}

} // namespace

void CEngine::ProcessDistortion(int part)
{
    if (!CellIsSet(data.partRecord[part][CEngineData::kFxDistOn]))
        return;
    float* w = data.partWork[part];
    for (int k = 0; k < 4; ++k)
        w[CEngineData::kFxDistFilterGain + k] += w[CEngineData::kFxDistFilterGain + 4 + k];
    w[CEngineData::kFxDistDrive] += w[CEngineData::kFxDistDrive + 1];
    w[CEngineData::kFxDistOutGain] += w[CEngineData::kFxDistOutGain + 1];

    // Types 0 and 1 are clippers that need no make-up gain; the two harmonic
    // shapers are scaled back by the output gain. Types beyond the list use
    // the last shaper.
    const int type = CellAsInt(data.partRecord[part][CEngineData::kFxDistType]);
    const CTLBase::Segment* table;
    float scale = 2048.0f;
    bool makeUp = true;
    if (type <= 0) {
        table = g_TLShapes.Fixed(3);
        scale = 16384.0f;
        makeUp = false;
    } else if (type == 1) {
        table = g_TLShapes.Fixed(4);
        scale = 16384.0f;
        makeUp = false;
    } else if (type == 2) {
        table = g_TLShapes.Fixed(5);
    } else {
        table = g_TLShapes.Fixed(6);
    }

    const float drive = w[CEngineData::kFxDistDrive];
    const float outGain = w[CEngineData::kFxDistOutGain];
    const float* gain = w + CEngineData::kFxDistFilterGain;
    const float tone = data.PartF(part, CEngineData::kFxDistTone);
    float* channel[2] = {&partSampleLeft, &partSampleRight};
    for (int c = 0; c < 2; ++c) {
        float* s = w + CEngineData::kFxDistFilterState + 3 * c;  // low, band, scaled input
        float& dc = w[CEngineData::kFxDistDcLeft + c];
        const float u = *channel[c] * drive;
        float y = CTLShapes::Lookup(table, u * scale);
        if (makeUp)
            y *= outGain;
        // A low pass and a high pass section, blended by the tone.
        const float low = y * gain[0] - s[0] * gain[1];
        s[0] = LimitState(low);
        const float band = y * gain[2] - s[2] + s[1] * gain[3] + kGuard;
        s[1] = LimitState(band);
        s[2] = LimitState(y * gain[2]);
        const float out = band * 2.0f * tone + low * (1.0f - tone) + kGuard;
        // The asymmetric shapers leave a DC offset behind.
        dc = LimitState(0.9995f * dc + 0.0005f * out);
        *channel[c] = out - dc;
    }
}

void CEngine::ProcessDelay(int part)
{
    if (!CellIsSet(data.partRecord[part][CEngineData::kFxDelayOn]))
        return;
    float* w = data.partWork[part];
    float* lineL = partDelayLeft[part];
    float* lineR = partDelayRight[part];
    const int pos = ToIndex(w[CEngineData::kFxDelayPosition], kDelayMask);
    // The lengths come from the tempo or the time knobs; whatever they hold,
    // they stay inside the ring (a length of 0 is one full ring).
    const int writeL = (pos + ToIndex(w[CEngineData::kFxDelayLengthLeft], kDelayMask)) & kDelayMask;
    const int writeR = (pos + ToIndex(w[CEngineData::kFxDelayLengthRight], kDelayMask)) & kDelayMask;
    const float b = w[CEngineData::kFxDelayDampB];
    const float a = w[CEngineData::kFxDelayDampA];
    float& stateL = w[CEngineData::kFxDelayStateLeft];
    float& stateR = w[CEngineData::kFxDelayStateRight];
    const float yL = b * lineL[pos] - a * stateL;
    stateL = LimitState(yL);
    const float yR = b * lineR[pos] - a * stateR;
    stateR = LimitState(yR);

    const float fb = data.PartF(part, CEngineData::kFxDelayFeedback);
    const float lvl = data.PartF(part, CEngineData::kFxDelayLevel);
    float& left = partSampleLeft;
    float& right = partSampleRight;
    switch (CellAsInt(data.partRecord[part][CEngineData::kFxDelayType])) {
    case 1: {  // mono sum
        const float m = left + right;
        lineL[writeL] = LimitState(yL * fb + m);
        lineR[writeR] = LimitState(yR * fb + m);
        const float echo = (yL + yR) * lvl;
        left += echo;
        right += echo;
        break;
    }
    case 2: {  // ping-pong: the left echo crosses to the right line
        const float m = left + right;
        lineR[writeR] = LimitState(yL);
        lineL[writeL] = LimitState(yR * fb + m);
        left += yL * lvl;
        right += yR * lvl;
        break;
    }
    default:  // stereo
        lineL[writeL] = LimitState(yL * fb + left);
        lineR[writeR] = LimitState(yR * fb + right);
        left += yL * lvl;
        right += yR * lvl;
        break;
    }
    w[CEngineData::kFxDelayPosition] = static_cast<float>((pos + 1) & kDelayMask);
}

void CEngine::ProcessModEffect(int part)
{
    if (!CellIsSet(data.partRecord[part][CEngineData::kFxModOn]))
        return;
    float* w = data.partWork[part];
    const int pos = ToIndex(w[CEngineData::kFxModPosition], kShortMask);
    w[CEngineData::kFxModFeedback] += w[CEngineData::kFxModFeedback + 1];
    const float fb = w[CEngineData::kFxModFeedback];
    const float mix = data.PartF(part, CEngineData::kFxModMix);
    const bool dual = CellIsSet(data.partRecord[part][CEngineData::kFxModDual]);
    float* time = w + CEngineData::kFxModTime;  // time n at 2n, its step at 2n + 1
    float* line[4];
    for (int k = 0; k < 4; ++k)
        line[k] = partModDelay[k][part];
    float& left = partSampleLeft;
    float& right = partSampleRight;

    switch (CellAsInt(data.partRecord[part][CEngineData::kFxModType])) {
    case 1: {  // flanger
        const float vL = ReadShortRing(line[0], pos, AdvanceTime(time));
        float vR;
        if (dual) {
            vR = ReadShortRing(line[2], pos, AdvanceTime(time + 2));
        } else {
            vR = ReadShortRing(line[2], pos, time[0]);
        }
        line[0][pos] = LimitState(left + vL * fb);
        line[2][pos] = LimitState(right + vR * fb);
        left += vL * mix;
        right += vR * mix;
        break;
    }
    case 2: {  // chorus: two taps per channel
        float v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = ReadShortRing(line[k], pos, AdvanceTime(time + 2 * k));
        line[0][pos] = LimitState(left + v[0] * fb);
        line[1][pos] = LimitState(left + v[1] * fb);
        line[2][pos] = LimitState(right + v[2] * fb);
        line[3][pos] = LimitState(right + v[3] * fb);
        left += (v[0] + v[1]) * mix;
        right += (v[2] + v[3]) * mix;
        break;
    }
    default:
        ProcessPhaser(part, dual, mix);
        break;
    }
    w[CEngineData::kFxModPosition] = static_cast<float>((pos + 1) & kShortMask);
}

void CEngine::ProcessPhaser(int part, bool dual, float mix)
{
    float* w = data.partWork[part];
    float* time = w + CEngineData::kFxModTime;
    const float fb = w[CEngineData::kFxModFeedback];
    float& left = partSampleLeft;
    float& right = partSampleRight;
    float& fbL = w[CEngineData::kFxPhaserFeedbackLeft];
    float& fbR = w[CEngineData::kFxPhaserFeedbackRight];

    const float gL = AdvanceTime(time) * kInv4096;
    const float inL = dual ? left + fbL * fb : left + right + fbL * fb;
    const float outL = PhaserChain(w + CEngineData::kFxPhaserFeedbackLeft + 1, gL, inL);
    fbL = LimitState(outL);
    if (dual) {
        const float gR = AdvanceTime(time + 2) * kInv4096;
        const float outR = PhaserChain(w + CEngineData::kFxPhaserFeedbackRight + 1, gR, right + fbR * fb);
        fbR = LimitState(outR);
        left += outL * mix;
        right += outR * mix;
    } else {
        left += outL * mix;
        right += outL * mix;
    }
}
