#pragma once
// Model of the preset browser: the five category filter masks and the
// filter mode (the list itself comes later).
#include <cstdint>

class CPresetBrowser {
public:
    static constexpr int kGroups = 5;

    CPresetBrowser() = default;
    virtual ~CPresetBrowser() = default;

    // Group 0..4 ("Category", "Source", "Timbre", "Expression", "Style");
    // other groups are ignored and read 0.
    void SetCategoryMask(int group, uint32_t mask) {
        if (group >= 0 && group < kGroups) masks[group] = mask;
    }
    uint32_t GetCategoryMask(int group) const { return group >= 0 && group < kGroups ? masks[group] : 0; }
    void SetCategoryMask0(uint32_t mask) { SetCategoryMask(0, mask); }
    void SetCategoryMask1(uint32_t mask) { SetCategoryMask(1, mask); }
    void SetCategoryMask2(uint32_t mask) { SetCategoryMask(2, mask); }
    void SetCategoryMask3(uint32_t mask) { SetCategoryMask(3, mask); }
    void SetCategoryMask4(uint32_t mask) { SetCategoryMask(4, mask); }
    uint32_t GetCategoryMask0() const { return masks[0]; }
    uint32_t GetCategoryMask1() const { return masks[1]; }
    uint32_t GetCategoryMask2() const { return masks[2]; }
    uint32_t GetCategoryMask3() const { return masks[3]; }
    uint32_t GetCategoryMask4() const { return masks[4]; }
    void SetFilterMode(uint8_t on) { filterMode = on ? 1 : 0; }
    uint8_t GetFilterMode() const { return filterMode; }

private:
    uint32_t masks[kGroups] = {};
    uint8_t filterMode = 1;
};
