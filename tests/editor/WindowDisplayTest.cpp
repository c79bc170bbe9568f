// The window on a real X server (a private Xvfb): it opens at the top-left
// with a 960 x 650 client area, the screen shows exactly the editor's
// surface, and a click made through the X server reaches the widget under
// it. The program itself: without a display it ends at once with a
// message; SIGTERM ends it cleanly with its settings written.
#include "editor/CEditor.h"

#include <SDL.h>
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/CSynth.h"
#include "gui/CDIBitmap.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "os/TestFolders.h"
#include "tests/editor/XvfbDisplay.h"
#include "tests/platform/JackServer.h"
#include "tools/PngFile.h"

// Last: the X headers define macros (None, Bool, Status) that clash with
// names in the headers above.
#include "tests/editor/ProgramOnX.h"

namespace {

using testutil::Clock;

// A knob on a panel with its caption; remembers the presses it gets.
struct Knob : GUIObject {
    explicit Knob(const char* tag) : GUIObject(tag) {}
    GuiRect Draw() override
    {
        surface->SetColor(0x3A3530);
        surface->FillRect(x, y, x + w, y + h, 1.0f);
        surface->SetColor(0x2020E0);  // red: 0x00BBGGRR
        surface->FillRect(x, y, x + 8, y + 8, 1.0f);
        surface->SetColor(0xE02020);  // blue
        surface->FillRect(x + w - 8, y, x + w, y + 8, 1.0f);
        surface->SetColor(0x40C0FF);
        surface->DrawVectorKnob(0.75f * 3.14159f, 2.25f * 3.14159f, 0.05f, x + w / 2.0f, y + 40.0f,
                                24.0f, 1.0f);
        surface->SetColor(0xFFFFFF);
        surface->DrawText(x + 12, y + h - 18, "Cutoff", 0);
        return Rect();
    }
    void OnMouseDown(uint32_t f, int px, int py) override
    {
        downs.push_back({int(f), px, py});
        if (auto run = std::move(onDown)) run();
    }
    std::vector<std::vector<int>> downs;
    std::function<void()> onDown;  // once, as a button that opens a file chooser
};

class WindowOnX : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!xvfb.Running()) GTEST_SKIP() << "no X server for this test: " << xvfb.WhyNot();
        display.emplace("DISPLAY", xvfb.Name());
        driver.emplace("SDL_VIDEODRIVER", "x11");
    }
    // The editor's window with a knob at (300, 200), 80 x 90, drawn, and a
    // connection to the display to look and click with.
    void OpenWithKnob()
    {
        // The default layout, from a file: a missing one would be said in a
        // box that waits for a click on this display.
        layout.emplace(GUIResource::LayoutPath());
        {
            CUnifiedDC dc;
            ASSERT_TRUE(dc.CreateMemory(960, 650));
            GUIHead defaults(&dc, nullptr);
            defaults.AddDefaultLayout();
            const std::vector<uint8_t> bytes = GUIResource::WriteLayout(defaults.Objects());
            testutil::WriteFile(layout->path, std::string(bytes.begin(), bytes.end()));
        }
        synth = std::make_unique<CSynth>();
        editor = synth->editor;
        CEditor::AllowWindow(true);
        const bool opened = editor->Open();
        CEditor::AllowWindow(false);
        ASSERT_TRUE(opened) << CBaseWnd::LastError();
        editor->GetGUI()->SetWidgetFactory([&](const char* tag) {
            auto k = std::make_unique<Knob>(tag);
            knob = k.get();
            return k;
        });
        editor->GetGUI()->AddObject("PROB", 0, -1, 0, 5, 0, 300, 200, 80, 90);
        editor->GetGUI()->RedrawAll();
        x = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(x, nullptr);
    }
    void CloseKnobWindow()
    {
        XCloseDisplay(x);
        editor->OnDestroy();
        synth.reset();
        os::OWindow::Shutdown();
    }
    struct RemovedAfter {
        explicit RemovedAfter(std::string p) : path(std::move(p)) {}
        ~RemovedAfter() { std::filesystem::remove(path); }
        std::string path;
    };
    testutil::XvfbDisplay xvfb;
    std::optional<testutil::ScopedEnv> display, driver;
    std::optional<RemovedAfter> layout;
    // After the server: they go before it.
    std::unique_ptr<CSynth> synth;
    CEditor* editor = nullptr;
    Knob* knob = nullptr;
    Display* x = nullptr;
};

