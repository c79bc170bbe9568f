// The window on SDL's dummy driver: SDL events pushed into its queue come
// out as the widgets' calls, and what is shown reads back unflipped.
#include "os/OWindow.h"

#include "os/OFileChooser.h"
#include "os/TestFolders.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Recorder : os::IWindowEvents {
    std::vector<std::string> calls;
    void Add(const char* what, long a, long b, long c)
    {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) +
                        " " + std::to_string(c));
    }
    void OnMouseMove(uint32_t f, int x, int y) override { Add("move", f, x, y); }
    void OnMouseDown(uint32_t f, int x, int y) override { Add("down", f, x, y); }
    void OnMouseUp(uint32_t f, int x, int y) override { Add("up", f, x, y); }
    void OnDoubleClick(uint32_t f, int x, int y) override { Add("dbl", f, x, y); }
    void OnContextMenu(int x, int y) override { Add("menu", x, y, 0); }
    bool OnKey(int key, int ch, uint32_t data) override
    {
        Add("key", key, ch, data >> 16 & 0x40FF);
        return true;
    }
    void OnWheel(int key, int x, int y) override { Add("wheel", key, x, y); }
    void OnMouseLeave() override { Add("leave", 0, 0, 0); }
    void OnTimer(int id) override { Add("timer", id, 0, 0); }
    void OnPaint() override { calls.push_back("paint"); }
    void OnClose() override { calls.push_back("close"); }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(window.Create("ZAVO", 960, 650, &error)) << error;
        window.SetHandler(&rec);
        SDL_SetModState(KMOD_NONE);
        Drain();
    }
    void Drain()
    {
        while (window.Pump(0)) {
            SDL_Event e;
            if (!SDL_PeepEvents(&e, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) break;
        }
        rec.calls.clear();
    }
    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }
    void Button(uint32_t type, uint8_t button, int x, int y, int clicks = 1)
    {
        SDL_Event e{};
        e.type = type;
        e.button.button = button;
        e.button.x = x;
        e.button.y = y;
        e.button.clicks = static_cast<uint8_t>(clicks);
        Push(e);
    }
    // `state`: the buttons the display says are held (SDL_BUTTON_LMASK ...).
    void Motion(int x, int y, uint32_t state = 0)
    {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        e.motion.state = state;
        Push(e);
    }
    void Wheel(int y, int x0, int y0, bool flipped = false)
    {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = y;
        e.wheel.mouseX = x0;
        e.wheel.mouseY = y0;
        e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        Push(e);
    }
    void Key(uint32_t type, SDL_Keycode sym, const char* text = nullptr, bool repeat = false)
    {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = sym;
        e.key.keysym.scancode = SDL_SCANCODE_A;
        e.key.repeat = repeat;
        Push(e);
        if (text) {
            SDL_Event t{};
            t.type = SDL_TEXTINPUT;
            SDL_strlcpy(t.text.text, text, sizeof t.text.text);
            Push(t);
        }
    }
    std::vector<std::string> Run()
    {
        window.Pump(0);
        auto out = rec.calls;
        rec.calls.clear();
        return out;
    }
    using Calls = std::vector<std::string>;

    os::OWindow window;
    Recorder rec;
};

TEST_F(WindowTest, MouseButtonsBecomeFlagsClicksAndMenus)
{
    SDL_SetModState(KMOD_LSHIFT);
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    EXPECT_EQ(Run(), (Calls{"down 5 10 20"}));
    EXPECT_TRUE(window.IsCaptured());
    SDL_SetModState(KMOD_LCTRL);
    Motion(-5, 700, SDL_BUTTON_LMASK);  // outside the window while captured
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 11, 21);
    EXPECT_EQ(Run(), (Calls{"move 9 -5 700", "up 8 11 21"}));
    EXPECT_FALSE(window.IsCaptured());
    SDL_SetModState(KMOD_NONE);

    // An even click count is a double click; odd ones are presses.
    for (int clicks : {2, 3, 4}) {
        Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1, 2, clicks);
        Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1, 2, clicks);
    }
    EXPECT_EQ(Run(), (Calls{"dbl 1 1 2", "up 0 1 2", "down 1 1 2", "up 0 1 2", "dbl 1 1 2",
                            "up 0 1 2"}));

    // The right button opens the context menu on release only; the middle
    // button only shows in the flags.
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 30, 40);
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 31, 41);
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 5, 5);
    Motion(6, 6);
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 6, 6);
    Motion(7, 7);
    EXPECT_EQ(Run(), (Calls{"menu 31 41 0", "move 16 6 6", "move 0 7 7"}));
}

