// How well the synthesizer keeps the time of MIDI played into it through
// JACK: a private dummy server (48 kHz, 256-frame cycles), the engine on its
// JACK audio output and its JACK MIDI input joined to a client of this
// program's that plays 40 notes at known frames, spread over the places in
// a cycle, and records the output. Counters (frames at 48 kHz):
//   latency  mean onset of a note (its swing passing -50 dB) after the
//            frame it was played at;
//   jitter   standard deviation of that;
//   earliest the earliest first sound of a note (its first frame off the
//            level before it) after that frame: below 0, a note sounded
//            before it was played;
//   notes    onsets found;
//   bpm120, bpm140  the tempo read from a MIDI clock at exactly that tempo;
//   xruns    cycles the server passed over (a loaded machine: figures off).
// Skipped when no jackd is installed or the server does not start.
#include <benchmark/benchmark.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/ORtMidiPorts.h"
#include "platform/CASIODriverList.h"
#include "platform/CAudioDevices.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackServer.h"

namespace {

constexpr int kRate = 48000;
constexpr int kNotes = 40;
constexpr int64_t kCycle = 256;
constexpr int64_t kNoteSpacing = 47 * kCycle;   // a note every 250 ms
constexpr int64_t kNoteLength = kRate / 20;     // held 50 ms
constexpr int64_t kRecordFrames = kRate * 16;
constexpr uint8_t kKey = 81;                    // 880 Hz
constexpr size_t kPeriod = kRate / 880 + 1;

// A client of the benchmark's own: plays scheduled messages at their
// absolute frames through "keys" and records "in" from its first cycle on.
// Everything is made before it runs; its cycle only copies.
class Player {
public:
    struct Message {
        int64_t frame = 0;  // absolute frame of the server's frame counter
        uint8_t bytes[3] = {};
    };

    Player() : recorded(kRecordFrames, 0.0f) {
        // Two clients, as a keyboard and a recorder are: the server runs the
        // one that plays before the synthesizer and the one that records
        // after it, so both see the cycle the synthesizer renders (one client
        // doing both would close a loop, and one of them would lag a cycle).
        client = jack_client_open(testutil::UniqueJackName("zavo-bench").c_str(), JackNoStartServer, nullptr);
        recorder = jack_client_open(testutil::UniqueJackName("zavo-bench").c_str(), JackNoStartServer, nullptr);
        if (!client || !recorder) return;
        keys = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in = jack_port_register(recorder, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &Player::Process, this);
        jack_set_process_callback(recorder, &Player::Record, this);
        jack_set_xrun_callback(client, [](void* self) { return static_cast<Player*>(self)->xruns.fetch_add(1), 0; },
                               this);
        for (int attempt = 0; attempt < 3 && !ok; ++attempt)
            ok = keys && in && jack_activate(client) == 0;
        bool recording = false;
        for (int attempt = 0; attempt < 3 && !recording; ++attempt)
            recording = jack_activate(recorder) == 0;
        ok = ok && recording;
    }
    ~Player() {
        if (recorder) jack_client_close(recorder);
        if (client) jack_client_close(client);
    }

    // Plays `list` (in frame order) from the next cycle on, the frames
    // counted from that cycle's first; answers that frame once it ran.
    int64_t Play(std::vector<Message> list, int64_t startIn) {
        // The list is the cycle's while armed: taken back first, and two
        // cycles let one that still reads it end.
        armed.store(false);
        const uint64_t seen = cycles.load();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (cycles.load() < seen + 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        messages = std::move(list);
        startDelay = startIn;
        next.store(0);
        start.store(-1);
        armed.store(true);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (start.load() < 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return start.load();
    }
    bool Done() const { return next.load() >= messages.size(); }
    int64_t RecordedUpTo() const { return recordedUpTo.load(); }

    jack_client_t* client = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* keys = nullptr;
    jack_port_t* in = nullptr;
    bool ok = false;
    std::vector<float> recorded;  // from frame `start` on
    std::atomic<int64_t> start{-1};
    std::atomic<int> xruns{0};  // cycles the server passed over

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Player*>(arg);
        const int64_t first = jack_last_frame_time(self->client);
        void* out = jack_port_get_buffer(self->keys, frames);
        jack_midi_clear_buffer(out);
        self->cycles.fetch_add(1);
        if (!self->armed.load()) return 0;
        if (self->start.load() < 0) {
            // Shifting the list here keeps the frames known before they play.
            for (Message& m : self->messages) m.frame += first + self->startDelay;
            self->start.store(first);
        }
        for (size_t i = self->next.load(); i < self->messages.size(); ++i) {
            const Message& m = self->messages[i];
            if (m.frame >= first + frames) break;
            const int length = (m.bytes[0] & 0xF0) == 0xC0 || (m.bytes[0] & 0xF0) == 0xD0 ? 2
                               : m.bytes[0] >= 0xF0                                     ? 1
                                                                                          : 3;
            jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max<int64_t>(m.frame - first, 0)), m.bytes,
                                  static_cast<size_t>(length));
            self->next.store(i + 1);
        }
        return 0;
    }

    static int Record(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Player*>(arg);
        const int64_t first = jack_last_frame_time(self->recorder);
        const auto* x = static_cast<const float*>(jack_port_get_buffer(self->in, frames));
        if (self->start.load() < 0) return 0;
        const int64_t at = first - self->start.load();
        for (jack_nframes_t i = 0; i < frames; ++i)
            if (at + i >= 0 && at + i < kRecordFrames) self->recorded[static_cast<size_t>(at + i)] = x[i];
        self->recordedUpTo.store(at + frames);
        return 0;
    }

