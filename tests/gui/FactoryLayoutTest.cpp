// The layout the build writes: it reads back and saves byte for byte, the
// tool writes the same bytes every time, and every page a musician can reach
// and every dialog is tidy: nothing outside the window (or its dialog), no
// two widgets (with the captions under the knobs) on top of each other,
// every caption and button text fits, and every page can be reached from
// every other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIButton.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIResource.h"
#include "os/TestFolders.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

class FactoryLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        bytes = testutil::ReadBytes(ZAVO_LAYOUT_FILE);
        ASSERT_FALSE(bytes.empty()) << "the build wrote no " << ZAVO_LAYOUT_FILE;
        std::string error;
        ASSERT_TRUE(GUIResource::ReadLayout(bytes, layout, error)) << error;
        ASSERT_TRUE(dc.CreateMemory(960, 650));
        for (const auto& w : layout.widgets)
            if (Is(*w, "BKGD"))
                for (int p = 0; p < GUIObject::kProperties; ++p)
                    if (w->properties[p]) pages.push_back(p);
    }

    // Text widths come in quarter pixels.
    int TextWidth(const char* text) { return (dc.Font().GetTextWidth(text) + 3) / 4; }

    // What a widget covers on screen: its rectangle; for a knob the square
    // its redraw erases around it and the caption strip under it.
    std::vector<GuiRect> Footprint(const GUIObject& w)
    {
        if (!Is(w, "KNOB")) return {w.Rect()};
        const int fw = std::max(w.w, 32), fh = std::max(w.h, 32);
        return {{w.x - 4, w.y - 4, w.x + fw + 4, w.y + fh + 2},
                {w.x - 20, w.y + fh, w.x + fw + 20, w.y + fh + dc.Font().GetHeight() + 1}};
    }

    Bytes bytes;
    GUIResource::Layout layout;
    CUnifiedDC dc;
    std::vector<int> pages;
};

TEST_F(FactoryLayout, ReadsBackAndSavesByteForByteAndTheToolRepeatsItself)
{
    for (int id = 1; id <= CGLBitmapCache::kSlots; ++id) CGLBitmapCache::Free(id);
    for (GUIResource::Image& image : layout.images) {
        CDIBitmap* slot = CGLBitmapCache::Set(image.id, image.name);
        ASSERT_NE(slot, nullptr);
        slot->Swap(image.bitmap);
        CGLBitmapCache::SetUsed(image.id, true);
    }
    EXPECT_EQ(GUIResource::WriteLayout(layout.widgets), bytes);
    for (int id = 1; id <= CGLBitmapCache::kSlots; ++id) CGLBitmapCache::Free(id);

    // A folder of this run's own: test programs run side by side.
    const testutil::TempFolder folder;
    const std::string again = folder / "again.gui";
    ASSERT_EQ(std::system((std::string(ZAVO_LAYOUT_TOOL) + " " + ZAVO_LAYOUT_SOURCE + " " + again).c_str()), 0);
    EXPECT_TRUE(testutil::ReadBytes(again) == bytes);
}

// A button that opens a dialog names one the layout has; no other widget
// opens one.
TEST_F(FactoryLayout, TheToolTakesADialogOpenerOnlyOnAButtonAndForADialogItHas)
{
    const testutil::TempFolder folder;
    auto build = [&](const std::string& widget, GUIResource::Layout* out) {
        const std::string source = folder / "opener.txt", target = folder / "opener.gui";
        std::ofstream(source) << "page 0 Mixer\ndialog 12 100 100 200 100 Pad\n"
                                 "KNOB 0 298 0 all 120 140 32 32 dlg=12\n"
                              << widget << "\n";
        std::filesystem::remove(target);
        if (std::system((std::string(ZAVO_LAYOUT_TOOL) + " " + source + " " + target + " 2>/dev/null").c_str()) != 0)
            return false;
        std::string error;
        return !out || GUIResource::ReadLayout(testutil::ReadBytes(target), *out, error);
    };
    GUIResource::Layout built;
    ASSERT_TRUE(build("BTTN 0 0 0 0 10 100 56 16 opens=12", &built));
    int openers = 0;
    for (const auto& w : built.widgets)
        if (Is(*w, "BTTN")) openers += static_cast<const GUIButton&>(*w).OpensDialog() == 12;
    EXPECT_EQ(openers, 1);
    EXPECT_FALSE(build("BTTN 0 0 0 0 10 100 56 16 opens=13", nullptr));
    EXPECT_FALSE(build("KNOB 0 20 0 0 10 100 32 32 opens=12", nullptr));
}

