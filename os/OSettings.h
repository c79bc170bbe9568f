#pragma once
// A small settings store kept as an INI file: one section per key path,
// string and integer values. String values keep their bytes: bytes that
// would break the line structure are written as escapes and read back
// unchanged. The file is the user's as much as the program's: every line
// read is written back as it stood (comments, blank lines, lines that are
// not understood, settings not changed); only a changed or new setting is
// written anew. Lines end in LF, CRLF or a lone CR, as the editor that
// wrote the file had it; a line written anew ends as the file's lines do.
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
    // one; Why() says what went wrong, or which line was not understood.
    bool Load();
    // The text of a settings file (at most kMostBytes of it are taken); a
    // UTF-8 byte-order mark before it is passed over (and kept).
    void LoadText(std::string_view text);
    bool Unreadable() const { return m_unreadable; }
    // The file Load() met must not be written back: it could not be read,
    // or was read only in part (writing it would lose the rest). Why() says
    // which.
    bool LeftAsItIs() const { return m_unreadable || m_partial; }
    // The first line that is no section, setting or comment, from 1; 0
    // when every line was understood. Such a line is kept as it stands.
    int StrangeLine() const { return m_strangeLine; }
    const std::string& Why() const { return m_why; }
    // Writes the file, creating its folders, through the program's one
    // write path (os/OReplaceFile.h): a failed write loses nothing, a
    // symbolic link is written through to its file, which keeps its mode,
    // a write-protected file is left alone. So is a file LeftAsItIs(), and
    // one that would grow past kMostBytes, which the next Load() could not
    // read whole (false, Why() says why).
    bool Save();

    static constexpr size_t kMostBytes = 1u << 20;

    // Copies the value with its terminator into out. False, leaving out
    // untouched, when the value is missing or does not fit in size bytes.
    bool GetString(std::string_view section, std::string_view name, char* out,
                   size_t size) const;
    // False when the value is missing or is not a 32-bit number (values up
    // to 4294967295 are taken as their 32-bit pattern).
    bool GetInt(std::string_view section, std::string_view name, int32_t& out) const;

    // The value as read (unescaped, whatever its length or bytes); null
    // when missing.
    const std::string* Value(std::string_view section, std::string_view name) const;

    void SetString(std::string_view section, std::string_view name, std::string_view value);
    void SetInt(std::string_view section, std::string_view name, int32_t value);

    // Used by the file form; exposed so the tests can check round trips.
    static std::string Escape(std::string_view raw);
    static std::string Unescape(std::string_view text);

private:
    // A line of the file, or one a Set added. Every line knows the section
    // it stands in (none above the first and after a broken header).
    struct Line {
        std::string text;  // as read; empty for an added one
        std::string end;   // as read; empty for an added line and a last one without
        std::string section;
        bool inSection = false;
        bool setting = false;
        std::string key;
        std::string value;  // unescaped
        bool changed = false;  // written anew from key and value
    };
    // The last line that sets name in section (it is the one that counts);
    // m_lines.size() when none does.
    size_t Find(std::string_view section, std::string_view name) const;
    void Set(std::string_view section, std::string_view name, std::string value);
    std::string Text() const;

    std::string m_path;
    std::vector<Line> m_lines;
    bool m_byteOrderMark = false;
    std::string m_lineEnd = "\n";  // the file's first line end; LF for a new file
    bool m_unreadable = false;
    bool m_partial = false;  // longer than kMostBytes
    int m_strangeLine = 0;   // the first line not understood, from 1
    std::string m_why;
};

} // namespace os
