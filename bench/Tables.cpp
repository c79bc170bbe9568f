// Time to build the engine's lookup tables for one sample rate: what a
// start-up or a rate change costs on the GUI thread. One benchmark per
// table object; add a builder below when a table object is added.
#include <benchmark/benchmark.h>

#include "engine/CTLLFOWaves.h"
#include "engine/CTLParameter.h"
#include "platform/CGlobalData.h"

namespace {

void SetRate(benchmark::State& state)
{
    g_GlobalData.SetSampleRate(static_cast<int>(state.range(0)));
}

void BM_CTLParameter(benchmark::State& state)
{
    SetRate(state);
    for (auto _ : state) {
        g_TLParameter.Build();
        benchmark::DoNotOptimize(g_TLParameter.pitchIncrement[1]);
    }
}
BENCHMARK(BM_CTLParameter)->Arg(44100)->Unit(benchmark::kMillisecond);

void BM_CTLLFOWaves(benchmark::State& state)
{
    SetRate(state);
    for (auto _ : state) {
        g_TLLFOWaves.Build();
        benchmark::DoNotOptimize(g_TLLFOWaves.sine[1]);
    }
}
BENCHMARK(BM_CTLLFOWaves)->Arg(44100)->Unit(benchmark::kMicrosecond);

} // namespace
