#include "engine/CTLBase.h"

// Slopes are worked out in extended precision from the float points and
// only rounded when stored, so that a table of thousands of segments keeps
// the accuracy of its points. x advances by float addition, as the readers'
// own scaled inputs do.

void CTLBase::BuildTable(Curve curve, Segment* dest, int n, float x0, float dx)
{
    if (n < 1)
        return;
    long double yPrev = curve(x0, 0);
    float x = x0;
    for (int i = 0; i < n; ++i, x += dx) {
        long double yNext = curve(x + dx, i + 1);
        if (i == 0) {
            dest[i] = {0.0f, static_cast<float>(yPrev)};
        } else if (i == n - 1) {
            dest[i] = {0.0f, static_cast<float>(yNext)};
        } else {
            float slope = static_cast<float>((yNext - yPrev) / dx);
            dest[i] = {slope, static_cast<float>(yPrev - static_cast<long double>(slope) * x)};
        }
        yPrev = yNext;
    }
}

void CTLBase::BuildTableLimited(Curve curve, Segment* dest, int n, float x0, float dx,
                                bool smooth)
{
    if (n < 1)
        return;
    long double yPrev = curve(x0, 0);
    float x = x0;
    for (int i = 0; i < n; ++i, x += dx) {
        long double yNext = curve(x + dx, i + 1);
        if (!smooth && yNext - yPrev >= 0.1L) {
            dest[i] = {0.0f, static_cast<float>(yPrev)};
        } else {
            float slope = static_cast<float>((yNext - yPrev) / dx);
            dest[i] = {slope, static_cast<float>(yPrev - static_cast<long double>(slope) * x)};
        }
        yPrev = yNext;
    }
}
