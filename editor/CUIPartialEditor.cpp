#include "editor/CUIPartialEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/PartialBands.h"
#include "engine/CFractalSubdivide.h"

using namespace partials;

namespace {

constexpr uint32_t kBack = 0x281E1E, kAreaBack = 0x140E0E, kBar = 0xC89696, kSelectedBar = 0x83C3FF,
                   kText = 0xFFF4DA, kCurve = 0xFFC383;
const char* const kModeNames[3] = {"Mode: Harmonic", "Mode: FM", "Mode: Free"};

}  // namespace

CUIPartialEditor::CUIPartialEditor() : GUIObject("PEDT") {}

void CUIPartialEditor::Init()
{
    GUIObject::Init();
    m_selected = m_hover = -1;
    m_painting = m_changed = false;
    BuiltinSpectrum(0);  // the spectra are built once, here rather than mid-paint
}

GuiRect CUIPartialEditor::EditArea() const
{
    const int pad = GetIndex() == kShaperIndex ? 102 : 2;
    return {x + pad, y + 20, std::max(x + pad + 1, x + w - 2), std::max(y + 21, y + h - 2)};
}

int CUIPartialEditor::Mode()
{
    if (GetIndex() != kShaperIndex) return 0;
    return int(SafeValue(GetValue(0, kModeId) * 128.0 + 0.5, 0.0f, 2.0f));
}

// ---- Shared helpers ----------------------------------------------------------

void CUIPartialEditor::ReadLevels(GUIObject& w, int base, float full, float* levels)
{
    levels[0] = 0.0f;
    for (int b = 1; b <= kBands; ++b) levels[b] = SafeValue(w.GetValue(0, base + b), 0.0f, full);
}

int CUIPartialEditor::HarmonicAt(const GuiRect& area, int px)
{
    const double width = std::max(1, area.right - area.left);
    const double h = std::exp(std::log(256.0) * double(px - area.left) / width) + 0.5;
    // Harmonic 0 would be the slot before the first band.
    return int(std::clamp(h, 1.0, 256.0));
}

float CUIPartialEditor::LevelAt(const GuiRect& area, int py, float full)
{
    const float height = float(std::max(1, area.bottom - area.top));
    return std::clamp(float(area.bottom - py) / height * full, 0.0f, full);
}

void CUIPartialEditor::DrawHarmonics(CUnifiedDC& dc, const GuiRect& area, const float* levels,
                                     float full, int selectedBand)
{
    const float width = float(area.right - area.left), height = float(area.bottom - area.top);
    for (int h = 1; h <= 255; ++h) {
        const int bx = area.left + int(std::log(float(h)) * width / std::log(256.0f));
        const int b = BandOfHarmonic(h), next = std::min(b + 1, kBands);
        const float level = levels[b] + PartialBandFraction(h) * (levels[next] - levels[b]);
        const int top = area.bottom - int(std::clamp(level / full, 0.0f, 1.0f) * height);
        dc.SetColor(b == selectedBand ? kSelectedBar : kBar);
        dc.FillRect(bx, top, bx + 2, area.bottom, 1.0f);
    }
}

bool CUIPartialEditor::PaintHarmonics(GUIObject& w, int base, const GuiRect& area, float full, int x0,
                                      int y0, int x1, int y1)
{
    const int h0 = HarmonicAt(area, x0), h1 = HarmonicAt(area, x1);
    const float l0 = LevelAt(area, y0, full), l1 = LevelAt(area, y1, full);
    bool changed = false;
    for (int h = std::min(h0, h1); h <= std::max(h0, h1); ++h) {
        const float level = h0 == h1 ? l1 : l0 + (l1 - l0) * float(h - h0) / float(h1 - h0);
        const int b = BandOfHarmonic(h);
        if (b > kLastWritten) continue;  // band 80's slot belongs to the next set
        if (std::fabs(w.GetValue(0, base + b) - level) > 1e-7) {
            w.SetValue(0, base + b, level);
            changed = true;
        }
    }
    return changed;
}

bool CUIPartialEditor::PartialMenu(GUIObject& w, int base, int value)
{
    PartialClipboard& clip = SharedPartialClipboard();
    float now[kBands + 1];
    ReadLevels(w, base, 127.0f, now);
    float want[kBands + 1];
    std::copy(now, now + kBands + 1, want);
    if (value >= 1 && value <= 5) {
        const float* s = BuiltinSpectrum((value - 1) % 5);
        for (int b = 1; b <= kBands; ++b) want[b] = s[b] * 127.0f;
    } else if (value == 101) {
        std::copy(now, now + kBands + 1, clip.level);
        clip.valid = true;
        return false;
    } else if (value == 102) {
        if (!clip.valid) return false;
        std::copy(clip.level, clip.level + kBands + 1, want);
    } else if (value == 103) {
        if (!clip.valid) return false;
        for (int k = 1; k <= kLastWritten; ++k) want[kBands - k] = clip.level[k];
    } else if (value == 104) {
        std::copy(now, now + kBands + 1, clip.level);
        CFractalSubdivide fractal;
        float curve[kBands];
        curve[0] = now[1];
        fractal.Generate(curve, 0.0f, 127.0f, kBands, now[kBands]);
        for (int b = 1; b <= kBands; ++b) clip.level[b] = SafeValue(curve[b - 1], 0.0f, 127.0f);
        clip.valid = true;
        std::copy(clip.level, clip.level + kBands + 1, want);
    } else {
        return false;
    }
    bool changed = false;
    for (int b = 1; b <= kLastWritten; ++b) {
        if (want[b] == now[b]) continue;
        w.SetValue(0, base + b, want[b]);
        changed = true;
    }
    return changed;
}

