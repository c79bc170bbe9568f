// CMIDI: per-part tuning tables from Scala files and note lists.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/CMIDI.h"
#include "os/OReadFile.h"
#include "platform/CDebug.h"
#include "platform/COSystem.h"

namespace {

// Lines longer than this are cut; the rest of such a line is skipped, so a
// long comment never turns into a value.
constexpr size_t kLineLimit = 255;
// A tuning file is a few kilobytes; anything past this is not read.
constexpr size_t kMaxFileSize = 1 << 20;
constexpr int kMaxScaleNotes = 128;
// Pitches are kept within 16 octaves of A 440 either way, far beyond
// hearing, so that no scale can drive the oscillators out of range.
constexpr float kPitchLimit = 1.0f;

class LineReader {
public:
    LineReader(const uint8_t* data, size_t size) : m_at(data), m_end(data + size) {}

    bool Next(std::string_view& line) {
        if (m_at >= m_end)
            return false;
        const uint8_t* start = m_at;
        const uint8_t* newline = static_cast<const uint8_t*>(std::memchr(m_at, '\n', m_end - m_at));
        const uint8_t* stop = newline ? newline : m_end;
        m_at = newline ? newline + 1 : m_end;
        size_t length = std::min(static_cast<size_t>(stop - start), kLineLimit);
        line = std::string_view(reinterpret_cast<const char*>(start), length);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ++m_number;
        return true;
    }
    int Number() const { return m_number; }

private:
    const uint8_t* m_at;
    const uint8_t* m_end;
    int m_number = 0;
};

std::string_view SkipSpace(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// A leading '+' is taken like the C library takes it.
template <typename T>
bool ParseNumber(std::string_view& s, T& out) {
    std::string_view rest = s;
    if (!rest.empty() && rest.front() == '+' && rest.size() > 1 && rest[1] != '-')
        rest.remove_prefix(1);
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), out);
    if (ec != std::errc())
        return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return true;
}

enum class NoteLine { kOther, kNote, kDamaged };

// "note <key>=<cents>", cents absolute with 6000 at key 60. Lines of other
// text, keys outside 0..127 and cents that are no finite number are passed
// over. The cents run to the next blank, as a scale degree does: a line whose
// key has no number after its '=', or a number run on into other bytes (a
// damaged or binary file), is damaged, not a value.
NoteLine ParseNoteLine(std::string_view line, int& key, double& cents) {
    if (line.substr(0, 4) != "note")
        return NoteLine::kOther;
    std::string_view s = SkipSpace(line.substr(4));
    long long k = 0;
    if (!ParseNumber(s, k) || s.empty() || s.front() != '=')
        return NoteLine::kOther;
    s = SkipSpace(s.substr(1));
    std::string_view token = s.substr(0, std::min(s.find_first_of(" \t"), s.size()));
    if (!ParseNumber(token, cents) || !token.empty())
        return NoteLine::kDamaged;
    if (!std::isfinite(cents) || k < 0 || k >= CMIDI::kKeys)
        return NoteLine::kOther;
    key = static_cast<int>(k);
    return NoteLine::kNote;
}

// One scale degree in octaves/16 (the table's unit). A value with a '.' is
// cents; otherwise it is a ratio n/d, a bare n meaning n/1.
const char* ParseDegree(std::string_view line, double& out) {
    std::string_view s = SkipSpace(line);
    const size_t tokenEnd = std::min(s.find_first_of(" \t"), s.size());
    const std::string_view token = s.substr(0, tokenEnd);
    if (token.find('.') != std::string_view::npos) {
        double cents = 0.0;
        std::string_view t = token;
        if (!ParseNumber(t, cents))
            return "not a number of cents";
        if (!std::isfinite(cents))
            return "cents not finite";
        out = cents * 5.2083333333e-05;
        return nullptr;
    }
    long long num = 0;
    long long den = 1;
    std::string_view t = token;
    if (!ParseNumber(t, num))
        return "not a ratio or cents";
    if (!t.empty() && t.front() == '/') {
        t.remove_prefix(1);
        if (!ParseNumber(t, den))
            return "ratio without a denominator";
    }
    if (!t.empty())
        return "not a ratio or cents";
    if (num <= 0 || den <= 0)
        return "ratio not positive";
    out = std::log(static_cast<double>(num) / static_cast<double>(den)) / (16.0 * std::log(2.0));
    return nullptr;
}

bool IsComment(std::string_view line) { return !line.empty() && line.front() == '!'; }
bool IsBlank(std::string_view line) { return SkipSpace(line).empty(); }

void SetReason(char* reason, size_t size, int line, const char* text) {
    if (reason && size > 0)
        std::snprintf(reason, size, "line %d: %s", line, text);
}

