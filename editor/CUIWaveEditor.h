#pragma once
// The wave editor ("WEDT"): four tabs, two filter curves of 128 bins
// (0..1, bins evenly spaced in log frequency) and two oscillator spectra of
// 80 bands (0..127), painted with the mouse. The spectral waves are rebuilt
// when their last partial (1919 for A, 1999 for B) is written, so every
// change ends with that write.
#include <cstdint>

#include "editor/PartialBands.h"
#include "gui/GUIObject.h"

class CUIWaveEditor : public GUIObject {
public:
    static constexpr int kWidth = 520, kHeight = 136;

    CUIWaveEditor();
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    void OnMouseUp(uint32_t flags, int x, int y) override;
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return m_menuPos; }
    bool OnMenu(int menuId, int value) override;

    void PaintWithMouse(uint32_t flags, int x, int y, bool press);
    int Tab() const { return m_tab; }
    GuiRect EditArea() const { return {x + 4, y + 21, x + 516, y + 132}; }

private:
    bool IsFilter() const { return m_tab < 2; }
    int Base() const;
    // The write that makes the synthesizer rebuild the shown tab's wave.
    void Rebuild();
    bool PaintBins(uint32_t flags, int x0, int y0, int x1, int y1);
    bool FilterMenu(int value);

    int m_tab = 0;
    bool m_painting = false;
    int m_lastX = 0, m_lastY = 0;
    int m_selected = -1;
    float m_clip[partials::kFilterBins] = {};
    bool m_clipValid = false;
    GuiPoint m_menuPos;
};