    std::vector<Message> messages;
    int64_t startDelay = 0;
    std::atomic<size_t> next{0};
    std::atomic<bool> armed{false};
    std::atomic<uint64_t> cycles{0};
    std::atomic<int64_t> recordedUpTo{0};
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

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

void BM_JackMidiTiming(benchmark::State& state) {
    if (testutil::FindJackd().empty()) {
        state.SkipWithError("no jackd installed");
        return;
    }
    CEditor::AllowWindow(false);
    testutil::JackServer server(kRate);
    if (!server.Ok()) {
        state.SkipWithError(("the JACK server did not start: " + server.Error()).c_str());
        return;
    }
    CASIODriverList::Rescan();
    auto synth = std::make_unique<CSynth>();
    // The engine at the server's rate, as the program's setting would have it.
    synth->SetSampleRate(static_cast<float>(kRate));
    CMIDIDevices devices;
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
    Player player;
    if (!player.ok) {
        state.SkipWithError("the benchmark's JACK client did not start");
        return;
    }
    if (jack_connect(player.recorder, "zavo:out_1", jack_port_name(player.in)) != 0) {
        state.SkipWithError("the synthesizer's output could not be joined");
        return;
    }
    const std::vector<std::string> inputs = os::SystemMidiPorts().InputNames();
    const auto found = std::find(inputs.begin(), inputs.end(), jack_port_name(player.keys));
    if (found == inputs.end() || found - inputs.begin() >= CMIDIDevices::kMaxDevices) {
        state.SkipWithError("the synthesizer does not list the benchmark's port");
        return;
    }
    std::string mask(static_cast<size_t>(found - inputs.begin()) + 1, '0');
    mask.back() = '1';
    devices.SetInputMask(mask.c_str());
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) {
        devices.CloseAll();
        started = devices.Start(synth.get());
    }
    if (!started || !WaitFor([&] { return jack_port_connected(player.keys) == 1; }, 5000)) {
        state.SkipWithError("the synthesizer's MIDI input did not join the benchmark's port");
        return;
    }

    std::vector<double> delays, firsts;
    float bpm120 = 0.0f, bpm140 = 0.0f;
    for (auto _ : state) {
        // One key each time, each note at another place in its cycle (37 is
        // prime to 256).
        std::vector<Player::Message> notes;
        std::vector<int64_t> sent;
        for (int n = 0; n < kNotes; ++n) {
            const int64_t at = n * kNoteSpacing + (n * 37) % kCycle;
            notes.push_back({at, {0x90, kKey, 100}});
            notes.push_back({at + kNoteLength, {0x80, kKey, 0}});
            sent.push_back(at);
        }
        const int64_t lead = 94 * kCycle;
        if (player.Play(notes, lead) < 0) {
            state.SkipWithError("the benchmark's client does not run");
            return;
        }
        const int64_t end = lead + kNotes * kNoteSpacing;
        WaitFor([&] { return player.RecordedUpTo() >= end; }, 30000);
        delays.clear();
        firsts.clear();
        const std::vector<float>& x = player.recorded;
        for (int64_t at : sent) {
            // The note's window starts where the one before it had long
            // died away, at the level that left.
            const auto from = static_cast<size_t>(lead + at - kNoteSpacing / 4);
            const auto to = static_cast<size_t>(std::min(lead + at + kNoteSpacing / 2, kRecordFrames));
            // Its first sound: the first frame off that level (the first
            // block of an envelope can be as quiet as -200 dB).
            for (size_t i = from; i < to; ++i)
                if (std::fabs(x[i] - x[from]) > 1e-12f) {
                    firsts.push_back(static_cast<double>(static_cast<int64_t>(i) - (lead + at)));
                    break;
                }
            // Its onset: where the largest swing over one period of the
            // note passes -50 dB, wherever the wave's phase starts.
            for (size_t i = from + kPeriod, high = 0; i < to; ++i) {
                high = std::fabs(x[i] - x[from]) > 3e-3f ? i : high;
                if (high > 0 && i - high < kPeriod) {
                    delays.push_back(static_cast<double>(static_cast<int64_t>(high) - (lead + at)));
                    break;
                }
            }
        }
        synth->midi->midiSync.store(1);
        bpm140 = ClockTempo(player, *synth, 140.0);
        bpm120 = ClockTempo(player, *synth, 120.0);
        synth->midi->midiSync.store(0);
    }
    double mean = 0.0, square = 0.0;
    for (double d : delays) mean += d;
    mean /= static_cast<double>(std::max<size_t>(delays.size(), 1));
    for (double d : delays) square += (d - mean) * (d - mean);
    state.counters["notes"] = static_cast<double>(std::min(delays.size(), firsts.size()));
    state.counters["latency"] = mean;
    state.counters["jitter"] = std::sqrt(square / static_cast<double>(std::max<size_t>(delays.size(), 1)));
    state.counters["earliest"] = firsts.empty() ? 0.0 : *std::min_element(firsts.begin(), firsts.end());
    state.counters["bpm120"] = bpm120;
    state.counters["bpm140"] = bpm140;
    state.counters["xruns"] = player.xruns.load();
}

BENCHMARK(BM_JackMidiTiming)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
