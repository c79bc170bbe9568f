// The rows of the descriptor table, in table order. Rows are written as
// data; runs that differ only by a number are made by loops. Each block
// names its defaults and a row lists only what differs from them.
#include <cstdio>
#include <string>

#include "params/CIParameter.h"

namespace {

constexpr const char* N = nullptr;  // no text (a null name or hint)
constexpr float kBlock = -1.0f;     // take the block's value

// What a row changes from its block's defaults.
struct Other {
    int64_t flags = -1;
    float scale = kBlock, min = kBlock, max = kBlock, def = kBlock, step = kBlock;
    uint32_t menu = 0;  // context menu
    uint32_t list = 0;
    uint32_t module = 0;
    uint8_t bipolar = 0;
    uint8_t available = 1;
};

struct Row {
    uint32_t index;
    uint32_t type;  // display type
    Other other;
    const char* label;
    const char* name;
    const char* hint;
};

// A row of a block whose sub-index carries meaning of its own (dialog
// fields, transport).
struct SubRow {
    uint32_t index;
    uint32_t sub;
    uint32_t type;
    Other other;
    const char* label;
    const char* name;
    const char* hint;
};

// Part-sound values, group 0. The modulation matrix runs are made by loops
// between these lists.
const Row kSoundFirst[] = {
    {1, 2, {.def = 0.5f, .bipolar = 1}, "WM", "Osc1 WM", "Osc 1 wave modulation"},
    {2, 13, {}, "FM Index", "Osc1 FM Idx", "Osc 1 FM index"},
    {3, 2, {.def = 0.5f, .module = 2, .bipolar = 1}, "WM", "Osc2 WM", "Osc 2 wave modulation"},
    {4, 13, {.module = 2}, "FM Index", "Osc2 FM Idx", "Osc 2 FM modulation"},
    {5, 2, {.def = 0.5f, .module = 4, .bipolar = 1}, "WM", "Osc3 WM", "Osc 3 wave modulation"},
    {6, 13, {.module = 4}, "FM Index", "Osc3 FM Idx", "Osc 3 FM modulation"},
    {7, 2, {.module = 32}, "Input 1", "Mix Inp1", "Mixer input 1"},
    {8, 2, {.module = 32}, "Input 2", "Mix Inp2", "Mixer input 2"},
    {9, 2, {.module = 32}, "Input 3", "Mix Inp3", "Mixer input 3"},
    {10, 2, {.module = 64}, "Input 4", "Mix Inp4", "Mixer input 4"},
    {11, 2, {.module = 64}, "Input 5", "Mix Inp5", "Mixer input 5"},
    {12, 2, {.module = 256}, "Level", "WG level", "Waveguide input level"},
    {13, 2, {.module = 256}, "Cutoff", "WG cutoff", "Waveguide cutoff"},
    {14, 13, {.def = 0.5f, .module = 256}, "Feedback", "WG feedback", "Waveguide feedback"},
    {15, 2, {.def = 0.5f, .module = 128}, "Level", "Shaper level", "Waveshaper input level"},
    {16, 9, {.def = 0.5f, .module = 512}, "Cutoff", "Flt1 cutoff", "Filter 1 cutoff"},
    {17, 2, {.module = 512}, "Reso", "Flt1 reso", "Filter 1 resonance"},
    {18, 3, {.module = 512}, "Drive", "Flt1 drive", "Filter 1 input overdrive"},
    {19, 2, {.module = 512}, "Shift", "Flt1 shift", "Filter 1 shift"},
    {20, 3, {.def = 0.5f}, "Volume", "Amp volume", "Main volume"},
    {21, 7, {.def = 0.5f, .bipolar = 1}, "Pan", "Amp pan", "Panorama position"},
    {31, 2, {.def = 0.5f, .module = 8192}, "", "FF depth", "Filter depth"},
    {22, 9, {.def = 0.5f, .module = 8192}, "", "FF frq1", "Filter 1 frequency"},
    {23, 2, {.module = 8192}, "", "FF reso1", "Filter 1 resonance"},
    {24, 3, {.def = 0.5f, .module = 8192}, "", "FF level1", "Filter 1 level"},
    {25, 9, {.def = 0.5f, .module = 8192}, "", "FF frq2", "Filter 2 frequency"},
    {26, 2, {.module = 8192}, "", "FF reso2", "Filter 2 resonance"},
    {27, 3, {.def = 0.5f, .module = 8192}, "", "FF level2", "Filter 2 level"},
    {28, 9, {.def = 0.5f, .module = 8192}, "", "FF frq3", "Filter 3 frequency"},
    {29, 2, {.module = 8192}, "", "FF reso3", "Filter 3 resonance"},
    {30, 3, {.def = 0.5f, .module = 8192}, "", "FF level3", "Filter 3 level"},
    {32, 9, {.def = 0.5f, .module = 4096}, "Cutoff", "Flt2 cutoff", "Filter 2 cutoff"},
    {33, 2, {.module = 4096}, "Reso", "Flt2 reso", "Filter 2 resonance"},
    {34, 3, {.module = 4096}, "Drive", "Flt2 drive", "Filter 2 input overdrive"},
    {35, 2, {.module = 4096}, "Shift", "Flt2 shift", "Filter 2 shift"},
};
// Between the modulation amounts and sources.
const Row kSoundMiddle[] = {
    {62, 2, {.def = 0.5f}, "Overdrive", "Amp overdrive", N},
    {63, 2, {.def = 0.5f, .module = 16384}, "Spec 1", "SOsc Spec1", "Spectrum 1"},
    {58, 2, {.def = 0.5f, .module = 16384}, "Spec 2", "SOsc Spec2", "Spectrum 2"},
    {61, 2, {.def = 0.5f, .module = 16384}, "Morph", "SOsc Morph", "Morph A <-> B"},
    {64, 8, {.def = 0.5f, .module = 16384}, "Detune", "SOsc Detune", "Detune oscillators"},
    {59, 8, {.def = 0.5f, .module = 16384}, "Detune", "WG Detune", "Detune"},
};
const Row kSoundLast[] = {
    {145, 4, {.def = 0.5f}, "Glide", "KB Glide", "Keyboard glide"},
    {146, 8, {.def = 0.5f, .step = 0.015625f, .list = 274}, "Bend", "", "Pitchbend range"},
    {56, 13, {.flags = 0, .def = 0.5f}, "", "", N},
    {57, 13, {.flags = 0, .def = 0.5f}, "", "", N},
    {60, 2, {.def = 0.5f, .bipolar = 1}, "X-fader", "Amp X-fade", "Crossfade inputs"},
    {148, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .bipolar = 1}, "", "Frq coarse", "Master frequency coarse"},
    {149, 6, {.scale = 100, .max = 100, .def = 0.5f, .step = 0.1251f, .bipolar = 1}, "Fine", "Frq fine", "Master frequency fine"},
    {151, 1, {.scale = 1, .max = 1, .step = 0}, "TRK", "", "Key tracking"},
    {152, 1, {.scale = 1, .max = 1, .step = 0}, "FM", "", "Frequency modulation"},
    {153, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .bipolar = 1}, "", "Osc1 semi", "Semitone"},
    {154, 6, {.scale = 100, .max = 100, .def = 0.5f, .step = 0.1251f, .bipolar = 1}, "Tune", "Osc1 tune", "Fine tuning"},
    {155, 12, {.def = 0.5f, .list = 100}, "Waveform", "Osc1 wave", "Waveform selection"},
    {156, 1, {.scale = 1, .max = 1, .step = 0}, "WM", "", "Wave modulation"},
    {159, 1, {.scale = 1, .max = 1, .step = 0, .module = 2}, "TRK", "", "Key tracking"},
    {160, 1, {.scale = 1, .max = 1, .step = 0, .module = 2}, "FM", "", "Frequency modulation"},
    {161, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .module = 2, .bipolar = 1}, "", "Osc2 semi", "Semitone"},
    {162, 6, {.scale = 100, .max = 100, .def = 0.5f, .step = 0.1251f, .module = 2, .bipolar = 1}, "Tune", "Osc2 tune", "Fine tuning"},
    {163, 12, {.def = 0.5f, .list = 100, .module = 2}, "Waveform", "Osc2 wave", "Waveform selection"},
    {164, 1, {.scale = 1, .max = 1, .step = 0, .module = 2}, "WM", "", "Wave modulation"},
    {166, 1, {.scale = 1, .max = 1, .step = 0, .module = 2}, "Sync", "", "Hard sync to Osc 1"},
    {168, 1, {.scale = 1, .max = 1, .step = 0, .module = 4}, "TRK", "", "Key tracking"},
    {169, 1, {.scale = 1, .max = 1, .step = 0, .module = 4}, "FM", "", "Frequency modulation"},
    {170, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .module = 4, .bipolar = 1}, "", "Osc3 semi", "Semitone"},
    {171, 6, {.scale = 100, .max = 100, .def = 0.5f, .step = 0.1251f, .module = 4, .bipolar = 1}, "Tune", "Osc3 tune", "Fine tuning"},
    {172, 12, {.def = 0.5f, .list = 100, .module = 4}, "Waveform", "Osc3 wave", "Waveform selection"},
    {173, 1, {.scale = 1, .max = 1, .step = 0, .module = 4}, "WM", "", "Wave modulation"},
    {175, 1, {.scale = 1, .max = 1, .step = 0, .module = 4}, "Sync", "", "Hard sync to Osc 1"},
    {177, 1, {.scale = 1, .max = 1, .step = 0, .module = 256}, "TRK", "", "Key tracking"},
    {178, 1, {.scale = 1, .max = 1, .step = 0, .module = 256}, "FM", "", N},
    {180, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .module = 256, .bipolar = 1}, "", "WG semi", "Semitone"},
    {181, 6, {.scale = 100, .max = 100, .def = 0.5f, .step = 0.1251f, .module = 256, .bipolar = 1}, "Tune", "WG tune", "Fine tuning"},
    {179, 2, {.module = 256}, "Crackle", "", N},
    {182, 12, {.list = 230, .module = 128}, "Shape", "", "Wave shape selection"},
    {185, 4, {}, "Delay", "EG1 delay", N},
    {186, 4, {}, "Attack", "EG1 attack", N},
    {187, 4, {}, "Decay", "EG1 decay", N},
    {188, 2, {}, "Sustain", "EG1 sustain", N},
    {189, 4, {}, "Release", "EG1 release", N},
    {191, 12, {.list = 150}, "Trigger", "", N},
    {192, 4, {}, "Delay", "EG2 delay", N},
    {193, 4, {}, "Attack", "EG2 attack", N},
    {194, 4, {}, "Decay", "EG2 decay", N},
    {195, 2, {}, "Sustain", "EG2 sustain", N},
    {196, 4, {}, "Release", "EG2 release", N},
    {198, 12, {.list = 150}, "Trigger", "", N},
    {199, 4, {}, "Delay", "EG3 delay", N},
    {200, 4, {}, "Attack", "EG3 attack", N},
    {201, 4, {}, "Decay", "EG3 decay", N},
    {202, 2, {}, "Sustain", "EG3 sustain", N},
    {203, 4, {}, "Release", "EG3 release", N},
    {205, 12, {.list = 150}, "Trigger", "", N},
    {206, 4, {}, "Delay", "EG4 delay", N},
    {207, 4, {}, "Attack", "EG4 attack", N},
    {208, 4, {}, "Decay", "EG4 decay", N},
    {209, 2, {}, "Sustain", "EG4 sustain", N},
    {210, 4, {}, "Release", "EG4 release", N},
    {212, 12, {.list = 150}, "Trigger", "", N},
    {338, 4, {}, "Time", "EG times", "All envelope times"},
    {213, 12, {.list = 130}, "Wave", "", "Waveform selection"},
    {214, 2, {}, "Level", "", N},
    {215, 9, {.def = 0.5f}, "Rate", "LFO1 Rate", "Cycles/second"},
    {216, 12, {.list = 180}, "Sync", "", "Sync mode selection"},
    {217, 12, {.list = 130}, "Wave", "", "Waveform selection"},
    {218, 2, {}, "Level", "", N},
    {219, 9, {.def = 0.5f}, "Rate", "LFO2 Rate", "Cycles/second"},
    {220, 12, {.list = 180}, "Sync", "", "Sync mode selection"},
    {221, 12, {.list = 130}, "Wave", "", "Waveform selection"},
    {222, 2, {}, "Level", "", N},
    {223, 9, {.def = 0.5f}, "Rate", "LFO3 Rate", "Cycles/second"},
    {224, 12, {.list = 180}, "Sync", "", "Sync mode selection"},
    {225, 12, {.list = 130}, "Wave", "", "Waveform selection"},
    {226, 2, {}, "Level", "", N},
    {227, 9, {.def = 0.5f}, "Rate", "LFO4 Rate", "Cycles/second"},
    {228, 12, {.list = 180}, "Sync", "", "Sync mode selection"},
    {229, 12, {.list = 140, .module = 512}, "", "", "Filter type"},
    {230, 2, {.module = 512}, "Track", "Flt1 Track", "Cutoff key track"},
    {233, 12, {.list = 140, .module = 4096}, "", "", "Filter type"},
    {234, 2, {.module = 4096}, "Track", "Flt2 Track", "Cutoff key track"},
    {238, 12, {.list = 270}, "", "", "FM input selection"},
    {239, 12, {.list = 270}, "", "", "FM input selection"},
    {240, 12, {.list = 270}, "", "", "RM input selection"},
    {241, 12, {.list = 270}, "", "", "RM input selection"},
    {242, 12, {.list = 270}, "", "", "Mixer input selection"},
    {243, 12, {.list = 270}, "", "", "Mixer input selection"},
    {244, 12, {.list = 270}, "", "", "Mixer input selection"},
    {245, 12, {.list = 270}, "", "", "Mixer input selection"},
    {246, 12, {.list = 270}, "", "", "Mixer input selection"},
    {248, 12, {.list = 270}, "", "", "Waveshaper input selection"},
    {250, 12, {.list = 270}, "", "", "Filter input selection"},
    {251, 12, {.list = 270}, "", "", N},
    {252, 12, {.list = 270}, "", "", N},
    {253, 12, {.list = 270}, "", "", "Waveguide input selection"},
    {254, 12, {.list = 270}, "", "", "Waveguide feedback selection"},
    {255, 12, {.list = 270}, "", "", "main amp input selection"},
    {384, 12, {.list = 270}, "aux left", "aux left", "Aux stereo left input selection"},
    {385, 12, {.list = 270}, "aux right", "aux right", "Aux stereo right input selection"},
    {339, 12, {.list = 270}, "", "", "crossfade input selection"},
    {256, 12, {.list = 270}, "", "", "Formant filter input selection"},
    {257, 12, {.list = 270}, "", "", "Filter input selection"},
    {258, 12, {.list = 270}, "", "", N},
    {259, 12, {.list = 270}, "", "", N},
    {237, 12, {.list = 270}, "", "", "Terrain filter input selection"},
    {247, 12, {.list = 270}, "", "", "VCA input selection"},
    {249, 12, {.list = 270}, "", "", "VCA input selection"},
    {323, 1, {.scale = 1, .max = 1, .step = 0, .module = 16384}, "TRK", "", "Key tracking"},
    {324, 8, {.scale = 96, .max = 96, .def = 0.5f, .step = 0.1251f, .module = 16384, .bipolar = 1}, "", "Spectrum osc semi", "Coarse tuning"},
    {326, 1, {.scale = 1, .max = 1, .step = 0, .module = 16384}, "Fix", "", "Filter tracking"},
    {331, 12, {.list = 190, .module = 16384}, "", "SpecOscMode", "Osc configuration"},
    {329, 13, {.scale = 32, .module = 16384}, "Raster", "SpecOscRaster", "Partial raster"},
    {343, 1, {.scale = 1, .max = 1, .step = 0, .module = 16384}, "Sync", "SpecOscSync", N},
    {330, 12, {.list = 101, .module = 16384}, "", "SpecMethod", "Synthesis method A"},
    {342, 12, {.list = 101, .module = 16384}, "", "SpecMethod", "Synthesis method B"},
    {260, 1, {.scale = 1, .max = 1, .step = 0}, "PHS", "Phs", "Phase synchronisation"},
    {340, 12, {.step = 0, .list = 322}, "Unison", "unison", "unison poly/mono"},
    {341, 13, {.def = 0.5f}, "Spread", "spread", "monophonic spread (unison)"},
    {267, 12, {.list = 260}, "Fingr", "finger", "Glide on legato play"},
    {268, 12, {.list = 250}, "Glide", "Glide", "Glide (Portamento)"},
    {269, 12, {.list = 240}, "Priority", "Priority", "Key priority"},
    {344, 12, {.list = 272}, "#Voices", "#Voices", "Max. number of voices"},
    {271, 12, {.list = 170}, "Reduce", "Reduce", "Sample bit resolution"},
    {272, 12, {.list = 160}, "Sample", "Sample", "Samplerate subdivision"},
    {327, 12, {.list = 141, .module = 8192}, "", "", "Filter configuration"},
    {356, 1, {.scale = 1, .max = 1, .step = 0, .module = 1}, "6x", "", "Six oscillators"},
    {357, 13, {.def = 0.5f, .bipolar = 1}, "Spread", "", "Frequency spread"},
    {358, 1, {.scale = 1, .max = 1, .step = 0}, "HiDamp", "", "Hi damped output"},
    {361, 9, {.def = 0.5f, .module = 32768}, "Cutoff", "T cutoff", "Filter cutoff"},
    {362, 13, {.module = 32768}, "Reso", "T reso", "Filter resonance"},
    {363, 13, {.module = 32768}, "Morph", "T morph", "Filter morphing"},
    {364, 12, {.list = 313}, "", "", "Filter selection"},
    {365, 12, {.list = 313}, "", "", "Filter selection"},
    {1600, 13, {}, "", "", N},
    {1680, 13, {}, "", "", N},
    {1760, 13, {}, "", "", N},
    {2000, 13, {}, "", "", N},
    {386, 12, {.list = 314}, "", "", N},
    {298, 13, {.def = 0.5f}, "8D speed", "8D speed", "8D parameter glide time"},
    {317, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", "MFx On", "On/Off"},
    {393, 1, {.scale = 1, .max = 1, .def = 0.5f}, "Dual", "Dual", "Stereo effect"},
    {278, 12, {.list = 200, .module = 0x40000000}, "Type", "MFxType", "Modulation effect type"},
    {279, 13, {.module = 0x40000000}, "Rate", "MFxRate", N},
    {280, 13, {.min = 0.5f, .module = 0x40000000}, "Spread", "MFxSpread", N},
    {281, 13, {.module = 0x40000000}, "Delay", "MFxDelay", N},
    {282, 13, {.module = 0x40000000}, "Depth", "MFxDepth", N},
    {283, 13, {.min = 0.5f, .module = 0x40000000}, "Feedback", "MFxFBack", N},
    {284, 13, {.min = 0.5f, .module = 0x40000000}, "Level", "MFxLevel", N},
    {316, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", N, "On/Off"},
    {285, 12, {.list = 210, .module = 0x20000000}, "", "DlyType", "Delay type"},
    {286, 13, {.min = 0.5f, .module = 0x20000000}, "Delay 1", "DlyTime1", N},
    {287, 13, {.min = 0.5f, .module = 0x20000000}, "Delay 2", "DlyTime2", N},
    {288, 13, {.module = 0x20000000}, "Feedback", "DlyFBack", N},
    {289, 13, {.module = 0x20000000}, "Level", "DlyLevel", N},
    {290, 13, {.module = 0x20000000}, "Cutoff", "DlyCutoff", N},
    {291, 1, {.scale = 1, .max = 1, .def = 0.5f, .module = 0x20000000}, "MIDI", "MIDI", "MIDI synced delay time"},
    {315, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", N, "On/Off"},
    {292, 12, {.list = 220, .module = 0x10000000}, "", "DistType", "Distortion type"},
    {293, 13, {.module = 0x10000000}, "Cutoff", "DistCutoff", N},
    {294, 13, {.min = 0.5f, .module = 0x10000000}, "Tone", "DistTone", N},
    {295, 13, {.module = 0x10000000}, "Level", "DistLevel", N},
    {296, 13, {.module = 0x10000000}, "Drive", "DistDrive", N},
    {334, 12, {.list = 321}, "", "", "Arpeggio type"},
    {335, 12, {.list = 304}, "", "", "Arpeggio range"},
    {336, 12, {.list = 305}, "", "", "Arpeggio clock"},
    {337, 12, {.list = 306}, "", "", "Arpeggio mode"},
    {387, 12, {.list = 319}, "", "", "Morph source selection"},
    {388, 12, {.list = 319}, "", "", "Morph source selection"},
    {389, 12, {.list = 319}, "", "", "Morph source selection"},
    {390, 13, {.min = 0.5f}, "Curve", "", "Modulation curve"},
    {391, 13, {.min = 0.5f}, "Curve", "", "Modulation curve"},
    {392, 13, {.min = 0.5f}, "Curve", "", "Modulation curve"},
    {394, 13, {}, "Level", "", N},
    {395, 1, {.scale = 1, .max = 1, .def = 0.5f}, "Mute layer", N, N},
};

// Part mixer, group 1: each row stands once per part. The level rows carry
// the part's name as label.
constexpr uint32_t kMixLevel = 2;
const Row kMixer[] = {
    {2, 13, {.def = 0.725f}, N /* "Part n" */, "", N},
    {0, 13, {}, "Reverb", "", N},
    {1, 13, {}, "Chorus", "", N},
    {3, 7, {.def = 0.5f, .bipolar = 1}, "Pan", "", N},
    {4, 12, {.def = 0.5f, .list = 271}, "MIDI", "", "MIDI input selection"},
    {10, 12, {.def = 0.5f, .list = 272}, "Voices", "", "Max. number of voices"},
    {6, 12, {.def = 0.5f, .list = 273}, "SplitHi", "", "Key split high note"},
    {5, 12, {.def = 0.5f, .list = 273}, "SplitLo", "", "Key split low note"},
    {11, 1, {.flags = 0, .scale = 1, .max = 1}, "", "", N},
    {9, 1, {.flags = 0, .scale = 1, .max = 1}, "", "", N},
    {14, 12, {.def = 0.5f, .list = 279, .available = 0}, "", "", "Audio output selection"},
};

// Master, reverb and chorus, group 2.
const Row kGlobal[] = {
    {6, 13, {.def = 0.725f}, "Master", "", N},
    {8, 13, {}, "Reverb", "", N},
    {9, 13, {}, "Chorus", "", N},
    {7, 7, {.def = 0.5f, .bipolar = 1}, "Pan", "", N},
    {23, 1, {.def = 0.5f}, "", N, N},
    {10, 12, {.def = 0.725f, .list = 276}, "Preset", "", N},
    {11, 13, {}, "Predelay", "", N},
    {12, 13, {}, "Time", "", N},
    {13, 13, {}, "Size", "", N},
    {14, 13, {}, "Structure", "", N},
    {15, 13, {}, "Fusion", "", N},
    {16, 13, {}, "Damping", "", N},
    {24, 1, {.def = 0.5f}, "", N, N},
    {17, 12, {.list = 277}, "Preset", "", N},
    {18, 13, {.def = 0.5f}, "Rate", "", N},
    {19, 13, {.def = 0.5f}, "Spread", "", N},
    {20, 13, {.def = 0.1f}, "Delay", "", N},
    {21, 13, {.def = 0.5f}, "Depth", "", N},
    {22, 13, {.def = 0.5f}, "Feedback", "", N},
};

// Property dialog, group 4: the buttons (index 0) and the property fields
// (index 1, sub = field number); the image fields follow by loop. OK and
// Cancel act once at each press: one-shots, no switches.
const SubRow kDialog[] = {
    {0, 1, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f, .step = 0.1f}, "OK", N, "Save changes"},
    {0, 2, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f, .step = 0.1f}, "Cancel", N, "Cancel changes"},
    {1, 1, 14, {.scale = 4000, .max = 4000, .def = 50}, "X-Pos", N, "X Position in pixels"},
    {1, 2, 14, {.scale = 4000, .max = 4000, .def = 50}, "Y-Pos", N, "Y Position in pixels"},
    {1, 3, 14, {.scale = 4000, .max = 4000, .def = 50}, "X-Size", N, "X Size in pixels"},
    {1, 4, 14, {.scale = 4000, .max = 4000, .def = 50}, "Y-Size", N, "Y Size in pixels"},
    {1, 5, 14, {}, "Parameter", N, "Connect to parameter"},
    {1, 7, 14, {}, "Typ", N, "0=Part 1=Mix 2=Glob 3=Sys 4=Dlg"},
    {1, 8, 14, {}, "Index", N, "param index"},
    {1, 9, 14, {}, "Subindex", N, "param subindex"},
    {1, 10, 14, {}, "Page", N, "display page"},
    {1, 11, 14, {}, "Layer", N, "display layer"},
    {1, 12, 14, {}, "DialogID", N, "dialog id"},
    {1, 20, 14, {.scale = 255, .max = 255}, "Font", N, "default font"},
    {1, 21, 14, {.scale = 255, .max = 255}, "Text R", N, "text color red"},
    {1, 22, 14, {.scale = 255, .max = 255}, "Text G", N, "text color green"},
    {1, 23, 14, {.scale = 255, .max = 255}, "Text B", N, "text color blue"},
};

