#include "core/CPresetPool.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <unordered_map>

#include "core/CProgram.h"
#include "os/InitOrder.h"
#include "os/OReadFile.h"
#include "os/OReplaceFile.h"
#include "platform/CDebug.h"

namespace {

constexpr char kTag[4] = {'Z', 'A', 'V', 'O'};

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
    if (fields.size() != 1 + kCategoryGroups || fields[0].empty()) return false;
    for (int g = 0; g < kCategoryGroups; ++g) {
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
    for (int g = 0; g < kCategoryGroups; ++g) {
        std::snprintf(word, sizeof word, "\t%08X", masks[g]);
        line += word;
    }
    return line;
}

}  // namespace

CPresetPool g_PresetPool ZAVO_INIT(ZAVO_PRIO_PRESET_WORDS);

int FindCategoryWord(int group, const char* word)
{
    if (!word || !*word) return -1;
    for (int i = 0; i < kCategoryWords; ++i)
        if (strcmp(GetCategoryWord(group, i), word) == 0) return i;
    return -1;
}

bool CSoundParam::Match(const uint32_t* filter) const
{
    for (int g = 0; g < kCategoryGroups; ++g)
        if (filter[g] != 0 && (masks[g] & filter[g]) == 0) return false;
    return true;
}

void CSoundParam::SetMasks(const uint32_t* m)
{
    std::copy(m, m + kCategoryGroups, masks);
    valid = 1;
}

void CSoundParam::GetMasks(uint32_t* out) const { std::copy(masks, masks + kCategoryGroups, out); }

void CPresetPool::WriteHeader(uint8_t* header, const uint32_t* masks)
{
    memset(header, 0, CProgram::kPresetHeaderBytes);
    memcpy(header, kTag, sizeof kTag);
    header[4] = kHeaderVersion;
    for (int g = 0; g < kCategoryGroups; ++g)
        for (int b = 0; b < 4; ++b) header[kMaskOffset + 4 * g + b] = static_cast<uint8_t>(masks[g] >> (8 * b));
}

bool CPresetPool::ReadHeader(const uint8_t* header, uint32_t* masks)
{
    if (memcmp(header, kTag, sizeof kTag) != 0 || header[4] != kHeaderVersion) return false;
    for (int g = 0; g < kCategoryGroups; ++g) {
        masks[g] = 0;
        for (int b = 0; b < 4; ++b) masks[g] |= static_cast<uint32_t>(header[kMaskOffset + 4 * g + b]) << (8 * b);
    }
    return true;
}

bool CPresetPool::Add(const std::string& path, const std::string& file)
{
    // Nothing longer than the largest preset is one; reading stops past it.
    const size_t most = CProgram::kPresetHeaderBytes + CProgram::kPresetBodyV30 + 1;
    std::vector<uint8_t> bytes;
    std::string why;
    if (os::ReadWholeFile(path.c_str(), most, bytes, why, true) == os::ReadStatus::kRead) {
        if (Add(bytes.data(), bytes.size(), file)) return true;
        const size_t header = CProgram::kPresetHeaderBytes;
        const size_t body = bytes.size() > header ? bytes.size() - header : 0;
        why = CProgram::PresetBodyProblem(body > 0 ? bytes.data() + header : nullptr, body);
    }
    const std::string line = "preset " + path + ": " + why + "; left out of the preset list";
    CDebug::Say(line.c_str());
    return false;
}

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
    const std::string leaf = std::filesystem::path(file).filename().string();
    p.name = EndsWithFxp(leaf) ? leaf.substr(0, leaf.size() - 4) : leaf;
    uint32_t masks[kCategoryGroups] = {};
    if (ReadHeader(data, masks)) p.param.SetMasks(masks);
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
    // The folder comes from the settings and may be any folder at all: the
    // presets are looked for in it and its subfolders (as the factory ones
    // lie), no deeper, and no more of them than the pool holds.
    namespace fs = std::filesystem;
    constexpr int kDepth = 1;
    constexpr size_t kMostFiles = 2 * kMostPresets;
    Clear();
    folder = dir;
    std::vector<std::string> files;  // relative to the folder
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end && files.size() < kMostFiles;
         it.increment(ec)) {
        if (it.depth() >= kDepth) it.disable_recursion_pending();
        std::error_code typeError;
        if (EndsWithFxp(it->path().filename().string()) && it->is_regular_file(typeError))
            files.push_back(it->path().lexically_relative(dir).generic_string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
        if (entries.size() >= kMostPresets) break;
        Add((fs::path(dir) / f).string(), f);
    }
    // A line for each of the most presets the pool holds, each with a long
    // file name, fits many times over.
    constexpr size_t kMostCategoryBytes = 16u << 20;
    const std::string path = (fs::path(dir) / kCategoriesFile).string();
    std::vector<uint8_t> bytes;
    std::string why;
    const os::ReadStatus read = os::ReadWholeFile(path.c_str(), kMostCategoryBytes, bytes, why);
    if (read == os::ReadStatus::kRefused) {
        const std::string line = "categories " + path + ": " + why + "; the presets keep the words of their files";
        CDebug::Say(line.c_str());
    } else if (read == os::ReadStatus::kRead) {
        const int ignored = ReadCategories(std::string(bytes.begin(), bytes.end()));
        if (ignored > 0) {
            const std::string line = "categories " + path + ": " + std::to_string(ignored) +
                                     " lines that are no file name and five hexadecimal words were ignored";
            CDebug::Say(line.c_str());
        }
    }
    return static_cast<int>(entries.size());
}

int CPresetPool::ReadCategories(const std::string& text)
{
    int ignored = 0;
    otherLines.clear();
    // A long file against a full pool stays quick.
    std::unordered_multimap<std::string, size_t> byFile;
    for (size_t i = 0; i < entries.size(); ++i) byFile.emplace(entries[i].file, i);
    std::istringstream in(text);
    std::string line, file;
    uint32_t masks[kCategoryGroups];
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!ParseLine(line, file, masks)) {
            if (!line.empty()) ++ignored;
            continue;
        }
        // Several entries may share a file name (a pool filled by hand).
        auto [first, last] = byFile.equal_range(file);
        for (auto it = first; it != last; ++it) entries[it->second].param.SetMasks(masks);
        if (first == last) otherLines.push_back(FormatLine(file, masks));
    }
    return ignored;
}

std::string CPresetPool::WriteCategories() const
{
    std::string text;
    uint32_t masks[kCategoryGroups];
    for (const CPreset& p : entries) {
        if (!p.param.IsValid()) continue;
        p.param.GetMasks(masks);
        text += FormatLine(p.file, masks) + "\n";
    }
    for (const std::string& line : otherLines) text += line + "\n";
    return text;
}

bool CPresetPool::StoreMasks(size_t i, const uint32_t* masks, std::string* why)
{
    if (i >= entries.size()) {
        if (why) *why = "no such preset";
        return false;
    }
    entries[i].param.SetMasks(masks);
    if (folder.empty()) {
        if (why) *why = "the preset list was read from no folder";
        return false;
    }
    const std::string text = WriteCategories();
    const std::string path = (std::filesystem::path(folder) / kCategoriesFile).string();
    std::string failure;
    if (os::ReplaceFile(path.c_str(), text.data(), text.size(), &failure)) return true;
    if (why) *why = "cannot write \"" + path + "\": " + failure;
    return false;
}
