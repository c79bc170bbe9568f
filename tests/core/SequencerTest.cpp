// The step sequencer and its transport, driven end to end through the
// synthesizer's render call at 120 BPM and 44100 Hz: step timing with and
// without swing, far into the sample count, the song across bars, the
// transport and MIDI sync, MIDI out, and the pattern fields and commands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "os/OMidiPorts.h"
#include "platform/CGlobalData.h"
#include "platform/CMIDIDevices.h"
#include "tests/GlobalGuards.h"
#include "tests/core/MidiFixture.h"

namespace {

using Kind = CSynth::Request::Kind;
constexpr double kFramesPer16th = 5512.5;  // 24 ticks of 229.6875 frames
constexpr int kSlotArpMode = 334;

// A MIDI output that keeps what it is sent, with the MIDI-out clock at the
// moment it was sent.
class RecordingPorts : public os::OMidiPorts {
public:
    struct Out : os::OMidiOutput {
        explicit Out(RecordingPorts& o) : owner(o) {}
        bool Send(uint32_t message) override {
            owner.sent.push_back({message, CMIDIDevices::GetOutClock()});
            return true;
        }
        RecordingPorts& owner;
    };
    std::vector<std::string> InputNames() override { return {}; }
    std::vector<std::string> OutputNames() override { return {"recorder"}; }
    std::unique_ptr<os::OMidiInput> OpenInput(const std::string&, int, os::MidiInputCallback, void*, std::string&) override {
        return nullptr;
    }
    std::unique_ptr<os::OMidiOutput> OpenOutput(const std::string&, std::string&) override {
        return std::make_unique<Out>(*this);
    }
    struct Sent {
        uint32_t message;
        uint32_t clock;
    };
    std::vector<Sent> sent;
};

class SequencerTest : public SynthFixture {
protected:
    void SetUp() override {
        SynthFixture::SetUp();
        seq = synth->sequencer;
        song = synth->songList;
        // Fully stopped, every part off but part 0, nothing in the song
        // but pattern 0 on track 0.
        Transport(Kind::kStop);
        Transport(Kind::kStop);
        Render(32);
        song->Clear();
        for (int p = 0; p < CSynth::kParts; ++p) {
            seq->partFunction[p] = 0;
            seq->SetPartOn(p, p == 0);
            synth->engine.data.SetPartI(p, kSlotArpMode, 0);
            synth->engine.data.SetSettingI(p, 7, 0);
        }
        seq->songLoop = 1;
        seq->tempo = 120.0f;
        seq->swing = 0.0f;
        seq->UpdateTempo();
        seq->SetSelection(0, 0, 0);
        FillPattern(0, 16, 4, 60);
        FillPattern(1, 16, 4, 64);
    }

    void Transport(Kind kind) { synth->Post({kind}); }
    void FillPattern(int pattern, int steps, int length, int note) {
        CSequencer::Pattern& p = seq->patterns[pattern];
        p.startStep = 0;
        p.lastStep = steps - 1;
        p.loopStep = 0;
        for (int s = 0; s < CSequencer::kSteps; ++s) {
            CSequencer::Step& step = p.steps[s];
            step.note = note + s % 12;
            step.length = length;
            step.gate = 50;
            step.velocity = 100;
            step.chord = 0;
            step.skip = 0;
            step.rest = 0;
        }
    }
    // Renders block by block until the part has entered `count` steps after
    // the current one (or the block limit); answers the frame at which each
    // step began, counted from the first rendered block.
    std::vector<int64_t> StepStarts(int part, int count, int maxBlocks) {
        std::vector<int64_t> starts;
        int previous = -1;
        for (int b = 0; b < maxBlocks && static_cast<int>(starts.size()) < count; ++b) {
            Render(32);
            const int step = seq->GetCurrentStep(part);
            if (b == 0 || step != previous)
                starts.push_back(32 * static_cast<int64_t>(b));
            previous = step;
        }
        return starts;
    }
    int GatedKeyOfPart(int part) {
        CEngineData& d = synth->engine.data;
        for (int v = 0; v < d.voicesInUse; ++v)
            if (d.voicePart[v] == part && d.ControlI(v, 78) == 1)
                return d.ControlI(v, 73);
        return -1;
    }

    CSequencer* seq = nullptr;
    CSongList* song = nullptr;
};

} // namespace

