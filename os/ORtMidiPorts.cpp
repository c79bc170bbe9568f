#include "os/ORtMidiPorts.h"

#include "os/OJackClientLock.h"
#include "os/OJackDriver.h"
#include "os/OStop.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string_view>
#include <thread>
#include <type_traits>

namespace os {

int MidiMessageLength(uint8_t status) {
    if (status < 0x80)
        return 0;
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF0: // system exclusive is not handled
    case 0xF4:
    case 0xF5:
    case 0xF7:
        return 0;
    default: // tune request and the real-time bytes, MIDI clock among them
        return 1;
    }
}

namespace {

// The ALSA sequencer first: it is what desktop keyboards show up on.
constexpr RtMidi::Api kApis[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};

// Each API is asked only when it can answer. Without the sequencer device
// ALSA and RtMidi would both print their failure on every listing; without a
// JACK server RtMidi's JACK output also loses a buffer on every listing.
bool Available(RtMidi::Api api) {
    if (api == RtMidi::LINUX_ALSA)
        return access("/dev/snd/seq", R_OK | W_OK) == 0;
    // Asked the audio driver's quiet way: a missing server is no error here.
    return OJackDriver::ServerAnswers();
}

// With an error callback in place RtMidi reports instead of throwing or
// printing; the port keeps the last report to answer from it.
struct ErrorSink {
    bool failed = false;
    std::string text;
    static void Report(RtMidiError::Type type, const std::string& message, void* user) {
        auto* self = static_cast<ErrorSink*>(user);
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) {
            // A full JACK buffer is only a warning, but the message is lost.
            if (message.find("full") == std::string::npos)
                return;
        }
        self->failed = true;
        self->text = message;
    }
};

// RtMidi's own listing of JACK ports activates a client and deactivates it
// again: a server whose graph waits on a client that never runs keeps each
// of those half a second. A client that is never activated lists the same
// ports, in the server's order, as RtMidi names them.
std::vector<std::string> JackPorts(unsigned long direction) {
    std::vector<std::string> names;
    OJackDriver::AskServer([&](jack_client_t* client) {
        const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, direction);
        for (size_t i = 0; ports && ports[i]; ++i)
            if (!ORtMidiPorts::IsOwnPort(ports[i]))
                names.emplace_back(ports[i]);
        jack_free(ports);
    });
    return names;
}

template <class Rt>
std::vector<std::string> ListPorts() {
    std::vector<std::string> names;
    // A stopping program opens nothing more: the exit would wait for it.
    if (StopRequested())
        return names;
    for (RtMidi::Api api : kApis) {
        if (api == RtMidi::UNIX_JACK) {
            for (std::string& name : JackPorts(std::is_same_v<Rt, RtMidiIn> ? JackPortIsOutput : JackPortIsInput))
                names.push_back(std::move(name));
            continue;
        }
        if (!Available(api))
            continue;
        try {
            Rt rt(api, ORtMidiPorts::kClientName);
            ErrorSink sink;
            rt.setErrorCallback(&ErrorSink::Report, &sink);
            const unsigned count = rt.getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                std::string name = rt.getPortName(i);
                if (!name.empty() && !ORtMidiPorts::IsOwnPort(name))
                    names.push_back(std::move(name));
            }
        } catch (const RtMidiError&) {
            // This API is not there (no sequencer device): it adds no ports.
        }
    }
    return names;
}

template <class Rt>
bool FindPort(Rt& rt, const std::string& name, unsigned& index) {
    const unsigned count = rt.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (rt.getPortName(i) == name) {
            index = i;
            return true;
        }
    return false;
}

// The program's own ports joined to the JACK port of that name, asked
// through one of the program's clients.
std::vector<std::string> OwnLinks(jack_client_t* client, const std::string& name) {
    std::vector<std::string> own;
    jack_port_t* port = client ? jack_port_by_name(client, name.c_str()) : nullptr;
    if (!port)
        return own;
    const char** links = jack_port_get_all_connections(client, port);
    for (size_t i = 0; links && links[i]; ++i)
        if (ORtMidiPorts::IsOwnPort(links[i]))
            own.emplace_back(links[i]);
    jack_free(links);
    return own;
}

// RtMidi keeps the JACK client of a port to itself and gives it no shutdown
// notice. Its JACK data begins with the client and the port (RtMidi 5), so
// the client is reached to be given one, and to be let go of when its server
// went: with both null, RtMidi's close touches libjack no more.
static_assert(std::string_view(RTMIDI_VERSION).starts_with("5."),
              "check that RtMidi's JACK data still begins with the client and the port");
