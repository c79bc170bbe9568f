#pragma once
// A stdio file with 16-bit little-endian word access (the layout file is
// made of such words).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class OSFile {
public:
    OSFile() = default;
    virtual ~OSFile();
    OSFile(const OSFile&) = delete;
    OSFile& operator=(const OSFile&) = delete;

    // Opens path with the stdio mode, closing a file still open first.
    bool Open(const char* path, const char* mode);
    // Opens name in the program folder.
    bool OpenInAppDir(const char* name, const char* mode);
    void Close();
    bool IsOpen() const { return file != nullptr; }

    // Items of size bytes read or written (0 when no file is open).
    size_t Read(void* buffer, size_t count, size_t size);
    size_t Write(const void* buffer, size_t count, size_t size);

    // Two bytes, low first; 0 when fewer than two could be read.
    uint16_t ReadWord();
    void WriteWord(uint16_t value);

    FILE* file = nullptr;
    std::string path;
};
