#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "tests/core/MeasureFrequency.h"
#include "tests/core/MidiFixture.h"

namespace {

class MIDITest : public MidiFixture {};

} // namespace

TEST_F(MIDITest, NoteOnAtBlockZeroSoundsFromBlockOne) {
    Data().blockCounter = 0;
    midi->queue.Push(0, 0x7F3C90, 12345);
    midi->ProcessBlock();
    EXPECT_EQ(CountGated(0), 0);
    EXPECT_FALSE(midi->keyboard->IsKeyDown(0, 60));
    Data().blockCounter = 1;
    midi->ProcessBlock();
    EXPECT_GE(GatedVoice(0, 60), 0);
    EXPECT_TRUE(midi->keyboard->IsKeyDown(0, 60));
    EXPECT_EQ(midi->keyboard->GetVelocity(0, 60), 127u);
}

TEST_F(MIDITest, MalformedMessagesAreDropped) {
    PlayAll({0x803C90u, 0x40BC90u, 0x40BC80u, 0x3Cu, 0x403C00u, 0x80FFE0u});
    EXPECT_EQ(CountGated(0), 0);
    for (int k = 0; k < 128; ++k)
        EXPECT_FALSE(midi->keyboard->IsKeyDown(0, k)) << k;
    EXPECT_FLOAT_EQ(midi->pitchBend[0], 0.5f);
    // Notes computed elsewhere (a transposed sequencer step) are checked too.
    midi->HandlePartMessage(0, 0x90, 128, 100, 0, -1, 0, 0);
    midi->HandlePartMessage(0, 0x90, -1, 100, 0, -1, 0, 0);
    midi->HandlePartMessage(0, 0x90, 60, 300, 0, -1, 0, 0);
    midi->HandlePartMessage(16, 0x90, 60, 100, 0, -1, 0, 0);
    midi->HandlePartMessage(-1, 0x90, 60, 100, 0, -1, 0, 0);
    midi->HandlePartMessage(0, 0x190, 60, 100, 0, -1, 0, 0);
    EXPECT_EQ(CountGated(0), 0);
    midi->StartVoice(0, 128, 100, false, -1, 0, 0);
    midi->StartVoice(128, 60, 100, false, -1, 0, 0);
    EXPECT_EQ(CountGated(0), 0);
    // The stream goes on normally afterwards.
    Play(0x90, 60, 100);
    EXPECT_GE(GatedVoice(0, 60), 0);
}

TEST_F(MIDITest, ControllersAndBendSetThePartValues) {
    Play(0xE0, 0x00, 0x40);
    EXPECT_EQ(midi->pitchBend[0], 0.5f + 1e-9f);
    Play(0xE0, 0x7F, 0x7F);
    EXPECT_NEAR(midi->pitchBend[0], 0.99993896584, 1e-7);
    Play(0xE0, 0, 0);
    EXPECT_NEAR(midi->pitchBend[0], 0.0, 1e-8);
    Play(0xB0, 1, 127);
    EXPECT_FLOAT_EQ(midi->modWheel[0], 1.0f);
    Play(0xB0, 64, 64);
    EXPECT_EQ(midi->keyboard->GetHold(0), 1);
    EXPECT_EQ(midi->sustain[0], 1);
    Play(0xB0, 64, 63);
    EXPECT_EQ(midi->keyboard->GetHold(0), 0);
    EXPECT_EQ(midi->sustain[0], 0);
}

TEST_F(MIDITest, PressureReachesTheVoices) {
    PlayAll({Msg(0x90, 60, 100), Msg(0x90, 64, 100)});
    Play(0xA0, 60, 100);
    const int v60 = GatedVoice(0, 60);
    const int v64 = GatedVoice(0, 64);
    ASSERT_GE(v60, 0);
    ASSERT_GE(v64, 0);
    EXPECT_FLOAT_EQ(Data().ControlF(v60, 266), 100.0f / 127.0f);
    EXPECT_NEAR(Data().ControlF(v60, 267), 0.7697473038, 1e-6);
    EXPECT_NEAR(Data().ControlF(v60, 268), 0.9956569455, 1e-6);
    EXPECT_EQ(Data().ControlF(v64, 266), 0.0f);
    Play(0xD0, 127, 0);
    for (int v : {v60, v64}) {
        EXPECT_FLOAT_EQ(Data().ControlF(v, 266), 1.0f);
        EXPECT_NEAR(Data().ControlF(v, 267), 0.0, 1e-6);
        EXPECT_NEAR(Data().ControlF(v, 268), 0.999, 1e-6);
    }
}

TEST_F(MIDITest, ActivityLightHoldsForThirtyPolls) {
    EXPECT_EQ(midi->PartActivity(0), 0);
    Play(0x90, 60, 100);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(midi->PartActivity(0), 1) << i;
    EXPECT_EQ(midi->PartActivity(0), 0);
    // Channels outside 0..15 (as combinations can set) and parts past 15.
    for (int channel : {16, 18, -1}) {
        Data().SetSettingI(3, CEngineData::kSetMidiChannel, channel);
        EXPECT_EQ(midi->PartActivity(3), 0);
    }
    EXPECT_EQ(midi->PartActivity(16), 0);
    EXPECT_EQ(midi->PartActivity(-1), 0);
}