struct JackHead {
    jack_client_t* client;
    jack_port_t* port;
};
struct RtMidiReach : RtMidi {
    static MidiApi* Api(RtMidi& rt) { return rt.*(&RtMidiReach::rtapi_); }
};
struct MidiApiReach : MidiApi {
    static void* Data(MidiApi& api) { return api.*(&MidiApiReach::apiData_); }
};

// The JACK client of a port, held from its open to its close.
class HeldJackClient : public OJackHeldClient {
public:
    // Under a guard, right after RtMidi opened the client: gives it its
    // shutdown notice (set only on an inactive client) and holds it. False
    // when RtMidi has no client (no server answered) or it does not run.
    bool Take(RtMidi& rt) {
        auto* head = static_cast<JackHead*>(MidiApiReach::Data(*RtMidiReach::Api(rt)));
        if (!head || !head->client)
            return false;
        jack_deactivate(head->client);
        jack_on_info_shutdown(head->client, &HeldJackClient::ServerGone, nullptr);
        if (jack_activate(head->client) != 0)
            return false;
        m_head = head;
        OJackClientLock::Hold(this);
        return true;
    }
    // Under a guard, before RtMidi closes the port.
    void Drop() {
        BeforeClose(m_freed);
        OJackClientLock::Release(this);
    }
    // Under a guard: null once the server went.
    jack_client_t* Client() const { return m_head ? m_head->client : nullptr; }

    void LetGo(bool freed) override {
        m_freed = freed;
        BeforeClose(freed);
        if (!freed)
            jack_client_close(m_head->client);
        m_head->client = nullptr;
        m_head->port = nullptr;
        m_head = nullptr;
    }

protected:
    ~HeldJackClient() = default;
    // The client's threads are about to end; freed: they ended already,
    // wherever they were.
    virtual void BeforeClose(bool /*freed*/) {}

private:
    static void ServerGone(jack_status_t, const char*, void*) {
        OJackClientLock::NoteServerGone();
        // The inputs of that server let go of what they held.
        OJackDriver::NotePortsChanged();
    }

    JackHead* m_head = nullptr;
    bool m_freed = false;
};

class RtInput : public OMidiInput, public HeldJackClient {
public:
    using Rt = RtMidiIn;
    static constexpr const char* kLocalName = "midi_in";

    RtInput(const std::string& source, MidiInputCallback callback, void* user)
        : m_source(source), m_callback(callback), m_user(user) {}
    // The RtMidi object goes first: its destructor closes the port and
    // waits for its MIDI thread, so no callback outlives this object.
    ~RtInput() override {
        OJackClientLock lock;
        Drop();
        rt.reset();
    }

    // A JACK port that leaves takes its connections along, and one made
    // again under its name is not joined: asked of the server. The ALSA
    // sequencer is not asked.
    bool Connected() override {
        if (link.empty())
            return true;
        OJackClientLock lock;
        const std::vector<std::string> links = OwnLinks(Client(), m_source);
        return std::find(links.begin(), links.end(), link) != links.end();
    }

    void Prepare() {
        // System exclusive is dropped; MIDI clock passes.
        rt->ignoreTypes(true, false, true);
        rt->setCallback(&RtInput::OnMessage, this);
    }

    static void OnMessage(double, std::vector<unsigned char>* bytes, void* user) {
        if (!bytes || bytes->empty() || bytes->size() > 3)
            return;
        const int length = MidiMessageLength((*bytes)[0]);
        if (length == 0 || static_cast<size_t>(length) > bytes->size())
            return;
        uint32_t message = 0;
        for (int i = 0; i < length; ++i)
            message |= static_cast<uint32_t>((*bytes)[static_cast<size_t>(i)]) << (8 * i);
        auto* self = static_cast<RtInput*>(user);
        self->m_inCallback.fetch_add(1);
        if (!self->m_closing.load())
            self->m_callback(self->m_user, message);
        self->m_inCallback.fetch_sub(1);
    }

    ErrorSink sink;
    std::unique_ptr<RtMidiIn> rt;
    std::string link;  // on JACK, the program's port joined to the source

private:
    // A JACK port's thread is cancelled by its client's close wherever it
    // is: a message on its way into the program (which may hold the MIDI
    // queue's producer flag) gets through first, and later ones stop here.
    // A thread that libjack ended already is not waited for.
    void BeforeClose(bool freed) override {
        m_closing.store(true);
        while (!freed && m_inCallback.load() != 0)
            std::this_thread::yield();
    }

