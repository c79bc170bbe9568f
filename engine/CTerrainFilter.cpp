#include "engine/CTerrainFilter.h"
#include <algorithm>
#include <numbers>

namespace {
constexpr float kPi = static_cast<float>(std::numbers::pi);

const CTerrainFilter::Section* ShapeSection(int shape, int i)
{
    if (shape < 0 || shape >= CTerrainFilter::kShapes)
        return nullptr;
    const CTerrainFilter::Section* s = &CTerrainFilter::s_Shapes[shape][i];
    return s->enabled ? s : nullptr;
}
} // namespace

void CTerrainFilter::Set(float u, int a, int b, float k, float R, float m)
{
    shapeA = a;
    shapeB = b;
    m = std::clamp(m, 0.0f, 1.0f);
    const float m3 = m * m * m;
    for (int i = 0; i < kSections; ++i) {
        const bool serial = i >= 4;
        // A section missing on one side morphs toward neutral: unit gain and
        // no resonance for a resonator, a nearly closed notch for a notch.
        const float rOff = serial ? 0.99f : 0.0f;
        const Section* A = ShapeSection(a, i);
        const Section* B = ShapeSection(b, i);
        float gain, f, r;
        if (A && B) {
            gain = A->gain * (1.0f - m) + B->gain * m;
            f = A->frequency * (1.0f - m) + B->frequency * m;
            r = A->resonance * (1.0f - m3) + B->resonance * m3;
        } else if (A) {
            gain = A->gain * (1.0f - m) + m;
            f = A->frequency;
            r = A->resonance * (1.0f - m3) + rOff * m3;
        } else if (B) {
            gain = B->gain * m + (1.0f - m);
            f = B->frequency;
            r = B->resonance * m3 + rOff * (1.0f - m3);
        } else {
            gain = 1.0f;
            f = 0.5f;
            r = serial ? 1.0f : 0.0f;
        }
        // Fraction of the Nyquist frequency.
        const float w = std::clamp(f * 2.0f * u * k, 0.0001f, 1.0f);
        float q;
        if (!serial)
            q = R * R * r;
        else if (r < 0.999f)
            q = std::clamp(R * R * r, 0.8f, 0.99f);
        else
            q = r;
        q = std::min(q, 0.99999f);
        if (!serial)
            sections[i].SetCoefficientsA(gain, kPi - kPi * w, q);
        else
            sections[i].SetCoefficientsB(gain, kPi * w, q);
    }
}

float CTerrainFilter::Process(float x)
{
    Runner run(*this);
    const float y = run.Process(x);
    run.Store(*this);
    return y;
}
