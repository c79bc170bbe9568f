#pragma once
// A small settings store kept as an INI file: one section per key path,
// string and integer values. String values keep their bytes: bytes that
// would break the line structure are written as escapes and read back
// unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace os {

class OSettings {
public:
    // filePath empty: DefaultFilePath().
    explicit OSettings(std::string filePath = {});

    // $XDG_CONFIG_HOME/zavo/settings.ini, with ~/.config standing in for an
    // unset or relative XDG_CONFIG_HOME; empty when neither is known.
    static std::string DefaultFilePath();

    const std::string& FilePath() const { return m_path; }

    // Reads the file; false (and an empty store) when it cannot be read.
    // Only the first kMostBytes of a longer file are read (up to its last
    // whole line there). Unreadable() tells a file that is there but could
    // not be read (not a file, no permission, a read error) from a missing
    // one; Why() says what went wrong.
    bool Load();
    // The text of a settings file (at most kMostBytes of it are taken).
    void LoadText(std::string_view text);
    bool Unreadable() const { return m_unreadable; }
    // The file Load() met must not be written back: it could not be read,
    // was read only in part, or holds a line that is no section, setting
    // or comment (writing it would lose what the user meant there). Why()
    // says which.
    bool LeftAsItIs() const { return m_unreadable || m_partial || m_strangeLine > 0; }
    const std::string& Why() const { return m_why; }
    // Writes the file, creating its folders, through the program's one
    // write path (os/OReplaceFile.h): a failed write loses nothing, a
    // symbolic link is written through to its file, which keeps its mode,
    // a write-protected file is left alone. So is a file LeftAsItIs()
    // (false, Why() says why). Comment lines (";" or "#") read by Load()
    // are written back in their places.
    bool Save();

    static constexpr size_t kMostBytes = 1u << 20;

    // Copies the value with its terminator into out. False, leaving out
    // untouched, when the value is missing or does not fit in size bytes.
    bool GetString(std::string_view section, std::string_view name, char* out,
                   size_t size) const;
    // False when the value is missing or is not a 32-bit number (values up
    // to 4294967295 are taken as their 32-bit pattern).
    bool GetInt(std::string_view section, std::string_view name, int32_t& out) const;

    void SetString(std::string_view section, std::string_view name, std::string_view value);
    void SetInt(std::string_view section, std::string_view name, int32_t value);

    // Used by the file form; exposed so the tests can check round trips.
    static std::string Escape(std::string_view raw);
    static std::string Unescape(std::string_view text);

private:
    // A comment line is kept as a value whose key is the whole line (a key
    // read from the file never starts with ';' or '#').
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values;
    };
    static bool IsComment(std::string_view key) { return !key.empty() && (key[0] == ';' || key[0] == '#'); }
    const std::string* Find(std::string_view section, std::string_view name) const;
    std::string& Slot(std::string_view section, std::string_view name);

    std::string m_path;
    // Comment lines above the first section.
    std::vector<std::string> m_preamble;
    std::vector<Section> m_sections;
    bool m_unreadable = false;
    bool m_partial = false;  // longer than kMostBytes
    int m_strangeLine = 0;   // the first line not understood, from 1
    std::string m_why;
};

} // namespace os
