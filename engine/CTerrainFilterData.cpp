#include "engine/CTerrainFilter.h"

namespace {
using S = CTerrainFilter::Section;
constexpr S kOff = {0, 0.0f, 0.0f, 0.0f};
constexpr S On(float f, float gain, float res) { return {1, gain, f, res}; }
} // namespace

// Vowel formants (0-4), notch sets (5, 9, 10), single and multiple
// resonators (6-8, 11-14) and the empty shape 15.
const CTerrainFilter::Section CTerrainFilter::s_Shapes[kShapes][kSections] = {
    {On(550, 1, 0.9999f), On(1000, 1, 0.9999f), On(2600, 1, 0.9999f), On(3300, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {On(400, 1, 0.9999f), On(1620, 1, 0.9999f), On(2400, 1, 0.9999f), On(3380, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {On(300, 1, 0.9999f), On(1800, 1, 0.9999f), On(2500, 1, 0.9999f), On(3300, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {On(350, 1, 0.9999f), On(680, 1, 0.9999f), On(2350, 1, 0.9999f), On(2750, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {On(300, 1, 0.9999f), On(600, 1, 0.9999f), On(2400, 1, 0.9999f), On(3300, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {kOff, kOff, kOff, kOff,
     On(1200, 1, 0.95f), On(2000, 1, 0.95f), On(3300, 1, 0.95f), On(4200, 1, 0.95f)},
    {On(1000, 1, 0.999f), kOff, kOff, kOff, kOff, kOff, kOff, kOff},
    // Section 3 is a silent resonator that still takes part in the morph.
    {On(250, 1, 0.99f), On(500, 1, 0.99f), On(1000, 1, 0.99f), On(2000, 0, 0.99f),
     On(375, 1, 0.9f), On(750, 1, 0.9f), On(1500, 1, 0.9f), On(3000, 1, 0.9f)},
    {On(1000, 1, 0.9999f), On(2000, 1, 0.9999f), On(3000, 1, 0.9999f), On(4000, 1, 0.9999f),
     kOff, kOff, kOff, kOff},
    {kOff, kOff, kOff, kOff,
     On(1000, 1, 0.95f), On(2000, 1, 0.95f), On(3000, 1, 0.95f), On(4000, 1, 0.95f)},
    {kOff, kOff, kOff, kOff,
     On(400, 1, 0.95f), On(800, 1, 0.95f), On(1600, 1, 0.95f), On(3200, 1, 0.95f)},
    {On(700, 1, 0.99f), On(1220, 1, 0.99f), On(2600, 1, 0.99f), kOff, kOff, kOff, kOff, kOff},
    {On(700, 1, 0.99f), On(1220, 1, 0.99f), On(2600, 1, 0.99f), kOff, kOff, kOff, kOff, kOff},
    {On(700, 1, 0.99f), On(1220, 1, 0.99f), On(2600, 1, 0.99f), kOff, kOff, kOff, kOff, kOff},
    {On(700, 1, 0.99f), On(1220, 1, 0.99f), On(2600, 1, 0.99f), kOff, kOff, kOff, kOff, kOff},
    {kOff, kOff, kOff, kOff, kOff, kOff, kOff, kOff},
};
