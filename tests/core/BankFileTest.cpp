#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "core/CProgram.h"
#include "os/TestFolders.h"
#include "tests/core/FileTestSupport.h"

using filetest::Fingerprint;
using fixtures::PatternValue;

namespace {

constexpr int kKnownVersions[] = {0, 1, 2, 3, 4, 5, 20, 30, 31};

struct BankFixture {
    testutil::TempFolder folder;
    std::unique_ptr<CProgram> store = std::make_unique<CProgram>();
    CProgram& p = *store;

    std::string Write(const fixtures::Bytes& data, const std::string& name = "b.qvb") {
        std::string path = folder / name;
        EXPECT_TRUE(fixtures::WriteFile(path, data));
        return path;
    }
    bool Read(const fixtures::Bytes& data, const char* bankName = "Test") {
        return p.ReadBank(Write(data).c_str(), bankName);
    }
    const float* Record(int program) { return p.GetProgramRecord(p.GetCurrentBankSlot(), program); }
    std::string Name(int program) {
        char out[32];
        p.CopyProgramName(program, out);
        return out;
    }
};

// Values a v4 test program stores; everything else keeps its pattern.
float V4Value(int program, int slot) {
    static const int kSelections[] = {237, 239, 240, 241, 250, 255, 248, 249, 253, 254,
                                      242, 243, 244, 245, 246, 247, 257, 256, 339};
    if (slot == 1) return program == 0 ? 0.0f : program == 1 ? 1.0f : 100.0f;
    if (slot == 153) return 40.0f;
    if (slot == 317) return 0.0f;
    if (slot == 315 || slot == 316) return 1.0f;
    for (int s : kSelections)
        if (slot == s) {
            // Program 3 uses Filter 2 and the formant filter; the others
            // only Oscillator 2.
            if (program == 3 && s == 237) return 13.0f;
            if (program == 3 && s == 239) return 12.0f;
            return 2.0f;
        }
    return PatternValue(4, program, slot);
}

}  // namespace

TEST(BankFile, NewBankWritesVersion31AndReadsBackTheSamePrograms) {
    BankFixture f;
    filetest::AnswerChooser chooser;
    f.p.GetFileDialog().SetChooser(&chooser);
    chooser.answer = f.folder / "Made.qvb";
    f.p.SetLabel(0, "x");  // not part of the new bank
    ASSERT_TRUE(f.p.NewBank(2));
    ASSERT_EQ(std::filesystem::file_size(f.folder / "Made.qvb"), 836608u);
    std::string bytes = testutil::ReadFile(f.folder / "Made.qvb");
    EXPECT_EQ(bytes[32], 31);
    EXPECT_EQ(bytes[33], 0);

    CProgram other;
    ASSERT_TRUE(other.ReadBank((f.folder / "Made.qvb").c_str(), "Made"));
    EXPECT_STREQ(other.GetBankName(0), "Made");
    const int a = f.p.GetCurrentBankSlot(), b = other.GetCurrentBankSlot();
    for (int i = 0; i < 128; ++i) {
        EXPECT_STREQ(other.GetProgramNameField(b, i), "new program");
        for (int s = 0; s < CProgram::kRecordSize; ++s)
            ASSERT_EQ(other.GetProgramRecord(b, i)[s], f.p.GetProgramRecord(a, i)[s]) << i << " " << s;
    }
    EXPECT_EQ(other.GetProgramType(0), 2);
}

TEST(BankFile, EveryVersionHasItsSizeAndReads) {
    // 1024 + 128 x (32 + the stored program of the version).
    const std::pair<int, size_t> sizes[] = {{0, 70656},  {1, 70656},   {2, 119808},
                                            {3, 119808}, {4, 168960},  {5, 185344},
                                            {20, 738304}, {30, 836608}, {31, 836608}};
    for (auto [version, size] : sizes) {
        BankFixture f;
        fixtures::Bytes bank = fixtures::Bank(version);
        EXPECT_EQ(bank.size(), size) << version;
        EXPECT_EQ(static_cast<size_t>(1024 + 128 * (32 + CProgram::BankProgramBytes(version))), size);
        ASSERT_TRUE(f.Read(bank)) << version;
        EXPECT_EQ(f.Name(0), "Prog 0");
        EXPECT_EQ(f.Name(127), "Prog 127");
        EXPECT_STREQ(f.p.GetBankName(0), "Test");
    }
}

