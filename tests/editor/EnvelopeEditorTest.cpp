#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "editor/EnvelopeRecord.h"
#include "os/OMessageBox.h"
#include "platform/CDlgFile.h"
#include "tests/editor/EditorFixture.h"
#include "tests/os/TestFolders.h"
#include "os/TestFolders.h"

namespace {

using edtest::EditorFixture;

constexpr int X = 10, Y = 20;               // where the envelope editor sits
constexpr int GL = X + 4, GT = Y + 24;      // graph left and top
constexpr float kTpp = 0.005602241f;

class EnvelopeEditor : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        env = Place<CUIMEnvelope>(X, Y, CUIMEnvelope::kWidth, CUIMEnvelope::kHeight);
        for (int id : {366, 372, 378}) Set(id, 1.0f);  // every MEG on its own times
    }
    void TearDown() override
    {
        g_DlgFile.SetChooser(nullptr);
        EditorFixture::TearDown();
    }
    // Writes an envelope of n points (times 0, 0.1, 0.2, ..., levels 0.5).
    void Envelope(int meg, int n, int loopStart, int loopEnd, bool slide = false)
    {
        EnvelopeRecord r;
        r.count = n, r.loopStart = loopStart, r.loopEnd = loopEnd, r.mode = slide ? 1 : 0;
        for (int i = 0; i < 64; ++i) r.times[i] = 0.1f * float(i), r.levels[i] = 0.5f;
        CUIMEnvelope::State().tab = meg;
        CUIMEnvelope::State().clip = r;
        CUIMEnvelope::State().clipValid = true;
        env->PasteFromClipboard();
    }
    static int PX(float t) { return GL + int(t / kTpp + 0.5f); }
    static int PY(float level) { return GT + int(73.0f * (1.0f - level) + 0.5f); }
    CUIMEnvelope::View View() { return env->Read(CUIMEnvelope::State().tab); }
    EnvelopeRecord Clip() { return CUIMEnvelope::State().clip; }

    CUIMEnvelope* env = nullptr;
};

bool SameRecord(const EnvelopeRecord& a, const EnvelopeRecord& b)
{
    return a.WritePreset() == b.WritePreset();
}

TEST_F(EnvelopeEditor, CtrlDragOfAPointLowersTheVolumeItModulates)
{
    synth->SetSampleRate(44100.0f);
    // Matrix slot 1: "MEG 1" to "Volume" at full amount; MEG 1 the AD shape.
    Set(65, 27.0f / 128.0f);
    Set(85, 22.0f / 128.0f);
    Set(36, 127.0f / 128.0f);
    CUIMEnvelope::State().tab = 0;
    Menu(X + 300, GT + 30, 0);
    ASSERT_EQ(Get(347), 3.0f);
    ASSERT_EQ(Get(1089), 1.0f);
    const std::vector<float> before = RenderNote(8192);

    // Ctrl keeps the time; the level follows the mouse to about 0.25.
    Drag(8, PX(0.022f), PY(1.0f), PX(0.3f), PY(0.25f));
    EXPECT_NEAR(Get(1089), 0.25f, 1.0f / 73.0f);
    EXPECT_EQ(Get(1025), 0.022f);
    EXPECT_EQ(synth->engine.data.PartF(head->GetCurrentPart(), 1089), Get(1089));
    const std::vector<float> after = RenderNote(8192);
    const size_t at = 4410 - 1024;  // around 0.1 s
    EXPECT_LT(edtest::Rms(after, at, at + 2048), 0.8 * edtest::Rms(before, at, at + 2048));
    env->Draw();
    WritePng("envelope-meg1");
}

