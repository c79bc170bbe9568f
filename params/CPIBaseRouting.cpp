// The modulation matrix: routing codes for the engine, amount converters,
// the parameter-to-destination map and the knob lookups.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "params/CPIBase.h"
#include "params/ModulationTables.h"

namespace {

constexpr int kAmountId = 36;
constexpr int kSourceId = 65;
constexpr int kDestinationId = 85;
constexpr int kSlotTarget1 = 85;
constexpr int kSlotTarget2 = 105;
constexpr int kSlotScale = 125;

// Truncates a stored value toward zero and limits it to lo..hi; a value
// that no int can hold (or NaN) lands on an end instead of being undefined.
int TruncateClamped(float x, int lo, int hi) {
    if (!(x >= static_cast<float>(lo))) return lo;
    if (x >= static_cast<float>(hi)) return hi;
    return static_cast<int>(x);
}

__attribute__((format(printf, 3, 4))) void Put(char* text, int size, const char* format, ...) {
    if (!text || size <= 0) return;
    va_list args;
    va_start(args, format);
    vsnprintf(text, static_cast<size_t>(size), format, args);
    va_end(args);
}

struct Interval {
    int o = 0, s = 0, c = 0, h = 0;
};

// Steps of the pitch interval converter for a distance d (0..64) from the
// centre: cents first, then semitones, then octaves in thirds.
Interval PitchSteps(int d) {
    Interval r;
    if (d <= 10) r.c = d;
    else if (d <= 18) r.c = 5 * d - 40;
    else if (d <= 22) r.c = 10 * d - 130;
    else if (d <= 33) r.s = d - 22;
    else if (d <= 39) { r.o = 1; r.s = 2 * d - 68; }
    else { r.o = (d - 40) / 3 + 2; r.s = 4 * ((d - 40) % 3); }
    return r;
}

// The per-octave twin is finer: the first step is half a cent.
Interval PitchStepsPerOctave(int d) {
    Interval r;
    if (d == 0) {
    } else if (d == 1) r.h = 1;
    else if (d <= 7) r.c = d - 1;
    else if (d <= 13) r.c = 2 * d - 7;
    else if (d <= 23) r.c = 8 * d - 92;
    else if (d <= 35) { r.s = (d - 24) / 4 + 1; r.c = 25 * ((d - 24) % 4); }
    else if (d <= 51) { r.s = (d - 36) / 2 + 4; r.c = 50 * ((d - 36) % 2); }
    else { r.o = (d - 52) / 12 + 1; r.s = (d - 52) % 12; }
    return r;
}

float IntervalOctaves(const Interval& r) {
    return static_cast<float>(r.o) + static_cast<float>(r.s) / 12.0f +
           static_cast<float>(r.c) / 1200.0f + static_cast<float>(r.h) / 2400.0f;
}

// Octaves, semitones and cents of a frequency ratio t given in octaves.
Interval FrequencySteps(float t) {
    Interval r;
    r.o = static_cast<int>(t);
    float semis = 12.0f * (t - static_cast<float>(r.o));
    r.s = static_cast<int>(semis);
    r.c = static_cast<int>(100.0f * (semis - static_cast<float>(r.s)));
    return r;
}

void PutInterval(char* text, int size, bool negative, const Interval& r, bool perOctave) {
    const char sign = negative ? '-' : '+';
    if (perOctave && r.h == 1)
        Put(text, size, "%c00:00:005/Oct", sign);
    else if (perOctave)
        Put(text, size, "%c%01d:%02d:%02d/Oct", sign, r.o, r.s, r.c);
    else
        Put(text, size, "%c%01d:%02d:%02d", sign, r.o, r.s, r.c);
}

}  // namespace

// --- converters ------------------------------------------------------------------

