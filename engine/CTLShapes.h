#pragma once
// Transfer curves of the voice filter saturation, output drive and shaper,
// the part distortion and the master clip, plus one user-drawn shape per
// part. Every curve is a segment table of 4096 segments over the input range
// -2048 .. 2048: a reader scales its signal into that range, takes segment
// rint(x) + 2048 limited to 0..4095 and evaluates x * slope + offset.
#include <cstdint>
#include <xmmintrin.h>

#include "engine/CTLBase.h"
#include "os/InitOrder.h"

class CTLShapes : public CTLBase {
public:
    static constexpr int kSegments = 4096;
    static constexpr int kFixedTables = 22;
    static constexpr int kSelectable = 16;
    static constexpr int kParts = 16;
    static constexpr int kUserSliders = 80;

    using Table = Segment[kSegments];

    // Fills the cosine table and clears the level scratch.
    CTLShapes();
    ~CTLShapes() override = default;
    CTLShapes(const CTLShapes&) = delete;
    CTLShapes& operator=(const CTLShapes&) = delete;

    // Builds tables 1-22 and resets every part's user shape to shape 0.
    void Build();
    // Builds a part's user shape from 80 slider values (0..127): mode 0
    // Chebyshev series, 1 cosine series, 2 straight lines through the
    // sliders, any other mode copies the current work table.
    void BuildUserShape(const float* values, int part, int mode);

    // Table 1..22 (1-based, as the readers name them).
    const Segment* Fixed(int number) const { return tables[number - 1]; }

    // Reads a table at x in -2048 .. 2048 the way the engine does: x limited
    // to -2048 .. 2047 (NaN to -2048), rounded to nearest-even by the
    // conversion instruction. Inline and without library calls, as the
    // master output reads it every sample.
    static float Lookup(const Segment* table, float x)
    {
        const float low = x > -2048.0f ? x : -2048.0f;
        const float c = low < 2047.0f ? low : 2047.0f;
        const Segment& s = table[_mm_cvtss_si32(_mm_set_ss(c)) + 2048];
        return x * s.slope + s.offset;
    }

    // Curve functions: x in -2048 .. 2048.
    static float SoftClipShape(float x, int index);
    static float SineShape(float x, int index);
    static float ChebyshevShape(float x, int index);
    static float CosineSeriesShape(float x, int index);
    static float PointShape(float x, int index);
    static void SetSoftClip(float gain, float kneeNeg, float kneePos, bool match);
    // The sign pattern of the harmonic shapes: -1, -1, +1, +1, -1, -1, ...
    static float SignPattern(int n);

    // Process-wide work areas.
    static float level[256];
    static float cosTable[4096];

    // Soft-clip coefficients of the table being built.
    struct SoftClip {
        float gain = 1.0f;
        float aPos = 0.0f, bPos = 0.0f, kneePos = 0.0f, outPos = 1.0f;
        float aNeg = 0.0f, bNeg = 0.0f, kneeNeg = 0.0f, outNeg = 1.0f;
    };
    static SoftClip softClip;

    // Members in their fixed order.
    const Segment* shapes[kSelectable] = {};
    Segment* userShapes[kParts] = {};
    Table tables[kFixedTables];
    Table work;
    Table user[kParts];
};

extern CTLShapes g_TLShapes;
