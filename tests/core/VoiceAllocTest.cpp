#include <cmath>

#include "tests/core/MidiFixture.h"

namespace {

class VoiceAllocTest : public MidiFixture {};

constexpr int kUnison = 340;
constexpr int kUnisonDetune = 341;
constexpr int kPriority = 269;

} // namespace

TEST_F(VoiceAllocTest, FourVoicePartStealsRoundRobin) {
    PlayAll({Msg(0x90, 60, 100), Msg(0x90, 62, 100), Msg(0x90, 64, 100), Msg(0x90, 65, 100)});
    for (int v = 0; v < 4; ++v)
        EXPECT_EQ(Gate(v), 1);
    EXPECT_EQ(Key(0), 60);
    EXPECT_EQ(Key(3), 65);
    EXPECT_EQ(midi->lastVoice[0], 3);

    // The fifth note's pre-scan frees the voice after the last used one.
    Play(0x90, 67, 100);
    EXPECT_EQ(Key(0), 67);
    EXPECT_EQ(Gate(0), 1);
    EXPECT_EQ(Data().ControlI(0, 80), 1) << "a voice still sounding is continued";
    EXPECT_EQ(Key(1), 62);
    EXPECT_EQ(Key(2), 64);
    EXPECT_EQ(Key(3), 65);
    // And the next steal takes the voice after that.
    Play(0x90, 69, 100);
    EXPECT_EQ(Key(1), 69);
    EXPECT_EQ(Key(2), 64);

    // Without the pre-scan (a note generator), the note steals directly.
    midi->HandlePartMessage(0, 0x90, 71, 90, 0, -1, 0, 1);
    EXPECT_EQ(Key(2), 71);
    EXPECT_EQ(CountGated(0), 4);
}

TEST_F(VoiceAllocTest, KeyStruckTwiceGatesTwoVoicesAndOneNoteOffReleasesBoth) {
    Play(0x90, 60, 100);
    Play(0x90, 60, 90);
    EXPECT_EQ(CountGated(0), 2);
    Play(0x80, 60, 0);
    EXPECT_EQ(CountGated(0), 0);
    EXPECT_EQ(EgStage(0, 0), 3);
    EXPECT_EQ(EgStage(1, 0), 3);

    Play(0x90, 62, 100);
    Play(0x90, 62, 100);
    EXPECT_EQ(CountGated(0), 2);
    Play(0x90, 62, 0);  // note-on with velocity 0
    EXPECT_EQ(CountGated(0), 0);
}

TEST_F(VoiceAllocTest, MonoLowKeyPriority) {
    Layout({1});
    Data().SetPartI(0, kPriority, 1);
    Play(0x90, 60, 100);
    Play(0x90, 64, 80);
    EXPECT_EQ(Key(0), 60) << "a higher key does not take a low-key mono voice";
    Play(0x80, 60, 0);
    EXPECT_EQ(Key(0), 64) << "releasing the sounding key continues on the held one";
    EXPECT_EQ(Gate(0), 1);
    EXPECT_FLOAT_EQ(Data().ControlF(0, 76), 80.0f / 127.0f) << "with the held key's velocity";
    Play(0x90, 55, 70);
    EXPECT_EQ(Key(0), 55) << "a lower key takes over";
    Play(0x80, 55, 0);
    Play(0x80, 64, 0);
    EXPECT_EQ(Gate(0), 0);
    EXPECT_EQ(EgStage(0, 0), 3);
}

TEST_F(VoiceAllocTest, MonoLastAndHighKeyReturnToHighestHeldKey) {
    Layout({1});
    Data().SetPartI(0, kPriority, 0);  // "Last key"
    Play(0x90, 60, 100);
    Play(0x90, 67, 100);
    Play(0x90, 64, 100);
    EXPECT_EQ(Key(0), 64);
    Play(0x80, 64, 0);
    EXPECT_EQ(Key(0), 67);
    EXPECT_EQ(Gate(0), 1);

    Play(0x80, 67, 0);
    Play(0x80, 60, 0);
    EXPECT_EQ(Gate(0), 0);
    Data().SetPartI(0, kPriority, 2);  // "High key"
    Play(0x90, 64, 100);
    Play(0x90, 60, 100);
    EXPECT_EQ(Key(0), 64) << "a lower key does not take a high-key mono voice";
    Play(0x90, 70, 100);
    EXPECT_EQ(Key(0), 70);
    Play(0x80, 70, 0);
    EXPECT_EQ(Key(0), 64);

    // A note generator's note-off does not return to a held key.
    midi->HandlePartMessage(0, 0x90, 64, 0, 0, -1, 0, 1);
    EXPECT_EQ(Gate(0), 0);
}

