// The default program with 128 held notes over 16 parts, rendered through the
// synthesizer's float output in 256-frame calls. Every iteration renders one
// second of audio with the engine's usual render and then one second with the
// kept per-voice scalar render on a second synthesizer playing the same
// notes, so the speed-up is a ratio measured side by side in one run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kParts = 16;
constexpr int kNotesPerPart = 8;
constexpr int kCallFrames = 256;

std::unique_ptr<CSynth> HeldNotes(bool scalar)
{
    CEditor::AllowWindow(false);  // measured here: no window, no device
    auto synth = std::make_unique<CSynth>();
    synth->engine.scalarRender = scalar;
    for (int part = 0; part < kParts; ++part) {
        synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);  // channel
        synth->SetMixerParameter(part << 10 | 10, static_cast<float>(kNotesPerPart) / 128.0f);
    }
    synth->Resume();
    const uint32_t clock = static_cast<uint32_t>(CMIDIQueue::ClockMs());
    for (int part = 0; part < kParts; ++part)
        for (int n = 0; n < kNotesPerPart; ++n)
            synth->ProcessMidiMessage(0x640090u | part | static_cast<uint32_t>(48 + 3 * n) << 8, clock);
    return synth;
}

// Seconds of wall time to render `seconds` of audio.
double RenderSeconds(CSynth& synth, double seconds, std::vector<float>& left, std::vector<float>& right)
{
    float* outs[2] = {left.data(), right.data()};
    const int calls = static_cast<int>(seconds * g_GlobalData.sampleRate / kCallFrames);
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < calls; ++c) {
        synth.Process(nullptr, outs, kCallFrames);
        benchmark::DoNotOptimize(left.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_DefaultProgram128Notes(benchmark::State& state)
{
    auto fast = HeldNotes(false);
    auto scalar = HeldNotes(true);
    std::vector<float> left(kCallFrames), right(kCallFrames);
    RenderSeconds(*fast, 0.1, left, right);
    RenderSeconds(*scalar, 0.1, left, right);
    double fastTime = 0.0, scalarTime = 0.0, audio = 0.0;
    for (auto _ : state) {
        const double t = RenderSeconds(*fast, 1.0, left, right);
        state.SetIterationTime(t);
        fastTime += t;
        scalarTime += RenderSeconds(*scalar, 1.0, left, right);
        audio += 1.0;
    }
    const double voiceSamples = audio * g_GlobalData.sampleRate * CEngine::kVoices;
    state.counters["voices"] = fast->engine.data.voicesInUse;
    state.counters["realtime_factor"] = audio / fastTime;
    state.counters["ns_per_voice_sample"] = fastTime * 1e9 / voiceSamples;
    state.counters["scalar_realtime_factor"] = audio / scalarTime;
    state.counters["scalar_ns_per_voice_sample"] = scalarTime * 1e9 / voiceSamples;
    state.counters["speedup"] = scalarTime / fastTime;
}

} // namespace

BENCHMARK(BM_DefaultProgram128Notes)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
