// The program itself on a private X server, clicked through XTest as a
// musician would: for a profi and an ana program every page button shows
// the page the program's own logic picks for it (the screen is compared with
// the same clicks rendered headless here, so the page's name and panel are
// checked whatever the layout), a few pages stay equal to their golden
// pictures, and an End key after a drag let go outside the window changes
// nothing. Golden pictures: tests/editor/golden; `make golden` writes them
// anew after a change of the layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/CDIBitmap.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "tests/editor/ProgramContent.h"
#include "tests/editor/XvfbDisplay.h"
#include "tools/PngFile.h"

#include "tests/editor/ProgramOnX.h"  // last: X macros

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 960, kHeight = 650;
using Pixels = std::vector<uint8_t>;  // top row first, red, green, blue

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

class ProgramOnX : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!xvfb.Running())
            GTEST_SKIP() << "no X server for the end-to-end test (" << xvfb.WhyNot()
                         << "; scripts/install-deps installs the package xvfb)";
        testutil::CopyProgramContent();
        synth = std::make_unique<CSynth>();
        ASSERT_TRUE(dc.CreateMemory(kWidth, kHeight, 24));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        head->LoadLayout();
        ASSERT_GT(head->Objects().size(), 100u);
        synth->SetProgram(0);

        pid = testutil::Spawn({"XDG_CONFIG_HOME=" + home.Path(), "HOME=" + home.Path(), "DISPLAY=" + xvfb.Name(),
                               "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", testutil::LeakRules(home)},
                              home / "stderr.txt");
        x = XOpenDisplay(xvfb.Name().c_str());
        ASSERT_NE(x, nullptr);
        bool shown = false;
        for (auto end = testutil::Clock::now() + std::chrono::seconds(20); testutil::Clock::now() < end && !shown;) {
            shown = testutil::ZavoWindowShown(x);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_TRUE(shown) << testutil::ReadFile(home / "stderr.txt");
        // The pointer starts inside the window: out and in again, so that
        // the window knows the pointer is over it.
        XTestFakeMotionEvent(x, -1, 1200, 1000, 0);
        XSync(x, False);
        Settled();
    }
    void TearDown() override
    {
        if (x) XCloseDisplay(x);
        if (pid > 0) {
            kill(pid, SIGTERM);
            EXPECT_EQ(testutil::WaitFor(pid, std::chrono::seconds(10)), 0) << testutil::ReadFile(home / "stderr.txt");
        }
        if (synth) synth->editor->SetGUI(nullptr);
        head.reset();
        synth.reset();
        testutil::RemoveProgramContent();
    }

    // What changes by itself (meters, the load) or with the machine (what a
    // program with its devices open shows of them) is left out
    // of every comparison: the visible ones made black.
    void Blank(Pixels& p)
    {
        std::vector<GuiRect> live;
        for (const auto& w : head->Objects()) {
            const uint32_t i = w->binding.index;  // device lists, latency, rate
            const bool device = w->binding.group == 3 && ((i >= 1 && i <= 4) || i == 96 || i == 99);
            if ((Is(*w, "LMTR") || Is(*w, "INFO") || device) && w->IsVisibleNow()) live.push_back(w->Rect());
        }
        for (const GuiRect& r : live)
            for (int py = std::max(r.top, 0); py < std::min(r.bottom, kHeight); ++py)
                for (int px = std::max(r.left, 0); px < std::min(r.right, kWidth); ++px)
                    memset(&p[(size_t(py) * kWidth + size_t(px)) * 3], 0, 3);
    }
    // The window once it stopped changing (at most 3 s), live parts blank.
    Pixels Settled()
    {
        Pixels last = testutil::ScreenRGB(x, kWidth, kHeight);
        for (auto end = testutil::Clock::now() + std::chrono::seconds(3); testutil::Clock::now() < end;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            Pixels now = testutil::ScreenRGB(x, kWidth, kHeight);
            Blank(now);
            Blank(last);
            if (now == last) break;
            last = std::move(now);
        }
        Blank(last);
        return last;
    }
    // The window once it shows `expected`, or, after 5 s, once it stopped
    // changing: the program takes its time on a busy machine.
    Pixels Showing(const Pixels& expected)
    {
        Pixels last;
        for (auto end = testutil::Clock::now() + std::chrono::seconds(5); testutil::Clock::now() < end;) {
            Pixels now = testutil::ScreenRGB(x, kWidth, kHeight);
            Blank(now);
            if (Differing(now, expected) == 0) return now;
            last = std::move(now);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return Settled();
    }
    // The headless picture of the same moment, live parts blank.
    Pixels Rendered()
    {
        head->OnIdle();
        head->RedrawAll();
        Pixels p(size_t(kWidth) * kHeight * 3);
        const CDIBitmap* s = dc.GetBackSurface();
        for (int py = 0; py < kHeight; ++py)
            for (int px = 0; px < kWidth; ++px) {
                const uint8_t* b = s->PixelAddress(px, py);  // blue, green, red
                uint8_t* d = &p[(size_t(py) * kWidth + size_t(px)) * 3];
                d[0] = b[2], d[1] = b[1], d[2] = b[0];
            }
        Blank(p);
        return p;
    }
    static int Differing(const Pixels& a, const Pixels& b)
    {
        int n = 0;
        for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) n += memcmp(&a[i], &b[i], 3) != 0;
        return a.size() == b.size() ? n : kWidth * kHeight;
    }
    // A click on the window and the same here; the pointer then leaves the
    // window, so neither shows a highlight or a hint.
    void ClickBoth(int px, int py)
    {
        head->OnMouseMove(0, px, py);
        head->OnIdle();
        head->OnMouseDown(1, px, py);
        head->OnMouseUp(0, px, py);
        head->OnMouseLeave();
        testutil::Click(x, px, py);
        XTestFakeMotionEvent(x, -1, 1200, 1000, 0);
        XSync(x, False);
    }
    const GUIObject* Find(uint32_t group, uint32_t index, int sub = -1)
    {
        for (const auto& w : head->Objects())
            if (w->IsVisibleNow() && w->binding.group == group && w->binding.index == index &&
                (sub < 0 || int(w->binding.sub) == sub) && !Is(*w, "LMTR"))
                return w.get();
        return nullptr;
    }
    static Pixels ToImage(const Pixels& p, CDIBitmap& image)
    {
        image.Create(kWidth, kHeight, 24);
        for (int py = 0; py < kHeight; ++py)
            for (int px = 0; px < kWidth; ++px) {
                const uint8_t* s = &p[(size_t(py) * kWidth + size_t(px)) * 3];
                uint8_t* d = image.PixelAddress(px, py);
                d[0] = s[2], d[1] = s[1], d[2] = s[0];
            }
        return p;
    }
    // Compares the window with tests/editor/golden/<name>.png; writes the
    // golden picture instead with ZAVO_UPDATE_GOLDEN set.
    std::string Golden(const Pixels& screen, const std::string& name)
    {
        const std::string path = std::string(ZAVO_SOURCE_DIR) + "/tests/editor/golden/" + name + ".png";
        CDIBitmap actual;
        ToImage(screen, actual);
        if (std::getenv("ZAVO_UPDATE_GOLDEN")) {
            fs::create_directories(fs::path(path).parent_path());
            png::Write(actual, path);
            return "";
        }
        CDIBitmap expected;
        if (!png::Read(path, expected) || expected.Width() != kWidth || expected.Height() != kHeight)
            return "missing or unreadable: " + path + " (make golden writes it)";
        int differing = 0;
        for (int py = 0; py < kHeight; ++py)
            for (int px = 0; px < kWidth; ++px)
                differing += memcmp(expected.PixelAddress(px, py), actual.PixelAddress(px, py), 3) != 0;
        if (differing == 0) return "";
        png::Write(actual, name + "-actual.png");
        return std::to_string(differing) + " pixels differ from " + path + "; the window is in " +
               fs::absolute(name + "-actual.png").string() + " (make golden after a change of the layout)";
    }

    testutil::XvfbDisplay xvfb;
    testutil::TempFolder home;
    std::unique_ptr<CSynth> synth;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
    pid_t pid = -1;
    Display* x = nullptr;
};

