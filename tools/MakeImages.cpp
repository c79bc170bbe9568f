// Draws every built-in image of the user interface and rasterises the bitmap
// font, and writes them as BMP streams into a C++ source of the GUI library.
// Runs at build time; the same inputs give the same bytes on every run.
//   zavo_make_images <out.cpp> <font.ttf>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gui/CDIBitmap.h"
#include "gui/FontMetrics.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};
Rgb Mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Hex(uint32_t rgb)
{
    return {double(rgb >> 16 & 255), double(rgb >> 8 & 255), double(rgb & 255)};
}
uint8_t Byte(double v)
{
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0l, 255l));
}

void Put(CDIBitmap& img, int x, int y, Rgb c)
{
    uint8_t* p = img.PixelAddress(x, y);
    if (!p) return;
    p[0] = Byte(c.b);
    p[1] = Byte(c.g);
    p[2] = Byte(c.r);
}
void Put8(CDIBitmap& img, int x, int y, double v)
{
    if (uint8_t* p = img.PixelAddress(x, y)) p[0] = Byte(v);
}
Rgb Get(const CDIBitmap& img, int x, int y)
{
    const uint8_t* p = img.PixelAddress(x, y);
    return {double(p[2]), double(p[1]), double(p[0])};
}

// A grey ramp, so that the masks look right in any viewer.
void GreyTable(CDIBitmap& img)
{
    RGBQuad* q = const_cast<RGBQuad*>(img.Colours());
    for (uint32_t i = 0; i < img.ColourCount(); ++i)
        q[i] = RGBQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
}

// Fraction of pixel (x, y) where `inside` holds, sampled 8 x 8.
double Area(int x, int y, const std::function<bool(double, double)>& inside)
{
    int n = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i)
            if (inside(x + (i + 0.5) / 8, y + (j + 0.5) / 8)) ++n;
    return n / 64.0;
}

// Paints a shape over the image with anti-aliased edges.
void Fill(CDIBitmap& img, Rgb c, const std::function<bool(double, double)>& inside)
{
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            const double a = Area(x, y, inside);
            if (a > 0) Put(img, x, y, Mix(Get(img, x, y), c, a));
        }
}
void FillAll(CDIBitmap& img, Rgb c)
{
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) Put(img, x, y, c);
}

auto Disc(double cx, double cy, double r)
{
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}
auto Box(double l, double t, double r, double b)
{
    return [=](double x, double y) { return x >= l && x < r && y >= t && y < b; };
}
// A rectangle with corners rounded by `rad`.
auto RoundBox(double l, double t, double r, double b, double rad)
{
    return [=](double x, double y) {
        if (x < l || x >= r || y < t || y >= b) return false;
        const double cx = std::clamp(x, l + rad, r - rad), cy = std::clamp(y, t + rad, b - rad);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad;
    };
}
// A thick segment from (x0, y0) to (x1, y1) with round ends.
auto Stroke(double x0, double y0, double x1, double y1, double width)
{
    return [=](double x, double y) {
        const double dx = x1 - x0, dy = y1 - y0;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double px = x0 + t * dx - x, py = y0 + t * dy - y;
        return px * px + py * py <= width * width / 4;
    };
}
// A triangle (any winding).
auto Triangle(double ax, double ay, double bx, double by, double cx, double cy)
{
    return [=](double x, double y) {
        const double d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by);
        const double d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy);
        const double d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay);
        const bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
        return !(neg && pos);
    };
}

// ---- Text with FreeType -------------------------------------------------

class Rasteriser {
public:
    bool Open(const char* path)
    {
        if (FT_Init_FreeType(&m_lib) || FT_New_Face(m_lib, path, 0, &m_face)) return false;
        // Sized so that capitals stand 7 pixels tall.
        SetPixelSize(9.6);
        const double capital = InkHeight('H');
        if (capital <= 0) return false;
        m_fontSize = 9.6 * 7.0 / capital;
        SetPixelSize(m_fontSize);
        return true;
    }
    ~Rasteriser()
    {
        if (m_face) FT_Done_Face(m_face);
        if (m_lib) FT_Done_FreeType(m_lib);
    }
    void SetPixelSize(double px)
    {
        FT_Set_Char_Size(m_face, 0, static_cast<FT_F26Dot6>(std::lround(px * 64)), 72, 72);
    }
    double FontSize() const { return m_fontSize; }

