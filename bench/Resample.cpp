// Per-voice cost of the sample players and the terrain filter.
#include "engine/CFastResample.h"
#include "engine/CResample.h"
#include "engine/CSampleVoiceSource.h"
#include "engine/CTerrainFilter.h"
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

namespace {
class LoopSource : public CSampleVoiceSource {
public:
    std::vector<float> storage;
    long pos = 0;
    explicit LoopSource(int frames) : storage(frames + kGuardBefore + kGuardAfter)
    {
        for (int n = 0; n < frames; ++n)
            storage[kGuardBefore + n] = std::sin(n * 0.05f);
        view.data = storage.data() + kGuardBefore;
        view.frames = frames;
        view.channels = 1;
        view.loopStart = frames / 4;
        view.loopEnd = frames;
    }
    float NextSample(int, int) override { return view.data[pos++ % view.frames]; }
    void AdvanceVoice(int, int, int n) override { pos += n; }
    bool GetVoiceLayer(int, int layer, SampleLayerView& out) const override
    {
        out = view;
        return layer == 0;
    }
    float GetVoicePitchScale(int) const override { return 1.0f; }
    void SetVoicePosition(int, int, int32_t) override {}
    uint32_t GetLoopEnable() const override { return 1; }
    float GetLoopCrossfade() const override { return 0.5f; }
    SampleLayerView view;
};
} // namespace

static void BM_FastResampleBlock(benchmark::State& state)
{
    LoopSource src(44100);
    CFastResample r;
    r.Setup(&src, 0, 0.0f);
    float out[64] = {};
    for (auto _ : state) {
        float mix = 0.0f, inc = 1.37f;
        r.Render(out, 32, mix, 0.0f, inc, 0.0f);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(BM_FastResampleBlock);

static void BM_SincResample(benchmark::State& state)
{
    LoopSource src(44100);
    CResample r;
    const float ratio = static_cast<float>(state.range(0)) / 100.0f;
    r.Start(&src, ratio, 10, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(r.Process(ratio));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SincResample)->Arg(100)->Arg(137)->Arg(800);

static void BM_TerrainFilterBlock(benchmark::State& state)
{
    CTerrainFilter f;
    float x = 0.0f;
    for (auto _ : state) {
        f.Set(1.0f / 44100.0f, 0, 7, 1.0f, 1.0f, 0.4f);
        for (int n = 0; n < 32; ++n)
            x = f.Process(x * 0.5f + 0.1f);
        benchmark::DoNotOptimize(x);
    }
    state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(BM_TerrainFilterBlock);
