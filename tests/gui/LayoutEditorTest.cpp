#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "gui/UIPropertiesDialog.h"
#include "os/OMessageBox.h"
#include "tests/gui/GuiTestSupport.h"
#include "os/TestFolders.h"

namespace {

void MakeImage(int slot, const char* name, int w, int h)
{
    CDIBitmap* image = CGLBitmapCache::Set(slot, name);
    ASSERT_TRUE(image && image->Create(w, h, 24));
    CGLBitmapCache::SetUsed(slot, true);
}

// A fixture layout: background, two knobs, two pictures sharing an image,
// a browser, the properties dialog; layout editing allowed, edit mode on.
struct LayoutFixture : ::testing::Test {
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
    std::vector<std::string> boxes;
    os::MessageBoxHook previous;

    void SetUp() override
    {
        previous = os::SetMessageBoxHook([this](const char* text, const char*) { boxes.push_back(text); });
        std::filesystem::remove(GUIResource::LayoutPath());
        ASSERT_TRUE(dc.CreateMemory(400, 300));
        MakeImage(460, "back", 400, 300);
        MakeImage(461, "shared", 20, 20);
        MakeImage(462, "own", 20, 20);
        head = std::make_unique<GUIHead>(&dc, nullptr);
        head->AddObject("BKGD", 0, -1, 0, 0, 0, 0, 0, 960, 650)->properties[2] = 460;
        head->AddObject("KNOB", 0, 16, 0, 2, 0, 100, 100, 32, 32);
        head->AddObject("KNOB", 0, 17, 0, 2, 0, 160, 100, 32, 32);
        GUIObject* a = head->AddObject("PICT", 0, -1, 0, 2, 0, 10, 200, 20, 20);
        a->properties[0] = 461;
        a->properties[1] = 462;
        head->AddObject("PICT", 0, -1, 0, 2, 0, 40, 200, 20, 20)->properties[0] = 461;
        head->AddObject("BRWS", 10, 1, 0, 2, 0, 250, 10, 120, 160);
        head->AddDefaultPropertiesDialog();
        head->SortByLayer();
        head->SetEditingAllowed(true);
        head->OnOwnMenu(GUIHead::kLayoutMenu, 49);
    }
    void TearDown() override
    {
        os::SetMessageBoxHook(previous);
        std::filesystem::remove_all(GUIResource::LayoutPath());
    }
    GUIObject* Find(const char* tag, int n = 0)
    {
        for (const auto& w : head->Objects())
            if (strncmp(w->GetTag(), tag, 4) == 0 && w->dialogId == 0 && n-- == 0) return w.get();
        return nullptr;
    }
    void Command(int value, GUIObject* target, int x, int y)
    {
        head->SetMenuTarget(target, x, y);
        head->OnOwnMenu(GUIHead::kLayoutMenu, value);
    }
};

}  // namespace

TEST_F(LayoutFixture, MovedWidgetSavesReloadsAndSavesTheSameBytes)
{
    ASSERT_TRUE(head->SaveLayout());
    const std::vector<uint8_t> original = testutil::ReadBytes(GUIResource::LayoutPath());
    GUIObject* knob = Find("KNOB");
    const size_t index = size_t(std::find_if(head->Objects().begin(), head->Objects().end(),
                                             [&](const auto& p) { return p.get() == knob; }) -
                                head->Objects().begin());

    head->OnMouseDown(1, 111, 113);  // grab (10, 12)
    EXPECT_TRUE(knob->IsActive());
    head->OnMouseMove(1, 200, 50);
    head->OnMouseMove(1, 1000, -70);  // held inside the client area
    EXPECT_EQ(knob->x, 400 - 32);
    EXPECT_EQ(knob->y, 0);
    head->OnMouseMove(1, 224, 62);
    head->OnMouseUp(0, 224, 62);
    EXPECT_EQ(knob->x, 214);
    EXPECT_EQ(knob->y, 50);
    EXPECT_EQ(Find("KNOB", 1)->x, 160);  // not selected, not moved

    ASSERT_TRUE(head->SaveLayout());
    const std::vector<uint8_t> first = testutil::ReadBytes(GUIResource::LayoutPath());
    ASSERT_EQ(first.size(), original.size());
    const size_t record = first.size() - GUIObject::kRecordSize * (head->Objects().size() - index);
    for (size_t i = 0; i < first.size(); ++i) {
        const bool xy = i >= record + 4 + 6 && i < record + 4 + 10;
        if (!xy) {
            ASSERT_EQ(first[i], original[i]) << i;
        }
    }
    EXPECT_EQ(first[record + 10] | first[record + 11] << 8, 214);
    EXPECT_EQ(first[record + 12] | first[record + 13] << 8, 50);

    GUIHead again(&dc, nullptr);
    again.LoadLayout();
    ASSERT_FALSE(again.IsLayoutRefused());
    again.SetEditingAllowed(true);
    ASSERT_TRUE(again.SaveLayout());
    const std::vector<uint8_t> second = testutil::ReadBytes(GUIResource::LayoutPath());
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(second[i], first[i]) << i;

    // Save and leave: the permission goes with a good save and stays with a
    // failed one.
    std::filesystem::remove(GUIResource::LayoutPath());
    std::filesystem::create_directory(GUIResource::LayoutPath());
    Command(60, nullptr, 0, 0);
    EXPECT_TRUE(head->IsEditingAllowed());
    EXPECT_EQ(boxes.size(), 1u);
    std::filesystem::remove(GUIResource::LayoutPath());
    EXPECT_TRUE(head->IsEditMode());  // a failed save keeps editing
    Command(60, nullptr, 0, 0);
    EXPECT_FALSE(head->IsEditingAllowed());
    // Edit mode ends with it: nothing stays selected, and a press is a press.
    EXPECT_FALSE(head->IsEditMode());
    EXPECT_FALSE(knob->IsActive());
    head->OnMouseDown(1, 224, 62);
    head->OnMouseMove(1, 300, 200);
    head->OnMouseUp(0, 300, 200);
    EXPECT_EQ(knob->x, 214);
}

