#include "editor/CUIMEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "editor/PartialBands.h"
#include "os/OMessageBox.h"
#include "os/OReplaceFile.h"
#include "platform/CDlgFile.h"

namespace {

constexpr int kTimes[4] = {1024, 2080, 2144, 2208};
constexpr int kLevels[4] = {1088, 1216, 1344, 1472};
constexpr int kSlopes[4] = {1152, 1280, 1408, 1536};
constexpr int kMode[4] = {346, 367, 373, 379};  // then count, sync, loop start, loop end
constexpr int kLoopSlope[4] = {351, 352, 353, 354};
constexpr int kTimeSource[4] = {0, 366, 372, 378};
constexpr int kFreeRunning = 396;
constexpr float kMinTimePerPixel = 2.8011204e-5f, kMaxTimePerPixel = 3.5014005f;
constexpr float kMaxTime = 2500.0f;
// Large enough for any time a project can hold, small enough that pixel
// arithmetic on it stays finite.
constexpr float kTimeLimit = 1e9f;

constexpr uint32_t kBack = 0x281E1E, kGraphBack = 0x140E0E, kGridColour = 0x4A3C3C,
                   kLabelColour = 0x9A8C8C, kInfoColour = 0xFFF4DA, kTabColour = 0x5A4646,
                   kTabShown = 0x8C6E6E, kLoopColour = 0xFFFFFF, kSelectedColour = 0xFFC383,
                   kSegmentColour = 0xC89696, kPointColour = 0x50FFFF, kSelectedPoint = 0x0000FF,
                   kReturnColour = 0xB4B4B4;

const char* const kTabNames[5] = {"MEG 1", "MEG 2", "MEG 3", "MEG 4", "EG1-4"};
const char* const kTriggerNames[7] = {"Key trigger", "Key reset", "Key single", "LFO 1",
                                      "LFO 2",       "LFO 3",     "LFO 4"};

int IntOf(float v, int lo, int hi) { return int(partials::SafeValue(v, float(lo), float(hi))); }

void LogRefusal(const char* reason)
{
    std::fprintf(stderr, "envelope preset refused: %s\n", reason);
}

}  // namespace

CUIMEnvelope::Shared& CUIMEnvelope::State()
{
    static Shared shared;
    return shared;
}

CUIMEnvelope::CUIMEnvelope() : GUIObject("MENV") { w = kWidth, h = kHeight; }

void CUIMEnvelope::Init()
{
    GUIObject::Init();
    w = kWidth, h = kHeight;
    Shared& s = State();
    s.tab = 0;
    s.selected = -1;
    s.leftTime = 0.0f;
    s.timePerPixel = 0.005602241f;
    s.gridStep = 0.125f;
    s.clipValid = false;
    m_drag = kNone;
}

float CUIMEnvelope::Get(int id) { return float(GetValue(0, id)); }

CUIMEnvelope::View CUIMEnvelope::Read(int meg)
{
    View v;
    v.meg = std::clamp(meg, 0, 3);
    // NaN in the flag reads as synchronised, the state of a fresh sound.
    v.ownTimes = v.meg > 0 && Get(kTimeSource[v.meg]) >= 1.0f;
    const int src = v.ownTimes ? v.meg : 0;
    v.timesId = kTimes[src];
    v.modeId = kMode[src];
    v.slide = Get(v.modeId) > 0.0f;
    v.count = IntOf(Get(v.modeId + 1), 1, EnvelopeRecord::kPoints);
    v.sync = Get(v.modeId + 2) > 0.0f;
    v.loopStart = IntOf(Get(v.modeId + 3), 0, v.count - 1);
    v.loopEnd = IntOf(Get(v.modeId + 4), 0, v.count - 1);
    v.loopSlope = partials::SafeValue(Get(kLoopSlope[v.meg]), -1.0f, 1.0f);
    for (int i = 0; i < EnvelopeRecord::kPoints; ++i) {
        v.t[i] = partials::SafeValue(Get(v.timesId + i), 0.0f, kTimeLimit);
        v.l[i] = partials::SafeValue(Get(kLevels[v.meg] + i), 0.0f, 1.0f);
        v.s[i] = partials::SafeValue(Get(kSlopes[v.meg] + i), -1.0f, 1.0f);
    }
    return v;
}

