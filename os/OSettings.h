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
    bool Load();
    // Writes the file, creating its folders; the old file is replaced only
    // once the new one is complete, so a failed write loses nothing.
    bool Save() const;

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
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values;
    };
    const std::string* Find(std::string_view section, std::string_view name) const;
    std::string& Slot(std::string_view section, std::string_view name);

    std::string m_path;
    std::vector<Section> m_sections;
};

} // namespace os
