#include "stress/DeviceStress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/OMessageBox.h"
#include "os/OSDLSoundOut.h"
#include "platform/CASIODriverList.h"
#include "platform/CASIOManager.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "stress/StressShared.h"
#include "tests/os/TestFolders.h"
#include "tests/platform/JackServer.h"

namespace stress {

namespace {

using namespace std::chrono_literals;

// The GUI thread for a step, and how long the step kept it.
class GuiStep {
public:
    explicit GuiStep(std::atomic<long>& heldUs) : m_held(heldUs), m_lock(GuiThread()) {}
    ~GuiStep() {
        m_held.fetch_add(static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_start)
                .count()));
    }

private:
    std::atomic<long>& m_held;
    std::lock_guard<std::mutex> m_lock;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

void Pace(std::mt19937& random, int loMs, int hiMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(loMs, hiMs)(random)));
}

int Pick(std::mt19937& random, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); }

} // namespace

DeviceStress::DeviceStress(CSynth& synth, Clock::time_point deadline)
    : m_synth(synth), m_deadline(deadline), m_serverName(testutil::UniqueJackName("zavo-stress")),
      m_folder(testutil::TestFolder()) {
    // Before any thread runs: every JACK client of the program asks this
    // server, and the ring plays into nothing.
    setenv("JACK_DEFAULT_SERVER", m_serverName.c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!StartServer())
        ++m_failedStarts;
    {
        std::lock_guard<std::mutex> gui(GuiThread());
        os::SetMessageBoxHook([this](const char*, const char*) { m_messages.fetch_add(1); });
        CASIODriverList::Rescan();
        CAudioDevices::EnumerateDirectSound();
        m_ports.playing = true;
        m_ports.pause = 2ms;
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(&m_ports);
        g_MIDIDevices.SetInputMask("11");
        g_MIDIDevices.SetOutputName("out");  // the sequencer's notes leave through the flush timer
        g_MIDIDevices.Start(&m_synth);
    }
    m_threads.emplace_back(&DeviceStress::Outputs, this);
    m_threads.emplace_back(&DeviceStress::Recorder, this);
}

DeviceStress::~DeviceStress() { Join(); }

void DeviceStress::Join() {
    if (m_joined)
        return;
    m_joined = true;
    for (std::thread& t : m_threads)
        if (t.joinable())
            t.join();
    {
        std::lock_guard<std::mutex> gui(GuiThread());
        CloseOutput();
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(nullptr);
        m_synth.editor->GetRecorder().Stop();
        os::SetMessageBoxHook({});
    }
    StopServer();
}

// A server that does not start (the machine's JACK allows a few servers at
// once, and other programs may hold them) is tried again later.
bool DeviceStress::StartServer() {
    if (m_server > 0)
        return true;
    m_server = testutil::StartJackd(m_serverName, 44100, m_folder + "/jackd-stress.log", m_error);
    return m_server > 0;
}

void DeviceStress::StopServer() { testutil::StopJackd(m_server); }

void DeviceStress::OpenOutput(const char* name) {
    {
        std::lock_guard<std::mutex> turn(AudioTurn());
        DevicePlays().store(true);
    }
    g_AudioDevices.Open(nullptr, name, &m_synth, g_GlobalData.sampleRate, g_GlobalData.refillPeriod);
}

void DeviceStress::CloseOutput() {
    g_AudioDevices.Close();
    std::lock_guard<std::mutex> turn(AudioTurn());
    DevicePlays().store(false);
}