// Each 16th of pattern 0 starts within one block of j x 5512.5 frames after
// the first, also with the sample count just below 2^28 (where a float no
// longer adds a tick exactly) and 2^32 (where a 32-bit count wraps).
TEST_F(SequencerTest, SixteenthsKeepTimeFarIntoTheSampleCount) {
    for (uint64_t origin : {uint64_t{0}, (uint64_t{1} << 28) - 77, (uint64_t{1} << 32) - 3000}) {
        SCOPED_TRACE(origin);
        Transport(Kind::kStop);
        Transport(Kind::kStop);
        Render(32);
        synth->Suspend();
        Transport(Kind::kPlay);
        seq->SetSampleCounter(origin);
        synth->Resume();
        const int steps = origin == 0 ? 17 : 9;
        const std::vector<int64_t> starts = StepStarts(0, steps, 2900);
        ASSERT_EQ(static_cast<int>(starts.size()), steps);
        for (int j = 0; j < steps; ++j)
            EXPECT_NEAR(static_cast<double>(starts[j]), j * kFramesPer16th, 32.0) << "step " << j;
        EXPECT_TRUE(seq->IsRunning());
    }
    // Step 16 is step 0 of the second bar: the pattern went round once.
    EXPECT_EQ(seq->GetCurrentPattern(0), 0);
}

// Swing 100 makes the first 8th of each beat 60.25 ticks and the second
// 36.25: 13838.67 and 8326.17 frames.
TEST_F(SequencerTest, FullSwingAlternatesLongAndShortEighths) {
    FillPattern(0, 8, 7, 60);
    seq->swing = 100.0f;
    Transport(Kind::kPlay);
    const std::vector<int64_t> starts = StepStarts(0, 9, 3000);
    ASSERT_EQ(starts.size(), 9u);
    for (size_t j = 1; j < starts.size(); ++j) {
        const double expected = j % 2 == 1 ? 13838.67 : 8326.17;
        EXPECT_NEAR(static_cast<double>(starts[j] - starts[j - 1]), expected, 32.0) << "step " << j;
    }
    // A swing no editor could set plays straight.
    seq->swing = std::nanf("");
    const std::vector<int64_t> straight = StepStarts(0, 3, 1000);
    ASSERT_EQ(straight.size(), 3u);
    EXPECT_NEAR(static_cast<double>(straight[2] - straight[1]), 2 * kFramesPer16th, 32.0);
}

