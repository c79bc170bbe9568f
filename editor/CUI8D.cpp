#include "editor/CUI8D.h"

#include <algorithm>
#include <cmath>

#include "editor/WidgetDraw.h"
#include "gui/CGLBitmapCache.h"
#include "gui/GUIHead.h"

namespace {
constexpr double kDiagonal = 0.707106781;
constexpr double kSpan = 2.82856;
constexpr double kRoot2 = 1.41428;
// Signs of (U, V) in quadrants 1..4.
constexpr int kSignU[5] = {0, -1, 1, 1, -1};
constexpr int kSignV[5] = {0, 1, 1, -1, -1};
constexpr int kCursorSize = 16;
}  // namespace

int CUI8D::pressedQuadrant = 0;
int CUI8D::draggedQuadrant = 0;

void CUI8D::Init()
{
    GUIObject::Init();
    cursorX4 = cursorY4 = previousX4 = previousY4 = 0;
    drawn = dragging = linked = reset = false;
    menuParameter = 0;
}

int CUI8D::Quadrant() const { return std::clamp(int(binding.index), 1, 4); }

int CUI8D::QuadrantAt(int px, int py) const
{
    const double p = kRoot2 * 2.0 * (px - (x + w / 2.0)) / std::max(w, 1);
    const double q = kRoot2 * -2.0 * (py - (y + h / 2.0)) / std::max(h, 1);
    const double a = (p + q) * kDiagonal;  // the sign of V
    const double b = (p - q) * kDiagonal;  // the sign of U
    if (b <= 0) return a > 0 ? 1 : 4;
    return a > 0 ? 2 : 3;
}

bool CUI8D::HitTest(int px, int py) { return QuadrantAt(px, py) == Quadrant(); }

void CUI8D::CursorOf(int q, double px, double py, int& cx4, int& cy4) const
{
    if (!std::isfinite(px)) px = 0.0;
    if (!std::isfinite(py)) py = 0.0;
    const double u = kSignU[q] * (kInner + std::clamp(px, 0.0, 1.0) * kTravel * kRange);
    const double v = kSignV[q] * (kInner + std::clamp(py, 0.0, 1.0) * kTravel * kRange);
    const double sx = x + w / 2.0 + (u + v) * kDiagonal * w / kSpan;
    const double sy = y + h / 2.0 - (v - u) * kDiagonal * h / kSpan;
    cx4 = int(std::lround(sx * 4.0));
    cy4 = int(std::lround(sy * 4.0));
}

GuiRect CUI8D::Draw()
{
    if (!surface) return {};
    // The four quadrants share one square and their points may overlap (all
    // four sit in the middle of a fresh sound): each quadrant draws the
    // square afresh with every point, so the picture is the same whichever
    // of them drew last and no point is cut by another's old background.
    const ClipScope clip(surface, x, y, x + w, y + h);
    // In a dialog the square is the dialog's, not the page's under it.
    if (dialogId != 0)
        surface->DrawDialogPanel(x, y, x + w, y + h);
    else
        surface->ClearRect(x, y, x + w, y + h);
    CGLBitmapCache images;
    const CDIBitmap* coverage = CGLBitmapCache::GetPointCoverage(true);
    const CDIBitmap* alpha = CGLBitmapCache::GetPointAlpha(true);
    for (int q = 1; q <= 4; ++q) {
        double px = 0.5, py = 0.5;
        if (owner) owner->Get8DPoint(q, &px, &py);
        int cx4 = 0, cy4 = 0;
        CursorOf(q, px, py, cx4, cy4);
        if (q == Quadrant()) {
            previousX4 = cursorX4;
            previousY4 = cursorY4;
            cursorX4 = cx4;
            cursorY4 = cy4;
        }
        surface->SetColor(q == draggedQuadrant ? 0x3CC8FF : 0xF0F0F0);
        if (coverage && !coverage->IsEmpty()) {
            const int cl = cx4 / 4 - coverage->Width() / 2, ct = cy4 / 4 - coverage->Height() / 2;
            surface->BlitMasked(cl, ct, cl + coverage->Width(), ct + coverage->Height(), coverage, alpha, 0, 0);
        } else {
            const int left = cx4 / 4 - kCursorSize / 2, top = cy4 / 4 - kCursorSize / 2;
            surface->FillRect(left + 5, top + 5, left + 11, top + 11, 1.0f);
        }
    }
    drawn = true;
    return Rect();
}

