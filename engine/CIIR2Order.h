#pragma once
// Second-order section with a per-sample coefficient glide: Set computes
// targets, and every Process call moves the coefficients 1/32 of the way
// there, so one Set per 32-frame block lands exactly on the target at the
// block's end without zipper noise.

class CIIR2Order {
public:
    CIIR2Order() = default;
    virtual ~CIIR2Order() = default;

    float Process(float x);
    // Resonator: pole pair at angle theta, radius q.
    void SetCoefficientsA(float gain, float theta, float q);
    // Notch at angle theta whose width follows q; q >= 0.999 passes through.
    // The input gain is left as it is.
    void SetCoefficientsB(float gain, float theta, float q);

    float s1 = 0.0f, s2 = 0.0f;
    // a1, a2, b0, b1, b2, input gain.
    float c[6] = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f};
    float d[6] = {};
    float ramp = 0.03125f;

private:
    void GlideTo(int index, float target) { d[index] = (target - c[index]) * ramp; }
};
