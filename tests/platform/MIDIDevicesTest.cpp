#include "platform/CMIDIDevices.h"

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gui/CUIMenuResource.h"
#include "os/ORtMidiPorts.h"
#include "platform/CGlobalData.h"

namespace {

// Ports that exist only in the test: inputs the test plays into, outputs
// that keep what was sent to them.
class FakePorts : public os::OMidiPorts {
public:
    struct Input : os::OMidiInput {
        Input(FakePorts& o, std::string n, os::MidiInputCallback c, void* u)
            : owner(o), name(std::move(n)), callback(c), user(u) {}
        ~Input() override { owner.open.erase(name); }
        FakePorts& owner;
        std::string name;
        os::MidiInputCallback callback;
        void* user;
    };
    struct Output : os::OMidiOutput {
        explicit Output(FakePorts& o) : owner(o) {}
        ~Output() override { owner.outputOpen = false; }
        bool Send(uint32_t message) override {
            if (owner.sendDelay.count())
                std::this_thread::sleep_for(owner.sendDelay);
            owner.sent.push_back(message);
            return true;
        }
        FakePorts& owner;
    };

    std::vector<std::string> InputNames() override { return inputs; }
    std::vector<std::string> OutputNames() override { return outputs; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string& name, os::MidiInputCallback callback,
                                              void* user, std::string& error) override {
        if (refused.count(name)) {
            error = "refused " + name;
            return nullptr;
        }
        auto input = std::make_unique<Input>(*this, name, callback, user);
        open[name] = input.get();
        return input;
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string& name, std::string& error) override {
        if (refused.count(name)) {
            error = "refused " + name;
            return nullptr;
        }
        openedOutput = name;
        outputOpen = true;
        return std::make_unique<Output>(*this);
    }

    static std::vector<std::string> Named(const char* stem, int count) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            names.push_back(stem + std::to_string(i));
        return names;
    }
    std::set<std::string> OpenNames() const {
        std::set<std::string> names;
        for (auto& [name, input] : open)
            names.insert(name);
        return names;
    }

    std::vector<std::string> inputs, outputs;
    std::set<std::string> refused;
    std::map<std::string, Input*> open;
    std::string openedOutput;
    bool outputOpen = false;
    std::vector<uint32_t> sent;
    std::chrono::microseconds sendDelay{0};
};

class MIDIDevicesTest : public testing::Test {
protected:
    void SetUp() override {
        savedRate = g_GlobalData.sampleRate;
        g_GlobalData.sampleRate = 44100;
        devices.SetPorts(&ports);
    }
    void TearDown() override {
        devices.CloseAll();
        g_GlobalData.sampleRate = savedRate;
    }
    // Item texts and check marks of a device menu, in position order.
    static std::vector<std::string> Menu(uint32_t id, std::string* checks = nullptr) {
        CUIMenuResource view;
        std::vector<std::string> texts;
        if (!view.Open(id))
            return texts;
        for (const MenuEntry* e = view.First(); e; e = view.Next()) {
            texts.push_back(e->text);
            if (checks)
                *checks += e->checked ? '1' : '0';
        }
        return texts;
    }

    int32_t savedRate = 44100;
    FakePorts ports;
    CMIDIDevices devices;
};

} // namespace

TEST_F(MIDIDevicesTest, InputMaskOpensTheMarkedDevices) {
    ports.inputs = FakePorts::Named("in", 6);
    struct Case {
        const char* mask;
        std::set<std::string> open;
        const char* kept;  // the mask in use afterwards
    } cases[] = {
        {"0101", {"in1", "in3"}, "0101"},
        {"x111", {}, "00000000000000000000000000000000"},  // not a mask: stays all '0'
        {"", {}, "00000000000000000000000000000000"},
        {"1", {"in0"}, "1"},
        {"0000001", {}, "0000001"},  // no seventh device
    };
    for (const Case& c : cases) {
        CMIDIDevices fresh;
        fresh.SetPorts(&ports);
        fresh.SetInputMask(c.mask);
        EXPECT_TRUE(fresh.OpenInputs()) << c.mask;
        EXPECT_EQ(ports.OpenNames(), c.open) << c.mask;
        EXPECT_STREQ(fresh.GetInputMask(), c.kept) << c.mask;
        EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, c.kept) << c.mask;
        fresh.CloseInputs();
        EXPECT_TRUE(ports.open.empty());
    }
}

