#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "core/CProgram.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "os/TestFolders.h"
#include "platform/CGlobalData.h"
#include "tests/core/FileTestSupport.h"

using filetest::Fingerprint;
using fixtures::PatternValue;

namespace {

struct ProjectFixture {
    ProjectFixture() {
        sequencer.SetSongList(&songList);
        p.SetSequencer(&sequencer);
    }
    ~ProjectFixture() { g_GlobalData.SetSampleRate(44100); }
    bool Read(const fixtures::Bytes& data) {
        std::string path = folder / "song.qzp";
        EXPECT_TRUE(fixtures::WriteFile(path, data));
        return p.ReadProject(path.c_str());
    }
    testutil::TempFolder folder;
    std::unique_ptr<CProgram> store = std::make_unique<CProgram>();
    CProgram& p = *store;
    CSequencer sequencer{nullptr};
    CSongList songList;
};

}  // namespace

TEST(ProjectFile, Version30LeavesEveryPartOnItsOwnProgram) {
    ProjectFixture f;
    const fixtures::Bytes file = fixtures::Project(30);
    ASSERT_EQ(file.size(), 1253156u);
    ASSERT_EQ(CProgram::ProjectFileBytes(30), 1253156);
    ASSERT_TRUE(f.Read(file));
    EXPECT_STREQ(f.p.GetBankName(0), "Song Bank");
    for (int part = 0; part < 16; ++part) {
        EXPECT_EQ(f.p.GetPartBankSlot(part), 0);
        EXPECT_EQ(f.p.GetPartProgramNumber(part), part);
        const float* row = f.p.GetPartRow(part);
        EXPECT_EQ(row[3], fixtures::DefaultPartField(part, 3));
        EXPECT_EQ(row[31], fixtures::DefaultPartField(part, 31));
        EXPECT_EQ(row[14], 0.0f);
    }
    for (int s = 1; s < 16; ++s) EXPECT_FALSE(f.p.IsSlotUsed(s));
    EXPECT_STREQ(f.p.GetProgramNameField(0, 100), "Prog 100");
    EXPECT_STREQ(f.p.GetProgramNameField(3, 100), "");
    for (int i : {0, 127}) {
        const float* r = f.p.GetProgramRecord(0, i);
        for (int s = 0; s < CProgram::kRecordSize; ++s)
            ASSERT_EQ(r[s], s == 340 ? 1.0f : PatternValue(30, i, s)) << i << " " << s;
    }
    f.p.SetCurrentPart(7);
    EXPECT_EQ(filetest::Label(f.p, 2), fixtures::LabelText(7, 2));
    EXPECT_EQ(filetest::SampleName(f.p, 0), fixtures::SampleText(7, 0));
    EXPECT_EQ(f.p.GetGlobals()[0], 127.0f);
    EXPECT_EQ(f.p.GetGlobals()[127], 0.0f);

    // The sequencer head and the song list behind it.
    EXPECT_EQ(f.sequencer.tempo, 128.5f);
    EXPECT_NEAR(f.sequencer.samplesPerTick, 214.494f, 0.001f);
    EXPECT_EQ(f.sequencer.swing, 25.0f);
    EXPECT_EQ(f.sequencer.editorSetting, 3);
    EXPECT_EQ(f.songList.GetStart(), 2);
    EXPECT_EQ(f.songList.GetEnd(), 9);
    EXPECT_EQ(f.songList.GetCellPattern(1, 100), 356);
    EXPECT_EQ(f.songList.GetCellPattern(2, 0), -1);  // 512
    EXPECT_EQ(f.songList.GetCellTranspose(15, 255), 255 % 25 - 12);
}

TEST(ProjectFile, Version31TakesTheProgramsFromField15) {
    ProjectFixture f;
    ASSERT_TRUE(f.Read(fixtures::Project(31)));
    for (int part = 0; part < 16; ++part) EXPECT_EQ(f.p.GetPartProgramNumber(part), 127 - part);

    // Only 0..127 names a program; anything else leaves part p on p.
    fixtures::ProjectOptions o;
    o.partField = [](int part, int field) {
        if (field != 15) return fixtures::DefaultPartField(part, field);
        const float odd[5] = {-1.0f, 128.0f, std::numeric_limits<float>::quiet_NaN(), 127.5f, -0.5f};
        return part < 5 ? odd[part] : 3.0f;
    };
    ASSERT_TRUE(f.Read(fixtures::Project(31, o)));
    const int programs[10] = {0, 1, 2, 127, 4, 3, 3, 3, 3, 3};
    for (int part = 0; part < 10; ++part) EXPECT_EQ(f.p.GetPartProgramNumber(part), programs[part]) << part;
}