// The song of two bars plays pattern 0 then pattern 1, and at its end
// starts again (loop on) or stops (loop off); an arpeggiator on part 0 does
// not hold the song in its bar; Stop pauses, a second Stop rewinds.
TEST_F(SequencerTest, SongAdvancesAtEveryBarAndLoopsOrStops) {
    song->SetCell(0, 1, 1, 0);
    song->SetEnd(1);
    const int barBlocks = static_cast<int>(384 * 229.6875 / 32) + 1;
    // Part 0 plays, or its arpeggiator is on, or it waits for keys that are
    // never held (pattern selection by key): the song moves on regardless.
    for (bool loop : {true, false}) {
        for (int hold : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "loop " << loop << " hold " << hold);
            const bool arpeggio = hold != 0;
            Transport(Kind::kStop);
            Transport(Kind::kStop);
            seq->songLoop = loop ? 1 : 0;
            synth->engine.data.SetPartI(0, kSlotArpMode, hold == 1 ? 1 : 0);
            seq->partFunction[0] = hold == 2 ? 3 : 0;
            Transport(Kind::kPlay);
            Render(32);
            EXPECT_EQ(seq->GetCurrentPattern(0), 0);
            EXPECT_EQ(seq->GetSongPosition(), 0);
            for (int b = 0; b < barBlocks; ++b)
                Render(32);
            EXPECT_EQ(seq->GetSongPosition(), 1);
            if (!arpeggio) {
                EXPECT_EQ(seq->GetCurrentPattern(0), 1);
                EXPECT_EQ(GatedKeyOfPart(0), 64);
            }
            for (int b = 0; b < barBlocks; ++b)
                Render(32);
            EXPECT_EQ(seq->IsRunning(), loop);
            EXPECT_EQ(seq->GetSongPosition(), 0);
            if (loop && !arpeggio) {
                EXPECT_EQ(seq->GetCurrentPattern(0), 0);
            }
        }
    }
    synth->engine.data.SetPartI(0, kSlotArpMode, 0);
    seq->partFunction[0] = 0;
    seq->songLoop = 1;
    Transport(Kind::kPlay);
    for (int b = 0; b < 1000; ++b)
        Render(32);
    const int64_t tick = seq->GetTick();
    Transport(Kind::kStop);
    Render(32);
    EXPECT_TRUE(seq->IsPaused());
    EXPECT_FALSE(seq->IsRunning());
    EXPECT_EQ(GatedKeyOfPart(0), -1);
    EXPECT_EQ(seq->GetTick(), tick);
    char text[16];
    seq->GetPositionText(text, sizeof(text));
    EXPECT_STREQ(text, "0001:02:43") << "tick 139";
    Transport(Kind::kPlay);
    Render(32);
    EXPECT_TRUE(seq->IsRunning());
    EXPECT_EQ(seq->GetTick(), tick) << "resumed where it paused";
    Transport(Kind::kStop);
    Transport(Kind::kStop);
    Render(32);
    EXPECT_FALSE(seq->IsPaused());
    EXPECT_EQ(seq->GetTick(), 0);
    seq->GetPositionText(text, sizeof(text));
    EXPECT_STREQ(text, "0001:01:00");

    // A pattern of 20 16ths whose 16th step holds to the bar line, then
    // empty bars: the part lets go of that note at the bar.
    song->Clear();
    song->SetEnd(3);
    FillPattern(0, 20, 4, 60);
    seq->patterns[0].steps[15].gate = 100;
    Transport(Kind::kPlay);
    // Part 5 has no pattern in any bar: the bars have nothing of it to let go.
    Render(32);
    synth->SendMidiOutNote(0, 144, 5, 60, 100);
    for (int b = 0; b < 2 * barBlocks; ++b)
        Render(32);
    EXPECT_EQ(seq->GetSongPosition(), 2);
    EXPECT_EQ(GatedKeyOfPart(0), -1);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(5, 60), 1);
    synth->SendMidiOutAllNotesOff(0, 5);
}

// With MIDI sync on, start plays from the song start (even after a pause),
// stop pauses and continue resumes; with sync off they do nothing.
TEST_F(SequencerTest, MidiStartContinueAndStopDriveTheTransport) {
    auto system = [&](uint32_t status, int blocks) {
        synth->ProcessMidiMessage(status, 0);
        for (int b = 0; b < blocks; ++b)
            Render(32);
    };
    system(0xFA, 40);
    EXPECT_FALSE(seq->IsRunning()) << "sync off";
    synth->midi->midiSync.store(1);
    system(0xFA, 200);
    EXPECT_TRUE(seq->IsRunning());
    system(0xFC, 40);
    EXPECT_TRUE(seq->IsPaused());
    const int64_t tick = seq->GetTick();
    EXPECT_GT(tick, 0);
    system(0xFB, 1);
    for (int b = 0; b < 40 && !seq->IsRunning(); ++b)
        Render(32);
    EXPECT_TRUE(seq->IsRunning());
    EXPECT_GE(seq->GetTick(), tick) << "continued";
    system(0xFC, 40);
    system(0xFA, 1);
    for (int b = 0; b < 40 && !seq->IsRunning(); ++b)
        Render(32);
    EXPECT_TRUE(seq->IsRunning());
    EXPECT_LT(seq->GetTick(), tick) << "started over";
    synth->midi->midiSync.store(0);
}