TEST_F(VoiceAllocTest, UnisonStacksVoicesWithTheirOwnDetune) {
    Layout({8});
    Data().SetPartI(0, kUnison, 1);
    Data().SetPartF(0, kUnisonDetune, 0.01f);
    Play(0x90, 69, 100);
    EXPECT_EQ(CountGated(0), 8);
    int distinct = 0;
    for (int v = 0; v < 8; ++v) {
        EXPECT_EQ(Key(v), 69);
        EXPECT_LE(std::fabs(Pitch(v)), 0.01f);
        for (int w = 0; w < v; ++w)
            distinct += Pitch(v) != Pitch(w);
    }
    EXPECT_GE(distinct, 27) << "the eight voices should not share one detune";
    // A second key takes every voice (unison 1 is mono), "Last key".
    Play(0x90, 72, 100);
    for (int v = 0; v < 8; ++v)
        EXPECT_EQ(Key(v), 72);
    Play(0x80, 72, 0);
    for (int v = 0; v < 8; ++v)
        EXPECT_EQ(Key(v), 69) << "returns to the held key";
    Play(0x80, 69, 0);
    EXPECT_EQ(CountGated(0), 0);

    Data().SetPartI(0, kUnison, 3);
    Play(0x90, 60, 100);
    EXPECT_EQ(CountGated(0), 3);
    Play(0x90, 62, 100);
    EXPECT_EQ(CountGated(0), 6);
}

TEST_F(VoiceAllocTest, SustainPedalHoldsEnvelopesUntilItComesUp) {
    Play(0xB0, 64, 127);
    Play(0x90, 60, 100);
    Play(0x80, 60, 0);
    EXPECT_EQ(Gate(0), 0);
    EXPECT_EQ(EgStage(0, 0), -1) << "the envelope keeps its stage under the pedal";
    Play(0xB0, 64, 0);
    EXPECT_EQ(EgStage(0, 0), 3);
    EXPECT_FLOAT_EQ(Data().ControlF(0, 96), 1e-9f);

    // All notes off with the pedal down still releases.
    Play(0xB0, 64, 100);
    Play(0x90, 62, 100);
    Play(0xB0, 123, 0);
    const int v = 1;
    EXPECT_EQ(Key(v), 62);
    EXPECT_EQ(Gate(v), 0);
    EXPECT_EQ(EgStage(v, 0), 3);
    EXPECT_EQ(midi->keyboard->GetHold(0), 0);
}

TEST_F(VoiceAllocTest, AllNotesOffReachesEveryPartAndClearsTheKeys) {
    Layout({2, 2});
    Play(0x90, 60, 100);
    Play(0x91, 62, 100);
    EXPECT_TRUE(midi->keyboard->IsKeyDown(1, 62));
    Play(0xB5, 123, 0);  // received only by part 5, which owns no voice
    EXPECT_EQ(CountGated(0), 0);
    EXPECT_EQ(CountGated(1), 0);
    EXPECT_FALSE(midi->keyboard->IsKeyDown(0, 60));
    EXPECT_FALSE(midi->keyboard->IsKeyDown(1, 62));
}

TEST_F(VoiceAllocTest, LfoTriggeredEnvelopesIgnoreKeys) {
    Data().SetPartI(0, 198, 3);  // EG2 follows LFO 1
    Data().SetControlI(0, 99, 7);
    Play(0x90, 60, 100);
    EXPECT_EQ(EgStage(0, 0), -1);
    EXPECT_EQ(EgStage(0, 1), 7);
    Play(0x80, 60, 0);
    EXPECT_EQ(EgStage(0, 0), 3);
    EXPECT_EQ(EgStage(0, 1), 7);
}

TEST_F(VoiceAllocTest, MutedPartStartsNoVoiceButKeepsKeys) {
    Data().SetSettingI(0, CEngineData::kSetMute, 1);
    Play(0x90, 60, 100);
    EXPECT_EQ(CountGated(0), 0);
    EXPECT_EQ(Data().voiceState[0], CEngineData::kVoiceIdle);
    EXPECT_TRUE(midi->keyboard->IsKeyDown(0, 60));
}