TEST_F(WindowOnX, TheScreenShowsTheSurfaceAndAClickReachesTheWidget)
{
#if defined(__SANITIZE_ADDRESS__)
    // The X libraries keep a few blocks for the life of the process; our own
    // window code is leak-checked on the dummy driver.
    __lsan::ScopedDisabler xLibraries;
#endif
    ASSERT_NO_FATAL_FAILURE(OpenWithKnob());
    // Up to two seconds for the window to map and be painted.
    os::OWindow& window = editor->window.Window();
    for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && !testutil::ZavoWindowShown(x);)
        window.Pump(20);
    ASSERT_TRUE(testutil::ZavoWindowShown(x));
    window.Pump(50);
    editor->OnPaint();
    XSync(x, False);

    // The screen from (0, 0): the client area, 960 x 650, pixel for pixel
    // the surface (not flipped, red and blue in place).
    XImage* shot = XGetImage(x, DefaultRootWindow(x), 0, 0, 960, 650, AllPlanes, ZPixmap);
    ASSERT_NE(shot, nullptr);
    CDIBitmap picture;
    ASSERT_TRUE(picture.Create(960, 650, 24));
    const CDIBitmap* surface = editor->surface.GetBackSurface();
    int differing = 0;
    for (int py = 0; py < 650; ++py)
        for (int px = 0; px < 960; ++px) {
            const unsigned long p = XGetPixel(shot, px, py);
            uint8_t* d = picture.PixelAddress(px, py);
            d[0] = uint8_t(p), d[1] = uint8_t(p >> 8), d[2] = uint8_t(p >> 16);
            const uint8_t* s = surface->PixelAddress(px, py);
            differing += s[0] != d[0] || s[1] != d[1] || s[2] != d[2];
        }
    XDestroyImage(shot);
    png::Write(picture, "window-x11.png");
    EXPECT_EQ(differing, 0);
    const uint8_t* red = picture.PixelAddress(302, 202);
    EXPECT_GT(red[2], 0xC0);  // red
    EXPECT_LT(red[0], 0x30);  // blue

    // A press made through the X server, with the pointer over the knob.
    XTestFakeMotionEvent(x, -1, 340, 250, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XSync(x, False);
    for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && knob->downs.empty();)
        window.Pump(20);
    XTestFakeButtonEvent(x, 1, False, 0);
    XSync(x, False);
    ASSERT_EQ(knob->downs.size(), 1u);
    EXPECT_EQ(knob->downs[0], (std::vector<int>{1, 340, 250}));

    // A press that opens a file chooser: the chooser's window comes up under
    // the held button and X gives it the release. The next click, made after
    // the pointer jumped back, reaches the widget whole and where it is.
    const auto openChooser = [&] {
        XSetWindowAttributes chooserLike{};
        chooserLike.override_redirect = True;
        const Window chooser = XCreateWindow(x, DefaultRootWindow(x), 0, 0, 960, 650, 0, CopyFromParent,
                                             InputOutput, CopyFromParent, CWOverrideRedirect, &chooserLike);
        XSelectInput(x, chooser, ButtonPressMask | ButtonReleaseMask);
        XMapRaised(x, chooser);
        XSync(x, False);
        window.PumpTimerAndPaint();
        XTestFakeButtonEvent(x, 1, False, 0);
        XSync(x, False);
        window.PumpTimerAndPaint();
        XDestroyWindow(x, chooser);
        XSync(x, False);
        window.PumpTimerAndPaint();
    };
    // A press on the knob that opens the chooser, away from the last press
    // SDL saw (no double click).
    const auto pressForChooser = [&](int px, int py) {
        knob->onDown = openChooser;
        const size_t before = knob->downs.size();
        XTestFakeMotionEvent(x, -1, px, py, 0);
        XTestFakeButtonEvent(x, 1, True, 0);
        XSync(x, False);
        for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && knob->downs.size() == before;)
            window.Pump(20);
        return knob->downs.size() == before + 1;
    };
    ASSERT_TRUE(pressForChooser(305, 205));
    XTestFakeMotionEvent(x, -1, 360, 270, 0);
    XTestFakeButtonEvent(x, 4, True, 0), XTestFakeButtonEvent(x, 4, False, 0);  // a wheel turn: no press
    XTestFakeMotionEvent(x, -1, 370, 280, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XTestFakeButtonEvent(x, 1, False, 0);
    XSync(x, False);
    for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && knob->downs.size() < 3;)
        window.Pump(20);
    ASSERT_EQ(knob->downs.size(), 3u) << "the click after the chooser was lost";
    EXPECT_EQ(knob->downs[2], (std::vector<int>{1, 370, 280}));

    // The first drag after a chooser presses where it starts, not where it
    // is let go (there nothing is pressed).
    ASSERT_TRUE(pressForChooser(375, 285));
    XTestFakeMotionEvent(x, -1, 320, 240, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XTestFakeMotionEvent(x, -1, 200, 400, 0);
    XTestFakeMotionEvent(x, -1, 350, 260, 0);
    XTestFakeButtonEvent(x, 1, False, 0);
    XSync(x, False);
    for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && (knob->downs.size() < 5 || window.IsCaptured());)
        window.Pump(20);
    ASSERT_EQ(knob->downs.size(), 5u) << "the drag after the chooser was no press, or two";
    EXPECT_EQ(knob->downs[4], (std::vector<int>{1, 320, 240}));
    CloseKnobWindow();
}

