#include "os/OSettings.h"

#include "os/OPath.h"
#include "os/OReadFile.h"
#include "os/OReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace os {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

OSettings::OSettings(std::string filePath)
    : m_path(filePath.empty() ? DefaultFilePath() : std::move(filePath))
{
}

std::string OSettings::DefaultFilePath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        base = std::string(home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/zavo/settings.ini";
}

std::string OSettings::Escape(std::string_view raw)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        bool edge = (i == 0 || i + 1 == raw.size()) && (c == ' ' || c == '\t');
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || edge) {
            // Control bytes would split or hide the line; blanks at either
            // end would be lost to the trimming of the reader.
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string OSettings::Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            char n = text[i + 1];
            if (n == '\\') {
                out += '\\';
                ++i;
                continue;
            }
            if (n == 'x' && i + 3 < text.size()) {
                int hi = HexDigit(text[i + 2]);
                int lo = HexDigit(text[i + 3]);
                if (hi >= 0 && lo >= 0) {
                    out += static_cast<char>(hi * 16 + lo);
                    i += 3;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

bool OSettings::Load()
{
    m_lines.clear();
    m_byteOrderMark = false;
    m_lineEnd = "\n";
    m_unreadable = false;
    m_partial = false;
    m_strangeLine = 0;
    m_why.clear();
    if (m_path.empty())
        return false;
    // One byte past the limit tells a file that goes on from one that ends.
    std::vector<uint8_t> bytes;
    const ReadStatus read = ReadWholeFile(m_path.c_str(), kMostBytes + 1, bytes, m_why, true);
    if (read != ReadStatus::kRead) {
        m_unreadable = read == ReadStatus::kRefused;
        return false;
    }
    LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (m_partial)
        m_why = "it is longer than " + std::to_string(kMostBytes) + " bytes, only the lines before were read";
    else if (m_strangeLine > 0)
        m_why = "line " + std::to_string(m_strangeLine) + " is no section, setting or comment";
    return true;
}

void OSettings::LoadText(std::string_view text)
{
    m_lines.clear();
    m_partial = text.size() > kMostBytes;
    m_strangeLine = 0;
    if (text.size() > kMostBytes) {
        // The line the limit cuts is not taken.
        text = text.substr(0, kMostBytes);
        const size_t last = text.find_last_of("\r\n");
        text = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
    }
    // A text editor may put a byte-order mark before the first section.
    static constexpr std::string_view kMark = "\xEF\xBB\xBF";
    m_byteOrderMark = text.substr(0, kMark.size()) == kMark;
    if (m_byteOrderMark)
        text.remove_prefix(kMark.size());
    // The lines end as the editor that wrote them had it: LF, CRLF, or a
    // lone CR (a file with CR alone would otherwise be one long line).
    m_lineEnd = "\n";
    bool endSeen = false;
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        Line line;
        line.text = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = std::string_view();
        } else {
            const size_t endSize = text.substr(end, 2) == "\r\n" ? 2 : 1;
            line.end = text.substr(end, endSize);
            text.remove_prefix(end + endSize);
            if (!endSeen)
                m_lineEnd = line.end;
            endSeen = true;
        }
        const std::string_view l = Trim(line.text);
        bool understood = l.empty() || l.front() == ';' || l.front() == '#';
        if (!understood && l.front() == '[') {
            const size_t close = l.find(']');
            // A header without its "]" ends the section before it, and what
            // follows is in none until the next one.
            inSection = close != std::string_view::npos;
            understood = inSection;
            if (inSection)
                section = Trim(l.substr(1, close - 1));
        } else if (!understood) {
            const size_t eq = l.find('=');
            if (inSection && eq != std::string_view::npos && !Trim(l.substr(0, eq)).empty()) {
                line.setting = understood = true;
                line.key = Trim(l.substr(0, eq));
                line.value = Unescape(Trim(l.substr(eq + 1)));
            }
        }
        if (!understood && m_strangeLine == 0)
            m_strangeLine = static_cast<int>(m_lines.size()) + 1;
        line.section = section;
        line.inSection = inSection;
        m_lines.push_back(std::move(line));
    }
}

std::string OSettings::Text() const
{
    std::string text = m_byteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const Line& l : m_lines) {
        if (l.changed)
            text += l.key + '=' + Escape(l.value);
        else
            text += l.text;
        text += l.end.empty() ? m_lineEnd : l.end;
    }
    return text;
}

