#pragma once
#include "engine/SafeMath.h"
// Second-order section with a per-sample coefficient glide: Set computes
// targets, and every Process call moves the coefficients 1/32 of the way
// there, so one Set per 32-frame block lands exactly on the target at the
// block's end without zipper noise.

class CIIR2Order {
public:
    CIIR2Order() = default;
    virtual ~CIIR2Order() = default;

    // Inline: the terrain filter runs eight of these per voice and sample.
    float Process(float x)
    {
        c[2] += d[2];
        c[3] += d[3];
        c[4] += d[4];
        c[0] += d[0];
        c[1] += d[1];
        c[5] += d[5];
        const float xg = c[5] * x;
        const float y = c[2] * xg + s1;
        // The tiny offsets keep the states out of the denormal range when the
        // input falls silent.
        s1 = c[3] * xg - c[0] * y + s2 + kStateOffset;
        s2 = c[4] * xg - c[1] * y + kStateOffset;
        // A runaway section is held at a bounded level instead of blowing up
        // the voice; a NaN state restarts from 0 instead of staying NaN until
        // a reset.
        s1 = engine::ClampSafe(s1, -kStateLimit, kStateLimit);
        s2 = engine::ClampSafe(s2, -kStateLimit, kStateLimit);
        return y;
    }
    // Resonator: pole pair at angle theta, radius q.
    void SetCoefficientsA(float gain, float theta, float q);
    // Notch at angle theta whose width follows q; q >= 0.999 passes through.
    // The input gain is left as it is.
    void SetCoefficientsB(float gain, float theta, float q);

    static constexpr float kStateOffset = 1e-7f;
    static constexpr float kStateLimit = 40.0f;

    float s1 = 0.0f, s2 = 0.0f;
    // a1, a2, b0, b1, b2, input gain.
    float c[6] = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f};
    float d[6] = {};
    float ramp = 0.03125f;

private:
    void GlideTo(int index, float target) { d[index] = (target - c[index]) * ramp; }
};
