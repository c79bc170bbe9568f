#pragma once
// MIDI ports of the system: the sources the program can listen to and the
// destinations it can send to. The device layer lists and opens ports only
// through this interface, so tests put fakes in place of the system's ports.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {

// An incoming short message, packed status | data1 << 8 | data2 << 16, and
// the time it was played in microseconds of os::StampMicros. Called on a
// MIDI thread of the port. frame: where the render call that follows on the
// same thread, in the same cycle, plays it (a JACK cycle that renders the
// audio); kNotInCycle when no render follows, and the time places it.
using MidiInputCallback = void (*)(void* user, uint32_t message, uint32_t timeUs, int32_t frame);
inline constexpr int32_t kNotInCycle = -1;

class OMidiInput {
public:
    // Closes the port. When the destructor returns, no callback runs and
    // none will.
    virtual ~OMidiInput() = default;
    // False once the port it listens to went away, also when a port of the
    // same name came back since: nothing arrives through this input then.
    // Asked after the port list's LetGraphSettle.
    virtual bool Connected() { return true; }
};

class OMidiOutput {
public:
    virtual ~OMidiOutput() = default;
    // As an input's: false once the port it sends to went away, also when
    // a port of the same name came back since.
    virtual bool Connected() { return true; }
    // Sends a packed short message; its length follows from the status
    // byte. Never waits for the port: false when it refused or dropped the
    // message.
    virtual bool Send(uint32_t message) = 0;
    // Whether the output can take messages at frames of a render cycle
    // (a port of the JACK client the audio renders on).
    virtual bool SendsInCycle() const { return false; }
    // The render's thread, inside a cycle that renders: sends the message at
    // that frame of the cycle. False when it is not such a cycle or the
    // port refused it.
    virtual bool SendInCycle(uint32_t /*message*/, uint32_t /*frame*/) { return false; }
};

class OMidiPorts {
public:
    virtual ~OMidiPorts() = default;
    // The ports as they are now, in a fixed order; the program's own ports
    // are left out (listening to its own output would echo every note).
    virtual std::vector<std::string> InputNames() = 0;
    virtual std::vector<std::string> OutputNames() = 0;
    // Open the port of that name; null, with the reason in error, when it
    // cannot be opened. place (0..31) names the program's own port where it
    // has one (JACK: "midi_in" for 0, "midi_in_<place + 1>" after), so that
    // a patchbay that joins ports by name finds the same keyboard on it at
    // every start, whatever order the keyboards came in.
    virtual std::unique_ptr<OMidiInput> OpenInput(const std::string& name, int place, MidiInputCallback callback,
                                                  void* user, std::string& error) = 0;
    virtual std::unique_ptr<OMidiOutput> OpenOutput(const std::string& name, std::string& error) = 0;
    // Closes what is kept open for the lists between calls (a client of a
    // sound server); the next call opens it again.
    virtual void LetGo() {}
    // Before a round of Connected() questions: lets the changes the server
    // made before the call show in their answers. One wait for the round,
    // not one per port.
    virtual void LetGraphSettle() {}
    // The program's thread, now and then: finishes what waited for a sound
    // server to answer again.
    virtual void Tidy() {}
};

// Number of bytes of a short message with this status byte: 0 for system
// exclusive and for bytes that start no message.
int MidiMessageLength(uint8_t status);
// An event's bytes as the program takes them, packed as a short message:
// false for system exclusive, active sensing, a byte that starts no message
// and an event shorter than its status says. MIDI clock and the other
// real-time bytes pass.
bool PackShortMessage(const uint8_t* bytes, size_t size, uint32_t& message);

} // namespace os
