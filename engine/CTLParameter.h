#pragma once
// The engine's parameter curve tables: pitch to phase increment, waveguide
// delay length, filter and formant coefficients, envelope and damping rates
// and the drive curves. Each is a segment table read once per block by the
// control stage; they depend on the sample rate, so the one global instance
// is rebuilt in place whenever the rate changes.
#include "engine/CTLBase.h"

class CTLParameter : public CTLBase {
public:
    static constexpr int kLarge = 4096;   // segments of the pitch and frequency tables
    static constexpr int kMedium = 1024;  // decade and breakpoint tables
    static constexpr int kSmall = 128;    // envelope and damping rates

    // Builds every table, so the global is usable before the engine exists.
    CTLParameter();

    // Rebuilds all tables for g_GlobalData.sampleRate and msPerBlock.
    void Build();

    // x (pitch in octaves / 16) to frequency in Hz: the frequency that the
    // increment tables make an oscillator play at that pitch.
    static float RateCurve(float x);
    // x (pitch × 4096) to the waveguide delay length in samples, limited to
    // 1..2047.
    static float PitchToDelayLength(float x);
    // Piecewise-linear curve through n points (xs ascending). Below xs[0]
    // the first piece extrapolates; past the last point the last y holds.
    static float InterpolateBreakpoints(double x, const double* xs, const double* ys, int n);

    // Highest frequency any filter row is designed for, as a fraction of the
    // sample rate. Above it the bilinear sections lose their stability
    // margin (at half the rate the tangent blows up).
    static constexpr double kMaxDesignFraction = 0.45;

    Segment pitchIncrement[kLarge];
    Segment pitchIncrementHalf[kLarge];
    Segment delayLength[kLarge];
    Segment atanSquare[kLarge];
    Segment decade[kMedium];
    Segment lp4Gain1[kLarge];
    Segment lp4A1Sec1[kLarge];
    Segment lp4A2Sec1[kLarge];
    Segment lp4Gain2[kLarge];
    Segment lp4A1Sec2[kLarge];
    Segment lp4A2Sec2[kLarge];
    Segment hp4Gain1[kLarge];
    Segment hp4A1Sec1[kLarge];
    Segment hp4A2Sec1[kLarge];
    Segment hp4Gain2[kLarge];
    Segment hp4A1Sec2[kLarge];
    Segment hp4A2Sec2[kLarge];
    Segment lp2Gain[kLarge];
    Segment lp2A1[kLarge];
    Segment lp2A2[kLarge];
    Segment hp2Gain[kLarge];
    Segment hp2A1[kLarge];
    Segment hp2A2[kLarge];
    Segment onePoleGain[kLarge];
    Segment onePolePole[kLarge];
    Segment breakpointsA[kMedium];
    Segment breakpointsB[kMedium];
    Segment breakpointsC[kMedium];
    Segment breakpointsD[kMedium];
    Segment cosine[kLarge];
    Segment decay[kLarge];
    Segment period660[kLarge];
    Segment onePoleTan[kLarge];
    Segment allpass[kLarge];
    Segment twoCosine[kLarge];
    Segment envelopeRate[kSmall];
    Segment dampRate[kSmall];
};

extern CTLParameter g_TLParameter;
