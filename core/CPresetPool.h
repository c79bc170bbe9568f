#pragma once
// The known presets and the words they are filed under. The pool is filled
// once at start from the preset folder: every ".fxp" file there, in name
// order. A preset's five category masks (one per word group, see
// CategoryWords.h) live beside the presets in "Categories.txt", one line per
// preset: its file name and five hexadecimal masks, tab-separated. A preset
// the file does not name has masks 0 and is not valid.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/CategoryWords.h"

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
    uint32_t masks[categories::kGroups] = {};
};

class CPreset {
public:
    virtual ~CPreset() = default;
    std::string name;  // the file name without its extension
    std::string file;  // the file name in the preset folder
    CSoundParam param;
    std::vector<uint8_t> body;  // the .fxp body after the 60-byte header
};

class CPresetPool {
public:
    static constexpr size_t kMostPresets = 4096;
    static constexpr const char* kCategoriesFile = "Categories.txt";

    virtual ~CPresetPool() = default;

    // One preset file's bytes: a 60-byte header, then a body exactly as long
    // as its version needs. False for anything else (the pool is unchanged).
    bool Add(const uint8_t* data, size_t size, const std::string& file);
    // Empties the pool and reads the folder's presets and their masks;
    // answers how many presets were added.
    int Scan(const std::string& folder);
    // Reads the masks from the categories file's text: lines that do not
    // hold a file name and five hexadecimal words are ignored, lines of
    // presets not in the pool are kept for the next write.
    void ReadCategories(const std::string& text);
    // The categories file's text: a line for every valid preset, then the
    // lines kept from presets not loaded.
    std::string WriteCategories() const;
    // Stores entry i's masks and rewrites the categories file; false when
    // there is no such entry or the file could not be written.
    bool StoreMasks(size_t i, const uint32_t* masks);
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
