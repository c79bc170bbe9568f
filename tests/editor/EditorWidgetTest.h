#pragma once
// Shared by the synth editor's widget tests: one synthesizer per suite, a
// GUI manager on a window-sized off-screen surface for each test, the
// widgets made by tag, menu rows found by value, and rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/CArpeggiator.h"
#include "core/CMIDI.h"
#include "core/CSequencer.h"
#include "core/CSongList.h"
#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "editor/CUI8D.h"
#include "editor/CUIAboutBox.h"
#include "editor/CUIKeyboard.h"
#include "editor/CUIMWheel.h"
#include "editor/CUIPartButton.h"
#include "editor/CUISequCtrl.h"
#include "editor/CUISlider.h"
#include "editor/CUISongSequencer.h"
#include "editor/CUIStepSequencer.h"
#include "gui/CUIMenuResource.h"
#include "gui/GUIHead.h"
#include "gui/GUIResource.h"
#include "tests/core/MeasureFrequency.h"
#include "tests/gui/GuiTestSupport.h"

namespace edtest {

// The table row of the menu's item with the value (what a click returns).
inline int RowOf(uint32_t menuId, int value)
{
    for (int row = 1; row < kMenuRows; ++row) {
        const MenuEntry& e = CUIMenuResource::Entry(row);
        if (e.menuId == menuId && e.type == kMenuItem && e.value == value) return row;
    }
    return -1;
}

class Fixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_synth = new CSynth(); }
    static void TearDownTestSuite()
    {
        delete s_synth;
        s_synth = nullptr;
    }
    void SetUp() override
    {
        savedMenus.assign(MenuTableRows(), MenuTableRows() + kMenuRows);
        synth = s_synth;
        window.width = 960;
        window.height = 650;
        ASSERT_TRUE(dc.CreateForWindow(&window));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
        synth->Resume();
        // Stopped, an empty song, every part off but part 0, 120 BPM.
        Post(CSynth::Request::Kind::kStop);
        Post(CSynth::Request::Kind::kStop);
        Post(CSynth::Request::Kind::kAllNotesOff);
        Render(64);
        seq = synth->sequencer;
        synth->songList->Clear();
        for (int p = 0; p < CSynth::kParts; ++p) {
            seq->partFunction[p] = 0;
            seq->SetPartOn(p, p == 0);
            synth->engine.data.SetPartI(p, CArpeggiator::kSlotMode, 0);
            synth->engine.data.SetSettingI(p, 7, 0);
        }
        seq->songLoop = 1;
        seq->tempo = 120.0f;
        seq->swing = 0.0f;
        seq->UpdateTempo();
        seq->SetSelection(0, 0, 0);
    }
    void TearDown() override
    {
        Post(CSynth::Request::Kind::kStop);
        Post(CSynth::Request::Kind::kAllNotesOff);
        Render(64);
        synth->editor->SetGUI(nullptr);
        head.reset();
        std::copy(savedMenus.begin(), savedMenus.end(), MenuTableRows());
    }
    void Post(CSynth::Request::Kind kind) { synth->Post({kind, 0, 0, 0.0f}); }
    template <typename W>
    W* Add(const char* tag, int x, int y, int w, int h, uint32_t group = 0, int32_t index = -1)
    {
        return static_cast<W*>(head->AddObject(tag, group, index, 0, 3, 0, x, y, w, h));
    }
    void Click(int x, int y, uint32_t flags = 1)
    {
        head->OnMouseDown(flags, x, y);
        head->OnMouseUp(flags & ~1u, x, y);
    }
    void DragPath(const std::vector<GuiPoint>& path, uint32_t flags = 1)
    {
        head->OnMouseDown(flags, path.front().x, path.front().y);
        for (size_t i = 1; i < path.size(); ++i) head->OnMouseMove(flags, path[i].x, path[i].y);
        head->OnMouseUp(flags & ~1u, path.back().x, path.back().y);
    }
    // Opens the widget's menu as a click would and picks the item.
    void Choose(int x, int y, bool context, uint32_t menuId, int value, uint32_t submenu = 0)
    {
        if (context) head->OnContextMenu(x, y);
        else head->OnMouseDown(1, x, y);
        ASSERT_EQ(head->GetMenuId(), int(menuId));
        const int row = RowOf(submenu ? submenu : menuId, value);
        ASSERT_GT(row, 0);
        head->OnMenuResult(row);
        head->Menu().Close();
        head->OnMouseUp(0, x, y);
    }
    // Renders and keeps the left channel.
    std::vector<float> Render(int frames)
    {
        std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
        float* outs[2] = {left.data(), right.data()};
        for (int done = 0; done < frames; done += 4096) {
            const int n = std::min(4096, frames - done);
            float* part[2] = {outs[0] + done, outs[1] + done};
            synth->Process(nullptr, part, n);
        }
        return left;
    }
    static int FirstSound(const std::vector<float>& x, float threshold = 1e-4f)
    {
        for (size_t i = 0; i < x.size(); ++i)
            if (std::abs(x[i]) > threshold) return int(i);
        return -1;
    }
    static float Peak(const std::vector<float>& x, size_t from = 0)
    {
        float p = 0.0f;
        for (size_t i = from; i < x.size(); ++i) p = std::max(p, std::abs(x[i]));
        return p;
    }

    static inline CSynth* s_synth = nullptr;
    CSynth* synth = nullptr;
    CSequencer* seq = nullptr;
    guitest::RecordingWindow window;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;
    std::vector<MenuEntry> savedMenus;
};

}  // namespace edtest