TEST_F(MIDIDevicesTest, ToggleInputPadsTheMaskAndIgnoresIndexesWithoutASlot) {
    ports.inputs = FakePorts::Named("in", 40);
    devices.SetInputMask("01");
    ASSERT_TRUE(devices.OpenInputs());
    devices.ToggleInput(5);
    EXPECT_STREQ(devices.GetInputMask(), "010001");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, "010001");
    EXPECT_EQ(ports.OpenNames(), (std::set<std::string>{"in1", "in5"}));
    devices.ToggleInput(1);
    EXPECT_STREQ(devices.GetInputMask(), "000001");
    devices.ToggleInput(31);
    EXPECT_EQ(std::string(devices.GetInputMask()).size(), 32u);
    EXPECT_EQ(ports.OpenNames(), (std::set<std::string>{"in5", "in31"}));
    for (int32_t index : {-1, 32, 40, 1000}) {
        devices.ToggleInput(index);
        EXPECT_EQ(ports.OpenNames(), (std::set<std::string>{"in5", "in31"})) << index;
    }
    EXPECT_EQ(std::string(devices.GetInputMask()).size(), 32u);
}

TEST_F(MIDIDevicesTest, StartOpensOutputByNameOnlyAfterTheInputs) {
    ports.inputs = {"a", "b", "c"};
    ports.outputs = {"X", "Y", "Z"};
    devices.SetInputMask("111");
    devices.SetOutputName("Y");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "Y");
    EXPECT_TRUE(devices.Start(nullptr));
    EXPECT_EQ(devices.GetOutputDevice(), 1);
    EXPECT_EQ(ports.openedOutput, "Y");
    devices.CloseAll();
    EXPECT_FALSE(ports.outputOpen);
    EXPECT_TRUE(ports.open.empty());

    // A failing input stops the later ones and keeps the output closed.
    ports.refused = {"b"};
    char error[CMIDIDevices::kErrorSize] = {};
    EXPECT_FALSE(devices.OpenInputs(error));
    EXPECT_STREQ(error, "refused b");
    EXPECT_EQ(ports.OpenNames(), std::set<std::string>{"a"});
    EXPECT_EQ(devices.GetLastInputOpened(), 0);
    devices.CloseInputs();
    EXPECT_FALSE(devices.Start(nullptr));
    EXPECT_FALSE(ports.outputOpen);

    // An unknown name falls back to device 0, whose name it takes.
    devices.SetOutputName("gone");
    EXPECT_TRUE(devices.OpenOutput());
    EXPECT_STREQ(devices.GetOutputName(), "X");
    // Selecting by index; past the list nothing changes.
    devices.SelectOutput(2);
    EXPECT_EQ(ports.openedOutput, "Z");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "Z");
    for (int32_t index : {-1, 3, 32}) {
        devices.SelectOutput(index);
        EXPECT_TRUE(ports.outputOpen) << index;
        EXPECT_EQ(devices.GetOutputDevice(), 2) << index;
    }
    ports.outputs.clear();
    devices.CloseOutputs();
    EXPECT_FALSE(devices.OpenOutput(error));
    EXPECT_STREQ(error, "no MIDI output device");
}

