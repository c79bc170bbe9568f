// The device commands of the synthesizer against headless servers: a
// private JACK server, SDL's dummy driver and MIDI ports of the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "os/OMidiPorts.h"
#include "platform/CASIODriverList.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackServer.h"
#include "tests/core/MidiFixture.h"

using namespace testutil;

namespace {

class TestPorts : public os::OMidiPorts {
public:
    struct Port : os::OMidiInput, os::OMidiOutput {
        bool Send(uint32_t) override { return true; }
    };
    std::vector<std::string> InputNames() override { return {"keys A", "keys B"}; }
    std::vector<std::string> OutputNames() override { return {"out A", "out B"}; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string&, int, os::MidiInputCallback, void*, std::string&) override {
        return std::make_unique<Port>();
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string&, std::string&) override {
        return std::make_unique<Port>();
    }
};

class DeviceCommandTest : public SynthFixture {
protected:
    void TearDown() override {
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(nullptr);
        g_AudioDevices.Close();
        // The latency command set the sound device's own latency.
        g_DirectSoundOut.SetLatency(m_latency);
        const std::vector<CASIODriverList::Source> none;
        CASIODriverList::Rescan(&none);
    }
    std::string Text(int id) {
        char out[64] = {};
        synth->GetCommandText(id, out, sizeof(out));
        return out;
    }
    ScopedEnv m_sdl{"SDL_AUDIODRIVER", "dummy"};
    TestPorts ports;
    const int32_t m_latency = g_DirectSoundOut.GetLatency();
};

} // namespace

TEST_F(DeviceCommandTest, CommandsSwitchAndReportTheDevices) {
    JackServer server(44100);
    ASSERT_TRUE(server.Ok()) << server.Error();
    CASIODriverList::Rescan();
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(&ports);
    CAudioDevices::EnumerateDirectSound();
    g_AudioDevices.BuildMenu(synth->parameters.GetMenuView());
    int jack = -1, other = -1;
    for (int i = 0; i < CAudioDevices::kNames; ++i) {
        const char* name = g_AudioDevices.GetName(i);
        if (!name || !*name)
            continue;
        if (std::strcmp(name, "JACK") == 0)
            jack = i;
        else if (other < 0)
            other = i;
    }
    ASSERT_GE(jack, 0);
    ASSERT_GE(other, 0);

    synth->ExecuteCommand(4, static_cast<float>(jack) / 128.0f);
    EXPECT_EQ(Text(4), "JACK");
    EXPECT_EQ(Text(96), "JACK");
    EXPECT_FLOAT_EQ(synth->GetCommandValue(4) * 128.0f, static_cast<float>(jack + 1)) << "the menu row";
    synth->ExecuteCommand(97, 0.0f);

    synth->ExecuteCommand(4, static_cast<float>(other) / 128.0f);
    EXPECT_EQ(Text(4), g_AudioDevices.GetName(other));
    synth->ExecuteCommand(96, 10.0f / 128.0f);
    EXPECT_FLOAT_EQ(synth->GetCommandValue(96) * 128.0f, 10.0f);
    synth->ExecuteCommand(96, 1e30f);
    EXPECT_FLOAT_EQ(synth->GetCommandValue(96) * 128.0f, 10.0f) << "out of 1..127: kept";
    EXPECT_NE(Text(96).find("ms"), std::string::npos);
    synth->ExecuteCommand(97, 0.0f);

    // Command 4 started the MIDI devices on the test's ports; output row 0
    // is "none".
    synth->ExecuteCommand(2, 2.0f / 128.0f);
    EXPECT_EQ(Text(2), "out B");
    const bool wasOpen = g_MIDIDevices.IsInputOpen(1);
    synth->ExecuteCommand(1, 1.0f / 128.0f);
    EXPECT_NE(g_MIDIDevices.IsInputOpen(1), wasOpen);
    synth->ExecuteCommand(1, 1.0f / 128.0f);
    EXPECT_EQ(g_MIDIDevices.IsInputOpen(1), wasOpen);
    for (float bad : {-1.0f, 1e30f}) {
        synth->ExecuteCommand(1, bad);
        synth->ExecuteCommand(2, bad);
    }
    EXPECT_EQ(Text(2), "out B");
    synth->ExecuteCommand(2, 1.0f / 128.0f);
    EXPECT_EQ(Text(2), "out A");
    synth->ExecuteCommand(2, std::nanf(""));
    EXPECT_EQ(Text(2), "none") << "NaN carries 0";

    // The awkward values of the command sweep, on the devices.
    for (int id : {1, 2, 4, 96, 97})
        for (float v : {-1e30f, -1.0f, 0.0f, 0.5f, 1.0f, 130.0f, 1e30f, std::nanf("")}) {
            synth->ExecuteCommand(id, v);
            EXPECT_FALSE(std::isnan(synth->GetCommandValue(id)));
            EXPECT_LT(Text(id).size(), 64u);
        }
}
