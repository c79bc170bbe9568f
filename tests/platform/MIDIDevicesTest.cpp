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
#include "platform/JackServer.h"
#include "tests/GlobalGuards.h"

namespace {

// Ports that exist only in the test. Open inputs are listed by name; an
// output keeps what was sent, taking sendDelay per message, or refuses it. A port made
// again (its generation counted up) leaves the handles of the old one
// unjoined.
class FakePorts : public os::OMidiPorts {
public:
    struct Handle : os::OMidiInput, os::OMidiOutput {
        Handle(FakePorts& o, std::string n) : owner(o), name(std::move(n)), generation(owner.generation[name]) {
            owner.open.insert(name);
        }
        ~Handle() override { owner.open.erase(name); }
        bool Connected() override { return owner.generation[name] == generation; }
        bool Send(uint32_t message) override {
            if (owner.refusing)
                return false;
            std::this_thread::sleep_for(owner.sendDelay);
            owner.sent.push_back(message);
            return true;
        }
        bool SendsInCycle() const override { return owner.inCycle; }
        bool SendInCycle(uint32_t message, uint32_t frame) override {
            owner.sent.push_back(message);
            owner.frames.push_back(frame);
            return true;
        }
        FakePorts& owner;
        std::string name;
        int generation;
    };
    std::vector<std::string> InputNames() override { return inputs; }
    std::vector<std::string> OutputNames() override { return outputs; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string& name, int, os::MidiInputCallback, void*,
                                              std::string& error) override {
        error = "refused " + name;
        if (refused.count(name))
            return nullptr;
        ++inputOpens;
        return std::make_unique<Handle>(*this, name);
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string& name, std::string& error) override {
        error = "refused " + name;
        ++outputOpens;
        return refused.count(name) ? nullptr : std::make_unique<Handle>(*this, name);
    }
    static std::vector<std::string> Named(const char* stem, int count) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i)
            names.push_back(stem + std::to_string(i));
        return names;
    }

    std::vector<std::string> inputs, outputs;
    std::set<std::string> refused, open;
    std::vector<uint32_t> sent;
    std::vector<uint32_t> frames;  // of what was sent in a render's cycle
    bool inCycle = false;          // outputs take messages at frames of a cycle
    std::chrono::microseconds sendDelay{0};
    int inputOpens = 0, outputOpens = 0;
    bool refusing = false;
    std::map<std::string, int> generation;
};

class MIDIDevicesTest : public testing::Test {
protected:
    void SetUp() override { devices.SetPorts(&ports); }
    void TearDown() override { devices.CloseAll(); }
    // Item texts of a device menu, each followed by '*' when checked.
    static std::vector<std::string> Menu(uint32_t id) {
        CUIMenuResource view;
        std::vector<std::string> texts;
        if (view.Open(id))
            for (const MenuEntry* e = view.First(); e; e = view.Next())
                texts.push_back(std::string(e->text) + (e->checked ? "*" : ""));
        return texts;
    }
    // The devices store their choice and list themselves in the menus.
    testutil::ScopedSettings settings;
    testutil::ScopedMenuTable menus;
    FakePorts ports;
    CMIDIDevices devices;
};

using Names = std::set<std::string>;

} // namespace

