#include "params/CIParameter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr const char* N = nullptr;

std::string Text(const char* t) { return t ? "\"" + std::string(t) + "\"" : "null"; }

// Field by field; a null text and an empty one are different things.
void ExpectSame(const CIParameter& want, const CIParameter& got)
{
    SCOPED_TRACE(testing::Message() << "row (" << want.group << ", " << want.index << ", " << want.sub
                                    << ")");
    EXPECT_EQ(want.kind, got.kind);
    EXPECT_EQ(want.group, got.group);
    EXPECT_EQ(want.index, got.index);
    EXPECT_EQ(want.sub, got.sub);
    EXPECT_EQ(want.displayType, got.displayType);
    EXPECT_EQ(want.flags, got.flags);
    EXPECT_EQ(want.scale, got.scale);
    EXPECT_EQ(want.min, got.min);
    EXPECT_EQ(want.max, got.max);
    EXPECT_EQ(want.defaultValue, got.defaultValue);
    EXPECT_EQ(want.step, got.step);
    EXPECT_EQ(want.listId, got.listId);
    EXPECT_EQ(want.contextMenuId, got.contextMenuId);
    EXPECT_EQ(want.moduleMask, got.moduleMask);
    EXPECT_EQ(Text(want.label), Text(got.label));
    EXPECT_EQ(Text(want.name), Text(got.name));
    EXPECT_EQ(Text(want.hint), Text(got.hint));
    EXPECT_EQ(want.bipolar, got.bipolar);
    EXPECT_EQ(want.available, got.available);
}

size_t Position(const CIParameter* row) { return size_t(row - ParameterTable.begin()); }

}  // namespace

// The table is what layout files bind to: its blocks, their order and sizes,
// and the two flags that buttons act on.
TEST(ParameterTable, BlocksCountsAndUniqueTriples)
{
    ASSERT_EQ(ParameterTable.size(), CParameterTable::kRows);

    std::vector<std::pair<uint32_t, int>> blocks;  // group, rows in a run
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> triples;
    int sound = 0, oneShot = 0;
    for (const CIParameter& row : ParameterTable) {
        if (blocks.empty() || blocks.back().first != row.group) blocks.push_back({row.group, 0});
        ++blocks.back().second;
        EXPECT_TRUE(triples.insert({row.group, row.index, row.sub}).second)
            << "repeated (" << row.group << ", " << row.index << ", " << row.sub << ")";
        sound += (row.flags & CIParameter::kFlagSound) != 0;
        oneShot += (row.flags & CIParameter::kFlagOneShot) != 0;
        EXPECT_EQ(row.flags & CIParameter::kFlagMomentary, 0u);
        EXPECT_NE(row.label, nullptr);
        EXPECT_EQ(row.kind, row.group == 4 || row.group == 5 ? CIParameter::kCommand : CIParameter::kValue);
    }
    const std::vector<std::pair<uint32_t, int>> want = {
        {0, 352}, {1, 176}, {2, 19}, {5, 16}, {4, 33}, {3, 82},
        {7, 12}, {3, 29}, {8, 104}, {9, 5}, {10, 1}};
    EXPECT_EQ(blocks, want);
    EXPECT_EQ(sound, 521);
    EXPECT_EQ(oneShot, 22);  // the 17 commands, Open, New, Stop recording, and the property dialog's OK and Cancel

    // Places where runs made by loops meet rows written out.
    const std::vector<std::tuple<size_t, uint32_t, uint32_t, uint32_t>> at = {
        {0, 0, 1, 0},       {35, 0, 36, 0},      {54, 0, 55, 0},     {55, 0, 62, 0},
        {61, 0, 65, 0},     {81, 0, 85, 0},      {101, 0, 145, 0},   {271, 0, 395, 0},
        {272, 0, 36, 1010}, {292, 0, 36, 1011},  {312, 0, 65, 1000}, {332, 0, 65, 1001},
        {351, 0, 84, 1001}, {352, 1, 2, 0},      {353, 1, 1026, 0},  {368, 1, 0, 0},
        {527, 1, 15374, 0}, {547, 5, 140, 0},    {563, 4, 0, 1},     {580, 4, 1, 100},
        {605, 3, 43, 0},    {620, 3, 10, 0},     {624, 3, 174, 0},   {626, 3, 14, 0},
        {644, 3, 136, 1},   {677, 3, 170, 0},    {678, 7, 32, 0},    {690, 3, 30, 0},
        {695, 3, 80, 0},    {718, 3, 176, 0},    {727, 8, 5, 0},     {743, 8, 6, 0},
        {822, 8, 14, 15},   {828, 10, 1, 0}};
    for (auto [pos, group, index, sub] : at) {
        const CIParameter& row = ParameterTable[pos];
        EXPECT_EQ(std::make_tuple(row.group, row.index, row.sub), std::make_tuple(group, index, sub))
            << "at " << pos;
    }
}

