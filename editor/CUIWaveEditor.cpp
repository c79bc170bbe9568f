#include "editor/CUIWaveEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/CUIPartialEditor.h"
#include "engine/CFractalSubdivide.h"

using namespace partials;

namespace {

constexpr int kFilterBase[2] = {768, 896};
constexpr int kOscBase[2] = {1840, 1920};
constexpr int kRebuildId[2] = {1919, 1999};
constexpr uint32_t kBack = 0x281E1E, kAreaBack = 0x140E0E, kBar = 0xC89696, kSelectedBar = 0x83C3FF,
                   kText = 0xFFF4DA, kTab = 0x5A4646, kTabShown = 0x8C6E6E, kGrid = 0x2E2424,
                   kHint = 0x9A8C8C;
const char* const kTabNames[4] = {"Filter A", "Filter B", "Osc A", "Osc B"};

}  // namespace

CUIWaveEditor::CUIWaveEditor() : GUIObject("WEDT") { w = kWidth, h = kHeight; }

void CUIWaveEditor::Init()
{
    GUIObject::Init();
    w = kWidth, h = kHeight;
    m_tab = 0;
    m_painting = false;
    m_selected = -1;
    m_clipValid = false;
    BuiltinSpectrum(0);
}

int CUIWaveEditor::Base() const { return IsFilter() ? kFilterBase[m_tab] : kOscBase[m_tab - 2]; }

void CUIWaveEditor::Rebuild()
{
    const int id = kRebuildId[m_tab % 2];
    const double v = GetValue(0, id);
    SetValue(0, id, std::isfinite(v) ? float(int(v * 128.0)) / 128.0f : 0.0f);
}

GuiRect CUIWaveEditor::Draw()
{
    if (!surface) return {};
    const GuiRect oldClip = surface->GetClip();
    surface->SetClip(x, y, x + w - 1, y + h - 1);
    surface->SetColor(kBack);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    for (int t = 0; t < 4; ++t) {
        const int tx = x + 170 + 44 * t;
        surface->SetColor(t == m_tab ? kTabShown : kTab);
        surface->FillRect(tx, y + 3, tx + 42, y + 16, 1.0f);
        surface->SetColor(t == m_tab ? 0xFFFFFF : 0x9A8C8C);
        surface->DrawText(tx + 21, y + 4, kTabNames[t], CUnifiedDC::kTextTransparent | CUnifiedDC::kTextCentre);
    }
    const GuiRect area = EditArea();
    surface->SetColor(kAreaBack);
    surface->FillRect(area.left, area.top, area.right, area.bottom, 1.0f);
    // A scale behind the bars: levels in quarters, and the filter bins in
    // groups of 16, so that an empty spectrum still shows what it holds.
    surface->SetColor(kGrid);
    for (int q = 1; q < 4; ++q) {
        const int gy = area.bottom - (area.bottom - area.top) * q / 4;
        surface->FillRect(area.left, gy, area.right, gy + 1, 1.0f);
    }
    if (IsFilter())
        for (int k = 16; k < kFilterBins; k += 16)
            surface->FillRect(area.left + 4 * k - 1, area.top, area.left + 4 * k, area.bottom, 1.0f);
    char text[96];
    bool empty = true;
    if (IsFilter()) {
        const float height = float(area.bottom - area.top);
        for (int k = 0; k < kFilterBins; ++k) {
            const float v = SafeValue(GetValue(0, Base() + k), 0.0f, 1.0f);
            if (v > 0.0f) empty = false;
            const int bx = area.left + 4 * k;
            surface->SetColor(k == m_selected ? kSelectedBar : kBar);
            surface->FillRect(bx, area.bottom - int(v * height), bx + 3, area.bottom, 1.0f);
        }
        if (m_selected >= 0)
            std::snprintf(text, sizeof text, "Bin %d:  %3.0f %%", m_selected,
                          double(SafeValue(GetValue(0, Base() + m_selected), 0.0f, 1.0f) * 100.0f));
        else
            std::snprintf(text, sizeof text, "%s: 128 bins", kTabNames[m_tab]);
    } else {
        float levels[kBands + 1];
        CUIPartialEditor::ReadLevels(*this, Base(), 127.0f, levels);
        for (int b = 1; b <= kBands; ++b)
            if (levels[b] > 0.0f) empty = false;
        CUIPartialEditor::DrawHarmonics(*surface, area, levels, 127.0f, m_selected);
        CUIPartialEditor::HeaderText(m_selected, m_selected >= 1 ? levels[m_selected] : 0.0f, text, sizeof text);
    }
    surface->SetColor(kText);
    surface->DrawText(x + 6, y + 4, text, CUnifiedDC::kTextTransparent);
    if (empty) {
        surface->SetColor(kHint);
        // Between the 3/4 and 1/2 lines of the scale, clear of both.
        surface->DrawText((area.left + area.right) / 2, area.top + (area.bottom - area.top) * 3 / 8 - 6,
                          "Empty: draw with the mouse, or right-click for presets",
                          CUnifiedDC::kTextTransparent | CUnifiedDC::kTextCentre);
    }
    surface->SetClip(oldClip.left, oldClip.top, oldClip.right, oldClip.bottom);
    return Rect();
}