    // Coverage (0..1) of character c in a box `cols` x `rows`, baseline
    // `base` rows up from the bottom. The glyph's ink is centred on
    // `centre` (pixels from the left), squeezed to at most `maxInk` pixels
    // wide, and kept inside [0, cols). With fitHeight, a glyph taller than
    // the box above the baseline (a capital with an accent) is squeezed to it.
    std::vector<double> Glyph(unsigned c, int cols, int rows, int base, double centre,
                              double maxInk, bool fitHeight = false)
    {
        std::vector<double> cov(static_cast<size_t>(cols) * rows, 0.0);
        if (!Load(c)) return cov;
        FT_Outline outline;
        if (FT_Outline_New(m_lib, m_face->glyph->outline.n_points,
                           m_face->glyph->outline.n_contours, &outline))
            return cov;
        FT_Outline_Copy(&m_face->glyph->outline, &outline);
        FT_BBox box;
        FT_Outline_Get_CBox(&outline, &box);
        const double ink = (box.xMax - box.xMin) / 64.0;
        if (outline.n_points > 0 && ink > 0) {
            const double squeeze = std::min(1.0, maxInk / ink);
            const double room = (rows - base) * 64.0;
            const double squeezeY = fitHeight && box.yMax > room ? room / box.yMax : 1.0;
            FT_Matrix m = {static_cast<FT_Fixed>(std::lround(squeeze * 65536)), 0, 0,
                           static_cast<FT_Fixed>(std::lround(squeezeY * 65536))};
            FT_Outline_Translate(&outline, -box.xMin, 0);
            FT_Outline_Transform(&outline, &m);
            const double width = ink * squeeze;
            // Lift the few glyphs that reach below the box (the underscore,
            // the bar) so they keep their full stroke.
            const FT_Pos lift = std::max<FT_Pos>(0, -base * 64 - box.yMin);
            double left = std::clamp(centre - width / 2, 0.0, std::max(0.0, cols - width));
            FT_Outline_Translate(&outline, std::lround(left * 64), base * 64 + lift);
            std::vector<uint8_t> gray(static_cast<size_t>(cols) * rows, 0);
            FT_Bitmap target;
            memset(&target, 0, sizeof target);
            target.rows = static_cast<unsigned>(rows);
            target.width = static_cast<unsigned>(cols);
            target.pitch = cols;
            target.buffer = gray.data();
            target.num_grays = 256;
            target.pixel_mode = FT_PIXEL_MODE_GRAY;
            FT_Outline_Get_Bitmap(m_lib, &outline, &target);
            for (size_t i = 0; i < gray.size(); ++i) cov[i] = gray[i] / 255.0;
        }
        FT_Outline_Done(m_lib, &outline);
        return cov;
    }

