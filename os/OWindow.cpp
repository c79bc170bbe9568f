#include "os/OWindow.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>

#include "common/base/Utf8.h"
#include "os/OFileChooser.h"
#include "os/OMessageBox.h"
#include "os/OStop.h"

// Last: with X11 it brings the X headers, whose macros (None, Bool,
// Status) would clash with names in the headers above.
#include <SDL_syswm.h>

namespace os {

namespace {

void OnStopSignal(int)
{
    PostStop();
}

// The dummy and offscreen drivers draw nowhere. SDL falls back to them when
// no display answers, which would leave a program running that nobody can
// see or close; they are taken only when asked for by name.
bool IsInvisibleDriver(const char* driver)
{
    return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

bool DriverAskedFor(const char* driver)
{
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    return wanted && driver && SDL_strcasecmp(wanted, driver) == 0;
}

// Longest run of wheel notches one event turns into; a runaway value from a
// device must not stall the loop.
constexpr int kMaxNotches = 16;

// The processes this one started and that still run (read from /proc: their
// parent is this process).
std::set<pid_t> OwnChildren()
{
    std::set<pid_t> children;
    DIR* dir = opendir("/proc");
    if (!dir) return children;
    const pid_t self = getpid();
    while (dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        FILE* f = std::fopen(path, "r");
        if (!f) continue;
        char line[512];
        const size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        line[n] = '\0';
        // "pid (name) state ppid ...": the name may hold anything but ends at
        // the last parenthesis.
        const char* close = std::strrchr(line, ')');
        char state = 0;
        long parent = 0;
        if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 && parent == self && state != 'Z')
            children.insert(static_cast<pid_t>(pid));
    }
    closedir(dir);
    return children;
}

// SDL shows a message box from a process of its own and waits for it, past
// any signal. A stop asked for while the box is up ends that process, so
// the wait returns and the program closes as it would without the box.
//
// The watching thread is started with the window, long before any box: a
// thread that is busy (allocating) while SDL forks the box's process could
// leave that process stuck on a lock copied in its held state.
struct BoxWatch {
    std::mutex lock;
    bool open = false;
    bool stopped = false;
    std::set<pid_t> before;  // children that are no box's
};

BoxWatch& Watch()
{
    // Never destroyed: the watching thread runs to the end of the process.
    static BoxWatch* watch = new BoxWatch;
    return *watch;
}

void StartBoxWatcher()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::thread([] {
            for (;;) {
                if (!StopRequested()) {
                    // Until a stop comes; a signal that interrupts the
                    // wait only sends it round to look again.
                    WaitForStopPost();
                    continue;
                }
                // From the stop on, a box that opens late goes too.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                BoxWatch& w = Watch();
                std::lock_guard<std::mutex> hold(w.lock);
                if (!w.open) continue;
                w.stopped = true;
                for (pid_t child : OwnChildren())
                    if (!w.before.count(child)) kill(child, SIGKILL);
            }
        }).detach();
    });
}

// Answers false when the box was taken down by a stop (or never shown).
bool ShowBoxUntilStop(uint32_t kind, const char* caption, const char* text, SDL_Window* window)
{
    if (StopRequested()) return false;
    BoxWatch& w = Watch();
    {
        std::lock_guard<std::mutex> hold(w.lock);
        w.before = OwnChildren();
        w.open = true;
        w.stopped = false;
    }
    const bool shown = SDL_ShowSimpleMessageBox(kind, caption, text, window) == 0;
    std::lock_guard<std::mutex> hold(w.lock);
    w.open = false;
    return shown && !w.stopped;
}

#if defined(SDL_VIDEO_DRIVER_X11)
// A window destroyed by another client (xdotool windowclose, a task
// manager's kill) is gone before SDL hears of it: the next request on it
// fails, and Xlib's own handler ends the process there with status 1,
// before the settings are written. An error about the window ends the
// program as a close does; any other error goes where it went before.
std::atomic<unsigned long> g_xWindow{0};
std::atomic<bool> g_xWindowGone{false};
XErrorHandler g_xEarlierHandler = nullptr;

