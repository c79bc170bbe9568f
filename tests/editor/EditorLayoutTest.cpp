// The layout file through the editor's window: read at open, written at
// close only while layout editing is allowed, and never over a file that
// was refused at open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "tools/LayoutFixtures.h"

namespace {

namespace lf = fixtures::layout;

lf::Bytes ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return lf::Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const lf::Bytes& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class EditorLayout : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }
    // Opens a window on a fresh synthesizer; its manager.
    GUIHead* Open()
    {
        synth = std::make_unique<CSynth>();
        CEditor::AllowWindow(true);
        const bool opened = synth->editor->Open();
        CEditor::AllowWindow(false);
        return opened ? synth->editor->GetGUI() : nullptr;
    }
    void Close()
    {
        synth->editor->OnDestroy();
        synth.reset();
    }

    const std::string path = GUIResource::LayoutPath();
    std::unique_ptr<CSynth> synth;
};

TEST_F(EditorLayout, OpenReadsTheFileAndCloseSavesItOnlyWhenAllowed)
{
    lf::Bytes file;
    lf::End(file);
    lf::Record(file, {.tag = "BKGD", .w = 960, .h = 650, .layer = 0});
    lf::Record(file, {.tag = "KNOB", .group = 0, .index = 16, .x = 200, .y = 120, .w = 32, .h = 32});
    WriteAll(path, file);

    GUIHead* gui = Open();
    ASSERT_NE(gui, nullptr);
    ASSERT_EQ(gui->Objects().size(), 2u);
    EXPECT_EQ(gui->Objects()[1]->x, 200);
    gui->Objects()[1]->x = 300;
    Close();
    EXPECT_EQ(ReadAll(path), file);  // editing not allowed: kept

    gui = Open();
    ASSERT_NE(gui, nullptr);
    gui->SetEditingAllowed(true);
    gui->Objects()[1]->x = 300;
    Close();
    file[4 + 56 + 10] = 300 & 255;
    file[4 + 56 + 11] = 300 >> 8;
    EXPECT_EQ(ReadAll(path), file);

    // A file refused at open is shown as the default layout and survives
    // the close, even with editing allowed.
    lf::Bytes bad = {'I', 'B', 'M', 'P', 0, 0};
    WriteAll(path, bad);
    gui = Open();
    ASSERT_NE(gui, nullptr);
    EXPECT_TRUE(gui->IsLayoutRefused());
    EXPECT_GT(gui->Objects().size(), 2u);
    gui->SetEditingAllowed(true);
    Close();
    EXPECT_EQ(ReadAll(path), bad);
}

}  // namespace
