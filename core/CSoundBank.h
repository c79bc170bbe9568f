#pragma once
// One numbered bank file ("Bank/QVBank%03d.qvb" in the program folder),
// opened for the bank list preview and read piece by piece.
#include <cstdio>

class CSoundBank {
public:
    CSoundBank() = default;
    virtual ~CSoundBank();
    CSoundBank(const CSoundBank&) = delete;
    CSoundBank& operator=(const CSoundBank&) = delete;

    // Opens bank number n with the C library mode ("rb"); 1 on success.
    // A file still open is closed first.
    int Open(int n, const char* mode);
    // 1 when exactly n bytes were read into buffer, 0 otherwise (also
    // without an open file or for a negative count).
    int Read(void* buffer, int n);
    // Reads up to n bytes; answers how many there were (0 without an open
    // file or for a negative count).
    int ReadAvailable(void* buffer, int n);
    void Close();

private:
    std::FILE* m_file = nullptr;
};
