#include "platform/CDlgFile.h"

#include "os/OFileChooser.h"
#include "os/TestFolders.h"
#include "platform/CGlobalData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// Answers each request with the next queued path (nothing = cancelled) and
// keeps the requests it saw.
class FakeChooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest& r) override
    {
        requests.push_back(r);
        if (during)
            during();
        if (answers.empty())
            return std::nullopt;
        auto a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    std::vector<os::FileChooserRequest> requests;
    std::vector<std::optional<std::string>> answers;
    std::function<void()> during;
};

// Each test gets a fresh chooser object and puts the settings' folders back
// afterwards, since the choosers write them.
class CDlgFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved = g_GlobalData;
        snprintf(g_GlobalData.WavefilePath, 512, "/wav/");
        snprintf(g_GlobalData.ProjectPath, 512, "/proj/");
        // The multi-sample chooser makes its folder: one that can be made.
        samples = temp / "samples/";
        snprintf(g_GlobalData.SamplePath, 512, "%s", samples.c_str());
        dlg.SetChooser(&fake);
    }
    void TearDown() override
    {
        memcpy(g_GlobalData.WavefilePath, saved.WavefilePath, 512);
        memcpy(g_GlobalData.ProjectPath, saved.ProjectPath, 512);
        memcpy(g_GlobalData.SamplePath, saved.SamplePath, 512);
    }
    struct Saved {
        char WavefilePath[512], ProjectPath[512], SamplePath[512];
        Saved& operator=(const CGlobalData& g)
        {
            memcpy(WavefilePath, g.WavefilePath, 512);
            memcpy(ProjectPath, g.ProjectPath, 512);
            memcpy(SamplePath, g.SamplePath, 512);
            return *this;
        }
    } saved;
    testutil::TempFolder temp;
    std::string samples;
    FakeChooser fake;
    CDlgFile dlg;
};

struct Expect {
    std::function<bool(CDlgFile&, const char**)> call;
    bool save;
    std::string title, extension, filter, startFolder;
};

} // namespace

