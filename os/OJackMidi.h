#pragma once
// The program's JACK MIDI: one client of its own ("zavo-midi") that lists
// the server's MIDI ports and owns a port per joined input and one per open
// output. The client is opened by the first listing and kept, held like the
// audio driver's (a shutdown notice of its own, set before it is
// activated), and activated only once a port is joined: a listing never
// waits on the server's graph. Inputs are read in its process callback;
// outputs go through rings the program owns, drained there. No call waits
// on the server's process cycle: a message nothing drains is dropped, and
// counted.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "os/OJackClientLock.h"
#include "os/OMidiPorts.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace os {

class OJackMidi : private OJackHeldClient {
public:
    static constexpr int kInputs = 32;
    // The device layer swaps outputs: the new one opens before the old
    // one closes.
    static constexpr int kOutputs = 2;
    // Messages waiting for the process cycle: a second and more of a dense
    // song at any buffer size a server runs.
    static constexpr uint32_t kRingSize = 1024;

    static OJackMidi& Instance();

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
    // Closes the client; the ports still open hear and send nothing more.
    // The next listing opens a client again.
    void Close();
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
    };
    class JackInput;
    class JackOutput;

    OJackMidi() = default;
    ~OJackMidi() = default;
    // Under a guard.
    bool OpenClient();
    bool Activate();
    jack_port_t* Join(const std::string& name, bool input, const std::string& local, std::string& error);
    void Unregister(std::atomic<jack_port_t*>& port, std::atomic<jack_port_t*>* closing = nullptr);
    void UnregisterLeftPorts();
    bool Answering(std::string& error);
    void WaitForCycle() const;
    bool WaitForCycles(uint32_t count) const;
    bool Joined(int slot, bool input, uint64_t ticket, const std::string& other) const;
    void LetGo(bool freed) override;
    bool Silent() const override;
    bool Send(int slot, uint64_t owner, uint32_t message);
    static int Process(uint32_t frames, void* open);

    jack_client_t* m_client = nullptr;  // under a guard
    // The client whose cycles call Process, for their frame times; set
    // before its callback is.
    std::atomic<jack_client_t*> m_cycleClient{nullptr};
    bool m_active = false;
    uint64_t m_tickets = 0;  // under a guard
    Input m_inputs[kInputs];
    Output m_outputs[kOutputs];
    // Counts process cycles in progress: a port goes only once no cycle
    // reads it. A cycle never waits on anything, so neither does this.
    std::atomic<int> m_inCycle{0};
    std::atomic<uint32_t> m_cycles{0};  // cycles begun
    std::atomic<int> m_notifier{0};     // the thread the shutdown notice came on
    // Each client's process callback is given the number of its open: one
    // left open on a frozen server runs again when the server goes on, and
    // then touches nothing of a later client's.
    std::atomic<uintptr_t> m_opens{0};
    // Ports that left their slots while the server did not answer; they
    // are unregistered once it does again, or go with the client.
    std::vector<jack_port_t*> m_unregisterLater;  // under a guard
};

} // namespace os
