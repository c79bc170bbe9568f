#include "engine/CTLLFOWaves.h"

#include <cmath>

#include "os/InitOrder.h"

CTLLFOWaves g_TLLFOWaves ZAVO_INIT(ZAVO_PRIO_TABLES);

float CTLLFOWaves::Sine(float, int i)
{
    return static_cast<float>(std::sin(i * 6.28318531L / 256.0L));
}

// Starts at 0 rising, peaks at a quarter, bottoms at three quarters.
float CTLLFOWaves::Triangle(float, int i)
{
    float t = i / 64.0f;
    if (t <= 1.0f)
        return t;
    float u = 2.0f - t;
    return u >= -1.0f ? u : -2.0f - u;
}

float CTLLFOWaves::Square(float, int i) { return i >= 128 ? 1.0f : -1.0f; }

float CTLLFOWaves::SawUp(float, int i) { return i / 128.0f - 1.0f; }

float CTLLFOWaves::SawDown(float, int i) { return 1.0f - i / 128.0f; }

void CTLLFOWaves::Build()
{
    // Jumps are ramped within their segment (smooth), so the square rises
    // across segment 127 and every wave falls back at the wrap.
    BuildTableLimited(Sine, sine, kSegments, 0.0f, 65536.0f, true);
    BuildTableLimited(Triangle, triangle, kSegments, 0.0f, 65536.0f, true);
    BuildTableLimited(Square, square, kSegments, 0.0f, 65536.0f, true);
    BuildTableLimited(SawUp, sawUp, kSegments, 0.0f, 65536.0f, true);
    BuildTableLimited(SawDown, sawDown, kSegments, 0.0f, 65536.0f, true);
    tables[0] = sine;
    tables[1] = triangle;
    tables[2] = square;
    tables[3] = sawUp;
    tables[4] = sawDown;
}
