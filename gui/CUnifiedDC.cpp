#include "gui/CUnifiedDC.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "common/base/Utf8.h"
#include "gui/IDrawWindow.h"

namespace {

// Every new context starts with the scheme chosen last, so pop-ups and
// widget buffers made later show it too. GUI thread only.
int g_defaultEffect = 0;

// Coordinates beyond this are off any surface; refusing them early keeps
// float-to-int conversions defined and loops short.
constexpr float kFar = 1.0e6f;
// A radius beyond this draws nothing: the vector knob's scratch square
// would be larger than any window.
constexpr float kMaxKnobRadius = 2048.0f;
// An arc of more dots than this draws nothing (a step so small that it only
// stalls the GUI).
constexpr double kMaxArcDots = 65536;

constexpr float kPi = 3.14159265358979f;

int Channel(CUnifiedDC::Colour c, int i)  // i: 0 blue, 1 green, 2 red (memory order)
{
    return static_cast<int>(c >> (16 - 8 * i) & 0xFF);
}

float LimitAlpha(float a)
{
    if (!(a > 0.0f)) return 0.0f;  // also NaN
    return a > 1.0f ? 1.0f : a;
}

int ClampInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool Near(float v) { return std::isfinite(v) && std::fabs(v) < kFar; }

bool Drawable(const CDIBitmap* img)
{
    return img && !img->IsEmpty() && (img->BitCount() == 24 || img->BitCount() == 32);
}

bool KnownEffect(int mode) { return (mode >= 0 && mode <= 9) || (mode >= 100 && mode <= 106); }

// Dots an arc from `start` to `end` places; 0 when the arc draws nothing.
double ArcDots(float start, float end, float step)
{
    if (!std::isfinite(start) || !std::isfinite(end) || !std::isfinite(step) || !(step > 0.0f))
        return 0;
    const double n = std::floor((static_cast<double>(end) - start) / step + 0.5) + 1;
    return (n < 1 || n > kMaxArcDots) ? 0 : n;
}

}  // namespace

bool IntersectRects(GuiRect& out, const GuiRect& a, const GuiRect& b)
{
    GuiRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        out = GuiRect{};
        return false;
    }
    out = r;
    return true;
}

bool UnionRects(GuiRect& out, const GuiRect& a, const GuiRect& b)
{
    out = GuiRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                  std::max(a.bottom, b.bottom)};
    return out.right > out.left && out.bottom > out.top;
}

CUnifiedDC::CUnifiedDC() : m_effect(g_defaultEffect) {}

CUnifiedDC::~CUnifiedDC() { FreeSurfaces(); }

// ---- Surfaces -------------------------------------------------------------

bool CUnifiedDC::CreateForWindow(IDrawWindow* window, int bitsPerPixel)
{
    FreeSurfaces();
    if (!window || bitsPerPixel != 24) return false;
    int w = 0, h = 0;
    window->GetClientSize(w, h);
    auto back = std::make_unique<CDIBitmap>(), front = std::make_unique<CDIBitmap>();
    if (!back->CreateHeader(w, h, 24) || !back->CreateSection() ||
        !front->CreateHeader(w, h, 24) || !front->CreateSection())
        return false;
    m_window = window;
    m_back = std::move(back);
    m_front = std::move(front);
    m_bitsPerPixel = 24;
    m_width = w;
    m_height = h;
    m_stride = static_cast<int>(m_back->Stride());
    return true;
}

bool CUnifiedDC::CreateMemory(int width, int height, int bitsPerPixel)
{
    FreeSurfaces();
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    auto back = std::make_unique<CDIBitmap>();
    if (!back->Create(width, height, bitsPerPixel)) return false;
    m_back = std::move(back);
    m_bitsPerPixel = bitsPerPixel;
    m_width = width;
    m_height = height;
    m_stride = static_cast<int>(m_back->Stride());
    return true;
}

