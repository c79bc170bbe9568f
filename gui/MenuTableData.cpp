// The rows of the menu table. Menus are written down here in a readable
// order; the builder lays them out so that every submenu's rows follow the
// row that links to it, and numbers positions and result ids itself.
#include "gui/CUIMenuResource.h"
#include "gui/GUIBackground.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct RowDef {
    uint32_t type;
    int32_t value;        // item value, or the submenu id of a link
    const char* text;
    const char* shortText;  // nullptr: the same as text
    uint8_t checked;
};

struct MenuDef {
    uint32_t id;
    std::vector<RowDef> rows;
};

RowDef I(int32_t value, const char* text, const char* shortText = nullptr, uint8_t checked = 0)
{
    return {kMenuItem, value, text, shortText, checked};
}
RowDef L(uint32_t submenu, const char* text) { return {kMenuLink, int32_t(submenu), text, nullptr, 0}; }
RowDef S() { return {kMenuSeparator, 0, "", "", 0}; }

// Texts made by the generating loops. They live for the whole process, like
// the literals; a deque never moves what it already holds.
const char* Keep(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
const char* Keep(const char* fmt, ...)
{
    static std::deque<std::string> pool;
    char buf[64];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return pool.emplace_back(buf).c_str();
}

class MenuList {
public:
    std::vector<MenuDef> defs;

    void Menu(uint32_t id, std::vector<RowDef> rows) { defs.push_back({id, std::move(rows)}); }

private:
    // A run of items with numbered names and consecutive values.
    void Numbered(uint32_t id, int32_t firstValue, int count, const char* fmt,
                  const char* fmtFrom10 = nullptr)
    {
        std::vector<RowDef> rows;
        for (int n = 1; n <= count; ++n)
            rows.push_back(I(firstValue + n - 1, Keep(n >= 10 && fmtFrom10 ? fmtFrom10 : fmt, n)));
        Menu(id, std::move(rows));
    }
    // Wave groups of the oscillator waveform menu.
    void WaveGroups(uint32_t id)
    {
        switch (id) {
        case 1000: Numbered(1000, 5, 12, "Formant %d"); break;
        case 1003: Numbered(1003, 31, 12, "ResoPulse %d", "ResoPulse%d"); break;
        case 1004: Numbered(1004, 43, 12, "Slope %d"); break;
        case 1005: Numbered(1005, 55, 9, "NegSlope %d"); break;
        }
    }
    void BitReduction()
    {
        std::vector<RowDef> rows{I(0, "none")};
        for (int n = 1; n <= 15; ++n) rows.push_back(I(n, Keep("%d bit", 16 - n)));
        Menu(170, std::move(rows));
    }
    void MidiChannels()
    {
        std::vector<RowDef> rows;
        for (int c = 1; c <= 16; ++c) rows.push_back(I(c - 1, Keep("Channel %d", c), Keep("%d", c)));
        Menu(271, std::move(rows));
    }
    void MidiOutTargets()
    {
        std::vector<RowDef> rows{I(0, "ZAVO")};
        for (int c = 1; c <= 16; ++c)
            rows.push_back(I(c, Keep("MIDI Channel %d", c), Keep("MIDI ch %d", c)));
        Menu(315, std::move(rows));
    }
    // Chords of the step menu: triads have a base and two inversions, the
    // four-note chords a third inversion; values count up across them.
    void Chords()
    {
        static const char* const names[] = {"base", "1.inversion", "2.inversion", "3.inversion"};
        int32_t value = 1;
        for (uint32_t id = 1010; id <= 1027; ++id) {
            const int count = id <= 1016 ? 3 : 4;
            std::vector<RowDef> rows;
            for (int i = 0; i < count; ++i) rows.push_back(I(value++, names[i]));
            Menu(id, std::move(rows));
        }
    }
    // Step lengths are numbered triplet, standard, dotted per note length,
    // but the menus list the standard length first.
    void StepLengths()
    {
        for (int k = 0; k < 6; ++k)
            Menu(1040 + k, {I(3 * k + 1, "standard"), I(3 * k, "triplet"), I(3 * k + 2, "dotted")});
    }
    void ArpRanges()
    {
        std::vector<RowDef> rows;
        for (int n = 1; n <= 8; ++n) rows.push_back(I(n, Keep("%d octaves", n), Keep("%d oct.", n)));
        Menu(304, std::move(rows));
    }
    void ArpClocks()
    {
        static const char* const lengths[] = {"1/32", "1/16", "1/8", "1/4", "1/2", "1/1"};
        for (int k = 0; k < 6; ++k)
            Menu(1070 + k, {I(3 * k + 1, lengths[k]), I(3 * k, Keep("%st", lengths[k])),
                            I(3 * k + 2, Keep("%s-", lengths[k]))});
    }
    void Rhythms(uint32_t id, int32_t firstValue, int count) { Numbered(id, firstValue, count, "R%d"); }
    // Song-cell transposition: each submenu counts semitones within its
    // octave, the outer ones up to the full two octaves.
    void Transposes()
    {
        struct Range { uint32_t id; int32_t first; int count; int sign; };
        static const Range ranges[] = {{1080, 24, 13, 1},   {1081, 12, 12, 1},   {1082, 0, 12, 1},
                                       {1083, 0, 12, -1},   {1084, -12, 12, -1}, {1085, -24, 13, -1}};
        for (const Range& r : ranges) {
            std::vector<RowDef> rows;
            for (int n = 0; n < r.count; ++n)
                rows.push_back(I(r.first + r.sign * n, Keep("%c%d", r.sign > 0 ? '+' : '-', n)));
            Menu(r.id, std::move(rows));
        }
    }
    void EmptySlots()
    {
        std::vector<RowDef> rows;
        for (int v = 0; v < 16; ++v) rows.push_back(I(v, Keep("%03d-(empty)", v + 1), ""));
        Menu(10070, std::move(rows));
    }
    void SequenceSlots()
    {
        std::vector<RowDef> rows;
        for (int v = 0; v < 16; ++v) rows.push_back(I(v, Keep("sequ %d", v + 1), ""));
        Menu(10080, std::move(rows));
    }

    // ---- Menus made entirely by rule ----
    static const char* NoteName(int value)
    {
        static const char* const names[] = {"C", "C#", "D", "D#", "E", "F",
                                            "F#", "G", "G#", "A", "A#", "B"};
        return Keep("%s%d", names[value % 12], value / 12 - 2);
    }
    void NoteOctave(uint32_t id, int32_t firstValue, int32_t lastValue)
    {
        std::vector<RowDef> rows;
        for (int32_t v = firstValue; v <= lastValue; ++v) rows.push_back(I(v, NoteName(v)));
        Menu(id, std::move(rows));
    }
    void KeySplitNotes()
    {
        std::vector<RowDef> rows{I(0, "no split", "nosplit"), S()};
        for (int k = 0; k < 8; ++k) rows.push_back(L(1100 + k, Keep("Octave %s", NoteName(12 * (k + 1)))));
        Menu(273, std::move(rows));
        for (int k = 0; k < 8; ++k) NoteOctave(1100 + k, 12 * (k + 1), 12 * (k + 1) + 11);
    }
    void SampleKeys()
    {
        std::vector<RowDef> rows;
        for (int k = 0; k < 11; ++k) rows.push_back(L(1299 + k, Keep("Octave %s", NoteName(12 * k))));
        Menu(317, std::move(rows));
        for (int k = 0; k < 11; ++k) NoteOctave(1299 + k, 12 * k, std::min(12 * k + 11, 127));
    }
    // An item that leads to a web page stands only while there is a page:
    // without an address it could only fail.
    void HelpMenu()
    {
        std::vector<RowDef> rows{I(0, "Help...")};
        if (*GUIBackground::kWebAddress1) rows.push_back(I(1, "Quorva on the web..."));
        if (*GUIBackground::kWebAddress2) rows.push_back(I(2, "ZAVO website..."));
        for (const RowDef& row : {S(), I(3, "About ZAVO..."), S(), I(4, "Edit layout")}) rows.push_back(row);
        Menu(399, std::move(rows));
    }
    // Filled with the devices at run time.
    void DeviceMenus()
    {
        for (uint32_t id : {10000u, 10010u}) Menu(id, std::vector<RowDef>(33, I(0, "<empty>")));
        for (uint32_t id : {10020u, 10030u}) {
            std::vector<RowDef> rows;
            for (int v = 0; v < 32; ++v) rows.push_back(I(v, "<empty>"));
            Menu(id, std::move(rows));
        }
    }
    // Filled with program names at run time.
    void ProgramMenu(uint32_t id, const char* titleFmt, int titleOffset)
    {
        std::vector<RowDef> links;
        for (int k = 0; k < 8; ++k)
            links.push_back(L(id + 1 + k, Keep(titleFmt, 16 * k + titleOffset, 16 * k + 15 + titleOffset)));
        Menu(id, std::move(links));
        for (int k = 0; k < 8; ++k) {
            std::vector<RowDef> rows;
            for (int j = 0; j < 16; ++j) rows.push_back(I(16 * k + j, Keep("%03d-(empty)", 16 * k + j + 1), ""));
            Menu(id + 1 + k, std::move(rows));
        }
    }

public:
    void AddAll();
};

void MenuList::AddAll()
{
    Menu(1, {I(50, "Property editor"), I(51, "Delete"), S(), I(56, "Paste"), S(),
               I(60, "Save layout and stop editing"), S(), I(52, "Picture"),
               S(), L(400, "Value controllers"), L(401, "Buttons"), L(402, "Text fields"),
               L(403, "Selection"), S(), L(404, "Special buttons"), L(405, "Meta objects"),
               L(406, "Dialog objects"), L(407, "Display objects"), S(), I(49, "Design mode")});
    Menu(400, {I(1, "Knob (big)"), I(2, "Knob (small)"), I(3, "Slider (big)"), I(4, "Slider (small)"),
               I(7, "Spin field"), I(5, "Text field"), I(14, "Modulation wheel"), I(54, "Tempo bpm")});
    Menu(401, {I(6, "Button 0"), I(42, "Button 1 (On/Off)"), I(43, "Button 2 (Control)"),
               I(44, "Button 3 (Edit)"), I(45, "Button 4 (Punch)"), I(19, "8D Button"),
               I(20, "Matrix Button"), I(21, "Part Button"), I(22, "Wave Button"),
               I(23, "Mono Button"), I(46, "Pic Button"), I(47, "Arp Button")});
    Menu(402, {I(8, "Edit field"), I(9, "Edit field (big)"), I(28, "Info field"),
               I(29, "Big Info field")});
    Menu(403, {I(11, "Selection (std)"), I(12, "Selection (edit)")});
    Menu(404, {I(24, "Open project"), I(25, "Save project"), I(26, "Save program"),
               I(34, "Panic button"), I(35, "Question mark"), I(36, "WR: Stop"), I(37, "WR: Pause"),
               I(38, "WR: Record")});
    Menu(405, {I(53, "8D Access"), I(17, "Wave editor"), I(30, "Sequencer ctrl"),
               I(31, "Step Sequencer"), I(32, "Song Sequencer"), I(33, "Keyboard"),
               I(48, "Partial editor"), I(58, "Data browser"), I(59, "Category buttons")});
    Menu(406, {I(18, "Dialog"), I(39, "Dialog save"), I(40, "Dialog cancel"), I(57, "About box")});
    Menu(407, {I(27, "Level meter")});
    Menu(2, {I(52, "Modulation"), S(), I(53, "MIDI learn"), I(54, "MIDI forget")});
    Menu(4, {I(53, "MIDI learn"), I(54, "MIDI forget")});
    Menu(3, {L(500, "Colors (normal)"), L(501, "Colors (invers)"), S()});
    Menu(500, {I(0, "RGB (standard)"), I(1, "RBG"), I(2, "GBR"), I(3, "GRB"), I(4, "BGR"), I(5, "BRG"),
               I(6, "Black&White"), I(7, "Red&White"), I(8, "Green&White"), I(9, "Blue&White")});
    Menu(501, {I(10, "invers RGB"), I(11, "invers RBG"), I(12, "invers GBR"), I(13, "invers GRB"),
               I(14, "invers BGR"), I(15, "invers BRG"), I(16, "invers Black&White")});
    Menu(280, {I(1, "Load bank..."), I(2, "Save bank..."), L(510, "New bank..."), S(),
               I(9, "Load project..."), I(10, "Save project..."), S(), I(3, "Load preset..."),
               I(4, "Save preset..."), S(), I(5, "Copy preset"), S(), I(6, "Paste preset"),
               I(14, "Paste 8D setting"), I(13, "Paste Modmatrix"), S(), L(511, "New preset..."), S(),
               I(12, "Convert to profiZAVO"), S(), I(8, "Randomize"), S(), I(11, "Wave recorder")});
    Menu(510, {I(20, "profiZAVO"), I(21, "microZAVO"), I(22, "specZAVO"), I(23, "fmZAVO"),
               I(24, "formanZAVO"), I(25, "waveZAVO"), I(26, "anaZAVO")});
    Menu(511, {I(40, "profiZAVO"), I(41, "microZAVO"), I(42, "specZAVO"), I(43, "fmZAVO"),
               I(44, "formanZAVO"), I(45, "waveZAVO"), I(46, "anaZAVO")});
    Menu(100, {I(0, "Sawtooth"), I(1, "Parabolic"), I(2, "Square"), I(3, "Triangle"), I(4, "Sine"),
               L(1000, "Formant"), L(1001, "Vocal"), L(1002, "Partial"), L(1003, "ResoPulse"),
               L(1004, "Slope"), L(1005, "NegSlope"), S(), I(64, "Custom wave"), I(65, "Sample")});
    WaveGroups(1000);
    Menu(1001, {I(17, "VocSource"), I(18, "VocFilter"), I(19, "Vocal A"), I(20, "Vocal E"),
               I(21, "Vocal I"), I(22, "Vocal O"), I(23, "Vocal U")});
    Menu(1002, {I(24, "Add 3"), I(25, "Add 5"), I(26, "Octave"), I(27, "Quint"), I(28, "Prime 1"),
               I(29, "Prime 2"), I(30, "not Prime")});
    WaveGroups(1003);
    WaveGroups(1004);
    WaveGroups(1005);
    Menu(110, {I(0, "OFF", ""), S(), I(1, "Keytrack", "Key"), I(2, "Pitch"), I(3, "Velocity", "Velo"),
               I(4, "Aftertouch", "AfterT"), I(13, "ModWheel", "MWheel"), I(14, "Pitchbend", "Bender"),
               I(20, "Sequ.Control", "Sequ."), I(35, "Key alternate", "Alt"),
               I(36, "Key random", "Rand"), S(), L(1200, "Envelope"), L(1201, "EG*Velocity"),
               L(1202, "LFO"), L(1203, "MultiEnvelope"), L(1204, "MEnv*Velocity")});
    Menu(1200, {I(5, "EG 1"), I(6, "EG 2"), I(7, "EG 3"), I(8, "EG 4")});
    Menu(1201, {I(15, "EG 1*Vel"), I(22, "EG 2*Vel"), I(23, "EG 3*Vel"), I(24, "EG 4*Vel")});
    Menu(1202, {I(9, "LFO 1"), I(10, "LFO 2"), I(11, "LFO 3"), I(12, "LFO 4"),
               I(16, "LFO 1*EG 2", "lfo1*EG2"), I(17, "LFO 2*ModWheel", "lfo2*MW"),
               I(18, "LFO 3*Aftertouch", "lfo3*AT")});
    Menu(1203, {I(27, "MEG 1"), I(28, "MEG 2"), I(29, "MEG 3"), I(30, "MEG 4")});
    Menu(1204, {I(31, "MEG 1V"), I(32, "MEG 2V"), I(33, "MEG 3V"), I(34, "MEG 4V")});
    Menu(120, {I(0, "Pitch"), S(), L(1210, "Oscillator 1"), L(1211, "Oscillator 2"),
               L(1212, "Oscillator 3"), L(1213, "Spectrum Osc"), S(), L(1214, "Mixer"),
               L(1215, "Filter 1"), L(1216, "Filter 2"), L(1217, "Formant filter"), L(1228, "Terrain"),
               S(), L(1218, "Amplifier"), L(1219, "EG"), L(1224, "LFO"), S(), L(1225, "WaveDelay"),
               L(1226, "Shaper"), S(), L(1227, "Modulation")});
    Menu(1210, {I(1, "Pitch", "Pitch 1"), I(2, "WM", "WM 1")});
    Menu(1211, {I(3, "Pitch", "Pitch 2"), I(4, "WM", "WM 2"), I(5, "FM", "FM 2")});
    Menu(1212, {I(6, "Pitch", "Pitch 3"), I(7, "FM", "FM 3")});
    Menu(1213, {I(55, "Pitch", "Pitch S"), I(56, "Detune"), I(57, "Spectrum 1", "Spec 1"),
               I(84, "Spectrum 2", "Spec 2"), I(82, "Morph")});
    Menu(1214, {I(8, "Input 1 level", "Mix 1"), I(9, "Input 2 level", "Mix 2"),
               I(10, "Input 3 level", "Mix 3"), S(), I(11, "Input 4 level", "Mix 4"),
               I(12, "Input 5 level", "Mix 5")});
    Menu(1215, {I(13, "Cutoff", "Cutoff 1"), I(14, "Resonance", "Reso 1"), S(),
               I(15, "Shift", "Shift 1"), I(16, "Drive", "Drive 1")});
    Menu(1216, {I(41, "Cutoff", "Cutoff 2"), I(42, "Resonance", "Reso 2"), S(),
               I(43, "Shift", "Shift 2"), I(44, "Drive", "Drive 2")});
    Menu(1217, {I(40, "Depth", "FFDepth"), S(), I(31, "Frequency 1", "FF Frq1"),
               I(32, "Frequency 2", "FF Frq2"), I(33, "Frequency 3", "FF Frq3"), S(),
               I(34, "Resonance 1", "FF Res1"), I(35, "Resonance 2", "FF Res2"),
               I(36, "Resonance 3", "FF Res3"), S(), I(37, "Level 1", "FF Lvl1"),
               I(38, "Level 2", "FF Lvl2"), I(39, "Level 3", "FF Lvl3")});
    Menu(1228, {I(87, "TCutoff"), I(88, "TReson"), I(89, "TMorph")});
    Menu(1218, {I(22, "Volume"), I(23, "Panning", "Pan"), I(77, "Overdrive", "Overdr"),
               I(83, "Crossfade", "XFade")});
    Menu(1219, {I(24, "EG 1..4 all times", "Time"), S(), L(1220, "EG 1"), L(1221, "EG 2"),
               L(1222, "EG 3"), L(1223, "EG 4")});
    Menu(1220, {I(25, "All times", "EGxtime"), I(58, "Attack", "EG1 A"), I(59, "Decay", "EG1 D"),
               I(26, "Sustain", "EG1 S"), I(60, "Release", "EG1 R")});
    Menu(1221, {I(27, "All times", "EGxtime"), I(61, "Attack", "EG2 A"), I(62, "Decay", "EG2 D"),
               I(28, "Sustain", "EG2 S"), I(63, "Release", "EG2 R")});
    Menu(1222, {I(64, "All times", "EGxtime"), I(65, "Attack", "EG3 A"), I(66, "Decay", "EG3 D"),
               I(67, "Sustain", "EG3 S"), I(68, "Release", "EG3 R")});
    Menu(1223, {I(69, "All times", "EGxtime"), I(70, "Attack", "EG4 A"), I(71, "Decay", "EG4 D"),
               I(72, "Sustain", "EG4 S"), I(73, "Release", "EG4 R")});
    Menu(1224, {I(29, "LFO 1 rate", "lfo1 rate"), I(30, "LFO 2 rate", "lfo2 rate"),
               I(74, "LFO 3 rate", "lfo3 rate"), I(75, "LFO 4 rate", "lfo4 rate"), S(),
               I(78, "LFO 1 level", "lfo1 lvl"), I(79, "LFO 2 level", "lfo2 lvl"),
               I(80, "LFO 3 level", "lfo3 lvl"), I(81, "LFO 4 level", "lfo4 lvl")});
    Menu(1225, {I(18, "Input level", "WD lvl"), I(19, "Pitch", "WD pitch"), I(20, "Cutoff", "WD cut"),
               I(21, "Resonance", "WD reso")});
    Menu(1226, {I(17, "Input level", "SH lvl")});
    Menu(1227, {I(45, "Amount 11", "Amnt 11"), I(46, "Amount 12", "Amnt 12"),
               I(47, "Amount 13", "Amnt 13"), I(48, "Amount 14", "Amnt 14"),
               I(49, "Amount 15", "Amnt 15"), S(), I(50, "Amount 16", "Amnt 16"),
               I(51, "Amount 17", "Amnt 17"), I(52, "Amount 18", "Amnt 18"),
               I(53, "Amount 19", "Amnt 19"), I(54, "Amount 20", "Amnt 20")});
    Menu(312, {I(0, "none", nullptr, 1), S(), I(1, "8D 1-X"), I(2, "8D 1-Y"), I(3, "8D 2-X"),
               I(4, "8D 2-Y"), I(5, "8D 3-X"), I(6, "8D 3-Y"), I(7, "8D 4-X"), I(8, "8D 4-Y")});
    Menu(313, {I(0, "Vocal A"), I(1, "Vocal E"), I(2, "Vocal I"), I(3, "Vocal O"), I(4, "Vocal U"),
               I(5, "not used"), I(6, "not used"), I(7, "not used"), I(8, "not used"),
               I(9, "not used"), I(10, "not used"), I(11, "not used"), I(12, "not used"),
               I(13, "not used"), I(14, "not used"), I(15, "no filter")});
    Menu(314, {I(0, "no cat"), I(1, "Bass"), I(2, "Lead"), I(3, "Pad"), I(4, "Keys"), I(5, "Organ"),
               I(6, "Vocal"), I(7, "Atmo"), I(8, "Drum"), I(9, "String"), I(10, "Brass"),
               I(11, "Loop"), I(12, "Inharmonic"), I(13, "FX")});
    Menu(318, {I(0, "one shot"), I(1, "loop")});
    Menu(320, {I(0, "open"), I(1, "remove")});
    Menu(130, {I(0, "Sine"), I(1, "Tri"), I(2, "Square"), I(3, "RmpUp"), I(4, "RmpDn"), I(5, "S&H"),
               I(6, "Rand")});
    Menu(140, {I(0, "24dB LP I"), I(6, "24dB LP II"), I(7, "18dB LP"), I(4, "12dB LP"), S(),
               I(1, "24dB HP"), I(5, "12dB HP"), S(), I(2, "12dB Band"), I(3, "12dB Notch")});
    Menu(141, {I(0, "Peak filter"), I(1, "Notch filter")});
    Menu(150, {I(0, "Key trigger"), I(1, "Key reset"), I(2, "Key single"), S(), I(3, "LFO 1"),
               I(4, "LFO 2"), I(5, "LFO 3"), I(6, "LFO 4")});
    Menu(160, {I(0, "1 / 1"), I(1, "1 / 2"), I(2, "1 / 4")});
    BitReduction();
    Menu(180, {I(0, "Part"), I(1, "MIDI"), I(2, "Voice"), I(3, "Key"), I(4, "MIDI R")});
    Menu(322, {I(0, "unison off"), I(1, "mono unison"), I(2, "2/voice"), I(3, "3/voice"),
               I(4, "4/voice"), I(5, "5/voice"), I(6, "6/voice"), I(7, "7/voice"), I(8, "8/voice")});
    Menu(190, {I(0, "6 Osc"), I(1, "6 Osc 1:2"), I(2, "6 Osc 1:2:3"),
               I(3, "6 Osc 1:2:3:4:5:6", "1:2:3:4:5:6"), I(4, "4 Osc 1:2"), I(5, "3 Osc"),
               I(6, "2 Osc"), I(7, "2 Osc 1:2"), I(8, "1 Osc"), I(9, "6 Osc Major"),
               I(10, "6 Osc Minor")});
    Menu(200, {I(0, "Phaser"), I(1, "Flanger"), I(2, "Chorus")});
    Menu(220, {I(0, "Distortion"), I(1, "Soft distortion", "Soft"), I(2, "Tape distortion", "Tape"),
               I(3, "Tube distortion", "Tube")});
    Menu(210, {I(0, "Stereo delay", "Stereo dly"), I(1, "Mono delay", "Mono dly"),
               I(2, "Cross delay", "Cross dly")});
    Menu(230, {I(0, "Custom"), S(), I(1, "Shape 2"), I(2, "Shape 3"), I(3, "Shape 4"), I(4, "Shape 5"),
               I(5, "Shape 6"), I(6, "Shape 7"), I(7, "FM 1"), I(8, "FM 2"), I(9, "FM 3"),
               I(10, "FM 4"), I(11, "FM 5"), I(12, "FM 6"), I(13, "Free 1"), I(14, "Free 2"),
               I(15, "Free 3")});
    Menu(270, {I(0, "(open)", ""), S(), I(1, "Oscillator 1", "Osc 1"), I(2, "Oscillator 2", "Osc 2"),
               I(3, "Oscillator 3", "Osc 3"), S(), L(1230, "Sample Osc 1"), L(1231, "Sample Osc 2"),
               L(1232, "Sample Osc 3"), S(), I(11, "Oscillator 1 subharmonic", "Subosc"),
               I(16, "Spectrum oscillator", "SpecOsc"), I(20, "Spectrum oscillator A", "SOsc A"),
               I(21, "Spectrum oscillator B", "SOsc B"), I(4, "White noise", "White"),
               I(5, "Pink noise", "Pink"), S(), I(7, "Mixer"), I(17, "Mixer (hidamp)", "Mix d"),
               I(14, "Submix 1-3", "Mix 1-3"), I(15, "Submix 4-5", "Mix 4-5"), S(), I(9, "Filter 1"),
               I(13, "Filter 2"), I(12, "Formant filter", "Formant"),
               I(18, "Terrain filter", "Terrain"), S(), I(10, "WaveDelay", "WDelay"),
               I(6, "Ringmodulator", "RingMod"), I(19, "VCA"), I(8, "Shaper"), S(),
               L(1233, "Modulators")});
    Menu(1230, {I(1, "Osc 1 (mono)", "Osc 1"), I(42, "Osc 1 (left)", "Osc 1L"),
               I(43, "Osc 1 (right)", "Osc 1R")});
    Menu(1231, {I(2, "Osc 2 (mono)", "Osc 2"), I(44, "Osc 2 (left)", "Osc 2L"),
               I(45, "Osc 2 (right)", "Osc 2R")});
    Menu(1232, {I(3, "Osc 3 (mono)", "Osc 3"), I(46, "Osc 3 (left)", "Osc 3L"),
               I(47, "Osc 3 (right)", "Osc 3R")});
    Menu(1233, {I(30, "MEG1"), I(31, "MEG2"), I(32, "MEG3"), I(33, "MEG4"), S(), I(34, "EG1"),
               I(35, "EG2"), I(36, "EG3"), I(37, "EG4"), S(), I(38, "LFO1"), I(39, "LFO2"),
               I(40, "LFO3"), I(41, "LFO4"), S()});
    Menu(240, {I(0, "Last key", "Last"), I(1, "Low key", "Low"), I(2, "High key", "High")});
    Menu(250, {I(0, "Glide"), I(1, "Glissando")});
    Menu(260, {I(0, "normal"), I(1, "fingered")});
    Menu(316, {I(0, "Velocity"), I(1, "Controller")});
    MidiChannels();
    MidiOutTargets();
    Menu(272, {I(0, "0 Voices", "-"), S(), I(1, "1 Voice", "1 v"), S(), I(2, "2 Voices", "2 v"),
               I(3, "3 Voices", "3 v"), I(4, "4 Voices", "4 v"), I(5, "5 Voices", "5 v"),
               I(6, "6 Voices", "6 v"), I(7, "7 Voices", "7 v"), I(8, "8 Voices", "8 v"), S(),
               I(9, "9 Voices", "9 v"), I(10, "10 Voices", "10 v"), I(11, "11 Voices", "11 v"),
               I(12, "12 Voices", "12 v"), I(16, "16 Voices", "16 v"), S(), I(20, "20 Voices", "20 v"),
               I(24, "24 Voices", "24 v"), I(28, "28 Voices", "28 v"), I(32, "32 Voices", "32 v")});
    Menu(274, {I(0, "+/-0"), I(1, "+/-1"), I(2, "+/-2"), I(3, "+/-3"), I(5, "+/-5"), I(7, "+/-7"),
               I(12, "+/-12"), I(24, "+/-24"), I(36, "+/-36")});
    Menu(275, {I(0, "96000 Hz"), I(1, "88200 Hz"), I(2, "48000 Hz"), I(3, "44100 Hz"),
               I(4, "32000 Hz"), I(5, "22050 Hz")});
    Menu(276, {I(0, "Mid-size", ""), I(1, "Dark", ""), I(2, "Large", ""), I(3, "Taj Mahal 1", ""),
               I(4, "Taj Mahal 2", ""), I(5, "Concert", ""), I(6, "Small", ""), I(7, "Bathroom", ""),
               I(8, "ShoeBox", ""), I(9, "Forever", ""), I(10, "Room 1", ""), I(11, "Room 2", ""),
               I(12, "Phased", ""), I(13, "Hall 1", ""), I(14, "Hall 2", ""), I(15, "Lex 1", ""),
               I(16, "Lex 2", ""), I(17, "Bright", ""), I(18, "Small room", ""),
               I(19, "Warehouse", ""), I(20, "QRS", ""), I(21, "Empty", ""), I(22, "Great gate", ""),
               I(23, "Shakey", "")});
    Menu(277, {I(0, "Light", ""), I(1, "Detuned", ""), I(2, "Deep 1", ""), I(3, "Deep 2", ""),
               I(4, "Box 1", ""), I(5, "Box 2", ""), I(6, "Leslie", ""), I(7, "Slow", ""),
               I(8, "Fast&Light", ""), I(9, "Feedback 1", ""), I(10, "Feedback 2", ""),
               I(11, "Dry 1", ""), I(12, "Dry 2", ""), I(13, "Dry&Deep", ""), I(14, "Warm", ""),
               I(15, "Strange 1", ""), I(16, "Strange 2", ""), I(17, "Destruct 1", ""),
               I(18, "Destruct 2", ""), I(19, "Echo 1", ""), I(20, "Echo 2", ""), I(21, "Room 1", ""),
               I(22, "Room 2", ""), I(23, "Cute", "")});
    Menu(278, {I(51, "Copy spectrum"), I(52, "Paste spectrum"), S(), I(53, "Make peaks"),
               I(54, "Make notches"), S(), I(55, "Randomize"), I(56, "Randomize all"), S(),
               I(1, "String body"), I(2, "Combo"), I(3, "Resonant"), I(4, "Multiband"),
               I(5, "HighLow"), I(6, "Metallica"), I(7, "Dark side"), I(8, "Unreal"), I(9, "Fancy"),
               I(10, "Peak&Valley"), I(11, "Vocal A"), I(12, "Vocal E"), I(13, "Vocal I"),
               I(14, "Vocal O"), I(15, "Vocal U")});
    Menu(279, {I(0, "Master"), I(1, "Out 2"), I(2, "Out 3"), I(3, "Out 4"), I(4, "Out 5"),
               I(5, "Out 6"), I(6, "Out 7"), I(7, "Out 8")});
    Menu(300, {I(1000, "Gate time 100%"), I(1001, "Gate time 75%"), I(1002, "Gate time 50%"),
               I(1003, "Gate time 25%"), S(), I(0, "single Note"), S(), L(1010, "Maj"), L(1011, "min"),
               L(1012, "sus4"), L(1013, "Maj(-5)"), L(1014, "min(-5)"), L(1015, "Maj(+5)"),
               L(1016, "add2"), S(), L(1017, "Maj6"), L(1018, "min6"), L(1019, "dim7"), L(1020, "7"),
               L(1021, "m7"), L(1022, "7sus4"), L(1023, "7(-5)"), L(1024, "7(+5)"), L(1025, "m7(-5)"),
               L(1026, "Maj7"), L(1027, "mMaj7")});
    Chords();
    Menu(301, {L(1040, "1/32"), L(1041, "1/16"), L(1042, "1/8"), L(1043, "1/4"), L(1044, "1/2"),
               L(1045, "1/1")});
    StepLengths();
    Menu(302, {I(0, "next key"), S(), I(1, "1. key"), I(2, "2. key"), I(3, "3. key"), I(4, "4. key"),
               I(5, "5. key"), I(6, "6. key"), I(7, "7. key"), I(8, "8. key")});
    Menu(303, {I(0, "none"), S(), I(1, "arpeggio"), I(2, "arpeggio/hold"), I(4, "pattern sel"),
               I(6, "record")});
    ArpRanges();
    Menu(305, {L(1070, "1/32"), L(1071, "1/16"), L(1072, "1/8"), L(1073, "1/4"), L(1074, "1/2"),
               L(1075, "1/1"), L(1076, "rhythmic")});
    ArpClocks();
    Rhythms(1076, 18, 8);
    Menu(306, {I(0, "up"), I(1, "down"), I(2, "alt"), I(3, "rand")});
    Menu(321, {I(0, "off"), I(1, "on"), I(3, "hold")});
    Menu(307, {L(1080, "2 Octaves up"), L(1081, "1 Octave up"), L(1082, "Transpose up"), S(),
               I(0, "0"), S(), L(1083, "Transpose down"), L(1084, "1 Octave down"),
               L(1085, "2 Octave down")});
    Transposes();
    Menu(308, {I(1, "Copy pattern"), I(2, "Paste pattern"), I(3, "Clear pattern"), S(),
               I(4, "Shift pattern left"), I(5, "Shift pattern right"), S(),
               L(1086, "Randomize pattern")});
    Menu(1086, {I(6, "Steps"), I(7, "Steps & Controls"), I(8, "Rhythm"), I(9, "Mute"),
               I(10, "Gate times"), I(11, "Arpeggio keys"), I(12, "All parameters")});
    Menu(309, {I(0, "1/4"), I(1, "1/2"), I(2, "1"), I(3, "2"), I(4, "4")});
    HelpMenu();
    EmptySlots();
    SequenceSlots();
    Menu(10090, {I(1, "String body"), I(2, "Combo"), I(3, "Resonant"), I(4, "Multiband"),
               I(5, "HighLow"), I(6, "Metallica"), I(7, "Dark side"), I(8, "Unreal"), I(9, "Fancy"),
               I(10, "Peak&Valley"), I(11, "Vocal A"), I(12, "Vocal E"), I(13, "Vocal I"),
               I(14, "Vocal O"), I(15, "Vocal U"), I(16, "[Randomize]")});
    Menu(310, {I(0, "AD"), I(1, "ADR"), I(2, "ADSR"), I(3, "AD1D2R"), I(4, "16th"), I(5, "Loop"),
               L(1400, "Rhythmic..."), S(), I(101, "Copy"), I(102, "Paste"), S(), I(110, "Load..."),
               I(111, "Save as...")});
    Rhythms(1400, 51, 10);
    Menu(311, {I(1, "Impulse"), I(2, "Sawtooth"), I(3, "Square"), I(4, "Triangle"), I(5, "Sine"), S(),
               I(101, "Copy"), I(102, "Paste"), I(103, "Paste mirrored"), S(), I(104, "Randomize")});
    Menu(319, {I(0, "Velocity"), I(1, "Aftertouch"), I(2, "ModWheel")});
    Menu(101, {I(0, "additive"), I(1, "walsh"), I(2, "wavelet"), I(3, "operator")});
    KeySplitNotes();
    SampleKeys();
    DeviceMenus();
    ProgramMenu(10040, "Program %d-%d", 1);
    ProgramMenu(10050, "Bank %d-%d", 0);
    ProgramMenu(10060, "Program %d-%d", 1);
    // A widget's menu while the layout may be edited: the parameter menu's
    // actions with its properties, deletion and copy, which have no row in
    // the sound parameters' own menu.
    Menu(6, {I(50, "Property editor"), I(51, "Delete"), I(55, "Copy"), S(), I(52, "Modulation"), S(),
             I(53, "MIDI learn"), I(54, "MIDI forget")});
}

// Lays the menus out: every menu that no other menu links to starts a block
// in the order written above, and each link row is followed directly by the
// rows of the menu it opens.
class TableWriter {
public:
    TableWriter(const std::vector<MenuDef>& defs, MenuEntry* rows, int rowCount)
        : m_rows(rows), m_rowCount(rowCount)
    {
        for (const MenuDef& d : defs) m_byId[d.id] = &d;
        std::set<uint32_t> linked;
        for (const MenuDef& d : defs)
            for (const RowDef& r : d.rows)
                if (r.type == kMenuLink) linked.insert(uint32_t(r.value));
        for (const MenuDef& d : defs)
            if (!linked.count(d.id)) Emit(d.id);
    }

private:
    void Emit(uint32_t id)
    {
        auto it = m_byId.find(id);
        if (it == m_byId.end() || !m_placed.insert(id).second) return;
        uint32_t position = 1;
        for (const RowDef& r : it->second->rows) {
            if (m_next >= m_rowCount) return;  // a table overflow is caught by the tests
            MenuEntry& e = m_rows[m_next++];
            e.menuId = e.homeMenu = id;
            e.position = position++;
            e.type = r.type;
            e.submenu = r.type == kMenuLink ? uint32_t(r.value) : 0;
            e.value = r.type == kMenuItem ? r.value : 0;
            e.checked = r.checked;
            e.text = r.text;
            e.shortText = r.shortText ? r.shortText : r.text;
            if (r.type == kMenuLink) Emit(uint32_t(r.value));
        }
    }

    MenuEntry* m_rows;
    int m_rowCount;
    int m_next = 1;  // row 0 stays free
    std::map<uint32_t, const MenuDef*> m_byId;
    std::set<uint32_t> m_placed;
};

MenuEntry g_menuRows[kMenuRows];

}  // namespace

MenuEntry* MenuTableRows()
{
    static std::once_flag built;
    std::call_once(built, [] {
        MenuList list;
        list.AddAll();
        TableWriter(list.defs, g_menuRows, kMenuRows);
        for (int i = 0; i < kMenuRows; ++i) g_menuRows[i].resultId = uint32_t(i);
    });
    return g_menuRows;
}
