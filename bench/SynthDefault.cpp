// Held notes rendered through the synthesizer's float output in 256-frame
// calls (scripts/bench-compare times them against an earlier commit):
//   - the default program on every part, 8 notes on each of the 16 parts;
//   - the factory bank's first 16 programs, one per part, 8 notes each;
//   - 8 notes of the default program spread one per part over 8 parts,
//     against the same 8 notes on one part (cost per voice-sample);
//   - no note at all.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "platform/CGlobalData.h"

namespace {

constexpr int kParts = 16;
constexpr int kCallFrames = 256;

enum class Programs { kDefault, kFactory };

// `layout[p]` notes held on part p (channel p), part p playing the default
// record or the factory bank's program p.
std::unique_ptr<CSynth> HeldNotes(Programs programs, const std::vector<int>& layout)
{
    CEditor::AllowWindow(false);  // measured here: no window, no device
    auto synth = std::make_unique<CSynth>();
    for (int part = 0; part < kParts; ++part) {
        if (programs == Programs::kDefault) {
            float* record = synth->program.GetProgramData(part);
            std::memcpy(record, CProgram::DefaultRecord(), sizeof(float) * CProgram::kRecordSize);
            synth->InitPart(part);
        }
        synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);  // channel
        synth->SetMixerParameter(part << 10 | 10, static_cast<float>(std::max(layout[part], 1)) / 128.0f);
    }
    synth->Resume();
    const uint32_t clock = static_cast<uint32_t>(CMIDIQueue::ClockMs());
    for (int part = 0; part < kParts; ++part)
        for (int n = 0; n < layout[part]; ++n)
            synth->ProcessMidiMessage(0x640090u | part | static_cast<uint32_t>(48 + 3 * n + part) << 8, clock);
    return synth;
}

// Seconds of wall time to render `seconds` of audio.
double RenderSeconds(CSynth& synth, double seconds)
{
    static std::vector<float> left(kCallFrames), right(kCallFrames);
    float* outs[2] = {left.data(), right.data()};
    const int calls = static_cast<int>(seconds * g_GlobalData.sampleRate / kCallFrames);
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < calls; ++c) {
        synth.Process(nullptr, outs, kCallFrames);
        benchmark::DoNotOptimize(left.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One case: its synthesizer and the time it took.
struct Timed {
    std::unique_ptr<CSynth> now;
    double nowTime = 0.0;
    int notes = 0;
    Timed(Programs programs, const std::vector<int>& layout) : now(HeldNotes(programs, layout))
    {
        for (int n : layout)
            notes += n;
        RenderSeconds(*now, 0.1);
    }
    double Step(double seconds)
    {
        const double t = RenderSeconds(*now, seconds);
        nowTime += t;
        return t;
    }
    double NsPerVoiceSample(double time, double audio) const
    {
        return time * 1e9 / (audio * g_GlobalData.sampleRate * std::max(notes, 1));
    }
    void Report(benchmark::State& state, double audio, const char* prefix = "") const
    {
        const std::string p = prefix;
        state.counters[p + "realtime_factor"] = audio / nowTime;
        if (notes > 0)
            state.counters[p + "ns_per_voice_sample"] = NsPerVoiceSample(nowTime, audio);
    }
};

std::vector<int> Layout(int notesPerPart, int parts)
{
    std::vector<int> layout(kParts, 0);
    std::fill(layout.begin(), layout.begin() + parts, notesPerPart);
    return layout;
}

void Held(benchmark::State& state, Programs programs, const std::vector<int>& layout)
{
    Timed t(programs, layout);
    double audio = 0.0;
    for (auto _ : state) {
        state.SetIterationTime(t.Step(1.0));
        audio += 1.0;
    }
    state.counters["voices"] = t.now->engine.data.voicesInUse;
    t.Report(state, audio);
}

void BM_DefaultProgram128Notes(benchmark::State& state) { Held(state, Programs::kDefault, Layout(8, 16)); }
void BM_FactoryMix128Notes(benchmark::State& state) { Held(state, Programs::kFactory, Layout(8, 16)); }
void BM_Idle(benchmark::State& state) { Held(state, Programs::kDefault, Layout(0, 16)); }

// 8 notes one per part against the same 8 notes on one part: the ratio of
// their costs per voice-sample.
void BM_SpreadOverEightParts(benchmark::State& state)
{
    Timed spread(Programs::kDefault, Layout(1, 8));
    Timed together(Programs::kDefault, Layout(8, 1));
    double audio = 0.0;
    for (auto _ : state) {
        state.SetIterationTime(spread.Step(1.0));
        together.Step(1.0);
        audio += 1.0;
    }
    spread.Report(state, audio);
    together.Report(state, audio, "one_part_");
    state.counters["spread_cost_ratio"] = spread.nowTime / together.nowTime;
}

} // namespace

BENCHMARK(BM_DefaultProgram128Notes)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_FactoryMix128Notes)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_SpreadOverEightParts)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_Idle)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
