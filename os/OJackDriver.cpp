#include "os/OJackDriver.h"

#include "os/OClock.h"
#include "os/OJackClientLock.h"
#include "os/OJackMidi.h"
#include "os/OStop.h"

#include <jack/jack.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
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

bool CloseClient(jack_client_t* client) {
    OJackClientLock lock;
    return OJackDriver::Call([client] { jack_client_close(client); });
}

} // namespace

OJackDriver::~OJackDriver() { Exit(); }

jack_client_t* OJackDriver::OpenClient(const char* name, bool quiet, jack_status_t* status) {
    jack_set_error_function(ReportJackError);
    jack_set_info_function(+[](const char*) {});
    OJackClientLock lock;
    if (OJackClientLock::HeldServerSilent()) {
        if (status) *status = static_cast<jack_status_t>(JackFailure | JackServerFailed);
        return nullptr;
    }
    if (quiet) g_quiet.fetch_add(1);
    g_threadFailed.store(false);
    jack_client_t* client = jack_client_open(name, JackNoStartServer, status);
    if (client && g_threadFailed.load()) {
        // The thread whose object libjack freed may still run into it; the
        // client is as good as no server, and goes at once.
        jack_client_close(client);
        client = nullptr;
        if (status) *status = static_cast<jack_status_t>(*status | JackFailure);
    }
    if (quiet) g_quiet.fetch_sub(1);
    return client;
}

void OJackDriver::NotePortRegistration(uint32_t id, int, void*) {
    for (std::atomic<uint32_t>& place : s_portIds) {
        uint32_t free = 0;
        if (place.compare_exchange_strong(free, id + 1)) return;
    }
    s_portsChanged.store(true);
}

bool OJackDriver::TakePortsChanged() {
    bool changed = s_portsChanged.exchange(false);
    for (std::atomic<uint32_t>& place : s_portIds)
        if (const uint32_t id = place.exchange(0); id != 0 && !changed)
            changed = !OJackMidi::Instance().IsOwnPortId(id - 1);
    return changed;
}

bool OJackDriver::Answers(jack_client_t* client) {
    jack_nframes_t frames = 0;
    jack_time_t cycleStart = 0, nextStart = 0;
    float period = 0.0f;
    // A call left to the process's end is still waiting on the server.
    if (s_callsLeft.load() != 0) return false;
    // No cycle ran yet: nothing tells of a silence.
    if (!client || jack_get_cycle_times(client, &frames, &cycleStart, &nextStart, &period) != 0) return true;
    // A stopping program waits less: whatever it leaves, its end clears.
    const int64_t silence = StopRequested() ? kServerSilenceStoppingUs : kServerSilenceUs;
    const jack_time_t now = jack_get_time();
    return now < cycleStart || now - cycleStart < static_cast<jack_time_t>(silence);
}