TEST_F(EnvelopeEditor, ShiftClicksInsertAndDeleteByTheRules)
{
    struct Case {
        const char* what;
        int count, loopStart, loopEnd;
        float clickTime;  // < 0: on point -clickTime - 1
        int wantCount, wantStart, wantEnd;
        bool sync = false;  // times snap to 0.125
    };
    const Case cases[] = {
        {"64 points: nothing inserted", 64, 1, 5, 0.25f, 64, 1, 5},
        {"first point: kept", 6, 1, 3, -1, 6, 1, 3},
        {"last point: kept", 6, 1, 3, -6, 6, 1, 3},
        {"3 points: kept", 3, 1, 2, -2, 3, 1, 2},
        {"insert into 3 gives 4, loop 1..2", 3, 2, 1, 0.15f, 4, 1, 2},
        {"insert before the loop moves it", 6, 2, 4, 0.05f, 7, 3, 5},
        {"insert in the loop stretches it", 6, 2, 4, 0.25f, 7, 2, 5},
        {"delete before the loop moves it whole", 8, 3, 6, -2, 7, 2, 5},
        {"delete in the loop shortens it", 8, 3, 6, -5, 7, 3, 5},
        {"insert past the last point: nothing", 6, 1, 3, 0.7f, 6, 1, 3},
        {"0.19 snaps to 0.25 past its neighbour 0.2: kept at 0.2", 6, 1, 3, 0.19f, 7, 1, 4, true},
    };
    for (const Case& c : cases) {
        Envelope(1, c.count, c.loopStart, c.loopEnd);
        Set(369, c.sync ? 1.0f : 0.0f);
        const float t = c.clickTime >= 0 ? c.clickTime : 0.1f * float(-c.clickTime - 1);
        const int y = c.clickTime >= 0 ? PY(0.9f) : PY(0.5f);
        head->OnMouseDown(1 | 4, PX(t), y);
        head->OnMouseUp(4, PX(t), y);
        const CUIMEnvelope::View v = View();
        EXPECT_EQ(v.count, c.wantCount) << c.what;
        EXPECT_EQ(v.loopStart, c.wantStart) << c.what;
        EXPECT_EQ(v.loopEnd, c.wantEnd) << c.what;
        if (c.wantCount > c.count) {
            const int s = CUIMEnvelope::State().selected;
            ASSERT_GT(s, 0) << c.what;
            EXPECT_NEAR(v.l[s], 0.9f, 0.02f) << c.what;
            EXPECT_TRUE(v.t[s - 1] <= v.t[s] && v.t[s] <= v.t[s + 1]) << c.what;
        }
    }
}

TEST_F(EnvelopeEditor, InsertingOnASynchronisedMegShiftsEveryMegOnTheSharedTimes)
{
    Envelope(0, 5, 1, 3);
    Set(372, 0.0f);  // MEG 3 follows MEG 1's times
    Set(366, 0.0f);  // so does MEG 2
    for (int i = 0; i < 5; ++i) Set(1088 + i, 0.1f * float(i)), Set(1216 + i, 0.2f * float(i)),
                                Set(1344 + i, 0.15f * float(i)), Set(1472 + i, 0.05f * float(i));
    CUIMEnvelope::State().tab = 2;
    head->OnMouseDown(1 | 4, PX(0.15f), PY(0.7f));
    head->OnMouseUp(4, PX(0.15f), PY(0.7f));
    EXPECT_EQ(Get(347), 6.0f);
    EXPECT_NEAR(Get(1344 + 2), 0.7f, 0.02f);
    for (int m : {1088, 1216}) {  // the other synchronised levels moved up one place
        EXPECT_FLOAT_EQ(Get(m + 4), (m == 1088 ? 0.1f : 0.2f) * 3.0f);
    }
    EXPECT_FLOAT_EQ(Get(1472 + 3), 0.05f * 3.0f);  // MEG 4 keeps its own times and levels
}

TEST_F(EnvelopeEditor, PointDragsFollowSlideAndFix)
{
    for (bool slide : {false, true}) {
        Envelope(1, 5, 1, 3, slide);
        // Point 2 (time 0.2) dragged to 0.7.
        Drag(0, PX(0.2f), PY(0.5f), PX(0.7f), PY(0.5f));
        const CUIMEnvelope::View v = View();
        if (slide) {
            EXPECT_FLOAT_EQ(v.t[2], 0.3f);  // stops at the next point
            EXPECT_FLOAT_EQ(v.t[3], 0.3f);
        } else {
            for (int i = 2; i < 5; ++i) EXPECT_NEAR(v.t[i], 0.1f * float(i) + 0.5f, 0.006f) << i;
            EXPECT_NEAR(v.t[3] - v.t[2], 0.1f, 1e-5f);
        }
    }
}

TEST_F(EnvelopeEditor, SelectionAndSlopeDragsNeedAPointOfTheShownTab)
{
    Envelope(1, 5, 1, 3);
    const float before63 = Get(1216 + 63);
    // Slope drag with nothing selected: nothing written anywhere.
    Drag(0, X + 690, Y + 6, X + 690, Y - 30);
    EXPECT_EQ(Get(1216 + 63), before63);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Get(1280 + i), 0.0f);

    // Select point 4, then switch tabs: the selection does not travel.
    head->OnMouseDown(1, PX(0.4f), PY(0.5f));
    head->OnMouseUp(0, PX(0.4f), PY(0.5f));
    EXPECT_EQ(CUIMEnvelope::State().selected, 4);
    head->OnMouseDown(1, X + 2 + 34 * 3 + 5, Y + 5);
    EXPECT_EQ(CUIMEnvelope::State().tab, 3);
    EXPECT_EQ(CUIMEnvelope::State().selected, -1);

    // A paste that shrinks the envelope drops a selection past its end.
    Envelope(1, 5, 1, 3);
    head->OnMouseDown(1, PX(0.4f), PY(0.5f));
    head->OnMouseUp(0, PX(0.4f), PY(0.5f));
    Envelope(1, 3, 1, 2);
    EXPECT_EQ(CUIMEnvelope::State().selected, -1);

    // The slope drag with a selection works.
    head->OnMouseDown(1, PX(0.1f), PY(0.5f));
    head->OnMouseUp(0, PX(0.1f), PY(0.5f));
    Drag(0, X + 690, Y + 6, X + 690, Y - 44);
    EXPECT_NEAR(Get(1280 + 1), 0.5f, 1e-5f);
}