// ---- Geometry ----------------------------------------------------------------

float CUIMEnvelope::XOf(const View&, float time) const
{
    const Shared& s = State();
    const float px = (time - s.leftTime) / s.timePerPixel + float(GraphLeft());
    return std::clamp(px, float(GraphLeft()), float(GraphLeft() + kGraphWidth));
}

float CUIMEnvelope::YOf(float level) const { return float(GraphTop()) + kGraphHeight * (1.0f - level); }

void CUIMEnvelope::PointXY(const View& v, int i, float& px, float& py) const
{
    px = XOf(v, v.t[i]);
    py = YOf(v.l[i]);
}

void CUIMEnvelope::KneeXY(float x0, float y0, float x1, float y1, float s, float& kx, float& ky) const
{
    kx = (x1 * (1 + s) + x0 * (1 - s)) / 2;
    ky = (y0 * (1 + s) + y1 * (1 - s)) / 2;
}

void CUIMEnvelope::ReturnXY(const View& v, const float* px, const float* py, float& rx, float& ry) const
{
    rx = std::min(px[v.loopEnd] + 24.0f, float(GraphLeft() + kGraphWidth));
    ry = py[v.loopStart];
}

float CUIMEnvelope::GridStepFor(bool sync) const
{
    if (sync) return State().gridStep;
    float m = State().timePerPixel * kGraphWidth / 10.0f;
    float step = 1.0f;
    while (m >= 10.0f) m /= 10.0f, step *= 10.0f;
    while (m < 1.0f) m *= 10.0f, step /= 10.0f;
    if (m >= 4.0f)
        step *= 5.0f;
    else if (m >= 1.5f)
        step *= 2.0f;
    return step;
}

void CUIMEnvelope::ClampSelection(int count)
{
    if (State().selected >= count) State().selected = -1;
}

// ---- Drawing -----------------------------------------------------------------

void CUIMEnvelope::Text(int dx, int dy, const char* text, uint32_t colour)
{
    surface->SetColor(colour);
    surface->DrawText(x + dx, y + dy, text, CUnifiedDC::kTextTransparent, 2, 0);
}

GuiRect CUIMEnvelope::Draw()
{
    if (!surface) return {};
    const GuiRect oldClip = surface->GetClip();
    surface->SetClip(x, y, x + w - 1, y + h - 1);
    surface->SetColor(kBack);
    surface->FillRect(x, y, x + w, y + h, 1.0f);
    Shared& s = State();
    for (int t = 0; t < 5; ++t) {
        const int tx = x + 2 + 34 * t;
        surface->SetColor(t == s.tab ? kTabShown : kTabColour);
        surface->FillRect(tx, y + 2, tx + 32, y + 15, 1.0f);
        Text(2 + 34 * t + 2, 3, kTabNames[t], t == s.tab ? 0xFFFFFF : kLabelColour);
    }
    if (s.tab == kEgTab)
        DrawEg();
    else
        DrawMeg(Read(s.tab));
    surface->SetClip(oldClip.left, oldClip.top, oldClip.right, oldClip.bottom);
    return Rect();
}