    // Advance of c at the current size, pixels.
    double AdvanceOf(unsigned c)
    {
        return Load(c) ? m_face->glyph->advance.x / 64.0 : 0.0;
    }

private:
    bool Load(unsigned c)
    {
        const FT_UInt index = FT_Get_Char_Index(m_face, c);
        return FT_Load_Glyph(m_face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
               m_face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
    }
    double InkHeight(unsigned c)
    {
        if (!Load(c)) return 0;
        FT_BBox box;
        FT_Outline_Get_CBox(&m_face->glyph->outline, &box);
        return (box.yMax - box.yMin) / 64.0;
    }

    FT_Library m_lib = nullptr;
    FT_Face m_face = nullptr;
    double m_fontSize = 9.6;
};

// Small unhinted text looks pale; a gentle curve gives the strokes body
// without closing the counters.
double Ink(double coverage) { return 1.0 - std::pow(1.0 - coverage, 1.6); }

// Font 0: every character in its 10-pixel cell, in four rows of quarter-
// pixel phases. Each glyph is centred in its advance and squeezed when
// wider, so that at every phase its ink stays inside the columns the text
// drawing copies, (advance + 4) / 4 at the usual spacing of 2.
void DrawFont0Cell(Rasteriser& ft, CDIBitmap& img, int cell, unsigned code, int adv, bool fitHeight = false)
{
    using namespace fontmetrics;
    const int cols = std::min(kCellWidth, (adv + 4) / 4);
    const double advPx = adv / 4.0;
    // Room at phase 3: the glyph's right edge plus 3/4 pixel stays in cols.
    const double maxInk = std::max(1.0, std::min(advPx, 2 * (cols - 0.75 - advPx / 2)));
    for (int k = 0; k < kPhases; ++k) {
        const double centre = advPx / 2 + k / 4.0;
        const double maxInkAtPhase = std::min(maxInk, 2 * std::min(centre, cols - centre));
        const std::vector<double> cov =
            ft.Glyph(code, cols, kGlyphHeight, 2, centre, maxInkAtPhase, fitHeight);
        for (int y = 0; y < kGlyphHeight; ++y)
            for (int x = 0; x < cols; ++x) {
                const double v = 255 * (1 - Ink(cov[static_cast<size_t>(y) * cols + x]));
                Put(img, cell * kCellWidth + x, k * kGlyphHeight + y, {v, v, v});
            }
    }
}

void DrawFont0(Rasteriser& ft, CDIBitmap& img)
{
    using namespace fontmetrics;
    FillAll(img, Hex(0xFFFFFF));
    for (int c = kFirstChar; c <= kLastChar; ++c) DrawFont0Cell(ft, img, c - kFirstChar, unsigned(c), Advance(c));
}

// Font 0's second sheet: the letters past ASCII, and the mark for the
// characters it has no glyph of, an open box as tall as a capital. The box
// stands on whole pixels at every phase: moved by quarter pixels its
// one-pixel lines would blur into grey bars.
void DrawFont0Extra(Rasteriser& ft, CDIBitmap& img)
{
    using namespace fontmetrics;
    FillAll(img, Hex(0xFFFFFF));
    for (int cell = 0; cell < kEuroCell; ++cell)
        DrawFont0Cell(ft, img, cell, kFirstExtra + unsigned(cell), ExtraAdvance(cell), true);
    DrawFont0Cell(ft, img, kEuroCell, kEuro, ExtraAdvance(kEuroCell), true);
    for (int k = 0; k < kPhases; ++k) {
        const double x0 = 1.0, x1 = x0 + 4.0;
        for (int y = 0; y < kGlyphHeight; ++y)
            for (int x = 0; x < kCellWidth; ++x) {
                const double a = Area(x, y, [&](double px, double py) {
                    const bool outer = px >= x0 && px < x1 && py >= 1 && py < 8;
                    const bool inner = px >= x0 + 1 && px < x1 - 1 && py >= 2 && py < 7;
                    return outer && !inner;
                });
                const double v = 255 * (1 - a);
                Put(img, kMarkCell * kCellWidth + x, k * kGlyphHeight + y, {v, v, v});
            }
    }
}

// Font 2: font 0's sheet on its side (turned clockwise).
void DrawFont2(const CDIBitmap& font0, CDIBitmap& img)
{
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            Put(img, x, y, Get(font0, y, font0.Height() - 1 - x));
}

// The sheet of the proportional font: one row of glyphs at its x table.
void DrawFontRow(Rasteriser& ft, CDIBitmap& img)
{
    FillAll(img, Hex(0xFFFFFF));
    for (int c = 32; c < 255; ++c) {
        const int x0 = fontmetrics::Font3X(c);
        const int cols = fontmetrics::Font3X(c + 1) - x0;
        if (x0 + cols > img.Width()) break;
        const std::vector<double> cov =
            ft.Glyph(static_cast<unsigned>(c), cols, img.Height(), 3, cols / 2.0, cols);
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < cols; ++x) {
                const double v = 255 * (1 - Ink(cov[static_cast<size_t>(y) * cols + x]));
                Put(img, x0 + x, y, {v, v, v});
            }
    }
}

// A short label centred in a box, by the same rasteriser.
void Label(Rasteriser& ft, CDIBitmap& img, const char* text, double cx, double baselineY, Rgb ink)
{
    double width = 0;
    for (const char* p = text; *p; ++p) width += ft.AdvanceOf(static_cast<unsigned char>(*p));
    double x = cx - width / 2;
    for (const char* p = text; *p; ++p) {
        const unsigned c = static_cast<unsigned char>(*p);
        const double adv = ft.AdvanceOf(c);
        const int cols = static_cast<int>(std::ceil(adv)) + 2;
        const int left = static_cast<int>(std::floor(x));
        const int rows = img.Height();
        const int base = rows - static_cast<int>(baselineY);
        const std::vector<double> cov = ft.Glyph(c, cols, rows, base, x - left + adv / 2, 99);
        for (int y = 0; y < rows; ++y)
            for (int i = 0; i < cols; ++i) {
                const double a = Ink(cov[static_cast<size_t>(y) * cols + i]);
                if (a > 0 && img.PixelAddress(left + i, y))
                    Put(img, left + i, y, Mix(Get(img, left + i, y), ink, a));
            }
        x += adv;
    }
}

