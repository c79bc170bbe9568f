#pragma once
// The known presets and the words they are filed under. Every preset carries
// five category masks, one per word group (CategoryWords.h); word i of a
// group is bit i of that group's mask. The pool is filled once at start-up
// from the preset folder: every ".fxp" file (any case) in it and in its
// subfolders (not theirs), in path order. A preset's masks come from
// "Categories.txt" in the preset folder (one line per preset: its file name
// relative to the folder and five hexadecimal masks, tab-separated) or,
// for a preset without a line there, from its file's header (the factory
// presets carry theirs); a preset with neither has masks 0 and is not
// valid.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/CategoryWords.h"

constexpr int kCategoryGroups = categories::kGroups;
constexpr int kCategoryWords = categories::kWords;

// The bit of a word in its group's mask; -1 for a word the group lacks.
int FindCategoryWord(int group, const char* word);

class CSoundParam {
public:
    virtual ~CSoundParam() = default;
    // True when, for every group whose filter mask is not 0, the preset's
    // mask of that group shares a bit with it; all filters 0 match anything.
    bool Match(const uint32_t* filter) const;
    // Sets the five masks and marks them valid.
    void SetMasks(const uint32_t* masks);
    void GetMasks(uint32_t* out) const;
    bool IsValid() const { return valid != 0; }

private:
    uint8_t valid = 0;
    uint32_t masks[kCategoryGroups] = {};
};

class CPreset {
public:
    virtual ~CPreset() = default;
    std::string name;  // the file name without its extension
    std::string file;  // the path relative to the preset folder
    CSoundParam param;
    std::vector<uint8_t> body;  // the .fxp body after the 60-byte header
};

class CPresetPool {
public:
    static constexpr size_t kMostPresets = 4096;
    static constexpr const char* kCategoriesFile = "Categories.txt";

    virtual ~CPresetPool() = default;

    // A preset file's 60-byte header may hold masks: "ZAVO", a header
    // version byte (1), three zero bytes, then the five masks as
    // little-endian words. A header without the tag has no masks.
    static constexpr int kHeaderVersion = 1;
    static constexpr int kMaskOffset = 8;
    static void WriteHeader(uint8_t* header, const uint32_t* masks);
    static bool ReadHeader(const uint8_t* header, uint32_t* masks);

    // One preset file: a header and a body the program store accepts (a
    // known version, exactly as long as that version needs). False for
    // anything else, and the pool is unchanged. `file` names it in the
    // categories file. The path form logs a file it refuses, and why.
    bool Add(const std::string& path, const std::string& file);
    bool Add(const uint8_t* data, size_t size, const std::string& file);
    // Empties the pool and reads the folder's presets and their masks;
    // answers how many presets were added. A categories file that cannot
    // be read, or holds lines it ignores, leaves a line in the debug log.
    int Scan(const std::string& folder);
    // Reads masks from the categories file's text: lines that do not hold a
    // file name and five hexadecimal words are ignored, lines of presets not
    // in the pool are kept for the next write. Answers how many lines were
    // ignored (blank ones not counted).
    int ReadCategories(const std::string& text);
    // The categories file's text: a line for every valid preset, then the
    // lines kept from presets not loaded.
    std::string WriteCategories() const;
    // Stores entry i's masks and rewrites the categories file (through a
    // temporary file); false when there is no such entry or the file could
    // not be written, and why (when given) says which.
    bool StoreMasks(size_t i, const uint32_t* masks, std::string* why = nullptr);
    void Clear();

    const std::vector<CPreset>& Entries() const { return entries; }
    const std::string& Folder() const { return folder; }

private:
    std::vector<CPreset> entries;
    std::vector<std::string> otherLines;  // categories of presets not loaded
    std::string folder;
};

// The process-wide pool.
extern CPresetPool g_PresetPool;