TEST_F(MIDIDevicesTest, MenusListTheDevicesUpToThirtyTwo) {
    ports.outputs = {"X", "Y", "Z"};
    ports.inputs = FakePorts::Named("in", 40);
    devices.SetOutputName("Y");
    devices.SetInputMask("1001");
    CUIMenuResource view;
    devices.BuildMenus(view);
    std::string checks;
    EXPECT_EQ(Menu(CMIDIDevices::kOutputMenu, &checks), (std::vector<std::string>{"X", "Y", "Z"}));
    EXPECT_EQ(checks, "010");
    checks.clear();
    const std::vector<std::string> inputs = Menu(CMIDIDevices::kInputMenu, &checks);
    ASSERT_EQ(inputs.size(), 32u);
    EXPECT_EQ(inputs[31], "in31");
    EXPECT_EQ(checks.substr(0, 5), "10010");
    // Fewer devices later: the rows behind them go; more again: they return.
    ports.outputs = {"only"};
    devices.BuildMenus(view);
    EXPECT_EQ(Menu(CMIDIDevices::kOutputMenu), std::vector<std::string>{"only"});
    ports.outputs = FakePorts::Named("out", 33);
    devices.BuildMenus(view);
    EXPECT_EQ(Menu(CMIDIDevices::kOutputMenu).size(), 32u);
    EXPECT_EQ(CUIMenuResource::MaxValue(CMIDIDevices::kOutputMenu), 31);
}

TEST_F(MIDIDevicesTest, FlushSendsWhatTheClockReachedInOrder) {
    ports.outputs = {"X"};
    ASSERT_TRUE(devices.OpenOutput());
    struct Step {
        uint32_t clock;                     // set before the tick (as a render call does)
        std::vector<uint32_t> queue;        // sample times queued before the tick
        std::vector<uint32_t> sentTimes;    // what the tick sends, by time
    } steps[] = {
        // Due at the clock, and up to one millisecond (44 samples) later.
        {1000, {1000, 1044, 1045, 1010}, {1000, 1044}},
        // 1045 waits, and so does 1010 behind it.
        {1000, {}, {}},
        {1001, {}, {1045, 1010}},
        // The clock wraps modulo 2^32: a time just after the wrap is later.
        {0xFFFFFFF0u, {0x20, 0x0C}, {}},
        {0xFFFFFFF0u, {}, {}},
        {0xFFFFFFF0u + 8, {}, {0x20, 0x0C}},
        // A clock "below zero" (sequencer start minus the offset) sends
        // nothing early.
        {static_cast<uint32_t>(-800), {0, 100}, {}},
        {static_cast<uint32_t>(-44), {}, {0}},
    };
    // Each message carries a tag in its key byte that tells its time.
    std::map<uint32_t, uint32_t> timeOfTag;
    uint32_t tag = 0;
    for (size_t s = 0; s < std::size(steps); ++s) {
        for (uint32_t t : steps[s].queue) {
            devices.QueueOut(t, 0x90, static_cast<int32_t>(tag), 100);
            timeOfTag[tag++] = t;
        }
        CMIDIDevices::SetOutClock(steps[s].clock);
        ports.sent.clear();
        devices.FlushOut();
        EXPECT_EQ(CMIDIDevices::GetOutClock(), steps[s].clock + 44u) << s;
        std::vector<uint32_t> times;
        for (uint32_t m : ports.sent)
            times.push_back(timeOfTag[m >> 8 & 0xFF]);
        EXPECT_EQ(times, steps[s].sentTimes) << s;
    }
    EXPECT_EQ(devices.DroppedOutCount(), 0u);
}

TEST_F(MIDIDevicesTest, FullRingDropsAndCountsAndAClosedOutputSwallows) {
    CMIDIDevices::SetOutClock(0);
    for (int i = 0; i < 300; ++i)
        devices.QueueOut(0, 0x80, i & 0x7F, i >> 7);
    EXPECT_EQ(devices.DroppedOutCount(), 300u - (CMIDIDevices::kRingSize - 1));
    ports.outputs = {"X"};
    ASSERT_TRUE(devices.OpenOutput());
    devices.FlushOut();
    ASSERT_EQ(ports.sent.size(), static_cast<size_t>(CMIDIDevices::kRingSize - 1));
    for (size_t i = 0; i < ports.sent.size(); ++i)
        ASSERT_EQ(ports.sent[i], 0x80u | (i & 0x7F) << 8 | (i >> 7) << 16) << i;
    // Without an output the due messages are taken all the same.
    devices.CloseOutputs();
    devices.QueueOut(0, 0x90, 60, 1);
    devices.FlushOut();
    ports.sent.clear();
    ASSERT_TRUE(devices.OpenOutput());
    devices.FlushOut();
    EXPECT_TRUE(ports.sent.empty());
}