int OnXError(Display* display, XErrorEvent* error)
{
    const unsigned long window = g_xWindow.load(std::memory_order_relaxed);
    if (window != 0 && error->resourceid == window) {
        g_xWindowGone.store(true);
        PostStop();  // signal safe: no request to the display from here
        return 0;
    }
    return g_xEarlierHandler ? g_xEarlierHandler(display, error) : 0;
}

// Set before SDL opens the display: SDL puts back the handler it found
// when it closes the display, and the errors of a window that is gone
// surface only then on its second connection (the wake-up messages sent to
// the window).
void HandleXErrors()
{
    static std::once_flag once;
    std::call_once(once, [] { g_xEarlierHandler = XSetErrorHandler(&OnXError); });
}

void WatchXWindow(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    g_xWindow.store(info.info.x11.window);
    g_xWindowGone.store(false);
    // SDL makes no event of the window's destruction; the display's own
    // events say it (and give the press SDL swallows, TakeSwallowedPress).
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool IsWindowDestroyed(const SDL_Event& e)
{
    if (e.type != SDL_SYSWMEVENT || !e.syswm.msg || e.syswm.msg->subsystem != SDL_SYSWM_X11) return false;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (x.type != DestroyNotify || x.xdestroywindow.window != g_xWindow.load(std::memory_order_relaxed)) return false;
    g_xWindowGone.store(true);
    return true;
}

// A window of ours that is there is destroyed as ever (an error about it
// then is no one else's doing). Of one that is gone, SDL waits for the
// display to say that it is unmapped, which it never does: that word is
// put in the display's queue for it. The errors of destroying it are
// waited for while they still come here (SDL puts Xlib's own handler back
// before it closes the display).
void DestroySDLWindow(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!g_xWindowGone.load() || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        g_xWindow.store(0);
        SDL_DestroyWindow(window);
        return;
    }
    Display* display = info.info.x11.display;
    XEvent unmapped{};
    unmapped.xunmap.type = UnmapNotify;
    unmapped.xunmap.display = display;
    unmapped.xunmap.event = unmapped.xunmap.window = info.info.x11.window;
    XPutBackEvent(display, &unmapped);
    SDL_DestroyWindow(window);
    XSync(display, False);
}

// After the display is closed: the id may name another client's window.
void ForgetXWindow() { g_xWindow.store(0); }
#else
void HandleXErrors() {}
void WatchXWindow(SDL_Window*) {}
bool IsWindowDestroyed(const SDL_Event&) { return false; }
void DestroySDLWindow(SDL_Window* window) { SDL_DestroyWindow(window); }
void ForgetXWindow() {}
#endif

} // namespace

int VirtualKeyOf(int32_t key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return kKeyF1 + (key - SDLK_F1);
    switch (key) {
    case SDLK_BACKSPACE: return kKeyBack;
    case SDLK_TAB: return kKeyTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kKeyReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kKeyShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kKeyControl;
    case SDLK_LALT:
    case SDLK_RALT: return kKeyAlt;
    case SDLK_ESCAPE: return kKeyEscape;
    case SDLK_SPACE: return kKeySpace;
    case SDLK_PAGEUP: return kKeyPageUp;
    case SDLK_PAGEDOWN: return kKeyPageDown;
    case SDLK_END: return kKeyEnd;
    case SDLK_HOME: return kKeyHome;
    case SDLK_LEFT: return kKeyLeft;
    case SDLK_UP: return kKeyUp;
    case SDLK_RIGHT: return kKeyRight;
    case SDLK_DOWN: return kKeyDown;
    case SDLK_INSERT: return kKeyInsert;
    case SDLK_DELETE: return kKeyDelete;
    default: return 0;
    }
}