TEST_F(FactoryLayout, EveryPageIsInsideTheWindowWithoutOverlapsAndItsTextsFit)
{
    // The sound pages of synthesis type 0, the mixer and the setup at least.
    for (int page : {0, 2, 3, 4, 5, 14}) EXPECT_NE(std::find(pages.begin(), pages.end(), page), pages.end()) << page;
    for (int page : pages) {
        std::vector<const GUIObject*> shown;
        for (const auto& w : layout.widgets)
            // The about box lies over the page only while it is open.
            if (!Is(*w, "BKGD") && !Is(*w, "ABOX") && w->dialogId == 0 && (w->pageMask >> page & 1))
                shown.push_back(w.get());
        for (size_t i = 0; i < shown.size(); ++i) {
            const GUIObject& a = *shown[i];
            const std::vector<GuiRect> fa = Footprint(a);
            for (const GuiRect& ra : fa)
                EXPECT_TRUE(ra.left >= 0 && ra.top >= 0 && ra.right <= 960 && ra.bottom <= 650)
                    << "page " << page << ": " << a.GetTag() << " at " << a.x << "," << a.y << " leaves the window";
            for (size_t j = i + 1; j < shown.size(); ++j) {
                // The 8D pad is four quadrant widgets over one square.
                if (Is(a, "UI8D") && Is(*shown[j], "UI8D") && a.Rect() == shown[j]->Rect()) continue;
                bool overlap = false;
                for (const GuiRect& ra : fa)
                    for (const GuiRect& rb : Footprint(*shown[j]))
                        overlap |= ra.left < rb.right && rb.left < ra.right && ra.top < rb.bottom && rb.top < ra.bottom;
                EXPECT_FALSE(overlap) << "page " << page << ": " << a.GetTag() << " at " << a.x << "," << a.y
                                      << " meets " << shown[j]->GetTag() << " at " << shown[j]->x << ","
                                      << shown[j]->y;
            }
            // A button's text sits inside its face, a knob's caption within
            // the strip drawn for it.
            const int text = TextWidth(a.binding.GetLabel());
            if (Is(a, "BTTN")) {
                EXPECT_LE(text, a.w - 2) << "page " << page << ": " << a.binding.GetLabel();
            }
            if (Is(a, "KNOB")) {
                EXPECT_LE(text, std::max(a.w, 32) + 40) << "page " << page << ": " << a.binding.GetLabel();
            }
            if (Is(a, "SLDR")) {
                EXPECT_LE(text, a.w - 2) << "page " << page << ": " << a.binding.GetLabel();
            }
            if (Is(a, "BTTN") || Is(a, "SLCT")) {
                EXPECT_GE(a.h, dc.Font().GetHeight() + 2) << a.GetTag() << " " << a.x << "," << a.y;
            }
        }
    }
}

