// Multi-samples end to end: a looped sine written as a WAV file, a .qvi that
// maps it, loaded into a part's oscillator through the parameter model,
// played by MIDI notes through the synthesizer and measured at its output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/CMultiSample.h"
#include "core/CSynth.h"
#include "tests/core/SampleFixtures.h"
#include "tests/engine/RenderFixture.h"

namespace {

constexpr int kPeriod = 100; // frames per cycle: 441 Hz at 44100 Hz
constexpr int kCycles = 20;

class MultiSampleRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        synth = std::make_unique<CSynth>();
        synth->Resume();
    }

    CMultiSample& Osc1() { return synth->engine.MultiSample(0, 0); }

    // "<name>.qvi" with one zone (layer 0: a mono float WAV of kCycles sine
    // periods at 44100 Hz, looped over all of them) sounding at its own pitch
    // on key 69, for keys up to `upper`. A nonzero value-A word selects the
    // sinc resampler. A stereo file has the same sine at a fifth of the
    // level on its right channel.
    std::string WriteSine(const std::string& name, int upper, bool sinc, int channels = 1)
    {
        samplefix::Qvi q;
        q.valueA = sinc ? 1.0f : 0.0f;
        q.loopEnable = 1;
        q.zones[0].files[0] = "sine.wav";
        q.zones[0].root = 69;
        q.zones[0].upper = upper;
        const std::string path = samplefix::WriteQvi(dir.Path(), name, q);
        std::vector<float> s;
        for (int i = 0; i < kPeriod * kCycles; ++i) {
            const float v = static_cast<float>(0.5 * std::sin(2.0 * M_PI * i / kPeriod));
            s.push_back(v);
            if (channels == 2)
                s.push_back(0.2f * v);
        }
        EXPECT_TRUE(samplefix::WriteSound(samplefix::SampleFolder(dir.Path(), name) + "sine.wav",
                                          SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, 44100, s));
        return path;
    }

    // As the editor does: the program record names the file, then the
    // oscillator's waveform parameter selects the multi-sample.
    void Load(const std::string& path)
    {
        ASSERT_LT(path.size(), static_cast<size_t>(CProgram::kSampleNameSize)) << path;
        synth->program.SetSampleName(0, path.c_str());
        synth->SetParameter(155, 0.65f); // 65 of 100: the multi-sample
        ASSERT_EQ(synth->engine.data.PartI(0, 155), 65);
        ASSERT_EQ(Osc1().loaded, 1);
    }

    void Note(int status, int key, int velocity)
    {
        synth->ProcessMidiMessage(static_cast<uint32_t>(status | key << 8 | velocity << 16), 0);
    }

    void Render(int frames)
    {
        left.assign(static_cast<size_t>(frames), 0.0f);
        right.assign(static_cast<size_t>(frames), 0.0f);
        float* outs[2] = {left.data(), right.data()};
        synth->Process(nullptr, outs, frames);
    }

    float Peak() const
    {
        float p = 0.0f;
        for (size_t i = 0; i < left.size(); ++i)
            p = std::max({p, std::fabs(left[i]), std::fabs(right[i])});
        return p;
    }

    // The voice of part 0 holding key, or -1.
    int GatedVoice(int key) const
    {
        const CEngineData& d = synth->engine.data;
        for (int v = 0; v < d.voicesInUse; ++v)
            if (d.voicePart[v] == 0 && d.ControlI(v, 73) == key && d.ControlI(v, 78) == 1)
                return v;
        return -1;
    }

    double Frequency() const
    {
        return render_fixture::ZeroCrossingFrequency(left, 0, g_GlobalData.sampleRate);
    }

    // Gives part 0 a single voice, loads name (zones up to key 72), plays key
    // 60 and releases it until its voice is free; answers that voice.
    int PlayAndFree(const std::string& name, bool sinc)
    {
        if (synth->engine.data.SettingI(0, CEngineData::kSetVoiceCount) != 1)
            synth->SetMixerParameter(10, 1.0f / 128.0f);
        Load(WriteSine(name, 72, sinc));
        Note(0x90, 60, 100);
        Render(4410);
        const int v = GatedVoice(60);
        if (v < 0 || Peak() < 0.01f)
            return -1;
        Note(0x80, 60, 0);
        for (int i = 0; i < 20 && synth->engine.data.voiceState[v] < CEngineData::kVoiceFree; ++i)
            Render(441);
        return synth->engine.data.voiceState[v] == CEngineData::kVoiceFree ? v : -1;
    }

    // Loads reload first when given, plays key on voice v for eight blocks
    // and answers the largest oscillator 1 output seen at their ends.
    float MaxOscOutput(int v, int key, const std::string& reload = "")
    {
        if (!reload.empty())
            Load(WriteSine(reload, 72, Osc1().UsesSincResampler()));
        Note(0x90, key, 100);
        float most = 0.0f;
        for (int i = 0; i < 8; ++i) {
            Render(32);
            EXPECT_EQ(GatedVoice(key), v);
            most = std::max(most, std::fabs(synth->engine.data.AudioF(v, 153)));
        }
        Note(0x80, key, 0);
        Render(441);
        return most;
    }

    testutil::TempFolder dir;
    std::unique_ptr<CSynth> synth;
    std::vector<float> left, right;
};

} // namespace

