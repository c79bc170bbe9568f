// The layout file: a fixture with images and every tag read and saved back
// byte for byte, the edge cases of the reader, every malformed form
// refused whole (reported, default layout, the file kept at exit), and the
// default layout itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "os/OMessageBox.h"
#include "platform/CGlobalData.h"
#include "tools/LayoutFixtures.h"
#include "tools/PngFile.h"
#include "os/TestFolders.h"

namespace {

namespace lf = fixtures::layout;
using Bytes = lf::Bytes;

void WriteAll(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The triple of a row marked unavailable, found by walking the table.
bool FindUnavailable(uint16_t& group, uint16_t& index)
{
    for (uint32_t g = 0; g < 11; ++g)
        for (uint32_t i = 0; i < 700; ++i)
            if (const CIParameter* row = CIParameter::Find(g, i, 0); row && !row->available) {
                group = uint16_t(g), index = uint16_t(i);
                return true;
            }
    return false;
}

constexpr size_t kDefaultWidgets = 2 + 1 + 10 + 16 + 2;

class LayoutFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = GUIResource::LayoutPath();
        std::filesystem::remove(path);
        saved = os::SetMessageBoxHook([this](const char* text, const char* title) {
            boxes.push_back(std::string(title) + ": " + text);
        });
        ASSERT_TRUE(dc.CreateMemory(960, 650));
        for (int id = 1; id <= CGLBitmapCache::kSlots; ++id) CGLBitmapCache::Free(id);
    }
    void TearDown() override
    {
        os::SetMessageBoxHook(saved);
        std::filesystem::remove(path);
    }
    // A fresh manager that loads the file, as the window does at open.
    GUIHead& Load()
    {
        head = std::make_unique<GUIHead>(&dc, nullptr);
        head->LoadLayout();
        return *head;
    }
    bool IsDefault() const
    {
        const auto& w = head->Objects();
        return w.size() == kDefaultWidgets && strcmp(w[0]->GetTag(), "BKGD") == 0 &&
               strcmp(w[1]->GetTag(), "KNOB") == 0 && w[1]->x == 100 && w[1]->binding.index == 1 &&
               strcmp(w[2]->GetTag(), "DLOG") == 0 && w[2]->w == 400 && w[2]->dialogId == 1;
    }

    std::string path;
    std::vector<std::string> boxes;
    os::MessageBoxHook saved;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
};

TEST_F(LayoutFile, EveryTagAndItsImagesSaveBackByteForByte)
{
    Bytes file;
    lf::Image(file, 3, "panel.bmp", lf::Bmp(7, 5, 24, 1));
    lf::Image(file, 17, std::string(63, 'n'), lf::Bmp(9, 3, 8, 2));
    lf::Image(file, 511, "last", lf::Bmp(4, 4, 32, 3));
    lf::End(file);
    // In drawing order (the reader sorts by layer); every tag of the table,
    // bound where a descriptor exists.
    lf::Widget bkgd{.tag = "BKGD", .w = 960, .h = 650, .layer = 0};
    bkgd.properties[2] = 3;
    lf::Record(file, bkgd);
    int layer = 1;
    for (const auto& row : GUIResource::Types()) {
        if (strcmp(row.tag, "BKGD") == 0) continue;
        lf::Widget w{.tag = row.tag, .group = 0, .index = 16, .x = uint16_t(10 * layer), .y = 7, .w = 33,
                     .h = 21, .pageMask = uint16_t(0x0104 + layer), .dialog = 0, .layer = uint16_t(layer)};
        w.properties[0] = 17;
        w.properties[15] = 511;
        lf::Record(file, w);
        ++layer;
    }
    WriteAll(path, file);
    Load();
    ASSERT_TRUE(boxes.empty()) << boxes[0];
    EXPECT_EQ(head->Objects().size(), GUIResource::Types().size());
    EXPECT_STREQ(head->Objects().back()->GetTag(), GUIResource::Types().back().tag);

    // Saving only while editing is allowed.
    std::filesystem::remove(path);
    EXPECT_FALSE(head->SaveLayout());
    EXPECT_FALSE(std::filesystem::exists(path));
    head->SetEditingAllowed(true);
    ASSERT_TRUE(head->SaveLayout());
    EXPECT_EQ(testutil::ReadBytes(path), file);

    // An image no widget names any longer leaves the file; the others stay.
    for (const auto& w : head->Objects()) w->properties[15] = 0;
    ASSERT_TRUE(head->SaveLayout());
    const Bytes after = testutil::ReadBytes(path);
    GUIResource::Layout back;
    std::string error;
    ASSERT_TRUE(GUIResource::ReadLayout(after, back, error)) << error;
    ASSERT_EQ(back.images.size(), 2u);
    EXPECT_EQ(back.images[0].id, 3);
    EXPECT_EQ(back.images[1].id, 17);
    EXPECT_EQ(after.size(), file.size() - (4 + 2 + 64 + lf::Bmp(4, 4, 32, 3).size()));
}

