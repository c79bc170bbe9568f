#pragma once
// The list browser's source of presets: the presets of the pool whose masks
// match the five filter masks, one flat row each, in pool order. Choosing a
// row loads its preset into the current part. In filter mode the category
// masks are the filter; outside it they are the selected preset's own, and
// setting one files the preset under it.
#include <cstdint>
#include <string>
#include <vector>

#include "core/CategoryWords.h"
#include "gui/CBrowser.h"

class CSynth;
class CPresetPool;
class CPreset;

class CPresetItem {
public:
    virtual ~CPresetItem() = default;
    std::string name;
    size_t entry = 0;  // index into the pool
};

class CPresetBrowser : public CBrowser {
public:
    static constexpr int kGroups = categories::kGroups;

    // `synth` may be null (nothing is loaded then); `pool` null means the
    // process-wide pool.
    explicit CPresetBrowser(CSynth* synth = nullptr, CPresetPool* pool = nullptr);

    // ---- The list ----
    void First() override;
    void Next() override;
    bool AtEnd() override;
    bool ApplySelection() override;
    void SetSelection(int index) override { selectionIndex = index; }
    int GetSelection() override { return selectionIndex; }
    // Every row hangs under the one root.
    int GetLevel() override { return AtEnd() ? 0 : 1; }
    int GetCount() override { return static_cast<int>(rows.size()); }
    int GetChildCount() override { return 0; }
    // Column 0 is the preset's name.
    const char* GetText(int column) override;

    // ---- Category masks (group 0..4; others are ignored and read 0) ----
    void SetCategoryMask(int group, uint32_t mask);
    uint32_t GetCategoryMask(int group) const;
    void SetCategoryMask0(uint32_t mask) { SetCategoryMask(0, mask); }
    void SetCategoryMask1(uint32_t mask) { SetCategoryMask(1, mask); }
    void SetCategoryMask2(uint32_t mask) { SetCategoryMask(2, mask); }
    void SetCategoryMask3(uint32_t mask) { SetCategoryMask(3, mask); }
    void SetCategoryMask4(uint32_t mask) { SetCategoryMask(4, mask); }
    uint32_t GetCategoryMask0() const { return GetCategoryMask(0); }
    uint32_t GetCategoryMask1() const { return GetCategoryMask(1); }
    uint32_t GetCategoryMask2() const { return GetCategoryMask(2); }
    uint32_t GetCategoryMask3() const { return GetCategoryMask(3); }
    uint32_t GetCategoryMask4() const { return GetCategoryMask(4); }
    // Switching filter mode on starts a new search: no mask, every preset.
    void SetFilterMode(uint8_t on);
    uint8_t GetFilterMode() const { return filterMode; }
    // The rows anew from the pool; the selection is dropped.
    void Rebuild();
    // Filter mode: the list follows the filter. Otherwise the filter masks
    // are stored as the selected preset's masks (and saved).
    void ApplyMasks();
    // Outside filter mode with a selection the filter takes the selected
    // preset's masks.
    void LoadSelectedMasks();

    // Row i's preset; null outside the list (or when the pool was read
    // anew and is shorter now).
    const CPreset* GetRow(int i) const { return i < 0 ? nullptr : EntryOf(size_t(i)); }
    bool HasSelected() const { return selected != 0; }
    int GetSelectedIndex() const { return selectedIndex; }

private:
    CPresetPool& Pool() const;
    // The pool entry of row i, null when the pool was read anew since.
    const CPreset* EntryOf(size_t row) const;

    CSynth* synth;
    CPresetPool* pool;
    std::vector<CPresetItem> rows;
    size_t cursor = 0;
    uint8_t filterMode = 1;
    uint8_t selected = 0;
    int selectedIndex = -1;
    int selectionIndex = 0;
    uint32_t masks[kGroups] = {};
};
