// The output selection, the ring refill and the driver host, with a fake
// ring device and a fake driver whose buffer switches the test makes.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "core/CSynth.h"
#include "gui/CUIMenuResource.h"
#include "os/OAudioDriver.h"
#include "os/OSoundOut.h"
#include "platform/CASIODriverList.h"
#include "platform/CASIOManager.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"
#include "tests/GlobalGuards.h"

using namespace os;

namespace {

struct FakeDriverConfig {
    double rate = 44100.0;
    int32_t outputs = 2, type = kSampleFloat32LSB;
};

class FakeDriver : public OAudioDriver {
public:
    static constexpr int32_t kFrames = 40000;
    static inline FakeDriverConfig config;
    static inline FakeDriver* live = nullptr;
    FakeDriver() { live = this; }
    ~FakeDriver() override { live = nullptr; }
    static void List(std::vector<const char*> names) {
        std::vector<CASIODriverList::Source> sources;
        for (const char* n : names) sources.push_back({n, [] { return std::make_unique<FakeDriver>(); }});
        CASIODriverList::Rescan(&sources);
    }
    bool Init(char* name, char*) override { return std::strcpy(name, "Fake") != nullptr; }
    void Exit() override {}
    int32_t Start() override { return 0; }
    int32_t Stop() override { return 0; }
    int32_t GetChannels(int32_t& in, int32_t& out) override { return in = 0, out = config.outputs, 0; }
    int32_t GetLatencies(int32_t& in, int32_t& out) override { return in = out = 0; }
    int32_t GetBufferSize(int32_t& a, int32_t& b, int32_t& c, int32_t& d) override { return a = b = c = 64, d = 0; }
    int32_t GetSampleRate(double& rate) override { return rate = config.rate, 0; }
    int32_t SetSampleRate(double rate) override { return rate == config.rate ? 0 : kDriverNoClock; }
    int32_t GetSamplePosition(int64_t& p, int64_t& t) override { return p = t = 0, 0; }
    int32_t GetChannelInfo(ODriverChannelInfo& info) override { return info.type = config.type, 0; }
    int32_t CreateBuffers(ODriverBufferInfo* infos, int32_t count, int32_t, const ODriverCallbacks& cb) override {
        callbacks = cb;
        storage.assign(size_t(count), std::vector<uint8_t>(kFrames * 8, 0xAA));
        for (int32_t i = 0; i < count; ++i) infos[i].buffers[0] = infos[i].buffers[1] = storage[size_t(i)].data();
        return 0;
    }
    int32_t DisposeBuffers() override { return 0; }
    int32_t ControlPanel() override { return 0; }
    int32_t OutputReady() override { return kDriverNotPresent; }

    ODriverCallbacks callbacks;
    std::vector<std::vector<uint8_t>> storage;
};

class FakeRing : public OSoundOut {
public:
    std::vector<std::string> devices{"Default audio device", "Card A", "Card B"};
    int32_t play = 0, write = 0, openedRate = 0;
    std::vector<int32_t> blocks;  // blocks written, in order
    bool open = false;
    std::thread::id owner = std::this_thread::get_id();

    std::vector<std::string> ListDevices() override { return devices; }
    bool Open(const char*, int32_t rate) override { return openedRate = rate, open = true; }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    // Answers the test's thread only: the output's own timer ticks find no
    // device, so every refill is one the test made.
    bool GetCurrentPosition(int32_t& p, int32_t& w) override {
        p = play, w = write;
        return open && std::this_thread::get_id() == owner;
    }
    uint8_t* Lock(int32_t offset, int32_t) override {
        blocks.push_back(offset / 1024);
        return ring + offset;
    }
    alignas(16) uint8_t ring[kRingBytes] = {};
};

// Every frame is `value`; remembers the longest render.
class ConstSynth : public CSynth {
public:
    void Process(float**, float** out, int32_t frames) override {
        std::fill(out[0], out[0] + frames, value);
        std::fill(out[1], out[1] + frames, value);
        longest = std::max(longest, frames);
    }
    float value = 0.0f;
    int32_t longest = 0;
};

class AudioOutputTest : public ::testing::Test {
protected:
    // The outputs store their choice and list themselves in the menu; the
    // synthesizer writes its program names there.
    static void SetUpTestSuite() {
        s_menus = new testutil::ScopedMenuTable();
        s_synth = new ConstSynth();
    }
    static void TearDownTestSuite() {
        delete s_synth;
        delete s_menus;
    }
    void SetUp() override {
        synth = s_synth;
        CDirectSoundOut::SetSoundOut(&ring);
        FakeDriver::config = FakeDriverConfig{};
        FakeDriver::List({});
    }
    void TearDown() override {
        g_AudioDevices.Close();
        CDirectSoundOut::SetSoundOut(nullptr);
        FakeDriver::List({});
        if (g_GlobalData.sampleRate != 44100) synth->SetSampleRate(44100.0f);
        g_DirectSoundOut.SetLatency(CDirectSoundOut::kDefaultLatency / 4);
    }
    bool Open(const char* name, int32_t period = 11) {
        return g_AudioDevices.Open(nullptr, name, synth, 44100, period);
    }
    std::vector<int32_t> RefillAt(int32_t play, int32_t write) {
        ring.blocks.clear();
        ring.play = play, ring.write = write;
        g_DirectSoundOut.Tick();
        return ring.blocks;
    }
    static std::vector<std::string> Menu() {
        g_AudioDevices.BuildMenu(*std::make_unique<CUIMenuResource>());
        std::vector<std::string> texts;
        CUIMenuResource view;
        view.Open(CAudioDevices::kMenuId);
        for (const MenuEntry* row = view.First(); row; row = view.Next())
            texts.push_back(row->type == kMenuSeparator ? "--" : (row->checked ? "*" : "") + std::string(row->text));
        return texts;
    }
    static inline testutil::ScopedMenuTable* s_menus = nullptr;
    static inline ConstSynth* s_synth = nullptr;
    testutil::ScopedSettings settings;
    testutil::ScopedMenuTable menus;
    ConstSynth* synth = nullptr;
    FakeRing ring;
};

int64_t ReadInt(const uint8_t* p, int bytes, bool msb) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(p[msb ? bytes - 1 - i : i]) << (8 * i);
    return static_cast<int64_t>(v << (64 - 8 * bytes)) >> (64 - 8 * bytes);
}

} // namespace