bool CUIWaveEditor::PaintBins(uint32_t flags, int x0, int y0, int x1, int y1)
{
    const GuiRect area = EditArea();
    auto binAt = [&](int px) { return std::clamp((px - area.left) * kFilterBins / (area.right - area.left), 0, kFilterBins - 1); };
    const int b0 = binAt(x0), b1 = binAt(x1);
    const float v0 = CUIPartialEditor::LevelAt(area, y0, 1.0f), v1 = CUIPartialEditor::LevelAt(area, y1, 1.0f);
    bool changed = false;
    for (int b = std::min(b0, b1); b <= std::max(b0, b1); ++b) {
        float v = b0 == b1 ? v1 : v0 + (v1 - v0) * float(b - b0) / float(b1 - b0);
        if (b % 2 == 0 && (flags & 4)) v = 1.0f;
        if (b % 2 == 0 && (flags & 8)) v = 0.0f;
        if (std::fabs(GetValue(0, Base() + b) - v) > 1e-7) {
            SetValue(0, Base() + b, v);
            changed = true;
        }
    }
    m_selected = b1;
    return changed;
}

void CUIWaveEditor::PaintWithMouse(uint32_t flags, int px, int py, bool press)
{
    const GuiRect area = EditArea();
    if (press) {
        m_lastX = px, m_lastY = py;
        if (py < y + 18 && px >= x + 170 && px < x + 346) {
            m_tab = std::clamp((px - x - 170) / 44, 0, 3);
            m_selected = -1;
            m_painting = false;
            Update();
            return;
        }
        m_painting = px >= area.left && px < area.right && py >= area.top && py < area.bottom;
    }
    if (!m_painting) return;
    bool changed;
    if (IsFilter()) {
        changed = PaintBins(flags, m_lastX, m_lastY, px, py);
    } else {
        changed = CUIPartialEditor::PaintHarmonics(*this, Base(), area, 127.0f, m_lastX, m_lastY, px, py);
        m_selected = BandOfHarmonic(CUIPartialEditor::HarmonicAt(area, px));
    }
    m_lastX = px, m_lastY = py;
    if (changed) Rebuild();
    Update();
}

void CUIWaveEditor::OnMouseDown(uint32_t flags, int px, int py) { PaintWithMouse(flags, px, py, true); }

void CUIWaveEditor::OnMouseDrag(uint32_t flags, int px, int py) { PaintWithMouse(flags, px, py, false); }

void CUIWaveEditor::OnMouseUp(uint32_t, int, int) { m_painting = false; }

int CUIWaveEditor::GetContextMenu(int px, int py)
{
    m_menuPos = {px, py};
    return IsFilter() ? 278 : 311;
}

bool CUIWaveEditor::FilterMenu(int value)
{
    const int base = Base();
    float v[kFilterBins];
    for (int k = 0; k < kFilterBins; ++k) v[k] = SafeValue(GetValue(0, base + k), 0.0f, 1.0f);
    switch (value) {
    case 51:
        std::copy(v, v + kFilterBins, m_clip);
        m_clipValid = true;
        return false;
    case 52:
        if (!m_clipValid) return false;  // nothing was ever copied
        std::copy(m_clip, m_clip + kFilterBins, v);
        break;
    case 53:
    case 54:
        for (int k = 0; k < kFilterBins; k += 2) v[k] = value == 53 ? 1.0f : 0.0f;
        break;
    case 55: {
        CFractalSubdivide fractal;
        fractal.Generate(v, 0.0f, 1.0f, kFilterBins, v[kFilterBins - 1]);
        break;
    }
    default:
        if (value < 1 || value > 15) return false;
        const float* row = FilterPreset(value & 15);
        for (int k = 0; k < kFilterBins; ++k) v[k] = row[k] / 127.0f;
        break;
    }
    for (int k = 0; k < kFilterBins; ++k) SetValue(0, base + k, SafeValue(v[k], 0.0f, 1.0f));
    return true;
}

bool CUIWaveEditor::OnMenu(int menuId, int value)
{
    if (menuId == 278 && IsFilter()) {
        if (value == 56) {
            const int shown = m_tab;
            for (m_tab = 0; m_tab < 4; ++m_tab) {
                if (IsFilter())
                    FilterMenu(55);
                else
                    CUIPartialEditor::PartialMenu(*this, Base(), 104);
                Rebuild();
            }
            m_tab = shown;
        } else {
            FilterMenu(value);
        }
    } else if (menuId == 311 && !IsFilter()) {
        CUIPartialEditor::PartialMenu(*this, Base(), value);
    } else {
        return false;
    }
    Rebuild();
    Update();
    return true;
}