TEST_F(LayoutFixture, BandSelectsVisibleWidgetsItMeets)
{
    head->OnMouseDown(1, 90, 90);  // on the background: a band
    head->OnMouseMove(1, 170, 140);
    head->OnMouseUp(0, 170, 140);
    EXPECT_TRUE(Find("KNOB")->IsActive());
    EXPECT_TRUE(Find("KNOB", 1)->IsActive());
    EXPECT_FALSE(Find("PICT")->IsActive());
    EXPECT_FALSE(Find("BKGD")->IsActive());
    // Both move together; Shift adds to the selection.
    head->OnMouseDown(1, 12, 202);
    EXPECT_FALSE(Find("KNOB")->IsActive());
    head->OnMouseDown(5, 102, 102);
    head->OnMouseMove(1, 112, 102);
    head->OnMouseUp(0, 112, 102);
    EXPECT_EQ(Find("PICT")->x, 20);
    EXPECT_EQ(Find("KNOB")->x, 110);
    // Design mode left by its own menu item keeps no selection either.
    Command(49, nullptr, 0, 0);
    EXPECT_FALSE(Find("PICT")->IsActive());
    EXPECT_FALSE(Find("KNOB")->IsActive());
}

TEST_F(LayoutFixture, InsertPasteDeleteAndThePropertiesDialog)
{
    const size_t count = head->Objects().size();
    // A link row ("Value controllers") answers 0, which names no widget:
    // nothing is inserted.
    Command(0, nullptr, 10, 10);
    Command(400, nullptr, 10, 10);
    EXPECT_EQ(head->Objects().size(), count);
    // Inserted at the click point rounded down to even pixels.
    std::vector<GUIObject*> before;
    for (const auto& w : head->Objects()) before.push_back(w.get());
    auto added = [&]() -> GUIObject* {
        for (const auto& w : head->Objects())
            if (std::find(before.begin(), before.end(), w.get()) == before.end()) {
                before.push_back(w.get());
                return w.get();
            }
        return nullptr;
    };
    Command(1, nullptr, 51, 33);
    ASSERT_EQ(head->Objects().size(), count + 1);
    GUIObject* inserted = added();
    ASSERT_NE(inserted, nullptr);
    EXPECT_EQ(std::string(inserted->GetTag()), "KNOB");
    EXPECT_EQ(std::make_pair(inserted->x, inserted->y), std::make_pair(50, 32));

    // Properties of the first knob; inserting while the dialog is open puts
    // the new widget into it, on layer 11.
    GUIObject* knob = Find("KNOB");
    Command(50, knob, 100, 100);
    ASSERT_EQ(head->GetOpenDialog(), 1);
    auto* props = dynamic_cast<UIPropertiesDialog*>(head->GetDialogController());
    ASSERT_NE(props, nullptr);
    EXPECT_EQ(props->x, 100);
    EXPECT_EQ(props->index, 16);
    head->OnOwnMenu(GUIHead::kLayoutMenu, 28);
    GUIObject* inDialog = added();
    ASSERT_NE(inDialog, nullptr);
    EXPECT_EQ(std::string(inDialog->GetTag()), "INFO");
    EXPECT_EQ(inDialog->dialogId, 1);
    EXPECT_EQ(inDialog->layer, 11);
    head->SetMenuTarget(knob, 100, 100);

    // The image fields answer the image's name.
    char name[64];
    props->images[0] = 461;
    head->GetValueText(CIParameter::Find(4, 1, 100), name, sizeof name);
    EXPECT_STREQ(name, "shared");
    // An image that cannot be loaded changes nothing and says so.
    EXPECT_FALSE(props->TakeImage(0, "nothing", "/nonexistent/nothing.bmp"));
    EXPECT_EQ(props->images[0], 461);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Bitmap >/nonexistent/nothing.bmp< not loaded");

    // Apply with a triple that names no descriptor and fields the file
    // cannot hold.
    props->group = 0, props->index = 9999, props->sub = 77;
    props->x = -5, props->w = 100000, props->layer = 3;
    int32_t x = 6;
    head->OnValueChanged(CIParameter::Find(4, 1, 2), &x, 4, ValueKind::kInt);
    EXPECT_EQ(props->y, 6);
    uint8_t one = 1;
    head->OnValueChanged(CIParameter::Find(4, 0, 1), &one, 1, ValueKind::kByte);
    EXPECT_EQ(head->GetOpenDialog(), 0);
    EXPECT_EQ(knob->x, 0);
    EXPECT_EQ(knob->y, 6);
    EXPECT_EQ(knob->w, 960);  // the window's width, as the reader keeps it
    EXPECT_EQ(knob->layer, 3);
    EXPECT_EQ(knob->pageMask, 0xFFFFu);  // every page, as the file keeps it
    EXPECT_EQ(knob->properties[0], 461u);
    EXPECT_EQ(knob->binding.group, CIParameter().group);
    EXPECT_EQ(knob->binding.index, CIParameter().index);
    EXPECT_EQ(knob->binding.label, CIParameter().label);

    // Copy the browser on page 2, paste on page 4: the current page only.
    GUIObject* browser = Find("BRWS");
    head->SetMenuTarget(browser, 0, 0);
    head->OnParameterMenu(55);
    head->SetPage(4);
    Command(56, nullptr, 301, 201);
    GUIObject* pasted = added();
    ASSERT_NE(pasted, nullptr);
    EXPECT_EQ(std::string(pasted->GetTag()), "BRWS");
    EXPECT_EQ(pasted->pageMask, 16u);
    EXPECT_EQ(std::make_pair(pasted->x, pasted->y), std::make_pair(300, 200));
    EXPECT_EQ(pasted->h, 160);
    EXPECT_EQ(pasted->binding.group, 10u);

    // Delete a picture: the image the other picture shows stays, its own
    // goes, and the surface stops erasing from it.
    const CDIBitmap* own = CGLBitmapCache::Get(462);
    dc.SetBackground(own);
    dc.SetPanel(own, 0, 0);
    head->SetMenuTarget(Find("PICT"), 0, 0);
    head->DeleteMenuTarget();
    EXPECT_NE(CGLBitmapCache::Get(461), nullptr);
    EXPECT_EQ(CGLBitmapCache::Get(462), nullptr);
    EXPECT_EQ(dc.GetBackground(), nullptr);
    EXPECT_EQ(dc.GetPanel(), nullptr);

    // Deleted widgets leave nothing behind to paste or apply to.
    head->SetMenuTarget(browser, 0, 0);
    head->OnParameterMenu(55);
    Command(50, Find("KNOB", 1), 10, 10);
    ASSERT_EQ(head->GetOpenDialog(), 1);
    Command(51, browser, 0, 0);
    Command(56, nullptr, 0, 0);
    EXPECT_EQ(added(), nullptr);
    GUIObject* second = Find("KNOB", 1);
    head->SetMenuTarget(second, 10, 10);
    head->OnParameterMenu(51);
    EXPECT_EQ(head->GetOpenDialog(), 0);
    head->OnValueChanged(CIParameter::Find(4, 0, 1), &one, 1, ValueKind::kByte);
    head->OnIdle();
}

