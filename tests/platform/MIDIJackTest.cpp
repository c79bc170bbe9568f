// The synthesizer played from a JACK MIDI port and heard on its JACK outputs,
// under a private server.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CUIMenuResource.h"
#include "os/OJackClientLock.h"
#include "os/OJackDriver.h"
#include "os/OJackClient.h"
#include "os/ORtMidiPorts.h"
#include "platform/CASIODriverList.h"
#include "platform/CAudioDevices.h"
#include "platform/CMIDIDevices.h"
#include "platform/JackProbe.h"
#include "platform/JackServer.h"
#include "tests/GlobalGuards.h"
#include "tests/core/MeasureFrequency.h"

namespace {

double Rms(const std::vector<float>& x, int64_t from, int64_t to) {
    double sum = 0.0;
    for (int64_t i = from; i < to; ++i)
        sum += double(x[size_t(i)]) * x[size_t(i)];
    return std::sqrt(sum / double(to - from));
}

// The row of that text in a menu, null when it has none.
const MenuEntry* RowOf(uint32_t menu, const std::string& text) {
    for (int row = CUIMenuResource::FindFirstRow(menu); row > 0 && CUIMenuResource::Entry(row).menuId == menu; ++row)
        if (text == CUIMenuResource::Entry(row).text)
            return &CUIMenuResource::Entry(row);
    return nullptr;
}

// The value of the row of that text in a menu, -1 when it has none.
int ValueOf(uint32_t menu, const std::string& text) {
    const MenuEntry* row = RowOf(menu, text);
    return row ? row->value : -1;
}

} // namespace

