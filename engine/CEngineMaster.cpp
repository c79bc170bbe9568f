// The per-sample output stage: every sounding part is panned onto the master
// pair and the two send buses, the master reverb and chorus add their
// returns, and the master level, balance, meter and soft clip make the frame.
// Everything the reverb and chorus need arrives precomputed in the global
// cells; here only multiply-adds, ring reads and one table lookup per
// channel run.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/CEngine.h"
#include "engine/CTLShapes.h"
#include "engine/EffectMath.h"

using namespace effect_math;

namespace {

constexpr int kLongMask = CEngine::kMasterLongLine - 1;
constexpr int kShortMask = CEngine::kShortLine - 1;
constexpr float kGuard = 1e-13f;

// Six all-pass stages in series over the rings, lengths and coefficients of
// one output side; q is the shared ring position.
float ReverbDiffusion(float (*rings)[CEngine::kShortLine], const float* length, const float* coef,
                      int q, float v)
{
    for (int k = 0; k < 6; ++k) {
        float* ring = rings[k];
        const float g = coef[k];
        const float y = ring[q];
        const float w = y * g + v;
        ring[(q + ToIndex(length[k], kShortMask)) & kShortMask] = LimitState(w);
        v = w * g - y;
    }
    return v;
}

// A pan or balance cell as the left gain (the right one is 1 minus it). The
// curves reach a hair past 0 and 1 at their ends, which would leak a
// phase-inverted copy into the other side; a NaN sits in the middle.
float PanGain(float pan) { return engine::ClampSafe(pan, 0.0f, 1.0f, 0.5f); }

} // namespace

void CEngine::ClearMasterBuses()
{
    outputUsed = 0;
    masterLeft = masterRight = 0.0f;
    reverbSendLeft = reverbSendRight = 0.0f;
    chorusSendLeft = chorusSendRight = 0.0f;
}

void CEngine::ProcessPartOutput(int part)
{
    // Runs for every part and frame: effects that are off cost no call.
    const uint32_t* record = data.partRecord[part];
    if (CellIsSet(record[CEngineData::kFxDistOn]))
        ProcessDistortion(part);
    if (CellIsSet(record[CEngineData::kFxDelayOn]))
        ProcessDelay(part);
    if (CellIsSet(record[CEngineData::kFxModOn]))
        ProcessModEffect(part);
    AddPartToMaster(part);
}

void CEngine::AddPartToMaster(int part)
{
    const float level = data.SettingF(part, CEngineData::kSetLevel);
    const float pan = PanGain(data.SettingF(part, CEngineData::kSetPan));
    const float left = partSampleLeft * level * pan;
    const float right = partSampleRight * level * (1.0f - pan);

    float peak = data.PartF(part, CEngineData::kFxPartPeak);
    peak = std::max(peak, left * left);
    peak = std::max(peak, right * right);
    data.SetPartF(part, CEngineData::kFxPartPeak, peak);

    // Only the master pair exists: a part set to another output pair (word
    // 14) is heard on the master pair rather than written past it.
    outputUsed = 1;
    masterLeft += left;
    masterRight += right;
    const float reverbSend = data.SettingF(part, CEngineData::kSetReverbSend);
    const float chorusSend = data.SettingF(part, CEngineData::kSetChorusSend);
    reverbSendLeft += left * reverbSend;
    reverbSendRight += right * reverbSend;
    chorusSendLeft += left * chorusSend;
    chorusSendRight += right * chorusSend;
}

void CEngine::ProcessMasterOutput(float* frame)
{
    ProcessMasterReverb();
    ProcessMasterChorus();
    ProcessMasterStage(frame);
}

