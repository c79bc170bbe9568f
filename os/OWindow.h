#pragma once
// The program's one window on SDL2: a fixed client area that shows a
// finished 24-bit bottom-up BGR surface, and its events turned into the
// plain calls of IWindowEvents (client pixels, mouse flags, virtual keys and
// characters). Nothing outside os/ sees an SDL type.
#include <cstdint>
#include <string>
#include <vector>

#include "gui/IDrawWindow.h"

union SDL_Event;
struct SDL_Window;
struct SDL_Cursor;

namespace os {

// Mouse flags as the widgets read them.
enum : uint32_t {
    kMouseLeft = 0x01,
    kMouseRight = 0x02,
    kMouseShift = 0x04,
    kMouseControl = 0x08,
    kMouseMiddle = 0x10,
};

// Virtual keys the widgets use.
enum : int {
    kKeyBack = 8, kKeyTab = 9, kKeyReturn = 13, kKeyShift = 16, kKeyControl = 17, kKeyAlt = 18,
    kKeyEscape = 27, kKeySpace = 32, kKeyPageUp = 33, kKeyPageDown = 34, kKeyEnd = 35,
    kKeyHome = 36, kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40, kKeyInsert = 45,
    kKeyDelete = 46, kKeyF1 = 112, kKeyF12 = 123,
};

class IWindowEvents {
public:
    virtual ~IWindowEvents() = default;
    virtual void OnMouseMove(uint32_t flags, int x, int y) = 0;
    virtual void OnMouseDown(uint32_t flags, int x, int y) = 0;
    virtual void OnMouseUp(uint32_t flags, int x, int y) = 0;
    virtual void OnDoubleClick(uint32_t flags, int x, int y) = 0;
    virtual void OnContextMenu(int x, int y) = 0;
    // A key press (repeats too); ch is the printable character the key
    // types as a code point (32..126 in ASCII, 0xA0 and up past it), else 0.
    // Answers whether it was used.
    virtual bool OnKey(int key, int ch, uint32_t keyData) = 0;
    // One wheel notch at the pointer, after the same key went to OnKey.
    virtual void OnWheel(int key, int x, int y) = 0;
    // The pointer left the window (not sent while a press holds it).
    virtual void OnMouseLeave() {}
    virtual void OnTimer(int id) = 0;
    virtual void OnPaint() = 0;
    // The user closed the window, or the process was asked to stop.
    virtual void OnClose() = 0;
};

// The SDL virtual key of a key code, 0 for keys the widgets do not use.
int VirtualKeyOf(int32_t sdlKeyCode);

// Which cursor SDL shows for shape 1..12 (an SDL_SystemCursor value).
int SystemCursorOf(int shape);

class OWindow : public IDrawWindow {
public:
    OWindow();
    ~OWindow() override;
    OWindow(const OWindow&) = delete;
    OWindow& operator=(const OWindow&) = delete;

    // Opens the window at (0, 0) with the client size and title, not
    // resizable. False with the reason in error when there is no display:
    // SDL's "dummy" and "offscreen" drivers count only when SDL_VIDEODRIVER
    // names them.
    bool Create(const char* title, int width, int height, std::string* error);
    void Destroy();
    bool IsOpen() const { return m_window != nullptr; }
    void SetHandler(IWindowEvents* handler) { m_handler = handler; }

    // ---- IDrawWindow ----
    void GetClientSize(int& width, int& height) const override;
    void SetClientSize(int width, int height) override;
    void ShowRect(const uint8_t* bits, int width, int height, int stride, int x, int y, int w,
                  int h) override;
    void SetCursorShape(int shape) override;
    int GetCursorShape() const { return m_cursorShape; }

    // Timer `id`: OnTimer every ms milliseconds from the window's loop
    // (Pump, PumpTimerAndPaint), never more than one due at a time. No
    // thread wakes for it: the loop waits for events until the next tick.
    void StartTimer(int id, int ms);
    void StopTimer();

    // Hands one SDL event to the handler as the window's calls.
    void Dispatch(const SDL_Event& event);
    // Waits up to timeoutMs for events and dispatches all that are there.
    // False once the window was closed.
    bool Pump(int timeoutMs);
    // Runs the timer and dispatches only expose events, dropping the rest:
    // the pump of a modal file chooser.
    void PumpTimerAndPaint();
    // Runs until a close request, SIGINT or SIGTERM, then calls OnClose.
    void Run();
    // Asks the loop to end as a close request would (any thread; signal safe).
    static void RequestStop();
    static void InstallStopSignals();
    // Lets go of everything SDL still holds (its desktop-bus connection
    // too); at the end of the program, after every window and device.
    static void Shutdown();

    // What the window shows now: 24-bit RGB, top row first.
    bool ReadBack(std::vector<uint8_t>& rgb, int& width, int& height);

    // What was put on the screen since the last call: pixels and rectangles
    // presented, and the smallest rectangle holding them all.
    struct Presented {
        uint64_t pixels = 0;
        uint64_t rects = 0;
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    Presented TakePresented();
    uint32_t GetWindowId() const;
    bool IsCaptured() const { return m_captured; }

private:
    uint32_t MouseFlags(uint32_t buttons) const;
    void ReleaseLostButton(uint32_t sdlButtons, int x, int y);
    void SetPressSwallowed(bool swallowed);
    void TakeSwallowedPress(const SDL_Event& event);
    void Close();

    SDL_Window* m_window = nullptr;
    SDL_Cursor* m_cursors[13] = {};
    IWindowEvents* m_handler = nullptr;
    int m_width = 0, m_height = 0;
    int m_cursorShape = 1;
    uint32_t m_buttons = 0;  // kMouseLeft/Right/Middle held
    bool m_captured = false;
    bool m_pressSwallowed = false;  // SDL counts the left button held, the display up
    uint64_t m_chooserPumps = 0;  // calls of the file chooser's pump
    bool m_closed = false;
    int m_timerId = 0;
    int m_timerMs = 0;  // 0: no timer
    uint64_t m_nextTickMs = 0;
    Presented m_presented;
    // How long the loop may wait for events before the next tick is due.
    int WaitBeforeTick(int timeoutMs) const;
    void TickIfDue();
};

} // namespace os
