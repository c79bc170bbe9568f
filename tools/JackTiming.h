#pragma once
// The timing of a synthesizer played through JACK, measured the same way
// by the benchmark (bench/JackMidiTiming.cpp) and by the harness that
// measures the real program (tools/JackPlayer.cpp): a client that plays MIDI
// at known frames, records audio and logs the MIDI that reaches it; and the
// figures worked out from that: when each note is heard, and how far MIDI
// events sent out to a steady beat lie from a grid fitted to them. Frames
// throughout.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace jacktiming {

struct Summary {
    size_t count = 0;
    double mean = 0.0;
    double median = 0.0;
    double stdDev = 0.0;  // about the mean
    double min = 0.0;
    double max = 0.0;
};

inline Summary Summarize(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    for (double v : values) s.mean += v;
    s.mean /= static_cast<double>(n);
    for (double v : values) s.stdDev += (v - s.mean) * (v - s.mean);
    s.stdDev = std::sqrt(s.stdDev / static_cast<double>(n));
    return s;
}

// The frame a sound that is loud at `loud` began: the one after the last
// two equal frames before it (a still output; the first block of an
// envelope can be as quiet as -200 dB, and the tail of the sound before can
// still fall when the window opens), `from` when there are none since.
inline size_t SoundStart(const std::vector<float>& x, size_t from, size_t loud) {
    size_t i = loud;
    while (i > from && x[i] != x[i - 1]) --i;
    return i == from ? from : i + 1;
}

// Per note played at frame played[i] of the recording x (notes `spacing`
// frames apart or more, each long died away before the next):
//   delays  where the largest swing over one `period` of the note's wave
//           (frames) first passes `level` (3e-3: -50 dB), after the frame;
//   firsts  where that sound began (SoundStart), after the frame: below 0,
//           the note sounded before it was played.
// A note whose window holds no such swing has no entry.
struct Onsets {
    std::vector<double> delays;
    std::vector<double> firsts;
};

inline Onsets FindOnsets(const std::vector<float>& x, const std::vector<int64_t>& played, int64_t spacing,
                         size_t period, float level = 3e-3f) {
    Onsets found;
    const auto size = static_cast<int64_t>(x.size());
    for (int64_t at : played) {
        // The window starts where the note before has died away.
        const int64_t begin = at - spacing / 4;
        const int64_t end = std::min(at + spacing / 2, size);
        if (begin < 0 || begin >= end) continue;
        const auto from = static_cast<size_t>(begin);
        const auto to = static_cast<size_t>(end);
        for (size_t i = from + period, high = 0; i < to; ++i) {
            high = std::fabs(x[i] - x[from]) > level ? i : high;
            if (high > 0 && i - high < period) {
                found.delays.push_back(static_cast<double>(static_cast<int64_t>(high) - at));
                found.firsts.push_back(static_cast<double>(static_cast<int64_t>(SoundStart(x, from, high)) - at));
                break;
            }
        }
    }
    return found;
}

// Where sounds begin (SoundStart) in a recording that holds only them, each
// after at least `gap` frames below `level`.
inline std::vector<int64_t> FindSounds(const std::vector<float>& x, int64_t gap, float level = 3e-3f) {
    std::vector<int64_t> starts;
    int64_t quiet = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) <= level) {
            ++quiet;
            continue;
        }
        if (quiet >= gap) starts.push_back(static_cast<int64_t>(SoundStart(x, i - static_cast<size_t>(gap / 2), i)));
        quiet = 0;
    }
    return starts;
}

// A MIDI event received: its absolute frame (the cycle's first frame plus
// its offset) and its offset in that cycle.
struct Received {
    int64_t frame = 0;
    uint32_t offset = 0;
};

// Events meant to fall every `period` frames, against the grid of that
// period whose phase is the median of their places: a constant delay goes
// into the phase and only what moves counts as a deviation.
struct GridFit {
    size_t events = 0;
    size_t atZero = 0;     // events at offset 0 of their cycle
    double anchor = 0.0;   // an absolute frame on the fitted grid
    double maxDev = 0.0;   // largest distance of an event from the grid
    double stdDev = 0.0;   // of the signed distances
};

