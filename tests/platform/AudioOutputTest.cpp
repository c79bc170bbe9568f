#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "gui/CUIMenuResource.h"
#include "platform/AudioFakes.h"
#include "platform/CASIOManager.h"
#include "platform/CAudioDevices.h"
#include "platform/CDirectSoundOut.h"
#include "platform/CGlobalData.h"

using namespace testutil;

namespace {

// One synthesizer for the suite: building one loads the factory bank.
class AudioOutputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_synth = new ConstSynth(); }
    static void TearDownTestSuite() {
        delete s_synth;
        s_synth = nullptr;
    }
    void SetUp() override {
        synth = s_synth;
        CDirectSoundOut::SetSoundOut(&ring);
        FakeDriver::config = FakeDriver::Config{};
        FakeDriver::ListNone();
    }
    void TearDown() override {
        g_AudioDevices.Close();
        CDirectSoundOut::SetSoundOut(nullptr);
        FakeDriver::ListNone();
        if (g_GlobalData.sampleRate != 44100) synth->SetSampleRate(44100.0f);
        g_DirectSoundOut.SetLatency(CDirectSoundOut::kDefaultLatency / 4);
    }
    void OpenRing(const char* name = "") {
        ASSERT_TRUE(g_AudioDevices.Open(nullptr, name, synth, 44100, 11));
        ASSERT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
    }
    std::vector<int32_t> RefillAt(int32_t play, int32_t write) {
        ring.locked.clear();
        ring.play = play;
        ring.write = write;
        g_DirectSoundOut.Tick();
        std::vector<int32_t> blocks;
        for (int32_t offset : ring.locked) blocks.push_back(offset / CDirectSoundOut::kBlockBytes);
        return blocks;
    }
    static std::vector<std::string> MenuTexts() {
        std::vector<std::string> texts;
        CUIMenuResource view;
        if (!view.Open(CAudioDevices::kMenuId)) return texts;
        for (const MenuEntry* row = view.First(); row; row = view.Next())
            texts.push_back(row->type == kMenuSeparator ? "--" : std::string(row->checked ? "*" : "") + row->text);
        return texts;
    }

    static inline ConstSynth* s_synth = nullptr;
    ConstSynth* synth = nullptr;
    FakeSoundOut ring;
};

int64_t ReadInt(const uint8_t* p, int bytes, bool msb) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(p[msb ? bytes - 1 - i : i]) << (8 * i);
    const int shift = 64 - 8 * bytes;
    return static_cast<int64_t>(v << shift) >> shift;
}

} // namespace

// ---------------------------------------------------------------------------
// The ring output's refill

TEST_F(AudioOutputTest, RefillWritesThreeBlocksPastTheTargetAndResyncsWhenLate) {
    OpenRing();
    // First refill: latency 512, write cursor 3000 -> target 3, blocks 3..6.
    EXPECT_EQ(RefillAt(2000, 3000), (std::vector<int32_t>{3, 4, 5, 6}));
    // Measured latency: first block (3072) minus the play cursor (2000).
    EXPECT_STREQ(g_AudioDevices.GetDriverText(), " 6.1 ms");
    // Steady state: the cursor moved two blocks, two blocks follow.
    EXPECT_EQ(RefillAt(4000, 5000), (std::vector<int32_t>{7, 8}));
    // Not moved far enough: nothing is written.
    EXPECT_TRUE(RefillAt(4000, 5000).empty());
    // The timer was late: target - last = 5 re-syncs to target and target + 1.
    EXPECT_EQ(RefillAt(9000, 12800), (std::vector<int32_t>{13, 14}));
    EXPECT_EQ(g_DirectSoundOut.GetResyncCount(), 1);
    // The ring restarts on a rate change; then last block 1 wraps against target 63.
    g_AudioDevices.SetSampleRate(48000, 11);
    EXPECT_EQ(ring.openedRate, 48000);
    EXPECT_EQ(RefillAt(0, 62 * 1024), (std::vector<int32_t>{62, 63, 0, 1}));
    EXPECT_EQ(RefillAt(0, 64000), (std::vector<int32_t>{2}));
    EXPECT_EQ(synth->rendered % CDirectSoundOut::kBlockFrames, 0);
}

