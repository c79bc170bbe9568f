// The pattern editor, its controller lane and the song page, driven through
// the GUI manager's mouse and menu calls into a live synthesizer.
#include "tests/editor/EditorWidgetTest.h"

namespace {

using edtest::Fixture;
using Kind = CSynth::Request::Kind;
constexpr int kX = 20, kY = 10;  // the pattern editor's corner
constexpr int kSongX = 10, kSongY = 300;

int StepX(int step) { return kX + 79 + 13 * step + 6; }
int RowY(int row) { return kY + 41 + (35 - row) * 5 + 2; }

class PatternEditor : public Fixture {
protected:
    void SetUp() override
    {
        Fixture::SetUp();
        editor = Add<CUIStepSequencer>("STSQ", kX, kY, 930, 290);
        lane = Add<CUISequCtrl>("SCTR", kX + 77, kY + 290, 836, 66);
    }
    int Field(int field, int step) { return seq->GetStepValue(0, field, step); }
    CUIStepSequencer* editor = nullptr;
    CUISequCtrl* lane = nullptr;
};

class SongPage : public Fixture {
protected:
    // The first 16 positions of every track.
    std::vector<int> Cells()
    {
        std::vector<int> cells;
        for (int t = 0; t < 16; ++t)
            for (int p = 0; p < 16; ++p) cells.push_back(int(head->GetParameter(25, t * 256 + p)));
        return cells;
    }
};

}  // namespace

TEST_F(PatternEditor, AnEditedPatternPlaysItsStepInTimeAndInTune)
{
    Choose(kX + 40, kY + 8, false, 308, 3);  // "Clear pattern"
    EXPECT_EQ(Field(10, 9), 48);
    // Steps 0..3 to rest in one drag that also moves inside each step.
    DragPath({{StepX(0), kY + 241}, {StepX(0) + 3, kY + 242}, {StepX(1), kY + 241}, {StepX(2), kY + 241},
              {StepX(2) - 4, kY + 241}, {StepX(3), kY + 241}});
    for (int s = 0; s < 5; ++s) EXPECT_EQ(Field(19, s) > 0, s < 4) << s;
    DragPath({{StepX(4), RowY(20)}, {StepX(4), RowY(33)}});
    EXPECT_EQ(Field(10, 4), 69);

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        head->SetParameter(33, 0, 1.0f);
        const std::vector<float> out = Render(26016);
        // Step 4 begins 96 ticks in: 22050 frames at 120 BPM.
        const int first = FirstSound(out);
        EXPECT_NEAR(first, 22050, 64);
        ASSERT_GT(first, 0);
        const std::vector<float> note(out.begin() + first + 200, out.begin() + first + 2600);
        EXPECT_NEAR(MeasureFrequency(note, 44100.0), 440.0, 0.5);
        head->SetParameter(32, 0, 1.0f);
        Post(Kind::kSongRewind);
        Post(Kind::kAllNotesOff);
        Render(8192);
        // A click at the very top of lane A: the largest MIDI velocity.
        Click(kX + 77 + 2 + 13 * 4 + 6, kY + 290 + 2);
        EXPECT_EQ(Field(11, 4), 127);
    }
}

