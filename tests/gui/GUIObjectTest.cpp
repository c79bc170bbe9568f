#include "gui/GUIObject.h"

#include "gui/GUIHead.h"
#include "tests/gui/GuiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A record body as the layout file holds it: the 26 little-endian words
// after the tag, zero where not given.
std::vector<uint8_t> Body(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : words) {
        bytes.push_back(uint8_t(w));
        bytes.push_back(uint8_t(w >> 8));
    }
    bytes.resize(GUIObject::kBodySize, 0);
    return bytes;
}

}  // namespace

TEST(GUIObject, RecordReadBindsAndWritesBackTheSameBytes)
{
    // Group 8, index 5, zone 3; x 300, y 40, 64 x 32, pages 0 and 2, dialog 0,
    // layer 3, images 7 and 0x1FF in the first two properties.
    const std::vector<uint8_t> body =
        Body({8, 5, 3, 300, 40, 64, 32, 0x0005, 0, 3, 7, 0x1FF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xBEEF});
    GUIObject widget("SLCT");
    widget.font = 2;
    widget.active = 1;
    widget.Read(body);

    EXPECT_EQ(widget.binding.group, 8u);
    EXPECT_EQ(widget.binding.sub, 3u);
    EXPECT_EQ(widget.binding.contextMenuId, 320u);
    EXPECT_STREQ(widget.binding.hint, "Open sample");
    EXPECT_EQ(std::make_tuple(widget.x, widget.y, widget.w, widget.h), std::make_tuple(300, 40, 64, 32));
    EXPECT_EQ(widget.pageMask, 5u);
    EXPECT_EQ(widget.layer, 3);
    EXPECT_EQ(widget.properties[1], 0x1FFu);
    EXPECT_EQ(widget.properties[15], 0xBEEFu);
    // Reading starts from a new widget: style and focus are not in the file.
    EXPECT_EQ(widget.font, 0xFFFF);
    EXPECT_EQ(widget.active, 0);

    const auto record = widget.Write();
    EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "SLCT");
    EXPECT_EQ(std::vector<uint8_t>(record.begin() + 4, record.end()), body);
}

TEST(GUIObject, RecordKeepsLow16BitsAndAnUnknownTripleStaysReset)
{
    GUIObject widget("PICTURE");  // only four characters are a tag
    EXPECT_STREQ(widget.GetTag(), "PICT");
    widget.Init();
    widget.binding = *CIParameter::Find(4, 1, 7);  // a kind 1 row
    widget.x = -1;
    widget.layer = 70000;
    widget.properties[0] = 0x12345;
    auto record = widget.Write();

    GUIObject back("PICT");
    back.Read(std::span(record).subspan(4));
    EXPECT_EQ(back.binding.hint, widget.binding.hint);
    EXPECT_EQ(back.pageMask, 0xFFFFu);  // every page becomes pages 0..15
    EXPECT_EQ(back.x, 65535);
    EXPECT_EQ(back.layer, 70000 & 0xFFFF);
    EXPECT_EQ(back.properties[0], 0x2345u);

    // (0, 36, 1) names no descriptor: the binding stays reset, keeps its
    // kind, and the widget is saved back with the triple 0, 0, 0.
    const std::vector<uint8_t> unknown = Body({0, 36, 1, 10, 10, 30, 30, 1, 0, 2});
    back.Read(unknown);
    EXPECT_EQ(back.binding.kind, CIParameter::kCommand);
    EXPECT_EQ(std::make_tuple(back.binding.group, back.binding.index, back.binding.sub), std::make_tuple(0u, 0u, 0u));
    EXPECT_EQ(std::make_tuple(back.binding.min, back.binding.max, back.binding.defaultValue, back.binding.step),
              std::make_tuple(0.0f, 1.0f, 0.5f, 0.1f));
    EXPECT_STREQ(back.binding.GetLabel(), "");
    record = back.Write();
    EXPECT_EQ(std::vector<uint8_t>(record.begin() + 4, record.begin() + 10), std::vector<uint8_t>(6, 0));
}