TEST(MIDIJackTest, NoteFromAJackPortSoundsInTuneAndQueuedMessagesLeaveAtTheClock) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    const int64_t rate = 44100;
    testutil::JackProbe probe(size_t(rate * 20));
    ASSERT_TRUE(probe.ok);
    // The driver list is made once and kept: a test before this one may
    // have made it before this server ran, or left a list of its own.
    CASIODriverList::Rescan();
    testutil::ScopedSettings settings;
    testutil::ScopedMenuTable menus;
    auto synth = std::make_unique<CSynth>();
    // On every way out the output closes before the synthesizer goes, and
    // the list no longer names this test's server.
    struct CloseOutput {
        ~CloseOutput() {
            g_AudioDevices.Close();
            const std::vector<CASIODriverList::Source> none;
            CASIODriverList::Rescan(&none);
        }
    } closeOutput;
    // A loaded machine can make the activation give up on a slow thread
    // start; a few tries tell that apart from a driver that never opens.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(g_AudioDevices.Open(nullptr, "JACK", synth.get(), 44100, 11));
        if (g_AudioDevices.GetMode() == CAudioDevices::kModeASIO)
            break;
    }
    ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO) << server.Log();
    synth->Resume();
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(jack_connect(probe.client, ("zavo:out_" + std::to_string(i + 1)).c_str(),
                               jack_port_name(probe.in[i])), 0);

    const std::vector<std::string> inputs = os::SystemMidiPorts().InputNames();
    EXPECT_EQ(std::count(inputs.begin(), inputs.end(), jack_port_name(probe.keys)), 1) << "each port listed once";
    const size_t keys = size_t(std::find(inputs.begin(), inputs.end(), jack_port_name(probe.keys)) - inputs.begin());
    ASSERT_LT(keys, size_t(CMIDIDevices::kMaxDevices));
    std::string mask(keys + 1, '0');
    mask.back() = '1';
    CMIDIDevices devices;
    devices.SetInputMask(mask.c_str());
    devices.SetOutputName(jack_port_name(probe.sink));
    // A MIDI client's activation can give up as well: the devices say so,
    // and are started again.
    bool started = false;
    for (int i = 0; i < 3 && !started; ++i) {
        devices.CloseAll();
        started = devices.Start(synth.get());
    }
    ASSERT_TRUE(started) << server.Log();
    // The server's graph shows a join from its next cycle on.
    auto joined = [](jack_port_t* port) {
        return testutil::JackProbe::WaitFor([&] { return jack_port_connected(port) == 1; }, 5000);
    };
    EXPECT_TRUE(joined(probe.keys));
    EXPECT_TRUE(joined(probe.sink));

    // The program's own ports are on the server but are not offered.
    const char** own = jack_get_ports(probe.client, "^zavo:midi_", nullptr, 0);
    EXPECT_TRUE(own && own[0] && own[1]);
    jack_free(own);
    for (const auto& list : {os::SystemMidiPorts().InputNames(), os::SystemMidiPorts().OutputNames()})
        for (const std::string& name : list)
            EXPECT_FALSE(os::ORtMidiPorts::IsOwnPort(name)) << name;

    // Plays the messages until the program heard one: again only when a
    // loaded server passed over a cycle (an xrun) and lost them, so a real
    // loss still fails. Answers the frame the last one was played at, -1.
    // The process callback's own queue: it never waits on the other inputs'.
    const CMIDIQueue& queue = synth->midi->realTimeQueue;
    const CMIDIQueue& shared = synth->midi->queue;
    auto playHeard = [&](std::initializer_list<std::vector<uint8_t>> messages) {
        const int32_t before = queue.writeIndex.load();
        for (int attempt = 0, xruns = probe.xruns.load(); attempt < 3; ++attempt) {
            if (attempt > 0 && probe.xruns.load() == xruns)
                break;
            xruns = probe.xruns.load();
            int64_t at = -1;
            for (const std::vector<uint8_t>& message : messages)
                at = probe.Play(message);
            if (testutil::JackProbe::WaitFor([&] { return queue.writeIndex.load() != before; }, 2000))
                return at;
        }
        return int64_t{-1};
    };

    // System exclusive is dropped; clock and note arrive.
    const int32_t first = queue.writeIndex.load();
    const int32_t sharedFirst = shared.writeIndex.load();
    ASSERT_NE(playHeard({{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xF8}}), -1);
    const int64_t quiet = probe.captured.load();
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return probe.captured.load() > quiet + rate / 2; }, 5000));
    const int64_t on = playHeard({{0x90, 69, 100}});
    ASSERT_NE(on, -1);
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return probe.captured.load() > on + rate; }, 5000));
    const int64_t off = playHeard({{0x80, 69, 0}});
    ASSERT_NE(off, -1);
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return probe.captured.load() > off + rate; }, 5000));
    EXPECT_EQ(queue.MessageAt(first), 0xF8u);
    EXPECT_EQ(queue.MessageAt((first + 1) % CMIDIQueue::kSize), 0x644590u);
    EXPECT_EQ(shared.writeIndex.load(), sharedFirst);

    // Silence before the note, onset within 100 ms, 440 Hz, decay after
    // the note-off, on both outputs.
    for (const std::vector<float>* out : {&probe.left, &probe.right}) {
        const std::vector<float>& x = *out;
        EXPECT_LT(Rms(x, on - rate / 4, on), 1e-5);
        int64_t onset = on;
        while (onset < off && std::fabs(x[size_t(onset)]) < 1e-3f)
            ++onset;
        EXPECT_LT(onset - on, rate / 10);
        const std::vector<float> held(x.begin() + onset + rate / 4, x.begin() + onset + 3 * rate / 4);
        EXPECT_NEAR(MeasureFrequency(held, double(rate)), 440.0, 1.0);
        EXPECT_LT(Rms(x, off + rate / 2, off + rate), 0.1 * Rms(x, onset + rate / 4, onset + 3 * rate / 4));
    }

    // A key on every channel and every key, 128 voices held: their 128
    // note-offs in one cycle let every voice go, and the output falls
    // silent. Messages a cycle the server passed over lost before the
    // program took them are played again, only those.
    std::vector<std::vector<uint8_t>> ons, offs;
    for (uint8_t key = 0; key < 128; ++key) {
        ons.push_back({uint8_t(0x90 | key % 16), key, 100});
        offs.push_back({uint8_t(0x80 | key % 16), key, 0});
    }
    // Played again only when the server passed over a cycle meanwhile (it
    // may have lost them), never because a loaded machine was slow: a
    // batch taken twice would play its notes twice.
    auto playTaken = [&](const std::vector<std::vector<uint8_t>>& messages) {
        for (int attempt = 0, xruns = probe.xruns.load(); attempt < 3; ++attempt) {
            if (attempt > 0 && probe.xruns.load() == xruns)
                break;
            xruns = probe.xruns.load();
            const int32_t from = queue.writeIndex.load();
            probe.PlayTogether(messages);
            auto taken = [&] { return (queue.writeIndex.load() - from + CMIDIQueue::kSize) % CMIDIQueue::kSize; };
            if (testutil::JackProbe::WaitFor([&] { return taken() >= 128; }, 10000))
                return true;
        }
        return false;
    };
    const CEngineData& engine = synth->engine.data;
    auto gated = [&] {
        int n = 0;
        for (int v = 0; v < CEngineData::kVoices; ++v)
            n += engine.ControlI(v, 78) == 1;
        return n;
    };
    ASSERT_TRUE(playTaken(ons));
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return gated() == 128; }, 5000)) << gated() << " voices";
    ASSERT_TRUE(playTaken(offs));
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] {
        const int64_t end = probe.captured.load();
        return gated() == 0 && Rms(probe.left, end - rate / 10, end) < 1e-4;
    }, 10000)) << gated() << " voices still gated; block " << engine.blockCounter.load() << ", the next due "
                   << queue.dueBlock[queue.readIndex.load()] << (queue.HasPending() ? "" : " (none pending)")
                   << ", dropped " << queue.DroppedCount();
    for (int part = 0; part < CSynth::kParts; ++part)
        EXPECT_FALSE(synth->midi->keyboard->AnyKeyDown(part)) << part;

    // A message queued at the clock reaches the port; one far ahead waits.
    uint32_t clock = CMIDIDevices::GetOutClock();
    devices.QueueOut(clock, 0x91, 60, 99);
    devices.QueueOut(clock + 44100 * 60, 0x81, 60, 0);
    // The render sets the clock back to its own count at every call and the
    // timer moves it on between calls; on a loaded machine the two can stand
    // apart for a while before the clock passes the message's time. There a
    // server can also pass over the probe for a cycle (an xrun), and the
    // message of that cycle is gone: it is queued again, only then.
    bool arrived = false;
    for (int attempt = 0, xruns = probe.xruns.load(); attempt < 3 && !arrived; ++attempt) {
        if (attempt > 0) {
            if (probe.xruns.load() == xruns)
                break;
            xruns = probe.xruns.load();
            clock = CMIDIDevices::GetOutClock();
            devices.QueueOut(clock, 0x91, 60, 99);
        }
        arrived = testutil::JackProbe::WaitFor([&] { return probe.receivedCount.load() > 0; }, 10000);
    }
    ASSERT_TRUE(arrived) << "queued at " << clock << ", the clock at " << CMIDIDevices::GetOutClock() << "\n"
                         << server.Log();
    // It goes out once, also when the output closes right after the cycle
    // that sent it: JACK keeps an output's buffer as its last cycle left it.
    devices.CloseOutputs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(probe.receivedCount.load(), 1);
    for (int i = 0; i < probe.receivedCount.load(); ++i)
        EXPECT_EQ(probe.received[i].bytes, (std::vector<uint8_t>{0x91, 60, 99})) << "only the message at the clock";

    // A key held down while the menu opens stays down: the input joined is
    // kept as it is, not joined anew (which lets go of its keys).
    ASSERT_NE(playHeard({{0x90, 72, 100}}), -1);
    const int32_t held = queue.writeIndex.load();
    const int32_t sharedHeld = shared.writeIndex.load();
    devices.BuildMenus(synth->parameters.GetMenuView());
    EXPECT_EQ(queue.writeIndex.load(), held);
    EXPECT_EQ(shared.writeIndex.load(), sharedHeld) << "no key let go of";
    ASSERT_NE(playHeard({{0x80, 72, 0}}), -1);

    // A keyboard chosen in the menu and plugged out lets go without a look
    // at the menu; plugged in again it is joined again. Meanwhile the menu
    // keeps the rows it shows: a click means the port it showed on that row.
    jack_port_t* pad = jack_port_register(probe.client, "pad", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_port_t* drum = jack_port_register(probe.client, "drum", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(pad && drum);
    const std::string padName = jack_port_name(pad);
    devices.BuildMenus(synth->parameters.GetMenuView());
    auto rowOf = [&](const std::string& name) {
        int row = 0;
        while (row < CMIDIDevices::kMaxDevices && name != devices.inputDeviceNames[row])
            ++row;
        return row;
    };
    const int padRow = rowOf(padName);
    const int drumRow = rowOf(jack_port_name(drum));
    ASSERT_LT(padRow, drumRow);  // the pad goes ahead of the drum's row
    ASSERT_LT(drumRow, CMIDIDevices::kMaxDevices);
    devices.ToggleInput(padRow);
    EXPECT_TRUE(joined(pad));
    // The program's port a keyboard is joined to is named by the row of the
    // choice, whatever order the keyboards came in.
    auto joinedAs = [](jack_port_t* port, int row) {
        const std::string own = std::string(os::ORtMidiPorts::kClientName) + ":midi_in" +
                                (row == 0 ? "" : "_" + std::to_string(row + 1));
        return jack_port_connected_to(port, own.c_str()) == 1;
    };
    ASSERT_EQ(jack_port_unregister(probe.client, pad), 0);
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.FollowPorts(), !devices.IsInputOpen(padRow); }, 5000));
    devices.ToggleInput(drumRow);
    EXPECT_TRUE(joined(drum));
    pad = jack_port_register(probe.client, "pad", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(pad);
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.FollowPorts(), jack_port_connected(pad) == 1; }, 5000));
    EXPECT_TRUE(devices.IsInputOpen(padRow));
    EXPECT_TRUE(joinedAs(pad, padRow) && joinedAs(drum, drumRow));
    // Gone and back within a cycle: the input reads as not joined, and is
    // joined anew.
    ASSERT_EQ(jack_port_unregister(probe.client, pad), 0);
    pad = jack_port_register(probe.client, "pad", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(pad);
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.FollowPorts(), jack_port_connected(pad) == 1; }, 5000));
    jack_port_unregister(probe.client, pad);
    jack_port_unregister(probe.client, drum);

    // Once the inputs are closed nothing more arrives.
    devices.CloseInputs();
    const int32_t closed = queue.writeIndex.load();
    probe.Play({0x90, 70, 100});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(queue.writeIndex.load(), closed);
    // Each input closed frees its slot: the 33rd of one keyboard opens too.
    std::string error;
    for (int i = 0; i < 33; ++i)
        ASSERT_TRUE(os::SystemMidiPorts().OpenInput(jack_port_name(probe.keys), 0,
                                                    [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error)) << i << error;

    // While the client's cycle does not run (its server stopped) the
    // output's ring takes what it holds and refuses the rest at once,
    // counted (a cycle under way as it stopped may take a few).
    ASSERT_TRUE(devices.OpenOutput());
    kill(server.Pid(), SIGSTOP);
    EXPECT_EQ(waitpid(server.Pid(), nullptr, WUNTRACED), server.Pid());
    const uint32_t dropped = devices.DroppedOutCount();
    for (uint32_t i = 0; i < os::OJackClient::kRingSize + 63; ++i) {
        devices.QueueOut(CMIDIDevices::GetOutClock(), 0xF8, 0, 0);
        devices.FlushOut();
    }
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.DroppedOutCount() - dropped >= 56; }, 2000));
    EXPECT_LE(devices.DroppedOutCount() - dropped, 64u);
    kill(server.Pid(), SIGCONT);
    devices.CloseAll();
    g_AudioDevices.Close();
}