TEST_F(CDlgFileTest, EveryChooserAsksWithItsOwnFilterTitleExtensionAndFolder)
{
    const std::string prog = g_GlobalData.programFolder;
    // Presets start where the preset list looks for them.
    const std::string presets = g_GlobalData.PresetPath;
    const std::vector<Expect> table = {
        {[](CDlgFile& d, const char** o) { return d.ChooseRecordFile(o); }, true,
         "Record to file...", "wav", "Wave files (*.wav)=*.wav", "/wav/"},
        {[](CDlgFile& d, const char** o) { return d.ChooseSampleFile(o); }, false,
         "Open sample...", "wav",
         "Windows PCM (*.wav)=*.wav,Apple AIFF (*.aif; *.snd)=*.aif;*.aiff;*.snd", "/wav/"},
        {[](CDlgFile& d, const char** o) { return d.ChooseProjectFile(o, true); }, true,
         "Save project to file...", "qzp", "Project files (*.qzp)=*.qzp", "/proj/"},
        {[](CDlgFile& d, const char** o) { return d.ChooseProjectFile(o, false); }, false,
         "Open project from file...", "qzp", "Project files (*.qzp)=*.qzp", "/proj/"},
        {[](CDlgFile& d, const char** o) { return d.ChooseMultiSampleFile(o, true); }, true,
         "New Multisample...", "qvi", "Multi Sample (*.qvi)=*.qvi", samples},
        {[](CDlgFile& d, const char** o) { return d.ChooseMultiSampleFile(o, false); }, false,
         "Open Multisample...", "qvi", "Multi Sample (*.qvi)=*.qvi", samples},
        {[](CDlgFile& d, const char** o) { return d.ChoosePresetFile(o, true); }, true,
         "Save preset to file...", "fxp", "sound preset (*.fxp)=*.fxp", presets},
        {[](CDlgFile& d, const char** o) { return d.ChoosePresetFile(o, false); }, false,
         "Load preset from file...", "fxp", "sound preset (*.fxp)=*.fxp", presets},
        {[](CDlgFile& d, const char** o) { return d.ChooseEnvelopePresetFile(o, true); }, true,
         "Save envelope preset to file...", "fep", "envelope preset (*.fep)=*.fep", prog},
        {[](CDlgFile& d, const char** o) { return d.ChooseEnvelopePresetFile(o, false); }, false,
         "Load envelope preset from file...", "fep", "envelope preset (*.fep)=*.fep", prog},
        {[](CDlgFile& d, const char** o) { return d.ChooseBankFile(o, true); }, true,
         "Save bank to file...", "qvb", "sound bank (*.qvb)=*.qvb", prog},
        {[](CDlgFile& d, const char** o) { return d.ChooseBankFile(o, false); }, false,
         "Load bank from file...", "qvb", "sound bank (*.qvb)=*.qvb", prog},
        {[](CDlgFile& d, const char** o) {
             const char* title = nullptr;
             return d.ChooseBitmapFile(&title, o);
         },
         false, "Open bitmap...", "bmp", "Bitmap files (*.bmp)=*.bmp", prog},
    };
    for (const Expect& e : table) {
        fake.requests.clear();
        fake.answers = {std::nullopt};
        const char* out = "stale";
        EXPECT_FALSE(e.call(dlg, &out)) << e.title;
        EXPECT_STREQ(out, "") << e.title;
        ASSERT_EQ(fake.requests.size(), 1u);
        const os::FileChooserRequest& r = fake.requests[0];
        EXPECT_EQ(r.title, e.title);
        EXPECT_EQ(r.save, e.save) << e.title;
        EXPECT_EQ(r.defaultExtension, e.extension) << e.title;
        EXPECT_EQ(r.startFolder, e.startFolder) << e.title;
        EXPECT_TRUE(r.overwritePrompt) << e.title;
        std::string filters;
        for (const auto& f : r.filters)
            filters += (filters.empty() ? "" : ",") + f.description + "=" + f.pattern;
        EXPECT_EQ(filters, e.filter) << e.title;
    }
    EXPECT_EQ(dlg.busy, 0);

    // A folder of the program's own, beside it, is made the first time a
    // chooser starts there; any other is left to the chooser.
    char program[512];
    memcpy(program, g_GlobalData.programFolder, sizeof program);
    snprintf(g_GlobalData.programFolder, sizeof program, "%s/", temp.Path().c_str());
    for (const std::string& folder : {temp / "Project", temp / "a/Project"}) {
        snprintf(g_GlobalData.WavefilePath, 512, "%s", folder.c_str());
        const char* out = nullptr;
        EXPECT_FALSE(dlg.ChooseSampleFile(&out));
        EXPECT_EQ(fake.requests.back().startFolder, folder);
        EXPECT_EQ(std::filesystem::is_directory(folder), folder == temp / "Project") << folder;
    }
    // Not in the program's folder, though its name starts as that folder's does.
    snprintf(g_GlobalData.programFolder, sizeof program, "%s/", (temp / "zavo").c_str());
    snprintf(g_GlobalData.WavefilePath, 512, "%s", (temp / "zavoSamples").c_str());
    EXPECT_FALSE(dlg.ChooseSampleFile(nullptr));
    EXPECT_FALSE(std::filesystem::exists(temp / "zavoSamples"));
    memcpy(g_GlobalData.programFolder, program, sizeof program);
}

TEST_F(CDlgFileTest, ChosenFoldersAreRememberedForTheNextChooser)
{
    fake.answers = {"/music/takes/take1.wav", "/music/takes/drum.wav", "/songs/a.qzp",
                    "/ms/new.qvi"};
    const char* out = nullptr;
    ASSERT_TRUE(dlg.ChooseRecordFile(&out));
    EXPECT_STREQ(out, "/music/takes/take1.wav");
    EXPECT_EQ(out, dlg.recordPath);
    EXPECT_STREQ(g_GlobalData.WavefilePath, "/music/takes/");

    ASSERT_TRUE(dlg.ChooseSampleFile(&out));
    EXPECT_EQ(fake.requests[1].startFolder, "/music/takes/");
    EXPECT_STREQ(dlg.samplePath, "/music/takes/drum.wav");

    ASSERT_TRUE(dlg.ChooseProjectFile(&out, false));
    EXPECT_STREQ(g_GlobalData.ProjectPath, "/songs/");
    // The multi-sample chooser does not move its start folder.
    ASSERT_TRUE(dlg.ChooseMultiSampleFile(&out, true));
    EXPECT_EQ(g_GlobalData.SamplePath, samples);

    // The next record chooser is offered the last choice; a cancel keeps it.
    fake.answers = {std::nullopt};
    EXPECT_FALSE(dlg.ChooseRecordFile(&out));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(fake.requests.back().initialName, "/music/takes/take1.wav");
    EXPECT_STREQ(dlg.recordPath, "/music/takes/take1.wav");
    EXPECT_STREQ(g_GlobalData.WavefilePath, "/music/takes/");
}