TEST(ParameterTable, FindHitsAndMisses)
{
    struct Hit {
        uint32_t group, index, sub;
        size_t position;
    };
    for (const Hit& h : std::vector<Hit>{{0, 36, 1010, 272},
                                         {0, 36, 0, 35},
                                         {0, 65, 1000, 312},
                                         {1, 1026, 0, 353},
                                         {1, 15374, 0, 527},
                                         {8, 7, 15, 774},
                                         {10, 1, 0, 828},
                                         {4, 1, 115, 595},
                                         {5, 140, 15, 562}}) {
        const CIParameter* row = CIParameter::Find(h.group, h.index, h.sub);
        ASSERT_NE(row, nullptr) << h.group << ", " << h.index << ", " << h.sub;
        EXPECT_EQ(Position(row), h.position);
    }
    // Kind is not part of the address: a group 4 triple finds its kind 1 row.
    EXPECT_EQ(CIParameter::Find(4, 0, 1)->kind, CIParameter::kCommand);

    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> misses = {
        {0, 36, 1}, {4, 1, 6}, {6, 0, 0}, {0, 0, 0}, {0, 36, 1012}, {1, 16 << 10 | 2, 0},
        {5, 140, 16}, {8, 5, 16}, {8, 23, 1}, {3, 136, 0}, {10, 0, 0}, {~0u, ~0u, ~0u}};
    for (auto [group, index, sub] : misses)
        EXPECT_EQ(CIParameter::Find(group, index, sub), nullptr) << group << ", " << index << ", " << sub;
}

