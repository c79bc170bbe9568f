// The devices and the synthesizer's lifetime: deleting a synthesizer stops
// every thread that calls into it (JACK cycles, the ring's refill timer, MIDI
// inputs) before anything of it goes, and closing a MIDI input lets go of
// the keys and the pedal it holds.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "platform/CASIODriverList.h"
#include "platform/CASIOManager.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackServer.h"
#include "platform/TestMidiPorts.h"
#include "tests/core/MidiFixture.h"

using namespace testutil;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class DevicesRestored : public ::testing::Test {
protected:
    void TearDown() override {
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(nullptr);
        g_MIDIDevices.SetInputMask(m_mask.c_str());
        g_AudioDevices.Close();
        const std::vector<CASIODriverList::Source> none;
        CASIODriverList::Rescan(&none);
    }
    TestMidiPorts ports;
    std::string m_mask = g_MIDIDevices.GetInputMask();
    ScopedEnv m_sdl{"SDL_AUDIODRIVER", "dummy"};
};

} // namespace

TEST_F(DevicesRestored, ASynthesizerDeletedWhileItsOutputsPlayAndAnInputSendsLeavesNothingCallingIt) {
    JackServer server(44100);
    ASSERT_TRUE(server.Ok()) << server.Error();
    CASIODriverList::Rescan();
    ports.playing = true;
    g_MIDIDevices.SetPorts(&ports);
    for (int i = 0; i < 50; ++i) {
        SCOPED_TRACE(i);
        auto* synth = new CSynth();
        g_MIDIDevices.SetInputMask("11");
        g_MIDIDevices.Start(synth);
        // JACK and the sound device in turn; every fifth time the sound
        // device first and JACK over it, so that both have run.
        const bool jack = i % 2 == 0;
        if (i % 5 == 4) g_AudioDevices.Open(nullptr, "Default audio device", synth, 44100, 11);
        g_AudioDevices.Open(nullptr, jack ? "JACK" : "Default audio device", synth, 44100, 11);
        ASSERT_EQ(g_AudioDevices.GetMode(), jack ? CAudioDevices::kModeASIO : CAudioDevices::kModeDirectSound)
            << server.Log();
        synth->Resume();
        const uint32_t start = synth->engine.data.blockCounter;
        const long sent = ports.delivered.load();
        for (int k = 0; k < 500 && (synth->engine.data.blockCounter - start < 16 || ports.delivered.load() == sent);
             ++k)
            Sleep(2);
        ASSERT_GE(synth->engine.data.blockCounter - start, 16u) << "the output never rendered";
        delete synth;
        EXPECT_FALSE(g_ASIOManager.IsOpen());
        EXPECT_FALSE(g_DirectSoundOut.IsOpen());
        EXPECT_TRUE(ports.open.empty());
        EXPECT_EQ(g_MIDIDevices.GetSynth(), nullptr);
    }
}

// One synthesizer with two inputs; keys and pedal are played through the
// inputs' callbacks and the engine is rendered by hand.
class HeldNotesTest : public SynthFixture {
protected:
    void SetUp() override {
        SynthFixture::SetUp();
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(&ports);
        g_MIDIDevices.SetInputMask("11");
        g_MIDIDevices.Start(synth);
    }
    void TearDown() override {
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetPorts(nullptr);
        g_MIDIDevices.SetInputMask(m_mask.c_str());
        synth->ProcessMidiMessage(0xB0u | 123u << 8, CMIDIQueue::ClockMs());
        Settle();
    }
    // Renders until every queued message was carried out.
    void Settle() {
        for (int i = 0; i < 8 || (i < 64 && synth->midi->queue.HasPending()); ++i) Render(256);
    }
    // Whether a voice sounds key with its gate open (any part).
    bool Gated(int key) {
        CEngineData& d = synth->engine.data;
        for (int v = 0; v < d.voicesInUse; ++v)
            if (d.ControlI(v, 73) == key && d.ControlI(v, 78) == 1) return true;
        return false;
    }
    // Whether a voice holds key: gated, or kept by the pedal (its gate
    // closed, its amplitude envelope not yet released).
    bool Held(int key) {
        CEngineData& d = synth->engine.data;
        for (int v = 0; v < d.voicesInUse; ++v)
            if (d.ControlI(v, 73) == key && (d.ControlI(v, 78) == 1 || d.ControlI(v, 103) < 3)) return true;
        return false;
    }
    TestMidiPorts ports;
    std::string m_mask = g_MIDIDevices.GetInputMask();
};

TEST_F(HeldNotesTest, ClosingAnInputReleasesTheKeysAndThePedalItHolds) {
    const struct {
        const char* how;
        bool pedal;
        bool closeAll;  // a device change rather than the input's menu row
        int32_t frame;  // key 64 read in the cycle that renders it, at that frame
    } cases[] = {
        {"menu row", false, false, os::kNotInCycle},
        {"menu row, pedal down", true, false, os::kNotInCycle},
        {"device change", false, true, os::kNotInCycle},
        // Its note-on waits in the render's own queue, timed at its frame:
        // the close's note-off comes after it all the same.
        {"closed before its note played", false, false, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_EQ(ports.open.size(), 2u);
        TestMidiPorts::Input& a = *ports.open.at("keys A");
        TestMidiPorts::Input& b = *ports.open.at("keys B");
        if (c.pedal) a.Play(0x7F40B0u);
        a.Play(0x644090u, c.frame, c.frame == os::kNotInCycle ? 0 : 4500);  // key 64 on input A
        a.Play(0x644390u);  // key 67, released again: not held
        a.Play(0x004380u);
        b.Play(0x644890u);  // key 72 on input B
        if (c.frame == os::kNotInCycle) {
            Settle();
            ASSERT_TRUE(Gated(64));
            ASSERT_TRUE(Gated(72));
            ASSERT_EQ(Held(67), c.pedal);
        }
        if (c.closeAll)
            g_MIDIDevices.CloseAll();
        else
            synth->ExecuteCommand(1, 0.0f);  // input A off
        Settle();
        EXPECT_FALSE(Held(64));
        EXPECT_FALSE(Held(67)) << "kept by a pedal nobody can lift";
        EXPECT_EQ(Gated(72), !c.closeAll) << "the other input's key";
        EXPECT_FALSE(g_MIDIDevices.IsInputOpen(0));
        EXPECT_EQ(g_MIDIDevices.IsInputOpen(1), !c.closeAll) << "the other input stays open";
        // Both open again for the next case, with nothing held.
        synth->ProcessMidiMessage(0xB0u | 123u << 8, CMIDIQueue::ClockMs());
        g_MIDIDevices.CloseAll();
        g_MIDIDevices.SetInputMask("11");
        g_MIDIDevices.Start(synth);
        Settle();
    }
}