TEST_F(WindowTest, AReleaseTheWindowNeverSawComesBeforeTheNextMoveOrKey)
{
    // The display reports the button up while the window still holds the
    // press (let go outside, without the capture): the widget gets its
    // release first, and a leave is passed on only once nothing is held.
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    Motion(900, 5, SDL_BUTTON_LMASK);
    SDL_Event leave{};
    leave.type = SDL_WINDOWEVENT;
    leave.window.event = SDL_WINDOWEVENT_LEAVE;
    Push(leave);
    Motion(30, 40, 0);
    Push(leave);
    EXPECT_EQ(Run(), (Calls{"down 1 10 20", "move 1 900 5", "up 0 30 40", "move 0 30 40", "leave 0 0 0"}));
    EXPECT_FALSE(window.IsCaptured());

    // A key while a press seems held: SDL's dummy display holds no button,
    // so the press ended somewhere unseen.
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    Key(SDL_KEYDOWN, SDLK_END);
    const Calls calls = Run();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "down 1 10 20");
    EXPECT_EQ(calls[1].rfind("up 0 ", 0), 0u) << calls[1];
    EXPECT_EQ(calls[2].rfind("key 35 0", 0), 0u) << calls[2];
}

TEST_F(WindowTest, APressThatRanAFileChooserEndsWithItAndLetsThePointerGo)
{
    // The widget's press opens the desktop chooser, which pumps the window
    // while it runs; the release goes to the chooser.
    // The pointer is let go with the chooser's first pump, not after it:
    // held when the window regains the focus, it would miss the pointer's
    // jump back.
    struct Opener : Recorder {
        void OnMouseDown(uint32_t f, int x, int y) override
        {
            Recorder::OnMouseDown(f, x, y);
            if (pump) pump();
            if (pump) calls.push_back(window->IsCaptured() ? "held" : "let go");
        }
        std::function<void()> pump;
        os::OWindow* window = nullptr;
    } opener;
    opener.window = &window;
    window.SetHandler(&opener);
    // What X delivers while the chooser is up: the focus goes, the press's
    // release, the focus comes back.
    opener.pump = [this] {
        auto focus = [this](uint8_t event) {
            SDL_Event e{};
            e.type = SDL_WINDOWEVENT;
            e.window.event = event;
            Push(e);
        };
        focus(SDL_WINDOWEVENT_FOCUS_LOST);
        Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20);
        focus(SDL_WINDOWEVENT_FOCUS_GAINED);
        focus(SDL_WINDOWEVENT_TAKE_FOCUS);
        window.PumpTimerAndPaint();
    };
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20);
    window.Pump(0);
    EXPECT_EQ(opener.calls, (Calls{"down 1 10 20", "let go", "up 0 10 20"}));
    EXPECT_FALSE(window.IsCaptured());
    // After it: a release whose press went to the chooser ends nothing; the
    // next click is a click of its own.
    opener.calls.clear();
    opener.pump = nullptr;
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20);
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 10, 20);
    Motion(300, 40);
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 300, 40);
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 300, 40);
    window.Pump(0);
    EXPECT_EQ(opener.calls, (Calls{"move 0 300 40", "down 1 300 40", "up 0 300 40"}));
    window.SetHandler(&rec);
}