TEST_F(PatternEditor, ButtonsRulerGateAndMenus)
{
    Choose(kX + 40, kY + 8, true, 308, 3);
    // Octave buttons stop at 0 and 72.
    for (int i = 0; i < 8; ++i) Click(kX + 38, kY + 228);
    EXPECT_EQ(editor->baseNote, 0);
    for (int i = 0; i < 8; ++i) Click(kX + 38, kY + 30);
    EXPECT_EQ(editor->baseNote, 72);

    // Control-click cycles the gate by 25 from its remainder.
    const struct { int before, after; } gates[] = {{100, 25}, {25, 50}, {75, 100}, {30, 55}, {0, 25}};
    for (const auto& g : gates) {
        seq->SetStepValue(0, 18, 6, g.before);
        Click(StepX(6), RowY(10), 1 | 8);
        EXPECT_EQ(Field(18, 6), g.after) << g.before;
    }

    // The ruler: left of the loop step moves it, right of it (or on the last
    // step) moves the last step.
    seq->SetPatternLoopStep(0, 4);
    seq->SetPatternLastStep(0, 15);
    Click(StepX(2), kY + 20);
    EXPECT_EQ(seq->GetPatternLoopStep(0), 2);
    Click(StepX(9), kY + 20);
    EXPECT_EQ(seq->GetPatternLastStep(0), 9);
    Click(StepX(2), kY + 20);  // on the loop step, which is not the last
    EXPECT_EQ(seq->GetPatternLoopStep(0), 2);
    DragPath({{StepX(9), kY + 20}, {StepX(30), kY + 20}, {kX + 2000, kY + 20}});
    EXPECT_EQ(seq->GetPatternLastStep(0), 63);

    // Menus take the step (and row) of the click.
    Choose(StepX(5), RowY(3), true, 300, 1002);
    EXPECT_EQ(Field(18, 5), 50);
    Choose(StepX(5), RowY(3), true, 300, 3, 1010);  // "Maj", "2.inversion"
    EXPECT_EQ(Field(17, 5), 3);
    Choose(StepX(7), kY + 270, false, 301, 8, 1042);  // "1/8", "dotted"
    EXPECT_EQ(Field(16, 7), 8);
    Choose(StepX(8), kY + 226, false, 302, 5);
    EXPECT_EQ(Field(14, 8), 5);
    // Lane switch and the lane it shows.
    Click(kX + 66, kY + 64);
    EXPECT_EQ(head->GetParameter(29, 0), 1.0);
    Click(lane->x + 2 + 13 * 10 + 3, lane->y + lane->h - 2 - 1 - 30);
    EXPECT_EQ(Field(12, 10), int(30.0f / 61.0f * 128.0f + 0.1f));
    Click(kX + 66, kY + 31);
    EXPECT_EQ(head->GetParameter(29, 0), 0.0);
}

TEST_F(SongPage, PatternsAreDraggedIntoCellsMovedAndTransposed)
{
    auto* page = Add<CUISongSequencer>("SOSQ", kSongX, kSongY, 920, 240);
    auto cellX = [](int position) { return kSongX + 399 + 31 * position + 15; };
    auto cellY = [](int track) { return kSongY + 29 + 13 * track + 6; };
    auto pattern = [this](int track, int position) {
        return int(head->GetParameter(25, track * 256 + position));
    };
    // A-2 from the number buttons onto track 3, position 5.
    DragPath({{kSongX + 15 + 33 + 10, kSongY + 123}, {kSongX + 300, kSongY + 100}, {cellX(5), cellY(3)}});
    EXPECT_EQ(pattern(3, 5), 1);
    // Moved to position 7; then released off the grid: nothing is lost.
    DragPath({{cellX(5), cellY(3)}, {cellX(6), cellY(3)}, {cellX(7), cellY(3)}});
    EXPECT_EQ(pattern(3, 5), -1);
    EXPECT_EQ(pattern(3, 7), 1);
    DragPath({{cellX(7), cellY(3)}, {kSongX + 200, kSongY + 235}});
    EXPECT_EQ(pattern(3, 7), 1);
    const std::vector<int> before = Cells();
    DragPath({{kSongX + 15 + 10, kSongY + 123}, {kSongX + 5, kSongY + 5}});
    EXPECT_EQ(Cells(), before);

    // The last two columns are cells on every track, not loop, swing, tempo
    // or transport.
    const double tempoBefore = head->GetParameter(13, 0), loopBefore = head->GetParameter(35, 0);
    for (int track = 0; track < 16; ++track)
        for (int position : {14, 15}) {
            Click(cellX(position), cellY(track), 1 | 4);
            EXPECT_GE(pattern(track, position), 0) << "track " << track << ", position " << position;
        }
    EXPECT_EQ(head->GetParameter(13, 0), tempoBefore);
    EXPECT_EQ(head->GetParameter(35, 0), loopBefore);
    EXPECT_EQ(head->GetParameter(33, 0), 0.0);  // not started
    // Stop pressed right after Play reaches the window as a double click:
    // it stops all the same; Play is drawn lit while the song runs, no longer.
    auto playLit = [&] {  // as the next ticks draw it
        return head->OnIdle(), head->OnIdle(), dc.GetBackSurface()->PixelAddress(kSongX + 136, kSongY + 5)[1] > 0x80;
    };
    Click(kSongX + 144, kSongY + 13);
    Render(512);
    EXPECT_TRUE(playLit());
    head->OnDoubleClick(1, kSongX + 117, kSongY + 13);
    head->OnMouseUp(0, kSongX + 117, kSongY + 13);
    synth->Resume();
    std::vector<float> left(512), right(512);
    float* outs[2] = {left.data(), right.data()};
    synth->Process(nullptr, outs, 512);
    EXPECT_EQ(head->GetParameter(33, 0), 0.0);
    EXPECT_FALSE(playLit());

    // Shift places the selected pattern; a cell drawn after the clicked one
    // must not take the transpose when the window redraws under the menu.
    Click(cellX(2), cellY(10), 1 | 4);
    const int placed = pattern(10, 2);
    ASSERT_GE(placed, 0);
    synth->songList->SetCell(10, 2, placed, 5);
    head->OnContextMenu(cellX(7), cellY(3));
    ASSERT_TRUE(head->Menu().IsOpen());
    page->Draw();
    head->OnMenuResult(edtest::RowOf(1080, 36));  // "2 Octaves up", "+12"
    head->Menu().Close();
    EXPECT_EQ(synth->songList->GetCellTranspose(3, 7), 36);
    EXPECT_EQ(synth->songList->GetCellTranspose(10, 2), 5);
    head->OnContextMenu(cellX(7), cellY(3));
    head->OnMenuResult(edtest::RowOf(1085, -36));
    head->Menu().Close();
    EXPECT_EQ(synth->songList->GetCellTranspose(3, 7), -36);
    // An empty cell opens no menu.
    head->OnContextMenu(cellX(9), cellY(3));
    EXPECT_FALSE(head->Menu().IsOpen());

    // Scrolling stops at 0 and 240.
    for (int i = 0; i < 40; ++i) Click(kSongX + 905, kSongY + 8);
    EXPECT_EQ(page->scroll, 240);
    for (int i = 0; i < 40; ++i) Click(kSongX + 392, kSongY + 8);
    EXPECT_EQ(page->scroll, 0);
}

