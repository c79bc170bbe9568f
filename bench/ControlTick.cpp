// The block control stage with all 128 voices sounding on 16 parts: the
// per-block cost that comes on top of the render. BM_ControlTick runs the
// stage alone, every module on; the 128-voice cases below time it within
// play (scripts/bench-compare times them against an earlier commit).
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "engine/CEngine.h"
#include "tests/engine/RenderFixture.h"

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

// ---------------------------------------------------------------------------
// The control stage alone at 128 voices. The engine renders its blocks as
// usual so that envelopes, glides and ramps move as they do in play; only
// ControlTick is timed.

namespace {

// The default record on every part, 8 notes on each part's channel, as
// bench_SynthDefault plays them.
std::unique_ptr<CSynth> DefaultProgramNotes()
{
    CEditor::AllowWindow(false);
    auto synth = std::make_unique<CSynth>();
    for (int part = 0; part < CEngine::kParts; ++part) {
        std::memcpy(synth->program.GetProgramData(part), CProgram::DefaultRecord(),
                    sizeof(float) * CProgram::kRecordSize);
        synth->InitPart(part);
        synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);
        synth->SetMixerParameter(part << 10 | 10, 8.0f / 128.0f);
    }
    synth->Resume();
    for (int part = 0; part < CEngine::kParts; ++part)
        for (int n = 0; n < 8; ++n)
            synth->ProcessMidiMessage(0x640090u | part | static_cast<uint32_t>(48 + 3 * n + part) << 8, 0);
    // Into the notes' sustain, through the synthesizer's own block loop.
    std::vector<float> left(256), right(256);
    float* outs[2] = {left.data(), right.data()};
    for (int c = 0; c < 20; ++c)
        synth->Process(nullptr, outs, 256);
    return synth;
}

// 128 voices of the fixture's full chain (every module on), 8 per part.
std::unique_ptr<CEngine> EveryModuleVoices()
{
    using namespace render_fixture;
    UseSampleRate(44100);
    auto e = MakeEngine(CEngine::kVoices);
    for (int p = 0; p < CEngine::kParts; ++p) {
        SetUpPart(*e, p, 0u, kTerrainOut);
        SetUpFullChain(e->data, p);
        for (int k = 0; k < 8; ++k)
            StartVoice(*e, p * 8 + k, p, static_cast<float>(k - 4) * 0.0208333f);
    }
    return e;
}

// Seconds spent in ControlTick over `blocks` blocks.
double ControlSeconds(CEngine& e, int blocks)
{
    static std::vector<float> out(2 * 256);
    double t = 0.0;
    for (int b = 0; b < blocks; ++b) {
        const auto start = std::chrono::steady_clock::now();
        e.ControlTick();
        t += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        e.RenderBlock(out.data());
    }
    benchmark::DoNotOptimize(out.data());
    return t;
}

void TimeControl(benchmark::State& state, CEngine& e)
{
    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr | 0x8040u);  // flush-to-zero, denormals-are-zero, as the audio thread runs
    constexpr int kBlocks = 200;
    double total = 0.0;
    for (auto _ : state) {
        const double t = ControlSeconds(e, kBlocks);
        state.SetIterationTime(t);
        total += t;
    }
    _mm_setcsr(csr);
    state.counters["us_per_tick"] = total * 1e6 / (static_cast<double>(state.iterations()) * kBlocks);
}

void BM_ControlDefaultProgram128(benchmark::State& state)
{
    auto synth = DefaultProgramNotes();
    TimeControl(state, synth->engine);
}

void BM_ControlEveryModule128(benchmark::State& state)
{
    auto e = EveryModuleVoices();
    TimeControl(state, *e);
}

} // namespace

BENCHMARK(BM_ControlDefaultProgram128)->Unit(benchmark::kMicrosecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_ControlEveryModule128)->Unit(benchmark::kMicrosecond)->UseManualTime()->MinTime(1.0);