void CUIPartialEditor::HeaderText(int band, float level, char* out, size_t size)
{
    if (band < 1 || band > kBands) {
        std::snprintf(out, size, "No Partial selected");
        return;
    }
    char label[16];
    BandLabel(band, label, sizeof label);
    std::snprintf(out, size, "Partial %s:  lvl: %3.0f dB", label,
                  double((1.0f - SafeValue(level, 0.0f, 127.0f) / 127.0f) * -100.0f));
}

// ---- The widget --------------------------------------------------------------

GuiRect CUIPartialEditor::Draw()
{
    if (!surface) return {};
    const GuiRect oldClip = surface->GetClip();
    surface->SetClip(x, y, x + w - 1, y + h - 1);
    surface->SetColor(kBack);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    const GuiRect area = EditArea();
    surface->SetColor(kAreaBack);
    surface->FillRect(area.left, area.top, area.right, area.bottom, 1.0f);
    float levels[kBands + 1];
    const int base = int(GetIndex());
    ReadLevels(*this, base, 127.0f, levels);
    char text[96];
    surface->SetColor(kText);
    const int mode = Mode();
    if (GetIndex() == kShaperIndex) surface->DrawText(x + 4, y + 24, kModeNames[mode], CUnifiedDC::kTextTransparent);
    if (mode == 2) {
        // The free curve: band b at x = b/40 - 1, value v at y = 2v/127 - 1.
        const float width = float(area.right - area.left), height = float(area.bottom - area.top);
        surface->SetColor(kCurve);
        for (int b = 1; b <= kBands; ++b) {
            const float px = float(area.left) + float(b) / 80.0f * width;
            const float py = float(area.bottom) - levels[b] / 127.0f * height;
            if (b == 1)
                surface->MoveTo(px, py);
            else
                surface->LineToAA(px, py);
        }
        std::snprintf(text, sizeof text, "x: %4.3f       y: %4.3f", double(m_freeX), double(m_freeY));
    } else {
        DrawHarmonics(*surface, area, levels, 127.0f, m_selected);
        HeaderText(m_selected, m_selected >= 1 ? levels[m_selected] : 0.0f, text, sizeof text);
    }
    surface->SetColor(kText);
    surface->DrawText(area.left + 2, y + 4, text, CUnifiedDC::kTextTransparent);
    surface->SetClip(oldClip.left, oldClip.top, oldClip.right, oldClip.bottom);
    return Rect();
}

void CUIPartialEditor::Changed()
{
    if (!m_changed) return;
    m_changed = false;
    SetValue(9, 142, float(GetIndex()));
}

bool CUIPartialEditor::PaintFree(int x0, int y0, int x1, int y1)
{
    const GuiRect area = EditArea();
    const float width = float(std::max(1, area.right - area.left));
    auto bandAt = [&](int px) { return std::clamp(int(float(px - area.left) / width * 80.0f + 0.5f), 1, kLastWritten); };
    const int b0 = bandAt(x0), b1 = bandAt(x1);
    const float v0 = LevelAt(area, y0, 127.0f), v1 = LevelAt(area, y1, 127.0f);
    m_freeX = std::clamp(float(x1 - area.left) / width * 2.0f - 1.0f, -1.0f, 1.0f);
    m_freeY = v1 / 127.0f * 2.0f - 1.0f;
    bool changed = false;
    for (int b = std::min(b0, b1); b <= std::max(b0, b1); ++b) {
        const float v = b0 == b1 ? v1 : v0 + (v1 - v0) * float(b - b0) / float(b1 - b0);
        const int id = int(GetIndex()) + b;
        if (std::fabs(GetValue(0, id) - v) > 1e-7) {
            SetValue(0, id, v);
            changed = true;
        }
    }
    return changed;
}

void CUIPartialEditor::HandleMouse(int px, int py, bool press)
{
    const GuiRect area = EditArea();
    if (press) {
        m_painting = px >= area.left && px < area.right && py >= area.top && py < area.bottom;
        m_lastX = px, m_lastY = py;
    }
    if (!m_painting) return;
    const bool changed = Mode() == 2 ? PaintFree(m_lastX, m_lastY, px, py)
                                     : PaintHarmonics(*this, int(GetIndex()), area, 127.0f, m_lastX, m_lastY, px, py);
    m_changed = m_changed || changed;
    m_selected = BandOfHarmonic(HarmonicAt(area, px));
    m_lastX = px, m_lastY = py;
    Changed();
    Update();
}

void CUIPartialEditor::OnMouseDown(uint32_t, int px, int py) { HandleMouse(px, py, true); }

void CUIPartialEditor::OnMouseDrag(uint32_t, int px, int py) { HandleMouse(px, py, false); }

void CUIPartialEditor::OnMouseUp(uint32_t, int, int) { m_painting = false; }

void CUIPartialEditor::OnMouseMove(int px, int py)
{
    const GuiRect area = EditArea();
    const int band = px >= area.left && px < area.right && py >= area.top && py < area.bottom
                         ? BandOfHarmonic(HarmonicAt(area, px))
                         : -1;
    if (band == m_hover) return;
    m_hover = m_selected = band;
    Update();
}

int CUIPartialEditor::GetContextMenu(int px, int py)
{
    m_menuPos = {px, py};
    return 311;
}

bool CUIPartialEditor::OnMenu(int menuId, int value)
{
    if (menuId != 311) return false;
    m_changed = PartialMenu(*this, int(GetIndex()), value);
    Changed();
    Update();
    return true;
}