TEST_F(EnvelopeEditor, PasteSwitchesToOwnTimesAndShapesComeFromTheTable)
{
    Set(366, 0.0f);
    CUIMEnvelope::State().tab = 1;
    Menu(X + 300, GT + 30, 2);  // "ADSR"
    EXPECT_EQ(Get(366), 1.0f);
    EXPECT_EQ(Get(368), 4.0f);
    EXPECT_EQ(Get(370), 1.0f);
    EXPECT_EQ(Get(371), 2.0f);
    const EnvelopeRecord* ad = BuiltinEnvelopeShape(0);
    EXPECT_EQ(ad->count, 3);
    EXPECT_EQ(ad->times[2], 2.063f);
    for (int n : {4, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60}) {
        const EnvelopeRecord* r = BuiltinEnvelopeShape(n);
        EXPECT_TRUE(r->count >= 11 && r->count <= 35 && r->sync == 1) << n;
        // Every built-in shape is a file the reader would take.
        EnvelopeRecord back;
        EXPECT_TRUE(EnvelopeRecord::ReadPreset(r->WritePreset(), back, nullptr, 0)) << n;
    }
    EXPECT_EQ(BuiltinEnvelopeShape(6), nullptr);

    // The EG tab: the trigger text opens menu 150, a drag in the box sets
    // the attack in steps of 1/128.
    CUIMEnvelope::State().tab = 4;
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 5; ++i) Set(185 + 7 * k + i, 0.1f * float(i + 1) * float(k + 1) / 4.0f);
    head->OnMouseDown(1, X + 180 + 90, Y + 95);
    Choose(4);
    EXPECT_EQ(Get(191 + 7), 4.0f / 128.0f);
    Drag(0, X + 1 + 2, Y + 30, X + 1 + 28, Y + 30);  // to x = 28 / (170 / 3.1) of the box
    EXPECT_EQ(Get(186), std::round(28.0f / (170.0f / 3.1f) * 127.0f) / 128.0f);
    env->Draw();
    WritePng("envelope-eg");
}

TEST_F(EnvelopeEditor, SaveAsWritesAFileThatReadsBackBitForBit)
{
    testutil::TempFolder folder;
    edtest::Chooser chooser;
    g_DlgFile.SetChooser(&chooser);
    CUIMEnvelope::State().tab = 1;
    Menu(X + 300, GT + 30, 53);  // "R3"
    env->Draw();
    WritePng("envelope-meg2-rhythm");
    Set(1280 + 3, -0.37f);
    const std::string path = folder.Path() + "/shape.fep";
    chooser.answer = path;
    Menu(X + 300, GT + 30, 111);
    const EnvelopeRecord saved = Clip();
    const std::vector<uint8_t> bytes = testutil::ReadBytes(path);
    ASSERT_EQ(bytes.size(), EnvelopeRecord::kFileSize);
    EXPECT_EQ(bytes, saved.WritePreset());
    EXPECT_EQ(saved.slopes[3], -0.37f);

    // Loaded into another MEG: the same envelope, bit for bit.
    CUIMEnvelope::State().clipValid = false;
    CUIMEnvelope::State().tab = 3;
    Menu(X + 300, GT + 30, 110);
    CUIMEnvelope::State().tab = 3;
    env->CopyToClipboard();
    EXPECT_TRUE(SameRecord(Clip(), saved));

    // A file that cannot be written: an "Error" box, the old file intact,
    // the copy kept in the clipboard.
    std::vector<std::string> boxes;
    os::MessageBoxHook old = os::SetMessageBoxHook([&](const char*, const char* title) { boxes.push_back(title); });
    chooser.answer = folder.Path() + "/missing/shape.fep";
    Menu(X + 300, GT + 30, 111);
    os::SetMessageBoxHook(old);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error");
    EXPECT_TRUE(CUIMEnvelope::State().clipValid);
}