void CUnifiedDC::FreeSurfaces()
{
    m_back.reset();
    m_front.reset();
    m_window = nullptr;
    m_bitsPerPixel = m_width = m_height = m_stride = 0;
}

void CUnifiedDC::SetBackground(const CDIBitmap* image)
{
    m_background = image;
    if (m_window && image && !image->IsEmpty())
        m_window->SetClientSize(image->Width(), image->Height());
}

void CUnifiedDC::SetPanel(const CDIBitmap* image, int x, int y)
{
    m_panel = image;
    m_panelX = x;
    m_panelY = y;
}

// ---- State ----------------------------------------------------------------

CUnifiedDC::Colour CUnifiedDC::SetBackColor(Colour c) { return std::exchange(m_colourA, c); }
CUnifiedDC::Colour CUnifiedDC::SetColor(Colour c) { return std::exchange(m_colourB, c); }
CUnifiedDC::Colour CUnifiedDC::SetShadowColor(Colour c) { return std::exchange(m_colourC, c); }

int CUnifiedDC::SetColorEffect(int mode)
{
    g_defaultEffect = mode;
    return std::exchange(m_effect, mode);
}

void CUnifiedDC::SetCursor(int shape)
{
    if (m_window && shape != m_cursor) m_window->SetCursorShape(shape);
    m_cursor = shape;
}

void CUnifiedDC::MoveTo(float x, float y)
{
    m_penX = x;
    m_penY = y;
}

void CUnifiedDC::SetClip(int left, int top, int right, int bottom)
{
    m_clip = GuiRect{left, top, right, bottom};
}

// ---- Helpers --------------------------------------------------------------

CDIBitmap* CUnifiedDC::TargetOf(CDIBitmap* target)
{
    CDIBitmap* t = target ? target : m_back.get();
    return Drawable(t) ? t : nullptr;
}

// The rectangle (right and bottom excluded) cut to the clip (edges
// included) and the target.
bool CUnifiedDC::ClipTo(const CDIBitmap* target, int64_t left, int64_t top, int64_t right,
                        int64_t bottom, Span& out) const
{
    const int64_t x0 = std::max({left, int64_t{m_clip.left}, int64_t{0}});
    const int64_t y0 = std::max({top, int64_t{m_clip.top}, int64_t{0}});
    const int64_t x1 = std::min({right, int64_t{m_clip.right} + 1, int64_t{target->Width()}});
    const int64_t y1 = std::min({bottom, int64_t{m_clip.bottom} + 1, int64_t{target->Height()}});
    if (x1 <= x0 || y1 <= y0) return false;
    out = Span{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
               static_cast<int>(y1)};
    return true;
}

// A blit's destination cut to the clip and the target, the source point
// moved along, then cut to the source's extent.
bool CUnifiedDC::ClipBlit(const CDIBitmap* target, int left, int top, int right, int bottom,
                          int sourceWidth, int sourceHeight, int sx, int sy, Span& s, int& srcX,
                          int& srcY) const
{
    if (!ClipTo(target, left, top, right, bottom, s)) return false;
    int64_t x0 = s.x0, y0 = s.y0;
    int64_t px = int64_t{sx} + (x0 - left), py = int64_t{sy} + (y0 - top);
    if (px < 0) x0 -= px, px = 0;
    if (py < 0) y0 -= py, py = 0;
    const int64_t x1 = std::min<int64_t>(s.x1, x0 + (sourceWidth - px));
    const int64_t y1 = std::min<int64_t>(s.y1, y0 + (sourceHeight - py));
    if (x1 <= x0 || y1 <= y0) return false;
    s = Span{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)};
    srcX = static_cast<int>(px);
    srcY = static_cast<int>(py);
    return true;
}

void CUnifiedDC::Plot(CDIBitmap& target, int x, int y, float alpha)
{
    if (x < m_clip.left || x > m_clip.right || y < m_clip.top || y > m_clip.bottom) return;
    uint8_t* p = target.PixelAddress(x, y);
    if (!p) return;
    alpha = LimitAlpha(alpha);
    for (int i = 0; i < 3; ++i)
        p[i] = static_cast<uint8_t>(alpha * Channel(m_colourB, i) + (1.0f - alpha) * p[i] + 0.5f);
}