TEST_F(LayoutFixture, PropertiesDialogCaptionsClearEveryOtherField)
{
    Command(50, Find("KNOB"), 0, 0);
    ASSERT_EQ(head->GetOpenDialog(), 1);
    head->RedrawAll();
    std::vector<GUIObject*> fields;
    GUIObject* box = nullptr;
    for (const auto& w : head->Objects()) {
        if (w->dialogId != 1) continue;
        if (strncmp(w->GetTag(), "DLOG", 4) == 0) box = w.get();
        if (strncmp(w->GetTag(), "EDIT", 4) == 0 || strncmp(w->GetTag(), "TEXT", 4) == 0) fields.push_back(w.get());
    }
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(fields.size(), 26u);
    auto overlap = [](const GuiRect& a, const GuiRect& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    };
    for (GUIObject* a : fields) {
        const GuiRect drawn = a->Draw();  // the field and its caption
        EXPECT_GE(drawn.top, box->y);
        EXPECT_LE(drawn.bottom, box->y + box->h);
        for (GUIObject* b : fields)
            EXPECT_TRUE(a == b || !overlap(drawn, b->Rect())) << a->binding.sub << " over " << b->binding.sub;
    }
}

TEST_F(LayoutFixture, RebindBySubForTheModulationDialog)
{
    GUIObject* amount = head->AddObject("KNOB", 0, 65, 1000, 11, 10, 0, 0, 32, 32);
    GUIObject* source = head->AddObject("SLCT", 0, 36, 1010, 11, 10, 0, 40, 32, 16);
    GUIObject* other = head->AddObject("KNOB", 0, 16, 0, 2, 0, 0, 80, 32, 32);
    ASSERT_NE(amount->binding.sub, 0u);
    struct Case {
        int routing;
        uint32_t amountIndex, sourceIndex;
    } cases[] = {{0, 65, 36}, {3, 68, 39}, {1, 66, 37}};
    for (const Case& c : cases) {
        EXPECT_TRUE(head->RebindBySub(1000, 65 + c.routing));
        EXPECT_TRUE(head->RebindBySub(1010, 36 + c.routing));
        EXPECT_EQ(amount->binding.index, c.amountIndex);
        EXPECT_EQ(source->binding.index, c.sourceIndex);
        EXPECT_EQ(amount->binding.sub, 1000u);
    }
    EXPECT_EQ(other->binding.index, 16u);
    // A row that does not exist stops the rebinding.
    EXPECT_FALSE(head->RebindBySub(1000, 9999));
    EXPECT_EQ(amount->binding.index, 66u);
    // Without an editor no widget opens the modulation dialog.
    head->SetMenuTarget(other, 0, 0);
    head->OnParameterMenu(52);
    EXPECT_EQ(head->GetOpenDialog(), 0);
}

