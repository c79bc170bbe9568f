#pragma once
// The five LFO waves as segment tables over a 24-bit phase: 256 segments of
// 65536 phase steps each. A reader takes segment = phase >> 16 and the value
// phase * slope + offset, with no rounding and no clamp.
#include <cstdint>

#include "engine/CTLBase.h"

class CTLLFOWaves : public CTLBase {
public:
    static constexpr int kSegments = 256;
    static constexpr int kWaves = 5;

    // Builds the tables, so the global is usable before the engine exists.
    CTLLFOWaves() { Build(); }
    // The table pointers point into the object itself.
    CTLLFOWaves(const CTLLFOWaves&) = delete;
    CTLLFOWaves& operator=(const CTLLFOWaves&) = delete;

    void Build();

    // Point values at index i = 0..256 (the point at the end of segment i - 1).
    static float Sine(float x, int i);
    static float Triangle(float x, int i);
    static float Square(float x, int i);
    static float SawUp(float x, int i);
    static float SawDown(float x, int i);

    // Value of wave w at a 24-bit phase.
    float At(int wave, uint32_t phase) const
    {
        const Segment& s = tables[wave][(phase >> 16) & 0xFF];
        return static_cast<float>(phase & 0xFFFFFF) * s.slope + s.offset;
    }

    Segment sine[kSegments] = {};
    Segment triangle[kSegments] = {};
    Segment square[kSegments] = {};
    Segment sawUp[kSegments] = {};
    Segment sawDown[kSegments] = {};
    // The tables in wave order: sine, triangle, square, saw up, saw down.
    const Segment* tables[kWaves] = {sine, triangle, square, sawUp, sawDown};
};

extern CTLLFOWaves g_TLLFOWaves;
