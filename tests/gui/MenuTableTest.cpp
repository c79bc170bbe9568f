// The menu table against the menus as listed for the product: item count,
// first and last row of every menu, and the layout rules the walks rely on.
#include "gui/CUIMenuResource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// One row as expected: kind 'i' item (value), 'l' link (submenu id), 's'
// separator. A null short text means "the same as the long text".
struct Row {
    char kind;
    int32_t value;
    const char* text;
    const char* shortText;
};
struct Expect {
    uint32_t id;
    int count;
    Row first;
    Row last;
};

Row It(int32_t v, const char* t, const char* s = nullptr) { return {'i', v, t, s}; }
Row Ln(int32_t m, const char* t) { return {'l', m, t, nullptr}; }
Row Sep() { return {'s', 0, nullptr, nullptr}; }

// Typed from the menu listing, independently of the table's source.
std::vector<Expect> ListedMenus()
{
    std::vector<Expect> e = {
        {1, 20, It(50, "Property editor"), It(49, "Design mode")},
        {400, 8, It(1, "Knob (big)"), It(54, "Tempo bpm")},
        {401, 12, It(6, "Button 0"), It(47, "Arp Button")},
        {402, 4, It(8, "Edit field"), It(29, "Big Info field")},
        {403, 2, It(11, "Selection (std)"), It(12, "Selection (edit)")},
        {404, 8, It(24, "Open project"), It(38, "WR: Record")},
        {405, 9, It(53, "8D Access"), It(59, "Category buttons")},
        {406, 4, It(18, "Dialog"), It(57, "About box")},
        {407, 1, It(27, "Level meter"), It(27, "Level meter")},
        {2, 4, It(52, "Modulation"), It(54, "MIDI forget")},
        {4, 2, It(53, "MIDI learn"), It(54, "MIDI forget")},
        {6, 8, It(50, "Property editor"), It(54, "MIDI forget")},
        {3, 3, Ln(500, "Colors (normal)"), Sep()},
        {500, 10, It(0, "RGB (standard)"), It(9, "Blue&White")},
        {501, 7, It(10, "invers RGB"), It(16, "invers Black&White")},
        {280, 23, It(1, "Load bank..."), It(11, "Wave recorder")},
        {510, 7, It(20, "profiZAVO"), It(26, "anaZAVO")},
        {511, 7, It(40, "profiZAVO"), It(46, "anaZAVO")},
        {100, 14, It(0, "Sawtooth"), It(65, "Sample")},
        {1000, 12, It(5, "Formant 1"), It(16, "Formant 12")},
        {1001, 7, It(17, "VocSource"), It(23, "Vocal U")},
        {1002, 7, It(24, "Add 3"), It(30, "not Prime")},
        {1003, 12, It(31, "ResoPulse 1"), It(42, "ResoPulse12")},
        {1004, 12, It(43, "Slope 1"), It(54, "Slope 12")},
        {1005, 9, It(55, "NegSlope 1"), It(63, "NegSlope 9")},
        {110, 17, It(0, "OFF", ""), Ln(1204, "MEnv*Velocity")},
        {1200, 4, It(5, "EG 1"), It(8, "EG 4")},
        {1201, 4, It(15, "EG 1*Vel"), It(24, "EG 4*Vel")},
        {1202, 7, It(9, "LFO 1"), It(18, "LFO 3*Aftertouch", "lfo3*AT")},
        {1203, 4, It(27, "MEG 1"), It(30, "MEG 4")},
        {1204, 4, It(31, "MEG 1V"), It(34, "MEG 4V")},
        {120, 21, It(0, "Pitch"), Ln(1227, "Modulation")},
        {1210, 2, It(1, "Pitch", "Pitch 1"), It(2, "WM", "WM 1")},
        {1211, 3, It(3, "Pitch", "Pitch 2"), It(5, "FM", "FM 2")},
        {1212, 2, It(6, "Pitch", "Pitch 3"), It(7, "FM", "FM 3")},
        {1213, 5, It(55, "Pitch", "Pitch S"), It(82, "Morph")},
        {1214, 6, It(8, "Input 1 level", "Mix 1"), It(12, "Input 5 level", "Mix 5")},
        {1215, 5, It(13, "Cutoff", "Cutoff 1"), It(16, "Drive", "Drive 1")},
        {1216, 5, It(41, "Cutoff", "Cutoff 2"), It(44, "Drive", "Drive 2")},
        {1217, 13, It(40, "Depth", "FFDepth"), It(39, "Level 3", "FF Lvl3")},
        {1228, 3, It(87, "TCutoff"), It(89, "TMorph")},
        {1218, 4, It(22, "Volume"), It(83, "Crossfade", "XFade")},
        {1219, 6, It(24, "EG 1..4 all times", "Time"), Ln(1223, "EG 4")},
        {1220, 5, It(25, "All times", "EGxtime"), It(60, "Release", "EG1 R")},
        {1221, 5, It(27, "All times", "EGxtime"), It(63, "Release", "EG2 R")},
        {1222, 5, It(64, "All times", "EGxtime"), It(68, "Release", "EG3 R")},
        {1223, 5, It(69, "All times", "EGxtime"), It(73, "Release", "EG4 R")},
        {1224, 9, It(29, "LFO 1 rate", "lfo1 rate"), It(81, "LFO 4 level", "lfo4 lvl")},
        {1225, 4, It(18, "Input level", "WD lvl"), It(21, "Resonance", "WD reso")},
        {1226, 1, It(17, "Input level", "SH lvl"), It(17, "Input level", "SH lvl")},
        {1227, 11, It(45, "Amount 11", "Amnt 11"), It(54, "Amount 20", "Amnt 20")},
        {312, 10, It(0, "none"), It(8, "8D 4-Y")},
        {313, 16, It(0, "Vocal A"), It(15, "no filter")},
        {314, 14, It(0, "no cat"), It(13, "FX")},
        {318, 2, It(0, "one shot"), It(1, "loop")},
        {320, 2, It(0, "open"), It(1, "remove")},
        {130, 7, It(0, "Sine"), It(6, "Rand")},
        {140, 10, It(0, "24dB LP I"), It(3, "12dB Notch")},
        {141, 2, It(0, "Peak filter"), It(1, "Notch filter")},
        {150, 8, It(0, "Key trigger"), It(6, "LFO 4")},
        {160, 3, It(0, "1 / 1"), It(2, "1 / 4")},
        {170, 16, It(0, "none"), It(15, "1 bit")},
        {180, 5, It(0, "Part"), It(4, "MIDI R")},
        {322, 9, It(0, "unison off"), It(8, "8/voice")},
        {190, 11, It(0, "6 Osc"), It(10, "6 Osc Minor")},
        {200, 3, It(0, "Phaser"), It(2, "Chorus")},
        {220, 4, It(0, "Distortion"), It(3, "Tube distortion", "Tube")},
        {210, 3, It(0, "Stereo delay", "Stereo dly"), It(2, "Cross delay", "Cross dly")},
        {230, 17, It(0, "Custom"), It(15, "Free 3")},
        {270, 33, It(0, "(open)", ""), Ln(1233, "Modulators")},
        {1230, 3, It(1, "Osc 1 (mono)", "Osc 1"), It(43, "Osc 1 (right)", "Osc 1R")},
        {1231, 3, It(2, "Osc 2 (mono)", "Osc 2"), It(45, "Osc 2 (right)", "Osc 2R")},
        {1232, 3, It(3, "Osc 3 (mono)", "Osc 3"), It(47, "Osc 3 (right)", "Osc 3R")},
        {1233, 15, It(30, "MEG1"), Sep()},
        {240, 3, It(0, "Last key", "Last"), It(2, "High key", "High")},
        {250, 2, It(0, "Glide"), It(1, "Glissando")},
        {260, 2, It(0, "normal"), It(1, "fingered")},
        {316, 2, It(0, "Velocity"), It(1, "Controller")},
        {271, 16, It(0, "Channel 1", "1"), It(15, "Channel 16", "16")},
        {315, 17, It(0, "ZAVO"), It(16, "MIDI Channel 16", "MIDI ch 16")},
        {272, 22, It(0, "0 Voices", "-"), It(32, "32 Voices", "32 v")},
        {274, 9, It(0, "+/-0"), It(36, "+/-36")},
        {275, 6, It(0, "96000 Hz"), It(5, "22050 Hz")},
        {276, 24, It(0, "Mid-size", ""), It(23, "Shakey", "")},
        {277, 24, It(0, "Light", ""), It(23, "Cute", "")},
        {278, 24, It(51, "Copy spectrum"), It(15, "Vocal U")},
        {279, 8, It(0, "Master"), It(7, "Out 8")},
        {300, 26, It(1000, "Gate time 100%"), Ln(1027, "mMaj7")},
        {301, 6, Ln(1040, "1/32"), Ln(1045, "1/1")},
        {1040, 3, It(1, "standard"), It(2, "dotted")},
        {1041, 3, It(4, "standard"), It(5, "dotted")},
        {1042, 3, It(7, "standard"), It(8, "dotted")},
        {1043, 3, It(10, "standard"), It(11, "dotted")},
        {1044, 3, It(13, "standard"), It(14, "dotted")},
        {1045, 3, It(16, "standard"), It(17, "dotted")},
        {302, 10, It(0, "next key"), It(8, "8. key")},
        {303, 6, It(0, "none"), It(6, "record")},
        {304, 8, It(1, "1 octaves", "1 oct."), It(8, "8 octaves", "8 oct.")},
        {305, 7, Ln(1070, "1/32"), Ln(1076, "rhythmic")},
        {1070, 3, It(1, "1/32"), It(2, "1/32-")},
        {1071, 3, It(4, "1/16"), It(5, "1/16-")},
        {1072, 3, It(7, "1/8"), It(8, "1/8-")},
        {1073, 3, It(10, "1/4"), It(11, "1/4-")},
        {1074, 3, It(13, "1/2"), It(14, "1/2-")},
        {1075, 3, It(16, "1/1"), It(17, "1/1-")},
        {1076, 8, It(18, "R1"), It(25, "R8")},
        {306, 4, It(0, "up"), It(3, "rand")},
        {321, 3, It(0, "off"), It(3, "hold")},
        {307, 9, Ln(1080, "2 Octaves up"), Ln(1085, "2 Octave down")},
        {1080, 13, It(24, "+0"), It(36, "+12")},
        {1081, 12, It(12, "+0"), It(23, "+11")},
        {1082, 12, It(0, "+0"), It(11, "+11")},
        {1083, 12, It(0, "-0"), It(-11, "-11")},
        {1084, 12, It(-12, "-0"), It(-23, "-11")},
        {1085, 13, It(-24, "-0"), It(-36, "-12")},
        {308, 8, It(1, "Copy pattern"), Ln(1086, "Randomize pattern")},
        {1086, 7, It(6, "Steps"), It(12, "All parameters")},
        {309, 5, It(0, "1/4"), It(4, "4")},
        {399, 5, It(0, "Help..."), It(4, "Edit layout")},  // no web item without an address
        {10070, 16, It(0, "001-(empty)", ""), It(15, "016-(empty)", "")},
        {10080, 16, It(0, "sequ 1", ""), It(15, "sequ 16", "")},
        {10090, 16, It(1, "String body"), It(16, "[Randomize]")},
        {310, 13, It(0, "AD"), It(111, "Save as...")},
        {1400, 10, It(51, "R1"), It(60, "R10")},
        {311, 11, It(1, "Impulse"), It(104, "Randomize")},
        {319, 3, It(0, "Velocity"), It(2, "ModWheel")},
        {101, 4, It(0, "additive"), It(3, "operator")},
        {273, 10, It(0, "no split", "nosplit"), Ln(1107, "Octave C6")},
        {317, 11, Ln(1299, "Octave C-2"), Ln(1309, "Octave C8")},
        {10000, 33, It(0, "<empty>"), It(0, "<empty>")},
        {10010, 33, It(0, "<empty>"), It(0, "<empty>")},
        {10020, 32, It(0, "<empty>"), It(31, "<empty>")},
        {10030, 32, It(0, "<empty>"), It(31, "<empty>")},
        {10040, 8, Ln(10041, "Program 1-16"), Ln(10048, "Program 113-128")},
        {10050, 8, Ln(10051, "Bank 0-15"), Ln(10058, "Bank 112-127")},
        {10060, 8, Ln(10061, "Program 1-16"), Ln(10068, "Program 113-128")},
    };
    // Chord inversions: 1010..1016 hold three chords, 1017..1027 four, the
    // values running on from menu to menu.
    static const char* const inversion[] = {"", "", "2.inversion", "3.inversion"};
    for (int m = 0, v = 1; m < 18; ++m) {
        const int n = m < 7 ? 3 : 4;
        e.push_back({1010u + m, n, It(v, "base"), It(v + n - 1, inversion[n - 1])});
        v += n;
    }
    // Octaves of key names: 1100..1107 from C-1, 1299..1309 from C-2 (the last
    // ends at G8).
    static std::deque<std::string> names;  // keeps the texts' storage alive
    auto note = [](const char* letter, int o) { return names.emplace_back(letter + std::to_string(o)).c_str(); };
    for (int k = 0; k < 8; ++k)
        e.push_back({1100u + k, 12, It(12 * k + 12, note("C", k - 1)), It(12 * k + 23, note("B", k - 1))});
    for (int k = 0; k < 11; ++k)
        e.push_back({1299u + k, k < 10 ? 12 : 8, It(12 * k, note("C", k - 2)),
                     k < 10 ? It(12 * k + 11, note("B", k - 2)) : It(127, "G8")});
    // The 24 program submenus: 16 slots each, numbered from 1 in the text.
    static const char* const firstText[] = {"001-(empty)", "017-(empty)", "033-(empty)", "049-(empty)",
                                            "065-(empty)", "081-(empty)", "097-(empty)", "113-(empty)"};
    static const char* const lastText[] = {"016-(empty)", "032-(empty)", "048-(empty)", "064-(empty)",
                                           "080-(empty)", "096-(empty)", "112-(empty)", "128-(empty)"};
    for (uint32_t base : {10040u, 10050u, 10060u})
        for (int k = 0; k < 8; ++k)
            e.push_back({base + 1 + k, 16, It(16 * k, firstText[k], ""), It(16 * k + 15, lastText[k], "")});
    return e;
}

