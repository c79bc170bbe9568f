// The editor's window on SDL's dummy driver: SDL events pushed into the
// queue reach the GUI manager's widgets, paint shows the surface, and
// closing stops the devices, finishes the recording and lets go of the GUI.
#include "editor/CEditor.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "gui/CDIBitmap.h"
#include "gui/GUIHead.h"
#include "os/TestFolders.h"
#include "tests/GlobalGuards.h"

namespace {

struct Probe : GUIObject {
    explicit Probe(const char* tag) : GUIObject(tag) {}
    GuiRect Draw() override
    {
        surface->SetColor(0x2040E0);  // red: 0x00BBGGRR
        surface->FillRect(x, y, x + w, y + h, 1.0f);
        return Rect();
    }
    void OnMouseDown(uint32_t f, int px, int py) override { Log("down", f, px, py); }
    void OnMouseUp(uint32_t f, int px, int py) override { Log("up", f, px, py); }
    void OnDoubleClick(uint32_t f, int px, int py) override { Log("dbl", f, px, py); }
    bool OnKey(int key, int ch, uint32_t) override { return Log("key", key, ch, 0), true; }
    bool OnWheel(int key, int, int, int px, int py) override { return Log("wheel", key, px, py), true; }
    void Log(const char* what, long a, long b, long c)
    {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
                        std::to_string(c));
    }
    std::vector<std::string> calls;
};

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        synth = std::make_unique<CSynth>();
        editor = synth->editor;
        ASSERT_EQ(editor->GetGUI(), nullptr);  // tests build synthesizers without windows
        CEditor::AllowWindow(true);
        const bool opened = editor->Open();
        CEditor::AllowWindow(false);
        ASSERT_TRUE(opened) << CBaseWnd::LastError();
        gui = editor->GetGUI();
        ASSERT_NE(gui, nullptr);
        gui->SetWidgetFactory([this](const char* tag) {
            auto p = std::make_unique<Probe>(tag);
            probe = p.get();
            return p;
        });
        gui->AddObject("PROB", 0, -1, 0, 5, 0, 300, 300, 64, 64);
        ASSERT_NE(probe, nullptr);
        Pump();
    }
    void TearDown() override { SDL_SetModState(KMOD_NONE); }
    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); }
    void Button(uint32_t type, uint8_t button, int x, int y)
    {
        SDL_Event e{};
        e.type = type;
        e.button.button = button;
        e.button.x = x;
        e.button.y = y;
        e.button.clicks = 1;
        Push(e);
    }
    void Move(int x, int y)
    {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.x = x;
        e.motion.y = y;
        Push(e);
    }
    bool Pump() { return editor->window.Window().Pump(0); }

    std::unique_ptr<CSynth> synth;
    CEditor* editor = nullptr;
    GUIHead* gui = nullptr;
    Probe* probe = nullptr;
};

TEST_F(EditorWindow, MouseWheelAndKeysReachTheWidgetUnderThePointer)
{
    EXPECT_EQ(synth->parameters.GetGUI(), gui);
    int w = 0, h = 0;
    editor->window.GetClientRect(w, h);
    EXPECT_EQ(w, 960);
    EXPECT_EQ(h, 650);

    SDL_SetModState(KMOD_LSHIFT);
    Move(310, 320);
    Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 310, 320);
    ASSERT_TRUE(Pump());
    EXPECT_EQ(gui->GetCaptured(), probe);
    Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 500, 500);  // released outside: still the probe's
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 1;
    wheel.wheel.mouseX = 311;
    wheel.wheel.mouseY = 321;
    Push(wheel);
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_q;
    Push(key);
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    SDL_strlcpy(text.text.text, "Q", sizeof text.text.text);
    Push(text);
    key.type = SDL_KEYUP;
    Push(key);
    Move(310, 320);
    ASSERT_TRUE(Pump());
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"down 5 310 320", "up 4 500 500", "key 33 0 0",
                                                      "wheel 33 311 321", "key 81 81 0"}));
    EXPECT_EQ(gui->GetCaptured(), nullptr);
}