int SystemCursorOf(int shape)
{
    switch (shape) {
    case 2: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 3: return SDL_SYSTEM_CURSOR_HAND;
    case 5: return SDL_SYSTEM_CURSOR_IBEAM;
    case 6: return SDL_SYSTEM_CURSOR_NO;
    case 7: return SDL_SYSTEM_CURSOR_SIZEALL;
    case 8: return SDL_SYSTEM_CURSOR_SIZENESW;
    case 9: return SDL_SYSTEM_CURSOR_SIZENS;
    case 10: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case 11: return SDL_SYSTEM_CURSOR_SIZEWE;
    case 12: return SDL_SYSTEM_CURSOR_WAIT;
    default: return SDL_SYSTEM_CURSOR_ARROW;  // 1, 4 ("help": SDL has none) and the rest
    }
}

OWindow::OWindow() = default;

OWindow::~OWindow()
{
    Destroy();
}

bool OWindow::Create(const char* title, int width, int height, std::string* error)
{
    Destroy();
    m_closed = false;
    // Stop signals are the program's own (InstallStopSignals).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // SDL drops a press that it reads within 10 ms of the window getting the
    // focus. It goes by when it reads them, not when they happened: a loop
    // that was busy (starting, loading a bank) finds the focus and the
    // user's click in one batch, and the click was lost. A click that brings
    // the window to the front acts as well.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // The window takes the pointer itself for a left drag. SDL's own taking
    // follows the buttons it counts held, and it counts one held for good
    // when the release went to another window (a file chooser's): it would
    // take the pointer whenever the window regains the focus, and the
    // pointer's moves back into the window would go unseen.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    HandleXErrors();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (IsInvisibleDriver(driver) && !DriverAskedFor(driver)) {
        if (error) *error = "no display found";
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS);
        return false;
    }
    // The window shows a surface of its own that SDL puts on the screen a
    // rectangle at a time (shared memory on X11). A GPU renderer would
    // present the whole window for every changed rectangle, and with no GPU
    // its software rasteriser keeps a pool of threads busy doing so.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    m_window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_SHOWN);
    if (!m_window) {
        if (error) *error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS);
        return false;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface || surface->w < width || surface->h < height) {
        if (error) *error = surface ? "the window's surface is smaller than the window" : SDL_GetError();
        Destroy();
        return false;
    }
    m_width = width;
    m_height = height;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_UpdateWindowSurface(m_window);
    SDL_StartTextInput();
    SetCursorShape(1);
    WatchXWindow(m_window);

    SDL_Window* window = m_window;
    StartBoxWatcher();
    SetMessageBoxHook([window](const char* text, const char* caption) {
        const uint32_t kind = std::strcmp(caption, "Error") == 0 ? SDL_MESSAGEBOX_ERROR
                                                                 : SDL_MESSAGEBOX_INFORMATION;
        if (!ShowBoxUntilStop(kind, caption, WrapLines(text).c_str(), window))
            std::fprintf(stderr, "%s: %s\n", caption, text);
    });
    DesktopFileChooser().SetPump([this] { PumpTimerAndPaint(); });
    return true;
}

void OWindow::Destroy()
{
    if (!m_window) return;
    StopTimer();
    DesktopFileChooser().SetPump({});
    SetMessageBoxHook({});
    if (m_captured) SDL_CaptureMouse(SDL_FALSE);
    m_captured = false;
    SetPressSwallowed(false);
    SDL_StopTextInput();
    for (SDL_Cursor*& c : m_cursors) {
        if (c) SDL_FreeCursor(c);
        c = nullptr;
    }
    DestroySDLWindow(m_window);
    m_window = nullptr;
    m_buttons = 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS);
    ForgetXWindow();
}

void OWindow::GetClientSize(int& width, int& height) const
{
    width = m_width;
    height = m_height;
}

