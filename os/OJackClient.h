#pragma once
// The program's one JACK client, "zavo". It lists the server's MIDI ports,
// owns a port per joined MIDI input and one per open MIDI output, and, while
// the audio plays through JACK, the audio outputs "out_1" and "out_2" and the
// render. One process callback reads the MIDI inputs, renders, and writes
// the MIDI outputs, in that order: the events read in a cycle are rendered in
// that cycle at their frames, and what the render sends out is written at
// the frame of the block that played it.
//
// The client is opened by the first listing or by the audio driver and kept;
// the audio driver registers its ports and its render on it and goes without
// closing it. It is held (OJackClientLock) with a shutdown notice of its own,
// set before it is activated, and activated only once a port is joined or
// the audio starts: a listing never waits on the server's graph.
//
// Nothing libjack calls back holds the address of anything that can go
// before the client does: the callbacks are given the number of the open
// they belong to and find everything else in this object, which is never
// destroyed. A client left open on a frozen server (a close would wait on
// it) is closed once its server answers again.
//
// No call waits on the server for long: a call that does not return within
// kCallBoundMs is left to end by itself (its result, if any, is taken when
// it comes), and until then the server counts as not answering.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/OAudioDriver.h"
#include "os/OJackClientLock.h"
#include "os/OMidiPorts.h"
#include "os/ORtMidiPorts.h"

#include <jack/types.h>

namespace os {

class OJackClient : private OJackHeldClient {
public:
    static constexpr const char* kClientName = ORtMidiPorts::kClientName;
    static constexpr int kInputs = 32;
    // The device layer swaps outputs: the new one opens before the old
    // one closes.
    static constexpr int kOutputs = 2;
    static constexpr int kAudioOutputs = 2;
    // Messages waiting for the process cycle: a second and more of a dense
    // song at any buffer size a server runs.
    static constexpr uint32_t kRingSize = 1024;
    // A server whose cycles stopped this long is frozen or gone: nothing
    // more is asked of it, and a call to it is not waited for once its
    // cycles stopped for kCallSilence (a stopping program waits less). A
    // loaded machine can hold a server's cycle back a good while; a server
    // stopped by a signal is told at once (ServerStopped).
    static constexpr int64_t kServerSilenceUs = 3000000;
    static constexpr int64_t kCallSilenceUs = 3000000;
    static constexpr int64_t kServerSilenceStoppingUs = 100000;
    // The longest a call to a server that runs keeps its caller: a loaded
    // machine can make one slow, and a server that stopped is not waited for.
    static constexpr int kCallBoundMs = 5000;
    static constexpr int kCallBoundStoppingMs = 200;

    static OJackClient& Instance();

    // ---- The server
    // True when a server answers (none is started for the question).
    static bool ServerAnswers();
    // The same, and ask may query the server through a client meanwhile
    // (the program's own when it is open, else one opened for the question).
    static bool AskServer(const std::function<void(jack_client_t*)>& ask);
    // Opens a client of that name on the default server, never starting
    // one, within the call bound; quiet: a missing server is no message.
    // An open that outlasts the bound is closed by itself when it ends.
    static jack_client_t* OpenClient(const char* name, bool quiet, jack_status_t* status = nullptr);
    // Whether the client's server still runs its cycles, told without a
    // word to the server (its cycle times, in shared memory, stop with the
    // server), and no call to it is still waiting: a server silent for
    // kServerSilence is frozen or gone, and a call that waits on it would
    // wait as long.
    static bool Answers(jack_client_t* client);
    // How long the client's server has run no cycle (0 before its first).
    static int64_t SilentUs(jack_client_t* client);
    // Whether the default server's process is stopped (SIGSTOP), read from
    // libjack's registry of servers and the process's state: an open or a
    // call to it would wait as long. False when that cannot be told.
    static bool ServerStopped();
    // Makes a call that may wait on the server. It keeps the caller until
    // the server stops, or the server of `watch` has run no cycle for
    // kCallSilence, at most kCallBoundMs; a call left running ends by itself,
    // and until it does no server counts as answering. Whether it returned.
    // A call that closes `watch` must not watch it.
    static bool Call(const std::function<void()>& call, jack_client_t* watch = nullptr);
    // A port registration callback. libjack cancels the thread it runs on
    // wherever it is, so it only keeps the port's id in an atomic: a lock
    // or an allocation it was cancelled in would be held or broken for
    // good. Whose port it is is asked on the program's own thread.
    static void NotePortRegistration(uint32_t id, int registered, void* open);
    // Whether a port was made or removed on the server since the last call,
    // as the program's client hears it while it is open (a MIDI keyboard
    // plugged in or out, a client started or closed); the program's own
    // ports, which every join of an input registers, do not count.
    static bool TakePortsChanged();
    // Any thread: the ports changed as far as the program knows (its
    // server went).
    static void NotePortsChanged() { s_portsChanged.store(true, std::memory_order_relaxed); }

