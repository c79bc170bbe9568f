#pragma once
// The system's MIDI ports: ALSA sequencer ports first, through RtMidi, then
// JACK MIDI ports, through the program's own JACK client (OJackClient). A
// machine without a sequencer or without a JACK server simply lists fewer
// ports.
#include <string>

#include "os/OMidiPorts.h"

namespace os {

class ORtMidiPorts : public OMidiPorts {
public:
    // The client name the program's MIDI ports are registered under, on
    // the ALSA sequencer and on JACK (where the audio outputs are too).
    // JACK makes a taken name unique with a "-NN" suffix.
    static constexpr const char* kClientName = "zavo";

    std::vector<std::string> InputNames() override;
    std::vector<std::string> OutputNames() override;
    std::unique_ptr<OMidiInput> OpenInput(const std::string& name, int place, MidiInputCallback callback,
                                          void* user, std::string& error) override;
    std::unique_ptr<OMidiOutput> OpenOutput(const std::string& name, std::string& error) override;
    void LetGo() override;
    void LetGraphSettle() override;
    void Tidy() override;

    // True for a port name ("client:port ...") of one of the program's own
    // clients.
    static bool IsOwnPort(const std::string& name);
};

// The one instance the device layer uses unless a test puts in another.
OMidiPorts& SystemMidiPorts();

} // namespace os
