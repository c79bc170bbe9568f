#pragma once
// The multi-envelope editor ("MENV"): four tabs for the multi-segment
// envelopes MEG 1..4 and a fifth for the four ADSR envelopes. Every value
// goes through the widget's value bridge (editor group 0); nothing here
// holds a copy of the envelope between events, so the program stays the one
// truth. Counts and loop points read from the program are clamped before
// they index anything: a project or file may hold any float there.
#include <cstdint>

#include "editor/EnvelopeRecord.h"
#include "gui/GUIObject.h"

class CUIMEnvelope : public GUIObject {
public:
    static constexpr int kWidth = 722, kHeight = 119;
    static constexpr int kGraphWidth = 714, kGraphHeight = 73;
    static constexpr int kEgTab = 4;

    // What every instance shares.
    struct Shared {
        int tab = 0;
        int selected = -1;
        float leftTime = 0.0f;
        float timePerPixel = 0.005602241f;
        float gridStep = 0.125f;
        bool clipValid = false;
        EnvelopeRecord clip;
    };
    static Shared& State();

    CUIMEnvelope();
    void Init() override;
    GuiRect Draw() override;
    void OnMouseDown(uint32_t flags, int x, int y) override;
    void OnMouseDrag(uint32_t flags, int x, int y) override;
    bool OnMenu(int menuId, int value) override;
    int GetLeftClickMenu(int x, int y) override;
    GuiPoint GetLeftClickMenuPos() override { return m_menuPos; }
    int GetContextMenu(int x, int y) override;
    GuiPoint GetContextMenuPos() override { return m_menuPos; }

    void CopyToClipboard();
    void PasteFromClipboard();
    void LoadBuiltinShape(int n);
    // Asks for a .fep file; a valid one goes into the clipboard and is
    // pasted. False (nothing changed) when cancelled or refused.
    bool LoadPresetFile();
    // The bytes of a whole .fep file into the clipboard; a refused file
    // leaves it as it was and logs why.
    bool ReadPresetRecord(std::span<const uint8_t> bytes);
    // Copies the envelope, then asks where to save it as a .fep file.
    bool SavePresetFile();

    // The shown MEG as the program holds it, made safe to use.
    struct View {
        int meg = 0;
        int timesId = 0, modeId = 0;  // MEG 1's while synchronised to it
        int count = 1, loopStart = 0, loopEnd = 0;
        bool slide = false, sync = false, ownTimes = true;
        float loopSlope = 0.0f;
        float t[64] = {}, l[64] = {}, s[64] = {};
    };
    View Read(int meg);

private:
    enum Drag { kNone, kPoint, kKnee, kLoopKnee, kLevel, kSlope, kDelta, kView, kEgGraph, kEgText };

    float Get(int id);
    void Set(int id, float v) { SetValue(0, id, v); }
    int GraphLeft() const { return x + 4; }
    int GraphTop() const { return y + 24; }
    float XOf(const View& v, float time) const;
    float YOf(float level) const;
    void PointXY(const View& v, int i, float& px, float& py) const;
    void KneeXY(float x0, float y0, float x1, float y1, float s, float& kx, float& ky) const;
    // The end of the loop return's hook.
    void ReturnXY(const View& v, const float* px, const float* py, float& rx, float& ry) const;
    float GridStepFor(bool sync) const;
    // Puts point i at `time`, by the Slide or Fix rule.
    void MovePointTime(const View& v, int i, float time);
    void Insert(const View& v, int after, float time, float level);
    void Delete(const View& v, int i);
    // MEGs whose levels follow the shown MEG's time array.
    int AffectedMegs(const View& v, int* out);
    void ClampSelection(int count);
    void WriteEnvelope(int meg, const EnvelopeRecord& r);

    void DrawMeg(const View& v);
    void DrawEg();
    void MegMouseDown(uint32_t flags, int px, int py);
    void MegDrag(uint32_t flags, int px, int py);
    void EgMouseDown(uint32_t flags, int px, int py);
    void EgDrag(uint32_t flags, int px, int py);
    void Text(int dx, int dy, const char* text, uint32_t colour);

    Drag m_drag = kNone;
    int m_point = -1;       // the dragged point or segment
    int m_eg = 0, m_egHandle = 0;
    int m_pressX = 0, m_pressY = 0, m_lastX = 0, m_lastY = 0;
    float m_startValue = 0.0f, m_span = 0.0f;
    int m_insertAfter = 0;
    GuiPoint m_menuPos;
};