// x brought into (-period / 2, period / 2].
inline double Wrap(double x, double period) {
    x = std::fmod(x, period);
    if (x > period / 2) x -= period;
    if (x <= -period / 2) x += period;
    return x;
}

inline GridFit FitGrid(const std::vector<int64_t>& frames, double period) {
    GridFit fit;
    fit.events = frames.size();
    if (frames.empty()) return fit;
    const auto first = static_cast<double>(frames.front());
    std::vector<double> places;
    for (int64_t f : frames) places.push_back(Wrap(static_cast<double>(f) - first, period));
    const double phase = Summarize(places).median;
    fit.anchor = first + phase;
    std::vector<double> deviations;
    for (double p : places) {
        deviations.push_back(Wrap(p - phase, period));
        fit.maxDev = std::max(fit.maxDev, std::fabs(deviations.back()));
    }
    fit.stdDev = Summarize(deviations).stdDev;
    return fit;
}

inline GridFit FitGrid(const std::vector<Received>& events, double period) {
    std::vector<int64_t> frames;
    size_t atZero = 0;
    for (const Received& e : events) {
        frames.push_back(e.frame);
        atZero += e.offset == 0 ? 1 : 0;
    }
    GridFit fit = FitGrid(frames, period);
    fit.atZero = atZero;
    return fit;
}

// Each event against the reference nearest to it (within half a period):
// the median of the signed distances and the largest departure from it.
// A skipped cycle that moves both alike leaves this as it was.
struct Pairing {
    size_t pairs = 0;
    double median = 0.0;
    double maxDev = 0.0;
};

inline Pairing Pair(const std::vector<Received>& events, const std::vector<int64_t>& references, double period) {
    Pairing pairing;
    std::vector<double> distances;
    for (const Received& e : events) {
        double best = period;
        for (int64_t r : references)
            if (std::fabs(static_cast<double>(e.frame - r)) < std::fabs(best)) best = static_cast<double>(e.frame - r);
        if (std::fabs(best) < period / 2) distances.push_back(best);
    }
    const Summary s = Summarize(distances);
    pairing.pairs = s.count;
    pairing.median = s.median;
    pairing.maxDev = std::max(s.max - s.median, s.median - s.min);
    return pairing;
}

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

// The measuring clients: one plays scheduled messages at their absolute
// frames through "keys"; another ("<name>-rec") records the mean of its
// audio inputs ("in_1", ...) from the frame a Play starts at, and logs every
// event that reaches "heard" with its frame. Two, as a keyboard and a
// recorder are: the server runs the one that plays before the program and
// the one that records after it, so both meet the cycle the program renders
// (one client doing both would close a loop, and one side would lag a
// cycle). Everything is made before they run; their cycles only copy.
class Player {
public:
    struct Message {
        int64_t frame = 0;  // absolute frame of the server's frame counter
        uint8_t bytes[3] = {};
    };
    struct Event {
        Received at;
        uint8_t bytes[3] = {};
    };
    static constexpr size_t kMaxHeard = 8192;

