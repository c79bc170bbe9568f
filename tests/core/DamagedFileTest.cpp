// Files whose floats are not finite numbers (NaN, infinities) or absurdly
// large: the readers take the file, replace what is not finite by the value
// a fresh store has there (one debug log line per file), the synthesizer
// plays the result with finite output, and nothing of it lingers in the
// sound of a clean program loaded afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/CMultiSample.h"
#include "core/CSequencer.h"
#include "core/CSynth.h"
#include "tests/core/FileTestSupport.h"
#include "tests/core/SampleFixtures.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

enum class Kind { Bank, Preset, Project };
const char* Name(Kind k) { return k == Kind::Bank ? "bank" : k == Kind::Preset ? "preset" : "project"; }

std::vector<float> DefaultRow(int part) {
    std::vector<float> row(CProgram::kPartFields);
    CProgram::SetPartRowDefaults(part, row.data());
    return row;
}
std::vector<float> DefaultGlobals() {
    std::vector<float> globals(CProgram::kGlobalFields);
    CProgram::SetGlobalDefaults(globals.data());
    return globals;
}

// A file of the current version whose every float (program slots, part
// table, globals) is `bad`, every byte slot its default, and whose tempo
// and swing texts spell `bad` too. With clean = true every value is the
// default instead.
fixtures::Bytes MakeFile(Kind kind, float bad, bool clean) {
    const fixtures::SlotFn slots = [bad, clean](int, int s) {
        return clean || fixtures::StoredAsByte(30, s) ? CProgram::DefaultRecord()[s] : bad;
    };
    if (kind == Kind::Bank) return fixtures::Bank(31, 0, 1, slots);
    if (kind == Kind::Preset) return fixtures::FxpBody(30, 0, slots);
    fixtures::ProjectOptions o;
    o.value = slots;
    o.partField = [bad, clean](int part, int field) { return clean ? DefaultRow(part)[field] : bad; };
    o.global = [bad, clean](int index) { return clean ? DefaultGlobals()[index] : bad; };
    if (!clean) o.tempo = o.swing = std::to_string(bad);
    return fixtures::Project(31, o);
}

std::string DebugLog() { return testutil::ReadFile(std::string(g_GlobalData.programFolder) + "Debug.txt"); }

// What the log gained since it held `before`: exactly one line, starting
// with `what` and holding `text`.
void ExpectOneLogLine(const std::string& before, const char* what, const std::string& text) {
    const std::string added = DebugLog().substr(before.size());
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
    EXPECT_EQ(added.rfind(what, 0), 0u) << added;
    EXPECT_NE(added.find(text), std::string::npos) << added;
}

}  // namespace

TEST(DamagedFile, ReadersReplaceWhatIsNotFiniteByTheDefaultsAndLogOnce) {
    for (Kind kind : {Kind::Bank, Kind::Preset, Kind::Project}) {
        for (float bad : {kNaN, kInf, -kInf}) {
            SCOPED_TRACE(std::string(Name(kind)) + " " + std::to_string(bad));
            auto store = std::make_unique<CProgram>();
            CSequencer sequencer(nullptr);
            store->SetSequencer(&sequencer);
            const std::string before = DebugLog();
            const fixtures::Bytes file = MakeFile(kind, bad, false);
            const float* record = nullptr;
            if (kind == Kind::Bank) {
                ASSERT_TRUE(store->ReadBankBytes(file, "Damaged"));
                record = store->GetProgramData(0);
            } else if (kind == Kind::Preset) {
                ASSERT_TRUE(store->LoadFxpBodyToCurrent(file.data(), static_cast<int>(file.size())));
                record = store->GetCurrentProgramData();
            } else {
                ASSERT_TRUE(store->ReadProjectBytes(file, "damaged.qzp"));
                record = store->GetProgramRecord(0, 127);
                for (int part = 0; part < CProgram::kParts; ++part) {
                    const float* row = store->GetPartRow(part);
                    EXPECT_EQ(std::vector<float>(row, row + CProgram::kPartFields), DefaultRow(part));
                    // A program number that is not a number leaves the part on its own.
                    EXPECT_EQ(store->GetPartProgramNumber(part), part);
                }
                const float* globals = store->GetGlobals();
                EXPECT_EQ(std::vector<float>(globals, globals + CProgram::kGlobalFields), DefaultGlobals());
                EXPECT_EQ(sequencer.tempo, 120.0f);
                EXPECT_EQ(sequencer.swing, 0.0f);
            }
            EXPECT_EQ(0, memcmp(record, CProgram::DefaultRecord(), sizeof(float) * CProgram::kRecordSize));
            // 1280 float slots a program; a project adds its part table
            // (but field 14, which is always cleared) and its globals.
            ExpectOneLogLine(before, Name(kind), kind == Kind::Project ? " 164464 " : " 1280 ");
        }
    }
    // A clean file logs nothing.
    const std::string before = DebugLog();
    ASSERT_TRUE(std::make_unique<CProgram>()->ReadBankBytes(MakeFile(Kind::Bank, 0.0f, true), "Clean"));
    EXPECT_EQ(DebugLog(), before);
}