// The setup page's audio and MIDI rows, and the server under them: outputs
// opened, switched and closed while notes play, the server stopped under a
// playing output and started again.
//
// Paced so that the edits of the GUI actor keep most of the GUI thread; the
// stress's own audio thread plays alone for the first second.
void DeviceStress::Outputs() {
    std::mt19937 random(21);
    std::this_thread::sleep_for(1s);
    auto nextStop = Clock::now() + 1s;
    Clock::time_point stoppedAt{};
    uint32_t lastBlock = m_synth.engine.data.blockCounter.load();
    while (Clock::now() < m_deadline) {
        if (m_server > 0 && Clock::now() >= nextStop) {
            bool jackPlays = false;
            {
                GuiStep gui(m_guiHeldUs);
                if (!g_ASIOManager.IsOpen())
                    OpenOutput("JACK");
                jackPlays = g_ASIOManager.IsOpen();
            }
            // Stopped outside the GUI thread while it plays, as another
            // program stops it.
            if (jackPlays) {
                std::this_thread::sleep_for(std::chrono::milliseconds(Pick(random, 0, 100)));
                StopServer();
                ++m_serverStops;
                stoppedAt = Clock::now();
            }
            nextStop = Clock::now() + std::chrono::milliseconds(Pick(random, 1500, 3000));
        }
        if (m_server <= 0 && Clock::now() >= stoppedAt + 400ms) {
            if (!StartServer()) {
                ++m_failedStarts;
                stoppedAt = Clock::now() + 600ms;
                continue;
            }
            GuiStep gui(m_guiHeldUs);
            // Listing again closes the loaded driver: only with JACK closed.
            if (!g_ASIOManager.IsOpen())
                CASIODriverList::Rescan();
        }
        {
            GuiStep gui(m_guiHeldUs);
            const uint32_t block = m_synth.engine.data.blockCounter.load();
            if (g_ASIOManager.IsOpen())
                m_jackRendered += static_cast<long>(block - lastBlock);
            else if (g_DirectSoundOut.IsOpen())
                m_ringRendered += static_cast<long>(block - lastBlock);
            lastBlock = block;
            char text[64];
            switch (Pick(random, 0, 12)) {
            case 0:
            case 1:
            case 2:
                OpenOutput("JACK");
                m_jackOpens += g_ASIOManager.IsOpen();
                ++m_switches;
                break;
            case 3:
            case 4:
                OpenOutput(os::OSDLSoundOut::kDefaultName);
                m_ringOpens += g_DirectSoundOut.IsOpen();
                ++m_switches;
                break;
            case 5: {
                // A row of the output menu, as the page's menu picks it
                // (seldom: the switch waits 100 ms between the outputs).
                g_AudioDevices.BuildMenu(m_synth.parameters.GetMenuView());
                const int32_t row = Pick(random, 0, 3);
                const char* name = g_AudioDevices.GetName(row);
                if (Pick(random, 0, 2) == 0 && name && *name) {
                    {
                        std::lock_guard<std::mutex> turn(AudioTurn());
                        DevicePlays().store(true);
                    }
                    m_synth.ExecuteCommand(4, static_cast<float>(row) / 128.0f);
                    ++m_switches;
                }
                break;
            }
            case 6: CloseOutput(); break;
            case 7:
            case 8:
                m_synth.ExecuteCommand(1, static_cast<float>(Pick(random, 0, 1)) / 128.0f);
                ++m_inputToggles;
                break;
            case 9:
                m_synth.ExecuteCommand(96, static_cast<float>(Pick(random, 1, 127)) / 128.0f);
                break;
            case 10:
                // What the setup page shows (the meters read render state
                // as it comes, as the GUI actor leaves them out).
                for (int id : {1, 2, 4, 96})
                    m_synth.GetCommandText(id, text, sizeof text);
                for (int id : {4, 96})
                    m_synth.GetCommandValue(id);
                break;
            default:
                m_synth.CheckAudioOutput();
                break;
            }
        }
        Pace(random, 60, 200);
    }
}

// The recorder's buttons while the output feeds it.
void DeviceStress::Recorder() {
    std::mt19937 random(22);
    CWaveIO& recorder = m_synth.editor->GetRecorder();
    char text[64];
    while (Clock::now() < m_deadline) {
        {
            GuiStep gui(m_guiHeldUs);
            switch (Pick(random, 0, 5)) {
            case 0:
                if (!recorder.IsRecording()) {
                    recorder.Start();
                    m_recordings += recorder.IsRecording();
                }
                break;
            case 1: recorder.TogglePause(); break;
            case 2: recorder.Stop(); break;
            case 3: recorder.Drain(); break;
            default:
                recorder.GetStatusText(text);
                recorder.GetFileName(text);
                break;
            }
        }
        Pace(random, 20, 60);
    }
}

bool DeviceStress::Report() const {
    std::printf("devices  %ld output switches (%ld to JACK, %ld to the ring), %ld blocks rendered by JACK, "
                "%ld by the ring\n",
                m_switches, m_jackOpens, m_ringOpens, m_jackRendered, m_ringRendered);
    std::printf("devices  %ld server stops, %ld told, %ld input switches, %ld MIDI messages in, %ld recordings\n",
                m_serverStops, m_messages.load(), m_inputToggles, m_ports.delivered.load(), m_recordings);
    std::printf("devices  held the GUI thread %ld ms\n", m_guiHeldUs.load() / 1000);
    if (m_failedStarts > 0)
        std::printf("devices  %ld starts of the server failed, the last: %s\n", m_failedStarts, m_error.c_str());
    return m_jackRendered > 0 && m_ringRendered > 0 && m_serverStops > 0 &&
           m_messages.load() > 0 && m_recordings > 0 && m_ports.delivered.load() > 0;
}

} // namespace stress
