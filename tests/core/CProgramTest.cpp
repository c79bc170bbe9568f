#include "core/CProgram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/CUIMenuResource.h"
#include "tests/core/FileTestSupport.h"
#include "os/ORandom.h"
#include "os/TestFolders.h"

namespace {

std::unique_ptr<CProgram> MakeStore() { return std::make_unique<CProgram>(); }

std::string Name(const CProgram& p, int n) {
    char out[32];
    p.CopyProgramName(n, out);
    return out;
}

std::string DisplayName(const CProgram& p, int part) {
    char out[64];
    p.GetProgramDisplayName(part, out);
    return out;
}

TEST(ProgramStore, ConstructionDefaults) {
    auto store = MakeStore();
    CProgram& p = *store;
    EXPECT_EQ(Name(p, 0), "Preset 1");
    EXPECT_EQ(Name(p, 127), "Preset 128");
    for (int part = 0; part < 16; ++part) {
        EXPECT_EQ(p.GetPartBankSlot(part), 0);
        EXPECT_EQ(p.GetPartProgramNumber(part), -1);
        const float* row = p.GetPartRow(part);
        EXPECT_NEAR(row[2], 88.648f, 1e-3f);  // "-1 dB"
        EXPECT_EQ(row[3], 64.0f);
        EXPECT_EQ(row[4], static_cast<float>(part));
        EXPECT_EQ(row[10], part == 0 ? 4.0f : 0.0f);
    }
    EXPECT_NEAR(p.GetGlobals()[6], 90.770f, 1e-3f);  // "+0 dB"
    EXPECT_EQ(p.GetGlobals()[7], 64.0f);
    EXPECT_EQ(p.GetGlobals()[8], 64.0f);
    EXPECT_EQ(DisplayName(p, 0), "none");

    const float* r = p.GetProgramRecord(15, 127);
    const std::pair<int, float> defaults[] = {
        {0, 0.0f},     {1, 64.0f},    {2, 0.0f},     {7, 127.0f},    {44, 64.0f},   {55, 127.0f},
        {65, 5.0f},    {104, 18.0f},  {245, 6.0f},   {306, 64.0f},   {383, 3.0f},   {1025, 0.1f},
        {1090, 0.5f},  {2001, 127.0f}, {2146, 0.2f}, {2212, 1.0f},   {2213, 0.0f}};
    for (auto [id, v] : defaults) EXPECT_EQ(r[id], v) << id;

    char slot[32];
    p.GetSlotName(0, slot);
    EXPECT_STREQ(slot, "001 empty bank");
    p.GetSlotName(128, slot);
    EXPECT_STREQ(slot, "error");
    p.SelectBankSlot(2);
    EXPECT_STREQ(p.GetCurrentBankName(), "empty bank");
    EXPECT_EQ(p.GetSelectedBankNumber(), 2);

    // Every part plays slot 0 from the start, so slot 0 counts as used.
    EXPECT_TRUE(p.IsSlotUsed(0));
    for (int s = 1; s < 16; ++s) EXPECT_FALSE(p.IsSlotUsed(s));
}

TEST(ProgramStore, SynthesisTypeOutsideZeroToSixReadsAsZero) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetProgram(4);
    float* r = p.GetCurrentProgramData();
    const float bad[] = {-1.0f, -0.5f, 6.5f, 7.0f, 1e9f, NAN, INFINITY, -INFINITY};
    for (float v : bad) {
        r[0] = v;
        EXPECT_EQ(p.GetProgramType(0), 0) << v;
        EXPECT_EQ(CProgram::TypeOf(r), 0) << v;
    }
    r[0] = 6.0f;
    EXPECT_EQ(p.GetProgramType(0), 6);
    r[0] = 2.75f;
    EXPECT_EQ(p.GetProgramType(0), 2);

    // A raw template number outside 0..6 initializes a type-0 program.
    for (int t : {7, 8, -1, 1000}) {
        r[0] = 3.0f;
        p.InitProgram(t);
        EXPECT_EQ(r[0], 0.0f) << t;
    }
    // Pasting over junk in slot 0 takes the clipboard's type 0 rule.
    r[0] = 4.0f;
    p.CopyProgram();
    r[0] = NAN;
    p.PasteProgram();
    EXPECT_EQ(r[0], 0.0f);
}

