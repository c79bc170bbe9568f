#pragma once
// What the resamplers need from the sample set that feeds a voice. The
// multi-sample (core) implements it; keeping it abstract lets the engine's
// resamplers be built and tested without the sample loader.
#include <cstdint>

// One voice's view of one layer, as the note start left it.
struct SampleLayerView {
    // First real frame, interleaved. Every layer keeps kGuardBefore zero
    // frames in front of it and kGuardAfter zero frames behind its last frame.
    const float* data = nullptr;
    int32_t frames = 0;    // frames of sound, guard frames not counted
    int32_t channels = 0;  // 1 or 2; any other count plays silence
    int32_t loopStart = 0; // frames
    int32_t loopEnd = 0;   // frames
    int32_t position = 0;  // frames
};

class CSampleVoiceSource {
public:
    static constexpr int kGuardBefore = 16;
    static constexpr int kGuardAfter = 512;

    virtual ~CSampleVoiceSource() = default;

    // Per-sample reader of the sinc path: the voice's next value (layers
    // mixed), moving forward for direction >= 1, backward otherwise.
    virtual float NextSample(int voice, int direction) = 0;
    // Skips frames values of the voice, looping like NextSample.
    virtual void AdvanceVoice(int voice, int direction, int frames) = 0;

    // Fills out with the voice's layer; false when the voice has no such layer.
    virtual bool GetVoiceLayer(int voice, int layer, SampleLayerView& out) const = 0;
    // The voice's pitch scale: source frames per unit of oscillator phase increment.
    virtual float GetVoicePitchScale(int voice) const = 0;
    // Written back by the block renderer at the end of every block.
    virtual void SetVoicePosition(int voice, int layer, int32_t frames) = 0;

    virtual uint32_t GetLoopEnable() const = 0;
    // Share of the loop length that is crossfaded.
    virtual float GetLoopCrossfade() const = 0;
};