void CUIMEnvelope::DrawMeg(const View& v)
{
    Shared& s = State();
    ClampSelection(v.count);
    const int gl = GraphLeft(), gt = GraphTop(), gr = gl + kGraphWidth, gb = gt + kGraphHeight;
    surface->SetColor(kGraphBack);
    surface->FillRect(gl, gt, gr, gb + 1, 1.0f);

    // Grid: a line and a label at every multiple of the step in view.
    const float step = GridStepFor(v.sync);
    const double first = std::ceil(double(s.leftTime) / step);
    char label[64];
    int lastLabelX = -1000;
    for (int k = 0; k < 2000; ++k) {
        const double t = (first + k) * step;
        const int gx = gl + int((t - s.leftTime) / s.timePerPixel + 0.5);
        if (gx > gr) break;
        surface->SetColor(kGridColour);
        surface->FillRect(gx, gt, gx + 1, gb + 1, 1.0f);
        if (gx - lastLabelX < 44 || gx > gr - 24) continue;  // labels never overlap or leave the graph
        lastLabelX = gx;
        if (v.sync) {
            const int perBeat = std::max(1, int(1.0f / step + 0.5f));
            std::snprintf(label, sizeof label, "%d/%d", int(first + k), perBeat);
        } else {
            std::snprintf(label, sizeof label, step < 0.1f ? "%1.3f" : step < 1.0f ? "%1.1f" : "%1.0f", t);
        }
        Text(gx - x + 2, kGraphHeight + 24 + 3, label, kLabelColour);
    }

    // Curve: every segment through its knee, then the loop return, then
    // the point markers on top.
    float px[64], py[64];
    for (int i = 0; i < v.count; ++i) PointXY(v, i, px[i], py[i]);
    for (int i = 1; i < v.count; ++i) {
        if (px[i - 1] >= float(gr)) break;
        const bool inLoop = i > v.loopStart && i <= v.loopEnd && i >= 2 && i != v.count - 1;
        surface->SetColor(i == s.selected ? kSelectedColour : inLoop ? kLoopColour : kSegmentColour);
        float kx, ky;
        KneeXY(px[i - 1], py[i - 1], px[i], py[i], v.s[i], kx, ky);
        surface->MoveTo(px[i - 1], py[i - 1]);
        surface->LineToAA(kx, ky);
        surface->LineToAA(px[i], py[i]);
    }
    if (v.loopEnd - v.loopStart >= 2) {
        // The return is drawn as a short hook after the loop end, from its
        // level to the loop start's, so it never crosses the curve.
        float kx, ky, rx, ry;
        ReturnXY(v, px, py, rx, ry);
        const int a = v.loopEnd;
        KneeXY(px[a], py[a], rx, ry, v.loopSlope, kx, ky);
        surface->SetColor(kReturnColour);
        surface->MoveTo(px[a], py[a]);
        surface->LineToAA(kx, ky);
        surface->LineToAA(rx, ry);
        // A dotted line at the loop start's level leads from the hook back to
        // that point: without it the hook reads as a stray line ending in the
        // air (up to the graph's top edge for a loop from the peak).
        const int dotY = int(ry + 0.5f), from = int(px[v.loopStart]) + 4;
        for (int dx = int(rx) - 3; dx >= from; dx -= 3) surface->FillRect(dx, dotY, dx + 1, dotY + 1, 1.0f);
    }
    for (int i = 0; i < v.count; ++i) {
        surface->SetColor(i == s.selected ? kSelectedPoint : kPointColour);
        const int cx = int(px[i]), cy = int(py[i]);
        surface->FillRect(cx - 2, cy - 2, cx + 3, cy + 3, 1.0f);
    }

    // Info line; every text is formatted into a bounded buffer (a time of
    // 1e30 prints 35 characters).
    char text[64];
    const int dx = gl - x;
    Text(dx + 180, 5, v.slide ? "Mode: Slide" : "Mode: Fix", kInfoColour);
    Text(dx + 250, 5, v.sync ? "Sync: On" : "Sync: Off", kInfoColour);
    if (v.meg > 0)
        Text(dx + 300, 5, v.ownTimes ? "Sync to MEG1: Off" : "Sync to MEG1: On", kInfoColour);
    else
        Text(dx + 300, 5, Get(kFreeRunning) > 0.0f ? "Free running: On" : "Free running: Off", kInfoColour);
    const int sel = s.selected;
    if (sel >= 0)
        std::snprintf(text, sizeof text, "Segment: %d/%d", sel, v.count - 1);
    else
        std::snprintf(text, sizeof text, "Segment:   / %d", v.count);
    Text(dx + 400, 5, text, kInfoColour);
    auto field = [&](int at, const char* name, bool show, float value) {
        if (show)
            std::snprintf(text, sizeof text, "%s %5.3f", name, double(value));
        else
            std::snprintf(text, sizeof text, "%s", name);
        Text(dx + at, 5, text, kInfoColour);
    };
    field(470, "Time:", sel >= 0, sel >= 0 ? v.t[sel] : 0.0f);
    field(530, "Delta:", sel > 0, sel > 0 ? v.t[sel] - v.t[sel - 1] : 0.0f);
    field(590, "Level:", sel >= 0, sel >= 0 ? v.l[sel] : 0.0f);
    field(650, "Slope:", sel >= 0, sel >= 0 ? v.s[sel] : 0.0f);
}

