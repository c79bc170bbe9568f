#include "gui/GUISpinBPM.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gui/GUIHead.h"
#include "gui/WidgetDrawing.h"

namespace {
constexpr int kTempoGroup = 13;
constexpr double kFractionStep = 0.004;
}  // namespace

void GUISpinBPM::Init()
{
    GUIObject::Init();
    editing = fractionHalf = false;
    pressY = 0;
    startInteger = 120;
    startFraction = 0;
    editTempo = 120.0;
    lastShown = -1.0;
}

double GUISpinBPM::Shown()
{
    if (editing) return editTempo;
    const double t = owner ? owner->GetParameter(kTempoGroup, 0) : 0.0;
    return std::isfinite(t) ? t : 0.0;
}

GuiRect GUISpinBPM::Draw()
{
    if (!surface || !owner) return {};
    const double tempo = Shown();
    lastShown = tempo;
    char text[32];
    snprintf(text, sizeof text, "%7.3f", std::clamp(tempo, -9999.0, 99999.0));
    const bool colour = textRed < 256;
    const uint32_t own = textRed | uint32_t(textGreen & 255) << 8 | uint32_t(textBlue & 255) << 16;
    GuiRect dirty = Rect();
    if (const CDIBitmap* image = widgetdraw::StateImage(*this)) {
        surface->Blit(CUnifiedDC::kBlitCopy, x, y, x + w, y + h, image, 0, 0);
        surface->SetColor(colour ? own : 0x000000);
        surface->DrawText(x + w / 2 + 1, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 5,
                          std::max(w, 1));
    } else {
        surface->SetColor(0x2B2925);
        surface->FillRect(x, y, x + w, y + h, 1.0f);
        surface->SetColor(colour ? own : 0xF0F0F0);
        surface->DrawText(x + w / 2 + 1, widgetdraw::TextTop(*this), text, CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent, 5,
                          std::max(w, 1));
    }
    const GuiRect caption = widgetdraw::CaptionBelow(*this, y + h, false);
    UnionRects(dirty, dirty, caption);
    return dirty;
}

void GUISpinBPM::OnMouseDown(uint32_t, int px, int py)
{
    if (!owner) return;
    const double tempo = std::clamp(Shown(), 40.0, 300.996);
    startInteger = int(tempo);
    startFraction = std::clamp(int(std::lround((tempo - startInteger) / kFractionStep)), 0, 249);
    fractionHalf = px >= x + w / 2;
    pressY = py;
    editTempo = startInteger + startFraction * kFractionStep;
    editing = true;
    Update();
}

void GUISpinBPM::OnMouseDrag(uint32_t, int, int py)
{
    if (!editing) return;
    const long long d = (long long)pressY - py;
    if (fractionHalf) {
        const int fraction = int(std::clamp<long long>(startFraction + d, 0, 249));
        editTempo = startInteger + fraction * kFractionStep;
    } else {
        const int whole = int(std::clamp<long long>(startInteger + d, 40, 300));
        editTempo = whole + startFraction * kFractionStep;
    }
    Update();
}

void GUISpinBPM::OnMouseUp(uint32_t flags, int px, int py)
{
    if (!editing) return;
    OnMouseDrag(flags, px, py);
    editing = false;
    if (owner) owner->SetParameter(kTempoGroup, 0, float(editTempo));
    Update();
}

void GUISpinBPM::OnIdle()
{
    if (Shown() != lastShown) Update();
}
