#pragma once
// Test helpers for the platform layer: a temporary folder removed at the end
// of the test, an environment variable set for the test's duration, and
// whole-file read and write.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "os/OReplaceFile.h"

namespace testutil {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zavo-test-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (made)
            m_path = made;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Every file write fails with the error (ENOSPC: a full disk) while the
// guard lives.
class ScopedWriteFault {
public:
    explicit ScopedWriteFault(int error) { os::SetWriteFault(error); }
    ~ScopedWriteFault() { os::SetWriteFault(0); }
    ScopedWriteFault(const ScopedWriteFault&) = delete;
    ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;
};

// The temporary folder a test program runs in: its settings folder and its
// program folder (tests/TestEnvironment.cpp).
const std::string& TestFolder();

// A file's bytes in one piece: the test programs are built unoptimised, and
// a copy a character at a time took seconds for a layout.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    const std::string all = ReadFile(path);
    return std::vector<uint8_t>(all.begin(), all.end());
}

inline void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out << data;
}

} // namespace testutil