TEST(BankFile, CurrentFormPutsEverySlotInPlace) {
    for (int version : {30, 31}) {
        BankFixture f;
        ASSERT_TRUE(f.Read(fixtures::Bank(version)));
        for (int i : {0, 1, 77, 127}) {
            const float* r = f.Record(i);
            for (int s = 0; s < CProgram::kRecordSize; ++s) {
                float want = PatternValue(30, i, s);
                if (s == 340) want = 1.0f;                                    // unison above 100
                if (s >= 416 && s < 672 && (s - 416) % 4 == 3) want = std::min(want, 63.0f);  // limit
                ASSERT_EQ(r[s], want) << "program " << i << " slot " << s;
            }
            f.p.SetProgram(i);
            EXPECT_EQ(filetest::Label(f.p, 0), fixtures::LabelText(i, 0));
            EXPECT_EQ(filetest::Label(f.p, 7), fixtures::LabelText(i, 7));
            EXPECT_EQ(filetest::SampleName(f.p, 2), fixtures::SampleText(i, 2));
        }
    }
}

TEST(BankFile, Version20And5FillTheirDefaults) {
    BankFixture f;
    ASSERT_TRUE(f.Read(fixtures::Bank(20)));
    const float* r = f.Record(9);
    const std::pair<int, float> v20[] = {{2079, PatternValue(20, 9, 2079)}, {1599, PatternValue(20, 9, 1599)},
                                         {2080, 0.0f}, {2145, 0.1f}, {2212, 1.0f}, {2271, 0.0f},
                                         {368, 5.0f},  {383, 3.0f},  {280, 12.0f}, {340, 1.0f}};
    for (auto [slot, want] : v20) EXPECT_EQ(r[slot], want) << slot;

    // Version 5: bytes for slots 0..1023, the rest cleared, then defaults;
    // a header saying combination still binds the group but the slot plays
    // as a normal bank.
    BankFixture g;
    g.p.SetCurrentPart(5);
    ASSERT_TRUE(g.Read(fixtures::Bank(5, 1)));
    const int slot = g.p.GetCurrentBankSlot();
    for (int part = 4; part < 8; ++part) EXPECT_EQ(g.p.GetPartBankSlot(part), slot);
    EXPECT_EQ(g.p.GetBankKind(slot), 0u);
    r = g.Record(3);
    const std::pair<int, float> v5[] = {{1023, PatternValue(5, 3, 1023)}, {58, PatternValue(5, 3, 63)},
                                        {1025, 0.1f}, {1090, 0.5f},  {1219, 0.0f}, {1500, 0.0f},
                                        {1841, 127.0f}, {1920, 0.0f}, {2001, 127.0f}, {2081, 0.0f},
                                        {280, 12.0f}, {343, 1.0f}};
    for (auto [slot, want] : v5) EXPECT_EQ(r[slot], want) << slot;
    g.p.SetProgram(3);
    EXPECT_EQ(filetest::Label(g.p, 3), fixtures::LabelText(3, 3));

    // A version-31 combination bank stays one.
    BankFixture c;
    ASSERT_TRUE(c.Read(fixtures::Bank(31, 1)));
    EXPECT_EQ(c.p.GetBankKind(c.p.GetCurrentBankSlot()), 1u);
    EXPECT_EQ(c.p.GetPartBankSlot(3), c.p.GetCurrentBankSlot());
}

