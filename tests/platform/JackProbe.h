#pragma once
// A JACK client of the test's own: a MIDI output "keys" the test plays into
// the program, a MIDI input "sink" that keeps what the program sends, and two
// audio inputs that record what reaches them. All buffers are made up front;
// the process callback only copies and counts.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

class JackProbe {
public:
    struct Event {
        uint8_t bytes[8] = {};
        uint32_t size = 0;
        int64_t frame = 0;  // captured frame at the start of its cycle
    };

    explicit JackProbe(size_t captureFrames = 0) : m_left(captureFrames), m_right(captureFrames) {
        jack_status_t status{};
        m_client = jack_client_open("zavo-test-probe", JackNoStartServer, &status);
        if (!m_client)
            return;
        m_keys = jack_port_register(m_client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        m_sink = jack_port_register(m_client, "sink", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        m_in[0] = jack_port_register(m_client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        m_in[1] = jack_port_register(m_client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &JackProbe::Process, this);
        m_ok = m_keys && m_sink && m_in[0] && m_in[1] && jack_activate(m_client) == 0;
    }
    ~JackProbe() {
        if (m_client)
            jack_client_close(m_client);
    }
    JackProbe(const JackProbe&) = delete;
    JackProbe& operator=(const JackProbe&) = delete;

    bool Ok() const { return m_ok; }
    jack_client_t* Client() const { return m_client; }
    std::string KeysName() const { return jack_port_name(m_keys); }
    std::string SinkName() const { return jack_port_name(m_sink); }
    std::string InputName(int i) const { return jack_port_name(m_in[i]); }

    // Plays the bytes at the start of the next cycle.
    void Send(std::vector<uint8_t> bytes) {
        const int n = m_outCount.load();
        if (n >= kEvents || bytes.size() > sizeof(Event::bytes))
            return;
        Event& e = m_out[n];
        for (size_t i = 0; i < bytes.size(); ++i)
            e.bytes[i] = bytes[i];
        e.size = static_cast<uint32_t>(bytes.size());
        m_outCount.store(n + 1);
    }
    // The frame of the cycle that played event i, -1 until it was played.
    int64_t SentFrame(int i) const { return i < m_outDone.load() ? m_out[i].frame : -1; }

    int ReceivedCount() const { return m_inCount.load(); }
    const Event& Received(int i) const { return m_received[i]; }
    // Waits (at most timeoutMs) until count events arrived.
    bool WaitReceived(int count, int timeoutMs) const {
        return WaitFor([&] { return ReceivedCount() >= count; }, timeoutMs);
    }

    int64_t Captured() const { return m_captured.load(); }
    bool WaitCaptured(int64_t frames, int timeoutMs) const {
        return WaitFor([&] { return Captured() >= frames; }, timeoutMs);
    }
    const std::vector<float>& Left() const { return m_left; }
    const std::vector<float>& Right() const { return m_right; }

    template <class Done>
    static bool WaitFor(Done done, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    static constexpr int kEvents = 64;

    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackProbe*>(arg);
        const int64_t at = self->m_captured.load();
        void* out = jack_port_get_buffer(self->m_keys, frames);
        jack_midi_clear_buffer(out);
        for (int i = self->m_outDone.load(); i < self->m_outCount.load(); ++i) {
            Event& e = self->m_out[i];
            jack_midi_event_write(out, 0, e.bytes, e.size);
            e.frame = at;
            self->m_outDone.store(i + 1);
        }
        void* in = jack_port_get_buffer(self->m_sink, frames);
        const uint32_t count = jack_midi_get_event_count(in);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t ev{};
            const int n = self->m_inCount.load();
            if (jack_midi_event_get(&ev, in, i) != 0 || n >= kEvents || ev.size > sizeof(Event::bytes))
                continue;
            Event& e = self->m_received[n];
            for (size_t b = 0; b < ev.size; ++b)
                e.bytes[b] = ev.buffer[b];
            e.size = static_cast<uint32_t>(ev.size);
            e.frame = at + ev.time;
            self->m_inCount.store(n + 1);
        }
        const size_t size = self->m_left.size();
        const size_t take = std::min<size_t>(size - std::min(size, static_cast<size_t>(at)), frames);
        const auto* l = static_cast<const float*>(jack_port_get_buffer(self->m_in[0], frames));
        const auto* r = static_cast<const float*>(jack_port_get_buffer(self->m_in[1], frames));
        for (size_t i = 0; i < take; ++i) {
            self->m_left[static_cast<size_t>(at) + i] = l[i];
            self->m_right[static_cast<size_t>(at) + i] = r[i];
        }
        // Without capture room the frame count still runs, as a clock.
        self->m_captured.store(at + static_cast<int64_t>(self->m_left.empty() ? frames : take));
        return 0;
    }

    jack_client_t* m_client = nullptr;
    jack_port_t* m_keys = nullptr;
    jack_port_t* m_sink = nullptr;
    jack_port_t* m_in[2] = {};
    bool m_ok = false;
    Event m_out[kEvents];
    std::atomic<int> m_outCount{0};
    std::atomic<int> m_outDone{0};
    Event m_received[kEvents];
    std::atomic<int> m_inCount{0};
    std::vector<float> m_left, m_right;
    std::atomic<int64_t> m_captured{0};
};

} // namespace testutil