TEST_F(VoiceAllocTest, SixteenPartsOnSixteenChannels) {
    Layout({4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4});
    for (int p = 0; p < 16; ++p)
        Play(0x90 | p, 40 + p, 100);
    for (int p = 0; p < 16; ++p) {
        const int v = GatedVoice(p, 40 + p);
        ASSERT_GE(v, 0) << "part " << p;
        EXPECT_GE(v, 4 * p);
        EXPECT_LT(v, 4 * p + 4);
        EXPECT_EQ(CountGated(p), 1);
        EXPECT_EQ(engine->partSounding[p], 1u);
    }
}

TEST_F(VoiceAllocTest, SplitKeyboardPartsEachGetTheirOwnVoices) {
    Layout({2, 2});
    CEngineData& d = Data();
    d.SetSettingI(1, CEngineData::kSetMidiChannel, 0);
    d.SetSettingI(0, CEngineData::kSetKeyLow, 0);
    d.SetSettingI(0, CEngineData::kSetKeyHigh, 60);
    d.SetSettingI(1, CEngineData::kSetKeyLow, 60);
    d.SetSettingI(1, CEngineData::kSetKeyHigh, 127);
    Play(0x90, 60, 100);  // the low bound is outside part 1's range
    Play(0x90, 72, 100);
    EXPECT_GE(GatedVoice(0, 60), 0);
    EXPECT_EQ(GatedVoice(1, 60), -1);
    EXPECT_GE(GatedVoice(1, 72), 0);
    EXPECT_EQ(GatedVoice(0, 72), -1);
    // Part 0 is full; a note for part 1 must not cut part 0's notes.
    Play(0x90, 50, 100);
    Play(0x90, 74, 100);
    EXPECT_GE(GatedVoice(0, 60), 0);
    EXPECT_GE(GatedVoice(0, 50), 0);
    // Both parts on one channel with the whole keyboard: both play.
    d.SetSettingI(0, CEngineData::kSetKeyHigh, 0);
    d.SetSettingI(1, CEngineData::kSetKeyLow, 0);
    d.SetSettingI(1, CEngineData::kSetKeyHigh, 0);
    Play(0xB0, 123, 0);
    Play(0x90, 65, 100);
    EXPECT_GE(GatedVoice(0, 65), 0);
    EXPECT_GE(GatedVoice(1, 65), 0);
}

TEST_F(VoiceAllocTest, NoteStartWritesTheVoiceCells) {
    CEngineData& d = Data();
    d.globalValues[CEngineData::kGlideCell] = 0.05f;
    d.SetPartI(0, 191, 1);  // EG1 "Key reset"
    d.SetPartI(0, 185, 3);  // EG1 delay
    d.SetControlF(0, 81, 0.7f);
    d.SetPartI(0, 216, 1);  // LFO1 restarts
    midi->HandlePartMessage(0, 0x90, 81, 64, 0, 64, 0, 0);
    EXPECT_EQ(Key(0), 81);
    EXPECT_FLOAT_EQ(Pitch(0), 12.0f / 192.0f);
    EXPECT_FLOAT_EQ(d.ControlF(0, 76), 64.0f / 127.0f);
    EXPECT_NEAR(d.ControlF(0, 176), 0.9675054128, 1e-6);
    EXPECT_NEAR(d.ControlF(0, 177), 0.9692256438, 1e-6);
    EXPECT_FLOAT_EQ(d.ControlF(0, 94), 64.0f / 127.0f);
    EXPECT_EQ(d.voiceState[0], 0);
    EXPECT_FLOAT_EQ(d.globalValues[CEngineData::kGlideCell], 1.0f);
    EXPECT_FLOAT_EQ(d.ControlF(0, 81), 0.0f);
    EXPECT_EQ(EgStage(0, 0), -1);
    EXPECT_FLOAT_EQ(d.ControlF(0, 96), 1.2f);
    const std::pair<int, int32_t> cells[] = {{97, 3}, {182, 30}, {111, 0x1000000}, {230, 1}, {126, 2}, {134, 2}};
    for (auto [cell, want] : cells) EXPECT_EQ(d.ControlI(0, cell), want) << cell;
    EXPECT_FLOAT_EQ(d.AudioF(0, 121), 1e-9f);
    const float sign = d.ControlF(0, 278);
    EXPECT_EQ(std::fabs(sign), 1.0f);
    const float offset = d.ControlF(0, 279);
    EXPECT_GE(offset, -1.0f);
    EXPECT_LE(offset, 1.0f);
    // Note 69 is pitch 0; a missing note value counts as full.
    midi->HandlePartMessage(0, 0x90, 69, 127, 0, -1, 0, 0);
    EXPECT_EQ(Pitch(1), 0.0f);
    EXPECT_FLOAT_EQ(d.ControlF(1, 94), 1.0f);
    EXPECT_FLOAT_EQ(d.ControlF(1, 176), 0.0f);
    EXPECT_NEAR(d.ControlF(1, 177), 0.999, 1e-6);
    EXPECT_EQ(d.ControlF(1, 278), -sign) << "the alternating sign flips every start";
    // Another voice's LFO phase is taken over by a free-running LFO.
    d.SetControlI(1, 112, 12345);
    midi->HandlePartMessage(0, 0x90, 70, 100, 0, -1, 0, 0);
    EXPECT_EQ(d.ControlI(2, 112), 12345);
}