TEST(ProjectFile, OlderVersionsFillTheirDefaults) {
    ProjectFixture f;
    fixtures::Bytes v20 = fixtures::Project(20);
    ASSERT_EQ(v20.size(), 1154852u);
    ASSERT_TRUE(f.Read(v20));
    const float* r = f.p.GetProgramRecord(0, 8);
    EXPECT_EQ(r[2079], PatternValue(30, 8, 2079));
    EXPECT_EQ(r[2082], 0.2f);
    EXPECT_EQ(r[2100], 0.0f);
    EXPECT_EQ(r[374], 5.0f);
    EXPECT_EQ(f.p.GetPartRow(2)[5], fixtures::DefaultPartField(2, 5));

    fixtures::ProjectOptions o;
    o.kind = 1;
    fixtures::Bytes v5 = fixtures::Project(5, o);
    ASSERT_EQ(v5.size(), 599972u);
    ASSERT_TRUE(f.Read(v5));
    r = f.p.GetProgramRecord(0, 8);
    EXPECT_EQ(r[1023], PatternValue(5, 8, 1023));
    EXPECT_EQ(r[58], PatternValue(5, 8, 63));
    EXPECT_EQ(r[1028], 1.0f);
    EXPECT_EQ(r[1600], 0.0f);
    EXPECT_EQ(f.p.GetPartRow(15)[31], fixtures::DefaultPartField(15, 31));
    EXPECT_EQ(f.p.GetPartProgramNumber(15), 15);
    EXPECT_EQ(f.p.GetGlobals()[5], 122.0f);
    for (int s = 0; s < 16; ++s) EXPECT_EQ(f.p.GetBankKind(s), 1u);
}

TEST(ProjectFile, StoredRateTempoAndSwingOutsideTheirRangesAreIgnored) {
    ProjectFixture f;
    f.sequencer.tempo = 100.0f;
    f.sequencer.swing = 10.0f;
    struct Case {
        uint32_t rate;
        const char* tempo;
        const char* swing;
    };
    for (const Case& c : {Case{0, "999", "101"}, Case{12345, "abc", "-1"}, Case{44101, "", "x"},
                          Case{96001, "39.99", "100.5"}, Case{0xFFFFFFFF, "12345678", "nan"}}) {
        fixtures::ProjectOptions o;
        o.sampleRate = c.rate;
        o.tempo = c.tempo;
        o.swing = c.swing;
        ASSERT_TRUE(f.Read(fixtures::Project(31, o))) << c.tempo;
        EXPECT_EQ(f.sequencer.storedSampleRate, 0u);
        EXPECT_EQ(g_GlobalData.sampleRate, 44100);
        EXPECT_EQ(f.sequencer.tempo, 100.0f) << c.tempo;
        EXPECT_EQ(f.sequencer.swing, 10.0f) << c.swing;
        EXPECT_GT(f.sequencer.samplesPerTick, 0.0f);
    }
    // A supported rate is handed on for the synthesizer to apply; an
    // unterminated text of 8 digits is read.
    fixtures::ProjectOptions o;
    o.sampleRate = 48000;
    o.tempo = "128.5000";
    o.swing = "100";
    ASSERT_TRUE(f.Read(fixtures::Project(31, o)));
    EXPECT_EQ(f.sequencer.storedSampleRate, 48000u);
    EXPECT_EQ(f.sequencer.tempo, 128.5f);
    EXPECT_EQ(f.sequencer.swing, 100.0f);
    EXPECT_NEAR(f.sequencer.samplesPerTick, 44100.0f * 60.0f / (128.5f * 96.0f), 0.001f);
}

TEST(ProjectFile, MalformedProjectsChangeNothing) {
    ProjectFixture f;
    ASSERT_TRUE(f.Read(fixtures::Project(31)));
    f.sequencer.tempo = 90.0f;
    f.songList.SetEnd(20);
    const uint64_t before = Fingerprint(f.p);
    auto refused = [&](const fixtures::Bytes& data, const std::string& what) {
        EXPECT_FALSE(f.Read(data)) << what;
        EXPECT_EQ(Fingerprint(f.p), before) << what;
        EXPECT_EQ(f.sequencer.tempo, 90.0f) << what;
        EXPECT_EQ(f.songList.GetEnd(), 20) << what;
    };
    EXPECT_FALSE(f.p.ReadProject((f.folder / "none.qzp").c_str()));
    refused({}, "empty");
    for (int version : {5, 20, 31}) {
        const fixtures::Bytes whole = fixtures::Project(version);
        const size_t record = version < 20 ? 1024 : version < 30 ? 5344 : 6112;
        const size_t width = version < 20 ? 1 : 4;
        const size_t programs = 1024 + 128 * (32 + record + 384);
        const size_t pairs = programs + 32, table = pairs + 512 * width, globals = table + 128 * width;
        const size_t sequencer = globals + 2304 + 512 * 772;
        ASSERT_EQ(sequencer + 4 + 16 * 1024, whole.size());
        for (size_t cut : {size_t{1}, size_t{33}, size_t{1024}, size_t{1056}, size_t{1024 + 32 + record},
                           programs - 1, programs, pairs, table, globals, globals + 4, globals + 2048,
                           sequencer, sequencer + 4, whole.size() - 1})
            refused(fixtures::Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)),
                    "version " + std::to_string(version) + " cut at " + std::to_string(cut));
        fixtures::Bytes junk = whole;
        junk.push_back(0);
        refused(junk, "junk");
        fixtures::Bytes kind = whole;
        kind[33] = 7;
        refused(kind, "kind");
    }
    for (int version : {6, 21, 30 + 2, 200}) {
        fixtures::Bytes bad = fixtures::Project(31);
        bad[32] = static_cast<uint8_t>(version);
        refused(bad, "version " + std::to_string(version));
    }
}