TEST_F(AudioOutputTest, RingRefillKeepsThreeBlocksAheadResyncsAndWraps) {
    // The output counts re-syncs over the whole process: real outputs of
    // earlier tests may have made some.
    const int32_t resyncsBefore = g_DirectSoundOut.GetResyncCount();
    ASSERT_TRUE(Open(""));
    ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
    // First refill, latency 512, write cursor 3000: target 3, blocks 3..6.
    EXPECT_EQ(RefillAt(2000, 3000), (std::vector<int32_t>{3, 4, 5, 6}));
    EXPECT_STREQ(g_AudioDevices.GetDriverText(), " 6.1 ms");  // (3072 - 2000) bytes
    EXPECT_EQ(RefillAt(4000, 5000), (std::vector<int32_t>{7, 8}));
    EXPECT_TRUE(RefillAt(4000, 5000).empty());
    // Late: target - last = 5 re-syncs and writes target and target + 1.
    EXPECT_EQ(RefillAt(9000, 12800), (std::vector<int32_t>{13, 14}));
    EXPECT_EQ(g_DirectSoundOut.GetResyncCount(), resyncsBefore + 1);
    // A new rate restarts the ring; last block 1 against target 63 writes block 2.
    g_AudioDevices.SetSampleRate(48000, 11);
    EXPECT_EQ(ring.openedRate, 48000);
    EXPECT_EQ(RefillAt(0, 62 * 1024), (std::vector<int32_t>{62, 63, 0, 1}));
    EXPECT_EQ(RefillAt(0, 64000), (std::vector<int32_t>{2}));
    // Latency 127 x 16 frames = 8128 bytes: target 7 from cursor 0.
    for (int32_t ignored : {0, 128}) g_AudioDevices.SetLatencySetting(ignored);
    EXPECT_EQ(g_AudioDevices.GetLatencySetting(), 8);
    g_AudioDevices.SetLatencySetting(127);
    EXPECT_EQ(g_GlobalData.DirectXDelay, 8128);
    g_AudioDevices.SetSampleRate(44100, 11);
    EXPECT_EQ(RefillAt(0, 0).front(), 7);
}

TEST_F(AudioOutputTest, RingOpenFailsWithoutDeviceOrTimerAndClosedRingIgnoresRates) {
    g_DirectSoundOut.Reconfigure(48000, 11);
    EXPECT_FALSE(ring.open);
    EXPECT_FALSE(Open("", 0));  // no timer at period 0
    EXPECT_FALSE(ring.open);
    ring.devices.clear();
    EXPECT_FALSE(Open(""));
}

TEST_F(AudioOutputTest, MenuListsDriversSeparatorDevicesUpTo32AndIgnoresBadIndexes) {
    ASSERT_TRUE(Open("Card A"));
    EXPECT_EQ(Menu(), (std::vector<std::string>{"<<< no JACK server found >>>", "--", "Default audio device",
                                                "*Card A", "Card B"}));
    EXPECT_EQ(g_AudioDevices.GetDeviceIndex(), 4);
    FakeDriver::List({"JACK"});
    ring.devices.assign(40, "Same card");
    ring.devices[0] = "Default audio device";
    ASSERT_TRUE(Open("Card A"));  // gone: the default device plays
    const std::vector<std::string> texts = Menu();
    ASSERT_GE(texts.size(), 32u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
              (std::vector<std::string>{"JACK", "--", "*Default audio device"}));
    EXPECT_EQ(texts[31], "Same card");
    for (int32_t bad : {-1, 32}) {
        g_AudioDevices.Select(bad, nullptr, synth, 44100, 11);
        EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
        EXPECT_EQ(g_AudioDevices.GetName(bad), nullptr);
    }
    EXPECT_EQ(CDirectSoundOut::GetListedName(-1), nullptr);
    EXPECT_EQ(CDirectSoundOut::GetListedName(40), nullptr);
    g_AudioDevices.Select(0, nullptr, synth, 44100, 11);
    EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO);
    EXPECT_STREQ(g_AudioDevices.GetDriverText(), "JACK");
    EXPECT_STREQ(g_GlobalData.SoundDeviceOut, "JACK");
}