    Player(const std::string& name, int audioInputs, int64_t recordFrames)
        : recorded(static_cast<size_t>(recordFrames), 0.0f), heard(kMaxHeard) {
        client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        recorder = jack_client_open((name + "-rec").c_str(), JackNoStartServer, nullptr);
        if (!client || !recorder) return;
        keys = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        heardPort = jack_port_register(recorder, "heard", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        bool registered = keys && heardPort;
        for (int i = 0; i < audioInputs; ++i) {
            const std::string port = "in_" + std::to_string(i + 1);
            ins.push_back(jack_port_register(recorder, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
            registered = registered && ins.back();
        }
        jack_set_process_callback(client, &Player::Process, this);
        jack_set_process_callback(recorder, &Player::Record, this);
        jack_set_xrun_callback(client, [](void* self) { return static_cast<Player*>(self)->xruns.fetch_add(1), 0; },
                               this);
        // A loaded machine can make the activation give up on a slow thread
        // start: a few tries.
        bool playing = false, recording = false;
        for (int attempt = 0; attempt < 3 && registered && !playing; ++attempt) playing = jack_activate(client) == 0;
        for (int attempt = 0; attempt < 3 && registered && !recording; ++attempt)
            recording = jack_activate(recorder) == 0;
        ok = playing && recording;
    }
    ~Player() {
        if (recorder) jack_client_close(recorder);
        if (client) jack_client_close(client);
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Plays `list` (in frame order) and records from the next cycle on, the
    // frames counted from `startIn` after that cycle's first; answers that
    // first frame once it ran (-1 when no cycle came).
    int64_t Play(std::vector<Message> list, int64_t startIn) {
        // The list is the cycle's while armed: taken back first, and two
        // cycles let one that still reads it end.
        armed.store(false);
        const uint64_t seen = cycles.load();
        WaitFor([&] { return cycles.load() >= seen + 2; }, 5000);
        // Cycles the server skips leave holes: silence, not the last take.
        std::fill(recorded.begin(), recorded.end(), 0.0f);
        messages = std::move(list);
        startDelay = startIn;
        next.store(0);
        start.store(-1);
        armed.store(true);
        WaitFor([&] { return start.load() >= 0; }, 5000);
        return start.load();
    }
    bool Done() const { return next.load() >= messages.size(); }
    // Frames recorded since the start.
    int64_t RecordedUpTo() const { return recordedUpTo.load(); }
    // What reached "heard" from that absolute frame on.
    std::vector<Event> Heard(int64_t from) const {
        std::vector<Event> events;
        for (size_t i = 0, n = heardCount.load(); i < n; ++i)
            if (heard[i].at.frame >= from) events.push_back(heard[i]);
        return events;
    }

    jack_client_t* client = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* keys = nullptr;
    jack_port_t* heardPort = nullptr;
    std::vector<jack_port_t*> ins;
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
            const uint8_t kind = m.bytes[0] & 0xF0;
            const size_t length = kind == 0xC0 || kind == 0xD0 ? 2 : m.bytes[0] >= 0xF0 ? 1 : 3;
            jack_midi_event_write(out, static_cast<jack_nframes_t>(std::max<int64_t>(m.frame - first, 0)), m.bytes,
                                  length);
            self->next.store(i + 1);
        }
        return 0;
    }

    static int Record(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Player*>(arg);
        const int64_t first = jack_last_frame_time(self->recorder);
        void* events = jack_port_get_buffer(self->heardPort, frames);
        for (uint32_t e = 0, count = jack_midi_get_event_count(events); e < count; ++e) {
            jack_midi_event_t event;
            const size_t n = self->heardCount.load(std::memory_order_relaxed);
            if (n == kMaxHeard || jack_midi_event_get(&event, events, e) != 0 || event.size == 0) continue;
            Event& logged = self->heard[n];
            logged.at = {first + event.time, event.time};
            for (size_t b = 0; b < 3; ++b) logged.bytes[b] = b < event.size ? event.buffer[b] : 0;
            self->heardCount.store(n + 1);
        }
        if (!self->armed.load() || self->start.load() < 0) return 0;
        const int64_t at = first - self->start.load();
        const auto size = static_cast<int64_t>(self->recorded.size());
        for (size_t p = 0; p < self->ins.size(); ++p) {
            const auto* x = static_cast<const float*>(jack_port_get_buffer(self->ins[p], frames));
            const float share = 1.0f / static_cast<float>(self->ins.size());
            for (jack_nframes_t i = 0; i < frames; ++i) {
                if (at + i < 0 || at + i >= size) continue;
                float& y = self->recorded[static_cast<size_t>(at + i)];
                y = (p == 0 ? 0.0f : y) + share * x[i];
            }
        }
        self->recordedUpTo.store(at + frames);
        return 0;
    }

    std::vector<Message> messages;
    int64_t startDelay = 0;
    std::atomic<size_t> next{0};
    std::atomic<bool> armed{false};
    std::atomic<uint64_t> cycles{0};
    std::atomic<int64_t> recordedUpTo{0};
    std::vector<Event> heard;
    std::atomic<size_t> heardCount{0};
};

}  // namespace jacktiming
