#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CPresetBrowser.h"
#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "os/OMessageBox.h"
#include "os/TestFolders.h"
#include "tools/FileFixtures.h"

namespace {

void WriteFile(const std::string& path, const fixtures::Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Rows(CPresetBrowser& b)
{
    std::vector<std::string> out;
    for (b.First(); !b.AtEnd(); b.Next()) out.push_back(b.GetText(0));
    return out;
}

// Outside filter mode with "Quiet" chosen: the words set are that preset's.
void ChooseQuiet(CPresetBrowser& b)
{
    b.Rebuild();
    b.SetFilterMode(0);
    b.SetSelection(3);
    ASSERT_TRUE(b.ApplySelection());
}

// A folder of presets: four good ones and the files a scan must pass over.
struct PresetFolder {
    testutil::TempFolder dir;
    PresetFolder()
    {
        WriteFile(dir / "Bass 1.fxp", fixtures::FxpFile(fixtures::FxpBody(30, 1)));
        WriteFile(dir / "Keys A.FXP", fixtures::FxpFile(fixtures::FxpBody(1, 2)));
        WriteFile(dir / "Keys B.fxp", fixtures::FxpFile(fixtures::FxpBody(30, 3)));
        WriteFile(dir / "Quiet.Fxp", fixtures::FxpFile(fixtures::FxpBody(30, 4)));
        fixtures::Bytes cut = fixtures::FxpFile(fixtures::FxpBody(30, 5));
        cut.pop_back();
        WriteFile(dir / "Short.fxp", cut);
        fixtures::Bytes longer = fixtures::FxpFile(fixtures::FxpBody(30, 5));
        longer.push_back(0);
        WriteFile(dir / "Long.fxp", longer);
        WriteText(dir / "Foreign.fxp", "not a preset at all");
        WriteFile(dir / "Seven.fxp", fixtures::FxpFile(fixtures::FxpBody(7, 6)));
        WriteFile(dir / "Header.fxp", fixtures::Bytes(60, 0));
        WriteFile(dir / "Bass 1.fxb", fixtures::FxpFile(fixtures::FxpBody(30, 1)));
        std::filesystem::create_directory(dir / "Folder.fxp");
        WriteText(dir / "Categories.txt",
                  "Bass 1.fxp\t00000002\t0\t0\t0\t1\n"
                  "Keys A.FXP\t20\t0\t0\t0\t0\r\n"
                  "Keys B.fxp\t20\t0\t0\t0\t00000008\n"
                  "Quiet.Fxp\t4000\t0\t0\t0\t0\n"
                  "Gone.fxp\t1\t2\t3\t4\t5\n"
                  "Quiet.Fxp\tnothex\t0\t0\t0\t0\n"
                  "Bass 1.fxp\t100000000\t0\t0\t0\t0\n"
                  "Keys B.fxp\t1\t2\t3\t4\n"
                  "\t1\t2\t3\t4\t5\n"
                  "garbage\n");
    }
};

}  // namespace

TEST(PresetPool, ScanListsGoodPresetsInNameOrderWithTheirMasks)
{
    PresetFolder f;
    CPresetPool pool;
    ASSERT_EQ(pool.Scan(f.dir.Path()), 4);
    const auto& e = pool.Entries();
    const char* names[] = {"Bass 1", "Keys A", "Keys B", "Quiet"};
    const uint32_t cat[] = {2, 0x20, 0x20, 0x4000};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(e[i].name, names[i]);
        uint32_t m[5];
        e[i].param.GetMasks(m);
        EXPECT_EQ(m[0], cat[i]) << i;
        EXPECT_TRUE(e[i].param.IsValid());
    }
    EXPECT_EQ(e[1].body.size(), size_t(CProgram::kPresetBodyV1));
    EXPECT_EQ(e[2].body.size(), size_t(CProgram::kPresetBodyV30));

