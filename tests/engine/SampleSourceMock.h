#pragma once
// A sample source for the resampler tests: layers over caller-owned data,
// and a value stream for the per-sample reader.
#include "engine/CSampleVoiceSource.h"
#include <functional>
#include <vector>

class SampleSourceMock : public CSampleVoiceSource {
public:
    SampleSourceMock() = default;
    explicit SampleSourceMock(const SampleLayerView& layer0) : layers{layer0, {}}, present{true, false} {}

    // Per-sample stream: value of source index n.
    std::function<float(long)> stream = [](long) { return 0.0f; };
    long next = 0;       // index of the next value NextSample hands out
    long consumed = 0;   // values read or skipped
    int lastDirection = 0;

    SampleLayerView layers[2];
    bool present[2] = {false, false};
    float pitchScale = 1.0f;
    uint32_t loopEnable = 0;
    float crossfade = 0.0f;
    std::vector<int32_t> written[2];

    float NextSample(int, int direction) override
    {
        lastDirection = direction;
        ++consumed;
        return stream(next++);
    }
    void AdvanceVoice(int, int direction, int frames) override
    {
        lastDirection = direction;
        next += frames;
        consumed += frames;
    }
    bool GetVoiceLayer(int, int layer, SampleLayerView& out) const override
    {
        if (!present[layer])
            return false;
        out = layers[layer];
        return true;
    }
    float GetVoicePitchScale(int) const override { return pitchScale; }
    void SetVoicePosition(int, int layer, int32_t frames) override { written[layer].push_back(frames); }
    uint32_t GetLoopEnable() const override { return loopEnable; }
    float GetLoopCrossfade() const override { return crossfade; }
};

// Layer storage laid out like a loaded sample: exactly the guard frames
// around the sound, so AddressSanitizer catches any read beyond them.
struct GuardedLayer {
    std::vector<float> storage;
    int frames, channels;
    GuardedLayer(int frames_, int channels_)
        : storage(static_cast<size_t>(frames_ + CSampleVoiceSource::kGuardBefore +
                                      CSampleVoiceSource::kGuardAfter) * channels_, 0.0f),
          frames(frames_), channels(channels_)
    {
        storage.shrink_to_fit();
    }
    float* data() { return storage.data() + CSampleVoiceSource::kGuardBefore * channels; }
    SampleLayerView View(int loopStart, int loopEnd, int position = 0)
    {
        SampleLayerView v;
        v.data = data();
        v.frames = frames;
        v.channels = channels;
        v.loopStart = loopStart;
        v.loopEnd = loopEnd;
        v.position = position;
        return v;
    }
};