// Measured after 4410 settling frames; the increment's 0.017 Hz excess and the
// float play position's coarse grid stay within 0.05 Hz on both paths.
TEST_F(MultiSampleRenderTest, LoopedSinePlaysInTuneOnBothResamplersAndItsVoiceIsFreed)
{
    const CEngineData& d = synth->engine.data;
    for (bool sinc : {false, true}) {
        Load(WriteSine(sinc ? "sinc" : "fast", 127, sinc));
        ASSERT_EQ(Osc1().UsesSincResampler(), sinc);
        for (const auto& [key, hz] : {std::pair{69, 441.0}, std::pair{81, 882.0}}) {
            SCOPED_TRACE(testing::Message() << (sinc ? "sinc" : "fast") << " key " << key);
            Note(0x90, key, 100);
            Render(4410);
            const int v = GatedVoice(key);
            ASSERT_GE(v, 0);
            Render(12800);
            EXPECT_GT(Peak(), 0.01f);
            EXPECT_NEAR(Frequency(), hz, 0.05);

            // The loop never ends: only the release lets the voice go.
            Note(0x80, key, 0);
            for (int i = 0; i < 20 && d.voiceState[v] < CEngineData::kVoiceFree; ++i)
                Render(2205);
            EXPECT_EQ(d.voiceState[v], CEngineData::kVoiceFree);
            EXPECT_EQ(d.ControlI(v, 95), 3); // freed from its release, not killed
            Render(2205);
            EXPECT_LT(Peak(), 1e-5f);
        }
    }
}

// Both resamplers give the oscillator a stereo sample as (L + R) / 2, so the
// quality switch changes neither level nor content: 0.5 and 0.1 make 0.3.
TEST_F(MultiSampleRenderTest, StereoSampleMixesBothChannelsOnBothResamplers)
{
    for (bool sinc : {false, true}) {
        Load(WriteSine(sinc ? "stsinc" : "stfast", 127, sinc, 2));
        Note(0x90, 69, 100);
        Render(4410);
        const int v = GatedVoice(69);
        ASSERT_GE(v, 0);
        float most = 0.0f; // block ends walk the 100-frame period in steps of 4
        for (int i = 0; i < 50; ++i, Render(32))
            most = std::max(most, std::fabs(synth->engine.data.AudioF(v, 153)));
        EXPECT_NEAR(most, 0.3f, 0.005f) << sinc;
        Note(0x80, 69, 0);
        Render(22050);
    }
}

// Zone up to key 72: key 84 opens a gate but adds nothing; key 72 sounds.
TEST_F(MultiSampleRenderTest, KeyOutsideEveryZoneIsSilent)
{
    for (bool sinc : {false, true}) {
        SCOPED_TRACE(sinc ? "sinc" : "fast");
        Load(WriteSine(sinc ? "lowsinc" : "lowfast", 72, sinc));
        Note(0x90, 84, 100);
        Render(4410);
        EXPECT_GE(GatedVoice(84), 0);
        EXPECT_LT(Peak(), 1e-5f);
        Note(0x80, 84, 0);
        Note(0x90, 72, 100);
        Render(4410);
        ASSERT_GE(GatedVoice(72), 0);
        EXPECT_GT(Peak(), 0.01f);
        Note(0x80, 72, 0);
        Render(4410);
    }
}

// A single-voice part whose next note finds no zone: oscillator output (audio
// cell 153) stays 0, neither the old zone nor, after a reopen, its freed data
// is played. (The voice output keeps a DC blocker's decaying step.)
TEST_F(MultiSampleRenderTest, KeyOutsideEveryZoneIsSilentOnAVoiceThatPlayedBefore_Fast)
{
    const int v = PlayAndFree("low", false);
    ASSERT_GE(v, 0);
    EXPECT_EQ(MaxOscOutput(v, 84), 0.0f) << "the zone of the note before sounds again";
    PlayAndFree("low", false);
    EXPECT_EQ(MaxOscOutput(v, 84, "low2"), 0.0f) << "the freed zone is read";
}

// On the sinc path the resampler must not keep its ring of old samples.
TEST_F(MultiSampleRenderTest, KeyOutsideEveryZoneIsSilentOnAVoiceThatPlayedBefore_Sinc)
{
    const int v = PlayAndFree("low", true);
    ASSERT_GE(v, 0);
    EXPECT_EQ(MaxOscOutput(v, 84), 0.0f) << "the ring of the note before is held";
}

// A part loaded without being current opens its own program's multi-sample.
TEST_F(MultiSampleRenderTest, EachPartOpensTheMultiSampleOfItsOwnProgram)
{
    const std::string mine = WriteSine("mine", 127, false);
    const std::string other = WriteSine("other", 127, false);
    CProgram& store = synth->program;
    ASSERT_EQ(store.GetCurrentPart(), 0);
    store.SetSampleName(0, mine.c_str());
    store.SetCurrentPart(1);
    store.SetSampleName(0, other.c_str());
    store.SetCurrentPart(0);
    store.GetProgramData(1)[155] = 65.0f;
    synth->InitPart(1);
    const CMultiSample& part1 = synth->engine.MultiSample(1, 0);
    ASSERT_EQ(part1.loaded, 1);
    EXPECT_EQ(std::string(part1.path), other);
    EXPECT_EQ(Osc1().loaded, 0);
}
