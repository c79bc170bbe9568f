#include "editor/CUIPartButton.h"

#include <algorithm>

#include "editor/WidgetDraw.h"

namespace {
constexpr int kCommandGroup = 9;
}  // namespace

void CUIPartButton::Init()
{
    GUIObject::Init();
    drawnFlags = -1;
}

int CUIPartButton::ReadFlags()
{
    return std::clamp(ValueToN(GetValue(kCommandGroup, int(binding.index))), 0, 3);
}

GuiRect CUIPartButton::Draw()
{
    if (!surface) return {};
    const ClipScope clip(surface, x, y, x + w, y + h);
    drawnFlags = ReadFlags();
    // Grey, amber while chosen, green while playing (a dull green read as
    // grey beside the others), yellow-green for both.
    static constexpr CUnifiedDC::Colour kFace[4] = {0x787878, 0x3CC8FF, 0x64D264, 0x3CFFC8};
    surface->SetColor(0x282828);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    surface->SetColor(kFace[drawnFlags]);
    surface->FillRect(x + 1, y + 1, x + w - 1, y + h - 1, 1.0f);
    surface->SetColor(0x141414);
    surface->DrawText(x + w / 2, y + (h - surface->Font().GetHeight()) / 2, binding.GetLabel(),
                      CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 2, 4 * std::max(w - 2, 1));
    return Rect();
}

void CUIPartButton::OnMouseDown(uint32_t, int, int)
{
    int flags = ReadFlags();
    flags = (flags & 1) ? flags & 2 : flags | 1;
    SetValue(kCommandGroup, int(binding.index), float(flags / 128.0));
    Update();
}

void CUIPartButton::OnIdle()
{
    if (ReadFlags() != drawnFlags) Update();
}