// A part whose target is "MIDI Channel 3" queues its notes on channel 3 at
// their sample times and leaves the engine alone; after Stop, also with
// Play right after, every note sent has had its note-off.
TEST_F(SequencerTest, MidiOutNotesGoOutInTimeAndAreAllReleased) {
    RecordingPorts ports;
    testutil::ScopedSettings settings;  // the output's name is stored
    g_MIDIDevices.SetPorts(&ports);
    g_MIDIDevices.SetOutputName("recorder");
    ASSERT_TRUE(g_MIDIDevices.OpenOutput());
    // Messages other tests queued, at whatever times, go first.
    for (int i = 0; i < 5; ++i) {
        CMIDIDevices::SetOutClock(CMIDIDevices::GetOutClock() + (1u << 30));
        g_MIDIDevices.FlushOut();
    }
    auto block = [&] {
        Render(32);
        g_MIDIDevices.FlushOut();
    };
    synth->engine.data.SetSettingI(0, 7, 3);
    for (bool playAgain : {false, true}) {
        SCOPED_TRACE(playAgain);
        ports.sent.clear();
        Transport(Kind::kPlay);
        for (int b = 0; b < 900; ++b)
            block();
        EXPECT_EQ(GatedKeyOfPart(0), -1);
        Transport(Kind::kStop);
        if (playAgain) {
            Transport(Kind::kPlay);
            for (int b = 0; b < 200; ++b)
                block();
            Transport(Kind::kStop);
            Transport(Kind::kStop);
        }
        for (int b = 0; b < 100; ++b)
            block();
        std::map<int, int> open;
        std::vector<uint32_t> onClocks;
        for (const auto& s : ports.sent) {
            const int status = static_cast<int>(s.message & 0xFF);
            const int key = static_cast<int>((s.message >> 8) & 0x7F);
            EXPECT_EQ(status & 0x0F, 2) << "channel 3";
            if ((status & 0xF0) == 0x90 && (s.message >> 16) != 0) {
                open[key]++;
                onClocks.push_back(s.clock);
            } else {
                open[key]--;
            }
        }
        for (const auto& [key, count] : open)
            EXPECT_EQ(count, 0) << "key " << key;
        ASSERT_GE(onClocks.size(), 5u);
        for (size_t j = 1; j < 5; ++j)
            EXPECT_NEAR(static_cast<double>(onClocks[j] - onClocks[j - 1]), kFramesPer16th, 64.0);
    }
    g_MIDIDevices.CloseAll();
    g_MIDIDevices.SetPorts(nullptr);
    synth->engine.data.SetSettingI(0, 7, 0);
}

// A part whose voices were all given away strikes nothing and goes on.
TEST_F(SequencerTest, APartWithoutVoicesStrikesNothing) {
    const float voices = synth->GetMixerParameter(0 << 10 | 10);
    synth->SetMixerParameter(0 << 10 | 10, 0.0f);
    Transport(Kind::kPlay);
    const std::vector<int64_t> starts = StepStarts(0, 3, 400);
    EXPECT_EQ(starts.size(), 3u);
    EXPECT_EQ(GatedKeyOfPart(0), -1);
    synth->SetMixerParameter(0 << 10 | 10, voices);
}

// Steps: backwards from 15 to 0, skipped steps passed over, all skipped
// wrapping at once, a gate that never outlasts its step, rests, chords.
TEST_F(SequencerTest, StepOrderAndNoteLengths) {
    CSequencer::Pattern& p = seq->patterns[0];
    auto walk = [&](int count) {
        std::vector<int> order;
        for (int i = 0; i < count; ++i) {
            seq->AdvanceStep(0);
            order.push_back(seq->GetCurrentStep(0));
        }
        return order;
    };
    p.startStep = 15;
    p.lastStep = 0;
    p.loopStep = 15;
    // A bar start that switches the part to pattern 0 (its track's).
    seq->currentPattern[0] = 1;
    seq->OnBarStart(0);
    EXPECT_EQ(seq->GetCurrentStep(0), 15);
    EXPECT_EQ(walk(17), (std::vector<int>{14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14}));
    FillPattern(0, 8, 4, 60);
    p.steps[2].skip = 1;
    p.steps[3].skip = 1;
    p.steps[7].skip = 1;
    p.loopStep = 1;
    song->SetCell(0, 0, 0, 0);
    seq->currentPattern[0] = 1;
    seq->OnBarStart(0);
    EXPECT_EQ(walk(6), (std::vector<int>{1, 4, 5, 6, 1, 4}));
    for (int s = 0; s < 8; ++s)
        p.steps[s].skip = 1;
    EXPECT_EQ(walk(3), (std::vector<int>{1, 1, 1}));

    // Step times against those of step 0 of the same pass: the lengths of
    // the steps before, the gate share of this one; length index 0 gates
    // half of its 8 ticks whatever the gate; a rest half of its length.
    FillPattern(0, 16, 4, 60);
    seq->currentPattern[0] = 1;
    seq->OnBarStart(0);
    auto times = [&](int step) {
        seq->currentStep[0] = step;
        int64_t next = 0, off = 0;
        seq->GetStepTimes(0, next, off);
        return std::pair<int64_t, int64_t>{next, off};
    };
    const int64_t origin = times(0).first - 24;
    struct Case {
        int length, gate, rest;
        int64_t next, off;
    };
    for (const Case& c : {Case{4, 50, 0, 72, 60}, Case{0, 90, 0, 56, 52}, Case{7, 100, 0, 96, 96},
                          Case{7, 75, 1, 96, 72}, Case{99, 50, 0, 72, 60}}) {
        p.steps[2].length = c.length;
        p.steps[2].gate = c.gate;
        p.steps[2].rest = static_cast<uint8_t>(c.rest);
        const auto [next, off] = times(2);
        EXPECT_EQ(next - origin, c.next) << c.length << "/" << c.gate;
        EXPECT_EQ(off - origin, c.off) << c.length << "/" << c.gate;
    }
    p.steps[2].length = 4;
    // The editor moved the last step below the current one: the walk stops
    // at the last step instead of running past step 63.
    p.lastStep = 3;
    EXPECT_EQ(times(40).first - origin, 4 * 24 + 24);
    seq->AdvanceStep(0);
    EXPECT_EQ(seq->GetCurrentStep(0), 0);
}