bool OJackDriver::Call(const std::function<void()>& call) {
    if (!StopRequested()) {
        call();
        return true;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    s_callsLeft.fetch_add(1);
    std::thread([call, done] {
        call();
        done->store(true);
        s_callsLeft.fetch_sub(1);
    }).detach();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCallBoundStoppingMs);
    while (!done->load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done->load();
}

bool OJackDriver::ServerAnswers() { return AskServer({}); }

bool OJackDriver::AskServer(const std::function<void(jack_client_t*)>& ask) {
    // One guard from the open to the close: the client is not held, so no
    // other open of the process may come between.
    OJackClientLock lock;
    jack_client_t* client = OpenClient(kClientName, true);
    if (!client) return false;
    if (ask) ask(client);
    jack_client_close(client);
    return true;
}

bool OJackDriver::Init(char* name32, char* errorText124) {
    OJackClientLock lock;
    if (m_client) return true;
    jack_status_t status{};
    m_client = OpenClient(kClientName, false, &status);
    if (!m_client) {
        if (errorText124) std::snprintf(errorText124, 124, "No JACK server (status 0x%x)", unsigned(status));
        return false;
    }
    m_lost.store(false, std::memory_order_release);
    m_notifier.store(0);
    // A server that goes away says so on a thread of its own: only a flag is
    // set there, the GUI thread closes the driver and plays elsewhere.
    jack_on_info_shutdown(
        m_client,
        [](jack_status_t, const char*, void* user) {
            auto* self = static_cast<OJackDriver*>(user);
            OJackClientLock::NoteNotifier(self->m_notifier);
            self->m_lost.store(true, std::memory_order_release);
            OJackClientLock::NoteServerGone();
        },
        this);
    OJackClientLock::Hold(this);
    // Ports made or removed elsewhere (not the program's own MIDI ports,
    // which every join of an input registers): only their ids are kept.
    jack_set_port_registration_callback(m_client, &OJackDriver::NotePortRegistration, m_client);
    m_cell = new Cell{this};
    if (jack_set_process_callback(m_client, &OJackDriver::Process, m_cell) != 0) {
        if (errorText124) std::snprintf(errorText124, 124, "JACK refused the process callback");
        OJackClientLock::Release(this);
        CloseOrForget(Answers(m_client));
        return false;
    }
    if (name32) std::snprintf(name32, 32, "%s", kName);
    return true;
}

void OJackDriver::Exit() {
    // The guard lets go of the client first when its server went.
    OJackClientLock lock;
    if (!m_client) return;
    Stop();
    DisposeBuffers();
    // Guards inside an outer one let go of nothing, but libjack's own
    // report (inside an open) may have freed the client meanwhile.
    if (!m_client) return;
    OJackClientLock::Release(this);
    CloseOrForget(Answers(m_client));
    std::memset(m_ports, 0, sizeof m_ports);
}

void OJackDriver::CloseOrForget(bool mayClose) {
    if (mayClose && CloseClient(m_client)) {
        delete m_cell;
    } else {
        // Left open, or its close left to the process's end: a cycle the
        // server may still run finds no driver in the cell, which stays.
        // The cycle in progress, if any, ends without the server.
        m_cell->driver.store(nullptr);
        if (m_active) WaitForCycle();
    }
    m_cell = nullptr;
    m_client = nullptr;
}

void OJackDriver::LetGo(bool freed) {
    m_lost.store(true, std::memory_order_release);
    m_running.store(false);
    // A thread libjack ended already, or one a deactivation cancelled
    // (the driver stopped), may have left a count: only cycles of an active
    // client are waited for.
    if (freed) {
        delete m_cell;
        m_cell = nullptr;
        m_client = nullptr;
    } else {
        if (m_active) WaitForCycle();
        // A client forgotten is freed by libjack with the next open.
        CloseOrForget(OJackClientLock::MayClose(m_client, m_notifier));
    }
    m_active = false;
    std::memset(m_ports, 0, sizeof m_ports);
    m_infos = nullptr;
    m_infoCount = 0;
    m_callbacks = ODriverCallbacks{};
}

void OJackDriver::WaitForCycle() const {
    while (m_cell && m_cell->inCallback.load() != 0) std::this_thread::yield();
}

int32_t OJackDriver::Start() {
    OJackClientLock lock;
    if (!m_client) return kDriverNotPresent;
    if (!m_infos) return kDriverInvalidMode;
    if (m_active) return kDriverOK;
    // A thread cancelled by an earlier deactivation may have left a count.
    m_cell->inCallback.store(0);
    m_running.store(true, std::memory_order_release);
    if (jack_activate(m_client) != 0) {
        m_running.store(false, std::memory_order_release);
        return kDriverMalfunction;
    }
    m_active = true;
    // Our own ports never show as physical, so the output is never joined
    // back to this program.
    if (const char** playbacks =
            jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < kOutputs && playbacks[i]; ++i)
            if (m_ports[i]) jack_connect(m_client, jack_port_name(m_ports[i]), playbacks[i]);
        jack_free(playbacks);
    }
    return kDriverOK;
}

int32_t OJackDriver::Stop() {
    if (!m_client) return kDriverNotPresent;
    if (!m_active) return kDriverOK;
    // Sequentially consistent with the cycle's count: either a cycle sees
    // the stop, or this thread sees the cycle and waits for it.
    m_running.store(false);
    // Deactivation cancels the process thread wherever it is, also in the
    // middle of a cycle: the cycle in progress leaves the host first, and
    // the ones after it see the stop and touch nothing of the host's.
    WaitForCycle();
    {
        // A server that is gone answers nothing and runs no more cycles;
        // the guard may have let go of its client. A frozen one would keep
        // the window waiting: its client stays active, its cycles silent.
        OJackClientLock lock;
        if (m_client && !IsLost() && Answers(m_client)) Call([client = m_client] { jack_deactivate(client); });
    }
    m_active = false;
    return kDriverOK;
}

int32_t OJackDriver::GetChannels(int32_t& inputs, int32_t& outputs) {
    if (!m_client) return kDriverNotPresent;
    inputs = 0;
    outputs = kOutputs;
    return kDriverOK;
}

int32_t OJackDriver::GetLatencies(int32_t& input, int32_t& output) {
    if (!m_client) return kDriverNotPresent;
    input = 0;
    output = static_cast<int32_t>(jack_get_buffer_size(m_client));
    if (m_ports[0]) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(m_ports[0], JackPlaybackLatency, &range);
        output += static_cast<int32_t>(range.max);
    }
    return kDriverOK;
}

