#include "gui/GUICatButtons.h"

#include <cmath>

#include "core/CategoryWords.h"
#include "gui/GUIHead.h"

void GUICatButtons::Init()
{
    GUIObject::Init();
    w = 120;
    h = 249;
}

int GUICatButtons::WordGroup() const
{
    const int64_t g = int64_t(binding.index) - kFirstBinding;
    return g >= 0 && g < categories::kGroups ? int(g) : -1;
}

uint32_t GUICatButtons::Mask()
{
    float v = 0.0f;
    if (owner) owner->GetFloatValue(&binding, v);
    return v >= 0.0f && v < 4294967296.0f ? uint32_t(v) : 0u;
}

GuiRect GUICatButtons::Draw()
{
    const int group = WordGroup();
    if (!surface || !owner || group < 0) return {};
    const uint32_t mask = Mask();
    const bool filtering = owner->GetParameter(9, 172) > 0.0;
    surface->SetColor(0xDCDCDC);
    surface->FillRect(x, y, x + w, y + 12, 1.0f);
    surface->SetColor(0x323232);
    surface->DrawText(x + 10, y + 2, GetCategoryGroupName(group), CUnifiedDC::kTextTransparent, 2,
                      std::max(w - 12, 1));
    for (int row = 0; row < kRows; ++row) {
        const int top = y + kFirstRow + row * kRowHeight;
        const bool set = (mask >> row) & 1;
        surface->SetColor(set ? (filtering ? 0xC8FAFA : 0xC8FAC8) : 0x3B3026);
        surface->FillRect(x, top, x + w, top + kRowHeight - 1, 1.0f);
        surface->SetColor(set ? 0x000000 : 0xFFFFFF);
        surface->DrawText(x + 10, top + 2, GetCategoryWord(group, row), CUnifiedDC::kTextTransparent, 2,
                          std::max(w - 12, 1));
    }
    return Rect();
}

void GUICatButtons::OnMouseDown(uint32_t, int, int py)
{
    if (!owner || WordGroup() < 0 || py < y + kFirstRow) return;
    const int row = (py - y - kFirstRow) / kRowHeight;
    if (row >= kRows) return;
    owner->SetFloatValue(&binding, float(Mask() ^ (1u << row)));
    Update();
}
