// The arpeggiator heard through the synthesizer: which keys its voices
// start, when and for how long; and its clock.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "core/CArpeggiator.h"
#include "tests/core/MidiFixture.h"

namespace {

struct Note {
    int key;
    int64_t start, release = -1;
};

class ArpeggiatorTest : public SynthFixture {
protected:
    void TearDown() override {
        Apply(0, 1, 4, 0);
        for (int k = 0; k < 128; ++k)
            Key(k, false);
        Blocks(2000);
    }
    // Mode, octaves, rhythm, direction of part 0, through the parameter
    // model; what it would not take written as an unchecked program brings it.
    void Apply(int mode, int octaves, int rhythm, int direction) {
        notes.clear();
        const int values[4] = {mode, octaves, rhythm, direction};
        for (int i = 0; i < 4; ++i) {
            synth->SetLearnedParameter(0, 0, CArpeggiator::kSlotMode + i, values[i] / 128.0f);
            synth->engine.data.SetPartI(0, CArpeggiator::kSlotMode + i, values[i]);
        }
    }
    void Key(int key, bool down) { synth->ProcessMidiMessage((down ? 0x640090u : 0x80u) | key << 8, 0); }
    // Renders 32-frame blocks, noting each voice of part 0 that starts or
    // releases a key at the first frame of its block.
    void Blocks(int count) {
        const CEngineData& d = synth->engine.data;
        for (int b = 0; b < count; ++b, frame += 32) {
            Render(32);
            for (int v = 0; v < d.voicesInUse; ++v) {
                const int key = d.ControlI(v, 73), gate = d.ControlI(v, 78);
                if (d.voicePart[v] != 0 || (key == lastKey[v] && gate == lastGate[v]))
                    continue;
                for (Note& n : notes)
                    if (lastGate[v] && n.key == lastKey[v] && n.release < 0)
                        n.release = frame;
                if (gate)
                    notes.push_back({key, frame});
                lastKey[v] = key;
                lastGate[v] = gate;
            }
        }
    }
    std::vector<int> Play(size_t count) {
        for (int i = 0; i < 20000 && notes.size() < count; ++i)
            Blocks(1);
        std::vector<int> keys;
        for (const Note& n : notes)
            keys.push_back(n.key);
        return keys;
    }

    std::vector<Note> notes;
    int64_t frame = 0;
    int lastKey[CEngineData::kVoices] = {}, lastGate[CEngineData::kVoices] = {};
};

} // namespace

TEST_F(ArpeggiatorTest, UpOverTwoOctavesInSixteenthsKeepsTime) {
    Apply(1, 2, 4, CArpeggiator::kUp);
    for (int k : {60, 64, 67})
        Key(k, true);
    EXPECT_EQ(Play(9), (std::vector<int>{60, 64, 67, 72, 76, 79, 60, 64, 67}));
    // A 16th at 120 bpm is 24 ticks of 229.6875 frames; it sounds 18.
    for (size_t j = 0; j + 1 < notes.size(); ++j) {
        EXPECT_NEAR(notes[j].start - notes[0].start, j * 5512.5, 32.0) << j;
        EXPECT_NEAR(notes[j].release - notes[j].start, 4134.375, 32.0) << j;
    }
    // Released keys in mode "on" end the sounding note at the next tick.
    for (int k : {60, 64, 67})
        Key(k, false);
    const int64_t released = frame;
    Blocks(20);
    EXPECT_GE(notes.back().release, released);
    EXPECT_LE(notes.back().release, released + 2 * 230);
}

TEST_F(ArpeggiatorTest, DirectionsOctaveCountsAndHold) {
    const struct {
        int octaves, direction;
        std::vector<int> keys, played;
    } cases[] = {
        {1, CArpeggiator::kAlternate, {60, 64, 67}, {60, 64, 67, 67, 64, 60, 60, 64}},
        {2, CArpeggiator::kAlternate, {60, 67}, {60, 67, 72, 79, 79, 72, 67, 60, 60}},
        {2, CArpeggiator::kDown, {60, 64}, {60, 76, 72, 64, 60, 76}},
        // Stored octave counts outside 1..8 play as the nearest one.
        {0, CArpeggiator::kUp, {60}, {60, 60, 60}},
        {0, CArpeggiator::kDown, {60}, {60, 60, 60}},
        {12, CArpeggiator::kUp, {24}, {24, 36, 48, 60, 72, 84, 96, 108, 24}},
        {2, CArpeggiator::kUp, {120}, {120, 120, 120}},  // folded below 128
    };
    for (const auto& c : cases) {
        Apply(1, c.octaves, 0, c.direction);
        for (int k : c.keys)
            Key(k, true);
        EXPECT_EQ(Play(c.played.size()), c.played) << c.keys[0] << " " << c.octaves;
        for (int k : c.keys)
            Key(k, false);
        Blocks(200);
    }
    // "hold" plays released keys on until a key goes down with none down.
    Apply(3, 1, 0, CArpeggiator::kUp);
    Key(60, true);
    Key(64, true);
    Play(2);
    Key(60, false);
    Key(64, false);
    notes.clear();
    EXPECT_EQ(Play(4), (std::vector<int>{60, 64, 60, 64}));
    Key(67, true);
    Blocks(300);
    notes.clear();
    EXPECT_EQ(Play(3), (std::vector<int>{67, 67, 67}));
}

TEST(ArpeggiatorClockTest, StepLengthsPatternsAndTheClockPastTheWordSize) {
    CArpeggiator arp(nullptr);
    for (auto [rhythm, ticks] : {std::pair{0, 8}, {4, 24}, {14, 288}, {17, 576}, {-1, 24}, {26, 24}})
        EXPECT_EQ(arp.StepTicks(rhythm, 0), ticks) << rhythm;
    std::vector<int32_t> r1;  // "R1": twelve steps, then from the start
    for (int i = 0; i < 14; ++i)
        r1.push_back(arp.StepTicks(18, 0));
    EXPECT_EQ(r1, (std::vector<int32_t>{48, 24, 24, 48, 24, 24, 48, 24, 24, 48, 24, 24, 48, 24}));

    // 229.6875 frames a tick at 120 bpm: a tick block every 7 or 8 blocks,
    // also past 2^32 samples (27 hours).
    for (uint64_t from : {uint64_t{0}, (uint64_t{1} << 32) - 3200}) {
        arp.sampleCounter = from;
        arp.nextTickTime = static_cast<double>(from);
        const uint64_t first = arp.tick;
        for (int b = 1, last = 0; b <= 8000; ++b) {
            const uint64_t before = arp.tick;
            arp.Process();
            if (arp.tick != before) {
                ASSERT_TRUE(b - last == 7 || b - last == 8 || last == 0) << b - last;
                last = b;
            }
        }
        EXPECT_EQ(arp.tick - first, static_cast<uint64_t>(8000 * 32 / 229.6875));
    }
    for (float bpm : {0.0f, -60.0f, NAN, INFINITY})
        arp.SetTempo(bpm);
    EXPECT_DOUBLE_EQ(arp.samplesPerTick.load(), 229.6875);
}
