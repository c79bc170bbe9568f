#pragma once
// Fixtures for the multi-sample tests: sound files written through
// libsndfile and .qvi files assembled byte by byte from the file layout.
#include <sndfile.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/os/TestFolders.h"

namespace samplefix {

// Writes interleaved frames; false when libsndfile refuses. instrument may be
// null.
inline bool WriteSound(const std::string& path, int format, int channels, int rate,
                       const std::vector<float>& samples, const SF_INSTRUMENT* instrument = nullptr)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    if (instrument) {
        SF_INSTRUMENT copy = *instrument;
        sf_command(f, SFC_SET_INSTRUMENT, &copy, sizeof(copy));
    }
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = sf_writef_float(f, samples.data(), frames) == frames;
    sf_close(f);
    return ok;
}

// Mono float WAV whose frame i holds i / 1024: exact in the file, and every
// value tells which frame it came from.
inline bool WriteRamp(const std::string& path, int frames, int rate = 44100)
{
    std::vector<float> s(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        s[static_cast<size_t>(i)] = static_cast<float>(i) / 1024.0f;
    return WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, rate, s);
}

inline bool WriteConstant(const std::string& path, int frames, float value, int rate = 44100)
{
    return WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, rate,
                      std::vector<float>(static_cast<size_t>(frames), value));
}

struct Zone {
    std::string files[2];
    int32_t root = 60, upper = 67, lower = 0, fourth = 64;
    float loopStart = 0.0f, loopEnd = 1.0f;
    uint32_t loopMode = 0;
    float extra[2] = {0.0f, 0.0f};
};

// The 3220-byte .qvi image.
struct Qvi {
    uint8_t version = 1;
    float valueA = 0.0f;
    float crossfade = 0.0f;
    uint32_t loopEnable = 0;
    Zone zones[16];

    static void Put(std::string& b, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>(v >> (8 * i));
    }
    static void PutF(std::string& b, size_t at, float v) { Put(b, at, std::bit_cast<uint32_t>(v)); }

    std::string Bytes() const
    {
        std::string b(3220, '\0');
        std::memcpy(b.data(), "QVMPL", 5);
        b[80] = static_cast<char>(version);
        PutF(b, 84, valueA);
        PutF(b, 88, crossfade);
        Put(b, 92, loopEnable);
        for (int z = 0; z < 16; ++z) {
            const Zone& zone = zones[z];
            const size_t r = 148 + 192 * static_cast<size_t>(z);
            for (int l = 0; l < 2; ++l)
                std::memcpy(&b[r + 64 * l], zone.files[l].data(),
                            std::min<size_t>(zone.files[l].size(), 64));
            Put(b, r + 128, static_cast<uint32_t>(zone.root));
            Put(b, r + 132, static_cast<uint32_t>(zone.upper));
            Put(b, r + 136, static_cast<uint32_t>(zone.lower));
            Put(b, r + 140, static_cast<uint32_t>(zone.fourth));
            PutF(b, r + 144, zone.loopStart);
            PutF(b, r + 148, zone.loopEnd);
            Put(b, r + 152, zone.loopMode);
            PutF(b, r + 156, zone.extra[0]);
            PutF(b, r + 160, zone.extra[1]);
        }
        return b;
    }
};

// A multi-sample "<folder>/<name>.qvi" with its sample folder.
inline std::string WriteQvi(const std::string& folder, const std::string& name, const Qvi& qvi)
{
    std::filesystem::create_directories(folder + "/" + name + "_s");
    const std::string path = folder + "/" + name + ".qvi";
    testutil::WriteFile(path, qvi.Bytes());
    return path;
}

inline std::string SampleFolder(const std::string& folder, const std::string& name)
{
    return folder + "/" + name + "_s/";
}

} // namespace samplefix
