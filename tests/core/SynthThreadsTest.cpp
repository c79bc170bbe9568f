// What the GUI thread asks of a running synthesizer: voice-count changes by
// every path, and note releases that wait for the audio thread's next block.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/CKeyboard.h"
#include "core/CMIDI.h"
#include "core/SpscRing.h"
#include "tests/core/MidiFixture.h"

namespace {

constexpr int kVoiceSlot = 344;
constexpr int kMixerChannel = 4;
constexpr int kMixerVoices = 10;
constexpr int kGate = 78;

class SynthThreadsTest : public SynthFixture {
protected:
    CEngineData& Data() { return synth->engine.data; }
    int VoiceCount(int part) { return Data().SettingI(part, CEngineData::kSetVoiceCount); }
    void Mixer(int part, int id, int raw) {
        synth->SetMixerParameter(part << 10 | id, static_cast<float>(raw) / 128.0f);
    }
    void Note(int status, int channel, int key) {
        synth->ProcessMidiMessage(static_cast<uint32_t>(status | channel | key << 8 | 100 << 16), 0);
    }
    int Gated(int part) {
        int n = 0;
        for (int v = 0; v < CEngineData::kVoices; ++v)
            n += Data().voicePart[v] == part && Data().ControlI(v, kGate) == 1;
        return n;
    }
    int GatedAnywhere() {
        int n = 0;
        for (int v = 0; v < CEngineData::kVoices; ++v)
            n += Data().ControlI(v, kGate) == 1;
        return n;
    }
    bool AnyKeyDown() {
        for (int p = 0; p < CSynth::kParts; ++p)
            if (synth->midi->keyboard->AnyKeyDown(p))
                return true;
        return false;
    }
    float Peak() {
        float peak = 0.0f;
        for (size_t i = 0; i < left.size(); ++i)
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
        return peak;
    }
    // Part 0 current and on channel 0, part 1 on channel 1 holding two keys.
    void HoldTwoKeysOnPart1() {
        synth->SelectPart(0, 1);
        Mixer(0, kMixerChannel, 0);
        Mixer(1, kMixerChannel, 1);
        Render(32);
        Note(0x90, 1, 60);
        Note(0x90, 1, 64);
        // Events may be scheduled up to 16 blocks ahead.
        Render(1024);
        ASSERT_EQ(Gated(1), 2);
        ASSERT_TRUE(synth->midi->keyboard->IsKeyDown(1, 60));
    }
};

} // namespace

// Whichever way part 0's voice count changes, the voices that part 1 held
// may now belong to part 0: every voice is released, no key stays down, and
// part 0 plays its next note. An equal count leaves part 1 alone.
TEST_F(SynthThreadsTest, AVoiceCountChangeByAnyPathReleasesEveryVoice) {
    const int slot = synth->program.GetPartBankSlot(0);
    const struct {
        const char* path;
        std::function<void(int)> apply;
    } paths[] = {
        {"program load",
         [&](int count) {
             synth->program.GetProgramRecord(slot, 9)[kVoiceSlot] = static_cast<float>(count);
             synth->SetProgram(9);
         }},
        {"voices knob", [&](int count) { synth->SetParameter(kVoiceSlot, static_cast<float>(count) / 128.0f); }},
        {"mixer", [&](int count) { Mixer(0, kMixerVoices, count); }},
    };
    for (const auto& path : paths) {
        for (bool differs : {false, true}) {
            SCOPED_TRACE(testing::Message() << path.path << (differs ? ", another count" : ", same count"));
            HoldTwoKeysOnPart1();
            const int before = VoiceCount(0);
            const int count = differs ? (before == 6 ? 5 : 6) : before;
            path.apply(count);
            ASSERT_EQ(VoiceCount(0), count);
            if (!differs) {
                // The mixer releases notes on every edit; the other paths
                // must not.
                if (std::string(path.path) != "mixer") {
                    EXPECT_EQ(Gated(1), 2);
                }
                Note(0x80, 1, 60);
                Note(0x80, 1, 64);
                Render(1024);
                continue;
            }
            EXPECT_EQ(GatedAnywhere(), 0);
            EXPECT_FALSE(AnyKeyDown());
            Note(0x90, 0, 69);
            Render(4096);
            EXPECT_EQ(Gated(0), 1);
            EXPECT_GT(Peak(), 1e-4f);
            Note(0x80, 0, 69);
            Render(1024);
        }
    }
}