// Editor fields: values clamped, flags read back as 127, bad parts, steps
// and fields do nothing and read 0; a part function outside 0..6 is 0.
TEST_F(SequencerTest, EditorFieldsStayInRange) {
    using F = CSequencer::Field;
    struct Case {
        int field;
        int32_t value;
        int32_t read;
    };
    for (const Case& c : {Case{F::kFieldNote, 200, 127}, Case{F::kFieldNote, -5, 0}, Case{F::kFieldVelocity, 300, 127},
                          Case{F::kFieldLaneB, -1, 0}, Case{F::kFieldChord, 66, 0}, Case{F::kFieldChord, 65, 65},
                          Case{F::kFieldGate, 500, 100}, Case{F::kFieldLength, 18, 17}, Case{F::kFieldRest, 64, 127},
                          Case{F::kFieldRest, 63, 0}, Case{F::kFieldSkip, 127, 127}, Case{F::kFieldFunction, 7, 0},
                          Case{F::kFieldFunction, 5, 5}, Case{F::kFieldEditorSetting, 9, 9}, Case{99, 5, 0}}) {
        seq->SetStepValue(1, c.field, 63, c.value);
        EXPECT_EQ(seq->GetStepValue(1, c.field, 63), c.read) << c.field << " " << c.value;
    }
    EXPECT_STREQ(seq->GetPartFunctionText(1), "mute part");
    EXPECT_STREQ(CSequencer::GetPartFunctionText(1, 9), "undef");
    EXPECT_STREQ(CSequencer::GetPartFunctionText(16, 0), "");
    for (int bad : {-1, 16, 1 << 30}) {
        seq->SetStepValue(bad, F::kFieldNote, 0, 70);
        seq->SetStepValue(0, F::kFieldNote, bad == 16 ? 64 : bad, 70);
        EXPECT_EQ(seq->GetStepValue(bad, F::kFieldNote, 0), 0);
        EXPECT_EQ(seq->GetStepValue(0, F::kFieldNote, bad == 16 ? 64 : bad), 0);
    }
    seq->SetSelection(-1, 9, 99);
    EXPECT_EQ(seq->SelectedPattern(), (0 * 8 + 7) * 16 + 15);
    seq->SetSelection(3, 7, 15);
    EXPECT_EQ(seq->SelectedPattern(), 511);
    seq->SetPatternLastStep(0, 255);
    EXPECT_EQ(seq->GetPatternLastStep(0), 63);
    seq->SetSelection(0, 0, 0);
    char text[16];
    seq->swing = 37.4f;
    seq->GetSwingText(text, sizeof(text));
    EXPECT_STREQ(text, " 37 %");
    seq->SetStepValue(0, F::kFieldNote, 5, 62);
    seq->SetStepValue(0, F::kFieldChord, 5, 0);
    seq->FormatStepNote(0, 5, text, sizeof(text));
    EXPECT_STREQ(text, CKeyboard::NoteName(62));
    seq->SetStepValue(0, F::kFieldFunction, 0, 1);
    seq->FormatStepNote(0, 5, text, sizeof(text));
    EXPECT_STREQ(text, "k+14");
    seq->SetStepValue(0, F::kFieldFunction, 0, 0);
    seq->FormatStepNote(0, 5, text, 3);
    EXPECT_EQ(std::strlen(text), 2u);
}