void CUIMEnvelope::DrawEg()
{
    char text[64];
    for (int k = 0; k < 4; ++k) {
        const int base = 185 + 7 * k;
        const int x0 = x + 1 + 180 * k, x1 = x0 + 170, top = y + 24, bottom = y + 84;
        surface->SetColor(kGraphBack);
        surface->FillRect(x0, top, x1 + 1, bottom + 1, 1.0f);
        auto q = [&](int id) { return float(int(partials::SafeValue(Get(id), 0.0f, 1.0f) * 128.0f)) / 127.0f; };
        const float a = q(base + 1), d = q(base + 2), sus = std::min(q(base + 3), 1.0f), r = q(base + 4);
        const float wu = float(x1 - x0) / 3.1f;
        const float yS = float(top) + float(bottom - top) * (1.0f - sus);
        const float xs[6] = {float(x0), x0 + a * wu, x0 + (a + d) * wu, x0 + 2.05f * wu,
                             x0 + (r + 2.1f) * wu, float(x1)};
        const float ys[6] = {float(bottom), float(top), yS, yS, float(bottom), float(bottom)};
        surface->SetColor(kInfoColour);
        surface->MoveTo(xs[0], ys[0]);
        for (int i = 1; i < 6; ++i) surface->LineToAA(std::min(xs[i], float(x1)), ys[i]);
        surface->SetColor(0xFFFFFF);
        for (int i = 1; i < 5; ++i) {
            const int cx = int(std::min(xs[i], float(x1))), cy = int(ys[i]);
            surface->FillRect(cx - 1, cy - 1, cx + 2, cy + 2, 1.0f);
        }
        const int ox = 180 * k;
        std::snprintf(text, sizeof text, "Delay %s", GetValueText(0, base));
        Text(ox + 2, 90, text, kInfoColour);
        const int trigger = IntOf(Get(base + 6) * 128.0f + 0.5f, 0, 6);
        Text(ox + 70, 90, kTriggerNames[trigger], kInfoColour);
        Text(ox + 130, 90, Get(318 + k) > 0.0f ? "Punch On" : "Punch Off", kInfoColour);
        const char* names[4] = {"A", "D", "S", "R"};
        const int at[4] = {2, 47, 92, 130};
        for (int i = 0; i < 4; ++i) {
            std::snprintf(text, sizeof text, "%s %s", names[i], GetValueText(0, base + 1 + i));
            Text(ox + at[i], 106, text, kInfoColour);
        }
    }
}

// ---- Editing -----------------------------------------------------------------

int CUIMEnvelope::AffectedMegs(const View& v, int* out)
{
    if (v.ownTimes) {
        out[0] = v.meg;
        return 1;
    }
    int n = 0;
    out[n++] = 0;
    for (int m = 1; m < 4; ++m)
        if (!(Get(kTimeSource[m]) >= 1.0f)) out[n++] = m;
    return n;
}

void CUIMEnvelope::MovePointTime(const View& v, int i, float time)
{
    if (i <= 0) {
        Set(v.timesId, 0.0f);
        return;
    }
    time = std::max(std::isfinite(time) ? time : 0.0f, v.t[i - 1]);
    if (v.slide) {
        if (i < v.count - 1) time = std::min(time, v.t[i + 1]);
        Set(v.timesId + i, time);
        return;
    }
    const float d = time - v.t[i];
    for (int j = i; j < v.count; ++j) Set(v.timesId + j, std::min(v.t[j] + d, kTimeLimit));
}

void CUIMEnvelope::Insert(const View& v, int after, float time, float level)
{
    if (v.count >= EnvelopeRecord::kPoints || after < 0 || after > v.count - 2) return;
    // A time snapped to the grid may leave the gap it was meant for.
    time = std::clamp(time, v.t[after], v.t[after + 1]);
    int megs[4];
    const int n = AffectedMegs(v, megs);
    for (int j = v.count - 1; j > after; --j) {
        Set(v.timesId + j + 1, Get(v.timesId + j));
        for (int k = 0; k < n; ++k) {
            Set(kLevels[megs[k]] + j + 1, Get(kLevels[megs[k]] + j));
            Set(kSlopes[megs[k]] + j + 1, Get(kSlopes[megs[k]] + j));
        }
    }
    Set(v.timesId + after + 1, time);
    Set(kLevels[v.meg] + after + 1, std::clamp(level, 0.0f, 1.0f));
    Set(kSlopes[v.meg] + after + 1, 0.0f);
    int ls = v.loopStart, le = v.loopEnd;
    if (after < ls)
        ++ls, ++le;
    else if (after < le)
        ++le;
    const int count = v.count + 1;
    if (count == 4) ls = 1, le = 2;
    Set(v.modeId + 1, float(count));
    Set(v.modeId + 3, float(std::min(ls, count - 1)));
    Set(v.modeId + 4, float(std::min(le, count - 1)));
    State().selected = after + 1;
}