    // Times of the frames of one process cycle on os::StampMicros's clock,
    // the one MIDI events of every input and render calls are stamped on.
    // Frames map to times linearly at the server's rate from a reference
    // frame: a clock played at exact frames keeps exact intervals, also
    // after the server's own estimate of its frame times (jack_frames_to_time,
    // on libjack's clock: CLOCK_MONOTONIC_RAW in jackd2 1.9.21, read beside
    // ours) moved on a late cycle or a sound card whose clock runs off ours.
    // Where the line stands against our clock moves the stamp clock's
    // offset, so that what is stamped by our clock (an ALSA event, a render
    // call on the sound device) compares with it.
    class CycleTime {
    public:
        CycleTime() = default;
        // Process thread of the client, at the start of its cycle.
        explicit CycleTime(jack_client_t* client);
        // The time of the cycle's frame `offset`.
        int64_t At(uint32_t offset) const { return m_base + (m_frames + offset) * 1000000 / m_rate; }
        uint32_t FirstFrame() const { return m_first; }

    private:
        int64_t m_base = 0;    // the time of the reference frame
        int64_t m_frames = 0;  // from there to the cycle's first frame
        int64_t m_rate = 48000;
        uint32_t m_first = 0;
    };

    // ---- MIDI
    // The MIDI ports of the server with those flags (JackPortIsOutput: the
    // sources), in the server's order, the program's own left out. Empty
    // when no server answers or the program is stopping.
    std::vector<std::string> List(unsigned long flags);
    // Joins a port of the program's to the port of that name. Null, with
    // the reason in error, when it is not there or cannot be joined.
    // The program's port is "midi_in" for place 0, "midi_in_<place + 1>"
    // after, unless another input holds that name (then the first free).
    std::unique_ptr<OMidiInput> OpenInput(const std::string& name, int place, MidiInputCallback callback,
                                          void* user, std::string& error);
    std::unique_ptr<OMidiOutput> OpenOutput(const std::string& name, std::string& error);
    // The program's thread: whether the port of that id on the client's
    // server is one of the program's own (no client open: it is not).
    bool IsOwnPortId(uint32_t id);
    // Closes the client unless the audio plays through it; the MIDI ports
    // still open hear and send nothing more. The next listing opens a
    // client again.
    void Close();
    // The program's thread, now and then: what waited for the server to
    // answer again is done (ports left behind go, a client left open on a
    // frozen server closes, a client whose open outlasted its call is taken).
    void Tidy();
    // The server makes a changed graph the one its clients read at the
    // start of a cycle: until then a port that left and came back under its
    // name (in the place the old one had) still reads as joined. Two cycles
    // of this client let a change made before the call take effect; a
    // client with nothing joined, a graph that does not run, a server that
    // went or a stop end the wait sooner.
    void LetGraphSettle() const;
    // True on the process callback's thread while it hands the inputs'
    // messages on: a real-time thread, which must not wait on another.
    static bool InProcessCallback();
    // True on the process callback's thread for the whole of a cycle in
    // which the audio renders: an output may then be written at a frame of
    // the cycle (OMidiOutput::SendInCycle).
    static bool InRenderCycle();

    // ---- Audio (OJackDriver)
    // Opens the client when it is not; the number of its open, 0 when no
    // server answers (error holds why).
    uint32_t OpenForAudio(std::string& error);
    // Whether the open of that number went (its server went, or the
    // client was closed since).
    bool IsGone(uint32_t open) const;
    // Under the open of that number: registers the outputs the infos name
    // and keeps the callbacks; the render starts with StartAudio.
    int32_t RegisterAudio(uint32_t open, ODriverBufferInfo* infos, int32_t count, const ODriverCallbacks& callbacks);
    int32_t StartAudio(uint32_t open);
    // When it returns no buffer switch runs and none will until the next
    // start. The client stays active for the MIDI ports.
    void StopAudio(uint32_t open);
    // The audio ports go (once the server answers again, when it does not).
    void DisposeAudio(uint32_t open);
    // Process thread, inside a buffer switch: the cycle's first frame and
    // the time it falls at.
    const CycleTime& CurrentCycle() const { return m_cycleTime; }
    // Whether the audio renders in this client's cycles now.
    static bool RendersAudio() { return s_rendering.load(std::memory_order_relaxed); }
    // Queries of the open client (0 or kDriverNotPresent when none).
    jack_client_t* ClientOf(uint32_t open) const;
    jack_port_t* AudioPort(int channel) const { return m_audio.ports[channel].load(); }

private:
    struct Input {
        std::atomic<jack_port_t*> port{nullptr};  // read by the process callback
        MidiInputCallback callback = nullptr;
        void* user = nullptr;
        std::atomic<uint64_t> owner{0};  // the port object's ticket; 0: free
    };
    struct Output {
        std::atomic<jack_port_t*> port{nullptr};  // read by the process callback
        // A port on its way out: JACK does not clear an output's buffer, so
        // the cycle clears it until the server has it no more, else the
        // receiver reads its last events again every cycle.
        std::atomic<jack_port_t*> closing{nullptr};
        std::atomic<uint64_t> owner{0};
        // Senders between their look at the owner and their write: a slot
        // taken anew waits for them before it empties the ring.
        std::atomic<int> sending{0};
        uint32_t ring[kRingSize] = {};
        std::atomic<uint32_t> read{0}, write{0};
        // Process thread: the port's buffer for the cycle, and the frame of
        // the last event written into it (events go in frame order).
        void* buffer = nullptr;
        uint32_t lastFrame = 0;
    };
    // What the render needs in the cycle: kept here, not in the driver, so
    // that a cycle of a client left open finds it whatever became of the
    // driver.
    struct Audio {
        std::atomic<jack_port_t*> ports[kAudioOutputs] = {};
        ODriverBufferInfo* infos = nullptr;
        int32_t count = 0;
        ODriverCallbacks callbacks;
        std::atomic<bool> running{false};
        bool registered = false;  // under a guard: the driver's ports are there
    };
    class JackInput;
    class JackOutput;