TEST_F(MIDITest, GuiNotesWaitForTheAudioThread) {
    EXPECT_EQ(midi->MakeNoteOn(0, 60, 80), 0x503C90u);
    EXPECT_EQ(midi->MakeNoteOff(0, 60, 80), 0x503C80u);
    Data().SetSettingI(2, CEngineData::kSetMidiChannel, 9);
    EXPECT_EQ(midi->MakeNoteOn(2, 61, 80), 0x503D99u);
    EXPECT_EQ(midi->MakeNoteOff(2, 61, 80), 0x503D89u);
    EXPECT_EQ(midi->MakeNoteOn(0, 128, 80), 0u);
    Data().SetSettingI(2, CEngineData::kSetMidiChannel, -1);
    EXPECT_EQ(midi->MakeNoteOn(2, 61, 80), 0u);

    ASSERT_TRUE(midi->RouteMessage(midi->MakeNoteOn(0, 60, 80), 0, 0xFFFFFFFFu, 0, 0));
    EXPECT_EQ(CountGated(0), 0) << "nothing happens on the calling thread";
    midi->ProcessBlock();
    const int v = GatedVoice(0, 60);
    ASSERT_GE(v, 0);
    EXPECT_EQ(Data().ControlF(v, 94), 0.0f) << "the editor's note value is 0";
    midi->RouteMessage(midi->MakeNoteOff(0, 60, 80), 0, 0xFFFFFFFFu, 0, 0);
    midi->ProcessBlock();
    EXPECT_EQ(CountGated(0), 0);

    // A full ring drops instead of overwriting.
    int accepted = 0;
    for (int i = 0; i < 300; ++i)
        accepted += midi->RouteMessage(0x0000B0u, 0, 0, 0, 0);
    EXPECT_EQ(accepted, 255);
    EXPECT_EQ(midi->guiRing.DroppedCount(), 45u);
    midi->ProcessBlock();
    EXPECT_TRUE(midi->RouteMessage(0x0000B0u, 0, 0, 0, 0));
}

TEST_F(MIDITest, GuiKeyboardAndAudioThreadRunTogether) {
    Layout({8});
    std::atomic<bool> done{false};
    std::thread gui([&] {
        for (int i = 0; i < 20000; ++i) {
            const int key = 40 + i % 40;
            for (const uint32_t m : {midi->MakeNoteOn(0, key, 80), midi->MakeNoteOff(0, key, 80)})
                while (!midi->RouteMessage(m, 0, 0xFFFFFFFFu, 0, 0))
                    std::this_thread::yield();
        }
        done.store(true);
    });
    while (!done.load()) {
        midi->ProcessBlock();
        ++Data().blockCounter;
    }
    gui.join();
    midi->ProcessBlock();
    EXPECT_EQ(CountGated(0), 0) << "every note-on met its note-off";
}

// ---------------------------------------------------------------------------
// Through the synthesizer object

namespace {

class MIDISynthTest : public SynthFixture {};

} // namespace

TEST_F(MIDISynthTest, ProgramChangeGoesToTheGuiThread) {
    ASSERT_NE(synth->editor, nullptr);
    uint32_t part = 0, program = 0;
    while (synth->editor->programMessages.Pop(&part, &program)) {
    }
    synth->ProcessMidiMessage(0x0005C0u, CMIDIQueue::ClockMs());
    Render(32 * 20);
    ASSERT_TRUE(synth->editor->programMessages.Pop(&part, &program));
    EXPECT_EQ(part, 0u);
    EXPECT_EQ(program, 5u);
}

TEST_F(MIDISynthTest, MillionRandomMessagesLeaveTheSynthesizerSound) {
    std::mt19937 rng(20261206u);
    // Stamps follow rendered time from just before the 32-bit wrap, jitter,
    // and are now and then far off either way.
    double clock = 4294967000.0;
    constexpr int kCalls = 4000;
    constexpr int kPerCall = 250;
    bool finite = true;
    for (int call = 0; call < kCalls; ++call) {
        for (int i = 0; i < kPerCall; ++i) {
            const uint32_t r = rng();
            uint32_t message = r & 0xFFFFFFu;
            // Mostly well-formed channel messages, some raw noise.
            if (r >> 30)
                message = (0x80u | (r & 0x7Fu)) | (r & 0x7F00u) | (r & 0x7F0000u);
            uint32_t stamp = static_cast<uint32_t>(static_cast<uint64_t>(clock)) + rng() % 3;
            const uint32_t odd = rng() % 10000;
            if (odd < 100)
                stamp -= rng() % 100000;  // late
            else if (odd < 101)
                stamp = rng();  // anywhere, most likely far ahead
            synth->ProcessMidiMessage(message, stamp);
        }
        const int frames = 1 + static_cast<int>(rng() % 64);
        Render(frames);
        clock += frames * 1000.0 / 44100.0;
        for (size_t k = 0; k < left.size(); ++k)
            finite = finite && std::isfinite(left[k]) && std::isfinite(right[k]);
    }
    EXPECT_TRUE(finite);
    // At this rate the ring fills; the rest is dropped and counted.
    EXPECT_GT(synth->midi->queue.DroppedCount(), 0u);
    // What is still queued (at most 16 blocks ahead) is handled here, not in
    // the suite's next test.
    for (int i = 0; i < 64 && synth->midi->queue.HasPending(); ++i)
        Render(32);
    EXPECT_FALSE(synth->midi->queue.HasPending());
    synth->midi->AllNotesOff();
    for (int v = 0; v < CEngineData::kVoices; ++v)
        EXPECT_EQ(synth->engine.data.ControlI(v, 78), 0);
}

