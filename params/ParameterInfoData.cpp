// The rows of the four parameter-info tables and the per-type label pages.
#include <cstdio>
#include <initializer_list>

#include "params/CPIBase.h"

namespace {

constexpr float S = 128.0f;  // ordinary values
constexpr float SEMI = 96.0f;
constexpr float TUNE = 100.0f;
constexpr float ONE = 1.0f;

// Context menus of part-sound rows.
constexpr int MOD = 2;    // modulation, MIDI learn and forget
constexpr int LEARN = 4;  // MIDI learn and forget

// Generated long names ("MdAmnt01".."MdAmnt20", "8D X1".."8D Y4"); filled
// once, shared by every instance.
struct GeneratedNames {
    char modAmount[20][24];
    char pad[8][16];
    GeneratedNames() {
        for (int k = 0; k < 20; ++k) snprintf(modAmount[k], sizeof(modAmount[k]), "MdAmnt%02d", k + 1);
        for (int k = 0; k < 8; ++k)
            snprintf(pad[k], sizeof(pad[k]), "8D %c%d", (k % 2) ? 'Y' : 'X', k / 2 + 1);
    }
};
const GeneratedNames& Names() {
    static const GeneratedNames names;
    return names;
}

struct Row {
    int id;
    const char* label;
    const char* name;
    float scale;
    int list;
    int menu;
};

// Part-sound rows that are not part of a regular run.
const Row kSoundRowData[] = {
    {1, "WM", "Osc1 WM", S, 0, MOD},
    {2, "FM Index", "Osc1 FM Idx", S, 0, MOD},
    {3, "WM", "Osc2 WM", S, 0, MOD},
    {4, "FM Index", "Osc2 FM Idx", S, 0, MOD},
    {5, "WM", "Osc3 WM", S, 0, MOD},
    {6, "FM Index", "Osc3 FM Idx", S, 0, MOD},
    {7, "Input 1", "Mix Inp1", S, 0, MOD},
    {8, "Input 2", "Mix Inp2", S, 0, MOD},
    {9, "Input 3", "Mix Inp3", S, 0, MOD},
    {10, "Input 4", "Mix Inp4", S, 0, MOD},
    {11, "Input 5", "Mix Inp5", S, 0, MOD},
    {12, "Level", "WG Level", S, 0, MOD},
    {13, "Cutoff", "WG Cutoff", S, 0, MOD},
    {14, "Feedback", "WG Feedback", S, 0, MOD},
    {15, "Level", "Shaper Level", S, 0, MOD},
    {16, "Cutoff", "Flt1 Cutoff", S, 0, MOD},
    {17, "Reso", "Flt1 Reson", S, 0, MOD},
    {18, "Drive", "Flt1 Drive", S, 0, MOD},
    {19, "Shift", "Flt1 Shift", S, 0, MOD},
    {20, "Volume", "Amp Volume", S, 0, MOD},
    {21, "Pan", "Amp Pan", S, 0, MOD},
    {22, "Frq 1", "FF Frequ1", S, 0, MOD},
    {23, "Reso 1", "FF Reson1", S, 0, MOD},
    {24, "Level 1", "FF Level1", S, 0, MOD},
    {25, "Frq 2", "FF Frequ2", S, 0, MOD},
    {26, "Reso 2", "FF Reson2", S, 0, MOD},
    {27, "Level 2", "FF Level2", S, 0, MOD},
    {28, "Frq 3", "FF Frequ3", S, 0, MOD},
    {29, "Reso 3", "FF Reson3", S, 0, MOD},
    {30, "Level 3", "FF Level3", S, 0, MOD},
    {31, "Depth", "FF Depth", S, 0, MOD},
    {32, "Cutoff", "Flt2 Cutoff", S, 0, MOD},
    {33, "Reso", "Flt2 Reson", S, 0, MOD},
    {34, "Drive", "Flt2 Drive", S, 0, MOD},
    {35, "Shift", "Flt2 Shift", S, 0, MOD},
    // 36..55 modulation amounts: generated
    {57, "Pitchbend", "", S, 0, 0},
    {58, "Spectrum", "SOsc Spec2", S, 0, MOD},
    {59, "Detune", "WG Detune", S, 0, MOD},
    {60, "X-fader", "Amp X-fade", S, 0, MOD},
    {61, "Morph", "SOsc Morph", S, 0, MOD},
    {62, "Overdrive", "Amp Overdrive", S, 0, MOD},
    {63, "Spectrum", "SOsc Spec1", S, 0, MOD},
    {64, "Detune", "SOsc Detune", S, 0, MOD},
    // 65..84 routing sources, 85..104 routing destinations: generated
    {145, "Glide", "KB Glide", S, 0, LEARN},
    {146, "Bend", "", S, 274, 0},
    {148, "Semitone", "Frq Coarse", SEMI, 0, MOD},
    {149, "Fine", "Frq Fine", TUNE, 0, MOD},
    {151, "Track", "", ONE, 0, 0},
    {152, "FM", "", ONE, 0, 0},
    {153, "Semitone", "Osc1 Semi", SEMI, 0, MOD},
    {154, "Tune", "Osc1 Tune", TUNE, 0, MOD},
    {155, "Waveform", "Osc1 Wave", S, 100, 0},
    {156, "WM", "", ONE, 0, 0},
    {159, "Track", "", ONE, 0, 0},
    {160, "FM", "", ONE, 0, 0},
    {161, "Semitone", "Osc2 Semi", SEMI, 0, MOD},
    {162, "Tune", "Osc2 Tune", TUNE, 0, MOD},
    {163, "Waveform", "Osc2 Wave", S, 100, 0},
    {164, "WM", "", ONE, 0, 0},
    {166, "Sync", "", ONE, 0, 0},
    {168, "Track", "", ONE, 0, 0},
    {169, "FM", "", ONE, 0, 0},
    {170, "Semitone", "Osc3 Semi", SEMI, 0, MOD},
    {171, "Tune", "Osc3 Tune", TUNE, 0, MOD},
    {172, "Waveform", "Osc3 Wave", S, 100, 0},
    {173, "WM", "", ONE, 0, 0},
    {175, "Sync", "", ONE, 0, 0},
    {177, "Track", "", ONE, 0, 0},
    {178, "FM", "", ONE, 0, 0},
    {179, "\nCrackle", "", S, 0, 0},
    {180, "Semitone", "WG Semi", SEMI, 0, MOD},
    {181, "Tune", "WG Tune", TUNE, 0, MOD},
    {182, "Shape", "", S, 230, 0},
    // 185..212 envelopes: generated
    {213, "Wave", "", S, 130, 0},
    {214, "Level", "", S, 0, 0},
    {215, "Rate", "LFO1 Rate", S, 0, MOD},
    {216, "Sync", "", S, 180, 0},
    {217, "Wave", "", S, 130, 0},
    {218, "Level", "", S, 0, 0},
    {219, "Rate", "LFO2 Rate", S, 0, MOD},
    {220, "Sync", "", S, 180, 0},
    {221, "Wave", "", S, 130, 0},
    {223, "Rate", "LFO3 Rate", S, 0, MOD},
    {224, "Sync", "", S, 180, 0},
    {225, "Wave", "", S, 130, 0},
    {227, "Rate", "LFO4 Rate", S, 0, MOD},
    {228, "Sync", "", S, 180, 0},
    {229, "", "", S, 140, 0},
    {230, "Track", "Flt1 Track", S, 0, MOD},
    {233, "", "", S, 140, 0},
    {234, "Track", "Flt2 Track", S, 0, MOD},
    // 237..259 module inputs: generated
    {260, "Phase", "", ONE, 0, 0},
    {267, "finger", "", S, 260, 0},
    {268, "Glide typ", "", S, 250, 0},
    {269, "Priority", "", S, 240, 0},
    {271, "Reduce", "Amp Reduce", S, 170, 0},
    {272, "Sample", "Amp Sample", S, 160, 0},
    {278, "Type", "", S, 200, 0},
    {279, "Rate", "ModFx Rate", S, 0, LEARN},
    {280, "Spread", "ModFx Spread", S, 0, LEARN},
    {281, "Delay", "ModFx Delay", S, 0, LEARN},
    {282, "Depth", "ModFx Depth", S, 0, LEARN},
    {283, "Feedback", "ModFx Feedb", S, 0, LEARN},
    {284, "Level", "ModFx Level", S, 0, LEARN},
    {285, "", "", S, 210, 0},
    {286, "Delay 1", "DlyFx Delay1", S, 0, LEARN},
    {287, "Delay 2", "DlyFx Delay2", S, 0, LEARN},
    {288, "Feedback", "DlyFx Feedb", S, 0, LEARN},
    {289, "Level", "DlyFx Level", S, 0, LEARN},
    {290, "Cutoff", "DlyFx Cutoff", S, 0, LEARN},
    {291, "MIDI", "", S, 0, 0},
    {292, "", "", S, 220, 0},
    {293, "Cutoff", "OvdFx Cutoff", S, 0, LEARN},
    {294, "Tone", "OvdFx Tone", S, 0, LEARN},
    {295, "Level", "OvdFx Level", S, 0, LEARN},
    {296, "Drive", "OvdFx Drive", S, 0, LEARN},
    {298, "8D-Speed", "", S, 0, LEARN},
    // 299..306 pad points, 315..321 switches: generated
    {323, "Track", "", ONE, 0, 0},
    {324, "Semitone", "SOsc Semi", SEMI, 0, MOD},
    {326, "Fix", "", ONE, 0, 0},
    {327, "Typ", "", S, 141, 0},
    {328, "Partial", "SOsc Partial", S, 0, 0},
    {329, "Raster", "SOsc Raster", 32.0f, 0, 0},
    {330, "Wave A", "", S, 101, 0},
    {331, "Mode", "", S, 190, 0},
    {332, "Phase", "", ONE, 0, 0},
    {334, "Arpeggio", "", S, 321, 0},
    {335, "Range", "", S, 304, 0},
    {336, "Clock", "", S, 305, 0},
    {337, "Mode", "", S, 306, 0},
    {338, "Time", "EG Times", S, 0, MOD},
    {339, "Input B", "", S, 270, 0},
    {340, "unison", "", S, 322, 0},
    {341, "spread", "", S, 0, 0},
    {342, "Wave B", "", S, 101, 0},
    {343, "ModAll", "", ONE, 0, 0},
    {344, "Voices", "", S, 272, 0},
    // 346..352 envelope segments: generated
    {356, "6x", "", ONE, 0, MOD},
    {357, "Spread", "", S, 0, MOD},
    {358, "HiDamp", "", ONE, 0, MOD},
    {361, "TCut", "TCutoff", S, 0, MOD},
    {362, "TReson", "TReson", S, 0, MOD},
    {363, "TMorph", "TMorph", S, 0, MOD},
    {364, "TFlt1", "TFlt1", S, 313, 0},
    {365, "TFlt2", "TFlt2", S, 313, 0},
    // 367..383 envelope segments: generated
    {384, "Input L", "", S, 270, 0},
    {385, "Input R", "", S, 270, 0},
    {386, "Category", "", S, 314, 0},
    // 387..389 controllers: generated
    {394, "Level", "Rev Level", 127.0f, 0, 0},
    {396, "", "", ONE, 0, 0},
    {416, "", "", S, 0, 0},
};

// Labels of the module input rows 237..259 (list 270).
const char* const kInputLabels[23] = {
    "",      "FM in", "FM in",   "Input A", "Input B", "",      "", "", "", "", "",      "Input",
    "",      "Input", "Input",   "",        "Input",   "Input", "Input A", "Input", "Input", "",
    ""};

}  // namespace

