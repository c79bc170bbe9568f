// The outputs on real devices: a private JACK server and SDL's dummy and
// disk drivers, with the synthesizer playing note 69.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/CMIDI.h"
#include "core/CMIDIQueue.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUIMenuResource.h"
#include "os/OJackClientLock.h"
#include "os/OMessageBox.h"
#include "os/OMidiPorts.h"
#include "os/ORtMidiPorts.h"
#include "platform/CASIODriverList.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackProbe.h"
#include "platform/JackServer.h"
#include "platform/TestMidiPorts.h"
#include "tests/core/MeasureFrequency.h"
#include "tests/core/MidiFixture.h"

using namespace testutil;

namespace {

constexpr uint32_t kNoteOn69 = 0x7F4590u;
constexpr uint32_t kNoteOff69 = 0x004580u;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::vector<float> LeftOfRawFile(const std::string& path, size_t skipFrames) {
    std::string bytes = ReadFile(path);
    std::vector<float> left;
    for (size_t i = skipFrames * 4; i + 4 <= bytes.size(); i += 4) {
        int16_t l;
        std::memcpy(&l, bytes.data() + i, 2);
        left.push_back(static_cast<float>(l) / 32767.0f);
    }
    return left;
}

// MIDI ports of the test with nothing on them: a device change opens none of
// the machine's.
class NoPorts : public os::OMidiPorts {
public:
    std::vector<std::string> InputNames() override { return {}; }
    std::vector<std::string> OutputNames() override { return {}; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string&, int, os::MidiInputCallback, void*,
                                              std::string&) override {
        return nullptr;
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string&, std::string&) override { return nullptr; }
};

class AudioDeviceTest : public SynthFixture {
protected:
    void SetUp() override {
        SynthFixture::SetUp();
        g_MIDIDevices.SetPorts(&m_ports);
    }
    void TearDown() override {
        g_AudioDevices.Close();
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(nullptr);
        // The note-off is carried out here: left in the queue it would be
        // due at a block of this test's count and hold up the next test's
        // notes behind it once the count starts again.
        synth->ProcessMidiMessage(kNoteOff69, CMIDIQueue::ClockMs());
        for (int i = 0; i < 64 && synth->midi->queue.HasPending(); ++i) Render(256);
        if (g_GlobalData.sampleRate != 44100) synth->SetSampleRate(44100.0f);
        // An empty list: asking the system now would reach whatever server
        // the environment names outside the test.
        const std::vector<CASIODriverList::Source> none;
        CASIODriverList::Rescan(&none);
    }
    // Waits (at most 5 s) until the output's renders took every MIDI
    // message queued: a note sent is sounding then.
    bool WaitTaken() const {
        for (int i = 0; i < 500 && synth->midi->queue.HasPending(); ++i) Sleep(10);
        return !synth->midi->queue.HasPending();
    }
    // Waits (at most 10 s) until SDL's disk driver wrote half a second past
    // the first skipFrames, closes the output and measures note 69 there.
    void ExpectDiskFileInTune(const std::string& path, size_t skipFrames) {
        const size_t wanted = (skipFrames + 44100 / 2) * 4;  // 16-bit stereo
        for (int i = 0; i < 1000 && ReadFile(path).size() < wanted; ++i) Sleep(10);
        CloseAndExpectSilence();
        const std::vector<float> left = LeftOfRawFile(path, skipFrames);
        ASSERT_GE(left.size(), 44100u / 2) << "the disk device wrote too little";
        EXPECT_NEAR(MeasureFrequency(left, 44100.0), 440.0, 1.0);
    }
    // Closes the output; after that nothing renders any more.
    void CloseAndExpectSilence() {
        g_AudioDevices.Close();
        const uint32_t blocks = synth->engine.data.blockCounter;
        Sleep(50);
        EXPECT_EQ(synth->engine.data.blockCounter, blocks) << "a render after the output closed";
    }
    bool OpenJack(int tries = 1) {
        CASIODriverList::Rescan();
        bool opened = false;
        for (int i = 0; i < tries; ++i) {
            opened = g_AudioDevices.Open(nullptr, "JACK", synth, 44100, 11);
            if (g_AudioDevices.GetMode() == CAudioDevices::kModeASIO) break;
        }
        return opened;
    }
    // Never the machine's own sound card, also when run by hand.
    ScopedEnv m_sdl{"SDL_AUDIODRIVER", "dummy"};
    NoPorts m_ports;
};

// A JACK client of the test's own with two inputs joined to the program's
// outputs; once started, keeps the first frames of the left input.
class JackRecorder {
public:
    explicit JackRecorder(size_t frames) : m_left(frames, 0.0f) {
        jack_status_t status{};
        if (!(m_client = OpenJackClient(UniqueJackName("zavo-recorder"), &status))) return;
        for (int i = 0; i < 2; ++i)
            m_in[i] = jack_port_register(m_client, i ? "in_2" : "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_client, &JackRecorder::Process, this);
        // A loaded machine can make activation give up on a slow thread start.
        for (int attempt = 0; attempt < 5 && !m_active; ++attempt) m_active = jack_activate(m_client) == 0;
        jack_connect(m_client, "zavo:out_1", jack_port_name(m_in[0]));
        jack_connect(m_client, "zavo:out_2", jack_port_name(m_in[1]));
    }
    ~JackRecorder() { CloseJackClient(m_client); }
    // Connections show once the server's next cycle has taken the new
    // graph: waits for them (at most 3 s).
    bool Joined() const {
        for (int i = 0; i < 300 && m_active; ++i, Sleep(10))
            if (jack_port_connected(m_in[0]) == 1 && jack_port_connected(m_in[1]) == 1) return true;
        return false;
    }
    // Records from the next cycle on: call it once Joined, so that every
    // frame kept came through the connections.
    void Start() { m_started.store(true); }
    // Waits (at most 4 s) for the recording to fill up.
    bool Wait() const {
        for (int i = 0; i < 400 && m_count.load() < m_left.size(); ++i) Sleep(10);
        return m_count.load() == m_left.size();
    }
    const std::vector<float>& Left() const { return m_left; }

private:
    static int Process(jack_nframes_t frames, void* user) {
        auto* self = static_cast<JackRecorder*>(user);
        if (!self->m_started.load()) return 0;
        const auto* in = static_cast<const float*>(jack_port_get_buffer(self->m_in[0], frames));
        size_t at = self->m_count.load();
        for (jack_nframes_t i = 0; i < frames && at < self->m_left.size(); ++i) self->m_left[at++] = in[i];
        self->m_count.store(at);
        return 0;
    }

    jack_client_t* m_client = nullptr;
    bool m_active = false;
    jack_port_t* m_in[2] = {};
    std::vector<float> m_left;
    std::atomic<size_t> m_count{0};
    std::atomic<bool> m_started{false};
};

} // namespace

// Declared right after a test's server: the output lets go of its JACK
// client while the server still runs. libjack can hang in a client's close
// once its server is gone before the client saw it go.
struct ClosedBeforeTheServer {
    ClosedBeforeTheServer() = default;
    ClosedBeforeTheServer(const ClosedBeforeTheServer&) = delete;
    ClosedBeforeTheServer& operator=(const ClosedBeforeTheServer&) = delete;
    ~ClosedBeforeTheServer() { g_AudioDevices.Close(); }
};

TEST_F(AudioDeviceTest, WithoutAServerJackEndsOnTheSoundDeviceInTune) {
    NoJackServer none;
    TempFolder folder;
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", folder / "out.raw");
    EXPECT_TRUE(OpenJack());
    EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
    EXPECT_STREQ(g_GlobalData.SoundDeviceOut, "JACK");  // kept for the next start
    synth->ProcessMidiMessage(kNoteOn69, CMIDIQueue::ClockMs());
    ExpectDiskFileInTune(folder / "out.raw", 44100 / 2);
}

TEST_F(AudioDeviceTest, ServerAt48000RunsTheEngineThereInTune) {
    JackServer server(48000);
    ASSERT_TRUE(server.Ok()) << server.Error();
    ClosedBeforeTheServer closeFirst;
    const std::string logPath = std::string(g_GlobalData.programFolder) + "Debug.txt";
    const size_t logged = ReadFile(logPath).size();
    testing::internal::CaptureStdout();
    const bool opened = OpenJack(3);
    // The driver's set-up is for the diagnostic log, not the musician.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(opened);
    ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << server.Log();
    const std::string log = ReadFile(logPath).substr(logged);
    EXPECT_NE(log.find("ASIOGetChannels (inputs: 0, outputs: 2);\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ASIOGetSampleRate (sampleRate: 48000.000000);\n"), std::string::npos) << log;
    EXPECT_EQ(g_GlobalData.sampleRate, 48000);
    synth->ProcessMidiMessage(kNoteOn69, CMIDIQueue::ClockMs());
    ASSERT_TRUE(WaitTaken()) << "the engine did not take the note";
    JackRecorder recorder(48000);
    ASSERT_TRUE(recorder.Joined()) << server.Log();
    recorder.Start();
    ASSERT_TRUE(recorder.Wait());
    CloseAndExpectSilence();
    const std::vector<float> late(recorder.Left().begin() + 24000, recorder.Left().end());
    EXPECT_NEAR(MeasureFrequency(late, 48000.0), 440.0, 1.0);
}

TEST_F(AudioDeviceTest, ARateTheServerDoesNotRunAtStaysAndTheMusicianIsToldWhy) {
    JackServer server(48000);
    ASSERT_TRUE(server.Ok()) << server.Error();
    ClosedBeforeTheServer closeFirst;
    ASSERT_TRUE(OpenJack(3));
    ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << server.Log();
    std::vector<std::string> told;
    const os::MessageBoxHook old =
        os::SetMessageBoxHook([&](const char* text, const char*) { told.emplace_back(text); });
    synth->ExecuteCommand(99, 3.0f / 128.0f);  // 44100 Hz
    EXPECT_EQ(g_GlobalData.sampleRate, 48000);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find("runs at 48000 Hz"), std::string::npos) << told[0];
    EXPECT_NE(told[0].find("JACK"), std::string::npos) << told[0];
    // The server's own rate is taken without a word.
    synth->ExecuteCommand(99, 2.0f / 128.0f);
    EXPECT_EQ(told.size(), 1u);
    os::SetMessageBoxHook(old);
}