    std::string m_source;
    MidiInputCallback m_callback;
    void* m_user;
    // Sequentially consistent, as a pair: either a message sees the close,
    // or the close sees the message and waits for it.
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_inCallback{0};
};

class RtOutput : public OMidiOutput, public HeldJackClient {
public:
    using Rt = RtMidiOut;
    static constexpr const char* kLocalName = "midi_out";

    ~RtOutput() override {
        OJackClientLock lock;
        Drop();
        rt.reset();
    }

    void Prepare() {}
    bool Send(uint32_t message) override {
        const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                                  static_cast<uint8_t>(message >> 16)};
        const int length = MidiMessageLength(bytes[0]);
        if (length == 0)
            return false;
        sink.failed = false;
        try {
            rt->sendMessage(bytes, static_cast<size_t>(length));
        } catch (const RtMidiError&) {
            return false;
        }
        return !sink.failed;
    }

    ErrorSink sink;
    std::unique_ptr<RtMidiOut> rt;
    std::string link;
};

// Opens the port of that name on the first API that lists it, each port
// through an RtMidi object (a client) of its own. error keeps its text when
// no API has the name.
template <class Port, class... Args>
std::unique_ptr<Port> OpenNamed(const std::string& name, std::string& error, Args... args) {
    if (StopRequested())
        return nullptr;
    for (RtMidi::Api api : kApis) {
        if (!Available(api))
            continue;
        // RtMidi does not say when its JACK client could not be activated
        // (a loaded machine can make that give up on a slow thread start)
        // nor when the join failed: the port would be open and hear or send
        // nothing. The server is asked, and another client tried.
        const int attempts = api == RtMidi::UNIX_JACK ? 3 : 1;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            OJackClientLock lock;
            try {
                auto port = std::make_unique<Port>(args...);
                port->rt = std::make_unique<typename Port::Rt>(api, ORtMidiPorts::kClientName);
                port->rt->setErrorCallback(&ErrorSink::Report, &port->sink);
                if (api == RtMidi::UNIX_JACK && !port->Take(*port->rt)) {
                    error = "no JACK client could be made for the port \"" + name + "\"";
                    continue;
                }
                unsigned index = 0;
                if (!FindPort(*port->rt, name, index))
                    break;
                port->Prepare();
                // The port of this client is the one joined by the open:
                // another instance of the program may listen to the same
                // port, but it opens under the same lock.
                const std::vector<std::string> before =
                    api == RtMidi::UNIX_JACK ? OwnLinks(port->Client(), name) : std::vector<std::string>();
                port->rt->openPort(index, Port::kLocalName);
                if (port->sink.failed) {
                    error = port->sink.text;
                    return nullptr;
                }
                if (api != RtMidi::UNIX_JACK)
                    return port;
                for (const std::string& link : OwnLinks(port->Client(), name))
                    if (std::find(before.begin(), before.end(), link) == before.end())
                        port->link = link;
                if (!port->link.empty())
                    return port;
                error = "the JACK port \"" + name + "\" could not be joined";
            } catch (const RtMidiError& e) {
                error = e.getMessage();
                break;
            }
        }
    }
    return nullptr;
}

} // namespace

bool ORtMidiPorts::IsOwnPort(const std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string_view client(name.data(), colon);
    const std::string_view own(kClientName);
    if (client.substr(0, own.size()) != own)
        return false;
    const std::string_view rest = client.substr(own.size());
    if (rest.empty())
        return true;
    if (rest.size() < 2 || rest[0] != '-')
        return false;
    for (char c : rest.substr(1))
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::vector<std::string> ORtMidiPorts::InputNames() { return ListPorts<RtMidiIn>(); }

std::vector<std::string> ORtMidiPorts::OutputNames() { return ListPorts<RtMidiOut>(); }

std::unique_ptr<OMidiInput> ORtMidiPorts::OpenInput(const std::string& name, MidiInputCallback callback,
                                                    void* user, std::string& error) {
    error = "no MIDI input named \"" + name + "\"";
    if (!callback)
        return nullptr;
    return OpenNamed<RtInput>(name, error, name, callback, user);
}

std::unique_ptr<OMidiOutput> ORtMidiPorts::OpenOutput(const std::string& name, std::string& error) {
    error = "no MIDI output named \"" + name + "\"";
    return OpenNamed<RtOutput>(name, error);
}

OMidiPorts& SystemMidiPorts() {
    static ORtMidiPorts ports;
    return ports;
}

} // namespace os
