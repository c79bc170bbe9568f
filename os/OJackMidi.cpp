#include "os/OJackMidi.h"

#include "os/OJackDriver.h"
#include "os/ORtMidiPorts.h"
#include "os/OStop.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace os {

namespace {

// The slot asked for when no port object owns it, else the first free one;
// the count when all are taken.
template <class Slot, size_t N>
size_t FreeSlot(const Slot (&slots)[N], int wanted = -1) {
    if (wanted >= 0 && static_cast<size_t>(wanted) < N && slots[wanted].owner.load() == 0)
        return static_cast<size_t>(wanted);
    size_t slot = 0;
    while (slot < N && slots[slot].owner.load() != 0)
        ++slot;
    return slot;
}

// A cycle of an active client comes at every period of the server; none
// takes this long.
constexpr auto kLongestCycleWait = std::chrono::milliseconds(100);

// Set while the process callback hands the inputs' messages on.
thread_local bool t_inProcess = false;

std::string LocalName(const char* stem, int slot) {
    return slot == 0 ? std::string(stem) : std::string(stem) + "_" + std::to_string(slot + 1);
}

} // namespace

class OJackMidi::JackInput : public OMidiInput {
public:
    JackInput(int slot, uint64_t ticket, const std::string& source)
        : m_slot(slot), m_ticket(ticket), m_source(source) {}
    ~JackInput() override {
        OJackClientLock lock;
        OJackMidi& midi = Instance();
        Input& in = midi.m_inputs[m_slot];
        if (in.owner.load() != m_ticket)
            return;  // let go of with its client
        in.owner.store(0);
        midi.Unregister(in.port);
    }
    bool Connected() override { return Instance().Joined(m_slot, true, m_ticket, m_source); }

private:
    int m_slot;
    uint64_t m_ticket;
    std::string m_source;
};

class OJackMidi::JackOutput : public OMidiOutput {
public:
    JackOutput(int slot, uint64_t ticket, const std::string& target)
        : m_slot(slot), m_ticket(ticket), m_target(target) {}
    ~JackOutput() override {
        OJackClientLock lock;
        OJackMidi& midi = Instance();
        Output& out = midi.m_outputs[m_slot];
        if (out.owner.load() != m_ticket)
            return;
        out.owner.store(0);
        midi.Unregister(out.port, &out.closing);
    }
    bool Send(uint32_t message) override { return Instance().Send(m_slot, m_ticket, message); }
    bool Connected() override { return Instance().Joined(m_slot, false, m_ticket, m_target); }

private:
    int m_slot;
    uint64_t m_ticket;
    std::string m_target;
};

OJackMidi& OJackMidi::Instance() {
    // Never destroyed: a port object may outlive static destruction's turn.
    static OJackMidi* midi = new OJackMidi;
    return *midi;
}

