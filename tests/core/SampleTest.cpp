#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/CSample.h"
#include "tests/core/SampleFixtures.h"

namespace {

SF_INSTRUMENT Instrument(int base, int keyLo, int keyHi, int mode, uint32_t start, uint32_t end)
{
    SF_INSTRUMENT inst{};
    inst.gain = 1;
    inst.basenote = static_cast<char>(base);
    inst.velocity_lo = 0;
    inst.velocity_hi = 127;
    inst.key_lo = static_cast<char>(keyLo);
    inst.key_hi = static_cast<char>(keyHi);
    inst.loop_count = 1;
    inst.loops[0].mode = mode;
    inst.loops[0].start = start;
    inst.loops[0].end = end;
    return inst;
}

// The layer's storage: 16 zero frames, the sound, 512 zero frames.
void ExpectGuarded(const CSample::Layer& l, const std::vector<float>& sound)
{
    ASSERT_NE(l.data, nullptr);
    const size_t ch = static_cast<size_t>(l.channels);
    ASSERT_EQ(sound.size(), static_cast<size_t>(l.frames) * ch);
    for (size_t i = 0; i < 16 * ch; ++i)
        ASSERT_EQ(l.data[i], 0.0f) << i;
    for (size_t i = 0; i < sound.size(); ++i)
        ASSERT_FLOAT_EQ(l.data[16 * ch + i], sound[i]) << i;
    for (size_t i = 0; i < 512 * ch; ++i)
        ASSERT_EQ(l.data[16 * ch + sound.size() + i], 0.0f) << i;
}

} // namespace