TEST(ParameterTable, RowsFieldByField)
{
    const std::vector<CIParameter> want = {
        // kind, group, index, sub, type, flags, scale, min, max, default, step, context menu,
        // list, module, label, name, hint, bipolar[, available]
        {0, 0, 1, 0, 2, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 0, 0, "WM", "Osc1 WM", "Osc 1 wave modulation", 1},
        {0, 0, 55, 0, 13, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 0, 0, "", "MdAmnt20", N, 1},
        {0, 0, 104, 0, 12, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 120, 0, "", "", N, 0},
        {0, 0, 146, 0, 8, 0x20, 128, 0, 128, 0.5f, 0.015625f, 0, 274, 0, "Bend", "", "Pitchbend range", 0},
        {0, 0, 57, 0, 13, 0, 128, 0, 128, 0.5f, 0.1f, 0, 0, 0, "", "", N, 0},
        {0, 0, 161, 0, 8, 0x20, 96, 0, 96, 0.5f, 0.1251f, 0, 0, 2, "", "Osc2 semi", "Semitone", 1},
        {0, 0, 329, 0, 13, 0x20, 32, 0, 128, 0, 0.1f, 0, 0, 16384, "Raster", "SpecOscRaster", "Partial raster", 0},
        {0, 0, 280, 0, 13, 0x20, 128, 0.5f, 128, 0, 0.1f, 0, 0, 0x40000000, "Spread", "MFxSpread", N, 0},
        {0, 0, 316, 0, 1, 0x20, 1, 0, 1, 0.5f, 0.1f, 0, 0, 0, "", N, "On/Off", 0},
        {0, 0, 65, 1001, 12, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 110, 0, "", "", N, 0},
        {0, 1, 1026, 0, 13, 0x20, 128, 0, 128, 0.725f, 0.1f, 0, 0, 0, "Part 2", "", N, 0},
        {0, 1, 15 << 10 | 14, 0, 12, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 279, 0, "", "", "Audio output selection", 0, 0},
        {0, 1, 3 << 10 | 9, 0, 1, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, "", "", N, 0},
        {0, 2, 24, 0, 1, 0x20, 128, 0, 128, 0.5f, 0.1f, 0, 0, 0, "", N, N, 0},
        {1, 5, 140, 7, 1, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, "", N, N, 0},
        {1, 4, 1, 7, 14, 0, 1000, 0, 1000, 0, 10, 0, 0, 0, "Typ", N, "0=Part 1=Mix 2=Glob 3=Sys 4=Dlg", 0},
        {1, 4, 1, 109, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Image 10", N, "Image ID for image 10", 0},
        {0, 3, 50, 0, 12, 0, 128, 0, 128, 0, 0.1f, 0, 10060, 0, "", N, "select program for part 11", 0},
        {0, 3, 25, 0, 12, 0, 128, 0, 128, 0, 0.1f, 0, 0, 0, "16", N, "select part 16", 0},
        {0, 3, 156, 0, 1, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, "3y", N, "Assign parameter to 8D 3Y ", 0},
        {0, 3, 148, 0, 15, 0, 128, 0, 128, 0, 0.1f, 0, 0, 0, "3-Y", N, "", 0},
        {0, 3, 96, 0, 13, 0x20, 128, 0, 128, 0, 0.1f, 0, 0, 0, "Latency", "", "DirectX Latency", 0},
        {0, 3, 171, 0, 1, 0x40, 1, 0, 1, 0.5f, 0.1f, 0, 0, 0, "", N, "Open editor", 0},
        {0, 7, 46, 4, 1, 0x40, 1, 0, 1, 0, 0.1f, 0, 0, 0, "", N, "fast rewind", 0},
        {0, 7, 29, 0, 12, 0x20, 1, 0, 1, 0.5f, 0.1f, 0, 316, 0, "", N, "", 0},
        {0, 8, 5, 0, 12, 0, 128, 0, 128, 0.5f, 0.1f, 320, 0, 0, "", N, "Open sample", 0},
        {0, 8, 14, 9, 2, 0, 100, 0, 100, 0.5f, 0.1f, 0, 0, 0, "", N, "loop end", 0},
        {0, 8, 23, 0, 15, 0, 128, 0, 128, 0, 0.1f, 0, 0, 0, "", N, "", 0},
        {0, 9, 0, 0, 15, 0, 128, 0, 128, 0, 0.1f, 0, 0, 0, "", N, "Select wave file for recording", 0},
        {0, 10, 1, 0},
    };
    for (const CIParameter& w : want) {
        const CIParameter* got = CIParameter::Find(w.group, w.index, w.sub);
        ASSERT_NE(got, nullptr) << w.group << ", " << w.index << ", " << w.sub;
        ExpectSame(w, *got);
    }

    // The matrix copies repeat their row in every field but sub, texts shared.
    for (uint32_t id : {36u, 47u, 65u, 84u}) {
        const CIParameter& base = *CIParameter::Find(0, id, 0);
        for (uint32_t sub : id < 65 ? std::vector<uint32_t>{1010, 1011} : std::vector<uint32_t>{1000, 1001}) {
            CIParameter copy = *CIParameter::Find(0, id, sub);
            EXPECT_EQ(copy.name, base.name);
            copy.sub = 0;
            ExpectSame(base, copy);
        }
    }
}

TEST(CIParameter, ConstructorsCopiesAndReset)
{
    // Unbound, and built from an address only.
    ExpectSame(CIParameter(0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, "", "", N, 0), CIParameter());
    ExpectSame(CIParameter(1, 4, 1, 8, 0, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, "", "", N, 0), CIParameter(1, 4, 1, 8));
    // The full constructor takes the context menu before the list.
    const CIParameter menus(0, 8, 1, 2, 12, 0, 1, 0, 1, 0, 0.1f, 320, 317, 0, "l", "n", "h", 0);
    EXPECT_EQ(menus.contextMenuId, 320u);
    EXPECT_EQ(menus.listId, 317u);
    EXPECT_EQ(menus.available, 1);

    // Copies share the texts of the table row they came from.
    const CIParameter& row = *CIParameter::Find(0, 146, 0);
    CIParameter copy(row);
    ExpectSame(row, copy);
    EXPECT_EQ(copy.label, row.label);
    EXPECT_EQ(copy.hint, row.hint);
    CIParameter assigned;
    assigned = *CIParameter::Find(4, 1, 7);
    ExpectSame(*CIParameter::Find(4, 1, 7), assigned);
    EXPECT_EQ(assigned.hint, CIParameter::Find(4, 1, 7)->hint);

    // Reset keeps kind, scale and name and leaves a label that can be drawn.
    assigned.Reset();
    ExpectSame(CIParameter(1, 0, 0, 0, 0, 0, 1000, 0, 1, 0.5f, 0.1f, 0, 0, 0, "", N, N, 0), assigned);
    copy.Reset();
    ExpectSame(CIParameter(0, 0, 0, 0, 0, 0, 128, 0, 1, 0.5f, 0.1f, 0, 0, 0, "", "", N, 0), copy);
    EXPECT_EQ(copy.name, row.name);
    EXPECT_STREQ(copy.GetLabel(), "");
    // A reset binding names no row, so nothing can be routed through it.
    EXPECT_EQ(CIParameter::Find(copy.group, copy.index, copy.sub), nullptr);

    // Resetting a widget's binding never touches the table.
    EXPECT_STREQ(row.GetLabel(), "Bend");
    const CIParameter nullLabel(0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0.1f, 0, 0, 0, nullptr, N, N, 0);
    EXPECT_STREQ(nullLabel.GetLabel(), "");
}
