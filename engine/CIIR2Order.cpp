#include "engine/CIIR2Order.h"
#include "engine/FastCos.h"
#include "engine/SafeMath.h"
#include <algorithm>
#include <cmath>
#include <numbers>

float CIIR2Order::Process(float x)
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
    s1 = c[3] * xg - c[0] * y + s2 + 1e-7f;
    s2 = c[4] * xg - c[1] * y + 1e-7f;
    // A runaway section is held at a bounded level instead of blowing up
    // the voice.
    // A NaN state restarts from 0 instead of staying NaN until a reset.
    s1 = engine::ClampSafe(s1, -40.0f, 40.0f);
    s2 = engine::ClampSafe(s2, -40.0f, 40.0f);
    return y;
}

void CIIR2Order::SetCoefficientsA(float gain, float theta, float q)
{
    GlideTo(0, 2.0f * q * FastCos(theta));
    GlideTo(1, q * q);
    GlideTo(2, 1.0f);
    GlideTo(3, 0.0f);
    GlideTo(4, -q);
    // Keeps the peak level roughly independent of the resonance.
    GlideTo(5, (1.0f - 0.98f * q * q) * gain);
}

void CIIR2Order::SetCoefficientsB(float /*gain*/, float theta, float q)
{
    if (q < 0.999f) {
        const float cs = FastCos(theta);
        const float t = static_cast<float>(
            std::tan((1.0f - q) * theta * static_cast<float>(std::numbers::pi / 2.0)));
        const float k = 1.0f / (t + 1.0f);
        GlideTo(2, k);
        GlideTo(3, -2.0f * cs * k);
        GlideTo(4, k);
        GlideTo(0, -2.0f * cs * k);
        GlideTo(1, (1.0f - t) * k);
    } else {
        GlideTo(2, 1.0f);
        GlideTo(3, 0.0f);
        GlideTo(4, 0.0f);
        GlideTo(0, 0.0f);
        GlideTo(1, 0.0f);
    }
}
