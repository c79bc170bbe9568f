#pragma once
// A synthesizer with a GUI manager on an off-screen surface, the editor
// widgets placed on it directly, and helpers that drive them the way a
// user does: mouse events and menu rows through the manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/CSynth.h"
#include "editor/CEditor.h"
#include "editor/CUIMEnvelope.h"
#include "editor/CUIPartialEditor.h"
#include "editor/CUIWaveEditor.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIHead.h"
#include "os/OFileChooser.h"
#include "tools/PngFile.h"

namespace edtest {

class Chooser : public os::OFileChooser {
public:
    std::optional<std::string> Choose(const os::FileChooserRequest&) override
    {
        ++asked;
        return answer;
    }
    std::optional<std::string> answer;
    int asked = 0;
};

class EditorFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 760, kHeight = 420;
    static void SetUpTestSuite() { s_synth = new CSynth(); }
    static void TearDownTestSuite()
    {
        delete s_synth;
        s_synth = nullptr;
    }
    void SetUp() override
    {
        synth = s_synth;
        ASSERT_TRUE(dc.CreateMemory(kWidth, kHeight));
        head = std::make_unique<GUIHead>(&dc, synth->editor);
        synth->editor->SetGUI(head.get());
    }
    void TearDown() override
    {
        synth->editor->SetGUI(nullptr);
        head.reset();
        // The suite's synthesizer plays on: a poked record goes back as it
        // was, so that no value a test forced (a NaN) reaches the next.
        if (m_pokedPart >= 0) {
            std::copy(m_pokedRecord.begin(), m_pokedRecord.end(), synth->program.GetProgramData(m_pokedPart));
            synth->InitPart(m_pokedPart);
        }
    }
    template <class W>
    W* Place(int x, int y, int w, int h, int index = 0)
    {
        auto widget = std::make_unique<W>();
        widget->Init();
        widget->x = x, widget->y = y, widget->w = w, widget->h = h;
        widget->binding.index = uint32_t(index);
        return static_cast<W*>(head->Adopt(std::move(widget)));
    }
    float Get(int id) { return synth->GetParameter(id); }
    void Set(int id, float v) { head->SetParameter(0, id, v); }
    // Straight into the program record, as a damaged project would leave it
    // (the value bridge would refuse NaN).
    void Poke(int id, float v)
    {
        float* record = synth->program.GetProgramData(head->GetCurrentPart());
        if (m_pokedPart < 0) {
            m_pokedPart = head->GetCurrentPart();
            m_pokedRecord.assign(record, record + CProgram::kRecordSize);
        }
        record[id] = v;
    }
    // The row of the open menu whose value is `value`, chosen.
    void Choose(int value)
    {
        // Any row of that value gives the open menu's result.
        for (int row = 1; row < kMenuRows; ++row)
            if (head->Menu().GetEntryValue(row) == value) {
                head->OnMenuResult(row);
                head->Menu().Close();
                return;
            }
        ADD_FAILURE() << "no menu row of value " << value;
    }
    void Menu(int x, int y, int value)
    {
        head->OnContextMenu(x, y);
        Choose(value);
    }
    void Drag(uint32_t flags, int x0, int y0, int x1, int y1)
    {
        head->OnMouseDown(1 | flags, x0, y0);
        head->OnMouseMove(1 | flags, x1, y1);
        head->OnMouseUp(flags, x1, y1);
    }
    // Frames of note 69 rendered from silence, left channel.
    std::vector<float> RenderNote(int frames)
    {
        synth->Resume();
        std::vector<float> silence(512), r(512);
        float* outs[2] = {silence.data(), r.data()};
        synth->ProcessMidiMessage(0x7F4590, 0);
        std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
        float* o[2] = {left.data(), right.data()};
        synth->Process(nullptr, o, frames);
        synth->ProcessMidiMessage(0x004580, 0);
        for (int i = 0; i < 400; ++i) synth->Process(nullptr, outs, 512);  // let it ring out
        return left;
    }
    void WritePng(const char* name)
    {
        png::Write(*dc.GetBackSurface(), std::string(name) + ".png");
    }

    static inline CSynth* s_synth = nullptr;
    CSynth* synth = nullptr;
    CUnifiedDC dc;
    std::unique_ptr<GUIHead> head;

private:
    int m_pokedPart = -1;
    std::vector<float> m_pokedRecord;
};

inline double Rms(const std::vector<float>& x, size_t from, size_t to)
{
    double s = 0;
    for (size_t i = from; i < to; ++i) s += double(x[i]) * x[i];
    return std::sqrt(s / double(to - from));
}

// Draws the widget over a filled surface; true when no pixel outside its
// rectangle changed.
inline bool DrawsOnlyInside(CUnifiedDC& dc, GUIObject& widget)
{
    dc.SetColor(0x123456);
    dc.FillRect(0, 0, dc.GetWidth(), dc.GetHeight(), 1.0f);
    const CDIBitmap& s = *dc.GetBackSurface();
    std::vector<uint8_t> before;
    for (int y = 0; y < dc.GetHeight(); ++y)
        before.insert(before.end(), s.PixelAddress(0, y), s.PixelAddress(0, y) + 3 * dc.GetWidth());
    widget.Draw();
    for (int y = 0; y < dc.GetHeight(); ++y)
        for (int x = 0; x < dc.GetWidth(); ++x) {
            if (x >= widget.x && x < widget.x + widget.w && y >= widget.y && y < widget.y + widget.h) continue;
            if (std::memcmp(s.PixelAddress(x, y), &before[3 * (size_t(y) * size_t(dc.GetWidth()) + size_t(x))], 3))
                return false;
        }
    return true;
}

// Magnitude at one frequency through a Hann window (one DFT bin).
inline double Magnitude(const std::vector<float>& x, size_t from, size_t n, double hz, double rate)
{
    double re = 0, im = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
        const double ph = 2 * M_PI * hz * double(i) / rate;
        re += w * x[from + i] * std::cos(ph);
        im += w * x[from + i] * std::sin(ph);
    }
    return std::hypot(re, im);
}

}  // namespace edtest