TEST_F(MIDIDevicesTest, InputMaskAndToggleOpenTheMarkedDevices) {
    const std::string zeros(32, '0');
    const struct {
        const char* mask;
        Names open;
        std::string kept;  // the mask in use, also in the setting
        int listed = 40;
    } cases[] = {
        {"0101", {"in1", "in3"}, "0101"},
        {"x111", {}, zeros},  // not a mask: stays as it was
        {"", {}, zeros},
        {"1", {"in0"}, "1"},
        {"", {}, "0", 0},  // one character per listed input, at least one
        {"000", {}, "00", 2},
        {"0101", {}, "0101", 0},
    };
    for (const auto& c : cases) {
        ports.inputs = FakePorts::Named("in", c.listed);
        CMIDIDevices fresh;
        fresh.SetPorts(&ports);
        fresh.SetInputMask(c.mask);
        EXPECT_TRUE(fresh.OpenInputs()) << c.mask;
        EXPECT_EQ(ports.open, c.open) << c.mask;
        EXPECT_EQ(fresh.GetInputMask() + std::string(), c.kept) << c.mask;
        EXPECT_EQ(g_GlobalData.MIDIDeviceIn + std::string(), c.kept) << c.mask;
    }
    // Toggling past the mask's end pads it; rows without a port do nothing.
    ports.inputs = FakePorts::Named("in", 40);
    devices.SetInputMask("01");
    EXPECT_TRUE(devices.OpenInputs());
    devices.ToggleInput(5);
    EXPECT_STREQ(devices.GetInputMask(), "010001");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, "010001");
    devices.ToggleInput(1);
    devices.ToggleInput(31);
    for (int32_t index : {-1, 32, 1000})
        devices.ToggleInput(index);
    EXPECT_EQ(ports.open, (Names{"in5", "in31"}));
    EXPECT_EQ(std::string(devices.GetInputMask()), "00000100000000000000000000000001");
}

TEST_F(MIDIDevicesTest, APortListedAnewIsNeverOpenedTwice) {
    // A port made while the program runs comes before an open one in the
    // list: the mask, by position, then marks the open port a second time.
    ports.inputs = {"a"};
    devices.SetInputMask("1");
    ASSERT_TRUE(devices.OpenInputs());
    ports.inputs = {"new", "a"};
    EXPECT_TRUE(devices.OpenInputs());
    EXPECT_EQ(ports.inputOpens, 1);
    // The menu ticks the port that is open, and a row acts on its own port.
    CUIMenuResource view;
    devices.BuildMenus(view);
    EXPECT_EQ(Menu(CMIDIDevices::kInputMenu), (std::vector<std::string>{"new", "a*"}));
    EXPECT_FALSE(devices.IsInputOpen(0));
    EXPECT_TRUE(devices.IsInputOpen(1));
    devices.ToggleInput(0);
    EXPECT_EQ(ports.open, (Names{"new", "a"}));
    EXPECT_EQ(ports.inputOpens, 2);
    EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, "11");
    devices.ToggleInput(1);
    EXPECT_EQ(ports.open, Names{"new"});
    EXPECT_STREQ(devices.GetInputMask(), "1");
    devices.ToggleInput(1);
    EXPECT_EQ(ports.inputOpens, 3);
    // At exit the mask is what the last click stored, by the rows shown.
    ports.inputs = {"usb", "new", "a", "late"};
    devices.CloseAll();
    EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, "11");
}

