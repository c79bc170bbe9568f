#pragma once
// Per-voice formant filter: four resonators in parallel followed by four
// notches in series, whose settings morph between two of 16 stored shapes.
#include "engine/CIIR2Order.h"
#include <cstdint>

class CTerrainFilter {
public:
    static constexpr int kSections = 8;
    static constexpr int kShapes = 16;

    struct Section {
        uint32_t enabled;
        float gain;
        float frequency; // Hz
        float resonance;
    };
    // kShapes x kSections.
    static const Section s_Shapes[kShapes][kSections];

    CTerrainFilter() = default;
    virtual ~CTerrainFilter() = default;

    // Once per block. u = 1 / sample rate, k scales every frequency, R scales
    // the resonances, m (limited to 0..1) morphs from shape A to shape B.
    // A shape index outside 0..15 counts as a shape with every section off.
    void Set(float u, int shapeA, int shapeB, float k, float R, float m);
    // Once per sample.
    float Process(float x);

    CIIR2Order sections[kSections];
    int32_t shapeA = -1;
    int32_t shapeB = -1;
    float dc = 0.0f;
};