void CEngine::ProcessMasterReverb()
{
    if (!CellIsSet(data.globalValues[CEngineData::kGlobReverbOn]))
        return;
    float* g = data.globalWork;
    const int p = ToIndex(g[CEngineData::kGwReverbPosition], kLongMask);
    const int q = ToIndex(g[CEngineData::kGwAllpassPosition], kShortMask);
    const float inputGain = g[CEngineData::kGwReverbInput];

    // Pre-delay.
    float* predelay = reverbLines[0];
    const float x = (reverbSendLeft + reverbSendRight + kGuard) * inputGain;
    const float d = predelay[p];
    predelay[(p + ToIndex(g[CEngineData::kGwPredelay], kLongMask)) & kLongMask] = LimitState(x);

    // Line outputs through four two-tap damping sections each.
    const float cur = g[CEngineData::kGwDampCurrent];
    const float prev = g[CEngineData::kGwDampPrevious];
    const float* lineGain = g + CEngineData::kGwLineGain;
    float o[6];
    for (int k = 0; k < 6; ++k) {
        float v = reverbLines[1 + k][p];
        float* state = reverbDamping + 4 * k;
        for (int s = 0; s < 4; ++s) {
            const float out = state[s] * prev + v * cur;
            state[s] = LimitState(v);
            v = out;
        }
        o[k] = v * lineGain[k];
        g[CEngineData::kGwLineOut + k] = o[k];
    }

    // Feedback through the mixing matrix, with the pre-delayed input.
    for (int k = 0; k < 6; ++k) {
        float mixed = 0.0f;
        for (int j = 0; j < 6; ++j)
            mixed += o[j] * reverbMatrix[k][j];
        const int at = (p + ToIndex(g[CEngineData::kGwLineLength + k], kLongMask)) & kLongMask;
        reverbLines[1 + k][at] = LimitState(d * lineGain[k] + mixed);
    }
    const float sum = o[0] + o[1] + o[2] + o[3] + o[4] + o[5];
    const float s = d + sum * inputGain;

    // Both sides diffuse the same signal through their own all-pass chains.
    const float ret = data.globalValues[CEngineData::kGlobReverbReturn];
    masterLeft += ReverbDiffusion(allpassLines, g + CEngineData::kGwAllpassLength,
                                  g + CEngineData::kGwAllpassCoef, q, s) * ret;
    masterRight += ReverbDiffusion(allpassLines + 6, g + CEngineData::kGwAllpassLength + 6,
                                   g + CEngineData::kGwAllpassCoef + 6, q, s) * ret;

    g[CEngineData::kGwReverbPosition] = static_cast<float>((p + 1) & kLongMask);
    g[CEngineData::kGwAllpassPosition] = static_cast<float>((q + 1) & kShortMask);
}

void CEngine::ProcessMasterChorus()
{
    if (!CellIsSet(data.globalValues[CEngineData::kGlobChorusOn]))
        return;
    float* g = data.globalWork;
    const int r = ToIndex(g[CEngineData::kGwChorusPosition], kShortMask);
    float* time = g + CEngineData::kGwChorusTime;  // time n at 2n, its step at 2n + 1
    float v[4];
    for (int k = 0; k < 4; ++k)
        v[k] = ReadShortRing(chorusLines[k], r, AdvanceTime(time + 2 * k));
    const float fb = data.globalValues[CEngineData::kGlobChorusFeedback];
    chorusLines[0][r] = LimitState(chorusSendLeft + v[0] * fb);
    chorusLines[1][r] = LimitState(chorusSendLeft + v[1] * fb);
    chorusLines[2][r] = LimitState(chorusSendRight + v[2] * fb);
    chorusLines[3][r] = LimitState(chorusSendRight + v[3] * fb);
    const float ret = data.globalValues[CEngineData::kGlobChorusReturn];
    masterLeft += (v[0] + v[1]) * ret;
    masterRight += (v[2] + v[3]) * ret;
    g[CEngineData::kGwChorusPosition] = static_cast<float>((r + 1) & kShortMask);
}

void CEngine::ProcessMasterStage(float* frame)
{
    float* gv = data.globalValues;
    const float level = gv[CEngineData::kGlobMasterLevel];
    const float balance = PanGain(gv[CEngineData::kGlobBalance]);
    float left = masterLeft * level * balance;
    float right = masterRight * level * (1.0f - balance);
    const CTLBase::Segment* clip = g_TLShapes.Fixed(2);
    float outLeft = CTLShapes::Lookup(clip, left * 2048.0f);
    float outRight = CTLShapes::Lookup(clip, right * 2048.0f);
    if (!std::isfinite(outLeft) || !std::isfinite(outRight)) [[unlikely]] {
        RecoverOutput();
        if (!std::isfinite(outLeft))
            left = outLeft = 0.0f;
        if (!std::isfinite(outRight))
            right = outRight = 0.0f;
    } else {
        outputBroken = false;
    }
    gv[CEngineData::kGlobMeterLeft] = std::max(gv[CEngineData::kGlobMeterLeft], left * left);
    gv[CEngineData::kGlobMeterRight] = std::max(gv[CEngineData::kGlobMeterRight], right * right);
    frame[0] = outLeft;
    frame[1] = outRight;
}

void CEngine::RecoverOutput()
{
    // A gain or a state went NaN or infinite somewhere between the voices
    // and here. Whatever line it reached is cleared and the smoothed cells
    // restart from their targets, so the sound comes back once its source
    // is sane again. A source that stays broken leaves the output at 0: the
    // lines are cleared once for the run of broken frames, the cells looked
    // at once a block (a target may be mended meanwhile).
    const uint32_t block = data.blockCounter.load(std::memory_order_relaxed);
    if (!outputBroken) {
        outputBroken = true;
        ClearAllEffectLines();
        std::fill(std::begin(reverbDamping), std::end(reverbDamping), 0.0f);
    } else if (repairedBlock == block) {
        return;
    }
    repairedBlock = block;
    RepairSmoothedCells(-1);
}
