#include "engine/CTLShapes.h"

#include "engine/CTLWaves.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

CTLShapes ZAVO_INIT(ZAVO_PRIO_TABLES) g_TLShapes;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The harmonic shapes 0-6 as level recipes for the Chebyshev series.
void SetShapeLevels(int shape)
{
    float* level = CTLShapes::level;
    std::fill(level, level + 256, 0.0f);
    for (int n = 1; n <= 255; ++n) {
        const float s = CTLShapes::SignPattern(n);
        switch (shape) {
        case 0: level[n] = s / n; break;
        case 1: level[n] = (n & 1) ? s / n : 0.0f; break;
        case 2: level[n] = s / std::fabs(n - 8.5f); break;
        case 3: level[n] = s / std::fabs(n - 20.5f); break;
        case 5: level[n] = n >= 26 ? s / (n - 25) : 0.0f; break;
        case 6: level[n] = s / float((n - 10) * (n - 10) + 1); break;
        default: break;
        }
    }
    if (shape == 4 || shape == 5) {
        for (int n : {3, 7, 11, 19, 23})
            level[n] = -1.0f;
        for (int n : {5, 9, 13, 17})
            level[n] = 1.0f;
    }
}

float U(float x) { return x / 2048.0f; }

// The cosine shapes 7-15.
float CosineShape7(float x, int) { return float(std::cos(5 * kPi * U(x))); }
float CosineShape8(float x, int)
{
    return float((std::cos(5 * kPi * U(x)) + std::cos(14 * kPi * U(x))) / 2);
}
float CosineShape9(float x, int)
{
    return float((std::cos(20 * kPi * U(x)) + std::cos(14 * kPi * U(x))) / 2);
}
float CosineShape10(float x, int)
{
    const double u = U(x);
    return float((std::cos(2 * kPi * u) + std::cos(4 * kPi * u) + std::cos(8 * kPi * u) +
                  std::cos(16 * kPi * u)) / 4);
}
float CosineShape11(float x, int)
{
    const double u = U(x);
    return float((std::cos(3 * kPi * u) + std::cos(5 * kPi * u) + std::cos(7 * kPi * u) +
                  std::cos(9 * kPi * u)) / 4);
}
float CosineShape12(float x, int)
{
    const double u = U(x);
    return float(std::cos(std::exp(u * u) * 10 * kPi));
}
float CosineShape13(float x, int)
{
    const double c = std::cos(3 * kPi * U(x));
    return float(2 * c * c - 1);
}
float CosineShape14(float x, int)
{
    const double c = std::cos(3 * kPi * U(x));
    return float(c * c * c);
}
float CosineShape15(float x, int)
{
    const double u = U(x);
    return float(std::cos(std::exp(8 * u * u) * kPi));
}

constexpr CTLBase::Curve kCosineShapes[9] = {CosineShape7,  CosineShape8,  CosineShape9,
                                             CosineShape10, CosineShape11, CosineShape12,
                                             CosineShape13, CosineShape14, CosineShape15};

} // namespace

float CTLShapes::level[256];
float CTLShapes::cosTable[4096];
CTLShapes::SoftClip CTLShapes::softClip;

CTLShapes::CTLShapes()
{
    for (int i = 0; i < 4096; ++i)
        cosTable[i] = float(std::cos((i - 2048) * kPi / 2048.0));
    std::fill(std::begin(level), std::end(level), 0.0f);
    std::memset(tables, 0, sizeof(tables));
    std::memset(work, 0, sizeof(work));
    std::memset(user, 0, sizeof(user));
    for (int i = 0; i < kSelectable; ++i)
        shapes[i] = tables[6 + i];
    for (int part = 0; part < kParts; ++part)
        userShapes[part] = user[part];
}

float CTLShapes::SignPattern(int n)
{
    return ((n + 1) / 2) % 2 == 1 ? -1.0f : 1.0f;
}

void CTLShapes::SetSoftClip(float gain, float kneeNeg, float kneePos, bool match)
{
    SoftClip& c = softClip;
    c.gain = gain;
    c.kneePos = kneePos;
    c.kneeNeg = kneeNeg;
    c.aPos = 1.0f / (1.0f - kneePos * kneePos);
    c.bPos = 2.0f * c.aPos * (1.0f - kneePos);
    c.aNeg = 1.0f / (1.0f - kneeNeg * kneeNeg);
    c.bNeg = 2.0f * c.aNeg * (1.0f - kneeNeg);
    if (!match) {
        c.outPos = 1.0f / c.bPos;
        c.outNeg = 1.0f / c.bNeg;
    } else if (c.bPos <= c.bNeg) {
        c.outPos = 1.0f;
        c.outNeg = c.bPos / c.bNeg;
    } else {
        c.outNeg = 1.0f;
        c.outPos = c.bNeg / c.bPos;
    }
}

float CTLShapes::SoftClipShape(float x, int)
{
    const SoftClip& c = softClip;
    const float u = U(x);
    float y;
    if (x >= 0.0f) {
        y = x >= 2048.0f * c.kneePos ? 1.0f - (1.0f - u) * (1.0f - u) * c.aPos : u * c.bPos;
        return y * c.outPos * c.gain;
    }
    y = -x >= 2048.0f * c.kneeNeg ? (u + 1.0f) * (u + 1.0f) * c.aNeg - 1.0f : u * c.bNeg;
    return y * c.outNeg * c.gain;
}