// Every part and pattern field comes back from its place in the file; bytes
// beyond a field's range are clamped (steps to 0..63, notes, velocities and
// lane values to 0..127, chords outside the table and functions outside
// 0..6 to 0), and the loop steps start at 0 whatever played before.
TEST(ProjectFile, PartAndPatternRecordsComeBackClamped) {
    ProjectFixture f;
    auto byteAt = [](size_t i) { return static_cast<uint8_t>((i * 7 + i / 772) & 0xFF); };
    fixtures::ProjectOptions o;
    o.sequencerRecordByte = byteAt;
    f.sequencer.patterns[77].loopStep = 9;
    ASSERT_TRUE(f.Read(fixtures::Project(31, o)));
    for (int p = 0; p < 16; ++p) {
        const size_t at = static_cast<size_t>(p) * 16;
        EXPECT_EQ(f.sequencer.partOn[p], byteAt(at) != 0 ? 1 : 0);
        EXPECT_EQ(f.sequencer.partOnShown[p], byteAt(at + 1) != 0 ? 1 : 0);
        EXPECT_EQ(f.sequencer.GetPartFunction(p), byteAt(at + 2) < 7 ? byteAt(at + 2) : 0);
    }
    int clamped = 0;
    for (int pat = 0; pat < 512; ++pat) {
        const size_t at = 256 + static_cast<size_t>(pat) * 772;
        const CSequencer::Pattern& pattern = f.sequencer.patterns[pat];
        ASSERT_EQ(pattern.lastStep, std::min<int>(byteAt(at), 63)) << pat;
        ASSERT_EQ(pattern.startStep, std::min<int>(byteAt(at + 1), 63)) << pat;
        ASSERT_EQ(pattern.loopStep, 0);
        for (int s = 0; s < 64; ++s) {
            const size_t b = at + 4 + 12 * static_cast<size_t>(s);
            const CSequencer::Step& step = pattern.steps[s];
            ASSERT_EQ(step.note, std::min<int>(byteAt(b), 127));
            ASSERT_EQ(step.chord, byteAt(b + 1) < 66 ? byteAt(b + 1) : 0);
            ASSERT_EQ(step.velocity, std::min<int>(byteAt(b + 2), 127));
            ASSERT_EQ(step.laneB, std::min<int>(byteAt(b + 3), 127));
            ASSERT_EQ(step.length, byteAt(b + 4));
            ASSERT_EQ(step.gate, byteAt(b + 5));
            ASSERT_EQ(step.skip, byteAt(b + 6) != 0 ? 1 : 0);
            ASSERT_EQ(step.rest, byteAt(b + 7) != 0 ? 1 : 0);
            ASSERT_EQ(step.heldKey, byteAt(b + 8));
            clamped += byteAt(b) > 127;
        }
    }
    EXPECT_GT(clamped, 1000) << "the positional bytes cover the clamped ranges";

    // What the sequencer writes reads back the same, song included.
    std::vector<uint8_t> section(CSequencer::kProjectSectionSize + CSongList::kProjectSectionSize);
    f.sequencer.WriteProject(section.data());
    CSequencer copy{nullptr};
    CSongList copySong;
    copy.SetSongList(&copySong);
    ASSERT_TRUE(copy.ReadProject(section.data(), section.size()));
    std::vector<uint8_t> again(section.size());
    copy.WriteProject(again.data());
    EXPECT_EQ(section, again);
    EXPECT_EQ(copy.tempo, f.sequencer.tempo);
    EXPECT_EQ(copy.swing, f.sequencer.swing);
    EXPECT_EQ(copySong.GetEnd(), f.songList.GetEnd());
    EXPECT_EQ(copySong.GetCellTranspose(5, 17), f.songList.GetCellTranspose(5, 17));
}