// Setup values and commands, group 3, in runs between the loops.
const Row kSetupDevices[] = {
    {1, 12, {.list = 10020}, "MIDI input", N, "select MIDI driver for input"},
    {2, 12, {.list = 10030}, "MIDI output", N, "select MIDI driver for output"},
    {3, 12, {.list = 10000}, "Audio input", N, "select audio driver for input"},
    {4, 12, {.list = 10010}, "Audio output", N, "select audio driver for output"},
    {5, 12, {.list = 10040}, "", N, "select program"},
    {6, 12, {}, "", N, "open bank file"},
};
const Row kSetupMenus[] = {
    {102, 1, {.scale = 1, .max = 1, .list = 280}, "", N, "main menu"},
    {141, 12, {.max = 1, .list = 312}, "", N, ""},
};
const Row kSetupLayer[] = {
    {174, 1, {.scale = 1, .max = 1}, "", N, "Mute layer"},
    {175, 1, {.scale = 1, .max = 1}, "", N, "Solo layer"},
};
const Row kSetupPresets[] = {
    {36, 15, {}, "", N, ""},
    {134, 1, {.scale = 1, .max = 1}, "", N, "combination preset"},
    {128, 1, {.flags = 0x40, .scale = 1, .max = 1}, "", N, "randomize preset"},
    {121, 1, {.flags = 0x40, .scale = 1, .max = 1}, "", N, "next preset"},
    {122, 1, {.flags = 0x40, .scale = 1, .max = 1}, "", N, "previous preset"},
    {135, 1, {.flags = 0x40, .scale = 1, .max = 1}, "", N, "All notes off"},
};
const Row kSetupAudio[] = {
    {99, 12, {.list = 275}, "Samplerate", N, "Samplerate"},
    {118, 12, {.list = 10090}, "", N, ""},
    {100, 12, {.list = 276}, "", N, ""},
    {101, 12, {.list = 277}, "", N, ""},
    {160, 13, {.flags = 0x20}, "", "", "MIDI Out delay"},
    {96, 13, {.flags = 0x20}, "Latency", "", "DirectX Latency"},
    {97, 13, {.flags = 0x20}, "ASIO", "", "ASIO Driver dialog"},
    {98, 13, {.flags = 0x20}, "MIDI Out", "", "Enable MIDI output"},
    {108, 12, {.list = 3}, "", N, "User interface design"},
};
const Row kSetupOpeners[] = {
    {119, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", N, "Show MIDI controller"},
    {111, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f}, "", N, "Open editor"},
    {112, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f}, "", N, "Open editor"},
    {113, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f}, "", N, "Open editor"},
    {171, 1, {.flags = 0x40, .scale = 1, .max = 1, .def = 0.5f}, "", N, "Open editor"},
    {172, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", N, "Browse sounds"},
    {173, 1, {.scale = 1, .max = 1, .def = 0.5f}, "", N, "Set categories"},
    {176, 15, {}, "", N, ""},
};

