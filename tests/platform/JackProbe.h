#pragma once
// A JACK client of the test's own: a MIDI output "keys" the test plays into
// the program, a MIDI input "sink" that keeps what the program sends, and two
// audio inputs that record what reaches them. Buffers are made up front; the
// process callback only copies and counts.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/JackServer.h"

namespace testutil {

class JackProbe {
public:
    struct Event {
        std::vector<uint8_t> bytes;
        int64_t frame = -1;  // captured frames when it was played
    };

    explicit JackProbe(size_t captureFrames) : left(captureFrames), right(captureFrames) {
        for (Event& e : received)
            e.bytes.assign(3, 0);
        client = OpenJackClient(UniqueJackName("zavo-test-probe"));
        if (!client)
            return;
        keys = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        sink = jack_port_register(client, "sink", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        for (int i = 0; i < 2; ++i)
            in[i] = jack_port_register(client, ("in_" + std::to_string(i + 1)).c_str(),
                                       JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &JackProbe::Process, this);
        jack_on_shutdown(client, [](void* self) { static_cast<JackProbe*>(self)->gone.store(true); }, this);
        jack_set_xrun_callback(client, [](void* self) { return static_cast<JackProbe*>(self)->xruns.fetch_add(1), 0; },
                               this);
        ok = keys && sink && in[0] && in[1] && jack_activate(client) == 0;
    }
    ~JackProbe() { CloseJackClient(client); }

    // Plays the bytes at the start of the next cycle; answers the frame
    // (-1: not played, there is no room left for it).
    int64_t Play(std::vector<uint8_t> bytes) {
        if (sentCount.load() >= static_cast<int>(std::size(sent))) return -1;
        sent[sentCount].bytes = std::move(bytes);
        const int i = sentCount++;
        WaitFor([&] { return played.load() > i; }, 2000);
        return sent[i].frame;
    }

    // Plays the messages together at the start of the next cycle, all in
    // that one; answers its frame.
    int64_t PlayTogether(const std::vector<std::vector<uint8_t>>& messages) {
        const int first = sentCount.load();
        const int end = first + static_cast<int>(messages.size());
        if (end > static_cast<int>(std::size(sent))) return -1;
        for (int i = first; i < end; ++i)
            sent[i].bytes = messages[static_cast<size_t>(i - first)];
        sentCount.store(end);
        WaitFor([&] { return played.load() >= end; }, 2000);
        return sent[first].frame;
    }

    template <class Done>
    static bool WaitFor(Done done, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return done();
    }

    jack_client_t* client = nullptr;
    jack_port_t *keys = nullptr, *sink = nullptr, *in[2] = {};
    bool ok = false;
    // Room for a batch of 128 notes on and off played three times each.
    Event sent[1024], received[16];
    std::atomic<int> sentCount{0}, played{0}, receivedCount{0};
    std::atomic<int> xruns{0};  // cycles the server passed over
    // The server went: the client may be closed, and must be before any
    // other open of the process (which frees it).
    std::atomic<bool> gone{false};
    std::vector<float> left, right;
    std::atomic<int64_t> captured{0};

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackProbe*>(arg);
        const int64_t at = self->captured.load();
        void* out = jack_port_get_buffer(self->keys, frames);
        jack_midi_clear_buffer(out);
        for (int i = self->played.load(); i < self->sentCount.load(); ++i) {
            jack_midi_event_write(out, 0, self->sent[i].bytes.data(), self->sent[i].bytes.size());
            self->sent[i].frame = at;
            self->played.store(i + 1);
        }
        void* in = jack_port_get_buffer(self->sink, frames);
        jack_midi_event_t ev{};
        for (uint32_t i = 0; i < jack_midi_get_event_count(in) && self->receivedCount.load() < 16; ++i)
            if (jack_midi_event_get(&ev, in, i) == 0) {
                // Assigning would allocate: the test only reads up to 3 bytes.
                Event& e = self->received[self->receivedCount.load()];
                std::copy(ev.buffer, ev.buffer + std::min<size_t>(ev.size, e.bytes.size()), e.bytes.begin());
                e.frame = at + ev.time;
                self->receivedCount.fetch_add(1);
            }
        const size_t take = std::min<size_t>(self->left.size() - std::min<size_t>(self->left.size(), at), frames);
        for (int c = 0; c < 2; ++c) {
            const auto* x = static_cast<const float*>(jack_port_get_buffer(self->in[c], frames));
            std::copy(x, x + take, (c ? self->right : self->left).begin() + at);
        }
        self->captured.store(at + static_cast<int64_t>(take));
        return 0;
    }
};

} // namespace testutil
