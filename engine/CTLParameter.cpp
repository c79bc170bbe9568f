#include "engine/CTLParameter.h"

#include <cmath>
#include <cstdint>

#include "os/InitOrder.h"
#include "platform/CGlobalData.h"

CTLParameter g_TLParameter ZAVO_INIT(ZAVO_PRIO_TABLES);

namespace {

using ld = long double;

constexpr ld kPi = 3.141592653589793238462643383279502884L;
// Pole angles of the two sections of the fourth-order Butterworth pair
// (5 pi / 8 and 7 pi / 8) and the pole radius term of the second-order one.
// Written out as literals: the global table is built during static
// initialisation, before computed constants of this file would be set.
constexpr ld kSin1 = 0.923879532511286756128L;
constexpr ld kCos1 = -0.382683432365089771728L;
constexpr ld kSin2 = 0.382683432365089771728L;
constexpr ld kCos2 = -0.923879532511286756128L;
constexpr ld kR = 0.707106781L;

// The increment tables are scaled for 44100 Hz and corrected by 44100 / sr,
// so a pitch plays the same frequency at every rate.
constexpr ld kReferenceRate = 44100.0L;

ld SampleRate()
{
    // A rate of zero (never set) would fill every table with inf.
    uint32_t sr = static_cast<uint32_t>(g_GlobalData.sampleRate);
    return sr > 0 ? static_cast<ld>(sr) : kReferenceRate;
}

// Frequency of a filter row point: 20 Hz at x = 0 to 20480 Hz at x = 4096.
ld RowFrequency(float x) { return 20.0L * std::pow(2.0L, 10.0L * x / 4096.0L); }

// What the frequency rows share at each of their 4097 points. Twenty-odd
// rows read the same tangent, so it is worked out once per build rather than
// once per row (the rows still see exactly the values of their formulas).
struct RowPoint {
    ld f;  // frequency
    ld w;  // pi f / sr, with f limited to 0.45 sr
    ld t;  // tan(w)
    ld u;  // tan(pi/2 - w)
};
RowPoint g_rowPoints[CTLParameter::kLarge + 1];

// The design frequency is kept at or below 0.45 of the rate: at 22050 and
// 32000 Hz the top of the row lies beyond the Nyquist frequency, where tan(w)
// changes sign and the sections turn unstable.
void PrepareRowPoints()
{
    ld sr = SampleRate();
    ld limit = static_cast<ld>(CTLParameter::kMaxDesignFraction) * sr;
    float x = 0.0f;
    for (RowPoint& p : g_rowPoints) {
        p.f = RowFrequency(x);
        p.w = kPi * std::fmin(p.f, limit) / sr;
        p.t = std::tan(p.w);
        p.u = std::tan(kPi / 2.0L - p.w);
        x += 1.0f;
    }
}

const RowPoint& P(int i) { return g_rowPoints[i]; }

// One bilinear second-order section with the pole angle pair (sin s, cos c).
// The gain takes the sine of the partner section, so only the cascade of a
// fourth-order pair has unity gain in the passband.
ld SectionGain(ld t, ld s) { return t * t / (1.0L + 2.0L * s * t + t * t); }
ld SectionA1(ld t, ld c) { return -2.0L * (t * t - 1.0L) / (1.0L - 2.0L * c * t + t * t); }
ld SectionA2(ld t, ld s, ld c)
{
    ld d = 1.0L - 2.0L * c * t + t * t;
    ld m = 1.0L - t * t;
    return -(4.0L * t * t * s * s + m * m) / (d * d);
}

// The one-pole rows share c = 2 - cos(2w).
ld OnePoleC(int i) { return 2.0L - std::cos(2.0L * P(i).w); }

float F(ld v) { return static_cast<float>(v); }

ld PitchIncrement(float x, ld scale)
{
    return std::pow(2.0L, x / 256.0L) * (kReferenceRate / SampleRate()) * scale;
}

// The four drive curves of the filters over 0..1.
constexpr double kAx[] = {0,    0.15, 0.25, 0.28, 0.31, 0.34, 0.37, 0.4,  0.43,
                          0.46, 0.5,  0.53, 0.56, 0.59, 0.62, 0.65, 0.68, 0.71,
                          0.75, 0.78, 0.81, 0.84, 0.87, 0.9,  0.93, 0.96, 1.0};
constexpr double kAy[] = {51,  50,  49,   48,   47,  46,  37,  30,   23.9,
                          19.4, 16, 12.9, 10.4, 8.44, 7,   5.7, 4.7,  3.9,
                          3.2, 2.7, 2.3,  1.94, 1.65, 1.44, 1.25, 1.1, 1.0};
constexpr double kBx[] = {0, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 0.9, 1.0};
constexpr double kBy[] = {2.0, 2.0, 1.9, 1.8, 1.72, 1.56, 1.4, 1.36, 1.36};
constexpr double kCx[] = {0, 0.1, 0.3, 0.4, 0.5, 0.6, 0.7, 0.75, 0.76, 0.82, 0.85, 0.9, 0.94, 1.0};
constexpr double kCy[] = {5, 5, 7.2, 8, 8.4, 10, 14, 17.6, 20, 18.4, 11, 5.4, 3.6, 3.0};
constexpr double kDx[] = {0, 0.5, 0.7, 0.8, 0.9, 1.0};
constexpr double kDy[] = {5, 5, 6, 9, 6, 4.1};

template <std::size_t N>
float Breakpoints(float x, const double (&xs)[N], const double (&ys)[N])
{
    static_assert(N > 0);
    return CTLParameter::InterpolateBreakpoints(x / 1024.0, xs, ys, static_cast<int>(N));
}

// Builds one row over 0..N with x0 = 0 and dx = 1.
template <std::size_t N>
void Row(CTLBase::Segment (&dest)[N], CTLBase::Curve curve)
{
    CTLBase::BuildTable(curve, dest, static_cast<int>(N), 0.0f, 1.0f);
}

} // namespace