std::vector<int> RowsOf(uint32_t id)
{
    std::vector<int> rows;
    for (int i = 0; i < kMenuRows; ++i)
        if (CUIMenuResource::Entry(i).menuId == id) rows.push_back(i);
    return rows;
}

void ExpectRow(const MenuEntry& e, const Row& r, const std::string& where)
{
    SCOPED_TRACE(where);
    switch (r.kind) {
    case 's': EXPECT_EQ(e.type, kMenuSeparator); return;
    case 'l':
        EXPECT_EQ(e.type, kMenuLink);
        EXPECT_EQ(e.submenu, uint32_t(r.value));
        break;
    default:
        EXPECT_EQ(e.type, kMenuItem);
        EXPECT_EQ(e.value, r.value);
        EXPECT_STREQ(e.shortText, r.shortText ? r.shortText : r.text);
        break;
    }
    EXPECT_STREQ(e.text, r.text);
}

}  // namespace

TEST(MenuTable, EveryListedMenuHasItsRowsAndNoOtherMenuExists)
{
    CUIMenuResource view;
    const std::vector<Expect> listed = ListedMenus();
    std::set<uint32_t> ids;
    int total = 0;
    for (const Expect& x : listed) {
        ASSERT_TRUE(ids.insert(x.id).second) << "menu listed twice: " << x.id;
        const std::vector<int> rows = RowsOf(x.id);
        const std::string where = "menu " + std::to_string(x.id);
        ASSERT_EQ(int(rows.size()), x.count) << where;
        total += x.count;
        for (size_t p = 0; p < rows.size(); ++p)
            EXPECT_EQ(CUIMenuResource::Entry(rows[p]).position, p + 1) << where;
        ExpectRow(CUIMenuResource::Entry(rows.front()), x.first, where + " first");
        ExpectRow(CUIMenuResource::Entry(rows.back()), x.last, where + " last");
    }
    // Rows 1..total are used without a gap and only by listed menus; row 0
    // and everything after are free.
    ASSERT_LT(total, kMenuRows);
    EXPECT_EQ(CUIMenuResource::Entry(0).menuId, 0u);
    for (int i = 1; i <= total; ++i) EXPECT_TRUE(ids.count(CUIMenuResource::Entry(i).menuId)) << "row " << i;
    for (int i = total + 1; i < kMenuRows; ++i) ASSERT_EQ(CUIMenuResource::Entry(i).menuId, 0u) << "row " << i;
    for (int i = 0; i < kMenuRows; ++i) ASSERT_EQ(CUIMenuResource::Entry(i).resultId, uint32_t(i));
}