// ---- Primitives -------------------------------------------------------------

void CUnifiedDC::BlendPixel(int x, int y, float alpha)
{
    if (CDIBitmap* t = TargetOf(nullptr)) Plot(*t, x, y, alpha);
}

void CUnifiedDC::DotAA(float x, float y)
{
    CDIBitmap* t = TargetOf(nullptr);
    if (!t || !Near(x) || !Near(y)) return;
    constexpr float kHalf = 0.6666f;
    const float x0 = x + 0.5f - kHalf, x1 = x + 0.5f + kHalf;
    const float y0 = y + 0.5f - kHalf, y1 = y + 0.5f + kHalf;
    for (int j = static_cast<int>(std::floor(y0)); j <= static_cast<int>(std::floor(y1)); ++j) {
        const float oy = std::min(j + 1.0f, y1) - std::max(static_cast<float>(j), y0);
        if (oy <= 0) continue;
        for (int i = static_cast<int>(std::floor(x0)); i <= static_cast<int>(std::floor(x1)); ++i) {
            const float ox = std::min(i + 1.0f, x1) - std::max(static_cast<float>(i), x0);
            if (ox > 0) Plot(*t, i, j, ox * oy);
        }
    }
}

void CUnifiedDC::Arc(float start, float end, float step, float cx, float cy, float r)
{
    const double dots = ArcDots(start, end, step);
    if (dots == 0 || !Near(cx) || !Near(cy) || !Near(r) || !TargetOf(nullptr)) return;
    float a = start;
    for (int k = 0; k < static_cast<int>(dots) && a < end + step / 2; ++k, a += step)
        DotAA(cx - r * std::sin(a), cy + r * std::cos(a));
}

// Xiaolin Wu's line: end pixels weighted by their coverage, two pixels per
// step along the major axis weighted by the distance to the true line. Only
// the part of the major axis that lies on the surface is stepped.
void CUnifiedDC::LineToAA(float x, float y)
{
    float x0 = m_penX, y0 = m_penY, x1 = x, y1 = y;
    m_penX = x;
    m_penY = y;
    CDIBitmap* t = TargetOf(nullptr);
    if (!t || !Near(x0) || !Near(y0) || !Near(x1) || !Near(y1)) return;
    const bool steep = std::fabs(y1 - y0) > std::fabs(x1 - x0);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    float dx = x1 - x0;
    const float dy = y1 - y0;
    if (dx == 0.0f) dx = 0.001f;
    const float gradient = dy / dx;
    auto plot = [&](int major, int minor, float alpha) {
        if (steep) Plot(*t, minor, major, alpha);
        else Plot(*t, major, minor, alpha);
    };
    auto fpart = [](float v) { return v - std::floor(v); };

    const float xend0 = std::round(x0);
    const float yend0 = y0 + gradient * (xend0 - x0);
    const float xgap0 = 1.0f - fpart(x0 + 0.5f);
    const int xp0 = static_cast<int>(xend0), yp0 = static_cast<int>(std::floor(yend0));
    plot(xp0, yp0, (1.0f - fpart(yend0)) * xgap0);
    plot(xp0, yp0 + 1, fpart(yend0) * xgap0);

    const float xend1 = std::round(x1);
    const float yend1 = y1 + gradient * (xend1 - x1);
    const float xgap1 = fpart(x1 + 0.5f);
    const int xp1 = static_cast<int>(xend1), yp1 = static_cast<int>(std::floor(yend1));
    plot(xp1, yp1, (1.0f - fpart(yend1)) * xgap1);
    plot(xp1, yp1 + 1, fpart(yend1) * xgap1);

    // The major axis range on the surface and in the clip.
    const int majorSize = steep ? t->Height() : t->Width();
    const int clipLo = steep ? m_clip.top : m_clip.left, clipHi = steep ? m_clip.bottom : m_clip.right;
    const int from = std::max({xp0 + 1, 0, clipLo});
    const int to = std::min({xp1 - 1, majorSize - 1, clipHi});
    for (int i = from; i <= to; ++i) {
        const float inter = yend0 + gradient * static_cast<float>(i - xp0);
        if (!Near(inter)) continue;
        const int iy = static_cast<int>(std::floor(inter));
        plot(i, iy, 1.0f - fpart(inter));
        plot(i, iy + 1, fpart(inter));
    }
}