TEST_F(MIDIDevicesTest, OnlyAClickChangesTheChoiceAndTheMenuTicksWhatIsJoined) {
    // kRestart: an exit, and a start from what it stored.
    enum Action { kStart, kMenu, kClick, kReplug, kClose, kRestart };
    const std::string usb = "USB Keys, 61%:USB Keys MIDI 1 20:0";  // ALSA ports come before JACK's
    const struct {
        const char* what;
        const char* stored;               // a mask set before the step, as a start reads it
        std::vector<std::string> inputs;  // the ports listed from this step on
        Action action;
        int row;  // of a click
        Names open;
        const char* mask;  // in the setting after the step
        std::vector<std::string> menu;
        std::string names;  // the ports the mask's rows stand for, as stored
        const char* storedNames = "";  // set beside stored
    } steps[] = {
        {"start", "1", {"kbd"}, kStart, 0, {"kbd"}, "1", {"kbd*"}, "kbd"},
        {"the keyboard is unplugged", nullptr, {}, kMenu, 0, {}, "1", {}, "kbd"},
        {"exit", nullptr, {}, kClose, 0, {}, "1", {}, "kbd"},
        {"the next start finds it back", "1", {"kbd"}, kStart, 0, {"kbd"}, "1", {"kbd*"}, "kbd"},
        {"the server stops: the devices close and start again", nullptr, {}, kStart, 0, {}, "1", {}, "kbd"},
        {"the server is back as the menu opens", nullptr, {"kbd"}, kMenu, 0, {"kbd"}, "1", {"kbd*"}, "kbd"},
        {"gone and back between two looks: joined anew", nullptr, {"kbd"}, kReplug, 0, {"kbd"}, "1", {"kbd*"}, "kbd"},
        {"the menu shows a pad", nullptr, {"kbd", "pad"}, kMenu, 0, {"kbd"}, "1", {"kbd*", "pad"}, "kbd"},
        {"a port made while the menu is open: the click means the pad shown",
         nullptr, {"new", "kbd", "pad"}, kClick, 1, {"kbd", "pad"}, "11", {"new", "kbd*", "pad*"}, "kbd,pad"},
        {"the keyboard and the pad away, another port on the keyboard's row", nullptr, {"other"}, kMenu, 0, {}, "11",
         {"other"}, "kbd,pad"},
        {"the other port chosen: the keyboard moves past the rows shown", nullptr, {"other"}, kClick, 0, {"other"},
         "111", {"other*"}, "other,pad,kbd"},
        {"the keyboard back", nullptr, {"other", "kbd"}, kMenu, 0, {"other", "kbd"}, "111", {"other*", "kbd*"},
         "other,pad,kbd"},
        {"a row beyond the list is kept", "001", {"a", "b"}, kStart, 0, {}, "001", {"a", "b"}, ""},
        {"a click on the first", nullptr, {"a", "b"}, kClick, 0, {"a"}, "101", {"a*", "b"}, "a"},
        {"the chosen port moves onto the row no port stood on: two rows never stand for it", nullptr,
         {"x", "y", "a"}, kMenu, 0, {"a"}, "101", {"x", "y", "a*"}, "a"},
        {"exit and start: the unnamed row still takes the first port on it", nullptr, {"x", "a", "c"}, kRestart, 0,
         {"a", "c"}, "101", {"x", "a*", "c*"}, "a,c"},
        // A keyboard that left and came back behind another port is the one
        // the next start joins.
        {"keys chosen", "0", {"keys"}, kStart, 0, {}, "0", {"keys"}, ""},
        {"", nullptr, {"keys"}, kClick, 0, {"keys"}, "1", {"keys*"}, "keys"},
        {"keys leaves, bbb starts", nullptr, {"bbb"}, kMenu, 0, {}, "1", {"bbb"}, "keys"},
        {"keys is back", nullptr, {"bbb", "keys"}, kMenu, 0, {"keys"}, "1", {"bbb", "keys*"}, "keys"},
        {"the next start: keys plays, bbb does not", nullptr, {"bbb", "keys"}, kRestart, 0, {"keys"}, "1",
         {"bbb", "keys*"}, "keys"},
        // A port that went ahead of the chosen one.
        {"a and kbd", "0", {"a", "kbd"}, kStart, 0, {}, "00", {"a", "kbd"}, ""},
        {"kbd chosen", nullptr, {"a", "kbd"}, kClick, 1, {"kbd"}, "01", {"a", "kbd*"}, "kbd"},
        {"a unplugged, the next start", nullptr, {"kbd"}, kRestart, 0, {"kbd"}, "01", {"kbd*"}, "kbd"},
        {"a port made later on the row clicked is not joined", nullptr, {"kbd", "new"}, kMenu, 0, {"kbd"}, "01",
         {"kbd*", "new"}, "kbd"},
        // A USB keyboard plugged in lists ahead of every JACK port; its name
        // holds a comma, a colon and a '%'.
        {"a USB keyboard at the next start", nullptr, {usb, "kbd", "new"}, kRestart, 0, {"kbd"}, "01",
         {usb.substr(0, 63), "kbd*", "new"}, "kbd"},
        {"chosen too", nullptr, {usb, "kbd", "new"}, kClick, 0, {usb, "kbd"}, "11", {usb.substr(0, 63) + "*", "kbd*", "new"},
         "USB Keys%2C 61%25:USB Keys MIDI 1 20:0,kbd"},
        {"unplugged, the next start", nullptr, {"kbd", "new"}, kRestart, 0, {"kbd"}, "11", {"kbd*", "new"},
         "USB Keys%2C 61%25:USB Keys MIDI 1 20:0,kbd"},
        {"plugged in again", nullptr, {"new", "kbd", usb}, kMenu, 0, {usb, "kbd"}, "11", {"new", "kbd*", usb.substr(0, 63) + "*"},
         "USB Keys%2C 61%25:USB Keys MIDI 1 20:0,kbd"},
        // With nothing chosen the mask is one '0' per listed input.
        {"nothing chosen, nothing listed", "0", {}, kStart, 0, {}, "0", {}, ""},
        // Names written by hand (a lower-case escape, a '%' that escapes
        // nothing, an escape at the end past the 1s) are written back as read.
        {"by hand", "11", {"pad%", "a%00%ZZ", "kbd, 1"}, kStart, 0, {"kbd, 1", "a%00%ZZ", "pad%"}, "111",
         {"pad%*", "a%00%ZZ*", "kbd, 1*"}, "kbd%2c 1,a%00%ZZ,pad%25", "kbd%2c 1,a%00%ZZ,pad%25"},
        {"a name listed twice: its second row joins nothing", "11", {"kbd", "pad"}, kStart, 0, {"kbd"}, "11",
         {"kbd*", "pad"}, "kbd,kbd", "kbd,kbd"},
        {"the keyboard away", nullptr, {"pad"}, kMenu, 0, {}, "11", {"pad"}, "kbd,kbd"},
        {"the pad chosen: one row keeps the keyboard", nullptr, {"pad"}, kClick, 0, {"pad"}, "11", {"pad*"},
         "pad,kbd"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ports.inputs = step.inputs;
        if (step.stored) {
            devices.CloseAll();
            devices.SetInputMask(step.stored, step.storedNames);
        }
        switch (step.action) {
        case kRestart: {
            devices.CloseAll();
            const std::string mask = g_GlobalData.MIDIDeviceIn;
            devices.SetInputMask(step.stored ? step.stored : mask.c_str(), g_GlobalData.MIDIDeviceInNames);
        }
            [[fallthrough]];
        case kStart:
            devices.CloseAll();
            devices.Start(nullptr);
            break;
        case kReplug:
            ++ports.generation["kbd"];
            [[fallthrough]];
        case kMenu: break;
        case kClick: devices.ToggleInput(step.row); EXPECT_EQ(g_GlobalData.MIDIDeviceInNames, step.names); break;
        case kClose: devices.CloseAll(); break;
        }
        CUIMenuResource view;
        devices.BuildMenus(view);
        EXPECT_EQ(ports.open, step.open);
        EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, step.mask);
        EXPECT_EQ(Menu(CMIDIDevices::kInputMenu), step.menu);
        EXPECT_EQ(g_GlobalData.MIDIDeviceInNames, step.names);
    }
    // One open per step that joins a port, the one back unseen included.
    EXPECT_EQ(ports.inputOpens, 24);
}