float CTLShapes::SineShape(float x, int)
{
    return float(std::sin(x * kPi / 4096.0) * (0.9 - 0.1 * U(x)));
}

float CTLShapes::ChebyshevShape(float x, int)
{
    const float u = U(x);
    float previous = 1.0f;
    float current = u;
    float sum = level[0] + level[1] * u;
    for (int n = 2; n < 256; ++n) {
        const float next = 2.0f * u * current - previous;
        previous = current;
        current = next;
        sum += level[n] * current;
    }
    return sum;
}

float CTLShapes::CosineSeriesShape(float x, int)
{
    // Inputs past the table's range are held at its edges so the phase
    // index stays inside the cosine table.
    const int i = std::clamp(int(x), -2048, 2048) + 2048;
    float sum = 0.0f;
    for (int k = 0; k < 256; ++k)
        sum += level[k] * cosTable[((k + 1) * i) & 4095];
    return sum;
}

float CTLShapes::PointShape(float x, int)
{
    const float* q = level + 1;  // the 79 points
    const float p = (x + 2048.0f) * 79.0f / 4096.0f;
    const float f = std::floor(p);
    if (!(f >= 0.0f))  // below the range (or NaN): the first piece continues
        return q[0] + (q[1] - q[0]) * p;
    const float t = p - f;
    if (f <= 77.0f) {
        const int j = int(f);
        return q[j] + (q[j + 1] - q[j]) * t;
    }
    return q[78] + (q[78] - q[77]) * t;
}

void CTLShapes::Build()
{
    for (int i = 0; i < kSelectable; ++i)
        shapes[i] = tables[6 + i];

    softClip = {};
    SetSoftClip(2.0f, 0.8f, 0.8f, false);
    softClip.outPos = softClip.outNeg = 0.9f;
    BuildTable(SoftClipShape, tables[0], kSegments, -2048.0f, 1.0f);
    SetSoftClip(1.0f, 0.5f, 0.5f, true);
    BuildTable(SoftClipShape, tables[1], kSegments, -2048.0f, 1.0f);
    SetSoftClip(1.0f, 0.99f, 0.99f, true);
    BuildTable(SoftClipShape, tables[2], kSegments, -2048.0f, 1.0f);
    BuildTable(SineShape, tables[3], kSegments, -2048.0f, 1.0f);

    constexpr float kDistortion2[9] = {0.19f, 1.0f, 0.08f, -0.1f, -0.06f, 0.06f, 0.03f, -0.05f,
                                       -0.02f};
    constexpr float kDistortion3[11] = {0.34f, 1.0f, 0.1f, 0.0f, -0.08f, 0.0f, 0.06f, 0.0f,
                                        -0.05f, 0.0f, 0.05f};
    std::fill(std::begin(level), std::end(level), 0.0f);
    std::copy(std::begin(kDistortion2), std::end(kDistortion2), level);
    BuildTable(ChebyshevShape, tables[4], kSegments, -2048.0f, 1.0f);
    std::fill(std::begin(level), std::end(level), 0.0f);
    std::copy(std::begin(kDistortion3), std::end(kDistortion3), level);
    BuildTable(ChebyshevShape, tables[5], kSegments, -2048.0f, 1.0f);

    for (int shape = 0; shape <= 6; ++shape) {
        SetShapeLevels(shape);
        BuildTable(ChebyshevShape, tables[6 + shape], kSegments, -2048.0f, 1.0f);
    }
    for (int shape = 7; shape < kSelectable; ++shape)
        BuildTable(kCosineShapes[shape - 7], tables[6 + shape], kSegments, -2048.0f, 1.0f);

    for (int part = 0; part < kParts; ++part) {
        userShapes[part] = user[part];
        std::memcpy(user[part], tables[6], sizeof(Table));
    }
}

void CTLShapes::BuildUserShape(const float* values, int part, int mode)
{
    if (part < 0 || part >= kParts)
        return;
    if (mode >= 0 && mode <= 2) {
        // Start from a clear scratch: a level the mode does not set (the top
        // harmonic) must not keep what the previous build left there.
        std::fill(std::begin(level), std::end(level), 0.0f);
        level[0] = float(std::exp(values[0] / 18.385133067) / 1000.0);
        if (mode == 2) {
            for (int i = 1; i < kUserSliders; ++i)
                level[i] = values[i] * 2.0f / 128.0f - 1.0f;
            BuildTable(PointShape, work, kSegments, -2048.0f, 1.0f);
        } else {
            for (int n = 1; n <= 254; ++n) {
                const float v = values[CTLWaves::SliderOfHarmonic(n)];
                level[n] = SignPattern(n) * CTLWaves::LevelLaw(v);
            }
            BuildTable(mode == 0 ? ChebyshevShape : CosineSeriesShape, work, kSegments, -2048.0f,
                       1.0f);
        }
    }
    std::memcpy(user[part], work, sizeof(Table));
}
