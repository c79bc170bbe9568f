// Cost of the per-sample output stage for one 32-frame block: every part
// through its three insert effects, pan and sends, then the master reverb,
// chorus and clip. This is the part of the render that runs even when no
// voice sounds (effect tails).
#include <benchmark/benchmark.h>

#include <cmath>
#include <xmmintrin.h>
#include <memory>

#include "engine/CEngine.h"

namespace {

using D = CEngineData;

std::unique_ptr<CEngine> MakeEngine(int parts)
{
    auto engine = std::make_unique<CEngine>();
    engine->Init();
    CEngineData& d = engine->data;
    for (int p = 0; p < parts; ++p) {
        for (int id : {D::kFxDistOn, D::kFxDelayOn, D::kFxModOn})
            d.SetPartI(p, id, 1);
        d.SetPartI(p, D::kFxDistType, p % 4);
        d.SetPartI(p, D::kFxDelayType, p % 3);
        d.SetPartI(p, D::kFxModType, p % 3);
        d.SetPartF(p, D::kFxDelayFeedback, 0.5f);
        d.SetPartF(p, D::kFxDelayLevel, 0.5f);
        d.SetPartF(p, D::kFxModMix, 0.5f);
        float* w = d.partWork[p];
        w[D::kFxDelayLengthLeft] = 11025.0f;
        w[D::kFxDelayLengthRight] = 7000.0f;
        w[D::kFxDelayDampB] = 0.8f;
        w[D::kFxDelayDampA] = -0.2f;
        for (int k = 0; k < 4; ++k)
            w[D::kFxModTime + 2 * k] = 500.0f + 100.0f * static_cast<float>(k);
        w[D::kFxDistDrive] = 0.5f;
        w[D::kFxDistOutGain] = 1.5f;
        w[D::kFxDistFilterGain] = 0.5f;
        w[D::kFxDistFilterGain + 2] = 1.0f;
        w[D::kFxDistFilterGain + 3] = 0.9f;
        d.SetSettingF(p, D::kSetLevel, 1.0f);
        d.SetSettingF(p, D::kSetPan, 0.5f);
        d.SetSettingF(p, D::kSetReverbSend, 0.3f);
        d.SetSettingF(p, D::kSetChorusSend, 0.3f);
    }
    float* g = d.globalWork;
    const float lengths[18] = {1021, 907, 811, 727, 641, 569, 113, 89, 71, 53, 43, 31,
                               107, 83, 67, 53, 41, 29};
    for (int k = 0; k < 18; ++k)
        g[D::kGwLineLength + k] = lengths[k];
    g[D::kGwPredelay] = 441.0f;
    for (int k = 0; k < 6; ++k)
        g[D::kGwLineGain + k] = k % 2 == 0 ? -0.8f : 0.8f;
    for (int k = 0; k < 12; ++k)
        g[D::kGwAllpassCoef + k] = 0.6f;
    g[D::kGwDampCurrent] = 0.75f;
    g[D::kGwDampPrevious] = 0.25f;
    g[D::kGwReverbInput] = 1.0f;
    for (int k = 0; k < 4; ++k)
        g[D::kGwChorusTime + 2 * k] = 300.0f + 50.0f * static_cast<float>(k);
    float* gv = d.globalValues;
    gv[D::kGlobReverbOn] = gv[D::kGlobChorusOn] = 1.0f;
    gv[D::kGlobReverbReturn] = gv[D::kGlobChorusReturn] = 0.5f;
    gv[D::kGlobChorusFeedback] = 0.3f;
    gv[D::kGlobMasterLevel] = 1.0f;
    gv[D::kGlobBalance] = 0.5f;
    return engine;
}

void BM_OutputStageBlock(benchmark::State& state)
{
    const int parts = static_cast<int>(state.range(0));
    auto engine = MakeEngine(parts);
    float out[2 * CEngine::kBlockFrames];
    // The input is made beforehand so that only the stage is timed.
    static float input[1024];
    for (int i = 0; i < 1024; ++i)
        input[i] = 0.3f * std::sin(0.05f * static_cast<float>(i));
    int n = 0;
    // The audio thread renders with flush-to-zero and denormals-are-zero.
    const unsigned int csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040u);
    for (auto _ : state) {
        for (int j = 0; j < CEngine::kBlockFrames; ++j, n = (n + 1) & 1023) {
            engine->ClearMasterBuses();
            for (int p = 0; p < parts; ++p) {
                engine->partSampleLeft = input[(n + 64 * p) & 1023];
                engine->partSampleRight = input[(n + 64 * p + 7) & 1023];
                engine->ProcessPartOutput(p);
            }
            engine->ProcessMasterOutput(out + 2 * j);
        }
        benchmark::DoNotOptimize(out[0]);
    }
    _mm_setcsr(csr);
}
BENCHMARK(BM_OutputStageBlock)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

} // namespace