TEST_F(AudioDeviceTest, ServerAtAnUnsupportedRateEndsOnTheSoundDevice) {
    JackServer server(192000);
    ASSERT_TRUE(server.Ok()) << server.Error();
    EXPECT_TRUE(OpenJack());
    EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
    EXPECT_EQ(g_GlobalData.sampleRate, 44100);
}

TEST_F(AudioDeviceTest, OpeningSwitchingAndClosingWhileNotesPlay) {
    JackServer server(44100);
    ASSERT_TRUE(server.Ok()) << server.Error();
    ClosedBeforeTheServer closeFirst;
    ASSERT_TRUE(OpenJack());
    const std::string names[] = {"JACK", "", "Default audio device"};
    for (int i = 0; i < 50; ++i) {
        synth->ProcessMidiMessage(0x7F0090u | uint32_t(48 + i % 24) << 8, CMIDIQueue::ClockMs());
        if (i % 10 == 9) {
            g_AudioDevices.Select(i % 20 == 9 ? 0 : 2, nullptr, synth, 44100, 11);
        } else {
            g_AudioDevices.Open(nullptr, names[i % 3].c_str(), synth, 44100, 11);
            if (i % 4 == 0) g_AudioDevices.Close();
        }
        Sleep(5);
        synth->ProcessMidiMessage(0x000080u | uint32_t(48 + i % 24) << 8, CMIDIQueue::ClockMs());
    }
    g_AudioDevices.Close();
}

