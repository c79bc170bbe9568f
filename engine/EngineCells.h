#pragma once
// Word access shared by the control stage and the render: a record of
// 32-bit cells read and written as floats or integers, and the module-off
// bits of part record cell 270.
#include <bit>
#include <cstdint>
#include <emmintrin.h>

#include "engine/EffectMath.h"

namespace engine {

// Added to recursive states so that they never decay into denormals.
constexpr float kGuard = 1e-13f;
// 24-bit phases of the LFOs, the chorus and the spectral sub-oscillators.
constexpr uint32_t kPhaseMask24 = 0xFFFFFF;

struct Cells {
    uint32_t* w;
    float F(int i) const { return std::bit_cast<float>(w[i]); }
    int32_t I(int i) const { return std::bit_cast<int32_t>(w[i]); }
    uint32_t U(int i) const { return w[i]; }
    void SetF(int i, float v) { w[i] = std::bit_cast<uint32_t>(v); }
    void SetI(int i, int32_t v) { w[i] = std::bit_cast<uint32_t>(v); }
    void SetU(int i, uint32_t v) { w[i] = v; }
    // Four consecutive cells as floats in one vector (the vector type may
    // alias the words, so this stays within the aliasing rules).
    __m128 F4(int i) const { return _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i))); }
    void SetF4(int i, __m128 v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(w + i), _mm_castps_si128(v)); }
    // A list or switch value: stored as a small integer or as a whole float,
    // depending on the path that set it; both read the same.
    int32_t List(int i) const { return effect_math::CellAsInt(w[i]); }
    // value += step (the step in the next cell); returns the new value.
    float Ramp(int i)
    {
        const float v = F(i) + F(i + 1);
        SetF(i, v);
        return v;
    }
};

// Module-off bits of part record cell 270 (a set bit switches the module off).
constexpr uint32_t kOffOsc[3] = {0x1, 0x2, 0x4};
constexpr uint32_t kOffOsc1 = 0x1, kOffOsc2 = 0x2, kOffOsc3 = 0x4, kOffRing = 0x8,
                   kOffPink = 0x10, kOffMixer1 = 0x20, kOffMixer2 = 0x40, kOffShaper = 0x80,
                   kOffWaveguide = 0x100, kOffFilter1 = 0x200, kOffDrive = 0x400,
                   kOffSubPulse = 0x800, kOffFilter2 = 0x1000, kOffFormant = 0x2000,
                   kOffSpectrum = 0x4000, kOffTerrain = 0x8000;

} // namespace engine
