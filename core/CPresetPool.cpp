#include "core/CPresetPool.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/CProgram.h"
#include "os/InitOrder.h"

namespace {

const char* const kGroupNames[kCategoryGroups] = {"Category", "Source", "Timbre", "Expression", "Style"};

// Unused words are empty.
const char* const kWords[kCategoryGroups][kCategoryWords] = {
    {"Ambient", "Bass", "Brass", "Drums", "Flute", "Keys", "Mallet", "Organ", "Percussion", "Reed",
     "Soundeffect", "String", "Synth", "Vocal", "Other", "", "", "Favourites"},
    {"Acoustic", "Electric", "Analog", "Digital", "Synthetic", "Sampled", "FM", "Additive", "Spectral",
     "Waveshape", "Physical model", "Solo", "Ensemble", "Dry", "Processed", "Layered", "Sequence"},
    {"Bright", "Dark", "Warm", "Cold", "Fat", "Thin", "Hard", "Soft", "Distorted", "Clean", "Harmonic",
     "Dissonant", "Noise", "Metallic", "Wooden"},
    {"Natural", "Synthetic", "Slow attack", "Plucked", "Sustained", "Long release", "Struck", "Motion", "Pad",
     "Solo", "Ensemble", "Sweep", "Arpeggio", "Expressive", "Random"},
    {"Avantgarde", "Classical", "Film Music", "Electronica", "DnB", "House", "Techno", "Industrial", "Dance",
     "HipHop", "Rock", "Pop", "Jazz", "World Music"}};

constexpr char kTag[4] = {'Z', 'A', 'V', 'O'};

}  // namespace

CPresetPool g_PresetPool ZAVO_INIT(ZAVO_PRIO_PRESET_WORDS);

const char* GetCategoryGroupName(int group) {
    return group >= 0 && group < kCategoryGroups ? kGroupNames[group] : "";
}

const char* GetCategoryWord(int group, int index) {
    if (group < 0 || group >= kCategoryGroups || index < 0 || index >= kCategoryWords) return "";
    const char* w = kWords[group][index];
    return w ? w : "";
}

int FindCategoryWord(int group, const char* word) {
    if (!word || !*word) return -1;
    for (int i = 0; i < kCategoryWords; ++i)
        if (strcmp(GetCategoryWord(group, i), word) == 0) return i;
    return -1;
}

bool CSoundParam::Match(const uint32_t* filter) const {
    for (int g = 0; g < kCategoryGroups; ++g)
        if (filter[g] != 0 && (masks[g] & filter[g]) == 0) return false;
    return true;
}

void CSoundParam::SetMasks(const uint32_t* m) {
    std::copy(m, m + kCategoryGroups, masks);
    valid = 1;
}

void CSoundParam::GetMasks(uint32_t* out) const { std::copy(masks, masks + kCategoryGroups, out); }

void CPresetPool::WriteHeader(uint8_t* header, const uint32_t* masks) {
    memset(header, 0, CProgram::kPresetHeaderBytes);
    memcpy(header, kTag, sizeof kTag);
    header[4] = kHeaderVersion;
    for (int g = 0; g < kCategoryGroups; ++g)
        for (int b = 0; b < 4; ++b) header[kMaskOffset + 4 * g + b] = static_cast<uint8_t>(masks[g] >> (8 * b));
}

bool CPresetPool::ReadHeader(const uint8_t* header, uint32_t* masks) {
    if (memcmp(header, kTag, sizeof kTag) != 0 || header[4] != kHeaderVersion) return false;
    for (int g = 0; g < kCategoryGroups; ++g) {
        masks[g] = 0;
        for (int b = 0; b < 4; ++b) masks[g] |= static_cast<uint32_t>(header[kMaskOffset + 4 * g + b]) << (8 * b);
    }
    return true;
}

bool CPresetPool::Add(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Nothing longer than the largest preset is one; reading stops past it.
    const size_t most = CProgram::kPresetHeaderBytes + CProgram::kPresetBodyV30 + 1;
    std::vector<uint8_t> file(most);
    in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(most));
    file.resize(static_cast<size_t>(in.gcount()));
    return Add(file.data(), file.size(), path);
}

bool CPresetPool::Add(const uint8_t* data, size_t size, const std::string& file) {
    if (!data || size <= static_cast<size_t>(CProgram::kPresetHeaderBytes)) return false;
    const uint8_t* body = data + CProgram::kPresetHeaderBytes;
    const size_t bodySize = size - CProgram::kPresetHeaderBytes;
    const int need = CProgram::FxpBodySize(body[0]);
    if (need == 0 || bodySize != static_cast<size_t>(need)) return false;

    CPreset p;
    p.file = file;
    char name[CProgram::kNameSize] = {};
    memcpy(name, body + 4, CProgram::kNameSize);
    name[CProgram::kNameSize - 1] = 0;
    p.name = name;
    uint32_t masks[kCategoryGroups] = {};
    if (ReadHeader(data, masks)) p.param.SetMasks(masks);
    p.body.assign(body, body + bodySize);
    entries.push_back(std::move(p));
    return true;
}

int CPresetPool::Scan(const std::string& folder) {
    // The folder comes from the settings and may be any folder at all: the
    // presets are looked for in it and its subfolders (as the factory ones
    // lie), no deeper, and no more of them than a browser can show.
    constexpr int kDepth = 1;
    constexpr size_t kMostFiles = 8192;
    Clear();
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end;
         !ec && it != end && files.size() < kMostFiles; it.increment(ec)) {
        if (it.depth() >= kDepth) it.disable_recursion_pending();
        const auto& path = it->path();
        if (path.extension() == ".fxp" && it->is_regular_file(ec)) files.push_back(path.string());
    }
    std::sort(files.begin(), files.end());
    int added = 0;
    for (const std::string& f : files) added += Add(f) ? 1 : 0;
    return added;
}