TEST(BankFile, Version4Conversion) {
    BankFixture f;
    ASSERT_TRUE(f.Read(fixtures::Bank(4, 0, 128, V4Value)));
    float t0[CProgram::kRecordSize];
    CProgram::SetDefaults(t0);
    // Stored 0 and 1 in slot 1 both read 127, 100 reads 28; 40 in slot 153
    // reads 56.
    for (auto [program, want] : {std::pair{0, 127.0f}, {1, 127.0f}, {2, 28.0f}})
        EXPECT_EQ(f.Record(program)[1], want) << program;
    EXPECT_EQ(f.Record(2)[153], 56.0f);
    const float* r = f.Record(2);
    for (int s = 672; s < CProgram::kRecordSize; ++s) ASSERT_EQ(r[s], t0[s]) << s;
    for (int s = 416; s < 672; ++s) ASSERT_EQ(r[s], t0[s]) << s;
    EXPECT_EQ(r[146], 7.0f);
    EXPECT_EQ(r[324], 48.0f);
    const std::pair<int, float> mirrored[] = {{62, 64.0f}, {149, 100.0f}, {187, 128.0f}, {3, 128.0f},
                                              {280, 128.0f}, {288, 128.0f}};
    for (auto [slot, top] : mirrored) EXPECT_EQ(r[slot], top - PatternValue(4, 2, slot)) << slot;
    // Nothing selects Filter 1 or 2, the formant filter, Oscillator 3 or the
    // shaper: their slots come from template 0. Oscillator 2 keeps its own.
    for (int s : {22, 31, 327, 16, 19, 229, 32, 35, 233, 5, 6, 175, 15, 182}) EXPECT_EQ(r[s], t0[s]) << s;
    EXPECT_EQ(r[164], PatternValue(4, 2, 164));
    // The modulation effect is off: its slots from template 0, except the
    // spread, which keeps 128 - v. The delay and distortion are on.
    for (int s : {278, 279, 281, 282, 283, 284}) EXPECT_EQ(r[s], t0[s]) << s;
    EXPECT_EQ(r[285], PatternValue(4, 2, 285));
    // Program 3 selects Filter 2 and the formant filter: they stay.
    EXPECT_EQ(f.Record(3)[33], 128.0f - PatternValue(4, 3, 33));
    EXPECT_EQ(f.Record(3)[25], 128.0f - PatternValue(4, 3, 25));
    EXPECT_EQ(f.Record(3)[327], PatternValue(4, 3, 327));
    EXPECT_EQ(f.Record(3)[17], t0[17]);

    // The same file gives the same programs whatever the slot held before.
    BankFixture g;
    ASSERT_TRUE(g.Read(fixtures::Bank(31), "Same"));
    ASSERT_TRUE(g.Read(fixtures::Bank(4, 0, 128, V4Value), "Same"));
    for (int i = 0; i < 128; ++i)
        for (int s = 0; s < CProgram::kRecordSize; ++s)
            ASSERT_EQ(g.Record(i)[s], f.Record(i)[s]) << i << " " << s;
}

