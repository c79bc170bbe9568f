#include "core/CPresetBrowser.h"

#include "core/CPresetPool.h"

void CPresetBrowser::SetFilterMode(uint8_t on) {
    const bool switchedOn = on && !filterMode;
    filterMode = on ? 1 : 0;
    if (!switchedOn) return;
    for (uint32_t& m : masks) m = 0;
    Rebuild();
}

void CPresetBrowser::Rebuild() {
    rows.clear();
    const auto& entries = g_PresetPool.Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].param.Match(masks)) rows.push_back(static_cast<int>(i));
}

const CPreset* CPresetBrowser::GetRow(int i) const {
    if (i < 0 || i >= GetCount()) return nullptr;
    const auto& entries = g_PresetPool.Entries();
    const size_t at = static_cast<size_t>(rows[static_cast<size_t>(i)]);
    return at < entries.size() ? &entries[at] : nullptr;
}