TEST(MIDIJackTest, NothingIsJoinedUntilChosenAndPortsMadeLaterAreOfferedAsTheMenusOpen) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testutil::JackProbe probe(1024);
    ASSERT_TRUE(probe.ok);
    testutil::ScopedSettings settings;
    testutil::ScopedMenuTable menus;
    CASIODriverList::Rescan();
    auto synth = std::make_unique<CSynth>();
    // The audio on JACK: its client hears of ports made and removed.
    struct CloseDevices {
        ~CloseDevices() {
            g_MIDIDevices.CloseAll();
            g_MIDIDevices.SetPorts(nullptr);
            g_AudioDevices.Close();
            const std::vector<CASIODriverList::Source> none;
            CASIODriverList::Rescan(&none);
        }
    } closeDevices;
    auto onJack = [] { return g_AudioDevices.IsOpen() && g_AudioDevices.GetMode() == CAudioDevices::kModeASIO; };
    for (int i = 0; i < 3 && !onJack(); ++i)
        ASSERT_TRUE(g_AudioDevices.Open(nullptr, "JACK", synth.get(), 44100, 11));
    ASSERT_TRUE(onJack()) << server.Log();
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(nullptr);

    // Nothing stored: the probe's MIDI input is on the server, and is left
    // alone; the program has no output port at all.
    g_MIDIDevices.SetInputMask("");
    g_MIDIDevices.SetOutputName("");
    ASSERT_TRUE(g_MIDIDevices.Start(synth.get()));
    EXPECT_EQ(g_MIDIDevices.GetOutputDevice(), 0);
    const char** own = jack_get_ports(probe.client, "^zavo(-[0-9]+)?:midi_out$", nullptr, 0);
    EXPECT_EQ(own, nullptr);
    jack_free(own);
    EXPECT_EQ(jack_port_connected(probe.sink), 0);

    // Ports made after the start are in the menus as they open.
    jack_port_t* late = jack_port_register(probe.client, "late", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_port_t* lateKeys = jack_port_register(probe.client, "late_keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(late && lateKeys);
    synth->editor->PrepareMenu(CMIDIDevices::kInputMenu);
    EXPECT_GE(ValueOf(CMIDIDevices::kInputMenu, jack_port_name(lateKeys)), 0);
    synth->editor->PrepareMenu(CMIDIDevices::kOutputMenu);
    EXPECT_EQ(ValueOf(CMIDIDevices::kOutputMenu, "none"), 0);
    const int value = ValueOf(CMIDIDevices::kOutputMenu, jack_port_name(late));
    ASSERT_GT(value, 0);

    // Chosen, it is joined; "none" lets it go.
    synth->ExecuteCommand(2, float(value) / 128.0f);
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return jack_port_connected(late) == 1; }, 3000)) << server.Log();
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, jack_port_name(late));
    synth->ExecuteCommand(2, 0.0f);
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return jack_port_connected(late) == 0; }, 3000));
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "none");
    EXPECT_EQ(jack_port_connected(probe.sink), 0);

    // A keyboard chosen in the menu that goes away and is made again before
    // anyone looked is joined anew as the menu opens; the choice outlasts
    // it being away, also at exit.
    const std::string keysName = jack_port_name(lateKeys);
    const int keysRow = ValueOf(CMIDIDevices::kInputMenu, keysName);
    ASSERT_GE(keysRow, 0);
    synth->ExecuteCommand(1, float(keysRow) / 128.0f);
    const std::string chosen = g_GlobalData.MIDIDeviceIn;
    EXPECT_EQ(chosen[size_t(keysRow)], '1');
    // The window's timer follows the server's ports.
    ASSERT_EQ(jack_port_unregister(probe.client, lateKeys), 0);
    EXPECT_TRUE(testutil::JackProbe::WaitFor(
        [&] { return synth->editor->OnTimer(), !g_MIDIDevices.IsInputOpen(keysRow); }, 5000));
    lateKeys = jack_port_register(probe.client, "late_keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(lateKeys);
    EXPECT_TRUE(testutil::JackProbe::WaitFor(
        [&] { return synth->editor->OnTimer(), jack_port_connected(lateKeys) == 1; }, 5000));
    ASSERT_EQ(jack_port_unregister(probe.client, lateKeys), 0);
    lateKeys = jack_port_register(probe.client, "late_keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ASSERT_TRUE(lateKeys);
    synth->editor->PrepareMenu(CMIDIDevices::kInputMenu);
    // The server's graph shows the join from its next cycle on.
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return jack_port_connected(lateKeys) == 1; }, 5000));
    const MenuEntry* row = RowOf(CMIDIDevices::kInputMenu, keysName);
    ASSERT_TRUE(row);
    EXPECT_TRUE(row->checked);
    ASSERT_EQ(jack_port_unregister(probe.client, lateKeys), 0);
    g_MIDIDevices.CloseAll();
    EXPECT_EQ(g_GlobalData.MIDIDeviceIn, chosen);

    // A port of a client that never runs cannot be joined: the click that
    // gave up chooses and opens nothing. Chosen all the same (stored), it is
    // tried again at the few ticks after a change of the server's ports, not
    // at every tick: the program's own ports that each try makes and removes
    // are no change.
    const std::string idleName = testutil::UniqueJackName("idle");
    jack_client_t* idle = testutil::OpenJackClient(idleName);
    ASSERT_TRUE(idle);
    ASSERT_TRUE(jack_port_register(idle, "dead", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0));
    const std::string deadName = std::string(jack_get_client_name(idle)) + ":dead";
    synth->editor->PrepareMenu(CMIDIDevices::kInputMenu);
    const int deadRow = ValueOf(CMIDIDevices::kInputMenu, deadName);
    ASSERT_GE(deadRow, 0);
    synth->ExecuteCommand(1, float(deadRow) / 128.0f);
    EXPECT_FALSE(g_MIDIDevices.IsInputOpen(deadRow));
    EXPECT_EQ(g_GlobalData.MIDIDeviceIn[deadRow], '0');
    struct CountedPorts : os::ORtMidiPorts {
        std::unique_ptr<os::OMidiInput> OpenInput(const std::string& name, int place, os::MidiInputCallback callback,
                                                  void* user, std::string& error) override {
            if (++tries, refuse > 0 && refuse-- > 0)
                return nullptr;
            return ORtMidiPorts::OpenInput(name, place, callback, user, error);
        }
        int tries = 0, refuse = 0;
    } counted;
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(&counted);
    g_MIDIDevices.SetInputMask("1", deadName);
    EXPECT_FALSE(g_MIDIDevices.Start(synth.get()));
    EXPECT_EQ(counted.tries, 1);
    // Ticks until no try came for 300 ms: what the server had to say of the
    // ports made before is heard by then.
    int seen = counted.tries;
    auto since = std::chrono::steady_clock::now();
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] {
        synth->editor->OnTimer();
        if (counted.tries != seen) {
            seen = counted.tries;
            since = std::chrono::steady_clock::now();
        }
        return std::chrono::steady_clock::now() - since > std::chrono::milliseconds(300);
    }, 10000)) << counted.tries << " tries";
    EXPECT_FALSE(g_MIDIDevices.IsInputOpen(deadRow));

    // A join refused as its port came (the server now and then does not
    // know yet a port it announced) is tried again at the next tick.
    counted.refuse = 1;
    jack_port_t* again = jack_port_register(probe.client, "again", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    g_MIDIDevices.SetInputMask("1", jack_port_name(again));
    EXPECT_TRUE(testutil::JackProbe::WaitFor(
        [&] { return synth->editor->OnTimer(), jack_port_connected(again) == 1; }, 5000));
    EXPECT_EQ(counted.refuse, 0);
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(nullptr);
    testutil::CloseJackClient(idle);
}