TEST_F(AudioOutputTest, LatencySettingAndReconfigureWithNothingOpen) {
    // Closed: a rate change opens nothing.
    g_AudioDevices.Close();
    g_DirectSoundOut.Reconfigure(48000, 10);
    EXPECT_FALSE(ring.open);
    OpenRing();
    EXPECT_EQ(g_AudioDevices.GetLatencySetting(), 8);
    for (int32_t bad : {0, 128, -1}) {
        g_AudioDevices.SetLatencySetting(bad);
        EXPECT_EQ(g_AudioDevices.GetLatencySetting(), 8) << bad;
    }
    g_AudioDevices.SetLatencySetting(127);
    EXPECT_EQ(g_DirectSoundOut.GetLatency(), 127 * 16);
    EXPECT_EQ(g_GlobalData.DirectXDelay, 127 * 64);
    // Latency 8128 bytes with the write cursor at 0: target 7.
    EXPECT_EQ(RefillAt(0, 0).front(), 7);
}

TEST_F(AudioOutputTest, OpenFailsWhenTheDeviceOrTimerFails) {
    ring.devices.clear();  // nothing to play through
    EXPECT_FALSE(g_AudioDevices.Open(nullptr, "", synth, 44100, 11));
    ring.devices = {"Default audio device"};
    EXPECT_FALSE(g_AudioDevices.Open(nullptr, "", synth, 44100, 0));  // no timer at period 0
    EXPECT_FALSE(ring.open);
}

// ---------------------------------------------------------------------------
// The output menu and selection

