// Multi-sample descriptions (.qvi), fed from memory. Inputs whose first
// byte is odd are padded with zeros to the full description size. The
// sample folder beside the description holds two short sound files, a mono
// "a.wav" and a stereo "b.wav", that zones may name.
#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "core/CMultiSample.h"
#include "fuzz/FuzzSupport.h"

namespace {

void WriteSound(const std::string& path, int channels) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = 44100;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return;
    std::vector<float> samples(static_cast<size_t>(64 * channels));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 16) / 16.0f - 0.5f;
    sf_writef_float(f, samples.data(), 64);
    sf_close(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<CMultiSample> multiSample = [] {
        fuzz::UseAbsentProgramFolder();
        std::filesystem::create_directories(fuzz::PathOf("m_s"));
        WriteSound(fuzz::PathOf("m_s/a.wav"), 1);
        WriteSound(fuzz::PathOf("m_s/b.wav"), 2);
        return std::make_unique<CMultiSample>();
    }();
    static const std::string path = fuzz::PathOf("m.qvi");
    static std::vector<uint8_t> padded;

    fuzz::Input in{data, size};
    const bool pad = in.Byte() & 1;
    std::span<const uint8_t> file(in.data, in.size);
    if (pad && file.size() < CMultiSample::kFileSize) {
        padded.assign(file.begin(), file.end());
        padded.resize(CMultiSample::kFileSize, 0);
        file = padded;
    }
    multiSample->OpenBytes(path.c_str(), file);
    return 0;
}