TEST_F(CDlgFileTest, BankAndBitmapTitles)
{
    fake.answers = {"/banks/Pads.qvb", "/banks/Saved.qvb", "/banks/NoExt",
                    "/img/" + std::string(40, 'k') + ".bmp"};
    const char* out = nullptr;
    char title[128];
    ASSERT_TRUE(dlg.ChooseBankFile(&out, false));
    dlg.GetBankTitle(title);
    EXPECT_STREQ(title, "Pads");
    ASSERT_TRUE(dlg.ChooseBankFile(&out, true));
    dlg.GetBankTitle(title);
    EXPECT_STREQ(title, "Saved.qvb");
    ASSERT_TRUE(dlg.ChooseBankFile(&out, false));
    dlg.GetBankTitle(title);
    EXPECT_STREQ(title, "NoExt");
    char small[3];
    dlg.GetBankTitle(small);
    EXPECT_STREQ(small, "No");

    const char* bmpTitle = nullptr;
    const char* bmpPath = nullptr;
    ASSERT_TRUE(dlg.ChooseBitmapFile(&bmpTitle, &bmpPath));
    EXPECT_EQ(std::string(bmpPath), "/img/" + std::string(40, 'k') + ".bmp");
    EXPECT_EQ(std::string(bmpTitle), std::string(31, 'k'));  // cut to its 32 bytes

    fake.answers = {std::nullopt};
    EXPECT_FALSE(dlg.ChooseBitmapFile(&bmpTitle, &bmpPath));
    EXPECT_STREQ(bmpTitle, "");
    EXPECT_STREQ(bmpPath, "");
}

TEST_F(CDlgFileTest, AChooserCalledWhileOneIsOpenAnswersCancelled)
{
    bool inner = true;
    const char* innerOut = "stale";
    int depth = 0;
    fake.during = [&] {
        if (depth++ == 0)
            inner = dlg.ChooseSampleFile(&innerOut);
    };
    fake.answers = {"/a/outer.wav"};
    const char* out = nullptr;
    EXPECT_TRUE(dlg.ChooseRecordFile(&out));
    EXPECT_FALSE(inner);
    EXPECT_STREQ(innerOut, "");
    EXPECT_EQ(fake.requests.size(), 1u);  // the inner one never reached the chooser
    EXPECT_EQ(dlg.busy, 0);
    EXPECT_STREQ(out, "/a/outer.wav");
}

TEST_F(CDlgFileTest, APathTooLongToKeepIsRefused)
{
    fake.answers = {"/x/" + std::string(508, 'y') + ".wav"};  // 515 bytes
    const char* out = nullptr;
    EXPECT_FALSE(dlg.ChooseRecordFile(&out));
    EXPECT_STREQ(out, "");
    EXPECT_STREQ(dlg.recordPath, "");
    EXPECT_STREQ(g_GlobalData.WavefilePath, "/wav/");
    fake.answers = {"/x/" + std::string(504, 'y') + ".wav"};  // 511 bytes fit
    EXPECT_TRUE(dlg.ChooseRecordFile(&out));
    EXPECT_EQ(strlen(out), 511u);
}

TEST_F(CDlgFileTest, TheSampleFolderIsMadeWhenTheMultiSampleChooserFirstOpens)
{
    // A first start has no sample folder: the chooser would start in the
    // working folder and a new multi-sample land beside the program.
    ASSERT_FALSE(std::filesystem::exists(samples));
    fake.answers = {samples + "Strings.qvi", std::nullopt};
    const char* out = nullptr;
    ASSERT_TRUE(dlg.ChooseMultiSampleFile(&out, true));
    EXPECT_TRUE(std::filesystem::is_directory(samples));
    EXPECT_EQ(fake.requests[0].startFolder, samples);
    // Already there: opened as it is.
    EXPECT_FALSE(dlg.ChooseMultiSampleFile(&out, false));
    EXPECT_TRUE(std::filesystem::is_directory(samples));
    // A folder that cannot be made leaves the chooser to cope.
    const std::string deep = temp / "no/such/folder/";
    snprintf(g_GlobalData.SamplePath, 512, "%s", deep.c_str());
    EXPECT_FALSE(dlg.ChooseMultiSampleFile(&out, true));
    EXPECT_FALSE(std::filesystem::exists(deep));
    EXPECT_EQ(fake.requests.size(), 3u);
}