TEST(ProgramStore, ProgramSelection) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetCurrentPart(3);
    p.SetProgram(5);
    EXPECT_EQ(p.GetCurrentProgramNumber(), 5);
    EXPECT_EQ(p.GetPartProgramNumber(3), 5);
    p.SetProgram(128);
    p.SetProgram(-1);
    EXPECT_EQ(p.GetCurrentProgramNumber(), 5);
    EXPECT_EQ(p.GetPartProgramNumber(3), 5);
    EXPECT_EQ(p.GetCurrentProgramData(), p.GetProgramRecord(0, 5));

    p.SetPartProgram(7, 9, 127);  // the slot argument is not used
    EXPECT_EQ(p.GetPartProgramNumber(7), 127);
    EXPECT_EQ(p.GetPartBankSlot(7), 0);
    p.SetPartProgram(7, 0, 128);
    EXPECT_EQ(p.GetPartProgramNumber(7), 127);
    EXPECT_EQ(p.TrySetPartProgram(7, 128), 0);
    EXPECT_EQ(p.TrySetPartProgram(7, 12), 1);
    EXPECT_EQ(p.GetPartProgramNumber(7), 12);
    EXPECT_EQ(DisplayName(p, 7), "013 Preset 13");
}

TEST(ProgramStore, NamesAndTextsAreBoundedAndTerminated) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetProgram(2);
    const std::string longText(200, 'x');

    p.SetProgramName(2, longText.c_str());
    EXPECT_EQ(Name(p, 2), std::string(31, 'x'));
    EXPECT_EQ(std::string(p.GetCurrentProgramName()), std::string(31, 'x'));
    EXPECT_EQ(Name(p, 3), "Preset 4");  // the neighbour is untouched
    p.SetProgramName(128, "nothing");   // out of range: ignored
    EXPECT_EQ(Name(p, 127), "Preset 128");

    p.SetLabel(0, longText.c_str());
    p.SetLabel(1, "Bright");
    EXPECT_EQ(filetest::Label(p, 0), std::string(15, 'x'));
    EXPECT_EQ(filetest::Label(p, 1), "Bright");
    EXPECT_EQ(filetest::Label(p, 8), "");

    p.SetSampleName(2, longText.c_str());
    p.SetSampleName(1, "piano.zms");
    EXPECT_EQ(filetest::SampleName(p, 2), std::string(83, 'x'));
    EXPECT_EQ(filetest::SampleName(p, 1), "piano.zms");
    EXPECT_EQ(filetest::SampleName(p, 0), "");

    // A 32-byte field with no terminator in it (as a file may give) still
    // reads as at most 31 characters.
    memset(p.GetProgramNameField(0, 2), 'y', 32);
    EXPECT_EQ(Name(p, 2), std::string(31, 'y'));
    p.SetPartProgram(0, 0, 2);
    char display[64];
    p.GetProgramDisplayName(0, display);
    EXPECT_LT(strlen(display), 32u);
    p.GetProgramNameOfPart(0, display);
    EXPECT_EQ(std::string(display), std::string(31, 'y'));

    p.SetCurrentNameText(longText.c_str());
    EXPECT_EQ(strlen(p.GetCurrentNameText()), 32u);
}

TEST(ProgramStore, DisplayNamesOfNormalAndCombinationBanks) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetPartProgram(1, 0, 5);
    EXPECT_EQ(DisplayName(p, 1), "006 Preset 6");
    p.ToggleCombinationBank(1);
    EXPECT_EQ(DisplayName(p, 1), "02-2 Preset 6");
    p.SetPartProgram(1, 0, 0);
    EXPECT_EQ(DisplayName(p, 1), "01-1 Preset 1");
    p.SetPartProgram(1, 0, 127);
    EXPECT_EQ(DisplayName(p, 1), "32-4 Preset 128");
    char plain[32];
    p.GetProgramNameOfPart(1, plain);
    EXPECT_STREQ(plain, "Preset 128");
    p.GetProgramNameOfPart(2, plain);
    EXPECT_STREQ(plain, "none");
}

