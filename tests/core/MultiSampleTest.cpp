#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/CMultiSample.h"
#include "platform/CGlobalData.h"
#include "tests/core/SampleFixtures.h"

namespace {

using samplefix::Qvi;

float PitchOf(float key)
{
    return (key - 69.0f) / 192.0f;
}

class MultiSampleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedRate = g_GlobalData.sampleRate;
        std::memcpy(savedSamplePath, g_GlobalData.SamplePath, sizeof(savedSamplePath));
        g_GlobalData.sampleRate = 44100;
        g_GlobalData.SamplePath[0] = '\0';
        folder = dir.Path() + "/";
    }
    void TearDown() override
    {
        g_GlobalData.sampleRate = savedRate;
        std::memcpy(g_GlobalData.SamplePath, savedSamplePath, sizeof(savedSamplePath));
    }
    std::string Sounds(const std::string& name) { return samplefix::SampleFolder(dir.Path(), name); }

    // A multi-sample "ramp" with one zone (0, all keys) playing a 1000-frame
    // ramp, looped over frames 250..750.
    std::unique_ptr<CMultiSample> OpenRamp(float crossfade, uint32_t loopEnable,
                                           const std::string& name = "ramp")
    {
        Qvi q;
        q.crossfade = crossfade;
        q.loopEnable = loopEnable;
        q.zones[0].files[0] = "ramp.wav";
        q.zones[0].upper = 127;
        q.zones[0].loopStart = 0.25f;
        q.zones[0].loopEnd = 0.75f;
        const std::string path = samplefix::WriteQvi(dir.Path(), name, q);
        EXPECT_TRUE(samplefix::WriteRamp(Sounds(name) + "ramp.wav", 1000));
        auto ms = std::make_unique<CMultiSample>();
        EXPECT_TRUE(ms->Open(path.c_str()));
        return ms;
    }

    testutil::TempFolder dir;
    std::string folder;
    int32_t savedRate = 44100;
    char savedSamplePath[512] = {};
};

constexpr float kStep = 1.0f / 1024.0f; // one ramp frame

} // namespace