// Transport and sequencer fields, group 7: index = editor group, sub = editor
// index.
const SubRow kTransport[] = {
    {32, 0, 1, {}, "", N, "stop"},
    {33, 0, 1, {}, "", N, "play"},
    {46, 1, 1, {.flags = 0x40}, "", N, "to start"},
    {46, 2, 1, {.flags = 0x40}, "", N, "to end"},
    {46, 3, 1, {.flags = 0x40}, "", N, "fast forward"},
    {46, 4, 1, {.flags = 0x40}, "", N, "fast rewind"},
    {35, 0, 1, {}, "", N, "cycle"},
    {42, 0, 1, {}, "", N, "MIDI sync"},
    {13, 0, 13, {.flags = 0x20, .scale = 128, .max = 128, .def = 0.5f}, "Tempo", N, "Tempo [bpm]"},
    {37, 0, 13, {.flags = 0x20, .scale = 100, .max = 100, .def = 0.5f}, "", N, "Shuffle [%]"},
    {34, 0, 13, {.flags = 0x20, .scale = 128, .max = 128, .def = 0.5f}, "", N, ""},
    {29, 0, 12, {.flags = 0x20, .def = 0.5f, .list = 316}, "", N, ""},
};

// Multi-sample editor, group 8: items of the whole sample, then the items
// that stand once per zone (sub = zone). Open and New, like Save, act once
// at each press and hold no state to show: one-shots.
const Row kSampleEditor[] = {
    {23, 15, {.scale = 128, .max = 128, .def = 0}, "", N, ""},
    {1, 1, {.flags = 0x40}, "Open", N, "Open multi sample"},
    {2, 1, {.flags = 0x40}, "New", N, "New multi sample"},
    {3, 1, {.flags = 0x40}, "Save", N, "Save multi sample"},
    {26, 1, {}, "HiQ", N, "Hi quality mode (mono)"},
    {20, 12, {.list = 318}, "", N, "play mode"},
    {21, 2, {.scale = 100, .max = 100}, "", N, "key crossfade"},
    {22, 2, {.scale = 100, .max = 100}, "", N, "velocity crossfade"},
};
const Row kSampleZone[] = {
    {5, 12, {.scale = 128, .max = 128, .menu = 320}, "", N, "Open sample"},
    {6, 12, {.scale = 128, .max = 128, .menu = 320}, "", N, "Open sample"},
    {7, 12, {.list = 317}, "", N, "original sample key"},
    {8, 12, {.list = 317}, "", N, "hi key limit"},
    {13, 2, {.scale = 100, .max = 100}, "", N, "loop start"},
    {14, 2, {.scale = 100, .max = 100}, "", N, "loop end"},
};