// ---- The pictures ---------------------------------------------------------

// Knob film strips: 128 frames of 32 x 32 side by side. The coverage strip
// holds the knob's shading (the colour it is drawn in scales with it), the
// transparency strip is 0 on the knob and 255 around it.
void DrawKnobs(CDIBitmap& coverage, CDIBitmap& transparency)
{
    constexpr double cx = 16, cy = 17, r = 11;
    for (int k = 0; k < 128; ++k) {
        const double a = kPi / 4 + 3 * kPi * k / 254;
        // Pointer direction as the drawing context measures angles: 0
        // points down, growing clockwise.
        const double ux = -std::sin(a), uy = std::cos(a);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                double shade = 0;
                int inside = 0;
                for (int j = 0; j < 8; ++j)
                    for (int i = 0; i < 8; ++i) {
                        const double px = x + (i + 0.5) / 8 - cx, py = y + (j + 0.5) / 8 - cy;
                        const double d = std::sqrt(px * px + py * py);
                        if (d > r) continue;
                        ++inside;
                        // Lit from the top left, a darker rim, and a dark
                        // pointer groove from the cap to the rim.
                        double s = 0.70 - 0.22 * (px + py) / (r * 1.4142);
                        if (d > r - 1.6) s = 0.42 - 0.12 * (px + py) / (r * 1.4142);
                        else if (d < 6.5) s = 0.80 - 0.14 * (px + py) / (6.5 * 1.4142);
                        const double along = px * ux + py * uy, across = px * uy - py * ux;
                        if (along > 2.5 && along < r - 0.8 && std::fabs(across) < 0.95) s = 0.10;
                        shade += s;
                    }
                const double area = inside / 64.0;
                Put8(coverage, 32 * k + x, y, inside ? 255 * shade / inside : 0);
                Put8(transparency, 32 * k + x, y, 255 * (1 - area));
            }
    }
}

// Point markers: a shaded dot and its transparency.
void DrawPoint(CDIBitmap& coverage, CDIBitmap& transparency, int size)
{
    const double c = size / 2.0, r = size / 2.0 - 0.3;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double area = Area(x, y, Disc(c, c, r));
            const double px = x + 0.5 - c, py = y + 0.5 - c;
            Put8(coverage, x, y, area > 0 ? 255 * (0.95 - 0.25 * (px + py) / size) : 0);
            Put8(transparency, x, y, 255 * (1 - area));
        }
}

// Keys of the keyboard: state 0 at rest, 1 played, 2 marked.
void DrawWhiteKey(CDIBitmap& img, int state)
{
    const Rgb body = state == 0 ? Hex(0xF6F6F2) : state == 1 ? Hex(0x9CC4EE) : Hex(0xF2B45C);
    for (int y = 0; y < 59; ++y)
        for (int x = 0; x < 10; ++x) Put(img, x, y, Mix(body, Hex(0xFFFFFF), 0.25 * (1 - y / 59.0)));
    for (int y = 0; y < 59; ++y) Put(img, 9, y, Hex(0x6A6A6A));
    for (int x = 0; x < 9; ++x) {
        Put(img, x, 58, Hex(0x6A6A6A));
        Put(img, x, 57, Mix(body, Hex(0x000000), 0.25));
    }
}
void DrawBlackKey(CDIBitmap& img, bool played)
{
    const Rgb body = played ? Hex(0x3A6FA8) : Hex(0x181818);
    FillAll(img, body);
    for (int y = 0; y < 33; ++y) Put(img, 1, y, Mix(body, Hex(0xFFFFFF), 0.22));
    for (int x = 0; x < 6; ++x) Put(img, x, 37, Mix(body, Hex(0xFFFFFF), 0.35));
    for (int x = 1; x < 5; ++x) Put(img, x, 36, Mix(body, Hex(0xFFFFFF), 0.18));
}