void CUIMEnvelope::Delete(const View& v, int i)
{
    if (v.count < 4 || i < 1 || i > v.count - 2) return;
    int megs[4];
    const int n = AffectedMegs(v, megs);
    for (int j = i; j < v.count - 1; ++j) {
        Set(v.timesId + j, Get(v.timesId + j + 1));
        for (int k = 0; k < n; ++k) {
            Set(kLevels[megs[k]] + j, Get(kLevels[megs[k]] + j + 1));
            Set(kSlopes[megs[k]] + j, Get(kSlopes[megs[k]] + j + 1));
        }
    }
    // One rule or the other: a point deleted before the loop moves the
    // whole loop down, one inside it shortens the loop by one.
    int ls = v.loopStart, le = v.loopEnd;
    if (i < ls)
        --ls, --le;
    else if (i <= le)
        --le;
    const int count = v.count - 1;
    Set(v.modeId + 1, float(count));
    Set(v.modeId + 3, float(std::clamp(ls, 0, count - 1)));
    Set(v.modeId + 4, float(std::clamp(le, 0, count - 1)));
    State().selected = -1;
}

void CUIMEnvelope::OnMouseDown(uint32_t flags, int px, int py)
{
    m_drag = kNone;
    m_pressX = m_lastX = px;
    m_pressY = m_lastY = py;
    Shared& s = State();
    if (py < GraphTop() - 4 && px <= x + 170) {
        const int tab = std::clamp((px - x - 2) / 34, 0, 4);
        if (tab != s.tab) s.selected = -1;
        s.tab = tab;
        Update();
        return;
    }
    if (s.tab == kEgTab)
        EgMouseDown(flags, px, py);
    else
        MegMouseDown(flags, px, py);
    Update();
}

void CUIMEnvelope::OnMouseDrag(uint32_t flags, int px, int py)
{
    if (m_drag == kNone) return;
    if (State().tab == kEgTab)
        EgDrag(flags, px, py);
    else
        MegDrag(flags, px, py);
    m_lastX = px;
    m_lastY = py;
    Update();
}

