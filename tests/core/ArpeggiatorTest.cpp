// The arpeggiator heard through the synthesizer: which notes its voices
// start, when, and for how long; and its clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "tests/core/MidiFixture.h"

namespace {

struct Note {
    int key;
    int64_t start;
    int64_t release = -1;
};

struct Settings {
    int mode = 1;
    int octaves = 1;
    int rhythm = 4;
    int direction = CArpeggiator::kUp;
};

class ArpeggiatorTest : public SynthFixture {
protected:
    void SetUp() override {
        SynthFixture::SetUp();
        Forget();
    }
    void Forget() {
        notes.clear();
        frame = 0;
        prevKey.assign(CEngineData::kVoices, -1);
        prevGate.assign(CEngineData::kVoices, 0);
    }
    void TearDown() override {
        Apply(Settings{0, 1, 4, 0});
        for (int k = 0; k < 128; ++k)
            synth->ProcessMidiMessage(0x80u | static_cast<uint32_t>(k) << 8, 0);
        Blocks(2000);
    }

    // Through the parameter model; a value it would not take is written to
    // the engine as an unchecked program would bring it.
    void Slot(int slot, int value) {
        synth->SetLearnedParameter(0, 0, slot, static_cast<float>(value) / 128.0f);
        if (synth->engine.data.PartI(0, slot) != value)
            synth->engine.data.SetPartI(0, slot, value);
    }
    void Apply(const Settings& s) {
        Slot(CArpeggiator::kSlotMode, s.mode);
        Slot(CArpeggiator::kSlotOctaves, s.octaves);
        Slot(CArpeggiator::kSlotRhythm, s.rhythm);
        Slot(CArpeggiator::kSlotDirection, s.direction);
    }
    void Keys(std::initializer_list<int> keys, bool down) {
        for (int k : keys)
            synth->ProcessMidiMessage((down ? 0x640090u : 0x80u) | static_cast<uint32_t>(k) << 8, 0);
    }
    // Renders blocks of 32 frames and notes every voice of part 0 that
    // starts a key or is released, at the first frame of its block.
    void Blocks(int count) {
        const CEngineData& d = synth->engine.data;
        for (int b = 0; b < count; ++b) {
            Render(32);
            for (int v = 0; v < d.voicesInUse; ++v) {
                if (d.voicePart[v] != 0)
                    continue;
                const int key = d.ControlI(v, 73);
                const int gate = d.ControlI(v, 78);
                if (gate == 1 && (prevGate[v] == 0 || prevKey[v] != key))
                    notes.push_back({key, frame});
                if (prevGate[v] == 1 && (gate == 0 || prevKey[v] != key))
                    for (auto it = notes.rbegin(); it != notes.rend(); ++it)
                        if (it->key == prevKey[v] && it->release < 0 && it->start < frame) {
                            it->release = frame;
                            break;
                        }
                prevKey[v] = key;
                prevGate[v] = gate;
            }
            frame += 32;
        }
    }
    // Renders until count notes have started (or a limit is reached).
    void UntilNotes(size_t count) {
        for (int i = 0; i < 20000 && notes.size() < count; ++i)
            Blocks(1);
    }
    std::vector<int> KeysPlayed() const {
        std::vector<int> k;
        for (const Note& n : notes)
            k.push_back(n.key);
        return k;
    }

    std::vector<Note> notes;
    int64_t frame = 0;
    std::vector<int> prevKey, prevGate;
};

} // namespace

TEST_F(ArpeggiatorTest, UpOverTwoOctavesInSixteenthsKeepsTime) {
    Apply({1, 2, 4, CArpeggiator::kUp});
    Keys({60, 64, 67}, true);
    UntilNotes(9);
    ASSERT_GE(notes.size(), 8u);
    EXPECT_EQ(KeysPlayed(), (std::vector<int>{60, 64, 67, 72, 76, 79, 60, 64, 67}));
    // At 120 bpm and 44100 Hz a 16th is 24 ticks of 229.6875 frames,
    // sounding 18 of them.
    for (size_t j = 0; j + 1 < notes.size(); ++j) {
        EXPECT_NEAR(static_cast<double>(notes[j].start - notes[0].start), j * 5512.5, 32.0) << j;
        EXPECT_NEAR(static_cast<double>(notes[j].release - notes[j].start), 4134.375, 32.0) << j;
    }
    // Releasing the keys in mode "on" ends the sounding note at the next tick.
    Keys({60, 64, 67}, false);
    const int64_t released = frame;
    Blocks(20);
    EXPECT_GE(notes.back().release, released);
    EXPECT_LE(notes.back().release, released + 2 * 230);
}

