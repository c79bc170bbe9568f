// 128 voices over 16 parts, one second of audio per iteration (control tick
// and render per block): (a) one oscillator and one filter per voice, (b)
// every module of the voice chain switched on.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <vector>

#include "tests/engine/RenderFixture.h"

using namespace render_fixture;

namespace {

constexpr int kVoicesPerPart = 8;

void SetUpFullChain(CEngineData& d, int part)
{
    // Oscillators 2 and 3 frequency-modulated by oscillator 1, a unison
    // oscillator 1, ring modulation, a mixer of every source, shaper,
    // waveguide, both filters, formant and terrain filter in series.
    d.SetPartI(part, 163, 0);
    d.SetPartI(part, 172, 4);
    d.SetPartI(part, 356, 1);
    d.SetPartI(part, 238, kOsc1Out);
    d.SetPartI(part, 239, kOsc2Out);
    d.SetPartI(part, 240, kOsc1Out);
    d.SetPartI(part, 241, kOsc3Out);
    d.SetPartI(part, 242, kOsc1Out);
    d.SetPartI(part, 243, kOsc2Out);
    d.SetPartI(part, 244, kRingOut);
    d.SetPartI(part, 245, kSpectrumOut);
    d.SetPartI(part, 246, kPinkOut);
    d.SetPartI(part, 247, kSubOut);
    d.SetPartI(part, 249, kOsc3Out);
    d.SetPartI(part, 248, kMixerOut);
    d.SetPartI(part, 253, kShaperOut);
    d.SetPartI(part, 254, kWaveguideOut);
    d.SetPartI(part, 250, kWaveguideOut);
    d.SetPartI(part, 229, 0);
    d.SetPartI(part, 257, kFilter1Out);
    d.SetPartI(part, 233, 3);
    d.SetPartI(part, 256, kFilter2Out);
    d.SetPartI(part, 237, kFormantOut);
    d.SetPartI(part, 339, kSpectrumOut);
    d.SetPartI(part, 331, 1);  // all six spectral sub-oscillators
    for (int id : {7, 8, 9, 10, 11, 12, 15})
        SetSmoothed(d, part, id, 0.3f);
    SetSmoothed(d, part, 16, 0.7f);
    SetSmoothed(d, part, 32, 0.6f);
    SetSmoothed(d, part, 62, 0.8f);
    for (int id : {22, 25, 28})
        SetSmoothed(d, part, id, 0.4f);
}

void RenderVoices(benchmark::State& state, bool fullChain)
{
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040u);  // flush-to-zero, denormals-are-zero, as the audio thread runs
    UseSampleRate(44100);
    auto e = MakeEngine(CEngine::kVoices);
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
    const int block = g_GlobalData.blockSize;
    const int blocks = g_GlobalData.sampleRate / block;
    std::vector<float> out(2 * static_cast<size_t>(block));
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b) {
            e->ControlTick();
            e->RenderBlock(out.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    _mm_setcsr(csr);
    const double seconds = static_cast<double>(blocks) * block / g_GlobalData.sampleRate;
    const double voiceSamples = static_cast<double>(blocks) * block * CEngine::kVoices;
    state.counters["realtime_factor"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ns_per_voice_sample"] = benchmark::Counter(
        voiceSamples * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_OneOscillatorOneFilter(benchmark::State& state) { RenderVoices(state, false); }
void BM_EveryModule(benchmark::State& state) { RenderVoices(state, true); }

} // namespace

BENCHMARK(BM_OneOscillatorOneFilter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EveryModule)->Unit(benchmark::kMillisecond)->UseRealTime();
