// Damaged values end to end: NaN, the infinities and huge numbers through
// the part-sound, mixer and global setters, and non-finite values that got
// into the engine's cells and lines some other way. The output never carries
// them, the sanitizers see no undefined arithmetic, and the sound comes back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "core/CSynth.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kDamage[] = {std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, 1e30f, -1e30f};

// Part-sound slots of every kind the setter knows: smoothed targets (pan,
// level, effect levels), curves into engine values (glide, times, rates),
// integer forms with offsets (transpose, semitones, key tracking), switches
// and lists (waveform, modes, filter types, input selectors), routing
// amounts, sources and destinations, the reverb send and mute of the part
// table, and the wave data above 416.
// Squares and cubes (23, 59, 64, 281, 282) of a huge value make infinite targets.
constexpr int kSoundSlots[] = {1,   3,   13,  20,  23,  36,  57,  59,  62,  64,  65,  85,
                               145, 148, 153, 154, 155, 179, 180, 185, 186, 191, 213, 215,
                               216, 229, 237, 271, 272, 281, 282, 283, 286, 290, 298, 327,
                               338, 361, 364, 390, 394, 395, 512, 1919};
// Mixer words (not the voice count, which rebuilds every part) and globals.
constexpr int kMixerSlots[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 14};
constexpr int kGlobalSlots[] = {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};

struct Session {
    Session() : synth(std::make_unique<CSynth>()) { synth->Resume(); }

    void Note(int status, int key, int velocity) {
        synth->ProcessMidiMessage(static_cast<uint32_t>(status | key << 8 | velocity << 16), 0);
    }
    // Renders frames, interleaved into out when given; false when a sample
    // is not finite.
    bool Render(int frames, std::vector<float>* out = nullptr) {
        std::vector<float> left(frames), right(frames);
        float* outs[2] = {left.data(), right.data()};
        synth->Process(nullptr, outs, frames);
        bool finite = true;
        for (int i = 0; i < frames; ++i) {
            finite = finite && std::isfinite(left[i]) && std::isfinite(right[i]);
            if (out) out->insert(out->end(), {left[i], right[i]});
        }
        return finite;
    }
    float Peak(int frames) {
        std::vector<float> out;
        Render(frames, &out);
        float peak = 0.0f;
        for (float v : out) peak = std::max(peak, std::fabs(v));
        return peak;
    }

    std::unique_ptr<CSynth> synth;
};