bool OSettings::Save()
{
    if (m_path.empty())
        return false;
    if (LeftAsItIs())
        return false;  // Why() still says why it was not taken
    const std::string data = Text();
    if (data.size() > kMostBytes) {
        // The next start would read only a part of it, and never write it
        // again: the file stays as it is.
        m_why = "the settings would make it longer than " + std::to_string(kMostBytes) +
                " bytes, more than a start reads";
        errno = EFBIG;
        return false;
    }
    const std::string target = ThroughLinks(m_path);
    size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(target.substr(0, slash))) {
        m_why = std::strerror(errno);
        return false;
    }
    return ReplaceFile(m_path.c_str(), data.data(), data.size(), &m_why);
}

size_t OSettings::Find(std::string_view section, std::string_view name) const
{
    for (size_t i = m_lines.size(); i-- > 0;)
        if (m_lines[i].setting && m_lines[i].section == section && m_lines[i].key == name)
            return i;
    return m_lines.size();
}

const std::string* OSettings::Value(std::string_view section, std::string_view name) const
{
    const size_t i = Find(section, name);
    return i < m_lines.size() ? &m_lines[i].value : nullptr;
}

void OSettings::Set(std::string_view section, std::string_view name, std::string value)
{
    if (const size_t i = Find(section, name); i < m_lines.size()) {
        if (m_lines[i].value != value) {
            m_lines[i].value = std::move(value);
            m_lines[i].changed = true;
        }
        return;
    }
    Line added;
    added.section = section;
    added.inSection = true;
    added.setting = true;
    added.key = name;
    added.value = std::move(value);
    added.changed = true;
    // After the last line of the section that is not blank (a section
    // named twice: its last part), or a new section at the end.
    auto blank = [](const Line& l) { return Trim(l.text).empty() && !l.changed; };
    for (size_t i = m_lines.size(); i-- > 0;)
        if (m_lines[i].inSection && m_lines[i].section == section && !blank(m_lines[i])) {
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(added));
            return;
        }
    if (!m_lines.empty() && !blank(m_lines.back()))
        m_lines.push_back(Line{});
    Line header;
    header.text.assign(1, '[').append(section).append(1, ']');
    header.section = section;
    header.inSection = true;
    m_lines.push_back(std::move(header));
    m_lines.push_back(std::move(added));
}

bool OSettings::GetString(std::string_view section, std::string_view name, char* out,
                          size_t size) const
{
    const std::string* v = Value(section, name);
    if (!v || !out || v->size() + 1 > size)
        return false;
    // A value may hold a zero byte; what follows it is kept in the file but
    // a C string ends there anyway.
    std::memcpy(out, v->data(), v->size());
    out[v->size()] = '\0';
    return true;
}

bool OSettings::GetInt(std::string_view section, std::string_view name, int32_t& out) const
{
    const std::string* v = Value(section, name);
    if (!v || v->empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long n = std::strtoll(v->c_str(), &end, 10);
    if (errno != 0 || end == v->c_str() || *end != '\0')
        return false;
    if (n < INT32_MIN || n > static_cast<long long>(UINT32_MAX))
        return false;
    out = static_cast<int32_t>(static_cast<uint32_t>(n));
    return true;
}

void OSettings::SetString(std::string_view section, std::string_view name, std::string_view value)
{
    Set(section, name, std::string(value));
}

void OSettings::SetInt(std::string_view section, std::string_view name, int32_t value)
{
    Set(section, name, std::to_string(value));
}

} // namespace os