TEST(Sample, ReadsWavAiffAndFlacWithGuardFrames)
{
    testutil::TempFolder dir;
    // Values exact in 16-bit PCM: multiples of 1/32768.
    std::vector<float> mono, stereo;
    for (int i = 0; i < 300; ++i) {
        mono.push_back(static_cast<float>((i % 64) - 32) / 64.0f);
        stereo.push_back(0.5f);
        stereo.push_back(static_cast<float>(i % 8) / -16.0f);
    }
    struct Case {
        const char* file;
        int format;
        int channels;
        int rate;
        const std::vector<float>* sound;
    } cases[] = {
        {"m.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, &mono},
        {"s.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, &stereo},
        {"m.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, &mono},
        {"s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 32000, &stereo},
        {"m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 96000, &mono},
        {"s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, &stereo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir / c.file;
        ASSERT_TRUE(samplefix::WriteSound(path, c.format, c.channels, c.rate, *c.sound));
        CSample::Layer l;
        char error[128] = "untouched";
        ASSERT_TRUE(CSample::ReadSoundFile(path.c_str(), l, nullptr, error, sizeof(error)));
        EXPECT_EQ(l.channels, c.channels);
        EXPECT_EQ(l.frames, 300 * 1);
        EXPECT_EQ(l.sampleRate, static_cast<float>(c.rate));
        ExpectGuarded(l, *c.sound);
        CSample::FreeData(l);
        EXPECT_EQ(l.data, nullptr);
    }
}

TEST(Sample, InstrumentChunkSetsLoopRootAndKeys)
{
    testutil::TempFolder dir;
    std::filesystem::create_directories(dir / "inst_s");
    const std::vector<float> sound(400, 0.25f);
    struct Case {
        int mode;
        uint32_t start, end;
        uint32_t zoneMode;
        float loopStart, loopEnd;
    } cases[] = {
        {SF_LOOP_FORWARD, 100, 300, 1, 0.25f, 0.75f},
        {SF_LOOP_BACKWARD, 40, 1000, 1, 0.1f, 1.0f}, // end past the sound: at most 1
        {SF_LOOP_ALTERNATING, 0, 200, 2, 0.0f, 0.5f}, // a zero start keeps the zone's
        {SF_LOOP_NONE, 200, 0, 0, 0.5f, 1.0f},       // a zero end keeps the zone's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        const SF_INSTRUMENT inst = Instrument(72, 10, 80, c.mode, c.start, c.end);
        ASSERT_TRUE(samplefix::WriteSound(dir / "inst_s/a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                          1, 44100, sound, &inst));
        CSample s;
        std::strcpy(s.layerFile[1], "a.wav");
        ASSERT_TRUE(s.LoadLayer((dir.Path() + "/").c_str(), "inst", 1, true)) << s.lastError;
        EXPECT_TRUE(s.loaded);
        EXPECT_TRUE(s.HasLayer(1));
        EXPECT_FALSE(s.HasLayer(0));
        EXPECT_EQ(s.rootKey, 72);
        // A WAV sampler chunk holds no key range: libsndfile reports all keys.
        EXPECT_EQ(s.lowerKey, 0);
        EXPECT_EQ(s.upperKey, 127);
        EXPECT_EQ(s.loopMode, c.zoneMode);
        EXPECT_FLOAT_EQ(s.loopStart, c.loopStart);
        EXPECT_FLOAT_EQ(s.loopEnd, c.loopEnd);

        // Without instrument data the zone's own values stay.
        CSample plain;
        std::strcpy(plain.layerFile[0], "a.wav");
        ASSERT_TRUE(plain.LoadLayer((dir.Path() + "/").c_str(), "inst", 0, false));
        EXPECT_EQ(plain.rootKey, 60);
        EXPECT_EQ(plain.upperKey, 67);
        EXPECT_EQ(plain.loopStart, 0.0f);
        EXPECT_EQ(plain.loopEnd, 1.0f);
    }

    // A file without an instrument chunk leaves the zone as it was.
    ASSERT_TRUE(samplefix::WriteSound(dir / "inst_s/k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1,
                                      44100, sound));
    CSample s;
    s.upperKey = 50;
    s.loopStart = 0.5f;
    std::strcpy(s.layerFile[0], "k.wav");
    ASSERT_TRUE(s.LoadLayer((dir.Path() + "/").c_str(), "inst", 0, true)) << s.lastError;
    EXPECT_EQ(s.rootKey, 60);
    EXPECT_EQ(s.upperKey, 50);
    EXPECT_EQ(s.loopStart, 0.5f);
}

TEST(Sample, BadFilesAreRefusedAndLeaveTheLayer)
{
    testutil::TempFolder dir;
    std::filesystem::create_directories(dir / "x_s");
    const std::string folder = dir.Path() + "/";
    ASSERT_TRUE(samplefix::WriteConstant(dir / "x_s/good.wav", 100, 0.5f));
    std::vector<float> three(3 * 50, 0.1f);
    ASSERT_TRUE(samplefix::WriteSound(dir / "x_s/three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3,
                                      44100, three));
    ASSERT_TRUE(samplefix::WriteSound(dir / "x_s/empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1,
                                      44100, {}));
    testutil::WriteFile(dir / "x_s/text.wav", "this is not a sound file at all, just text");

    CSample s;
    std::strcpy(s.layerFile[0], "good.wav");
    ASSERT_TRUE(s.LoadLayer(folder.c_str(), "x", 0, false));
    const float* before = s.layers[0].data;

    for (const char* bad : {"three.wav", "empty.wav", "text.wav", "missing.wav"}) {
        SCOPED_TRACE(bad);
        std::strcpy(s.layerFile[0], bad);
        EXPECT_FALSE(s.LoadLayer(folder.c_str(), "x", 0, true));
        EXPECT_GT(std::strlen(s.lastError), 0u);
        EXPECT_EQ(s.layers[0].data, before);
        EXPECT_EQ(s.layers[0].frames, 100);
        EXPECT_TRUE(s.loaded);
    }
    EXPECT_FALSE(s.LoadLayer(folder.c_str(), "x", 2, false));

    // A WAV cut anywhere either fails to open or yields at most its frames.
    const std::string whole = testutil::ReadFile(dir / "x_s/good.wav");
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        testutil::WriteFile(dir / "x_s/cut.wav", whole.substr(0, cut));
        CSample::Layer l;
        char error[128];
        if (CSample::ReadSoundFile((dir / "x_s/cut.wav").c_str(), l, nullptr, error,
                                   sizeof(error))) {
            EXPECT_LE(l.frames, 100);
            EXPECT_GT(l.frames, 0);
        }
        CSample::FreeData(l);
    }

    s.FreeLayer(0);
    EXPECT_FALSE(s.loaded);
    EXPECT_EQ(s.layers[0].data, nullptr);
}

TEST(Sample, LoopFractionsAreClampedWithStartBelowEnd)
{
    struct Case {
        float start, end, wantStart, wantEnd;
    } cases[] = {
        {0.2f, 0.6f, 0.2f, 0.6f}, {-0.5f, 2.0f, 0.0f, 1.0f},     {0.8f, 0.2f, 0.0f, 1.0f},
        {0.5f, 0.5f, 0.0f, 1.0f}, {NAN, 0.5f, 0.0f, 1.0f},        {0.3f, INFINITY, 0.0f, 1.0f},
        {1.5f, 3.0f, 0.0f, 1.0f}, {-1.0f, 0.25f, 0.0f, 0.25f},
    };
    for (const Case& c : cases) {
        CSample s;
        s.loopStart = c.start;
        s.loopEnd = c.end;
        s.SanitizeLoop();
        EXPECT_EQ(s.loopStart, c.wantStart) << c.start << " " << c.end;
        EXPECT_EQ(s.loopEnd, c.wantEnd) << c.start << " " << c.end;
    }
}
