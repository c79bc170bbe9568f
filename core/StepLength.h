#pragma once
// Note lengths in ticks (96 per quarter note) by length index, shared by the
// step sequencer and the arpeggiator: triplet, straight and dotted, from a
// 32nd note (indexes 0..2) to a whole note (15..17).
#include <cstdint>

inline constexpr int32_t kStepLengthTicks[18] = {8,  12, 18, 16,  24,  36,  32,  48,  72,
                                                 64, 96, 144, 128, 192, 288, 256, 384, 576};

// Any other index gives a 16th note.
constexpr int32_t StepLengthTicks(int index) {
    return index >= 0 && index < 18 ? kStepLengthTicks[index] : 24;
}