void CUnifiedDC::FrameRect(int left, int top, int right, int bottom)
{
    CDIBitmap* t = TargetOf(nullptr);
    Span s;
    if (!t || right <= left || bottom <= top ||
        !ClipTo(t, left, top, right, bottom, s))
        return;
    auto set = [&](int x, int y) {
        uint8_t* p = t->PixelAddress(x, y);
        for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(Channel(m_colourB, i));
    };
    for (int x = s.x0; x < s.x1; ++x) {
        if (top >= s.y0) set(x, top);
        if (bottom - 1 < s.y1 && bottom - 1 != top) set(x, bottom - 1);
    }
    for (int y = s.y0; y < s.y1; ++y) {
        if (left >= s.x0) set(left, y);
        if (right - 1 < s.x1 && right - 1 != left) set(right - 1, y);
    }
}

void CUnifiedDC::VLine(int x, int y, int length, bool shaded, int shadeLength)
{
    CDIBitmap* t = TargetOf(nullptr);
    if (!t || length == 0) return;
    const int64_t n = std::llabs(static_cast<int64_t>(length));
    // Pixel i of the line (i = 0 first) and its shading factor.
    const float step = shadeLength > 0 ? 0.5f / static_cast<float>(shadeLength) : 1.0f / 180.0f;
    const bool up = length < 0;
    const int64_t firstY = up ? int64_t{y} : int64_t{y} - n;
    const float firstFactor = up ? 0.5f : static_cast<float>(n) * step + 0.35f;
    const float factorStep = up ? step : -step;
    Span s;
    if (!ClipTo(t, x, up ? firstY - n + 1 : firstY, int64_t{x} + 1, up ? firstY + 1 : firstY + n, s))
        return;
    for (int py = s.y0; py < s.y1; ++py) {
        const int64_t i = up ? firstY - py : py - firstY;
        float f = 1.0f;
        if (shaded) f = std::clamp(firstFactor + factorStep * static_cast<float>(i), 0.0f, 1.0f);
        uint8_t* p = t->PixelAddress(x, py);
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint8_t>(static_cast<float>(Channel(m_colourB, c)) * f);
    }
}

void CUnifiedDC::FillOn(CDIBitmap* target, int left, int top, int right, int bottom, float alpha)
{
    CDIBitmap* t = TargetOf(target);
    Span s;
    if (!t || !ClipTo(t, left, top, right, bottom, s)) return;
    const int a = static_cast<int>(LimitAlpha(alpha) * 255.0f) & 255;
    const int bpp = static_cast<int>(t->BytesPerPixel());
    int add[3];
    for (int c = 0; c < 3; ++c) add[c] = Channel(m_colourB, c) * a;
    for (int y = s.y0; y < s.y1; ++y) {
        uint8_t* p = t->PixelAddress(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += bpp)
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * (255 - a) + add[c]) >> 8);
    }
}

void CUnifiedDC::FillRect(int left, int top, int right, int bottom, float alpha)
{
    FillOn(nullptr, left, top, right, bottom, alpha);
}

void CUnifiedDC::EraseRect(int left, int top, int right, int bottom, CDIBitmap* target)
{
    if (m_background)
        Blit(kBlitCopy, left, top, right, bottom, m_background, left, top, 1.0f, target);
    else
        FillOn(target, left, top, right, bottom, 1.0f);
}