TEST_F(MIDIDevicesTest, OutputByNameOnlyAfterTheInputsOpened) {
    ports.inputs = {"a", "b", "c"};
    ports.outputs = {"X", "Y", "Z"};
    devices.SetInputMask("111");
    devices.SetOutputName("Y");
    EXPECT_TRUE(devices.Start(nullptr));
    EXPECT_EQ(ports.open, (Names{"a", "b", "c", "Y"}));
    devices.CloseAll();
    EXPECT_TRUE(ports.open.empty());

    // A failing input stops the later ones and keeps the output closed;
    // the choice stays as it was, also once the devices close.
    ports.refused = {"b"};
    EXPECT_FALSE(devices.Start(nullptr));
    EXPECT_EQ(ports.open, Names{"a"});
    EXPECT_STREQ(devices.GetOutputName(), "none");
    devices.CloseAll();
    EXPECT_STREQ(g_GlobalData.MIDIDeviceIn, "111");
    char error[CMIDIDevices::kErrorSize] = {};
    devices.CloseInputs();
    EXPECT_FALSE(devices.OpenInputs(error));
    EXPECT_STREQ(error, "refused b");

    // An unknown name falls back to device 0, "none": nothing is connected,
    // which is no success, and the setting keeps the name for a start that
    // finds it. Output 0 of the list is "none"; selecting past the list
    // does nothing.
    devices.SetOutputName("gone");
    EXPECT_FALSE(devices.OpenOutput(error));
    EXPECT_STREQ(error, "no MIDI output named \"gone\"");
    EXPECT_STREQ(devices.GetOutputName(), "none");
    EXPECT_EQ(devices.GetOutputDevice(), 0);
    EXPECT_EQ(ports.open, Names{"a"});
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "gone");
    devices.SelectOutput(3);
    for (int32_t index : {-1, 4, 32})
        devices.SelectOutput(index);
    EXPECT_EQ(ports.open, (Names{"a", "Z"}));
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "Z");
    // A name longer than the 63 characters kept is found again by those.
    const std::string longName = "client:" + std::string(70, 'p');
    ports.outputs.push_back(longName);
    devices.SetOutputName(longName.c_str());
    EXPECT_TRUE(devices.OpenOutput());
    EXPECT_EQ(devices.GetOutputDevice(), 4);

    // Menus: "none", then one row per device up to 32, checked as selected.
    ports.inputs = FakePorts::Named("in", 40);
    ports.inputs[1] = "a";
    CUIMenuResource view;
    devices.BuildMenus(view);
    EXPECT_EQ(Menu(CMIDIDevices::kOutputMenu),
              (std::vector<std::string>{"none", "X", "Y", "Z", longName.substr(0, 63) + "*"}));
    const std::vector<std::string> inputs = Menu(CMIDIDevices::kInputMenu);
    ASSERT_EQ(inputs.size(), 32u);
    EXPECT_EQ(inputs[0] + inputs[1] + inputs[31], "in0a*in31");
    ports.outputs = FakePorts::Named("out", 40);
    devices.BuildMenus(view);
    const std::vector<std::string> outputs = Menu(CMIDIDevices::kOutputMenu);
    ASSERT_EQ(outputs.size(), 32u);
    // The joined port is listed no more: it left, and "none" is what is
    // joined.
    EXPECT_EQ(outputs[0] + outputs[31], "none*out30");

    // "none" lets the output go and is what the setting keeps.
    ports.outputs = {"only"};
    devices.SelectOutput(1);
    EXPECT_EQ(ports.open, (Names{"a", "only"}));
    devices.SelectOutput(0);
    EXPECT_EQ(ports.open, Names{"a"});
    EXPECT_STREQ(devices.GetOutputName(), "none");
    EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "none");
    devices.BuildMenus(view);
    EXPECT_EQ(Menu(CMIDIDevices::kOutputMenu), (std::vector<std::string>{"none*", "only"}));
}