TEST_F(WindowTest, WheelNotchesAreAKeyThenAWheelCall)
{
    Wheel(1, 100, 200);
    Wheel(-2, 3, 4);
    Wheel(1, 5, 6, true);  // a flipped wheel turns the other way
    Wheel(0, 5, 6);        // sideways only: nothing
    EXPECT_EQ(Run(), (Calls{"key 33 0 0", "wheel 33 100 200", "key 34 0 0", "wheel 34 3 4",
                            "key 34 0 0", "wheel 34 3 4", "key 34 0 0", "wheel 34 5 6"}));
    // With the middle button held the wheel steps like the arrow keys.
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 0, 0);
    Wheel(1, 7, 8);
    Wheel(-1, 7, 8);
    EXPECT_EQ(Run(), (Calls{"key 38 0 0", "wheel 38 7 8", "key 40 0 0", "wheel 40 7 8"}));
    // A runaway count is cut.
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, 0, 0);
    Wheel(100000, 0, 0);
    EXPECT_EQ(Run().size(), 32u);
}

TEST_F(WindowTest, KeyPressesCarryTheTypedCharacterAndReleasesNothing)
{
    Key(SDL_KEYDOWN, SDLK_a, "a");
    Key(SDL_KEYUP, SDLK_a);
    Key(SDL_KEYDOWN, SDLK_a, "A", true);  // Shift, and a repeat
    Key(SDL_KEYDOWN, SDLK_a);             // Ctrl+A types nothing
    Key(SDL_KEYDOWN, SDLK_MINUS, "-");    // no virtual key, still a character
    Key(SDL_KEYDOWN, SDLK_e, "\xc3\xa9"); // past ASCII: its code point
    Key(SDL_KEYDOWN, SDLK_e, "\xc2\x85"); // a control past ASCII types nothing
    Key(SDL_KEYDOWN, SDLK_F5);
    Key(SDL_KEYDOWN, SDLK_KP_ENTER);
    Key(SDL_KEYDOWN, SDLK_CAPSLOCK);      // neither key nor character
    Key(SDL_KEYDOWN, SDLK_7, "/");        // the user's layout decides the character
    EXPECT_EQ(Run(), (Calls{"key 65 97 4", "key 65 65 16388", "key 65 0 4", "key 0 45 4",
                            "key 69 233 4", "key 69 0 4", "key 116 0 4", "key 13 0 4", "key 55 47 4"}));
    // A lone text event (an input method, a character no key of the map
    // types) reaches the widgets a character at a time, with no key.
    SDL_Event t{};
    t.type = SDL_TEXTINPUT;
    SDL_strlcpy(t.text.text, "x\xc3\xb6\x7f\xc3", sizeof t.text.text);
    Push(t);
    EXPECT_EQ(Run(), (Calls{"key 0 120 0", "key 0 246 0"}));
}

TEST(WindowKeys, VirtualKeysAndCursors)
{
    const std::pair<SDL_Keycode, int> keys[] = {
        {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9},     {SDLK_RETURN, 13},  {SDLK_RSHIFT, 16},
        {SDLK_LCTRL, 17},    {SDLK_RALT, 18},   {SDLK_ESCAPE, 27},  {SDLK_SPACE, 32},
        {SDLK_PAGEUP, 33},   {SDLK_PAGEDOWN, 34}, {SDLK_END, 35},   {SDLK_HOME, 36},
        {SDLK_LEFT, 37},     {SDLK_UP, 38},     {SDLK_RIGHT, 39},   {SDLK_DOWN, 40},
        {SDLK_INSERT, 45},   {SDLK_DELETE, 46}, {SDLK_0, 48},       {SDLK_9, 57},
        {SDLK_z, 90},        {SDLK_F1, 112},    {SDLK_F12, 123},    {SDLK_F13, 0},
        {SDLK_LGUI, 0},
    };
    for (auto [sym, vk] : keys) EXPECT_EQ(os::VirtualKeyOf(sym), vk) << sym;
    EXPECT_EQ(os::SystemCursorOf(4), SDL_SYSTEM_CURSOR_ARROW);  // help
    EXPECT_EQ(os::SystemCursorOf(2), SDL_SYSTEM_CURSOR_CROSSHAIR);
    EXPECT_EQ(os::SystemCursorOf(12), SDL_SYSTEM_CURSOR_WAIT);
    EXPECT_EQ(os::SystemCursorOf(13), SDL_SYSTEM_CURSOR_ARROW);
}