TEST(BankFile, Versions0To3) {
    float t0[CProgram::kRecordSize];
    CProgram::SetDefaults(t0);
    // Version 2: amounts of destinations 13, 15, 31, 32, 33, 41, 43 are
    // rescaled, others not; slots from 896 on come from template 0.
    auto v2 = [](int program, int slot) {
        const int codes[5] = {13, 15, 14, 43, 41};
        const int amounts[5] = {16, 100, 16, 0, 255};
        if (slot >= 85 && slot < 90) return static_cast<float>(codes[slot - 85]);
        if (slot >= 36 && slot < 41) return static_cast<float>(amounts[slot - 36]);
        return PatternValue(2, program, slot);
    };
    for (int version : {1, 2}) {
        BankFixture f;
        ASSERT_TRUE(f.Read(fixtures::Bank(version, 0, 128, v2)));
        const float* r = f.Record(6);
        const float amounts[5] = {8.0f, 112.0f, 16.0f, 0.0f, 174.0f};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(r[36 + i], amounts[i]) << version << " " << i;
        EXPECT_EQ(r[511], PatternValue(2, 6, 511));
        EXPECT_EQ(r[600], version == 1 ? t0[600] : PatternValue(2, 6, 600));
        EXPECT_EQ(r[1601], t0[1601]);
        EXPECT_EQ(r[2084], t0[2084]);
    }
    // Version 3: stored as is, template labels, no multi-sample names.
    BankFixture f3;
    ASSERT_TRUE(f3.Read(fixtures::Bank(3, 0, 128, v2)));
    EXPECT_EQ(f3.Record(6)[36], 16.0f);
    EXPECT_EQ(f3.Record(6)[895], PatternValue(3, 6, 895));
    f3.p.SetProgram(6);
    EXPECT_EQ(filetest::SampleName(f3.p, 0), "");

    // Version 0: old slots move to their current ids; slots below 128 that
    // the conversion does not write are 0, those above come from template 0.
    auto v0 = [](int program, int slot) {
        if (slot == 69) return 13.0f;  // destination of amount 1
        if (slot == 22) return 16.0f;  // amount 1
        return PatternValue(0, program, slot);
    };
    BankFixture f0;
    ASSERT_TRUE(f0.Read(fixtures::Bank(0, 0, 128, v0)));
    const float* r = f0.Record(4);
    // Old slot -> current id.
    const std::pair<int, int> moved[] = {{14, 14}, {15, 60}, {39, 57}, {44, 62}, {117, 145}, {204, 232}, {241, 277}};
    for (auto [from, to] : moved) EXPECT_EQ(r[to], PatternValue(0, 4, from)) << from;
    const std::pair<int, float> fixed[] = {{0, 0.0f}, {15, 0.0f}, {85, 13.0f}, {36, 8.0f},
                                           {59, 0.0f}, {271, t0[271]}, {299, 64.0f}};
    for (auto [slot, want] : fixed) EXPECT_EQ(r[slot], want) << slot;
}

TEST(BankFile, ShortBankEndsInNewPrograms) {
    BankFixture f;
    f.p.GetProgramRecord(0, 0)[0] = 4.0f;  // the current part plays type 4
    f.p.SetProgram(0);
    ASSERT_TRUE(f.Read(fixtures::Bank(31, 0, 3)));
    EXPECT_EQ(f.Name(2), "Prog 2");
    EXPECT_EQ(f.Name(3), "new program");
    EXPECT_EQ(f.Name(127), "new program");
    const float* t4 = f.p.GetTemplate(4);
    for (int s = 0; s < CProgram::kRecordSize; ++s) ASSERT_EQ(f.Record(3)[s], t4[s]) << s;
    EXPECT_EQ(f.Record(127)[0], 4.0f);

    // A preset whose slot 335 is 0 loads with the arpeggiator off, one
    // octave, rhythm 4, direction up.
    auto arpOff = [](int program, int slot) {
        if (slot == 335) return 0.0f;
        if (slot == 336) return 9.0f;
        return PatternValue(30, program, slot);
    };
    ASSERT_TRUE(f.Read(fixtures::Bank(30, 0, 1, arpOff)));
    const float arp[4] = {0.0f, 1.0f, 4.0f, 0.0f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f.Record(0)[334 + i], arp[i]) << 334 + i;
}