    // Without a categories file every preset is there, unfiled.
    std::filesystem::remove(f.dir / "Categories.txt");
    ASSERT_EQ(pool.Scan(f.dir.Path()), 4);
    EXPECT_FALSE(pool.Entries()[0].param.IsValid());
    // A folder that is not there gives an empty pool.
    EXPECT_EQ(pool.Scan(f.dir / "missing"), 0);
}

TEST(PresetPool, MatchAndWordLists)
{
    CSoundParam p;
    const uint32_t bass[5] = {2, 0, 0, 0, 0xFF};
    const uint32_t none[5] = {};
    const uint32_t filter[5] = {2, 0, 0, 0, 0};
    EXPECT_TRUE(p.Match(none));
    EXPECT_FALSE(p.Match(filter));
    p.SetMasks(bass);
    EXPECT_TRUE(p.Match(filter));
    const uint32_t twoGroups[5] = {2, 1, 0, 0, 0};
    EXPECT_FALSE(p.Match(twoGroups));
    EXPECT_STREQ(GetCategoryWord(0, 15), "");
    EXPECT_STREQ(GetCategoryWord(5, 0), "");
    EXPECT_STREQ(GetCategoryWord(0, 17), "Favourites");
}

TEST(PresetBrowser, FilterListsSelectsAndLoadsIntoTheCurrentPart)
{
    PresetFolder f;
    CPresetPool pool;
    pool.Scan(f.dir.Path());
    auto synth = std::make_unique<CSynth>();
    CPresetBrowser b(synth.get(), &pool);
    b.Rebuild();
    EXPECT_EQ(Rows(b), (std::vector<std::string>{"Bass 1", "Keys A", "Keys B", "Quiet"}));
    // The rows hang under one root and have no children.
    b.First();
    EXPECT_EQ(b.GetLevel(), 1);
    EXPECT_EQ(b.GetChildCount(), 0);

    b.SetCategoryMask(0, 0x20);  // "Keys"
    EXPECT_EQ(Rows(b), (std::vector<std::string>{"Keys A", "Keys B"}));
    b.SetCategoryMask(4, 8);  // and "Electronica"
    EXPECT_EQ(Rows(b), (std::vector<std::string>{"Keys B"}));
    EXPECT_EQ(b.GetCategoryMask(4), 8u);
    EXPECT_EQ(b.GetCategoryMask(5), 0u);
    b.SetCategoryMask(4, 0);

    b.SetSelection(1);
    b.changed = 0;
    ASSERT_TRUE(b.ApplySelection());
    EXPECT_TRUE(b.TakeChangedFlag());
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "Prog 3");
    EXPECT_EQ(b.GetSelectedIndex(), 1);

    // Past the last row or before the first: nothing loads, the selection stays.
    for (int index : {2, 99, -1}) {
        b.SetSelection(index);
        EXPECT_FALSE(b.ApplySelection()) << index;
        EXPECT_TRUE(b.HasSelected());
        EXPECT_EQ(b.GetSelectedIndex(), 1);
    }
    b.SetSelection(0);
    ASSERT_TRUE(b.ApplySelection());  // version 1
    EXPECT_STREQ(synth->program.GetCurrentProgramName(), "Prog 2");

    // Outside filter mode the masks are the selected preset's; nothing
    // selected reads 0.
    b.SetFilterMode(0);
    EXPECT_EQ(b.GetCategoryMask(0), 0x20u);
    b.Rebuild();
    for (int g = 0; g < 5; ++g) EXPECT_EQ(b.GetCategoryMask(g), 0u) << g;
    // Switching filter mode on clears the filter: every preset again.
    b.SetFilterMode(1);
    EXPECT_EQ(Rows(b).size(), 4u);
}

