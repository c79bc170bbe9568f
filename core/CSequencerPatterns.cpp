// The factory patterns: four groups of 128, each pattern made from one row of
// every table below, the rows advancing from pattern to pattern so that
// neighbouring patterns differ in length, accent, rhythm and note order.
#include "core/CKeyboard.h"
#include "core/CSequencer.h"

namespace {

constexpr int kRowSteps = 16;

// Which held key (or chord note) each step takes: 0 the next key in turn,
// 1..8 the n-th held key.
constexpr int32_t kHeldKeyRows[][kRowSteps] = {
    {1, 2, 3, 2, 1, 2, 3, 2, 1, 2, 3, 2, 1, 2, 3, 2},
    {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4},
    {4, 3, 2, 1, 4, 3, 2, 1, 4, 3, 2, 1, 4, 3, 2, 1},
    {1, 3, 2, 4, 1, 3, 2, 4, 1, 3, 2, 4, 1, 3, 2, 4},
    {1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 2, 2, 1, 1, 2, 2},
    {1, 2, 1, 3, 1, 4, 1, 3, 1, 2, 1, 3, 1, 4, 1, 3},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 4, 2, 3, 1, 4, 2, 3, 2, 3, 1, 4, 2, 3, 1, 4},
};

// Length indexes (4 a 16th, 7 an 8th, 3 a 16th triplet, 5 a dotted 16th).
constexpr int32_t kLengthRows[][kRowSteps] = {
    {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {7, 4, 4, 7, 4, 4, 7, 4, 4, 7, 4, 4, 7, 4, 4, 4},
    {5, 1, 5, 1, 5, 1, 5, 1, 5, 1, 5, 1, 5, 1, 5, 1},
    {4, 4, 7, 4, 4, 7, 4, 4, 4, 4, 7, 4, 4, 7, 4, 4},
    {3, 3, 3, 3, 3, 3, 4, 4, 3, 3, 3, 3, 3, 3, 4, 4},
    {7, 7, 4, 4, 7, 7, 4, 4, 7, 7, 4, 4, 7, 7, 4, 4},
};

// Gates in percent of the step.
constexpr int32_t kGateRows[][kRowSteps] = {
    {50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 50},
    {90, 40, 40, 90, 40, 40, 90, 40, 90, 40, 40, 90, 40, 40, 90, 40},
    {25, 25, 75, 25, 25, 25, 75, 25, 25, 25, 75, 25, 25, 25, 75, 25},
    {100, 50, 100, 50, 100, 50, 100, 50, 100, 50, 100, 50, 100, 50, 100, 50},
    {75, 75, 75, 75, 30, 30, 30, 30, 75, 75, 75, 75, 30, 30, 30, 30},
};

// Velocities (also the lane B values): accents on different beats.
constexpr int32_t kVelocityRows[][kRowSteps] = {
    {110, 70, 80, 70, 110, 70, 80, 70, 110, 70, 80, 70, 110, 70, 80, 70},
    {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100},
    {127, 60, 90, 60, 100, 60, 90, 60, 127, 60, 90, 60, 100, 60, 90, 80},
    {80, 90, 100, 110, 120, 110, 100, 90, 80, 90, 100, 110, 120, 110, 100, 90},
    {64, 64, 120, 64, 64, 64, 120, 64, 64, 64, 120, 64, 64, 120, 64, 120},
    {120, 80, 80, 120, 80, 80, 120, 80, 120, 80, 80, 120, 80, 80, 120, 80},
    {90, 70, 110, 70, 90, 70, 110, 127, 90, 70, 110, 70, 90, 70, 110, 127},
};

// Rhythms of group 0: 1 plays, 0 rests.
constexpr uint8_t kRhythmRows[][kRowSteps] = {
    {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
    {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0},
    {1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0},
    {1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 1},
    {1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1},
    {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1},
    {1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0},
    {1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 1, 0},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
};

// Pattern lengths in steps.
constexpr int32_t kPatternLengths[] = {16, 16, 8, 16, 12, 16, 32, 16, 6, 16, 24, 16, 16, 4, 16, 64};

template <typename T, size_t N>
constexpr size_t Rows(const T (&)[N]) {
    return N;
}

int32_t Interval(int chord, int n) {
    int32_t interval = 0;
    return CKeyboard::GetChordInterval(chord, n, interval) ? interval : 0;
}

} // namespace

void CSequencer::BuildFactoryPatterns() {
    constexpr int kGroupSize = 128;
    constexpr int kArpeggioChord = 58;
    constexpr int kChordCycle = 61;
    int chordCount = 0;
    for (int p = 0; p < kPatterns; ++p) {
        const int group = p / kGroupSize;
        const size_t i = static_cast<size_t>(p);
        const int32_t* held = kHeldKeyRows[i % Rows(kHeldKeyRows)];
        const int32_t* lengths = kLengthRows[i % Rows(kLengthRows)];
        const int32_t* gates = kGateRows[i % Rows(kGateRows)];
        const int32_t* velocities = kVelocityRows[i % Rows(kVelocityRows)];
        const uint8_t* rhythm = kRhythmRows[i % Rows(kRhythmRows)];
        const int chord = group == 2 ? chordCount++ % kChordCycle : 1;
        Pattern& pattern = patterns[p];
        for (int s = 0; s < kSteps; ++s) {
            Step& step = pattern.steps[s];
            const int r = s % kRowSteps;
            step.heldKey = held[r];
            step.length = lengths[r];
            step.gate = gates[r];
            step.velocity = velocities[r];
            step.laneB = velocities[r];
            step.chord = 0;
            step.skip = 0;
            step.rest = 0;
            // The chord's notes in the order the held-key row names them.
            const int n = held[r] > 0 ? held[r] - 1 : s % 3;
            switch (group) {
            case 0:
                step.note = 48;
                step.rest = rhythm[r] ? 0 : 1;
                break;
            case 1:
                step.note = 36 + Interval(kArpeggioChord, n);
                break;
            case 2:
                step.note = 48 + Interval(chord, n);
                break;
            default:
                step.note = 48 + Interval(1, n);
                step.chord = 1;
                break;
            }
        }
        pattern.lastStep = kPatternLengths[i % Rows(kPatternLengths)] - 1;
        pattern.startStep = 0;
        pattern.loopStep = 0;
    }
}