// The window keeps its size: the surfaces were made for it, and a bigger
// window would show what was never drawn.
void OWindow::SetClientSize(int, int) {}

void OWindow::ShowRect(const uint8_t* bits, int width, int height, int stride, int x, int y, int w,
                       int h)
{
    if (!m_window || !bits) return;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min({x + w, width, m_width}), y1 = std::min({y + h, height, m_height});
    if (x1 <= x0 || y1 <= y0) return;
    // Asked for again each time: SDL makes a new one should the old go.
    // Where the window manager made the window smaller than asked for, the
    // surface is smaller too: the part that fits is shown, or nothing past
    // the first change reaching over its edge would ever be drawn.
    SDL_Surface* surface = SDL_GetWindowSurface(m_window);
    if (!surface) return;
    x1 = std::min(x1, surface->w);
    y1 = std::min(y1, surface->h);
    if (x1 <= x0 || y1 <= y0) return;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    const uint32_t format = surface->format->format;
    const bool packed = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
    for (int row = y0; row < y1; ++row) {
        // The surface stores its bottom row first.
        const uint8_t* from = bits + static_cast<size_t>(height - 1 - row) * stride + x0 * 3;
        uint8_t* to = static_cast<uint8_t*>(surface->pixels) + static_cast<size_t>(row) * surface->pitch;
        if (packed) {
            // Blue, green, red bytes into 0xAARRGGBB words: the X server's
            // usual format, done here without a call per row.
            uint32_t* out = reinterpret_cast<uint32_t*>(to) + x0;
            for (int col = 0; col < x1 - x0; ++col, from += 3)
                out[col] = 0xFF000000u | uint32_t(from[2]) << 16 | uint32_t(from[1]) << 8 | from[0];
        } else {
            SDL_ConvertPixels(x1 - x0, 1, SDL_PIXELFORMAT_BGR24, from, (x1 - x0) * 3, format,
                              to + x0 * surface->format->BytesPerPixel, surface->pitch);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    const SDL_Rect area{x0, y0, x1 - x0, y1 - y0};
    SDL_UpdateWindowSurfaceRects(m_window, &area, 1);
    m_presented.pixels += static_cast<uint64_t>(area.w) * static_cast<uint64_t>(area.h);
    ++m_presented.rects;
    if (m_presented.rects == 1) {
        m_presented.left = x0, m_presented.top = y0, m_presented.right = x1, m_presented.bottom = y1;
    } else {
        m_presented.left = std::min(m_presented.left, x0), m_presented.top = std::min(m_presented.top, y0);
        m_presented.right = std::max(m_presented.right, x1);
        m_presented.bottom = std::max(m_presented.bottom, y1);
    }
}

void OWindow::SetCursorShape(int shape)
{
    m_cursorShape = shape;
    if (!m_window) return;
    if (shape == 0) {
        SDL_ShowCursor(SDL_DISABLE);
        return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    const int slot = (shape >= 1 && shape <= 12) ? shape : 1;
    if (!m_cursors[slot])
        m_cursors[slot] = SDL_CreateSystemCursor(static_cast<SDL_SystemCursor>(SystemCursorOf(slot)));
    if (m_cursors[slot]) SDL_SetCursor(m_cursors[slot]);
}

void OWindow::StartTimer(int id, int ms)
{
    m_timerId = id;
    m_timerMs = ms > 0 ? ms : 1;
    m_nextTickMs = SDL_GetTicks64() + static_cast<uint64_t>(m_timerMs);
}

void OWindow::StopTimer()
{
    m_timerMs = 0;
}

int OWindow::WaitBeforeTick(int timeoutMs) const
{
    if (m_timerMs <= 0) return timeoutMs;
    const uint64_t now = SDL_GetTicks64();
    const int untilTick = m_nextTickMs > now ? static_cast<int>(m_nextTickMs - now) : 0;
    return timeoutMs < 0 ? untilTick : std::min(timeoutMs, untilTick);
}

void OWindow::TickIfDue()
{
    if (m_timerMs <= 0) return;
    const uint64_t now = SDL_GetTicks64();
    if (now < m_nextTickMs) return;
    // A loop that was busy finds one tick due, not a backlog.
    m_nextTickMs += static_cast<uint64_t>(m_timerMs);
    if (m_nextTickMs <= now) m_nextTickMs = now + static_cast<uint64_t>(m_timerMs);
    if (m_handler) m_handler->OnTimer(m_timerId);
}

uint32_t OWindow::MouseFlags(uint32_t buttons) const
{
    uint32_t flags = buttons;
    const SDL_Keymod mods = SDL_GetModState();
    if (mods & KMOD_SHIFT) flags |= kMouseShift;
    if (mods & KMOD_CTRL) flags |= kMouseControl;
    return flags;
}

namespace {

uint32_t ButtonBit(uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return kMouseLeft;
    case SDL_BUTTON_RIGHT: return kMouseRight;
    case SDL_BUTTON_MIDDLE: return kMouseMiddle;
    default: return 0;
    }
}

// The character a key press types: the text SDL queued right behind it
// (UTF-8), when that is one printable character, as its code point.
int TypedCharacter()
{
    SDL_Event next;
    if (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) != 1 ||
        next.type != SDL_TEXTINPUT)
        return 0;
    SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT);
    const char* text = next.text.text;
    const utf8::Decoded d = utf8::Next(text, text + sizeof next.text.text);
    return utf8::Printable(d.code) && text[d.bytes] == '\0' ? static_cast<int>(d.code) : 0;
}

} // namespace

