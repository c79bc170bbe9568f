// What the window puts on the screen while notes sound and nobody touches
// it: only what shows the playing (the level meters, the voice and load
// count, the part buttons, the keys held), never the whole window at every
// tick. Counted as the pixels the window presented, on SDL's dummy driver
// with the shipped layout, for every page of a profi and an ana program,
// with the factory bank and without it (the default program).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "gui/GUIHead.h"
#include "os/OWindow.h"
#include "platform/CBaseWnd.h"
#include "tests/editor/ProgramContent.h"

namespace {

constexpr int kFramesPerTick = 2205;  // 50 ms at 44100 Hz
constexpr int kNotes = 8;

bool Is(const GUIObject& w, const char* tag) { return strncmp(w.GetTag(), tag, GUIObject::kTagSize) == 0; }

class WindowCost : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        testutil::CopyProgramContent();
        // Without the factory bank every part starts on the default program.
        if (!GetParam()) std::filesystem::remove_all(std::filesystem::path(testutil::TestFolder()) / "Bank");
        synth = std::make_unique<CSynth>();
        CEditor::AllowWindow(true);
        const bool opened = synth->editor->Open();
        CEditor::AllowWindow(false);
        ASSERT_TRUE(opened) << CBaseWnd::LastError();
        head = synth->editor->GetGUI();
        ASSERT_NE(head, nullptr);
        synth->Resume();
    }
    void TearDown() override
    {
        if (synth) synth->editor->OnDestroy();
        synth.reset();
        testutil::RemoveProgramContent();
    }
    os::OWindow& Window() { return synth->editor->window.Window(); }

    // One tick of the window's timer, 50 ms of sound rendered before it;
    // answers what the tick put on the screen.
    os::OWindow::Presented Tick()
    {
        std::vector<float> left(kFramesPerTick), right(kFramesPerTick);
        float* outs[2] = {left.data(), right.data()};
        Window().TakePresented();
        synth->Process(nullptr, outs, kFramesPerTick);
        for (size_t i = 0; i < left.size(); ++i) peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
        synth->editor->OnTimer();
        return Window().TakePresented();
    }
    void Keys(bool down)
    {
        for (int n = 0; n < kNotes; ++n)
            synth->ProcessMidiMessage((down ? 0x90u : 0x80u) | uint32_t(48 + 3 * n) << 8 | (down ? 100u : 0u) << 16, 0);
    }
    // The widgets of the page that show what plays, and the least
    // rectangle round them.
    void LiveArea(uint64_t& area, GuiRect& bounds)
    {
        area = 0;
        bounds = {10000, 10000, 0, 0};
        for (const auto& w : head->Objects()) {
            const bool live = Is(*w, "LMTR") || Is(*w, "PBTN") || Is(*w, "KEYB") ||
                              (Is(*w, "INFO") && w->GetGroup() == 3 && w->GetIndex() == 36);
            if (!live || !w->IsVisibleNow()) continue;
            area += uint64_t(w->w) * uint64_t(w->h);
            bounds = {std::min(bounds.left, w->x), std::min(bounds.top, w->y), std::max(bounds.right, w->x + w->w),
                      std::max(bounds.bottom, w->y + w->h)};
        }
    }

    float peak = 0;
    std::unique_ptr<CSynth> synth;
    GUIHead* head = nullptr;
};

TEST_P(WindowCost, NotesHeldRedrawOnlyWhatShowsThePlaying)
{
    const struct {
        const char* name;
        int type;
    } programs[] = {{"profi", 0}, {"ana", 6}};
    for (const auto& program : programs) {
        for (int page : {0, 1, 2, 3, 4, 5, 14, 15}) {
            SCOPED_TRACE(std::string(program.name) + " page " + std::to_string(page));
            synth->parameters.SetPartSynthesisType(0, program.type);
            head->SetPage(page);
            synth->parameters.RefreshPartPage();
            head->RedrawAll();
            uint64_t liveArea = 0;
            GuiRect live{};
            LiveArea(liveArea, live);
            ASSERT_GT(liveArea, 0u);
            for (int t = 0; t < 4; ++t) Tick();
            // Nothing playing, then notes held: a tick shows anew at most the
            // widgets that show the playing, and nothing outside them.
            const auto within = [&](const os::OWindow::Presented& shown) {
                return shown.pixels == 0 || (shown.left >= live.left && shown.top >= live.top &&
                                             shown.right <= live.right && shown.bottom <= live.bottom);
            };
            for (int t = 0; t < 10; ++t) {
                const os::OWindow::Presented shown = Tick();
                EXPECT_LE(shown.pixels, liveArea) << "idle tick " << t;
                EXPECT_TRUE(within(shown)) << "idle tick " << t;
            }
            Keys(true);
            for (int t = 0; t < 4; ++t) Tick();  // the keys and buttons light once
            peak = 0;
            for (int t = 0; t < 40; ++t) {
                const os::OWindow::Presented shown = Tick();
                EXPECT_LE(shown.pixels, liveArea) << "tick " << t;
                EXPECT_TRUE(within(shown)) << "tick " << t << ": " << shown.left << "," << shown.top << " - "
                                           << shown.right << "," << shown.bottom << " outside " << live.left << ","
                                           << live.top << " - " << live.right << "," << live.bottom;
            }
            EXPECT_GT(peak, 0.01f) << "the notes did not sound";
            Keys(false);
            for (int t = 0; t < 30; ++t) Tick();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bank, WindowCost, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "FactoryBank" : "DefaultProgram";
                         });

} // namespace
