#pragma once
// Model of the preset browser: the five category filter masks, the filter
// mode and the list of the pool's presets that match the masks (the list
// widget that shows it comes later).
#include <cstdint>
#include <vector>

class CPreset;

class CPresetBrowser {
public:
    static constexpr int kGroups = 5;

    CPresetBrowser() = default;
    virtual ~CPresetBrowser() = default;

    // Group 0..4 ("Category", "Source", "Timbre", "Expression", "Style");
    // other groups are ignored and read 0.
    // In filter mode the list follows the masks at once.
    void SetCategoryMask(int group, uint32_t mask) {
        if (group < 0 || group >= kGroups) return;
        masks[group] = mask;
        if (filterMode) Rebuild();
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
    // Switching filter mode on starts a new search: no mask, every preset listed.
    void SetFilterMode(uint8_t on);
    uint8_t GetFilterMode() const { return filterMode; }

    // The presets of the process-wide pool whose masks match the filter
    // masks, in pool order.
    void Rebuild();
    int GetCount() const { return static_cast<int>(rows.size()); }
    // Row i of the list; null outside it (or when the pool was read anew
    // and is shorter now).
    const CPreset* GetRow(int i) const;

private:
    std::vector<int> rows;  // pool indexes
    uint32_t masks[kGroups] = {};
    uint8_t filterMode = 1;
};
