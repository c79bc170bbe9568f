#pragma once
// The software renderer of the user interface. Every widget draws into one
// 24-bit off-screen surface (blue, green, red; rows bottom-up) with the
// operations below; only the finished rectangle is shown in the window.
//
// Colours are 0x00BBGGRR (red in the low byte). Pixel operations draw only
// inside the clip, which includes its right and bottom edge, and inside
// their target; rectangles given to fills and blits exclude their right and
// bottom edge.
#include <cstdint>
#include <memory>

#include "gui/CDIBitmap.h"
#include "gui/CGLFont.h"

class IDrawWindow;

struct GuiRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const GuiRect&) const = default;
};

// Max of the left/top edges, min of the right/bottom ones; an empty result
// is all zeros and false.
bool IntersectRects(GuiRect& out, const GuiRect& a, const GuiRect& b);
// Min of the left/top edges, max of the right/bottom ones; false when empty.
bool UnionRects(GuiRect& out, const GuiRect& a, const GuiRect& b);

class CUnifiedDC {
public:
    using Colour = uint32_t;

    enum BlitMode {
        kBlitCopy = 0,
        kBlitAnd = 1,
        kBlitOr = 2,
        kBlitXor = 3,
        kBlitInk = 10,        // black source paints colour B, white keeps the target
        kBlitTwoColour = 11,  // black paints B, white paints A
        kBlitAlpha = 20,      // constant alpha
        kBlitTint = 21,       // source as coverage of colour B
    };
    enum TextFlags {
        kTextCentre = 1,
        kTextRight = 2,
        kTextTransparent = 4,
        kTextShadowDown = 8,
        kTextShadowUp = 16,
        kTextOpaqueBox = 32,
    };
    static constexpr int kMaxTextChars = 63;

    CUnifiedDC();
    ~CUnifiedDC();
    CUnifiedDC(const CUnifiedDC&) = delete;
    CUnifiedDC& operator=(const CUnifiedDC&) = delete;

    // ---- Surfaces ----
    // Back and front surfaces of the window's client size; false when the
    // window is null, the depth is not 24 or the size is no image size.
    bool CreateForWindow(IDrawWindow* window, int bitsPerPixel = 24);
    // One memory surface (24 or 32 bits), no window.
    bool CreateMemory(int width, int height, int bitsPerPixel = 24);
    void FreeSurfaces();
    IDrawWindow* GetWindow() const { return m_window; }
    CDIBitmap* GetBackSurface() { return m_back.get(); }
    CDIBitmap* GetFrontSurface() { return m_front.get(); }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // The picture erasing copies from; with a window, the client area takes
    // its size. Not owned.
    void SetBackground(const CDIBitmap* image);
    const CDIBitmap* GetBackground() const { return m_background; }
    const CDIBitmap* GetPanel() const { return m_panel; }
    // Background of the open dialog and where its top-left lies. Not owned.
    void SetPanel(const CDIBitmap* image, int x, int y);
    int GetPanelX() const { return m_panelX; }
    int GetPanelY() const { return m_panelY; }
    CGLFont& Font() { return m_font; }

    // ---- State; each setter answers the previous value ----
    Colour SetBackColor(Colour c);    // colour A
    Colour SetColor(Colour c);        // colour B
    Colour SetShadowColor(Colour c);  // colour C
    Colour GetColor() const { return m_colourB; }
    // Also the default of every context made later.
    int SetColorEffect(int mode);
    int GetColorEffect() const { return m_effect; }
    void SetCursor(int shape);
    void MoveTo(float x, float y);
    void SetClip(int left, int top, int right, int bottom);
    GuiRect GetClip() const { return m_clip; }

    // ---- Primitives, in colour B ----
    void BlendPixel(int x, int y, float alpha);
    void DotAA(float x, float y);
    void Arc(float start, float end, float step, float cx, float cy, float r);
    void LineToAA(float x, float y);
    void FrameRect(int left, int top, int right, int bottom);
    void VLine(int x, int y, int length, bool shaded, int shadeLength);
    void FillRect(int left, int top, int right, int bottom, float alpha);
    void EraseRect(int left, int top, int right, int bottom, CDIBitmap* target = nullptr);
    void ClearRect(int left, int top, int right, int bottom, int unused = 0,
                   CDIBitmap* target = nullptr);
    void DrawPanel(int left, int top, int right, int bottom, int unused, CDIBitmap* source,
                   bool panel);
    void DrawDialogPanel(int left, int top, int right, int bottom, int unused = 0,
                         CDIBitmap* source = nullptr);
    void DrawBackground(GuiRect* out);
    void DrawVectorKnob(float start, float end, float step, float cx, float cy, float r,
                        float alpha);

    // ---- Blits ----
    void Blit(int mode, int left, int top, int right, int bottom, const CDIBitmap* source, int sx,
              int sy, float alpha = 1.0f, CDIBitmap* target = nullptr);
    void BlitRGBA(int left, int top, int right, int bottom, const CDIBitmap* source, int sx, int sy,
                  float alpha);
    void BlitMasked(int left, int top, int right, int bottom, const CDIBitmap* coverage,
                    const CDIBitmap* alpha, int sx, int sy);

    // ---- Text in the bitmap font; x in pixels, widths in quarter pixels ----
    GuiRect DrawText(int x, int y, const char* text, int flags, int spacing = 2, int maxWidth = 0);
    GuiRect DrawTextCaret(int x, int y, const char* text, int caret, int flags, int spacing = 2);

    // ---- Presentation ----
    void ApplyColorEffect(int left, int top, int right, int bottom);
    void Present(IDrawWindow* window, int left, int top, int right, int bottom);
    void PresentAll(IDrawWindow* window);

private:
    struct Span {
        int x0, y0, x1, y1;  // inclusive-exclusive, inside clip and target
    };
    CDIBitmap* TargetOf(CDIBitmap* target);
    bool ClipTo(const CDIBitmap* target, int64_t left, int64_t top, int64_t right, int64_t bottom,
                Span& out) const;
    bool ClipBlit(const CDIBitmap* target, int left, int top, int right, int bottom,
                  int sourceWidth, int sourceHeight, int sx, int sy, Span& s, int& srcX,
                  int& srcY) const;
    void Plot(CDIBitmap& target, int x, int y, float alpha);
    void FillOn(CDIBitmap* target, int left, int top, int right, int bottom, float alpha);
    GuiRect Text(int x, int y, const char* text, int caret, int flags, int spacing, int maxWidth);

    CGLFont m_font;
    IDrawWindow* m_window = nullptr;
    std::unique_ptr<CDIBitmap> m_back;
    std::unique_ptr<CDIBitmap> m_front;
    const CDIBitmap* m_background = nullptr;
    const CDIBitmap* m_panel = nullptr;
    int m_panelX = 0, m_panelY = 0;
    int m_bitsPerPixel = 0, m_width = 0, m_height = 0, m_stride = 0;
    GuiRect m_clip{0, 0, 10000, 10000};
    Colour m_colourA = 0x000000;
    Colour m_colourB = 0xFFFFFF;
    Colour m_colourC = 0x000000;
    int m_effect;
    int m_cursor = 1;
    float m_penX = 0, m_penY = 0;
};