TEST(ProgramStore, CopyAndPaste) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetProgram(1);
    float* source = p.GetCurrentProgramData();
    for (int i = 1; i < CProgram::kRecordSize; ++i) source[i] = static_cast<float>(i % 100);
    source[0] = 3.0f;
    p.SetProgramName(1, "Source");
    p.SetLabel(2, "Lbl");
    p.SetSampleName(0, "drum");

    // Nothing to paste yet.
    p.SetProgram(2);
    p.PasteProgram();
    p.PasteSection();
    p.PasteModulation();
    EXPECT_EQ(Name(p, 2), "Preset 3");
    EXPECT_EQ(p.GetCurrentProgramData()[16], 127.0f);

    p.SetProgram(1);
    p.CopyProgram();

    // Into a type-0 program: everything but the type.
    p.SetProgram(2);
    float* target = p.GetCurrentProgramData();
    p.PasteProgram();
    EXPECT_EQ(target[0], 0.0f);
    for (int i = 1; i < CProgram::kRecordSize; ++i) ASSERT_EQ(target[i], source[i]) << i;
    EXPECT_EQ(Name(p, 2), "Source");
    EXPECT_EQ(filetest::Label(p, 2), "Lbl");
    EXPECT_EQ(filetest::SampleName(p, 0), "drum");

    // Into a program of another type: the clipboard's type comes along.
    p.SetProgram(3);
    p.GetCurrentProgramData()[0] = 5.0f;
    p.PasteProgram();
    EXPECT_EQ(p.GetCurrentProgramData()[0], 3.0f);

    // Init keeping the clipboard: content stays, the type becomes 0, and
    // the clipboard then holds this program.
    p.SetProgram(1);
    p.InitKeepingClipboard();
    EXPECT_EQ(source[0], 0.0f);
    EXPECT_EQ(source[16], 16.0f);
    EXPECT_EQ(Name(p, 1), "Source");

    // Init: template, "Preset n", labels and names cleared.
    p.SetProgram(4);
    p.SetLabel(0, "gone");
    p.InitProgram(2);
    float* fresh = p.GetCurrentProgramData();
    EXPECT_EQ(fresh[0], 2.0f);
    EXPECT_EQ(fresh[16], 127.0f);
    EXPECT_EQ(Name(p, 4), "Preset 5");
    EXPECT_EQ(filetest::Label(p, 0), "");
}

TEST(ProgramStore, PasteSectionAndModulation) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.SetProgram(0);
    float* a = p.GetCurrentProgramData();
    for (int i = 1; i < CProgram::kRecordSize; ++i) a[i] = 1000.0f + static_cast<float>(i);
    a[0] = 2.0f;
    p.SetLabel(3, "Sec");
    p.CopyProgram();

    p.SetProgram(1);
    float* b = p.GetCurrentProgramData();
    b[0] = 2.0f;
    float before[CProgram::kRecordSize];
    memcpy(before, b, sizeof(before));
    p.PasteSection();
    for (int i = 0; i < CProgram::kRecordSize; ++i) {
        bool copied = i >= 416 && i <= 767;
        ASSERT_EQ(b[i], copied ? a[i] : before[i]) << i;
    }
    EXPECT_EQ(filetest::Label(p, 3), "Sec");

    memcpy(before, b, sizeof(before));
    p.PasteModulation();
    for (int i = 0; i < CProgram::kRecordSize; ++i) {
        bool copied = (i >= 36 && i <= 55) || (i >= 65 && i <= 144);
        ASSERT_EQ(b[i], copied ? a[i] : before[i]) << i;
    }

    // Between programs of different synthesis types nothing changes.
    p.SetProgram(2);
    float* c = p.GetCurrentProgramData();
    c[0] = 1.0f;
    memcpy(before, c, sizeof(before));
    p.PasteModulation();
    EXPECT_EQ(memcmp(before, c, sizeof(before)), 0);
}

