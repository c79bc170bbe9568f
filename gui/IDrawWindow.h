#pragma once
// What the drawing code needs of a window: its client size, showing a
// rectangle of a finished surface, and the mouse cursor. The window layer
// puts this on the real window; tests use a recording stand-in.
#include <cstdint>

class IDrawWindow {
public:
    virtual ~IDrawWindow() = default;
    virtual void GetClientSize(int& width, int& height) const = 0;
    virtual void SetClientSize(int width, int height) = 0;
    // Shows the rectangle (x, y, w, h), counted from the top-left, of a
    // 24-bit surface (blue, green, red; rows bottom-up, `stride` bytes
    // apart) at the same place in the client area. The rectangle lies
    // inside the surface.
    virtual void ShowRect(const uint8_t* bits, int width, int height, int stride, int x, int y,
                          int w, int h) = 0;
    // 0 hides the cursor, 1 the arrow, 2..12 the other shapes.
    virtual void SetCursorShape(int shape) = 0;
};