CTLParameter::CTLParameter() { Build(); }

float CTLParameter::RateCurve(float x)
{
    return F(std::pow(2.0L, 16.0L * x) * kReferenceRate / 131072.0L);
}

float CTLParameter::PitchToDelayLength(float x)
{
    ld length = SampleRate() / kReferenceRate * 131072.0L / std::pow(2.0L, x / 256.0L) - 0.5L;
    // Below one sample the waveguide has no delay to run and the note start
    // would divide by zero, so the shortest delay is one sample.
    return F(std::fmax(std::fmin(length, 2047.0L), 1.0L));
}

float CTLParameter::InterpolateBreakpoints(double x, const double* xs, const double* ys, int n)
{
    if (n < 1)
        return 0.0f;
    for (int i = 0; i < n - 1; ++i) {
        if (x <= xs[i + 1]) {
            double width = xs[i + 1] - xs[i];
            if (width == 0.0)
                return static_cast<float>(ys[i + 1]);
            return static_cast<float>(ys[i] + (ys[i + 1] - ys[i]) * (x - xs[i]) / width);
        }
    }
    return static_cast<float>(ys[n - 1]);
}

void CTLParameter::Build()
{
    PrepareRowPoints();

    // Pitch 0 means "no increment": an oscillator or LFO at the bottom of
    // the range stands still rather than crawling.
    Row(pitchIncrement, [](float x, int) { return F(PitchIncrement(x, 256.0L)); });
    pitchIncrement[0] = {0.0f, 0.0f};
    Row(pitchIncrementHalf, [](float x, int) { return F(PitchIncrement(x, 128.0L)); });
    pitchIncrementHalf[0] = {0.0f, 0.0f};
    Row(delayLength, [](float x, int) { return PitchToDelayLength(x); });
    Row(atanSquare, [](float x, int) {
        ld a = static_cast<float>(std::atan(x * kPi / 8192.0L));
        return F(a * a);
    });
    Row(decade, [](float x, int) { return F(std::pow(10.0L, -6.0L * (0.5L - x / 1024.0L))); });

    Row(lp4Gain1, [](float, int i) { return F(SectionGain(P(i).t, kSin1)); });
    Row(lp4A1Sec1, [](float, int i) { return F(SectionA1(P(i).t, kCos1)); });
    Row(lp4A2Sec1, [](float, int i) {
        return F(SectionA2(P(i).t, kSin1, kCos1));
    });
    Row(lp4Gain2, [](float, int i) { return F(SectionGain(P(i).t, kSin2)); });
    Row(lp4A1Sec2, [](float, int i) { return F(SectionA1(P(i).t, kCos2)); });
    Row(lp4A2Sec2, [](float, int i) {
        return F(SectionA2(P(i).t, kSin2, kCos2));
    });
    Row(hp4Gain1, [](float, int i) { return F(SectionGain(P(i).u, kSin1)); });
    Row(hp4A1Sec1, [](float, int i) { return F(-SectionA1(P(i).u, kCos1)); });
    Row(hp4A2Sec1, [](float, int i) {
        return F(SectionA2(P(i).u, kSin1, kCos1));
    });
    Row(hp4Gain2, [](float, int i) { return F(SectionGain(P(i).u, kSin2)); });
    Row(hp4A1Sec2, [](float, int i) { return F(-SectionA1(P(i).u, kCos2)); });
    Row(hp4A2Sec2, [](float, int i) {
        return F(SectionA2(P(i).u, kSin2, kCos2));
    });

    // The second-order Butterworth: pole pair at sin = r, cos = -r.
    Row(lp2Gain, [](float, int i) { return F(SectionGain(P(i).t, kR)); });
    Row(lp2A1, [](float, int i) { return F(SectionA1(P(i).t, -kR)); });
    Row(lp2A2, [](float, int i) { return F(SectionA2(P(i).t, kR, -kR)); });
    Row(hp2Gain, [](float, int i) { return F(SectionGain(P(i).u, kR)); });
    Row(hp2A1, [](float, int i) { return F(-SectionA1(P(i).u, -kR)); });
    Row(hp2A2, [](float, int i) { return F(SectionA2(P(i).u, kR, -kR)); });

    Row(onePoleGain, [](float, int i) {
        ld c = OnePoleC(i);
        return F(std::sqrt(c * c - 1.0L) + 1.0L - c);
    });
    Row(onePolePole, [](float, int i) {
        ld c = OnePoleC(i);
        return F(c - std::sqrt(c * c - 1.0L));
    });

    Row(breakpointsA, [](float x, int) { return Breakpoints(x, kAx, kAy); });
    Row(breakpointsB, [](float x, int) { return Breakpoints(x, kBx, kBy); });
    Row(breakpointsC, [](float x, int) { return Breakpoints(x, kCx, kCy); });
    Row(breakpointsD, [](float x, int) { return Breakpoints(x, kDx, kDy); });

    Row(cosine, [](float, int i) { return F(std::cos(2.0L * P(i).w)); });
    // A period, not a designed frequency: it follows the row unlimited.
    Row(period660, [](float, int i) { return F(660.0L / P(i).f); });
    Row(decay, [](float, int i) { return F(std::exp(-P(i).w)); });
    Row(onePoleTan, [](float, int i) { return F(1.0L / (P(i).t + 1.0L)); });
    Row(allpass, [](float, int i) {
        ld t = P(i).t;
        return F((1.0L - t) / (1.0L + t));
    });
    Row(twoCosine, [](float, int i) { return F(2.0L * std::cos(2.0L * P(i).w)); });

    Row(envelopeRate, [](float x, int) {
        ld seconds = x > 0.0f ? std::pow(2.0L, x / 7.529411764705882L) * 0.001L : 1e-5L;
        ld blocks = seconds * 1000.0L / static_cast<ld>(g_GlobalData.msPerBlock);
        return F(1.0L - std::exp(std::log(0.2L) / blocks));
    });
    Row(dampRate, [](float x, int) {
        ld seconds = std::pow(2.0L, x / 10.666666666666666L) * 0.005L /
                     std::sqrt(SampleRate() / kReferenceRate);
        return F(std::exp(std::log(0.2L) / (seconds * kReferenceRate / 100.0L)));
    });
}
