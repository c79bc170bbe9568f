#pragma once
// Block renderer for sample playback: 4-point cubic B-spline interpolation
// with a crossfaded loop seam, for up to two velocity layers.
#include <cstdint>

class CSampleVoiceSource;

class CFastResample {
public:
    struct Layer {
        int32_t frames = 0;
        int32_t channels = 0;
        const float* data = nullptr;
        int32_t loopStart = 0;
        int32_t loopEnd = 0;
        int32_t crossfadeStart = 0;
        int32_t jump = 0;              // crossfade start - loop start
        float crossfadeRecip = 0.0f;   // 0: no crossfade
    };

    CFastResample() = default;
    virtual ~CFastResample() = default;

    // Takes the voice's playback values from the source; startOffset in
    // seconds, counted at 44100 frames per second. Always true.
    bool Setup(CSampleVoiceSource* source, int voice, float startOffset);
    // Silences the renderer: no layers, position 0.
    void Reset();
    // Adds frames stereo frames into out (interleaved). mix (layer 1 share)
    // and phaseInc (oscillator increment, 2^25 per cycle) glide by their
    // increments per frame and are handed back advanced.
    void Render(float* out, int frames, float& mix, float mixInc, float& phaseInc,
                float phaseIncDelta);

    uint32_t voice = 0;
    float pitchScale = 0.0f;
    uint32_t loopEnable = 0;
    Layer layers[2];
    CSampleVoiceSource* source = nullptr;
    float positions[2] = {0.0f, 0.0f};
};
