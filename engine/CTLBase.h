#pragma once
// Base of every lookup-table object of the engine and the segment-table form
// they all share. A curve that the engine reads per block or per sample is
// stored as N straight-line pieces {slope, offset}; reading it costs one
// rounding, one clamp, one multiply and one add instead of a transcendental
// function on the audio thread.
#include <cmath>
#include <cstddef>

class CTLBase {
public:
    // One straight-line piece: value = y * slope + offset. Two 32-bit floats,
    // in this order, so that a table of N segments is exactly 8 * N bytes.
    struct Segment {
        float slope;
        float offset;
    };

    // A curve maps the point's x (a float) and its index (0 for x0, k for
    // x0 + k * dx) to the point's value. Lambdas without captures convert.
    using Curve = float (*)(float x, int index);

    virtual ~CTLBase() = default;

    // Samples curve at x0, x0 + dx, ..., x0 + n * dx (n + 1 points) into n
    // segments. Segment k is the line through points k and k + 1, except
    // that segment 0 is flat at the first point and segment n - 1 is flat at
    // the point after the last, so a reader that strays outside the table
    // gets the edge value instead of an extrapolation. n < 1 writes nothing.
    static void BuildTable(Curve curve, Segment* dest, int n, float x0, float dx);

    // The same sampling without the flat ends: every segment k is the line
    // through points k and k + 1. When smooth is false, a rise of 0.1 or more
    // between neighbours is not ramped: the segment stays flat at point k and
    // the jump happens at its end. Falls are never limited.
    static void BuildTableLimited(Curve curve, Segment* dest, int n, float x0, float dx,
                                  bool smooth);

    // Reads a table at y, already scaled into the table's domain 0..n: the
    // segment is y rounded to the nearest integer (halves up, so segment i
    // serves [i - 0.5, i + 0.5)) and clamped to 0..n - 1, and its line is
    // evaluated at y itself. Clamping before the conversion keeps NaN and
    // huge inputs inside the table.
    static float Evaluate(const Segment* table, int n, float y)
    {
        // Only the segment index depends on the limit, so plain compares do
        // (NaN and negative values read segment 0) without a library call.
        float c = y > 0.0f ? y : 0.0f;
        c = c < static_cast<float>(n - 1) ? c : static_cast<float>(n - 1);
        const Segment& s = table[static_cast<int>(c + 0.5f)];
        return y * s.slope + s.offset;
    }

    template <std::size_t N>
    static float Evaluate(const Segment (&table)[N], float y)
    {
        return Evaluate(table, static_cast<int>(N), y);
    }
};