TEST_F(AudioDeviceTest, AStoppedServerIsToldOnceAndTheSoundDeviceTakesOver) {
    const struct {
        const char* driver;  // SDL's driver for the fall-back
        bool plays;
        // Killed with a JACK MIDI input held, and a client opened before
        // either is closed: libjack would free both under the program.
        bool killed;
    } cases[] = {{"disk", true, false}, {"no-such-driver", false, false}, {"disk", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.driver) + (c.killed ? " killed" : ""));
        TempFolder folder;
        ScopedEnv driver("SDL_AUDIODRIVER", c.driver);
        ScopedEnv file("SDL_DISKAUDIOFILE", folder / "out.raw");
        std::vector<std::string> shown;
        os::MessageBoxHook previous =
            os::SetMessageBoxHook([&](const char* text, const char*) { shown.push_back(text); });
        JackServer server(44100);
        ASSERT_TRUE(server.Ok()) << server.Error();
        ClosedBeforeTheServer closeFirst;
        ASSERT_TRUE(OpenJack(3));
        ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << server.Log();
        synth->ProcessMidiMessage(kNoteOn69, CMIDIQueue::ClockMs());
        ASSERT_TRUE(WaitTaken());
        for (int i = 0; i < 500 && synth->GetCommandValue(34) == 0.0f; ++i) Sleep(10);
        ASSERT_GT(synth->GetCommandValue(34), 0.0f) << "the meter never lit";
        std::unique_ptr<JackProbe> keys;
        std::unique_ptr<os::OMidiInput> input;
        if (c.killed) {
            keys = std::make_unique<JackProbe>(1024);
            std::string error;
            input = os::SystemMidiPorts().OpenInput(jack_port_name(keys->keys), 0, [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error);
            ASSERT_TRUE(input) << error;
            kill(server.Pid(), SIGKILL);
        } else {
            server.Stop();
        }
        for (int i = 0; i < 500 && !g_AudioDevices.IsLost(); ++i) Sleep(10);
        ASSERT_TRUE(g_AudioDevices.IsLost()) << "the server's shutdown was not noticed";
        // The test's own client goes first; the program opens a client to
        // list the ports, then closes the input and the output.
        keys.reset();
        if (c.killed) os::SystemMidiPorts().InputNames();
        input.reset();
        for (int tick = 0; tick < 3; ++tick) synth->editor->OnTimer();
        os::SetMessageBoxHook(previous);

        ASSERT_EQ(shown.size(), 1u);
        EXPECT_NE(shown[0].find("JACK server has stopped"), std::string::npos) << shown[0];
        EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
        EXPECT_EQ(g_DirectSoundOut.IsOpen(), c.plays);
        EXPECT_STREQ(g_GlobalData.SoundDeviceOut, "JACK") << "kept for the next start";
        CUIMenuResource menu;
        ASSERT_TRUE(menu.Open(CAudioDevices::kMenuId));
        EXPECT_STREQ(menu.First()->text, "<<< no JACK server found >>>");
        if (!c.plays) {
            // Nothing renders any more: nothing may stay lit.
            for (int id : {32, 34, 35}) EXPECT_EQ(synth->GetCommandValue(id), 0.0f) << id;
            char load[64];
            synth->GetCommandText(36, load, sizeof load);
            EXPECT_TRUE(std::string(load).ends_with("/ 0 %")) << "the load of what no longer plays: " << load;
            continue;
        }
        // The note goes on through the sound device, in tune.
        ExpectDiskFileInTune(folder / "out.raw", 44100 / 4);
        if (c.killed) continue;
        // A server that answers again is the menu's first row as it opens,
        // and plays once chosen.
        JackServer again(44100);
        ASSERT_TRUE(again.Ok()) << again.Error();
        ClosedBeforeTheServer closeAgain;
        synth->editor->PrepareMenu(CAudioDevices::kMenuId);
        ASSERT_TRUE(menu.Open(CAudioDevices::kMenuId));
        EXPECT_STREQ(menu.First()->text, "JACK");
        for (int i = 0; i < 3 && g_AudioDevices.GetMode() != CAudioDevices::kModeASIO; ++i)
            synth->ExecuteCommand(4, 0.0f);
        EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << again.Log();
        EXPECT_TRUE(g_AudioDevices.IsOpen());
    }
}