float modtables::Convert(Converter c, float a, char* text, int textSize, float* scale,
                         bool* hasScale) {
    // A stored amount outside the knob's range (a damaged or foreign program)
    // would otherwise give depths far beyond what the engine expects.
    if (!(a >= 0.0f)) a = 0.0f;
    if (a > 128.0f) a = 128.0f;
    const float v = (a - 64.0f) / 64.0f + 0.000000001f;
    const int n = static_cast<int>(a);
    const int d = std::abs(64 - n);
    const bool negative = n < 64;
    if (hasScale) *hasScale = false;
    float depth = v;

    switch (c) {
    case kLinear:
        Put(text, textSize, "%+03.2f", v);
        break;
    case kLinearPerOctave:
        depth = (a - 64.0f) / 16.0f + 0.000000001f;
        Put(text, textSize, "%+03.2f/Oct", depth / 16.0f);
        break;
    case kSignedSquare:
        depth = a < 64.0f ? -(v * v) : v * v;
        Put(text, textSize, "%+05.4f", depth);
        break;
    case kLevel:
        Put(text, textSize, "%+3.1f dB", 60.0f * v);
        if (scale) *scale = v > 0.0f ? -v : 0.0f;
        if (hasScale) *hasScale = true;
        break;
    case kLevelPerOctave:
        depth = 4.0f * v;
        Put(text, textSize, "%+3.1f dB/Oct", 15.0f * v);
        break;
    case kTimeFactor: {
        const float x = std::exp2(17.0f * v);
        if (x < 0.01f) Put(text, textSize, "%8.6f x", x);
        else Put(text, textSize, "%8.2f x", x);
        break;
    }
    case kTimeFactorPerOctave:
        Put(text, textSize, "%5.2f x/Oct", std::exp2(17.0f * v / 4.0f));
        break;
    case kFMAmount:
        Put(text, textSize, "%+03.2f", 16.0f * v);
        break;
    case kFMPerOctave:
        depth = (a - 64.0f) / 16.0f + 0.000000001f;
        Put(text, textSize, "%+03.2f/Oct", depth);
        break;
    case kPitchInterval: {
        const Interval r = PitchSteps(d);
        const float octaves = IntervalOctaves(r) / 16.0f;
        depth = (negative ? -octaves : octaves) + 0.000000001f;
        PutInterval(text, textSize, negative, r, false);
        break;
    }
    case kPitchIntervalPerOctave: {
        const Interval r = PitchStepsPerOctave(d);
        const float octaves = IntervalOctaves(r);
        depth = (negative ? -octaves : octaves) + 0.000000001f;
        PutInterval(text, textSize, negative, r, true);
        break;
    }
    case kFrequencyInterval: {
        const float w = v * std::fabs(v);
        depth = w + 0.000000001f;
        PutInterval(text, textSize, negative, FrequencySteps(8.0f * std::fabs(w)), false);
        break;
    }
    case kFrequencyIntervalPerOctave: {
        const float w = v * std::fabs(v) / 4.0f;
        depth = 9.6f * w + 0.000000001f;
        PutInterval(text, textSize, negative, FrequencySteps(8.0f * std::fabs(w)), true);
        break;
    }
    default:
        Put(text, textSize, "%s", "");
        break;
    }
    return depth;
}

// --- destinations of parameter ids --------------------------------------------

namespace {

struct IdDestination {
    int id;
    int destination;
};

// The knobs that the matrix can reach, with the destination each one feeds.
constexpr IdDestination kIdDestinations[] = {
    {148, 0}, {149, 0}, {153, 0}, {154, 0},
    {1, 2}, {161, 3}, {162, 3}, {3, 4}, {4, 5}, {170, 6}, {171, 6}, {6, 7},
    {7, 8}, {8, 9}, {9, 10}, {10, 11}, {11, 12},
    {16, 13}, {17, 14}, {19, 15}, {18, 16}, {15, 17}, {12, 18}, {181, 19},
    {13, 20}, {14, 21}, {20, 22}, {21, 23}, {338, 24}, {188, 26}, {195, 28},
    {215, 29}, {219, 30}, {22, 31}, {25, 32}, {28, 33}, {23, 34}, {26, 35}, {29, 36},
    {24, 37}, {27, 38}, {30, 39}, {31, 40}, {32, 41}, {33, 42}, {35, 43}, {34, 44},
    {324, 55}, {64, 56}, {63, 57}, {186, 58}, {187, 59}, {189, 60}, {193, 61}, {194, 62},
    {196, 63}, {200, 65}, {201, 66}, {202, 67}, {203, 68}, {207, 70}, {208, 71}, {209, 72},
    {210, 73}, {223, 74}, {227, 75}, {62, 77}, {214, 78}, {218, 79}, {222, 80}, {226, 81},
    {61, 82}, {60, 83}, {58, 84}, {59, 85}, {179, 86}, {361, 87}, {362, 88}, {363, 89},
};

}  // namespace

int GetModDestination(int id) {
    for (const IdDestination& e : kIdDestinations)
        if (e.id == id) return e.destination;
    return -1;
}

bool IsModDestination(int id) { return GetModDestination(id) >= 0; }

// --- routing operations ----------------------------------------------------------

float* CPIBase::PartRecord(int part) const {
    return (m_program && ValidPart(part)) ? m_program->GetProgramData(part) : nullptr;
}