TEST_F(ProgramOnX, EveryPageButtonShowsItsPageForAProfiAndAnAnaProgram)
{
    // Program 1 of the factory bank is a profi program, program 0 (where
    // the program starts) an ana program; the header's next and previous
    // buttons step between them.
    const GUIObject* next = Find(3, 121);
    const GUIObject* previous = Find(3, 122);
    ASSERT_TRUE(next && previous);
    struct Step {
        const GUIObject* button;
        int type;
        const char* golden;  // pages kept as golden pictures, by page button
    };
    for (const Step& step : {Step{next, 0, "profi"}, Step{previous, 6, "ana"}}) {
        ClickBoth(step.button->x + step.button->w / 2, step.button->y + step.button->h / 2);
        Showing(Rendered());
        ASSERT_EQ(int(synth->program.GetProgramData(0)[0]), step.type) << "not the program this test means";
        std::vector<int> seen;
        for (int sub = 0; sub < 16; ++sub) {
            const GUIObject* button = Find(5, 140, sub);
            if (!button) continue;
            ClickBoth(button->x + button->w / 2, button->y + button->h / 2);
            const int page = head->GetPage();
            seen.push_back(page);
            const Pixels expected = Rendered();
            const Pixels screen = Showing(expected);
            const int off = Differing(screen, expected);
            EXPECT_LT(off, kWidth * kHeight / 200)
                << step.golden << ": the page button " << sub << " shows not page " << page << " (" << off
                << " pixels differ)";
            if (off >= kWidth * kHeight / 200) {
                CDIBitmap image;
                ToImage(screen, image);
                png::Write(image, std::string("xvfb-") + step.golden + "-button" + std::to_string(sub) + ".png");
            }
            // A few pages kept whole.
            if ((step.type == 0 && (sub == 0 || sub == 2)) || (step.type == 6 && sub == 2)) {
                EXPECT_EQ(Golden(screen, std::string(step.golden) + "-page" + std::to_string(page)), "");
            }
        }
        EXPECT_GE(seen.size(), 6u);
        std::sort(seen.begin(), seen.end());
        const size_t distinct = size_t(std::unique(seen.begin(), seen.end()) - seen.begin());
        // A profi program has a page per button; an ana program sends every
        // sound page button to its one page.
        if (step.type == 0) {
            EXPECT_EQ(distinct, seen.size());
        } else {
            EXPECT_LT(distinct, seen.size());
        }
    }
}