void CUIMEnvelope::MegMouseDown(uint32_t flags, int px, int py)
{
    Shared& s = State();
    const View v = Read(s.tab);
    ClampSelection(v.count);
    const int gl = GraphLeft(), gt = GraphTop(), gb = gt + kGraphHeight;
    const int ox = px - x;
    if (py < gt - 4) {
        if (ox > 170 && ox < 250) {
            Set(v.modeId, Get(v.modeId) > 0.0f ? 0.0f : 1.0f);
        } else if (ox > 250 && ox < 300) {
            Set(v.modeId + 2, Get(v.modeId + 2) > 0.0f ? 0.0f : 1.0f);
        } else if (ox > 300 && ox < 400) {
            const int id = v.meg > 0 ? kTimeSource[v.meg] : kFreeRunning;
            Set(id, Get(id) > 0.0f ? 0.0f : 1.0f);
        } else if (s.selected >= 0) {
            // Every info-line drag needs a selected point, the slope drag too.
            if (ox > 550 && ox < 590 && s.selected > 0) {
                m_drag = kDelta;
                m_startValue = v.t[s.selected] - v.t[s.selected - 1];
                m_span = s.selected < v.count - 1 ? v.t[s.selected + 1] - v.t[s.selected - 1] : 20.0f;
            } else if (ox > 610 && ox < 650) {
                m_drag = kLevel;
                m_startValue = v.l[s.selected];
            } else if (ox > 670 && ox < 710) {
                m_drag = kSlope;
                m_startValue = v.s[s.selected];
            }
        }
        return;
    }
    if (py >= gb + 4) {
        m_drag = kView;
        return;
    }
    s.selected = -1;
    float best = 64.0f;
    m_insertAfter = 0;
    float pxs[64], pys[64];
    for (int i = 0; i < v.count; ++i) {
        PointXY(v, i, pxs[i], pys[i]);
        if (pxs[i] < float(px)) m_insertAfter = i;
        if (v.meg == 0 && i == 0) continue;
        const float d = (pxs[i] - px) * (pxs[i] - px) + (pys[i] - py) * (pys[i] - py);
        if (d < best) best = d, s.selected = i;
    }
    const int picked = s.selected;
    if (flags & 4) {
        if (picked < 0) {
            float t = s.leftTime + float(px - gl) * s.timePerPixel;
            if (v.sync) t = s.gridStep * float(int(t / s.gridStep + 0.5f));
            const float level = std::clamp(1.0f - float(py - gt) / kGraphHeight, 0.0f, 1.0f);
            if (v.count < EnvelopeRecord::kPoints && t < v.t[v.count - 1])
                Insert(v, std::min(m_insertAfter, v.count - 2), t, level);
        } else if (picked >= 1 && picked <= v.count - 2 && v.count >= 4) {
            Delete(v, picked);
        }
        return;
    }
    if (picked < 0) {
        for (int i = 1; i < v.count; ++i) {
            float kx, ky;
            KneeXY(pxs[i - 1], pys[i - 1], pxs[i], pys[i], v.s[i], kx, ky);
            if ((kx - px) * (kx - px) + (ky - py) * (ky - py) < 64.0f) {
                m_drag = kKnee;
                m_point = i;
                return;
            }
        }
        if (v.loopEnd - v.loopStart >= 2) {
            float kx, ky, rx, ry;
            ReturnXY(v, pxs, pys, rx, ry);
            KneeXY(pxs[v.loopEnd], pys[v.loopEnd], rx, ry, v.loopSlope, kx, ky);
            if ((kx - px) * (kx - px) + (ky - py) * (ky - py) < 64.0f) {
                m_drag = kLoopKnee;
                return;
            }
        }
    }
    m_drag = kPoint;
}

void CUIMEnvelope::MegDrag(uint32_t flags, int px, int py)
{
    Shared& s = State();
    const View v = Read(s.tab);
    ClampSelection(v.count);
    const int sel = s.selected;
    const int gl = GraphLeft(), gt = GraphTop();
    const float mouseLevel = 1.0f - float(py - gt) / kGraphHeight;
    const float dy = float(m_pressY - py);
    const bool fine = (flags & 4) != 0;
    const bool pinned = v.meg == 0 && (sel == 0 || sel == v.count - 1);
    auto slopeFor = [&](float l0, float l1, float old) {
        if (l0 == l1) return old;
        return std::clamp(1.0f - 2.0f * (mouseLevel - l0) / (l1 - l0), -1.0f, 1.0f);
    };
    switch (m_drag) {
    case kPoint: {
        if (sel < 0) return;
        Set(kLevels[v.meg] + sel, pinned ? 0.0f : std::clamp(mouseLevel, 0.0f, 1.0f));
        if (flags & 8) return;  // Ctrl: the level alone
        float t = s.leftTime + float(px - gl) * s.timePerPixel;
        if (v.sync) t = s.gridStep * float(int(t / s.gridStep + 0.5f));
        MovePointTime(v, sel, std::max(t, 0.0f));
        return;
    }
    case kKnee:
        if (m_point >= 1 && m_point < v.count)
            Set(kSlopes[v.meg] + m_point, slopeFor(v.l[m_point - 1], v.l[m_point], v.s[m_point]));
        return;
    case kLoopKnee:
        Set(kLoopSlope[v.meg], slopeFor(v.l[v.loopEnd], v.l[v.loopStart], v.loopSlope));
        return;
    case kLevel:
        if (sel >= 0)
            Set(kLevels[v.meg] + sel,
                pinned ? 0.0f : std::clamp(m_startValue + dy * (fine ? 0.001f : 0.01f), 0.0f, 1.0f));
        return;
    case kSlope:
        if (sel >= 0) Set(kSlopes[v.meg] + sel, std::clamp(m_startValue + dy * (fine ? 0.001f : 0.01f), -1.0f, 1.0f));
        return;
    case kDelta:
        if (sel > 0) {
            const float delta = std::max(m_startValue + dy * (fine ? 0.0005f : 0.003f) * m_span, 0.0f);
            MovePointTime(v, sel, v.t[sel - 1] + delta);
        }
        return;
    case kView: {
        const float anchor = s.leftTime + float(m_pressX - gl) * s.timePerPixel;
        s.timePerPixel = std::clamp(s.timePerPixel * std::exp(float(py - m_lastY) / 100.0f),
                                    kMinTimePerPixel, kMaxTimePerPixel);
        float left = anchor - float(m_pressX - gl) * s.timePerPixel - float(px - m_lastX) * s.timePerPixel;
        s.leftTime = std::clamp(left, 0.0f, std::max(0.0f, kMaxTime - kGraphWidth * s.timePerPixel));
        return;
    }
    default: return;
    }
}

