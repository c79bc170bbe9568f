#pragma once
// The system's MIDI ports through RtMidi: ALSA sequencer ports first, then
// JACK MIDI ports. Each API is asked for by name and its failures are caught,
// so a machine without a sequencer or without a JACK server simply lists
// fewer ports.
#include <string>

#include "os/OMidiPorts.h"

namespace os {

class ORtMidiPorts : public OMidiPorts {
public:
    // The client name the program's MIDI ports are registered under. JACK
    // makes a taken name unique with a "-NN" suffix.
    static constexpr const char* kClientName = "zavo-midi";

    std::vector<std::string> InputNames() override;
    std::vector<std::string> OutputNames() override;
    std::unique_ptr<OMidiInput> OpenInput(const std::string& name, MidiInputCallback callback, void* user,
                                          std::string& error) override;
    std::unique_ptr<OMidiOutput> OpenOutput(const std::string& name, std::string& error) override;

    // True for a port name ("client:port ...") of one of the program's own
    // clients.
    static bool IsOwnPort(const std::string& name);
};

// The one instance the device layer uses unless a test puts in another.
OMidiPorts& SystemMidiPorts();

} // namespace os
