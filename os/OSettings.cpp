#include "os/OSettings.h"

#include "os/OPath.h"
#include "os/OReadFile.h"
#include "os/OReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

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
    m_sections.clear();
    m_preamble.clear();
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
    m_sections.clear();
    m_preamble.clear();
    m_partial = text.size() > kMostBytes;
    m_strangeLine = 0;
    if (text.size() > kMostBytes) {
        // The line the limit cuts is not taken.
        text = text.substr(0, kMostBytes);
        const size_t last = text.rfind('\n');
        text = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
    }
    Section* current = nullptr;
    int number = 0;
    // The first line that is no section, setting or comment: what the file
    // means there is unknown, so it is not written back.
    auto strange = [&] {
        if (m_strangeLine == 0)
            m_strangeLine = number;
    };
    while (!text.empty()) {
        const size_t end = text.find('\n');
        ++number;
        std::string_view l = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (l.empty())
            continue;
        if (IsComment(l)) {
            if (current)
                current->values.emplace_back(std::string(l), std::string());
            else
                m_preamble.emplace_back(l);
            continue;
        }
        if (l.front() == '[') {
            size_t close = l.find(']');
            if (close == std::string_view::npos) {
                strange();
                current = nullptr;
                continue;
            }
            std::string name(Trim(l.substr(1, close - 1)));
            current = nullptr;
            for (Section& s : m_sections)
                if (s.name == name)
                    current = &s;
            if (!current) {
                m_sections.push_back({name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        size_t eq = l.find('=');
        if (!current || eq == std::string_view::npos) {
            strange();
            continue;
        }
        std::string key(Trim(l.substr(0, eq)));
        if (key.empty()) {
            strange();
            continue;
        }
        std::string value = Unescape(Trim(l.substr(eq + 1)));
        bool replaced = false;
        for (auto& kv : current->values)
            if (kv.first == key) {
                kv.second = value;
                replaced = true;
            }
        if (!replaced)
            current->values.emplace_back(std::move(key), std::move(value));
    }
}

bool OSettings::Save()
{
    if (m_path.empty())
        return false;
    if (LeftAsItIs())
        return false;  // Why() still says why it was not taken
    const std::string target = ThroughLinks(m_path);
    size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(target.substr(0, slash))) {
        m_why = std::strerror(errno);
        return false;
    }

    std::ostringstream text;
    for (const std::string& c : m_preamble)
        text << c << '\n';
    bool first = true;
    for (const Section& s : m_sections) {
        if (!first)
            text << '\n';
        first = false;
        text << '[' << s.name << "]\n";
        for (const auto& kv : s.values) {
            if (IsComment(kv.first))
                text << kv.first << '\n';
            else
                text << kv.first << '=' << Escape(kv.second) << '\n';
        }
    }
    const std::string data = text.str();
    return ReplaceFile(m_path.c_str(), data.data(), data.size(), &m_why);
}

const std::string* OSettings::Find(std::string_view section, std::string_view name) const
{
    for (const Section& s : m_sections) {
        if (s.name != section)
            continue;
        for (const auto& kv : s.values)
            if (kv.first == name && !IsComment(kv.first))
                return &kv.second;
    }
    return nullptr;
}

std::string& OSettings::Slot(std::string_view section, std::string_view name)
{
    Section* sec = nullptr;
    for (Section& s : m_sections)
        if (s.name == section)
            sec = &s;
    if (!sec) {
        m_sections.push_back({std::string(section), {}});
        sec = &m_sections.back();
    }
    for (auto& kv : sec->values)
        if (kv.first == name && !IsComment(kv.first))
            return kv.second;
    sec->values.emplace_back(std::string(name), std::string());
    return sec->values.back().second;
}

bool OSettings::GetString(std::string_view section, std::string_view name, char* out,
                          size_t size) const
{
    const std::string* v = Find(section, name);
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
    const std::string* v = Find(section, name);
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
    Slot(section, name) = std::string(value);
}

void OSettings::SetInt(std::string_view section, std::string_view name, int32_t value)
{
    Slot(section, name) = std::to_string(value);
}

} // namespace os