TEST_F(MIDIDevicesTest, ClosingTheOutputWaitsForTheFlushInProgress) {
    // The timer flushes every millisecond; each send takes a while, so
    // closes land in the middle of sends. A send into a closed output would
    // be a use after free.
    ports.outputs = {"X"};
    ports.sendDelay = std::chrono::microseconds(300);
    ASSERT_TRUE(devices.StartTimer(1));
    for (int round = 0; round < 30; ++round) {
        ASSERT_TRUE(devices.OpenOutput());
        CMIDIDevices::SetOutClock(0);
        for (int i = 0; i < 8; ++i)
            devices.QueueOut(0, 0x90, 60, 100);
        std::this_thread::sleep_for(std::chrono::microseconds(500 + 100 * (round % 7)));
        devices.CloseOutputs();
    }
    devices.CloseAll();
    EXPECT_GT(ports.sent.size(), 0u);
}

TEST(MIDIPortsTest, OwnPortsAreRecognisedByClientName) {
    const struct {
        const char* name;
        bool own;
    } cases[] = {
        {"zavo-midi:midi_out", true},     {"zavo-midi-01:midi_in", true},
        {"zavo-midi:midi_out 128:0", true}, {"zavo-midi-x:midi_out", false},
        {"zavo-midix:midi_out", false},   {"zavo-midi-:p", false},
        {"zavo:out_1", false},            {"keyboard:zavo-midi", false},
        {"zavo-midi", false},             {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(os::ORtMidiPorts::IsOwnPort(c.name), c.own) << c.name;
    const struct {
        uint8_t status;
        int length;
    } lengths[] = {{0x90, 3}, {0xC5, 2}, {0xD0, 2}, {0xE1, 3}, {0xF0, 0}, {0xF7, 0},
                   {0xF8, 1}, {0xFA, 1}, {0xF2, 3}, {0xF3, 2}, {0x45, 0}};
    for (const auto& l : lengths)
        EXPECT_EQ(os::MidiMessageLength(l.status), l.length) << int(l.status);
}

TEST(MIDIPortsTest, AlsaSequencerPortsAreListedWithoutTheProgramsOwn) {
    std::unique_ptr<RtMidiOut> source;
    try {
        source = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "zavo-test-source");
        source->openVirtualPort("keys");
    } catch (const RtMidiError& e) {
        GTEST_SKIP() << "the ALSA sequencer cannot be opened here: " << e.getMessage();
    }
    os::ORtMidiPorts ports;
    const std::vector<std::string> inputs = ports.InputNames();
    std::string keys;
    for (const std::string& n : inputs) {
        EXPECT_FALSE(os::ORtMidiPorts::IsOwnPort(n)) << n;
        if (n.rfind("zavo-test-source:keys", 0) == 0)
            keys = n;
    }
    ASSERT_FALSE(keys.empty());
    std::string error;
    std::atomic<uint32_t> got{0};
    auto input = ports.OpenInput(keys, [](void* user, uint32_t m) { static_cast<std::atomic<uint32_t>*>(user)->store(m); },
                                 &got, error);
    ASSERT_TRUE(input) << error;
    // Our own input port is not offered as an output.
    for (const std::string& n : ports.OutputNames())
        EXPECT_FALSE(os::ORtMidiPorts::IsOwnPort(n)) << n;
    const unsigned char note[3] = {0x90, 69, 100};
    source->sendMessage(note, 3);
    for (int i = 0; i < 200 && got.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(got.load(), 0x644590u);
}