void CUnifiedDC::ClearRect(int left, int top, int right, int bottom, int, CDIBitmap* target)
{
    m_colourB = 0;
    EraseRect(left, top, right, bottom, target);
}

void CUnifiedDC::DrawPanel(int left, int top, int right, int bottom, int, CDIBitmap* source,
                           bool panel)
{
    if (!panel) {
        m_colourB = 0;
        EraseRect(left, top, right, bottom, source);
    } else if (m_panel) {
        Blit(kBlitCopy, left, top, right, bottom, m_panel, ClampInt(int64_t{left} - m_panelX),
             ClampInt(int64_t{top} - m_panelY));
    } else {
        m_colourB = 0xB4B4B4;
        FillRect(left, top, right, bottom, 0.6f);
    }
}

void CUnifiedDC::DrawDialogPanel(int left, int top, int right, int bottom, int unused,
                                 CDIBitmap* source)
{
    DrawPanel(left, top, right, bottom, unused, source, true);
}

void CUnifiedDC::DrawBackground(GuiRect* out)
{
    EraseRect(0, 0, m_width, m_height);
    if (out) *out = GuiRect{0, 0, m_width, m_height};
}

// A filled circular sector, rendered as coverage into a scratch square
// and laid onto the surface as tinted coverage. Angles as Arc measures them:
// 0 points down, growing clockwise.
void CUnifiedDC::DrawVectorKnob(float start, float end, float step, float cx, float cy, float r,
                                float alpha)
{
    if (!(end > start) || !(r >= 1.0f) || r > kMaxKnobRadius || !Near(cx) || !Near(cy) ||
        ArcDots(start, end, step) == 0 || !TargetOf(nullptr))
        return;
    const int R = static_cast<int>(r);
    const int size = 2 * R + 3;
    const int ox = static_cast<int>(std::floor(cx)) - R - 1;
    const int oy = static_cast<int>(std::floor(cy)) - R - 1;
    Span visible;
    if (!ClipTo(m_back.get(), ox, oy, int64_t{ox} + size, int64_t{oy} + size, visible)) return;

    CUnifiedDC scratch;
    if (!scratch.CreateMemory(size, size, 24)) return;
    scratch.SetColor(0xFFFFFF);
    const float lx = cx - static_cast<float>(ox), ly = cy - static_cast<float>(oy);
    const float sweep = end - start;
    const bool full = sweep >= 2 * kPi;
    CDIBitmap& s = *scratch.GetBackSurface();
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            const float dx = static_cast<float>(i) + 0.5f - lx, dy = static_cast<float>(j) + 0.5f - ly;
            if (dx * dx + dy * dy > (r - 0.5f) * (r - 0.5f)) continue;
            float rel = std::atan2(-dx, dy) - start;
            rel -= 2 * kPi * std::floor(rel / (2 * kPi));
            if (full || rel <= sweep) memset(s.PixelAddress(i, j), 255, 3);
        }
    // Pixel centres lie at integer coordinates for the anti-aliased lines
    // and dots.
    const float px = lx - 0.5f, py = ly - 0.5f, rr = r - 0.5f;
    if (!full)
        for (float a : {start, end}) {
            scratch.MoveTo(px, py);
            scratch.LineToAA(px - rr * std::sin(a), py + rr * std::cos(a));
        }
    scratch.Arc(start, end, step, px, py, rr);
    Blit(kBlitTint, ox, oy, ox + size, oy + size, &s, 0, 0, alpha);
}

// ---- Blits ------------------------------------------------------------------

