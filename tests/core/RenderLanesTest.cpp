// The render that runs voices side by side against the kept
// one-voice-at-a-time render: synthesizers get the same programs, notes and
// calls, one of them renders voice by voice, and their output, voice records
// and meters must agree bit for bit. A hash of all of them after every call
// must also equal the one stored with each case, written when the render
// still ran beside the kernel and control stage as they were before voices
// of several parts shared lanes, and both gave it. A change meant to move
// the sound writes the hashes the failure prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "engine/VoiceLanes.h"
#include "os/ORandom.h"
#include "tests/core/SampleFixtures.h"
#include "tests/engine/RenderFixture.h"

using namespace render_fixture;

namespace {

constexpr int kParts = 16;
// Voices (and notes) per part. Full: whole groups of lanes, a part short of
// one group and a part with a partly filled second group, whose voices also
// fall into both groups of two that render side by side. Spread: one to
// three voices a part, so parts set up alike fill groups together, with a
// few voices left over for a narrower kernel, and a part set up on its own
// with a single voice renders it alone.
const std::vector<int> kFull = {4, 3, 13, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
const std::vector<int> kSpread = {1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 1, 1, 1, 1, 1, 1};

// A synthesizer built from a fixed seed (it draws random wave phases).
std::unique_ptr<CSynth> Seeded()
{
    os::SRand(1);
    return std::make_unique<CSynth>();
}

struct Pair {
    std::unique_ptr<CSynth> fast = Seeded();
    std::unique_ptr<CSynth> scalar = Seeded();
    std::vector<int> layout;
    int NotesOf(int part) const { return layout[part]; }
    explicit Pair(const std::vector<int>& notes) : layout(notes)
    {
        scalar->engine.scalarRender = true;
        for (CSynth* s : {fast.get(), scalar.get()}) {
            for (int part = 0; part < kParts; ++part) {
                s->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);
                s->SetMixerParameter(part << 10 | 10, static_cast<float>(NotesOf(part)) / 128.0f);
            }
            s->Resume();
        }
    }
    void Both(const std::function<void(CSynth&)>& f)
    {
        f(*fast);
        f(*scalar);
    }
    void Notes(int status)
    {
        Both([&](CSynth& s) {
            for (int part = 0; part < kParts; ++part)
                for (int n = 0; n < NotesOf(part); ++n)
                    s.ProcessMidiMessage(static_cast<uint32_t>(status | part | (30 + 5 * n + part) << 8 | 100 << 16), 0);
        });
    }
    // Renders calls of `frames` on both, the output and records of each call
    // into hash; answers the first difference found.
    std::string Compare(BitHash& hash, int calls, int frames)
    {
        std::vector<float> l1(frames), r1(frames), l2(frames), r2(frames);
        float* o1[2] = {l1.data(), r1.data()};
        float* o2[2] = {l2.data(), r2.data()};
        const CEngine& a = fast->engine;
        const CEngine& b = scalar->engine;
        for (int c = 0; c < calls; ++c) {
            // Notes start in the call and draw a random offset: the same one.
            os::SRand(static_cast<uint32_t>(c + 1));
            fast->Process(nullptr, o1, frames);
            os::SRand(static_cast<uint32_t>(c + 1));
            scalar->Process(nullptr, o2, frames);
            for (int i = 0; i < frames; ++i)
                if (std::memcmp(&l1[i], &l2[i], 4) != 0 || std::memcmp(&r1[i], &r2[i], 4) != 0)
                    return "call " + std::to_string(c) + " frame " + std::to_string(i) + ": " + std::to_string(l1[i]) +
                           " vs " + std::to_string(l2[i]);
            hash.Add(l1.data(), sizeof(float) * frames);
            hash.Add(r1.data(), sizeof(float) * frames);
        }
        for (int v = 0; v < CEngineData::kVoices; ++v)
            for (int c = 0; c < CEngineData::kVoiceAudioCells; ++c)
                if (a.data.voiceAudio[v][c] != b.data.voiceAudio[v][c])
                    return "voice " + std::to_string(v) + " cell " + std::to_string(c);
        for (int p = 0; p < kParts; ++p)
            for (int c : {412, 413, 414, static_cast<int>(CEngineData::kFxPartPeak)}) {
                if (a.data.partRecord[p][c] != b.data.partRecord[p][c])
                    return "part " + std::to_string(p) + " meter " + std::to_string(c);
                hash.Add(&a.data.partRecord[p][c], 4);
            }
        if (std::memcmp(a.pinkState, b.pinkState, sizeof b.pinkState) != 0 ||
            std::memcmp(a.noiseSeed, b.noiseSeed, sizeof b.noiseSeed) != 0)
            return "noise state";
        hash.Add(a.data.voiceAudio, sizeof a.data.voiceAudio);
        hash.Add(a.pinkState, sizeof a.pinkState);
        hash.Add(a.noiseSeed, sizeof a.noiseSeed);
        return "";
    }
};

void EveryPart(CSynth& s, const std::function<void(CEngineData&, int)>& f)
{
    for (int p = 0; p < kParts; ++p)
        f(s.engine.data, p);
}

void Divider(CEngineData& d, int part, int div)
{
    static constexpr float kPitch[3] = {0.0f, 0.0625f, 0.125f};
    static constexpr float kCutoff[3] = {0.0f, 0.1f, 0.2f};
    d.SetPartI(part, 272, div);
    d.SetPartF(part, 273, kPitch[div]);
    d.SetPartF(part, 274, kCutoff[div]);
    d.SetPartF(part, 277, static_cast<float>(1 << div) / static_cast<float>(g_GlobalData.blockSize));
}

// Hashes of each case's output and records, both times it runs, with every
// voice and note of kFull and of kSpread.
struct Stored {
    const char* name;
    uint64_t full, spread;
};
constexpr Stored kStored[] = {
    {"default", 0x4fe2507145333019, 0xef78d88d8f09cae0},
    {"full chain", 0xc38da8ee2f551247, 0xbeda6f68f692ffcd},
    {"spectral", 0x22b394afc71f3195, 0x17705bc32406d074},
    {"waveguide", 0x6d06a97b0f9896c1, 0x7ca9f0b466d12dc0},
    {"pulse, sync, drive and bit reduction", 0x32d6904f7edaf25a, 0x021084c4d0d43d1d},
    {"routing reads cells past the last whole block of eight", 0xb0509b8da6d6f0e6, 0x0b226a25327bbb3b},
    {"modulation ramps routed into the mixer and the filter", 0x2c45db029f92eb8e, 0x8be4bf6070075585},
    {"filter type 0", 0x0d8dad3d92d60817, 0xb1faa0171da3c213},
    {"filter type 1", 0x3053375460cadce5, 0x10e6510573064e21},
    {"filter type 2", 0xb3e66e467730b998, 0xe7d5f4e558eb600a},
    {"filter type 3", 0x439c9843e2d7752e, 0xa06e3c8e5f664a63},
    {"filter type 4", 0x9f34784fa0fc6d88, 0xd4485c7112035fe3},
    {"filter type 5", 0x167d1c4eac610af7, 0xd8c1549af682c051},
    {"filter type 6", 0xc855dc522bcfee57, 0x547f69bd136e9957},
    {"filter type 7", 0xf35563c406c4ff59, 0x17398507e3e21b4b},
    {"divider 0", 0xda6a6d982ad51415, 0xf1ea5649e891fa1d},
    {"divider 1", 0x2c5022be58c7861d, 0x69c914b989778cb2},
    {"divider 2", 0xbbc1e3f4b624c8ff, 0x67ae1019cbd07710},
    {"multi-sample", 0x4ff467b98a236884, 0x067e55f1db2bfbf6},
};

void EveryCaseMatchesTheOneVoiceRender(const std::vector<int>& layout)
{
    testutil::TempFolder dir;
    Pair pair(layout);
    struct Case {
        std::string name;
        std::function<void(CSynth&)> setUp;
    };
    std::vector<Case> cases = {
        {"default", [](CSynth&) {}},
        {"full chain", [](CSynth& s) {
             EveryPart(s, [&](CEngineData& d, int p) {
                 SetUpPart(s.engine, p, 0u, kTerrainOut);
                 SetUpFullChain(d, p);
             });
         }},
        {"spectral", [](CSynth& s) {
             EveryPart(s, [&](CEngineData& d, int p) {
                 SetUpPart(s.engine, p, Only(kSpectrum), kSpectrumOut);
                 d.SetPartI(p, 331, 1);
             });
         }},
        {"waveguide", [](CSynth& s) {
             EveryPart(s, [&](CEngineData& d, int p) {
                 SetUpPart(s.engine, p, Only(kOsc1 | kWaveguide | kFilter1), kFilter1Out);
                 d.SetPartI(p, 253, kOsc1Out);
                 d.SetPartI(p, 254, kWaveguideOut);
                 d.SetPartI(p, 250, kWaveguideOut);
             });
         }},
        {"pulse, sync, drive and bit reduction", [](CSynth& s) {
             EveryPart(s, [&](CEngineData& d, int p) {
                 d.SetPartI(p, 270, d.PartI(p, 270) & ~static_cast<int32_t>(kDrive));
                 d.SetPartI(p, 156, 612);
                 d.SetPartI(p, 164, 616);
                 d.SetPartI(p, 166, Code(119));
                 d.SetPartI(p, 175, Code(120));
                 d.SetPartI(p, 271, static_cast<int32_t>(0xFFFFF000u));
             });
         }},
        {"routing reads cells past the last whole block of eight", [](CSynth& s) {
             // Those move between records and rows one by one. (They hold
             // a multi-sample's output, left from an earlier sound here.)
             EveryPart(s, [&](CEngineData& d, int p) {
                 d.SetPartI(p, 245, Code(352 + p % 6));
                 d.SetPartI(p, 384, Code(357));
             });
             for (int v = 0; v < CEngineData::kVoices; ++v)
                 for (int c = 352; c < CEngineData::kVoiceAudioCells; ++c)
                     s.engine.data.SetAudioF(v, c, 0.01f * static_cast<float>(c - 350 + v % 7));
         }},
        {"modulation ramps routed into the mixer and the filter", [](CSynth& s) {
             // The ramp cells are then written every sample, not once a block.
             EveryPart(s, [&](CEngineData& d, int p) {
                 d.SetPartI(p, 246, Code(320));
                 d.SetPartI(p, 250, Code(319 + p % 12));
             });
         }},
    };
    for (int type = 0; type < 8; ++type)
        cases.push_back({"filter type " + std::to_string(type), [type](CSynth& s) {
                             EveryPart(s, [&](CEngineData& d, int p) {
                                 // Both filters in series, the second one a type further on.
                                 d.SetPartI(p, 270, d.PartI(p, 270) & ~static_cast<int32_t>(kFilter2));
                                 d.SetPartI(p, 229, type);
                                 d.SetPartI(p, 233, (type + 1) % 8);
                                 d.SetPartI(p, 257, kFilter1Out);
                                 d.SetPartI(p, 255, kFilter2Out);
                             });
                         }});
    for (int div = 0; div < 3; ++div)
        cases.push_back({"divider " + std::to_string(div), [div](CSynth& s) {
                             EveryPart(s, [&](CEngineData& d, int p) { Divider(d, p, div); });
                         }});
    // Last: a multi-sample on part 0's first oscillator (cubic resampler).
    cases.push_back({"multi-sample", [&dir](CSynth& s) {
                         samplefix::Qvi q;
                         q.loopEnable = 1;
                         q.zones[0].files[0] = "saw.wav";
                         q.zones[0].root = 60;
                         q.zones[0].upper = 127;
                         const std::string path = samplefix::WriteQvi(dir.Path(), "saw", q);
                         std::vector<float> w(4000);
                         for (size_t i = 0; i < w.size(); ++i)
                             w[i] = static_cast<float>(i % 100) / 50.0f - 1.0f;
                         samplefix::WriteSound(samplefix::SampleFolder(dir.Path(), "saw") + "saw.wav",
                                               SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, w);
                         s.program.SetSampleName(0, path.c_str());
                         s.SetParameter(155, 0.65f);
                     }});

    // Every case with the widest lanes, then again with four (SSE2) lanes.
    // The lanes give the one-voice render's bits whatever their width, so the
    // hashes hold on a processor with or without AVX2.
    std::vector<BitHash> hashes(cases.size());
    for (bool sse2 : {false, true}) {
        voice_lanes::LimitToSse2(sse2);
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].name + (sse2 ? ", four lanes" : ""));
            pair.Both(cases[i].setUp);
            pair.Notes(0x90);
            EXPECT_EQ(pair.Compare(hashes[i], sse2 ? 12 : 24, 200), "");
            pair.Notes(0x80);
            EXPECT_EQ(pair.Compare(hashes[i], sse2 ? 4 : 8, 200), "");
        }
    }
    voice_lanes::LimitToSse2(false);
    EXPECT_EQ(pair.fast->engine.MultiSample(0, 0).loaded, 1);
    ASSERT_EQ(std::size(kStored), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].name, kStored[i].name);
        EXPECT_EQ(HashText(hashes[i].value), HashText(layout == kFull ? kStored[i].full : kStored[i].spread)) << cases[i].name;
    }
}

TEST(RenderLanes, EveryProgramMatchesTheOneVoiceRender) { EveryCaseMatchesTheOneVoiceRender(kFull); }

TEST(RenderLanes, VoicesSpreadOverPartsMatchTheOneVoiceRender) { EveryCaseMatchesTheOneVoiceRender(kSpread); }

} // namespace
