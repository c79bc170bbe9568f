#include "engine/CIIR2Order.h"
#include "engine/FastCos.h"
#include "engine/SafeMath.h"
#include <algorithm>
#include <cmath>
#include <numbers>

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