void CUnifiedDC::Blit(int mode, int left, int top, int right, int bottom, const CDIBitmap* source,
                      int sx, int sy, float alpha, CDIBitmap* target)
{
    CDIBitmap* t = TargetOf(target);
    if (!t || !source || source->IsEmpty()) return;
    const int depth = source->BitCount();
    if (depth != 24 && !(depth == 8 && mode == kBlitCopy)) return;
    if (mode != kBlitCopy && mode != kBlitAnd && mode != kBlitOr && mode != kBlitXor &&
        mode != kBlitInk && mode != kBlitTwoColour && mode != kBlitAlpha && mode != kBlitTint)
        return;
    // Cut to the clip and the target, move the source point along, then cut
    // to the source.
    Span s;
    int srcX = 0, srcY = 0;
    if (!ClipBlit(t, left, top, right, bottom, source->Width(), source->Height(), sx, sy, s, srcX,
                  srcY))
        return;

    const int a = static_cast<int>(LimitAlpha(alpha) * 256.0f);
    const int tb = static_cast<int>(t->BytesPerPixel()), sb = static_cast<int>(source->BytesPerPixel());
    const int w = s.x1 - s.x0;
    int B[3], A[3];
    for (int c = 0; c < 3; ++c) B[c] = Channel(m_colourB, c), A[c] = Channel(m_colourA, c);
    for (int y = s.y0; y < s.y1; ++y) {
        uint8_t* d = t->PixelAddress(s.x0, y);
        const uint8_t* p = source->PixelAddress(srcX, srcY + (y - s.y0));
        if (depth == 8) {
            for (int x = 0; x < w; ++x, d += tb, ++p)
                for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(p[0] * B[c] >> 8);
            continue;
        }
        if (mode == kBlitCopy && tb == 3) {
            memmove(d, p, static_cast<size_t>(w) * 3);
            continue;
        }
        for (int x = 0; x < w; ++x, d += tb, p += sb) {
            for (int c = 0; c < 3; ++c) {
                const int sv = p[c], dv = d[c];
                int v;
                switch (mode) {
                case kBlitCopy: v = sv; break;
                case kBlitAnd: v = dv & sv; break;
                case kBlitOr: v = dv | sv; break;
                case kBlitXor: v = dv ^ sv; break;
                case kBlitInk: v = ((255 - sv) * B[c] + dv * sv) >> 8; break;
                case kBlitTwoColour: v = ((255 - sv) * B[c] + A[c] * sv) >> 8; break;
                case kBlitAlpha: v = (dv * (256 - a) + sv * a) >> 8; break;
                default: v = ((256 - (sv * a >> 8)) * dv + (B[c] * sv * a >> 8)) >> 8; break;
                }
                d[c] = static_cast<uint8_t>(v);
            }
        }
    }
}

void CUnifiedDC::BlitRGBA(int left, int top, int right, int bottom, const CDIBitmap* source,
                          int sx, int sy, float alpha)
{
    CDIBitmap* t = TargetOf(nullptr);
    if (!t || !source || source->IsEmpty() || source->BitCount() != 32) return;
    Span s;
    int srcX = 0, srcY = 0;
    if (!ClipBlit(t, left, top, right, bottom, source->Width(), source->Height(), sx, sy, s, srcX,
                  srcY))
        return;
    const int a = static_cast<int>(LimitAlpha(alpha) * 256.0f);
    const int tb = static_cast<int>(t->BytesPerPixel());
    for (int y = s.y0; y < s.y1; ++y) {
        uint8_t* d = t->PixelAddress(s.x0, y);
        const uint8_t* p = source->PixelAddress(srcX, srcY + (y - s.y0));
        for (int x = s.x0; x < s.x1; ++x, d += tb, p += 4) {
            const int w = std::max(p[3] + 1, a);
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((p[c] * (256 - w) + d[c] * w) >> 8);
        }
    }
}