// ---------------------------------------------------------------------------
// End to end: MIDI in, sound out

namespace {

float Peak(const std::vector<float>& x, size_t from, size_t to) {
    float peak = 0.0f;
    for (size_t i = from; i < to && i < x.size(); ++i)
        peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

} // namespace

TEST(MIDIRenderTest, NotesSoundOnTimeInTuneAndEnd) {
    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    ASSERT_EQ(synth->engine.data.blockCounter, 0u);
    std::vector<float> left, right;
    auto render = [&](int frames) {
        left.assign(static_cast<size_t>(frames), 0.0f);
        right.assign(static_cast<size_t>(frames), 0.0f);
        float* outs[2] = {left.data(), right.data()};
        synth->Process(nullptr, outs, frames);
    };

    // Due in block 1; the level follows EG1 through the matrix, which runs
    // before the envelopes, so sound first ramps up in block 3.
    const CEngineData& d = synth->engine.data;
    auto peak = [&] { return std::max(Peak(left, 0, left.size()), Peak(right, 0, right.size())); };
    synth->ProcessMidiMessage(0x7F3C90u, 1000);
    render(32);
    EXPECT_EQ(peak(), 0.0f);
    EXPECT_EQ(d.ControlI(0, 78), 0);
    render(32);
    EXPECT_EQ(d.ControlI(0, 78), 1);
    EXPECT_EQ(d.ControlI(0, 73), 60);
    EXPECT_EQ(d.ControlI(0, 95), 0); // EG1 left its delay stage, level untouched
    EXPECT_LT(peak(), 1e-6f);
    render(32);
    EXPECT_EQ(d.ControlI(0, 95), 1); // the attack has reached the top
    EXPECT_LT(peak(), 1e-6f);
    render(32);
    EXPECT_GT(peak(), 1e-3f);
    synth->ProcessMidiMessage(0x003C80u, 1001);
    render(32 * 20);

    synth->ProcessMidiMessage(0x7F4590u, 1020);
    render(32 * 20);
    int voice = -1;
    for (int v = 0; v < d.voicesInUse; ++v)
        if (d.voicePart[v] == 0 && d.ControlI(v, 73) == 69 && d.ControlI(v, 78) == 1)
            voice = v;
    ASSERT_GE(voice, 0);
    const int rate = 44100;
    render(rate / 2);
    EXPECT_NEAR(MeasureFrequency(left, rate), 440.0, 1.0);

    // After its note-off the voice finishes its release and frees itself.
    synth->ProcessMidiMessage(0x004580u, 1800);
    for (int i = 0; i < 60 && d.voiceState[voice] < CEngineData::kVoiceFree; ++i)
        render(rate / 2);
    EXPECT_GE(d.voiceState[voice], CEngineData::kVoiceFree);
    EXPECT_EQ(d.ControlI(voice, 95), 3); // freed from its release, not killed
    render(4096);
    EXPECT_LT(std::max(Peak(left, 0, 4096), Peak(right, 0, 4096)), 1e-3f);

    // Read in the cycle that renders it (a JACK keyboard while the audio
    // plays through JACK): a note starts with the first block at or after
    // its frame, never before it; notes played 190 frames apart start one
    // grid step of 32 frames from that apart.
    auto startFrame = [&](int32_t frame) {
        // The call starts on the block grid: no frames held over.
        while (synth->GetNextHeldOverCount() != 0)
            render(1);
        synth->ProcessMidiMessageInCycle(0x7F4590u, frame, 0);
        int32_t start = 0;
        for (; start < 512; start += 32) {
            bool gated = false;
            for (int v = 0; v < d.voicesInUse; ++v)
                gated = gated || (d.voiceState[v] < CEngineData::kVoiceFree && d.ControlI(v, 73) == 69 &&
                                  d.ControlI(v, 78) == 1);
            if (gated)
                break;
            render(32);
        }
        synth->ProcessMidiMessage(0x004580u, 0);
        render(rate);
        return start - 32;  // the block that opened the gate
    };
    const int32_t at10 = startFrame(10), at200 = startFrame(200);
    EXPECT_EQ(at10, 32);
    EXPECT_EQ(at200 - at10, 192);
}
