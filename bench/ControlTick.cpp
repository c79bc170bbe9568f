// The block control stage with all 128 voices sounding on 16 parts, every
// module on: the per-block cost that comes on top of the render.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/CEngine.h"

namespace {

void BM_ControlTick(benchmark::State& state)
{
    auto engine = std::make_unique<CEngine>();
    engine->Init();
    CEngineData& d = engine->data;
    d.voicesInUse = CEngine::kVoices;
    for (int p = 0; p < CEngine::kParts; ++p) {
        d.partActive[p] = p;
        engine->partSounding[p] = 1;
        d.SetPartF(p, 277, 1.0f / 32.0f);
        d.SetPartF(p, 145, 0.1f);
        d.SetPartF(p, 148, 0.647f);
        d.SetPartF(p, 347, 4.0f);
        for (int i = 0; i < 4; ++i) {
            d.SetPartF(p, 1024 + i, 0.05f * static_cast<float>(i));
            d.SetPartF(p, 1088 + i, i % 2 ? 1.0f : 0.2f);
        }
        for (int id = 1; id <= 64; ++id)
            d.partTargets[p][id] = 0.3f;
        d.SetPartI(p, 317, 1);
        d.SetPartI(p, 316, 1);
        d.SetPartI(p, 315, 1);
        d.SetPartI(p, 270, static_cast<int32_t>(state.range(0)));
    }
    for (int v = 0; v < CEngine::kVoices; ++v) {
        d.voicePart[v] = v / 8;
        d.voiceState[v] = 0;
        d.SetControlI(v, CEngineData::kVcGate, 1);
        d.SetControlF(v, CEngineData::kVcNotePitch, static_cast<float>(v % 24) / 192.0f);
    }
    d.globalValues[24] = 1.0f;
    for (auto _ : state) {
        engine->ControlTick();
        benchmark::DoNotOptimize(d.voiceAudio[0][1]);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

// Argument: the module-off mask (0x8000 leaves out the terrain filter).
BENCHMARK(BM_ControlTick)->Arg(0)->Arg(0x8000);
