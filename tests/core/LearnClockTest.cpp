// Controller learning end to end, the learn file, the engine's tempo and the
// MIDI clock follower.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "engine/CEngine.h"
#include "os/TestFolders.h"
#include "tests/core/FileTestSupport.h"
#include "tests/core/MidiFixture.h"

namespace {

// The bindings are process-wide: every test starts and ends with none, in
// a program folder of its own.
class LearnTest : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override {
        Forget();
        CMIDI::SaveLearnFile(true);
    }
    static void Forget() {
        const std::vector<uint8_t> none(CMIDI::kLearnFileSize, 0xFF);
        CMIDI::ReadLearnData(none.data(), none.size());
    }
    static void Controller(CSynth& synth, int controller, int value) {
        synth.ProcessMidiMessage(0xB0u | static_cast<uint32_t>(controller) << 8 | static_cast<uint32_t>(value) << 16, 0);
        std::vector<float> left, right;
        RenderInto(synth, 64, left, right);
    }
    std::string FilePath() const { return folder / "QVMIDI.qvm"; }

    testutil::TempFolder folder;
    filetest::ScopedProgramFolder scoped{folder.Path() + "/"};
};

// Kind words then index words, as the file lays them out.
std::vector<uint8_t> Image(const std::vector<std::pair<int, int>>& pairs) {
    std::vector<uint8_t> image(CMIDI::kLearnFileSize, 0xFF);
    for (size_t c = 0; c < pairs.size(); ++c) {
        const auto [kind, index] = pairs[c];
        image[2 * c] = static_cast<uint8_t>(kind);
        image[2 * c + 1] = static_cast<uint8_t>(kind >> 8);
        image[256 + 2 * c] = static_cast<uint8_t>(index);
        image[256 + 2 * c + 1] = static_cast<uint8_t>(index >> 8);
    }
    return image;
}

} // namespace

TEST_F(LearnTest, ALearntControllerDrivesItsParameterAndOutlivesTheSynthesizer) {
    constexpr int kId = 346;
    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    ASSERT_TRUE(CMIDI::LearnNextController(0, kId));
    Controller(*synth, 74, 100);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, kId), 74);
    EXPECT_FLOAT_EQ(synth->GetParameter(kId), 100.0f / 127.0f);
    Controller(*synth, 74, 27);
    EXPECT_FLOAT_EQ(synth->GetParameter(kId), 27.0f / 127.0f);
    Controller(*synth, 75, 90);
    EXPECT_FLOAT_EQ(synth->GetParameter(kId), 27.0f / 127.0f);

    // The editor's tick writes the change.
    synth->editor->OnTimer();
    std::vector<std::pair<int, int>> bound(CMIDI::kControllers, {-1, -1});
    bound[74] = {0, kId};
    const std::vector<uint8_t> expected = Image(bound);
    EXPECT_EQ(testutil::ReadFile(FilePath()), std::string(expected.begin(), expected.end()));

    // Forgotten, the controller does nothing; assigned again, it does.
    CMIDI::ClearController(0, kId);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, kId), -1);
    Controller(*synth, 74, 50);
    EXPECT_FLOAT_EQ(synth->GetParameter(kId), 27.0f / 127.0f);
    EXPECT_FALSE(CMIDI::AssignController(0, kId, 128));
    EXPECT_TRUE(CMIDI::AssignController(0, kId, 20));
    EXPECT_TRUE(CMIDI::AssignController(0, kId, 21));
    EXPECT_EQ(CMIDI::FindLearnSlot(0, kId), 21);
    EXPECT_TRUE(CMIDI::AssignController(0, kId, CMIDI::kClearOnly));
    EXPECT_EQ(CMIDI::FindLearnSlot(0, kId), -1);
    EXPECT_FALSE(CMIDI::AssignController(0, CProgram::kRecordSize, 5));

    // The second oscillator page's kind 3 values are part-sound parameters.
    ASSERT_TRUE(CMIDI::LearnNextController(3, 145));
    Controller(*synth, 22, 64);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 301), 22);
    EXPECT_EQ(CMIDI::FindLearnSlot(3, 145), 22);

    // Learnt without a tick in between: the file is written at exit.
    ASSERT_TRUE(CMIDI::LearnNextController(0, kId));
    Controller(*synth, 74, 10);
    synth.reset();
    Forget();
    ASSERT_EQ(CMIDI::FindLearnSlot(0, kId), -1);
    auto again = std::make_unique<CSynth>();
    again->Resume();
    EXPECT_EQ(CMIDI::FindLearnSlot(0, kId), 74);
    EXPECT_EQ(CMIDI::FindLearnSlot(0, 301), 22);
    Controller(*again, 74, 127);
    EXPECT_FLOAT_EQ(again->GetParameter(kId), 1.0f);
}