TEST_F(EnvelopeEditor, MalformedFilesAreRefusedAndChangeNothing)
{
    EnvelopeRecord good = *BuiltinEnvelopeShape(51);
    const std::vector<uint8_t> file = good.WritePreset();
    std::vector<std::vector<uint8_t>> bad;
    // Cut at every field boundary.
    for (size_t cut = 0; cut < file.size(); cut += (cut < 128 ? 128 : 4))
        bad.emplace_back(file.begin(), file.begin() + long(cut));
    auto with = [&](auto change) {
        EnvelopeRecord r = good;
        change(r);
        bad.push_back(r.WritePreset());
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    with([](EnvelopeRecord& r) { r.count = 0; });
    with([](EnvelopeRecord& r) { r.count = 65; });
    with([](EnvelopeRecord& r) { r.loopStart = -1; });
    with([](EnvelopeRecord& r) { r.loopEnd = r.count; });
    with([&](EnvelopeRecord& r) { r.times[5] = nan; });
    with([&](EnvelopeRecord& r) { r.levels[63] = std::numeric_limits<float>::infinity(); });
    with([&](EnvelopeRecord& r) { r.loopSlope = nan; });
    with([](EnvelopeRecord& r) { r.times[1] = -0.5f; });
    with([](EnvelopeRecord& r) { r.times[4] = r.times[3] - 0.01f; });
    with([](EnvelopeRecord& r) { r.levels[2] = 1.5f; });
    with([](EnvelopeRecord& r) { r.slopes[2] = -1.01f; });
    std::vector<uint8_t> otherKind = file;
    otherKind[128] = 2;
    bad.push_back(otherKind);

    CUIMEnvelope::State().tab = 0;
    Menu(X + 300, GT + 30, 1);  // "ADR" in MEG 1 and the clipboard
    const EnvelopeRecord clipBefore = Clip();
    env->CopyToClipboard();
    const EnvelopeRecord megBefore = Clip();
    CUIMEnvelope::State().clip = clipBefore;
    testutil::TempFolder folder;
    edtest::Chooser chooser;
    g_DlgFile.SetChooser(&chooser);
    for (size_t k = 0; k < bad.size(); ++k) {
        EXPECT_FALSE(env->ReadPresetRecord(bad[k])) << k;
        const std::string path = folder.Path() + "/bad.fep";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bad[k].data()), long(bad[k].size()));
        chooser.answer = path;
        Menu(X + 300, GT + 30, 110);
        EXPECT_TRUE(SameRecord(Clip(), clipBefore)) << k;
        env->CopyToClipboard();
        EXPECT_TRUE(SameRecord(Clip(), megBefore)) << k;
        CUIMEnvelope::State().clip = clipBefore;
    }
    EXPECT_TRUE(env->ReadPresetRecord(file));  // the unchanged file is taken
}

TEST_F(EnvelopeEditor, ExtremeProgramValuesDrawInsideTheWidget)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float count, loopStart, loopEnd, time, level;
    };
    const Case cases[] = {{0, -5, 99, nan, 500}, {1000, 99, -5, 1e30f, -3}, {1, nan, nan, -1e30f, nan}};
    for (int tab = 0; tab <= 4; ++tab) {
        for (const Case& c : cases) {
            for (int m : {0, 1}) {
                const int mode = m ? 367 : 346;
                Poke(mode + 1, c.count), Poke(mode + 3, c.loopStart), Poke(mode + 4, c.loopEnd);
                for (int i = 0; i < 64; ++i)
                    Poke((m ? 2080 : 1024) + i, i % 3 ? c.time : 0.0f), Poke((m ? 1216 : 1088) + i, c.level),
                        Poke((m ? 1280 : 1152) + i, c.level);
                Poke(351 + m, c.level);
            }
            for (int id = 185; id < 213; ++id) Poke(id, c.level);
            Poke(318, c.level), Poke(396, c.level), Poke(366, c.level);
            CUIMEnvelope::State().tab = tab;
            CUIMEnvelope::State().selected = 40;
            EXPECT_TRUE(edtest::DrawsOnlyInside(dc, *env)) << "tab " << tab;
        }
    }
}

// A loop from the peak back: the return hook after the loop end is led back
// to the loop start by a dotted line at its level, so it never ends in the
// air; nothing of it lies left of the loop start or above its level.
TEST_F(EnvelopeEditor, TheLoopReturnLeadsBackToTheLoopStart)
{
    Envelope(0, 5, 1, 3);
    Set(1089, 1.0f);  // the loop starts at the peak, at the graph's top
    CUIMEnvelope::State().selected = -1;
    env->Draw();
    const CDIBitmap& s = *dc.GetBackSurface();
    auto grey = [&](int x, int y) {
        const uint8_t* p = s.PixelAddress(x, y);
        return p[0] > 0xA0 && p[0] == p[1] && p[1] == p[2];  // the return's grey
    };
    const int top = PY(1.0f), from = PX(0.1f) + 4, to = PX(0.3f) + 20;
    int dots = 0;
    for (int x = from; x < to; ++x) dots += grey(x, top);
    EXPECT_GE(dots, (to - from) / 3 - 1);
    for (int x = GL; x < PX(0.1f) - 2; ++x) EXPECT_FALSE(grey(x, top)) << x;
    WritePng("envelope-loop-return");
}

}  // namespace
