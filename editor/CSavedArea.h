#pragma once
// The pixels of the drawing surface under an overlay (the 8D cursor, the
// about box, a dragged song cell), kept so that they can be put back when
// the overlay moves or closes. Restoring does nothing until something was
// saved, so a fresh or copied widget never paints stale pixels.
#include "gui/CDIBitmap.h"
#include "gui/CUnifiedDC.h"

class CSavedArea {
public:
    CSavedArea() = default;
    // A copy is a new, empty area: pixels belong to the widget that saved them.
    CSavedArea(const CSavedArea&) {}
    CSavedArea& operator=(const CSavedArea&)
    {
        m_saved = false;
        return *this;
    }

    // Copies the part of the rectangle that lies on the surface.
    void Save(CUnifiedDC* dc, int left, int top, int right, int bottom);
    // Writes the saved pixels back where they came from (inside the clip),
    // once; answers the rectangle restored (empty when nothing was saved).
    GuiRect Restore(CUnifiedDC* dc);
    bool IsSaved() const { return m_saved; }
    void Forget() { m_saved = false; }

private:
    CDIBitmap m_bits;
    GuiRect m_rect;
    bool m_saved = false;
};
