// The block control stage end to end: a synthesizer with all 16 parts gets
// fixed programs, notes and calls, and a hash of its output and of the
// voice and part records after every call must equal the one stored with
// each case. The hashes were written when the stage still ran beside the
// stages as they were before it went part by part, and both gave them: any
// bit the stage moves in the sound or in the records shows here. A change
// meant to move them writes the hashes the failure prints.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "os/ORandom.h"
#include "tests/engine/RenderFixture.h"

using namespace render_fixture;

namespace {

constexpr int kParts = 16;
constexpr int kVoicesPerPart = 8;

struct Player {
    std::unique_ptr<CSynth> synth;
    Player()
    {
        // Building a synthesizer draws random wave phases.
        os::SRand(1);
        synth = std::make_unique<CSynth>();
        for (int part = 0; part < kParts; ++part) {
            synth->SetMixerParameter(part << 10 | 4, static_cast<float>(part) / 128.0f);
            synth->SetMixerParameter(part << 10 | 10, static_cast<float>(kVoicesPerPart) / 128.0f);
        }
        synth->Resume();
    }
    void EveryPart(const std::function<void(CEngine&, CEngineData&, int)>& f)
    {
        for (int p = 0; p < kParts; ++p)
            f(synth->engine, synth->engine.data, p);
    }
    void Midi(uint32_t message) { synth->ProcessMidiMessage(message, 0); }
    // Note on or off on every part; the odd parts get more notes than they
    // have voices, so voices are stolen and restarted.
    void Notes(int status)
    {
        for (int part = 0; part < kParts; ++part)
            for (int n = 0; n < kVoicesPerPart + (part % 2) * 3; ++n)
                Midi(static_cast<uint32_t>(status | part | (36 + 5 * n + part) << 8 | (60 + n) << 16));
    }
    // Renders calls of `frames`, each output and the records after it into hash.
    void Render(BitHash& hash, int calls, int frames = 256)
    {
        std::vector<float> left(frames), right(frames);
        float* outs[2] = {left.data(), right.data()};
        const CEngineData& d = synth->engine.data;
        for (int c = 0; c < calls; ++c) {
            // Notes start in the call and draw a random offset: from a fixed seed.
            os::SRand(static_cast<uint32_t>(c + 1));
            synth->Process(nullptr, outs, frames);
            hash.Add(left.data(), sizeof(float) * frames);
            hash.Add(right.data(), sizeof(float) * frames);
            hash.Add(d.voiceControl, sizeof d.voiceControl);
            hash.Add(d.voiceAudio, sizeof d.voiceAudio);
            hash.Add(d.voiceState, sizeof d.voiceState);
            hash.Add(d.partRecord, sizeof d.partRecord);
        }
    }
};

// Modulation route i of a part: source cell times amount (part value 36 + i)
// plus offset, added to one voice cell and multiplied into another.
void Route(CEngineData& d, int p, int i, int source, int add, int mul, float amount, float offset)
{
    d.SetPartI(p, 65 + i, source);
    d.SetPartI(p, 105 + i, add);
    d.SetPartI(p, 85 + i, mul);
    SetSmoothed(d, p, 36 + i, amount);
    d.SetPartF(p, 125 + i, offset);
}

TEST(ControlStage, EveryCaseRendersAsStored)
{
    Player player;
    struct Case {
        std::string name;
        uint64_t stored;
        std::function<void(CEngine&, CEngineData&, int)> setUp;
    };
    const std::vector<Case> cases = {
        {"default program", 0xbf4e6b762b3518f8, [](CEngine&, CEngineData&, int) {}},
        {"glide, quantised pitch and legato", 0xe329f4d452ae6d2f, [](CEngine&, CEngineData& d, int p) {
             d.SetPartF(p, 145, 0.05f + 0.02f * static_cast<float>(p));
             d.SetPartI(p, 268, p % 2);
             d.SetPartI(p, 267, p % 3 == 0 ? 0 : 1);
             d.SetPartF(p, 230, 0.3f);
             d.SetPartF(p, 234, -0.2f);
         }},
        {"LFOs of every wave through the matrix, envelopes they trigger", 0x6e6734aaf24e6638, [](CEngine&, CEngineData& d, int p) {
             for (int n = 0; n < 4; ++n) {
                 d.SetPartI(p, 213 + 4 * n, (p + n) % 8);  // 7: no wave
                 d.SetPartF(p, 215 + 4 * n, 0.55f + 0.05f * static_cast<float>(n + p % 3));
                 d.SetPartI(p, 216 + 4 * n, (p + n) % 5 == 1 ? 1 : ((p + n) % 5 == 4 ? 4 : 0));
                 d.SetPartI(p, 185 + 7 * n + 6, 3 + (p + n) % 5);  // 7: no trigger
             }
             Route(d, p, 0, 169, 16, -1, 0.4f, 0.0f);
             Route(d, p, 1, 170 + p % 3, 32, 208 + p % 18, 0.3f, 0.1f);
             Route(d, p, 2, 171, 65, 210, 0.01f, 0.5f);
             Route(d, p, 3, 172, 1, -1, 0.5f, 0.0f);
             Route(d, p, 4, 81, 22, 212, 0.2f, 0.3f);
             Route(d, p, 5, 169, 66, 225, 0.05f, 0.0f);
             Route(d, p, 6, p % 2 ? 0 : 400, 16, -1, 1.0f, 0.0f);  // never resolved / beyond the record
             Route(d, p, 7, 170, 300, 500, 1.0f, 0.0f);
             Route(d, p, 12, 12 + p % 4, 22, -1, 0.3f, 0.0f);  // reads a cell that gets a gain
             Route(d, p, 13, 171, 7 + p % 3, 24, 0.2f, 0.1f);   // writes two
             Route(d, p, 14, 172, 69 + p % 4, -1, 0.1f, 0.0f);  // moves an LFO's rate
             d.SetPartI(p, 318 + p % 4, 5);
         }},
        {"multi-segment envelopes: loops, followers, tempo, free running", 0xc365de5ef475c42a, [](CEngine&, CEngineData& d, int p) {
             d.SetPartF(p, 347, 5.0f);
             d.SetPartF(p, 349, static_cast<float>(p % 3));
             d.SetPartF(p, 350, static_cast<float>(2 + p % 3));
             d.SetPartF(p, 351, 0.3f * static_cast<float>(p % 3) - 0.3f);
             for (int i = 0; i < 5; ++i) {
                 for (int m : {1024, 2080, 2144, 2208})
                     d.SetPartF(p, m + i, 0.004f * static_cast<float>(i * (1 + p % 4)));
                 for (int m : {1088, 1216, 1344, 1472})
                     d.SetPartF(p, m + i, i % 2 ? 1.0f : 0.1f * static_cast<float>(i));
                 for (int m : {1152, 1280, 1408, 1536})
                     d.SetPartF(p, m + i, 0.25f * static_cast<float>(i % 5) - 0.5f);
             }
             d.SetPartF(p, 366, 0.0f);  // MEG2 follows MEG1
             d.SetPartF(p, 372, 1.0f);
             d.SetPartF(p, 374, 4.0f);
             d.SetPartF(p, 377, 2.0f);
             d.SetPartI(p, 375, p % 2);  // tempo-timed
             d.SetPartF(p, 378, 1.0f);
             d.SetPartF(p, 380, 3.0f);
             d.SetPartI(p, 396, p % 4 == 3 ? 1 : 0);
             Route(d, p, 8, 246, 16, -1, 0.5f, 0.0f);
             Route(d, p, 9, 250 + 4 * (p % 3), 32, 209, 0.5f, 0.0f);
         }},
        {"every module, filter types, dividers, formant, power layers", 0x055c217f554ff0f7, [](CEngine& e, CEngineData& d, int p) {
             SetUpPart(e, p, 0u, kTerrainOut, p % 3);
             SetUpFullChain(d, p);
             d.SetPartI(p, 229, p % 8);
             d.SetPartI(p, 233, (p + 3) % 8);
             d.SetPartI(p, 327, p % 2);
             d.SetPartI(p, 331, p % 11);
             d.SetPartI(p, 343, p % 2);
             SetSmoothed(d, p, 64, 0.3f);
             if (p % 4 == 1) {
                 d.SetPartI(p, 163, 65);
                 d.SetPartI(p, 388, p % 3);
                 d.SetPartF(p, 391, 0.7f);
             }
             Route(d, p, 10, 169, 16, 211, 0.6f, 0.0f);
             Route(d, p, 11, 170, 32, -1, 0.6f, 0.0f);
         }},
    };
    for (const Case& c : cases) {
        BitHash hash;
        player.EveryPart(c.setUp);
        player.Notes(0x90);
        player.Render(hash, 6);
        for (int part = 0; part < kParts; ++part) {
            player.Midi(static_cast<uint32_t>(0xE0 | part | (part * 7) << 8 | (part % 2 ? 100 : 20) << 16));
            player.Midi(static_cast<uint32_t>(0xB0 | part | 1 << 8 | 90 << 16));
        }
        player.Render(hash, 6);
        player.Notes(0x80);
        player.Render(hash, 6);
        for (int part = 0; part < kParts; ++part)
            player.Midi(static_cast<uint32_t>(0xE0 | part | 0 << 8 | 64 << 16));
        EXPECT_EQ(HashText(hash.value), HashText(c.stored)) << c.name;
    }

    // Routes (the first and the last), LFO waves and filter types changed
    // while notes hold: what the stage keeps of a part from block to block
    // follows at once.
    BitHash hash;
    player.Notes(0x90);
    player.Render(hash, 2);
    for (int change = 0; change < 3; ++change) {
        player.EveryPart([&](CEngine&, CEngineData& d, int p) {
            Route(d, p, 0, 169 + change, change == 1 ? 32 : 16, 208 + change, 0.3f, 0.0f);
            Route(d, p, 19, 170, change == 1 ? 16 : 32, -1, 0.2f, 0.0f);
            d.SetPartI(p, 213 + 4 * (p % 4), (p + change) % 7);
            d.SetPartI(p, 229, (p + change) % 8);
        });
        player.Render(hash, 2);
    }
    // The last route's add target alone moves to another cell.
    player.EveryPart([](CEngine&, CEngineData& d, int p) { d.SetPartI(p, 105 + 19, 16); });
    player.Render(hash, 2);
    player.Notes(0x80);
    EXPECT_EQ(HashText(hash.value), HashText(0x4ca41e6efee8d178)) << "changes while notes hold";
}

} // namespace