TEST_F(MIDIDevicesTest, TheOutputFollowsItsPortAndShowsWhatIsJoined) {
    // The setting keeps "X" throughout; the name (the Setup page's field)
    // and the menu's tick say what is joined.
    const struct {
        const char* what;
        std::vector<std::string> outputs;
        bool start, replug;
        const char* shown;
        int opens;  // of an output, so far
    } steps[] = {
        {"start", {"Y", "X"}, true, false, "X", 1},
        {"X leaves", {"Y"}, false, false, "none", 1},
        {"X is back", {"X", "Y"}, false, false, "X", 2},
        {"gone and back between two looks: joined anew", {"X", "Y"}, false, true, "X", 3},
        {"the server stops: a start without it", {}, true, false, "none", 3},
        {"the server is back as the menu opens", {"X"}, false, false, "X", 4},
    };
    devices.SetOutputName("X");
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ports.outputs = step.outputs;
        ports.generation["X"] += step.replug;
        if (step.start) {
            devices.CloseAll();
            devices.SetOutputName(g_GlobalData.MIDIDeviceOut);
            devices.Start(nullptr);
        }
        CUIMenuResource view;
        devices.BuildMenus(view);
        const std::vector<std::string> menu = Menu(CMIDIDevices::kOutputMenu);
        EXPECT_EQ(std::count(menu.begin(), menu.end(), step.shown + std::string("*")), 1);
        EXPECT_STREQ(devices.GetOutputName(), step.shown);
        EXPECT_STREQ(g_GlobalData.MIDIDeviceOut, "X");
        EXPECT_EQ(ports.outputOpens, step.opens);
    }
    // Two outputs in turn whose ports refuse (their server went) each say
    // so once; "none" drops nothing.
    const std::string log = std::string(g_GlobalData.programFolder) + "Debug.txt";
    const size_t logged = testutil::ReadFile(log).size();
    const uint32_t dropped = devices.DroppedOutCount();
    ports.refusing = true;
    ports.outputs = {"X", "Y"};
    for (int32_t output : {1, 2, 0}) {
        devices.SelectOutput(output);
        for (int i = 0; i < 2; ++i) {
            devices.QueueOut(CMIDIDevices::GetOutClock(), 0x90, 60, 100);
            devices.FlushOut();
        }
    }
    EXPECT_EQ(devices.DroppedOutCount() - dropped, 4u);
    const std::string said = testutil::ReadFile(log).substr(logged);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