// Run only by the test below, in a process of its own: a keyboard and a
// sound module on the server JACK_DEFAULT_SERVER names, until it goes. The
// process ends without closing its client: libjack can hang closing a
// client whose server's end it is still handling.
TEST(MIDIJackTest, DISABLED_AKeyboardOfItsOwn) {
    testutil::JackProbe probe(1024);
    ASSERT_TRUE(probe.ok);
    std::printf("active\n");
    std::fflush(stdout);
    testutil::JackProbe::WaitFor([&] { return probe.gone.load(); }, 60000);
    std::_Exit(0);
}

// With the audio on the sound device the program's MIDI client is its only
// one on the server: its own shutdown notice lets go of the input within a
// few ticks, and the output drops what it cannot send instead of waiting.
TEST(MIDIJackTest, AServerThatDiesWithOnlyMidiOnItIsLetGoOfWithoutAWait) {
    testutil::ScopedSettings settings;
    auto synth = std::make_unique<CSynth>();
    for (int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(signal);
        testutil::JackServer server;
        ASSERT_TRUE(server.Ok()) << server.Error();
        testutil::TempFolder folder;
        const pid_t child = testutil::SpawnThisTest("MIDIJackTest.DISABLED_AKeyboardOfItsOwn", {}, folder / "out");
        ASSERT_GT(child, 0);
        struct Reap {
            pid_t pid;
            ~Reap() {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        } reap{child};
        ASSERT_TRUE(testutil::JackProbe::WaitFor(
            [&] { return testutil::ReadFile(folder / "out").find("active\n") != std::string::npos; }, 10000))
            << testutil::ReadFile(folder / "out");
        // The child's client is named after its process.
        const std::string client = "zavo-test-probe-" + std::to_string(child) + "-0:";
        // A keyboard of this process, closed before the server goes.
        auto pads = std::make_unique<testutil::JackProbe>(64);
        jack_port_t* pad = jack_port_register(pads->client, "pad", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        ASSERT_TRUE(pads->ok && pad);
        CMIDIDevices devices;
        devices.SetInputMask("11", client + "keys," + jack_port_name(pad));
        devices.SetOutputName((client + "sink").c_str());
        bool started = false;
        for (int i = 0; i < 3 && !started; ++i) {
            devices.CloseAll();
            started = devices.Start(synth.get());
        }
        ASSERT_TRUE(started) << server.Log();
        ASSERT_TRUE(devices.IsInputOpen(0));
        // No audio client on the server: the MIDI client hears itself of a
        // keyboard that leaves and comes back, and it is joined again.
        ASSERT_EQ(jack_port_unregister(pads->client, pad), 0);
        pad = nullptr;
        // The server may hold the name until its next cycle.
        ASSERT_TRUE(testutil::JackProbe::WaitFor([&] {
            return pad || (pad = jack_port_register(pads->client, "pad", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0));
        }, 2000));
        EXPECT_TRUE(testutil::JackProbe::WaitFor(
            [&] { return devices.FollowPorts(), jack_port_connected(pad) == 1; }, 5000));
        pads.reset();
        server.Kill(signal);
        EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.FollowPorts(), !devices.IsInputOpen(0); }, 5000));
        // The output drops what comes after the client's notice, long before
        // its ring would be full; the program's next look lets go of the
        // client. Then more than any ring holds is dropped, each at once.
        auto send = [&] {
            devices.QueueOut(CMIDIDevices::GetOutClock(), 0x90, 60, 100);
            devices.FlushOut();
        };
        uint32_t dropped = devices.DroppedOutCount();
        int sent = 0;
        EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return send(), ++sent, devices.DroppedOutCount() != dropped; },
                                                 10000));
        EXPECT_LT(sent, int(os::OJackClient::kRingSize));
        EXPECT_TRUE(os::SystemMidiPorts().InputNames().empty());
        dropped = devices.DroppedOutCount();
        for (int i = 0; i < 2000; ++i)
            send();
        // The timer's flush may hold the last few a moment.
        EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return devices.DroppedOutCount() == dropped + 2000; }, 5000))
            << devices.DroppedOutCount() - dropped;
        devices.CloseAll();
    }
}

