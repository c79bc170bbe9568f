#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/CMIDI.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "os/TestFolders.h"
#include "tests/GlobalGuards.h"
#include "tests/core/MidiFixture.h"

namespace {

struct Stereo {
    explicit Stereo(int frames) : left(frames, 9.0f), right(frames, 9.0f) {}
    float* ptrs[2] = {nullptr, nullptr};
    float** Outputs() {
        ptrs[0] = left.data();
        ptrs[1] = right.data();
        return ptrs;
    }
    std::vector<float> left, right;
};

class CSynthTest : public SynthFixture {};

} // namespace

TEST_F(CSynthTest, WithoutAWindowTheSynthesizerStaysSuspended) {
    auto fresh = std::make_unique<CSynth>();
    EXPECT_TRUE(fresh->IsSuspended());
    EXPECT_NE(fresh->editor, nullptr);
    EXPECT_EQ(fresh->currentProgram, 0);
}

TEST_F(CSynthTest, RenderCallsHoldOverTheSurplusFrames) {
    Render(100);
    EXPECT_EQ(synth->engine.data.blockCounter, 4u);
    EXPECT_EQ(synth->GetHeldOverCount(), 0);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 28);
    Render(100);
    EXPECT_EQ(synth->engine.data.blockCounter, 7u);
    EXPECT_EQ(synth->GetHeldOverCount(), 28);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 24);
    // A whole number of blocks after a call that held frames keeps holding
    // the same number.
    Render(256);
    EXPECT_EQ(synth->engine.data.blockCounter, 15u);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 24);
}

TEST_F(CSynthTest, HeldFramesComeOutFirstAndInOrder) {
    Render(100);
    ASSERT_EQ(synth->GetNextHeldOverCount(), 28);
    for (int i = 0; i < 28; ++i) {
        synth->heldBuffer[2 * i] = static_cast<float>(i);
        synth->heldBuffer[2 * i + 1] = -static_cast<float>(i);
    }
    // Fewer frames than are held: no block is rendered, the rest is kept.
    Stereo a(10);
    synth->Process(nullptr, a.Outputs(), 10);
    EXPECT_EQ(synth->engine.data.blockCounter, 4u);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 18);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FLOAT_EQ(a.left[i], static_cast<float>(i));
        EXPECT_FLOAT_EQ(a.right[i], -static_cast<float>(i));
    }
    Stereo b(30);
    synth->Process(nullptr, b.Outputs(), 30);
    for (int i = 0; i < 18; ++i)
        EXPECT_FLOAT_EQ(b.left[i], static_cast<float>(10 + i)) << i;
    for (int i = 18; i < 30; ++i)
        EXPECT_FLOAT_EQ(b.left[i], 0.0f) << i;
    EXPECT_EQ(synth->engine.data.blockCounter, 5u);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 20);
}

TEST_F(CSynthTest, LargeRequestsAreRenderedInPieces) {
    Render(100);   // holds 28
    const int frames = 40000;
    Stereo out(frames);
    synth->Process(nullptr, out.Outputs(), frames);
    // 39972 new frames: 32768 + 7204, the last piece rounded up to 226 blocks.
    EXPECT_EQ(synth->engine.data.blockCounter, 4u + 1024u + 226u);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 28);
    EXPECT_EQ(out.left, std::vector<float>(frames, 0.0f));

    Stereo exact(2 * CSynth::kMaxRenderFrames + 28);
    synth->Process(nullptr, exact.Outputs(), 2 * CSynth::kMaxRenderFrames + 28);
    EXPECT_EQ(synth->GetNextHeldOverCount(), 0);
}

TEST_F(CSynthTest, SuspendedCallsAreSilentAndStillCountBlocks) {
    synth->Suspend();
    Stereo out(100);
    synth->Process(nullptr, out.Outputs(), 100);
    EXPECT_EQ(out.left, std::vector<float>(100, 0.0f));
    EXPECT_EQ(out.right, std::vector<float>(100, 0.0f));
    EXPECT_EQ(synth->engine.data.blockCounter, 4u);
    std::vector<int16_t> pcm(2 * 256, 123);
    synth->ProcessInt16(pcm.data(), 256);
    for (int16_t s : pcm)
        EXPECT_EQ(s, 0);
    EXPECT_EQ(synth->engine.data.blockCounter, 12u);
    synth->Resume();
    EXPECT_FALSE(synth->IsSuspended());
}