// A frozen server (SIGSTOP) keeps no call waiting, whatever the musician
// does meanwhile; once it goes on, JACK plays again on the same ports.
TEST_F(AudioDeviceTest, AFrozenServerKeepsNothingWaitingAndJackComesBack) {
    enum class Then { kChooseJackAgain, kWaitForIt, kKill };
    const struct {
        const char* what;
        bool startFrozen;  // JACK chosen while frozen (a start), else changed from it
        Then then;
    } cases[] = {
        {"the output changed during a freeze, JACK chosen again", false, Then::kChooseJackAgain},
        {"a start on a frozen server", true, Then::kWaitForIt},
        // The driver goes while the server is frozen, then the server dies:
        // its notice finds nothing of the driver's.
        {"the driver gone during a freeze, then the server killed", false, Then::kKill},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        JackServer server(44100);
        ASSERT_TRUE(server.Ok()) << server.Error();
        ClosedBeforeTheServer closeFirst;
        // A note sounds on the outputs as the server freezes (a client of
        // the test's own would not outlive a server killed under it).
        std::unique_ptr<JackRecorder> recorder;
        if (!c.startFrozen) {
            ASSERT_TRUE(OpenJack(3) && g_AudioDevices.GetMode() == CAudioDevices::kModeASIO);
        }
        if (c.then == Then::kChooseJackAgain) {
            recorder = std::make_unique<JackRecorder>(8192);
            ASSERT_TRUE(recorder->Joined());
            synth->ProcessMidiMessage(kNoteOn69, CMIDIQueue::ClockMs());
            for (int i = 0; i < 500 && synth->GetCommandValue(34) == 0.0f; ++i) Sleep(10);
        }
        kill(server.Pid(), SIGSTOP);
        ASSERT_EQ(waitpid(server.Pid(), nullptr, WUNTRACED), server.Pid());
        const auto start = std::chrono::steady_clock::now();
        if (c.startFrozen)
            EXPECT_TRUE(OpenJack());
        else
            EXPECT_TRUE(g_AudioDevices.Open(nullptr, "Default audio device", synth, 44100, 11));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
        EXPECT_EQ(g_AudioDevices.WaitsForJack(), c.startFrozen);
        if (c.then == Then::kKill) {
            kill(server.Pid(), SIGKILL);
            for (int i = 0; i < 500 && !os::OJackClientLock::ServerGone(); ++i) Sleep(10);
            os::SystemMidiPorts().InputNames();
            continue;
        }
        kill(server.Pid(), SIGCONT);
        // The ports the output left are not the server's to play again
        // while it still has them: they sound nothing.
        if (recorder) {
            recorder->Start();
            ASSERT_TRUE(recorder->Wait());
            // A loaded server may give the recorder a port's last buffer while
            // the program's first cycles run late: the cycles after them.
            float peak = 0.0f;
            for (size_t i = 4096; i < recorder->Left().size(); ++i) peak = std::max(peak, std::fabs(recorder->Left()[i]));
            EXPECT_LT(peak, 1e-6f);
            synth->ProcessMidiMessage(kNoteOff69, CMIDIQueue::ClockMs());
        }
        if (c.then == Then::kChooseJackAgain) {
            EXPECT_TRUE(OpenJack(3));
        }
        for (int i = 0; i < 1000 && g_AudioDevices.GetMode() != CAudioDevices::kModeASIO; ++i, Sleep(10))
            synth->editor->OnTimer();
        ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << server.Log();
        // The same client and ports as before, joined to the playback: a
        // patchbay wired to them hears the music again.
        JackProbe probe(64);
        ASSERT_TRUE(probe.ok);
        const char** ports = jack_get_ports(probe.client, "^zavo(-[0-9]+)?:", nullptr, 0);
        std::vector<std::string> names;
        for (size_t i = 0; ports && ports[i]; ++i) names.emplace_back(ports[i]);
        jack_free(ports);
        EXPECT_EQ(names, (std::vector<std::string>{"zavo:out_1", "zavo:out_2"}));
        jack_port_t* out = jack_port_by_name(probe.client, "zavo:out_1");
        EXPECT_TRUE(out && JackProbe::WaitFor([&] { return jack_port_connected(out) == 1; }, 3000));
    }
}