void CPIBase::FillPartSoundRows() {
    const GeneratedNames& names = Names();
    // No id is defined twice, so the regular runs can go in before the
    // single rows.
    for (int k = 0; k < 20; ++k) DefineParameter(36 + k, "", names.modAmount[k], S, 0, LEARN);
    for (int k = 0; k < 20; ++k) DefineParameter(65 + k, "", "", S, 110, 0);
    for (int k = 0; k < 20; ++k) DefineParameter(85 + k, "", "", S, 120, 0);

    // Envelopes EG1..EG4: delay, attack, decay, sustain, release, trigger.
    static const char* const kEgNames[4][5] = {
        {"EG1 Delay", "EG1 Attack", "EG1 Decay", "EG1 Sustain", "EG1 Release"},
        {"EG2 Delay", "EG2 Attack", "EG2 Decay", "EG2 Sustain", "EG2 Release"},
        {"EG3 Delay", "EG3 Attack", "EG3 Decay", "EG3 Sustain", "EG3 Release"},
        {"EG4 Delay", "EG4 Attack", "EG4 Decay", "EG4 Sustain", "EG4 Release"}};
    static const char* const kEgLabels[5] = {"Delay", "Attack", "Decay", "Sustain", "Release"};
    for (int e = 0; e < 4; ++e) {
        int base = 185 + 7 * e;
        for (int k = 0; k < 5; ++k) DefineParameter(base + k, kEgLabels[k], kEgNames[e][k], S, 0, LEARN);
        DefineParameter(base + 6, "Trigger", "", S, 150, 0);
    }

    for (int k = 0; k < 23; ++k) DefineParameter(237 + k, kInputLabels[k], "", S, 270, 0);

    for (int k = 0; k < 8; ++k) DefineParameter(299 + k, "", names.pad[k], S, 0, 0);
    for (int id = 315; id <= 317; ++id) DefineParameter(id, "On", "", ONE, 0, 0);
    for (int id = 318; id <= 321; ++id) DefineParameter(id, "Punch", "", ONE, 0, 0);
    for (int id = 346; id <= 352; ++id) DefineParameter(id, "", "", ONE, 0, 0);
    for (int first : {367, 373, 379})
        for (int id = first; id < first + 5; ++id) DefineParameter(id, "", "", ONE, 0, 0);
    for (int id = 387; id <= 389; ++id) DefineParameter(id, "", "", S, 319, 0);
    // The loop slopes of the third and fourth multi-envelope and the
    // time-source flags of its segments are plain values like their
    // neighbours; with the default scale of 128 they would reach the engine
    // 128 times too large. The rows stay otherwise undefined.
    for (int id : {353, 354, 366, 372, 378}) m_partSound[id].scale = 1.0f;

    for (const Row& r : kSoundRowData) DefineParameter(r.id, r.label, r.name, r.scale, r.list, r.menu);
}

