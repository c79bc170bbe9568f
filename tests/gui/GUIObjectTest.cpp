#include "gui/GUIObject.h"

#include <gtest/gtest.h>

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
