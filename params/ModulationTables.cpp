// The four 37 x 90 code tables and the converter table of the modulation
// matrix. Almost every entry follows a default per source or per
// destination, so the tables are built from those defaults and the short
// lists of exceptions below rather than written out cell by cell.
#include "params/ModulationTables.h"

#include <initializer_list>
#include <iterator>

namespace modtables {
namespace {

// A set of sources (0..36) or destinations (0..89).
struct Keys {
    uint64_t w[2] = {0, 0};
    constexpr bool Has(int k) const { return k >= 0 && k < 128 && ((w[k >> 6] >> (k & 63)) & 1u); }
};

constexpr Keys Set(std::initializer_list<int> keys) {
    Keys s;
    for (int k : keys) s.w[k >> 6] |= uint64_t{1} << (k & 63);
    return s;
}

constexpr Keys Range(int first, int last) {
    Keys s;
    for (int k = first; k <= last; ++k) s.w[k >> 6] |= uint64_t{1} << (k & 63);
    return s;
}

constexpr Keys Union(Keys a, Keys b) { return Keys{{a.w[0] | b.w[0], a.w[1] | b.w[1]}}; }

constexpr Keys kAllSources = Range(0, kSources - 1);

// --- source sets shared by several rules ---------------------------------------
// Control values and pitch bend: sources whose modulation multiplies a level.
constexpr Keys kCtlA = Set({0, 1, 2, 3, 4, 14, 19, 20});
constexpr Keys kCtlB = Set({0, 1, 2, 3, 4, 13, 14, 19, 20});
// The LFO family with pitch bend, and without it.
constexpr Keys kLfoBend = Set({9, 10, 11, 12, 14, 16, 17, 18, 25, 26});
constexpr Keys kLfo = Set({9, 10, 11, 12, 16, 17, 18, 25, 26});
constexpr Keys kKeyLfo = Set({1, 2, 3, 4, 9, 10, 11, 12, 14, 16, 17, 18, 25, 26});
constexpr Keys kKeyAndMeg = Range(32, 36);
// Envelopes, LFOs and the mod wheel: everything but the control values.
constexpr Keys kEnvWheel = Union(Union(Range(5, 13), Range(15, 18)), Range(21, 36));
constexpr Keys kEnv = Union(Union(Range(5, 12), Range(15, 18)), Range(21, 36));

// --- destination sets of the source codes ---------------------------------------
constexpr Keys kFrequencyDest = Set({13, 31, 32, 33, 41});
constexpr Keys kPitchDest = Set({0, 1, 3, 6, 19, 29, 30, 55, 74, 75, 76});

struct Except {
    uint32_t value = 0;
    Keys keys{};
};

// A default value for one row with up to two exception lists.
struct Rule {
    uint32_t value;
    Except e0{};
    Except e1{};
    constexpr uint32_t At(int k) const {
        if (e0.keys.Has(k)) return e0.value;
        if (e1.keys.Has(k)) return e1.value;
        return value;
    }
};

// Source code by source; exceptions are destinations.
constexpr Rule kSourceRules[] = {
    {0},
    {74, {173, kFrequencyDest}},
    {75, {174, kFrequencyDest}},
    {76, {175, kFrequencyDest}},
    {77},
    {81, {82, kPitchDest}},
    {83, {84, kPitchDest}},
    {85, {86, kPitchDest}},
    {87, {88, kPitchDest}},
    {89}, {90}, {91}, {92},
    {56}, {57},
    {231}, {232}, {233}, {234},
    {93, {180, kFrequencyDest}},
    {94, {181, kFrequencyDest}},
    {231}, {235}, {236}, {237}, {238}, {239},
    {246}, {250}, {254}, {258},
    {262}, {263}, {264}, {265},
    {278}, {279},
};
static_assert(std::size(kSourceRules) == kSources);

// Target code 2 by destination; exceptions are sources.
constexpr Rule kTarget2Rules[] = {
    {144}, {65}, {1}, {66}, {3},
    {4, {kNoTarget, kLfoBend}},                         // 5
    {67},
    {6, {kNoTarget, kLfoBend}},                         // 7
    {kNoTarget, {208, kCtlA}},                          // 8
    {kNoTarget, {209, kCtlA}},
    {kNoTarget, {210, kCtlA}},
    {kNoTarget, {211, kCtlA}},
    {kNoTarget, {212, kCtlA}},                          // 12
    {16}, {17}, {19},                                   // 13..15
    {kNoTarget, {220, kCtlB}},                          // 16
    {15, {kNoTarget, kLfo}},                            // 17
    {kNoTarget, {12, kCtlB}},                           // 18
    {68}, {13}, {14},                                   // 19..21
    {kNoTarget, {215, kCtlB}, {0, kKeyAndMeg}},         // 22
    {21}, {146}, {147}, {151}, {148}, {156},            // 23..28
    {69}, {70}, {22}, {25}, {28}, {23}, {26}, {29},     // 29..36
    {kNoTarget, {217, kCtlB}},                          // 37
    {kNoTarget, {218, kCtlB}},
    {kNoTarget, {219, kCtlB}},
    {31}, {32}, {33}, {35},                             // 40..43
    {kNoTarget, {221, kCtlB}},                          // 44
    {kNoTarget}, {kNoTarget}, {kNoTarget}, {kNoTarget}, {kNoTarget},  // 45..49
    {kNoTarget}, {kNoTarget}, {kNoTarget}, {kNoTarget}, {kNoTarget},  // 50..54
    {186},
    {64, {kNoTarget, kKeyLfo}},                         // 56
    {63}, {193}, {194}, {195}, {196}, {197}, {198}, {199}, {200}, {201},  // 57..66
    {161}, {202}, {203}, {204}, {205}, {166}, {206},    // 67..73
    {71}, {72}, {207},                                  // 74..76
    {kNoTarget, {216, Set({0, 1, 2, 3, 4, 13, 14, 15, 19, 20})}},  // 77
    {kNoTarget, {222, kCtlA}},                          // 78
    {kNoTarget, {223, kCtlA}},
    {kNoTarget, {224, kCtlA}},
    {kNoTarget, {225, Set({0, 1, 2, 3, 14, 19, 20})}, {223, Set({4})}},  // 81
    {61}, {60}, {58},                                   // 82..84
    {59, {kNoTarget, kKeyLfo}},                         // 85
    {240}, {269}, {270}, {271},                         // 86..89
};
static_assert(std::size(kTarget2Rules) == kDestinations);

// Target code 1: 280 everywhere except these (destination, value, sources).
struct DestExcept {
    int destination;
    uint32_t value;
    Keys sources;
};
constexpr Keys kMeter49a = Set({0, 1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18, 20, 21,
                                22, 23, 25, 26, 27, 28, 29, 30, 32, 33, 34, 35});
constexpr DestExcept kTarget1Except[] = {
    {0, 0, kKeyAndMeg},
    {5, 4, kLfoBend},
    {7, 6, kLfoBend},
    {8, 7, kEnvWheel}, {9, 8, kEnvWheel}, {10, 9, kEnvWheel}, {11, 10, kEnvWheel},
    {12, 11, kEnvWheel},
    {16, 18, kEnv},
    {17, 15, kLfo},
    {18, 12, kEnv},
    {22, 20, kEnv},
    {37, 24, kEnv}, {38, 27, kEnv}, {39, 30, kEnv},
    {44, 34, kEnv},
    {45, 46, kAllSources}, {46, 47, kAllSources}, {47, 48, kAllSources}, {48, 49, kAllSources},
    {49, 50, kMeter49a},
    {49, 51, Set({4, 9, 14, 19, 24, 31, 36})},
    {50, 51, kAllSources}, {51, 52, kAllSources}, {52, 53, kAllSources}, {53, 54, kAllSources},
    {54, 55, kAllSources},
    {56, 64, kKeyLfo},
    {77, 62, kEnv},
    {78, 222, Set({12})},
    {78, 226, Union(Union(Range(5, 11), Set({13})), Union(Range(15, 18), Range(21, 36)))},
    {79, 227, kEnvWheel}, {80, 228, kEnvWheel}, {81, 229, kEnvWheel},
    {85, 240, kKeyLfo},
};

// Scale value: 0.0 everywhere except 1.0 on these (destinations x sources).
struct Block {
    Keys destinations;
    Keys sources;
};
constexpr Block kScaleOne[] = {
    {Set({5, 7}), kLfoBend},
    {Set({8, 9, 10, 11, 12, 16, 17, 18, 22, 37, 38, 39, 44, 77, 78, 79, 80, 81}), kLfo},
    {Set({56, 85}), Set({1, 2, 4, 9, 10, 11, 12, 14, 16, 17, 18, 25, 26})},
};

// Converter by destination: the base converter for every source, its
// twin for sources 1 and 2 (key tracking and pitch), and one more list.
struct ConvRule {
    Converter base;
    Converter twin;
    Converter extra = kLinear;
    Keys extraSources{};
};
constexpr Keys kLevelA = Set({3, 4, 14, 19, 20});
constexpr Keys kLevelB = Set({3, 4, 13, 14, 19, 20});
constexpr Keys kTime = Set({3, 4, 9, 10, 11, 12, 13, 14, 16, 17, 18, 19, 20, 25, 26});
constexpr ConvRule P{kPitchInterval, kPitchIntervalPerOctave};
constexpr ConvRule L{kLinear, kLinearPerOctave};
constexpr ConvRule FM{kFMAmount, kFMPerOctave};
constexpr ConvRule F{kFrequencyInterval, kFrequencyIntervalPerOctave};
constexpr ConvRule LvA{kLinear, kLevelPerOctave, kLevel, kLevelA};
constexpr ConvRule LvB{kLinear, kLevelPerOctave, kLevel, kLevelB};
constexpr ConvRule Lv{kLinear, kLevelPerOctave};
constexpr ConvRule T{kLinear, kTimeFactorPerOctave, kTimeFactor, kTime};
constexpr ConvRule SQ{kSignedSquare, kSignedSquare};

constexpr ConvRule kConverterRules[] = {
    P, P, L, P, L, FM, P, FM,                           // 0..7
    LvA, LvA, LvA, LvA, LvA,                            // 8..12
    F, L, F, LvB, LvA, LvB, P, L, L, LvB, L,            // 13..23
    T, T, L, T, L, P, P,                                // 24..30
    F, F, F, L, L, L, LvB, LvB, LvB, L, F,              // 31..41
    {kLinear, kLinearPerOctave, kFrequencyInterval, Range(21, 36)},  // 42
    F, LvB,                                             // 43, 44
    L, L, L, L, L, L, L, L, L, L,                       // 45..54
    P, L, SQ,                                           // 55..57
    T, T, T, T, T, T, T, T, T, L, T, T, T,              // 58..70
    {kLinear, kTimeFactorPerOctave, kTimeFactor, Union(kTime, Set({15}))},  // 71
    L, T, P, P, L, LvB,                                 // 72..77
    Lv, Lv, Lv, Lv, L, L,                               // 78..83
    {kSignedSquare, kSignedSquare, kLinear, Set({35, 36})},  // 84
    L, L, F, L, L,                                      // 85..89
};
static_assert(std::size(kConverterRules) == kDestinations);

struct Tables {
    uint32_t sourceCode[kSources * kDestinations] = {};  // [source * 90 + destination]
    uint32_t target1[kDestinations * kSources] = {};     // [destination * 37 + source]
    uint32_t target2[kDestinations * kSources] = {};
    float scale[kDestinations * kSources] = {};
    Converter converter[kDestinations * kSources] = {};