TEST(MenuTable, SubmenusFollowTheirLinkAndEveryMenuIsOneBlock)
{
    CUIMenuResource view;
    std::map<uint32_t, int> linkedFrom;
    for (int i = 1; i < kMenuRows; ++i) {
        const MenuEntry& e = CUIMenuResource::Entry(i);
        if (e.menuId == 0 || e.type != kMenuLink) continue;
        ASSERT_EQ(CUIMenuResource::FindFirstRow(e.submenu), i + 1) << "link in row " << i;
        EXPECT_TRUE(linkedFrom.emplace(e.submenu, i).second) << "menu linked twice: " << e.submenu;
    }
    // Between a menu's first and last row stand only its own rows and the
    // rows of menus nested below it.
    std::map<uint32_t, uint32_t> parent;
    for (const auto& [sub, row] : linkedFrom) parent[sub] = CUIMenuResource::Entry(row).menuId;
    auto below = [&](uint32_t id, uint32_t ancestor) {
        for (int depth = 0; depth < 8 && parent.count(id); ++depth)
            if ((id = parent[id]) == ancestor) return true;
        return false;
    };
    for (int i = 1; i < kMenuRows; ++i) {
        const uint32_t id = CUIMenuResource::Entry(i).menuId;
        if (id == 0 || CUIMenuResource::FindFirstRow(id) != i) continue;
        const std::vector<int> rows = RowsOf(id);
        for (int r = rows.front(); r <= rows.back(); ++r) {
            const uint32_t other = CUIMenuResource::Entry(r).menuId;
            EXPECT_TRUE(other == id || below(other, id)) << "row " << r << " inside menu " << id;
        }
    }
}