TEST(PresetBrowser, MasksStoredOutsideFilterModeSurviveARestart)
{
    PresetFolder f;
    CPresetPool pool;
    pool.Scan(f.dir.Path());
    {
        CPresetBrowser b(nullptr, &pool);
        ChooseQuiet(b);
        b.SetCategoryMask(2, 0x4);  // "Warm"; the other groups keep theirs
        EXPECT_EQ(b.GetCategoryMask(0), 0x4000u);
        EXPECT_EQ(b.GetCategoryMask(2), 4u);
    }
    const std::string text = testutil::ReadFile(f.dir / "Categories.txt");
    EXPECT_NE(text.find("Gone.fxp\t00000001\t00000002\t00000003\t00000004\t00000005\n"), std::string::npos);
    EXPECT_EQ(text.find("garbage"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(f.dir / "Categories.txt.tmp"));

    CPresetPool again;
    ASSERT_EQ(again.Scan(f.dir.Path()), 4);
    uint32_t m[5];
    again.Entries()[3].param.GetMasks(m);
    EXPECT_EQ(m[0], 0x4000u);
    EXPECT_EQ(m[2], 4u);
    again.Entries()[0].param.GetMasks(m);
    EXPECT_EQ(m[4], 1u);
}

// Words that cannot be kept (a write-protected categories file or presets
// folder, a full disk) are said in a box at once; the file stays whole.
TEST(PresetBrowser, WordsThatCannotBeKeptAreSaidInABox)
{
    namespace fs = std::filesystem;
    std::vector<std::string> boxes;
    auto previous = os::SetMessageBoxHook(
        [&](const char* text, const char* title) { boxes.push_back(std::string(title) + ": " + text); });
    enum Damage { kProtectedFile, kProtectedFolder, kFullDisk };
    const std::pair<Damage, const char*> cases[] = {{kProtectedFile, "the file is write-protected"},
                                                    {kProtectedFolder, "is write-protected"},
                                                    {kFullDisk, "No space left on device"}};
    for (const auto& [damage, said] : cases) {
        SCOPED_TRACE(said);
        PresetFolder f;
        const std::string file = f.dir / "Categories.txt";
        const std::string before = testutil::ReadFile(file);
        CPresetPool pool;
        pool.Scan(f.dir.Path());
        CPresetBrowser b(nullptr, &pool);
        ChooseQuiet(b);
        if (damage == kProtectedFile) fs::permissions(file, fs::perms(0444));
        if (damage == kProtectedFolder) fs::permissions(f.dir.Path(), fs::perms(0555));
        std::optional<testutil::ScopedWriteFault> full;
        if (damage == kFullDisk) full.emplace(ENOSPC);
        boxes.clear();
        b.SetCategoryMask(2, 0x4);
        full.reset();
        fs::permissions(f.dir.Path(), fs::perms(0755));
        EXPECT_EQ(b.GetCategoryMask(2), 4u);  // shown for this session
        EXPECT_EQ(testutil::ReadFile(file), before);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].rfind("Error: The words of the preset \"Quiet\" are not kept", 0), 0u) << boxes[0];
        EXPECT_NE(boxes[0].find(said), std::string::npos) << boxes[0];
    }
    os::SetMessageBoxHook(previous);
}

TEST(PresetBrowser, CommandsReachTheSynthesizersBrowser)
{
    PresetFolder f;
    g_PresetPool.Scan(f.dir.Path());
    auto synth = std::make_unique<CSynth>();
    g_PresetPool.Scan(f.dir.Path());  // the synthesizer read the settings' folder
    CPresetBrowser& b = synth->presetBrowser;
    b.Rebuild();
    synth->ExecuteCommand(166, 32.0f);  // "Keys"
    EXPECT_EQ(Rows(b).size(), 2u);
    EXPECT_EQ(synth->GetCommandValue(166), 32.0f);
    synth->ExecuteCommand(173, 1.0f);
    EXPECT_EQ(synth->GetCommandValue(172), 0.0f);
    EXPECT_EQ(synth->GetCommandValue(166), 0.0f);  // nothing selected
    synth->ExecuteCommand(172, 1.0f);
    EXPECT_EQ(Rows(b).size(), 4u);
    g_PresetPool.Clear();
}
