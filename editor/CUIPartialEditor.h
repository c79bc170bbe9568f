#pragma once
// The partial editor ("PEDT"): 80 band levels (0..127) of one partial set,
// painted with the mouse on a logarithmic harmonic axis. Bound to 1600,
// 1680 or 1760 (the oscillators' custom waves) or 2000 (the user shaper,
// which also has a free curve mode). After any change the synthesizer is
// told to rebuild from the levels (command 142 with the bound index).
//
// The static helpers are shared with the wave editor's oscillator tabs.
#include <cstdint>

#include "gui/GUIObject.h"

class CUIPartialEditor : public GUIObject {
public:
    static constexpr int kShaperIndex = 2000;
    static constexpr int kModeId = 355;

    CUIPartialEditor();
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    void OnMouseMove(int x, int y) override;
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return m_menuPos; }
    bool OnMenu(int menuId, int value) override;

    // Mouse handling of both the harmonic painter and the free painter.
    void HandleMouse(int x, int y, bool press);

    // ---- Shared with the wave editor ----
    // The 80 levels at base + 1 .. base + 80 (index = band), clamped to
    // 0..full.
    static void ReadLevels(GUIObject& w, int base, float full, float* levels);
    // Bars of harmonics 1..255 on a log axis over the area.
    static void DrawHarmonics(CUnifiedDC& dc, const GuiRect& area, const float* levels, float full,
                              int selectedBand);
    // The harmonic and the level under a point of the area.
    static int HarmonicAt(const GuiRect& area, int x);
    static float LevelAt(const GuiRect& area, int y, float full);
    // Paints every harmonic between two mouse positions with a linearly
    // interpolated level; answers whether a stored level changed.
    static bool PaintHarmonics(GUIObject& w, int base, const GuiRect& area, float full, int x0,
                               int y0, int x1, int y1);
    // Menu 311 on the set at base; answers whether a level changed.
    static bool PartialMenu(GUIObject& w, int base, int value);
    // "Partial 033-034: lvl: -21 dB" or "No Partial selected".
    static void HeaderText(int band, float level, char* out, size_t size);

    GuiRect EditArea() const;
    int Mode();

private:
    bool PaintFree(int x0, int y0, int x1, int y1);
    void Changed();

    int m_selected = -1, m_hover = -1;
    bool m_painting = false, m_changed = false;
    int m_lastX = 0, m_lastY = 0;
    float m_freeX = 0.0f, m_freeY = 0.0f;
    GuiPoint m_menuPos;
};