// The program's MIDI client goes with a let-go, and is let go of once when
// its server dies after it was opened again.
TEST(MIDIJackTest, ALetGoClosesTheClientAndADeadServerLetsItGoOnce) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testutil::JackProbe probe(1024);
    ASSERT_TRUE(probe.ok);
    auto known = [&] {
        char* uuid = jack_get_uuid_for_client_name(probe.client, os::ORtMidiPorts::kClientName);
        jack_free(uuid);
        return uuid != nullptr;
    };
    os::SystemMidiPorts().InputNames();
    EXPECT_TRUE(known());
    os::SystemMidiPorts().LetGo();
    EXPECT_FALSE(known());
    os::SystemMidiPorts().InputNames();
    kill(server.Pid(), SIGKILL);
    ASSERT_TRUE(testutil::JackProbe::WaitFor([] { return os::OJackClientLock::ServerGone(); }, 5000));
    testing::internal::CaptureStderr();
    // The let-go waits for the client's notification thread to end, no
    // more: its close is done at once.
    const auto start = std::chrono::steady_clock::now();
    { os::OJackClientLock guard; }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("NULL"), std::string::npos) << said;
    EXPECT_FALSE(os::OJackClientLock::ServerGone());
}

// A server that stops running its cycles (SIGSTOP) keeps no call of the
// program waiting: a port let go of while it is frozen goes once it runs
// again, and nothing is opened on it meanwhile.
TEST(MIDIJackTest, AFrozenServerKeepsNoCallWaiting) {
    testutil::JackServer server;
    ASSERT_TRUE(server.Ok()) << server.Error();
    testutil::JackProbe probe(1024);
    ASSERT_TRUE(probe.ok);
    std::string error;
    auto input = os::SystemMidiPorts().OpenInput(jack_port_name(probe.keys), 0, [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error);
    ASSERT_TRUE(input) << error;
    auto early = os::SystemMidiPorts().OpenInput(jack_port_name(probe.keys), 1, [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error);
    ASSERT_TRUE(early) << error;
    auto ownPorts = [&] {
        const char** ports = jack_get_ports(probe.client, "^zavo(-[0-9]+)?:midi_in", nullptr, 0);
        jack_free(ports);
        return ports != nullptr;
    };
    ASSERT_TRUE(ownPorts());
    kill(server.Pid(), SIGSTOP);
    // Should a call wait after all, the server goes on and the call ends.
    std::atomic<bool> done{false};
    std::thread thaw([&] {
        testutil::JackProbe::WaitFor([&] { return done.load(); }, 20000);
        kill(server.Pid(), SIGCONT);
    });
    // Closed before the freeze shows in the server's times: not waited for
    // either.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto closing = std::chrono::steady_clock::now();
    early.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(1));
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return !os::OJackClient::Answers(probe.client); }, 5000));
    const auto start = std::chrono::steady_clock::now();
    input.reset();
    EXPECT_FALSE(os::SystemMidiPorts().OpenInput(jack_port_name(probe.keys), 0, [](void*, uint32_t, uint32_t, int32_t) {}, nullptr, error));
    EXPECT_EQ(error, "the JACK server does not answer");
    EXPECT_FALSE(os::OJackClient::ServerAnswers());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    done.store(true);
    thaw.join();
    ASSERT_TRUE(testutil::JackProbe::WaitFor([&] { return os::OJackClient::Answers(probe.client); }, 5000));
    // The window's ticks tidy up once the server's cycles show again.
    EXPECT_TRUE(testutil::JackProbe::WaitFor([&] { return os::SystemMidiPorts().Tidy(), !ownPorts(); }, 5000));
}