TEST_F(ArpeggiatorTest, DirectionsRhythmsAndOctaveCounts) {
    struct Case {
        const char* what;
        Settings settings;
        std::vector<int> keys;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"alt", {1, 1, 0, CArpeggiator::kAlternate}, {60, 64, 67}, {60, 64, 67, 67, 64, 60, 60, 64}},
        {"alt 2 octaves", {1, 2, 0, CArpeggiator::kAlternate}, {60, 67},
         {60, 67, 72, 79, 79, 72, 67, 60, 60}},
        {"down", {1, 2, 0, CArpeggiator::kDown}, {60, 64}, {60, 76, 72, 64, 60, 76}},
        // A stored octave count outside 1..8 plays as the nearest one.
        {"0 octaves up", {1, 0, 0, CArpeggiator::kUp}, {60}, {60, 60, 60, 60}},
        {"0 octaves down", {1, 0, 0, CArpeggiator::kDown}, {60}, {60, 60, 60, 60}},
        {"12 octaves up", {1, 12, 0, CArpeggiator::kUp}, {24}, {24, 36, 48, 60, 72, 84, 96, 108, 24}},
        // High notes fold back below 128 by octaves.
        {"fold", {1, 2, 0, CArpeggiator::kUp}, {120}, {120, 120, 120}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Forget();
        Apply(c.settings);
        for (int k : c.keys)
            Keys({k}, true);
        UntilNotes(c.expected.size());
        EXPECT_EQ(KeysPlayed(), c.expected);
        for (int k : c.keys)
            Keys({k}, false);
        Blocks(200);
    }
}

TEST_F(ArpeggiatorTest, HoldKeepsReleasedKeysUntilANewPhrase) {
    Apply({3, 1, 0, CArpeggiator::kUp});
    Keys({60, 64}, true);
    UntilNotes(2);
    Keys({60, 64}, false);
    notes.clear();
    UntilNotes(4);
    EXPECT_EQ(KeysPlayed(), (std::vector<int>{60, 64, 60, 64}));
    // A key pressed with none down starts over with that key alone.
    Keys({67}, true);
    Blocks(300);
    notes.clear();
    UntilNotes(3);
    EXPECT_EQ(KeysPlayed(), (std::vector<int>{67, 67, 67}));
    Keys({67}, false);
}

TEST(ArpeggiatorStepTest, StepLengthsAndRhythmPatterns) {
    CArpeggiator arp(nullptr);
    for (auto [rhythm, ticks] : {std::pair{0, 8}, {4, 24}, {14, 288}, {17, 576}, {-1, 24}, {26, 24}})
        EXPECT_EQ(arp.StepTicks(rhythm, 0), ticks) << rhythm;
    // "R1": twelve steps, then from the start again.
    std::vector<int32_t> r1;
    for (int i = 0; i < 14; ++i)
        r1.push_back(arp.StepTicks(18, 0));
    EXPECT_EQ(r1, (std::vector<int32_t>{48, 24, 24, 48, 24, 24, 48, 24, 24, 48, 24, 24, 48, 24}));
    // "R8" fills all 16 steps and wraps.
    arp.patternStep[1] = 15;
    EXPECT_EQ(arp.StepTicks(25, 1), 16);
    EXPECT_EQ(arp.StepTicks(25, 1), 32);
}

TEST(ArpeggiatorStepTest, TheClockTicksEverySevenOrEightBlocksAndPassesTheWordSize) {
    CArpeggiator arp(nullptr);
    EXPECT_DOUBLE_EQ(arp.samplesPerTick.load(), 229.6875);
    std::vector<int> gaps;
    int last = 0;
    for (int b = 1; b <= 1000; ++b) {
        const uint64_t before = arp.tick;
        arp.Process();
        if (arp.tick != before) {
            gaps.push_back(b - last);
            last = b;
        }
    }
    for (int g : gaps)
        EXPECT_TRUE(g == 7 || g == 8) << g;
    EXPECT_EQ(arp.tick, static_cast<uint64_t>(32000 / 229.6875));

    // Past 2^32 samples (27 hours) the ticks keep coming.
    arp.sampleCounter = (uint64_t{1} << 32) - 3200;
    arp.nextTickTime = static_cast<double>(arp.sampleCounter);
    const uint64_t start = arp.tick;
    for (int b = 0; b < 8000; ++b)
        arp.Process();
    EXPECT_NEAR(static_cast<double>(arp.tick - start), 8000 * 32 / 229.6875, 1.0);

    for (float bpm : {0.0f, -60.0f, NAN, INFINITY})
        arp.SetTempo(bpm);
    EXPECT_DOUBLE_EQ(arp.samplesPerTick.load(), 229.6875);
    arp.SetTempo(60.0f);
    EXPECT_DOUBLE_EQ(arp.samplesPerTick.load(), 459.375);
}
