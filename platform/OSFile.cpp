#include "platform/OSFile.h"

#include "platform/COSystem.h"

OSFile::~OSFile()
{
    Close();
}

bool OSFile::Open(const char* newPath, const char* mode)
{
    Close();
    path = newPath ? newPath : "";
    if (!newPath || !mode || !*newPath)
        return false;
    file = std::fopen(newPath, mode);
    return file != nullptr;
}

bool OSFile::OpenInAppDir(const char* name, const char* mode)
{
    COSystem sys;
    return Open(sys.GetAppPath(name), mode);
}

void OSFile::Close()
{
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
}

size_t OSFile::Read(void* buffer, size_t count, size_t size)
{
    if (!file || !buffer)
        return 0;
    return std::fread(buffer, size, count, file);
}

size_t OSFile::Write(const void* buffer, size_t count, size_t size)
{
    if (!file || !buffer)
        return 0;
    return std::fwrite(buffer, size, count, file);
}

uint16_t OSFile::ReadWord()
{
    unsigned char b[2];
    if (!file || std::fread(b, 1, 2, file) != 2)
        return 0;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

void OSFile::WriteWord(uint16_t value)
{
    if (!file)
        return;
    unsigned char b[2] = {static_cast<unsigned char>(value & 0xFF),
                          static_cast<unsigned char>(value >> 8)};
    std::fwrite(b, 1, 2, file);
}