TEST_F(CSynthTest, RenderRestoresTheFloatingPointControlState) {
    const unsigned before = _mm_getcsr();
    _mm_setcsr(before & ~0x8040u);
    const unsigned plain = _mm_getcsr();
    Render(64);
    EXPECT_EQ(_mm_getcsr(), plain);
    _mm_setcsr(before);
    EXPECT_FALSE(synth->IsRenderInFlight());
}

TEST_F(CSynthTest, SixteenBitConversionTruncatesAndSaturates) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int16_t> cases[] = {{1.0f, 32767},   {-1.0f, -32767}, {0.99999f, 32766}, {0.5f, 16383},
                                               {-0.5f, -16383}, {0.0f, 0},       {1.5f, 32767},     {-3.0f, -32767},
                                               {inf, 32767},    {-inf, -32767},  {std::nanf(""), 0}};
    for (auto [x, want] : cases) EXPECT_EQ(CSynth::ToInt16(x), want) << x;

    // Through the render path: held-over frames go out interleaved.
    Render(100);
    const float values[4] = {1.0f, -1.0f, 0.99999f, 2.0f};
    std::memcpy(synth->heldBuffer, values, sizeof(values));
    int16_t pcm[4] = {};
    synth->ProcessInt16(pcm, 2);
    const int16_t want[4] = {32767, -32767, 32766, 32767};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pcm[i], want[i]) << i;
}

TEST_F(CSynthTest, NamesAndCapabilities) {
    char text[64];
    std::memset(text, 'x', sizeof(text));
    EXPECT_TRUE(synth->GetEffectName(text));
    EXPECT_STREQ(text, "ZAVO");
    EXPECT_TRUE(synth->GetVendorString(text));
    EXPECT_STREQ(text, "Quorva");
    EXPECT_TRUE(synth->GetProductString(text));
    EXPECT_STREQ(text, "Quorva ZAVO");

    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent"}) EXPECT_EQ(synth->CanDo(yes), 1) << yes;
    for (const char* no : {"receiveVstEvent", "receiveVstEventsX", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(synth->CanDo(no), -1) << (no ? no : "null");
    EXPECT_EQ(synth->Slot22(), 1);
    EXPECT_FALSE(synth->Slot18(0));
    EXPECT_EQ(synth->ProcessMidiMessage(0x403C90, 0), 1);
    // The suite's synthesizer plays on in the tests that follow: the note
    // is played and taken back (voices killed, no release left ringing).
    Render(64);
    synth->Post({CSynth::Request::Kind::kKillVoices, CMIDI::kAllParts});
    Render(64);

    EXPECT_FALSE(synth->GetProgramNameIndexed(0, 128, text));
    EXPECT_FALSE(synth->GetProgramNameIndexed(0, -1, text));
    EXPECT_TRUE(synth->GetProgramNameIndexed(0, 127, text));
    EXPECT_EQ(synth->GetPresetBrowser(1, 0), &synth->presetBrowser);
    EXPECT_EQ(synth->GetPresetBrowser(0, 0), nullptr);
}

TEST_F(CSynthTest, SetProgramAcceptsOnly0To127) {
    synth->SetProgram(5);
    EXPECT_EQ(synth->currentProgram, 5);
    EXPECT_EQ(synth->program.GetPartProgramNumber(synth->program.GetCurrentPart()), 5);
    synth->SetProgram(128);
    synth->SetProgram(-1);
    EXPECT_EQ(synth->currentProgram, 5);
    EXPECT_EQ(synth->program.GetPartProgramNumber(synth->program.GetCurrentPart()), 5);
    for (int p = 0; p < 16; ++p)
        EXPECT_EQ(synth->engine.partLoading[p].load(), 0);
}

TEST_F(CSynthTest, AVoiceCountChangeKeepsTheCallersSuspension) {
    const int part = synth->program.GetCurrentPart();
    const int slot = synth->program.GetPartBankSlot(part);
    for (bool suspendedBefore : {true, false}) {
        const int target = suspendedBefore ? 7 : 3;
        float* record = synth->program.GetProgramRecord(slot, 9);
        ASSERT_NE(record, nullptr);
        record[344] = static_cast<float>(target);
        if (suspendedBefore)
            synth->Suspend();
        else
            synth->Resume();
        synth->SetProgram(9);
        EXPECT_EQ(synth->IsSuspended(), suspendedBefore);
        EXPECT_EQ(static_cast<int>(synth->parameters.GetMixerParameter(10, part) * 128.0f + 0.1f),
                  target);
    }
    synth->Resume();
}

TEST_F(CSynthTest, SuspendAndWaitHandsBackThePreviousFlag) {
    synth->Resume();
    EXPECT_EQ(synth->SuspendAndWait(), 0);
    EXPECT_TRUE(synth->IsSuspended());
    EXPECT_EQ(synth->SuspendAndWait(), 1);
    synth->RestoreSuspended(0);
    EXPECT_FALSE(synth->IsSuspended());
    synth->PushParameters();
    EXPECT_TRUE(synth->IsSuspended());
    synth->Resume();
}

TEST_F(CSynthTest, MidiOutNotesAreNotSentTwice) {
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 60), 0);
    synth->SendMidiOutNote(0, 144, 2, 60, 100);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 60), 1);
    synth->SendMidiOutNote(10, 144, 2, 60, 100);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 60), 1);
    synth->SendMidiOutNote(20, 128, 2, 60, 0);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 60), 0);

    synth->SendMidiOutNote(0, 144, 2, 61, 100);
    synth->SendMidiOutNote(0, 144, 2, 62, 100);
    synth->SendMidiOutAllNotesOff(30, 2);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 61), 0);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(2, 62), 0);

    // Out of range: ignored, nothing written.
    synth->SendMidiOutNote(0, 144, 16, 60, 100);
    synth->SendMidiOutNote(0, 144, 0, 128, 100);
    synth->SendMidiOutNote(0, 144, -1, -1, 100);
    synth->SendMidiOutAllNotesOff(0, 99);
    EXPECT_EQ(synth->GetMidiOutNoteFlag(16, 60), 0);
}