// Recorder, group 9. Start and Pause show the recorder's state; Stop only
// acts (a one-shot).
const Row kRecorder[] = {
    {0, 15, {.scale = 128, .max = 128, .def = 0}, "", N, "Select wave file for recording"},
    {1, 1, {}, "", N, "Start recording"},
    {2, 1, {.flags = 0x40}, "", N, "Stop recording"},
    {3, 1, {}, "", N, "Pause recording"},
    {4, 1, {}, "", N, "Recording status"},
};

class Builder {
public:
    explicit Builder(CParameterTable& table) : m_table(table) {}

    void Block(uint32_t kind, uint32_t group, uint32_t flags, float scale, float max, float def,
               float step)
    {
        m_kind = kind;
        m_group = group;
        m_flags = flags;
        m_scale = scale;
        m_max = max;
        m_def = def;
        m_step = step;
    }

    void Add(uint32_t index, uint32_t sub, uint32_t type, const Other& o, const char* label,
             const char* name, const char* hint)
    {
        auto pick = [](float v, float block) { return v == kBlock ? block : v; };
        m_table.Add(CIParameter(m_kind, m_group, index, sub, type,
                                o.flags < 0 ? m_flags : uint32_t(o.flags), pick(o.scale, m_scale),
                                pick(o.min, 0.0f), pick(o.max, m_max), pick(o.def, m_def),
                                pick(o.step, m_step), o.menu, o.list, o.module, label, name, hint,
                                o.bipolar, o.available));
    }
    void Add(const Row& r, uint32_t sub = 0)
    {
        Add(r.index, sub, r.type, r.other, r.label, r.name, r.hint);
    }
    template <size_t n>
    void Add(const Row (&rows)[n])
    {
        for (const Row& r : rows) Add(r);
    }
    template <size_t n>
    void Add(const SubRow (&rows)[n])
    {
        for (const SubRow& r : rows) Add(r.index, r.sub, r.type, r.other, r.label, r.name, r.hint);
    }