// Note releases asked on the GUI thread wait for the next block while the
// synthesizer runs; while it is suspended, or when the ring is full, they
// happen at once. None is lost.
TEST_F(SynthThreadsTest, ReleasesAskedOnTheGuiThreadRunAtTheNextBlock) {
    using Kind = CSynth::Request::Kind;
    HoldTwoKeysOnPart1();
    synth->Post({Kind::kAllNotesOff});
    EXPECT_EQ(Gated(1), 2) << "carried out by the GUI thread while a render could run";
    Render(32);
    EXPECT_EQ(Gated(1), 0);
    EXPECT_FALSE(AnyKeyDown());

    HoldTwoKeysOnPart1();
    synth->Suspend();
    synth->Post({Kind::kKillVoices, 1});
    EXPECT_EQ(Gated(1), 0);
    synth->Resume();

    HoldTwoKeysOnPart1();
    for (int i = 0; i < CSynth::kRequestRingSize - 1; ++i)
        synth->Post({Kind::kKillVoices, 0});
    EXPECT_EQ(Gated(1), 2);
    synth->Post({Kind::kKillVoices, CMIDI::kAllParts});
    EXPECT_EQ(GatedAnywhere(), 0);
    for (int v = 0; v < Data().voicesInUse; ++v)
        EXPECT_EQ(Data().voiceState[v], CEngineData::kVoiceFree) << v;
}

// Under a run of edits the render calls find the engine held and read no
// MIDI: a hold that begins on a running engine handles what fell due, from
// either queue. A hold inside a hold (the engine half rebuilt) does not.
TEST_F(SynthThreadsTest, AHoldHandlesTheMidiThatFellDue) {
    HoldTwoKeysOnPart1();
    const uint8_t previous = synth->SuspendAndWait();
    Note(0x80, 1, 60);
    synth->ProcessRealTimeMidiMessage(0x7000E1, 0);
    Render(1024);  // silent, but the blocks go by
    synth->RestoreSuspended(previous);
    EXPECT_EQ(Gated(1), 2);
    synth->SetParameter(56, 0.5f);  // an edit
    EXPECT_EQ(Gated(1), 1);
    EXPECT_FLOAT_EQ(synth->midi->pitchBend[1], 0.875f);
    synth->Suspend();
    Note(0x80, 1, 64);
    Render(1024);
    synth->SetParameter(56, 0.5f);
    EXPECT_EQ(Gated(1), 1);
    synth->Resume();
}

// While edits hold the engine the queue fills up. What ends a note still
// goes in, in its place: the key ends, and about 2 s later it is silent.
TEST_F(SynthThreadsTest, AQueueFilledUnderAHoldKeepsEveryNotesEnd) {
    auto cc = [](int channel, int number, int value) {
        return static_cast<uint32_t>(0xB0 | channel | number << 8 | value << 16);
    };
    const uint32_t on = 0x643C90, off = 0x003C80;
    const struct {
        const char* what;
        std::vector<uint32_t> ordinary;  // the last events below the limit
        int controllers;                 // distinct ones, none pending
        std::vector<uint32_t> beyond;
    } rows[] = {
        {"the pedal pressed after the note stays behind it", {cc(0, 64, 0), on, off}, 0, {cc(0, 64, 127)}},
        {"controllers leave the note-off its room", {on}, 256, {off}},
        {"the pedal let go after the note-off still ends it", {cc(0, 64, 127), on}, 0, {off, cc(0, 64, 0)}},
    };
    Mixer(0, kMixerChannel, 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Render(1024);
        ASSERT_FALSE(synth->midi->queue.HasPending());
        const uint8_t previous = synth->SuspendAndWait();
        for (size_t i = row.ordinary.size(); i < CMIDIQueue::kOrdinary; ++i)
            synth->ProcessMidiMessage(0xFE, 0);  // active sensing: nothing to do
        for (uint32_t m : row.ordinary)
            synth->ProcessMidiMessage(m, 0);
        for (int i = 0; i < row.controllers; ++i)
            synth->ProcessMidiMessage(cc(1 + i / 32, 10 + i % 32, 5), 0);
        for (uint32_t m : row.beyond)
            synth->ProcessMidiMessage(m, 0);
        synth->RestoreSuspended(previous);
        Render(2 * 44100);
        Render(4096);
        EXPECT_LT(Peak(), 1e-4f);
        EXPECT_FALSE(synth->midi->keyboard->IsKeyDown(0, 60));
        synth->ProcessMidiMessage(cc(0, 64, 0), 0);
        synth->Post({CSynth::Request::Kind::kAllNotesOff});
        Render(44100);
    }
}

// Items cross from one thread to the other complete and in order, through
// many wraps of a small ring.
TEST(SpscRingTest, ItemsArriveCompleteAndInOrder) {
    struct Item {
        uint32_t sequence;
        uint32_t check;
    };
    SpscRing<Item, 8> ring;
    constexpr uint32_t kItems = 20000;
    // A side that finds the ring full or empty lets the other run: on a
    // loaded machine both may share one core, and a spin waits out its
    // whole time slice every few items.
    std::thread producer([&ring] {
        for (uint32_t i = 0; i < kItems;)
            if (ring.Push({i, ~i}))
                ++i;
            else
                std::this_thread::yield();
    });
    uint32_t expected = 0;
    Item item{};
    while (expected < kItems) {
        if (!ring.Pop(item)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(item.sequence, expected);
        ASSERT_EQ(item.check, ~expected);
        ++expected;
    }
    producer.join();
    EXPECT_FALSE(ring.Pop(item));
}