TEST_F(LearnTest, LearnFilesOfAnySizeBindWhatIsSound) {
    std::vector<std::pair<int, int>> pairs(CMIDI::kControllers, {-1, -1});
    pairs[0] = {0, 7};
    pairs[1] = {0, CProgram::kRecordSize};  // not a part-sound parameter
    pairs[2] = {-2, 9};                     // no such kind
    pairs[3] = {0, -5};
    pairs[4] = {5, 9};                      // an editor widget's own kind
    pairs[5] = {-1, 33};
    pairs[127] = {0, 2271};
    std::vector<uint8_t> image = Image(pairs);
    image.resize(600, 0x00);  // bytes past 512 would bind controllers 0.. to (0, 0)

    struct Case {
        size_t size;
        int c0, c127;  // what controllers 0 and 127 are bound to, as ids of kind 0
        bool body;     // whether controllers 1..126 come from the file
    };
    // Before each load controller 0 is bound to (0, 7) by hand and 127 to
    // (0, 99): a short file fills what it has, an odd byte counts for nothing.
    const Case cases[] = {{0, 7, 99, false}, {1, 7, 99, false}, {3, 7, 99, false},
                          {511, 7, 99, true}, {600, 7, 2271, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.size);
        Forget();
        CMIDI::AssignController(0, 7, 0);
        CMIDI::AssignController(0, 99, 127);
        testutil::WriteFile(FilePath(), std::string(image.begin(), image.begin() + static_cast<long>(k.size)));
        CEngine* engine = new CEngine();
        engine->Init();
        { CMIDI midi(engine, nullptr); }
        delete engine;
        EXPECT_EQ(CMIDI::FindLearnSlot(0, 7), 0);
        EXPECT_EQ(CMIDI::FindLearnSlot(0, k.c127), 127);
        EXPECT_EQ(CMIDI::FindLearnSlot(5, 9), k.body ? 4 : -1);
        for (auto [kind, index] : {std::pair{0, CProgram::kRecordSize}, {-2, 9}, {0, -5}, {-1, 33}, {0, 0}})
            EXPECT_EQ(CMIDI::FindLearnSlot(kind, index), -1) << kind << " " << index;
    }
}

TEST_F(LearnTest, AFailedWriteKeepsTheOldFileAndIsLogged) {
    CMIDI::AssignController(0, 10, 5);
    ASSERT_TRUE(CMIDI::SaveLearnFile());
    const std::string first = testutil::ReadFile(FilePath());
    ASSERT_EQ(first.size(), CMIDI::kLearnFileSize);
    // Nothing changed: no write.
    std::filesystem::remove(FilePath());
    EXPECT_TRUE(CMIDI::SaveLearnFile());
    EXPECT_FALSE(std::filesystem::exists(FilePath()));
    testutil::WriteFile(FilePath(), first);

    // The temporary file cannot be made.
    std::filesystem::create_directory(FilePath() + ".tmp");
    CMIDI::AssignController(0, 11, 6);
    EXPECT_FALSE(CMIDI::SaveLearnFile());
    EXPECT_EQ(testutil::ReadFile(FilePath()), first);
    EXPECT_NE(testutil::ReadFile(folder / "Debug.txt").find("QVMIDI.qvm"), std::string::npos);
    // The tick does not try again until the next change; the exit does.
    EXPECT_TRUE(CMIDI::SaveLearnFile());
    EXPECT_FALSE(CMIDI::SaveLearnFile(true));
    std::filesystem::remove(FilePath() + ".tmp");
    EXPECT_TRUE(CMIDI::SaveLearnFile(true));
    const std::string second = testutil::ReadFile(FilePath());
    ASSERT_EQ(second.size(), CMIDI::kLearnFileSize);
    EXPECT_EQ(second[2 * 6], 0);
    EXPECT_EQ(second[256 + 2 * 6], 11);
}

