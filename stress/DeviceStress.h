#pragma once
// The program's device threads on the stressed synthesizer: a JACK output on
// a private dummy server (its process callback renders), the ring output on
// SDL's dummy driver (its refill timer renders), two MIDI inputs with threads
// of their own, and the recorder fed by whichever renders. Actors standing
// for the GUI thread switch outputs, stop and restart the server while notes
// play, switch inputs off and on, and start, pause and stop recordings.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/TestMidiPorts.h"

class CSynth;

namespace stress {

class DeviceStress {
public:
    using Clock = std::chrono::steady_clock;

    // Starts the server and the actors, which run until the deadline.
    DeviceStress(CSynth& synth, Clock::time_point deadline);
    // Joins (once) and closes every device.
    ~DeviceStress();
    DeviceStress(const DeviceStress&) = delete;
    DeviceStress& operator=(const DeviceStress&) = delete;

    void Join();
    // Prints what was done; false when a part of it never happened (the
    // stress then tested less than it claims).
    bool Report() const;

private:
    void Outputs();
    void Recorder();
    bool StartServer();
    void StopServer();
    // GUI thread: the output stays closed; the stress's audio thread may
    // render again.
    void CloseOutput();
    void OpenOutput(const char* name);

    CSynth& m_synth;
    Clock::time_point m_deadline;
    std::string m_serverName;
    std::string m_folder;
    pid_t m_server = -1;
    std::string m_error;  // why the last start of the server failed
    long m_failedStarts = 0;
    testutil::TestMidiPorts m_ports;
    std::vector<std::thread> m_threads;
    bool m_joined = false;

    // Counts for the report.
    long m_switches = 0;
    long m_jackOpens = 0;
    long m_ringOpens = 0;
    long m_serverStops = 0;
    long m_inputToggles = 0;
    long m_recordings = 0;
    std::atomic<long> m_messages{0};
    std::atomic<long> m_guiHeldUs{0};
    long m_jackRendered = 0;
    long m_ringRendered = 0;
};

} // namespace stress
