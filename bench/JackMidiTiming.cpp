// How well the synthesizer keeps the time of MIDI played into it and sent
// out of it through JACK: a private dummy server (48 kHz, 256-frame cycles),
// the engine on its JACK audio output, its JACK MIDI input and output joined
// to a client of this program's that plays 40 notes at known frames, spread
// over the places in a cycle, records the audio output and every MIDI event
// the song sends, with the frame it arrives at. Counters (frames at 48 kHz):
//   latency  mean onset of a note (its swing passing -50 dB) after the
//            frame it was played at; latencyMedian its median;
//   jitter   standard deviation of that;
//   earliest the earliest first sound of a note (the frame after the
//            output last stood still) after that frame: below 0, a note
//            sounded before it was played;
//   notes    onsets found;
//   the song at 120 BPM, part 1 sending quarter notes (pattern A-1) to MIDI
//   channel 1, part 2 playing the same on the engine:
//   outEvents   note-ons received from the MIDI output;
//   outMaxDev   the largest distance of one from the grid of quarter notes
//               (24000 frames) whose phase is the median of theirs: a
//               constant delay (the "MIDI delay" setting) is no deviation;
//   outStdDev   standard deviation of those distances;
//   outAtZero   note-ons at offset 0 of their cycle;
//   outPhase    median time from the engine's beat (the first sound of
//               part 2's note: the block that played it) to the note-on
//               sent for it, the constant delay included;
//   outBeatDev  the largest distance of one from that: a skipped cycle
//               that moves beats and note-ons alike leaves it as it was;
//   bpm120, bpm140  the tempo read from a MIDI clock at exactly that tempo;
//   xruns    cycles the server passed over while notes and song played (a
//            loaded machine: figures off).
// Skipped when no jackd is installed or the server does not start;
// ZAVO_BENCH_SERVER=<name> measures on that running server instead.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/ORtMidiPorts.h"
#include "platform/CASIODriverList.h"
#include "platform/CAudioDevices.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackServer.h"
#include "tools/JackTiming.h"

namespace {

constexpr int kRate = 48000;
constexpr int kNotes = 40;
constexpr int64_t kCycle = 256;
constexpr int64_t kNoteSpacing = 47 * kCycle;   // a note every 250 ms
constexpr int64_t kNoteLength = kRate / 20;     // held 50 ms
constexpr int64_t kRecordFrames = kRate * 22;
constexpr uint8_t kKey = 81;                    // 880 Hz
constexpr size_t kPeriod = kRate / 880 + 1;
constexpr int kBeats = 40;
constexpr int64_t kBeat = kRate / 2;            // a quarter note at 120 BPM

using jacktiming::Player;
using jacktiming::WaitFor;

// The tempo the synthesizer reads from a clock at exactly `bpm`, 24 to the
// quarter, each at the frame nearest its time.
float ClockTempo(Player& player, CSynth& synth, double bpm) {
    const double period = kRate * 60.0 / (bpm * 24.0);
    std::vector<Player::Message> clock;
    clock.push_back({0, {0xFA}});
    for (int tick = 0; tick <= 48; ++tick)
        clock.push_back({static_cast<int64_t>(std::lround(kRate / 10 + tick * period)), {0xF8}});
    clock.push_back({clock.back().frame + kRate / 10, {0xFC}});
    if (player.Play(clock, kRate / 10) < 0) return 0.0f;
    WaitFor([&] { return player.Done(); }, 10000);
    // The last clock is heard by the next cycle.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return synth.sequencer->tempo;
}

// The song at 120 BPM as it reaches the MIDI output: part 1 sends pattern
// A-1 (a quarter note of C3 on each beat, with the empty song's first bar
// repeated) to MIDI channel 1, and part 2 plays the same pattern on the
// engine, whose first sound of each note shows the block that played it.
struct SongFigures {
    jacktiming::GridFit out;
    jacktiming::Pairing beats;  // each note-on after the engine's beat
};

SongFigures SongOut(Player& player, CSynth& synth) {
    SongFigures figures;
    synth.SetMixerParameter(0 << 10 | 7, 1.0f);  // part 1's "MIDI out": "MIDI Channel 1"
    synth.songList->SetCell(1, 0, 0, 0);
    // Half a beat of quiet first, for the first beat to be found.
    const int64_t start = player.Play({}, 0);
    if (start < 0) return figures;
    WaitFor([&] { return player.RecordedUpTo() >= kBeat / 2; }, 5000);
    synth.Post({CSynth::Request::Kind::kPlay});
    // The last note-on goes out a while after its block.
    const int64_t end = kBeat / 2 + kBeat * kBeats + kRate / 10;
    WaitFor([&] { return player.RecordedUpTo() >= end; }, 60000);
    // A stop pauses; the second goes back to the start.
    synth.Post({CSynth::Request::Kind::kStop});
    synth.Post({CSynth::Request::Kind::kStop});
    synth.SetMixerParameter(0 << 10 | 7, 0.0f);
    synth.songList->ClearCell(1, 0);

    std::vector<jacktiming::Received> noteOns;
    for (const Player::Event& e : player.Heard(start))
        if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0 && noteOns.size() < kBeats) noteOns.push_back(e.at);
    figures.out = jacktiming::FitGrid(noteOns, static_cast<double>(kBeat));
    const std::vector<float> heard(player.recorded.begin(), player.recorded.begin() + end);
    std::vector<int64_t> beats = jacktiming::FindSounds(heard, kBeat / 2);
    for (int64_t& b : beats) b += start;
    figures.beats = jacktiming::Pair(noteOns, beats, static_cast<double>(kBeat));
    return figures;
}