// A program busy when its window opened (starting under load) reads the
// window's focus and the user's first click in one go: the click still
// reaches the widget.
TEST_F(WindowOnX, AClickMadeBeforeTheLoopFirstRanReachesTheWidget)
{
#if defined(__SANITIZE_ADDRESS__)
    __lsan::ScopedDisabler xLibraries;
#endif
    ASSERT_NO_FATAL_FAILURE(OpenWithKnob());
    // The window is mapped (opening waits for that) but has not looked at
    // its events yet; the click is with the server before it does.
    ASSERT_TRUE(testutil::ZavoWindowShown(x));
    testutil::Click(x, 340, 250);
    os::OWindow& window = editor->window.Window();
    for (auto end = testutil::Clock::now() + std::chrono::seconds(2); testutil::Clock::now() < end && knob->downs.empty();)
        window.Pump(20);
    ASSERT_EQ(knob->downs.size(), 1u) << "the first click was dropped";
    EXPECT_EQ(knob->downs[0], (std::vector<int>{1, 340, 250}));
    CloseKnobWindow();
}

// It writes no settings either: not a new file, nothing into the user's.
TEST(Program, WithoutADisplayItEndsAtOnceWithAMessage)
{
    for (const std::string held : {"", "[Settings]\nSoundDeviceOut=JACK\n"}) {
        testutil::TempFolder home;
        const std::string err = home / "stderr.txt", settings = home / "zavo/settings.ini";
        if (!held.empty()) {
            std::filesystem::create_directories(home / "zavo");
            testutil::WriteFile(settings, held);
        }
        const pid_t pid = testutil::Spawn({"XDG_CONFIG_HOME=" + home.Path(), "SDL_AUDIODRIVER=dummy",
                                           "HOME=" + home.Path(), testutil::LeakRules(home)},
                                          err);
        EXPECT_EQ(testutil::WaitFor(pid, std::chrono::seconds(5)), 1);
        const std::string text = testutil::ReadFile(err);
        EXPECT_NE(text.find("zavo: cannot open the window ("), std::string::npos) << text;
        EXPECT_NE(text.find("); a graphical desktop is needed"), std::string::npos) << text;
        EXPECT_EQ(std::filesystem::exists(settings) ? testutil::ReadFile(settings) : "", held);
    }
}

