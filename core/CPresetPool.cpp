#include "core/CPresetPool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/CProgram.h"
#include "os/OReplaceFile.h"

CPresetPool g_PresetPool;

bool CSoundParam::Match(const uint32_t* filter) const
{
    for (int g = 0; g < categories::kGroups; ++g)
        if (filter[g] != 0 && (masks[g] & filter[g]) == 0) return false;
    return true;
}

void CSoundParam::SetMasks(const uint32_t* m)
{
    std::copy(m, m + categories::kGroups, masks);
    valid = 1;
}

void CSoundParam::GetMasks(uint32_t* out) const { std::copy(masks, masks + categories::kGroups, out); }

namespace {

bool EndsWithFxp(const std::string& name)
{
    if (name.size() <= 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".fxp";
}

// One categories line: the file name and five hexadecimal words, each
// wholly read and at most 32 bits.
bool ParseLine(const std::string& line, std::string& file, uint32_t* masks)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (fields.size() != 1 + categories::kGroups || fields[0].empty()) return false;
    for (int g = 0; g < categories::kGroups; ++g) {
        const std::string& f = fields[1 + g];
        if (f.empty() || f.size() > 8 || f.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        masks[g] = static_cast<uint32_t>(std::strtoul(f.c_str(), nullptr, 16));
    }
    file = fields[0];
    return true;
}

std::string FormatLine(const std::string& file, const uint32_t* masks)
{
    std::string line = file;
    char word[16];
    for (int g = 0; g < categories::kGroups; ++g) {
        std::snprintf(word, sizeof word, "\t%08X", masks[g]);
        line += word;
    }
    return line;
}

}  // namespace

bool CPresetPool::Add(const uint8_t* data, size_t size, const std::string& file)
{
    if (!data || size <= static_cast<size_t>(CProgram::kPresetHeaderBytes) || entries.size() >= kMostPresets)
        return false;
    const uint8_t* body = data + CProgram::kPresetHeaderBytes;
    const size_t bodySize = size - CProgram::kPresetHeaderBytes;
    const int need = CProgram::FxpBodySize(body[0]);
    if (need <= 0 || bodySize != static_cast<size_t>(need)) return false;
    CPreset p;
    p.file = file;
    p.name = EndsWithFxp(file) ? file.substr(0, file.size() - 4) : file;
    p.body.assign(body, body + bodySize);
    entries.push_back(std::move(p));
    return true;
}

void CPresetPool::Clear()
{
    entries.clear();
    otherLines.clear();
}

int CPresetPool::Scan(const std::string& dir)
{
    Clear();
    folder = dir;
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (EndsWithFxp(name) && it->is_regular_file(typeError)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    // Nothing longer than the largest preset is one: reading stops just past it.
    const size_t most = CProgram::kPresetHeaderBytes + CProgram::kPresetBodyV30 + 1;
    std::vector<uint8_t> bytes(most);
    for (const std::string& name : names) {
        if (entries.size() >= kMostPresets) break;
        std::ifstream in(fs::path(dir) / name, std::ios::binary);
        if (!in) continue;
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(most));
        Add(bytes.data(), static_cast<size_t>(in.gcount()), name);
    }
    std::ifstream cat(fs::path(dir) / kCategoriesFile, std::ios::binary);
    if (cat) {
        std::stringstream text;
        text << cat.rdbuf();
        ReadCategories(text.str());
    }
    return static_cast<int>(entries.size());
}

void CPresetPool::ReadCategories(const std::string& text)
{
    otherLines.clear();
    std::istringstream in(text);
    std::string line, file;
    uint32_t masks[categories::kGroups];
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!ParseLine(line, file, masks)) continue;
        bool loaded = false;
        for (CPreset& p : entries)
            if (p.file == file) {
                p.param.SetMasks(masks);
                loaded = true;
            }
        if (!loaded) otherLines.push_back(FormatLine(file, masks));
    }
}

std::string CPresetPool::WriteCategories() const
{
    std::string text;
    uint32_t masks[categories::kGroups];
    for (const CPreset& p : entries) {
        if (!p.param.IsValid()) continue;
        p.param.GetMasks(masks);
        text += FormatLine(p.file, masks) + "\n";
    }
    for (const std::string& line : otherLines) text += line + "\n";
    return text;
}

bool CPresetPool::StoreMasks(size_t i, const uint32_t* masks)
{
    if (i >= entries.size()) return false;
    entries[i].param.SetMasks(masks);
    if (folder.empty()) return false;
    const std::string text = WriteCategories();
    const std::string path = (std::filesystem::path(folder) / kCategoriesFile).string();
    return os::ReplaceFile(path.c_str(), text.data(), text.size());
}