bool ParseScala(LineReader& lines, float* table, char* reason, size_t reasonSize) {
    std::string_view line;
    // The description, then the note count, each after any comments.
    bool described = false;
    long long count = 0;
    for (;;) {
        if (!lines.Next(line)) {
            SetReason(reason, reasonSize, lines.Number(), "no note count");
            return false;
        }
        if (IsComment(line))
            continue;
        if (!described) {
            described = true;
            continue;
        }
        std::string_view s = SkipSpace(line);
        if (!ParseNumber(s, count)) {
            SetReason(reason, reasonSize, lines.Number(), "no note count");
            return false;
        }
        if (count < 1 || count > kMaxScaleNotes) {
            SetReason(reason, reasonSize, lines.Number(), "note count outside 1..128");
            return false;
        }
        break;
    }
    const int n = static_cast<int>(count);
    // Degree 0 is the scale's root; degree n, its period, is read but the
    // table repeats every n keys by an octave whatever it says.
    double degree[kMaxScaleNotes + 1] = {};
    int held = 0;
    while (held < n && lines.Next(line)) {
        if (IsComment(line) || IsBlank(line))
            continue;
        double value = 0.0;
        if (const char* error = ParseDegree(line, value)) {
            SetReason(reason, reasonSize, lines.Number(), error);
            return false;
        }
        degree[++held] = value;
    }
    if (held < n - 1) {
        SetReason(reason, reasonSize, lines.Number(), "fewer degrees than the note count");
        return false;
    }
    for (int k = 0; k < CMIDI::kKeys; ++k) {
        const int d = k - 60;
        const int octave = d >= 0 ? d / n : -((-d + n - 1) / n);
        const double pitch = octave * 0.0625 - 0.046875 + degree[d - octave * n];
        table[k] = static_cast<float>(std::clamp(pitch, -1.0 * kPitchLimit, 1.0 * kPitchLimit));
    }
    return true;
}

bool ParseNoteList(LineReader& lines, float* table, char* reason, size_t reasonSize) {
    std::string_view line;
    bool any = false;
    while (lines.Next(line)) {
        int key = 0;
        double cents = 0.0;
        const NoteLine kind = ParseNoteLine(line, key, cents);
        if (kind == NoteLine::kDamaged) {
            SetReason(reason, reasonSize, lines.Number(), "no number of cents after \"=\"");
            return false;
        }
        if (kind == NoteLine::kOther)
            continue;
        const double pitch = (cents - 6000.0) * 5.2083335e-05 - 0.046875;
        table[key] = static_cast<float>(std::clamp(pitch, -1.0 * kPitchLimit, 1.0 * kPitchLimit));
        any = true;
    }
    if (!any)
        SetReason(reason, reasonSize, lines.Number(), "no \"note <key>=<cents>\" line");
    return any;
}

} // namespace

bool CMIDI::ParseTuning(const uint8_t* data, size_t size, float* table, char* reason,
                        size_t reasonSize) {
    if (reason && reasonSize > 0)
        reason[0] = '\0';
    if (!table)
        return false;
    LineReader lines(data, data ? size : 0);
    std::string_view line;
    while (lines.Next(line)) {
        // Parsed into a copy: a file refused half-way leaves the table as it was.
        float staging[kKeys];
        std::memcpy(staging, table, sizeof(staging));
        bool ok = false;
        if (!line.empty() && line.front() == '!')
            ok = ParseScala(lines, staging, reason, reasonSize);
        else if (!line.empty() && line.front() == ';')
            ok = ParseNoteList(lines, staging, reason, reasonSize);
        else
            continue;
        if (ok)
            std::memcpy(table, staging, sizeof(staging));
        return ok;
    }
    SetReason(reason, reasonSize, lines.Number(), "no \"!\" or \";\" line");
    return false;
}

bool CMIDI::ReadTuning(int part, const uint8_t* data, size_t size, const char* name) {
    if (part < 0 || part >= kParts)
        return false;
    char reason[96];
    if (!ParseTuning(data, size, tuning[part], reason, sizeof(reason))) {
        char line[256];
        std::snprintf(line, sizeof(line), "Tuning/%s: %s; tuning of part %d unchanged",
                      name ? name : "", reason, part + 1);
        CDebug::Say(line);
        return false;
    }
    tuningLoaded[part] = 1;
    return true;
}

bool CMIDI::LoadTuningFile(int part, const char* name) {
    if (part < 0 || part >= kParts || !name || !*name)
        return false;
    char relative[300];
    if (std::snprintf(relative, sizeof(relative), "Tuning/%s", name) >= static_cast<int>(sizeof(relative)))
        return false;
    COSystem sys;
    std::vector<uint8_t> bytes;
    std::string why;
    // A tuning file is optional: only one that is there and cannot be read
    // is worth a line.
    const os::ReadStatus read = os::ReadWholeFile(sys.GetAppPath(relative), kMaxFileSize, bytes, why);
    if (read == os::ReadStatus::kRefused) {
        char line[400];
        std::snprintf(line, sizeof(line), "Tuning/%s: %s; tuning of part %d unchanged", name, why.c_str(), part + 1);
        CDebug::Say(line);
    }
    if (read != os::ReadStatus::kRead)
        return false;
    return ReadTuning(part, bytes.data(), bytes.size(), name);
}