void OWindow::Dispatch(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_MOUSEMOTION:
        if (!(e.motion.state & SDL_BUTTON_LMASK)) SetPressSwallowed(false);  // SDL counts it up again
        ReleaseLostButton(e.motion.state, e.motion.x, e.motion.y);
        if (m_handler) m_handler->OnMouseMove(MouseFlags(m_buttons), e.motion.x, e.motion.y);
        break;
    case SDL_MOUSEBUTTONDOWN: {
        m_buttons |= ButtonBit(e.button.button);
        if (e.button.button != SDL_BUTTON_LEFT) break;
        SetPressSwallowed(false);
        // Held on to while pressed, so a drag outside the window still
        // reaches the widget.
        SDL_CaptureMouse(SDL_TRUE);
        m_captured = true;
        if (!m_handler) break;
        const uint32_t flags = MouseFlags(m_buttons);
        const uint64_t chooserPumps = m_chooserPumps;
        if (e.button.clicks >= 2 && e.button.clicks % 2 == 0)
            m_handler->OnDoubleClick(flags, e.button.x, e.button.y);
        else
            m_handler->OnMouseDown(flags, e.button.x, e.button.y);
        // The press opened a file chooser: its release went there. Held on
        // to, the capture would keep the pointer from every other window.
        if (m_chooserPumps != chooserPumps) {
            ReleaseLostButton(0, e.button.x, e.button.y);
            // SDL still counts the button held when the release reached
            // the chooser's window, and passes on no press until it has seen
            // a release: the next press is taken from the display itself.
            SetPressSwallowed((SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0 &&
                              (SDL_GetGlobalMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) == 0);
        }
        break;
    }
    case SDL_MOUSEBUTTONUP: {
        const bool pressed = (m_buttons & ButtonBit(e.button.button)) != 0;
        m_buttons &= ~ButtonBit(e.button.button);
        if (e.button.button == SDL_BUTTON_LEFT) {
            // A release whose press went elsewhere (to a file chooser, or
            // before the window had the pointer, or one that SDL swallowed
            // and the display did not show) ends nothing here: passed on,
            // it would click an open menu's row or drop a dragged item. A
            // press made up where the button was let go would turn a drag
            // into a click on whatever it ended over.
            if (m_handler && pressed) m_handler->OnMouseUp(MouseFlags(m_buttons), e.button.x, e.button.y);
            SetPressSwallowed(false);
            SDL_CaptureMouse(SDL_FALSE);
            m_captured = false;
        } else if (e.button.button == SDL_BUTTON_RIGHT) {
            if (m_handler && pressed) m_handler->OnContextMenu(e.button.x, e.button.y);
        }
        break;
    }
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
        if (notches == 0 || !m_handler) break;
        const bool up = notches > 0;
        const bool middle = (m_buttons & kMouseMiddle) != 0;
        const int key = middle ? (up ? kKeyUp : kKeyDown) : (up ? kKeyPageUp : kKeyPageDown);
        const int count = std::min(std::abs(notches), kMaxNotches);
        for (int i = 0; i < count; ++i) {
            m_handler->OnKey(key, 0, 0);
            m_handler->OnWheel(key, e.wheel.mouseX, e.wheel.mouseY);
        }
        break;
    }
    case SDL_KEYDOWN: {
        if (m_buttons & kMouseLeft) {
            // Asked of the display itself: SDL's own idea of the buttons
            // is what missed the release.
            int gx = 0, gy = 0, wx = 0, wy = 0;
            const uint32_t held = SDL_GetGlobalMouseState(&gx, &gy);
            if (m_window) SDL_GetWindowPosition(m_window, &wx, &wy);
            ReleaseLostButton(held, gx - wx, gy - wy);
        }
        const int key = VirtualKeyOf(e.key.keysym.sym);
        const int ch = TypedCharacter();
        if ((key == 0 && ch == 0) || !m_handler) break;
        // Repeat count 1, scan code, and "was down before" on a repeat.
        const uint32_t data = 1u | ((static_cast<uint32_t>(e.key.keysym.scancode) & 0xFFu) << 16) |
                              (e.key.repeat ? 1u << 30 : 0u);
        m_handler->OnKey(key, ch, data);
        break;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
            if (m_handler) m_handler->OnPaint();
        } else if (e.window.event == SDL_WINDOWEVENT_LEAVE) {
            // A drag holds the widget it started on until its release.
            if (m_handler && !(m_buttons & kMouseLeft)) m_handler->OnMouseLeave();
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            Close();
        }
        break;
    case SDL_QUIT:
        Close();
        break;
    case SDL_SYSWMEVENT:
        if (IsWindowDestroyed(e))
            Close();
        else
            TakeSwallowedPress(e);
        break;
    case SDL_TEXTINPUT: {
        // Text with no key press of its own: an input method's, or a
        // character the keyboard map has no key for (typed by a tool that
        // maps one for a moment). Each character goes on as a press of no key.
        const char* text = e.text.text;
        const char* end = text + sizeof e.text.text;
        for (const char* p = text; p < end && *p && m_handler;) {
            const utf8::Decoded d = utf8::Next(p, end);
            if (utf8::Printable(d.code)) m_handler->OnKey(0, static_cast<int>(d.code), 0);
            p += d.bytes;
        }
        break;
    }
    default:
        break;  // key releases never reach the widgets
    }
}