TEST(BankFile, MalformedBanksChangeNothing) {
    BankFixture f;
    ASSERT_TRUE(f.Read(fixtures::Bank(31, 0, 2), "Before"));
    f.p.SetCurrentPart(1);
    const uint64_t before = Fingerprint(f.p);
    auto refused = [&](const fixtures::Bytes& data, const std::string& what) {
        EXPECT_FALSE(f.Read(data, "After")) << what;
        EXPECT_EQ(Fingerprint(f.p), before) << what;
    };

    EXPECT_FALSE(f.p.ReadBank((f.folder / "missing.qvb").c_str(), "After"));
    EXPECT_FALSE(f.p.ReadBank(nullptr, "After"));
    refused({}, "empty");
    for (int version : kKnownVersions) {
        const fixtures::Bytes whole = fixtures::Bank(version, 0, 2);
        const size_t one = 32 + static_cast<size_t>(CProgram::BankProgramBytes(version));
        std::vector<size_t> cuts = {1, 32, 33, 34, 1023, 1024};
        for (size_t at : {size_t{1024}, 1024 + one})
            for (size_t c : filetest::BankProgramBoundaries(version, at)) cuts.push_back(c);
        for (size_t cut : cuts)
            refused(fixtures::Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)),
                    "version " + std::to_string(version) + " cut at " + std::to_string(cut));
        fixtures::Bytes junk = fixtures::Bank(version);
        junk.push_back(0);
        refused(junk, "junk after version " + std::to_string(version));
        fixtures::Bytes extra = fixtures::Bank(version);
        fixtures::PutBankProgram(extra, version, 128, fixtures::DefaultValues(version));
        refused(extra, "129 programs");
        fixtures::Bytes kind = whole;
        kind[33] = 2;
        refused(kind, "kind 2");
    }
    for (int version : {6, 19, 21, 29, 32, 255}) {
        fixtures::Bytes bad = fixtures::Bank(31, 0, 2);
        bad[32] = static_cast<uint8_t>(version);
        refused(bad, "version " + std::to_string(version));
    }
    // A foreign file of a plausible size.
    refused(fixtures::Bytes(836608, 0x7F), "foreign");
}

TEST(BankFile, TextsFromTheFileAreTerminated) {
    BankFixture f;
    fixtures::Bytes bank = fixtures::Bank(31, 0, 1);
    // Fill the name, every label and every multi-sample name to the brim,
    // and give slot 0 a type that does not exist.
    std::fill(bank.begin() + 1024, bank.begin() + 1024 + 32, 'N');
    const size_t blocks = 1024 + 32 + 6112;
    std::fill(bank.begin() + static_cast<long>(blocks), bank.begin() + static_cast<long>(blocks + 384), 'x');
    const float type = 9.0f;
    memcpy(&bank[1024 + 32], &type, 4);
    ASSERT_TRUE(f.Read(bank));
    EXPECT_EQ(f.Name(0), std::string(31, 'N'));
    EXPECT_EQ(filetest::Label(f.p, 7), std::string(15, 'x'));
    EXPECT_EQ(filetest::SampleName(f.p, 2), std::string(83, 'x'));
    EXPECT_EQ(f.Record(0)[0], 0.0f);
    EXPECT_EQ(f.p.GetProgramType(0), 0);

    // A bank name of any length fits its field.
    ASSERT_TRUE(f.p.ReadBank(f.Write(bank, "c.qvb").c_str(), std::string(200, 'B').c_str()));
    EXPECT_EQ(std::string(f.p.GetBankName(0)), std::string(31, 'B'));
}

TEST(BankFile, FactoryBankLandsInSlot0AndConvertsAgainstTheDefaultTemplate) {
    BankFixture f;
    std::filesystem::create_directories(f.folder / "Bank");
    f.Write(fixtures::Bank(4, 0, 128, V4Value), "Bank/ZavoFactory.qvb");
    // A template file of type 0 with other values: read after the bank, so
    // the conversion does not see it.
    f.Write(fixtures::FxpFile(fixtures::FxpBody(30)), "DEFprofiZAVO.fxp");
    filetest::ScopedProgramFolder use(f.folder.Path());
    ASSERT_TRUE(f.p.LoadFactory());
    for (int part = 0; part < 16; ++part) EXPECT_EQ(f.p.GetPartBankSlot(part), 0);
    EXPECT_STREQ(f.p.GetBankName(0), "ZavoFactory");
    EXPECT_STREQ(f.p.GetProgramNameField(0, 5), "Prog 5");
    float t0[CProgram::kRecordSize];
    CProgram::SetDefaults(t0);
    EXPECT_EQ(f.p.GetProgramRecord(0, 2)[1000], t0[1000]);
    EXPECT_EQ(f.p.GetProgramRecord(0, 2)[278], t0[278]);
    EXPECT_EQ(f.p.GetTemplate(0)[7], PatternValue(30, 5, 7));  // the file's template came after
    for (int s = 1; s < 16; ++s) EXPECT_FALSE(f.p.IsSlotUsed(s));
}