TEST(DamagedFile, MultiSampleAndSoundFileFloatsThatAreNotFiniteTakeTheirDefaults) {
    testutil::TempFolder folder;
    samplefix::Qvi q;
    q.valueA = kNaN;
    q.crossfade = kInf;
    q.zones[0].loopStart = -kInf;
    q.zones[0].loopEnd = 0.5f;
    q.zones[0].extra[0] = kNaN;
    q.zones[0].extra[1] = 0.25f;
    q.zones[1].loopStart = 0.25f;
    q.zones[1].loopEnd = kNaN;
    CMultiSample ms;
    std::string before = DebugLog();
    ASSERT_TRUE(ms.Open(samplefix::WriteQvi(folder.Path(), "damaged", q).c_str()));
    EXPECT_EQ(ms.valueA, 0.0f);
    EXPECT_FALSE(ms.UsesSincResampler());
    EXPECT_EQ(ms.loopCrossfade, 0.0f);
    const CSample& z0 = *ms.Zone(0);
    const CSample& z1 = *ms.Zone(1);
    EXPECT_EQ(std::vector<float>({z0.loopStart, z0.loopEnd, z0.extra[0], z0.extra[1], z1.loopStart, z1.loopEnd}),
              std::vector<float>({0.0f, 0.5f, 0.0f, 0.25f, 0.25f, 1.0f}));
    ExpectOneLogLine(before, "multi-sample", "\"damaged\": 5 ");

    // Samples of a float sound file read as silence.
    const std::string wav = folder / "damaged.wav";
    ASSERT_TRUE(samplefix::WriteSound(wav, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, {0.5f, kNaN, kInf, -kInf, 0.25f}));
    CSample::Layer layer;
    char error[128];
    before = DebugLog();
    ASSERT_TRUE(CSample::ReadSoundFile(wav.c_str(), layer, nullptr, error, sizeof(error)));
    const float* frames = layer.data + CSample::kGuardBefore;
    EXPECT_EQ(std::vector<float>(frames, frames + 5), std::vector<float>({0.5f, 0.0f, 0.0f, 0.0f, 0.25f}));
    CSample::FreeData(layer);
    ExpectOneLogLine(before, "sound file", "damaged.wav\": 3 samples");
}

namespace {

// Loads the file into part 0 as opening it from the menu does.
void Load(CSynth& synth, Kind kind, const fixtures::Bytes& file) {
    if (kind == Kind::Bank) {
        ASSERT_TRUE(synth.program.ReadBankBytes(file, "Loaded"));
        synth.SetProgram(0);
    } else if (kind == Kind::Preset) {
        ASSERT_EQ(synth.LoadPresetBody(file.data(), static_cast<int32_t>(file.size()), true),
                  static_cast<int32_t>(file.size()));
    } else {
        ASSERT_TRUE(synth.program.ReadProjectBytes(file, "loaded.qzp"));
        synth.parameters.ApplyAllMixer();
        synth.parameters.ApplyAllGlobal();
        for (int part = 0; part < CSynth::kParts; ++part) synth.InitPart(part);
    }
}

// Note 69 for 8192 frames from block 0, then released for 2048 more: both
// channels, interleaved.
std::vector<float> Play(CSynth& synth) {
    synth.engine.data.blockCounter = 0;
    std::vector<float> out, left(1024), right(1024);
    float* outs[2] = {left.data(), right.data()};
    synth.ProcessMidiMessage(0x90u | 69u << 8 | 100u << 16, 0);
    for (int i = 0; i < 10; ++i) {
        if (i == 8) synth.ProcessMidiMessage(0x80u | 69u << 8, 0);
        synth.Process(nullptr, outs, 1024);
        for (size_t k = 0; k < 1024; ++k) out.insert(out.end(), {left[k], right[k]});
    }
    return out;
}

// A fresh synthesizer that loads and plays first, then clean: answers the
// clean program's note (and the first one in firstNote when given).
std::vector<float> PlayCleanAfter(Kind kind, const fixtures::Bytes& first, const fixtures::Bytes& clean,
                                  std::vector<float>* firstNote = nullptr) {
    auto synth = std::make_unique<CSynth>();
    synth->Resume();
    Load(*synth, kind, first);
    std::vector<float> note = Play(*synth);
    if (firstNote) *firstNote = note;
    Load(*synth, kind, clean);
    return Play(*synth);
}

}  // namespace

TEST(DamagedFile, PlaysFiniteAndLeavesNothingBehindForACleanProgram) {
    // Oscillators and modulators run freely, so a note never sounds twice
    // the same: the clean program is compared with a fresh synthesizer that
    // played the clean file first instead of the damaged one. What is not
    // finite reads as the clean file's value, so those two must agree to
    // the bit. Huge values are finite and stay a program of their own:
    // loaded through the preset or project path the next program glides
    // its smoothed cells from there, as after any other program, so from
    // the release on (8192 frames later) the two must agree closely.
    for (Kind kind : {Kind::Bank, Kind::Preset, Kind::Project}) {
        const fixtures::Bytes clean = MakeFile(kind, 0.0f, true);
        const std::vector<float> reference = PlayCleanAfter(kind, clean, clean);
        float peak = 0.0f;
        for (float x : reference) peak = std::max(peak, std::fabs(x));
        ASSERT_GT(peak, 0.01f) << Name(kind);

        for (float bad : {kNaN, kInf, -kInf, -1e30f, 1e30f}) {
            SCOPED_TRACE(std::string(Name(kind)) + " " + std::to_string(bad));
            std::vector<float> damaged;
            const std::vector<float> after = PlayCleanAfter(kind, MakeFile(kind, bad, false), clean, &damaged);
            ASSERT_EQ(after.size(), reference.size());
            size_t finite = 0;
            for (size_t i = 0; i < after.size(); ++i)
                finite += std::isfinite(damaged[i]) && std::isfinite(after[i]) ? 1 : 0;
            EXPECT_EQ(finite, after.size());
            const size_t from = std::isfinite(bad) ? 2 * 8192 : 0;
            float most = 0.0f;
            for (size_t i = from; i < after.size(); ++i) most = std::max(most, std::fabs(after[i] - reference[i]));
            EXPECT_LE(most, std::isfinite(bad) ? 1e-5f : 0.0f);
        }
    }
}