std::vector<std::string> OJackMidi::List(unsigned long flags) {
    std::vector<std::string> names;
    OJackClientLock lock;
    if (!OpenClient())
        return names;
    UnregisterLeftPorts();
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    for (size_t i = 0; ports && ports[i]; ++i)
        if (!ORtMidiPorts::IsOwnPort(ports[i]))
            names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

std::unique_ptr<OMidiInput> OJackMidi::OpenInput(const std::string& name, int place, MidiInputCallback callback,
                                                 void* user, std::string& error) {
    OJackClientLock lock;
    const int slot = static_cast<int>(FreeSlot(m_inputs, place));
    if (slot == kInputs || !OpenClient() || !Answering(error))
        return nullptr;
    Input& in = m_inputs[slot];
    jack_port_t* port = Join(name, true, LocalName("midi_in", slot), error);
    if (!port)
        return nullptr;
    in.callback = callback;
    in.user = user;
    const uint64_t ticket = ++m_tickets;
    in.owner.store(ticket);
    // The callback is in place before a cycle can see the port.
    in.port.store(port);
    return std::make_unique<JackInput>(slot, ticket, name);
}

std::unique_ptr<OMidiOutput> OJackMidi::OpenOutput(const std::string& name, std::string& error) {
    OJackClientLock lock;
    const int slot = static_cast<int>(FreeSlot(m_outputs));
    if (slot == kOutputs || !OpenClient() || !Answering(error))
        return nullptr;
    Output& out = m_outputs[slot];
    jack_port_t* port = Join(name, false, LocalName("midi_out", slot), error);
    if (!port)
        return nullptr;
    // A sender of the slot's last owner that saw its ticket still valid
    // writes before the ring empties; any later one finds the ticket gone.
    while (out.sending.load() != 0)
        std::this_thread::yield();
    out.read.store(0);
    out.write.store(0);
    const uint64_t ticket = ++m_tickets;
    out.owner.store(ticket);
    out.port.store(port);
    return std::make_unique<JackOutput>(slot, ticket, name);
}

bool OJackMidi::IsOwnPortId(uint32_t id) {
    OJackClientLock lock;
    const jack_port_t* port = m_client ? jack_port_by_id(m_client, id) : nullptr;
    const char* name = port ? jack_port_name(port) : nullptr;
    return name && ORtMidiPorts::IsOwnPort(name);
}

bool OJackMidi::Silent() const { return m_client && !OJackDriver::Answers(m_client); }

void OJackMidi::Close() {
    OJackClientLock lock;
    if (!m_client)
        return;
    OJackClientLock::Release(this);
    LetGo(false);
}

bool OJackMidi::OpenClient() {
    if (m_client)
        return true;
    // A stopping program opens nothing more: the exit would wait for it.
    if (StopRequested())
        return false;
    m_client = OJackDriver::OpenClient(ORtMidiPorts::kClientName, true);
    if (!m_client)
        return false;
    m_active = false;
    m_inCycle.store(0);
    m_notifier.store(0);
    // Set while the client is inactive, as libjack wants them.
    jack_on_info_shutdown(
        m_client,
        [](jack_status_t, const char*, void* self) {
            OJackClientLock::NoteNotifier(static_cast<OJackMidi*>(self)->m_notifier);
            OJackClientLock::NoteServerGone();
            // The inputs of that server let go of what they held.
            OJackDriver::NotePortsChanged();
        },
        this);
    jack_set_port_registration_callback(m_client, &OJackDriver::NotePortRegistration, m_client);
    m_cycleClient.store(m_client);
    jack_set_process_callback(m_client, &OJackMidi::Process, reinterpret_cast<void*>(++m_opens));
    OJackClientLock::Hold(this);
    return true;
}

// Only a client with a port joined runs: a listing never waits for the
// server's graph, which takes its time with a client that starts running.
bool OJackMidi::Activate() {
    // A loaded machine can make the activation give up on a slow thread
    // start: it is tried again, unless the program is stopping.
    for (int attempt = 0; attempt < 3 && !m_active; ++attempt) {
        if (StopRequested())
            return false;
        m_active = jack_activate(m_client) == 0;
    }
    return m_active;
}

jack_port_t* OJackMidi::Join(const std::string& name, bool input, const std::string& local, std::string& error) {
    const jack_port_t* other = ORtMidiPorts::IsOwnPort(name) ? nullptr : jack_port_by_name(m_client, name.c_str());
    const int direction = input ? JackPortIsOutput : JackPortIsInput;
    if (!other || (jack_port_flags(other) & direction) == 0 ||
        std::strcmp(jack_port_type(other), JACK_DEFAULT_MIDI_TYPE) != 0)
        return nullptr;  // error keeps its "no MIDI ... named"
    if (!Activate()) {
        error = "no JACK client could be made for the port \"" + name + "\"";
        return nullptr;
    }
    jack_port_t* own = jack_port_register(m_client, local.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                          input ? JackPortIsInput : JackPortIsOutput, 0);
    if (!own) {
        error = "no JACK port could be made for \"" + name + "\"";
        return nullptr;
    }
    const int joined = input ? jack_connect(m_client, name.c_str(), jack_port_name(own))
                             : jack_connect(m_client, jack_port_name(own), name.c_str());
    if (joined != 0 && joined != EEXIST) {
        jack_port_unregister(m_client, own);
        error = "the JACK port \"" + name + "\" could not be joined";
        return nullptr;
    }
    return own;
}

// Under a guard, the port's owner cleared. An output's port passes through
// closing: a cycle that begins after it is there clears what the port's
// last cycle wrote, and the server still reads that buffer until it has
// taken the unregistration.
void OJackMidi::Unregister(std::atomic<jack_port_t*>& port, std::atomic<jack_port_t*>* closing) {
    jack_port_t* gone = port.exchange(nullptr);
    if (!gone)
        return;
    if (closing) {
        closing->store(gone);
        WaitForCycles(1);
        closing->store(nullptr);
    }
    // Sequentially consistent with the cycle's count: either a cycle sees
    // the port gone, or this thread sees the cycle and lets it end first.
    WaitForCycle();
    // A frozen server would keep the window waiting.
    if (OJackDriver::Answers(m_client))
        OJackDriver::Call([client = m_client, gone] { jack_port_unregister(client, gone); });
    else
        m_unregisterLater.push_back(gone);
}

// Under a guard: the ports that left while the server did not answer.
void OJackMidi::UnregisterLeftPorts() {
    if (m_unregisterLater.empty() || !OJackDriver::Answers(m_client))
        return;
    for (jack_port_t* port : m_unregisterLater)
        jack_port_unregister(m_client, port);
    m_unregisterLater.clear();
}

// Under a guard, the client open: whether its server answers, else why not.
bool OJackMidi::Answering(std::string& error) {
    if (OJackDriver::Answers(m_client)) {
        UnregisterLeftPorts();
        return true;
    }
    error = "the JACK server does not answer";
    return false;
}

// Any thread: whether the port object of that ticket still owns its slot
// and its port is joined to other now.
bool OJackMidi::Joined(int slot, bool input, uint64_t ticket, const std::string& other) const {
    const std::atomic<uint64_t>& owner = input ? m_inputs[slot].owner : m_outputs[slot].owner;
    if (owner.load() != ticket)
        return false;
    OJackClientLock lock;
    jack_port_t* port = input ? m_inputs[slot].port.load() : m_outputs[slot].port.load();
    return owner.load() == ticket && port && jack_port_connected_to(port, other.c_str());
}

void OJackMidi::LetGraphSettle() const {
    auto joined = [](const auto& slot) { return slot.owner.load() != 0; };
    if (std::any_of(std::begin(m_inputs), std::end(m_inputs), joined) ||
        std::any_of(std::begin(m_outputs), std::end(m_outputs), joined))
        WaitForCycles(2);
}

// Until count cycles began since the call and none is in progress; false
// when the client's cycles do not come (nothing joined runs them, the
// graph stalls, the server went) or the program stops.
bool OJackMidi::WaitForCycles(uint32_t count) const {
    const uint32_t start = m_cycles.load();
    const auto end = std::chrono::steady_clock::now() + kLongestCycleWait;
    while (m_cycles.load() - start < count || m_inCycle.load() != 0) {
        if (std::chrono::steady_clock::now() >= end || StopRequested() || OJackClientLock::ServerGone())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void OJackMidi::WaitForCycle() const {
    while (m_inCycle.load() != 0)
        std::this_thread::yield();
}

void OJackMidi::LetGo(bool freed) {
    for (Input& in : m_inputs) {
        in.owner.store(0);
        in.port.store(nullptr);
    }
    bool closing = false;
    for (Output& out : m_outputs) {
        out.owner.store(0);
        // Until the close takes them off the graph the cycle clears them,
        // as it does a port being unregistered.
        jack_port_t* port = out.port.exchange(nullptr);
        if (port && !freed) {
            out.closing.store(port);
            closing = true;
        }
    }
    // A thread that libjack ended already is not waited for.
    if (!freed) {
        if (closing)
            WaitForCycles(1);
        for (Output& out : m_outputs)
            out.closing.store(nullptr);
        WaitForCycle();
        // Else forgotten: libjack frees it with the next open.
        if (OJackClientLock::MayClose(m_client, m_notifier))
            OJackDriver::Call([client = m_client] { jack_client_close(client); });
    }
    m_client = nullptr;
    m_active = false;
    m_unregisterLater.clear();
}

// Any thread but the process cycle's; one sender per output. A full ring
// (nothing drains it: the server went, stalls, or passes this client over)
// drops the message instead of waiting for room.
bool OJackMidi::Send(int slot, uint64_t owner, uint32_t message) {
    Output& out = m_outputs[slot];
    if (MidiMessageLength(static_cast<uint8_t>(message)) == 0)
        return false;
    // Counted before the ticket is looked at (both sequentially
    // consistent): a slot taken anew sees this send, or this send sees the
    // ticket gone.
    out.sending.fetch_add(1);
    bool sent = false;
    if (out.owner.load() == owner) {
        const uint32_t w = out.write.load(std::memory_order_relaxed);
        const uint32_t next = (w + 1) % kRingSize;
        if (next != out.read.load(std::memory_order_acquire)) {
            out.ring[w] = message;
            out.write.store(next, std::memory_order_release);
            sent = true;
        }
    }
    out.sending.fetch_sub(1);
    return sent;
}

bool OJackMidi::InProcessCallback() { return t_inProcess; }

int OJackMidi::Process(uint32_t frames, void* open) {
    OJackMidi* self = &Instance();
    if (reinterpret_cast<uintptr_t>(open) != self->m_opens.load())
        return 0;
    self->m_inCycle.fetch_add(1);
    self->m_cycles.fetch_add(1, std::memory_order_relaxed);
    // Every event keeps the frame it was played at: its offset in the
    // cycle, on the clock the audio is rendered against.
    const OJackDriver::CycleTime cycle(self->m_cycleClient.load());
    t_inProcess = true;
    for (Input& in : self->m_inputs) {
        jack_port_t* port = in.port.load();
        if (!port)
            continue;
        void* buffer = jack_port_get_buffer(port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event{};
            uint32_t message = 0;
            if (jack_midi_event_get(&event, buffer, i) == 0 && PackShortMessage(event.buffer, event.size, message))
                in.callback(in.user, message, static_cast<uint32_t>(cycle.At(event.time)));
        }
    }
    t_inProcess = false;
    for (Output& out : self->m_outputs) {
        if (jack_port_t* closing = out.closing.load())
            jack_midi_clear_buffer(jack_port_get_buffer(closing, frames));
        jack_port_t* port = out.port.load();
        if (!port)
            continue;
        void* buffer = jack_port_get_buffer(port, frames);
        jack_midi_clear_buffer(buffer);
        uint32_t r = out.read.load(std::memory_order_relaxed);
        const uint32_t w = out.write.load(std::memory_order_acquire);
        // At the cycle's start, in order; what the buffer has no room for
        // waits for the next cycle.
        for (; r != w; r = (r + 1) % kRingSize) {
            const uint32_t message = out.ring[r];
            const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                                      static_cast<uint8_t>(message >> 16)};
            if (jack_midi_event_write(buffer, 0, bytes, static_cast<size_t>(MidiMessageLength(bytes[0]))) != 0)
                break;
        }
        out.read.store(r, std::memory_order_release);
    }
    self->m_inCycle.fetch_sub(1);
    return 0;
}

} // namespace os