// Glyphs drawn as ink: black on white, so that blitting them as ink paints
// them in the text colour.
void DrawSubmenuArrow(CDIBitmap& img)
{
    FillAll(img, Hex(0xFFFFFF));
    Fill(img, Hex(0x000000), Triangle(3, 1.5, 8, 5, 3, 8.5));
}
void DrawCheckMark(CDIBitmap& img)
{
    FillAll(img, Hex(0xFFFFFF));
    auto a = Stroke(1.8, 5.2, 4, 7.8, 1.7), b = Stroke(4, 7.8, 8.4, 1.8, 1.7);
    Fill(img, Hex(0x000000), [=](double x, double y) { return a(x, y) || b(x, y); });
}

const Rgb kPanel = Hex(0x2E3236);

// Step indicators: a round lamp, lit in one of two colours or dark.
void DrawLed(CDIBitmap& img, Rgb lit, bool on)
{
    FillAll(img, kPanel);
    const Rgb body = on ? lit : Hex(0x4A4F55);
    Fill(img, Mix(body, Hex(0x000000), 0.5), Disc(5, 5, 4.4));
    Fill(img, body, Disc(5, 5, 3.6));
    Fill(img, Mix(body, Hex(0xFFFFFF), on ? 0.55 : 0.2), Disc(4, 4, 1.3));
}

// Loop range markers: a flag at the start, at the end, or both.
void DrawRange(CDIBitmap& img, bool start, bool end)
{
    FillAll(img, kPanel);
    const Rgb c = Hex(0xF0A030);
    if (start && end) {
        Fill(img, c, Box(1, 1, 2.6, 10));
        Fill(img, c, Box(9.4, 1, 11, 10));
        Fill(img, c, Triangle(2.6, 1.5, 6, 5.5, 2.6, 9.5));
        Fill(img, c, Triangle(9.4, 1.5, 6, 5.5, 9.4, 9.5));
    } else if (start) {
        Fill(img, c, Box(2, 1, 3.6, 10));
        Fill(img, c, Triangle(3.6, 1, 10, 5.5, 3.6, 10));
    } else {
        Fill(img, c, Box(8.4, 1, 10, 10));
        Fill(img, c, Triangle(8.4, 1, 2, 5.5, 8.4, 10));
    }
}

// A small raised button with a label; the selected one is lit.
void DrawLabelButton(Rasteriser& ft, CDIBitmap& img, const char* text, bool selected)
{
    const int w = img.Width(), h = img.Height();
    FillAll(img, kPanel);
    const Rgb face = selected ? Hex(0xF0A030) : Hex(0x5C636B);
    Fill(img, Mix(face, Hex(0x000000), 0.45), RoundBox(0, 0, w, h, 2));
    Fill(img, face, RoundBox(0.8, 0.8, w - 0.8, h - 0.8, 1.6));
    Fill(img, Mix(face, Hex(0xFFFFFF), 0.2), Box(1.5, 1, w - 1.5, 2));
    Label(ft, img, text, w / 2.0, h / 2.0 + 3.5, selected ? Hex(0x1A1A1A) : Hex(0xF0F0F0));
}

// Buttons in four colours, each dark, lit and a large one.
void DrawKeyedButton(CDIBitmap& img, int kind, int state)
{
    static const uint32_t kColours[4] = {0x5C636B, 0x3E7CB8, 0x4C9A5A, 0xB05A48};
    const int w = img.Width(), h = img.Height();
    FillAll(img, kPanel);
    Rgb face = Hex(kColours[kind]);
    if (state == 1) face = Mix(face, Hex(0xFFFFFF), 0.45);
    Fill(img, Mix(face, Hex(0x000000), 0.5), RoundBox(0, 0, w, h, 2.5));
    Fill(img, face, RoundBox(1, 1, w - 1, h - 1, 2));
    Fill(img, Mix(face, Hex(0xFFFFFF), 0.25), Box(2, 1.5, w - 2, h / 3.0));
    if (state == 1) Fill(img, Hex(0xFFF4C0), RoundBox(w / 2.0 - 4, h - 4.5, w / 2.0 + 4, h - 2.5, 1));
}

