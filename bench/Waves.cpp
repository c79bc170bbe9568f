// Cost of building the oscillator waves and the waveshaper tables. These
// builds run at start-up and on the GUI thread when a part's partials,
// waveform, spectral settings or shaper sliders change.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/CTLShapes.h"
#include "engine/CTLWaves.h"

namespace {

std::unique_ptr<CTLWaves> MakeWaves()
{
    auto waves = std::make_unique<CTLWaves>();
    waves->Init();
    return waves;
}

std::vector<float> Sliders()
{
    std::vector<float> v(80);
    for (int i = 0; i < 80; ++i)
        v[i] = float((i * 37) % 128);
    return v;
}

std::vector<float> SpectrumRecord()
{
    std::vector<float> r(2272, 0.0f);
    for (int i = 768; i < 2000; ++i)
        r[i] = float((i * 13) % 128);
    return r;
}

void BM_WavesBasisTables(benchmark::State& state)
{
    for (auto _ : state)
        CTLWaves::BuildBasisTables();
}

void BM_WavesInit(benchmark::State& state)
{
    auto waves = MakeWaves();
    for (auto _ : state)
        waves->Init();
}

void BM_WavesUserWave(benchmark::State& state)
{
    auto waves = MakeWaves();
    const auto sliders = Sliders();
    for (auto _ : state)
        waves->BuildUserWave(sliders.data(), 0, 155);
}

void BM_WavesEveryShapeWave(benchmark::State& state)
{
    auto waves = MakeWaves();
    for (auto _ : state)
        for (int index = 5; index <= 63; ++index)
            waves->BuildShapeWave(0, index, 155);
}

void BM_WavesSpectrumPair(benchmark::State& state)
{
    auto waves = MakeWaves();
    const auto record = SpectrumRecord();
    for (auto _ : state) {
        waves->BuildSpectrumWaveA(record.data(), 0, 0, 0, 1);
        waves->BuildSpectrumWaveB(record.data(), 0, 3, 1, 1);
    }
}

void BM_ShapesBuild(benchmark::State& state)
{
    auto shapes = std::make_unique<CTLShapes>();
    for (auto _ : state)
        shapes->Build();
}

void BM_ShapesUserShape(benchmark::State& state)
{
    auto shapes = std::make_unique<CTLShapes>();
    const auto sliders = Sliders();
    for (auto _ : state)
        shapes->BuildUserShape(sliders.data(), 0, int(state.range(0)));
}

// Every table of both classes for one part at one sample rate: the shared
// tables, the engine's wave set, the part's three user waves and spectral
// pair, the fixed shaper tables and the part's user shape.
void BM_BuildAllWaveAndShapeTables(benchmark::State& state)
{
    auto waves = std::make_unique<CTLWaves>();
    auto shapes = std::make_unique<CTLShapes>();
    const auto sliders = Sliders();
    const auto record = SpectrumRecord();
    for (auto _ : state) {
        CTLWaves::BuildBasisTables();
        waves->Init();
        for (int id : {155, 163, 172})
            waves->BuildUserWave(sliders.data(), 0, id);
        waves->BuildSpectrumWaveA(record.data(), 0, 0, 0, 0);
        waves->BuildSpectrumWaveB(record.data(), 0, 0, 0, 0);
        shapes->Build();
        shapes->BuildUserShape(sliders.data(), 0, 0);
    }
}

} // namespace

BENCHMARK(BM_WavesBasisTables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavesInit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavesUserWave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavesEveryShapeWave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavesSpectrumPair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShapesBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShapesUserShape)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildAllWaveAndShapeTables)->Unit(benchmark::kMillisecond);
