#include "editor/CSavedArea.h"

#include <algorithm>
#include <cstring>

void CSavedArea::Save(CUnifiedDC* dc, int left, int top, int right, int bottom)
{
    m_saved = false;
    CDIBitmap* back = dc ? dc->GetBackSurface() : nullptr;
    if (!back || back->IsEmpty()) return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, back->Width());
    bottom = std::min(bottom, back->Height());
    if (right <= left || bottom <= top) return;
    if (m_bits.Width() != right - left || m_bits.Height() != bottom - top ||
        m_bits.BitCount() != back->BitCount()) {
        if (!m_bits.Create(right - left, bottom - top, back->BitCount())) return;
    }
    const size_t rowBytes = size_t(right - left) * back->BytesPerPixel();
    for (int y = top; y < bottom; ++y)
        memcpy(m_bits.PixelAddress(0, y - top), back->PixelAddress(left, y), rowBytes);
    m_rect = {left, top, right, bottom};
    m_saved = true;
}

GuiRect CSavedArea::Restore(CUnifiedDC* dc)
{
    if (!m_saved || !dc) return {};
    m_saved = false;
    CDIBitmap* back = dc->GetBackSurface();
    if (!back || back->BitCount() != m_bits.BitCount()) return {};
    const GuiRect clip = dc->GetClip();
    const int left = std::max({m_rect.left, clip.left, 0});
    const int right = std::min({m_rect.right, clip.right + 1, back->Width()});
    const int top = std::max({m_rect.top, clip.top, 0});
    const int bottom = std::min({m_rect.bottom, clip.bottom + 1, back->Height()});
    if (right <= left || bottom <= top) return {};
    const size_t rowBytes = size_t(right - left) * back->BytesPerPixel();
    for (int y = top; y < bottom; ++y)
        memcpy(back->PixelAddress(left, y), m_bits.PixelAddress(left - m_rect.left, y - m_rect.top), rowBytes);
    return m_rect;
}