TEST_F(FactoryLayout, EveryDialogHoldsItsWidgetsTidilyBelowItsTitleBar)
{
    std::vector<const GUIObject*> frames;
    for (const auto& w : layout.widgets)
        if (Is(*w, "DLOG")) frames.push_back(w.get());
    // The sound dialogs at least: custom waves, shape, effects, samples, modulation.
    for (int id : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})
        EXPECT_TRUE(std::any_of(frames.begin(), frames.end(), [&](const GUIObject* d) { return d->dialogId == id; }))
            << "no dialog " << id;
    for (const GUIObject* d : frames) {
        const int id = d->dialogId;
        EXPECT_TRUE(d->x >= 0 && d->y >= 0 && d->x + d->w <= 960 && d->y + d->h <= 650) << "dialog " << id;
        EXPECT_NE(d->properties[0], 0u) << "dialog " << id << " has no panel";
        int count = 0;
        std::vector<const GUIObject*> inside;
        for (const auto& w : layout.widgets) {
            if (w.get() == d || w->dialogId != id) continue;
            ++count;
            inside.push_back(w.get());
            // Shown over whichever page the dialog opens from, above the panel.
            EXPECT_EQ(w->pageMask, 0xFFFFu) << "dialog " << id << ": " << w->GetTag() << " at " << w->x << "," << w->y;
            EXPECT_GT(w->layer, d->layer) << "dialog " << id;
            for (const GuiRect& r : Footprint(*w))
                EXPECT_TRUE(r.left >= d->x && r.top >= d->y + 20 && r.right <= d->x + d->w && r.bottom <= d->y + d->h)
                    << "dialog " << id << ": " << w->GetTag() << " at " << w->x << "," << w->y << " leaves it";
            const int text = TextWidth(w->binding.GetLabel());
            if (Is(*w, "BTTN")) {
                EXPECT_LE(text, w->w - 2) << "dialog " << id << ": " << w->binding.GetLabel();
            }
            if (Is(*w, "KNOB")) {
                EXPECT_LE(text, std::max(w->w, 32) + 40) << "dialog " << id << ": " << w->binding.GetLabel();
            }
        }
        EXPECT_GT(count, 0) << "dialog " << id << " is empty";
        for (size_t i = 0; i < inside.size(); ++i)
            for (size_t j = i + 1; j < inside.size(); ++j) {
                if (Is(*inside[i], "UI8D") && Is(*inside[j], "UI8D") && inside[i]->Rect() == inside[j]->Rect()) continue;
                bool overlap = false;
                for (const GuiRect& ra : Footprint(*inside[i]))
                    for (const GuiRect& rb : Footprint(*inside[j]))
                        overlap |= ra.left < rb.right && rb.left < ra.right && ra.top < rb.bottom && rb.top < ra.bottom;
                EXPECT_FALSE(overlap) << "dialog " << id << ": " << inside[i]->GetTag() << " at " << inside[i]->x
                                      << "," << inside[i]->y << " meets " << inside[j]->GetTag() << " at "
                                      << inside[j]->x << "," << inside[j]->y;
            }
    }
}

TEST_F(FactoryLayout, EveryPageHasTheHeaderAndAButtonForEveryPage)
{
    for (int page : pages) {
        int partButtons = 0, master = 0;
        std::vector<int> switches;
        for (const auto& w : layout.widgets) {
            if (!(w->pageMask >> page & 1) || w->dialogId != 0) continue;
            const CIParameter& b = w->binding;
            if (Is(*w, "BTTN") && b.group == 5 && b.index == 140) switches.push_back(int(b.sub));
            if (Is(*w, "PBTN") && b.group == 3 && b.index >= 10 && b.index <= 25) ++partButtons;
            if (b.group == 2 && b.index == 6) ++master;
        }
        EXPECT_EQ(partButtons, 16) << page;
        EXPECT_EQ(master, 1) << page;
        // The pages of the other synthesis types (6..13) are reached through
        // the sound pages, which follow the current part's type.
        for (int target : pages) {
            if (target >= 6 && target <= 13) continue;
            EXPECT_NE(std::find(switches.begin(), switches.end(), target), switches.end()) << page << " to " << target;
        }
    }
}