TEST_F(CSynthTest, QueuedProgramChangesAreAppliedOnePerTick) {
    ASSERT_NE(synth->editor, nullptr);
    synth->editor->PostProgramChange(3, 9);
    synth->editor->PostProgramChange(3, 11);
    synth->editor->ProcessProgramMessages();
    EXPECT_EQ(synth->program.GetPartProgramNumber(3), 9);
    synth->editor->ProcessProgramMessages();
    EXPECT_EQ(synth->program.GetPartProgramNumber(3), 11);
}

TEST_F(CSynthTest, AMultiSampleSwapStopsItsPartsVoicesAndLeavesTheSuspensionAsItWas) {
    testutil::TempFolder folder;
    CEngineData& d = synth->engine.data;
    // A sounding voice of part 2 and one of part 3.
    int voice2 = -1, voice3 = -1;
    for (int v = 0; v < d.voicesInUse; ++v) {
        if (d.voicePart[v] == 2 && voice2 < 0)
            voice2 = v;
        if (d.voicePart[v] == 3 && voice3 < 0)
            voice3 = v;
    }
    ASSERT_GE(voice2, 0);
    ASSERT_GE(voice3, 0);
    // Both voices are put back when the test ends: a voice left sounding
    // would play into the suite's later tests.
    testutil::ScopedValue keep2(d.voiceState[voice2]), keep3(d.voiceState[voice3]);
    d.voiceState[voice2] = 0;
    d.voiceState[voice3] = 0;

    ASSERT_TRUE(synth->engine.MultiSample(2, 1).New((folder / "Pad.qvi").c_str()));
    EXPECT_NE(d.voiceState[voice2], 0);   // killed before the zones changed
    EXPECT_EQ(d.voiceState[voice3], 0);   // another part keeps sounding
    EXPECT_FALSE(synth->IsSuspended());

    synth->Suspend();
    ASSERT_TRUE(synth->engine.MultiSample(2, 1).New((folder / "Pad2.qvi").c_str()));
    EXPECT_TRUE(synth->IsSuspended());
    synth->Resume();
}