TEST(ProgramStore, BankSlots) {
    auto store = MakeStore();
    CProgram& p = *store;
    // Part 6 gets a bank of its own: slot 0 is shared, so it takes slot 1.
    p.AssignBankSlot(6, "Pads");
    EXPECT_EQ(p.GetPartBankSlot(6), 1);
    EXPECT_TRUE(p.IsSlotUsed(1));
    p.SetSlotName(1, "Pads");

    // Part 6 alone on its slot: it releases the slot and takes the first
    // unused one, which is that very slot.
    p.AssignBankSlot(6, "Leads");
    EXPECT_EQ(p.GetPartBankSlot(6), 1);
    EXPECT_TRUE(p.IsSlotUsed(1));
    p.SetSlotName(1, "Leads");

    // A part joining a used bank by name; its old shared slot stays used.
    p.AssignBankSlot(2, "Leads");
    EXPECT_EQ(p.GetPartBankSlot(2), 1);
    EXPECT_TRUE(p.IsSlotUsed(0));
    // The last part leaving slot 1 frees it.
    p.AssignBankSlot(2, "001 empty bank");
    p.AssignBankSlot(6, "001 empty bank");
    EXPECT_EQ(p.GetPartBankSlot(6), 0);
    EXPECT_FALSE(p.IsSlotUsed(1));

    // Any sequence of bank reads keeps "used" equal to "played by a part",
    // and the part always ends up on a slot of the bank's name.
    os::SRand(7);
    for (int step = 0; step < 500; ++step) {
        int part = os::Rand() % 16;
        char name[16];
        snprintf(name, sizeof(name), "Bank%d", os::Rand() % 20);
        p.AssignBankSlot(part, name);
        p.SetSlotName(p.GetPartBankSlot(part), name);  // as the bank reader does
        EXPECT_STREQ(p.GetBankName(part), name);
        for (int s = 0; s < 16; ++s) {
            bool played = false;
            for (int q = 0; q < 16; ++q) played |= p.GetPartBankSlot(q) == s;
            ASSERT_EQ(p.IsSlotUsed(s), played) << "step " << step << " slot " << s;
        }
    }
}

TEST(ProgramStore, CombinationBankBindsTheFourPartsOfTheGroup) {
    auto store = MakeStore();
    CProgram& p = *store;
    p.AssignBankSlot(6, "Pads");
    p.SetSlotName(p.GetPartBankSlot(6), "Pads");
    int slot = p.GetPartBankSlot(6);
    ASSERT_NE(slot, 0);

    p.ToggleCombinationBank(6);
    for (int part = 0; part < 16; ++part) {
        bool inGroup = part >= 4 && part <= 7;
        EXPECT_EQ(p.GetPartBankSlot(part), inGroup ? slot : 0) << part;
        EXPECT_EQ(p.IsCombinationBank(part), inGroup) << part;
    }
    EXPECT_STREQ(p.GetBankName(4), "Pads");

    // Off again: the kind changes, the parts stay where they are.
    p.ToggleCombinationBank(6);
    EXPECT_FALSE(p.IsCombinationBank(6));
    EXPECT_EQ(p.GetPartBankSlot(4), slot);
}

// Program i of slot 0 holds i * 10000 + id in every slot but 0, so each
// copied slot tells which program it came from.
void FillMarkedBank(CProgram& p, int newProgramAt) {
    for (int i = 0; i < CProgram::kPrograms; ++i) {
        float* r = p.GetProgramRecord(0, i);
        for (int id = 1; id < CProgram::kRecordSize; ++id)
            r[id] = static_cast<float>(i * 10000 + id);
        r[0] = 1.0f;
        r[155] = r[163] = r[172] = 65.0f;  // every oscillator plays a sample
        p.SetProgram(i);
        char sample[16];
        snprintf(sample, sizeof(sample), "s%d", i);
        p.SetSampleName(0, sample);
    }
    p.SetProgramName(newProgramAt, "new program 1");
}

std::vector<float> RandomRun(std::string* sampleName = nullptr) {
    auto store = MakeStore();
    CProgram& p = *store;
    FillMarkedBank(p, 10);
    p.SetProgram(3);
    os::SRand(1);
    p.RandomProgram();
    if (sampleName) *sampleName = filetest::SampleName(p, 0);
    const float* r = p.GetCurrentProgramData();
    return std::vector<float>(r, r + CProgram::kRecordSize);
}