// What a musician reaches: the widgets of the pages and of the dialogs their
// buttons open, and the menus a click or a right click on them opens.
TEST_F(FactoryLayout, TheCombinationSwitchThe8DPadAndTheMainMenusAreReachable)
{
    uint32_t shownPages = 0;
    for (int page : pages) shownPages |= 1u << page;
    std::set<int> openable;
    for (const auto& w : layout.widgets)
        if (Is(*w, "BTTN") && w->dialogId == 0 && (w->pageMask & shownPages))
            if (const int id = static_cast<const GUIButton&>(*w).OpensDialog()) openable.insert(id);
    std::set<uint32_t> commands;
    std::set<int> menus;
    for (const auto& w : layout.widgets) {
        if (w->dialogId == 0 ? !(w->pageMask & shownPages) : !openable.count(w->dialogId)) continue;
        if (w->binding.group == 3) commands.insert(w->binding.index);
        // The edit selection opens its list from its right edge.
        const int x = w->x + w->w - 2, y = w->y + w->h / 2;
        menus.insert(w->GetLeftClickMenu(x, y));
        menus.insert(w->GetContextMenu(x, y));
    }
    std::vector<uint32_t> wanted = {134, 141};
    for (uint32_t id = 143; id <= 158; ++id) wanted.push_back(id);
    for (uint32_t id : wanted) EXPECT_EQ(commands.count(id), 1u) << "command " << id;
    for (int menu : {280, 312, 399}) EXPECT_EQ(menus.count(menu), 1u) << "menu " << menu;
    // The pad's dialog opens from every sound page: the micro page and those
    // of the types with a page of their own.
    for (int page = 5; page <= 10; ++page) {
        bool opener = false;
        for (const auto& w : layout.widgets)
            opener |= Is(*w, "BTTN") && w->dialogId == 0 && (w->pageMask >> page & 1) &&
                      static_cast<const GUIButton&>(*w).OpensDialog() == 12;
        EXPECT_TRUE(opener) << "page " << page;
    }
}

TEST_F(FactoryLayout, EverySoundMixerAndMasterValueHasAWidget)
{
    auto bound = [&](uint32_t group, uint32_t index) {
        for (const auto& w : layout.widgets)
            if (w->binding.group == group && w->binding.index == index && w->binding.sub == 0) return true;
        return false;
    };
    // Deliberately without a widget: four input selections no module of the
    // panels names, the mixer flags the part buttons carry, and the audio
    // output of a part, which is not offered.
    const uint32_t soundExceptions[] = {251, 252, 258, 259};
    const uint32_t mixerExceptions[] = {9, 11, 14};
    std::vector<std::string> missing;
    for (uint32_t id = 1; id < 416; ++id)
        if (CIParameter::Find(0, id, 0) && !bound(0, id) &&
            std::find(std::begin(soundExceptions), std::end(soundExceptions), id) == std::end(soundExceptions))
            missing.push_back("sound " + std::to_string(id));
    for (uint32_t part = 0; part < 16; ++part)
        for (uint32_t id = 0; id < 32; ++id)
            if (CIParameter::Find(1, part << 10 | id, 0) && !bound(1, part << 10 | id) &&
                std::find(std::begin(mixerExceptions), std::end(mixerExceptions), id) == std::end(mixerExceptions))
                missing.push_back("part " + std::to_string(part + 1) + " mixer " + std::to_string(id));
    // The reverb and chorus preset numbers are kept by the preset commands
    // (100, 101), whose fields show the presets' names.
    const uint32_t masterExceptions[] = {10, 17};
    for (uint32_t id = 0; id < 64; ++id)
        if (CIParameter::Find(2, id, 0) && !bound(2, id) &&
            std::find(std::begin(masterExceptions), std::end(masterExceptions), id) == std::end(masterExceptions))
            missing.push_back("master " + std::to_string(id));
    EXPECT_TRUE(missing.empty()) << missing.size() << " without a widget, the first " << (missing.empty() ? "" : missing.front());
}

}  // namespace

// Every kind of widget the program has sits where a musician can reach it,
// and every dialog the program opens has its frame in the file.
TEST_F(FactoryLayout, HoldsEveryWidgetKindAndEveryDialogTheProgramOpens)
{
    std::set<std::string> kinds;
    std::set<int> dialogs;
    for (const auto& w : layout.widgets) {
        kinds.insert(std::string(w->GetTag(), GUIObject::kTagSize));
        if (Is(*w, "DLOG")) dialogs.insert(w->dialogId);
    }
    for (const char* tag : {"BKGD", "BTTN", "DLOG", "EDIT", "TEXT", "KNOB", "SLCT", "EDTS", "SPIN",
                            "PICT", "LMTR", "INFO", "BRWS", "CATB", "SBPM", "SLDR", "MWHL", "MENV",
                            "WEDT", "PEDT", "PBTN", "SCTR", "STSQ", "SOSQ", "KEYB", "UI8D", "ABOX"})
        EXPECT_EQ(kinds.count(tag), 1u) << tag;
    for (int id : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 100}) EXPECT_EQ(dialogs.count(id), 1u) << "dialog " << id;
}