TEST_F(MIDIDevicesTest, WithNoOutputStoredNothingIsConnected) {
    // Whatever ports there are (another program's input, a synthesizer):
    // a first start, an emptied setting or a stored "none" connects none.
    ports.inputs = {"keys"};
    ports.outputs = {"synth:in", "daw:midi_in"};
    for (const char* stored : {"", "none"}) {
        CMIDIDevices fresh;
        fresh.SetPorts(&ports);
        fresh.SetInputMask("1");
        fresh.SetOutputName(stored);
        EXPECT_TRUE(fresh.Start(nullptr)) << stored;
        EXPECT_EQ(ports.open, Names{"keys"}) << stored;
        EXPECT_EQ(fresh.GetOutputDevice(), 0) << stored;
        fresh.CloseAll();
    }
    CMIDIDevices untouched;  // never given a name
    untouched.SetPorts(&ports);
    EXPECT_TRUE(untouched.OpenOutput());
    EXPECT_TRUE(ports.open.empty());
    EXPECT_STREQ(untouched.GetOutputName(), "none");
}

TEST_F(MIDIDevicesTest, FlushSendsWhatTheClockReachedInOrder) {
    g_GlobalData.sampleRate = 44100;
    ports.outputs = {"X"};
    devices.SetOutputName("X");
    ASSERT_TRUE(devices.OpenOutput());
    const struct {
        uint32_t clock;                   // set before the tick, as a render call does
        std::vector<uint32_t> queue;      // sample times queued before the tick
        std::vector<uint32_t> sentTimes;  // what the tick sends
    } steps[] = {
        // Due at the clock and up to one millisecond (44 samples) later;
        // 1045 waits, and so does 1010 behind it.
        {1000, {1000, 1044, 1045, 1010}, {1000, 1044}},
        {1000, {}, {}},
        {1001, {}, {1045, 1010}},
        // The clock wraps modulo 2^32: a time just after the wrap is later.
        {0xFFFFFFF0u, {0x20, 0x0C}, {}},
        {0xFFFFFFF8u, {}, {0x20, 0x0C}},
        // A clock "below zero" (sequencer start minus the offset) sends
        // nothing early.
        {static_cast<uint32_t>(-800), {0, 100}, {}},
        {static_cast<uint32_t>(-44), {}, {0}},
    };
    // The key byte of each message tells its time.
    std::map<uint32_t, uint32_t> timeOfKey;
    uint32_t key = 0;
    for (size_t s = 0; s < std::size(steps); ++s) {
        for (uint32_t t : steps[s].queue) {
            devices.QueueOut(t, 0x90, static_cast<int32_t>(key), 100);
            timeOfKey[key++] = t;
        }
        CMIDIDevices::SetOutClock(steps[s].clock);
        ports.sent.clear();
        devices.FlushOut();
        EXPECT_EQ(CMIDIDevices::GetOutClock(), steps[s].clock + 44u) << s;
        std::vector<uint32_t> times;
        for (uint32_t m : ports.sent)
            times.push_back(timeOfKey[m >> 8 & 0xFF]);
        EXPECT_EQ(times, steps[s].sentTimes) << s;
    }
    devices.CloseOutputs();

    // An output the render's cycles send to takes each message at the
    // frame of the block that played it, the clock standing at the call's
    // first new block; what lies beyond the call waits for the next.
    ports.inCycle = true;
    ASSERT_TRUE(devices.OpenOutput());
    const struct {
        uint32_t clock;
        int32_t held;  // frames of the call rendered by the call before
        std::vector<uint32_t> queue, frames;
    } calls[] = {
        // The message left above (at 100) and one at 4990 are late: at once.
        {5000, 0, {4990, 5000, 5032, 5255, 5256}, {0, 0, 0, 32, 255}},
        {5256, 0, {}, {0}},
        {6016, 16, {6000, 6016, 6031, 6256}, {0, 16, 31}},
        {6256, 16, {}, {16}},
    };
    for (size_t s = 0; s < std::size(calls); ++s) {
        for (uint32_t t : calls[s].queue)
            devices.QueueOut(t, 0x90, 60, 100);
        CMIDIDevices::SetOutClock(calls[s].clock);
        ports.frames.clear();
        devices.FlushInCycle(256, calls[s].held);
        EXPECT_EQ(ports.frames, calls[s].frames) << s;
    }
    devices.CloseOutputs();
    ports.inCycle = false;

    // A full ring drops and counts; what it kept leaves in order.
    CMIDIDevices::SetOutClock(1000);
    devices.FlushOut();  // without an output the due messages are taken all the same
    for (int i = 0; i < 300; ++i)
        devices.QueueOut(0, 0x80, i & 0x7F, i >> 7);
    EXPECT_EQ(devices.DroppedOutCount(), 300u - (CMIDIDevices::kRingSize - 1));
    ASSERT_TRUE(devices.OpenOutput());
    ports.sent.clear();
    devices.FlushOut();
    ASSERT_EQ(ports.sent.size(), static_cast<size_t>(CMIDIDevices::kRingSize - 1));
    for (uint32_t i = 0; i < ports.sent.size(); ++i)
        ASSERT_EQ(ports.sent[i], 0x80u | (i & 0x7F) << 8 | (i >> 7) << 16) << i;
}

