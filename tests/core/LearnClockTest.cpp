// Controller learning end to end with its file, the engine's tempo and the
// MIDI clock follower.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CSequencer.h"
#include "editor/CEditor.h"
#include "os/OMessageBox.h"
#include "os/TestFolders.h"
#include "tests/core/FileTestSupport.h"
#include "tests/core/MidiFixture.h"

namespace {

// The bindings are process-wide: each test starts and ends with none, in a
// program folder of its own.
class LearnTest : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override {
        Forget();
        CMIDI::SaveLearnFile(true);
    }
    static void Forget() { CMIDI::ReadLearnData(Image({}).data(), CMIDI::kLearnFileSize); }
    static void Controller(CSynth& synth, int controller, int value) {
        synth.ProcessMidiMessage(0xB0u | static_cast<uint32_t>(controller) << 8 | static_cast<uint32_t>(value) << 16, 0);
        std::vector<float> left, right;
        RenderInto(synth, 64, left, right);
    }
    // Kind words, then index words; controllers past the pairs unbound.
    static std::vector<uint8_t> Image(const std::vector<std::pair<int, int>>& pairs) {
        std::vector<uint8_t> image(CMIDI::kLearnFileSize, 0xFF);
        for (size_t c = 0; c < pairs.size(); ++c)
            for (auto [at, v] : {std::pair{2 * c, pairs[c].first}, {256 + 2 * c, pairs[c].second}}) {
                image[at] = static_cast<uint8_t>(v);
                image[at + 1] = static_cast<uint8_t>(v >> 8);
            }
        return image;
    }
    std::string File() const { return folder / "QVMIDI.qvm"; }

    testutil::TempFolder folder;
    filetest::ScopedProgramFolder scoped{folder.Path() + "/"};
};

} // namespace

TEST_F(LearnTest, ALearntControllerDrivesItsParameterAndOutlivesTheSynthesizer) {
    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    ASSERT_TRUE(CMIDI::LearnNextController(0, 346));
    Controller(*synth, 74, 100);
    Controller(*synth, 75, 90);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 346), 74);
    EXPECT_FLOAT_EQ(synth->GetParameter(346), 100.0f / 127.0f);
    synth->editor->OnTimer();  // the tick writes the change
    std::vector<std::pair<int, int>> bound(75, {-1, -1});
    bound[74] = {0, 346};
    const std::vector<uint8_t> expected = Image(bound);
    EXPECT_EQ(testutil::ReadFile(File()), std::string(expected.begin(), expected.end()));

    CMIDI::ClearController(0, 346);
    Controller(*synth, 74, 50);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 346), -1);
    EXPECT_FLOAT_EQ(synth->GetParameter(346), 100.0f / 127.0f);
    EXPECT_FALSE(CMIDI::AssignController(0, 346, 128));
    EXPECT_FALSE(CMIDI::AssignController(0, CProgram::kRecordSize, 5));
    EXPECT_FALSE(CMIDI::AssignController(1, 2, 21));  // the mixer's level: a controller would move nothing
    EXPECT_FALSE(CMIDI::LearnNextController(1, 2));
    EXPECT_TRUE(CMIDI::AssignController(0, 346, 20));
    EXPECT_TRUE(CMIDI::AssignController(0, 346, 21));
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 346), 21);
    EXPECT_TRUE(CMIDI::AssignController(0, 346, CMIDI::kClearOnly));
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 346), -1);
    ASSERT_TRUE(CMIDI::LearnNextController(3, 145));  // the same value as kind 0, 301
    Controller(*synth, 22, 64);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 301), 22);

    // Learnt with no tick before the end: written at exit, bound at start.
    ASSERT_TRUE(CMIDI::LearnNextController(0, 346));
    Controller(*synth, 74, 10);
    synth.reset();
    Forget();
    auto again = std::make_unique<CSynth>();
    again->Resume();
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 301), 22);
    Controller(*again, 74, 127);
    EXPECT_FLOAT_EQ(again->GetParameter(346), 1.0f);
}

TEST_F(LearnTest, LearnFilesOfAnySizeBindWhatIsSound) {
    std::vector<std::pair<int, int>> pairs(CMIDI::kControllers, {-1, -1});
    pairs[0] = {0, 7};
    pairs[1] = {0, CProgram::kRecordSize};
    pairs[2] = {-2, 9};
    pairs[3] = {0, -5};
    pairs[4] = {5, 9};  // an editor widget's own kind
    pairs[5] = {1, 2};  // the mixer's level, typed in by an older program: kept as it stands
    pairs[127] = {0, 2271};
    std::vector<uint8_t> image = Image(pairs);
    image.resize(600, 0x00);  // read on, these would bind controllers to (0, 0)
    // Controllers 0 and 127 are bound by hand to (0, 7) and (0, 99) first: a
    // short file fills what it has, an odd last byte counts for nothing.
    for (auto [size, c127, body] : {std::tuple{0, 99, false}, {1, 99, false}, {3, 99, false},
                                    {511, 99, true}, {600, 2271, true}}) {
        Forget();
        CMIDI::AssignController(0, 7, 0);
        CMIDI::AssignController(0, 99, 127);
        testutil::WriteFile(File(), std::string(image.begin(), image.begin() + size));
        auto engine = std::make_unique<CEngine>();
        CMIDI midi(engine.get(), nullptr);
        EXPECT_EQ(CMIDI::FindLearnSlot(0, 7), 0) << size;
        EXPECT_EQ(CMIDI::FindLearnSlot(0, c127), 127) << size;
        EXPECT_EQ(CMIDI::FindLearnSlot(5, 9), body ? 4 : -1) << size;
        EXPECT_EQ(CMIDI::FindLearnSlot(1, 2), body ? 5 : -1) << size;
        for (auto [kind, index] : {std::pair{0, CProgram::kRecordSize}, {-2, 9}, {0, -5}, {0, 0}})
            EXPECT_EQ(CMIDI::FindLearnSlot(kind, index), -1) << size << ": " << kind << " " << index;
    }
}

