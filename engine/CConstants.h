#pragma once
// The engine's pool of named single-precision constants. The control and
// render stages read their limits, scales and filter coefficients from here
// by name, so that every stage uses the very same float for the same idea.
// One process-wide instance (g_Constants) is what the stages read; the
// engine also keeps a copy of its own.

class CConstants {
public:
    // Every cell takes its value from its initialiser.
    CConstants() = default;
    virtual ~CConstants() = default;

    float guard = 1e-13f;  // added to decays; release target; floor of resonance
    float guard2 = 1e-13f;  // floor of the FM depth
    float lfoAttackTarget = 1.6f;  // envelope attack target on an LFO trigger; filter key tracking
    float glideFactor = 0.1f;  // per-block glide of three voice values
    float zero = 0.0f;
    float one = 1.0f;
    float half = 0.5f;
    float quarter = 0.25f;
    float third = 0.333f;
    float minusOne = -1.0f;
    float two = 2.0f;  // also the filter output gain
    float four = 4.0f;
    float minusTwo = -2.0f;  // negative filter output gain
    float scale512 = 512.0f;  // decade lookup scale
    float scale1024 = 1024.0f;  // breakpoint lookup scale
    float scale2048 = 2048.0f;
    float scale4096 = 4096.0f;  // scale of the 4096-segment lookups
    float scale16384 = 16384.0f;
    float noiseScale = 4.656613e-10f;  // integer noise to +-1
    float sixteenth = 0.0625f;  // meter scale
    float inv4096 = 0.00024414063f;
    float scale65536 = 65536.0f;  // phase scale
    float inv65536 = 1.5258789e-5f;
    float effectGuard = 0.01f;
    float silentLevel = 1e-5f;  // level of a silenced part
    float scale256 = 256.0f;  // period cells
    float inv24 = 0.041666668f;  // oscillator scale
    float minusHalf = -0.5f;  // oscillator scale
    float cutoff2Limit = 0.99f;  // upper limit of the second filter cutoff
    float fallingCutoff = 0.2f;  // smoothing of a falling cutoff
    float fmDepthFactor = 5.093066f;
    float delayLimit = 2047.0f;
    float scale128 = 128.0f;  // envelope and damping lookup scale
    float scale32768 = 32768.0f;
    float phase24 = 16777216.0f;  // full 24-bit phase
    float phase23 = 8388608.0f;  // half a 24-bit phase
    // Spectral sub-oscillator offsets, by configuration
    float subOscOffset[7] = {0.4375f, 0.0f,  -0.0625f,   -0.125f,
                             -0.099060155f, -0.25f, -0.1451205f};
    // Pink-noise filter gains
    float pinkGain[6] = {0.029591f, 0.032534f, 0.048056f, 0.090579f, 0.10899f, 0.255784f};
    // Pink-noise filter poles
    float pinkPole[6] = {0.997f, 0.985f, 0.95f, 0.85f, 0.62f, 0.25f};
    // Output factors of the six spectral sub-oscillators
    float subOscLevel[6] = {1.0f, 0.91f, 0.87f, 1.05f, 0.95f, 0.97f};
    float timeScale = 0.15f;  // every control tick sets it to 1.0
    float randomLfoScale = 5.9604645e-8f;  // random LFO phase to float
    float semitone = 192.0f;  // pitch units per semitone
    float invSemitone = 0.005208333f;
    // Oscillator stage limits (sub-oscillator detune factors)
    float oscLimit[6] = {0.51f, -0.51f, 0.0f, -1.01f, 0.71f, 0.3f};
    // Further sub-oscillator offsets of the configurations
    float subOscOffset2[6] = {0.0f, 0.02083332f,  0.036458313f,
                              0.0f, 0.015624991f, 0.036458313f};
};

// Integer pitch-width limits of the oscillator stage: 0.02 and 1.98 of a
// 24-bit phase.
constexpr int kPitchWidthMin = 335544;
constexpr int kPitchWidthMax = 33218886;

extern CConstants g_Constants;
