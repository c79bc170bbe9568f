#include "platform/CWaveFile.h"

#include <cstring>

namespace {

void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, static_cast<uint16_t>(v));
    Put16(p + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace

CWaveFile::~CWaveFile() {
    if (file)
        Close();
}

bool CWaveFile::Create(const char* name, uint32_t rate, uint16_t bits, uint16_t channelCount) {
    if (file)
        Close();
    if (!name || std::strlen(name) >= sizeof(path))
        return false;
    file = std::fopen(name, "w+b");
    if (!file)
        return false;
    // Unbuffered: every write reaches the file at once, so a failure is seen
    // by the write that caused it and the count of data bytes stays true.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::strcpy(path, name);
    bitsPerSample = bits;
    channels = channelCount;
    sampleRate = rate;
    blockAlign = static_cast<uint16_t>(channels * bits / 8);
    bytesPerSecond = rate * blockAlign;
    dataBytes = 0;
    writeFailed = false;
    if (!WriteHeader()) {
        std::fclose(file);
        file = nullptr;
        return false;
    }
    return true;
}

bool CWaveFile::WriteHeader() {
    if (!file)
        return false;
    riffSize = dataBytes + 36;
    uint8_t h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, riffSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, formatSize);
    Put16(h + 20, format);
    Put16(h + 22, channels);
    Put32(h + 24, sampleRate);
    Put32(h + 28, bytesPerSecond);
    Put16(h + 32, blockAlign);
    Put16(h + 34, bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
    bool ok = std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof(h), file) == sizeof(h);
    // Later data goes after what is there.
    ok = std::fseek(file, 0, SEEK_END) == 0 && ok;
    if (!ok)
        writeFailed = true;
    return ok;
}

bool CWaveFile::Write(const void* data, uint32_t bytes) {
    // After a failed write the file keeps what it has: anything appended
    // behind a partial frame would be read shifted.
    if (!file || writeFailed)
        return false;
    if (static_cast<uint64_t>(dataBytes) + bytes > kMaxDataBytes) {
        writeFailed = true;
        return false;
    }
    const size_t written = bytes ? std::fwrite(data, 1, bytes, file) : 0;
    dataBytes += static_cast<uint32_t>(written);
    if (written != bytes) {
        writeFailed = true;
        // The header then names whole frames only.
        if (blockAlign > 0)
            dataBytes -= dataBytes % blockAlign;
        return false;
    }
    return true;
}

bool CWaveFile::Close() {
    if (!file)
        return false;
    bool ok = WriteHeader();
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    return ok && !writeFailed;
}