TEST_F(MIDIDevicesTest, ClosingTheOutputWaitsForTheFlushInProgress) {
    // Closes land in the middle of the timer's slow sends; a send into a
    // closed output would be a use after free.
    ports.outputs = {"X"};
    devices.SetOutputName("X");
    ports.sendDelay = std::chrono::microseconds(300);
    ASSERT_TRUE(devices.StartTimer(1));
    // At least 30 rounds, and more until some sends were made: a loaded
    // machine can give the timer no turn within a round. The timer rests
    // between rounds, so the sends are counted without a race.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int round = 0; round < 30 || (ports.sent.empty() && std::chrono::steady_clock::now() < end); ++round) {
        ASSERT_TRUE(devices.OpenOutput());
        CMIDIDevices::SetOutClock(0);
        for (int i = 0; i < 8; ++i)
            devices.QueueOut(0, 0x90, 60, 100);
        // The timer starts with the output: its first tick comes after 1 ms.
        std::this_thread::sleep_for(std::chrono::microseconds(1500 + 100 * (round % 7)));
        devices.CloseOutputs();
    }
    devices.CloseAll();
    EXPECT_GT(ports.sent.size(), 0u);
}

TEST_F(MIDIDevicesTest, TheFlushTimerRunsOnlyWhileAnOutputIsOpen) {
    // The timer advances the out clock by 44 samples a tick: a clock that
    // stays put means no tick.
    auto ticksWithin = [](int ms) {
        const uint32_t before = CMIDIDevices::GetOutClock();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return CMIDIDevices::GetOutClock() != before;
    };
    ports.outputs = {"X"};
    CMIDIDevices::SetOutClock(0);
    devices.SetOutputName("X");
    ASSERT_TRUE(devices.StartTimer(1));
    EXPECT_FALSE(ticksWithin(30));
    // A note queued while nothing sends is not played late by the output
    // opened afterwards; one queued after it is.
    devices.QueueOut(0, 0x90, 61, 100);
    ASSERT_TRUE(devices.OpenOutput());
    devices.QueueOut(CMIDIDevices::GetOutClock(), 0x90, 62, 100);
    bool ticked = false;
    for (int i = 0; i < 100 && !ticked; ++i)
        ticked = ticksWithin(10);
    EXPECT_TRUE(ticked);
    devices.CloseOutputs();  // the sent list is read once the timer stopped
    EXPECT_EQ(ports.sent, std::vector<uint32_t>{0x90u | 62u << 8 | 100u << 16});
    EXPECT_FALSE(ticksWithin(30));
    EXPECT_FALSE(devices.StartTimer(0));
    devices.CloseAll();
}