TEST_F(LayoutFile, ReaderEdgeCases)
{
    uint16_t offGroup = 0, offIndex = 0;
    ASSERT_TRUE(FindUnavailable(offGroup, offIndex));
    Bytes file;
    lf::End(file);
    lf::Record(file, {.tag = "ZZZZ", .group = 0, .index = 16});                       // unknown: a picture
    lf::Record(file, {.tag = "KNOB", .group = offGroup, .index = offIndex});           // unavailable: dropped
    lf::Record(file, {.tag = "KNOB", .group = 0, .index = 16, .sub = 77});            // no descriptor
    lf::Record(file, {.tag = "SLCT", .x = 65535, .y = 65535, .w = 65535, .h = 65535});  // past the window
    lf::Record(file, {.tag = "BKGD", .w = 5, .h = 5, .layer = 9});                   // forced to the bottom
    lf::Record(file, {.tag = "INFO", .group = 0, .index = 16, .x = 12, .y = 34});
    file.resize(file.size() - 40);  // the last record cut short: its missing words read 0
    WriteAll(path, file);
    Load();
    ASSERT_TRUE(boxes.empty());
    const auto& w = head->Objects();
    ASSERT_EQ(w.size(), 5u);
    EXPECT_STREQ(w[0]->GetTag(), "BKGD");
    EXPECT_EQ(w[0]->layer, 0);
    EXPECT_EQ(w[0]->w, 960);
    EXPECT_EQ(w[0]->h, 650);
    // The cut record: layer 0 like the rest of its missing words.
    EXPECT_STREQ(w[1]->GetTag(), "INFO");
    EXPECT_EQ(w[1]->x, 12);
    EXPECT_EQ(w[1]->y, 34);
    EXPECT_EQ(w[1]->h, 0);
    EXPECT_EQ(w[1]->layer, 0);
    EXPECT_STREQ(w[2]->GetTag(), "PICT");
    EXPECT_EQ(w[2]->binding.index, 16u);
    EXPECT_STREQ(w[3]->GetTag(), "KNOB");
    EXPECT_EQ(w[3]->binding.index, 0u);
    EXPECT_EQ(w[3]->binding.sub, 0u);
    EXPECT_EQ(w[3]->pageMask, 0xFFFFu);
    EXPECT_EQ(w[4]->Rect(), (GuiRect{960, 650, 1920, 1300}));

    // Shown on pages 0..15 only, once saved and read.
    head->SetPage(15);
    EXPECT_TRUE(w[3]->IsVisibleNow());
    head->SetPage(16);
    EXPECT_FALSE(w[3]->IsVisibleNow());

    // Type numbers without a row insert a picture.
    EXPECT_STREQ(GUIResource::TagOfType(2), "----");
    EXPECT_STREQ(GUIResource::CreateByType(60)->GetTag(), "PICT");
    EXPECT_STREQ(GUIResource::CreateByType(1)->GetTag(), "KNOB");
    EXPECT_STREQ(GUIResource::CreateByTag("KNOBS")->GetTag(), "KNOB");

    // Copying takes the whole state between widgets of one class; frames
    // and the background take nothing, other classes nothing either.
    auto knob = GUIResource::CreateByTag("KNOB"), other = GUIResource::CreateByTag("KNOB");
    auto pict = GUIResource::CreateByTag("PICT"), bkgd = GUIResource::CreateByTag("BKGD");
    other->x = 77, other->properties[3] = 9, other->binding.index = 16;
    GUIResource::CopyWidget(*knob, *other);
    EXPECT_EQ(knob->x, 77);
    EXPECT_EQ(knob->properties[3], 9u);
    EXPECT_EQ(knob->binding.index, 16u);
    GUIResource::CopyWidget(*pict, *other);
    GUIResource::CopyWidget(*bkgd, *other);
    EXPECT_EQ(pict->x, 0);
    EXPECT_EQ(bkgd->x, 0);
}