TEST(MenuTable, RowsMadeByRuleFollowTheirPattern)
{
    CUIMenuResource view;
    // Every MIDI note 0..127 is named once in the sample-key octaves, and the
    // names run C, C#, .. B with the octave number after the letter.
    static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    for (int v = 0; v < 128; ++v) {
        char expect[16];
        snprintf(expect, sizeof expect, "%s%d", names[v % 12], v / 12 - 2);
        EXPECT_STREQ(CUIMenuResource::TextOfValue(317, v), expect) << v;
        if (v >= 12 && v <= 107) {
            EXPECT_STREQ(CUIMenuResource::TextOfValue(273, v), expect) << v;
        }
    }
    EXPECT_STREQ(CUIMenuResource::TextOfValue(273, 0), "nosplit");
    // Program slots: value v is text v + 1 with three digits.
    for (uint32_t base : {10040u, 10050u, 10060u})
        for (int v = 0; v < 128; ++v) {
            const int row = CUIMenuResource::FindFirstRow(base + 1 + v / 16) + v % 16;
            char expect[24];  // room for any int: unoptimised, the compiler sees no bound on v
            snprintf(expect, sizeof expect, "%03d-(empty)", v + 1);
            EXPECT_STREQ(CUIMenuResource::Entry(row).text, expect);
            EXPECT_EQ(CUIMenuResource::Entry(row).value, v);
            EXPECT_STREQ(CUIMenuResource::Entry(row).shortText, "");
        }
    // Device menus: MIDI devices are numbered by position, audio rows are 0.
    for (int p = 0; p < 32; ++p) {
        EXPECT_EQ(CUIMenuResource::Entry(CUIMenuResource::FindFirstRow(10020) + p).value, p);
        EXPECT_EQ(CUIMenuResource::Entry(CUIMenuResource::FindFirstRow(10030) + p).value, p);
        EXPECT_EQ(CUIMenuResource::Entry(CUIMenuResource::FindFirstRow(10010) + p).value, 0);
    }
    // The one row built checked.
    for (int i = 0; i < kMenuRows; ++i) {
        const MenuEntry& e = CUIMenuResource::Entry(i);
        EXPECT_EQ(e.checked, e.menuId == 312 && e.position == 1 ? 1 : 0) << "row " << i;
    }
}