void CPIBase::FillOtherRows() {
    // Setup rows (editor group 9).
    DefineSetupParameter(1, "MIDI input", S, 10020);
    DefineSetupParameter(2, "MIDI output", S, 10030);
    DefineSetupParameter(3, "Audio input", S, 10000);
    DefineSetupParameter(4, "Audio output", S, 10010);
    DefineSetupParameter(5, "", S, 10040);
    DefineSetupParameter(6, "", S, 0);
    for (int id = 40; id <= 55; ++id) DefineSetupParameter(id, "", S, 10060);
    DefineSetupParameter(96, "Latency", S, 0);
    DefineSetupParameter(97, "ASIO", S, 0);
    DefineSetupParameter(98, "MIDI Out", S, 0);
    DefineSetupParameter(99, "Smplrate", S, 275);
    DefineSetupParameter(100, "", S, 276);
    DefineSetupParameter(101, "", S, 277);
    DefineSetupParameter(104, "", S, 10050);
    DefineSetupParameter(105, "", S, 10060);
    DefineSetupParameter(108, "", S, 3);
    for (int id = 111; id <= 113; ++id) DefineSetupParameter(id, "Edit", S, 0);
    DefineSetupParameter(115, "Anim", S, 0);
    DefineSetupParameter(116, "Value", S, 0);
    DefineSetupParameter(118, "", S, 10090);

    // Part-mixer rows.
    DefineMixerParameter(0, "Reverb", S, 0);
    DefineMixerParameter(1, "Chorus", S, 0);
    DefineMixerParameter(2, "Level", S, 0);
    DefineMixerParameter(3, "Pan", S, 0);
    DefineMixerParameter(4, "MIDI", S, 271);
    DefineMixerParameter(5, "Key low", S, 273);
    DefineMixerParameter(6, "Key high", S, 273);
    DefineMixerParameter(7, "", ONE, 315);
    DefineMixerParameter(9, "Mute", S, 0);
    DefineMixerParameter(10, "Voices", S, 272);
    DefineMixerParameter(11, "Solo", S, 0);
    DefineMixerParameter(14, "", S, 279);
    DefineMixerParameter(15, "", ONE, 0);

    // Global rows.
    static const char* const kGlobalLabels[19] = {
        "Master", "Pan",    "Reverb", "Chorus",  "Presets", "Predelay", "Time",
        "Size",   "Structure", "Fusion", "Damping", "Presets", "Rate",  "Spread",
        "Delay",  "Depth",  "Feedback", "Reverb", "Chorus"};
    for (int k = 0; k < 19; ++k) DefineGlobalParameter(6 + k, kGlobalLabels[k]);
}

void CPIBase::FillLabelOverrides() {
    for (int page = 0; page < kLabelPages; ++page)
        for (int id = 36; id <= 55; ++id) m_labelOverride[page][id] = "Amnt";
    m_labelOverride[1][10] = "Noise";
    m_labelOverride[2][15] = "Spectrum";
    m_labelOverride[5][7] = "Spectrum";
    m_labelOverride[5][8] = "White";
    m_labelOverride[5][9] = "Pink";
    m_labelOverride[6][7] = "Osc1";
    m_labelOverride[6][8] = "Osc2";
    m_labelOverride[6][9] = "Osc3";
    m_labelOverride[6][10] = "White";
    m_labelOverride[6][11] = "Pink";
    m_labelOverride[6][37] = "EnvSens";
    // The second amount is the one the ana programs give to LFO 1 on the
    // cutoff; two knobs named alike could not be told apart.
    m_labelOverride[6][40] = "LFOSens";
    m_labelOverride[6][60] = "F1-F2";
}