TEST_F(AudioDeviceTest, AFirstStartPicksJackWhenAServerAnswersElseTheDefaultDevice) {
    {
        JackServer server(44100);
        ASSERT_TRUE(server.Ok()) << server.Error();
        CASIODriverList::Rescan();
        EXPECT_STREQ(CAudioDevices::FirstStartName(), "JACK");
    }
    NoJackServer none;
    CASIODriverList::Rescan();
    CAudioDevices::EnumerateDirectSound();
    EXPECT_STREQ(CAudioDevices::FirstStartName(), "Default audio device");

    // So does a start whose stored output it cannot take (a name too long),
    // and the exit keeps that line as the user wrote it, as it keeps the
    // MIDI input joined by its stored name (the mask alone means "keys B").
    TempFolder config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.Path());
    const std::string mask = g_MIDIDevices.GetInputMask();
    TestMidiPorts keys;
    g_MIDIDevices.SetPorts(&keys);
    const std::string stored = "SoundDeviceOut=" + std::string(64, 'o') + "\nMIDIDeviceIn=01\nMIDIDeviceInNames=keys A";
    std::filesystem::create_directories(config / "zavo");
    WriteFile(config / "zavo/settings.ini", "[Settings]\n" + stored + "\n");
    g_GlobalData.ReadSettings();
    testing::internal::CaptureStderr();
    synth->OpenDevices();
    EXPECT_STREQ(g_GlobalData.SoundDeviceOut, "Default audio device");
    EXPECT_TRUE(keys.open.count("keys A") && !keys.open.count("keys B"));
    g_GlobalData.WriteSettings();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("SoundDeviceOut is 64 bytes long"), std::string::npos);
    EXPECT_NE(ReadFile(config / "zavo/settings.ini").find("\n" + stored + "\n"), std::string::npos);
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(&m_ports);
    g_MIDIDevices.SetInputMask(mask.c_str());
}