TEST_F(AudioOutputTest, MenuListsDriversASeparatorAndDevicesAndStopsAt32) {
    CUIMenuResource menu;
    OpenRing("Card A");
    g_AudioDevices.BuildMenu(menu);
    EXPECT_EQ(MenuTexts(), (std::vector<std::string>{"<<< no JACK server found >>>", "--",
                                                     "Default audio device", "*Card A", "Card B"}));
    EXPECT_STREQ(g_AudioDevices.GetName(3), "Card A");
    EXPECT_EQ(g_AudioDevices.GetDeviceIndex(), 4);
    EXPECT_STREQ(CUIMenuResource::TextOfValue(CAudioDevices::kMenuId, 4), "Card B");

    FakeDriver::List("JACK");
    ring.devices.assign(40, "Same card");
    ring.devices[0] = "Default audio device";
    OpenRing("Card A");  // not listed any more: the default device plays
    g_AudioDevices.BuildMenu(menu);
    const std::vector<std::string> texts = MenuTexts();
    ASSERT_GE(texts.size(), 32u);
    EXPECT_EQ(texts[31], "Same card");
    EXPECT_STREQ(g_AudioDevices.GetName(31), "Same card");
    EXPECT_EQ(texts[0], "JACK");
    EXPECT_EQ(texts[1], "--");
    EXPECT_EQ(texts[2], "*Default audio device");
    // Indexes outside the list do nothing.
    for (int32_t bad : {-1, 32, 1000}) {
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

// ---------------------------------------------------------------------------
// The driver host

TEST_F(AudioOutputTest, BufferSwitchConvertsToEveryTypeAndSaturates) {
    struct Case {
        int32_t type;
        float sample;
        int64_t want;
    };
    using namespace os;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {kSampleInt16LSB, 1.0f, 32000},       {kSampleInt16MSB, -1.0f, -32000},
        {kSampleInt16LSB, 1.5f, 32767},       {kSampleInt16LSB, -1.5f, -32768},
        {kSampleInt16MSB, nan, 0},            {kSampleInt16LSB, 0.5f, 16000},
        {kSampleInt24LSB, 1.0f, 8300000},     {kSampleInt24MSB, -2.0f, -8388608},
        {kSampleInt32LSB, 1.0f, 2100000000},  {kSampleInt32MSB, 2.0f, 2147483647},
        {kSampleInt32LSB, -3.0f, -2147483648LL},
        {kSampleInt32LSB24, 1.0f, 8203125},   {kSampleInt32MSB16, -1.0f, -32044},
        {kSampleInt32LSB18, 1.0f, 128173},    {kSampleInt32MSB20, 1.0f, 512695},
    };
    FakeDriver::List();
    for (const Case& c : cases) {
        FakeDriver::config.type = c.type;
        ASSERT_TRUE(g_AudioDevices.Open(nullptr, "Fake", synth, 44100, 11));
        synth->value = c.sample;
        FakeDriver::live->Switch(3);
        const bool msb = c.type < kSampleInt16LSB;
        const int bytes = c.type % 16 == 0 ? 2 : c.type % 16 == 1 ? 3 : 4;
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(ReadInt(FakeDriver::live->Out(ch) + i * bytes, bytes, msb), c.want)
                    << "type " << c.type << " sample " << c.sample;
        EXPECT_EQ(FakeDriver::live->Out(0)[3 * bytes], 0xAA);  // nothing past the frames
        g_AudioDevices.Close();
    }

    // Floats go as they are, in the type's byte order; unknown types are untouched.
    for (int32_t type : std::vector<int32_t>{kSampleFloat32LSB, kSampleFloat32MSB, kSampleFloat64LSB, kSampleFloat64MSB, 5, 21}) {
        FakeDriver::config.type = type;
        ASSERT_TRUE(g_AudioDevices.Open(nullptr, "Fake", synth, 44100, 11));
        synth->value = 0.3f;
        FakeDriver::live->Switch(2);
        const uint8_t* out = FakeDriver::live->Out(1);
        const bool msb = type < kSampleInt16LSB;
        if (type % 16 == kSampleFloat32MSB)
            EXPECT_EQ(uint32_t(ReadInt(out + 4, 4, msb)), std::bit_cast<uint32_t>(0.3f));
        else if (type % 16 == kSampleFloat64MSB)
            EXPECT_EQ(uint64_t(ReadInt(out + 8, 8, msb)), std::bit_cast<uint64_t>(double(0.3f)));
        else
            EXPECT_EQ(out[0], 0xAA) << type;
        g_AudioDevices.Close();
    }
}

TEST_F(AudioOutputTest, LongBufferSwitchRendersInPieces) {
    FakeDriver::List();
    ASSERT_TRUE(g_AudioDevices.Open(nullptr, "Fake", synth, 44100, 11));
    synth->value = 0.25f;
    synth->longest = 0;
    FakeDriver::live->Switch(FakeDriver::kMaxFrames);
    EXPECT_EQ(synth->longest, CASIOManager::kMaxFrames);
    const auto* right = reinterpret_cast<const float*>(FakeDriver::live->Out(1));
    EXPECT_EQ(right[FakeDriver::kMaxFrames - 1], 0.25f);
    EXPECT_EQ(right[CASIOManager::kMaxFrames], 0.25f);
}

TEST_F(AudioOutputTest, EngineFollowsTheDriversRateOnlyWhereItCanRun) {
    struct Case {
        double driverRate;
        CAudioDevices::Mode mode;
        int32_t engineRate;
    };
    const Case cases[] = {
        {44100.0, CAudioDevices::kModeASIO, 44100},
        {48000.0, CAudioDevices::kModeASIO, 48000},
        {192000.0, CAudioDevices::kModeDirectSound, 44100},
        {12345.0, CAudioDevices::kModeDirectSound, 44100},
    };
    FakeDriver::List();
    for (const Case& c : cases) {
        FakeDriver::config.rate = c.driverRate;
        g_AudioDevices.Open(nullptr, "Fake", synth, 44100, 11);
        EXPECT_EQ(g_AudioDevices.GetMode(), c.mode) << c.driverRate;
        EXPECT_EQ(g_GlobalData.sampleRate, c.engineRate) << c.driverRate;
        if (c.mode == CAudioDevices::kModeDirectSound) {
            EXPECT_EQ(ring.openedRate, 44100);
        }
        // A later rate change the driver cannot follow goes back to its rate.
        if (c.mode == CAudioDevices::kModeASIO) {
            synth->SetSampleRate(96000.0f);
            EXPECT_EQ(g_GlobalData.sampleRate, c.engineRate);
            EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeASIO);
        }
        g_AudioDevices.Close();
        synth->SetSampleRate(44100.0f);
    }
    // A driver with one output cannot carry the stereo render.
    FakeDriver::config = FakeDriver::Config{};
    FakeDriver::config.outputs = 1;
    g_AudioDevices.Open(nullptr, "Fake", synth, 44100, 11);
    EXPECT_EQ(g_AudioDevices.GetMode(), CAudioDevices::kModeDirectSound);
}
