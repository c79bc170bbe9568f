#pragma once
// Windowed-sinc resampler: pulls one source value at a time from the voice's
// sample source and band-limits when it transposes up. Kernels and the ring
// exist from construction on, so Start and Process never allocate.
#include <cstdint>

class CSampleVoiceSource;

class CResample {
public:
    // Wider kernels buy nothing audible and cost 2w multiplies per sample.
    static constexpr int kMaxHalfWidth = 64;
    static constexpr int kDefaultHalfWidth = 10;
    static constexpr int kKernelSteps = 1000; // kernel points per zero crossing

    CResample();
    virtual ~CResample() = default;

    // False (and silent) for |ratio| >= 65536 or halfWidth outside 0..65536.
    // halfWidth <= 0 means 10; it grows with the ratio and is capped at 64.
    bool Start(CSampleVoiceSource* source, float ratio, int halfWidth, int voice);
    // Next output sample; 0 when not running.
    float Process(float ratio);
    void Free();
    bool IsRunning() const { return running != 0; }
    int HalfWidth() const { return halfWidth; }

    // The kernel of half-width w (1..kMaxHalfWidth): w * 1000 + 1 points,
    // built once per process; nullptr for other widths.
    static const float* GetKernel(int w);

    uint32_t tapCounter = 0;
    uint32_t running = 0;
    float position = 0.0f;
    float ratio = 0.0f;
    int32_t halfWidth = kDefaultHalfWidth;
    int32_t ringLength = 2 * kDefaultHalfWidth;
    int32_t kernelLength = kDefaultHalfWidth * kKernelSteps;
    float ring[2 * kMaxHalfWidth + 1] = {};
    const float* kernel = nullptr;
    float startOffset = 1.0f - kDefaultHalfWidth;
    int32_t voice = 0;
    CSampleVoiceSource* source = nullptr;
};
