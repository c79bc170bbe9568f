// Damaged values end to end: NaN, infinities and huge numbers through the
// three setters, or put straight into engine cells and lines, never reach
// the output, and the sound comes back (the sanitizers watch the arithmetic).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "core/CSynth.h"

namespace {

using Edit = std::function<void(CSynth&)>;
constexpr float kInf = INFINITY;

// Renders frames, appended to out (interleaved); false when a sample is not finite.
bool Render(CSynth& s, int frames, std::vector<float>& out) {
    std::vector<float> l(frames), r(frames);
    float* outs[2] = {l.data(), r.data()};
    s.Process(nullptr, outs, frames);
    bool finite = true;
    for (int i = 0; i < frames; ++i) {
        out.insert(out.end(), {l[i], r[i]});
        finite = finite && std::isfinite(l[i]) && std::isfinite(r[i]);
    }
    return finite;
}
void Note(CSynth& s, int status) { s.ProcessMidiMessage(static_cast<uint32_t>(status | 69 << 8 | 100 << 16), 0); }

// A new synthesizer plays note 69 on part 0 with `edit` run while it sounds
// (or, atLoad, once it is released), then loads a clean program and plays
// the note again; answers all it played, the last note in the last 8192.
std::vector<float> PlayThrough(const Edit& edit, bool atLoad = false) {
    auto synth = std::make_unique<CSynth>();
    CSynth& s = *synth;
    s.Resume();
    std::vector<float> out;
    Note(s, 0x90);
    if (!atLoad) edit(s);
    EXPECT_TRUE(Render(s, 4096, out));
    Note(s, 0x80);
    EXPECT_TRUE(Render(s, 4096, out));
    if (atLoad) edit(s);
    s.SetProgram(1);
    Note(s, 0x90);
    EXPECT_TRUE(Render(s, 4096, out));
    return out;
}

// One or more slots of every kind the part-sound setter knows (smoothed
// targets, curves, squares and cubes that overflow, integer forms with
// offsets, switches, lists, input codes, routing, part-table values, wave
// data), the mixer words but the voice count, and the globals.
constexpr int kSound[] = {1,   3,   13,  20,  23,  36,  57,  59,  62,  64,  65,  85,  145, 148, 153,
                          154, 155, 179, 180, 185, 186, 191, 213, 215, 216, 229, 237, 271, 272, 281,
                          282, 283, 286, 290, 298, 327, 338, 361, 364, 390, 394, 395, 512, 1919};
constexpr int kMixer[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11, 14};

// x on every slot, or (clean) each slot's own value. Mixer and global values
// are no part of a program: they are set back before anything renders, their
// texts asked while damaged.
void Damage(CSynth& s, float x, bool clean) {
    char text[256];
    for (int id : kSound) s.SetParameter(id, clean ? s.GetParameter(id) : x);
    for (int id : kMixer) {
        const float old = s.GetMixerParameter(id);
        s.SetMixerParameter(id, clean ? old : x);
        s.GetMixerParameterDisplay(id, text);
        s.SetMixerParameter(id, old);
    }
    for (int id = 6; id <= 24; ++id) {
        const float old = s.GetGlobalParameter(id);
        s.SetGlobalParameter(id, clean ? old : x);
        s.GetGlobalParameterDisplay(id, text);
        s.SetGlobalParameter(id, old);
    }
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(DamagedValues, ACleanProgramAfterDamageSoundsAsIfNoneHadBeen) {
    const auto reference = PlayThrough([](CSynth& s) { Damage(s, 0.0f, true); });
    ASSERT_GT(*std::max_element(reference.end() - 8192, reference.end()), 0.01f);
    // NaN and the infinities act as 0 in every setter, all along; after huge
    // values the clean program is as clean.
    const auto zero = PlayThrough([](CSynth& s) { Damage(s, 0.0f, false); });
    for (float x : {NAN, kInf, -kInf})
        EXPECT_TRUE(SameBits(PlayThrough([x](CSynth& s) { Damage(s, x, false); }), zero)) << x;
    for (float x : {1e30f, -1e30f}) {
        const auto out = PlayThrough([x](CSynth& s) { Damage(s, x, false); });
        EXPECT_TRUE(SameBits({out.end() - 8192, out.end()}, {reference.end() - 8192, reference.end()})) << x;
    }
    // A silent part's smoothed cells glide no more: one that went NaN is
    // still NaN when the next program comes, which must set it.
    const auto quiet = PlayThrough([](CSynth&) {}, true);
    for (const Edit& cell : {Edit([](CSynth& s) { s.engine.data.SetPartF(0, 64, NAN); }),
                             Edit([](CSynth& s) { s.engine.data.SetPartF(0, 281, kInf); }),
                             Edit([](CSynth& s) { s.engine.data.SetSettingF(0, 2, NAN); })})
        EXPECT_TRUE(SameBits(PlayThrough(cell, true), quiet));
}

// However a NaN or infinity got into a cell or a line: the output is 0
// meanwhile, the cell restarts from its target and the note sounds again.
TEST(DamagedValues, NonFiniteCellsAndLinesGiveSilenceThenRecover) {
    const Edit cases[] = {
        [](CSynth& s) { s.engine.data.globalValues[CEngineData::kGlobMasterLevel] = NAN; },
        [](CSynth& s) { s.engine.data.globalValues[CEngineData::kGlobBalance] = kInf; },
        [](CSynth& s) { s.engine.data.SetSettingF(0, CEngineData::kSetLevel, kInf); },
        [](CSynth& s) { s.engine.data.SetPartF(0, 20, NAN); },
        [](CSynth& s) {
            s.engine.data.globalValues[CEngineData::kGlobReverbOn] = 1.0f;
            for (auto& line : s.engine.reverbLines) std::fill(std::begin(line), std::end(line), kInf);
        }};
    for (const Edit& edit : cases) {
        auto synth = std::make_unique<CSynth>();
        CSynth& s = *synth;
        s.Resume();
        std::vector<float> out;
        Note(s, 0x90);
        Render(s, 2048, out);
        edit(s);
        EXPECT_TRUE(Render(s, 4096, out));
        out.clear();
        Render(s, 4096, out);
        EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.01f);
    }
}

// Pan and balance at their ends give the far side nothing, never a
// phase-inverted copy (the curves run a hair past 0 and 1 there).
TEST(DamagedValues, PanAndBalanceAtTheirEndsSilenceTheFarSide) {
    for (int c = 0; c < 4; ++c) {
        const bool mixer = c < 2, right = c % 2 == 0;
        auto synth = std::make_unique<CSynth>();
        CSynth& s = *synth;
        s.Resume();
        s.SetGlobalParameter(23, 0.0f);  // no reverb or chorus: they return on both sides
        s.SetGlobalParameter(24, 0.0f);
        if (mixer) s.SetMixerParameter(3, right ? 1.0f : 0.0f);
        else s.SetGlobalParameter(7, right ? 1.0f : 0.0f);
        Note(s, 0x90);
        std::vector<float> out;
        Render(s, 8192, out);  // the pan settles
        out.clear();
        Render(s, 4096, out);
        double near = 0.0, far = 0.0, product = 0.0;
        for (size_t i = 0; i < out.size(); i += 2) {
            near += right ? out[i + 1] * out[i + 1] : out[i] * out[i];
            far += right ? out[i] * out[i] : out[i + 1] * out[i + 1];
            product += out[i] * out[i + 1];
        }
        EXPECT_GT(near, 1.0) << c;
        EXPECT_LE(far, near * 1e-10) << c;
        EXPECT_GE(product, 0.0) << c;
    }
}

}  // namespace