void CUnifiedDC::BlitMasked(int left, int top, int right, int bottom, const CDIBitmap* coverage,
                            const CDIBitmap* alpha, int sx, int sy)
{
    CDIBitmap* t = TargetOf(nullptr);
    if (!t || !coverage || !alpha || coverage->IsEmpty() || alpha->IsEmpty() ||
        coverage->BitCount() != 8 || alpha->BitCount() != 8)
        return;
    // Both images are read, so the smaller one bounds the copy.
    const int sw = std::min(coverage->Width(), alpha->Width());
    const int sh = std::min(coverage->Height(), alpha->Height());
    Span s;
    int srcX = 0, srcY = 0;
    if (!ClipBlit(t, left, top, right, bottom, sw, sh, sx, sy, s, srcX, srcY)) return;
    const int tb = static_cast<int>(t->BytesPerPixel());
    int B1[3];
    for (int c = 0; c < 3; ++c) B1[c] = Channel(m_colourB, c) + 1;
    for (int y = s.y0; y < s.y1; ++y) {
        const int row = srcY + (y - s.y0);
        uint8_t* d = t->PixelAddress(s.x0, y);
        const uint8_t* cv = coverage->PixelAddress(srcX, row);
        const uint8_t* al = alpha->PixelAddress(srcX, row);
        for (int x = s.x0; x < s.x1; ++x, d += tb, ++cv, ++al) {
            const int tr = *al + 1;
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint8_t>((((B1[c] * *cv) >> 8) * (256 - tr) + d[c] * tr) >> 8);
        }
    }
}

// ---- Text -------------------------------------------------------------------

GuiRect CUnifiedDC::DrawText(int x, int y, const char* text, int flags, int spacing, int maxWidth)
{
    return Text(x, y, text, -1, flags, spacing, maxWidth);
}

GuiRect CUnifiedDC::DrawTextCaret(int x, int y, const char* text, int caret, int flags, int spacing)
{
    return Text(x, y, text, caret < 0 ? -1 : caret, flags, spacing, 0);
}

GuiRect CUnifiedDC::Text(int x, int y, const char* text, int caret, int flags, int spacing,
                         int maxWidth)
{
    if (!text || !*text) return GuiRect{};
    const int savedSpacing = m_font.SetSpacing(spacing);
    const Colour ink = m_colourB;

    // At most 63 bytes, shortened from the end to the width; a character
    // is kept whole or left out.
    char buffer[kMaxTextChars + 1];
    utf8::CopyCut(buffer, sizeof buffer, text);
    size_t n = strlen(buffer);
    int64_t w = m_font.GetTextWidth(buffer);
    if (maxWidth > 0)
        while (n > 0 && w > int64_t{maxWidth} * 4) {
            n = static_cast<unsigned char>(buffer[n - 1]) < 0x80 ? n - 1 : utf8::PreviousStart(buffer, n);
            buffer[n] = '\0';
            w = m_font.GetTextWidth(buffer);
        }
    const int h = m_font.GetHeight();
    int64_t x0 = x;
    if (flags & kTextCentre) x0 = x - w / 8;
    else if (flags & kTextRight) x0 = x - w / 4;
    const GuiRect box{ClampInt(x0), y, ClampInt(x0 + (w + 2) / 4 + 1), ClampInt(int64_t{y} + h + 1)};

    if (flags & kTextOpaqueBox) ClearRect(box.left, box.top, box.right, box.bottom);

    const CDIBitmap* sheet = m_font.GetBitmap();
    const int cell = m_font.GetCellWidth();
    // The glyph of the character at buffer[i] and its length in bytes; a
    // bad byte draws the mark.
    auto glyphAt = [&](size_t i, int& bytes) {
        const utf8::Decoded d = utf8::NextFast(buffer + i, buffer + n);
        bytes = d.bytes;
        if (d.code < 0x80) return CGLFont::Glyph{sheet, m_font.GlyphX(int(d.code)), m_font.GetAdvance(int(d.code))};
        return m_font.GlyphOf(d.code);
    };
    auto pass = [&](int mode, int d) {
        int64_t p = x0 * 4;
        for (size_t i = 0; i < n;) {
            int bytes = 1;
            const CGLFont::Glyph g = glyphAt(i, bytes);
            i += size_t(bytes);
            // A glyph's copy stays inside its cell.
            const int width = static_cast<int>(std::clamp<int64_t>((int64_t{g.advance} + 2) / 4, 0, cell));
            const int gx = ClampInt((p >> 2) + d), gy = ClampInt(int64_t{y} + d);
            Blit(mode, gx, gy, ClampInt(int64_t{gx} + width), ClampInt(int64_t{gy} + h), g.sheet, g.x,
                 static_cast<int>(p & 3) * h);
            p += g.advance;
        }
    };
    if (flags & (kTextShadowDown | kTextShadowUp)) {
        m_colourB = m_colourC;
        pass(kBlitInk, (flags & kTextShadowDown) ? 1 : -1);
    }
    m_colourB = ink;
    pass((flags & kTextTransparent) ? kBlitInk : kBlitTwoColour, 0);

    // The caret stands before the character at byte `caret`, or after the
    // last one.
    if (caret >= 0 && static_cast<size_t>(caret) <= n) {
        int64_t p = x0 * 4;
        for (size_t i = 0; i < size_t(caret);) {
            int bytes = 1;
            p += glyphAt(i, bytes).advance;
            i += size_t(bytes);
        }
        const float cx = static_cast<float>(p) / 4.0f;
        MoveTo(cx, static_cast<float>(y));
        LineToAA(cx, static_cast<float>(y) + static_cast<float>(h));
    }
    m_font.SetSpacing(savedSpacing);
    return box;
}