// Pattern commands on the selected pattern: copy and paste, clear, rotate,
// and variations that keep every field in its range.
TEST_F(SequencerTest, PatternCommands) {
    CSequencer::Pattern& p = seq->patterns[0];
    seq->EditPattern(1);
    seq->SetSelection(0, 0, 2);
    seq->EditPattern(2);
    for (int s = 0; s < 16; ++s)
        EXPECT_EQ(seq->patterns[2].steps[s].note, p.steps[s].note);
    seq->EditPattern(3);
    EXPECT_EQ(seq->patterns[2].steps[9].note, 48);
    EXPECT_EQ(seq->patterns[2].steps[9].laneB, 100);
    seq->SetSelection(0, 0, 0);
    const int first = p.steps[0].note;
    const int second = p.steps[1].note;
    seq->EditPattern(4);
    EXPECT_EQ(p.steps[0].note, second);
    EXPECT_EQ(p.steps[15].note, first);
    seq->EditPattern(5);
    EXPECT_EQ(p.steps[0].note, first);
    EXPECT_EQ(p.steps[16].note, 60 + 16 % 12) << "beyond the last step: untouched";
    for (int round = 0; round < 50; ++round) {
        seq->EditPattern(12);
        for (int s = 0; s < 16; ++s) {
            const CSequencer::Step& step = p.steps[s];
            ASSERT_TRUE(step.note < 96 && step.velocity < 128 && step.length < 15 && step.gate % 25 == 0 &&
                        step.heldKey >= 1 && step.heldKey <= 7);
        }
    }
}

// Song cells through the sequencer: a picked cell selects its pattern and
// transpose and empties; placing writes both back; a navigation while
// running restarts every part at its start step from the new bar.
TEST_F(SequencerTest, SongCellsAndNavigation) {
    song->SetCell(3, 5, 300, -7);
    seq->PickSongCell(3 * 256 + 5);
    EXPECT_EQ(seq->SelectedPattern(), 300);
    EXPECT_EQ(seq->GetCursorTranspose(), -7);
    EXPECT_EQ(seq->GetSongCellPattern(3 * 256 + 5), -1);
    seq->SetSongCell(4 * 256 + 6);
    EXPECT_EQ(song->GetCellPattern(4, 6), 300);
    EXPECT_EQ(song->GetCellTranspose(4, 6), -7);
    seq->SetSongCursor(4 * 256 + 6);
    seq->SetCursorTranspose(1000);
    EXPECT_EQ(song->GetCellTranspose(4, 6), 127);
    for (int bad : {-1, 16 * 256, 1 << 30}) {
        seq->SetSongCell(bad);
        seq->PickSongCell(bad);
        EXPECT_EQ(seq->GetSongCellPattern(bad), -1);
    }

    song->Clear();
    seq->SetSelection(0, 0, 0);
    song->SetCell(0, 1, 1, 0);
    song->SetEnd(3);
    Transport(Kind::kPlay);
    for (int b = 0; b < 500; ++b)
        Render(32);
    Transport(Kind::kSongNext);
    Render(32);
    EXPECT_EQ(seq->GetSongPosition(), 1);
    EXPECT_EQ(seq->GetCurrentPattern(0), 1);
    EXPECT_EQ(seq->GetCurrentStep(0), 0);
    // The next step comes one 16th later, not at once nor bars later.
    const std::vector<int64_t> starts = StepStarts(0, 2, 400);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(static_cast<double>(starts[1]), kFramesPer16th, 300.0);
    Transport(Kind::kSongPrevious);
    Transport(Kind::kSongToEnd);
    Render(32);
    EXPECT_EQ(seq->GetSongPosition(), 3);
    EXPECT_EQ(seq->GetCurrentPattern(0), -1);
    EXPECT_GE(seq->GetSongTicks(), 3 * 384);
    EXPECT_LE(seq->GetSongTicks(), 3 * 384 + 1);
}