TEST(ProgramStore, RandomProgramDrawsWholeGroupsFromOtherPrograms) {
    std::string sample;
    std::vector<float> first = RandomRun(&sample);
    std::vector<float> second = RandomRun();
    EXPECT_EQ(first, second);  // the same on every run

    auto sourceOf = [&](int id) { return static_cast<int>(first[id]) / 10000; };
    auto sameSource = [&](std::initializer_list<std::pair<int, int>> ranges) {
        int src = sourceOf(ranges.begin()->first);
        EXPECT_GE(src, 0);
        EXPECT_LT(src, 10);
        EXPECT_NE(src, 3);
        for (auto [lo, hi] : ranges)
            for (int id = lo; id <= hi; ++id) {
                if (id == 155) continue;  // the waveform was set to "Sample" everywhere
                EXPECT_EQ(first[id], static_cast<float>(src * 10000 + id)) << id;
            }
    };
    sameSource({{185, 189}, {191, 196}, {212, 212}, {346, 354}, {1024, 1599}, {2080, 2271}});
    sameSource({{1, 2}, {148, 149}, {151, 156}, {356, 357}, {1600, 1679}});
    // Oscillator 1 plays a sample in every program: its name comes along.
    EXPECT_EQ(sample, "s" + std::to_string(sourceOf(1)));
    sameSource({{7, 11}});
    sameSource({{145, 146}, {260, 260}, {267, 269}, {340, 341}, {344, 344}});
    sameSource({{15, 15}, {2000, 2079}});
    sameSource({{285, 291}, {316, 316}});
    // Slots outside every group keep the program's own values.
    for (int id : {0, 12, 57, 147, 416, 700})
        EXPECT_EQ(first[id], id == 0 ? 1.0f : static_cast<float>(3 * 10000 + id)) << id;

    // Fresh spectra and curves.
    for (int id : {58, 63}) {
        EXPECT_GE(first[id], 0.0f);
        EXPECT_LE(first[id], 127.0f);
        EXPECT_EQ(first[id], std::floor(first[id]));
    }
    struct Curve {
        int first, count;
    };
    for (Curve c : {Curve{768, 128}, Curve{896, 128}, Curve{1840, 80}, Curve{1920, 80}}) {
        float top = -1.0f;
        for (int i = 0; i < c.count; ++i) {
            EXPECT_LE(first[c.first + i], 127.0f);
            top = std::max(top, first[c.first + i]);
        }
        EXPECT_EQ(top, 127.0f) << c.first;
    }
}

TEST(ProgramStore, RandomProgramNeedsTwoSources) {
    auto store = MakeStore();
    CProgram& p = *store;
    FillMarkedBank(p, 1);
    p.SetProgram(5);
    std::vector<float> before(p.GetCurrentProgramData(), p.GetCurrentProgramData() + 2272);
    p.RandomProgram();
    EXPECT_EQ(0, memcmp(before.data(), p.GetCurrentProgramData(), sizeof(float) * 2272));
    EXPECT_EQ(p.FindNewProgram(), 1);
    auto plain = MakeStore();
    EXPECT_EQ(plain->FindNewProgram(), 128);
}

const MenuEntry* FindRow(uint32_t menu, uint32_t position) {
    for (int row = 0; row < kMenuRows; ++row) {
        const MenuEntry& e = CUIMenuResource::Entry(row);
        if (e.menuId == menu && e.position == position) return &e;
    }
    return nullptr;
}

TEST(ProgramStore, ProgramAndBankMenus) {
    auto store = MakeStore();
    CProgram& p = *store;
    CUIMenuResource menu;
    p.SetProgramName(17, "Strings");
    p.BuildProgramMenu(menu);
    ASSERT_NE(FindRow(10041, 1), nullptr);
    EXPECT_STREQ(FindRow(10041, 1)->text, "001 Preset 1");
    EXPECT_STREQ(FindRow(10042, 2)->text, "018 Strings");
    EXPECT_STREQ(FindRow(10048, 16)->text, "128 Preset 128");
    EXPECT_STREQ(FindRow(10040, 1)->text, "Program 1-16");
    EXPECT_STREQ(FindRow(10040, 8)->text, "Program 113-128");

    p.BuildBankMenu(2, menu);
    EXPECT_STREQ(FindRow(10061, 1)->text, ".001 Preset 1");
    p.ToggleCombinationBank(2);
    p.BuildBankMenu(2, menu);
    EXPECT_STREQ(FindRow(10062, 2)->text, "05-2 Strings");
    EXPECT_STREQ(FindRow(10060, 1)->text, "Combination 1-4");
    p.BuildProgramMenu(menu);
    EXPECT_STREQ(FindRow(10040, 8)->text, "Combination 29-32");
}