// One session on a new synthesizer: while note 69 sounds on part 0 (or,
// atLoad, once the part is silent again), `edit` runs; the note is released,
// a clean program is loaded and note 69 played again. Answers that last
// note; every frame on the way must be finite.
std::vector<float> PlayThrough(const std::function<void(CSynth&)>& edit, bool atLoad = false) {
    Session s;
    s.Note(0x90, 69, 100);
    EXPECT_TRUE(s.Render(2048));
    if (!atLoad) edit(*s.synth);
    EXPECT_TRUE(s.Render(4096));
    s.Note(0x80, 69, 0);
    EXPECT_TRUE(s.Render(4096));
    if (atLoad) edit(*s.synth);
    s.synth->SetProgram(1);
    s.Note(0x90, 69, 100);
    std::vector<float> out;
    EXPECT_TRUE(s.Render(4096, &out));
    return out;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Each kind of slot gets value x, or (clean) the value it holds, so that the
// two sessions differ in nothing but the damage. Mixer and global values are
// no part of a program: they are set back before anything renders, and
// their texts are asked while damaged (the integer forms there take n - 64).
void DamageSound(CSynth& s, float x, bool clean) {
    for (int id : kSoundSlots) s.SetParameter(id, clean ? s.GetParameter(id) : x);
}
void DamageMixerAndGlobals(CSynth& s, float x, bool clean) {
    char text[256];
    for (int id : kMixerSlots) {
        const float old = s.GetMixerParameter(id);
        s.SetMixerParameter(id, clean ? old : x);
        s.GetMixerParameterDisplay(id, text);
        s.SetMixerParameter(id, old);
    }
    for (int id : kGlobalSlots) {
        const float old = s.GetGlobalParameter(id);
        s.SetGlobalParameter(id, clean ? old : x);
        s.GetGlobalParameterDisplay(id, text);
        s.SetGlobalParameter(id, old);
    }
}

TEST(DamagedValues, AfterDamageThroughEverySetterACleanProgramSoundsAsIfNoneHadBeen) {
    using Damage = void (*)(CSynth&, float, bool);
    for (Damage damage : {DamageSound, DamageMixerAndGlobals}) {
        const auto reference = PlayThrough([&](CSynth& s) { damage(s, 0.0f, true); });
        float peak = 0.0f;
        for (float v : reference) peak = std::max(peak, std::fabs(v));
        ASSERT_GT(peak, 0.01f);
        for (float x : kDamage) {
            SCOPED_TRACE(testing::Message() << "value " << x);
            EXPECT_TRUE(SameBits(PlayThrough([&](CSynth& s) { damage(s, x, false); }), reference));
        }
    }
    // Smoothed cells of a silent part glide no more: one that went NaN is
    // still NaN when the next program comes, which must set it.
    const auto reference = PlayThrough([](CSynth&) {}, true);
    const std::function<void(CEngineData&)> cells[] = {
        [](CEngineData& d) { d.SetPartF(0, 64, NAN); },
        [](CEngineData& d) { d.SetPartF(0, 281, kInf); },
        [](CEngineData& d) { d.SetSettingF(0, CEngineData::kSetLevel, NAN); }};
    for (const auto& cell : cells)
        EXPECT_TRUE(SameBits(PlayThrough([&](CSynth& s) { cell(s.engine.data); }, true), reference));
}

// A NaN or infinity that reached an engine cell or a line by any way: the
// output is 0 meanwhile, the line is cleared, the cell restarts from its
// target, and the note sounds again.
TEST(DamagedValues, NonFiniteCellsAndLinesGiveSilenceThenRecover) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const std::function<void(CEngine&)> cases[] = {
        [](CEngine& e) { e.data.globalValues[CEngineData::kGlobMasterLevel] = kNaN; },
        [](CEngine& e) { e.data.globalValues[CEngineData::kGlobBalance] = kInf; },
        [](CEngine& e) { e.data.SetSettingF(0, CEngineData::kSetLevel, kInf); },
        [](CEngine& e) { e.data.SetPartF(0, 20, kNaN); },
        [](CEngine& e) {
            e.data.globalValues[CEngineData::kGlobReverbOn] = 1.0f;
            for (int k = 1; k < 7; ++k)
                for (float& v : e.reverbLines[k]) v = kInf;
        },
    };
    for (size_t c = 0; c < std::size(cases); ++c) {
        SCOPED_TRACE(testing::Message() << "case " << c);
        Session s;
        s.Note(0x90, 69, 100);
        s.Render(2048);
        cases[c](s.synth->engine);
        EXPECT_TRUE(s.Render(4096));
        EXPECT_GT(s.Peak(4096), 0.01f);
        const CEngineData& d = s.synth->engine.data;
        EXPECT_TRUE(std::isfinite(d.globalValues[CEngineData::kGlobMasterLevel]));
        EXPECT_TRUE(std::isfinite(d.SettingF(0, CEngineData::kSetLevel)));
        EXPECT_TRUE(std::isfinite(d.PartF(0, 20)));
    }
}

// Pan and balance at their ends give the far side nothing, never a
// phase-inverted copy (the curves run a hair past 0 and 1 there).
TEST(DamagedValues, PanAndBalanceAtTheirEndsSilenceTheFarSide) {
    struct Case {
        bool mixer;     // the part's pan, else the master balance
        float value;    // normalized
        bool leftSilent;
    };
    const Case cases[] = {{true, 1.0f, true}, {true, 0.0f, false}, {false, 1.0f, true},
                          {false, 0.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.mixer ? "pan " : "balance ") << c.value);
        Session s;
        // No reverb or chorus: their returns reach both sides.
        s.synth->SetGlobalParameter(23, 0.0f);
        s.synth->SetGlobalParameter(24, 0.0f);
        if (c.mixer)
            s.synth->SetMixerParameter(3, c.value);
        else
            s.synth->SetGlobalParameter(7, c.value);
        s.Note(0x90, 69, 100);
        s.Render(8192);  // the smoothed pan settles
        std::vector<float> out;
        ASSERT_TRUE(s.Render(4096, &out));
        double near = 0.0, far = 0.0, product = 0.0;
        for (size_t i = 0; i < out.size(); i += 2) {
            const double l = out[i], r = out[i + 1];
            near += c.leftSilent ? r * r : l * l;
            far += c.leftSilent ? l * l : r * r;
            product += l * r;
        }
        EXPECT_GT(near, 1.0);
        EXPECT_LE(far, near * 1e-10);
        EXPECT_GE(product, 0.0);
    }
}

}  // namespace