// Check box and radio button, off and on.
void DrawToggle(CDIBitmap& img, bool round, bool on)
{
    FillAll(img, kPanel);
    const Rgb edge = Hex(0x8A9199), well = Hex(0x1C1F22), mark = Hex(0xF0A030);
    if (round) {
        Fill(img, edge, Disc(6.5, 6.5, 6.2));
        Fill(img, well, Disc(6.5, 6.5, 5.1));
        if (on) Fill(img, mark, Disc(6.5, 6.5, 3.0));
    } else {
        Fill(img, edge, RoundBox(0.3, 0.3, 12.7, 12.7, 2));
        Fill(img, well, RoundBox(1.4, 1.4, 11.6, 11.6, 1.2));
        if (on) {
            auto a = Stroke(3.4, 6.8, 5.6, 9.2, 1.9), b = Stroke(5.6, 9.2, 9.8, 3.6, 1.9);
            Fill(img, mark, [=](double x, double y) { return a(x, y) || b(x, y); });
        }
    }
}
void DrawSmallToggle(CDIBitmap& img, bool on)
{
    FillAll(img, kPanel);
    Fill(img, Hex(0x8A9199), RoundBox(0.5, 0.5, 11.5, 11.5, 2));
    Fill(img, on ? Hex(0xF0A030) : Hex(0x1C1F22), RoundBox(1.6, 1.6, 10.4, 10.4, 1.3));
    if (on) Fill(img, Hex(0xFFD890), RoundBox(3, 3, 7, 5, 1));
}

// Grid icons: four shapes across, four colours down. The colour image
// holds the picture; the transparency image is 0 on the shape, 255 off it.
void DrawGridIcon(CDIBitmap& colour, CDIBitmap& transparency, int k)
{
    static const uint32_t kColours[4] = {0xE8663C, 0x5CB85C, 0x4A90D9, 0xE8C43C};
    const int shape = k & 3;
    const Rgb c = Hex(kColours[k >> 2]);
    std::function<bool(double, double)> in;
    if (shape == 0) in = Disc(8, 8, 6.5);
    else if (shape == 1) in = RoundBox(2, 2, 14, 14, 2);
    else if (shape == 2) in = Triangle(8, 1.5, 14.5, 14, 1.5, 14);
    else in = [](double x, double y) { return std::fabs(x - 8) + std::fabs(y - 8) <= 7; };
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const double a = Area(x, y, in);
            Put(colour, x, y, Mix(c, Hex(0xFFFFFF), 0.3 * (1 - (x + y) / 30.0)));
            Put(transparency, x, y, {255 * (1 - a), 255 * (1 - a), 255 * (1 - a)});
        }
}

// ---- Output -------------------------------------------------------------

struct Out {
    std::map<int, std::vector<uint8_t>> streams;
    void Add(int id, const CDIBitmap& img)
    {
        std::vector<uint8_t> bytes;
        img.SaveBMP(bytes);
        streams[id] = std::move(bytes);
    }
};

CDIBitmap Make(int w, int h, int bits)
{
    CDIBitmap img;
    img.Create(w, h, bits);
    if (bits == 8) GreyTable(img);
    return img;
}

