// The render that runs a part's voices side by side against the kept
// one-voice-at-a-time render: synthesizers get the same programs, notes and
// calls, one of them renders voice by voice, and their output, voice records
// and meters must agree bit for bit. So must the render kept for the
// benchmarks to time against (each part's voices in groups of their own,
// through the kernel as it was).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "engine/VoiceLanes.h"
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

struct Pair {
    std::unique_ptr<CSynth> fast = std::make_unique<CSynth>();
    std::unique_ptr<CSynth> scalar = std::make_unique<CSynth>();
    std::unique_ptr<CSynth> before = std::make_unique<CSynth>();
    std::vector<int> layout;
    int NotesOf(int part) const { return layout[part]; }
    explicit Pair(const std::vector<int>& notes) : layout(notes)
    {
        scalar->engine.scalarRender = true;
        before->engine.partLanesRender = true;
        for (CSynth* s : {fast.get(), scalar.get(), before.get()}) {
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
        f(*before);
    }
    void Notes(int status)
    {
        Both([&](CSynth& s) {
            for (int part = 0; part < kParts; ++part)
                for (int n = 0; n < NotesOf(part); ++n)
                    s.ProcessMidiMessage(static_cast<uint32_t>(status | part | (30 + 5 * n + part) << 8 | 100 << 16), 0);
        });
    }
    // Renders calls of `frames` on both; answers the first difference found.
    std::string Compare(int calls, int frames)
    {
        std::vector<float> l1(frames), r1(frames), l2(frames), r2(frames), l3(frames), r3(frames);
        float* o1[2] = {l1.data(), r1.data()};
        float* o2[2] = {l2.data(), r2.data()};
        float* o3[2] = {l3.data(), r3.data()};
        for (int c = 0; c < calls; ++c) {
            fast->Process(nullptr, o1, frames);
            scalar->Process(nullptr, o2, frames);
            before->Process(nullptr, o3, frames);
            for (int i = 0; i < frames; ++i)
                for (const auto* other : {&l1, &l3})
                    if (std::memcmp(&(*other)[i], &l2[i], 4) != 0 ||
                        std::memcmp(&(other == &l1 ? r1 : r3)[i], &r2[i], 4) != 0)
                        return std::string(other == &l1 ? "" : "kept render: ") + "call " + std::to_string(c) +
                               " frame " + std::to_string(i) + ": " + std::to_string((*other)[i]) + " vs " +
                               std::to_string(l2[i]);
        }
        for (const CSynth* other : {fast.get(), before.get()}) {
            const std::string which = other == fast.get() ? "" : "kept render: ";
            const CEngineData& a = other->engine.data;
            const CEngineData& b = scalar->engine.data;
            for (int v = 0; v < CEngineData::kVoices; ++v)
                for (int c = 0; c < CEngineData::kVoiceAudioCells; ++c)
                    if (a.voiceAudio[v][c] != b.voiceAudio[v][c])
                        return which + "voice " + std::to_string(v) + " cell " + std::to_string(c);
            for (int p = 0; p < kParts; ++p)
                for (int c : {412, 413, 414, static_cast<int>(CEngineData::kFxPartPeak)})
                    if (a.partRecord[p][c] != b.partRecord[p][c])
                        return which + "part " + std::to_string(p) + " meter " + std::to_string(c);
            if (std::memcmp(other->engine.pinkState, scalar->engine.pinkState, sizeof scalar->engine.pinkState) != 0 ||
                std::memcmp(other->engine.noiseSeed, scalar->engine.noiseSeed, sizeof scalar->engine.noiseSeed) != 0)
                return which + "noise state";
        }
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
    for (bool sse2 : {false, true}) {
        voice_lanes::LimitToSse2(sse2);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (sse2 ? ", four lanes" : ""));
            pair.Both(c.setUp);
            pair.Notes(0x90);
            EXPECT_EQ(pair.Compare(sse2 ? 12 : 24, 200), "");
            pair.Notes(0x80);
            EXPECT_EQ(pair.Compare(sse2 ? 4 : 8, 200), "");
        }
    }
    voice_lanes::LimitToSse2(false);
    EXPECT_EQ(pair.fast->engine.MultiSample(0, 0).loaded, 1);
}

TEST(RenderLanes, EveryProgramMatchesTheOneVoiceRender) { EveryCaseMatchesTheOneVoiceRender(kFull); }

TEST(RenderLanes, VoicesSpreadOverPartsMatchTheOneVoiceRender) { EveryCaseMatchesTheOneVoiceRender(kSpread); }

} // namespace