    OJackClient() = default;
    ~OJackClient() = default;
    // Under a guard.
    bool OpenClient();
    void Adopt(jack_client_t* client);
    bool Activate();
    jack_port_t* Register(const char* name, const char* type, unsigned long flags);
    jack_port_t* Join(const std::string& name, bool input, const std::string& local, std::string& error);
    enum class Silence { kNone, kAudio, kMidi };
    void Unregister(std::atomic<jack_port_t*>& port, Silence silence = Silence::kNone);
    void UnregisterLeftPorts();
    void CloseForgotten();
    void UpdateHold();
    bool Answering(std::string& error);
    bool InUse() const;
    void WaitForCycle() const;
    bool WaitForCycles(uint32_t count) const;
    bool Joined(int slot, bool input, uint64_t ticket, const std::string& other) const;
    void LetGo(bool freed) override;
    bool Silent() const override;
    bool Send(int slot, uint64_t owner, uint32_t message);
    bool SendInCycle(int slot, uint64_t owner, uint32_t message, uint32_t frame);
    static int Process(uint32_t frames, void* open);
    static void OnShutdown(jack_status_t, const char*, void* open);

    jack_client_t* m_client = nullptr;  // under a guard
    // The client whose cycles call Process; set before its callback is.
    std::atomic<jack_client_t*> m_cycleClient{nullptr};
    bool m_active = false;
    uint64_t m_tickets = 0;  // under a guard
    Input m_inputs[kInputs];
    Output m_outputs[kOutputs];
    Audio m_audio;
    // Outputs on their way out, cleared by every cycle until the server
    // has taken their unregistration.
    struct Silenced {
        std::atomic<jack_port_t*> port{nullptr};
        std::atomic<bool> audio{false};
    };
    Silenced m_silenced[8];
    CycleTime m_cycleTime;  // process thread
    // Counts process cycles in progress: a port goes only once no cycle
    // reads it. A cycle never waits on anything, so neither does this.
    std::atomic<int> m_inCycle{0};
    std::atomic<uint32_t> m_cycles{0};  // cycles begun
    std::atomic<int> m_notifier{0};     // the thread the shutdown notice came on
    // Each open's callbacks are given its number: a client left open on a
    // frozen server runs again when the server goes on, and then touches
    // nothing of a later open's.
    std::atomic<uint32_t> m_open{0};
    std::atomic<uint32_t> m_opens{0};
    std::atomic<uint32_t> m_lost{0};  // the open whose server went, 0: none
    // Ports that left their places while the server did not answer; they
    // are unregistered once it does again, or go with the client.
    std::vector<jack_port_t*> m_unregisterLater;  // under a guard
    // Clients left open on a frozen server, closed once it answers again.
    struct Forgotten {
        jack_client_t* client = nullptr;
        uint32_t open = 0;
    };
    std::vector<Forgotten> m_forgotten;  // under a guard

    // Set on the server's notification threads: the ids of ports made or
    // removed (plus one; 0 is a free place), and a flag for a change that
    // found no place or is no port's.
    static inline std::atomic<uint32_t> s_portIds[16] = {};
    static inline std::atomic<bool> s_portsChanged{false};
    static inline std::atomic<bool> s_rendering{false};
    // Something waits for Tidy.
    static inline std::atomic<bool> s_tidy{false};
    // The frame clock's reference: a frame (high half) and its time (low
    // half, microseconds of ours); 0 before the first cycle.
    static inline std::atomic<uint64_t> s_frameClock{0};
    // Calls left running past their bound that have not returned.
    static inline std::atomic<int> s_callsLeft{0};
};

} // namespace os
