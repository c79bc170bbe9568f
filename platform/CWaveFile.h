#pragma once
// A PCM WAV file being written: a 44-byte header whose sizes are rewritten
// when the file is closed, then the samples as they come.
#include <cstdint>
#include <cstdio>

class CWaveBase {
public:
    virtual ~CWaveBase() = default;
};

class CWaveFile : public CWaveBase {
public:
    static constexpr uint32_t kHeaderBytes = 44;
    // The RIFF size (data bytes + 36) must still fit its 32-bit field.
    static constexpr uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u;

    CWaveFile() = default;
    // Closes a file still open, so its header gets the final sizes.
    ~CWaveFile() override;
    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    // Creates (or truncates) the file and writes a header with no data. A
    // file still open is closed first. False when the file cannot be
    // created or its header not written.
    bool Create(const char* path, uint32_t rate, uint16_t bits, uint16_t channels);
    // Writes the header with the current sizes at the start of the file.
    bool WriteHeader();
    // Appends the bytes. Only whole frames that reached the file count as
    // data; false without a file, when not all was written, or when the data
    // would pass kMaxDataBytes (then nothing is written). After a failure
    // nothing more is appended.
    bool Write(const void* data, uint32_t bytes);
    // Final header and close. False without a file, or when any write since
    // Create failed.
    bool Close();

    bool IsFileOpen() const { return file != nullptr; }
    uint32_t GetDataBytes() const { return dataBytes; }
    uint32_t GetSampleRate() const { return sampleRate; }

protected:
    std::FILE* file = nullptr;
    char path[512] = {};
    uint32_t riffSize = 36;
    uint32_t formatSize = 16;
    uint16_t format = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 4;
    uint16_t bitsPerSample = 16;
    uint32_t dataBytes = 0;
    bool writeFailed = false;
};