void CPIBase::SetRoutingTables(int part, int routing, int source, int destination) {
    if (!m_engine || !ValidPart(part) || routing < 0 || routing >= kRoutings) return;
    source = modtables::ClampSource(source);
    destination = modtables::ClampDestination(destination);
    CEngineData& e = m_engine->data;
    e.partRecord[part][kSourceId + routing] = modtables::SourceCode(source, destination);
    e.partRecord[part][kSlotTarget1 + routing] = modtables::TargetCode1(source, destination);
    e.partRecord[part][kSlotTarget2 + routing] = modtables::TargetCode2(source, destination);
    e.SetPartF(part, kSlotScale + routing, modtables::ScaleValue(source, destination));
}

void CPIBase::UpdateRoutingDepth(int part, int amountId, float rawAmount) {
    const int i = amountId - kAmountId;
    const float* record = PartRecord(part);
    if (!m_engine || !record || i < 0 || i >= kRoutings) return;
    const int source = TruncateClamped(record[kSourceId + i], 0, kRoutingSources - 1);
    const int destination = TruncateClamped(record[kDestinationId + i], 0, kRoutingDestinations - 1);
    float scale = 0.0f;
    bool hasScale = false;
    const float depth = modtables::Convert(modtables::ConverterOf(source, destination), rawAmount,
                                           nullptr, 0, &scale, &hasScale);
    // A learnt controller sets the depth on the audio thread while the window
    // reads it for the amount's text.
    StoreShared(m_engine->data.partTargets[part][kAmountId + i], depth);
    if (hasScale) m_engine->data.SetPartF(part, kSlotScale + i, scale);
}

void CPIBase::GetRoutingDepthText(int part, int amountId, float rawAmount, char* text) {
    if (!text) return;
    text[0] = '\0';
    const int i = amountId - kAmountId;
    const float* record = PartRecord(part);
    if (!record || i < 0 || i >= kRoutings) return;
    const int source = TruncateClamped(record[kSourceId + i], 0, kRoutingSources - 1);
    if (source == 0) return;
    const int destination = TruncateClamped(record[kDestinationId + i], 0, kRoutingDestinations - 1);
    modtables::Convert(modtables::ConverterOf(source, destination), rawAmount, text, 128, nullptr,
                       nullptr);
}

void CPIBase::OnRoutingSourceChanged(int part, int sourceId, int source) {
    const int i = sourceId - kSourceId;
    const float* record = PartRecord(part);
    if (!record || i < 0 || i >= kRoutings) return;
    const int destination = TruncateClamped(record[kDestinationId + i], 0, kRoutingDestinations - 1);
    SetRoutingTables(part, i, source, destination);
    UpdateRoutingDepth(part, kAmountId + i, record[kAmountId + i]);
}

void CPIBase::OnRoutingDestinationChanged(int part, int destinationId, int destination) {
    const int i = destinationId - kDestinationId;
    const float* record = PartRecord(part);
    if (!record || i < 0 || i >= kRoutings) return;
    const int source = TruncateClamped(record[kSourceId + i], 0, kRoutingSources - 1);
    SetRoutingTables(part, i, source, destination);
    UpdateRoutingDepth(part, kAmountId + i, record[kAmountId + i]);
}

// --- knob lookups ------------------------------------------------------------------

int CPIBase::SearchRouting(float* record, int destination, int first) {
    const float d = static_cast<float>(destination);
    for (int i = first; i < kRoutings; ++i)
        if (record[kDestinationId + i] == d && record[kSourceId + i] != 0.0f) return i;
    for (int i = first; i < kRoutings; ++i)
        if (record[kSourceId + i] == 0.0f) {
            record[kDestinationId + i] = d;
            return i;
        }
    return -1;
}

int CPIBase::FindOrAddRouting(int id) {
    m_rememberedRouting = -1;
    float* record = GetCurrentProgramValues();
    const int d = GetModDestination(id);
    if (!record || d < 0) return -1;
    const int r = SearchRouting(record, d, 0);
    if (r >= 0) m_rememberedRouting = r;
    return r;
}

int CPIBase::FindNextRouting(int id) {
    float* record = GetCurrentProgramValues();
    const int d = GetModDestination(id);
    if (!record || d < 0) return -1;
    const int r = SearchRouting(record, d, m_rememberedRouting + 1);
    if (r >= 0) m_rememberedRouting = r;
    return r;
}

bool CPIBase::HasRouting(int group, int id) {
    const int d = GetModDestination(id);
    const float* record = GetCurrentProgramValues();
    if (group != 0 || d < 0 || !record) return false;
    // A controller learnt onto a routing's source or destination list
    // writes its cell on the audio thread while the knobs draw.
    for (int i = 0; i < kRoutings; ++i)
        if (LoadShared(record[kSourceId + i]) != 0.0f &&
            LoadShared(record[kDestinationId + i]) == static_cast<float>(d))
            return true;
    return false;
}