    // Repeats rows [first, first + count) of the table with another sub.
    void Repeat(size_t first, size_t count, uint32_t sub)
    {
        for (size_t i = first; i < first + count; ++i) {
            CIParameter row = m_table[i];
            row.sub = sub;
            m_table.Add(row);
        }
    }

    size_t Size() const { return m_table.size(); }

    template <typename... Args>
    const char* Text(const char* format, Args... args)
    {
        char buf[64];
        snprintf(buf, sizeof buf, format, args...);
        return m_table.Keep(buf);
    }

private:
    CParameterTable& m_table;
    uint32_t m_kind = 0, m_group = 0, m_flags = 0;
    float m_scale = 1.0f, m_max = 1.0f, m_def = 0.0f, m_step = 0.1f;
};

}  // namespace

void InitParameterTable(CParameterTable& table)
{
    Builder b(table);
    constexpr int kParts = 16;
    constexpr int kRoutings = 20;

    // Sound values, with the modulation matrix: amounts 36.., sources 65..,
    // destinations 85...
    b.Block(CIParameter::kValue, 0, CIParameter::kFlagSound, 128, 128, 0, 0.1f);
    b.Add(kSoundFirst);
    const size_t amounts = b.Size();
    for (int k = 0; k < kRoutings; ++k)
        b.Add(36 + k, 0, 13, {.def = 0.5f, .bipolar = 1}, "", b.Text("MdAmnt%02d", k + 1), N);
    b.Add(kSoundMiddle);
    const size_t sources = b.Size();
    for (int k = 0; k < kRoutings; ++k) b.Add(65 + k, 0, 12, {.def = 0.5f, .list = 110}, "", "", N);
    for (int k = 0; k < kRoutings; ++k) b.Add(85 + k, 0, 12, {.def = 0.5f, .list = 120}, "", "", N);
    b.Add(kSoundLast);

    // Copies of the amounts and sources that a knob in modulation-assign
    // mode rebinds to the first and second routing aimed at it.
    b.Repeat(amounts, kRoutings, 1010);
    b.Repeat(amounts, kRoutings, 1011);
    b.Repeat(sources, kRoutings, 1000);
    b.Repeat(sources, kRoutings, 1001);

    // Part mixer: index = part << 10 | mixer id.
    b.Block(CIParameter::kValue, 1, CIParameter::kFlagSound, 128, 128, 0, 0.1f);
    for (const Row& r : kMixer)
        for (int p = 0; p < kParts; ++p)
            b.Add(uint32_t(p) << 10 | r.index, 0, r.type, r.other,
                  r.index == kMixLevel ? b.Text("Part %d", p + 1) : r.label, r.name, r.hint);

    b.Block(CIParameter::kValue, 2, CIParameter::kFlagSound, 128, 128, 0, 0.1f);
    b.Add(kGlobal);

    // Page switches: a button bound to sub n shows page n.
    b.Block(CIParameter::kCommand, 5, 0, 1, 1, 0, 0.1f);
    for (int page = 0; page < 16; ++page) b.Add(140, page, 1, {}, "", N, N);

    b.Block(CIParameter::kCommand, 4, 0, 1000, 1000, 0, 10);
    b.Add(kDialog);
    for (int k = 0; k < 16; ++k)
        b.Add(1, 100 + k, 15, {.scale = 0, .max = 0, .step = 0}, b.Text("Image %d", k + 1), N,
              b.Text("Image ID for image %d", k + 1));

    b.Block(CIParameter::kValue, 3, 0, 128, 128, 0, 0.1f);
    b.Add(kSetupDevices);
    for (int p = 0; p < kParts; ++p)
        b.Add(40 + p, 0, 12, {.list = 10060}, "", N, b.Text("select program for part %d", p + 1));
    b.Add(kSetupMenus);
    // Part selectors 10..25, with the layer switches after the fourth.
    auto partSelect = [&](int first, int last) {
        for (int p = first; p <= last; ++p)
            b.Add(9 + p, 0, 12, {}, b.Text("%d", p), N, b.Text("select part %d", p));
    };
    partSelect(1, 4);
    b.Add(kSetupLayer);
    partSelect(5, kParts);
    b.Add(kSetupPresets);
    for (int k = 1; k <= 4; ++k) b.Add(136, k, 1, {.flags = 0x40, .scale = 1, .max = 1}, "", N, "");
    // The eight axes of the 8D pad: values, then their assign buttons.
    for (int k = 0; k < 8; ++k)
        b.Add(143 + k, 0, 15, {}, b.Text("%d-%c", k / 2 + 1, "XY"[k % 2]), N, "");
    for (int k = 0; k < 8; ++k)
        b.Add(151 + k, 0, 1, {.scale = 1, .max = 1}, b.Text("%d%c", k / 2 + 1, "xy"[k % 2]), N,
              b.Text("Assign parameter to 8D %d%c ", k / 2 + 1, "XY"[k % 2]));
    b.Add(kSetupAudio);
    for (int id = 166; id <= 170; ++id) b.Add(id, 0, 12, {}, "", N, "");

    b.Block(CIParameter::kValue, 7, 0, 1, 1, 0, 0.1f);
    b.Add(kTransport);

    b.Block(CIParameter::kValue, 3, 0, 128, 128, 0, 0.1f);
    for (int id : {30, 31, 32, 34, 35}) b.Add(id, 0, 13, {.scale = 1, .max = 1, .def = 0.5f}, "", N, N);
    for (int id = 80; id <= 95; ++id) b.Add(id, 0, 13, {.scale = 1, .max = 1, .def = 0.5f}, "", N, N);
    b.Add(kSetupOpeners);

    b.Block(CIParameter::kValue, 8, 0, 1, 1, 0.5f, 0.1f);
    b.Add(kSampleEditor);
    for (const Row& r : kSampleZone)
        for (int zone = 0; zone < 16; ++zone) b.Add(r, zone);

    b.Block(CIParameter::kValue, 9, 0, 1, 1, 0.5f, 0.1f);
    b.Add(kRecorder);

    // The list browser's data source: bound to the preset browser, no value.
    table.Add(CIParameter(CIParameter::kValue, 10, 1, 0));
}
