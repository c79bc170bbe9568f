#include "os/OJackClient.h"

#include "os/OClock.h"
#include "os/ORtMidiPorts.h"
#include "os/OStop.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace os {

namespace {

// libjack reports a missing server on stderr; asking whether one answers is
// not an error worth a message.
std::atomic<int> g_quiet{0};

// Set when libjack could not start a thread of its process-wide state
// inside an open: it then frees that thread's object while the thread may
// still start, and a client of that open is never used.
std::atomic<bool> g_threadFailed{false};

// libjack also reports on its own threads, which it cancels at any
// instruction: no stdio (its stream lock), no allocation, one write.
void ReportJackError(const char* text) {
    // Said inside an open that came after the server went and before a
    // held client's notice: libjack freed every client of the process. Only
    // an open says it, on the thread of the guard it is made under.
    if (std::strstr(text, "clients are still allocated")) OJackClientLock::NoteClientsFreed();
    if (std::strstr(text, "cannot start thread")) g_threadFailed.store(true);
    // A client's notification thread, whose server closed its socket.
    if (std::strstr(text, "ClientChannel read fail")) OJackClientLock::NoteNotifierEnded();
    if (g_quiet.load(std::memory_order_relaxed) != 0) return;
    char prefix[] = "JACK: ", end[] = "\n";
    iovec parts[3] = {{prefix, 6}, {const_cast<char*>(text), std::strlen(text)}, {end, 1}};
    [[maybe_unused]] const ssize_t written = writev(STDERR_FILENO, parts, 3);
}

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

// Set while the process callback hands the inputs' messages on, and for
// the whole of a cycle that renders.
thread_local bool t_inProcess = false;
thread_local bool t_inRender = false;

std::string LocalName(const char* stem, int slot) {
    return slot == 0 ? std::string(stem) : std::string(stem) + "_" + std::to_string(slot + 1);
}

// A call that outlived its bound hands what it made over here: a client
// whose open came late (taken by the next look), ports registered late
// (unregistered then, with the open they belong to).
std::atomic<jack_client_t*> g_arrived{nullptr};
std::atomic<bool> g_opening{false};
struct LatePort {
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<uint32_t> open{0};
};
LatePort g_latePorts[16];

void KeepLatePort(jack_port_t* port, uint32_t open) {
    for (LatePort& late : g_latePorts) {
        jack_port_t* none = nullptr;
        if (late.port.compare_exchange_strong(none, port)) {
            late.open.store(open);
            return;
        }
    }
}

// The notices of opens whose server went: a client left open on a frozen
// server that then died is never touched again (libjack frees it).
std::atomic<uint32_t> g_goneOpens[8] = {};
std::atomic<uint32_t> g_nextGone{0};

bool OpenGone(uint32_t open) {
    for (const std::atomic<uint32_t>& gone : g_goneOpens)
        if (gone.load() == open) return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// The server

bool OJackClient::ServerStopped() {
    // libjack's registry of servers: a header, then eight places of a
    // process id and a name "jack-<uid>:<server>:".
    constexpr size_t kHeader = 24, kPlace = 264, kPlaces = 8, kNameSize = 257;
    const int fd = open("/dev/shm/jack-shm-registry", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char registry[kHeader + kPlace * kPlaces];
    const ssize_t got = pread(fd, registry, sizeof registry, 0);
    close(fd);
    if (got != static_cast<ssize_t>(sizeof registry) || std::memcmp(registry, "KCAJ", 4) != 0) return false;
    const char* server = std::getenv("JACK_DEFAULT_SERVER");
    const std::string name = "jack-" + std::to_string(getuid()) + ":" + (server && *server ? server : "default") + ":";
    for (size_t i = 0; i < kPlaces; ++i) {
        const char* place = registry + kHeader + i * kPlace;
        if (strnlen(place + 4, kNameSize) == kNameSize || name != place + 4) continue;
        int32_t pid = 0;
        std::memcpy(&pid, place, sizeof pid);
        char path[32], stat[512] = {};
        std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
        const int proc = pid > 0 ? open(path, O_RDONLY | O_CLOEXEC) : -1;
        if (proc < 0) return false;
        const ssize_t read = ::read(proc, stat, sizeof stat - 1);
        close(proc);
        // The state follows the command's closing parenthesis.
        const char* end = read > 0 ? std::strrchr(stat, ')') : nullptr;
        return end && end[1] == ' ' && (end[2] == 'T' || end[2] == 't');
    }
    return false;
}

int64_t OJackClient::SilentUs(jack_client_t* client) {
    // The times of a server that went are not there to read any more.
    OJackClient& self = Instance();
    if (client && client == self.m_cycleClient.load() && self.m_lost.load() != 0) return INT64_MAX;
    jack_nframes_t frames = 0;
    jack_time_t cycleStart = 0, nextStart = 0;
    float period = 0.0f;
    if (!client || jack_get_cycle_times(client, &frames, &cycleStart, &nextStart, &period) != 0) return 0;
    const jack_time_t now = jack_get_time();
    return now > cycleStart ? static_cast<int64_t>(now - cycleStart) : 0;
}

bool OJackClient::Call(const std::function<void()>& call, jack_client_t* watch) {
    struct State {
        std::mutex lock;
        std::condition_variable ended;
        int state = 0;  // 0 running, 1 returned, 2 left to end by itself
    };
    auto state = std::make_shared<State>();
    std::thread([call, state] {
        call();
        std::lock_guard<std::mutex> hold(state->lock);
        if (state->state == 2) s_callsLeft.fetch_sub(1);
        state->state = 1;
        state->ended.notify_all();
    }).detach();
    // A server that runs its cycles is at work on the call, however slowly
    // a loaded machine lets it; one whose cycles stopped is frozen.
    const bool stopping = StopRequested();
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(stopping ? kCallBoundStoppingMs : kCallBoundMs);
    const int64_t silence = stopping ? kServerSilenceStoppingUs : kCallSilenceUs;
    std::unique_lock<std::mutex> hold(state->lock);
    for (;;) {
        if (state->ended.wait_for(hold, std::chrono::milliseconds(10), [&] { return state->state == 1; }))
            return true;
        if (std::chrono::steady_clock::now() >= end || SilentUs(watch) >= silence || ServerStopped())
            break;
    }
    state->state = 2;
    s_callsLeft.fetch_add(1);
    return false;
}

jack_client_t* OJackClient::OpenClient(const char* name, bool quiet, jack_status_t* status) {
    jack_set_error_function(ReportJackError);
    jack_set_info_function(+[](const char*) {});
    OJackClientLock lock;
    if (OJackClientLock::HeldServerSilent() || s_callsLeft.load() != 0 || ServerStopped()) {
        if (status) *status = static_cast<jack_status_t>(JackFailure | JackServerFailed);
        return nullptr;
    }
    struct Result {
        jack_client_t* client = nullptr;
        jack_status_t status{};
        std::atomic<bool> late{false};
    };
    auto result = std::make_shared<Result>();
    if (quiet) g_quiet.fetch_add(1);
    const std::string own = name;
    const bool program = own == kClientName;
    const bool returned = Call([result, own, program] {
        g_threadFailed.store(false);
        jack_client_t* client = jack_client_open(own.c_str(), JackNoStartServer, &result->status);
        if (client && g_threadFailed.load()) {
            // The thread whose object libjack freed may still run into it;
            // the client is as good as no server, and goes at once.
            jack_client_close(client);
            client = nullptr;
            result->status = static_cast<jack_status_t>(result->status | JackFailure);
        }
        result->client = client;
        if (!result->late.exchange(true) || !client) return;
        // Nobody waits for it any more: the program's own client is taken
        // by its next look, a client opened for a question goes.
        if (program) {
            g_arrived.store(client);
            g_opening.store(false);
            s_tidy.store(true);
            NotePortsChanged();
        } else {
            OJackClientLock guard;
            jack_client_close(client);
        }
    });
    if (quiet) g_quiet.fetch_sub(1);
    if (!returned && !result->late.exchange(true)) {
        if (program) {
            g_opening.store(true);
            s_tidy.store(true);
        }
        if (status) *status = static_cast<jack_status_t>(JackFailure | JackServerFailed);
        return nullptr;
    }
    if (status) *status = result->status;
    return result->client;
}

void OJackClient::NotePortRegistration(uint32_t id, int, void*) {
    for (std::atomic<uint32_t>& place : s_portIds) {
        uint32_t free = 0;
        if (place.compare_exchange_strong(free, id + 1)) return;
    }
    s_portsChanged.store(true);
}

bool OJackClient::TakePortsChanged() {
    bool changed = s_portsChanged.exchange(false);
    for (std::atomic<uint32_t>& place : s_portIds)
        if (const uint32_t id = place.exchange(0); id != 0 && !changed)
            changed = !Instance().IsOwnPortId(id - 1);
    return changed;
}

bool OJackClient::Answers(jack_client_t* client) {
    // A call left running is still waiting on the server.
    if (s_callsLeft.load() != 0 || ServerStopped()) return false;
    // A stopping program waits less: whatever it leaves, its end clears.
    // Before the first cycle nothing tells of a silence.
    return SilentUs(client) < (StopRequested() ? kServerSilenceStoppingUs : kServerSilenceUs);
}

bool OJackClient::ServerAnswers() { return AskServer({}); }

bool OJackClient::AskServer(const std::function<void(jack_client_t*)>& ask) {
    // One guard from the open to the close: the client is not held, so no
    // other open of the process may come between.
    OJackClientLock lock;
    OJackClient& self = Instance();
    if (self.m_client) {
        if (!Answers(self.m_client)) return false;
        if (ask) ask(self.m_client);
        return true;
    }
    jack_client_t* client = OpenClient(kClientName, true);
    if (!client) return false;
    if (ask) ask(client);
    Call([client] { jack_client_close(client); });
    return true;
}

OJackClient::CycleTime::CycleTime(jack_client_t* client) {
    const uint32_t start = jack_last_frame_time(client);
    m_first = start;
    m_rate = std::max<int64_t>(jack_get_sample_rate(client), 1);
    const int64_t own = ClockCounter() / 1000;
    const jack_time_t server = jack_frames_to_time(client, start);
    // The server's estimate of the cycle's time on our clock; while its
    // frame timer does not run yet, the cycle is now.
    const int64_t estimate =
        server == 0 ? own : static_cast<int64_t>(server) + own - static_cast<int64_t>(jack_get_time());
    const int32_t offset = StampOffset();
    const int64_t stamp = estimate + offset;
    const uint64_t reference = s_frameClock.load(std::memory_order_relaxed);
    const auto frames = static_cast<int32_t>(start - static_cast<uint32_t>(reference >> 32));
    // The reference's time is kept in 32 bits: it is taken again on the same
    // line well before it is half an hour old, even at 22050 Hz. A frame
    // counter that went back or far ahead (another server, one that started
    // over) starts a new line where the stamps stand.
    if (reference == 0 || frames < 0 || frames >= (1 << 25)) {
        s_frameClock.store(static_cast<uint64_t>(start) << 32 | static_cast<uint32_t>(stamp), std::memory_order_relaxed);
        m_base = stamp;
        m_frames = 0;
        return;
    }
    m_base = stamp + static_cast<int32_t>(static_cast<uint32_t>(reference) - static_cast<uint32_t>(stamp));
    m_frames = frames;
    const int64_t line = At(0);
    // The offset follows where the line stands against our clock, smoothed
    // over about 64 cycles: the estimate jumps by a cycle at a late wakeup
    // and wanders by milliseconds on a loaded machine.
    const int64_t apart = std::clamp<int64_t>(line - estimate, INT32_MIN / 2, INT32_MAX / 2);
    SetStampOffset(static_cast<int32_t>(offset + (apart - offset) / 64));
    if (frames >= (1 << 22)) {
        s_frameClock.store(static_cast<uint64_t>(start) << 32 | static_cast<uint32_t>(line), std::memory_order_relaxed);
        m_base = line;
        m_frames = 0;
    }
}

// ---------------------------------------------------------------------------
// Port objects

class OJackClient::JackInput : public OMidiInput {
public:
    JackInput(int slot, uint64_t ticket, const std::string& source)
        : m_slot(slot), m_ticket(ticket), m_source(source) {}
    ~JackInput() override {
        OJackClientLock lock;
        OJackClient& client = Instance();
        Input& in = client.m_inputs[m_slot];
        if (in.owner.load() != m_ticket)
            return;  // let go of with its client
        in.owner.store(0);
        client.Unregister(in.port);
    }
    bool Connected() override { return Instance().Joined(m_slot, true, m_ticket, m_source); }

private:
    int m_slot;
    uint64_t m_ticket;
    std::string m_source;
};

class OJackClient::JackOutput : public OMidiOutput {
public:
    JackOutput(int slot, uint64_t ticket, const std::string& target)
        : m_slot(slot), m_ticket(ticket), m_target(target) {}
    ~JackOutput() override {
        OJackClientLock lock;
        OJackClient& client = Instance();
        Output& out = client.m_outputs[m_slot];
        if (out.owner.load() != m_ticket)
            return;
        out.owner.store(0);
        client.Unregister(out.port, Silence::kMidi);
    }
    bool Send(uint32_t message) override { return Instance().Send(m_slot, m_ticket, message); }
    bool SendsInCycle() const override { return true; }
    bool SendInCycle(uint32_t message, uint32_t frame) override {
        return Instance().SendInCycle(m_slot, m_ticket, message, frame);
    }
    bool Connected() override { return Instance().Joined(m_slot, false, m_ticket, m_target); }

private:
    int m_slot;
    uint64_t m_ticket;
    std::string m_target;
};

OJackClient& OJackClient::Instance() {
    // Never destroyed: a port object may outlive static destruction's turn,
    // and a client left open may call back at any time.
    static OJackClient* client = new OJackClient;
    return *client;
}

// ---------------------------------------------------------------------------
// MIDI

std::vector<std::string> OJackClient::List(unsigned long flags) {
    std::vector<std::string> names;
    OJackClientLock lock;
    if (!OpenClient() || !Answers(m_client))
        return names;
    UnregisterLeftPorts();
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    for (size_t i = 0; ports && ports[i]; ++i)
        if (!ORtMidiPorts::IsOwnPort(ports[i]))
            names.emplace_back(ports[i]);
    jack_free(ports);
    return names;
}

std::unique_ptr<OMidiInput> OJackClient::OpenInput(const std::string& name, int place, MidiInputCallback callback,
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

std::unique_ptr<OMidiOutput> OJackClient::OpenOutput(const std::string& name, std::string& error) {
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

bool OJackClient::IsOwnPortId(uint32_t id) {
    OJackClientLock lock;
    const jack_port_t* port = m_client ? jack_port_by_id(m_client, id) : nullptr;
    const char* name = port ? jack_port_name(port) : nullptr;
    return name && ORtMidiPorts::IsOwnPort(name);
}

bool OJackClient::Silent() const { return m_client && m_lost.load() == 0 && !Answers(m_client); }

bool OJackClient::InUse() const {
    auto joined = [](const auto& slot) { return slot.owner.load() != 0; };
    return m_audio.registered || std::any_of(std::begin(m_inputs), std::end(m_inputs), joined) ||
           std::any_of(std::begin(m_outputs), std::end(m_outputs), joined);
}

void OJackClient::Close() {
    OJackClientLock lock;
    if (!m_client || m_audio.registered)
        return;
    LetGo(false);
}

// Under a guard: held while there is a client, or one left open.
void OJackClient::UpdateHold() {
    OJackClientLock::Release(this);
    if (m_client || !m_forgotten.empty())
        OJackClientLock::Hold(this);
}

void OJackClient::Tidy() {
    // Every tick of the window: nothing to do is one look at a flag.
    if (!s_tidy.exchange(false))
        return;
    OJackClientLock lock;
    if (!m_client && g_arrived.load())
        OpenClient();
    CloseForgotten();
    if (m_client && Answers(m_client))
        UnregisterLeftPorts();
    bool late = false;
    for (const LatePort& port : g_latePorts)
        late = late || port.port.load() != nullptr;
    if (!m_forgotten.empty() || !m_unregisterLater.empty() || late || g_opening.load())
        s_tidy.store(true);
}

bool OJackClient::OpenClient() {
    if (m_client)
        return true;
    // A stopping program opens nothing more: the exit would wait for it.
    if (StopRequested())
        return false;
    CloseForgotten();
    jack_client_t* client = g_arrived.exchange(nullptr);
    // An open that outlasted its call is still waiting on the server.
    if (!client && !g_opening.load())
        client = OpenClient(kClientName, true);
    if (!client)
        return false;
    Adopt(client);
    return true;
}

void OJackClient::Adopt(jack_client_t* client) {
    m_client = client;
    m_active = false;
    m_inCycle.store(0);
    m_notifier.store(0);
    m_lost.store(0);
    const uint32_t open = m_opens.fetch_add(1) + 1;
    m_open.store(open);
    void* const cookie = reinterpret_cast<void*>(static_cast<uintptr_t>(open));
    // Set while the client is inactive, as libjack wants them.
    jack_on_info_shutdown(m_client, &OJackClient::OnShutdown, cookie);
    jack_set_port_registration_callback(m_client, &OJackClient::NotePortRegistration, cookie);
    m_cycleClient.store(m_client);
    jack_set_process_callback(m_client, &OJackClient::Process, cookie);
    UpdateHold();
}

void OJackClient::OnShutdown(jack_status_t, const char*, void* cookie) {
    const auto open = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cookie));
    OJackClient& self = Instance();
    g_goneOpens[g_nextGone.fetch_add(1) % std::size(g_goneOpens)].store(open);
    if (open == self.m_open.load()) {
        OJackClientLock::NoteNotifier(self.m_notifier);
        self.m_lost.store(open);
    }
    OJackClientLock::NoteServerGone();
    // The inputs of that server let go of what they held.
    NotePortsChanged();
}

// Only a client with a port joined, or the audio, runs: a listing never
// waits for the server's graph, which takes its time with a client that
// starts running.
bool OJackClient::Activate() {
    // A loaded machine can make the activation give up on a slow thread
    // start: it is tried again, unless the program is stopping.
    for (int attempt = 0; attempt < 3 && !m_active; ++attempt) {
        if (StopRequested() || !Answers(m_client))
            return false;
        auto active = std::make_shared<std::atomic<bool>>(false);
        if (!Call([client = m_client, active] { active->store(jack_activate(client) == 0); }, m_client))
            return false;  // it may end active; a later try finds it so
        m_active = active->load();
    }
    return m_active;
}

// Under a guard, the server answering.
jack_port_t* OJackClient::Register(const char* name, const char* type, unsigned long flags) {
    auto port = std::make_shared<std::atomic<jack_port_t*>>(nullptr);
    auto late = std::make_shared<std::atomic<bool>>(false);
    const uint32_t open = m_open.load();
    const std::string own = name, kind = type;
    const bool returned = Call([client = m_client, own, kind, flags, port, late, open] {
        jack_port_t* made = jack_port_register(client, own.c_str(), kind.c_str(), flags, 0);
        port->store(made);
        // Made after its caller gave up: it goes at the next look.
        if (late->exchange(true) && made) {
            KeepLatePort(made, open);
            s_tidy.store(true);
        }
    }, m_client);
    if (!returned && !late->exchange(true)) {
        s_tidy.store(true);
        return nullptr;
    }
    return port->load();
}

jack_port_t* OJackClient::Join(const std::string& name, bool input, const std::string& local, std::string& error) {
    const jack_port_t* other = ORtMidiPorts::IsOwnPort(name) ? nullptr : jack_port_by_name(m_client, name.c_str());
    const int direction = input ? JackPortIsOutput : JackPortIsInput;
    if (!other || (jack_port_flags(other) & direction) == 0 ||
        std::strcmp(jack_port_type(other), JACK_DEFAULT_MIDI_TYPE) != 0)
        return nullptr;  // error keeps its "no MIDI ... named"
    if (!Activate()) {
        error = Answers(m_client) ? "no JACK client could be made for the port \"" + name + "\""
                                  : "the JACK server does not answer";
        return nullptr;
    }
    jack_port_t* own = Register(local.c_str(), JACK_DEFAULT_MIDI_TYPE, input ? JackPortIsInput : JackPortIsOutput);
    if (!own) {
        error = Answers(m_client) ? "no JACK port could be made for \"" + name + "\"" : "the JACK server does not answer";
        return nullptr;
    }
    auto joined = std::make_shared<std::atomic<int>>(-1);
    const std::string ownName = jack_port_name(own);
    Call([client = m_client, joined, input, name, ownName] {
        joined->store(input ? jack_connect(client, name.c_str(), ownName.c_str())
                            : jack_connect(client, ownName.c_str(), name.c_str()));
    }, m_client);
    if (joined->load() != 0 && joined->load() != EEXIST) {
        m_unregisterLater.push_back(own);
        UnregisterLeftPorts();
        error = "the JACK port \"" + name + "\" could not be joined";
        return nullptr;
    }
    return own;
}

// Under a guard, the port's owner cleared. JACK does not clear an output's
// buffer: until the server has taken the unregistration (which waits for a
// frozen server to go on) it plays what the port's last cycle wrote, again
// every cycle, a sound or the same events over and over. So an output goes
// through the silenced places, which every cycle clears.
void OJackClient::Unregister(std::atomic<jack_port_t*>& port, Silence silence) {
    jack_port_t* gone = port.load();
    if (!gone)
        return;
    if (silence != Silence::kNone)
        for (Silenced& place : m_silenced) {
            jack_port_t* free = nullptr;
            if (place.port.load() == nullptr) {
                place.audio.store(silence == Silence::kAudio);
                if (place.port.compare_exchange_strong(free, gone))
                    break;
            }
        }
    // Sequentially consistent with the cycle's count: either a cycle sees
    // the port gone, or this thread sees the cycle and lets it end first.
    port.store(nullptr);
    WaitForCycle();
    m_unregisterLater.push_back(gone);
    UnregisterLeftPorts();
}

// Under a guard: the ports that left while the server did not answer, and
// those a call made after its caller gave up on it. A frozen server would
// keep the window waiting: they wait for it to answer again.
void OJackClient::UnregisterLeftPorts() {
    for (LatePort& late : g_latePorts) {
        jack_port_t* port = late.port.load();
        if (!port)
            continue;
        if (late.open.load() == m_open.load() && m_client)
            m_unregisterLater.push_back(port);
        late.port.store(nullptr);
    }
    if (m_unregisterLater.empty())
        return;
    s_tidy.store(true);
    // A cycle clears the silenced ports before they go; a client that is
    // not active plays nothing.
    if (!m_client || !Answers(m_client) || (m_active && !WaitForCycles(1)))
        return;
    for (jack_port_t* port : m_unregisterLater)
        for (Silenced& place : m_silenced)
            if (place.port.load() == port)
                place.port.store(nullptr);
    WaitForCycle();
    while (!m_unregisterLater.empty() && Answers(m_client)) {
        jack_port_t* port = m_unregisterLater.back();
        m_unregisterLater.pop_back();
        Call([client = m_client, port] { jack_port_unregister(client, port); }, m_client);
    }
}

// Under a guard: a client left open on a frozen server closes once its
// server answers again; one whose server went is libjack's to free.
void OJackClient::CloseForgotten() {
    const size_t before = m_forgotten.size();
    std::erase_if(m_forgotten, [](const Forgotten& left) {
        if (OpenGone(left.open))
            return true;
        if (!Answers(left.client))
            return false;
        Call([client = left.client] { jack_client_close(client); });
        return true;
    });
    if (m_forgotten.size() != before)
        UpdateHold();
}

// Under a guard, the client open: whether its server answers, else why not.
bool OJackClient::Answering(std::string& error) {
    if (Answers(m_client)) {
        UnregisterLeftPorts();
        return true;
    }
    error = "the JACK server does not answer";
    return false;
}

// Any thread: whether the port object of that ticket still owns its slot
// and its port is joined to other now.
bool OJackClient::Joined(int slot, bool input, uint64_t ticket, const std::string& other) const {
    const std::atomic<uint64_t>& owner = input ? m_inputs[slot].owner : m_outputs[slot].owner;
    if (owner.load() != ticket)
        return false;
    OJackClientLock lock;
    jack_port_t* port = input ? m_inputs[slot].port.load() : m_outputs[slot].port.load();
    return owner.load() == ticket && port && jack_port_connected_to(port, other.c_str());
}

void OJackClient::LetGraphSettle() const {
    auto joined = [](const auto& slot) { return slot.owner.load() != 0; };
    if (std::any_of(std::begin(m_inputs), std::end(m_inputs), joined) ||
        std::any_of(std::begin(m_outputs), std::end(m_outputs), joined))
        WaitForCycles(2);
}

// Until count cycles began since the call and none is in progress; false
// when the client's cycles do not come (nothing joined runs them, the
// graph stalls, the server went) or the program stops.
bool OJackClient::WaitForCycles(uint32_t count) const {
    const uint32_t start = m_cycles.load();
    const auto end = std::chrono::steady_clock::now() + kLongestCycleWait;
    while (m_cycles.load() - start < count || m_inCycle.load() != 0) {
        if (std::chrono::steady_clock::now() >= end || StopRequested() || OJackClientLock::ServerGone())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void OJackClient::WaitForCycle() const {
    while (m_inCycle.load() != 0)
        std::this_thread::yield();
}

void OJackClient::LetGo(bool freed) {
    if (!m_client) {
        // Only clients left open are held: libjack freed them, or their
        // server went and it will.
        if (freed)
            m_forgotten.clear();
        CloseForgotten();
        UpdateHold();
        return;
    }
    // A cycle of this open from now on touches nothing.
    const uint32_t open = m_open.exchange(0);
    s_rendering.store(false);
    m_audio.running.store(false);
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
    for (std::atomic<jack_port_t*>& port : m_audio.ports)
        port.store(nullptr);
    // A thread that libjack ended already is not waited for.
    if (freed) {
        m_forgotten.clear();
    } else {
        if (closing)
            WaitForCycles(1);
        for (Output& out : m_outputs)
            out.closing.store(nullptr);
        WaitForCycle();
        // Else left open: closed once its server answers again, or freed by
        // libjack with the next open once its server went.
        // A client's times go with its close: a close is watched only by
        // whether the server stopped.
        const bool closed = OJackClientLock::MayClose(m_client, m_notifier) &&
                            Call([client = m_client] { jack_client_close(client); });
        if (!closed && m_lost.load() == 0)
            m_forgotten.push_back({m_client, open});
    }
    m_client = nullptr;
    m_cycleClient.store(nullptr);
    m_active = false;
    m_audio.registered = false;
    m_audio.infos = nullptr;
    m_audio.count = 0;
    m_audio.callbacks = ODriverCallbacks{};
    m_unregisterLater.clear();
    for (Silenced& place : m_silenced)
        place.port.store(nullptr);
    if (!m_forgotten.empty())
        s_tidy.store(true);
    UpdateHold();
}

// ---------------------------------------------------------------------------
// Sending

// Any thread but the process cycle's; one sender per output. A full ring
// (nothing drains it: the server went, stalls, or passes this client over)
// drops the message instead of waiting for room.
bool OJackClient::Send(int slot, uint64_t owner, uint32_t message) {
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

// Process thread, in a cycle that renders: straight into the port's buffer
// of this cycle, in frame order.
bool OJackClient::SendInCycle(int slot, uint64_t owner, uint32_t message, uint32_t frame) {
    Output& out = m_outputs[slot];
    const int length = MidiMessageLength(static_cast<uint8_t>(message));
    if (!t_inRender || length == 0 || !out.buffer || out.owner.load() != owner)
        return false;
    const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                              static_cast<uint8_t>(message >> 16)};
    out.lastFrame = std::max(out.lastFrame, frame);
    return jack_midi_event_write(out.buffer, out.lastFrame, bytes, static_cast<size_t>(length)) == 0;
}

bool OJackClient::InProcessCallback() { return t_inProcess; }
bool OJackClient::InRenderCycle() { return t_inRender; }

// ---------------------------------------------------------------------------
// Audio

uint32_t OJackClient::OpenForAudio(std::string& error) {
    OJackClientLock lock;
    if (!OpenClient() || !Answers(m_client)) {
        error = "No JACK server";
        return 0;
    }
    UnregisterLeftPorts();
    return m_open.load();
}

bool OJackClient::IsGone(uint32_t open) const {
    return open == 0 || m_open.load() != open || m_lost.load() == open;
}

jack_client_t* OJackClient::ClientOf(uint32_t open) const { return IsGone(open) ? nullptr : m_client; }

int32_t OJackClient::RegisterAudio(uint32_t open, ODriverBufferInfo* infos, int32_t count,
                                   const ODriverCallbacks& callbacks) {
    OJackClientLock lock;
    if (IsGone(open)) return kDriverNotPresent;
    if (m_audio.running.load() || m_audio.infos) return kDriverInvalidMode;
    if (!Answers(m_client)) return kDriverMalfunction;
    UnregisterLeftPorts();
    for (int32_t i = 0; i < count; ++i) {
        std::atomic<jack_port_t*>& port = m_audio.ports[infos[i].channel];
        if (port.load()) continue;
        char name[16];
        std::snprintf(name, sizeof name, "out_%d", int(infos[i].channel) + 1);
        port.store(Register(name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput));
        m_audio.registered = true;
        if (!port.load()) {
            DisposeAudio(open);
            return kDriverMalfunction;
        }
    }
    m_audio.infos = infos;
    m_audio.count = count;
    m_audio.callbacks = callbacks;
    return kDriverOK;
}

int32_t OJackClient::StartAudio(uint32_t open) {
    OJackClientLock lock;
    if (IsGone(open)) return kDriverNotPresent;
    if (!m_audio.infos) return kDriverInvalidMode;
    if (m_audio.running.load()) return kDriverOK;
    // The render is in place before a cycle can see it running.
    m_audio.running.store(true);
    s_rendering.store(true);
    if (!Activate()) {
        m_audio.running.store(false);
        s_rendering.store(false);
        return kDriverMalfunction;
    }
    // Our own ports never show as physical, so the output is never joined
    // back to this program.
    if (const char** playbacks =
            jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)) {
        std::vector<std::pair<std::string, std::string>> joins;
        for (int i = 0; i < kAudioOutputs && playbacks[i]; ++i)
            if (jack_port_t* port = m_audio.ports[i].load()) joins.emplace_back(jack_port_name(port), playbacks[i]);
        jack_free(playbacks);
        Call([client = m_client, joins] {
            for (const auto& [from, to] : joins) jack_connect(client, from.c_str(), to.c_str());
        }, m_client);
    }
    return kDriverOK;
}

void OJackClient::StopAudio(uint32_t open) {
    if (IsGone(open)) return;
    // Sequentially consistent with the cycle's count: either a cycle sees
    // the stop, or this thread sees the cycle and waits for it. The client
    // stays active: its cycles go on for the MIDI ports and write silence.
    m_audio.running.store(false);
    s_rendering.store(false);
    WaitForCycle();
}

void OJackClient::DisposeAudio(uint32_t open) {
    OJackClientLock lock;
    if (IsGone(open)) return;
    StopAudio(open);
    for (std::atomic<jack_port_t*>& port : m_audio.ports)
        Unregister(port, Silence::kAudio);
    m_audio.infos = nullptr;
    m_audio.count = 0;
    m_audio.callbacks = ODriverCallbacks{};
    m_audio.registered = false;
}

// ---------------------------------------------------------------------------
// The cycle

int OJackClient::Process(uint32_t frames, void* cookie) {
    OJackClient* self = &Instance();
    if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cookie)) != self->m_open.load())
        return 0;
    // Counted before anything of the open is read: once a waiter saw no
    // cycle inside, what it took away stays away.
    self->m_inCycle.fetch_add(1);
    self->m_cycles.fetch_add(1, std::memory_order_relaxed);
    if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cookie)) != self->m_open.load()) {
        self->m_inCycle.fetch_sub(1);
        return 0;
    }
    jack_client_t* client = self->m_cycleClient.load();
    // Every event keeps the frame it was played at: its offset in the
    // cycle, on the clock the audio is rendered against.
    self->m_cycleTime = CycleTime(client);
    const CycleTime& cycle = self->m_cycleTime;
    Audio& audio = self->m_audio;
    const bool render = audio.running.load();
    for (Silenced& place : self->m_silenced)
        if (jack_port_t* port = place.port.load()) {
            void* buffer = jack_port_get_buffer(port, frames);
            if (place.audio.load())
                std::memset(buffer, 0, sizeof(float) * frames);
            else
                jack_midi_clear_buffer(buffer);
        }
    // Output buffers are cleared first: the render writes into them.
    for (Output& out : self->m_outputs) {
        out.buffer = nullptr;
        if (jack_port_t* closing = out.closing.load())
            jack_midi_clear_buffer(jack_port_get_buffer(closing, frames));
        jack_port_t* port = out.port.load();
        if (!port)
            continue;
        out.buffer = jack_port_get_buffer(port, frames);
        out.lastFrame = 0;
        jack_midi_clear_buffer(out.buffer);
        uint32_t r = out.read.load(std::memory_order_relaxed);
        const uint32_t w = out.write.load(std::memory_order_acquire);
        // At the cycle's start, in order; what the buffer has no room for
        // waits for the next cycle.
        for (; r != w; r = (r + 1) % kRingSize) {
            const uint32_t message = out.ring[r];
            const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                                      static_cast<uint8_t>(message >> 16)};
            if (jack_midi_event_write(out.buffer, 0, bytes, static_cast<size_t>(MidiMessageLength(bytes[0]))) != 0)
                break;
        }
        out.read.store(r, std::memory_order_release);
    }
    // The inputs: with the render to follow, each event is rendered in this
    // cycle at its frame; else it keeps its time for a render elsewhere.
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
                in.callback(in.user, message, static_cast<uint32_t>(cycle.At(event.time)),
                            render ? static_cast<int32_t>(std::min(event.time, frames - 1)) : kNotInCycle);
        }
    }
    t_inProcess = false;
    if (render) {
        // A port's buffer is only known for the cycle: handed over as
        // buffer 0.
        for (int32_t i = 0; i < audio.count; ++i) {
            ODriverBufferInfo& info = audio.infos[i];
            jack_port_t* port = audio.ports[info.channel].load();
            info.buffers[0] = port ? jack_port_get_buffer(port, frames) : nullptr;
            info.buffers[1] = info.buffers[0];
        }
        t_inRender = true;
        audio.callbacks.bufferSwitch(0, static_cast<int32_t>(frames), true);
        t_inRender = false;
    } else {
        for (std::atomic<jack_port_t*>& port : audio.ports)
            if (jack_port_t* p = port.load()) std::memset(jack_port_get_buffer(p, frames), 0, sizeof(float) * frames);
    }
    for (Output& out : self->m_outputs)
        out.buffer = nullptr;
    self->m_inCycle.fetch_sub(1);
    return 0;
}

} // namespace os
