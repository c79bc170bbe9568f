#include "core/CSample.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "platform/CDebug.h"

namespace {

void SetError(char* error, size_t size, const char* text)
{
    if (error && size)
        std::snprintf(error, size, "%s", text);
}

// Instrument chunks name loop modes none, forward, backward, alternating;
// zones know no-loop, one-way and alternating.
uint32_t ZoneLoopMode(int mode)
{
    switch (mode) {
    case SF_LOOP_FORWARD:
    case SF_LOOP_BACKWARD:
        return 1;
    case SF_LOOP_ALTERNATING:
        return 2;
    default:
        return 0;
    }
}

} // namespace

CSample::~CSample()
{
    for (Layer& l : layers)
        FreeData(l);
}

void CSample::FreeData(Layer& layer)
{
    delete[] layer.data;
    layer = Layer{};
}

bool CSample::ReadSoundFile(const char* path, Layer& out, Instrument* instrument, char* error,
                            size_t errorSize)
{
    out = Layer{};
    if (instrument)
        *instrument = Instrument{};
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file) {
        SetError(error, errorSize, sf_strerror(nullptr));
        return false;
    }

    const char* refusal = nullptr;
    // Positions and end indices are 32-bit: the whole storage, guards
    // included, has to be addressable as interleaved i32 indices.
    const int64_t limit = std::numeric_limits<int32_t>::max();
    if (info.channels < 1 || info.channels > 2)
        refusal = "only mono and stereo sound files can be played";
    else if (info.frames <= 0)
        refusal = "the sound file holds no frames";
    else if (info.frames > limit / info.channels - (kGuardBefore + kGuardAfter))
        refusal = "the sound file is too long";
    else if (info.samplerate <= 0)
        refusal = "the sound file has no sample rate";
    if (refusal) {
        sf_close(file);
        SetError(error, errorSize, refusal);
        return false;
    }

    const int64_t frames = info.frames;
    const int channels = info.channels;
    const size_t count = static_cast<size_t>(frames + kGuardBefore + kGuardAfter) * channels;
    float* data = new (std::nothrow) float[count];
    if (!data) {
        sf_close(file);
        SetError(error, errorSize, "not enough memory for the sound file");
        return false;
    }
    std::fill(data, data + count, 0.0f);
    const sf_count_t read = sf_readf_float(file, data + kGuardBefore * channels, frames);
    if (read != frames) {
        // A file that ends early would otherwise play silence where its
        // header promised sound; refuse it like any other broken file.
        const int code = sf_error(file);
        SetError(error, errorSize,
                 code ? sf_strerror(file) : "the sound file ends before its last frame");
        sf_close(file);
        delete[] data;
        return false;
    }

    // A float file may hold NaN or infinities: each note of the layer would
    // then silence the whole output. They read as silence, and the debug log
    // says so once per file.
    size_t replaced = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!std::isfinite(data[i])) {
            data[i] = 0.0f;
            ++replaced;
        }
    }
    if (replaced) {
        char line[384];
        std::snprintf(line, sizeof(line), "sound file \"%.256s\": %zu samples that are not finite numbers read as 0",
                      path, replaced);
        CDebug::Log(line);
    }

    if (instrument) {
        SF_INSTRUMENT inst{};
        if (sf_command(file, SFC_GET_INSTRUMENT, &inst, sizeof(inst)) == SF_TRUE) {
            instrument->present = true;
            if (inst.loop_count > 0) {
                const double length = static_cast<double>(frames);
                if (inst.loops[0].start != 0) {
                    instrument->hasLoopStart = true;
                    instrument->loopStart = static_cast<float>(inst.loops[0].start / length);
                }
                if (inst.loops[0].end != 0) {
                    instrument->hasLoopEnd = true;
                    instrument->loopEnd =
                        static_cast<float>(std::min(inst.loops[0].end / length, 1.0));
                }
                instrument->hasLoopMode = true;
                instrument->loopMode = ZoneLoopMode(inst.loops[0].mode);
            }
            if (inst.basenote > 0)
                instrument->rootKey = inst.basenote;
            instrument->lowerKey = inst.key_lo;
            instrument->upperKey = inst.key_hi;
        }
    }
    sf_close(file);

    out.data = data;
    out.frames = static_cast<int32_t>(frames);
    out.channels = channels;
    out.sampleRate = static_cast<float>(info.samplerate);
    return true;
}

void CSample::InstallLayer(int layer, Layer& data)
{
    if (layer < 0 || layer >= kLayers)
        return;
    FreeData(layers[layer]);
    layers[layer] = data;
    data = Layer{};
    UpdateLoaded();
}

void CSample::ApplyInstrument(const Instrument& instrument)
{
    if (!instrument.present)
        return;
    if (instrument.hasLoopStart)
        loopStart = instrument.loopStart;
    if (instrument.hasLoopEnd)
        loopEnd = instrument.loopEnd;
    if (instrument.hasLoopMode)
        loopMode = instrument.loopMode;
    if (instrument.rootKey > 0)
        rootKey = instrument.rootKey;
    lowerKey = instrument.lowerKey;
    upperKey = instrument.upperKey;
    SanitizeLoop();
}

void CSample::SanitizeLoop()
{
    const bool finite = std::isfinite(loopStart) && std::isfinite(loopEnd);
    if (finite) {
        loopStart = std::clamp(loopStart, 0.0f, 1.0f);
        loopEnd = std::clamp(loopEnd, 0.0f, 1.0f);
    }
    if (!finite || !(loopStart < loopEnd)) {
        loopStart = 0.0f;
        loopEnd = 1.0f;
    }
}

bool CSample::LoadLayer(const char* dir, const char* name, int layer, bool useInstrument)
{
    if (layer < 0 || layer >= kLayers || !dir || !name) {
        SetError(lastError, sizeof(lastError), "no such layer");
        return false;
    }
    char path[1024];
    const int n = std::snprintf(path, sizeof(path), "%s%s_s/%s", dir, name, layerFile[layer]);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(path)) {
        SetError(lastError, sizeof(lastError), "the sound file's path is too long");
        return false;
    }
    Layer data;
    Instrument instrument;
    if (!ReadSoundFile(path, data, useInstrument ? &instrument : nullptr, lastError,
                       sizeof(lastError)))
        return false;
    InstallLayer(layer, data);
    if (useInstrument)
        ApplyInstrument(instrument);
    lastError[0] = '\0';
    return true;
}

void CSample::FreeLayer(int layer)
{
    if (layer < 0 || layer >= kLayers)
        return;
    FreeData(layers[layer]);
    UpdateLoaded();
}

void CSample::UpdateLoaded()
{
    loaded = (layers[0].data || layers[1].data) ? 1 : 0;
}