void BM_JackMidiTiming(benchmark::State& state) {
    // ZAVO_BENCH_SERVER names a running server (48 kHz, 256 frames) to
    // measure on instead of a private one: one at realtime priority skips
    // fewer cycles on a busy machine.
    const char* named = std::getenv("ZAVO_BENCH_SERVER");
    if (!named && testutil::FindJackd().empty()) {
        state.SkipWithError("no jackd installed");
        return;
    }
    CEditor::AllowWindow(false);
    std::optional<testutil::JackServer> server;
    if (named)
        setenv("JACK_DEFAULT_SERVER", named, 1);
    else
        server.emplace(kRate);
    if (server && !server->Ok()) {
        state.SkipWithError(("the JACK server did not start: " + server->Error()).c_str());
        return;
    }
    CASIODriverList::Rescan();
    auto synth = std::make_unique<CSynth>();
    // The engine at the server's rate, as the program's setting would have it.
    synth->SetSampleRate(static_cast<float>(kRate));
    // The program's own devices: the song sends through them.
    CMIDIDevices& devices = g_MIDIDevices;
    struct Closer {
        CMIDIDevices& devices;
        ~Closer() {
            devices.CloseAll();
            g_AudioDevices.Close();
            const std::vector<CASIODriverList::Source> none;
            CASIODriverList::Rescan(&none);
        }
    } closer{devices};
    // A loaded machine can make the activation give up on a slow thread
    // start: a few tries.
    bool onJack = false;
    for (int i = 0; i < 3 && !onJack; ++i)
        onJack = g_AudioDevices.Open(nullptr, "JACK", synth.get(), kRate, 10) &&
                 g_AudioDevices.GetMode() == CAudioDevices::kModeASIO;
    if (!onJack) {
        state.SkipWithError("the synthesizer found no JACK output");
        return;
    }
    synth->Resume();
    Player player(testutil::UniqueJackName("zavo-bench"), 1, kRecordFrames);
    if (!player.ok) {
        state.SkipWithError("the benchmark's JACK client did not start");
        return;
    }
    if (jack_connect(player.client, "zavo:out_1", jack_port_name(player.ins[0])) != 0) {
        state.SkipWithError("the synthesizer's output could not be joined");
        return;
    }
    const std::vector<std::string> inputs = os::SystemMidiPorts().InputNames();
    const auto found = std::find(inputs.begin(), inputs.end(), jack_port_name(player.keys));
    if (found == inputs.end() || found - inputs.begin() >= CMIDIDevices::kMaxDevices) {
        state.SkipWithError("the synthesizer does not list the benchmark's port");
        return;
    }
    // As the settings choose them: the keys by the row of the input list,
    // the output by name.
    std::string mask(static_cast<size_t>(found - inputs.begin()) + 1, '0');
    mask.back() = '1';
    devices.SetInputMask(mask.c_str());
    devices.SetOutputName(jack_port_name(player.heardPort));
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) {
        devices.CloseAll();
        started = devices.Start(synth.get());
    }
    if (!started || !WaitFor([&] {
            return jack_port_connected(player.keys) == 1 && jack_port_connected(player.heardPort) == 1;
        }, 5000)) {
        state.SkipWithError("the synthesizer's MIDI ports did not join the benchmark's");
        return;
    }

    jacktiming::Onsets onsets;
    SongFigures song;
    float bpm120 = 0.0f, bpm140 = 0.0f;
    int xruns = 0;
    for (auto _ : state) {
        // One key each time, each note at another place in its cycle (37 is
        // prime to 256).
        std::vector<Player::Message> notes;
        std::vector<int64_t> sent;
        const int64_t lead = 94 * kCycle;
        for (int n = 0; n < kNotes; ++n) {
            const int64_t at = n * kNoteSpacing + (n * 37) % kCycle;
            notes.push_back({at, {0x90, kKey, 100}});
            notes.push_back({at + kNoteLength, {0x80, kKey, 0}});
            sent.push_back(lead + at);
        }
        const int xrunsBefore = player.xruns.load();
        if (player.Play(notes, lead) < 0) {
            state.SkipWithError("the benchmark's client does not run");
            return;
        }
        const int64_t end = lead + kNotes * kNoteSpacing;
        WaitFor([&] { return player.RecordedUpTo() >= end; }, 30000);
        onsets = jacktiming::FindOnsets(player.recorded, sent, kNoteSpacing, kPeriod);
        song = SongOut(player, *synth);
        xruns = player.xruns.load() - xrunsBefore;
        synth->midi->midiSync.store(1);
        bpm140 = ClockTempo(player, *synth, 140.0);
        bpm120 = ClockTempo(player, *synth, 120.0);
        synth->midi->midiSync.store(0);
    }
    const jacktiming::Summary latency = jacktiming::Summarize(onsets.delays);
    state.counters["notes"] = static_cast<double>(onsets.delays.size());
    state.counters["latency"] = latency.mean;
    state.counters["latencyMedian"] = latency.median;
    state.counters["jitter"] = latency.stdDev;
    state.counters["earliest"] = jacktiming::Summarize(onsets.firsts).min;
    state.counters["outEvents"] = static_cast<double>(song.out.events);
    state.counters["outMaxDev"] = song.out.maxDev;
    state.counters["outStdDev"] = song.out.stdDev;
    state.counters["outAtZero"] = static_cast<double>(song.out.atZero);
    state.counters["outPhase"] = song.beats.median;
    state.counters["outBeatDev"] = song.beats.maxDev;
    state.counters["bpm120"] = bpm120;
    state.counters["bpm140"] = bpm140;
    state.counters["xruns"] = xruns;
}

BENCHMARK(BM_JackMidiTiming)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