void CUI8D::OnIdle()
{
    double px = 0.5, py = 0.5;
    if (owner) owner->Get8DPoint(Quadrant(), &px, &py);
    int cx4 = 0, cy4 = 0;
    CursorOf(Quadrant(), px, py, cx4, cy4);
    if (!drawn || cx4 != cursorX4 || cy4 != cursorY4) Update();
}

void CUI8D::DragTo(int px, int py)
{
    const int q = pressedQuadrant >= 1 && pressedQuadrant <= 4 ? pressedQuadrant : Quadrant();
    const double p = kRoot2 * 2.0 * (px - (x + w / 2.0)) / std::max(w, 1);
    const double qq = kRoot2 * -2.0 * (py - (y + h / 2.0)) / std::max(h, 1);
    const double v = (p + qq) * kDiagonal, u = (p - qq) * kDiagonal;
    // A point on the other side of an axis counts as on the axis.
    const double du = std::max(u * kSignU[q], 0.0), dv = std::max(v * kSignV[q], 0.0);
    const double nx = std::max(du - kInner, 0.0) / kRange, ny = std::max(dv - kInner, 0.0) / kRange;
    if (nx > 1.0 || ny > 1.0) return;
    const float vx = float(std::clamp(nx, 0.0, kTravel) / kTravel);
    const float vy = float(std::clamp(ny, 0.0, kTravel) / kTravel);
    for (int point = 1; point <= 4; ++point) {
        if (!linked && point != q) continue;
        SetValue(0, kFirstParameter + 2 * (point - 1), vx);
        SetValue(0, kFirstParameter + 2 * (point - 1) + 1, vy);
    }
}

void CUI8D::OnMouseDown(uint32_t flags, int px, int py)
{
    pressedQuadrant = QuadrantAt(px, py);
    if (owner) owner->EditGesture();
    reset = (flags & 8) != 0;
    if (reset) {
        // Every quadrant's idle step sees its point move and redraws it.
        for (int i = 0; i < 8; ++i) SetValue(0, kFirstParameter + i, 0.5f);
        return;
    }
    linked = (flags & 4) != 0;
    dragging = true;
    draggedQuadrant = pressedQuadrant;
    DragTo(px, py);
}

void CUI8D::OnMouseDrag(uint32_t, int px, int py)
{
    if (dragging) DragTo(px, py);
}

void CUI8D::OnMouseUp(uint32_t, int, int)
{
    if (owner && (dragging || reset)) owner->EditGesture();
    dragging = linked = reset = false;
    draggedQuadrant = 0;
    Update();
}

int CUI8D::GetParameterMenu(CPIBase*, int px, int py)
{
    const int q = QuadrantAt(px, py);
    const int cx = x + w / 2, cy = y + h / 2;
    const int quarterW = w / 4, quarterH = h / 4;
    bool nearEdge = false, isX = false;
    switch (q) {
    case 1: nearEdge = py - y < quarterH; isX = px > cx; break;
    case 2: nearEdge = x + w - px < quarterW; isX = !(py > cy); break;
    case 3: nearEdge = y + h - py < quarterH; isX = px > cx; break;
    case 4: nearEdge = px - x < quarterW; isX = !(py > cy); break;
    default: break;
    }
    if (!nearEdge) return 0;
    menuParameter = kFirstParameter + 2 * (q - 1) + (isX ? 0 : 1);
    return GUIHead::kLearnMenu;
}
