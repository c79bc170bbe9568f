#pragma once
// The known presets and the words they are filed under. Every preset carries
// five category masks, one per word group ("Category", "Source", "Timbre",
// "Expression", "Style"); word i of a group is bit i of that group's mask.
// The pool is filled from the preset folder at start-up, so the browser
// lists the factory presets on a fresh install.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kCategoryGroups = 5;
constexpr int kCategoryWords = 32;

// The heading of group g (0..4); the empty text otherwise.
const char* GetCategoryGroupName(int group);
// Word i (< 32) of group g (< 5); the empty text otherwise and for an unused word.
const char* GetCategoryWord(int group, int index);
// The bit of a word in its group's mask; -1 for a word the group lacks.
int FindCategoryWord(int group, const char* word);

class CSoundParam {
public:
    virtual ~CSoundParam() = default;
    // True when, for every group whose filter mask is not 0, the preset's
    // mask of that group shares a bit with it.
    bool Match(const uint32_t* filter) const;
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
    std::string name;
    std::string file;
    CSoundParam param;
    std::vector<uint8_t> body;  // the .fxp body after the 60-byte header
};

class CPresetPool {
public:
    virtual ~CPresetPool() = default;

    // The preset file's 60-byte header holds the masks: "ZAVO", a header
    // version byte (1), three zero bytes, then the five masks as
    // little-endian words. A header without the tag has no masks.
    static constexpr int kHeaderVersion = 1;
    static constexpr int kMaskOffset = 8;
    static void WriteHeader(uint8_t* header, const uint32_t* masks);
    static bool ReadHeader(const uint8_t* header, uint32_t* masks);

    // One preset file: a header and a body the program store accepts (a
    // known version, exactly as long as that version needs). False for
    // anything else, and the pool is unchanged.
    bool Add(const std::string& path);
    bool Add(const uint8_t* data, size_t size, const std::string& file);
    // Empties the pool and adds every .fxp file of the folder and of its
    // subfolders (not theirs), in path order (the presets of a fresh
    // install come in a stable order); answers how many were added.
    int Scan(const std::string& folder);
    void Clear() { entries.clear(); }

    const std::vector<CPreset>& Entries() const { return entries; }

private:
    std::vector<CPreset> entries;
};

extern CPresetPool g_PresetPool;