bool WriteSource(const Out& out, const char* path)
{
    const std::string tmp = std::string(path) + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return false;
    fprintf(f, "// Generated by zavo_make_images; do not edit.\n#include \"gui/BuiltinImages.h\"\n\n"
               "namespace {\n");
    for (const auto& [id, bytes] : out.streams) {
        fprintf(f, "const uint8_t kImage%d[] = {", id);
        for (size_t i = 0; i < bytes.size(); ++i)
            fprintf(f, "%s%u,", i % 40 == 0 ? "\n" : "", bytes[i]);
        fprintf(f, "\n};\n");
    }
    fprintf(f, "const BuiltinImage kImages[] = {\n");
    for (const auto& [id, bytes] : out.streams)
        fprintf(f, "    {%d, kImage%d, %zu},\n", id, id, bytes.size());
    fprintf(f, "};\n}  // namespace\n\nstd::span<const BuiltinImage> BuiltinImages() "
               "{ return kImages; }\n");
    const bool ok = fclose(f) == 0;
    return ok && rename(tmp.c_str(), path) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s <out.cpp> <font.ttf>\n", argv[0]);
        return 2;
    }
    Rasteriser ft;
    if (!ft.Open(argv[2])) {
        fprintf(stderr, "%s: cannot read the font %s\n", argv[0], argv[2]);
        return 1;
    }
    Out out;

    CDIBitmap stripA = Make(4096, 32, 8), stripB = Make(4096, 32, 8);
    DrawKnobs(stripA, stripB);
    out.Add(1872, stripA);
    out.Add(1871, stripB);

    CDIBitmap font0 = Make(950, 40, 24), font1 = Make(590, 11, 24), font2 = Make(40, 950, 24);
    DrawFont0(ft, font0);
    DrawFontRow(ft, font1);
    DrawFont2(font0, font2);
    out.Add(672, font0);
    out.Add(669, font1);
    out.Add(1842, font2);
    CDIBitmap font0Extra = Make(fontmetrics::kExtraCells * fontmetrics::kCellWidth, 40, 24);
    DrawFont0Extra(ft, font0Extra);
    out.Add(673, font0Extra);

    // White keys C D E F G A B, each in states 0, 1, 2.
    const int whiteIds[7][3] = {{1077, 1085, 1092}, {1078, 1086, 1093}, {1079, 1087, 1094},
                                {1080, 1088, 1095}, {1081, 1089, 1096}, {1083, 1084, 1091},
                                {1082, 1090, 1097}};
    for (const auto& ids : whiteIds)
        for (int s = 0; s < 3; ++s) {
            CDIBitmap key = Make(10, 59, 24);
            DrawWhiteKey(key, s);
            out.Add(ids[s], key);
        }
    for (int played = 0; played < 2; ++played) {
        CDIBitmap key = Make(6, 38, 24);
        DrawBlackKey(key, played);
        out.Add(played ? 1098 : 1099, key);
    }

    const int pointIds[2][3] = {{6, 1868, 1869}, {8, 1870, 1867}};
    for (const auto& p : pointIds) {
        CDIBitmap cov = Make(p[0], p[0], 8), alpha = Make(p[0], p[0], 8);
        DrawPoint(cov, alpha, p[0]);
        out.Add(p[1], cov);
        out.Add(p[2], alpha);
    }

    CDIBitmap arrow = Make(10, 10, 24), check = Make(10, 10, 24);
    DrawSubmenuArrow(arrow);
    DrawCheckMark(check);
    out.Add(1907, arrow);
    out.Add(1906, check);

    const struct { int id; uint32_t colour; bool on; } leds[] = {
        {1949, 0x5CE65C, true}, {1950, 0xFF5A3C, true}, {1948, 0, false}};
    for (const auto& l : leds) {
        CDIBitmap img = Make(10, 10, 24);
        DrawLed(img, Hex(l.colour), l.on);
        out.Add(l.id, img);
    }

    const struct { int id; bool start, end; } ranges[] = {
        {1951, true, false}, {1953, false, true}, {1952, true, true}};
    for (const auto& r : ranges) {
        CDIBitmap img = Make(12, 11, 24);
        DrawRange(img, r.start, r.end);
        out.Add(r.id, img);
    }

    const int bankIds[4][2] = {{1921, 1922}, {1923, 1924}, {1925, 1926}, {1927, 1928}};
    const int letterIds[8][2] = {{1944, 1930}, {1931, 1932}, {1933, 1934}, {1935, 1936},
                                 {1937, 1938}, {1939, 1940}, {1941, 1942}, {1943, 1908}};
    for (int i = 0; i < 12; ++i) {
        const char text[2] = {static_cast<char>(i < 4 ? '1' + i : 'A' + i - 4), 0};
        const int* ids = i < 4 ? bankIds[i] : letterIds[i - 4];
        for (int sel = 0; sel < 2; ++sel) {
            CDIBitmap img = Make(14, 11, 24);
            DrawLabelButton(ft, img, text, sel);
            out.Add(ids[sel], img);
        }
    }

    for (int i = 0; i < 12; ++i) {
        const bool large = i % 3 == 2;
        CDIBitmap img = Make(large ? 37 : 30, large ? 20 : 11, 24);
        DrawKeyedButton(img, i / 3, i % 3);
        out.Add(1909 + i, img);
    }

    const int toggleIds[4] = {1955, 1956, 1957, 1947};
    for (int i = 0; i < 4; ++i) {
        CDIBitmap img = Make(13, 13, 24);
        DrawToggle(img, i >= 2, i & 1);
        out.Add(toggleIds[i], img);
    }
    for (int on = 0; on < 2; ++on) {
        CDIBitmap img = Make(12, 12, 24);
        DrawSmallToggle(img, on);
        out.Add(1107 + on, img);
    }

    for (int k = 0; k < 16; ++k) {
        CDIBitmap colour = Make(16, 16, 24), alpha = Make(16, 16, 24);
        DrawGridIcon(colour, alpha, k);
        out.Add(1875 + k, colour);
        out.Add(k < 15 ? 1891 + k : 1874, alpha);
    }

    if (!WriteSource(out, argv[1])) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
