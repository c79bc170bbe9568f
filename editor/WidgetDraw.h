#pragma once
// Small drawing aids the synth editor's widgets share: a clip that keeps a
// widget inside its own rectangle for the length of a scope, and the
// integer a value read from the editor stands for.
#include <algorithm>
#include <cmath>

#include "gui/CUnifiedDC.h"

// Narrows the surface's clip to the rectangle (right and bottom excluded)
// and puts the previous clip back when the scope ends.
class ClipScope {
public:
    ClipScope(CUnifiedDC* dc, int left, int top, int right, int bottom) : m_dc(dc)
    {
        if (!m_dc) return;
        m_saved = m_dc->GetClip();
        m_dc->SetClip(std::max(left, m_saved.left), std::max(top, m_saved.top),
                      std::min(right - 1, m_saved.right), std::min(bottom - 1, m_saved.bottom));
    }
    ~ClipScope()
    {
        if (m_dc) m_dc->SetClip(m_saved.left, m_saved.top, m_saved.right, m_saved.bottom);
    }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    CUnifiedDC* m_dc;
    GuiRect m_saved;
};

// value*128 rounded, as the editor's n/128 values come back; NaN reads 0
// and anything far outside the integers saturates.
inline int ValueToN(double value)
{
    if (std::isnan(value)) return 0;
    return int(std::lround(std::clamp(value * 128.0, -1.0e6, 1.0e6)));
}

// A widget's working state (a held key, a drag, what was last drawn): a
// copied widget takes its settings but starts from the initial state.
template <typename T, T Initial = T{}>
class Fresh {
public:
    Fresh() = default;
    Fresh(const Fresh&) {}
    Fresh& operator=(const Fresh&)
    {
        m_value = Initial;
        return *this;
    }
    Fresh& operator=(T value)
    {
        m_value = value;
        return *this;
    }
    operator T() const { return m_value; }

private:
    T m_value = Initial;
};

// A raw integer the editor returns (pattern numbers, steps, positions).
inline int ValueToInt(double value)
{
    if (std::isnan(value)) return 0;
    return int(std::lround(std::clamp(value, -1.0e6, 1.0e6)));
}

// Floor division, so that points left of or above an area give negative
// cells instead of cell 0.
inline int FloorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