TEST(GUIObject, ShortRecordReadsMissingBytesAsZero)
{
    // The last record of a file cut after seven bytes, inside x: group 2,
    // index 6, sub 0 and the low byte of x. A longer span is read only up to
    // the end of its record.
    const std::vector<uint8_t> cut = {2, 0, 6, 0, 0, 0, 100};
    std::vector<uint8_t> longer = Body({2, 6, 0, 1, 2, 3, 4, 5, 6, 7});
    longer.resize(200, 0xEE);
    for (const auto& [bytes, wantX] : {std::pair{cut, 100}, std::pair{longer, 1}}) {
        GUIObject widget("KNOB");
        widget.Read(bytes);
        EXPECT_STREQ(widget.binding.GetLabel(), "Master");
        EXPECT_EQ(widget.x, wantX);
        EXPECT_EQ(widget.properties[15], 0u);
    }
    GUIObject empty("KNOB");
    empty.Read({});
    EXPECT_EQ(std::make_tuple(empty.w, empty.h, empty.pageMask, empty.layer), std::make_tuple(0, 0, 0u, 0));
}

namespace {

// Counts its draws; the manager has no editor, so values stay out of it.
struct Counted : GUIObject {
    using GUIObject::GUIObject;
    GuiRect Draw() override
    {
        ++draws;
        return Rect();
    }
    int draws = 0;
};

}  // namespace

TEST(GUIObject, VisibilityAndUpdateFollowLayerPageAndDialog)
{
    guitest::RecordingWindow window;
    window.width = 200;
    window.height = 100;
    CUnifiedDC dc;
    ASSERT_TRUE(dc.CreateForWindow(&window));
    GUIHead head(&dc, nullptr);
    auto* back = static_cast<Counted*>(head.Adopt(std::make_unique<Counted>("BKGD")));
    auto* knob = static_cast<Counted*>(head.Adopt(std::make_unique<Counted>("KNOB")));
    auto* inDialog = static_cast<Counted*>(head.Adopt(std::make_unique<Counted>("BTTN")));
    head.Adopt(std::make_unique<Counted>("DLOG"))->dialogId = 3;
    back->layer = 0;
    inDialog->dialogId = 3;
    knob->x = 50;

    back->Update();  // the background layer: full redraws only
    EXPECT_EQ(back->draws, 0);
    EXPECT_TRUE(window.shown.empty());
    knob->Update();  // drawn, then its rectangle again with what lies above it
    EXPECT_EQ(knob->draws, 2);
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].x, 50);
    EXPECT_EQ(window.shown[0].w, 20);

    EXPECT_FALSE(inDialog->IsVisibleNow());
    inDialog->Update();
    EXPECT_EQ(inDialog->draws, 0);
    head.OpenDialog(0, 0, 3, 0);
    EXPECT_TRUE(inDialog->IsVisibleNow());
    const size_t shown = window.shown.size();
    inDialog->Update();  // a dialog widget redraws the whole window
    EXPECT_EQ(window.shown.back().w, 200);
    EXPECT_GT(window.shown.size(), shown);
    EXPECT_EQ(back->draws, 2);  // the dialog's opening and the widget's update

    knob->pageMask = 0;
    EXPECT_FALSE(knob->IsVisibleNow());
    knob->pageMask = 1u << 4;
    EXPECT_FALSE(knob->IsVisibleNow());
    head.SetPage(36);  // pages count modulo 32
    EXPECT_TRUE(knob->IsVisibleNow());

    // In edit mode a move without the button changes no selection.
    head.CloseDialog();
    head.SetEditMode(true);
    head.OnMouseMove(0, 55, 5);
    EXPECT_FALSE(knob->IsActive());
    head.SetEditMode(false);
    head.OnMouseMove(0, 55, 5);
    EXPECT_TRUE(knob->IsActive());
}

TEST(GUIObject, LayoutEditMoveGrabsEvenPixelsAndStaysInside)
{
    GUIObject w("KNOB");
    w.x = 100;
    w.y = 50;
    w.w = 40;
    w.h = 30;
    w.BeginMove(111, 63);
    EXPECT_EQ(w.grabX, 10);
    EXPECT_EQ(w.grabY, 12);
    GuiRect dirty = w.MoveWithPointer(121, 73, 960, 650);
    EXPECT_EQ(w.x, 111);
    EXPECT_EQ(w.y, 61);
    EXPECT_EQ(dirty, (GuiRect{100, 50, 151, 91}));
    w.MoveWithPointer(5000, 5000, 960, 650);
    EXPECT_EQ(w.x, 920);
    EXPECT_EQ(w.y, 620);
    w.MoveWithPointer(INT32_MIN, -5, 960, 650);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, 0);
}