TEST_F(AudioOutputTest, BufferSwitchConvertsEveryTypeSaturatingAndInPieces) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int32_t type;
        float sample;
        int64_t want;
    } cases[] = {
        {kSampleInt16LSB, 1.0f, 32000},      {kSampleInt16MSB, -1.0f, -32000},
        {kSampleInt16LSB, 1.5f, 32767},      {kSampleInt16LSB, -1.5f, -32768},
        {kSampleInt16MSB, nan, 0},           {kSampleInt24LSB, 1.0f, 8300000},
        {kSampleInt24MSB, -2.0f, -8388608},  {kSampleInt32LSB, 1.0f, 2100000000},
        {kSampleInt32MSB, 2.0f, 2147483647}, {kSampleInt32LSB, -3.0f, -2147483648LL},
        {kSampleInt32LSB24, 1.0f, 8203125},  {kSampleInt32MSB16, -1.0f, -32044},
        {kSampleInt32LSB18, 1.0f, 128173},   {kSampleInt32MSB20, 1.0f, 512695},
        {kSampleFloat32LSB, 0.3f, std::bit_cast<int32_t>(0.3f)},
        {kSampleFloat32MSB, -0.3f, std::bit_cast<int32_t>(-0.3f)},
        {kSampleFloat64MSB, 0.3f, std::bit_cast<int64_t>(double(0.3f))},
        {5, 1.0f, int8_t(0xAA)},  // not a type: untouched
    };
    FakeDriver::List({"Fake"});
    for (const auto& c : cases) {
        FakeDriver::config.type = c.type;
        ASSERT_TRUE(Open("Fake"));
        synth->value = c.sample;
        FakeDriver::live->callbacks.bufferSwitch(0, 3, true);
        const int t = c.type % 16, bytes = t == 0 ? 2 : t == 1 ? 3 : t == 4 ? 8 : c.type == 5 ? 1 : 4;
        for (const std::vector<uint8_t>& out : FakeDriver::live->storage)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(ReadInt(out.data() + i * bytes, bytes, c.type < 16), c.want) << c.type << " " << c.sample;
        EXPECT_EQ(FakeDriver::live->storage[0][size_t(3 * bytes)], 0xAA);
    }
    // Longer than the render buffers: rendered in pieces, every frame written.
    FakeDriver::config.type = kSampleFloat32LSB;
    ASSERT_TRUE(Open("Fake"));
    synth->longest = 0;
    synth->value = -0.3f;
    FakeDriver::live->callbacks.bufferSwitch(0, FakeDriver::kFrames, true);
    EXPECT_EQ(synth->longest, CASIOManager::kMaxFrames);
    EXPECT_EQ(ReadInt(&FakeDriver::live->storage[1][4 * (FakeDriver::kFrames - 1)], 4, false),
              std::bit_cast<int32_t>(-0.3f));
}

TEST_F(AudioOutputTest, EngineTakesTheDriversRateOnlyWhereItCanRun) {
    const struct {
        double driverRate;
        CAudioDevices::Mode mode;
        int32_t engineRate;
    } cases[] = {
        {44100.0, CAudioDevices::kModeASIO, 44100},
        {48000.0, CAudioDevices::kModeASIO, 48000},
        {192000.0, CAudioDevices::kModeDirectSound, 44100},
        {12345.0, CAudioDevices::kModeDirectSound, 44100},
    };
    FakeDriver::List({"Fake"});
    for (const auto& c : cases) {
        FakeDriver::config.rate = c.driverRate;
        ring.openedRate = 0;
        Open("Fake");
        EXPECT_EQ(g_AudioDevices.GetMode(), c.mode) << c.driverRate;
        EXPECT_EQ(g_GlobalData.sampleRate, c.engineRate) << c.driverRate;
        EXPECT_EQ(ring.openedRate, c.mode == CAudioDevices::kModeASIO ? 0 : 44100);
        // A rate the driver cannot follow leaves the engine at the driver's.
        synth->SetSampleRate(96000.0f);
        EXPECT_EQ(g_GlobalData.sampleRate, c.mode == CAudioDevices::kModeASIO ? c.engineRate : 96000);
        g_AudioDevices.Close();
        synth->SetSampleRate(44100.0f);
    }
    FakeDriver::config = FakeDriverConfig{};
    FakeDriver::config.outputs = 1;  // the stereo render needs two
    Open("Fake");
    EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
}