TEST_F(AudioDeviceTest, AnOutputThatCannotOpenIsSaidOnceAndTheFieldSaysNone) {
    NoJackServer none;
    CASIODriverList::Rescan();
    CAudioDevices::EnumerateDirectSound();
    g_AudioDevices.BuildMenu(synth->parameters.GetMenuView());
    int device = -1;  // the sound device's default, as the menu lists it
    for (int i = 0; i < CAudioDevices::kNames && device < 0; ++i)
        if (const char* name = g_AudioDevices.GetName(i); name && std::strcmp(name, "Default audio device") == 0)
            device = i;
    ASSERT_GE(device, 0);
    auto text = [&] {
        char out[64] = {};
        synth->GetCommandText(4, out, sizeof out);
        return std::string(out);
    };
    std::vector<std::string> shown;
    const os::MessageBoxHook previous =
        os::SetMessageBoxHook([&](const char* t, const char* title) { shown.push_back(std::string(title) + "|" + t); });
    {
        // Playing first, so the meters are lit when the output goes.
        synth->ExecuteCommand(4, float(device) / 128.0f);
        ASSERT_TRUE(g_AudioDevices.IsOpen());
        synth->ProcessMidiMessage(kNoteOn69, CMIDIQueue::ClockMs());
        for (int i = 0; i < 500 && synth->GetCommandValue(34) == 0.0f; ++i) Sleep(10);
        ASSERT_GT(synth->GetCommandValue(34), 0.0f) << "the meter never lit";
        ScopedEnv broken("SDL_AUDIODRIVER", "no-such-driver");
        synth->ExecuteCommand(4, float(device) / 128.0f);
    }
    EXPECT_FALSE(g_AudioDevices.IsOpen());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Audio output|The audio output \"Default audio device\" could not be opened", 0), 0u)
        << shown[0];
    EXPECT_EQ(text(), "none");
    EXPECT_EQ(synth->GetCommandValue(4) * 128.0f, float(CAudioDevices::kNames)) << "no menu row is the output";
    CUIMenuResource menu;
    ASSERT_TRUE(menu.Open(CAudioDevices::kMenuId));
    for (const MenuEntry* e = menu.First(); e; e = menu.Next()) EXPECT_EQ(e->checked, 0) << e->text;
    for (int id : {32, 34, 35}) EXPECT_EQ(synth->GetCommandValue(id), 0.0f) << id;
    char load[64];
    synth->GetCommandText(36, load, sizeof load);
    EXPECT_TRUE(std::string(load).ends_with("/ 0 %")) << "the load of what no longer plays: " << load;
    EXPECT_STREQ(g_GlobalData.SoundDeviceOut, "Default audio device") << "kept for the next start";

    // Once a device opens again it is named and nothing more is said.
    synth->ExecuteCommand(4, float(device) / 128.0f);
    EXPECT_TRUE(g_AudioDevices.IsOpen());
    EXPECT_EQ(text(), "Default audio device");
    EXPECT_EQ(shown.size(), 1u);

    // A new rate makes the output anew and a start opens the stored one (what
    // a musician meets first): each failure is said alike. ALSA, given no
    // device (the test's configuration, never the machine's card), says why
    // in the diagnostic log, not on stderr.
    TempFolder folder;
    WriteFile(folder / "asound.conf", "pcm.!default { type plug slave.pcm \"zavo_nothing\" }\n");
    ScopedEnv alsaConfig("ALSA_CONFIG_PATH", folder / "asound.conf");
    const std::string logPath = std::string(g_GlobalData.programFolder) + "Debug.txt";
    for (const bool atStart : {false, true}) {
        shown.clear();
        const size_t logged = ReadFile(logPath).size();
        testing::internal::CaptureStderr();
        {
            ScopedEnv broken("SDL_AUDIODRIVER", atStart ? "alsa" : "no-such-driver");
            atStart ? synth->OpenDevices() : synth->ExecuteCommand(99, 2.0f / 128.0f);  // 48000 Hz
        }
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(g_AudioDevices.IsOpen()) << atStart;
        const std::string said = shown.size() == 1 ? shown[0] : "";
        EXPECT_EQ(said.rfind("Audio output|The audio output \"Default audio device\" could not", 0), 0u) << said;
        EXPECT_EQ(text(), "none") << atStart;
        EXPECT_EQ(err.find("ALSA lib"), std::string::npos) << err;
        EXPECT_EQ(ReadFile(logPath).find("ALSA lib pcm.c", logged) != std::string::npos, atStart);
    }
    os::SetMessageBoxHook(previous);
}