TEST_F(WindowOnX, ProgramEndsOnSigtermWithItsSettingsWritten)
{
    // Also when another client destroys the window: as a close.
    for (const bool destroy : {false, true}) {
        testutil::TempFolder home;
        const pid_t pid = testutil::Spawn({"XDG_CONFIG_HOME=" + home.Path(), "HOME=" + home.Path(),
                                           "DISPLAY=" + xvfb.Name(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                           "JACK_DEFAULT_SERVER=" + testutil::UniqueJackName("zavo-none"),
                                           testutil::LeakRules(home)},
                                home / "stderr.txt");
        Display* x = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(x, nullptr);
        bool shown = false;
        for (auto end = testutil::Clock::now() + std::chrono::seconds(20); testutil::Clock::now() < end && !shown;) {
            shown = testutil::ZavoWindowShown(x);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (destroy && shown) XDestroyWindow(x, testutil::ZavoWindow(x));
        XCloseDisplay(x);
        EXPECT_TRUE(shown);
        if (!destroy) kill(pid, SIGTERM);
        EXPECT_EQ(testutil::WaitFor(pid, std::chrono::seconds(10)), 0) << testutil::ReadFile(home / "stderr.txt");
        EXPECT_TRUE(std::filesystem::exists(home / "zavo/settings.ini")) << destroy;
    }
}

// A first start (no settings file) plays through JACK when a server answers,
// else through the sound device, and keeps that choice for the next start.
TEST_F(WindowOnX, AFirstStartPlaysThroughAJackServerThatAnswersAndKeepsIt)
{
    for (const bool server : {true, false}) {
        SCOPED_TRACE(server ? "with a server" : "without a server");
        std::optional<testutil::JackServer> jack;
        if (server) {
            jack.emplace();
            ASSERT_TRUE(jack->Ok()) << jack->Error();
        }
        const std::string serverName = server ? jack->Name() : testutil::UniqueJackName("zavo-none");
        testutil::TempFolder home;
        const pid_t pid = testutil::Spawn({"XDG_CONFIG_HOME=" + home.Path(), "HOME=" + home.Path(), "DISPLAY=" + xvfb.Name(),
                                 "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                 "JACK_DEFAULT_SERVER=" + serverName, testutil::LeakRules(home)},
                                home / "stderr.txt");
        Display* x = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(x, nullptr);
        bool shown = false;
        for (auto end = Clock::now() + std::chrono::seconds(20); Clock::now() < end && !shown;)
            if (!(shown = testutil::ZavoWindowShown(x))) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        XCloseDisplay(x);
        EXPECT_TRUE(shown);
        // The devices open right after the window: the program's ports show
        // on the server once it plays there.
        if (server) {
            jack_client_t* client = testutil::OpenJackClient(testutil::UniqueJackName("zavo-test-look"));
            ASSERT_NE(client, nullptr);
            bool playing = false;
            for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end && !playing;)
                if (!(playing = jack_port_by_name(client, "zavo:out_1") != nullptr))
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            testutil::CloseJackClient(client);
            EXPECT_TRUE(playing) << testutil::ReadFile(home / "stderr.txt");
        }
        kill(pid, SIGTERM);
        EXPECT_EQ(testutil::WaitFor(pid, std::chrono::seconds(10)), 0) << testutil::ReadFile(home / "stderr.txt");
        const std::string settings = testutil::ReadFile(home / "zavo/settings.ini");
        EXPECT_NE(settings.find(server ? "SoundDeviceOut=JACK\n" : "SoundDeviceOut=Default audio device\n"),
                  std::string::npos)
            << settings;
    }
}

} // namespace

namespace {

// Whether a top-level window of that title is on the display.
bool WindowTitled(Display* display, const std::string& title)
{
    return testutil::TopWindowTitled(display, title, false) != 0;
}

// The program in a folder of its own (a link to the built one), so that
// the files beside it are the test's.
std::string ProgramIn(const testutil::TempFolder& folder)
{
    const std::string copy = folder / "zavo";
    std::error_code ec;
    std::filesystem::create_hard_link(ZAVO_PROGRAM, copy, ec);
    if (ec) std::filesystem::copy_file(ZAVO_PROGRAM, copy);
    return copy;
}

} // namespace

// A layout file the program cannot take, or none: the start says so in a
// box, on stderr and in the debug log, and goes on with the default layout; a stop
// asked for while the box is up ends the program at once, box and all.
TEST_F(WindowOnX, ADamagedLayoutIsReportedAndASigtermClosesTheProgramWithItsBoxOpen)
{
    namespace fs = std::filesystem;
    // The layout the build wrote, cut in half; noise from a fixed seed.
    const std::string built = testutil::ReadFile(fs::path(ZAVO_PROGRAM).parent_path() / "ZAVO.gui");
    std::string noise(5000, '\0');
    uint32_t seed = 99;
    for (char& c : noise) c = char((seed = seed * 1664525u + 1013904223u) >> 24);
    struct Case {
        const char* what;
        std::string bytes;  // none: a folder, or no file at all
    };
    const Case cases[] = {{"empty", ""},
                          {"cut", built.substr(0, built.size() / 2)},
                          {"zero-filled", std::string(4096, '\0')},
                          {"random", noise},
                          {"folder", {}},
                          {"missing", {}}};
    ASSERT_GT(built.size(), 1000u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testutil::TempFolder folder;
        const std::string program = ProgramIn(folder);
        const std::string layout = folder / "ZAVO.gui";
        const bool missing = std::string(c.what) == "missing";
        if (std::string(c.what) == "folder")
            fs::create_directory(layout);
        else if (!missing)
            testutil::WriteFile(layout, c.bytes);
        const pid_t pid = testutil::Spawn({"XDG_CONFIG_HOME=" + (folder / "config"), "HOME=" + folder.Path(),
                                           "DISPLAY=" + xvfb.Name(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                           testutil::LeakRules(folder)},
                                          folder / "stderr.txt", program);
        Display* x = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(x, nullptr);
        bool boxShown = false;
        for (auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end && !boxShown;) {
            boxShown = WindowTitled(x, "Error");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_TRUE(boxShown) << testutil::ReadFile(folder / "stderr.txt");
        kill(pid, SIGTERM);
        // A program held by its box would never end; one that ends takes
        // its time on a loaded machine (it closes its devices and writes
        // its settings first).
        EXPECT_EQ(testutil::WaitFor(pid, std::chrono::seconds(20)), 0) << testutil::ReadFile(folder / "stderr.txt");
        // The box's own process went with it.
        bool gone = false;
        for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end && !gone;) {
            gone = !WindowTitled(x, "Error");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(gone);
        XCloseDisplay(x);
        const std::string said = "The layout " + layout + (missing ? " was not found" : " was not loaded (");
        const std::string err = testutil::ReadFile(folder / "stderr.txt");
        EXPECT_NE(err.find("zavo: " + said), std::string::npos) << err;
        EXPECT_NE(err.find("; the default layout is shown."), std::string::npos) << err;
        EXPECT_NE(testutil::ReadFile(folder / "Debug.txt").find(said), std::string::npos);
        // The file is left for the user to mend; the settings were written.
        if (fs::is_regular_file(layout)) {
            EXPECT_EQ(testutil::ReadFile(layout), c.bytes);
        }
        EXPECT_TRUE(fs::exists(folder / "config/zavo/settings.ini"));
    }
}