// ---- Presentation -------------------------------------------------------------

void CUnifiedDC::ApplyColorEffect(int left, int top, int right, int bottom)
{
    if (!m_back || !m_front || m_back->IsEmpty() || m_front->IsEmpty() || !KnownEffect(m_effect))
        return;
    Span s;
    if (!ClipTo(m_back.get(), left, top, right, bottom, s)) return;
    const bool invert = m_effect >= 100;
    const int mode = m_effect % 100;
    for (int y = s.y0; y < s.y1; ++y) {
        const uint8_t* p = m_back->PixelAddress(s.x0, y);
        uint8_t* d = m_front->PixelAddress(s.x0, y);
        for (int x = s.x0; x < s.x1; ++x, p += 3, d += 3) {
            const uint8_t b = p[0], g = p[1], r = p[2], m = std::max({b, g, r});
            uint8_t o[3];
            switch (mode) {
            case 0: o[0] = b, o[1] = g, o[2] = r; break;
            case 1: o[0] = b, o[1] = r, o[2] = g; break;
            case 2: o[0] = g, o[1] = b, o[2] = r; break;
            case 3: o[0] = g, o[1] = r, o[2] = b; break;
            case 4: o[0] = r, o[1] = g, o[2] = b; break;
            case 5: o[0] = r, o[1] = b, o[2] = g; break;
            case 6: o[0] = o[1] = o[2] = m; break;
            case 7: o[0] = m, o[1] = m, o[2] = r; break;
            case 8: o[0] = m, o[1] = g, o[2] = m; break;
            default: o[0] = b, o[1] = m, o[2] = m; break;
            }
            for (int c = 0; c < 3; ++c) d[c] = invert ? static_cast<uint8_t>(255 - o[c]) : o[c];
        }
    }
}

void CUnifiedDC::Present(IDrawWindow* window, int left, int top, int right, int bottom)
{
    if (!window || !m_back) return;
    const int64_t x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int64_t x1 = std::min(right, m_width), y1 = std::min(bottom, m_height);
    if (x1 <= x0 || y1 <= y0) return;
    const int x = static_cast<int>(x0), y = static_cast<int>(y0);
    const int w = static_cast<int>(x1 - x0), h = static_cast<int>(y1 - y0);
    // A mode outside the table shows the picture as it is, rather than a
    // front surface that would never change again.
    if (m_effect != 0 && KnownEffect(m_effect) && m_front) {
        ApplyColorEffect(x, y, x + w, y + h);
        m_front->BlitToWindow(window, x, y, w, h);
    } else {
        m_back->BlitToWindow(window, x, y, w, h);
    }
}

void CUnifiedDC::PresentAll(IDrawWindow* window)
{
    if (!window) return;
    int w = 0, h = 0;
    window->GetClientSize(w, h);
    Present(window, 0, 0, w, h);
}