void CUIMEnvelope::EgMouseDown(uint32_t flags, int px, int py)
{
    (void)flags;
    const int k = std::clamp((px - x - 1) / 180, 0, 3);
    const int base = 185 + 7 * k;
    const int ox = px - x - 180 * k;
    m_eg = k;
    if (py >= y + 24 && py <= y + 84) {
        const float wu = 170.0f / 3.1f;
        const float xu = float(px - (x + 1 + 180 * k)) / wu;
        const float a = partials::SafeValue(Get(base + 1), 0.0f, 1.0f) * 128.0f / 127.0f;
        if (xu <= a + 0.05f)
            m_egHandle = 1;
        else if (xu < a + 1.0f)
            m_egHandle = 2;
        else if (xu < 2.1f)
            m_egHandle = 3;
        else if (xu <= 4.0f)
            m_egHandle = 4;
        else
            return;
        m_drag = kEgGraph;
        EgDrag(0, px, py);
        return;
    }
    if (py < y + 86) return;
    if (py < y + 104) {
        if (ox >= 130) {
            Set(318 + k, Get(318 + k) > 0.0f ? 0.0f : 1.0f);
            return;
        }
        if (ox > 68) return;  // the trigger text opens its menu instead
        m_egHandle = 0;
    } else {
        m_egHandle = ox < 46 ? 1 : ox < 91 ? 2 : ox <= 128 ? 3 : 4;
    }
    m_drag = kEgText;
    m_startValue = partials::SafeValue(Get(base + m_egHandle), 0.0f, 1.0f);
}

void CUIMEnvelope::EgDrag(uint32_t flags, int px, int py)
{
    const int base = 185 + 7 * m_eg;
    if (m_drag == kEgText) {
        const float dy = float(m_pressY - py);
        Set(base + m_egHandle, std::clamp(m_startValue + dy * ((flags & 4) ? 0.001f : 0.01f), 0.0f, 1.0f));
        return;
    }
    const float wu = 170.0f / 3.1f;
    const float xu = float(px - (x + 1 + 180 * m_eg)) / wu;
    const float a = partials::SafeValue(Get(base + 1), 0.0f, 1.0f) * 128.0f / 127.0f;
    float n = 0.0f;
    switch (m_egHandle) {
    case 1: n = xu * 127.0f; break;
    case 2: n = (xu - a) * 127.0f; break;
    case 3: n = 127.0f * (1.0f - float(py - (y + 24)) / 60.0f); break;
    case 4: n = (xu - 2.1f) * 127.0f; break;
    default: return;
    }
    Set(base + m_egHandle, std::round(std::clamp(n, 0.0f, 127.0f)) / 128.0f);
}

// ---- Menus -------------------------------------------------------------------

int CUIMEnvelope::GetLeftClickMenu(int px, int py)
{
    if (State().tab != kEgTab || py < y + 90 || py >= y + 106) return 0;
    const int k = std::clamp((px - x - 1) / 180, 0, 3);
    const int ox = px - x - 180 * k;
    if (ox < 70 || ox > 130) return 0;
    m_eg = k;
    m_menuPos = {px, py};
    return 150;
}

int CUIMEnvelope::GetContextMenu(int px, int py)
{
    if (State().tab == kEgTab) return 0;
    m_menuPos = {px, py};
    return 310;
}