TEST_F(MultiSampleTest, ZoneChoiceRoundsTheKeyAndTakesTheSmallestUpperKey)
{
    Qvi q;
    const struct {
        int zone;
        int upper;
        const char* file;
    } zones[] = {
        {5, 48, "a.wav"},  {2, 60, "b.wav"},  {9, 72, "c.wav"},        {0, 128, "d.wav"},
        {11, 60, "e.wav"}, {3, 30, nullptr}, {4, 20, "missing.wav"},
    };
    for (int z = 0; z < 16; ++z)
        q.zones[z].upper = 200; // unused zones: never chosen
    for (const auto& z : zones) {
        q.zones[z.zone].upper = z.upper;
        if (z.file)
            q.zones[z.zone].files[0] = z.file;
    }
    const std::string path = samplefix::WriteQvi(dir.Path(), "keys", q);
    for (const char* f : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"})
        ASSERT_TRUE(samplefix::WriteConstant(Sounds("keys") + f, 64, 0.5f));

    CMultiSample ms;
    EXPECT_EQ(ms.StartVoice(0, 0.0f, 100.0f), 0.0f); // not loaded
    ASSERT_TRUE(ms.Open(path.c_str()));
    EXPECT_TRUE(ms.loaded);
    EXPECT_FALSE(ms.Zone(4)->loaded); // its file is missing; the rest loaded

    for (int key = 0; key < 128; ++key) {
        const int want = key <= 48 ? 5 : key <= 60 ? 2 : key <= 72 ? 9 : -1;
        // The exact pitch and pitches just short of half a key either side.
        for (float off : {0.0f, -0.45f, 0.45f}) {
            SCOPED_TRACE(::testing::Message() << "key " << key << " offset " << off);
            const float ratio = ms.StartVoice(7, PitchOf(static_cast<float>(key) + off), 100.0f);
            if (want < 0) {
                EXPECT_EQ(ratio, -1.0f);
                EXPECT_EQ(ms.Voice(7, 0).sample, nullptr);
                EXPECT_EQ(ms.NextSample(7, 1), 0.0f);
            } else {
                EXPECT_GT(ratio, 0.0f);
                EXPECT_EQ(ms.Voice(7, 0).sample, ms.Zone(want)->LayerFrames(0));
            }
        }
    }
    EXPECT_EQ(ms.StartVoice(128, 0.0f, 100.0f), -1.0f);
    EXPECT_EQ(ms.StartVoice(0, NAN, 100.0f), -1.0f);
}

TEST_F(MultiSampleTest, VelocityLayersRootKeyAndRate)
{
    Qvi q;
    q.zones[0].upper = 64;
    q.zones[0].root = 60;
    q.zones[0].files[0] = "soft.wav";
    q.zones[0].files[1] = "loud.wav";
    q.zones[1].upper = 127;
    q.zones[1].root = 72;
    q.zones[1].files[1] = "loud.wav"; // only the loud layer
    const std::string path = samplefix::WriteQvi(dir.Path(), "vel", q);
    ASSERT_TRUE(samplefix::WriteConstant(Sounds("vel") + "soft.wav", 200, 0.25f, 22050));
    ASSERT_TRUE(samplefix::WriteConstant(Sounds("vel") + "loud.wav", 200, 0.75f, 44100));
    CMultiSample ms;
    ASSERT_TRUE(ms.Open(path.c_str()));

    // Both layers: the rate of layer 0 (22050) against the engine's 44100.
    EXPECT_FLOAT_EQ(ms.StartVoice(3, PitchOf(60), 127.0f), 0.5f);
    EXPECT_EQ(ms.Voice(3, 0).gain, 0.0f);
    EXPECT_EQ(ms.Voice(3, 1).gain, 1.0f);
    EXPECT_FLOAT_EQ(ms.NextSample(3, 1), 0.75f);
    EXPECT_FLOAT_EQ(ms.GetVoicePitchScale(3), 2.5117622e-06f);

    ms.StartVoice(3, PitchOf(60), 0.0f);
    EXPECT_EQ(ms.Voice(3, 0).gain, 1.0f);
    EXPECT_EQ(ms.Voice(3, 1).gain, 0.0f);
    EXPECT_FLOAT_EQ(ms.NextSample(3, 1), 0.25f);

    ms.StartVoice(3, PitchOf(60), 63.5f);
    EXPECT_FLOAT_EQ(ms.NextSample(3, 1), 0.5f);
    ms.SetVoiceLayerMix(3, 0.25f);
    EXPECT_FLOAT_EQ(ms.NextSample(3, 1), 0.375f);

    // Four keys above the root.
    EXPECT_NEAR(ms.StartVoice(3, PitchOf(64), 64.0f), 0.6299605f, 1e-6f);

    // Only layer 1: its rate and all of its gain, whatever the velocity.
    EXPECT_FLOAT_EQ(ms.StartVoice(4, PitchOf(72), 10.0f), 1.0f);
    EXPECT_EQ(ms.Voice(4, 0).sample, nullptr);
    EXPECT_EQ(ms.Voice(4, 0).gain, 0.0f);
    EXPECT_EQ(ms.Voice(4, 1).gain, 1.0f);
    ms.SetVoiceLayerMix(4, 0.0f); // needs two layers: no effect
    EXPECT_FLOAT_EQ(ms.NextSample(4, 1), 0.75f);
    EXPECT_NEAR(ms.StartVoice(4, PitchOf(84), 10.0f), 2.0f, 1e-5f);
    EXPECT_FLOAT_EQ(ms.GetVoicePitchScale(4), 2.5117622e-06f);

    g_GlobalData.sampleRate = 48000;
    EXPECT_FLOAT_EQ(ms.StartVoice(4, PitchOf(72), 10.0f), 0.91875f);
}

TEST_F(MultiSampleTest, CrossfadedLoopOnTheSampleReader)
{
    auto ms = OpenRamp(0.5f, 1);
    ms->StartVoice(0, PitchOf(60), 100.0f);
    const CMultiSample::VoiceLayer& l = ms->Voice(0, 0);
    EXPECT_EQ(l.loopStart, 250);
    EXPECT_EQ(l.loopEnd, 750);
    // Half of the crossfade share of the 500-frame loop: 125 frames.
    EXPECT_EQ(l.crossfadeStart, 625);
    EXPECT_FLOAT_EQ(l.crossfadeRecip, 1.0f / 125.0f);

    ms->AdvanceVoice(0, 1, 624);
    EXPECT_FLOAT_EQ(ms->NextSample(0, 1), 624 * kStep);
    EXPECT_FLOAT_EQ(ms->NextSample(0, 1), 625 * kStep); // blend weight 0
    ms->AdvanceVoice(0, 1, 74);
    // 700 blended with 325 at 75/125.
    EXPECT_NEAR(ms->NextSample(0, 1), (700 * 0.4f + 325 * 0.6f) * kStep, 1e-5f);
    ms->AdvanceVoice(0, 1, 48);
    EXPECT_NEAR(ms->NextSample(0, 1), (749 / 125.0f + 374 * 124 / 125.0f) * kStep, 1e-5f);
    // Past the loop end the reader continues where the blend left off.
    EXPECT_FLOAT_EQ(ms->NextSample(0, 1), 375 * kStep);

    SampleLayerView view;
    ASSERT_TRUE(ms->GetVoiceLayer(0, 0, view));
    EXPECT_EQ(view.position, 376);
    EXPECT_EQ(view.frames, 1000);
    EXPECT_FALSE(ms->GetVoiceLayer(0, 1, view));

    // Skipping n values lands where n reads land, however many laps that is.
    for (int n : {1, 373, 374, 375, 1000, 12345}) {
        ms->StartVoice(1, PitchOf(60), 100.0f);
        ms->StartVoice(2, PitchOf(60), 100.0f);
        ms->AdvanceVoice(1, 1, 376);
        ms->AdvanceVoice(2, 1, 376);
        ms->AdvanceVoice(1, 1, n);
        for (int i = 0; i < n; ++i)
            ms->NextSample(2, 1);
        EXPECT_EQ(ms->Voice(1, 0).position, ms->Voice(2, 0).position) << n;
    }
    ms->AdvanceVoice(1, 1, 0);
}

TEST_F(MultiSampleTest, LoopWithoutCrossfadeAndWithoutLoop)
{
    auto ms = OpenRamp(0.0f, 1);
    ms->StartVoice(0, PitchOf(60), 100.0f);
    EXPECT_EQ(ms->Voice(0, 0).crossfadeStart, 750);
    ms->AdvanceVoice(0, 1, 749);
    EXPECT_FLOAT_EQ(ms->NextSample(0, 1), 749 * kStep);
    EXPECT_FLOAT_EQ(ms->NextSample(0, 1), 250 * kStep);

    auto once = OpenRamp(0.5f, 0, "once");
    once->StartVoice(0, PitchOf(60), 100.0f);
    once->AdvanceVoice(0, 1, 998);
    EXPECT_FLOAT_EQ(once->NextSample(0, 1), 998 * kStep);
    EXPECT_FLOAT_EQ(once->NextSample(0, 1), 999 * kStep);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(once->NextSample(0, 1), 0.0f);
    once->AdvanceVoice(0, 1, 2000000000); // parks, never wraps around
    EXPECT_EQ(once->NextSample(0, 1), 0.0f);

    // Backwards from frame 2 to the start, then silence.
    once->StartVoice(1, PitchOf(60), 100.0f);
    once->AdvanceVoice(1, 1, 2);
    EXPECT_FLOAT_EQ(once->NextSample(1, 0), 2 * kStep);
    EXPECT_FLOAT_EQ(once->NextSample(1, -1), 1 * kStep);
    EXPECT_FLOAT_EQ(once->NextSample(1, 0), 0.0f);
    EXPECT_EQ(once->NextSample(1, 0), 0.0f);
    EXPECT_EQ(once->Voice(1, 0).position, -1);
}

TEST_F(MultiSampleTest, BlockRendererViewSeesGuardFrames)
{
    Qvi q;
    q.zones[0].upper = 127;
    q.zones[0].files[0] = "st.wav";
    const std::string path = samplefix::WriteQvi(dir.Path(), "st", q);
    std::vector<float> stereo;
    for (int i = 0; i < 100; ++i) stereo.insert(stereo.end(), {0.5f, -0.25f});
    ASSERT_TRUE(samplefix::WriteSound(Sounds("st") + "st.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2,
                                      44100, stereo));
    CMultiSample ms;
    ASSERT_TRUE(ms.Open(path.c_str()));
    ms.StartVoice(9, PitchOf(60), 100.0f);
    SampleLayerView view;
    ASSERT_TRUE(ms.GetVoiceLayer(9, 0, view));
    ASSERT_EQ(view.channels, 2);
    // The guard frames on both sides (the sample tests check their contents).
    EXPECT_EQ(view.data[-32], 0.0f);
    EXPECT_EQ(view.data[0], 0.5f);
    EXPECT_EQ(view.data[1], -0.25f);
    EXPECT_EQ(view.data[200 + 512 * 2 - 1], 0.0f);
    // The sample reader is mono: both channels mixed, as the block renderer's mono output.
    EXPECT_EQ(ms.NextSample(9, 1), 0.125f);

    ms.SetVoicePosition(9, 0, 42);
    ASSERT_TRUE(ms.GetVoiceLayer(9, 0, view));
    EXPECT_EQ(view.position, 42);
    EXPECT_FALSE(ms.GetVoiceLayer(200, 0, view));
}

TEST_F(MultiSampleTest, SamplePathTokenRoundTrips)
{
    std::filesystem::create_directories(dir / "lib/strings");
    Qvi q;
    q.valueA = 0.5f;
    samplefix::WriteQvi(dir / "lib/strings", "violin", q);
    const std::string lib = dir / "lib";
    std::snprintf(g_GlobalData.SamplePath, sizeof(g_GlobalData.SamplePath), "%s", lib.c_str());

    CMultiSample ms;
    ASSERT_TRUE(ms.Open("$SAMPLE$/strings/violin.qvi"));
    EXPECT_EQ(std::string(ms.GetDirectory()), lib + "/strings/");
    EXPECT_EQ(std::string(ms.path), "$SAMPLE$/strings/violin.qvi");
    char stored[512];
    ms.GetStoredPath(stored);
    EXPECT_STREQ(stored, "$SAMPLE$/strings/violin");

    CMultiSample again;
    ASSERT_TRUE(again.Open(stored));
    EXPECT_EQ(std::string(again.GetDirectory()), lib + "/strings/");
    EXPECT_EQ(again.GetValueA(), 0.5f);

    // Outside the sample folder, or with none set, the path stays as it is.
    g_GlobalData.SamplePath[0] = '\0';
    again.GetStoredPath(stored);
    EXPECT_EQ(std::string(stored), lib + "/strings/violin");
    std::snprintf(g_GlobalData.SamplePath, sizeof(g_GlobalData.SamplePath), "/elsewhere");
    again.GetStoredPath(stored);
    EXPECT_EQ(std::string(stored), lib + "/strings/violin");
    char tiny[8];
    again.GetStoredPath(tiny);
    EXPECT_STREQ(tiny, "");
}

TEST_F(MultiSampleTest, SaveWritesTheFileAndReadsBack)
{
    std::vector<float> sound(400, 0.5f);
    SF_INSTRUMENT inst{};
    inst.basenote = 57;
    inst.loop_count = 1;
    inst.loops[0].mode = SF_LOOP_FORWARD;
    inst.loops[0].start = 100;
    inst.loops[0].end = 300;
    ASSERT_TRUE(samplefix::WriteSound(dir / "source.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1,
                                      44100, sound, &inst));

    CMultiSample ms;
    EXPECT_TRUE(ms.Save());     // nothing to save
    ASSERT_TRUE(ms.New((folder + "made.qvi").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "made_s"));
    EXPECT_TRUE(ms.loaded);
    EXPECT_TRUE(ms.dirty);
    // A file that cannot be played is neither copied nor assigned.
    ASSERT_TRUE(samplefix::WriteSound(dir / "three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3,
                                      44100, std::vector<float>(30, 0.1f)));
    EXPECT_FALSE(ms.AssignZoneFile((dir / "three.wav").c_str(), 3, 1));
    EXPECT_FALSE(std::filesystem::exists(dir / "made_s/three.wav"));
    EXPECT_FALSE(ms.Zone(3)->loaded);
    ASSERT_TRUE(ms.AssignZoneFile((dir / "source.wav").c_str(), 3, 1));
    EXPECT_TRUE(std::filesystem::exists(dir / "made_s/source.wav"));
    EXPECT_EQ(ms.GetZoneRootKey(3), 57);
    EXPECT_EQ(ms.GetZoneUpperKey(3), 127); // a WAV file names no key range
    EXPECT_FLOAT_EQ(ms.GetZoneLoopStart(3), 0.25f);
    EXPECT_FLOAT_EQ(ms.GetZoneLoopEnd(3), 0.75f);
    ms.SetZoneUpperKey(3, 90);
    ms.SetZoneRootKey(3, 62);
    ms.SetZoneLoopEnd(3, 0.5f);
    ms.SetLoopEnable(1);
    ms.SetLoopCrossfade(0.3f);
    ms.SetValueA(2.5f);
    EXPECT_TRUE(ms.Save());
    EXPECT_FALSE(ms.dirty);

    const std::string bytes = testutil::ReadFile(dir / "made.qvi");
    ASSERT_EQ(bytes.size(), 3220u);
    EXPECT_EQ(bytes.substr(0, 5), "QVMPL");
    EXPECT_EQ(bytes[80], 1);
    EXPECT_EQ(bytes.substr(148 + 3 * 192 + 64, 11), std::string("source.wav\0", 11));
    EXPECT_EQ(static_cast<unsigned char>(bytes[148 + 3 * 192 + 132]), 90);
    EXPECT_FALSE(std::filesystem::exists(dir / "made.qvi.tmp"));

    CMultiSample back;
    ASSERT_TRUE(back.Open((dir / "made.qvi").c_str()));
    EXPECT_FALSE(back.dirty);
    char text[128];
    back.GetName(text, sizeof(text));
    EXPECT_STREQ(text, "made");
    back.GetZoneFileName(3, 1, text, sizeof(text));
    EXPECT_STREQ(text, "source.wav");
    EXPECT_EQ(back.GetZoneRootKey(3), 62);
    EXPECT_EQ(back.GetZoneUpperKey(3), 90);
    EXPECT_FLOAT_EQ(back.GetZoneLoopStart(3), 0.25f);
    EXPECT_FLOAT_EQ(back.GetZoneLoopEnd(3), 0.5f);
    EXPECT_EQ(back.GetLoopEnable(), 1u);
    EXPECT_FLOAT_EQ(back.GetLoopCrossfade(), 0.3f);
    EXPECT_EQ(back.GetValueA(), 2.5f);
    EXPECT_EQ(back.GetUseSinc(), 1.0f); // value A's word is nonzero
    EXPECT_TRUE(back.Zone(3)->HasLayer(1));
    EXPECT_EQ(back.Zone(3)->layers[1].frames, 400);
    EXPECT_EQ(back.Zone(3)->loopMode, 1u);

    // A cleared layer stays cleared after saving and reading back.
    back.ClearZoneLayer(3, 1);
    EXPECT_TRUE(back.dirty);
    EXPECT_FALSE(back.Zone(3)->loaded);
    ASSERT_TRUE(back.Save());
    CMultiSample cleared;
    ASSERT_TRUE(cleared.Open((dir / "made.qvi").c_str()));
    EXPECT_FALSE(cleared.Zone(3)->loaded);

    // A file that cannot be written is a failure and the edit stays unsaved.
    std::filesystem::rename(dir.Path(), dir.Path() + "-gone");
    back.SetZoneRootKey(3, 64);
    EXPECT_FALSE(back.Save());
    EXPECT_TRUE(back.dirty);
    std::filesystem::rename(dir.Path() + "-gone", dir.Path());

    CMultiSample never;
    never.dirty = 1;
    EXPECT_FALSE(never.Save()); // not loaded
    EXPECT_FALSE(never.New((folder + "nofolder/x.qvi").c_str()));
    EXPECT_FALSE(never.loaded);
}

TEST_F(MultiSampleTest, MalformedFilesChangeNothing)
{
    auto ms = OpenRamp(0.5f, 1);
    ms->SetZoneRootKey(0, 66);
    ms->StartVoice(5, PitchOf(60), 100.0f);
    const float* data = ms->Zone(0)->LayerFrames(0);
    const std::string good = testutil::ReadFile(dir / "ramp.qvi");

    auto expectUnchanged = [&](const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(ms->Open((dir / "bad.qvi").c_str()));
        EXPECT_STREQ(ms->path, (dir / "ramp.qvi").c_str());
        EXPECT_EQ(ms->Zone(0)->LayerFrames(0), data);
        EXPECT_EQ(ms->GetZoneRootKey(0), 66);
        EXPECT_TRUE(ms->dirty);
        EXPECT_EQ(ms->Voice(5, 0).sample, data);
    };

    // Cut at every field boundary of the header, the body and each zone.
    std::vector<size_t> cuts = {0, 5, 80, 81, 84, 88, 92, 96, 148, 3219};
    for (size_t z = 0; z < 16; ++z)
        for (size_t f : {0, 64, 128, 132, 136, 140, 144, 148, 152, 156, 160, 164})
            cuts.push_back(148 + z * 192 + f);
    for (size_t cut : cuts) {
        testutil::WriteFile(dir / "bad.qvi", good.substr(0, cut));
        expectUnchanged("cut at " + std::to_string(cut));
    }

    std::string bytes = good;
    bytes[2] = 'X';
    testutil::WriteFile(dir / "bad.qvi", bytes);
    expectUnchanged("magic");

    for (size_t at : {size_t{148}, size_t{148 + 7 * 192 + 64}}) {
        bytes = good;
        std::memset(&bytes[at], 'n', 64); // no terminator inside the field
        testutil::WriteFile(dir / "bad.qvi", bytes);
        expectUnchanged("unterminated at " + std::to_string(at));
    }
    for (const char* name : {"../ramp_s/ramp.wav", "/etc/passwd", "..", "a\\b.wav"}) {
        bytes = good;
        std::memset(&bytes[148 + 64], 0, 64);
        std::memcpy(&bytes[148 + 64], name, std::strlen(name));
        testutil::WriteFile(dir / "bad.qvi", bytes);
        expectUnchanged(name);
    }
    std::filesystem::remove(dir / "bad.qvi");
    expectUnchanged("missing");
    EXPECT_FALSE(ms->Open((dir / "ramp.wav").c_str())); // not a .qvi name
    EXPECT_FALSE(ms->Open(nullptr));
    EXPECT_FALSE(ms->Open((folder + std::string(600, 'x') + ".qvi").c_str()));
    EXPECT_EQ(ms->Zone(0)->LayerFrames(0), data);

    // Out-of-range loop values are limited instead of trusted.
    Qvi q;
    q.crossfade = 5.0f;
    q.loopEnable = 1;
    q.zones[0].files[0] = "ramp.wav";
    q.zones[0].upper = 127;
    q.zones[0].loopStart = 0.9f;
    q.zones[0].loopEnd = 0.1f;
    q.zones[1].loopStart = -3.0f;
    q.zones[1].loopEnd = NAN;
    q.zones[2].loopStart = 0.5f;
    q.zones[2].loopEnd = 7.0f;
    samplefix::WriteQvi(dir.Path(), "wild", q);
    ASSERT_TRUE(samplefix::WriteRamp(Sounds("wild") + "ramp.wav", 1000));
    CMultiSample wild;
    ASSERT_TRUE(wild.Open((dir / "wild.qvi").c_str()));
    EXPECT_EQ(wild.GetLoopCrossfade(), 1.0f);
    for (int z = 0; z < 3; ++z) {
        EXPECT_EQ(wild.GetZoneLoopStart(z), z == 2 ? 0.5f : 0.0f) << z;
        EXPECT_EQ(wild.GetZoneLoopEnd(z), 1.0f) << z;
    }
    wild.StartVoice(0, PitchOf(60), 100.0f);
    EXPECT_EQ(wild.Voice(0, 0).crossfadeStart, 500); // a full crossfade spans half the loop
    for (int i = 0; i < 5000; ++i)
        wild.NextSample(0, 1);
    EXPECT_GE(wild.Voice(0, 0).position, 500);
    EXPECT_LT(wild.Voice(0, 0).position, 1000);

    // Another version keeps the body settings; the zones come up empty.
    bytes = testutil::ReadFile(dir / "wild.qvi");
    bytes[80] = 2;
    testutil::WriteFile(dir / "wild.qvi", bytes);
    ASSERT_TRUE(wild.Open((dir / "wild.qvi").c_str()));
    EXPECT_EQ(wild.GetLoopCrossfade(), 1.0f);
    EXPECT_FALSE(wild.Zone(0)->loaded);
    EXPECT_EQ(wild.StartVoice(0, PitchOf(60), 100.0f), -1.0f);
}

TEST_F(MultiSampleTest, GuardSurroundsEveryFree)
{
    struct Log {
        std::vector<std::string> calls;
        CMultiSample* ms = nullptr;
        float firstValue = -1.0f;
    } log;
    auto guard = [](void* context, const CMultiSample* which, bool begin) {
        Log& l = *static_cast<Log*>(context);
        EXPECT_EQ(which, l.ms);
        l.calls.push_back(begin ? "begin" : "end");
        if (begin && which->Voice(0, 0).sample) // still there: read it (ASan would object)
            l.firstValue = which->Voice(0, 0).sample[1];
        if (!begin) {
            EXPECT_EQ(which->Voice(0, 0).sample, nullptr);
        }
    };

    auto ms = OpenRamp(0.0f, 0);
    log.ms = ms.get();
    ms->SetFreeGuard(guard, &log);
    ASSERT_TRUE(samplefix::WriteRamp(dir / "other.wav", 10));

    ms->StartVoice(0, PitchOf(60), 100.0f);
    ASSERT_TRUE(ms->Open((dir / "ramp.qvi").c_str()));
    EXPECT_EQ(log.firstValue, kStep);
    ms->StartVoice(0, PitchOf(60), 100.0f);
    ms->ClearZoneLayer(0, 0);
    ms->AssignZoneFile((dir / "other.wav").c_str(), 0, 0);
    ms->StartVoice(0, PitchOf(60), 100.0f);
    ASSERT_TRUE(ms->New((dir / "fresh.qvi").c_str()));
    const std::vector<std::string> want = {"begin", "end", "begin", "end",
                                           "begin", "end", "begin", "end"};
    EXPECT_EQ(log.calls, want);

    // Refused operations never stop the audio.
    log.calls.clear();
    EXPECT_FALSE(ms->Open((dir / "none.qvi").c_str()));
    ms->ClearZoneLayer(16, 0);
    EXPECT_FALSE(ms->AssignZoneFile((dir / "none.wav").c_str(), 0, 0));
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(MultiSampleTest, EditorAccessorsLimitLoopsAndIgnoreAnEmptyMultiSample)
{
    CMultiSample ms;
    ms.SetZoneRootKey(0, 50);
    ms.SetValueA(1.0f);
    EXPECT_FALSE(ms.dirty);
    EXPECT_EQ(ms.GetZoneRootKey(0), 0);
    ms.SetUseSinc(0.2f);  // works without a multi-sample, marks nothing
    EXPECT_TRUE(ms.UsesSincResampler());
    EXPECT_FALSE(ms.dirty);

    auto ramp = OpenRamp(0.0f, 0);
    ramp->SetZoneLoopStart(0, 0.8f); // not below the end (0.75)
    EXPECT_EQ(ramp->GetZoneLoopStart(0), 0.25f);
    ramp->SetZoneLoopEnd(0, 0.2f); // not above the start
    EXPECT_EQ(ramp->GetZoneLoopEnd(0), 0.75f);
    EXPECT_FALSE(ramp->dirty);
    ramp->SetZoneLoopStart(0, -1.0f);
    ramp->SetZoneLoopEnd(0, 4.0f);
    EXPECT_EQ(ramp->GetZoneLoopStart(0), 0.0f);
    EXPECT_EQ(ramp->GetZoneLoopEnd(0), 1.0f);
    EXPECT_TRUE(ramp->dirty);
    ramp->SetZoneRootKey(16, 1);
    EXPECT_EQ(ramp->GetZoneRootKey(16), 0);

    // Only a different path reopens.
    ramp->SetZoneRootKey(0, 40);
    ramp->OpenIfChanged((dir / "ramp.qvi").c_str());
    EXPECT_EQ(ramp->GetZoneRootKey(0), 40);
    ramp->OpenIfChanged((dir / "ramp").c_str());
    EXPECT_EQ(ramp->GetZoneRootKey(0), 60);
}