// A left button that the display says is up while a press is still held
// here: its release happened where the window could not see it (outside,
// without the capture). The widget gets that release now, so the press does
// not go on steering it or taking keys.
void OWindow::ReleaseLostButton(uint32_t sdlButtons, int x, int y)
{
    if (!(m_buttons & kMouseLeft) || (sdlButtons & SDL_BUTTON_LMASK)) return;
    m_buttons &= ~kMouseLeft;
    if (m_handler) m_handler->OnMouseUp(MouseFlags(m_buttons), x, y);
    SDL_CaptureMouse(SDL_FALSE);
    m_captured = false;
}

// While SDL swallows presses, the press is taken from the display's own
// events (SDL_SYSWMEVENT, passed on while the window is there).
void OWindow::SetPressSwallowed(bool swallowed)
{
    m_pressSwallowed = swallowed;
}

// The X press of the left button that SDL made no event of: it reaches the
// widgets as a press where and when it was made, so that a drag starts
// where the button went down and a click is whole.
void OWindow::TakeSwallowedPress(const SDL_Event& e)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (!m_pressSwallowed || !e.syswm.msg || e.syswm.msg->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (x.type != ButtonPress || x.xbutton.button != Button1) return;
    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.windowID = GetWindowId();
    press.button.button = SDL_BUTTON_LEFT;
    press.button.state = SDL_PRESSED;
    press.button.clicks = 1;
    press.button.x = x.xbutton.x;
    press.button.y = x.xbutton.y;
    // SDL follows each display event with what it made of it: a press of
    // its own after all is the one that counts.
    SDL_Event made[8];
    const int n = SDL_PeepEvents(made, 8, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    for (int i = 0; i < n && made[i].type != SDL_SYSWMEVENT; ++i)
        if (made[i].type == SDL_MOUSEBUTTONDOWN) return;
    Dispatch(press);
#else
    (void)e;
#endif
}

void OWindow::Close()
{
    if (m_closed) return;
    m_closed = true;
    if (m_handler) m_handler->OnClose();
}

bool OWindow::Pump(int timeoutMs)
{
    SDL_Event e;
    if (!m_closed && SDL_WaitEventTimeout(&e, WaitBeforeTick(timeoutMs))) {
        Dispatch(e);
        while (!m_closed && SDL_PollEvent(&e))
            Dispatch(e);
    }
    if (!m_closed) TickIfDue();
    if (StopRequested()) Close();
    return !m_closed;
}

void OWindow::PumpTimerAndPaint()
{
    ++m_chooserPumps;
    // The press that opened the chooser holds the pointer. Let go at once:
    // SDL takes the pointer back whenever the window regains the focus
    // while the capture is asked for, and a pointer held then sends no
    // crossing events. The pointer's jump back from the closed chooser went
    // unseen, and the next click landed where the chooser had been opened,
    // opening it again.
    if (m_captured) {
        SDL_CaptureMouse(SDL_FALSE);
        m_captured = false;
    }
    SDL_PumpEvents();
    SDL_Event e;
    bool closeAsked = false;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_EXPOSED)
            Dispatch(e);
        else if (e.type == SDL_QUIT || IsWindowDestroyed(e) ||
                 (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
            closeAsked = true;
    }
    TickIfDue();
    // A close asked for while the chooser ran is acted on once it is gone.
    if (closeAsked) {
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
    }
}

void OWindow::Run()
{
    while (Pump(100)) {
    }
}

void OWindow::RequestStop()
{
    PostStop();
}

void OWindow::InstallStopSignals()
{
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void OWindow::Shutdown()
{
    SDL_Quit();
}

bool OWindow::ReadBack(std::vector<uint8_t>& rgb, int& width, int& height)
{
    SDL_Surface* surface = m_window ? SDL_GetWindowSurface(m_window) : nullptr;
    if (!surface) return false;
    width = m_width;
    height = m_height;
    rgb.assign(static_cast<size_t>(m_width) * m_height * 3, 0);
    // A surface cut smaller by the window manager is read as far as it goes;
    // the rest stays black.
    const int w = std::min(m_width, surface->w), h = std::min(m_height, surface->h);
    if (w <= 0 || h <= 0) return true;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const bool ok = SDL_ConvertPixels(w, h, surface->format->format, surface->pixels, surface->pitch,
                                      SDL_PIXELFORMAT_RGB24, rgb.data(), m_width * 3) == 0;
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    return ok;
}

OWindow::Presented OWindow::TakePresented()
{
    const Presented taken = m_presented;
    m_presented = {};
    return taken;
}

uint32_t OWindow::GetWindowId() const
{
    return m_window ? SDL_GetWindowID(m_window) : 0;
}

} // namespace os
