#pragma once
// Fixed tables of the modulation matrix: for every (source, destination)
// pair the engine codes that a routing hands to the control stage and the
// converter that turns its amount into a depth and a text.
#include <cstdint>

namespace modtables {

constexpr int kSources = 37;       // 0..36
constexpr int kDestinations = 90;  // 0..89
constexpr uint32_t kNoTarget = 280;

// The thirteen amount converters.
enum Converter : uint8_t {
    kLinear,
    kLinearPerOctave,
    kSignedSquare,
    kLevel,
    kLevelPerOctave,
    kTimeFactor,
    kTimeFactorPerOctave,
    kFMAmount,
    kFMPerOctave,
    kPitchInterval,
    kPitchIntervalPerOctave,
    kFrequencyInterval,
    kFrequencyIntervalPerOctave,
    kConverterCount
};

// Every accessor clamps source to 0..36 and destination to 0..89, so a
// value read from a damaged program never reads past a table.
uint32_t SourceCode(int source, int destination);
uint32_t TargetCode1(int source, int destination);
uint32_t TargetCode2(int source, int destination);
float ScaleValue(int source, int destination);
Converter ConverterOf(int source, int destination);

int ClampSource(int source);
int ClampDestination(int destination);

// Runs converter c on the raw amount a (clamped to 0..128). Writes the text
// into text (at most textSize characters) when text is not null; when the
// converter yields a scale value, stores it in *scale and sets *hasScale.
float Convert(Converter c, float a, char* text, int textSize, float* scale, bool* hasScale);

}  // namespace modtables