    constexpr Tables() {
        for (int s = 0; s < kSources; ++s)
            for (int d = 0; d < kDestinations; ++d) {
                sourceCode[s * kDestinations + d] = kSourceRules[s].At(d);
                int k = d * kSources + s;
                target1[k] = kNoTarget;
                target2[k] = kTarget2Rules[d].At(s);
                scale[k] = 0.0f;
                const ConvRule& c = kConverterRules[d];
                converter[k] = c.extraSources.Has(s) ? c.extra
                               : (s == 1 || s == 2) ? c.twin
                                                    : c.base;
            }
        for (const DestExcept& e : kTarget1Except)
            for (int s = 0; s < kSources; ++s)
                if (e.sources.Has(s)) target1[e.destination * kSources + s] = e.value;
        for (const Block& b : kScaleOne)
            for (int d = 0; d < kDestinations; ++d)
                for (int s = 0; s < kSources; ++s)
                    if (b.destinations.Has(d) && b.sources.Has(s)) scale[d * kSources + s] = 1.0f;
    }
};

// Generated by the compiler: no start-up work and nothing to initialise on
// whichever thread sets the first routing.
constexpr Tables kTables{};

const Tables& Get() { return kTables; }

}  // namespace

int ClampSource(int source) { return source < 0 ? 0 : source >= kSources ? kSources - 1 : source; }

int ClampDestination(int destination) {
    return destination < 0 ? 0 : destination >= kDestinations ? kDestinations - 1 : destination;
}

uint32_t SourceCode(int source, int destination) {
    return Get().sourceCode[ClampSource(source) * kDestinations + ClampDestination(destination)];
}

uint32_t TargetCode1(int source, int destination) {
    return Get().target1[ClampDestination(destination) * kSources + ClampSource(source)];
}

uint32_t TargetCode2(int source, int destination) {
    return Get().target2[ClampDestination(destination) * kSources + ClampSource(source)];
}

float ScaleValue(int source, int destination) {
    return Get().scale[ClampDestination(destination) * kSources + ClampSource(source)];
}

Converter ConverterOf(int source, int destination) {
    return Get().converter[ClampDestination(destination) * kSources + ClampSource(source)];
}

}  // namespace modtables