TEST_F(EditorWindow, OneWindowAtATimeAndSizesOfAtLeast100)
{
    CEditor::AllowWindow(true);
    EXPECT_FALSE(editor->Open());  // already open: the window and manager stay
    CEditor::AllowWindow(false);
    EXPECT_EQ(editor->GetGUI(), gui);
    EXPECT_NE(editor->GetWindow(), nullptr);
    editor->window.SetSize(50, 20);
    EXPECT_EQ(editor->window.GetWidth(), 100);
    EXPECT_EQ(editor->window.GetHeight(), 100);
    // A second synthesizer in a test program opens nothing.
    auto other = std::make_unique<CSynth>();
    EXPECT_FALSE(other->editor->IsOpen());
    EXPECT_TRUE(other->IsSuspended());
}

TEST_F(EditorWindow, PaintShowsTheSurface)
{
    gui->RedrawAll();
    SDL_Event expose{};
    expose.type = SDL_WINDOWEVENT;
    expose.window.event = SDL_WINDOWEVENT_EXPOSED;
    Push(expose);
    ASSERT_TRUE(Pump());
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(editor->window.Window().ReadBack(rgb, w, h));
    auto at = [&](int x, int y) {
        const uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
        return uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
    };
    // The probe where it was drawn, red and blue in place.
    const uint8_t* drawn = editor->surface.GetBackSurface()->PixelAddress(330, 330);
    EXPECT_EQ(at(330, 330), uint32_t(drawn[2]) << 16 | drawn[1] << 8 | drawn[0]);
    EXPECT_GT(drawn[2], 0xC0);  // red
    EXPECT_LT(drawn[0], 0x30);  // blue

    // The colour scheme chosen is kept in the settings; a window opened by
    // a later start (with the default scheme as yet) shows it.
    const testutil::ScopedValue scheme(g_GlobalData.UIColorEffect);
    gui->SetColorScheme(10);
    editor->OnDestroy();
    editor->surface.SetColorEffect(0);
    CEditor::AllowWindow(true);
    EXPECT_TRUE(editor->Open());
    CEditor::AllowWindow(false);
    EXPECT_EQ(editor->surface.GetColorEffect(), 100);
    editor->surface.SetColorEffect(0);
}

TEST_F(EditorWindow, ClosingStopsTheDevicesFinishesTheRecordingAndDropsTheGui)
{
    testutil::TempFolder folder;
    const std::string wav = folder / "take.wav";
    synth->Resume();
    ASSERT_TRUE(editor->GetRecorder().Open(wav.c_str(), 44100));
    editor->GetRecorder().Start();
    float left[256] = {}, right[256] = {};
    for (int i = 0; i < 256; ++i) left[i] = right[i] = 0.5f;
    float* out[2] = {left, right};
    synth->Process(nullptr, out, 256);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    Push(quit);
    EXPECT_FALSE(Pump());
    EXPECT_FALSE(editor->window.IsOpen());
    EXPECT_EQ(editor->GetGUI(), nullptr);
    EXPECT_EQ(synth->parameters.GetGUI(), nullptr);
    EXPECT_FALSE(editor->GetRecorder().IsOpen());
    // A complete WAV: the sizes in its header match the file.
    const std::string bytes = testutil::ReadFile(wav);
    ASSERT_GE(bytes.size(), 44u);
    auto word = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
               uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
    };
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(word(4), bytes.size() - 8);
    EXPECT_EQ(word(40), bytes.size() - 44);
    EXPECT_GT(word(40), 0u);
    // Everything that needs the GUI now does nothing.
    editor->OnPaint();
    editor->Refresh();
    editor->OnTimer();
    editor->OnDestroy();
}

} // namespace
