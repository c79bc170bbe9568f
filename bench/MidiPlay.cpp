// 128 notes played through the MIDI input on 16 parts with the default
// program, rendered in device-sized calls. The "realtime" counter is seconds
// of audio rendered per second of wall time: the real-time factor.
#include <benchmark/benchmark.h>

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
constexpr int kCallsPerNote = 172;  // about one second at 44100 Hz

int CountGated(const CSynth& synth) {
    int n = 0;
    for (int v = 0; v < synth.engine.data.voicesInUse; ++v)
        n += synth.engine.data.ControlI(v, 78) == 1;
    return n;
}

void BM_MidiPlay(benchmark::State& state) {
    CEditor::AllowWindow(false);  // measured here: no window, no device
    auto synth = std::make_unique<CSynth>();
    for (int part = 0; part < kParts; ++part) {
        synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);  // channel
        synth->SetMixerParameter(part << 10 | 10, static_cast<float>(kNotesPerPart) / 128.0f);
    }
    synth->Resume();
    std::vector<float> left(kCallFrames), right(kCallFrames);
    float* outs[2] = {left.data(), right.data()};
    // The input's clock runs with the rendered time.
    double clock = CMIDIQueue::ClockMs();
    int64_t frames = 0;
    int gated = 0;

    for (auto _ : state) {
        for (int part = 0; part < kParts; ++part)
            for (int n = 0; n < kNotesPerPart; ++n)
                synth->ProcessMidiMessage(0x640090u | part | static_cast<uint32_t>(48 + 3 * n) << 8,
                                          static_cast<uint32_t>(clock));
        for (int call = 0; call < kCallsPerNote; ++call) {
            synth->Process(nullptr, outs, kCallFrames);
            if (call == 4)
                gated = CountGated(*synth);
            // Keep the ring under its 255 events: note-offs go in half way.
            if (call == kCallsPerNote / 2)
                for (int part = 0; part < kParts; ++part)
                    for (int n = 0; n < kNotesPerPart; ++n)
                        synth->ProcessMidiMessage(0x000080u | part | static_cast<uint32_t>(48 + 3 * n) << 8,
                                                  static_cast<uint32_t>(clock));
            clock += kCallFrames * 1000.0 / g_GlobalData.sampleRate;
            benchmark::DoNotOptimize(left.data());
        }
        frames += static_cast<int64_t>(kCallsPerNote) * kCallFrames;
    }
    const double seconds = static_cast<double>(frames) / static_cast<double>(g_GlobalData.sampleRate);
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["voices"] = synth->engine.data.voicesInUse;
    state.counters["gated"] = gated;
    state.counters["dropped"] = static_cast<double>(synth->midi->queue.DroppedCount());
}

BENCHMARK(BM_MidiPlay)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