int32_t OJackDriver::GetBufferSize(int32_t& minimum, int32_t& maximum, int32_t& preferred,
                                   int32_t& granularity) {
    if (!m_client) return kDriverNotPresent;
    // The server decides; each cycle brings its own frame count anyway.
    minimum = maximum = preferred = static_cast<int32_t>(jack_get_buffer_size(m_client));
    granularity = 0;
    return kDriverOK;
}

int32_t OJackDriver::GetSampleRate(double& rate) {
    if (!m_client) return kDriverNotPresent;
    rate = jack_get_sample_rate(m_client);
    return kDriverOK;
}

int32_t OJackDriver::SetSampleRate(double rate) {
    if (!m_client) return kDriverNotPresent;
    // A client cannot change the server's rate: only that rate is accepted.
    return rate == static_cast<double>(jack_get_sample_rate(m_client)) ? kDriverOK : kDriverNoClock;
}

// Process thread: the cycle's first frame and the time it falls at, which
// MIDI events played in the same cycle are measured against.
int32_t OJackDriver::GetSamplePosition(int64_t& position, int64_t& systemTimeNs) {
    if (!m_client) return kDriverNotPresent;
    const CycleTime cycle(m_client);
    position = jack_last_frame_time(m_client);
    systemTimeNs = cycle.At(0) * 1000;
    return kDriverOK;
}

OJackDriver::CycleTime::CycleTime(jack_client_t* client) {
    const uint32_t start = jack_last_frame_time(client);
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

int32_t OJackDriver::GetChannelInfo(ODriverChannelInfo& info) {
    if (!m_client) return kDriverNotPresent;
    if (info.isInput || info.channel < 0 || info.channel >= kOutputs) return kDriverInvalidParameter;
    info.type = kSampleFloat32LSB;
    std::snprintf(info.name, sizeof info.name, "out_%d", int(info.channel) + 1);
    return kDriverOK;
}

int32_t OJackDriver::CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t /*frames*/,
                                   const ODriverCallbacks& callbacks) {
    OJackClientLock lock;
    if (!m_client) return kDriverNotPresent;
    if (m_active || m_infos) return kDriverInvalidMode;
    if (!infos || count <= 0 || !callbacks.bufferSwitch) return kDriverInvalidParameter;
    for (int32_t i = 0; i < count; ++i)
        if (infos[i].isInput || infos[i].channel < 0 || infos[i].channel >= kOutputs)
            return kDriverInvalidParameter;
    for (int32_t i = 0; i < count; ++i) {
        jack_port_t*& port = m_ports[infos[i].channel];
        if (port) continue;
        char name[16];
        std::snprintf(name, sizeof name, "out_%d", int(infos[i].channel) + 1);
        port = jack_port_register(m_client, name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!port) {
            DisposeBuffers();
            return kDriverMalfunction;
        }
    }
    m_infos = infos;
    m_infoCount = count;
    m_callbacks = callbacks;
    return kDriverOK;
}

int32_t OJackDriver::DisposeBuffers() {
    OJackClientLock lock;
    if (!m_client) return kDriverNotPresent;
    if (m_active) Stop();
    for (jack_port_t*& port : m_ports) {
        // The ports of a server that is gone or frozen go with the client.
        if (port && !IsLost() && Answers(m_client))
            Call([client = m_client, port] { jack_port_unregister(client, port); });
        port = nullptr;
    }
    m_infos = nullptr;
    m_infoCount = 0;
    m_callbacks = ODriverCallbacks{};
    return kDriverOK;
}

int32_t OJackDriver::ControlPanel() {
    // The server's settings belong to the server's own tools.
    return m_client ? kDriverOK : kDriverNotPresent;
}

int32_t OJackDriver::OutputReady() { return kDriverNotPresent; }

int OJackDriver::Process(uint32_t frames, void* user) {
    Cell* cell = static_cast<Cell*>(user);
    cell->inCallback.fetch_add(1);
    OJackDriver* self = cell->driver.load();
    if (!self) {
        cell->inCallback.fetch_sub(1);
        return 0;
    }
    if (!self->m_running.load()) {
        // Still counted while it reads the ports: once Stop saw no cycle
        // inside, the ports may go.
        for (jack_port_t* port : self->m_ports)
            if (port) std::memset(jack_port_get_buffer(port, frames), 0, sizeof(float) * frames);
        cell->inCallback.fetch_sub(1);
        return 0;
    }
    // A port's buffer is only known for the cycle: hand it over as buffer 0.
    for (int32_t i = 0; i < self->m_infoCount; ++i) {
        ODriverBufferInfo& info = self->m_infos[i];
        info.buffers[0] = jack_port_get_buffer(self->m_ports[info.channel], frames);
        info.buffers[1] = info.buffers[0];
    }
    self->m_callbacks.bufferSwitch(0, static_cast<int32_t>(frames), true);
    cell->inCallback.fetch_sub(1);
    return 0;
}

} // namespace os