TEST(MIDIPortsTest, OwnPortsAreKnownByClientName) {
    const std::pair<const char*, bool> cases[] = {
        {"zavo:midi_out", true},   {"zavo-01:midi_in", true},        {"zavo:midi_out 128:0", true},
        {"zavo:out_1", true},      {"zavo-x:midi_out", false},       {"zavox:p", false},
        {"zavo-:p", false},        {"keys:zavo", false},             {"zavo", false},
        {"zavo-midi:midi_in", false}, {"zavo-test-probe-12-0:keys", false},
    };
    for (const auto& [name, own] : cases)
        EXPECT_EQ(os::ORtMidiPorts::IsOwnPort(name), own) << name;
}

TEST(MIDIPortsTest, WithoutAJackServerTheListsHoldNoJackPortAndLeakNothing) {
    testutil::NoJackServer none;
    os::ORtMidiPorts ports;
    // A missing server is no error worth a line on stderr at each listing.
    testing::internal::CaptureStderr();
    for (const auto& list : {ports.InputNames(), ports.OutputNames()})
        for (const std::string& name : list)
            EXPECT_NE(name.find(' '), std::string::npos) << name;  // ALSA names end in " client:port"
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::string error;
    EXPECT_FALSE(ports.OpenOutput("keys:out", error));
    EXPECT_EQ(error, "no MIDI output named \"keys:out\"");
}

TEST(MIDIPortsTest, AlsaSequencerPortsAreListedAndPlay) {
    std::unique_ptr<RtMidiOut> source;
    try {
        source = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "zavo-test-source");
        source->openVirtualPort("keys");
    } catch (const RtMidiError& e) {
        GTEST_SKIP() << "the ALSA sequencer cannot be opened here: " << e.getMessage();
    }
    os::ORtMidiPorts ports;
    std::string keys;
    for (const std::string& n : ports.InputNames())
        if (n.rfind("zavo-test-source:keys", 0) == 0)
            keys = n;
    ASSERT_FALSE(keys.empty());
    std::string error;
    std::atomic<uint32_t> got{0};
    auto input = ports.OpenInput(
        keys, 0, [](void* user, uint32_t m, uint32_t, int32_t) { static_cast<std::atomic<uint32_t>*>(user)->store(m); }, &got, error);
    ASSERT_TRUE(input) << error;
    for (const std::string& n : ports.OutputNames())
        EXPECT_FALSE(os::ORtMidiPorts::IsOwnPort(n)) << n;
    const unsigned char note[3] = {0x90, 69, 100};
    source->sendMessage(note, 3);
    for (int i = 0; i < 200 && got.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(got.load(), 0x644590u);
}
