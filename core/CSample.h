#pragma once
// One key zone of a multi-sample: up to two velocity layers, each read from
// a sound file in the multi-sample's sample folder, plus the zone's keys and
// loop points.
#include <cstddef>
#include <cstdint>

class CSample {
public:
    static constexpr int kLayers = 2;
    static constexpr int kNameSize = 64;
    // Zero frames around the sound so that interpolators may read a few taps
    // past either end without a bounds test.
    static constexpr int kGuardBefore = 16;
    static constexpr int kGuardAfter = 512;

    // Sample data of one layer: kGuardBefore zero frames, the file's frames,
    // kGuardAfter zero frames, interleaved.
    struct Layer {
        float* data = nullptr;
        int32_t frames = 0;
        int32_t channels = 1;
        float sampleRate = 44100.0f;
    };

    // What a sound file's instrument chunk says about the zone.
    struct Instrument {
        bool present = false;
        bool hasLoopStart = false;
        bool hasLoopEnd = false;
        bool hasLoopMode = false;
        float loopStart = 0.0f;
        float loopEnd = 1.0f;
        uint32_t loopMode = 0;
        int32_t rootKey = -1; // -1: the file names none
        int32_t lowerKey = 0;
        int32_t upperKey = 0;
    };

    CSample() = default;
    virtual ~CSample();
    CSample(const CSample&) = delete;
    CSample& operator=(const CSample&) = delete;

    // Loads the layer's file "<dir><name>_s/<file name>", replacing what the
    // layer held. With useInstrument the file's loop, root key and key range
    // replace the zone's. False (layer left as it was) when the file cannot
    // be read; lastError says why.
    bool LoadLayer(const char* dir, const char* name, int layer, bool useInstrument);
    void FreeLayer(int layer);

    // Reads a whole sound file into out (guard frames included) without
    // touching any zone, so that a caller can load first and swap later.
    // False with a reason in error (at most errorSize bytes) when the file
    // cannot be opened, is empty, has more than two channels or is too large.
    static bool ReadSoundFile(const char* path, Layer& out, Instrument* instrument, char* error,
                              size_t errorSize);
    static void FreeData(Layer& layer);

    // Takes over data (the caller's Layer is emptied); frees what was there.
    void InstallLayer(int layer, Layer& data);
    void ApplyInstrument(const Instrument& instrument);
    // Loop fractions limited to 0..1 with start < end; anything else is the
    // whole sample.
    void SanitizeLoop();

    bool HasLayer(int layer) const
    {
        return layer >= 0 && layer < kLayers && layers[layer].data != nullptr;
    }
    // The first real frame of the layer (behind the leading guard).
    const float* LayerFrames(int layer) const
    {
        return layers[layer].data + kGuardBefore * layers[layer].channels;
    }

    char layerFile[kLayers][kNameSize] = {};
    int32_t rootKey = 60;
    int32_t upperKey = 67;
    int32_t lowerKey = 0;
    int32_t fourthKey = 64; // stored and loaded only
    float loopStart = 0.0f;
    float loopEnd = 1.0f;
    uint32_t loopMode = 0; // stored and loaded only: playback follows the multi-sample
    float extra[2] = {0.0f, 0.0f};
    uint8_t loaded = 0;
    Layer layers[kLayers];
    char lastError[256] = {};

private:
    void UpdateLoaded();
};