TEST_F(LayoutFixture, RandomEditorOperationsKeepALayoutThatReadsBack)
{
    // A small surface: drawing is clipped to it, which keeps the many
    // redraws quick.
    ASSERT_TRUE(dc.CreateMemory(160, 120));
    std::mt19937 random(20);
    const int types[] = {0, 1, 5, 6, 7, 8, 11, 12, 18, 27, 28, 52, 54, 58, 59, 3, 14, 16, 17, 21, 30, 31, 33, 53, 57};
    auto pick = [&]() -> GUIObject* {
        const auto& all = head->Objects();
        return all.empty() || random() % 8 == 0 ? nullptr : all[random() % all.size()].get();
    };
    // Capped for the test run's time (under the sanitizers, beside the other
    // tests); the seed is fixed, so a failure repeats.
    const int operations = 25000;
    for (int i = 0; i < operations; ++i) {
        const int x = int(random() % 200) - 20, y = int(random() % 160) - 20;
        switch (random() % 14) {
        // Inserts and pastes stop at 60 widgets, or every redraw gets slower.
        case 0:
            if (head->Objects().size() < 60) Command(types[random() % std::size(types)], nullptr, x, y);
            break;
        case 1: head->OnMouseDown(random() % 2 ? 1 : 5, x, y); break;
        case 2: head->OnMouseMove(1, x, y); break;
        case 3: head->OnMouseUp(0, x, y); break;
        case 4: head->SetMenuTarget(pick(), x, y), head->OnParameterMenu(55); break;
        case 5:
            if (head->Objects().size() < 60) Command(56, nullptr, x, y);
            break;
        case 6:
            if (head->Objects().size() > 4) Command(51, pick(), x, y);
            break;
        case 7: Command(50, pick(), x, y); break;
        case 8: {
            const uint8_t on = 1;
            head->OnValueChanged(CIParameter::Find(4, 0, random() % 2 ? 1 : 2), &on, 1, ValueKind::kByte);
            break;
        }
        case 9: {
            const int32_t v = int32_t(random() % 70000) - 1000;
            head->OnValueChanged(CIParameter::Find(4, 1, 1 + random() % 12), &v, 4, ValueKind::kInt);
            break;
        }
        case 10: head->SetPage(int(random() % 6)); break;
        case 11: head->SetMenuTarget(pick(), x, y), head->OnParameterMenu(52); break;
        case 12: Command(49, nullptr, x, y); break;
        case 13:
            if (i % 97 == 0) head->SaveLayout();
            break;
        }
        if (i % 500 == 0) head->OnIdle();
    }
    ASSERT_TRUE(head->SaveLayout());
    GUIResource::Layout layout;
    std::string error;
    ASSERT_TRUE(GUIResource::ReadLayout(testutil::ReadBytes(GUIResource::LayoutPath()), layout, error)) << error;
    EXPECT_EQ(layout.widgets.size(), head->Objects().size());
}