TEST_F(WindowTest, TimerPaintCloseAndTheChoosersPump)
{
    // Ticks that pile up while the loop is busy arrive as one.
    window.StartTimer(1, 5);
    SDL_Delay(120);
    EXPECT_EQ(Run(), (Calls{"timer 1 0 0"}));
    window.StopTimer();
    SDL_Delay(20);
    Run();

    // While a file chooser runs only the timer and paint events are handled;
    // a close request waits for the chooser to end.
    window.StartTimer(1, 5);
    SDL_Delay(20);
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_EXPOSED;
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 1, 1);
    Push(e);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    Push(quit);
    window.PumpTimerAndPaint();
    EXPECT_EQ(rec.calls, (Calls{"paint", "timer 1 0 0"}));
    window.StopTimer();
    rec.calls.clear();
    EXPECT_FALSE(window.Pump(0));
    Push(quit);
    window.Pump(0);
    EXPECT_EQ(rec.calls, (Calls{"close"}));  // closed once
}

TEST_F(WindowTest, ShowsTheSurfaceTopRowFirstWithColoursInPlace)
{
    int w = 0, h = 0;
    window.SetClientSize(2000, 100);  // the window keeps its size
    window.GetClientSize(w, h);
    ASSERT_EQ(w, 960);
    ASSERT_EQ(h, 650);
    // A bottom-up BGR surface: red in the top-left 10x10 corner, blue in the
    // bottom-right one, grey elsewhere.
    const int stride = w * 3;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * h, 0x40);
    auto set = [&](int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = &bits[static_cast<size_t>(h - 1 - y) * stride + x * 3];
        p[0] = b, p[1] = g, p[2] = r;
    };
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            set(x, y, 0, 0, 255);
            set(w - 1 - x, h - 1 - y, 255, 0, 0);
        }
    window.ShowRect(bits.data(), w, h, stride, 0, 0, w, h);
    // Rectangles reaching past the surface are cut, not read past its end.
    window.ShowRect(bits.data(), w, h, stride, 900, 600, 500, 500);
    window.ShowRect(bits.data(), w, h, stride, -50, -50, 100, 100);
    std::vector<uint8_t> rgb;
    int rw = 0, rh = 0;
    ASSERT_TRUE(window.ReadBack(rgb, rw, rh));
    ASSERT_EQ(rgb.size(), size_t(960) * 650 * 3);
    auto at = [&](int x, int y) {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * rw + x) * 3];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(at(0, 0), 0xFF0000);
    EXPECT_EQ(at(959, 649), 0x0000FF);
    EXPECT_EQ(at(480, 300), 0x404040);

    // A window manager that ignores the fixed size makes the surface
    // smaller: a change reaching past it still shows where it fits.
    SDL_SetWindowSize(SDL_GetWindowFromID(window.GetWindowId()), 700, 500);
    std::fill(bits.begin(), bits.end(), 0x80);
    window.ShowRect(bits.data(), w, h, stride, 0, 0, w, h);
    ASSERT_TRUE(window.ReadBack(rgb, rw, rh));
    EXPECT_EQ(at(0, 0), 0x808080);
    EXPECT_EQ(at(699, 499), 0x808080);
    EXPECT_EQ(at(700, 499), 0);
}

TEST(WindowOpen, WithoutADisplayTheWindowIsRefused)
{
    testutil::ScopedEnv driver("SDL_VIDEODRIVER", "");
    unsetenv("SDL_VIDEODRIVER");
    testutil::ScopedEnv display("DISPLAY", ":97");
    testutil::ScopedEnv wayland("WAYLAND_DISPLAY", "zavo-none");
    os::OWindow window;
    std::string error;
    EXPECT_FALSE(window.Create("ZAVO", 960, 650, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(window.IsOpen());
    os::OWindow::Shutdown();
}

} // namespace