// ---------------------------------------------------------------------------
// Tempo and clock

namespace {

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { synth = std::make_unique<CSynth>(); }
    float EngineTempo() const { return synth->engine.tempoValue; }
    void Clock(uint32_t ms) { synth->midi->HandlePartMessage(0, 0xF8, 0, 0, ms, 0, 0, 0); }
    std::unique_ptr<CSynth> synth;
};

} // namespace

TEST_F(ClockTest, TheEngineStartsAt120BpmAndTheClampedSetterKeepsItsRange) {
    EXPECT_EQ(EngineTempo(), 229.6875f);
    EXPECT_FLOAT_EQ(synth->engine.tempoIncrement, 16777216.0f * 32.0f / 229.6875f);
    EXPECT_FLOAT_EQ(synth->engine.tempoFactor, 1.0f);
    EXPECT_DOUBLE_EQ(synth->arpeggiator->samplesPerTick.load(), 229.6875);
    for (float s : {10.0f, 1000.0f, -5.0f, NAN}) {
        synth->midi->SetTempoClamped(s);
        EXPECT_EQ(EngineTempo(), 229.6875f) << s;
    }
    synth->midi->SetTempoClamped(459.375f);  // 60 bpm
    EXPECT_EQ(EngineTempo(), 459.375f);
    EXPECT_FLOAT_EQ(synth->engine.tempoFactor, 2.0f);
}

TEST_F(ClockTest, SixteenIntervalsSetTheTempoOfEngineSequencerAndArpeggiator) {
    synth->midi->midiSync.store(1);
    synth->midi->HandlePartMessage(0, 0xFA, 0, 0, 1000, 0, 0, 0);
    uint32_t t = 1000;
    for (int tick = 1; tick <= 16; ++tick, t += 25) {
        Clock(t);
        ASSERT_EQ(EngineTempo(), 229.6875f) << tick;
        ASSERT_EQ(synth->sequencer->tempo, 120.0f) << tick;
    }
    Clock(t);  // the 17th: 16 intervals of 25 ms
    EXPECT_EQ(EngineTempo(), 275.625f);
    EXPECT_EQ(synth->sequencer->tempo, 100.0f);
    EXPECT_DOUBLE_EQ(synth->arpeggiator->samplesPerTick.load(), 275.625);
    EXPECT_FLOAT_EQ(synth->engine.tempoFactor, 1.2f);
    EXPECT_FLOAT_EQ(synth->engine.tempoIncrement, 16777216.0f * 32.0f / 275.625f);

    // Clocks that are no tempo leave it alone: a burst of equal stamps, a
    // pause longer than a 32-bit product holds, a stamp from before the last.
    struct Case {
        const char* what;
        std::vector<uint32_t> steps;
    };
    const Case cases[] = {{"burst", std::vector<uint32_t>(40, 0)},
                          {"pause", [] {
                               std::vector<uint32_t> s(40, 25);
                               s[3] = 120000;
                               return s;
                           }()},
                          {"backwards", {25, 25, 0xFFFFFF00u, 25, 25}}};
    for (const Case& c : cases) {
        for (uint32_t step : c.steps) {
            t += step;
            Clock(t);
            ASSERT_TRUE(std::isfinite(EngineTempo())) << c.what;
            ASSERT_EQ(EngineTempo(), 275.625f) << c.what;
            ASSERT_EQ(synth->sequencer->tempo, 100.0f) << c.what;
        }
    }
    // After the backwards stamp the average starts over: 16 intervals of
    // 20 ms (125 bpm) from that clock on set the tempo.
    synth->midi->HandlePartMessage(0, 0xFA, 0, 0, t, 0, 0, 0);
    for (int tick = 1; tick <= 17; ++tick) {
        Clock(t);
        t += 20;
    }
    EXPECT_EQ(synth->sequencer->tempo, 125.0f);
    EXPECT_EQ(EngineTempo(), 220.5f);

    // With sync off the clock is ignored.
    synth->midi->midiSync.store(0);
    for (int tick = 0; tick < 40; ++tick, t += 25)
        Clock(t);
    EXPECT_EQ(synth->sequencer->tempo, 125.0f);
}
