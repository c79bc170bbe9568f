// 128 voices over 16 parts, one second of audio per iteration (control tick
// and render per block): (a) one oscillator and one filter per voice, (b)
// every module of the voice chain switched on. Each is timed beside the kept
// one-voice-at-a-time render (scripts/bench-compare times them against an
// earlier commit).
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <chrono>
#include <memory>
#include <vector>

#include "tests/engine/RenderFixture.h"

using namespace render_fixture;

namespace {

constexpr int kVoicesPerPart = 8;

std::unique_ptr<CEngine> MakeVoices(bool fullChain, bool scalar)
{
    auto e = MakeEngine(CEngine::kVoices);
    e->scalarRender = scalar;
    CEngineData& d = e->data;
    for (int p = 0; p < CEngine::kParts; ++p) {
        if (fullChain) {
            SetUpPart(*e, p, 0u, kTerrainOut);
            SetUpFullChain(d, p);
        } else {
            SetUpPart(*e, p, Only(kOsc1 | kFilter1) | kDrive, kFilter1Out);
            d.SetPartI(p, 155, 0);
            d.SetPartI(p, 229, 0);
            d.SetPartI(p, 250, kOsc1Out);
            SetSmoothed(d, p, 16, 0.7f);
        }
        for (int k = 0; k < kVoicesPerPart; ++k) {
            const int v = p * kVoicesPerPart + k;
            StartVoice(*e, v, p, static_cast<float>(k - 4) * 0.0208333f);
        }
    }
    return e;
}

// Wall seconds for one second of audio.
double RenderSecond(CEngine& e, std::vector<float>& out)
{
    const int block = g_GlobalData.blockSize;
    const int blocks = g_GlobalData.sampleRate / block;
    const auto start = std::chrono::steady_clock::now();
    for (int b = 0; b < blocks; ++b) {
        e.ControlTick();
        e.RenderBlock(out.data());
    }
    benchmark::DoNotOptimize(out.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration renders one second with the usual render, then one second
// with the one-voice render on an engine of its own, so the speed-up is
// measured side by side.
void RenderVoices(benchmark::State& state, bool fullChain)
{
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040u);  // flush-to-zero, denormals-are-zero, as the audio thread runs
    UseSampleRate(44100);
    auto fast = MakeVoices(fullChain, false);
    auto scalar = MakeVoices(fullChain, true);
    std::vector<float> out(2 * static_cast<size_t>(g_GlobalData.blockSize));
    double fastTime = 0.0, scalarTime = 0.0, audio = 0.0;
    for (auto _ : state) {
        const double t = RenderSecond(*fast, out);
        state.SetIterationTime(t);
        fastTime += t;
        scalarTime += RenderSecond(*scalar, out);
        audio += static_cast<double>(g_GlobalData.sampleRate / g_GlobalData.blockSize) * g_GlobalData.blockSize /
                 g_GlobalData.sampleRate;
    }
    _mm_setcsr(csr);
    const double voiceSamples = audio * g_GlobalData.sampleRate * CEngine::kVoices;
    state.counters["realtime_factor"] = audio / fastTime;
    state.counters["ns_per_voice_sample"] = fastTime * 1e9 / voiceSamples;
    state.counters["scalar_realtime_factor"] = audio / scalarTime;
    state.counters["scalar_ns_per_voice_sample"] = scalarTime * 1e9 / voiceSamples;
    state.counters["speedup"] = scalarTime / fastTime;
}

void BM_OneOscillatorOneFilter(benchmark::State& state) { RenderVoices(state, false); }
void BM_EveryModule(benchmark::State& state) { RenderVoices(state, true); }

} // namespace

BENCHMARK(BM_OneOscillatorOneFilter)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_EveryModule)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