TEST_F(LayoutFile, MalformedFilesAreRefusedWholeAndKeptAtExit)
{
    const Bytes bmp = lf::Bmp(6, 4, 24, 5);
    Bytes badMagic = bmp;
    badMagic[0] = 'X';
    Bytes huge = bmp;  // claims 16384 x 16384 pixels, holds 96 bytes
    huge[18] = huge[22] = 0x00, huge[19] = huge[23] = 0x40;
    struct Case {
        const char* what;
        Bytes file;
    };
    auto with = [&](auto build) {
        Bytes f;
        build(f);
        return f;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"no end mark", with([&](Bytes& f) { lf::Image(f, 1, "a", bmp); })},
        {"end mark cut", with([&](Bytes& f) { lf::Image(f, 1, "a", bmp), f.insert(f.end(), {'I', 'E', 'N'}); })},
        {"other image tag", with([&](Bytes& f) { lf::Image(f, 1, "a", bmp, "IJPG"), lf::End(f); })},
        {"id 0", with([&](Bytes& f) { lf::Image(f, 0, "a", bmp), lf::End(f); })},
        {"id 512", with([&](Bytes& f) { lf::Image(f, 512, "a", bmp), lf::End(f); })},
        {"record cut in its name", with([&](Bytes& f) { lf::Image(f, 1, "a", {}), f.resize(30); })},
        {"refused bitmap", with([&](Bytes& f) { lf::Image(f, 1, "a", badMagic), lf::End(f); })},
        {"bitmap past the end", with([&](Bytes& f) { lf::Image(f, 1, "a", bmp), f.resize(f.size() - 5); })},
        {"bitmap larger than the file", with([&](Bytes& f) { lf::Image(f, 1, "a", huge), lf::End(f); })},
        {"good image then a bad one",
         with([&](Bytes& f) { lf::Image(f, 2, "good", bmp), lf::Image(f, 600, "b", bmp), lf::End(f); })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        WriteAll(path, c.file);
        Load();
        EXPECT_TRUE(head->IsLayoutRefused());
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].rfind("Error: The layout ", 0), 0u) << boxes[0];
        EXPECT_TRUE(IsDefault());
        EXPECT_EQ(CGLBitmapCache::Get(2), nullptr);  // nothing of the file kept
        // The save at exit leaves the file for the user to mend.
        head->SetEditingAllowed(true);
        EXPECT_FALSE(head->SaveLayout());
        EXPECT_EQ(testutil::ReadBytes(path), c.file);
    }
    // The layout editor's explicit save may replace it.
    EXPECT_TRUE(head->SaveLayout(true));
    EXPECT_FALSE(head->IsLayoutRefused());
    GUIResource::Layout back;
    std::string error;
    EXPECT_TRUE(GUIResource::ReadLayout(testutil::ReadBytes(path), back, error)) << error;
    EXPECT_EQ(back.widgets.size(), kDefaultWidgets);
}

TEST_F(LayoutFile, DefaultLayoutAndAFailedSave)
{
    Load();
    EXPECT_FALSE(head->IsLayoutRefused());
    // One knob on an empty window: the user is told why.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: The layout " + path + " was not found; the default layout is shown.");
    boxes.clear();
    ASSERT_TRUE(IsDefault());
    const auto& w = head->Objects();
    // The properties dialog: ten fields, sixteen image names, two buttons.
    EXPECT_EQ(w[12]->binding.sub, 12u);
    EXPECT_EQ(w[12]->x, 70);
    EXPECT_EQ(w[12]->y, 130);
    EXPECT_STREQ(w[28]->GetTag(), "TEXT");
    EXPECT_EQ(w[28]->binding.sub, 115u);
    EXPECT_EQ(w[28]->y, 178);
    EXPECT_STREQ(w[30]->GetTag(), "BTTN");
    EXPECT_EQ(w[30]->Rect(), (GuiRect{60, 207, 100, 222}));
    for (size_t i = 2; i < w.size(); ++i) EXPECT_EQ(w[i]->dialogId, 1);
    head->RedrawAll();
    EXPECT_TRUE(png::Write(*dc.GetBackSurface(), "default-layout.png"));

    // A folder that cannot be written to: reported, nothing else changes.
    head->SetEditingAllowed(true);
    const std::string folder = g_GlobalData.programFolder;
    const std::string missing = folder + "/missing/";
    ASSERT_LT(missing.size(), sizeof g_GlobalData.programFolder);
    memcpy(g_GlobalData.programFolder, missing.c_str(), missing.size() + 1);
    EXPECT_FALSE(head->SaveLayout());
    memcpy(g_GlobalData.programFolder, folder.c_str(), folder.size() + 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("could not be saved"), std::string::npos);
    EXPECT_TRUE(head->SaveLayout());
}

}  // namespace

// Damage a layout file meets on a disk (zeros, noise, a folder or an
// unreadable file in its place, no file at all): the default layout, one
// box, and the same line on stderr and in the debug log.
TEST_F(LayoutFile, ADamagedFileStartsTheDefaultLayoutAndIsReportedEverywhere)
{
    Bytes noise(3000);
    uint32_t seed = 12345;
    for (uint8_t& b : noise) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    struct Case {
        const char* what;
        const char* reason;
    };
    const Case cases[] = {{"zero-filled", ""},
                          {"random", ""},
                          {"folder", "(not a file)"},
                          {"unreadable", "(Permission denied)"},
                          {"missing", " was not found; the default layout is shown."}};
    const std::string logPath = std::string(g_GlobalData.programFolder) + "Debug.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(path);
        const std::string what = c.what;
        if (what == "folder") {
            std::filesystem::create_directory(path);
        } else if (what != "missing") {
            WriteAll(path, what == "random" ? noise : Bytes(4096, 0));
            if (what == "unreadable") {
                std::filesystem::permissions(path, std::filesystem::perms::none);
                if (geteuid() == 0) continue;  // root reads it all the same
            }
        }
        boxes.clear();
        const size_t logged = testutil::ReadBytes(logPath).size();
        ::testing::internal::CaptureStderr();
        Load();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(IsDefault());
        ASSERT_EQ(boxes.size(), 1u);
        const std::string text = boxes[0].substr(std::string("Error: ").size());
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_NE(err.find("zavo: " + text + "\n"), std::string::npos) << err;
        const Bytes log = testutil::ReadBytes(logPath);
        EXPECT_EQ(std::string(log.begin() + std::min(logged, log.size()), log.end()), text + "\n");
    }
    std::filesystem::remove_all(path);
}
