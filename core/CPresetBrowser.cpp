#include "core/CPresetBrowser.h"

#include <algorithm>
#include <string>

#include "core/CPresetPool.h"
#include "core/CSynth.h"
#include "os/OMessageBox.h"

CPresetBrowser::CPresetBrowser(CSynth* s, CPresetPool* p) : synth(s), pool(p) {}

CPresetPool& CPresetBrowser::Pool() const { return pool ? *pool : g_PresetPool; }

const CPreset* CPresetBrowser::EntryOf(size_t row) const
{
    if (row >= rows.size()) return nullptr;
    const auto& entries = Pool().Entries();
    return rows[row].entry < entries.size() ? &entries[rows[row].entry] : nullptr;
}

void CPresetBrowser::First() { cursor = 0; }

void CPresetBrowser::Next()
{
    if (cursor < rows.size()) ++cursor;
}

bool CPresetBrowser::AtEnd() { return cursor >= rows.size(); }

const char* CPresetBrowser::GetText(int column)
{
    return column == 0 && cursor < rows.size() ? rows[cursor].name.c_str() : "";
}

bool CPresetBrowser::ApplySelection()
{
    changed = 1;
    // A choice past the last row (or before the first) keeps what was selected.
    if (selectionIndex < 0 || static_cast<size_t>(selectionIndex) >= rows.size()) return false;
    First();
    for (int i = 0; i < selectionIndex && !AtEnd(); ++i) Next();
    const CPreset* preset = EntryOf(cursor);
    if (!preset) return false;
    selected = 1;
    selectedIndex = static_cast<int>(cursor);
    if (synth)
        synth->LoadPresetBody(preset->body.data(), static_cast<int32_t>(preset->body.size()), true);
    return true;
}

uint32_t CPresetBrowser::GetCategoryMask(int group) const
{
    if (group < 0 || group >= kGroups) return 0;
    if (filterMode) return masks[group];
    const CPreset* preset = selected ? EntryOf(static_cast<size_t>(selectedIndex)) : nullptr;
    if (!preset) return 0;
    uint32_t own[kGroups];
    preset->param.GetMasks(own);
    return own[group];
}

void CPresetBrowser::SetCategoryMask(int group, uint32_t mask)
{
    if (group < 0 || group >= kGroups) return;
    LoadSelectedMasks();
    masks[group] = mask;
    ApplyMasks();
}

void CPresetBrowser::LoadSelectedMasks()
{
    if (filterMode || !selected) return;
    if (const CPreset* preset = EntryOf(static_cast<size_t>(selectedIndex))) preset->param.GetMasks(masks);
}

void CPresetBrowser::ApplyMasks()
{
    if (filterMode) {
        Rebuild();
        return;
    }
    const CPreset* preset = selected ? EntryOf(static_cast<size_t>(selectedIndex)) : nullptr;
    if (!preset) return;
    std::string why;
    if (Pool().StoreMasks(rows[static_cast<size_t>(selectedIndex)].entry, masks, &why)) return;
    // The words show now but would be gone at the next start.
    const std::string text = "The words of the preset \"" + preset->name + "\" are not kept after the program ends: " +
                             why + ".";
    os::ShowMessageBox(text.c_str(), "Error");
}

void CPresetBrowser::SetFilterMode(uint8_t on)
{
    const bool switchedOn = on && !filterMode;
    filterMode = on ? 1 : 0;
    if (!switchedOn) return;
    std::fill(masks, masks + kGroups, 0u);
    Rebuild();
}

void CPresetBrowser::Rebuild()
{
    rows.clear();
    cursor = 0;
    selected = 0;
    selectedIndex = -1;
    const auto& entries = Pool().Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].param.Match(masks)) continue;
        if (rows.empty()) selectionIndex = 0;
        rows.push_back({});
        rows.back().name = entries[i].name;
        rows.back().entry = i;
    }
    changed = 1;
}