TEST_F(SongPage, TempoSwingAndRowsPastTheTracks)
{
    Add<CUISongSequencer>("SOSQ", kSongX, kSongY - 200, 920, 420);
    const int y0 = kSongY - 200;
    seq->tempo = 120.5f;
    // The whole part stops at 40 and 300; the fraction reaches .996.
    DragPath({{kSongX + 330, y0 + 15}, {kSongX + 330, y0 - 1000}});
    EXPECT_NEAR(seq->tempo, 300.5f, 0.002f);
    DragPath({{kSongX + 330, y0 + 15}, {kSongX + 330, y0 + 2000}});
    EXPECT_NEAR(seq->tempo, 40.5f, 0.002f);
    DragPath({{kSongX + 365, y0 + 15}, {kSongX + 365, y0 - 1000}});
    EXPECT_NEAR(seq->tempo, 40.996f, 0.0005f);
    DragPath({{kSongX + 365, y0 + 15}, {kSongX + 365, y0 + 2000}});
    EXPECT_NEAR(seq->tempo, 40.0f, 0.0005f);
    seq->swing = 30.0f;
    DragPath({{kSongX + 258, y0 + 15}, {kSongX + 258, y0 + 5}});
    EXPECT_NEAR(seq->swing, 40.0f, 1e-4f);
    DragPath({{kSongX + 258, y0 + 15}, {kSongX + 258, y0 - 500}});
    EXPECT_NEAR(seq->swing, 100.0f, 1e-4f);

    // Rows below track 15 belong to no part: no menu, no change.
    const int row17 = y0 + 28 + 13 * 17 + 6;
    head->OnMouseDown(1, kSongX + 120, row17);
    EXPECT_FALSE(head->Menu().IsOpen());
    head->OnMouseUp(0, kSongX + 120, row17);
    const std::vector<int> before = Cells();
    Click(kSongX + 399 + 15, row17, 1 | 4);
    Click(kSongX + 399 + 15, row17);
    EXPECT_EQ(Cells(), before);
    // Track 2's function column opens menu 303 and sets that part.
    Choose(kSongX + 120, y0 + 28 + 13 * 2 + 6, false, 303, 1);
    EXPECT_EQ(seq->GetPartFunction(2), 1);
    seq->partFunction[2] = 0;
}