TEST(ProgramStore, NumberedBankPreview) {
    testutil::TempFolder folder;
    filetest::ScopedProgramFolder use(folder.Path());
    std::filesystem::create_directories(folder / "Bank");
    // A version-20 bank cut short after three programs.
    std::vector<uint8_t> bank(1024, 0);
    bank[32] = 20;
    for (const char* name : {"Alpha", "Beta", "Gamma"}) {
        uint8_t field[32] = {};
        memcpy(field, name, strlen(name));
        bank.insert(bank.end(), field, field + 32);
        bank.insert(bank.end(), 5344 + 128 + 256, 0);
    }
    testutil::WriteFile(folder / "Bank/QVBank007.qvb", std::string(bank.begin(), bank.end()));

    auto store = MakeStore();
    CProgram& p = *store;
    CUIMenuResource menu;
    p.SelectBankSlot(7);
    p.BuildBankMenu(-1, menu);
    EXPECT_STREQ(FindRow(10061, 1)->text, "001 Alpha");
    EXPECT_STREQ(FindRow(10061, 3)->text, "003 Gamma");
    EXPECT_STREQ(FindRow(10061, 4)->text, "004 (empty)");
    p.SetSelectedListEntry(1);
    EXPECT_EQ(DisplayName(p, 16), "002 Beta");

    p.SelectBankSlot(8);  // no such file
    p.BuildBankMenu(-1, menu);
    EXPECT_STREQ(FindRow(10061, 1)->text, "001 (empty)");
}

TEST(ProgramStore, FactoryAndTemplatesMissing) {
    testutil::TempFolder folder;
    filetest::ScopedProgramFolder use(folder.Path());
    // A template that is too short is ignored.
    testutil::WriteFile(folder / "DEFspecZAVO.fxp", std::string(60 + 100, '\7'));

    auto store = MakeStore();
    CProgram& p = *store;
    EXPECT_FALSE(p.LoadFactory());
    EXPECT_TRUE(p.IsSlotUsed(0));
    for (int t = 0; t < 7; ++t) EXPECT_EQ(p.GetTemplate(t)[0], static_cast<float>(t));
    EXPECT_EQ(p.GetTemplate(2)[7], 127.0f);
    EXPECT_EQ(Name(p, 0), "Preset 1");

    // The next bank never lands in slot 0, which every part plays.
    p.AssignBankSlot(0, "Opened");
    EXPECT_EQ(p.GetPartBankSlot(0), 1);
}

TEST(ProgramStore, NewBankWritesTheFileThenSwitches) {
    testutil::TempFolder folder;
    filetest::AnswerChooser chooser;
    auto store = MakeStore();
    CProgram& p = *store;
    p.GetFileDialog().SetChooser(&chooser);
    p.SetCurrentPart(2);
    p.SetProgram(9);

    EXPECT_FALSE(p.NewBank(3));  // cancelled
    EXPECT_EQ(p.GetCurrentBankSlot(), 0);
    EXPECT_EQ(p.GetCurrentProgramNumber(), 9);

    chooser.answer = folder / "missing/dir/x.qvb";  // cannot be written
    EXPECT_FALSE(p.NewBank(3));
    EXPECT_EQ(p.GetCurrentBankSlot(), 0);

    chooser.answer = folder / "Fresh.qvb";
    ASSERT_TRUE(p.NewBank(3));
    EXPECT_TRUE(chooser.lastSave);
    int slot = p.GetCurrentBankSlot();
    EXPECT_NE(slot, 0);
    EXPECT_STREQ(p.GetBankName(2), "Fresh.qvb");
    EXPECT_EQ(p.GetCurrentProgramNumber(), 0);
    EXPECT_EQ(p.GetPartProgramNumber(2), 0);
    EXPECT_EQ(Name(p, 127), "new program");
    EXPECT_EQ(p.GetProgramType(2), 3);
    EXPECT_EQ(p.GetPartBankSlot(1), 0);  // other parts stay

    // Size and version are checked with the bank reader; here the layout.
    const std::string file = testutil::ReadFile(folder / "Fresh.qvb");
    ASSERT_EQ(file.size(), 836608u);
    auto data = reinterpret_cast<const uint8_t*>(file.data());
    EXPECT_STREQ(file.c_str(), "Fresh.qvb");
    EXPECT_STREQ(reinterpret_cast<const char*>(&data[1024]), "new program");
    float slot0, slot7;
    memcpy(&slot0, &data[1024 + 32], 4);
    memcpy(&slot7, &data[1024 + 32 + 7 * 4], 4);
    EXPECT_EQ(slot0, 3.0f);
    EXPECT_EQ(slot7, 127.0f);
    EXPECT_EQ(data[1024 + 32 + 4864 + 1], 127);  // slot 1601 as a byte
    float slot2084;
    memcpy(&slot2084, &data[1024 + 32 + 5344 + 4 * 4], 4);
    EXPECT_EQ(slot2084, 1.0f);
}

}  // namespace
