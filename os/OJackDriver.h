#pragma once
// The audio driver on a JACK server: client "zavo" with two output ports,
// "out_1" and "out_2" (Float32 LSB), connected to the first two physical
// playback ports when it starts. The server sets the rate and the buffer
// size; each process cycle is one buffer switch with the cycle's frame count.
// Never starts a server.
#include <atomic>
#include <functional>

#include "os/OAudioDriver.h"
#include "os/OJackClientLock.h"

#include <jack/types.h>

namespace os {

class OJackDriver : public OAudioDriver, private OJackHeldClient {
public:
    static constexpr const char* kName = "JACK";
    static constexpr const char* kClientName = "zavo";
    static constexpr int64_t kServerSilenceUs = 1000000;
    static constexpr int64_t kServerSilenceStoppingUs = 100000;
    static constexpr int kCallBoundStoppingMs = 200;

    OJackDriver() = default;
    ~OJackDriver() override;

    // True when a server answers (none is started for the question).
    static bool ServerAnswers();
    // The same, and while its client is open ask may query the server
    // through it (the client has no ports and is never activated).
    static bool AskServer(const std::function<void(jack_client_t*)>& ask);
    // Opens a client of that name on the default server, never starting
    // one; quiet: a missing server is no message.
    static jack_client_t* OpenClient(const char* name, bool quiet, jack_status_t* status = nullptr);
    // A port registration callback. libjack cancels the thread it runs on
    // wherever it is, so it only keeps the port's id in an atomic: a lock
    // or an allocation it was cancelled in would be held or broken for
    // good. Whose port it is is asked on the program's own thread.
    static void NotePortRegistration(uint32_t id, int registered, void* client);
    // Whether a port was made or removed on the server since the last call,
    // as the program's clients hear it while they are open (a MIDI keyboard
    // plugged in or out, a client started or closed); the program's own MIDI
    // ports, which every join of an input registers, do not count.
    static bool TakePortsChanged();
    // Whether the client's server still runs its cycles, told without a
    // word to the server (its frame timer, in shared memory, stops with
    // the server): a server silent for kServerSilence is frozen or gone,
    // and a call that waits on it would wait as long.
    static bool Answers(jack_client_t* client);
    // Makes a call that waits on the server. A stopping program waits for
    // it kCallBoundStoppingMs at most and leaves it to the process's end:
    // until it returns no server counts as answering. Whether it returned.
    static bool Call(const std::function<void()>& call);
    // Any thread: the ports changed as far as the program knows (a server
    // its MIDI ports were on went).
    static void NotePortsChanged() { s_portsChanged.store(true, std::memory_order_relaxed); }

    // Times of the frames of one process cycle on os::StampMicros's clock,
    // the one MIDI events of every input and render calls are stamped on.
    // Frames map to times linearly at the server's rate from a reference
    // frame all of the program's clients share: an event and a render call
    // of the same frame get the same time, and a clock played at exact
    // frames keeps exact intervals, also after the server's own estimate of
    // its frame times (jack_frames_to_time, on libjack's clock:
    // CLOCK_MONOTONIC_RAW in jackd2 1.9.21, read beside ours) moved on a
    // late cycle or a sound card whose clock runs off ours. Where the line
    // stands against our clock moves the stamp clock's offset, so that what
    // is stamped by our clock (an ALSA event, a render call on the sound
    // device) compares with it.
    class CycleTime {
    public:
        // Process thread of the client, at the start of its cycle.
        explicit CycleTime(jack_client_t* client);
        // The time of the cycle's frame `offset`.
        int64_t At(uint32_t offset) const { return m_base + (m_frames + offset) * 1000000 / m_rate; }

    private:
        int64_t m_base = 0;    // the time of the reference frame
        int64_t m_frames = 0;  // from there to the cycle's first frame
        int64_t m_rate = 48000;
    };

    bool Init(char* name32, char* errorText124) override;
    void Exit() override;
    int32_t Start() override;
    int32_t Stop() override;
    int32_t GetChannels(int32_t& inputs, int32_t& outputs) override;
    int32_t GetLatencies(int32_t& input, int32_t& output) override;
    int32_t GetBufferSize(int32_t& minimum, int32_t& maximum, int32_t& preferred,
                          int32_t& granularity) override;
    int32_t GetSampleRate(double& rate) override;
    int32_t SetSampleRate(double rate) override;
    int32_t GetSamplePosition(int64_t& position, int64_t& systemTimeNs) override;
    int32_t GetChannelInfo(ODriverChannelInfo& info) override;
    int32_t CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t frames,
                          const ODriverCallbacks& callbacks) override;
    int32_t DisposeBuffers() override;
    int32_t ControlPanel() override;
    int32_t OutputReady() override;
    bool IsLost() const override { return m_lost.load(std::memory_order_acquire); }

private:
    static constexpr int kOutputs = 2;
    void LetGo(bool freed) override;
    bool Silent() const override { return m_client && !Answers(m_client); }
    static int Process(uint32_t frames, void* cell);
    // Waits until no process cycle is inside the host's callback.
    void WaitForCycle() const;
    // Closes the client, or, when the server went or does not answer (a
    // close would wait on it), leaves it to libjack or the process's end.
    void CloseOrForget(bool mayClose);

    // What the process callback is given: a client left open (its server
    // frozen) may run a cycle whenever the server goes on, after this
    // driver is gone, and then finds no driver in its cell.
    struct Cell {
        std::atomic<OJackDriver*> driver;
        // Counts process cycles inside the host's callback. Stop waits for
        // it to reach 0 before it deactivates, since deactivation cancels
        // the process thread at once, also in the middle of a cycle.
        std::atomic<int> inCallback{0};
    };

    jack_client_t* m_client = nullptr;
    jack_port_t* m_ports[kOutputs] = {};
    ODriverBufferInfo* m_infos = nullptr;
    int32_t m_infoCount = 0;
    ODriverCallbacks m_callbacks;
    std::atomic<bool> m_running{false};
    Cell* m_cell = nullptr;
    // Set on the server's shutdown thread; the GUI thread acts on it.
    std::atomic<bool> m_lost{false};
    std::atomic<int> m_notifier{0};  // the thread the notice came on
    bool m_active = false;
    // Set on the servers' notification threads: the ids of ports made or
    // removed (plus one; 0 is a free place), and a flag for a change that
    // found no place or is no port's.
    static inline std::atomic<uint32_t> s_portIds[16] = {};
    static inline std::atomic<bool> s_portsChanged{false};
    // The frame clock's reference: a frame (high half) and its time (low
    // half, microseconds of ours); 0 before the first cycle.
    static inline std::atomic<uint64_t> s_frameClock{0};
    // Calls left to the process's end that have not returned.
    static inline std::atomic<int> s_callsLeft{0};
};

} // namespace os