// A learnt controller that cannot be kept (a write-protected learn file, a
// full disk) is said in a box while the editor runs, and on stderr and in
// the debug log at exit; the old file stays whole.
TEST_F(LearnTest, AFailedWriteKeepsTheOldFileAndIsSaid) {
    std::vector<std::string> boxes;
    auto previous = os::SetMessageBoxHook(
        [&](const char* text, const char* title) { boxes.push_back(std::string(title) + ": " + text); });
    CMIDI::AssignController(0, 10, 5);
    ASSERT_TRUE(CMIDI::SaveLearnFile());
    const std::string first = testutil::ReadFile(File());
    for (const char* said : {"the file is write-protected", "No space left on device"}) {
        SCOPED_TRACE(said);
        const bool full = std::string(said).starts_with("No space");
        std::filesystem::permissions(File(), std::filesystem::perms(full ? 0644 : 0444));
        std::optional<testutil::ScopedWriteFault> fault;
        if (full) fault.emplace(ENOSPC);
        boxes.clear();
        CMIDI::AssignController(0, 11, 6);
        EXPECT_FALSE(CMIDI::SaveLearnFile());
        EXPECT_EQ(testutil::ReadFile(File()), first);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].rfind("Error: The learnt controllers could not be saved to \"" + File() + "\": ", 0), 0u)
            << boxes[0];
        EXPECT_NE(boxes[0].find(said), std::string::npos) << boxes[0];
        // The tick tries again only after the next change: one box.
        EXPECT_TRUE(CMIDI::SaveLearnFile());
        EXPECT_EQ(boxes.size(), 1u);
        // The exit tries again and says so where no box is looked at.
        testing::internal::CaptureStderr();
        EXPECT_FALSE(CMIDI::SaveLearnFile(true));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_EQ(err.rfind("zavo: The learnt controllers could not be saved", 0), 0u) << err;
        EXPECT_NE(testutil::ReadFile(folder / "Debug.txt").find(err.substr(6)), std::string::npos);
        CMIDI::ClearController(0, 11);
    }
    os::SetMessageBoxHook(previous);
    std::filesystem::permissions(File(), std::filesystem::perms(0644));
    CMIDI::AssignController(0, 11, 6);
    EXPECT_TRUE(CMIDI::SaveLearnFile(true));
    EXPECT_EQ(testutil::ReadFile(File())[256 + 2 * 6], 11);
}

TEST(ClockTest, TheEngineStartsAt120BpmAndSixteenClockIntervalsSetTheTempo) {
    auto synth = std::make_unique<CSynth>();
    const CEngine& e = synth->engine;
    EXPECT_EQ(e.tempoValue, 229.6875f);
    EXPECT_FLOAT_EQ(e.tempoIncrement, 16777216.0f * 32.0f / 229.6875f);
    EXPECT_FLOAT_EQ(e.tempoFactor, 1.0f);
    for (float s : {10.0f, 1000.0f, NAN})
        synth->midi->SetTempoClamped(s);
    EXPECT_EQ(e.tempoValue, 229.6875f);

    // Stamps in microseconds.
    auto clock = [&](uint32_t us) { synth->midi->HandlePartMessage(0, 0xF8, 0, 0, us, 0, 0, 0); };
    synth->midi->midiSync.store(1);
    synth->midi->HandlePartMessage(0, 0xFA, 0, 0, 0, 0, 0, 0);
    uint32_t t = 1000000;
    for (int tick = 1; tick <= 16; ++tick, t += 25000) {
        clock(t);
        ASSERT_EQ(e.tempoValue, 229.6875f) << tick;
    }
    clock(t);  // the 17th
    EXPECT_EQ(e.tempoValue, 275.625f);
    EXPECT_EQ(synth->sequencer->tempo, 100.0f);
    EXPECT_DOUBLE_EQ(synth->arpeggiator->samplesPerTick.load(), 275.625);
    EXPECT_FLOAT_EQ(e.tempoFactor, 1.2f);

    // A burst of equal stamps, a pause of two minutes and a stamp from
    // before the last are no tempo.
    std::vector<uint32_t> steps(40, 0);
    steps.resize(80, 25000);
    steps[43] = 120000000;
    steps.insert(steps.end(), {25000, 0xFFFFFF00u});
    for (uint32_t step : steps) {
        clock(t += step);
        ASSERT_EQ(e.tempoValue, 275.625f);
    }
    // The backwards stamp started a new average: 16 intervals of 20 ms.
    for (int tick = 1; tick <= 16; ++tick)
        clock(t += 20000);
    EXPECT_EQ(synth->sequencer->tempo, 125.0f);
    EXPECT_EQ(e.tempoValue, 220.5f);

    synth->midi->midiSync.store(0);
    for (int tick = 0; tick < 40; ++tick)
        clock(t += 25);
    EXPECT_EQ(synth->sequencer->tempo, 125.0f);

    // Clocks at exactly 140 and 120 BPM, each stamped to the microsecond
    // below its time, read within what that resolution gives (5e-4 BPM).
    synth->midi->midiSync.store(1);
    for (double bpm : {140.0, 120.0}) {
        synth->midi->HandlePartMessage(0, 0xFA, 0, 0, 0, 0, 0, 0);
        const double start = t + 1.0e6, period = 60.0e6 / (bpm * 24.0);
        for (int tick = 0; tick <= 16; ++tick)
            clock(static_cast<uint32_t>(start + tick * period));
        EXPECT_NEAR(synth->sequencer->tempo, bpm, 1e-3);
    }
}