TEST_F(VoiceAllocTest, ContinuedAndUnisonStartsLeaveFilterStates) {
    CEngineData& d = Data();
    Play(0x90, 60, 100);
    Play(0x80, 60, 0);
    // The released voice still sounds: the next note continues it.
    midi->lastVoice[0] = 3;
    d.SetAudioF(0, 121, 5.0f);
    d.SetControlI(0, 230, 0);
    d.SetControlI(0, 126, 0);
    Play(0x90, 62, 100);
    EXPECT_EQ(Key(0), 62);
    EXPECT_EQ(d.ControlI(0, 80), 1);
    EXPECT_EQ(d.ControlI(0, 126), 1);
    EXPECT_FLOAT_EQ(d.AudioF(0, 121), 5.0f);
    EXPECT_EQ(d.ControlI(0, 230), 0);

    midi->AllNotesOff();
    d.SetPartI(0, kUnison, 1);
    for (int v = 0; v < 4; ++v) {
        d.SetControlI(v, 126, 7);
        d.SetControlI(v, 134, 7);
    }
    midi->HandlePartMessage(0, 0x90, 64, 100, 0, -1, 0, 0);
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(Key(v), 64);
        EXPECT_EQ(d.ControlI(v, 126), 7);
        EXPECT_EQ(d.ControlI(v, 134), 7);
    }
}

TEST_F(VoiceAllocTest, WaveguideLengthStaysInTheLine) {
    CEngineData& d = Data();
    for (float extra : {100.0f, -100.0f, 0.0f}) {
        d.SetPartF(0, 180, extra);
        midi->HandlePartMessage(0, 0x90, 127, 100, 0, -1, 0, 0);
        const int v = GatedVoice(0, 127);
        ASSERT_GE(v, 0);
        const int32_t length = d.AudioI(v, 172);
        EXPECT_GE(length, 1);
        EXPECT_LE(length, 2047);
        EXPECT_FLOAT_EQ(d.AudioF(v, 174), 2.0f / static_cast<float>(length));
        EXPECT_FLOAT_EQ(d.AudioF(v, 173), -1.0f);
        midi->HandlePartMessage(0, 0x80, 127, 0, 0, -1, 0, 0);
    }
}

TEST_F(VoiceAllocTest, KillVoicesSilencesAtOnce) {
    Layout({2, 2});
    Play(0x90, 60, 100);
    Play(0x91, 60, 100);
    midi->KillVoices(0);
    EXPECT_EQ(Data().voiceState[0], CEngineData::kVoiceFree);
    EXPECT_EQ(EgStage(0, 2), 4);
    EXPECT_FLOAT_EQ(Data().ControlF(0, 85), 1e-9f);
    EXPECT_EQ(Gate(0), 0);
    EXPECT_EQ(Data().voiceState[2], 0) << "another part's voice keeps sounding";
    midi->KillVoices(CMIDI::kAllParts);
    EXPECT_EQ(Data().voiceState[2], CEngineData::kVoiceFree);
}
