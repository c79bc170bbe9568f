#include "core/CSoundBank.h"

#include "core/CProgram.h"

CSoundBank::~CSoundBank() { Close(); }

int CSoundBank::Open(int n, const char* mode) {
    Close();
    if (n < 0 || n > 999 || !mode) return 0;
    char relative[32];
    std::snprintf(relative, sizeof(relative), "Bank/QVBank%03d.qvb", n);
    char path[1024];
    CProgram::ProgramPath(path, sizeof(path), relative);
    m_file = std::fopen(path, mode);
    return m_file ? 1 : 0;
}

int CSoundBank::Read(void* buffer, int n) {
    if (!m_file || !buffer || n < 0) return 0;
    if (n == 0) return 1;
    return std::fread(buffer, 1, static_cast<size_t>(n), m_file) == static_cast<size_t>(n) ? 1 : 0;
}

int CSoundBank::ReadAvailable(void* buffer, int n) {
    if (!m_file || !buffer || n <= 0) return 0;
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(n), m_file));
}

void CSoundBank::Close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}
