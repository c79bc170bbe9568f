#include "os/ORtMidiPorts.h"

#include "os/OClock.h"
#include "os/OJackClient.h"
#include "os/OStop.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <unistd.h>

#include <cctype>
#include <string_view>
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

bool PackShortMessage(const uint8_t* bytes, size_t size, uint32_t& message) {
    if (size == 0 || size > 3 || bytes[0] == 0xFE)
        return false;
    const int length = MidiMessageLength(bytes[0]);
    if (length == 0 || static_cast<size_t>(length) > size)
        return false;
    message = 0;
    for (int i = 0; i < length; ++i)
        message |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return true;
}

namespace {

// Without the sequencer device ALSA and RtMidi would both print their
// failure on every listing.
bool AlsaAvailable() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

// With an error callback in place RtMidi reports instead of throwing or
// printing; the port keeps the last report to answer from it. RtMidi keeps
// the sink's address for as long as its object lives: the sink lives as
// long (a port owns its sink beside its RtMidi object).
struct ErrorSink {
    bool failed = false;
    std::string text;
    static void Report(RtMidiError::Type type, const std::string& message, void* user) {
        if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING)
            return;
        auto* self = static_cast<ErrorSink*>(user);
        self->failed = true;
        self->text = message;
    }
};

// An RtMidi object on the ALSA sequencer, null when there is none. RtMidi
// takes another API when the one asked for is not built in: that one's
// ports are the program's own JACK client's to list and open.
template <class Rt>
std::unique_ptr<Rt> OpenAlsa(ErrorSink& sink) {
    if (!AlsaAvailable())
        return nullptr;
    try {
        auto rt = std::make_unique<Rt>(RtMidi::LINUX_ALSA, ORtMidiPorts::kClientName);
        if (rt->getCurrentApi() != RtMidi::LINUX_ALSA)
            return nullptr;
        rt->setErrorCallback(&ErrorSink::Report, &sink);
        return rt;
    } catch (const RtMidiError&) {
        return nullptr;  // no sequencer device: it adds no ports
    }
}

// The ALSA sequencer first: it is what desktop keyboards show up on.
template <class Rt>
std::vector<std::string> ListPorts() {
    std::vector<std::string> names;
    // A stopping program opens nothing more: the exit would wait for it.
    if (StopRequested())
        return names;
    ErrorSink sink;
    if (std::unique_ptr<Rt> rt = OpenAlsa<Rt>(sink)) {
        const unsigned count = rt->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            std::string name = rt->getPortName(i);
            if (!name.empty() && !ORtMidiPorts::IsOwnPort(name))
                names.push_back(std::move(name));
        }
    }
    for (std::string& name : OJackClient::Instance().List(std::is_same_v<Rt, RtMidiIn> ? JackPortIsOutput
                                                                                     : JackPortIsInput))
        names.push_back(std::move(name));
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

class RtInput : public OMidiInput {
public:
    using Rt = RtMidiIn;
    static constexpr const char* kLocalName = "midi_in";

    RtInput(MidiInputCallback callback, void* user) : m_callback(callback), m_user(user) {}

    void Prepare() {
        // System exclusive and active sensing are dropped; MIDI clock passes.
        rt->ignoreTypes(true, false, true);
        rt->setCallback(&RtInput::OnMessage, this);
    }

    static void OnMessage(double, std::vector<unsigned char>* bytes, void* user) {
        // The sequencer hands each event over as it comes: its arrival is
        // its time.
        const uint32_t now = StampMicros();
        uint32_t message = 0;
        if (!bytes || !PackShortMessage(bytes->data(), bytes->size(), message))
            return;
        auto* self = static_cast<RtInput*>(user);
        self->m_callback(self->m_user, message, now, kNotInCycle);
    }

    ErrorSink sink;
    // Its destructor closes the port and waits for its MIDI thread, so no
    // callback outlives this object; it goes before the sink it reports to.
    std::unique_ptr<RtMidiIn> rt;

private:
    MidiInputCallback m_callback;
    void* m_user;
};

class RtOutput : public OMidiOutput {
public:
    using Rt = RtMidiOut;
    static constexpr const char* kLocalName = "midi_out";

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
    std::unique_ptr<RtMidiOut> rt;  // goes before the sink it reports to
};

// Opens the ALSA port of that name through an RtMidi object of its own.
// Null, error untouched, when the sequencer does not list the name.
template <class Port, class... Args>
std::unique_ptr<Port> OpenAlsaPort(const std::string& name, std::string& error, Args... args) {
    auto port = std::make_unique<Port>(args...);
    ErrorSink& sink = port->sink;
    port->rt = OpenAlsa<typename Port::Rt>(sink);
    unsigned index = 0;
    if (!port->rt || !FindPort(*port->rt, name, index))
        return nullptr;
    port->Prepare();
    try {
        port->rt->openPort(index, Port::kLocalName);
    } catch (const RtMidiError& e) {
        sink.failed = true;
        sink.text = e.getMessage();
    }
    if (sink.failed) {
        error = sink.text;
        return nullptr;
    }
    return port;
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

std::unique_ptr<OMidiInput> ORtMidiPorts::OpenInput(const std::string& name, int place, MidiInputCallback callback,
                                                    void* user, std::string& error) {
    error = "no MIDI input named \"" + name + "\"";
    if (!callback || StopRequested())
        return nullptr;
    if (auto port = OpenAlsaPort<RtInput>(name, error, callback, user))
        return port;
    return OJackClient::Instance().OpenInput(name, place, callback, user, error);
}

std::unique_ptr<OMidiOutput> ORtMidiPorts::OpenOutput(const std::string& name, std::string& error) {
    error = "no MIDI output named \"" + name + "\"";
    if (StopRequested())
        return nullptr;
    if (auto port = OpenAlsaPort<RtOutput>(name, error))
        return port;
    return OJackClient::Instance().OpenOutput(name, error);
}

void ORtMidiPorts::LetGo() { OJackClient::Instance().Close(); }

// The ALSA sequencer's connections change at once.
void ORtMidiPorts::LetGraphSettle() { OJackClient::Instance().LetGraphSettle(); }

void ORtMidiPorts::Tidy() { OJackClient::Instance().Tidy(); }

OMidiPorts& SystemMidiPorts() {
    static ORtMidiPorts ports;
    return ports;
}

} // namespace os