bool CUIMEnvelope::OnMenu(int menuId, int value)
{
    if (menuId == 150) {
        if (value >= 0 && value <= 6) Set(191 + 7 * m_eg, float(value) / 128.0f);
        Update();
        return true;
    }
    if (menuId != 310) return false;
    if (BuiltinEnvelopeShape(value))
        LoadBuiltinShape(value);
    else if (value == 101)
        CopyToClipboard();
    else if (value == 102)
        PasteFromClipboard();
    else if (value == 110)
        LoadPresetFile();
    else if (value == 111)
        SavePresetFile();
    Update();
    return true;
}

void CUIMEnvelope::CopyToClipboard()
{
    Shared& s = State();
    if (s.tab == kEgTab) return;
    const View v = Read(s.tab);
    EnvelopeRecord& c = s.clip;
    c.mode = IntOf(Get(v.modeId), -1000000, 1000000);
    c.count = v.count;
    c.sync = IntOf(Get(v.modeId + 2), -1000000, 1000000);
    c.loopStart = v.loopStart;
    c.loopEnd = v.loopEnd;
    c.loopSlope = v.loopSlope;
    std::copy(std::begin(v.t), std::end(v.t), c.times);
    std::copy(std::begin(v.l), std::end(v.l), c.levels);
    std::copy(std::begin(v.s), std::end(v.s), c.slopes);
    s.clipValid = true;
}

void CUIMEnvelope::WriteEnvelope(int meg, const EnvelopeRecord& r)
{
    if (meg > 0) Set(kTimeSource[meg], 1.0f);
    const int m = kMode[meg];
    const int count = std::clamp(r.count, 1, EnvelopeRecord::kPoints);
    Set(m, float(r.mode));
    Set(m + 1, float(count));
    Set(m + 2, float(r.sync));
    Set(m + 3, float(std::clamp(r.loopStart, 0, count - 1)));
    Set(m + 4, float(std::clamp(r.loopEnd, 0, count - 1)));
    Set(kLoopSlope[meg], r.loopSlope);
    for (int i = 0; i < EnvelopeRecord::kPoints; ++i) {
        Set(kTimes[meg] + i, r.times[i]);
        Set(kLevels[meg] + i, r.levels[i]);
        Set(kSlopes[meg] + i, r.slopes[i]);
    }
    ClampSelection(count);
}

void CUIMEnvelope::PasteFromClipboard()
{
    Shared& s = State();
    if (s.clipValid && s.tab != kEgTab) WriteEnvelope(s.tab, s.clip);
    Update();
}

void CUIMEnvelope::LoadBuiltinShape(int n)
{
    const EnvelopeRecord* shape = BuiltinEnvelopeShape(n);
    if (!shape) return;
    State().clip = *shape;
    State().clipValid = true;
    PasteFromClipboard();
}

bool CUIMEnvelope::ReadPresetRecord(std::span<const uint8_t> bytes)
{
    char reason[96] = {};
    EnvelopeRecord r;
    if (!EnvelopeRecord::ReadPreset(bytes, r, reason, sizeof reason)) {
        LogRefusal(reason);
        return false;
    }
    State().clip = r;
    State().clipValid = true;
    return true;
}

bool CUIMEnvelope::LoadPresetFile()
{
    const char* path = nullptr;
    if (!g_DlgFile.ChooseEnvelopePresetFile(&path, false)) return false;
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            LogRefusal("cannot open the file");
            return false;
        }
        // A record is all that is read; anything after it is not ours.
        bytes.resize(EnvelopeRecord::kFileSize);
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        bytes.resize(size_t(in.gcount()));
    }
    if (!ReadPresetRecord(bytes)) return false;
    PasteFromClipboard();
    return true;
}

bool CUIMEnvelope::SavePresetFile()
{
    // The copy stays in the clipboard whatever happens to the file.
    CopyToClipboard();
    const char* path = nullptr;
    if (!State().clipValid || !g_DlgFile.ChooseEnvelopePresetFile(&path, true)) return false;
    const std::vector<uint8_t> bytes = State().clip.WritePreset();
    return os::ReplaceFileOrSay(path, bytes.data(), bytes.size());
}