TEST_F(ProgramOnX, AnEndKeyAfterADragLetGoOutsideTheWindowChangesNothing)
{
    const GUIObject* master = Find(2, 6);
    ASSERT_NE(master, nullptr);
    const GuiRect knob = master->Rect();
    auto knobPixels = [&](const Pixels& p) {
        Pixels out;
        for (int py = knob.top; py < knob.bottom; ++py)
            out.insert(out.end(), &p[(size_t(py) * kWidth + size_t(knob.left)) * 3],
                       &p[(size_t(py) * kWidth + size_t(knob.right)) * 3]);
        return out;
    };
    const int cx = knob.left + 16, cy = knob.top + 16;
    const Pixels untouched = knobPixels(Settled());
    XTestFakeMotionEvent(x, -1, cx, cy, 0);
    XTestFakeButtonEvent(x, 1, True, 0);
    XSync(x, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    for (int step = 1; step <= 10; ++step) {  // down and out of the window
        XTestFakeMotionEvent(x, -1, cx + step * 25, cy + step * 90, 0);
        XSync(x, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XTestFakeButtonEvent(x, 1, False, 0);
    XSync(x, False);
    // The drag turned the knob down (the program may take its time).
    for (auto end = testutil::Clock::now() + std::chrono::seconds(5);
         testutil::Clock::now() < end && knobPixels(Settled()) == untouched;)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const Pixels dragged = knobPixels(Settled());
    ASSERT_NE(dragged, untouched) << "the drag did not reach the master volume";
    // The key goes to the window, wherever the pointer is.
    XSetInputFocus(x, testutil::ZavoWindow(x), RevertToParent, CurrentTime);
    const KeyCode end = XKeysymToKeycode(x, XK_End);
    ASSERT_NE(end, 0);
    XTestFakeKeyEvent(x, end, True, 0);
    XTestFakeKeyEvent(x, end, False, 0);
    XSync(x, False);
    EXPECT_EQ(knobPixels(Settled()), dragged) << "the End key moved the master volume";
}

}  // namespace
